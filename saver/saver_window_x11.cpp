// The target window of the X11 display mode: its size, monitor, desktop copy and presentation.
#include "saver/saver_window_x11.h"

#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <system_error>
#include <thread>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <X11/extensions/Xrandr.h>
#include <X11/extensions/XShm.h>

#include "saver/ball_pictures.h"

SaverWindowState saverWindow;

namespace {

// No frame buffer, desktop copy or window larger than this many pixels is made (256 MiB).
constexpr int64_t kMaxPixels = int64_t{1} << 26;
constexpr int kMaxMonitors = 16;
// A completion not received after this long is taken as lost.
constexpr int64_t kLostCompletionNanos = 1000000000;
// Present times kept until they are reported.
constexpr int kMaxPresentTimes = 4;
// A buffer this large is mapped in whole pages of this size, where the kernel offers them.
constexpr size_t kHugePage = size_t{2} << 20;

// Pixels in a private mapping that this file makes and frees.
struct OwnedPixels {
    void* address;
    size_t bytes;  // mapped: the size asked for, rounded up to whole pages
};

struct FrameBuffer {
    XImage* image;
    XShmSegmentInfo segment;
    size_t segmentBytes;
    OwnedPixels owned; // the pixels of an image sent with XPutImage
    bool shared;       // the image lives in a segment the server has attached
    bool busy;         // sent with XShmPutImage, completion not yet received
    int64_t sentAt;    // CLOCK_MONOTONIC nanoseconds of the put
    unsigned long putSerial;  // the request number of the put
    FramePixels pixels;
};

struct WindowSystem {
    Display* display;
    Window root;
    Window window;
    bool ownWindow;
    Visual* visual;
    int depth;
    Colormap colormap;  // made for an own window whose visual is not the default one
    GC gc;
    Atom deleteWindow;
    bool useShm;
    int completionType;
    int screenChangeType;  // RRScreenChangeNotify, or -1 without RandR
    // One buffer: the server has shown a frame within a millisecond or two, long before the
    // next tick, so a second one would only double the memory and the first-touch cost of each
    // new size. A tick that finds it still being read is not drawn.
    FrameBuffer buffer;
    ScreenRect monitors[kMaxMonitors];
    int monitorCount;
    ScreenRect screen;
    int configuredX;  // the window's position in its last ConfigureNotify
    int configuredY;
    OwnedPixels desktopPixels;
    DesktopPixels desktop;
    bool hasDesktop;
    // Finished presentations not yet reported, in nanoseconds.
    int64_t presentTimes[kMaxPresentTimes];
    int presentTimeCount;
    // The last X error, for the calls made inside a trap.
    int lastError;
    // The segment being attached, not yet marked for removal; -1 when none.
    int attachingShmid = -1;
};

// Our side of the connection: the display, the target window, its buffer and what was read.
WindowSystem xlib;

bool hostIsLittleEndian() {
    const uint32_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    return first == 1;
}

int hostByteOrder() { return hostIsLittleEndian() ? LSBFirst : MSBFirst; }

// Asks the kernel for every page of a new buffer at once. Page by page, on first touch, a
// 1920 x 1080 frame takes about 2,000 faults, which on a virtual machine cost 40-60 ms; at
// once, 5-10 ms. Advice only: a kernel without it (EINVAL) gives the pages on first touch.
void populate(void* address, size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    madvise(address, bytes, MADV_POPULATE_WRITE);
#else
    (void)address;
    (void)bytes;
#endif
}

// A private, populated buffer of at least bytes, or an empty one when memory runs out. A large
// buffer is aligned to and rounded up to whole 2 MiB pages and asks for them: its first touch
// then costs a few faults instead of thousands, and touching the pages for the first time is
// several times faster on a virtual machine.
OwnedPixels mapPixels(size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t unit = bytes >= kHugePage ? kHugePage : page;
    const size_t rounded = (bytes + unit - 1) / unit * unit;
    const size_t slack = unit > page ? unit : 0;  // room to move the start to a whole 2 MiB page
    void* mapped = mmap(nullptr, rounded + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return {nullptr, 0};
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + unit - 1) / unit * unit;
    if (aligned > start)
        munmap(mapped, aligned - start);
    if (start + slack > aligned)
        munmap(reinterpret_cast<void*>(aligned + rounded), start + slack - aligned);
    void* address = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    if (unit == kHugePage)
        madvise(address, rounded, MADV_HUGEPAGE);  // advice only, like populate
#endif
    populate(address, rounded);
    return {address, rounded};
}

// Reads one byte of each page of [address, address + bytes). The first access to each page of a
// new mapping costs several microseconds on a virtual machine, populated or not (10 ms for a
// frame here); on a second thread while the server writes into the segment, that time overlaps
// the server's own instead of following it. The pages' contents do not matter here.
void touchPages(const volatile char* address, size_t bytes) {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t offset = 0; offset < bytes; offset += page)
        static_cast<void>(address[offset]);
}

