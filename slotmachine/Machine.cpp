#include "slotmachine/Machine.h"

#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace sm {

namespace {

// The field each switch of the check list sets.
constexpr std::array<bool TAutomatonSnapshot::*, LogItems> LogSwitchFields = {
    &TAutomatonSnapshot::FLogStart, &TAutomatonSnapshot::FLogTransition,
    &TAutomatonSnapshot::FLogFinish, &TAutomatonSnapshot::FLogInput,
    &TAutomatonSnapshot::FLogOutput};

constexpr TLogSwitches StartUpSwitches = [] {
    TLogSwitches Switches{};
    Switches[LogStart] = Switches[LogTransition] = Switches[LogFinish] = true;
    return Switches;
}();

void PutLogSwitches(TAutomatonSnapshot& Automaton, const TLogSwitches& Switches) {
    for (size_t Item = 0; Item < LogItems; ++Item)
        Automaton.*LogSwitchFields[Item] = Switches[Item];
}

} // namespace

TMachine::TMachine(const TRowTables& Tables)
    : FAutomatonSlotMachine(*this, Tables.A0), FAutomatonMoneyTray(*this, Tables.A1),
      FAutomatonBarrelsEngine(*this, Tables.A2) {
    FTrayClosed = false;
    FBank = 50;
    FUserTokens = 50;
    FTokenGood = true;
    RefreshPlayer();
    FRandom.Randomize();
    for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
        SetFrameIndex(Barrel, StartFrame);
    for (int32_t Number = A0; Number <= A2; ++Number)
        PutLogSwitches(Automaton(Number), StartUpSwitches);
    Register();
    InstallNames(FAutomatonsDispatcher);
    FChanges = 0;
}

TMachine::TMachine(const TMachine& Other)
    : TMachineState(Other), FAutomatonSlotMachine(*this), FAutomatonMoneyTray(*this),
      FAutomatonBarrelsEngine(*this) {
    Register();
    CopyValues(Other);
}

TMachine& TMachine::operator=(const TMachine& Other) {
    if (this != &Other) {
        CopyNames(Other);
        Restore(Other.Snapshot());
    }
    return *this;
}

void TMachine::Register() {
    FAutomatonsDispatcher.AddAutomaton(&FAutomatonSlotMachine);
    FAutomatonsDispatcher.AddAutomaton(&FAutomatonMoneyTray);
    FAutomatonsDispatcher.AddAutomaton(&FAutomatonBarrelsEngine);
}

void TMachine::CopyValues(const TMachine& Other) {
    SetState(Other.Snapshot());
    CopyNames(Other);
}

// The registrations stay this machine's own; the names and the tables the automata run are
// copied.
void TMachine::CopyNames(const TMachine& Other) {
    FAutomatonsDispatcher.FSpareList1 = Other.FAutomatonsDispatcher.FSpareList1;
    FAutomatonsDispatcher.FSpareList2 = Other.FAutomatonsDispatcher.FSpareList2;
    FAutomatonsDispatcher.FStateNames = Other.FAutomatonsDispatcher.FStateNames;
    FAutomatonsDispatcher.FEventNames = Other.FAutomatonsDispatcher.FEventNames;
    FAutomatonSlotMachine.FRowTable = Other.FAutomatonSlotMachine.FRowTable;
    FAutomatonMoneyTray.FRowTable = Other.FAutomatonMoneyTray.FRowTable;
    FAutomatonBarrelsEngine.FRowTable = Other.FAutomatonBarrelsEngine.FRowTable;
}

TMachineSnapshot TMachine::Snapshot() const {
    const TMachineState& Own = *this;
    TMachineSnapshot State{Own, {}};
    for (int32_t Number = A0; Number <= A2; ++Number)
        State.Automata[static_cast<size_t>(Number)] = Automaton(Number).Snapshot();
    return State;
}

void TMachine::SetState(const TMachineSnapshot& State) {
    TMachineState::operator=(State);
    for (int32_t Number = A0; Number <= A2; ++Number)
        Automaton(Number).Restore(State.Automata[static_cast<size_t>(Number)]);
}

