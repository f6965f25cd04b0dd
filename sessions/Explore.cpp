#include "sessions/Explore.h"

#include "sessions/SearchMoves.h"
#include "sessions/Session.h"
#include "sessions/StateStore.h"
#include "slotmachine/Diagram.h"
#include "slotmachine/Invariants.h"
#include "slotmachine/Rules.h"

#include <QStringList>

#include <chrono>
#include <cstdint>
#include <exception>
#include <functional>
#include <unordered_map>

namespace sm {

namespace {

using namespace search;

void Apply(TMachine& M, TMove Move) {
    if (Move.Kind == TMove::Player)
        Take(M, Move.Action);
    else
        M.TimerFired(*TimerOf(Move));
}

// Every message is an error here: the explorer turns the switches off and only the reentrancy
// and unknown-state messages are written regardless.
class TErrorMessages final : public TProtocolSink {
public:
    void Message(const std::string& Text) override {
        if (First.isEmpty())
            First = QString::fromStdString(Text);
    }
    QString First;
};

// The start-up machine as the explorer runs it: no protocol but the errors.
TMachine Quiet(const TMachine& StartUp) {
    TMachine M = StartUp;
    TMachineSnapshot State = M.Snapshot();
    for (TAutomatonSnapshot& Each : State.Automata)
        Each = {.FBusy = Each.FBusy, .FState = Each.FState, .FLogErrors = true};
    M.Restore(State);
    return M;
}

int32_t TokensOf(const TMachine& M) {
    return M.Bank() + M.UserTokens() + M.Stake();
}

// One step on a machine; what went wrong, or an empty string.
QString Step(TMachine& M, TErrorMessages& Errors, TMove Move, int32_t Tokens) {
    Errors.First.clear();
    try {
        Apply(M, Move);
    } catch (const std::exception& Error) {
        return QStringLiteral("машина выбросила исключение: %1")
            .arg(QString::fromUtf8(Error.what()));
    }
    if (!Errors.First.isEmpty())
        return QStringLiteral("сообщение об ошибке в протоколе: %1").arg(Errors.First);
    return CheckInvariants(M, Tokens);
}

// The script command of a player's action; timer steps become waits where they are known.
TCommand CommandOf(TMove Move) {
    TCommand Command;
    Command.Kind = TCommandKind::Player;
    Command.Action = Move.Action;
    return Command;
}

// A replay script that walks the path in real time: each timer step becomes a wait until that
// timer is due, and it must be the next to fire. The stops land where the seed's delays put
// them, so seeds are tried until every state on the way matches. Keys hold the state after
// each step but the last; Final tells whether the last step broke what was broken.
struct TScriptSearch {
    const TMachine& StartUp;
    const std::vector<TExploreStep>& Path;
    const std::vector<TKey>& Keys;
    std::function<bool(TSession&, const QString&)> Final;

    std::optional<QString> Try(uint32_t Seed) const {
        TSession Session(StartUp, Seed);
        TErrorMessages Errors;
        Session.Machine().SetSink(&Errors);
        const int32_t Tokens = TokensOf(StartUp);
        QStringList Lines = {QStringLiteral("seed %1").arg(Seed)};
        for (size_t Index = 0; Index < Path.size(); ++Index) {
            const TMove Move = Path[Index].Move;
            TCommand Command = CommandOf(Move);
            if (const auto Timer = TimerOf(Move)) {
                if (Session.Time().NextEvent() != *Timer)
                    return std::nullopt;
                Command.Kind = TCommandKind::Wait;
                Command.Milliseconds = *Session.Time().Due(*Timer) - Session.Time().Now();
            }
            Lines << CommandText(Command);
            Errors.First.clear();
            QString Broken;
            try {
                if (!Session.Run(Command).isEmpty())
                    return std::nullopt;
                Broken = Errors.First.isEmpty() ? CheckInvariants(Session.Machine(), Tokens)
                                                : Errors.First;
            } catch (const std::exception& Error) {
                Broken = QString::fromUtf8(Error.what());
            }
            if (Index + 1 == Path.size()) {
                if (!Final(Session, Broken))
                    return std::nullopt;
            } else if (!Broken.isEmpty() || Pack(Session.Machine().Snapshot()) != Keys[Index]) {
                return std::nullopt;
            }
        }
        Lines << QStringLiteral("show");
        return Lines.join(u'\n') + u'\n';
    }
};

class TExplorer {
public:
    TExplorer(const TMachine& StartUp, const TExploreOptions& Options)
        : FStartUp(StartUp), FOptions(Options), FWork(Quiet(StartUp)), FTokens(TokensOf(StartUp)) {
        FWork.SetSink(&FErrors);
        FRowsTaken = {std::vector<uint8_t>(FWork.AutomatonSlotMachine().RowTable().size()),
                      std::vector<uint8_t>(FWork.AutomatonMoneyTray().RowTable().size()),
                      std::vector<uint8_t>(FWork.AutomatonBarrelsEngine().RowTable().size())};
    }

