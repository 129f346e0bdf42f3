// The worked examples: the 5-to-8-bit widening, 16-bit conversions, nearest-pixel sampling,
// sub-byte addressing, and what the combining blocks do with repeated rows and the row cache.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "engine/stretch/stretch_blt.h"
#include "tests/engine/stretch/stretch_harness.h"

namespace {

using namespace stretch_test;

struct Image {
    std::vector<uint8_t> bytes;
    BltBitmap bitmap{};
    Image(int bpp, int width, int height, int stride, std::vector<uint8_t> init = {}, const uint8_t* palette = nullptr)
    {
        bytes = init;
        bytes.resize(size_t(stride) * height);
        bitmap = BltBitmap{bytes.data(), stride, 0, 0, width, height, bpp, palette};
    }
};

void Blit(Image& dest, const Image& source, RECT rect, std::vector<RECT> clips, RasterRop3 rop)
{
    RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &rect, clips.data(), int(clips.size()), rop, 0);
}

TEST(StretchGolden, Expand5To8)
{
    const uint8_t want[32] = {0,   8,   16,  24,  32,  41,  49,  57,  65,  74,  82,  90,  98,  106, 115, 123,
                              131, 139, 148, 156, 164, 172, 180, 189, 197, 205, 213, 222, 230, 238, 246, 255};
    for (int i = 0; i < 32; ++i) {
        EXPECT_EQ(Expand5To8[i], want[i]) << i;
        EXPECT_EQ(Expand5To8[i], i * 255 / 31) << i;
    }
    EXPECT_EQ(Expand5To8[4], 32);  // truncated, not rounded
    EXPECT_EQ(Expand5To8[8], 65);  // not the top bits repeated
}

TEST(StretchGolden, SixteenBitPixels)
{
    const std::vector<uint8_t> pixels = {0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00, 0x04, 0x00, 0x00};
    const Image source(16, 5, 1, 12, pixels);
    struct Case {
        RasterRop3 rop;
        std::array<uint8_t, 15> want;
    };
    const Case to24[] = {
        {0xCC, {255, 255, 255, 255, 255, 255, 8, 0, 0, 0, 0, 8, 0, 0, 0}},
        {0x33, {0, 0, 0, 0, 0, 0, 247, 255, 255, 255, 255, 247, 255, 255, 255}},
    };
    for (const Case& c : to24) {
        Image dest(24, 5, 1, 16, std::vector<uint8_t>(16, 0xA5));
        Blit(dest, source, {0, 0, 5, 1}, {{0, 0, 5, 1}}, c.rop);
        EXPECT_EQ(0, memcmp(dest.bytes.data(), c.want.data(), 15)) << c.rop;
        EXPECT_EQ(dest.bytes[15], 0xA5);  // the byte after the last 24-bit pixel
    }
    // 16To16 keeps bit 15, also when inverting and combining.
    Image dest(16, 5, 1, 12, std::vector<uint8_t>(12, 0xA5));
    Blit(dest, source, {0, 0, 5, 1}, {{0, 0, 5, 1}}, 0xCC);
    EXPECT_EQ(0, memcmp(dest.bytes.data(), pixels.data(), 10));
    Blit(dest, source, {0, 0, 5, 1}, {{0, 0, 5, 1}}, 0x33);
    EXPECT_EQ(dest.bytes[2], 0x00);  // 0x7FFF becomes 0x8000
    EXPECT_EQ(dest.bytes[3], 0x80);
    EXPECT_EQ(dest.bytes[8], 0xFF);  // 0x0000 becomes 0xFFFF
    EXPECT_EQ(dest.bytes[9], 0xFF);
    std::vector<uint8_t> ones(12, 0xFF);
    Image anded(16, 5, 1, 12, ones);
    Blit(anded, source, {0, 0, 5, 1}, {{0, 0, 5, 1}}, 0x88);
    EXPECT_EQ(anded.bytes[3], 0x7F);  // bit 15 cleared where the source's is clear
}

// 8To8 sources whose pixel value is their column, so a row shows which columns were taken.
std::vector<int> SampledColumns(int sourceWidth, RECT rect, RECT clip, int destWidth = 8)
{
    std::vector<uint8_t> columns(8);
    for (int i = 0; i < 8; ++i) columns[i] = uint8_t(i);
    const Image source(8, sourceWidth, 1, 8, columns);
    Image dest(8, destWidth, 1, 8, std::vector<uint8_t>(8, 0xEE));
    Blit(dest, source, rect, {clip}, 0xCC);
    std::vector<int> got;
    for (int i = 0; i < destWidth; ++i) got.push_back(dest.bytes[i] == 0xEE ? -1 : dest.bytes[i]);
    return got;
}

