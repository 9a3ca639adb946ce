// Entry of the X11 display mode: options, pictures, window and the frame loop.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "app/main_wayland.h"
#include "app/options.h"
#include "saver/ball_field.h"
#include "saver/ball_pictures_x11.h"
#include "saver/frame_x11.h"
#include "saver/monitor.h"
#include "saver/saver_window_x11.h"

namespace {

constexpr int64_t kTickNanos = int64_t{kTickMilliseconds} * 1000000;
constexpr int64_t kReportNanos = 1000000000;
constexpr int kMaxSamples = 64;           // more than the ticks of one report

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

Options options;
FrameStats stats;

uint32_t clockSeed() {
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<uint32_t>(now.tv_sec) * 1000u + static_cast<uint32_t>(now.tv_nsec / 1000000);
}

double median(double* values, int count) {
    if (count == 0)
        return 0.0;
    std::nth_element(values, values + count / 2, values + count);
    const double upper = values[count / 2];
    if (count % 2 != 0)
        return upper;
    return (*std::max_element(values, values + count / 2) + upper) / 2.0;
}

void addSample(double* samples, int& count, int64_t nanoseconds) {
    if (count < kMaxSamples)
        samples[count++] = static_cast<double>(nanoseconds) / 1e6;
}

void reportFps(int64_t now) {
    const double seconds = static_cast<double>(now - stats.since) / 1e9;
    std::fprintf(stderr, "zephyrine: %.1f fps, %d of %d ticks drawn, compose %.2f ms, present %.2f ms\n",
                 stats.presented / seconds, stats.drawn, stats.ticks,
                 median(stats.compose, stats.composeCount),
                 median(stats.present, stats.presentCount));
    stats = FrameStats{};
    stats.since = now;
}

// The ball size, the balls, the thumbnails and the background for the window's current size.
void layOutField(bool first) {
    const ClientRect client{0, 0, saverWindow.width, saverWindow.height};
    const int32_t monitorHeight = saverWindow.monitor.height;
    const bool ownWindow = options.target == TargetKind::ownWindow;
    const int32_t oldSize = ballField.ballSize;
    if (first) {
        placeBalls(ballField, client, options.display.ballCount, options.display.ballScale,
                   saverModeForWindow(ownWindow, client.bottom, monitorHeight), monitorHeight);
    } else {
        ballField.ballSize = ballSizeForWindow(ownWindow, client.bottom, monitorHeight, options.display.ballScale);
        placeStrayBalls(ballField, client);
    }
    if (first || ballField.ballSize != oldSize)
        makeThumbnails(ballField.ballSize);
    const ScreenRect m = desktopPartForWindow(saverWindow.placement, saverWindow.monitor);
    // Out of memory leaves the background black; the balls still run.
    makeBackground(options.display.backgroundType, desktopCopy(), MonitorRect{m.x, m.y, m.width, m.height},
                   client.right, client.bottom);
}

bool drawFrame() {
    const FramePixels* frame = freeFrameBuffer();
    if (frame == nullptr)
        return false;
    const int64_t start = monotonicNanos();
    composeFrame(*frame, options.display.ballCount);
    addSample(stats.compose, stats.composeCount, monotonicNanos() - start);
    presentFrame();
    ++stats.presented;
    return true;
}

// SIGTERM, SIGINT and SIGHUP arrive on a descriptor polled with the X connection, so that a
// frame is never cut off and every end goes through the same release.
int blockEndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGHUP);
    sigprocmask(SIG_BLOCK, &set, nullptr);
    // A write to a closed connection reports the error to Xlib instead of killing the process.
    signal(SIGPIPE, SIG_IGN);
    const int fd = signalfd(-1, &set, SFD_NONBLOCK | SFD_CLOEXEC);
    if (fd < 0)
        sigprocmask(SIG_UNBLOCK, &set, nullptr);  // blocked and never read, they would not end it
    return fd;
}

