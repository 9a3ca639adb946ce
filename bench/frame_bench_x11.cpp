// Measures the X11 display mode: composeFrame against the bare floor of the same
// run (memcpy of the background and 30 bare pixman composites), then the real
// zephyrine program in a private Xvfb: compose plus present, ticks drawn, CPU,
// the first frame after exec, and resident memory.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <pixman.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "saver/ball_field.h"
#include "saver/ball_pictures_x11.h"
#include "saver/frame_x11.h"

namespace {

constexpr int32_t kWidth = 1920;
constexpr int32_t kHeight = 1080;
constexpr int32_t kBallCount = 30;
constexpr int32_t kFullScale = 2;  // 112 pixels on a monitor-sized window
constexpr uint32_t kSeed = 1;
// The host window's own colour before the program draws on it.
constexpr unsigned long kFillPixel = 0x2e5c8a;

struct Options {
    // Measured rounds of the frame-cost comparison: short, so that a round the
    // scheduler interrupts is one outlier among many.
    int rounds = 101;
    int framesPerRound = 10;
    int warmUpRounds = 10;
    double runSeconds = 10.0;
    int starts = 9;         // first-frame measurements, after one warm-up start
    std::string program = ZEPHYRINE_X11_PROGRAM;
    std::string pictures = ZEPHYRINE_PICTURES_DIR;
};
Options options;

double nowMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// One line of the final table: a spread, its unit, the target and whether it is met.
struct Figure {
    std::string name;
    Spread spread;
    std::string target;
    bool met;
};
std::vector<Figure> figures;

void addFigure(const std::string& name, const std::vector<double>& samples, const char* target,
               bool met)
{
    figures.push_back({name, spreadOf(samples), target, met && !samples.empty()});
}

// ---- frame cost in this process ----

// A desktop that is not plain: a gradient, so the copy is real work.
std::vector<uint32_t> makeDesktop()
{
    std::vector<uint32_t> desktop(static_cast<size_t>(kWidth) * kHeight);
    for (int32_t y = 0; y < kHeight; ++y) {
        for (int32_t x = 0; x < kWidth; ++x) {
            desktop[static_cast<size_t>(y) * kWidth + x] =
                0xff000000u | (x * 255 / kWidth) << 16 | (y * 255 / kHeight) << 8 | 0x60;
        }
    }
    return desktop;
}

// The floor a frame cannot beat: the background copied with one memcpy, then
// the 30 composites with the same thumbnails, mask and positions, nothing else.
struct BareFrame {
    const uint32_t* background;
    pixman_image_t* target;
    pixman_image_t* mask;
    uint32_t* pixels;

