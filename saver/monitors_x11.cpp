// The monitors of the X11 display mode, read with RandR.
#include "saver/monitors_x11.h"

#include <X11/extensions/Xrandr.h>

void readMonitors(Display* display, Window window, int32_t windowWidth, int32_t windowHeight, MonitorList& list)
{
    const int screen = DefaultScreen(display);
    const Window root = RootWindow(display, screen);
    list.screen = window == root ? ScreenRect{0, 0, windowWidth, windowHeight}
                                 : ScreenRect{0, 0, DisplayWidth(display, screen), DisplayHeight(display, screen)};
    list.count = 0;
    int eventBase = 0;
    int errorBase = 0;
    int major = 0;
    int minor = 0;
    if (!XRRQueryExtension(display, &eventBase, &errorBase) || !XRRQueryVersion(display, &major, &minor) ||
        major < 1 || (major == 1 && minor < 5))
        return;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(display, root, True, &count);
    if (monitors == nullptr) return;
    for (int i = 0; i < count && list.count < kMaxMonitors; ++i)
        list.monitors[list.count++] = {monitors[i].x, monitors[i].y, monitors[i].width, monitors[i].height};
    XRRFreeMonitors(monitors);
}

int selectScreenChanges(Display* display)
{
    int events = 0;
    int errors = 0;
    if (!XRRQueryExtension(display, &events, &errors)) return -1;
    XRRSelectInput(display, DefaultRootWindow(display), RRScreenChangeNotifyMask);
    return events + RRScreenChangeNotify;
}

void takeScreenChange(XEvent& event)
{
    XRRUpdateConfiguration(&event);
}
