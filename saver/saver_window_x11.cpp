// The target window of the X11 display mode: the connection, the window's events and its place.
#include "saver/saver_window_x11.h"

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
#include "saver/target_window_x11.h"

namespace {

// A host's window, whose exposures are not ours to select, is presented whole this often.
constexpr int64_t kWholePresentNanos = 1000000000;

struct SaverWindow {
    Display* display;
    Window root;
    TargetWindow target;
    int screenChangeType;  // RRScreenChangeNotify, or -1 without RandR
    int32_t width;
    int32_t height;
    int configuredX;  // the window's position in its last ConfigureNotify
    int configuredY;
    ScreenRect place;
    MonitorList monitors;
    uint32_t serial;
    bool changed;  // size, place or monitors changed since applyWindowChanges
    bool ended;
    bool exposed;     // the window lost pixels: the next frame is presented whole
    int64_t wholeAt;  // when the last whole frame was presented
};

SaverWindow saver;

// The window's place on the screen, the monitors and the screen, read again.
void readPlace()
{
    int left = 0;
    int top = 0;
    Window child;
    if (saver.target.window != saver.root)
        XTranslateCoordinates(saver.display, saver.target.window, saver.root, 0, 0, &left, &top, &child);
    saver.place = {left, top, saver.width, saver.height};
    readMonitors(saver.display, saver.target.window, saver.width, saver.height, saver.monitors);
    ++saver.serial;
}

// ---- the events, one handler each ----

// A move can take a top-level window to another monitor: laid out again like a resize.
void onConfigure(const XEvent& event)
{
    const XConfigureEvent& configure = event.xconfigure;
    if (configure.window != saver.target.window) return;
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
    if (event.xdestroywindow.window == saver.target.window) saver.ended = true;
}

void onExpose(const XEvent&)
{
    saver.exposed = true;
}

void onKeyPress(const XEvent& event)
{
    XKeyEvent key = event.xkey;
    const KeySym symbol = XLookupKeysym(&key, 0);
    if (saver.target.ownWindow && (symbol == XK_q || symbol == XK_Q || symbol == XK_Escape)) saver.ended = true;
}

void onButtonPress(const XEvent&)
{
    if (saver.target.ownWindow) saver.ended = true;
}

void onClientMessage(const XEvent& event)
{
    if (saver.target.ownWindow && event.xclient.format == 32 &&
        static_cast<Atom>(event.xclient.data.l[0]) == saver.target.deleteWindow)
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
    if (takeCompletion(event)) return;
    if (event.type == saver.screenChangeType) return onScreenChange(event);
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
        if (name == nullptr || name[0] == '\0') return {1, "zephyrine: DISPLAY is not set"};
        return {1, std::string("zephyrine: cannot open display \"") + name + "\""};
    }
    saver.root = DefaultRootWindow(saver.display);
    const Failure found = findTargetWindow(saver.display, request, saver.target);
    if (found.exitCode != 0) return found;
    saver.width = saver.target.width;
    saver.height = saver.target.height;
    saver.ended = saver.target.gone;
    saver.screenChangeType = selectScreenChanges(saver.display);
    if (saver.target.ownWindow) makeOwnWindow(saver.display, saver.target);
    watchWindow(saver.target.window);
    openPresenting(saver.display, saver.target.window, saver.target.visual, saver.target.depth);
    readPlace();
    if (!sizeFrameBuffer(saver.width, saver.height)) return noMemoryFailure();
    // After the frame buffer, so the copy can be read through its segment.
    if (request.desktopBackground) {
        if (saver.target.ownWindow)  // before the window is mapped
            copyDesktop(saver.display, saver.root, saver.target.visual, saver.target.depth);
        else
            copyHostScreenshot(saver.display, saver.target.window, saver.target.visual, saver.target.depth);
    }
    return {};
}

void showSaverWindow()
{
    if (saver.target.ownWindow) XMapWindow(saver.display, saver.target.window);
    XFlush(saver.display);
}

int saverWindowFd()
{
    return ConnectionNumber(saver.display);
}

bool windowEventsQueued()
{
    return XEventsQueued(saver.display, QueuedAlready) > 0;
}

DisplayEvents handleWindowEvents()
{
    while (XPending(saver.display) > 0) {
        XEvent event;
        XNextEvent(saver.display, &event);
        handleEvent(event);
    }
    return saver.ended || watchedWindowGone() ? DisplayEvents::ended : DisplayEvents::nothing;
}

Failure applyWindowChanges()
{
    if (!saver.changed) return {};
    saver.changed = false;
    readPlace();
    return sizeFrameBuffer(saver.width, saver.height) ? Failure{} : noMemoryFailure();
}

SurfacePlace saverWindowPlace()
{
    return {saver.place,           saver.monitors.monitors, saver.monitors.count,
            saver.monitors.screen, saver.target.ownWindow,  desktopCopy(),
            saver.serial};
}

void presentWindowFrame(const FrameChanges& changes)
{
    const int64_t now = monotonicNanos();
    const bool whole = changes.whole || saver.exposed ||
                       (!saver.target.ownWindow && now - saver.wholeAt >= kWholePresentNanos);
    presentFrame(changes, whole);
    if (whole) {
        saver.exposed = false;
        saver.wholeAt = now;
    }
}

void closeSaverWindow()
{
    if (saver.display == nullptr) return;
    closePresenting();
    releaseDesktopCopy();
    destroyTargetWindow(saver.display, saver.target);
    XCloseDisplay(saver.display);
    saver = SaverWindow{};
}
