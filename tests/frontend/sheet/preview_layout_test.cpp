// The miniature's arithmetic against numbers worked out by hand from the paper sizes.
#include <gtest/gtest.h>

#include "frontend/sheet/preview_layout.h"

namespace {

std::vector<LONG> Sides(const RECT& r) { return {r.left, r.top, r.right, r.bottom}; }

TEST(CoverPreview, PagePlacesInTheSquare)
{
    const struct {
        const char* name;
        RECT square;
        LONG w, h;
        int orientation;
        int pageClass;
        std::vector<LONG> page;
        int receiversAtMost;
    } cases[] = {
        // f 1414, d 35: 70 x 100 at 15; Legal scale 835 takes 5 and 8 off each end; the inset 6 and 8.
        {"A4 portrait", {0, 0, 100, 100}, 2100, 2970, 1, 1, {26, 16, 74, 84}, 10},
        // f 1294, d 38: 76 x 100 at 12; scale 785 takes 8 and 10; inset 6 and 8.
        {"Letter portrait", {0, 0, 100, 100}, 2159, 2794, 1, 1, {26, 18, 74, 82}, 10},
        // f 1647, d 30: 60 x 100 at 20; Legal keeps the full height; inset 6 and 10.
        {"Legal portrait", {0, 0, 100, 100}, 2159, 3556, 1, 1, {26, 10, 74, 90}, 10},
        // 100 x 70 at 15 down; scale takes 8 and 5; inset 8 and 6.
        {"A4 landscape", {0, 0, 100, 100}, 2100, 2970, 2, 2, {16, 26, 84, 74}, 5},
        {"Letter landscape", {0, 0, 100, 100}, 2159, 2794, 2, 2, {18, 26, 82, 74}, 5},
        {"another orientation keeps its value", {0, 0, 100, 100}, 2100, 2970, 3, 3, {16, 26, 84, 74}, 5},
        {"a zero side is Letter", {0, 0, 100, 100}, 0, 2970, 1, 1, {26, 18, 74, 82}, 10},
        {"the square's own place", {10, 20, 110, 120}, 2100, 2970, 1, 1, {36, 36, 84, 104}, 10},
        // Paper given landscape-shaped: orientation 1 lies across.
        {"landscape-shaped paper", {0, 0, 100, 100}, 2970, 2100, 1, 2, {16, 26, 84, 74}, 5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RECT page{};
        const int pageClass = CoverPagePreviewLayout(c.square, &page, c.w, c.h, c.orientation);
        EXPECT_EQ(pageClass, c.pageClass);
        EXPECT_EQ(Sides(page), c.page);
        EXPECT_EQ(ReceiversListedAtMost(pageClass), c.receiversAtMost);
    }
    EXPECT_EQ(Sides(PreviewSquare({0, 0, 174, 163})), (std::vector<LONG>{5, 0, 168, 163}));
    EXPECT_EQ(Sides(PreviewSquare({0, 0, 50, 80})), (std::vector<LONG>{0, 15, 50, 65}));
}

// A cover page of 104 x 144 pixels leaves 100 x 140 for the picture; pictures are drawn at
// scale / 1150 of their pixels.
TEST(CoverPreview, PictureScaleAndPosition)
{
    const struct {
        const char* name;
        LONG bw, bh;
        int scale, x, y, fitIn;
        int scaleOut, fitOut;
        std::vector<LONG> picture;
        POINT at;
        SIZE size;
    } cases[] = {
        {"fits exactly across", 1150, 1150, 100, 50, 50, 0, 100, 100, {0, 20, 100, 120}, {2, 22}, {100, 100}},
        {"larger than the page: the scale drops", 2300, 1150, 400, 0, 0, 0, 50, 50, {0, 0, 100, 50}, {2, 2}, {100, 50}},
        {"tall picture limited by the height", 115, 2300, 300, 0, 0, 0, 70, 70, {0, 0, 7, 140}, {2, 2}, {7, 140}},
        {"to the far right and bottom",
         115,
         115,
         100,
         100,
         100,
         0,
         100,
         1001,
         {90, 130, 100, 140},
         {92, 132},
         {10, 10}},
        {"at the top left", 115, 115, 100, 0, 0, 0, 100, 1001, {0, 0, 10, 10}, {2, 2}, {10, 10}},
        {"scale 5 is 10", 1150, 1150, 5, 0, 0, 0, 10, 100, {0, 0, 10, 10}, {2, 2}, {10, 10}},
        {"a fitting scale known already", 1150, 1150, 200, 0, 0, 60, 60, 60, {0, 0, 60, 60}, {2, 2}, {60, 60}},
        {"a small percentage moves at least one pixel",
         115,
         115,
         100,
         1,
         1,
         0,
         100,
         1001,
         {1, 1, 11, 11},
         {3, 3},
         {10, 10}},
    };
    const RECT cover{0, 0, 104, 144};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        int fit = c.fitIn;
        const PicturePlacement p = PicturePlace(cover, c.bw, c.bh, c.scale, c.x, c.y, &fit);
        ASSERT_TRUE(p.drawn);
        EXPECT_EQ(p.scale, c.scaleOut);
        EXPECT_EQ(fit, c.fitOut);
        EXPECT_EQ(Sides(p.picture), c.picture);
        EXPECT_EQ(p.at.x, c.at.x);
        EXPECT_EQ(p.at.y, c.at.y);
        EXPECT_EQ(p.size.cx, c.size.cx);
        EXPECT_EQ(p.size.cy, c.size.cy);
        // 1001 for a 115-pixel picture: 1001 x 115 / 1150 still truncates to 100.
        // The drawn picture never leaves the room inside the page's 2-pixel margins.
        EXPECT_LE(p.at.x + p.size.cx, cover.right - 2);
        EXPECT_LE(p.at.y + p.size.cy, cover.bottom - 2);
    }
    int fit = 0;
    EXPECT_FALSE(PicturePlace({0, 0, 4, 4}, 10, 10, 100, 0, 0, &fit).drawn);
}

TEST(CoverPreview, DraggingSetsThePercentages)
{
    const RECT cover{0, 0, 104, 144};
    const struct {
        const char* name;
        POINT pointer, grab;
        RECT picture;
        POINT current, expected;
    } cases[] = {
        {"to the far right and bottom", {103, 143}, {9, 9}, {90, 130, 100, 140}, {0, 0}, {100, 100}},
        {"to the far left and top", {1, 1}, {1, 1}, {40, 40, 50, 50}, {50, 50}, {0, 0}},
        {"past the left edge", {1, 1}, {5, 5}, {40, 40, 50, 50}, {50, 50}, {0, 0}},
        {"half way", {48, 68}, {1, 1}, {0, 0, 10, 10}, {0, 0}, {50, 50}},
        {"no free room across keeps X", {50, 68}, {1, 1}, {0, 0, 104, 10}, {37, 0}, {37, 50}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const POINT p = PictureDragPercent(c.pointer, c.grab, cover, c.picture, c.current);
        EXPECT_EQ(p.x, c.expected.x);
        EXPECT_EQ(p.y, c.expected.y);
    }
}

}  // namespace
