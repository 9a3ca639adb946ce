// The saver window in-process under a real display: its class, both window
// forms and every message it answers.
#include "saver/saver_window_win.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "app/password_hooks_win.h"
#include "app/startup_state_win.h"
#include "saver/ball_field.h"
#include "saver/frame_win.h"
#include "saver/saver_window_fixture_win.h"
#include "settings/settings.h"

namespace {

TEST_F(SaverWindow, ClassIsHollowWithTheProgramIcon)
{
    ATOM atom = registerSaverClass(instance);
    ASSERT_NE(0, atom);
    WNDCLASSEXA found = {};
    found.cbSize = sizeof found;
    ASSERT_TRUE(GetClassInfoExA(instance, "ZEPHYRINE", &found));
    EXPECT_EQ(UINT(CS_HREDRAW | CS_VREDRAW), found.style);
    EXPECT_EQ(saverWindowProc, found.lpfnWndProc);
    EXPECT_EQ(0, found.cbClsExtra);
    EXPECT_EQ(0, found.cbWndExtra);
    EXPECT_NE(nullptr, found.hIcon);
    EXPECT_EQ(nullptr, found.hCursor);
    EXPECT_EQ(GetStockObject(NULL_BRUSH), found.hbrBackground);
    EXPECT_EQ(nullptr, found.lpszMenuName);
    EXPECT_EQ(0, registerSaverClass(instance)) << "a second registration must fail";
    UnregisterClassA(startupState.windowClassName, instance);
}

TEST_F(SaverWindow, FullScreenIsATopMostPopupOverTheWholeScreen)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    EXPECT_TRUE(coversTheScreen(saver));
    EXPECT_EQ(DWORD(WS_POPUP | WS_VISIBLE), DWORD(GetWindowLongA(saver, GWL_STYLE)) & ~DWORD(WS_CLIPSIBLINGS));
    EXPECT_EQ(nullptr, GetParent(saver));
    char title[100] = {};
    GetWindowTextA(saver, title, sizeof title);
    EXPECT_STREQ("Zephyrine", title);
    EXPECT_EQ(112, ballField.ballSize);
    EXPECT_NE(nullptr, backgroundDC);
    EXPECT_NE(nullptr, backBufferDC);
    EXPECT_FALSE(GetUpdateRect(saver, nullptr, FALSE)) << "the first frame is painted";
    EXPECT_TRUE(isRunning());
}

