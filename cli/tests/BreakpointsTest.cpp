#include "sessions/Breakpoints.h"
#include "cli/Replay.h"
#include "sessions/Coverage.h"

#include <QRandomGenerator>
#include <QTest>

#include <sstream>

using namespace sm;

Q_DECLARE_METATYPE(std::vector<int>)

namespace {

// Random lines that the window would take, so that the session runs to its end.
QByteArray RandomScript(quint32 Seed) {
    QRandomGenerator Random(Seed);
    const char* const Words[] = {"coin",   "coin",  "coin",   "bad",      "play",     "play",
                                 "return", "reset", "settle", "wait 300", "wait 2000"};
    TSession Session(TMachine(), Seed);
    QByteArray Script = "seed " + QByteArray::number(Seed) + '\n';
    for (int Line = 0; Line < 300; ++Line) {
        const QByteArray Word = Words[Random.bounded(int(std::size(Words)))];
        if (Session.Run(*ParseScript(Word).Script.Commands.begin()).isEmpty())
            Script += Word + '\n';
    }
    return Script;
}

// Every step with the values the machine holds right after it, and how many steps there were
// when each input ended.
class TStepLog final : public TStepListener {
public:
    explicit TStepLog(TMachine& Machine) : FMachine(Machine) { Machine.AddStepListener(this); }
    ~TStepLog() override { FMachine.RemoveStepListener(this); }
    TStepLog(const TStepLog&) = delete;
    TStepLog& operator=(const TStepLog&) = delete;

    struct TEntry {
        TStep Step;
        std::array<int64_t, 7> Values; // bank, stake, win, player, A0, A1, A2
    };
    std::vector<TEntry> Steps;
    std::vector<size_t> InputEnds;

private:
    void EventReceived(const TAutomaton&, int32_t) override {}
    void EventHandled(const TAutomaton&, int32_t) override {}
    void StepTaken(const TStep& Step) override {
        Steps.push_back({Step,
                         {FMachine.Bank(), FMachine.Stake(), FMachine.JackPot(),
                          FMachine.UserTokens(), FMachine.Automaton(A0).FState,
                          FMachine.Automaton(A1).FState, FMachine.Automaton(A2).FState}});
    }
    void Message(const std::string&) override {}
    void InputHandled() noexcept override { InputEnds.push_back(Steps.size()); }

    TMachine& FMachine;
};

} // namespace

class BreakpointsTest : public QObject {
    Q_OBJECT

private slots:
    void hitWhereTheStepsSay_data();
    void hitWhereTheStepsSay();
    void badLinesRefused_data();
    void badLinesRefused();
    void replayShowsEveryHit_data();
    void replayShowsEveryHit();
};

// The steps to hit are told apart from the breakpoint's words: a state by the automaton and the
// state it goes to from another, an event by the automaton and the event, a row by the automaton,
// from, event and to (no two rows of one state and event lead to the same state). The condition:
// the value's place in the step log, a sign (0 =, 1 !=, 2 <, 3 >=) and a number, or none.
void BreakpointsTest::hitWhereTheStepsSay_data() {
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<std::vector<int>>("step");
    QTest::addColumn<std::vector<int>>("condition");
    QTest::addColumn<quint32>("seed");
    const struct {
        const char* Name;
        const char* Words;
        bool Enabled;
        const char* Kind;
        std::vector<int> Step;
        std::vector<int> Condition;
    } Rows[] = {
        {"state", "A1 state 2", true, "state", {1, 2}, {}},
        {"state, back to itself not entered", "A0 state 4", true, "state", {0, 4}, {}},
        {"state if bank", "A0 state 0 if bank >= 53", true, "state", {0, 0}, {0, 3, 53}},
        {"event", "A0 event e5", true, "event", {0, 5}, {}},
        {"event taking no row", "A1 event e2", true, "event", {1, 2}, {}},
        {"event if a state", "A0 event e11 if A1 = 2", true, "event", {0, 11}, {5, 0, 2}},
        {"row", "A0 row 2 e5 #2", true, "row", {0, 2, 5, 0}, {}},
        {"row to itself", "A0 row 4 e6 #1", true, "row", {0, 4, 6, 4}, {}},
        {"row if player", "A1 row 1 e12 if player < 45", true, "row", {1, 1, 12, 0}, {3, 2, 45}},
        {"row if win", "A0 row 4 e6 #1 if win >= 2", true, "row", {0, 4, 6, 4}, {2, 3, 2}},
        {"disabled", "A1 state 2", false, "state", {1, 2}, {}},
    };
    for (const auto& Row : Rows)
        for (quint32 Seed = 1; Seed <= 4; ++Seed)
            QTest::addRow("%s, session %u", Row.Name, Seed)
                << QString::fromLatin1(Row.Words) << Row.Enabled << QString::fromLatin1(Row.Kind)
                << Row.Step << Row.Condition << Seed;
}

