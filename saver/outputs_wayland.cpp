// Outputs and their layer surfaces: one table of handlers per interface.
#include "saver/outputs_wayland.h"

#include <algorithm>
#include <cstdint>

#include <wayland-client.h>

#include "layer-shell-client.h"
#include "saver/connection_wayland.h"
#include "saver/seat_wayland.h"
#include "xdg-output-client.h"

std::vector<std::unique_ptr<OutputSurface>> outputs;

namespace {

constexpr char kNamespace[] = "zephyrine";
constexpr uint32_t kAllEdges = ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                               ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT;

OutputChoice choice;
bool started;

uint32_t keyboardInteractivity(bool keyboard)
{
    return keyboard ? ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_EXCLUSIVE
                    : ZWLR_LAYER_SURFACE_V1_KEYBOARD_INTERACTIVITY_NONE;
}

void destroySurface(OutputSurface& o)
{
    releaseDesktopCopy(o.desktop);
    o.copying = false;
    releaseSurfaceBuffers(o.buffers);
    if (o.layer != nullptr) zwlr_layer_surface_v1_destroy(o.layer);
    if (o.surface != nullptr) wl_surface_destroy(o.surface);
    releaseSurfaceDrawing(o.drawing);
    o.layer = nullptr;
    o.surface = nullptr;
    o.logicalWidth = o.logicalHeight = 0;
    o.place = ScreenRect{};
}

// The size in buffer pixels; a new one changes the serial, so that the frame loop lays the
// surface out again.
void setPixelSize(OutputSurface& o)
{
    const int32_t width = static_cast<int32_t>(std::min<int64_t>(int64_t{o.logicalWidth} * o.scale, INT32_MAX));
    const int32_t height = static_cast<int32_t>(std::min<int64_t>(int64_t{o.logicalHeight} * o.scale, INT32_MAX));
    if (width != o.place.width || height != o.place.height) ++o.serial;
    o.place = ScreenRect{0, 0, width, height};
}

// The layer surface: each configure gives its size; closed takes it away for good.
void onConfigure(void* data, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t width, uint32_t height)
{
    OutputSurface& o = *static_cast<OutputSurface*>(data);
    zwlr_layer_surface_v1_ack_configure(layer, serial);
    o.logicalWidth = static_cast<int32_t>(std::min<uint32_t>(width, INT32_MAX));
    o.logicalHeight = static_cast<int32_t>(std::min<uint32_t>(height, INT32_MAX));
    setPixelSize(o);
    o.stage = OutputStage::shown;
}

void onClosed(void* data, zwlr_layer_surface_v1*)
{
    OutputSurface& o = *static_cast<OutputSurface*>(data);
    destroySurface(o);
    o.stage = OutputStage::closed;
}

const zwlr_layer_surface_v1_listener kLayerListener = {
    onConfigure,
    onClosed,
};

// Puts the surface on the output; it shows once the first configure has been answered with a
// buffer.
void showSurface(OutputSurface& o)
{
    o.surface = wl_compositor_create_surface(wayland.compositor);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(o.surface)) >= 3)
        wl_surface_set_buffer_scale(o.surface, o.scale);
    o.layer = zwlr_layer_shell_v1_get_layer_surface(wayland.layerShell, o.surface, o.output,
                                                    ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, kNamespace);
    zwlr_layer_surface_v1_add_listener(o.layer, &kLayerListener, &o);
    zwlr_layer_surface_v1_set_anchor(o.layer, kAllEdges);
    zwlr_layer_surface_v1_set_exclusive_zone(o.layer, -1);
    zwlr_layer_surface_v1_set_keyboard_interactivity(o.layer, keyboardInteractivity(seatHasKeyboard()));
    wl_surface_commit(o.surface);
    o.stage = OutputStage::configuring;
}

void copyEnded(void* data)
{
    static_cast<OutputSurface*>(data)->copying = false;
}

// The surface and the desktop copy at once: the surface shows nothing before its first buffer,
// which waits for the copy.
void startIfChosen(OutputSurface& o)
{
    if (!started || !o.described || o.stage != OutputStage::waiting) return;
    if (!choice.onlyName.empty() && o.name != choice.onlyName) return;
    showSurface(o);
    if (choice.copyDesktop) {
        o.copying = true;
        startDesktopCopy(o.desktop, o.output, copyEnded, &o);
    }
}

// wl_output: the scale and, from version 4, the name; done closes each description.
void onGeometry(void*, wl_output*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*, int32_t)
{
}
void onMode(void*, wl_output*, uint32_t, int32_t, int32_t, int32_t) {}
void onDone(void* data, wl_output*)
{
    OutputSurface& o = *static_cast<OutputSurface*>(data);
    o.described = true;
    startIfChosen(o);
}
void onScale(void* data, wl_output*, int32_t factor)
{
    OutputSurface& o = *static_cast<OutputSurface*>(data);
    const int32_t scale = std::max(1, factor);
    if (scale == o.scale) return;
    o.scale = scale;
    if (o.surface != nullptr && wl_proxy_get_version(reinterpret_cast<wl_proxy*>(o.surface)) >= 3) {
        wl_surface_set_buffer_scale(o.surface, scale);
        setPixelSize(o);
    }
}
void onName(void* data, wl_output*, const char* name)
{
    static_cast<OutputSurface*>(data)->name = name;
}
void onDescription(void*, wl_output*, const char*) {}