void unmapPixels(OwnedPixels& pixels) {
    if (pixels.address != nullptr)
        munmap(pixels.address, pixels.bytes);
    pixels = {nullptr, 0};
}

// Errors are expected: the host may destroy its window at any moment. An error about the target
// window means it is gone, which ends the run like its DestroyNotify.
int onXError(Display*, XErrorEvent* error) {
    xlib.lastError = error->error_code;
    if (xlib.window != 0 && error->resourceid == xlib.window &&
        (error->error_code == BadWindow || error->error_code == BadDrawable))
        saverWindow.ended = true;
    return 0;
}

// The connection is gone. Xlib ends the process when this returns, so end here with 0; every
// segment is already marked for removal unless it was being attached, so remove that one too.
int onXIOError(Display*) {
    if (xlib.attachingShmid >= 0)
        shmctl(xlib.attachingShmid, IPC_RMID, nullptr);
    _exit(0);
}

void beginTrap() {
    XSync(xlib.display, False);
    xlib.lastError = 0;
}

int endTrap() {
    XSync(xlib.display, False);
    return xlib.lastError;
}

bool isUsableVisual(const Visual* visual, int depth) {
    return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
}

// MIT-SHM only over a local (Unix socket) connection to a server that offers it.
bool canUseShm() {
    if (!XShmQueryExtension(xlib.display))
        return false;
    sockaddr_storage address;
    socklen_t length = sizeof address;
    if (getsockname(ConnectionNumber(xlib.display), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return false;
    return address.ss_family == AF_UNIX && ImageByteOrder(xlib.display) == hostByteOrder();
}

void readMonitors() {
    xlib.monitorCount = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(xlib.display, &eventBase, &errorBase) ||
        !XRRQueryVersion(xlib.display, &major, &minor) || major < 1 || (major == 1 && minor < 5))
        return;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(xlib.display, xlib.root, True, &count);
    if (monitors == nullptr)
        return;
    for (int i = 0; i < count && xlib.monitorCount < kMaxMonitors; ++i)
        xlib.monitors[xlib.monitorCount++] = {monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height};
    XRRFreeMonitors(monitors);
}

// The window's place on the screen and the monitor that shows it.
void chooseMonitor() {
    int left = 0;
    int top = 0;
    Window child;
    if (xlib.window != xlib.root)
        XTranslateCoordinates(xlib.display, xlib.window, xlib.root, 0, 0, &left, &top, &child);
    saverWindow.placement = {left, top, saverWindow.width, saverWindow.height};
    saverWindow.monitor = monitorForWindow(xlib.monitors, xlib.monitorCount, saverWindow.placement, xlib.screen);
}

bool makeSharedBuffer(FrameBuffer& buffer, int32_t width, int32_t height);
void releaseBuffer(FrameBuffer& buffer);

// The drawable's pixels through shared memory, straight into a segment: the frame's own when it
// is large enough (the server then has its pages in hand before the first frame is shown), else
// a segment of the drawable's size, freed after. False when MIT-SHM is not in use, the drawable's
// depth is not the window's, or the read fails; the segment's contents are then undefined.
bool readThroughSegment(Drawable drawable, unsigned width, unsigned height, unsigned depth, XImage*& image,
                        FrameBuffer& temporary) {
    if (!xlib.useShm || depth != static_cast<unsigned>(xlib.depth))
        return false;
    const size_t bytes = size_t{width} * height * 4;
    if (xlib.buffer.shared && bytes <= xlib.buffer.segmentBytes) {
        image = XShmCreateImage(xlib.display, xlib.visual, depth, ZPixmap, xlib.buffer.segment.shmaddr,
                                &xlib.buffer.segment, width, height);
        if (image != nullptr && static_cast<size_t>(image->bytes_per_line) * height > xlib.buffer.segmentBytes) {
            XDestroyImage(image);  // frees the XImage only; data is the segment
            image = nullptr;
        }
    } else if (makeSharedBuffer(temporary, static_cast<int32_t>(width), static_cast<int32_t>(height))) {
        image = temporary.image;
    }
    if (image == nullptr)
        return false;
    std::thread toucher;
    try {
        toucher = std::thread(touchPages, image->data, static_cast<size_t>(image->bytes_per_line) * height);
    } catch (const std::system_error&) {
        // No second thread: the copy touches the pages itself.
    }
    beginTrap();
    const Bool read = XShmGetImage(xlib.display, drawable, image, 0, 0, AllPlanes);
    const bool failed = endTrap() != 0 || !read;
    if (toucher.joinable())
        toucher.join();
    return !failed;
}

// A copy of drawable in the frame's format, or nothing when it cannot be read or has another
// format. Read once, into memory of this file's own; it stays for the run, so a resize scales the
// same copy again. Reads through shared memory where it can, else in the reply to XGetImage.
void copyDesktop(Drawable drawable) {
    Window rootOfDrawable;
    int left;
    int top;
    unsigned width = 0;
    unsigned height = 0;
    unsigned border;
    unsigned depth;
    beginTrap();
    const Status known = XGetGeometry(xlib.display, drawable, &rootOfDrawable, &left, &top, &width, &height,
                                      &border, &depth);
    if (endTrap() != 0 || !known || width == 0 || height == 0 ||
        int64_t{width} * height > kMaxPixels || (depth != 24 && depth != 32))
        return;
    FrameBuffer temporary{};
    temporary.segment.shmid = -1;
    XImage* image = nullptr;
    const bool shared = readThroughSegment(drawable, width, height, depth, image, temporary);
    if (!shared) {
        if (image != nullptr && image != temporary.image)
            XDestroyImage(image);
        releaseBuffer(temporary);
        beginTrap();
        image = XGetImage(xlib.display, drawable, 0, 0, width, height, AllPlanes, ZPixmap);
        if (endTrap() != 0 && image != nullptr) {
            XDestroyImage(image);
            image = nullptr;
        }
    }
    const bool usable = image != nullptr && image->bits_per_pixel == 32 && image->byte_order == hostByteOrder() &&
                        image->bytes_per_line % 4 == 0 && image->bytes_per_line / 4 >= static_cast<int>(width);
    const size_t stride = usable ? static_cast<size_t>(image->bytes_per_line) : 0;
    OwnedPixels copy = usable ? mapPixels(stride * height) : OwnedPixels{nullptr, 0};
    if (copy.address != nullptr)
        std::memcpy(copy.address, image->data, stride * height);
    // Frees the XImage only when its data is a segment; the reply's pixels with it otherwise.
    if (image != nullptr && image != temporary.image)
        XDestroyImage(image);
    releaseBuffer(temporary);
    if (copy.address == nullptr)
        return;
    // On a 32-bit window the top byte is alpha: a copy of a 24-bit drawable has it 0, which a
    // compositing manager would show as transparent. Made opaque once, here.
    if (xlib.depth == 32) {
        for (unsigned row = 0; row < height; ++row) {
            uint32_t* pixel = reinterpret_cast<uint32_t*>(static_cast<char*>(copy.address) + row * stride);
            for (unsigned column = 0; column < width; ++column)
                pixel[column] |= 0xff000000u;
        }
    }
    xlib.desktopPixels = copy;
    xlib.desktop = {static_cast<const uint32_t*>(copy.address), static_cast<int32_t>(width),
                 static_cast<int32_t>(height), static_cast<int32_t>(stride)};
    xlib.hasDesktop = true;
}

// The host's copy of the screen: the pixmap named by _SCREENSAVER_SCREENSHOT on the window, or
// else on the root.
void copyHostScreenshot() {
    const Atom name = XInternAtom(xlib.display, "_SCREENSAVER_SCREENSHOT", False);
    for (Window holder : {xlib.window, xlib.root}) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0;
        unsigned long after = 0;
        unsigned char* data = nullptr;
        beginTrap();
        const int status = XGetWindowProperty(xlib.display, holder, name, 0, 1, False, XA_PIXMAP, &type, &format,
                                              &count, &after, &data);
        const bool failed = endTrap() != 0 || status != Success;
        Pixmap pixmap = None;
        if (!failed && type == XA_PIXMAP && format == 32 && count == 1 && data != nullptr)
            pixmap = static_cast<Pixmap>(*reinterpret_cast<unsigned long*>(data));
        if (data != nullptr)
            XFree(data);
        if (pixmap != None) {
            copyDesktop(pixmap);
            return;
        }
        if (holder == xlib.root)
            return;
    }
}

