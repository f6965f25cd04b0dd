#pragma once

#include <array>
#include <cstdint>
#include <span>

// One output action of automaton T: a plain action, or an event sent to a neighbour.
template <class T> struct TAction {
    using TPlain = void (T::*)();
    using TSend = void (T::*)(int32_t);

    constexpr TAction() = default;
    constexpr TAction(TPlain Action) : Plain(Action) {}
    constexpr TAction(TSend Action, int32_t SentEvent) : Send(Action), Event(SentEvent) {}

    void Run(T& Automaton) const {
        if (Plain)
            (Automaton.*Plain)();
        else if (Send)
            (Automaton.*Send)(Event);
    }
    explicit constexpr operator bool() const { return Plain || Send; }

    TPlain Plain = nullptr;
    TSend Send = nullptr;
    int32_t Event = 0;
};

template <class T> using TActions = std::array<TAction<T>, 3>;

// A row of a transition table; a null guard always holds.
template <class T> struct TRow {
    int32_t State;
    int32_t Event;
    bool (T::*Guard)() const;
    TActions<T> Actions;
    int32_t Next;
};

// Entry actions of one state.
template <class T> struct TEntry {
    int32_t State;
    TActions<T> Actions;
};

template <class T> void RunActions(T& Automaton, const TActions<T>& Actions) {
    for (const auto& Action : Actions)
        if (Action)
            Action.Run(Automaton);
}

// Rows are tried from the top; the first whose state, event and guard match is taken. A guard is
// evaluated only when its row is tried, so it sees what earlier actions of this step did.
template <class T> void TakeFirstRow(T& Automaton, std::span<const TRow<T>> Rows, int32_t Event) {
    for (const auto& Row : Rows) {
        if (Row.State != Automaton.FState || Row.Event != Event)
            continue;
        if (Row.Guard && !(Automaton.*Row.Guard)())
            continue;
        RunActions(Automaton, Row.Actions);
        Automaton.FState = Row.Next;
        return;
    }
}

template <class T> void RunEntry(T& Automaton, std::span<const TEntry<T>> Entries) {
    for (const auto& Entry : Entries)
        if (Entry.State == Automaton.FState)
            RunActions(Automaton, Entry.Actions);
}
