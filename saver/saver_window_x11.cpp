// The target window of the X11 display mode: finding or making it, and its events.
#include "saver/saver_window_x11.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include "saver/clock_linux.h"
#include "saver/desktop_copy_x11.h"
#include "saver/error_trap_x11.h"
#include "saver/frame_buffer_x11.h"
#include "saver/monitors_x11.h"

namespace {

// No window larger than this many pixels is drawn on (256 MiB of frame).
constexpr int64_t kMaxPixels = int64_t{1} << 26;
// A host's window, whose exposures are not ours to select, is presented whole this often.
constexpr int64_t kWholePresentNanos = 1000000000;

struct SaverWindow {
    Display* display;
    Window root;
    Window window;
    bool ownWindow;
    Visual* visual;
    int depth;
    Colormap colormap;  // made for an own window whose visual is not the default one
    Atom deleteWindow;
    int screenChangeType;  // RRScreenChangeNotify, or -1 without RandR
    int32_t width;
    int32_t height;
    int configuredX;  // the window's position in its last ConfigureNotify
    int configuredY;
    ScreenRect place;
    MonitorList monitors;
    uint32_t serial;
    bool changed;       // size, place or monitors changed since applyWindowChanges
    bool ended;
    bool exposed;       // the window lost pixels: the next frame is presented whole
    int64_t wholeAt;    // when the last whole frame was presented
};

SaverWindow saver;

bool isUsableVisual(const Visual* visual, int depth)
{
    return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
}

Failure failure(int exitCode, const std::string& message) { return {exitCode, "zephyrine: " + message}; }

// The window's place on the screen, the monitors and the screen, read again.
void readPlace()
{
    int left = 0;
    int top = 0;
    Window child;
    if (saver.window != saver.root)
        XTranslateCoordinates(saver.display, saver.window, saver.root, 0, 0, &left, &top, &child);
    saver.place = {left, top, saver.width, saver.height};
    readMonitors(saver.display, saver.window, saver.width, saver.height, saver.monitors);
    ++saver.serial;
}

// The own window is made on the default screen's 24-bit TrueColor visual.
Failure chooseOwnWindow(const WindowRequest& request)
{
    XVisualInfo info;
    if (!XMatchVisualInfo(saver.display, DefaultScreen(saver.display), 24, TrueColor, &info) ||
        !isUsableVisual(info.visual, 24))
        return failure(1, "the display has no 24-bit TrueColor visual");
    saver.visual = info.visual;
    saver.depth = 24;
    saver.ownWindow = true;
    saver.width = request.width;
    saver.height = request.height;
    return {};
}

// The host's window or the root: it must exist and have a usable visual; only its own fate is
// selected (input is the host's). One destroyed meanwhile ends the run at its first events.
Failure findHostWindow(const WindowRequest& request)
{
    const char* source = request.target == WindowRequest::Target::windowId ? "--window-id" : "XSCREENSAVER_WINDOW";
    saver.window = request.windowId != 0 ? static_cast<Window>(request.windowId) : saver.root;
    XWindowAttributes attributes;
    beginTrap(saver.display);
    const Status known = XGetWindowAttributes(saver.display, saver.window, &attributes);
    if (endTrap(saver.display) != 0 || !known) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", saver.window);
        return failure(1, std::string(source) + " " + id + ": no such window");
    }
    if (!isUsableVisual(attributes.visual, attributes.depth))
        return failure(1, "the window's visual is not 24- or 32-bit TrueColor");
    saver.visual = attributes.visual;
    saver.depth = attributes.depth;
    saver.width = attributes.width;
    saver.height = attributes.height;
    beginTrap(saver.display);
    XSelectInput(saver.display, saver.window, StructureNotifyMask);
    if (endTrap(saver.display) != 0) {
        saver.ended = true;
        return {};
    }
    // The size may have changed before the selection took effect.
    beginTrap(saver.display);
    const Status stillThere = XGetWindowAttributes(saver.display, saver.window, &attributes);
    if (endTrap(saver.display) != 0 || !stillThere) {
        saver.ended = true;
        return {};
    }
    saver.width = attributes.width;
    saver.height = attributes.height;
    return {};
}

