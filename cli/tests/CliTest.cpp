#include "cli/Cli.h"
#include "cli/Odds.h"
#include "cli/Replay.h"
#include "sessions/Explore.h"
#include "sessions/Quoted.h"
#include "sessions/Script.h"
#include "sessions/Session.h"
#include "slotmachine/Invariants.h"
#include "slotmachine/VirtualTime.h"
#include "tests/MachineEdit.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTest>

#include <cerrno>
#include <numeric>
#include <sstream>

using namespace sm;

namespace {

struct TRun {
    int Exit;
    QString Out;
    QString Err;
};

TRun RunCommand(const QStringList& Arguments, const QByteArray& Input = {}) {
    std::istringstream In(Input.toStdString());
    std::ostringstream Out;
    std::ostringstream Err;
    const int Exit = RunCli(Arguments, In, Out, Err);
    return {Exit, QString::fromStdString(Out.str()), QString::fromStdString(Err.str())};
}

// A stream that fails as a file descriptor does: reading throws from below, as libstdc++'s
// filebuf does on a failed read(2); writing fails after Room bytes.
class TFailingBuffer : public std::streambuf {
public:
    TFailingBuffer(int Error, std::streamsize Room) : FError(Error), FRoom(Room) {}
    std::streamsize Taken = 0;

protected:
    int_type underflow() override {
        errno = FError;
        throw std::ios_base::failure("read failed");
    }
    std::streamsize xsputn(const char*, std::streamsize Count) override {
        if (Taken + Count > FRoom) {
            errno = FError;
            return 0;
        }
        Taken += Count;
        return Count;
    }
    int_type overflow(int_type Char) override {
        const char Byte = char(Char);
        return xsputn(&Byte, 1) == 1 ? Char : traits_type::eof();
    }

private:
    int FError;
    std::streamsize FRoom;
};

TScript Parsed(const QByteArray& Text) {
    const TParsedScript Result = ParseScript(Text);
    if (Result.Error)
        qFatal("bad script line %d: %s", Result.Error->Line, qPrintable(Result.Error->Message));
    return Result.Script;
}

// The same automata and rules with fewer tokens: a space small enough for a sanitizer build.
void MakeSmall(TMachine& M) {
    EditMachine(M, [](TMachineSnapshot& S) {
        S.FBank = S.FDisplays.edBank = 3;
        S.FUserTokens = S.FDisplays.edUser = 3;
    });
}

TMachine SmallMachine() {
    TMachine M;
    MakeSmall(M);
    return M;
}

// The small machine with one row of one automaton's table going to another state; the changed
// copy of the table lives as long as the machine.
class TPlantedMachine {
public:
    TPlantedMachine(int32_t Automaton, int Row, int32_t Next)
        : FA0(Planted<TAutomatonSlotMachine>(Automaton == A0, Row, Next)),
          FA1(Planted<TAutomatonMoneyTray>(Automaton == A1, Row, Next)),
          FA2(Planted<TAutomatonBarrelsEngine>(Automaton == A2, Row, Next)),
          Machine(TRowTables{FA0, FA1, FA2}) {
        MakeSmall(Machine);
    }

private:
    template <class T> static std::vector<TRow<T>> Planted(bool Here, int Row, int32_t Next) {
        std::vector<TRow<T>> Copy(T::Rows().begin(), T::Rows().end());
        if (Here)
            Copy.at(static_cast<size_t>(Row)).Next = Next;
        return Copy;
    }

