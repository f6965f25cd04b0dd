#include "sessions/StepRecord.h"

#include <algorithm>
#include <iterator>

namespace sm {

std::string SenderName(const TStepSender& Sender) {
    switch (Sender.Kind) {
    case TStepSender::TKind::Player:
        return "player";
    case TStepSender::TKind::Timer:
        return TimerName(Sender.Timer);
    case TStepSender::TKind::Automaton:
        return "A" + std::to_string(Sender.Automaton);
    case TStepSender::TKind::Unknown:
        break;
    }
    return {};
}

TStepRecord::TStepRecord(TVirtualTime& Time) : FTime(Time) {
    FTime.Machine().AddStepListener(this);
}

TStepRecord::~TStepRecord() {
    FTime.Machine().RemoveStepListener(this);
}

std::vector<TRecordedStep> TStepRecord::TakeFinished() {
    // A step still open, and everything after it, stays: it is not finished yet.
    const size_t Finished = FOpen.empty() ? FSteps.size() : FOpen.front();
    std::vector<TRecordedStep> Taken(std::make_move_iterator(FSteps.begin()),
                                     std::make_move_iterator(FSteps.begin() + long(Finished)));
    FSteps.erase(FSteps.begin(), FSteps.begin() + long(Finished));
    for (size_t& Open : FOpen)
        Open -= Finished;
    return Taken;
}

// The sender of an input's own event, read from what set the input off.
TStepSender TStepRecord::OutsideSender() const {
    const TMachine::TOrigin& Origin = FTime.Machine().Origin();
    if (Origin.Player) {
        const auto Row = std::find_if(
            PlayerActionRows.begin(), PlayerActionRows.end(),
            [&Origin](const TPlayerActionRow& Each) { return Each.Input == Origin.Player; });
        if (Row != PlayerActionRows.end())
            return {.Kind = TStepSender::TKind::Player, .Action = Row->Action};
    }
    if (Origin.Timer != TimerCount)
        return {.Kind = TStepSender::TKind::Timer, .Timer = Origin.Timer};
    return {};
}

void TStepRecord::EventReceived(const TAutomaton& Automaton, int32_t Event) {
    TRecordedStep Step;
    Step.Moment = FTime.Now();
    Step.Automaton = Automaton.FNumber;
    Step.Event = Event;
    Step.From = Step.To = Automaton.FState;
    Step.Depth = static_cast<int>(FOpen.size());
    Step.Sender = FOpen.empty() ? OutsideSender()
                                : TStepSender{.Kind = TStepSender::TKind::Automaton,
                                              .Automaton = FSteps[FOpen.back()].Automaton};
    FOpen.push_back(FSteps.size());
    FSteps.push_back(std::move(Step));
}

void TStepRecord::EventHandled(const TAutomaton& Automaton, int32_t) {
    if (FOpen.empty())
        return;
    FSteps[FOpen.back()].To = Automaton.FState;
    FOpen.pop_back();
}

void TStepRecord::StepTaken(const TStep& Step) {
    // Noted at the end of Step: the steps it sent have closed, its own is the innermost.
    if (FOpen.empty() || FSteps[FOpen.back()].Automaton != Step.Automaton || Step.Row < 0)
        return;
    TRecordedStep& Own = FSteps[FOpen.back()];
    Own.Row = Step.Row;
    Own.SentBeforeChange = FSteps.size() - FOpen.back() - 1;
}

void TStepRecord::Message(const std::string& Text) {
    if (!FOpen.empty())
        FSteps[FOpen.back()].Messages.push_back(Text);
}

} // namespace sm
