#pragma once

#include "automaton/Automaton.h"
#include "slotmachine/Random.h"
#include "slotmachine/atmSlotMachine.h"

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <vector>

namespace sm {

// The machine's seven timers, in the order in which timers due at the same moment fire.
enum TTimerId : int32_t {
    TimerSync1,
    TimerSync2,
    TimerSync3,
    TimerB1,
    TimerB2,
    TimerB3,
    JackTimer,
    TimerCount
};

// The machine's own name of each timer, as the clock's strip lists it.
constexpr const char* TimerName(TTimerId Timer) {
    constexpr const char* Names[TimerCount] = {"TimerSync1", "TimerSync2", "TimerSync3", "TimerB1",
                                               "TimerB2",    "TimerB3",    "JackTimer"};
    return Timer >= 0 && Timer < TimerCount ? Names[Timer] : "";
}

// A timer as the machine sees it: it runs while its interval is not 0. The generation counts
// every real change, so a driver can tell a restarted period from an untouched one.
struct TTimerState {
    int32_t Interval = 0;
    uint32_t Generation = 0;
    bool operator==(const TTimerState&) const = default;
};

enum class TBrushStyle { bsSolid, bsDiagCross };

// What every display of the window shows. The fields lag behind the accounts exactly as far as
// the automata and the handlers refresh them.
struct TDisplays {
    int32_t edBank = 50; // the design's texts until the first refresh
    int32_t edStake = 0;
    int32_t edJackPot = 0;
    int32_t edUser = 50; // also how many coins of the stack are shown
    bool iBadCoin = true;
    TBrushStyle Shape1 = TBrushStyle::bsSolid;
    std::array<int32_t, 3> Barrels{}; // frame index of Barrel1..3
    bool operator==(const TDisplays&) const = default;
};

// The five switches of one automaton, in the order of its check list.
enum TLogItem : int32_t { LogStart, LogTransition, LogFinish, LogInput, LogOutput, LogItems };
using TLogSwitches = std::array<bool, LogItems>;

// Bits of a change notice.
enum TChange : unsigned {
    ChangedFields = 1,    // number fields, coins, counterfeit token, slot indicator
    ChangedBarrels = 2,   // a barrel's frame
    ChangedTimers = 4,    // an interval
    ChangedStates = 8,    // an automaton's state
    ChangedSwitches = 16, // a protocol switch
    ChangedSteps = 32     // an automaton handled an event, whether or not a row matched
};

// One step of one automaton: the row of its table it took (-1 for none) and where it went.
struct TStep {
    int32_t Automaton;
    int32_t Event;
    int32_t From;
    int Row;
    int32_t To;
    bool operator==(const TStep&) const = default;
};

// The machine's own state beside its automata: the accounts and the two flags, what every
// display shows, the timers and the generator. The machine holds it as its base, so its code reads
// the design's names.
struct TMachineState {
    int32_t FBank = 0; // the accounts, in tokens
    int32_t FUserTokens = 0;
    int32_t FJackPot = 0;
    int32_t FStake = 0;
    bool FTrayClosed = false;
    bool FTokenGood = false;
    TDisplays FDisplays;
    std::array<TTimerState, TimerCount> FTimers{};
    TRandom FRandom;
    bool operator==(const TMachineState&) const = default;
};

// Everything that makes one machine differ from another: its own state and that of each
// automaton. Copies, restores and the explorer's states read the machine through it, and tests
// put a machine into the state they need through it.
struct TMachineSnapshot : TMachineState {
    std::array<TAutomatonSnapshot, 3> Automata{};
    bool operator==(const TMachineSnapshot&) const = default;
};
// A member without its own comparison would quietly delete the whole snapshot's.
static_assert(std::equality_comparable<TMachineSnapshot>);

// Where the automata's protocol messages go; the sink lays them out and stamps them.
class TProtocolSink {
public:
    virtual ~TProtocolSink() = default;
    virtual void Message(const std::string& Text) = 0;
};

// Told of every event an automaton receives (as TEventNotices), of the row it took and of every
// protocol message it writes, whatever the switches let through to the sink.
class TStepListener : public TEventNotices {
public:
    // After the automaton's Step, before its entry actions.
    virtual void StepTaken(const TStep& Step) = 0;
    virtual void Message(const std::string& Text) = 0;
    // Once an input has been handled, even when its handling ended in an exception: no step of
    // it is still open.
    virtual void InputHandled() noexcept {}
};

// Tells several listeners in the order they came; the machine points at it only when it has more
// than one, so that a single listener costs one indirection, as before.
class TStepFanOut final : public TStepListener {
public:
    std::vector<TStepListener*> Listeners;

private:
    void EventReceived(const TAutomaton& Automaton, int32_t Event) override;
    void EventHandled(const TAutomaton& Automaton, int32_t Event) override;
    void StepTaken(const TStep& Step) override;
    void Message(const std::string& Text) override;
    void InputHandled() noexcept override;
    // By index, and past a listener only if it stayed: one may remove itself while it is told.
    template <class TNotice> void Tell(TNotice&& Notice) {
        for (size_t Index = 0; Index < Listeners.size();) {
            TStepListener* Each = Listeners[Index];
            Notice(*Each);
            if (Index < Listeners.size() && Listeners[Index] == Each)
                ++Index;
        }
    }
};

// Told once an input has been handled, with what it changed.
class TMachineObserver {
public:
    virtual ~TMachineObserver() = default;
    // Called while the input is being finished: it must not throw.
    virtual void MachineChanged(unsigned Changes) noexcept = 0;
};

// The tables the automata run; an empty one is the table as written. Only tests plant others.
struct TRowTables {
    TAutomatonSlotMachine::TRows A0;
    TAutomatonMoneyTray::TRows A1;
    TAutomatonBarrelsEngine::TRows A2;
};

// The whole machine as a value: the dispatcher and the three automata, the accounts, what every
// display shows, the seven timers, the generator and the protocol switches. It knows nothing of
// windows or clocks: its inputs are the player's actions and "timer T fired"; its outputs are
// protocol messages into a sink and change notices to its observers. A copy is a full,
// independent machine that writes to no sink and tells no observer until given its own.

class TMachine : private TMachineState {
public:
    static constexpr int32_t TokenImages = 100;

