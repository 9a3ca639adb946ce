// Tests for the Linux frame composition with pixman in memory: the per-pixel rule
// of the balls, their order and clipping, the backgrounds, and drawing only what changed.
#include "saver/frame_linux.h"

#include <gtest/gtest.h>

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "saver/ball_field.h"
#include "saver/ball_pictures_linux.h"
#include "support/png_writer.h"

namespace {

// Per channel, right and wrong blends differ by far more than this.
constexpr int kBlendTolerance = 2;
constexpr uint32_t kUntouched = 0x5a5a5a5au;

constexpr uint32_t rgb(uint32_t r, uint32_t g, uint32_t b)
{
    return r << 16 | g << 8 | b;
}

// A frame buffer with stride padding filled with kUntouched, so a write past
// the frame's width shows.
struct Frame {
    Frame(int32_t width, int32_t height, int32_t padding = 0)
        : stride(width + padding),
          values(static_cast<size_t>(stride) * height + 1, kUntouched),
          pixels{values.data(), width, height, stride * 4}
    {
    }
    uint32_t at(int x, int y) const { return values[y * stride + x]; }
    int32_t stride;
    std::vector<uint32_t> values;
    FramePixels pixels;
};

class FrameComposition : public ::testing::Test {
protected:
    void TearDown() override
    {
        releaseBufferRecord(record);
        releaseSurfaceFrame(surface);
        releaseBallMask();
    }

    // The whole frame of the balls 0 to count - 1.
    void compose(const Frame& frame, int32_t count)
    {
        field.ballCount = count;
        composeFrame(surface, field, record, frame.pixels, false);
    }

    // Thumbnail slot from a PNG of one colour, read as the program reads it.
    void makeBallPicture(int slot, Rgba colour, int32_t size)
    {
        char path[] = "/tmp/zephyrine-frame-XXXXXX";
        const int fd = mkstemp(path);
        ASSERT_NE(-1, fd);
        close(fd);
        ASSERT_TRUE(writeFile(path, solidPng(4, 4, colour)));
        Picture picture;
        const int loaded = loadPicture(path, picture);
        unlink(path);
        ASSERT_EQ(0, loaded);
        surface.thumbnails.images[slot] = makeThumbnail(picture, size);
        ASSERT_NE(nullptr, surface.thumbnails.images[slot]);
    }

    void placeBall(int i, int32_t x, int32_t y, int32_t slot)
    {
        field.x[i] = x;
        field.y[i] = y;
        field.imageIndex[i] = slot;
    }

