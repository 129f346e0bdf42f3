// The 1-bit quarter turn through AVX-512 with GFNI: strips of 64 rows cut into 64 x 64 tiles.
// A tile is eight 8 x 8 grids of 8 x 8 pixel cells. Each register takes eight rows (one cell
// row of the grid, a quadword a row); a byte permutation gathers each cell into a quadword; one
// affine instruction transposes the eight cells' bits; a quadword transpose across the eight
// registers and the same byte permutation put the cells where the turned tile has them, and
// every register leaves as eight destination quadwords. Where they can, tiles go four at a time:
// two side by side are read 16 bytes a row, and one permutation both parts them and gathers
// their cells; two strips one above the other give each destination row its 16 bytes in one
// store. The strips' last columns (fewer than 64) go through the SSE2 strips, rows left over
// (fewer than 64) to the AVX2 kernel.
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include "engine/raster/rotate1_paths.h"

#if defined(__x86_64__) || defined(__i386__)

#define FAX_GFNI __attribute__((target("avx512f,avx512bw,avx512vbmi,gfni")))

// The compiler's own AVX-512 headers start several intrinsics (insertion, extraction) from an
// undefined register and then warn that it is uninitialised.
#if !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

namespace {

// Byte permutations, as indexes: `bytes` moves byte 8i + j of a register to byte 8j + i (the
// 8 x 8 byte transpose within a register); `pairLow` and `pairHigh` interleave the even (odd)
// quadwords of a pair of registers and apply the same transpose, in one two-register step.
struct TileIndexes {
    __m512i bytes, pairLow, pairHigh, rowsLeft, rowsRight;
};

FAX_GFNI inline TileIndexes MakeTileIndexes()
{
    alignas(64) uint8_t bytes[64];
    alignas(64) uint8_t low[64];
    alignas(64) uint8_t high[64];
    alignas(64) uint8_t left[64];
    alignas(64) uint8_t right[64];
    for (int j = 0; j < 64; ++j) {
        // Two tiles side by side, loaded 16 bytes a row: rows 0-3 in the first register, rows
        // 4-7 in the second, each row's two quadwords together (left tile first).
        const int row = j % 8, column = j / 8;
        left[j] = static_cast<uint8_t>(row < 4 ? 16 * row + column : 64 + 16 * (row - 4) + column);
        right[j] = static_cast<uint8_t>(left[j] + 8);
        const int from = 8 * (j % 8) + j / 8;
        const int quad = from / 8, byte = from % 8;
        bytes[j] = static_cast<uint8_t>(from);
        // Quadword q of the interleave is quadword q (q even) or q - 1 (q odd, from the second
        // register) of the low halves; q + 1 or q of the high ones.
        low[j] = static_cast<uint8_t>(quad % 2 ? 64 + 8 * (quad - 1) + byte : 8 * quad + byte);
        high[j] = static_cast<uint8_t>(quad % 2 ? 64 + 8 * quad + byte : 8 * (quad + 1) + byte);
    }
    return {_mm512_load_si512(bytes), _mm512_load_si512(low), _mm512_load_si512(high), _mm512_load_si512(left),
            _mm512_load_si512(right)};
}

// The quadword transpose of eight registers (z[i] quadword l to z[l] quadword i), each step
// swapping one bit of the register number with the same bit of the quadword number; the last
// step, with the byte transpose that follows it, is left to the caller.
FAX_GFNI inline void TransposeQuads(__m512i (&z)[8])
{
    for (int i = 0; i < 4; ++i) {  // bit 2: halves of 256 bits
        const __m512i low = _mm512_shuffle_i64x2(z[i], z[i + 4], 0x44);
        const __m512i high = _mm512_shuffle_i64x2(z[i], z[i + 4], 0xEE);
        z[i] = low;
        z[i + 4] = high;
    }
    const __m512i lowIndex = _mm512_set_epi64(13, 12, 5, 4, 9, 8, 1, 0);
    const __m512i highIndex = _mm512_set_epi64(15, 14, 7, 6, 11, 10, 3, 2);
    for (int i : {0, 1, 4, 5}) {  // bit 1: quarters of 128 bits
        const __m512i low = _mm512_permutex2var_epi64(z[i], lowIndex, z[i + 2]);
        const __m512i high = _mm512_permutex2var_epi64(z[i], highIndex, z[i + 2]);
        z[i] = low;
        z[i + 2] = high;
    }
}

// Eight quadwords, one from each of eight rows `step` bytes apart, into one register. The high
// quadword of each pair goes through the single-precision form, which makes no claim of
// alignment.
FAX_GFNI inline __m512i LoadRows(const uint8_t* in, ptrdiff_t step)
{
    __m128i q[4];
    for (int i = 0; i < 4; ++i) {
        const __m128i low = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(in + 2 * i * step));
        q[i] = _mm_castps_si128(
            _mm_loadh_pi(_mm_castsi128_ps(low), reinterpret_cast<const __m64*>(in + (2 * i + 1) * step)));
    }
    const __m256i low = _mm256_inserti128_si256(_mm256_castsi128_si256(q[0]), q[1], 1);
    const __m256i high = _mm256_inserti128_si256(_mm256_castsi128_si256(q[2]), q[3], 1);
    return _mm512_inserti64x4(_mm512_castsi256_si512(low), high, 1);
}

