#include "window/SequenceChart.h"

#include "slotmachine/Machine.h"
#include "slotmachine/Vocabulary.h"
#include "window/PictureFile.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QTime>

#include <algorithm>

namespace sm {

namespace {

constexpr int MinColumn = 150;

QString Stamp(int64_t Moment) {
    return QTime(0, 0)
        .addMSecs(static_cast<int>(Moment % (int64_t{24} * 3600 * 1000)))
        .toString(QStringLiteral("HH:mm:ss.zzz"));
}

} // namespace

TSequenceChart::TSequenceChart(const TMachine& Machine, QWidget* Parent)
    : QAbstractScrollArea(Parent), FMachine(Machine) {
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
    FRow = fontMetrics().height() * 2 + 4;
    FStampWidth = fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000")) + 12;
    UpdateRange();
}

TSequenceChart::TLifeline TSequenceChart::SenderLifeline(const TStepSender& Sender) {
    switch (Sender.Kind) {
    case TStepSender::TKind::Automaton:
        return static_cast<TLifeline>(LifeA0 + Sender.Automaton);
    case TStepSender::TKind::Timer:
        return Timers;
    case TStepSender::TKind::Player:
    case TStepSender::TKind::Unknown:
        break;
    }
    return Player;
}

void TSequenceChart::Append(std::vector<TRecordedStep> Steps) {
    if (Steps.empty())
        return;
    for (TRecordedStep& Step : Steps) {
        const qsizetype Index = Count();
        // An arrow of the same depth or shallower closes the blocks it is not nested in.
        while (!FOpen.empty() && FArrows[static_cast<size_t>(FOpen.back())].Depth >= Step.Depth)
            FOpen.pop_back();
        TArrow Arrow{.Moment = Step.Moment,
                     .Automaton = Step.Automaton,
                     .Event = Step.Event,
                     .From = Step.From,
                     .To = Step.To,
                     .Row = Step.Row.value_or(-1),
                     .Sender = Step.Sender,
                     .Depth = Step.Depth,
                     .Parent = FOpen.empty() ? -1 : FOpen.back(),
                     .Last = Index,
                     .Message =
                         Step.Messages.empty() ? std::string() : std::move(Step.Messages.front())};
        for (const qsizetype Open : FOpen)
            FArrows[static_cast<size_t>(Open)].Last = Index;
        FArrows.push_back(std::move(Arrow));
        FOpen.push_back(Index);
    }
    UpdateRange();
    if (FFollow)
        ShowRow(Count() - 1);
    viewport()->update();
}

void TSequenceChart::Clear() {
    FArrows.clear();
    FOpen.clear();
    FSelected = -1;
    FFollow = true;
    UpdateRange();
    viewport()->update();
}

void TSequenceChart::SetNow(int64_t Moment) {
    // The present moment shows whole seconds: it is painted again once a second at most.
    const bool Same = Moment / 1000 == FNow / 1000;
    FNow = Moment;
    if (Same)
        return;
    viewport()->update(RowRect(Count()).adjusted(0, 0, 0, FRow));
}

QString TSequenceChart::StateName(int32_t Automaton, int32_t State) const {
    const auto& Lists = FMachine.AutomatonsDispatcher().FStateNames;
    if (Automaton < 0 || static_cast<size_t>(Automaton) >= Lists.size())
        return {};
    const TStringList& Names = Lists[static_cast<size_t>(Automaton)];
    return State >= 0 && State < Names.Count() ? QString::fromStdString(Names.Get(State))
                                               : QString();
}

QString TSequenceChart::Label(qsizetype Index) const {
    const TArrow& Each = Arrow(Index);
    const TStringList& Names = FMachine.AutomatonsDispatcher().FEventNames;
    const QString Name = Each.Event >= 0 && Each.Event < Names.Count()
                             ? QString::fromStdString(Names.Get(Each.Event))
                             : QString();
    return QStringLiteral("e%1 \"%2\"").arg(Each.Event).arg(Name);
}

QString TSequenceChart::SenderText(const TStepSender& Sender) const {
    if (Sender.Kind == TStepSender::TKind::Player || Sender.Kind == TStepSender::TKind::Unknown)
        return QStringLiteral("Игрок");
    return QString::fromStdString(SenderName(Sender));
}

QString TSequenceChart::Sentence(qsizetype Index) const {
    const TArrow& Each = Arrow(Index);
    QString Text = QStringLiteral("%1 посылает A%2 событие %3")
                       .arg(SenderText(Each.Sender))
                       .arg(Each.Automaton)
                       .arg(Label(Index));
    if (Each.From != Each.To)
        Text += QStringLiteral(". A%1: %2 → %3").arg(Each.Automaton).arg(Each.From).arg(Each.To);
    return Text;
}

QSize TSequenceChart::sizeHint() const {
    return {FStampWidth + MinColumn * LifelineCount, FRow * 6};
}

TSequenceChart::TView TSequenceChart::Shown() const {
    return {verticalScrollBar()->value(), horizontalScrollBar()->value(), viewport()->width(),
            viewport()->height()};
}

int TSequenceChart::LifelineX(int Lifeline, const TView& View) const {
    const int Column = std::max(MinColumn, (View.Width - FStampWidth) / LifelineCount);
    return FStampWidth + Column * Lifeline + Column / 2 - View.Left;
}

QRect TSequenceChart::RowIn(qsizetype Index, const TView& View) const {
    const qint64 Top = qint64(FRow) * (Index + 1) - View.Top;
    return {0, static_cast<int>(std::clamp<qint64>(Top, -FRow, View.Height + FRow)), View.Width,
            FRow};
}

QRect TSequenceChart::RowRect(qsizetype Index) const {
    return RowIn(Index, Shown());
}

QImage TSequenceChart::Picture() const {
    // The whole chart, or as much of its end as one image holds.
    constexpr int Most = 30000;
    const qint64 Whole = qint64(FRow) * (Count() + 2);
    const TView View{std::max<qint64>(0, Whole - Most), 0,
                     std::max(viewport()->width(), FStampWidth + MinColumn * LifelineCount),
                     static_cast<int>(std::min<qint64>(Whole, Most))};
    QImage Image(View.Width, View.Height, QImage::Format_RGB32);
    Image.fill(palette().color(QPalette::Base));
    QPainter Painter(&Image);
    Draw(Painter, View);
    return Image;
}

qsizetype TSequenceChart::RowAt(int Y) const {
    const qint64 Row = (qint64(Y) + verticalScrollBar()->value()) / FRow - 1;
    return Row >= 0 && Row < Count() ? Row : -1;
}

void TSequenceChart::UpdateRange() {
    // A row for the lifelines' names, one per arrow, one for the present moment.
    const qint64 Height = qint64(FRow) * (Count() + 2);
    QScrollBar* Down = verticalScrollBar();
    const bool AtEnd = Down->value() >= Down->maximum();
    FScrolling = true;
    Down->setRange(0, static_cast<int>(std::max<qint64>(0, Height - viewport()->height())));
    Down->setPageStep(viewport()->height());
    Down->setSingleStep(FRow);
    horizontalScrollBar()->setRange(
        0, std::max(0, FStampWidth + MinColumn * LifelineCount - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    if (AtEnd && FFollow)
        Down->setValue(Down->maximum());
    FScrolling = false;
}

void TSequenceChart::ShowRow(qsizetype Index) {
    if (Index < 0)
        return;
    QScrollBar* Down = verticalScrollBar();
    const qint64 Top = qint64(FRow) * (Index + 1);
    FScrolling = true;
    if (Index == Count() - 1)
        Down->setValue(Down->maximum()); // the present moment below it too
    else if (Top < Down->value() + FRow)
        Down->setValue(static_cast<int>(Top - FRow));
    else if (Top + FRow > Down->value() + viewport()->height())
        Down->setValue(static_cast<int>(Top + FRow - viewport()->height()));
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
    const qsizetype Page = std::max(1, viewport()->height() / FRow - 1);
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
            [this] { SavePicture(this, Picture(), QStringLiteral("последовательность.png")); });
    Menu.exec(Event->globalPos());
}

void TSequenceChart::paintEvent(QPaintEvent*) {
    QPainter Painter(viewport());
    Draw(Painter, Shown());
}

void TSequenceChart::Draw(QPainter& Painter, const TView& View) const {
    const QPalette& Colours = palette();
    const int Width = View.Width;
    const int Height = View.Height;
    const int Line = fontMetrics().height();
    Painter.setFont(font());

    // Only the rows in view, and the blocks they are nested in, are visited.
    const qsizetype First = std::max<qsizetype>(0, View.Top / FRow - 1);
    const qsizetype End = std::min(Count(), First + Height / FRow + 3);

    QPen Lifeline(Colours.color(QPalette::Mid), 1, Qt::DashLine);
    Painter.setPen(Lifeline);
    for (int Each = 0; Each < LifelineCount; ++Each)
        Painter.drawLine(LifelineX(Each, View), 0, LifelineX(Each, View), Height);

    // Activations: the blocks open over the first row first, then those that start in view.
    std::vector<qsizetype> Blocks;
    if (First < End)
        for (qsizetype Open = Arrow(First).Parent; Open >= 0; Open = Arrow(Open).Parent)
            Blocks.push_back(Open);
    std::reverse(Blocks.begin(), Blocks.end());
    for (qsizetype Index = First; Index < End; ++Index)
        Blocks.push_back(Index);
    Painter.setPen(Colours.color(QPalette::Dark));
    for (const qsizetype Index : Blocks) {
        const TArrow& Each = Arrow(Index);
        const int X = LifelineX(LifeA0 + Each.Automaton, View) - 5 + 3 * std::min(Each.Depth, 4);
        const int Top = RowIn(Index, View).top() + FRow / 2;
        const int Bottom = RowIn(Each.Last, View).bottom() - 2;
        Painter.setBrush(Colours.color(QPalette::AlternateBase));
        Painter.drawRect(X, Top, 9, std::max(4, Bottom - Top));
    }

    for (qsizetype Index = First; Index < End; ++Index) {
        const TArrow& Each = Arrow(Index);
        const QRect Row = RowIn(Index, View);
        if (Index == FSelected)
            Painter.fillRect(Row, Colours.color(QPalette::Highlight).lighter(170));
        Painter.setPen(Colours.color(QPalette::Text));
        if (Each.Depth == 0) {
            // A cascade starts: its stamp at the left and a rule across.
            Painter.setPen(Colours.color(QPalette::Mid));
            Painter.drawLine(0, Row.top(), Width, Row.top());
            Painter.setPen(Colours.color(QPalette::Text));
            Painter.drawText(QRect(4, Row.top(), FStampWidth - 8, Line), Qt::AlignLeft,
                             Stamp(Each.Moment));
        }
        const int From = LifelineX(SenderLifeline(Each.Sender), View);
        const int To = LifelineX(LifeA0 + Each.Automaton, View);
        const int Y = Row.top() + FRow / 2;
        Painter.drawLine(From, Y, To, Y);
        const int Head = To > From ? -7 : 7;
        QPainterPath Point;
        Point.moveTo(To, Y);
        Point.lineTo(To + Head, Y - 4);
        Point.lineTo(To + Head, Y + 4);
        Point.closeSubpath();
        Painter.fillPath(Point, Colours.color(QPalette::Text));
        const QString Text =
            fontMetrics().elidedText(Label(Index), Qt::ElideRight, std::abs(To - From) - 8);
        Painter.drawText(QRect(std::min(From, To) + 4, Y - Line - 1, std::abs(To - From) - 8, Line),
                         Qt::AlignHCenter, Text);
        if (Each.From != Each.To) {
            const QString Change = QStringLiteral("%1 → %2 %3")
                                       .arg(Each.From)
                                       .arg(Each.To)
                                       .arg(StateName(Each.Automaton, Each.To));
            const QRect Frame(To + 10, Y + 2, fontMetrics().horizontalAdvance(Change) + 8, Line);
            Painter.setBrush(Colours.color(QPalette::ToolTipBase));
            Painter.setPen(Colours.color(QPalette::Dark));
            Painter.drawRoundedRect(Frame, 3, 3);
            Painter.setPen(Colours.color(QPalette::ToolTipText));
            Painter.drawText(Frame, Qt::AlignCenter, Change);
        }
    }

    // The present moment, below the last arrow.
    const int Now = RowIn(Count(), View).top() + FRow / 2;
    Painter.setPen(QPen(Colours.color(QPalette::Highlight), 2));
    Painter.drawLine(0, Now, Width, Now);
    Painter.drawText(QRect(4, Now + 2, FStampWidth, Line), Qt::AlignLeft, Stamp(FNow).chopped(4));

    // The lifelines' names stay at the top.
    const QRect Header(0, 0, Width, FRow);
    Painter.fillRect(Header, Colours.color(QPalette::Window));
    Painter.setPen(Colours.color(QPalette::WindowText));
    const QString Names[LifelineCount] = {QStringLiteral("Игрок"), QStringLiteral("A0"),
                                          QStringLiteral("A1"), QStringLiteral("A2"),
                                          QStringLiteral("Таймеры")};
    for (int Each = 0; Each < LifelineCount; ++Each)
        Painter.drawText(QRect(LifelineX(Each, View) - MinColumn / 2, 0, MinColumn, FRow),
                         Qt::AlignCenter, Names[Each]);
}

} // namespace sm
