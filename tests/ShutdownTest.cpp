#include "slotmachine/atmSlotMachine.h"
#include "tests/Boxes.h"
#include "tests/MachineEdit.h"
#include "tests/WindowPlayer.h"
#include "window/Application.h"
#include "window/ErrorBox.h"
#include "window/FormMain.h"

#include <QPointer>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace sm;

// Closing the window ends the loop with code 0 in every state, and nothing runs on afterwards.
class ShutdownTest : public QObject {
    Q_OBJECT

private slots:
    void closeInEveryState_data();
    void closeInEveryState();
};

void ShutdownTest::closeInEveryState_data() {
    QTest::addColumn<int>("steps");
    QTest::addColumn<int>("a0");
    // Each row plays the same game a number of steps further.
    QTest::newRow("Waiting") << 0 << int(TAutomatonSlotMachine::Waiting);
    QTest::newRow("Accepting") << 1 << int(TAutomatonSlotMachine::Accepting);
    QTest::newRow("spinning") << 2 << int(TAutomatonSlotMachine::Game);
    QTest::newRow("first barrel stopped") << 4 << int(TAutomatonSlotMachine::Game);
    QTest::newRow("second barrel stopped") << 5 << int(TAutomatonSlotMachine::Game);
    QTest::newRow("paying") << 6 << int(TAutomatonSlotMachine::Paying);
    QTest::newRow("bank exhausted") << 7 << int(TAutomatonSlotMachine::Error);
    QTest::newRow("counterfeit token") << -1 << int(TAutomatonSlotMachine::Error);
}

void ShutdownTest::closeInEveryState() {
    QFETCH(int, steps);
    QFETCH(int, a0);
    auto M = std::make_unique<TSlotMachine>();
    M->show();
    QVERIFY(QTest::qWaitForWindowExposed(M.get()));
    if (steps < 0)
        Click(M->iBadCoin);
    if (steps >= 1)
        ClickCoin(*M);
    if (steps >= 2)
        Click(M->iPlay);
    if (steps >= 4) {
        Click(M->iPlay);
        Fire<&TMachine::TimerB1Timer>(*M);
    }
    if (steps >= 5)
        Fire<&TMachine::TimerB2Timer>(*M);
    if (steps >= 6) {
        // 7 7 7 wins; one token to pay, then the bank is empty.
        EditMachine(M->Machine(), [](TMachineSnapshot& S) { S.FBank = 1; });
        Fire<&TMachine::TimerB3Timer>(*M);
    }
    if (steps >= 7)
        Fire<&TMachine::JackTimerTimer>(*M);
    QCOMPARE(M->Machine().State(A0), a0);

    // The user closes the window while its clock keeps running.
    const QPointer<TMachineClock> Clock = &M->Clock();
    // The session's question is answered: nothing kept.
    QTimer::singleShot(0, M.get(), [&M] {
        AnswerBox(QStringLiteral("Не сохранять"));
        M->windowHandle()->close();
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    M.reset();
    QCoreApplication::processEvents();
    // No clock of the window is left to tick into its machine, and no box refers to it.
    QVERIFY(!Clock);
    QVERIFY(TErrorBox::Instance().Owner == nullptr);
}

int main(int Argc, char** Argv) {
    TApplication Application(Argc, Argv);
    ShutdownTest Test;
    return QTest::qExec(&Test, Argc, Argv);
}

#include "ShutdownTest.moc"
