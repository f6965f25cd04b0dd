#include "window/WindowScale.h"

#include "window/FormMain.h"
#include "window/Pictures.h"

#include <QAction>
#include <QCoreApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QFrame>
#include <QListWidget>
#include <QProxyStyle>
#include <QSettings>

#include <algorithm>
#include <cmath>

namespace sm {

namespace {

const char ScaleKey[] = "Window/Scale";
// A check list's rows as the design sets them.
constexpr int ListRowHeight = 13;

QSettings Settings() {
    return QSettings(QCoreApplication::applicationName(), QCoreApplication::applicationName());
}

// Edges are scaled, not sizes, so that neighbours still meet where the design has them meet.
QRect Scaled(const QRect& Design, qreal Factor, QPoint Offset) {
    const auto At = [Factor](int Value) { return static_cast<int>(std::lround(Value * Factor)); };
    const QPoint TopLeft(At(Design.left()), At(Design.top()));
    const QPoint End(At(Design.left() + Design.width()), At(Design.top() + Design.height()));
    return QRect(TopLeft + Offset, End + Offset - QPoint(1, 1));
}

// The style's own sizes at the window's scale: check boxes, scroll bars, frames.
class TScaledStyle : public QProxyStyle {
public:
    explicit TScaledStyle(qreal Factor) : FFactor(Factor) {}

