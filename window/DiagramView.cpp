#include "window/DiagramView.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>

#include <algorithm>
#include <climits>
#include <cmath>

namespace sm {

namespace {

constexpr qint64 Dark = LLONG_MIN; // never lit, or faded out and painted so
constexpr double NodePadX = 8;
constexpr double NodePadY = 4;
constexpr double SeparatorGap = 4; // between a state's name and its entry actions
// Graphviz runs an edge right along its own label's box: the wider side keeps it off the text.
constexpr double EdgePadX = 5;
constexpr double EdgePadY = 4;
constexpr double MinNodeWidth = 40;
constexpr int Margin = 8;
constexpr double ArrowLength = 7;
constexpr double ArrowHalfWidth = 3;

// Drawn as on paper whatever the desktop's theme, like the pictures in lecture notes.
const QColor PaperColour(Qt::white);
const QColor InkColour(50, 50, 50);
const QColor SendColour(0x1f, 0x5f, 0xbf); // as the DOT text colours sending edges
const QColor GlowColour(255, 109, 0);
const QColor UntakenColour(150, 150, 150);
const QColor UnreachableColour(200, 200, 200);

QString Text(const std::string& Utf8) {
    return QString::fromStdString(Utf8);
}

double RunsWidth(const TLabelLine& Line, const QFontMetricsF& Metrics) {
    double Width = 0;
    for (const TLabelRun& Run : Line)
        Width += Metrics.horizontalAdvance(Text(Run.Text));
    return Width;
}

double LabelWidth(const TLabel& Label, size_t First, const QFontMetricsF& Metrics) {
    double Width = 0;
    for (size_t Index = First; Index < Label.size(); ++Index)
        Width = std::max(Width, RunsWidth(Label[Index], Metrics));
    return Width;
}

QColor Mixed(QColor From, QColor To, double Share) {
    return QColor::fromRgbF(
        static_cast<float>(From.redF() + (To.redF() - From.redF()) * Share),
        static_cast<float>(From.greenF() + (To.greenF() - From.greenF()) * Share),
        static_cast<float>(From.blueF() + (To.blueF() - From.blueF()) * Share));
}

QColor Translucent(QColor Colour, double Alpha) {
    Colour.setAlphaF(static_cast<float>(Alpha));
    return Colour;
}

QPointF Point(TDiagramPoint Point) {
    return {Point.X, Point.Y};
}

QRectF NodeBox(const TNodePlace& Place) {
    return {Place.Left, Place.Top, Place.Width, Place.Height};
}

// A circle at the top left corner of an edge's label, a line high, where a lit step's number goes.
QRectF OrderBadge(const QRectF& LabelBox, const QFont& Font) {
    const double Side = QFontMetricsF(Font).lineSpacing();
    return {LabelBox.left() - Side / 2, LabelBox.top() - Side / 2, Side, Side};
}

int64_t CountAt(const std::vector<int64_t>& Counts, size_t Index) {
    return Index < Counts.size() ? Counts[Index] : 0;
}

// What the drawing and the shares depend on: which ones were taken, not how often.
std::vector<bool> Taken(const std::vector<int64_t>& Counts) {
    std::vector<bool> Each(Counts.size());
    for (size_t Index = 0; Index < Counts.size(); ++Index)
        Each[Index] = Counts[Index] > 0;
    return Each;
}

} // namespace

TDiagramView::TDiagramView(TDiagram Diagram, TDiagramLayout Layout, const QFont& Font,
                           QWidget* Parent)
    : QWidget(Parent), FDiagram(std::move(Diagram)), FLayout(std::move(Layout)), FFont(Font),
      FBold(Font), FEdgeLit(FDiagram.Edges.size(), Dark), FEdgeOrder(FDiagram.Edges.size(), 0),
      FEntryLit(FDiagram.Nodes.size(), Dark), FRelayLit(FDiagram.Nodes.size(), Dark) {
    FBold.setBold(true);
    setFont(Font);
    setObjectName(Text(FDiagram.Title.substr(0, FDiagram.Title.find(' '))));
    setAccessibleName(Text(FDiagram.Title));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    // A click or the arrow keys pick the state or arrow that Ctrl+B acts on.
    setFocusPolicy(Qt::StrongFocus);
    // The layout never changes, so every shape is made once.
    for (size_t Row = 0; Row < FDiagram.Edges.size() && Row < FLayout.Edges.size(); ++Row) {
        const TEdgePlace& Place = FLayout.Edges[Row];
        TEdgeShape Shape;
        for (const auto& Curve : Place.Curves) {
            if (Curve.empty())
                continue;
            Shape.Path.moveTo(Point(Curve.front()));
            for (size_t Index = 1; Index + 2 < Curve.size(); Index += 3)
                Shape.Path.cubicTo(Point(Curve[Index]), Point(Curve[Index + 1]),
                                   Point(Curve[Index + 2]));
        }
        if (Place.Arrow && !Shape.Path.isEmpty()) {
            const QPointF Tip = Point(Place.Tip);
            QLineF Axis(Tip, Shape.Path.currentPosition());
            if (Axis.length() > 0) {
                Axis.setLength(1);
                const QPointF Along = Axis.p2() - Axis.p1();
                const QPointF Across(-Along.y(), Along.x());
                const QPointF Base = Tip + Along * ArrowLength;
                Shape.Arrow = {Tip, Base + Across * ArrowHalfWidth, Base - Across * ArrowHalfWidth};
            }
        }
        Shape.Label = EdgeLabel(FDiagram.Edges[Row]);
        Shape.LabelBox =
            QRectF(Place.Label.X - Place.LabelWidth / 2, Place.Label.Y - Place.LabelHeight / 2,
                   Place.LabelWidth, Place.LabelHeight);
        Shape.Bounds = (Shape.Path.boundingRect() | Shape.Arrow.boundingRect() | Shape.LabelBox |
                        OrderBadge(Shape.LabelBox, Font))
                           .adjusted(-3, -3, 3, 3);
        FEdgeShapes.push_back(std::move(Shape));
    }
    for (const TDiagramNode& Node : FDiagram.Nodes)
        FNodeLabels.push_back(NodeLabel(Node));
    FCounts.Rows.assign(FDiagram.Edges.size(), 0);
    FCounts.States.assign(FDiagram.Nodes.size(), 0);
    UpdateDescription();
}

TLabelSizes TDiagramView::Measure(const TDiagram& Diagram, const QFont& Font) {
    QFont Bold(Font);
    Bold.setBold(true);
    const QFontMetricsF Metrics(Font);
    const QFontMetricsF BoldMetrics(Bold);
    const double Line = Metrics.lineSpacing();
    TLabelSizes Sizes;
    for (const TDiagramNode& Node : Diagram.Nodes) {
        const TLabel Label = NodeLabel(Node);
        const double Width =
            std::max(RunsWidth(Label.front(), BoldMetrics), LabelWidth(Label, 1, Metrics));
        const double Entry = Label.size() > 1 ? SeparatorGap : 0;
        Sizes.Nodes.push_back({std::max(MinNodeWidth, Width + 2 * NodePadX),
                               static_cast<double>(Label.size()) * Line + 2 * NodePadY + Entry});
    }
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const TLabel Label = EdgeLabel(Edge);
        Sizes.Edges.push_back({LabelWidth(Label, 0, Metrics) + 2 * EdgePadX,
                               static_cast<double>(Label.size()) * Line + 2 * EdgePadY});
    }
    return Sizes;
}

