#include "slotmachine/Random.h"
#include "slotmachine/atmSlotMachine.h"
#include "tests/ActionInterpreter.h"
#include "window/FormMain.h"

#include <QRandomGenerator>
#include <QTest>

#include <memory>

namespace {

using A0State = TAutomatonSlotMachine;
using A1State = TAutomatonMoneyTray;
using A2State = TAutomatonBarrelsEngine;

// The test's own copy of the names, so that a changed name in the program shows up here.
const QStringList Names = {"Игровая машина", "Монетоприемник", "Игровые барабаны"};
const QList<QStringList> StateNames = {
    {"Ожидание", "Прием жетонов", "Игра", "Ошибка", "Выдача жетона"},
    {"Монетоприёмник пуст", "Жетон принят", "Жетон не распознан"},
    {"Барабаны остановлены", "Барабаны запущены", "Первый барабан остановлен",
     "Второй барабан остановлен"}};
const QMap<int, QString> EventNames = {{0, "(от автомата А0): Начало игры"},
                                       {1, "Нажата кнопка 'Игра'"},
                                       {2, "Нажата кнопка 'Возврат денег'"},
                                       {3, "Нажата кнопка 'Тех. Сброс'"},
                                       {5, "Сработал таймер третьего барабана"},
                                       {6, "Выдан жетон из банка"},
                                       {10, "Опущен жетон"},
                                       {11, "(от автомата A1) Опущен жетон"},
                                       {12, "(от автомата A0) Перевести деньги в банк"},
                                       {22, "Сработал таймер первого барабана"},
                                       {23, "Сработал таймер второго барабана"}};

QString Title(int A) {
    return QStringLiteral("Автомат A%1 \"%2\"").arg(A).arg(Names[A]);
}

QString Start(int A, int Event, int State) {
    return Title(A) + QStringLiteral(" запущен в состоянии %1 \"%2\" с событием e%3 \"%4\"")
                          .arg(State)
                          .arg(StateNames[A][State])
                          .arg(Event)
                          .arg(EventNames[Event]);
}

QString Transition(int A, int From, int To) {
    return Title(A) + QStringLiteral(" перешел из состояния %1 в состояние %2").arg(From).arg(To);
}

QString Finish(int A, int Event, int State) {
    return Title(A) + QStringLiteral(" завершил обработку события e%1 \"%2\" в состоянии %3 \"%4\"")
                          .arg(Event)
                          .arg(EventNames[Event])
                          .arg(State)
                          .arg(StateNames[A][State]);
}

// Barrel frames that give each win rule (symbols in barrel order).
struct TOutcome {
    int F1, F2, F3;
};
const TOutcome Sevens{40, 40, 40};  // 7 7 7: ten times the stake
const TOutcome NoWin{47, 60, 7};    // 8 1 2: nothing
const TOutcome OneToken{54, 60, 7}; // 9 1 2: one token

} // namespace

class MachineTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<TSlotMachine> M;
    qsizetype FMark = 0;

    // Messages written since the last call, checked for the three-line layout on the way.
    QStringList Protocol() {
        QStringList Messages;
        const qsizetype Count = M->Log->LineCount();
        for (qsizetype Line = FMark; Line < Count; Line += 3) {
            const QString Stamp = M->Log->Line(Line);
            if (!Stamp.endsWith(u':') || Line + 2 >= Count || !M->Log->Line(Line + 2).isEmpty())
                return {QStringLiteral("bad layout at line %1: %2").arg(Line).arg(Stamp)};
            Messages << M->Log->Line(Line + 1);
        }
        FMark = Count;
        return Messages;
    }

    void DropTokens(int Count) {
        for (int Token = 0; Token < Count; ++Token)
            M->Image1Click(M->Image(1));
    }

    void StartGame(int Stake) {
        DropTokens(Stake);
        M->iPlayClick(M->iPlay);
        M->iPlayClick(M->iPlay);
    }

    void StopBarrels(TOutcome Outcome) {
        M->Barrel1->SetFrameIndex(Outcome.F1);
        M->TimerB1Timer(M->TimerB1);
        M->Barrel2->SetFrameIndex(Outcome.F2);
        M->TimerB2Timer(M->TimerB2);
        M->Barrel3->SetFrameIndex(Outcome.F3);
        M->TimerB3Timer(M->TimerB3);
    }

    int A0() const { return M->FAutomatonSlotMachine->FState; }
    int A1() const { return M->FAutomatonMoneyTray->FState; }
    int A2() const { return M->FAutomatonBarrelsEngine->FState; }

