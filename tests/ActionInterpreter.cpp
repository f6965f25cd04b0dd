#include "tests/ActionInterpreter.h"

#include "sessions/Decimal.h"
#include "sessions/Door.h"
#include "slotmachine/Rules.h"
#include "slotmachine/Vocabulary.h"
#include "slotmachine/atmSlotMachine.h"

#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

namespace sm {

namespace {

constexpr int Toggles = 3 * LogItems;
constexpr int Barrels = 3;
constexpr int LastFrame = BarrelFrameCount - 1;
constexpr int LongestWait = 60000;
// A fresh machine draws its stop delays from this seed.
constexpr uint32_t MachineSeed = 1;

const std::array<QString, TimerCount> TimerNames = {"Sync1", "Sync2", "Sync3", "B1",
                                                    "B2",    "B3",    "Jack"};

bool Running(const TMachine& M, int Timer) {
    return M.Interval(TTimerId(Timer)) != 0;
}

// How many coins of the stack the window shows.
int ShownCoins(const TMachine& M) {
    return std::clamp(M.Displays().edUser, 0, TMachine::TokenImages);
}

bool ValidTarget(const TMachineAction& Action) {
    switch (Action.Kind) {
    case TActionKind::Player:
        if (Action.Target < 0 || Action.Target >= int(PlayerActions.size()))
            return false;
        return TPlayerAction(Action.Target) == TPlayerAction::Coin
                   ? Action.Value >= 1 && Action.Value <= TMachine::TokenImages
                   : Action.Value == 0;
    case TActionKind::Tick:
        return Action.Target >= 0 && Action.Target < TimerCount;
    case TActionKind::Toggle:
        return Action.Target >= 0 && Action.Target < Toggles;
    case TActionKind::Frame:
        return Action.Target >= 1 && Action.Target <= Barrels && Action.Value >= 0 &&
               Action.Value <= LastFrame;
    case TActionKind::Wait:
        return Action.Value >= 1 && Action.Value <= LongestWait;
    default:
        return true;
    }
}

std::optional<TMachineAction> ParseAction(const QString& Word) {
    const qsizetype Colon = Word.indexOf(u':');
    const QString Name = Colon < 0 ? Word : Word.left(Colon);
    const QString Argument = Colon < 0 ? QString() : Word.mid(Colon + 1);
    const auto Player = PlayerActionNamed(Name.toStdString());
    if (Player && *Player != TPlayerAction::Coin && Colon < 0)
        return PlayerMove(*Player);
    const std::pair<const char*, TActionKind> Plain[] = {{"close", TActionKind::Close},
                                                         {"copy", TActionKind::Copy}};
    for (const auto& [Text, Kind] : Plain)
        if (Word == QLatin1String(Text))
            return TMachineAction{Kind, 0, 0};
    if (Colon < 0)
        return std::nullopt;
    if (Player == TPlayerAction::Coin) {
        if (const auto Coin = ParseDecimal(Argument, 1, TMachine::TokenImages))
            return PlayerMove(TPlayerAction::Coin, *Coin);
    } else if (Name == u"tick") {
        for (int Timer = 0; Timer < TimerCount; ++Timer)
            if (Argument == TimerNames[static_cast<size_t>(Timer)])
                return TMachineAction{TActionKind::Tick, Timer, 0};
    } else if (Name == u"toggle") {
        static const QRegularExpression Item(QStringLiteral(R"(^A([0-2])\.([0-4])$)"));
        if (const auto Match = Item.match(Argument); Match.hasMatch())
            return TMachineAction{TActionKind::Toggle,
                                  Match.captured(1).toInt() * LogItems + Match.captured(2).toInt(),
                                  0};
    } else if (Name == u"frame") {
        const QStringList Parts = Argument.split(u'=');
        if (Parts.size() == 2) {
            const auto Barrel = ParseDecimal(Parts[0], 1, Barrels);
            const auto Frame = ParseDecimal(Parts[1], 0, LastFrame);
            if (Barrel && Frame)
                return TMachineAction{TActionKind::Frame, *Barrel, *Frame};
        }
    } else if (Name == u"wait") {
        if (const auto Milliseconds = ParseDecimal(Argument, 1, LongestWait))
            return TMachineAction{TActionKind::Wait, 0, *Milliseconds};
    }
    return std::nullopt;
}

// The machine's state; an assigned copy takes up every timer anew, which only the count of
// settings shows.
TMachineSnapshot Comparable(const TMachine& M) {
    TMachineSnapshot State = M.Snapshot();
    for (TTimerState& Timer : State.FTimers)
        Timer.Generation = 0;
    return State;
}

// Everything a run can depend on, in named parts: two drivers that read the same run the same.
std::vector<std::string> Describe(const TVirtualTime& Time) {
    const TMachine& M = Time.Machine();
    std::vector<std::string> Parts;
    const auto Put = [&Parts](std::string Name, std::initializer_list<int64_t> Values) {
        for (const int64_t Value : Values)
            Name += ' ' + std::to_string(Value);
        Parts.push_back(std::move(Name));
    };
    const TDisplays& D = M.Displays();
    Put("now, seed", {Time.Now(), M.RandSeed()});
    Put("accounts",
        {M.Bank(), M.UserTokens(), M.JackPot(), M.Stake(), M.TrayClosed(), M.TokenGood()});
    Put("shown", {D.edBank, D.edStake, D.edJackPot, D.edUser, D.iBadCoin, int(D.Shape1),
                  D.Barrels[0], D.Barrels[1], D.Barrels[2]});
    for (int Timer = 0; Timer < TimerCount; ++Timer)
        Put("interval, due of " + TimerNames[static_cast<size_t>(Timer)].toStdString(),
            {M.Interval(TTimerId(Timer)), Time.Due(TTimerId(Timer)).value_or(-1)});
    for (int Number = A0; Number <= A2; ++Number) {
        const TAutomaton& A = M.Automaton(Number);
        Put("state, busy, switches of A" + std::to_string(Number),
            {A.FState, A.FBusy, A.FLogStart, A.FLogTransition, A.FLogFinish, A.FLogInput,
             A.FLogOutput, A.FLogErrors});
    }
    const TAutomatonsDispatcher& Names = M.AutomatonsDispatcher();
    std::vector<const TStringList*> Lists = {&Names.FEventNames};
    for (const TStringList& Each : Names.FStateNames)
        Lists.push_back(&Each);
    std::string AllNames = "names";
    for (const TStringList* List : Lists)
        for (int32_t Item = 0; Item < List->Count(); ++Item)
            AllNames += ' ' + List->Get(Item) + ',';
    Parts.push_back(std::move(AllNames));
    return Parts;
}

} // namespace

// --- Text and bytes ---------------------------------------------------------------------------

QString ActionText(const TMachineAction& Action) {
    switch (Action.Kind) {
    case TActionKind::Player: {
        if (Action.Target < 0 || Action.Target >= int(PlayerActions.size()))
            return QStringLiteral("player:%1").arg(Action.Target);
        const std::string_view Name = ScriptName(TPlayerAction(Action.Target));
        const QString Word = QString::fromLatin1(Name.data(), qsizetype(Name.size()));
        return TPlayerAction(Action.Target) == TPlayerAction::Coin
                   ? Word + QStringLiteral(":%1").arg(Action.Value)
                   : Word;
    }
    case TActionKind::Tick:
        if (Action.Target >= 0 && Action.Target < TimerCount)
            return QStringLiteral("tick:") + TimerNames[static_cast<size_t>(Action.Target)];
        return QStringLiteral("tick:%1").arg(Action.Target);
    case TActionKind::Toggle:
        return QStringLiteral("toggle:A%1.%2")
            .arg(Action.Target / LogItems)
            .arg(Action.Target % LogItems);
    case TActionKind::Frame:
        return QStringLiteral("frame:%1=%2").arg(Action.Target).arg(Action.Value);
    case TActionKind::Close:
        return QStringLiteral("close");
    case TActionKind::Wait:
        return QStringLiteral("wait:%1").arg(Action.Value);
    case TActionKind::Copy:
        return QStringLiteral("copy");
    }
    return QStringLiteral("?");
}

QString ActionsText(std::span<const TMachineAction> Actions) {
    QStringList Words;
    for (const TMachineAction& Action : Actions)
        Words << ActionText(Action);
    return Words.join(u' ');
}

std::optional<TMachineActions> ParseActions(const QString& Text) {
    static const QRegularExpression Blanks(QStringLiteral(R"(\s+)"));
    TMachineActions Actions;
    for (const QString& Word : Text.split(Blanks, Qt::SkipEmptyParts)) {
        const auto Action = ParseAction(Word);
        if (!Action)
            return std::nullopt;
        Actions.push_back(*Action);
    }
    return Actions;
}

TMachineActions DecodeActions(std::span<const uint8_t> Bytes) {
    // One byte picks the action, weighted towards what moves a game on; actions with an argument
    // take it from the next byte. Fuzzers favour 255, so what restarts or copies the machine
    // takes two bytes: 255 255 closes, 255 254 copies, 255 253 W waits (W + 1) * 10 ms.
    TMachineActions Actions;
    size_t At = 0;
    const auto Next = [&] { return At < Bytes.size() ? int{Bytes[At++]} : 0; };
    while (At < Bytes.size()) {
        const int Op = Next();
        if (Op == 255 && At < Bytes.size() && Bytes[At] >= 253) {
            switch (Next()) {
            case 255:
                Actions.push_back({TActionKind::Close, 0, 0});
                break;
            case 254:
                Actions.push_back({TActionKind::Copy, 0, 0});
                break;
            default:
                Actions.push_back({TActionKind::Wait, 0, (Next() + 1) * 10});
            }
            continue;
        }
        switch (Op % 16) {
        case 0:
        case 1:
        case 2:
            Actions.push_back(PlayerMove(TPlayerAction::Coin, 1 + Next() % TMachine::TokenImages));
            break;
        case 3:
            Actions.push_back(PlayerMove(TPlayerAction::Bad));
            break;
        case 4:
        case 5:
            Actions.push_back(PlayerMove(TPlayerAction::Play));
            break;
        case 6:
            Actions.push_back(PlayerMove(TPlayerAction::Return));
            break;
        case 7:
            Actions.push_back(PlayerMove(TPlayerAction::Reset));
            break;
        case 12:
            Actions.push_back({TActionKind::Toggle, Next() % Toggles, 0});
            break;
        case 13:
        case 14: {
            const int Argument = Next() % (Barrels * BarrelFrameCount);
            Actions.push_back(
                {TActionKind::Frame, 1 + Argument / BarrelFrameCount, Argument % BarrelFrameCount});
            break;
        }
        default:
            Actions.push_back({TActionKind::Tick, Next() % TimerCount, 0});
        }
    }
    return Actions;
}

// --- The interpreter --------------------------------------------------------------------------

void TActionInterpreter::TProtocolCheck::Message(const std::string& Text) {
    if (!FBroken.isEmpty())
        return;
    // Reentrancy and unknown states are reported this way; neither may ever happen.
    if (Text.starts_with("Ошибка"))
        FBroken = QStringLiteral("error in the protocol: ") + QString::fromStdString(Text);
    else if (Text.empty())
        FBroken = QStringLiteral("empty protocol message");
}

TActionInterpreter::TActionInterpreter() {
    Open();
}

void TActionInterpreter::Open() {
    FTime.reset();
    FTime = std::make_unique<TVirtualTime>();
    Machine().Seed(MachineSeed);
    Machine().SetSink(&FProtocol);
    FProtocol.FBroken.clear();
}

QString TActionInterpreter::Reopen() {
    Open();
    TDisplays Start;
    Start.Barrels = {StartFrame, StartFrame, StartFrame};
    const TMachine& M = Machine();
    if (M.State(A0) != 0 || M.State(A1) != 0 || M.State(A2) != 0 || M.Bank() != 50 ||
        M.UserTokens() != 50 || M.Stake() != 0 || M.JackPot() != 0 || !(M.Displays() == Start) ||
        Time().NextDue() || Time().Now() != 0)
        return QStringLiteral("a fresh machine does not start from scratch");
    return Check();
}

QString TActionInterpreter::Copy() {
    auto Copied = std::make_unique<TVirtualTime>(*FTime);
    TVirtualTime Assigned; // a machine of its own, overwritten whole
    Assigned = *FTime;
    if (Copied->Machine().Sink() != nullptr)
        return QStringLiteral("a copy writes to its original's protocol");
    // An input that changes nothing makes each driver take up the timers as its machine has them.
    for (TVirtualTime* Each : {FTime.get(), Copied.get(), &Assigned})
        Each->Do([](TMachine&) {});
    const std::vector<std::string> Original = Describe(*FTime);
    for (const TVirtualTime* Each : {Copied.get(), &Assigned}) {
        const std::vector<std::string> Read = Describe(*Each);
        const auto Differs = std::mismatch(Original.begin(), Original.end(), Read.begin());
        const QString Which =
            Each == &Assigned ? QStringLiteral("an assigned") : QStringLiteral("a");
        if (Differs.first != Original.end())
            return QStringLiteral("%1 copy differs from its original: %2 instead of %3")
                .arg(Which, QString::fromStdString(*Differs.second),
                     QString::fromStdString(*Differs.first));
        // Whatever the snapshot holds, a field the description does not name included.
        if (!(Comparable(Each->Machine()) == Comparable(FTime->Machine())))
            return QStringLiteral("%1 copy differs from its original in its snapshot").arg(Which);
    }
    // The original goes first, so that the copy cannot lean on anything of it.
    FTime = std::move(Copied);
    Machine().SetSink(&FProtocol);
    return Check();
}

bool TActionInterpreter::Possible(const TMachineAction& Action) const {
    if (!ValidTarget(Action))
        return false;
    const TMachine& M = Machine();
    switch (Action.Kind) {
    case TActionKind::Player:
        // The window takes a click on a coin it shows, however many it shows.
        return CanTake(M, TPlayerAction(Action.Target)) && Action.Value <= ShownCoins(M);
    case TActionKind::Tick:
        return Running(M, Action.Target);
    case TActionKind::Frame:
        return Running(M, TimerSync1 + Action.Target - 1);
    default:
        return true;
    }
}

QString TActionInterpreter::Check() const {
    if (QString Broken = CheckInvariants(Machine()); !Broken.isEmpty())
        return Broken;
    return FProtocol.FBroken;
}

QString TActionInterpreter::Apply(const TMachineAction& Action) {
    // What cannot happen changes nothing, so there is nothing new to check either.
    if (!Possible(Action))
        return {};
    try {
        switch (Action.Kind) {
        case TActionKind::Player:
            TInputDoor(Time()).Take(TPlayerAction(Action.Target));
            break;
        case TActionKind::Tick:
            Time().Do([&](TMachine& M) { M.TimerFired(TTimerId(Action.Target)); });
            break;
        case TActionKind::Toggle: {
            const int Automaton = Action.Target / LogItems;
            const auto Item = TLogItem(Action.Target % LogItems);
            TInputDoor(Time()).Turn(Automaton, Item, !Machine().LogSwitches(Automaton)[Item]);
            break;
        }
        case TActionKind::Frame:
            Time().Do([&](TMachine& M) { M.SetFrameIndex(Action.Target, Action.Value); });
            break;
        case TActionKind::Close:
            return Reopen();
        case TActionKind::Wait:
            Time().Advance(Action.Value);
            break;
        case TActionKind::Copy:
            return Copy();
        }
    } catch (const std::exception& Error) {
        return QStringLiteral("a handler raised: %1").arg(QString::fromUtf8(Error.what()));
    }
    return Check();
}

TFailure TActionInterpreter::Run(std::span<const TMachineAction> Actions) {
    Open();
    for (size_t Step = 0; Step < Actions.size(); ++Step)
        if (QString Broken = Apply(Actions[Step]); !Broken.isEmpty())
            return {static_cast<int>(Step), Broken};
    return {};
}

// --- Shrinking --------------------------------------------------------------------------------

QString FailureKind(const QString& What) {
    static const QRegularExpression Digits(QStringLiteral(R"(\d+)"));
    return QString(What).replace(Digits, QStringLiteral("#"));
}

TMachineActions Shrink(TMachineActions Actions,
                       const std::function<QString(std::span<const TMachineAction>)>& Fails) {
    const QString Kind = FailureKind(Fails(Actions));
    if (Kind.isEmpty())
        return Actions;
    const auto StillFails = [&](const TMachineActions& Candidate) {
        return FailureKind(Fails(Candidate)) == Kind;
    };
    for (size_t Chunk = std::max<size_t>(Actions.size() / 2, 1);;) {
        bool Dropped = false;
        for (size_t Start = 0; Start < Actions.size();) {
            TMachineActions Shorter(Actions.begin(),
                                    Actions.begin() + static_cast<ptrdiff_t>(Start));
            const size_t End = std::min(Start + Chunk, Actions.size());
            Shorter.insert(Shorter.end(), Actions.begin() + static_cast<ptrdiff_t>(End),
                           Actions.end());
            if (StillFails(Shorter)) {
                Actions = std::move(Shorter);
                Dropped = true;
            } else {
                Start += Chunk;
            }
        }
        // Single actions are tried until none can go; larger chunks only once each.
        if (Chunk == 1 && !Dropped)
            break;
        if (Chunk > 1)
            Chunk /= 2;
    }
    // Any shown coin does the same, so the list reads better with the first one.
    for (TMachineAction& Action : Actions) {
        if (!(Action == PlayerMove(TPlayerAction::Coin, Action.Value)) || Action.Value == 1)
            continue;
        const int Coin = std::exchange(Action.Value, 1);
        if (!StillFails(Actions))
            Action.Value = Coin;
    }
    return Actions;
}

TMachineActions ShrinkFailure(TMachineActions Actions) {
    TActionInterpreter Interpreter;
    const auto Fails = [&Interpreter](std::span<const TMachineAction> Candidate) {
        return Interpreter.Run(Candidate).What;
    };
    // What follows the failing step plays no part.
    if (const TFailure Failure = Interpreter.Run(Actions); Failure)
        Actions.resize(static_cast<size_t>(Failure.Step) + 1);
    return Shrink(std::move(Actions), Fails);
}

} // namespace sm