    const std::vector<TRow<TAutomatonSlotMachine>> FA0;
    const std::vector<TRow<TAutomatonMoneyTray>> FA1;
    const std::vector<TRow<TAutomatonBarrelsEngine>> FA2;

public:
    TMachine Machine;
};

class TMessages : public TProtocolSink {
public:
    void Message(const std::string& Text) override { Messages << QString::fromStdString(Text); }
    QStringList Messages;
};

// The same commands as TSession runs them, one timer at a time on TVirtualTime.
QString RunOnVirtualTime(TVirtualTime& Time, const TCommand& Command) {
    TMachine& M = Time.Machine();
    const auto Armed = [&M](std::initializer_list<TTimerId> Timers) {
        for (const TTimerId Timer : Timers)
            if (M.Interval(Timer) != 0)
                return true;
        return false;
    };
    // The window's rules written anew, as an independent model of the replay.
    switch (Command.Kind) {
    case TCommandKind::Player:
        switch (Command.Action) {
        case TPlayerAction::Coin:
            if (M.Displays().edUser < 1)
                return QStringLiteral("refused");
            Time.Do([](TMachine& Each) { Each.Image1Click(); });
            break;
        case TPlayerAction::Bad:
            if (!M.Displays().iBadCoin)
                return QStringLiteral("refused");
            Time.Do([](TMachine& Each) { Each.iBadCoinClick(); });
            break;
        case TPlayerAction::Play:
            Time.Do([](TMachine& Each) { Each.iPlayClick(); });
            break;
        case TPlayerAction::Return:
            Time.Do([](TMachine& Each) { Each.iReturnClick(); });
            break;
        case TPlayerAction::Reset:
            Time.Do([](TMachine& Each) { Each.btnTechResetClick(); });
            break;
        }
        break;
    case TCommandKind::Log:
        Time.Do([&Command](TMachine& Each) {
            Each.SetLogSwitch(Command.Automaton, Command.Item, Command.On);
        });
        break;
    case TCommandKind::Wait: {
        const int64_t Until = Time.Now() + Command.Milliseconds;
        while (Time.NextDue() && *Time.Due(*Time.NextDue()) <= Until)
            Time.FireNext();
        Time.Advance(Until - Time.Now());
        break;
    }
    case TCommandKind::Settle:
        if (Armed({TimerSync1, TimerSync2, TimerSync3}) && !Armed({TimerB1, TimerB2, TimerB3}))
            return QStringLiteral("refused");
        while (Armed({TimerB1, TimerB2, TimerB3, JackTimer}))
            Time.FireNext();
        break;
    case TCommandKind::Show:
        break;
    }
    return {};
}

TCommand RandomCommand(QRandomGenerator& Random) {
    TCommand Command;
    const int Kind = Random.bounded(20);
    if (Kind < 9) {
        Command.Kind = TCommandKind::Player;
        Command.Action = Kind < 5 ? TPlayerAction::Coin : TPlayerAction::Play;
    } else if (Kind < 13) {
        Command.Kind = TCommandKind::Wait;
        Command.Milliseconds = Random.bounded(3) == 0 ? Random.bounded(4000) : Random.bounded(40);
    } else if (Kind < 15) {
        Command.Kind = TCommandKind::Settle;
    } else if (Kind < 18) {
        const TPlayerAction Others[] = {TPlayerAction::Bad, TPlayerAction::Return,
                                        TPlayerAction::Reset};
        Command.Kind = TCommandKind::Player;
        Command.Action = Others[Kind - 15];
    } else {
        Command.Kind = Kind == 18 ? TCommandKind::Log : TCommandKind::Show;
        Command.Automaton = Random.bounded(3);
        Command.Item = TLogItem(Random.bounded(int(LogItems)));
        Command.On = Random.bounded(2) == 0;
    }
    return Command;
}

} // namespace

class CliTest : public QObject {
    Q_OBJECT

private slots:
    void parsesEveryCommand();
    void badLines_data();
    void badLines();
    void replayRefuses_data();
    void replayRefuses();
    void stampsFollowVirtualTime_data();
    void stampsFollowVirtualTime();
    void startLine_data();
    void startLine();
    void sessionMatchesSingleTimers_data();
    void sessionMatchesSingleTimers();
    void exploreHolds();
    void plantedFaultIsFound_data();
    void plantedFaultIsFound();
    void exactOddsByHand();
    void measuredOddsAddUp();
    void commandLine_data();
    void commandLine();
    void edges_data();
    void edges();
    void failingStreams();
    void sameCommandSameBytes();
    void showAndCoinGoByTheWindow();
};

void CliTest::parsesEveryCommand() {
    const TParsedScript Result = ParseScript("\xEF\xBB\xBF# a comment line\r\n"
                                             "show\n"
                                             "seed 4294967295  # the largest\r\n"
                                             "start 2026-12-08T16:00:00.007\n"
                                             "\n"
                                             "\tcoin\n"
                                             "bad\nplay\nreturn\nreset\n"
                                             "log A2 change off\n"
                                             "wait 2147483647\nsettle\nshow");
    QVERIFY(!Result.Error);
    QCOMPARE(Result.Script.Seed, 4294967295u);
    QCOMPARE(StartTimeText(*Result.Script.Start), "2026-12-08T16:00:00.007");
    QStringList Lines;
    for (const TCommand& Command : Result.Script.Commands)
        Lines << QStringLiteral("%1:%2").arg(Command.Line).arg(CommandText(Command));
    QCOMPARE(Lines,
             (QStringList{"2:show", "6:coin", "7:bad", "8:play", "9:return", "10:reset",
                          "11:log A2 change off", "12:wait 2147483647", "13:settle", "14:show"}));
}

