// Measures the saver under Wine: the cost of composeFrame against the bare GDI
// and GDI+ calls a frame makes, the pacing of the real saver window, and the
// start-up time and CPU use of the real Zephyrine.scr.
#include <windows.h>
#include <gdiplus.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/startup_state_win.h"
#include "res/resource.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "saver/frame_win.h"
#include "saver/saver_window_win.h"
#include "settings/settings.h"

namespace {

namespace flat = Gdiplus::DllExports;

constexpr int32_t kBallCount = 30;
constexpr int32_t kFullScale = 2;  // 112 pixels in full-screen saver mode
constexpr uint32_t kSeed = 1;
// The known desktop the start-up measurement compares the screen with.
constexpr BYTE kDesktopRed = 0x2E, kDesktopGreen = 0x5C, kDesktopBlue = 0x8A;
const char kDesktopClass[] = "ZephyrineBenchDesktop";
const char kPacingClass[] = "ZephyrineBenchPacing";
const char kSaverClass[] = "ZEPHYRINE";

struct Options {
    int rounds = 41;         // measured rounds of the frame-cost table
    int warmUpRounds = 3;    // rounds run first and thrown away
    double pacingSeconds = 10.0;
    int startupRuns = 9;     // after one warm-up start
    double cpuSeconds = 10.0;
};
Options options;

// The figures the targets are judged by; negative until measured.
struct Results {
    double worstRatio = -1;     // highest paired median of composeFrame / bare frame
    bool allSamePixels = true;
    double paintedShare = -1;   // percent of ticks followed by a paint
    double firstFrameMs = -1;   // median
    double cpuPercent = -1;     // of one core
};
Results results;

// ---- clock and statistics ----

double nowMs()
{
    static const double ticksPerMs = [] {
        LARGE_INTEGER frequency;
        QueryPerformanceFrequency(&frequency);
        return static_cast<double>(frequency.QuadPart) / 1000.0;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / ticksPerMs;
}

struct Spread {
    size_t count = 0;
    double median = 0, min = 0, p10 = 0, p90 = 0, max = 0, mad = 0;
};

// Linear interpolation between the closest ranks of a sorted sample.
double percentile(const std::vector<double>& sorted, double fraction)
{
    if (sorted.empty()) return 0;
    const double rank = fraction * static_cast<double>(sorted.size() - 1);
    const size_t below = static_cast<size_t>(rank);
    const size_t above = std::min(below + 1, sorted.size() - 1);
    return sorted[below] + (sorted[above] - sorted[below]) * (rank - static_cast<double>(below));
}

// Median, extremes, 10th and 90th percentiles and the median absolute deviation.
Spread spreadOf(std::vector<double> samples)
{
    Spread spread;
    spread.count = samples.size();
    if (samples.empty()) return spread;
    std::sort(samples.begin(), samples.end());
    spread.median = percentile(samples, 0.5);
    spread.min = samples.front();
    spread.max = samples.back();
    spread.p10 = percentile(samples, 0.1);
    spread.p90 = percentile(samples, 0.9);
    for (double& sample : samples) sample = std::fabs(sample - spread.median);
    std::sort(samples.begin(), samples.end());
    spread.mad = percentile(samples, 0.5);
    return spread;
}

void printSpreadHeader(const char* firstColumn)
{
    std::printf("%-36s %4s %8s %8s %8s %8s %8s %7s\n", firstColumn, "n", "median", "min", "p10",
                "p90", "max", "MAD");
}

void printSpreadRow(const char* name, const Spread& spread, const char* tail = "")
{
    std::printf("%-36s %4zu %8.3f %8.3f %8.3f %8.3f %8.3f %7.3f%s\n", name, spread.count,
                spread.median, spread.min, spread.p10, spread.p90, spread.max, spread.mad, tail);
}

// ---- set-up shared by all measurements ----

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

void useSettings(int32_t opacityPercent, int32_t backgroundType)
{
    settings.ballCount = kBallCount;
    settings.ballScale = kFullScale;
    settings.opacityPercent = opacityPercent;
    settings.backgroundType = backgroundType;
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
                                  GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN),
                                  nullptr, nullptr, instance, nullptr);
    UpdateWindow(window);
    return window;
}

