// The frame buffer of the X11 display mode: MIT-SHM or XPutImage, and the presenting of frames.
#include "saver/frame_buffer_x11.h"

#include "saver/clock_linux.h"
#include "saver/pages_linux.h"

namespace {

// No frame buffer larger than this many pixels is made (256 MiB).
constexpr int64_t kMaxPixels = int64_t{1} << 26;
// A completion not received after this long is taken as lost.
constexpr int64_t kLostCompletionNanos = 1000000000;
// Present times kept until they are reported.
constexpr int kMaxPresentTimes = 4;

struct FrameBuffer {
    SharedImage shared;  // the image, when it lives in a segment
    XImage* plain;       // the image sent with XPutImage; its pixels are owned
    OwnedPixels owned;
    bool busy;                // sent with XShmPutImage, completion not yet received
    int64_t sentAt;           // CLOCK_MONOTONIC nanoseconds of the put
    unsigned long putSerial;  // the request number of the last put
    FramePixels pixels;
    BufferRecord record;
};

struct Presenting {
    Display* display;
    Window window;
    Visual* visual;
    int depth;
    GC gc;
    bool useShm;
    int completionType;
    // One buffer: the server is done with a frame long before the next tick, so a second one
    // would only double the memory and the first-touch cost of each new size. A tick that
    // finds it still being read is not drawn.
    FrameBuffer buffer;
    int64_t presentTimes[kMaxPresentTimes];
    int presentTimeCount;
};

Presenting presenting;

XImage* imageOf(const FrameBuffer& buffer)
{
    return buffer.shared.image != nullptr ? buffer.shared.image : buffer.plain;
}

void releaseBuffer(FrameBuffer& buffer)
{
    releaseBufferRecord(buffer.record);
    releaseSharedImage(presenting.display, buffer.shared);
    if (buffer.plain != nullptr) {
        buffer.plain->data = nullptr;  // the pixels are this file's own
        XDestroyImage(buffer.plain);
        unmapPixels(buffer.owned);
    }
    buffer = FrameBuffer{};
}

bool makePlainBuffer(FrameBuffer& buffer, int32_t width, int32_t height)
{
    XImage* image = XCreateImage(presenting.display, presenting.visual, static_cast<unsigned>(presenting.depth),
                                 ZPixmap, 0, nullptr, static_cast<unsigned>(width), static_cast<unsigned>(height),
                                 32, 0);
    if (image == nullptr) return false;
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        return false;
    }
    buffer.owned = mapPixels(static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height));
    if (buffer.owned.address == nullptr) {
        XDestroyImage(image);
        return false;
    }
    image->data = static_cast<char*>(buffer.owned.address);
    // The frame is written in host order; Xlib converts when the server's differs.
    image->byte_order = hostByteOrder();
    buffer.plain = image;
    return true;
}

void recordPresentTime(int64_t nanoseconds)
{
    if (presenting.presentTimeCount < kMaxPresentTimes)
        presenting.presentTimes[presenting.presentTimeCount++] = nanoseconds;
}

}  // namespace

void openPresenting(Display* display, Window window, Visual* visual, int depth)
{
    presenting = Presenting{};
    presenting.display = display;
    presenting.window = window;
    presenting.visual = visual;
    presenting.depth = depth;
    presenting.gc = XCreateGC(display, window, 0, nullptr);
    XSetGraphicsExposures(display, presenting.gc, False);
    presenting.useShm = canShareImages(display);
    presenting.completionType = presenting.useShm ? XShmGetEventBase(display) + ShmCompletion : -1;
}

bool presentsThroughSegments()
{
    return presenting.useShm;
}

XImage* imageOverFrameSegment(unsigned width, unsigned height, unsigned depth)
{
    SharedImage& shared = presenting.buffer.shared;
    if (shared.image == nullptr || size_t{width} * height * 4 > shared.bytes) return nullptr;
    XImage* image = XShmCreateImage(presenting.display, presenting.visual, depth, ZPixmap, shared.segment.shmaddr,
                                    &shared.segment, width, height);
    if (image != nullptr && static_cast<size_t>(image->bytes_per_line) * height > shared.bytes) {
        XDestroyImage(image);
        image = nullptr;
    }
    return image;
}

