// A surface of the Linux front ends as the frame loop sees it: where its display server has it,
// the loop's drawing state kept with it, and what handling the server's events found. The
// display-server files keep these; the frame loop (app/frame_loop_linux) reads and writes them.
#pragma once

#include <cstdint>

#include "saver/ball_field.h"
#include "saver/frame_linux.h"
#include "saver/monitor.h"

// What handling a display server's events found. Changes of size and place are not reported
// here: the server keeps them until the loop takes them at its next tick.
enum class DisplayEvents { nothing, ended };

// A surface where its display server has it.
struct SurfacePlace {
    ScreenRect place;  // in screen coordinates
    const ScreenRect* monitors;
    int monitorCount;
    ScreenRect screen;
    bool ownWindow;                // the program's own window: the full-screen ball size
    const DesktopPixels* desktop;  // the desktop copy that place lies on, or null
    uint32_t serial;               // changes whenever any of the above changes
};

// The loop's state of one surface. The display server keeps one with each surface, hands it
// to the loop and frees it with releaseSurfaceDrawing; only the loop writes it.
struct SurfaceDrawing {
    bool placed = false;
    bool moving = false;  // the balls move at the next tick (not in the first frame after placing)
    uint32_t serial = 0;  // the SurfacePlace serial it was laid out for
    SurfaceLayout layout{};
    BallField field{};
    SurfaceFrame frame;
};

inline void releaseSurfaceDrawing(SurfaceDrawing& drawing)
{
    releaseSurfaceFrame(drawing.frame);
    drawing = SurfaceDrawing{};
}
