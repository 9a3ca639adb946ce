// Frame composition of the X11 display mode: the background, then each ball with pixman.
#include "saver/frame_x11.h"

#include <algorithm>
#include <cstring>

#include <pixman.h>

#include "saver/average_scale_x11.h"
#include "saver/ball_field.h"
#include "saver/ball_pictures_x11.h"
#include "settings/settings.h"

namespace {

constexpr uint32_t kBlack = 0xff000000u;
constexpr uint32_t kWhite = 0xffffffffu;

// The background: a picture of the window's size (desktop), or a plain colour
// when backgroundImage is null.
pixman_image_t* backgroundImage;
uint32_t backgroundColour = kBlack;

// The solid mask of the balls' opacity; null draws them unscaled.
pixman_image_t* ballMask;

// The pixman image over the caller's frame buffer, kept so that composing a frame
// allocates nothing: the window presents from one buffer, so one is enough; it is
// made again when the buffer changes (a new size).
struct FrameWrapper {
    uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t stride;
    pixman_image_t* image;
};
constexpr int kFrameWrappers = 1;
FrameWrapper frameWrappers[kFrameWrappers];
int oldestWrapper;

bool isUsable(const FramePixels& frame)
{
    return frame.pixels != nullptr && frame.width > 0 && frame.height > 0 && frame.stride % 4 == 0 &&
           frame.stride / 4 >= frame.width;
}

uint32_t* rowOf(const FramePixels& frame, int32_t y)
{
    return frame.pixels + static_cast<size_t>(y) * static_cast<size_t>(frame.stride / 4);
}

pixman_image_t* wrapperFor(const FramePixels& frame)
{
    for (const FrameWrapper& wrapper : frameWrappers) {
        if (wrapper.image != nullptr && wrapper.pixels == frame.pixels && wrapper.width == frame.width &&
            wrapper.height == frame.height && wrapper.stride == frame.stride) {
            return wrapper.image;
        }
    }
    FrameWrapper& wrapper = frameWrappers[oldestWrapper];
    oldestWrapper = (oldestWrapper + 1) % kFrameWrappers;
    if (wrapper.image != nullptr) {
        pixman_image_unref(wrapper.image);
    }
    wrapper = {frame.pixels, frame.width, frame.height, frame.stride,
               pixman_image_create_bits(PIXMAN_x8r8g8b8, frame.width, frame.height, frame.pixels,
                                        frame.stride)};
    return wrapper.image;
}

void fillRows(const FramePixels& frame, int32_t x, int32_t y, int32_t width, int32_t height,
              uint32_t colour)
{
    for (int32_t row = y; row < y + height; ++row) {
        std::fill_n(rowOf(frame, row) + x, width, colour);
    }
}

// The background into the whole frame. A frame of another size than the
// background gets the part they share and black around it.
void drawBackground(const FramePixels& frame)
{
    if (backgroundImage == nullptr) {
        if (frame.stride == frame.width * 4) {
            std::fill_n(frame.pixels, static_cast<size_t>(frame.width) * frame.height, backgroundColour);
        } else {
            fillRows(frame, 0, 0, frame.width, frame.height, backgroundColour);
        }
        return;
    }
    const uint32_t* source = pixman_image_get_data(backgroundImage);
    const int32_t sourceStride = pixman_image_get_stride(backgroundImage);
    const int32_t width = std::min(frame.width, pixman_image_get_width(backgroundImage));
    const int32_t height = std::min(frame.height, pixman_image_get_height(backgroundImage));
    if (width == frame.width && sourceStride == frame.stride && frame.stride == frame.width * 4) {
        std::memcpy(frame.pixels, source, static_cast<size_t>(frame.stride) * height);
    } else {
        for (int32_t y = 0; y < height; ++y) {
            std::memcpy(rowOf(frame, y), source + static_cast<size_t>(y) * (sourceStride / 4),
                        static_cast<size_t>(width) * 4);
        }
    }
    fillRows(frame, width, 0, frame.width - width, height, kBlack);
    fillRows(frame, 0, height, frame.width, frame.height - height, kBlack);
}

void releaseBackground()
{
    if (backgroundImage != nullptr) {
        pixman_image_unref(backgroundImage);
        backgroundImage = nullptr;
    }
    backgroundColour = kBlack;
}

// The desktop's part under the monitor as the background: the part itself when it
// has the window's size (no copy: a frame-sized buffer costs memory and, touched
// for the first time, start-up time), else scaled into a new image.
bool makeDesktopBackground(const DesktopPixels& desktop, const MonitorRect& monitor, int32_t width,
                           int32_t height)
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
        backgroundImage = part;
        return true;
    }
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_x8r8g8b8, width, height, nullptr, 0);
    const bool drawn =
        part != nullptr && image != nullptr && drawAveraged(part, partWidth, partHeight, image, width, height);
    if (part != nullptr) {
        pixman_image_unref(part);
    }
    if (!drawn) {
        if (image != nullptr) {
            pixman_image_unref(image);
        }
        return false;
    }
    backgroundImage = image;
    return true;
}

}  // namespace

bool makeBackground(int32_t backgroundType, const DesktopPixels* desktop, const MonitorRect& monitor,
                    int32_t width, int32_t height)
{
    releaseBackground();
    if (backgroundType == kBackgroundBlack) {
        return true;
    }
    if (backgroundType != kBackgroundDesktop) {
        backgroundColour = kWhite;
        return true;
    }
    if (desktop == nullptr || width <= 0 || height <= 0) {
        return true;
    }
    return makeDesktopBackground(*desktop, monitor, width, height);
}

bool setBallOpacity(int32_t opacityPercent)
{
    const DisplaySetting& range = displaySettingFor(&Settings::opacityPercent);
    const int32_t percent = std::clamp(opacityPercent, static_cast<int32_t>(range.minimum),
                                       static_cast<int32_t>(range.maximum));
    if (ballMask != nullptr) {
        pixman_image_unref(ballMask);
    }
    // 16-bit alpha, rounded; pixman keeps its top 8 bits.
    const pixman_color_t opacity = {0, 0, 0, static_cast<uint16_t>((percent * 0xffff + 50) / 100)};
    ballMask = pixman_image_create_solid_fill(&opacity);
    return ballMask != nullptr;
}

void composeFrame(const FramePixels& frame, int32_t ballCount)
{
    if (!isUsable(frame)) {
        return;
    }
    pixman_image_t* target = wrapperFor(frame);
    drawBackground(frame);
    if (target == nullptr) {
        return;
    }
    const int32_t count = clampBallCount(ballCount);
    for (int32_t i = 0; i < count; ++i) {
        const int32_t index = ballField.imageIndex[i];
        if (index < 0 || index >= kPictureCount || thumbnails[index] == nullptr) {
            continue;
        }
        pixman_image_t* thumbnail = thumbnails[index];
        // pixman clips the square to the frame.
        pixman_image_composite32(PIXMAN_OP_OVER, thumbnail, ballMask, target, 0, 0, 0, 0, ballField.x[i],
                                 ballField.y[i], pixman_image_get_width(thumbnail),
                                 pixman_image_get_height(thumbnail));
    }
}

void releaseFrame()
{
    releaseBackground();
    if (ballMask != nullptr) {
        pixman_image_unref(ballMask);
        ballMask = nullptr;
    }
    for (FrameWrapper& wrapper : frameWrappers) {
        if (wrapper.image != nullptr) {
            pixman_image_unref(wrapper.image);
        }
        wrapper = {};
    }
    oldestWrapper = 0;
}
