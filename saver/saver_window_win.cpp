// The saver window: its class, its creation in full-screen or preview form,
// and the window procedure that animates, paints and ends the run.
#include "saver/saver_window_win.h"

#include "app/password_hooks_win.h"
#include "app/startup_state_win.h"
#include "res/resource.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "saver/frame_win.h"
#include "saver/pointer_jump.h"
#include "settings/settings.h"

namespace {

constexpr UINT_PTR kTimerId = 1;
constexpr UINT kTimerPeriodMs = kTickMilliseconds;
constexpr UINT kHostCheckPeriodMs = 250;

// Read once when the window is created; the one geometry of every frame.
ClientRect clientRect;
// Where the pointer was when it last moved by no more than the tolerance.
POINT cursorReference;
// The preview's thread timer that watches the host window; 0 when none runs.
UINT_PTR hostCheckTimer;

bool isFullScreen()
{
    return startupState.saverMode == 1;
}

void requestClose(HWND window)
{
    SendMessageA(window, WM_CLOSE, 0, 0);
}

void releaseAndQuit()
{
    if (hostCheckTimer) {
        KillTimer(nullptr, hostCheckTimer);
        hostCheckTimer = 0;
    }
    releaseSurfaces();
    PostQuitMessage(0);
}

// Ends a preview whose host window is gone. When the host goes while the
// preview is being created, Wine can take the preview down with it without
// ever sending it WM_DESTROY, and the message loop would wait for ever; a
// thread timer outlives the window and still arrives.
void CALLBACK checkHostWindow(HWND, UINT, UINT_PTR, DWORD)
{
    if (!IsWindow(startupState.hostWindow)) releaseAndQuit();
}

void readClientRect(HWND window)
{
    RECT area = {};
    GetClientRect(window, &area);
    clientRect = {area.left, area.top, area.right, area.bottom};
}

// Copies the composed frame to the paint target; after the release there is
// no frame and nothing is drawn.
void showFrame(HDC target)
{
    composeFrame(clientRect);
    if (backBufferDC) BitBlt(target, 0, 0, clientRect.right, clientRect.bottom, backBufferDC, 0, 0, SRCCOPY);
}

LRESULT onCreate(HWND window)
{
    seedRandom(ballField, GetTickCount());
    readClientRect(window);
    createSurfaces(window, clientRect);
    placeBalls(ballField, clientRect, settings.ballCount, settings.ballScale, startupState.saverMode,
               GetSystemMetrics(SM_CYSCREEN));
    captureBackground(clientRect);
    makeThumbnails();
    SetTimer(window, kTimerId, kTimerPeriodMs, nullptr);
    cursorReference = {0, 0};
    GetCursorPos(&cursorReference);
    if (!isFullScreen() && !hostCheckTimer)
        hostCheckTimer = SetTimer(nullptr, 0, kHostCheckPeriodMs, checkHostWindow);
    return 0;
}

LRESULT onDestroy()
{
    releaseAndQuit();
    return 0;
}

// Losing activation ends the run; the activation itself is the system's.
LRESULT onActivation(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (wParam == 0) requestClose(window);
    return DefWindowProcA(window, message, wParam, lParam);
}

LRESULT onPaint(HWND window)
{
    PAINTSTRUCT paint;
    HDC target = BeginPaint(window, &paint);
    showFrame(target);
    EndPaint(window, &paint);
    return 0;
}

LRESULT onClose()
{
    if (passwordDialogActive) return 0;
    if (verifyBeforeClose() == 0) return 0;
    releaseAndQuit();
    return 0;
}

LRESULT onSetCursor()
{
    if (isFullScreen()) SetCursor(nullptr);
    return 0;
}

LRESULT onKeyOrButton(HWND window)
{
    if (isFullScreen()) requestClose(window);
    return 0;
}

// In full-screen mode only monitor power-down goes to the system; screen-saver
// starts, closing, task switching and menus are swallowed, and the preview
// swallows every command.
LRESULT onSysCommand(HWND window, WPARAM wParam, LPARAM lParam)
{
    if (isFullScreen() && wParam == SC_MONITORPOWER) return DefWindowProcA(window, WM_SYSCOMMAND, wParam, lParam);
    return 0;
}

LRESULT onTimer(HWND window)
{
    moveBalls(ballField, clientRect);
    InvalidateRect(window, nullptr, FALSE);
    return 0;
}

// A jump beyond the tolerance ends the run; smaller moves carry the
// reference along, so a slow drift never does.
LRESULT onMouseMove(HWND window)
{
    if (!isFullScreen()) return 0;
    POINT position = cursorReference;
    GetCursorPos(&position);
    if (isPointerJump(cursorReference.x, cursorReference.y, position.x, position.y))
        requestClose(window);
    else
        cursorReference = position;
    return 0;
}

// Suspension ends the run; a query for suspension is granted.
LRESULT onPowerBroadcast(HWND window, WPARAM event)
{
    if (event == PBT_APMSUSPEND) requestClose(window);
    return event == PBT_APMQUERYSUSPEND ? 1 : 0;
}

HWND createFullScreenWindow(HINSTANCE instance)
{
    HDC screen = GetDC(nullptr);
    int width = GetDeviceCaps(screen, HORZRES);
    int height = GetDeviceCaps(screen, VERTRES);
    ReleaseDC(nullptr, screen);
    return CreateWindowExA(WS_EX_TOPMOST, startupState.windowClassName, startupState.displayName,
                           WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr, nullptr, instance, nullptr);
}

HWND createPreviewWindow(HINSTANCE instance)
{
    RECT host = {};
    GetClientRect(startupState.hostWindow, &host);
    return CreateWindowExA(0, startupState.windowClassName, startupState.displayName, WS_CHILD | WS_VISIBLE, 0, 0,
                           host.right, host.bottom, startupState.hostWindow, nullptr, instance, nullptr);
}

}  // namespace

ATOM registerSaverClass(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = saverWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_ZEPHYRINE));
    windowClass.hCursor = nullptr;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = startupState.windowClassName;
    return RegisterClassExA(&windowClass);
}

int createSaverWindow(HINSTANCE instance, int showCommand)
{
    HWND window = isFullScreen() ? createFullScreenWindow(instance) : createPreviewWindow(instance);
    if (!window) return 0;
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    return 1;
}

LRESULT CALLBACK saverWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE: return onCreate(window);
    case WM_DESTROY: return onDestroy();
    case WM_ACTIVATE: return onActivation(window, message, wParam, lParam);
    case WM_ACTIVATEAPP: return onActivation(window, message, wParam, lParam);
    case WM_NCACTIVATE: return onActivation(window, message, wParam, lParam);
    case WM_PAINT: return onPaint(window);
    case WM_CLOSE: return onClose();
    case WM_SETCURSOR: return onSetCursor();
    case WM_KEYDOWN: return onKeyOrButton(window);
    case WM_SYSKEYDOWN: return onKeyOrButton(window);
    case WM_LBUTTONDOWN: return onKeyOrButton(window);
    case WM_RBUTTONDOWN: return onKeyOrButton(window);
    case WM_MBUTTONDOWN: return onKeyOrButton(window);
    case WM_SYSCOMMAND: return onSysCommand(window, wParam, lParam);
    case WM_TIMER: return onTimer(window);
    case WM_MOUSEMOVE: return onMouseMove(window);
    case WM_POWERBROADCAST: return onPowerBroadcast(window, wParam);
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}
