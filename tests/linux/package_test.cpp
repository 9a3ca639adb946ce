// The program of the Debian package, unpacked from the .deb file: on a window of the test's own,
// and started by the real xscreensaver daemon over the daemon's copy of a known desktop.
// GoogleTest first: Xlib defines macros (None, Bool) that its headers use as names.
#include <gtest/gtest.h>

#include "support/x11_test_support.h"

#include <X11/Xatom.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kRed = 0xFF0000, kBlue = 0x0000FF, kWhite = 0xFFFFFF;

// The package unpacked once, readable by every user (the daemon runs as nobody).
struct Unpacked {
    TempDir dir;
    std::string program, pictures;
};
const Unpacked& unpacked()
{
    static const std::unique_ptr<Unpacked> tree = [] {
        auto t = std::make_unique<Unpacked>();
        chmod(t->dir.path.c_str(), 0755);
        const std::string command = "dpkg-deb -x " ZEPHYRINE_DEB " " + t->dir.path;
        EXPECT_EQ(std::system(command.c_str()), 0) << command;
        t->program = t->dir.path + "/usr/libexec/xscreensaver/zephyrine";
        t->pictures = t->dir.path + "/usr/share/zephyrine";
        return t;
    }();
    return *tree;
}

int countNear(const Image& image, uint32_t colour)
{
    int n = 0;
    for (uint32_t p : image.pixels) n += near(p, colour);
    return n;
}

// Runs a helper program to its end; true when it exits with 0.
bool run(const std::string& path, const std::vector<std::string>& args)
{
    Program program(args, onTestDisplay(), path);
    int status = 0;
    return program.waitEnd(5s, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// A process that has not ended (a zombie has).
bool alive(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t end = stat.rfind(')');
    return end != std::string::npos && end + 2 < stat.size() && stat[end + 2] != 'Z';
}

// The process named name below ancestor, 0 when there is none.
pid_t descendantNamed(pid_t ancestor, const std::string& name)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0 || readFile(entry.path() / "comm") != name + "\n") continue;
        for (pid_t p = pid; p > 1;) {
            const std::string stat = readFile("/proc/" + std::to_string(p) + "/stat");
            const size_t end = stat.rfind(')');
            if (end == std::string::npos) break;
            p = std::atoi(stat.c_str() + end + 4);  // ") S <ppid>"
            if (p == ancestor) return pid;
        }
    }
    return 0;
}

// One entry of a process's NUL-separated environment, "" when absent.
std::string environmentOf(pid_t pid, const std::string& name)
{
    const std::string all = readFile("/proc/" + std::to_string(pid) + "/environ");
    for (size_t at = 0; at < all.size(); at = all.find('\0', at) + 1) {
        if (all.compare(at, name.size() + 1, name + "=") == 0) return all.substr(at + name.size() + 1).c_str();
        if (all.find('\0', at) == std::string::npos) break;
    }
    return "";
}

TEST(PackageTest, UnpackedProgramDrawsBallsWithTheTreesPictures)
{
    Display* display = testDisplay();
    const Window host = makeHostWindow(display, 0, 0, 320, 240);
    Program program({"--window-id", std::to_string(host), "--background", "white", "--images", unpacked().pictures},
                    onTestDisplay(), unpacked().program);
    ASSERT_TRUE(waitFirstFrame(display, host)) << program.err();
    const Image frame = capture(display, host);
    const int white = countNear(frame, kWhite);
    EXPECT_GT(white, 320 * 240 / 2) << "the white background";
    EXPECT_GT(320 * 240 - white, 1000) << "balls on it";
    XDestroyWindow(display, host);
}

