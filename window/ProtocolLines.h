#pragma once

#include <QSet>
#include <QString>

#include <algorithm>
#include <climits>
#include <deque>
#include <tuple>
#include <utility>
#include <vector>

namespace sm {

// Qt's text layouts and accessibility count characters in int; a longer protocol is clamped.
inline int ToInt(qsizetype Value) {
    return static_cast<int>(std::min<qsizetype>(Value, INT_MAX));
}

// The protocol as the panel holds it: lines that grow at the end, until cleared or cut short,
// and the offsets that assistive technology reads them by. Offsets count the characters of Text(),
// the line breaks included; a position is a line and a column in it.
class TProtocolLines {
public:
    struct TPosition {
        qsizetype Line = 0;
        qsizetype Column = 0;
        bool operator==(const TPosition&) const = default;
        bool operator<(const TPosition& Other) const {
            return std::tie(Line, Column) < std::tie(Other.Line, Other.Column);
        }
    };

    void Append(const QString& Line);
    void Clear();
    // Keeps the first Count lines only.
    void Truncate(qsizetype Count);

    qsizetype Count() const { return static_cast<qsizetype>(FLines.size()); }
    bool IsEmpty() const { return FLines.empty(); }
    // The line at a valid index.
    const QString& At(qsizetype Index) const { return FLines[static_cast<std::size_t>(Index)]; }
    // An empty string for an index out of range.
    QString Line(qsizetype Index) const;
    QString Text() const;

    qsizetype CharacterCount() const;
    QString Text(qsizetype Start, qsizetype End) const;
    // The line that holds the offset, its line break included; where a line starts (past the
    // last line, the end of the text).
    qsizetype LineAt(qsizetype Offset) const;
    qsizetype LineStart(qsizetype Index) const;

    // Offsets out of range are clamped to the text.
    TPosition PositionOf(qsizetype Offset) const;
    qsizetype OffsetOf(TPosition Position) const;
    TPosition EndOfText() const;
    // The text from Start up to End; empty unless Start comes first.
    QString Between(TPosition Start, TPosition End) const;
    // The word (or run of blanks or punctuation) that holds the character at the position.
    std::pair<TPosition, TPosition> WordAt(TPosition Position) const;

private:
    QString Interned(const QString& Line);

    // Lines stay where they are once stored; a deque never moves them when it grows.
    std::deque<QString> FLines;
    // Where each line starts in Text(), so that an offset never needs the whole text.
    std::vector<qsizetype> FStarts;
    QSet<QString> FInterned;
};

} // namespace sm
