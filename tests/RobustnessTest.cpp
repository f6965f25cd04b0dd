#include "tests/ActionInterpreter.h"
#include "tests/MachineEdit.h"

#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"
#include "slotmachine/atmSlotMachine.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <chrono>

using namespace sm;

namespace {

// About two seconds of CPU as a test, and ten in the unoptimised sanitizer build, which is some
// twenty times slower. ROBUSTNESS_SEQUENCES asks for more (robustness-full runs 10,000).
#if defined(__SANITIZE_ADDRESS__)
#define ROBUSTNESS_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROBUSTNESS_SANITIZED
#endif
#endif
#ifdef ROBUSTNESS_SANITIZED
constexpr int DefaultSequences = 1000;
#else
constexpr int DefaultSequences = 5000;
#endif
constexpr int LongestSequence = 200;
// Fixed, so that every run walks the same sequences and a failure never comes and goes.
constexpr quint32 DefaultSeed = 20250611u;
// Distinct broken invariants shrunk and printed before the run gives up.
constexpr int ReportedFailures = 5;

quint32 SeedFromEnvironment() {
    bool Ok = false;
    const quint32 Seed = qEnvironmentVariable("ROBUSTNESS_SEED").toUInt(&Ok);
    return Ok ? Seed : DefaultSeed;
}

int SequencesFromEnvironment() {
    bool Ok = false;
    const int Count = qEnvironmentVariableIntValue("ROBUSTNESS_SEQUENCES", &Ok);
    return Ok && Count > 0 ? Count : DefaultSequences;
}

// A frame that stops on a chosen symbol half the time, so that every win rule (even 7 7 7, whose
// chance is 1 in 729 with symbols drawn evenly) comes up in a run.
int RandomFrame(QRandomGenerator& Random) {
    if (Random.bounded(2) == 0)
        return Random.bounded(BarrelFrameCount);
    return Random.bounded(3) == 0 ? StartFrame : SnapFrameOf(1 + Random.bounded(9));
}

// The stake a player aims at in one sequence: mostly small, sometimes high enough that a win
// empties the bank.
int RandomStake(QRandomGenerator& Random) {
    const int Kind = Random.bounded(10);
    return Kind < 5   ? 1 + Random.bounded(3)
           : Kind < 8 ? 4 + Random.bounded(12)
                      : 16 + Random.bounded(35);
}

// Mostly within one spin step or pay-out, sometimes long enough for a barrel to stop.
int RandomWait(QRandomGenerator& Random) {
    return Random.bounded(3) == 0 ? 500 + Random.bounded(2500) : 1 + Random.bounded(300);
}

// An action that can happen now, weighted so that games start, end and pay out often.
TMachineAction RandomAction(const TActionInterpreter& Interpreter, QRandomGenerator& Random,
                            int Stake) {
    const TMachine& M = Interpreter.Machine();
    const int State = M.State(A0);
    if (State == TAutomatonSlotMachine::Paying && Random.bounded(100) < 90)
        return {TActionKind::Tick, JackTimer, 0};
    const int Coins = std::min(M.Displays().edUser, TMachine::TokenImages);
    if ((State == TAutomatonSlotMachine::Waiting || State == TAutomatonSlotMachine::Accepting) &&
        Coins > 0 && M.Stake() < Stake && Random.bounded(100) < 90)
        return PlayerMove(TPlayerAction::Coin, 1 + Random.bounded(Coins));
    for (int Attempt = 0; Attempt < 50; ++Attempt) {
        const int Pick = Random.bounded(1000);
        TMachineAction Action;
        if (Pick < 220)
            Action = PlayerMove(TPlayerAction::Coin, 1 + Random.bounded(TMachine::TokenImages));
        else if (Pick < 235)
            Action = PlayerMove(TPlayerAction::Bad);
        else if (Pick < 385)
            Action = PlayerMove(TPlayerAction::Play);
        else if (Pick < 445)
            Action = PlayerMove(TPlayerAction::Return);
        else if (Pick < 485)
            Action = PlayerMove(TPlayerAction::Reset);
        else if (Pick < 515)
            Action = {TActionKind::Toggle, Random.bounded(3 * LogItems), 0};
        else if (Pick < 615)
            Action = {TActionKind::Frame, 1 + Random.bounded(3), RandomFrame(Random)};
        else if (Pick < 620)
            Action = {TActionKind::Close, 0, 0};
        else if (Pick < 630)
            Action = {TActionKind::Copy, 0, 0};
        else if (Pick < 730)
            Action = {TActionKind::Wait, 0, RandomWait(Random)};
        else
            Action = {TActionKind::Tick, Random.bounded(TimerCount), 0};
        if (Interpreter.Possible(Action))
            return Action;
    }
    return PlayerMove(TPlayerAction::Play);
}

TMachineActions Parsed(const QString& Text) {
    const auto Actions = ParseActions(Text);
    if (!Actions)
        qFatal("not a sequence of actions: %s", qPrintable(Text));
    return *Actions;
}

// The repeated word, for hand-written rows that wait through a pay-out.
QString Times(int Count, const QString& Word) {
    return (Word + u' ').repeated(Count);
}

// Ways to break the machine behind its back; each must be caught by the check.
enum class TSabotage {
    LoseToken,
    OpenSlotInGame,
    PaintSlotClosed,
    StrayStopTimer,
    PayOutTimerInWaiting,
    PayOutTimerStopped,
    LeaveTrayAccepted,
    LeaveBusy,
    UnknownState,
    ErrorMessage,
    Reentrancy,
    EmptyMessage,
    CountNotShown,
    CounterfeitHidden,
    BarrelBetweenSymbols,
    SpinTimerStopped,
};

void Sabotage(TMachine& M, TSabotage What) {
    switch (What) {
    case TSabotage::LoseToken:
        EditMachine(M, [](TMachineSnapshot& S) { --S.FBank; });
        break;
    case TSabotage::OpenSlotInGame:
        M.SetTrayOpen(true);
        break;
    case TSabotage::PaintSlotClosed:
        EditMachine(M, [](TMachineSnapshot& S) { S.FDisplays.Shape1 = TBrushStyle::bsDiagCross; });
        break;
    case TSabotage::StrayStopTimer:
        M.SetInterval(TimerB2, 1000);
        break;
    case TSabotage::PayOutTimerInWaiting:
        M.SetInterval(JackTimer, 250);
        break;
    case TSabotage::PayOutTimerStopped:
        M.SetInterval(JackTimer, 0);
        break;
    case TSabotage::LeaveTrayAccepted:
        EditMachine(
            M, [](TMachineSnapshot& S) { S.Automata[A1].FState = TAutomatonMoneyTray::Accepted; });
        break;
    case TSabotage::LeaveBusy:
        EditMachine(M, [](TMachineSnapshot& S) { S.Automata[A2].FBusy = true; });
        break;
    case TSabotage::UnknownState:
        EditMachine(M, [](TMachineSnapshot& S) {
            S.Automata[A0].FState = TAutomatonSlotMachine::StateCount;
        });
        break;
    case TSabotage::ErrorMessage:
        M.WriteLog("Ошибка реентерабельности в автомате A1");
        break;
    case TSabotage::Reentrancy:
        // The event arrives while A1 is still busy with one before it.
        EditMachine(M, [](TMachineSnapshot& S) { S.Automata[A1].FBusy = true; });
        M.Image1Click();
        break;
    case TSabotage::EmptyMessage:
        M.WriteLog("");
        break;
    case TSabotage::CountNotShown:
        EditMachine(M, [](TMachineSnapshot& S) { S.FDisplays.edUser = S.FUserTokens + 1; });
        break;
    case TSabotage::CounterfeitHidden:
        EditMachine(M, [](TMachineSnapshot& S) { S.FDisplays.iBadCoin = false; });
        break;
    case TSabotage::BarrelBetweenSymbols:
        M.SetFrameIndex(1, 41);
        break;
    case TSabotage::SpinTimerStopped:
        M.SetInterval(TimerSync3, 0);
        break;
    }
}

} // namespace