void makeOwnWindow()
{
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask | ButtonPressMask;
    if (saver.visual != DefaultVisual(saver.display, DefaultScreen(saver.display))) {
        saver.colormap = XCreateColormap(saver.display, saver.root, saver.visual, AllocNone);
        attributes.colormap = saver.colormap;
        mask |= CWColormap;
    }
    saver.window = XCreateWindow(saver.display, saver.root, 0, 0, static_cast<unsigned>(saver.width),
                                 static_cast<unsigned>(saver.height), 0, saver.depth, InputOutput, saver.visual,
                                 mask, &attributes);
    XStoreName(saver.display, saver.window, "Zephyrine");
    XClassHint classHint;
    char resName[] = "zephyrine";
    char resClass[] = "Zephyrine";
    classHint.res_name = resName;
    classHint.res_class = resClass;
    XSetClassHint(saver.display, saver.window, &classHint);
    saver.deleteWindow = XInternAtom(saver.display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(saver.display, saver.window, &saver.deleteWindow, 1);
}

// ---- the events, one handler each ----

// A move can take a top-level window to another monitor: laid out again like a resize.
void onConfigure(const XEvent& event)
{
    const XConfigureEvent& configure = event.xconfigure;
    if (configure.window != saver.window)
        return;
    if (configure.width != saver.width || configure.height != saver.height || configure.x != saver.configuredX ||
        configure.y != saver.configuredY) {
        saver.width = configure.width;
        saver.height = configure.height;
        saver.configuredX = configure.x;
        saver.configuredY = configure.y;
        saver.changed = true;
    }
}

void onDestroy(const XEvent& event)
{
    if (event.xdestroywindow.window == saver.window)
        saver.ended = true;
}

void onExpose(const XEvent&) { saver.exposed = true; }

void onKeyPress(const XEvent& event)
{
    XKeyEvent key = event.xkey;
    const KeySym symbol = XLookupKeysym(&key, 0);
    if (saver.ownWindow && (symbol == XK_q || symbol == XK_Q || symbol == XK_Escape))
        saver.ended = true;
}

void onButtonPress(const XEvent&)
{
    if (saver.ownWindow)
        saver.ended = true;
}

void onClientMessage(const XEvent& event)
{
    if (saver.ownWindow && event.xclient.format == 32 &&
        static_cast<Atom>(event.xclient.data.l[0]) == saver.deleteWindow)
        saver.ended = true;
}

// The monitors or the screen's size changed: the window's monitor is chosen again.
void onScreenChange(XEvent& event)
{
    takeScreenChange(event);
    saver.changed = true;
}

void handleEvent(XEvent& event)
{
    if (takeCompletion(event))
        return;
    if (event.type == saver.screenChangeType)
        return onScreenChange(event);
    switch (event.type) {
        case ConfigureNotify: onConfigure(event); break;
        case DestroyNotify: onDestroy(event); break;
        case Expose: onExpose(event); break;
        case KeyPress: onKeyPress(event); break;
        case ButtonPress: onButtonPress(event); break;
        case ClientMessage: onClientMessage(event); break;
        default: break;
    }
}

}  // namespace

Failure openSaverWindow(const WindowRequest& request)
{
    saver = SaverWindow{};
    installErrorHandlers();
    saver.display = XOpenDisplay(nullptr);
    if (saver.display == nullptr) {
        const char* name = std::getenv("DISPLAY");
        if (name == nullptr || name[0] == '\0')
            return failure(1, "DISPLAY is not set");
        return failure(1, std::string("cannot open display \"") + name + "\"");
    }
    saver.root = DefaultRootWindow(saver.display);
    const Failure found = request.target == WindowRequest::Target::ownWindow ? chooseOwnWindow(request)
                                                                             : findHostWindow(request);
    if (found.exitCode != 0)
        return found;
    if (int64_t{saver.width} * saver.height > kMaxPixels)
        return noMemoryFailure();
    saver.screenChangeType = selectScreenChanges(saver.display);
    if (saver.ownWindow)
        makeOwnWindow();
    watchWindow(saver.window);
    openPresenting(saver.display, saver.window, saver.visual, saver.depth);
    readPlace();
    if (!sizeFrameBuffer(saver.width, saver.height))
        return noMemoryFailure();
    // After the frame buffer, so the copy can be read through its segment.
    if (request.desktopBackground) {
        if (saver.ownWindow)
            copyDesktop(saver.display, saver.root, saver.visual, saver.depth);  // before the window is mapped
        else
            copyHostScreenshot(saver.display, saver.window, saver.visual, saver.depth);
    }
    return {};
}

void showSaverWindow()
{
    if (saver.ownWindow)
        XMapWindow(saver.display, saver.window);
    XFlush(saver.display);
}

int saverWindowFd() { return ConnectionNumber(saver.display); }

bool windowEventsQueued() { return XEventsQueued(saver.display, QueuedAlready) > 0; }

WindowEvents handleWindowEvents()
{
    while (XPending(saver.display) > 0) {
        XEvent event;
        XNextEvent(saver.display, &event);
        handleEvent(event);
    }
    if (saver.ended || watchedWindowGone())
        return WindowEvents::ended;
    return saver.changed ? WindowEvents::changed : WindowEvents::nothing;
}

Failure applyWindowChanges()
{
    if (!saver.changed)
        return {};
    saver.changed = false;
    readPlace();
    return sizeFrameBuffer(saver.width, saver.height) ? Failure{} : noMemoryFailure();
}

WindowPlace saverWindowPlace()
{
    return {saver.place, saver.monitors.monitors, saver.monitors.count, saver.monitors.screen, saver.ownWindow,
            saver.serial};
}

void presentWindowFrame(const FrameChanges& changes)
{
    const int64_t now = monotonicNanos();
    const bool whole = changes.whole || saver.exposed || (!saver.ownWindow && now - saver.wholeAt >= kWholePresentNanos);
    presentFrame(changes, whole);
    if (whole) {
        saver.exposed = false;
        saver.wholeAt = now;
    }
}

void closeSaverWindow()
{
    if (saver.display == nullptr)
        return;
    closePresenting();
    releaseDesktopCopy();
    if (saver.ownWindow && saver.window != 0)
        XDestroyWindow(saver.display, saver.window);
    if (saver.colormap != 0)
        XFreeColormap(saver.display, saver.colormap);
    XCloseDisplay(saver.display);
    saver = SaverWindow{};
}
