// The saver window's frames under a real display: ticks that move the balls,
// erasing and painting, and the desktop shown under the balls in both forms.
#include "saver/saver_window_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>

#include "saver/ball_field.h"
#include "saver/frame_win.h"
#include "saver/saver_window_fixture_win.h"
#include "settings/settings.h"

namespace {

constexpr COLORREF kGreen = RGB(0, 255, 0);

// A green square in the window's top-left corner, drawn past the saver.
void paintGreenSquare(HDC dc)
{
    const RECT square = {0, 0, 64, 64};
    HBRUSH green = CreateSolidBrush(kGreen);
    FillRect(dc, &square, green);
    DeleteObject(green);
}

// Every ball moves one pixel per axis per tick along its velocity, and a
// ball at an edge bounces back inside: five balls placed by hand, away from
// the limits but for one at the left edge moving left and one at the top
// moving up (the field steps four balls at a time and the rest one by one).
TEST_F(SaverWindow, AnyTimerMovesTheBallsAndInvalidatesWithoutErasing)
{
    settings.ballCount = 5;
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    RECT client;
    GetClientRect(saver, &client);
    struct Ball {
        int x, y, vx, vy;
        int movedX, movedY, turnedVx, turnedVy;
    };
    const Ball balls[] = {
        {100, 200, 1, 1, 101, 201, 1, 1},   {500, 300, -1, -1, 499, 299, -1, -1}, {0, 400, -1, 1, 1, 401, 1, 1},
        {800, 600, 1, -1, 801, 599, 1, -1}, {300, 0, 1, -1, 301, 1, 1, 1},
    };
    for (int i = 0; i < 5; ++i) {
        ballField.x[i] = balls[i].x;
        ballField.y[i] = balls[i].y;
        ballField.vx[i] = balls[i].vx;
        ballField.vy[i] = balls[i].vy;
    }
    ValidateRect(saver, nullptr);
    EXPECT_EQ(0, SendMessageA(saver, WM_TIMER, 7, 0));
    for (int i = 0; i < 5; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(balls[i].movedX, ballField.x[i]);
        EXPECT_EQ(balls[i].movedY, ballField.y[i]);
        EXPECT_EQ(balls[i].turnedVx, ballField.vx[i]);
        EXPECT_EQ(balls[i].turnedVy, ballField.vy[i]);
    }
    RECT update = {};
    EXPECT_TRUE(GetUpdateRect(saver, &update, FALSE));
    EXPECT_TRUE(EqualRect(&client, &update));
}

TEST_F(SaverWindow, TheThirtyMillisecondTimerAnimates)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    const BallField before = ballField;
    pumpFor(300);
    int farthest = 0;
    for (int i = 0; i < settings.ballCount; ++i)
        farthest = std::max(farthest, std::abs(ballField.x[i] - before.x[i]));
    EXPECT_GE(farthest, 3) << "about ten ticks in 300 ms";
    EXPECT_TRUE(isRunning()) << "a pointer resting where it was must not close";
}

TEST_F(SaverWindow, EraseLeavesThePictureAlone)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    HDC dc = GetDC(saver);
    paintGreenSquare(dc);
    SendMessageA(saver, WM_ERASEBKGND, WPARAM(dc), 0);
    EXPECT_EQ(kGreen, GetPixel(dc, 32, 32));
    ReleaseDC(saver, dc);
}

TEST_F(SaverWindow, PaintAfterReleaseDrawsNothing)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    SendMessageA(saver, WM_CLOSE, 0, 0);
    ASSERT_TRUE(hasClosed());
    HDC dc = GetDC(saver);
    paintGreenSquare(dc);
    InvalidateRect(saver, nullptr, FALSE);
    UpdateWindow(saver);
    EXPECT_EQ(kGreen, GetPixel(dc, 32, 32));
    ReleaseDC(saver, dc);
    EXPECT_FALSE(GetUpdateRect(saver, nullptr, FALSE)) << "the paint was still validated";
}

TEST_F(SaverWindow, FullScreenShowsTheDesktopOneToOneUnderTheBalls)
{
    ASSERT_NO_FATAL_FAILURE(showPattern());
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    InvalidateRect(saver, nullptr, FALSE);
    UpdateWindow(saver);
    Pixels shown = readWindow(saver);
    Pixels composed = readPixels(backBufferDC, shown.width, shown.height);
    ASSERT_EQ(GetSystemMetrics(SM_CXSCREEN), shown.width);
    int ballPixels = 0;
    for (int y = 0; y < shown.height; y += 3) {
        for (int x = 0; x < shown.width; x += 3) {
            ASSERT_EQ(composed.at(x, y), shown.at(x, y)) << x << ", " << y;
            if (insideAnyBall(ballField, settings.ballCount, x, y)) {
                ballPixels += shown.at(x, y) != (x < shown.width / 2 ? kRed : kBlue);
                continue;
            }
            ASSERT_EQ(x < shown.width / 2 ? kRed : kBlue, shown.at(x, y)) << x << ", " << y;
        }
    }
    EXPECT_GT(ballPixels, 0);
}

TEST_F(SaverWindow, PreviewShowsTheShrunkDesktopAndMovingBalls)
{
    settings.ballCount = 5;
    ASSERT_NO_FATAL_FAILURE(showPattern());
    // The host sits in the bottom-right corner, away from the sampled areas.
    ASSERT_NO_FATAL_FAILURE(startPreview(1600, 900, 320, 180));
    Pixels first = readWindow(saver);
    const BallField before = ballField;
    SendMessageA(saver, WM_TIMER, 1, 0);
    UpdateWindow(saver);
    Pixels second = readWindow(saver);
    ASSERT_EQ(320, first.width);
    ASSERT_EQ(180, first.height);

    int changed = 0;
    for (int y = 0; y < first.height; ++y) {
        for (int x = 0; x < first.width; ++x) {
            bool inBall = insideAnyBall(before, 5, x, y) || insideAnyBall(ballField, 5, x, y);
            if (first.at(x, y) != second.at(x, y)) {
                ++changed;
                ASSERT_TRUE(inBall) << "changed outside the balls at " << x << ", " << y;
            }
            if (inBall) continue;
            bool leftHalf = x >= 4 && x < 150 && y >= 4 && y < 176;
            bool rightHalf = x >= 170 && x < 256 && y >= 4 && y < 140;
            if (leftHalf || rightHalf) {
                ASSERT_TRUE(isNear(leftHalf ? kRed : kBlue, first.at(x, y), 16))
                    << x << ", " << y << ": " << std::hex << first.at(x, y);
            }
        }
    }
    EXPECT_GT(changed, 0) << "the balls moved between the frames";
}

}  // namespace