TEST(StretchGolden, SamplingExamples)
{
    const RECT all{0, 0, 8, 1};
    EXPECT_EQ(SampledColumns(3, {0, 0, 5, 1}, all), (std::vector<int>{0, 0, 1, 1, 2, -1, -1, -1}));
    EXPECT_EQ(SampledColumns(5, {0, 0, 3, 1}, all), (std::vector<int>{0, 1, 3, -1, -1, -1, -1, -1}));
    EXPECT_EQ(SampledColumns(4, {0, 0, 4, 1}, all), (std::vector<int>{0, 1, 2, 3, -1, -1, -1, -1}));
    EXPECT_EQ(SampledColumns(3, {5, 0, 0, 1}, all), (std::vector<int>{2, 1, 1, 0, 0, -1, -1, -1}));
    EXPECT_EQ(SampledColumns(3, {5, 0, 0, 1}, {0, 0, 3, 1}), (std::vector<int>{2, 1, 1, -1, -1, -1, -1, -1}));
}

TEST(StretchGolden, RowsOfAVerticalEnlargement)
{
    // Source rows 0 and 1 onto 5 rows: 0, 0, 0, 1, 1; mirrored the bottom row takes row 0.
    std::vector<uint8_t> palette(1024);
    for (int i = 0; i < 256; ++i) palette[4 * i] = uint8_t(i), palette[4 * i + 3] = uint8_t(~i);
    const Image source(8, 1, 2, 4, {10, 0, 0, 0, 20, 0, 0, 0}, palette.data());
    for (bool mirror : {false, true}) {
        Image dest(32, 1, 5, 4);
        Blit(dest, source, mirror ? RECT{0, 5, 1, 0} : RECT{0, 0, 1, 5}, {{0, 0, 1, 5}}, 0xCC);
        const int want[2][5] = {{10, 10, 10, 20, 20}, {20, 20, 10, 10, 10}};
        for (int row = 0; row < 5; ++row) {
            EXPECT_EQ(dest.bytes[4 * row], want[mirror][row]) << row;
            EXPECT_EQ(dest.bytes[4 * row + 3], uint8_t(~want[mirror][row])) << row;
        }
    }
    // A bottom-up source with a negative height gives the same picture.
    const Image topDown(8, 1, 2, 4, {10, 0, 0, 0, 20, 0, 0, 0}, palette.data());
    Image bottomUp(8, 1, 2, 4, {20, 0, 0, 0, 10, 0, 0, 0}, palette.data());
    bottomUp.bitmap.bits = bottomUp.bytes.data() + 4;
    bottomUp.bitmap.stride = -4;
    bottomUp.bitmap.height = -2;
    Image a(32, 1, 5, 4), b(32, 1, 5, 4);
    Blit(a, topDown, {0, 0, 1, 5}, {{0, 0, 1, 5}}, 0xCC);
    Blit(b, bottomUp, {0, 0, 1, 5}, {{0, 0, 1, 5}}, 0xCC);
    EXPECT_EQ(a.bytes, b.bytes);
}

TEST(StretchGolden, SubBytePixelAddressing)
{
    std::vector<uint8_t> palette(1024, 0);
    for (int i = 0; i < 4; ++i) palette[4 + i] = 255;  // entry 1 all ones
    palette[4 * 5] = 0x55, palette[4 * 10] = 0xAA;  // entries 5 and 10
    // 0xB0: pixels 1, 0, 1, 1 onto 32 bits.
    const Image ones(1, 4, 1, 4, {0xB0, 0, 0, 0}, palette.data());
    Image dest32(32, 4, 1, 16, std::vector<uint8_t>(16, 0x11));
    Blit(dest32, ones, {0, 0, 4, 1}, {{0, 0, 4, 1}}, 0xCC);
    const uint32_t want32[4] = {0xFFFFFFFF, 0, 0xFFFFFFFF, 0xFFFFFFFF};
    EXPECT_EQ(0, memcmp(dest32.bytes.data(), want32, 16));
    // 0x5A: entries 5 and 10 onto 8 bits.
    const Image nibbles(4, 2, 1, 4, {0x5A, 0, 0, 0}, palette.data());
    Image dest8(8, 2, 1, 4);
    Blit(dest8, nibbles, {0, 0, 2, 1}, {{0, 0, 2, 1}}, 0xCC);
    EXPECT_EQ(dest8.bytes[0], 0x55);
    EXPECT_EQ(dest8.bytes[1], 0xAA);
    // Column 37 is bit 5 (from the top) of word 1: byte 4, mask 0x04.
    Image at37(1, 40, 1, 8, {0, 0, 0, 0, 0x04, 0, 0, 0}, palette.data());
    at37.bitmap.x = 37;
    at37.bitmap.width = 3;
    Image row(8, 3, 1, 4);
    Blit(row, at37, {0, 0, 3, 1}, {{0, 0, 3, 1}}, 0xCC);
    EXPECT_EQ(row.bytes[0], 0xFF);
    EXPECT_EQ(row.bytes[1], 0);
    EXPECT_EQ(row.bytes[2], 0);
}