private slots:
    void init();
    void cleanup();

    void startUpState();
    void firstGenuineToken();
    void secondTokenOnlyShowsTheStake();
    void playInAccepting();
    void playWhileSpinningArmsOnce();
    void stopsAndEndOfGame_data();
    void stopsAndEndOfGame();
    void payOutEndsInWaiting();
    void bankRunsOutIntoErrorClearedByReset();
    void counterfeitToken_data();
    void counterfeitToken();
    void ignoredActions_data();
    void ignoredActions();
    void spinTicksOnlyStepFrames();
    void wholeGameThroughTheWindowHandlers();
    void noRowIsShadowed();
    void unknownStateWritesOnlyWhenAsked();
    void randomWalkKeepsInvariants();
};

void MachineTest::init() {
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
    M = std::make_unique<TSlotMachine>();
    FMark = 0;
}

void MachineTest::cleanup() {
    M.reset();
}

void MachineTest::startUpState() {
    QCOMPARE(SlotMachine, M.get());
    QCOMPARE(M->FBank, 50);
    QCOMPARE(M->FUserTokens, 50);
    QCOMPARE(M->FStake, 0);
    QCOMPARE(M->FJackPot, 0);
    QVERIFY(!M->FTrayClosed);
    QVERIFY(M->FTokenGood);
    QCOMPARE(M->edBank->text() + M->edStake->text() + M->edJackPot->text() + M->edUser->text(),
             "500050");
    QVERIFY(!M->Image(50)->isHidden());
    QVERIFY(M->Image(51)->isHidden());
    QVERIFY(!M->iBadCoin->isHidden());
    for (TFrameImage* Barrel : {M->Barrel1, M->Barrel2, M->Barrel3})
        QCOMPARE(Barrel->FrameIndex(), 40);
    for (TTimer* Timer : {M->TimerSync1, M->TimerSync2, M->TimerSync3, M->TimerB1, M->TimerB2,
                          M->TimerB3, M->JackTimer})
        QCOMPARE(Timer->Interval(), 0);
    const auto& Dispatcher = *M->FAutomatonsDispatcher;
    QCOMPARE(Dispatcher.FAutomata[0], M->FAutomatonSlotMachine.get());
    QCOMPARE(Dispatcher.FAutomata[2], M->FAutomatonBarrelsEngine.get());
    for (TCheckList* List : {M->cbA0LogSettings, M->cbA1LogSettings, M->cbA2LogSettings})
        for (int Item = 0; Item < 5; ++Item)
            QCOMPARE(List->Checked(Item), Item < 3);
    for (TAutomaton* Automaton : Dispatcher.FAutomata) {
        QVERIFY(Automaton->FLogStart && Automaton->FLogTransition && Automaton->FLogFinish);
        QVERIFY(!Automaton->FLogInput && !Automaton->FLogOutput && !Automaton->FLogErrors);
        QCOMPARE(Automaton->FState, 0);
    }
    QCOMPARE(M->Log->LineCount(), 0);
}

