// Helpers for the X11 display mode's tests: private X servers, host windows,
// pixels read back, the real program as a child process, and pictures.
#pragma once

#include <X11/Xlib.h>
#include <sys/types.h>

#include "support/child_process.h"
#include "support/png_writer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

using namespace std::chrono_literals;

// An X server of the test's own on the display number it reports itself:
// argv[0] started with argv[1..] plus -displayfd, and a connection to it. The
// test fails when it does not come up within five seconds. Ending the object
// kills the server and waits for it.
class XServer {
public:
    explicit XServer(std::vector<std::string> argv);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    std::string name;  // ":N"
    Display* display = nullptr;
    pid_t pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

// The command of an Xvfb with one screen (WxHxDEPTH) that outlives its clients.
std::vector<std::string> xvfb(const std::string& screen);

// The test program's Xvfb (1920 x 1080 x 24, -noreset), started once.
Display* testDisplay();
const std::string& testDisplayName();

// A mapped child of the root, drawn by the server in background; on the test
// display it is destroyed when the test ends.
Window makeHostWindow(Display* display, int x, int y, int width, int height, unsigned long background = 0x123456);

// A window's pixels.
Image capture(Display* display, Window window);

// The usual environment of a run on the test display.
std::vector<std::string> onTestDisplay(std::vector<std::string> env = {});
// Waits until window shows anything but the host colour at (x, y).
bool waitFirstFrame(Display* display, Window window, int x = 0, int y = 0);
// Sends signal (none when 0), then expects exit 0 within a few frames and no
// shared-memory segment of the program left.
void expectCleanEnd(Program& program, int signal = 15);

// Shared-memory segments created by pid that still exist.
int segmentsOf(pid_t pid);
