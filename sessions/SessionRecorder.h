#pragma once

#include "sessions/PlayerActions.h"
#include "sessions/Script.h"
#include "slotmachine/Machine.h"

#include <QByteArray>
#include <QDateTime>

#include <cstdint>
#include <utility>
#include <vector>

namespace sm {

// A player's or log command as it was taken, at its moment in milliseconds since start-up.
struct TRecordedCommand {
    int64_t Moment = 0;
    TCommand Command;
};

// What a user does to the window, written down as the session script the companion replays: the
// seed and the start time, then every action and switch with the waits between them.
class TSessionRecorder {
public:
    // The seed the machine drew and the wall clock at start-up (a reading with no zone).
    TSessionRecorder(uint32_t Seed, const QDateTime& Start);

    // Each at the virtual moment it was taken, in milliseconds since start-up. A moment before
    // the last one is taken as the last one: an action is never dropped.
    void Action(int64_t Moment, TPlayerAction Action);
    void Switch(int64_t Moment, int32_t Automaton, TLogItem Item, bool On);
    // A player's or log command; any other kind is no input and is left out.
    void Command(int64_t Moment, const TCommand& Command);

    // The script of the session up to the moment Now: it waits to the end as well, for the
    // stops and the pay-out that the window showed after the last click.
    // Break lines given go after the seed and start lines: they count from the start anyway.
    QByteArray Script(int64_t Now, const QByteArray& BreakLines = {}) const;
    // The script in two parts: the lines so far, which only grow, and the waits from the last
    // line to the moment Now.
    const QByteArray& Lines() const { return FScript; }
    QByteArray WaitTo(int64_t Now) const;
    // Whether anything was done since start-up.
    bool Recorded() const { return FRecorded; }
    // Every command so far, in the order taken; a history re-runs them.
    const std::vector<TRecordedCommand>& Commands() const { return FCommands; }
    // The same session with only its first Count commands: what it was before the rest.
    TSessionRecorder Truncated(size_t Count) const;

private:
    explicit TSessionRecorder(QByteArray Head) : FHead(Head), FScript(std::move(Head)) {}
    // A line, after the wait from the last moment to this one.
    void Append(int64_t Moment, const TCommand& Command);
    static void AppendWait(QByteArray& Script, int64_t Milliseconds);

    QByteArray FHead; // the seed and start lines
    QByteArray FScript;
    std::vector<TRecordedCommand> FCommands;
    int64_t FLast = 0;
    bool FRecorded = false;
};

} // namespace sm
