#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"

namespace {

struct SurfaceDeleter {
    void operator()(BandSurface* s) const { BandSurfaceDestroy(s); }
};
using SurfacePtr = std::unique_ptr<BandSurface, SurfaceDeleter>;

SurfacePtr Make(uint32_t kind, LONG w, LONG h, uint32_t minimum = 0)
{
    return SurfacePtr(BandSurfaceCreate(kind, SIZE{w, h}, nullptr, 0, minimum));
}

bool Bit(const BandSurface* s, uint32_t x, uint32_t y) { return (s->bits[y * s->stride + x / 8] >> (7 - x % 8)) & 1; }

TEST(BandSurface, StridesBytesAndKinds)
{
    auto mask = Make(BAND_SURFACE_MASK, 100, 3);
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->bitsPerPixel, 1u);
    EXPECT_EQ(mask->stride, 16u);
    EXPECT_EQ(mask->bytes, 48u);
    auto color = Make(BAND_SURFACE_COLOR, 100, 3);
    ASSERT_TRUE(color);
    EXPECT_EQ(color->bitsPerPixel, 24u);
    EXPECT_EQ(color->stride, 300u);
    // A minimum byte count raises the rows to whole rows that cover it.
    auto tall = Make(BAND_SURFACE_COLOR, 10, 2, 1000);
    ASSERT_TRUE(tall);
    EXPECT_EQ(tall->stride, 32u);
    EXPECT_EQ(tall->bytes, 1024u);
    EXPECT_EQ(tall->height, 2u);
    EXPECT_FALSE(Make(3, 10, 10));
    EXPECT_FALSE(Make(BAND_SURFACE_MASK, 0, 10));
    EXPECT_FALSE(Make(BAND_SURFACE_MASK, 10, 0));
}

TEST(BandSurface, BitsInAFileMapping)
{
    const std::string path = testing::TempDir() + "band_surface_mapping.bin";
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    HANDLE mapping = CreateFileMappingA(file, nullptr, PAGE_READWRITE, 0, 8192, nullptr);
    ASSERT_NE(mapping, nullptr);
    {
        auto s = SurfacePtr(BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{64, 4}, mapping, 4096, 0));
        ASSERT_TRUE(s);
        const RECT r{8, 1, 16, 2};
        BandMaskRectsSet(s.get(), 1, &r);
        auto* view = static_cast<uint8_t*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 8192));
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view[4096 + 8 + 1], 0xFF);  // row 1, second byte
        UnmapViewOfFile(view);
    }
    CloseHandle(mapping);
    CloseHandle(file);
}

TEST(BandSurface, ClearValuesAndGdiDrawsIntoTheBits)
{
    auto mask = Make(BAND_SURFACE_MASK, 40, 4);
    auto color = Make(BAND_SURFACE_COLOR, 5, 4);
    ASSERT_TRUE(mask && color);
    std::memset(mask->bits, 0x5A, mask->bytes);
    std::memset(color->bits, 0x5A, color->bytes);
    BandSurfaceClear(mask.get(), SIZE{40, 4});
    BandSurfaceClear(color.get(), SIZE{5, 3});
    for (uint32_t i = 0; i < mask->bytes; ++i) ASSERT_EQ(mask->bits[i], 0x00) << i;
    // Five 24-bit pixels clear 16 bytes of each of the first three rows.
    for (uint32_t y = 0; y < 4; ++y)
        for (uint32_t i = 0; i < color->stride; ++i)
            ASSERT_EQ(color->bits[y * color->stride + i], (y < 3 && i < 16) ? 0xFF : 0x5A) << y << "," << i;

    // Drawing through the DC lands in the bits; the drawing DC maps page to band by its viewport.
    BandSurfaceClear(color.get(), SIZE{5, 4});
    ASSERT_TRUE(PatBlt(color->drawDC, 1, 2, 2, 1, BLACKNESS));
    for (uint32_t x = 0; x < 5; ++x)
        EXPECT_EQ(color->bits[2 * color->stride + x * 3], (x == 1 || x == 2) ? 0 : 0xFF) << x;
    ASSERT_TRUE(PatBlt(mask->drawDC, 0, 0, 3, 1, WHITENESS));
    EXPECT_EQ(mask->bits[0], 0xE0);
}