void TDiagramView::SetCurrentState(int32_t State) {
    if (State == FCurrentState)
        return;
    const int32_t Old = std::exchange(FCurrentState, State);
    for (const int32_t Each : {Old, State})
        update(NodeRect(Each).toAlignedRect().adjusted(-2, -2, 2, 2));
    UpdateDescription();
}

void TDiagramView::Light(const TStep& Step, qint64 Start, int Order) {
    if (Step.Row >= 0 && static_cast<size_t>(Step.Row) < FEdgeLit.size()) {
        FEdgeLit[static_cast<size_t>(Step.Row)] = Start;
        FEdgeOrder[static_cast<size_t>(Step.Row)] = Order;
    }
    // Entry actions run only when the state changes.
    if (Step.From != Step.To && Step.To >= 0 && static_cast<size_t>(Step.To) < FEntryLit.size() &&
        !FDiagram.Nodes[static_cast<size_t>(Step.To)].Entry.empty())
        FEntryLit[static_cast<size_t>(Step.To)] = Start;
}

void TDiagramView::LightRelay(int32_t State, qint64 Start) {
    if (State >= 0 && static_cast<size_t>(State) < FRelayLit.size() &&
        FDiagram.Nodes[static_cast<size_t>(State)].RelayTarget >= 0)
        FRelayLit[static_cast<size_t>(State)] = Start;
}

