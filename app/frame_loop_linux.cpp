// The frame loop of the Linux front ends: signals, deadlines, layout, composition and --fps.
#include "app/frame_loop_linux.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "app/frame_stats.h"
#include "saver/clock_linux.h"

namespace {

constexpr int64_t kTickNanos = int64_t{kTickMilliseconds} * 1000000;
constexpr int64_t kReportNanos = 1000000000;
constexpr int kMaxSamples = 64;  // more than the frames of one report

// What one --fps line reports: the ticks since the last line and their costs.
struct FrameStats {
    int64_t since;
    int ticks;
    int drawn;
    int presented;
    double compose[kMaxSamples];
    int composeCount;
    double present[kMaxSamples];
    int presentCount;
};

FrameStats stats;

void addSample(double* samples, int& count, int64_t nanoseconds)
{
    if (count < kMaxSamples) samples[count++] = static_cast<double>(nanoseconds) / 1e6;
}

void reportFps(int64_t now)
{
    const double seconds = static_cast<double>(now - stats.since) / 1e9;
    std::fprintf(stderr, "zephyrine: %.1f fps, %d of %d ticks drawn, compose %.2f ms, present %.2f ms\n",
                 stats.presented / seconds, stats.drawn, stats.ticks, median(stats.compose, stats.composeCount),
                 median(stats.present, stats.presentCount));
    stats = FrameStats{};
    stats.since = now;
}

// The ball size, the balls, the thumbnails and the background for the surface's place. The
// first time, the balls are placed from the generator seeded with seed; later, only the balls
// that no longer fit are placed again.
void layOut(SurfaceDrawing& drawing, const SurfacePlace& where, const LoopSettings& settings, uint32_t seed)
{
    const Settings& display = settings.display;
    drawing.layout = layOutSurface(where.place, where.monitors, where.monitorCount, where.screen, where.ownWindow,
                                   display.ballScale);
    const SurfaceLayout& layout = drawing.layout;
    const ClientRect client{0, 0, layout.width, layout.height};
    if (!drawing.placed) {
        seedRandom(drawing.field, seed);
        placeBalls(drawing.field, client, display.ballCount, display.ballScale, layout.saverMode,
                   layout.monitor.height);
        drawing.placed = true;
        drawing.moving = false;
    } else {
        drawing.field.ballSize = layout.ballSize;
        placeStrayBalls(drawing.field, client);
    }
    drawing.serial = where.serial;
    setBallSize(drawing.frame, layout.ballSize);
    // Out of memory leaves the background black; the balls still run.
    makeBackground(drawing.frame, display.backgroundType, where.desktop, layout.desktopPart, layout.width,
                   layout.height);
}

// Lays the surface out when it is new (its balls placed from the next seed) or its place
// changed.
void prepareSurface(DisplayServer& server, int surface, const LoopSettings& settings, uint32_t& placedSurfaces)
{
    SurfaceDrawing& drawing = server.drawingOf(surface);
    const SurfacePlace where = server.placeOf(surface);
    if (!drawing.placed || drawing.serial != where.serial)
        layOut(drawing, where, settings, settings.seed + (drawing.placed ? 0 : placedSurfaces++));
}

// One tick of one surface: laid out again when its place changed, the balls moved (not in the
// first frame after they were placed), and the frame composed and presented when a buffer is free.
bool drawSurface(DisplayServer& server, int surface, const LoopSettings& settings, uint32_t& placedSurfaces)
{
    prepareSurface(server, surface, settings, placedSurfaces);
    SurfaceDrawing& drawing = server.drawingOf(surface);
    if (drawing.moving) moveBalls(drawing.field, {0, 0, drawing.layout.width, drawing.layout.height});
    drawing.moving = true;
    FramePixels pixels;
    BufferRecord* record = nullptr;
    if (!server.takeBuffer(surface, pixels, record)) return false;
    const int64_t start = monotonicNanos();
    const FrameChanges changes =
        composeFrame(drawing.frame, drawing.field, *record, pixels, !settings.wholeFrames);
    addSample(stats.compose, stats.composeCount, monotonicNanos() - start);
    server.present(surface, changes);
    ++stats.presented;
    return true;
}

// Waits until the deadline, an event on the connection or a signal; true on a signal. Events
// that were read while sending the frame are handled at once.
bool waitUntil(DisplayServer& server, int64_t deadline, int signalFd)
{
    if (server.eventsQueued()) return false;
    const int64_t left = std::max<int64_t>(deadline - monotonicNanos(), 0);
    const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd fds[2] = {{server.descriptor(), POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (ppoll(fds, 2, &timeout, nullptr) <= 0) return false;
    return (fds[1].revents & POLLIN) != 0;
}

}  // namespace

LoopSettings loopSettingsFor(const Options& options)
{
    LoopSettings settings;
    settings.display = options.display;
    if (options.seedGiven) {
        settings.seed = options.seed;
    } else {
        timespec now;
        clock_gettime(CLOCK_REALTIME, &now);
        settings.seed = static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_nsec / 1000000);
    }
    settings.showFps = options.showFps;
    settings.wholeFrames = std::getenv("ZEPHYRINE_WHOLE_FRAMES") != nullptr;
    return settings;
}

int blockEndingSignals()
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    // A write to a closed connection reports the error to the display library instead of
    // killing the process.
    signal(SIGPIPE, SIG_IGN);
    const int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0) sigprocmask(SIG_UNBLOCK, &set, nullptr);  // blocked and never read, they would not end it
    return fd;
}

// One tick every 30 ms on absolute deadlines. A tick that comes late moves and draws once, and
// the deadlines it missed are counted as ticks not drawn, not made up.
Failure runFrameLoop(DisplayServer& server, const LoopSettings& settings, int signalFd)
{
    if (!setBallOpacity(settings.display.opacityPercent)) return noMemoryFailure();
    int64_t deadline = monotonicNanos();
    // The first report covers the ticks of one second, the first frame's included.
    stats = FrameStats{};
    stats.since = deadline - kTickNanos;
    uint32_t placedSurfaces = 0;
    // Laid out before they are shown, so that the first frame follows at once.
    for (int surface = 0; surface < server.surfaceCount(); ++surface)
        prepareSurface(server, surface, settings, placedSurfaces);
    server.showSurfaces();
    for (;;) {
        if (server.handleEvents() == DisplayEvents::ended) break;
        int64_t presentTime;
        while (server.takePresentTime(presentTime)) addSample(stats.present, stats.presentCount, presentTime);

        const int64_t now = monotonicNanos();
        if (now >= deadline) {
            // Taken at a tick, so that a window dragged to a new size is laid out at most once
            // a tick however many sizes it passes through.
            const Failure changed = server.applyChanges();
            if (changed.exitCode != 0) {
                releaseBallMask();
                return changed;
            }
            bool drawn = true;
            for (int surface = 0; surface < server.surfaceCount(); ++surface)
                drawn = drawSurface(server, surface, settings, placedSurfaces) && drawn;
            const int64_t missed = (now - deadline) / kTickNanos;
            stats.ticks += 1 + static_cast<int>(missed);
            stats.drawn += drawn ? 1 : 0;
            deadline += (missed + 1) * kTickNanos;
            if (settings.showFps && now - stats.since >= kReportNanos) reportFps(now);
        }
        if (waitUntil(server, deadline, signalFd)) break;
    }
    releaseBallMask();
    return {};
}
