#pragma once

#include <QByteArray>
#include <QString>

namespace sm {

// Words a user gave, as messages show them. A byte that is not UTF-8 travels in a QString as a
// lone low surrogate U+DC80..U+DCFF (as Python's surrogateescape does), so a file name keeps
// its bytes from the command line to the file system.

// The longest part of a word that a message quotes.
inline constexpr qsizetype QuotedLength = 40;

// The text with control characters, invisible formatting and bytes that are not UTF-8 escaped
// (\x1B, \u{202E}): one harmless line on a terminal.
QString Escaped(const QString& Text);
// The word escaped in «», cut after QuotedLength characters with a mark that it was cut.
QString Quoted(const QString& Word);

// Bytes from the command line or the file system as text, keeping the bytes that are not UTF-8.
QString TextOfBytes(const QByteArray& Bytes);
// The bytes that TextOfBytes read.
QByteArray BytesOfText(const QString& Text);

} // namespace sm
