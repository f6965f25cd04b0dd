#include "cli/Trace.h"
#include "cli/Cli.h"
#include "sessions/Session.h"

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
#include <QXmlStreamReader>

#include <map>
#include <sstream>

using namespace sm;

namespace {

// The steps read from the protocol alone, one line each: a start message opens a step, its finish
// closes it, every message between belongs to the innermost open one. The start and finish
// switches must be on. An input's own event is the player's or a timer's, known by the event.
QStringList StepsOfProtocol(const QString& Protocol, QStringList* AllMessages = nullptr) {
    static const QRegularExpression Start(QStringLiteral(
        R"(^Автомат A(\d) ".*" запущен в состоянии (-?\d+) ".*" с событием e(\d+) )"));
    static const QRegularExpression Finish(QStringLiteral(
        R"(^Автомат A\d ".*" завершил обработку события e\d+ ".*" в состоянии (-?\d+) )"));
    const QMap<QString, QString> Timers = {
        {"22", "TimerB1"}, {"23", "TimerB2"}, {"5", "TimerB3"}, {"6", "JackTimer"}};
    QList<QStringList> Words, Messages;
    QList<qsizetype> Open;
    const QStringList Lines = Protocol.split(u'\n');
    for (qsizetype Index = 0; Index + 1 < Lines.size(); ++Index) {
        if (Lines[Index].isEmpty() || Lines[Index].startsWith(u"==="))
            continue;
        const QString& Stamp = Lines[Index];
        const QString& Message = Lines[++Index];
        if (AllMessages)
            *AllMessages << Message;
        if (const auto Match = Start.match(Message); Match.hasMatch()) {
            const QString Sender =
                Open.isEmpty() ? Timers.value(Match.captured(3), "player") : Words[Open.last()][0];
            Open << Words.size();
            Words << QStringList{"A" + Match.captured(1),
                                 "e" + Match.captured(3),
                                 Match.captured(2),
                                 Sender,
                                 QString::number(Open.size() - 1),
                                 Stamp};
            Messages << QStringList();
        }
        // With a start message off, a message may come with no step open: only AllMessages
        // keeps it.
        if (Open.isEmpty())
            continue;
        Messages[Open.last()] << Message;
        if (const auto Match = Finish.match(Message); Match.hasMatch())
            Words[Open.takeLast()] << Match.captured(1);
    }
    QStringList Steps;
    for (qsizetype Index = 0; Index < Words.size(); ++Index)
        Steps << Words[Index].join(u' ') + (QStringList{""} + Messages[Index]).join(u'|');
    return Steps;
}

// Whether the row a step names could have taken it: its state, its event and its next state.
template <class T> bool RowFits(const T& Automaton, const QJsonObject& Step) {
    if (Step["row"].isNull())
        return Step["from"] == Step["to"];
    const auto& Row = Automaton.RowTable()[size_t(Step["row"].toInt())];
    return Step["from"] == Row.State && Step["event"] == QStringLiteral("e%1").arg(Row.Event) &&
           Step["to"] == Row.Next;
}

// The jsonl as the same lines; a row that could not have taken its step is marked.
QStringList StepsOfTrace(const QString& Jsonl, bool WithMessages = true) {
    const TMachine Machine;
    QStringList Steps;
    for (const QString& Line : Jsonl.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject Step = QJsonDocument::fromJson(Line.toUtf8()).object();
        const int Number = Step["automaton"].toInt();
        const bool Fits = Number == A0   ? RowFits(Machine.AutomatonSlotMachine(), Step)
                          : Number == A1 ? RowFits(Machine.AutomatonMoneyTray(), Step)
                                         : RowFits(Machine.AutomatonBarrelsEngine(), Step);
        QStringList Words = {QStringLiteral("A%1").arg(Number),
                             Step["event"].toString(),
                             QString::number(Step["from"].toInt()),
                             Step["sender"].toString(),
                             QString::number(Step["depth"].toInt()),
                             Step["stamp"].toString(),
                             QString::number(Step["to"].toInt()) + (Fits ? "" : " (row!)")};
        if (WithMessages)
            for (const auto& Message : Step["messages"].toArray())
                Words.last() += u'|' + Message.toString();
        Steps << Words.join(u' ');
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
    for (int Lines = 0; Lines < 150;) {
        const int Kind = Random.bounded(14);
        const QByteArray Line =
            Kind < 10   ? QByteArray(Fixed[Kind])
            : Kind < 13 ? "wait " + QByteArray::number(Random.bounded(Kind == 10 ? 4000 : 300))
                        : "log A" + QByteArray::number(Random.bounded(3)) +
                              QList<QByteArray>{" change", " input", " output"}[Random.bounded(3)] +
                              (Random.bounded(2) ? " on" : " off");
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

// "A1 1500:2" for each moment at which an automaton's state ended other than it began.
QStringList NetChanges(const std::map<QString, std::map<int64_t, int>>& States) {
    QStringList Changes;
    for (const auto& [Name, Moments] : States) {
        int Last = 0; // every automaton starts up in state 0
        for (const auto& [Moment, State] : Moments)
            if (State != std::exchange(Last, State))
                Changes << QStringLiteral("%1 %2:%3").arg(Name).arg(Moment).arg(State);
    }
    return Changes;
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

} // namespace

class TraceTest : public QObject {
    Q_OBJECT

private slots:
    // The jsonl is the protocol's steps; the vcd's states change at them.
    void jsonlAndVcdAreTheProtocolsSteps_data() { SessionsData(); }
    void jsonlAndVcdAreTheProtocolsSteps();
    void mscgenRendersEveryExample_data() { SessionsData(2); }
    void mscgenRendersEveryExample();
    void failsAsTheReplay_data();
    void failsAsTheReplay();
    void svgArrowsAreTheSteps_data() {
        SessionsData(3);
        // Long enough to be drawn in several strips.
        QTest::newRow("30 games") << QByteArray("coin\nplay\nplay\nsettle\nreset\n").repeated(30);
    }
    void svgArrowsAreTheSteps();
};

void TraceTest::jsonlAndVcdAreTheProtocolsSteps() {
    QFETCH(QByteArray, script);
    // The steps are read from the start and finish messages, so those stay on here; the switches
    // change the messages only, which the end of this test checks on the script as it is.
    static const QRegularExpression StartOrFinishOff(
        QStringLiteral(R"(^\s*log A\d (start|finish) off)"), QRegularExpression::MultilineOption);
    const TScript Script = ScriptOf(QString::fromUtf8(script).remove(StartOrFinishOff).toUtf8());
    TReplayOutcome Replayed, Traced;
    const QStringList Shown = StepsOfProtocol(Run(Script, std::nullopt, Replayed));
    const QString Jsonl = Run(Script, TTraceFormat::Jsonl, Traced);
    QCOMPARE(Traced.ExitCode, Replayed.ExitCode);
    QCOMPARE(Traced.Line, Replayed.Line);
    QCOMPARE(StepsOfTrace(Jsonl), Shown);

    const TScript AsIs = ScriptOf(script);
    const QString AsIsJsonl = Run(AsIs, TTraceFormat::Jsonl, Traced);
    QCOMPARE(StepsOfTrace(AsIsJsonl, false), StepsOfTrace(Jsonl, false));
    QStringList ShownMessages, TracedMessages;
    StepsOfProtocol(Run(AsIs, std::nullopt, Replayed), &ShownMessages);
    for (const QString& Step : StepsOfTrace(AsIsJsonl))
        TracedMessages << Step.split(u'|').mid(1);
    ShownMessages.sort();
    TracedMessages.sort();
    QCOMPARE(TracedMessages, ShownMessages);

    // The dump read back: the states' codes, the moments in order, the states' values.
    std::map<QString, std::map<int64_t, int>> Stepped, Dumped;
    for (const QString& Line : AsIsJsonl.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject Step = QJsonDocument::fromJson(Line.toUtf8()).object();
        Stepped[QStringLiteral("A%1").arg(Step["automaton"].toInt())][Step["t"].toInteger()] =
            Step["to"].toInt();
    }
    std::map<QString, QString> Codes;
    int64_t Moment = -1;
    for (const QString& Line :
         Run(AsIs, TTraceFormat::Vcd, Traced).split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList Words = Line.split(u' ');
        if (Words[0] == u"$var" && Words.value(4).size() == 2 && Words[4].startsWith(u'A'))
            Codes[Words[3]] = Words[4];
        else if (Line.startsWith(u'#'))
            QVERIFY2(Line.mid(1).toLongLong() > std::exchange(Moment, Line.mid(1).toLongLong()),
                     qPrintable(Line));
        else if (Line.startsWith(u'b') && Codes.contains(Words.value(1)))
            Dumped[Codes[Words[1]]][Moment] = Words[0].mid(1).toInt(nullptr, 2);
    }
    QCOMPARE(Codes.size(), size_t(3));
    QCOMPARE(NetChanges(Dumped), NetChanges(Stepped));
}

void TraceTest::mscgenRendersEveryExample() {
    QFETCH(QByteArray, script);
    const QString Mscgen = QStandardPaths::findExecutable(QStringLiteral("mscgen"));
    if (Mscgen.isEmpty())
        QSKIP("mscgen is not installed");
    QTemporaryDir Folder;
    QFile Chart(Folder.filePath("chart.msc"));
    TReplayOutcome Outcome;
    QVERIFY(Chart.open(QIODevice::WriteOnly));
    Chart.write(Run(ScriptOf(script), TTraceFormat::Msc, Outcome).toUtf8());
    Chart.close();
    QCOMPARE(QProcess::execute(
                 Mscgen, {"-T", "svg", "-i", Chart.fileName(), "-o", Folder.filePath("chart.svg")}),
             0);
}

void TraceTest::failsAsTheReplay_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("a bad line") << QByteArray("coin\nfly\n") << QStringList{"-"};
    QTest::newRow("refused") << QByteArray("coin\n").repeated(51) << QStringList{"-"};
    QTest::newRow("no file") << QByteArray() << QStringList{"/nonexistent/x.session"};
    QTest::newRow("bad locale") << QByteArray() << QStringList{"--locale", "xx_YY", "-"};
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

// The chart's arrows read back from the SVG, in the order drawn, as "sender→receiver label": an
// arrow is a level line between two lifelines (the dashed upright lines, left to right), its label
// the text pieces on one baseline just above it. A long chart comes in strips, each a document
// nested at its place, which hides what its drawing puts outside it.
QStringList ArrowsOfSvg(const QString& Svg) {
    QXmlStreamReader Reader(Svg);
    QList<double> Lifelines;
    QList<std::pair<double, QString>> Texts;     // baseline, text
    QList<std::pair<double, QStringList>> Lines; // y, "from→to"
    const QStringList Names = {"player", "A0", "A1", "A2", "timers"};
    double Strip = 0;
    double StripHeight = 1e9;
    while (!Reader.atEnd()) {
        if (Reader.readNext() != QXmlStreamReader::StartElement)
            continue;
        const QXmlStreamAttributes Attributes = Reader.attributes();
        if (Reader.name() == u"svg" && Attributes.hasAttribute("y")) {
            Strip = Attributes.value("y").toDouble();
            StripHeight = Attributes.value("height").toDouble();
        }
        if (Reader.name() == u"text") {
            const double Y = Strip + Attributes.value("y").toDouble();
            const QString Piece = Reader.readElementText();
            if (!Texts.isEmpty() && Texts.last().first == Y)
                Texts.last().second += Piece;
            else
                Texts.append({Y, Piece});
        } else if (Reader.name() == u"polyline") {
            const QStringList Points =
                Attributes.value("points").toString().split(u' ', Qt::SkipEmptyParts);
            if (Points.size() != 2)
                continue;
            const double X1 = Points[0].section(u',', 0, 0).toDouble();
            const double Y1 = Strip + Points[0].section(u',', 1, 1).toDouble();
            const double X2 = Points[1].section(u',', 0, 0).toDouble();
            const double Y2 = Strip + Points[1].section(u',', 1, 1).toDouble();
            if (X1 == X2 && Lifelines.size() < Names.size())
                Lifelines << X1;
            else if (Y1 == Y2 && Lifelines.contains(X1) && Lifelines.contains(X2) && X1 != X2 &&
                     Y1 >= Strip && Y1 < Strip + StripHeight)
                Lines.append({Y1, {Names[Lifelines.indexOf(X1)], Names[Lifelines.indexOf(X2)]}});
        }
    }
    if (Reader.hasError())
        return {QStringLiteral("not XML: ") + Reader.errorString()};
    static const QRegularExpression Label(QStringLiteral(R"(^e\d+ ")"));
    QStringList Arrows;
    double Above = -1;
    for (const auto& [Y, Ends] : Lines) {
        // Drawn from the top down, each below the one before.
        if (Y <= std::exchange(Above, Y))
            Arrows << QStringLiteral("above the one before");
        QString Text;
        for (const auto& [Baseline, Piece] : Texts)
            if (Baseline < Y && Baseline > Y - 10 && Label.match(Piece).hasMatch())
                Text = Piece;
        Arrows << Ends.join(QStringLiteral("→")) + u' ' + Text;
    }
    return Arrows;
}

void TraceTest::svgArrowsAreTheSteps() {
    QFETCH(QByteArray, script);
    const TScript Script = ScriptOf(script);
    TReplayOutcome Traced;
    const QString Svg = Run(Script, TTraceFormat::Svg, Traced);
    const QStringList Arrows = ArrowsOfSvg(Svg);
    const QString Jsonl = Run(Script, TTraceFormat::Jsonl, Traced);
    const TMachine Machine;
    const TStringList& Events = Machine.AutomatonsDispatcher().FEventNames;
    QStringList Steps;
    for (const QString& Line : Jsonl.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject Step = QJsonDocument::fromJson(Line.toUtf8()).object();
        const QString Sender = Step["sender"].toString();
        Steps << QStringLiteral("%1→A%2 ")
                         .arg(Sender.startsWith(u"Timer") || Sender == u"JackTimer" ? "timers"
                                                                                    : Sender)
                         .arg(Step["automaton"].toInt()) +
                     Step["event"].toString();
    }
    QCOMPARE(Arrows.size(), Steps.size());
    QVERIFY(!Arrows.isEmpty());
    for (qsizetype Index = 0; Index < Steps.size(); ++Index) {
        // The label may be cut short to fit between its lifelines, never anything else.
        const QString Ends = Steps[Index].section(u' ', 0, 0);
        const QString Event = Steps[Index].section(u' ', 1);
        const QString Whole = QStringLiteral("%1 \"%2\"")
                                  .arg(Event)
                                  .arg(QString::fromStdString(Events.Get(Event.mid(1).toInt())));
        const QString Shown = Arrows[Index].section(u' ', 1);
        QCOMPARE(Arrows[Index].section(u' ', 0, 0), Ends);
        QVERIFY2(Shown == Whole || (Shown.endsWith(u'…') && Whole.startsWith(Shown.chopped(1)) &&
                                    Shown.startsWith(Event + u' ')),
                 qPrintable(QStringLiteral("%1: %2 for %3").arg(Index).arg(Shown, Whole)));
    }
}

// The SVG trace draws with Qt Gui, as the companion does on the offscreen platform.
QTEST_MAIN(TraceTest)
#include "TraceTest.moc"
