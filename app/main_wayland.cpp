// The Wayland display mode's run: each output's layer surface is one of the frame loop's
// surfaces.
#include "app/main_wayland.h"

#include <cstdint>
#include <cstdlib>

#include "app/frame_loop_linux.h"
#include "saver/clock_linux.h"
#include "saver/connection_wayland.h"
#include "saver/outputs_wayland.h"
#include "saver/seat_wayland.h"
#include "saver/shm_buffers_wayland.h"

namespace {

// The shown surfaces, in the order the compositor announced their outputs.
class WaylandDisplay : public DisplayServer {
public:
    int descriptor() override { return waylandFd(); }
    bool eventsQueued() override { return waylandEventsQueued(); }
    DisplayEvents handleEvents() override
    {
        if (!handleWaylandEvents()) return DisplayEvents::ended;  // the compositor has gone
        const SeatNews news = takeSeatNews();
        if (news.keyboardChanged) setSurfacesKeyboard(seatHasKeyboard());
        return news.ended || noOutputLeft() ? DisplayEvents::ended : DisplayEvents::nothing;
    }
    Failure applyChanges() override { return applySurfaceSizes(); }
    void showSurfaces() override {}
    int surfaceCount() override
    {
        int count = 0;
        for (const auto& output : outputs) count += surfaceDrawable(*output) ? 1 : 0;
        return count;
    }
    SurfacePlace placeOf(int surface) override
    {
        const OutputSurface& o = outputAt(surface);
        const DesktopPixels* desktop = o.desktop.pixels.pixels != nullptr ? &o.desktop.pixels : nullptr;
        return {o.place, &o.place, 1, o.place, false, desktop, o.serial};
    }
    SurfaceDrawing& drawingOf(int surface) override { return outputAt(surface).drawing; }
    bool takeBuffer(int surface, FramePixels& pixels, BufferRecord*& record) override
    {
        OutputSurface& o = outputAt(surface);
        ShmBuffer* buffer = bufferToDraw(o.buffers);
        if (buffer == nullptr) return false;
        pixels = FramePixels{buffer->pixels, o.buffers.width, o.buffers.height, o.buffers.stride};
        record = &buffer->record;
        taken_ = buffer;
        return true;
    }
    void present(int surface, const FrameChanges& changes) override
    {
        OutputSurface& o = outputAt(surface);
        const int64_t start = monotonicNanos();
        presentBuffer(o.buffers, *taken_, o.surface, changes);
        presentTime_ = monotonicNanos() - start;
    }
    // The time of the last present: the requests written, the compositor not waited for.
    bool takePresentTime(int64_t& nanoseconds) override
    {
        nanoseconds = presentTime_;
        presentTime_ = -1;
        return nanoseconds >= 0;
    }
    void release() override
    {
        releaseOutputs();
        disconnectWayland();
    }

private:
    OutputSurface& outputAt(int surface)
    {
        for (const auto& output : outputs)
            if (surfaceDrawable(*output) && surface-- == 0) return *output;
        return *outputs.front();  // the loop asks only for surfaces below surfaceCount
    }

    ShmBuffer* taken_ = nullptr;
    int64_t presentTime_ = -1;
};

}  // namespace

Failure runWayland(const Options& options, int signalFd)
{
    WaylandDisplay display;
    Failure result = connectWayland();
    if (result.exitCode == 0) {
        const char* onlyName = std::getenv("SWAYLOCK_PLUGIN_OUTPUT_NAME");
        // A lock screen never shows the desktop it hides.
        const bool underLocker = (onlyName != nullptr && *onlyName != 0) || wayland.seat == nullptr;
        startOutputs({onlyName != nullptr ? onlyName : "",
                      options.display.backgroundType == kBackgroundDesktop && !underLocker});
        // The desktop copies and the first configures, the buffers made meanwhile, so that the
        // first frames follow at once; a signal goes on to the loop, which ends at once.
        while (result.exitCode == 0 && outputsStarting() && waitForWaylandEvents(signalFd))
            result = applySurfaceSizes();
        if (result.exitCode == 0) result = runFrameLoop(display, loopSettingsFor(options), signalFd);
    }
    display.release();
    return result;
}