const wl_output_listener kOutputListener = {
    onGeometry, onMode, onDone, onScale, onName, onDescription,
};

// xdg-output: the name of an output older than wl_output version 4, which may come after the
// output's own done.
void onLogicalPosition(void*, zxdg_output_v1*, int32_t, int32_t) {}
void onLogicalSize(void*, zxdg_output_v1*, int32_t, int32_t) {}
void onNamesDone(void* data, zxdg_output_v1*)
{
    startIfChosen(*static_cast<OutputSurface*>(data));
}
void onXdgName(void* data, zxdg_output_v1*, const char* name)
{
    static_cast<OutputSurface*>(data)->name = name;
}
void onXdgDescription(void*, zxdg_output_v1*, const char*) {}

const zxdg_output_v1_listener kNamesListener = {
    onLogicalPosition, onLogicalSize, onNamesDone, onXdgName, onXdgDescription,
};

void askName(OutputSurface& o)
{
    if (o.names != nullptr || wayland.outputNames == nullptr ||
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(o.output)) >= WL_OUTPUT_NAME_SINCE_VERSION)
        return;
    o.names = zxdg_output_manager_v1_get_xdg_output(wayland.outputNames, o.output);
    zxdg_output_v1_add_listener(o.names, &kNamesListener, &o);
}

bool hasBuffersOfItsSize(const OutputSurface& o)
{
    return o.buffers.width == o.place.width && o.buffers.height == o.place.height;
}

void destroyOutput(OutputSurface& o)
{
    destroySurface(o);
    if (o.names != nullptr) zxdg_output_v1_destroy(o.names);
    if (wl_proxy_get_version(reinterpret_cast<wl_proxy*>(o.output)) >= WL_OUTPUT_RELEASE_SINCE_VERSION)
        wl_output_release(o.output);
    else
        wl_output_destroy(o.output);
}

}  // namespace

void addOutput(uint32_t globalName, wl_output* output)
{
    outputs.push_back(std::make_unique<OutputSurface>());
    OutputSurface& o = *outputs.back();
    o.globalName = globalName;
    o.output = output;
    wl_output_add_listener(output, &kOutputListener, &o);
    // Before version 2 no done comes: the output is described as it is.
    o.described = wl_proxy_get_version(reinterpret_cast<wl_proxy*>(output)) < WL_OUTPUT_DONE_SINCE_VERSION;
    askName(o);
}

void removeOutput(uint32_t globalName)
{
    for (auto o = outputs.begin(); o != outputs.end(); ++o) {
        if ((*o)->globalName == globalName) {
            destroyOutput(**o);
            outputs.erase(o);
            return;
        }
    }
}

void nameOutputs()
{
    for (const auto& o : outputs) askName(*o);
}

void startOutputs(const OutputChoice& chosen)
{
    choice = chosen;
    started = true;
    for (const auto& o : outputs) startIfChosen(*o);
}

void setSurfacesKeyboard(bool keyboard)
{
    for (const auto& o : outputs) {
        if (o->layer == nullptr) continue;
        zwlr_layer_surface_v1_set_keyboard_interactivity(o->layer, keyboardInteractivity(keyboard));
        wl_surface_commit(o->surface);
    }
}

bool outputsStarting()
{
    return std::any_of(outputs.begin(), outputs.end(), [](const std::unique_ptr<OutputSurface>& o) {
        return o->copying || o->stage == OutputStage::configuring;
    });
}

Failure applySurfaceSizes()
{
    for (const auto& o : outputs) {
        if (o->stage == OutputStage::shown && o->place.width > 0 && o->place.height > 0 &&
            !hasBuffersOfItsSize(*o) &&
            !makeSurfaceBuffers(o->buffers, wayland.shm, o->place.width, o->place.height))
            return noMemoryFailure();
    }
    return {};
}

bool surfaceDrawable(const OutputSurface& o)
{
    return o.stage == OutputStage::shown && !o.copying && o.buffers.width > 0 && hasBuffersOfItsSize(o);
}

bool noOutputLeft()
{
    return started && std::none_of(outputs.begin(), outputs.end(), [](const std::unique_ptr<OutputSurface>& o) {
               return o->stage == OutputStage::configuring || o->stage == OutputStage::shown;
           });
}

void releaseOutputs()
{
    for (const auto& o : outputs) destroyOutput(*o);
    outputs.clear();
    started = false;
}
