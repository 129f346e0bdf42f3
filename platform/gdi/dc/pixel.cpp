// Reading and writing single pixels, and converting between pixel values and colours.
#include <algorithm>
#include <bit>
#include <cstring>

#include "../gdi_internal.h"

namespace gdi {
namespace {

// An n-bit field widened to 8 bits by repeating its bits.
uint32_t Widen(uint32_t value, int bits)
{
    if (bits == 8) return value;
    if (bits > 8) return value >> (bits - 8);  // the top eight bits
    uint32_t out = 0;
    for (int shift = 8 - bits; shift > -bits; shift -= bits) out |= shift >= 0 ? value << shift : value >> -shift;
    return out & 0xFF;
}

uint32_t Narrow(uint32_t c8, int bits)
{
    if (bits == 8) return c8;
    if (bits > 8) {  // repeat the eight bits downwards, so that 255 becomes all ones
        uint64_t out = 0;
        for (int shift = bits - 8; shift > -8; shift -= 8) out |= shift >= 0 ? uint64_t(c8) << shift : c8 >> -shift;
        return uint32_t(out & ((uint64_t(1) << bits) - 1));
    }
    return c8 >> (8 - bits);
}

}  // namespace

uint32_t PixelRead(const uint8_t* row, int32_t x, int bpp)
{
    switch (bpp) {
        case 1: return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4: return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        case 8: return row[x];
        case 16: return uint32_t(row[2 * x]) | uint32_t(row[2 * x + 1]) << 8;
        case 24: {
            const uint8_t* p = row + 3 * x;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16;
        }
        default: {
            const uint8_t* p = row + 4 * x;
            return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
        }
    }
}

void PixelPut(uint8_t* row, int32_t x, int bpp, uint32_t value)
{
    switch (bpp) {
        case 1: {
            uint8_t bit = uint8_t(0x80 >> (x & 7));
            row[x >> 3] = uint8_t((row[x >> 3] & ~bit) | ((value & 1) ? bit : 0));
            break;
        }
        case 4: {
            int shift = (x & 1) ? 0 : 4;
            row[x >> 1] = uint8_t((row[x >> 1] & ~(15 << shift)) | ((value & 15) << shift));
            break;
        }
        case 8: row[x] = uint8_t(value); break;
        case 16:
            row[2 * x] = uint8_t(value);
            row[2 * x + 1] = uint8_t(value >> 8);
            break;
        case 24:
            row[3 * x] = uint8_t(value);
            row[3 * x + 1] = uint8_t(value >> 8);
            row[3 * x + 2] = uint8_t(value >> 16);
            break;
        default:
            row[4 * x] = uint8_t(value);
            row[4 * x + 1] = uint8_t(value >> 8);
            row[4 * x + 2] = uint8_t(value >> 16);
            row[4 * x + 3] = uint8_t(value >> 24);
            break;
    }
}

// Packed and 8-bit pixels repeat within a byte, so the row is one memset; wider pixels copy the
// first one forward in doubling steps.
void FillSolidRow(uint8_t* row, int32_t width, int bpp, uint32_t value, size_t stride)
{
    if (bpp <= 8) {
        const uint32_t ones = (1u << bpp) - 1;
        uint8_t byte = 0;
        for (int shift = 0; shift < 8; shift += bpp) byte = uint8_t(byte | (value & ones) << shift);
        std::memset(row, byte, stride);
        return;
    }
    const size_t pixel = size_t(bpp / 8), total = size_t(width) * pixel;
    if (total == 0) return;
    PixelPut(row, 0, bpp, value);
    for (size_t done = pixel; done < total; done *= 2) std::memcpy(row + done, row, std::min(done, total - done));
}

uint32_t PixelGet(const Dib& dib, int32_t x, int32_t y) { return PixelRead(dib.Row(y), x, dib.bpp); }

COLORREF NativeToColor(const Dib& dib, uint32_t value)
{
    if (dib.bpp <= 8) {
        const RGBQUAD& q = dib.colors[value & ((1u << dib.bpp) - 1)];
        return RGB(q.rgbRed, q.rgbGreen, q.rgbBlue);
    }
    if (dib.bpp == 24) return RGB(value >> 16, value >> 8, value);
    uint32_t c[3];
    for (int i = 0; i < 3; ++i) {
        uint32_t m = dib.masks[i];
        int shift = std::countr_zero(m);
        c[i] = Widen((value & m) >> shift, std::popcount(m));
    }
    return RGB(c[0], c[1], c[2]);
}

uint32_t ColorBits(const Dib& dib)
{
    if (dib.bpp <= 8) return (1u << dib.bpp) - 1;
    if (dib.bpp == 24) return 0xFFFFFF;
    return dib.masks[0] | dib.masks[1] | dib.masks[2];
}

uint32_t ColorToNative(const Dib& dib, COLORREF color)
{
    uint32_t r = GetRValue(color), g = GetGValue(color), b = GetBValue(color);
    if (dib.bpp <= 8) {
        uint32_t best = 0;
        uint32_t bestDistance = UINT32_MAX;
        for (uint32_t i = 0; i < dib.colors.size(); ++i) {
            const RGBQUAD& q = dib.colors[i];
            int dr = int(q.rgbRed) - int(r), dg = int(q.rgbGreen) - int(g), db = int(q.rgbBlue) - int(b);
            uint32_t distance = uint32_t(dr * dr + dg * dg + db * db);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = i;
                if (distance == 0) break;
            }
        }
        return best;
    }
    if (dib.bpp == 24) return b | g << 8 | r << 16;
    const uint32_t c[3] = {r, g, b};
    uint32_t value = 0;
    for (int i = 0; i < 3; ++i) {
        uint32_t m = dib.masks[i];
        value |= (Narrow(c[i], std::popcount(m)) << std::countr_zero(m)) & m;
    }
    return value;
}

}  // namespace gdi