void pumpMessages()
{
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

// Waits ms milliseconds while this thread's windows stay responsive.
void pumpFor(double ms)
{
    const double end = nowMs() + ms;
    for (double left = ms; left > 0; left = end - nowMs()) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(left) + 1, QS_ALLINPUT);
        pumpMessages();
    }
}

// ---- frame cost ----

// The thumbnails again, made from the same picture files with the same GDI+
// call as makeThumbnail, held as bare native images.
struct BareImages {
    Gdiplus::GpImage* pictures[kPictureCount] = {};
    Gdiplus::GpImage* thumbnails[kPictureCount] = {};
};
BareImages bareImages;

bool loadBareImages(const std::wstring& folder, UINT size)
{
    for (int i = 0; i < kPictureCount; ++i) {
        const std::wstring path = folder + L"\\" + std::to_wstring(i + 1) + L".png";
        if (flat::GdipLoadImageFromFile(path.c_str(), &bareImages.pictures[i]) != Gdiplus::Ok)
            return false;
        if (flat::GdipGetImageThumbnail(bareImages.pictures[i], size, size,
                                        &bareImages.thumbnails[i], nullptr, nullptr) != Gdiplus::Ok)
            return false;
    }
    return true;
}

void freeBareImages()
{
    for (int i = 0; i < kPictureCount; ++i) {
        if (bareImages.thumbnails[i]) flat::GdipDisposeImage(bareImages.thumbnails[i]);
        if (bareImages.pictures[i]) flat::GdipDisposeImage(bareImages.pictures[i]);
    }
    bareImages = BareImages();
}

// The balls as composeFrame sees them, copied once so that the bare sequence
// draws the same pictures at the same places.
struct BallCopy {
    int32_t x[kBallCount], y[kBallCount], imageIndex[kBallCount];
    int32_t size;
};

BallCopy copyBalls()
{
    BallCopy copy;
    for (int i = 0; i < kBallCount; ++i) {
        copy.x[i] = ballField.x[i];
        copy.y[i] = ballField.y[i];
        copy.imageIndex[i] = ballField.imageIndex[i];
    }
    copy.size = ballField.ballSize;
    return copy;
}

// The GDI+ calls of one frame and nothing else: a graphics object on the DC,
// image attributes with the alpha-scaling matrix, one draw per ball, dispose.
void bareGdiplusSequence(HDC target, const BallCopy& balls, float alphaScale)
{
    Gdiplus::GpGraphics* graphics = nullptr;
    flat::GdipCreateFromHDC(target, &graphics);
    Gdiplus::ColorMatrix matrix = {};
    for (int i = 0; i < 5; ++i) matrix.m[i][i] = 1.0f;
    matrix.m[3][3] = alphaScale;
    Gdiplus::GpImageAttributes* attributes = nullptr;
    flat::GdipCreateImageAttributes(&attributes);
    flat::GdipSetImageAttributesColorMatrix(attributes, Gdiplus::ColorAdjustTypeBitmap, TRUE,
                                            &matrix, nullptr, Gdiplus::ColorMatrixFlagsDefault);
    for (int i = 0; i < kBallCount; ++i) {
        flat::GdipDrawImageRectRectI(graphics, bareImages.thumbnails[balls.imageIndex[i]],
                                     balls.x[i], balls.y[i], balls.size, balls.size, 0, 0,
                                     balls.size, balls.size, Gdiplus::UnitPixel, attributes,
                                     nullptr, nullptr);
    }
    flat::GdipDisposeImageAttributes(attributes);
    flat::GdipDeleteGraphics(graphics);
}

// The background step of a frame with the bare GDI call: a blit of the
// snapshot, or a fill with the black or white stock brush.
void bareBackground(HDC target, HDC snapshot, int width, int height, int32_t backgroundType)
{
    if (backgroundType == 0) {
        BitBlt(target, 0, 0, width, height, snapshot, 0, 0, SRCCOPY);
        return;
    }
    const RECT area = {0, 0, width, height};
    FillRect(target, &area,
             static_cast<HBRUSH>(GetStockObject(backgroundType == 1 ? BLACK_BRUSH : WHITE_BRUSH)));
}

