// Going back in the window's session: the past as the window shows it against a fresh replay,
// back then forward to the same bytes, a fork saved and replayed by the companion, the keys.
#include "cli/Replay.h"
#include "sessions/Playback.h"
#include "sessions/StepRecord.h"
#include "tests/WindowPlayer.h"
#include "window/AutomataWindow.h"
#include "window/ClockStrip.h"
#include "window/FormMain.h"
#include "window/Recovery.h"
#include "window/SequenceChart.h"
#include "window/SessionTimeline.h"

#include <QTest>

#include <memory>
#include <sstream>

using namespace sm;

namespace {

const QLocale Russian(QLocale::Russian, QLocale::Russia);

QByteArray PanelBytes(const TSlotMachine& Window) {
    return (Window.Log->Text() + u'\n').toUtf8();
}

// The session without the waiting after its last command, which the frames that ran it out add to.
QByteArray Commands(QByteArray Script) {
    while (Script.endsWith('\n') &&
           Script.sliced(Script.lastIndexOf('\n', -2) + 1).startsWith("wait"))
        Script.truncate(Script.lastIndexOf('\n', -2) + 1);
    return Script;
}

QByteArray Replayed(const QByteArray& Script, std::optional<TCoverageCounts>* Counts = nullptr) {
    TParsedScript Parsed = ParseScript(Script);
    if (Parsed.Error)
        return "bad script: " + Parsed.Error->Message.toUtf8();
    TReplayOptions Options;
    Options.Locale = Russian;
    Options.Coverage = Counts != nullptr;
    std::ostringstream Out;
    const TReplayOutcome Outcome = Replay(Parsed.Script, Options, Out);
    if (Counts)
        *Counts = Outcome.Coverage;
    return QByteArray::fromStdString(Out.str());
}

// The window's saved session replayed headless to its k-th moment, stepped as F10 steps.
TVirtualTime FreshReplay(const QByteArray& Saved, size_t Moment) {
    const TScript Script = ParseScript(Saved).Script;
    TVirtualTime Time;
    Time.Machine().Seed(Script.Seed);
    const TStepRecord Steps(Time);
    TInputDoor Door(Time);
    TPlayback Playback(Script.Commands, Door);
    const auto Own = [](const TRecordedStep& Each) { return Each.Depth == 0; };
    while (size_t(std::count_if(Steps.Steps().begin(), Steps.Steps().end(), Own)) < Moment &&
           Playback.Step()) {
    }
    return Time;
}

TMachineSnapshot Comparable(const TMachine& Machine) {
    TMachineSnapshot State = Machine.Snapshot();
    for (TTimerState& Timer : State.FTimers)
        Timer.Generation = 0; // a restore counts as setting every timer
    return State;
}

// Share of pixels that differ by more than a little.
double Differing(QWidget* A, QWidget* B) {
    const QImage Left = A->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    const QImage Right = B->grab().toImage().convertToFormat(QImage::Format_Grayscale8);
    if (Left.size() != Right.size())
        return 1;
    qint64 Different = 0;
    for (int Y = 0; Y < Left.height(); ++Y)
        for (int X = 0; X < Left.width(); ++X)
            Different += std::abs(qGray(Left.pixel(X, Y)) - qGray(Right.pixel(X, Y))) > 24;
    return double(Different) / double(std::max(1, Left.width() * Left.height()));
}

// A lively session: games with stops stepped and run, switches turned, a pay-out or two.
void PlaySession(TPlayedWindow& W) {
    W.Window.show();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    // A seed of its own, so that the games end alike on every run.
    const TParsedScript Start = ParseScript("seed 2718\nstart 2026-12-09T12:00:00\n");
    QVERIFY(!Start.Error);
    W.Window.PlayScript(Start.Script, QString());
    QVERIFY(W.RunOut());
    for (int Game = 0; Game < 4; ++Game) {
        W.Coin();
        W.Coin();
        W.Pass(120);
        W.Key(Qt::Key_Return);
        W.Pass(700);
        W.Key(Qt::Key_Return);
        if (Game == 1)
            W.Window.cbA1LogSettings->ToggleByUser(LogInput);
        if (Game == 2) {
            W.Key(Qt::Key_F10);
            W.Key(Qt::Key_F10);
            W.Key(Qt::Key_F6);
        }
        QVERIFY(W.RunOut());
        W.Pass(333);
    }
}

} // namespace

class WindowHistoryTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QLocale::setDefault(Russian); }
    void jumpShowsThePast_data();
    void jumpShowsThePast();
    void backThenForwardGivesTheSameBytes_data();
    void backThenForwardGivesTheSameBytes();
    void forkThenSaveReplays_data();
    void forkThenSaveReplays();
    void keysWalkTheHistory();
};

void WindowHistoryTest::jumpShowsThePast_data() {
    QTest::addColumn<int>("moment"); // from the end when negative
    QTest::newRow("start-up") << 0;
    QTest::newRow("first coin") << 1;
    QTest::newRow("mid game") << 9;
    QTest::newRow("a stop") << -7;
    QTest::newRow("the latest") << -1;
}

// The machine, the fields, the barrels as painted, the diagrams' states and the protocol's mark
// at a jumped moment are those of a fresh window put where a fresh replay stands then.
void WindowHistoryTest::jumpShowsThePast() {
    QFETCH(int, moment);
    TPlayedWindow W;
    PlaySession(W);
    W.Window.ShowAutomata();
    const QByteArray Saved = W.Window.SessionScript();
    const QByteArray Panel = PanelBytes(W.Window);
    THistoryControl& History = W.Window.History();
    const size_t Latest = History.History().Latest();
    QVERIFY(Latest > 20);
    const size_t Moment = moment >= 0 ? size_t(moment) : Latest + 1 - size_t(-moment);

    QCOMPARE(History.JumpTo(Moment), QString());
    QCOMPARE(History.Present(), Moment);
    const TVirtualTime Fresh = FreshReplay(Saved, Moment);
    QCOMPARE(Comparable(W.Window.Machine()), Comparable(Fresh.Machine()));
    QCOMPARE(W.Window.Clock().Now(), Fresh.Now());
    // The panel keeps every message, the later ones marked off.
    QCOMPARE(PanelBytes(W.Window), Panel);
    const qsizetype Written = qsizetype(History.History().Moment(Moment).Messages) * 3;
    QCOMPARE(W.Window.Log->Present(), Written < W.Window.Log->LineCount() ? Written : -1);

    TSlotMachine Other;
    Other.show();
    Other.Clock().Restore(Fresh);
    for (const char* Name :
         {"edBank", "edStake", "edJackPot", "edUser", "Shape1", "Barrel1", "Barrel2", "Barrel3"})
        QVERIFY2(Differing(W.Window.findChild<QWidget*>(Name), Other.findChild<QWidget*>(Name)) <
                     0.01,
                 Name);
    for (int Coin = 1; Coin <= TSlotMachine::TokenImages; ++Coin)
        QCOMPARE(W.Window.Image(Coin)->isVisible(), Other.Image(Coin)->isVisible());
    QCOMPARE(W.Window.iBadCoin->isVisible(), Other.iBadCoin->isVisible());
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        QCOMPARE(W.Window.AutomataWindow()->View(Automaton)->CurrentState(),
                 Fresh.Machine().State(Automaton));
}

void WindowHistoryTest::backThenForwardGivesTheSameBytes_data() {
    QTest::addColumn<int>("key");
    QTest::newRow("F10 to the end") << int(Qt::Key_F10);
    QTest::newRow("F5 plays it") << int(Qt::Key_F5);
    QTest::newRow("End at once") << int(Qt::Key_End);
}

