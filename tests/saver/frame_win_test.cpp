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
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "saver/ball_images_win.h"
#include "settings/settings.h"

namespace {

// Per channel, right and wrong blends differ by far more than this.
constexpr int kBlendTolerance = 2;

class GdiplusEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::GdiplusStartup(&token_, &input, nullptr), Gdiplus::Ok);
    }
    void TearDown() override { Gdiplus::GdiplusShutdown(token_); }

private:
    ULONG_PTR token_ = 0;
};

::testing::Environment* const gdiplusEnvironment =
    ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

struct Rgb {
    int r;
    int g;
    int b;
};

constexpr Rgb kBlack{0, 0, 0};
constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kSnapshot{40, 120, 200};

// A frame read back as 0x00RRGGBB values, row by row from the top.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> values;

    Rgb at(int x, int y) const
    {
        const uint32_t v = values[static_cast<size_t>(y) * width + x];
        return Rgb{int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
    }
};

Pixels readPixels(HDC source, int width, int height)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC memory = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(memory, section);
    BitBlt(memory, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    Pixels pixels;
    pixels.width = width;
    pixels.height = height;
    const uint32_t* first = static_cast<const uint32_t*>(bits);
    pixels.values.assign(first, first + static_cast<size_t>(width) * height);
    for (uint32_t& v : pixels.values) v &= 0xFFFFFF;
    SelectObject(memory, old);
    DeleteDC(memory);
    DeleteObject(section);
    return pixels;
}

int channelError(const Rgb& actual, const Rgb& expected)
{
    return std::max({std::abs(actual.r - expected.r), std::abs(actual.g - expected.g),
                     std::abs(actual.b - expected.b)});
}

