// A dashed stroke's curves far outside the visible pixels: their points are walked for the
// pattern's phase and never made, so the visible dashes are those of the whole flattening and a
// path's memory does not grow with what lies outside.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/gdi/gdi_internal.h"
#include "platform/gdi/path/bezier.h"
#include "platform/gdi/path/path_draw.h"

namespace {

struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;
    size_t bytes = 0;
    Surface(int width, int height)
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        dc = CreateCompatibleDC(nullptr);
        void* raw = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
        bits = static_cast<uint8_t*>(raw);
        bytes = size_t(width) * 4 * size_t(height);
        std::memset(bits, 0, bytes);
        old = SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        DeleteObject(SelectObject(dc, GetStockObject(BLACK_PEN)));
        SelectObject(dc, old);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    size_t Lit() const
    {
        size_t n = 0;
        for (size_t i = 0; i < bytes; ++i) n += bits[i] != 0;
        return n;
    }
};

// Random dashed pens over random curves that run from inside the bitmap far out and back: the
// pixels are those of stroking the whole flattening (the road taken before), byte for byte.
TEST(DashFlatten, DrawsTheDashesOfTheWholeFlattening)
{
    std::mt19937 rng(48);
    auto pick = [&](int n) { return int(rng() % unsigned(n)); };
    const DWORD caps[] = {PS_ENDCAP_ROUND, PS_ENDCAP_SQUARE, PS_ENDCAP_FLAT};
    const DWORD joins[] = {PS_JOIN_ROUND, PS_JOIN_BEVEL, PS_JOIN_MITER};
    const DWORD styles[] = {PS_DASH, PS_DOT, PS_DASHDOT, PS_USERSTYLE, PS_USERSTYLE};
    size_t dropped = 0, drawn = 0;
    for (int round = 0; round < 300; ++round) {
        const int width = 20 + pick(100), height = 20 + pick(100);
        Surface ours(width, height), theirs(width, height);
        const DWORD style = styles[pick(5)];
        const DWORD user[] = {DWORD(1 + pick(12)), DWORD(pick(8)), DWORD(1 + pick(6)), DWORD(1 + pick(9))};
        const DWORD userCount = style == PS_USERSTYLE ? DWORD(2 + pick(3)) : 0;
        const LOGBRUSH brush{BS_SOLID, RGB(255, 255, 255), 0};
        const bool cosmetic = pick(3) == 0;
        const DWORD penStyle = cosmetic ? PS_COSMETIC | (pick(4) == 0 ? PS_ALTERNATE : style)
                                        : PS_GEOMETRIC | style | caps[pick(3)] | joins[pick(3)];
        const int background = pick(2) == 0 ? OPAQUE : TRANSPARENT;
        const DWORD penWidth = DWORD(1 + pick(pick(4) == 0 ? 40 : 8));
        const RECT clip{LONG(pick(width / 2)), LONG(pick(height / 2)), width - pick(width / 2),
                        height - pick(height / 2)};
        const bool clipped = pick(3) == 0;
        for (Surface* s : {&ours, &theirs}) {
            SelectObject(s->dc, ExtCreatePen(penStyle, cosmetic ? 1 : penWidth, &brush, userCount,
                                             userCount ? user : nullptr));
            SetBkMode(s->dc, background);
            SetBkColor(s->dc, RGB(0, 0, 255));
            if (clipped) {
                HRGN region = CreateRectRgnIndirect(&clip);
                SelectClipRgn(s->dc, region);
                DeleteObject(region);
            }
        }
        // Near points, and far ones at scales up to 2^30 pixels (those of the largest scales make
        // the full depth of subdivision, so they are rare).
        auto coordinate = [&](int size) {
            if (pick(2) == 0) return LONG(pick(size + 80) - 40);
            const int bits = pick(150) == 0 ? 30 : 6 + pick(9);
            const LONG far = LONG((int64_t{1} << bits) + pick(1 << 8));
            return pick(2) == 0 ? -far : far;
        };
        PathRecord path;
        for (int f = 0, figures = 1 + pick(3); f < figures; ++f) {
            const POINT start{LONG(pick(width)), LONG(pick(height))};
            std::vector<POINT> points;
            for (int i = 0, n = 3 * (1 + pick(5)); i < n; ++i)
                points.push_back({coordinate(width), coordinate(height)});
            if (pick(2) == 0) points.back() = {LONG(pick(width)), LONG(pick(height))};
            PathMoveTo(path);
            ASSERT_TRUE(PathAddBeziers(path, start, points));
            if (pick(3) == 0) {
                ASSERT_TRUE(PathAddLines(path, points.back(), std::vector<POINT>{start}));
            }
            if (pick(2) == 0) PathCloseFigure(path);
        }
        gdi::Dc& dc = *gdi::Get<gdi::Dc>(ours.dc);
        PathFigures bounded, whole;
        ASSERT_TRUE(gdi::FlattenForStroke(dc, path, bounded));
        ASSERT_TRUE(PathFlattenFigures(path, whole));
        ASSERT_TRUE(gdi::StrokeFigures(dc, bounded));
        ASSERT_TRUE(gdi::StrokeFigures(*gdi::Get<gdi::Dc>(theirs.dc), whole));
        dropped += whole.points.size() - bounded.points.size();
        drawn += ours.Lit() > 0;
        size_t differ = 0;
        while (differ < ours.bytes && ours.bits[differ] == theirs.bits[differ]) ++differ;
        ASSERT_EQ(differ, ours.bytes) << "round " << round << ", pen width " << penWidth << ", style " << penStyle
                                      << ", row " << differ / size_t(width * 4) << ", column "
                                      << differ % size_t(width * 4) / 4;
    }
    EXPECT_GT(dropped, 1000000u);  // the far pieces were left out
    EXPECT_GT(drawn, 200u);  // and most rounds drew dashes
}

