#include "sessions/Watches.h"

#include "slotmachine/Diagram.h"

#include <functional>
#include <optional>

namespace sm {

namespace {

QString YesNo(bool Yes) {
    return Yes ? QStringLiteral("да") : QStringLiteral("нет");
}

QString StateText(const TMachine& Machine, int32_t Automaton) {
    const int32_t State = Machine.State(Automaton);
    const auto& Names =
        Machine.AutomatonsDispatcher().FStateNames.at(static_cast<size_t>(Automaton));
    return State >= 0 && State < Names.Count()
               ? QStringLiteral("%1 %2").arg(State).arg(QString::fromStdString(Names.Get(State)))
               : QString::number(State);
}

// Whether each row's guard holds now, by the automaton's own guard; none for a row without one.
template <class T> std::vector<std::optional<bool>> Holding(const T& Automaton) {
    std::vector<std::optional<bool>> Result;
    for (const auto& Row : Automaton.RowTable())
        Result.push_back(Row.Guard ? std::optional<bool>((Automaton.*Row.Guard)()) : std::nullopt);
    return Result;
}

// The words of the guards' labels and the values they stand for: a guard's values are those
// whose word its label holds.
struct TGuardWord {
    const char16_t* Word;
    std::function<QString(const TMachine&)> Value;
};

const std::vector<TGuardWord>& GuardWords() {
    static const std::vector<TGuardWord> Words = {
        {u"A0", [](const TMachine& M) { return QStringLiteral("A0 = %1").arg(M.State(A0)); }},
        {u"A1", [](const TMachine& M) { return QStringLiteral("A1 = %1").arg(M.State(A1)); }},
        {u"A2", [](const TMachine& M) { return QStringLiteral("A2 = %1").arg(M.State(A2)); }},
        {u"выигрыш",
         [](const TMachine& M) { return QStringLiteral("выигрыш = %1").arg(M.JackPot()); }},
        {u"банк", [](const TMachine& M) { return QStringLiteral("банк = %1").arg(M.Bank()); }},
        {u"жетон",
         [](const TMachine& M) {
             return M.TokenGood() ? QStringLiteral("жетон настоящий")
                                  : QStringLiteral("жетон фальшивый");
         }},
    };
    return Words;
}

} // namespace

std::vector<TWatch> Watches(const TVirtualTime& Time) {
    const TMachine& M = Time.Machine();
    const TDisplays& Shown = M.Displays();
    const auto Slot = [](bool Closed) {
        return Closed ? QStringLiteral("закрыта") : QStringLiteral("открыта");
    };
    std::vector<TWatch> Result = {
        {QStringLiteral("bank"), QStringLiteral("банк"), QString::number(M.Bank()),
         QString::number(Shown.edBank)},
        {QStringLiteral("stake"), QStringLiteral("ставка"), QString::number(M.Stake()),
         QString::number(Shown.edStake)},
        {QStringLiteral("win"), QStringLiteral("выигрыш"), QString::number(M.JackPot()),
         QString::number(Shown.edJackPot)},
        {QStringLiteral("player"), QStringLiteral("жетоны игрока"), QString::number(M.UserTokens()),
         QString::number(Shown.edUser)},
        {QStringLiteral("slot"), QStringLiteral("щель"), Slot(M.TrayClosed()),
         Slot(Shown.Shape1 == TBrushStyle::bsDiagCross)},
        {QStringLiteral("token good"), QStringLiteral("жетон настоящий"), YesNo(M.TokenGood()), {}},
    };
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const QString Name = QStringLiteral("A%1").arg(Automaton);
        Result.push_back({Name, Name, StateText(M, Automaton), {}});
        Result.push_back({Name + QStringLiteral(" busy"),
                          Name + QStringLiteral(" занят"),
                          YesNo(M.Automaton(Automaton).FBusy),
                          {}});
    }
    for (int32_t Id = 0; Id < TimerCount; ++Id) {
        const auto Timer = TTimerId(Id);
        const auto Due = Time.Due(Timer);
        const QString Name = QString::fromLatin1(TimerName(Timer));
        const bool Runs = M.Interval(Timer) != 0;
        Result.push_back(
            {Name,
             Name,
             Runs ? QStringLiteral("%1 мс").arg(M.Interval(Timer)) : QStringLiteral("стоит"),
             {}});
        Result.push_back(
            {Name + QStringLiteral(" left"),
             Name + QStringLiteral(": осталось"),
             Runs && Due ? QStringLiteral("%1 мс").arg(*Due - Time.Now()) : QStringLiteral("—"),
             {}});
    }
    return Result;
}

QStringList GuardsNow(const TMachine& Machine, int32_t Automaton) {
    const std::vector<std::optional<bool>> Holds =
        Automaton == A0   ? Holding(Machine.AutomatonSlotMachine())
        : Automaton == A1 ? Holding(Machine.AutomatonMoneyTray())
                          : Holding(Machine.AutomatonBarrelsEngine());
    const TDiagram Diagram = DiagramOf(Machine, Automaton);
    QStringList Lines;
    for (const TDiagramEdge& Edge : Diagram.Edges) {
        const auto Row = static_cast<size_t>(Edge.Row);
        if (Edge.From != Machine.State(Automaton) || Edge.Guard.empty() || Row >= Holds.size() ||
            !Holds[Row])
            continue;
        const QString Guard = QString::fromStdString(Edge.Guard);
        QStringList Values;
        for (const TGuardWord& Each : GuardWords())
            if (Guard.contains(QString::fromUtf16(Each.Word)))
                Values << Each.Value(Machine);
        Lines << QStringLiteral("e%1 [%2]: %3 — %4")
                     .arg(Edge.Event)
                     .arg(Guard, Values.join(QStringLiteral(", ")),
                          *Holds[Row] ? QStringLiteral("выполнено")
                                      : QStringLiteral("не выполнено"));
    }
    return Lines;
}

} // namespace sm
