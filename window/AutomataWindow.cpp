#include "window/AutomataWindow.h"

#include "sessions/Explore.h"
#include "sessions/Files.h"
#include "sessions/Session.h"
#include "sessions/StepRecord.h"
#include "window/Application.h"
#include "window/BreakpointsDock.h"
#include "window/ClockStrip.h"
#include "window/FocusMark.h"
#include "window/LogPanel.h"
#include "window/MachineClock.h"
#include "window/SequenceChart.h"
#include "window/StateTimeline.h"
#include "window/WatchesDock.h"
#include "window/WindowBreakpoints.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollBar>
#include <QSet>
#include <QSettings>
#include <QShortcut>
#include <QStyle>
#include <QTimerEvent>
#include <QToolBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace sm {

TAutomataWindow::TAutomataWindow(TMachineClock& Clock, const std::vector<QAction*>& ClockActions,
                                 std::function<QDateTime()> SessionStart, QWidget* Parent)
    : QMainWindow(Parent, Qt::Window), FMachine(Clock.Machine()), FMachineClock(Clock),
      FRecord(std::make_unique<TStepRecord>(Clock.Time())),
      FClock([Source = &Clock] { return Source->Reading(); }) {
    setObjectName(QStringLiteral("AutomataWindow"));
    setWindowTitle(QStringLiteral("Автоматы"));
    setAccessibleName(QStringLiteral("Автоматы"));
    // The player goes on playing: the machine's window keeps the focus and its look.
    setAttribute(Qt::WA_ShowWithoutActivating);
    const QFont Font = TApplication::WindowFont();
    setFont(Font);

    FStrip = new TClockStrip(Clock, ClockActions, std::move(SessionStart), this);
    FStripBar = new QToolBar(QStringLiteral("Часы"), this);
    FStripBar->setObjectName(QStringLiteral("ClockBar"));
    FStripBar->addWidget(FStrip);
    addToolBar(Qt::TopToolBarArea, FStripBar);
    FScroll = new QScrollArea(this);
    FScroll->setObjectName(QStringLiteral("Scroll"));
    FScroll->setFrameShape(QFrame::NoFrame);
    FScroll->viewport()->installEventFilter(this);
    // The user's own scrolling holds the view where it is put for a while.
    for (const QScrollBar* Bar : {FScroll->horizontalScrollBar(), FScroll->verticalScrollBar()})
        connect(Bar, &QScrollBar::valueChanged, this, [this] {
            if (!FScrolling)
                FUserScrolled = FMachineClock.WallNow();
        });
    // A tab stop for scrolling by keys: it says what it holds and shows when it has the focus.
    FScroll->setAccessibleName(QStringLiteral("Диаграммы состояний автоматов A0, A1 и A2"));
    new TFocusMark(FScroll);
    FCanvas = new QWidget;
    FScroll->setWidget(FCanvas); // sized by Arrange, not by the scroll area
    setCentralWidget(FScroll);

    FChart = new TSequenceChart(FMachine, this);
    FChartDock = new QDockWidget(QStringLiteral("Последовательность событий"), this);
    FChartDock->setObjectName(QStringLiteral("SequenceDock"));
    FChartDock->setWidget(FChart);
    addDockWidget(Qt::BottomDockWidgetArea, FChartDock);
    connect(FChart, &TSequenceChart::ArrowSelected, this, &TAutomataWindow::ShowMessage);
    FTimeline = new TStateTimeline(Clock.Time(), this);
    FTimelineDock = new QDockWidget(QStringLiteral("Состояния во времени"), this);
    FTimelineDock->setObjectName(QStringLiteral("TimelineDock"));
    FTimelineDock->setWidget(FTimeline);
    connect(FTimeline, &TStateTimeline::StepSelected, this, &TAutomataWindow::SelectStep);
    // Tabbed with the chart, so that the diagrams keep their room on a small screen.
    addDockWidget(Qt::BottomDockWidgetArea, FTimelineDock);
    tabifyDockWidget(FChartDock, FTimelineDock);
    // The breakpoints' list comes with them (SetBreakpoints). Both are tabbed with the chart, so
    // that the diagrams keep their room.
    FBreakpointsDock = new QDockWidget(QStringLiteral("Точки остановки"), this);
    FBreakpointsDock->setObjectName(QStringLiteral("BreakpointsDock"));
    addDockWidget(Qt::BottomDockWidgetArea, FBreakpointsDock);
    tabifyDockWidget(FTimelineDock, FBreakpointsDock);
    FWatches = new TWatchesDock(Clock, this);
    FWatchesDock = new QDockWidget(QStringLiteral("Значения"), this);
    FWatchesDock->setObjectName(QStringLiteral("WatchesDock"));
    FWatchesDock->setWidget(FWatches);
    addDockWidget(Qt::BottomDockWidgetArea, FWatchesDock);
    tabifyDockWidget(FBreakpointsDock, FWatchesDock);
    FChartDock->raise();
    FPanes = menuBar()->addMenu(QStringLiteral("Панели"));
    FPanes->addAction(FStripBar->toggleViewAction());
    FPanes->addAction(FChartDock->toggleViewAction());
    FPanes->addAction(FTimelineDock->toggleViewAction());
    FPanes->addAction(FBreakpointsDock->toggleViewAction());
    FPanes->addAction(FWatchesDock->toggleViewAction());
    setToolTip(QStringLiteral("Масштаб: Ctrl+колесо мыши, Ctrl+плюс, Ctrl+минус; "
                              "Ctrl+0 — все автоматы целиком"));
    // Graphviz starts here, when the diagrams are first asked for.
    TGraphviz Graphviz;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        TDiagram Diagram = DiagramOf(FMachine, Automaton);
        TDiagramLayout Layout = Graphviz.LayOut(Diagram, TDiagramView::Measure(Diagram, Font));
        auto* View = new TDiagramView(std::move(Diagram), std::move(Layout), Font, FCanvas);
        // Ctrl with the wheel is the window's wherever it turns.
        View->installEventFilter(this);
        FViews[static_cast<size_t>(Automaton)] = View;
    }
    resize(sizeHint());
    const QSettings Settings(QCoreApplication::applicationName(),
                             QCoreApplication::applicationName());
    FGeometryRestored = restoreGeometry(Settings.value(QLatin1String(GeometryKey)).toByteArray());
    FDocksPlaced = restoreState(Settings.value(QLatin1String(StateKey)).toByteArray());

    const auto Bind = [this](const QKeySequence& Sequence, auto Slot) {
        connect(new QShortcut(Sequence, this), &QShortcut::activated, this, Slot);
    };
    Bind(QKeySequence::ZoomIn, &TAutomataWindow::ZoomIn);
    Bind(QKeySequence(Qt::CTRL | Qt::Key_Equal), &TAutomataWindow::ZoomIn); // plus without Shift
    Bind(QKeySequence::ZoomOut, &TAutomataWindow::ZoomOut);
    Bind(QKeySequence(Qt::CTRL | Qt::Key_0), &TAutomataWindow::ZoomToFit);
    Bind(QKeySequence(Qt::CTRL | Qt::Key_B), &TAutomataWindow::ToggleFocusedBreakpoint);
    Bind(Qt::Key_Escape, &QWidget::close);
    Bind(Qt::Key_F2, &QWidget::close);
    ShowStates();
}

