// Rotation of 1-bit bitmaps. Quarter turns take the source 16 rows at a time where the vector
// unit allows: 16 rows of 16 bytes are transposed as bytes, and each byte column then gives its
// eight destination rows, 16 pixels each, by the sign-bit mask (one instruction per 16 pixels).
// The other rows, and machines without the vector unit, cut the bitmap into square power-of-two
// blocks turned by quadrant recursion down to 8 x 8 leaves (16 table lookups each); 32 x 32
// blocks of zeros, the common case on a fax page, are written as zeros without being turned.
#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "engine/raster/rotate.h"

namespace {

// Table k maps the four pixels of a nibble of source row k of a leaf to the four destination
// rows they reach, one byte per row (byte b = bits 8b..8b+7 of the word).
//   90 degrees:  the nibble's first pixel in byte 0, bit value 1 << k (row 7 is the top bit).
//   270 degrees: the nibble's first pixel in byte 3, bit value 0x80 >> k.
using NibbleTables = std::array<std::array<uint32_t, 16>, 8>;

constexpr NibbleTables MakeNibbleTables(bool clockwise) {
    NibbleTables tables{};
    for (unsigned k = 0; k < 8; ++k) {
        for (unsigned n = 0; n < 16; ++n) {
            uint32_t word = 0;
            for (unsigned q = 0; q < 4; ++q) {
                if (!(n & (8u >> q))) continue;
                unsigned byte = clockwise ? q : 3 - q;
                uint32_t bit = clockwise ? (1u << k) : (0x80u >> k);
                word |= bit << (8 * byte);
            }
            tables[k][n] = word;
        }
    }
    return tables;
}

constexpr NibbleTables kLeaf90 = MakeNibbleTables(true);
constexpr NibbleTables kLeaf270 = MakeNibbleTables(false);

// Turns eight source bytes (rows r0..r7 of an 8 x 8 block) into eight destination rows.
template <bool Clockwise>
inline void TurnLeaf(const uint8_t (&in)[8], uint8_t (&out)[8]) {
    const NibbleTables& t = Clockwise ? kLeaf90 : kLeaf270;
    uint32_t high = 0;
    uint32_t low = 0;
    for (unsigned k = 0; k < 8; ++k) {
        high |= t[k][in[k] >> 4];
        low |= t[k][in[k] & 15];
    }
    // 90 degrees: the high nibbles (source columns 0..3) give rows 0..3;
    // 270 degrees: they give rows 4..7.
    uint32_t first = Clockwise ? high : low;
    uint32_t second = Clockwise ? low : high;
    for (unsigned b = 0; b < 4; ++b) {
        out[b] = static_cast<uint8_t>(first >> (8 * b));
        out[4 + b] = static_cast<uint8_t>(second >> (8 * b));
    }
}

template <bool Clockwise>
inline void TurnLeafAt(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                       ptrdiff_t sourceStride) {
    uint8_t in[8];
    uint8_t out[8];
    for (unsigned k = 0; k < 8; ++k) in[k] = source[k * sourceStride];
    TurnLeaf<Clockwise>(in, out);
    for (unsigned j = 0; j < 8; ++j) dest[j * destStride] = out[j];
}

inline uint32_t LoadWord(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// One block of side S (a power of two, at least 8).
template <bool Clockwise>
void TurnBlock(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
               uint32_t side) {
    for (;;) {
        if (side == 8) {
            TurnLeafAt<Clockwise>(dest, destStride, source, sourceStride);
            return;
        }
        if (side == 32) {
            uint32_t any = 0;
            for (unsigned r = 0; r < 32 && !any; ++r) any |= LoadWord(source + r * sourceStride);
            if (!any) {
                for (unsigned r = 0; r < 32; ++r) std::memset(dest + r * destStride, 0, 4);
                return;
            }
        }
        const uint32_t half = side / 2;
        const ptrdiff_t halfBytes = half / 8;
        const uint8_t* sTL = source;
        const uint8_t* sTR = source + halfBytes;
        const uint8_t* sBL = source + half * sourceStride;
        const uint8_t* sBR = sBL + halfBytes;
        uint8_t* dTL = dest;
        uint8_t* dTR = dest + halfBytes;
        uint8_t* dBL = dest + half * destStride;
        uint8_t* dBR = dBL + halfBytes;
        if (side == 16) {
            if (Clockwise) {
                TurnLeafAt<true>(dTL, destStride, sBL, sourceStride);
                TurnLeafAt<true>(dTR, destStride, sTL, sourceStride);
                TurnLeafAt<true>(dBL, destStride, sBR, sourceStride);
                TurnLeafAt<true>(dBR, destStride, sTR, sourceStride);
            } else {
                TurnLeafAt<false>(dTL, destStride, sTR, sourceStride);
                TurnLeafAt<false>(dTR, destStride, sBR, sourceStride);
                TurnLeafAt<false>(dBL, destStride, sTL, sourceStride);
                TurnLeafAt<false>(dBR, destStride, sBL, sourceStride);
            }
            return;
        }
        // Three quadrants by recursion, the last by iteration.
        if (Clockwise) {
            TurnBlock<true>(dTL, destStride, sBL, sourceStride, half);
            TurnBlock<true>(dTR, destStride, sTL, sourceStride, half);
            TurnBlock<true>(dBL, destStride, sBR, sourceStride, half);
            dest = dBR;
            source = sTR;
        } else {
            TurnBlock<false>(dTL, destStride, sTR, sourceStride, half);
            TurnBlock<false>(dTR, destStride, sBR, sourceStride, half);
            TurnBlock<false>(dBL, destStride, sTL, sourceStride, half);
            dest = dBR;
            source = sBL;
        }
        side = half;
    }
}

// Bitmaps narrower or lower than 8 pixels: each group of up to 8 source rows that lands in one
// destination byte column is gathered byte column by byte column, missing rows as 0, turned as
// a leaf, and written one byte per destination row. Padding bits of the result come out 0.
template <bool Clockwise>
void TurnSmall(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
               int32_t width, int32_t height) {
    const int32_t byteColumns = (width + 7) / 8;
    const int32_t groups = (height + 7) / 8;
    for (int32_t g = 0; g < groups; ++g) {
        // Source rows first..first + rows - 1 land in destination byte column g.
        int32_t first;
        int32_t rows;
        if (Clockwise) {
            int32_t last = height - 8 * g - 1;
            first = std::max(0, last - 7);
            rows = last - first + 1;
        } else {
            first = 8 * g;
            rows = std::min(8, height - first);
        }
        for (int32_t c = 0; c < byteColumns; ++c) {
            uint8_t in[8] = {};
            uint8_t out[8];
            for (int32_t q = 0; q < rows; ++q) in[q] = source[(first + q) * sourceStride + c];
            TurnLeaf<Clockwise>(in, out);
            for (int32_t j = 0; j < 8; ++j) {
                // Source column of output row j, and the destination row it becomes.
                int32_t column = Clockwise ? 8 * c + j : 8 * c + 7 - j;
                if (column >= width) continue;
                int32_t destRow = Clockwise ? column : width - 1 - column;
                uint8_t value = out[j];
                if (Clockwise && rows < 8) value = static_cast<uint8_t>(value << (8 - rows));
                dest[destRow * destStride + g] = value;
            }
        }
    }
}

template <bool Clockwise>
void TurnQuarter(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source,
                 ptrdiff_t sourceStride, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0) return;
    const int32_t m = std::min(width, height);
    if (m < 8) {
        TurnSmall<Clockwise>(dest, destStride, source, sourceStride, width, height);
        return;
    }
    const int32_t side = static_cast<int32_t>(std::bit_floor(static_cast<uint32_t>(m)));
    const int32_t sideBytes = side / 8;
    if (height / side >= 2) {
        // Blocks one above the other in the source's left columns.
        for (int32_t k = 0; k < height / side; ++k) {
            int32_t sourceRow = Clockwise ? height - (k + 1) * side : k * side;
            int32_t destRow = Clockwise ? 0 : width - side;
            TurnBlock<Clockwise>(dest + destRow * destStride + k * sideBytes, destStride,
                                 source + sourceRow * sourceStride, sourceStride, side);
        }
    } else {
        // Blocks side by side in the source's bottom (90) or top (270) rows; or one block.
        for (int32_t k = 0; k < width / side; ++k) {
            int32_t sourceRow = Clockwise ? height - side : 0;
            int32_t destRow = Clockwise ? k * side : width - (k + 1) * side;
            TurnBlock<Clockwise>(dest + destRow * destStride,
                                 destStride, source + sourceRow * sourceStride + k * sideBytes,
                                 sourceStride, side);
        }
    }
    const int32_t rightColumns = width % side;
    const int32_t coveredWidth = width - rightColumns;
    if (rightColumns) {
        int32_t destRow = Clockwise ? coveredWidth : 0;
        TurnQuarter<Clockwise>(dest + destRow * destStride, destStride,
                               source + coveredWidth / 8, sourceStride, rightColumns, height);
    }
    const int32_t leftRows = height % side;
    if (leftRows) {
        const int32_t destByte = (height - leftRows) / 8;
        if (Clockwise) {
            TurnQuarter<true>(dest + destByte, destStride, source, sourceStride, coveredWidth,
                              leftRows);
        } else {
            TurnQuarter<false>(dest + rightColumns * destStride + destByte, destStride,
                               source + (height - leftRows) * sourceStride, sourceStride,
                               coveredWidth, leftRows);
        }
    }
}

#if defined(__SSE2__)

// Source row of vector byte i in a strip of 16 rows: the sign-bit mask puts byte i in bit i, and
// its 16 bits are stored low byte first, so byte 7 (then 15) lands in the leftmost destination
// pixel of the first (then second) destination byte. Turned clockwise, the leftmost pixel is the
// strip's lowest row; turned back, its highest.
template <bool Clockwise>
constexpr int32_t StripRow(int32_t i) {
    if (Clockwise) return i < 8 ? 8 + i : i - 8;
    return i < 8 ? 7 - i : 23 - i;
}

inline void Store16(uint8_t* p, int bits) {
    const uint16_t v = static_cast<uint16_t>(bits);
    std::memcpy(p, &v, 2);
}

// Writes the destination rows of one source byte column: v holds the column's byte of each strip
// row in StripRow order; its pixel k goes to the row `at` + k rows (clockwise) or - k rows.
template <bool Clockwise>
inline void EmitColumn(__m128i v, uint8_t* at, ptrdiff_t destStride, int32_t count) {
    const ptrdiff_t step = Clockwise ? destStride : -destStride;
    for (int32_t k = 0; k < count; ++k) {
        Store16(at + k * step, _mm_movemask_epi8(v));
        v = _mm_add_epi8(v, v);
    }
}

// Turns source rows first..first + 15 (byte-aligned in the destination: they become its 16
// pixels at destByte of every row) for the whole width.
template <bool Clockwise>
void TurnStrip16(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                 int32_t width, int32_t first, int32_t destByte) {
    const uint8_t* rows[16];
    for (int32_t i = 0; i < 16; ++i) rows[i] = source + (first + StripRow<Clockwise>(i)) * sourceStride;
    // Destination row of source column x: x turned clockwise, width - 1 - x turned back.
    const auto destAt = [&](int32_t x) {
        return dest + (Clockwise ? x : width - 1 - x) * destStride + destByte;
    };
    const int32_t fullBytes = width / 8;
    int32_t c = 0;
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
        for (int32_t j = 0; j < 16; ++j) EmitColumn<Clockwise>(t[j], destAt(8 * (c + j)), destStride, 8);
    }
    // The last byte columns one at a time; a partial byte gives only the rows within the width.
    for (; c < (width + 7) / 8; ++c) {
        alignas(16) uint8_t bytes[16];
        for (int32_t i = 0; i < 16; ++i) bytes[i] = rows[i][c];
        EmitColumn<Clockwise>(_mm_load_si128(reinterpret_cast<const __m128i*>(bytes)), destAt(8 * c), destStride,
                              std::min(8, width - 8 * c));
    }
}

