#include "automaton/Automaton.h"

#include <charconv>
#include <stdexcept>
#include <string_view>

namespace sm {

namespace {

// Messages are built in one buffer, piece by piece, so names are looked up in the order they
// are shown and a burst of messages costs few allocations.
class TMessage {
public:
    TMessage() { FText.reserve(192); }
    TMessage& operator<<(std::string_view Piece) {
        FText += Piece;
        return *this;
    }
    TMessage& operator<<(int32_t Number) {
        char Digits[12];
        const auto End = std::to_chars(Digits, Digits + sizeof Digits, Number).ptr;
        FText.append(Digits, End);
        return *this;
    }
    TMessage& Quoted(std::string_view Text) {
        FText += '"';
        FText += Text;
        FText += '"';
        return *this;
    }
    const std::string& Text() const { return FText; }

private:
    std::string FText;
};

} // namespace

TAutomaton::TAutomaton(int32_t Number, std::string Name)
    : FNumber(Number), FName(std::move(Name)) {}

void TAutomaton::HandleEvent(int32_t Event) {
    if (FNotices)
        FNotices->EventReceived(*this, Event);
    if (FLogStart) {
        TMessage Message;
        Message << "Автомат A" << FNumber << " ";
        Message.Quoted(FName) << " запущен в состоянии " << FState << " ";
        Message.Quoted(StateName(FState)) << " с событием e" << Event << " ";
        Message.Quoted(EventName(Event));
        WriteLog(Message.Text());
    }
    if (FBusy) {
        TMessage Message;
        Message << "Ошибка реентерабельности в автомате A" << FNumber << " ";
        Message.Quoted(FName) << " в состоянии " << FState << " ";
        Message.Quoted(StateName(FState)) << " с событием e" << Event << " ";
        Message.Quoted(EventName(Event));
        WriteLog(Message.Text());
    }
    FBusy = true;
    const int32_t OldState = FState;
    Step(Event);
    if (FState != OldState) {
        if (FLogTransition) {
            TMessage Message;
            Message << "Автомат A" << FNumber << " ";
            Message.Quoted(FName) << " перешел из состояния " << OldState << " в состояние "
                                  << FState;
            WriteLog(Message.Text());
        }
        EnterState();
    }
    FBusy = false;
    if (FLogFinish) {
        TMessage Message;
        Message << "Автомат A" << FNumber << " ";
        Message.Quoted(FName) << " завершил обработку события e" << Event << " ";
        Message.Quoted(EventName(Event)) << " в состоянии " << FState << " ";
        Message.Quoted(StateName(FState));
        WriteLog(Message.Text());
    }
    if (FNotices)
        FNotices->EventHandled(*this, Event);
}

void TAutomaton::Step(int32_t) {}

void TAutomaton::EnterState() {}

void TAutomaton::WriteLog(const std::string&) {}

const std::string& TAutomaton::StateName(int32_t State) const {
    const auto& Lists = Dispatcher().FStateNames;
    if (FNumber < 0 || static_cast<size_t>(FNumber) >= Lists.size())
        throw EListError(FNumber);
    return Lists[static_cast<size_t>(FNumber)].Get(State);
}

const std::string& TAutomaton::EventName(int32_t Event) const {
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

} // namespace sm