    TExploreReport Run();

private:
    // Breadth first, so that the first violation met has a shortest path.
    bool Search();
    // One step from the key's state; what broke, or an empty string and the state it led to.
    QString Try(const TKey& Key, const TExploreStep& Via, std::optional<TKey>& Next);
    // Whether every state can get back to A0 waiting with the slot open.
    bool CheckWayBack();
    std::vector<TExploreStep> PathTo(uint32_t Index) const;
    std::vector<TKey> KeysTo(uint32_t Index) const;
    void Report(QString What, std::vector<TExploreStep> Path, const std::vector<TKey>& Keys,
                std::function<bool(TSession&, const QString&)> Final);

    const TMachine& FStartUp;
    TExploreOptions FOptions;
    TMachine FWork;
    TErrorMessages FErrors;
    int32_t FTokens;
    TOutcomes FOutcomes;
    TStateTable FStates;
    std::vector<uint32_t> FParent;
    std::vector<TExploreStep> FVia;
    // Successors of each state, in the order of the states.
    std::vector<size_t> FFirstEdge;
    std::vector<uint32_t> FEdges;
    // Per automaton, by row: taken by some step from a state found.
    std::array<std::vector<uint8_t>, 3> FRowsTaken;
    TExploreReport FReport;
};

std::vector<TExploreStep> TExplorer::PathTo(uint32_t Index) const {
    return WayBack<TExploreStep>(Index, FParent, [this](uint32_t At) { return FVia[At]; });
}

std::vector<TKey> TExplorer::KeysTo(uint32_t Index) const {
    return WayBack<TKey>(Index, FParent, [this](uint32_t At) { return FStates[At]; });
}

void TExplorer::Report(QString What, std::vector<TExploreStep> Path, const std::vector<TKey>& Keys,
                       std::function<bool(TSession&, const QString&)> Final) {
    TViolation Violation{std::move(What), std::move(Path), 0, QString()};
    const TMachine Quieted = Quiet(FStartUp);
    const TScriptSearch Search{Quieted, Violation.Path, Keys, std::move(Final)};
    for (uint32_t Seed = 0; Seed < FOptions.ScriptSeeds; ++Seed)
        if (auto Script = Search.Try(Seed)) {
            Violation.Seed = Seed;
            Violation.Script = *Script;
            break;
        }
    FReport.Violation = std::move(Violation);
}

QString TExplorer::Try(const TKey& Key, const TExploreStep& Via, std::optional<TKey>& Next) {
    Load(FWork, Key);
    if (IsStop(Via.Move))
        for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
            FWork.SetFrameIndex(Barrel, SnapFrameOf(Via.Symbols[static_cast<size_t>(Barrel - 1)]));
    QString Broken = Step(FWork, FErrors, Via.Move, FTokens);
    if (Broken.isEmpty() && !(Next = Pack(FWork.Snapshot())))
        Broken = QStringLiteral("число вне допустимых пределов");
    // Bytes, not bits: this runs for every outcome of every move.
    if (Broken.isEmpty())
        for (const TStep& Taken : FWork.Steps())
            if (Taken.Row >= 0)
                FRowsTaken[static_cast<size_t>(Taken.Automaton)][static_cast<size_t>(Taken.Row)] =
                    1;
    return Broken;
}

bool TExplorer::Search() {
    FErrors.First.clear();
    if (QString Broken = CheckInvariants(FWork, FTokens); !Broken.isEmpty()) {
        Report(QStringLiteral("при запуске: ") + Broken, {}, {},
               [](TSession&, const QString&) { return true; });
        return false;
    }
    const auto Start = Pack(FWork.Snapshot());
    if (!Start) {
        Report(QStringLiteral("при запуске: число вне допустимых пределов"), {}, {},
               [](TSession&, const QString&) { return true; });
        return false;
    }
    FStates.Insert(*Start);
    FParent.push_back(0);
    FVia.emplace_back();
    std::vector<std::pair<TMove, uint32_t>> Labelled;
    for (uint32_t Index = 0; Index < FStates.Size(); ++Index) {
        const TKey Key = FStates[Index];
        FFirstEdge.push_back(FEdges.size());
        Labelled.clear();
        for (const TMove Move : Moves) {
            if (!Possible(Key, Move))
                continue;
            const auto& Outcomes = IsStop(Move) ? FOutcomes.For(Key.Stake) : NoDigits;
            std::optional<uint32_t> Found;
            bool Alike = true; // every outcome led to the same state: the digits did not matter
            for (const auto& Symbols : Outcomes) {
                TExploreStep Via{Move, Symbols};
                std::optional<TKey> Next;
                QString Broken = Try(Key, Via, Next);
                if (!Broken.isEmpty()) {
                    // Digits are shown only where another outcome would not break the same way.
                    bool Always = true;
                    for (const auto& Other : Outcomes) {
                        std::optional<TKey> Ignored;
                        Always = Always && !Try(Key, {Move, Other}, Ignored).isEmpty();
                    }
                    if (Always)
                        Via.Symbols = {};
                    std::vector<TExploreStep> Path = PathTo(Index);
                    Path.push_back(Via);
                    Report(std::move(Broken), std::move(Path), KeysTo(Index),
                           [](TSession&, const QString& Seen) { return !Seen.isEmpty(); });
                    return false;
                }
                // Most moves while paying change nothing: no need to look the state up.
                const auto [To, New] =
                    *Next == Key ? std::pair(Index, false) : FStates.Insert(*Next);
                Alike = Alike && (!Found || *Found == To);
                Found = To;
                if (New) {
                    FParent.push_back(Index);
                    FVia.push_back(Via);
                    if (FStates.Size() > FOptions.StateLimit) {
                        Report(QStringLiteral("больше %1 состояний: пространство не обойти")
                                   .arg(FOptions.StateLimit),
                               PathTo(To), KeysTo(To),
                               [](TSession&, const QString&) { return true; });
                        return false;
                    }
                }
                const std::pair<TMove, uint32_t> Edge{Move, To};
                if (std::find(Labelled.begin(), Labelled.end(), Edge) == Labelled.end())
                    Labelled.push_back(Edge);
                if (std::find(FEdges.begin() + static_cast<std::ptrdiff_t>(FFirstEdge[Index]),
                              FEdges.end(), To) == FEdges.end())
                    FEdges.push_back(To);
            }
            if (Alike && Found && *Found + 1 == FStates.Size() && FParent[*Found] == Index &&
                FVia[*Found].Move == Move)
                FVia[*Found].Symbols = {};
        }
        FReport.Transitions += Labelled.size();
    }
    FFirstEdge.push_back(FEdges.size());
    return true;
}

bool TExplorer::CheckWayBack() {
    const size_t Count = FStates.Size();
    // Predecessors of each state, from the successor lists.
    std::vector<size_t> FirstIn(Count + 1, 0);
    for (const uint32_t To : FEdges)
        ++FirstIn[To + 1];
    for (size_t Index = 0; Index < Count; ++Index)
        FirstIn[Index + 1] += FirstIn[Index];
    std::vector<uint32_t> In(FEdges.size());
    std::vector<size_t> Fill(FirstIn.begin(), FirstIn.end() - 1);
    for (uint32_t From = 0; From < Count; ++From)
        for (size_t Edge = FFirstEdge[From]; Edge < FFirstEdge[From + 1]; ++Edge)
            In[Fill[FEdges[Edge]]++] = From;

    std::vector<bool> Back(Count, false);
    std::vector<uint32_t> Queue;
    for (uint32_t Index = 0; Index < Count; ++Index) {
        const TKey& Key = FStates[Index];
        if (Key.States[A0] == A0State::Waiting && !(Key.Flags & FlagTrayClosed)) {
            Back[Index] = true;
            Queue.push_back(Index);
        }
    }
    for (size_t Head = 0; Head < Queue.size(); ++Head)
        for (size_t Edge = FirstIn[Queue[Head]]; Edge < FirstIn[Queue[Head] + 1]; ++Edge)
            if (!Back[In[Edge]]) {
                Back[In[Edge]] = true;
                Queue.push_back(In[Edge]);
            }
    // States are numbered in the order found, so the first dead end has a shortest path.
    for (uint32_t Index = 0; Index < Count; ++Index)
        if (!Back[Index]) {
            const TKey Dead = FStates[Index];
            Report(QStringLiteral("тупик: из состояния (A0, A1, A2) = (%1, %2, %3) машина не "
                                  "может вернуться в ожидание с открытым приёмником")
                       .arg(Dead.States[0])
                       .arg(Dead.States[1])
                       .arg(Dead.States[2]),
                   PathTo(Index), KeysTo(Index), [Dead](TSession& Session, const QString&) {
                       return Pack(Session.Machine().Snapshot()) == Dead;
                   });
            return false;
        }
    return true;
}

TExploreReport TExplorer::Run() {
    const auto Started = std::chrono::steady_clock::now();
    if (Search())
        CheckWayBack();
    FReport.States = FStates.Size();
    for (size_t A = 0; A < 3; ++A)
        FReport.RowsTaken[A].assign(FRowsTaken[A].begin(), FRowsTaken[A].end());
    for (uint32_t Index = 0; Index < FStates.Size(); ++Index) {
        const TKey& Key = FStates[Index];
        ++FReport.Triples[{Key.States[0], Key.States[1], Key.States[2]}];
    }
    FReport.Seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started).count();
    return std::move(FReport);
}

} // namespace

