#include "cli/Cli.h"

#include "cli/Odds.h"
#include "cli/Replay.h"
#include "cli/Streams.h"
#include "cli/Trace.h"
#include "diagram/Graphviz.h"
#include "sessions/Decimal.h"
#include "sessions/Explore.h"
#include "sessions/PlayerActions.h"
#include "sessions/Quoted.h"
#include "sessions/Script.h"
#include "sessions/Session.h"
#include "sessions/WayThere.h"
#include "slotmachine/Diagram.h"
#include "slotmachine/WindowFont.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <exception>
#include <optional>
#include <span>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

namespace {

const char* const Program = "slotmachine-cli";

// The general help around its two tables, the commands and the options.
const char* const GeneralHelpHead = R"(Использование: slotmachine-cli КОМАНДА [ПАРАМЕТРЫ]

Спутник игрового автомата для командной строки: машина та же, что в окне,
без окна и в виртуальном времени.

Команды:
)";

const char* const GeneralHelpTail = R"(
Коды выхода: 0 — всё в порядке; 1 — explore нашёл нарушение;
2 — неверный параметр, файл или строка сценария, сценарий не прочесть;
3 — окно не приняло бы действие сценария; 4 — машина выбросила исключение
или Graphviz не смог нарисовать диаграмму; 5 — не удалось записать вывод
(диск заполнен, поток или канал закрыт); 6 — path: цель недостижима.
Подробнее: man slotmachine-cli
)";

const char* const ReplayHelpHead = R"(Использование: slotmachine-cli replay [ПАРАМЕТРЫ] [ФАЙЛ|-]

Проигрывает сценарий на машине без окна в виртуальном времени и выводит
протокол точно так, как его показывает окно: строка времени, сообщение,
пустая строка. Без файла или с «-» сценарий читается со стандартного ввода.

Сценарий: одна команда в строке, слова через пробел, «#» начинает
комментарий, пустые строки пропускаются.
  seed N         зерно генератора (по умолчанию 0), только до первого действия
  start ВРЕМЯ    часы окна при запуске, местное время ГГГГ-ММ-ДДTЧЧ:ММ:СС[.ммм]
                 (по умолчанию 2000-01-01T00:00:00), только до первого действия;
                 отметка сообщения — это время плюс прошедшие миллисекунды
)";

const char* const ReplayHelpTail = R"(  log A0|A1|A2 start|change|finish|input|output on|off
                 галочка в списке протокола автомата
  wait MS        время идёт MS миллисекунд; срабатывают все таймеры в срок
  settle         время идёт, пока взведён таймер остановки или выдачи
  show           строка того, что показывает окно
  break ЦЕЛЬ [if УСЛОВИЕ]
                 точка остановки, действует с начала сеанса, где бы ни стояла;
                 ЦЕЛЬ: A1 state 2 (автомат вошёл в состояние из другого),
                 A0 event e5 (автомат получил событие, какой бы переход ни взял),
                 A0 row 2 e5 [#N] (взят переход из состояния 2 по e5; #N — какой
                 по счёту из переходов с условиями); УСЛОВИЕ: сравнения bank,
                 stake, win, player (счета машины, не табло), A0, A1, A2
                 (состояния) с числом через =, !=, <, <=, >, >=, соединённые and;
                 после каждого шага, который её задел, выводятся
                 «=== break ЦЕЛЬ...» и строка show

Параметры:
  --start ГГГГ-ММ-ДДTЧЧ:ММ:СС[.ммм]
                                часы при запуске вместо строки start сценария
  --locale ИМЯ                  локаль отметок времени (по умолчанию системная):
                                имя вида ru_RU, ru_RU.UTF-8, C.UTF-8
  --coverage                    после протокола (не вместо него) — покрытие:
                                сколько раз взят каждый переход таблиц
                                автоматов и сколько раз автомат вошёл в каждое
                                состояние, доли взятых из достижимых; что не
                                достижимо ни в одном сеансе (по обходу, как
                                в explore, — несколько секунд), отмечено и в
                                доли не входит
  --stop-at-break               закончить проигрыш на первой точке остановки:
                                после ввода, который её задел, и строк
                                «=== break»
  -h, --help                    эта справка

Сценарий сначала проверяется целиком: при ошибке ничего не выводится, строка
и столбец называются в stderr, код выхода 2; тот же код, если сценарий не
прочесть. Действие, которое окно не приняло бы (монета, когда их нет),
останавливает проигрыш после уже выведенного протокола, код выхода 3. Если
вывод не записать (диск заполнен, канал закрыт), проигрыш сразу
прекращается, код выхода 5.
)";