TAutomataWindow::~TAutomataWindow() {
    if (isVisible())
        SaveArrangement();
    FMachine.RemoveObserver(this);
    // The search cannot be stopped half way; it ends within seconds, and its answer, posted to
    // this window, goes with it.
    if (FExplorer.joinable())
        FExplorer.join();
    if (FSeeker.joinable()) {
        FSeeker.join();
        if (!FWayDropped)
            QApplication::restoreOverrideCursor();
    }
}

void TAutomataWindow::SaveArrangement() const {
    // No organisation is named: the program's own folder, ~/.config/slotmachine on Linux.
    QSettings Settings(QCoreApplication::applicationName(), QCoreApplication::applicationName());
    Settings.setValue(QLatin1String(GeometryKey), saveGeometry());
    Settings.setValue(QLatin1String(StateKey), saveState());
}

QSize TAutomataWindow::sizeHint() const {
    // What the menu, the tool bar and the docks take, as the main window's layout sums them, around
    // the diagrams whole at 1.
    const QSize Around = QMainWindow::sizeHint() - FScroll->sizeHint();
    const QSize Diagrams = NeededSize(1);
    return {std::max(Diagrams.width(), QMainWindow::sizeHint().width()),
            Around.height() + Diagrams.height()};
}

QSize TAutomataWindow::UsefulSize() const {
    const QSize Around = QMainWindow::sizeHint() - FScroll->sizeHint();
    const QSize Diagrams = NeededSize(UsefulScale);
    return {std::max(Diagrams.width(), QMainWindow::minimumSizeHint().width()),
            Around.height() + Diagrams.height()};
}

