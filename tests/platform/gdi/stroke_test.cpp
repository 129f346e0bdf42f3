// Wide-pen outlines, filled by the winding rule, against geometric oracles: the set of points
// within half the width of the figure (round caps and joins), and exact rectangles and corners
// for flat and square caps and miter and bevel joins.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "pixel_grid.h"
#include "platform/gdi/stroke.h"
#include "platform/gdi/stroke_fill.h"

namespace {

PixelGrid Stroke(std::vector<POINT> pts, bool closed, StrokeStyle style, RECT box)
{
    std::vector<FillPoint> fill;
    for (POINT p : pts) fill.push_back(FillPointFromDevice(p.x, p.y));
    StrokeFigure figure{fill, closed};
    FillPolygonSet outline;
    EXPECT_TRUE(StrokeOutline(std::span(&figure, 1), style, outline));
    PixelGrid grid(box);
    EXPECT_TRUE(PolyFillSpans(outline.points, outline.counts, FILL_WINDING, box, PixelGrid::Sink, &grid));
    EXPECT_EQ(grid.overlaps, 0);
    return grid;
}

double DistanceToSegment(double px, double py, POINT a, POINT b)
{
    double dx = b.x - a.x, dy = b.y - a.y;
    double len2 = dx * dx + dy * dy;
    double t = len2 > 0 ? std::clamp(((px - a.x) * dx + (py - a.y) * dy) / len2, 0.0, 1.0) : 0.0;
    return std::hypot(px - (a.x + t * dx), py - (a.y + t * dy));
}

TEST(Stroke, RoundCapsAndJoinsCoverThePointsWithinHalfTheWidth)
{
    std::mt19937 rng(42);
    std::uniform_int_distribution<LONG> d(8, 56);
    std::uniform_int_distribution<int> w(1, 12);
    const RECT box{0, 0, 64, 64};
    for (int round = 0; round < 60; ++round) {
        std::vector<POINT> pts;
        for (int i = 0; i < 2 + round % 4; ++i) pts.push_back({d(rng), d(rng)});
        bool closed = round % 2 == 1;
        double width = w(rng);
        PixelGrid got = Stroke(pts, closed, StrokeStyle{width, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10.0, {}}, box);
        size_t segments = closed ? pts.size() : pts.size() - 1;
        for (LONG y = box.top; y < box.bottom; ++y)
            for (LONG x = box.left; x < box.right; ++x) {
                double dist = INFINITY;
                for (size_t i = 0; i < segments; ++i)
                    dist = std::min(dist, DistanceToSegment(x, y, pts[i], pts[(i + 1) % pts.size()]));
                if (std::fabs(dist - width / 2) < 0.2) continue;  // the round parts are polygons within 1/8 pixel
                ASSERT_EQ(got.Get(x, y), dist < width / 2) << "round " << round << " at " << x << "," << y;
            }
    }
}

TEST(Stroke, CapsOnAHorizontalLine)
{
    // (10, 20)-(30, 20), width 6: the body covers rows 17..22; flat ends at columns 10 and 30,
    // square caps reach 3 further each way, round caps bulge by 3 at the middle row and touch
    // the top row only at the end point, which the disc's vertex there leaves to the body.
    struct Case {
        DWORD cap;
        LONG left, right;  // columns covered on row 20
        LONG cornerLeft;  // leftmost column covered on row 17
    } cases[] = {{STROKE_CAP_FLAT, 10, 30, 10}, {STROKE_CAP_SQUARE, 7, 33, 7}, {STROKE_CAP_ROUND, 7, 33, 10}};
    for (const Case& c : cases) {
        PixelGrid g =
            Stroke({{10, 20}, {30, 20}}, false, StrokeStyle{6, c.cap, STROKE_JOIN_ROUND, 10, {}}, RECT{0, 0, 40, 40});
        for (LONG x = 0; x < 40; ++x)
            EXPECT_EQ(g.Get(x, 20), x >= c.left && x < c.right) << "cap " << c.cap << " x " << x;
        LONG leftmost = 40;
        for (LONG x = 39; x >= 0; --x)
            if (g.Get(x, 17)) leftmost = x;
        EXPECT_EQ(leftmost, c.cornerLeft) << "cap " << c.cap;
        for (LONG x = 0; x < 40; ++x) {
            EXPECT_FALSE(g.Get(x, 16));
            EXPECT_FALSE(g.Get(x, 23));
        }
    }
}

TEST(Stroke, JoinsOfARightAngle)
{
    // (4, 30)-(30, 30)-(30, 4), width 8, flat caps: the outer corner lies at (34, 34).
    // Miter fills the whole corner square, bevel cuts it along the diagonal, round cuts a quarter disc.
    const RECT box{0, 0, 40, 40};
    auto corner = [&](DWORD join) {
        return Stroke({{4, 30}, {30, 30}, {30, 4}}, false, StrokeStyle{8, STROKE_CAP_FLAT, join, 10, {}}, box);
    };
    PixelGrid miter = corner(STROKE_JOIN_MITER), bevel = corner(STROKE_JOIN_BEVEL), round = corner(STROKE_JOIN_ROUND);
    for (LONG y = 30; y < 36; ++y)
        for (LONG x = 30; x < 36; ++x) {
            EXPECT_EQ(miter.Get(x, y), x < 34 && y < 34) << x << "," << y;
            // the bevel edge runs from (34, 30) to (30, 34): x + y < 64 inside, on the line out
            // (it is the triangle's right/bottom side)
            EXPECT_EQ(bevel.Get(x, y), x < 34 && y < 34 && x + y < 64) << x << "," << y;
            double r = std::hypot(x - 30.0, y - 30.0);
            if (std::fabs(r - 4) > 0.2) {
                EXPECT_EQ(round.Get(x, y), x < 34 && y < 34 && r < 4) << x << "," << y;
            }
        }
    // The inner side is the same for all three: the corner's inside is covered by the bodies.
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 30; ++x) {
            EXPECT_EQ(miter.Get(x, y), bevel.Get(x, y));
            EXPECT_EQ(miter.Get(x, y), round.Get(x, y));
        }
}