bool sizeFrameBuffer(int32_t width, int32_t height)
{
    FrameBuffer& buffer = presenting.buffer;
    if (imageOf(buffer) != nullptr && buffer.pixels.width == width && buffer.pixels.height == height) return true;
    releaseBuffer(buffer);
    if (width <= 0 || height <= 0) return true;
    if (int64_t{width} * height > kMaxPixels) return false;
    // A server or system that cannot share memory with us after all gets XPutImage.
    if (presenting.useShm &&
        !makeSharedImage(presenting.display, presenting.visual, static_cast<unsigned>(presenting.depth), width,
                         height, buffer.shared))
        presenting.useShm = false;
    if (!presenting.useShm && !makePlainBuffer(buffer, width, height)) return false;
    XImage* image = imageOf(buffer);
    buffer.pixels = {reinterpret_cast<uint32_t*>(image->data), width, height, image->bytes_per_line};
    return true;
}

bool freeFrameBuffer(FramePixels& pixels, BufferRecord*& record)
{
    FrameBuffer& buffer = presenting.buffer;
    if (imageOf(buffer) == nullptr) return false;
    // A put that failed (a server error) sends no completion. Once the server has answered a
    // round trip it has done with every earlier request, so the buffer is free again; this
    // costs one round trip a second at most, and only when something went wrong.
    if (buffer.busy && monotonicNanos() - buffer.sentAt > kLostCompletionNanos) {
        XSync(presenting.display, False);
        buffer.busy = false;
    }
    if (buffer.busy) return false;
    pixels = buffer.pixels;
    record = &buffer.record;
    return true;
}

void presentFrame(const FrameChanges& changes, bool whole)
{
    FrameBuffer& buffer = presenting.buffer;
    XImage* image = imageOf(buffer);
    if (image == nullptr || buffer.busy || (changes.count == 0 && !whole)) return;
    const ScreenRect all{0, 0, buffer.pixels.width, buffer.pixels.height};
    const ScreenRect* rects = whole ? &all : changes.rects;
    const int count = whole ? 1 : changes.count;
    const int64_t start = monotonicNanos();
    for (int i = 0; i < count; ++i) {
        const ScreenRect& r = rects[i];
        if (buffer.shared.image != nullptr) {
            // Only the last put asks for a completion: the server handles them in order.
            const bool last = i == count - 1;
            if (last) buffer.putSerial = NextRequest(presenting.display);
            XShmPutImage(presenting.display, presenting.window, presenting.gc, image, r.x, r.y, r.x, r.y,
                         static_cast<unsigned>(r.width), static_cast<unsigned>(r.height), last ? True : False);
        } else {
            XPutImage(presenting.display, presenting.window, presenting.gc, image, r.x, r.y, r.x, r.y,
                      static_cast<unsigned>(r.width), static_cast<unsigned>(r.height));
        }
    }
    XFlush(presenting.display);
    if (buffer.shared.image != nullptr) {
        buffer.busy = true;
        buffer.sentAt = start;
    } else {
        recordPresentTime(monotonicNanos() - start);
    }
}

// A completion for a segment of an earlier size is ignored: that buffer is gone. So is one of an
// earlier put of the same segment, late after the buffer was taken back as lost: the server may
// still be reading the current put.
bool takeCompletion(const XEvent& event)
{
    if (!presenting.useShm || event.type != presenting.completionType) return false;
    const XShmCompletionEvent& completion = reinterpret_cast<const XShmCompletionEvent&>(event);
    FrameBuffer& buffer = presenting.buffer;
    const bool earlierPut = static_cast<long>(completion.serial - buffer.putSerial) < 0;
    if (buffer.busy && buffer.shared.image != nullptr && buffer.shared.segment.shmseg == completion.shmseg &&
        !earlierPut) {
        buffer.busy = false;
        recordPresentTime(monotonicNanos() - buffer.sentAt);
    }
    return true;
}

bool takePresentTime(int64_t& nanoseconds)
{
    if (presenting.presentTimeCount == 0) return false;
    nanoseconds = presenting.presentTimes[0];
    --presenting.presentTimeCount;
    for (int i = 0; i < presenting.presentTimeCount; ++i)
        presenting.presentTimes[i] = presenting.presentTimes[i + 1];
    return true;
}

void closePresenting()
{
    if (presenting.display == nullptr) return;
    releaseBuffer(presenting.buffer);
    if (presenting.gc != nullptr) XFreeGC(presenting.display, presenting.gc);
    presenting = Presenting{};
}
