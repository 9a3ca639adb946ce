// The clock of the Linux front ends' frame deadlines and presentation times.
#pragma once

#include <time.h>

#include <cstdint>

// CLOCK_MONOTONIC in nanoseconds.
inline int64_t monotonicNanos()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}