// The pixels of a DC's w x h area as 32-bit values, for comparing two frames.
std::vector<uint32_t> readPixels(HDC source, int width, int height)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP copy = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, copy);
    BitBlt(dc, 0, 0, width, height, source, 0, 0, SRCCOPY);
    GdiFlush();
    const uint32_t* pixels = static_cast<const uint32_t*>(bits);
    std::vector<uint32_t> result(pixels, pixels + static_cast<size_t>(width) * height);
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(copy);
    return result;
}

template <typename Work>
double timeOnce(Work work)
{
    const double start = nowMs();
    work();
    GdiFlush();
    return nowMs() - start;
}

const int32_t kOpacities[] = {50, 75, 100};
const int32_t kBackgrounds[] = {0, 1, 2};
constexpr int kOpacityCount = 3;
constexpr int kBackgroundCount = 3;
constexpr int kConfigCount = kOpacityCount * kBackgroundCount;

struct FrameSamples {
    std::vector<double> blit, fill[2], sequence[kOpacityCount];
    std::vector<double> compose[kConfigCount], bareFrame[kConfigCount];
    std::vector<double> pairedRatio[kConfigCount];
};

float alphaScaleOf(int32_t opacityPercent)
{
    return static_cast<float>(opacityPercent / 100.0);
}