void TDiagramView::Unlight() {
    for (auto* Lit : {&FEdgeLit, &FEntryLit, &FRelayLit})
        std::fill(Lit->begin(), Lit->end(), Dark);
    update();
}

void TDiagramView::SetNow(qint64 Now) {
    FNow = Now;
    // Only what glows is painted again; the last paint of each shows it dark.
    QRegion Dirty;
    const auto Take = [&](qint64& Start, const QRectF& Rect) {
        if (Start == Dark || Now < Start)
            return;
        Dirty += FTransform.mapRect(Rect).toAlignedRect().adjusted(-2, -2, 2, 2);
        if (Now - Start >= FadeMs)
            Start = Dark;
    };
    for (size_t Row = 0; Row < FEdgeShapes.size(); ++Row)
        Take(FEdgeLit[Row], FEdgeShapes[Row].Bounds);
    for (size_t State = 0; State < FLayout.Nodes.size(); ++State) {
        Take(FEntryLit[State], NodeBox(FLayout.Nodes[State]));
        Take(FRelayLit[State], NodeBox(FLayout.Nodes[State]));
    }
    if (!Dirty.isEmpty())
        update(Dirty);
}

bool TDiagramView::Glowing() const {
    for (const auto* Lit : {&FEdgeLit, &FEntryLit, &FRelayLit})
        if (std::any_of(Lit->begin(), Lit->end(), [](qint64 Start) { return Start != Dark; }))
            return true;
    return false;
}

double TDiagramView::Glow(qint64 Start) const {
    if (Start == Dark || FNow < Start || FNow - Start >= FadeMs)
        return 0;
    return 1 - static_cast<double>(FNow - Start) / FadeMs;
}

double TDiagramView::EdgeGlow(int Row) const {
    return Row >= 0 && static_cast<size_t>(Row) < FEdgeLit.size()
               ? Glow(FEdgeLit[static_cast<size_t>(Row)])
               : 0;
}

int TDiagramView::EdgeOrder(int Row) const {
    return EdgeGlow(Row) > 0 ? FEdgeOrder[static_cast<size_t>(Row)] : 0;
}

double TDiagramView::EntryGlow(int32_t State) const {
    return State >= 0 && static_cast<size_t>(State) < FEntryLit.size()
               ? Glow(FEntryLit[static_cast<size_t>(State)])
               : 0;
}

double TDiagramView::RelayGlow(int32_t State) const {
    return State >= 0 && static_cast<size_t>(State) < FRelayLit.size()
               ? Glow(FRelayLit[static_cast<size_t>(State)])
               : 0;
}

QRectF TDiagramView::NodeRect(int32_t State) const {
    if (State < 0 || static_cast<size_t>(State) >= FLayout.Nodes.size())
        return {};
    return FTransform.mapRect(NodeBox(FLayout.Nodes[static_cast<size_t>(State)]));
}

QRectF TDiagramView::LabelRect(int Row) const {
    if (Row < 0 || static_cast<size_t>(Row) >= FEdgeShapes.size())
        return {};
    return FTransform.mapRect(FEdgeShapes[static_cast<size_t>(Row)].LabelBox);
}

