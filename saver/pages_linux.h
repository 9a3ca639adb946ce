// Pixel memory of the Linux front ends: private mappings whose pages are all present before the
// first frame, and the touching of a shared buffer's pages ahead of its first use.
#pragma once

#include <cstddef>

// Pixels in a private mapping made by mapPixels and freed by unmapPixels.
struct OwnedPixels {
    void* address = nullptr;
    size_t bytes = 0;  // mapped: the size asked for, rounded up to whole pages
};

// Asks the kernel for every page of [address, address + bytes) at once instead of one fault per
// page at first touch. Advice only: a kernel without it gives the pages on first touch.
void populatePages(void* address, size_t bytes);

// A private, populated mapping of at least bytes, or an empty one when memory runs out. A buffer
// of 2 MiB or more starts on a 2 MiB boundary, is a whole number of 2 MiB pages and asks for
// huge pages (advice only), so its first touch costs a few faults.
OwnedPixels mapPixels(size_t bytes);

void unmapPixels(OwnedPixels& pixels);

// Reads one byte of each page of [address, address + bytes), so that the pages are present
// when the caller needs them; their contents do not matter. Meant for a second thread that
// overlaps this with another process's writing into shared pages.
void touchPages(const volatile char* address, size_t bytes);