// The whole quarter turn: strips of 16 rows where they land byte-aligned, the rest of the rows
// (fewer than 16) by the blocks.
template <bool Clockwise>
void TurnQuarterStrips(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                       int32_t width, int32_t height) {
    const int32_t strips = height / 16, rest = height % 16;
    for (int32_t k = 0; k < strips; ++k) {
        // Clockwise, source row r becomes destination column height - 1 - r: strips are counted
        // from the bottom row up so that each starts on a destination byte.
        const int32_t first = Clockwise ? height - 16 * (k + 1) : 16 * k;
        TurnStrip16<Clockwise>(dest, destStride, source, sourceStride, width, first, 2 * k);
    }
    if (rest == 0) return;
    if (Clockwise)
        TurnQuarter<true>(dest + 2 * strips, destStride, source, sourceStride, width, rest);
    else
        TurnQuarter<false>(dest + 2 * strips, destStride, source + 16 * strips * sourceStride, sourceStride, width, rest);
}

#endif

template <bool Clockwise>
void TurnQuarterFast(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                     int32_t width, int32_t height) {
#if defined(__SSE2__)
    if (width > 0 && height >= 16) {
        TurnQuarterStrips<Clockwise>(dest, destStride, source, sourceStride, width, height);
        return;
    }
#endif
    TurnQuarter<Clockwise>(dest, destStride, source, sourceStride, width, height);
}

}  // namespace