void TDiagramView::SetScale(double Scale) {
    if (Scale == FScale)
        return;
    FScale = Scale;
    PlaceDiagram();
    FStill = QPixmap();
    updateGeometry();
    update();
}

QSize TDiagramView::SizeAt(double Scale) const {
    const QFontMetrics Title(FBold);
    const QFontMetrics Share(FFont);
    // The share's line is measured at its longest, so that the size never follows the counts.
    const int Width = std::max({static_cast<int>(std::ceil(FLayout.Width * Scale)),
                                Title.horizontalAdvance(Text(FDiagram.Title)),
                                Share.horizontalAdvance(CoverageTitle() + QStringLiteral("000"))});
    return {Width + 2 * Margin, static_cast<int>(std::ceil(FLayout.Height * Scale)) +
                                    Title.lineSpacing() + Share.lineSpacing() + 3 * Margin};
}

QSize TDiagramView::sizeHint() const {
    return SizeAt(FScale);
}

QSize TDiagramView::minimumSizeHint() const {
    return SizeAt(FScale);
}

void TDiagramView::resizeEvent(QResizeEvent* Event) {
    QWidget::resizeEvent(Event);
    PlaceDiagram();
    FStill = QPixmap();
}

void TDiagramView::PlaceDiagram() {
    const double Top =
        QFontMetrics(FBold).lineSpacing() + QFontMetrics(FFont).lineSpacing() + 2 * Margin;
    const double Left = (width() - FLayout.Width * FScale) / 2;
    FTransform = QTransform::fromTranslate(Left, Top).scale(FScale, FScale);
}

void TDiagramView::UpdateDescription() {
    const bool Known =
        FCurrentState >= 0 && static_cast<size_t>(FCurrentState) < FDiagram.Nodes.size();
    QString Description =
        QStringLiteral("Текущее состояние: %1")
            .arg(Known ? Text(FDiagram.Nodes[static_cast<size_t>(FCurrentState)].Name)
                       : QString::number(FCurrentState));
    // A screen reader hears the share and which rows are still to take.
    Description += QStringLiteral(". ") + CoverageTitle();
    QStringList Untaken;
    for (const TDiagramEdge& Edge : FDiagram.Edges)
        if (RowCount(Edge.Row) == 0 && RowReachable(Edge.Row))
            Untaken << RowText(FDiagram, Edge.Row);
    if (!Untaken.isEmpty())
        Description += QStringLiteral(". Не взяты: ") + Untaken.join(QStringLiteral("; "));
    if (accessibleDescription() != Description)
        setAccessibleDescription(Description);
}

void TDiagramView::SetCoverage(const TAutomatonCoverage& Counts,
                               const std::vector<bool>& ReachableRows,
                               const std::vector<bool>& ReachableStates, bool Known) {
    const bool Redraw = Taken(Counts.Rows) != Taken(FCounts.Rows) ||
                        Taken(Counts.States) != Taken(FCounts.States) ||
                        ReachableRows != FReachableRows || ReachableStates != FReachableStates ||
                        Known != FReachableKnown;
    FCounts = Counts;
    FCounts.Rows.resize(FDiagram.Edges.size());
    FCounts.States.resize(FDiagram.Nodes.size());
    FReachableRows = ReachableRows;
    FReachableStates = ReachableStates;
    FReachableKnown = Known;
    if (!Redraw)
        return;
    FStill = QPixmap();
    update();
    UpdateDescription();
}

int64_t TDiagramView::RowCount(int Row) const {
    return Row < 0 ? 0 : CountAt(FCounts.Rows, static_cast<size_t>(Row));
}

int64_t TDiagramView::StateCount(int32_t State) const {
    return State < 0 ? 0 : CountAt(FCounts.States, static_cast<size_t>(State));
}

bool TDiagramView::RowReachable(int Row) const {
    const auto Index = static_cast<size_t>(Row);
    return !FReachableKnown || RowCount(Row) > 0 || Index >= FReachableRows.size() ||
           FReachableRows[Index];
}