// The replay's help, the player's actions read from their table.
QString ReplayHelp() {
    QString Help = QString::fromUtf8(ReplayHelpHead);
    for (const TPlayerActionRow& Row : PlayerActionRows)
        Help += QStringLiteral("  %1 %2\n")
                    .arg(QString::fromLatin1(Row.Script.data(), qsizetype(Row.Script.size()))
                             .leftJustified(14),
                         (Row.Does.isEmpty() ? Row.Words : Row.Does).toString());
    return Help + QString::fromUtf8(ReplayHelpTail);
}

const char* const ExploreHelp = R"(Использование: slotmachine-cli explore [--coverage]

Обходит все состояния трёх автоматов и счетов, достижимые от запуска, на коде
самой машины: каждое действие игрока, срабатывание любого взведённого
таймера остановки или выдачи в любом порядке, остановку барабана на любой
цифре. После каждого шага проверяет инварианты (жетоны сохраняются, A0 и A1
согласны, таймеры взведены ровно тогда, когда велят состояния, нет
сообщений о повторном входе и неизвестном состоянии) и что из каждого
состояния машина может вернуться в ожидание с открытым приёмником.

Выводит число состояний и переходов, что состояние не различает, встреченные
тройки (A0, A1, A2); при нарушении — кратчайший путь к нему и, где реальное
время это позволяет, сценарий для replay. Время обхода — в stderr. Код
выхода 0, если всё выполняется, иначе 1.

  --coverage   ещё и переходы таблиц, которых не берёт ни один шаг из
               достижимого состояния, и состояния, в которые не попасть
  -h, --help   эта справка
)";

const char* const OddsHelp = R"(Использование: slotmachine-cli odds [ПАРАМЕТРЫ]

1. Точно: шанс каждой цифры на каждом барабане при остановке на случайном
   кадре из 60, шанс каждого правила выигрыша и ожидаемый возврат за игру
   как доля ставки для ставок 1–10 и 50.
2. Измерено: игры в виртуальном времени с настоящими сроками (случайные
   задержки остановки, три периода вращения, генератор с заданным зерном):
   число игр по каждому правилу, возврат и, от 100 игр, его 95 % интервал.
   Время счёта — в stderr.

Параметры:
  --games N    число игр (по умолчанию 100000, от 1 до 100000000)
  --stake S    ставка в измеренных играх (по умолчанию 1, от 1 до 50)
  --seed N     зерно генератора (по умолчанию 0)
  -h, --help   эта справка
)";

const char* const DiagramHelp =
    R"(Использование: slotmachine-cli diagram [--format dot|svg] [A0|A1|A2|all]

Диаграммы состояний автоматов, построенные по тем же таблицам, по которым
работает машина: текст DOT или SVG, который рисует Graphviz.

  --format dot|svg  формат вывода (по умолчанию dot)
  A0|A1|A2|all      какой автомат (по умолчанию все три)

Если Graphviz не смог нарисовать диаграмму, код выхода 4.
)";

// 0, or the errno of a failed write.
int Write(std::ostream& Stream, const QString& Text) {
    const QByteArray Bytes = Text.toUtf8();
    return WriteBytes(Stream, Bytes.constData(), static_cast<size_t>(Bytes.size()));
}

// The command's exit code, unless its output could not be written.
int Written(std::ostream& Err, int WriteError, int Code) {
    if (WriteError == 0)
        return Code;
    Write(Err, QStringLiteral("%1: не удаётся записать стандартный вывод: %2\n")
                   .arg(QLatin1String(Program), SystemReason(WriteError)));
    return ExitOutput;
}

// A command's mistake points to that command's help; others to the general help.
int Usage(std::ostream& Err, const QString& Problem, const char* Command = nullptr) {
    const QString Help =
        Command ? QStringLiteral("%1 %2").arg(QLatin1String(Program), QLatin1String(Command))
                : QLatin1String(Program);
    Write(
        Err,
        QStringLiteral("%1: %2\nСправка: %3 --help\n").arg(QLatin1String(Program), Problem, Help));
    return ExitUsage;
}

QString Seconds(double Value) {
    return QLocale(QLocale::Russian, QLocale::Russia).toString(Value, 'f', 2);
}

bool IsHelp(const QString& Argument) {
    return Argument == u"-h" || Argument == u"--help";
}

// The one parser of every command's options: "--name value" or "--name=value", each at most
// once; flags "--name" with no value; -h or --help; the words that are no option, all of them
// after "--".
class TOptions {
public:
    TOptions(const QStringList& Arguments, std::span<const char* const> Valued,
             std::span<const char* const> Flags = {})
        : FArguments(Arguments) {
        for (const char* Name : Valued)
            FValued << QLatin1String(Name);
        for (const char* Name : Flags)
            FFlagNames << QLatin1String(Name);
    }

