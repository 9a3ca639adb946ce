// Test pictures written with libpng's simplified API, and the folders they go in.
#include "support/png_writer.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include <png.h>
#include <zlib.h>

Bytes solidPng(int32_t width, int32_t height, Rgba colour)
{
    const std::vector<Rgba> pixels(static_cast<size_t>(width) * height, colour);
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (!png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    Bytes png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    png.resize(size);
    return png;
}

Bytes solidPng(int32_t width, int32_t height, uint32_t argb)
{
    return solidPng(width, height,
                    Rgba{uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb), uint8_t(argb >> 24)});
}

void setPngSize(Bytes& png, uint32_t width, uint32_t height)
{
    // Signature (8), IHDR length and type (8), width and height at 16..23; the
    // chunk's CRC at 29..32 covers its type and 13 data bytes (12..28).
    const uint32_t values[2] = {width, height};
    for (int v = 0; v < 2; ++v) {
        for (int i = 0; i < 4; ++i) {
            png.at(16 + 4 * v + i) = static_cast<unsigned char>(values[v] >> (24 - 8 * i));
        }
    }
    const uLong crc = crc32(crc32(0, nullptr, 0), png.data() + 12, 17);
    for (int i = 0; i < 4; ++i) {
        png.at(29 + i) = static_cast<unsigned char>(crc >> (24 - 8 * i));
    }
}

bool writeFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zephyrine-test-XXXXXX").string();
    EXPECT_NE(mkdtemp(pattern.data()), nullptr) << pattern;
    path = pattern;
}

TempDir::~TempDir()
{
    if (!path.empty()) {
        std::filesystem::remove_all(path);
    }
}

std::string solidPictures(const TempDir& dir, const uint32_t (&colours)[8], int32_t side)
{
    for (int k = 0; k < 8; ++k) {
        EXPECT_TRUE(writeFile(dir.path + "/" + std::to_string(k + 1) + ".png", solidPng(side, side, colours[k])));
    }
    return dir.path;
}

bool near(uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift < 24; shift += 8) {
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) {
            return false;
        }
    }
    return true;
}

// The top-left corner of a square of colour at (x, y): its corners in colour, its left and top neighbours not.
bool squareAt(const Image& image, uint32_t colour, int x, int y, int side)
{
    auto is = [&](int px, int py) {
        return px >= 0 && py >= 0 && px < image.width && py < image.height && near(image.at(px, py), colour);
    };
    const int far = side - 1;
    return is(x, y) && is(x + far, y) && is(x, y + far) && is(x + far, y + far) && !is(x - 1, y) && !is(x, y - 1);
}

// Ticks a 112-pixel ball placed at (x, y) moving (vx, vy) has gone, or -1 when it is off that path.
int ticksGone(const Image& image, uint32_t colour, int x, int y, int vx, int vy)
{
    for (int n = 0; n < 200; ++n) {
        if (squareAt(image, colour, x + n * vx, y + n * vy, 112)) {
            return n;
        }
    }
    return -1;
}