bool TDiagramView::StateReachable(int32_t State) const {
    const auto Index = static_cast<size_t>(State);
    return !FReachableKnown || StateCount(State) > 0 || Index >= FReachableStates.size() ||
           FReachableStates[Index];
}

QString TDiagramView::CoverageTitle() const {
    int Taken = 0;
    int Of = 0;
    for (const TDiagramEdge& Edge : FDiagram.Edges)
        if (RowReachable(Edge.Row)) {
            ++Of;
            Taken += RowCount(Edge.Row) > 0 ? 1 : 0;
        }
    return QStringLiteral("%1: %2 из %3 переходов")
        .arg(Text(FDiagram.Title.substr(0, FDiagram.Title.find(' '))))
        .arg(Taken)
        .arg(Of);
}

namespace {

QString Unknown() {
    return QStringLiteral("\nНедостижимые ещё ищутся: пока доля считает все.");
}

} // namespace

QString TDiagramView::RowTip(int Row) const {
    if (Row < 0 || static_cast<size_t>(Row) >= FDiagram.Edges.size())
        return {};
    QString Tip = RowText(FDiagram, Row) + u'\n';
    if (!RowReachable(Row))
        return Tip + QStringLiteral("Недостижим: ни один сеанс его не возьмёт");
    Tip += QStringLiteral("Взят в этом сеансе: %1").arg(RowCount(Row));
    return FReachableKnown ? Tip : Tip + Unknown();
}

QString TDiagramView::StateTip(int32_t State) const {
    if (State < 0 || static_cast<size_t>(State) >= FDiagram.Nodes.size())
        return {};
    QString Tip = Text(FDiagram.Nodes[static_cast<size_t>(State)].Name) + u'\n';
    if (!StateReachable(State))
        return Tip + QStringLiteral("Недостижимо: ни один сеанс в него не войдёт");
    Tip += QStringLiteral("Входов в этом сеансе: %1").arg(StateCount(State));
    return FReachableKnown ? Tip : Tip + Unknown();
}

QPen TDiagramView::EdgePen(int Row, double Lit) const {
    const TDiagramEdge& Edge = FDiagram.Edges.at(static_cast<size_t>(Row));
    QColor Colour = Edge.Sends() ? SendColour : InkColour;
    Qt::PenStyle Style = Qt::SolidLine;
    if (!RowReachable(Row)) {
        Colour = UnreachableColour;
        Style = Qt::DotLine;
    } else if (RowCount(Row) == 0) {
        Colour = UntakenColour;
        Style = Qt::DashLine;
    }
    return QPen(QBrush(Mixed(Colour, GlowColour, Lit)), 1.2 + 1.8 * Lit,
                Lit > 0 ? Qt::SolidLine : Style);
}

QPen TDiagramView::NodePen(int32_t State, bool Current) const {
    QColor Colour = InkColour;
    Qt::PenStyle Style = Qt::SolidLine;
    if (!StateReachable(State)) {
        Colour = UnreachableColour;
        Style = Qt::DotLine;
    } else if (StateCount(State) == 0) {
        Colour = UntakenColour;
        Style = Qt::DashLine;
    }
    return QPen(QBrush(Colour), Current ? 2 : 1.2, Style);
}

std::optional<TTarget> TDiagramView::TargetAt(QPointF Point) const {
    for (const TDiagramNode& Node : FDiagram.Nodes)
        if (NodeRect(Node.State).contains(Point))
            return TTarget{FDiagram.Automaton, false, Node.State};
    for (const TDiagramEdge& Edge : FDiagram.Edges)
        if (LabelRect(Edge.Row).contains(Point))
            return TTarget{FDiagram.Automaton, true, Edge.Row};
    return std::nullopt;
}

