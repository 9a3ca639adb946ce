// The ball field: ball size, placement and motion, and the pseudo-random generator.
#include "saver/ball_field.h"

#include <cstdint>
#include <limits>

BallField ballField;

namespace {

constexpr int32_t kFullScreenBase = 112;

int32_t clampBallCount(int32_t ballCount)
{
    if (ballCount < 0) {
        return 0;
    }
    return ballCount > kMaxBalls ? kMaxBalls : ballCount;
}

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

// The highest position a ball may take on an axis of the given extent;
// 0 or less when the axis is not larger than a ball.
int64_t axisLimit(int32_t extent)
{
    return int64_t{extent} - ballField.ballSize;
}

// Draws one position in 0..limit; an axis not larger than a ball still
// consumes its draw but keeps the ball at 0.
int32_t drawPosition(int64_t limit)
{
    const int32_t draw = nextRandom();
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

} // namespace

void seedRandom(uint32_t seed)
{
    ballField.randomState = seed;
}

int32_t nextRandom()
{
    ballField.randomState = ballField.randomState * 214013u + 2531011u;
    return static_cast<int32_t>((ballField.randomState >> 16) & 0x7FFFu);
}

int32_t computeBallSize(int32_t saverMode, int32_t fieldHeight, int32_t screenHeight, int32_t ballScale)
{
    const int32_t base = saverMode != 0 ? kFullScreenBase : previewBase(fieldHeight, screenHeight);
    switch (ballScale) {
    case 0:
        return base / 2;
    case 1:
        return (base / 4) * 3;
    default:
        return base;
    }
}

void placeBalls(const ClientRect& client, int32_t ballCount, int32_t ballScale, int32_t saverMode,
                int32_t screenHeight)
{
    ballField.ballSize = computeBallSize(saverMode, client.bottom, screenHeight, ballScale);
    const int64_t limitX = axisLimit(client.right);
    const int64_t limitY = axisLimit(client.bottom);
    const int32_t count = clampBallCount(ballCount);
    for (int32_t i = 0; i < count; ++i) {
        ballField.imageIndex[i] = nextRandom() % 8;
        ballField.x[i] = drawPosition(limitX);
        ballField.y[i] = drawPosition(limitY);
        nextRandom();
        nextRandom();
        ballField.vx[i] = (nextRandom() % 2 != 0) ? -1 : 1;
        ballField.vy[i] = (nextRandom() % 2 != 0) ? -1 : 1;
    }
}

void moveBalls(const ClientRect& client, int32_t ballCount)
{
    const int64_t limitX = axisLimit(client.right);
    const int64_t limitY = axisLimit(client.bottom);
    const int32_t count = clampBallCount(ballCount);
    for (int32_t i = 0; i < count; ++i) {
        stepAxis(ballField.x[i], ballField.vx[i], limitX);
        stepAxis(ballField.y[i], ballField.vy[i], limitY);
    }
}