TEST(StretchGolden, MirroredOneBitCopyAcrossAWordBoundary)
{
    // Source columns 0 to 4 (1, 0, 1, 1, 0) onto columns 30 to 34 mirrored: 34, 33, 32, 31, 30.
    const Image source(1, 5, 1, 4, {0xB0, 0, 0, 0});
    for (uint8_t fill : {uint8_t(0x00), uint8_t(0xFF)}) {
        Image dest(1, 64, 1, 8, std::vector<uint8_t>(8, fill));
        Blit(dest, source, {35, 0, 30, 1}, {{0, 0, 64, 1}}, 0xCC);
        for (int x = 0; x < 64; ++x) {
            const int bit = (dest.bytes[x / 8] >> (7 - x % 8)) & 1;
            int want = fill ? 1 : 0;
            if (x >= 30 && x <= 34) want = (0xB0 >> (7 - (34 - x))) & 1;
            EXPECT_EQ(bit, want) << x;
        }
    }
}

TEST(StretchGolden, InvertedPaletteEntryOntoThirtyTwoBits)
{
    std::vector<uint8_t> palette(1024, 0);
    palette[0] = 0x10, palette[1] = 0x20, palette[2] = 0x30, palette[3] = 0;
    const Image source(8, 1, 1, 4, {0}, palette.data());
    Image dest(32, 1, 1, 4);
    Blit(dest, source, {0, 0, 1, 1}, {{0, 0, 1, 1}}, 0x33);
    EXPECT_EQ(dest.bytes, (std::vector<uint8_t>{0xEF, 0xDF, 0xCF, 0xFF}));
    // 0x88 keeps a fourth byte of 0, 0x66 leaves it, a copy value sets the entry's.
    Image anded(32, 1, 1, 4, {0xFF, 0xFF, 0xFF, 0xFF});
    Blit(anded, source, {0, 0, 1, 1}, {{0, 0, 1, 1}}, 0x88);
    EXPECT_EQ(anded.bytes, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00}));
    Image xored(32, 1, 1, 4, {0, 0, 0, 0x77});
    Blit(xored, source, {0, 0, 1, 1}, {{0, 0, 1, 1}}, 0x66);
    EXPECT_EQ(xored.bytes, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x77}));
    Image copied(32, 1, 1, 4, {0, 0, 0, 0x77});
    Blit(copied, source, {0, 0, 1, 1}, {{0, 0, 1, 1}}, 0x166);
    EXPECT_EQ(copied.bytes, (std::vector<uint8_t>{0x10, 0x20, 0x30, 0x00}));
}

// Every group and member of the combining blocks, under vertical enlargement by 3 with two
// overlapping clips: XOR twice gives the destination back, OR twice equals OR once.
TEST(StretchGolden, XorTwiceRestoresAndPaintTwiceEqualsOnce)
{
    for (int group = 0; group < kStretchGroupCount; ++group) {
        for (int member = 0; member < kStretchMemberCount; ++member) {
            const GroupInfo& g = kGroups[group];
            SCOPED_TRACE(testing::Message() << g.name << " member " << member);
            std::mt19937 rng(group * 6 + member);
            const int sw = 13, w = member < 2 ? 13 : member < 4 ? 29 : 7;
            SourceImage source(g.sourceBpp, 3, 1, sw, 4, 1, member % 2, rng);
            if (g.palette) source.bitmap.palette = source.palette.data();
            DestImage dest(g.destBpp, w + 10, 20, false, rng);
            const RECT given = member % 2 ? RECT{2 + w, 3, 2, 15} : RECT{2, 3, 2 + w, 15};
            const RECT clips[2] = {{0, 0, 2 + w / 2 + 1, 9}, {3, 5, 2 + w, 15}};
            const std::vector<uint8_t> before = dest.bytes;
            for (int pass = 0; pass < 2; ++pass) {
                RECT r = given;
                RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &r, clips, 2, 0x66, 0);
            }
            EXPECT_EQ(dest.bytes, before);
            RECT r = given;
            RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &r, clips, 2, 0xEE, 0);
            const std::vector<uint8_t> once = dest.bytes;
            RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &r, clips, 2, 0xEE, 0);
            EXPECT_EQ(dest.bytes, once);
        }
    }
}

