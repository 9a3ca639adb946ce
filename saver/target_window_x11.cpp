// The X11 target window: the host's window or the root found and checked, or the own window made.
#include "saver/target_window_x11.h"

#include <cstdio>
#include <string>

#include <X11/Xutil.h>

#include "saver/error_trap_x11.h"

namespace {

bool isUsableVisual(const Visual* visual, int depth)
{
    return visual != nullptr && visual->c_class == TrueColor && (depth == 24 || depth == 32) &&
           visual->red_mask == 0xff0000 && visual->green_mask == 0xff00 && visual->blue_mask == 0xff;
}

Failure failure(const std::string& message)
{
    return {1, "zephyrine: " + message};
}

// The own window is made on the default screen's 24-bit TrueColor visual.
Failure chooseOwnWindow(Display* display, const WindowRequest& request, TargetWindow& target)
{
    XVisualInfo info;
    if (!XMatchVisualInfo(display, DefaultScreen(display), 24, TrueColor, &info) ||
        !isUsableVisual(info.visual, 24))
        return failure("the display has no 24-bit TrueColor visual");
    target.visual = info.visual;
    target.depth = 24;
    target.ownWindow = true;
    target.width = request.width;
    target.height = request.height;
    return {};
}

// The window's attributes; false when it is gone.
bool readAttributes(Display* display, Window window, XWindowAttributes& attributes)
{
    beginTrap(display);
    const Status known = XGetWindowAttributes(display, window, &attributes);
    return endTrap(display) == 0 && known;
}

// One destroyed meanwhile is found gone, to end the run at its first events.
Failure findHostWindow(Display* display, const WindowRequest& request, TargetWindow& target)
{
    const char* source = request.target == WindowRequest::Target::windowId ? "--window-id" : "XSCREENSAVER_WINDOW";
    target.window = request.windowId != 0 ? static_cast<Window>(request.windowId) : DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (!readAttributes(display, target.window, attributes)) {
        char id[32];
        std::snprintf(id, sizeof id, "0x%lx", target.window);
        return failure(std::string(source) + " " + id + ": no such window");
    }
    if (!isUsableVisual(attributes.visual, attributes.depth))
        return failure("the window's visual is not 24- or 32-bit TrueColor");
    target.visual = attributes.visual;
    target.depth = attributes.depth;
    target.width = attributes.width;
    target.height = attributes.height;
    beginTrap(display);
    XSelectInput(display, target.window, StructureNotifyMask);
    if (endTrap(display) != 0) {
        target.gone = true;
        return {};
    }
    // The size may have changed before the selection took effect.
    if (!readAttributes(display, target.window, attributes)) {
        target.gone = true;
        return {};
    }
    target.width = attributes.width;
    target.height = attributes.height;
    return {};
}

}  // namespace

Failure findTargetWindow(Display* display, const WindowRequest& request, TargetWindow& target)
{
    target = TargetWindow{};
    return request.target == WindowRequest::Target::ownWindow ? chooseOwnWindow(display, request, target)
                                                              : findHostWindow(display, request, target);
}

void makeOwnWindow(Display* display, TargetWindow& target)
{
    const Window root = DefaultRootWindow(display);
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixel | CWBorderPixel | CWEventMask;
    attributes.background_pixel = 0;
    attributes.border_pixel = 0;
    attributes.event_mask = StructureNotifyMask | ExposureMask | KeyPressMask | ButtonPressMask;
    if (target.visual != DefaultVisual(display, DefaultScreen(display))) {
        target.colormap = XCreateColormap(display, root, target.visual, AllocNone);
        attributes.colormap = target.colormap;
        mask |= CWColormap;
    }
    target.window = XCreateWindow(display, root, 0, 0, static_cast<unsigned>(target.width),
                                  static_cast<unsigned>(target.height), 0, target.depth, InputOutput,
                                  target.visual, mask, &attributes);
    XStoreName(display, target.window, "Zephyrine");
    XClassHint classHint;
    char resName[] = "zephyrine";
    char resClass[] = "Zephyrine";
    classHint.res_name = resName;
    classHint.res_class = resClass;
    XSetClassHint(display, target.window, &classHint);
    target.deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, target.window, &target.deleteWindow, 1);
}

void destroyTargetWindow(Display* display, const TargetWindow& target)
{
    if (target.ownWindow && target.window != 0) XDestroyWindow(display, target.window);
    if (target.colormap != 0) XFreeColormap(display, target.colormap);
}
