// The blit tests' reference: a blit described field by field and applied pixel by pixel to a
// snapshot, the byte comparison of a whole destination, and a clip made both ways.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "gdi_reference.h"

using ref::Image;
using ref::Surface;

struct RefBlt {
    int64_t x = 0, y = 0, w = 0, h = 0;  // device, signed
    const Image* src = nullptr;
    bool srcFromDc = true;
    COLORREF srcBk = 0xFFFFFF;
    int64_t sx = 0, sy = 0, sw = 0, sh = 0;
    COLORREF dstText = 0, dstBk = 0xFFFFFF;
    bool hasBrush = true;
    COLORREF color = 0;
    const Image* pattern = nullptr;
    POINT org{0, 0};
    uint8_t rop = 0xCC, ropBack = 0xCC;
    const Image* mask = nullptr;
    int64_t mx = 0, my = 0;
    std::function<bool(int, int)> clip = [](int, int) { return true; };
    int stretchMode = BLACKONWHITE;  // a new DC's mode
};

inline bool SameFormat(const Image& a, const Image& b)
{
    if (a.bpp != b.bpp) return false;
    if (a.bpp <= 8) return a.palette == b.palette;
    return a.bpp == 24 || std::equal(a.masks, a.masks + 3, b.masks);
}

inline uint32_t ColourBits(const Image& image)
{
    if (image.bpp <= 8) return (1u << image.bpp) - 1;
    return image.bpp == 24 ? 0xFFFFFFu : image.masks[0] | image.masks[1] | image.masks[2];
}

inline uint32_t Convert(const RefBlt& b, const Image& dst, uint32_t v)
{
    const Image& src = *b.src;
    if (b.srcFromDc && src.bpp == 1 && dst.bpp == 1) return v;
    if (SameFormat(src, dst)) return v;
    if (b.srcFromDc && src.bpp == 1) return dst.Nearest(v ? b.dstBk : b.dstText);
    // Colour to one bit compares pixel values: the background colour in the source's own format.
    if (b.srcFromDc && dst.bpp == 1) return (v & ColourBits(src)) == src.Nearest(b.srcBk) ? 1 : 0;
    return dst.Nearest(src.Color(v));
}

inline int64_t FloorMod(int64_t a, int64_t m) { return ((a % m) + m) % m; }

