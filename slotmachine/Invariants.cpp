#include "slotmachine/Invariants.h"

#include "slotmachine/Rules.h"

#include <array>

namespace sm {

namespace {

bool Running(const TMachine& M, int32_t Timer) {
    return M.Interval(TTimerId(Timer)) != 0;
}

} // namespace

QString CheckInvariants(const TMachine& M, int32_t Tokens) {
    const std::array<int32_t, 3> StateCounts = {A0State::StateCount, A1State::StateCount,
                                                A2State::StateCount};
    for (int32_t A = A0; A <= A2; ++A) {
        const TAutomaton& Each = M.Automaton(A);
        if (Each.FBusy)
            return QStringLiteral("A%1 осталось занятым после события").arg(A);
        if (Each.FState < 0 || Each.FState >= StateCounts[static_cast<size_t>(A)])
            return QStringLiteral("A%1 в неизвестном состоянии %2").arg(A).arg(Each.FState);
    }
    const int32_t S0 = M.State(A0);
    const int32_t S1 = M.State(A1);
    const int32_t S2 = M.State(A2);
    if (M.Bank() < 0 || M.UserTokens() < 0 || M.Stake() < 0 || M.JackPot() < 0)
        return QStringLiteral("отрицательный счёт: банк %1, игрок %2, ставка %3, выигрыш %4")
            .arg(M.Bank())
            .arg(M.UserTokens())
            .arg(M.Stake())
            .arg(M.JackPot());
    // The stake is in the bank from the start of a game until the next Waiting clears it.
    const bool StakeInBank = S0 == A0State::Game || S0 == A0State::Paying ||
                             (S0 == A0State::Error && S1 == A1State::Empty);
    const int32_t Total = M.Bank() + M.UserTokens() + (StakeInBank ? 0 : M.Stake());
    if (Total != Tokens)
        return QStringLiteral("жетоны не сходятся: банк %1 + игрок %2 + ставка %3%4 = %5, а "
                              "должно быть %6 (A0 в состоянии %7)")
            .arg(M.Bank())
            .arg(M.UserTokens())
            .arg(M.Stake())
            .arg(StakeInBank ? QStringLiteral(" (уже в банке)") : QString())
            .arg(Total)
            .arg(Tokens)
            .arg(S0);
    if ((S0 == A0State::Waiting || S0 == A0State::Game || S0 == A0State::Paying) &&
        S1 != A1State::Empty)
        return QStringLiteral("A0 и A1 не согласны: A1 в состоянии %1 при A0 в состоянии %2")
            .arg(S1)
            .arg(S0);
    if (S0 == A0State::Accepting && S1 != A1State::Accepted)
        return QStringLiteral("A0 и A1 не согласны: A1 в состоянии %1 при A0 в приёме жетонов")
            .arg(S1);
    if ((S2 != A2State::Stopped) != (S0 == A0State::Game))
        return QStringLiteral("A2 в состоянии %1 при A0 в состоянии %2").arg(S2).arg(S0);
    const bool Open = S0 == A0State::Waiting || S0 == A0State::Accepting;
    if (M.TrayClosed() == Open)
        return QStringLiteral("приёмник %1 при A0 в состоянии %2")
            .arg(M.TrayClosed() ? QStringLiteral("закрыт") : QStringLiteral("открыт"))
            .arg(S0);
    if ((M.Displays().Shape1 == TBrushStyle::bsSolid) != Open)
        return QStringLiteral("индикатор приёмника показывает «%1» при A0 в состоянии %2")
            .arg(Open ? QStringLiteral("закрыт") : QStringLiteral("открыт"))
            .arg(S0);
    for (int32_t Barrel = 0; Barrel < 3; ++Barrel)
        if (Running(M, TimerB1 + Barrel) && !Running(M, TimerSync1 + Barrel))
            return QStringLiteral("таймер остановки барабана %1 взведён, а барабан стоит")
                .arg(Barrel + 1);
    // Paying without its timer would wait for ever: neither return nor reset leave Paying.
    if (Running(M, JackTimer) != (S0 == A0State::Paying))
        return QStringLiteral("таймер выдачи %1 при A0 в состоянии %2")
            .arg(Running(M, JackTimer) ? QStringLiteral("идёт") : QStringLiteral("стоит"))
            .arg(S0);
    // Which of TimerSync1..3, TimerB1..3 run in each state of A2: 1 runs, 0 stopped, ? either
    // (the first stop timer waits for the second press of play).
    static constexpr std::array<const char*, A2State::StateCount> Expected = {"000000", "111?00",
                                                                              "011010", "001001"};
    for (int32_t Timer = TimerSync1; Timer <= TimerB3; ++Timer) {
        const char Want = Expected[static_cast<size_t>(S2)][Timer];
        if (Want == '?' || (Want == '1') == Running(M, Timer))
            continue;
        QString Pattern;
        for (int32_t Each = TimerSync1; Each <= TimerB3; ++Each)
            Pattern += Running(M, Each) ? u'1' : u'0';
        return QStringLiteral("таймеры барабанов %1 (TimerSync1..3, TimerB1..3) при A2 в "
                              "состоянии %2")
            .arg(Pattern)
            .arg(S2);
    }
    for (int32_t Barrel = 1; Barrel <= 3; ++Barrel) {
        const int32_t Frame = M.FrameIndex(Barrel);
        if (!Running(M, TimerSync1 + Barrel - 1) && Frame != SnapFrameOf(SymbolOfFrame(Frame)))
            return QStringLiteral("барабан %1 стоит между цифрами, на кадре %2")
                .arg(Barrel)
                .arg(Frame);
    }
    // While paying the field lags one tick behind the account, by design.
    if (M.Displays().edUser != M.UserTokens() && S0 != A0State::Paying)
        return QStringLiteral("поле игрока показывает %1 из %2")
            .arg(M.Displays().edUser)
            .arg(M.UserTokens());
    if (M.Displays().iBadCoin != M.TokenGood())
        return QStringLiteral("фальшивый жетон %1, а последний жетон был %2")
            .arg(M.Displays().iBadCoin ? QStringLiteral("виден") : QStringLiteral("скрыт"))
            .arg(M.TokenGood() ? QStringLiteral("настоящим") : QStringLiteral("фальшивым"));
    return {};
}

} // namespace sm
