// Rotation of 1-bit bitmaps. Quarter turns go through the fastest kernel the processor has
// (rotate1_paths.h); the plain kernel here, which the others hand their last rows to, cuts the
// bitmap into square power-of-two blocks turned by quadrant recursion down to 8 x 8 leaves (16
// table lookups each); 32 x 32 blocks of zeros, the common case on a fax page, are written as
// zeros without being turned.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/raster/rotate.h"
#include "engine/raster/rotate1_paths.h"

namespace {

// Table k maps the four pixels of a nibble of source row k of a leaf to the four destination
// rows they reach, one byte per row (byte b = bits 8b..8b+7 of the word).
//   90 degrees:  the nibble's first pixel in byte 0, bit value 1 << k (row 7 is the top bit).
//   270 degrees: the nibble's first pixel in byte 3, bit value 0x80 >> k.
using NibbleTables = std::array<std::array<uint32_t, 16>, 8>;

constexpr NibbleTables MakeNibbleTables(bool clockwise)
{
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
inline void TurnLeaf(const uint8_t (&in)[8], uint8_t (&out)[8])
{
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
inline void TurnLeafAt(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride)
{
    uint8_t in[8];
    uint8_t out[8];
    for (unsigned k = 0; k < 8; ++k) in[k] = source[k * sourceStride];
    TurnLeaf<Clockwise>(in, out);
    for (unsigned j = 0; j < 8; ++j) dest[j * destStride] = out[j];
}

inline uint32_t LoadWord(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

// One block of side S (a power of two, at least 8).
template <bool Clockwise>
void TurnBlock(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, uint32_t side)
{
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
void TurnSmall(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
               int32_t height)
{
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
void TurnQuarter(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
                 int32_t height)
{
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
            TurnBlock<Clockwise>(dest + destRow * destStride, destStride,
                                 source + sourceRow * sourceStride + k * sideBytes, sourceStride, side);
        }
    }
    const int32_t rightColumns = width % side;
    const int32_t coveredWidth = width - rightColumns;
    if (rightColumns) {
        int32_t destRow = Clockwise ? coveredWidth : 0;
        TurnQuarter<Clockwise>(dest + destRow * destStride, destStride, source + coveredWidth / 8, sourceStride,
                               rightColumns, height);
    }
    const int32_t leftRows = height % side;
    if (leftRows) {
        const int32_t destByte = (height - leftRows) / 8;
        if (Clockwise) {
            TurnQuarter<true>(dest + destByte, destStride, source, sourceStride, coveredWidth, leftRows);
        } else {
            TurnQuarter<false>(dest + rightColumns * destStride + destByte, destStride,
                               source + (height - leftRows) * sourceStride, sourceStride, coveredWidth, leftRows);
        }
    }
}

}  // namespace

void Rotate1Block90(uint8_t* dest, int32_t destStride, const uint8_t* source, int32_t sourceStride, uint32_t side)
{
    TurnBlock<true>(dest, destStride, source, sourceStride, side);
}

void Rotate1Block270(uint8_t* dest, int32_t destStride, const uint8_t* source, int32_t sourceStride, uint32_t side)
{
    TurnBlock<false>(dest, destStride, source, sourceStride, side);
}

void Rotate1By0(BltBitmap* dest, BltBitmap* source)
{
    if (source->width <= 0 || source->height <= 0) return;
    const size_t rowBytes = (static_cast<size_t>(source->width) + 7) / 8;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < source->height; ++r) {
        std::memcpy(d + static_cast<ptrdiff_t>(r) * dest->stride, s + static_cast<ptrdiff_t>(r) * source->stride,
                    rowBytes);
    }
}

void Rotate1PlainTurn90(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                        int32_t width, int32_t height)
{
    TurnQuarter<true>(dest, destStride, source, sourceStride, width, height);
}

void Rotate1PlainTurn270(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride,
                         int32_t width, int32_t height)
{
    TurnQuarter<false>(dest, destStride, source, sourceStride, width, height);
}

void Rotate1By90(BltBitmap* dest, BltBitmap* source)
{
    if (source->width <= 0 || source->height <= 0) return;
    Rotate1SelectedPath().turn90(static_cast<uint8_t*>(dest->bits), dest->stride,
                                 static_cast<const uint8_t*>(source->bits), source->stride, source->width,
                                 source->height);
}

void Rotate1By270(BltBitmap* dest, BltBitmap* source)
{
    if (source->width <= 0 || source->height <= 0) return;
    Rotate1SelectedPath().turn270(static_cast<uint8_t*>(dest->bits), dest->stride,
                                  static_cast<const uint8_t*>(source->bits), source->stride, source->width,
                                  source->height);
}

// Each source row becomes the destination row H - 1 - r with its bits reversed: one table
// lookup and two shifts per byte, written from the last destination byte backwards so that the
// row ends flush left and the bits after the width are 0.
void Rotate1By180(BltBitmap* dest, BltBitmap* source)
{
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