// Waits until the deadline, an event on the connection or a signal; true on a signal. Events
// that Xlib read while sending the frame are handled at once.
bool waitUntil(int64_t deadline, int signalFd) {
    if (windowEventsQueued())
        return false;
    const int64_t left = std::max<int64_t>(deadline - monotonicNanos(), 0);
    const timespec timeout{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
    pollfd fds[2] = {{saverWindowFd(), POLLIN, 0}, {signalFd, POLLIN, 0}};
    if (ppoll(fds, 2, &timeout, nullptr) <= 0)
        return false;
    return (fds[1].revents & POLLIN) != 0;
}

// One tick every 30 ms on absolute deadlines. A tick that comes late moves and draws once, and
// the deadlines it missed are counted as ticks not drawn, not made up.
int runLoop(int signalFd) {
    int64_t deadline = monotonicNanos();
    // The first report covers the ticks of one second, the first frame's included.
    stats.since = deadline - kTickNanos;
    bool first = true;
    for (;;) {
        handleWindowEvents();
        if (saverWindow.ended)
            return 0;
        int64_t presentTime;
        while (takePresentTime(presentTime))
            addSample(stats.present, stats.presentCount, presentTime);

        const int64_t now = monotonicNanos();
        if (now >= deadline) {
            // Taken at a tick, so that a window dragged to a new size is laid out at most once
            // a tick however many sizes it passes through.
            if (saverWindow.resized) {
                if (!applyResize()) {
                    std::fprintf(stderr, "%s\n", kNoMemoryMessage);
                    return kNoMemoryExit;
                }
                layOutField(false);
            }
            if (!first)
                moveBalls(ballField, {0, 0, saverWindow.width, saverWindow.height});
            first = false;
            const int64_t missed = (now - deadline) / kTickNanos;
            stats.ticks += 1 + static_cast<int>(missed);
            if (drawFrame())
                ++stats.drawn;
            deadline += (missed + 1) * kTickNanos;
            if (options.showFps && now - stats.since >= kReportNanos)
                reportFps(now);
        }
        if (waitUntil(deadline, signalFd))
            return 0;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedOptions parsed = parseOptions(argc, argv, std::getenv("XSCREENSAVER_WINDOW"));
    for (const std::string& warning : parsed.warnings)
        std::fprintf(stderr, "zephyrine: %s\n", warning.c_str());
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "zephyrine: %s\n", parsed.error.c_str());
        if (parsed.errorShowsUsage)
            std::fputs(usageText().c_str(), stderr);
        return 1;
    }
    options = parsed.options;
    if (options.showHelp) {
        std::fputs(usageText().c_str(), stdout);
        return 0;
    }
    if (options.showVersion) {
        std::printf("zephyrine %s\n", ZEPHYRINE_VERSION);
        return 0;
    }

    const int signalFd = blockEndingSignals();
    const std::string folder = options.imagesDir.empty() ? ZEPHYRINE_DATA_DIR : options.imagesDir;
    const int loaded = loadBallPictures(folder.c_str());
    if (loaded != 0) {
        std::fprintf(stderr, "%s\n", loaded == kNoMemoryExit ? kNoMemoryMessage : kImagesNotFoundMessage);
        return loaded;
    }
    if (options.wayland) {
        const int result = runWayland(options, signalFd);
        releaseBallPictures();
        return result;
    }

    const int opened = openSaverWindow(options);
    if (opened != 0) {
        closeSaverWindow();
        releaseBallPictures();
        return opened;
    }
    seedRandom(ballField, options.seedGiven ? options.seed : clockSeed());
    layOutField(true);
    setBallOpacity(options.display.opacityPercent);
    showSaverWindow();

    const int result = runLoop(signalFd);
    // The frame reads the window's buffer and desktop copy: it goes first.
    releaseFrame();
    closeSaverWindow();
    releaseBallPictures();
    return result;
}
