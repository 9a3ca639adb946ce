// Test pictures for the X11 tests: PNG bytes made with libpng from straight-alpha
// pixels, a header that claims another size, and files written from bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Rgba {
    uint8_t r;
    uint8_t g;
    uint8_t b;
    uint8_t a;
};

using Bytes = std::vector<unsigned char>;

// A PNG of width x height from pixels, row by row; empty when libpng refuses.
Bytes encodePng(int32_t width, int32_t height, const std::vector<Rgba>& pixels);

// A PNG of one colour.
Bytes solidPng(int32_t width, int32_t height, Rgba colour);

// Makes the header of png claim width x height, with a correct checksum, while
// the image data stays as it was.
void setPngSize(Bytes& png, uint32_t width, uint32_t height);

// Writes bytes to path, replacing the file; false when it cannot be written.
bool writeFile(const std::string& path, const Bytes& bytes);
