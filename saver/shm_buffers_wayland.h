// The pixels a Wayland surface shows: two wl_shm buffers from one memfd pool per surface, each
// reused only after the compositor has released it, and their presentation with the damaged
// rectangles and a frame callback. Also the memfd-backed shared memory the desktop copy uses.
#pragma once

#include <cstddef>
#include <cstdint>

#include "saver/frame_linux.h"

struct wl_buffer;
struct wl_callback;
struct wl_shm;
struct wl_surface;

// Shared memory from an anonymous memfd (nothing is created in the file system): mapped,
// zero-filled, and wrapped in a wl_shm pool. The pool is the compositor's view of it.
struct SharedMemory {
    int fd = -1;
    void* memory = nullptr;
    size_t size = 0;
};

// Makes size bytes of shared memory; false when it cannot be had (memory is then empty).
bool makeSharedMemory(SharedMemory& memory, size_t size);
void releaseSharedMemory(SharedMemory& memory);

// A wl_buffer of width x height x8r8g8b8 pixels at offset in memory; null on failure.
wl_buffer* makeShmBuffer(wl_shm* shm, const SharedMemory& memory, size_t offset, int32_t width, int32_t height,
                         int32_t stride, uint32_t format);

// One of a surface's two buffers: busy from its commit until the compositor releases it; the
// record of what it holds is the composition's.
struct ShmBuffer {
    wl_buffer* buffer = nullptr;
    uint32_t* pixels = nullptr;
    bool busy = false;
    BufferRecord record;
};

struct SurfaceBuffers {
    SharedMemory memory;
    int32_t width = 0;
    int32_t height = 0;
    int32_t stride = 0;
    ShmBuffer buffers[2];
    wl_callback* frameCallback = nullptr;  // the last commit's; null once it is done
    FrameChanges lastChanges;              // what the last commit changed in its buffer
};

// Replaces buffers by two of width x height (at least 1 x 1); false when memory runs out, with
// no buffer left.
bool makeSurfaceBuffers(SurfaceBuffers& buffers, wl_shm* shm, int32_t width, int32_t height);

// The buffer to draw the next frame into: one the compositor does not hold, when the previous
// frame's callback has come; null otherwise.
ShmBuffer* bufferToDraw(SurfaceBuffers& buffers);

// Attaches buffer to surface, declares what differs from the buffer shown before it (what the
// composition changed in this buffer and what the last commit changed in the other), asks for
// a frame callback and commits. The buffer is busy until the compositor releases it.
void presentBuffer(SurfaceBuffers& buffers, ShmBuffer& buffer, wl_surface* surface, const FrameChanges& changes);

// Destroys the buffers and the pending callback and frees the memory.
void releaseSurfaceBuffers(SurfaceBuffers& buffers);
