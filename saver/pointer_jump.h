// The pointer rule of the full-screen saver in every display mode: a jump of more than 10 pixels
// on either axis from the reference ends the run. Platform-free.
#pragma once

#include <cstdint>

// How many pixels the pointer may move on either axis from its reference without ending the run.
constexpr int64_t kPointerTolerance = 10;

// True when (x, y) lies more than kPointerTolerance from (referenceX, referenceY) on either axis.
constexpr bool isPointerJump(int64_t referenceX, int64_t referenceY, int64_t x, int64_t y)
{
    return x - referenceX > kPointerTolerance || referenceX - x > kPointerTolerance ||
           y - referenceY > kPointerTolerance || referenceY - y > kPointerTolerance;
}
