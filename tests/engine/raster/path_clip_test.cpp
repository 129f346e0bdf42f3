// Polygon clipping, edge tables and the edge clipper: the cases that fix their arithmetic.
#include <gtest/gtest.h>

#include "tests/engine/raster/mask_surface.h"

namespace {

TEST(PathClip, EdgeTablesOfSidesAndCuts)
{
    // A level side makes no edge; a figure of level sides only makes none at all.
    EXPECT_EQ(EdgesOf({{{0, 0}, {10, 0}, {10, 5}}}, nullptr).size(), 2u);
    EXPECT_EQ(EdgesOf({{{0, 3}, {10, 3}, {20, 3}}}, nullptr).size(), 0u);

    // The side (0, 0)-(100, 100) cut at row 10 starts at (10, 10) with the state of 10 single steps.
    std::vector<Edge> whole = EdgesOf({{{0, 0}, {100, 100}, {0, 100}}}, nullptr);
    RECT below10{0, 10, 200, 200};
    std::vector<Edge> cut = EdgesOf({{{0, 0}, {100, 100}, {0, 100}}}, &below10);
    auto sloped = [](const std::vector<Edge>& edges) {
        return *std::find_if(edges.begin(), edges.end(),
                             [](const Edge& e) { return e.bottom.x == 100 && e.xStep + e.remainder > 0; });
    };
    Edge e = sloped(whole);
    EdgeState stepped = e.top;
    for (int i = 0; i < 10; ++i) EdgeStep(&e, &stepped);
    Edge c = sloped(cut);
    EXPECT_EQ(c.top.x, 10);
    EXPECT_EQ(c.top.y, 10);
    EXPECT_EQ(c.top.error, stepped.error);
    EXPECT_EQ(c.top.x, stepped.x);

    // Jumps equal single steps for every slope and distance, both directions.
    for (LONG dx : {-37, -5, -1, 0, 1, 3, 17, 250})
        for (LONG dy : {1, 2, 7, 31}) {
            Edge s = EdgesOf({{{0, 0}, {dx, dy}, {dx - 1000, dy + 1}}}, nullptr)[0];
            for (int k = 0; k <= dy; ++k) {
                EdgeState one = s.top, jump = s.top;
                for (int i = 0; i < k; ++i) EdgeStep(&s, &one);
                EdgeAdvance(&s, &jump, k);
                ASSERT_EQ(one.x, jump.x) << dx << "/" << dy << " k " << k;
                ASSERT_EQ(one.error, jump.error) << dx << "/" << dy << " k " << k;
            }
        }
}

TEST(PathClip, TheLeftPartBecomesTheClipsLeftColumn)
{
    // A shape reaching left of the clip covers the clip's left column on its rows there.
    const std::vector<Figure> triangle = {{{-10, 2}, {12, 2}, {6, 14}, {-30, 14}}};
    RECT clip{4, 0, 30, 20};
    MaskSurface m(30, 20);
    ScanFill(m, triangle, &clip, POLY_FILL_ALTERNATE, SCAN_SET);
    for (LONG y = 0; y < 20; ++y) {
        EXPECT_EQ(m.Get(4, y), y >= 2 && y < 14) << y;
        EXPECT_FALSE(m.Get(3, y));
    }
    // The table's bounds: its own box with right and bottom plus one.
    std::vector<Edge> edges = EdgesOf(triangle, &clip);
    EXPECT_FALSE(edges.empty());
    for (const Edge& edge : edges) EXPECT_GE(edge.top.x, 4);
}

TEST(PathClip, PolygonClipAndBoundsCutAtRightMinusOne)
{
    // A triangle crossing the right side is cut at x = right - 1, not at right.
    POINT points[32] = {{2, 2}, {40, 10}, {2, 18}};
    POINT scratch[32];
    RECT clip{0, 0, 20, 30};
    uint32_t n = PolygonClipRect(&clip, 3, points, scratch, 32);
    ASSERT_GT(n, 0u);
    LONG right = 0;
    for (uint32_t i = 0; i < n; ++i) right = std::max(right, points[i].x);
    EXPECT_EQ(right, 19);
    // Wholly outside: nothing.
    POINT outside[32] = {{50, 50}, {60, 50}, {55, 60}};
    EXPECT_EQ(PolygonClipRect(&clip, 3, outside, scratch, 32), 0u);
}

}  // namespace