TEST(BandSurface, MaskPainterGoldenPatterns)
{
    auto s = Make(BAND_SURFACE_MASK, 96, 2);
    ASSERT_TRUE(s);
    RECT r{3, 0, 5, 1};
    BandMaskRectInvert(s.get(), &r);
    EXPECT_EQ(s->bits[0], 0x18);
    for (uint32_t i = 1; i < s->bytes; ++i) ASSERT_EQ(s->bits[i], 0) << i;

    BandSurfaceClear(s.get(), SIZE{96, 2});
    r = RECT{0, 1, 64, 2};
    BandMaskRectsSet(s.get(), 1, &r);
    for (uint32_t i = 0; i < 12; ++i) EXPECT_EQ(s->bits[s->stride + i], i < 8 ? 0xFF : 0x00) << i;
    EXPECT_EQ(s->bits[0], 0);

    BandSurfaceClear(s.get(), SIZE{96, 2});
    r = RECT{30, 0, 34, 1};
    BandMaskRectsInvert(s.get(), 1, &r);
    const uint8_t expected[8] = {0, 0, 0, 0x03, 0xC0, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(s->bits, expected, 8));
}

// Every painter against a per-pixel reference, with rectangles that reach past every edge, empty
// and inverted ones among them.
TEST(BandSurface, MaskPaintersMatchPerPixelReferenceClippedToSurface)
{
    std::mt19937 random(7);
    std::uniform_int_distribution<int> coord(-40, 140);
    for (uint32_t width : {1u, 31u, 32u, 33u, 77u, 100u}) {
        auto s = Make(BAND_SURFACE_MASK, static_cast<LONG>(width), 9);
        ASSERT_TRUE(s);
        std::vector<uint8_t> reference(s->bytes, 0);
        auto refBit = [&](uint32_t x, uint32_t y) -> uint8_t& { return reference[y * s->stride + x / 8]; };
        for (int round = 0; round < 300; ++round) {
            RECT rects[3];
            for (RECT& r : rects) r = RECT{coord(random), coord(random) / 8, coord(random), coord(random) / 8};
            const int painter = round % 4;
            const uint32_t count = painter == 0 ? 1 : 3;
            for (uint32_t i = 0; i < count; ++i) {
                const RECT& r = rects[i];
                for (int64_t y = std::max<int64_t>(r.top, 0); y < std::min<int64_t>(r.bottom, 9); ++y)
                    for (int64_t x = std::max<int64_t>(r.left, 0); x < std::min<int64_t>(r.right, width); ++x) {
                        const uint8_t bit = static_cast<uint8_t>(0x80u >> (x % 8));
                        uint8_t& byte = refBit(static_cast<uint32_t>(x), static_cast<uint32_t>(y));
                        byte = painter == 3 ? (byte | bit) : (byte ^ bit);
                    }
            }
            switch (painter) {
                case 0: BandMaskRectInvert(s.get(), &rects[0]); break;
                case 1: BandMaskRectsInvertEach(s.get(), count, rects); break;
                case 2: BandMaskRectsInvert(s.get(), count, rects); break;
                default: BandMaskRectsSet(s.get(), count, rects); break;
            }
            ASSERT_EQ(0, std::memcmp(reference.data(), s->bits, s->bytes))
                << "width " << width << " round " << round << " painter " << painter;
        }
    }
}

TEST(BandSurface, BlendRoundsExactly)
{
    auto destination = Make(BAND_SURFACE_COLOR, 3, 1);
    auto source = Make(BAND_SURFACE_COLOR, 3, 1);
    auto mask = Make(BAND_SURFACE_MASK, 3, 1);
    ASSERT_TRUE(destination && source && mask);
    struct Case {
        uint8_t s, d, a, result;
    };
    // Alpha 255 keeps the source and alpha 0 the destination; 128 of 255 over 0 rounds to 128.
    for (const Case c : {Case{255, 0, 255, 255}, Case{255, 255, 0, 255}, Case{255, 0, 128, 128}, Case{0, 200, 0, 200},
                         Case{10, 20, 1, 20}, Case{100, 0, 127, 50}}) {
        std::memset(source->bits, c.s, source->bytes);
        std::memset(destination->bits, c.d, destination->bytes);
        mask->bits[0] = 0xA0;  // pixels 0 and 2
        BandSurfaceBlend(destination.get(), mask.get(), source.get(), SIZE{3, 1}, c.a);
        for (uint32_t i = 0; i < 9; ++i)
            EXPECT_EQ(destination->bits[i], (i / 3 == 1) ? c.d : c.result)
                << "s " << int(c.s) << " d " << int(c.d) << " a " << int(c.a) << " byte " << i;
    }
}

