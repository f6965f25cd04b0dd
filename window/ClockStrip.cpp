#include "window/ClockStrip.h"

#include "window/MachineClock.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QTimerEvent>
#include <QToolButton>

#include <algorithm>
#include <stdexcept>
#include <string>

namespace sm {

namespace {

const QString PauseText = QStringLiteral("Пауза");
const QString GoOnText = QStringLiteral("Продолжить");

QAction* Named(const std::vector<QAction*>& Actions, const char* Name) {
    for (QAction* Action : Actions)
        if (Action->objectName() == QLatin1String(Name))
            return Action;
    throw std::invalid_argument(std::string("no clock action ") + Name);
}

QString Keys(const QAction* Action) {
    QStringList Texts;
    for (const QKeySequence& Key : Action->shortcuts())
        Texts << Key.toString(QKeySequence::NativeText);
    return Texts.join(QStringLiteral(", "));
}

// Figure spaces are as wide as a digit: a count going down keeps its width.
QString Padded(int64_t Number, qsizetype Digits) {
    const QString Text = QString::number(Number);
    return QString(std::max<qsizetype>(0, Digits - Text.size()), QChar(0x2007)) + Text;
}

// The widest the text can be with any digits in place of its zeros.
int WidestWidth(const QFontMetrics& Metrics, QString Text) {
    QChar Widest = u'0';
    for (char16_t Digit = u'1'; Digit <= u'9'; ++Digit)
        if (Metrics.horizontalAdvance(QChar(Digit)) > Metrics.horizontalAdvance(Widest))
            Widest = QChar(Digit);
    return Metrics.horizontalAdvance(Text.replace(u'0', Widest));
}

} // namespace

TClockStrip::TClockStrip(TMachineClock& Clock, const std::vector<QAction*>& Actions,
                         TSessionStart Start, QWidget* Parent)
    : QWidget(Parent), FClock(Clock), FStart(std::move(Start)),
      FPauseAction(Named(Actions, "actPause")) {
    setObjectName(QStringLiteral("ClockStrip"));
    QAction* GoOn = Named(Actions, "actGoOn");
    QAction* Step = Named(Actions, "actStep");
    QAction* Slower = Named(Actions, "actSlower");
    QAction* Faster = Named(Actions, "actFaster");
    FPauseTip = QStringLiteral("%1 (%2)").arg(PauseText, Keys(FPauseAction));
    FGoOnTip = QStringLiteral("%1 (%2, %3)").arg(GoOnText, Keys(GoOn), Keys(FPauseAction));

    FPause = new QToolButton(this);
    FPause->setObjectName(QStringLiteral("PauseButton"));
    // As wide as its longer text, so that pausing moves nothing beside it.
    int Width = 0;
    for (const QString& Text : {PauseText, GoOnText}) {
        FPause->setText(Text);
        Width = std::max(Width, FPause->sizeHint().width());
    }
    FPause->setMinimumWidth(Width);
    FPause->setDefaultAction(FPauseAction);

    // A step back, when the window keeps a history: the action's own button.
    for (QAction* Action : Actions)
        if (Action->objectName() == QLatin1String("actStepBack")) {
            FBack = new QToolButton(this);
            FBack->setObjectName(QStringLiteral("BackButton"));
            FBack->setDefaultAction(Action);
            FBack->setAccessibleName(Action->text());
        }

    // Its own button, not the action's: F10 with nothing ahead still pauses, as it always did.
    FStep = new QToolButton(this);
    FStep->setObjectName(QStringLiteral("StepButton"));
    FStep->setText(Step->text());
    FStep->setToolTip(Step->toolTip());
    FStep->setAccessibleName(Step->text());
    connect(FStep, &QToolButton::clicked, Step, &QAction::trigger);

    FSpeed = new QComboBox(this);
    FSpeed->setObjectName(QStringLiteral("SpeedBox"));
    FSpeed->setFocusPolicy(Qt::TabFocus);
    // Fastest first, so that Down goes slower as F7 does.
    for (size_t Index = TMachineClock::Speeds.size(); Index-- > 0;)
        FSpeed->addItem(SpeedText(TMachineClock::Speeds[Index]));
    // A screen reader's Toggle on an item of the open list selects it without making it current,
    // as the mouse and the keys always do: it is taken as a click on that item.
    connect(FSpeed->view()->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& Selected) {
                const QModelIndexList Chosen = Selected.indexes();
                if (Chosen.size() != 1 || Chosen.front() == FSpeed->view()->currentIndex())
                    return;
                FSpeed->setCurrentIndex(Chosen.front().row());
                FSpeed->hidePopup();
            });
    FSpeed->setAccessibleName(QStringLiteral("Скорость"));
    FSpeed->setToolTip(
        QStringLiteral("Скорость машины: %1 (%2), %3 (%4)")
            .arg(Slower->text().toLower(), Keys(Slower), Faster->text().toLower(), Keys(Faster)));
    // Any choice, a click's or a screen reader's, sets the speed; the strip's own showing of it is
    // silent.
    connect(FSpeed, &QComboBox::currentIndexChanged, this, [this](int Index) {
        const auto Speeds = TMachineClock::Speeds.size();
        if (Index >= 0 && static_cast<size_t>(Index) < Speeds)
            FClock.SetSpeed(TMachineClock::Speeds[Speeds - 1 - static_cast<size_t>(Index)]);
    });