// The eight quadwords of a register to eight rows `step` bytes apart.
FAX_GFNI inline void StoreRows(uint8_t* out, ptrdiff_t step, __m512i v)
{
    const __m256i halves[2] = {_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1)};
    for (int h = 0; h < 2; ++h) {
        const __m128i q[2] = {_mm256_castsi256_si128(halves[h]), _mm256_extracti128_si256(halves[h], 1)};
        for (int i = 0; i < 2; ++i) {
            uint8_t* at = out + (4 * h + 2 * i) * step;
            _mm_storel_epi64(reinterpret_cast<__m128i*>(at), q[i]);
            _mm_storeh_pi(reinterpret_cast<__m64*>(at + step), _mm_castsi128_ps(q[i]));
        }
    }
}

// The eight registers of a tile from its source rows: in[p] is source row p of the tile (p
// counts destination pixels), `inStep` bytes apart; register g takes rows 8g..8g+7.
FAX_GFNI inline void LoadTile(__m512i (&z)[8], const uint8_t* in, ptrdiff_t inStep)
{
    for (int g = 0; g < 8; ++g) z[g] = LoadRows(in + 8 * g * inStep, inStep);
}

// Two tiles side by side: eight rows of 16 bytes a register, each tile's register with its
// cells gathered into quadwords by the one permutation that also parts the two tiles.
FAX_GFNI inline void LoadTilesSideBySide(__m512i (&left)[8], __m512i (&right)[8], const uint8_t* in, ptrdiff_t inStep,
                                         const TileIndexes& index)
{
    for (int g = 0; g < 8; ++g) {
        __m256i y[4];
        for (int i = 0; i < 4; ++i) {
            const uint8_t* row = in + (8 * g + 2 * i) * inStep;
            y[i] =
                _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row))),
                                        _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + inStep)), 1);
        }
        const __m512i top = _mm512_inserti64x4(_mm512_castsi256_si512(y[0]), y[1], 1);
        const __m512i bottom = _mm512_inserti64x4(_mm512_castsi256_si512(y[2]), y[3], 1);
        left[g] = _mm512_permutex2var_epi8(top, index.rowsLeft, bottom);
        right[g] = _mm512_permutex2var_epi8(top, index.rowsRight, bottom);
    }
}

// A blank tile, the common case on a fax page, is written as zeros without being turned.
FAX_GFNI inline bool TileBlank(const __m512i (&z)[8])
{
    const __m512i any = _mm512_or_si512(_mm512_or_si512(_mm512_or_si512(z[0], z[1]), _mm512_or_si512(z[2], z[3])),
                                        _mm512_or_si512(_mm512_or_si512(z[4], z[5]), _mm512_or_si512(z[6], z[7])));
    return _mm512_test_epi64_mask(any, any) == 0;
}