void TAutomataWindow::ZoomIn() {
    Zoom(TZoom::Fixed, FScale * ZoomStep, FScroll->viewport()->rect().center());
}

void TAutomataWindow::ZoomOut() {
    Zoom(TZoom::Fixed, FScale / ZoomStep, FScroll->viewport()->rect().center());
}

void TAutomataWindow::ZoomToFit() {
    Zoom(TZoom::Fit, FitScale(), FScroll->viewport()->rect().center());
}

double TAutomataWindow::FitScale() const {
    // Titles and margins keep their size and only the diagrams scale, so the largest scale that
    // fits is sought, not computed.
    const QSize Room = FScroll->maximumViewportSize();
    const auto Fits = [this, Room](double Scale) {
        return NeededSize(Scale).boundedTo(Room) == NeededSize(Scale);
    };
    double Low = MinScale;
    double High = MaxScale;
    for (int Round = 0; Round < 20; ++Round) {
        const double Middle = (Low + High) / 2;
        (Fits(Middle) ? Low : High) = Middle;
    }
    return Low;
}

QSize TAutomataWindow::NeededSize(double Scale) const {
    QSize Size(static_cast<int>(FViews.size()) - 1, 0); // a pixel between the diagrams
    for (const TDiagramView* View : FViews) {
        const QSize Each = View->SizeAt(Scale);
        Size = QSize(Size.width() + Each.width(), std::max(Size.height(), Each.height()));
    }
    return Size;
}

void TAutomataWindow::Zoom(TZoom Mode, double Scale, QPoint Anchor) {
    QScrollBar* Bars[] = {FScroll->horizontalScrollBar(), FScroll->verticalScrollBar()};
    const QSize Before = FCanvas->size();
    const double Share[] = {(Bars[0]->value() + Anchor.x()) / std::max(1.0, 1.0 * Before.width()),
                            (Bars[1]->value() + Anchor.y()) / std::max(1.0, 1.0 * Before.height())};
    FZoom = Mode;
    FScale = std::clamp(Scale, MinScale, MaxScale);
    Arrange();
    const QSize After = FCanvas->size();
    Bars[0]->setValue(static_cast<int>(std::lround(Share[0] * After.width())) - Anchor.x());
    Bars[1]->setValue(static_cast<int>(std::lround(Share[1] * After.height())) - Anchor.y());
}

void TAutomataWindow::Arrange() {
    if (FZoom == TZoom::Auto)
        FScale = std::clamp(FitScale(), 1.0, 2.0);
    else if (FZoom == TZoom::Fit)
        FScale = FitScale();
    for (TDiagramView* View : FViews)
        View->SetScale(FScale);
    const QSize Needed = NeededSize(FScale);
    // The room the viewport keeps once the scroll bars that the diagrams need have taken theirs.
    QSize Room = FScroll->maximumViewportSize();
    const int Bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, FScroll);
    bool Across = Needed.width() > Room.width();
    const bool Down = Needed.height() > Room.height() - (Across ? Bar : 0);
    Across = Across || Needed.width() > Room.width() - (Down ? Bar : 0);
    Room -= QSize(Down ? Bar : 0, Across ? Bar : 0);
    const QSize Canvas = Needed.expandedTo(Room);
    FCanvas->resize(Canvas);
    // What is left over goes to the diagrams by their widths, as they would grow.
    double Widths = 0;
    for (const TDiagramView* View : FViews)
        Widths += View->LayoutSize().width();
    const int Spare = Canvas.width() - Needed.width();
    int Left = 0;
    int Given = 0;
    double Share = 0;
    for (TDiagramView* View : FViews) {
        Share += View->LayoutSize().width() / std::max(1.0, Widths);
        const int Extra = static_cast<int>(std::lround(Share * Spare)) - Given;
        Given += Extra;
        const int Width = View->SizeAt(FScale).width() + Extra;
        View->setGeometry(Left, 0, Width, Canvas.height());
        Left += Width + 1;
    }
}

