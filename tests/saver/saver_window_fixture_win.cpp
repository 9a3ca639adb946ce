// The saver window's test fixture and the desktop stand-in.
#include "saver/saver_window_fixture_win.h"

#include <gdiplus.h>

#include <cstdlib>
#include <cwchar>

#include "app/password_hooks_win.h"
#include "app/startup_state_win.h"
#include "saver/ball_images_win.h"
#include "saver/frame_win.h"
#include "saver/saver_window_win.h"
#include "settings/settings.h"

namespace {

constexpr char kPatternClass[] = "ZephyrineTestPattern";

// GDI+ and the eight installed pictures, for the whole program.
class PicturesEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        Gdiplus::GdiplusStartupInput input;
        ASSERT_EQ(Gdiplus::Ok, Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr));
        std::wstring dist = distDirectory();
        std::wcsncpy(settings.installPath, dist.c_str(), kInstallPathUnits - 1);
        MessageBoxCloser closer;
        ASSERT_EQ(0, loadBallImages());
    }
    void TearDown() override { releaseBallImages(startupState.gdiplusToken); }
};

::testing::Environment* const picturesEnvironment = ::testing::AddGlobalTestEnvironment(new PicturesEnvironment);

LRESULT CALLBACK sysCommandHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_SYSCOMMAND) {
        defaultSysCommands.push_back(wParam);
        return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// Sampled every 8 pixels, the whole screen is the red and blue stand-in.
bool showsPattern(const Pixels& screen)
{
    for (int y = 0; y < screen.height; y += 8)
        for (int x = 0; x < screen.width; x += 8)
            if (screen.at(x, y) != (x < screen.width / 2 ? kRed : kBlue)) return false;
    return true;
}

}  // namespace

std::vector<WPARAM> defaultSysCommands;

Pixels readWindow(HWND window)
{
    RECT area;
    GetClientRect(window, &area);
    HDC dc = GetDC(window);
    Pixels pixels = readPixels(dc, area.right, area.bottom);
    ReleaseDC(window, dc);
    return pixels;
}

bool isNear(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        int difference = int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF);
        if (std::abs(difference) > tolerance) return false;
    }
    return true;
}

bool insideAnyBall(const BallField& field, int count, int x, int y)
{
    for (int i = 0; i < count; ++i)
        if (x >= field.x[i] && x < field.x[i] + field.ballSize && y >= field.y[i] &&
            y < field.y[i] + field.ballSize)
            return true;
    return false;
}

void SaverWindow::SetUp()
{
    instance = GetModuleHandleA(nullptr);
    startupState.instance = instance;
    loadDisplayStrings(instance);
    startupState.hostWindow = nullptr;
    startupState.saverMode = 1;
    resetToDefaults(settings);
    passwordDialogActive = 0;
    SetCursorPos(kRestingPointer.x, kRestingPointer.y);

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.hInstance = instance;
    windowClass.lpfnWndProc = redBlueDesktopProc;
    windowClass.lpszClassName = kPatternClass;
    RegisterClassExA(&windowClass);
    pumpFor(50);
}

void SaverWindow::TearDown()
{
    stopSaver();
    if (pattern) DestroyWindow(pattern);
    if (hook) UnhookWindowsHookEx(hook);
    pumpFor(0);
    UnregisterClassA(kPatternClass, instance);
}

void SaverWindow::startFullScreen()
{
    startupState.saverMode = 1;
    ASSERT_NE(0, registerSaverClass(instance));
    ASSERT_EQ(1, createSaverWindow(instance, SW_SHOWNORMAL));
    saver = FindWindowA(startupState.windowClassName, nullptr);
    ASSERT_NE(nullptr, saver);
}

void SaverWindow::startPreview(int x, int y, int width, int height)
{
    host = createHostWindow(width, height, WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, x, y);
    ASSERT_NE(nullptr, host);
    UpdateWindow(host);
    startupState.saverMode = 0;
    startupState.hostWindow = host;
    ASSERT_NE(0, registerSaverClass(instance));
    ASSERT_EQ(1, createSaverWindow(instance, SW_SHOWNORMAL));
    saver = GetWindow(host, GW_CHILD);
    ASSERT_NE(nullptr, saver);
}

void SaverWindow::start(int saverMode)
{
    if (saverMode == 1)
        startFullScreen();
    else
        startPreview();
}

// Ends the saver window, its host and its class, and forgets the quit
// message that ending posts, so that the next case starts clean.
void SaverWindow::stopSaver()
{
    if (saver && IsWindow(saver)) DestroyWindow(saver);
    if (host) DestroyWindow(host);
    saver = nullptr;
    host = nullptr;
    pumpFor(0);
    quitSeen = false;
    UnregisterClassA(startupState.windowClassName, instance);
}

// Shows the red and blue desktop stand-in and waits until the screen has it.
void SaverWindow::showPattern()
{
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    pattern = CreateWindowExA(0, kPatternClass, "pattern", WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, instance, nullptr);
    ASSERT_NE(nullptr, pattern);
    UpdateWindow(pattern);
    const bool shown = waitUntil(
        [&] {
            HDC screen = GetDC(nullptr);
            const Pixels pixels = readPixels(screen, width, height);
            ReleaseDC(nullptr, screen);
            return showsPattern(pixels);
        },
        5000);
    ASSERT_TRUE(shown) << "the pattern never reached the screen";
}

// Dispatches whatever arrives for ms milliseconds (with 0: until the queue
// is empty); a quit message is kept for takeQuit. A busy animation keeps
// the queue from ever emptying, so time is checked after every message.
void SaverWindow::pumpFor(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quitSeen = true;
                quitCode = message.wParam;
            } else {
                DispatchMessageA(&message);
            }
            if (ms && GetTickCount() - start >= ms) return;
        }
        if (ms) MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while (GetTickCount() - start < ms);
}

bool SaverWindow::takeQuit(WPARAM* code)
{
    MSG message;
    if (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
        quitSeen = true;
        quitCode = message.wParam;
    }
    bool seen = quitSeen;
    *code = quitCode;
    quitSeen = false;
    return seen;
}

// The saver accepted a close: surfaces released, quit posted with 0, and
// the window still there.
::testing::AssertionResult SaverWindow::hasClosed()
{
    WPARAM code = 99;
    if (!takeQuit(&code)) return ::testing::AssertionFailure() << "no quit message";
    if (code != 0) return ::testing::AssertionFailure() << "quit with " << code;
    if (backBufferDC) return ::testing::AssertionFailure() << "surfaces not released";
    if (!IsWindow(saver)) return ::testing::AssertionFailure() << "window destroyed";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult SaverWindow::isRunning()
{
    WPARAM code = 0;
    if (takeQuit(&code)) return ::testing::AssertionFailure() << "quit posted";
    if (!backBufferDC) return ::testing::AssertionFailure() << "surfaces released";
    if (!IsWindow(saver)) return ::testing::AssertionFailure() << "window gone";
    return ::testing::AssertionSuccess();
}

void SaverWindow::moveMouseTo(int x, int y)
{
    SetCursorPos(x, y);
    EXPECT_EQ(0, SendMessageA(saver, WM_MOUSEMOVE, 0, MAKELPARAM(x, y)));
}

void SaverWindow::hookSysCommands()
{
    defaultSysCommands.clear();
    hook = SetWindowsHookExA(WH_CBT, sysCommandHook, nullptr, GetCurrentThreadId());
    ASSERT_NE(nullptr, hook);
}
