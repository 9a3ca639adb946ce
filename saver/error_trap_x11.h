// X errors of the X11 display mode: trapped around the calls that may fail, and the target
// window's disappearance noticed whenever the server reports it; a lost connection ends the run.
#pragma once

#include <X11/Xlib.h>

// Sets the handlers; call before the display is opened.
void installErrorHandlers();

// An error about window (gone: BadWindow or BadDrawable), whenever it comes, marks it gone.
void watchWindow(Window window);
bool watchedWindowGone();

// Errors of the requests between the two calls are recorded instead of reported; endTrap
// returns the last one's code, 0 when none came. Both wait for the server.
void beginTrap(Display* display);
int endTrap(Display* display);

// A segment not yet marked for removal (-1: none), removed if the connection is lost meanwhile:
// the process then ends at once with 0, leaving nothing behind.
void removeSegmentOnConnectionLoss(int shmid);
