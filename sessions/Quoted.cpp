#include "sessions/Quoted.h"

#include <QStringDecoder>

namespace sm {

namespace {

constexpr char16_t EscapedByte = 0xDC00;

bool IsEscapedByte(char16_t Unit) {
    return Unit >= EscapedByte + 0x80 && Unit <= EscapedByte + 0xFF;
}

// Length of the valid UTF-8 sequence at Index, or 0.
qsizetype SequenceAt(const QByteArray& Bytes, qsizetype Index) {
    const auto Lead = static_cast<unsigned char>(Bytes[Index]);
    if (Lead < 0x80)
        return 1;
    const qsizetype Length = Lead >= 0xF0 ? 4 : Lead >= 0xE0 ? 3 : Lead >= 0xC0 ? 2 : 0;
    if (Length == 0 || Index + Length > Bytes.size())
        return 0;
    // The decoder refuses overlong forms, surrogates and code points past U+10FFFF.
    QStringDecoder Decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString Decoded = Decoder(QByteArrayView(Bytes).sliced(Index, Length));
    return Decoder.hasError() ? 0 : Length;
}

} // namespace

QString Escaped(const QString& Text) {
    QString Result;
    Result.reserve(Text.size());
    for (qsizetype Index = 0; Index < Text.size(); ++Index) {
        const char16_t Unit = Text[Index].unicode();
        if (QChar::isHighSurrogate(Unit) && Index + 1 < Text.size() &&
            Text[Index + 1].isLowSurrogate()) {
            const char32_t Code = QChar::surrogateToUcs4(Unit, Text[Index + 1].unicode());
            if (QChar::isPrint(Code))
                Result += Text.mid(Index, 2);
            else
                Result += QStringLiteral("\\u{%1}").arg(uint(Code), 0, 16);
            ++Index;
        } else if (IsEscapedByte(Unit) || Unit < 0x20 || Unit == 0x7F) {
            Result += QStringLiteral("\\x%1").arg(uint(Unit & 0xFF), 2, 16, QLatin1Char('0'));
        } else if (!QChar::isPrint(Unit) && Unit != u' ') {
            Result += QStringLiteral("\\u{%1}").arg(uint(Unit), 0, 16);
        } else {
            Result += QChar(Unit);
        }
    }
    return Result;
}

QString Quoted(const QString& Word) {
    // Counted in characters, without copying a word that may be megabytes long.
    qsizetype Characters = 0;
    qsizetype Cut = Word.size();
    for (qsizetype Index = 0; Index < Word.size(); ++Index) {
        if (Word[Index].isLowSurrogate() && Index > 0 && Word[Index - 1].isHighSurrogate())
            continue;
        if (++Characters == QuotedLength + 1)
            Cut = Index;
    }
    if (Characters <= QuotedLength)
        return QStringLiteral("«%1»").arg(Escaped(Word));
    return QStringLiteral("«%1…» (обрезано: всего символов %2)")
        .arg(Escaped(Word.left(Cut)))
        .arg(Characters);
}

QString TextOfBytes(const QByteArray& Bytes) {
    QString Text;
    Text.reserve(Bytes.size());
    for (qsizetype Index = 0; Index < Bytes.size();) {
        const qsizetype Length = SequenceAt(Bytes, Index);
        if (Length == 0) {
            Text += QChar(char16_t(EscapedByte + static_cast<unsigned char>(Bytes[Index])));
            ++Index;
        } else {
            Text += QString::fromUtf8(QByteArrayView(Bytes).sliced(Index, Length));
            Index += Length;
        }
    }
    return Text;
}

QByteArray BytesOfText(const QString& Text) {
    QByteArray Bytes;
    Bytes.reserve(Text.size());
    qsizetype Start = 0;
    for (qsizetype Index = 0; Index <= Text.size(); ++Index) {
        if (Index < Text.size() && !IsEscapedByte(Text[Index].unicode()))
            continue;
        Bytes += QStringView(Text).sliced(Start, Index - Start).toUtf8();
        if (Index < Text.size())
            Bytes += char(Text[Index].unicode() & 0xFF);
        Start = Index + 1;
    }
    return Bytes;
}

} // namespace sm
