#pragma once

#include "automaton/StringList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace sm {

class TAutomaton;
class TAutomatonsDispatcher;

// Told of every event an automaton receives: as it arrives, before the start message, and once
// handled, after the finish message. A record of the steps is built from these, never from the
// protocol's text.
class TEventNotices {
public:
    virtual ~TEventNotices() = default;
    virtual void EventReceived(const TAutomaton& Automaton, int32_t Event) = 0;
    virtual void EventHandled(const TAutomaton& Automaton, int32_t Event) = 0;
};

// One automaton's share of a machine's state: where it is, whether it is handling an event, and
// its protocol switches. An automaton holds its state in this type, so a copy or a restore of it
// needs no list of fields.
struct TAutomatonSnapshot {
    bool FBusy = false; // a plain flag, not a depth counter
    int32_t FState = 0;
    bool FLogInput = false;
    bool FLogOutput = false;
    bool FLogStart = false;
    bool FLogTransition = false;
    bool FLogFinish = false;
    bool FLogErrors = false;
    bool operator==(const TAutomatonSnapshot&) const = default;
};

// Base of every automaton. Fields are public: the window writes the switches and the automata
// read each other's state.
class TAutomaton : public TAutomatonSnapshot {
public:
    TAutomaton(int32_t Number, std::string Name);
    virtual ~TAutomaton() = default;
    TAutomaton(const TAutomaton&) = delete;
    TAutomaton& operator=(const TAutomaton&) = delete;

    // The only way an event reaches an automaton; framed by the start, reentrancy, transition
    // and finish messages.
    void HandleEvent(int32_t Event);

    // The state is the base, so a snapshot is that slice and a restore assigns it.
    const TAutomatonSnapshot& Snapshot() const { return *this; }
    void Restore(const TAutomatonSnapshot& State) { TAutomatonSnapshot::operator=(State); }

    int32_t FNumber;
    std::string FName;
    TAutomatonsDispatcher* FDispatcher = nullptr;
    // Not part of the state: a snapshot or a restore leaves it as it is. None, nobody is told.
    TEventNotices* FNotices = nullptr;

protected:
    virtual void Step(int32_t Event);
    virtual void EnterState();
    virtual void WriteLog(const std::string& Message);

private:
    const std::string& StateName(int32_t State) const;
    const std::string& EventName(int32_t Event) const;
    const TAutomatonsDispatcher& Dispatcher() const;
};

// Registers the automata and owns the names the protocol shows; it never owns the automata.
class TAutomatonsDispatcher {
public:
    TAutomatonsDispatcher() = default;
    ~TAutomatonsDispatcher() = default; // frees the name lists; the automata outlive it
    TAutomatonsDispatcher(const TAutomatonsDispatcher&) = delete;
    TAutomatonsDispatcher& operator=(const TAutomatonsDispatcher&) = delete;

    void AddAutomaton(TAutomaton* Automaton);

    std::vector<TAutomaton*> FAutomata;
    TStringList FSpareList1;
    TStringList FSpareList2;
    std::vector<TStringList> FStateNames;
    TStringList FEventNames;
};

} // namespace sm
