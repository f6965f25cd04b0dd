#include "cli/Cli.h"

#include "cli/Explore.h"
#include "cli/Odds.h"
#include "cli/Replay.h"
#include "cli/Script.h"
#include "cli/Streams.h"
#include "diagram/DiagramCommand.h"
#include "slotmachine/Quoted.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char* const Program = "slotmachine-cli";

const char* const GeneralHelp = R"(Использование: slotmachine-cli КОМАНДА [ПАРАМЕТРЫ]

Спутник игрового автомата для командной строки: машина та же, что в окне,
без окна и в виртуальном времени.

Команды:
  replay [ФАЙЛ|-]  проиграть сценарий сеанса и вывести протокол, как в окне
  explore          обойти все состояния, достижимые от запуска, и проверить
                   инварианты после каждого шага
  odds             точные и измеренные шансы каждого выигрыша
  diagram          диаграммы состояний автоматов (DOT или SVG)
  help [КОМАНДА]   эта справка или справка по команде

Параметры:
  -h, --help       справка
  --version        версия

Коды выхода: 0 — всё в порядке; 1 — explore нашёл нарушение;
2 — неверный параметр, файл или строка сценария, сценарий не прочесть;
3 — окно не приняло бы действие сценария; 4 — машина выбросила исключение;
5 — не удалось записать вывод (диск заполнен, поток или канал закрыт).
Подробнее: man slotmachine-cli
)";

const char* const ReplayHelp = R"(Использование: slotmachine-cli replay [ПАРАМЕТРЫ] [ФАЙЛ|-]

Проигрывает сценарий на машине без окна в виртуальном времени и выводит
протокол точно так, как его показывает окно: строка времени, сообщение,
пустая строка. Без файла или с «-» сценарий читается со стандартного ввода.

Сценарий: одна команда в строке, слова через пробел, «#» начинает
комментарий, пустые строки пропускаются.
  seed N         зерно генератора (по умолчанию 0), только до первого действия
  coin           щелчок по верхней монете игрока
  bad            щелчок по фальшивому жетону
  play           «Игра»
  return         «Возврат»
  reset          «Тех. сброс»
  log A0|A1|A2 start|change|finish|input|output on|off
                 галочка в списке протокола автомата
  wait MS        время идёт MS миллисекунд; срабатывают все таймеры в срок
  settle         время идёт, пока взведён таймер остановки или выдачи
  show           строка того, что показывает окно

Параметры:
  --start ГГГГ-ММ-ДДTЧЧ:ММ:СС  часы при запуске (по умолчанию 2000-01-01T00:00:00)
  --locale ИМЯ                  локаль отметок времени (по умолчанию системная):
                                имя вида ru_RU, ru_RU.UTF-8, C.UTF-8
  -h, --help                    эта справка

Сценарий сначала проверяется целиком: при ошибке ничего не выводится, строка
и столбец называются в stderr, код выхода 2; тот же код, если сценарий не
прочесть. Действие, которое окно не приняло бы (монета, когда их нет),
останавливает проигрыш после уже выведенного протокола, код выхода 3. Если
вывод не записать (диск заполнен, канал закрыт), проигрыш сразу
прекращается, код выхода 5.
)";

const char* const ExploreHelp = R"(Использование: slotmachine-cli explore

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

int Usage(std::ostream& Err, const QString& Problem) {
    Write(Err, QStringLiteral("%1: %2\nСправка: %1 --help\n").arg(QLatin1String(Program), Problem));
    return ExitUsage;
}

QString Seconds(double Value) {
    return QLocale(QLocale::Russian, QLocale::Russia).toString(Value, 'f', 2);
}

bool IsHelp(const QString& Argument) {
    return Argument == u"-h" || Argument == u"--help";
}

// Options of a subcommand: "--name value" or "--name=value", and the words that are no option.
class TOptions {
public:
    TOptions(const QStringList& Arguments, const QStringList& Valued)
        : FArguments(Arguments), FValued(Valued) {}

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
    bool FHelp = false;
    QStringList FWords;
    QHash<QString, QString> FValues;
};

// The start-up moment, or why the text is none: of another form, a day the calendar does not
// have, a time of day that does not exist.
std::optional<QDateTime> ParseStart(const QString& Text, QString& Problem) {
    static const QRegularExpression Shape(
        QStringLiteral(R"(^((\d{4})-(\d{2})-(\d{2}))T((\d{2}):(\d{2}):(\d{2}))$)"));
    const auto Match = Shape.match(Text);
    if (!Match.hasMatch()) {
        Problem =
            QStringLiteral("%1 — не время запуска вида 2026-01-01T09:00:00").arg(Quoted(Text));
        return std::nullopt;
    }
    const auto Part = [&Match](int Index) { return Match.captured(Index).toInt(); };
    const QDate Date(Part(2), Part(3), Part(4));
    const QTime Time(Part(6), Part(7), Part(8));
    if (!Date.isValid())
        Problem = QStringLiteral("%1 — не время: дня %2 в календаре нет")
                      .arg(Quoted(Text), Match.captured(1));
    else if (!Time.isValid())
        Problem = QStringLiteral("%1 — не время: времени суток %2 нет (часы от 00 до 23, "
                                 "минуты и секунды от 00 до 59)")
                      .arg(Quoted(Text), Match.captured(5));
    if (!Problem.isEmpty())
        return std::nullopt;
    return QDateTime(Date, Time, QTimeZone::utc());
}

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

