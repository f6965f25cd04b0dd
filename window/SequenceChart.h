#pragma once

#include "sessions/StepRecord.h"

#include <QAbstractScrollArea>
#include <QImage>

#include <vector>

namespace sm {

class TMachine;

// The conversation between the automata as a sequence chart: lifelines for the player, A0, A1,
// A2 and the timers, an arrow a row for each event an automaton received, from its sender to it,
// a box where its state changed, and the nested calls as nested activations, so that the cascade
// of one input is one block under its stamp. Rows come from the record of the session's steps,
// never from the protocol's text; only the rows in view are painted, so a long session scrolls
// as fast as a short one.
class TSequenceChart : public QAbstractScrollArea {
    Q_OBJECT

public:
    // A step as the chart keeps it: its messages cut down to the first, which the protocol panel
    // is asked to find.
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
        std::string Message;
    };
    // Lifelines, left to right.
    enum TLifeline { Player, LifeA0, LifeA1, LifeA2, Timers, LifelineCount };

    explicit TSequenceChart(const TMachine& Machine, QWidget* Parent = nullptr);

    void Append(std::vector<TRecordedStep> Steps);
    void Clear();
    qsizetype Count() const { return static_cast<qsizetype>(FArrows.size()); }
    const TArrow& Arrow(qsizetype Index) const { return FArrows.at(static_cast<size_t>(Index)); }
    static TLifeline SenderLifeline(const TStepSender& Sender);
    // What a screen reader says of the arrow: «A0 посылает A1 событие e12 "…"», then the change
    // of state, if any, «A1: 1 → 0».
    QString Sentence(qsizetype Index) const;
    // The label on the arrow: the event's code and name.
    QString Label(qsizetype Index) const;

    // -1 without a selection.
    qsizetype Selected() const { return FSelected; }
    void Select(qsizetype Index);
    // True while the view keeps the present moment, the chart's end, in sight.
    bool FollowsEnd() const { return FFollow; }
    void SetNow(int64_t Moment);

    // The lifelines at their narrowest and a few rows.
    QSize sizeHint() const override;
    int RowHeight() const { return FRow; }
    // Where an arrow's row is drawn, in viewport coordinates.
    QRect RowRect(qsizetype Index) const;
    qsizetype RowAt(int Y) const;
    // The whole chart as a picture, the lifelines' names at its top; a session too long for one
    // image gives its end.
    QImage Picture() const;

signals:
    // The arrow chosen by a click or a key; the window shows its message in the protocol.
    void ArrowSelected(qsizetype Index);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void changeEvent(QEvent* Event) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;

private:
    // A window onto the chart: where its top and left edge are, and how large it is.
    struct TView {
        qint64 Top;
        int Left;
        int Width;
        int Height;
    };
    TView Shown() const;
    QRect RowIn(qsizetype Index, const TView& View) const;
    void Draw(QPainter& Painter, const TView& View) const;
    void UpdateRange();
    void ShowRow(qsizetype Index);
    int LifelineX(int Lifeline, const TView& View) const;
    QString StateName(int32_t Automaton, int32_t State) const;
    QString SenderText(const TStepSender& Sender) const;

    const TMachine& FMachine;
    std::vector<TArrow> FArrows;
    std::vector<qsizetype> FOpen; // arrows whose nested ones may still come, innermost last
    qsizetype FSelected = -1;
    bool FFollow = true;
    bool FScrolling = false; // the chart itself moves the scroll bar
    int64_t FNow = 0;
    int FRow = 1;
    int FStampWidth = 1;
};

} // namespace sm
