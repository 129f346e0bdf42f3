// The wide pen's piece-by-piece fill against the general scan converter, span for span, and the
// wide pen's painting of its runs against painting its outline's region through the raster core
// (the road strokes took before), byte for byte.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/line.h"
#include "platform/gdi/path_draw.h"
#include "platform/gdi/stroke.h"
#include "platform/gdi/stroke_fill.h"

namespace {

using Spans = std::vector<std::array<LONG, 3>>;

void Collect(void* context, LONG y, LONG left, LONG right)
{
    static_cast<Spans*>(context)->push_back({y, left, right});
}

std::string Compare(const Spans& got, const Spans& want)
{
    for (size_t i = 0; i < std::min(got.size(), want.size()); ++i)
        if (got[i] != want[i])
            return "span " + std::to_string(i) + ": row " + std::to_string(got[i][0]) + " [" +
                   std::to_string(got[i][1]) + ", " + std::to_string(got[i][2]) + ") against row " +
                   std::to_string(want[i][0]) + " [" + std::to_string(want[i][1]) + ", " + std::to_string(want[i][2]) +
                   ")";
    return got.size() == want.size() ? ""
                                     : std::to_string(got.size()) + " spans against " + std::to_string(want.size());
}

// Both scans of the same polygons in the same window.
void ExpectSameSpans(const FillPolygonSet& set, const RECT& window, const std::string& what)
{
    Spans got, want;
    ASSERT_TRUE(StrokeFillSpans(set.points, set.counts, window, Collect, &got));
    ASSERT_TRUE(PolyFillSpans(set.points, set.counts, FILL_WINDING, window, Collect, &want));
    ASSERT_EQ(Compare(got, want), "") << what;
}

// Random outlines of random pens and figures, seen through random windows (thin bands, windows
// that cut the stroke, windows beside it), some given the window as the outline's clip; and
// random polygons of any shape (folded, crossed, wound both ways, not monotone) on their own and
// mixed into outlines, so that every row that cannot be merged bit by bit is met.
TEST(StrokeFill, GivesTheSpansOfTheGeneralScan)
{
    std::mt19937 rng(7);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    const DWORD caps[] = {STROKE_CAP_ROUND, STROKE_CAP_SQUARE, STROKE_CAP_FLAT};
    const DWORD joins[] = {STROKE_JOIN_ROUND, STROKE_JOIN_BEVEL, STROKE_JOIN_MITER};
    for (int round = 0; round < 600; ++round) {
        std::vector<FillPoint> pts;
        const int spread = pick(3) == 0 ? 2000 : 200;
        for (int i = 0, n = 2 + pick(8); i < n; ++i)
            pts.push_back({int64_t(pick(2 * spread * int(FILL_ONE))) - 100 * FILL_ONE,
                           int64_t(pick(2 * spread * int(FILL_ONE))) - 100 * FILL_ONE});
        const double widths[] = {1, uniform(1, 6), uniform(6, 40), uniform(40, 400)};
        const double width = widths[pick(4)];
        std::vector<double> dashes;
        if (pick(2) == 0)
            for (int i = 0, n = 2 * (1 + pick(3)); i < n; ++i)
                dashes.push_back(uniform(0, 3 * width) + (i == 0 ? 1 : 0));
        RECT window;
        const LONG left = pick(300) - 100, top = pick(300) - 100;
        switch (pick(3)) {
            case 0: window = {left, top, left + 1 + pick(300), top + 1 + pick(3)}; break;
            case 1: window = {-200, top, 600, top + 1 + pick(64)}; break;
            default: window = {left, top, left + 1 + pick(200), top + 1 + pick(200)};
        }
        StrokeStyle style{width, caps[pick(3)], joins[pick(3)], uniform(0.8, 6), dashes};
        if (pick(2) == 0) style.clip = &window;
        const StrokeFigure figure{pts, pick(2) == 0};
        FillPolygonSet set;
        ASSERT_TRUE(StrokeOutline(std::span(&figure, 1), style, set));
        if (pick(3) == 0) {
            // Polygons of any shape, alone or among the outline's pieces.
            if (pick(2) == 0) set = {};
            for (int k = 0, polygons = 1 + pick(4); k < polygons; ++k) {
                const int n = 3 + pick(7);
                for (int i = 0; i < n; ++i)
                    set.points.push_back({int64_t(pick(400 * int(FILL_ONE))) - 100 * FILL_ONE,
                                          int64_t(pick(400 * int(FILL_ONE))) - 100 * FILL_ONE});
                set.counts.push_back(n);
            }
        }
        ExpectSameSpans(set, window,
                        "round " + std::to_string(round) + ", width " + std::to_string(width) + ", " +
                            std::to_string(set.counts.size()) + " polygons");
    }
}

// Shapes whose windings are not all of one sign: the pixels are the winding sum's, not the union's.
TEST(StrokeFill, PolygonsWoundBothWaysTakeTheWindingSum)
{
    auto square = [](int64_t x, int64_t y, int64_t size, bool clockwise) {
        std::vector<FillPoint> p{FillPointFromDevice(x, y), FillPointFromDevice(x + size, y),
                                 FillPointFromDevice(x + size, y + size), FillPointFromDevice(x, y + size)};
        if (!clockwise) std::reverse(p.begin(), p.end());
        return p;
    };
    struct Case {
        const char* what;
        std::vector<std::vector<FillPoint>> polygons;
        POINT empty;  // a pixel the winding sum leaves out
    };
    const Case cases[] = {
        {"squares wound against each other", {square(0, 0, 10, true), square(5, 5, 10, false)}, {7, 7}},
        {"a bow tie",
         {{FillPointFromDevice(0, 0), FillPointFromDevice(20, 20), FillPointFromDevice(20, 0),
           FillPointFromDevice(0, 20)}},
         {10, 2}},
        {"a hole wound back inside a square", {square(0, 0, 20, true), square(5, 5, 10, false)}, {10, 10}},
        {"a square inside a comb",
         {{FillPointFromDevice(0, 0), FillPointFromDevice(4, 0), FillPointFromDevice(4, 12), FillPointFromDevice(8, 12),
           FillPointFromDevice(8, 0), FillPointFromDevice(12, 0), FillPointFromDevice(12, 16),
           FillPointFromDevice(0, 16)},
          square(2, 2, 4, false)},
         {3, 4}},
    };
    const RECT window{-2, -2, 24, 24};
    for (const Case& c : cases) {
        FillPolygonSet set;
        for (const std::vector<FillPoint>& p : c.polygons) {
            set.points.insert(set.points.end(), p.begin(), p.end());
            set.counts.push_back(int(p.size()));
        }
        ExpectSameSpans(set, window, c.what);
        Spans got;
        ASSERT_TRUE(StrokeFillSpans(set.points, set.counts, window, Collect, &got));
        for (const auto& s : got) EXPECT_FALSE(s[0] == c.empty.y && s[1] <= c.empty.x && c.empty.x < s[2]) << c.what;
    }
}

// A DIB section of the given depth with random pixels, and a DC holding it.
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;
    size_t bytes = 0;
    Surface(int width, int height, int bpp, std::mt19937& rng)
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[256];
        } info{};
        info.header = {sizeof(BITMAPINFOHEADER), width, -height, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
        for (RGBQUAD& c : info.colors) c = {BYTE(rng()), BYTE(rng()), BYTE(rng()), 0};
        dc = CreateCompatibleDC(nullptr);
        void* raw = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw, nullptr, 0);
        bits = static_cast<uint8_t*>(raw);
        bytes = size_t((width * bpp + 31) / 32 * 4) * size_t(height);
        for (size_t i = 0; i < bytes; ++i) bits[i] = uint8_t(rng());
        old = SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
};

