// Frame composition of the X11 display mode: the background at the window's size,
// kept in memory, and each frame composed from it and the balls' thumbnails with
// pixman into pixels the caller owns (for instance a shared-memory XImage).
#pragma once

#include <cstdint>

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

// The monitor that shows the window, in the desktop copy's coordinates.
struct MonitorRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Makes the background for a window of width x height, replacing any earlier one.
// backgroundType 0: the part of desktop under monitor (cut to the copy's bounds),
// shown one to one when it has the window's size and otherwise scaled to it with
// an averaging filter; black when desktop is null or the part is empty. 1: black.
// Any other value: white. Returns false when memory runs out (the background is
// then black). A one-to-one background is read from desktop's pixels at every
// frame, not copied: they must stay valid and unchanged until the next
// makeBackground or releaseFrame.
bool makeBackground(int32_t backgroundType, const DesktopPixels* desktop, const MonitorRect& monitor,
                    int32_t width, int32_t height);

// Sets the opacity (percent, 50..100; other values are clamped) of the balls drawn
// by composeFrame. Call it once before composing; it makes the one mask they use.
// Returns false when memory runs out.
bool setBallOpacity(int32_t opacityPercent);

// Composes a frame into frame: the background, then for i from 0 to ballCount - 1
// (ball 0 at the bottom) thumbnails[ballField.imageIndex[i]] at ballField.x[i],
// ballField.y[i], its alpha scaled by the opacity, clipped to the frame. Any frame
// size works; the parts of the frame outside the background are black. Nothing is
// allocated per frame once a frame buffer has been seen.
void composeFrame(const FramePixels& frame, int32_t ballCount);

// Frees the background, the mask and every cached frame wrapper.
void releaseFrame();
