#pragma once

#include "slotmachine/Machine.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

// One line of a session script: what a user does to the window, or how time goes on.
enum class TCommandKind { Coin, Bad, Play, Return, Reset, Log, Wait, Settle, Show };

struct TCommand {
    TCommandKind Kind = TCommandKind::Show;
    int Line = 0;             // where it stands in the script, from 1
    int32_t Automaton = A0;   // log
    TLogItem Item = LogStart; // log
    bool On = false;          // log
    int64_t Milliseconds = 0; // wait
    bool operator==(const TCommand&) const = default;
};

struct TScript {
    uint32_t Seed = 0;
    std::vector<TCommand> Commands;
};

struct TScriptError {
    int Line = 0;
    int Column = 0; // in characters, from 1
    QString Message;
};

struct TParsedScript {
    TScript Script;
    std::optional<TScriptError> Error;
};

// The longest wait one line may ask for: 2^31 - 1 ms, some 24 days.
inline constexpr int64_t LongestWait = 2147483647;

// Reads and checks the whole script: nothing may be played from a script with a bad line.
TParsedScript ParseScript(const QByteArray& Text);

// The command as a script line, e.g. "log A0 start off".
QString CommandText(const TCommand& Command);
