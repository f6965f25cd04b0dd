#pragma once

#include "automaton/Automaton.h"
#include "slotmachine/TransitionTable.h"
#include "slotmachine/Vocabulary.h"

#include <span>

namespace sm {

class TMachine;

// What the three automata share: the machine they belong to, the table they run (the one written,
// or one a test planted when the machine was made), a step that takes the first matching row and
// notes it for the views, entry actions from their list, and their protocol into the machine.
// TDerived writes its tables, FRows and FEntries, and its labels.
template <class TDerived> class TTableAutomaton : public TAutomaton {
public:
    using TRows = std::span<const TRow<TDerived>>;
    // The table and the entry actions as written.
    static TRows Rows();
    static std::span<const TEntry<TDerived>> Entries();
    // The table this automaton runs.
    TRows RowTable() const { return FRowTable; }

protected:
    // An empty table is the one written.
    TTableAutomaton(int32_t Number, TMachine& Machine, TRows RowTable);
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

    TMachine& FMachine;

private:
    friend class TMachine; // a copy runs the table its original runs
    TRows FRowTable;
};

// A0: the game. Follows the player's buttons, learns from A1 whether a token was accepted,
// starts and ends games, pays the win out one token at a time.
class TAutomatonSlotMachine : public TTableAutomaton<TAutomatonSlotMachine> {
public:
    enum TState : int32_t { Waiting, Accepting, Game, Error, Paying, StateCount };
    explicit TAutomatonSlotMachine(TMachine& Machine, TRows RowTable = {});
    // What a diagram shows for the guards and actions of the tables.
    static TTableLabels<TAutomatonSlotMachine> Labels();
    // In this state every event goes first to the relay target, before any row is tried.
    static constexpr int32_t RelayState = Game;
    static constexpr int32_t RelayTarget = A2;

private:
    using T = TAutomatonSlotMachine;
    friend class TTableAutomaton<T>;

    // Input variables.
    bool HasWin() const;
    bool BankNotEmpty() const;
    int32_t MoneyTrayState() const;
    // Guards built from them.
    bool MoneyTrayAccepted() const;
    bool MoneyTrayRejected() const;
    bool MoneyTrayNotRejected() const { return !MoneyTrayRejected(); }
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
class TAutomatonMoneyTray : public TTableAutomaton<TAutomatonMoneyTray> {
public:
    enum TState : int32_t { Empty, Accepted, Rejected, StateCount };
    explicit TAutomatonMoneyTray(TMachine& Machine, TRows RowTable = {});
    static TTableLabels<TAutomatonMoneyTray> Labels();

private:
    using T = TAutomatonMoneyTray;
    friend class TTableAutomaton<T>;

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
class TAutomatonBarrelsEngine : public TTableAutomaton<TAutomatonBarrelsEngine> {
public:
    enum TState : int32_t { Stopped, Spinning, FirstStopped, SecondStopped, StateCount };
    explicit TAutomatonBarrelsEngine(TMachine& Machine, TRows RowTable = {});
    static TTableLabels<TAutomatonBarrelsEngine> Labels();

private:
    using T = TAutomatonBarrelsEngine;
    friend class TTableAutomaton<T>;

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

// Each automaton's states by name, for the other automata, the checks and the tests.
using A0State = TAutomatonSlotMachine;
using A1State = TAutomatonMoneyTray;
using A2State = TAutomatonBarrelsEngine;

} // namespace sm
