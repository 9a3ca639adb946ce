// The real program and other tools as child processes of a test: started with an environment of
// the test's choosing, waited for with a time limit, their standard error kept.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "support/png_writer.h"

using namespace std::chrono_literals;

// The test's environment without the variables that tell the program where to draw (DISPLAY,
// XSCREENSAVER_WINDOW, WAYLAND_DISPLAY, WAYLAND_SOCKET, XDG_RUNTIME_DIR,
// SWAYLOCK_PLUGIN_OUTPUT_NAME).
std::vector<std::string> cleanEnvironment();

// argv[0], looked up in PATH, with envp; standard output discarded, standard error to errorPath.
pid_t spawn(std::vector<std::string> argv, std::vector<std::string> envp, const std::string& errorPath);

bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout);

// A child process, its standard error going to a file.
class Program {
public:
    // Runs path (by default the program under test) with args and the clean environment plus
    // env ("NAME=value" entries).
    Program(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& path = ZEPHYRINE_X11_PROGRAM);
    ~Program();  // kills it if it still runs
    pid_t pid() const { return pid_; }
    bool running();
    // Waits for the end; true with the wait status in *status when it came in time.
    bool waitEnd(std::chrono::milliseconds timeout, int* status);
    std::string err() const;

private:
    TempDir dir_;  // holds the file of standard error
    pid_t pid_ = -1;
    int status_ = -1;
};

std::string readFile(const std::string& path);