bool TAutomataWindow::eventFilter(QObject* Object, QEvent* Event) {
    if (Object == FScroll->viewport() && Event->type() == QEvent::Resize) {
        Arrange();
        return false;
    }
    if (Event->type() == QEvent::ContextMenu) {
        auto* View = qobject_cast<TDiagramView*>(Object);
        const auto* Menu = static_cast<QContextMenuEvent*>(Event);
        if (!View)
            return false;
        const std::optional<TTarget> Target = View->TargetAt(Menu->pos());
        auto* Popup = new QMenu(this);
        Popup->setAttribute(Qt::WA_DeleteOnClose);
        for (const bool FromPresent : {false, true}) {
            if (!Target)
                break;
            QAction* Action = Popup->addAction(FromPresent ? QStringLiteral("…отсюда")
                                                           : QStringLiteral("Как сюда попасть?"));
            Action->setEnabled(!Seeking());
            connect(Action, &QAction::triggered, this,
                    [this, Target, FromPresent] { FindWay(*Target, FromPresent); });
        }
        if (FBreakpoints) {
            Popup->addSeparator();
            QAction* Break = Popup->addAction(QStringLiteral("Точка остановки"));
            Break->setObjectName(QStringLiteral("actBreakpoint"));
            Break->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
            Break->setCheckable(true);
            const auto Marks = View->BreakMarks();
            Break->setChecked(std::any_of(Marks.begin(), Marks.end(), [&](const auto& Mark) {
                return Mark.Target == *Target && Mark.Plain;
            }));
            connect(Break, &QAction::triggered, this,
                    [this, Target] { FBreakpoints->Toggle(*Target); });
        }
        AddPictureAction(*Popup, *View);
        Popup->popup(Menu->globalPos());
        return true;
    }
    if (Event->type() != QEvent::Wheel)
        return false;
    auto* Wheel = static_cast<QWheelEvent*>(Event);
    if (!(Wheel->modifiers() & Qt::ControlModifier))
        return false;
    // A notch is 120; a touchpad sends it in small pieces.
    FWheel += Wheel->angleDelta().y();
    const QPoint Anchor =
        static_cast<QWidget*>(Object)->mapTo(FScroll->viewport(), Wheel->position().toPoint());
    for (; FWheel >= 120; FWheel -= 120)
        Zoom(TZoom::Fixed, FScale * ZoomStep, Anchor);
    for (; FWheel <= -120; FWheel += 120)
        Zoom(TZoom::Fixed, FScale / ZoomStep, Anchor);
    return true;
}

TDiagramView* TAutomataWindow::View(int32_t Automaton) const {
    return FViews.at(static_cast<size_t>(Automaton));
}

void TAutomataWindow::SetClock(TClock Clock) {
    FClock = std::move(Clock);
}

void TAutomataWindow::showEvent(QShowEvent* Event) {
    QMainWindow::showEvent(Event);
    if (!FDocksPlaced) {
        // The layout gives a new dock its least height; the first time it gets what it asks.
        FDocksPlaced = true;
        resizeDocks({FChartDock}, {FChartDock->sizeHint().height()}, Qt::Vertical);
    }
    // The session's timeline as tall as its bar and its line of text want, once a start, where
    // the diagrams keep most of the window.
    const int SessionHeight = FSessionDock ? FSessionDock->sizeHint().height() : 0;
    if (FSessionDock && !std::exchange(FSessionPlaced, true) &&
        FSessionDock->height() < SessionHeight && 6 * SessionHeight <= height())
        resizeDocks({FSessionDock}, {SessionHeight}, Qt::Vertical);
    FMachine.AddObserver(this);
    ShowStates();
    ShowCoverage();
    StartExploring();
    FeedChart();
    FTimeline->TimersChanged();
    FPresent.start(PresentMs, this);
}

void TAutomataWindow::hideEvent(QHideEvent* Event) {
    QMainWindow::hideEvent(Event);
    SaveArrangement();
    // Hidden, it costs the machine nothing; shown again, it starts from the states as they are.
    // The record goes on, so that the chart misses nothing.
    FMachine.RemoveObserver(this);
    FPresent.stop();
    Unlight();
    if (Seeking() && !FWayDropped) {
        FWayDropped = true;
        QApplication::restoreOverrideCursor();
    }
}