TExploreReport Explore(const TMachine& StartUp, const TExploreOptions& Options) {
    return TExplorer(StartUp, Options).Run();
}

QString StepText(const TExploreStep& Step) {
    const auto Digits = [&Step] {
        if (Step.Symbols[0] == 0)
            return QString();
        return QStringLiteral(" (на барабанах %1 %2 %3)")
            .arg(Step.Symbols[0])
            .arg(Step.Symbols[1])
            .arg(Step.Symbols[2]);
    };
    switch (Step.Move.Kind) {
    case TMove::Player:
        return ActionWords(Step.Move.Action);
    case TMove::StopB1:
        return QStringLiteral("остановка барабана 1") + Digits();
    case TMove::StopB2:
        return QStringLiteral("остановка барабана 2") + Digits();
    case TMove::StopB3:
        return QStringLiteral("остановка барабана 3") + Digits();
    case TMove::PayTick:
        return QStringLiteral("выдача жетона");
    }
    return {};
}

QString ReportText(const TExploreReport& Report, const TMachine& StartUp) {
    QString Text;
    const QLocale Russian(QLocale::Russian, QLocale::Russia);
    Text += QStringLiteral("Обход всех состояний, достижимых от запуска\n");
    Text += QStringLiteral("  состояний:  %1\n").arg(Russian.toString(qulonglong(Report.States)));
    Text +=
        QStringLiteral("  переходов:  %1\n").arg(Russian.toString(qulonglong(Report.Transitions)));
    Text += QStringLiteral(
        "Состояние — это состояния автоматов, счета, поля окна, монеты и фальшивый жетон на "
        "виду,\nпериоды вращения и выдачи и какие таймеры остановки взведены. Не различаются:\n"
        "  кадры барабанов: важны лишь цифры, на которых они стоят, а каждая остановка\n"
        "    пробуется на цифрах каждого выигрыша, который дают правила;\n"
        "  задержки остановки и генератор: любой взведённый таймер пробуется первым;\n"
        "  фазы таймеров и галочки протокола (все сняты; сообщение, что пишется и без них, —\n    "
        "уже нарушение).\n");
    Text += QStringLiteral("Тройки состояний (A0, A1, A2), всего %1:\n").arg(Report.Triples.size());
    const auto& Names = StartUp.AutomatonsDispatcher().FStateNames;
    const auto Name = [&Names](int32_t A, int32_t State) {
        const TStringList& List = Names.at(static_cast<size_t>(A));
        return State >= 0 && State < List.Count() ? QString::fromStdString(List.Get(State))
                                                  : QStringLiteral("?");
    };
    for (const auto& [Triple, Count] : Report.Triples)
        Text += QStringLiteral("  (%1, %2, %3)  %4 / %5 / %6: %7\n")
                    .arg(Triple[0])
                    .arg(Triple[1])
                    .arg(Triple[2])
                    .arg(Name(A0, Triple[0]), Name(A1, Triple[1]), Name(A2, Triple[2]))
                    .arg(Russian.toString(qulonglong(Count)));
    if (!Report.Violation) {
        Text += QStringLiteral("Итог: все инварианты выполняются после каждого шага, тупиков "
                               "нет.\n");
        return Text;
    }
    const TViolation& Violation = *Report.Violation;
    Text += QStringLiteral("НАРУШЕНИЕ: %1\n").arg(Violation.What);
    Text += QStringLiteral("Кратчайший путь от запуска, шагов: %1\n").arg(Violation.Path.size());
    for (size_t Index = 0; Index < Violation.Path.size(); ++Index)
        Text += QStringLiteral("  %1. %2\n").arg(Index + 1).arg(StepText(Violation.Path[Index]));
    if (Violation.Script.isEmpty())
        Text += QStringLiteral("В реальном времени этот путь не пройти ни с одним из "
                               "испытанных зёрен: сценария для replay нет.\n");
    else
        Text += QStringLiteral("Сценарий для slotmachine-cli replay:\n") + Violation.Script;
    return Text;
}