    // An empty string when every option is known and has its value.
    QString Read() {
        for (qsizetype Index = 0; Index < FArguments.size(); ++Index) {
            const QString& Argument = FArguments[Index];
            if (IsHelp(Argument)) {
                FHelp = true;
                continue;
            }
            if (!Argument.startsWith(u"--") || Argument == u"--") {
                if (Argument == u"--" && Index + 1 < FArguments.size())
                    FWords << FArguments.mid(Index + 1);
                else if (Argument != u"--")
                    FWords << Argument;
                if (Argument == u"--")
                    break;
                continue;
            }
            const qsizetype Equals = Argument.indexOf(u'=');
            const QString Name = Equals < 0 ? Argument : Argument.left(Equals);
            if (FFlagNames.contains(Name)) {
                if (Equals >= 0)
                    return QStringLiteral("параметр %1 не берёт значения").arg(Quoted(Name));
                if (FFlags.contains(Name))
                    return QStringLiteral("параметр %1 задан дважды").arg(Quoted(Name));
                FFlags << Name;
                continue;
            }
            if (!FValued.contains(Name))
                return QStringLiteral("неизвестный параметр %1").arg(Quoted(Name));
            if (FValues.contains(Name))
                return QStringLiteral("параметр %1 задан дважды").arg(Quoted(Name));
            if (Equals >= 0)
                FValues[Name] = Argument.mid(Equals + 1);
            else if (Index + 1 < FArguments.size())
                FValues[Name] = FArguments[++Index];
            else
                return QStringLiteral("у параметра %1 нет значения").arg(Quoted(Name));
        }
        return {};
    }

    bool Help() const { return FHelp; }
    bool Flag(const QString& Name) const { return FFlags.contains(Name); }
    const QStringList& Words() const { return FWords; }
    std::optional<QString> Value(const QString& Name) const {
        const auto Found = FValues.find(Name);
        if (Found == FValues.end())
            return std::nullopt;
        return *Found;
    }

private:
    QStringList FArguments;
    QStringList FValued;
    QStringList FFlagNames;
    QStringList FFlags;
    bool FHelp = false;
    QStringList FWords;
    QHash<QString, QString> FValues;
};

// A locale named as the environment names one: language[_territory][.codeset][@modifier]. The
// stamp is Qt's, so Qt must know the language and the territory; a name the system itself has
// is taken as well, formatted as Qt formats its language.
std::optional<QLocale> ParseLocale(const QString& Name) {
    static const QRegularExpression Shape(QStringLiteral(
        R"(^(([A-Za-z]{1,8})(?:_([A-Za-z0-9]{2,3}))?)(?:\.[A-Za-z0-9_-]+)?(?:@[A-Za-z0-9_-]+)?$)"));
    const auto Match = Shape.match(Name);
    if (!Match.hasMatch())
        return std::nullopt;
    const QString Base = Match.captured(1);
    if (Base == u"C" || Base == u"POSIX")
        return QLocale::c();
    const QLocale Locale(Base);
    const bool QtKnows = Locale.language() != QLocale::C &&
                         QLocale::languageToCode(Locale.language()) == Match.captured(2) &&
                         (!Match.hasCaptured(3) ||
                          QLocale::territoryToCode(Locale.territory()) == Match.captured(3));
    if (QtKnows)
        return Locale;
    if (locale_t System = newlocale(LC_ALL_MASK, BytesOfText(Name).constData(), nullptr)) {
        freelocale(System);
        return Locale;
    }
    return std::nullopt;
}

// Feeds the script to the reader as it is read; stops at its first bad line. An empty string,
// or why the script could not be read.
QString ReadScript(const QString& Path, std::istream& In, TScriptReader& Reader) {
    constexpr std::streamsize Piece = 1 << 16;
    std::vector<char> Buffer(Piece);
    if (Path == u"-") {
        int Error = 0;
        for (std::streamsize Count; (Count = ReadBytes(In, Buffer.data(), Piece, Error)) > 0;)
            if (!Reader.Feed(QByteArrayView(Buffer.data(), Count)))
                return {};
        return Error == 0 ? QString()
                          : QStringLiteral("не удаётся прочитать стандартный ввод: %1")
                                .arg(SystemReason(Error));
    }
    return ReadScriptFile(Path, Reader);
}

// What a command's run function gets: its options, read and known, and the streams.
struct TCall {
    const TOptions& Options;
    std::istream& In;
    std::ostream& Out;
    std::ostream& Err;
};

