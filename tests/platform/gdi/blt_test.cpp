// Fills and blits against the per-pixel reference: every ternary code on 1- and 24-bit bitmaps,
// every depth pair, stretching and mirroring under mapping modes, masks and clip regions. The
// whole destination storage (row padding included) is compared, so a byte written outside the
// destination rectangle or the clip fails the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "blt_reference.h"

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
