// The real program and other tools as child processes (see child_process.h).
#include <gtest/gtest.h>

#include "support/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <thread>

extern char** environ;

std::vector<std::string> cleanEnvironment()
{
    const char* const placeVariables[] = {
        "DISPLAY=",        "XSCREENSAVER_WINDOW=", "WAYLAND_DISPLAY=",
        "WAYLAND_SOCKET=", "XDG_RUNTIME_DIR=",     "SWAYLOCK_PLUGIN_OUTPUT_NAME="};
    std::vector<std::string> result;
    for (char** e = environ; *e; ++e) {
        bool place = false;
        for (const char* variable : placeVariables) {
            place = place || std::strncmp(*e, variable, std::strlen(variable)) == 0;
        }
        if (!place) {
            result.push_back(*e);
        }
    }
    return result;
}

pid_t spawn(std::vector<std::string> argv, std::vector<std::string> envp, const std::string& errorPath)
{
    std::vector<char*> a, e;
    for (std::string& arg : argv) {
        a.push_back(arg.data());
    }
    for (std::string& variable : envp) {
        e.push_back(variable.data());
    }
    a.push_back(nullptr), e.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errorPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    const int failed = posix_spawnp(&pid, a[0], &actions, nullptr, a.data(), e.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(failed, 0) << "cannot start " << argv[0];
    return failed ? -1 : pid;
}

bool waitUntil(const std::function<bool()>& predicate, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!predicate()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

Program::Program(const std::vector<std::string>& args, const std::vector<std::string>& env,
                 const std::string& path)
{
    std::vector<std::string> argv{path};
    argv.insert(argv.end(), args.begin(), args.end());
    std::vector<std::string> envp = cleanEnvironment();
    envp.insert(envp.end(), env.begin(), env.end());
    pid_ = spawn(argv, envp, dir_.path + "/err");
}

Program::~Program()
{
    if (running()) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
    }
}

bool Program::running()
{
    return pid_ > 0 && status_ == -1 && waitpid(pid_, &status_, WNOHANG) == 0;
}

bool Program::waitEnd(std::chrono::milliseconds timeout, int* status)
{
    bool ended = waitUntil([&] { return !running(); }, timeout);
    *status = status_;
    return ended;
}

std::string Program::err() const
{
    return readFile(dir_.path + "/err");
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}
