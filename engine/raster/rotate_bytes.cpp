// Rotation of 8-, 24- and 32-bit bitmaps. Quarter turns use the same block structure as the
// 1-bit kernels with 4 x 4 leaves moved as 32-bit words; bitmaps narrower or lower than 4 pixels
// are turned pixel by pixel.
#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/raster/rotate.h"

static_assert(std::endian::native == std::endian::little, "the leaves assume little-endian words");

namespace {

inline uint32_t Load(const uint8_t* p)
{
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

inline void Store(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// 4 x 4 leaf. Clockwise: destination row j = source column j read from the bottom row up;
// counter-clockwise: destination row j = source column 3 - j read from the top row down.
template <int Bytes, bool Clockwise>
inline void TurnLeaf(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride)
{
    if constexpr (Bytes == 1) {
        // Rows in the order the destination reads them, then a 4 x 4 byte transpose with a
        // 16-bit and an 8-bit exchange step.
        uint32_t r[4];
        for (int i = 0; i < 4; ++i) r[i] = Load(source + (Clockwise ? 3 - i : i) * sourceStride);
        uint32_t u0 = (r[0] & 0x0000FFFF) | (r[2] << 16);
        uint32_t u1 = (r[1] & 0x0000FFFF) | (r[3] << 16);
        uint32_t u2 = (r[0] >> 16) | (r[2] & 0xFFFF0000);
        uint32_t u3 = (r[1] >> 16) | (r[3] & 0xFFFF0000);
        uint32_t column[4];
        column[0] = (u0 & 0x00FF00FF) | ((u1 & 0x00FF00FF) << 8);
        column[1] = ((u0 >> 8) & 0x00FF00FF) | (u1 & 0xFF00FF00);
        column[2] = (u2 & 0x00FF00FF) | ((u3 & 0x00FF00FF) << 8);
        column[3] = ((u2 >> 8) & 0x00FF00FF) | (u3 & 0xFF00FF00);
        for (int j = 0; j < 4; ++j) Store(dest + j * destStride, column[Clockwise ? j : 3 - j]);
    } else if constexpr (Bytes == 4) {
        uint32_t w[4][4];
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j) w[i][j] = Load(source + i * sourceStride + 4 * j);
        for (int j = 0; j < 4; ++j) {
            uint32_t row[4];
            for (int x = 0; x < 4; ++x) row[x] = Clockwise ? w[3 - x][j] : w[x][3 - j];
            std::memcpy(dest + j * destStride, row, 16);
        }
    } else {
        // 24 bits: three words a row, four pixels of three bytes in their order.
        uint8_t rows[4][12];
        for (int i = 0; i < 4; ++i) std::memcpy(rows[i], source + i * sourceStride, 12);
        for (int j = 0; j < 4; ++j) {
            uint8_t out[12];
            for (int x = 0; x < 4; ++x) {
                const uint8_t* pixel = Clockwise ? rows[3 - x] + 3 * j : rows[x] + 3 * (3 - j);
                std::memcpy(out + 3 * x, pixel, 3);
            }
            std::memcpy(dest + j * destStride, out, 12);
        }
    }
}

template <int Bytes, bool Clockwise>
void TurnBlock(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, uint32_t side)
{
    for (;;) {
        if (side == 4) {
            TurnLeaf<Bytes, Clockwise>(dest, destStride, source, sourceStride);
            return;
        }
        const uint32_t half = side / 2;
        const ptrdiff_t halfBytes = static_cast<ptrdiff_t>(half) * Bytes;
        const uint8_t* sTL = source;
        const uint8_t* sTR = source + halfBytes;
        const uint8_t* sBL = source + half * sourceStride;
        const uint8_t* sBR = sBL + halfBytes;
        uint8_t* dTL = dest;
        uint8_t* dTR = dest + halfBytes;
        uint8_t* dBL = dest + half * destStride;
        uint8_t* dBR = dBL + halfBytes;
        if (side == 8) {
            if (Clockwise) {
                TurnLeaf<Bytes, true>(dTL, destStride, sBL, sourceStride);
                TurnLeaf<Bytes, true>(dTR, destStride, sTL, sourceStride);
                TurnLeaf<Bytes, true>(dBL, destStride, sBR, sourceStride);
                TurnLeaf<Bytes, true>(dBR, destStride, sTR, sourceStride);
            } else {
                TurnLeaf<Bytes, false>(dTL, destStride, sTR, sourceStride);
                TurnLeaf<Bytes, false>(dTR, destStride, sBR, sourceStride);
                TurnLeaf<Bytes, false>(dBL, destStride, sTL, sourceStride);
                TurnLeaf<Bytes, false>(dBR, destStride, sBL, sourceStride);
            }
            return;
        }
        if (Clockwise) {
            TurnBlock<Bytes, true>(dTL, destStride, sBL, sourceStride, half);
            TurnBlock<Bytes, true>(dTR, destStride, sTL, sourceStride, half);
            TurnBlock<Bytes, true>(dBL, destStride, sBR, sourceStride, half);
            dest = dBR;
            source = sTR;
        } else {
            TurnBlock<Bytes, false>(dTL, destStride, sTR, sourceStride, half);
            TurnBlock<Bytes, false>(dTR, destStride, sBR, sourceStride, half);
            TurnBlock<Bytes, false>(dBL, destStride, sTL, sourceStride, half);
            dest = dBR;
            source = sBL;
        }
        side = half;
    }
}

template <int Bytes, bool Clockwise>
void TurnQuarter(uint8_t* dest, ptrdiff_t destStride, const uint8_t* source, ptrdiff_t sourceStride, int32_t width,
                 int32_t height)
{
    if (width <= 0 || height <= 0) return;
    const int32_t m = std::min(width, height);
    if (m < 4) {
        for (int32_t y = 0; y < width; ++y) {
            for (int32_t x = 0; x < height; ++x) {
                int32_t sx = Clockwise ? y : width - 1 - y;
                int32_t sy = Clockwise ? height - 1 - x : x;
                std::memcpy(dest + y * destStride + x * Bytes, source + sy * sourceStride + sx * Bytes, Bytes);
            }
        }
        return;
    }
    const int32_t side = static_cast<int32_t>(std::bit_floor(static_cast<uint32_t>(m)));
    const ptrdiff_t sideBytes = static_cast<ptrdiff_t>(side) * Bytes;
    if (height / side >= 2) {
        for (int32_t k = 0; k < height / side; ++k) {
            int32_t sourceRow = Clockwise ? height - (k + 1) * side : k * side;
            int32_t destRow = Clockwise ? 0 : width - side;
            TurnBlock<Bytes, Clockwise>(dest + destRow * destStride + k * sideBytes, destStride,
                                        source + sourceRow * sourceStride, sourceStride, side);
        }
    } else {
        for (int32_t k = 0; k < width / side; ++k) {
            int32_t sourceRow = Clockwise ? height - side : 0;
            int32_t destRow = Clockwise ? k * side : width - (k + 1) * side;
            TurnBlock<Bytes, Clockwise>(dest + destRow * destStride, destStride,
                                        source + sourceRow * sourceStride + k * sideBytes, sourceStride, side);
        }
    }
    const int32_t rightColumns = width % side;
    const int32_t coveredWidth = width - rightColumns;
    if (rightColumns) {
        int32_t destRow = Clockwise ? coveredWidth : 0;
        TurnQuarter<Bytes, Clockwise>(dest + destRow * destStride, destStride,
                                      source + static_cast<ptrdiff_t>(coveredWidth) * Bytes, sourceStride, rightColumns,
                                      height);
    }
    const int32_t leftRows = height % side;
    if (leftRows) {
        const ptrdiff_t destByte = static_cast<ptrdiff_t>(height - leftRows) * Bytes;
        if (Clockwise) {
            TurnQuarter<Bytes, true>(dest + destByte, destStride, source, sourceStride, coveredWidth, leftRows);
        } else {
            TurnQuarter<Bytes, false>(dest + rightColumns * destStride + destByte, destStride,
                                      source + (height - leftRows) * sourceStride, sourceStride, coveredWidth,
                                      leftRows);
        }
    }
}

template <int Bytes>
void TurnNone(BltBitmap* dest, BltBitmap* source)
{
    if (source->width <= 0 || source->height <= 0) return;
    const size_t rowBytes = static_cast<size_t>(source->width) * Bytes;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < source->height; ++r) {
        std::memcpy(d + static_cast<ptrdiff_t>(r) * dest->stride, s + static_cast<ptrdiff_t>(r) * source->stride,
                    rowBytes);
    }
}

template <int Bytes>
void TurnHalf(BltBitmap* dest, BltBitmap* source)
{
    const int32_t width = source->width;
    const int32_t height = source->height;
    if (width <= 0 || height <= 0) return;
    const auto* s = static_cast<const uint8_t*>(source->bits);
    auto* d = static_cast<uint8_t*>(dest->bits);
    for (int32_t r = 0; r < height; ++r) {
        const uint8_t* in = s + static_cast<ptrdiff_t>(r) * source->stride;
        uint8_t* out = d + static_cast<ptrdiff_t>(height - 1 - r) * dest->stride;
        for (int32_t x = 0; x < width; ++x) {
            std::memcpy(out + static_cast<ptrdiff_t>(width - 1 - x) * Bytes, in + x * Bytes, Bytes);
        }
    }
}

template <int Bytes, bool Clockwise>
void TurnQuarterBitmap(BltBitmap* dest, BltBitmap* source)
{
    TurnQuarter<Bytes, Clockwise>(static_cast<uint8_t*>(dest->bits), dest->stride,
                                  static_cast<const uint8_t*>(source->bits), source->stride, source->width,
                                  source->height);
}

template <int Bytes, bool Clockwise>
void TurnBlockWords(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                    uint32_t side)
{
    TurnBlock<Bytes, Clockwise>(reinterpret_cast<uint8_t*>(dest), static_cast<ptrdiff_t>(destStrideWords) * 4,
                                reinterpret_cast<const uint8_t*>(source), static_cast<ptrdiff_t>(sourceStrideWords) * 4,
                                side);
}

}  // namespace

