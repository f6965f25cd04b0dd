// The one way in: what the door takes, refuses and records, and the window's controls and keys
// bound to it by the table of the player's actions.
#include "sessions/Door.h"
#include "sessions/Playback.h"
#include "tests/MachineEdit.h"
#include "window/FormMain.h"

#include <QTest>
#include <QTimeZone>

using namespace sm;

namespace {

const QDateTime Start(QDate(2026, 1, 1), QTime(9, 0), QTimeZone::utc());

// A session script without its seed and start lines.
QByteArray Commands(const QByteArray& Script) {
    return Script.mid(Script.indexOf('\n', Script.indexOf('\n') + 1) + 1);
}

TScript Parsed(const QByteArray& Text) {
    TParsedScript Script = ParseScript(Text);
    if (Script.Error)
        qFatal("bad test script: %s", qPrintable(Script.Error->Message));
    return std::move(Script.Script);
}

} // namespace

class DoorTest : public QObject {
    Q_OBJECT

private slots:
    void refusedInputChangesNothing_data();
    void refusedInputChangesNothing();
    void switchesRecordWhatChanged();
    void playbackRecordsWhatItPlays();
    void keysAndControlsFollowTheTable_data();
    void keysAndControlsFollowTheTable();
    void keyWithNothingShownIsNotTaken();
    void playedSwitchTurnsTheTick();
};

void DoorTest::refusedInputChangesNothing_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("userShown");
    QTest::addColumn<bool>("badShown");
    QTest::addColumn<bool>("taken");
    const int Coin = int(TPlayerAction::Coin);
    const int Bad = int(TPlayerAction::Bad);
    QTest::newRow("coin shown") << Coin << 3 << true << true;
    // In the pay-out the account runs ahead of the field; the field decides.
    QTest::newRow("coin while the field shows 0") << Coin << 0 << true << false;
    QTest::newRow("counterfeit shown") << Bad << 50 << true << true;
    QTest::newRow("counterfeit in the acceptor") << Bad << 50 << false << false;
    QTest::newRow("play with nothing shown") << int(TPlayerAction::Play) << 0 << false << true;
}

void DoorTest::refusedInputChangesNothing() {
    QFETCH(int, action);
    QFETCH(int, userShown);
    QFETCH(bool, badShown);
    QFETCH(bool, taken);
    TVirtualTime Time;
    EditMachine(Time.Machine(), [&](TMachineSnapshot& State) {
        State.Displays.edUser = userShown;
        State.Displays.iBadCoin = badShown;
    });
    Time.Advance(250);
    const TMachineSnapshot Before = Time.Machine().Snapshot();
    int Told = 0;
    TInputDoor Door(Time, [&Told] { ++Told; });
    TSessionRecorder Recorder(1, Start);
    Door.Record(&Recorder);

    const TPlayerAction Action = TPlayerAction(action);
    QCOMPARE(Door.Take(Action).isEmpty(), taken);
    QCOMPARE(Told, int(taken));
    if (!taken)
        QVERIFY(Time.Machine().Snapshot() == Before);
    const QByteArray Word = QByteArray(ScriptName(Action).data()) + '\n';
    QCOMPARE(Commands(Recorder.Script(250)), taken ? "wait 250\n" + Word : "wait 250\n");
}

void DoorTest::switchesRecordWhatChanged() {
    TVirtualTime Time;
    TSessionRecorder Recorder(1, Start);
    TInputDoor Door(Time);
    Door.Record(&Recorder);
    TLogSwitches Switches = Time.Machine().LogSwitches(A1);
    Switches[LogStart] = !Switches[LogStart];
    Switches[LogOutput] = !Switches[LogOutput];
    Door.SetSwitches(A1, Switches);
    QCOMPARE(Time.Machine().LogSwitches(A1), Switches);
    // A switch already as asked needs no click.
    Door.Turn(A1, LogStart, Switches[LogStart]);
    const auto Word = [](bool On) { return On ? QByteArray("on") : QByteArray("off"); };
    QCOMPARE(Commands(Recorder.Script(0)), "log A1 start " + Word(Switches[LogStart]) +
                                               "\nlog A1 output " + Word(Switches[LogOutput]) +
                                               '\n');
}

