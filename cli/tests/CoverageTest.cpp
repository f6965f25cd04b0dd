#include "sessions/Coverage.h"
#include "cli/Explore.h"
#include "cli/Replay.h"
#include "tests/MachineEdit.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <sstream>

using namespace sm;

namespace {

// Every message the automata write.
class TMessages final : public TProtocolSink {
public:
    void Message(const std::string& Text) override { Lines << QString::fromStdString(Text); }
    QStringList Lines;
};

// The first row of the table from the state on the event into the state; -1 for none.
template <class T> int RowInto(int32_t From, int32_t Event, int32_t To) {
    const auto Rows = T::Rows();
    for (size_t Row = 0; Row < Rows.size(); ++Row)
        if (Rows[Row].State == From && Rows[Row].Event == Event && Rows[Row].Next == To)
            return static_cast<int>(Row);
    return -1;
}

// The counts read from the protocol alone, every switch on (the script's own `log` lines
// dropped: switches change what is written, never a step). No two rows of one state and event
// lead to the same state, so the states before and after a step name its row.
TCoverageCounts CountsFromProtocol(const TScript& Script) {
    TMachine StartUp;
    for (int32_t A = A0; A <= A2; ++A)
        StartUp.SetLogSwitches(A, {true, true, true, true, true});
    TSession Session(StartUp, Script.Seed);
    TMessages Messages;
    Session.Machine().SetSink(&Messages);
    for (const TCommand& Command : Script.Commands)
        if (Command.Kind != TCommandKind::Log && !Session.Run(Command).isEmpty())
            break;
    // Every automaton starts in its state 0.
    TCoverageCounts Counts;
    Counts[A0] = {std::vector<int64_t>(TAutomatonSlotMachine::Rows().size()),
                  std::vector<int64_t>(A0State::StateCount)};
    Counts[A1] = {std::vector<int64_t>(TAutomatonMoneyTray::Rows().size()),
                  std::vector<int64_t>(A1State::StateCount)};
    Counts[A2] = {std::vector<int64_t>(TAutomatonBarrelsEngine::Rows().size()),
                  std::vector<int64_t>(A2State::StateCount)};
    for (auto& Each : Counts)
        Each.States[0] = 1;
    static const QRegularExpression Started(
        QStringLiteral(R"(^Автомат A(\d) .* запущен в )"
                       R"(состоянии (\d+) ".*" с событием e(\d+))"));
    static const QRegularExpression Finished(QStringLiteral(
        R"(^Автомат A(\d) .* завершил обработку события e\d+ .* в состоянии (\d+))"));
    static const QRegularExpression Moved(
        QStringLiteral(R"(^Автомат A(\d) .* перешел из состояния \d+ в состояние (\d+)$)"));
    std::array<std::pair<int32_t, int32_t>, 3> Open{}; // the state and event of a running step
    for (const QString& Line : Messages.Lines) {
        if (const auto Start = Started.match(Line); Start.hasMatch()) {
            Open.at(Start.captured(1).toUInt()) = {Start.captured(2).toInt(),
                                                   Start.captured(3).toInt()};
        } else if (const auto Finish = Finished.match(Line); Finish.hasMatch()) {
            const int32_t A = Finish.captured(1).toInt();
            const auto [From, Event] = Open.at(static_cast<size_t>(A));
            const int32_t To = Finish.captured(2).toInt();
            const int Row = A == A0   ? RowInto<TAutomatonSlotMachine>(From, Event, To)
                            : A == A1 ? RowInto<TAutomatonMoneyTray>(From, Event, To)
                                      : RowInto<TAutomatonBarrelsEngine>(From, Event, To);
            if (Row >= 0)
                ++Counts.at(static_cast<size_t>(A)).Rows.at(static_cast<size_t>(Row));
        } else if (const auto Move = Moved.match(Line); Move.hasMatch()) {
            ++Counts.at(Move.captured(1).toUInt()).States.at(Move.captured(2).toUInt());
        }
    }
    return Counts;
}

// Random lines that the window would take, so that the session runs to its end.
QByteArray RandomScript(quint32 Seed) {
    QRandomGenerator Random(Seed);
    const char* const Words[] = {"coin",   "coin",     "coin",      "bad",
                                 "play",   "play",     "return",    "reset",
                                 "settle", "wait 300", "wait 2000", "log A1 start off"};
    TSession Session(TMachine(), Seed);
    QByteArray Script = "seed " + QByteArray::number(Seed) + '\n';
    for (int Line = 0; Line < 400; ++Line) {
        const QByteArray Word = Words[Random.bounded(int(std::size(Words)))];
        if (Session.Run(*ParseScript(Word).Script.Commands.begin()).isEmpty())
            Script += Word + '\n';
    }
    return Script;
}

// The targets of the rows the search of the machine's space never takes.
QStringList Untaken(const TMachine& StartUp, const TExploreReport& Report) {
    QStringList Targets;
    for (int32_t A = A0; A <= A2; ++A)
        for (size_t Row = 0; Row < Report.RowsTaken[A].size(); ++Row)
            if (!Report.RowsTaken[A][Row])
                Targets << RowTarget(StartUp, A, static_cast<int>(Row));
    return Targets;
}

} // namespace