std::optional<int64_t> ParseNumber(const QString& Text, int64_t Lowest, int64_t Highest) {
    static const QRegularExpression Digits(QStringLiteral(R"(^\d{1,12}$)"));
    if (!Digits.match(Text).hasMatch())
        return std::nullopt;
    const int64_t Value = Text.toLongLong();
    if (Value < Lowest || Value > Highest)
        return std::nullopt;
    return Value;
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
    // The name's bytes as given: a name that is not UTF-8 opens all the same.
    const int File = ::open(BytesOfText(Path).constData(), O_RDONLY | O_CLOEXEC);
    if (File < 0)
        return QStringLiteral("не удаётся открыть %1: %2").arg(Quoted(Path), SystemReason(errno));
    struct stat Status {};
    QString Problem;
    if (::fstat(File, &Status) == 0 && S_ISDIR(Status.st_mode)) {
        Problem = QStringLiteral("%1 — папка, а не сценарий").arg(Quoted(Path));
    } else {
        for (;;) {
            const ssize_t Count = ::read(File, Buffer.data(), Buffer.size());
            if (Count < 0 && errno == EINTR)
                continue;
            if (Count < 0)
                Problem = QStringLiteral("не удаётся прочитать %1: %2")
                              .arg(Quoted(Path), SystemReason(errno));
            if (Count <= 0 || !Reader.Feed(QByteArrayView(Buffer.data(), Count)))
                break;
        }
    }
    ::close(File);
    return Problem;
}

int RunReplay(const QStringList& Arguments, std::istream& In, std::ostream& Out,
              std::ostream& Err) {
    TOptions Options(Arguments, {QStringLiteral("--start"), QStringLiteral("--locale")});
    if (QString Problem = Options.Read(); !Problem.isEmpty())
        return Usage(Err, Problem);
    if (Options.Help())
        return Written(Err, Write(Out, QString::fromUtf8(ReplayHelp)), ExitOk);
    if (Options.Words().size() > 1)
        return Usage(Err, QStringLiteral("replay проигрывает один сценарий, а не %1")
                              .arg(Options.Words().size()));
    TReplayOptions Replaying;
    if (const auto Start = Options.Value(QStringLiteral("--start"))) {
        QString Problem;
        const auto Parsed = ParseStart(*Start, Problem);
        if (!Parsed)
            return Usage(Err, Problem);
        Replaying.Start = *Parsed;
    }
    if (const auto Name = Options.Value(QStringLiteral("--locale"))) {
        const auto Parsed = ParseLocale(*Name);
        if (!Parsed)
            return Usage(Err, QStringLiteral("неизвестная локаль %1: ни Qt, ни система её не "
                                             "знают")
                                  .arg(Quoted(*Name)));
        Replaying.Locale = *Parsed;
    }

    const QString Path = Options.Words().value(0, QStringLiteral("-"));
    TScriptReader Reader;
    if (QString Problem = ReadScript(Path, In, Reader); !Problem.isEmpty())
        return Usage(Err, Problem);
    const TParsedScript Parsed = Reader.Finish();
    if (Parsed.Error) {
        Write(Err, QStringLiteral("%1:%2:%3: ошибка: %4\n")
                       .arg(Escaped(Path))
                       .arg(Parsed.Error->Line)
                       .arg(Parsed.Error->Column)
                       .arg(Parsed.Error->Message));
        return ExitUsage;
    }
    const TReplayOutcome Outcome = Replay(Parsed.Script, Replaying, Out);
    switch (Outcome.ExitCode) {
    case ReplayDone:
        return ExitOk;
    case ReplayWriteFailed:
        Write(
            Err,
            QStringLiteral("%1: %2%3\n")
                .arg(QLatin1String(Program), Outcome.Error,
                     Outcome.Line == 0
                         ? QString()
                         : QStringLiteral("; проигрыш прекращён на строке %1").arg(Outcome.Line)));
        return ExitOutput;
    default:
        Write(
            Err,
            QStringLiteral("%1:%2: %3\n").arg(Escaped(Path)).arg(Outcome.Line).arg(Outcome.Error));
        return Outcome.ExitCode == ReplayRefused ? ExitRefused : ExitFault;
    }
}

