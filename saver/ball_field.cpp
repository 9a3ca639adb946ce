// The ball field: ball size, placement and motion, and the pseudo-random generator.
#include "saver/ball_field.h"

#include "settings/settings.h"

#include <cstdint>
#include <limits>

BallField ballField;

namespace {

constexpr int32_t kFullScreenBase = 112;

// The base size in preview mode: the full-screen base scaled by the field's
// share of the screen height, at least 1. An unknown screen height (<= 0)
// gives the smallest base.
int32_t previewBase(int32_t fieldHeight, int32_t screenHeight)
{
    if (screenHeight <= 0) {
        return 1;
    }
    const int64_t base = int64_t{fieldHeight} * kFullScreenBase / screenHeight;
    if (base < 1) {
        return 1;
    }
    const int64_t largest = std::numeric_limits<int32_t>::max();
    return static_cast<int32_t>(base > largest ? largest : base);
}

// The highest position a ball of the field may take on an axis of the given
// extent; 0 or less when the axis is not larger than a ball.
int64_t axisLimit(const BallField& field, int32_t extent)
{
    return int64_t{extent} - field.ballSize;
}

// Draws one position in 0..limit; an axis not larger than a ball still
// consumes its draw but keeps the ball at 0.
int32_t drawPosition(BallField& field, int64_t limit)
{
    const int32_t draw = nextRandom(field);
    return limit > 0 ? static_cast<int32_t>(draw % (limit + 1)) : 0;
}

// One step along one axis, mirrored at 0 and at limit. On an axis not larger
// than a ball the ball stays at 0 and keeps its velocity.
void stepAxis(int32_t& position, int32_t& velocity, int64_t limit)
{
    if (limit <= 0) {
        position = 0;
        return;
    }
    int64_t next = int64_t{position} + velocity;
    if (next < 0) {
        next = -next;
        velocity = -velocity;
    }
    if (next > limit) {
        next = 2 * limit - next;
        velocity = -velocity;
    }
    position = static_cast<int32_t>(next);
}

// stepAxis for an axis larger than a ball (limit >= 1), without branches, so
// that the compiler can step four balls in one vector operation. The sums
// wrap as unsigned values instead of overflowing, and the reflection tests
// are made on the exact values, so the result is stepAxis's for every
// position and velocity.
inline void stepMirrored(int32_t& position, int32_t& velocity, uint32_t limit)
{
    const uint32_t p = static_cast<uint32_t>(position);
    const uint32_t v = static_cast<uint32_t>(velocity);
    const uint32_t sum = p + v;
    // The sum is negative when its sign bit is set, unless the addition
    // overflowed, which flips that bit.
    const uint32_t negative = (sum >> 31) ^ (((p ^ sum) & (v ^ sum)) >> 31);
    const uint32_t negativeMask = 0u - negative;
    const uint32_t distance = (sum ^ negativeMask) - negativeMask;  // |position + velocity|
    const uint32_t beyondMask = 0u - static_cast<uint32_t>(distance > limit);
    const uint32_t reverseMask = negativeMask ^ beyondMask;
    position = static_cast<int32_t>((distance & ~beyondMask) | ((2u * limit - distance) & beyondMask));
    velocity = static_cast<int32_t>((v ^ reverseMask) - reverseMask);
}

// True when position lies outside 0..limit (0 when the axis is not larger than a ball).
bool strays(int32_t position, int64_t limit)
{
    return position < 0 || position > (limit > 0 ? limit : 0);
}

}  // namespace

int32_t clampBallCount(int32_t ballCount)
{
    if (ballCount < 0) {
        return 0;
    }
    return ballCount > kMaxBalls ? kMaxBalls : ballCount;
}

void seedRandom(BallField& field, uint32_t seed)
{
    field.randomState = seed;
}

int32_t nextRandom(BallField& field)
{
    field.randomState = field.randomState * 214013u + 2531011u;
    return static_cast<int32_t>((field.randomState >> 16) & 0x7FFFu);
}

int32_t computeBallSize(int32_t saverMode, int32_t fieldHeight, int32_t screenHeight, int32_t ballScale)
{
    const int32_t base = saverMode != 0 ? kFullScreenBase : previewBase(fieldHeight, screenHeight);
    switch (ballScale) {
    case kScale50: return base / 2;
    case kScale75: return (base / 4) * 3;
    default: return base;
    }
}

void placeBalls(BallField& field, const ClientRect& client, int32_t ballCount, int32_t ballScale,
                int32_t saverMode, int32_t screenHeight)
{
    field.ballSize = computeBallSize(saverMode, client.bottom, screenHeight, ballScale);
    field.ballCount = clampBallCount(ballCount);
    const int64_t limitX = axisLimit(field, client.right);
    const int64_t limitY = axisLimit(field, client.bottom);
    for (int32_t i = 0; i < field.ballCount; ++i) {
        field.imageIndex[i] = nextRandom(field) % 8;
        field.x[i] = drawPosition(field, limitX);
        field.y[i] = drawPosition(field, limitY);
        nextRandom(field);
        nextRandom(field);
        field.vx[i] = (nextRandom(field) % 2 != 0) ? -1 : 1;
        field.vy[i] = (nextRandom(field) % 2 != 0) ? -1 : 1;
    }
}

void placeStrayBalls(BallField& field, const ClientRect& client)
{
    const int64_t limitX = axisLimit(field, client.right);
    const int64_t limitY = axisLimit(field, client.bottom);
    for (int32_t i = 0; i < field.ballCount; ++i) {
        if (strays(field.x[i], limitX) || strays(field.y[i], limitY)) {
            field.x[i] = drawPosition(field, limitX);
            field.y[i] = drawPosition(field, limitY);
        }
    }
}

void moveBalls(BallField& field, const ClientRect& client)
{
    const int64_t limitX = axisLimit(field, client.right);
    const int64_t limitY = axisLimit(field, client.bottom);
    const int32_t count = field.ballCount;
    int32_t i = 0;
    if (limitX > 0 && limitY > 0) {
        const uint32_t mirrorX = static_cast<uint32_t>(limitX);
        const uint32_t mirrorY = static_cast<uint32_t>(limitY);
        // Four balls written out, so that each axis of them becomes one
        // vector step.
        for (; i + 4 <= count; i += 4) {
            stepMirrored(field.x[i], field.vx[i], mirrorX);
            stepMirrored(field.x[i + 1], field.vx[i + 1], mirrorX);
            stepMirrored(field.x[i + 2], field.vx[i + 2], mirrorX);
            stepMirrored(field.x[i + 3], field.vx[i + 3], mirrorX);
            stepMirrored(field.y[i], field.vy[i], mirrorY);
            stepMirrored(field.y[i + 1], field.vy[i + 1], mirrorY);
            stepMirrored(field.y[i + 2], field.vy[i + 2], mirrorY);
            stepMirrored(field.y[i + 3], field.vy[i + 3], mirrorY);
        }
    }
    for (; i < count; ++i) {
        stepAxis(field.x[i], field.vx[i], limitX);
        stepAxis(field.y[i], field.vy[i], limitY);
    }
}
