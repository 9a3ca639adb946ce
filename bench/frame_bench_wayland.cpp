// Measures the Wayland mode under a private headless sway at 1920 x 1080 with 30 balls: the
// first frame after exec (from the presentation time of the first output frame that shows it),
// then 10 s of running on one output and on two, and on one with whole frames: the program's
// CPU and the compositor's beside it, the ticks drawn and the resident memory.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_stats.h"
#include "saver/shm_buffers_wayland.h"
#include "screencopy-client.h"
#include "support/child_process.h"
#include "support/sway_test_support.h"

namespace {

constexpr int kStarts = 9;            // first-frame measurements, after one warm-up start
constexpr double kRunSeconds = 10.0;  // CPU, ticks and memory
const std::vector<std::string> kSaver{"--wayland", "--images", ZEPHYRINE_PICTURES_DIR, "--count", "30", "--seed",
                                      "1",         "--fps"};

double monotonicMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// CPU seconds (user + system) a process has used so far.
double cpuSeconds(pid_t pid)
{
    std::istringstream stat(readFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i == 14 || i == 15) {  // utime, stime (the command in field 2 has no spaces here)
            ticks += std::stod(field);
        }
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

double residentMiB(pid_t pid)
{
    std::istringstream status(readFile("/proc/" + std::to_string(pid) + "/status"));
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stod(line.substr(6)) / 1024.0;
        }
    }
    return 0;
}

// The output's frames with damage, copied one at a time. A connection's first copy comes at
// once (everything counts as damaged for it); the next one when the output next changes.
struct DamageWatch {
    wl_display* display = nullptr;
    zwlr_screencopy_manager_v1* manager = nullptr;
    wl_output* output = nullptr;
    wl_shm* shm = nullptr;
    SharedMemory memory;
    wl_buffer* buffer = nullptr;
    bool done = false;
    double shownMs = 0;  // the presentation time of the last copy, on CLOCK_MONOTONIC
};

void onGlobal(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    auto& w = *static_cast<DamageWatch*>(data);
    if (std::strcmp(interface, zwlr_screencopy_manager_v1_interface.name) == 0) {
        w.manager = static_cast<zwlr_screencopy_manager_v1*>(
            wl_registry_bind(registry, name, &zwlr_screencopy_manager_v1_interface, 2));
    } else if (std::strcmp(interface, wl_output_interface.name) == 0 && w.output == nullptr) {
        w.output = static_cast<wl_output*>(wl_registry_bind(registry, name, &wl_output_interface, 1));
    } else if (std::strcmp(interface, wl_shm_interface.name) == 0) {
        w.shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    }
}
void onGlobalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistry = {onGlobal, onGlobalRemove};

void onBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width, uint32_t height,
              uint32_t stride)
{
    auto& w = *static_cast<DamageWatch*>(data);
    if (w.buffer == nullptr && makeSharedMemory(w.memory, size_t(stride) * height)) {
        w.buffer = makeShmBuffer(w.shm, w.memory, 0, int32_t(width), int32_t(height), int32_t(stride), format);
    }
    zwlr_screencopy_frame_v1_copy_with_damage(frame, w.buffer);
}
void onFlags(void*, zwlr_screencopy_frame_v1*, uint32_t) {}
void onReady(void* data, zwlr_screencopy_frame_v1*, uint32_t secondsHigh, uint32_t secondsLow,
             uint32_t nanoseconds)
{
    auto& w = *static_cast<DamageWatch*>(data);
    w.done = true;
    w.shownMs = double((uint64_t(secondsHigh) << 32) | secondsLow) * 1e3 + nanoseconds / 1e6;
}
void onFailed(void* data, zwlr_screencopy_frame_v1*)
{
    static_cast<DamageWatch*>(data)->done = true;
}
void onDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
void onDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
void onBufferDone(void*, zwlr_screencopy_frame_v1*) {}
const zwlr_screencopy_frame_v1_listener kFrame = {onBuffer, onFlags,  onReady,     onFailed,
                                                  onDamage, onDmabuf, onBufferDone};

// Asks for the next copy with damage; with wait, waits for it.
zwlr_screencopy_frame_v1* askCopy(DamageWatch& w, bool wait)
{
    w.done = false;
    zwlr_screencopy_frame_v1* frame = zwlr_screencopy_manager_v1_capture_output(w.manager, 0, w.output);
    zwlr_screencopy_frame_v1_add_listener(frame, &kFrame, &w);
    wl_display_roundtrip(w.display);  // the buffer is offered and the copy asked for
    while (wait && !w.done && wl_display_dispatch(w.display) >= 0) {
    }
    return frame;
}

