#include "sessions/Coverage.h"
#include "cli/Replay.h"
#include "sessions/Explore.h"
#include "tests/MachineEdit.h"

#include <QDir>
#include <QRandomGenerator>
#include <QRegularExpression>
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

// The counts read from the protocol alone, every switch on (the script's own `log` lines
// dropped: switches change what is written, never a step). No two rows of one state and event
// lead to the same state, so the states before and after a step name its row.
TCoverageCounts CountsFromProtocol(const TScript& Script) {
    TMachine StartUp;
    TCoverageCounts Counts;
    std::array<TDiagram, 3> Diagrams;
    for (int32_t A = A0; A <= A2; ++A) {
        StartUp.SetLogSwitches(A, {true, true, true, true, true});
        Diagrams[A] = DiagramOf(StartUp, A);
        Counts[A] = {std::vector<int64_t>(Diagrams[A].Edges.size()),
                     std::vector<int64_t>(Diagrams[A].Nodes.size())};
        Counts[A].States[0] = 1; // where every automaton starts
    }
    TSession Session(StartUp, Script.Seed);
    TMessages Messages;
    Session.Machine().SetSink(&Messages);
    for (const TCommand& Command : Script.Commands)
        if (Command.Kind != TCommandKind::Log && !Session.Run(Command).isEmpty())
            break;
    static const QRegularExpression Started(
        QStringLiteral(R"(^Автомат A(\d) .* запущен в состоянии (\d+) ".*" с событием e(\d+))"));
    static const QRegularExpression Finished(
        QStringLiteral(R"(^Автомат A(\d) .* завершил обработку .* в состоянии (\d+))"));
    static const QRegularExpression Moved(
        QStringLiteral(R"(^Автомат A(\d) .* перешел из состояния \d+ в состояние (\d+)$)"));
    std::array<std::pair<int32_t, int32_t>, 3> Open{}; // the state and event of a running step
    for (const QString& Line : Messages.Lines) {
        if (const auto Start = Started.match(Line); Start.hasMatch()) {
            Open.at(Start.captured(1).toUInt()) = {Start.captured(2).toInt(),
                                                   Start.captured(3).toInt()};
        } else if (const auto Finish = Finished.match(Line); Finish.hasMatch()) {
            const size_t A = Finish.captured(1).toUInt();
            const auto [From, Event] = Open.at(A);
            for (const TDiagramEdge& Edge : Diagrams.at(A).Edges)
                if (Edge.From == From && Edge.Event == Event &&
                    Edge.To == Finish.captured(2).toInt())
                    ++Counts[A].Rows.at(static_cast<size_t>(Edge.Row));
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

} // namespace

class CoverageTest : public QObject {
    Q_OBJECT

private slots:
    void countsMatchTheProtocol_data();
    void countsMatchTheProtocol();
    void unreachableRows_data();
    void unreachableRows();
};

void CoverageTest::countsMatchTheProtocol_data() {
    QTest::addColumn<QByteArray>("script");
    const QDir Examples(QStringLiteral(SLOTMACHINE_EXAMPLES));
    const QStringList Names = Examples.entryList({QStringLiteral("*.session")});
    QVERIFY(!Names.isEmpty());
    for (const QString& Name : Names) {
        QFile File(Examples.filePath(Name));
        QVERIFY(File.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(Name)) << File.readAll();
    }
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
    QCOMPARE(*Outcome.Coverage, CountsFromProtocol(Parsed.Script));
}

// A planted guard copied from the row above makes a row the same as the one tried before it:
// first match wins, so no session takes it.
void CoverageTest::unreachableRows_data() {
    QTest::addColumn<int>("row"); // of A1; -1: the tables as written
    QTest::addColumn<QStringList>("untaken");
    QTest::newRow("as written") << -1 << QStringList();
    // A0 then never hears of a fake token in the state it was in.
    QTest::newRow("A1 fake token on an empty tray")
        << 1 << QStringList{"A0 row 0 e11 #2", "A1 row 0 e10 #2"};
    QTest::newRow("A1 fake token after a good one")
        << 4 << QStringList{"A0 row 1 e11", "A1 row 1 e10 #2"};
}

void CoverageTest::unreachableRows() {
    QFETCH(int, row);
    QFETCH(QStringList, untaken);
    std::vector<TRow<TAutomatonMoneyTray>> Rows(TAutomatonMoneyTray::Rows().begin(),
                                                TAutomatonMoneyTray::Rows().end());
    if (row > 0)
        Rows.at(static_cast<size_t>(row)).Guard = Rows.at(static_cast<size_t>(row) - 1).Guard;
    TMachine StartUp(TRowTables{{}, Rows, {}});
    // Fewer tokens: the same rows, a smaller space.
    EditMachine(StartUp, [](TMachineSnapshot& S) {
        S.FBank = S.FDisplays.edBank = 3;
        S.FUserTokens = S.FDisplays.edUser = 3;
    });
    const TExploreReport Report = Explore(StartUp);
    QVERIFY(!Report.Violation);
    QStringList Untaken;
    for (int32_t A = A0; A <= A2; ++A)
        for (size_t Row = 0; Row < Report.RowsTaken[A].size(); ++Row) {
            const QString Target = RowTarget(StartUp, A, static_cast<int>(Row));
            if (!Report.RowsTaken[A][Row])
                Untaken << Target;
            // A target's words lead back to its row and to no other.
            QCOMPARE(ParseTarget(StartUp, Target.toLower()),
                     (TTarget{A, true, static_cast<int>(Row)}));
        }
    QCOMPARE(ParseTarget(StartUp, StateTarget(A2, 3)), (TTarget{A2, false, 3}));
    QVERIFY(!ParseTarget(StartUp, QStringLiteral("A0 row 2 e5"))); // which of its two rows?
    QCOMPARE(Untaken, untaken);
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

QTEST_GUILESS_MAIN(CoverageTest)
#include "CoverageTest.moc"
