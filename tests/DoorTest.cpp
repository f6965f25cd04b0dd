// The one way in: what the door takes, refuses and records, and the window's controls and keys
// bound to it by the table of the player's actions.
#include "sessions/Door.h"
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

} // namespace

class DoorTest : public QObject {
    Q_OBJECT

private slots:
    void refusedInputChangesNothing_data();
    void refusedInputChangesNothing();
    void switchesRecordWhatChanged();
    void keysAndControlsFollowTheTable_data();
    void keysAndControlsFollowTheTable();
    void playedSwitchTurnsTheTick();
};

void DoorTest::refusedInputChangesNothing_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("userShown");
    QTest::addColumn<bool>("badShown");
    // In the pay-out the account runs ahead of the field; the field decides.
    QTest::newRow("coin while the field shows 0") << int(TPlayerAction::Coin) << 0 << true;
    QTest::newRow("counterfeit in the acceptor") << int(TPlayerAction::Bad) << 50 << false;
}

void DoorTest::refusedInputChangesNothing() {
    QFETCH(int, action);
    QFETCH(int, userShown);
    QFETCH(bool, badShown);
    TVirtualTime Time;
    EditMachine(Time.Machine(), [&](TMachineSnapshot& State) {
        State.FDisplays.edUser = userShown;
        State.FDisplays.iBadCoin = badShown;
    });
    const TMachineSnapshot Before = Time.Machine().Snapshot();
    bool Told = false;
    TInputDoor Door(Time, [&Told] { Told = true; });
    TSessionRecorder Recorder(1, Start);
    Door.Record(&Recorder);
    QVERIFY(!Door.Take(TPlayerAction(action)).isEmpty());
    QVERIFY(!Told);
    QVERIFY(Time.Machine().Snapshot() == Before);
    QVERIFY(!Recorder.Recorded());
}

void DoorTest::switchesRecordWhatChanged() {
    TVirtualTime Time;
    TSessionRecorder Recorder(1, Start);
    TInputDoor Door(Time);
    Door.Record(&Recorder);
    Time.Machine().SetLogSwitches(A1, {});
    TLogSwitches Switches{};
    Switches[LogStart] = Switches[LogOutput] = true;
    Door.SetSwitches(A1, Switches);
    QCOMPARE(Time.Machine().LogSwitches(A1), Switches);
    Door.Turn(A1, LogStart, true); // already as asked: no click
    QCOMPARE(Commands(Recorder.Script(0)), "log A1 start on\nlog A1 output on\n");
}

void DoorTest::keysAndControlsFollowTheTable_data() {
    QTest::addColumn<int>("action");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shown");
    for (const TPlayerActionRow& Row : PlayerActionRows)
        for (const QKeyCombination Key : Row.Keys)
            if (Key.key() != Qt::Key_unknown)
                QTest::addRow("%s %s", Row.Script.data(), qPrintable(QKeySequence(Key).toString()))
                    << int(Row.Action) << Key.toCombined() << true;
    // In the pay-out the field may show 0 while the account holds tokens: no coin to drop.
    QTest::newRow("+ with no coin shown") << int(TPlayerAction::Coin) << int(Qt::Key_Plus) << false;
}

void DoorTest::keysAndControlsFollowTheTable() {
    QFETCH(int, action);
    QFETCH(int, key);
    QFETCH(bool, shown);
    const TPlayerActionRow& Row = RowOf(TPlayerAction(action));
    const auto Combination = QKeyCombination::fromCombined(key);
    TSlotMachine Window;
    Window.Clock().SetWallClock([] { return 0; });
    Window.show();
    Window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&Window));
    auto* Control = Window.findChild<QWidget*>(QLatin1String(Row.Control));
    QVERIFY(Control->toolTip().startsWith(Row.Name.toString() + QStringLiteral(" (")));
    QVERIFY(Control->toolTip().contains(QKeySequence(Combination).toString()));
    if (!shown)
        EditMachine(Window.Machine(), [](TMachineSnapshot& State) { State.FDisplays.edUser = 0; });
    const TMachineSnapshot Before = Window.Machine().Snapshot();
    QTest::keyClick(Window.windowHandle(), Combination.key(), Combination.keyboardModifiers());
    // The wall clock the window started on may have run a few milliseconds before the test's.
    const QByteArray Script = Window.SessionScript();
    QCOMPARE(Script.endsWith('\n' + QByteArray(Row.Script.data()) + '\n'), shown);
    if (!shown)
        QVERIFY(Window.Machine().Snapshot() == Before);
}

void DoorTest::playedSwitchTurnsTheTick() {
    TSlotMachine Window;
    int64_t Wall = 0;
    Window.Clock().SetWallClock([&Wall] { return Wall; });
    QVERIFY(Window.cbA2LogSettings->Checked(LogTransition));
    Window.PlayScript(ParseScript("seed 3\nwait 10\nlog A2 change off\n").Script, "x");
    Wall = 10;
    Window.Clock().CatchUp();
    QVERIFY(!Window.Clock().Playing());
    QVERIFY(!Window.cbA2LogSettings->Checked(LogTransition));
    QVERIFY(Window.SessionScript().endsWith("wait 10\nlog A2 change off\n"));
}

QTEST_MAIN(DoorTest)
#include "DoorTest.moc"