class RobustnessTest : public QObject {
    Q_OBJECT

private:
    quint32 FSeed = 0;

private slots:
    void initTestCase();
    void textFormReadsBack();
    void textFormRejects_data();
    void textFormRejects();
    void shrinkingKeepsWhatFails();
    void checkCatches_data();
    void checkCatches();
    void randomSequences();
    void regressions_data();
    void regressions();
};

void RobustnessTest::initTestCase() {
    FSeed = SeedFromEnvironment();
    qInfo("robustness seed %u (set ROBUSTNESS_SEED to walk other sequences)", FSeed);
}

void RobustnessTest::textFormReadsBack() {
    // The printed form of a failure is pasted into regressions_data: it must mean the same.
    QRandomGenerator Random(FSeed);
    for (int Round = 0; Round < 50; ++Round) {
        QByteArray Bytes(Random.bounded(300), Qt::Uninitialized);
        for (char& Byte : Bytes)
            Byte = static_cast<char>(Random.bounded(256));
        // Some restarts, copies and waits, which take two bytes to say.
        for (int Escape = 0; Escape + 1 < Bytes.size(); Escape += 1 + Random.bounded(20)) {
            Bytes[Escape] = char(255);
            Bytes[Escape + 1] = char(253 + Random.bounded(3));
        }
        const TMachineActions Decoded = DecodeActions(
            {reinterpret_cast<const uint8_t*>(Bytes.constData()), size_t(Bytes.size())});
        const auto Read = ParseActions(ActionsText(Decoded));
        QVERIFY(Read);
        QVERIFY2(*Read == Decoded, qPrintable(ActionsText(Decoded)));
    }
    const QString Every =
        QStringLiteral("coin:1 coin:100 bad play return reset tick:Sync1 tick:Sync2 tick:Sync3 "
                       "tick:B1 tick:B2 tick:B3 tick:Jack toggle:A0.0 toggle:A2.4 frame:1=0 "
                       "frame:3=60 close wait:1 wait:60000 copy");
    QCOMPARE(ActionsText(Parsed(Every)), Every);
    const uint8_t Escapes[] = {255, 255, 255, 254, 255, 253, 0, 255, 253, 255, 255, 251};
    QCOMPARE(ActionsText(DecodeActions(Escapes)),
             QStringLiteral("close copy wait:10 wait:2560 tick:Jack"));
}

