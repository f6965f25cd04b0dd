#include "automaton/Automaton.h"

#include <stdexcept>

namespace {

std::string Quoted(const std::string& Text) {
    return "\"" + Text + "\"";
}

} // namespace

TAutomaton::TAutomaton(int32_t Number, std::string Name)
    : FNumber(Number), FName(std::move(Name)) {}

void TAutomaton::HandleEvent(int32_t Event) {
    // Each message is built piece by piece, so names are looked up in the order they are shown.
    if (FLogStart) {
        std::string Message = Title() + " запущен в состоянии " + std::to_string(FState) + " ";
        Message += Quoted(StateName(FState));
        Message += " с событием e" + std::to_string(Event) + " ";
        Message += Quoted(EventName(Event));
        WriteLog(Message);
    }
    if (FBusy) {
        std::string Message = "Ошибка реентерабельности в автомате A" + std::to_string(FNumber) +
                              " " + Quoted(FName) + " в состоянии " + std::to_string(FState) + " ";
        Message += Quoted(StateName(FState));
        Message += " с событием e" + std::to_string(Event) + " ";
        Message += Quoted(EventName(Event));
        WriteLog(Message);
    }
    FBusy = true;
    const int32_t OldState = FState;
    Step(Event);
    if (FState != OldState) {
        if (FLogTransition)
            WriteLog(Title() + " перешел из состояния " + std::to_string(OldState) +
                     " в состояние " + std::to_string(FState));
        EnterState();
    }
    FBusy = false;
    if (FLogFinish) {
        std::string Message =
            Title() + " завершил обработку события e" + std::to_string(Event) + " ";
        Message += Quoted(EventName(Event));
        Message += " в состоянии " + std::to_string(FState) + " ";
        Message += Quoted(StateName(FState));
        WriteLog(Message);
    }
}

void TAutomaton::Step(int32_t) {}

void TAutomaton::EnterState() {}

void TAutomaton::WriteLog(const std::string&) {}

std::string TAutomaton::Title() const {
    return "Автомат A" + std::to_string(FNumber) + " " + Quoted(FName);
}

std::string TAutomaton::StateName(int32_t State) const {
    const auto& Lists = Dispatcher().FStateNames;
    if (FNumber < 0 || static_cast<size_t>(FNumber) >= Lists.size())
        throw EListError(FNumber);
    return Lists[static_cast<size_t>(FNumber)].Get(State);
}

std::string TAutomaton::EventName(int32_t Event) const {
    return Dispatcher().FEventNames.Get(Event);
}

const TAutomatonsDispatcher& TAutomaton::Dispatcher() const {
    // A message needs the names; an unregistered automaton has none to show.
    if (FDispatcher == nullptr)
        throw std::logic_error("Automaton A" + std::to_string(FNumber) + " is not registered");
    return *FDispatcher;
}

void TAutomatonsDispatcher::AddAutomaton(TAutomaton* Automaton) {
    FAutomata.push_back(Automaton);
    Automaton->FDispatcher = this;
    FStateNames.emplace_back();
}
