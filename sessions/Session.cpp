#include "sessions/Session.h"

#include "slotmachine/Protocol.h"
#include "slotmachine/Rules.h"

#include <QTimeZone>

namespace sm {

namespace {

// More stop and pay-out timers than any session can need: a machine that never comes to rest
// ends the settling instead of the replay hanging.
constexpr int64_t SettleLimit = 1'000'000;

bool Running(const TMachine& Machine, TTimerId Timer) {
    return Machine.Interval(Timer) != 0;
}

bool StopArmed(const TMachine& M) {
    return Running(M, TimerB1) || Running(M, TimerB2) || Running(M, TimerB3);
}

QString Settle(TVirtualTime& Time) {
    if (QString Never = WhyNotSettle(Time.Machine()); !Never.isEmpty())
        return Never;
    for (int64_t Events = 0; !Settled(Time.Machine()); ++Events) {
        if (Events == SettleLimit)
            return QStringLiteral("машина не приходит в покой: сработало %1 таймеров остановки "
                                  "и выдачи")
                .arg(SettleLimit);
        Time.FireNextEvent();
    }
    return {};
}

} // namespace

QString RunCommand(TInputDoor& Door, const TCommand& Command) {
    switch (Command.Kind) {
    case TCommandKind::Player:
    case TCommandKind::Log:
        return Door.Take(Command);
    case TCommandKind::Wait:
        Door.Time().Advance(Command.Milliseconds);
        break;
    case TCommandKind::Settle:
        return Settle(Door.Time());
    case TCommandKind::Show:
        break;
    }
    return {};
}

QString WhyNotSettle(const TMachine& M) {
    const bool Spinning =
        Running(M, TimerSync1) || Running(M, TimerSync2) || Running(M, TimerSync3);
    if (Spinning && !StopArmed(M))
        return QStringLiteral("барабаны крутятся, а таймер остановки не взведён: они крутились "
                              "бы вечно (остановку взводит «Игра»)");
    return {};
}

bool Settled(const TMachine& M) {
    return !StopArmed(M) && !Running(M, JackTimer);
}

QString ShowLine(const TMachine& M) {
    const TDisplays& Shown = M.Displays();
    return QStringLiteral("=== bank=%1 stake=%2 win=%3 player=%4 slot=%5 barrels=%6,%7,%8 "
                          "A0=%9 A1=%10 A2=%11")
        .arg(Shown.edBank)
        .arg(Shown.edStake)
        .arg(Shown.edJackPot)
        .arg(Shown.edUser)
        .arg(Shown.Shape1 == TBrushStyle::bsSolid ? QStringLiteral("open")
                                                  : QStringLiteral("closed"))
        .arg(SymbolOfFrame(Shown.Barrels[0]))
        .arg(SymbolOfFrame(Shown.Barrels[1]))
        .arg(SymbolOfFrame(Shown.Barrels[2]))
        .arg(M.State(A0))
        .arg(M.State(A1))
        .arg(M.State(A2));
}

TSession::TSession(const TMachine& StartUp, uint32_t Seed) : FTime(StartUp) {
    Machine().Seed(Seed);
}

QString TVirtualStamp::Now() {
    const int64_t Second = (FStartMilliseconds + FTime.Now()) / 1000;
    if (Second != FSecond || FStamp.isEmpty()) {
        FStamp = Stamp(FLocale, FStart.addMSecs(FTime.Now()));
        FSecond = Second;
    }
    return FStamp;
}

QDateTime StartReading(const QDateTime& WallClock) {
    const QDateTime Local = WallClock.toLocalTime();
    return {Local.date(), Local.time(), QTimeZone::utc()};
}

} // namespace sm
