#include "window/SessionTimeline.h"

#include "slotmachine/Protocol.h"
#include "window/HistoryControl.h"
#include "window/MachineClock.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include <algorithm>
#include <cmath>
#include <vector>

namespace sm {

namespace {

constexpr int Margin = 6;
constexpr int BarHeight = 24;

} // namespace

TSessionTimeline::TSessionTimeline(THistoryControl& Control, TMachineClock& Clock,
                                   std::function<QDateTime()> SessionStart, QWidget* Parent)
    : QWidget(Parent), FControl(Control), FClock(Clock), FSessionStart(std::move(SessionStart)) {
    setObjectName(QStringLiteral("SessionTimeline"));
    setAccessibleName(QStringLiteral("Ход сеанса"));
    setToolTip(QStringLiteral("Ход сеанса: щелчок или перетаскивание — к моменту; "
                              "←, → — шаг; Home — пуск; End — последний момент"));
    setFocusPolicy(Qt::StrongFocus);
    setMinimumHeight(BarHeight / 2 + fontMetrics().height());
    connect(&Control, &THistoryControl::Moved, this, &TSessionTimeline::ShowPresent);
    connect(&Control, &THistoryControl::Refused, this, &TSessionTimeline::Said);
    // A step, a frame or a playback moves the present as well as a jump does.
    connect(&Clock, &TMachineClock::Moved, this, &TSessionTimeline::ShowPresent);
    ShowPresent();
}

QSize TSessionTimeline::sizeHint() const {
    return {600, BarHeight + 2 * fontMetrics().height() + Margin};
}

QRect TSessionTimeline::Bar() const {
    // A dock made low keeps the line of text and gives up bar.
    const int Tall = std::clamp(height() - fontMetrics().height() - Margin, 6, BarHeight);
    return QRect(Margin, Margin / 2, std::max(1, width() - 2 * Margin), Tall);
}

int64_t TSessionTimeline::Span() const {
    return std::max<int64_t>({1, FControl.End(), FClock.Now()});
}

int TSessionTimeline::XOf(int64_t Ms) const {
    const QRect Area = Bar();
    return Area.left() + int(double(Ms) * (Area.width() - 1) / double(Span()));
}

size_t TSessionTimeline::MomentAt(int X) const {
    const QRect Area = Bar();
    const int Along = std::clamp(X - Area.left(), 0, Area.width() - 1);
    return FControl.History().MomentNear(
        std::llround(double(Along) * double(Span()) / std::max(1, Area.width() - 1)));
}

QString TSessionTimeline::MomentText(size_t Moment) const {
    const THistoryMoment& Each = FControl.History().Moment(Moment);
    QString Text = Stamp(QLocale(), FSessionStart().addMSecs(Each.Ms)) + u' ';
    switch (Each.Sender.Kind) {
    case TStepSender::TKind::Player:
        for (const TPlayerActionRow& Row : PlayerActionRows)
            if (Row.Action == Each.Sender.Action)
                Text += QStringLiteral("игрок, %1").arg(Row.Name);
        break;
    case TStepSender::TKind::Timer:
        Text += QString::fromLatin1(TimerName(Each.Sender.Timer));
        break;
    default:
        return Text + QStringLiteral("пуск");
    }
    const TStringList& Names = FClock.Machine().AutomatonsDispatcher().FEventNames;
    const QString Name = Each.Event >= 0 && Each.Event < Names.Count()
                             ? QString::fromStdString(Names.Get(Each.Event))
                             : QString();
    Text += QStringLiteral(": A%1 получает e%2 «%3»").arg(Each.Automaton).arg(Each.Event).arg(Name);
    if (Each.Events > 1)
        Text += QStringLiteral(", событий: %1").arg(Each.Events);
    return Text;
}

void TSessionTimeline::Said(const QString& Why) {
    if (Why.isEmpty())
        return;
    FText = Why;
    setAccessibleDescription(Why);
    update();
}

void TSessionTimeline::ShowPresent() {
    FText = MomentText(FControl.Present());
    if (FControl.InPast())
        FText = QStringLiteral("Прошлое: ") + FText;
    if (accessibleDescription() != FText) {
        setAccessibleDescription(FText);
        QAccessibleEvent Event(this, QAccessible::DescriptionChanged);
        QAccessible::updateAccessibility(&Event);
    }
    update();
}

void TSessionTimeline::paintEvent(QPaintEvent*) {
    QPainter Painter(this);
    const QRect Area = Bar();
    const QPalette& Colours = palette();
    Painter.fillRect(Area, Colours.color(QPalette::Base));
    Painter.setPen(Colours.color(QPalette::Mid));
    Painter.drawRect(Area.adjusted(0, 0, -1, -1));
    // One mark a pixel for each kind: a crowd of moments is as dense as one mark can show.
    const auto& Moments = FControl.History().Moments();
    std::vector<uint8_t> Drawn(size_t(width()) + 1, 0);
    const QColor Player = Colours.color(QPalette::Highlight);
    const QColor Timer = Colours.color(QPalette::Text);
    for (size_t Index = 1; Index < Moments.size(); ++Index) {
        const bool ByPlayer = Moments[Index].Sender.Kind == TStepSender::TKind::Player;
        const int X = std::clamp(XOf(Moments[Index].Ms), 0, width());
        const uint8_t Kind = ByPlayer ? 1 : 2;
        if (Drawn[size_t(X)] & Kind)
            continue;
        Drawn[size_t(X)] |= Kind;
        const int Top = ByPlayer ? Area.top() + 2 : Area.top() + Area.height() / 2;
        Painter.fillRect(QRect(X, Top, 1, Area.bottom() - 1 - Top), ByPlayer ? Player : Timer);
    }
    // The present: the machine's millisecond, a wedge over the bar that a dimmed eye finds too.
    const int Now = XOf(FClock.Now());
    const QColor Cursor = FControl.InPast() ? QColor(200, 0, 0) : QColor(0, 130, 0);
    Painter.fillRect(QRect(Now - 1, Area.top() - 2, 3, Area.height() + 4), Cursor);
    Painter.setPen(Colours.color(QPalette::WindowText));
    const QRect Line(Margin, Area.bottom() + 2, Area.width(), height() - Area.bottom() - 2);
    Painter.drawText(Line, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     fontMetrics().elidedText(FText, Qt::ElideRight, Line.width()));
    if (hasFocus()) {
        QStyleOptionFocusRect Option;
        Option.initFrom(this);
        Option.rect = Area.adjusted(-2, -2, 2, 2);
        style()->drawPrimitive(QStyle::PE_FrameFocusRect, &Option, &Painter, this);
    }
}

void TSessionTimeline::mousePressEvent(QMouseEvent* Event) {
    if (Event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(Event);
    Said(FControl.JumpTo(MomentAt(Event->position().toPoint().x())));
}

void TSessionTimeline::mouseMoveEvent(QMouseEvent* Event) {
    if (!(Event->buttons() & Qt::LeftButton))
        return;
    // Past either end the drag holds there; the same moment is not rebuilt again.
    const size_t Moment = MomentAt(Event->position().toPoint().x());
    if (!FControl.InPast() || Moment != FControl.Present())
        Said(FControl.JumpTo(Moment));
}

void TSessionTimeline::keyPressEvent(QKeyEvent* Event) {
    switch (Event->key()) {
    case Qt::Key_Left:
        Said(FControl.StepBack());
        break;
    case Qt::Key_Right:
        if (!FClock.Step())
            Said(QStringLiteral("Дальше ничего не записано"));
        break;
    case Qt::Key_Home:
        Said(FControl.JumpTo(0));
        break;
    case Qt::Key_End:
        Said(FControl.GoToEnd());
        break;
    default:
        return QWidget::keyPressEvent(Event);
    }
    Event->accept();
}

} // namespace sm
