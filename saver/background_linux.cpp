// The background of a Linux front end's surface: made once per size from the desktop copy or a
// plain colour, and copied into the rectangles of a frame that are drawn again.
#include "saver/background_linux.h"

#include <algorithm>
#include <cstring>

#include "saver/average_scale_linux.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kBlack = 0xff000000u;
constexpr uint32_t kWhite = 0xffffffffu;

// The desktop's part as the background: the part itself when it has the surface's size (no
// copy: a frame-sized buffer costs memory and, touched for the first time, start-up time),
// else scaled into a new image.
bool makeDesktopBackground(Background& background, const DesktopPixels& desktop, const ScreenRect& monitor,
                           int32_t width, int32_t height)
{
    // The part of the monitor that the copy holds, in 64 bits so that no sum overflows.
    const int64_t left = std::max<int64_t>(monitor.x, 0);
    const int64_t top = std::max<int64_t>(monitor.y, 0);
    const int64_t right = std::min<int64_t>(int64_t{monitor.x} + monitor.width, desktop.width);
    const int64_t bottom = std::min<int64_t>(int64_t{monitor.y} + monitor.height, desktop.height);
    if (desktop.pixels == nullptr || right <= left || bottom <= top || desktop.stride % 4 != 0 ||
        desktop.stride / 4 < desktop.width) {
        return true;  // nothing to show: black
    }
    // pixman only reads a source image; its interface has no const.
    uint32_t* partPixels = const_cast<uint32_t*>(desktop.pixels) +
                           static_cast<size_t>(top) * static_cast<size_t>(desktop.stride / 4) +
                           static_cast<size_t>(left);
    const int32_t partWidth = static_cast<int32_t>(right - left);
    const int32_t partHeight = static_cast<int32_t>(bottom - top);
    pixman_image_t* part =
        pixman_image_create_bits(PIXMAN_x8r8g8b8, partWidth, partHeight, partPixels, desktop.stride);
    if (part != nullptr && partWidth == width && partHeight == height) {
        background.image = part;
        return true;
    }
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
    const bool drawn = part != nullptr && image != nullptr &&
                       drawAveraged(part, partWidth, partHeight, image, width, height);
    if (part != nullptr) pixman_image_unref(part);
    if (!drawn) {
        if (image != nullptr) pixman_image_unref(image);
        return false;
    }
    background.image = image;
    return true;
}

// Fills rect of the frame with colour, with pixman's vectorised fill.
void fill(const FramePixels& frame, const ScreenRect& rect, uint32_t colour)
{
    if (rect.width > 0 && rect.height > 0)
        pixman_fill(frame.pixels, frame.stride / 4, 32, rect.x, rect.y, rect.width, rect.height, colour);
}

}  // namespace

bool makeBackgroundImage(Background& background, int32_t backgroundType, const DesktopPixels* desktop,
                         const ScreenRect& part, int32_t width, int32_t height)
{
    releaseBackgroundImage(background);
    if (backgroundType == kBackgroundBlack) return true;
    if (backgroundType != kBackgroundDesktop) {
        background.colour = kWhite;
        return true;
    }
    if (desktop == nullptr || width <= 0 || height <= 0) return true;
    return makeDesktopBackground(background, *desktop, part, width, height);
}

void restoreBackground(const Background& background, const FramePixels& frame, const ScreenRect& rect)
{
    if (background.image == nullptr) {
        fill(frame, rect, background.colour);
        return;
    }
    const size_t frameRow = static_cast<size_t>(frame.stride / 4);
    uint32_t* first = frame.pixels + static_cast<size_t>(rect.y) * frameRow + rect.x;
    const uint32_t* source = pixman_image_get_data(background.image);
    const size_t sourceRow = static_cast<size_t>(pixman_image_get_stride(background.image) / 4);
    const int32_t copied = std::clamp(pixman_image_get_width(background.image) - rect.x, 0, rect.width);
    const int32_t copiedRows = std::clamp(pixman_image_get_height(background.image) - rect.y, 0, rect.height);
    if (copied == frame.width && sourceRow == frameRow) {
        std::memcpy(first, source + rect.y * sourceRow, static_cast<size_t>(frame.stride) * copiedRows);
    } else {
        for (int32_t row = 0; row < copiedRows; ++row)
            std::memcpy(first + row * frameRow, source + (rect.y + row) * sourceRow + rect.x,
                        static_cast<size_t>(copied) * 4);
    }
    fill(frame, {rect.x + copied, rect.y, rect.width - copied, copiedRows}, kBlack);
    fill(frame, {rect.x, rect.y + copiedRows, rect.width, rect.height - copiedRows}, kBlack);
}

void releaseBackgroundImage(Background& background)
{
    if (background.image != nullptr) pixman_image_unref(background.image);
    background = Background{};
}