TReachable ReachableOf(const TExploreReport& Report) {
    TReachable Reachable;
    Reachable.Rows = Report.RowsTaken;
    Reachable.States = {std::vector<bool>(A0State::StateCount),
                        std::vector<bool>(A1State::StateCount),
                        std::vector<bool>(A2State::StateCount)};
    for (const auto& Each : Report.Triples)
        for (size_t A = 0; A < 3; ++A) {
            auto& States = Reachable.States[A];
            if (Each.first[A] >= 0 && static_cast<size_t>(Each.first[A]) < States.size())
                States[static_cast<size_t>(Each.first[A])] = true;
        }
    return Reachable;
}

QString UnreachableText(const TExploreReport& Report, const TMachine& StartUp) {
    const TReachable Reachable = ReachableOf(Report);
    QStringList Lines;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton) {
        const auto A = static_cast<size_t>(Automaton);
        const TDiagram Diagram = DiagramOf(StartUp, Automaton);
        for (const TDiagramEdge& Edge : Diagram.Edges)
            if (!Reachable.Rows[A].at(static_cast<size_t>(Edge.Row)))
                Lines << QStringLiteral("  %1  %2")
                             .arg(RowTarget(Diagram, Edge.Row), RowText(Diagram, Edge.Row));
        for (const TDiagramNode& Node : Diagram.Nodes)
            if (!Reachable.States[A].at(static_cast<size_t>(Node.State)))
                Lines << QStringLiteral("  %1  %2")
                             .arg(StateTarget(Automaton, Node.State),
                                  QString::fromStdString(Node.Name));
    }
    QString Text = QStringLiteral("Покрытие: переходы таблиц, которых не берёт ни один шаг из "
                                  "достижимого состояния,\nи состояния, в которые не попасть:");
    if (Report.Violation)
        Text += QStringLiteral(" (обход прерван нарушением, список может быть длиннее настоящего)");
    if (Lines.isEmpty())
        return Text + QStringLiteral(" нет, достижимы все.\n");
    return Text + u'\n' + Lines.join(u'\n') + u'\n';
}

} // namespace sm