class CoverageTest : public QObject {
    Q_OBJECT

private slots:
    void countsMatchTheProtocol_data();
    void countsMatchTheProtocol();
    void unreachableRows_data();
    void unreachableRows();
    void targetsNameEveryRowAndState();
};

void CoverageTest::countsMatchTheProtocol_data() {
    QTest::addColumn<QByteArray>("script");
    const QDir Examples(QStringLiteral(SLOTMACHINE_EXAMPLES));
    for (const QString& Name : Examples.entryList({QStringLiteral("*.session")})) {
        QFile File(Examples.filePath(Name));
        QVERIFY(File.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(Name)) << File.readAll();
    }
    QVERIFY(!Examples.entryList({QStringLiteral("*.session")}).isEmpty());
    for (quint32 Seed = 1; Seed <= 12; ++Seed)
        QTest::addRow("random %u", Seed) << RandomScript(Seed);
}

void CoverageTest::countsMatchTheProtocol() {
    QFETCH(QByteArray, script);
    const TParsedScript Parsed = ParseScript(script);
    QVERIFY(!Parsed.Error);
    TReplayOptions Options;
    Options.Coverage = true;
    std::ostringstream Out;
    const TReplayOutcome Outcome = Replay(Parsed.Script, Options, Out);
    QVERIFY(Outcome.Coverage);
    const TCoverageCounts Expected = CountsFromProtocol(Parsed.Script);
    for (size_t A = 0; A < 3; ++A) {
        QCOMPARE(Outcome.Coverage->at(A).Rows, Expected[A].Rows);
        QCOMPARE(Outcome.Coverage->at(A).States, Expected[A].States);
    }
}

// A planted guard copied from the row above makes a row the same as the one tried before it:
// first match wins, so no session takes it.
void CoverageTest::unreachableRows_data() {
    QTest::addColumn<int>("automaton");
    QTest::addColumn<int>("row"); // -1: the table as written
    QTest::addColumn<QStringList>("untaken");
    QTest::newRow("as written") << 0 << -1 << QStringList();
    // A0 then never hears of a fake token in the state it was in.
    QTest::newRow("A1 fake token on an empty tray")
        << 1 << 1 << QStringList{"A0 row 0 e11 #2", "A1 row 0 e10 #2"};
    QTest::newRow("A1 fake token after a good one")
        << 1 << 4 << QStringList{"A0 row 1 e11", "A1 row 1 e10 #2"};
}

void CoverageTest::unreachableRows() {
    QFETCH(int, automaton);
    QFETCH(int, row);
    QFETCH(QStringList, untaken);
    std::vector<TRow<TAutomatonMoneyTray>> Rows(TAutomatonMoneyTray::Rows().begin(),
                                                TAutomatonMoneyTray::Rows().end());
    if (automaton == A1 && row > 0)
        Rows.at(static_cast<size_t>(row)).Guard = Rows.at(static_cast<size_t>(row) - 1).Guard;
    TMachine StartUp(TRowTables{{}, Rows, {}});
    // Fewer tokens: the same rows, a smaller space.
    EditMachine(StartUp, [](TMachineSnapshot& S) {
        S.FBank = S.FDisplays.edBank = 3;
        S.FUserTokens = S.FDisplays.edUser = 3;
    });
    const TExploreReport Report = Explore(StartUp);
    QVERIFY(!Report.Violation);
    QCOMPARE(Untaken(StartUp, Report), untaken);
    // The report marks exactly those, and they are left out of the share.
    const QString Text = CoverageText(StartUp, StartCounts(StartUp), ReachableOf(Report));
    QStringList Marked;
    for (const QString& Line : Text.split(u'\n'))
        if (Line.endsWith(QStringLiteral("недостижим")))
            Marked << Line.section(QStringLiteral("  "), 2, 2).trimmed();
    QCOMPARE(Marked, untaken);
    QVERIFY(Text.contains(QStringLiteral("A0 Игровая машина: 0 из %1 переходов (0 %)")
                              .arg(12 - untaken.filter(QStringLiteral("A0 row")).size())));
}

// Each row and state has its own target, and the words lead back to it.
void CoverageTest::targetsNameEveryRowAndState() {
    const TMachine Machine;
    QSet<QString> Seen;
    for (int32_t A = A0; A <= A2; ++A) {
        const TDiagram Diagram = DiagramOf(Machine, A);
        for (const TDiagramEdge& Edge : Diagram.Edges) {
            const QString Target = RowTarget(Machine, A, Edge.Row);
            QVERIFY2(!Seen.contains(Target), qPrintable(Target));
            Seen.insert(Target);
            QCOMPARE(ParseTarget(Machine, Target.toLower()), (TTarget{A, true, Edge.Row}));
        }
        for (const TDiagramNode& Node : Diagram.Nodes)
            QCOMPARE(ParseTarget(Machine, StateTarget(A, Node.State)),
                     (TTarget{A, false, Node.State}));
    }
    QCOMPARE(RowTarget(Machine, A0, 6), QStringLiteral("A0 row 2 e5 #2"));
    QCOMPARE(RowTarget(Machine, A0, 4), QStringLiteral("A0 row 1 e2"));
    QVERIFY(!ParseTarget(Machine, QStringLiteral("A0 row 2 e5")));
    QVERIFY(!ParseTarget(Machine, QStringLiteral("A1 state 3")));
}

QTEST_GUILESS_MAIN(CoverageTest)
#include "CoverageTest.moc"
