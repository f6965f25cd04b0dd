#include "sessions/WayThere.h"

#include "sessions/Door.h"
#include "sessions/SearchMoves.h"
#include "sessions/Session.h"
#include "sessions/StateStore.h"
#include "slotmachine/Diagram.h"
#include "slotmachine/Rules.h"

#include <QHashFunctions>
#include <QStringList>

#include <algorithm>
#include <exception>
#include <functional>
#include <unordered_map>
#include <unordered_set>

namespace sm {

namespace {

using namespace search;

class TDiscard final : public TProtocolSink {
public:
    void Message(const std::string&) override {}
};

bool Takes(const TStep& Step, const TTarget& Target) {
    if (Step.Automaton != Target.Automaton)
        return false;
    if (Target.IsRow)
        return Step.Row == Target.Index;
    return Step.From != Step.To && Step.To == Target.Index;
}

int64_t CountOf(const TCoverageCounts& Counts, const TTarget& Target) {
    const TAutomatonCoverage& Each = Counts.at(static_cast<size_t>(Target.Automaton));
    return (Target.IsRow ? Each.Rows : Each.States).at(static_cast<size_t>(Target.Index));
}

struct TRealized {
    std::vector<TCommand> Commands;
    int64_t Milliseconds = 0;
};

// Walks the path in virtual time: each timer step becomes a wait until that timer is due, and it
// must be the next to fire; each step must leave the state the search found, and the last must
// take the target.
std::optional<TRealized> Realize(TVirtualTime& Time, const std::vector<TExploreStep>& Path,
                                 const std::vector<TKey>& Keys, const TTarget& Target) {
    TDiscard Discard;
    Time.Machine().SetSink(&Discard);
    TInputDoor Door(Time);
    TCoverage Counted(Time.Machine());
    const int64_t Began = Time.Now();
    TRealized Way;
    for (size_t Index = 0; Index < Path.size(); ++Index) {
        const TMove Move = Path[Index].Move;
        TCommand Command;
        Command.Kind = TCommandKind::Player;
        Command.Action = Move.Action;
        if (const auto Timer = TimerOf(Move)) {
            if (Time.NextEvent() != *Timer)
                return std::nullopt;
            Command.Kind = TCommandKind::Wait;
            Command.Milliseconds = *Time.Due(*Timer) - Time.Now();
        }
        const int64_t Before = CountOf(Counted.Counts(), Target);
        try {
            if (!RunCommand(Door, Command).isEmpty())
                return std::nullopt;
        } catch (const std::exception&) {
            return std::nullopt;
        }
        if (Index + 1 == Path.size() ? CountOf(Counted.Counts(), Target) == Before
                                     : Pack(Time.Machine().Snapshot()) != Keys[Index])
            return std::nullopt;
        Way.Commands.push_back(Command);
    }
    Way.Milliseconds = Time.Now() - Began;
    return Way;
}

// What decides a running session's future: the explorer's key, and what it leaves out, the
// generator, the frames and when each timer is due from now.
struct TRealKey {
    TKey Key;
    uint32_t Seed;
    std::array<int32_t, TimerCount> Due;
    std::array<int16_t, 3> Frames;
    int16_t Unused = 0;
    bool operator==(const TRealKey&) const = default;
};
static_assert(std::has_unique_object_representations_v<TRealKey>, "hashed as bytes");

struct TRealKeyHash {
    size_t operator()(const TRealKey& Key) const { return qHashBits(&Key, sizeof Key); }
};

std::optional<TRealKey> RealKeyOf(const TVirtualTime& Time) {
    const auto Key = Pack(Time.Machine().Snapshot());
    if (!Key)
        return std::nullopt;
    TRealKey Real{*Key, Time.Machine().RandSeed(), {}, {}, 0};
    for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
        Real.Frames[static_cast<size_t>(Barrel - 1)] =
            static_cast<int16_t>(Time.Machine().FrameIndex(Barrel));
    for (int32_t Timer = 0; Timer < TimerCount; ++Timer) {
        const auto Due = Time.Due(static_cast<TTimerId>(Timer));
        Real.Due[static_cast<size_t>(Timer)] = Due ? static_cast<int32_t>(*Due - Time.Now()) : -1;
    }
    return Real;
}

// From a running session the generator is the session's own, so the digits are what they will
// be: a breadth-first search over the real machine by the player's moves, where the player acts
// now or after the next stop or pay-out. Its space has no end (each game draws anew), so it
// gives up past a number of states.
std::optional<TRealized> RealWay(const TVirtualTime& Present, const TTarget& Target,
                                 size_t StateLimit) {
    struct TNode {
        uint32_t Parent;
        TCommand Command;
    };
    std::vector<TNode> Nodes{{0, {}}};
    std::unordered_set<TRealKey, TRealKeyHash> Seen;
    TDiscard Discard;
    std::vector<std::pair<uint32_t, TVirtualTime>> Layer;
    Layer.emplace_back(0, Present);
    Layer.back().second.Machine().SetSink(&Discard);
    if (const auto Key = RealKeyOf(Present))
        Seen.insert(*Key);
    const int64_t Began = Present.Now();
    const auto PathTo = [&Nodes](uint32_t Index) {
        std::vector<TCommand> Commands;
        for (; Index != 0; Index = Nodes[Index].Parent)
            Commands.insert(Commands.begin(), Nodes[Index].Command);
        return Commands;
    };
    while (!Layer.empty() && Nodes.size() < StateLimit) {
        std::vector<std::pair<uint32_t, TVirtualTime>> Next;
        std::optional<TRealized> Best;
        for (size_t At = 0; At < Layer.size() && Nodes.size() < StateLimit; ++At) {
            const uint32_t From = Layer[At].first;
            for (size_t Move = 0; Move <= PlayerActions.size(); ++Move) {
                const bool Wait = Move == PlayerActions.size();
                TVirtualTime Time = Layer[At].second;
                TCommand Command;
                if (Wait) {
                    const auto Timer = Time.NextEvent();
                    if (!Timer)
                        continue;
                    Command.Kind = TCommandKind::Wait;
                    Command.Milliseconds = *Time.Due(*Timer) - Time.Now();
                } else {
                    Command.Kind = TCommandKind::Player;
                    Command.Action = PlayerActions[Move];
                }
                TInputDoor Door(Time);
                int64_t Before = 0;
                int64_t After = 0;
                {
                    TCoverage Counted(Time.Machine());
                    Before = CountOf(Counted.Counts(), Target);
                    try {
                        if (!RunCommand(Door, Command).isEmpty())
                            continue;
                    } catch (const std::exception&) {
                        continue;
                    }
                    After = CountOf(Counted.Counts(), Target);
                }
                if (After > Before) {
                    if (!Best || Time.Now() - Began < Best->Milliseconds) {
                        std::vector<TCommand> Commands = PathTo(From);
                        Commands.push_back(Command);
                        Best = TRealized{std::move(Commands), Time.Now() - Began};
                    }
                    continue;
                }
                const auto Key = RealKeyOf(Time);
                if (!Key || !Seen.insert(*Key).second)
                    continue;
                Nodes.push_back({From, Command});
                const auto Index = static_cast<uint32_t>(Nodes.size() - 1);
                if (Wait)
                    Layer.emplace_back(Index, std::move(Time));
                else
                    Next.emplace_back(Index, std::move(Time));
            }
        }
        if (Best)
            return Best;
        Layer = std::move(Next);
    }
    return std::nullopt;
}

// A breadth-first search over the explorer's state keys by the player's moves: a timer's step
// costs none, so each layer holds the states the fewest moves reach. The ways that take the
// target are handed, layer by layer, to the one who plays them in real time.
class TWaySearch {
public:
    // A way found in real time, or none: the path is then searched on.
    using TRealizer = std::function<std::optional<TWay>(const std::vector<TExploreStep>&,
                                                        const std::vector<TKey>&)>;

