#include "cli/Odds.h"

#include "slotmachine/Rules.h"
#include "slotmachine/VirtualTime.h"

#include <QLocale>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>

namespace sm {

namespace {

// The frames of the spin cycle, as the machine turns them.
std::vector<int32_t> SpinCycle() {
    std::vector<int32_t> Frames;
    const int32_t First = NextSpinFrame(StartFrame);
    int32_t Frame = First;
    do {
        Frames.push_back(Frame);
        Frame = NextSpinFrame(Frame);
    } while (Frame != First && Frames.size() <= size_t(BarrelFrameCount));
    return Frames;
}

// The rule of a triple of digits, known by its pay at two stakes.
TRule RuleOf(int32_t S1, int32_t S2, int32_t S3) {
    const int32_t One = WinFor(S1, S2, S3, 1);
    const int32_t Two = WinFor(S1, S2, S3, 2);
    return {Two - One, 2 * One - Two};
}

QString RuleName(const TRule& Rule) {
    struct TName {
        TRule Rule;
        const char* Name;
    };
    static const TName Names[] = {
        {{10, 0}, "три семёрки"},
        {{7, 0}, "комбинация 1 2 3, 2 3 4, 3 4 5, 6 7 8 или 4 5 1"},
        {{5, 0}, "три одинаковые цифры"},
        {{4, 0}, "две одинаковые цифры"},
        {{1, 1}, "семёрка на первом барабане"},
        {{0, 1}, "1, 3, 5 или 9 на первом барабане"},
        {{0, 0}, "без выигрыша"},
    };
    for (const TName& Each : Names)
        if (Each.Rule == Rule)
            return QString::fromUtf8(Each.Name);
    return QStringLiteral("другое правило");
}

QString Pay(const TRule& Rule) {
    if (Rule.PerStake == 0)
        return QString::number(Rule.Plus);
    QString Text =
        Rule.PerStake == 1 ? QStringLiteral("S") : QStringLiteral("%1·S").arg(Rule.PerStake);
    if (Rule.Plus != 0)
        Text += QStringLiteral(" + %1").arg(Rule.Plus);
    return Text;
}

const QLocale& Russian() {
    static const QLocale Locale(QLocale::Russian, QLocale::Russia);
    return Locale;
}

QString Percent(double Share, int Decimals = 3) {
    return Russian().toString(100.0 * Share, 'f', Decimals) + QStringLiteral(" %");
}

QString Count(int64_t Value) {
    return Russian().toString(qlonglong(Value));
}

QString Padded(const QString& Text, int Width) {
    return Text.leftJustified(Width, u' ');
}

QString Trimmed(QString Line) {
    while (Line.endsWith(u' '))
        Line.chop(1);
    return Line;
}

} // namespace

TExactOdds ExactOdds(const std::vector<int32_t>& Stakes) {
    TExactOdds Odds;
    const std::vector<int32_t> Frames = SpinCycle();
    Odds.Frames = static_cast<int32_t>(Frames.size());
    for (TDigitCounts& Barrel : Odds.DigitFrames)
        for (const int32_t Frame : Frames)
            ++Barrel.at(static_cast<size_t>(SymbolOfFrame(Frame)));
    Odds.Triples = int64_t{Odds.Frames} * Odds.Frames * Odds.Frames;
    for (const int32_t Stake : Stakes)
        Odds.Returns.push_back({Stake, 0, Odds.Triples * Stake});
    // Triples of digits, each weighted by the triples of frames that show it.
    for (int32_t S1 = 1; S1 <= 9; ++S1)
        for (int32_t S2 = 1; S2 <= 9; ++S2)
            for (int32_t S3 = 1; S3 <= 9; ++S3) {
                const int64_t Weight = Odds.DigitFrames[0][size_t(S1)] *
                                       Odds.DigitFrames[1][size_t(S2)] *
                                       Odds.DigitFrames[2][size_t(S3)];
                if (Weight == 0)
                    continue;
                const TRule Rule = RuleOf(S1, S2, S3);
                auto Found = std::find(Odds.Rules.begin(), Odds.Rules.end(), Rule);
                if (Found == Odds.Rules.end()) {
                    Odds.Rules.push_back(Rule);
                    Odds.RuleTriples.push_back(0);
                    Found = Odds.Rules.end() - 1;
                }
                Odds.RuleTriples[size_t(Found - Odds.Rules.begin())] += Weight;
                for (auto& Return : Odds.Returns)
                    Return.Won += Weight * WinFor(S1, S2, S3, Return.Stake);
            }
    // The richest rule first.
    std::vector<size_t> Order(Odds.Rules.size());
    std::iota(Order.begin(), Order.end(), size_t{0});
    std::sort(Order.begin(), Order.end(), [&Odds](size_t A, size_t B) {
        const TRule& X = Odds.Rules[A];
        const TRule& Y = Odds.Rules[B];
        return std::pair(X.PerStake, X.Plus) > std::pair(Y.PerStake, Y.Plus);
    });
    TExactOdds Sorted = Odds;
    for (size_t Index = 0; Index < Order.size(); ++Index) {
        Sorted.Rules[Index] = Odds.Rules[Order[Index]];
        Sorted.RuleTriples[Index] = Odds.RuleTriples[Order[Index]];
    }
    return Sorted;
}

TMeasuredOdds MeasureOdds(const TMachine& StartUp, const TExactOdds& Exact, int64_t Games,
                          int32_t Stake, uint32_t Seed) {
    const auto Started = std::chrono::steady_clock::now();
    TMeasuredOdds Measured;
    Measured.Games = Games;
    Measured.Stake = Stake;
    Measured.Seed = Seed;
    Measured.RuleGames.assign(Exact.Rules.size() + 1, 0);
    // Without a protocol: the switches change what is written, never what happens.
    TMachine Fresh = StartUp;
    for (int32_t A = A0; A <= A2; ++A)
        Fresh.SetLogSwitches(A, {});
    const TVirtualTime Start(Fresh);
    TVirtualTime Time(Start);
    TMachine& M = Time.Machine();
    uint32_t Generator = Seed;
    double Sum = 0;
    double Squares = 0;
    for (int64_t Game = 0; Game < Games; ++Game) {
        Time = Start;
        M.Seed(Generator);
        Time.Do([Stake](TMachine& Each) {
            for (int32_t Coin = 0; Coin < Stake; ++Coin)
                Each.Image1Click();
            Each.iPlayClick();
            Each.iPlayClick();
        });
        while (M.State(A2) != TAutomatonBarrelsEngine::Stopped && Time.FireNextEvent()) {
        }
        Generator = M.RandSeed();
        // The win field shows the whole win once the third barrel has stopped.
        const int32_t Win = M.Displays().edJackPot;
        const double Share = double(Win) / Stake;
        Sum += Share;
        Squares += Share * Share;
        size_t Rule = 0;
        while (Rule < Exact.Rules.size() &&
               Exact.Rules[Rule].PerStake * Stake + Exact.Rules[Rule].Plus != Win)
            ++Rule;
        ++Measured.RuleGames[Rule];
        for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
            ++Measured.Digits[size_t(Barrel - 1)][size_t(SymbolOfFrame(M.FrameIndex(Barrel)))];
    }
    Measured.Interval = Games >= GamesForInterval;
    if (Games > 0) {
        const double N = double(Games);
        Measured.Return = Sum / N;
        const double Variance =
            Games > 1 ? std::max(0.0, (Squares - N * Measured.Return * Measured.Return) / (N - 1))
                      : 0.0;
        const double Half = 1.96 * std::sqrt(Variance / N);
        Measured.Low = Measured.Return - Half;
        Measured.High = Measured.Return + Half;
    }
    Measured.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    return Measured;
}

QString OddsText(const TExactOdds& Exact, const TMeasuredOdds& Measured) {
    QString Text;
    Text += QStringLiteral("1. Точно: барабан останавливается на любом из %1 кадров с равной "
                           "вероятностью\n\n")
                .arg(Exact.Frames);
    Text += QStringLiteral("Цифра   Барабан 1            Барабан 2            Барабан 3\n");
    for (size_t Digit = 1; Digit <= 9; ++Digit) {
        QString Line = QStringLiteral("  %1     ").arg(Digit);
        for (const TDigitCounts& Barrel : Exact.DigitFrames)
            Line += Padded(QStringLiteral("%1/%2 = %3")
                               .arg(Barrel[Digit])
                               .arg(Exact.Frames)
                               .arg(Percent(double(Barrel[Digit]) / Exact.Frames)),
                           21);
        Text += Trimmed(Line) + u'\n';
    }
    Text += QStringLiteral("\n%1%2Вероятность\n")
                .arg(Padded(QStringLiteral("Правило"), 50), Padded(QStringLiteral("Выигрыш"), 10));
    for (size_t Rule = 0; Rule < Exact.Rules.size(); ++Rule)
        Text +=
            QStringLiteral("%1%2%3 из %4 = %5\n")
                .arg(Padded(RuleName(Exact.Rules[Rule]), 50), Padded(Pay(Exact.Rules[Rule]), 10),
                     Count(Exact.RuleTriples[Rule]), Count(Exact.Triples),
                     Percent(double(Exact.RuleTriples[Rule]) / double(Exact.Triples)));
    Text += QStringLiteral("\nОжидаемый возврат за игру, доля ставки S (без предела банка):\n");
    for (const auto& Return : Exact.Returns) {
        const int64_t Divisor = std::gcd(Return.Won, Return.Staked);
        Text += QStringLiteral("  S = %1 %2 = %3/%4\n")
                    .arg(Padded(QString::number(Return.Stake) + u':', 3),
                         Padded(Percent(Return.Share()), 10))
                    .arg(Return.Won / Divisor)
                    .arg(Return.Staked / Divisor);
    }

    Text += QStringLiteral("\n2. Измерено: %1 игр в виртуальном времени с настоящими сроками, "
                           "ставка %2, зерно %3\n")
                .arg(Count(Measured.Games))
                .arg(Measured.Stake)
                .arg(Measured.Seed);
    Text += QStringLiteral("   (каждая игра — от счетов запуска: монеты ставки, «Игра» и сразу "
                           "ещё раз «Игра»;\n   генератор идёт дальше от игры к игре)\n\n");
    Text += QStringLiteral("%1%2%3Точно\n")
                .arg(Padded(QStringLiteral("Правило"), 50), Padded(QStringLiteral("Игр"), 10),
                     Padded(QStringLiteral("Доля"), 12));
    const double Games = std::max<double>(1.0, double(Measured.Games));
    for (size_t Rule = 0; Rule < Measured.RuleGames.size(); ++Rule) {
        const bool Other = Rule == Exact.Rules.size();
        if (Other && Measured.RuleGames[Rule] == 0)
            continue;
        Text += QStringLiteral("%1%2%3%4\n")
                    .arg(Padded(Other ? QStringLiteral("выигрыш не по правилам")
                                      : RuleName(Exact.Rules[Rule]),
                                50),
                         Padded(Count(Measured.RuleGames[Rule]), 10),
                         Padded(Percent(double(Measured.RuleGames[Rule]) / Games), 12),
                         Other ? QStringLiteral("0 %")
                               : Percent(double(Exact.RuleTriples[Rule]) / double(Exact.Triples)));
    }
    Text += QStringLiteral("\nЦифра   Барабан 1    Барабан 2    Барабан 3    Точно\n");
    for (size_t Digit = 1; Digit <= 9; ++Digit) {
        Text += QStringLiteral("  %1     ").arg(Digit);
        for (const TDigitCounts& Barrel : Measured.Digits)
            Text += Padded(Percent(double(Barrel[Digit]) / Games), 13);
        Text += Percent(double(Exact.DigitFrames[0][Digit]) / Exact.Frames) + u'\n';
    }
    double ExactReturn = -1;
    for (const auto& Return : Exact.Returns)
        if (Return.Stake == Measured.Stake)
            ExactReturn = Return.Share();
    if (!Measured.Interval) {
        Text += QStringLiteral("\nВозврат за игру: %1 ставки; для 95 % интервала мало игр "
                               "(нужно не меньше %2)\n")
                    .arg(Percent(Measured.Return))
                    .arg(GamesForInterval);
        if (ExactReturn >= 0)
            Text += QStringLiteral("Точное значение: %1.\n").arg(Percent(ExactReturn));
        return Text;
    }
    Text += QStringLiteral("\nВозврат за игру: %1 ставки, 95 % интервал от %2 до %3\n")
                .arg(Percent(Measured.Return), Percent(Measured.Low), Percent(Measured.High));
    if (ExactReturn >= 0) {
        const bool Inside = ExactReturn >= Measured.Low && ExactReturn <= Measured.High;
        Text +=
            Inside
                ? QStringLiteral("Точное значение %1 внутри интервала.\n").arg(Percent(ExactReturn))
                : QStringLiteral("Точное значение %1 ВНЕ 95 % интервала: измеренный "
                                 "возврат с ним не согласуется.\n")
                      .arg(Percent(ExactReturn));
    }
    return Text;
}

} // namespace sm