TEST_F(SaverWindow, PreviewFillsTheHostClientArea)
{
    ASSERT_NO_FATAL_FAILURE(startPreview(100, 100, 320, 180));
    EXPECT_EQ(host, GetParent(saver));
    EXPECT_EQ(DWORD(WS_CHILD | WS_VISIBLE), DWORD(GetWindowLongA(saver, GWL_STYLE)) & ~DWORD(WS_CLIPSIBLINGS));
    EXPECT_EQ(0, GetWindowLongA(saver, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_EQ(0, GetDlgCtrlID(saver));
    RECT client;
    GetClientRect(saver, &client);
    EXPECT_EQ(320, client.right);
    EXPECT_EQ(180, client.bottom);
    POINT origin = {0, 0};
    MapWindowPoints(saver, host, &origin, 1);
    EXPECT_EQ(0, origin.x);
    EXPECT_EQ(0, origin.y);
    EXPECT_EQ(180 * 112 / 1080, ballField.ballSize) << "scaled by the share of the screen height";
    EXPECT_TRUE(isRunning());
}

TEST_F(SaverWindow, PreviewWithoutAValidHostIsNotCreated)
{
    startupState.saverMode = 0;
    startupState.hostWindow = reinterpret_cast<HWND>(static_cast<INT_PTR>(0x7FFF0123));
    ASSERT_NE(0, registerSaverClass(instance));
    EXPECT_EQ(0, createSaverWindow(instance, SW_SHOWNORMAL));
    EXPECT_EQ(nullptr, FindWindowA(startupState.windowClassName, nullptr));
}

const UINT kKeysAndButtons[] = {WM_KEYDOWN, WM_SYSKEYDOWN, WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};

TEST_F(SaverWindow, PreviewIgnoresKeysButtonsAndTheMouse)
{
    ASSERT_NO_FATAL_FAILURE(startPreview());
    for (UINT message : kKeysAndButtons) EXPECT_EQ(0, SendMessageA(saver, message, 'A', 0));
    moveMouseTo(kRestingPointer.x + 300, kRestingPointer.y + 300);
    EXPECT_TRUE(isRunning());
}

TEST_F(SaverWindow, CursorIsHiddenOnlyInFullScreen)
{
    HCURSOR arrow = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    for (int mode : {1, 0}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ASSERT_NO_FATAL_FAILURE(start(mode));
        SetCursor(arrow);
        EXPECT_EQ(0, SendMessageA(saver, WM_SETCURSOR, WPARAM(saver), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
        EXPECT_EQ(mode == 1 ? nullptr : arrow, GetCursor());
        EXPECT_TRUE(isRunning());
        stopSaver();
    }
}

// One message sent to a freshly started saver window, and whether it closes.
// WM_MOUSEMOVE cases move the pointer by (dx, dy) from where it rested when
// the saver started, and send the move.
struct MessageCase {
    const char* name;
    int saverMode;  // 1 full screen, 0 preview
    UINT message;
    WPARAM wParam;
    int dx, dy;
    bool checkResult;
    LRESULT result;
    bool closes;
};

void PrintTo(const MessageCase& c, std::ostream* out)
{
    *out << c.name;
}

class SaverWindowMessage : public SaverWindow, public ::testing::WithParamInterface<MessageCase> {};

TEST_P(SaverWindowMessage, ClosesOrKeepsRunning)
{
    const MessageCase& c = GetParam();
    SetCursorPos(kRestingPointer.x, kRestingPointer.y);
    ASSERT_NO_FATAL_FAILURE(start(c.saverMode));
    LRESULT result = 0;
    if (c.message == WM_MOUSEMOVE) {
        const int x = kRestingPointer.x + c.dx;
        const int y = kRestingPointer.y + c.dy;
        SetCursorPos(x, y);
        result = SendMessageA(saver, WM_MOUSEMOVE, 0, MAKELPARAM(x, y));
    } else {
        result = SendMessageA(saver, c.message, c.wParam, 0);
    }
    if (c.checkResult) {
        EXPECT_EQ(c.result, result);
    }
    EXPECT_TRUE(c.closes ? hasClosed() : isRunning());
}

constexpr int kFull = 1;
constexpr int kPreviewMode = 0;

// Keys and buttons close the full-screen saver (the preview ignores them, see
// below); a mouse jump beyond ten pixels on either axis closes; losing the
// activation closes in both modes, but only a whole wParam of 0 (a minimised
// window's deactivation does not); of the power events only the suspend
// closes, and a query for it is granted.
INSTANTIATE_TEST_SUITE_P(
    Messages, SaverWindowMessage,
    ::testing::Values(
        MessageCase{"KeyDown", kFull, WM_KEYDOWN, 'A', 0, 0, true, 0, true},
        MessageCase{"SysKeyDown", kFull, WM_SYSKEYDOWN, 'A', 0, 0, true, 0, true},
        MessageCase{"LeftButton", kFull, WM_LBUTTONDOWN, 'A', 0, 0, true, 0, true},
        MessageCase{"RightButton", kFull, WM_RBUTTONDOWN, 'A', 0, 0, true, 0, true},
        MessageCase{"MiddleButton", kFull, WM_MBUTTONDOWN, 'A', 0, 0, true, 0, true},
        MessageCase{"MouseStill", kFull, WM_MOUSEMOVE, 0, 0, 0, true, 0, false},
        MessageCase{"MouseTenDownRight", kFull, WM_MOUSEMOVE, 0, 10, 10, true, 0, false},
        MessageCase{"MouseTenUpLeft", kFull, WM_MOUSEMOVE, 0, -10, -10, true, 0, false},
        MessageCase{"MouseTenUpRight", kFull, WM_MOUSEMOVE, 0, 10, -10, true, 0, false},
        MessageCase{"MouseElevenRight", kFull, WM_MOUSEMOVE, 0, 11, 0, true, 0, true},
        MessageCase{"MouseElevenDown", kFull, WM_MOUSEMOVE, 0, 0, 11, true, 0, true},
        MessageCase{"MouseElevenLeft", kFull, WM_MOUSEMOVE, 0, -11, 0, true, 0, true},
        MessageCase{"MouseElevenUp", kFull, WM_MOUSEMOVE, 0, 0, -11, true, 0, true},
        MessageCase{"DeactivateFull", kFull, WM_ACTIVATE, 0, 0, 0, false, 0, true},
        MessageCase{"DeactivateAppFull", kFull, WM_ACTIVATEAPP, 0, 0, 0, false, 0, true},
        MessageCase{"NcDeactivateFull", kFull, WM_NCACTIVATE, 0, 0, 0, true, TRUE, true},
        MessageCase{"MinimisedDeactivateFull", kFull, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, TRUE), 0, 0, false, 0,
                    false},
        MessageCase{"ActivateFull", kFull, WM_ACTIVATE, WA_ACTIVE, 0, 0, false, 0, false},
        MessageCase{"DeactivatePreview", kPreviewMode, WM_ACTIVATE, 0, 0, 0, false, 0, true},
        MessageCase{"DeactivateAppPreview", kPreviewMode, WM_ACTIVATEAPP, 0, 0, 0, false, 0, true},
        MessageCase{"NcDeactivatePreview", kPreviewMode, WM_NCACTIVATE, 0, 0, 0, true, TRUE, true},
        MessageCase{"MinimisedDeactivatePreview", kPreviewMode, WM_ACTIVATE, MAKEWPARAM(WA_INACTIVE, TRUE), 0, 0,
                    false, 0, false},
        MessageCase{"ActivatePreview", kPreviewMode, WM_ACTIVATE, WA_ACTIVE, 0, 0, false, 0, false},
        MessageCase{"QuerySuspendFull", kFull, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, 0, true, 1, false},
        MessageCase{"SuspendFull", kFull, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, 0, true, 0, true},
        MessageCase{"ResumeFull", kFull, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, 0, true, 0, false},
        MessageCase{"PowerStatusFull", kFull, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, 0, true, 0, false},
        MessageCase{"PowerSettingFull", kFull, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0, 0, true, 0, false},
        MessageCase{"QuerySuspendPreview", kPreviewMode, WM_POWERBROADCAST, PBT_APMQUERYSUSPEND, 0, 0, true, 1,
                    false},
        MessageCase{"SuspendPreview", kPreviewMode, WM_POWERBROADCAST, PBT_APMSUSPEND, 0, 0, true, 0, true},
        MessageCase{"ResumePreview", kPreviewMode, WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 0, 0, true, 0, false},
        MessageCase{"PowerStatusPreview", kPreviewMode, WM_POWERBROADCAST, PBT_APMPOWERSTATUSCHANGE, 0, 0, true, 0,
                    false},
        MessageCase{"PowerSettingPreview", kPreviewMode, WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, 0, 0, true, 0,
                    false}),
    [](const ::testing::TestParamInfo<MessageCase>& info) { return std::string(info.param.name); });

TEST_F(SaverWindow, SmallMovesCarryTheReferenceAlong)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    int x = kRestingPointer.x;
    int y = kRestingPointer.y;
    for (int step = 0; step < 30; ++step) moveMouseTo(x += 10, y -= 10);
    EXPECT_TRUE(isRunning()) << "a drift of 300 pixels in 10-pixel steps";
    moveMouseTo(x + 11, y);
    EXPECT_TRUE(hasClosed()) << "11 pixels from the last reference";
}

TEST_F(SaverWindow, RefusedCloseKeepsTheReference)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    passwordDialogActive = 1;
    moveMouseTo(kRestingPointer.x + 50, kRestingPointer.y);
    EXPECT_TRUE(isRunning());
    passwordDialogActive = 0;
    EXPECT_EQ(0, SendMessageA(saver, WM_MOUSEMOVE, 0, 0));
    EXPECT_TRUE(hasClosed()) << "the pointer is still 50 pixels from the reference";
}

TEST_F(SaverWindow, OnlyMonitorPowerReachesTheSystemInFullScreen)
{
    const WPARAM commands[] = {SC_MONITORPOWER, SC_SCREENSAVE, SC_CLOSE, SC_NEXTWINDOW, SC_KEYMENU, SC_MINIMIZE};
    for (int mode : {1, 0}) {
        SCOPED_TRACE(testing::Message() << "mode " << mode);
        ASSERT_NO_FATAL_FAILURE(start(mode));
        ASSERT_NO_FATAL_FAILURE(hookSysCommands());
        for (WPARAM command : commands) EXPECT_EQ(0, SendMessageA(saver, WM_SYSCOMMAND, command, 2));
        std::vector<WPARAM> expected;
        if (mode == 1) expected.push_back(SC_MONITORPOWER);
        EXPECT_EQ(expected, defaultSysCommands);
        EXPECT_TRUE(isRunning()) << "SC_CLOSE must not close";
        EXPECT_FALSE(IsIconic(saver));
        UnhookWindowsHookEx(hook);
        hook = nullptr;
        stopSaver();
    }
}

TEST_F(SaverWindow, CloseWhileThePasswordDialogIsActiveIsIgnored)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    passwordDialogActive = 1;
    EXPECT_EQ(0, SendMessageA(saver, WM_CLOSE, 0, 0));
    EXPECT_TRUE(isRunning());
    passwordDialogActive = 0;
    EXPECT_EQ(0, SendMessageA(saver, WM_CLOSE, 0, 0));
    EXPECT_TRUE(hasClosed());
}

