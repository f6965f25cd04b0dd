#include "window/ClockState.h"

#include "window/ClockStrip.h"

#include <QFileInfo>

namespace sm {

TClockState::TClockState(TMachineClock& Clock, TPlaying Playing, QWidget* Parent)
    : QLabel(Parent), FClock(Clock), FPlaying(std::move(Playing)) {
    setObjectName(QStringLiteral("ClockState"));
    setFocusPolicy(Qt::NoFocus);
    setTextFormat(Qt::PlainText);
    // Not a control: clicks and the context menu belong to what lies beneath.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette Yellow = palette();
    Yellow.setColor(QPalette::WindowText, QColor(255, 214, 102));
    setPalette(Yellow);
    setAccessibleDescription(QStringLiteral("Состояние часов машины"));
    hide();
    connect(&FClock, &TMachineClock::Moved, this, &TClockState::Refresh);
    Refresh();
}

QString TClockState::Text(bool Paused, TMachineClock::TSpeed Speed, const QString& Session) {
    QStringList Parts;
    if (Paused)
        Parts << QStringLiteral("Пауза");
    if (Speed != TMachineClock::TSpeed{})
        Parts << QStringLiteral("скорость %1").arg(TClockStrip::SpeedText(Speed));
    if (!Session.isEmpty())
        Parts << QStringLiteral("сеанс «%1»").arg(QFileInfo(Session).fileName());
    QString Text = Parts.join(QStringLiteral(" · "));
    if (!Text.isEmpty())
        Text.front() = Text.front().toUpper();
    return Text;
}

void TClockState::Refresh() {
    const QString Session = FPlaying ? FPlaying() : QString();
    const QString Shown = Text(FClock.Paused(), FClock.Speed(), Session);
    // The frames move the clock sixty times a second: only a change is painted and announced.
    if (Shown == FShown && Session == FSession)
        return;
    FShown = Shown;
    FSession = Session;
    // A long name is cut in the middle on the face; the screen reader hears it whole.
    setText(fontMetrics().elidedText(Shown, Qt::ElideMiddle, width()));
    setAccessibleName(Shown);
    setToolTip(Session.isEmpty() ? Shown : Shown + u'\n' + Session);
    setVisible(!Shown.isEmpty());
}

} // namespace sm
