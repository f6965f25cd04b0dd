#pragma once

#include "sessions/SessionRecorder.h"

#include <QString>
#include <QStringList>

#include <cstdint>

namespace sm {

// The running session kept on disk as it is recorded, so that a crash or a kill loses at most
// what happened since the last flush. The recorded lines are only appended; the waits from the
// last line to the present moment follow them and are rewritten at each flush. The file is
// locked while its window lives: a file that nobody locks was left behind.
class TRecoveryFile {
public:
    // A new file in RecoveryFolder(); Problem says why none could be made (then the session is
    // kept in memory only).
    explicit TRecoveryFile(QString& Problem);
    ~TRecoveryFile();
    TRecoveryFile(const TRecoveryFile&) = delete;
    TRecoveryFile& operator=(const TRecoveryFile&) = delete;

    bool IsOpen() const { return FFile >= 0; }
    const QString& Path() const { return FPath; }
    // How much of the recorder's lines the file holds.
    qsizetype Written() const { return FWritten; }
    // A new session is recorded from its start: the file starts anew with it.
    void Begin();
    // Writes what the recorder holds beyond what was written, then the waits to Now, and hands
    // them to the disk. Empty, or why it failed.
    QString Flush(const TSessionRecorder& Recorder, int64_t Now);
    // The session needs no keeping any more: the file goes.
    void Remove();

private:
    int FFile = -1;
    QString FPath;
    qsizetype FWritten = 0; // bytes of the recorder's lines in the file
    QByteArray FTail;       // the waits written after them
};

// $XDG_STATE_HOME/slotmachine, or ~/.local/state/slotmachine; made when missing.
QString RecoveryFolder();

// The recovery files that no living window locks, the newest first.
QStringList LeftRecoveryFiles();

// Renames a damaged recovery file so that it is never offered or deleted again: its new name, or
// empty when it could not be moved (Problem then says why).
QString SetAside(const QString& Path, QString& Problem);

} // namespace sm