// The counts after the protocol, the rows no session can take marked from the explorer's search
// of the start-up machine's space.
QString ReplayCoverageText(const TCoverageCounts& Counts) {
    const TMachine StartUp;
    // Only a row or state never taken can be unreachable: a session that took them all needs no
    // search.
    bool Untaken = false;
    for (const TAutomatonCoverage& Each : Counts)
        Untaken = Untaken || std::count(Each.Rows.begin(), Each.Rows.end(), 0) > 0 ||
                  std::count(Each.States.begin(), Each.States.end(), 0) > 0;
    QString Text = QStringLiteral("Покрытие сеанса: сколько раз взят каждый переход и сколько раз "
                                  "автомат вошёл\nв каждое состояние (состояние при запуске — "
                                  "один вход):\n");
    TReachable Reachable;
    if (Untaken) {
        const TExploreReport Explored = Explore(StartUp);
        // A search cut short by a violation has not seen every reachable row.
        if (Explored.Violation)
            Text += QStringLiteral("Недостижимые не отмечены: explore нашёл нарушение.\n");
        else
            Reachable = ReachableOf(Explored);
    }
    return Text + CoverageText(StartUp, Counts, Reachable);
}

// Why a replay or a trace stopped, on the error stream: a failed write, or the script's line.
void ReportOutcome(std::ostream& Err, const QString& Path, const TReplayOutcome& Outcome) {
    if (Outcome.ExitCode == ExitOutput)
        Write(
            Err,
            QStringLiteral("%1: %2%3\n")
                .arg(QLatin1String(Program), Outcome.Error,
                     Outcome.Line == 0
                         ? QString()
                         : QStringLiteral("; проигрыш прекращён на строке %1").arg(Outcome.Line)));
    else if (Outcome.ExitCode != ExitOk)
        Write(
            Err,
            QStringLiteral("%1:%2: %3\n").arg(Escaped(Path)).arg(Outcome.Line).arg(Outcome.Error));
}

int RunReplay(const TCall& Call) {
    const TOptions& Options = Call.Options;
    std::ostream& Err = Call.Err;
    if (Options.Words().size() > 1)
        return Usage(
            Err,
            QStringLiteral("replay проигрывает один сценарий, а не %1").arg(Options.Words().size()),
            "replay");
    TReplayOptions Replaying;
    if (const auto Start = Options.Value(QStringLiteral("--start"))) {
        QString Problem;
        int At = 0;
        const auto Parsed = ParseStartTime(*Start, Problem, At);
        if (!Parsed)
            return Usage(Err, Problem, "replay");
        Replaying.Start = *Parsed;
    }
    if (const auto Name = Options.Value(QStringLiteral("--locale"))) {
        const auto Parsed = ParseLocale(*Name);
        if (!Parsed)
            return Usage(Err,
                         QStringLiteral("неизвестная локаль %1: ни Qt, ни система её не знают")
                             .arg(Quoted(*Name)),
                         "replay");
        Replaying.Locale = *Parsed;
    }

    const QString Path = Options.Words().value(0, QStringLiteral("-"));
    TScriptReader Reader;
    if (QString Problem = ReadScript(Path, Call.In, Reader); !Problem.isEmpty())
        return Usage(Err, Problem, "replay");
    const TParsedScript Parsed = Reader.Finish();
    if (Parsed.Error) {
        Write(Err, ScriptErrorText(Path, *Parsed.Error) + u'\n');
        return ExitUsage;
    }
    Replaying.Coverage = Options.Flag(QStringLiteral("--coverage"));
    Replaying.StopAtBreak = Options.Flag(QStringLiteral("--stop-at-break"));
    const TReplayOutcome Outcome = Replay(Parsed.Script, Replaying, Call.Out);
    int Code = Outcome.ExitCode;
    if (Outcome.Coverage && Outcome.ExitCode != ExitOutput)
        Code = Written(Err, Write(Call.Out, ReplayCoverageText(*Outcome.Coverage)), Code);
    ReportOutcome(Err, Path, Outcome);
    return Code;
}

int RunExplore(const TCall& Call) {
    if (!Call.Options.Words().isEmpty())
        return Usage(Call.Err,
                     QStringLiteral("лишнее слово %1: explore не берёт файлов")
                         .arg(Quoted(Call.Options.Words().first())),
                     "explore");
    const TMachine StartUp;
    const TExploreReport Report = Explore(StartUp);
    QString Text = ReportText(Report, StartUp);
    if (Call.Options.Flag(QStringLiteral("--coverage")))
        Text += UnreachableText(Report, StartUp);
    const int Code =
        Written(Call.Err, Write(Call.Out, Text), Report.Violation ? ExitViolation : ExitOk);
    // The run time differs from run to run; the report does not.
    Write(Call.Err, QStringLiteral("Время обхода: %1 с\n").arg(Seconds(Report.Seconds)));
    return Code;
}