void releaseBuffer(FrameBuffer& buffer) {
    if (buffer.image == nullptr)
        return;
    if (buffer.shared) {
        XShmDetach(xlib.display, &buffer.segment);
        XDestroyImage(buffer.image);  // frees the XImage only; data is the segment
        shmdt(buffer.segment.shmaddr);
    } else {
        buffer.image->data = nullptr;  // the pixels are this file's own
        XDestroyImage(buffer.image);
        unmapPixels(buffer.owned);
    }
    buffer = FrameBuffer{};
    buffer.segment.shmid = -1;
}

// A buffer in a segment that both the program and the server have attached, already marked for
// removal, and populated; false when MIT-SHM fails here (the caller falls back to XPutImage).
// The server may write it too: the desktop copy is read into it.
bool makeSharedBuffer(FrameBuffer& buffer, int32_t width, int32_t height) {
    buffer.segment.shmid = -1;
    XImage* image = XShmCreateImage(xlib.display, xlib.visual, static_cast<unsigned>(xlib.depth), ZPixmap, nullptr,
                                    &buffer.segment, static_cast<unsigned>(width),
                                    static_cast<unsigned>(height));
    if (image == nullptr)
        return false;
    if (image->bits_per_pixel != 32) {
        XDestroyImage(image);
        return false;
    }
    const size_t bytes = static_cast<size_t>(image->bytes_per_line) * static_cast<size_t>(height);
    buffer.segment.shmid = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (buffer.segment.shmid < 0) {
        XDestroyImage(image);
        return false;
    }
    void* address = shmat(buffer.segment.shmid, nullptr, 0);
    if (address == reinterpret_cast<void*>(-1)) {
        shmctl(buffer.segment.shmid, IPC_RMID, nullptr);
        buffer.segment.shmid = -1;
        XDestroyImage(image);
        return false;
    }
    populate(address, bytes);
    buffer.segment.shmaddr = image->data = static_cast<char*>(address);
    buffer.segment.readOnly = False;
    buffer.segmentBytes = bytes;
    buffer.image = image;
    xlib.attachingShmid = buffer.segment.shmid;
    beginTrap();
    const Bool attached = XShmAttach(xlib.display, &buffer.segment);
    const bool failed = endTrap() != 0 || !attached;
    // Both sides have it now (or the server never will): nothing is left behind at any end.
    shmctl(buffer.segment.shmid, IPC_RMID, nullptr);
    xlib.attachingShmid = -1;
    if (failed) {
        XDestroyImage(image);
        shmdt(address);
        buffer = FrameBuffer{};
        buffer.segment.shmid = -1;
        return false;
    }
    buffer.shared = true;
    return true;
}

