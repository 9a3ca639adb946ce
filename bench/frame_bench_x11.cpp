// Measures the X11 display mode at 1920 x 1080 with 30 balls of 112 px, changed-only frames
// beside whole ones measured in the same run: composeFrame in this process (the whole frame
// against its bare floor, then only what changed), and the real program with --root on a
// host's full-screen window in a private Xvfb: compose plus present, ticks drawn, the program's
// and the X server's CPU, the first frame after exec, and resident memory.
// GoogleTest first: the test support reports through it, and Xlib's macros clash with it.
#include <gtest/gtest.h>

#include "support/x11_test_support.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <pixman.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "saver/ball_field.h"
#include "saver/ball_pictures_linux.h"
#include "saver/clock_linux.h"
#include "saver/frame_linux.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kBallCount = 30;
constexpr int32_t kFullScale = 2;  // 112 pixels on a monitor-sized window
// The host window's own colour before the program draws on it.
constexpr unsigned long kFillPixel = 0x2e5c8a;

struct BenchOptions {
    int rounds = 101;  // short rounds, so that one the scheduler interrupts is one outlier of many
    int framesPerRound = 10;
    int warmUpRounds = 10;
    double runSeconds = 10.0;
    int starts = 9;  // first-frame measurements per path, after one warm-up start
    std::string program = ZEPHYRINE_X11_PROGRAM;
};
BenchOptions options;

// The balls of the in-process measurement.
BallField field;

double nowMs()
{
    return static_cast<double>(monotonicNanos()) / 1e6;
}

// One line of the table: the changed-only path's samples beside the whole-frame path's.
struct Figure {
    std::string name;
    std::vector<double> changed;
    std::vector<double> whole;  // empty: the figure has no whole-frame twin
    std::string target;         // on the changed-only median; empty: none
    bool met = true;
};
std::vector<Figure> figures;

// ---- frame cost in this process ----

// A desktop that is not plain: a gradient, so the copy is real work.
std::vector<uint32_t> makeDesktop()
{
    std::vector<uint32_t> desktop(static_cast<size_t>(kWidth) * kHeight);
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x)
            desktop[static_cast<size_t>(y) * kWidth + x] = 0xff000000u | (x * 255 / kWidth) << 16 |
                                                           (y * 255 / kHeight) << 8 | 0x60;
    return desktop;
}

// The floor a whole frame cannot beat: the background copied with one memcpy, then the 30
// composites of the same balls (the thumbnails with the opacity applied) at the same
// positions, nothing else.
void drawBareFloor(const SurfaceFrame& surface, const uint32_t* background, pixman_image_t* target,
                   uint32_t* pixels)
{
    std::memcpy(pixels, background, static_cast<size_t>(kWidth) * kHeight * 4);
    for (int32_t i = 0; i < kBallCount; ++i)
        pixman_image_composite32(PIXMAN_OP_OVER, surface.balls[field.imageIndex[i]], nullptr, target, 0, 0, 0, 0,
                                 field.x[i], field.y[i], field.ballSize, field.ballSize);
}