TEST_F(SaverWindow, LaterClosesAndDestroysQuitAgainWithoutReleasingTwice)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    EXPECT_EQ(0, SendMessageA(saver, WM_KEYDOWN, VK_SPACE, 0));
    EXPECT_TRUE(hasClosed());
    EXPECT_EQ(0, SendMessageA(saver, WM_CLOSE, 0, 0));
    EXPECT_TRUE(hasClosed());
    EXPECT_EQ(0, SendMessageA(saver, WM_DESTROY, 0, 0));
    EXPECT_TRUE(hasClosed());
    EXPECT_EQ(nullptr, backgroundDC);
    EXPECT_EQ(nullptr, backgroundBitmap);
    EXPECT_EQ(nullptr, backBufferBitmap);
}

// The timer is never killed: until the loop takes the quit message, ticks and
// paints still arrive after a release, among more endings of every kind.
TEST_F(SaverWindow, TicksPaintsAndEndingsAfterADestroyAreHarmless)
{
    ASSERT_NO_FATAL_FAILURE(startFullScreen());
    EXPECT_EQ(0, SendMessageA(saver, WM_DESTROY, 0, 0));
    EXPECT_TRUE(hasClosed());
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE(round);
        EXPECT_EQ(0, SendMessageA(saver, WM_TIMER, 1, 0));
        UpdateWindow(saver);
        EXPECT_EQ(0, SendMessageA(saver, WM_KEYDOWN, VK_SPACE, 0));
        EXPECT_EQ(0, SendMessageA(saver, WM_DESTROY, 0, 0));
        EXPECT_EQ(0, SendMessageA(saver, WM_CLOSE, 0, 0));
        EXPECT_TRUE(hasClosed());
    }
    const BallField before = ballField;
    pumpFor(300);
    EXPECT_NE(before.x[0], ballField.x[0]) << "the timer's own ticks went on";
    EXPECT_TRUE(IsWindow(saver));
    EXPECT_EQ(nullptr, backgroundDC);
    EXPECT_EQ(nullptr, backBufferBitmap);
}

TEST_F(SaverWindow, DestroyingTheHostEndsThePreview)
{
    ASSERT_NO_FATAL_FAILURE(startPreview());
    DestroyWindow(host);
    host = nullptr;
    WPARAM code = 99;
    EXPECT_TRUE(takeQuit(&code));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(nullptr, backBufferDC);
}

}  // namespace
