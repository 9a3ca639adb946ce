// Helpers for the X11 display mode's tests (see x11_test_support.h).
// GoogleTest first: Xlib defines macros (None, Bool) that its headers use as names.
#include <gtest/gtest.h>

#include "support/x11_test_support.h"

#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

extern char** environ;

namespace {

// Errors from windows that a test or the program destroyed are expected.
int ignoreXError(Display*, XErrorEvent*)
{
    return 0;
}

std::unique_ptr<XServer> sharedServer;
std::vector<Window> hostWindows;  // on the shared server

// After each test the shared server is as new: no host windows, a black root.
class HostWindowSweeper : public ::testing::EmptyTestEventListener {
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        Display* display = testDisplay();
        for (Window window : hostWindows) {
            XDestroyWindow(display, window);
        }
        hostWindows.clear();
        XSetWindowBackground(display, DefaultRootWindow(display), BlackPixel(display, 0));
        XClearWindow(display, DefaultRootWindow(display));
        XSync(display, False);
    }
};

class XvfbEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        XSetErrorHandler(ignoreXError);
        sharedServer = std::make_unique<XServer>(xvfb("1920x1080x24"));
        ::testing::UnitTest::GetInstance()->listeners().Append(new HostWindowSweeper);
    }
    void TearDown() override { sharedServer.reset(); }
};
::testing::Environment* const environment = ::testing::AddGlobalTestEnvironment(new XvfbEnvironment);

}  // namespace

XServer::XServer(std::vector<std::string> argv)
{
    int fds[2];
    if (pipe(fds) != 0) {
        ADD_FAILURE() << "pipe failed";
        return;
    }
    fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    argv.push_back("-displayfd");
    argv.push_back(std::to_string(fds[1]));
    pid_ = spawn(argv, cleanEnvironment(), "/dev/null");
    close(fds[1]);
    std::string number;
    pollfd readable{fds[0], POLLIN, 0};
    char c = 0;
    while (pid_ > 0 && poll(&readable, 1, 5000) == 1 && read(fds[0], &c, 1) == 1 && c != '\n') {
        number += c;
    }
    close(fds[0]);
    if (number.empty()) {
        ADD_FAILURE() << argv[0] << " did not report a display within 5 s";
        return;
    }
    name = ":" + number;
    waitUntil([&] { return (display = XOpenDisplay(name.c_str())) != nullptr; }, 5s);
    EXPECT_NE(display, nullptr) << "cannot connect to " << argv[0] << " on " << name;
}

XServer::~XServer()
{
    if (display) {
        XCloseDisplay(display);
    }
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        waitpid(pid_, nullptr, 0);
    }
}

std::vector<std::string> xvfb(const std::string& screen)
{
    return {"Xvfb", "-screen", "0", screen, "-nolisten", "tcp", "-noreset"};
}

Display* testDisplay()
{
    return sharedServer->display;
}
const std::string& testDisplayName()
{
    return sharedServer->name;
}

Window makeHostWindow(Display* display, int x, int y, int width, int height, unsigned long background)
{
    Window window =
        XCreateSimpleWindow(display, DefaultRootWindow(display), x, y, width, height, 0, 0, background);
    XSetWindowAttributes attributes;
    attributes.override_redirect = True;
    XChangeWindowAttributes(display, window, CWOverrideRedirect, &attributes);
    XMapWindow(display, window);
    XSync(display, False);
    if (sharedServer && display == sharedServer->display) {
        hostWindows.push_back(window);
    }
    return window;
}

Image capture(Display* display, Window window)
{
    Image image;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, window, &attributes)) {
        return image;
    }
    XImage* x = XGetImage(display, window, 0, 0, attributes.width, attributes.height, AllPlanes, ZPixmap);
    if (!x) {
        return image;
    }
    image.width = x->width;
    image.height = x->height;
    image.pixels.resize(size_t(x->width) * x->height);
    // x8r8g8b8 in host order is read directly: XGetPixel is slow under the sanitizers.
    const uint32_t one = 1;
    const bool hostIsLsbFirst = *reinterpret_cast<const unsigned char*>(&one) == 1;
    const bool direct = x->bits_per_pixel == 32 && (x->byte_order == LSBFirst) == hostIsLsbFirst &&
                        x->red_mask == 0xFF0000 && x->green_mask == 0xFF00 && x->blue_mask == 0xFF;
    for (int y = 0; y < x->height; ++y) {
        const auto* row = reinterpret_cast<const uint32_t*>(x->data + size_t(y) * x->bytes_per_line);
        for (int i = 0; i < x->width; ++i) {
            image.pixels[size_t(y) * x->width + i] = (direct ? row[i] : uint32_t(XGetPixel(x, i, y))) & 0xFFFFFF;
        }
    }
    XDestroyImage(x);
    return image;
}

std::vector<std::string> onTestDisplay(std::vector<std::string> env)
{
    env.push_back("DISPLAY=" + testDisplayName());
    return env;
}

bool waitFirstFrame(Display* display, Window window, int x, int y)
{
    return waitUntil(
        [&] {
            XImage* image = XGetImage(display, window, x, y, 1, 1, AllPlanes, ZPixmap);
            bool drawn = image && (XGetPixel(image, 0, 0) & 0xFFFFFF) != 0x123456;
            if (image) {
                XDestroyImage(image);
            }
            return drawn;
        },
        5s);
}

void expectCleanEnd(Program& program, int signal)
{
    // Within one 30 ms frame, plus room for the exit itself: ends measured 2-60 ms here, the
    // sanitized build's exit checks and a machine shared by several builds included.
    constexpr auto kEndWithin = 150ms;
    if (signal) {
        kill(program.pid(), signal);
    }
    int status = 0;
    EXPECT_TRUE(program.waitEnd(kEndWithin, &status))
        << "still running " << kEndWithin.count() << " ms after signal " << signal;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "wait status " << status << "\n"
                                                               << program.err();
    EXPECT_TRUE(waitUntil([&] { return segmentsOf(program.pid()) == 0; }, 1s)) << "shared memory left behind";
}

int segmentsOf(pid_t pid)
{
    // Columns: key shmid perms size cpid ...
    std::istringstream table(readFile("/proc/sysvipc/shm"));
    std::string line;
    std::getline(table, line);
    int count = 0;
    while (std::getline(table, line)) {
        std::istringstream row(line);
        long key, id, perms, size, creator = 0;
        row >> key >> id >> perms >> size >> creator;
        count += creator == pid;
    }
    return count;
}
