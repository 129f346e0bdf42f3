// Fills and blits against the per-pixel reference: every ternary code on 1- and 24-bit bitmaps,
// every depth pair, stretching and mirroring under mapping modes, masks and clip regions. The
// whole destination storage (row padding included) is compared, so a byte written outside the
// destination rectangle or the clip fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "gdi_reference.h"

using ref::Image;
using ref::Surface;

namespace {

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

bool SameFormat(const Image& a, const Image& b)
{
    if (a.bpp != b.bpp) return false;
    if (a.bpp <= 8) return a.palette == b.palette;
    return a.bpp == 24 || std::equal(a.masks, a.masks + 3, b.masks);
}

uint32_t ColourBits(const Image& image)
{
    if (image.bpp <= 8) return (1u << image.bpp) - 1;
    return image.bpp == 24 ? 0xFFFFFFu : image.masks[0] | image.masks[1] | image.masks[2];
}

uint32_t Convert(const RefBlt& b, const Image& dst, uint32_t v)
{
    const Image& src = *b.src;
    if (b.srcFromDc && src.bpp == 1 && dst.bpp == 1) return v;
    if (SameFormat(src, dst)) return v;
    if (b.srcFromDc && src.bpp == 1) return dst.Nearest(v ? b.dstBk : b.dstText);
    // Colour to one bit compares pixel values: the background colour in the source's own format.
    if (b.srcFromDc && dst.bpp == 1) return (v & ColourBits(src)) == src.Nearest(b.srcBk) ? 1 : 0;
    return dst.Nearest(src.Color(v));
}

int64_t FloorMod(int64_t a, int64_t m) { return ((a % m) + m) % m; }

void RefApply(Image& dst, const RefBlt& b)
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

void ExpectSameBytes(const Image& expected, const Surface& actual, const std::string& what)
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

HBRUSH PatternBrush(const std::vector<uint8_t>& packed)
{
    return CreateDIBPatternBrushPt(packed.data(), DIB_RGB_COLORS);
}

}  // namespace

TEST(GdiBlt, AllTernaryCodesOnOneAndTwentyFourBits)
{
    std::mt19937 rng(7);
    TestClip clip;
    for (int bpp : {1, 24}) {
        std::vector<COLORREF> palette = bpp == 1 ? ref::MonoPalette() : std::vector<COLORREF>{};
        std::vector<uint8_t> packedPattern = bpp == 1 ? ref::PackedDib(8, 8, 1, false, rng, ref::MonoPalette())
                                                      : ref::PackedDib(3, 5, 24, true, rng, {});
        Image pattern = ref::ImageOfPacked(packedPattern);
        HBRUSH brush = PatternBrush(packedPattern);
        ASSERT_NE(brush, nullptr);
        for (int code = 0; code < 256; ++code) {
            for (bool withBlt : {true, false}) {
                Surface dst(45, 21, bpp, code % 2 == 0, rng, palette);
                Surface src(40, 30, bpp, code % 3 == 0, rng, palette);
                HGDIOBJ oldBrush = SelectObject(dst.dc, brush);
                SetBrushOrgEx(dst.dc, 3, -2, nullptr);
                ASSERT_NE(SelectClipRgn(dst.dc, clip.region), ERROR);
                RefBlt b;
                b.x = 1 + code % 9, b.y = code % 4 - 1, b.w = 33 + code % 5, b.h = 17;
                b.src = &src.image;
                b.sx = code % 7, b.sy = 2 + code % 3, b.sw = b.w, b.sh = b.h;
                b.pattern = &pattern;
                b.org = {3, -2};
                b.rop = b.ropBack = uint8_t(code);
                b.clip = clip.inside;
                Image expected = dst.Snapshot();
                Image source = src.Snapshot();
                b.src = &source;
                DWORD rop = DWORD(code) << 16 | 0x1234;  // the low word is ignored
                BOOL ok;
                bool sourceCode = ((code >> 2) ^ code) & 0x33;
                if (withBlt) {
                    ok = BitBlt(dst.dc, int(b.x), int(b.y), int(b.w), int(b.h), src.dc, int(b.sx), int(b.sy), rop);
                    RefApply(expected, b);
                } else {
                    ok = PatBlt(dst.dc, int(b.x), int(b.y), int(b.w), int(b.h), rop);
                    if (!sourceCode) RefApply(expected, b);
                }
                EXPECT_EQ(ok, withBlt || !sourceCode ? TRUE : FALSE);
                ExpectSameBytes(expected, dst,
                                (withBlt ? "BitBlt bpp " : "PatBlt bpp ") + std::to_string(bpp) + " code " +
                                    std::to_string(code));
                SelectObject(dst.dc, oldBrush);
            }
        }
        DeleteObject(brush);
    }
}