int RunExplore(const QStringList& Arguments, std::ostream& Out, std::ostream& Err) {
    TOptions Options(Arguments, {});
    if (QString Problem = Options.Read(); !Problem.isEmpty())
        return Usage(Err, Problem);
    if (Options.Help())
        return Written(Err, Write(Out, QString::fromUtf8(ExploreHelp)), ExitOk);
    if (!Options.Words().isEmpty())
        return Usage(Err, QStringLiteral("лишнее слово %1: explore не берёт файлов")
                              .arg(Quoted(Options.Words().first())));
    const TMachine StartUp;
    const TExploreReport Report = Explore(StartUp);
    const int Code = Written(Err, Write(Out, ReportText(Report, StartUp)),
                             Report.Violation ? ExitViolation : ExitOk);
    // The run time differs from run to run; the report does not.
    Write(Err, QStringLiteral("Время обхода: %1 с\n").arg(Seconds(Report.Seconds)));
    return Code;
}

int RunOdds(const QStringList& Arguments, std::ostream& Out, std::ostream& Err) {
    TOptions Options(Arguments, {QStringLiteral("--games"), QStringLiteral("--stake"),
                                 QStringLiteral("--seed")});
    if (QString Problem = Options.Read(); !Problem.isEmpty())
        return Usage(Err, Problem);
    if (Options.Help())
        return Written(Err, Write(Out, QString::fromUtf8(OddsHelp)), ExitOk);
    if (!Options.Words().isEmpty())
        return Usage(Err, QStringLiteral("лишнее слово %1").arg(Quoted(Options.Words().first())));
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
        const auto Value = ParseNumber(*Text, Each.Lowest, Each.Highest);
        if (!Value)
            return Usage(Err, QStringLiteral("%1 для %2: ожидается целое от %3 до %4")
                                  .arg(Quoted(*Text), QLatin1String(Each.Name))
                                  .arg(Each.Lowest)
                                  .arg(Each.Highest));
        Each.Value = *Value;
    }
    const auto Stake = static_cast<int32_t>(Numbers[1].Value);
    std::vector<int32_t> Stakes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 50};
    if (std::find(Stakes.begin(), Stakes.end(), Stake) == Stakes.end())
        Stakes.insert(std::upper_bound(Stakes.begin(), Stakes.end(), Stake), Stake);
    const TExactOdds Exact = ExactOdds(Stakes);
    const TMeasuredOdds Measured = MeasureOdds(TMachine(), Exact, Numbers[0].Value, Stake,
                                               static_cast<uint32_t>(Numbers[2].Value));
    const int Code = Written(Err, Write(Out, OddsText(Exact, Measured)), ExitOk);
    Write(Err, QStringLiteral("Время счёта: %1 с\n").arg(Seconds(Measured.Seconds)));
    return Code;
}

} // namespace

int RunCli(const QStringList& Arguments, std::istream& In, std::ostream& Out, std::ostream& Err) {
    if (Arguments.isEmpty()) {
        Write(Err, QString::fromUtf8(GeneralHelp));
        return ExitUsage;
    }
    const QString& Command = Arguments.first();
    const QStringList Rest = Arguments.mid(1);
    if (IsHelp(Command) || (Command == u"help" && Rest.isEmpty()))
        return Written(Err, Write(Out, QString::fromUtf8(GeneralHelp)), ExitOk);
    if (Command == u"--version")
        return Written(Err,
                       Write(Out, QStringLiteral("%1 %2\n").arg(
                                      QLatin1String(Program), QLatin1String(SLOTMACHINE_VERSION))),
                       ExitOk);
    if (Command == u"help" && Rest.size() > 1)
        return Usage(
            Err,
            QStringLiteral("лишнее слово %1: help называет одну команду").arg(Quoted(Rest[1])));
    if (Command == u"help")
        return RunCli({Rest.first(), QStringLiteral("--help")}, In, Out, Err);
    if (Command == u"replay")
        return RunReplay(Rest, In, Out, Err);
    if (Command == u"explore")
        return RunExplore(Rest, Out, Err);
    if (Command == u"odds")
        return RunOdds(Rest, Out, Err);
    if (Command == u"diagram") {
        QString OutText;
        QString ErrText;
        QTextStream OutStream(&OutText);
        QTextStream ErrStream(&ErrText);
        const int Code = RunDiagramCommand(Rest, OutStream, ErrStream);
        Write(Err, ErrText);
        return Written(Err, Write(Out, OutText), Code);
    }
    return Usage(Err, QStringLiteral("неизвестная команда %1: есть replay, explore, odds и "
                                     "diagram")
                          .arg(Quoted(Command)));
}