void CliTest::badLines_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("message");
    QTest::newRow("unknown") << QByteArray("coin\n  coins") << 2 << 3 << "неизвестная команда";
    QTest::newRow("Cyrillic") << QByteArray("монета") << 1 << 1 << "«монета»";
    QTest::newRow("extra word") << QByteArray("coin 2") << 1 << 6 << "лишнее слово «2»";
    QTest::newRow("wait, no number") << QByteArray("wait # soon") << 1 << 5 << "ожидается";
    QTest::newRow("negative wait") << QByteArray("wait -5") << 1 << 6 << "«-5» — не";
    QTest::newRow("wait too long") << QByteArray("wait 2147483648") << 1 << 6 << "не число";
    QTest::newRow("seed too big") << QByteArray("seed 4294967296") << 1 << 6 << "не зерно";
    QTest::newRow("seed after play") << QByteArray("play\nseed 1") << 2 << 1 << "до первого";
    QTest::newRow("seed twice") << QByteArray("seed 1\nseed 2") << 2 << 1 << "строке 1";
    QTest::newRow("no automaton A3") << QByteArray("log A3 start on") << 1 << 5 << "A3";
    QTest::newRow("unknown item") << QByteArray("log A0 begin on") << 1 << 8 << "begin";
    QTest::newRow("neither on nor off") << QByteArray("log A0 start yes") << 1 << 14 << "yes";
    QTest::newRow("log, missing word") << QByteArray("log A0 start") << 1 << 13 << "ожидается";
    QTest::newRow("other digits") << QByteArray("wait \uFF15") << 1 << 6 << "«５» — не";
    QTest::newRow("tab counts once") << QByteArray("\tshow\tnow") << 1 << 7 << "«now»";
    QTest::newRow("not UTF-8") << QByteArray("show\n\xff\xfe") << 2 << 1 << "UTF-8";
    QTest::newRow("start, no time") << QByteArray("start ") << 1 << 6 << "ожидается время";
    QTest::newRow("start, a blank inside")
        << QByteArray("start 2026-12-08 16:00:00") << 1 << 18 << "лишнее слово «16:00:00»";
    QTest::newRow("start, tenths")
        << QByteArray("start 2026-12-08T16:00:00.5") << 1 << 7 << "не время запуска вида";
    QTest::newRow("start, 31 April")
        << QByteArray("start 2026-04-31T16:00:00") << 1 << 7 << "дня 2026-04-31 в календаре нет";
    QTest::newRow("start, minute 60")
        << QByteArray("  start 2026-04-30T16:60:00.000") << 1 << 20 << "времени суток 16:60:00 нет";
    QTest::newRow("start twice") << QByteArray("start 2026-01-01T00:00:00\nshow\n"
                                               "start 2026-01-01T00:00:00")
                                 << 3 << 1 << "уже задано в строке 1";
    QTest::newRow("start after coin")
        << QByteArray("seed 5\ncoin\nstart 2026-01-01T00:00:00") << 3 << 1 << "(оно в строке 2)";
}

void CliTest::badLines() {
    QFETCH(QByteArray, script);
    QFETCH(int, line);
    QFETCH(int, column);
    QFETCH(QString, message);
    const TParsedScript Result = ParseScript(script);
    QVERIFY(Result.Error);
    QCOMPARE(Result.Error->Line, line);
    QCOMPARE(Result.Error->Column, column);
    QVERIFY2(Result.Error->Message.contains(message), qPrintable(Result.Error->Message));
    // Nothing reaches stdout from a script with a bad line.
    const TRun Run = RunCommand({"replay", "-"}, script);
    QCOMPARE(Run.Exit, int(ExitUsage));
    QVERIFY(Run.Out.isEmpty());
    QVERIFY2(Run.Err.startsWith(QStringLiteral("-:%1:%2: ").arg(line).arg(column)),
             qPrintable(Run.Err));
}

void CliTest::replayRefuses_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("exit");
    QTest::addColumn<int>("line");
    QTest::addColumn<int>("messages"); // written before the refusal
    QTest::newRow("a coin when none is shown")
        << QByteArray("coin\n").repeated(51) << 3 << 51 << 6 + 49 * 2;
    QTest::newRow("the counterfeit token twice") << QByteArray("bad\nbad") << 3 << 2 << 6;
    QTest::newRow("settle with no stop armed") << QByteArray("coin\nplay\nsettle") << 3 << 3 << 15;
    // The window takes these clicks; the machine ignores them.
    QTest::newRow("a coin into the closed slot") << QByteArray("bad\ncoin\nshow") << 0 << 0 << 6;
    QTest::newRow("a switch already so") << QByteArray("log A0 start on\nshow") << 0 << 0 << 0;
}

void CliTest::replayRefuses() {
    QFETCH(QByteArray, script);
    QFETCH(int, exit);
    QFETCH(int, line);
    QFETCH(int, messages);
    const TRun Run = RunCommand({"replay"}, script);
    QCOMPARE(Run.Exit, exit);
    QCOMPARE(Run.Out.count(QStringLiteral("\nАвтомат A")), messages);
    if (exit != 0)
        QVERIFY2(Run.Err.startsWith(QStringLiteral("-:%1: ").arg(line)), qPrintable(Run.Err));
    else
        QVERIFY(Run.Err.isEmpty());
}

void CliTest::stampsFollowVirtualTime_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QStringList>("stamps");
    QTest::newRow("ru_RU") << "ru_RU"
                           << QStringList{"31.12.2026 23:59:59:", "01.01.2027 00:00:00:"};
    QTest::newRow("en_US") << "en_US"
                           << QStringList{"12/31/26 11:59:59 PM:", "1/1/27 12:00:00 AM:"};
}