void MachineTest::firstGenuineToken() {
    M->Image1Click(M->Image(50));
    // Letter for letter, as the user reads it.
    const QStringList Expected = {
        // NOLINTNEXTLINE(bugprone-suspicious-missing-comma): one message split over two lines
        "Автомат A1 \"Монетоприемник\" запущен в состоянии 0 \"Монетоприёмник пуст\" с событием "
        "e10 \"Опущен жетон\"",
        "Автомат A1 \"Монетоприемник\" перешел из состояния 0 в состояние 1",
        "Автомат A0 \"Игровая машина\" запущен в состоянии 0 \"Ожидание\" с событием e11 \"(от "
        "автомата A1) Опущен жетон\"",
        "Автомат A0 \"Игровая машина\" перешел из состояния 0 в состояние 1",
        "Автомат A0 \"Игровая машина\" завершил обработку события e11 \"(от автомата A1) Опущен "
        "жетон\" в состоянии 1 \"Прием жетонов\"",
        "Автомат A1 \"Монетоприемник\" завершил обработку события e10 \"Опущен жетон\" в "
        "состоянии 1 \"Жетон принят\""};
    QCOMPARE(Protocol(), Expected);
    QCOMPARE(M->edStake->text(), "1");
    QCOMPARE(M->edUser->text(), "49");
    QVERIFY(M->Image(50)->isHidden());
}

void MachineTest::secondTokenOnlyShowsTheStake() {
    DropTokens(1);
    Protocol();
    DropTokens(1);
    QCOMPARE(Protocol(), (QStringList{Start(1, 10, 1), Finish(1, 10, 1)}));
    QCOMPARE(M->edStake->text(), "2");
    QCOMPARE(A0(), A0State::Accepting);
}

void MachineTest::playInAccepting() {
    DropTokens(3);
    Protocol();
    M->iPlayClick(M->iPlay);
    QCOMPARE(Protocol(), (QStringList{Start(0, 1, 1), Start(1, 12, 1), Transition(1, 1, 0),
                                      Finish(1, 12, 0), Transition(0, 1, 2), Start(2, 0, 0),
                                      Transition(2, 0, 1), Finish(2, 0, 1), Finish(0, 1, 2)}));
    QCOMPARE(M->FBank, 53);
    QCOMPARE(M->edBank->text(), "53");
    QCOMPARE(M->edStake->text(), "3"); // the stake stays until the game is over
    QVERIFY(M->FTrayClosed);
    QCOMPARE(M->TimerSync1->Interval(), 10);
    QCOMPARE(M->TimerSync2->Interval(), 1);
    QCOMPARE(M->TimerSync3->Interval(), 6);
    QCOMPARE(M->TimerB1->Interval(), 0); // the barrels spin until play is pressed again
}

void MachineTest::playWhileSpinningArmsOnce() {
    DropTokens(1);
    M->iPlayClick(M->iPlay);
    Protocol();
    RandSeed = 0; // the first draw below 1000 is 0, the second 31
    M->iPlayClick(M->iPlay);
    const QStringList Relayed = {Start(0, 1, 2), Start(2, 1, 1), Finish(2, 1, 1), Finish(0, 1, 2)};
    QCOMPARE(Protocol(), Relayed);
    QCOMPARE(M->TimerB1->Interval(), 1000);
    const int Starts = M->TimerB1->Starts();
    M->iPlayClick(M->iPlay);
    QCOMPARE(Protocol(), Relayed);
    QCOMPARE(M->TimerB1->Interval(), 1000);
    QCOMPARE(M->TimerB1->Starts(), Starts); // neither re-armed nor delayed
    // Return and reset reach A2 and change nothing.
    M->iReturnClick(M->iReturn);
    M->btnTechResetClick(M->btnTechReset);
    QCOMPARE(Protocol(),
             (QStringList{Start(0, 2, 2), Start(2, 2, 1), Finish(2, 2, 1), Finish(0, 2, 2),
                          Start(0, 3, 2), Start(2, 3, 1), Finish(2, 3, 1), Finish(0, 3, 2)}));
}

