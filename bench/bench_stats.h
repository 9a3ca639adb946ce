// Statistics and table rows shared by the benchmarks: the spread of a set of
// timings (median, extremes, percentiles, median absolute deviation) and its
// printing as one table row. Platform-free: standard C++ only.
#pragma once

#include <cstddef>
#include <vector>

struct Spread {
    size_t count = 0;
    double median = 0, min = 0, p10 = 0, p90 = 0, max = 0, mad = 0;
};

// The value at fraction (0..1) of a sorted sample, interpolated linearly
// between the two closest ranks; 0 for an empty sample.
double percentile(const std::vector<double>& sorted, double fraction);

// Median, extremes, 10th and 90th percentiles and the median absolute
// deviation of the samples, in any order; all 0 for no samples.
Spread spreadOf(std::vector<double> samples);

// The differences between neighbouring times: one fewer than the times.
std::vector<double> intervalsOf(const std::vector<double>& times);

// Aligned columns for a terminal, or a Markdown table for a page.
enum class TableStyle { aligned, markdown };

// The column heads: firstColumn, then n, median, min, p10, p90, max and MAD.
// In Markdown the line of column alignments follows. extraColumn, when given,
// heads a last column for the rows' tails.
void printSpreadHeader(const char* firstColumn, TableStyle style = TableStyle::aligned,
                       const char* extraColumn = nullptr);

// One row: the name, the count and the six figures with three decimals, then
// tail (aligned: written as it is; Markdown: one more cell).
void printSpreadRow(const char* name, const Spread& spread, const char* tail = "",
                    TableStyle style = TableStyle::aligned);