void Rotate8By0(BltBitmap* dest, BltBitmap* source) { TurnNone<1>(dest, source); }
void Rotate8By90(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<1, true>(dest, source); }
void Rotate8By180(BltBitmap* dest, BltBitmap* source) { TurnHalf<1>(dest, source); }
void Rotate8By270(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<1, false>(dest, source); }
void Rotate24By0(BltBitmap* dest, BltBitmap* source) { TurnNone<3>(dest, source); }
void Rotate24By90(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<3, true>(dest, source); }
void Rotate24By180(BltBitmap* dest, BltBitmap* source) { TurnHalf<3>(dest, source); }
void Rotate24By270(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<3, false>(dest, source); }
void Rotate32By0(BltBitmap* dest, BltBitmap* source) { TurnNone<4>(dest, source); }
void Rotate32By90(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<4, true>(dest, source); }
void Rotate32By180(BltBitmap* dest, BltBitmap* source) { TurnHalf<4>(dest, source); }
void Rotate32By270(BltBitmap* dest, BltBitmap* source) { TurnQuarterBitmap<4, false>(dest, source); }

void Rotate8Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                    uint32_t side)
{
    TurnBlockWords<1, true>(dest, destStrideWords, source, sourceStrideWords, side);
}
void Rotate8Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side)
{
    TurnBlockWords<1, false>(dest, destStrideWords, source, sourceStrideWords, side);
}
void Rotate24Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side)
{
    TurnBlockWords<3, true>(dest, destStrideWords, source, sourceStrideWords, side);
}
void Rotate24Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                      uint32_t side)
{
    TurnBlockWords<3, false>(dest, destStrideWords, source, sourceStrideWords, side);
}
void Rotate32Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side)
{
    TurnBlockWords<4, true>(dest, destStrideWords, source, sourceStrideWords, side);
}
void Rotate32Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                      uint32_t side)
{
    TurnBlockWords<4, false>(dest, destStrideWords, source, sourceStrideWords, side);
}
