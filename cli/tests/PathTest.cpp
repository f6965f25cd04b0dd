#include "cli/Cli.h"
#include "cli/Exit.h"
#include "sessions/Explore.h"
#include "sessions/Session.h"
#include "sessions/WayThere.h"
#include "tests/MachineEdit.h"

#include <QTest>

#include <sstream>

using namespace sm;

namespace {

int64_t CountOf(const TCoverageCounts& Counts, const TTarget& Target) {
    const TAutomatonCoverage& Each = Counts.at(static_cast<size_t>(Target.Automaton));
    return (Target.IsRow ? Each.Rows : Each.States).at(static_cast<size_t>(Target.Index));
}

// Plays the script's commands on the time; whether its last command, and no command refused
// before it, takes the target. A script with no commands takes a state it starts in.
bool LastTakes(TVirtualTime& Time, const TScript& Script, const TTarget& Target) {
    TInputDoor Door(Time);
    TCoverage Counted(Time.Machine());
    int64_t Before = CountOf(Counted.Counts(), Target);
    bool Any = false;
    for (const TCommand& Command : Script.Commands) {
        Before = CountOf(Counted.Counts(), Target);
        if (!RunCommand(Door, Command).isEmpty())
            return false;
        Any = true;
    }
    if (!Any)
        return !Target.IsRow && Time.Machine()
                                        .AutomatonsDispatcher()
                                        .FAutomata.at(static_cast<size_t>(Target.Automaton))
                                        ->FState == Target.Index;
    return CountOf(Counted.Counts(), Target) > Before;
}

// Whether some session of at most Moves player's moves takes the target, on the real machine
// with a few seeds: after each move, the player may act again at once or after any number of
// the stop and pay-out timers that come due.
bool SomeSessionTakes(const TMachine& StartUp, const TTarget& Target, int Moves) {
    for (uint32_t Seed = 0; Seed < 4; ++Seed) {
        TVirtualTime Start(StartUp);
        Start.Machine().Seed(Seed);
        std::vector<TVirtualTime> Layer{Start};
        for (int Move = 0; Move < Moves; ++Move) {
            std::vector<TVirtualTime> Next;
            for (const TVirtualTime& From : Layer)
                for (const TPlayerAction Action : PlayerActions) {
                    if (!CanTake(From.Machine(), Action))
                        continue;
                    TVirtualTime Time(From);
                    TCoverage Counted(Time.Machine());
                    const int64_t Before = CountOf(Counted.Counts(), Target);
                    TInputDoor Door(Time);
                    Door.Take(Action);
                    Next.push_back(Time);
                    for (int Events = 0; Events < 64 && Time.FireNextEvent(); ++Events)
                        Next.push_back(Time);
                    if (CountOf(Counted.Counts(), Target) > Before)
                        return true;
                }
            Layer = std::move(Next);
        }
    }
    return false;
}

struct TRun {
    int Code;
    QString Out;
    QString Err;
};

TRun Run(const QStringList& Arguments, const QByteArray& In = {}) {
    std::istringstream Input(In.toStdString());
    std::ostringstream Out;
    std::ostringstream Err;
    const int Code = RunCli(Arguments, Input, Out, Err);
    return {Code, QString::fromStdString(Out.str()), QString::fromStdString(Err.str())};
}

} // namespace

class PathTest : public QObject {
    Q_OBJECT

private slots:
    void everyReachableTarget_data();
    void everyReachableTarget();
    void fromSession();
    void unknownAndUnreachable();
};

// Every row and state that the explorer finds reachable, by the name the companion takes.
void PathTest::everyReachableTarget_data() {
    QTest::addColumn<int>("automaton");
    QTest::addColumn<bool>("isRow");
    QTest::addColumn<int>("index");
    const TMachine StartUp;
    const TReachable Reachable = ReachableOf(Explore(StartUp));
    for (int32_t A = A0; A <= A2; ++A) {
        for (size_t Row = 0; Row < Reachable.Rows[A].size(); ++Row)
            if (Reachable.Rows[A][Row])
                QTest::newRow(qPrintable(RowTarget(StartUp, A, static_cast<int>(Row))))
                    << A << true << static_cast<int>(Row);
        for (size_t State = 0; State < Reachable.States[A].size(); ++State)
            if (Reachable.States[A][State])
                QTest::newRow(qPrintable(StateTarget(A, static_cast<int32_t>(State))))
                    << A << false << static_cast<int>(State);
    }
}

