// End-to-end tests of the X11 display mode: the real program drawing on
// windows of the test's own, its pixels read back with XGetImage.
// GoogleTest first: Xlib defines macros (None, Bool) that its headers use as names.
#include <gtest/gtest.h>

#include "support/png_writer.h"
#include "support/x11_test_support.h"

#include <X11/Xatom.h>
#include <X11/keysym.h>
#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <climits>
#include <memory>
#include <ostream>
#include <thread>

namespace {

// Eight solid pictures, each its own colour (0xAARRGGBB), opaque or partly transparent.
constexpr uint32_t kColours[8] = {0xFFE62828, 0xFF28C83C, 0xFF3250DC, 0x80FADC1E,
                                  0x4014DCDC, 0xC0C828C8, 0xFF8C5A28, 0xA05AA0FA};
constexpr uint32_t kClear[8] = {};
// With --count 8 this seed gives each of the eight pictures to one ball.
const char* const kEachPictureOnce = "140731";
const char* const kMessagePrefix = "zephyrine: ";

// Rows print as their names.
template <typename Case>
auto operator<<(std::ostream& os, const Case& c) -> decltype(c.name, os)
{
    return os << c.name;
}
const auto kRowName = [](const auto& info) { return std::string(info.param.name); };

std::string id(Window window)
{
    return std::to_string(window);
}

void writeText(const std::string& path, const std::string& text)
{
    writeFile(path, Bytes(text.begin(), text.end()));
}

// The frame pixel for a picture pixel argb at opacity percent over background:
// P * (a * s) + D * (1 - a * s).
uint32_t over(uint32_t argb, int opacity, uint32_t background)
{
    const double as = (argb >> 24) / 255.0 * opacity / 100.0;
    uint32_t result = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const double p = (argb >> shift) & 0xFF, d = (background >> shift) & 0xFF;
        result |= uint32_t(p * as + d * (1 - as) + 0.5) << shift;
    }
    return result;
}

void expectExit(Program& program, int code)
{
    int status = 0;
    ASSERT_TRUE(program.waitEnd(5s, &status)) << "still running after 5 s";
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == code) << "wait status " << status << "\n"
                                                                  << program.err();
}

// The side of the biggest ball at 100 % on black: the largest square around the
// pixels of one picture's colour. A ball drawn over another can only shrink that one.
int ballSide(const Image& image)
{
    int side = 0;
    for (uint32_t colour : kColours) {
        const uint32_t want = over(colour, 100, 0);
        int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                if (image.at(x, y) != 0 && near(image.at(x, y), want)) {
                    left = std::min(left, x), right = std::max(right, x);
                    top = std::min(top, y), bottom = std::max(bottom, y);
                }
            }
        }
        if (right >= 0) {
            side = std::max(side, std::min(right - left, bottom - top) + 1);
        }
    }
    return side;
}

// The side on a pane at (x, y); with moveX >= 0, after the pane was moved to (moveX, moveY).
int ballSideOn(Display* display, const std::string& name, int x, int y, int width, int height, int scale,
               int moveX = -1, int moveY = -1)
{
    TempDir dir;
    const Window host = makeHostWindow(display, x, y, width, height);
    Program program(
        {"--window-id", id(host), "--images", solidPictures(dir, kColours), "--seed", kEachPictureOnce, "--count",
         "8", "--opacity", "100", "--background", "black", "--scale", std::to_string(scale)},
        {"DISPLAY=" + name});
    EXPECT_TRUE(waitFirstFrame(display, host)) << program.err();
    int side = ballSide(capture(display, host));
    if (moveX >= 0) {
        const int before = side;
        XMoveWindow(display, host, moveX, moveY);
        XSync(display, False);
        waitUntil([&] { return (side = ballSide(capture(display, host))) != before; }, 3s);
    }
    expectCleanEnd(program);
    XDestroyWindow(display, host);
    return side;
}