    TWaySearch(const TMachine& Machine, const TTarget& Target, const TWayOptions& Options)
        : FWork(Machine), FTarget(Target), FOptions(Options) {
        TMachineSnapshot State = FWork.Snapshot();
        for (TAutomatonSnapshot& Each : State.Automata)
            Each = {.FBusy = Each.FBusy, .FState = Each.FState, .FLogErrors = true};
        FWork.Restore(State);
        FWork.SetSink(&FDiscard);
    }

    // FirstOnly: gives up after the first layer with ways that take the target, when none of
    // them plays in real time; Reachable then tells that there were some.
    std::optional<TWay> Run(const TKey& Start, const TRealizer& Realizer, bool FirstOnly = false);
    bool Reachable = false;

private:
    struct TCandidate {
        uint32_t Parent;
        TExploreStep Via;
    };

    // Reaches the state at the cost, or at less than it had.
    void Reach(const TKey& Key, uint32_t Parent, const TExploreStep& Via, uint16_t Cost,
               std::vector<uint32_t>& Queue);
    std::vector<TExploreStep> PathTo(uint32_t Index) const;
    std::vector<TKey> KeysTo(uint32_t Index) const;
    std::optional<TWay> Best(const std::vector<TCandidate>& Candidates, const TRealizer& Realizer);