    // The start-up: accounts, the generator seeded from the clock, the automata with their
    // switches, registration and names, the barrels on the digit 7.
    TMachine() : TMachine(TRowTables{}) {}
    explicit TMachine(const TRowTables& Tables);
    TMachine(const TMachine& Other);
    TMachine& operator=(const TMachine& Other);
    ~TMachine() = default;

    // --- Inputs -------------------------------------------------------------------------------
    void Image1Click();   // a genuine token: a click on any coin of the stack
    void iBadCoinClick(); // the counterfeit token
    void iPlayClick();
    void iReturnClick();
    void btnTechResetClick();
    void TimerFired(TTimerId Timer);
    void JackTimerTimer();
    void TimerSync1Timer();
    void TimerSync2Timer();
    void TimerSync3Timer();
    // Many ticks of one spin timer at once: a spin tick only turns its barrel one frame on.
    void SpinTicks(TTimerId SpinTimer, int64_t Ticks);
    void TimerB1Timer();
    void TimerB2Timer();
    void TimerB3Timer();
    // All five switches of one automaton at once, as its check list holds them.
    void SetLogSwitches(int32_t Number, const TLogSwitches& Switches);
    void SetLogSwitch(int32_t Number, TLogItem Item, bool On);
    TLogSwitches LogSwitches(int32_t Number) const;

    // --- The whole state at once ---------------------------------------------------------------
    TMachineSnapshot Snapshot() const;
    // Puts the machine into the state as it stands; timers count as set anew, so a driver takes
    // them up whatever their history. Observers are told as after an input.
    void Restore(const TMachineSnapshot& State);
    // A fixed seed instead of the clock's, so that the stop delays can be replayed.
    void Seed(uint32_t RandSeed) { FRandom.RandSeed = RandSeed; }

    // --- What the machine holds ----------------------------------------------------------------
    int32_t Bank() const { return FBank; }
    int32_t UserTokens() const { return FUserTokens; }
    int32_t JackPot() const { return FJackPot; }
    int32_t Stake() const { return FStake; }
    bool TrayClosed() const { return FTrayClosed; }
    const TDisplays& Displays() const { return FDisplays; }
    uint32_t RandSeed() const { return FRandom.RandSeed; }