    void draw() const
    {
        std::memcpy(pixels, background, static_cast<size_t>(kWidth) * kHeight * 4);
        for (int32_t i = 0; i < kBallCount; ++i) {
            pixman_image_t* thumbnail = thumbnails[ballField.imageIndex[i]];
            pixman_image_composite32(PIXMAN_OP_OVER, thumbnail, mask, target, 0, 0, 0, 0, ballField.x[i],
                                     ballField.y[i], ballField.ballSize, ballField.ballSize);
        }
    }
};

bool measureFrameCost(int32_t opacity)
{
    const std::vector<uint32_t> desktopPixels = makeDesktop();
    const DesktopPixels desktop{desktopPixels.data(), kWidth, kHeight, kWidth * 4};
    if (!makeBackground(0, &desktop, {0, 0, kWidth, kHeight}, kWidth, kHeight) || !setBallOpacity(opacity)) {
        std::fprintf(stderr, "frame_bench_x11: not enough memory for the background\n");
        return false;
    }
    std::vector<uint32_t> composed(static_cast<size_t>(kWidth) * kHeight);
    std::vector<uint32_t> bare(composed.size());
    const FramePixels frame{composed.data(), kWidth, kHeight, kWidth * 4};
    // The background the bare frame copies is the one composeFrame shows.
    composeFrame(frame, 0);
    const std::vector<uint32_t> background = composed;

    const pixman_color_t maskColour = {0, 0, 0, static_cast<uint16_t>((opacity * 0xffff + 50) / 100)};
    BareFrame floor{background.data(),
                    pixman_image_create_bits(PIXMAN_x8r8g8b8, kWidth, kHeight, bare.data(), kWidth * 4),
                    pixman_image_create_solid_fill(&maskColour), bare.data()};

    std::vector<double> composeMs, bareMs, ratios;
    bool samePixels = true;
    const ClientRect client{0, 0, kWidth, kHeight};
    for (int round = 0; round < options.warmUpRounds + options.rounds; ++round) {
        double times[2] = {0, 0};  // compose, bare
        for (int half = 0; half < 2; ++half) {
            // Alternate which goes first, so neither always runs on a warmer cache.
            const bool doCompose = (half == 0) == (round % 2 == 0);
            const double start = nowMs();
            for (int n = 0; n < options.framesPerRound; ++n) {
                if (doCompose) {
                    composeFrame(frame, kBallCount);
                } else {
                    floor.draw();
                }
            }
            times[doCompose ? 0 : 1] = (nowMs() - start) / options.framesPerRound;
        }
        samePixels = samePixels && composed == bare;
        moveBalls(ballField, client);
        if (round >= options.warmUpRounds) {
            composeMs.push_back(times[0]);
            bareMs.push_back(times[1]);
            ratios.push_back(times[0] / times[1]);
        }
    }
    pixman_image_unref(floor.target);
    pixman_image_unref(floor.mask);

    const std::string at = " (" + std::to_string(opacity) + " %)";
    addFigure("composeFrame, ms" + at, composeMs, "", true);
    addFigure("bare floor, ms" + at, bareMs, "", true);
    const double ratio = spreadOf(ratios).median;
    addFigure("compose / floor" + at + (samePixels ? "" : " PIXELS DIFFER"), ratios, "<= 1.10",
              ratio <= 1.10 && samePixels);
    return true;
}

// ---- the real program in a private Xvfb ----

pid_t xvfbPid = -1;

// Starts Xvfb on the first free display from :150 and opens it; null on failure.
Display* startXvfb()
{
    for (int n = 150; n < 200; ++n) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
        const std::string lock = "/tmp/.X" + std::to_string(n) + "-lock";
        struct stat info;
        if (stat(socket.c_str(), &info) == 0 || stat(lock.c_str(), &info) == 0) {
            continue;
        }
        const std::string name = ":" + std::to_string(n);
        xvfbPid = fork();
        if (xvfbPid == 0) {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1920x1080x24", "-nolisten", "tcp",
                   "-noreset", static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int tries = 0; tries < 100; ++tries) {
            usleep(50000);
            if (stat(socket.c_str(), &info) == 0) {
                if (Display* display = XOpenDisplay(name.c_str())) {
                    setenv("DISPLAY", name.c_str(), 1);
                    return display;
                }
            }
        }
        kill(xvfbPid, SIGTERM);
        waitpid(xvfbPid, nullptr, 0);
        xvfbPid = -1;
    }
    return nullptr;
}

void stopXvfb()
{
    if (xvfbPid > 0) {
        kill(xvfbPid, SIGTERM);
        waitpid(xvfbPid, nullptr, 0);
    }
}

// Names a pixmap of a desktop (colour bands) on window by _SCREENSAVER_SCREENSHOT,
// as the xscreensaver daemon does on its saver window, so the program shows the
// desktop background, its default.
void giveScreenshot(Display* display, Window window)
{
    const int screen = DefaultScreen(display);
    const Pixmap screenshot = XCreatePixmap(display, window, kWidth, kHeight, DefaultDepth(display, screen));
    GC gc = XCreateGC(display, screenshot, 0, nullptr);
    for (int band = 0; band < 8; ++band) {
        XSetForeground(display, gc, 0x203040ul * static_cast<unsigned long>(band + 1) & 0xffffff);
        XFillRectangle(display, screenshot, gc, band * kWidth / 8, 0, kWidth / 8 + 1, kHeight);
    }
    XFreeGC(display, gc);
    XChangeProperty(display, window, XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False), XA_PIXMAP, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&screenshot), 1);
}