int RunOdds(const TCall& Call) {
    const TOptions& Options = Call.Options;
    if (!Options.Words().isEmpty())
        return Usage(Call.Err,
                     QStringLiteral("лишнее слово %1").arg(Quoted(Options.Words().first())),
                     "odds");
    struct TNumberOption {
        const char* Name;
        int64_t Lowest, Highest, Value;
    };
    TNumberOption Numbers[] = {
        {"--games", 1, 100'000'000, 100'000}, {"--stake", 1, 50, 1}, {"--seed", 0, UINT32_MAX, 0}};
    for (TNumberOption& Each : Numbers) {
        const auto Text = Options.Value(QLatin1String(Each.Name));
        if (!Text)
            continue;
        const auto Value = ParseDecimal(*Text, Each.Lowest, Each.Highest);
        if (!Value)
            return Usage(Call.Err,
                         QStringLiteral("%1 для %2: ожидается целое от %3 до %4")
                             .arg(Quoted(*Text), QLatin1String(Each.Name))
                             .arg(Each.Lowest)
                             .arg(Each.Highest),
                         "odds");
        Each.Value = *Value;
    }
    const auto Stake = static_cast<int32_t>(Numbers[1].Value);
    std::vector<int32_t> Stakes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 50};
    if (std::find(Stakes.begin(), Stakes.end(), Stake) == Stakes.end())
        Stakes.insert(std::upper_bound(Stakes.begin(), Stakes.end(), Stake), Stake);
    const TExactOdds Exact = ExactOdds(Stakes);
    const TMeasuredOdds Measured = MeasureOdds(TMachine(), Exact, Numbers[0].Value, Stake,
                                               static_cast<uint32_t>(Numbers[2].Value));
    const int Code = Written(Call.Err, Write(Call.Out, OddsText(Exact, Measured)), ExitOk);
    Write(Call.Err, QStringLiteral("Время счёта: %1 с\n").arg(Seconds(Measured.Seconds)));
    return Code;
}

int RunDiagram(const TCall& Call) {
    const TOptions& Options = Call.Options;
    if (Options.Words().size() > 1)
        return Usage(Call.Err, QStringLiteral("лишнее слово %1").arg(Quoted(Options.Words()[1])),
                     "diagram");
    const QString Format =
        Options.Value(QStringLiteral("--format")).value_or(QStringLiteral("dot"));
    if (Format != u"dot" && Format != u"svg")
        return Usage(Call.Err,
                     QStringLiteral("неизвестный формат %1: есть dot и svg").arg(Quoted(Format)),
                     "diagram");
    const QString Which = Options.Words().value(0, QStringLiteral("all"));
    const QStringList Names = {"A0", "A1", "A2"};
    std::vector<TDiagram> Diagrams;
    const TMachine Machine;
    for (int32_t Automaton = A0; Automaton <= A2; ++Automaton)
        if (Which.compare(u"all", Qt::CaseInsensitive) == 0 ||
            Which.compare(Names[Automaton], Qt::CaseInsensitive) == 0)
            Diagrams.push_back(DiagramOf(Machine, Automaton));
    if (Diagrams.empty())
        return Usage(Call.Err,
                     QStringLiteral("нет автомата %1: есть A0, A1, A2 и all").arg(Quoted(Which)),
                     "diagram");
    std::string Text = DotText(Diagrams, {WindowFontFamily, WindowFontPixels});
    try {
        // Only SVG needs Graphviz's context and its start-up cost.
        if (Format == u"svg")
            Text = TGraphviz().Svg(Text);
    } catch (const std::exception& Error) {
        Write(Call.Err, QStringLiteral("%1: Graphviz не смог нарисовать диаграмму: %2\n")
                            .arg(QLatin1String(Program), QString::fromUtf8(Error.what())));
        return ExitFault;
    }
    return Written(Call.Err, WriteBytes(Call.Out, Text.data(), Text.size()), ExitOk);
}

const char* const TraceHelp =
    R"(Использование: slotmachine-cli trace [ПАРАМЕТРЫ] [ФАЙЛ|-]

Проигрывает сценарий, как replay, и вместо протокола выводит шаги автоматов:
каждое событие, полученное автоматом, в порядке получения — кто его послал
(игрок, таймер или автомат), состояние до и после, строка таблицы, глубина
вложенности, сообщения протокола этого шага.

  --format jsonl  объект JSON в строке на каждый шаг (по умолчанию)
  --format msc    диаграмма последовательности для mscgen
  --format vcd    Value Change Dump по миллисекундам машины для GTKWave:
                  состояния автоматов, банк, ставка, выигрыш, жетоны игрока,
                  щель и таймеры
  --format svg    диаграмма последовательности в SVG, как её рисует окно
                  «Автоматы»
  --start, --locale
                  как у replay: часы при запуске и локаль отметок времени
  -h, --help      эта справка

Сценарий и коды выхода те же, что у replay; трасса, которую не записать, —
код выхода 5.
)";