TEST(GdiBlt, EveryDepthPairFollowsTheColourRules)
{
    std::mt19937 rng(11);
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    struct Format {
        int bpp;
        const uint32_t* masks;
    };
    const Format formats[] = {{1, nullptr},   {4, nullptr},  {8, nullptr}, {16, nullptr},
                              {16, masks565}, {24, nullptr}, {32, nullptr}};
    for (const Format& df : formats) {
        for (const Format& sf : formats) {
            for (uint8_t code : {uint8_t(0xCC), uint8_t(0x66), uint8_t(0xB8)}) {
                auto paletteFor = [&](int bpp) {
                    if (bpp == 1) return rng() % 2 ? ref::MonoPalette() : ref::RandomPalette(2, rng);
                    return bpp <= 8 ? ref::RandomPalette(1 << bpp, rng) : std::vector<COLORREF>{};
                };
                Surface dst(23, 9, df.bpp, false, rng, paletteFor(df.bpp), df.masks);
                Surface src(23, 9, sf.bpp, true, rng, paletteFor(sf.bpp), sf.masks);
                // A few distinct source colours, one of them the source DC's background colour.
                Image source = src.Snapshot();
                std::vector<uint32_t> values;
                for (int i = 0; i < 3; ++i) values.push_back(source.Get(int(rng() % 23), int(rng() % 9)));
                for (int y = 0; y < 9; ++y)
                    for (int x = 0; x < 23; ++x) source.Set(x, y, values[rng() % values.size()]);
                std::copy(source.bytes.begin(), source.bytes.end(), src.bits);
                COLORREF bk = source.Color(values[0]);
                SetBkColor(src.dc, bk);
                SetTextColor(dst.dc, 0x123456);
                SetBkColor(dst.dc, 0xFEDCBA);
                COLORREF brushColor = rng() & 0xFFFFFF;
                HBRUSH brush = CreateSolidBrush(brushColor);
                HGDIOBJ old = SelectObject(dst.dc, brush);
                RefBlt b;
                b.x = 2, b.y = 1, b.w = 19, b.h = 7, b.sx = 3, b.sy = 2, b.sw = 19, b.sh = 7;
                b.src = &source;
                b.srcBk = bk;
                b.dstText = 0x123456, b.dstBk = 0xFEDCBA;
                b.color = brushColor;
                b.rop = b.ropBack = code;
                Image expected = dst.Snapshot();
                RefApply(expected, b);
                EXPECT_TRUE(BitBlt(dst.dc, 2, 1, 19, 7, src.dc, 3, 2, DWORD(code) << 16));
                ExpectSameBytes(expected, dst,
                                "dst " + std::to_string(df.bpp) + (df.masks ? "bf" : "") + " src " +
                                    std::to_string(sf.bpp) + (sf.masks ? "bf" : "") + " code " + std::to_string(code));
                SelectObject(dst.dc, old);
                DeleteObject(brush);
            }
        }
    }
}

TEST(GdiBlt, StretchMirrorsAndMapsThroughBothDCs)
{
    std::mt19937 rng(5);
    struct Case {
        int x, y, w, h, sx, sy, sw, sh;
    };
    const Case cases[] = {
        {3, 2, 20, 10, 1, 1, 20, 10},     {3, 2, 40, 25, 2, 3, 13, 7},    {30, 20, -25, -15, 1, 0, 12, 9},
        {2, 2, 17, 11, 20, 15, -19, -13}, {0, 0, 7, 5, 0, 0, 31, 23},     {-5, -3, 60, 40, -3, -2, 30, 20},
        {10, 4, 9, 30, 3, 3, 9, -4},      {20, 10, -15, -8, 2, 1, 15, 8}, {-4, 30, 25, -22, 30, 0, -25, 22},
        {1, 1, 9, 7, -5, -4, 13, 11},  // shrunk from beyond the source's top left corner
        {4, 3, -9, -7, 25, 19, 13, 11},  // and beyond its bottom right, mirrored
    };
    struct Mapping {
        int mode;
        POINT wo, vo;
        SIZE we, ve;
    };
    const Mapping mappings[] = {
        {MM_TEXT, {0, 0}, {0, 0}, {1, 1}, {1, 1}},
        {MM_ANISOTROPIC, {4, -3}, {2, 1}, {3, 2}, {2, 3}},
        {MM_ANISOTROPIC, {0, 0}, {40, 30}, {5, 5}, {-4, -3}},
    };
    TestClip clip;
    for (int bpp : {1, 8, 16, 24, 32}) {
        for (const Mapping& m : mappings) {
            for (const Case& c : cases) {
                for (uint8_t code : {uint8_t(0xCC), uint8_t(0x66)}) {
                    // One palette for both, so that whole-byte pixels are copied as they are.
                    std::vector<COLORREF> palette = bpp == 1   ? ref::MonoPalette()
                                                    : bpp == 8 ? ref::RandomPalette(256, rng)
                                                               : std::vector<COLORREF>{};
                    Surface dst(45, 33, bpp, true, rng, palette);
                    Surface src(33, 27, bpp, false, rng, palette);
                    const int stretchMode = int(1 + (&c - cases + code) % 3);
                    SetStretchBltMode(dst.dc, stretchMode);
                    SetMapMode(dst.dc, m.mode);
                    SetWindowExtEx(dst.dc, m.we.cx, m.we.cy, nullptr);
                    SetViewportExtEx(dst.dc, m.ve.cx, m.ve.cy, nullptr);
                    SetWindowOrgEx(dst.dc, m.wo.x, m.wo.y, nullptr);
                    SetViewportOrgEx(dst.dc, m.vo.x, m.vo.y, nullptr);
                    SetWindowOrgEx(src.dc, -1, 1, nullptr);  // the source DC maps too
                    SelectClipRgn(dst.dc, clip.region);
                    RefBlt b;
                    b.x = ref::MapAxis(c.x, m.wo.x, m.we.cx, m.vo.x, m.ve.cx);
                    b.y = ref::MapAxis(c.y, m.wo.y, m.we.cy, m.vo.y, m.ve.cy);
                    b.w = ref::MapAxis(int64_t(c.x) + c.w, m.wo.x, m.we.cx, m.vo.x, m.ve.cx) - b.x;
                    b.h = ref::MapAxis(int64_t(c.y) + c.h, m.wo.y, m.we.cy, m.vo.y, m.ve.cy) - b.y;
                    b.sx = c.sx + 1, b.sy = c.sy - 1, b.sw = c.sw, b.sh = c.sh;
                    b.rop = b.ropBack = code;
                    b.clip = clip.inside;
                    b.stretchMode = stretchMode;
                    Image source = src.Snapshot();
                    b.src = &source;
                    Image expected = dst.Snapshot();
                    RefApply(expected, b);
                    EXPECT_TRUE(
                        StretchBlt(dst.dc, c.x, c.y, c.w, c.h, src.dc, c.sx, c.sy, c.sw, c.sh, DWORD(code) << 16));
                    ExpectSameBytes(expected, dst,
                                    "bpp " + std::to_string(bpp) + " mode " + std::to_string(m.mode) + " case " +
                                        std::to_string(&c - cases) + " stretch mode " + std::to_string(stretchMode));
                }
            }
        }
    }
}

