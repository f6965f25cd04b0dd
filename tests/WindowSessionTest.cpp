// Sessions in the window: scripts played on its clock, sessions recorded and replayed by the
// companion, the clock paused, stepped and slowed down, scripts that cannot be played.
#include "cli/Replay.h"
#include "sessions/Files.h"
#include "sessions/Script.h"
#include "slotmachine/Rules.h"
#include "slotmachine/atmSlotMachine.h"
#include "tests/WindowPlayer.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QDir>
#include <QRegularExpression>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <map>
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

// What the companion writes for the script, in the window's locale.
QByteArray Replayed(const QByteArray& Script, TReplayOutcome* Outcome = nullptr) {
    TReplayOptions Options;
    Options.Locale = Russian;
    std::ostringstream Out;
    const TReplayOutcome Result = Replay(Parsed(Script), Options, Out);
    if (Outcome)
        *Outcome = Result;
    return QByteArray::fromStdString(Out.str());
}

QByteArray PanelBytes(const TSlotMachine& Window) {
    return (Window.Log->Text() + u'\n').toUtf8();
}

QByteArray ReadAll(const QString& Path) {
    QFile File(Path);
    return File.open(QIODevice::ReadOnly) ? File.readAll() : QByteArray();
}

// The messages among protocol lines: each stands between its stamp and an empty line.
QStringList Messages(const QStringList& Lines) {
    QStringList Messages;
    for (qsizetype Line = 1; Line < Lines.size(); Line += 3)
        Messages << Lines[Line];
    return Messages;
}

} // namespace

class WindowSessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void examplesPlayAsRecorded_data();
    void examplesPlayAsRecorded();
    void sessionSavedReplaysAsShown();
    void pauseHoldsAndStepFiresOneEvent();
    void slowdownPacesTheMachine_data();
    void slowdownPacesTheMachine();
    void everySpeedGivesTheReplay_data();
    void everySpeedGivesTheReplay();
    void unreadableSessionLeavesTheRunningOne_data();
    void unreadableSessionLeavesTheRunningOne();
    void commandRefusedInPlaybackIsReported();
    void clickDuringPlaybackTakesOver();
    void everyClickIsRecorded_data();
    void everyClickIsRecorded();
    void coinKeyFollowsTheField();
    void stepTakesTheSpinTickAtTheStop_data();
    void stepTakesTheSpinTickAtTheStop();
    void stepTakesOneEventAtATime();

private:
    QStringList FReported;
};

void WindowSessionTest::initTestCase() {
    // The stamps in the locale the examples were recorded in.
    QLocale::setDefault(Russian);
    TErrorBox::Instance().Presenter = [this](const QString& Text) { FReported << Text; };
}

void WindowSessionTest::init() {
    FReported.clear();
}

void WindowSessionTest::examplesPlayAsRecorded_data() {
    QTest::addColumn<QString>("session");
    QTest::addColumn<int>("before"); // milliseconds the window ran before, a token taken
    const QDir Examples(QStringLiteral(EXAMPLES_DIR));
    const QStringList Sessions = Examples.entryList({QStringLiteral("*.session")}, QDir::Files);
    QVERIFY(Sessions.size() >= 5);
    for (const QString& Name : Sessions) {
        QTest::newRow(qPrintable(Name)) << Examples.filePath(Name) << 0;
        QTest::addRow("%s after a while", qPrintable(Name)) << Examples.filePath(Name) << 65000;
    }
}

void WindowSessionTest::examplesPlayAsRecorded() {
    QFETCH(QString, session);
    QFETCH(int, before);
    TScript Script = Parsed(ReadAll(session));
    QString Problem;
    int At = 0;
    if (!Script.Start)
        Script.Start = ParseStartTime(QStringLiteral("2026-01-01T09:00:00"), Problem, At);
    QStringList Expected;
    QString ExpectedPath = session;
    ExpectedPath.replace(QStringLiteral(".session"), QStringLiteral(".expected"));
    for (const QString& Line : QString::fromUtf8(ReadAll(ExpectedPath)).split(u'\n'))
        if (!Line.startsWith(QStringLiteral("=== ")))
            Expected << Line;
    QCOMPARE(Expected.takeLast(), QString()); // the file ends with a line break

    TPlayedWindow W;
    if (before != 0) {
        W.Coin();
        W.Pass(before);
    }
    W.Window.PlayScript(Script, session);
    QVERIFY(W.RunOut());
    QCOMPARE(W.Lines(), Expected);
    // Recorded anew from the script's start: the same waits, the same panel.
    QCOMPARE(Replayed(W.Window.SessionScript()), PanelBytes(W.Window));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(FReported, QStringList());
}

