// The diagrams keeping up with the clock, «Автоматы» placed on the screen, the clock worked by a
// screen reader and its state seen in the main window.
#include "tests/WindowPlayer.h"
#include "window/AutomataWindow.h"
#include "window/ClockState.h"
#include "window/ClockStrip.h"
#include "window/ErrorBox.h"

#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QToolButton>

using namespace sm;

namespace {

// Automaton, from and to: a change of state as the protocol tells it, or as a lit edge draws it.
using TTransitions = QList<std::tuple<int, int, int>>;

TTransitions ProtocolTransitions(const TSlotMachine& Window, qsizetype From) {
    static const QRegularExpression Transition(
        QStringLiteral("^Автомат A(\\d) .* перешел из состояния (\\d+) в состояние (\\d+)$"));
    TTransitions Found;
    for (qsizetype Line = From; Line < Window.Log->LineCount(); ++Line)
        if (const auto Match = Transition.match(Window.Log->Line(Line)); Match.hasMatch())
            Found << std::tuple(Match.captured(1).toInt(), Match.captured(2).toInt(),
                                Match.captured(3).toInt());
    return Found;
}

// The lit edges that change a state, in the order of their numbers.
TTransitions LitTransitions(const TAutomataWindow& Window) {
    std::map<int, std::tuple<int, int, int>> ByOrder;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        for (const TDiagramEdge& Edge : Window.View(Automaton)->Diagram().Edges)
            if (const int Order = Window.View(Automaton)->EdgeOrder(Edge.Row);
                Order > 0 && Edge.From != Edge.To)
                ByOrder[Order] = {Automaton, Edge.From, Edge.To};
    TTransitions Lit;
    for (const auto& [Order, Transition] : ByOrder)
        Lit << Transition;
    return Lit;
}

} // namespace

class SpeedTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
        TErrorBox::Instance().Presenter = [](const QString& Text) { QFAIL(qPrintable(Text)); };
        TAutomataWindow::SetExplorer([] { return TReachable(); });
        QStandardPaths::setTestModeEnabled(true);
        QSettings(QCoreApplication::applicationName(), QCoreApplication::applicationName()).clear();
    }
    void litStepsAreTheInputsSteps_data();
    void litStepsAreTheInputsSteps();
    void automataOpensOnTheScreen_data();
    void automataOpensOnTheScreen();
    void accessibleActionsDoWhatAClickDoes();
};

void SpeedTest::litStepsAreTheInputsSteps_data() {
    QTest::addColumn<QString>("clock"); // paused, stepping or running
    QTest::addColumn<int>("coins");
    QTest::addColumn<int>("presses"); // of «Игра», each an input of its own
    QTest::newRow("paused, a token and «Игра» twice") << "paused" << 1 << 2;
    QTest::newRow("paused, three tokens") << "paused" << 3 << 0;
    QTest::newRow("stepping through two games") << "stepping" << 2 << 2;
    QTest::newRow("running, a token and «Игра»") << "running" << 1 << 1;
}

void SpeedTest::litStepsAreTheInputsSteps() {
    QFETCH(QString, clock);
    QFETCH(int, coins);
    QFETCH(int, presses);
    TPlayedWindow W;
    W.Window.ShowAutomata();
    TMachineClock& Clock = W.Window.Clock();
    Clock.SetPaused(clock == QLatin1String("paused"));
    const auto Check = [&](const std::function<void()>& Input) {
        const qsizetype Seen = W.Window.Log->LineCount();
        Input();
        W.Pass(100); // a paused clock holds, a running one moves the fade on
        W.Window.AutomataWindow()->Tick();
        QCOMPARE(LitTransitions(*W.Window.AutomataWindow()), ProtocolTransitions(W.Window, Seen));
    };
    for (int Game = 0; Game < (clock == QLatin1String("stepping") ? 2 : 1); ++Game) {
        for (int Coin = 0; Coin < coins; ++Coin)
            Check([&] { W.Coin(); });
        for (int Press = 0; Press < presses; ++Press)
            Check([&] { W.Click(W.Window.iPlay); });
        for (int Steps = 0; clock == QLatin1String("stepping") && Clock.CanStep(); ++Steps)
            Check([&] { QVERIFY(Clock.Step()); });
    }
}

