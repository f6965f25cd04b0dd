#include "cli/Cli.h"

#include <iostream>

int main(int argc, char* argv[]) {
    std::ios::sync_with_stdio(false);
    QStringList Arguments;
    for (int Index = 1; Index < argc; ++Index)
        Arguments << QString::fromLocal8Bit(argv[Index]);
    return RunCli(Arguments, std::cin, std::cout, std::cerr);
}
