// The clock at every speed and run to the end, the diagrams keeping up with it, «Автоматы» placed
// on the screen, and the clock's state seen and worked from the main window.
#include "cli/Replay.h"
#include "sessions/Script.h"
#include "tests/WindowPlayer.h"
#include "window/AutomataWindow.h"
#include "window/ClockState.h"
#include "window/ClockStrip.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QComboBox>
#include <QDir>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QToolButton>

#include <sstream>

using namespace sm;

namespace {

const QLocale Russian(QLocale::Russian, QLocale::Russia);

TScript Parsed(const QByteArray& Text) {
    TParsedScript Script = ParseScript(Text);
    if (Script.Error)
        qFatal("bad test script: %s", qPrintable(Script.Error->Message));
    return std::move(Script.Script);
}

// What the companion writes for the script, without its "=== " lines.
QByteArray Replayed(const QByteArray& Script) {
    TReplayOptions Options;
    Options.Locale = Russian;
    std::ostringstream Out;
    Replay(Parsed(Script), Options, Out);
    QByteArray Text;
    for (const QByteArray& Line : QByteArray::fromStdString(Out.str()).split('\n'))
        if (!Line.startsWith("=== "))
            Text += Line + '\n';
    return Text.chopped(1);
}

QByteArray PanelBytes(const TSlotMachine& Window) {
    return (Window.Log->Text() + u'\n').toUtf8();
}

// A lively session: games won and lost, a counterfeit token, switches, a reset and a pay-out.
const QByteArray Session = "seed 7\nstart 2026-01-01T09:00:00\n"
                           "coin\ncoin\ncoin\nplay\nwait 300\nplay\nsettle\n"
                           "coin\nbad\nwait 120\nlog A2 start off\nplay\nwait 2000\nplay\nsettle\n"
                           "wait 500\ncoin\nplay\nplay\nwait 1500\nreset\nsettle\nreturn\n"
                           "wait 777\ncoin\nplay\nplay\nsettle\nwait 1000\n";

// An automaton's change of state as the protocol tells it, or as a lit edge draws it.
using TTransition = std::tuple<int, int, int>;
using TTransitions = QList<TTransition>;

TTransitions ProtocolTransitions(const TSlotMachine& Window, qsizetype From) {
    static const QRegularExpression Transition(
        QStringLiteral("^Автомат A(\\d) .* перешел из состояния (\\d+) в состояние (\\d+)$"));
    TTransitions Found;
    for (qsizetype Line = From; Line < Window.Log->LineCount(); ++Line)
        if (const auto Match = Transition.match(Window.Log->Line(Line)); Match.hasMatch())
            Found << TTransition{Match.captured(1).toInt(), Match.captured(2).toInt(),
                                 Match.captured(3).toInt()};
    return Found;
}

// The lit edges that change a state, in the order their numbers give.
TTransitions LitTransitions(const TAutomataWindow& Window) {
    std::map<int, TTransition> ByOrder;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const TDiagramView* View = Window.View(Automaton);
        for (const TDiagramEdge& Edge : View->Diagram().Edges)
            if (const int Order = View->EdgeOrder(Edge.Row); Order > 0 && Edge.From != Edge.To)
                ByOrder[Order] = {Automaton, Edge.From, Edge.To};
    }
    TTransitions Lit;
    for (const auto& [Order, Transition] : ByOrder)
        Lit << Transition;
    return Lit;
}

QAccessibleActionInterface* Actions(QWidget* Control) {
    QAccessibleInterface* Accessible = QAccessible::queryAccessibleInterface(Control);
    return Accessible ? Accessible->actionInterface() : nullptr;
}

} // namespace

class SpeedTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void everySpeedGivesTheReplaysProtocol_data();
    void everySpeedGivesTheReplaysProtocol();
    void litStepsAreTheInputsSteps_data();
    void litStepsAreTheInputsSteps();
    void litStepIsKeptInSight();
    void automataOpensOnTheScreen_data();
    void automataOpensOnTheScreen();
    void automataOpensWhereTheUserLeftIt();
    void mainWindowShowsTheClock_data();
    void mainWindowShowsTheClock();
    void accessibleActionsDoWhatAClickDoes();
};

