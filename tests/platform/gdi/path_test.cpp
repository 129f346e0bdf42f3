// The path record, Bezier flattening, cosmetic strokes of whole figures and polygon regions.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

#include "pixel_grid.h"
#include "platform/gdi/bezier.h"
#include "platform/gdi/line.h"
#include "platform/gdi/path.h"
#include "platform/gdi/polygon_region.h"
#include "platform/kernel.h"

namespace {

double BezierAt(double a, double b, double c, double d, double t)
{
    double u = 1 - t;
    return u * u * u * a + 3 * u * u * t * b + 3 * u * t * t * c + t * t * t * d;
}

double DistanceToPolyline(double x, double y, const std::vector<FillPoint>& pts)
{
    double best = INFINITY;
    for (size_t i = 0; i + 1 < pts.size(); ++i) {
        double ax = pts[i].x, ay = pts[i].y, bx = pts[i + 1].x, by = pts[i + 1].y;
        double dx = bx - ax, dy = by - ay, len2 = dx * dx + dy * dy;
        double t = len2 > 0 ? std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0) : 0.0;
        best = std::min(best, std::hypot(x - ax - t * dx, y - ay - t * dy));
    }
    return best;
}

TEST(Bezier, FlattenedPiecesStayWithinTheTolerance)
{
    std::mt19937 rng(3);
    std::uniform_int_distribution<int64_t> c(-4000, 4000);
    for (int round = 0; round < 200; ++round) {
        const FillPoint p[4] = {{c(rng), c(rng)}, {c(rng), c(rng)}, {c(rng), c(rng)}, {c(rng), c(rng)}};
        std::vector<FillPoint> out{p[0]};
        ASSERT_TRUE(BezierFlatten(p, out));
        ASSERT_EQ(out.back().x, p[3].x);
        ASSERT_EQ(out.back().y, p[3].y);
        for (int i = 0; i <= 200; ++i) {
            double t = i / 200.0;
            double x = BezierAt(p[0].x, p[1].x, p[2].x, p[3].x, t), y = BezierAt(p[0].y, p[1].y, p[2].y, p[3].y, t);
            ASSERT_LE(DistanceToPolyline(x, y, out), BEZIER_TOLERANCE + 0.75) << round << " t " << t;
        }
    }
    // A straight segment flattens to its end point alone; a huge one stops at depth 16.
    const FillPoint line[4] = {{0, 0}, {10, 10}, {20, 20}, {30, 30}};
    std::vector<FillPoint> out;
    ASSERT_TRUE(BezierFlatten(line, out));
    EXPECT_EQ(out.size(), 1u);
    const int64_t big = int64_t{1} << 35;
    const FillPoint wild[4] = {{-big, -big}, {big, -big}, {-big, big}, {big, big}};
    out.clear();
    ASSERT_TRUE(BezierFlatten(wild, out));
    EXPECT_LE(out.size(), size_t{1} << 16);
    EXPECT_EQ(out.back().x, big);
}

// Curves culled to a window fill that window as the full curves do, and a curve far outside
// it costs a handful of points.
TEST(Bezier, CullingKeepsTheFillInsideTheWindow)
{
    std::mt19937 rng(31);
    std::uniform_int_distribution<int64_t> c(-200 * FILL_ONE, 240 * FILL_ONE);
    const RECT window{10, 10, 40, 40};
    for (int round = 0; round < 200; ++round) {
        std::vector<FillPoint> full{{c(rng), c(rng)}}, culled = full;
        for (int s = 0; s < 3; ++s) {
            const FillPoint p[4] = {full.back(), {c(rng), c(rng)}, {c(rng), c(rng)}, {c(rng), c(rng)}};
            const FillPoint q[4] = {culled.back(), p[1], p[2], p[3]};
            ASSERT_TRUE(BezierFlatten(p, full));
            ASSERT_TRUE(BezierFlatten(q, culled, &window));
        }
        for (int mode : {FILL_ALTERNATE, FILL_WINDING}) {
            PixelGrid a(window), b(window);
            const int fullCount[] = {int(full.size())}, culledCount[] = {int(culled.size())};
            ASSERT_TRUE(PolyFillSpans(full, fullCount, mode, window, PixelGrid::Sink, &a));
            ASSERT_TRUE(PolyFillSpans(culled, culledCount, mode, window, PixelGrid::Sink, &b));
            ASSERT_EQ(b.FirstDifference(a), "") << round;
        }
    }
    const int64_t far = (int64_t{1} << 30) * FILL_ONE;
    const FillPoint wild[4] = {FillPointFromDevice(50, 50), {-far, far}, {far, -far}, FillPointFromDevice(51, 50)};
    const RECT small{0, 0, 100, 100};
    std::vector<FillPoint> out;
    ASSERT_TRUE(BezierFlatten(wild, out, &small));
    EXPECT_LT(out.size(), 2000u);
    EXPECT_EQ(out.back().x, 51 * FILL_ONE);
}

