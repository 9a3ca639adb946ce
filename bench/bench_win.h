// What the parts of the Windows frame benchmark share: the options, the
// figures judged against the targets, the clock, the settings of a run, a
// message pump for waiting, and the measurements that main runs in turn.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "settings/settings.h"

namespace bench {

constexpr int32_t kBallCount = 30;
constexpr int32_t kFullScale = kScale100;  // 112 pixels in full-screen saver mode
constexpr uint32_t kSeed = 1;
// The known desktop the start-up measurement compares the screen with.
constexpr BYTE kDesktopRed = 0x2E, kDesktopGreen = 0x5C, kDesktopBlue = 0x8A;

struct Options {
    int rounds = 41;       // measured rounds of the frame-cost table
    int warmUpRounds = 3;  // rounds run first and thrown away
    double pacingSeconds = 10.0;
    int startupRuns = 9;  // after one warm-up start
    double cpuSeconds = 10.0;
};
extern Options options;

// The figures the targets are judged by; negative until measured.
struct Results {
    double worstRatio = -1;  // highest paired median of composeFrame / bare frame
    bool allSamePixels = true;
    double paintedShare = -1;  // percent of ticks followed by a paint
    double firstFrameMs = -1;  // median
    double cpuPercent = -1;    // of one core
};
extern Results results;

// The performance counter in milliseconds.
double nowMs();

// The settings of every measurement: 30 balls at full-screen size.
void useSettings(int32_t opacityPercent, int32_t backgroundType);

void pumpMessages();
// Waits ms milliseconds while this thread's windows stay responsive.
void pumpFor(double ms);

class ScreenProbe;

// The thumbnails made once more from the pictures in folder at size x size,
// as bare GDI+ images for the frame-cost baselines; false when one fails.
bool loadBareImages(const std::wstring& folder, UINT size);
void freeBareImages();

// Each prints its tables and records its figures in results.
// composeFrame beside its baselines on the program's surfaces of one size.
void measureFrameCost(int width, int height);
// The real saver window in this process, for options.pacingSeconds.
void measurePacing(HINSTANCE instance);
// Starts of the real program; false when the known desktop does not show,
// so that nothing more can be measured on the screen.
bool measureStartup(const std::wstring& program, ScreenProbe& probe);
// CPU use of the running real program.
void measureCpu(const std::wstring& program, ScreenProbe& probe);

}  // namespace bench
