// The target window of the X11 display mode: the host's window, the root or an own window; its
// size and monitor, the desktop copy, the events that resize or end it, and the presentation of
// frames (MIT-SHM with its completion event, XPutImage otherwise). Only this file talks to Xlib.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "saver/frame_x11.h"
#include "saver/monitor.h"

// What the rest of the program reads of the window; only saver_window_x11.cpp writes it.
struct SaverWindowState {
    int32_t width;
    int32_t height;
    ScreenRect placement;  // the window's place on the screen, in root coordinates
    ScreenRect monitor;    // the monitor that shows the window, in root coordinates
    bool resized;        // the size, place or monitors changed; applyResize takes it
    bool ended;          // the window was destroyed, closed, or asked to end by its user
};

extern SaverWindowState saverWindow;

// CLOCK_MONOTONIC in nanoseconds: the clock of the frame deadlines and of the presentation times.
int64_t monotonicNanos();

// Opens the display, finds or makes the target window, checks its visual, reads the monitors and
// the desktop copy, and makes the frame buffer. Prints the reason and returns an exit code
// (1, or 2 for memory) when the run cannot go on; 0 otherwise. An own window is not yet shown.
int openSaverWindow(const Options& options);

// Maps an own window; nothing for a host's window or the root.
void showSaverWindow();

// The X connection's descriptor, to wait on together with the signals.
int saverWindowFd();

// Handles every event already received or waiting on the connection, without blocking.
void handleWindowEvents();

// True when Xlib has already read events that handleWindowEvents has not handled: a wait on the
// connection's descriptor would not see them.
bool windowEventsQueued();

// Takes a pending resize or move: the new size and monitor, and a frame buffer of the new size. Returns
// false when the buffer cannot be allocated.
bool applyResize();

// The copy of the desktop to draw on, or null when there is none.
const DesktopPixels* desktopCopy();

// The frame buffer when the server no longer reads it, or null while it is still being shown or
// when the window has no area.
const FramePixels* freeFrameBuffer();

// Sends the buffer that freeFrameBuffer gave to the window, without waiting for the server.
void presentFrame();

// The time of one finished presentation in nanoseconds (sent until shown for MIT-SHM, the put
// itself for XPutImage), oldest first; false when there is none to report.
bool takePresentTime(int64_t& nanoseconds);

// Frees the buffers and the segments and closes the display.
void closeSaverWindow();
