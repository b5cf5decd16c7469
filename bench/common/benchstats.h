// The figures the benchmarks print: percentiles of samples, latency lines,
// processor time and a steady clock.
#pragma once

#include <QList>

#include <algorithm>
#include <cstddef>

namespace lapvane::bench {

// The sample at the share p (0 to 1) of the sorted samples, by nearest rank:
// 0.5 the median, 1 the largest; 0 for no samples.
template <typename Samples> double percentile(Samples samples, double p)
{
    if (samples.empty())
        return 0;
    std::sort(samples.begin(), samples.end());
    const std::size_t last = std::size_t(samples.size()) - 1;
    return samples[std::min(last, std::size_t(p * double(last) + 0.5))];
}

// One line: what was measured (padded to width), then the count, median,
// p99 and largest of the samples in ms, or that there were none.
void printLatencies(const char *what, const QList<double> &ms, int width = 44);

// Processor time used so far, in ns: by the whole process, by this thread.
qint64 processCpuNs();
qint64 threadCpuNs();
// A steady clock in ns, comparable across threads.
qint64 nowNs();

} // namespace lapvane::bench
