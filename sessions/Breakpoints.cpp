#include "sessions/Breakpoints.h"

#include "sessions/Coverage.h"
#include "sessions/Decimal.h"
#include "sessions/Quoted.h"
#include "slotmachine/Diagram.h"

#include <QStringList>

#include <algorithm>
#include <array>
#include <utility>

namespace sm {

namespace {

const std::array<const char*, 7> WatchedNames = {"bank", "stake", "win", "player",
                                                 "A0",   "A1",    "A2"};

struct TOperator {
    const char16_t* Text;
    TComparison Comparison;
};
// Longer ones first, so that "<=" is not read as "<".
const TOperator Operators[] = {
    {u"!=", TComparison::NotEqual},       {u"<=", TComparison::LessOrEqual},
    {u">=", TComparison::GreaterOrEqual}, {u"≠", TComparison::NotEqual},
    {u"≤", TComparison::LessOrEqual},     {u"≥", TComparison::GreaterOrEqual},
    {u"=", TComparison::Equal},           {u"<", TComparison::Less},
    {u">", TComparison::Greater},
};

bool IsOperatorChar(QChar Char) {
    return QStringView(u"=!<>≠≤≥").contains(Char);
}

struct TToken {
    QString Text;
    int At = 0;
};

// Blanks split the words, and a comparison's sign is a word of its own even when written close:
// "bank>=3" is "bank", ">=", "3".
std::vector<TToken> Tokens(const QString& Text) {
    std::vector<TToken> Result;
    int Index = 0;
    const int Size = static_cast<int>(Text.size());
    while (Index < Size) {
        if (Text[Index].isSpace()) {
            ++Index;
            continue;
        }
        TToken Token{{}, Index};
        if (IsOperatorChar(Text[Index])) {
            for (const TOperator& Operator : Operators)
                if (QStringView(Text).sliced(Index).startsWith(Operator.Text)) {
                    Token.Text = QString::fromUtf16(Operator.Text);
                    break;
                }
            if (Token.Text.isEmpty())
                Token.Text = Text[Index];
        } else {
            int End = Index;
            while (End < Size && !Text[End].isSpace() && !IsOperatorChar(Text[End]))
                ++End;
            Token.Text = Text.sliced(Index, End - Index);
        }
        Index += static_cast<int>(Token.Text.size());
        Result.push_back(std::move(Token));
    }
    return Result;
}

// "e5" -> 5.
std::optional<int32_t> EventNumber(const QString& Word) {
    if (!Word.startsWith(u'e', Qt::CaseInsensitive))
        return std::nullopt;
    return ParseDecimal(QStringView(Word).sliced(1), int32_t{0}, int32_t{9999});
}

QString AutomatonStateName(const TMachine& Machine, int32_t Automaton, int32_t State) {
    const auto& Lists = Machine.AutomatonsDispatcher().FStateNames;
    const auto& Names = Lists.at(static_cast<size_t>(Automaton));
    return State >= 0 && State < Names.Count() ? QString::fromStdString(Names.Get(State))
                                               : QString();
}

QString EventName(const TMachine& Machine, int32_t Event) {
    const auto& Names = Machine.AutomatonsDispatcher().FEventNames;
    return Event >= 0 && Event < Names.Count() ? QString::fromStdString(Names.Get(Event))
                                               : QString();
}

} // namespace

int64_t WatchedValue(const TMachine& Machine, TWatched Value) {
    switch (Value) {
    case TWatched::Bank:
        return Machine.Bank();
    case TWatched::Stake:
        return Machine.Stake();
    case TWatched::Win:
        return Machine.JackPot();
    case TWatched::Player:
        return Machine.UserTokens();
    case TWatched::StateA0:
    case TWatched::StateA1:
    case TWatched::StateA2:
        return Machine.State(static_cast<int32_t>(Value) - static_cast<int32_t>(TWatched::StateA0));
    }
    return 0;
}

QString WatchedName(TWatched Value) {
    return QString::fromLatin1(WatchedNames.at(static_cast<size_t>(Value)));
}

bool Holds(const TMachine& Machine, const std::vector<TCondition>& Conditions) {
    for (const TCondition& Condition : Conditions) {
        const int64_t Value = WatchedValue(Machine, Condition.Value);
        bool Holds = false;
        switch (Condition.Comparison) {
        case TComparison::Equal:
            Holds = Value == Condition.Number;
            break;
        case TComparison::NotEqual:
            Holds = Value != Condition.Number;
            break;
        case TComparison::Less:
            Holds = Value < Condition.Number;
            break;
        case TComparison::LessOrEqual:
            Holds = Value <= Condition.Number;
            break;
        case TComparison::Greater:
            Holds = Value > Condition.Number;
            break;
        case TComparison::GreaterOrEqual:
            Holds = Value >= Condition.Number;
            break;
        }
        if (!Holds)
            return false;
    }
    return true;
}

bool Hits(const TBreakpoint& Breakpoint, const TStep& Step, const TMachine& Machine) {
    if (!Breakpoint.Enabled || Step.Automaton != Breakpoint.Automaton)
        return false;
    switch (Breakpoint.Kind) {
    case TBreakKind::State:
        // A row back to its own state enters nothing, as the coverage counts it.
        if (Step.To != Breakpoint.Index || Step.From == Step.To)
            return false;
        break;
    case TBreakKind::Row:
        if (Step.Row != Breakpoint.Index)
            return false;
        break;
    case TBreakKind::Event:
        if (Step.Event != Breakpoint.Index)
            return false;
        break;
    }
    return Holds(Machine, Breakpoint.Conditions);
}

std::optional<TBreakpoint> ParseBreakpoint(const TMachine& Machine, const QString& Text,
                                           QString& Problem, int& At) {
    const std::vector<TToken> Words = Tokens(Text);
    size_t Next = 0;
    At = 0;
    // The next word, or none with the place just past the text.
    const auto Take = [&](const QString& Expected) -> const TToken* {
        if (Next < Words.size())
            return &Words[Next++];
        At = static_cast<int>(Text.size());
        Problem = QStringLiteral("ожидается %1").arg(Expected);
        return nullptr;
    };
    const auto Refuse = [&](const TToken& Word, const QString& Why) {
        At = Word.At;
        Problem = QStringLiteral("%1 — %2").arg(Quoted(Word.Text), Why);
        return std::nullopt;
    };

    TBreakpoint Breakpoint;
    const TToken* Word = Take(QStringLiteral("автомат (A0, A1, A2)"));
    if (!Word)
        return std::nullopt;
    const QStringList Automata = {"A0", "A1", "A2"};
    Breakpoint.Automaton = static_cast<int32_t>(Automata.indexOf(Word->Text.toUpper()));
    if (Breakpoint.Automaton < 0)
        return Refuse(*Word, QStringLiteral("не автомат: ожидается A0, A1 или A2"));
    const TDiagram Diagram = DiagramOf(Machine, Breakpoint.Automaton);

    if (!(Word = Take(QStringLiteral("state, event или row"))))
        return std::nullopt;
    const QString Kind = Word->Text.toLower();
    if (Kind == u"state") {
        Breakpoint.Kind = TBreakKind::State;
        if (!(Word = Take(QStringLiteral("номер состояния"))))
            return std::nullopt;
        const auto State =
            ParseDecimal(Word->Text, int32_t{0}, static_cast<int32_t>(Diagram.Nodes.size()) - 1);
        if (!State)
            return Refuse(*Word, QStringLiteral("нет такого состояния у A%1: их номера от 0 до %2")
                                     .arg(Breakpoint.Automaton)
                                     .arg(Diagram.Nodes.size() - 1));
        Breakpoint.Index = *State;
    } else if (Kind == u"event") {
        Breakpoint.Kind = TBreakKind::Event;
        if (!(Word = Take(QStringLiteral("событие вида e5"))))
            return std::nullopt;
        const auto Event = EventNumber(Word->Text);
        if (!Event || EventName(Machine, *Event).isEmpty())
            return Refuse(*Word, QStringLiteral("не событие машины"));
        Breakpoint.Index = *Event;
    } else if (Kind == u"row") {
        Breakpoint.Kind = TBreakKind::Row;
        if (!(Word = Take(QStringLiteral("состояние, из которого идёт переход"))))
            return std::nullopt;
        const auto From = ParseDecimal(Word->Text, int32_t{0}, int32_t{9999});
        if (!From || *From >= static_cast<int32_t>(Diagram.Nodes.size()))
            return Refuse(*Word,
                          QStringLiteral("нет такого состояния у A%1").arg(Breakpoint.Automaton));
        if (!(Word = Take(QStringLiteral("событие вида e5"))))
            return std::nullopt;
        const TToken& EventWord = *Word;
        const auto Event = EventNumber(EventWord.Text);
        if (!Event)
            return Refuse(EventWord, QStringLiteral("не событие: ожидается вида e5"));
        std::vector<int> Rows;
        for (const TDiagramEdge& Edge : Diagram.Edges)
            if (Edge.From == *From && Edge.Event == *Event)
                Rows.push_back(Edge.Row);
        if (Rows.empty())
            return Refuse(EventWord, QStringLiteral("у A%1 нет перехода из состояния %2 по "
                                                    "этому событию")
                                         .arg(Breakpoint.Automaton)
                                         .arg(*From));
        size_t Pick = 0;
        if (Next < Words.size() && Words[Next].Text.startsWith(u'#')) {
            const TToken& Number = Words[Next++];
            const auto Chosen = ParseDecimal(QStringView(Number.Text).sliced(1), int64_t{1},
                                             static_cast<int64_t>(Rows.size()));
            if (!Chosen)
                return Refuse(
                    Number,
                    QStringLiteral("таких переходов %1: ожидается от #1 до #%1").arg(Rows.size()));
            Pick = static_cast<size_t>(*Chosen - 1);
        } else if (Rows.size() > 1) {
            At = static_cast<int>(EventWord.At + EventWord.Text.size());
            Problem = QStringLiteral("переходов из состояния %1 по e%2 несколько (с разными "
                                     "условиями): ожидается номер от #1 до #%3")
                          .arg(*From)
                          .arg(*Event)
                          .arg(Rows.size());
            return std::nullopt;
        }
        Breakpoint.Index = Rows[Pick];
    } else {
        return Refuse(*Word, QStringLiteral("ожидается state, event или row"));
    }

    if (Next < Words.size()) {
        if (Words[Next].Text != u"if")
            return Refuse(Words[Next], QStringLiteral("лишнее слово: после цели ожидается "
                                                      "if и условие"));
        ++Next;
        const QString Names = QStringLiteral("bank, stake, win, player, A0, A1 или A2");
        for (bool More = true; More;) {
            if (!(Word = Take(QStringLiteral("значение (%1)").arg(Names))))
                return std::nullopt;
            TCondition Condition;
            const auto Name =
                std::find_if(WatchedNames.begin(), WatchedNames.end(), [Word](const char* Each) {
                    return Word->Text.compare(QLatin1String(Each), Qt::CaseInsensitive) == 0;
                });
            if (Name == WatchedNames.end())
                return Refuse(*Word, QStringLiteral("не значение: ожидается %1").arg(Names));
            Condition.Value = TWatched(Name - WatchedNames.begin());
            if (!(Word = Take(QStringLiteral("сравнение (=, !=, <, <=, >, >=)"))))
                return std::nullopt;
            const auto Sign =
                std::find_if(std::begin(Operators), std::end(Operators),
                             [Word](const TOperator& Each) { return Word->Text == Each.Text; });
            if (Sign == std::end(Operators))
                return Refuse(*Word, QStringLiteral("не сравнение: ожидается =, !=, <, <=, > "
                                                    "или >="));
            Condition.Comparison = Sign->Comparison;
            if (!(Word = Take(QStringLiteral("число"))))
                return std::nullopt;
            const auto Number = ParseDecimal(Word->Text, int64_t{0}, int64_t{2147483647});
            if (!Number)
                return Refuse(*Word, QStringLiteral("не число от 0 до 2147483647"));
            Condition.Number = *Number;
            Breakpoint.Conditions.push_back(Condition);
            More = Next < Words.size() && Words[Next].Text == u"and";
            Next += More ? 1 : 0;
        }
        if (Next < Words.size())
            return Refuse(Words[Next], QStringLiteral("лишнее слово: условия соединяет and"));
    }
    Breakpoint.Text = Text.simplified();
    return Breakpoint;
}

TBreakpoint StateBreakpoint(int32_t Automaton, int32_t State) {
    TBreakpoint Breakpoint;
    Breakpoint.Kind = TBreakKind::State;
    Breakpoint.Automaton = Automaton;
    Breakpoint.Index = State;
    Breakpoint.Text = StateTarget(Automaton, State);
    return Breakpoint;
}

TBreakpoint RowBreakpoint(const TMachine& Machine, int32_t Automaton, int Row) {
    TBreakpoint Breakpoint;
    Breakpoint.Kind = TBreakKind::Row;
    Breakpoint.Automaton = Automaton;
    Breakpoint.Index = Row;
    Breakpoint.Text = RowTarget(Machine, Automaton, Row);
    return Breakpoint;
}

QString HitText(const TMachine& Machine, const TBreakpoint& Breakpoint) {
    const int32_t Automaton = Breakpoint.Automaton;
    switch (Breakpoint.Kind) {
    case TBreakKind::State:
        return QStringLiteral("A%1 вошёл в состояние %2 \"%3\"")
            .arg(Automaton)
            .arg(Breakpoint.Index)
            .arg(AutomatonStateName(Machine, Automaton, Breakpoint.Index));
    case TBreakKind::Event:
        return QStringLiteral("A%1 получил событие e%2 \"%3\"")
            .arg(Automaton)
            .arg(Breakpoint.Index)
            .arg(EventName(Machine, Breakpoint.Index));
    case TBreakKind::Row:
        return QStringLiteral("A%1 взял переход %2")
            .arg(Automaton)
            .arg(RowText(DiagramOf(Machine, Automaton), Breakpoint.Index));
    }
    return {};
}

TBreakpoints::TBreakpoints(TMachine& Machine) : FMachine(Machine) {
    FMachine.AddStepListener(this);
}

TBreakpoints::~TBreakpoints() {
    FMachine.RemoveStepListener(this);
}

void TBreakpoints::StepTaken(const TStep& Step) {
    for (size_t Index = 0; Index < FList.size(); ++Index)
        if (Hits(FList[Index], Step, FMachine)) {
            ++FList[Index].Hits;
            FPending.push_back(Index);
        }
}

void TBreakpoints::InputHandled() noexcept {
    if (FPending.empty())
        return;
    const std::vector<size_t> Hit = std::exchange(FPending, {});
    if (OnHit)
        OnHit(Hit);
}

} // namespace sm