void TMachine::Restore(const TMachineSnapshot& State) {
    const TInput Input(*this);
    const auto Before = FTimers;
    SetState(State);
    // Every timer counts as set anew, so a driver takes up the intervals whatever their history.
    for (size_t Id = 0; Id < FTimers.size(); ++Id)
        FTimers[Id].Generation = std::max(Before[Id].Generation, State.FTimers[Id].Generation) + 1;
    FChanges = ChangedFields | ChangedBarrels | ChangedTimers | ChangedStates | ChangedSwitches;
}

TAutomaton& TMachine::Automaton(int32_t Number) {
    return const_cast<TAutomaton&>(std::as_const(*this).Automaton(Number));
}

const TAutomaton& TMachine::Automaton(int32_t Number) const {
    switch (Number) {
    case A0:
        return FAutomatonSlotMachine;
    case A1:
        return FAutomatonMoneyTray;
    case A2:
        return FAutomatonBarrelsEngine;
    default:
        throw std::out_of_range("no automaton A" + std::to_string(Number));
    }
}

// --- Change notices ---------------------------------------------------------------------------

TMachine::TInput::TInput(TMachine& Machine) : TInput(Machine, TOrigin{}) {}

TMachine::TInput::TInput(TMachine& Machine, void (TMachine::*Player)())
    : TInput(Machine, TOrigin{Player, TimerCount}) {}

TMachine::TInput::TInput(TMachine& Machine, TTimerId Timer)
    : TInput(Machine, TOrigin{nullptr, Timer}) {}

TMachine::TInput::TInput(TMachine& Machine, const TOrigin& Origin)
    : FMachine(Machine), FStates{Machine.FAutomatonSlotMachine.FState,
                                 Machine.FAutomatonMoneyTray.FState,
                                 Machine.FAutomatonBarrelsEngine.FState},
      FOuter(Machine.FInputDepth++ == 0) {
    if (FOuter) {
        Machine.FSteps.clear();
        Machine.FOrigin = Origin;
    }
}

TMachine::TInput::~TInput() {
    --FMachine.FInputDepth;
    if (!FOuter)
        return;
    FMachine.FOrigin = {};
    if (FMachine.FStepListener)
        FMachine.FStepListener->InputHandled();
    const std::array<int32_t, 3> States = {FMachine.FAutomatonSlotMachine.FState,
                                           FMachine.FAutomatonMoneyTray.FState,
                                           FMachine.FAutomatonBarrelsEngine.FState};
    if (States != FStates)
        FMachine.FChanges |= ChangedStates;
    const unsigned Changes = std::exchange(FMachine.FChanges, 0u);
    if (Changes == 0)
        return;
    // By index: an observer that stops observing while it is told shortens the list under us.
    // NOLINTNEXTLINE(modernize-loop-convert): iterators would not survive that
    for (size_t Index = 0; Index < FMachine.FObservers.size(); ++Index)
        FMachine.FObservers[Index]->MachineChanged(Changes);
}

void TMachine::AddObserver(TMachineObserver* Observer) {
    if (std::find(FObservers.begin(), FObservers.end(), Observer) == FObservers.end())
        FObservers.push_back(Observer);
}

void TMachine::RemoveObserver(TMachineObserver* Observer) {
    std::erase(FObservers, Observer);
}

void TMachine::AddStepListener(TStepListener* Listener) {
    std::vector<TStepListener*>& Listeners = FFanOut.Listeners;
    if (Listener && std::find(Listeners.begin(), Listeners.end(), Listener) == Listeners.end())
        Listeners.push_back(Listener);
    AttachStepListeners();
}

void TMachine::RemoveStepListener(TStepListener* Listener) {
    std::erase(FFanOut.Listeners, Listener);
    AttachStepListeners();
}

void TMachine::AttachStepListeners() {
    const std::vector<TStepListener*>& Listeners = FFanOut.Listeners;
    FStepListener = Listeners.empty()       ? nullptr
                    : Listeners.size() == 1 ? Listeners.front()
                                            : &FFanOut;
    for (int32_t Number = A0; Number <= A2; ++Number)
        Automaton(Number).FNotices = FStepListener;
}

void TStepFanOut::EventReceived(const TAutomaton& Automaton, int32_t Event) {
    Tell([&](TStepListener& Each) { Each.EventReceived(Automaton, Event); });
}

