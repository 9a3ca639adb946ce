// Medians and percentiles of frame timings: the --fps report and the benchmarks read the same
// rule. Platform-free, header only.
#pragma once

#include <algorithm>
#include <cstddef>

// The value at fraction (0..1) of count sorted values, interpolated linearly between the two
// closest ranks; 0 for none.
inline double percentile(const double* sorted, size_t count, double fraction)
{
    if (count == 0) return 0;
    const double rank = fraction * static_cast<double>(count - 1);
    const size_t below = static_cast<size_t>(rank);
    const size_t above = std::min(below + 1, count - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (rank - static_cast<double>(below));
}

// The median of count values in any order; sorts them.
inline double median(double* values, size_t count)
{
    std::sort(values, values + count);
    return percentile(values, count, 0.5);
}
