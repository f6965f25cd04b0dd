#include "sessions/Session.h"
#include "cli/Replay.h"
#include "sessions/Script.h"
#include "sessions/SessionRecorder.h"
#include "slotmachine/Protocol.h"

#include <QTest>
#include <QTimeZone>

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

QTEST_GUILESS_MAIN(SessionTest)
#include "SessionTest.moc"