void WindowSessionTest::sessionSavedReplaysAsShown() {
    TPlayedWindow W;
    W.Window.show();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    for (int Coin = 0; Coin < 3; ++Coin)
        W.Coin();
    W.Pass(300);
    W.Key(Qt::Key_F7); // a quarter of the speed while the barrels start
    W.Key(Qt::Key_F7);
    QCOMPARE(W.Window.Clock().Speed(), (TMachineClock::TSpeed{1, 4}));
    W.Key(Qt::Key_Return);
    W.Pass(1000);
    W.Window.cbA2LogSettings->ToggleByUser(LogStart);
    W.Window.cbA0LogSettings->ToggleByUser(LogFinish);
    W.Key(Qt::Key_F8);
    W.Key(Qt::Key_F8);
    W.Pass(777);
    W.Key(Qt::Key_F6);
    QVERIFY(W.Window.Clock().Paused());
    W.Pass(2000);
    W.Click(W.Window.iPlay); // the stop, taken at the paused moment
    QVERIFY(W.Window.Machine().Interval(TimerB1) != 0);
    W.Key(Qt::Key_F6);
    QVERIFY(W.RunOut());
    QVERIFY(!W.Window.Clock().Ticking()); // the frame that found nothing left stopped the frames
    W.Window.cbA2LogSettings->ToggleByUser(LogStart);
    W.Coin();
    W.Pass(1234);

    const QTemporaryDir Folder;
    const QString Session = Folder.filePath(QStringLiteral("сеанс.session"));
    const QString Protocol = Folder.filePath(QStringLiteral("протокол.txt"));
    QCOMPARE(W.Window.SaveSession(Session), QString());
    QCOMPARE(W.Window.SaveProtocol(Protocol), QString());
    const QByteArray Replay = Replayed(ReadAll(Session));
    QVERIFY(W.Window.Log->LineCount() > 30);
    QCOMPARE(Replay, PanelBytes(W.Window));
    QCOMPARE(ReadAll(Protocol), Replay);
}

void WindowSessionTest::pauseHoldsAndStepFiresOneEvent() {
    TPlayedWindow W;
    W.Coin();
    W.Click(W.Window.iPlay);
    W.Pass(500);
    W.Click(W.Window.iPlay);
    W.Pass(100);
    TMachineClock& Clock = W.Window.Clock();
    Clock.SetPaused(true);
    const int64_t Now = Clock.Now();
    std::array<std::optional<int64_t>, TimerCount> Due;
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        Due[size_t(Timer)] = Clock.Time().Due(TTimerId(Timer));
    const QStringList Lines = W.Lines();
    const TMachineSnapshot Snapshot = W.Window.Machine().Snapshot();
    W.Pass(5000);
    QVERIFY(!Clock.Ticking());
    QCOMPARE(Clock.Now(), Now);
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer)
        QCOMPARE(Clock.Time().Due(TTimerId(Timer)), Due[size_t(Timer)]);
    QCOMPARE(W.Lines(), Lines);
    QVERIFY(W.Window.Machine().Snapshot() == Snapshot);
    // Going on, the machine goes on from where it stood: the paused wall time never counts.
    Clock.SetPaused(false);
    W.Pass(32);
    QCOMPARE(Clock.Now(), Now + 32);

    // Each step, through the stops and the pay-out, gives what the next event gives a copy.
    int Steps = 0;
    while (Clock.CanStep()) {
        TVirtualTime Copy = Clock.Time();
        TMemorySink Sink;
        TProtocolWriter Writer(Sink, [] { return QString(); });
        Copy.Machine().SetSink(&Writer);
        QVERIFY(Copy.FireNextEvent());
        const qsizetype Before = W.Window.Log->LineCount();
        QVERIFY(Clock.Step());
        QCOMPARE(Messages(W.Lines().mid(Before)), Messages(Sink.Lines));
        QVERIFY(!Sink.Lines.isEmpty());
        QCOMPARE(Clock.Now(), Copy.Now());
        QVERIFY(Clock.Paused());
        W.Pass(1000);
        QCOMPARE(Clock.Now(), Copy.Now());
        QVERIFY(++Steps < 1000);
    }
    QVERIFY(Steps >= 3); // the three stops at least
}

void WindowSessionTest::slowdownPacesTheMachine_data() {
    QTest::addColumn<int>("machine");
    QTest::addColumn<int>("wall");
    for (const auto& [Machine, Wall] : {std::pair(1, 1), {1, 2}, {1, 4}, {1, 100}, {2, 1}, {10, 1}})
        QTest::addRow("%d/%d", Machine, Wall) << Machine << Wall;
}