void CliTest::stampsFollowVirtualTime() {
    QFETCH(QString, locale);
    QFETCH(QStringList, stamps);
    const TRun Run = RunCommand({"replay", "--start", "2026-12-31T23:59:59", "--locale", locale},
                                "play\nwait 999\nreturn\nwait 1\nreset\nshow\n");
    QCOMPARE(Run.Exit, 0);
    const QStringList Lines = Run.Out.split(u'\n');
    // Each message: its stamp, the message, an empty line.
    QCOMPARE(Lines.mid(0, 3), (QStringList{stamps[0], Lines[1], QString()}));
    QCOMPARE(Lines[6], stamps[0]); // 999 ms later, still the same second
    QCOMPARE(Lines[12], stamps[1]);
    QCOMPARE(Lines[18], "=== bank=50 stake=0 win=0 player=50 slot=open barrels=7,7,7 A0=0 A1=0 "
                        "A2=0");
    // The same script and options give the same bytes.
    QCOMPARE(RunCommand({"replay", "--start", "2026-12-31T23:59:59", "--locale", locale},
                        "play\nwait 999\nreturn\nwait 1\nreset\nshow\n")
                 .Out,
             Run.Out);
}

void CliTest::startLine_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QStringList>("stamps"); // of the first message, then after each wait
    const QByteArray Waits = "wait 499\nreturn\nwait 1\nreset\n";
    QTest::newRow("from the script")
        << "start 2026-12-08T16:00:00.000\nplay\n" + Waits << QStringList()
        << QStringList{"08.12.2026 16:00:00:", "08.12.2026 16:00:00:", "08.12.2026 16:00:00:"};
    // The wall clock's second turns half-way through the virtual one.
    QTest::newRow("milliseconds") << "start 2026-12-08T16:00:00.500\nplay\n" + Waits
                                  << QStringList()
                                  << QStringList{"08.12.2026 16:00:00:", "08.12.2026 16:00:00:",
                                                 "08.12.2026 16:00:01:"};
    QTest::newRow("--start goes first")
        << "# shown on another day\nstart 2026-12-08T16:00:00.000\nplay\n" + Waits
        << QStringList{"--start", "2027-03-01T08:00:00.999"}
        << QStringList{"01.03.2027 08:00:00:", "01.03.2027 08:00:01:", "01.03.2027 08:00:01:"};
    QTest::newRow("neither") << "play\n" + Waits << QStringList()
                             << QStringList{"01.01.2000 00:00:00:", "01.01.2000 00:00:00:",
                                            "01.01.2000 00:00:00:"};
}

void CliTest::startLine() {
    QFETCH(QByteArray, script);
    QFETCH(QStringList, options);
    QFETCH(QStringList, stamps);
    const TRun Run = RunCommand(QStringList{"replay", "--locale", "ru_RU"} + options, script);
    QCOMPARE(Run.Exit, 0);
    // Each button writes A0's start and finish, six lines: the start's stamp is every sixth.
    const QStringList Lines = Run.Out.split(u'\n');
    QStringList Stamps;
    for (qsizetype Line = 0; Line + 1 < Lines.size(); Line += 6)
        Stamps << Lines[Line];
    QCOMPARE(Stamps, stamps);
}

void CliTest::sessionMatchesSingleTimers_data() {
    QTest::addColumn<quint32>("seed");
    for (const quint32 Seed : {1u, 2u, 3u, 20261208u})
        QTest::addRow("seed %u", Seed) << Seed;
}

void CliTest::sessionMatchesSingleTimers() {
    // Random commands on both drivers: the same protocol, displays, moment and due times.
    QFETCH(quint32, seed);
    QRandomGenerator Random(seed);
    TSession Fast(TMachine(), seed);
    TVirtualTime Slow(Fast.Machine());
    TMessages FastLog;
    TMessages SlowLog;
    Fast.Machine().SetSink(&FastLog);
    Slow.Machine().SetSink(&SlowLog);
    for (int Step = 0; Step < 400; ++Step) {
        const TCommand Command = RandomCommand(Random);
        const bool Refused = !Fast.Run(Command).isEmpty();
        QCOMPARE(!RunOnVirtualTime(Slow, Command).isEmpty(), Refused);
        const QString Where = QStringLiteral("step %1, %2").arg(Step).arg(CommandText(Command));
        QVERIFY2(FastLog.Messages == SlowLog.Messages, qPrintable(Where));
        QVERIFY2(Fast.Machine().Displays() == Slow.Machine().Displays(), qPrintable(Where));
        QCOMPARE(Fast.Time().Now(), Slow.Now());
        for (int Timer = 0; Timer < TimerCount; ++Timer)
            QCOMPARE(Fast.Time().Due(TTimerId(Timer)), Slow.Due(TTimerId(Timer)));
    }
}

void CliTest::exploreHolds() {
    const TExploreReport Report = Explore(SmallMachine());
    QVERIFY2(!Report.Violation, qPrintable(ReportText(Report, TMachine())));
    // Waiting, Accepting, the game's four, both errors, Paying.
    QCOMPARE(Report.Triples.size(), size_t(8));
    QCOMPARE(Report.Triples.count({4, 0, 0}), size_t(1));
    QVERIFY(Report.Transitions > Report.States);
}

