// The 1-bit quarter turn through SSE2: 16 rows of 16 bytes are transposed as bytes, and each
// byte column then gives its eight destination rows, 16 pixels each, by the sign-bit mask (one
// instruction per 16 pixels). Rows left over (fewer than 16) go to the plain kernel.
#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/raster/rotate1_paths.h"

#if defined(__SSE2__)

namespace {

// Source row of vector byte i in a strip of 16 rows: the sign-bit mask puts byte i in bit i, and
// its 16 bits are stored low byte first, so byte 7 (then 15) lands in the leftmost destination
// pixel of the first (then second) destination byte. Turned clockwise, the leftmost pixel is the
// strip's lowest row; turned back, its highest.
int32_t StripRow(bool clockwise, int32_t i)
{
    if (clockwise) return i < 8 ? 8 + i : i - 8;
    return i < 8 ? 7 - i : 23 - i;
}

inline void Store16(uint8_t* p, int bits)
{
    const uint16_t v = static_cast<uint16_t>(bits);
    std::memcpy(p, &v, 2);
}

// Writes the destination rows of one source byte column: v holds the column's byte of each strip
// row in StripRow order; its pixel k goes to the row `at` + k steps.
inline void EmitColumn(__m128i v, uint8_t* at, ptrdiff_t step, int32_t count)
{
    for (int32_t k = 0; k < count; ++k) {
        Store16(at + k * step, _mm_movemask_epi8(v));
        v = _mm_add_epi8(v, v);
    }
}

template <bool Clockwise>
void TurnStrips(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
                int32_t height)
{
    const int32_t strips = height / 16, rest = height % 16;
    for (int32_t k = 0; k < strips; ++k) {
        // Clockwise, source row r becomes destination column height - 1 - r: strips are counted
        // from the bottom row up so that each starts on a destination byte.
        const int32_t first = Clockwise ? height - 16 * (k + 1) : 16 * k;
        Rotate1Sse2Strip(Clockwise, dest, destStride, source, sourceStride, width, first, 2 * k, 0);
    }
    if (rest == 0) return;
    if (Clockwise) Rotate1PlainTurn90(dest + 2 * strips, destStride, source, sourceStride, width, rest);
    else
        Rotate1PlainTurn270(dest + 2 * strips, destStride, source + 16 * strips * sourceStride, sourceStride, width,
                            rest);
}

}  // namespace

void Rotate1Sse2Strip(bool clockwise, uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                      ptrdiff_t sourceStride, int32_t width, int32_t first, int32_t destByte, int32_t firstColumn)
{
    const uint8_t* rows[16];
    for (int32_t i = 0; i < 16; ++i) rows[i] = source + (first + StripRow(clockwise, i)) * sourceStride;
    // Destination row of source column x: x turned clockwise, width - 1 - x turned back; a
    // column's eight pixels go down the destination clockwise, up it turned back.
    const ptrdiff_t step = clockwise ? destStride : -destStride;
    uint8_t* const column0 = dest + (clockwise ? 0 : width - 1) * destStride + destByte;
    const int32_t fullBytes = width / 8;
    int32_t c = firstColumn;
    for (; c + 16 <= fullBytes; c += 16) {
        __m128i t[16];
        for (int32_t i = 0; i < 16; ++i) t[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[i] + c));
        // Four perfect shuffles transpose the 16 x 16 bytes: each moves the top bit of the
        // register number into the byte number.
        for (int stage = 0; stage < 4; ++stage) {
            __m128i u[16];
            for (int32_t i = 0; i < 8; ++i) {
                u[2 * i] = _mm_unpacklo_epi8(t[i], t[i + 8]);
                u[2 * i + 1] = _mm_unpackhi_epi8(t[i], t[i + 8]);
            }
            std::memcpy(t, u, sizeof t);
        }
        for (int32_t j = 0; j < 16; ++j) EmitColumn(t[j], column0 + 8 * (c + j) * step, step, 8);
    }
    // The last byte columns one at a time; a partial byte gives only the rows within the width.
    for (; c < (width + 7) / 8; ++c) {
        alignas(16) uint8_t bytes[16];
        for (int32_t i = 0; i < 16; ++i) bytes[i] = rows[i][c];
        EmitColumn(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)), column0 + 8 * c * step, step,
                   std::min(8, width - 8 * c));
    }
}

void Rotate1Sse2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    TurnStrips<true>(dest, destStride, source, sourceStride, width, height);
}

void Rotate1Sse2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    TurnStrips<false>(dest, destStride, source, sourceStride, width, height);
}

bool Rotate1Sse2Supported() { return true; }

#else

void Rotate1Sse2Strip(bool, uint8_t*, ptrdiff_t, const uint8_t*, ptrdiff_t, int32_t, int32_t, int32_t, int32_t) {}

void Rotate1Sse2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    Rotate1PlainTurn90(dest, destStride, source, sourceStride, width, height);
}

void Rotate1Sse2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    Rotate1PlainTurn270(dest, destStride, source, sourceStride, width, height);
}

bool Rotate1Sse2Supported() { return false; }

#endif
