#pragma once

#include "sessions/StepRecord.h"
#include "slotmachine/Machine.h"
#include "slotmachine/VirtualTime.h"
#include "window/PictureFile.h"

#include <QAbstractScrollArea>

#include <array>
#include <optional>
#include <vector>

namespace sm {

// A timing chart of the session: a row per automaton with its states over the machine's time as
// labelled bars, and a row per timer with the spans it ran, the present moment a cursor. Fed from
// the record of the session's steps and the machine's timers; a paint looks up only the changes
// in view, so the length of the session does not slow it.
class TStateTimeline : public QAbstractScrollArea {
    Q_OBJECT

public:
    struct TChange {
        int64_t Moment;
        int32_t State;
        qsizetype Step; // the step that made the change, counted in the record's order; -1 before
    };
    struct TSpan {
        int64_t Start;
        int64_t End; // -1 while it runs
    };
    static constexpr double MinScale = 0.001;
    static constexpr double MaxScale = 10;

    // The automata's states and the timers as they are at the moment.
    explicit TStateTimeline(const TVirtualTime& Time, QWidget* Parent = nullptr);

    void Append(const std::vector<TRecordedStep>& Steps);
    // Opens and closes the timers' spans as the machine's timers run and stop.
    void TimersChanged();
    void SetNow(int64_t Moment);
    // A machine started anew at the given moment.
    void Clear(int64_t Now);
    // Drops what came after the moment, as a session that forked there leaves it behind; Steps
    // is how many of the record's steps are kept.
    void DropAfter(int64_t Moment, qsizetype Steps);

    const std::vector<TChange>& Changes(int32_t Automaton) const {
        return FChanges.at(static_cast<size_t>(Automaton));
    }
    const std::vector<TSpan>& Spans(TTimerId Timer) const {
        return FSpans.at(static_cast<size_t>(Timer));
    }
    // Pixels a millisecond.
    double Scale() const { return FScale; }
    void SetScale(double Scale);
    bool FollowsEnd() const { return FFollow; }
    // The state of the automaton at the moment; -1 before the first known.
    int32_t StateAt(int32_t Automaton, int64_t Moment) const;
    QSize sizeHint() const override;
    // The whole session at the present scale.
    TPicture Picture() const;
    // The bar of an automaton's row at a point of the viewport: the change that began it; none
    // outside the automata's rows.
    std::optional<TChange> BarAt(QPoint Point) const;

signals:
    // A bar chosen by a click: the step that began it, as the chart counts its arrows.
    void StepSelected(qsizetype Step);

protected:
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void wheelEvent(QWheelEvent* Event) override;
    void scrollContentsBy(int Dx, int Dy) override;
    void contextMenuEvent(QContextMenuEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;

private:
    // A window onto the timeline: where its left and top edge are, and how large it is.
    struct TView {
        int Left;
        int Top;
        int Width;
        int Height;
    };
    TView Shown() const;
    void Draw(QPainter& Painter, const TView& View) const;
    static constexpr int RowCount = 3 + TimerCount;
    void UpdateRange();
    int X(int64_t Moment, const TView& View) const;
    // The moment at the left edge of a pixel of the view.
    int64_t MomentAt(int Pixel, const TView& View) const;
    QString StateName(int32_t Automaton, int32_t State) const;

    const TVirtualTime& FTime;
    std::array<std::vector<TChange>, 3> FChanges;
    std::array<std::vector<TSpan>, TimerCount> FSpans;
    qsizetype FSteps = 0; // steps appended since the start
    int64_t FStart = 0;
    int64_t FNow = 0;
    double FScale = 0.05;
    bool FFollow = true;
    bool FScrolling = false;
    int FRow = 1;
    int FNames = 1; // the width of the rows' names
};

} // namespace sm