// The replay's --start and --locale into Replaying; an exit code when one is wrong.
std::optional<int> ReadReplayOptions(const TCall& Call, TReplayOptions& Replaying,
                                     const char* Command) {
    if (const auto Start = Call.Options.Value(QStringLiteral("--start"))) {
        QString Problem;
        int At = 0;
        const auto Parsed = ParseStartTime(*Start, Problem, At);
        if (!Parsed)
            return Usage(Call.Err, Problem, Command);
        Replaying.Start = *Parsed;
    }
    if (const auto Name = Call.Options.Value(QStringLiteral("--locale"))) {
        const auto Parsed = ParseLocale(*Name);
        if (!Parsed)
            return Usage(Call.Err,
                         QStringLiteral("неизвестная локаль %1: ни Qt, ни система её не знают")
                             .arg(Quoted(*Name)),
                         Command);
        Replaying.Locale = *Parsed;
    }
    return std::nullopt;
}

int RunTrace(const TCall& Call) {
    const TOptions& Options = Call.Options;
    std::ostream& Err = Call.Err;
    if (Options.Words().size() > 1)
        return Usage(
            Err,
            QStringLiteral("trace проигрывает один сценарий, а не %1").arg(Options.Words().size()),
            "trace");
    const QString FormatName =
        Options.Value(QStringLiteral("--format")).value_or(QStringLiteral("jsonl"));
    const auto Format = TraceFormatNamed(FormatName);
    if (!Format)
        return Usage(Err,
                     QStringLiteral("неизвестный формат трассы %1: есть %2")
                         .arg(Quoted(FormatName), TraceFormatNames()),
                     "trace");
    TReplayOptions Replaying;
    if (const auto Code = ReadReplayOptions(Call, Replaying, "trace"))
        return *Code;

    const QString Path = Options.Words().value(0, QStringLiteral("-"));
    TScriptReader Reader;
    if (QString Problem = ReadScript(Path, Call.In, Reader); !Problem.isEmpty())
        return Usage(Err, Problem, "trace");
    const TParsedScript Parsed = Reader.Finish();
    if (Parsed.Error) {
        Write(Err, ScriptErrorText(Path, *Parsed.Error) + u'\n');
        return ExitUsage;
    }
    const TReplayOutcome Outcome = Trace(Parsed.Script, Replaying, *Format, Call.Out);
    ReportOutcome(Err, Path, Outcome);
    return Outcome.ExitCode;
}

// The commands: the name, what follows it and its line in the general help (a line break goes
// on under the line), the text of `help NAME`, the options that take a value, the run.
struct TCliCommand {
    const char* Name;
    const char* Arguments = "";
    const char* Summary;
    QString (*Help)();
    std::span<const char* const> Valued = {};
    int (*Run)(const TCall&);
    std::span<const char* const> Flags = {}; // the options that take none
};

const char* const PathHelp = R"(Использование: slotmachine-cli path ЦЕЛЬ [--from СЕАНС|-]

Находит кратчайший сеанс (меньше всего ходов игрока, затем меньше всего
времени машины), который входит в состояние или берёт переход таблицы,
и выводит его сценарием для replay с первой строкой-комментарием о том,
куда он ведёт. Поиск идёт по всем состояниям, которые обходит explore.

ЦЕЛЬ называется так же, как в отчёте о покрытии:
  A1 state 2         состояние 2 автомата A1
  A0 row 2 e5        переход автомата A0 из состояния 2 по событию e5
  A0 row 2 e5 #2     второй по порядку таблицы из переходов с условиями,
                     у которых то же состояние и то же событие
Регистр букв не важен; слова можно передать одним параметром в кавычках
или отдельными параметрами.

Параметры:
  --from СЕАНС|-     путь не от запуска, а от конца сеанса (сценария replay;
                     «-» — со стандартного ввода): выводится сценарий сеанса
                     с дописанным путём, так что его проигрыш берёт цель

Коды выхода: 2 — неизвестная цель или сеанс не прочесть; 3 и 4 — как у
replay для сеанса; 6 — ни один сеанс не берёт цель.
)";

