#pragma once

#include "automaton/Automaton.h"
#include "slotmachine/TransitionTable.h"
#include "slotmachine/Vocabulary.h"

#include <span>

class TLineSink;

// Where the automata write their protocol instead of the window's panel, when set; for runs
// that measure the machine without its window.
extern TLineSink* ProtocolSink;

// A0: the game. Follows the player's buttons, learns from A1 whether a token was accepted,
// starts and ends games, pays the win out one token at a time.
class TAutomatonSlotMachine : public TAutomaton {
public:
    enum TState : int32_t { Waiting, Accepting, Game, Error, Paying, StateCount };
    using TAutomaton::TAutomaton;
    static std::span<const TRow<TAutomatonSlotMachine>> Rows();

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonSlotMachine;

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
};

// A1: the token acceptor. Judges every token, shows the stake, moves it to the bank or gives it
// back.
class TAutomatonMoneyTray : public TAutomaton {
public:
    enum TState : int32_t { Empty, Accepted, Rejected, StateCount };
    using TAutomaton::TAutomaton;
    static std::span<const TRow<TAutomatonMoneyTray>> Rows();

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonMoneyTray;

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
};

// A2: the barrels engine. Starts the three barrels, arms their stop timers one after another and
// has the win computed when the third has stopped.
class TAutomatonBarrelsEngine : public TAutomaton {
public:
    enum TState : int32_t { Stopped, Spinning, FirstStopped, SecondStopped, StateCount };
    using TAutomaton::TAutomaton;
    static std::span<const TRow<TAutomatonBarrelsEngine>> Rows();

protected:
    void Step(int32_t Event) override;
    void EnterState() override;
    void WriteLog(const std::string& Message) override;

private:
    using T = TAutomatonBarrelsEngine;

    void StartBarrels();
    void ArmFirstStopTimer();
    void ArmSecondStopTimer();
    void ArmThirdStopTimer();
    void CalculateWin();
    void ShowWin();

    static const TRow<T> FRows[];
    static const TEntry<T> FEntries[];
};
