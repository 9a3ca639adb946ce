// Pixel memory of the Linux front ends: populated private mappings, huge pages, page touching.
#include "saver/pages_linux.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

namespace {

constexpr size_t kHugePage = size_t{2} << 20;

}  // namespace

void populatePages(void* address, size_t bytes)
{
#ifdef MADV_POPULATE_WRITE
    madvise(address, bytes, MADV_POPULATE_WRITE);  // EINVAL on an older kernel: pages on first touch
#else
    (void)address;
    (void)bytes;
#endif
}

OwnedPixels mapPixels(size_t bytes)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    const size_t unit = bytes >= kHugePage ? kHugePage : page;
    const size_t rounded = (bytes + unit - 1) / unit * unit;
    const size_t slack = unit > page ? unit : 0;  // room to move the start to a whole 2 MiB page
    void* mapped = mmap(nullptr, rounded + slack, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) return {};
    const uintptr_t start = reinterpret_cast<uintptr_t>(mapped);
    const uintptr_t aligned = (start + unit - 1) / unit * unit;
    if (aligned > start) munmap(mapped, aligned - start);
    if (start + slack > aligned) munmap(reinterpret_cast<void*>(aligned + rounded), start + slack - aligned);
    void* address = reinterpret_cast<void*>(aligned);
#ifdef MADV_HUGEPAGE
    if (unit == kHugePage) madvise(address, rounded, MADV_HUGEPAGE);  // advice only, like populatePages
#endif
    populatePages(address, rounded);
    return {address, rounded};
}

void unmapPixels(OwnedPixels& pixels)
{
    if (pixels.address != nullptr) munmap(pixels.address, pixels.bytes);
    pixels = {};
}

void touchPages(const volatile char* address, size_t bytes)
{
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    for (size_t offset = 0; offset < bytes; offset += page) static_cast<void>(address[offset]);
}
