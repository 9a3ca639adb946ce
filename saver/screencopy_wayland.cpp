// The desktop copy through screencopy: choose a 32-bit shared-memory format, let the compositor
// write one frame into it, turn it top row first.
#include "saver/screencopy_wayland.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include <wayland-client.h>

#include "saver/connection_wayland.h"
#include "screencopy-client.h"

namespace {

void endCapture(DesktopCopy& copy, bool taken)
{
    if (copy.frame != nullptr) zwlr_screencopy_frame_v1_destroy(copy.frame);
    if (copy.buffer != nullptr) wl_buffer_destroy(copy.buffer);
    copy.frame = nullptr;
    copy.buffer = nullptr;
    if (taken) {
        copy.pixels =
            DesktopPixels{static_cast<const uint32_t*>(copy.memory.memory), copy.width, copy.height, copy.stride};
    } else {
        releaseSharedMemory(copy.memory);
        copy.pixels = DesktopPixels{};
    }
    if (copy.ended != nullptr) copy.ended(copy.data);
}

// The frame's pixels are read as x8r8g8b8; the alpha byte of ARGB8888 is not looked at.
bool readable(uint32_t format)
{
    return format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888;
}

void copyIntoChosenBuffer(DesktopCopy& copy)
{
    const size_t bytes = static_cast<size_t>(copy.stride) * static_cast<size_t>(copy.height);
    if (!copy.chosen || bytes == 0 || bytes > INT32_MAX || !makeSharedMemory(copy.memory, bytes)) {
        endCapture(copy, false);
        return;
    }
    copy.buffer = makeShmBuffer(wayland.shm, copy.memory, 0, copy.width, copy.height, copy.stride, copy.format);
    if (copy.buffer == nullptr) {
        endCapture(copy, false);
        return;
    }
    zwlr_screencopy_frame_v1_copy(copy.frame, copy.buffer);
}

void onBuffer(void* data, zwlr_screencopy_frame_v1* frame, uint32_t format, uint32_t width, uint32_t height,
              uint32_t stride)
{
    DesktopCopy& copy = *static_cast<DesktopCopy*>(data);
    if (copy.chosen || !readable(format) || width == 0 || height == 0 || width > INT32_MAX / 4 ||
        stride < width * 4 || stride % 4 != 0 || height > INT32_MAX)
        return;
    copy.chosen = true;
    copy.format = format;
    copy.width = static_cast<int32_t>(width);
    copy.height = static_cast<int32_t>(height);
    copy.stride = static_cast<int32_t>(stride);
    // Before version 3 no buffer_done follows: the shared-memory buffer is the only kind offered.
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(frame)) < 3) copyIntoChosenBuffer(copy);
}

void onFlags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags)
{
    static_cast<DesktopCopy*>(data)->yInverted = (flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT) != 0;
}

void onReady(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t)
{
    DesktopCopy& copy = *static_cast<DesktopCopy*>(data);
    if (copy.yInverted) {
        char* rows = static_cast<char*>(copy.memory.memory);
        std::vector<char> swap(static_cast<size_t>(copy.stride));
        for (int32_t top = 0, bottom = copy.height - 1; top < bottom; ++top, --bottom) {
            char* a = rows + static_cast<size_t>(top) * copy.stride;
            char* b = rows + static_cast<size_t>(bottom) * copy.stride;
            std::memcpy(swap.data(), a, swap.size());
            std::memcpy(a, b, swap.size());
            std::memcpy(b, swap.data(), swap.size());
        }
    }
    endCapture(copy, true);
}

void onFailed(void* data, zwlr_screencopy_frame_v1*)
{
    endCapture(*static_cast<DesktopCopy*>(data), false);
}

void onDamage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}

void onDmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}

void onBufferDone(void* data, zwlr_screencopy_frame_v1*)
{
    copyIntoChosenBuffer(*static_cast<DesktopCopy*>(data));
}

const zwlr_screencopy_frame_v1_listener kFrameListener = {
    onBuffer, onFlags, onReady, onFailed, onDamage, onDmabuf, onBufferDone,
};

}  // namespace

void startDesktopCopy(DesktopCopy& copy, wl_output* output, void (*ended)(void* data), void* data)
{
    releaseDesktopCopy(copy);
    copy.ended = ended;
    copy.data = data;
    if (wayland.screencopy == nullptr) {
        endCapture(copy, false);
        return;
    }
    copy.frame = zwlr_screencopy_manager_v1_capture_output(wayland.screencopy, 0, output);
    zwlr_screencopy_frame_v1_add_listener(copy.frame, &kFrameListener, &copy);
}

void releaseDesktopCopy(DesktopCopy& copy)
{
    copy.ended = nullptr;
    if (copy.frame != nullptr || copy.buffer != nullptr) endCapture(copy, false);
    releaseSharedMemory(copy.memory);
    copy = DesktopCopy{};
}