void SpeedTest::initTestCase() {
    QLocale::setDefault(Russian);
    TErrorBox::Instance().Presenter = [](const QString& Text) { QFAIL(qPrintable(Text)); };
    TAutomataWindow::SetExplorer([] { return TReachable(); });
}

void SpeedTest::init() {
    QStandardPaths::setTestModeEnabled(true);
    QSettings(QCoreApplication::applicationName(), QCoreApplication::applicationName()).clear();
}

void SpeedTest::everySpeedGivesTheReplaysProtocol_data() {
    QTest::addColumn<int>("machine");
    QTest::addColumn<int>("wall");
    QTest::addColumn<int>("toEnd"); // wall milliseconds before Ctrl+F5; -1: never
    for (const TMachineClock::TSpeed Speed : TMachineClock::Speeds)
        if (Speed.Wall <= 4)
            QTest::addRow("%d/%d", Speed.Machine, Speed.Wall) << Speed.Machine << Speed.Wall << -1;
    QTest::newRow("Ctrl+F5 at once") << 1 << 1 << 0;
    QTest::newRow("Ctrl+F5 mid-game") << 1 << 1 << 2500;
    QTest::newRow("Ctrl+F5 at 5×") << 5 << 1 << 1200;
    QTest::newRow("Ctrl+F5 at ½×") << 1 << 2 << 700;
}

void SpeedTest::everySpeedGivesTheReplaysProtocol() {
    QFETCH(int, machine);
    QFETCH(int, wall);
    QFETCH(int, toEnd);
    TPlayedWindow W;
    W.Window.show();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    W.Window.Clock().SetSpeed({machine, wall});
    W.Window.PlayScript(Parsed(Session), QStringLiteral("игра.session"));
    if (toEnd >= 0) {
        W.Pass(toEnd);
        QVERIFY(W.Window.Clock().Playing());
        const int64_t Wall = W.Wall();
        W.Key(Qt::Key_F5, Qt::ControlModifier);

        // At once: no wall time passed, and the machine stands at the script's end.
        QVERIFY(!W.Window.Clock().Playing());
        QCOMPARE(W.Wall(), Wall);
        QCOMPARE(PanelBytes(W.Window), Replayed(Session));
        // The clock goes on from the end at the wall clock's pace.
        const int64_t End = W.Window.Clock().Now();
        W.Pass(160);
        QCOMPARE(W.Window.Clock().Now(), End + 160 * machine / wall);
    }
    QVERIFY(W.RunOut());
    QCOMPARE(PanelBytes(W.Window), Replayed(Session));
    // Recorded as it went: the moments of the session, not of the wall clock.
    QCOMPARE(Replayed(W.Window.SessionScript()), PanelBytes(W.Window));
}

void SpeedTest::litStepsAreTheInputsSteps_data() {
    QTest::addColumn<QString>("clock"); // paused, stepping or running
    QTest::addColumn<int>("coins");
    QTest::addColumn<int>("presses"); // of «Игра», each an input of its own
    QTest::newRow("paused, a token") << "paused" << 1 << 0;
    QTest::newRow("paused, a token and «Игра»") << "paused" << 1 << 1;
    QTest::newRow("paused, a token and «Игра» twice") << "paused" << 1 << 2;
    QTest::newRow("paused, three tokens") << "paused" << 3 << 0;
    QTest::newRow("stepping through a game") << "stepping" << 1 << 2;
    QTest::newRow("stepping through two games") << "stepping" << 2 << 2;
    QTest::newRow("running, a token and «Игра»") << "running" << 1 << 1;
}