    SurfaceFrame surface;
    BallField field{};
    BufferRecord record;
};

struct RuleCase {
    int32_t opacity;
    int32_t backgroundType;  // 1 black, 2 white
    uint8_t alpha;
    uint32_t expected;  // P x (a x s) + D x (1 - a x s) for P = (200, 100, 50)
};

void PrintTo(const RuleCase& row, std::ostream* out)
{
    *out << row.opacity << "% alpha " << int{row.alpha} << (row.backgroundType == 1 ? " on black" : " on white");
}

class PerPixelRule : public FrameComposition, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(PerPixelRule, BallPixelsFollowTheRule)
{
    const RuleCase row = GetParam();
    makeBallPicture(0, {200, 100, 50, row.alpha}, 8);
    placeBall(0, 2, 2, 0);
    ASSERT_TRUE(makeBackground(surface, row.backgroundType, nullptr, {0, 0, 0, 0}, 12, 12));
    ASSERT_TRUE(setBallOpacity(row.opacity));
    Frame frame(12, 12);
    compose(frame, 1);
    for (const int corner : {2, 5, 9}) {
        SCOPED_TRACE(corner);
        EXPECT_PRED3(near, frame.at(corner, corner), row.expected, kBlendTolerance);
    }
    const uint32_t plain = row.backgroundType == 1 ? 0 : 0xffffff;
    EXPECT_PRED3(near, frame.at(1, 1), plain, 0);
    EXPECT_PRED3(near, frame.at(10, 10), plain, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PerPixelRule,
    ::testing::Values(RuleCase{50, 1, 255, rgb(100, 50, 25)}, RuleCase{75, 1, 255, rgb(150, 75, 38)},
                      RuleCase{100, 1, 255, rgb(200, 100, 50)}, RuleCase{50, 2, 255, rgb(228, 178, 153)},
                      RuleCase{75, 2, 255, rgb(214, 139, 101)}, RuleCase{100, 2, 255, rgb(200, 100, 50)},
                      RuleCase{50, 1, 128, rgb(50, 25, 13)}, RuleCase{75, 1, 128, rgb(75, 38, 19)},
                      RuleCase{100, 1, 128, rgb(100, 50, 25)}, RuleCase{50, 2, 128, rgb(241, 216, 204)},
                      RuleCase{75, 2, 128, rgb(234, 197, 178)}, RuleCase{100, 2, 128, rgb(228, 178, 153)},
                      // Outside the opacity setting's range: raised to 50, lowered to 100.
                      RuleCase{0, 1, 255, rgb(100, 50, 25)}, RuleCase{101, 1, 255, rgb(200, 100, 50)}));

// Ball 1 lies over ball 0; both are cut at the frame's edges and nothing is
// written into the stride's padding.
TEST_F(FrameComposition, LaterBallsOnTopAndClippedToTheFrame)
{
    makeBallPicture(0, {255, 0, 0, 255}, 8);
    makeBallPicture(1, {0, 0, 255, 255}, 8);
    placeBall(0, -4, -4, 0);
    placeBall(1, 2, 2, 1);
    ASSERT_TRUE(makeBackground(surface, 1, nullptr, {0, 0, 0, 0}, 10, 10));
    ASSERT_TRUE(setBallOpacity(100));
    Frame frame(10, 10, 2);
    compose(frame, 2);
    EXPECT_PRED3(near, frame.at(1, 1), rgb(255, 0, 0), 0);
    EXPECT_PRED3(near, frame.at(3, 3), rgb(0, 0, 255), 0);
    EXPECT_PRED3(near, frame.at(9, 9), rgb(0, 0, 255), 0);
    EXPECT_PRED3(near, frame.at(0, 9), rgb(0, 0, 0), 0);
    for (int y = 0; y < 10; ++y) {
        EXPECT_EQ(kUntouched, frame.at(10, y));
        EXPECT_EQ(kUntouched, frame.at(11, y));
    }
    EXPECT_EQ(kUntouched, frame.values.back());
}

TEST_F(FrameComposition, TinyFrames)
{
    makeBallPicture(0, {0, 0, 255, 255}, 3);
    placeBall(0, 0, 0, 0);
    ASSERT_TRUE(setBallOpacity(100));
    ASSERT_TRUE(makeBackground(surface, 2, nullptr, {0, 0, 0, 0}, 0, 0));
    Frame empty(0, 0);
    compose(empty, 1);
    EXPECT_EQ(kUntouched, empty.values[0]);

    ASSERT_TRUE(makeBackground(surface, 2, nullptr, {0, 0, 0, 0}, 1, 1));
    Frame single(1, 1);
    compose(single, 1);
    EXPECT_PRED3(near, single.at(0, 0), rgb(0, 0, 255), 0);
    EXPECT_EQ(kUntouched, single.values[1]);
}

// A desktop of 8 x 4 whose pixels are all different.
std::vector<uint32_t> numberedDesktop()
{
    std::vector<uint32_t> desktop(8 * 4);
    for (uint32_t i = 0; i < desktop.size(); ++i) {
        desktop[i] = 0x010203u * (i + 1);
    }
    return desktop;
}

// Black and white fill the frame whatever the desktop holds; any other type is
// white; the desktop background without a copy is black.
TEST_F(FrameComposition, PlainBackgroundsFillTheFrame)
{
    const std::vector<uint32_t> pixels = numberedDesktop();
    const DesktopPixels desktop{pixels.data(), 8, 4, 32};
    const struct {
        int32_t type;
        const DesktopPixels* desktop;
        uint32_t plain;
    } rows[] = {{0, nullptr, 0}, {1, &desktop, 0}, {2, &desktop, 0xffffff}, {7, &desktop, 0xffffff}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.type);
        ASSERT_TRUE(makeBackground(surface, row.type, row.desktop, {0, 0, 8, 4}, 8, 4));
        Frame frame(8, 4);
        compose(frame, 0);
        for (int i = 0; i < 32; ++i) {
            EXPECT_PRED3(near, frame.values[i], row.plain, 0);
        }
    }
}

// A window the size of its monitor shows that monitor's part of the desktop, one to one.
TEST_F(FrameComposition, DesktopOneToOneOnAMonitorSizedWindow)
{
    const std::vector<uint32_t> pixels = numberedDesktop();
    const DesktopPixels desktop{pixels.data(), 8, 4, 32};
    ASSERT_TRUE(makeBackground(surface, 0, &desktop, {4, 0, 4, 4}, 4, 4));
    Frame frame(4, 4);
    compose(frame, 0);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(0x010203u * (y * 8 + 4 + x + 1), frame.at(x, y) & 0xffffff) << x << ", " << y;
        }
    }
}