// Turns a loaded tile whose cells are gathered into quadwords in place: quadword x % 8 of
// z[x / 8] becomes destination row x of the tile (x the tile's source column), whose pixel p is
// pixel x of in[p].
FAX_GFNI inline void TurnGatheredCells(__m512i (&z)[8], const TileIndexes& index)
{
    // Each byte x of the eight selectors picks bit 7 - x of every cell row: cell bit (7 - k)
    // of byte b is the cell's row k pixel b, a transpose.
    const __m512i select = _mm512_set1_epi64(0x0102040810204080);
    for (int g = 0; g < 8; ++g) z[g] = _mm512_gf2p8affine_epi64_epi8(select, z[g], 0);
    TransposeQuads(z);
    for (int c = 0; c < 8; c += 2) {
        const __m512i low = _mm512_permutex2var_epi8(z[c], index.pairLow, z[c + 1]);
        const __m512i high = _mm512_permutex2var_epi8(z[c], index.pairHigh, z[c + 1]);
        z[c] = low;
        z[c + 1] = high;
    }
}

// The same for a tile loaded as rows: its cells are gathered first.
FAX_GFNI inline void TurnCells(__m512i (&z)[8], const TileIndexes& index)
{
    for (int g = 0; g < 8; ++g) z[g] = _mm512_permutexvar_epi8(index.bytes, z[g]);
    TurnGatheredCells(z, index);
}

// One tile; destination row x of the tile is out + x * step.
FAX_GFNI void TurnTile(uint8_t* out, ptrdiff_t step, const uint8_t* in, ptrdiff_t inStep, const TileIndexes& index)
{
    __m512i z[8];
    LoadTile(z, in, inStep);
    if (TileBlank(z)) {
        const __m128i zero = _mm_setzero_si128();
        for (int x = 0; x < 64; ++x) _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x * step), zero);
        return;
    }
    TurnCells(z, index);
    for (int c = 0; c < 8; ++c) StoreRows(out + 8 * c * step, step, z[c]);
}

// The turned tiles z and w side by side: destination row x of both is out + x * step, its 16
// bytes in one store.
FAX_GFNI inline void StorePair(uint8_t* out, ptrdiff_t step, __m512i (&z)[8], __m512i (&w)[8])
{
    for (int c = 0; c < 8; ++c) {
        // Even rows of the eight from the low quadwords of each 128 bits, odd from the high.
        const __m512i even = _mm512_unpacklo_epi64(z[c], w[c]);
        const __m512i odd = _mm512_unpackhi_epi64(z[c], w[c]);
        uint8_t* at = out + 8 * c * step;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at), _mm512_castsi512_si128(even));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + step), _mm512_castsi512_si128(odd));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 2 * step), _mm512_extracti32x4_epi32(even, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 3 * step), _mm512_extracti32x4_epi32(odd, 1));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 4 * step), _mm512_extracti32x4_epi32(even, 2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 5 * step), _mm512_extracti32x4_epi32(odd, 2));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 6 * step), _mm512_extracti32x4_epi32(even, 3));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(at + 7 * step), _mm512_extracti32x4_epi32(odd, 3));
    }
}

// Two tiles whose results lie side by side in the destination rows (from source rows `in` and
// `inNext`): each destination row takes its 16 bytes in one store.
FAX_GFNI void TurnTilePair(uint8_t* out, ptrdiff_t step, const uint8_t* in, const uint8_t* inNext, ptrdiff_t inStep,
                           const TileIndexes& index)
{
    __m512i z[8];
    __m512i w[8];
    LoadTile(z, in, inStep);
    LoadTile(w, inNext, inStep);
    if (TileBlank(z) && TileBlank(w)) {
        const __m128i zero = _mm_setzero_si128();
        for (int x = 0; x < 64; ++x) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * step), zero);
        return;
    }
    TurnCells(z, index);
    TurnCells(w, index);
    StorePair(out, step, z, w);
}