void Rotate1Block90(uint8_t* dest, int32_t destStride, const uint8_t* source, int32_t sourceStride,
                    uint32_t side) {
    TurnBlock<true>(dest, destStride, source, sourceStride, side);
}

void Rotate1Block270(uint8_t* dest, int32_t destStride, const uint8_t* source,
                     int32_t sourceStride, uint32_t side) {
    TurnBlock<false>(dest, destStride, source, sourceStride, side);
}

void Rotate1By0(BltBitmap* dest, BltBitmap* source) {
    if (source->width <= 0 || source->height <= 0) return;
    const size_t rowBytes = (static_cast<size_t>(source->width) + 7) / 8;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < source->height; ++r) {
        std::memcpy(d + static_cast<ptrdiff_t>(r) * dest->stride,
                    s + static_cast<ptrdiff_t>(r) * source->stride, rowBytes);
    }
}

void Rotate1By90(BltBitmap* dest, BltBitmap* source) {
    TurnQuarterFast<true>(static_cast<uint8_t*>(dest->bits), dest->stride,
                      static_cast<const uint8_t*>(source->bits), source->stride, source->width,
                      source->height);
}

void Rotate1By270(BltBitmap* dest, BltBitmap* source) {
    TurnQuarterFast<false>(static_cast<uint8_t*>(dest->bits), dest->stride,
                       static_cast<const uint8_t*>(source->bits), source->stride, source->width,
                       source->height);
}

// Each source row becomes the destination row H - 1 - r with its bits reversed: one table
// lookup and two shifts per byte, written from the last destination byte backwards so that the
// row ends flush left and the bits after the width are 0.
void Rotate1By180(BltBitmap* dest, BltBitmap* source) {
    const int32_t width = source->width;
    const int32_t height = source->height;
    if (width <= 0 || height <= 0) return;
    const int32_t bytes = (width + 7) / 8;
    const int32_t tail = width % 8 ? width % 8 : 8;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* in = s + static_cast<ptrdiff_t>(r) * source->stride;
        uint8_t* out = d + static_cast<ptrdiff_t>(height - 1 - r) * dest->stride;
        uint32_t carry = 0;
        for (int32_t i = 0; i < bytes; ++i) {
            uint32_t v = BitReverse8[in[i]];
            out[bytes - 1 - i] = static_cast<uint8_t>(((v << (8 - tail)) & 0xFF) | carry);
            carry = tail == 8 ? 0 : v >> tail;
        }
    }
}
