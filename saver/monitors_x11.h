// The monitors of the X11 display mode: the RandR monitor list and the screen's size, read from
// the server and kept until the next read; the rule that picks a window's monitor is monitor.h's.
#pragma once

#include <X11/Xlib.h>

#include "saver/monitor.h"

constexpr int kMaxMonitors = 16;

struct MonitorList {
    ScreenRect monitors[kMaxMonitors];
    int count = 0;
    ScreenRect screen{0, 0, 0, 0};
};

// Reads the monitors (none without RandR 1.5) and the screen: the root's size, or window's own
// size when window is the root (it may be newer than the display's).
void readMonitors(Display* display, Window window, int32_t windowWidth, int32_t windowHeight, MonitorList& list);

// Asks for the root's screen-change events (not input: the host keeps that) and returns their
// type, or -1 without RandR.
int selectScreenChanges(Display* display);

// Takes a screen-change event into Xlib's idea of the screen.
void takeScreenChange(XEvent& event);
