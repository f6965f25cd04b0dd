#include "cli/Trace.h"
#include "cli/Cli.h"
#include "cli/Replay.h"
#include "sessions/Script.h"
#include "sessions/Session.h"
#include "slotmachine/Machine.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <map>
#include <sstream>

using namespace sm;

namespace {

// A step as the replay's protocol shows it.
struct TShownStep {
    int Automaton = 0, Event = 0, From = 0, To = -1, Depth = 0, Target = -1;
    QString Sender, Stamp;
    QStringList Messages;
};

// The steps read from the protocol alone: a start message opens a step, its finish closes it, and
// every message between belongs to the innermost open one. The start and finish switches must be
// on. An input's own event is the player's or a timer's, known by the event.
QList<TShownStep> StepsOfProtocol(const QString& Protocol) {
    static const QRegularExpression Start(QStringLiteral(
        R"(^Автомат A(\d) ".*" запущен в состоянии (-?\d+) ".*" с событием e(\d+) )"));
    static const QRegularExpression Change(
        QStringLiteral(R"(^Автомат A(\d) ".*" перешел из состояния -?\d+ в состояние (-?\d+)$)"));
    static const QRegularExpression Finish(QStringLiteral(
        R"(^Автомат A(\d) ".*" завершил обработку события e\d+ ".*" в состоянии (-?\d+) )"));
    const std::map<int, QString> Outside = {{10, "player"}, {1, "player"},   {2, "player"},
                                            {3, "player"},  {22, "TimerB1"}, {23, "TimerB2"},
                                            {5, "TimerB3"}, {6, "JackTimer"}};
    QList<TShownStep> Steps;
    QList<qsizetype> Open;
    const QStringList Lines = Protocol.split(u'\n');
    for (qsizetype Index = 0; Index + 1 < Lines.size(); ++Index) {
        if (Lines[Index].isEmpty() || Lines[Index].startsWith(u"==="))
            continue;
        const QString& Stamp = Lines[Index];
        const QString& Message = Lines[++Index];
        if (const auto Match = Start.match(Message); Match.hasMatch()) {
            TShownStep Step;
            Step.Automaton = Match.captured(1).toInt();
            Step.Event = Match.captured(3).toInt();
            Step.From = Match.captured(2).toInt();
            Step.Depth = int(Open.size());
            Step.Sender = Open.isEmpty() ? Outside.at(Step.Event)
                                         : QStringLiteral("A%1").arg(Steps[Open.last()].Automaton);
            Step.Stamp = Stamp;
            Open << Steps.size();
            Steps << Step;
        }
        TShownStep& Own = Steps[Open.last()];
        Own.Messages << Message;
        if (const auto Match = Change.match(Message); Match.hasMatch())
            Own.Target = Match.captured(2).toInt();
        if (const auto Match = Finish.match(Message); Match.hasMatch()) {
            Own.To = Match.captured(2).toInt();
            Open.removeLast();
        }
    }
    return Steps;
}

TScript ScriptOf(const QByteArray& Text) {
    const TParsedScript Parsed = ParseScript(Text);
    if (Parsed.Error)
        qFatal("a test script does not parse");
    return Parsed.Script;
}

// Random play the window would take all of, with switches turned on and off but the start and
// finish messages left on.
QByteArray RandomScript(quint32 Seed) {
    QRandomGenerator Random(Seed);
    const quint32 MachineSeed = Random.bounded(1000);
    QByteArray Text = "seed " + QByteArray::number(MachineSeed) + '\n';
    TSession Session(TMachine(), MachineSeed);
    const char* const Fixed[] = {"coin", "coin",   "coin",  "play",   "play",
                                 "bad",  "return", "reset", "settle", "show"};
    const char* const Items[] = {"change", "input", "output"};
    for (int Lines = 0; Lines < 150;) {
        const int Kind = Random.bounded(14);
        QByteArray Line;
        if (Kind < 10)
            Line = Fixed[Kind];
        else if (Kind < 13)
            Line = "wait " + QByteArray::number(Random.bounded(Kind == 10 ? 4000 : 300));
        else
            Line = "log A" + QByteArray::number(Random.bounded(3)) + ' ' +
                   Items[Random.bounded(3)] + (Random.bounded(2) ? " on" : " off");
        const TCommand Command = *ScriptOf(Line).Commands.begin();
        if ((Command.Kind == TCommandKind::Settle && !WhyNotSettle(Session.Machine()).isEmpty()) ||
            !Session.Run(Command).isEmpty())
            continue;
        Text += Line + '\n';
        ++Lines;
    }
    return Text;
}

QString Run(const TScript& Script, std::optional<TTraceFormat> Format, TReplayOutcome& Outcome) {
    std::ostringstream Out;
    TReplayOptions Options;
    Options.Locale = QLocale::c();
    Outcome = Format ? Trace(Script, Options, *Format, Out) : Replay(Script, Options, Out);
    return QString::fromStdString(Out.str());
}

template <class T> void CheckRow(const T& Automaton, const QJsonObject& Step, int Target) {
    const int From = Step["from"].toInt();
    if (Step["row"].isNull()) {
        QCOMPARE(Step["to"].toInt(), From);
        QCOMPARE(Target, -1);
        return;
    }
    const auto Row = Automaton.RowTable()[size_t(Step["row"].toInt())];
    QCOMPARE(Row.State, From);
    QCOMPARE(QStringLiteral("e%1").arg(Row.Event), Step["event"].toString());
    if (Target >= 0)
        QCOMPARE(Row.Next, Target);
}

// Every example, then random sessions.
void SessionsData(quint32 RandomSessions = 40) {
    QTest::addColumn<QByteArray>("script");
    const QDir Examples(QStringLiteral(EXAMPLES_DIR));
    for (const QString& Name : Examples.entryList({"*.session"})) {
        QFile File(Examples.filePath(Name));
        QVERIFY(File.open(QIODevice::ReadOnly));
        QTest::newRow(qPrintable(Name)) << File.readAll();
    }
    for (quint32 Seed = 1; Seed <= RandomSessions; ++Seed)
        QTest::newRow(qPrintable(QStringLiteral("random %1").arg(Seed))) << RandomScript(Seed);
}

class TFailingOutput : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize) override {
        errno = ENOSPC;
        return 0;
    }
    int_type overflow(int_type) override { return xsputn(nullptr, 1), traits_type::eof(); }
};

} // namespace