void TAutomataWindow::resizeEvent(QResizeEvent* Event) {
    QMainWindow::resizeEvent(Event);
    // The docks of each side take at most a third of the window between them: the diagrams
    // keep the rest, on a small screen too.
    std::vector<QDockWidget*> Docks = {FChartDock, FTimelineDock, FBreakpointsDock, FWatchesDock};
    if (FSessionDock)
        Docks.push_back(FSessionDock);
    std::erase_if(Docks,
                  [](const QDockWidget* Dock) { return Dock->isHidden() || Dock->isFloating(); });
    const auto Across = [this](QDockWidget* Dock) {
        const Qt::DockWidgetArea Area = dockWidgetArea(Dock);
        return Area == Qt::TopDockWidgetArea || Area == Qt::BottomDockWidgetArea;
    };
    QSet<Qt::DockWidgetArea> Areas[2];
    for (QDockWidget* Dock : Docks)
        Areas[Across(Dock) ? 1 : 0].insert(dockWidgetArea(Dock));
    for (QDockWidget* Dock : Docks) {
        const bool IsAcross = Across(Dock);
        const int Now = IsAcross ? Dock->height() : Dock->width();
        const int Most = (IsAcross ? height() : width()) / 3 / int(Areas[IsAcross ? 1 : 0].size());
        if (Now > Most)
            resizeDocks({Dock}, {Most}, IsAcross ? Qt::Vertical : Qt::Horizontal);
    }
}

void TAutomataWindow::Hold(bool Held) {
    if (Held) {
        FHeldChanges = FHeldChanges.value_or(0u);
        return;
    }
    if (const auto Changes = std::exchange(FHeldChanges, std::nullopt); Changes && isVisible())
        MachineChanged(*Changes);
}

void TAutomataWindow::StartAnew() {
    Unlight();
    FRecord->TakeFinished();
    FChart->Clear();
    FTimeline->Clear(FMachineClock.Now());
}

void TAutomataWindow::Unlight() {
    FFade.stop();
    for (TDiagramView* View : FViews)
        View->Unlight();
    ShowStates();
    ShowCoverage();
}

void TAutomataWindow::AddSessionTimeline(QWidget* Timeline) {
    FSessionDock = new QDockWidget(QStringLiteral("Ход сеанса"), this);
    FSessionDock->setObjectName(QStringLiteral("SessionDock"));
    FSessionDock->setWidget(Timeline);
    addDockWidget(Qt::TopDockWidgetArea, FSessionDock);
    FPanes->addAction(FSessionDock->toggleViewAction());
    // Its place, as the user left it, comes back with the others'.
    const QSettings Settings(QCoreApplication::applicationName(),
                             QCoreApplication::applicationName());
    restoreState(Settings.value(QLatin1String(StateKey)).toByteArray());
}

void TAutomataWindow::Forked(int64_t Moment) {
    FChart->DropAfter(Moment);
    FTimeline->DropAfter(Moment, FChart->Count());
}

void TAutomataWindow::PastEnded() {
    FRecord->TakeFinished();
}

void TAutomataWindow::AddPictureAction(QMenu& Menu, TDiagramView& View) {
    if (!Menu.isEmpty())
        Menu.addSeparator();
    connect(Menu.addAction(QStringLiteral("Сохранить рисунок…")), &QAction::triggered, this,
            [this, &View] {
                SavePicture(this, View.Picture(),
                            QStringLiteral("автомат A%1").arg(View.Diagram().Automaton));
            });
}

void TAutomataWindow::SelectStep(qsizetype Step) {
    // Chosen again, the message is shown again: the user may have moved the protocol since.
    if (FChart->Selected() == Step)
        ShowMessage(Step);
    else
        FChart->Select(Step);
}

void TAutomataWindow::FeedChart() {
    std::vector<TRecordedStep> Steps = FRecord->TakeFinished();
    if (FReplaying && FReplaying())
        return;
    FTimeline->Append(Steps);
    FChart->Append(std::move(Steps));
    FChart->SetNow(FMachineClock.Now());
    FTimeline->SetNow(FMachineClock.Now());
}

