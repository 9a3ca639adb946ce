// Scaling with pixman's separable convolution filter and box kernels: an area
// average that does not alias at large reductions, clamped at the source border.
#include "saver/average_scale_linux.h"

#include <cstdlib>

namespace {

// Phases per source pixel of the filter: enough for smooth fractional ratios,
// fewer for large reductions, where each phase already spans many taps.
int subsampleBits(double scale)
{
    return scale > 16.0 ? 1 : 4;
}

}  // namespace

bool drawAveraged(pixman_image_t* source, int32_t sourceWidth, int32_t sourceHeight, pixman_image_t* destination,
                  int32_t width, int32_t height)
{
    if (sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) {
        return true;
    }
    if (sourceWidth == width && sourceHeight == height) {
        pixman_image_set_transform(source, nullptr);
        pixman_image_set_filter(source, PIXMAN_FILTER_NEAREST, nullptr, 0);
        pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0, width, height);
        return true;
    }
    const double scaleX = static_cast<double>(sourceWidth) / width;
    const double scaleY = static_cast<double>(sourceHeight) / height;
    pixman_transform_t transform;
    pixman_transform_init_scale(&transform, pixman_double_to_fixed(scaleX), pixman_double_to_fixed(scaleY));

    // The reconstruction box is one source pixel wide and the sampling box one
    // destination pixel (scale source pixels): together an area average.
    int valueCount = 0;
    pixman_fixed_t* values = pixman_filter_create_separable_convolution(
        &valueCount, pixman_double_to_fixed(scaleX), pixman_double_to_fixed(scaleY), PIXMAN_KERNEL_BOX,
        PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, PIXMAN_KERNEL_BOX, subsampleBits(scaleX), subsampleBits(scaleY));
    if (values == nullptr) {
        return false;
    }
    const bool filtered = pixman_image_set_filter(source, PIXMAN_FILTER_SEPARABLE_CONVOLUTION, values, valueCount);
    std::free(values);
    if (!filtered) {
        return false;
    }
    pixman_image_set_transform(source, &transform);
    pixman_image_set_repeat(source, PIXMAN_REPEAT_PAD);
    pixman_image_composite32(PIXMAN_OP_SRC, source, nullptr, destination, 0, 0, 0, 0, 0, 0, width, height);
    return true;
}