    int pixelMetric(PixelMetric Metric, const QStyleOption* Option,
                    const QWidget* Widget) const override {
        const int Base = QProxyStyle::pixelMetric(Metric, Option, Widget);
        switch (Metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ScrollBarExtent:
        case PM_ScrollBarSliderMin:
        case PM_DefaultFrameWidth:
        case PM_FocusFrameHMargin:
        case PM_FocusFrameVMargin:
        case PM_ButtonMargin:
            return static_cast<int>(std::lround(Base * FFactor));
        default:
            return Base;
        }
    }

private:
    qreal FFactor;
};

} // namespace

// A font is not a picture: its lines and advances are rounded at each size. The size taken is
// the largest whose lines are no taller than the design's scaled, and its letters are spaced to
// the design's widths scaled, so the protocol wraps and scrolls as at the design's size.
QFont TWindowScale::FontAt(qreal Factor) const {
    QFont Design = FWindow.font();
    Design.setPixelSize(FDesignFontPixels);
    Design.setLetterSpacing(QFont::PercentageSpacing, 100);
    if (Factor == 1)
        return Design;
    const QString Sample = QStringLiteral("Автомат A0 \"Игровая машина\" завершил обработку "
                                          "события e11 в состоянии 1 0123456789");
    const int Line = static_cast<int>(std::lround(QFontMetrics(Design).lineSpacing() * Factor));
    const qreal Width = QFontMetricsF(Design).horizontalAdvance(Sample) * Factor;
    QFont Font = Design;
    int Pixels = static_cast<int>(std::lround(FDesignFontPixels * Factor));
    Font.setPixelSize(Pixels);
    while (Pixels > 1 && QFontMetrics(Font).lineSpacing() > Line)
        Font.setPixelSize(--Pixels);
    Font.setLetterSpacing(QFont::PercentageSpacing,
                          100 * Width / QFontMetricsF(Font).horizontalAdvance(Sample));
    return Font;
}

TWindowScale::TWindowScale(TSlotMachine& Window)
    : QObject(&Window), FWindow(Window), FDesignSize(Window.size()),
      FDesignFontPixels(Window.font().pixelSize()) {
    setObjectName(QStringLiteral("WindowScale"));
    // The design's controls lie on the window and on its panel; what they hold inside (a list's
    // viewport, the protocol's scroll bar) is laid out by them.
    for (QWidget* Parent : {static_cast<QWidget*>(&Window), Window.Panel1})
        for (QWidget* Control : Parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (!Control->isWindow()) {
                FDesign.insert(Control, Control->geometry());
                if (auto* Frame = qobject_cast<QFrame*>(Control))
                    FDesignLines.insert(Frame, Frame->lineWidth());
            }
    const auto Bind = [this](const char* Name, const QString& Text, const QList<QKeySequence>& Keys,
                             auto Slot) {
        auto* Action = new QAction(Text, &FWindow);
        Action->setObjectName(QLatin1String(Name));
        Action->setShortcuts(Keys);
        Action->setShortcutContext(Qt::WindowShortcut);
        FWindow.addAction(Action);
        connect(Action, &QAction::triggered, this, Slot);
    };
    // Ctrl with the plus key where it needs no Shift, and where it does.
    Bind("actLarger", QStringLiteral("Крупнее"),
         {QKeySequence(QKeySequence::ZoomIn), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
         &TWindowScale::Larger);
    Bind("actSmaller", QStringLiteral("Мельче"), {QKeySequence(QKeySequence::ZoomOut)},
         &TWindowScale::Smaller);
    Bind("actActualSize", QStringLiteral("Исходный размер"), {QKeySequence(Qt::CTRL | Qt::Key_0)},
         [this] { SetScale(1); });
    Window.installEventFilter(this);
    const qreal Kept = Settings().value(QLatin1String(ScaleKey), 1.0).toDouble();
    if (std::find(Steps.begin(), Steps.end(), Kept) != Steps.end() && Kept != 1)
        SetScale(Kept);
}

void TWindowScale::SetScale(qreal Scale) {
    if (Scale == FScale)
        return;
    FScale = Scale;
    if (Scale == 1)
        Settings().remove(QLatin1String(ScaleKey));
    else
        Settings().setValue(QLatin1String(ScaleKey), Scale);
    if (FWindow.isMaximized() || FWindow.isFullScreen())
        return;
    Apply(Scale, {});
    FWindow.resize(FDesignSize * Scale);
}

void TWindowScale::Larger() {
    const auto Next = std::upper_bound(Steps.begin(), Steps.end(), FScale);
    if (Next != Steps.end())
        SetScale(*Next);
}

void TWindowScale::Smaller() {
    const auto Here = std::lower_bound(Steps.begin(), Steps.end(), FScale);
    if (Here != Steps.begin())
        SetScale(*(Here - 1));
}

bool TWindowScale::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == &FWindow && !FApplying &&
        (Event->type() == QEvent::Resize || Event->type() == QEvent::WindowStateChange))
        Follow();
    return QObject::eventFilter(Watched, Event);
}

void TWindowScale::Follow() {
    if (!FWindow.isMaximized() && !FWindow.isFullScreen()) {
        Apply(FScale, {});
        return;
    }
    const QSize Room = FWindow.size();
    const qreal Fit = std::min(qreal(Room.width()) / FDesignSize.width(),
                               qreal(Room.height()) / FDesignSize.height());
    const QSize Used = (QSizeF(FDesignSize) * Fit).toSize();
    Apply(Fit, QPoint((Room.width() - Used.width()) / 2, (Room.height() - Used.height()) / 2));
}

void TWindowScale::Apply(qreal Factor, QPoint Offset) {
    if (Factor == FShown && Offset == FOffset)
        return;
    FApplying = true;
    FShown = Factor;
    FOffset = Offset;
    FWindow.setFont(FontAt(Factor));
    for (auto Control = FDesign.cbegin(); Control != FDesign.cend(); ++Control)
        // Only the window's own controls move by the offset; the panel's move with the panel.
        Control.key()->setGeometry(
            Scaled(Control.value(), Factor,
                   Control.key()->parentWidget() == &FWindow ? Offset : QPoint()));
    for (auto Frame = FDesignLines.cbegin(); Frame != FDesignLines.cend(); ++Frame)
        Frame.key()->setLineWidth(static_cast<int>(std::lround(Frame.value() * Factor)));
    for (auto* List : FWindow.findChildren<QListWidget*>())
        for (int Row = 0; Row < List->count(); ++Row)
            List->item(Row)->setSizeHint(
                QSize(0, static_cast<int>(std::lround(ListRowHeight * Factor))));
    // The style's sizes with the rest; at the design's scale the application's own style.
    QStyle* Style = nullptr;
    if (Factor != 1) {
        FStyle = std::make_unique<TScaledStyle>(Factor);
        Style = FStyle.get();
    }
    for (QWidget* Control : FWindow.findChildren<QWidget*>())
        if (!Control->isWindow())
            Control->setStyle(Style);
    if (!Style)
        FStyle.reset();
    // The drawings made for the size they are shown at.
    const qreal Ratio = Factor * FWindow.devicePixelRatioF();
    for (TImage* Token : FWindow.Images)
        Token->SetPicture(TokenPixmap(Ratio));
    FWindow.iBadCoin->SetPicture(BadTokenPixmap(Ratio));
    FWindow.iPlay->SetPicture(PlayPixmap(Ratio));
    FWindow.iReturn->SetPicture(ReturnPixmap(Ratio));
    for (TFrameImage* Barrel : {FWindow.Barrel1, FWindow.Barrel2, FWindow.Barrel3})
        Barrel->SetFrames(BarrelFrames(Ratio));
    FApplying = false;
}

} // namespace sm
