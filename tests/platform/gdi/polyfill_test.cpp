// Polygon scan conversion against two independent oracles: the exact crossing count at each
// pixel's point, and pixman's trapezoid rasteriser with every vertex moved by half a pixel.
#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <bit>
#include <random>

#include "pixel_grid.h"
#include "platform/gdi/region/polyfill.h"

namespace {

using int128 = __int128;

// Winding number at the point (x, y) in fill units: every edge that spans y half-open and crosses
// at or left of x adds its direction.
int OracleWinding(const FillPolygonSet& set, int64_t px, int64_t py)
{
    int winding = 0;
    size_t start = 0;
    for (int count : set.counts) {
        for (int i = 0; i < count; ++i) {
            FillPoint a = set.points[start + i];
            FillPoint b = set.points[start + (i + 1) % count];
            if (a.y == b.y) continue;
            int dir = a.y < b.y ? 1 : -1;
            if (a.y > b.y) std::swap(a, b);
            if (py < a.y || py >= b.y) continue;
            // crossing <= px  <=>  (a.x - px) * dy + (py - a.y) * dx <= 0, with dy > 0
            int128 lhs = int128{a.x - px} * (b.y - a.y) + int128{py - a.y} * (b.x - a.x);
            if (lhs <= 0) winding += dir;
        }
        start += count;
    }
    return winding;
}

PixelGrid OracleFill(const FillPolygonSet& set, int mode, RECT box)
{
    PixelGrid grid(box);
    for (LONG y = box.top; y < box.bottom; ++y)
        for (LONG x = box.left; x < box.right; ++x) {
            int w = OracleWinding(set, int64_t{x} * FILL_ONE, int64_t{y} * FILL_ONE);
            grid.Set(x, y, mode == FILL_ALTERNATE ? (w & 1) != 0 : w != 0);
        }
    return grid;
}

PixelGrid Fill(const FillPolygonSet& set, int mode, RECT box)
{
    PixelGrid grid(box);
    EXPECT_TRUE(PolyFillSpans(set.points, set.counts, mode, box, PixelGrid::Sink, &grid));
    return grid;
}

// Random polygons with `figures` figures of 3..maxPoints vertices, self-intersecting as they fall.
FillPolygonSet RandomPolygons(std::mt19937& rng, int figures, int maxPoints, int64_t lo, int64_t hi, bool fractional)
{
    FillPolygonSet set;
    std::uniform_int_distribution<int> n(3, maxPoints);
    std::uniform_int_distribution<int64_t> coord(lo * FILL_ONE, hi * FILL_ONE);
    for (int f = 0; f < figures; ++f) {
        int count = n(rng);
        for (int i = 0; i < count; ++i) {
            FillPoint p{coord(rng), coord(rng)};
            if (!fractional) {
                p.x = p.x / FILL_ONE * FILL_ONE;
                p.y = p.y / FILL_ONE * FILL_ONE;
            }
            set.points.push_back(p);
        }
        set.counts.push_back(count);
    }
    return set;
}

TEST(PolyFill, MatchesExactCrossingOracleOnRandomPolygons)
{
    std::mt19937 rng(1234);
    const RECT box{-4, -4, 44, 44};
    for (int round = 0; round < 300; ++round) {
        bool fractional = round % 3 == 2;
        FillPolygonSet set = RandomPolygons(rng, 1 + round % 3, 12, 0, 40, fractional);
        for (int mode : {FILL_ALTERNATE, FILL_WINDING}) {
            PixelGrid got = Fill(set, mode, box);
            PixelGrid want = OracleFill(set, mode, box);
            ASSERT_EQ(got.overlaps, 0);
            ASSERT_EQ(got.FirstDifference(want), "") << "round " << round << " mode " << mode;
        }
    }
}

TEST(PolyFill, StarCentreIsEmptyOnlyUnderAlternate)
{
    // A five-pointed star: its centre winds twice, so ALTERNATE leaves it empty.
    FillPolygonSet star;
    const LONG pts[5][2] = {{20, 0}, {32, 38}, {0, 14}, {40, 14}, {8, 38}};
    for (auto& p : pts) star.points.push_back(FillPointFromDevice(p[0], p[1]));
    star.counts.push_back(5);
    RECT box{0, 0, 41, 41};
    PixelGrid alternate = Fill(star, FILL_ALTERNATE, box);
    PixelGrid winding = Fill(star, FILL_WINDING, box);
    EXPECT_FALSE(alternate.Get(20, 20));
    EXPECT_TRUE(winding.Get(20, 20));
    EXPECT_TRUE(alternate.Get(20, 5));
    EXPECT_EQ(alternate.FirstDifference(OracleFill(star, FILL_ALTERNATE, box)), "");
    EXPECT_EQ(winding.FirstDifference(OracleFill(star, FILL_WINDING, box)), "");
}

TEST(PolyFill, PixelRuleOnAnAxisAlignedSquare)
{
    // The square (2,3)-(6,8): left and top edges in, right and bottom edges out.
    FillPolygonSet sq;
    for (auto [x, y] : {std::pair{2, 3}, {6, 3}, {6, 8}, {2, 8}}) sq.points.push_back(FillPointFromDevice(x, y));
    sq.counts.push_back(4);
    PixelGrid got = Fill(sq, FILL_ALTERNATE, RECT{0, 0, 10, 10});
    for (LONG y = 0; y < 10; ++y)
        for (LONG x = 0; x < 10; ++x) EXPECT_EQ(got.Get(x, y), x >= 2 && x < 6 && y >= 3 && y < 8) << x << "," << y;
}

TEST(PolyFill, HugeCoordinatesAreExactInsideTheClip)
{
    // Edges reaching far outside 32 bits of fill units: only the clip window is walked.
    std::mt19937 rng(99);
    std::uniform_int_distribution<int64_t> far(-(int64_t{1} << 31) + 1, (int64_t{1} << 31) - 1);
    const RECT box{-20, -20, 20, 20};
    for (int round = 0; round < 40; ++round) {
        FillPolygonSet set;
        for (int i = 0; i < 6; ++i)
            set.points.push_back(
                FillPointFromDevice(far(rng) / (i % 2 ? 1 : 100000000), far(rng) / (i % 3 ? 1 : 100000000)));
        set.counts.push_back(6);
        for (int mode : {FILL_ALTERNATE, FILL_WINDING})
            ASSERT_EQ(Fill(set, mode, box).FirstDifference(OracleFill(set, mode, box)), "") << round;
    }
}

// --- pixman ---------------------------------------------------------------------------------

pixman_fixed_t ToPixman(int64_t fill) { return static_cast<pixman_fixed_t>(fill * (65536 / FILL_ONE)); }

// Convex hull (counter-clockwise in y-down terms does not matter here) by the monotone chain.
std::vector<FillPoint> Hull(std::vector<FillPoint> pts)
{
    std::sort(pts.begin(), pts.end(), [](FillPoint a, FillPoint b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
    auto cross = [](FillPoint o, FillPoint a, FillPoint b) {
        return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
    };
    std::vector<FillPoint> h(2 * pts.size());
    size_t k = 0;
    for (size_t i = 0; i < pts.size(); ++i) {
        while (k >= 2 && cross(h[k - 2], h[k - 1], pts[i]) <= 0) --k;
        h[k++] = pts[i];
    }
    for (size_t i = pts.size() - 1, t = k + 1; i > 0; --i) {
        while (k >= t && cross(h[k - 2], h[k - 1], pts[i - 1]) <= 0) --k;
        h[k++] = pts[i - 1];
    }
    h.resize(k - 1);
    return h;
}

// The x of the hull's boundary on the left or right side, as the hull edge spanning band [y0, y1).
bool SideEdge(const std::vector<FillPoint>& hull, int64_t y0, int64_t y1, bool left, pixman_line_fixed_t* line)
{
    // Edges going down on one side, up on the other: pick the one spanning the band whose
    // x at the band's middle is smallest (left) or largest (right).
    bool found = false;
    double best = 0;
    for (size_t i = 0; i < hull.size(); ++i) {
        FillPoint a = hull[i], b = hull[(i + 1) % hull.size()];
        if (a.y > b.y) std::swap(a, b);
        if (a.y > y0 || b.y < y1 || a.y == b.y) continue;
        double mid = (y0 + y1) / 2.0;
        double x = a.x + (mid - a.y) * (b.x - a.x) / double(b.y - a.y);
        if (!found || (left ? x < best : x > best)) {
            found = true;
            best = x;
            // vertices moved by half a pixel: our sample points are pixman's pixel centres
            line->p1 = {ToPixman(a.x) + pixman_fixed_1 / 2, ToPixman(a.y) + pixman_fixed_1 / 2};
            line->p2 = {ToPixman(b.x) + pixman_fixed_1 / 2, ToPixman(b.y) + pixman_fixed_1 / 2};
        }
    }
    return found;
}

PixelGrid PixmanFillConvex(const std::vector<FillPoint>& hull, int size)
{
    std::vector<uint32_t> bits(static_cast<size_t>(size) * size / 32 + size);
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_a1, size, size, bits.data(), size / 8);
    std::vector<int64_t> ys;
    for (FillPoint p : hull) ys.push_back(p.y);
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::vector<pixman_trapezoid_t> traps;
    for (size_t i = 0; i + 1 < ys.size(); ++i) {
        pixman_trapezoid_t t{};
        t.top = ToPixman(ys[i]) + pixman_fixed_1 / 2;
        t.bottom = ToPixman(ys[i + 1]) + pixman_fixed_1 / 2;
        if (SideEdge(hull, ys[i], ys[i + 1], true, &t.left) && SideEdge(hull, ys[i], ys[i + 1], false, &t.right))
            traps.push_back(t);
    }
    pixman_add_trapezoids(image, 0, 0, static_cast<int>(traps.size()), traps.data());
    PixelGrid grid(RECT{0, 0, size, size});
    const uint32_t* data = pixman_image_get_data(image);
    int strideWords = pixman_image_get_stride(image) / 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) grid.Set(x, y, ((data[y * strideWords + x / 32] >> (x % 32)) & 1) != 0);
    pixman_image_unref(image);
    return grid;
}

TEST(PolyFill, MatchesPixmanTrapezoidsOnConvexPolygons)
{
    std::mt19937 rng(777);
    const int size = 64;
    int compared = 0;
    for (int round = 0; round < 300; ++round) {
        bool fractional = round % 2 == 1;
        FillPolygonSet random = RandomPolygons(rng, 1, 9, 2, 60, fractional);
        std::vector<FillPoint> hull = Hull(random.points);
        if (hull.size() < 3) continue;
        FillPolygonSet set;
        set.points = hull;
        set.counts.push_back(static_cast<int>(hull.size()));
        PixelGrid ours = Fill(set, FILL_WINDING, RECT{0, 0, size, size});
        PixelGrid theirs = PixmanFillConvex(hull, size);
        ASSERT_EQ(ours.FirstDifference(theirs), "") << "round " << round;
        ++compared;
    }
    EXPECT_GT(compared, 250);
}

TEST(PolyFill, TouchingSpansComeAsOneRunAndManyEdgesCanStartTogether)
{
    // Two squares side by side: one run per row, not two.
    FillPolygonSet two;
    for (auto [x, y] : {std::pair{0, 0}, {5, 0}, {5, 4}, {0, 4}, {5, 0}, {10, 0}, {10, 4}, {5, 4}})
        two.points.push_back(FillPointFromDevice(x, y));
    two.counts = {4, 4};
    int runs = 0;
    auto count = [](void* context, LONG, LONG left, LONG right) {
        ++*static_cast<int*>(context);
        EXPECT_EQ(left, 0);
        EXPECT_EQ(right, 10);
    };
    ASSERT_TRUE(PolyFillSpans(two.points, two.counts, FILL_ALTERNATE, RECT{0, 0, 20, 20}, count, &runs));
    EXPECT_EQ(runs, 4);
    // A comb whose 200 teeth all begin on the same row, in both modes, against the oracle.
    FillPolygonSet comb;
    for (int i = 0; i < 100; ++i) {
        comb.points.push_back(FillPointFromDevice(2 * i, 0));
        comb.points.push_back(FillPointFromDevice(2 * i + 1, 30 - i % 7));
    }
    comb.points.push_back(FillPointFromDevice(200, 40));
    comb.points.push_back(FillPointFromDevice(0, 40));
    comb.counts = {int(comb.points.size())};
    const RECT box{-1, -1, 202, 42};
    for (int mode : {FILL_ALTERNATE, FILL_WINDING})
        EXPECT_EQ(Fill(comb, mode, box).FirstDifference(OracleFill(comb, mode, box)), "");
}

TEST(PolyFill, DegenerateInputDrawsNothing)
{
    FillPolygonSet set;
    set.points = {FillPointFromDevice(1, 1), FillPointFromDevice(9, 1), FillPointFromDevice(5, 1)};
    set.counts = {3};
    PixelGrid grid(RECT{0, 0, 10, 10});
    EXPECT_TRUE(PolyFillSpans(set.points, set.counts, FILL_WINDING, grid.box, PixelGrid::Sink, &grid));
    EXPECT_EQ(grid.Count(), 0);
    // Counts that run past the points stop there instead of reading beyond.
    set.counts = {2, 5};
    EXPECT_TRUE(PolyFillSpans(set.points, set.counts, FILL_WINDING, grid.box, PixelGrid::Sink, &grid));
    EXPECT_EQ(grid.Count(), 0);
}

}  // namespace

