// Statistics and table rows shared by the benchmarks.
#include "bench/bench_stats.h"

#include "app/frame_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double percentile(const std::vector<double>& sorted, double fraction)
{
    return percentile(sorted.data(), sorted.size(), fraction);
}

Spread spreadOf(std::vector<double> samples)
{
    Spread spread;
    spread.count = samples.size();
    if (samples.empty()) return spread;
    std::sort(samples.begin(), samples.end());
    spread.median = percentile(samples, 0.5);
    spread.min = samples.front();
    spread.max = samples.back();
    spread.p10 = percentile(samples, 0.1);
    spread.p90 = percentile(samples, 0.9);
    for (double& sample : samples) sample = std::fabs(sample - spread.median);
    std::sort(samples.begin(), samples.end());
    spread.mad = percentile(samples, 0.5);
    return spread;
}

std::vector<double> intervalsOf(const std::vector<double>& times)
{
    std::vector<double> intervals;
    for (size_t i = 1; i < times.size(); ++i) intervals.push_back(times[i] - times[i - 1]);
    return intervals;
}

void printSpreadHeader(const char* firstColumn, TableStyle style, const char* extraColumn)
{
    if (style == TableStyle::markdown) {
        std::printf("| %s | n | median | min | p10 | p90 | max | MAD |", firstColumn);
        if (extraColumn) std::printf(" %s |", extraColumn);
        std::printf("\n|---|---:|---:|---:|---:|---:|---:|---:|%s\n", extraColumn ? "---|" : "");
        return;
    }
    std::printf("%-36s %4s %8s %8s %8s %8s %8s %7s", firstColumn, "n", "median", "min", "p10", "p90", "max",
                "MAD");
    if (extraColumn) std::printf("  %s", extraColumn);
    std::printf("\n");
}

void printSpreadRow(const char* name, const Spread& spread, const char* tail, TableStyle style)
{
    if (style == TableStyle::markdown) {
        std::printf("| %s | %zu | %.3f | %.3f | %.3f | %.3f | %.3f | %.3f |", name, spread.count, spread.median,
                    spread.min, spread.p10, spread.p90, spread.max, spread.mad);
        if (tail[0] != '\0') std::printf(" %s |", tail);
        std::printf("\n");
        return;
    }
    std::printf("%-36s %4zu %8.3f %8.3f %8.3f %8.3f %8.3f %7.3f%s\n", name, spread.count, spread.median,
                spread.min, spread.p10, spread.p90, spread.max, spread.mad, tail);
}
