#include "window/StateTimeline.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace sm {

TStateTimeline::TStateTimeline(const TVirtualTime& Time, QWidget* Parent)
    : QAbstractScrollArea(Parent), FTime(Time) {
    setObjectName(QStringLiteral("StateTimeline"));
    setAccessibleName(QStringLiteral("Состояния во времени"));
    setToolTip(QStringLiteral("Масштаб: Ctrl+колесо мыши"));
    viewport()->setBackgroundRole(QPalette::Base);
    FRow = fontMetrics().height() + 6;
    FNames = fontMetrics().horizontalAdvance(QStringLiteral("TimerSync1")) + 12;
    Clear(Time.Now());
}

QSize TStateTimeline::sizeHint() const {
    return {FNames + 600, FRow * RowCount + 4};
}

void TStateTimeline::Clear(int64_t Now) {
    FStart = FNow = Now;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        FChanges[static_cast<size_t>(Automaton)] = {{Now, FTime.Machine().State(Automaton), -1}};
    FSteps = 0;
    for (auto& Spans : FSpans)
        Spans.clear();
    TimersChanged();
    UpdateRange();
    viewport()->update();
}

void TStateTimeline::DropAfter(int64_t Moment, qsizetype Steps) {
    FSteps = std::min(FSteps, Steps);
    for (auto& Changes : FChanges)
        while (Changes.size() > 1 &&
               (Changes.back().Moment > Moment || Changes.back().Step >= Steps))
            Changes.pop_back();
    for (auto& Spans : FSpans) {
        std::erase_if(Spans, [Moment](const TSpan& Each) { return Each.Start > Moment; });
        if (!Spans.empty() && Spans.back().End > Moment)
            Spans.back().End = -1;
    }
    FNow = std::min(FNow, Moment);
    // The timers as they run at the fork close or keep the last spans.
    TimersChanged();
    UpdateRange();
    viewport()->update();
}

void TStateTimeline::Append(const std::vector<TRecordedStep>& Steps) {
    for (const TRecordedStep& Step : Steps) {
        const qsizetype Index = FSteps++;
        if (Step.Automaton < A0 || Step.Automaton > A2)
            continue;
        auto& Changes = FChanges[static_cast<size_t>(Step.Automaton)];
        if (Changes.back().State == Step.To)
            continue;
        // Several within one millisecond stay, as bars a pixel wide: the order is kept.
        Changes.push_back({Step.Moment, Step.To, Index});
    }
    viewport()->update();
}

void TStateTimeline::TimersChanged() {
    const int64_t Now = FTime.Now();
    bool Changed = false;
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer) {
        auto& Spans = FSpans[static_cast<size_t>(Timer)];
        const bool Runs = FTime.Due(TTimerId(Timer)).has_value();
        const bool Open = !Spans.empty() && Spans.back().End < 0;
        if (Runs && !Open)
            Spans.push_back({Now, -1});
        else if (!Runs && Open)
            Spans.back().End = Now;
        Changed = Changed || Runs != Open;
    }
    if (Changed)
        viewport()->update();
}

void TStateTimeline::SetNow(int64_t Moment) {
    if (Moment == FNow)
        return;
    FNow = Moment;
    UpdateRange();
    viewport()->update();
}

void TStateTimeline::SetScale(double Scale) {
    FScale = std::clamp(Scale, MinScale, MaxScale);
    UpdateRange();
    viewport()->update();
}

int32_t TStateTimeline::StateAt(int32_t Automaton, int64_t Moment) const {
    const auto& List = Changes(Automaton);
    const auto After = std::upper_bound(
        List.begin(), List.end(), Moment,
        [](int64_t Value, const TChange& Change) { return Value < Change.Moment; });
    return After == List.begin() ? -1 : std::prev(After)->State;
}

TStateTimeline::TView TStateTimeline::Shown() const {
    return {horizontalScrollBar()->value(), verticalScrollBar()->value(), viewport()->width(),
            viewport()->height()};
}

int64_t TStateTimeline::MomentAt(int Pixel, const TView& View) const {
    return FStart + static_cast<int64_t>(std::floor((Pixel - FNames + View.Left) / FScale));
}

