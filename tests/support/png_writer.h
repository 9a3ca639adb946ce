// Test pictures for the Linux tests: PNG bytes of one straight-alpha colour made
// with libpng, a header that claims another size, files written from bytes, the
// folders that hold them, pixels compared within a tolerance, and balls found on them.
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

// A PNG of width x height in one colour; empty when libpng refuses.
Bytes solidPng(int32_t width, int32_t height, Rgba colour);
// The same for a colour written 0xAARRGGBB.
Bytes solidPng(int32_t width, int32_t height, uint32_t argb);

// Makes the header of png claim width x height, with a correct checksum, while
// the image data stays as it was.
void setPngSize(Bytes& png, uint32_t width, uint32_t height);

// Writes bytes to path, replacing the file; false when it cannot be written.
bool writeFile(const std::string& path, const Bytes& bytes);

// A fresh folder under the temporary folder, removed with everything in it.
struct TempDir {
    TempDir();
    ~TempDir();
    std::string path;
};

// Writes 1.png to 8.png into dir, picture k side x side in colours[k - 1]
// (0xAARRGGBB); returns the folder.
std::string solidPictures(const TempDir& dir, const uint32_t (&colours)[8], int32_t side = 128);

// Channels of a and b (0xRRGGBB, the top byte ignored) differ by at most tolerance.
bool near(uint32_t a, uint32_t b, int tolerance = 2);

// Pixels as 0xRRGGBB, row by row.
struct Image {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[size_t(y) * width + x]; }
};

// The top-left corner of a square of colour at (x, y): its corners in colour, its left and top neighbours not.
bool squareAt(const Image& image, uint32_t colour, int x, int y, int side);

// Ticks a 112-pixel ball placed at (x, y) moving (vx, vy) has gone, or -1 when it is off that path.
int ticksGone(const Image& image, uint32_t colour, int x, int y, int vx, int vy);
