#include "cli/Streams.h"

#include <cerrno>

namespace sm {

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
