#include "sessions/Files.h"

#include "sessions/Quoted.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace sm {

QString SystemReason(int Error) {
    switch (Error) {
    case ENOENT:
        return QStringLiteral("нет такого файла или папки");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав доступа");
    case EISDIR:
        return QStringLiteral("это папка");
    case ENOTDIR:
        return QStringLiteral("часть пути — не папка");
    case ENOSPC:
        return QStringLiteral("на диске нет места");
    case EDQUOT:
        return QStringLiteral("исчерпана дисковая квота");
    case EFBIG:
        return QStringLiteral("файл слишком велик");
    case EBADF:
        return QStringLiteral("поток закрыт");
    case EPIPE:
        return QStringLiteral("канал закрыт читающей стороной");
    case ENAMETOOLONG:
        return QStringLiteral("слишком длинное имя");
    case ELOOP:
        return QStringLiteral("слишком много символических ссылок");
    case EROFS:
        return QStringLiteral("файловая система только для чтения");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("открыто слишком много файлов");
    case ENOMEM:
        return QStringLiteral("не хватает памяти");
    case ENXIO:
    case ENODEV:
        return QStringLiteral("нет такого устройства");
    case EINVAL:
        return QStringLiteral("поток не поддерживает эту операцию");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода");
    default:
        return QStringLiteral("системная ошибка %1").arg(Error);
    }
}

QString ReadScriptFile(const QString& Path, TScriptReader& Reader, const TReadProgress& Progress) {
    std::vector<char> Buffer(1 << 16);
    // The name's bytes as given: a name that is not UTF-8 opens all the same.
    const int File = ::open(BytesOfText(Path).constData(), O_RDONLY | O_CLOEXEC);
    if (File < 0)
        return QStringLiteral("не удаётся открыть %1: %2").arg(Quoted(Path), SystemReason(errno));
    struct stat Status {};
    QString Problem;
    if (::fstat(File, &Status) == 0 && S_ISDIR(Status.st_mode)) {
        Problem = QStringLiteral("%1 — папка, а не сценарий").arg(Quoted(Path));
    } else {
        for (qint64 Done = 0;;) {
            const ssize_t Count = ::read(File, Buffer.data(), Buffer.size());
            if (Count < 0 && errno == EINTR)
                continue;
            if (Count < 0)
                Problem = QStringLiteral("не удаётся прочитать %1: %2")
                              .arg(Quoted(Path), SystemReason(errno));
            if (Count <= 0 || !Reader.Feed(QByteArrayView(Buffer.data(), Count)))
                break;
            Done += Count;
            if (Progress && !Progress(Done, Status.st_size))
                break;
        }
    }
    ::close(File);
    return Problem;
}

QString ScriptErrorText(const QString& Path, const TScriptError& Error) {
    return QStringLiteral("%1:%2:%3: ошибка: %4")
        .arg(Escaped(Path))
        .arg(Error.Line)
        .arg(Error.Column)
        .arg(Error.Message);
}

std::optional<TScript> ReadSession(const QString& Path, QString& Problem,
                                   const TReadProgress& Progress) {
    TScriptReader Reader;
    bool Stopped = false;
    Problem = ReadScriptFile(Path, Reader, Progress ? [&](qint64 Done, qint64 Size) {
        Stopped = !Progress(Done, Size);
        return !Stopped;
    } : TReadProgress());
    if (Stopped)
        return std::nullopt;
    if (!Problem.isEmpty())
        return std::nullopt;
    TParsedScript Parsed = Reader.Finish();
    if (Parsed.Error) {
        Problem = ScriptErrorText(Path, *Parsed.Error);
        return std::nullopt;
    }
    return std::move(Parsed.Script);
}

namespace {

// Every byte written, or the errno of the failed write.
int WriteAll(int File, const QByteArray& Bytes) {
    for (qsizetype Done = 0; Done < Bytes.size();) {
        const ssize_t Count =
            ::write(File, Bytes.constData() + Done, static_cast<size_t>(Bytes.size() - Done));
        if (Count < 0 && errno == EINTR)
            continue;
        if (Count < 0)
            return errno;
        Done += Count;
    }
    return 0;
}

} // namespace

QString WriteFile(const QString& Path, const QByteArray& Bytes) {
    const QByteArray Name = BytesOfText(Path);
    // Beside the file, so that renaming it into place never crosses file systems.
    QByteArray Temporary = Name + ".XXXXXX";
    const int File = ::mkstemp(Temporary.data());
    if (File < 0)
        return QStringLiteral("не удаётся сохранить %1: %2").arg(Quoted(Path), SystemReason(errno));
    // A new file is made as the user's umask allows, not with the private mode of mkstemp.
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    ::fchmod(File, 0666 & ~Mask);
    int Error = WriteAll(File, Bytes);
    if (Error == 0 && ::fsync(File) != 0)
        Error = errno;
    if (::close(File) != 0 && Error == 0)
        Error = errno;
    if (Error == 0 && ::rename(Temporary.constData(), Name.constData()) != 0)
        Error = errno;
    if (Error != 0) {
        ::unlink(Temporary.constData());
        return QStringLiteral("не удаётся сохранить %1: %2").arg(Quoted(Path), SystemReason(Error));
    }
    return {};
}

} // namespace sm
