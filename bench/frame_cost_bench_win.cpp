// Frame cost: composeFrame for every background type and opacity, beside the
// bare GDI and GDI+ calls of a frame measured in the same rounds on the
// program's own two surfaces.
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/bench_stats.h"
#include "bench/bench_win.h"
#include "saver/ball_field.h"
#include "saver/ball_images_win.h"
#include "saver/frame_win.h"
#include "support/win_test_support.h"

namespace bench {

namespace {

namespace flat = Gdiplus::DllExports;

// The thumbnails again, made from the same picture files with the same GDI+
// call as makeThumbnail, held as bare native images.
struct BareImages {
    Gdiplus::GpImage* pictures[kPictureCount] = {};
    Gdiplus::GpImage* thumbnails[kPictureCount] = {};
};
BareImages bareImages;

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
    flat::GdipSetImageAttributesColorMatrix(attributes, Gdiplus::ColorAdjustTypeBitmap, TRUE, &matrix, nullptr,
                                            Gdiplus::ColorMatrixFlagsDefault);
    for (int i = 0; i < kBallCount; ++i) {
        flat::GdipDrawImageRectRectI(graphics, bareImages.thumbnails[balls.imageIndex[i]], balls.x[i], balls.y[i],
                                     balls.size, balls.size, 0, 0, balls.size, balls.size, Gdiplus::UnitPixel,
                                     attributes, nullptr, nullptr);
    }
    flat::GdipDisposeImageAttributes(attributes);
    flat::GdipDeleteGraphics(graphics);
}

// The background step of a frame with the bare GDI call: a blit of the
// snapshot, or a fill with the black or white stock brush.
void bareBackground(HDC target, HDC snapshot, int width, int height, int32_t backgroundType)
{
    if (backgroundType == kBackgroundDesktop) {
        BitBlt(target, 0, 0, width, height, snapshot, 0, 0, SRCCOPY);
        return;
    }
    const RECT area = {0, 0, width, height};
    FillRect(target, &area,
             static_cast<HBRUSH>(GetStockObject(backgroundType == kBackgroundBlack ? BLACK_BRUSH : WHITE_BRUSH)));
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
const int32_t kBackgrounds[] = {kBackgroundDesktop, kBackgroundBlack, kBackgroundWhite};
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

}  // namespace

bool loadBareImages(const std::wstring& folder, UINT size)
{
    for (int i = 0; i < kPictureCount; ++i) {
        const std::wstring path = folder + L"\\" + std::to_wstring(i + 1) + L".png";
        if (flat::GdipLoadImageFromFile(path.c_str(), &bareImages.pictures[i]) != Gdiplus::Ok) return false;
        if (flat::GdipGetImageThumbnail(bareImages.pictures[i], size, size, &bareImages.thumbnails[i], nullptr,
                                        nullptr) != Gdiplus::Ok)
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

// One size: every variant once per round, composeFrame and its bare frame
// side by side, so that drift over the run falls on all of them alike.
void measureFrameCost(int width, int height)
{
    const ClientRect client = {0, 0, width, height};
    useSettings(75, kBackgroundDesktop);
    createSurfaces(nullptr, client);
    seedRandom(ballField, kSeed);
    placeBalls(ballField, client, kBallCount, kFullScale, 1, GetSystemMetrics(SM_CYSCREEN));
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
        const std::vector<uint32_t> composed = readPixels(backBufferDC, width, height).values;
        bareFrame(background, opacity);
        samePixels[c] = composed == readPixels(backBufferDC, width, height).values;
    }

    FrameSamples samples;
    for (int round = 0; round < options.warmUpRounds + options.rounds; ++round) {
        const bool keep = round >= options.warmUpRounds;
        auto record = [keep](std::vector<double>& into, double ms) {
            if (keep) into.push_back(ms);
        };
        record(samples.blit,
               timeOnce([&] { BitBlt(backBufferDC, 0, 0, width, height, backgroundDC, 0, 0, SRCCOPY); }));
        for (int32_t b = kBackgroundBlack; b <= kBackgroundWhite; ++b)
            record(samples.fill[b - kBackgroundBlack],
                   timeOnce([&] { bareBackground(backBufferDC, backgroundDC, width, height, b); }));
        for (int o = 0; o < kOpacityCount; ++o)
            record(samples.sequence[o],
                   timeOnce([&] { bareGdiplusSequence(backBufferDC, balls, alphaScaleOf(kOpacities[o])); }));
        for (int c = 0; c < kConfigCount; ++c) {
            const int32_t background = kBackgrounds[c / kOpacityCount];
            const int32_t opacity = kOpacities[c % kOpacityCount];
            useSettings(opacity, background);
            auto composeOnce = [&] { return timeOnce([&] { composeFrame(client); }); };
            auto bareOnce = [&] { return timeOnce([&] { bareFrame(background, opacity); }); };
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

    std::printf("\n");
    printSpreadHeader("frame (background, opacity)", TableStyle::aligned,
                      "ratio: paired median [p10..p90] | to bg+seq | same pixels");
    for (int c = 0; c < kConfigCount; ++c) {
        const int32_t background = kBackgrounds[c / kOpacityCount];
        const int o = c % kOpacityCount;
        const Spread compose = spreadOf(samples.compose[c]);
        const Spread bare = spreadOf(samples.bareFrame[c]);
        const Spread ratio = spreadOf(samples.pairedRatio[c]);
        const double parts = (background == 0 ? blit.median : fills[background - 1].median) + sequences[o].median;
        char name[64], tail[128];
        std::snprintf(name, sizeof name, "composeFrame    bg %d, opacity %d", background, kOpacities[o]);
        results.worstRatio = std::max(results.worstRatio, ratio.median);
        results.allSamePixels = results.allSamePixels && samePixels[c];
        std::snprintf(tail, sizeof tail, "  %.3f [%.3f..%.3f] | %.3f | %s", ratio.median, ratio.p10, ratio.p90,
                      compose.median / parts, samePixels[c] ? "yes" : "NO");
        printSpreadRow(name, compose, tail);
        std::snprintf(name, sizeof name, "  bare frame    bg %d, opacity %d", background, kOpacities[o]);
        printSpreadRow(name, bare);
    }
    std::fflush(stdout);

    releaseSurfaces();
}

}  // namespace bench
