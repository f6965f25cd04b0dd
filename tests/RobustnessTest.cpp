#include "tests/ActionInterpreter.h"

#include "slotmachine/Protocol.h"
#include "slotmachine/atmSlotMachine.h"
#include "window/FormMain.h"

#include <QRandomGenerator>
#include <QSet>
#include <QTest>

#include <algorithm>
#include <chrono>

namespace {

// About ten seconds as a test: a window costs 2 ms to open and close, 7 ms under the sanitizers,
// which also make each action some ten times slower. ROBUSTNESS_SEQUENCES asks for more (the
// robustness-full target runs 10,000).
#if defined(__SANITIZE_ADDRESS__)
#define ROBUSTNESS_SANITIZED
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ROBUSTNESS_SANITIZED
#endif
#endif
#ifdef ROBUSTNESS_SANITIZED
constexpr int DefaultSequences = 500;
#else
constexpr int DefaultSequences = 3000;
#endif
constexpr int LongestSequence = 200;
// Distinct broken invariants shrunk and printed before the run gives up.
constexpr int ReportedFailures = 5;

quint32 SeedFromEnvironment() {
    bool Ok = false;
    const quint32 Seed = qEnvironmentVariable("ROBUSTNESS_SEED").toUInt(&Ok);
    return Ok ? Seed : QRandomGenerator::global()->generate();
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
        return Random.bounded(61);
    static constexpr int Snap[] = {60, 7, 14, 21, 27, 34, 40, 47, 54};
    return Random.bounded(3) == 0 ? 40 : Snap[Random.bounded(9)];
}

// The stake a player aims at in one sequence: mostly small, sometimes high enough that a win
// empties the bank.
int RandomStake(QRandomGenerator& Random) {
    const int Kind = Random.bounded(10);
    return Kind < 5   ? 1 + Random.bounded(3)
           : Kind < 8 ? 4 + Random.bounded(12)
                      : 16 + Random.bounded(35);
}

// An action that can happen now, weighted so that games start, end and pay out often.
TMachineAction RandomAction(TActionInterpreter& Interpreter, QRandomGenerator& Random, int Stake) {
    const TSlotMachine& M = Interpreter.Machine();
    const int A0 = M.FAutomatonSlotMachine->FState;
    if (A0 == TAutomatonSlotMachine::Paying && Random.bounded(100) < 90)
        return {TActionKind::Tick, 6, 0};
    const int Coins = M.edUser->text().toInt();
    if ((A0 == TAutomatonSlotMachine::Waiting || A0 == TAutomatonSlotMachine::Accepting) &&
        Coins > 0 && M.FStake < Stake && Random.bounded(100) < 90)
        return {TActionKind::Coin, 1 + Random.bounded(std::min(Coins, TSlotMachine::TokenImages)),
                0};
    for (int Attempt = 0; Attempt < 50; ++Attempt) {
        const int Pick = Random.bounded(1000);
        TMachineAction Action;
        if (Pick < 220)
            Action = {TActionKind::Coin, 1 + Random.bounded(TSlotMachine::TokenImages), 0};
        else if (Pick < 235)
            Action = {TActionKind::BadCoin, 0, 0};
        else if (Pick < 385)
            Action = {TActionKind::Play, 0, 0};
        else if (Pick < 445)
            Action = {TActionKind::Return, 0, 0};
        else if (Pick < 485)
            Action = {TActionKind::Reset, 0, 0};
        else if (Pick < 515)
            Action = {TActionKind::Toggle, Random.bounded(15), 0};
        else if (Pick < 665)
            Action = {TActionKind::Frame, 1 + Random.bounded(3), RandomFrame(Random)};
        else if (Pick < 670)
            Action = {TActionKind::Close, 0, 0};
        else
            Action = {TActionKind::Tick, Random.bounded(7), 0};
        if (Interpreter.Possible(Action))
            return Action;
    }
    return {TActionKind::Play, 0, 0};
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
    HalfMessage,
    MessageWithoutBlankLine,
    ErrorMessage,
    CountNotShown,
    CoinHidden,
    BarrelBetweenSymbols,
    SpinTimerStopped,
};

void Sabotage(TSlotMachine& M, TSabotage What) {
    switch (What) {
    case TSabotage::LoseToken:
        --M.FBank;
        break;
    case TSabotage::OpenSlotInGame:
        M.SetTrayOpen(true);
        break;
    case TSabotage::PaintSlotClosed:
        M.Shape1->SetBrushStyle(TBrushStyle::bsDiagCross);
        break;
    case TSabotage::StrayStopTimer:
        M.TimerB2->SetInterval(1000);
        break;
    case TSabotage::PayOutTimerInWaiting:
        M.JackTimer->SetInterval(250);
        break;
    case TSabotage::PayOutTimerStopped:
        M.JackTimer->SetInterval(0);
        break;
    case TSabotage::LeaveTrayAccepted:
        M.FAutomatonMoneyTray->FState = TAutomatonMoneyTray::Accepted;
        break;
    case TSabotage::LeaveBusy:
        M.FAutomatonBarrelsEngine->FBusy = true;
        break;
    case TSabotage::HalfMessage:
        M.Log->AppendLine(QStringLiteral("01.01.2024 12:00:00:"));
        M.Log->AppendLine(QStringLiteral("message"));
        break;
    case TSabotage::MessageWithoutBlankLine:
        M.Log->AppendLine(QStringLiteral("01.01.2024 12:00:00:"));
        M.Log->AppendLine(QStringLiteral("message"));
        M.Log->AppendLine(QStringLiteral("more"));
        break;
    case TSabotage::ErrorMessage:
        WriteProtocol(*M.Log, "Ошибка реентерабельности в автомате A1");
        break;
    case TSabotage::CountNotShown:
        M.edUser->ShowNumber(M.FUserTokens + 1);
        break;
    case TSabotage::CoinHidden:
        M.Image(1)->hide();
        break;
    case TSabotage::BarrelBetweenSymbols:
        M.Barrel1->SetFrameIndex(41);
        break;
    case TSabotage::SpinTimerStopped:
        M.TimerSync3->SetInterval(0);
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
    qInfo("robustness seed %u (set ROBUSTNESS_SEED to repeat)", FSeed);
}

void RobustnessTest::textFormReadsBack() {
    // The printed form of a failure is pasted into regressions_data: it must mean the same.
    QRandomGenerator Random(FSeed);
    for (int Round = 0; Round < 50; ++Round) {
        QByteArray Bytes(Random.bounded(300), Qt::Uninitialized);
        for (char& Byte : Bytes)
            Byte = static_cast<char>(Random.bounded(256));
        const TMachineActions Decoded = DecodeActions(
            {reinterpret_cast<const uint8_t*>(Bytes.constData()), size_t(Bytes.size())});
        const auto Read = ParseActions(ActionsText(Decoded));
        QVERIFY(Read);
        QVERIFY2(*Read == Decoded, qPrintable(ActionsText(Decoded)));
    }
    const QString Every = QStringLiteral("coin:1 coin:100 bad play return reset tick:Sync1 "
                                         "tick:Sync2 tick:Sync3 tick:B1 tick:B2 tick:B3 tick:Jack "
                                         "toggle:A0.0 toggle:A2.4 frame:1=0 frame:3=60 close");
    QCOMPARE(ActionsText(Parsed(Every)), Every);
}

void RobustnessTest::textFormRejects_data() {
    QTest::addColumn<QString>("text");
    for (const char* Text :
         {"coin:0", "coin:101", "coin", "tick:B4", "tick:", "toggle:A3.0", "toggle:A0.5",
          "frame:0=1", "frame:1=61", "frame:1", "jump", "play:1", "coin:x"})
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
            Bad = Bad || Action.Kind == TActionKind::BadCoin;
            if (Bad && Action.Kind == TActionKind::Reset)
                return QStringLiteral("bad then reset");
        }
        return QString();
    };
    QRandomGenerator Random(FSeed);
    TMachineActions Noise;
    for (int Step = 0; Step < 150; ++Step)
        Noise.push_back({TActionKind::Tick, Random.bounded(7), 0});
    TMachineActions Actions = Noise;
    Actions.insert(Actions.begin() + Random.bounded(70), {TActionKind::BadCoin, 0, 0});
    Actions.insert(Actions.begin() + 80 + Random.bounded(70), {TActionKind::Reset, 0, 0});
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
    QTest::newRow("token lost") << "" << int(TSabotage::LoseToken) << "tokens";
    QTest::newRow("slot open in a game")
        << Spinning << int(TSabotage::OpenSlotInGame) << "slot open";
    QTest::newRow("indicator only")
        << "coin:1" << int(TSabotage::PaintSlotClosed) << "slot indicator";
    QTest::newRow("stop timer of a resting barrel")
        << "" << int(TSabotage::StrayStopTimer) << "stop timer of barrel 2";
    QTest::newRow("pay-out timer in Waiting")
        << "" << int(TSabotage::PayOutTimerInWaiting) << "pay-out timer runs";
    QTest::newRow("paying with no timer")
        << Paying << int(TSabotage::PayOutTimerStopped) << "pay-out timer stopped";
    QTest::newRow("A1 accepted in Waiting")
        << "" << int(TSabotage::LeaveTrayAccepted) << "A1 in state";
    QTest::newRow("automaton left busy") << "" << int(TSabotage::LeaveBusy) << "A2 is left busy";
    QTest::newRow("message cut short") << "play" << int(TSabotage::HalfMessage) << "cut short";
    QTest::newRow("no blank line") << "" << int(TSabotage::MessageWithoutBlankLine) << "not empty";
    QTest::newRow("error message") << "coin:1" << int(TSabotage::ErrorMessage) << "error in the";
    QTest::newRow("count not shown")
        << "coin:1" << int(TSabotage::CountNotShown) << "player's count";
    QTest::newRow("coin hidden") << "" << int(TSabotage::CoinHidden) << "coin 1 hidden";
    QTest::newRow("barrel between symbols")
        << "" << int(TSabotage::BarrelBetweenSymbols) << "between symbols";
    QTest::newRow("third barrel stalls")
        << Spinning << int(TSabotage::SpinTimerStopped) << "barrel timers 110";
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
        const int Length = Stake > 15
                               ? LongestSequence / 2 + Random.bounded(LongestSequence / 2) + 1
                               : 1 + Random.bounded(LongestSequence);
        QString Broken;
        Interpreter.Open();
        for (int Step = 0; Step < Length && Broken.isEmpty(); ++Step) {
            Actions.push_back(RandomAction(Interpreter, Random, Stake));
            const int Before = Interpreter.Machine().FAutomatonSlotMachine->FState;
            Broken = Interpreter.Apply(Actions.back());
            const TSlotMachine& M = Interpreter.Machine();
            const int After = M.FAutomatonSlotMachine->FState;
            Pairs.insert(After * 10 + M.FAutomatonMoneyTray->FState);
            Payouts +=
                Before == TAutomatonSlotMachine::Game && After == TAutomatonSlotMachine::Paying;
            BankRunsDry +=
                Before == TAutomatonSlotMachine::Paying && After == TAutomatonSlotMachine::Error;
        }
        if (Broken.isEmpty())
            Broken = Interpreter.Close();
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
    if (Sequences >= DefaultSequences)
        QCOMPARE(Pairs, (QSet<int>{0, 11, 20, 32, 30, 40}));
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
    // Found by the random runs and the fuzzer: (none so far)
}

void RobustnessTest::regressions() {
    QFETCH(QString, actions);
    // Every action must happen, or a row could pass without reaching the state it is about.
    TActionInterpreter Interpreter;
    Interpreter.Open();
    const TMachineActions Actions = Parsed(actions);
    for (size_t Step = 0; Step < Actions.size(); ++Step) {
        const QString Where =
            QStringLiteral("step %1 (%2)").arg(Step).arg(ActionText(Actions[Step]));
        QVERIFY2(Interpreter.Possible(Actions[Step]), qPrintable(Where + ": cannot happen"));
        const QString Broken = Interpreter.Apply(Actions[Step]);
        QVERIFY2(Broken.isEmpty(), qPrintable(Where + ": " + Broken));
    }
    const QString Broken = Interpreter.Close();
    QVERIFY2(Broken.isEmpty(), qPrintable("closing: " + Broken));
}

QTEST_MAIN(RobustnessTest)
#include "RobustnessTest.moc"