// Random wide pens over random figures on bitmaps of every depth, through random clip regions, by
// every mix: the runs painted as they come set every byte as painting the outline's region did.
TEST(StrokeFill, PaintsWhatTheOutlinesRegionPaints)
{
    std::mt19937 rng(11);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const int depths[] = {1, 4, 8, 16, 24, 32};
    const DWORD caps[] = {PS_ENDCAP_ROUND, PS_ENDCAP_SQUARE, PS_ENDCAP_FLAT};
    const DWORD joins[] = {PS_JOIN_ROUND, PS_JOIN_BEVEL, PS_JOIN_MITER};
    const DWORD styles[] = {PS_SOLID, PS_DASH, PS_DOT, PS_DASHDOT, PS_DASHDOTDOT, PS_USERSTYLE};
    struct {
        BITMAPINFOHEADER header;
        uint32_t rows[3][3];
    } packed{{sizeof(BITMAPINFOHEADER), 3, -3, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
             {{0xFF0000, 0x00FF00, 0x0000FF}, {0x000000, 0xFFFFFF, 0x808080}, {0x123456, 0xFEDCBA, 0x00FF00}}};
    for (int round = 0; round < 240; ++round) {
        const int width = 20 + pick(120), height = 20 + pick(120), bpp = depths[round % 6];
        const unsigned seed = unsigned(rng());
        std::mt19937 same(seed), again(seed);
        Surface ours(width, height, bpp, same), theirs(width, height, bpp, again);
        const DWORD style = styles[pick(6)];
        const DWORD user[] = {DWORD(1 + pick(12)), DWORD(pick(8)), DWORD(1 + pick(6)), DWORD(1 + pick(9))};
        LOGBRUSH brush{BS_SOLID, RGB(pick(256), pick(256), pick(256)), 0};
        if (pick(5) == 0) brush = {BS_DIBPATTERNPT, DIB_RGB_COLORS, reinterpret_cast<ULONG_PTR>(&packed)};
        const DWORD penStyle = PS_GEOMETRIC | style | caps[pick(3)] | joins[pick(3)];
        const DWORD penWidth = DWORD(1 + pick(pick(4) == 0 ? 60 : 12));
        const int mix = 1 + pick(16);
        const bool clipped = pick(3) > 0;
        std::vector<std::pair<RECT, int>> clip;  // rectangles joined or crossed into the clip region
        for (int i = 0, n = 1 + pick(5); i < n; ++i) {
            const LONG x = pick(width), y = pick(height);
            clip.push_back({{x, y, x + 1 + pick(width), y + 1 + pick(height)}, pick(2) == 0 ? RGN_OR : RGN_XOR});
        }
        PathFigures figures;
        for (int f = 0, count = 1 + pick(3); f < count; ++f) {
            const int n = 2 + pick(6);
            for (int i = 0; i < n; ++i)
                figures.points.push_back(FillPointFromDevice(pick(width + 80) - 40, pick(height + 80) - 40));
            figures.counts.push_back(n);
            figures.closed.push_back(pick(2) == 0);
        }
        for (Surface* s : {&ours, &theirs}) {
            SelectObject(s->dc, ExtCreatePen(penStyle, penWidth, &brush, style == PS_USERSTYLE ? 4 : 0,
                                             style == PS_USERSTYLE ? user : nullptr));
            SetROP2(s->dc, mix);
            SetBrushOrgEx(s->dc, round % 3, round % 2, nullptr);
            if (clipped) {
                HRGN region = CreateRectRgn(0, 0, 0, 0);
                for (const auto& [r, mode] : clip) {
                    HRGN part = CreateRectRgnIndirect(&r);
                    CombineRgn(region, region, part, mode);
                    DeleteObject(part);
                }
                SelectClipRgn(s->dc, region);
                DeleteObject(region);
            }
        }
        gdi::Dc& dc = *gdi::Get<gdi::Dc>(ours.dc);
        ASSERT_TRUE(gdi::StrokeFigures(dc, figures));
        gdi::Dc& reference = *gdi::Get<gdi::Dc>(theirs.dc);
        pixman_region32_t region;
        pixman_region32_init(&region);
        ASSERT_TRUE(gdi::StrokeRegion(reference, figures, &region));
        const gdi::Pen& pen = *reference.pen;
        gdi::Brush solid;
        solid.color = pen.color;
        const gdi::Brush* paint = &solid;
        if (pen.brush.lbStyle == BS_DIBPATTERNPT)
            paint = gdi::Get<gdi::Brush>(reinterpret_cast<HGDIOBJ>(pen.brush.lbHatch));
        ASSERT_TRUE(gdi::PaintRegion(reference, &region, *paint));
        pixman_region32_fini(&region);
        for (Surface* s : {&ours, &theirs}) DeleteObject(SelectObject(s->dc, GetStockObject(BLACK_PEN)));
        size_t differ = 0;
        while (differ < ours.bytes && ours.bits[differ] == theirs.bits[differ]) ++differ;
        const size_t stride = ours.bytes / size_t(height);
        ASSERT_EQ(differ, ours.bytes) << "round " << round << ", " << bpp << " bits, mix " << mix << ", pen width "
                                      << penWidth << ", style " << penStyle << ", row " << differ / stride << ", byte "
                                      << differ % stride << ": " << int(ours.bits[differ]) << " against "
                                      << int(theirs.bits[differ]) << (clipped ? ", clipped" : "");
    }
}

// Random cosmetic pens over random figures that cross themselves, on bitmaps of every depth,
// through random clip regions, by every mix and both background modes: the pixels are those of
// painting the runs' regions (gaps first, then ink), byte for byte.
TEST(StrokeFill, CosmeticStrokesPaintWhatTheirRunsRegionsPaint)
{
    std::mt19937 rng(23);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const int depths[] = {1, 4, 8, 16, 24, 32};
    const DWORD styles[] = {PS_SOLID, PS_SOLID, PS_DASH, PS_DOT};
    for (int round = 0; round < 240; ++round) {
        const int width = 20 + pick(120), height = 20 + pick(120), bpp = depths[round % 6];
        const unsigned seed = unsigned(rng());
        std::mt19937 same(seed), again(seed);
        Surface ours(width, height, bpp, same), theirs(width, height, bpp, again);
        const DWORD style = styles[pick(4)];
        const COLORREF ink = RGB(pick(256), pick(256), pick(256)), paper = RGB(pick(256), pick(256), pick(256));
        const int mix = 1 + pick(16), mode = pick(2) ? OPAQUE : TRANSPARENT;
        const bool clipped = pick(2) > 0;
        RECT clip[2];
        for (RECT& r : clip) {
            const LONG x = pick(width), y = pick(height);
            r = {x, y, x + 1 + pick(width), y + 1 + pick(height)};
        }
        PathFigures figures;
        for (int f = 0, count = 1 + pick(3); f < count; ++f) {
            const int n = 2 + pick(6);
            for (int i = 0; i < n; ++i)
                figures.points.push_back(FillPointFromDevice(pick(width + 40) - 20, pick(height + 40) - 20));
            figures.counts.push_back(n);
            figures.closed.push_back(pick(2) == 0);
        }
        for (Surface* s : {&ours, &theirs}) {
            SelectObject(s->dc, CreatePen(int(style), 0, ink));
            SetROP2(s->dc, mix);
            SetBkMode(s->dc, mode);
            SetBkColor(s->dc, paper);
            if (clipped) {
                HRGN region = CreateRectRgnIndirect(&clip[0]);
                HRGN part = CreateRectRgnIndirect(&clip[1]);
                CombineRgn(region, region, part, RGN_OR);
                DeleteObject(part);
                SelectClipRgn(s->dc, region);
                DeleteObject(region);
            }
        }
        ASSERT_TRUE(gdi::StrokeFigures(*gdi::Get<gdi::Dc>(ours.dc), figures));
        gdi::Dc& reference = *gdi::Get<gdi::Dc>(theirs.dc);
        pixman_region32_t visible;
        pixman_region32_init(&visible);
        gdi::DcVisibleRegion(reference, &visible);
        const pixman_box32_t* e = pixman_region32_extents(&visible);
        const RECT bounds{e->x1, e->y1, e->x2, e->y2};
        pixman_region32_fini(&visible);
        const DWORD dash[] = {18, 6}, dot[] = {3, 3};
        std::span<const DWORD> pattern;
        if (style == PS_DASH) pattern = dash;
        else if (style == PS_DOT) pattern = dot;
        struct Runs {
            Spans drawn, gaps;
            static void Drawn(void* c, LONG y, LONG l, LONG r) { static_cast<Runs*>(c)->drawn.push_back({y, l, r}); }
            static void Gap(void* c, LONG y, LONG l, LONG r) { static_cast<Runs*>(c)->gaps.push_back({y, l, r}); }
        } runs;
        CosmeticFigures(figures, bounds, pattern, Runs::Drawn, &runs, mode == OPAQUE ? Runs::Gap : nullptr);
        const Spans& drawn = runs.drawn;
        const Spans& gaps = runs.gaps;
        const auto paintSpans = [&reference](const Spans& spans, COLORREF colour) {
            std::vector<pixman_box32_t> boxes;
            for (const auto& [y, left, right] : spans) boxes.push_back({left, y, right, y + 1});
            pixman_region32_t region;
            pixman_region32_init_rects(&region, boxes.data(), int(boxes.size()));
            gdi::Brush brush;
            brush.color = colour;
            const bool ok = gdi::PaintRegion(reference, &region, brush);
            pixman_region32_fini(&region);
            return ok;
        };
        ASSERT_TRUE(paintSpans(gaps, paper));
        ASSERT_TRUE(paintSpans(drawn, ink));
        for (Surface* s : {&ours, &theirs}) DeleteObject(SelectObject(s->dc, GetStockObject(BLACK_PEN)));
        size_t differ = 0;
        while (differ < ours.bytes && ours.bits[differ] == theirs.bits[differ]) ++differ;
        const size_t stride = ours.bytes / size_t(height);
        ASSERT_EQ(differ, ours.bytes) << "round " << round << ", " << bpp << " bits, mix " << mix << ", style " << style
                                      << ", mode " << mode << ", row " << differ / stride << ", byte "
                                      << differ % stride << (clipped ? ", clipped" : "");
    }
}

}  // namespace