TEST(Stroke, MiterLimitSwitchesToBevel)
{
    // A sharp turn: (4, 10)-(60, 20)-(4, 30). Its miter ratio is well above 2.
    std::vector<POINT> pts{{4, 10}, {60, 20}, {4, 30}};
    double ratio = StrokeMiterRatio(56, 10, -56, 10);
    ASSERT_GT(ratio, 5.0);
    ASSERT_LT(ratio, 6.0);
    EXPECT_DOUBLE_EQ(StrokeMiterRatio(1, 0, 1, 0), 1.0);
    EXPECT_NEAR(StrokeMiterRatio(1, 0, 0, 1), std::sqrt(2.0), 1e-12);
    const RECT box{0, 0, 100, 40};
    auto stroke = [&](DWORD join, double limit) {
        return Stroke(pts, false, StrokeStyle{6, STROKE_CAP_FLAT, join, limit, {}}, box);
    };
    PixelGrid bevel = stroke(STROKE_JOIN_BEVEL, 10);
    PixelGrid longMiter = stroke(STROKE_JOIN_MITER, 6.0);  // ratio below the limit: a miter
    PixelGrid cutMiter = stroke(STROKE_JOIN_MITER, 5.0);  // above it: a bevel
    EXPECT_EQ(cutMiter.FirstDifference(bevel), "");
    EXPECT_NE(longMiter.FirstDifference(bevel), "");
    // The miter's tip reaches ratio * width / 2 beyond the vertex along the bisector.
    LONG rightmost = 0;
    for (LONG x = 0; x < 100; ++x)
        if (longMiter.Get(x, 20)) rightmost = x;
    EXPECT_NEAR(rightmost, 60 + ratio * 3, 1.0);
}

