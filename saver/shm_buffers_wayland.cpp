// Shared-memory buffers of the Wayland surfaces and their presentation.
#include "saver/shm_buffers_wayland.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <initializer_list>

#include <wayland-client.h>

#include "saver/pages_linux.h"

namespace {

void onBufferRelease(void* data, wl_buffer*)
{
    static_cast<ShmBuffer*>(data)->busy = false;
}

const wl_buffer_listener kBufferListener = {
    onBufferRelease,
};

void onFrameDone(void* data, wl_callback* callback, uint32_t)
{
    SurfaceBuffers& buffers = *static_cast<SurfaceBuffers*>(data);
    wl_callback_destroy(callback);
    if (buffers.frameCallback == callback) buffers.frameCallback = nullptr;
}

const wl_callback_listener kFrameListener = {
    onFrameDone,
};

void releaseBuffers(SurfaceBuffers& buffers)
{
    for (ShmBuffer& buffer : buffers.buffers) {
        if (buffer.buffer != nullptr) wl_buffer_destroy(buffer.buffer);
        releaseBufferRecord(buffer.record);
        buffer.buffer = nullptr;
        buffer.pixels = nullptr;
        buffer.busy = false;
    }
    buffers.lastChanges = FrameChanges{};
    releaseSharedMemory(buffers.memory);
    buffers.width = buffers.height = buffers.stride = 0;
}

}  // namespace

bool makeSharedMemory(SharedMemory& memory, size_t size)
{
    releaseSharedMemory(memory);
    const int fd = memfd_create("zephyrine", MFD_CLOEXEC);
    if (fd < 0) return false;
    void* mapped = MAP_FAILED;
    if (ftruncate(fd, static_cast<off_t>(size)) == 0)
        mapped = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        close(fd);
        return false;
    }
    // The pages at once rather than one fault each at the first frame.
    populatePages(mapped, size);
    memory = SharedMemory{fd, mapped, size};
    return true;
}

void releaseSharedMemory(SharedMemory& memory)
{
    if (memory.memory != nullptr) munmap(memory.memory, memory.size);
    if (memory.fd >= 0) close(memory.fd);
    memory = SharedMemory{};
}

wl_buffer* makeShmBuffer(wl_shm* shm, const SharedMemory& memory, size_t offset, int32_t width, int32_t height,
                         int32_t stride, uint32_t format)
{
    wl_shm_pool* pool = wl_shm_create_pool(shm, memory.fd, static_cast<int32_t>(memory.size));
    if (pool == nullptr) return nullptr;
    wl_buffer* buffer =
        wl_shm_pool_create_buffer(pool, static_cast<int32_t>(offset), width, height, stride, format);
    // The buffer keeps the pool's memory; the pool object itself is no longer needed.
    wl_shm_pool_destroy(pool);
    return buffer;
}

bool makeSurfaceBuffers(SurfaceBuffers& buffers, wl_shm* shm, int32_t width, int32_t height)
{
    releaseBuffers(buffers);
    if (width < 1 || height < 1 || width > INT32_MAX / 4) return false;
    const int32_t stride = width * 4;
    const size_t bufferBytes = static_cast<size_t>(stride) * static_cast<size_t>(height);
    // A pool's size is an int32_t on the wire.
    if (bufferBytes > INT32_MAX / 2 || !makeSharedMemory(buffers.memory, 2 * bufferBytes)) return false;
    // The client library returns null for a proxy it cannot allocate: no buffer is made then.
    wl_shm_pool* pool = wl_shm_create_pool(shm, buffers.memory.fd, static_cast<int32_t>(2 * bufferBytes));
    if (pool == nullptr) {
        releaseBuffers(buffers);
        return false;
    }
    for (int i = 0; i < 2; ++i) {
        ShmBuffer& buffer = buffers.buffers[i];
        buffer.buffer = wl_shm_pool_create_buffer(pool, static_cast<int32_t>(i * bufferBytes), width, height,
                                                  stride, WL_SHM_FORMAT_XRGB8888);
        if (buffer.buffer == nullptr) break;
        buffer.pixels = reinterpret_cast<uint32_t*>(static_cast<char*>(buffers.memory.memory) + i * bufferBytes);
        wl_buffer_add_listener(buffer.buffer, &kBufferListener, &buffer);
    }
    wl_shm_pool_destroy(pool);
    if (buffers.buffers[1].buffer == nullptr) {
        releaseBuffers(buffers);
        return false;
    }
    buffers.width = width;
    buffers.height = height;
    buffers.stride = stride;
    return true;
}

ShmBuffer* bufferToDraw(SurfaceBuffers& buffers)
{
    if (buffers.frameCallback != nullptr) return nullptr;
    for (ShmBuffer& buffer : buffers.buffers)
        if (buffer.buffer != nullptr && !buffer.busy) return &buffer;
    return nullptr;
}

void presentBuffer(SurfaceBuffers& buffers, ShmBuffer& buffer, wl_surface* surface, const FrameChanges& changes)
{
    wl_surface_attach(surface, buffer.buffer, 0, 0);
    if (changes.whole || buffers.lastChanges.whole ||
        wl_proxy_get_version(reinterpret_cast<wl_proxy*>(surface)) < WL_SURFACE_DAMAGE_BUFFER_SINCE_VERSION) {
        wl_surface_damage(surface, 0, 0, INT32_MAX, INT32_MAX);
    } else {
        for (const FrameChanges* c : {&changes, static_cast<const FrameChanges*>(&buffers.lastChanges)})
            for (int i = 0; i < c->count; ++i)
                wl_surface_damage_buffer(surface, c->rects[i].x, c->rects[i].y, c->rects[i].width,
                                         c->rects[i].height);
    }
    buffers.lastChanges = changes;
    buffers.frameCallback = wl_surface_frame(surface);
    wl_callback_add_listener(buffers.frameCallback, &kFrameListener, &buffers);
    wl_surface_commit(surface);
    buffer.busy = true;
}

void releaseSurfaceBuffers(SurfaceBuffers& buffers)
{
    if (buffers.frameCallback != nullptr) wl_callback_destroy(buffers.frameCallback);
    buffers.frameCallback = nullptr;
    releaseBuffers(buffers);
}
