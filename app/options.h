// Command line of the Linux display modes (X11, and Wayland with --wayland), in the hosts'
// conventions. Platform-free: it takes the arguments and the value of XSCREENSAVER_WINDOW and
// gives back a record, warnings and an error; it never prints and never exits. The entry turns
// the result into messages and exit codes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/settings.h"

enum class TargetKind { ownWindow, root, windowId };

struct Options {
    TargetKind target = TargetKind::ownWindow;
    // --window-id: the window; --root: the window of XSCREENSAVER_WINDOW, 0 for the root window.
    uint32_t windowId = 0;
    int32_t width = 1280;  // the own window's size
    int32_t height = 720;
    Settings display{};     // backgroundType, ballCount, opacityPercent, ballScale; no installPath
    std::string imagesDir;  // empty: the installed pictures
    bool wayland = false;   // --wayland: every output of the Wayland compositor instead of a window
    bool seedGiven = false;
    uint32_t seed = 0;
    bool showFps = false;
    bool showHelp = false;
    bool showVersion = false;
};

struct ParsedOptions {
    Options options;
    // Each a line without the program's name, for values that fell back to their default.
    std::vector<std::string> warnings;
    // Empty when the command line can be run; otherwise the reason, without the program's name.
    std::string error;
    // True when the error is a usage error, after which the usage text is shown.
    bool errorShowsUsage = false;
};

// Reads argv[1..argc-1]. One or two leading dashes; "--opt=value" and "--opt value". A --help or
// --version ends the reading there. screensaverWindow is XSCREENSAVER_WINDOW, nullptr when unset;
// it is read for --root only.
ParsedOptions parseOptions(int argc, const char* const* argv, const char* screensaverWindow);

// A window id in decimal or 0x hex, 1 to 0xFFFFFFFF, with nothing before or after it.
bool parseWindowId(const char* text, uint32_t& windowId);

// The usage: one line per option, from the same table the parser reads.
std::string usageText();
