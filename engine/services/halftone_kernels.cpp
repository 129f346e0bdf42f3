// The halftone kernels: the threshold rule applied to lines of 8-bit samples (ink amounts) and to
// flat colours. A sample s reaches a threshold t when s >= t; the output level is the number of
// the cell's thresholds reached. Screen rows are padded with their own start, so a tile row longer
// than the screen reads on without a modulo.
#include <algorithm>
#include <array>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/services/halftone.h"

namespace {

uint32_t Wrap(int64_t value, uint32_t modulus)
{
    const int64_t m = static_cast<int64_t>(modulus);
    return static_cast<uint32_t>(((value % m) + m) % m);
}

const uint8_t* ScreenRow(const HalftoneScreen* screen, int64_t y)
{
    return screen->matrix + static_cast<size_t>(Wrap(y, screen->height)) * screen->pitch * screen->thresholdsPerCell;
}

uint32_t Level(const uint8_t* cell, uint32_t count, uint8_t sample, uint32_t maximum)
{
    uint32_t level = 0;
    for (uint32_t k = 0; k < count; ++k) level += sample >= cell[k] ? 1 : 0;
    return std::min(level, maximum);
}

// One line of a 1-bit plane, eight pixels an output byte. The screen row is padded with its own
// start (at least 8 cells), so eight thresholds read from any column below the width continue
// across the row's end without a wrap test; the column wraps once a byte. A partial last byte is
// flushed shifted to the top.
#if defined(__SSE2__)
// A byte with its bits in the other order: a compare mask has pixel 0 in bit 0, the output byte in bit 7.
constexpr std::array<uint8_t, 256> MakeBitReversal()
{
    std::array<uint8_t, 256> table{};
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t r = 0;
        for (uint32_t k = 0; k < 8; ++k) r |= ((v >> k) & 1u) << (7 - k);
        table[v] = static_cast<uint8_t>(r);
    }
    return table;
}
constexpr std::array<uint8_t, 256> kBitReversal = MakeBitReversal();
#endif

void Line1Bit(const HalftoneScreen* screen, const uint8_t* row, uint32_t column, const uint8_t* samples,
              uint32_t bytesPerPixel, uint32_t width, uint8_t* out)
{
    const uint32_t whole = width / 8;
    uint32_t byte = 0;
#if defined(__SSE2__)
    if (bytesPerPixel == 1) {
        // Sixteen samples at once against two runs of eight thresholds (the column wraps between
        // them as it does a byte): s >= t where max(s, t) == s.
        for (; byte + 2 <= whole; byte += 2) {
            const __m128i t0 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + column));
            column += 8;
            while (column >= screen->width) column -= screen->width;
            const __m128i t1 = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(row + column));
            column += 8;
            while (column >= screen->width) column -= screen->width;
            const __m128i t = _mm_unpacklo_epi64(t0, t1);
            const __m128i s =
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + static_cast<size_t>(byte) * 8));
            const uint32_t reached = static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(s, t), s)));
            out[byte] = kBitReversal[reached & 0xFF];
            out[byte + 1] = kBitReversal[reached >> 8];
        }
    }
#endif
    for (; byte < whole; ++byte) {
        const uint8_t* t = row + column;
        const uint8_t* s = samples + static_cast<size_t>(byte) * 8 * bytesPerPixel;
        uint32_t bits = 0;
        for (uint32_t k = 0; k < 8; ++k) bits = (bits << 1) | (s[k * bytesPerPixel] >= t[k] ? 1u : 0u);
        out[byte] = static_cast<uint8_t>(bits);
        column += 8;
        while (column >= screen->width) column -= screen->width;
    }
    const uint32_t rest = width % 8;
    if (rest == 0) return;
    const uint8_t* s = samples + static_cast<size_t>(whole) * 8 * bytesPerPixel;
    uint32_t bits = 0;
    for (uint32_t k = 0; k < rest; ++k) bits = (bits << 1) | (s[k * bytesPerPixel] >= row[column + k] ? 1u : 0u);
    out[whole] = static_cast<uint8_t>(bits << (8 - rest));
}

}  // namespace

