// X errors of the X11 display mode: the trap, the target window's loss and the connection's.
#include "saver/error_trap_x11.h"

#include <sys/shm.h>
#include <unistd.h>

namespace {

struct ErrorTrap {
    int lastError = 0;
    Window watched = 0;
    bool watchedGone = false;
    int attachingShmid = -1;
};

ErrorTrap trap;

// Errors are expected: the host may destroy its window at any moment.
int onXError(Display*, XErrorEvent* error)
{
    trap.lastError = error->error_code;
    if (trap.watched != 0 && error->resourceid == trap.watched &&
        (error->error_code == BadWindow || error->error_code == BadDrawable))
        trap.watchedGone = true;
    return 0;
}

// Xlib ends the process when this returns, so end here with 0, as for any end of the host's.
int onXIOError(Display*)
{
    if (trap.attachingShmid >= 0) shmctl(trap.attachingShmid, IPC_RMID, nullptr);
    _exit(0);
}

}  // namespace

void installErrorHandlers()
{
    trap = ErrorTrap{};
    XSetErrorHandler(onXError);
    XSetIOErrorHandler(onXIOError);
}

void watchWindow(Window window)
{
    trap.watched = window;
}

bool watchedWindowGone()
{
    return trap.watchedGone;
}

void beginTrap(Display* display)
{
    XSync(display, False);
    trap.lastError = 0;
}

int endTrap(Display* display)
{
    XSync(display, False);
    return trap.lastError;
}

void removeSegmentOnConnectionLoss(int shmid)
{
    trap.attachingShmid = shmid;
}
