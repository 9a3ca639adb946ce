// The X11 display mode's target window itself: the host's window or the root, checked for a
// usable visual, or the program's own window on a 24-bit TrueColor visual; and its removal.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "saver/failure.h"

// What the program asks of the window.
struct WindowRequest {
    enum class Target { ownWindow, root, windowId } target = Target::ownWindow;
    uint32_t windowId = 0;  // root: the host's window, 0 for the root window itself; windowId: the window
    int32_t width = 1280;   // the own window's size
    int32_t height = 720;
    bool desktopBackground = false;  // read the desktop copy
};

// The window found or made, and what drawing on it needs.
struct TargetWindow {
    Window window = 0;  // 0 for an own window until makeOwnWindow
    bool ownWindow = false;
    Visual* visual = nullptr;
    int depth = 0;
    int32_t width = 0;  // its size when found, or the own window's
    int32_t height = 0;
    Colormap colormap = 0;  // made for an own window whose visual is not the default one
    Atom deleteWindow = 0;  // the own window's close request
    bool gone = false;      // a host's window destroyed while it was being found: the run ends at once
};

// The host's window or the root: it must exist and have a usable visual, and only its own fate
// is selected (input is the host's). For an own window, its visual and size. A failure carries
// the message, with exit code 1.
Failure findTargetWindow(Display* display, const WindowRequest& request, TargetWindow& target);

// Makes the own window (not yet mapped), named, asking for its close requests as events.
void makeOwnWindow(Display* display, TargetWindow& target);

// Destroys an own window and its colormap; nothing for a host's window or the root.
void destroyTargetWindow(Display* display, const TargetWindow& target);