TPicture TStateTimeline::Picture() const {
    const double Span = std::min(1e9, static_cast<double>(FNow - FStart) * FScale);
    return {.Size = QSize(FNames + 20 + static_cast<int>(Span), FRow * RowCount + 4),
            .Background = palette().color(QPalette::Base),
            .Draw = [this](QPainter& Painter, const QRect& Part, bool) {
                Draw(Painter, {Part.left(), Part.top(), Part.width(), Part.height()});
            }};
}

std::optional<TStateTimeline::TChange> TStateTimeline::BarAt(QPoint Point) const {
    const TView View = Shown();
    const int Row = (Point.y() - 2 + View.Top) / FRow;
    if (Point.x() < FNames || Point.y() - 2 + View.Top < 0 || Row > A2)
        return std::nullopt;
    // The bar drawn under the pixel: the last change at or before its moment.
    const auto& List = Changes(Row);
    const int64_t Moment = MomentAt(Point.x() + 1, View) - 1;
    const auto After = std::upper_bound(
        List.begin(), List.end(), Moment,
        [](int64_t Value, const TChange& Change) { return Value < Change.Moment; });
    if (After == List.begin())
        return std::nullopt;
    return *std::prev(After);
}

void TStateTimeline::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton)
        if (const std::optional<TChange> Bar = BarAt(Event->position().toPoint());
            Bar && Bar->Step >= 0)
            emit StepSelected(Bar->Step);
    QAbstractScrollArea::mousePressEvent(Event);
}

void TStateTimeline::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu Menu(this);
    connect(Menu.addAction(QStringLiteral("Сохранить рисунок…")), &QAction::triggered, this,
            [this] { SavePicture(this, Picture(), QStringLiteral("состояния")); });
    Menu.exec(Event->globalPos());
}

int TStateTimeline::X(int64_t Moment, const TView& View) const {
    const double Offset = static_cast<double>(Moment - FStart) * FScale;
    return FNames + static_cast<int>(std::lround(std::clamp(Offset, -1e6, 1e8))) - View.Left;
}

void TStateTimeline::UpdateRange() {
    QScrollBar* Across = horizontalScrollBar();
    const int Room = std::max(1, viewport()->width() - FNames - 20);
    const double Width = static_cast<double>(FNow - FStart) * FScale;
    FScrolling = true;
    Across->setRange(0, static_cast<int>(std::min(1e9, std::max(0.0, Width - Room))));
    Across->setPageStep(Room);
    Across->setSingleStep(20);
    if (FFollow)
        Across->setValue(Across->maximum());
    FScrolling = false;
    verticalScrollBar()->setRange(0, std::max(0, FRow * RowCount + 4 - viewport()->height()));
    verticalScrollBar()->setPageStep(viewport()->height());
}

void TStateTimeline::scrollContentsBy(int, int) {
    if (!FScrolling)
        FFollow = horizontalScrollBar()->value() >= horizontalScrollBar()->maximum();
    viewport()->update();
}

void TStateTimeline::resizeEvent(QResizeEvent* Event) {
    QAbstractScrollArea::resizeEvent(Event);
    UpdateRange();
}

