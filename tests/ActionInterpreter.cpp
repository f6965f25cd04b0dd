#include "tests/ActionInterpreter.h"

#include "slotmachine/Random.h"
#include "slotmachine/Rules.h"
#include "slotmachine/atmSlotMachine.h"
#include "window/FormMain.h"

#include <QApplication>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <exception>
#include <utility>

namespace {

using A0State = TAutomatonSlotMachine;
using A1State = TAutomatonMoneyTray;
using A2State = TAutomatonBarrelsEngine;

constexpr int Timers = 7;
constexpr int ListItems = 5;
constexpr int Toggles = 3 * ListItems;
constexpr int Barrels = 3;
constexpr int LastFrame = BarrelFrames - 1;

const std::array<QString, Timers> TimerNames = {"Sync1", "Sync2", "Sync3", "B1",
                                                "B2",    "B3",    "Jack"};

using THandler = void (TSlotMachine::*)(QObject*);

const std::array<THandler, Timers> TimerHandlers = {
    &TSlotMachine::TimerSync1Timer, &TSlotMachine::TimerSync2Timer, &TSlotMachine::TimerSync3Timer,
    &TSlotMachine::TimerB1Timer,    &TSlotMachine::TimerB2Timer,    &TSlotMachine::TimerB3Timer,
    &TSlotMachine::JackTimerTimer};

const std::array<THandler, 3> ListHandlers = {&TSlotMachine::cbA0LogSettingsClickCheck,
                                              &TSlotMachine::cbA1LogSettingsClickCheck,
                                              &TSlotMachine::cbA2LogSettingsClickCheck};

// In the order of the timer numbers of TMachineAction.
std::array<TTimer*, Timers> TimersOf(const TSlotMachine& M) {
    return {M.TimerSync1, M.TimerSync2, M.TimerSync3, M.TimerB1, M.TimerB2, M.TimerB3, M.JackTimer};
}

TCheckList* ListOf(const TSlotMachine& M, int List) {
    const std::array<TCheckList*, 3> Lists = {M.cbA0LogSettings, M.cbA1LogSettings,
                                              M.cbA2LogSettings};
    return Lists[static_cast<size_t>(List)];
}

TFrameImage* BarrelOf(const TSlotMachine& M, int Barrel) {
    const std::array<TFrameImage*, Barrels> List = {M.Barrel1, M.Barrel2, M.Barrel3};
    return List[static_cast<size_t>(Barrel - 1)];
}

bool Running(const TTimer* Timer) {
    return Timer->Interval() != 0;
}

bool ValidTarget(const TMachineAction& Action) {
    switch (Action.Kind) {
    case TActionKind::Coin:
        return Action.Target >= 1 && Action.Target <= TSlotMachine::TokenImages;
    case TActionKind::Tick:
        return Action.Target >= 0 && Action.Target < Timers;
    case TActionKind::Toggle:
        return Action.Target >= 0 && Action.Target < Toggles;
    case TActionKind::Frame:
        return Action.Target >= 1 && Action.Target <= Barrels && Action.Value >= 0 &&
               Action.Value <= LastFrame;
    default:
        return true;
    }
}

std::optional<int> Number(const QString& Text, int Low, int High) {
    bool Ok = false;
    const int Value = Text.toInt(&Ok);
    if (!Ok || Value < Low || Value > High)
        return std::nullopt;
    return Value;
}

std::optional<TMachineAction> ParseAction(const QString& Word) {
    const qsizetype Colon = Word.indexOf(u':');
    const QString Name = Colon < 0 ? Word : Word.left(Colon);
    const QString Argument = Colon < 0 ? QString() : Word.mid(Colon + 1);
    const std::pair<const char*, TActionKind> Plain[] = {{"bad", TActionKind::BadCoin},
                                                         {"play", TActionKind::Play},
                                                         {"return", TActionKind::Return},
                                                         {"reset", TActionKind::Reset},
                                                         {"close", TActionKind::Close}};
    for (const auto& [Text, Kind] : Plain)
        if (Word == QLatin1String(Text))
            return TMachineAction{Kind, 0, 0};
    if (Colon < 0)
        return std::nullopt;
    if (Name == u"coin") {
        if (const auto Coin = Number(Argument, 1, TSlotMachine::TokenImages))
            return TMachineAction{TActionKind::Coin, *Coin, 0};
    } else if (Name == u"tick") {
        for (int Timer = 0; Timer < Timers; ++Timer)
            if (Argument == TimerNames[static_cast<size_t>(Timer)])
                return TMachineAction{TActionKind::Tick, Timer, 0};
    } else if (Name == u"toggle") {
        static const QRegularExpression Item(QStringLiteral(R"(^A([0-2])\.([0-4])$)"));
        if (const auto Match = Item.match(Argument); Match.hasMatch())
            return TMachineAction{TActionKind::Toggle,
                                  Match.captured(1).toInt() * ListItems + Match.captured(2).toInt(),
                                  0};
    } else if (Name == u"frame") {
        const QStringList Parts = Argument.split(u'=');
        if (Parts.size() == 2) {
            const auto Barrel = Number(Parts[0], 1, Barrels);
            const auto Frame = Number(Parts[1], 0, LastFrame);
            if (Barrel && Frame)
                return TMachineAction{TActionKind::Frame, *Barrel, *Frame};
        }
    }
    return std::nullopt;
}

QString Describe(const std::exception& Error) {
    return QStringLiteral("a handler raised: %1").arg(QString::fromUtf8(Error.what()));
}

// Which of TimerSync1..3, TimerB1..3 run in each state of A2: 1 runs, 0 stopped, ? either (the
// first stop timer waits for the second press of play).
const std::array<const char*, A2State::StateCount> BarrelTimersIn = {"000000", "111?00", "011010",
                                                                     "001001"};

QString BarrelTimers(const TSlotMachine& M) {
    QString Pattern;
    const auto All = TimersOf(M);
    for (int Timer = 0; Timer < 6; ++Timer)
        Pattern += Running(All[static_cast<size_t>(Timer)]) ? u'1' : u'0';
    return Pattern;
}

QString CheckProtocol(const TLogPanel& Log, qsizetype& Mark) {
    const qsizetype Count = Log.LineCount();
    for (qsizetype Line = Mark; Line < Count; Line += 3) {
        if (!Log.Line(Line).endsWith(u':'))
            return QStringLiteral("protocol line %1 is not a stamp: %2")
                .arg(Line)
                .arg(Log.Line(Line));
        if (Line + 2 >= Count)
            return QStringLiteral("protocol message at line %1 is cut short").arg(Line);
        const QString Message = Log.Line(Line + 1);
        if (Message.isEmpty())
            return QStringLiteral("protocol message at line %1 is empty").arg(Line + 1);
        if (!Log.Line(Line + 2).isEmpty())
            return QStringLiteral("protocol line %1 after a message is not empty: %2")
                .arg(Line + 2)
                .arg(Log.Line(Line + 2));
        // Reentrancy and unknown states are reported this way; neither may ever happen.
        if (Message.startsWith(QStringLiteral("Ошибка")))
            return QStringLiteral("error in the protocol: %1").arg(Message);
    }
    Mark = Count;
    return {};
}

} // namespace