    FTimeOfDay = new QLabel(this);
    FTimeOfDay->setObjectName(QStringLiteral("ClockLabel"));
    FTimeOfDay->setAccessibleDescription(
        QStringLiteral("Часы машины: время протокола и миллисекунды от пуска"));
    FTimeOfDay->setToolTip(FTimeOfDay->accessibleDescription());
    FTimeOfDay->setMinimumWidth(
        WidestWidth(FTimeOfDay->fontMetrics(), QStringLiteral("00:00:00.000 (000000000 мс)")));

    FTimers = new QLabel(this);
    FTimers->setObjectName(QStringLiteral("TimersLabel"));
    FTimers->setAccessibleDescription(
        QStringLiteral("Таймеры, что идут, и миллисекунды машины до срабатывания"));
    FTimers->setToolTip(FTimers->accessibleDescription());
    // However many timers run, the window keeps its width; the list is cut short instead.
    FTimers->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);

    FHalt = new QLabel(this);
    FHalt->setObjectName(QStringLiteral("HaltLabel"));
    FHalt->setStyleSheet(QStringLiteral("color: #c81e1e; font-weight: bold"));
    FHalt->hide();

    auto* Row = new QHBoxLayout(this);
    Row->setContentsMargins(4, 2, 4, 2);
    Row->addWidget(FPause);
    if (FBack)
        Row->addWidget(FBack);
    Row->addWidget(FStep);
    Row->addWidget(FSpeed);
    Row->addSpacing(8);
    Row->addWidget(FTimeOfDay);
    Row->addSpacing(8);
    Row->addWidget(FHalt);
    Row->addWidget(FTimers, 1);
    setTabOrder(FPause, FStep);
    setTabOrder(FStep, FSpeed);

    connect(&FClock, &TMachineClock::Moved, this, &TClockStrip::ClockMoved);
}

TClockStrip::~TClockStrip() {
    FClock.Machine().RemoveObserver(this);
}

QString TClockStrip::SpeedText(TMachineClock::TSpeed Speed) {
    if (Speed.Wall == 1)
        return QStringLiteral("%1×").arg(Speed.Machine);
    if (Speed.Machine == 1 && Speed.Wall == 2)
        return QStringLiteral("½×");
    if (Speed.Machine == 1 && Speed.Wall == 4)
        return QStringLiteral("¼×");
    return QStringLiteral("%1/%2×").arg(Speed.Machine).arg(Speed.Wall);
}