void TStateTimeline::wheelEvent(QWheelEvent* Event) {
    if (!(Event->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(Event);
        return;
    }
    // The moment under the pointer stays under it.
    const int Pointer = static_cast<int>(Event->position().x());
    const double Moment = (Pointer - FNames + horizontalScrollBar()->value()) / FScale;
    SetScale(FScale * (Event->angleDelta().y() > 0 ? 1.25 : 0.8));
    FFollow = false;
    FScrolling = true;
    horizontalScrollBar()->setValue(static_cast<int>(std::lround(Moment * FScale)) - Pointer +
                                    FNames);
    FScrolling = false;
    FFollow = horizontalScrollBar()->value() >= horizontalScrollBar()->maximum();
    Event->accept();
}

QString TStateTimeline::StateName(int32_t Automaton, int32_t State) const {
    const auto& Lists = FTime.Machine().AutomatonsDispatcher().FStateNames;
    if (static_cast<size_t>(Automaton) >= Lists.size())
        return QString::number(State);
    const TStringList& Names = Lists[static_cast<size_t>(Automaton)];
    return State >= 0 && State < Names.Count()
               ? QStringLiteral("%1 %2").arg(State).arg(QString::fromStdString(Names.Get(State)))
               : QString::number(State);
}

void TStateTimeline::paintEvent(QPaintEvent*) {
    QPainter Painter(viewport());
    Draw(Painter, Shown());
}

void TStateTimeline::Draw(QPainter& Painter, const TView& View) const {
    const QPalette& Colours = palette();
    const int Width = View.Width;
    const int Top0 = 2 - View.Top;
    // The moments in view; only the changes between them are visited.
    const int64_t Left = FStart + static_cast<int64_t>((View.Left - 1) / FScale);
    const int64_t Right = Left + static_cast<int64_t>((Width - FNames + 2) / FScale) + 1;
    Painter.setClipRect(FNames, 0, Width - FNames, View.Height);
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const int Top = Top0 + FRow * Automaton;
        const auto& List = Changes(Automaton);
        auto Each = std::upper_bound(
            List.begin(), List.end(), Left,
            [](int64_t Value, const TChange& Change) { return Value < Change.Moment; });
        if (Each != List.begin())
            --Each;
        while (Each != List.end() && Each->Moment <= Right) {
            // Changes closer than a few pixels are drawn as one dark stretch, found by a search,
            // so that a session zoomed out costs the width of the view, not its length.
            const int From = X(Each->Moment, View);
            const auto Next = std::upper_bound(
                std::next(Each), List.end(), MomentAt(From + 3, View),
                [](int64_t Value, const TChange& Change) { return Value < Change.Moment; });
            const bool Crowded = Next != std::next(Each);
            const auto Last = std::prev(Next);
            const int64_t End = Next == List.end() ? FNow : Next->Moment;
            const QRect Bar(From, Top + 1, std::max(1, X(End, View) - From), FRow - 3);
            Painter.fillRect(
                Bar, Crowded
                         ? Colours.color(QPalette::Mid)
                         : QColor::fromHsv((Last->State * 67 + Automaton * 120) % 360, 50, 240));
            Painter.setPen(Colours.color(QPalette::Dark));
            Painter.drawRect(Bar);
            if (!Crowded && Bar.width() > 12) {
                Painter.setPen(Qt::black);
                const QRect Text =
                    Bar.intersected(QRect(0, 0, View.Width, View.Height)).adjusted(3, 0, -2, 0);
                Painter.drawText(Text, Qt::AlignVCenter | Qt::AlignLeft,
                                 fontMetrics().elidedText(StateName(Automaton, Last->State),
                                                          Qt::ElideRight, Text.width()));
            }
            Each = Next;
        }
    }
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer) {
        const int Top = Top0 + FRow * (3 + Timer);
        const auto& Spans = FSpans[static_cast<size_t>(Timer)];
        // Spans follow one another: those ending before the view are passed over by a search.
        auto Each = std::lower_bound(Spans.begin(), Spans.end(), Left,
                                     [this](const TSpan& Span, int64_t Value) {
                                         return (Span.End < 0 ? FNow : Span.End) < Value;
                                     });
        while (Each != Spans.end() && Each->Start <= Right) {
            const int64_t End = Each->End < 0 ? FNow : Each->End;
            const int To = std::max(X(Each->Start, View) + 2, X(End, View));
            Painter.fillRect(
                QRect(X(Each->Start, View), Top + FRow / 4, To - X(Each->Start, View), FRow / 2),
                Colours.color(QPalette::Highlight));
            // Spans that start within the pixels just painted add nothing.
            Each = std::lower_bound(
                std::next(Each), Spans.end(), MomentAt(To, View),
                [](const TSpan& Span, int64_t Value) { return Span.Start < Value; });
        }
    }
    Painter.setClipping(false);
    // The present moment.
    Painter.setPen(QPen(Colours.color(QPalette::Highlight), 2));
    if (X(FNow, View) >= FNames)
        Painter.drawLine(X(FNow, View), 0, X(FNow, View), View.Height);
    // The rows' names stay at the left.
    Painter.fillRect(0, 0, FNames, View.Height, Colours.color(QPalette::Window));
    Painter.setPen(Colours.color(QPalette::WindowText));
    for (int Row = 0; Row < RowCount; ++Row) {
        const QString Name = Row < 3 ? QStringLiteral("A%1").arg(Row)
                                     : QString::fromLatin1(TimerName(TTimerId(Row - 3)));
        Painter.drawText(QRect(4, Top0 + FRow * Row, FNames - 8, FRow), Qt::AlignVCenter, Name);
    }
}

} // namespace sm
