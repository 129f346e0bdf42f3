// The scan converter and the edge clipper against independent judges: the crossing number at
// each pixel's point, the GDI stand-in's polygon fill, and pixman's rasteriser on convex shapes.
#include <gtest/gtest.h>
#include <pixman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <random>

#include "tests/engine/raster/mask_surface.h"

namespace {

// Pixel (x, y) is inside when the point (x, y) is: every side spanning row y half-open and
// crossing it at or left of x counts (its direction, for the winding rule).
bool OracleInside(const std::vector<Figure>& figures, LONG x, LONG y, int rule)
{
    int crossings = 0, winding = 0;
    for (const Figure& f : figures) {
        for (size_t i = 0; i < f.size(); ++i) {
            POINT a = f[i == 0 ? f.size() - 1 : i - 1], b = f[i];
            if (a.y == b.y) continue;
            int direction = a.y < b.y ? -1 : 1;
            if (a.y > b.y) std::swap(a, b);
            if (y < a.y || y >= b.y) continue;
            // crossing x <= x  <=>  a.x * dy + (y - a.y) * dx <= x * dy, with dy > 0
            int64_t dy = int64_t{b.y} - a.y, dx = int64_t{b.x} - a.x;
            if (int64_t{a.x} * dy + (int64_t{y} - a.y) * dx <= int64_t{x} * dy) {
                ++crossings;
                winding += direction;
            }
        }
    }
    return rule == POLY_FILL_WINDING ? winding != 0 : (crossings & 1) != 0;
}

bool InRect(const RECT& r, LONG x, LONG y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

Figure Box(LONG l, LONG t, LONG r, LONG b) { return {{l, t}, {r, t}, {r, b}, {l, b}}; }

TEST(ScanConverter, RowsAndColumnsOfTheSpecifiedCases)
{
    // A rectangle with sides at 3 and 8 over rows 2 to 5 sets pixels 3..7 of those rows only.
    MaskSurface m(40, 10);
    ScanFill(m, {Box(3, 2, 8, 6)}, nullptr, POLY_FILL_ALTERNATE, SCAN_SET);
    EXPECT_EQ(m.FirstDifference([](LONG x, LONG y) { return x >= 3 && x < 8 && y >= 2 && y < 6; }), "");

    // A side from (0, 0) to (3, 2): x 0 on row 0, 2 on row 1 (the smallest integer not below 1.5).
    std::vector<Edge> edges = EdgesOf({{{0, 0}, {3, 2}, {-5, 2}}}, nullptr);
    auto side = std::find_if(edges.begin(), edges.end(), [](const Edge& e) { return e.bottom.x == 3; });
    ASSERT_NE(side, edges.end());
    EdgeState st = side->top;
    EXPECT_EQ(st.x, 0);
    EdgeStep(&*side, &st);
    EXPECT_EQ(st.x, 2);

    // Word boundaries: 30..34 touches two words, 32..64 exactly one, on set and on clear.
    struct Span {
        LONG x0, x1;
        std::vector<uint8_t> row;  // the first 12 bytes of the row after set
    };
    const Span spans[] = {
        {30, 34, {0, 0, 0, 0x03, 0xC0, 0, 0, 0, 0, 0, 0, 0}},
        {32, 64, {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0}},
        {33, 35, {0, 0, 0, 0, 0x60, 0, 0, 0, 0, 0, 0, 0}},
        {0, 96, std::vector<uint8_t>(12, 0xFF)},
    };
    for (const Span& s : spans) {
        MaskSurface set(96, 1), clear(96, 1);
        std::fill(clear.s->bits, clear.s->bits + clear.s->stride, 0xFF);
        ScanFill(set, {Box(s.x0, 0, s.x1, 1)}, nullptr, POLY_FILL_ALTERNATE, SCAN_SET);
        ScanFill(clear, {Box(s.x0, 0, s.x1, 1)}, nullptr, POLY_FILL_ALTERNATE, SCAN_CLEAR);
        std::vector<uint8_t> setRow(set.s->bits, set.s->bits + 12), clearRow(clear.s->bits, clear.s->bits + 12);
        EXPECT_EQ(setRow, s.row) << s.x0 << ".." << s.x1;
        for (uint8_t& b : clearRow) b = static_cast<uint8_t>(~b);
        EXPECT_EQ(clearRow, s.row) << s.x0 << ".." << s.x1;
    }
}

TEST(ScanConverter, FillRulesOnOverlapsAndStars)
{
    const std::vector<Figure> squares = {Box(2, 2, 12, 12), Box(7, 7, 17, 17)};
    const std::vector<Figure> star = {{{20, 2}, {27, 38}, {2, 14}, {38, 14}, {13, 38}}};
    for (const auto* shape : {&squares, &star}) {
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            MaskSurface m(40, 40);
            ScanFill(m, *shape, nullptr, rule, SCAN_SET);
            EXPECT_EQ(m.FirstDifference([&](LONG x, LONG y) { return OracleInside(*shape, x, y, rule); }), "");
        }
    }
    // The overlap and the star's centre: empty under alternate, filled under winding.
    for (auto [shape, x, y] : {std::tuple{&squares, 9, 9}, {&star, 20, 20}}) {
        MaskSurface alternate(40, 40), winding(40, 40);
        ScanFill(alternate, *shape, nullptr, POLY_FILL_ALTERNATE, SCAN_SET);
        ScanFill(winding, *shape, nullptr, POLY_FILL_WINDING, SCAN_SET);
        EXPECT_FALSE(alternate.Get(x, y));
        EXPECT_TRUE(winding.Get(x, y));
    }
}

TEST(ScanConverter, OperationsSetClearInvertAndNothing)
{
    std::mt19937 rng(5);
    const std::vector<Figure> star = {{{20, 1}, {27, 38}, {2, 14}, {38, 14}, {13, 38}}};
    MaskSurface noise(45, 40);
    for (uint32_t i = 0; i < noise.s->stride * noise.s->height; ++i) noise.s->bits[i] = static_cast<uint8_t>(rng());
    const std::vector<uint8_t> before = noise.Bytes();
    MaskSurface set(45, 40);
    ScanFill(set, star, nullptr, POLY_FILL_WINDING, SCAN_SET);

    ScanFill(noise, star, nullptr, POLY_FILL_WINDING, SCAN_CLEAR);  // clears exactly what set sets
    for (LONG y = 0; y < 40; ++y)
        for (LONG x = 0; x < 45; ++x) {
            bool was = (before[y * noise.s->stride + x / 8] >> (7 - x % 8)) & 1;
            ASSERT_EQ(noise.Get(x, y), was && !set.Get(x, y)) << x << "," << y;
        }
    std::copy(before.begin(), before.end(), noise.s->bits);
    ScanFill(noise, star, nullptr, POLY_FILL_WINDING, SCAN_INVERT);
    EXPECT_NE(noise.Bytes(), before);
    ScanFill(noise, star, nullptr, POLY_FILL_WINDING, SCAN_INVERT);
    EXPECT_EQ(noise.Bytes(), before);
    for (int operation : {0, 4})
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            ScanFill(noise, star, nullptr, rule, operation);
            EXPECT_EQ(noise.Bytes(), before);
        }
}

