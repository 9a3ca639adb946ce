// The ball pictures of the Linux front ends: read with libpng, premultiplied, and their thumbnails.
#include "saver/ball_pictures_linux.h"

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include <png.h>

#include "saver/average_scale_linux.h"

Picture pictures[kPictureCount];

namespace {

// The largest ancillary chunk (text, colour profile, ...) a picture may hold: far above any a
// ball picture needs, and so the most libpng allocates for one, which it does at the chunk's
// declared length before reading it. The image data is read in pieces, never held whole.
constexpr uint64_t kMaxAncillaryChunkBytes = 4u << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

uint32_t bigEndian32(const unsigned char* bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// Walks a PNG file's chunks by their 8-byte headers, seeking past each one's data, from the
// signature to IEND or the end of the file. True when every chunk's data and checksum lie inside
// the file and no ancillary chunk exceeds kMaxAncillaryChunkBytes, so that no length the file
// claims makes libpng allocate more than the file holds. Leaves the file at its start.
bool chunksAreBounded(std::FILE* file)
{
    if (std::fseek(file, 0, SEEK_END) != 0) {
        return false;
    }
    const long end = std::ftell(file);
    unsigned char header[8];
    if (end < 0 || std::fseek(file, 0, SEEK_SET) != 0 || std::fread(header, 1, 8, file) != 8 ||
        png_sig_cmp(header, 0, 8) != 0) {
        return false;
    }
    uint64_t position = 8;
    // A header cut short at the end is left to libpng, which refuses the truncated file.
    while (std::fread(header, 1, 8, file) == 8) {
        const uint64_t length = bigEndian32(header);
        const bool ancillary = (header[4] & 0x20) != 0;  // lower-case first letter of the type
        position += 8 + length + 4;
        if (position > static_cast<uint64_t>(end) || (ancillary && length > kMaxAncillaryChunkBytes)) {
            return false;
        }
        if (std::memcmp(header + 4, "IEND", 4) == 0) {
            break;
        }
        if (std::fseek(file, static_cast<long>(position), SEEK_SET) != 0) {
            return false;
        }
    }
    return std::fseek(file, 0, SEEK_SET) == 0;
}

// A straight-alpha channel value times alpha / 255, rounded to nearest.
uint32_t premultiply(uint32_t channel, uint32_t alpha)
{
    const uint32_t product = channel * alpha + 128;
    return (product + (product >> 8)) >> 8;
}

// Turns RGBA bytes, as libpng wrote them into the pixel buffer, into premultiplied
// a8r8g8b8 words in place: each word is read whole before it is written.
void premultiplyInPlace(uint32_t* pixels, size_t count)
{
    unsigned char* bytes = reinterpret_cast<unsigned char*>(pixels);
    for (size_t i = 0; i < count; ++i) {
        const unsigned char* rgba = bytes + 4 * i;
        const uint32_t alpha = rgba[3];
        pixels[i] = alpha << 24 | premultiply(rgba[0], alpha) << 16 | premultiply(rgba[1], alpha) << 8 |
                    premultiply(rgba[2], alpha);
    }
}

}  // namespace

int loadPicture(const char* path, Picture& picture)
{
    picture = Picture();
    // One open file for the check and the reading, so that what is read is what was checked.
    const File file(std::fopen(path, "rb"));
    if (!file || !chunksAreBounded(file.get())) {
        return kImagesNotFoundExit;
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    // Reads the signature and the header only; the size is known before any
    // pixel memory exists. libpng frees its own state on every failure.
    if (!png_image_begin_read_from_stdio(&image, file.get())) {
        return kImagesNotFoundExit;
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide || image.height > kMaxPictureSide) {
        png_image_free(&image);
        return kImagesNotFoundExit;
    }
    image.format = PNG_FORMAT_RGBA;
    const size_t count = static_cast<size_t>(image.width) * image.height;
    std::unique_ptr<uint32_t[]> pixels(new (std::nothrow) uint32_t[count]);
    if (!pixels) {
        png_image_free(&image);
        return kNoMemoryExit;
    }
    // A truncated or corrupt stream fails here, after the header was accepted.
    if (!png_image_finish_read(&image, nullptr, pixels.get(), 0, nullptr)) {
        png_image_free(&image);
        return kImagesNotFoundExit;
    }
    premultiplyInPlace(pixels.get(), count);
    picture.width = static_cast<int32_t>(image.width);
    picture.height = static_cast<int32_t>(image.height);
    picture.pixels = std::move(pixels);
    return 0;
}

Failure loadBallPictures(const char* folder)
{
    releaseBallPictures();
    for (int n = 1; n <= kPictureCount; ++n) {
        const std::string path = std::string(folder) + "/" + std::to_string(n) + ".png";
        const int result = loadPicture(path.c_str(), pictures[n - 1]);
        if (result != 0) {
            releaseBallPictures();
            return result == kNoMemoryExit ? noMemoryFailure() : imagesNotFoundFailure();
        }
    }
    return {};
}

pixman_image_t* makeThumbnail(const Picture& picture, int32_t size)
{
    if (size <= 0 || picture.width <= 0 || picture.height <= 0 || !picture.pixels) {
        return nullptr;
    }
    // pixman only reads a source image; its interface has no const.
    pixman_image_t* source = pixman_image_create_bits(PIXMAN_a8r8g8b8, picture.width, picture.height,
                                                      picture.pixels.get(), picture.width * 4);
    if (source == nullptr) {
        return nullptr;
    }
    pixman_image_t* thumbnail = pixman_image_create_bits(PIXMAN_a8r8g8b8, size, size, nullptr, 0);
    if (thumbnail != nullptr && !drawAveraged(source, picture.width, picture.height, thumbnail, size, size)) {
        pixman_image_unref(thumbnail);
        thumbnail = nullptr;
    }
    pixman_image_unref(source);
    return thumbnail;
}

void makeThumbnails(Thumbnails& thumbnails, int32_t size)
{
    releaseThumbnails(thumbnails);
    for (int i = 0; i < kPictureCount; ++i) {
        thumbnails.images[i] = makeThumbnail(pictures[i], size);
    }
    thumbnails.size = size;
}

void releaseThumbnails(Thumbnails& thumbnails)
{
    for (pixman_image_t*& thumbnail : thumbnails.images) {
        if (thumbnail != nullptr) {
            pixman_image_unref(thumbnail);
            thumbnail = nullptr;
        }
    }
    thumbnails.size = 0;
}

void releaseBallPictures()
{
    for (Picture& picture : pictures) {
        picture = Picture();
    }
}