void measureFrameCost(int32_t opacity)
{
    const std::vector<uint32_t> desktopPixels = makeDesktop();
    const DesktopPixels desktop{desktopPixels.data(), kWidth, kHeight, kWidth * 4};
    SurfaceFrame surface;
    setBallSize(surface, field.ballSize);
    if (!makeBackground(surface, 0, &desktop, {0, 0, kWidth, kHeight}, kWidth, kHeight) ||
        !setBallOpacity(opacity)) {
        std::fprintf(stderr, "frame_bench_x11: not enough memory for the background\n");
        std::exit(2);
    }
    std::vector<uint32_t> whole(static_cast<size_t>(kWidth) * kHeight), changed(whole.size()), bare(whole.size());
    const FramePixels wholeFrame{whole.data(), kWidth, kHeight, kWidth * 4};
    const FramePixels changedFrame{changed.data(), kWidth, kHeight, kWidth * 4};
    BufferRecord wholeRecord, changedRecord;
    composeFrame(surface, BallField{}, wholeRecord, wholeFrame, false);
    const std::vector<uint32_t> background = whole;  // the background the bare floor copies
    pixman_image_t* bareTarget =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, bare.data(), kWidth * 4);

    std::vector<double> wholeMs, bareMs, ratios, changedMs;
    bool samePixels = true;
    const ClientRect client{0, 0, kWidth, kHeight};
    for (int round = 0; round < options.warmUpRounds + options.rounds; ++round) {
        double times[2] = {0, 0};  // whole, bare
        for (int half = 0; half < 2; ++half) {
            // Alternate which goes first, so neither always runs on a warmer cache.
            const bool doWhole = (half == 0) == (round % 2 == 0);
            const double start = nowMs();
            for (int n = 0; n < options.framesPerRound; ++n) {
                if (doWhole)
                    composeFrame(surface, field, wholeRecord, wholeFrame, false);
                else
                    drawBareFloor(surface, background.data(), bareTarget, bare.data());
            }
            times[doWhole ? 0 : 1] = (nowMs() - start) / options.framesPerRound;
        }
        // A changed-only frame follows a tick's motion, as in the program.
        moveBalls(field, client);
        const double start = nowMs();
        composeFrame(surface, field, changedRecord, changedFrame, true);
        const double changedTime = nowMs() - start;
        composeFrame(surface, field, wholeRecord, wholeFrame, false);
        drawBareFloor(surface, background.data(), bareTarget, bare.data());
        samePixels = samePixels && whole == bare && whole == changed;
        if (round >= options.warmUpRounds) {
            wholeMs.push_back(times[0]);
            bareMs.push_back(times[1]);
            ratios.push_back(times[0] / times[1]);
            changedMs.push_back(changedTime);
        }
    }
    pixman_image_unref(bareTarget);
    releaseBufferRecord(wholeRecord);
    releaseBufferRecord(changedRecord);
    releaseSurfaceFrame(surface);

    const std::string at = " (" + std::to_string(opacity) + " %)";
    figures.push_back({"composeFrame, ms" + at, changedMs, wholeMs, "", true});
    figures.push_back({"bare floor of a whole frame, ms" + at, {}, bareMs, "", true});
    const double ratio = spreadOf(ratios).median;
    figures.push_back({"whole / floor" + at + (samePixels ? "" : " PIXELS DIFFER"),
                       {},
                       ratios,
                       "whole <= 1.10",
                       ratio <= 1.10 && samePixels});
}

// ---- the real program in a private Xvfb ----

// Names a pixmap of a desktop (colour bands) on window by _SCREENSAVER_SCREENSHOT, as the
// xscreensaver daemon does on its saver window, so the program shows its default background.
void giveScreenshot(Display* display, Window window)
{
    const Pixmap screenshot = XCreatePixmap(display, window, kWidth, kHeight, DefaultDepth(display, 0));
    GC gc = XCreateGC(display, screenshot, 0, nullptr);
    for (int band = 0; band < 8; ++band) {
        XSetForeground(display, gc, 0x203040ul * static_cast<unsigned long>(band + 1) & 0xffffff);
        XFillRectangle(display, screenshot, gc, band * kWidth / 8, 0, kWidth / 8 + 1, kHeight);
    }
    XFreeGC(display, gc);
    XChangeProperty(display, window, XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&screenshot), 1);
}

// The program with --root on window, as the xscreensaver daemon starts it; whole: every frame whole.
std::unique_ptr<Program> startProgram(const std::string& display, Window window, bool whole)
{
    std::vector<std::string> env{"DISPLAY=" + display, "XSCREENSAVER_WINDOW=" + std::to_string(window)};
    if (whole) env.push_back("ZEPHYRINE_WHOLE_FRAMES=1");
    return std::make_unique<Program>(std::vector<std::string>{"--root", "--count", "30", "--fps", "--seed", "1",
                                                              "--images", ZEPHYRINE_PICTURES_DIR},
                                     env, options.program);
}

// True when some pixel of a band across the middle of the window is no longer the fill.
bool windowShowsAFrame(Display* display, Window window)
{
    XImage* image = XGetImage(display, window, 0, kHeight / 2 - 2, kWidth, 4, AllPlanes, ZPixmap);
    if (image == nullptr) return false;
    bool changed = false;
    for (int y = 0; y < image->height && !changed; ++y)
        for (int x = 0; x < image->width && !changed; ++x)
            changed = (XGetPixel(image, x, y) & 0xffffff) != kFillPixel;
    XDestroyImage(image);
    return changed;
}

// From just before exec until the first frame shows, in ms; negative when none shows in 5 s.
double timeFirstFrame(XServer& server, Window window, bool whole)
{
    XClearWindow(server.display, window);
    XSync(server.display, False);
    const double start = nowMs();
    std::unique_ptr<Program> program = startProgram(server.name, window, whole);
    double shown = -1;
    while (shown < 0 && nowMs() - start < 5000 && program->running()) {
        if (windowShowsAFrame(server.display, window)) shown = nowMs() - start;
        usleep(500);
    }
    kill(program->pid(), SIGTERM);
    int status;
    program->waitEnd(std::chrono::milliseconds(2000), &status);
    return shown;
}