void WindowSessionTest::slowdownPacesTheMachine() {
    QFETCH(int, machine);
    QFETCH(int, wall);
    TPlayedWindow W;
    W.Coin();
    W.Click(W.Window.iPlay); // the barrels spin: the frames run
    TMachineClock& Clock = W.Window.Clock();
    const int64_t Start = Clock.Now();
    // Wall time since the last frame still counts at the old pace when the speed changes.
    W.Idle(800);
    Clock.SetSpeed({machine, wall});
    W.Pass(1600);
    QCOMPARE(Clock.Now() - Start, 800 + 1600 * machine / wall);
}

void WindowSessionTest::everySpeedGivesTheReplay_data() {
    QTest::addColumn<int>("machine");
    QTest::addColumn<int>("wall");
    QTest::addColumn<int>("toEnd"); // wall milliseconds before Ctrl+F5; -1: never
    for (const auto& [Machine, Wall] : TMachineClock::Speeds)
        if (Wall <= 4)
            QTest::addRow("%d/%d", Machine, Wall) << Machine << Wall << -1;
    for (const int ToEnd : {0, 700, 2500})
        for (const auto& [Machine, Wall] : {std::pair(1, 1), {5, 1}, {1, 2}})
            QTest::addRow("Ctrl+F5 after %d ms at %d/%d", ToEnd, Machine, Wall)
                << Machine << Wall << ToEnd;
}

void WindowSessionTest::everySpeedGivesTheReplay() {
    QFETCH(int, machine);
    QFETCH(int, wall);
    QFETCH(int, toEnd);
    // Games won and lost, a counterfeit token, a switch, a reset and a pay-out.
    const QByteArray Script =
        "seed 7\nstart 2026-01-01T09:00:00\ncoin\ncoin\ncoin\nplay\nwait 300\n"
        "play\nsettle\ncoin\nbad\nlog A2 start off\nplay\nwait 2000\nplay\n"
        "settle\ncoin\nplay\nplay\nwait 1500\nreset\nsettle\nreturn\nwait 777\n";
    TPlayedWindow W;
    W.Window.show();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    W.Window.Clock().SetSpeed({machine, wall});
    W.Window.PlayScript(Parsed(Script), QStringLiteral("игра.session"));
    if (toEnd >= 0) {
        W.Pass(toEnd);
        W.Key(Qt::Key_F5, Qt::ControlModifier);
        // At once: the machine stands at the script's end, and goes on from there at its pace.
        QVERIFY(!W.Window.Clock().Playing());
        QCOMPARE(PanelBytes(W.Window), Replayed(Script));
        // The screen shows the end: the fields, the coins, the panel at its last line.
        const TDisplays& Shown = W.Window.Machine().Displays();
        QCOMPARE(W.Window.edBank->text(), QString::number(Shown.edBank));
        QCOMPARE(W.Window.edUser->text(), QString::number(Shown.edUser));
        QVERIFY(W.Window.Image(Shown.edUser)->isVisible());
        const QScrollBar* Bar = W.Window.Log->verticalScrollBar();
        QVERIFY(Bar->value() == Bar->maximum());
        QVERIFY(Bar->maximum() > W.Window.Log->LineCount() - 50); // a screenful from the end
        const int64_t End = W.Window.Clock().Now();
        W.Pass(160);
        QCOMPARE(W.Window.Clock().Now(), End + 160 * machine / wall);
    }
    QVERIFY(W.RunOut());
    QCOMPARE(PanelBytes(W.Window), Replayed(Script));
    // Recorded at the machine's moments, whatever the pace: the session replays to the panel.
    QCOMPARE(Replayed(W.Window.SessionScript()), PanelBytes(W.Window));
}

void WindowSessionTest::unreadableSessionLeavesTheRunningOne_data() {
    QTest::addColumn<QByteArray>("script"); // none: the file is missing
    QTest::addColumn<QString>("report");    // a pattern; PATH stands for the file's path
    QTest::newRow("a bad wait") << QByteArray("coin\nwait x\nplay\n")
                                << QStringLiteral("^PATH:2:6: ошибка: «x»");
    QTest::newRow("an unknown word after the actions")
        << QByteArray("seed 1\ncoin\nplay\n\n   dance\n")
        << QStringLiteral("^PATH:5:4: ошибка: неизвестная команда «dance»");
    QTest::newRow("missing") << QByteArray()
                             << QStringLiteral("^не удаётся открыть «.+: нет такого файла");
}

