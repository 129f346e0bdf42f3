// The raster core under every fill and blit. For each destination row inside the clip it builds
// the source, pattern and mask as rows in the destination's own pixel format, at the same bit
// positions as the destination, and applies the raster operation to the packed bytes; the bits
// of pixels outside the span in the first and last byte are put back afterwards.
#include <algorithm>
#include <cstring>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

// How source pixel values become destination pixel values.
struct Converter {
    enum Mode { Raw, Lut, ToMono, Direct } mode = Raw;
    uint32_t lut[256] = {};
    uint32_t monoBackground = 0;  // the source DC's background colour as a source pixel value
    uint32_t monoBits = 0;  // the bits of a source pixel that carry colour
    const Dib* src = nullptr;
    const Dib* dst = nullptr;
    mutable uint32_t lastIn = 0, lastOut = 0;
    mutable bool haveLast = false;

    uint32_t operator()(uint32_t v) const
    {
        switch (mode) {
            case Raw: return v;
            case Lut: return lut[v];
            case ToMono: return (v & monoBits) == monoBackground ? 1 : 0;
            case Direct:
                if (!haveLast || lastIn != v) {
                    lastIn = v;
                    lastOut = ColorToNative(*dst, NativeToColor(*src, v));
                    haveLast = true;
                }
                return lastOut;
        }
        return v;
    }
};

void ConverterInit(Converter& c, const Dib& src, const Dc* srcDc, const Dib& dst, const Dc& dstDc)
{
    c.src = &src;
    c.dst = &dst;
    const bool fromDc = srcDc != nullptr;
    if ((fromDc && src.bpp == 1 && dst.bpp == 1) || SameFormat(src, dst)) {
        c.mode = Converter::Raw;
    } else if (src.bpp <= 8) {
        c.mode = Converter::Lut;
        // Colour to one bit compares pixel values: the background colour is first put into the
        // source's own format, as the colour a pixel painted with it there holds.
        const uint32_t background = fromDc && dst.bpp == 1 ? ColorToNative(src, srcDc->bkColor) : 0;
        for (uint32_t i = 0; i < (1u << src.bpp); ++i) {
            if (fromDc && src.bpp == 1) {
                c.lut[i] = ColorToNative(dst, i ? dstDc.bkColor : dstDc.textColor);
            } else {
                COLORREF color = NativeToColor(src, i);
                c.lut[i] = fromDc && dst.bpp == 1 ? (i == background ? 1u : 0u) : ColorToNative(dst, color);
            }
        }
    } else if (fromDc && dst.bpp == 1) {
        c.mode = Converter::ToMono;
        c.monoBackground = ColorToNative(src, srcDc->bkColor);
        c.monoBits = ColorBits(src);
    } else {
        c.mode = Converter::Direct;
    }
}

inline int64_t FloorMod(int64_t a, int64_t m)
{
    int64_t r = a % m;
    return r < 0 ? r + m : r;
}

uint8_t SafeByte(const uint8_t* row, int64_t index, int64_t size)
{
    return index >= 0 && index < size ? row[index] : 0;
}

// Copies 1-bit pixels [x0, x1) of out from source bits starting at srcX, shifting whole bytes.
void CopyBitsShifted(uint8_t* out, int64_t x0, int64_t x1, const uint8_t* srcRow, int64_t srcX, int64_t srcBytes)
{
    int64_t shift = srcX - x0;  // source bit = destination bit + shift
    for (int64_t k = x0 >> 3; k <= (x1 - 1) >> 3; ++k) {
        int64_t bit = 8 * k + shift;
        int64_t byte = bit >> 3;  // arithmetic: floor
        int sub = int(bit & 7);
        uint32_t word = uint32_t(SafeByte(srcRow, byte, srcBytes)) << 8 | SafeByte(srcRow, byte + 1, srcBytes);
        out[k] = uint8_t(word >> (8 - sub));
    }
}