bool makePlainBuffer(FrameBuffer& buffer, int32_t width, int32_t height) {
    buffer.segment.shmid = -1;
    XImage* image = XCreateImage(xlib.display, xlib.visual, static_cast<unsigned>(xlib.depth), ZPixmap, 0, nullptr,
                                 static_cast<unsigned>(width), static_cast<unsigned>(height), 32, 0);
    if (image == nullptr)
        return false;
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
    buffer.image = image;
    return true;
}

// The frame buffer for the current size; none for a window without area.
bool makeBuffer() {
    releaseBuffer(xlib.buffer);
    const int32_t width = saverWindow.width;
    const int32_t height = saverWindow.height;
    if (width <= 0 || height <= 0)
        return true;
    if (int64_t{width} * height > kMaxPixels)
        return false;
    // A server or system that cannot share memory with us after all gets XPutImage.
    if (xlib.useShm && !makeSharedBuffer(xlib.buffer, width, height))
        xlib.useShm = false;
    if (!xlib.useShm && !makePlainBuffer(xlib.buffer, width, height))
        return false;
    xlib.buffer.pixels = {reinterpret_cast<uint32_t*>(xlib.buffer.image->data), width, height,
                       xlib.buffer.image->bytes_per_line};
    return true;
}

// Finds the target window and its visual; the own window is made on the default screen.
int settleTargetWindow(const Options& options) {
    if (options.target == TargetKind::ownWindow) {
        XVisualInfo info;
        const int screen = DefaultScreen(xlib.display);
        if (!XMatchVisualInfo(xlib.display, screen, 24, TrueColor, &info) || !isUsableVisual(info.visual, 24)) {
            std::fprintf(stderr, "zephyrine: the display has no 24-bit TrueColor visual\n");
            return 1;
        }
        xlib.visual = info.visual;
        xlib.depth = 24;
        xlib.ownWindow = true;
        saverWindow.width = options.width;
        saverWindow.height = options.height;
        return 0;
    }

    const char* source = options.target == TargetKind::windowId ? "--window-id" : "XSCREENSAVER_WINDOW";
    xlib.window = options.windowId != 0 ? static_cast<Window>(options.windowId) : xlib.root;
    XWindowAttributes attributes;
    beginTrap();
    const Status known = XGetWindowAttributes(xlib.display, xlib.window, &attributes);
    if (endTrap() != 0 || !known) {
        std::fprintf(stderr, "zephyrine: %s 0x%lx: no such window\n", source, xlib.window);
        return 1;
    }
    if (!isUsableVisual(attributes.visual, attributes.depth)) {
        std::fprintf(stderr, "zephyrine: the window's visual is not 24- or 32-bit TrueColor\n");
        return 1;
    }
    xlib.visual = attributes.visual;
    xlib.depth = attributes.depth;
    saverWindow.width = attributes.width;
    saverWindow.height = attributes.height;
    // Only the window's own fate: input is the host's.
    beginTrap();
    XSelectInput(xlib.display, xlib.window, StructureNotifyMask);
    if (endTrap() != 0) {
        saverWindow.ended = true;  // destroyed between the two calls
        return 0;
    }
    // The size may have changed before the selection took effect.
    beginTrap();
    const Status stillThere = XGetWindowAttributes(xlib.display, xlib.window, &attributes);
    if (endTrap() != 0 || !stillThere) {
        saverWindow.ended = true;
        return 0;
    }
    saverWindow.width = attributes.width;
    saverWindow.height = attributes.height;
    return 0;
}

