#include "sessions/Door.h"

#include <utility>

namespace sm {

TInputDoor::TInputDoor(TVirtualTime& Time, TTaken Taken) : FTime(Time), FTaken(std::move(Taken)) {}

QString TInputDoor::Take(TPlayerAction Action) {
    if (QString Refused = WhyNot(FTime.Machine().Displays(), Action); !Refused.isEmpty())
        return Refused;
    if (FRecorder)
        FRecorder->Action(FTime.Now(), Action);
    Do([Action](TMachine& M) { sm::Take(M, Action); });
    return {};
}

void TInputDoor::SetSwitches(int32_t Automaton, const TLogSwitches& Switches) {
    const TLogSwitches Before = FTime.Machine().LogSwitches(Automaton);
    if (FRecorder)
        for (int32_t Item = 0; Item < LogItems; ++Item) {
            const auto Index = static_cast<size_t>(Item);
            if (Switches[Index] != Before[Index])
                FRecorder->Switch(FTime.Now(), Automaton, TLogItem(Item), Switches[Index]);
        }
    Do([Automaton, &Switches](TMachine& M) { M.SetLogSwitches(Automaton, Switches); });
}

void TInputDoor::Turn(int32_t Automaton, TLogItem Item, bool On) {
    TLogSwitches Switches = FTime.Machine().LogSwitches(Automaton);
    bool& Switch = Switches.at(static_cast<size_t>(Item));
    if (Switch == On)
        return;
    Switch = On;
    SetSwitches(Automaton, Switches);
}

QString TInputDoor::Take(const TCommand& Command) {
    switch (Command.Kind) {
    case TCommandKind::Player:
        return Take(Command.Action);
    case TCommandKind::Log:
        Turn(Command.Automaton, Command.Item, Command.On);
        break;
    case TCommandKind::Wait:
    case TCommandKind::Settle:
    case TCommandKind::Show:
        break;
    }
    return {};
}

} // namespace sm