void MachineTest::stopsAndEndOfGame_data() {
    QTest::addColumn<int>("f1");
    QTest::addColumn<int>("f2");
    QTest::addColumn<int>("f3");
    QTest::addColumn<int>("win");
    QTest::newRow("7 7 7 from frames 42 38 43") << 42 << 38 << 43 << 20;
    QTest::newRow("no win") << NoWin.F1 << NoWin.F2 << NoWin.F3 << 0;
    QTest::newRow("one token") << OneToken.F1 << OneToken.F2 << OneToken.F3 << 1;
    QTest::newRow("6 7 8 combination") << 33 << 41 << 46 << 14;
    QTest::newRow("pair") << 2 << 25 << 59 << 8;
    QTest::newRow("first on 7") << 39 << 12 << 22 << 3;
    QTest::newRow("three of a kind") << 5 << 9 << 7 << 10;
}

void MachineTest::stopsAndEndOfGame() {
    QFETCH(int, f1);
    QFETCH(int, f2);
    QFETCH(int, f3);
    QFETCH(int, win);
    StartGame(2);
    Protocol();

    M->Barrel1->SetFrameIndex(f1);
    M->TimerB1Timer(M->TimerB1);
    QCOMPARE(Protocol(), (QStringList{Start(2, 22, 1), Transition(2, 1, 2), Finish(2, 22, 2)}));
    QCOMPARE(M->TimerB1->Interval() + M->TimerSync1->Interval(), 0);
    QVERIFY(M->TimerB2->Interval() >= 1000 && M->TimerB2->Interval() <= 1999);

    M->iPlayClick(M->iPlay); // after the first stop play does nothing
    QCOMPARE(Protocol(),
             (QStringList{Start(0, 1, 2), Start(2, 1, 2), Finish(2, 1, 2), Finish(0, 1, 2)}));

    M->Barrel2->SetFrameIndex(f2);
    M->TimerB2Timer(M->TimerB2);
    QCOMPARE(Protocol(), (QStringList{Start(2, 23, 2), Transition(2, 2, 3), Finish(2, 23, 3)}));
    QVERIFY(M->TimerB3->Interval() >= 1000 && M->TimerB3->Interval() <= 1999);

    M->Barrel3->SetFrameIndex(f3);
    M->TimerB3Timer(M->TimerB3);
    QStringList Expected = {Start(0, 5, 2), Start(2, 5, 3), Transition(2, 3, 0), Finish(2, 5, 0)};
    if (win > 0)
        Expected << Transition(0, 2, 4) << Finish(0, 5, 4);
    else
        Expected << Transition(0, 2, 0) << Finish(0, 5, 0);
    QCOMPARE(Protocol(), Expected);
    QCOMPARE(M->edJackPot->text(), QString::number(win)); // the whole win, before any refresh
    for (TFrameImage* Barrel : {M->Barrel1, M->Barrel2, M->Barrel3})
        QVERIFY(QList<int>({60, 7, 14, 21, 27, 34, 40, 47, 54}).contains(Barrel->FrameIndex()));
    if (win > 0) {
        QCOMPARE(M->FJackPot, win - 1); // the first token is paid at once
        QCOMPARE(M->FBank, 52 - 1);
        QCOMPARE(M->JackTimer->Interval(), 250);
        QVERIFY(M->FTrayClosed);
        QCOMPARE(M->edStake->text(), "2");
    } else {
        QCOMPARE(M->JackTimer->Interval(), 0);
        QVERIFY(!M->FTrayClosed);
        QCOMPARE(M->FStake, 0);
        QCOMPARE(M->edStake->text(), "0");
        QCOMPARE(M->FBank, 52);
    }
}