void CliTest::plantedFaultIsFound_data() {
    QTest::addColumn<int>("automaton");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("next");
    QTest::addColumn<QString>("violation");
    QTest::addColumn<QString>("path");
    QTest::newRow("A0 starts a game on the first token")
        << 0 << 0 << int(A0State::Game) << "жетоны не сходятся"
        << "монета";
    QTest::newRow("A1 keeps the stake once it is in the bank")
        << 1 << 5 << int(A1State::Accepted) << "A0 и A1 не согласны"
        << "монета, «Игра»";
    QTest::newRow("A2 goes back to its first stop")
        << 2 << 4 << int(A2State::FirstStopped) << "A2 в состоянии 2"
        << "монета, «Игра», «Игра», остановка барабана 1, остановка барабана 2, остановка "
           "барабана 3";
    QTest::newRow("A2 into a state it does not know")
        << 2 << 1 << 7 << "A2 в неизвестном состоянии 7"
        << "монета, «Игра», «Игра», остановка барабана 1";
    // Only a win pays out: the stops must land as the script's waits land them.
    QTest::newRow("A0 waits again while paying out")
        << 0 << 5 << int(A0State::Waiting) << "таймер выдачи идёт при A0 в состоянии 0"
        << "монета, «Игра», «Игра», остановка барабана 1, остановка барабана 2, остановка "
           "барабана 3 (на барабанах 1 1 1)";
    // The reset leaves the error of an empty bank where it was: no invariant breaks, but a win
    // of 5 with 4 tokens in the bank is a dead end as soon as it is won.
    QTest::newRow("reset keeps the error")
        << 0 << 8 << int(A0State::Error) << "тупик: из состояния (A0, A1, A2) = (4, 0, 0)"
        << "монета, «Игра», «Игра», остановка барабана 1, остановка барабана 2, остановка "
           "барабана 3 (на барабанах 1 1 1)";
}

void CliTest::plantedFaultIsFound() {
    QFETCH(int, automaton);
    QFETCH(int, row);
    QFETCH(int, next);
    QFETCH(QString, violation);
    QFETCH(QString, path);
    const TPlantedMachine Planted(automaton, row, next);
    const TMachine& M = Planted.Machine;
    const TExploreReport Report = Explore(M);
    QVERIFY(Report.Violation);
    const TViolation& Found = *Report.Violation;
    QVERIFY2(Found.What.startsWith(violation) || Found.What.contains(violation),
             qPrintable(Found.What));
    QStringList Steps;
    for (const TExploreStep& Step : Found.Path)
        Steps << StepText(Step);
    QCOMPARE(Steps.join(QStringLiteral(", ")), path);
    // Real time allows each of these paths: the script walks it on the faulty machine.
    QVERIFY2(!Found.Script.isEmpty(), qPrintable(ReportText(Report, M)));
    QVERIFY(Found.Script.startsWith(QStringLiteral("seed %1\n").arg(Found.Seed)));
    std::ostringstream Out;
    const TReplayOutcome Outcome = Replay(Parsed(Found.Script.toUtf8()), {}, Out, M);
    QVERIFY2(Outcome.ExitCode != ExitRefused, qPrintable(Outcome.Error));
    QVERIFY(ReportText(Report, M).contains(QStringLiteral("НАРУШЕНИЕ: ") + Found.What));
    // Where the digits matter, the replay gets there too: the explorer fired each stop as a
    // wait does, with the spin ticks due at its very millisecond.
    if (Found.Path.back().Symbols[0] == 0)
        return;
    static const QRegularExpression DeadEnd(QStringLiteral("= \\((\\d), (\\d), (\\d)\\)"));
    if (const QRegularExpressionMatch Dead = DeadEnd.match(Found.What); Dead.hasMatch()) {
        QVERIFY(QString::fromStdString(Out.str()).contains(
            QStringLiteral("A0=%1 A1=%2 A2=%3")
                .arg(Dead.captured(1), Dead.captured(2), Dead.captured(3))));
        return;
    }
    TSession Session(M, Found.Seed);
    for (const TCommand& Command : Parsed(Found.Script.toUtf8()).Commands)
        Session.Run(Command);
    QCOMPARE(CheckInvariants(Session.Machine(), M.Bank() + M.UserTokens() + M.Stake()), Found.What);
}