void RobustnessTest::textFormRejects_data() {
    QTest::addColumn<QString>("text");
    for (const char* Text : {"coin:0", "coin:101", "coin", "tick:B4", "tick:", "toggle:A3.0",
                             "toggle:A0.5", "frame:0=1", "frame:1=61", "frame:1", "jump", "play:1",
                             "coin:x", "wait:0", "wait:60001", "wait", "copy:1"})
        QTest::newRow(Text) << QString::fromLatin1(Text);
}

void RobustnessTest::textFormRejects() {
    QFETCH(QString, text);
    QVERIFY(!ParseActions(QStringLiteral("play ") + text));
}

void RobustnessTest::shrinkingKeepsWhatFails() {
    // Fails while a counterfeit token comes before a reset; everything else is noise.
    const auto Fails = [](std::span<const TMachineAction> Actions) {
        bool Bad = false;
        for (const TMachineAction& Action : Actions) {
            Bad = Bad || Action == PlayerMove(TPlayerAction::Bad);
            if (Bad && Action == PlayerMove(TPlayerAction::Reset))
                return QStringLiteral("bad then reset");
        }
        return QString();
    };
    QRandomGenerator Random(FSeed);
    TMachineActions Noise;
    for (int Step = 0; Step < 150; ++Step)
        Noise.push_back({TActionKind::Tick, Random.bounded(TimerCount), 0});
    TMachineActions Actions = Noise;
    Actions.insert(Actions.begin() + Random.bounded(70), PlayerMove(TPlayerAction::Bad));
    Actions.insert(Actions.begin() + 80 + Random.bounded(70), PlayerMove(TPlayerAction::Reset));
    QCOMPARE(ActionsText(Shrink(Actions, Fails)), QStringLiteral("bad reset"));
    QCOMPARE(Shrink(Noise, Fails), Noise); // what passes stays as it is
}