// Milliseconds from exec to the presentation of the program's first frame; -1 when none came.
double firstFrameMs(const Sway& sway)
{
    std::this_thread::sleep_for(200ms);  // the last run's surface has gone from the output
    DamageWatch w;
    w.display = wl_display_connect(sway.socket().c_str());
    if (w.display == nullptr) {
        return -1;
    }
    wl_registry* registry = wl_display_get_registry(w.display);
    wl_registry_add_listener(registry, &kRegistry, &w);
    wl_display_roundtrip(w.display);
    zwlr_screencopy_frame_v1_destroy(askCopy(w, true));
    zwlr_screencopy_frame_v1* frame = askCopy(w, false);
    const double execMs = monotonicMs();
    Program program(kSaver, sway.env());
    while (!w.done && wl_display_dispatch(w.display) >= 0) {
    }
    kill(program.pid(), SIGTERM);
    int status = 0;
    program.waitEnd(5s, &status);
    zwlr_screencopy_frame_v1_destroy(frame);
    if (w.buffer != nullptr) {
        wl_buffer_destroy(w.buffer);
    }
    releaseSharedMemory(w.memory);
    wl_display_disconnect(w.display);  // the globals go with the connection
    return w.shownMs > 0 ? w.shownMs - execMs : -1;
}

struct RunFigures {
    double programCpu = 0, compositorCpu = 0;  // percent of one core
    int ticks = 0, drawn = 0;
    double residentMiB = 0;
};

// The program on sway's outputs for kRunSeconds after one second of settling; with wholeFrames,
// composing and presenting every frame whole.
RunFigures runFor(const Sway& sway, bool wholeFrames = false)
{
    Program program(kSaver, sway.env(wholeFrames ? std::vector<std::string>{"ZEPHYRINE_WHOLE_FRAMES=1"}
                                                 : std::vector<std::string>{}));
    std::this_thread::sleep_for(1s);
    const size_t skip = program.err().size();  // the lines of the settling second
    const double program0 = cpuSeconds(program.pid()), sway0 = cpuSeconds(sway.pid()), start = monotonicMs();
    std::this_thread::sleep_for(std::chrono::milliseconds(int(kRunSeconds * 1000)));
    const double seconds = (monotonicMs() - start) / 1e3;
    RunFigures f;
    f.programCpu = (cpuSeconds(program.pid()) - program0) / seconds * 100;
    f.compositorCpu = (cpuSeconds(sway.pid()) - sway0) / seconds * 100;
    f.residentMiB = residentMiB(program.pid());
    kill(program.pid(), SIGTERM);
    int status = 0;
    program.waitEnd(5s, &status);
    std::istringstream lines(program.err().substr(skip));
    std::string line;
    while (std::getline(lines, line)) {
        int drawn = 0, ticks = 0;
        if (std::sscanf(line.c_str(), "zephyrine: %*f fps, %d of %d ticks drawn", &drawn, &ticks) == 2) {
            f.drawn += drawn;
            f.ticks += ticks;
        }
    }
    return f;
}

bool check(const char* what, double value, const char* unit, bool met, const char* target)
{
    std::printf("  %-34s %8.2f %-6s %s%s\n", what, value, unit, met ? "" : "NOT MET: ", target);
    return met;
}

}  // namespace

int main()
{
    bool met = true;
    {
        Sway sway("1920x1080");
        std::vector<double> starts;
        firstFrameMs(sway);  // warm-up: the program's pages in the cache
        for (int i = 0; i < kStarts; ++i) {
            starts.push_back(firstFrameMs(sway));
        }
        std::printf("Wayland mode, headless sway 1.7 (pixman), 1920 x 1080, 30 balls of 112 px\n\n");
        printSpreadHeader("exec to first frame (ms)");
        const Spread first = spreadOf(starts);
        printSpreadRow("first frame shown", first);
        std::printf("\n");
        met &= check("exec to first frame, median", first.median, "ms", first.median <= 60 && first.min > 0,
                     "<= 60 ms");
        const RunFigures whole = runFor(sway, true);
        const RunFigures one = runFor(sway);
        sway.addOutput("HEADLESS-2", "1920x1080", 1920);
        const RunFigures two = runFor(sway);
        const double drawn = one.ticks > 0 ? 100.0 * one.drawn / one.ticks : 0;
        std::printf("\n  over %.0f s                  one output   two outputs   one, whole frames\n",
                    kRunSeconds);
        std::printf("  program CPU (%% of a core)     %8.2f      %8.2f      %8.2f\n", one.programCpu,
                    two.programCpu, whole.programCpu);
        std::printf("  sway CPU (%% of a core)        %8.2f      %8.2f      %8.2f\n", one.compositorCpu,
                    two.compositorCpu, whole.compositorCpu);
        std::printf("  ticks drawn                 %5d/%-5d   %5d/%-5d   %5d/%-5d\n", one.drawn, one.ticks,
                    two.drawn, two.ticks, whole.drawn, whole.ticks);
        std::printf("  resident memory (MiB)         %8.2f      %8.2f      %8.2f\n\n", one.residentMiB,
                    two.residentMiB, whole.residentMiB);
        std::printf("  (a tick is drawn when every output drew)\n\n");
        met &= check("program CPU, one output", one.programCpu, "%", one.programCpu <= 2, "<= 2 % of a core");
        met &= check("ticks drawn, one output", drawn, "%", drawn >= 99, ">= 99 %");
        met &= check("resident memory, one output", one.residentMiB, "MiB", one.residentMiB <= 40, "<= 40 MiB");
        met &= check("program CPU, two outputs / one", one.programCpu > 0 ? two.programCpu / one.programCpu : 0,
                     "x", two.programCpu <= 2 * one.programCpu, "<= 2 x one output");
    }
    return met ? 0 : 1;
}