void WindowSessionTest::unreadableSessionLeavesTheRunningOne() {
    QFETCH(QByteArray, script);
    QFETCH(QString, report);
    TPlayedWindow W;
    W.Coin();
    W.Click(W.Window.iPlay);
    W.Pass(400);
    const QString Text = W.Window.Log->Text();
    const TMachineSnapshot Snapshot = W.Window.Machine().Snapshot();
    const int64_t Now = W.Window.Clock().Now();
    const QByteArray Session = W.Window.SessionScript();

    const QTemporaryDir Folder;
    const QString Path = Folder.filePath(QStringLiteral("плохой.session"));
    if (!script.isEmpty())
        QCOMPARE(WriteFile(Path, script), QString());
    const QString Reported = W.Window.OpenSession(Path);
    const QRegularExpression Expected(
        report.replace(QStringLiteral("PATH"), QRegularExpression::escape(Path)));
    QVERIFY2(Expected.match(Reported).hasMatch(), qPrintable(Reported));
    QCOMPARE(W.Window.Log->Text(), Text);
    QVERIFY(W.Window.Machine().Snapshot() == Snapshot);
    QCOMPARE(W.Window.Clock().Now(), Now);
    QVERIFY(!W.Window.Clock().Playing());
    QCOMPARE(W.Window.SessionScript(), Session);
}

void WindowSessionTest::commandRefusedInPlaybackIsReported() {
    const QByteArray Script = "seed 2\nstart 2026-01-01T09:00:00\ncoin\nbad\nwait 100\nbad\nplay\n";
    TReplayOutcome Outcome;
    const QByteArray Replay = Replayed(Script, &Outcome);
    QCOMPARE(Outcome.Line, 6);

    const QTemporaryDir Folder;
    const QString Path = Folder.filePath(QStringLiteral("фальшивый.session"));
    QCOMPARE(WriteFile(Path, Script), QString());
    TPlayedWindow W;
    QCOMPARE(W.Window.OpenSession(Path), QString());
    QVERIFY(W.RunOut());
    // The queued end of the playback, then the box it queues.
    QCoreApplication::sendPostedEvents();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(FReported, QStringList{QStringLiteral("%1:6: %2").arg(Path, Outcome.Error)});
    QCOMPARE(PanelBytes(W.Window), Replay);
}

void WindowSessionTest::clickDuringPlaybackTakesOver() {
    TPlayedWindow W;
    W.Window.PlayScript(Parsed("seed 5\ncoin\ncoin\nwait 3000\ncoin\nplay\n"), QStringLiteral("x"));
    // Nothing runs but the wait: the next catch-up is where it ends, not a frame away.
    QCOMPARE(W.Window.Clock().FrameInterval(), 3000);
    W.Pass(1000);
    QVERIFY(W.Window.Clock().Playing());
    W.Click(W.Window.iPlay);
    QVERIFY(!W.Window.Clock().Playing());
    W.Pass(500);
    W.Click(W.Window.iPlay);
    QVERIFY(W.RunOut());
    W.Pass(5000);
    // The script's two tokens and the user's two presses; the rest of the script never ran.
    const QByteArray Session = W.Window.SessionScript();
    QCOMPARE(Session.count("\ncoin\n"), 2);
    QCOMPARE(Session.count("\nplay\n"), 2);
    QCOMPARE(PanelBytes(W.Window), Replayed(Session));
    QCoreApplication::sendPostedEvents();
    QCOMPARE(FReported, QStringList());
}

void WindowSessionTest::everyClickIsRecorded_data() {
    QTest::addColumn<QString>("clicks"); // "pass" lets 300 ms go by
    QTest::newRow("counterfeit token") << "coin coin bad coin return";
    QTest::newRow("return") << "coin coin pass return coin";
    QTest::newRow("reset in a game") << "coin play pass reset play pass reset";
    QTest::newRow("reset after a counterfeit token") << "coin bad reset return";
}

void WindowSessionTest::everyClickIsRecorded() {
    QFETCH(QString, clicks);
    TPlayedWindow W;
    const std::map<QString, std::function<void()>> Clicks = {
        {"coin", [&W] { QVERIFY(W.Coin()); }},
        {"bad", [&W] { W.Click(W.Window.iBadCoin); }},
        {"play", [&W] { W.Click(W.Window.iPlay); }},
        {"return", [&W] { W.Click(W.Window.iReturn); }},
        {"reset", [&W] { W.Click(W.Window.btnTechReset); }},
        {"pass", [&W] { W.Pass(300); }}};
    for (const QString& Each : clicks.split(u' '))
        Clicks.at(Each)();
    QCOMPARE(W.Settle(), QString());
    const QTemporaryDir Folder;
    const QString Session = Folder.filePath(QStringLiteral("сеанс.session"));
    QCOMPARE(W.Window.SaveSession(Session), QString());
    QCOMPARE(Replayed(ReadAll(Session)), PanelBytes(W.Window));
}

