// Checks shared by the frame composition tests.
#include "saver/frame_checks_win.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <algorithm>
#include <cstdlib>

namespace {

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

::testing::Environment* const gdiplusEnvironment = ::testing::AddGlobalTestEnvironment(new GdiplusEnvironment);

}  // namespace

Rgb rgbAt(const Pixels& frame, int x, int y)
{
    const uint32_t v = frame.at(x, y);
    return Rgb{int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
}

int channelError(const Rgb& actual, const Rgb& expected)
{
    return std::max(
        {std::abs(actual.r - expected.r), std::abs(actual.g - expected.g), std::abs(actual.b - expected.b)});
}

void fillDC(HDC dc, int width, int height, const Rgb& colour)
{
    const RECT area{0, 0, width, height};
    HBRUSH brush = CreateSolidBrush(RGB(colour.r, colour.g, colour.b));
    FillRect(dc, &area, brush);
    DeleteObject(brush);
}

void expectFrame(const Pixels& frame, const Rgb& background, const std::vector<Square>& squares)
{
    int wrong = 0;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            Rgb expected = background;
            for (const Square& s : squares) {
                if (s.holds(x, y)) expected = s.colour;
            }
            const Rgb actual = rgbAt(frame, x, y);
            if (channelError(actual, expected) != 0 && ++wrong <= 3) {
                ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << actual.r << "," << actual.g << ","
                              << actual.b << ", expected " << expected.r << "," << expected.g << "," << expected.b;
            }
        }
    }
    EXPECT_EQ(wrong, 0);
}