void MachineTest::payOutEndsInWaiting() {
    StartGame(1);
    StopBarrels({5, 9, 7}); // 2 2 2: five tokens
    QCOMPARE(M->FJackPot, 4);
    QCOMPARE(M->edJackPot->text(), "5");
    Protocol();
    const int Starts = M->JackTimer->Starts();
    QStringList Shown;
    while (A0() == A0State::Paying && M->JackTimer->Interval() != 0) {
        M->JackTimerTimer(M->JackTimer);
        Shown << M->edJackPot->text();
    }
    QCOMPARE(Shown, (QStringList{"3", "2", "1", "0", "0"}));
    QCOMPARE(M->JackTimer->Starts(), Starts); // paying on does not shift the ticks
    QStringList Expected;
    for (int Tick = 0; Tick < 4; ++Tick)
        Expected << Start(0, 6, 4) << Finish(0, 6, 4);
    Expected << Start(0, 6, 4) << Transition(0, 4, 0) << Finish(0, 6, 0);
    QCOMPARE(Protocol(), Expected);
    QCOMPARE(A0(), A0State::Waiting);
    QCOMPARE(M->FUserTokens, 54);
    QCOMPARE(M->FBank, 46);
    QCOMPARE(M->edUser->text(), "54");
    QVERIFY(!M->FTrayClosed);
    QCOMPARE(M->edStake->text(), "0");
}

void MachineTest::bankRunsOutIntoErrorClearedByReset() {
    StartGame(2);
    M->FBank = 2; // the machine straight into a nearly empty bank
    StopBarrels(Sevens);
    QCOMPARE(M->FJackPot, 19);
    M->JackTimerTimer(M->JackTimer); // pays the last token
    Protocol();
    M->JackTimerTimer(M->JackTimer); // the bank is empty: the timer stops, e6 still arrives
    QCOMPARE(Protocol(), (QStringList{Start(0, 6, 4), Transition(0, 4, 3), Finish(0, 6, 3)}));
    QCOMPARE(A0(), A0State::Error);
    QCOMPARE(A1(), A1State::Empty);
    QCOMPARE(M->JackTimer->Interval(), 0);
    QCOMPARE(M->edJackPot->text(), "18");
    QCOMPARE(M->edBank->text(), "0");

    M->iReturnClick(M->iReturn); // ignored in this kind of error
    QCOMPARE(Protocol(), (QStringList{Start(0, 2, 3), Finish(0, 2, 3)}));
    M->btnTechResetClick(M->btnTechReset);
    QCOMPARE(Protocol(), (QStringList{Start(0, 3, 3), Transition(0, 3, 0), Finish(0, 3, 0)}));
    QCOMPARE(M->FJackPot, 0);
    QCOMPARE(M->edJackPot->text(), "0");
    QVERIFY(!M->FTrayClosed);
}

void MachineTest::counterfeitToken_data() {
    QTest::addColumn<int>("genuine");
    QTest::newRow("from Empty") << 0;
    QTest::newRow("after genuine tokens") << 3;
}

void MachineTest::counterfeitToken() {
    QFETCH(int, genuine);
    DropTokens(genuine);
    Protocol();
    const int From = genuine ? 1 : 0;
    M->iBadCoinClick(M->iBadCoin);
    QCOMPARE(Protocol(),
             (QStringList{Start(1, 10, From), Transition(1, From, 2), Start(0, 11, From),
                          Transition(0, From, 3), Finish(0, 11, 3), Finish(1, 10, 2)}));
    QVERIFY(M->FTrayClosed);
    QVERIFY(M->iBadCoin->isHidden());
    QCOMPARE(M->edStake->text(), QString::number(genuine));

    M->Image1Click(M->Image(1)); // the slot is closed
    M->iBadCoinClick(M->iBadCoin);
    M->btnTechResetClick(M->btnTechReset); // ignored in this kind of error
    QCOMPARE(Protocol(), (QStringList{Start(0, 3, 3), Finish(0, 3, 3)}));

    M->iReturnClick(M->iReturn);
    QCOMPARE(Protocol(), (QStringList{Start(0, 2, 3), Start(1, 2, 2), Transition(1, 2, 0),
                                      Finish(1, 2, 0), Transition(0, 3, 0), Finish(0, 2, 0)}));
    QCOMPARE(M->FUserTokens, 50);
    QCOMPARE(M->edUser->text(), "50");
    QCOMPARE(M->edStake->text(), "0");
    QVERIFY(!M->iBadCoin->isHidden());
    QVERIFY(!M->FTrayClosed);
}

