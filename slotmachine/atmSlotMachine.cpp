#include "slotmachine/atmSlotMachine.h"

#include "slotmachine/Protocol.h"
#include "slotmachine/Random.h"
#include "window/FormMain.h"

TLineSink* ProtocolSink = nullptr;

namespace {

// One protocol writer for all three automata.
void WriteMachineLog(const std::string& Message) {
    WriteProtocol(ProtocolSink ? *ProtocolSink : *SlotMachine->Log, Message);
}

// A stop delay: 1000 to 1999 ms, one draw each.
int32_t RandomDelay() {
    return 1000 + Random(1000);
}

// The branch for a state the automaton does not know: a message when asked for, nothing else.
template <class T> bool InUnknownState(const T& Automaton, int32_t Event) {
    if (Automaton.FState >= 0 && Automaton.FState < T::StateCount)
        return false;
    if (Automaton.FLogErrors)
        WriteMachineLog(UnknownStateMessage(Automaton.FNumber, Event, Automaton.FState));
    return true;
}

} // namespace

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
// clang-format on

std::span<const TRow<TAutomatonSlotMachine>> TAutomatonSlotMachine::Rows() {
    return FRows;
}

void TAutomatonSlotMachine::Step(int32_t Event) {
    if (InUnknownState(*this, Event))
        return;
    // While a game runs A2 sees every event first.
    if (FState == Game)
        SendToBarrels(Event);
    TakeFirstRow<T>(*this, FRows, Event);
}

void TAutomatonSlotMachine::EnterState() {
    RunEntry<T>(*this, FEntries);
}

void TAutomatonSlotMachine::WriteLog(const std::string& Message) {
    WriteMachineLog(Message);
}

bool TAutomatonSlotMachine::HasWin() const {
    return SlotMachine->FJackPot > 0;
}

bool TAutomatonSlotMachine::BankNotEmpty() const {
    return SlotMachine->FBank > 0;
}

int32_t TAutomatonSlotMachine::MoneyTrayState() const {
    return FDispatcher->FAutomata[A1]->FState;
}

void TAutomatonSlotMachine::CloseTray() {
    SlotMachine->SetTrayOpen(false);
}

void TAutomatonSlotMachine::OpenTray() {
    SlotMachine->SetTrayOpen(true);
}

void TAutomatonSlotMachine::PayWinToken() {
    SlotMachine->PayToken();
}

void TAutomatonSlotMachine::ClearWin() {
    SlotMachine->FJackPot = 0;
}

void TAutomatonSlotMachine::ClearStake() {
    SlotMachine->FStake = 0;
}

void TAutomatonSlotMachine::ShowStake() {
    SlotMachine->edStake->ShowNumber(SlotMachine->FStake);
}

void TAutomatonSlotMachine::ShowWin() {
    SlotMachine->edJackPot->ShowNumber(SlotMachine->FJackPot);
}

void TAutomatonSlotMachine::ShowBank() {
    SlotMachine->edBank->ShowNumber(SlotMachine->FBank);
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
// clang-format on

std::span<const TRow<TAutomatonMoneyTray>> TAutomatonMoneyTray::Rows() {
    return FRows;
}

void TAutomatonMoneyTray::Step(int32_t Event) {
    if (InUnknownState(*this, Event))
        return;
    TakeFirstRow<T>(*this, FRows, Event);
}

void TAutomatonMoneyTray::EnterState() {
    RunEntry<T>(*this, FEntries);
}

void TAutomatonMoneyTray::WriteLog(const std::string& Message) {
    WriteMachineLog(Message);
}

bool TAutomatonMoneyTray::TokenIsGood() const {
    return SlotMachine->TokenGood();
}

void TAutomatonMoneyTray::ShowStake() {
    SlotMachine->edStake->ShowNumber(SlotMachine->FStake);
}

void TAutomatonMoneyTray::ShowBank() {
    SlotMachine->edBank->ShowNumber(SlotMachine->FBank);
}

void TAutomatonMoneyTray::CloseTray() {
    SlotMachine->SetTrayOpen(false);
}

void TAutomatonMoneyTray::MoveStakeToBank() {
    SlotMachine->StakeToBank();
}

void TAutomatonMoneyTray::GiveStakeBack() {
    SlotMachine->ReturnStake();
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
// clang-format on

std::span<const TRow<TAutomatonBarrelsEngine>> TAutomatonBarrelsEngine::Rows() {
    return FRows;
}

void TAutomatonBarrelsEngine::Step(int32_t Event) {
    if (InUnknownState(*this, Event))
        return;
    TakeFirstRow<T>(*this, FRows, Event);
}

void TAutomatonBarrelsEngine::EnterState() {
    RunEntry<T>(*this, FEntries);
}

void TAutomatonBarrelsEngine::WriteLog(const std::string& Message) {
    WriteMachineLog(Message);
}

void TAutomatonBarrelsEngine::StartBarrels() {
    SlotMachine->TimerSync1->SetInterval(10);
    SlotMachine->TimerSync2->SetInterval(1);
    SlotMachine->TimerSync3->SetInterval(6);
}

void TAutomatonBarrelsEngine::ArmFirstStopTimer() {
    // Further presses neither re-arm nor delay a running stop timer.
    if (SlotMachine->TimerB1->Interval() == 0)
        SlotMachine->TimerB1->SetInterval(RandomDelay());
}

void TAutomatonBarrelsEngine::ArmSecondStopTimer() {
    SlotMachine->TimerB2->SetInterval(RandomDelay());
}

void TAutomatonBarrelsEngine::ArmThirdStopTimer() {
    SlotMachine->TimerB3->SetInterval(RandomDelay());
}

void TAutomatonBarrelsEngine::CalculateWin() {
    SlotMachine->ComputeWin();
}

void TAutomatonBarrelsEngine::ShowWin() {
    SlotMachine->edJackPot->ShowNumber(SlotMachine->FJackPot);
}