void CliTest::exactOddsByHand() {
    const TExactOdds Odds = ExactOdds({1, 50});
    QCOMPARE(Odds.Frames, 60);
    // Frames 57..60 and 1..3 show the 1, 4..10 the 2, 11..16 the 3, and so on.
    for (const TDigitCounts& Barrel : Odds.DigitFrames)
        QCOMPARE(Barrel, (TDigitCounts{0, 7, 7, 6, 7, 7, 7, 6, 6, 7}));
    QCOMPARE(Odds.Triples, int64_t(216000));
    // n = 7 7 6 7 7 7 6 6 7 frames per digit: 60 in all, sum of n^2 = 402, of n^3 = 2706.
    const int64_t Frames = 60;
    const int64_t Squares = 402;
    const int64_t Cubes = 2706;
    const int64_t Seven = 7; // frames of the 1, 2, 4, 5, 6 and 9
    const int64_t Six = 6;   // frames of the 3, 7 and 8
    const int64_t AllDistinct = Frames * Frames * Frames - 3 * Squares * Frames + 2 * Cubes;
    // A first digit with n frames, then two digits distinct from it and from each other.
    const auto Distinct = [&](int64_t N) {
        return (Frames - N) * (Frames - N) - (Squares - N * N);
    };
    const QList<std::pair<TRule, int64_t>> Hand = {
        {{10, 0}, Six * Six * Six}, // 7 7 7
        // 1 2 3, 2 3 4 and 3 4 5; 6 7 8; 4 5 1
        {{7, 0}, 3 * Seven * Seven * Six + Seven * Six * Six + Seven * Seven * Seven},
        {{5, 0}, Cubes - Six * Six * Six},                        // alike, not 7 7 7
        {{4, 0}, Frames * Frames * Frames - AllDistinct - Cubes}, // two alike
        {{1, 1}, Six * Distinct(Six)},                            // a 7 first
        // 1, 3, 5 or 9 first, but not 1 2 3 or 3 4 5
        {{0, 1},
         Seven * (Distinct(Seven) - Seven * Six) + Six * (Distinct(Six) - Seven * Seven) +
             2 * Seven * Distinct(Seven)},
    };
    int64_t Paid = 0;
    for (const auto& [Rule, Triples] : Hand) {
        const auto Found = std::find(Odds.Rules.begin(), Odds.Rules.end(), Rule);
        QVERIFY(Found != Odds.Rules.end());
        QCOMPARE(Odds.RuleTriples[size_t(Found - Odds.Rules.begin())], Triples);
        Paid += Triples;
    }
    QCOMPARE(Odds.RuleTriples.back(), 216000 - Paid); // nothing won: the rest
    QCOMPARE(Odds.Rules.back(), (TRule{0, 0}));
    // Stake 1: 10*216 + 7*1477 + 5*2490 + 4*64242 + 2*15300 + 66288 = 378805 of 216000.
    QCOMPARE(Odds.Returns[0].Won, int64_t(378805));
    QCOMPARE(Odds.Returns[0].Staked, int64_t(216000));
    // Stake 50: the rule paying S + 1 gives 51 where 1 was 2.
    QCOMPARE(Odds.Returns[1].Won, int64_t(50 * (378805 - 66288 - 2 * 15300) + 51 * 15300 + 66288));
    QCOMPARE(Odds.Returns[1].Staked, int64_t(216000 * 50));
    QCOMPARE(Odds.Returns[1].Share(), double(Odds.Returns[1].Won) / (216000.0 * 50));
}

void CliTest::measuredOddsAddUp() {
    const TExactOdds Exact = ExactOdds({2});
    const TMeasuredOdds First = MeasureOdds(TMachine(), Exact, 3000, 2, 7);
    QCOMPARE(std::accumulate(First.RuleGames.begin(), First.RuleGames.end(), int64_t(0)),
             int64_t(3000));
    QCOMPARE(First.RuleGames.back(), int64_t(0)); // every win follows a rule
    for (const TDigitCounts& Barrel : First.Digits)
        QCOMPARE(std::accumulate(Barrel.begin(), Barrel.end(), int64_t(0)), int64_t(3000));
    QVERIFY(First.Low < First.Return && First.Return < First.High);
    const TMeasuredOdds Again = MeasureOdds(TMachine(), Exact, 3000, 2, 7);
    QCOMPARE(Again.RuleGames, First.RuleGames);
    QCOMPARE(Again.Return, First.Return);
    const QString Text = OddsText(Exact, First);
    QVERIFY(Text.contains(QStringLiteral("1. Точно")) &&
            Text.contains(QStringLiteral("2. Измерено")));
}

