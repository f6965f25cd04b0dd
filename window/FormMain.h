#pragma once

#include "slotmachine/Machine.h"
#include "slotmachine/Protocol.h"
#include "window/Controls.h"
#include "window/Images.h"
#include "window/LogPanel.h"
#include "window/Timer.h"
#include "window/TimerDriver.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

class QAction;

namespace sm {

class TAutomataWindow;

// The window: the view and controller of one machine. Clicks, ticks and check-list toggles
// become the machine's inputs; after each change it shows what the machine's displays hold.
// The machine keeps every account; the window keeps none.
class TSlotMachine : public QWidget, private TMachineObserver {
    Q_OBJECT

public:
    static constexpr int TokenImages = TMachine::TokenImages;

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

    // The machine this window shows; null only after FormDestroy.
    TMachine& Machine() { return *FMachine; }
    const TMachine& Machine() const { return *FMachine; }

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

    // «Автоматы», the automata's state diagrams beside the window: made when first asked for
    // (F2, or the context menu of the background or of the protocol), then shown and raised.
    void ShowAutomata();
    void PlaceBeside(QWidget& Other) const;
    TAutomataWindow* AutomataWindow() const { return FAutomataWindow.get(); }

protected:
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void MachineChanged(unsigned Changes) noexcept override;
    void ShowFields();
    void ShowBarrels();
    void NameBarrels();
    void ShowSwitches();
    TCheckList* LogSettings(int32_t Automaton) const;
    void CopyTicks(int32_t Automaton);

    std::vector<QAction*> FKeyActions; // token, counterfeit, play, return, reset
    std::unique_ptr<TTimerDriver> FTimerDriver;
    std::unique_ptr<TMachine> FMachine;
    std::unique_ptr<TProtocolWriter> FProtocolWriter;
    QAction* FAutomataAction = nullptr;
    std::unique_ptr<TAutomataWindow> FAutomataWindow;
};

} // namespace sm
