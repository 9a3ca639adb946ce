// Layout rules of the Linux front ends: which monitor shows a surface, the part of the desktop it
// shows and its ball size. Platform-free: a display server hands in the rectangles it read.
#pragma once

#include <cstdint>

#include "saver/ball_field.h"

// A rectangle in screen pixels: its top left corner and its size.
struct ScreenRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// The monitor that holds the window's centre; where several hold it, the smallest; the whole
// screen when the list is empty or no monitor holds it.
ScreenRect monitorForWindow(const ScreenRect* monitors, int monitorCount, const ScreenRect& window,
                            const ScreenRect& screen);

// The part of the desktop copy a window shows: its monitor's, scaled to the window (a preview
// pane shows the whole monitor shrunk, a monitor-sized window its monitor one to one); a window
// wider or taller than its monitor, such as the root over several monitors, shows its own part.
ScreenRect desktopPartForWindow(const ScreenRect& window, const ScreenRect& monitor);

// The ball size for a window of the given height on a monitor of the given height: the full-screen
// size for the program's own window, else the preview rule against the monitor's height, never
// larger than the full-screen size.
int32_t ballSizeForWindow(bool ownWindow, int32_t windowHeight, int32_t monitorHeight, int32_t ballScale);

// The saverMode for placeBalls that gives ballSizeForWindow: 1 (the full-screen size) for the own
// window or a window at least as tall as its monitor, else 0 (the preview rule).
int32_t saverModeForWindow(bool ownWindow, int32_t windowHeight, int32_t monitorHeight);

// Everything a surface's size decides: the field, the monitor that shows it, the part of the
// desktop copy drawn under the balls (scaled to width x height), and the ball size with the
// saverMode that gives it to placeBalls.
struct SurfaceLayout {
    int32_t width;
    int32_t height;
    ScreenRect monitor;
    ScreenRect desktopPart;
    int32_t saverMode;
    int32_t ballSize;
};

// The layout of a surface at place (in screen coordinates) among the monitors of screen: the
// rules above in one call. A display server with one surface per monitor passes that monitor
// as place and as the only monitor, and gets the full-screen size and the whole monitor.
SurfaceLayout layOutSurface(const ScreenRect& place, const ScreenRect* monitors, int monitorCount,
                            const ScreenRect& screen, bool ownWindow, int32_t ballScale);
