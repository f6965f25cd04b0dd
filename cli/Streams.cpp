#include "cli/Streams.h"

#include <cerrno>

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

int WriteBytes(std::ostream& Stream, const char* Data, size_t Size) {
    if (!Stream)
        return EIO;
    errno = 0;
    Stream.write(Data, static_cast<std::streamsize>(Size));
    Stream.flush();
    if (Stream)
        return 0;
    return errno != 0 ? errno : EIO;
}

std::streamsize ReadBytes(std::istream& Stream, char* Data, std::streamsize Size, int& Error) {
    errno = 0;
    // A read that fails sets badbit; a stream's own exception (libstdc++ throws from a failed
    // read(2) below) is caught by read() unless the stream asks for exceptions.
    Stream.read(Data, Size);
    if (Stream.bad()) {
        Error = errno != 0 ? errno : EIO;
        return -1;
    }
    return Stream.gcount();
}

} // namespace sm