// The one viewable child of the root: the program's own window.
Window programWindow(Display* display)
{
    Window root, parent, *children = nullptr, found = 0;
    unsigned count = 0;
    XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count);
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(display, children[i], &attributes) && attributes.map_state == IsViewable) {
            found = children[i];
        }
    }
    XFree(children);
    return found;
}

struct RuleCase {
    const char* name;
    int opacity;
    uint32_t background;
};
class PixelRuleTest : public ::testing::TestWithParam<RuleCase> {};

TEST_P(PixelRuleTest, EachPictureShowsItsColourAtTheOpacityOverTheBackground)
{
    const RuleCase c = GetParam();
    TempDir dir;
    const Window host = makeHostWindow(testDisplay(), 0, 0, 640, 360);
    Program program(
        {"--window-id", id(host), "--images", solidPictures(dir, kColours), "--seed", kEachPictureOnce, "--count",
         "8", "--opacity", std::to_string(c.opacity), "--background", c.background ? "white" : "black"},
        onTestDisplay());
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    const Image image = capture(testDisplay(), host);
    for (int k = 0; k < 8; ++k) {
        const uint32_t want = over(kColours[k], c.opacity, c.background);
        const auto count =
            std::count_if(image.pixels.begin(), image.pixels.end(), [&](uint32_t p) { return near(p, want); });
        // Balls of 360 * 112 / 1080 = 37 pixels; at least half of each is seen.
        EXPECT_GE(count, 37 * 37 / 2) << "picture " << k + 1 << " as " << std::hex << want;
    }
    expectCleanEnd(program);
}

INSTANTIATE_TEST_SUITE_P(OpacityAndBackground, PixelRuleTest,
                         ::testing::ValuesIn(std::vector<RuleCase>{{"Half_Black", 50, 0},
                                                                   {"ThreeQuarters_Black", 75, 0},
                                                                   {"Full_Black", 100, 0},
                                                                   {"Half_White", 50, 0xFFFFFF},
                                                                   {"ThreeQuarters_White", 75, 0xFFFFFF},
                                                                   {"Full_White", 100, 0xFFFFFF}}),
                         kRowName);

struct SizeCase {
    const char* name;
    int x, y, width, height, scale, side;
};
class BallSizeTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(BallSizeTest, MonitorSizedWindowsGetTheFullSizeAndPanesTheirShare)
{
    const SizeCase c = GetParam();
    EXPECT_EQ(ballSideOn(testDisplay(), testDisplayName(), c.x, c.y, c.width, c.height, c.scale), c.side);
}

// The rule's table is the monitor's; here the program's side: a monitor-sized window gets the
// full size, a 270-high pane on the 1080-high screen 270 * 112 / 1080 = 28, halved at 50 %.
INSTANTIATE_TEST_SUITE_P(Scales, BallSizeTest,
                         ::testing::ValuesIn(std::vector<SizeCase>{{"Monitor100", 0, 0, 1920, 1080, 100, 112},
                                                                   {"Pane50", 0, 0, 480, 270, 50, 14}}),
                         kRowName);