// One path of N curves far outside a small bitmap, between two that start and end inside it:
// the points made grow by at most one a far curve (the path's own size), where flattening each
// curve whole makes 65,536.
TEST(DashFlatten, FarCurvesMakeNoPoints)
{
    const DWORD user[] = {1, 1};
    const LOGBRUSH brush{BS_SOLID, RGB(255, 255, 255), 0};
    struct Case {
        DWORD style, width;
        bool inPath;
    } cases[] = {{PS_GEOMETRIC | PS_USERSTYLE, 2, true},
                 {PS_GEOMETRIC | PS_USERSTYLE, 2, false},
                 {PS_COSMETIC | PS_USERSTYLE, 1, true},
                 {PS_COSMETIC | PS_USERSTYLE, 1, false}};
    for (const auto& [style, width, inPath] : cases) {
        std::vector<uint64_t> made;
        const int counts[] = {4, 16, 64};
        for (int n : counts) {
            Surface s(64, 64);
            SelectObject(s.dc, ExtCreatePen(style, width, &brush, style & PS_GEOMETRIC ? 2 : 1, user));
            std::vector<POINT> points = {{-1000000000, 30}, {1000000000, 40}, {1000000000, 1000000000}};
            for (int i = 0; i < n; ++i) {
                const LONG sign = i % 2 == 0 ? 1 : -1;
                points.insert(points.end(), {{-1000000000 * sign, 1000000000},
                                             {1000000000 * sign, 1000000000},
                                             {-1000000000 * sign, 1000000000}});
            }
            points.insert(points.end(), {{1000000000, 20}, {-1000000000, 50}, {40, 60}});
            const uint64_t before = BezierPointsMade();
            MoveToEx(s.dc, 10, 10, nullptr);
            if (inPath) BeginPath(s.dc);
            ASSERT_TRUE(PolyBezierTo(s.dc, points.data(), DWORD(points.size())));
            if (inPath) {
                ASSERT_TRUE(EndPath(s.dc));
                ASSERT_TRUE(StrokePath(s.dc));
            }
            made.push_back(BezierPointsMade() - before);
            EXPECT_GT(s.Lit(), 0u) << n;
        }
        for (size_t i = 1; i < made.size(); ++i)
            EXPECT_LE(made[i], made[0] + uint64_t(counts[i] - counts[0]))
                << style << (inPath ? " path" : " line") << ", " << counts[i];
        EXPECT_LT(made[0], 65536u);
    }
}

}  // namespace
