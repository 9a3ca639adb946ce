// Shared XImages of the X11 display mode: an image whose pixels are a MIT-SHM segment that the
// program and the server have both attached and that is already marked for removal, so that
// nothing is left behind at any end, even a SIGKILL.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>

#include <cstddef>
#include <cstdint>

struct SharedImage {
    XImage* image = nullptr;
    XShmSegmentInfo segment{};
    size_t bytes = 0;
};

// LSBFirst or MSBFirst: the byte order of this machine's 32-bit pixels.
int hostByteOrder();

// True when the server offers MIT-SHM on a local (Unix socket) connection in this machine's byte
// order.
bool canShareImages(Display* display);

// A shared image of width x height at depth, its pages populated; false when MIT-SHM fails
// (nothing is then left).
bool makeSharedImage(Display* display, Visual* visual, unsigned depth, int32_t width, int32_t height,
                     SharedImage& shared);

void releaseSharedImage(Display* display, SharedImage& shared);