void MachineTest::ignoredActions_data() {
    QTest::addColumn<QString>("action");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("play in Waiting") << "play" << QStringList{Start(0, 1, 0), Finish(0, 1, 0)};
    QTest::newRow("return in Waiting") << "return" << QStringList{Start(0, 2, 0), Finish(0, 2, 0)};
    QTest::newRow("reset in Waiting") << "reset" << QStringList{Start(0, 3, 0), Finish(0, 3, 0)};
    QTest::newRow("no tokens left") << "coin" << QStringList{};
}

void MachineTest::ignoredActions() {
    QFETCH(QString, action);
    QFETCH(QStringList, expected);
    if (action == "coin")
        M->FUserTokens = 0;
    const int Bank = M->FBank;
    const int User = M->FUserTokens;
    if (action == "play")
        M->iPlayClick(M->iPlay);
    else if (action == "return")
        M->iReturnClick(M->iReturn);
    else if (action == "reset")
        M->btnTechResetClick(M->btnTechReset);
    else
        M->Image1Click(M->Image(1));
    QCOMPARE(Protocol(), expected);
    QCOMPARE(A0(), A0State::Waiting);
    QCOMPARE(M->FBank, Bank);
    QCOMPARE(M->FUserTokens, User);
}

void MachineTest::spinTicksOnlyStepFrames() {
    StartGame(1);
    Protocol();
    M->Barrel2->SetFrameIndex(59);
    M->TimerSync2Timer(M->TimerSync2);
    QCOMPARE(M->Barrel2->FrameIndex(), 60);
    M->TimerSync2Timer(M->TimerSync2);
    QCOMPARE(M->Barrel2->FrameIndex(), 1);
    M->TimerSync1Timer(M->TimerSync1);
    M->TimerSync3Timer(M->TimerSync3);
    QCOMPARE(M->Barrel1->FrameIndex(), 41);
    QCOMPARE(M->Barrel3->FrameIndex(), 41);
    QVERIFY(Protocol().isEmpty());
}

void MachineTest::wholeGameThroughTheWindowHandlers() {
    // From the first coin to the last pay-out tick, with a win of one token.
    for (int Coin = 50; Coin > 47; --Coin)
        M->Image1Click(M->Image(Coin));
    M->iPlayClick(M->iPlay);
    M->iPlayClick(M->iPlay);
    for (int Tick = 0; Tick < 7; ++Tick)
        M->TimerSync1Timer(M->TimerSync1);
    M->Barrel1->SetFrameIndex(OneToken.F1);
    M->TimerB1Timer(M->TimerB1);
    M->Barrel2->SetFrameIndex(OneToken.F2);
    M->TimerB2Timer(M->TimerB2);
    M->Barrel3->SetFrameIndex(OneToken.F3);
    M->TimerB3Timer(M->TimerB3);
    QCOMPARE(A0(), A0State::Paying);
    QCOMPARE(M->FJackPot, 0);
    M->JackTimerTimer(M->JackTimer);
    QCOMPARE(A0(), A0State::Waiting);
    QCOMPARE(M->JackTimer->Interval(), 0);
    QCOMPARE(M->FUserTokens, 48);
    QCOMPARE(M->FBank, 52);
    QCOMPARE(Protocol().size(), 6 + 2 + 2 + 9 + 4 + 3 + 3 + 6 + 3);
}

