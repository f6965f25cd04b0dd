#include "window/FormMain.h"

#include "slotmachine/Random.h"
#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"
#include "slotmachine/atmSlotMachine.h"
#include "window/ErrorBox.h"

#include <QPushButton>

TSlotMachine* SlotMachine = nullptr;

TSlotMachine::TSlotMachine(QWidget* Parent) : QWidget(Parent) {
    SlotMachine = this;
    CreateControls();
    ConnectHandlers();
    FormCreate(this);
}

TSlotMachine::~TSlotMachine() {
    FormDestroy(this);
    if (SlotMachine == this)
        SlotMachine = nullptr;
    if (TErrorBox::Instance().Owner == this)
        TErrorBox::Instance().Owner = nullptr;
}

void TSlotMachine::FormCreate(QObject*) {
    FTrayClosed = false;
    FBank = 50;
    FUserTokens = 50;
    FTokenGood = true;
    RefreshPlayer();
    Randomize();
    FAutomatonsDispatcher = std::make_unique<TAutomatonsDispatcher>();
    FAutomatonSlotMachine = std::make_unique<TAutomatonSlotMachine>(A0, AutomatonName[A0]);
    FAutomatonMoneyTray = std::make_unique<TAutomatonMoneyTray>(A1, AutomatonName[A1]);
    FAutomatonBarrelsEngine = std::make_unique<TAutomatonBarrelsEngine>(A2, AutomatonName[A2]);
    Barrel1->SetFrameIndex(StartFrame);
    Barrel2->SetFrameIndex(StartFrame);
    Barrel3->SetFrameIndex(StartFrame);
    // Programmatic ticks call no handler, so each switch is set beside its tick.
    const std::pair<TCheckList*, TAutomaton*> Settings[] = {
        {cbA0LogSettings, FAutomatonSlotMachine.get()},
        {cbA1LogSettings, FAutomatonMoneyTray.get()},
        {cbA2LogSettings, FAutomatonBarrelsEngine.get()}};
    for (const auto& [List, Automaton] : Settings) {
        List->SetChecked(0, true);
        Automaton->FLogStart = true;
        List->SetChecked(1, true);
        Automaton->FLogTransition = true;
        List->SetChecked(2, true);
        Automaton->FLogFinish = true;
    }
    FAutomatonsDispatcher->AddAutomaton(FAutomatonSlotMachine.get());
    FAutomatonsDispatcher->AddAutomaton(FAutomatonMoneyTray.get());
    FAutomatonsDispatcher->AddAutomaton(FAutomatonBarrelsEngine.get());
    InstallNames(*FAutomatonsDispatcher);
}

void TSlotMachine::FormDestroy(QObject*) {
    // Nothing may reach an automaton once its dispatcher is gone.
    StopTimers();
    FAutomatonsDispatcher.reset();
    FAutomatonSlotMachine.reset();
    FAutomatonMoneyTray.reset();
    FAutomatonBarrelsEngine.reset();
}

void TSlotMachine::StopTimers() {
    for (TTimer* Timer : {TimerSync1, TimerSync2, TimerSync3, TimerB1, TimerB2, TimerB3, JackTimer})
        Timer->SetInterval(0);
}

// --- Operations the automata call -------------------------------------------------------------

void TSlotMachine::SetTrayOpen(bool Open) {
    FTrayClosed = !Open;
    Shape1->SetBrushStyle(Open ? TBrushStyle::bsSolid : TBrushStyle::bsDiagCross);
}

void TSlotMachine::PayToken() {
    --FBank;
    --FJackPot;
    ++FUserTokens;
    JackTimer->SetInterval(250);
}

void TSlotMachine::StakeToBank() {
    FBank += FStake;
}

void TSlotMachine::ReturnStake() {
    FUserTokens += FStake;
    FStake = 0;
    FTokenGood = true;
    RefreshPlayer();
}

void TSlotMachine::ComputeWin() {
    const int32_t S1 = SnapBarrel(Barrel1);
    const int32_t S2 = SnapBarrel(Barrel2);
    const int32_t S3 = SnapBarrel(Barrel3);
    FJackPot = WinFor(S1, S2, S3, FStake);
}

