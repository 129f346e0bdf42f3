// The glyphs' ink of a text run, copied from the glyph cache straight into the DC's bitmap within
// the visible rectangles. Text paints its colour whatever the DC's mix, so a pixel is the same
// however often overlapping glyphs cover it, and no region of the ink is needed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "glyph_bitmap_cache.h"
#include "text.h"

namespace gdi {
namespace {

inline int64_t Pixel(FT_Pos v) { return (v + 32) >> 6; }

// Columns [x0, x1) of a 1-bit destination row from a glyph row whose first pixel lies at `left`;
// `padded` is the glyph row with a zero byte before and after it, so that every destination byte
// takes two neighbouring bytes of it without a test.
void InkRowBits(uint8_t* out, uint32_t value, const uint8_t* padded, int64_t left, int64_t x0, int64_t x1)
{
    const int shift = int(left & 7);
    const int64_t base = left >> 3;  // the destination byte of the glyph's first pixel
    const int64_t k0 = x0 >> 3, k1 = (x1 - 1) >> 3;
    const uint8_t firstWithin = uint8_t(0xFF >> (x0 & 7)), lastWithin = uint8_t(0xFF << (7 - ((x1 - 1) & 7)));
    for (int64_t k = k0; k <= k1; ++k) {
        const uint8_t* g = padded + (k - base);
        uint8_t ink = uint8_t((uint32_t(g[0]) << 8 | g[1]) >> shift);
        if (k == k0) ink &= firstWithin;
        if (k == k1) ink &= lastWithin;
        out[k] = value ? uint8_t(out[k] | ink) : uint8_t(out[k] & ~ink);
    }
}

// The same for other depths, a pixel at a time.
void InkRowPixels(uint8_t* out, int bpp, uint32_t value, const uint8_t* glyph, int64_t left, int64_t x0, int64_t x1)
{
    for (int64_t x = x0; x < x1; ++x) {
        const int64_t c = x - left;
        if (glyph[c >> 3] & (0x80 >> (c & 7))) PixelPut(out, int32_t(x), bpp, value);
    }
}

}  // namespace

bool TextInkPaint(Dc& dc, SizedFont& sized, const TextRun& run, FT_Vector origin, const pixman_region32_t* visible,
                  COLORREF color)
{
    int boxCount = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(visible), &boxCount);
    if (boxCount == 0) return true;
    const pixman_box32_t& area = *pixman_region32_extents(const_cast<pixman_region32_t*>(visible));
    Dib& dst = dc.bitmap->dib;
    const uint32_t value = ColorToNative(dst, color);
    const double reach = sized.scale().em * 4 + 16;  // no glyph ink lies farther from its origin
    std::vector<uint8_t> padded;
    for (size_t i = 0; i < run.glyphs.size(); ++i) {
        if (run.glyphs[i] == kNoGlyph) continue;
        const int64_t gx = Pixel(origin.x + run.origins[i].x), gy = Pixel(origin.y + run.origins[i].y);
        if (gx + reach < area.x1 || gx - reach > area.x2 || gy + reach < area.y1 || gy - reach > area.y2) continue;
        const GlyphBitmapRef glyph = GlyphBitmapGet(sized, run.glyphs[i]);
        if (!glyph->drawn || glyph->width == 0 || glyph->rows == 0) continue;
        const int64_t left = gx + glyph->left, top = gy - glyph->top;
        const int64_t right = left + glyph->width, bottom = top + glyph->rows;
        // The visible rectangles are banded top to bottom.
        for (int b = 0; b < boxCount && boxes[b].y1 < bottom; ++b) {
            const pixman_box32_t& box = boxes[b];
            const int64_t x0 = std::max<int64_t>(left, box.x1), x1 = std::min<int64_t>(right, box.x2);
            const int64_t y0 = std::max<int64_t>(top, box.y1), y1 = std::min<int64_t>(bottom, box.y2);
            for (int64_t y = y0; x0 < x1 && y < y1; ++y) {
                const uint8_t* row = glyph->bits.data() + size_t(y - top) * glyph->pitch;
                if (dst.bpp != 1) {
                    InkRowPixels(dst.Row(int32_t(y)), dst.bpp, value, row, left, x0, x1);
                    continue;
                }
                padded.resize(size_t(glyph->pitch) + 2);
                padded.front() = padded.back() = 0;
                std::memcpy(padded.data() + 1, row, glyph->pitch);
                InkRowBits(dst.Row(int32_t(y)), value, padded.data(), left, x0, x1);
            }
        }
    }
    return true;
}

}  // namespace gdi
