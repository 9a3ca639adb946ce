// The desktop copy of the X11 display mode: read through shared memory where it can.
#include "saver/desktop_copy_x11.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>

#include <cstring>
#include <system_error>
#include <thread>

#include "saver/error_trap_x11.h"
#include "saver/frame_buffer_x11.h"
#include "saver/pages_linux.h"

namespace {

// No desktop copy larger than this many pixels is made (256 MiB).
constexpr int64_t kMaxPixels = int64_t{1} << 26;

struct DesktopCopy {
    OwnedPixels memory;
    DesktopPixels pixels;
    bool present;
};

DesktopCopy copy;

// The drawable's pixels through shared memory, straight into a segment: the frame's own when it
// is large enough (the server then has its pages in hand before the first frame is shown), else
// a segment of the drawable's size, freed after. False when MIT-SHM is not in use, the drawable's
// depth is not the window's, or the read fails; the segment's contents are then undefined.
bool readThroughSegment(Display* display, Drawable drawable, Visual* visual, unsigned width, unsigned height,
                        unsigned depth, XImage*& image, SharedImage& temporary)
{
    image = imageOverFrameSegment(width, height, depth);
    if (image == nullptr && makeSharedImage(display, visual, depth, static_cast<int32_t>(width),
                                            static_cast<int32_t>(height), temporary))
        image = temporary.image;
    if (image == nullptr) return false;
    // The segment's pages are touched on a second thread while the server writes it, so that
    // their first access overlaps the server's work instead of following it.
    std::thread toucher;
    try {
        toucher = std::thread(touchPages, image->data, static_cast<size_t>(image->bytes_per_line) * height);
    } catch (const std::system_error&) {
        // No second thread: the copy touches the pages itself.
    }
    beginTrap(display);
    const Bool read = XShmGetImage(display, drawable, image, 0, 0, AllPlanes);
    const bool failed = endTrap(display) != 0 || !read;
    if (toucher.joinable()) toucher.join();
    return !failed;
}

// Frees an image read by readThroughSegment or XGetImage: the XImage only when its data is a
// segment, the reply's pixels with it otherwise.
void releaseImage(Display* display, XImage* image, SharedImage& temporary)
{
    if (image != nullptr && image != temporary.image) XDestroyImage(image);
    releaseSharedImage(display, temporary);
}

// On a 32-bit window the top byte is alpha: a copy of a 24-bit drawable has it 0, which a
// compositing manager would show as transparent. Made opaque once, here.
void makeOpaque(char* pixels, unsigned width, unsigned height, size_t stride)
{
    for (unsigned row = 0; row < height; ++row) {
        uint32_t* pixel = reinterpret_cast<uint32_t*>(pixels + row * stride);
        for (unsigned column = 0; column < width; ++column) pixel[column] |= 0xff000000u;
    }
}

}  // namespace

void copyDesktop(Display* display, Drawable drawable, Visual* visual, int windowDepth)
{
    Window rootOfDrawable;
    int left;
    int top;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border;
    unsigned depth;
    beginTrap(display);
    const Status known =
        XGetGeometry(display, drawable, &rootOfDrawable, &left, &top, &width, &height, &border, &depth);
    if (endTrap(display) != 0 || !known || width == 0 || height == 0 || int64_t{width} * height > kMaxPixels ||
        (depth != 24 && depth != 32))
        return;
    SharedImage temporary;
    XImage* image = nullptr;
    const bool shared = presentsThroughSegments() && depth == static_cast<unsigned>(windowDepth) &&
                        readThroughSegment(display, drawable, visual, width, height, depth, image, temporary);
    if (!shared) {
        releaseImage(display, image, temporary);
        beginTrap(display);
        image = XGetImage(display, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
        if (endTrap(display) != 0 && image != nullptr) {
            XDestroyImage(image);
            image = nullptr;
        }
    }
    const bool usable = image != nullptr && image->bits_per_pixel == 32 && image->byte_order == hostByteOrder() &&
                        image->bytes_per_line % 4 == 0 && image->bytes_per_line / 4 >= static_cast<int>(width);
    const size_t stride = usable ? static_cast<size_t>(image->bytes_per_line) : 0;
    OwnedPixels memory = usable ? mapPixels(stride * height) : OwnedPixels{};
    if (memory.address != nullptr) std::memcpy(memory.address, image->data, stride * height);
    releaseImage(display, image, temporary);
    if (memory.address == nullptr) return;
    if (windowDepth == 32) makeOpaque(static_cast<char*>(memory.address), width, height, stride);
    releaseDesktopCopy();
    copy.memory = memory;
    copy.pixels = {static_cast<const uint32_t*>(memory.address), static_cast<int32_t>(width),
                   static_cast<int32_t>(height), static_cast<int32_t>(stride)};
    copy.present = true;
}

void copyHostScreenshot(Display* display, Window window, Visual* visual, int windowDepth)
{
    const Atom name = XInternAtom(display, "_SCREENSAVER_SCREENSHOT", False);
    const Window root = DefaultRootWindow(display);
    for (Window holder : {window, root}) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        beginTrap(display);
        const int status = XGetWindowProperty(display, holder, name, 0, 1, False, XA_PIXMAP, &type, &format,
                                              &count, &after, &data);
        const bool failed = endTrap(display) != 0 || status != Success;
        Pixmap pixmap = None;
        if (!failed && type == XA_PIXMAP && format == 32 && count == 1 && data != nullptr)
            pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
        if (data != nullptr) XFree(data);
        if (pixmap != None) {
            copyDesktop(display, pixmap, visual, windowDepth);
            return;
        }
        if (holder == root) return;
    }
}

const DesktopPixels* desktopCopy()
{
    return copy.present ? &copy.pixels : nullptr;
}

void releaseDesktopCopy()
{
    unmapPixels(copy.memory);
    copy = DesktopCopy{};
}
