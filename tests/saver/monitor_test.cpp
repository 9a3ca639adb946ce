// Monitor choice and ball size for a window.
#include "saver/monitor.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(MonitorTest, WindowIsShownByTheSmallestMonitorHoldingItsCentre)
{
    const ScreenRect screen{0, 0, 3200, 1080};
    const ScreenRect a{0, 0, 1920, 1080};
    const ScreenRect b{1920, 0, 1280, 720};
    const ScreenRect inner{100, 100, 640, 480};  // overlaps a
    struct Row {
        const char* name;
        std::vector<ScreenRect> monitors;
        ScreenRect window;
        ScreenRect expected;
    };
    const Row rows[] = {
        {"no monitor", {}, {0, 0, 1920, 1080}, screen},
        {"the root on two monitors", {a, b}, screen, a},  // centre (1600, 540)
        {"monitor-sized window on b", {a, b}, b, b},
        {"preview pane on b", {a, b}, {2000, 100, 200, 150}, b},
        {"centre on the edge belongs to the right one", {a, b}, {1820, 0, 200, 100}, b},
        {"centre below b is on no monitor", {a, b}, {1920, 800, 400, 200}, screen},
        {"overlapping monitors", {a, inner}, {300, 300, 100, 100}, inner},
        {"overlapping monitors, listed the other way", {inner, a}, {300, 300, 100, 100}, inner},
        {"an empty monitor holds nothing", {{0, 0, 0, 0}}, {0, 0, 10, 10}, screen},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const ScreenRect chosen =
            monitorForWindow(row.monitors.data(), static_cast<int>(row.monitors.size()), row.window, screen);
        EXPECT_EQ(row.expected.x, chosen.x);
        EXPECT_EQ(row.expected.y, chosen.y);
        EXPECT_EQ(row.expected.width, chosen.width);
        EXPECT_EQ(row.expected.height, chosen.height);
    }
}

TEST(MonitorTest, WindowShowsItsMonitorsDesktopUnlessLargerThanIt)
{
    const ScreenRect a{0, 0, 1920, 1080};
    const ScreenRect b{1920, 0, 1280, 720};
    const ScreenRect monitors[] = {a, b};
    struct Row {
        const char* name;
        ScreenRect window;
        ScreenRect expected;
        int32_t ballSize;  // at 100 %
    };
    const Row rows[] = {
        {"monitor-sized window", a, a, 112},
        {"preview pane", {100, 100, 320, 180}, a, 18},
        {"the root over two monitors", {0, 0, 3200, 1080}, {0, 0, 3200, 1080}, 112},
        {"taller than its monitor", {0, 0, 800, 1200}, {0, 0, 800, 1200}, 112},
        {"window on the smaller monitor", b, b, 112},
        {"pane on the smaller monitor", {2000, 100, 480, 360}, b, 56},
        {"window across both, centre on the smaller", {1600, 0, 1280, 1080}, {1600, 0, 1280, 1080}, 112},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const SurfaceLayout layout = layOutSurface(row.window, monitors, 2, {0, 0, 3200, 1080}, false, 2);
        EXPECT_EQ(row.expected.x, layout.desktopPart.x);
        EXPECT_EQ(row.expected.y, layout.desktopPart.y);
        EXPECT_EQ(row.expected.width, layout.desktopPart.width);
        EXPECT_EQ(row.expected.height, layout.desktopPart.height);
        EXPECT_EQ(row.ballSize, layout.ballSize);
    }
}

TEST(MonitorTest, BallSizeIsThePreviewRuleAgainstTheMonitorCappedAtFullScreen)
{
    struct Row {
        bool ownWindow;
        int32_t windowHeight;
        int32_t monitorHeight;
        int32_t sizes[3];  // at 50, 75 and 100 %
    };
    const Row rows[] = {
        {false, 1080, 1080, {56, 84, 112}},  // monitor-sized window
        {false, 720, 720, {56, 84, 112}},    // monitor-sized window on a smaller monitor
        {false, 1080, 720, {56, 84, 112}},   // taller than its monitor: never more than full screen
        {false, 112, 1080, {5, 6, 11}},      // preview pane
        {false, 200, 1080, {10, 15, 20}},
        {false, 270, 1080, {14, 21, 28}},
        {false, 360, 720, {28, 42, 56}},  // half of a 720-high monitor
        {false, 5, 1080, {0, 0, 1}},      // so small that the base becomes 1
        {false, 0, 1080, {0, 0, 1}},
        {true, 720, 1080, {56, 84, 112}},  // the program's own window: always full screen
    };
    for (const Row& row : rows) {
        for (int32_t scale = 0; scale < 3; ++scale) {
            SCOPED_TRACE(testing::Message() << row.windowHeight << " on " << row.monitorHeight
                                            << (row.ownWindow ? ", own window" : "") << ", scale " << scale);
            EXPECT_EQ(row.sizes[scale],
                      ballSizeForWindow(row.ownWindow, row.windowHeight, row.monitorHeight, scale));
            // placeBalls with the matching saver mode must fix the same size.
            ballField = BallField{};
            placeBalls(ballField, {0, 0, 1920, row.windowHeight}, 5, scale,
                       saverModeForWindow(row.ownWindow, row.windowHeight, row.monitorHeight), row.monitorHeight);
            EXPECT_EQ(row.sizes[scale], ballField.ballSize);
        }
    }
}

}  // namespace
