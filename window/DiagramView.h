#pragma once

#include "diagram/Graphviz.h"
#include "sessions/Coverage.h"
#include "slotmachine/Diagram.h"
#include "slotmachine/Machine.h"
#include "window/PictureFile.h"

#include <QFont>
#include <QPainterPath>
#include <QPen>
#include <QPixmap>
#include <QPolygonF>
#include <QRectF>
#include <QTransform>
#include <QWidget>

#include <cstdint>
#include <optional>
#include <vector>

namespace sm {

// One automaton's state diagram: laid out once by Graphviz, drawn with QPainter in the window's
// font at the scale its window sets, its title above it unscaled. Only colours ever change: the
// current state is filled, and what the last steps did is lit and fades. It shows the session's
// coverage too: rows and states never taken are drawn dashed and grey, those no session can take
// dotted and paler; each one's count is in its tooltip, the shares under the title.
class TDiagramView : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 FadeMs = 1000;
    // The fill of the current state's box.
    static QColor CurrentFill() { return {255, 214, 102}; }

    // The layout must have been made with the sizes that Measure gives for this font.
    TDiagramView(TDiagram Diagram, TDiagramLayout Layout, const QFont& Font,
                 QWidget* Parent = nullptr);
    // The boxes the labels need in this font, in points (one point drawn as one pixel).
    static TLabelSizes Measure(const TDiagram& Diagram, const QFont& Font);

    const TDiagram& Diagram() const { return FDiagram; }
    int32_t CurrentState() const { return FCurrentState; }
    // Repaints only on a change.
    void SetCurrentState(int32_t State);
    // Lights what one step did, from the given moment on: its row's edge, the entry actions of
    // the state it entered, and the relay of the state it left. Order, from 1, is the step's place
    // among the steps of its input, drawn beside the edge's label while it glows; 0 draws none.
    void Light(const TStep& Step, qint64 Start, int Order = 0);
    void LightRelay(int32_t State, qint64 Start);
    void Unlight();
    // The moment the next paint shows; repaints while anything glows, and once more when the
    // last glow is over.
    void SetNow(qint64 Now);
    bool Glowing() const;
    // How bright, from 1 (just lit) to 0 (dark), at the present moment.
    double EdgeGlow(int Row) const;
    double EntryGlow(int32_t State) const;
    double RelayGlow(int32_t State) const;
    // The lit row's place among its input's steps; 0 when dark or not numbered.
    int EdgeOrder(int Row) const;
    // Where a state's box and an edge's label are drawn, in the view's coordinates.
    QRectF NodeRect(int32_t State) const;
    QRectF LabelRect(int Row) const;

    // How often the session took each row and entered each state, and which of them some session
    // can take at all (empty lists: all of them; Known false: not found out yet). Repaints only
    // when what is drawn changes, not for a count alone.
    void SetCoverage(const TAutomatonCoverage& Counts, const std::vector<bool>& ReachableRows,
                     const std::vector<bool>& ReachableStates, bool Known);
    int64_t RowCount(int Row) const;
    int64_t StateCount(int32_t State) const;
    bool RowReachable(int Row) const;
    bool StateReachable(int32_t State) const;
    // "A1: 7 из 9 переходов", reachable rows only once they are known; drawn under the title.
    QString CoverageTitle() const;
    // The tooltip of a row's label or a state's box: what it is and how often it was taken.
    QString RowTip(int Row) const;
    QString StateTip(int32_t State) const;
    // What a row's line is drawn with, lit from 0 to 1.
    QPen EdgePen(int Row, double Lit) const;
    QPen NodePen(int32_t State, bool Current) const;
    // The row whose label or the state whose box is at a point of the view.
    std::optional<TTarget> TargetAt(QPointF Point) const;

    // Breakpoints drawn on their state's box or their arrow's label: a red dot, hollow when
    // disabled, and the one that hit ringed. An event's is drawn on every arrow of that event.
    struct TBreakMark {
        TTarget Target; // a row's for an event's
        bool Enabled = true;
        bool Hit = false;
        bool Plain = true; // set on the state or row itself, with no condition
        bool operator==(const TBreakMark&) const = default;
    };
    void SetBreakMarks(std::vector<TBreakMark> Marks);
    const std::vector<TBreakMark>& BreakMarks() const { return FBreakMarks; }
    // The state or arrow last clicked or reached with the arrow keys, which Ctrl+B sets a
    // breakpoint on; framed while the view has the focus.
    const std::optional<TTarget>& FocusedTarget() const { return FFocused; }

    // Layout points drawn a pixel each at 1; the diagram stands centred below its title.
    void SetScale(double Scale);
    double Scale() const { return FScale; }
    // The size that shows the whole diagram and its whole title at the given scale.
    QSize SizeAt(double Scale) const;
    QSizeF LayoutSize() const { return {FLayout.Width, FLayout.Height}; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    // The whole view as a picture to save.
    TPicture Picture();

protected:
    bool event(QEvent* Event) override;
    void paintEvent(QPaintEvent* Event) override;
    void resizeEvent(QResizeEvent* Event) override;
    void mousePressEvent(QMouseEvent* Event) override;
    void keyPressEvent(QKeyEvent* Event) override;

private:
    // What an edge draws, in the layout's points.
    struct TEdgeShape {
        QPainterPath Path;
        QPolygonF Arrow;
        TLabel Label;
        QRectF LabelBox;
        QRectF Bounds; // all of it, with room for the thickest lit pen
    };

    double Glow(qint64 Start) const;
    void UpdateDescription();
    void PlaceDiagram();
    // Everything in its resting colours, with no state current.
    void RenderStill();
    void PaintStill(QPainter& Painter);
    void PaintEdge(QPainter& Painter, const TDiagramEdge& Edge, const TEdgeShape& Shape,
                   double Lit);
    void PaintNode(QPainter& Painter, const TDiagramNode& Node, const TNodePlace& Place,
                   bool Current);
    void PaintLines(QPainter& Painter, const TLabel& Label, size_t First, QPointF TopCentre,
                    QColor Colour);

    TDiagram FDiagram;
    TDiagramLayout FLayout;
    QFont FFont;
    QFont FBold;
    std::vector<TEdgeShape> FEdgeShapes;
    std::vector<TLabel> FNodeLabels;
    int32_t FCurrentState = -1;
    std::vector<qint64> FEdgeLit;
    std::vector<int> FEdgeOrder;
    std::vector<qint64> FEntryLit;
    std::vector<qint64> FRelayLit;
    qint64 FNow = 0;
    bool FWasGlowing = false;
    TAutomatonCoverage FCounts;
    std::vector<bool> FReachableRows;
    std::vector<bool> FReachableStates;
    bool FReachableKnown = false;
    double FScale = 1;
    QTransform FTransform;
    QPixmap FStill;
    std::vector<TBreakMark> FBreakMarks;
    std::optional<TTarget> FFocused;
    void PaintBreakMarks(QPainter& Painter);
};

} // namespace sm