void MachineTest::noRowIsShadowed() {
    // A row after an unguarded row with the same state and event could never fire.
    const auto Check = [](const auto Rows) {
        for (size_t Later = 0; Later < Rows.size(); ++Later)
            for (size_t Earlier = 0; Earlier < Later; ++Earlier) {
                const auto& A = Rows[Earlier];
                const auto& B = Rows[Later];
                if (A.State == B.State && A.Event == B.Event &&
                    (A.Guard == nullptr || A.Guard == B.Guard))
                    return false;
            }
        return true;
    };
    QVERIFY(Check(TAutomatonSlotMachine::Rows()));
    QVERIFY(Check(TAutomatonMoneyTray::Rows()));
    QVERIFY(Check(TAutomatonBarrelsEngine::Rows()));
    QCOMPARE(TAutomatonSlotMachine::Rows().size(), size_t(12));
    QCOMPARE(TAutomatonMoneyTray::Rows().size(), size_t(7));
    QCOMPARE(TAutomatonBarrelsEngine::Rows().size(), size_t(5));
}

void MachineTest::unknownStateWritesOnlyWhenAsked() {
    TAutomaton* Automata[] = {M->FAutomatonSlotMachine.get(), M->FAutomatonMoneyTray.get(),
                              M->FAutomatonBarrelsEngine.get()};
    for (int A = 0; A < 3; ++A) {
        TAutomaton& Automaton = *Automata[A];
        Automaton.FLogStart = Automaton.FLogFinish = false;
        Automaton.FState = 9;
        Automaton.HandleEvent(1);
        QVERIFY(Protocol().isEmpty());
        Automaton.FLogErrors = true;
        Automaton.HandleEvent(1);
        QCOMPARE(Protocol(),
                 QStringList{QStringLiteral("Ошибка в автомате A%1 при обработке события e1: "
                                            "неизвестное состояние 9")
                                 .arg(A)});
        QCOMPARE(Automaton.FState, 9);
    }
}

void MachineTest::randomWalkKeepsInvariants() {
    const quint32 Seed = QRandomGenerator::global()->generate();
    qInfo("random walk seed %u", Seed);
    QRandomGenerator Walk(Seed);
    RandSeed = Seed;
    QSet<int> Visited; // pairs of A0 and A1 states
    qsizetype CheckedLines = 0;
    for (int Step = 0; Step < 10000; ++Step) {
        const int Action = Walk.bounded(13);
        switch (Action) {
        case 0:
        case 1:
            M->Image1Click(M->Image(1 + Walk.bounded(100)));
            break;
        case 2:
            if (Walk.bounded(8) == 0)
                M->iBadCoinClick(M->iBadCoin);
            break;
        case 3:
            M->iPlayClick(M->iPlay);
            break;
        case 4:
            M->iReturnClick(M->iReturn);
            break;
        case 5:
            M->btnTechResetClick(M->btnTechReset);
            break;
        default: {
            // A tick only of a timer that runs.
            const std::pair<TTimer*, void (TSlotMachine::*)(QObject*)> Timers[] = {
                {M->JackTimer, &TSlotMachine::JackTimerTimer},
                {M->TimerSync1, &TSlotMachine::TimerSync1Timer},
                {M->TimerSync2, &TSlotMachine::TimerSync2Timer},
                {M->TimerSync3, &TSlotMachine::TimerSync3Timer},
                {M->TimerB1, &TSlotMachine::TimerB1Timer},
                {M->TimerB2, &TSlotMachine::TimerB2Timer},
                {M->TimerB3, &TSlotMachine::TimerB3Timer}};
            const auto& [Timer, Handler] = Timers[Action - 6];
            if (Timer->Interval() != 0)
                ((*M).*Handler)(Timer);
        }
        }
        Visited.insert(A0() * 10 + A1());
        const QString Broken = CheckInvariants(*M, CheckedLines);
        if (!Broken.isEmpty())
            QFAIL(qPrintable(QStringLiteral("seed %1, step %2, action %3: %4")
                                 .arg(Seed)
                                 .arg(Step)
                                 .arg(Action)
                                 .arg(Broken)));
    }
    // Every reachable pair: Waiting, Accepting, Game, both errors, Paying.
    QCOMPARE(Visited, (QSet<int>{0, 11, 20, 32, 30, 40}));
}

QTEST_MAIN(MachineTest)
#include "MachineTest.moc"
