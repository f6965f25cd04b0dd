#pragma once

#include "window/Controls.h"
#include "window/Images.h"
#include "window/LogPanel.h"
#include "window/Timer.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>

class TAutomaton;
class TAutomatonsDispatcher;
class TAutomatonSlotMachine;
class TAutomatonMoneyTray;
class TAutomatonBarrelsEngine;

// The one window: it holds the machine's accounts beside its controls, owns the dispatcher and
// the three automata, and turns clicks and ticks into events.
class TSlotMachine : public QWidget {
    Q_OBJECT

public:
    static constexpr int TokenImages = 100;

    explicit TSlotMachine(QWidget* Parent = nullptr);
    ~TSlotMachine() override;

    // Controls.
    TTimer* TimerSync1;
    QWidget* Panel1;
    TFrameImage* Barrel1;
    TFrameImage* Barrel2;
    TFrameImage* Barrel3;
    TLogPanel* Log;
    TCheckList* cbA0LogSettings;
    TTimer* TimerB1;
    TTimer* TimerB2;
    TTimer* TimerB3;
    TTimer* JackTimer;
    QLabel* Label1;
    QLabel* Label2;
    TCheckList* cbA1LogSettings;
    QLabel* Label3;
    TCheckList* cbA2LogSettings;
    TNumberField* edBank;
    QLabel* Label4;
    std::array<TImage*, TokenImages> Images; // Images[0] is Image1
    TShape* Shape1;
    QLabel* Label5;
    TNumberField* edStake;
    TTimer* TimerSync2;
    TTimer* TimerSync3;
    TNumberField* edJackPot;
    QLabel* Label6;
    TImage* iBadCoin;
    TImage* iPlay;
    TImage* iReturn;
    TNumberField* edUser;
    QLabel* Label7;
    QPushButton* btnTechReset;

    TImage* Image(int Number) const { return Images[static_cast<size_t>(Number - 1)]; }

    std::unique_ptr<TAutomatonsDispatcher> FAutomatonsDispatcher;
    std::unique_ptr<TAutomatonSlotMachine> FAutomatonSlotMachine;
    std::unique_ptr<TAutomatonMoneyTray> FAutomatonMoneyTray;
    std::unique_ptr<TAutomatonBarrelsEngine> FAutomatonBarrelsEngine;

    // The machine's accounts, in tokens.
    int32_t FBank = 0;
    int32_t FUserTokens = 0;
    int32_t FJackPot = 0;
    int32_t FStake = 0;
    bool FTrayClosed = false;
    bool FTokenGood = false;

    // Operations the automata call.
    void SetTrayOpen(bool Open);
    void PayToken();
    bool TokenGood() const { return FTokenGood; }
    void StakeToBank();
    void ReturnStake();
    void ComputeWin();
    void RefreshPlayer();
    int32_t SnapBarrel(TFrameImage* Barrel);

    // Handlers; the sender is ignored.
    void FormCreate(QObject* Sender);
    void FormDestroy(QObject* Sender);
    void Image1Click(QObject* Sender);
    void iBadCoinClick(QObject* Sender);
    void iPlayClick(QObject* Sender);
    void iReturnClick(QObject* Sender);
    void btnTechResetClick(QObject* Sender);
    void JackTimerTimer(QObject* Sender);
    void TimerSync1Timer(QObject* Sender);
    void TimerSync2Timer(QObject* Sender);
    void TimerSync3Timer(QObject* Sender);
    void TimerB1Timer(QObject* Sender);
    void TimerB2Timer(QObject* Sender);
    void TimerB3Timer(QObject* Sender);
    void cbA0LogSettingsClickCheck(QObject* Sender);
    void cbA1LogSettingsClickCheck(QObject* Sender);
    void cbA2LogSettingsClickCheck(QObject* Sender);

private:
    void CreateControls();
    void ConnectHandlers();
    void StopTimers();
    void SpinTick(TFrameImage* Barrel);
    void StopBarrel(TTimer* StopTimer, TTimer* SpinTimer, TFrameImage* Barrel);
    static void CopyTicks(const TCheckList* List, TAutomaton* Automaton);
};

// The program's one window, set before FormCreate runs.
extern TSlotMachine* SlotMachine;