void makeOwnWindow() {
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | KeyPressMask | ButtonPressMask;
    if (xlib.visual != DefaultVisual(xlib.display, DefaultScreen(xlib.display))) {
        xlib.colormap = XCreateColormap(xlib.display, xlib.root, xlib.visual, AllocNone);
        attributes.colormap = xlib.colormap;
        mask |= CWColormap;
    }
    xlib.window = XCreateWindow(xlib.display, xlib.root, 0, 0, static_cast<unsigned>(saverWindow.width),
                             static_cast<unsigned>(saverWindow.height), 0, xlib.depth, InputOutput, xlib.visual,
                             mask, &attributes);
    XStoreName(xlib.display, xlib.window, "Zephyrine");
    XClassHint classHint;
    char resName[] = "zephyrine";
    char resClass[] = "Zephyrine";
    classHint.res_name = resName;
    classHint.res_class = resClass;
    XSetClassHint(xlib.display, xlib.window, &classHint);
    xlib.deleteWindow = XInternAtom(xlib.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(xlib.display, xlib.window, &xlib.deleteWindow, 1);
}

void onKeyPress(XKeyEvent& event) {
    const KeySym key = XLookupKeysym(&event, 0);
    if (key == XK_q || key == XK_Q || key == XK_Escape)
        saverWindow.ended = true;
}

// A move can take a top-level window to another monitor: laid out again like a resize.
void onConfigure(const XConfigureEvent& event) {
    if (event.window != xlib.window)
        return;
    if (event.width != saverWindow.width || event.height != saverWindow.height ||
        event.x != xlib.configuredX || event.y != xlib.configuredY) {
        saverWindow.width = event.width;
        saverWindow.height = event.height;
        xlib.configuredX = event.x;
        xlib.configuredY = event.y;
        saverWindow.resized = true;
    }
}

void recordPresentTime(int64_t nanoseconds) {
    if (xlib.presentTimeCount < kMaxPresentTimes)
        xlib.presentTimes[xlib.presentTimeCount++] = nanoseconds;
}

// A completion for a segment of an earlier size is ignored: that buffer is gone. So is one of an
// earlier put of the same segment, late after the buffer was taken back as lost: the server may
// still be reading the current put.
void onCompletion(const XShmCompletionEvent& event) {
    FrameBuffer& buffer = xlib.buffer;
    const bool earlierPut = static_cast<long>(event.serial - buffer.putSerial) < 0;
    if (buffer.busy && buffer.shared && buffer.segment.shmseg == event.shmseg && !earlierPut) {
        buffer.busy = false;
        recordPresentTime(monotonicNanos() - buffer.sentAt);
    }
}

void handleEvent(XEvent& event) {
    if (xlib.useShm && event.type == xlib.completionType) {
        onCompletion(reinterpret_cast<XShmCompletionEvent&>(event));
        return;
    }
    // The monitors or the screen's size changed: the window's monitor is chosen again.
    if (event.type == xlib.screenChangeType) {
        XRRUpdateConfiguration(&event);
        saverWindow.resized = true;
        return;
    }
    switch (event.type) {
        case ConfigureNotify: onConfigure(event.xconfigure); break;
        case DestroyNotify:
            if (event.xdestroywindow.window == xlib.window)
                saverWindow.ended = true;
            break;
        case KeyPress: if (xlib.ownWindow) onKeyPress(event.xkey); break;
        case ButtonPress: if (xlib.ownWindow) saverWindow.ended = true; break;
        case ClientMessage:
            if (xlib.ownWindow && event.xclient.format == 32 &&
                static_cast<Atom>(event.xclient.data.l[0]) == xlib.deleteWindow)
                saverWindow.ended = true;
            break;
        default: break;
    }
}

}  // namespace