class TraceTest : public QObject {
    Q_OBJECT

private slots:
    void jsonlIsTheProtocolsSteps_data() { SessionsData(); }
    void jsonlIsTheProtocolsSteps();
    void vcdStatesChangeAtTheSteps_data() { SessionsData(); }
    void vcdStatesChangeAtTheSteps();
    void mscgenRendersEveryExample_data() { SessionsData(2); }
    void mscgenRendersEveryExample();
    void failsAsTheReplay_data();
    void failsAsTheReplay();
    void unknownFormatAndFailedWrite();
};

void TraceTest::jsonlIsTheProtocolsSteps() {
    QFETCH(QByteArray, script);
    // The steps are read from the start and finish messages, so those stay on here; the switches
    // change the messages only, which the end of this test checks on the script as it is.
    static const QRegularExpression StartOrFinishOff(
        QStringLiteral(R"(^\s*log A\d (start|finish) off)"), QRegularExpression::MultilineOption);
    const TScript Script = ScriptOf(QString::fromUtf8(script).remove(StartOrFinishOff).toUtf8());
    TReplayOutcome Replayed, Traced;
    const QList<TShownStep> Shown = StepsOfProtocol(Run(Script, std::nullopt, Replayed));
    const QStringList Lines =
        Run(Script, TTraceFormat::Jsonl, Traced).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(Traced.ExitCode, Replayed.ExitCode);
    QCOMPARE(Traced.Line, Replayed.Line);
    QCOMPARE(Lines.size(), Shown.size());
    const TMachine Machine;
    for (qsizetype Index = 0; Index < Lines.size(); ++Index) {
        QJsonParseError Error;
        const QJsonObject Step = QJsonDocument::fromJson(Lines[Index].toUtf8(), &Error).object();
        QVERIFY2(Error.error == QJsonParseError::NoError, qPrintable(Lines[Index]));
        const TShownStep& Expected = Shown[Index];
        const auto Where = qPrintable(QStringLiteral("step %1: %2").arg(Index).arg(Lines[Index]));
        QVERIFY2(Step["automaton"].toInt() == Expected.Automaton &&
                     Step["event"].toString() == QStringLiteral("e%1").arg(Expected.Event) &&
                     Step["from"].toInt() == Expected.From && Step["to"].toInt() == Expected.To &&
                     Step["depth"].toInt() == Expected.Depth &&
                     Step["sender"].toString() == Expected.Sender &&
                     Step["stamp"].toString() == Expected.Stamp,
                 Where);
        QStringList Messages;
        for (const auto& Message : Step["messages"].toArray())
            Messages << Message.toString();
        QCOMPARE(Messages, Expected.Messages);
        if (Expected.Automaton == A0)
            CheckRow(Machine.AutomatonSlotMachine(), Step, Expected.Target);
        else if (Expected.Automaton == A1)
            CheckRow(Machine.AutomatonMoneyTray(), Step, Expected.Target);
        else
            CheckRow(Machine.AutomatonBarrelsEngine(), Step, Expected.Target);
    }

    // The script as it is: the same steps, and together the messages its protocol shows.
    const TScript AsIs = ScriptOf(script);
    const QStringList AsIsLines =
        Run(AsIs, TTraceFormat::Jsonl, Traced).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(AsIsLines.size(), Lines.size());
    QStringList TracedMessages;
    for (qsizetype Index = 0; Index < Lines.size(); ++Index) {
        QJsonObject Step = QJsonDocument::fromJson(AsIsLines[Index].toUtf8()).object();
        for (const auto& Message : Step.take("messages").toArray())
            TracedMessages << Message.toString();
        QJsonObject Switched = QJsonDocument::fromJson(Lines[Index].toUtf8()).object();
        Switched.remove("messages");
        QCOMPARE(Step, Switched);
    }
    QStringList ShownMessages;
    const QStringList Protocol = Run(AsIs, std::nullopt, Replayed).split(u'\n');
    for (qsizetype Index = 0; Index + 1 < Protocol.size(); ++Index)
        if (!Protocol[Index].isEmpty() && !Protocol[Index].startsWith(u"==="))
            ShownMessages << Protocol[++Index];
    TracedMessages.sort();
    ShownMessages.sort();
    QCOMPARE(TracedMessages, ShownMessages);
}

