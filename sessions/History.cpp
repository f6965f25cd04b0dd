#include "sessions/History.h"

#include "sessions/Door.h"

#include <algorithm>

namespace sm {

THistory::THistory(TVirtualTime& Time, const TSessionRecorder& Recorder, size_t MaxSnapshots)
    : FTime(Time), FRecorder(Recorder), FStart(Time),
      FMaxSnapshots(std::max<size_t>(MaxSnapshots, 2)) {
    THistoryMoment Start;
    Start.Ms = Time.Now();
    Start.Commands = Recorder.Commands().size();
    FMoments.push_back(Start);
    FSnapshots.push_back({0, Time.State()});
    FTime.Machine().AddStepListener(this);
}

THistory::~THistory() {
    FTime.Machine().RemoveStepListener(this);
}

void THistory::EventReceived(const TAutomaton& Automaton, int32_t Event) {
    if (FInput.Events++ > 0)
        return;
    // The input's own event: the machine still knows what set it off.
    FInput.Automaton = Automaton.FNumber;
    FInput.Event = Event;
    const TMachine::TOrigin& Origin = FTime.Machine().Origin();
    FInput.Sender = {};
    for (const TPlayerActionRow& Row : PlayerActionRows)
        if (Origin.Player && Row.Input == Origin.Player)
            FInput.Sender = {.Kind = TStepSender::TKind::Player, .Action = Row.Action};
    if (Origin.Timer != TimerCount)
        FInput.Sender = {.Kind = TStepSender::TKind::Timer, .Timer = Origin.Timer};
    if (FReplaying && FPresent >= Latest()) {
        // Past the latest moment: this input is new, and its messages are to be written.
        FReplaying = false;
        if (Recording)
            Recording();
    }
}

void THistory::Message(const std::string&) {
    if (!FReplaying)
        ++FMessages;
}

void THistory::InputHandled() noexcept {
    if (FInput.Events == 0)
        return;
    if (FReplaying)
        ++FPresent;
    else
        Keep();
    FInput = {};
}

void THistory::Keep() {
    THistoryMoment Moment = FInput;
    const THistoryMoment& Last = FMoments.back();
    Moment.Ms = FTime.Now();
    Moment.Place = Last.Ms == Moment.Ms ? Last.Place + Last.Events : 0;
    Moment.Messages = FMessages;
    Moment.Commands = FRecorder.Commands().size();
    FMoments.push_back(Moment);
    FPresent = Latest();
    if (FPresent % FSnapshotEvery != 0)
        return;
    FSnapshots.push_back({FPresent, FTime.State()});
    if (FSnapshots.size() <= FMaxSnapshots)
        return;
    // Thinned to every other one: they stay evenly spread, the start among them.
    size_t Kept = 0;
    for (size_t Index = 0; Index < FSnapshots.size(); Index += 2)
        FSnapshots[Kept++] = FSnapshots[Index];
    FSnapshots.resize(Kept);
    FSnapshotEvery *= 2;
}

void THistory::Rewind(size_t Index) {
    FPresent = std::min(Index, Latest());
    FReplaying = true;
    FInput = {};
}

void THistory::DropAfter(size_t Index) {
    Index = std::min(Index, Latest());
    FMoments.resize(Index + 1);
    std::erase_if(FSnapshots, [Index](const TSnapshot& Each) { return Each.Moment > Index; });
    FMessages = FMoments.back().Messages;
    FPresent = Index;
    FReplaying = false;
    FInput = {};
}

void THistory::RunOn(TVirtualTime& Time, size_t From, size_t To) const {
    TInputDoor Door(Time);
    const std::vector<TRecordedCommand>& Commands = FRecorder.Commands();
    size_t Next = FMoments[From].Commands;
    const auto Take = [&] {
        const TRecordedCommand& Each = Commands.at(Next++);
        // As the window's clock: a command at the present moment runs before any timer due then.
        if (Each.Moment > Time.Now())
            Time.Advance(Each.Moment - Time.Now());
        Door.Take(Each.Command);
    };
    for (size_t Index = From + 1; Index <= To; ++Index) {
        const THistoryMoment& Moment = FMoments[Index];
        const bool ByPlayer = Moment.Sender.Kind == TStepSender::TKind::Player;
        // The commands that set off no event (switches, a click the machine ignored) came first.
        while (Next + (ByPlayer ? 1 : 0) < Moment.Commands)
            Take();
        if (ByPlayer)
            Take();
        else
            Time.FireNextEvent();
    }
}

TVirtualTime THistory::Rebuild(size_t Index) const {
    Index = std::min(Index, Latest());
    const auto After =
        std::upper_bound(FSnapshots.begin(), FSnapshots.end(), Index,
                         [](size_t Moment, const TSnapshot& Each) { return Moment < Each.Moment; });
    const TSnapshot& From = *(After - 1);
    TVirtualTime Time = FStart;
    Time.Restore(From.State);
    RunOn(Time, From.Moment, Index);
    return Time;
}

TCoverageCounts THistory::CountsTo(size_t Index) const {
    TVirtualTime Time = FStart;
    const TCoverage Coverage(Time.Machine());
    RunOn(Time, 0, std::min(Index, Latest()));
    return Coverage.Counts();
}

TVirtualTime THistory::RebuildEnd(int64_t Until) const {
    TVirtualTime Time = Rebuild(Latest());
    TInputDoor Door(Time);
    const std::vector<TRecordedCommand>& Commands = FRecorder.Commands();
    for (size_t Next = FMoments.back().Commands; Next < Commands.size(); ++Next) {
        if (Commands[Next].Moment > Time.Now())
            Time.Advance(Commands[Next].Moment - Time.Now());
        Door.Take(Commands[Next].Command);
    }
    if (Until > Time.Now())
        Time.Advance(Until - Time.Now());
    return Time;
}

size_t THistory::MomentOfMessage(size_t Message) const {
    const auto Writer = std::upper_bound(
        FMoments.begin(), FMoments.end(), Message,
        [](size_t Each, const THistoryMoment& Moment) { return Each < Moment.Messages; });
    return Writer == FMoments.end() ? Latest() : size_t(Writer - FMoments.begin());
}

size_t THistory::MomentNear(int64_t Ms) const {
    const auto After = std::lower_bound(
        FMoments.begin(), FMoments.end(), Ms,
        [](const THistoryMoment& Moment, int64_t Each) { return Moment.Ms < Each; });
    if (After == FMoments.end())
        return Latest();
    const size_t Index = size_t(After - FMoments.begin());
    if (Index == 0)
        return 0;
    // Of the moments in the millisecond before, the last one.
    return Ms - FMoments[Index - 1].Ms <= After->Ms - Ms ? Index - 1 : Index;
}

size_t THistory::Bytes() const {
    return sizeof(*this) + FMoments.capacity() * sizeof(THistoryMoment) +
           FSnapshots.capacity() * sizeof(TSnapshot) +
           FRecorder.Commands().capacity() * sizeof(TRecordedCommand);
}

} // namespace sm
