// Runs of pixels painted as they come, clipped to the visible area's boxes band by band: the
// visible area's bands and boxes are walked forward with the rows and runs, so a run costs its
// bytes and the boxes it meets. The pixels and their mix are BltRun's for the same shape: the
// pattern row holds the brush's pixels at the destination's own bit positions, the ternary code
// works on the packed bytes, and the bits beside the run in its first and last byte are put back.
#include <algorithm>
#include <cstring>

#include "../gdi_internal.h"

namespace gdi {
namespace {

int64_t FloorMod(int64_t a, int64_t m)
{
    const int64_t r = a % m;
    return r < 0 ? r + m : r;
}

// The brush's pixels [x0, x1) of row y at their bit positions in the pattern row.
void PatternPixels(SpanPaint& paint, const Dib& dst, int64_t y, int64_t x0, int64_t x1)
{
    const Dib& pattern = paint.brush->pattern;
    const Dc& dc = *paint.dc;
    const uint8_t* row = pattern.Row(int32_t(FloorMod(y - dc.brushOrg.y, pattern.height)));
    int64_t tx = FloorMod(x0 - dc.brushOrg.x, pattern.width);
    const bool same = SameFormat(pattern, dst);
    for (int64_t x = x0; x < x1; ++x) {
        const uint32_t v = PixelRead(row, int32_t(tx), pattern.bpp);
        const uint32_t out = same                 ? v
                             : !paint.lut.empty() ? paint.lut[v]
                                                  : ColorToNative(dst, NativeToColor(pattern, v));
        PixelPut(paint.patternRow.data(), int32_t(x), dst.bpp, out);
        if (++tx == pattern.width) tx = 0;
    }
}

// Paints the pixels [x0, x1) of row y, all of them visible.
void PaintPixels(SpanPaint& paint, int64_t y, int64_t x0, int64_t x1)
{
    const Dib& dst = paint.dc->bitmap->dib;
    const int bpp = dst.bpp;
    const int64_t b0 = (x0 * bpp) >> 3, b1 = (x1 * bpp + 7) >> 3, n = b1 - b0;
    const int headBits = int((x0 * bpp) & 7), tailBits = int((x1 * bpp) & 7);
    const uint8_t keepFirst = headBits ? uint8_t(0xFF << (8 - headBits)) : 0;
    const uint8_t keepLast = tailBits ? uint8_t(0xFF >> tailBits) : 0;
    uint8_t* d = dst.Row(int32_t(y)) + b0;
    if (!paint.keepRow.empty()) {
        // A solid brush: each bit of the destination is kept, cleared, set or inverted.
        const uint8_t* keep = paint.keepRow.data() + b0;
        const uint8_t* flip = paint.flipRow.data() + b0;
        if (n == 1) {
            const uint8_t outside = keepFirst | keepLast;
            d[0] = uint8_t((d[0] & (keep[0] | outside)) ^ (flip[0] & ~outside));
            return;
        }
        d[0] = uint8_t((d[0] & (keep[0] | keepFirst)) ^ (flip[0] & ~keepFirst));
        int64_t i = 1;
        for (; i + 8 < n; i += 8) {
            uint64_t v, k, f;
            std::memcpy(&v, d + i, 8);
            std::memcpy(&k, keep + i, 8);
            std::memcpy(&f, flip + i, 8);
            v = (v & k) ^ f;
            std::memcpy(d + i, &v, 8);
        }
        for (; i + 1 < n; ++i) d[i] = uint8_t((d[i] & keep[i]) ^ flip[i]);
        d[n - 1] = uint8_t((d[n - 1] & (keep[n - 1] | keepLast)) ^ (flip[n - 1] & ~keepLast));
        return;
    }
    const uint8_t* p = nullptr;
    if (!paint.patternRow.empty()) {
        PatternPixels(paint, dst, y, x0, x1);
        p = paint.patternRow.data() + b0;
    }
    const uint8_t first = d[0], last = d[n - 1];
    Rop3Apply(paint.rop, d, nullptr, p, size_t(n));
    SpanEdgesRestore(d, n, first, last, keepFirst, keepLast);
}

}  // namespace

void SpanPaintBegin(SpanPaint& paint, Dc& dc, const Brush& brush, uint8_t rop)
{
    paint.dc = &dc;
    paint.brush = &brush;
    paint.rop = rop;
    DcVisibleRegion(dc, &paint.visible);
    const pixman_box32_t* e = pixman_region32_extents(&paint.visible);
    paint.extents = RECT{e->x1, e->y1, e->x2, e->y2};
    paint.boxes = pixman_region32_rectangles(&paint.visible, &paint.boxCount);
    paint.band = paint.cursor = 0;
    paint.lastRow = INT32_MIN;
    const bool needP = RopNeedsPattern(rop);
    paint.idle = rop == 0xAA || (needP && brush.style == BS_NULL) || paint.boxCount == 0;
    if (paint.idle) return;
    const Dib& dst = dc.bitmap->dib;
    const size_t bytes = size_t(dst.stride) + 8;
    if (brush.style == BS_DIBPATTERNPT && needP) {
        paint.patternRow.assign(bytes, 0);
        const Dib& pattern = brush.pattern;
        if (!SameFormat(pattern, dst) && pattern.bpp <= 8) {
            paint.lut.resize(size_t{1} << pattern.bpp);
            for (uint32_t i = 0; i < paint.lut.size(); ++i)
                paint.lut[i] = ColorToNative(dst, NativeToColor(pattern, i));
        }
        return;
    }
    // A solid brush (or none needed): the code's result on a destination of all zeros and of all
    // ones under the brush's row tells, bit by bit, what it does to any destination. The row
    // repeats every pixel, and every 24 bytes hold whole pixels of any depth, so the code is
    // worked out on 24 bytes that are then copied along the row.
    constexpr size_t kPeriod = 24;
    uint8_t brushBytes[kPeriod] = {}, flip[kPeriod] = {}, ones[kPeriod];
    std::memset(ones, 0xFF, kPeriod);
    if (needP)
        FillSolidRow(brushBytes, int32_t(kPeriod * 8 / size_t(dst.bpp)), dst.bpp, ColorToNative(dst, brush.color),
                     kPeriod);
    Rop3Apply(rop, flip, nullptr, brushBytes, kPeriod);
    Rop3Apply(rop, ones, nullptr, brushBytes, kPeriod);
    paint.keepRow.resize(bytes);
    paint.flipRow.resize(bytes);
    paint.repeatable = true;
    for (size_t i = 0; i < kPeriod; ++i) {
        const uint8_t keep = uint8_t(flip[i] ^ ones[i]);
        paint.repeatable = paint.repeatable && (keep & flip[i]) == 0;
        if (i < bytes) {
            paint.keepRow[i] = keep;
            paint.flipRow[i] = flip[i];
        }
    }
    for (size_t done = std::min(kPeriod, bytes); done < bytes; done *= 2) {
        std::memcpy(paint.keepRow.data() + done, paint.keepRow.data(), std::min(done, bytes - done));
        std::memcpy(paint.flipRow.data() + done, paint.flipRow.data(), std::min(done, bytes - done));
    }
}

void SpanPaintRun(void* context, LONG y, LONG left, LONG right)
{
    SpanPaint& paint = *static_cast<SpanPaint*>(context);
    if (paint.idle || left >= right) return;
    const pixman_box32_t* boxes = paint.boxes;
    if (paint.boxCount == 1) {  // a rectangle: the common case
        if (y >= boxes[0].y1 && y < boxes[0].y2 && left < boxes[0].x2 && right > boxes[0].x1)
            PaintPixels(paint, y, std::max(left, boxes[0].x1), std::min(right, boxes[0].x2));
        return;
    }
    if (y < paint.lastRow) paint.band = 0;  // rows came back up: find the band afresh
    if (y != paint.lastRow) {
        while (paint.band < paint.boxCount && boxes[paint.band].y2 <= y) ++paint.band;
        paint.cursor = paint.band;
        paint.lastRow = y;
    }
    // Runs of a row come left to right: boxes that end before this one begins end before the next.
    int k = paint.cursor;
    while (k < paint.boxCount && boxes[k].y1 <= y && boxes[k].x2 <= left) ++k;
    paint.cursor = k;
    for (; k < paint.boxCount && boxes[k].y1 <= y && boxes[k].x1 < right; ++k) {
        const int64_t x0 = std::max<int64_t>(left, boxes[k].x1), x1 = std::min<int64_t>(right, boxes[k].x2);
        if (x0 < x1) PaintPixels(paint, y, x0, x1);
    }
}

bool SpanPaintRepeatable(const SpanPaint& paint)
{
    return !paint.keepRow.empty() && paint.boxCount == 1 && paint.repeatable;
}

bool SpanPaintTakesBits(const SpanPaint& paint)
{
    return !paint.idle && paint.boxCount == 1 && paint.dc->bitmap->dib.bpp == 1 && !paint.keepRow.empty();
}

void SpanPaintBits(void* context, LONG y, int64_t origin, const uint64_t* bits, size_t words)
{
    const SpanPaint& paint = *static_cast<const SpanPaint*>(context);
    const Dib& dst = paint.dc->bitmap->dib;
    uint8_t* row = dst.Row(int32_t(y));
    const int64_t stride = dst.stride;
    for (size_t w = 0; w < words; ++w) {
        if (bits[w] == 0) continue;
        // Column c is bit c % 8 of the word's byte c / 8 here and bit 7 - c % 8 of its byte in
        // the bitmap: the bits of each byte turn round.
        uint64_t m = bits[w];
        m = ((m >> 1) & 0x5555555555555555u) | ((m & 0x5555555555555555u) << 1);
        m = ((m >> 2) & 0x3333333333333333u) | ((m & 0x3333333333333333u) << 2);
        m = ((m >> 4) & 0x0F0F0F0F0F0F0F0Fu) | ((m & 0x0F0F0F0F0F0F0F0Fu) << 4);
        const int64_t at = origin / 8 + int64_t(w) * 8;
        if (at + 8 <= stride) {
            uint64_t d, keep, flip;
            std::memcpy(&d, row + at, 8);
            std::memcpy(&keep, paint.keepRow.data() + at, 8);
            std::memcpy(&flip, paint.flipRow.data() + at, 8);
            d = (d & (keep | ~m)) ^ (flip & m);
            std::memcpy(row + at, &d, 8);
            continue;
        }
        for (int64_t i = 0; i < 8 && at + i < stride; ++i) {
            const uint8_t mb = uint8_t(m >> (8 * i));
            row[at + i] =
                uint8_t((row[at + i] & (paint.keepRow[size_t(at + i)] | ~mb)) ^ (paint.flipRow[size_t(at + i)] & mb));
        }
    }
}

void SpanPaintEnd(SpanPaint& paint) { pixman_region32_fini(&paint.visible); }

}  // namespace gdi