void fillDC(HDC dc, int width, int height, const Rgb& colour)
{
    const RECT area{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(RGB(colour.r, colour.g, colour.b));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

struct Square {
    int x;
    int y;
    int size;
    Rgb colour;

    bool holds(int px, int py) const
    {
        return px >= x && px < x + size && py >= y && py < y + size;
    }
};

// Checks every pixel: the colour of the last square that holds it, else the
// background.
void expectFrame(const Pixels& frame, const Rgb& background, const std::vector<Square>& squares)
{
    int wrong = 0;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            Rgb expected = background;
            for (const Square& s : squares) {
                if (s.holds(x, y)) expected = s.colour;
            }
            const Rgb actual = frame.at(x, y);
            if (channelError(actual, expected) != 0 && ++wrong <= 3) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << actual.r << ","
                              << actual.g << "," << actual.b << ", expected " << expected.r << ","
                              << expected.g << "," << expected.b;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}

// The thumbnail pixel used by the blending checks: many alphas and colours.
Gdiplus::Color patternPixel(int x, int y)
{
    return Gdiplus::Color(BYTE((x * 8 + y * 3) % 256), BYTE((x * 37 + 11) % 256),
                          BYTE((y * 53 + 7) % 256), BYTE(((x + y) * 29) % 256));
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
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, kWidth, kHeight, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
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
                const float expected = row == 3 && column == 3 ? percent / 100.0f
                                       : row == column         ? 1.0f
                                                               : 0.0f;
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
                    const double error = blendError(frame.at(x, y), p, percent, b.background);
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

TEST_F(FrameTest, HigherIndexIsDrawnOnTop)
{
    constexpr Rgb kRed{255, 0, 0};
    constexpr Rgb kBlue{0, 0, 255};
    setSolidThumbnail(0, 32, kRed);
    setSolidThumbnail(1, 32, kBlue);
    settings.ballCount = 2;
    ballField.ballSize = 32;

    placeBall(0, 10, 10, 0);
    placeBall(1, 26, 20, 1);
    expectFrame(composed(), kBlack, {{10, 10, 32, kRed}, {26, 20, 32, kBlue}});

    placeBall(0, 10, 10, 1);
    placeBall(1, 26, 20, 0);
    expectFrame(composed(), kBlack, {{10, 10, 32, kBlue}, {26, 20, 32, kRed}});

    // Half opacity over black: the top ball's half over half of the one below.
    settings.opacityPercent = 50;
    const Rgb overlap = composed().at(30, 30);
    EXPECT_LE(channelError(overlap, Rgb{255 / 2, 0, 255 / 4}), kBlendTolerance);
}

TEST_F(FrameTest, BallsTouchTheEdgesExactly)
{
    constexpr Rgb kGreen{0, 200, 0};
    setSolidThumbnail(4, 24, kGreen);
    settings.ballCount = 4;
    ballField.ballSize = 24;
    placeBall(0, kWidth - 24, 0, 4);
    placeBall(1, 0, kHeight - 24, 4);
    placeBall(2, 0, 0, 4);
    placeBall(3, kWidth - 24, kHeight - 24, 4);
    expectFrame(composed(), kBlack,
                {{kWidth - 24, 0, 24, kGreen},
                 {0, kHeight - 24, 24, kGreen},
                 {0, 0, 24, kGreen},
                 {kWidth - 24, kHeight - 24, 24, kGreen}});
}

TEST_F(FrameTest, DrawsExactlyTheCountedBalls)
{
    const Rgb colours[] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 0},
                           {0, 255, 255}, {255, 0, 255}};
    for (int i = 0; i < 6; ++i) {
        setSolidThumbnail(i, 16, colours[i]);
        placeBall(i, 5 + i * 25, 40 + i * 10, i);
    }
    settings.ballCount = 5;
    ballField.ballSize = 16;
    std::vector<Square> five;
    for (int i = 0; i < 5; ++i) five.push_back({5 + i * 25, 40 + i * 10, 16, colours[i]});
    expectFrame(composed(), kBlack, five);

    ballField.ballSize = 0;
    settings.backgroundType = 2;
    expectFrame(composed(), kWhite, {});
}

TEST_F(FrameTest, BallWithoutPictureIsSkippedAndOthersDrawn)
{
    constexpr Rgb kRed{255, 0, 0};
    setSolidThumbnail(0, 16, kRed);
    owned.push_back(std::make_unique<Gdiplus::Image>(L"Z:\\no such folder\\1.png"));
    thumbnails[3] = owned.back().get();
    settings.ballCount = 3;
    ballField.ballSize = 16;
    placeBall(0, 10, 10, 2);   // null thumbnail
    placeBall(1, 40, 10, 3);   // thumbnail without a native image
    placeBall(2, 70, 10, 0);
    expectFrame(composed(), kBlack, {{70, 10, 16, kRed}});
}

TEST_F(FrameTest, CountAndImageIndexOutOfRangeAreClamped)
{
    constexpr Rgb kRed{255, 0, 0};
    constexpr Rgb kYellow{255, 255, 0};
    setSolidThumbnail(0, 16, kRed);
    setSolidThumbnail(7, 16, kYellow);
    settings.ballCount = 1000;
    ballField.ballSize = 16;
    placeBall(kMaxBalls - 2, 60, 50, -5);
    placeBall(kMaxBalls - 1, 100, 50, 99);
    expectFrame(composed(), kBlack, {{0, 0, 16, kRed}, {60, 50, 16, kRed}, {100, 50, 16, kYellow}});
}

// A top-most window over the whole screen painted in a 4 x 2 grid of colour
// blocks, so that captures of the screen have known content.
class ScreenCaptureTest : public ::testing::Test {
protected:
    static constexpr Rgb kBlocks[8] = {{200, 30, 30},  {30, 200, 30},  {30, 30, 200},
                                       {220, 220, 40}, {40, 220, 220}, {220, 40, 220},
                                       {250, 250, 250}, {10, 10, 10}};
    // The last block has white stripes one pixel wide on every even column.
    static constexpr int kStripedBlock = 7;
    static constexpr Rgb kStripe = kWhite;

    static LRESULT CALLBACK patternProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_ERASEBKGND:
            return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            paintPattern(dc);
            EndPaint(window, &paint);
            return 0;
        }
        default:
            return DefWindowProcA(window, message, wParam, lParam);
        }
    }

    // The last column and row of blocks reach to the screen's edges.
    static void paintPattern(HDC dc)
    {
        const int blockWidth = screenWidth / 4;
        const int blockHeight = screenHeight / 2;
        for (int i = 0; i < 8; ++i) {
            const int column = i % 4;
            const int row = i / 4;
            const RECT block{column * blockWidth, row * blockHeight,
                             column == 3 ? screenWidth : (column + 1) * blockWidth,
                             row == 1 ? screenHeight : (row + 1) * blockHeight};
            HBRUSH brush = CreateSolidBrush(RGB(kBlocks[i].r, kBlocks[i].g, kBlocks[i].b));
            FillRect(dc, &block, brush);
            DeleteObject(brush);
        }
        HBRUSH stripe = CreateSolidBrush(RGB(kStripe.r, kStripe.g, kStripe.b));
        for (int x = (3 * blockWidth + 1) / 2 * 2; x < screenWidth; x += 2) {
            const RECT line{x, blockHeight, x + 1, screenHeight};
            FillRect(dc, &line, stripe);
        }
        DeleteObject(stripe);
    }

    static int blockAt(int x, int y)
    {
        const int column = std::min(x / (screenWidth / 4), 3);
        const int row = std::min(y / (screenHeight / 2), 1);
        return row * 4 + column;
    }

    static Rgb patternAt(int x, int y)
    {
        const int block = blockAt(x, y);
        return block == kStripedBlock && x % 2 == 0 ? kStripe : kBlocks[block];
    }

    static Rgb screenPixel(int x, int y)
    {
        HDC screen = GetDC(nullptr);
        const COLORREF c = GetPixel(screen, x, y);
        ReleaseDC(nullptr, screen);
        return Rgb{GetRValue(c), GetGValue(c), GetBValue(c)};
    }

    void SetUp() override
    {
        screenWidth = GetSystemMetrics(SM_CXSCREEN);
        screenHeight = GetSystemMetrics(SM_CYSCREEN);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = patternProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "FrameTestPattern";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(WS_EX_TOPMOST, "FrameTestPattern", "", WS_POPUP | WS_VISIBLE, 0,
                                 0, screenWidth, screenHeight, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
        // The painting reaches the X screen only after the message loop runs.
        const DWORD deadline = GetTickCount() + 3000;
        bool shown = false;
        while (!shown && GetTickCount() < deadline) {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
            Sleep(20);
            const int right = screenWidth - 1;
            const int bottom = screenHeight - 1;
            shown = channelError(screenPixel(right, bottom), patternAt(right, bottom)) == 0 &&
                    channelError(screenPixel(0, 0), patternAt(0, 0)) == 0;
        }
        ASSERT_TRUE(shown) << "the pattern never reached the screen";
        startupState.saverMode = 0;
        settings.ballCount = 0;
        settings.backgroundType = 0;
    }

    void TearDown() override
    {
        releaseSurfaces();
        DestroyWindow(window);
        UnregisterClassA("FrameTestPattern", GetModuleHandleA(nullptr));
    }

    void expectBlocksOneToOne(const Pixels& frame)
    {
        int wrong = 0;
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                if (channelError(frame.at(x, y), patternAt(x, y)) != 0 && ++wrong <= 3) {
                    ADD_FAILURE() << "pixel (" << x << ", " << y << ") differs from the screen";
                }
            }
        }
        EXPECT_EQ(wrong, 0);
    }

    static int screenWidth;
    static int screenHeight;
    HWND window = nullptr;
};

