#pragma once

#include "sessions/Coverage.h"
#include "sessions/Script.h"
#include "sessions/Session.h"
#include "sessions/SessionRecorder.h"
#include "slotmachine/Machine.h"
#include "slotmachine/Protocol.h"
#include "window/Controls.h"
#include "window/HistoryControl.h"
#include "window/Images.h"
#include "window/LogPanel.h"
#include "window/MachineClock.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QAction;

namespace sm {

class TAutomataWindow;
class TClockState;
class TWindowBreakpoints;
class TRecovery;

// The window: the view and controller of one machine. Clicks, ticks and check-list toggles
// become the machine's inputs; after each change it shows what the machine's displays hold.
// The machine keeps every account; the window keeps none. The machine runs on the window's
// clock, which can be slowed down, paused and stepped; what the user does is recorded from
// start-up as a session script, and a script can be played back.
class TSlotMachine : public QWidget, private TMachineObserver {
    Q_OBJECT

public:
    static constexpr int TokenImages = TMachine::TokenImages;

    explicit TSlotMachine(QWidget* Parent = nullptr);
    ~TSlotMachine() override;

    // Controls.
    QWidget* Panel1;
    TFrameImage* Barrel1;
    TFrameImage* Barrel2;
    TFrameImage* Barrel3;
    TLogPanel* Log;
    TCheckList* cbA0LogSettings;
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
    TNumberField* edJackPot;
    QLabel* Label6;
    TImage* iBadCoin;
    TImage* iPlay;
    TImage* iReturn;
    TNumberField* edUser;
    QLabel* Label7;
    QPushButton* btnTechReset;

    TImage* Image(int Number) const { return Images[static_cast<size_t>(Number - 1)]; }

    // The machine this window shows; gone only after FormDestroy.
    TMachine& Machine() { return FClock->Machine(); }
    const TMachine& Machine() const { return FClock->Machine(); }
    TMachineClock& Clock() { return *FClock; }
    // The wall clock's reading at start-up, from which the protocol's stamps count.
    QDateTime SessionStart() const { return FSessionStart; }

    // The session so far as a script the companion replays, to the present moment.
    QByteArray SessionScript();
    // What the user did from start-up, as recorded.
    const TSessionRecorder& Recorder() const { return *FRecorder; }
    // Asks where and saves the session there: false when the user cancelled or it failed.
    bool ChooseAndSaveSession();
    // Each an empty string, or why it failed (then nothing changed): the session script, the
    // protocol panel's text as UTF-8, a session script read and played from start-up.
    QString SaveSession(const QString& Path);
    QString SaveProtocol(const QString& Path);
    QString OpenSession(const QString& Path);
    // Starts the machine anew with the script's seed and start time (none: the wall clock now),
    // clears the protocol and plays the script on the window's clock.
    void PlayScript(const TScript& Script, const QString& Name);
    // Ctrl+F5: the session being played runs at once to its end, and the window shows the end.
    void RunToEnd();

    // Handlers.
    void FormCreate();
    void FormDestroy();
    // The player's: each catches up with the wall clock (and ends a session being played), then
    // goes in through the door, which takes it only if the window shows what it needs.
    void Image1Click();
    void iBadCoinClick();
    void iPlayClick();
    void iReturnClick();
    void btnTechResetClick();
    // A check list's ticks, the same way.
    void cbA0LogSettingsClickCheck();
    void cbA1LogSettingsClickCheck();
    void cbA2LogSettingsClickCheck();

    // «Автоматы», the automata's state diagrams beside the window: made when first asked for
    // (F2, or the context menu of the background or of the protocol), then shown and raised.
    void ShowAutomata();
    void PlaceBeside(TAutomataWindow& Other) const;
    // The screen's available room the placing reads; a test gives its own.
    void SetScreenRoom(std::function<QRect()> Room) { FScreenRoom = std::move(Room); }
    TAutomataWindow* AutomataWindow() const { return FAutomataWindow.get(); }
    // The line that says the clock is paused, slower or faster, or plays a session.
    TClockState* ClockState() const { return FClockState; }
    // How often this session took each row and entered each state, from its start.
    const TCoverageCounts& Coverage() const { return FCoverage; }

    // Those the user sets and a played session brings; a saved session keeps them.
    TWindowBreakpoints& Breakpoints() { return *FBreakpoints; }
    // Going back in the session and on from there.
    THistoryControl& History() { return *FHistory; }
    // The file that keeps the session against a crash.
    TRecovery& Recovery() { return *FRecovery; }

    // The clock's keys, for «Автоматы» too: pause or go on, one step, slower, faster.
    const std::vector<QAction*>& ClockActions() const { return FClockActions; }

protected:
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void closeEvent(QCloseEvent* Event) override;

private:
    void CreateControls();
    void ConnectHandlers();
    void MachineChanged(unsigned Changes) noexcept override;
    void ShowFields();
    void ShowBarrels();
    void PaintBarrels();
    void PaintBarrelsUnlessFrameComing();
    void NameBarrels();
    void ShowSwitches();
    TCheckList* LogSettings(int32_t Automaton) const;
    // The switches as the automaton's check list shows them ticked.
    TLogSwitches Ticked(int32_t Automaton) const;
    // Gives each action of the player its control and keys, tooltip and screen reader's name.
    void BindPlayerActions();
    // The controls an action binds to: the one of its object name, every coin for Image1.
    QList<QWidget*> ControlsOf(const TPlayerActionRow& Row) const;
    // What every click and key of the player does.
    void PlayerInput(TPlayerAction Action);
    void CheckListInput(int32_t Automaton);
    // What the user does goes through here first: the machine catches up with the wall clock,
    // and a session being played ends, the user taking over from that moment. In the past the
    // session forks first; false when the user declined, and the input is not taken.
    bool UserInput();
    void PlaybackEnded(int Line, const QString& Error);
    // A new session from start-up: the stamps and the recording start at Start.
    void BeginSession(const QDateTime& Start);
    void CreateClockActions();
    void CreateFileActions();
    void ChooseAndSaveProtocol();
    void ChooseAndOpenSession();
    // The actions that the window's context menus offer.
    QList<QAction*> MenuActions() const;

    std::vector<QAction*> FKeyActions; // the player's actions' keys
    std::vector<QAction*> FClockActions;
    std::unique_ptr<TMachineClock> FClock;
    std::unique_ptr<TWindowBreakpoints> FBreakpoints;
    std::unique_ptr<TVirtualStamp> FStamp;
    QDateTime FSessionStart;
    std::unique_ptr<TProtocolWriter> FProtocolWriter;
    std::unique_ptr<TSessionRecorder> FRecorder;
    std::unique_ptr<THistoryControl> FHistory;
    TCoverageCounts FCoverage;
    QString FPlaying; // the name of the session being played
    // Whether a frame comes is asked once the input that moved the barrels is over.
    bool FBarrelsAsked = false;
    QAction* FAutomataAction = nullptr;
    QAction* FOpenSessionAction = nullptr;
    QAction* FSaveSessionAction = nullptr;
    QAction* FSaveProtocolAction = nullptr;
    std::unique_ptr<TAutomataWindow> FAutomataWindow;
    std::function<QRect()> FScreenRoom;
    TClockState* FClockState = nullptr;
    std::optional<unsigned> FHeldChanges; // while running to the end: what it changed so far
    std::unique_ptr<TRecovery> FRecovery;
};

} // namespace sm
