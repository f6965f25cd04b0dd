#include "sessions/Script.h"

#include "sessions/Decimal.h"
#include "sessions/Quoted.h"

#include <QList>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringList>
#include <QTimeZone>

#include <array>
#include <utility>

namespace sm {

struct TScriptWord {
    QString Text;
    int Column = 0;
};

namespace {

using TWord = TScriptWord;

const std::array<const char*, LogItems> ItemNames = {"start", "change", "finish", "input",
                                                     "output"};

// Blanks split words; a '#' starts a comment that runs to the end of the line, except where
// numbered rows are allowed and it starts a word followed by a digit: "break A0 row 2 e5 #2".
std::vector<TWord> SplitWords(const QString& Line, bool RowNumbers = false) {
    std::vector<TWord> Words;
    int Column = 0;
    bool InWord = false;
    for (qsizetype Index = 0; Index < Line.size(); ++Index) {
        const QChar Char = Line[Index];
        if (Char.isLowSurrogate())
            continue; // one character with the high surrogate before it
        ++Column;
        if (Char == u'#' &&
            !(RowNumbers && !InWord && Index + 1 < Line.size() && Line[Index + 1].isDigit()))
            break;
        if (Char.isSpace()) {
            InWord = false;
            continue;
        }
        if (!InWord)
            Words.push_back({QString(), Column});
        InWord = true;
        Words.back().Text += Char;
        if (Char.isHighSurrogate() && Index + 1 < Line.size())
            Words.back().Text += Line[Index + 1];
    }
    return Words;
}

// The column just past the last word, where a missing word was expected.
int ColumnAfter(const std::vector<TWord>& Words) {
    const TWord& Last = Words.back();
    return Last.Column + static_cast<int>(Last.Text.toUcs4().size());
}

QString NoArguments(const std::vector<TWord>& Words, int& Column) {
    if (Words.size() == 1)
        return {};
    Column = Words[1].Column;
    return QStringLiteral("лишнее слово %1: у команды «%2» нет параметров")
        .arg(Quoted(Words[1].Text), Words[0].Text);
}

QString WantArguments(const std::vector<TWord>& Words, int Count, const QString& Expected,
                      int& Column) {
    const auto Given = static_cast<int>(Words.size()) - 1;
    if (Given < Count) {
        Column = ColumnAfter(Words);
        return QStringLiteral("после «%1» ожидается %2").arg(Words[0].Text, Expected);
    }
    if (Given > Count) {
        Column = Words[static_cast<size_t>(Count) + 1].Column;
        return QStringLiteral("лишнее слово %1: команда «%2» ждёт %3")
            .arg(Quoted(Words[static_cast<size_t>(Count) + 1].Text), Words[0].Text, Expected);
    }
    return {};
}

QString StartForm() {
    return QStringLiteral("время запуска вида 2026-12-08T16:00:00 или 2026-12-08T16:00:00.000");
}

} // namespace

std::optional<QDateTime> ParseStartTime(const QString& Text, QString& Problem, int& At) {
    static const QRegularExpression Shape(
        QStringLiteral(R"(^((\d{4})-(\d{2})-(\d{2}))T((\d{2}):(\d{2}):(\d{2}))(?:\.(\d{3}))?$)"));
    const auto Match = Shape.match(Text);
    At = 0;
    if (!Match.hasMatch()) {
        Problem = QStringLiteral("%1 — не %2").arg(Quoted(Text), StartForm());
        return std::nullopt;
    }
    const auto Part = [&Match](int Index) { return Match.captured(Index).toInt(); };
    const QDate Date(Part(2), Part(3), Part(4));
    const QTime Time(Part(6), Part(7), Part(8), Part(9));
    if (!Date.isValid()) {
        Problem = QStringLiteral("%1 — не время: дня %2 в календаре нет")
                      .arg(Quoted(Text), Match.captured(1));
        return std::nullopt;
    }
    if (!Time.isValid()) {
        At = static_cast<int>(Match.capturedStart(5));
        Problem = QStringLiteral("%1 — не время: времени суток %2 нет (часы от 00 до 23, "
                                 "минуты и секунды от 00 до 59)")
                      .arg(Quoted(Text), Match.captured(5));
        return std::nullopt;
    }
    return QDateTime(Date, Time, QTimeZone::utc());
}

QString StartTimeText(const QDateTime& Start) {
    return Start.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz"));
}

QString TScriptReader::ParseLine(const std::vector<TWord>& Words, int Line, int& Column) {
    const QString& Name = Words[0].Text;
    Column = Words[0].Column;
    TCommand Command;
    Command.Line = Line;

    if (Name == u"seed") {
        if (FSeedLine != 0)
            return QStringLiteral("зерно уже задано в строке %1").arg(FSeedLine);
        if (FFirstActionLine != 0)
            return QStringLiteral("«seed» допустима только до первого действия (оно в строке %1)")
                .arg(FFirstActionLine);
        const QString Expected = QStringLiteral("зерно генератора: число от 0 до 4294967295");
        if (QString Error = WantArguments(Words, 1, Expected, Column); !Error.isEmpty())
            return Error;
        const auto Seed = ParseDecimal(Words[1].Text, uint32_t{0}, UINT32_MAX);
        if (!Seed) {
            Column = Words[1].Column;
            return QStringLiteral("%1 — не %2").arg(Quoted(Words[1].Text), Expected);
        }
        FResult.Script.Seed = *Seed;
        FSeedLine = Line;
        return {};
    }

    if (Name == u"start") {
        if (FStartLine != 0)
            return QStringLiteral("время запуска уже задано в строке %1").arg(FStartLine);
        if (FFirstActionLine != 0)
            return QStringLiteral("«start» допустима только до первого действия (оно в строке "
                                  "%1)")
                .arg(FFirstActionLine);
        if (QString Error = WantArguments(Words, 1, StartForm(), Column); !Error.isEmpty())
            return Error;
        QString Problem;
        int At = 0;
        const auto Start = ParseStartTime(Words[1].Text, Problem, At);
        if (!Start) {
            Column = Words[1].Column + At;
            return Problem;
        }
        FResult.Script.Start = *Start;
        FStartLine = Line;
        return {};
    }

    if (Name == u"break") {
        if (Words.size() == 1) {
            Column = ColumnAfter(Words);
            return QStringLiteral("после «break» ожидается цель: A1 state 2, A0 event e5 или "
                                  "A0 row 2 e5");
        }
        // The words laid out again at their own columns, so that a place in the text is one.
        QString Text;
        for (size_t Index = 1; Index < Words.size(); ++Index)
            Text += QString(Words[Index].Column - Words[1].Column - Text.size(), u' ') +
                    Words[Index].Text;
        // The tables as written: a script is checked before any machine runs it.
        static const TMachine Tables;
        QString Problem;
        int At = 0;
        auto Breakpoint = ParseBreakpoint(Tables, Text, Problem, At);
        if (!Breakpoint) {
            Column = Words[1].Column + At;
            return Problem;
        }
        Breakpoint->Line = Line;
        FResult.Script.Breakpoints.push_back(std::move(*Breakpoint));
        return {};
    }

    const std::pair<const char*, TCommandKind> Plain[] = {{"settle", TCommandKind::Settle},
                                                          {"show", TCommandKind::Show}};
    bool Known = false;
    for (const auto& [Text, Kind] : Plain)
        if (Name == QLatin1String(Text)) {
            if (QString Error = NoArguments(Words, Column); !Error.isEmpty())
                return Error;
            Command.Kind = Kind;
            Known = true;
        }
    if (const auto Action = PlayerActionNamed(Name.toStdString())) {
        if (QString Error = NoArguments(Words, Column); !Error.isEmpty())
            return Error;
        Command.Kind = TCommandKind::Player;
        Command.Action = *Action;
        Known = true;
    }

    if (Name == u"wait") {
        const QString Expected = QStringLiteral("число миллисекунд от 0 до %1").arg(LongestWait);
        if (QString Error = WantArguments(Words, 1, Expected, Column); !Error.isEmpty())
            return Error;
        const auto Milliseconds = ParseDecimal(Words[1].Text, int64_t{0}, LongestWait);
        if (!Milliseconds) {
            Column = Words[1].Column;
            return QStringLiteral("%1 — не %2").arg(Quoted(Words[1].Text), Expected);
        }
        Command.Kind = TCommandKind::Wait;
        Command.Milliseconds = *Milliseconds;
        Known = true;
    } else if (Name == u"log") {
        const QString Expected = QStringLiteral("автомат (A0, A1, A2), пункт (start, change, "
                                                "finish, input, output) и on или off");
        if (QString Error = WantArguments(Words, 3, Expected, Column); !Error.isEmpty())
            return Error;
        const QStringList Automata = {"A0", "A1", "A2"};
        // In either case, as the diagram command takes them.
        Command.Automaton = static_cast<int32_t>(Automata.indexOf(Words[1].Text.toUpper()));
        if (Command.Automaton < 0) {
            Column = Words[1].Column;
            return QStringLiteral("%1 — не автомат: ожидается A0, A1 или A2")
                .arg(Quoted(Words[1].Text));
        }
        bool Found = false;
        for (size_t Item = 0; Item < ItemNames.size(); ++Item)
            if (Words[2].Text == QLatin1String(ItemNames[Item])) {
                Command.Item = TLogItem(Item);
                Found = true;
            }
        if (!Found) {
            Column = Words[2].Column;
            return QStringLiteral("%1 — не пункт протокола: ожидается start, change, finish, "
                                  "input или output")
                .arg(Quoted(Words[2].Text));
        }
        if (Words[3].Text != u"on" && Words[3].Text != u"off") {
            Column = Words[3].Column;
            return QStringLiteral("%1: ожидается on или off").arg(Quoted(Words[3].Text));
        }
        Command.Kind = TCommandKind::Log;
        Command.On = Words[3].Text == u"on";
        Known = true;
    }

    if (!Known)
        return QStringLiteral("неизвестная команда %1; команды: seed, start, coin, bad, play, "
                              "return, reset, log, wait, settle, show, break")
            .arg(Quoted(Name));
    // Showing draws nothing: the seed may still follow.
    if (FFirstActionLine == 0 && Command.Kind != TCommandKind::Show)
        FFirstActionLine = Line;
    FResult.Script.Commands.push_back(Command);
    return {};
}

void TScriptReader::ReadLine(QByteArrayView Bytes) {
    ++FLine;
    // An editor's byte order mark is no part of the first command.
    if (FLine == 1 && Bytes.startsWith("\xEF\xBB\xBF"))
        Bytes = Bytes.sliced(3);
    QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString Decoded = Decoder(Bytes);
    if (Decoder.hasError()) {
        FResult.Error = TScriptError{FLine, 1, QStringLiteral("строка не в кодировке UTF-8")};
        return;
    }
    std::vector<TWord> Words = SplitWords(Decoded);
    if (!Words.empty() && Words[0].Text == u"break")
        Words = SplitWords(Decoded, true);
    if (Words.empty())
        return;
    int Column = 1;
    if (QString Error = ParseLine(Words, FLine, Column); !Error.isEmpty())
        FResult.Error = TScriptError{FLine, Column, std::move(Error)};
}

bool TScriptReader::Feed(QByteArrayView Bytes) {
    while (!FResult.Error && !Bytes.isEmpty()) {
        const qsizetype End = Bytes.indexOf('\n');
        if (End < 0) {
            FPartLine += Bytes;
            break;
        }
        if (FPartLine.isEmpty()) {
            ReadLine(Bytes.first(End));
        } else {
            FPartLine += Bytes.first(End);
            ReadLine(FPartLine);
            FPartLine.clear();
        }
        Bytes = Bytes.sliced(End + 1);
    }
    return !FResult.Error;
}

TParsedScript TScriptReader::Finish() {
    if (!FResult.Error)
        ReadLine(FPartLine);
    FPartLine.clear();
    if (FResult.Error)
        FResult.Script = {};
    return std::move(FResult);
}

TParsedScript ParseScript(const QByteArray& Text) {
    TScriptReader Reader;
    Reader.Feed(Text);
    return Reader.Finish();
}

// A command packs into one byte of its kind, with the top bit set when it stands on the line
// after the command before; then that line's distance where it is further, and its arguments:
// a wait its milliseconds, a log switch one byte. Numbers go seven bits a byte, low bits first.
namespace {

constexpr uint8_t NextLine = 0x80;

void PutNumber(std::vector<uint8_t>& Bytes, uint64_t Value) {
    while (Value >= 0x80) {
        Bytes.push_back(uint8_t(Value | 0x80));
        Value >>= 7;
    }
    Bytes.push_back(uint8_t(Value));
}

uint64_t TakeNumber(const uint8_t*& At) {
    uint64_t Value = 0;
    for (int Shift = 0;; Shift += 7) {
        const uint8_t Byte = *At++;
        Value |= uint64_t(Byte & 0x7F) << Shift;
        if (Byte < 0x80)
            return Value;
    }
}

} // namespace

namespace {

// A player's action packs as its own number, below the other kinds.
constexpr uint8_t OtherKinds = PlayerActions.size() - 1;

uint8_t PackedKind(const TCommand& Command) {
    return Command.Kind == TCommandKind::Player ? uint8_t(Command.Action)
                                                : uint8_t(OtherKinds + uint8_t(Command.Kind));
}

void UnpackKind(uint8_t Packed, TCommand& Command) {
    if (Packed <= OtherKinds) {
        Command.Kind = TCommandKind::Player;
        Command.Action = TPlayerAction(Packed);
    } else {
        Command.Kind = TCommandKind(Packed - OtherKinds);
    }
}

} // namespace

void TCommandList::push_back(const TCommand& Command) {
    const int Distance = Command.Line - FLastLine;
    FLastLine = Command.Line;
    FBytes.push_back(uint8_t(PackedKind(Command) | (Distance == 1 ? NextLine : 0)));
    if (Distance != 1)
        PutNumber(FBytes, uint64_t(Distance));
    if (Command.Kind == TCommandKind::Wait)
        PutNumber(FBytes, uint64_t(Command.Milliseconds));
    else if (Command.Kind == TCommandKind::Log)
        FBytes.push_back(uint8_t(Command.Automaton | Command.Item << 2 | int(Command.On) << 5));
}

TCommand TCommandList::TIterator::operator*() const {
    TIterator Next = *this;
    return Next.Take();
}

TCommandList::TIterator& TCommandList::TIterator::operator++() {
    Take();
    return *this;
}

TCommand TCommandList::TIterator::Take() {
    TCommand Command;
    const uint8_t Head = *FAt++;
    UnpackKind(uint8_t(Head & ~NextLine), Command);
    FLine += (Head & NextLine) != 0 ? 1 : int(TakeNumber(FAt));
    Command.Line = FLine;
    if (Command.Kind == TCommandKind::Wait) {
        Command.Milliseconds = int64_t(TakeNumber(FAt));
    } else if (Command.Kind == TCommandKind::Log) {
        const uint8_t Switch = *FAt++;
        Command.Automaton = Switch & 3;
        Command.Item = TLogItem(Switch >> 2 & 7);
        Command.On = (Switch >> 5 & 1) != 0;
    }
    return Command;
}

QString CommandText(const TCommand& Command) {
    switch (Command.Kind) {
    case TCommandKind::Player: {
        const std::string_view Name = ScriptName(Command.Action);
        return QString::fromLatin1(Name.data(), qsizetype(Name.size()));
    }
    case TCommandKind::Log:
        return QStringLiteral("log A%1 %2 %3")
            .arg(Command.Automaton)
            .arg(QLatin1String(ItemNames.at(static_cast<size_t>(Command.Item))))
            .arg(Command.On ? QStringLiteral("on") : QStringLiteral("off"));
    case TCommandKind::Wait:
        return QStringLiteral("wait %1").arg(Command.Milliseconds);
    case TCommandKind::Settle:
        return QStringLiteral("settle");
    case TCommandKind::Show:
        return QStringLiteral("show");
    }
    return {};
}

} // namespace sm