TEST(TwoMonitorsTest, EachWindowGetsTheSizeForTheHeightOfItsOwnMonitor)
{
    TempDir dir;
    writeText(dir.path + "/dummy.conf",
              "Section \"Device\"\n Identifier \"card\"\n Driver \"dummy\"\n VideoRam 65536\nEndSection\n"
              "Section \"Screen\"\n Identifier \"screen\"\n Device \"card\"\n DefaultDepth 24\n"
              " SubSection \"Display\"\n  Depth 24\n  Virtual 3200 1080\n EndSubSection\nEndSection\n");
    XServer xorg({"Xorg", "-config", dir.path + "/dummy.conf", "-logfile", dir.path + "/xorg.log", "-noreset",
                  "-nolisten", "tcp"});
    ASSERT_NE(xorg.display, nullptr) << "Xorg (run as root?): " << readFile(dir.path + "/xorg.log");
    // Monitor A replaces the server's own DUMMY0; B is beside it and shorter.
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--fb", "3200x1080"},
                                               {"--setmonitor", "A", "1920/508x1080/286+0+0", "DUMMY0"},
                                               {"--setmonitor", "B", "1280/338x720/190+1920+0", "none"}}) {
        Program xrandr(args, {"DISPLAY=" + xorg.name}, "xrandr");
        expectExit(xrandr, 0);
    }
    const SizeCase cases[] = {
        {"window filling B", 1920, 0, 1280, 720, 100, 112},
        {"pane on B: 180 * 112 / 720", 2400, 270, 320, 180, 100, 28},
        {"pane on A: 180 * 112 / 1080", 800, 450, 320, 180, 100, 18},
    };
    for (const SizeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ballSideOn(xorg.display, xorg.name, c.x, c.y, c.width, c.height, c.scale), c.side);
    }
    // A pane moved from A to B takes B's share.
    EXPECT_EQ(ballSideOn(xorg.display, xorg.name, 800, 450, 320, 180, 100, 2400, 270), 28);
}

TEST(BallFieldOnScreenTest, SeedOnePlacesBallsAsOnWindowsAndTicksMoveThemOnePixelPerAxis)
{
    // Seed 1, 1920 x 1080, 112-pixel balls: ball 0 shows 2.png at (377, 520) going (+1, +1),
    // ball 1 shows 7.png at (1636, 239) going (-1, -1).
    TempDir dir;
    const Window host = makeHostWindow(testDisplay(), 0, 0, 1920, 1080);
    Program program({"--window-id", id(host), "--images", solidPictures(dir, kColours), "--seed", "1", "--count",
                     "5", "--opacity", "100", "--background", "black"},
                    onTestDisplay());
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    const uint32_t ball0 = over(kColours[1], 100, 0), ball1 = over(kColours[6], 100, 0);
    const auto start = std::chrono::steady_clock::now();
    const Image first = capture(testDisplay(), host);
    std::this_thread::sleep_for(300ms);
    const Image second = capture(testDisplay(), host);
    const auto ticks = (std::chrono::steady_clock::now() - start) / 30ms;
    const int before = ticksGone(first, ball0, 377, 520, 1, 1), after = ticksGone(second, ball0, 377, 520, 1, 1);
    EXPECT_GE(before, 0);
    EXPECT_EQ(ticksGone(first, ball1, 1636, 239, -1, -1), before);
    EXPECT_EQ(ticksGone(second, ball1, 1636, 239, -1, -1), after);
    EXPECT_GE(after - before, 1);
    EXPECT_LE(after - before, ticks + 1) << "more than a pixel in a 30 ms tick";
    expectCleanEnd(program);
}

enum class Source { Option, Screenshot, RootBeforeMapping };
enum class Pattern { Plain, Quadrants, LinesAndSolid };
struct Sample {
    int x, y;
    uint32_t colour;
    int tolerance;
};
struct BackgroundCase {
    const char* name;
    const char* background;
    Source source;
    Pattern pattern;
    int width, height;  // of the host window
    std::vector<Sample> samples;
};
class BackgroundTest : public ::testing::TestWithParam<BackgroundCase> {};

constexpr uint32_t kTopLeft = 0x3366CC, kTopRight = 0xCC6633, kBottomLeft = 0x33CC66, kBottomRight = 0x999933;

