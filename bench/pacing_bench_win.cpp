// Frame pacing: the real saver window in this process, with a window
// procedure that counts WM_TIMER and WM_PAINT on their way to
// saverWindowProc and times them.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "app/startup_state_win.h"
#include "bench/bench_stats.h"
#include "bench/bench_win.h"
#include "res/resource.h"
#include "saver/saver_window_win.h"

namespace bench {

namespace {

const char kPacingClass[] = "ZephyrineBenchPacing";

struct Pacing {
    HWND window = nullptr;
    int ticks = 0;
    int paints = 0;
    int paintsAfterTick = 0;
    bool tickPending = false;
    double createdAt = 0;
    double endedAt = 0;
    std::vector<double> tickTimes, paintTimes, paintDurations;
};
Pacing pacing;

// Counts ticks and paints on their way to saverWindowProc.
LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) pacing.window = window;
    if (message == WM_TIMER) {
        ++pacing.ticks;
        pacing.tickPending = true;
        pacing.tickTimes.push_back(nowMs());
    }
    if (message != WM_PAINT) return saverWindowProc(window, message, wParam, lParam);

    const double start = nowMs();
    const LRESULT result = saverWindowProc(window, message, wParam, lParam);
    pacing.paintDurations.push_back(nowMs() - start);
    pacing.paintTimes.push_back(start);
    ++pacing.paints;
    if (pacing.tickPending) ++pacing.paintsAfterTick;
    pacing.tickPending = false;
    return result;
}

void CALLBACK endPacing(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    pacing.endedAt = nowMs();
    SendMessageA(pacing.window, WM_CLOSE, 0, 0);
}

}  // namespace

// The saver window made by createSaverWindow in full-screen saver mode, its
// class the saver's own but for the counting procedure, run by the program's
// message loop until a close after the measuring time.
void measurePacing(HINSTANCE instance)
{
    useSettings(75, kBackgroundDesktop);
    startupState.saverMode = 1;
    char savedClassName[kDisplayStringSize];
    std::memcpy(savedClassName, startupState.windowClassName, sizeof savedClassName);

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = countingWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kPacingClass;
    RegisterClassExA(&windowClass);
    std::snprintf(startupState.windowClassName, sizeof startupState.windowClassName, "%s", kPacingClass);

    const size_t expected = static_cast<size_t>(options.pacingSeconds * 1000 / 30) + 100;
    pacing.tickTimes.reserve(expected);
    pacing.paintTimes.reserve(expected);
    pacing.paintDurations.reserve(expected);

    pacing.createdAt = nowMs();
    const int created = createSaverWindow(instance, SW_SHOWNORMAL);
    SetTimer(nullptr, 0, static_cast<UINT>(options.pacingSeconds * 1000), endPacing);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    MSG message = {};
    while (created && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const double ranMs = (pacing.endedAt > 0 ? pacing.endedAt : nowMs()) - pacing.createdAt;
    if (pacing.window) DestroyWindow(pacing.window);
    pumpMessages();  // takes the second quit message that WM_DESTROY posts
    std::memcpy(startupState.windowClassName, savedClassName, sizeof savedClassName);

    std::printf("\n== Frame pacing of the saver window at %dx%d, %d balls (saverWindowProc "
                "in-process, %.1f s)\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kBallCount, ranMs / 1000);
    if (!created || pacing.endedAt == 0)
        std::printf("the window %s before the measuring time was over\n",
                    created ? "closed" : "could not be created");
    const double share = pacing.ticks ? 100.0 * pacing.paintsAfterTick / pacing.ticks : 0;
    results.paintedShare = share;
    std::printf("ticks received %d (%.2f per s), frames painted %d (%d after a tick), "
                "ticks painted %.1f %%\n",
                pacing.ticks, pacing.ticks * 1000.0 / ranMs, pacing.paints, pacing.paintsAfterTick, share);
    printSpreadHeader("ms");
    printSpreadRow("interval between paints", spreadOf(intervalsOf(pacing.paintTimes)));
    printSpreadRow("interval between ticks", spreadOf(intervalsOf(pacing.tickTimes)));
    printSpreadRow("time inside WM_PAINT", spreadOf(pacing.paintDurations));
    std::fflush(stdout);
}

}  // namespace bench