std::vector<Figure> RandomFigures(std::mt19937& rng, LONG w, LONG h, LONG reach)
{
    std::uniform_int_distribution<LONG> figures(1, 3), points(3, 10), x(-reach, w + reach), y(-reach, h + reach);
    std::vector<Figure> out(figures(rng));
    for (Figure& f : out) {
        f.resize(points(rng));
        for (POINT& p : f) p = POINT{x(rng), y(rng)};
    }
    return out;
}

TEST(ScanConverter, EqualsTheCrossingNumberAndTheGdiFillClippedToRandomRectangles)
{
    std::mt19937 rng(2026);
    const LONG w = 70, h = 50;
    for (int round = 0; round < 600; ++round) {
        std::vector<Figure> figures = RandomFigures(rng, w, h, round % 3 == 0 ? 200 : 15);
        std::uniform_int_distribution<LONG> cx(0, w), cy(0, h);
        RECT clip{0, 0, w, h};
        if (round % 4 != 0) {
            LONG l = cx(rng), r = cx(rng), t = cy(rng), b = cy(rng);
            clip = RECT{std::min(l, r), std::min(t, b), std::max(l, r) + 1, std::max(t, b) + 1};
        }
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            MaskSurface ours(w, h), gdi(w, h);
            // The monotone promise may be broken here: the result must not depend on it.
            ScanFill(ours, figures, &clip, rule, SCAN_SET, round % 2);
            GdiFill(gdi, figures, clip, rule);
            ASSERT_EQ(ours.FirstDifference(
                          [&](LONG x, LONG y) { return InRect(clip, x, y) && OracleInside(figures, x, y, rule); }),
                      "")
                << "round " << round << " rule " << rule;
            ASSERT_EQ(ours.Bytes(), gdi.Bytes()) << "round " << round << " rule " << rule;
        }
    }
}

