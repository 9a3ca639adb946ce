// The ball pictures of the X11 display mode: the eight files read with libpng into
// premultiplied pixels, and their square thumbnails at the ball size made with pixman.
#pragma once

#include <cstdint>
#include <memory>

#include <pixman.h>

#include "saver/ball_pictures.h"

// A decoded picture: premultiplied a8r8g8b8, one 32-bit value per pixel in host
// order, rows packed (width values each). Empty (0 x 0, no pixels) until loaded.
struct Picture {
    int32_t width = 0;
    int32_t height = 0;
    std::unique_ptr<uint32_t[]> pixels;
};

// picture i is (i+1).png; thumbnails[i] is picture i at the ball size (a8r8g8b8,
// premultiplied), or null when it has not been made or could not be.
extern Picture pictures[kPictureCount];
extern pixman_image_t* thumbnails[kPictureCount];

// Reads one PNG file into picture. Returns 0; kImagesNotFoundExit when the file is
// missing, unreadable, not a PNG, damaged, larger than kMaxPictureSide on a side, or
// has a chunk that runs past its end or an ancillary chunk over 4 MiB (all checked
// before anything of that size is allocated); kNoMemoryExit when its pixels cannot
// be allocated. On failure picture is left empty.
int loadPicture(const char* path, Picture& picture);

// Reads folder/1.png .. folder/8.png into pictures, stopping at the first failure.
// Returns 0, kNoMemoryExit or kImagesNotFoundExit; prints nothing (the caller shows
// the matching message). After a failure every picture is empty again.
int loadBallPictures(const char* folder);

// A new size x size thumbnail of picture (stretched to the square when it is not
// one), averaged over the picture's pixels and clamped at its border, so an opaque
// picture gives an opaque thumbnail with its own colour up to the edge. Null when
// size is 0 or less, the picture is empty, or memory runs out.
pixman_image_t* makeThumbnail(const Picture& picture, int32_t size);

// Replaces every thumbnail by one of size x size; a thumbnail that cannot be made
// stays null and its balls are not drawn.
void makeThumbnails(int32_t size);

// Frees the thumbnails and the pictures.
void releaseBallPictures();