// utime + stime of a process, in seconds (/proc/<pid>/stat).
double cpuSeconds(pid_t pid)
{
    const std::string text = readFile("/proc/" + std::to_string(pid) + "/stat");
    // Fields after the command name, which is in parentheses and may hold spaces.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double ticks = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n)
        if (n == 14 || n == 15) ticks += std::atof(field.c_str());
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A line of /proc/<pid>/status such as VmRSS, in MiB.
double statusMiB(pid_t pid, const char* key)
{
    std::istringstream lines(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(lines, line))
        if (line.compare(0, std::strlen(key), key) == 0 && line[std::strlen(key)] == ':')
            return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
    return 0;
}

// What one steady run of the program gives.
struct Run {
    std::vector<double> frameMs, drawnPercent, programCpu, serverCpu, rssMiB;
    int drawn = 0, ticks = 0;
    double programShare = 0, serverShare = 0, peakMiB = 0;
};

// The --fps lines of a run after the first (which holds the start-up).
void readFpsLines(const std::string& err, Run& run)
{
    std::istringstream lines(err);
    std::string line;
    bool first = true;
    while (std::getline(lines, line)) {
        double fps, compose, present;
        int drawn, ticks;
        if (std::sscanf(line.c_str(), "zephyrine: %lf fps, %d of %d ticks drawn, compose %lf ms, present %lf ms",
                        &fps, &drawn, &ticks, &compose, &present) != 5)
            continue;
        if (!first) {
            run.frameMs.push_back(compose + present);
            run.drawnPercent.push_back(ticks > 0 ? 100.0 * drawn / ticks : 0);
            run.drawn += drawn;
            run.ticks += ticks;
        }
        first = false;
    }
}

Run runProgram(XServer& server, Window window, bool whole)
{
    XClearWindow(server.display, window);
    XSync(server.display, False);
    std::unique_ptr<Program> program = startProgram(server.name, window, whole);
    Run run;
    sleep(2);  // past the first --fps line
    double lastProgram = cpuSeconds(program->pid()), lastServer = cpuSeconds(server.pid()), last = nowMs();
    const double firstProgram = lastProgram, firstServer = lastServer, first = last;
    while (nowMs() - first < options.runSeconds * 1000 && program->running()) {
        usleep(1000000);
        const double programNow = cpuSeconds(program->pid()), serverNow = cpuSeconds(server.pid()), now = nowMs();
        run.programCpu.push_back(100.0 * (programNow - lastProgram) * 1000 / (now - last));
        run.serverCpu.push_back(100.0 * (serverNow - lastServer) * 1000 / (now - last));
        run.rssMiB.push_back(statusMiB(program->pid(), "VmRSS"));
        lastProgram = programNow, lastServer = serverNow, last = now;
    }
    run.programShare = 100.0 * (lastProgram - firstProgram) * 1000 / (last - first);
    run.serverShare = 100.0 * (lastServer - firstServer) * 1000 / (last - first);
    if (program->running()) {
        run.peakMiB = statusMiB(program->pid(), "VmHWM");
        kill(program->pid(), SIGTERM);
        int status = 0;
        if (!program->waitEnd(std::chrono::milliseconds(2000), &status) || !WIFEXITED(status) ||
            WEXITSTATUS(status) != 0)
            std::fprintf(stderr, "frame_bench_x11: SIGTERM did not end it with 0\n");
    } else {
        std::fprintf(stderr, "frame_bench_x11: the program ended early:\n%s", program->err().c_str());
    }
    readFpsLines(program->err(), run);
    return run;
}

std::vector<double> sumOf(const std::vector<double>& a, const std::vector<double>& b)
{
    std::vector<double> sum;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) sum.push_back(a[i] + b[i]);
    return sum;
}

