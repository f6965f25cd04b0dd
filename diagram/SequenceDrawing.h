#pragma once

#include "diagram/Picture.h"
#include "sessions/StepRecord.h"

#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class QPainter;

namespace sm {

class TMachine;

// The conversation between the automata as a sequence chart, drawn with any QPainter: the
// window's dock paints it, and the companion renders the same drawing as SVG. Lifelines for the
// player, A0, A1, A2 and the timers, an arrow a row for each event an automaton received, a box
// where its state changed, the nested calls as nested activations under the stamp of their input.
// Only the rows in the view asked for are visited, so a long session draws as fast as a short one.
class TSequenceDrawing {
public:
    // A step as the chart keeps it: its messages cut down to the first, which the protocol panel
    // is asked to find, kept once for all the arrows that wrote the same text.
    struct TArrow {
        int64_t Moment = 0;
        int32_t Automaton = 0;
        int32_t Event = 0;
        int32_t From = 0;
        int32_t To = 0;
        int Row = -1; // the row of its table taken, or -1
        TStepSender Sender;
        int Depth = 0;
        qsizetype Parent = -1; // the arrow whose handling sent this one
        qsizetype Last = 0;    // the last arrow nested in this one, or itself
        int32_t Message = -1;  // the same number for the same text; -1 for none
    };
    // Lifelines, left to right.
    enum TLifeline { Player, LifeA0, LifeA1, LifeA2, Timers, LifelineCount };
    // A window onto the chart: where its top and left edge are, and how large it is.
    struct TView {
        qint64 Top = 0;
        int Left = 0;
        int Width = 0;
        int Height = 0;
        bool Heading = true; // the lifelines' names at the top
    };
    static constexpr int MinColumn = 150;

    // The names of states and events are the machine's, which must outlive the drawing.
    TSequenceDrawing(const TMachine& Machine, const QFont& Font);

    void Append(std::vector<TRecordedStep> Steps);
    void Clear();
    // Drops the arrows after the moment, as a session that forked there leaves them behind.
    void DropAfter(int64_t Moment);
    void SetFont(const QFont& Font);
    qsizetype Count() const { return static_cast<qsizetype>(FArrows.size()); }
    const TArrow& Arrow(qsizetype Index) const { return FArrows.at(static_cast<size_t>(Index)); }
    // The first message the arrow's step wrote; empty for none.
    const std::string& Message(qsizetype Index) const;
    static TLifeline SenderLifeline(const TStepSender& Sender);
    // What a screen reader says of the arrow: «A0 посылает A1 событие e12 "…"», then the change
    // of state, if any, «A1: 1 → 0».
    QString Sentence(qsizetype Index) const;
    // The label on the arrow: the event's code and name.
    QString Label(qsizetype Index) const;

    int RowHeight() const { return FRow; }
    // The lifelines at their narrowest.
    int MinWidth() const { return FStampWidth + MinColumn * LifelineCount; }
    // A row for the lifelines' names, one per arrow, one for the present moment.
    qint64 Height() const { return qint64(FRow) * (Count() + 2); }
    int LifelineX(int Lifeline, const TView& View) const;
    // Where an arrow's row is drawn in the view; rows far outside it are kept just outside.
    QRect RowIn(qsizetype Index, const TView& View) const;
    // Selected is -1 without a selection; Now is the present moment's stamp.
    void Draw(QPainter& Painter, const TView& View, const QPalette& Colours, qsizetype Selected,
              int64_t Now) const;
    // The whole chart, at least as wide as given.
    TPicture Picture(int Width, const QPalette& Colours, qsizetype Selected, int64_t Now) const;

private:
    QString StateName(int32_t Automaton, int32_t State) const;
    QString SenderText(const TStepSender& Sender) const;

    const TMachine& FMachine;
    QFont FFont;
    std::vector<TArrow> FArrows;
    // The messages' texts by number; a session writes a few dozen, each tens of thousands of times.
    std::unordered_map<std::string, int32_t> FMessageNumbers;
    std::vector<const std::string*> FMessages; // the map's keys, which stay where they are
    std::vector<qsizetype> FOpen; // arrows whose nested ones may still come, innermost last
    int FRow = 1;
    int FStampWidth = 1;
};

} // namespace sm
