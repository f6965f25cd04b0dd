#include "sessions/Session.h"
#include "cli/Replay.h"
#include "sessions/Files.h"
#include "sessions/Script.h"
#include "sessions/SessionRecorder.h"
#include "slotmachine/Protocol.h"

#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <unistd.h>

#include <sstream>

using namespace sm;

namespace {

// "MS COMMAND" steps, such as "1500 play" or "2000 log A0 change off".
TCommand CommandOf(const QString& Step) {
    const TParsedScript Parsed = ParseScript(Step.section(u' ', 1).toUtf8());
    Q_ASSERT(!Parsed.Error);
    return *Parsed.Script.Commands.begin();
}

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void recordedSessionReplays_data();
    void recordedSessionReplays();
    void neverLosesAnAction();
    void stopTakesTheSpinTickOfItsMillisecond_data();
    void stopTakesTheSpinTickOfItsMillisecond();
    void savingReplacesTheFileWhole_data();
    void savingReplacesTheFileWhole();
};

void SessionTest::recordedSessionReplays_data() {
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<qint64>("end");
    QTest::addColumn<QString>("shown"); // a message the session must have written
    QTest::newRow("a won game and its pay-out")
        << 16u << "2026-12-08T16:00:00.000"
        << QStringList{"0 coin", "0 coin", "120 coin", "800 play", "2300 play"} << qint64(12000)
        << "e6 \"Выдан жетон из банка\"";
    QTest::newRow("switches mid-game, seconds turning at .750")
        << 3u << "2026-12-08T16:00:00.750"
        << QStringList{"0 coin",
                       "10 play",
                       "200 log A2 start off",
                       "205 log A2 finish off",
                       "900 play",
                       "1900 log A0 change off",
                       "1900 log A1 input on",
                       "2600 log A0 change on"}
        << qint64(7000) << "e5 \"Сработал таймер третьего барабана\"";
    QTest::newRow("a counterfeit token and reset, across the new year")
        << 0u << "2026-12-31T23:59:59.900"
        << QStringList{"0 coin", "40 coin", "41 bad", "500 coin", "700 reset", "900 return"}
        << qint64(1000) << "01.01.2027 00:00:00:";
    QTest::newRow("a month idle") << 7u << "2026-02-01T00:00:00.000"
                                  << QStringList{"0 coin", "2600000000 reset"} << qint64(2600000250)
                                  << "03.03.2026 02:13:20:";
}

void SessionTest::recordedSessionReplays() {
    QFETCH(quint32, seed);
    QFETCH(QString, start);
    QFETCH(QStringList, steps);
    QFETCH(qint64, end);
    QFETCH(QString, shown);
    const QLocale Locale(QLocale::Russian, QLocale::Russia);
    QString Problem;
    int At = 0;
    const QDateTime Start = *ParseStartTime(start, Problem, At);

    // The session as the window plays it, every click and tick taken at its moment.
    TVirtualTime Time;
    Time.Machine().Seed(seed);
    TMemorySink Panel;
    TVirtualStamp Stamp(Start, Locale, Time);
    TProtocolWriter Writer(Panel, [&Stamp] { return Stamp.Now(); });
    Time.Machine().SetSink(&Writer);
    TSessionRecorder Recorder(seed, Start);
    for (const QString& Step : steps) {
        Time.Advance(Step.section(u' ', 0, 0).toLongLong() - Time.Now());
        const TCommand Command = CommandOf(Step);
        if (Command.Kind == TCommandKind::Player) {
            QVERIFY2(CanTake(Time.Machine(), Command.Action), qPrintable(Step));
            Time.Do([&Command](TMachine& M) { Take(M, Command.Action); });
            Recorder.Action(Time.Now(), Command.Action);
        } else {
            Time.Do([&Command](TMachine& M) {
                M.SetLogSwitch(Command.Automaton, Command.Item, Command.On);
            });
            Recorder.Switch(Time.Now(), Command.Automaton, Command.Item, Command.On);
        }
    }
    Time.Advance(end - Time.Now());
    Time.Machine().SetSink(nullptr);
    const QString Shown = Panel.Lines.join(u'\n') + u'\n'; // every line ends with a break
    QVERIFY2(Shown.contains(shown), qPrintable(Shown.right(600)));

    const QByteArray Script = Recorder.Script(Time.Now());
    QVERIFY2(!Script.contains("wait 0\n"), Script.constData());
    const TParsedScript Parsed = ParseScript(Script);
    QVERIFY2(!Parsed.Error, qPrintable(Parsed.Error ? Parsed.Error->Message : QString()));
    std::ostringstream Out;
    TReplayOptions Options;
    Options.Locale = Locale;
    QCOMPARE(Replay(Parsed.Script, Options, Out).ExitCode, ExitOk);
    QCOMPARE(QByteArray::fromStdString(Out.str()), Shown.toUtf8());
}