// A 1920 x 1080 desktop: four quadrants, or on the left one white column in
// four (an average of 64) and on the right kTopRight.
Pixmap desktopPixmap(Display* display, Pattern pattern)
{
    const Window root = DefaultRootWindow(display);
    const Pixmap pixmap = XCreatePixmap(display, root, 1920, 1080, 24);
    const GC gc = XCreateGC(display, pixmap, 0, nullptr);
    auto fill = [&](unsigned long colour, int x, int y, int w, int h) {
        XSetForeground(display, gc, colour);
        XFillRectangle(display, pixmap, gc, x, y, w, h);
    };
    if (pattern == Pattern::Quadrants) {
        fill(kTopLeft, 0, 0, 960, 540), fill(kTopRight, 960, 0, 960, 540);
        fill(kBottomLeft, 0, 540, 960, 540), fill(kBottomRight, 960, 540, 960, 540);
    } else {
        fill(0, 0, 0, 960, 1080), fill(kTopRight, 960, 0, 960, 1080);
        for (int x = 0; x < 960; x += 4) {
            fill(0xFFFFFF, x, 0, 1, 1080);
        }
    }
    XFreeGC(display, gc);
    return pixmap;
}

TEST_P(BackgroundTest, ShowsTheChosenBackgroundCutAndScaledToTheWindow)
{
    const BackgroundCase c = GetParam();
    Display* display = testDisplay();
    TempDir dir;
    std::vector<std::string> args{"--images", solidPictures(dir, kClear), "--background", c.background};
    std::vector<std::string> env;
    Window target = 0;
    // The host's copy stays until the run has ended, then goes: 8 MB on the shared server.
    struct PixmapFreed {
        Display* display;
        Pixmap pixmap;
        ~PixmapFreed()
        {
            if (pixmap) XFreePixmap(display, pixmap);
        }
    } screenshot{display, 0};
    if (c.source == Source::RootBeforeMapping) {
        // The root's background keeps its own reference, until the next test resets it.
        const Pixmap pixmap = desktopPixmap(display, c.pattern);
        XSetWindowBackgroundPixmap(display, DefaultRootWindow(display), pixmap);
        XFreePixmap(display, pixmap);
        XClearWindow(display, DefaultRootWindow(display));
        args.push_back("--window");
    } else {
        target = makeHostWindow(display, 0, 0, c.width, c.height);
        if (c.source == Source::Screenshot) {
            screenshot.pixmap = desktopPixmap(display, c.pattern);
            XChangeProperty(display, target, XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False), XA_PIXMAP, 32,
                            PropModeReplace, reinterpret_cast<const unsigned char*>(&screenshot.pixmap), 1);
        }
        // As the hosts start it: --root with the window in the environment, in hex.
        char hex[32];
        std::snprintf(hex, sizeof hex, "XSCREENSAVER_WINDOW=0x%lx", target);
        args.push_back("--root");
        env.push_back(hex);
    }
    XSync(display, False);
    Program program(args, onTestDisplay(env));
    if (!target) {
        ASSERT_TRUE(waitUntil([&] { return (target = programWindow(display)) != 0; }, 5s)) << program.err();
    }
    auto matches = [&](const Image& image) {
        return std::all_of(c.samples.begin(), c.samples.end(), [&](const Sample& s) {
            return s.x < image.width && s.y < image.height && near(image.at(s.x, s.y), s.colour, s.tolerance);
        });
    };
    waitUntil([&] { return matches(capture(display, target)); }, 3s);
    const Image image = capture(display, target);
    for (const Sample& s : c.samples) {
        ASSERT_TRUE(s.x < image.width && s.y < image.height) << image.width << " x " << image.height;
        EXPECT_TRUE(near(image.at(s.x, s.y), s.colour, s.tolerance))
            << "at " << s.x << ", " << s.y << std::hex << ": " << image.at(s.x, s.y) << " for " << s.colour;
    }
    expectCleanEnd(program);
}

