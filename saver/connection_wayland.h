// The connection to the Wayland compositor and the globals the saver binds from its registry;
// the outputs and the seat are handed to their modules as they come and go. Only this file
// reads the registry.
#pragma once

#include <cstdint>
#include <string>

struct wl_compositor;
struct wl_display;
struct wl_seat;
struct wl_shm;
struct zwlr_layer_shell_v1;
struct zwlr_screencopy_manager_v1;
struct zxdg_output_manager_v1;

// Why the Wayland mode cannot go on: the message for standard error and the exit code; exit
// code 0 is no failure.
struct WaylandFailure {
    int exitCode = 0;
    std::string message;
};

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
WaylandFailure connectWayland();

// The connection's descriptor, to wait on with the signals.
int waylandFd();

// Destroys what was bound and closes the connection.
void disconnectWayland();
