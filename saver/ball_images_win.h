// The eight ball pictures and their ball-sized thumbnails, as GDI+ images.
#pragma once

#include <windows.h>
#include <gdiplus.h>

#include "saver/ball_pictures.h"

extern Gdiplus::Image* pictures[kPictureCount];
extern Gdiplus::Image* thumbnails[kPictureCount];

// Loads installPath\1.png .. \8.png. Returns 0 when all eight loaded; after a
// failure it shows its message, releases what it made and returns 2 (no
// memory) or 3 (a picture cannot be loaded).
int loadBallImages();

// Deletes the pictures and thumbnails, then shuts GDI+ down.
void releaseBallImages(ULONG_PTR gdiplusToken);

// A separately owned copy of picture scaled to width x height, or null.
Gdiplus::Image* makeThumbnail(Gdiplus::Image* picture, UINT width, UINT height);

// thumbnails[i] = picture i at ballSize x ballSize.
void makeThumbnails();
