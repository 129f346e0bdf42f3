// The mask at another resolution: the 2x enlargement or the stretch blit.
#include "engine/band/band_mask_resolution.h"

#include <cstring>

#include "engine/raster/rotate.h"
#include "engine/stretch/stretch_blt.h"

uint32_t MaskResolutionBring(uint8_t* dest, uint32_t capacity, const uint8_t* source, uint32_t sourceStride,
                             const RECT& from, const RECT& to, bool doubled)
{
    const int64_t fromWidth = int64_t{from.right} - from.left, fromHeight = int64_t{from.bottom} - from.top;
    const int64_t toWidth = int64_t{to.right} - to.left, toHeight = int64_t{to.bottom} - to.top;
    if (dest == nullptr || source == nullptr || fromWidth <= 0 || fromHeight <= 0 || toWidth <= 0 || toHeight <= 0)
        return 0;
    const uint32_t fromPhase = static_cast<uint32_t>(from.left) & 31;
    const uint32_t toPhase = static_cast<uint32_t>(to.left) & 31;
    const uint64_t stride = (toPhase + uint64_t(toWidth) + 31) / 32 * 4;
    if (stride * uint64_t(toHeight) > capacity || (fromPhase + uint64_t(fromWidth) + 7) / 8 > sourceStride) return 0;
    std::memset(dest, 0, size_t(stride) * size_t(toHeight));
    if (doubled && toWidth == 2 * fromWidth && toHeight == 2 * fromHeight && toPhase == 2 * (fromPhase & 15)) {
        // Each source bit becomes two: a source starting 16 or more pixels into its word starts two
        // bytes further, so that its phase within 16 doubles to the destination's within 32.
        BltBitmap out{dest, int32_t(stride), 0, 0, int32_t(toWidth), int32_t(toHeight), 1, nullptr};
        BltBitmap in{const_cast<uint8_t*>(source) + (fromPhase >= 16 ? 2 : 0),
                     int32_t(sourceStride),
                     0,
                     0,
                     int32_t((fromPhase & 15) + fromWidth),
                     int32_t(fromHeight),
                     1,
                     nullptr};
        Mono2xEnlarge(&out, &in);
        // Source bits outside the area were doubled too; the plane kernels want them clear.
        const uint32_t end = toPhase + uint32_t(toWidth);
        for (int64_t y = 0; y < toHeight; ++y) {
            uint8_t* row = dest + size_t(y) * size_t(stride);
            std::memset(row, 0, toPhase / 8);
            row[toPhase / 8] &= uint8_t(0xFF >> (toPhase % 8));
            if (end % 8 != 0) row[end / 8] &= uint8_t(0xFF << (8 - end % 8));
            std::memset(row + (end + 7) / 8, 0, size_t(stride) - (end + 7) / 8);
        }
        return uint32_t(stride);
    }
    BltBitmap out{dest, int32_t(stride), 0, 0, int32_t(toPhase + toWidth), int32_t(toHeight), 1, nullptr};
    BltBitmap in{const_cast<uint8_t*>(source),
                 int32_t(sourceStride),
                 int32_t(fromPhase),
                 0,
                 int32_t(fromWidth),
                 int32_t(fromHeight),
                 1,
                 nullptr};
    RECT area{LONG(toPhase), 0, LONG(toPhase + toWidth), LONG(toHeight)};
    const RECT clip = area;
    RasterStretchBlt(&out, &in, nullptr, &area, &clip, 1, Rop3SrcCopy, 0);
    return uint32_t(stride);
}
