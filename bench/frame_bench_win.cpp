// Measures the saver under Wine: the cost of composeFrame against the bare GDI
// and GDI+ calls a frame makes, the pacing of the real saver window, and the
// start-up time and CPU use of the real Zephyrine.scr. This file sets the run
// up, runs the measurements in turn and prints the targets.
#include <windows.h>
#include <gdiplus.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/startup_state_win.h"
#include "bench/bench_win.h"
#include "bench/saver_run_win.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "settings/settings.h"

using namespace bench;

namespace {

const char kDesktopClass[] = "ZephyrineBenchDesktop";

std::wstring distDirectory()
{
    wchar_t module[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, module, MAX_PATH);
    std::wstring path(module, length);
    path = path.substr(0, path.find_last_of(L"\\/")) + L"\\..\\dist";
    wchar_t full[MAX_PATH];
    GetFullPathNameW(path.c_str(), MAX_PATH, full, nullptr);
    return full;
}

LRESULT CALLBACK desktopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

// A full-screen window of one known colour under everything the bench shows,
// so that the screen holds a desktop whose every pixel is known.
HWND showKnownDesktop(HINSTANCE instance)
{
    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = desktopWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = CreateSolidBrush(RGB(kDesktopRed, kDesktopGreen, kDesktopBlue));
    windowClass.lpszClassName = kDesktopClass;
    RegisterClassExA(&windowClass);
    HWND window = CreateWindowExA(0, kDesktopClass, "desktop", WS_POPUP | WS_VISIBLE, 0, 0,
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                  instance, nullptr);
    UpdateWindow(window);
    return window;
}

// Start-up and CPU use of the real program, with the dist folder as its
// "Install path" and 30 balls (both put back afterwards).
void measureProgram(const std::wstring& dist)
{
    const std::wstring program = dist + L"\\Zephyrine.scr";
    RegistryValue installPath(HKEY_LOCAL_MACHINE, L"Install path");
    RegistryValue ballCount(HKEY_CURRENT_USER, L"Number of balls");
    const DWORD thirty = kBallCount;
    if (!installPath.write(REG_SZ, dist.c_str(), static_cast<DWORD>((dist.size() + 1) * sizeof(wchar_t))) ||
        !ballCount.write(REG_DWORD, &thirty, sizeof thirty)) {
        std::printf("\ncould not write the settings to the registry\n");
        return;
    }

    ScreenProbe probe;
    if (!measureStartup(program, probe)) return;
    measureCpu(program, probe);
}

void printTarget(const char* name, double value, const char* unit, bool met)
{
    if (value < 0)
        std::printf("%-44s not measured\n", name);
    else
        std::printf("%-44s %9.3f %-6s %s\n", name, value, unit, met ? "met" : "MISSED");
}

void printTargets()
{
    std::printf("\n== Targets\n");
    printTarget("composeFrame / bare frame (worst, <= 1.05)", results.worstRatio, "",
                results.worstRatio <= 1.05 && results.allSamePixels);
    printTarget("ticks painted (>= 99 %)", results.paintedShare, "%", results.paintedShare >= 99);
    printTarget("first frame after process start (<= 300 ms)", results.firstFrameMs, "ms",
                results.firstFrameMs <= 300);
    printTarget("CPU of the running saver (<= 35 % of a core)", results.cpuPercent, "%", results.cpuPercent <= 35);
    std::fflush(stdout);
}

bool parseOptions(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--exit-at-once") {
            std::exit(0);
        } else if (arg == "--quick") {
            options.rounds = 5;
            options.warmUpRounds = 1;
            options.pacingSeconds = 2;
            options.startupRuns = 2;
            options.cpuSeconds = 2;
        } else {
            std::printf("usage: frame_bench [--quick]\n");
            return false;
        }
    }
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    if (!parseOptions(argc, argv)) return 2;
    HINSTANCE instance = GetModuleHandleA(nullptr);
    startupState.instance = instance;
    loadDisplayStrings(instance);
    const std::wstring dist = distDirectory();
    lstrcpynW(settings.installPath, dist.c_str(), kInstallPathUnits);
    useSettings(75, kBackgroundDesktop);

    Gdiplus::GdiplusStartupInput input;
    if (Gdiplus::GdiplusStartup(&startupState.gdiplusToken, &input, nullptr) != Gdiplus::Ok) {
        std::printf("GDI+ did not start\n");
        return 1;
    }
    // Pictures and thumbnails as the saver makes them at creation.
    if (loadBallImages() != 0 || !loadBareImages(dist, 112)) {
        std::printf("the pictures in %ls could not be loaded\n", dist.c_str());
        return 1;
    }
    seedRandom(ballField, kSeed);
    placeBalls(ballField, {0, 0, 1920, 1080}, kBallCount, kFullScale, 1, 1080);
    makeThumbnails();

    HWND desktop = showKnownDesktop(instance);
    pumpFor(200);
    startupState.saverMode = 1;

    std::printf("frame_bench: screen %dx%d, pictures from %ls\n", GetSystemMetrics(SM_CXSCREEN),
                GetSystemMetrics(SM_CYSCREEN), dist.c_str());
    measureFrameCost(1920, 1080);
    measureFrameCost(1280, 720);
    measurePacing(instance);
    pumpFor(200);
    measureProgram(dist);
    printTargets();

    DestroyWindow(desktop);
    freeBareImages();
    releaseBallImages(startupState.gdiplusToken);
    return 0;
}