// A shrink that starts beyond the source's edge: the first destination pixel whose nearest
// source pixel lies inside the bitmap takes that pixel, though the span ANDed or ORed for it lies
// wholly outside.
TEST(GdiBlt, ShrinkAtTheSourceEdgeTakesTheNearestPixel)
{
    std::mt19937 rng(3);
    for (int mode : {BLACKONWHITE, WHITEONBLACK, COLORONCOLOR}) {
        Surface src(16, 1, 24, true, rng);
        Surface dst(9, 1, 24, true, rng);
        std::fill(src.bits, src.bits + 48, uint8_t(0x80));
        std::fill(dst.bits, dst.bits + 27, uint8_t(0x11));
        SetStretchBltMode(dst.dc, mode);
        EXPECT_TRUE(StretchBlt(dst.dc, 0, 0, 9, 1, src.dc, -2, 0, 13, 1, SRCCOPY));
        // Pixel 0's nearest source pixel is column -2: it is left alone.
        for (int c = 0; c < 3; ++c) EXPECT_EQ(dst.bits[c], 0x11) << "mode " << mode;
        for (int x = 1; x < 9; ++x)
            for (int c = 0; c < 3; ++c) EXPECT_EQ(dst.bits[3 * x + c], 0x80) << "mode " << mode << " pixel " << x;
    }
}

TEST(GdiBlt, MaskBltTakesTheForegroundCodeWhereTheMaskIsSet)
{
    std::mt19937 rng(9);
    for (int bpp : {1, 8, 24}) {
        for (int i = 0; i < 24; ++i) {
            std::vector<COLORREF> palette = bpp == 1   ? ref::MonoPalette()
                                            : bpp == 8 ? ref::RandomPalette(256, rng)
                                                       : std::vector<COLORREF>{};
            Surface dst(37, 15, bpp, i % 2, rng, palette);
            Surface src(37, 15, bpp, true, rng, palette);
            Surface mask(20, 12, 1, false, rng, ref::MonoPalette());
            uint8_t fore = uint8_t(rng()), back = uint8_t(rng());
            if (i == 0) fore = 0xAA, back = 0xCC;  // the engine's masked copy
            COLORREF color = rng() & 0xFFFFFF;
            HBRUSH brush = CreateSolidBrush(color);
            HGDIOBJ old = SelectObject(dst.dc, brush);
            RefBlt b;
            b.x = 3, b.y = 2, b.w = 25, b.h = 11, b.sx = 5, b.sy = 1, b.sw = 25, b.sh = 11;
            b.color = color;
            b.rop = fore, b.ropBack = back;
            Image maskImage = mask.Snapshot();
            b.mask = &maskImage;
            b.mx = 1, b.my = 2;
            Image source = src.Snapshot();
            b.src = &source;
            Image expected = dst.Snapshot();
            RefApply(expected, b);
            EXPECT_TRUE(MaskBlt(dst.dc, 3, 2, 25, 11, src.dc, 5, 1, mask.bitmap, 1, 2,
                                MAKEROP4(DWORD(fore) << 16, DWORD(back) << 16)));
            ExpectSameBytes(expected, dst, "bpp " + std::to_string(bpp) + " case " + std::to_string(i));
            SelectObject(dst.dc, old);
            DeleteObject(brush);
        }
    }
    // A mask of more than one bit is refused.
    Surface dst(8, 8, 24, true, rng), colourMask(8, 8, 24, true, rng);
    EXPECT_FALSE(MaskBlt(dst.dc, 0, 0, 8, 8, dst.dc, 0, 0, colourMask.bitmap, 0, 0, SRCCOPY));
}

