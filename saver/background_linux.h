// The background of a Linux front end's surface: the pixels it draws under the balls, kept at
// the surface's size, and the pixel formats of frames and of the desktop copy.
#pragma once

#include <cstdint>

#include <pixman.h>

#include "saver/monitor.h"

// 32-bit x8r8g8b8 pixels in host byte order (blue in the low byte); stride is the
// distance between rows in bytes, a multiple of 4 and at least 4 x width.
struct FramePixels {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
};

// A copy of the desktop, in the same format, read only.
struct DesktopPixels {
    const uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
};

struct Background {
    pixman_image_t* image = nullptr;  // at the surface's size; null: the plain colour
    uint32_t colour = 0xff000000u;
};

// Makes background for a surface of width x height, replacing any earlier one.
// kBackgroundDesktop: the part of desktop under part (cut to the copy's bounds),
// shown one to one when it has the surface's size and otherwise scaled to it with
// an averaging filter; black when desktop is null or the part is empty. kBackgroundBlack: black.
// Any other value: white. Returns false when memory runs out (the background is
// then black). A one-to-one background is read from desktop's pixels at every
// frame, not copied: they must stay valid and unchanged until the background is
// made again or released.
bool makeBackgroundImage(Background& background, int32_t backgroundType, const DesktopPixels* desktop,
                         const ScreenRect& part, int32_t width, int32_t height);

// The background's pixels into rect (inside the frame); black where the background does not reach.
void restoreBackground(const Background& background, const FramePixels& frame, const ScreenRect& rect);

void releaseBackgroundImage(Background& background);
