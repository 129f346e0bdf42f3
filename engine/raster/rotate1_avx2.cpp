// The 1-bit quarter turn through AVX2: strips of 32 rows, two 16 x 16 byte transposes side by
// side in the two halves of each register, then one sign-bit mask per 32 destination pixels.
// Rows left over (fewer than 32) go to the SSE2 kernel.
#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/raster/rotate1_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#define FAX_AVX2 __attribute__((target("avx2")))

namespace {

// Source row (from the strip's first) of vector byte i: the sign-bit mask puts byte i in bit i,
// and its 32 bits are stored low byte first, so bytes 7, 15, 23, 31 give the leftmost pixel of
// each of the four destination bytes. Turned back, destination pixel p is strip row p; turned
// clockwise, strip row 31 - p.
int32_t StripRow(bool clockwise, int32_t i)
{
    const int32_t pixel = 8 * (i / 8) + 7 - i % 8;
    return clockwise ? 31 - pixel : pixel;
}

FAX_AVX2 inline void EmitColumn(__m256i v, uint8_t* at, ptrdiff_t step, int32_t count)
{
    for (int32_t k = 0; k < count; ++k) {
        const uint32_t bits = static_cast<uint32_t>(_mm256_movemask_epi8(v));
        std::memcpy(at + k * step, &bits, 4);
        v = _mm256_add_epi8(v, v);
    }
}

// Source rows first..first + 31 for the whole width, landing at destByte of every row.
FAX_AVX2 void TurnStrip32(bool clockwise, uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                          ptrdiff_t sourceStride, int32_t width, int32_t first, int32_t destByte)
{
    const uint8_t* rows[32];
    for (int32_t i = 0; i < 32; ++i) rows[i] = source + (first + StripRow(clockwise, i)) * sourceStride;
    const ptrdiff_t step = clockwise ? destStride : -destStride;
    uint8_t* const column0 = dest + (clockwise ? 0 : width - 1) * destStride + destByte;
    const int32_t fullBytes = width / 8;
    int32_t c = 0;
    for (; c + 16 <= fullBytes; c += 16) {
        // Register q holds byte i = q of its low half and i = 16 + q of its high half.
        __m256i t[16];
        for (int32_t q = 0; q < 16; ++q) {
            const __m128i low = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[q] + c));
            const __m128i high = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[16 + q] + c));
            t[q] = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        }
        for (int stage = 0; stage < 4; ++stage) {
            __m256i u[16];
            for (int32_t i = 0; i < 8; ++i) {
                u[2 * i] = _mm256_unpacklo_epi8(t[i], t[i + 8]);
                u[2 * i + 1] = _mm256_unpackhi_epi8(t[i], t[i + 8]);
            }
            for (int32_t i = 0; i < 16; ++i) t[i] = u[i];
        }
        for (int32_t j = 0; j < 16; ++j) EmitColumn(t[j], column0 + 8 * (c + j) * step, step, 8);
    }
    for (; c < (width + 7) / 8; ++c) {
        alignas(32) uint8_t bytes[32];
        for (int32_t i = 0; i < 32; ++i) bytes[i] = rows[i][c];
        EmitColumn(_mm256_load_si256(reinterpret_cast<const __m256i*>(bytes)), column0 + 8 * c * step, step,
                   std::min(8, width - 8 * c));
    }
}

FAX_AVX2 void TurnStrips(bool clockwise, uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                         ptrdiff_t sourceStride, int32_t width, int32_t height)
{
    const int32_t strips = height / 32, rest = height % 32;
    for (int32_t k = 0; k < strips; ++k) {
        const int32_t first = clockwise ? height - 32 * (k + 1) : 32 * k;
        TurnStrip32(clockwise, dest, destStride, source, sourceStride, width, first, 4 * k);
    }
    if (rest == 0) return;
    if (clockwise) Rotate1Sse2Turn90(dest + 4 * strips, destStride, source, sourceStride, width, rest);
    else
        Rotate1Sse2Turn270(dest + 4 * strips, destStride, source + 32 * strips * sourceStride, sourceStride, width,
                           rest);
}

}  // namespace

void Rotate1Avx2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    TurnStrips(true, dest, destStride, source, sourceStride, width, height);
}

void Rotate1Avx2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    TurnStrips(false, dest, destStride, source, sourceStride, width, height);
}

bool Rotate1Avx2Supported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

#else

void Rotate1Avx2Turn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    Rotate1Sse2Turn90(dest, destStride, source, sourceStride, width, height);
}

void Rotate1Avx2Turn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    Rotate1Sse2Turn270(dest, destStride, source, sourceStride, width, height);
}

bool Rotate1Avx2Supported() { return false; }

#endif
