// Start-up: the time from CreateProcess to the real saver's first frame on
// the screen, beside a bare process of Wine and the saver's start-up without
// a window.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/bench_win.h"
#include "bench/saver_run_win.h"

namespace bench {

namespace {

// Runs commandLine to its end; the time from CreateProcess to the end, or -1
// when it did not end within 5 s (it is then terminated).
double timeToExit(std::wstring commandLine, DWORD* exitCode)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = nowMs();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process))
        return -1;
    double elapsed = -1;
    if (WaitForSingleObject(process.hProcess, 5000) == WAIT_OBJECT_0)
        elapsed = nowMs() - start;
    else
        TerminateProcess(process.hProcess, 99);
    GetExitCodeProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return elapsed;
}

}  // namespace

bool measureStartup(const std::wstring& program, ScreenProbe& probe)
{
    std::printf("\n== Start-up of Zephyrine.scr /s at %dx%d with %d balls (warm Wine; %d starts "
                "after one warm-up start)\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kBallCount, options.startupRuns);
    if (!waitForDesktop(probe)) {
        std::printf("the known desktop does not show on the screen; no measurement\n");
        return false;
    }
    // Beside each start of the saver: this program started only to end at
    // once (Wine's own cost of a process), and the saver's start-up sequence
    // without a window (/a without a host window ends with exit code 1 right
    // after the pictures are loaded).
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    const std::wstring bareLine = L"\"" + std::wstring(self) + L"\" --exit-at-once";
    const std::wstring noWindowLine = L"\"" + program + L"\" /a";
    std::vector<double> bareTimes, noWindowTimes, windowTimes, frameTimes;
    int failures = 0;
    for (int run = 0; run <= options.startupRuns; ++run) {
        DWORD bareExit = 1, noWindowExit = 0;
        const double bare = timeToExit(bareLine, &bareExit);
        const double noWindow = timeToExit(noWindowLine, &noWindowExit);
        SaverRun saver = startSaver(program, probe, 5000);
        bool ended = false;
        const DWORD exitCode = stopSaver(saver, &ended);
        const bool ok = saver.firstFrameMs >= 0 && ended && exitCode == 0 && bare >= 0 && bareExit == 0 &&
                        noWindow >= 0 && noWindowExit == 1;
        if (run > 0 && ok) {
            bareTimes.push_back(bare);
            noWindowTimes.push_back(noWindow);
            windowTimes.push_back(saver.windowMs);
            frameTimes.push_back(saver.firstFrameMs);
        }
        if (!ok) {
            ++failures;
            std::printf("start %d: bare %.1f ms (exit %lu), /a %.1f ms (exit %lu), window %.1f ms, "
                        "first frame %.1f ms, %s, exit code %lu\n",
                        run, bare, bareExit, noWindow, noWindowExit, saver.windowMs, saver.firstFrameMs,
                        ended ? "ended" : "terminated", exitCode);
        }
        if (!waitForDesktop(probe)) {
            std::printf("the desktop did not come back after start %d\n", run);
            break;
        }
    }
    printSpreadHeader("ms from CreateProcess");
    printSpreadRow("bare process to its end", spreadOf(bareTimes));
    printSpreadRow("/a without host to its end", spreadOf(noWindowTimes));
    printSpreadRow("/s: saver window exists", spreadOf(windowTimes));
    const Spread firstFrames = spreadOf(frameTimes);
    printSpreadRow("/s: first frame on the screen", firstFrames);
    if (!frameTimes.empty()) results.firstFrameMs = firstFrames.median;
    if (failures) std::printf("%d start(s) failed and are not counted\n", failures);
    return true;
}

}  // namespace bench
