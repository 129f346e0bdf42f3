// Whole-bitmap helpers beside the rotation: word byte-swapping and 2x enlargement of 1-bit data.
#include <cstring>

#include "engine/raster/rotate.h"

// Tile planes of fewer than 8 bits are kept as native 32-bit numbers (pixel 0 in the top bits)
// so that the pattern kernels can use them without swapping each word they read.
void BitmapSwapWords(BltBitmap* bitmap)
{
    if (bitmap->height < 1 || bitmap->stride < 4) return;
    const int32_t words = bitmap->stride / 4;
    auto* bits = static_cast<uint8_t*>(bitmap->bits);
    for (int32_t r = 0; r < bitmap->height; ++r) {
        uint8_t* row = bits + static_cast<ptrdiff_t>(r) * bitmap->stride;
        for (int32_t i = 0; i < words; ++i) {
            uint32_t v;
            std::memcpy(&v, row + 4 * i, 4);
            v = __builtin_bswap32(v);
            std::memcpy(row + 4 * i, &v, 4);
        }
    }
}

void Mono2xEnlarge(BltBitmap* dest, BltBitmap* source)
{
    if (source->height < 1 || source->width < 1) return;
    const int32_t bytes = (source->width + 7) / 8;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < source->height; ++r) {
        const uint8_t* in = s + static_cast<ptrdiff_t>(r) * source->stride;
        uint8_t* out = d + static_cast<ptrdiff_t>(2 * r) * dest->stride;
        for (int32_t i = 0; i < bytes; ++i) {
            out[2 * i] = static_cast<uint8_t>(Bits1To2[in[i] >> 4]);
            out[2 * i + 1] = static_cast<uint8_t>(Bits1To2[in[i] & 15]);
        }
        std::memcpy(out + dest->stride, out, 2 * static_cast<size_t>(bytes));
    }
}