TEST(PackageTest, XscreensaverDaemonRunsItOverItsCopyOfTheDesktop)
{
    Display* display = testDisplay();
    const Window root = DefaultRootWindow(display);
    const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0);
    // The known desktop: the root's background, left half red, right half blue.
    const Pixmap desktop = XCreatePixmap(display, root, width, height, DefaultDepth(display, 0));
    const GC gc = XCreateGC(display, desktop, 0, nullptr);
    XSetForeground(display, gc, kRed);
    XFillRectangle(display, desktop, gc, 0, 0, width / 2, height);
    XSetForeground(display, gc, kBlue);
    XFillRectangle(display, desktop, gc, width / 2, 0, width - width / 2, height);
    XSetWindowBackgroundPixmap(display, root, desktop);
    XClearWindow(display, root);
    XFreeGC(display, gc);
    XFreePixmap(display, desktop);
    XSync(display, False);

    TempDir home;
    writeFile(home.path + "/.xscreensaver",
              "mode: one\nselected: 0\nlock: False\nfade: False\nunfade: False\nsplash: False\n"
              "grabDesktopImages: True\nprograms: " + unpacked().program + " --root --images " +
                  unpacked().pictures + " \\n\n");
    // The daemon launches no display mode as root: run it as nobody then.
    std::unique_ptr<Program> daemon;
    if (geteuid() == 0) {
        chmod(home.path.c_str(), 0755);
        ASSERT_EQ(chown(home.path.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown((home.path + "/.xscreensaver").c_str(), 65534, 65534), 0);
        daemon = std::make_unique<Program>(
            std::vector<std::string>{"--reuid=65534", "--regid=65534", "--clear-groups", "env", "HOME=" + home.path,
                                     "xscreensaver", "-no-splash"},
            onTestDisplay(), "setpriv");
    } else {
        daemon = std::make_unique<Program>(std::vector<std::string>{"HOME=" + home.path, "xscreensaver", "-no-splash"},
                                           onTestDisplay(), "env");
    }
    ASSERT_TRUE(waitUntil([] {
        std::this_thread::sleep_for(100ms);
        return run("xscreensaver-command", {"-time"});
    }, 10s)) << daemon->err();
    ASSERT_TRUE(run("xscreensaver-command", {"-activate"}));

    // The daemon's child once it has become the program (its command line read after the exec).
    pid_t saver = 0;
    ASSERT_TRUE(waitUntil([&] {
        saver = descendantNamed(daemon->pid(), "zephyrine");
        return saver != 0 && readFile("/proc/" + std::to_string(saver) + "/cmdline").find('\0') + 1 <
                                 readFile("/proc/" + std::to_string(saver) + "/cmdline").size();
    }, 5s)) << "the daemon did not start the program\n" << daemon->err();
    EXPECT_NE(readFile("/proc/" + std::to_string(saver) + "/cmdline").find(std::string("\0--root\0", 8)),
              std::string::npos);
    // Its window: the daemon's full-screen window that carries the daemon's copy of the screen.
    const Window window = std::strtoul(environmentOf(saver, "XSCREENSAVER_WINDOW").c_str(), nullptr, 0);
    XWindowAttributes attributes{};
    ASSERT_TRUE(window != 0 && XGetWindowAttributes(display, window, &attributes));
    EXPECT_EQ(attributes.width, width);
    EXPECT_EQ(attributes.height, height);
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, window, XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False), 0, 1, False,
                       XA_PIXMAP, &type, &format, &items, &after, &data);
    EXPECT_EQ(items, 1u) << "no _SCREENSAVER_SCREENSHOT on the daemon's window";
    XFree(data);

    // Balls over the desktop's two colours (the window is black until the first frame), moving.
    Image first;
    int red = 0, blue = 0, balls = 0;
    waitUntil([&] {
        first = capture(display, root);
        red = countNear(first, kRed);
        blue = countNear(first, kBlue);
        balls = width * height - red - blue;
        return red > width * height / 4 && blue > width * height / 4 && balls > 1000;
    }, 5s);
    EXPECT_GT(red, width * height / 4) << "the desktop's left half between the balls";
    EXPECT_GT(blue, width * height / 4) << "the desktop's right half between the balls";
    EXPECT_GT(balls, 1000) << "balls on the desktop";
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(capture(display, root).pixels, first.pixels) << "the balls did not move";
    EXPECT_GT(segmentsOf(saver), 0) << "frames shown without shared memory";

    // -deactivate ends it within a second, leaving no shared-memory segment.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(run("xscreensaver-command", {"-deactivate"}));
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(1s - (std::chrono::steady_clock::now() - asked));
    EXPECT_TRUE(waitUntil([&] { return !alive(saver); }, left))
        << "still running a second after -deactivate";
    EXPECT_EQ(segmentsOf(saver), 0) << "shared memory left behind";

    kill(daemon->pid(), SIGTERM);
    int status = 0;
    daemon->waitEnd(5s, &status);
}

}  // namespace
