// Test pictures written with libpng's simplified API.
#include "support/png_writer.h"

#include <cstring>
#include <fstream>

#include <png.h>
#include <zlib.h>

Bytes encodePng(int32_t width, int32_t height, const std::vector<Rgba>& pixels)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGBA;
    png_alloc_size_t size = 0;
    if (pixels.size() != static_cast<size_t>(width) * height ||
        !png_image_write_get_memory_size(image, size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    Bytes png(size);
    if (!png_image_write_to_memory(&image, png.data(), &size, 0, pixels.data(), 0, nullptr)) {
        return {};
    }
    png.resize(size);
    return png;
}

Bytes solidPng(int32_t width, int32_t height, Rgba colour)
{
    return encodePng(width, height, std::vector<Rgba>(static_cast<size_t>(width) * height, colour));
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