// The session's script text, read whole: it is printed again with the way appended.
QString ReadSessionText(const QString& Path, std::istream& In, QByteArray& Bytes) {
    if (Path == u"-") {
        std::vector<char> Buffer(1 << 16);
        int Error = 0;
        for (std::streamsize Count;
             (Count = ReadBytes(In, Buffer.data(), static_cast<std::streamsize>(Buffer.size()),
                                Error)) > 0;)
            Bytes.append(Buffer.data(), Count);
        return Error == 0 ? QString()
                          : QStringLiteral("не удаётся прочитать стандартный ввод: %1")
                                .arg(SystemReason(Error));
    }
    TScriptReader Reader;
    if (QString Problem = ReadScriptFile(Path, Reader); !Problem.isEmpty())
        return Problem;
    QFile File(QString::fromLocal8Bit(BytesOfText(Path)));
    if (!File.open(QIODevice::ReadOnly))
        return QStringLiteral("не удаётся прочитать %1").arg(Quoted(Path));
    Bytes = File.readAll();
    return {};
}

int RunPath(const TCall& Call) {
    std::ostream& Err = Call.Err;
    const QString Words = Call.Options.Words().join(u' ').simplified();
    if (Words.isEmpty())
        return Usage(Err, QStringLiteral("не задана цель"), "path");
    const TMachine StartUp;
    const auto Target = ParseTarget(StartUp, Words);
    if (!Target)
        return Usage(Err,
                     QStringLiteral("неизвестная цель %1: цель пишется «A1 state 2» (состояние), "
                                    "«A0 row 2 e5» (переход из состояния 2 по событию e5) или "
                                    "«A0 row 2 e5 #2» (второй из переходов с условиями из того "
                                    "же состояния по тому же событию)")
                         .arg(Quoted(Words)),
                     "path");
    const auto From = Call.Options.Value(QStringLiteral("--from"));
    QByteArray Bytes;
    std::optional<TWay> Way;
    if (From) {
        if (QString Problem = ReadSessionText(*From, Call.In, Bytes); !Problem.isEmpty())
            return Usage(Err, Problem, "path");
        const TParsedScript Parsed = ParseScript(Bytes);
        if (Parsed.Error) {
            Write(Err, ScriptErrorText(*From, *Parsed.Error) + u'\n');
            return ExitUsage;
        }
        TSession Session(StartUp, Parsed.Script.Seed);
        for (const TCommand& Command : Parsed.Script.Commands) {
            try {
                if (QString Refused = Session.Run(Command); !Refused.isEmpty()) {
                    Write(Err, QStringLiteral("%1:%2: %3\n")
                                   .arg(Escaped(*From))
                                   .arg(Command.Line)
                                   .arg(Refused));
                    return ExitRefused;
                }
            } catch (const std::exception& Error) {
                Write(Err, QStringLiteral("%1:%2: машина выбросила исключение: %3\n")
                               .arg(Escaped(*From))
                               .arg(Command.Line)
                               .arg(QString::fromUtf8(Error.what())));
                return ExitFault;
            }
        }
        Session.Machine().SetSink(nullptr);
        Way = WayFrom(Session.Time(), *Target);
    } else {
        Way = WayFromStartUp(StartUp, *Target);
    }
    if (!Way) {
        Write(Err, QStringLiteral("%1: цель %2 недостижима: ни один сеанс %3 не берёт её\n")
                       .arg(QLatin1String(Program), TargetName(StartUp, *Target),
                            From ? QStringLiteral("от конца этого сеанса")
                                 : QStringLiteral("от запуска")));
        return ExitUnreachable;
    }
    QString Text;
    if (From) {
        Text = QString::fromUtf8(Bytes);
        if (!Text.isEmpty() && !Text.endsWith(u'\n'))
            Text += u'\n';
    }
    return Written(Err, Write(Call.Out, Text + Way->Text), ExitOk);
}

const char* const PathOptions[] = {"--from"};
const char* const ReplayOptions[] = {"--start", "--locale"};
const char* const CoverageFlag[] = {"--coverage"};
const char* const ReplayFlags[] = {"--coverage", "--stop-at-break"};
const char* const OddsOptions[] = {"--games", "--stake", "--seed"};
const char* const DiagramOptions[] = {"--format"};
const char* const TraceOptions[] = {"--format", "--start", "--locale"};

