// Frame composition over a captured screen: the full-screen copy one to one,
// the preview's shrunk desktop, and a plain background over a captured corner.
#include "saver/frame_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "app/startup_state_win.h"
#include "saver/frame_checks_win.h"
#include "settings/settings.h"
#include "support/win_test_support.h"

namespace {

// A top-most window over the whole screen painted in a 4 x 2 grid of colour
// blocks, so that captures of the screen have known content.
class ScreenCaptureTest : public ::testing::Test {
protected:
    static constexpr Rgb kBlocks[8] = {{200, 30, 30},  {30, 200, 30},  {30, 30, 200},   {220, 220, 40},
                                       {40, 220, 220}, {220, 40, 220}, {250, 250, 250}, {10, 10, 10}};
    // The last block has white stripes one pixel wide on every even column.
    static constexpr int kStripedBlock = 7;
    static constexpr Rgb kStripe = kWhite;

    static LRESULT CALLBACK patternProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        switch (message) {
        case WM_ERASEBKGND: return 1;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = BeginPaint(window, &paint);
            paintPattern(dc);
            EndPaint(window, &paint);
            return 0;
        }
        default: return DefWindowProcA(window, message, wParam, lParam);
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
        window = CreateWindowExA(WS_EX_TOPMOST, "FrameTestPattern", "", WS_POPUP | WS_VISIBLE, 0, 0, screenWidth,
                                 screenHeight, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(window, nullptr);
        UpdateWindow(window);
        // The painting reaches the X screen only after the message loop runs.
        const int right = screenWidth - 1;
        const int bottom = screenHeight - 1;
        const bool shown = waitUntil(
            [&] {
                return channelError(screenPixel(right, bottom), patternAt(right, bottom)) == 0 &&
                       channelError(screenPixel(0, 0), patternAt(0, 0)) == 0;
            },
            3000);
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
                if (channelError(rgbAt(frame, x, y), patternAt(x, y)) != 0 && ++wrong <= 3) {
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
            const Rgb actual = rgbAt(frame, x, y);
            if (block != kStripedBlock) {
                plainError = std::max(plainError, channelError(actual, kBlocks[block]));
                continue;
            }
            ++striped;
            if (std::min(channelError(actual, kBlocks[block]), channelError(actual, kStripe)) <= kBlendTolerance) {
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
