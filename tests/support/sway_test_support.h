// Helpers for the Wayland mode's tests: a fresh headless sway of each test's own (run as
// nobody, with its own runtime folder), its outputs captured with grim, keys typed with wtype,
// a virtual pointer, and a bare compositor that offers no globals at all.
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "support/child_process.h"
#include "support/png_writer.h"

struct wl_display;

// Debian's sway on the headless backend with the pixman renderer and no input devices, one
// output HEADLESS-1 of firstOutput ("WIDTHxHEIGHT"); with a background colour ("#RRGGBB") its
// desktop shows that colour (drawn by swaybg). The test fails when it does not come up within
// five seconds. Ending the object ends sway and removes its folder.
class Sway {
public:
    explicit Sway(const std::string& firstOutput = "1920x1080", const std::string& background = "");
    ~Sway();
    Sway(const Sway&) = delete;
    Sway& operator=(const Sway&) = delete;

    // XDG_RUNTIME_DIR and WAYLAND_DISPLAY of this sway, then more.
    std::vector<std::string> env(std::vector<std::string> more = {}) const;
    // The path of its socket.
    std::string socket() const { return folder_.path + "/" + display_; }
    // The names in its runtime folder.
    std::vector<std::string> runtimeFiles() const;
    // Adds an output HEADLESS-N of mode ("WIDTHxHEIGHT") at (x, 0).
    void addOutput(const std::string& name, const std::string& mode, int x);
    // One output's pixels (all of them when output is empty), through grim -t ppm.
    Image capture(const std::string& output = "") const;
    // Waits until (x, y) of output shows colour (0xRRGGBB, within 2 levels).
    bool waitForColour(const std::string& output, int x, int y, uint32_t colour) const;
    // Runs a command of the sway tools (swaymsg, grim, wtype, ...) against this sway and waits
    // for it; true when it exited with 0.
    bool run(const std::string& tool, const std::vector<std::string>& args) const;
    // Ends sway now, as a compositor that crashed.
    void kill();
    pid_t pid() const { return sway_->pid(); }

private:
    TempDir folder_;
    std::string display_;
    std::unique_ptr<Program> sway_;
};

// A pointer of the test's own on sway's seat (zwlr_virtual_pointer_v1).
class VirtualPointer {
public:
    explicit VirtualPointer(const Sway& sway);
    ~VirtualPointer();
    // Moves the pointer to (x, y) of a layout of width x height and waits until sway has it.
    void moveTo(int x, int y, int width = 1920, int height = 1080);

private:
    wl_display* display_ = nullptr;
    void* manager_ = nullptr;
    void* pointer_ = nullptr;
};

// A Wayland compositor that offers no global: clients connect and find nothing to bind.
class BareCompositor {
public:
    BareCompositor();
    ~BareCompositor();
    std::vector<std::string> env() const;  // XDG_RUNTIME_DIR and WAYLAND_DISPLAY to reach it

private:
    TempDir folder_;
    void* display_ = nullptr;
    std::thread loop_;
};