bool TDiagramView::event(QEvent* Event) {
    if (Event->type() == QEvent::FocusIn || Event->type() == QEvent::FocusOut)
        update(); // the focused target's frame
    if (Event->type() != QEvent::ToolTip)
        return QWidget::event(Event);
    const auto* Help = static_cast<QHelpEvent*>(Event);
    const std::optional<TTarget> Target = TargetAt(Help->pos());
    if (!Target)
        return QWidget::event(Event); // the window's own, on zooming

    QToolTip::showText(Help->globalPos(),
                       Target->IsRow ? RowTip(Target->Index) : StateTip(Target->Index), this);
    return true;
}

void TDiagramView::RenderStill() {
    const qreal Ratio = devicePixelRatioF();
    FStill = QPixmap(size() * Ratio);
    FStill.setDevicePixelRatio(Ratio);
    FStill.fill(PaperColour);
    QPainter Painter(&FStill);
    PaintStill(Painter);
}

TPicture TDiagramView::Picture() {
    // As the view shows it at rest: its current state filled, no step lit.
    return {.Size = size(),
            .Background = PaperColour,
            .Draw = [this](QPainter& Painter, const QRect& Part, bool) {
                Painter.translate(-Part.topLeft());
                PaintStill(Painter);
                if (FCurrentState >= 0 && static_cast<size_t>(FCurrentState) < FNodeLabels.size())
                    PaintNode(Painter, FDiagram.Nodes[static_cast<size_t>(FCurrentState)],
                              FLayout.Nodes[static_cast<size_t>(FCurrentState)], true);
            }};
}

void TDiagramView::PaintStill(QPainter& Painter) {
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setFont(FBold);
    Painter.setPen(InkColour);
    const int TitleHeight = QFontMetrics(FBold).lineSpacing();
    Painter.drawText(QRect(0, Margin, width(), TitleHeight), Qt::AlignHCenter | Qt::AlignTop,
                     Text(FDiagram.Title));
    Painter.setFont(FFont);
    Painter.drawText(QRect(0, Margin + TitleHeight, width(), QFontMetrics(FFont).lineSpacing()),
                     Qt::AlignHCenter | Qt::AlignTop, CoverageTitle());
    // Combined: a picture of a part comes shifted.
    Painter.setTransform(FTransform, true);
    for (size_t Row = 0; Row < FEdgeShapes.size(); ++Row)
        PaintEdge(Painter, FDiagram.Edges[Row], FEdgeShapes[Row], 0);
    for (size_t State = 0; State < FNodeLabels.size(); ++State)
        PaintNode(Painter, FDiagram.Nodes[State], FLayout.Nodes[State], false);
}

void TDiagramView::paintEvent(QPaintEvent* Event) {
    if (FStill.size() != size() * devicePixelRatioF())
        RenderStill();
    // The still picture, then on top only what the colours change: lit edges, and the states
    // that are current, lit, or under a lit edge.
    QPainter Painter(this);
    Painter.drawPixmap(Event->rect(), FStill,
                       QRectF(QRectF(Event->rect()).topLeft() * FStill.devicePixelRatio(),
                              QSizeF(Event->rect().size()) * FStill.devicePixelRatio()));
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setTransform(FTransform);
    const QRectF Clip = FTransform.inverted().mapRect(QRectF(Event->rect()));
    std::vector<QRectF> Lit;
    for (size_t Row = 0; Row < FEdgeShapes.size(); ++Row) {
        const double Glow = EdgeGlow(static_cast<int>(Row));
        if (Glow > 0 && Clip.intersects(FEdgeShapes[Row].Bounds)) {
            PaintEdge(Painter, FDiagram.Edges[Row], FEdgeShapes[Row], Glow);
            Lit.push_back(FEdgeShapes[Row].Bounds);
        }
    }
    for (size_t State = 0; State < FNodeLabels.size(); ++State) {
        const QRectF Box = NodeBox(FLayout.Nodes[State]).adjusted(-2, -2, 2, 2);
        const bool Current = static_cast<int32_t>(State) == FCurrentState;
        const bool Changed = Current || EntryGlow(static_cast<int32_t>(State)) > 0 ||
                             RelayGlow(static_cast<int32_t>(State)) > 0 ||
                             std::any_of(Lit.begin(), Lit.end(),
                                         [&](const QRectF& Each) { return Each.intersects(Box); });
        if (Changed && Clip.intersects(Box))
            PaintNode(Painter, FDiagram.Nodes[State], FLayout.Nodes[State], Current);
    }
    PaintBreakMarks(Painter);
}