namespace {

// One random polygon of n points over a box of pixels, corners anywhere to a sixteenth of a pixel.
FillPolygonSet RandomPolygon(std::mt19937& rng, int n, LONG width, LONG height)
{
    FillPolygonSet set;
    std::uniform_int_distribution<int64_t> x(0, width * FILL_ONE - 1), y(0, height * FILL_ONE - 1);
    for (int i = 0; i < n; ++i) set.points.push_back({x(rng), y(rng)});
    set.counts.push_back(n);
    return set;
}

// Rows each edge spans inside the box: the edge steps a scan cannot do without.
uint64_t EdgeRows(const FillPolygonSet& set, RECT box)
{
    uint64_t rows = 0;
    for (size_t i = 0; i < set.points.size(); ++i) {
        FillPoint a = set.points[i], b = set.points[(i + 1) % set.points.size()];
        if (a.y > b.y) std::swap(a, b);
        const int64_t top = std::max<int64_t>(CeilDiv<int64_t>(a.y, FILL_ONE), box.top);
        const int64_t bottom = std::min<int64_t>(CeilDiv<int64_t>(b.y, FILL_ONE), box.bottom);
        rows += uint64_t(std::max<int64_t>(bottom - top, 0));
    }
    return rows;
}

}  // namespace

// Edges that cross one another many times a row (a random polygon's) keep their order at a sort's
// cost a row at most, not a move per crossing: the work grows with the edges' rows times a
// logarithm, where crossings grow with the square of the edges.
TEST(PolyFill, OrderingWorkIsBoundedWhateverTheCrossings)
{
    std::mt19937 rng(48);
    const RECT box{0, 0, 1728, 256};
    for (int n : {4000, 16000, 64000}) {
        SCOPED_TRACE(n);
        const FillPolygonSet set = RandomPolygon(rng, n, box.right, box.bottom);
        FillScanControl control;
        size_t spans = 0;
        const auto count = [](void* context, LONG, LONG, LONG) { ++*static_cast<size_t*>(context); };
        ASSERT_TRUE(PolyFillSpans(set.points, set.counts, FILL_WINDING, box, count, &spans, &control));
        EXPECT_GT(spans, 0u);
        const uint64_t edgeRows = EdgeRows(set, box);
        EXPECT_LE(control.work, edgeRows);
        const uint64_t logarithm = uint64_t(std::bit_width(unsigned(n)));
        EXPECT_LE(control.order, 2 * edgeRows * (logarithm + 2)) << "edge rows " << edgeRows;
    }
}

// The same pixels as the exact crossing oracle where every row must be sorted whole.
TEST(PolyFill, ManyCrossingEdgesMatchTheOracle)
{
    std::mt19937 rng(4848);
    const RECT box{0, 0, 200, 32};
    const FillPolygonSet set = RandomPolygon(rng, 3000, box.right, box.bottom);
    for (int mode : {FILL_ALTERNATE, FILL_WINDING}) {
        PixelGrid got = Fill(set, mode, box);
        PixelGrid want = OracleFill(set, mode, box);
        ASSERT_EQ(got.overlaps, 0);
        ASSERT_EQ(got.FirstDifference(want), "") << "mode " << mode;
    }
}
