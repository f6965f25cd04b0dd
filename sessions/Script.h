#pragma once

#include "sessions/Breakpoints.h"
#include "sessions/PlayerActions.h"
#include "slotmachine/Machine.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace sm {

// One line of a session script: what a user does to the window, or how time goes on.
enum class TCommandKind : uint8_t { Player, Log, Wait, Settle, Show };

struct TCommand {
    TCommandKind Kind = TCommandKind::Show;
    TPlayerAction Action = TPlayerAction::Play; // player
    int Line = 0;                               // where it stands in the script, from 1
    int32_t Automaton = A0;                     // log
    TLogItem Item = LogStart;                   // log
    bool On = false;                            // log
    int64_t Milliseconds = 0;                   // wait
    bool operator==(const TCommand&) const = default;
};

// Commands packed a few bytes each, so that a script of millions of lines fits in memory
// whole: it is checked to the end before its first action is played.
class TCommandList {
public:
    class TIterator {
    public:
        TIterator(const uint8_t* At, int Line) : FAt(At), FLine(Line) {}
        TCommand operator*() const;
        TIterator& operator++();
        bool operator!=(const TIterator& Other) const { return FAt != Other.FAt; }

    private:
        // The command here, moving past it.
        TCommand Take();

        const uint8_t* FAt;
        int FLine; // of the command before
    };

    void push_back(const TCommand& Command);
    TIterator begin() const { return {FBytes.data(), 0}; }
    TIterator end() const { return {FBytes.data() + FBytes.size(), 0}; }
    size_t Bytes() const { return FBytes.size(); }

private:
    std::vector<uint8_t> FBytes;
    int FLastLine = 0;
};

struct TScript {
    uint32_t Seed = 0;
    // The wall clock at start-up, a reading with no zone kept in UTC (see TVirtualStamp).
    std::optional<QDateTime> Start;
    TCommandList Commands;
    // In force from the start, wherever their lines stand.
    std::vector<TBreakpoint> Breakpoints;
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

struct TScriptWord;

// Reads and checks a script piece by piece as it arrives; only the commands are kept.
class TScriptReader {
public:
    // False from the first bad line on; what follows it is not read.
    bool Feed(QByteArrayView Bytes);
    // The script, or its first bad line, once every piece is fed.
    TParsedScript Finish();

private:
    void ReadLine(QByteArrayView Bytes);
    // An empty string when the line is good.
    QString ParseLine(const std::vector<TScriptWord>& Words, int Line, int& Column);

    TParsedScript FResult;
    QByteArray FPartLine; // the start of a line whose end has not come yet
    int FLine = 0;
    int FSeedLine = 0;
    int FStartLine = 0;
    int FFirstActionLine = 0;
};

// Reads and checks the whole script: nothing may be played from a script with a bad line.
TParsedScript ParseScript(const QByteArray& Text);

// A start time as scripts and --start write it, 2026-12-08T16:00:00 or 2026-12-08T16:00:00.000:
// local time with no zone, kept in UTC. Or why the text is none (of another form, a day the
// calendar does not have, a time of day that does not exist), with the character where the
// trouble starts, from 0.
std::optional<QDateTime> ParseStartTime(const QString& Text, QString& Problem, int& At);
// The start line's time, to the millisecond: "2026-12-08T16:00:00.000".
QString StartTimeText(const QDateTime& Start);

// The command as a script line, e.g. "log A0 start off".
QString CommandText(const TCommand& Command);

} // namespace sm