void TDiagramView::SetBreakMarks(std::vector<TBreakMark> Marks) {
    if (Marks == FBreakMarks)
        return;
    FBreakMarks = std::move(Marks);
    update();
}

void TDiagramView::PaintBreakMarks(QPainter& Painter) {
    const QColor Red(200, 30, 30);
    for (const TBreakMark& Mark : FBreakMarks) {
        const QRectF Box = Mark.Target.IsRow
                               ? FEdgeShapes.at(static_cast<size_t>(Mark.Target.Index)).LabelBox
                               : NodeBox(FLayout.Nodes.at(static_cast<size_t>(Mark.Target.Index)));
        if (Mark.Hit) {
            Painter.setPen(QPen(Red, 3));
            Painter.setBrush(Qt::NoBrush);
            Painter.drawRoundedRect(Box.adjusted(-4, -4, 4, 4), 5, 5);
        }
        Painter.setPen(QPen(Red, 1.5));
        Painter.setBrush(Mark.Enabled ? QBrush(Red) : QBrush(Qt::white));
        Painter.drawEllipse(Box.topLeft(), 5, 5);
    }
    if (FFocused && hasFocus()) {
        const QRectF Box = FFocused->IsRow
                               ? FEdgeShapes.at(static_cast<size_t>(FFocused->Index)).LabelBox
                               : NodeBox(FLayout.Nodes.at(static_cast<size_t>(FFocused->Index)));
        Painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DashLine));
        Painter.setBrush(Qt::NoBrush);
        Painter.drawRect(Box.adjusted(-2, -2, 2, 2));
    }
}

void TDiagramView::keyPressEvent(QKeyEvent* Event) {
    // The states, then the rows, in table order; the arrow keys walk them.
    std::vector<TTarget> Targets;
    for (const TDiagramNode& Node : FDiagram.Nodes)
        Targets.push_back({FDiagram.Automaton, false, Node.State});
    for (const TDiagramEdge& Edge : FDiagram.Edges)
        Targets.push_back({FDiagram.Automaton, true, Edge.Row});
    const auto At = FFocused ? std::find(Targets.begin(), Targets.end(), *FFocused) : Targets.end();
    const auto Count = static_cast<std::ptrdiff_t>(Targets.size());
    std::ptrdiff_t Index = At == Targets.end() ? -1 : At - Targets.begin();
    if (Event->key() == Qt::Key_Right || Event->key() == Qt::Key_Down)
        Index = (Index + 1) % Count;
    else if (Event->key() == Qt::Key_Left || Event->key() == Qt::Key_Up)
        Index = (Index + Count - 1) % Count;
    else
        return QWidget::keyPressEvent(Event);
    FFocused = Targets[static_cast<size_t>(Index)];
    update();
}

void TDiagramView::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton || Event->button() == Qt::RightButton) {
        FFocused = TargetAt(Event->position());
        setFocus(Qt::MouseFocusReason);
        update();
    }
    QWidget::mousePressEvent(Event);
}