void TSlotMachine::RefreshPlayer() {
    edUser->ShowNumber(FUserTokens);
    for (int Number = 1; Number <= TokenImages; ++Number)
        Image(Number)->setVisible(FUserTokens >= Number);
    iBadCoin->setVisible(FTokenGood);
}

int32_t TSlotMachine::SnapBarrel(TFrameImage* Barrel) {
    const int32_t Symbol = SymbolOfFrame(Barrel->FrameIndex());
    Barrel->SetFrameIndex(SnapFrameOf(Symbol));
    return Symbol;
}

// --- Player's actions and ticks ---------------------------------------------------------------

void TSlotMachine::Image1Click(QObject*) {
    if (FUserTokens == 0 || FTrayClosed)
        return;
    FTokenGood = true;
    --FUserTokens;
    ++FStake;
    FAutomatonMoneyTray->HandleEvent(e10);
    RefreshPlayer();
}

void TSlotMachine::iBadCoinClick(QObject*) {
    if (FTrayClosed)
        return;
    FTokenGood = false;
    FAutomatonMoneyTray->HandleEvent(e10);
    RefreshPlayer();
}

void TSlotMachine::iPlayClick(QObject*) {
    FAutomatonSlotMachine->HandleEvent(e1);
}

void TSlotMachine::iReturnClick(QObject*) {
    FAutomatonSlotMachine->HandleEvent(e2);
    RefreshPlayer();
}

void TSlotMachine::btnTechResetClick(QObject*) {
    FAutomatonSlotMachine->HandleEvent(e3);
}

void TSlotMachine::JackTimerTimer(QObject*) {
    if (FBank == 0 || FJackPot == 0)
        JackTimer->SetInterval(0);
    FAutomatonSlotMachine->HandleEvent(e6);
    RefreshPlayer();
}

void TSlotMachine::SpinTick(TFrameImage* Barrel) {
    Barrel->SetFrameIndex(NextSpinFrame(Barrel->FrameIndex()));
}

void TSlotMachine::TimerSync1Timer(QObject*) {
    SpinTick(Barrel1);
}

void TSlotMachine::TimerSync2Timer(QObject*) {
    SpinTick(Barrel2);
}

void TSlotMachine::TimerSync3Timer(QObject*) {
    SpinTick(Barrel3);
}

void TSlotMachine::StopBarrel(TTimer* StopTimer, TTimer* SpinTimer, TFrameImage* Barrel) {
    StopTimer->SetInterval(0);
    SpinTimer->SetInterval(0);
    SnapBarrel(Barrel);
}

void TSlotMachine::TimerB1Timer(QObject*) {
    StopBarrel(TimerB1, TimerSync1, Barrel1);
    FAutomatonBarrelsEngine->HandleEvent(e22);
}

void TSlotMachine::TimerB2Timer(QObject*) {
    StopBarrel(TimerB2, TimerSync2, Barrel2);
    FAutomatonBarrelsEngine->HandleEvent(e23);
}

void TSlotMachine::TimerB3Timer(QObject*) {
    StopBarrel(TimerB3, TimerSync3, Barrel3);
    FAutomatonSlotMachine->HandleEvent(e5);
}

// --- Log settings -----------------------------------------------------------------------------

void TSlotMachine::CopyTicks(const TCheckList* List, TAutomaton* Automaton) {
    Automaton->FLogStart = List->Checked(0);
    Automaton->FLogTransition = List->Checked(1);
    Automaton->FLogFinish = List->Checked(2);
    Automaton->FLogInput = List->Checked(3);
    Automaton->FLogOutput = List->Checked(4);
}

void TSlotMachine::cbA0LogSettingsClickCheck(QObject*) {
    CopyTicks(cbA0LogSettings, FAutomatonSlotMachine.get());
}

void TSlotMachine::cbA1LogSettingsClickCheck(QObject*) {
    CopyTicks(cbA1LogSettings, FAutomatonMoneyTray.get());
}

void TSlotMachine::cbA2LogSettingsClickCheck(QObject*) {
    CopyTicks(cbA2LogSettings, FAutomatonBarrelsEngine.get());
}
