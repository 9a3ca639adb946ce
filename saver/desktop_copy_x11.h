// The desktop copy of the X11 display mode: a drawable's pixels read once into memory of the
// program's own, in the frame's format: the host's screenshot pixmap, or the root window.
#pragma once

#include <X11/Xlib.h>

#include "saver/frame_linux.h"

// Reads the host's copy of the screen, the pixmap named by _SCREENSAVER_SCREENSHOT on window
// or else on the root; nothing when neither names one or it cannot be read.
void copyHostScreenshot(Display* display, Window window, Visual* visual, int windowDepth);

// Reads drawable (the root, before an own window is mapped); nothing when it cannot be read or
// has another format. Reads through the frame buffer's segment where it can.
void copyDesktop(Display* display, Drawable drawable, Visual* visual, int windowDepth);

// The copy, or null when there is none. It stays until releaseDesktopCopy.
const DesktopPixels* desktopCopy();

void releaseDesktopCopy();