void RobustnessTest::checkCatches_data() {
    QTest::addColumn<QString>("before");
    QTest::addColumn<int>("sabotage");
    QTest::addColumn<QString>("broken");
    const QString Spinning = QStringLiteral("coin:1 play play");
    const QString Paying =
        QStringLiteral("coin:1 play play frame:1=40 tick:B1 frame:2=40 tick:B2 frame:3=40 tick:B3");
    const struct {
        const char* Name;
        QString Before;
        TSabotage What;
        const char* Broken;
    } Rows[] = {
        {"token lost", "", TSabotage::LoseToken, "жетоны не сходятся"},
        {"slot open in a game", Spinning, TSabotage::OpenSlotInGame, "приёмник открыт"},
        {"indicator only", "coin:1", TSabotage::PaintSlotClosed, "индикатор приёмника"},
        {"stop timer of a resting barrel", "", TSabotage::StrayStopTimer,
         "таймер остановки барабана 2"},
        {"pay-out timer in Waiting", "", TSabotage::PayOutTimerInWaiting, "таймер выдачи идёт"},
        {"paying with no timer", Paying, TSabotage::PayOutTimerStopped, "таймер выдачи стоит"},
        {"A1 accepted in Waiting", "", TSabotage::LeaveTrayAccepted, "A0 и A1 не согласны"},
        {"automaton left busy", "", TSabotage::LeaveBusy, "A2 осталось занятым"},
        {"unknown state", "", TSabotage::UnknownState, "A0 в неизвестном состоянии 5"},
        {"error message", "coin:1", TSabotage::ErrorMessage, "error in the protocol: Ошибка"},
        {"reentrancy", "", TSabotage::Reentrancy, "error in the protocol: Ошибка реентерабельн"},
        {"empty message", "play", TSabotage::EmptyMessage, "empty protocol message"},
        {"count not shown", "coin:1", TSabotage::CountNotShown, "поле игрока показывает"},
        {"counterfeit hidden", "coin:1", TSabotage::CounterfeitHidden, "фальшивый жетон скрыт"},
        {"barrel between symbols", "", TSabotage::BarrelBetweenSymbols, "стоит между цифрами"},
        {"third barrel stalls", Spinning, TSabotage::SpinTimerStopped, "таймеры барабанов 110"},
    };
    for (const auto& Row : Rows)
        QTest::newRow(Row.Name) << Row.Before << int(Row.What) << QString::fromUtf8(Row.Broken);
}

void RobustnessTest::checkCatches() {
    QFETCH(QString, before);
    QFETCH(int, sabotage);
    QFETCH(QString, broken);
    TActionInterpreter Interpreter;
    for (const TMachineAction& Action : Parsed(before))
        QCOMPARE(Interpreter.Apply(Action), QString());
    Sabotage(Interpreter.Machine(), static_cast<TSabotage>(sabotage));
    const QString Found = Interpreter.Check();
    QVERIFY2(Found.contains(broken), qPrintable(Found));
}

void RobustnessTest::randomSequences() {
    const int Sequences = SequencesFromEnvironment();
    QRandomGenerator Random(FSeed);
    TActionInterpreter Interpreter;
    QSet<int> Pairs; // states of A0 and A1 seen together
    int Payouts = 0;
    int BankRunsDry = 0;
    QStringList Rows;
    QSet<QString> Seen;
    const auto Started = std::chrono::steady_clock::now();
    for (int Sequence = 0; Sequence < Sequences && Rows.size() < ReportedFailures; ++Sequence) {
        // Drawn while played, so that the actions suit the state the machine is in.
        TMachineActions Actions;
        const int Stake = RandomStake(Random);
        // A high stake needs time to be paid out.
        const int Length = qEnvironmentVariableIsSet("ROBUSTNESS_FULL_LENGTH") ? LongestSequence
                           : Stake > 15
                               ? LongestSequence / 2 + Random.bounded(LongestSequence / 2) + 1
                               : 1 + Random.bounded(LongestSequence);
        QString Broken;
        Interpreter.Open();
        for (int Step = 0; Step < Length && Broken.isEmpty(); ++Step) {
            Actions.push_back(RandomAction(Interpreter, Random, Stake));
            const int Before = Interpreter.Machine().State(A0);
            Broken = Interpreter.Apply(Actions.back());
            const int After = Interpreter.Machine().State(A0);
            Pairs.insert(After * 10 + Interpreter.Machine().State(A1));
            Payouts +=
                Before == TAutomatonSlotMachine::Game && After == TAutomatonSlotMachine::Paying;
            BankRunsDry +=
                Before == TAutomatonSlotMachine::Paying && After == TAutomatonSlotMachine::Error;
        }
        if (Broken.isEmpty() || Seen.contains(FailureKind(Broken)))
            continue;
        Seen.insert(FailureKind(Broken));
        const TMachineActions Short = ShrinkFailure(Actions);
        const TFailure Replayed = TActionInterpreter().Run(Short);
        qWarning("sequence %d broke: %s\n  shrunk to %d actions, failing with: %s", Sequence,
                 qPrintable(Broken), int(Short.size()), qPrintable(Replayed.What));
        Rows << QStringLiteral("    QTest::newRow(\"seed %1 #%2\") << QStringLiteral(\"%3\");")
                    .arg(FSeed)
                    .arg(Sequence)
                    .arg(ActionsText(Short));
    }
    const auto Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    qInfo("%d sequences in %.1f s: %d pay-outs, the bank ran dry %d times", Sequences, Seconds,
          Payouts, BankRunsDry);
    if (!Rows.isEmpty())
        QFAIL(qPrintable(QStringLiteral("broken invariants; rows for regressions_data():\n") +
                         Rows.join(u'\n')));
    // Every pair of states that can occur: a walk that misses one did not test much.
    if (Sequences >= DefaultSequences) {
        QCOMPARE(Pairs, (QSet<int>{0, 11, 20, 32, 30, 40}));
        QVERIFY(BankRunsDry > 0);
    }
}

