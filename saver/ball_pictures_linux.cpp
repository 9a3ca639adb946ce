// The ball pictures of the Linux front ends: read with libpng, premultiplied, and their thumbnails.
#include "saver/ball_pictures_linux.h"

#include <cstddef>
#include <cstring>
#include <new>
#include <string>

#include <png.h>

#include "saver/average_scale_linux.h"

Picture pictures[kPictureCount];

namespace {

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
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    // Reads the signature and the header only; the size is known before any
    // pixel memory exists. libpng frees its own state on every failure.
    if (!png_image_begin_read_from_file(&image, path)) {
        return kImagesNotFoundExit;
    }
    if (image.width == 0 || image.height == 0 || image.width > kMaxPictureSide ||
        image.height > kMaxPictureSide) {
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
    pixman_image_t* source =
        pixman_image_create_bits(PIXMAN_a8r8g8b8, picture.width, picture.height, picture.pixels.get(),
                                 picture.width * 4);
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
