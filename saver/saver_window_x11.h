// The target window of the X11 display mode: the host's window, the root or an own window; the
// display connection, its events (a table, one line per event) and what they change. The jobs
// around it have a file each: error_trap_x11, monitors_x11, desktop_copy_x11, shared_image_x11
// and frame_buffer_x11.
#pragma once

#include <cstdint>

#include "saver/failure.h"
#include "saver/frame_linux.h"
#include "saver/monitor.h"

// What the program asks of the window.
struct WindowRequest {
    enum class Target { ownWindow, root, windowId } target = Target::ownWindow;
    uint32_t windowId = 0;      // root: the host's window, 0 for the root window itself; windowId: the window
    int32_t width = 1280;       // the own window's size
    int32_t height = 720;
    bool desktopBackground = false;  // read the desktop copy
};

// Where the window is, with what its layout depends on.
struct WindowPlace {
    ScreenRect place;  // the window on the screen, in root coordinates
    const ScreenRect* monitors;
    int monitorCount;
    ScreenRect screen;
    bool ownWindow;
    uint32_t serial;  // changes whenever any of the above changes
};

// What handling the window's events found.
enum class WindowEvents { nothing, changed, ended };

// Opens the display, finds or makes the target window, checks its visual, reads the monitors and
// the desktop copy, and makes the frame buffer. A failure carries the message and the exit code
// (1, or 2 for memory). An own window is not yet shown.
Failure openSaverWindow(const WindowRequest& request);

// Maps an own window; nothing for a host's window or the root.
void showSaverWindow();

// The X connection's descriptor, to wait on together with the signals.
int saverWindowFd();

// True when Xlib has already read events that handleWindowEvents has not handled: a wait on the
// connection's descriptor would not see them.
bool windowEventsQueued();

// Handles every event already received or waiting on the connection, without blocking. changed:
// the size, place or monitors changed (applyWindowChanges takes it); ended: the window was
// destroyed, closed, or its user asked to end.
WindowEvents handleWindowEvents();

// Takes a pending change of size, place or monitors: reads them again and sizes the frame
// buffer. A failure when the buffer cannot be allocated.
Failure applyWindowChanges();

WindowPlace saverWindowPlace();

// Sends the changes of the frame buffer (frame_buffer_x11's freeFrameBuffer) to the window: the
// whole buffer after an exposure, and once a second on a host's window, whose exposures are the
// host's to select.
void presentWindowFrame(const FrameChanges& changes);

// Frees the buffer and the desktop copy, and closes the display.
void closeSaverWindow();