void TAutomataWindow::ShowMessage(qsizetype Arrow) {
    // The step lights up in its diagram too, and fades as a step just taken does.
    const TSequenceChart::TArrow& Chosen = FChart->Arrow(Arrow);
    if (Chosen.Row >= 0) {
        View(Chosen.Automaton)
            ->Light({Chosen.Automaton, Chosen.Event, Chosen.From, Chosen.Row, Chosen.To}, FClock());
        Tick();
        if (!FFade.isActive())
            FFade.start(FrameMs, this);
    }
    auto* Protocol = parentWidget() ? parentWidget()->findChild<TLogPanel*>() : nullptr;
    const std::string& Message = FChart->Message(Arrow);
    if (!Protocol || Message.empty())
        return;
    // The same text written later lies between it and the end; the same text, the same number.
    qsizetype Later = 0;
    for (qsizetype Each = Arrow + 1; Each < FChart->Count(); ++Each)
        Later += FChart->Arrow(Each).Message == Chosen.Message ? 1 : 0;
    Protocol->ShowMessage(Protocol->FindFromEnd(QString::fromStdString(Message), Later));
}

void TAutomataWindow::timerEvent(QTimerEvent* Event) {
    if (Event->timerId() == FFade.timerId()) {
        Tick();
    } else if (Event->timerId() == FPresent.timerId()) {
        FChart->SetNow(FMachineClock.Now());
        // Behind the chart's tab or closed, the timeline moves on when it is shown again.
        if (FTimeline->isVisible())
            FTimeline->SetNow(FMachineClock.Now());
    } else
        QMainWindow::timerEvent(Event);
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
    // Held, the timers' spans are still taken as they come; the rest is shown once, at the end.
    if (FHeldChanges) {
        *FHeldChanges |= Changes;
        FTimeline->TimersChanged();
        return;
    }
    // Spin ticks change neither a state nor take a step: nothing here is painted for them.
    if (Changes & ChangedSteps) {
        LightSteps();
        ShowCoverage();
        FeedChart();
    }
    if (Changes & (ChangedStates | ChangedSteps))
        ShowStates();
    // A timer starts and stops with no notice of its own: each notice looks.
    FTimeline->TimersChanged();
}

void TAutomataWindow::LightSteps() {
    // Every step of an input is taken at the same moment, so all light at once, numbered in the
    // order of the protocol: a paused clock would never reach a step lit later. An earlier
    // input's steps go dark, or their numbers would mix with these; an input that lights nothing
    // leaves them.
    const qint64 Now = FClock();
    const std::vector<TStep>& Steps = FMachine.Steps();
    const auto Relays = [this](const TStep& Step) {
        const auto& Nodes = View(Step.Automaton)->Diagram().Nodes;
        return Step.From >= 0 && static_cast<size_t>(Step.From) < Nodes.size() &&
               Nodes[static_cast<size_t>(Step.From)].RelayTarget >= 0;
    };
    if (std::none_of(Steps.begin(), Steps.end(),
                     [&](const TStep& Step) { return Step.Row >= 0 || Relays(Step); }))
        return;
    for (TDiagramView* Each : FViews)
        Each->Unlight();
    int Order = 0;
    for (const TStep& Step : Steps) {
        if (Relays(Step))
            View(Step.Automaton)->LightRelay(Step.From, Now);
        if (Step.Row >= 0)
            View(Step.Automaton)->Light(Step, Now, ++Order);
    }
    for (TDiagramView* Each : FViews)
        Each->SetNow(Now);
    KeepInSight(Steps);
    if (!FFade.isActive())
        FFade.start(FrameMs, this);
}

