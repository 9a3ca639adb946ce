// The connection to the Wayland compositor and the globals the saver binds from its registry;
// the outputs and the seat are handed to their modules as they come and go. Only this file
// reads the registry.
#pragma once

#include <cstdint>

#include "saver/failure.h"

struct wl_compositor;
struct wl_display;
struct wl_seat;
struct wl_shm;
struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;

// What the other Wayland files read of the connection; only connection_wayland.cpp writes it.
// A global the compositor does not offer stays null.
struct WaylandGlobals {
    wl_display* display;
    wl_compositor* compositor;
    wl_shm* shm;
    zwlr_layer_shell_v1* layerShell;
    zwlr_screencopy_manager_v1* screencopy;
    zxdg_output_manager_v1* outputNames;  // names of outputs older than wl_output version 4
    wl_seat* seat;
};

extern WaylandGlobals wayland;

// Connects where every Wayland client does (the descriptor in WAYLAND_SOCKET, else the socket
// WAYLAND_DISPLAY, default wayland-0, under XDG_RUNTIME_DIR) and binds the globals. Exit 1 with
// a message naming what was tried when there is no compositor, or saying that it offers no
// layer-shell. The outputs and the seat have been described once it returns.
Failure connectWayland();

// The connection's descriptor, to wait on with the signals.
int waylandFd();

// Sends what is waiting to be sent; true when events have already been read and wait to be
// handled (a wait on the descriptor would not see them).
bool waylandEventsQueued();

// Handles the events already read and those waiting on the descriptor, without blocking;
// false when the connection has ended.
bool handleWaylandEvents();

// Waits for events and handles them; false when the connection has ended or stopFd (a signal's
// descriptor) became readable first.
bool waitForWaylandEvents(int stopFd);

// Destroys what was bound and closes the connection.
void disconnectWayland();
