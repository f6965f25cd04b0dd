#include "sessions/SessionRecorder.h"

#include "sessions/Script.h"

#include <algorithm>

namespace sm {

TSessionRecorder::TSessionRecorder(uint32_t Seed, const QDateTime& Start)
    : FHead(QStringLiteral("seed %1\nstart %2\n").arg(Seed).arg(StartTimeText(Start)).toUtf8()),
      FScript(FHead) {}

TSessionRecorder TSessionRecorder::Truncated(size_t Count) const {
    TSessionRecorder Shorter(FHead);
    for (size_t Index = 0; Index < std::min(Count, FCommands.size()); ++Index)
        Shorter.Append(FCommands[Index].Moment, FCommands[Index].Command);
    return Shorter;
}

void TSessionRecorder::Action(int64_t Moment, TPlayerAction Action) {
    TCommand Command;
    Command.Kind = TCommandKind::Player;
    Command.Action = Action;
    Append(Moment, Command);
}

void TSessionRecorder::Command(int64_t Moment, const TCommand& Command) {
    if (Command.Kind == TCommandKind::Player || Command.Kind == TCommandKind::Log)
        Append(Moment, Command);
}

void TSessionRecorder::Switch(int64_t Moment, int32_t Automaton, TLogItem Item, bool On) {
    TCommand Command;
    Command.Kind = TCommandKind::Log;
    Command.Automaton = Automaton;
    Command.Item = Item;
    Command.On = On;
    Append(Moment, Command);
}

QByteArray TSessionRecorder::Script(int64_t Now, const QByteArray& BreakLines) const {
    QByteArray Script = FScript;
    Script.insert(FHead.size(), BreakLines);
    AppendWait(Script, Now - FLast);
    return Script;
}

QByteArray TSessionRecorder::WaitTo(int64_t Now) const {
    QByteArray Waits;
    AppendWait(Waits, Now - FLast);
    return Waits;
}

void TSessionRecorder::Append(int64_t Moment, const TCommand& Command) {
    Moment = std::max(Moment, FLast);
    AppendWait(FScript, Moment - FLast);
    FLast = Moment;
    FRecorded = true;
    FCommands.push_back({Moment, Command});
    FScript += CommandText(Command).toUtf8();
    FScript += '\n';
}

void TSessionRecorder::AppendWait(QByteArray& Script, int64_t Milliseconds) {
    // A line waits at most LongestWait; an idle month takes a few.
    for (; Milliseconds > 0; Milliseconds -= std::min(Milliseconds, LongestWait))
        Script += "wait " + QByteArray::number(std::min(Milliseconds, LongestWait)) + '\n';
}

} // namespace sm