void SpeedTest::litStepsAreTheInputsSteps() {
    QFETCH(QString, clock);
    QFETCH(int, coins);
    QFETCH(int, presses);
    TPlayedWindow W;
    W.Window.show();
    W.Window.ShowAutomata();
    TAutomataWindow* Window = W.Window.AutomataWindow();
    QVERIFY(Window);
    TMachineClock& Clock = W.Window.Clock();
    Clock.SetPaused(clock == QLatin1String("paused"));
    int Inputs = 0;
    // After each input, the lit steps and the protocol's, while the clock holds or goes on.
    const auto Check = [&](const std::function<void()>& Input) {
        const qsizetype Seen = W.Window.Log->LineCount();
        Input();
        Window->Tick();
        const TTransitions Protocol = ProtocolTransitions(W.Window, Seen);
        QCOMPARE(LitTransitions(*Window), Protocol);
        Inputs += Protocol.isEmpty() ? 0 : 1;
        W.Pass(100); // a paused clock holds them, a running one fades them slowly
        Window->Tick();
        QCOMPARE(LitTransitions(*Window), clock == QLatin1String("running") ? Protocol : Protocol);
    };
    for (int Game = 0; Game < (clock == QLatin1String("stepping") ? 2 : 1); ++Game) {
        for (int Coin = 0; Coin < coins; ++Coin)
            Check([&] { W.Coin(); });
        for (int Press = 0; Press < presses; ++Press)
            Check([&] { W.Click(W.Window.iPlay); });
        if (clock == QLatin1String("stepping"))
            while (Clock.CanStep())
                Check([&] { Clock.Step(); });
    }
    QVERIFY(Inputs > 0);
}

void SpeedTest::litStepIsKeptInSight() {
    TPlayedWindow W;
    W.Window.show();
    W.Window.ShowAutomata();
    TAutomataWindow* Window = W.Window.AutomataWindow();
    QVERIFY(Window);
    W.Window.Machine().Seed(13);
    // At 1 the diagrams need far more than this: the window scrolls.
    Window->resize(320, 260);
    QCoreApplication::processEvents();
    QScrollArea* Scroll = Window->ScrollArea();
    const auto InSight = [&](int32_t Automaton, int Row) {
        const TDiagramView* View = Window->View(Automaton);
        const QRect Label = View->LabelRect(Row).toAlignedRect().translated(View->pos());
        const QRect Seen(-Scroll->widget()->pos(), Scroll->viewport()->size());
        return Seen.intersects(Label);
    };
    const auto LastLit = [&] {
        std::pair<int32_t, int> Last(-1, -1);
        int Highest = 0;
        for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
            for (const TDiagramEdge& Edge : Window->View(Automaton)->Diagram().Edges)
                if (const int Order = Window->View(Automaton)->EdgeOrder(Edge.Row);
                    Order > Highest) {
                    Highest = Order;
                    Last = {Automaton, Edge.Row};
                }
        return Last;
    };
    // A token, «Игра» twice and the three stops: the steps run over all three diagrams.
    const std::function<void()> Inputs[] = {
        [&] { W.Coin(); },
        [&] { W.Click(W.Window.iPlay); },
        [&] { W.Click(W.Window.iPlay); },
        [&] { W.Window.Clock().Step(); },
        [&] { W.Window.Clock().Step(); },
        [&] { W.Window.Clock().Step(); },
    };
    for (const auto& Input : Inputs) {
        Input();
        const auto [Automaton, Row] = LastLit();
        QVERIFY(Row >= 0);
        QVERIFY2(InSight(Automaton, Row),
                 qPrintable(QStringLiteral("A%1 row %2").arg(Automaton).arg(Row)));
    }
    // The user's scroll holds for a while, then the diagrams follow the steps again.
    QScrollBar* Across = Scroll->horizontalScrollBar();
    QScrollBar* Down = Scroll->verticalScrollBar();
    W.Window.Clock().SetPaused(false); // a step paused it
    QCOMPARE(W.Settle(), QString());
    W.Coin();
    Across->setValue(Across->maximum() - Across->value() > Across->value() ? Across->maximum() : 0);
    Down->setValue(Down->maximum() - Down->value() > Down->value() ? Down->maximum() : 0);
    const QPoint Put(Across->value(), Down->value());
    W.Idle(TAutomataWindow::UserScrollMs - 100);
    W.Click(W.Window.iPlay);
    QCOMPARE(QPoint(Across->value(), Down->value()), Put);
    W.Idle(200);
    W.Click(W.Window.iPlay); // the first stop armed: A2's own row
    const auto [Automaton, Row] = LastLit();
    QVERIFY(Row >= 0);
    QVERIFY(InSight(Automaton, Row));
}