void TStepFanOut::EventHandled(const TAutomaton& Automaton, int32_t Event) {
    Tell([&](TStepListener& Each) { Each.EventHandled(Automaton, Event); });
}

void TStepFanOut::StepTaken(const TStep& Step) {
    Tell([&](TStepListener& Each) { Each.StepTaken(Step); });
}

void TStepFanOut::Message(const std::string& Text) {
    Tell([&](TStepListener& Each) { Each.Message(Text); });
}

void TStepFanOut::InputHandled() noexcept {
    Tell([](TStepListener& Each) { Each.InputHandled(); });
}

// --- Inputs -----------------------------------------------------------------------------------

void TMachine::Image1Click() {
    const TInput Input(*this, &TMachine::Image1Click);
    if (FUserTokens == 0 || FTrayClosed)
        return;
    FTokenGood = true;
    --FUserTokens;
    ++FStake;
    FAutomatonMoneyTray.HandleEvent(e10);
    RefreshPlayer();
}

void TMachine::iBadCoinClick() {
    const TInput Input(*this, &TMachine::iBadCoinClick);
    if (FTrayClosed)
        return;
    FTokenGood = false;
    FAutomatonMoneyTray.HandleEvent(e10);
    RefreshPlayer();
}

void TMachine::iPlayClick() {
    const TInput Input(*this, &TMachine::iPlayClick);
    FAutomatonSlotMachine.HandleEvent(e1);
}

void TMachine::iReturnClick() {
    const TInput Input(*this, &TMachine::iReturnClick);
    FAutomatonSlotMachine.HandleEvent(e2);
    RefreshPlayer();
}

void TMachine::btnTechResetClick() {
    const TInput Input(*this, &TMachine::btnTechResetClick);
    FAutomatonSlotMachine.HandleEvent(e3);
}

void TMachine::TimerFired(TTimerId Timer) {
    switch (Timer) {
    case TimerSync1:
        return TimerSync1Timer();
    case TimerSync2:
        return TimerSync2Timer();
    case TimerSync3:
        return TimerSync3Timer();
    case TimerB1:
        return TimerB1Timer();
    case TimerB2:
        return TimerB2Timer();
    case TimerB3:
        return TimerB3Timer();
    case JackTimer:
        return JackTimerTimer();
    case TimerCount:
        break;
    }
    throw std::out_of_range("no timer " + std::to_string(Timer));
}

void TMachine::JackTimerTimer() {
    const TInput Input(*this, JackTimer);
    if (FBank == 0 || FJackPot == 0)
        SetInterval(JackTimer, 0);
    FAutomatonSlotMachine.HandleEvent(e6);
    RefreshPlayer();
}

void TMachine::SpinTicks(TTimerId SpinTimer, int64_t Ticks) {
    if (SpinTimer < TimerSync1 || SpinTimer > TimerSync3)
        throw std::out_of_range("no spin timer " + std::to_string(SpinTimer));
    if (Ticks <= 0)
        return;
    const TInput Input(*this);
    const int32_t Barrel = SpinTimer - TimerSync1 + 1;
    // The first tick leaves the start frame 0 for the cycle 1..60; the rest go round it.
    int32_t Frame = NextSpinFrame(FrameIndex(Barrel));
    Frame = static_cast<int32_t>((Frame - 1 + (Ticks - 1) % 60) % 60 + 1);
    SetFrameIndex(Barrel, Frame);
}

void TMachine::TimerSync1Timer() {
    SpinTicks(TimerSync1, 1);
}

void TMachine::TimerSync2Timer() {
    SpinTicks(TimerSync2, 1);
}

void TMachine::TimerSync3Timer() {
    SpinTicks(TimerSync3, 1);
}

void TMachine::StopBarrel(TTimerId StopTimer, TTimerId SpinTimer, int32_t Barrel) {
    SetInterval(StopTimer, 0);
    SetInterval(SpinTimer, 0);
    SnapBarrel(Barrel);
}

void TMachine::TimerB1Timer() {
    const TInput Input(*this, TimerB1);
    StopBarrel(TimerB1, TimerSync1, 1);
    FAutomatonBarrelsEngine.HandleEvent(e22);
}