INSTANTIATE_TEST_SUITE_P(
    EachSource, BackgroundTest,
    ::testing::Values(
        BackgroundCase{
            "Black", "black", Source::Option, Pattern::Plain, 640, 360, {{0, 0, 0, 0}, {639, 359, 0, 0}}},
        BackgroundCase{"White",
                       "white",
                       Source::Option,
                       Pattern::Plain,
                       640,
                       360,
                       {{0, 0, 0xFFFFFF, 0}, {639, 359, 0xFFFFFF, 0}}},
        // A window covering its monitor shows the host's copy one to one.
        BackgroundCase{"HostScreenshotOneToOne",
                       "desktop",
                       Source::Screenshot,
                       Pattern::Quadrants,
                       1920,
                       1080,
                       {{959, 539, kTopLeft, 2},
                        {960, 539, kTopRight, 2},
                        {959, 540, kBottomLeft, 2},
                        {960, 540, kBottomRight, 2},
                        {1919, 1079, kBottomRight, 2}}},
        // The own 1280 x 720 window shows the whole monitor shrunk: the split moves to (640, 360).
        BackgroundCase{"RootBeforeMappingShrunk",
                       "desktop",
                       Source::RootBeforeMapping,
                       Pattern::Quadrants,
                       0,
                       0,
                       {{100, 100, kTopLeft, 2},
                        {700, 100, kTopRight, 2},
                        {400, 500, kBottomLeft, 2},
                        {1000, 400, kBottomRight, 2}}},
        // A quarter-sized pane averages one white column in four to 64; sampling would give 0 or 255.
        BackgroundCase{"ScreenshotAveragedInAPane",
                       "desktop",
                       Source::Screenshot,
                       Pattern::LinesAndSolid,
                       480,
                       270,
                       {{60, 60, 0x404040, 16},
                        {121, 135, 0x404040, 16},
                        {202, 210, 0x404040, 16},
                        {360, 135, kTopRight, 2}}}),
    kRowName);

enum class End { Signal, TargetDestroyed, ServerGone, Killed, Key, Click, WindowManagerClose };
struct EndCase {
    const char* name;
    End how;
    unsigned long detail; /* signal or key */
};
class EndTest : public ::testing::TestWithParam<EndCase> {};

void send(Display* display, Window window, XEvent event, long mask)
{
    event.xany.display = display;
    event.xany.window = window;
    XSendEvent(display, window, False, mask, &event);
    XSync(display, False);
}

void sendInput(Display* display, Window window, End how, unsigned long key)
{
    XEvent event{};
    if (how == End::WindowManagerClose) {
        event.xclient.type = ClientMessage;
        event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        send(display, window, event, NoEventMask);
        return;
    }
    event.xkey.root = DefaultRootWindow(display);
    event.xkey.same_screen = True;
    const bool isKey = how == End::Key;
    event.xkey.keycode = isKey ? XKeysymToKeycode(display, key) : Button1;
    event.type = isKey ? KeyPress : ButtonPress;
    send(display, window, event, isKey ? KeyPressMask : ButtonPressMask);
    event.type = isKey ? KeyRelease : ButtonRelease;
    send(display, window, event, isKey ? KeyReleaseMask : ButtonReleaseMask);
}

TEST_P(EndTest, EndsWithZeroAtOnceAndLeavesNoSharedMemory)
{
    const EndCase c = GetParam();
    const bool ownWindow = c.how >= End::Key;
    std::unique_ptr<XServer> own;
    if (c.how == End::ServerGone) {
        own = std::make_unique<XServer>(xvfb("640x480x24"));
    }
    Display* display = own ? own->display : testDisplay();
    Window target = ownWindow ? 0 : makeHostWindow(display, 0, 0, 640, 360);
    std::vector<std::string> args{"--images", ZEPHYRINE_PICTURES_DIR};
    if (!ownWindow) {
        args.insert(args.end(), {"--window-id", id(target)});
    }
    Program program(args, {"DISPLAY=" + (own ? own->name : testDisplayName())});
    if (ownWindow) {
        ASSERT_TRUE(waitUntil([&] { return (target = programWindow(display)) != 0; }, 5s)) << program.err();
    } else {
        ASSERT_TRUE(waitFirstFrame(display, target)) << program.err();
    }
    // Frames go through a shared-memory segment of the program's own.
    ASSERT_TRUE(waitUntil([&] { return segmentsOf(program.pid()) > 0; }, 2s)) << "no MIT-SHM segment";
    switch (c.how) {
    case End::Signal:
    case End::Killed: kill(program.pid(), int(c.detail)); break;
    case End::TargetDestroyed: XDestroyWindow(display, target), XSync(display, False); break;
    case End::ServerGone: own.reset(); break;
    default: sendInput(display, target, c.how, c.detail);
    }
    if (c.how != End::Killed) {
        expectCleanEnd(program, 0);
        return;
    }
    int status = 0;
    EXPECT_TRUE(program.waitEnd(1s, &status));
    // Marked for removal as soon as both sides attached it, the segment goes with the process.
    EXPECT_TRUE(waitUntil([&] { return segmentsOf(program.pid()) == 0; }, 1s)) << "shared memory left behind";
}

