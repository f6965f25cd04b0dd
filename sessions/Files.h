#pragma once

#include "sessions/Script.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace sm {

// The system's reason for a failed call (an errno value), in our own words.
QString SystemReason(int Error);

// Feeds the named script file to the reader as it is read; stops at its first bad line. An empty
// string, or why the file could not be read. The name's bytes are opened as given.
// Progress, when given, hears the bytes read so far and the file's size after every piece, and
// stops the reading by returning false (then the answer is empty and the reader unfinished).
using TReadProgress = std::function<bool(qint64 Done, qint64 Size)>;
QString ReadScriptFile(const QString& Path, TScriptReader& Reader,
                       const TReadProgress& Progress = {});

// A bad line as both programs report it: "PATH:LINE:COLUMN: ошибка: MESSAGE".
QString ScriptErrorText(const QString& Path, const TScriptError& Error);

// The named script read and checked whole; or, in Problem, why it could not be read or its
// first bad line as ScriptErrorText gives it.
std::optional<TScript> ReadSession(const QString& Path, QString& Problem,
                                   const TReadProgress& Progress = {});

// Writes the bytes to the named file whole or not at all: into a new file beside it, then put
// in its place. An empty string, or why it failed; an existing file is then left as it was.
QString WriteFile(const QString& Path, const QByteArray& Bytes);

} // namespace sm
