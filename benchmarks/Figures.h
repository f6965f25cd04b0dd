#pragma once

// What the benchmarks measure with and how they print it: a figure beside its goal.
#include <QByteArray>
#include <QFile>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

inline double MonotonicMs() {
    timespec Now{};
    clock_gettime(CLOCK_MONOTONIC, &Now);
    return static_cast<double>(Now.tv_sec) * 1e3 + static_cast<double>(Now.tv_nsec) / 1e6;
}

// User and system time of this process.
inline double CpuMs() {
    rusage Usage{};
    getrusage(RUSAGE_SELF, &Usage);
    return static_cast<double>(Usage.ru_utime.tv_sec + Usage.ru_stime.tv_sec) * 1e3 +
           static_cast<double>(Usage.ru_utime.tv_usec + Usage.ru_stime.tv_usec) / 1e3;
}

// Of this process, or of another one by its id.
inline double RssKb(qint64 Pid = 0) {
    QFile Status(Pid ? QStringLiteral("/proc/%1/status").arg(Pid)
                     : QStringLiteral("/proc/self/status"));
    if (!Status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& Line : Status.readAll().split('\n'))
        if (Line.startsWith("VmRSS:"))
            return Line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

inline double Median(std::vector<double> Values) {
    std::sort(Values.begin(), Values.end());
    return Values[Values.size() / 2];
}

inline void Report(const char* What, double Value, const char* Unit, const char* Goal, bool Met) {
    std::printf("%-62s %9.3f %-4s  goal %-24s %s\n", What, Value, Unit, Goal,
                Met ? "met" : "MISSED");
    std::fflush(stdout);
}