// Rows wider than the row cache's stack part take it from the heap, with the same pixels.
TEST(StretchGolden, WideRowCache)
{
    struct Case {
        int group;
        int width;
    };
    const Case cases[] = {{StretchGroupPal8To32, 3000},
                          {StretchGroup24To24, 2000},
                          {StretchGroup1To1, 40000},
                          {StretchGroup4To4, 9000}};
    for (const Case& c : cases) {
        for (RasterRop3 rop : {RasterRop3(0xEE), RasterRop3(0x66), RasterRop3(0x88), RasterRop3(0xB8)}) {
            const GroupInfo& g = kGroups[c.group];
            SCOPED_TRACE(testing::Message() << g.name << " rop " << rop);
            std::mt19937 rng(c.width + rop);
            SourceImage source(g.sourceBpp, 1, 0, c.width / 2, 2, 0, false, rng);
            if (g.palette) source.bitmap.palette = source.palette.data();
            DestImage dest(g.destBpp, c.width + 2, 6, false, rng);
            const RECT given{c.width + 1, 0, 1, 6};
            const RECT clips[2] = {{0, 0, c.width + 2, 3}, {c.width / 3, 2, c.width + 2, 6}};
            std::vector<uint8_t> expected = dest.bytes;
            BltBitmap expectedBitmap = dest.bitmap;
            expectedBitmap.bits = expected.data() + (static_cast<uint8_t*>(dest.bitmap.bits) - dest.bytes.data());
            ReferenceStretch(expectedBitmap, source.bitmap, given, clips, 2, rop);
            RECT r = given;
            RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &r, clips, 2, rop, 0);
            EXPECT_TRUE(dest.bytes == expected);
        }
    }
}

// Clips under vertical enlargement: a clip whose first row repeats the source row of the
// previous clip's last row still reads the source for its own columns.
TEST(StretchGolden, EachClipReadsItsOwnColumns)
{
    std::vector<uint8_t> palette(1024);
    for (int i = 0; i < 1024; ++i) palette[i] = uint8_t(i * 7);
    std::vector<uint8_t> pixels(16);
    for (int i = 0; i < 16; ++i) pixels[i] = uint8_t(i);
    const Image source(8, 8, 2, 8, pixels, palette.data());
    for (RasterRop3 rop : {RasterRop3(0xCC), RasterRop3(0x33), RasterRop3(0xEE), RasterRop3(0x66)}) {
        std::mt19937 rng(rop);
        DestImage dest(24, 8, 6, false, rng);
        const RECT rect{0, 0, 8, 6};  // rows 0-2 from source row 0, rows 3-5 from row 1
        const RECT clips[2] = {{0, 0, 3, 2}, {4, 1, 8, 6}};
        std::vector<uint8_t> expected = dest.bytes;
        BltBitmap expectedBitmap = dest.bitmap;
        expectedBitmap.bits = expected.data() + (static_cast<uint8_t*>(dest.bitmap.bits) - dest.bytes.data());
        ReferenceStretch(expectedBitmap, source.bitmap, rect, clips, 2, rop);
        RECT r = rect;
        RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &r, clips, 2, rop, 0);
        EXPECT_EQ(dest.bytes, expected) << rop;
    }
}

}  // namespace

namespace {

// The inverted copy is its own inverse: applied twice in a format that keeps every value, with
// the source at a sub-byte column and the span mirrored or not, it gives back the source.
TEST(StretchGolden, InvertedCopyTwiceGivesBackTheSource)
{
    std::mt19937 rng(41);
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        for (bool mirror : {false, true}) {
            const int width = 45, height = 3, stride = (width * bpp + 31) / 32 * 4;
            std::vector<uint8_t> random(size_t(stride) * height);
            for (uint8_t& b : random) b = uint8_t(rng());
            Image source(bpp, width, height, stride, random), once(bpp, width, height, stride),
                twice(bpp, width, height, stride);
            if (bpp == 16)  // the fifth bit of each byte pair's top is not a 5-5-5 value
                for (size_t i = 1; i < random.size(); i += 2) source.bytes[i] &= 0x7F;
            source.bitmap.x = 3;
            source.bitmap.width = width - 3;
            const RECT span = mirror ? RECT{width - 3, 0, 0, height} : RECT{0, 0, width - 3, height};
            const RECT all{0, 0, width, height};
            Blit(once, source, span, {all}, 0x33);
            once.bitmap.width = width - 3;
            Blit(twice, once, span, {all}, 0x33);
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width - 3; ++x)
                    ASSERT_EQ(ReadPixel(twice.bitmap, x, y), ReadPixel(source.bitmap, x + 3, y))
                        << "bpp " << bpp << " mirror " << mirror << " at " << x << "," << y;
        }
    }
}

}  // namespace
