#include "cli/Cli.h"
#include "sessions/Quoted.h"

#include <iostream>

#include <fcntl.h>
#include <unistd.h>

using namespace sm;

int main(int argc, char* argv[]) {
    // A standard stream closed by the caller stays closed to us: a /dev/null opened the other way
    // takes its number, so that no file opened later lands there, and reading or writing it fails
    // with EBADF as on the closed stream.
    for (const int Stream : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (fcntl(Stream, F_GETFD) < 0 &&
            open("/dev/null", Stream == STDIN_FILENO ? O_WRONLY : O_RDONLY) != Stream)
            return ExitOutput;
    std::ios::sync_with_stdio(false);
    QStringList Arguments;
    for (int Index = 1; Index < argc; ++Index)
        Arguments << TextOfBytes(QByteArray(argv[Index]));
    return RunCli(Arguments, std::cin, std::cout, std::cerr);
}
