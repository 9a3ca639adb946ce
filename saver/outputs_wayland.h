// The outputs of the Wayland mode and one full-screen layer surface on each: on the overlay
// layer, anchored to every edge, over every exclusive zone, one buffer pixel per output pixel.
// Outputs may come and go while it runs. Only this file talks to wl_output, xdg-output and
// layer-shell.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/frame_loop_linux.h"
#include "saver/failure.h"
#include "saver/monitor.h"
#include "saver/screencopy_wayland.h"
#include "saver/shm_buffers_wayland.h"

struct wl_output;
struct wl_surface;
struct zwlr_layer_surface_v1;
struct zxdg_output_v1;

// Where an output's surface is: not wanted or not yet described, waiting for its first
// configure, shown, closed by the compositor (for good).
enum class OutputStage { waiting, configuring, shown, closed };

struct OutputSurface {
    // Written by outputs_wayland.cpp.
    uint32_t globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* names = nullptr;
    std::string name;
    int32_t scale = 1;
    bool described = false;  // the output has sent its first done
    OutputStage stage = OutputStage::waiting;
    bool copying = false;  // the desktop copy is under way: nothing is drawn on the output yet
    DesktopCopy desktop;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    int32_t logicalWidth = 0;  // the last configure's size, in the compositor's units
    int32_t logicalHeight = 0;
    ScreenRect place{};   // in buffer pixels: the logical size times the scale, at 0, 0
    uint32_t serial = 0;  // changes with place
    SurfaceBuffers buffers;
    // The frame loop's, kept with the surface.
    SurfaceDrawing drawing;
};

// The outputs in the order they were announced; only outputs_wayland.cpp adds and removes.
extern std::vector<std::unique_ptr<OutputSurface>> outputs;

// Which outputs get a surface and what goes under it.
struct OutputChoice {
    std::string onlyName;  // empty: every output
    bool copyDesktop;      // take each output's desktop copy before its surface is shown
};

// From the registry: an output announced (it gets a surface once described, when start has
// been called and it is chosen) or removed (its surface goes).
void addOutput(uint32_t globalName, wl_output* output);
void removeOutput(uint32_t globalName);

// Asks the names of the outputs that do not tell them themselves (wl_output before version 4).
void nameOutputs();

// Starts a surface on every chosen output described so far, and on each described later.
void startOutputs(const OutputChoice& choice);

// Gives every surface the keyboard (exclusively) or none, after the seat's keyboard came or went.
void setSurfacesKeyboard(bool keyboard);

// True while a chosen output's desktop is being copied or its first configure awaited.
bool outputsStarting();

// Gives each configured surface buffers of its size when it has none of that size, its desktop
// copy under way or not; "Not enough memory!" when they cannot be had.
Failure applySurfaceSizes();

// True once outputs had been started and none that was chosen is left.
bool noOutputLeft();

// Destroys every surface and output.
void releaseOutputs();