// --- Text and bytes ---------------------------------------------------------------------------

QString ActionText(const TMachineAction& Action) {
    switch (Action.Kind) {
    case TActionKind::Coin:
        return QStringLiteral("coin:%1").arg(Action.Target);
    case TActionKind::BadCoin:
        return QStringLiteral("bad");
    case TActionKind::Play:
        return QStringLiteral("play");
    case TActionKind::Return:
        return QStringLiteral("return");
    case TActionKind::Reset:
        return QStringLiteral("reset");
    case TActionKind::Tick:
        if (Action.Target >= 0 && Action.Target < Timers)
            return QStringLiteral("tick:") + TimerNames[static_cast<size_t>(Action.Target)];
        return QStringLiteral("tick:%1").arg(Action.Target);
    case TActionKind::Toggle:
        return QStringLiteral("toggle:A%1.%2")
            .arg(Action.Target / ListItems)
            .arg(Action.Target % ListItems);
    case TActionKind::Frame:
        return QStringLiteral("frame:%1=%2").arg(Action.Target).arg(Action.Value);
    case TActionKind::Close:
        return QStringLiteral("close");
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
    // take it from the next byte. Closing costs a whole new window, and fuzzers favour 255, so it
    // takes two of them.
    TMachineActions Actions;
    size_t At = 0;
    const auto Next = [&] { return At < Bytes.size() ? int{Bytes[At++]} : 0; };
    while (At < Bytes.size()) {
        const int Op = Next();
        if (Op == 255 && At < Bytes.size() && Bytes[At] == 255) {
            ++At;
            Actions.push_back({TActionKind::Close, 0, 0});
            continue;
        }
        switch (Op % 16) {
        case 0:
        case 1:
        case 2:
            Actions.push_back({TActionKind::Coin, 1 + Next() % TSlotMachine::TokenImages, 0});
            break;
        case 3:
            Actions.push_back({TActionKind::BadCoin, 0, 0});
            break;
        case 4:
        case 5:
            Actions.push_back({TActionKind::Play, 0, 0});
            break;
        case 6:
            Actions.push_back({TActionKind::Return, 0, 0});
            break;
        case 7:
            Actions.push_back({TActionKind::Reset, 0, 0});
            break;
        case 12:
            Actions.push_back({TActionKind::Toggle, Next() % Toggles, 0});
            break;
        case 13:
        case 14: {
            const int Argument = Next() % (Barrels * BarrelFrames);
            Actions.push_back(
                {TActionKind::Frame, 1 + Argument / BarrelFrames, Argument % BarrelFrames});
            break;
        }
        default:
            Actions.push_back({TActionKind::Tick, Next() % Timers, 0});
        }
    }
    return Actions;
}

// --- Invariants -------------------------------------------------------------------------------

QString CheckInvariants(const TSlotMachine& M, qsizetype& ProtocolMark) {
    if (SlotMachine != &M)
        return QStringLiteral("the global SlotMachine is not this window");
    const std::array<const TAutomaton*, 3> Automata = {M.FAutomatonSlotMachine.get(),
                                                       M.FAutomatonMoneyTray.get(),
                                                       M.FAutomatonBarrelsEngine.get()};
    const std::array<int, 3> StateCounts = {A0State::StateCount, A1State::StateCount,
                                            A2State::StateCount};
    for (size_t A = 0; A < Automata.size(); ++A) {
        if (Automata[A]->FBusy)
            return QStringLiteral("A%1 is left busy").arg(A);
        if (Automata[A]->FState < 0 || Automata[A]->FState >= StateCounts[A])
            return QStringLiteral("A%1 in unknown state %2").arg(A).arg(Automata[A]->FState);
    }
    const int S0 = Automata[0]->FState;
    const int S1 = Automata[1]->FState;
    const int S2 = Automata[2]->FState;

    if (M.FBank < 0 || M.FUserTokens < 0 || M.FStake < 0 || M.FJackPot < 0)
        return QStringLiteral("negative account: bank %1, player %2, stake %3, win %4")
            .arg(M.FBank)
            .arg(M.FUserTokens)
            .arg(M.FStake)
            .arg(M.FJackPot);
    // The stake is in the bank from the start of a game until the next Waiting clears it.
    const bool StakeInBank = S0 == A0State::Game || S0 == A0State::Paying ||
                             (S0 == A0State::Error && S1 == A1State::Empty);
    const int Total = M.FBank + M.FUserTokens + (StakeInBank ? 0 : M.FStake);
    if (Total != 100)
        return QStringLiteral("tokens: bank %1 + player %2 + stake %3%4 = %5 in A0 state %6")
            .arg(M.FBank)
            .arg(M.FUserTokens)
            .arg(M.FStake)
            .arg(StakeInBank ? QStringLiteral(" (in the bank)") : QString())
            .arg(Total)
            .arg(S0);
    if ((S0 == A0State::Waiting || S0 == A0State::Game || S0 == A0State::Paying) &&
        S1 != A1State::Empty)
        return QStringLiteral("A1 in state %1 with A0 in state %2").arg(S1).arg(S0);
    if (S0 == A0State::Accepting && S1 != A1State::Accepted)
        return QStringLiteral("A1 in state %1 with A0 in Accepting").arg(S1);
    if ((S2 != A2State::Stopped) != (S0 == A0State::Game))
        return QStringLiteral("A2 in state %1 with A0 in state %2").arg(S2).arg(S0);
    const bool Open = S0 == A0State::Waiting || S0 == A0State::Accepting;
    if (M.FTrayClosed == Open)
        return QStringLiteral("slot %1 in A0 state %2")
            .arg(M.FTrayClosed ? QStringLiteral("closed") : QStringLiteral("open"))
            .arg(S0);
    if ((M.Shape1->BrushStyle() == TBrushStyle::bsSolid) != Open)
        return QStringLiteral("slot indicator shows %1 in A0 state %2")
            .arg(Open ? QStringLiteral("closed") : QStringLiteral("open"))
            .arg(S0);
    const auto All = TimersOf(M);
    for (size_t Barrel = 0; Barrel < 3; ++Barrel)
        if (Running(All[Barrel + 3]) && !Running(All[Barrel]))
            return QStringLiteral("stop timer of barrel %1 runs while the barrel is at rest")
                .arg(Barrel + 1);
    // Paying without its timer would wait forever: neither return nor reset leave Paying.
    if (Running(M.JackTimer) != (S0 == A0State::Paying))
        return QStringLiteral("pay-out timer %1 in A0 state %2")
            .arg(Running(M.JackTimer) ? QStringLiteral("runs") : QStringLiteral("stopped"))
            .arg(S0);
    const QString Pattern = BarrelTimers(M);
    const QString Expected = QLatin1String(BarrelTimersIn[static_cast<size_t>(S2)]);
    for (qsizetype Timer = 0; Timer < Pattern.size(); ++Timer)
        if (Expected[Timer] != u'?' && Expected[Timer] != Pattern[Timer])
            return QStringLiteral("barrel timers %1 (TimerSync1..3, TimerB1..3) in A2 state %2")
                .arg(Pattern)
                .arg(S2);
    for (int Barrel = 1; Barrel <= Barrels; ++Barrel) {
        const int Frame = BarrelOf(M, Barrel)->FrameIndex();
        if (!Running(All[static_cast<size_t>(Barrel - 1)]) &&
            Frame != SnapFrameOf(SymbolOfFrame(Frame)))
            return QStringLiteral("barrel %1 at rest between symbols, on frame %2")
                .arg(Barrel)
                .arg(Frame);
    }

    // While paying the field lags one tick behind the account, by design.
    const QString Shown = M.edUser->text();
    if (Shown != QString::number(M.FUserTokens) && S0 != A0State::Paying)
        return QStringLiteral("player's count shows %1 of %2").arg(Shown).arg(M.FUserTokens);
    const int ShownCount = Shown.toInt();
    for (int Coin = 1; Coin <= TSlotMachine::TokenImages; ++Coin)
        if (M.Image(Coin)->isHidden() == (Coin <= ShownCount))
            return QStringLiteral("coin %1 %2 while the count shows %3")
                .arg(Coin)
                .arg(Coin <= ShownCount ? QStringLiteral("hidden") : QStringLiteral("shown"))
                .arg(Shown);
    if (M.iBadCoin->isHidden() == M.FTokenGood)
        return QStringLiteral("counterfeit token %1 while the last token was %2")
            .arg(M.iBadCoin->isHidden() ? QStringLiteral("hidden") : QStringLiteral("shown"))
            .arg(M.FTokenGood ? QStringLiteral("good") : QStringLiteral("bad"));
    return CheckProtocol(*M.Log, ProtocolMark);
}

// --- The interpreter --------------------------------------------------------------------------

TActionInterpreter::TActionInterpreter() = default;

TActionInterpreter::~TActionInterpreter() = default;

TSlotMachine& TActionInterpreter::Machine() {
    if (!FMachine)
        Open();
    return *FMachine;
}

void TActionInterpreter::Open() {
    FMachine.reset();
    FTopLevels = QApplication::topLevelWidgets().size();
    FMachine = std::make_unique<TSlotMachine>();
    FProtocolMark = 0;
    // The stop delays only need to be non-zero; a fixed seed makes every replay the same anyway.
    RandSeed = 1;
}

QString TActionInterpreter::Close() {
    if (!FMachine)
        return {};
    FMachine.reset();
    if (SlotMachine != nullptr)
        return QStringLiteral("the global SlotMachine outlives its window");
    if (const qsizetype Left = QApplication::topLevelWidgets().size(); Left != FTopLevels)
        return QStringLiteral("%1 top-level widgets left behind").arg(Left - FTopLevels);
    return {};
}

QString TActionInterpreter::Reopen() {
    if (QString Broken = Close(); !Broken.isEmpty())
        return Broken;
    // Nothing of the old window may reach the new one.
    const TSlotMachine& M = Machine();
    const int States = M.FAutomatonSlotMachine->FState + M.FAutomatonMoneyTray->FState +
                       M.FAutomatonBarrelsEngine->FState;
    if (States != 0 || M.FBank != 50 || M.FUserTokens != 50 || M.FStake != 0 || M.FJackPot != 0 ||
        M.Log->LineCount() != 0)
        return QStringLiteral("a fresh window does not start from scratch");
    return Check();
}

bool TActionInterpreter::Possible(const TMachineAction& Action) {
    if (!ValidTarget(Action))
        return false;
    const TSlotMachine& M = Machine();
    switch (Action.Kind) {
    case TActionKind::Coin:
        return !M.Image(Action.Target)->isHidden();
    case TActionKind::BadCoin:
        return !M.iBadCoin->isHidden();
    case TActionKind::Tick:
        return Running(TimersOf(M)[static_cast<size_t>(Action.Target)]);
    case TActionKind::Frame:
        return Running(TimersOf(M)[static_cast<size_t>(Action.Target - 1)]);
    default:
        return true;
    }
}

QString TActionInterpreter::Check() {
    return CheckInvariants(Machine(), FProtocolMark);
}

QString TActionInterpreter::Apply(const TMachineAction& Action) {
    // What cannot happen changes nothing, so there is nothing new to check either.
    if (!Possible(Action))
        return {};
    TSlotMachine& M = Machine();
    try {
        switch (Action.Kind) {
        case TActionKind::Coin:
            M.Image1Click(M.Image(Action.Target));
            break;
        case TActionKind::BadCoin:
            M.iBadCoinClick(M.iBadCoin);
            break;
        case TActionKind::Play:
            M.iPlayClick(M.iPlay);
            break;
        case TActionKind::Return:
            M.iReturnClick(M.iReturn);
            break;
        case TActionKind::Reset:
            M.btnTechResetClick(M.btnTechReset);
            break;
        case TActionKind::Tick: {
            const auto Timer = static_cast<size_t>(Action.Target);
            (M.*TimerHandlers[Timer])(TimersOf(M)[Timer]);
            break;
        }
        case TActionKind::Toggle: {
            // A user's toggle stores the new tick first and then raises ClickCheck.
            const int List = Action.Target / ListItems;
            const int Item = Action.Target % ListItems;
            TCheckList* Checks = ListOf(M, List);
            Checks->SetChecked(Item, !Checks->Checked(Item));
            (M.*ListHandlers[static_cast<size_t>(List)])(Checks);
            break;
        }
        case TActionKind::Frame:
            BarrelOf(M, Action.Target)->SetFrameIndex(Action.Value);
            break;
        case TActionKind::Close:
            return Reopen();
        }
    } catch (const std::exception& Error) {
        return Describe(Error);
    }
    return Check();
}

TFailure TActionInterpreter::Run(std::span<const TMachineAction> Actions) {
    Open();
    for (size_t Step = 0; Step < Actions.size(); ++Step)
        if (QString Broken = Apply(Actions[Step]); !Broken.isEmpty())
            return {static_cast<int>(Step), Broken};
    if (QString Broken = Close(); !Broken.isEmpty())
        return {static_cast<int>(Actions.size()), QStringLiteral("closing: ") + Broken};
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
    // Any visible coin does the same, so the list reads better with the first one.
    for (TMachineAction& Action : Actions) {
        if (Action.Kind != TActionKind::Coin || Action.Target == 1)
            continue;
        const int Target = std::exchange(Action.Target, 1);
        if (!StillFails(Actions))
            Action.Target = Target;
    }
    return Actions;
}

TMachineActions ShrinkFailure(TMachineActions Actions) {
    TActionInterpreter Interpreter;
    const auto Fails = [&Interpreter](std::span<const TMachineAction> Candidate) {
        return Interpreter.Run(Candidate).What;
    };
    // What follows the failing step plays no part.
    if (const TFailure Failure = Interpreter.Run(Actions);
        Failure && static_cast<size_t>(Failure.Step) < Actions.size())
        Actions.resize(static_cast<size_t>(Failure.Step) + 1);
    return Shrink(std::move(Actions), Fails);
}
