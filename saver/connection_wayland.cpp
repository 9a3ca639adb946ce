// The Wayland connection and its registry: one table row per global the saver binds.
#include "saver/connection_wayland.h"

#include <poll.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <wayland-client.h>

#include "layer-shell-client.h"
#include "saver/outputs_wayland.h"
#include "saver/seat_wayland.h"
#include "screencopy-client.h"
#include "xdg-output-client.h"

WaylandGlobals wayland;

namespace {

uint32_t seatName;  // the registry name of the bound seat

template <typename T>
void bindGlobal(wl_registry* registry, uint32_t name, const wl_interface* interface, uint32_t offered,
                uint32_t highest, T*& global)
{
    if (global == nullptr)
        global =
            static_cast<T*>(wl_registry_bind(registry, name, interface, offered < highest ? offered : highest));
}

void bindCompositor(wl_registry* r, uint32_t name, uint32_t version)
{
    bindGlobal(r, name, &wl_compositor_interface, version, 4, wayland.compositor);
}
void bindShm(wl_registry* r, uint32_t name, uint32_t version)
{
    bindGlobal(r, name, &wl_shm_interface, version, 1, wayland.shm);
}
void bindLayerShell(wl_registry* r, uint32_t name, uint32_t version)
{
    bindGlobal(r, name, &zwlr_layer_shell_v1_interface, version, 4, wayland.layerShell);
}
void bindScreencopy(wl_registry* r, uint32_t name, uint32_t version)
{
    bindGlobal(r, name, &zwlr_screencopy_manager_v1_interface, version, 3, wayland.screencopy);
}
void bindOutputNames(wl_registry* r, uint32_t name, uint32_t version)
{
    bindGlobal(r, name, &zxdg_output_manager_v1_interface, version, 3, wayland.outputNames);
}
void bindSeat(wl_registry* r, uint32_t name, uint32_t version)
{
    if (wayland.seat != nullptr) return;
    bindGlobal(r, name, &wl_seat_interface, version, 5, wayland.seat);
    seatName = name;
    watchSeat(wayland.seat);
}
void bindOutput(wl_registry* r, uint32_t name, uint32_t version)
{
    addOutput(name,
              static_cast<wl_output*>(wl_registry_bind(r, name, &wl_output_interface, version < 4 ? version : 4)));
}

struct GlobalRow {
    const wl_interface* interface;
    void (*bind)(wl_registry* registry, uint32_t name, uint32_t version);
};

const GlobalRow kGlobals[] = {
    {&wl_compositor_interface, bindCompositor},
    {&wl_shm_interface, bindShm},
    {&zwlr_layer_shell_v1_interface, bindLayerShell},
    {&zwlr_screencopy_manager_v1_interface, bindScreencopy},
    {&zxdg_output_manager_v1_interface, bindOutputNames},
    {&wl_seat_interface, bindSeat},
    {&wl_output_interface, bindOutput},
};

void onGlobal(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t version)
{
    for (const GlobalRow& row : kGlobals)
        if (std::strcmp(interface, row.interface->name) == 0) row.bind(registry, name, version);
}

// Lets go of the seat's devices and of the seat.
void dropSeat()
{
    forgetSeat();
    if (wayland.seat != nullptr) wl_seat_destroy(wayland.seat);
    wayland.seat = nullptr;
}

void onGlobalRemove(void*, wl_registry*, uint32_t name)
{
    if (wayland.seat != nullptr && name == seatName) {
        dropSeat();
        return;
    }
    removeOutput(name);
}

const wl_registry_listener kRegistryListener = {
    onGlobal,
    onGlobalRemove,
};

wl_registry* registry;

std::string quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// What wl_display_connect tried, for the message when it failed.
std::string whatWasTried()
{
    const char* socket = std::getenv("WAYLAND_SOCKET");
    if (socket != nullptr) return "the connection in WAYLAND_SOCKET " + quoted(socket);
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (name == nullptr || *name == 0) name = "wayland-0";
    if (name[0] == '/') return quoted(name);
    const char* folder = std::getenv("XDG_RUNTIME_DIR");
    if (folder == nullptr || *folder == 0) return quoted(name) + " (XDG_RUNTIME_DIR is not set)";
    return quoted(std::string(folder) + "/" + name);
}

}  // namespace

Failure connectWayland()
{
    const std::string tried = whatWasTried();  // before the connection takes WAYLAND_SOCKET away
    wayland = WaylandGlobals{};
    wayland.display = wl_display_connect(nullptr);
    if (wayland.display == nullptr)
        return {1, "zephyrine: cannot connect to a Wayland compositor: tried " + tried};
    const Failure closed{1, "zephyrine: the Wayland compositor closed the connection"};
    registry = wl_display_get_registry(wayland.display);
    wl_registry_add_listener(registry, &kRegistryListener, nullptr);
    // The first round trip announces the globals; the second brings what the bound outputs,
    // their names and the seat describe of themselves.
    if (wl_display_roundtrip(wayland.display) < 0) return closed;
    if (wayland.layerShell == nullptr)
        return {1, "zephyrine: This compositor cannot show a screen saver (it offers no layer-shell)."};
    if (wayland.compositor == nullptr || wayland.shm == nullptr)
        return {1, "zephyrine: This compositor cannot show a screen saver (it offers no shared-memory buffers)."};
    nameOutputs();
    if (wl_display_roundtrip(wayland.display) < 0) return closed;
    return {};
}

int waylandFd()
{
    return wl_display_get_fd(wayland.display);
}

bool waylandEventsQueued()
{
    wl_display_flush(wayland.display);
    if (wl_display_prepare_read(wayland.display) != 0) return true;
    wl_display_cancel_read(wayland.display);
    return false;
}

bool handleWaylandEvents()
{
    wl_display* display = wayland.display;
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0) return false;
    pollfd readable{wl_display_get_fd(display), POLLIN, 0};
    if (poll(&readable, 1, 0) > 0)
        wl_display_read_events(display);  // a failure shows in the dispatch
    else
        wl_display_cancel_read(display);
    return wl_display_dispatch_pending(display) >= 0;
}

bool waitForWaylandEvents(int stopFd)
{
    pollfd fds[2] = {{wl_display_get_fd(wayland.display), POLLIN, 0}, {stopFd, POLLIN, 0}};
    while (!waylandEventsQueued()) {
        if (poll(fds, 2, -1) < 0 || (fds[1].revents & POLLIN) != 0) return false;
        if (fds[0].revents != 0) break;
    }
    return handleWaylandEvents();
}

void disconnectWayland()
{
    if (wayland.display == nullptr) return;
    dropSeat();
    if (wayland.outputNames != nullptr) zxdg_output_manager_v1_destroy(wayland.outputNames);
    if (wayland.screencopy != nullptr) zwlr_screencopy_manager_v1_destroy(wayland.screencopy);
    if (wayland.layerShell != nullptr &&
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(wayland.layerShell)) >= 3)
        zwlr_layer_shell_v1_destroy(wayland.layerShell);
    if (wayland.shm != nullptr) wl_shm_destroy(wayland.shm);
    if (wayland.compositor != nullptr) wl_compositor_destroy(wayland.compositor);
    wl_registry_destroy(registry);
    wl_display_disconnect(wayland.display);
    wayland = WaylandGlobals{};
}
