// The session's history: every moment rebuilt from snapshots and commands is the moment a fresh
// replay of the saved session reaches, the machine and the protocol alike.
#include "sessions/History.h"
#include "sessions/Door.h"
#include "sessions/Playback.h"
#include "sessions/StepRecord.h"

#include <QRandomGenerator>
#include <QTest>
#include <QTimeZone>

#include <memory>
#include <string>
#include <vector>

using namespace sm;

namespace {

class TMessages final : public TProtocolSink {
public:
    void Message(const std::string& Text) override { Texts.push_back(Text); }
    std::vector<std::string> Texts;
};

// A restore counts as setting every timer, so the generations are no part of a moment; a stopped
// timer's due time means nothing.
bool Same(const TVirtualTime& A, const TVirtualTime& B) {
    TVirtualTime::TState Left = A.State(), Right = B.State();
    for (size_t Timer = 0; Timer < TimerCount; ++Timer) {
        Left.Machine.FTimers[Timer].Generation = Right.Machine.FTimers[Timer].Generation = 0;
        Left.Due[Timer] = A.Due(TTimerId(Timer)).value_or(-1);
        Right.Due[Timer] = B.Due(TTimerId(Timer)).value_or(-1);
    }
    return Left.Machine == Right.Machine && Left.Now == Right.Now && Left.Due == Right.Due;
}

// A lively random session on a machine of its own: clicks, switches, waits and steps to the next
// stop, several in one millisecond now and then.
struct TRandomSession {
    TVirtualTime Time;
    TMessages Protocol;
    TSessionRecorder Recorder;
    TInputDoor Door{Time};
    std::unique_ptr<THistory> History;

    TRandomSession(quint32 Seed, int Inputs, size_t SnapshotBound)
        : Recorder(Seed, QDateTime(QDate(2026, 12, 9), QTime(12, 0), QTimeZone::utc())) {
        Time.Machine().Seed(Seed);
        Time.Machine().SetSink(&Protocol);
        Door.Record(&Recorder);
        History = std::make_unique<THistory>(Time, Recorder, SnapshotBound);
        QRandomGenerator Random(Seed);
        for (int Input = 0; Input < Inputs; ++Input) {
            const quint32 Roll = Random.bounded(100);
            if (Roll < 50)
                Door.Take(TPlayerAction(Random.bounded(5)));
            else if (Roll < 58)
                Door.Turn(int32_t(Random.bounded(3)), TLogItem(Random.bounded(5)),
                          Random.bounded(2));
            else if (Roll < 80)
                Time.Advance(Random.bounded(Roll < 70 ? 3000 : 300));
            else
                Time.FireNextEvent();
        }
    }
};

} // namespace

class THistoryTest : public QObject {
    Q_OBJECT

private slots:
    void everyMomentAsReplayed_data();
    void everyMomentAsReplayed();
    void forkDropsTheFutureOnly();
};

void THistoryTest::everyMomentAsReplayed_data() {
    QTest::addColumn<quint32>("Seed");
    QTest::addColumn<int>("Inputs");
    QTest::addColumn<int>("SnapshotBound");
    QTest::newRow("short") << 1u << 60 << 4096;
    QTest::newRow("switches and stops") << 7u << 300 << 4096;
    // A small bound thins the snapshots many times over.
    QTest::newRow("thinned") << 42u << 3000 << 4;
}

// Moment k rebuilt equals the replay of the saved session stepped to its k-th moment, and the
// protocol written up to k is the replay's.
void THistoryTest::everyMomentAsReplayed() {
    QFETCH(quint32, Seed);
    QFETCH(int, Inputs);
    QFETCH(int, SnapshotBound);
    TRandomSession Live(Seed, Inputs, size_t(SnapshotBound));
    const THistory& History = *Live.History;
    QVERIFY(History.Count() > 20);

    const TParsedScript Parsed = ParseScript(Live.Recorder.Script(Live.Time.Now()));
    QVERIFY(!Parsed.Error);
    TVirtualTime Replay;
    Replay.Machine().Seed(Parsed.Script.Seed);
    TMessages Replayed;
    Replay.Machine().SetSink(&Replayed);
    TStepRecord Steps(Replay);
    TInputDoor Door(Replay);
    TPlayback Playback(Parsed.Script.Commands, Door);
    const auto Moments = [&Steps] {
        return std::count_if(Steps.Steps().begin(), Steps.Steps().end(),
                             [](const TRecordedStep& Step) { return Step.Depth == 0; });
    };
    const size_t Step = History.Count() > 400 ? 7 : 1;
    for (size_t Moment = 0; Moment < History.Count(); ++Moment) {
        while (size_t(Moments()) < Moment)
            QVERIFY(Playback.Step());
        if (Moment % Step != 0 && Moment + 1 != History.Count())
            continue;
        const TVirtualTime Rebuilt = History.Rebuild(Moment);
        QVERIFY2(Same(Rebuilt, Replay), qPrintable(QStringLiteral("moment %1").arg(Moment)));
        QCOMPARE(History.Moment(Moment).Ms, Replay.Now());
        const size_t Written = History.Moment(Moment).Messages;
        QCOMPARE(Replayed.Texts.size(), Written);
        QVERIFY(
            std::equal(Replayed.Texts.begin(), Replayed.Texts.end(), Live.Protocol.Texts.begin()));
    }
    // The end: the recorded switches after the last moment and the waiting since.
    Playback.RunTo(Live.Time.Now());
    QVERIFY(Same(History.RebuildEnd(Live.Time.Now()), Replay));
    QVERIFY(Same(History.RebuildEnd(Live.Time.Now()), Live.Time));
}

// Rewound to a moment, a replay records nothing; an input past the latest moment records again.
// A fork drops the later moments and rebuilds the earlier ones as before.
void THistoryTest::forkDropsTheFutureOnly() {
    TRandomSession Live(11, 300, 4096);
    THistory& History = *Live.History;
    const size_t Latest = History.Latest();
    const size_t Middle = Latest / 2;

    History.Rewind(Latest - 1);
    int Told = 0;
    History.Recording = [&Told] { ++Told; };
    QVERIFY(Live.Door.Take(TPlayerAction::Reset).isEmpty());
    QCOMPARE(History.Present(), Latest);
    QCOMPARE(Told, 0);
    QVERIFY(History.Replaying());
    const size_t Written = Live.Protocol.Texts.size();
    QVERIFY(Live.Door.Take(TPlayerAction::Reset).isEmpty());
    QCOMPARE(Told, 1);
    QCOMPARE(History.Count(), Latest + 2);
    QCOMPARE(History.Moment(Latest + 1).Messages - History.Moment(Latest).Messages,
             Live.Protocol.Texts.size() - Written);

    History.DropAfter(Middle);
    QCOMPARE(History.Count(), Middle + 1);
    QVERIFY(!History.Replaying());
    Live.Time = History.Rebuild(Middle);
    Live.Door.Record(nullptr);
    const size_t Before = Live.Protocol.Texts.size();
    Live.Door.Take(TPlayerAction::Reset);
    QCOMPARE(History.Count(), Middle + 2);
    QCOMPARE(History.Moment(Middle + 1).Messages,
             History.Moment(Middle).Messages + Live.Protocol.Texts.size() - Before);
}

QTEST_GUILESS_MAIN(THistoryTest)
#include "HistoryTest.moc"