void HalftoneImage1Bit(const HalftoneScreen* screen, const uint8_t* samples, uint32_t sampleStride,
                       uint32_t bytesPerPixel, uint32_t width, uint32_t height, int32_t x0, int32_t y0, uint8_t* out,
                       uint32_t outStride)
{
    const uint32_t column = Wrap(x0, screen->width);
    for (uint32_t j = 0; j < height; ++j) {
        Line1Bit(screen, ScreenRow(screen, int64_t{y0} + j), column, samples + static_cast<size_t>(j) * sampleStride,
                 bytesPerPixel, width, out + static_cast<size_t>(j) * outStride);
    }
}

void HalftoneImageCmyk1Bit(const HalftoneScreen* screens, const uint8_t* samples, uint32_t sampleStride, uint32_t width,
                           uint32_t height, int32_t x0, int32_t y0, uint8_t* const* out, uint32_t outStride)
{
    for (uint32_t plane = 0; plane < 4; ++plane)
        HalftoneImage1Bit(&screens[plane], samples + plane, sampleStride, 4, width, height, x0, y0, out[plane],
                          outStride);
}

void HalftoneImageLevels(const HalftoneScreen* screen, const uint8_t* samples, uint32_t sampleStride,
                         uint32_t bytesPerPixel, uint32_t width, uint32_t height, int32_t x0, int32_t y0, uint8_t* out,
                         uint32_t outStride)
{
    const uint32_t depth = screen->bitsPerPixel;
    const uint32_t maximum = (1u << depth) - 1;
    const uint32_t perByte = 8 / depth;
    const uint32_t n = screen->thresholdsPerCell;
    const uint32_t startColumn = Wrap(x0, screen->width);
    for (uint32_t j = 0; j < height; ++j) {
        const uint8_t* row = ScreenRow(screen, int64_t{y0} + j);
        const uint8_t* line = samples + static_cast<size_t>(j) * sampleStride;
        uint8_t* target = out + static_cast<size_t>(j) * outStride;
        uint32_t column = startColumn;
        uint32_t bits = 0;
        uint32_t filled = 0;
        for (uint32_t i = 0; i < width; ++i) {
            bits = (bits << depth) | Level(row + static_cast<size_t>(column) * n, n,
                                           line[static_cast<size_t>(i) * bytesPerPixel], maximum);
            if (++column == screen->width) column = 0;
            if (++filled == perByte) {
                *target++ = static_cast<uint8_t>(bits);
                bits = 0;
                filled = 0;
            }
        }
        if (filled != 0) *target = static_cast<uint8_t>(bits << (8 - filled * depth));
    }
}

void HalftoneColor1Bit(const HalftoneScreen* screen, uint8_t value, uint8_t* tile, uint32_t stride)
{
    for (uint32_t j = 0; j < screen->height; ++j) {
        const uint8_t* row = screen->matrix + static_cast<size_t>(j) * screen->pitch;
        uint8_t* target = tile + static_cast<size_t>(j) * stride;
        for (uint32_t byte = 0; byte < stride; ++byte) {
            const uint8_t* t = row + static_cast<size_t>(byte) * 8;
            uint32_t bits = 0;
            for (uint32_t k = 0; k < 8; ++k) bits = (bits << 1) | (value >= t[k] ? 1u : 0u);
            target[byte] = static_cast<uint8_t>(bits);
        }
    }
}

void HalftoneColorLevels(const HalftoneScreen* screen, uint8_t value, uint8_t* tile, uint32_t stride)
{
    const uint32_t depth = screen->bitsPerPixel;
    const uint32_t maximum = (1u << depth) - 1;
    const uint32_t perByte = 8 / depth;
    const uint32_t n = screen->thresholdsPerCell;
    for (uint32_t j = 0; j < screen->height; ++j) {
        const uint8_t* row = screen->matrix + static_cast<size_t>(j) * screen->pitch * n;
        uint8_t* target = tile + static_cast<size_t>(j) * stride;
        for (uint32_t byte = 0; byte < stride; ++byte) {
            uint32_t bits = 0;
            for (uint32_t k = 0; k < perByte; ++k)
                bits = (bits << depth) | Level(row + (static_cast<size_t>(byte) * perByte + k) * n, n, value, maximum);
            target[byte] = static_cast<uint8_t>(bits);
        }
    }
}