void SpeedTest::automataOpensOnTheScreen_data() {
    QTest::addColumn<QRect>("room");
    QTest::addColumn<QPoint>("at"); // the main window's place
    for (const QRect Room : {QRect(0, 28, 1280, 772), QRect(0, 0, 1024, 768)})
        for (const QPoint At : {QPoint(96, 183), QPoint(0, 28), QPoint(10, 420)})
            QTest::addRow("%dx%d, at %d,%d", Room.width(), Room.bottom() + 1, At.x(), At.y())
                << Room << At;
}

void SpeedTest::automataOpensOnTheScreen() {
    QFETCH(QRect, room);
    QFETCH(QPoint, at);
    const QRect Left(40, 60, 900, 600);
    for (const bool Moved : {false, true}) {
        TSlotMachine Window;
        Window.SetScreenRoom([room] { return room; });
        Window.move(at);
        Window.show();
        Window.ShowAutomata();
        TAutomataWindow* Automata = Window.AutomataWindow();
        if (Moved) { // where the user left it the first time
            QCOMPARE(Automata->geometry(), Left);
            return;
        }
        const QRect Placed = Automata->frameGeometry();
        QVERIFY(room.contains(Placed));
        const QSize Useful = Automata->UsefulSize().boundedTo(room.size());
        QVERIFY(Placed.width() >= Useful.width() && Placed.height() >= Useful.height());
        // Beside the main window where the room below or above it lets it.
        if (std::max(room.bottom() - Window.frameGeometry().bottom(), at.y() - room.top()) >=
            Useful.height())
            QVERIFY(!Placed.intersects(Window.frameGeometry()));
        Automata->setGeometry(Left);
        Automata->close();
    }
}

void SpeedTest::accessibleActionsDoWhatAClickDoes() {
    TPlayedWindow W;
    W.Window.ShowAutomata();
    const TClockStrip* Strip = W.Window.AutomataWindow()->Strip();
    TMachineClock& Clock = W.Window.Clock();
    // «Пауза» pressed or toggled by a screen reader pauses and goes on as a click does.
    QAccessibleActionInterface* Pause =
        QAccessible::queryAccessibleInterface(Strip->PauseButton())->actionInterface();
    for (const QString& Action :
         {QAccessibleActionInterface::toggleAction(), QAccessibleActionInterface::toggleAction(),
          QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::toggleAction()}) {
        const bool Before = Clock.Paused();
        Pause->doAction(Action);
        QVERIFY2(Clock.Paused() != Before, qPrintable(Action));
        QCOMPARE(Strip->PauseButton()->isChecked(), Clock.Paused());
        QCOMPARE(W.Window.ClockState()->accessibleName(),
                 Clock.Paused() ? QStringLiteral("Пауза") : QString());
    }
    // The speed box opens as a click opens it; an item chosen there sets the speed.
    QComboBox* Box = Strip->SpeedBox();
    for (const QString& Text : {QStringLiteral("2×"), QStringLiteral("1/10×")}) {
        QAccessible::queryAccessibleInterface(Box)->actionInterface()->doAction(
            QAccessibleActionInterface::pressAction());
        QVERIFY(Box->view()->isVisible());
        QAccessibleInterface* List = QAccessible::queryAccessibleInterface(Box->view());
        for (int Child = 0; Child < List->childCount(); ++Child)
            if (List->child(Child)->text(QAccessible::Name) == Text)
                List->child(Child)->actionInterface()->doAction(
                    QAccessibleActionInterface::toggleAction());
        QCOMPARE(TClockStrip::SpeedText(Clock.Speed()), Text);
        QVERIFY(!Box->view()->isVisible());
        QCOMPARE(W.Window.ClockState()->accessibleName(), QStringLiteral("Скорость ") + Text);
    }
}

QTEST_MAIN(SpeedTest)
#include "SpeedTest.moc"