int64_t monotonicNanos() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return int64_t{now.tv_sec} * 1000000000 + now.tv_nsec;
}

int openSaverWindow(const Options& options) {
    xlib = WindowSystem{};
    xlib.buffer.segment.shmid = -1;
    saverWindow = SaverWindowState{};
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
    xlib.display = XOpenDisplay(nullptr);
    if (xlib.display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || name[0] == '\0')
            std::fprintf(stderr, "zephyrine: DISPLAY is not set\n");
        else
            std::fprintf(stderr, "zephyrine: cannot open display \"%s\"\n", name);
        return 1;
    }
    const int screen = DefaultScreen(xlib.display);
    xlib.root = RootWindow(xlib.display, screen);
    xlib.screen = {0, 0, DisplayWidth(xlib.display, screen), DisplayHeight(xlib.display, screen)};
    const int settled = settleTargetWindow(options);
    if (settled != 0)
        return settled;
    if (int64_t{saverWindow.width} * saverWindow.height > kMaxPixels) {
        std::fprintf(stderr, "%s\n", kNoMemoryMessage);
        return kNoMemoryExit;
    }
    readMonitors();
    int randrEvents = 0;
    int randrErrors = 0;
    xlib.screenChangeType = -1;
    if (XRRQueryExtension(xlib.display, &randrEvents, &randrErrors)) {
        xlib.screenChangeType = randrEvents + RRScreenChangeNotify;
        XRRSelectInput(xlib.display, xlib.root, RRScreenChangeNotifyMask);  // not input: the host keeps it
    }
    if (xlib.ownWindow)
        makeOwnWindow();
    xlib.gc = XCreateGC(xlib.display, xlib.window, 0, nullptr);
    XSetGraphicsExposures(xlib.display, xlib.gc, False);
    xlib.useShm = canUseShm();
    xlib.completionType = xlib.useShm ? XShmGetEventBase(xlib.display) + ShmCompletion : -1;
    chooseMonitor();
    if (!makeBuffer()) {
        std::fprintf(stderr, "%s\n", kNoMemoryMessage);
        return kNoMemoryExit;
    }
    // After the frame buffer, so the copy can be read through its segment.
    if (options.display.backgroundType == 0) {
        if (xlib.ownWindow)
            copyDesktop(xlib.root);  // before the window is mapped, so it is not in the copy
        else
            copyHostScreenshot();
    }
    return 0;
}