// Four tiles: two side by side (16 bytes a row) in each of two strips.
FAX_GFNI void TurnTileQuad(uint8_t* out, ptrdiff_t step, const uint8_t* in, const uint8_t* inNext, ptrdiff_t inStep,
                           const TileIndexes& index)
{
    __m512i z[8], zRight[8], w[8], wRight[8];
    LoadTilesSideBySide(z, zRight, in, inStep, index);
    LoadTilesSideBySide(w, wRight, inNext, inStep, index);
    if (TileBlank(z) && TileBlank(zRight) && TileBlank(w) && TileBlank(wRight)) {
        const __m128i zero = _mm_setzero_si128();
        for (int x = 0; x < 128; ++x) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x * step), zero);
        return;
    }
    TurnGatheredCells(z, index);
    TurnGatheredCells(w, index);
    StorePair(out, step, z, w);
    TurnGatheredCells(zRight, index);
    TurnGatheredCells(wRight, index);
    StorePair(out + 64 * step, step, zRight, wRight);
}

FAX_GFNI void TurnStrips(bool clockwise, uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                         ptrdiff_t sourceStride, int32_t width, int32_t height)
{
    const int32_t strips = height / 64, rest = height % 64;
    const int32_t tiles = width / 64;
    // Clockwise, destination pixel p is the strip's row 63 - p, read upwards.
    const ptrdiff_t inStep = clockwise ? -sourceStride : sourceStride;
    const ptrdiff_t step = clockwise ? destStride : -destStride;
    const TileIndexes index = MakeTileIndexes();
    // Strip k's rows start at `first`, read upwards clockwise; it lands at destination byte 8k.
    const auto firstRow = [&](int32_t k) { return clockwise ? height - 64 * (k + 1) : 64 * k; };
    const auto stripIn = [&](int32_t k) {
        return source + (clockwise ? firstRow(k) + 63 : firstRow(k)) * sourceStride;
    };
    uint8_t* const column0 = dest + (clockwise ? 0 : width - 1) * destStride;
    for (int32_t k = 0; k < strips; ++k) {
        const int32_t first = firstRow(k);
        const uint8_t* in = stripIn(k);
        uint8_t* out = column0 + 8 * k;
        if (k % 2 == 0 && k + 1 < strips) {
            // Strips two at a time; the second of the pair writes nothing more but its last
            // columns.
            const uint8_t* inNext = stripIn(k + 1);
            int32_t t = 0;
            for (; t + 2 <= tiles; t += 2)
                TurnTileQuad(out + 64 * t * step, step, in + 8 * t, inNext + 8 * t, inStep, index);
            for (; t < tiles; ++t) TurnTilePair(out + 64 * t * step, step, in + 8 * t, inNext + 8 * t, inStep, index);
        } else if (k % 2 == 0) {
            for (int32_t t = 0; t < tiles; ++t) TurnTile(out + 64 * t * step, step, in + 8 * t, inStep, index);
        }
        if (tiles * 64 == width) continue;
        for (int32_t s = 0; s < 4; ++s) {
            const int32_t f = first + 16 * s;
            Rotate1Sse2Strip(clockwise, dest, destStride, source, sourceStride, width, f,
                             clockwise ? (height - f - 16) / 8 : f / 8, 8 * tiles);
        }
    }
    if (rest == 0) return;
    if (clockwise) Rotate1Avx2Turn90(dest + 8 * strips, destStride, source, sourceStride, width, rest);
    else
        Rotate1Avx2Turn270(dest + 8 * strips, destStride, source + 64 * strips * sourceStride, sourceStride, width,
                           rest);
}

}  // namespace

#if !defined(__clang__)
#pragma GCC diagnostic pop
#endif

void Rotate1GfniTurn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    TurnStrips(true, dest, destStride, source, sourceStride, width, height);
}

void Rotate1GfniTurn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    TurnStrips(false, dest, destStride, source, sourceStride, width, height);
}

bool Rotate1GfniSupported()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi") && __builtin_cpu_supports("gfni");
}

#else

void Rotate1GfniTurn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height)
{
    Rotate1Avx2Turn90(dest, destStride, source, sourceStride, width, height);
}

void Rotate1GfniTurn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    Rotate1Avx2Turn270(dest, destStride, source, sourceStride, width, height);
}

bool Rotate1GfniSupported() { return false; }

#endif