// A private copy of the pixels [x0, x1) x [y0, y1) of a DIB, for a blit whose source and
// destination share storage: the copy starts at pixel x0 and row y0 of the original, x0 being on
// a byte boundary.
bool DibSnapshot(const Dib& from, int64_t x0, int64_t x1, int64_t y0, int64_t y1, Dib& to)
{
    to.width = int32_t(x1 - x0);
    to.height = int32_t(y1 - y0);
    to.bpp = from.bpp;
    to.topDown = true;
    to.colors = from.colors;
    std::memcpy(to.masks, from.masks, sizeof to.masks);
    if (!DibSetStride(to) || !DibAllocate(to)) return false;
    const size_t first = size_t((x0 * from.bpp) >> 3), bytes = size_t((x1 * from.bpp + 7) >> 3) - first;
    for (int32_t y = 0; y < to.height; ++y) std::memcpy(to.Row(y), from.Row(int32_t(y0 + y)) + first, bytes);
    return true;
}

// Moves an axis map onto a copy of the source that starts at `origin`.
void AxisShift(Axis& axis, int64_t origin)
{
    for (int32_t& s : axis.map)
        if (s >= 0) s = int32_t(s - origin);
}

uint32_t AllOnes(int bpp) { return bpp == 32 ? 0xFFFFFFFFu : (1u << bpp) - 1; }

}  // namespace

// Nearest-pixel mapping of destination [d0, d0 + dn) onto source [s0, s0 + sn), limited to
// destination coordinates [c0, c1).
void AxisBuild(Axis& axis, int64_t d0, int64_t dn, int64_t s0, int64_t sn, bool mirror, int64_t c0, int64_t c1,
               int64_t sourceSize)
{
    axis.first = c0;
    axis.map.assign(size_t(std::max<int64_t>(c1 - c0, 0)), -1);
    axis.validBegin = c1;
    axis.validEnd = c0;
    if (sn == dn) {  // one to one: the valid range follows from the ends
        const int64_t lo = mirror ? d0 + s0 + sn - sourceSize : d0 - s0;
        const int64_t hi = mirror ? d0 + s0 + sn : d0 - s0 + sourceSize;
        const int64_t begin = std::max(lo, c0), end = std::min(hi, c1);
        if (begin >= end) return;
        axis.validBegin = begin;
        axis.validEnd = end;
        int32_t* map = axis.map.data();
        if (mirror)
            for (int64_t d = begin; d < end; ++d) map[d - c0] = int32_t(s0 + sn - 1 - (d - d0));
        else
            for (int64_t d = begin; d < end; ++d) map[d - c0] = int32_t(s0 + (d - d0));
        return;
    }
    const bool small = sn < (int64_t(1) << 30) && dn < (int64_t(1) << 30) && c1 - d0 < (int64_t(1) << 30);
    for (int64_t d = c0; d < c1; ++d) {
        int64_t t;
        if (small) t = ((2 * (d - d0) + 1) * sn) / (2 * dn);
        else t = int64_t((__int128(2 * (d - d0) + 1) * sn) / (2 * __int128(dn)));
        int64_t s = s0 + (mirror ? sn - 1 - t : t);
        if (s >= 0 && s < sourceSize) {
            axis.map[size_t(d - c0)] = int32_t(s);
            axis.validBegin = std::min(axis.validBegin, d);
            axis.validEnd = std::max(axis.validEnd, d + 1);
        }
    }
}

bool MapRect(const Dc& dc, int64_t x, int64_t y, int64_t w, int64_t h, int64_t& dx, int64_t& dy, int64_t& dw,
             int64_t& dh)
{
    int64_t x1, y1;
    if (!MapPoint(dc, x, y, dx, dy) || !MapPoint(dc, x + w, y + h, x1, y1)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return false;
    }
    dw = x1 - dx;
    dh = y1 - dy;
    return true;
}