void CliTest::commandLine_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("said"); // on stdout for 0, on stderr otherwise
    QTest::newRow("nothing") << QStringList{} << 2 << "Использование";
    QTest::newRow("help") << QStringList{"--help"} << 0
                          << "проверить\n                   инварианты после каждого шага\n"
                             "  odds             точные";
    QTest::newRow("help odds") << QStringList{"help", "odds"} << 0 << "--games";
    QTest::newRow("replay help") << QStringList{"replay", "-h"} << 0 << "settle";
    QTest::newRow("version") << QStringList{"--version"} << 0 << "slotmachine-cli 1.";
    QTest::newRow("unknown command")
        << QStringList{"play"} << 2 << "«play»: есть replay, explore, odds, diagram, trace и path";
    QTest::newRow("unknown option") << QStringList{"replay", "--speed", "2"} << 2 << "--speed";
    QTest::newRow("start, no value") << QStringList{"replay", "--start"} << 2 << "нет значения";
    QTest::newRow("start with a zone")
        << QStringList{"replay", "--start=2026-01-01T09:00:00Z"} << 2 << "не время";
    QTest::newRow("no 30 February")
        << QStringList{"replay", "--start", "2026-02-30T09:00:00"} << 2 << "не время";
    QTest::newRow("unknown locale") << QStringList{"replay", "--locale", "xx_YY"} << 2 << "xx_YY";
    QTest::newRow("no such file") << QStringList{"replay", "/nonexistent/a.session"} << 2
                                  << "не удаётся открыть";
    QTest::newRow("a folder") << QStringList{"replay", "/"} << 2 << "папка";
    QTest::newRow("two files") << QStringList{"replay", "a", "b"} << 2 << "один сценарий";
    QTest::newRow("explore, a word") << QStringList{"explore", "now"} << 2 << "«now»";
    QTest::newRow("no games") << QStringList{"odds", "--games", "0"} << 2
                              << "от 1 до 100000000\nСправка: slotmachine-cli odds --help\n";
    QTest::newRow("games with a sign") << QStringList{"odds", "--games", "+500"} << 2 << "«+500»";
    QTest::newRow("stake above the coins") << QStringList{"odds", "--stake=51"} << 2 << "51";
    QTest::newRow("seed, not a number") << QStringList{"odds", "--seed", "-1"} << 2 << "«-1»";
    QTest::newRow("odds") << QStringList{"odds", "--games", "500", "--stake", "20"} << 0
                          << "S = 20:";
    QTest::newRow("diagram") << QStringList{"diagram"} << 0 << "digraph \"automata\" {";
    QTest::newRow("one diagram") << QStringList{"diagram", "--format", "dot", "A1"} << 0
                                 << "digraph \"A1\" {";
    QTest::newRow("one as SVG") << QStringList{"diagram", "--format=svg", "a2"} << 0
                                << "A2 Игровые барабаны</text>";
    QTest::newRow("diagram help") << QStringList{"help", "diagram"} << 0 << "--format dot|svg";
    QTest::newRow("unknown format")
        << QStringList{"diagram", "--format", "png"} << 2
        << "«png»: есть dot и svg\nСправка: slotmachine-cli diagram --help\n";
    QTest::newRow("format, no value") << QStringList{"diagram", "--format"} << 2 << "нет значения";
    QTest::newRow("unknown automaton") << QStringList{"diagram", "A3"} << 2 << "«A3»";
    QTest::newRow("two automata") << QStringList{"diagram", "A0", "A1"} << 2 << "«A1»";
    QTest::newRow("trace help") << QStringList{"help", "trace"} << 0 << "--format msc";
    QTest::newRow("unknown trace format")
        << QStringList{"trace", "--format", "png"} << 2
        << "«png»: есть jsonl, msc, vcd и svg\nСправка: slotmachine-cli trace --help\n";
}

void CliTest::commandLine() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exit);
    QFETCH(QString, said);
    const TRun Run = RunCommand(arguments);
    QCOMPARE(Run.Exit, exit);
    QVERIFY2((exit == 0 ? Run.Out : Run.Err).contains(said), qPrintable(Run.Out + Run.Err));
    if (exit != 0)
        QVERIFY(Run.Out.isEmpty());
}

void CliTest::edges_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exit");
    QTest::addColumn<QString>("said"); // on stdout for 0, on stderr otherwise
    QTest::newRow("no hour 25") << QStringList{"replay", "--start", "2026-01-01T25:00:00"}
                                << QByteArray() << 2 << "времени суток 25:00:00 нет";
    QTest::newRow("no 29 February 2023") << QStringList{"replay", "--start=2023-02-29T00:00:00"}
                                         << QByteArray() << 2 << "дня 2023-02-29 в календаре нет";
    QTest::newRow("C.UTF-8 as LANG has it")
        << QStringList{"replay", "--locale", "C.UTF-8"} << QByteArray("show") << 0 << "===";
    QTest::newRow("ru_RU.UTF-8") << QStringList{"replay", "--locale", "ru_RU.UTF-8"}
                                 << QByteArray("reset") << 0 << "01.01.2000 00:00:00:";
    QTest::newRow("coverage is a flag")
        << QStringList{"replay", "--coverage=yes"} << QByteArray() << 2 << "не берёт значения";
    QTest::newRow("no territory XX")
        << QStringList{"replay", "--locale", "ru_XX"} << QByteArray() << 2 << "«ru_XX»";
    QTest::newRow("an option twice") << QStringList{"odds", "--games=5", "--games", "6"}
                                     << QByteArray() << 2 << "«--games» задан дважды";
    QTest::newRow("a word after help COMMAND")
        << QStringList{"help", "odds", "now"} << QByteArray() << 2 << "лишнее слово «now»";
    QTest::newRow("an escape sequence escaped")
        << QStringList{"replay"} << QByteArray("co\x1b[31m\0in", 10) << 2 << "«co\\x1b[31m\\x00in»";
    QTest::newRow("a long word cut") << QStringList{"replay"} << QByteArray(1 << 20, 'w') << 2
                                     << "«" + QString(QuotedLength, u'w') + "…» (обрезано";
    QTest::newRow("a name that is not UTF-8")
        << QStringList{"replay", TextOfBytes("/nonexistent/\xff.session")} << QByteArray() << 2
        << "«/nonexistent/\\xff.session»: нет такого файла или папки";
    QTest::newRow("a lower-case automaton")
        << QStringList{"replay"} << QByteArray("log a0 start off\ncoin") << 0 << "";
    // One game claims no interval; a hundred do, and none below 0 %.
    QTest::newRow("one game") << QStringList{"odds", "--games", "1"} << QByteArray() << 0
                              << "мало игр (нужно не меньше 100)\nТочное значение: ";
    QTest::newRow("a hundred games") << QStringList{"odds", "--games", "100", "--stake", "50"}
                                     << QByteArray() << 0 << "95 % интервал от ";
}