// Back to a moment and forward again along the recorded future: the same protocol, the same
// session saved, the same machine, and recording goes on as before.
void WindowHistoryTest::backThenForwardGivesTheSameBytes() {
    QFETCH(int, key);
    TPlayedWindow W;
    PlaySession(W);
    W.Window.ShowAutomata();
    const QByteArray Panel = PanelBytes(W.Window);
    const QByteArray Saved = W.Window.SessionScript();
    const TMachineSnapshot Before = Comparable(W.Window.Machine());
    THistoryControl& History = W.Window.History();
    // Closed while the past replays, «Автоматы» takes none of it into its chart.
    TAutomataWindow* Automata = W.Window.AutomataWindow();
    const qsizetype Arrows = Automata->Chart()->Count();
    if (key != Qt::Key_End) {
        Automata->close();
        W.Window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    }

    QCOMPARE(History.JumpTo(History.History().Latest() / 3), QString());
    QVERIFY(History.InPast());
    QCOMPARE(W.Window.SessionScript(), Saved); // saved from the past: the whole history
    if (key == Qt::Key_End) {
        auto* Timeline = W.Window.AutomataWindow()->findChild<TSessionTimeline*>();
        QVERIFY(Timeline);
        QTest::keyClick(Timeline, Qt::Key_End);
    } else if (key == Qt::Key_F10) {
        for (int Step = 0; Step < 10000 && History.InPast(); ++Step)
            W.Key(Qt::Key_F10);
    } else {
        W.Key(Qt::Key_F5);
        QVERIFY(W.RunOut());
    }
    QVERIFY(!History.InPast());
    QCOMPARE(PanelBytes(W.Window), Panel);
    QCOMPARE(W.Window.Log->Present(), qsizetype(-1));
    QCOMPARE(Comparable(W.Window.Machine()), Before);
    QCOMPARE(Commands(W.Window.SessionScript()), Commands(Saved));
    W.Window.ShowAutomata();
    QCOMPARE(Automata->Chart()->Count(), Arrows);
    // The present records again, and the companion agrees with the panel.
    W.Coin();
    W.Pass(50);
    QCOMPARE(Replayed(W.Window.SessionScript()), PanelBytes(W.Window));
}

void WindowHistoryTest::forkThenSaveReplays_data() {
    QTest::addColumn<int>("back"); // F9 presses before the input
    QTest::addColumn<bool>("agree");
    QTest::addColumn<bool>("asked"); // no move of the player's is dropped: nothing to ask
    QTest::newRow("a stop back") << 3 << true << false;
    QTest::newRow("far back") << 25 << true << true;
    QTest::newRow("declined") << 12 << false << true;
}

// An input in the past asks, then drops the later history; the session saved after the fork
// replays in the companion byte for byte to the panel. Declined, nothing changes.
void WindowHistoryTest::forkThenSaveReplays() {
    QFETCH(int, back);
    QFETCH(bool, agree);
    QFETCH(bool, asked);
    TPlayedWindow W;
    W.Window.ShowAutomata(); // its chart follows from start-up
    PlaySession(W);
    THistoryControl& History = W.Window.History();
    size_t Asked = 0;
    History.SetAsk([&Asked, agree](size_t Dropped) {
        Asked = Dropped;
        return agree;
    });
    const QByteArray Panel = PanelBytes(W.Window);
    W.Window.Recovery().Flush(); // the whole history kept against a crash
    for (int Press = 0; Press < back; ++Press)
        W.Key(Qt::Key_F9);
    QVERIFY(History.InPast());
    const size_t Present = History.Present();
    const QByteArray Past = PanelBytes(W.Window);
    W.Click(W.Window.iReturn); // an input A0 always handles, in a game or not
    QCOMPARE(Asked > 0, asked);
    if (!agree) {
        QVERIFY(History.InPast());
        QCOMPARE(History.Present(), Present);
        QCOMPARE(PanelBytes(W.Window), Panel);
        return;
    }
    QVERIFY(!History.InPast());
    QVERIFY(PanelBytes(W.Window) != Past);
    W.Pass(400);
    W.Key(Qt::Key_Return);
    W.Pass(100);
    W.Key(Qt::Key_Return);
    QVERIFY(W.RunOut());
    std::optional<TCoverageCounts> Counts;
    QCOMPARE(Replayed(W.Window.SessionScript(), &Counts), PanelBytes(W.Window));
    // The counts are the kept session's, the dropped moves' steps gone.
    QVERIFY(Counts && *Counts == W.Window.Coverage());
    // The chart holds the kept session's steps, the dropped future gone.
    const TScript Saved = ParseScript(W.Window.SessionScript()).Script;
    TVirtualTime Time;
    Time.Machine().Seed(Saved.Seed);
    const TStepRecord Steps(Time);
    TInputDoor Door(Time);
    TPlayback(Saved.Commands, Door).RunToEnd();
    QCOMPARE(W.Window.AutomataWindow()->Chart()->Count(), qsizetype(Steps.Steps().size()));
    // The recovery file keeps the forked session, not the dropped one.
    W.Window.Recovery().Flush();
    QFile Kept(W.Window.Recovery().Path());
    QVERIFY(Kept.open(QIODevice::ReadOnly));
    QCOMPARE(Kept.readAll(), W.Window.SessionScript());
}