// Without a clip, a region is refused past its extent or its count of rectangles, not built at
// any cost.
TEST(PolygonRegion, BoundedWithoutAClip)
{
    pixman_region32_t region;
    pixman_region32_init(&region);
    const FillPoint tall[] = {FillPointFromDevice(0, 0), FillPointFromDevice(1, 0),
                              FillPointFromDevice(1, POLYGON_REGION_EXTENT + 1),
                              FillPointFromDevice(0, POLYGON_REGION_EXTENT + 1)};
    const int four[] = {4};
    SetLastError(0);
    EXPECT_FALSE(PolygonRegionBuild(&region, tall, four, FILL_ALTERNATE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(pixman_region32_not_empty(&region));
    // Clipped, the same polygon is fine.
    const RECT clip{0, 0, 10, 10};
    ASSERT_TRUE(PolygonRegionBuild(&region, tall, four, FILL_ALTERNATE, &clip));
    EXPECT_EQ(pixman_region32_n_rects(&region), 1);
    // Slanted stripes, every row's spans new, pass the count of rectangles.
    std::vector<FillPoint> stripes;
    std::vector<int> counts;
    const int many = 8192;
    const LONG rows = LONG(POLYGON_REGION_BOXES / many) + 2;
    for (int t = 0; t < many; ++t) {
        stripes.insert(stripes.end(),
                       {FillPointFromDevice(4 * t, 0), FillPointFromDevice(4 * t + 2, 0),
                        FillPointFromDevice(4 * t + 2 + rows, rows), FillPointFromDevice(4 * t + rows, rows)});
        counts.push_back(4);
    }
    SetLastError(0);
    EXPECT_FALSE(PolygonRegionBuild(&region, stripes, counts, FILL_ALTERNATE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    pixman_region32_fini(&region);
}

// Teeth of a comb, `teeth` of them two pixels wide and `rows` tall, each leaning `lean` pixels
// from top to bottom.
void Comb(int teeth, LONG rows, LONG lean, std::vector<FillPoint>& points, std::vector<int>& counts)
{
    for (int t = 0; t < teeth; ++t) {
        points.insert(points.end(),
                      {FillPointFromDevice(4 * t, 0), FillPointFromDevice(4 * t + 2, 0),
                       FillPointFromDevice(4 * t + 2 + lean, rows), FillPointFromDevice(4 * t + lean, rows)});
        counts.push_back(4);
    }
}

struct SpanCount {
    FillScanControl* control = nullptr;
    size_t spans = 0, stopAfter = SIZE_MAX;
    std::vector<std::pair<LONG, LONG>> repeats;
    static void Sink(void* context, LONG, LONG, LONG)
    {
        auto* c = static_cast<SpanCount*>(context);
        if (++c->spans == c->stopAfter) c->control->stop = true;
    }
    static void Repeat(void* context, LONG from, LONG to)
    {
        static_cast<SpanCount*>(context)->repeats.push_back({from, to});
    }
};

// The scan's work follows what it makes, not its edges times its rows: it stops before the next
// row once told to, rows that repeat under vertical edges are handed over in one call, and a
// budget of edge steps ends scans whose edges pile up without making anything new.
TEST(PolygonRegion, ScanWorkIsBoundedByItsOutput)
{
    const RECT everything{-POLYGON_REGION_LIMIT, -POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT};
    std::vector<FillPoint> slanted, upright;
    std::vector<int> slantedCounts, uprightCounts;
    Comb(10000, 1000000, 1000000, slanted, slantedCounts);
    Comb(10000, 1000000, 0, upright, uprightCounts);
    // Told to stop on its first span, the scan ends with the row it is in.
    FillScanControl control;
    SpanCount count;
    count.control = &control;
    count.stopAfter = 1;
    ASSERT_TRUE(PolyFillSpans(slanted, slantedCounts, FILL_ALTERNATE, everything, SpanCount::Sink, &count, &control));
    EXPECT_EQ(count.spans, 10000u);
    EXPECT_EQ(control.work, 20000u);
    // Upright teeth: one row of spans, then the other 999,999 rows in one call.
    FillScanControl repeating;
    repeating.repeat = SpanCount::Repeat;
    SpanCount upCount;
    upCount.control = &repeating;
    ASSERT_TRUE(
        PolyFillSpans(upright, uprightCounts, FILL_ALTERNATE, everything, SpanCount::Sink, &upCount, &repeating));
    EXPECT_EQ(upCount.spans, 10000u);
    ASSERT_EQ(upCount.repeats.size(), 1u);
    EXPECT_EQ(upCount.repeats[0], (std::pair<LONG, LONG>{1, 1000000}));
    EXPECT_EQ(repeating.work, 20000u);
    // A budget ends the scan at the row that spends it.
    FillScanControl budgeted;
    budgeted.budget = 100000;
    SpanCount budgetCount;
    budgetCount.control = &budgeted;
    ASSERT_TRUE(
        PolyFillSpans(slanted, slantedCounts, FILL_ALTERNATE, everything, SpanCount::Sink, &budgetCount, &budgeted));
    EXPECT_TRUE(budgeted.exhausted);
    EXPECT_EQ(budgeted.work, 100000u);
    EXPECT_EQ(budgetCount.spans, 50000u);

    // The region builder: the upright comb is ten thousand rectangles a million rows tall, the
    // leaning one passes the count of rectangles, and a pile of leaning strips that makes few
    // rectangles but costs edges times rows is refused too.
    pixman_region32_t region;
    pixman_region32_init(&region);
    ASSERT_TRUE(PolygonRegionBuild(&region, upright, uprightCounts, FILL_ALTERNATE));
    EXPECT_EQ(pixman_region32_n_rects(&region), 10000);
    const pixman_box32_t* box = pixman_region32_extents(&region);
    EXPECT_EQ(box->x2, 39998);
    EXPECT_EQ(box->y2, 1000000);
    EXPECT_TRUE(pixman_region32_contains_point(&region, 4 * 9999 + 1, 999999, nullptr));
    EXPECT_FALSE(pixman_region32_contains_point(&region, 4 * 9999 + 2, 999999, nullptr));
    SetLastError(0);
    EXPECT_FALSE(PolygonRegionBuild(&region, slanted, slantedCounts, FILL_ALTERNATE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    std::vector<FillPoint> pile;
    std::vector<int> pileCounts;
    for (int i = 0; i < 200; ++i) Comb(1, 1000000, 1000, pile, pileCounts);
    SetLastError(0);
    EXPECT_FALSE(PolygonRegionBuild(&region, pile, pileCounts, FILL_WINDING));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    // One strip of the pile alone is fine: two edges a row.
    ASSERT_TRUE(PolygonRegionBuild(&region, std::span(pile).first(4), std::span(pileCounts).first(1), FILL_WINDING));
    EXPECT_TRUE(pixman_region32_not_empty(&region));
    pixman_region32_fini(&region);
}

TEST(PathRecord, FiguresLinesCurvesAndClosing)
{
    PathRecord path;
    const POINT lines[] = {{10, 0}, {10, 10}};
    ASSERT_TRUE(PathAddLines(path, POINT{0, 0}, lines));
    PathCloseFigure(path);
    // After a close the next lines start a new figure at the current position.
    const POINT more[] = {{20, 20}};
    ASSERT_TRUE(PathAddLines(path, POINT{10, 10}, more));
    const POINT curve[] = {{30, 20}, {30, 30}, {20, 30}, {99, 99}};  // the lone last point is ignored
    ASSERT_TRUE(PathAddBeziers(path, POINT{20, 20}, curve));
    PathMoveTo(path);
    const POINT tri[] = {{0, 40}, {5, 45}, {0, 50}};
    ASSERT_TRUE(PathAddPolygon(path, tri));
    const std::vector<BYTE> kinds = {PATH_MOVETO,
                                     PATH_LINETO,
                                     PATH_LINETO | PATH_CLOSEFIGURE,
                                     PATH_MOVETO,
                                     PATH_LINETO,
                                     PATH_BEZIERTO,
                                     PATH_BEZIERTO,
                                     PATH_BEZIERTO,
                                     PATH_MOVETO,
                                     PATH_LINETO,
                                     PATH_LINETO | PATH_CLOSEFIGURE};
    EXPECT_EQ(path.kinds, kinds);

    PathFigures figures;
    ASSERT_TRUE(PathFlattenFigures(path, figures));
    ASSERT_EQ(figures.counts.size(), 3u);
    EXPECT_EQ(figures.counts[0], 3);
    EXPECT_GT(figures.counts[1], 4);
    EXPECT_EQ(figures.counts[2], 3);
    EXPECT_EQ(figures.closed, (std::vector<bool>{true, false, true}));

    // FlattenPath keeps every point but curves, which become lines ending exactly on their end.
    PathRecord flat = path;
    ASSERT_TRUE(PathFlattenRecord(flat));
    for (BYTE k : flat.kinds) EXPECT_NE(k & ~PATH_CLOSEFIGURE, PATH_BEZIERTO);
    EXPECT_EQ(static_cast<int>(flat.points.size()), static_cast<int>(path.points.size()) - 3 + (figures.counts[1] - 2));
    auto last = std::find(flat.kinds.begin() + 4, flat.kinds.end(), PATH_MOVETO) - flat.kinds.begin() - 1;
    EXPECT_EQ(flat.points[last].x, 20);
    EXPECT_EQ(flat.points[last].y, 30);
}

struct PixelCounter {
    std::map<std::pair<LONG, LONG>, int> hits;
    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        for (LONG x = left; x < right; ++x) ++static_cast<PixelCounter*>(context)->hits[{x, y}];
    }
};

TEST(CosmeticFigures, ClosedFigureDrawsEveryVertexOnceAndOpenOneLeavesOutItsEnd)
{
    const POINT pts[] = {{0, 0}, {10, 3}, {7, 12}, {-4, 6}};
    for (bool closed : {true, false}) {
        PathRecord path;
        if (closed) {
            ASSERT_TRUE(PathAddPolygon(path, pts));
        } else {
            ASSERT_TRUE(PathAddLines(path, pts[0], std::span(pts).subspan(1)));
        }
        PathFigures figures;
        ASSERT_TRUE(PathFlattenFigures(path, figures));
        PixelCounter counter;
        CosmeticFigures(figures, RECT{-100, -100, 100, 100}, {}, PixelCounter::Sink, &counter);
        for (int i = 0; i < 4; ++i) {
            size_t want = closed || i < 3 ? 1 : 0;
            EXPECT_EQ(counter.hits.count(std::pair(pts[i].x, pts[i].y)), want)
                << "vertex " << i << (closed ? " closed" : " open");
        }
        for (auto& [pixel, n] : counter.hits) EXPECT_EQ(n, 1) << pixel.first << "," << pixel.second;
    }
}

TEST(PolygonRegion, SamePixelsAsTheFillInFewBands)
{
    std::mt19937 rng(8);
    std::uniform_int_distribution<int64_t> c(0, 30 * FILL_ONE);
    for (int round = 0; round < 100; ++round) {
        std::vector<FillPoint> pts;
        for (int i = 0; i < 7; ++i) pts.push_back({c(rng), c(rng)});
        const int counts[] = {7};
        for (int mode : {FILL_ALTERNATE, FILL_WINDING}) {
            pixman_region32_t region;
            pixman_region32_init(&region);
            ASSERT_TRUE(PolygonRegionBuild(&region, pts, counts, mode));
            const RECT box{-2, -2, 34, 34};
            PixelGrid fill(box);
            ASSERT_TRUE(PolyFillSpans(pts, counts, mode, box, PixelGrid::Sink, &fill));
            PixelGrid fromRegion(box);
            for (LONG y = box.top; y < box.bottom; ++y)
                for (LONG x = box.left; x < box.right; ++x)
                    fromRegion.Set(x, y, pixman_region32_contains_point(&region, x, y, nullptr));
            ASSERT_EQ(fromRegion.FirstDifference(fill), "") << round;
            pixman_region32_fini(&region);
        }
    }
    // A rectangle is one box; an empty polygon an empty region.
    const FillPoint rect[] = {FillPointFromDevice(1, 2), FillPointFromDevice(9, 2), FillPointFromDevice(9, 7),
                              FillPointFromDevice(1, 7)};
    const int four[] = {4};
    pixman_region32_t region;
    pixman_region32_init(&region);
    ASSERT_TRUE(PolygonRegionBuild(&region, rect, four, FILL_ALTERNATE));
    EXPECT_EQ(pixman_region32_n_rects(&region), 1);
    pixman_box32_t* box = pixman_region32_extents(&region);
    EXPECT_EQ(box->x1, 1);
    EXPECT_EQ(box->y1, 2);
    EXPECT_EQ(box->x2, 9);
    EXPECT_EQ(box->y2, 7);
    ASSERT_TRUE(PolygonRegionBuild(&region, std::span(rect, 2), std::span(four, 0), FILL_ALTERNATE));
    EXPECT_FALSE(pixman_region32_not_empty(&region));
    pixman_region32_fini(&region);
}

}  // namespace