TEST(GdiBlt, PatternBrushTilesFromTheBrushOrigin)
{
    std::mt19937 rng(3);
    std::vector<uint8_t> packed = ref::PackedDib(5, 3, 8, false, rng, ref::RandomPalette(256, rng));
    Image pattern = ref::ImageOfPacked(packed);
    HBRUSH brush = PatternBrush(packed);
    for (POINT org : {POINT{0, 0}, POINT{2, 1}, POINT{-7, 4}, POINT{13, -9}}) {
        Surface dst(31, 17, 24, true, rng);
        SetBrushOrgEx(dst.dc, org.x, org.y, nullptr);
        EXPECT_TRUE(UnrealizeObject(brush));
        RECT r{2, 3, 29, 15};
        RefBlt b;
        b.x = 2, b.y = 3, b.w = 27, b.h = 12;
        b.pattern = &pattern;
        b.org = org;
        b.rop = 0xF0;
        Image expected = dst.Snapshot();
        RefApply(expected, b);
        SetROP2(dst.dc, R2_XORPEN);  // FillRect does not mix
        EXPECT_EQ(FillRect(dst.dc, &r, brush), 1);
        ExpectSameBytes(expected, dst, "origin " + std::to_string(org.x) + "," + std::to_string(org.y));
    }
    DeleteObject(brush);
}

TEST(GdiBlt, ColourConversionRules)
{
    std::mt19937 rng(1);
    Surface colour(4, 1, 24, true, rng), mono(4, 1, 1, true, rng, ref::MonoPalette());
    const COLORREF pixels[4] = {0x0000FF, 0x00FF00, 0x0000FF, 0x808080};
    for (int x = 0; x < 4; ++x) {
        colour.bits[3 * x] = GetBValue(pixels[x]), colour.bits[3 * x + 1] = GetGValue(pixels[x]),
                        colour.bits[3 * x + 2] = GetRValue(pixels[x]);
    }
    // Colour to one bit: 1 where the pixel is the source DC's background colour.
    SetBkColor(colour.dc, 0x0000FF);
    ASSERT_TRUE(BitBlt(mono.dc, 0, 0, 4, 1, colour.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(mono.bits[0] >> 4, 0b1010);
    // One bit to colour: 0 takes the destination's text colour, 1 its background colour.
    SetTextColor(colour.dc, 0x112233);
    SetBkColor(colour.dc, 0x445566);
    ASSERT_TRUE(BitBlt(colour.dc, 0, 0, 4, 1, mono.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(colour.bits[0], 0x44);  // blue byte of the background colour
    EXPECT_EQ(colour.bits[3], 0x11);  // blue byte of the text colour
    // A brush colour into one bit takes the nearest palette entry.
    HBRUSH light = CreateSolidBrush(0xC0C0C0), dark = CreateSolidBrush(0x404040);
    RECT all{0, 0, 4, 1};
    FillRect(mono.dc, &all, light);
    EXPECT_EQ(mono.bits[0] >> 4, 0xF);
    FillRect(mono.dc, &all, dark);
    EXPECT_EQ(mono.bits[0] >> 4, 0x0);
    DeleteObject(light);
    DeleteObject(dark);
}

// A source painted with a colour its format cannot hold exactly, and that same colour as the
// source DC's background or as TransparentBlt's key: the pixels match it.
TEST(GdiBlt, BackgroundAndKeyColoursMatchInTheSourceFormat)
{
    std::mt19937 rng(21);
    const COLORREF paint = RGB(200, 100, 50);
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F};
    struct Format {
        const char* name;
        int bpp;
        const uint32_t* masks;
        std::vector<COLORREF> palette;
    };
    const Format formats[] = {
        {"16-bit 5-5-5", 16, nullptr, {}},
        {"16-bit 5-6-5", 16, masks565, {}},
        {"8-bit palette", 8, nullptr, {0x000000, 0xFFFFFF, RGB(198, 98, 52), RGB(0, 0, 255)}},
        {"4-bit palette", 4, nullptr, {0x000000, RGB(190, 110, 40), 0xFFFFFF}},
    };
    for (const Format& f : formats) {
        std::vector<COLORREF> palette = f.palette;
        if (f.bpp <= 8) palette.resize(size_t(1) << f.bpp, 0x000000);
        Surface src(4, 1, f.bpp, true, rng, palette, f.masks);
        HBRUSH black = CreateSolidBrush(0x000000), painted = CreateSolidBrush(paint);
        RECT all{0, 0, 4, 1}, first{0, 0, 1, 1}, third{2, 0, 3, 1};
        FillRect(src.dc, &all, black);
        FillRect(src.dc, &first, painted);
        FillRect(src.dc, &third, painted);
        ASSERT_NE(src.Snapshot().Color(src.Snapshot().Get(0, 0)), paint)
            << f.name << ": the format holds the colour exactly";
        // Colour to one bit.
        Surface mono(4, 1, 1, true, rng, ref::MonoPalette());
        SetBkColor(src.dc, paint);
        ASSERT_TRUE(BitBlt(mono.dc, 0, 0, 4, 1, src.dc, 0, 0, SRCCOPY)) << f.name;
        EXPECT_EQ(mono.bits[0] >> 4, 0b1010) << f.name;
        // The key colour leaves the painted pixels out.
        Surface dst(4, 1, 24, true, rng);
        Image before = dst.Snapshot();
        ASSERT_TRUE(TransparentBlt(dst.dc, 0, 0, 4, 1, src.dc, 0, 0, 4, 1, paint)) << f.name;
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(dst.Snapshot().Get(x, 0), x % 2 == 0 ? before.Get(x, 0) : 0u) << f.name << " x " << x;
        DeleteObject(black);
        DeleteObject(painted);
    }
}

TEST(GdiBlt, NullBrushAndMissingSource)
{
    std::mt19937 rng(2);
    Surface dst(16, 4, 24, true, rng);
    Image before = dst.Snapshot();
    HGDIOBJ old = SelectObject(dst.dc, GetStockObject(NULL_BRUSH));
    EXPECT_TRUE(PatBlt(dst.dc, 0, 0, 16, 4, PATCOPY));
    ExpectSameBytes(before, dst, "null brush");
    SelectObject(dst.dc, old);
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 4, 4, nullptr, 0, 0, SRCCOPY));
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 4, 4, nullptr, 0, 0, DSTINVERT));  // needs no source
}