void SpeedTest::automataOpensOnTheScreen_data() {
    QTest::addColumn<QRect>("room");
    QTest::addColumn<QPoint>("at"); // the main window's place
    for (const QSize Screen : {QSize(1280, 800), QSize(1024, 768)})
        for (const QPoint At : {QPoint(96, 183), QPoint(0, 0), QPoint(10, 420), QPoint(300, 20)}) {
            // Less the room a panel takes at the top.
            QTest::addRow("%dx%d, at %d,%d", Screen.width(), Screen.height(), At.x(), At.y())
                << QRect(QPoint(0, 28), Screen - QSize(0, 28)) << At;
        }
}

void SpeedTest::automataOpensOnTheScreen() {
    QFETCH(QRect, room);
    QFETCH(QPoint, at);
    TSlotMachine Window;
    Window.SetScreenRoom([room] { return room; });
    Window.move(at + room.topLeft());
    Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&Window));
    Window.ShowAutomata();
    const TAutomataWindow* Automata = Window.AutomataWindow();
    QVERIFY(Automata);
    const QRect Placed = Automata->frameGeometry();
    QVERIFY2(room.contains(Placed), qPrintable(QStringLiteral("%1,%2 %3x%4")
                                                   .arg(Placed.x())
                                                   .arg(Placed.y())
                                                   .arg(Placed.width())
                                                   .arg(Placed.height())));
    // Large enough for the diagrams at a scale still read with ease, as far as the screen allows.
    const QSize Useful = Automata->UsefulSize().boundedTo(room.size());
    QVERIFY(Placed.width() >= Useful.width());
    QVERIFY(Placed.height() >= Useful.height());
    // Beside the main window when there is room for that, not over it.
    const QRect Main = Window.frameGeometry();
    const bool Room = room.bottom() - Main.bottom() >= Useful.height() ||
                      Main.top() - room.top() >= Useful.height() ||
                      room.right() - Main.right() >= Useful.width() ||
                      Main.left() - room.left() >= Useful.width();
    if (Room)
        QVERIFY(!Placed.intersects(Main));
}

void SpeedTest::automataOpensWhereTheUserLeftIt() {
    const QRect Room(0, 0, 1280, 800);
    const QRect Left(40, 60, 900, 600);
    {
        TSlotMachine Window;
        Window.SetScreenRoom([Room] { return Room; });
        Window.show();
        Window.ShowAutomata();
        Window.AutomataWindow()->setGeometry(Left);
        Window.AutomataWindow()->close();
    }
    TSlotMachine Window;
    Window.SetScreenRoom([Room] { return Room; });
    Window.show();
    Window.ShowAutomata();
    QCOMPARE(Window.AutomataWindow()->geometry(), Left);
}

void SpeedTest::mainWindowShowsTheClock_data() {
    QTest::addColumn<bool>("paused");
    QTest::addColumn<int>("machine");
    QTest::addColumn<int>("wall");
    QTest::addColumn<bool>("playing");
    QTest::addColumn<QString>("shown"); // empty: the line is hidden
    QTest::newRow("running") << false << 1 << 1 << false << QString();
    QTest::newRow("paused") << true << 1 << 1 << false << QStringLiteral("Пауза");
    QTest::newRow("slowed") << false << 1 << 4 << false << QStringLiteral("Скорость ¼×");
    QTest::newRow("faster") << false << 10 << 1 << false << QStringLiteral("Скорость 10×");
    QTest::newRow("playing") << false << 1 << 1 << true << QStringLiteral("Сеанс «игра.session»");
    QTest::newRow("all at once") << true << 1 << 100 << true
                                 << QStringLiteral(
                                        "Пауза · скорость 1/100× · сеанс «игра.session»");
}

