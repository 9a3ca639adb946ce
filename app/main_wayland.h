// The Wayland display mode's run: every output of the compositor covered until input, a signal,
// the compositor's end or the last output's end.
#pragma once

#include "app/options.h"

// Runs the saver with the pictures already loaded; signalFd delivers the ending signals.
// Prints what went wrong and returns the exit code.
int runWayland(const Options& options, int signalFd);
