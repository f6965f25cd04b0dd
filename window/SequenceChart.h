#pragma once

#include "diagram/SequenceDrawing.h"
#include "window/PictureFile.h"

#include <QAbstractScrollArea>

#include <vector>

namespace sm {

class TMachine;

// The conversation between the automata as a sequence chart (see TSequenceDrawing), scrolled,
// followed and chosen from. Rows come from the record of the session's steps, never from the
// protocol's text; only the rows in view are painted, so a long session scrolls as fast as a
// short one.
class TSequenceChart : public QAbstractScrollArea {
    Q_OBJECT

public:
    using TArrow = TSequenceDrawing::TArrow;
    using TLifeline = TSequenceDrawing::TLifeline;
    static constexpr TLifeline LifeA0 = TSequenceDrawing::LifeA0;

    explicit TSequenceChart(const TMachine& Machine, QWidget* Parent = nullptr);

    void Append(std::vector<TRecordedStep> Steps);
    void Clear();
    void DropAfter(int64_t Moment);
    qsizetype Count() const { return FDrawing.Count(); }
    const TArrow& Arrow(qsizetype Index) const { return FDrawing.Arrow(Index); }
    const std::string& Message(qsizetype Index) const { return FDrawing.Message(Index); }
    static TLifeline SenderLifeline(const TStepSender& Sender) {
        return TSequenceDrawing::SenderLifeline(Sender);
    }
    // What a screen reader says of the arrow.
    QString Sentence(qsizetype Index) const { return FDrawing.Sentence(Index); }
    QString Label(qsizetype Index) const { return FDrawing.Label(Index); }

    // -1 without a selection.
    qsizetype Selected() const { return FSelected; }
    void Select(qsizetype Index);
    // True while the view keeps the present moment, the chart's end, in sight.
    bool FollowsEnd() const { return FFollow; }
    void SetNow(int64_t Moment);

    // The lifelines at their narrowest and a few rows.
    QSize sizeHint() const override;
    int RowHeight() const { return FDrawing.RowHeight(); }
    // Where an arrow's row is drawn, in viewport coordinates.
    QRect RowRect(qsizetype Index) const;
    qsizetype RowAt(int Y) const;
    // The whole chart, the lifelines' names at its top, as wide as the view.
    TPicture Picture() const;

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
    TSequenceDrawing::TView Shown() const;
    void UpdateRange();
    void ShowRow(qsizetype Index);

    TSequenceDrawing FDrawing;
    qsizetype FSelected = -1;
    bool FFollow = true;
    bool FScrolling = false; // the chart itself moves the scroll bar
    int64_t FNow = 0;
};

} // namespace sm