    // --- Operations the automata call ----------------------------------------------------------
    void SetTrayOpen(bool Open);
    void ClearWin() { FJackPot = 0; }
    void ClearStake() { FStake = 0; }
    void PayToken();
    bool TokenGood() const { return FTokenGood; }
    void StakeToBank();
    void ReturnStake();
    void ComputeWin();
    void RefreshPlayer();
    void ShowStake();
    void ShowBank();
    void ShowWin();
    // Barrels are numbered 1..3.
    int32_t SnapBarrel(int32_t Barrel);
    int32_t FrameIndex(int32_t Barrel) const;
    // The current index, or one outside the picture's frames, changes nothing.
    void SetFrameIndex(int32_t Barrel, int32_t Frame);
    // 0 stops; the interval it already has changes nothing; any other value restarts the period.
    void SetInterval(TTimerId Timer, int32_t Milliseconds);
    int32_t Interval(TTimerId Timer) const { return FTimers[Timer].Interval; }
    const TTimerState& Timer(TTimerId Timer) const { return FTimers[Timer]; }
    int32_t Random(int32_t Range) { return FRandom.Random(Range); }
    void WriteLog(const std::string& Message);
    void NoteStep(const TStep& Step) {
        FSteps.push_back(Step);
        FChanges |= ChangedSteps;
        if (FStepListener)
            FStepListener->StepTaken(Step);
    }

    // --- Outputs ------------------------------------------------------------------------------
    void SetSink(TProtocolSink* Sink) { FSink = Sink; }
    TProtocolSink* Sink() const { return FSink; }
    void AddObserver(TMachineObserver* Observer);
    void RemoveObserver(TMachineObserver* Observer);
    // The steps the automata took in the last input, in the order of their transition messages.
    const std::vector<TStep>& Steps() const { return FSteps; }
    // Who is told of every step from now on, after those already told; a copy of the machine
    // has none. A listener removes itself before it goes.
    void AddStepListener(TStepListener* Listener);
    void RemoveStepListener(TStepListener* Listener);
    const std::vector<TStepListener*>& StepListeners() const { return FFanOut.Listeners; }

    // What set off the input at hand: a player's action, by its handler, or a timer. Outside an
    // input, or for a change of switches or a restore, neither.
    struct TOrigin {
        void (TMachine::*Player)() = nullptr;
        TTimerId Timer = TimerCount;
    };
    const TOrigin& Origin() const { return FOrigin; }

    // An automaton to deliver an event to; its fields change only through the machine.
    TAutomaton& Automaton(int32_t Number);
    const TAutomaton& Automaton(int32_t Number) const;
    const TAutomatonSlotMachine& AutomatonSlotMachine() const { return FAutomatonSlotMachine; }
    const TAutomatonMoneyTray& AutomatonMoneyTray() const { return FAutomatonMoneyTray; }
    const TAutomatonBarrelsEngine& AutomatonBarrelsEngine() const {
        return FAutomatonBarrelsEngine;
    }
    // The registrations and the names the protocol shows.
    const TAutomatonsDispatcher& AutomatonsDispatcher() const { return FAutomatonsDispatcher; }
    int32_t State(int32_t Automaton) const { return this->Automaton(Automaton).FState; }

private:
    // The one way in for tests that plant a fault in the names; nothing else may change them.
    friend struct TMachineTestSeam;

    TAutomatonsDispatcher FAutomatonsDispatcher;
    TAutomatonSlotMachine FAutomatonSlotMachine;
    TAutomatonMoneyTray FAutomatonMoneyTray;
    TAutomatonBarrelsEngine FAutomatonBarrelsEngine;

    // Collects what one input changes and tells the observers once it is handled, even when
    // the handling ends in an error.
    class TInput {
    public:
        explicit TInput(TMachine& Machine);
        TInput(TMachine& Machine, void (TMachine::*Player)());
        TInput(TMachine& Machine, TTimerId Timer);
        ~TInput();
        TInput(const TInput&) = delete;
        TInput& operator=(const TInput&) = delete;

    private:
        TInput(TMachine& Machine, const TOrigin& Origin);

        TMachine& FMachine;
        std::array<int32_t, 3> FStates;
        bool FOuter;
    };

    void Register();
    void CopyValues(const TMachine& Other);
    void CopyNames(const TMachine& Other);
    void SetState(const TMachineSnapshot& State);
    void AttachStepListeners();
    void StopBarrel(TTimerId StopTimer, TTimerId SpinTimer, int32_t Barrel);

    TProtocolSink* FSink = nullptr;
    TStepListener* FStepListener = nullptr; // the only listener, the fan-out, or none
    TStepFanOut FFanOut;
    TOrigin FOrigin;
    std::vector<TMachineObserver*> FObservers;
    std::vector<TStep> FSteps;
    unsigned FChanges = 0;
    int FInputDepth = 0;
};

} // namespace sm