void TClockStrip::ClockMoved() {
    // Paused, the clock moves only by a step or an input: each is shown at once.
    const int64_t Since = FClock.WallNow() - FRefreshed;
    if (FClock.Paused() || FRefreshedPaused || FClock.Speed() != FRefreshedSpeed || Since < 0 ||
        Since >= FrameRefreshMs)
        Refresh();
}

void TClockStrip::Refresh() {
    FRefreshPosted = false;
    if (!FShown)
        return;
    FRefreshed = FClock.WallNow();
    FRefreshedSpeed = FClock.Speed();
    FRefreshedPaused = FClock.Paused();
    const bool Paused = FClock.Paused();
    // The action says what pressing it does now.
    FPauseAction->setText(Paused ? GoOnText : PauseText);
    FPauseAction->setToolTip(Paused ? FGoOnTip : FPauseTip);
    if (FPause->accessibleName() != FPauseAction->text())
        FPause->setAccessibleName(FPauseAction->text());
    FStep->setEnabled(FClock.CanStep());
    if (!Paused && !FHalt->isHidden())
        ShowHalt({});
    {
        const QSignalBlocker Silent(FSpeed);
        const auto At =
            std::find(TMachineClock::Speeds.rbegin(), TMachineClock::Speeds.rend(), FClock.Speed());
        FSpeed->setCurrentIndex(
            At == TMachineClock::Speeds.rend()
                ? -1
                : static_cast<int>(std::distance(TMachineClock::Speeds.rbegin(), At)));
    }

    const int64_t Reading = FClock.Reading();
    const QString Time = FStart().addMSecs(Reading).toString(QStringLiteral("HH:mm:ss.zzz"));
    FTimeOfDay->setText(QStringLiteral("%1 (%2 мс)").arg(Time).arg(Reading));
    FTimers->setText(TimersText(Reading));

    if (Paused)
        FIdle.stop();
    else if (!FIdle.isActive())
        FIdle.start(IdleMs, this);
}

void TClockStrip::ShowHalt(const QString& Text) {
    FHalt->setText(Text);
    FHalt->setAccessibleName(Text);
    FHalt->setVisible(!Text.isEmpty());
    if (Text.isEmpty())
        return;
    QAccessibleEvent Event(FHalt, QAccessible::Alert);
    QAccessible::updateAccessibility(&Event);
}

QString TClockStrip::TimersText(int64_t Reading) const {
    QStringList Running;
    for (int32_t Id = 0; Id < TimerCount; ++Id) {
        const auto Timer = TTimerId(Id);
        const auto Due = FClock.Time().Due(Timer);
        if (!Due)
            continue;
        const qsizetype Digits = QString::number(FClock.Machine().Interval(Timer)).size();
        // Between two frames the reading runs ahead of the machine, past spin ticks not yet taken.
        Running << QStringLiteral("%1: %2 мс")
                       .arg(QLatin1String(TimerName(Timer)),
                            Padded(std::max<int64_t>(0, *Due - Reading), Digits));
    }
    return Running.isEmpty() ? QStringLiteral("таймеры стоят")
                             : Running.join(QStringLiteral("  ·  "));
}

void TClockStrip::showEvent(QShowEvent* Event) {
    QWidget::showEvent(Event);
    FShown = true;
    FClock.Machine().AddObserver(this);
    Refresh();
}

void TClockStrip::hideEvent(QHideEvent* Event) {
    QWidget::hideEvent(Event);
    FShown = false;
    FClock.Machine().RemoveObserver(this);
    FIdle.stop();
}

void TClockStrip::timerEvent(QTimerEvent* Event) {
    if (Event->timerId() == FIdle.timerId())
        Refresh();
    else
        QWidget::timerEvent(Event);
}

void TClockStrip::MachineChanged(unsigned Changes) noexcept {
    // Told in the middle of an input, before the clock has taken up the timers it set: the
    // texts are read once the input is over. An input while paused moves no frame.
    if (!(Changes & ChangedTimers) || FRefreshPosted)
        return;
    FRefreshPosted = true;
    QMetaObject::invokeMethod(this, &TClockStrip::Refresh, Qt::QueuedConnection);
}

} // namespace sm