// A preview shrinks its monitor's part with an average: a checkerboard of black
// and white becomes grey, and the red of the other monitor does not bleed in.
TEST_F(FrameComposition, DesktopShrunkByAveragingInAPreview)
{
    std::vector<uint32_t> pixels(64 * 32);
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 64; ++x) {
            pixels[y * 64 + x] = x < 32 ? 0xff0000u : (x + y) % 2 ? 0xffffffu : 0;
        }
    }
    const DesktopPixels desktop{pixels.data(), 64, 32, 64 * 4};
    ASSERT_TRUE(makeBackground(surface, 0, &desktop, {32, 0, 32, 32}, 8, 6));
    Frame frame(8, 6);
    compose(frame, 0);
    for (int i = 0; i < 48; ++i) {
        SCOPED_TRACE(i);
        EXPECT_PRED3(near, frame.values[i], rgb(128, 128, 128), 4);
    }
}

}  // namespace

namespace {

struct ChangeCase {
    const char* name;
    int32_t backgroundType;
    int32_t opacity;
};

class OnlyWhatChanged : public FrameComposition, public ::testing::WithParamInterface<ChangeCase> {};

// Two buffers drawn in turn, each composed from the changes since it was last drawn, hold the
// whole composition's pixels at every tick: a ball that stays put beneath two that cross over
// it, balls that bounce off the edges, and a resize that leaves one ball partly outside. Only
// the first frame of each buffer at each size is composed whole.
TEST_P(OnlyWhatChanged, ComposedChangeByChangeEqualsTheWholeFrame)
{
    const ChangeCase row = GetParam();
    makeBallPicture(0, {230, 40, 40, 255}, 12);
    makeBallPicture(1, {40, 80, 220, 128}, 12);
    makeBallPicture(2, {40, 200, 60, 200}, 12);
    struct Ball {
        int32_t x, y, vx, vy, slot;
    };
    Ball balls[] = {
        {24, 24, 0, 0, 2}, {0, 10, -1, 1, 0}, {20, 20, 1, 1, 1}, {34, 34, -1, -1, 2}, {83, 51, 1, 1, 1}};
    std::vector<uint32_t> pixels(96 * 64);
    for (uint32_t i = 0; i < pixels.size(); ++i) {
        pixels[i] = 0xff000000u | (0x010203u * i & 0xffffff);
    }
    const DesktopPixels desktop{pixels.data(), 96, 64, 96 * 4};
    ASSERT_TRUE(setBallOpacity(row.opacity));
    BufferRecord records[2];
    int wholeFrames = 0;
    int32_t width = 96, height = 64;
    field.ballCount = 5;
    std::vector<Frame> buffers;  // whole, then the two changed ones
    for (int tick = 0; tick < 40; ++tick) {
        if (tick == 0 || tick == 20) {
            width = tick == 0 ? 96 : 72, height = tick == 0 ? 64 : 48;
            ASSERT_TRUE(makeBackground(surface, row.backgroundType, &desktop, {0, 0, 96, 64}, width, height));
            buffers.clear();
            buffers.reserve(3);  // a Frame points into its own values: never copied
            for (int n = 0; n < 3; ++n) {
                buffers.emplace_back(width, height, 3);
            }
        }
        for (int i = 0; i < 5; ++i) {
            Ball& b = balls[i];
            b.vx = b.x + b.vx < 0 || b.x + b.vx > width - 12 ? -b.vx : b.vx;
            b.vy = b.y + b.vy < 0 || b.y + b.vy > height - 12 ? -b.vy : b.vy;
            b.x += tick > 0 ? b.vx : 0, b.y += tick > 0 ? b.vy : 0;
            placeBall(i, b.x, b.y, b.slot);
        }
        Frame& changed = buffers[1 + tick % 2];
        wholeFrames += composeFrame(surface, field, records[tick % 2], changed.pixels, true).whole;
        composeFrame(surface, field, record, buffers[0].pixels, false);
        const size_t differing = std::inner_product(changed.values.begin(), changed.values.end(),
                                                    buffers[0].values.begin(), size_t{0}, std::plus<>(),
                                                    std::not_equal_to<>());
        ASSERT_EQ(0u, differing) << "tick " << tick;
    }
    EXPECT_EQ(4, wholeFrames);
    releaseBufferRecord(records[0]);
    releaseBufferRecord(records[1]);
}

INSTANTIATE_TEST_SUITE_P(EachBackgroundAndOpacity, OnlyWhatChanged,
                         ::testing::Values(ChangeCase{"Desktop50", 0, 50}, ChangeCase{"Desktop75", 0, 75},
                                           ChangeCase{"Desktop100", 0, 100}, ChangeCase{"Black50", 1, 50},
                                           ChangeCase{"Black75", 1, 75}, ChangeCase{"Black100", 1, 100},
                                           ChangeCase{"White50", 2, 50}, ChangeCase{"White75", 2, 75},
                                           ChangeCase{"White100", 2, 100}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