void DoorTest::playbackRecordsWhatItPlays() {
    const QByteArray Played = "coin\nwait 40\nlog A0 start off\nplay\nwait 3000\n";
    TVirtualTime Time;
    TSessionRecorder Recorder(7, Start);
    TInputDoor Door(Time);
    Door.Record(&Recorder);
    TPlayback Playback(Parsed(Played).Commands, Door);
    Playback.RunTo(3040);
    QVERIFY(Playback.Finished());
    QVERIFY(!Playback.Error());
    QCOMPARE(Commands(Recorder.Script(Time.Now())), Played);
}

void DoorTest::keysAndControlsFollowTheTable_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("key");
    for (const TPlayerActionRow& Row : PlayerActionRows)
        for (const QKeyCombination Key : Row.Keys)
            if (Key.key() != Qt::Key_unknown)
                QTest::addRow("%s %s", Row.Script.data(), qPrintable(QKeySequence(Key).toString()))
                    << int(Row.Action) << Key.toCombined();
}

void DoorTest::keysAndControlsFollowTheTable() {
    QFETCH(int, action);
    QFETCH(int, key);
    const TPlayerActionRow& Row = RowOf(TPlayerAction(action));
    TSlotMachine Window;
    Window.Clock().SetWallClock([] { return 0; });
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    const QList<QWidget*> Controls = Window.findChildren<QWidget*>(QLatin1String(Row.Control));
    QCOMPARE(Controls.size(), 1);
    QVERIFY(Controls[0]->toolTip().startsWith(Row.Name.toString() + QStringLiteral(" (")));
    QVERIFY(Controls[0]->toolTip().contains(
        QKeySequence(QKeyCombination::fromCombined(key)).toString(QKeySequence::NativeText)));
    const auto Combination = QKeyCombination::fromCombined(key);
    QTest::keyClick(Window.windowHandle(), Combination.key(), Combination.keyboardModifiers());
    // The wall clock the window started on may have run a few milliseconds before the test's.
    const QByteArray Script = Window.SessionScript();
    QVERIFY2(Script.endsWith('\n' + QByteArray(Row.Script.data()) + '\n'), Script.constData());
}

void DoorTest::keyWithNothingShownIsNotTaken() {
    TSlotMachine Window;
    Window.Clock().SetWallClock([] { return 0; });
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    EditMachine(Window.Machine(), [](TMachineSnapshot& State) { State.Displays.edUser = 0; });
    QVERIFY(Window.Image(1)->isHidden());
    const TMachineSnapshot Before = Window.Machine().Snapshot();
    QTest::keyClick(Window.windowHandle(), Qt::Key_Plus);
    QVERIFY(Window.Machine().Snapshot() == Before);
    QVERIFY(!Window.SessionScript().contains("coin"));
}

void DoorTest::playedSwitchTurnsTheTick() {
    TSlotMachine Window;
    int64_t Wall = 0;
    Window.Clock().SetWallClock([&Wall] { return Wall; });
    QVERIFY(Window.cbA2LogSettings->Checked(LogTransition));
    Window.PlayScript(Parsed("seed 3\nwait 10\nlog A2 change off\n"), QStringLiteral("x"));
    Wall = 10;
    Window.Clock().CatchUp();
    QVERIFY(!Window.Clock().Playing());
    QVERIFY(!Window.cbA2LogSettings->Checked(LogTransition));
    QVERIFY(Window.SessionScript().endsWith("wait 10\nlog A2 change off\n"));
}

QTEST_MAIN(DoorTest)
#include "DoorTest.moc"
