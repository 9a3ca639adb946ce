// The frame buffer of the X11 display mode and its presenting: an XImage in a shared-memory
// segment that the server has attached (MIT-SHM, on a local connection), shown with
// XShmPutImage and free again at its completion event; a private XImage shown with XPutImage
// otherwise. Presents only the rectangles a composition changed.
#pragma once

#include <X11/Xlib.h>

#include <cstdint>

#include "saver/frame_linux.h"
#include "saver/shared_image_x11.h"

// Opens the presenting to window; MIT-SHM when the server offers it on a local connection.
void openPresenting(Display* display, Window window, Visual* visual, int depth);

// True while the frame buffer is shared with the server.
bool presentsThroughSegments();

// The frame buffer's segment as an image of width x height at depth, for the server to write
// into (the desktop copy is read through it); null when it is not shared or too small. Frees
// with XDestroyImage, which leaves the segment.
XImage* imageOverFrameSegment(unsigned width, unsigned height, unsigned depth);

// A frame buffer of width x height, replacing the old one (kept when it has that size already);
// none for a size without area. False when memory runs out.
bool sizeFrameBuffer(int32_t width, int32_t height);

// The frame buffer and the record of what it holds when the server no longer reads it; false
// while it is still being shown or when there is none.
bool freeFrameBuffer(FramePixels& pixels, BufferRecord*& record);

// Sends the changed rectangles of the buffer that freeFrameBuffer gave (all of it when whole)
// to the window, one put per rectangle, without waiting for the server.
void presentFrame(const FrameChanges& changes, bool whole);

// Takes a completion event; false when event is not one.
bool takeCompletion(const XEvent& event);

// The time of one finished presentation in nanoseconds (sent until shown for MIT-SHM, the puts
// themselves for XPutImage), oldest first; false when there is none to report.
bool takePresentTime(int64_t& nanoseconds);

// Frees the buffer and the presenting's graphics context.
void closePresenting();