void TraceTest::vcdStatesChangeAtTheSteps() {
    QFETCH(QByteArray, script);
    const TScript Script = ScriptOf(script);
    TReplayOutcome Outcome;
    // What each automaton's state became at each moment, by the jsonl: its last step's "to".
    std::map<QString, std::map<int64_t, int>> Expected;
    std::map<QString, int> Before = {{"A0", 0}, {"A1", 0}, {"A2", 0}};
    for (const QString& Line :
         Run(Script, TTraceFormat::Jsonl, Outcome).split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject Step = QJsonDocument::fromJson(Line.toUtf8()).object();
        Expected[QStringLiteral("A%1").arg(Step["automaton"].toInt())][Step["t"].toInteger()] =
            Step["to"].toInt();
    }
    std::map<QString, std::vector<std::pair<int64_t, int>>> Changes;
    for (auto& [Name, AtMoments] : Expected)
        for (const auto& [Moment, State] : AtMoments)
            if (State != std::exchange(Before[Name], State))
                Changes[Name].emplace_back(Moment, State);

    // The dump, read back: declarations, then moments and values.
    std::map<QString, QString> Codes;
    std::map<QString, std::map<int64_t, int>> Dumped;
    int64_t Moment = -1;
    bool Defined = false;
    for (const QString& Line :
         Run(Script, TTraceFormat::Vcd, Outcome).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList Words = Line.split(u' ');
        if (Words[0] == u"$var") {
            QCOMPARE(Words.size(), 6);
            Codes[Words[3]] = Words[4];
        } else if (Words[0] == u"$enddefinitions") {
            Defined = true;
        } else if (Line.startsWith(u'#')) {
            QVERIFY2(Line.mid(1).toLongLong() > Moment, qPrintable(Line));
            Moment = Line.mid(1).toLongLong();
        } else if (Defined && Line.startsWith(u'b')) {
            QVERIFY2(Codes.contains(Words.value(1)), qPrintable(Line));
            bool Binary = false;
            Dumped[Codes[Words[1]]][Moment] = Words[0].mid(1).toInt(&Binary, 2);
            QVERIFY(Binary);
        } else if (Defined && (Line[0] == u'0' || Line[0] == u'1')) {
            QVERIFY2(Codes.contains(Line.mid(1)), qPrintable(Line));
        }
    }
    QVERIFY(Defined);
    for (const QString Name : {"A0", "A1", "A2"}) {
        std::vector<std::pair<int64_t, int>> Changed;
        int Last = 0;
        for (const auto& [At, State] : Dumped[Name])
            if (At > 0 || State != Last)
                if (State != std::exchange(Last, State))
                    Changed.emplace_back(At, State);
        QVERIFY2(Changed == Changes[Name], qPrintable(Name));
    }
}

