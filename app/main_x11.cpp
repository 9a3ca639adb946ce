// Entry of the Linux display modes: options, pictures, then the X11 target window or the
// Wayland outputs, and the frame loop.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/frame_loop_linux.h"
#include "app/main_wayland.h"
#include "app/options.h"
#include "saver/ball_pictures_linux.h"
#include "saver/frame_buffer_x11.h"
#include "saver/saver_window_x11.h"

namespace {

// The X11 target window as the frame loop's one surface.
class X11Display : public DisplayServer {
public:
    int descriptor() override { return saverWindowFd(); }
    bool eventsQueued() override { return windowEventsQueued(); }
    DisplayEvents handleEvents() override { return handleWindowEvents(); }
    Failure applyChanges() override { return applyWindowChanges(); }
    void showSurfaces() override { showSaverWindow(); }
    int surfaceCount() override { return 1; }
    SurfacePlace placeOf(int) override { return saverWindowPlace(); }
    SurfaceDrawing& drawingOf(int) override { return drawing_; }
    bool takeBuffer(int, FramePixels& pixels, BufferRecord*& record) override
    {
        return freeFrameBuffer(pixels, record);
    }
    void present(int, const FrameChanges& changes) override { presentWindowFrame(changes); }
    bool takePresentTime(int64_t& nanoseconds) override { return ::takePresentTime(nanoseconds); }
    void release() override
    {
        releaseSurfaceDrawing(drawing_);
        closeSaverWindow();
    }

private:
    SurfaceDrawing drawing_;
};

WindowRequest windowRequest(const Options& options)
{
    WindowRequest request;
    request.target = options.target == TargetKind::ownWindow ? WindowRequest::Target::ownWindow
                     : options.target == TargetKind::root    ? WindowRequest::Target::root
                                                             : WindowRequest::Target::windowId;
    request.windowId = options.windowId;
    request.width = options.width;
    request.height = options.height;
    request.desktopBackground = options.display.backgroundType == kBackgroundDesktop;
    return request;
}

int fail(const Failure& failure)
{
    std::fprintf(stderr, "%s\n", failure.message.c_str());
    return failure.exitCode;
}

// The X11 run once the pictures are loaded: the window and the frames; its failure or none.
Failure runX11(const Options& options, int signalFd)
{
    X11Display display;
    Failure result = openSaverWindow(windowRequest(options));
    if (result.exitCode == 0) result = runFrameLoop(display, loopSettingsFor(options), signalFd);
    display.release();
    return result;
}

// The pictures, read once for either display mode, and that mode's run; its failure or none.
Failure run(const Options& options, int signalFd)
{
    const std::string folder = options.imagesDir.empty() ? ZEPHYRINE_DATA_DIR : options.imagesDir;
    Failure result = loadBallPictures(folder.c_str());
    if (result.exitCode == 0) result = options.wayland ? runWayland(options, signalFd) : runX11(options, signalFd);
    releaseBallPictures();
    return result;
}

}  // namespace

int main(int argc, char** argv)
{
    const ParsedOptions parsed = parseOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    for (const std::string& warning : parsed.warnings) std::fprintf(stderr, "zephyrine: %s\n", warning.c_str());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zephyrine: %s\n", parsed.error.c_str());
        if (parsed.errorShowsUsage) std::fputs(usageText().c_str(), stderr);
        return 1;
    }
    const Options& options = parsed.options;
    if (options.showHelp) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("zephyrine %s\n", ZEPHYRINE_VERSION);
        return 0;
    }
    const int signalFd = blockEndingSignals();
    const Failure failure = run(options, signalFd);
    return failure.exitCode != 0 ? fail(failure) : 0;
}