TEST(Stroke, DashesAlongTheFigureEachWithCaps)
{
    // Dashes of 4 on, 2 off along (0, 5)-(20, 5), width 2, flat caps: columns 0-3, 6-9, 12-15, 18-19.
    const double dashes[] = {4, 2};
    PixelGrid g = Stroke({{0, 5}, {20, 5}}, false, StrokeStyle{2, STROKE_CAP_FLAT, STROKE_JOIN_ROUND, 10, dashes},
                         RECT{-5, 0, 30, 10});
    for (LONG x = -5; x < 30; ++x) {
        bool on = x >= 0 && x < 20 && (x % 6) < 4;
        EXPECT_EQ(g.Get(x, 5), on) << x;
        EXPECT_EQ(g.Get(x, 4), on) << x;
        EXPECT_FALSE(g.Get(x, 6));
    }
    // Square caps lengthen every dash by half the width at each end: 4 + 2 = 6 fills the gaps.
    PixelGrid sq = Stroke({{0, 5}, {20, 5}}, false, StrokeStyle{2, STROKE_CAP_SQUARE, STROKE_JOIN_ROUND, 10, dashes},
                          RECT{-5, 0, 30, 10});
    for (LONG x = -1; x < 21; ++x) EXPECT_TRUE(sq.Get(x, 5)) << x;
    // The dash runs on around a corner: (0, 0)-(3, 0)-(3, 10) with {5, 5}: on for 5 along, i.e.
    // to (3, 2), then off to (3, 7), then on.
    const double five[] = {5, 5};
    PixelGrid corner = Stroke({{0, 0}, {3, 0}, {3, 10}}, false,
                              StrokeStyle{1, STROKE_CAP_FLAT, STROKE_JOIN_MITER, 10, five}, RECT{-2, -2, 8, 12});
    EXPECT_TRUE(corner.Get(3, 1));
    EXPECT_FALSE(corner.Get(3, 3));
    EXPECT_FALSE(corner.Get(3, 6));
    EXPECT_TRUE(corner.Get(3, 8));
}

TEST(Stroke, DashesOfAHugeLineAreWalkedOnlyWhereVisible)
{
    // (-2e9, 5)-(2e9, 5) with {4, 2}: at x the pattern stands at (x + 2e9) mod 6. Walking four
    // billion pixels of dashes would not finish; with the clip only the window is.
    const double dashes[] = {4, 2};
    const RECT window{0, 0, 30, 10};
    std::vector<FillPoint> line{FillPointFromDevice(-2000000000, 5), FillPointFromDevice(2000000000, 5)};
    StrokeFigure figure{line, false};
    FillPolygonSet outline;
    ASSERT_TRUE(StrokeOutline(std::span(&figure, 1),
                              StrokeStyle{2, STROKE_CAP_FLAT, STROKE_JOIN_ROUND, 10, dashes, &window}, outline));
    EXPECT_LT(outline.counts.size(), 40u);
    PixelGrid g(window);
    ASSERT_TRUE(PolyFillSpans(outline.points, outline.counts, FILL_WINDING, window, PixelGrid::Sink, &g));
    for (LONG x = 0; x < 30; ++x) EXPECT_EQ(g.Get(x, 5), (int64_t{x} + 2000000000) % 6 < 4) << x;
}

// Figures in device pixels, stroked as one outline and filled as the wide pen fills it; `points`
// receives the outline's size.
PixelGrid StrokeFigures(const std::vector<std::vector<POINT>>& figures, bool closed, const StrokeStyle& style, RECT box,
                        size_t* points = nullptr)
{
    std::vector<std::vector<FillPoint>> fill(figures.size());
    std::vector<StrokeFigure> parts;
    for (size_t f = 0; f < figures.size(); ++f) {
        for (POINT p : figures[f]) fill[f].push_back(FillPointFromDevice(p.x, p.y));
        parts.push_back({fill[f], closed});
    }
    FillPolygonSet outline;
    EXPECT_TRUE(StrokeOutline(parts, style, outline));
    if (points) *points = outline.points.size();
    PixelGrid grid(box);
    EXPECT_TRUE(StrokeFillSpans(outline.points, outline.counts, box, PixelGrid::Sink, &grid));
    return grid;
}

// Dashes as the engine hands them over along a sloped line, their ends rounded to pixels: `on`
// pixels along the major axis, then `off`; with no gap every dash starts where the line does, as
// the engine's walk makes them for a pattern whose gaps are empty.
std::vector<std::vector<POINT>> SlopedDashPieces(POINT from, POINT to, LONG on, LONG off)
{
    std::vector<std::vector<POINT>> pieces;
    const LONG length = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
    auto at = [&](LONG t) {
        return POINT{from.x + LONG(std::lround(double(to.x - from.x) * t / length)),
                     from.y + LONG(std::lround(double(to.y - from.y) * t / length))};
    };
    for (LONG t = 0; t < length; t += on + off)
        pieces.push_back({off == 0 ? from : at(t), at(std::min(t + on, length))});
    return pieces;
}

