// Copies of an image plane into a band plane of 1, 2 or 4 bits: over a rectangle, and only where
// a 1-bit mask is set. The source is shifted into place a word at a time with a carry.
#include <cstring>

#include "engine/raster/plane_kernels.h"
#include "engine/raster/plane_word.h"

namespace {

using namespace plane;

template <uint32_t Depth>
void RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    using P = Plane<Depth>;
    constexpr uint32_t ppw = P::kPixelsPerWord;
    if (width == 0 || height == 0) return;
    const uint64_t first = x / ppw;
    const uint64_t words = (static_cast<uint64_t>(x) + width - 1) / ppw - first + 1;
    const uint64_t sourceWords = (static_cast<uint64_t>(width) + ppw - 1) / ppw;
    const uint32_t shift = (x % ppw) * Depth;
    const uint32_t left = P::LeftEdge(x);
    const uint32_t right = P::RightEdge(static_cast<uint64_t>(x) + width);
    for (uint32_t r = 0; r < height; ++r) {
        uint8_t* out = RowAt(dest->bits, dest->stride, static_cast<uint64_t>(y) + r) + 4 * first;
        const uint8_t* in = RowAt(source->bits, source->stride, r);
        if (shift == 0 && words > 2) {
            // Word-aligned: the source words land as they are (then words == sourceWords); only
            // the two edge words need their masks.
            StoreBig(out, Merge(LoadBig(out), LoadBig(in), left));
            std::memcpy(out + 4, in + 4, 4 * (words - 2));
            uint8_t* last = out + 4 * (words - 1);
            StoreBig(last, Merge(LoadBig(last), LoadBig(in + 4 * (words - 1)), right));
            continue;
        }
        uint32_t carry = 0;
        for (uint64_t i = 0; i < words; ++i) {
            const uint32_t word = i < sourceWords ? LoadBig(in + 4 * i) : 0;
            const uint32_t value = shift ? carry | (word >> shift) : word;
            carry = shift ? word << (32 - shift) : 0;
            uint32_t m = ~0u;
            if (i == 0) m &= left;
            if (i == words - 1) m &= right;
            uint8_t* target = out + 4 * i;
            StoreBig(target, m == ~0u ? value : Merge(LoadBig(target), value, m));
        }
    }
}

template <uint32_t Depth>
void MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase)
{
    using P = Plane<Depth>;
    constexpr uint32_t ppw = P::kPixelsPerWord;
    if (mask->width <= 0 || mask->height <= 0 || source->width <= 0) return;
    phase %= 32;
    const uint64_t width = static_cast<uint32_t>(mask->width);
    const uint64_t firstWord = phase / ppw;
    const uint64_t lastWord = (width - 1) / ppw;
    if (lastWord < firstWord) return;
    const uint64_t words = lastWord - firstWord + 1;
    const uint64_t sourceWords = (static_cast<uint64_t>(source->width) + ppw - 1) / ppw;
    const uint32_t shift = (phase % ppw) * Depth;
    const uint32_t right = P::RightEdge(width);
    for (int32_t r = 0; r < mask->height; ++r) {
        uint8_t* out = RowAt(dest->bits, dest->stride, r);
        const uint8_t* in = RowAt(source->bits, source->stride, r);
        const uint8_t* maskRow = RowAt(mask->bits, mask->stride, r);
        uint32_t carry = 0;
        for (uint64_t i = 0; i < words; ++i) {
            const uint32_t word = i < sourceWords ? LoadBig(in + 4 * i) : 0;
            const uint32_t value = shift ? carry | (word >> shift) : word;
            carry = shift ? word << (32 - shift) : 0;
            uint32_t m = P::MaskBits(maskRow, firstWord + i);
            if (i == words - 1) m &= right;
            if (!m) continue;
            uint8_t* target = out + 4 * i;
            StoreBig(target, Merge(LoadBig(target), value, m));
        }
    }
}

}  // namespace

void Plane1RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    RectCopy<1>(dest, source, x, y, width, height);
}
void Plane2RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    RectCopy<2>(dest, source, x, y, width, height);
}
void Plane4RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height)
{
    RectCopy<4>(dest, source, x, y, width, height);
}

void Plane1MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase)
{
    MaskCopy<1>(dest, mask, source, phase);
}
void Plane2MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase)
{
    MaskCopy<2>(dest, mask, source, phase);
}
void Plane4MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase)
{
    MaskCopy<4>(dest, mask, source, phase);
}
