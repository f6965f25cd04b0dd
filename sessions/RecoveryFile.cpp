#include "sessions/RecoveryFile.h"

#include "sessions/Files.h"
#include "sessions/Quoted.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

namespace {

const char Prefix[] = "recovery-";
const char Suffix[] = ".session";

} // namespace

QString RecoveryFolder() {
    QString State = TextOfBytes(qgetenv("XDG_STATE_HOME"));
    // A relative XDG_STATE_HOME is ignored, as the XDG base directory rules ask.
    if (State.isEmpty() || QDir::isRelativePath(State))
        State = QDir::homePath() + QStringLiteral("/.local/state");
    QString Folder = State + QStringLiteral("/slotmachine");
    QDir().mkpath(Folder);
    return Folder;
}

TRecoveryFile::TRecoveryFile(QString& Problem) {
    QByteArray Name =
        BytesOfText(RecoveryFolder()) + '/' + Prefix + QByteArray("XXXXXX") + QByteArray(Suffix);
    FFile = ::mkostemps(Name.data(), static_cast<int>(sizeof(Suffix) - 1), O_CLOEXEC);
    if (FFile < 0) {
        Problem = QStringLiteral("не удаётся создать файл восстановления %1: %2")
                      .arg(Quoted(TextOfBytes(Name)), SystemReason(errno));
        return;
    }
    FPath = TextOfBytes(Name);
    ::flock(FFile, LOCK_EX | LOCK_NB);
}

TRecoveryFile::~TRecoveryFile() {
    if (FFile >= 0)
        ::close(FFile);
}

void TRecoveryFile::Begin() {
    FWritten = 0;
    FTail.clear();
    if (FFile >= 0)
        ::ftruncate(FFile, 0);
}

QString TRecoveryFile::Flush(const TSessionRecorder& Recorder, int64_t Now) {
    if (FFile < 0)
        return {};
    const QByteArray& Lines = Recorder.Lines();
    // Lines cut short, as a fork cuts them, are written whole again.
    if (Lines.size() < FWritten)
        Begin();
    QByteArray Tail = Recorder.WaitTo(Now);
    if (Lines.size() == FWritten && Tail == FTail)
        return {};
    // Cut back to the lines first: a kill between the two calls leaves a whole script.
    const QByteArray Bytes = Lines.sliced(FWritten) + Tail;
    int Error = ::ftruncate(FFile, FWritten) == 0 ? 0 : errno;
    for (qsizetype Done = 0; Error == 0 && Done < Bytes.size();) {
        const ssize_t Count = ::pwrite(FFile, Bytes.constData() + Done,
                                       static_cast<size_t>(Bytes.size() - Done), FWritten + Done);
        if (Count < 0 && errno != EINTR)
            Error = errno;
        else if (Count > 0)
            Done += Count;
    }
    if (Error == 0 && ::fdatasync(FFile) != 0)
        Error = errno;
    if (Error != 0)
        return QStringLiteral("не удаётся записать файл восстановления %1: %2")
            .arg(Quoted(FPath), SystemReason(Error));
    FWritten = Lines.size();
    FTail = std::move(Tail);
    return {};
}

void TRecoveryFile::Remove() {
    if (FFile < 0)
        return;
    ::unlink(BytesOfText(FPath).constData());
    ::close(FFile);
    FFile = -1;
}

QStringList LeftRecoveryFiles() {
    QDir Folder(RecoveryFolder());
    const QFileInfoList Files = Folder.entryInfoList(
        {QLatin1String(Prefix) + u'*' + QLatin1String(Suffix)}, QDir::Files, QDir::Time);
    QStringList Left;
    for (const QFileInfo& File : Files) {
        const int Handle = ::open(BytesOfText(File.filePath()).constData(), O_RDONLY | O_CLOEXEC);
        if (Handle < 0)
            continue;
        // A living window holds its own file's lock.
        if (::flock(Handle, LOCK_EX | LOCK_NB) == 0)
            Left << File.filePath();
        ::close(Handle);
    }
    return Left;
}

QString SetAside(const QString& Path, QString& Problem) {
    const QByteArray From = BytesOfText(Path);
    for (int Number = 0; Number < 1000; ++Number) {
        const QByteArray To =
            From + ".damaged" + (Number ? '-' + QByteArray::number(Number) : QByteArray());
        // Never over an earlier damaged file: link fails where a name is taken.
        if (::link(From.constData(), To.constData()) == 0) {
            ::unlink(From.constData());
            return TextOfBytes(To);
        }
        if (errno != EEXIST) {
            Problem =
                QStringLiteral("не удаётся отложить %1: %2").arg(Quoted(Path), SystemReason(errno));
            return {};
        }
    }
    Problem =
        QStringLiteral("не удаётся отложить %1: слишком много отложенных файлов").arg(Quoted(Path));
    return {};
}

} // namespace sm
