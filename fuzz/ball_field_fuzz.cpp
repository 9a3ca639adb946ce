// Fuzz target: places balls in arbitrary fields (empty, negative, huge) with arbitrary counts,
// scales, modes, screen heights and seeds, moves them a number of steps, and checks placement
// against the draw rules (seven draws per ball) and every step against the mirror rules.
#include "saver/ball_field.h"
#include "fuzz/fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <limits>

namespace {

constexpr int32_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int32_t kInt32Max = std::numeric_limits<int32_t>::max();
constexpr int32_t kMaxSteps = 1024;

// Distinct per entry and array, so that a write to the wrong entry shows.
int32_t sentinel(int array, int index)
{
    return 0x5A000000 + array * 0x10000 + index;
}

void fillWithSentinels()
{
    for (int i = 0; i < kMaxBalls; ++i) {
        ballField.x[i] = sentinel(0, i);
        ballField.y[i] = sentinel(1, i);
        ballField.vx[i] = sentinel(2, i);
        ballField.vy[i] = sentinel(3, i);
        ballField.imageIndex[i] = sentinel(4, i);
    }
}

void checkSentinelsFrom(int32_t first)
{
    for (int i = first; i < kMaxBalls; ++i) {
        FUZZ_CHECK(ballField.x[i] == sentinel(0, i));
        FUZZ_CHECK(ballField.y[i] == sentinel(1, i));
        FUZZ_CHECK(ballField.vx[i] == sentinel(2, i));
        FUZZ_CHECK(ballField.vy[i] == sentinel(3, i));
        FUZZ_CHECK(ballField.imageIndex[i] == sentinel(4, i));
    }
}

int32_t pickExtent(FuzzedDataProvider& input)
{
    switch (input.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return 0;
    case 1: return input.ConsumeIntegralInRange<int32_t>(-300, -1);
    case 2: return input.ConsumeIntegralInRange<int32_t>(1, 120);
    case 3: return input.ConsumeIntegralInRange<int32_t>(100, 5000);
    case 4: return kInt32Max;
    case 5: return kInt32Min;
    default: return input.ConsumeIntegral<int32_t>();
    }
}

int32_t pickSmallOrAny(FuzzedDataProvider& input, int32_t low, int32_t high)
{
    return input.ConsumeBool() ? input.ConsumeIntegralInRange<int32_t>(low, high)
                               : input.ConsumeIntegral<int32_t>();
}

// The ball size by the sizing rules, or -1 where they leave it open: a saver-mode flag other
// than 0 or 1, an unknown screen height, or a field height whose 32-bit product would overflow.
int64_t expectedBallSize(int32_t saverMode, int32_t fieldHeight, int32_t screenHeight, int32_t ballScale)
{
    int64_t base = 112;
    if (saverMode == 0) {
        if (screenHeight <= 0 || int64_t{fieldHeight} * 112 > kInt32Max ||
            int64_t{fieldHeight} * 112 < kInt32Min) {
            return -1;
        }
        base = int64_t{fieldHeight} * 112 / screenHeight;
        if (base < 1) {
            base = 1;
        }
    } else if (saverMode != 1) {
        return -1;
    }
    switch (ballScale) {
    case 0: return base / 2;
    case 1: return (base / 4) * 3;
    default: return base;
    }
}

// The highest position on an axis; 0 or less when the axis is not larger than a ball.
int64_t limitOf(int32_t extent)
{
    return int64_t{extent} - ballField.ballSize;
}

void checkPlacement(const ClientRect& field, int32_t count, uint32_t seed)
{
    const int64_t limitX = limitOf(field.right);
    const int64_t limitY = limitOf(field.bottom);
    uint32_t state = seed;
    auto draw = [&state] {
        state = state * 214013u + 2531011u;
        return static_cast<int64_t>((state >> 16) & 0x7FFFu);
    };
    for (int32_t i = 0; i < count; ++i) {
        FUZZ_CHECK(ballField.imageIndex[i] == draw() % 8);
        const int64_t drawX = draw();
        const int64_t drawY = draw();
        FUZZ_CHECK(ballField.x[i] == (limitX > 0 ? drawX % (limitX + 1) : 0));
        FUZZ_CHECK(ballField.y[i] == (limitY > 0 ? drawY % (limitY + 1) : 0));
        draw();
        draw();
        FUZZ_CHECK(ballField.vx[i] == (draw() % 2 != 0 ? -1 : 1));
        FUZZ_CHECK(ballField.vy[i] == (draw() % 2 != 0 ? -1 : 1));
    }
    FUZZ_CHECK(ballField.randomState == state);
}

// One axis of one step: on an axis larger than a ball the ball moves exactly one pixel, in the
// direction of its new velocity, and stays within 0..limit; otherwise it stays at 0 and keeps
// its velocity.
void checkAxisStep(int32_t before, int32_t velocityBefore, int32_t after, int32_t velocityAfter, int64_t limit)
{
    FUZZ_CHECK(velocityAfter == 1 || velocityAfter == -1);
    if (limit <= 0) {
        FUZZ_CHECK(after == 0);
        FUZZ_CHECK(velocityAfter == velocityBefore);
        return;
    }
    FUZZ_CHECK(after >= 0 && after <= limit);
    FUZZ_CHECK(int64_t{after} - before == velocityAfter);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    ClientRect field{};
    field.right = pickExtent(input);
    field.bottom = pickExtent(input);
    field.left = input.ConsumeBool() ? 0 : input.ConsumeIntegral<int32_t>();
    field.top = input.ConsumeBool() ? 0 : input.ConsumeIntegral<int32_t>();
    const int32_t ballCount = pickSmallOrAny(input, -2, kMaxBalls + 2);
    const int32_t ballScale = pickSmallOrAny(input, -1, 3);
    const int32_t saverMode = pickSmallOrAny(input, 0, 1);
    const int32_t screenHeight = pickSmallOrAny(input, -2, 2160);
    const uint32_t seed = input.ConsumeIntegral<uint32_t>();
    const int32_t steps = input.ConsumeIntegralInRange<int32_t>(0, kMaxSteps);
    const int32_t count = ballCount < 0 ? 0 : (ballCount > kMaxBalls ? kMaxBalls : ballCount);

    fillWithSentinels();
    seedRandom(ballField, seed);
    placeBalls(ballField, field, ballCount, ballScale, saverMode, screenHeight);
    FUZZ_CHECK(ballField.ballSize >= 0);
    const int64_t expectedSize = expectedBallSize(saverMode, field.bottom, screenHeight, ballScale);
    FUZZ_CHECK(expectedSize < 0 || ballField.ballSize == expectedSize);
    FUZZ_CHECK(ballField.ballCount == count);
    checkPlacement(field, count, seed);
    checkSentinelsFrom(count);

    const int64_t limitX = limitOf(field.right);
    const int64_t limitY = limitOf(field.bottom);
    for (int32_t step = 0; step < steps; ++step) {
        const BallField before = ballField;
        moveBalls(ballField, field);
        for (int32_t i = 0; i < count; ++i) {
            checkAxisStep(before.x[i], before.vx[i], ballField.x[i], ballField.vx[i], limitX);
            checkAxisStep(before.y[i], before.vy[i], ballField.y[i], ballField.vy[i], limitY);
            FUZZ_CHECK(ballField.imageIndex[i] == before.imageIndex[i]);
        }
        FUZZ_CHECK(ballField.ballSize == before.ballSize);
        FUZZ_CHECK(ballField.randomState == before.randomState);
    }
    checkSentinelsFrom(count);
    return 0;
}