// A full-screen host window of the known colour, as a host's saver window is.
Window makeHostWindow(Display* display)
{
    const int screen = DefaultScreen(display);
    XSetWindowAttributes attributes;
    attributes.background_pixel = kFillPixel;
    attributes.override_redirect = True;
    const Window window =
        XCreateWindow(display, RootWindow(display, screen), 0, 0, kWidth, kHeight, 0, CopyFromParent,
                      InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect, &attributes);
    giveScreenshot(display, window);
    XMapWindow(display, window);
    XSync(display, False);
    return window;
}

// Repaints the host window with its own colour, so the next program's first
// frame shows as a change.
void clearHostWindow(Display* display, Window window)
{
    XClearWindow(display, window);
    XSync(display, False);
}

struct Child {
    pid_t pid = -1;
    int errorPipe = -1;  // the program's standard error, non-blocking
    std::string pending;
};

Child startProgram(Window window)
{
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return {};
    }
    const std::string id = std::to_string(window);
    Child child;
    child.pid = fork();
    if (child.pid == 0) {
        dup2(pipeEnds[1], 2);
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        execl(options.program.c_str(), options.program.c_str(), "--window-id", id.c_str(), "--count", "30",
              "--fps", "--seed", "1", "--images", options.pictures.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(pipeEnds[1]);
    child.errorPipe = pipeEnds[0];
    fcntl(child.errorPipe, F_SETFL, O_NONBLOCK);
    return child;
}

// The complete lines the program has written to standard error since the last call.
std::vector<std::string> readLines(Child& child)
{
    char buffer[4096];
    ssize_t got;
    while ((got = read(child.errorPipe, buffer, sizeof buffer)) > 0) {
        child.pending.append(buffer, static_cast<size_t>(got));
    }
    std::vector<std::string> lines;
    size_t end;
    while ((end = child.pending.find('\n')) != std::string::npos) {
        lines.push_back(child.pending.substr(0, end));
        child.pending.erase(0, end + 1);
    }
    return lines;
}

bool isRunning(const Child& child)
{
    return child.pid > 0 && waitpid(child.pid, nullptr, WNOHANG) == 0;
}

// Ends the program with SIGTERM, as hosts do; its exit status (-1: killed).
int endProgram(Child& child)
{
    int status = 0;
    if (child.pid > 0) {
        kill(child.pid, SIGTERM);
        const double deadline = nowMs() + 2000;
        while (waitpid(child.pid, &status, WNOHANG) == 0) {
            if (nowMs() > deadline) {
                kill(child.pid, SIGKILL);
                waitpid(child.pid, &status, 0);
                break;
            }
            usleep(1000);
        }
    }
    if (child.errorPipe >= 0) {
        close(child.errorPipe);
    }
    child = {};
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// True when some pixel of a band across the middle of the window is no longer the fill.
bool windowShowsAFrame(Display* display, Window window)
{
    XImage* image = XGetImage(display, window, 0, kHeight / 2 - 2, kWidth, 4, AllPlanes, ZPixmap);
    if (image == nullptr) {
        return false;
    }
    bool changed = false;
    for (int y = 0; y < image->height && !changed; ++y) {
        for (int x = 0; x < image->width && !changed; ++x) {
            changed = (XGetPixel(image, x, y) & 0xffffff) != kFillPixel;
        }
    }
    XDestroyImage(image);
    return changed;
}

// The time a process has run on a CPU and the time it has waited for one, in ms
// (the scheduler's own counts in /proc/<pid>/schedstat).
struct SchedulerTimes {
    double running = 0;
    double waiting = 0;
};

SchedulerTimes schedulerTimes(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/schedstat");
    double runningNs = 0, waitingNs = 0;
    file >> runningNs >> waitingNs;
    return {runningNs / 1e6, waitingNs / 1e6};
}

struct FirstFrame {
    double ms = -1;  // from just before exec until the first frame shows; negative when none does in 5 s
    SchedulerTimes until;  // of the program, at that moment
};

FirstFrame timeFirstFrame(Display* display, Window window)
{
    clearHostWindow(display, window);
    const double start = nowMs();
    Child child = startProgram(window);
    FirstFrame first;
    while (nowMs() - start < 5000 && isRunning(child)) {
        if (windowShowsAFrame(display, window)) {
            first.ms = nowMs() - start;
            first.until = schedulerTimes(child.pid);
            break;
        }
        usleep(500);
    }
    endProgram(child);
    return first;
}

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    // Fields after the command name, which is in parentheses and may hold spaces.
    const size_t close = text.rfind(')');
    if (close == std::string::npos) {
        return 0;
    }
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    double utime = 0, stime = 0;
    for (int n = 3; n <= 15 && fields >> field; ++n) {
        if (n == 14) utime = std::atof(field.c_str());
        if (n == 15) stime = std::atof(field.c_str());
    }
    return (utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// A line of /proc/<pid>/status such as VmRSS, in MiB.
double statusMiB(pid_t pid, const char* key)
{
    std::ifstream file("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(file, line)) {
        if (line.compare(0, std::strlen(key), key) == 0 && line[std::strlen(key)] == ':') {
            return std::atof(line.c_str() + std::strlen(key) + 1) / 1024.0;
        }
    }
    return 0;
}

// The figures of one --fps line; false for any other line.
bool parseFpsLine(const std::string& line, int& drawn, int& ticks, double& compose, double& present)
{
    double fps = 0;
    return std::sscanf(line.c_str(), "zephyrine: %lf fps, %d of %d ticks drawn, compose %lf ms, present %lf ms",
                       &fps, &drawn, &ticks, &compose, &present) == 5;
}

void measureProgram(Display* display, Window window)
{
    std::vector<double> firstFrames, firstRunning, firstWaiting;
    for (int n = 0; n <= options.starts; ++n) {
        const FirstFrame first = timeFirstFrame(display, window);
        if (n > 0 && first.ms >= 0) {
            firstFrames.push_back(first.ms);
            firstRunning.push_back(first.until.running);
            firstWaiting.push_back(first.until.waiting);
        }
        if (first.ms < 0) {
            std::fprintf(stderr, "frame_bench_x11: start %d showed no frame within 5 s\n", n);
        }
    }

    clearHostWindow(display, window);
    Child child = startProgram(window);
    // The first --fps line, which holds the start-up, is thrown away.
    const double warmUpEnd = nowMs() + 3000;
    bool warm = false;
    while (!warm && nowMs() < warmUpEnd && isRunning(child)) {
        for (const std::string& line : readLines(child)) {
            int drawn, ticks;
            double compose, present;
            warm = warm || parseFpsLine(line, drawn, ticks, compose, present);
        }
        usleep(5000);
    }
    std::vector<double> framesMs, drawnShare, cpuShare, rssMiB;
    int drawnTotal = 0, ticksTotal = 0;
    double lastCpu = cpuSeconds(child.pid);
    double lastSample = nowMs();
    const double firstCpu = lastCpu, firstSample = lastSample;
    const double end = lastSample + options.runSeconds * 1000;
    while (nowMs() < end && isRunning(child)) {
        usleep(20000);
        for (const std::string& line : readLines(child)) {
            int drawn = 0, ticks = 0;
            double compose = 0, present = 0;
            if (parseFpsLine(line, drawn, ticks, compose, present)) {
                framesMs.push_back(compose + present);
                drawnShare.push_back(ticks > 0 ? 100.0 * drawn / ticks : 0);
                drawnTotal += drawn;
                ticksTotal += ticks;
            }
        }
        if (nowMs() - lastSample >= 1000) {
            const double cpu = cpuSeconds(child.pid);
            cpuShare.push_back(100.0 * (cpu - lastCpu) * 1000 / (nowMs() - lastSample));
            rssMiB.push_back(statusMiB(child.pid, "VmRSS"));
            lastCpu = cpu;
            lastSample = nowMs();
        }
    }
    const bool ranThrough = isRunning(child);
    const double peakMiB = ranThrough ? statusMiB(child.pid, "VmHWM") : 0;
    const int status = endProgram(child);
    if (!ranThrough) {
        std::fprintf(stderr, "frame_bench_x11: %s ended before the %.0f s run was over\n",
                     options.program.c_str(), options.runSeconds);
    } else if (status != 0) {
        std::fprintf(stderr, "frame_bench_x11: SIGTERM ended it with exit %d, not 0\n", status);
    }

    const double drawnPercent = ticksTotal > 0 ? 100.0 * drawnTotal / ticksTotal : 0;
    addFigure("compose + present, ms (per second)", framesMs, "<= 2.5 median",
              spreadOf(framesMs).median <= 2.5);
    char name[96];
    std::snprintf(name, sizeof name, "ticks drawn, %% (%d of %d in all)", drawnTotal, ticksTotal);
    addFigure(name, drawnShare, ">= 99 in all", drawnPercent >= 99);
    // The whole run's share from its first and last readings; the per-second
    // samples show the spread, in steps of the kernel's 10 ms clock ticks.
    const double cpuPercent =
        lastSample > firstSample ? 100.0 * (lastCpu - firstCpu) * 1000 / (lastSample - firstSample) : 0;
    std::snprintf(name, sizeof name, "CPU, %% of a core (%.2f over the run)", cpuPercent);
    addFigure(name, cpuShare, "<= 10", !cpuShare.empty() && cpuPercent <= 10);
    addFigure("first frame after exec, ms", firstFrames, "<= 60 median", spreadOf(firstFrames).median <= 60);
    addFigure("  of which the program ran, ms", firstRunning, "", true);
    addFigure("  of which it waited for a CPU, ms", firstWaiting, "", true);
    std::snprintf(name, sizeof name, "VmRSS, MiB (VmHWM %.1f)", peakMiB);
    addFigure(name, rssMiB, "<= 40 peak", peakMiB > 0 && peakMiB <= 40);
}

void printFigures(TableStyle style)
{
    printSpreadHeader("figure", style, "target");
    for (const Figure& figure : figures) {
        const std::string tail = (style == TableStyle::aligned ? "  " : "") + figure.target +
                                 (figure.target.empty() ? "" : figure.met ? " met" : " NOT MET");
        printSpreadRow(figure.name.c_str(), figure.spread, tail.c_str(), style);
    }
}

bool parseOptions(int argc, char** argv, TableStyle& style)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--markdown") {
            style = TableStyle::markdown;
        } else if (arg == "--rounds" && hasValue) {
            options.rounds = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--seconds" && hasValue) {
            options.runSeconds = std::max(1.0, std::atof(argv[++i]));
        } else if (arg == "--starts" && hasValue) {
            options.starts = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--program" && hasValue) {
            options.program = argv[++i];
        } else {
            std::fprintf(stderr,
                         "usage: frame_bench_x11 [--markdown] [--rounds N] [--seconds S] [--starts N] "
                         "[--program PATH]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    TableStyle style = TableStyle::aligned;
    if (!parseOptions(argc, argv, style)) {
        return 2;
    }
    const int loaded = loadBallPictures(options.pictures.c_str());
    if (loaded != 0) {
        std::fprintf(stderr, "%s\n", loaded == kNoMemoryExit ? kNoMemoryMessage : kImagesNotFoundMessage);
        return loaded;
    }
    seedRandom(ballField, kSeed);
    placeBalls(ballField, {0, 0, kWidth, kHeight}, kBallCount, kFullScale, 1, kHeight);
    makeThumbnails(ballField.ballSize);
    std::printf("1920 x 1080, %d balls of %d px, %d rounds of %d frames each way\n", kBallCount,
                ballField.ballSize, options.rounds, options.framesPerRound);
    for (const int32_t opacity : {50, 75, 100}) {
        if (!measureFrameCost(opacity)) {
            return 2;
        }
    }
    releaseFrame();
    releaseBallPictures();

    Display* display = startXvfb();
    if (display == nullptr) {
        std::fprintf(stderr, "frame_bench_x11: could not start Xvfb\n");
    } else {
        std::printf("%s --window-id on a full-screen window of Xvfb %s 1920x1080x24 with a desktop screenshot\n",
                    options.program.c_str(), DisplayString(display));
        std::fflush(stdout);
        measureProgram(display, makeHostWindow(display));
        XCloseDisplay(display);
        stopXvfb();
    }
    printFigures(style);
    bool allMet = true;
    for (const Figure& figure : figures) {
        allMet = allMet && (figure.target.empty() || figure.met);
    }
    return allMet ? 0 : 1;
}
