// The ball pictures of the Linux front ends: the eight files read with libpng into
// premultiplied pixels, and their square thumbnails at a surface's ball size made with pixman.
#pragma once

#include <cstdint>
#include <memory>

#include <pixman.h>

#include "saver/ball_pictures.h"
#include "saver/failure.h"

// A decoded picture: premultiplied a8r8g8b8, one 32-bit value per pixel in host
// order, rows packed (width values each). Empty (0 x 0, no pixels) until loaded.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint32_t[]> pixels;
};

// picture i is (i+1).png, read once for every surface.
extern Picture pictures[kPictureCount];

// One surface's thumbnails: images[i] is picture i at size x size (a8r8g8b8, premultiplied), or
// null when it has not been made or could not be.
struct Thumbnails {
    pixman_image_t* images[kPictureCount] = {};
    int32_t size = 0;
};

// Reads one PNG file into picture. Returns 0; kImagesNotFoundExit when the file is
// missing, unreadable, not a PNG, damaged, larger than kMaxPictureSide on a side, or
// has a chunk that runs past its end or an ancillary chunk over 4 MiB (all checked
// before anything of that size is allocated); kNoMemoryExit when its pixels cannot
// be allocated. On failure picture is left empty.
int loadPicture(const char* path, Picture& picture);

// Reads folder/1.png .. folder/8.png into pictures, stopping at the first failure,
// which it returns (no memory, or images not found); prints nothing. After a failure
// every picture is empty again.
Failure loadBallPictures(const char* folder);

// A new size x size thumbnail of picture (stretched to the square when it is not
// one), averaged over the picture's pixels and clamped at its border, so an opaque
// picture gives an opaque thumbnail with its own colour up to the edge. Null when
// size is 0 or less, the picture is empty, or memory runs out.
pixman_image_t* makeThumbnail(const Picture& picture, int32_t size);

// Replaces every thumbnail by one of size x size; a thumbnail that cannot be made
// stays null and its balls are not drawn.
void makeThumbnails(Thumbnails& thumbnails, int32_t size);

void releaseThumbnails(Thumbnails& thumbnails);

// Frees the pictures.
void releaseBallPictures();