const TCliCommand Commands[] = {
    {.Name = "replay",
     .Arguments = "[ФАЙЛ|-]",
     .Summary = "проиграть сценарий сеанса и вывести протокол, как в окне",
     .Help = ReplayHelp,
     .Valued = ReplayOptions,
     .Run = RunReplay,
     .Flags = ReplayFlags},
    {.Name = "explore",
     .Summary = "обойти все состояния, достижимые от запуска, и проверить\n"
                "инварианты после каждого шага",
     .Help = [] { return QString::fromUtf8(ExploreHelp); },
     .Run = RunExplore,
     .Flags = CoverageFlag},
    {.Name = "odds",
     .Summary = "точные и измеренные шансы каждого выигрыша",
     .Help = [] { return QString::fromUtf8(OddsHelp); },
     .Valued = OddsOptions,
     .Run = RunOdds},
    {.Name = "diagram",
     .Summary = "диаграммы состояний автоматов (DOT или SVG)",
     .Help = [] { return QString::fromUtf8(DiagramHelp); },
     .Valued = DiagramOptions,
     .Run = RunDiagram},
    {.Name = "trace",
     .Arguments = "[ФАЙЛ|-]",
     .Summary = "проиграть сценарий и вывести шаги автоматов: jsonl, msc\n"
                "(mscgen), vcd (GTKWave) или svg",
     .Help = [] { return QString::fromUtf8(TraceHelp); },
     .Valued = TraceOptions,
     .Run = RunTrace},
    {.Name = "path",
     .Arguments = "ЦЕЛЬ",
     .Summary = "кратчайший сеанс, который входит в состояние или берёт\n"
                "переход, сценарием для replay",
     .Help = [] { return QString::fromUtf8(PathHelp); },
     .Valued = PathOptions,
     .Run = RunPath},
};

// `help`, answered before the commands are looked up, and the options of no command.
const char* const HelpUsage = "help [КОМАНДА]";
const char* const HelpSummary = "эта справка или справка по команде";
const char* const GeneralOptions[][2] = {{"-h, --help", "справка"}, {"--version", "версия"}};

// "  replay [ФАЙЛ|-]  проиграть ...": every summary starts in one column, its further lines too.
QString HelpRow(const QString& Usage, const char* Summary) {
    constexpr qsizetype Indent = 2;
    constexpr qsizetype Column = 19;
    const QString Margin(Column, u' ');
    return Margin.left(Indent) + Usage.leftJustified(Column - Indent - 1) + u' ' +
           QString::fromUtf8(Summary).replace(u'\n', u'\n' + Margin) + u'\n';
}

QString GeneralHelp() {
    QString Text = QString::fromUtf8(GeneralHelpHead);
    for (const TCliCommand& Command : Commands) {
        QString Usage = QLatin1String(Command.Name);
        if (*Command.Arguments)
            Usage += u' ' + QString::fromUtf8(Command.Arguments);
        Text += HelpRow(Usage, Command.Summary);
    }
    Text += HelpRow(QString::fromUtf8(HelpUsage), HelpSummary);
    Text += QStringLiteral("\nПараметры:\n");
    for (const auto& [Usage, Summary] : GeneralOptions)
        Text += HelpRow(QLatin1String(Usage), Summary);
    return Text + QString::fromUtf8(GeneralHelpTail);
}

// "replay, explore, odds и diagram"
QString CommandNames() {
    QStringList Names;
    for (const TCliCommand& Command : Commands)
        Names << QLatin1String(Command.Name);
    const QString Last = Names.takeLast();
    return Names.join(u", ") + QStringLiteral(" и ") + Last;
}

} // namespace

int RunCli(const QStringList& Arguments, std::istream& In, std::ostream& Out, std::ostream& Err) {
    if (Arguments.isEmpty()) {
        Write(Err, GeneralHelp());
        return ExitUsage;
    }
    QString Name = Arguments.first();
    QStringList Rest = Arguments.mid(1);
    // `help COMMAND` is `COMMAND --help`.
    if (Name == u"help" && Rest.size() > 1)
        return Usage(
            Err,
            QStringLiteral("лишнее слово %1: help называет одну команду").arg(Quoted(Rest[1])));
    if (Name == u"help" && !Rest.isEmpty()) {
        Name = Rest.first();
        Rest = {QStringLiteral("--help")};
    }
    if (IsHelp(Name) || Name == u"help")
        return Written(Err, Write(Out, GeneralHelp()), ExitOk);
    if (Name == u"--version")
        return Written(Err,
                       Write(Out, QStringLiteral("%1 %2\n").arg(
                                      QLatin1String(Program), QLatin1String(SLOTMACHINE_VERSION))),
                       ExitOk);
    const auto Command =
        std::find_if(std::begin(Commands), std::end(Commands),
                     [&Name](const TCliCommand& Each) { return Name == QLatin1String(Each.Name); });
    if (Command == std::end(Commands))
        return Usage(
            Err,
            QStringLiteral("неизвестная команда %1: есть %2").arg(Quoted(Name), CommandNames()));
    TOptions Options(Rest, Command->Valued, Command->Flags);
    if (QString Problem = Options.Read(); !Problem.isEmpty())
        return Usage(Err, Problem, Command->Name);
    if (Options.Help())
        return Written(Err, Write(Out, Command->Help()), ExitOk);
    return Command->Run({Options, In, Out, Err});
}

} // namespace sm
