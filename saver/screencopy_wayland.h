// The desktop copy of the Wayland mode: what one output shows, copied by the compositor's
// screencopy into shared memory before the saver's surface covers it. Only this file talks to
// screencopy.
#pragma once

#include <cstdint>

#include "saver/frame_linux.h"
#include "saver/shm_buffers_wayland.h"

struct wl_buffer;
struct wl_output;
struct zwlr_screencopy_frame_v1;

struct DesktopCopy {
    // The copy once taken: x8r8g8b8 rows, top row first; null pixels when there is none.
    DesktopPixels pixels{};
    // The capture under way, and whom to tell when it has ended either way.
    SharedMemory memory;
    zwlr_screencopy_frame_v1* frame = nullptr;
    wl_buffer* buffer = nullptr;
    uint32_t format = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    bool chosen = false;  // a buffer format the copy can be read in was offered
    bool yInverted = false;
    void (*ended)(void* data) = nullptr;
    void* data = nullptr;
};

// Asks for a copy of output; calls ended(data) when it is in copy.pixels or has failed (the
// pixels then stay null: the background is black). Without screencopy, ended is called at once.
void startDesktopCopy(DesktopCopy& copy, wl_output* output, void (*ended)(void* data), void* data);

// Ends a capture under way without calling ended, and frees the copy.
void releaseDesktopCopy(DesktopCopy& copy);