TEST(GdiBlt, OverlappingBlitWithinOneBitmap)
{
    std::mt19937 rng(4);
    for (int bpp : {1, 24}) {
        Surface s(40, 20, bpp, true, rng, bpp == 1 ? ref::MonoPalette() : std::vector<COLORREF>{});
        Image before = s.Snapshot();
        Image expected = before;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 30; ++x) expected.Set(x + 3, y + 5, before.Get(x, y));
        EXPECT_TRUE(BitBlt(s.dc, 3, 5, 30, 12, s.dc, 0, 0, SRCCOPY));
        ExpectSameBytes(expected, s, "overlap " + std::to_string(bpp));
    }
}

// Drawing a bitmap onto itself, stretched, shrunk and mirrored at bit offsets: the source is
// read as it was before the call.
TEST(GdiBlt, StretchedBlitWithinOneBitmap)
{
    std::mt19937 rng(22);
    struct Case {
        int64_t x, y, w, h, sx, sy, sw, sh;
    };
    const Case cases[] = {
        {3, 5, 30, 12, 1, 0, 17, 9},  // enlarge
        {30, 2, -21, 9, 5, 3, 33, 14},  // shrink, mirrored, combining the pixels that fall together
        {0, 0, 40, 20, 39, 19, -40, -20},
        {7, 1, 11, 6, -3, -2, 12, 8},  // source partly outside the bitmap
    };
    for (int bpp : {1, 4, 24}) {
        std::vector<COLORREF> palette = bpp == 1   ? ref::MonoPalette()
                                        : bpp == 4 ? ref::RandomPalette(16, rng)
                                                   : std::vector<COLORREF>{};
        for (const Case& c : cases) {
            Surface s(40, 20, bpp, false, rng, palette);
            Image before = s.Snapshot(), expected = before;
            RefBlt b;
            b.x = c.x, b.y = c.y, b.w = c.w, b.h = c.h, b.sx = c.sx, b.sy = c.sy, b.sw = c.sw, b.sh = c.sh;
            b.src = &before;
            RefApply(expected, b);
            EXPECT_TRUE(StretchBlt(s.dc, int(c.x), int(c.y), int(c.w), int(c.h), s.dc, int(c.sx), int(c.sy), int(c.sw),
                                   int(c.sh), SRCCOPY));
            ExpectSameBytes(expected, s, "bpp " + std::to_string(bpp) + " source x " + std::to_string(c.sx));
        }
    }
}

namespace {

// The largest single allocation since the last reset, seen through the sanitizers' allocation
// hooks (absent in a build without them).
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*)(const volatile void*, size_t),
                                                         void (*)(const volatile void*)) __attribute__((weak));
std::atomic<size_t> g_largestAllocation{0};
void NoteAllocation(const volatile void*, size_t size)
{
    size_t seen = g_largestAllocation.load();
    while (size > seen && !g_largestAllocation.compare_exchange_weak(seen, size)) {}
}
void NoteFree(const volatile void*) {}

bool AllocationHooksInstalled()
{
    static const bool installed = __sanitizer_install_malloc_and_free_hooks &&
                                  __sanitizer_install_malloc_and_free_hooks(NoteAllocation, NoteFree) != 0;
    return installed;
}

}  // namespace

