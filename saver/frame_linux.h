// Frame composition of the Linux front ends: a surface's background and thumbnails at its size,
// kept in memory, and each frame composed from them with pixman into a buffer that the display
// server owns: the whole frame, or only what changed since that buffer was last composed.
// Knows pixels, rectangles and sizes, never a window.
#pragma once

#include <cstdint>

#include <pixman.h>

#include "saver/background_linux.h"
#include "saver/ball_field.h"
#include "saver/ball_pictures_linux.h"
#include "saver/monitor.h"

// What one surface draws under and as its balls; written only by the functions below.
struct SurfaceFrame {
    Background background;
    Thumbnails thumbnails;
    // The thumbnails with the opacity applied, made at the first frame after either changed.
    pixman_image_t* balls[kPictureCount] = {};
    int32_t ballsOpacity = 0;
    uint32_t ballsGeneration = 0;
    uint32_t generation = 0;  // changes with the background, the thumbnails or the balls
};

// A composition changes at most this many rectangles before it draws the whole frame.
constexpr int kMaxChangedRects = 2 * kMaxBalls;

// What one buffer of a surface holds, kept with that buffer: the next composition into it then
// redraws only what differs. A surface with two buffers keeps two.
struct BufferRecord {
    pixman_image_t* target = nullptr;  // pixman's image over pixels
    FramePixels pixels{};
    bool drawn = false;  // holds a whole frame of the surface's generation below
    uint32_t generation = 0;
    int32_t ballCount = 0;
    ScreenRect squares[kMaxBalls] = {};  // where each ball was drawn
};

// The rectangles of the buffer that a composition wrote, none overlapping another; one
// rectangle of the whole buffer when it composed the whole frame.
struct FrameChanges {
    bool whole = false;
    int count = 0;
    ScreenRect rects[kMaxChangedRects];
};

// Makes surface's background (see makeBackgroundImage); its buffers are then drawn whole.
bool makeBackground(SurfaceFrame& surface, int32_t backgroundType, const DesktopPixels* desktop,
                    const ScreenRect& part, int32_t width, int32_t height);

// Makes surface's thumbnails at ballSize x ballSize when they have another size.
void setBallSize(SurfaceFrame& surface, int32_t ballSize);

// Sets the opacity (percent, within the setting's range; other values are clamped) of the balls of every
// surface, applied to their thumbnails at their next frame. Returns false when memory runs out.
bool setBallOpacity(int32_t opacityPercent);

// Composes a frame into frame, the buffer that record describes: the background, then for i
// from 0 to field.ballCount - 1 (ball 0 at the bottom) the thumbnail of field.imageIndex[i] at
// field.x[i], field.y[i], its alpha scaled by the opacity, clipped to the frame. With
// onlyChanged, and when the buffer holds a frame of this surface's background and
// thumbnails, only the squares of the balls then and now are composed again: the background
// restored and every ball that touches them drawn again, clipped to them, in order; the
// pixels are those of the whole composition, bit for bit. The whole frame otherwise, and
// when the changed area is most of it. Any frame size works; the parts of the frame outside
// the background are black. Nothing is allocated per frame once the buffer has been seen.
FrameChanges composeFrame(SurfaceFrame& surface, const BallField& field, BufferRecord& record,
                          const FramePixels& frame, bool onlyChanged);

// Forgets what the buffer holds and frees its pixman image; its next composition is whole.
void releaseBufferRecord(BufferRecord& record);

// Frees the surface's background, thumbnails and balls.
void releaseSurfaceFrame(SurfaceFrame& surface);

// Frees the opacity's mask.
void releaseBallMask();
