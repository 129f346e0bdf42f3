// Placement arithmetic: alignment offsets, fitting, the job header's extents, sheet-cell fits.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "engine/page/page_placement.h"
#include "engine/page/preamble.h"
#include "engine/page/sheet_plan.h"

TEST(PagePlacement, OffsetOfEveryAlignment)
{
    const SIZE area{200, 100}, item{100, 50};
    const struct {
        uint32_t alignment;
        LONG x, y;
    } cases[] = {{1, 0, 0},   {2, -50, 0},   {3, -100, 0},   {4, 0, -25},   {5, 0, 0},     {6, -100, -25},
                 {7, 0, -50}, {8, -50, -50}, {9, -100, -50}, {0, -50, -25}, {10, -50, -25}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.alignment);
        const POINT p = PlacementOffset(area, item, c.alignment);
        EXPECT_EQ(p.x, c.x);
        EXPECT_EQ(p.y, c.y);
    }
    // Halves are signed divisions: an item larger than the area moves the other way, truncated.
    const POINT larger = PlacementOffset(SIZE{10, 10}, SIZE{15, 13}, 0);
    EXPECT_EQ(larger.x, 2);
    EXPECT_EQ(larger.y, 1);
}

TEST(PagePlacement, FitScale)
{
    const struct {
        SIZE area, item;
        double scale;
        LONG w, h;
    } cases[] = {
        {{150, 150}, {300, 200}, 0.5, 150, 100},
        {{600, 100}, {300, 200}, 0.5, 150, 100},
        {{100, 100}, {3, 3}, 100.0 / 3, 100, 100},
        {{100, 100}, {0, 5}, 0.0, 0, 0},  // an item without size does not fit
    };
    for (const auto& c : cases) {
        SIZE fitted{};
        EXPECT_DOUBLE_EQ(FitScale(c.area, c.item, &fitted), c.scale);
        EXPECT_EQ(fitted.cx, c.w);
        EXPECT_EQ(fitted.cy, c.h);
    }
}

TEST(PagePlacement, ExtentsOfTheJobHeader)
{
    JobHeader header{};
    header.firstExtent[0] = -30;
    header.firstExtent[1] = 40;
    header.secondExtent[0] = 5;
    header.secondExtent[1] = 6;
    const struct {
        uint32_t jobFlags, pair, orientation;
        LONG w, h;
    } cases[] = {
        {0, 0, 1, 5, 6},      {0, 0, 0, 6, 5},      {0, 1, 1, 30, 40},      {0, 1, 0, 40, 30},
        {0x80, 0, 1, -5, -6}, {0x80, 1, 1, 30, 40}, {0x40, 1, 0, -40, -30}, {0x40, 0, 0, 6, 5},
    };
    for (const auto& c : cases) {
        header.jobFlags = c.jobFlags;
        const SIZE e = PageExtentGet(&header, c.pair, c.orientation);
        EXPECT_EQ(e.cx, c.w);
        EXPECT_EQ(e.cy, c.h);
    }
    EXPECT_TRUE(ExtentEqualUnordered(SIZE{3, 7}, SIZE{7, 3}));
    EXPECT_FALSE(ExtentEqualUnordered(SIZE{3, 7}, SIZE{3, 8}));
    const int32_t margins[4] = {10, 20, 30, 40};
    const SIZE printable = PrintableExtentGet(SIZE{1000, 2000}, margins, SIZE{-5, 7});
    EXPECT_EQ(printable.cx, 1000 - 30 - 10 - 5);
    EXPECT_EQ(printable.cy, 2000 - 40 - 20 - 7);
}

TEST(PagePlacement, EarlyPageMarginsLoseTheFirstExtentPairWithin32Bits)
{
    JobHeader job{};
    job.firstExtent[0] = -30;
    job.firstExtent[1] = INT32_MIN;
    PageHeader page{};
    const struct {
        uint16_t version;
        int32_t in[4], out[4];
    } cases[] = {
        {1, {1, 2, 100, 200}, {1, 2, 100 - INT32_MAX, 200 - 30}},
        {1, {1, 2, INT32_MIN + 5, 3}, {1, 2, INT32_MIN, 3 - 30}},
        {2, {1, 2, INT32_MIN + 5, 3}, {1, 2, INT32_MIN + 5, 3}},  // later records hold their own margins
    };
    for (const auto& c : cases) {
        page.header.version = c.version;
        std::copy(std::begin(c.in), std::end(c.in), page.margins);
        int32_t margins[4];
        SheetMarginsFromPage(&job, &page, margins);
        EXPECT_TRUE(std::equal(std::begin(margins), std::end(margins), std::begin(c.out))) << c.in[2];
        SheetMarginsFromPage(&job, &page, page.margins);  // in place, as the page player calls it
        EXPECT_TRUE(std::equal(std::begin(page.margins), std::end(page.margins), std::begin(c.out)));
    }
}

