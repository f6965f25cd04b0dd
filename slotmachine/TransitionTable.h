#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace sm {

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

// What a diagram shows for a guard, a plain action or a send action of automaton T. Member
// function pointers carry no names, so each automaton lists these beside its tables.
template <class T> struct TGuardLabel {
    bool (T::*Guard)() const;
    const char* Text;
};
template <class T> struct TActionLabel {
    void (T::*Action)();
    const char* Text;
};
// A send action: the automaton it sends to; the diagram names the event from the row.
template <class T> struct TSendLabel {
    void (T::*Send)(int32_t);
    int32_t Target;
};
template <class T> struct TTableLabels {
    std::span<const TGuardLabel<T>> Guards;
    std::span<const TActionLabel<T>> Actions;
    std::span<const TSendLabel<T>> Sends;
};

template <class T> void RunActions(T& Automaton, const TActions<T>& Actions) {
    for (const auto& Action : Actions)
        if (Action)
            Action.Run(Automaton);
}

// Rows are tried from the top; the first whose state, event and guard match is taken. A guard is
// evaluated only when its row is tried, so it sees what earlier actions of this step did.
// Returns the index of the row taken, or -1 when none matched.
template <class T> int TakeFirstRow(T& Automaton, std::span<const TRow<T>> Rows, int32_t Event) {
    for (size_t Index = 0; Index < Rows.size(); ++Index) {
        const TRow<T>& Row = Rows[Index];
        if (Row.State != Automaton.FState || Row.Event != Event)
            continue;
        if (Row.Guard && !(Automaton.*Row.Guard)())
            continue;
        RunActions(Automaton, Row.Actions);
        Automaton.FState = Row.Next;
        return static_cast<int>(Index);
    }
    return -1;
}

template <class T> void RunEntry(T& Automaton, std::span<const TEntry<T>> Entries) {
    for (const auto& Entry : Entries)
        if (Entry.State == Automaton.FState)
            RunActions(Automaton, Entry.Actions);
}

} // namespace sm