// A small blit inside a large bitmap copies the source rectangle it reads, not the bitmap.
TEST(GdiBlt, BlitWithinOneBitmapCopiesOnlyItsSource)
{
    if (!AllocationHooksInstalled()) GTEST_SKIP() << "needs the sanitizers' allocation hooks";
    std::mt19937 rng(23);
    Surface s(4000, 4000, 24, true, rng);  // 48 MB
    const uint32_t before = s.Snapshot().Get(1234, 2345);
    g_largestAllocation = 0;
    ASSERT_TRUE(BitBlt(s.dc, 10, 10, 1, 1, s.dc, 1234, 2345, SRCCOPY));
    EXPECT_LT(g_largestAllocation.load(), size_t(64) << 10);
    EXPECT_EQ(s.Snapshot().Get(10, 10), before);
}

TEST(GdiBlt, StretchDIBitsReadsEveryDibFormat)
{
    std::mt19937 rng(13);
    const uint32_t masks565[3] = {0xF800, 0x07E0, 0x001F}, masks32[3] = {0x3FF00000, 0x000FFC00, 0x000003FF};
    struct Format {
        int bpp;
        const uint32_t* masks;
    };
    const Format formats[] = {{1, nullptr},   {4, nullptr},  {8, nullptr},  {16, nullptr},
                              {16, masks565}, {24, nullptr}, {32, nullptr}, {32, masks32}};
    struct Case {
        int x, y, w, h, sx, sy, sw, sh;
    };
    const Case cases[] = {{2, 1, 20, 9, 0, 0, 20, 9},
                          {1, 1, 25, 12, 3, 2, 10, 5},
                          {24, 12, -20, -10, 1, 1, 15, 7},
                          {0, 0, 13, 13, 19, 10, -17, -8}};
    for (const Format& f : formats) {
        for (bool topDown : {true, false}) {
            std::vector<COLORREF> palette = f.bpp <= 8 ? ref::RandomPalette(1 << f.bpp, rng) : std::vector<COLORREF>{};
            std::vector<uint8_t> packed = ref::PackedDib(21, 11, f.bpp, topDown, rng, palette, f.masks);
            Image source = ref::ImageOfPacked(packed);
            size_t header = 40 + (f.masks ? 12 : 0) + 4 * palette.size();
            for (int dstBpp : {24, 8}) {
                for (const Case& c : cases) {
                    Surface dst(30, 16, dstBpp, false, rng,
                                dstBpp == 8 ? ref::RandomPalette(256, rng) : std::vector<COLORREF>{});
                    RefBlt b;
                    b.x = c.x, b.y = c.y, b.w = c.w, b.h = c.h;
                    b.src = &source;
                    b.srcFromDc = false;
                    // A bottom-up DIB's source rectangle counts rows from the bottom.
                    b.sx = c.sx, b.sy = topDown ? c.sy : 11 - c.sy - c.sh, b.sw = c.sw, b.sh = c.sh;
                    b.rop = b.ropBack = 0xCC;
                    Image expected = dst.Snapshot();
                    RefApply(expected, b);
                    EXPECT_EQ(StretchDIBits(dst.dc, c.x, c.y, c.w, c.h, c.sx, c.sy, c.sw, c.sh, packed.data() + header,
                                            reinterpret_cast<const BITMAPINFO*>(packed.data()), DIB_RGB_COLORS,
                                            SRCCOPY),
                              std::abs(c.sh));
                    ExpectSameBytes(expected, dst,
                                    "src " + std::to_string(f.bpp) + (f.masks ? "bf" : "") +
                                        (topDown ? " top-down" : " bottom-up") + " dst " + std::to_string(dstBpp) +
                                        " case " + std::to_string(&c - cases));
                }
            }
        }
    }
}

TEST(GdiBlt, CreateDIBitmapTakesTheFormatOfTheDc)
{
    std::mt19937 rng(14);
    for (int dcBpp : {0, 1, 8, 24}) {
        std::vector<COLORREF> dcPalette = dcBpp == 1 ? ref::MonoPalette() : ref::RandomPalette(256, rng);
        Surface host(4, 4, dcBpp ? dcBpp : 24, true, rng, dcBpp && dcBpp <= 8 ? dcPalette : std::vector<COLORREF>{});
        for (int srcBpp : {1, 4, 24}) {
            std::vector<COLORREF> palette =
                srcBpp <= 8 ? ref::RandomPalette(1 << srcBpp, rng) : std::vector<COLORREF>{};
            std::vector<uint8_t> packed = ref::PackedDib(9, 5, srcBpp, false, rng, palette);
            Image source = ref::ImageOfPacked(packed);
            const BITMAPINFO* info = reinterpret_cast<const BITMAPINFO*>(packed.data());
            HBITMAP bitmap = CreateDIBitmap(dcBpp ? host.dc : nullptr, &info->bmiHeader, CBM_INIT,
                                            packed.data() + 40 + 4 * palette.size(), info, DIB_RGB_COLORS);
            ASSERT_NE(bitmap, nullptr);
            // Read it back by colour: copy into a 24-bit section from a DC whose format it has.
            Surface out(9, 5, 24, true, rng);
            HDC dc = CreateCompatibleDC(nullptr);
            HGDIOBJ old = SelectObject(dc, bitmap);
            if (dcBpp == 1) {  // a one-bit bitmap reads back through the text and background colours
                SetTextColor(out.dc, 0x000000);
                SetBkColor(out.dc, 0xFFFFFF);
            }
            ASSERT_TRUE(BitBlt(out.dc, 0, 0, 9, 5, dc, 0, 0, SRCCOPY));
            Image got = out.Snapshot();
            Image format = host.image;
            for (int y = 0; y < 5; ++y)
                for (int x = 0; x < 9; ++x) {
                    COLORREF c = source.Color(source.Get(x, y));
                    COLORREF want = dcBpp && dcBpp <= 8 ? format.palette[format.Nearest(c)] : c;
                    uint32_t v = got.Get(x, y);
                    EXPECT_EQ(RGB(v >> 16, (v >> 8) & 255, v & 255), want)
                        << dcBpp << " " << srcBpp << " " << x << "," << y;
                }
            SelectObject(dc, old);
            DeleteDC(dc);
            DeleteObject(bitmap);
        }
    }
}