namespace {

template <size_t Bytes>
void GatherPixelsOf(uint8_t* out, const uint8_t* row, const int32_t* columns, int64_t count)
{
    for (int64_t i = 0; i < count; ++i) std::memcpy(out + Bytes * size_t(i), row + Bytes * size_t(columns[i]), Bytes);
}

// Copies the source pixels the column map names, one after another.
void GatherPixels(uint8_t* out, const uint8_t* row, const int32_t* columns, int64_t count, int bytes)
{
    switch (bytes) {
        case 1: GatherPixelsOf<1>(out, row, columns, count); break;
        case 2: GatherPixelsOf<2>(out, row, columns, count); break;
        case 3: GatherPixelsOf<3>(out, row, columns, count); break;
        default: GatherPixelsOf<4>(out, row, columns, count); break;
    }
}

}  // namespace

namespace {

bool BltRows(const BltRequest& rq)
{
    Dc& dc = *rq.dst;
    Dib& dst = dc.bitmap->dib;
    const bool masked = rq.mask != nullptr || rq.transparent;
    const bool needS = RopNeedsSource(rq.rop) || (masked && RopNeedsSource(rq.ropBack));
    const bool needP = RopNeedsPattern(rq.rop) || (masked && RopNeedsPattern(rq.ropBack));
    if (needP && (!rq.brush || rq.brush->style == BS_NULL)) return true;  // nothing to paint with
    if (needS && (!rq.hasSource || !rq.src.dib)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    const int64_t dx0 = std::min(rq.x, rq.x + rq.width), dx1 = std::max(rq.x, rq.x + rq.width);
    const int64_t dy0 = std::min(rq.y, rq.y + rq.height), dy1 = std::max(rq.y, rq.y + rq.height);
    // Clamp to the bitmap first so the rest works in 32-bit coordinates.
    int64_t cx0 = std::max<int64_t>(dx0, 0), cx1 = std::min<int64_t>(dx1, dst.width);
    int64_t cy0 = std::max<int64_t>(dy0, 0), cy1 = std::min<int64_t>(dy1, dst.height);
    if (cx0 >= cx1 || cy0 >= cy1) return true;

    Axis ax, ay;
    Dib snapshot;
    int64_t srcShiftX = 0, srcShiftY = 0;  // where the snapshot starts in the source
    const Dib* src = rq.src.dib;
    if (needS) {
        const BltSource& s = rq.src;
        const int64_t sx0 = std::min(s.x, s.x + s.width), sy0 = std::min(s.y, s.y + s.height);
        const int64_t sw = s.width < 0 ? -s.width : s.width, sh = s.height < 0 ? -s.height : s.height;
        if (sw == 0 || sh == 0) return true;
        AxisBuild(ax, dx0, dx1 - dx0, sx0, sw, (rq.width < 0) != (s.width < 0), cx0, cx1, src->width);
        AxisBuild(ay, dy0, dy1 - dy0, sy0, sh, (rq.height < 0) != (s.height < 0), cy0, cy1, src->height);
        cx0 = ax.validBegin, cx1 = ax.validEnd, cy0 = ay.validBegin, cy1 = ay.validEnd;
        if (cx0 >= cx1 || cy0 >= cy1) return true;
        if (src->bits == dst.bits) {
            // Drawing onto its own source: copy the part of the source that is read (the source
            // rectangle inside the bitmap), shifted to a whole byte.
            const int64_t rx0 = std::max<int64_t>(sx0, 0), rx1 = std::min<int64_t>(sx0 + sw, src->width);
            const int64_t ry0 = std::max<int64_t>(sy0, 0), ry1 = std::min<int64_t>(sy0 + sh, src->height);
            srcShiftX = src->bpp < 8 ? rx0 - rx0 % (8 / src->bpp) : rx0;
            srcShiftY = ry0;
            if (!DibSnapshot(*src, srcShiftX, rx1, ry0, ry1, snapshot)) return false;
            AxisShift(ax, srcShiftX);
            AxisShift(ay, srcShiftY);
            src = &snapshot;
        }
    }

    pixman_region32_t visible;
    DcVisibleRegion(dc, &visible);
    pixman_region32_intersect_rect(&visible, &visible, int32_t(cx0), int32_t(cy0), uint32_t(cx1 - cx0),
                                   uint32_t(cy1 - cy0));
    if (rq.shape) pixman_region32_intersect(&visible, &visible, const_cast<pixman_region32_t*>(rq.shape));
    int boxCount = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(&visible, &boxCount);
    if (boxCount == 0) {
        pixman_region32_fini(&visible);
        return true;
    }

    const int bpp = dst.bpp;
    const size_t rowBytes = dst.stride + 8;
    std::vector<uint8_t> sRow, pRow, mRow, back;
    try {
        sRow.resize(needS ? rowBytes : 0);
        pRow.resize(needP ? rowBytes : 0);
        mRow.resize(masked ? rowBytes : 0);
        back.resize(masked ? rowBytes : 0);
    } catch (...) {
        pixman_region32_fini(&visible);
        throw;
    }

    Converter convert;
    if (needS) ConverterInit(convert, *src, rq.src.dc, dst, dc);
    // TransparentBlt's key is compared as a source pixel value, like the background colour above.
    const uint32_t key = rq.transparent ? ColorToNative(*src, rq.transparentColor) : 0;
    const uint32_t keyBits = rq.transparent ? ColorBits(*src) : 0;
    const bool srcMirrorX = (rq.width < 0) != (rq.src.width < 0);
    const bool unstretchedX = needS && !srcMirrorX && (rq.src.width < 0 ? -rq.src.width : rq.src.width) == dx1 - dx0;

    // The pattern in destination pixel values.
    // The pattern in destination pixel values: one value for a solid brush, else the pattern's
    // pixels converted as they are read (a pattern may be as large as a page).
    const Dib* pattern = needP && rq.brush->style == BS_DIBPATTERNPT ? &rq.brush->pattern : nullptr;
    Converter patternConvert;
    uint32_t solid = 0;
    if (pattern) ConverterInit(patternConvert, *pattern, nullptr, dst, dc);
    else if (needP) solid = ColorToNative(dst, rq.brush->color);
    bool solidRowReady = false;

    // Boxes of whole rows without padding bits over rows that follow each other in memory are
    // one run of bytes: a constant fill or a copy from a source of the same layout is then one
    // memset or memmove.
    const bool unpadded = uint64_t(dst.width) * uint64_t(bpp) == uint64_t(dst.stride) * 8;
    int fillByte = -1;
    if (!masked && unpadded) {
        if (rq.rop == 0x00) fillByte = 0;
        else if (rq.rop == 0xFF) fillByte = 0xFF;
        else if (rq.rop == 0xF0 && !pattern) {
            FillSolidRow(pRow.data(), dst.width, bpp, solid, dst.stride);
            solidRowReady = true;
            if (std::all_of(pRow.begin(), pRow.begin() + dst.stride, [&](uint8_t v) { return v == pRow[0]; }))
                fillByte = pRow[0];
        }
    }
    const bool blockCopy = !masked && unpadded && rq.rop == 0xCC && needS && convert.mode == Converter::Raw &&
                           unstretchedX && src->stride == dst.stride && src->rowStep == dst.rowStep &&
                           (rq.height < 0) == (rq.src.height < 0) &&
                           (rq.src.height < 0 ? -rq.src.height : rq.src.height) == dy1 - dy0;
    // BLACKONWHITE and WHITEONBLACK keep what a shrink drops by ANDing or ORing every source
    // pixel that falls on one destination pixel.
    const bool orScans = dc.stretchMode == WHITEONBLACK;
    const bool scans = needS && (dc.stretchMode == BLACKONWHITE || orScans);
    const int64_t srcW = rq.src.width < 0 ? -rq.src.width : rq.src.width;
    const int64_t srcH = rq.src.height < 0 ? -rq.src.height : rq.src.height;
    const bool combineX = scans && srcW > dx1 - dx0, combineY = scans && srcH > dy1 - dy0;
    auto span = [](int64_t i, int64_t sn, int64_t dn, bool mirror, int64_t s0, int64_t size, int64_t& lo, int64_t& hi) {
        int64_t a = int64_t(__int128(i) * sn / dn), b = int64_t(__int128(i + 1) * sn / dn);
        lo = mirror ? s0 + sn - b : s0 + a;
        hi = mirror ? s0 + sn - a : s0 + b;
        lo = std::max<int64_t>(lo, 0);
        hi = std::min<int64_t>(hi, size);
    };
    int64_t cachedSy = -1, cachedX0 = -1, cachedX1 = -1;
    for (int b = 0; b < boxCount; ++b) {
        const int64_t x0 = boxes[b].x1, x1 = boxes[b].x2;
        if ((fillByte >= 0 || blockCopy) && x0 == 0 && x1 == dst.width) {
            const int32_t top = boxes[b].y1, bottom = boxes[b].y2;
            uint8_t* first = dst.rowStep > 0 ? dst.Row(top) : dst.Row(bottom - 1);
            const size_t bytes = size_t(bottom - top) * dst.stride;
            if (fillByte >= 0) {
                std::memset(first, fillByte, bytes);
                continue;
            }
            const int32_t sTop = ay.map[size_t(top - ay.first)], sBottom = ay.map[size_t(bottom - 1 - ay.first)];
            if (ax.map[0] == 0 && sBottom - sTop == bottom - 1 - top) {
                std::memmove(first, src->rowStep > 0 ? src->Row(sTop) : src->Row(sBottom), bytes);
                continue;
            }
        }
        const int64_t b0 = (x0 * bpp) >> 3, b1 = (x1 * bpp + 7) >> 3, n = b1 - b0;
        const int headBits = int((x0 * bpp) & 7), tailBits = int((x1 * bpp) & 7);
        const uint8_t keepFirst = headBits ? uint8_t(0xFF << (8 - headBits)) : 0;
        const uint8_t keepLast = tailBits ? uint8_t(0xFF >> tailBits) : 0;
        for (int64_t y = boxes[b].y1; y < boxes[b].y2; ++y) {
            uint8_t* d = dst.Row(int32_t(y)) + b0;
            const uint8_t* s = nullptr;
            if (needS) {
                const int32_t sy = ay.map[size_t(y - ay.first)];
                const int64_t sx = ax.map[size_t(x0 - ax.first)];
                const uint8_t* srcRow = src->Row(sy);
                if (combineX || combineY) {
                    const int64_t sx0 = std::min(rq.src.x, rq.src.x + rq.src.width) - srcShiftX;
                    const int64_t sy0 = std::min(rq.src.y, rq.src.y + rq.src.height) - srcShiftY;
                    int64_t rowLo = sy, rowHi = sy + 1;
                    // A span that lies wholly outside the bitmap once clamped, while its nearest
                    // pixel lies inside, reads that pixel alone, as COLORONCOLOR does.
                    if (combineY)
                        span(y - dy0, srcH, dy1 - dy0, (rq.height < 0) != (rq.src.height < 0), sy0, src->height, rowLo,
                             rowHi);
                    if (rowLo >= rowHi) rowLo = sy, rowHi = sy + 1;
                    for (int64_t x = x0; x < x1; ++x) {
                        const int64_t nearest = ax.map[size_t(x - ax.first)];
                        int64_t colLo = nearest, colHi = nearest + 1;
                        if (combineX) span(x - dx0, srcW, dx1 - dx0, srcMirrorX, sx0, src->width, colLo, colHi);
                        if (colLo >= colHi) colLo = nearest, colHi = nearest + 1;
                        uint32_t v = orScans ? 0 : AllOnes(bpp);
                        for (int64_t r = rowLo; r < rowHi; ++r)
                            for (int64_t c = colLo; c < colHi; ++c) {
                                uint32_t one = convert(PixelRead(src->Row(int32_t(r)), int32_t(c), src->bpp));
                                v = orScans ? v | one : v & one;
                            }
                        PixelPut(sRow.data(), int32_t(x), bpp, v);
                    }
                    s = sRow.data() + b0;
                } else if (convert.mode == Converter::Raw && unstretchedX && ((sx * bpp) & 7) == headBits) {
                    s = srcRow + ((sx * bpp) >> 3);  // same layout: read the source in place
                } else {
                    if (sy != cachedSy || x0 != cachedX0 || x1 != cachedX1) {
                        if (convert.mode == Converter::Raw && unstretchedX && bpp == 1) {
                            CopyBitsShifted(sRow.data(), x0, x1, srcRow, sx, src->stride);
                        } else if (convert.mode == Converter::Raw && bpp % 8 == 0 && src->bpp == bpp) {
                            // Whole-byte pixels of one layout: picked by the column map, copied as they are.
                            GatherPixels(sRow.data() + b0, srcRow, ax.map.data() + (x0 - ax.first), x1 - x0, bpp / 8);
                        } else {
                            for (int64_t x = x0; x < x1; ++x)
                                PixelPut(sRow.data(), int32_t(x), bpp,
                                         convert(PixelRead(srcRow, ax.map[size_t(x - ax.first)], src->bpp)));
                        }
                        cachedSy = sy, cachedX0 = x0, cachedX1 = x1;
                    }
                    s = sRow.data() + b0;
                }
            }
            const uint8_t* p = nullptr;
            if (needP) {
                if (!pattern) {
                    if (!solidRowReady) {
                        FillSolidRow(pRow.data(), dst.width, bpp, solid, dst.stride);
                        solidRowReady = true;
                    }
                } else {
                    const uint8_t* patternRow = pattern->Row(int32_t(FloorMod(y - dc.brushOrg.y, pattern->height)));
                    int64_t tx = FloorMod(x0 - dc.brushOrg.x, pattern->width);
                    for (int64_t x = x0; x < x1; ++x) {
                        PixelPut(pRow.data(), int32_t(x), bpp,
                                 patternConvert(PixelRead(patternRow, int32_t(tx), pattern->bpp)));
                        if (++tx == pattern->width) tx = 0;
                    }
                }
                p = pRow.data() + b0;
            }
            const uint8_t first = d[0], last = d[n - 1];
            if (!masked) {
                Rop3Apply(rq.rop, d, s, p, size_t(n));
            } else {
                if (rq.transparent) {
                    // Drawn where the source pixel's colour is not the transparent one.
                    const uint8_t* srcRow = src->Row(ay.map[size_t(y - ay.first)]);
                    for (int64_t x = x0; x < x1; ++x) {
                        uint32_t v = PixelRead(srcRow, ax.map[size_t(x - ax.first)], src->bpp);
                        bool on = (v & keyBits) != key;
                        PixelPut(mRow.data(), int32_t(x), bpp, on ? AllOnes(bpp) : 0);
                    }
                } else {
                    const Dib& mask = *rq.mask;
                    const int64_t my = rq.maskY + (y - dy0);
                    const uint8_t* maskRow = my >= 0 && my < mask.height ? mask.Row(int32_t(my)) : nullptr;
                    for (int64_t x = x0; x < x1; ++x) {
                        const int64_t mx = rq.maskX + (x - dx0);
                        bool on = maskRow && mx >= 0 && mx < mask.width && PixelRead(maskRow, int32_t(mx), 1);
                        PixelPut(mRow.data(), int32_t(x), bpp, on ? AllOnes(bpp) : 0);
                    }
                }
                std::memcpy(back.data(), d, size_t(n));
                Rop3Apply(rq.rop, d, s, p, size_t(n));
                Rop3Apply(rq.ropBack, back.data(), s, p, size_t(n));
                const uint8_t* m = mRow.data() + b0;
                for (int64_t i = 0; i < n; ++i) d[i] = uint8_t((d[i] & m[i]) | (back[size_t(i)] & ~m[i]));
            }
            SpanEdgesRestore(d, n, first, last, keepFirst, keepLast);
        }
    }
    pixman_region32_fini(&visible);
    return true;
}

}  // namespace

// Every blit, fill and text paint comes through here: the axis maps, the snapshot of a source drawn
// onto itself and the row buffers are C++ containers, and running out of memory for them is a
// failed call.
bool BltRun(const BltRequest& rq)
{
    try {
        return BltRows(rq);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

}  // namespace gdi
