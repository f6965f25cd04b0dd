#include "window/SequenceChart.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace sm {

TSequenceChart::TSequenceChart(const TMachine& Machine, QWidget* Parent)
    : QAbstractScrollArea(Parent), FDrawing(Machine, font()) {
    setObjectName(QStringLiteral("SequenceChart"));
    setAccessibleName(QStringLiteral("Последовательность событий"));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    changeEvent(nullptr);
}

void TSequenceChart::changeEvent(QEvent* Event) {
    if (Event)
        QAbstractScrollArea::changeEvent(Event);
    if (Event && Event->type() != QEvent::FontChange)
        return;
    FDrawing.SetFont(font());
    UpdateRange();
}

void TSequenceChart::Append(std::vector<TRecordedStep> Steps) {
    if (Steps.empty())
        return;
    FDrawing.Append(std::move(Steps));
    UpdateRange();
    if (FFollow)
        ShowRow(Count() - 1);
    viewport()->update();
}

void TSequenceChart::Clear() {
    FDrawing.Clear();
    FSelected = -1;
    FFollow = true;
    UpdateRange();
    viewport()->update();
}

void TSequenceChart::DropAfter(int64_t Moment) {
    FDrawing.DropAfter(Moment);
    if (FSelected >= Count())
        FSelected = -1;
    UpdateRange();
    viewport()->update();
}

void TSequenceChart::SetNow(int64_t Moment) {
    // The present moment shows whole seconds: it is painted again once a second at most.
    const bool Same = Moment / 1000 == FNow / 1000;
    FNow = Moment;
    if (Same)
        return;
    viewport()->update(RowRect(Count()).adjusted(0, 0, 0, RowHeight()));
}

QSize TSequenceChart::sizeHint() const {
    return {FDrawing.MinWidth(), RowHeight() * 6};
}

TSequenceDrawing::TView TSequenceChart::Shown() const {
    return {verticalScrollBar()->value(), horizontalScrollBar()->value(), viewport()->width(),
            viewport()->height(), true};
}

QRect TSequenceChart::RowRect(qsizetype Index) const {
    return FDrawing.RowIn(Index, Shown());
}

TPicture TSequenceChart::Picture() const {
    return FDrawing.Picture(viewport()->width(), palette(), FSelected, FNow);
}

qsizetype TSequenceChart::RowAt(int Y) const {
    const qint64 Row = (qint64(Y) + verticalScrollBar()->value()) / RowHeight() - 1;
    return Row >= 0 && Row < Count() ? Row : -1;
}

void TSequenceChart::UpdateRange() {
    const qint64 Height = FDrawing.Height();
    QScrollBar* Down = verticalScrollBar();
    const bool AtEnd = Down->value() >= Down->maximum();
    FScrolling = true;
    Down->setRange(0, static_cast<int>(std::max<qint64>(0, Height - viewport()->height())));
    Down->setPageStep(viewport()->height());
    Down->setSingleStep(RowHeight());
    horizontalScrollBar()->setRange(0, std::max(0, FDrawing.MinWidth() - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    if (AtEnd && FFollow)
        Down->setValue(Down->maximum());
    FScrolling = false;
}

void TSequenceChart::ShowRow(qsizetype Index) {
    if (Index < 0)
        return;
    QScrollBar* Down = verticalScrollBar();
    const int Row = RowHeight();
    const qint64 Top = qint64(Row) * (Index + 1);
    FScrolling = true;
    if (Index == Count() - 1)
        Down->setValue(Down->maximum()); // the present moment below it too
    else if (Top < Down->value() + Row)
        Down->setValue(static_cast<int>(Top - Row));
    else if (Top + Row > Down->value() + viewport()->height())
        Down->setValue(static_cast<int>(Top + Row - viewport()->height()));
    FScrolling = false;
}

void TSequenceChart::scrollContentsBy(int, int) {
    // Scrolled away by the user, the chart stays; back at the end, it follows again.
    if (!FScrolling)
        FFollow = verticalScrollBar()->value() >= verticalScrollBar()->maximum();
    viewport()->update();
}

void TSequenceChart::resizeEvent(QResizeEvent* Event) {
    QAbstractScrollArea::resizeEvent(Event);
    UpdateRange();
}

void TSequenceChart::Select(qsizetype Index) {
    if (Index < 0 || Index >= Count() || Index == FSelected)
        return;
    FSelected = Index;
    ShowRow(Index);
    FFollow = Index == Count() - 1;
    setAccessibleDescription(Sentence(Index));
    viewport()->update();
    emit ArrowSelected(Index);
}

void TSequenceChart::keyPressEvent(QKeyEvent* Event) {
    const qsizetype Page = std::max(1, viewport()->height() / RowHeight() - 1);
    qsizetype Target = -2;
    switch (Event->key()) {
    case Qt::Key_Up:
        Target = FSelected < 0 ? Count() - 1 : std::max<qsizetype>(0, FSelected - 1);
        break;
    case Qt::Key_Down:
        Target = std::min(Count() - 1, FSelected + 1);
        break;
    case Qt::Key_PageUp:
        Target = std::max<qsizetype>(0, FSelected - Page);
        break;
    case Qt::Key_PageDown:
        Target = std::min(Count() - 1, FSelected + Page);
        break;
    case Qt::Key_Home:
        Target = 0;
        break;
    case Qt::Key_End:
        Target = Count() - 1;
        break;
    default:
        QAbstractScrollArea::keyPressEvent(Event);
        return;
    }
    Select(Target);
}

void TSequenceChart::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() == Qt::LeftButton)
        Select(RowAt(Event->position().toPoint().y()));
    QAbstractScrollArea::mousePressEvent(Event);
}

void TSequenceChart::contextMenuEvent(QContextMenuEvent* Event) {
    QMenu Menu(this);
    connect(Menu.addAction(QStringLiteral("Сохранить рисунок…")), &QAction::triggered, this,
            [this] { SavePicture(this, Picture(), QStringLiteral("последовательность")); });
    Menu.exec(Event->globalPos());
}

void TSequenceChart::paintEvent(QPaintEvent*) {
    QPainter Painter(viewport());
    FDrawing.Draw(Painter, Shown(), palette(), FSelected, FNow);
}

} // namespace sm
