// Tests for the ball field: generator sequence, ball size, placement, placing again and motion.
#include "saver/ball_field.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>

namespace {

constexpr ClientRect kScreen{0, 0, 1920, 1080};
constexpr int32_t kFullScreen = 1;
constexpr int32_t kPreview = 0;
constexpr int32_t kSentinel = 12345;

class BallFieldTest : public ::testing::Test {
protected:
    void SetUp() override { ballField = BallField{}; }
};

uint32_t stateAfterDraws(uint32_t seed, int draws)
{
    seedRandom(ballField, seed);
    for (int i = 0; i < draws; ++i) {
        nextRandom(ballField);
    }
    return ballField.randomState;
}

void fillWithSentinel()
{
    for (int i = 0; i < kMaxBalls; ++i) {
        ballField.x[i] = ballField.y[i] = ballField.vx[i] = ballField.vy[i] = kSentinel;
        ballField.imageIndex[i] = kSentinel;
    }
}

void expectSentinelFrom(int first)
{
    for (int i = first; i < kMaxBalls; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(ballField.x[i], kSentinel);
        EXPECT_EQ(ballField.y[i], kSentinel);
        EXPECT_EQ(ballField.vx[i], kSentinel);
        EXPECT_EQ(ballField.vy[i], kSentinel);
        EXPECT_EQ(ballField.imageIndex[i], kSentinel);
    }
}

bool isUnitVelocity(int32_t v)
{
    return v == 1 || v == -1;
}

TEST_F(BallFieldTest, GeneratorFromSeedOneGivesPinnedSequence)
{
    const int32_t expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    seedRandom(ballField, 1);
    for (int32_t value : expected) {
        EXPECT_EQ(nextRandom(ballField), value);
    }
}

struct SizeCase {
    int32_t saverMode;
    int32_t fieldHeight;
    int32_t screenHeight;
    int32_t ballScale;
    int32_t expected;
};

TEST_F(BallFieldTest, BallSizeFollowsModeHeightAndScale)
{
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const SizeCase cases[] = {
        {kFullScreen, 1080, 1080, 0, 56},
        {kFullScreen, 1080, 1080, 1, 84},
        {kFullScreen, 1080, 1080, 2, 112},
        {kFullScreen, 30, 480, 0, 56},
        {kFullScreen, 30, 0, 2, 112},
        {kFullScreen, 1080, 1080, 7, 112},
        {kFullScreen, 1080, 1080, -1, 112},
        {kPreview, 112, 1080, 0, 5},
        {kPreview, 112, 1080, 1, 6},
        {kPreview, 112, 1080, 2, 11},
        {kPreview, 200, 1080, 0, 10},
        {kPreview, 200, 1080, 1, 15},
        {kPreview, 200, 1080, 2, 20},
        {kPreview, 200, 1080, 3, 20},
        {kPreview, 5, 1080, 0, 0},
        {kPreview, 5, 1080, 1, 0},
        {kPreview, 5, 1080, 2, 1},
        {kPreview, 0, 1080, 2, 1},
        {kPreview, -50, 1080, 2, 1},
        // An unknown screen height gives the smallest base instead of dividing by zero.
        {kPreview, 200, 0, 2, 1},
        {kPreview, 200, -1080, 2, 1},
        // Large heights neither overflow the product nor the result.
        {kPreview, kMax, kMax, 2, 112},
        {kPreview, 2000000000, 1080, 2, 207407407},
        {kPreview, kMax, 1, 2, kMax},
        {kPreview, kMax, 1, 1, (kMax / 4) * 3},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(::testing::Message() << "mode " << c.saverMode << " h " << c.fieldHeight << " H "
                                          << c.screenHeight << " scale " << c.ballScale);
        EXPECT_EQ(computeBallSize(c.saverMode, c.fieldHeight, c.screenHeight, c.ballScale), c.expected);
    }
}

TEST_F(BallFieldTest, PlacementFromSeedOneMatchesWorkedExample)
{
    seedRandom(ballField, 1);
    placeBalls(ballField, kScreen, 2, 2, kFullScreen, 1080);
    EXPECT_EQ(ballField.ballSize, 112);
    EXPECT_EQ(ballField.imageIndex[0], 1);
    EXPECT_EQ(ballField.x[0], 377);
    EXPECT_EQ(ballField.y[0], 520);
    EXPECT_EQ(ballField.vx[0], 1);
    EXPECT_EQ(ballField.vy[0], 1);
    EXPECT_EQ(ballField.imageIndex[1], 6);
    EXPECT_EQ(ballField.x[1], 1636);
    EXPECT_EQ(ballField.y[1], 239);
    EXPECT_EQ(ballField.vx[1], -1);
    EXPECT_EQ(ballField.vy[1], -1);
}

struct CountCase {
    int32_t ballCount;
    int draws;
};

TEST_F(BallFieldTest, PlacementDrawsSevenTimesPerBallAndLeavesTheRestAlone)
{
    const CountCase cases[] = {{5, 35}, {30, 210}, {0, 0}, {-3, 0}, {kMaxBalls, 350}, {1000, 350}};
    for (const CountCase& c : cases) {
        SCOPED_TRACE(c.ballCount);
        fillWithSentinel();
        const uint32_t expectedState = stateAfterDraws(99, c.draws);
        seedRandom(ballField, 99);
        placeBalls(ballField, kScreen, c.ballCount, 2, kFullScreen, 1080);
        EXPECT_EQ(ballField.randomState, expectedState);
        const int placed = c.draws / 7;
        EXPECT_EQ(ballField.ballCount, placed);
        for (int i = 0; i < placed; ++i) {
            EXPECT_LT(ballField.imageIndex[i], 8);
            EXPECT_TRUE(isUnitVelocity(ballField.vx[i]) && isUnitVelocity(ballField.vy[i]));
        }
        expectSentinelFrom(placed);
    }
}

TEST_F(BallFieldTest, MotionLeavesEntriesPastBallCountAlone)
{
    fillWithSentinel();
    seedRandom(ballField, 7);
    placeBalls(ballField, kScreen, 5, 2, kFullScreen, 1080);
    for (int step = 0; step < 2000; ++step) {
        moveBalls(ballField, kScreen);
    }
    expectSentinelFrom(5);
    const BallField before = ballField;
    ballField.ballCount = 0;
    moveBalls(ballField, kScreen);
    EXPECT_EQ(ballField.x[0], before.x[0]);
    EXPECT_EQ(ballField.y[4], before.y[4]);
}

struct BallState {
    int32_t x, y, vx, vy;
};

struct ReflectionCase {
    const char* name;
    BallState start;
    BallState after[3];
};

TEST_F(BallFieldTest, MotionMirrorsAtEveryEdge)
{
    // 1920 x 1080 with ball size 112: limits 1808 and 968.
    const ReflectionCase cases[] = {
        {"right, then up off the top", {1807, 1, 1, -1}, {{1808, 0, 1, -1}, {1807, 1, -1, 1}, {1806, 2, -1, 1}}},
        {"left", {1, 500, -1, 1}, {{0, 501, -1, 1}, {1, 502, 1, 1}, {2, 503, 1, 1}}},
        {"bottom", {700, 967, 1, 1}, {{701, 968, 1, 1}, {702, 967, 1, -1}, {703, 966, 1, -1}}},
        {"top left corner", {0, 0, -1, -1}, {{1, 1, 1, 1}, {2, 2, 1, 1}, {3, 3, 1, 1}}},
        {"bottom right corner",
         {1808, 968, 1, 1},
         {{1807, 967, -1, -1}, {1806, 966, -1, -1}, {1805, 965, -1, -1}}},
        {"top right corner", {1808, 0, 1, -1}, {{1807, 1, -1, 1}, {1806, 2, -1, 1}, {1805, 3, -1, 1}}},
    };
    for (const ReflectionCase& c : cases) {
        SCOPED_TRACE(c.name);
        ballField.ballSize = 112;
        ballField.ballCount = 1;
        ballField.x[0] = c.start.x;
        ballField.y[0] = c.start.y;
        ballField.vx[0] = c.start.vx;
        ballField.vy[0] = c.start.vy;
        for (const BallState& expected : c.after) {
            moveBalls(ballField, kScreen);
            EXPECT_EQ(ballField.x[0], expected.x);
            EXPECT_EQ(ballField.y[0], expected.y);
            EXPECT_EQ(ballField.vx[0], expected.vx);
            EXPECT_EQ(ballField.vy[0], expected.vy);
        }
    }
}

TEST_F(BallFieldTest, BallsStayInsideRandomFields)
{
    std::mt19937 sizes(2024);
    for (int field = 0; field < 40; ++field) {
        const int32_t saverMode = field % 2;
        const int32_t ballScale = field % 3;
        // Preview balls are always lower than the field; full-screen ones need 113 pixels.
        const int32_t w = std::uniform_int_distribution<int32_t>(113, 2600)(sizes);
        const int32_t h = std::uniform_int_distribution<int32_t>(saverMode != 0 ? 113 : 2, 1600)(sizes);
        const ClientRect client{0, 0, w, h};
        seedRandom(ballField, static_cast<uint32_t>(sizes()));
        placeBalls(ballField, client, 30, ballScale, saverMode, 1080);
        const int32_t size = ballField.ballSize;
        SCOPED_TRACE(::testing::Message() << w << "x" << h << " ball " << size);
        ASSERT_LT(size, h) << "the field must be larger than a ball for this test";
        for (int step = 0; step <= 2500; ++step) {
            for (int i = 0; i < 30; ++i) {
                ASSERT_TRUE(ballField.x[i] >= 0 && ballField.x[i] <= w - size) << "ball " << i << " step " << step;
                ASSERT_TRUE(ballField.y[i] >= 0 && ballField.y[i] <= h - size) << "ball " << i << " step " << step;
                ASSERT_TRUE(isUnitVelocity(ballField.vx[i]) && isUnitVelocity(ballField.vy[i]));
            }
            moveBalls(ballField, client);
        }
    }
}

struct SmallFieldCase {
    const char* name;
    ClientRect client;
    int32_t saverMode;
    int32_t ballScale;
    bool narrow;  // not wider than a ball
    bool low;     // not higher than a ball
};

TEST_F(BallFieldTest, FieldNoLargerThanABallKeepsBallsAtZero)
{
    const SmallFieldCase cases[] = {
        {"0x0 full screen", {0, 0, 0, 0}, kFullScreen, 2, true, true},
        {"0x0 preview", {0, 0, 0, 0}, kPreview, 2, true, true},
        {"1x1 preview", {0, 0, 1, 1}, kPreview, 2, true, true},
        {"negative", {0, 0, -40, -7}, kFullScreen, 0, true, true},
        {"one ball wide", {0, 0, 112, 1080}, kFullScreen, 2, true, false},
        {"one ball high", {0, 0, 1920, 112}, kFullScreen, 2, false, true},
        {"narrower than a ball", {0, 0, 30, 1080}, kFullScreen, 2, true, false},
    };
    for (const SmallFieldCase& c : cases) {
        SCOPED_TRACE(c.name);
        ballField = BallField{};
        const uint32_t expectedState = stateAfterDraws(5, 7 * 10);
        seedRandom(ballField, 5);
        placeBalls(ballField, c.client, 10, c.ballScale, c.saverMode, 1080);
        EXPECT_EQ(ballField.randomState, expectedState);
        const int32_t limitX = c.client.right - ballField.ballSize;
        const int32_t limitY = c.client.bottom - ballField.ballSize;
        for (int step = 0; step <= 500; ++step) {
            for (int i = 0; i < 10; ++i) {
                if (c.narrow) {
                    ASSERT_EQ(ballField.x[i], 0);
                } else {
                    ASSERT_TRUE(ballField.x[i] >= 0 && ballField.x[i] <= limitX);
                }
                if (c.low) {
                    ASSERT_EQ(ballField.y[i], 0);
                } else {
                    ASSERT_TRUE(ballField.y[i] >= 0 && ballField.y[i] <= limitY);
                }
                ASSERT_TRUE(isUnitVelocity(ballField.vx[i]) && isUnitVelocity(ballField.vy[i]));
            }
            moveBalls(ballField, c.client);
        }
    }
}

TEST_F(BallFieldTest, ZeroSizedBallsInATinyPreviewUseTheWholeField)
{
    // 1x1 at 50 %: ball size 0, so every ball moves between 0 and 1.
    const ClientRect client{0, 0, 1, 1};
    seedRandom(ballField, 3);
    placeBalls(ballField, client, 8, 0, kPreview, 1080);
    ASSERT_EQ(ballField.ballSize, 0);
    for (int step = 0; step < 4; ++step) {
        moveBalls(ballField, client);
        for (int i = 0; i < 8; ++i) {
            ASSERT_TRUE(ballField.x[i] == 0 || ballField.x[i] == 1);
            ASSERT_TRUE(ballField.y[i] == 0 || ballField.y[i] == 1);
        }
    }
}

// Eight and more balls are stepped four at a time; each must move exactly as
// it does alone.
TEST_F(BallFieldTest, BallsSteppedTogetherMirrorAsEachAlone)
{
    const BallState starts[] = {
        {1807, 1, 1, -1},  {1, 500, -1, 1},  {700, 967, 1, 1}, {0, 0, -1, -1},
        {1808, 968, 1, 1}, {1808, 0, 1, -1}, {0, 968, -1, 1},  {904, 484, 1, -1},
    };
    constexpr int kCount = 8;
    ballField.ballSize = 112;
    ballField.ballCount = kCount;
    for (int i = 0; i < kCount; ++i) {
        ballField.x[i] = starts[i].x;
        ballField.y[i] = starts[i].y;
        ballField.vx[i] = starts[i].vx;
        ballField.vy[i] = starts[i].vy;
    }
    for (int step = 0; step < 2000; ++step) {
        const BallField before = ballField;
        moveBalls(ballField, kScreen);
        const BallField together = ballField;
        for (int i = 0; i < kCount; ++i) {
            ballField = BallField{};
            ballField.ballSize = before.ballSize;
            ballField.ballCount = 1;
            ballField.x[0] = before.x[i];
            ballField.y[0] = before.y[i];
            ballField.vx[0] = before.vx[i];
            ballField.vy[0] = before.vy[i];
            moveBalls(ballField, kScreen);
            ASSERT_EQ(together.x[i], ballField.x[0]) << "ball " << i << " step " << step;
            ASSERT_EQ(together.y[i], ballField.y[0]) << "ball " << i << " step " << step;
            ASSERT_EQ(together.vx[i], ballField.vx[0]) << "ball " << i << " step " << step;
            ASSERT_EQ(together.vy[i], ballField.vy[0]) << "ball " << i << " step " << step;
        }
        ballField = together;
    }
}

TEST_F(BallFieldTest, OnlyBallsThatWouldLeaveTheFieldArePlacedAgain)
{
    ballField.ballSize = 20;
    ballField.ballCount = 5;
    const int32_t xs[] = {0, 80, 81, 30, 500};
    const int32_t ys[] = {0, 40, 10, 41, 500};
    for (int i = 0; i < 5; ++i) {
        ballField.x[i] = xs[i];
        ballField.y[i] = ys[i];
        ballField.vx[i] = -1;
        ballField.vy[i] = 1;
        ballField.imageIndex[i] = i;
    }
    seedRandom(ballField, 1);  // draws 41, 18467, 6334, 26500, 19169, 15724
    placeStrayBalls(ballField, {0, 0, 100, 60});
    const int32_t expectedX[] = {0, 80, 41 % 81, 6334 % 81, 19169 % 81};
    const int32_t expectedY[] = {0, 40, 18467 % 41, 26500 % 41, 15724 % 41};
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(expectedX[i], ballField.x[i]);
        EXPECT_EQ(expectedY[i], ballField.y[i]);
        EXPECT_EQ(-1, ballField.vx[i]);
        EXPECT_EQ(1, ballField.vy[i]);
        EXPECT_EQ(i, ballField.imageIndex[i]);
    }

    // A field not larger than a ball keeps every ball at 0 on that axis.
    placeStrayBalls(ballField, {0, 0, 10, 60});
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(0, ballField.x[i]);
        EXPECT_GE(ballField.y[i], 0);
        EXPECT_LE(ballField.y[i], 40);
    }
}

}  // namespace