// The printed script, replayed, ends by taking its target, and no session of fewer player's
// moves (up to a small bound) takes it.
void PathTest::everyReachableTarget() {
    QFETCH(int, automaton);
    QFETCH(bool, isRow);
    QFETCH(int, index);
    const TTarget Target{automaton, isRow, index};
    const QString Name = QString::fromUtf8(QTest::currentDataTag());
    const TRun Path = Run({QStringLiteral("path"), Name});
    QCOMPARE(Path.Code, int(ExitOk));
    QVERIFY2(Path.Out.startsWith(QStringLiteral("# путь к %1 (").arg(Name)), qPrintable(Path.Out));
    const TParsedScript Parsed = ParseScript(Path.Out.toUtf8());
    QVERIFY(!Parsed.Error);
    const TMachine StartUp;
    TVirtualTime Time(StartUp);
    Time.Machine().Seed(Parsed.Script.Seed);
    QVERIFY(LastTakes(Time, Parsed.Script, Target));
    int Moves = 0;
    for (const TCommand& Command : Parsed.Script.Commands)
        Moves += Command.Kind == TCommandKind::Player;
    QVERIFY(
        Path.Out.section(u'\n', 0, 0)
            .contains(
                QStringLiteral("ходов игрока %1, время машины %2 мс").arg(Moves).arg(Time.Now())));
    const int Bound = std::min(Moves - 1, 3);
    QVERIFY2(!SomeSessionTakes(StartUp, Target, Bound),
             qPrintable(QStringLiteral("a session of %1 moves takes it").arg(Bound)));
}

// From the end of a session: the session's script with the way appended takes the target.
void PathTest::fromSession() {
    // Mid-spin: the session's own generator decides the digits from here on.
    const QByteArray Session = "seed 5\ncoin\ncoin\ncoin\nplay\nplay\n";
    const TMachine StartUp;
    for (const QString& Name : {QStringLiteral("A0 state 4"), QStringLiteral("A0 row 4 e6 #3"),
                                QStringLiteral("A1 row 1 e12"), QStringLiteral("A0 row 2 e5 #2"),
                                QStringLiteral("A0 row 3 e3")}) {
        const TRun Path = Run(
            {QStringLiteral("path"), Name, QStringLiteral("--from"), QStringLiteral("-")}, Session);
        QCOMPARE(Path.Code, int(ExitOk));
        QVERIFY(
            Path.Out.startsWith(QString::fromUtf8(Session) + QStringLiteral("# путь к ") + Name));
        const TParsedScript Parsed = ParseScript(Path.Out.toUtf8());
        QVERIFY(!Parsed.Error);
        TVirtualTime Time(StartUp);
        Time.Machine().Seed(Parsed.Script.Seed);
        QVERIFY2(LastTakes(Time, Parsed.Script, *ParseTarget(StartUp, Name)), qPrintable(Name));
    }
    // A session the window would refuse: replay's code.
    QCOMPARE(Run({"path", "A0 state 4", "--from", "-"}, "bad\nbad\n").Code, int(ExitRefused));
}

void PathTest::unknownAndUnreachable() {
    const TRun Unknown = Run({"path", "A0", "row", "2", "e5"});
    QCOMPARE(Unknown.Code, int(ExitUsage));
    QVERIFY(Unknown.Err.contains(QStringLiteral("«A0 row 2 e5 #2»")));
    QCOMPARE(Run({"path", "a1 STATE 2"}).Code, int(ExitOk));
    // A guard planted from the row above makes the fake-token row one no session takes.
    std::vector<TRow<TAutomatonMoneyTray>> Rows(TAutomatonMoneyTray::Rows().begin(),
                                                TAutomatonMoneyTray::Rows().end());
    Rows.at(1).Guard = Rows.at(0).Guard;
    TMachine StartUp(TRowTables{{}, Rows, {}});
    EditMachine(StartUp, [](TMachineSnapshot& S) {
        S.FBank = S.FDisplays.edBank = 3;
        S.FUserTokens = S.FDisplays.edUser = 3;
    });
    QVERIFY(!WayFromStartUp(StartUp, *ParseTarget(StartUp, QStringLiteral("A1 row 0 e10 #2"))));
    QVERIFY(!WayFromStartUp(StartUp, *ParseTarget(StartUp, QStringLiteral("A0 row 0 e11 #2"))));
    QVERIFY(WayFromStartUp(StartUp, *ParseTarget(StartUp, QStringLiteral("A1 row 1 e10 #2"))));
}

QTEST_GUILESS_MAIN(PathTest)
#include "PathTest.moc"