TEST(BandSurface, MaskedBlendMatchesReference)
{
    const LONG w = 45, h = 7;
    auto destination = Make(BAND_SURFACE_COLOR, w, h);
    auto source = Make(BAND_SURFACE_COLOR, w, h);
    auto mask = Make(BAND_SURFACE_MASK, w, h);
    ASSERT_TRUE(destination && source && mask);
    std::mt19937 random(3);
    for (uint32_t i = 0; i < source->bytes; ++i) source->bits[i] = static_cast<uint8_t>(random());
    for (uint32_t i = 0; i < destination->bytes; ++i) destination->bits[i] = static_cast<uint8_t>(random());
    for (uint32_t i = 0; i < mask->bytes; ++i) mask->bits[i] = (i % 5 == 0) ? 0 : static_cast<uint8_t>(random());
    std::vector<uint8_t> expected(destination->bits, destination->bits + destination->bytes);
    const uint32_t a = 77;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x) {
            if (!Bit(mask.get(), x, y)) continue;
            for (int c = 0; c < 3; ++c) {
                uint8_t& d = expected[y * destination->stride + x * 3 + c];
                d = static_cast<uint8_t>((source->bits[y * source->stride + x * 3 + c] * a + d * (255 - a) + 127) /
                                         255);
            }
        }
    BandSurfaceBlendMasked(destination.get(), mask.get(), source.get(), w + 10, h + 3, a);
    EXPECT_EQ(0, std::memcmp(expected.data(), destination->bits, destination->bytes));
}

TEST(BandSurface, ResetPutsBackWhatDrawingSelected)
{
    auto s = Make(BAND_SURFACE_COLOR, 16, 4);
    ASSERT_TRUE(s);
    HBRUSH brush = CreateSolidBrush(0x0000FF);
    HRGN clip = CreateRectRgn(0, 0, 2, 2);
    ASSERT_TRUE(brush && clip);
    SelectObject(s->drawDC, brush);
    SelectClipRgn(s->drawDC, clip);
    s->selectedBrush = brush;
    s->selectedClip = clip;
    s->selectedOther = clip;
    EXPECT_FALSE(DeleteObject(brush));  // still selected
    BandSurfaceResetDC(s.get());
    EXPECT_EQ(s->selectedBrush, nullptr);
    EXPECT_EQ(s->selectedClip, nullptr);
    EXPECT_EQ(s->selectedOther, nullptr);
    EXPECT_TRUE(DeleteObject(brush));
    RECT box{};
    GetClipBox(s->drawDC, &box);
    EXPECT_EQ(box.right - box.left, 16);

    // A pen and a changed miter limit are put back as well.
    EXPECT_EQ(s->miterLimit, 10.0f);
    HPEN pen = CreatePen(0 /* PS_SOLID */, 3, 0x00FF00);
    ASSERT_NE(pen, nullptr);
    SelectObject(s->drawDC, pen);
    SetMiterLimit(s->drawDC, 3.0f, nullptr);
    s->selectedPen = pen;
    s->miterLimitChanged = 1;
    EXPECT_FALSE(DeleteObject(pen));
    BandSurfaceResetDCBeforeClip(s.get(), nullptr);
    EXPECT_EQ(s->selectedPen, nullptr);
    EXPECT_EQ(s->miterLimitChanged, 0);
    float limit = 0;
    ASSERT_TRUE(GetMiterLimit(s->drawDC, &limit));
    EXPECT_EQ(limit, 10.0f);
    EXPECT_TRUE(DeleteObject(pen));

    // A bitmap left in the second DC is selected out on destruction, so it can be deleted.
    auto other = Make(BAND_SURFACE_MASK, 8, 8);
    ASSERT_TRUE(other);
    HBRUSH second = CreateSolidBrush(0);
    SelectObject(s->drawDC, second);
    s->selectedBrush = second;
    s.reset();
    EXPECT_TRUE(DeleteObject(second));
    DeleteObject(clip);
}

TEST(BandSurface, MappedDcRecord)
{
    DcMapping record{};
    const DcMap map{{10, 20}, {2, 2}, {5, 6}, {1, 1}};
    ASSERT_TRUE(DcCreateMapped(&record, true, &map));
    ASSERT_NE(record.dc, nullptr);
    EXPECT_EQ(GetMapMode(record.dc), MM_ANISOTROPIC);
    POINT p{30, 40};
    LPtoDP(record.dc, &p, 1);
    EXPECT_EQ(p.x, 15);  // (30 - 10) / 2 + 5
    EXPECT_EQ(p.y, 16);
    const DcMap identity{{0, 0}, {1, 1}, {0, 0}, {1, 1}};
    DcMappingSet(&identity, &record);
    p = POINT{30, 40};
    LPtoDP(record.dc, &p, 1);
    EXPECT_EQ(p.x, 30);
    DcDelete(&record);
    EXPECT_EQ(record.dc, nullptr);
    DcMapping plain{};
    ASSERT_TRUE(DcCreateMapped(&plain, false, nullptr));
    EXPECT_EQ(plain.dc, nullptr);
}

}  // namespace