int ScreenCaptureTest::screenWidth = 0;
int ScreenCaptureTest::screenHeight = 0;

TEST_F(ScreenCaptureTest, FullScreenCopiesTheScreenOneToOne)
{
    startupState.saverMode = 1;
    const ClientRect client{0, 0, screenWidth, screenHeight};
    createSurfaces(window, client);
    captureBackground(client);
    expectBlocksOneToOne(readPixels(backgroundDC, screenWidth, screenHeight));

    composeFrame(client);
    expectBlocksOneToOne(readPixels(backBufferDC, screenWidth, screenHeight));
}

// A shrink by 7: each preview pixel covers about seven screen columns.
TEST_F(ScreenCaptureTest, PreviewOfTheDesktopIsTheWholeScreenShrunk)
{
    const int width = screenWidth / 7;
    const int height = screenHeight / 7;
    const ClientRect client{0, 0, width, height};
    createSurfaces(window, client);
    captureBackground(client);
    const Pixels frame = readPixels(backgroundDC, width, height);

    // Checked are the preview pixels whose screen area, widened by one preview
    // pixel each way, lies inside one block: a plain block keeps its colour,
    // and the striped one becomes mostly a mix of its stripes, as halftone
    // filters rather than picks pixels (Wine's filter leaves a few near-pure).
    const double scaleX = double(screenWidth) / width;
    const double scaleY = double(screenHeight) / height;
    int checked = 0;
    int plainError = 0;
    int striped = 0;
    int unmixed = 0;
    for (int y = 1; y < height - 1; ++y) {
        for (int x = 1; x < width - 1; ++x) {
            const int block = blockAt(int((x - 1) * scaleX), int((y - 1) * scaleY));
            if (block != blockAt(int((x + 2) * scaleX) - 1, int((y + 2) * scaleY) - 1)) continue;
            ++checked;
            const Rgb actual = frame.at(x, y);
            if (block != kStripedBlock) {
                plainError = std::max(plainError, channelError(actual, kBlocks[block]));
                continue;
            }
            ++striped;
            if (std::min(channelError(actual, kBlocks[block]), channelError(actual, kStripe)) <=
                kBlendTolerance) {
                ++unmixed;
            }
        }
    }
    EXPECT_GT(checked, width * height / 2);
    EXPECT_LE(plainError, kBlendTolerance);
    EXPECT_GT(striped, 0);
    EXPECT_LT(unmixed * 4, striped) << unmixed << " of " << striped << " striped pixels are pure";
}

TEST_F(ScreenCaptureTest, PreviewWithPlainBackgroundCopiesTheCornerButShowsBlack)
{
    settings.backgroundType = 1;
    const int side = screenHeight / 2 + 60;  // reaches into the second block row and column
    const ClientRect client{0, 0, side, side};
    createSurfaces(window, client);
    captureBackground(client);
    expectBlocksOneToOne(readPixels(backgroundDC, side, side));

    composeFrame(client);
    expectFrame(readPixels(backBufferDC, side, side), kBlack, {});
}

}  // namespace
