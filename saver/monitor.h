// Window geometry rules of the X11 display mode: which monitor shows a window and the ball size
// for a window on it. Platform-free: the X11 front end hands in the
// monitor list it read from the server.
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
