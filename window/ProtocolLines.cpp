#include "window/ProtocolLines.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace sm {

namespace {

// Message texts repeat; longer lines are rare and not worth hashing.
constexpr qsizetype MaxInternedLength = 512;
constexpr qsizetype MaxInterned = 1024;

} // namespace

QString TProtocolLines::Interned(const QString& Line) {
    if (Line.isEmpty())
        return QString();
    if (Line.size() > MaxInternedLength)
        return Line;
    if (const auto It = FInterned.constFind(Line); It != FInterned.cend())
        return *It;
    // Stamps change every second; forgetting all now and then keeps the set small.
    if (FInterned.size() >= MaxInterned)
        FInterned.clear();
    FInterned.insert(Line);
    return Line;
}

void TProtocolLines::Append(const QString& Line) {
    FStarts.push_back(FLines.empty() ? 0 : CharacterCount() + 1);
    FLines.push_back(Interned(Line));
}

void TProtocolLines::Truncate(qsizetype Count) {
    const auto Kept = static_cast<std::size_t>(std::clamp<qsizetype>(Count, 0, this->Count()));
    FLines.resize(Kept);
    FStarts.resize(Kept);
}

void TProtocolLines::Clear() {
    FLines.clear();
    FStarts.clear();
    FInterned.clear();
}

QString TProtocolLines::Line(qsizetype Index) const {
    return Index >= 0 && Index < Count() ? At(Index) : QString();
}

QString TProtocolLines::Text() const {
    qsizetype Size = 0;
    for (const QString& Each : FLines)
        Size += Each.size() + 1;
    QString Result;
    Result.reserve(Size);
    for (qsizetype I = 0; I < Count(); ++I) {
        if (I > 0)
            Result += u'\n';
        Result += At(I);
    }
    return Result;
}

qsizetype TProtocolLines::CharacterCount() const {
    return FLines.empty() ? 0 : FStarts.back() + FLines.back().size();
}

QString TProtocolLines::Text(qsizetype Start, qsizetype End) const {
    return Between(PositionOf(Start), PositionOf(End));
}

qsizetype TProtocolLines::LineAt(qsizetype Offset) const {
    return PositionOf(Offset).Line;
}

qsizetype TProtocolLines::LineStart(qsizetype Index) const {
    Index = std::clamp<qsizetype>(Index, 0, Count());
    return Index == Count() ? CharacterCount() : FStarts[static_cast<std::size_t>(Index)];
}

TProtocolLines::TPosition TProtocolLines::PositionOf(qsizetype Offset) const {
    if (FLines.empty())
        return {};
    Offset = std::clamp<qsizetype>(Offset, 0, CharacterCount());
    const qsizetype Line =
        std::upper_bound(FStarts.begin(), FStarts.end(), Offset) - FStarts.begin() - 1;
    return {Line, Offset - LineStart(Line)};
}

qsizetype TProtocolLines::OffsetOf(TPosition Position) const {
    return FLines.empty() ? 0 : LineStart(Position.Line) + Position.Column;
}

TProtocolLines::TPosition TProtocolLines::EndOfText() const {
    return FLines.empty() ? TPosition{} : TPosition{Count() - 1, FLines.back().size()};
}

QString TProtocolLines::Between(TPosition Start, TPosition End) const {
    if (FLines.empty() || !(Start < End))
        return QString();
    if (Start.Line == End.Line)
        return At(Start.Line).mid(Start.Column, End.Column - Start.Column);
    QString Result = At(Start.Line).mid(Start.Column);
    for (qsizetype I = Start.Line + 1; I < End.Line; ++I)
        Result += u'\n' + At(I);
    Result += u'\n' + At(End.Line).left(End.Column);
    return Result;
}

std::pair<TProtocolLines::TPosition, TProtocolLines::TPosition>
TProtocolLines::WordAt(TPosition Position) const {
    const QString Text = Line(Position.Line);
    if (Text.isEmpty())
        return {{Position.Line, 0}, {Position.Line, 0}};
    const qsizetype Column = std::clamp<qsizetype>(Position.Column, 0, Text.size() - 1);
    QTextBoundaryFinder Finder(QTextBoundaryFinder::Word, Text);
    Finder.setPosition(Column);
    const qsizetype Start = Finder.isAtBoundary() ? Column : Finder.toPreviousBoundary();
    Finder.setPosition(Column);
    const qsizetype End = Finder.toNextBoundary();
    return {{Position.Line, std::max<qsizetype>(Start, 0)},
            {Position.Line, End < 0 ? Text.size() : End}};
}

} // namespace sm