// One size: every variant once per round, composeFrame and its bare frame
// side by side, so that drift over the run falls on all of them alike.
void measureFrameCost(int width, int height)
{
    const ClientRect client = {0, 0, width, height};
    useSettings(75, 0);
    createSurfaces(nullptr, client);
    seedRandom(kSeed);
    placeBalls(client, kBallCount, kFullScale, 1, GetSystemMetrics(SM_CYSCREEN));
    captureBackground(client);
    const BallCopy balls = copyBalls();

    // The baselines work on the program's two surfaces, so that they differ
    // from composeFrame in the code that runs and not in the memory it
    // touches: the same blit costs 1.3 to 5 ms between different pairs of
    // 1920x1080 buffers.

    // The baseline must do the same work: composeFrame and the bare frame
    // give the same pixels.
    auto bareFrame = [&](int32_t background, int32_t opacity) {
        bareBackground(backBufferDC, backgroundDC, width, height, background);
        bareGdiplusSequence(backBufferDC, balls, alphaScaleOf(opacity));
    };
    bool samePixels[kConfigCount];
    for (int c = 0; c < kConfigCount; ++c) {
        const int32_t background = kBackgrounds[c / kOpacityCount];
        const int32_t opacity = kOpacities[c % kOpacityCount];
        useSettings(opacity, background);
        composeFrame(client);
        const std::vector<uint32_t> composed = readPixels(backBufferDC, width, height);
        bareFrame(background, opacity);
        samePixels[c] = composed == readPixels(backBufferDC, width, height);
    }

    FrameSamples samples;
    for (int round = 0; round < options.warmUpRounds + options.rounds; ++round) {
        const bool keep = round >= options.warmUpRounds;
        auto record = [keep](std::vector<double>& into, double ms) {
            if (keep) into.push_back(ms);
        };
        record(samples.blit, timeOnce([&] {
            BitBlt(backBufferDC, 0, 0, width, height, backgroundDC, 0, 0, SRCCOPY);
        }));
        for (int b = 1; b <= 2; ++b)
            record(samples.fill[b - 1], timeOnce([&] {
                bareBackground(backBufferDC, backgroundDC, width, height, b);
            }));
        for (int o = 0; o < kOpacityCount; ++o)
            record(samples.sequence[o], timeOnce([&] {
                bareGdiplusSequence(backBufferDC, balls, alphaScaleOf(kOpacities[o]));
            }));
        for (int c = 0; c < kConfigCount; ++c) {
            const int32_t background = kBackgrounds[c / kOpacityCount];
            const int32_t opacity = kOpacities[c % kOpacityCount];
            useSettings(opacity, background);
            auto composeOnce = [&] { return timeOnce([&] { composeFrame(client); }); };
            auto bareOnce = [&] {
                return timeOnce([&] { bareFrame(background, opacity); });
            };
            // Each goes first in every other round.
            double compose, bare;
            if (round % 2 == 0) {
                compose = composeOnce();
                bare = bareOnce();
            } else {
                bare = bareOnce();
                compose = composeOnce();
            }
            record(samples.compose[c], compose);
            record(samples.bareFrame[c], bare);
            record(samples.pairedRatio[c], compose / bare);
        }
    }

    std::printf("\n== Frame cost at %dx%d, %d balls of %d px (ms per call; %d interleaved rounds "
                "after %d warm-up rounds)\n",
                width, height, kBallCount, balls.size, options.rounds, options.warmUpRounds);
    printSpreadHeader("baseline");
    const Spread blit = spreadOf(samples.blit);
    const Spread fills[2] = {spreadOf(samples.fill[0]), spreadOf(samples.fill[1])};
    Spread sequences[kOpacityCount];
    printSpreadRow("bare BitBlt, memory to memory", blit);
    printSpreadRow("bare FillRect, BLACK_BRUSH", fills[0]);
    printSpreadRow("bare FillRect, WHITE_BRUSH", fills[1]);
    for (int o = 0; o < kOpacityCount; ++o) {
        sequences[o] = spreadOf(samples.sequence[o]);
        char name[64];
        std::snprintf(name, sizeof name, "bare GDI+ sequence, opacity %d", kOpacities[o]);
        printSpreadRow(name, sequences[o]);
    }

    std::printf("\n%-36s %4s %8s %8s %8s %8s %8s %7s  %s\n", "frame (background, opacity)", "n",
                "median", "min", "p10", "p90", "max", "MAD",
                "ratio: paired median [p10..p90] | to bg+seq | same pixels");
    for (int c = 0; c < kConfigCount; ++c) {
        const int32_t background = kBackgrounds[c / kOpacityCount];
        const int o = c % kOpacityCount;
        const Spread compose = spreadOf(samples.compose[c]);
        const Spread bare = spreadOf(samples.bareFrame[c]);
        const Spread ratio = spreadOf(samples.pairedRatio[c]);
        const double parts = (background == 0 ? blit.median : fills[background - 1].median) +
                             sequences[o].median;
        char name[64], tail[128];
        std::snprintf(name, sizeof name, "composeFrame    bg %d, opacity %d", background,
                      kOpacities[o]);
        results.worstRatio = std::max(results.worstRatio, ratio.median);
        results.allSamePixels = results.allSamePixels && samePixels[c];
        std::snprintf(tail, sizeof tail, "  %.3f [%.3f..%.3f] | %.3f | %s", ratio.median, ratio.p10,
                      ratio.p90, compose.median / parts, samePixels[c] ? "yes" : "NO");
        printSpreadRow(name, compose, tail);
        std::snprintf(name, sizeof name, "  bare frame    bg %d, opacity %d", background,
                      kOpacities[o]);
        printSpreadRow(name, bare);
    }
    std::fflush(stdout);

    releaseSurfaces();
}

// ---- frame pacing of the real saver window ----

struct Pacing {
    HWND window = nullptr;
    int ticks = 0;
    int paints = 0;
    int paintsAfterTick = 0;
    bool tickPending = false;
    double createdAt = 0;
    double endedAt = 0;
    std::vector<double> tickTimes, paintTimes, paintDurations;
};
Pacing pacing;

// Counts ticks and paints on their way to saverWindowProc.
LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) pacing.window = window;
    if (message == WM_TIMER) {
        ++pacing.ticks;
        pacing.tickPending = true;
        pacing.tickTimes.push_back(nowMs());
    }
    if (message != WM_PAINT) return saverWindowProc(window, message, wParam, lParam);

    const double start = nowMs();
    const LRESULT result = saverWindowProc(window, message, wParam, lParam);
    pacing.paintDurations.push_back(nowMs() - start);
    pacing.paintTimes.push_back(start);
    ++pacing.paints;
    if (pacing.tickPending) ++pacing.paintsAfterTick;
    pacing.tickPending = false;
    return result;
}