    TMachine FWork;
    TDiscard FDiscard;
    TTarget FTarget;
    TWayOptions FOptions;
    TOutcomes FOutcomes;
    TStateTable FStates;
    std::vector<uint32_t> FParent;
    std::vector<TExploreStep> FVia;
    std::vector<uint16_t> FCost;
    std::vector<uint8_t> FDone;
};

void TWaySearch::Reach(const TKey& Key, uint32_t Parent, const TExploreStep& Via, uint16_t Cost,
                       std::vector<uint32_t>& Queue) {
    const auto [Index, New] = FStates.Insert(Key);
    if (New) {
        FParent.push_back(Parent);
        FVia.push_back(Via);
        FCost.push_back(Cost);
        FDone.push_back(0);
    } else if (FDone[Index] || FCost[Index] <= Cost) {
        return;
    } else {
        FParent[Index] = Parent;
        FVia[Index] = Via;
        FCost[Index] = Cost;
    }
    Queue.push_back(Index);
}

std::vector<TExploreStep> TWaySearch::PathTo(uint32_t Index) const {
    return WayBack<TExploreStep>(Index, FParent, [this](uint32_t At) { return FVia[At]; });
}

std::vector<TKey> TWaySearch::KeysTo(uint32_t Index) const {
    return WayBack<TKey>(Index, FParent, [this](uint32_t At) { return FStates[At]; });
}

std::optional<TWay> TWaySearch::Best(const std::vector<TCandidate>& Candidates,
                                     const TRealizer& Realizer) {
    std::optional<TWay> Best;
    for (const TCandidate& Each : Candidates) {
        std::vector<TExploreStep> Path = PathTo(Each.Parent);
        Path.push_back(Each.Via);
        auto Way = Realizer(Path, KeysTo(Each.Parent));
        if (Way && (!Best || Way->Milliseconds < Best->Milliseconds))
            Best = std::move(Way);
    }
    return Best;
}

std::optional<TWay> TWaySearch::Run(const TKey& Start, const TRealizer& Realizer, bool FirstOnly) {
    if (!FTarget.IsRow && Start.States.at(static_cast<size_t>(FTarget.Automaton)) == FTarget.Index)
        return Realizer({}, {});
    std::vector<uint32_t> Layer;
    std::vector<uint32_t> Next;
    Reach(Start, 0, {}, 0, Layer);
    // The ways of this layer's cost, and of the next's, found by a player's move.
    std::vector<TCandidate> Now;
    std::vector<TCandidate> Later;
    const auto Keep = [this](std::vector<TCandidate>& Candidates, const TCandidate& Each) {
        if (Candidates.size() < static_cast<size_t>(FOptions.Candidates))
            Candidates.push_back(Each);
    };
    for (uint16_t Cost = 0; !Layer.empty() || !Now.empty(); ++Cost) {
        for (size_t At = 0; At < Layer.size(); ++At) {
            const uint32_t Index = Layer[At];
            if (FDone[Index] || FCost[Index] != Cost)
                continue;
            FDone[Index] = 1;
            const TKey Key = FStates[Index];
            for (const TMove Move : Moves) {
                if (!Possible(Key, Move))
                    continue;
                const bool Player = Move.Kind == TMove::Player;
                for (const auto& Symbols : IsStop(Move) ? FOutcomes.For(Key.Stake) : NoDigits) {
                    const TExploreStep Via{Move, Symbols};
                    Load(FWork, Key);
                    if (IsStop(Move))
                        for (int32_t Barrel = 1; Barrel <= 3; ++Barrel)
                            FWork.SetFrameIndex(
                                Barrel, SnapFrameOf(Symbols[static_cast<size_t>(Barrel - 1)]));
                    try {
                        if (Player)
                            Take(FWork, Move.Action);
                        else
                            FWork.TimerFired(*TimerOf(Move));
                    } catch (const std::exception&) {
                        continue;
                    }
                    if (std::any_of(FWork.Steps().begin(), FWork.Steps().end(),
                                    [this](const TStep& Step) { return Takes(Step, FTarget); }))
                        Keep(Player ? Later : Now, {Index, Via});
                    const auto To = Pack(FWork.Snapshot());
                    if (!To || *To == Key)
                        continue;
                    if (Player)
                        Reach(*To, Index, Via, static_cast<uint16_t>(Cost + 1), Next);
                    else
                        Reach(*To, Index, Via, Cost, Layer);
                }
            }
        }
        if (auto Way = Best(Now, Realizer))
            return Way;
        Reachable = Reachable || !Now.empty();
        if (FirstOnly && Reachable)
            return std::nullopt;
        Now = std::move(Later);
        Later.clear();
        Layer = std::move(Next);
        Next.clear();
    }
    return std::nullopt;
}

QString Describe(const TMachine& Machine, const TTarget& Target) {
    if (Target.IsRow)
        return RowText(DiagramOf(Machine, Target.Automaton), Target.Index);
    const TStringList& Names =
        Machine.AutomatonsDispatcher().FStateNames.at(static_cast<size_t>(Target.Automaton));
    return QStringLiteral("%1 %2")
        .arg(Target.Index)
        .arg(QString::fromStdString(Names.Get(Target.Index)));
}

TWay Finish(const TMachine& Machine, const TTarget& Target, std::optional<uint32_t> Seed,
            const std::vector<TExploreStep>& Path, const TRealized& Realized) {
    TWay Way;
    Way.Path = Path;
    Way.Milliseconds = Realized.Milliseconds;
    Way.PlayerMoves = static_cast<int>(std::count_if(
        Realized.Commands.begin(), Realized.Commands.end(),
        [](const TCommand& Command) { return Command.Kind == TCommandKind::Player; }));
    QStringList Lines = {QStringLiteral("# путь к %1 (%2): ходов игрока %3, время машины %4 мс")
                             .arg(TargetName(Machine, Target), Describe(Machine, Target))
                             .arg(Way.PlayerMoves)
                             .arg(Way.Milliseconds)};
    if (Seed) {
        Way.Script.Seed = *Seed;
        Lines << QStringLiteral("seed %1").arg(*Seed);
    }
    int Line = static_cast<int>(Lines.size());
    for (TCommand Command : Realized.Commands) {
        Command.Line = ++Line;
        Way.Script.Commands.push_back(Command);
        Lines << CommandText(Command);
    }
    Way.Text = Lines.join(u'\n') + u'\n';
    return Way;
}

} // namespace

QString TargetName(const TMachine& Machine, const TTarget& Target) {
    return Target.IsRow ? RowTarget(Machine, Target.Automaton, Target.Index)
                        : StateTarget(Target.Automaton, Target.Index);
}

std::optional<TWay> WayFromStartUp(const TMachine& StartUp, const TTarget& Target,
                                   const TWayOptions& Options) {
    const auto Start = Pack(StartUp.Snapshot());
    if (!Start)
        return std::nullopt;
    TWaySearch Search(StartUp, Target, Options);
    // The stops land where the seed's delays put them: seeds are tried until every state on the
    // way is the one the search found.
    return Search.Run(*Start,
                      [&](const std::vector<TExploreStep>& Path,
                          const std::vector<TKey>& Keys) -> std::optional<TWay> {
                          // Seeds differ in the delays too: of the first few that play the
                          // way, the quickest.
                          std::optional<TWay> Best;
                          int Found = 0;
                          for (uint32_t Seed = 0; Seed < Options.Seeds && Found < 16; ++Seed) {
                              TVirtualTime Time(StartUp);
                              Time.Machine().Seed(Seed);
                              const auto Realized = Realize(Time, Path, Keys, Target);
                              if (!Realized)
                                  continue;
                              ++Found;
                              if (!Best || Realized->Milliseconds < Best->Milliseconds)
                                  Best = Finish(StartUp, Target, Seed, Path, *Realized);
                          }
                          return Best;
                      });
}

std::optional<TWay> WayFrom(const TVirtualTime& Present, const TTarget& Target,
                            const TWayOptions& Options) {
    const auto Start = Pack(Present.Machine().Snapshot());
    if (!Start)
        return std::nullopt;
    if (!Target.IsRow && Start->States.at(static_cast<size_t>(Target.Automaton)) == Target.Index)
        return Finish(Present.Machine(), Target, std::nullopt, {}, {});
    // The explorer's search gives the fewest moves any session could take; a way of that many
    // whose stops land where this session's generator puts them is the shortest.
    TWaySearch Search(Present.Machine(), Target, Options);
    auto Way = Search.Run(
        *Start,
        [&](const std::vector<TExploreStep>& Path,
            const std::vector<TKey>& Keys) -> std::optional<TWay> {
            TVirtualTime Time(Present);
            if (const auto Realized = Realize(Time, Path, Keys, Target))
                return Finish(Present.Machine(), Target, std::nullopt, Path, *Realized);
            return std::nullopt;
        },
        true);
    if (Way || !Search.Reachable)
        return Way;
    if (const auto Realized = RealWay(Present, Target, Options.RealStates))
        return Finish(Present.Machine(), Target, std::nullopt, {}, *Realized);
    return std::nullopt;
}

} // namespace sm
