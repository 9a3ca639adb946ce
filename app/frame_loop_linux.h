// The frame loop of the Linux front ends, the same for every display server: wait on the
// ending signals, the display connection and the next 30 ms deadline; at a deadline, for each
// surface that may draw, step its ball field, compose what changed and present it. Drawing
// never sleeps; events are handled between frames.
//
// What the loop needs from a display server (X11 has one surface, Wayland one per output):
//  - a descriptor to poll, and whether events are already read and waiting behind it;
//  - handling every waiting event, returning what happened;
//  - at each tick, taking pending changes of size and place (which may fail for memory);
//  - showing the surfaces once they are laid out;
//  - its surfaces: each one's place with the monitors and screen around it, its desktop copy,
//    the loop's drawing state kept with it, a buffer it may draw now with the record of what
//    that buffer holds, and the presenting of that buffer's changed rectangles;
//  - the times its presentations took, for --fps; and releasing everything at the end.
#pragma once

#include <cstdint>

#include "app/options.h"
#include "saver/failure.h"
#include "saver/frame_linux.h"
#include "saver/surface_linux.h"
#include "settings/settings.h"

class DisplayServer {
public:
    virtual ~DisplayServer() = default;
    virtual int descriptor() = 0;
    virtual bool eventsQueued() = 0;
    virtual DisplayEvents handleEvents() = 0;
    virtual Failure applyChanges() = 0;
    // Shows the surfaces whose first frame is laid out (an own window is mapped only then).
    virtual void showSurfaces() = 0;
    virtual int surfaceCount() = 0;
    virtual SurfacePlace placeOf(int surface) = 0;
    virtual SurfaceDrawing& drawingOf(int surface) = 0;
    // False when no buffer of the surface may be drawn now.
    virtual bool takeBuffer(int surface, FramePixels& pixels, BufferRecord*& record) = 0;
    virtual void present(int surface, const FrameChanges& changes) = 0;
    // One finished presentation's time in nanoseconds, oldest first; false when none is left.
    virtual bool takePresentTime(int64_t& nanoseconds) = 0;
    // Frees the surfaces (their drawing states first: they read the desktop copy) and closes
    // the connection.
    virtual void release() = 0;
};

// How the loop draws.
struct LoopSettings {
    Settings display{};        // backgroundType, ballCount, opacityPercent, ballScale
    uint32_t seed = 0;         // surface n is placed from seed + n
    bool showFps = false;      // a line on standard error once a second
    bool wholeFrames = false;  // compose and present every frame whole
};

// The loop's settings for a run with options: the seed from the clock unless --seed gave one,
// and whole frames when ZEPHYRINE_WHOLE_FRAMES is set (not in the usage: the benchmarks'
// whole-frame figures).
LoopSettings loopSettingsFor(const Options& options);

// Blocks SIGTERM, SIGINT and SIGHUP and returns a descriptor that receives them (-1 when none
// can be made: they then end the process as usual). Call before anything else is set up.
int blockEndingSignals();

// Runs until an ending signal or the display's end (exit code 0) or a failure, and returns it.
// The display server is released by the caller.
Failure runFrameLoop(DisplayServer& server, const LoopSettings& settings, int signalFd);