void BreakpointsTest::hitWhereTheStepsSay() {
    QFETCH(QString, words);
    QFETCH(bool, enabled);
    QFETCH(QString, kind);
    QFETCH(std::vector<int>, step);
    QFETCH(std::vector<int>, condition);
    QFETCH(quint32, seed);
    const TParsedScript Parsed = ParseScript(RandomScript(seed));
    QVERIFY(!Parsed.Error);

    TSession Session(TMachine(), Parsed.Script.Seed);
    TStepLog Log(Session.Machine());
    TBreakpoints Breakpoints(Session.Machine());
    QString Problem;
    int At = 0;
    const auto Breakpoint = ParseBreakpoint(Session.Machine(), words, Problem, At);
    QVERIFY2(Breakpoint, qPrintable(Problem));
    Breakpoints.List().push_back(*Breakpoint);
    Breakpoints.List().back().Enabled = enabled;
    // Where each hit was told: the steps taken by then.
    std::vector<size_t> Told;
    Breakpoints.OnHit = [&](const std::vector<size_t>& Hit) {
        for (const size_t Index : Hit) {
            QCOMPARE(Index, size_t{0});
            Told.push_back(Log.Steps.size());
        }
    };
    for (const TCommand& Command : Parsed.Script.Commands)
        QVERIFY(Session.Run(Command).isEmpty());

    std::vector<size_t> Expected;
    size_t Matching = 0;
    for (size_t Index = 0; Index < Log.Steps.size(); ++Index) {
        const auto& [Step, Values] = Log.Steps[Index];
        bool Is = Step.Automaton == step[0];
        if (kind == u"state")
            Is = Is && Step.To == step[1] && Step.From != Step.To;
        else if (kind == u"event")
            Is = Is && Step.Event == step[1];
        else
            Is = Is && Step.Row >= 0 && Step.From == step[1] && Step.Event == step[2] &&
                 Step.To == step[3];
        if (!Is)
            continue;
        ++Matching;
        if (!condition.empty()) {
            const int64_t Value = Values.at(static_cast<size_t>(condition[0]));
            const bool Holds = std::array{Value == condition[2], Value != condition[2],
                                          Value < condition[2], Value >= condition[2]}
                                   .at(static_cast<size_t>(condition[1]));
            if (!Holds)
                continue;
        }
        // Told once the input is over: at the first input end after the step.
        if (enabled)
            Expected.push_back(
                *std::upper_bound(Log.InputEnds.begin(), Log.InputEnds.end(), Index));
    }
    QVERIFY2(Matching > 0, "the session never takes such a step: a test with nothing to test");
    QCOMPARE(Told, Expected);
    QCOMPARE(Breakpoints.List().back().Hits, static_cast<int64_t>(Expected.size()));
}

void BreakpointsTest::badLinesRefused_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::newRow("no target") << QByteArray("coin\nbreak\n") << 2 << 6;
    QTest::newRow("no automaton") << QByteArray("break A3 state 1") << 1 << 7;
    QTest::newRow("no such kind") << QByteArray("break A0 stat 1") << 1 << 10;
    QTest::newRow("no such state") << QByteArray("break  A1 state 3") << 1 << 17;
    QTest::newRow("not an event") << QByteArray("break A0 event 5") << 1 << 16;
    QTest::newRow("no such row") << QByteArray("break A2 row 0 e5") << 1 << 16;
    QTest::newRow("rows with guards, none picked") << QByteArray("break A0 row 2 e5") << 1 << 18;
    QTest::newRow("rows with guards, past the last")
        << QByteArray("break A0 row 2 e5 #3") << 1 << 19;
    QTest::newRow("words after the target") << QByteArray("break A1 state 2 bank") << 1 << 18;
    QTest::newRow("no such value") << QByteArray("break A1 state 2 if money = 0") << 1 << 21;
    QTest::newRow("no sign") << QByteArray("break A1 state 2 if bank 0") << 1 << 26;
    QTest::newRow("not a number") << QByteArray("break A1 state 2 if bank=x") << 1 << 26;
    QTest::newRow("no number") << QByteArray("break A1 state 2 if bank =") << 1 << 27;
    QTest::newRow("dangling and") << QByteArray("break A1 state 2 if A0=1 and") << 1 << 29;
    QTest::newRow("or") << QByteArray("break A1 state 2 if A0=1 or A0=2") << 1 << 26;
}

