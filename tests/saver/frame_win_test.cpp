// Tests for frame composition with Wine's real GDI and GDI+: surfaces, screen
// capture, backgrounds and the blending of the balls.
#include "saver/frame_win.h"

#include <gtest/gtest.h>

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "saver/ball_images_win.h"
#include "saver/frame_checks_win.h"
#include "settings/settings.h"
#include "support/win_test_support.h"

namespace {

// The thumbnail pixel used by the blending checks: many alphas and colours.
Gdiplus::Color patternPixel(int x, int y)
{
    return Gdiplus::Color(BYTE((x * 8 + y * 3) % 256), BYTE((x * 37 + 11) % 256), BYTE((y * 53 + 7) % 256),
                          BYTE(((x + y) * 29) % 256));
}

// How far a composed pixel lies from P * (a * k) + D * (1 - a * k), in levels.
double blendError(const Rgb& actual, const Gdiplus::Color& p, int32_t percent, const Rgb& d)
{
    const double a = p.GetA() / 255.0 * (percent / 100.0);
    return std::max({std::fabs(actual.r - (p.GetR() * a + d.r * (1 - a))),
                     std::fabs(actual.g - (p.GetG() * a + d.g * (1 - a))),
                     std::fabs(actual.b - (p.GetB() * a + d.b * (1 - a)))});
}

Gdiplus::Color solidPixel(const Rgb& c)
{
    return Gdiplus::Color(255, BYTE(c.r), BYTE(c.g), BYTE(c.b));
}

class FrameTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;
    const ClientRect client{0, 0, kWidth, kHeight};

    void SetUp() override
    {
        startupState.saverMode = 0;
        settings.ballCount = 0;
        settings.opacityPercent = 100;
        settings.backgroundType = 1;
        ballField = BallField{};
        std::fill(std::begin(thumbnails), std::end(thumbnails), nullptr);
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, kWidth, kHeight, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        createSurfaces(window, client);
    }

    void TearDown() override
    {
        releaseSurfaces();
        std::fill(std::begin(thumbnails), std::end(thumbnails), nullptr);
        DestroyWindow(window);
    }

    template <typename PixelOf>
    void setThumbnail(int index, int size, PixelOf pixelOf)
    {
        auto bitmap = std::make_unique<Gdiplus::Bitmap>(size, size, PixelFormat32bppARGB);
        for (int y = 0; y < size; ++y) {
            for (int x = 0; x < size; ++x) bitmap->SetPixel(x, y, pixelOf(x, y));
        }
        thumbnails[index] = bitmap.get();
        owned.push_back(std::move(bitmap));
    }

    void setSolidThumbnail(int index, int size, const Rgb& colour)
    {
        setThumbnail(index, size, [&](int, int) { return solidPixel(colour); });
    }

    void placeBall(int i, int x, int y, int imageIndex)
    {
        ballField.x[i] = x;
        ballField.y[i] = y;
        ballField.imageIndex[i] = imageIndex;
    }

    Pixels composed()
    {
        composeFrame(client);
        return readPixels(backBufferDC, kWidth, kHeight);
    }

    HWND window = nullptr;
    std::vector<std::unique_ptr<Gdiplus::Image>> owned;
};

TEST(ColorMatrixTest, AlphaFactorIsOpacityOverHundredAndTheRestIdentity)
{
    for (int32_t percent : {50, 75, 100}) {
        SCOPED_TRACE(percent);
        Gdiplus::ColorMatrix matrix;
        std::fill(&matrix.m[0][0], &matrix.m[0][0] + 25, 7.0f);
        fillColorMatrix(matrix, percent);
        for (int row = 0; row < 5; ++row) {
            for (int column = 0; column < 5; ++column) {
                const float expected = row == 3 && column == 3 ? percent / 100.0f : row == column ? 1.0f : 0.0f;
                EXPECT_EQ(matrix.m[row][column], expected) << row << "," << column;
            }
        }
    }
}

TEST_F(FrameTest, SurfacesAreClientSizedInTheWindowsFormatAndSelected)
{
    HDC windowDC = GetDC(window);
    const int bitsPerPixel = GetDeviceCaps(windowDC, BITSPIXEL);
    ReleaseDC(window, windowDC);
    const std::pair<HDC, HBITMAP> surfaces[] = {{backgroundDC, backgroundBitmap},
                                                {backBufferDC, backBufferBitmap}};
    for (const auto& [dc, bitmap] : surfaces) {
        ASSERT_NE(dc, nullptr);
        ASSERT_NE(bitmap, nullptr);
        BITMAP info{};
        ASSERT_NE(GetObjectA(bitmap, sizeof(info), &info), 0);
        EXPECT_EQ(info.bmWidth, kWidth);
        EXPECT_EQ(info.bmHeight, kHeight);
        EXPECT_EQ(info.bmBitsPixel, bitsPerPixel);
        EXPECT_EQ(GetCurrentObject(dc, OBJ_BITMAP), bitmap);
    }
}