void WindowSessionTest::coinKeyFollowsTheField() {
    // Every token staked: while the won tokens are paid the player's field still shows 0.
    TPlayedWindow W;
    W.Window.show();
    W.Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&W.Window));
    W.Window.PlayScript(Parsed("seed 6\n" + QByteArray("coin\n").repeated(50) + "play\nplay\n"),
                        QStringLiteral("x"));
    for (int Frame = 0; W.Window.Machine().UserTokens() == 0; ++Frame) {
        QVERIFY(Frame < 10000);
        W.Pass(TMachineClock::FrameMs);
    }
    QCOMPARE(W.Window.Machine().State(A0), int(TAutomatonSlotMachine::Paying));
    QCOMPARE(W.Window.edUser->text(), QStringLiteral("0"));
    W.Key(Qt::Key_Plus); // no coin to click
    QVERIFY(W.RunOut());
    const QByteArray Session = W.Window.SessionScript();
    QCOMPARE(Session.count("\ncoin\n"), 50);
    TReplayOutcome Outcome;
    QCOMPARE(Replayed(Session, &Outcome), PanelBytes(W.Window));
    QCOMPARE(Outcome.Error, QString());
}

void WindowSessionTest::stepTakesTheSpinTickAtTheStop_data() {
    // With seed 747 the first barrel's stop falls due at 1440 ms together with a spin tick, which
    // turns it from 1 to 2 first; the win of 2 6 2 is 4 tokens instead of 1.
    QTest::addColumn<QByteArray>("script"); // played
    QTest::addColumn<bool>("clicked");      // then a game clicked and 1435 ms gone
    QTest::newRow("clicked") << QByteArray("seed 747\n") << true;
    QTest::newRow("played, settling")
        << QByteArray("seed 747\ncoin\nplay\nplay\nwait 1435\nsettle\n") << false;
    QTest::newRow("played, a wait ending at the stop")
        << QByteArray("seed 747\ncoin\nplay\nplay\nwait 1440\nsettle\n") << false;
}

void WindowSessionTest::stepTakesTheSpinTickAtTheStop() {
    QFETCH(QByteArray, script);
    QFETCH(bool, clicked);
    TPlayedWindow W;
    W.Window.PlayScript(Parsed(script), QStringLiteral("x"));
    if (clicked) {
        W.Game();
        W.Pass(1435);
    }
    TMachineClock& Clock = W.Window.Clock();
    Clock.SetPaused(true);
    for (int Steps = 0; Clock.Step(); ++Steps)
        QVERIFY(Steps < 100);
    const auto Digit = [](const TFrameImage* Barrel) {
        return SymbolOfFrame(Barrel->FrameIndex());
    };
    QCOMPARE(
        QList<int>({Digit(W.Window.Barrel1), Digit(W.Window.Barrel2), Digit(W.Window.Barrel3)}),
        QList<int>({2, 6, 2}));
    QCOMPARE(W.Window.edBank->text(), QStringLiteral("47"));
}

void WindowSessionTest::stepTakesOneEventAtATime() {
    // The first stop falls due just as the wait ends: one step for it, one for the return.
    TPlayedWindow W;
    TMachineClock& Clock = W.Window.Clock();
    Clock.SetPaused(true);
    W.Window.PlayScript(Parsed("seed 747\ncoin\nplay\nplay\nwait 1440\nreturn\nsettle\n"),
                        QStringLiteral("x"));
    // Each event from outside, a click or a timer, with the automata's own nested in it.
    QStringList Events;
    for (qsizetype Seen = 0; Clock.Step(); Seen = W.Window.Log->LineCount()) {
        QStringList Outside;
        int Depth = 0;
        for (const QString& Line : W.Lines().mid(Seen)) {
            if (Line.contains(QStringLiteral(" запущен ")) && Depth++ == 0)
                Outside << Line.section(u'"', -2, -2);
            if (Line.contains(QStringLiteral(" завершил обработку ")))
                --Depth;
        }
        QCOMPARE(Outside.size(), 1);
        Events << Outside;
        QVERIFY(Events.size() < 100);
    }
    QCOMPARE(Events.mid(0, 5),
             QStringList({"Опущен жетон", "Нажата кнопка 'Игра'", "Нажата кнопка 'Игра'",
                          "Сработал таймер первого барабана", "Нажата кнопка 'Возврат денег'"}));
}

QTEST_MAIN(WindowSessionTest)
#include "WindowSessionTest.moc"
