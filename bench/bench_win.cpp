// The clock, settings and message pump shared by the frame benchmark's parts.
#include "bench/bench_win.h"

#include "settings/settings.h"

namespace bench {

Options options;
Results results;

double nowMs()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

void useSettings(int32_t opacityPercent, int32_t backgroundType)
{
    settings.ballCount = kBallCount;
    settings.ballScale = kFullScale;
    settings.opacityPercent = opacityPercent;
    settings.backgroundType = backgroundType;
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

void pumpFor(double ms)
{
    const double end = nowMs() + ms;
    for (double left = ms; left > 0; left = end - nowMs()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
        pumpMessages();
    }
}

}  // namespace bench