// Dashes as the engine hands them over: each its own open figure of two points along the line.
std::vector<std::vector<POINT>> DashPieces(POINT from, POINT to, LONG on, LONG off)
{
    std::vector<std::vector<POINT>> pieces;
    const LONG length = std::max(std::abs(to.x - from.x), std::abs(to.y - from.y));
    const LONG sx = (to.x > from.x) - (to.x < from.x), sy = (to.y > from.y) - (to.y < from.y);
    for (LONG t = 0; t < length; t += on + off) {
        const LONG e = std::min(t + on, length);
        pieces.push_back({{from.x + sx * t, from.y + sy * t}, {from.x + sx * e, from.y + sy * e}});
    }
    return pieces;
}

// A stroke given the clip leaves out pieces and discs that no pixel of the clip needs, and the
// pixels in the clip stay those of the whole stroke seen through it: every figure, pen and
// window of the table, including windows that are thin bands, cut the stroke's ends or lie
// wholly beside it, and figures whose pen reaches the window from far off it.
TEST(Stroke, PiecesThatTheClipCannotSeeAreLeftOutWithoutChangingItsPixels)
{
    struct Figures {
        const char* what;
        std::vector<std::vector<POINT>> figures;
        bool closed;
    };
    auto concat = [](std::vector<std::vector<POINT>> a, const std::vector<std::vector<POINT>>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const Figures figures[] = {
        {"tall frame", {{{0, 0}, {400, 0}, {400, 3000}, {0, 3000}}}, true},
        {"open corners", {{{0, 0}, {300, 40}, {320, 500}, {-200, 520}, {-180, 60}}}, false},
        {"long column", {{{40, -5000}, {40, 5000}}}, false},
        {"long row", {{{-5000, 1012}, {5000, 1012}}}, false},
        {"diagonal", {{{-3000, -2000}, {3000, 4100}}}, false},
        {"frame in engine dashes",
         concat(concat(DashPieces({-16, 972}, {359, 972}, 5, 5), DashPieces({359, 972}, {359, 7000}, 5, 5)),
                concat(DashPieces({359, 7000}, {-16, 7000}, 5, 5), DashPieces({-16, 7000}, {-16, 972}, 5, 5))),
         false},
        {"row of engine dashes off the window", DashPieces({-5000, -800}, {5000, -800}, 1, 3), false},
        {"column of engine dashes crossing it", DashPieces({200, -4000}, {200, 4000}, 3, 3), false},
    };
    const double dots[] = {3, 3}, user[] = {36, 12, 8, 12}, fine[] = {1, 1};
    const StrokeStyle styles[] = {
        {1, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, {}},      {7, STROKE_CAP_SQUARE, STROKE_JOIN_MITER, 10, dots},
        {60, STROKE_CAP_ROUND, STROKE_JOIN_MITER, 10, dots},   {60, STROKE_CAP_FLAT, STROKE_JOIN_BEVEL, 10, user},
        {33, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 4, fine},    {1501, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, {}},
        {1501, STROKE_CAP_SQUARE, STROKE_JOIN_MITER, 2, user},
    };
    const RECT windows[] = {
        {-50, 1000, 450, 1030}, {-60, -40, 450, -10},    {380, 2990, 420, 3010}, {-1728, 1054, 0, 1055},
        {100, 100, 300, 1900},  {-300, 3100, 700, 3300}, {150, -700, 260, -600},
    };
    for (const Figures& f : figures)
        for (const StrokeStyle& whole : styles)
            for (const RECT& window : windows) {
                StrokeStyle clipped = whole;
                clipped.clip = &window;
                const PixelGrid expected = StrokeFigures(f.figures, f.closed, whole, window);
                const PixelGrid got = StrokeFigures(f.figures, f.closed, clipped, window);
                ASSERT_EQ(got.FirstDifference(expected), "")
                    << f.what << ", width " << whole.width << ", cap " << whole.endCap << ", " << whole.dashes.size()
                    << " dashes, window " << window.left << "," << window.top << "," << window.right << ","
                    << window.bottom;
            }
    // Sloped figures at several angles, dashed by the engine or by the pen, under pens whose
    // width dwarfs their dashes: the clip leaves out caps and bodies in any direction, and the
    // windows lie inside the stroke, across its edges and beside it.
    const Figures sloped[] = {
        {"shallow engine dots", SlopedDashPieces({-900, 950}, {900, 1050}, 5, 5), false},
        {"steep engine dots", SlopedDashPieces({-75, -1000}, {75, 1000}, 5, 5), false},
        {"engine dots at 45 degrees", SlopedDashPieces({-1000, 0}, {1000, 2000}, 5, 5), false},
        {"engine dashes at 30 degrees", SlopedDashPieces({1500, -300}, {-500, 855}, 7, 3), false},
        {"engine dashes without gaps", SlopedDashPieces({-1000, -500}, {800, 1300}, 5, 0), false},
        {"sloped zigzag", {{{-2000, -1800}, {900, 1100}, {-400, 2600}, {2600, 2900}}}, false},
    };
    const double gapless[] = {5, 0};
    const StrokeStyle wide[] = {
        {60, STROKE_CAP_ROUND, STROKE_JOIN_MITER, 10, dots},
        {1501, STROKE_CAP_SQUARE, STROKE_JOIN_MITER, 2, user},
        {2400, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, gapless},
    };
    const RECT bands[] = {{-1728, 1000, 1728, 1030}, {1300, 0, 2500, 64}, {-2000, 1900, -1600, 2300}};
    for (const Figures& f : sloped)
        for (const StrokeStyle& whole : wide)
            for (const RECT& window : bands) {
                StrokeStyle clipped = whole;
                clipped.clip = &window;
                const PixelGrid expected = StrokeFigures(f.figures, f.closed, whole, window);
                const PixelGrid got = StrokeFigures(f.figures, f.closed, clipped, window);
                ASSERT_EQ(got.FirstDifference(expected), "")
                    << f.what << ", width " << whole.width << ", " << whole.dashes.size() << " dashes, window "
                    << window.left << "," << window.top << "," << window.right << "," << window.bottom;
            }
    // A thin band beside an engine-dashed frame whose pen is far wider than its dashes: of the
    // thousands of round caps that reach the band, those nearest it along each side remain.
    const RECT band{-1728, 1000, 1728, 1030};
    const StrokeStyle wide5642{5642, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, {}};
    StrokeStyle near = wide5642;
    near.clip = &band;
    size_t all = 0, kept = 0;
    const PixelGrid expected = StrokeFigures(figures[5].figures, false, wide5642, band, &all);
    const PixelGrid got = StrokeFigures(figures[5].figures, false, near, band, &kept);
    EXPECT_EQ(got.FirstDifference(expected), "");
    EXPECT_LT(kept * 20, all);
    // The same for a band that the dotted diagonal's pen covers whole, and one that its edge
    // crosses: of the thousands of caps and bodies, those whose own edges run there remain.
    const std::vector<std::vector<POINT>> diagonal = SlopedDashPieces({-3000, -2000}, {3000, 4000}, 5, 5);
    const RECT across[] = {{-1728, 1000, 0, 1128}, {2000, 0, 3728, 128}};
    for (const RECT& b : across) {
        near.clip = &b;
        const PixelGrid whole = StrokeFigures(diagonal, false, wide5642, b, &all);
        const PixelGrid seen = StrokeFigures(diagonal, false, near, b, &kept);
        EXPECT_EQ(seen.FirstDifference(whole), "") << b.left << "," << b.top;
        EXPECT_LT(kept * 10, all) << b.left << "," << b.top;
    }
}

// A page is drawn band by band, and each band strokes the figure with its own clip: it must get
// exactly the pixels that the whole stroke has there. Random figures reaching far beyond the page,
// random pens (caps, joins, miter limits below and above sqrt(2), widths from one pixel to wider
// than the page, the styled dashes and user dashes with empty elements) and random windows: rows
// of the page, thin bands, windows that cut the stroke and windows beside it.
TEST(Stroke, EveryBandGetsThePixelsOfTheWholeStroke)
{
    std::mt19937 rng(41);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const DWORD caps[] = {STROKE_CAP_ROUND, STROKE_CAP_SQUARE, STROKE_CAP_FLAT};
    const DWORD joins[] = {STROKE_JOIN_ROUND, STROKE_JOIN_BEVEL, STROKE_JOIN_MITER};
    const std::vector<double> styles[] = {{3, 1}, {1, 1}, {3, 1, 1, 1}, {3, 1, 1, 1, 1, 1}};
    for (int round = 0; round < 400; ++round) {
        std::vector<POINT> pts;
        for (int i = 0, n = 2 + pick(5); i < n; ++i) {
            const LONG spread = pick(4) == 0 ? 6000 : 1200;
            pts.push_back({LONG(350 + pick(2 * spread) - spread), LONG(150 + pick(2 * spread) - spread)});
        }
        const bool closed = pick(2) == 1;
        const double widths[] = {1, uniform(1, 20), uniform(20, 300), uniform(300, 3000)};
        const double width = widths[pick(4)];
        std::vector<double> dashes;
        if (pick(3) > 0) {
            for (double u : styles[pick(4)]) dashes.push_back(u * width);
        } else {
            for (int i = 0, n = 2 * (1 + pick(3)); i < n; ++i) dashes.push_back(pick(5) == 0 ? 0 : uniform(0.5, 60));
            dashes[0] += 1;
        }
        const StrokeStyle whole{width, caps[pick(3)], joins[pick(3)], uniform(0.8, 3), dashes};
        RECT window;
        switch (pick(3)) {
            case 0: {  // a band of the page's rows
                const LONG top = pick(300), rows = 1 + pick(64);
                window = {0, top, 700, top + rows};
                break;
            }
            case 1: {  // a thin band across
                const LONG top = pick(300);
                window = {-100, top, 800, top + 1 + pick(3)};
                break;
            }
            default: {
                const LONG left = pick(700), top = pick(300);
                window = {left, top, left + 1 + pick(120), top + 1 + pick(120)};
            }
        }
        StrokeStyle clipped = whole;
        clipped.clip = &window;
        const PixelGrid expected = StrokeFigures({pts}, closed, whole, window);
        const PixelGrid got = StrokeFigures({pts}, closed, clipped, window);
        ASSERT_EQ(got.FirstDifference(expected), "")
            << "round " << round << ", width " << whole.width << ", cap " << whole.endCap << ", join " << whole.join
            << ", miter " << whole.miterLimit << ", " << dashes.size() << " dashes, window " << window.left << ","
            << window.top << "," << window.right << "," << window.bottom;
    }
}

// Found by a review: a wide dash-dot-dot pen with flat caps and bevel joins, drawn for the rows
// 123 to 178 of a page, cut its dashes where the band's view of the line ends, and the rounded
// corners of the cut dashes set other pixels than the whole stroke's.
TEST(Stroke, ADashCutAtTheBandsEdgeKeepsItsCorners)
{
    const double width = 181;
    const double dashes[] = {3 * width, width, width, width, width, width};
    const std::vector<std::vector<POINT>> figure{{{506, 228}, {117, -186}, {27, -100}, {320, 613}}};
    const StrokeStyle whole{width, STROKE_CAP_FLAT, STROKE_JOIN_BEVEL, 1.5, dashes};
    const RECT band{0, 123, 700, 179};
    StrokeStyle clipped = whole;
    clipped.clip = &band;
    const PixelGrid expected = StrokeFigures(figure, false, whole, band);
    const PixelGrid got = StrokeFigures(figure, false, clipped, band);
    EXPECT_EQ(got.FirstDifference(expected), "");
}

TEST(Stroke, ClosedFigureHasJoinsEverywhereAndNoCaps)
{
    // A closed square with miter joins is a square frame; square caps change nothing on it.
    std::vector<POINT> square{{10, 10}, {30, 10}, {30, 30}, {10, 30}};
    const RECT box{0, 0, 40, 40};
    PixelGrid a = Stroke(square, true, StrokeStyle{4, STROKE_CAP_ROUND, STROKE_JOIN_MITER, 10, {}}, box);
    PixelGrid b = Stroke(square, true, StrokeStyle{4, STROKE_CAP_SQUARE, STROKE_JOIN_MITER, 10, {}}, box);
    EXPECT_EQ(a.FirstDifference(b), "");
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 40; ++x) {
            bool outer = x >= 8 && x < 32 && y >= 8 && y < 32;
            bool inner = x >= 12 && x < 28 && y >= 12 && y < 28;
            EXPECT_EQ(a.Get(x, y), outer && !inner) << x << "," << y;
        }
    // A figure of one point leaves no mark.
    EXPECT_EQ(Stroke({{5, 5}, {5, 5}}, false, StrokeStyle{4, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, {}}, box).Count(),
              0);
}

}  // namespace