void showSaverWindow() {
    if (xlib.ownWindow)
        XMapWindow(xlib.display, xlib.window);
    XFlush(xlib.display);
}

int saverWindowFd() { return ConnectionNumber(xlib.display); }

void handleWindowEvents() {
    while (XPending(xlib.display) > 0) {
        XEvent event;
        XNextEvent(xlib.display, &event);
        handleEvent(event);
    }
}

bool windowEventsQueued() { return XEventsQueued(xlib.display, QueuedAlready) > 0; }

bool applyResize() {
    saverWindow.resized = false;
    readMonitors();
    const int screen = DefaultScreen(xlib.display);
    xlib.screen = xlib.window == xlib.root
                      ? ScreenRect{0, 0, saverWindow.width, saverWindow.height}
                      : ScreenRect{0, 0, DisplayWidth(xlib.display, screen), DisplayHeight(xlib.display, screen)};
    chooseMonitor();
    // A move or a monitor change keeps the buffer.
    if (xlib.buffer.image != nullptr && xlib.buffer.pixels.width == saverWindow.width &&
        xlib.buffer.pixels.height == saverWindow.height)
        return true;
    return makeBuffer();
}

const DesktopPixels* desktopCopy() { return xlib.hasDesktop ? &xlib.desktop : nullptr; }

const FramePixels* freeFrameBuffer() {
    FrameBuffer& buffer = xlib.buffer;
    if (buffer.image == nullptr)
        return nullptr;
    // A put that failed (a server error) sends no completion. Once the server has answered a
    // round trip it has done with every earlier request, so the buffer is free again; this
    // costs one round trip a second at most, and only when something went wrong.
    if (buffer.busy && monotonicNanos() - buffer.sentAt > kLostCompletionNanos) {
        XSync(xlib.display, False);
        buffer.busy = false;
    }
    return buffer.busy ? nullptr : &buffer.pixels;
}

void presentFrame() {
    FrameBuffer& buffer = xlib.buffer;
    if (buffer.image == nullptr || buffer.busy)
        return;
    const unsigned width = static_cast<unsigned>(buffer.pixels.width);
    const unsigned height = static_cast<unsigned>(buffer.pixels.height);
    const int64_t start = monotonicNanos();
    if (buffer.shared) {
        buffer.putSerial = NextRequest(xlib.display);
        XShmPutImage(xlib.display, xlib.window, xlib.gc, buffer.image, 0, 0, 0, 0, width, height, True);
        buffer.busy = true;
        buffer.sentAt = start;
        XFlush(xlib.display);
        return;
    }
    XPutImage(xlib.display, xlib.window, xlib.gc, buffer.image, 0, 0, 0, 0, width, height);
    XFlush(xlib.display);
    recordPresentTime(monotonicNanos() - start);
}

bool takePresentTime(int64_t& nanoseconds) {
    if (xlib.presentTimeCount == 0)
        return false;
    nanoseconds = xlib.presentTimes[0];
    --xlib.presentTimeCount;
    for (int i = 0; i < xlib.presentTimeCount; ++i)
        xlib.presentTimes[i] = xlib.presentTimes[i + 1];
    return true;
}

void closeSaverWindow() {
    if (xlib.display == nullptr)
        return;
    releaseBuffer(xlib.buffer);
    unmapPixels(xlib.desktopPixels);
    if (xlib.gc != nullptr)
        XFreeGC(xlib.display, xlib.gc);
    if (xlib.ownWindow && xlib.window != 0)
        XDestroyWindow(xlib.display, xlib.window);
    if (xlib.colormap != 0)
        XFreeColormap(xlib.display, xlib.colormap);
    XCloseDisplay(xlib.display);
    xlib = WindowSystem{};
}
