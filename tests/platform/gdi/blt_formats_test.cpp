// Blits between formats against the per-pixel reference: every DIB format StretchDIBits reads,
// bitmaps in the format of their DC, alpha blending and transparent colours, whole rows without
// padding and packed pixels at every bit offset, and a blit inside one bitmap that copies only
// what it reads.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>

#include "blt_reference.h"

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
