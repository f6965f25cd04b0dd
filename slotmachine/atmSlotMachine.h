#pragma once

#include "automaton/Automaton.h"
#include "slotmachine/TransitionTable.h"
#include "slotmachine/Vocabulary.h"

#include <span>

class TMachine;

// A0: the game. Follows the player's buttons, learns from A1 whether a token was accepted,
// starts and ends games, pays the win out one token at a time.
class TAutomatonSlotMachine : public TAutomaton {
public:
    enum TState : int32_t { Waiting, Accepting, Game, Error, Paying, StateCount };
    explicit TAutomatonSlotMachine(TMachine& Machine);
    // The table as written.
    static std::span<const TRow<TAutomatonSlotMachine>> Rows();
    // The table this automaton runs: the one written, unless a test plants a changed copy.
    std::span<const TRow<TAutomatonSlotMachine>> FRowTable = Rows();
    // The entry actions, as written.
    static std::span<const TEntry<TAutomatonSlotMachine>> Entries();
    // What a diagram shows for the guards and actions of the tables above.
    static TTableLabels<TAutomatonSlotMachine> Labels();
    // In this state every event goes first to the relay target, before any row is tried.
    static constexpr int32_t RelayState = Game;
    static constexpr int32_t RelayTarget = A2;

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonSlotMachine;

    TMachine& FMachine; // the machine this automaton belongs to

    // Input variables.
    bool HasWin() const;
    bool BankNotEmpty() const;
    int32_t MoneyTrayState() const;
    // Guards built from them.
    bool MoneyTrayAccepted() const { return MoneyTrayState() == 1; }
    bool MoneyTrayRejected() const { return MoneyTrayState() == 2; }
    bool MoneyTrayNotRejected() const { return MoneyTrayState() != 2; }
    bool HasWinAndBankNotEmpty() const { return HasWin() && BankNotEmpty(); }
    bool HasWinAndBankEmpty() const { return HasWin() && !BankNotEmpty(); }
    bool NoWin() const { return !HasWin(); }

    // Output actions.
    void CloseTray();
    void OpenTray();
    void PayWinToken();
    void ClearWin();
    void ClearStake();
    void ShowStake();
    void ShowWin();
    void ShowBank();
    void SendToMoneyTray(int32_t Event);
    void SendToBarrels(int32_t Event);

    static const TRow<T> FRows[];
    static const TEntry<T> FEntries[];
    static const TGuardLabel<T> FGuardLabels[];
    static const TActionLabel<T> FActionLabels[];
    static const TSendLabel<T> FSendLabels[];
};

// A1: the token acceptor. Judges every token, shows the stake, moves it to the bank or gives it
// back.
class TAutomatonMoneyTray : public TAutomaton {
public:
    enum TState : int32_t { Empty, Accepted, Rejected, StateCount };
    explicit TAutomatonMoneyTray(TMachine& Machine);
    // The table as written.
    static std::span<const TRow<TAutomatonMoneyTray>> Rows();
    // The table this automaton runs: the one written, unless a test plants a changed copy.
    std::span<const TRow<TAutomatonMoneyTray>> FRowTable = Rows();
    // The entry actions, as written.
    static std::span<const TEntry<TAutomatonMoneyTray>> Entries();
    // What a diagram shows for the guards and actions of the tables above.
    static TTableLabels<TAutomatonMoneyTray> Labels();

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonMoneyTray;

    TMachine& FMachine; // the machine this automaton belongs to

    bool TokenIsGood() const;
    bool TokenIsBad() const { return !TokenIsGood(); }

    void ShowStake();
    void ShowBank();
    void CloseTray();
    void MoveStakeToBank();
    void GiveStakeBack();
    void SendToGame(int32_t Event);

    static const TRow<T> FRows[];
    static const TEntry<T> FEntries[];
    static const TGuardLabel<T> FGuardLabels[];
    static const TActionLabel<T> FActionLabels[];
    static const TSendLabel<T> FSendLabels[];
};

// A2: the barrels engine. Starts the three barrels, arms their stop timers one after another and
// has the win computed when the third has stopped.
class TAutomatonBarrelsEngine : public TAutomaton {
public:
    enum TState : int32_t { Stopped, Spinning, FirstStopped, SecondStopped, StateCount };
    explicit TAutomatonBarrelsEngine(TMachine& Machine);
    // The table as written.
    static std::span<const TRow<TAutomatonBarrelsEngine>> Rows();
    // The table this automaton runs: the one written, unless a test plants a changed copy.
    std::span<const TRow<TAutomatonBarrelsEngine>> FRowTable = Rows();
    // The entry actions, as written.
    static std::span<const TEntry<TAutomatonBarrelsEngine>> Entries();
    // What a diagram shows for the guards and actions of the tables above.
    static TTableLabels<TAutomatonBarrelsEngine> Labels();

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonBarrelsEngine;

    TMachine& FMachine; // the machine this automaton belongs to

    void StartBarrels();
    void ArmFirstStopTimer();
    void ArmSecondStopTimer();
    void ArmThirdStopTimer();
    void CalculateWin();
    void ShowWin();

    static const TRow<T> FRows[];
    static const TEntry<T> FEntries[];
    // No guards and no sends, so only actions have labels.
    static const TActionLabel<T> FActionLabels[];
};
