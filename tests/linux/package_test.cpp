// The program of the Debian package, unpacked from the .deb file: on a window of the test's own,
// and started by the real xscreensaver daemon over the daemon's copy of a known desktop.
// GoogleTest first: Xlib defines macros (None, Bool) that its headers use as names.
#include <gtest/gtest.h>

#include "support/png_writer.h"
#include "support/x11_test_support.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

namespace {

// The package unpacked into a folder every user can read (the daemon runs as nobody).
struct Unpacked {
    TempDir dir;
    std::string program = dir.path + "/usr/libexec/xscreensaver/zephyrine";
    std::string pictures = dir.path + "/usr/share/zephyrine";
    Unpacked()
    {
        chmod(dir.path.c_str(), 0755);
        EXPECT_EQ(std::system(("dpkg-deb -x " ZEPHYRINE_DEB " " + dir.path).c_str()), 0);
    }
};

int countNear(const Image& image, uint32_t colour)
{
    int n = 0;
    for (uint32_t p : image.pixels) n += near(p, colour);
    return n;
}

bool runs(const std::string& path, const std::vector<std::string>& args)
{
    Program program(args, onTestDisplay(), path);
    int status = 0;
    return program.waitEnd(5s, &status) && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The second field after the name in /proc/<pid>/stat: 0 when the process is gone.
int statField(pid_t pid, int field)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    std::istringstream rest(stat.substr(std::min(stat.rfind(')') + 1, stat.size())));
    std::string value;
    for (int i = 0; i < field; ++i) rest >> value;
    return field == 1 ? value[0] : std::atoi(value.c_str());
}

// The process named zephyrine below ancestor, 0 while there is none.
pid_t saverBelow(pid_t ancestor)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const pid_t pid = std::atoi(entry.path().filename().c_str());
        if (pid <= 0 || readFile(entry.path() / "comm") != "zephyrine\n") continue;
        for (pid_t p = pid; p > 1; p = statField(p, 2))
            if (p == ancestor) return pid;
    }
    return 0;
}

TEST(PackageTest, UnpackedProgramDrawsBallsWithTheTreesPictures)
{
    const Unpacked tree;
    const Window host = makeHostWindow(testDisplay(), 0, 0, 320, 240);
    Program program({"--window-id", std::to_string(host), "--background", "white", "--images", tree.pictures},
                    onTestDisplay(), tree.program);
    ASSERT_TRUE(waitFirstFrame(testDisplay(), host)) << program.err();
    const int white = countNear(capture(testDisplay(), host), 0xFFFFFF);
    EXPECT_GT(white, 320 * 240 / 2) << "the white background";
    EXPECT_LT(white, 320 * 240 - 1000) << "balls on it";
}

TEST(PackageTest, XscreensaverDaemonRunsItOverItsCopyOfTheDesktop)
{
    const Unpacked tree;
    Display* display = testDisplay();
    const Window root = DefaultRootWindow(display);
    const int width = DisplayWidth(display, 0), height = DisplayHeight(display, 0), quarter = width * height / 4;
    // The known desktop: the root's background, left half red, right half blue.
    const Pixmap desktop = XCreatePixmap(display, root, width, height, DefaultDepth(display, 0));
    const GC gc = XCreateGC(display, desktop, 0, nullptr);
    XSetForeground(display, gc, 0xFF0000);
    XFillRectangle(display, desktop, gc, 0, 0, width / 2, height);
    XSetForeground(display, gc, 0x0000FF);
    XFillRectangle(display, desktop, gc, width / 2, 0, width - width / 2, height);
    XSetWindowBackgroundPixmap(display, root, desktop);
    XClearWindow(display, root);
    XFreeGC(display, gc);
    XFreePixmap(display, desktop);
    XSync(display, False);

    TempDir home;
    const std::string settings = "mode: one\nselected: 0\nlock: False\nfade: False\nsplash: False\n"
                                 "grabDesktopImages: True\nprograms: " +
                                 tree.program + " --root --images " + tree.pictures + " \\n\n";
    ASSERT_TRUE(writeFile(home.path + "/.xscreensaver", Bytes(settings.begin(), settings.end())));
    // The daemon launches no display mode as root: run it as nobody then.
    std::vector<std::string> daemonArgs{"HOME=" + home.path, "xscreensaver", "-no-splash"};
    if (geteuid() == 0) {
        chmod(home.path.c_str(), 0755);
        ASSERT_EQ(
            chown(home.path.c_str(), 65534, 65534) | chown((home.path + "/.xscreensaver").c_str(), 65534, 65534),
            0);
        daemonArgs.insert(daemonArgs.begin(), {"--reuid=65534", "--regid=65534", "--clear-groups", "env"});
    }
    Program daemon(daemonArgs, onTestDisplay(), geteuid() == 0 ? "setpriv" : "env");
    ASSERT_TRUE(waitUntil(
        [] {
            std::this_thread::sleep_for(100ms);
            return runs("xscreensaver-command", {"-time"});
        },
        10s))
        << daemon.err();
    ASSERT_TRUE(runs("xscreensaver-command", {"-activate"}));
    pid_t saver = 0;
    ASSERT_TRUE(waitUntil([&] { return (saver = saverBelow(daemon.pid())) != 0; }, 5s)) << daemon.err();

    // The daemon's window covers the screen: what shows is the program's frame. It is black until
    // the first one; then balls over the daemon's copy of the desktop, moving, shown through MIT-SHM.
    Image first;
    int red = 0, blue = 0;
    waitUntil(
        [&] {
            first = capture(display, root);
            red = countNear(first, 0xFF0000);
            blue = countNear(first, 0x0000FF);
            return red > quarter && blue > quarter && red + blue < width * height - 1000;
        },
        5s);
    EXPECT_GT(red, quarter) << "the desktop's left half between the balls";
    EXPECT_GT(blue, quarter) << "the desktop's right half between the balls";
    EXPECT_LT(red + blue, width * height - 1000) << "balls over the desktop";
    std::this_thread::sleep_for(300ms);
    EXPECT_NE(capture(display, root).pixels, first.pixels) << "the balls did not move";
    EXPECT_GT(segmentsOf(saver), 0);

    // -deactivate ends it within a second, leaving no shared-memory segment.
    const auto asked = std::chrono::steady_clock::now();
    EXPECT_TRUE(runs("xscreensaver-command", {"-deactivate"}));
    waitUntil([&] { return statField(saver, 1) == 0 || statField(saver, 1) == 'Z'; }, 2s);
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 1s) << "still running a second after -deactivate";
    EXPECT_EQ(segmentsOf(saver), 0) << "shared memory left behind";

    kill(daemon.pid(), SIGTERM);
    int status = 0;
    daemon.waitEnd(5s, &status);
}

}  // namespace
