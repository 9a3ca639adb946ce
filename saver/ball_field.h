// The ball field: ball size, positions, directions and pictures, with the
// program's own pseudo-random generator. Plain integer pixel arithmetic.
#pragma once

#include <cstdint>

constexpr int kMaxBalls = 50;

// The balls move one step every tick of this many milliseconds (33.3 a second).
constexpr int32_t kTickMilliseconds = 30;

// A client area in pixels; left and top are 0, right is the width and
// bottom the height.
struct ClientRect {
    int32_t left;
    int32_t top;
    int32_t right;
    int32_t bottom;
};

struct BallField {
    int32_t x[kMaxBalls];
    int32_t y[kMaxBalls];
    int32_t vx[kMaxBalls];
    int32_t vy[kMaxBalls];
    int32_t imageIndex[kMaxBalls];
    int32_t ballSize;
    uint32_t randomState;
    int32_t ballCount;  // balls in use, 0..kMaxBalls; set by placeBalls
};

// The Windows program's one field. Every function below works on the field its caller names,
// so that a front end with several surfaces can hold one field per surface.
extern BallField ballField;

void seedRandom(BallField& field, uint32_t seed);

// One draw, 0..32767.
int32_t nextRandom(BallField& field);

// The number of balls a field holds for a requested count: 0..kMaxBalls.
int32_t clampBallCount(int32_t ballCount);

// The common ball size for a field of the given height. saverMode is 1 in
// full-screen saver mode and 0 in preview mode, where the size follows the
// ratio of the field height to screenHeight.
int32_t computeBallSize(int32_t saverMode, int32_t fieldHeight, int32_t screenHeight, int32_t ballScale);

// Fixes ballSize and the field's ballCount (clampBallCount of the requested count), then places
// that many balls (seven draws each).
void placeBalls(BallField& field, const ClientRect& client, int32_t ballCount, int32_t ballScale,
                int32_t saverMode, int32_t screenHeight);

// After ballSize or the field changed: each of the field's balls that no longer lies wholly
// inside the field is placed again, its position drawn from the generator as placeBalls draws
// it; its picture and direction stay. An axis not larger than a ball keeps the ball at 0.
void placeStrayBalls(BallField& field, const ClientRect& client);

// Moves each of the field's balls one pixel per axis, mirroring it at the field's edges.
void moveBalls(BallField& field, const ClientRect& client);