// A line of text starts many edges on the same row, often at the same x (a glyph's sides, the
// next glyph touching it): the row's new edges join the active ones in one merge. Rows of small
// random outlines whose corners lie on a coarse grid, so that tops, bottoms and x positions are
// shared, against the crossing number.
TEST(ScanConverter, RowsOfOutlinesSharingTopsAndCornersEqualTheCrossingNumber)
{
    std::mt19937 rng(4040);
    const LONG w = 160, h = 60;
    std::uniform_int_distribution<LONG> corners(3, 8), gridX(0, 6), gridY(0, 4), glyphs(4, 30);
    for (int round = 0; round < 80; ++round) {
        std::vector<Figure> figures;
        const int count = glyphs(rng);
        for (int g = 0; g < count; ++g) {
            const LONG x0 = 4 * (g % 38), y0 = 10 * (g / 38) + (round % 2 ? 0 : LONG(g % 3));
            Figure f(static_cast<size_t>(corners(rng)));
            for (POINT& p : f) p = POINT{x0 + 2 * gridX(rng), y0 + 6 * gridY(rng)};
            figures.push_back(f);
        }
        const RECT clip{0, 0, w, h};
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            MaskSurface ours(w, h);
            ScanFill(ours, figures, &clip, rule, SCAN_SET, round % 3 == 0);
            ASSERT_EQ(ours.FirstDifference([&](LONG x, LONG y) { return OracleInside(figures, x, y, rule); }), "")
                << "round " << round << " rule " << rule;
        }
    }
}

// The crossing number counted along each row, a plain reference for fills of thousands of
// figures: a side spanning row y half-open crosses it at the smallest integer x not left of its
// exact crossing, and pixel x is inside by the sides crossing at or left of x. Rows of `inside`
// are w bytes, 1 for inside.
std::vector<uint8_t> RowReference(const std::vector<Figure>& figures, LONG w, LONG h, int rule)
{
    struct Side {
        POINT a, b;  // a above b
        int direction;
    };
    std::vector<Side> sides;
    for (const Figure& f : figures)
        for (size_t i = 0; i < f.size(); ++i) {
            POINT a = f[i == 0 ? f.size() - 1 : i - 1], b = f[i];
            if (a.y == b.y) continue;
            const int direction = a.y < b.y ? -1 : 1;
            if (a.y > b.y) std::swap(a, b);
            sides.push_back({a, b, direction});
        }
    std::vector<uint8_t> inside(static_cast<size_t>(w * h));
    std::vector<int> change(static_cast<size_t>(w));
    for (LONG y = 0; y < h; ++y) {
        std::fill(change.begin(), change.end(), 0);
        for (const Side& s : sides) {
            if (y < s.a.y || y >= s.b.y) continue;
            const int64_t dy = int64_t{s.b.y} - s.a.y, dx = int64_t{s.b.x} - s.a.x;
            const int64_t n = int64_t{s.a.x} * dy + (int64_t{y} - s.a.y) * dx;
            const int64_t x = n >= 0 ? (n + dy - 1) / dy : -((-n) / dy);  // ceil(n / dy)
            if (x >= w) continue;
            change[static_cast<size_t>(std::max<int64_t>(x, 0))] += rule == POLY_FILL_WINDING ? s.direction : 1;
        }
        int sum = 0;
        for (LONG x = 0; x < w; ++x) {
            sum += change[static_cast<size_t>(x)];
            inside[static_cast<size_t>(y * w + x)] = rule == POLY_FILL_WINDING ? sum != 0 : (sum & 1) != 0;
        }
    }
    return inside;
}

// A star-shaped figure around (cx, cy): corners at rising angles and random radii, turned either way.
Figure Blob(std::mt19937& rng, LONG cx, LONG cy, LONG radius, bool reversed)
{
    std::uniform_int_distribution<int> corners(3, 9);
    std::uniform_real_distribution<double> reach(0.3, 1.0);
    const int n = corners(rng);
    Figure f;
    for (int i = 0; i < n; ++i) {
        const double angle = 2 * M_PI * (i + reach(rng) * 0.5) / n, r = radius * reach(rng);
        f.push_back(POINT{cx + static_cast<LONG>(std::lround(r * std::cos(angle))),
                          cy + static_cast<LONG>(std::lround(r * std::sin(angle)))});
    }
    if (reversed) std::reverse(f.begin(), f.end());
    return f;
}