// F9 walks back to start-up and no further, F10 forward again; the timeline's keys do the same
// and its screen reader's text names the moment; Ctrl+Enter at a message jumps to its moment.
void WindowHistoryTest::keysWalkTheHistory() {
    TPlayedWindow W;
    PlaySession(W);
    W.Window.ShowAutomata();
    THistoryControl& History = W.Window.History();
    const size_t Latest = History.History().Latest();
    QVERIFY(W.Window.AutomataWindow()->Strip()->BackButton());

    W.Key(Qt::Key_F9);
    QCOMPARE(History.Present(), Latest);
    W.Key(Qt::Key_F9);
    QCOMPARE(History.Present(), Latest - 1);
    W.Key(Qt::Key_F10);
    QCOMPARE(History.Present(), Latest);
    for (size_t Press = 0; Press < Latest + 3; ++Press)
        W.Key(Qt::Key_F9);
    QCOMPARE(History.Present(), size_t(0));
    QCOMPARE(W.Window.Clock().Now(), int64_t(0));
    auto* Timeline = W.Window.AutomataWindow()->findChild<TSessionTimeline*>();
    QVERIFY(Timeline);
    W.Key(Qt::Key_F9);
    QCOMPARE(History.Present(), size_t(0));
    QVERIFY(Timeline->accessibleDescription().contains(QStringLiteral("начало")));
    QTest::keyClick(Timeline, Qt::Key_Right);
    QCOMPARE(History.Present(), size_t(1));
    QVERIFY(Timeline->accessibleDescription().contains(QStringLiteral("игрок")));
    QVERIFY(Timeline->accessibleDescription().contains(QStringLiteral("A1 получает e10")));
    QTest::keyClick(Timeline, Qt::Key_Right);
    QTest::keyClick(Timeline, Qt::Key_Left);
    QCOMPARE(History.Present(), size_t(1));
    QTest::keyClick(Timeline, Qt::Key_End);
    QVERIFY(!History.InPast());
    QTest::keyClick(Timeline, Qt::Key_Home);
    QCOMPARE(History.Present(), size_t(0));
    // Dragged past either end, it holds there.
    QTest::mousePress(Timeline, Qt::LeftButton, {}, QPoint(Timeline->width() + 50, 5));
    QCOMPARE(History.Present(), Latest);
    QTest::mouseMove(Timeline, QPoint(-40, 5));
    QCOMPARE(History.Present(), size_t(0));
    QTest::mouseRelease(Timeline, Qt::LeftButton, {}, QPoint(-40, 5));

    // While a session file plays, its history is still being read: no jump.
    W.Window.PlayScript(ParseScript("seed 1\ncoin\nwait 5000\nreturn\n").Script,
                        QStringLiteral("s"));
    W.Window.Clock().SetPaused(false); // the jumps paused it
    QVERIFY(!History.JumpTo(0).isEmpty());
    QVERIFY(W.RunOut());
    QCOMPARE(History.JumpTo(0), QString());

    // The tenth message's moment, from the caret on its text.
    const size_t Message = 10;
    W.Window.Log->Select(W.Window.Log->LineStart(qsizetype(Message) * 3 + 1),
                         W.Window.Log->LineStart(qsizetype(Message) * 3 + 1));
    W.Window.AutomataWindow()->close();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    W.Window.Log->setFocus();
    QVERIFY(W.Window.Log->hasFocus());
    QTest::keyClick(W.Window.Log, Qt::Key_Return, Qt::ControlModifier);
    const size_t Moment = History.Present();
    QVERIFY(Moment > 0);
    QVERIFY(History.History().Moment(Moment - 1).Messages <= Message);
    QVERIFY(History.History().Moment(Moment).Messages > Message);
}

QTEST_MAIN(WindowHistoryTest)
#include "WindowHistoryTest.moc"