void TraceTest::mscgenRendersEveryExample() {
    QFETCH(QByteArray, script);
    const QString Mscgen = QStandardPaths::findExecutable(QStringLiteral("mscgen"));
    if (Mscgen.isEmpty())
        QSKIP("mscgen is not installed");
    TReplayOutcome Outcome;
    const QString Chart = Run(ScriptOf(script), TTraceFormat::Msc, Outcome);
    QTemporaryDir Folder;
    QProcess Process;
    Process.start(Mscgen, {"-T", "svg", "-i", "-", "-o", Folder.filePath("chart.svg")});
    Process.write(Chart.toUtf8());
    Process.closeWriteChannel();
    QVERIFY(Process.waitForFinished(60000));
    QVERIFY2(Process.exitCode() == 0, Process.readAllStandardError().constData());
    QVERIFY(QFileInfo(Folder.filePath("chart.svg")).size() > 0);
}

void TraceTest::failsAsTheReplay_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("a bad line") << QByteArray("coin\nfly\n") << QStringList{"-"};
    QTest::newRow("refused") << QByteArray("coin\n").repeated(51) << QStringList{"-"};
    QTest::newRow("no file") << QByteArray() << QStringList{"/nonexistent/x.session"};
    QTest::newRow("bad locale") << QByteArray() << QStringList{"--locale", "xx_YY", "-"};
    QTest::newRow("two files") << QByteArray() << QStringList{"a", "b"};
}

void TraceTest::failsAsTheReplay() {
    QFETCH(QByteArray, script);
    QFETCH(QStringList, arguments);
    std::map<QString, std::pair<int, QString>> Ends;
    for (const QString Command : {"replay", "trace"}) {
        std::istringstream In(script.toStdString());
        std::ostringstream Out, Err;
        const int Code = RunCli(QStringList{Command} + arguments, In, Out, Err);
        Ends[Command] = {
            Code, QString::fromStdString(Err.str()).replace(Command, QStringLiteral("КОМАНДА"))};
    }
    QVERIFY(Ends["trace"].first != 0);
    QCOMPARE(Ends["trace"], Ends["replay"]);
}

void TraceTest::unknownFormatAndFailedWrite() {
    std::istringstream In("coin\n");
    std::ostringstream Out, Err;
    QCOMPARE(RunCli({"trace", "--format", "svg"}, In, Out, Err), int(ExitUsage));
    QVERIFY2(QString::fromStdString(Err.str()).contains("«svg»: есть jsonl, msc и vcd"),
             Err.str().c_str());
    for (const char* Format : {"jsonl", "msc", "vcd"}) {
        std::istringstream Script("coin\nplay\n");
        TFailingOutput Full;
        std::ostream Failing(&Full);
        std::ostringstream Why;
        QCOMPARE(RunCli({"trace", "--format", Format}, Script, Failing, Why), int(ExitOutput));
        QVERIFY2(QString::fromStdString(Why.str()).contains("не удаётся записать"),
                 Why.str().c_str());
    }
}

QTEST_GUILESS_MAIN(TraceTest)
#include "TraceTest.moc"