void RobustnessTest::regressions_data() {
    QTest::addColumn<QString>("actions");
    const QString Sevens =
        QStringLiteral("frame:1=40 tick:B1 frame:2=40 tick:B2 frame:3=40 tick:B3 ");
    // Hand-written: the paths where the accounts and the slot change hands most. Ten tokens on
    // 7 7 7 win 100 of a bank of 60: one token at the stop, 59 ticks, then a tick that finds it
    // empty.
    QTest::newRow("bank runs dry, reset, play on")
        << Times(10, "coin:1") + "play play " + Sevens + Times(60, "tick:Jack") +
               "return reset coin:1 play play tick:B1 tick:B2 tick:B3";
    QTest::newRow("closed while paying")
        << "coin:1 coin:2 play play " + Sevens + "tick:Jack close coin:1 bad return";
    QTest::newRow("closed while spinning") << "coin:1 play play tick:Sync1 tick:B1 close play";
    QTest::newRow("closed in an error") << "bad close coin:1 return";
    QTest::newRow("counterfeit after genuine tokens, returned")
        << "coin:1 coin:2 bad coin:3 reset return coin:1 play";
    QTest::newRow("protocol switched off and on mid-game")
        << "coin:1 toggle:A0.0 toggle:A0.1 toggle:A0.2 play toggle:A2.0 play tick:B1 "
           "toggle:A1.2 toggle:A2.3 toggle:A2.4 tick:B2 toggle:A0.0 frame:3=54 tick:B3 "
           "tick:Jack";
    QTest::newRow("every coin, then play") << Times(50, "coin:1") + "bad play play return";
    // The run hops to a copy in every state of a game; time alone pays out and ends it.
    QTest::newRow("copied at every stage of a game")
        << "coin:1 copy coin:2 play copy play copy wait:300 copy " + Sevens +
               "copy wait:1000 copy wait:5000 copy return copy";
    QTest::newRow("a game in virtual time only") << "coin:1 coin:2 coin:3 play play wait:60000";
    // Found by the random runs and the fuzzer:
    QTest::newRow("an assigned copy keeps its timers' phase")
        << QStringLiteral("coin:1 play wait:57 copy");
}

void RobustnessTest::regressions() {
    QFETCH(QString, actions);
    // Every action must happen, or a row could pass without reaching the state it is about.
    TActionInterpreter Interpreter;
    const TMachineActions Actions = Parsed(actions);
    for (size_t Step = 0; Step < Actions.size(); ++Step) {
        const QString Where =
            QStringLiteral("step %1 (%2)").arg(Step).arg(ActionText(Actions[Step]));
        QVERIFY2(Interpreter.Possible(Actions[Step]), qPrintable(Where + ": cannot happen"));
        const QString Broken = Interpreter.Apply(Actions[Step]);
        QVERIFY2(Broken.isEmpty(), qPrintable(Where + ": " + Broken));
    }
}

QTEST_GUILESS_MAIN(RobustnessTest)
#include "RobustnessTest.moc"