void TMachine::TimerB2Timer() {
    const TInput Input(*this, TimerB2);
    StopBarrel(TimerB2, TimerSync2, 2);
    FAutomatonBarrelsEngine.HandleEvent(e23);
}

void TMachine::TimerB3Timer() {
    const TInput Input(*this, TimerB3);
    StopBarrel(TimerB3, TimerSync3, 3);
    FAutomatonSlotMachine.HandleEvent(e5);
}

void TMachine::SetLogSwitches(int32_t Number, const TLogSwitches& Switches) {
    const TInput Input(*this);
    PutLogSwitches(Automaton(Number), Switches);
    FChanges |= ChangedSwitches;
}

void TMachine::SetLogSwitch(int32_t Number, TLogItem Item, bool On) {
    TLogSwitches Switches = LogSwitches(Number);
    Switches.at(static_cast<size_t>(Item)) = On;
    SetLogSwitches(Number, Switches);
}

TLogSwitches TMachine::LogSwitches(int32_t Number) const {
    const TAutomaton& Each = Automaton(Number);
    TLogSwitches Switches{};
    for (size_t Item = 0; Item < LogItems; ++Item)
        Switches[Item] = Each.*LogSwitchFields[Item];
    return Switches;
}

// --- Operations the automata call -------------------------------------------------------------

void TMachine::SetTrayOpen(bool Open) {
    FTrayClosed = !Open;
    FDisplays.Shape1 = Open ? TBrushStyle::bsSolid : TBrushStyle::bsDiagCross;
    FChanges |= ChangedFields;
}

void TMachine::PayToken() {
    --FBank;
    --FJackPot;
    ++FUserTokens;
    SetInterval(JackTimer, PayOutInterval);
}

void TMachine::StakeToBank() {
    FBank += FStake;
}

void TMachine::ReturnStake() {
    FUserTokens += FStake;
    FStake = 0;
    FTokenGood = true;
    RefreshPlayer();
}

void TMachine::ComputeWin() {
    const int32_t S1 = SnapBarrel(1);
    const int32_t S2 = SnapBarrel(2);
    const int32_t S3 = SnapBarrel(3);
    FJackPot = WinFor(S1, S2, S3, FStake);
}

void TMachine::RefreshPlayer() {
    FDisplays.edUser = FUserTokens;
    FDisplays.iBadCoin = FTokenGood;
    FChanges |= ChangedFields;
}

void TMachine::ShowStake() {
    FDisplays.edStake = FStake;
    FChanges |= ChangedFields;
}

void TMachine::ShowBank() {
    FDisplays.edBank = FBank;
    FChanges |= ChangedFields;
}

void TMachine::ShowWin() {
    FDisplays.edJackPot = FJackPot;
    FChanges |= ChangedFields;
}

int32_t TMachine::SnapBarrel(int32_t Barrel) {
    const int32_t Symbol = SymbolOfFrame(FrameIndex(Barrel));
    SetFrameIndex(Barrel, SnapFrameOf(Symbol));
    return Symbol;
}

int32_t TMachine::FrameIndex(int32_t Barrel) const {
    return FDisplays.Barrels.at(static_cast<size_t>(Barrel - 1));
}

void TMachine::SetFrameIndex(int32_t Barrel, int32_t Frame) {
    int32_t& Current = FDisplays.Barrels.at(static_cast<size_t>(Barrel - 1));
    if (Frame == Current || Frame < 0 || Frame >= BarrelFrameCount)
        return;
    Current = Frame;
    FChanges |= ChangedBarrels;
}

void TMachine::SetInterval(TTimerId Timer, int32_t Milliseconds) {
    TTimerState& State = FTimers.at(static_cast<size_t>(Timer));
    Milliseconds = std::max(Milliseconds, 0);
    if (Milliseconds == State.Interval)
        return;
    State.Interval = Milliseconds;
    ++State.Generation;
    FChanges |= ChangedTimers;
}

void TMachine::WriteLog(const std::string& Message) {
    if (FSink)
        FSink->Message(Message);
    if (FStepListener)
        FStepListener->Message(Message);
}

} // namespace sm
