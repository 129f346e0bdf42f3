// Which kernel the dispatcher picks, as a table index, and that the caller's rectangle comes back
// as given on every path.
#include <gtest/gtest.h>

#include <vector>

#include "engine/stretch/stretch_kernels.h"

namespace {

constexpr int Index(int block, int group, int member) { return 102 * block + 6 * group + member; }

struct Bitmaps {
    std::vector<uint8_t> palette = std::vector<uint8_t>(1024, 0x5A);
    BltBitmap dest{nullptr, 0, 0, 0, 0, 0, 32, nullptr};
    BltBitmap source{nullptr, 0, 0, 0, 100, 100, 8, nullptr};
    Bitmaps(int sourceBpp, bool withPalette, int destBpp)
    {
        source.bpp = sourceBpp;
        source.palette = withPalette ? palette.data() : nullptr;
        dest.bpp = destBpp;
    }
};

int Select(int sourceBpp, bool palette, int destBpp, RasterRop3 rop = 0xCC, int width = 100, uint32_t xMirror = 0)
{
    Bitmaps b(sourceBpp, palette, destBpp);
    const RECT rect{0, 0, width, 100};
    return StretchKernelSelect(&b.dest, &b.source, &rect, rop, xMirror);
}

TEST(StretchSelect, TableEntriesCarryTheirNames)
{
    EXPECT_EQ(StretchKernelTable[0], &RasterStretchCopyPal1To32);
    EXPECT_EQ(StretchKernelTable[5], &RasterStretchCopyPal1To32ShrinkMirror);
    EXPECT_EQ(StretchKernelTable[Index(0, StretchGroupPal8To32, 0)], &RasterStretchCopyPal8To32);
    EXPECT_EQ(StretchKernelTable[Index(0, StretchGroupPal8To32, 1)], &RasterStretchCopyPal8To32Mirror);
    EXPECT_EQ(StretchKernelTable[Index(1, StretchGroup8To8, 1)], &RasterStretchNotCopy8To8Mirror);
    EXPECT_EQ(StretchKernelTable[Index(2, StretchGroupPal8To24, 3)], &RasterStretchPaintPal8To24GrowMirror);
    EXPECT_EQ(StretchKernelTable[Index(3, StretchGroup4To4, 3)], &RasterStretchRop4To4GrowMirror);
    EXPECT_EQ(StretchKernelTable[Index(3, StretchGroup16To24, 4)], &RasterStretchRop16To24Shrink);
    EXPECT_EQ(StretchKernelTable[407], &RasterStretchRop32To24ShrinkMirror);
}

TEST(StretchSelect, FormatGroups)
{
    struct Case {
        int sourceBpp;
        bool palette;
        int destBpp;
        int group;  // -1: nothing is drawn
    };
    const Case cases[] = {
        {1, true, 32, StretchGroupPal1To32},
        {1, true, 8, StretchGroupPal1To8},
        {1, true, 24, StretchGroupPal1To24},
        {8, true, 32, StretchGroupPal8To32},
        {8, true, 8, StretchGroupPal8To8},
        {8, true, 24, StretchGroupPal8To24},
        {4, true, 32, StretchGroupPal4To32},
        {4, true, 8, StretchGroupPal4To8},
        {4, true, 24, StretchGroupPal4To24},
        {1, false, 1, StretchGroup1To1},
        {4, false, 4, StretchGroup4To4},
        {8, false, 8, StretchGroup8To8},
        {16, false, 24, StretchGroup16To24},
        {16, false, 16, StretchGroup16To16},
        {24, false, 24, StretchGroup24To24},
        {32, false, 32, StretchGroup32To32},
        {32, false, 24, StretchGroup32To24},
        // More than 8 bits goes direct even with a palette.
        {16, true, 24, StretchGroup16To24},
        {32, true, 32, StretchGroup32To32},
        {24, true, 24, StretchGroup24To24},
        // A direct 1-, 4-, 8- or 24-bit source onto another depth matches no group.
        {1, false, 24, -1},
        {1, false, 8, -1},
        {4, false, 8, -1},
        {8, false, 24, -1},
        {8, false, 32, -1},
        {24, false, 32, -1},
        {24, false, 16, -1},
        // Depths that no group reads or writes are refused rather than routed to a group of
        // other pixel sizes, which would run past the caller's rows.
        {2, true, 32, -1},
        {16, true, 16, StretchGroup16To16},
        {1, true, 16, -1},
        {8, true, 1, -1},
        {16, false, 8, -1},
        {16, false, 32, -1},
        {32, false, 16, -1},
        {2, false, 32, -1},
        {0, false, 32, -1},
        {-8, false, 32, -1},
        {64, false, 32, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.sourceBpp << (c.palette ? " with palette" : "") << " to " << c.destBpp);
        EXPECT_EQ(Select(c.sourceBpp, c.palette, c.destBpp), c.group < 0 ? -1 : Index(0, c.group, 0));
    }
}

TEST(StretchSelect, BlocksByWholeRopValue)
{
    struct Case {
        RasterRop3 rop;
        int block;
    };
    const Case cases[] = {{0xCC, 0}, {0x33, 1},  {0xEE, 2},  {0x66, 3},   {0x88, 3},      {0x00, 3},
                          {0xB8, 3}, {0x1CC, 3}, {0x133, 3}, {0xCCCC, 3}, {0xFFFFFFEE, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rop);
        EXPECT_EQ(Select(8, true, 32, c.rop), Index(c.block, StretchGroupPal8To32, 0));
    }
}

TEST(StretchSelect, MembersByWidthAndMirror)
{
    EXPECT_EQ(Select(8, true, 32, 0xCC, 100, 0), Index(0, StretchGroupPal8To32, 0));
    EXPECT_EQ(Select(8, true, 32, 0xCC, 100, 1), Index(0, StretchGroupPal8To32, 1));
    EXPECT_EQ(Select(8, true, 32, 0xCC, 101, 0), Index(0, StretchGroupPal8To32, 2));
    EXPECT_EQ(Select(8, true, 32, 0xCC, 101, 1), Index(0, StretchGroupPal8To32, 3));
    EXPECT_EQ(Select(8, true, 32, 0xCC, 99, 0), Index(0, StretchGroupPal8To32, 4));
    EXPECT_EQ(Select(8, true, 32, 0xCC, 99, 1), Index(0, StretchGroupPal8To32, 5));
    EXPECT_EQ(Select(16, false, 16, 0x66, 1, 1), Index(3, StretchGroup16To16, 5));
}

TEST(StretchSelect, ScaleModes)
{
    EXPECT_EQ(StretchScaleModeOf(100, 100), StretchSame);
    EXPECT_EQ(StretchScaleModeOf(101, 100), StretchGrow);
    EXPECT_EQ(StretchScaleModeOf(99, 100), StretchShrink);
    // Heights compare as stored: a negative (bottom-up) height makes the destination taller.
    EXPECT_EQ(StretchScaleModeOf(5, -5), StretchGrow);
    EXPECT_EQ(StretchScaleModeOf(0x7FFFFFFF, -0x7FFFFFFF - 1), StretchGrow);
}

TEST(StretchSelect, EmptySourceExtentSelectsNothing)
{
    Bitmaps b(8, true, 32);
    const RECT rect{0, 0, 10, 10};
    b.source.width = 0;
    EXPECT_EQ(StretchKernelSelect(&b.dest, &b.source, &rect, 0xCC, 0), -1);
    b.source.width = -3;
    EXPECT_EQ(StretchKernelSelect(&b.dest, &b.source, &rect, 0xCC, 0), -1);
    b.source.width = 10;
    b.source.height = 0;
    EXPECT_EQ(StretchKernelSelect(&b.dest, &b.source, &rect, 0xCC, 0), -1);
    b.source.height = -10;  // bottom-up
    EXPECT_EQ(StretchKernelSelect(&b.dest, &b.source, &rect, 0xCC, 0), Index(0, StretchGroupPal8To32, 0));
}

// A 2 x 2 source of distinct 8-bit pixels onto a 2 x 2 destination, so each mirror shows.
struct TinyBlit {
    uint8_t source[2][4] = {{1, 2, 0, 0}, {3, 4, 0, 0}};
    uint8_t dest[2][4] = {};
    BltBitmap destBitmap{dest, 4, 0, 0, 2, 2, 8, nullptr};
    BltBitmap sourceBitmap{source, 4, 0, 0, 2, 2, 8, nullptr};
    void Run(RECT& rect, int count = 1, RasterRop3 rop = 0xCC)
    {
        const RECT clip{0, 0, 2, 2};
        RasterStretchBlt(&destBitmap, &sourceBitmap, nullptr, &rect, &clip, count, rop, 0);
    }
};

TEST(StretchDispatch, MirrorsAndRestoresTheRectangleOnEveryPath)
{
    struct Case {
        RECT rect;
        uint8_t want[4];
    };
    const Case cases[] = {
        {{0, 0, 2, 2}, {1, 2, 3, 4}},
        {{2, 0, 0, 2}, {2, 1, 4, 3}},
        {{0, 2, 2, 0}, {3, 4, 1, 2}},
        {{2, 2, 0, 0}, {4, 3, 2, 1}},
    };
    for (const Case& c : cases) {
        TinyBlit t;
        RECT rect = c.rect;
        t.Run(rect);
        EXPECT_EQ(rect.left, c.rect.left);
        EXPECT_EQ(rect.top, c.rect.top);
        EXPECT_EQ(rect.right, c.rect.right);
        EXPECT_EQ(rect.bottom, c.rect.bottom);
        const uint8_t got[4] = {t.dest[0][0], t.dest[0][1], t.dest[1][0], t.dest[1][1]};
        EXPECT_EQ(0, memcmp(got, c.want, 4)) << c.rect.left << "," << c.rect.top;
    }
    // Paths that draw nothing: no clips, a negative count, an unsupported pair, an empty source.
    for (int path = 0; path < 4; ++path) {
        TinyBlit t;
        RECT rect{2, 2, 0, 0};
        if (path == 2) t.destBitmap.bpp = 24;
        if (path == 3) t.sourceBitmap.width = 0;
        t.Run(rect, path == 0 ? 0 : path == 1 ? -1 : 1);
        EXPECT_EQ(rect.left, 2);
        EXPECT_EQ(rect.top, 2);
        EXPECT_EQ(rect.right, 0);
        EXPECT_EQ(rect.bottom, 0);
        for (auto& row : t.dest) EXPECT_EQ(row[0] | row[1] | row[2] | row[3], 0) << path;
    }
}

}  // namespace
