// Scaling with pixman's averaging filter, shared by the thumbnails and the background.
#pragma once

#include <cstdint>

#include <pixman.h>

// Draws the whole of source (sourceWidth x sourceHeight, any 32-bit format) into
// destination at (0, 0), scaled to width x height: one to one when the sizes match,
// otherwise each destination pixel is the average of the source pixels it covers
// (separable box filter), with the source's border pixels repeated outward so the
// edges are neither darkened nor faded. Changes source's transform, filter and
// repeat. Returns false when the filter cannot be made.
bool drawAveraged(pixman_image_t* source, int32_t sourceWidth, int32_t sourceHeight, pixman_image_t* destination,
                  int32_t width, int32_t height);