// A page of glyph-like outlines in one fill: thousands of small closed figures, letters with and
// without holes on a jittered grid, some overlapping their neighbours, some across the surface's
// sides, clipped to the surface or to a random rectangle.
TEST(ScanConverter, ThousandsOfSmallOutlinesEqualTheRowReference)
{
    const LONG w = 640, h = 240;
    for (unsigned seed : {7u, 8u, 9u}) {
        std::mt19937 rng(seed);
        std::uniform_int_distribution<LONG> jitter(-3, 3), size(3, 11), coin(0, 3);
        std::vector<Figure> figures;
        for (LONG cy = -6; cy < h + 8; cy += 16)
            for (LONG cx = -5; cx < w + 6; cx += 12) {
                const LONG x = cx + jitter(rng), y = cy + jitter(rng), r = size(rng);
                const bool reversed = coin(rng) == 0;
                figures.push_back(Blob(rng, x, y, r, reversed));
                if (coin(rng) != 0) figures.push_back(Blob(rng, x, y, r / 3, !reversed));  // a hole
            }
        ASSERT_GT(figures.size(), 1500u);
        RECT clip{0, 0, w, h};
        if (seed != 7) clip = RECT{LONG(rng() % 100), LONG(rng() % 60), w - LONG(rng() % 100), h - LONG(rng() % 60)};
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            const std::vector<uint8_t> inside = RowReference(figures, w, h, rule);
            MaskSurface ours(w, h);
            ScanFill(ours, figures, &clip, rule, SCAN_SET);
            auto judge = [&](LONG x, LONG y) { return InRect(clip, x, y) && inside[y * w + x] != 0; };
            ASSERT_EQ(ours.FirstDifference(judge), "") << "seed " << seed << " rule " << rule;
        }
    }
}

// Rows meeting more edges than the converter keeps at hand, and surfaces taller than the rows it
// lists at once (figures far apart, one crossing from one such stretch into the next), set on a
// clear surface and inverted on a noisy one.
TEST(ScanConverter, CrowdedRowsAndTallSurfacesEqualTheRowReference)
{
    struct Case {
        const char* name;
        LONG w, h;
        std::vector<Figure> (*make)(std::mt19937&, LONG, LONG);
    };
    const Case cases[] = {
        {"1500 slivers across a row", 4600, 40,
         [](std::mt19937& rng, LONG w, LONG h) {
             std::uniform_int_distribution<LONG> top(-5, h / 2), bottom(h / 2, h + 5), lean(-3, 3);
             std::vector<Figure> out;
             for (LONG x = 0; x + 3 < w; x += 3) {
                 const LONG t = top(rng), b = bottom(rng);
                 out.push_back({{x, t}, {x + 2, t}, {x + 2 + lean(rng), b}, {x + lean(rng), b}});
             }
             return out;
         }},
        {"figures down a tall surface", 96, 9000,
         [](std::mt19937& rng, LONG w, LONG) {
             std::vector<Figure> out = {{{10, 4000}, {80, 4090}, {30, 4200}}, {{5, 8190}, {90, 8200}, {40, 8999}}};
             for (LONG y : std::initializer_list<LONG>{0, 50, 3000, 4095, 4096, 6000, 8191, 8192})
                 out.push_back(Blob(rng, w / 2, y, 30, y % 2 != 0));
             return out;
         }},
    };
    std::mt19937 rng(99);
    for (const Case& c : cases) {
        const std::vector<Figure> figures = c.make(rng, c.w, c.h);
        const RECT clip{0, 0, c.w, c.h};
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            const std::vector<uint8_t> inside = RowReference(figures, c.w, c.h, rule);
            MaskSurface set(c.w, c.h), noise(c.w, c.h);
            for (uint32_t i = 0; i < noise.s->stride * noise.s->height; ++i)
                noise.s->bits[i] = static_cast<uint8_t>(rng());
            const std::vector<uint8_t> noiseBits = noise.Bytes();
            ScanFill(set, figures, &clip, rule, SCAN_SET);
            ScanFill(noise, figures, &clip, rule, SCAN_INVERT);
            ASSERT_EQ(set.FirstDifference([&](LONG x, LONG y) { return inside[y * c.w + x] != 0; }), "")
                << c.name << " rule " << rule;
            ASSERT_EQ(noise.FirstDifference([&](LONG x, LONG y) {
                const bool was = (noiseBits[y * noise.s->stride + x / 8] >> (7 - x % 8)) & 1;
                return was != (inside[y * c.w + x] != 0);
            }),
                      "")
                << c.name << " rule " << rule;
        }
    }
}