void SessionTest::neverLosesAnAction() {
    const QDateTime Start(QDate(2026, 12, 8), QTime(16, 0), QTimeZone::utc());
    TSessionRecorder Recorder(4294967295u, Start);
    Recorder.Action(10, TPlayerAction::Coin);
    Recorder.Action(10, TPlayerAction::Play);
    Recorder.Action(5, TPlayerAction::Return); // a clock gone back: taken at 10
    Recorder.Switch(LongestWait + 20, A1, LogOutput, true);
    QCOMPARE(Recorder.Script(LongestWait + 19),
             QByteArray("seed 4294967295\nstart 2026-12-08T16:00:00.000\nwait 10\ncoin\nplay\n"
                        "return\nwait 2147483647\nwait 10\nlog A1 output on\n"));
}

void SessionTest::stopTakesTheSpinTickOfItsMillisecond_data() {
    QTest::addColumn<QByteArray>("script");
    // With seed 747 the first barrel's stop falls due at 1440 ms together with a spin tick, which
    // turns it from 1 to 2 first; the win of 2 6 2 is 4 tokens instead of 1.
    QTest::newRow("settled") << QByteArray("seed 747\ncoin\nplay\nplay\nwait 1435\nsettle\n");
    QTest::newRow("a wait ending at the stop, as the explorer's scripts wait")
        << QByteArray("seed 747\ncoin\nplay\nplay\nwait 1440\nsettle\n");
}

void SessionTest::stopTakesTheSpinTickOfItsMillisecond() {
    QFETCH(QByteArray, script);
    const TParsedScript Parsed = ParseScript(script);
    QVERIFY(!Parsed.Error);
    TSession Session(TMachine(), Parsed.Script.Seed);
    for (const TCommand& Command : Parsed.Script.Commands)
        QCOMPARE(Session.Run(Command), QString());
    QCOMPARE(Session.ShowLine().section(u' ', 1, 1), QStringLiteral("bank=47"));
    QCOMPARE(Session.ShowLine().section(u' ', 6, 6), QStringLiteral("barrels=2,6,2"));
}

void SessionTest::savingReplacesTheFileWhole_data() {
    QTest::addColumn<int>("length"); // of the file's name
    QTest::addColumn<bool>("saved");
    QTest::newRow("saved") << 20 << true;
    // No file beside it can be made: its name would be too long.
    QTest::newRow("failed") << 250 << false;
}

void SessionTest::savingReplacesTheFileWhole() {
    QFETCH(int, length);
    QFETCH(bool, saved);
    const QTemporaryDir Folder;
    const QString Path = Folder.filePath(QString(length, u'x'));
    const QString Link = Folder.filePath(QStringLiteral("link"));
    QFile Written(Path);
    QVERIFY(Written.open(QIODevice::WriteOnly) && Written.write("old\n") == 4);
    Written.close();
    // A hard link to the old file keeps its bytes only if the new ones went into a new file.
    QCOMPARE(::link(QFile::encodeName(Path).constData(), QFile::encodeName(Link).constData()), 0);
    QCOMPARE(WriteFile(Path, "new and longer\n").isEmpty(), saved);
    QFile Old(Link);
    QVERIFY(Old.open(QIODevice::ReadOnly));
    QCOMPARE(Old.readAll(), QByteArray("old\n"));
    QFile Now(Path);
    QVERIFY(Now.open(QIODevice::ReadOnly));
    QCOMPARE(Now.readAll(), saved ? QByteArray("new and longer\n") : QByteArray("old\n"));
    QCOMPARE(QDir(Folder.path()).entryList(QDir::Files).size(), 2); // nothing left beside it
}

QTEST_GUILESS_MAIN(SessionTest)
#include "SessionTest.moc"
