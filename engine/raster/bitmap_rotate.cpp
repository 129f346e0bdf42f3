#include "engine/raster/bitmap_rotate.h"

#include <utility>

#include "engine/raster/rotate.h"

static uint32_t RowBytes(uint64_t pixels, uint32_t bitsPerPixel)
{
    return static_cast<uint32_t>(((pixels * bitsPerPixel + 31) >> 3) & ~uint64_t{3});
}

uint32_t BitmapRotate(uint32_t bitsPerPixel, uint32_t orientation, int32_t xMirror, const uint8_t* source,
                      uint32_t sourceStride, uint32_t size[2], uint8_t* destination)
{
    static constexpr uint32_t kAngle[4] = {0, 180, 270, 90};
    const bool quarter = orientation == 2 || orientation == 3;
    const uint32_t stride = quarter ? RowBytes(size[1], bitsPerPixel) : sourceStride;
    BltBitmap from{const_cast<uint8_t*>(source),
                   static_cast<int32_t>(sourceStride),
                   0,
                   0,
                   static_cast<int32_t>(size[0]),
                   static_cast<int32_t>(size[1]),
                   static_cast<int32_t>(bitsPerPixel),
                   nullptr};
    BltBitmap to{destination, static_cast<int32_t>(stride), 0, 0, 0, 0, static_cast<int32_t>(bitsPerPixel), nullptr};
    BitmapRotateDispatch(&to, &from, kAngle[orientation & 3], xMirror, 0);
    if (quarter) std::swap(size[0], size[1]);
    return stride;
}