// Edge tables made by hand, with states no builder makes (a correction on a vertical side, an
// error already above 0, sides that never close), against a plain walk: every edge stepped by
// EdgeStep from its top, each row's crossings sorted, spans by the fill rule.
TEST(ScanConverter, HandMadeEdgeStatesStepAsEdgeStepSays)
{
    std::mt19937 rng(314);
    const LONG w = 120, h = 50;
    for (int round = 0; round < 60; ++round) {
        std::uniform_int_distribution<int32_t> top(0, h - 1), length(1, 30), x(-10, w + 10), step(-2, 2), pick(0, 5);
        std::vector<Edge> table(static_cast<size_t>(10 + round));
        for (Edge& e : table) {
            e = Edge{};
            const int32_t y = top(rng), dy = length(rng);
            const bool vertical = pick(rng) < 2;
            e.dy = dy;
            e.xStep = vertical ? 0 : step(rng);
            e.remainder = vertical ? 0 : std::uniform_int_distribution<int32_t>(0, dy - 1)(rng);
            e.xDirection = pick(rng) < 3 ? 1 : -1;
            e.winding = pick(rng) < 3 ? 1 : -1;
            const int32_t error = pick(rng) == 0 ? std::uniform_int_distribution<int32_t>(1, dy)(rng)
                                                 : std::uniform_int_distribution<int32_t>(1 - dy, 0)(rng);
            e.top = EdgeState{x(rng), y, pick(rng) == 0 ? step(rng) : 0, error};
            e.bottom = EdgeState{0, y + dy, 0, 0};
        }
        for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
            std::vector<std::vector<std::pair<int32_t, int>>> rows(h);
            for (const Edge& e : table) {
                EdgeState st = e.top;
                for (; st.y < std::min<int32_t>(e.bottom.y, h); EdgeStep(&e, &st))
                    rows[st.y].push_back({st.x, e.winding});
            }
            MaskSurface expected(w, h), ours(w, h);
            for (LONG y = 0; y < h; ++y) {
                auto& r = rows[y];
                std::sort(r.begin(), r.end(), [](auto& a, auto& b) { return a.first < b.first; });
                int sum = 0;
                for (size_t i = 0; i + 1 < r.size(); ++i) {
                    sum = rule == POLY_FILL_WINDING ? sum + r[i].second : sum ^ 1;
                    if (sum == 0) continue;
                    for (int32_t px = std::max(r[i].first, 0); px < std::min<int32_t>(r[i + 1].first, w); ++px)
                        expected.Put(px, y, true);
                }
            }
            std::vector<Edge> edges = table;
            PolygonScanFill(ours.s.get(), edges.data(), static_cast<uint32_t>(edges.size()), 0, rule, SCAN_SET);
            ASSERT_EQ(ours.Bytes(), expected.Bytes()) << "round " << round << " rule " << rule;
        }
    }
}