TEST(PagePlacement, FitOntoCells)
{
    // An extent wider than high for its page on a cell that lets the page turn: the cell's axes
    // are exchanged.
    PageFitCell cell{1, {500, 1000}};
    SIZE extent{2000, 500};
    RECT rect{0, 0, 2000, 1000};
    double x = 0, y = 0;
    EXPECT_EQ(PageFitRatio(&cell, SIZE{2000, 1000}, &extent, &rect, &x, &y), 2);
    EXPECT_DOUBLE_EQ(x, 0.5);
    EXPECT_DOUBLE_EQ(y, 0.5);
    EXPECT_EQ(extent.cx, 1000);
    EXPECT_EQ(extent.cy, 250);
    EXPECT_EQ(rect.bottom, 500);
    cell.orientation = 0;
    extent = SIZE{2000, 500};
    EXPECT_EQ(PageFitRatio(&cell, SIZE{2000, 1000}, &extent, nullptr, &x, &y), 0);
    EXPECT_DOUBLE_EQ(x, 0.25);
    EXPECT_EQ(PageFitRatio(&cell, SIZE{0, 1000}, &extent, nullptr, &x, &y), -1);

    // Poster tiles of a 2 x 2 poster, in reading order.
    TileLayout tiles;
    ASSERT_TRUE(PageFitOrigin(SIZE{100, 200}, 0, 0, 0, 0, SIZE{200, 400}, &tiles));
    const int32_t expected[4][2] = {{0, 0}, {-100, 0}, {0, -200}, {-100, -200}};
    for (uint32_t i = 0; i < 4; ++i) {
        tiles.index = i;
        double sx, sy;
        int32_t ox, oy;
        PageCellOffset(&cell, &tiles, true, false, false, &sx, &sy, &ox, &oy);
        EXPECT_EQ(ox, expected[i][0]);
        EXPECT_EQ(oy, expected[i][1]);
        EXPECT_DOUBLE_EQ(sx, 1.0);
    }
    EXPECT_FALSE(PageFitOrigin(SIZE{0, 200}, 0, 0, 0, 0, SIZE{200, 400}, &tiles));  // a zero tile
}

// Booklets of 1 to 9 pages: which page lies in which cell of which side. 'x' marks an empty cell.
TEST(Booklet, CellsOfEverySheet)
{
    const struct {
        uint32_t pages;
        const char* sheets;  // per sheet: front cells | back cells
    } cases[] = {
        {1, "0x|xx"},       {2, "0x|1x"},       {3, "0x|12"},
        {4, "03|12"},       {5, "0x|1x 2x|34"}, {6, "0x|1x 25|34"},
        {7, "0x|16 25|34"}, {8, "07|16 25|34"}, {9, "0x|1x 2x|38 47|56"},
    };
    for (uint32_t lead = 0; lead < 2; ++lead) {
        for (const auto& c : cases) {
            SCOPED_TRACE(testing::Message() << c.pages << " pages, start " << lead);
            const uint32_t R = (c.pages + 3) / 4 * 4;
            std::string text;
            for (uint32_t k = 0; k < R / 4; ++k) {
                SheetPlan plan{};
                BookletSheetLayout(&plan, k, lead, c.pages, R, false, false);
                EXPECT_EQ(plan.arrangement[0], 3);
                EXPECT_EQ(plan.arrangement[1], 0);
                if (k) text += ' ';
                for (int side = 0; side < 2; ++side) {
                    if (side) text += '|';
                    const uint32_t* list = side == 0 ? plan.front : plan.back;
                    for (uint32_t cell = 0; cell < 2; ++cell)
                        text += cell < plan.placed[side] ? static_cast<char>('0' + list[cell] - lead) : 'x';
                }
            }
            EXPECT_EQ(text, c.sheets);
        }
    }
    // A swapped arrangement puts code 3 on the back; reversed, the sides (and their codes) change places.
    SheetPlan plan{};
    BookletSheetLayout(&plan, 0, 0, 4, 4, true, false);
    EXPECT_EQ(plan.arrangement[0], 0);
    EXPECT_EQ(plan.arrangement[1], 3);
    BookletSheetLayout(&plan, 0, 0, 4, 4, true, true);
    EXPECT_EQ(plan.front[0], 1u);
    EXPECT_EQ(plan.back[1], 3u);
    EXPECT_EQ(plan.arrangement[0], 3);
    EXPECT_EQ(plan.arrangement[1], 0);
}