inline void RefApply(Image& dst, const RefBlt& b)
{
    auto needS = [](uint8_t c) { return ((c >> 2) ^ c) & 0x33; };
    auto needP = [](uint8_t c) { return ((c >> 4) ^ c) & 0x0F; };
    bool usesP = needP(b.rop) || (b.mask && needP(b.ropBack));
    bool usesS = needS(b.rop) || (b.mask && needS(b.ropBack));
    if (usesP && !b.hasBrush) return;
    int64_t x0 = std::min(b.x, b.x + b.w), x1 = std::max(b.x, b.x + b.w);
    int64_t y0 = std::min(b.y, b.y + b.h), y1 = std::max(b.y, b.y + b.h);
    const int bits = dst.bpp;
    for (int64_t y = std::max<int64_t>(y0, 0); y < std::min<int64_t>(y1, dst.height); ++y) {
        for (int64_t x = std::max<int64_t>(x0, 0); x < std::min<int64_t>(x1, dst.width); ++x) {
            if (!b.clip(int(x), int(y))) continue;
            uint32_t s = 0, p = 0;
            if (usesS) {
                int64_t sw = std::abs(b.sw), sh = std::abs(b.sh);
                if (sw == 0 || sh == 0) return;
                int64_t tx = (2 * (x - x0) + 1) * sw / (2 * (x1 - x0));
                int64_t ty = (2 * (y - y0) + 1) * sh / (2 * (y1 - y0));
                if ((b.w < 0) != (b.sw < 0)) tx = sw - 1 - tx;
                if ((b.h < 0) != (b.sh < 0)) ty = sh - 1 - ty;
                int64_t sx = std::min(b.sx, b.sx + b.sw) + tx, sy = std::min(b.sy, b.sy + b.sh) + ty;
                if (sx < 0 || sy < 0 || sx >= b.src->width || sy >= b.src->height) continue;
                s = Convert(b, dst, b.src->Get(int(sx), int(sy)));
                bool scans = b.stretchMode == BLACKONWHITE || b.stretchMode == WHITEONBLACK;
                if (scans && (sw > x1 - x0 || sh > y1 - y0)) {
                    // every source pixel that lands on this one, ANDed or ORed
                    auto range = [](int64_t i, int64_t sn, int64_t dn, bool mirror, int64_t s0, int64_t nearest,
                                    int64_t& lo, int64_t& hi) {
                        if (sn <= dn) {
                            lo = nearest, hi = nearest + 1;
                            return;
                        }
                        int64_t a = i * sn / dn, c = (i + 1) * sn / dn;
                        lo = mirror ? s0 + sn - c : s0 + a;
                        hi = mirror ? s0 + sn - a : s0 + c;
                    };
                    int64_t xlo, xhi, ylo, yhi;
                    range(x - x0, sw, x1 - x0, (b.w < 0) != (b.sw < 0), std::min(b.sx, b.sx + b.sw), sx, xlo, xhi);
                    range(y - y0, sh, y1 - y0, (b.h < 0) != (b.sh < 0), std::min(b.sy, b.sy + b.sh), sy, ylo, yhi);
                    // Only the part inside the bitmap is read; a span with no such part reads
                    // the nearest pixel, which lies inside.
                    xlo = std::max<int64_t>(xlo, 0), xhi = std::min<int64_t>(xhi, b.src->width);
                    ylo = std::max<int64_t>(ylo, 0), yhi = std::min<int64_t>(yhi, b.src->height);
                    if (xlo >= xhi) xlo = sx, xhi = sx + 1;
                    if (ylo >= yhi) ylo = sy, yhi = sy + 1;
                    s = b.stretchMode == WHITEONBLACK ? 0 : (dst.bpp == 32 ? 0xFFFFFFFFu : (1u << dst.bpp) - 1);
                    for (int64_t yy = ylo; yy < yhi; ++yy)
                        for (int64_t xx = xlo; xx < xhi; ++xx) {
                            uint32_t one = Convert(b, dst, b.src->Get(int(xx), int(yy)));
                            s = b.stretchMode == WHITEONBLACK ? s | one : s & one;
                        }
                }
            }
            if (usesP) {
                if (b.pattern) {
                    const Image& pt = *b.pattern;
                    p = dst.Nearest(
                        pt.Color(pt.Get(int(FloorMod(x - b.org.x, pt.width)), int(FloorMod(y - b.org.y, pt.height)))));
                } else {
                    p = dst.Nearest(b.color);
                }
            }
            uint32_t d = dst.Get(int(x), int(y));
            uint8_t code = b.rop;
            if (b.mask) {
                int64_t mx = b.mx + (x - x0), my = b.my + (y - y0);
                bool on =
                    mx >= 0 && my >= 0 && mx < b.mask->width && my < b.mask->height && b.mask->Get(int(mx), int(my));
                code = on ? b.rop : b.ropBack;
            }
            dst.Set(int(x), int(y), Rop3(code, p, s, d, bits));
        }
    }
}

inline void ExpectSameBytes(const Image& expected, const Surface& actual, const std::string& what)
{
    Image got = actual.Snapshot();
    size_t differ = 0;
    for (size_t i = 0; i < got.bytes.size(); ++i) differ += got.bytes[i] != expected.bytes[i];
    EXPECT_EQ(differ, 0u) << what;
}

// Clip of two overlapping rectangles and a hole, made both as a GDI region and as a predicate.
struct TestClip {
    HRGN region;
    std::function<bool(int, int)> inside;
    TestClip()
    {
        region = CreateRectRgn(2, 1, 30, 14);
        HRGN second = CreateRectRgn(10, 8, 41, 19);
        HRGN hole = CreateRectRgn(14, 4, 18, 11);
        CombineRgn(region, region, second, RGN_OR);
        CombineRgn(region, region, hole, RGN_DIFF);
        DeleteObject(second);
        DeleteObject(hole);
        inside = [](int x, int y) {
            bool in = (x >= 2 && x < 30 && y >= 1 && y < 14) || (x >= 10 && x < 41 && y >= 8 && y < 19);
            return in && !(x >= 14 && x < 18 && y >= 4 && y < 11);
        };
    }
    ~TestClip() { DeleteObject(region); }
};

inline HBRUSH PatternBrush(const std::vector<uint8_t>& packed)
{
    return CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS);
}