void SpeedTest::mainWindowShowsTheClock() {
    QFETCH(bool, paused);
    QFETCH(int, machine);
    QFETCH(int, wall);
    QFETCH(bool, playing);
    QFETCH(QString, shown);
    TPlayedWindow W;
    W.Window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&W.Window));
    const QString Caption = W.Window.windowTitle();
    QMap<const QWidget*, QRect> Design;
    for (const QWidget* Control : W.Window.findChildren<QWidget*>())
        if (Control != W.Window.ClockState())
            Design[Control] = Control->geometry();
    if (playing)
        W.Window.PlayScript(Parsed(Session), QDir::temp().filePath(QStringLiteral("игра.session")));
    W.Window.Clock().SetSpeed({machine, wall});
    W.Window.Clock().SetPaused(paused);
    const TClockState* State = W.Window.ClockState();
    QCOMPARE(State->isVisible(), !shown.isEmpty());
    if (!shown.isEmpty()) {
        QCOMPARE(State->accessibleName(), shown);
        QVERIFY(State->toolTip().startsWith(shown));
        // In free room: over no control of the design's.
        for (const QWidget* Control : W.Window.findChildren<QWidget*>())
            if (Control != State && Control->parentWidget() == State->parentWidget() &&
                Control->isVisible())
                QVERIFY2(!Control->geometry().intersects(State->geometry()),
                         qPrintable(Control->objectName()));
    }
    for (auto Each = Design.begin(); Each != Design.end(); ++Each)
        QCOMPARE(Each.key()->geometry(), Each.value());
    QCOMPARE(W.Window.windowTitle(), Caption);
    // The playback's end, and with it the session's name, leaves the line.
    if (playing) {
        W.Window.Clock().SetPaused(false);
        QVERIFY(W.RunOut());
        QCoreApplication::sendPostedEvents();
        QVERIFY(!State->accessibleName().contains(QStringLiteral("игра")));
    }
}

void SpeedTest::accessibleActionsDoWhatAClickDoes() {
    TPlayedWindow W;
    W.Window.show();
    W.Window.ShowAutomata();
    const TClockStrip* Strip = W.Window.AutomataWindow()->Strip();
    TMachineClock& Clock = W.Window.Clock();
    QAccessibleActionInterface* Pause = Actions(Strip->PauseButton());
    QVERIFY(Pause);
    // Pressed or toggled by a screen reader, it pauses and goes on as a click does.
    QVERIFY(Pause->actionNames().contains(QAccessibleActionInterface::toggleAction()));
    for (const QString& Action :
         {QAccessibleActionInterface::toggleAction(), QAccessibleActionInterface::toggleAction(),
          QAccessibleActionInterface::pressAction(), QAccessibleActionInterface::pressAction()}) {
        const bool Before = Clock.Paused();
        Pause->doAction(Action);
        QCoreApplication::processEvents();
        QVERIFY2(Clock.Paused() != Before, qPrintable(Action));
        QCOMPARE(Strip->PauseButton()->isChecked(), Clock.Paused());
        QCOMPARE(W.Window.ClockState()->isVisible(), Clock.Paused());
    }

    // The speed box opens as a click opens it; an item chosen there sets the speed as a click on
    // it.
    QComboBox* Box = Strip->SpeedBox();
    QAccessibleActionInterface* Speed = Actions(Box);
    QVERIFY(Speed);
    for (const QString& Text :
         {QStringLiteral("2×"), QStringLiteral("1/10×"), QStringLiteral("10×")}) {
        Speed->doAction(QAccessibleActionInterface::pressAction());
        QVERIFY(Box->view()->isVisible());
        QAccessibleInterface* List = QAccessible::queryAccessibleInterface(Box->view());
        QVERIFY(List);
        QAccessibleInterface* Item = nullptr;
        for (int Child = 0; Child < List->childCount(); ++Child)
            if (List->child(Child)->text(QAccessible::Name) == Text)
                Item = List->child(Child);
        QVERIFY(Item && Item->actionInterface());
        Item->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        QCOMPARE(TClockStrip::SpeedText(Clock.Speed()), Text);
        QVERIFY(!Box->view()->isVisible());
        QCOMPARE(W.Window.ClockState()->accessibleName(), QStringLiteral("Скорость %1").arg(Text));
    }
}

QTEST_MAIN(SpeedTest)
#include "SpeedTest.moc"
