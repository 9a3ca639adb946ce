// The Wayland display mode's run: connection, surfaces on the outputs and the frame loop.
#include "app/main_wayland.h"

#include <poll.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include <wayland-client.h>

#include "saver/ball_field.h"
#include "saver/ball_pictures_x11.h"
#include "saver/connection_wayland.h"
#include "saver/frame_x11.h"
#include "saver/outputs_wayland.h"
#include "saver/seat_wayland.h"
#include "saver/shm_buffers_wayland.h"

namespace {

constexpr int64_t kTickNanos = int64_t{kTickMilliseconds} * 1000000;
constexpr int64_t kReportNanos = 1000000000;

int64_t monotonicNanos() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

uint32_t clockSeed() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_nsec / 1000000);
}

struct Run {
    Options options;
    uint32_t seed;
    int32_t thumbnailSize;
    const OutputSurface* background;  // whose background frame_x11 holds
    int64_t since;
    int ticks;
    int drawn;
};

Run run;

// New buffers, and the field placed (first time) or its stray balls placed again, for the
// surface's size. False when the buffers cannot be had.
bool layOut(OutputSurface& o) {
    if (!makeSurfaceBuffers(o.buffers, wayland.shm, o.width, o.height))
        return false;
    const ClientRect client{0, 0, o.width, o.height};
    if (!o.laidOut) {
        seedRandom(o.field, run.seed + static_cast<uint32_t>(o.order));
        placeBalls(o.field, client, run.options.display.ballCount, run.options.display.ballScale, 1, o.height);
    } else {
        placeStrayBalls(o.field, client);
    }
    o.laidOut = true;
    run.background = nullptr;
    return true;
}

void drawSurface(OutputSurface& o, ShmBuffer& buffer) {
    ballField = o.field;  // the field the X11 mode's composition draws
    if (ballField.ballSize != run.thumbnailSize) {
        makeThumbnails(ballField.ballSize);
        run.thumbnailSize = ballField.ballSize;
    }
    if (run.background != &o) {
        const DesktopPixels* desktop = o.desktop.pixels.pixels != nullptr ? &o.desktop.pixels : nullptr;
        const MonitorRect whole{0, 0, desktop != nullptr ? desktop->width : 0, desktop != nullptr ? desktop->height : 0};
        makeBackground(run.options.display.backgroundType, desktop, whole, o.width, o.height);
        run.background = &o;
    }
    composeFrame(FramePixels{buffer.pixels, o.width, o.height, o.buffers.stride}, run.options.display.ballCount);
    const DamageRect whole{0, 0, o.width, o.height};
    presentBuffer(o.buffers, buffer, o.surface, &whole, 1);
}

// One tick: every shown surface steps its field, and draws when its last frame was shown.
// Returns the exit code, or -1 to go on.
int tick() {
    for (const auto& output : outputs) {
        OutputSurface& o = *output;
        if (o.stage != OutputStage::shown || o.width < 1 || o.height < 1)
            continue;
        if (takeResize(o) && !layOut(o)) {
            std::fprintf(stderr, "%s\n", kNoMemoryMessage);
            return kNoMemoryExit;
        }
        moveBalls(o.field, {0, 0, o.width, o.height});
        ++run.ticks;
        ShmBuffer* buffer = bufferToDraw(o.buffers);
        if (buffer != nullptr) {
            drawSurface(o, *buffer);
            ++run.drawn;
        }
    }
    return -1;
}

// Waits until the deadline, the compositor or a signal. Returns false when the connection has
// ended or a signal came.
bool waitUntil(int64_t deadline, int signalFd) {
    wl_display* display = wayland.display;
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    wl_display_flush(display);
    const int64_t left = std::max<int64_t>(deadline - monotonicNanos(), 0);
    const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd fds[2] = {{waylandFd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
    const int ready = ppoll(fds, 2, &timeout, nullptr);
    if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) != 0)
        wl_display_read_events(display);  // a failure shows in the dispatch
    else
        wl_display_cancel_read(display);
    if (wl_display_dispatch_pending(display) < 0)
        return false;
    return ready <= 0 || (fds[1].revents & POLLIN) == 0;
}

int runLoop(int signalFd) {
    int64_t deadline = monotonicNanos();
    run.since = deadline;
    for (;;) {
        const SeatNews news = takeSeatNews();
        if (news.ended)
            return 0;
        if (news.keyboardChanged)
            setSurfacesKeyboard(seatHasKeyboard());
        if (noOutputLeft())
            return 0;
        const int64_t now = monotonicNanos();
        // A new surface shows its first frame at once; the ticks go on from there.
        if (resizePending() && deadline > now)
            deadline = now;
        if (now >= deadline) {
            const int code = tick();
            if (code >= 0)
                return code;
            deadline += ((now - deadline) / kTickNanos + 1) * kTickNanos;
            if (run.options.showFps && now - run.since >= kReportNanos) {
                std::fprintf(stderr, "zephyrine: %d of %d ticks drawn\n", run.drawn, run.ticks);
                run.since = now;
                run.ticks = run.drawn = 0;
            }
        }
        if (!waitUntil(deadline, signalFd))
            return 0;
    }
}

}  // namespace

int runWayland(const Options& options, int signalFd) {
    run = Run{};
    run.options = options;
    run.seed = options.seedGiven ? options.seed : clockSeed();
    const WaylandFailure failure = connectWayland();
    if (failure.exitCode != 0) {
        std::fprintf(stderr, "zephyrine: %s\n", failure.message.c_str());
        releaseOutputs();
        disconnectWayland();
        return failure.exitCode;
    }
    const char* onlyName = std::getenv("SWAYLOCK_PLUGIN_OUTPUT_NAME");
    // A lock screen never shows the desktop it hides.
    const bool underLocker = (onlyName != nullptr && *onlyName != 0) || wayland.seat == nullptr;
    startOutputs({onlyName != nullptr ? onlyName : "", options.display.backgroundType == kBackgroundDesktop && !underLocker});
    setBallOpacity(options.display.opacityPercent);
    const int result = runLoop(signalFd);
    releaseFrame();
    releaseOutputs();
    disconnectWayland();
    return result;
}
