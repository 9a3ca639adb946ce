// Odd host windows for the preview and the settings dialog: tiny ones,
// numbers that are no windows, and hosts destroyed at any moment.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program/saver_run.h"
#include "support/win_test_support.h"

namespace {

// A window number that no window has: a window made and destroyed at once.
HWND destroyedWindow()
{
    HWND window = createBorderlessHost(10, 10);
    DestroyWindow(window);
    return window;
}

// Sizes of host client areas, for the preview and the settings dialog.
struct HostSize {
    const char* name;
    int width;
    int height;
};

// A preview 240 pixels high on the test display's 1080-pixel screen has
// balls of (240 x 112) / 1080 = 24 pixels at the default scale.
std::vector<HostSize> tinyHostSizes()
{
    return {
        {"0 x 0", 0, 0},
        {"1 x 1", 1, 1},
        {"50 x 50", 50, 50},
        {"exactly one ball wide", 24, 240},
        {"exactly one ball high", 300, 1},
    };
}

TEST_F(SaverRunTest, PreviewInTinyHostsRunsUntilTheHostGoes)
{
    ASSERT_EQ(1080, GetSystemMetrics(SM_CYSCREEN)) << "the host sizes assume a screen 1080 pixels high";
    for (const HostSize& size : tinyHostSizes()) {
        SCOPED_TRACE(size.name);
        HWND host = createBorderlessHost(size.width, size.height);
        RECT client;
        GetClientRect(host, &client);
        ASSERT_EQ(size.width, client.right);
        ASSERT_EQ(size.height, client.bottom);

        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /p " + handleText(host)));
        HWND preview = waitForChildWindow(host, "ZEPHYRINE", kBound);
        ASSERT_NE(nullptr, preview);
        GetClientRect(preview, &client);
        EXPECT_EQ(size.width, client.right);
        EXPECT_EQ(size.height, client.bottom);
        pumpMessagesFor(600);  // 20 ticks and their frames
        EXPECT_TRUE(isRunning(run)) << "the preview keeps running";
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, SettingsOwnedByTinyHostsCancelWithZero)
{
    for (const HostSize& size : tinyHostSizes()) {
        SCOPED_TRACE(size.name);
        HWND host = createBorderlessHost(size.width, size.height);
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + handleText(host)));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        EXPECT_EQ(1, end.settingsDialogs);
        EXPECT_EQ(std::vector<HWND>{host}, end.owners);
        EXPECT_TRUE(end.otherWindows.empty());
        EXPECT_EQ("none", userKeyImage());
        DestroyWindow(host);
    }
}

struct NotAWindow {
    const char* name;
    std::wstring number;
};

std::vector<NotAWindow> numbersThatAreNoWindows()
{
    return {
        {"a window destroyed before the start", handleText(destroyedWindow())},
        {"a GDI brush", handleText(reinterpret_cast<HWND>(GetStockObject(WHITE_BRUSH)))},
        {"65535", L"65535"},
        {"2147483647", L"2147483647"},
        {"99999999999, read as 2147483647", L"99999999999"},
    };
}

TEST_F(SaverRunTest, PreviewIntoNumbersThatAreNoWindowsEndsWithZeroAndNoMessage)
{
    for (const NotAWindow& c : numbersThatAreNoWindows()) {
        SCOPED_TRACE(c.name);
        ASSERT_NO_FATAL_FAILURE(expectQuickEnd(quotedSaver() + L" /p " + c.number, kNoWindow));
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, SettingsOwnedByNumbersThatAreNoWindowsEndWithZero)
{
    for (const NotAWindow& c : numbersThatAreNoWindows()) {
        SCOPED_TRACE(c.name);
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + c.number));
        const ConfigureEnd end = endConfigureRun(run, kBound);
        EXPECT_EQ(0, end.exitCode);
        // Wine's DialogBoxParamA refuses an owner that is no window and
        // shows nothing; the run still counts as completed.
        EXPECT_EQ(0, end.settingsDialogs);
        EXPECT_TRUE(end.otherWindows.empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

// The host goes at every moment of the preview's start: before the command
// line is read, while the preview window is being created, and after.
TEST_F(SaverRunTest, HostDestroyedAtAnyMomentOfThePreviewsStartEndsItWithZero)
{
    for (DWORD delay = 0; delay <= 600; delay += 20) {
        SCOPED_TRACE(testing::Message() << "host destroyed after " << delay << " ms");
        HWND host = createBorderlessHost(320, 240);
        MessageBoxCloser closer;
        ChildProcess run;
        ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /p " + handleText(host)));
        pumpMessagesFor(delay);
        DestroyWindow(host);
        EXPECT_EQ(0, run.exitCodeWithin(kBound));
        EXPECT_TRUE(closer.seen().empty());
        EXPECT_EQ("none", userKeyImage());
    }
}

TEST_F(SaverRunTest, HostDestroyedUnderTheOpenSettingsEndsWithZero)
{
    HWND host = createBorderlessHost(320, 240);
    ChildProcess run;
    ASSERT_TRUE(startWithExactLine(run, quotedSaver() + L" /c:" + handleText(host)));
    HWND dialog = waitForProcessWindow(run.id, "#32770", kBound);
    ASSERT_NE(nullptr, dialog);
    EXPECT_EQ("Settings", windowText(dialog));
    DestroyWindow(host);
    pumpMessagesFor(500);
    // Whether the dialog went with its owner or stays to be cancelled, the
    // run ends with 0 and writes nothing.
    const ConfigureEnd end = endConfigureRun(run, kBound);
    EXPECT_EQ(0, end.exitCode);
    EXPECT_TRUE(end.otherWindows.empty());
    EXPECT_EQ("none", userKeyImage());
}

}  // namespace