void TAutomataWindow::KeepInSight(const std::vector<TStep>& Steps) {
    if (FMachineClock.WallNow() - FUserScrolled < UserScrollMs)
        return;
    const QScopedValueRollback Ours(FScrolling, true);
    // One after another, so that the last step is surely in sight and the earlier ones as the
    // viewport allows.
    for (const TStep& Step : Steps) {
        if (Step.Row < 0)
            continue;
        const TDiagramView* View = FViews.at(static_cast<size_t>(Step.Automaton));
        const QRect Label = View->LabelRect(Step.Row).toAlignedRect().translated(View->pos());
        if (Label.isEmpty())
            continue;
        FScroll->ensureVisible(Label.center().x(), Label.center().y(), Label.width() / 2 + 16,
                               Label.height() / 2 + 16);
    }
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

// --- Breakpoints ------------------------------------------------------------------------------

void TAutomataWindow::SetBreakpoints(TWindowBreakpoints* Breakpoints) {
    FBreakpoints = Breakpoints;
    auto* List = new TBreakpointsDock(*Breakpoints, FMachine, FBreakpointsDock);
    // Tabbed with the chart, it must not ask for more room than the chart does: in a small
    // window the diagrams keep theirs.
    List->setMinimumHeight(FChart->minimumSizeHint().height());
    FBreakpointsDock->setWidget(List);
    connect(Breakpoints, &TWindowBreakpoints::Changed, this, &TAutomataWindow::ShowBreakMarks);
    connect(Breakpoints, &TWindowBreakpoints::Hit, this, [this](const QString& Text) {
        FStrip->ShowHalt(Text);
        ShowBreakMarks();
    });
    ShowBreakMarks();
}

void TAutomataWindow::ToggleFocusedBreakpoint() {
    for (const TDiagramView* View : FViews)
        if (View->hasFocus() && View->FocusedTarget() && FBreakpoints)
            FBreakpoints->Toggle(*View->FocusedTarget());
}

void TAutomataWindow::ShowBreakMarks() {
    std::array<std::vector<TDiagramView::TBreakMark>, 3> Marks;
    const auto& List = FBreakpoints->List();
    for (size_t Index = 0; Index < List.size(); ++Index) {
        const TBreakpoint& Each = List[Index];
        const bool Hit = FBreakpoints->LastHit() == Index;
        auto& Mine = Marks.at(static_cast<size_t>(Each.Automaton));
        const bool Plain = Each.Conditions.empty();
        if (Each.Kind == TBreakKind::Event) {
            for (const TDiagramEdge& Edge : View(Each.Automaton)->Diagram().Edges)
                if (Edge.Event == Each.Index)
                    Mine.push_back({{Each.Automaton, true, Edge.Row}, Each.Enabled, Hit, false});
        } else {
            Mine.push_back({{Each.Automaton, Each.Kind == TBreakKind::Row, Each.Index},
                            Each.Enabled,
                            Hit,
                            Plain});
        }
    }
    for (size_t Automaton = 0; Automaton < FViews.size(); ++Automaton)
        FViews[Automaton]->SetBreakMarks(std::move(Marks[Automaton]));
}

// --- Coverage ---------------------------------------------------------------------------------

namespace {

TAutomataWindow::TExplorer& Explorer() {
    static TAutomataWindow::TExplorer Each = [] {
        const TMachine StartUp;
        return ReachableOf(Explore(StartUp));
    };
    return Each;
}

} // namespace

void TAutomataWindow::SetExplorer(TExplorer Explorer) {
    sm::Explorer() = std::move(Explorer);
}

void TAutomataWindow::SetCoverage(TCoverageSource Source) {
    FCoverage = std::move(Source);
    ShowCoverage();
}

void TAutomataWindow::StartExploring() {
    if (FReachable || FExplorer.joinable())
        return;
    FExplorer = std::thread([this, Search = Explorer()] {
        FFound = std::make_unique<TReachable>(Search());
        QMetaObject::invokeMethod(
            this,
            [this] {
                FExplorer.join();
                FReachable = std::move(*FFound);
                FFound.reset();
                ShowCoverage();
            },
            Qt::QueuedConnection);
    });
}

void TAutomataWindow::SetPlayer(TPlayer Player) {
    FPlayer = std::move(Player);
}

void TAutomataWindow::FindWay(const TTarget& Target, bool FromPresent) {
    if (Seeking())
        return;
    FWayTarget = Target;
    FWayFromPresent = FromPresent;
    FWayDropped = false;
    FWay.reset();
    QApplication::setOverrideCursor(Qt::BusyCursor);
    // The seeker gets machines of its own; the running one goes on meanwhile.
    std::function<std::optional<TWay>()> Seek;
    if (FromPresent) {
        FMachineClock.CatchUp();
        FWayStart = FMachine.Snapshot();
        FWayMoment = FMachineClock.Time().Now();
        FWaySession = FSessionSoFar ? FSessionSoFar() : QByteArray();
        Seek = [Present = FMachineClock.Time(), Target] { return WayFrom(Present, Target); };
    } else {
        Seek = [Target] { return WayFromStartUp(TMachine(), Target); };
    }
    FSeeker = std::thread([this, Seek = std::move(Seek)] {
        FSought = std::make_unique<std::optional<TWay>>(Seek());
        QMetaObject::invokeMethod(this, &TAutomataWindow::WayArrived, Qt::QueuedConnection);
    });
}

void TAutomataWindow::WayArrived() {
    FSeeker.join();
    std::optional<TWay> Way = std::move(*FSought);
    FSought.reset();
    if (FWayDropped)
        return;
    QApplication::restoreOverrideCursor();
    FWay = std::move(Way);
    emit WayFound();
    OfferWay();
}

void TAutomataWindow::OfferWay() {
    const TDiagram& Diagram = View(FWayTarget.Automaton)->Diagram();
    const QString What =
        FWayTarget.IsRow ? QStringLiteral("переход %1").arg(RowText(Diagram, FWayTarget.Index))
                         : QStringLiteral("состояние %1")
                               .arg(QString::fromStdString(
                                   Diagram.Nodes.at(static_cast<size_t>(FWayTarget.Index)).Name));
    const QString From =
        FWayFromPresent ? QStringLiteral("с этого мгновения") : QStringLiteral("от запуска");
    auto* Box = new QMessageBox(this);
    Box->setObjectName(QStringLiteral("WayBox"));
    Box->setAttribute(Qt::WA_DeleteOnClose);
    Box->setWindowTitle(QStringLiteral("Как сюда попасть?"));
    if (!FWay) {
        Box->setIcon(QMessageBox::Information);
        Box->setText(QStringLiteral("%1 %2 не достичь: ни один сеанс до него не доходит.")
                         .arg(From.front().toUpper() + From.mid(1), What));
        Box->setStandardButtons(QMessageBox::Close);
        Box->open();
        return;
    }
    Box->setText(QStringLiteral("Кратчайший сеанс %1 на %2: ходов игрока — %3, время машины — "
                                "%4 мс.")
                     .arg(From, What)
                     .arg(FWay->PlayerMoves)
                     .arg(FWay->Milliseconds));
    Box->setDetailedText(FWay->Text);
    QPushButton* Play = Box->addButton(QStringLiteral("Проиграть"), QMessageBox::AcceptRole);
    Play->setObjectName(QStringLiteral("Play"));
    QPushButton* Save = nullptr;
    // A way from the present continues this session: it is saved after the session so far.
    if (!FWayFromPresent || !FWaySession.isEmpty()) {
        Save = Box->addButton(QStringLiteral("Сохранить…"), QMessageBox::ActionRole);
        Save->setObjectName(QStringLiteral("Save"));
    }
    Box->addButton(QMessageBox::Close);
    connect(Box, &QMessageBox::buttonClicked, this, [this, Play, Save](QAbstractButton* Button) {
        QString Problem;
        if (Button == Play) {
            Problem = PlayWay();
        } else if (Button == Save && Save) {
            const QString Path = QFileDialog::getSaveFileName(
                this, QStringLiteral("Сохранить сеанс"), QStringLiteral("сеанс.session"),
                QStringLiteral("Сеансы (*.session);;Все файлы (*)"));
            if (!Path.isEmpty())
                Problem = SaveWay(Path);
        }
        if (!Problem.isEmpty())
            QMessageBox::warning(this, QStringLiteral("Как сюда попасть?"), Problem);
    });
    Box->open();
}

QString TAutomataWindow::PlayWay() {
    if (!FWay)
        return {};
    if (!FWayFromPresent) {
        if (FPlayer)
            FPlayer(FWay->Script, TargetName(FMachine, FWayTarget));
        return {};
    }
    // A continuation fits only the moment it was sought from; an idle machine waits unchanged.
    FMachineClock.CatchUp();
    if (FMachine.Snapshot() != FWayStart ||
        (FMachineClock.Time().Now() != FWayMoment && !Settled(FMachine)))
        return QStringLiteral("Машина ушла дальше того мгновения, от которого искался путь: "
                              "найдите его заново.");
    FMachineClock.Play(FWay->Script.Commands);
    return {};
}

QString TAutomataWindow::SaveWay(const QString& Path) const {
    if (!FWay)
        return {};
    QByteArray Text = FWayFromPresent ? FWaySession : QByteArray();
    if (!Text.isEmpty() && !Text.endsWith('\n'))
        Text += '\n';
    return WriteFile(Path, Text + FWay->Text.toUtf8());
}

void TAutomataWindow::ShowCoverage() {
    if (!FCoverage)
        return;
    const TCoverageCounts& Counts = FCoverage();
    static const std::vector<bool> All;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const auto Index = static_cast<size_t>(Automaton);
        FViews[Index]->SetCoverage(Counts[Index], FReachable ? FReachable->Rows[Index] : All,
                                   FReachable ? FReachable->States[Index] : All,
                                   FReachable.has_value());
    }
}

} // namespace sm
