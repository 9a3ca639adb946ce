// The Wayland display mode's run: every output of the compositor covered until input, a signal,
// the compositor's end or the last output's end.
#pragma once

#include "app/options.h"
#include "saver/failure.h"

// The pictures, the connection, a surface on each output and the frames; signalFd delivers the
// ending signals. Returns the failure that ended it, or none.
Failure runWayland(const Options& options, int signalFd);