INSTANTIATE_TEST_SUITE_P(EachEnd, EndTest,
                         ::testing::ValuesIn(std::vector<EndCase>{
                             {"Sigterm", End::Signal, SIGTERM},
                             {"Sigint", End::Signal, SIGINT},
                             {"Sighup", End::Signal, SIGHUP},
                             {"TargetDestroyed", End::TargetDestroyed, 0},
                             {"ConnectionClosed", End::ServerGone, 0},
                             {"Sigkill", End::Killed, SIGKILL},
                             {"KeyQ", End::Key, XK_q},
                             {"KeyEscape", End::Key, XK_Escape},
                             {"Click", End::Click, 0},
                             {"WindowManagerClose", End::WindowManagerClose, 0}}),
                         kRowName);

struct OptionCase {
    const char* name;
    std::vector<std::string> args;  // HOST: a host window; GONE: a window that was destroyed
    std::string env;                // one more variable; one that names DISPLAY replaces the test display
    int exitCode;                   // -1: runs on
    std::string message;
};
class OptionTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionTest, BadOptionsEndWithOneOrWarnAndRunOn)
{
    const OptionCase c = GetParam();
    Display* display = testDisplay();
    const Window host = makeHostWindow(display, 0, 0, 320, 180), gone = makeHostWindow(display, 0, 0, 10, 10);
    XDestroyWindow(display, gone);
    XSync(display, False);
    TempDir dir;
    std::vector<std::string> args{"--images", solidPictures(dir, kColours)};
    for (const std::string& arg : c.args) {
        args.push_back(arg == "HOST" ? id(host) : arg == "GONE" ? id(gone) : arg);
    }
    const std::vector<std::string> env = c.env.empty()                     ? onTestDisplay()
                                         : c.env.rfind("DISPLAY=", 0) == 0 ? std::vector<std::string>{c.env}
                                                                           : onTestDisplay({c.env});
    Program program(args, env);
    if (c.exitCode < 0) {
        ASSERT_TRUE(waitFirstFrame(display, host)) << program.err();
        expectCleanEnd(program);
    } else {
        expectExit(program, c.exitCode);
    }
    EXPECT_NE(program.err().find(c.message), std::string::npos) << program.err();
}

INSTANTIATE_TEST_SUITE_P(
    EachKind, OptionTest,
    ::testing::Values(OptionCase{"UnknownOptionGivesTheUsage", {"--bogus"}, "", 1, "--window-id"},
                      OptionCase{"CountOutOfRange",
                                 {"--window-id", "HOST", "--count", "31"},
                                 "",
                                 -1,
                                 "zephyrine: --count \"31\" is not a whole number from 5 to 30; using 7\n"},
                      OptionCase{"WindowIdOfNoWindow", {"--window-id", "GONE"}, "", 1, kMessagePrefix},
                      OptionCase{"DisplayNotSet", {}, "DISPLAY=", 1, "zephyrine: DISPLAY is not set\n"},
                      OptionCase{"WindowIdNotANumber", {"--window-id", "12ab"}, "", 1, kMessagePrefix}),
    kRowName);

