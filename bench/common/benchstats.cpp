// The figures the benchmarks print.
#include "bench/common/benchstats.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace lapvane::bench {

void printLatencies(const char *what, const QList<double> &ms, int width)
{
    if (ms.isEmpty()) {
        std::printf("%-*s no samples\n", width, what);
        return;
    }
    std::printf("%-*s n=%lld  p50 %.3f ms  p99 %.3f ms  max %.3f ms\n", width, what, qlonglong(ms.size()),
                percentile(ms, 0.5), percentile(ms, 0.99), percentile(ms, 1.0));
}

namespace {

qint64 cpuNs(clockid_t clock)
{
    timespec ts{};
    clock_gettime(clock, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

} // namespace

qint64 processCpuNs()
{
    return cpuNs(CLOCK_PROCESS_CPUTIME_ID);
}

qint64 threadCpuNs()
{
    return cpuNs(CLOCK_THREAD_CPUTIME_ID);
}

qint64 nowNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace lapvane::bench
