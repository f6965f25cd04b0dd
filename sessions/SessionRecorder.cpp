#include "sessions/SessionRecorder.h"

#include "sessions/Script.h"

#include <algorithm>

namespace sm {

TSessionRecorder::TSessionRecorder(uint32_t Seed, const QDateTime& Start)
    : FScript(QStringLiteral("seed %1\nstart %2\n").arg(Seed).arg(StartTimeText(Start)).toUtf8()) {}

void TSessionRecorder::Action(int64_t Moment, TPlayerAction Action) {
    TCommand Command;
    Command.Kind = TCommandKind::Player;
    Command.Action = Action;
    Append(Moment, CommandText(Command));
}

void TSessionRecorder::Switch(int64_t Moment, int32_t Automaton, TLogItem Item, bool On) {
    TCommand Command;
    Command.Kind = TCommandKind::Log;
    Command.Automaton = Automaton;
    Command.Item = Item;
    Command.On = On;
    Append(Moment, CommandText(Command));
}

QByteArray TSessionRecorder::Script(int64_t Now) const {
    return FScript + WaitTo(Now);
}

QByteArray TSessionRecorder::WaitTo(int64_t Now) const {
    QByteArray Waits;
    AppendWait(Waits, Now - FLast);
    return Waits;
}

void TSessionRecorder::Append(int64_t Moment, const QString& Line) {
    Moment = std::max(Moment, FLast);
    AppendWait(FScript, Moment - FLast);
    FLast = Moment;
    FRecorded = true;
    FScript += Line.toUtf8();
    FScript += '\n';
}

void TSessionRecorder::AppendWait(QByteArray& Script, int64_t Milliseconds) {
    // A line waits at most LongestWait; an idle month takes a few.
    for (; Milliseconds > 0; Milliseconds -= std::min(Milliseconds, LongestWait))
        Script += "wait " + QByteArray::number(std::min(Milliseconds, LongestWait)) + '\n';
}

} // namespace sm