// pixman samples pixel centres, so the same polygon moved by half a pixel covers the same pixels.
TEST(ScanConverter, EqualsPixmanCoverageOnConvexPolygons)
{
    std::mt19937 rng(41);
    const int size = 64;
    for (int round = 0; round < 200; ++round) {
        std::uniform_int_distribution<LONG> c(-4, size + 4);
        std::vector<POINT> cloud(3 + round % 9);
        for (POINT& p : cloud) p = POINT{c(rng), c(rng)};
        // The convex hull by the monotone chain.
        std::sort(cloud.begin(), cloud.end(), [](POINT a, POINT b) { return a.x != b.x ? a.x < b.x : a.y < b.y; });
        auto cross = [](POINT o, POINT a, POINT b) {
            return int64_t{a.x - o.x} * (b.y - o.y) - int64_t{a.y - o.y} * (b.x - o.x);
        };
        Figure hull(2 * cloud.size());
        size_t k = 0;
        for (size_t i = 0; i < cloud.size(); ++i) {
            while (k >= 2 && cross(hull[k - 2], hull[k - 1], cloud[i]) <= 0) --k;
            hull[k++] = cloud[i];
        }
        for (size_t i = cloud.size() - 1, t = k + 1; i > 0; --i) {
            while (k >= t && cross(hull[k - 2], hull[k - 1], cloud[i - 1]) <= 0) --k;
            hull[k++] = cloud[i - 1];
        }
        hull.resize(k - 1);
        if (hull.size() < 3) continue;

        MaskSurface ours(size, size);
        ScanFill(ours, {hull}, nullptr, POLY_FILL_WINDING, SCAN_SET, 1);
        std::vector<uint32_t> bits(size * size / 32);
        pixman_image_t* image = pixman_image_create_bits(PIXMAN_a1, size, size, bits.data(), size / 8);
        auto fixed = [](LONG v) { return pixman_int_to_fixed(v) + pixman_fixed_1 / 2; };
        std::vector<pixman_triangle_t> fan;
        for (size_t i = 1; i + 1 < hull.size(); ++i)
            fan.push_back({{fixed(hull[0].x), fixed(hull[0].y)},
                           {fixed(hull[i].x), fixed(hull[i].y)},
                           {fixed(hull[i + 1].x), fixed(hull[i + 1].y)}});
        pixman_add_triangles(image, 0, 0, static_cast<int>(fan.size()), fan.data());
        ASSERT_EQ(ours.FirstDifference(
                      [&](LONG x, LONG y) { return ((bits[y * size / 32 + x / 32] >> (x % 32)) & 1) != 0; }),
                  "")
            << "round " << round;
        pixman_image_unref(image);
    }
}

}  // namespace

namespace {

Figure RandomFigure(std::mt19937& rng, int n, LONG width, LONG height)
{
    std::uniform_int_distribution<LONG> x(0, width - 1), y(0, height - 1);
    Figure f(static_cast<size_t>(n));
    for (POINT& p : f) p = POINT{x(rng), y(rng)};
    return f;
}

}  // namespace

// Edges that cross one another many times a row (a random polygon's) keep their x order at a
// sort's cost a row at most, not a move per crossing: the work grows with the edges' rows times a
// logarithm, where crossings grow with the square of the edges.
TEST(ScanConverter, OrderingWorkIsBoundedWhateverTheCrossings)
{
    std::mt19937 rng(480);
    const LONG w = 1728, h = 256;
    for (int n : {4000, 16000, 64000}) {
        SCOPED_TRACE(n);
        const std::vector<Figure> figures = {RandomFigure(rng, n, w, h)};
        std::vector<Edge> edges = EdgesOf(figures, nullptr);
        uint64_t edgeRows = 0;
        for (const Edge& e : edges)
            edgeRows += uint64_t(std::max(std::min<int32_t>(e.bottom.y, h) - std::max<int32_t>(e.top.y, 0), 0));
        MaskSurface m(w, h);
        const uint64_t before = PolygonScanOrderWork();
        PolygonScanFill(m.s.get(), edges.data(), static_cast<uint32_t>(edges.size()), 0, POLY_FILL_WINDING, SCAN_SET);
        const uint64_t work = PolygonScanOrderWork() - before;
        EXPECT_GT(work, 0u);
        const uint64_t logarithm = uint64_t(std::bit_width(unsigned(n)));
        EXPECT_LE(work, 3 * edgeRows * (logarithm + 2)) << "edge rows " << edgeRows;
    }
}

// Rows sorted whole, and a band's first row starting thousands of edges at once, give the GDI
// fill's pixels.
TEST(ScanConverter, ManyCrossingEdgesEqualTheGdiFill)
{
    std::mt19937 rng(4849);
    const LONG w = 200, h = 32;
    // Half the figure reaches above the surface, so its edges start together on row 0.
    std::vector<Figure> figures = {RandomFigure(rng, 3000, w, 2 * h)};
    for (POINT& p : figures[0]) p.y -= h;
    const RECT clip{0, 0, w, h};
    for (int rule : {POLY_FILL_ALTERNATE, POLY_FILL_WINDING}) {
        MaskSurface ours(w, h), gdi(w, h);
        ScanFill(ours, figures, nullptr, rule, SCAN_SET);
        GdiFill(gdi, figures, clip, rule);
        ASSERT_EQ(ours.FirstDifference([&](LONG x, LONG y) { return gdi.Get(x, y); }), "") << "rule " << rule;
    }
}
