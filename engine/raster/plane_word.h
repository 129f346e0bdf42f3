// Word helpers shared by the plane kernels and the band plane operations: big-endian plane words,
// native pattern words, edge masks and the widening of 1-bit mask bits to a plane's depth.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#include "engine/raster/rotate.h"

namespace plane {

inline uint32_t LoadBig(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return std::endian::native == std::endian::little ? __builtin_bswap32(v) : v;
}

inline void StoreBig(uint8_t* p, uint32_t v)
{
    if constexpr (std::endian::native == std::endian::little) v = __builtin_bswap32(v);
    std::memcpy(p, &v, 4);
}

inline uint32_t LoadNative(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// old where m is clear, value where m is set.
inline uint32_t Merge(uint32_t old, uint32_t value, uint32_t m) { return (old & ~m) | (value & m); }

template <uint32_t Depth>
struct Plane {
    static constexpr uint32_t kPixelsPerWord = 32 / Depth;

    // Plane bits of the pixels from x (counted within the word) to the word's end.
    static uint32_t LeftEdge(uint64_t x) { return ~0u >> ((x % kPixelsPerWord) * Depth); }
    // Plane bits of the pixels before end (counted within the word); a whole word when end falls
    // on a word boundary.
    static uint32_t RightEdge(uint64_t end)
    {
        return ~0u << (((kPixelsPerWord - end % kPixelsPerWord) % kPixelsPerWord) * Depth);
    }

    // The mask bits of plane word q (pixels q * ppw ..) of a mask row, widened to the depth.
    static uint32_t MaskBits(const uint8_t* maskRow, uint64_t q)
    {
        if constexpr (Depth == 1) {
            return LoadBig(maskRow + 4 * q);
        } else if constexpr (Depth == 2) {
            uint32_t half = (LoadBig(maskRow + 4 * (q / 2)) >> (q % 2 ? 0 : 16)) & 0xFFFF;
            return Bits1To2[half >> 12] << 24 | Bits1To2[(half >> 8) & 15] << 16 | Bits1To2[(half >> 4) & 15] << 8 |
                   Bits1To2[half & 15];
        } else {
            uint32_t quarter = (LoadBig(maskRow + 4 * (q / 4)) >> (8 * (3 - q % 4))) & 0xFF;
            return Bits1To4[quarter >> 4] << 16 | Bits1To4[quarter & 15];
        }
    }
};

inline const uint8_t* RowAt(const void* bits, int32_t stride, uint64_t row)
{
    return static_cast<const uint8_t*>(bits) + static_cast<int64_t>(row) * stride;
}
inline uint8_t* RowAt(void* bits, int32_t stride, uint64_t row)
{
    return static_cast<uint8_t*>(bits) + static_cast<int64_t>(row) * stride;
}

}  // namespace plane