TEST(GdiBlt, AlphaBlendRoundsExactly)
{
    std::mt19937 rng(15);
    // A 32-bit destination keeps an alpha byte of its own, blended by the same rule.
    for (int dstBpp : {24, 32})
        for (bool perPixel : {false, true}) {
            for (BYTE constant : {BYTE(0), BYTE(128), BYTE(255), BYTE(77)}) {
                Surface dst(12, 7, dstBpp, true, rng), src(6, 7, 32, false, rng);
                Image before = dst.Snapshot(), source = src.Snapshot();
                if (perPixel) {  // premultiplied: no channel above its alpha
                    for (int y = 0; y < 7; ++y)
                        for (int x = 0; x < 6; ++x) {
                            uint32_t v = source.Get(x, y), a = v >> 24;
                            uint32_t r = ((v >> 16) & 255) * a / 255, g = ((v >> 8) & 255) * a / 255,
                                     bl = (v & 255) * a / 255;
                            source.Set(x, y, a << 24 | r << 16 | g << 8 | bl);
                        }
                    std::copy(source.bytes.begin(), source.bytes.end(), src.bits);
                }
                BLENDFUNCTION bf{AC_SRC_OVER, 0, constant, BYTE(perPixel ? AC_SRC_ALPHA : 0)};
                HRGN clip = CreateRectRgn(0, 1, 9, 6);
                SelectClipRgn(dst.dc, clip);
                DeleteObject(clip);
                ASSERT_TRUE(AlphaBlend(dst.dc, 1, 0, 10, 7, src.dc, 1, 0, 5, 7, bf));
                Image expected = before;
                for (int y = 1; y < 6; ++y)
                    for (int x = 1; x < 9; ++x) {
                        uint32_t s = source.Get(1 + (2 * (x - 1) + 1) * 5 / 20, y), d = before.Get(x, y), out = 0;
                        uint32_t sa = s >> 24, a = (sa * constant + 127) / 255;
                        for (int shift : {0, 8, 16}) {
                            uint32_t sc = (s >> shift) & 255, dc = (d >> shift) & 255, v;
                            if (perPixel)
                                v = std::min<uint32_t>(255, (sc * constant + 127) / 255 + (dc * (255 - a) + 127) / 255);
                            else v = (sc * constant + dc * (255u - constant) + 127) / 255;
                            out |= v << shift;
                        }
                        if (dstBpp == 32) {
                            const uint32_t da = d >> 24;
                            out |= (perPixel ? std::min<uint32_t>(255, a + (da * (255 - a) + 127) / 255)
                                             : (sa * constant + da * (255u - constant) + 127) / 255)
                                   << 24;
                        }
                        expected.Set(x, y, out);
                    }
                ExpectSameBytes(expected, dst,
                                std::to_string(dstBpp) + (perPixel ? " bits, per-pixel " : " bits, constant ") +
                                    std::to_string(constant));
            }
        }
    Surface dst(4, 4, 24, true, rng), src24(4, 4, 24, true, rng);
    EXPECT_FALSE(
        AlphaBlend(dst.dc, 0, 0, 4, 4, src24.dc, 0, 0, 4, 4, BLENDFUNCTION{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA}));
    EXPECT_FALSE(AlphaBlend(dst.dc, 0, 0, 4, 4, src24.dc, 1, 0, 4, 4, BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0}));
    EXPECT_FALSE(AlphaBlend(dst.dc, 4, 0, -4, 4, src24.dc, 0, 0, 4, 4, BLENDFUNCTION{AC_SRC_OVER, 0, 255, 0}));
}