// Every picture rule is tested on the loader; here the program's side of it: a damaged picture
// ends it with 3 and the message before any display is opened, and odd sizes are drawn.
TEST(PictureTest, DamagedPictureEndsWithThreeWithoutADisplayOddSizesRun)
{
    TempDir damaged;
    const std::string png = readFile(solidPictures(damaged, kColours) + "/1.png");
    writeText(damaged.path + "/1.png", png.substr(0, png.size() / 2));
    Program refused({"--images", damaged.path}, {});
    expectExit(refused, 3);
    EXPECT_EQ(refused.err(), "Images not found, please reinstall the screen saver!\n");

    TempDir odd;
    writeFile(solidPictures(odd, kColours) + "/1.png", solidPng(1, 1, 0xFFFF0000));
    writeFile(odd.path + "/2.png", solidPng(200, 50, 0x8000FF00));
    const Window host = makeHostWindow(testDisplay(), 0, 0, 320, 180);
    Program program({"--window-id", id(host), "--images", odd.path, "--seed", kEachPictureOnce, "--count", "8"},
                    onTestDisplay());
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    expectCleanEnd(program);
}

struct WindowCase {
    const char* name;
    int width, height, resizedWidth, resizedHeight; /* 0: not resized */
};
class HostWindowTest : public ::testing::TestWithParam<WindowCase> {};

TEST_P(HostWindowTest, RunsAtAnySizeUntilTheEnd)
{
    const WindowCase c = GetParam();
    TempDir dir;
    const Window host = makeHostWindow(testDisplay(), 0, 0, c.width, c.height);
    Program program({"--window-id", id(host), "--images", solidPictures(dir, kColours), "--count", "30",
                     "--background", "black"},
                    onTestDisplay());
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    if (c.resizedWidth) {
        XResizeWindow(testDisplay(), host, c.resizedWidth, c.resizedHeight);
        XSync(testDisplay(), False);
        // The frame follows the window: a new corner gets drawn.
        EXPECT_TRUE(waitFirstFrame(testDisplay(), host, c.resizedWidth - 1, c.resizedHeight - 1)) << program.err();
        std::this_thread::sleep_for(100ms);
        EXPECT_TRUE(program.running()) << program.err();
    }
    expectCleanEnd(program);
}

// From one pixel up, and resized below a ball's side or larger while running: each draws and runs on.
INSTANTIATE_TEST_SUITE_P(Sizes, HostWindowTest,
                         ::testing::ValuesIn(std::vector<WindowCase>{
                             {"OnePixel", 1, 1, 0, 0},
                             {"NarrowerThanItsBalls", 3, 200, 0, 0},
                             {"ShrunkBelowABallWhileRunning", 1920, 1080, 60, 1080},
                             {"GrownWhileRunning", 320, 180, 640, 360}}),
                         kRowName);

TEST(HostInputTest, SelectsOnlyStructureChangesOnTheHostsWindow)
{
    TempDir dir;
    const Window host = makeHostWindow(testDisplay(), 0, 0, 320, 180);
    Program program({"--window-id", id(host), "--images", solidPictures(dir, kColours)}, onTestDisplay());
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(testDisplay(), host, &attributes));
    // The test selects nothing there; keys and the pointer stay the host's.
    EXPECT_EQ(attributes.all_event_masks, StructureNotifyMask);
    expectCleanEnd(program);
}

TEST(VisualTest, PseudoColorRootEndsWithAMessageAndOne)
{
    XServer eightBit(xvfb("640x480x8"));
    ASSERT_NE(eightBit.display, nullptr);
    ASSERT_EQ(DefaultVisual(eightBit.display, 0)->c_class, PseudoColor);
    TempDir dir;
    Program program({"--root", "--images", solidPictures(dir, kColours)}, {"DISPLAY=" + eightBit.name});
    expectExit(program, 1);
    EXPECT_EQ(program.err().rfind(kMessagePrefix, 0), 0u) << program.err();
}

}  // namespace
