#include "slotmachine/atmSlotMachine.h"

#include "slotmachine/Machine.h"
#include "slotmachine/Rules.h"

namespace sm {

namespace {

// A stop delay, one draw each.
int32_t RandomDelay(TMachine& Machine) {
    return ShortestStopDelay + Machine.Random(StopDelayDraws);
}

} // namespace

// --- What the three share ---------------------------------------------------------------------

template <class TDerived>
TTableAutomaton<TDerived>::TTableAutomaton(int32_t Number, TMachine& Machine, TRows RowTable)
    : TAutomaton(Number, AutomatonName[Number]), FMachine(Machine),
      FRowTable(RowTable.empty() ? Rows() : RowTable) {}

template <class TDerived> void TTableAutomaton<TDerived>::Step(int32_t Event) {
    auto& Self = static_cast<TDerived&>(*this);
    // A state it does not know: a message when asked for, nothing else.
    if (FState < 0 || FState >= TDerived::StateCount) {
        if (FLogErrors)
            FMachine.WriteLog(UnknownStateMessage(FNumber, Event, FState));
        return;
    }
    if constexpr (requires { TDerived::RelayState; }) {
        // In the relay state the target sees every event first.
        if (FState == TDerived::RelayState)
            FDispatcher->FAutomata[TDerived::RelayTarget]->HandleEvent(Event);
    }
    const int32_t From = FState;
    const int Row = TakeFirstRow<TDerived>(Self, FRowTable, Event);
    FMachine.NoteStep({FNumber, Event, From, Row, FState});
}

template <class TDerived> auto TTableAutomaton<TDerived>::Rows() -> TRows {
    return TDerived::FRows;
}

template <class TDerived> std::span<const TEntry<TDerived>> TTableAutomaton<TDerived>::Entries() {
    return TDerived::FEntries;
}

template <class TDerived> void TTableAutomaton<TDerived>::EnterState() {
    RunEntry<TDerived>(static_cast<TDerived&>(*this), Entries());
}

template <class TDerived> void TTableAutomaton<TDerived>::WriteLog(const std::string& Message) {
    FMachine.WriteLog(Message);
}

// --- A0 ---------------------------------------------------------------------------------------

// clang-format off
const TRow<TAutomatonSlotMachine> TAutomatonSlotMachine::FRows[] = {
//  state      event  guard                      actions, in order                             next
  { Waiting,   e11,   &T::MoneyTrayAccepted,     {},                                           Accepting },
  { Waiting,   e11,   &T::MoneyTrayRejected,     {&T::CloseTray},                              Error     },
  { Accepting, e11,   &T::MoneyTrayRejected,     {&T::CloseTray},                              Error     },
  { Accepting, e1,    &T::MoneyTrayAccepted,     {{{&T::SendToMoneyTray, e12}}},               Game      },
  { Accepting, e2,    nullptr,                   {&T::CloseTray, {&T::SendToMoneyTray, e2}},   Waiting   },
  { Game,      e5,    &T::HasWinAndBankNotEmpty, {&T::PayWinToken},                            Paying    },
  { Game,      e5,    &T::NoWin,                 {},                                           Waiting   },
  { Error,     e2,    &T::MoneyTrayRejected,     {{{&T::SendToMoneyTray, e2}}},                Waiting   },
  { Error,     e3,    &T::MoneyTrayNotRejected,  {&T::ClearWin, &T::ShowWin, &T::ShowBank},    Waiting   },
  { Paying,    e6,    &T::HasWinAndBankNotEmpty, {&T::PayWinToken, &T::ShowWin, &T::ShowBank}, Paying    },
  { Paying,    e6,    &T::HasWinAndBankEmpty,    {&T::ShowWin, &T::ShowBank},                  Error     },
  { Paying,    e6,    &T::NoWin,                 {&T::ShowWin, &T::ShowBank},                  Waiting   },
};

const TEntry<TAutomatonSlotMachine> TAutomatonSlotMachine::FEntries[] = {
  { Waiting,   {&T::OpenTray, &T::ClearStake, &T::ShowStake} },
  { Game,      {{{&T::SendToBarrels, e0}}} },
};

// The diagrams' words for the guards and actions above; a send is drawn as its event and target.
const TGuardLabel<TAutomatonSlotMachine> TAutomatonSlotMachine::FGuardLabels[] = {
  { &T::MoneyTrayAccepted,     "A1=1" },
  { &T::MoneyTrayRejected,     "A1=2" },
  { &T::MoneyTrayNotRejected,  "A1≠2" },
  { &T::HasWinAndBankNotEmpty, "выигрыш>0 и банк>0" },
  { &T::HasWinAndBankEmpty,    "выигрыш>0 и банк=0" },
  { &T::NoWin,                 "выигрыш=0" },
};

const TActionLabel<TAutomatonSlotMachine> TAutomatonSlotMachine::FActionLabels[] = {
  { &T::CloseTray,   "закрыть щель" },
  { &T::OpenTray,    "открыть щель" },
  { &T::PayWinToken, "выдать жетон" },
  { &T::ClearWin,    "выигрыш:=0" },
  { &T::ClearStake,  "ставка:=0" },
  { &T::ShowStake,   "показать ставку" },
  { &T::ShowWin,     "показать выигрыш" },
  { &T::ShowBank,    "показать банк" },
};

const TSendLabel<TAutomatonSlotMachine> TAutomatonSlotMachine::FSendLabels[] = {
  { &T::SendToMoneyTray, A1 },
  { &T::SendToBarrels,   A2 },
};
// clang-format on

TAutomatonSlotMachine::TAutomatonSlotMachine(TMachine& Machine, TRows RowTable)
    : TTableAutomaton(A0, Machine, RowTable) {}

TTableLabels<TAutomatonSlotMachine> TAutomatonSlotMachine::Labels() {
    return {FGuardLabels, FActionLabels, FSendLabels};
}

bool TAutomatonSlotMachine::HasWin() const {
    return FMachine.JackPot() > 0;
}

bool TAutomatonSlotMachine::BankNotEmpty() const {
    return FMachine.Bank() > 0;
}

int32_t TAutomatonSlotMachine::MoneyTrayState() const {
    return FDispatcher->FAutomata[A1]->FState;
}

bool TAutomatonSlotMachine::MoneyTrayAccepted() const {
    return MoneyTrayState() == A1State::Accepted;
}

bool TAutomatonSlotMachine::MoneyTrayRejected() const {
    return MoneyTrayState() == A1State::Rejected;
}

void TAutomatonSlotMachine::CloseTray() {
    FMachine.SetTrayOpen(false);
}

void TAutomatonSlotMachine::OpenTray() {
    FMachine.SetTrayOpen(true);
}

void TAutomatonSlotMachine::PayWinToken() {
    FMachine.PayToken();
}

void TAutomatonSlotMachine::ClearWin() {
    FMachine.ClearWin();
}

void TAutomatonSlotMachine::ClearStake() {
    FMachine.ClearStake();
}

void TAutomatonSlotMachine::ShowStake() {
    FMachine.ShowStake();
}

void TAutomatonSlotMachine::ShowWin() {
    FMachine.ShowWin();
}

void TAutomatonSlotMachine::ShowBank() {
    FMachine.ShowBank();
}

void TAutomatonSlotMachine::SendToMoneyTray(int32_t Event) {
    FDispatcher->FAutomata[A1]->HandleEvent(Event);
}

void TAutomatonSlotMachine::SendToBarrels(int32_t Event) {
    FDispatcher->FAutomata[A2]->HandleEvent(Event);
}

// --- A1 ---------------------------------------------------------------------------------------

// clang-format off
const TRow<TAutomatonMoneyTray> TAutomatonMoneyTray::FRows[] = {
//  state      event  guard             actions, in order                                    next
  { Empty,     e10,   &T::TokenIsGood,  {&T::ShowStake},                                     Accepted },
  { Empty,     e10,   &T::TokenIsBad,   {&T::ShowStake},                                     Rejected },
  { Accepted,  e2,    nullptr,          {&T::GiveStakeBack, &T::ShowStake},                  Empty    },
  { Accepted,  e10,   &T::TokenIsGood,  {&T::ShowStake},                                     Accepted },
  { Accepted,  e10,   &T::TokenIsBad,   {&T::ShowStake},                                     Rejected },
  { Accepted,  e12,   nullptr,          {&T::CloseTray, &T::MoveStakeToBank, &T::ShowBank},  Empty    },
  { Rejected,  e2,    nullptr,          {&T::GiveStakeBack},                                 Empty    },
};

const TEntry<TAutomatonMoneyTray> TAutomatonMoneyTray::FEntries[] = {
  { Accepted,  {{{&T::SendToGame, e11}}} },
  { Rejected,  {{{&T::SendToGame, e11}}} },
};

const TGuardLabel<TAutomatonMoneyTray> TAutomatonMoneyTray::FGuardLabels[] = {
  { &T::TokenIsGood, "жетон настоящий" },
  { &T::TokenIsBad,  "жетон фальшивый" },
};

const TActionLabel<TAutomatonMoneyTray> TAutomatonMoneyTray::FActionLabels[] = {
  { &T::ShowStake,       "показать ставку" },
  { &T::ShowBank,        "показать банк" },
  { &T::CloseTray,       "закрыть щель" },
  { &T::MoveStakeToBank, "ставку в банк" },
  { &T::GiveStakeBack,   "вернуть ставку" },
};

const TSendLabel<TAutomatonMoneyTray> TAutomatonMoneyTray::FSendLabels[] = {
  { &T::SendToGame, A0 },
};
// clang-format on

TAutomatonMoneyTray::TAutomatonMoneyTray(TMachine& Machine, TRows RowTable)
    : TTableAutomaton(A1, Machine, RowTable) {}

TTableLabels<TAutomatonMoneyTray> TAutomatonMoneyTray::Labels() {
    return {FGuardLabels, FActionLabels, FSendLabels};
}

bool TAutomatonMoneyTray::TokenIsGood() const {
    return FMachine.TokenGood();
}

void TAutomatonMoneyTray::ShowStake() {
    FMachine.ShowStake();
}

void TAutomatonMoneyTray::ShowBank() {
    FMachine.ShowBank();
}

void TAutomatonMoneyTray::CloseTray() {
    FMachine.SetTrayOpen(false);
}

void TAutomatonMoneyTray::MoveStakeToBank() {
    FMachine.StakeToBank();
}

void TAutomatonMoneyTray::GiveStakeBack() {
    FMachine.ReturnStake();
}

void TAutomatonMoneyTray::SendToGame(int32_t Event) {
    FDispatcher->FAutomata[A0]->HandleEvent(Event);
}

// --- A2 ---------------------------------------------------------------------------------------

// clang-format off
const TRow<TAutomatonBarrelsEngine> TAutomatonBarrelsEngine::FRows[] = {
//  state          event  guard    actions, in order                   next
  { Stopped,       e0,    nullptr, {&T::StartBarrels},                 Spinning      },
  { Spinning,      e22,   nullptr, {},                                 FirstStopped  },
  { Spinning,      e1,    nullptr, {&T::ArmFirstStopTimer},            Spinning      },
  { FirstStopped,  e23,   nullptr, {},                                 SecondStopped },
  { SecondStopped, e5,    nullptr, {&T::CalculateWin, &T::ShowWin},    Stopped       },
};

const TEntry<TAutomatonBarrelsEngine> TAutomatonBarrelsEngine::FEntries[] = {
  { FirstStopped,  {&T::ArmSecondStopTimer} },
  { SecondStopped, {&T::ArmThirdStopTimer} },
};

const TActionLabel<TAutomatonBarrelsEngine> TAutomatonBarrelsEngine::FActionLabels[] = {
  { &T::StartBarrels,       "запустить барабаны" },
  { &T::ArmFirstStopTimer,  "завести таймер B1" },
  { &T::ArmSecondStopTimer, "завести таймер B2" },
  { &T::ArmThirdStopTimer,  "завести таймер B3" },
  { &T::CalculateWin,       "подсчитать выигрыш" },
  { &T::ShowWin,            "показать выигрыш" },
};
// clang-format on

TAutomatonBarrelsEngine::TAutomatonBarrelsEngine(TMachine& Machine, TRows RowTable)
    : TTableAutomaton(A2, Machine, RowTable) {}

TTableLabels<TAutomatonBarrelsEngine> TAutomatonBarrelsEngine::Labels() {
    return {{}, FActionLabels, {}};
}

void TAutomatonBarrelsEngine::StartBarrels() {
    FMachine.SetInterval(TimerSync1, SpinIntervals[0]);
    FMachine.SetInterval(TimerSync2, SpinIntervals[1]);
    FMachine.SetInterval(TimerSync3, SpinIntervals[2]);
}

void TAutomatonBarrelsEngine::ArmFirstStopTimer() {
    // Further presses neither re-arm nor delay a running stop timer.
    if (FMachine.Interval(TimerB1) == 0)
        FMachine.SetInterval(TimerB1, RandomDelay(FMachine));
}

void TAutomatonBarrelsEngine::ArmSecondStopTimer() {
    FMachine.SetInterval(TimerB2, RandomDelay(FMachine));
}

void TAutomatonBarrelsEngine::ArmThirdStopTimer() {
    FMachine.SetInterval(TimerB3, RandomDelay(FMachine));
}

void TAutomatonBarrelsEngine::CalculateWin() {
    FMachine.ComputeWin();
}

void TAutomatonBarrelsEngine::ShowWin() {
    FMachine.ShowWin();
}

// Here, where the tables are complete.
template class TTableAutomaton<TAutomatonSlotMachine>;
template class TTableAutomaton<TAutomatonMoneyTray>;
template class TTableAutomaton<TAutomatonBarrelsEngine>;

} // namespace sm