void CliTest::edges() {
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(int, exit);
    QFETCH(QString, said);
    const TRun Run = RunCommand(arguments, input);
    QCOMPARE(Run.Exit, exit);
    QVERIFY2((exit == 0 ? Run.Out : Run.Err).contains(said), qPrintable(Run.Out + Run.Err));
    // Whatever the user typed, a message stays short, one language and free of control bytes.
    QVERIFY2(Run.Err.size() < 400, qPrintable(Run.Err.left(400)));
    QVERIFY(!Run.Err.contains(QChar(0x1b)) && !Run.Err.contains(QChar(0)));
    QVERIFY(!Run.Out.contains(QStringLiteral("от -")) && !Run.Out.contains(u'−'));
}

void CliTest::failingStreams() {
    // Standard input that cannot be read: a folder, as the system says when read(2) fails.
    TFailingBuffer Folder(EISDIR, 0);
    std::istream In(&Folder);
    std::ostringstream Out;
    std::ostringstream Err;
    QCOMPARE(RunCli({"replay"}, In, Out, Err), int(ExitUsage));
    QVERIFY2(QString::fromStdString(Err.str()).contains("стандартный ввод: это папка"),
             Err.str().c_str());
    // A full disk: the help, and replays and a trace of 100,000 games or shows stopped in their
    // first megabyte.
    const std::pair<const char*, QByteArray> Runs[] = {
        {"--help", {}},
        {"replay", QByteArray("coin\nplay\nplay\nsettle\nreturn\n").repeated(100'000)},
        {"replay", QByteArray("show\n").repeated(100'000)},
        {"trace", QByteArray("coin\nplay\nplay\nsettle\nreturn\n").repeated(100'000)}};
    for (const auto& [Command, Text] : Runs) {
        TFailingBuffer Full(ENOSPC, 1000);
        std::ostream FullOut(&Full);
        std::istringstream Script(Text.toStdString());
        std::ostringstream Said;
        QCOMPARE(RunCli({Command}, Script, FullOut, Said), int(ExitOutput));
        const QString Message = QString::fromStdString(Said.str());
        QVERIFY2(Message.contains("стандартный вывод: на диске нет места"), qPrintable(Message));
        const int Line = QRegularExpression(QStringLiteral("на строке (\\d+)"))
                             .match(Message)
                             .captured(1)
                             .toInt();
        QVERIFY2(Text.isEmpty() || (Line > 0 && Line < 100'000), qPrintable(Message));
    }
}

void CliTest::sameCommandSameBytes() {
    // Run times, which differ from run to run, go to stderr.
    const TRun Odds = RunCommand({"odds", "--games", "300"});
    QVERIFY(!Odds.Out.contains(QStringLiteral("Время")));
    QVERIFY(Odds.Err.startsWith(QStringLiteral("Время счёта: ")));
    const TExploreReport Report = Explore(SmallMachine());
    QVERIFY(ReportText(Report, TMachine()).contains(QStringLiteral("Не различаются:\n  кадры")));
    QVERIFY(!ReportText(Report, TMachine()).contains(QStringLiteral("время")));
}

void CliTest::showAndCoinGoByTheWindow() {
    // After a win's first token, the player's account is a token ahead of the field for 250 ms.
    for (uint32_t Seed = 0; Seed < 20; ++Seed) {
        TMachine StartUp;
        EditMachine(StartUp, [](TMachineSnapshot& S) { S.FUserTokens = S.FDisplays.edUser = 1; });
        TSession Session(StartUp, Seed);
        for (const TPlayerAction Action :
             {TPlayerAction::Coin, TPlayerAction::Play, TPlayerAction::Play})
            QCOMPARE(Session.Run({TCommandKind::Player, Action}), QString());
        while (Session.Machine().State(A2) != TAutomatonBarrelsEngine::Stopped)
            Session.Time().FireNextEvent();
        if (Session.Machine().UserTokens() == 0)
            continue; // no win with this seed
        QVERIFY2(Session.ShowLine().contains(QStringLiteral(" player=0 ")),
                 qPrintable(Session.ShowLine()));
        QVERIFY(!Session.Run({TCommandKind::Player, TPlayerAction::Coin}).isEmpty());
        TCommand Wait{TCommandKind::Wait};
        Wait.Milliseconds = 250;
        Session.Run(Wait);
        QVERIFY(!Session.ShowLine().contains(QStringLiteral(" player=0 ")));
        QCOMPARE(Session.Run({TCommandKind::Player, TPlayerAction::Coin}), QString());
        return;
    }
    QFAIL("no seed won");
}

QTEST_GUILESS_MAIN(CliTest)
#include "CliTest.moc"