TEST_F(FrameTest, ReleaseDeletesOnceAndComposeAfterwardsDrawsNothing)
{
    const HGDIOBJ made[] = {backBufferDC, backBufferBitmap, backgroundBitmap, backgroundDC};
    releaseSurfaces();
    EXPECT_EQ(backBufferDC, nullptr);
    EXPECT_EQ(backBufferBitmap, nullptr);
    EXPECT_EQ(backgroundBitmap, nullptr);
    EXPECT_EQ(backgroundDC, nullptr);
    for (HGDIOBJ object : made) EXPECT_EQ(GetObjectType(object), 0u);

    setSolidThumbnail(0, 16, Rgb{255, 0, 0});
    settings.ballCount = 5;
    for (int32_t type : {0, 1, 2}) {
        settings.backgroundType = type;
        composeFrame(client);
    }
    releaseSurfaces();
    EXPECT_EQ(backBufferDC, nullptr);
    EXPECT_EQ(backgroundDC, nullptr);
}

TEST_F(FrameTest, BackgroundByTypeCoversThePreviousFrame)
{
    const struct {
        int32_t type;
        Rgb expected;
    } cases[] = {{0, kSnapshot}, {1, kBlack}, {2, kWhite}, {3, kWhite}, {-1, kWhite}};
    fillDC(backgroundDC, kWidth, kHeight, kSnapshot);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.type);
        fillDC(backBufferDC, kWidth, kHeight, Rgb{250, 10, 90});
        settings.backgroundType = c.type;
        expectFrame(composed(), c.expected, {});
    }
}

// Every pixel of the frame with a thumbnail of many alphas, over three
// backgrounds, at the three opacities the dialog offers.
TEST_F(FrameTest, BallPixelsBlendByScaledAlpha)
{
    constexpr int kSize = 32;
    constexpr int kBallX = 20;
    constexpr int kBallY = 30;
    setThumbnail(5, kSize, patternPixel);
    settings.ballCount = 1;
    ballField.ballSize = kSize;
    placeBall(0, kBallX, kBallY, 5);
    fillDC(backgroundDC, kWidth, kHeight, kSnapshot);
    const Square ball{kBallX, kBallY, kSize, kBlack};

    const struct {
        int32_t type;
        Rgb background;
    } backgrounds[] = {{0, kSnapshot}, {1, kBlack}, {2, kWhite}};
    double worst = 0;
    for (int32_t percent : {50, 75, 100}) {
        for (const auto& b : backgrounds) {
            SCOPED_TRACE(testing::Message() << percent << "% over type " << b.type);
            settings.opacityPercent = percent;
            settings.backgroundType = b.type;
            const Pixels frame = composed();
            int wrong = 0;
            for (int y = 0; y < kHeight; ++y) {
                for (int x = 0; x < kWidth; ++x) {
                    const Gdiplus::Color p = ball.holds(x, y) ? patternPixel(x - kBallX, y - kBallY)
                                                              : Gdiplus::Color(0, 0, 0, 0);
                    const double error = blendError(rgbAt(frame, x, y), p, percent, b.background);
                    worst = std::max(worst, error);
                    if (error > kBlendTolerance && ++wrong <= 3) {
                        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is off by " << error;
                    }
                }
            }
            EXPECT_EQ(wrong, 0);
        }
    }
    std::printf("largest blending error: %.2f levels\n", worst);
    RecordProperty("largestBlendingError", std::to_string(worst));
}

// A scene: thumbnails, balls placed by hand, and the frame they must give:
// the background, and over it the squares of the balls in drawing order.
struct Thumbnail {
    int index;
    int size;
    Rgb colour;
    bool withoutPicture;  // an image object whose file does not exist
};

struct PlacedBall {
    int slot;
    int x, y;
    int imageIndex;
};

struct Scene {
    const char* name;
    std::vector<Thumbnail> thumbnails;
    int32_t backgroundType;
    int32_t ballCount;
    int32_t ballSize;
    std::vector<PlacedBall> balls;
    Rgb background;
    std::vector<Square> expected;
};

void PrintTo(const Scene& scene, std::ostream* out)
{
    *out << scene.name;
}

class FrameScene : public FrameTest, public ::testing::WithParamInterface<Scene> {};

TEST_P(FrameScene, DrawsTheBallsInOrderOverTheBackground)
{
    const Scene& scene = GetParam();
    for (const Thumbnail& t : scene.thumbnails) {
        if (t.withoutPicture) {
            owned.push_back(std::make_unique<Gdiplus::Image>(L"Z:\\no such folder\\1.png"));
            thumbnails[t.index] = owned.back().get();
        } else {
            setSolidThumbnail(t.index, t.size, t.colour);
        }
    }
    settings.backgroundType = scene.backgroundType;
    settings.ballCount = scene.ballCount;
    ballField.ballSize = scene.ballSize;
    for (const PlacedBall& b : scene.balls) placeBall(b.slot, b.x, b.y, b.imageIndex);
    expectFrame(composed(), scene.background, scene.expected);
}

constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kGreen{0, 200, 0};
constexpr Rgb kBlue{0, 0, 255};
constexpr Rgb kYellow{255, 255, 0};
constexpr int kW = 160;  // FrameTest's client area
constexpr int kH = 120;
const Rgb kSix[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0}, {0, 255, 255}, {255, 0, 255}};

std::vector<Thumbnail> sixThumbnails()
{
    std::vector<Thumbnail> six;
    for (int i = 0; i < 6; ++i) six.push_back({i, 16, kSix[i], false});
    return six;
}

std::vector<PlacedBall> sixBalls()
{
    std::vector<PlacedBall> six;
    for (int i = 0; i < 6; ++i) six.push_back({i, 5 + i * 25, 40 + i * 10, i});
    return six;
}

std::vector<Square> firstFiveOfSix()
{
    std::vector<Square> five;
    for (int i = 0; i < 5; ++i) five.push_back({5 + i * 25, 40 + i * 10, 16, kSix[i]});
    return five;
}

INSTANTIATE_TEST_SUITE_P(
    Scenes, FrameScene,
    ::testing::Values(Scene{"HigherIndexIsDrawnOnTop",
                            {{0, 32, kRed, false}, {1, 32, kBlue, false}},
                            1,
                            2,
                            32,
                            {{0, 10, 10, 0}, {1, 26, 20, 1}},
                            kBlack,
                            {{10, 10, 32, kRed}, {26, 20, 32, kBlue}}},
                      Scene{"HigherIndexIsDrawnOnTopWithThePicturesSwapped",
                            {{0, 32, kRed, false}, {1, 32, kBlue, false}},
                            1,
                            2,
                            32,
                            {{0, 10, 10, 1}, {1, 26, 20, 0}},
                            kBlack,
                            {{10, 10, 32, kBlue}, {26, 20, 32, kRed}}},
                      Scene{"BallsTouchTheEdgesExactly",
                            {{4, 24, kGreen, false}},
                            1,
                            4,
                            24,
                            {{0, kW - 24, 0, 4}, {1, 0, kH - 24, 4}, {2, 0, 0, 4}, {3, kW - 24, kH - 24, 4}},
                            kBlack,
                            {{kW - 24, 0, 24, kGreen},
                             {0, kH - 24, 24, kGreen},
                             {0, 0, 24, kGreen},
                             {kW - 24, kH - 24, 24, kGreen}}},
                      Scene{"DrawsExactlyTheCountedBalls", sixThumbnails(), 1, 5, 16, sixBalls(), kBlack,
                            firstFiveOfSix()},
                      Scene{"BallsOfSizeZeroDrawNothing", sixThumbnails(), 2, 5, 0, sixBalls(), kWhite, {}},
                      // Slot 0 shows a null thumbnail, slot 1 one without a native image.
                      Scene{"BallWithoutPictureIsSkippedAndOthersDrawn",
                            {{0, 16, kRed, false}, {3, 0, kBlack, true}},
                            1,
                            3,
                            16,
                            {{0, 10, 10, 2}, {1, 40, 10, 3}, {2, 70, 10, 0}},
                            kBlack,
                            {{70, 10, 16, kRed}}},
                      // A count of 1000 draws the 50 slots; slot 0 is at (0, 0) with
                      // picture 0, and indexes -5 and 99 are clamped to 0 and 7.
                      Scene{"CountAndImageIndexOutOfRangeAreClamped",
                            {{0, 16, kRed, false}, {7, 16, kYellow, false}},
                            1,
                            1000,
                            16,
                            {{kMaxBalls - 2, 60, 50, -5}, {kMaxBalls - 1, 100, 50, 99}},
                            kBlack,
                            {{0, 0, 16, kRed}, {60, 50, 16, kRed}, {100, 50, 16, kYellow}}}),
    [](const ::testing::TestParamInfo<Scene>& info) { return std::string(info.param.name); });

// Half opacity over black: the top ball's half (red) over half of the one
// below (blue).
TEST_F(FrameTest, HalfOpacityBlendsTheTopBallOverTheOneBelow)
{
    setSolidThumbnail(0, 32, kRed);
    setSolidThumbnail(1, 32, kBlue);
    settings.ballCount = 2;
    settings.opacityPercent = 50;
    ballField.ballSize = 32;
    placeBall(0, 10, 10, 1);
    placeBall(1, 26, 20, 0);
    const Rgb overlap = rgbAt(composed(), 30, 30);
    EXPECT_LE(channelError(overlap, Rgb{255 / 2, 0, 255 / 4}), kBlendTolerance);
}

}  // namespace