TEST(GdiBlt, TransparentBltLeavesTheTransparentColourOut)
{
    std::mt19937 rng(16);
    for (int srcBpp : {8, 24}) {
        std::vector<COLORREF> palette = srcBpp == 8 ? ref::RandomPalette(256, rng) : std::vector<COLORREF>{};
        Surface dst(20, 10, 24, true, rng), src(10, 5, srcBpp, true, rng, palette);
        Image source = src.Snapshot();
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 10; ++x) source.Set(x, y, (x + y) % 3 == 0 ? source.Get(0, 0) : source.Get(x, y));
        std::copy(source.bytes.begin(), source.bytes.end(), src.bits);
        COLORREF key = source.Color(source.Get(0, 0));
        TestClip clip;
        SelectClipRgn(dst.dc, clip.region);
        Image expected = dst.Snapshot();
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 20; ++x) {
                uint32_t s = source.Get(x / 2, y / 2);
                if (s != source.Nearest(key) && clip.inside(x, y))
                    expected.Set(x, y, expected.Nearest(source.Color(s)));
            }
        EXPECT_TRUE(TransparentBlt(dst.dc, 0, 0, 20, 10, src.dc, 0, 0, 10, 5, key));
        ExpectSameBytes(expected, dst, "bpp " + std::to_string(srcBpp));
        EXPECT_FALSE(TransparentBlt(dst.dc, 20, 0, -20, 10, src.dc, 0, 0, 10, 5, key));
    }
}

TEST(GdiBlt, WholeRowsWithoutPaddingTakeTheBlockPath)
{
    std::mt19937 rng(19);
    for (int bpp : {1, 8, 24, 32}) {
        const int width = bpp == 1 ? 64 : bpp == 8 ? 16 : bpp == 24 ? 8 : 5;  // rows without padding
        std::vector<COLORREF> palette = bpp == 1   ? ref::MonoPalette()
                                        : bpp == 8 ? ref::RandomPalette(256, rng)
                                                   : std::vector<COLORREF>{};
        for (int orientation = 0; orientation < 4; ++orientation) {
            for (uint8_t code : {uint8_t(0xCC), uint8_t(0xF0), uint8_t(0x00), uint8_t(0xFF)}) {
                for (int sy : {0, 3}) {
                    Surface dst(width, 12, bpp, orientation & 1, rng, palette);
                    Surface src(width, 15, bpp, orientation & 2, rng, palette);
                    COLORREF color = sy ? 0x808080 : 0x000000;  // a grey solid fills with one byte value
                    HBRUSH brush = CreateSolidBrush(color);
                    HGDIOBJ old = SelectObject(dst.dc, brush);
                    RefBlt b;
                    b.x = 0, b.y = 2, b.w = width, b.h = 9, b.sx = 0, b.sy = sy, b.sw = width, b.sh = 9;
                    b.color = color;
                    b.rop = b.ropBack = code;
                    Image source = src.Snapshot();
                    b.src = &source;
                    Image expected = dst.Snapshot();
                    RefApply(expected, b);
                    EXPECT_TRUE(BitBlt(dst.dc, 0, 2, width, 9, src.dc, 0, sy, DWORD(code) << 16));
                    ExpectSameBytes(expected, dst,
                                    "bpp " + std::to_string(bpp) + " orientation " + std::to_string(orientation) +
                                        " code " + std::to_string(code));
                    SelectObject(dst.dc, old);
                    DeleteObject(brush);
                }
            }
        }
    }
}

TEST(GdiBlt, SizesAndBitOffsetsOfPackedPixels)
{
    std::mt19937 rng(23);
    std::vector<uint8_t> packedPattern = ref::PackedDib(7, 3, 1, true, rng, ref::MonoPalette());
    Image pattern = ref::ImageOfPacked(packedPattern);
    HBRUSH brush = PatternBrush(packedPattern);
    for (int bpp : {1, 4}) {
        std::vector<COLORREF> palette = bpp == 1 ? ref::MonoPalette() : ref::RandomPalette(16, rng);
        for (int w : {1, 2, 3, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65}) {
            for (int dx : {0, 1, 5, 7}) {
                for (int sx : {0, 3, 5, 7}) {
                    for (uint8_t code : {uint8_t(0xCC), uint8_t(0x96), uint8_t(0xF0)}) {
                        Surface dst(80, 3, bpp, true, rng, palette), src(80, 3, bpp, false, rng, palette);
                        HGDIOBJ old = SelectObject(dst.dc, brush);
                        SetBrushOrgEx(dst.dc, sx, 1, nullptr);
                        RefBlt b;
                        b.x = dx, b.y = 0, b.w = w, b.h = 3, b.sx = sx, b.sy = 0, b.sw = w, b.sh = 3;
                        b.pattern = &pattern;
                        b.org = {sx, 1};
                        b.rop = b.ropBack = code;
                        Image source = src.Snapshot();
                        b.src = &source;
                        Image expected = dst.Snapshot();
                        RefApply(expected, b);
                        EXPECT_TRUE(BitBlt(dst.dc, dx, 0, w, 3, src.dc, sx, 0, DWORD(code) << 16));
                        ExpectSameBytes(expected, dst,
                                        "bpp " + std::to_string(bpp) + " w " + std::to_string(w) + " dx " +
                                            std::to_string(dx) + " sx " + std::to_string(sx) + " code " +
                                            std::to_string(code));
                        SelectObject(dst.dc, old);
                    }
                }
            }
        }
    }
    DeleteObject(brush);
}
