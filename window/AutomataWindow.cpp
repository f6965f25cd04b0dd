#include "window/AutomataWindow.h"

#include "window/Application.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QScreen>
#include <QShortcut>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>
#include <vector>

TAutomataWindow::TAutomataWindow(TMachine& Machine, QWidget* Parent)
    : QWidget(Parent, Qt::Window), FMachine(Machine) {
    setObjectName(QStringLiteral("AutomataWindow"));
    setWindowTitle(QStringLiteral("Автоматы"));
    setAccessibleName(QStringLiteral("Автоматы"));
    // The player goes on playing: the machine's window keeps the focus and its look.
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QFont Font = TApplication::WindowFont();
    setFont(Font);
    QElapsedTimer Started;
    Started.start();
    FClock = [Started] { return Started.elapsed(); };

    auto* Row = new QHBoxLayout(this);
    Row->setContentsMargins(0, 0, 0, 0);
    Row->setSpacing(1); // the window's background shows as a line between the diagrams
    // Graphviz starts here, when the diagrams are first asked for.
    TGraphviz Graphviz;
    QSize Wanted(0, 0);
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        TDiagram Diagram = DiagramOf(Machine, Automaton);
        TDiagramLayout Layout = Graphviz.LayOut(Diagram, TDiagramView::Measure(Diagram, Font));
        const int Stretch = std::max(1, static_cast<int>(std::lround(Layout.Width)));
        auto* View = new TDiagramView(std::move(Diagram), std::move(Layout), Font, this);
        FViews[static_cast<size_t>(Automaton)] = View;
        // Stretched by their widths, the three come out at about the same scale.
        Row->addWidget(View, Stretch);
        Wanted = QSize(Wanted.width() + View->sizeHint().width() + 1,
                       std::max(Wanted.height(), View->sizeHint().height()));
    }
    if (const QScreen* Screen = QGuiApplication::primaryScreen())
        Wanted = Wanted.boundedTo(Screen->availableGeometry().size() * 9 / 10);
    resize(Wanted);

    for (const QKeySequence& Key : {QKeySequence(Qt::Key_Escape), QKeySequence(Qt::Key_F2)})
        connect(new QShortcut(Key, this), &QShortcut::activated, this, &QWidget::close);
    ShowStates();
}

TAutomataWindow::~TAutomataWindow() {
    FMachine.RemoveObserver(this);
}

TDiagramView* TAutomataWindow::View(int32_t Automaton) const {
    return FViews.at(static_cast<size_t>(Automaton));
}

void TAutomataWindow::SetClock(TClock Clock) {
    FClock = std::move(Clock);
}

void TAutomataWindow::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    FMachine.AddObserver(this);
    ShowStates();
}

void TAutomataWindow::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    // Hidden, it costs the machine nothing; shown again, it starts from the states as they are.
    FMachine.RemoveObserver(this);
    FFade.stop();
    for (TDiagramView* View : FViews)
        View->Unlight();
}

void TAutomataWindow::timerEvent(QTimerEvent* Event) {
    if (Event->timerId() == FFade.timerId())
        Tick();
    else
        QWidget::timerEvent(Event);
}

void TAutomataWindow::Tick() {
    const qint64 Now = FClock();
    bool Glowing = false;
    for (TDiagramView* View : FViews) {
        View->SetNow(Now);
        Glowing |= View->Glowing();
    }
    if (!Glowing)
        FFade.stop();
}

void TAutomataWindow::MachineChanged(unsigned Changes) noexcept {
    // Spin ticks change neither a state nor take a step: nothing here is painted for them.
    if (Changes & ChangedSteps)
        LightSteps();
    if (Changes & (ChangedStates | ChangedSteps))
        ShowStates();
}

void TAutomataWindow::LightSteps() {
    const qint64 Now = FClock();
    const std::vector<TStep>& Steps = FMachine.Steps();
    std::vector<qint64> Starts(Steps.size(), Now);
    qint64 Next = Now;
    for (size_t Index = 0; Index < Steps.size(); ++Index) {
        const TStep& Step = Steps[Index];
        TDiagramView* View = FViews.at(static_cast<size_t>(Step.Automaton));
        const auto& Nodes = View->Diagram().Nodes;
        const bool Known = Step.From >= 0 && static_cast<size_t>(Step.From) < Nodes.size();
        const int32_t Relay = Known ? Nodes[static_cast<size_t>(Step.From)].RelayTarget : -1;
        if (Relay >= 0) {
            // The relayed event was handled first, so its step comes earlier in the list.
            qint64 Relayed = Next;
            for (size_t Earlier = Index; Earlier-- > 0;)
                if (Steps[Earlier].Automaton == Relay && Steps[Earlier].Event == Step.Event) {
                    Relayed = Starts[Earlier];
                    break;
                }
            View->LightRelay(Step.From, Relayed);
        }
        Starts[Index] = Next;
        if (Step.Row >= 0) {
            View->Light(Step, Next);
            Next += StepDelayMs;
        }
    }
    for (TDiagramView* View : FViews)
        View->SetNow(Now);
    if (!FFade.isActive())
        FFade.start(FrameMs, this);
}

void TAutomataWindow::ShowStates() {
    QStringList Description;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        TDiagramView* View = FViews[static_cast<size_t>(Automaton)];
        const int32_t State = FMachine.State(Automaton);
        View->SetCurrentState(State);
        const auto& Nodes = View->Diagram().Nodes;
        const bool Known = State >= 0 && static_cast<size_t>(State) < Nodes.size();
        Description << QStringLiteral("A%1: %2").arg(Automaton).arg(
            Known ? QString::fromStdString(Nodes[static_cast<size_t>(State)].Name)
                  : QString::number(State));
    }
    const QString Text = Description.join(QStringLiteral("; "));
    if (accessibleDescription() != Text)
        setAccessibleDescription(Text);
}
