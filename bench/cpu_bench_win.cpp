// CPU use: user plus kernel time of all threads of the running real saver
// over a stretch of full-screen running.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>

#include "bench/bench_win.h"
#include "bench/saver_run_win.h"

namespace bench {

namespace {

double fileTimeMs(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) / 10000.0;
}

// User plus kernel time of every thread of a process, in milliseconds, and
// the number of threads. Wine's GetProcessTimes gives nothing for another
// process, while GetThreadTimes reads any thread's times from the system.
double cpuMs(DWORD processId, int* threadCount)
{
    *threadCount = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return -1;
    double total = 0;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId) continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        if (!thread) continue;
        FILETIME created, exited, kernel, user;
        if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) {
            total += fileTimeMs(kernel) + fileTimeMs(user);
            ++*threadCount;
        }
        CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return total;
}

}  // namespace

void measureCpu(const std::wstring& program, ScreenProbe& probe)
{
    std::printf("\n== CPU use of Zephyrine.scr /s at %dx%d with %d balls, after 1 s of running\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kBallCount);
    SaverRun saver = startSaver(program, probe, 5000);
    if (saver.firstFrameMs < 0) {
        std::printf("the saver showed no frame; no measurement\n");
        bool ended;
        stopSaver(saver, &ended);
        return;
    }
    pumpFor(1000);
    const double wallStart = nowMs();
    int threads = 0, ownThreads = 0;
    const double cpuStart = cpuMs(saver.process.dwProcessId, &threads);
    const double ownStart = cpuMs(GetCurrentProcessId(), &ownThreads);
    pumpFor(options.cpuSeconds * 1000);
    const double wall = nowMs() - wallStart;
    const double cpu = cpuMs(saver.process.dwProcessId, &threads) - cpuStart;
    const double own = cpuMs(GetCurrentProcessId(), &ownThreads) - ownStart;
    const bool stillRunning = WaitForSingleObject(saver.process.hProcess, 0) == WAIT_TIMEOUT;
    bool ended = false;
    const DWORD exitCode = stopSaver(saver, &ended);
    if (stillRunning && cpu >= 0) results.cpuPercent = 100 * cpu / wall;
    std::printf("over %.1f s: %.0f ms of CPU in %d threads, %.1f %% of one core (bench process "
                "meanwhile: %.1f %%); saver %s, then %s with exit code %lu\n",
                wall / 1000, cpu, threads, 100 * cpu / wall, 100 * own / wall,
                stillRunning ? "ran throughout" : "HAD ENDED", ended ? "ended by a key" : "terminated", exitCode);
    std::fflush(stdout);
}

}  // namespace bench