void CALLBACK endPacing(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    pacing.endedAt = nowMs();
    SendMessageA(pacing.window, WM_CLOSE, 0, 0);
}

std::vector<double> intervalsOf(const std::vector<double>& times)
{
    std::vector<double> intervals;
    for (size_t i = 1; i < times.size(); ++i) intervals.push_back(times[i] - times[i - 1]);
    return intervals;
}

// The saver window made by createSaverWindow in full-screen saver mode, its
// class the saver's own but for the counting procedure, run by the program's
// message loop until a close after the measuring time.
void measurePacing(HINSTANCE instance)
{
    useSettings(75, 0);
    startupState.saverMode = 1;
    char savedClassName[kDisplayStringSize];
    std::memcpy(savedClassName, startupState.windowClassName, sizeof savedClassName);

    WNDCLASSEXA windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = countingWindowProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
    windowClass.lpszClassName = kPacingClass;
    RegisterClassExA(&windowClass);
    std::snprintf(startupState.windowClassName, sizeof startupState.windowClassName, "%s",
                  kPacingClass);

    const size_t expected = static_cast<size_t>(options.pacingSeconds * 1000 / 30) + 100;
    pacing.tickTimes.reserve(expected);
    pacing.paintTimes.reserve(expected);
    pacing.paintDurations.reserve(expected);

    pacing.createdAt = nowMs();
    const int created = createSaverWindow(instance, SW_SHOWNORMAL);
    SetTimer(nullptr, 0, static_cast<UINT>(options.pacingSeconds * 1000), endPacing);

    HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    MSG message = {};
    while (created && GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (TranslateAcceleratorA(message.hwnd, accelerators, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    const double ranMs = (pacing.endedAt > 0 ? pacing.endedAt : nowMs()) - pacing.createdAt;
    if (pacing.window) DestroyWindow(pacing.window);
    pumpMessages();  // takes the second quit message that WM_DESTROY posts
    std::memcpy(startupState.windowClassName, savedClassName, sizeof savedClassName);

    std::printf("\n== Frame pacing of the saver window at %dx%d, %d balls (saverWindowProc "
                "in-process, %.1f s)\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kBallCount,
                ranMs / 1000);
    if (!created || pacing.endedAt == 0)
        std::printf("the window %s before the measuring time was over\n",
                    created ? "closed" : "could not be created");
    const double share = pacing.ticks ? 100.0 * pacing.paintsAfterTick / pacing.ticks : 0;
    results.paintedShare = share;
    std::printf("ticks received %d (%.2f per s), frames painted %d (%d after a tick), "
                "ticks painted %.1f %%\n",
                pacing.ticks, pacing.ticks * 1000.0 / ranMs, pacing.paints, pacing.paintsAfterTick,
                share);
    printSpreadHeader("ms");
    printSpreadRow("interval between paints", spreadOf(intervalsOf(pacing.paintTimes)));
    printSpreadRow("interval between ticks", spreadOf(intervalsOf(pacing.tickTimes)));
    printSpreadRow("time inside WM_PAINT", spreadOf(pacing.paintDurations));
    std::fflush(stdout);
}

// ---- start-up time and CPU use of the real program ----

// Four full-width lines of the screen at a fifth, two, three and four fifths
// of its height. A ball is 112 pixels high and the lines 216 apart, so 30
// balls miss all four only by a chance of about 1e-8.
class ScreenProbe {
public:
    ScreenProbe()
    {
        width_ = GetSystemMetrics(SM_CXSCREEN);
        const int height = GetSystemMetrics(SM_CYSCREEN);
        for (int k = 0; k < kLines; ++k) rows_[k] = height * (k + 1) / (kLines + 1);
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width_;
        info.bmiHeader.biHeight = -kLines;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        pixels_ = static_cast<const uint32_t*>(bits);
        dc_ = CreateCompatibleDC(nullptr);
        previous_ = SelectObject(dc_, bitmap_);
    }
    ~ScreenProbe()
    {
        SelectObject(dc_, previous_);
        DeleteDC(dc_);
        DeleteObject(bitmap_);
    }
    ScreenProbe(const ScreenProbe&) = delete;
    ScreenProbe& operator=(const ScreenProbe&) = delete;

    // Reads the lines; counts the pixels that show the known desktop colour.
    void read(int* desktopPixels, int* otherPixels)
    {
        HDC screen = GetDC(nullptr);
        for (int k = 0; k < kLines; ++k) BitBlt(dc_, 0, k, width_, 1, screen, 0, rows_[k], SRCCOPY);
        ReleaseDC(nullptr, screen);
        GdiFlush();
        const uint32_t desktop = (uint32_t{kDesktopRed} << 16) | (uint32_t{kDesktopGreen} << 8) |
                                 kDesktopBlue;
        *desktopPixels = 0;
        *otherPixels = 0;
        for (int i = 0; i < width_ * kLines; ++i) {
            if ((pixels_[i] & 0xFFFFFF) == desktop)
                ++*desktopPixels;
            else
                ++*otherPixels;
        }
    }

    // The whole desktop shows, untouched.
    bool showsDesktop()
    {
        int desktop, other;
        read(&desktop, &other);
        return other == 0;
    }

    // A frame over the desktop: some pixels changed, others still show the
    // desktop colour (an unpainted window would change every pixel).
    bool showsFrame()
    {
        int desktop, other;
        read(&desktop, &other);
        return other > 0 && desktop > 0;
    }

private:
    static constexpr int kLines = 4;
    int width_ = 0;
    int rows_[kLines] = {};
    HBITMAP bitmap_ = nullptr;
    HDC dc_ = nullptr;
    HGDIOBJ previous_ = nullptr;
    const uint32_t* pixels_ = nullptr;
};

// Registry values the run sets, remembered so that they can be put back.
class RegistryValue {
public:
    RegistryValue(HKEY root, const wchar_t* name) : root_(root), name_(name)
    {
        HKEY key;
        if (RegOpenKeyExW(root_, kParentKey, 0, KEY_READ, &key) == ERROR_SUCCESS)
            RegCloseKey(key);
        else
            createdKey_ = kParentKey;
        keyExisted_ = RegOpenKeyExW(root_, kKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (!keyExisted_) {
            if (!createdKey_) createdKey_ = kKey;
            return;
        }
        DWORD size = 0;
        valueExisted_ = RegQueryValueExW(key, name_, nullptr, &type_, nullptr, &size) == ERROR_SUCCESS;
        if (valueExisted_) {
            data_.resize(size);
            RegQueryValueExW(key, name_, nullptr, &type_, data_.data(), &size);
        }
        RegCloseKey(key);
    }
    ~RegistryValue()
    {
        if (createdKey_) {
            RegDeleteTreeW(root_, createdKey_);
            RegDeleteKeyW(root_, createdKey_);
            return;
        }
        HKEY key;
        if (RegOpenKeyExW(root_, kKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
        if (valueExisted_)
            RegSetValueExW(key, name_, 0, type_, data_.data(), static_cast<DWORD>(data_.size()));
        else
            RegDeleteValueW(key, name_);
        RegCloseKey(key);
    }
    RegistryValue(const RegistryValue&) = delete;
    RegistryValue& operator=(const RegistryValue&) = delete;

    bool write(DWORD type, const void* data, DWORD size)
    {
        HKEY key;
        if (RegCreateKeyExW(root_, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
            ERROR_SUCCESS)
            return false;
        const bool written =
            RegSetValueExW(key, name_, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
        RegCloseKey(key);
        return written;
    }

private:
    static constexpr const wchar_t* kParentKey = L"Software\\Quorvane";
    static constexpr const wchar_t* kKey = L"Software\\Quorvane\\Zephyrine";
    HKEY root_;
    const wchar_t* createdKey_ = nullptr;  // the highest key the run creates
    const wchar_t* name_;
    bool keyExisted_ = false;
    bool valueExisted_ = false;
    DWORD type_ = 0;
    std::vector<BYTE> data_;
};

struct SaverRun {
    PROCESS_INFORMATION process = {};
    HWND window = nullptr;
    double windowMs = -1;      // from CreateProcess to the saver window
    double firstFrameMs = -1;  // from CreateProcess to a frame on the screen
};

HWND findSaverWindow(DWORD processId)
{
    for (HWND window = FindWindowExA(nullptr, nullptr, kSaverClass, nullptr); window;
         window = FindWindowExA(nullptr, window, kSaverClass, nullptr)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId) return window;
    }
    return nullptr;
}

// Starts the saver full screen and polls every millisecond or so for its
// window and then for its first frame on the screen, up to timeoutMs.
SaverRun startSaver(const std::wstring& program, ScreenProbe& probe, double timeoutMs)
{
    SaverRun run;
    std::wstring commandLine = L"\"" + program + L"\" /s";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    const double start = nowMs();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &run.process))
        return run;
    while (nowMs() - start < timeoutMs) {
        if (!run.window) {
            run.window = findSaverWindow(run.process.dwProcessId);
            if (run.window) run.windowMs = nowMs() - start;
        }
        if (run.window && probe.showsFrame()) {
            run.firstFrameMs = nowMs() - start;
            break;
        }
        if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) break;
        pumpMessages();
        Sleep(1);
    }
    return run;
}

// Ends the saver with a key press as a user would, and returns its exit code
// (or a note that it had to be terminated).
DWORD stopSaver(SaverRun& run, bool* ended)
{
    if (run.window) PostMessageA(run.window, WM_KEYDOWN, VK_SPACE, 0);
    const double start = nowMs();
    *ended = false;
    while (nowMs() - start < 5000) {
        if (WaitForSingleObject(run.process.hProcess, 0) == WAIT_OBJECT_0) {
            *ended = true;
            break;
        }
        pumpFor(5);
    }
    if (!*ended) {
        TerminateProcess(run.process.hProcess, 99);
        WaitForSingleObject(run.process.hProcess, 5000);
    }
    DWORD exitCode = 0;
    GetExitCodeProcess(run.process.hProcess, &exitCode);
    CloseHandle(run.process.hThread);
    CloseHandle(run.process.hProcess);
    return exitCode;
}

// Runs commandLine to its end; the time from CreateProcess to the end, or -1
// when it did not end within 5 s (it is then terminated).
double timeToExit(std::wstring commandLine, DWORD* exitCode)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    const double start = nowMs();
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
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

bool waitForDesktop(ScreenProbe& probe)
{
    const double start = nowMs();
    while (nowMs() - start < 3000) {
        if (probe.showsDesktop()) return true;
        pumpFor(10);
    }
    return false;
}

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
    std::printf("\n== Start-up of Zephyrine.scr /s at %dx%d with %d balls (warm Wine; %d starts "
                "after one warm-up start)\n",
                GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN), kBallCount,
                options.startupRuns);
    if (!waitForDesktop(probe)) {
        std::printf("the known desktop does not show on the screen; no measurement\n");
        return;
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
        const bool ok = saver.firstFrameMs >= 0 && ended && exitCode == 0 && bare >= 0 &&
                        bareExit == 0 && noWindow >= 0 && noWindowExit == 1;
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
                        run, bare, bareExit, noWindow, noWindowExit, saver.windowMs,
                        saver.firstFrameMs, ended ? "ended" : "terminated", exitCode);
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
                stillRunning ? "ran throughout" : "HAD ENDED", ended ? "ended by a key" : "terminated",
                exitCode);
    std::fflush(stdout);
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
    printTarget("CPU of the running saver (<= 35 % of a core)", results.cpuPercent, "%",
                results.cpuPercent <= 35);
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
    useSettings(75, 0);

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
    seedRandom(kSeed);
    placeBalls({0, 0, 1920, 1080}, kBallCount, kFullScale, 1, 1080);
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