void BreakpointsTest::badLinesRefused() {
    QFETCH(QByteArray, script);
    QFETCH(int, line);
    QFETCH(int, column);
    const TParsedScript Parsed = ParseScript(script);
    QVERIFY(Parsed.Error);
    QCOMPARE(Parsed.Error->Line, line);
    QCOMPARE(Parsed.Error->Column, column);
    QVERIFY(!Parsed.Error->Message.isEmpty());
}

// The break blocks come right after the protocol of the input that hit; without them the
// protocol is the same as with no breakpoint. Stopping ends the output with the first block.
void BreakpointsTest::replayShowsEveryHit_data() {
    QTest::addColumn<QByteArray>("breaks");
    QTest::addColumn<bool>("stop");
    QTest::addColumn<QStringList>("hits"); // the block lines, in order
    const QByteArray Game = "seed 3\ncoin\ncoin\nplay\nplay\nsettle\nbad\nreturn\nshow\n";
    QTest::newRow("each hit") << QByteArray("break A2 state 0\nbreak A1 event e10\n") + Game
                              << false
                              << QStringList{"A1 event e10", "A1 event e10", "A2 state 0",
                                             "A1 event e10"};
    QTest::newRow("a condition") << QByteArray("break A1 event e10 if stake >= 2\n") + Game << false
                                 << QStringList{"A1 event e10 if stake >= 2"};
    QTest::newRow("stop at the first")
        << QByteArray("break A1 event e10 if stake = 2\nbreak A0 state 2\n") + Game << true
        << QStringList{"A1 event e10 if stake = 2"};
    QTest::newRow("a hit in the middle of a settle")
        << QByteArray("break A2 row 2 e23\n") + Game << true << QStringList{"A2 row 2 e23"};
}

void BreakpointsTest::replayShowsEveryHit() {
    QFETCH(QByteArray, breaks);
    QFETCH(bool, stop);
    QFETCH(QStringList, hits);
    const TParsedScript Parsed = ParseScript(breaks);
    QVERIFY(!Parsed.Error);
    TScript Plain = ParseScript(breaks).Script;
    Plain.Breakpoints.clear();
    TReplayOptions Options;
    Options.StopAtBreak = stop;
    Options.Coverage = true;
    std::ostringstream Out, PlainOut;
    const TReplayOutcome Outcome = Replay(Parsed.Script, Options, Out);
    QCOMPARE(Outcome.ExitCode, ExitOk);
    QCOMPARE(Replay(Plain, {}, PlainOut).ExitCode, ExitOk);
    QStringList Lines = QString::fromStdString(Out.str()).split(u'\n');
    QStringList PlainLines = QString::fromStdString(PlainOut.str()).split(u'\n');

    if (stop) {
        // The output ends with the block.
        QVERIFY(Lines.size() >= 3);
        QVERIFY(Lines[Lines.size() - 3].startsWith(u"=== break "));
    }
    QStringList Blocks;
    for (qsizetype Index = 0; Index < Lines.size(); ++Index)
        if (Lines[Index].startsWith(u"=== break ")) {
            Blocks << Lines[Index].mid(10);
            QVERIFY(Lines.value(Index + 1).startsWith(u"=== bank="));
            Lines.remove(Index, 2);
            --Index;
        }
    QCOMPARE(Blocks, hits);
    if (!stop) {
        QCOMPARE(Lines, PlainLines);
        return;
    }
    // The coverage up to the end of the input that hit: every step the log saw by then.
    TSession Session(TMachine(), Parsed.Script.Seed);
    TStepLog Log(Session.Machine());
    TBreakpoints Breakpoints(Session.Machine());
    Breakpoints.List() = Parsed.Script.Breakpoints;
    std::optional<size_t> StepsToHit;
    Breakpoints.OnHit = [&](const std::vector<size_t>&) {
        if (!StepsToHit)
            StepsToHit = Log.Steps.size();
    };
    for (const TCommand& Command : Parsed.Script.Commands)
        QVERIFY(Session.Run(Command).isEmpty());
    QVERIFY(StepsToHit);
    TCoverageCounts Counts = StartCounts(TMachine());
    for (size_t Index = 0; Index < *StepsToHit; ++Index)
        CountStep(Counts, Log.Steps[Index].Step);
    QCOMPARE(*Outcome.Coverage, Counts);
    // Stopped: a prefix of the plain protocol ending with the last message of an input.
    Lines.removeLast(); // after the block's own end of line
    QVERIFY(Lines.size() < PlainLines.size());
    QCOMPARE(Lines, PlainLines.first(Lines.size()));
}

QTEST_GUILESS_MAIN(BreakpointsTest)
#include "BreakpointsTest.moc"
