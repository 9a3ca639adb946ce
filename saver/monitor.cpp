// Monitor choice, desktop part and ball size for a surface.
#include "saver/monitor.h"

#include <cstdint>

namespace {

bool holds(const ScreenRect& monitor, int64_t x, int64_t y)
{
    return monitor.width > 0 && monitor.height > 0 && x >= monitor.x && x < int64_t{monitor.x} + monitor.width &&
           y >= monitor.y && y < int64_t{monitor.y} + monitor.height;
}

int64_t areaOf(const ScreenRect& rect)
{
    return int64_t{rect.width} * rect.height;
}

}  // namespace

ScreenRect monitorForWindow(const ScreenRect* monitors, int monitorCount, const ScreenRect& window,
                            const ScreenRect& screen)
{
    const int64_t centreX = int64_t{window.x} + window.width / 2;
    const int64_t centreY = int64_t{window.y} + window.height / 2;
    const ScreenRect* chosen = nullptr;
    for (int i = 0; i < monitorCount; ++i) {
        if (holds(monitors[i], centreX, centreY) && (chosen == nullptr || areaOf(monitors[i]) < areaOf(*chosen)))
            chosen = &monitors[i];
    }
    return chosen != nullptr ? *chosen : screen;
}

ScreenRect desktopPartForWindow(const ScreenRect& window, const ScreenRect& monitor)
{
    return window.width > monitor.width || window.height > monitor.height ? window : monitor;
}

int32_t saverModeForWindow(bool ownWindow, int32_t windowHeight, int32_t monitorHeight)
{
    return ownWindow || windowHeight >= monitorHeight ? 1 : 0;
}

int32_t ballSizeForWindow(bool ownWindow, int32_t windowHeight, int32_t monitorHeight, int32_t ballScale)
{
    return computeBallSize(saverModeForWindow(ownWindow, windowHeight, monitorHeight), windowHeight, monitorHeight,
                           ballScale);
}

SurfaceLayout layOutSurface(const ScreenRect& place, const ScreenRect* monitors, int monitorCount,
                            const ScreenRect& screen, bool ownWindow, int32_t ballScale)
{
    const ScreenRect monitor = monitorForWindow(monitors, monitorCount, place, screen);
    const int32_t saverMode = saverModeForWindow(ownWindow, place.height, monitor.height);
    return {place.width, place.height,
            monitor,     desktopPartForWindow(place, monitor),
            saverMode,   computeBallSize(saverMode, place.height, monitor.height, ballScale)};
}