void measureProgram(XServer& server, Window window)
{
    std::vector<double> firstFrames[2];  // changed-only, whole; the starts interleaved
    for (int n = 0; n <= options.starts; ++n)
        for (int path = 0; path < 2; ++path) {
            const double ms = timeFirstFrame(server, window, path == 1);
            if (ms < 0)
                std::fprintf(stderr, "frame_bench_x11: start %d showed no frame within 5 s\n", n);
            else if (n > 0)
                firstFrames[path].push_back(ms);
        }
    const Run changed = runProgram(server, window, false);
    const Run whole = runProgram(server, window, true);
    char name[160];
    figures.push_back({"compose + present, ms (per second)", changed.frameMs, whole.frameMs, "<= 0.4",
                       spreadOf(changed.frameMs).median <= 0.4});
    const double drawnShare = changed.ticks > 0 ? 100.0 * changed.drawn / changed.ticks : 0;
    std::snprintf(name, sizeof name, "ticks drawn, %% (%d of %d; whole %d of %d)", changed.drawn, changed.ticks,
                  whole.drawn, whole.ticks);
    figures.push_back({name, changed.drawnPercent, whole.drawnPercent, ">= 99 in all", drawnShare >= 99});
    std::snprintf(name, sizeof name, "program CPU, %% of a core (run: %.2f; whole %.2f)", changed.programShare,
                  whole.programShare);
    figures.push_back(
        {name, changed.programCpu, whole.programCpu, "<= 1 over the run", changed.programShare <= 1});
    std::snprintf(name, sizeof name, "Xvfb CPU, %% (run: %.2f; whole %.2f)", changed.serverShare,
                  whole.serverShare);
    figures.push_back({name, changed.serverCpu, whole.serverCpu, "", true});
    std::snprintf(name, sizeof name, "program + Xvfb, %% (run: %.2f; whole %.2f)",
                  changed.programShare + changed.serverShare, whole.programShare + whole.serverShare);
    figures.push_back({name, sumOf(changed.programCpu, changed.serverCpu),
                       sumOf(whole.programCpu, whole.serverCpu), "<= 2 over the run",
                       changed.programShare + changed.serverShare <= 2});
    figures.push_back({"first frame after exec, ms", firstFrames[0], firstFrames[1], "<= 60",
                       spreadOf(firstFrames[0]).median <= 60});
    std::snprintf(name, sizeof name, "VmRSS, MiB (VmHWM %.1f; whole %.1f)", changed.peakMiB, whole.peakMiB);
    figures.push_back(
        {name, changed.rssMiB, whole.rssMiB, "<= 40 peak", changed.peakMiB > 0 && changed.peakMiB <= 40});
}

std::string cell(const std::vector<double>& samples)
{
    if (samples.empty()) return "";
    const Spread spread = spreadOf(samples);
    char text[64];
    std::snprintf(text, sizeof text, "%.3f (%.3f-%.3f)", spread.median, spread.p10, spread.p90);
    return text;
}

void printFigures(bool markdown)
{
    const char* format = markdown ? "| %s | %s | %s | %s |\n" : "%-58s %-24s %-24s %s\n";
    std::printf(format, "figure (median, p10-p90)", "changed only", "whole frames", "target");
    if (markdown) std::printf("|---|---:|---:|---|\n");
    for (const Figure& figure : figures) {
        const std::string target = figure.target.empty() ? ""
                                                         : figure.target + (figure.met ? ": met" : ": NOT MET");
        std::printf(format, figure.name.c_str(), cell(figure.changed).c_str(), cell(figure.whole).c_str(),
                    target.c_str());
    }
}

bool parseArguments(int argc, char** argv, bool& markdown)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--markdown")
            markdown = true;
        else if (arg == "--rounds" && hasValue)
            options.rounds = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--seconds" && hasValue)
            options.runSeconds = std::max(1.0, std::atof(argv[++i]));
        else if (arg == "--starts" && hasValue)
            options.starts = std::max(1, std::atoi(argv[++i]));
        else if (arg == "--program" && hasValue)
            options.program = argv[++i];
        else {
            std::fprintf(stderr, "usage: frame_bench_x11 [--markdown] [--rounds N] [--seconds S] [--starts N] "
                                 "[--program PATH]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    bool markdown = false;
    if (!parseArguments(argc, argv, markdown)) return 2;
    const Failure loaded = loadBallPictures(ZEPHYRINE_PICTURES_DIR);
    if (loaded.exitCode != 0) {
        std::fprintf(stderr, "%s\n", loaded.message.c_str());
        return loaded.exitCode;
    }
    seedRandom(field, 1);
    placeBalls(field, {0, 0, kWidth, kHeight}, kBallCount, kFullScale, 1, kHeight);
    std::printf("1920 x 1080, %d balls of %d px, %d rounds of %d frames each way\n", kBallCount, field.ballSize,
                options.rounds, options.framesPerRound);
    for (const int32_t opacity : {50, 75, 100}) measureFrameCost(opacity);
    releaseBallMask();
    releaseBallPictures();

    XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    XServer server(xvfb("1920x1080x24"));
    if (server.display == nullptr) {
        std::fprintf(stderr, "frame_bench_x11: could not start Xvfb\n");
    } else {
        std::printf("%s --root on a full-screen window of Xvfb %s 1920x1080x24 with a desktop screenshot, "
                    "%.0f s a path\n",
                    options.program.c_str(), server.name.c_str(), options.runSeconds);
        std::fflush(stdout);
        const Window window = makeHostWindow(server.display, 0, 0, kWidth, kHeight, kFillPixel);
        giveScreenshot(server.display, window);
        XSync(server.display, False);
        measureProgram(server, window);
    }
    printFigures(markdown);
    bool allMet = true;
    for (const Figure& figure : figures) allMet = allMet && figure.met;
    return allMet ? 0 : 1;
}