void TDiagramView::PaintEdge(QPainter& Painter, const TDiagramEdge& Edge, const TEdgeShape& Shape,
                             double Lit) {
    const QPen Pen = EdgePen(Edge.Row, Lit);
    const QColor Colour = Pen.color();
    Painter.setBrush(Qt::NoBrush);
    Painter.setPen(Pen);
    Painter.drawPath(Shape.Path);
    if (!Shape.Arrow.isEmpty()) {
        Painter.setPen(QPen(Colour, 1));
        Painter.setBrush(Colour);
        Painter.drawPolygon(Shape.Arrow);
    }
    if (Lit > 0) {
        // Opaque, so that the still picture's text beneath does not show through.
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(Mixed(PaperColour, GlowColour, 0.35 * Lit));
        Painter.drawRoundedRect(Shape.LabelBox, 3, 3);
    }
    const double Height =
        static_cast<double>(Shape.Label.size()) * QFontMetricsF(FFont).lineSpacing();
    Painter.setFont(FFont);
    PaintLines(Painter, Shape.Label, 0,
               QPointF(Shape.LabelBox.center().x(), Shape.LabelBox.center().y() - Height / 2),
               InkColour);
    // Steps of one input light together: the number tells their order.
    const int Order = FEdgeOrder[static_cast<size_t>(Edge.Row)];
    if (Lit > 0 && Order > 0) {
        const QRectF Badge = OrderBadge(Shape.LabelBox, FFont);
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(Mixed(PaperColour, GlowColour, Lit));
        Painter.drawEllipse(Badge);
        Painter.setPen(Qt::white);
        Painter.setFont(FBold);
        Painter.drawText(Badge, Qt::AlignCenter, QString::number(Order));
    }
}

void TDiagramView::PaintNode(QPainter& Painter, const TDiagramNode& Node, const TNodePlace& Place,
                             bool Current) {
    const QRectF Box = NodeBox(Place);
    Painter.setPen(NodePen(Node.State, Current));
    Painter.setBrush(Current ? CurrentFill() : PaperColour);
    Painter.drawRoundedRect(Box.adjusted(0.5, 0.5, -0.5, -0.5), 6, 6);

    const TLabel& Label = FNodeLabels[static_cast<size_t>(Node.State)];
    const double Line = QFontMetricsF(FFont).lineSpacing();
    const double Entry = Label.size() > 1 ? SeparatorGap : 0;
    const double Top = Box.center().y() - (static_cast<double>(Label.size()) * Line + Entry) / 2;
    Painter.setFont(FBold);
    PaintLines(Painter, {Label.front()}, 0, QPointF(Box.center().x(), Top), InkColour);
    if (Label.size() == 1)
        return;
    const double Separator = Top + Line + Entry / 2;
    Painter.setPen(QPen(InkColour, 0.8));
    Painter.drawLine(QPointF(Box.left(), Separator), QPointF(Box.right(), Separator));
    // The relay, when the state has one, is the last line; the entry actions come before it.
    const size_t Lines = Label.size();
    const size_t RelayLine = Node.RelayTarget >= 0 ? Lines - 1 : Lines;
    const auto Highlight = [&](size_t First, size_t End, double Lit) {
        if (Lit <= 0 || First >= End)
            return;
        Painter.setPen(Qt::NoPen);
        Painter.setBrush(Translucent(GlowColour, 0.45 * Lit));
        Painter.drawRoundedRect(QRectF(Box.left() + 2,
                                       Top + Entry + static_cast<double>(First) * Line,
                                       Box.width() - 4, static_cast<double>(End - First) * Line),
                                3, 3);
    };
    Highlight(1, RelayLine, EntryGlow(Node.State));
    Highlight(RelayLine, Lines, RelayGlow(Node.State));
    Painter.setFont(FFont);
    PaintLines(Painter, Label, 1, QPointF(Box.center().x(), Top + Line + Entry), InkColour);
}

void TDiagramView::PaintLines(QPainter& Painter, const TLabel& Label, size_t First,
                              QPointF TopCentre, QColor Colour) {
    const QFontMetricsF Metrics(Painter.font());
    double Baseline = TopCentre.y() + Metrics.ascent();
    for (size_t Index = First; Index < Label.size(); ++Index) {
        const TLabelLine& Line = Label[Index];
        double X = TopCentre.x() - RunsWidth(Line, Metrics) / 2;
        for (const TLabelRun& Run : Line) {
            const QString Piece = Text(Run.Text);
            Painter.setPen(Run.Send ? SendColour : Colour);
            Painter.drawText(QPointF(X, Baseline), Piece);
            X += Metrics.horizontalAdvance(Piece);
        }
        Baseline += Metrics.lineSpacing();
    }
}

} // namespace sm
