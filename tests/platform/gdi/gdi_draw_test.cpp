// The GDI entry points for lines, shapes, paths and pens, drawn into a real memory DC and
// compared with the geometry's own oracles and with the rules the platform layer documents.
#include <gtest/gtest.h>

#include <random>

#include "canvas.h"
#include "pixel_grid.h"
#include "platform/gdi/line.h"
#include "platform/gdi/path.h"
#include "platform/gdi/polyfill.h"
#include "platform/gdi/stroke.h"
#include "platform/kernel.h"

namespace {

TEST(GdiRectangle, OnePixelPenBorderAndFillInside)
{
    Canvas c(20, 20);
    Selected pen(c.dc, CreatePen(PS_SOLID, 1, kRed));
    Selected brush(c.dc, CreateSolidBrush(kBlue));
    ASSERT_TRUE(Rectangle(c.dc, 3, 4, 12, 15));
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            bool border = x >= 3 && x <= 11 && y >= 4 && y <= 14 && (x == 3 || x == 11 || y == 4 || y == 14);
            bool inside = x > 3 && x < 11 && y > 4 && y < 14;
            COLORREF want = border ? kRed : inside ? kBlue : kWhite;
            ASSERT_TRUE(c.Is(x, y, want)) << x << "," << y;
        }
}

TEST(GdiRectangle, NullPenFillsToRightAndBottomLessTwo)
{
    Canvas c(20, 20);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Selected brush(c.dc, CreateSolidBrush(kBlue));
    ASSERT_TRUE(Rectangle(c.dc, 12, 15, 3, 4));  // corners in either order
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            ASSERT_EQ(c.Is(x, y, kBlue), x >= 3 && x <= 10 && y >= 4 && y <= 13) << x << "," << y;
}

TEST(GdiRectangle, InsideFrameKeepsAWidePenInsideTheBox)
{
    // Box (10, 10)-(30, 25) with a pen 5 wide. Mitered inside-frame: exactly the 5-pixel frame
    // inside the box. CreatePen's round joins: the same but for the rounded outer corners.
    // A plain wide pen is centred on the border pixels and reaches 2 pixels outside.
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    enum Expect { ExactFrame, RoundedFrame, Centred };
    struct Case {
        HPEN pen;
        Expect expect;
    } cases[] = {
        {ExtCreatePen(PS_GEOMETRIC | PS_INSIDEFRAME | PS_JOIN_MITER, 5, &solid, 0, nullptr), ExactFrame},
        {CreatePen(PS_INSIDEFRAME, 5, kRed), RoundedFrame},
        {CreatePen(PS_SOLID, 5, kRed), Centred},
    };
    for (const Case& k : cases) {
        Canvas c(40, 40);
        Selected pen(c.dc, k.pen);
        SelectObject(c.dc, GetStockObject(NULL_BRUSH));
        ASSERT_TRUE(Rectangle(c.dc, 10, 10, 30, 25));
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 40; ++x) {
                bool in = x >= 10 && x < 30 && y >= 10 && y < 25;
                bool frame = in && !(x >= 15 && x < 25 && y >= 15 && y < 20);
                bool corner = (x < 12 || x > 27) && (y < 12 || y > 22);
                bool wide = x >= 8 && x < 32 && y >= 8 && y < 27 && !(x >= 13 && x < 27 && y >= 13 && y < 22);
                if (k.expect == ExactFrame || (k.expect == RoundedFrame && !corner)) {
                    ASSERT_EQ(c.Is(x, y, kRed), frame) << k.expect << ": " << x << "," << y;
                } else if (k.expect == RoundedFrame) {
                    ASSERT_TRUE(!c.Is(x, y, kRed) || frame) << x << "," << y;
                } else if (!((x < 11 || x > 28) && (y < 11 || y > 23))) {
                    ASSERT_EQ(c.Is(x, y, kRed), wide) << "centred: " << x << "," << y;
                }
            }
    }
}

TEST(GdiPolygon, FillMatchesTheScanConverterAndPolygonRegion)
{
    std::mt19937 rng(11);
    std::uniform_int_distribution<LONG> d(-5, 45);
    Canvas c(40, 40);
    SelectObject(c.dc, GetStockObject(NULL_PEN));
    Selected brush(c.dc, CreateSolidBrush(kBlue));
    for (int round = 0; round < 60; ++round) {
        std::vector<POINT> pts(3 + round % 6);
        for (POINT& p : pts) p = {d(rng), d(rng)};
        for (int mode : {ALTERNATE, WINDING}) {
            c.Clear(kWhite);
            SetPolyFillMode(c.dc, mode);
            ASSERT_TRUE(Polygon(c.dc, pts.data(), int(pts.size())));
            FillPolygonSet set;
            for (POINT p : pts) set.points.push_back(FillPointFromDevice(p.x, p.y));
            set.counts.push_back(int(pts.size()));
            PixelGrid want(RECT{0, 0, 40, 40});
            ASSERT_TRUE(PolyFillSpans(set.points, set.counts, mode == WINDING ? FILL_WINDING : FILL_ALTERNATE, want.box,
                                      PixelGrid::Sink, &want));
            HRGN region = CreatePolygonRgn(pts.data(), int(pts.size()), mode);
            ASSERT_NE(region, nullptr);
            for (int y = 0; y < 40; ++y)
                for (int x = 0; x < 40; ++x) {
                    ASSERT_EQ(c.Is(x, y, kBlue), want.Get(x, y)) << round << " " << x << "," << y;
                    ASSERT_EQ(PtInRegion(region, x, y) != 0, want.Get(x, y)) << round << " " << x << "," << y;
                }
            DeleteObject(region);
        }
    }
}

TEST(GdiPolygon, PolyPolygonFillsTogetherAndOutlinesEach)
{
    // Two nested squares: ALTERNATE leaves a hole, WINDING (same direction) does not.
    const POINT pts[] = {{2, 2}, {18, 2}, {18, 18}, {2, 18}, {6, 6}, {14, 6}, {14, 14}, {6, 14}};
    const INT counts[] = {4, 4};
    for (int mode : {ALTERNATE, WINDING}) {
        Canvas c(20, 20);
        Selected pen(c.dc, CreatePen(PS_SOLID, 1, kRed));
        Selected brush(c.dc, CreateSolidBrush(kBlue));
        SetPolyFillMode(c.dc, mode);
        ASSERT_TRUE(PolyPolygon(c.dc, pts, counts, 2));
        EXPECT_TRUE(c.Is(10, 10, mode == WINDING ? kBlue : kWhite));
        EXPECT_TRUE(c.Is(4, 10, kBlue));
        EXPECT_TRUE(c.Is(6, 10, kRed));  // the inner outline
        EXPECT_TRUE(c.Is(18, 10, kRed));  // the outer outline's right edge, drawn by the pen
    }
    Canvas c(4, 4);
    const INT bad[] = {4, 1};
    SetLastError(0);
    EXPECT_FALSE(PolyPolygon(c.dc, pts, bad, 2));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST(GdiLines, LineToChainDrawsEachPixelOnceAndLeavesOutTheEnd)
{
    // With R2_NOT a pixel drawn twice would come back white.
    Canvas c(30, 30);
    SetROP2(c.dc, R2_NOT);
    const POINT path[] = {{3, 3}, {25, 8}, {20, 26}, {5, 19}};
    MoveToEx(c.dc, path[0].x, path[0].y, nullptr);
    for (int i = 1; i < 4; ++i) ASSERT_TRUE(LineTo(c.dc, path[i].x, path[i].y));
    ASSERT_TRUE(LineTo(c.dc, path[0].x, path[0].y));
    POINT cp;
    ASSERT_TRUE(GetCurrentPositionEx(c.dc, &cp));
    EXPECT_EQ(cp.x, 3);
    EXPECT_EQ(cp.y, 3);
    PixelGrid want(RECT{0, 0, 30, 30});
    for (int i = 0; i < 4; ++i) CosmeticLine(path[i], path[(i + 1) % 4], want.box, {}, nullptr, PixelGrid::Sink, &want);
    EXPECT_EQ(want.overlaps, 0);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) ASSERT_EQ(c.Is(x, y, RGB(0, 0, 0)), want.Get(x, y)) << x << "," << y;
    // An open Polyline leaves out its last point; the current position does not move.
    c.Clear(kWhite);
    SetROP2(c.dc, R2_COPYPEN);
    const POINT open[] = {{1, 1}, {10, 1}, {10, 10}};
    ASSERT_TRUE(Polyline(c.dc, open, 3));
    EXPECT_TRUE(c.Is(1, 1, RGB(0, 0, 0)));
    EXPECT_TRUE(c.Is(10, 9, RGB(0, 0, 0)));
    EXPECT_FALSE(c.Is(10, 10, RGB(0, 0, 0)));
    ASSERT_TRUE(GetCurrentPositionEx(c.dc, &cp));
    EXPECT_EQ(cp.x, 3);
}

TEST(GdiLines, EveryMixOnEveryBit)
{
    // Each mix of a cosmetic pen over a destination, bit by bit, as its truth table says.
    const uint32_t dst = 0x3C5AF0, penValue = 0x0FF00F;
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
        Canvas c(8, 3);
        for (int i = 0; i < 8 * 3; ++i) c.bits[i] = dst;
        COLORREF penColor = RGB((penValue >> 16) & 0xFF, (penValue >> 8) & 0xFF, penValue & 0xFF);
        Selected pen(c.dc, CreatePen(PS_SOLID, 0, penColor));
        SetROP2(c.dc, mix);
        MoveToEx(c.dc, 1, 1, nullptr);
        ASSERT_TRUE(LineTo(c.dc, 7, 1));
        uint32_t table = uint32_t(mix - 1);  // bit (p << 1 | d) is the result
        uint32_t want = 0;
        for (int bit = 0; bit < 24; ++bit) {
            uint32_t p = (penValue >> bit) & 1, d = (dst >> bit) & 1;
            want |= ((table >> (p << 1 | d)) & 1) << bit;
        }
        for (int x = 0; x < 8; ++x) {
            EXPECT_EQ(c.At(x, 1), (x >= 1 && x < 7) ? want : dst) << "mix " << mix << " x " << x;
            EXPECT_EQ(c.At(x, 0), dst);
        }
    }
}

TEST(GdiLines, CrossingLinesMixEachPixelOnceWithEveryMix)
{
    // A star whose lines cross: with every mix, each pixel of the lines' union is mixed once, as
    // the mix's truth table says, whether the clip is one rectangle or several.
    const POINT star[] = {{2, 15}, {29, 15}, {6, 2}, {15, 29}, {25, 2}, {2, 15}};
    PixelGrid lines(RECT{0, 0, 32, 32});
    for (int i = 0; i + 1 < 6; ++i) CosmeticLine(star[i], star[i + 1], lines.box, {}, nullptr, PixelGrid::Sink, &lines);
    ASSERT_GT(lines.overlaps, 0);  // the star does cross itself
    const uint32_t penValue = 0x0FF00F;
    const COLORREF penColor = RGB((penValue >> 16) & 0xFF, (penValue >> 8) & 0xFF, penValue & 0xFF);
    std::mt19937 rng(5);
    for (bool split : {false, true})
        for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
            Canvas c(32, 32);
            for (int i = 0; i < 32 * 32; ++i) c.bits[i] = uint32_t(rng()) & 0xFFFFFF;
            const std::vector<uint32_t> before(c.bits, c.bits + 32 * 32);
            Selected pen(c.dc, CreatePen(PS_SOLID, 0, penColor));
            SetROP2(c.dc, mix);
            HRGN clip = CreateRectRgn(0, 0, 32, 32);
            if (split) {
                HRGN right = CreateRectRgn(17, 0, 32, 32);
                HRGN left = CreateRectRgn(0, 0, 16, 32);
                CombineRgn(clip, left, right, RGN_OR);  // leaves out column 16
                DeleteObject(left);
                DeleteObject(right);
            }
            SelectClipRgn(c.dc, clip);
            DeleteObject(clip);
            ASSERT_TRUE(Polyline(c.dc, star, 6));
            const uint32_t table = uint32_t(mix - 1);  // bit (p << 1 | d) is the result
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    const uint32_t d = before[size_t(y) * 32 + x];
                    uint32_t want = d;
                    if (lines.Get(x, y) && !(split && x == 16)) {
                        want = 0;
                        for (int bit = 0; bit < 24; ++bit) {
                            const uint32_t p = (penValue >> bit) & 1, b = (d >> bit) & 1;
                            want |= ((table >> (p << 1 | b)) & 1) << bit;
                        }
                    }
                    ASSERT_EQ(c.At(x, y), want)
                        << "mix " << mix << (split ? " split clip" : "") << " at " << x << "," << y;
                }
        }
}

TEST(GdiLines, StyledCosmeticPenGapsFollowTheBackgroundMode)
{
    for (int mode : {TRANSPARENT, OPAQUE}) {
        Canvas c(40, 3);
        Selected pen(c.dc, CreatePen(PS_DOT, 1, kRed));
        SetBkMode(c.dc, mode);
        SetBkColor(c.dc, kGreen);
        MoveToEx(c.dc, 0, 1, nullptr);
        ASSERT_TRUE(LineTo(c.dc, 30, 1));
        for (int x = 0; x < 30; ++x) {
            bool on = (x % 6) < 3;
            COLORREF want = on ? kRed : mode == OPAQUE ? kGreen : kWhite;
            EXPECT_TRUE(c.Is(x, 1, want)) << "mode " << mode << " x " << x;
        }
        EXPECT_TRUE(c.Is(30, 1, kWhite));
    }
    // PS_ALTERNATE sets every other pixel; a user style counts pixels.
    Canvas c(20, 3);
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    SetBkMode(c.dc, TRANSPARENT);
    {
        Selected pen(c.dc, ExtCreatePen(PS_COSMETIC | PS_ALTERNATE, 1, &solid, 0, nullptr));
        MoveToEx(c.dc, 0, 0, nullptr);
        LineTo(c.dc, 10, 0);
    }
    const DWORD user[] = {2, 1};
    {
        Selected pen(c.dc, ExtCreatePen(PS_COSMETIC | PS_USERSTYLE, 1, &solid, 2, user));
        MoveToEx(c.dc, 0, 2, nullptr);
        LineTo(c.dc, 10, 2);
    }
    for (int x = 0; x < 10; ++x) {
        EXPECT_EQ(c.Is(x, 0, kRed), x % 2 == 0) << x;
        EXPECT_EQ(c.Is(x, 2, kRed), x % 3 < 2) << x;
    }
}

TEST(GdiPens, ExtCreatePenChecksItsArguments)
{
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    LOGBRUSH hatched{BS_HATCHED, kRed, 0};
    const DWORD user[] = {3, 1};
    const DWORD zeros[] = {0, 0};
    struct Case {
        DWORD style, width;
        const LOGBRUSH* brush;
        DWORD count;
        const DWORD* styles;
        bool ok;
    } cases[] = {
        {PS_COSMETIC | PS_SOLID, 1, &solid, 0, nullptr, true},
        {PS_COSMETIC | PS_SOLID, 2, &solid, 0, nullptr, false},  // cosmetic is one pixel
        {PS_COSMETIC | PS_INSIDEFRAME, 1, &solid, 0, nullptr, false},
        {PS_GEOMETRIC | PS_ALTERNATE, 4, &solid, 0, nullptr, false},  // alternate is cosmetic only
        {PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 2, user, true},
        {PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 0, nullptr, false},
        {PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 2, zeros, false},
        {PS_GEOMETRIC | PS_USERSTYLE, 4, &solid, 17, user, false},
        {PS_GEOMETRIC | PS_DASH, 4, &solid, 2, user, false},  // lengths only with user styles
        {PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT | PS_JOIN_MITER, 4, &solid, 0, nullptr, true},
        {PS_GEOMETRIC | PS_SOLID | 0x300, 4, &solid, 0, nullptr, false},  // unknown cap
        {PS_GEOMETRIC | PS_SOLID, 4, &hatched, 0, nullptr, false},
        {PS_GEOMETRIC | PS_SOLID, 4, nullptr, 0, nullptr, false},
    };
    for (const Case& k : cases) {
        SetLastError(0);
        HPEN pen = ExtCreatePen(k.style, k.width, k.brush, k.count, k.styles);
        EXPECT_EQ(pen != nullptr, k.ok) << std::hex << k.style;
        if (pen) {
            EXPECT_EQ(GetObjectType(pen), DWORD(OBJ_EXTPEN));
            DeleteObject(pen);
        } else {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
        }
    }
    HPEN plain = CreatePen(PS_DASH, 0, kRed);
    EXPECT_EQ(GetObjectType(plain), DWORD(OBJ_PEN));
    DeleteObject(plain);
    EXPECT_EQ(CreatePen(PS_USERSTYLE, 1, kRed), nullptr);
}

TEST(GdiPens, GeometricCapsAndTheMiterLimitOfTheDc)
{
    // A flat-capped horizontal line of width 4 covers rows y-2..y+1 and columns from..to-1.
    {
        Canvas c(30, 10);
        LOGBRUSH solid{BS_SOLID, kRed, 0};
        Selected pen(c.dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT, 4, &solid, 0, nullptr));
        MoveToEx(c.dc, 5, 5, nullptr);
        ASSERT_TRUE(LineTo(c.dc, 20, 5));
        for (int y = 0; y < 10; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(c.Is(x, y, kRed), x >= 5 && x < 20 && y >= 3 && y < 7) << x << "," << y;
    }
    // The DC's miter limit decides between miter and bevel.
    auto sharp = [](float limit) {
        Canvas c(100, 40);
        LOGBRUSH solid{BS_SOLID, kRed, 0};
        Selected pen(c.dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, 6, &solid, 0, nullptr));
        float previous = 0;
        EXPECT_TRUE(SetMiterLimit(c.dc, limit, &previous));
        EXPECT_EQ(previous, 10.0f);
        const POINT pts[] = {{4, 10}, {60, 20}, {4, 30}};
        EXPECT_TRUE(Polyline(c.dc, pts, 3));
        int rightmost = 0;
        for (int x = 0; x < 100; ++x)
            if (c.Is(x, 20, kRed)) rightmost = x;
        return rightmost;
    };
    EXPECT_GT(sharp(8.0f), 70);  // the miter reaches out about 17 pixels past the vertex
    EXPECT_LT(sharp(4.0f), 64);  // cut to a bevel
    Canvas c(2, 2);
    EXPECT_FALSE(SetMiterLimit(c.dc, 0.5f, nullptr));
    float limit = 0;
    EXPECT_TRUE(GetMiterLimit(c.dc, &limit));
    EXPECT_EQ(limit, 10.0f);
}

TEST(GdiPens, DibPatternPenTilesFromTheBrushOrigin)
{
    // A 2 x 2 checker of red and blue as the pen's brush.
    struct {
        BITMAPINFOHEADER header;
        uint32_t rows[2][2];
    } packed{{sizeof(BITMAPINFOHEADER), 2, -2, 1, 32, BI_RGB, 0, 0, 0, 0, 0},
             {{Native(kRed), Native(kBlue)}, {Native(kBlue), Native(kRed)}}};
    LOGBRUSH pattern{BS_DIBPATTERNPT, DIB_RGB_COLORS, reinterpret_cast<ULONG_PTR>(&packed)};
    Canvas c(20, 20);
    Selected pen(c.dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT, 6, &pattern, 0, nullptr));
    ASSERT_NE(pen.object, nullptr);
    MoveToEx(c.dc, 2, 10, nullptr);
    ASSERT_TRUE(LineTo(c.dc, 18, 10));
    for (int y = 7; y < 13; ++y)
        for (int x = 2; x < 18; ++x) ASSERT_TRUE(c.Is(x, y, (x + y) % 2 == 0 ? kRed : kBlue)) << x << "," << y;
    EXPECT_TRUE(c.Is(2, 6, kWhite));
}

TEST(GdiPens, GeometricWidthFollowsTheMapping)
{
    Canvas c(60, 30);
    SetMapMode(c.dc, MM_ANISOTROPIC);
    SetWindowExtEx(c.dc, 1, 1, nullptr);
    SetViewportExtEx(c.dc, 2, 2, nullptr);
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    Selected pen(c.dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_FLAT, 3, &solid, 0, nullptr));
    MoveToEx(c.dc, 5, 7, nullptr);
    ASSERT_TRUE(LineTo(c.dc, 25, 7));
    // device (10, 14)-(50, 14), 6 pixels wide: rows 11..16
    for (int y = 0; y < 30; ++y) EXPECT_EQ(c.Is(30, y, kRed), y >= 11 && y < 17) << y;
    EXPECT_TRUE(c.Is(10, 14, kRed));
    EXPECT_FALSE(c.Is(50, 14, kRed));
}

}  // namespace

namespace {

// The fax page's own format: one bit per pixel, white = palette entry 1.
TEST(GdiOneBit, FillsAndMixesActOnBits)
{
    HDC dc = CreateCompatibleDC(nullptr);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{{sizeof(BITMAPINFOHEADER), 64, -40, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void* raw = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw, nullptr, 0);
    ASSERT_NE(bitmap, nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    auto* bytes = static_cast<uint8_t*>(raw);
    const int stride = 8;
    std::fill(bytes, bytes + stride * 40, 0xFF);
    auto bit = [&](int x, int y) { return (bytes[y * stride + x / 8] >> (7 - x % 8)) & 1; };

    const POINT pts[] = {{3, 2}, {60, 10}, {7, 37}, {50, 30}, {30, 0}};
    SelectObject(dc, GetStockObject(NULL_PEN));
    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    SetPolyFillMode(dc, WINDING);
    ASSERT_TRUE(Polygon(dc, pts, 5));
    FillPolygonSet set;
    for (POINT p : pts) set.points.push_back(FillPointFromDevice(p.x, p.y));
    set.counts = {5};
    PixelGrid want(RECT{0, 0, 64, 40});
    ASSERT_TRUE(PolyFillSpans(set.points, set.counts, FILL_WINDING, want.box, PixelGrid::Sink, &want));
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x) ASSERT_EQ(bit(x, y), want.Get(x, y) ? 0 : 1) << x << "," << y;
    // R2_NOT over the same shape puts every bit back.
    SetROP2(dc, R2_NOT);
    ASSERT_TRUE(Polygon(dc, pts, 5));
    for (int i = 0; i < stride * 40; ++i) ASSERT_EQ(bytes[i], 0xFF) << i;
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

}  // namespace

namespace {

TEST(GdiPens, GeometricDashesAlongTheLine)
{
    // Width 2, flat caps: PS_DASH is 3 widths on, 1 off (6, 2); a user style {4, 2} counts
    // logical units, here doubled by the mapping to 8 on, 4 off.
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    const DWORD user[] = {4, 2};
    struct Case {
        DWORD style;
        DWORD count;
        const DWORD* styles;
        int scale, on, period;
    } cases[] = {{PS_GEOMETRIC | PS_DASH | PS_ENDCAP_FLAT, 0, nullptr, 1, 6, 8},
                 {PS_GEOMETRIC | PS_USERSTYLE | PS_ENDCAP_FLAT, 2, user, 2, 8, 12}};
    for (const Case& k : cases) {
        Canvas c(60, 10);
        SetMapMode(c.dc, MM_ANISOTROPIC);
        SetViewportExtEx(c.dc, k.scale, k.scale, nullptr);
        Selected pen(c.dc, ExtCreatePen(k.style, DWORD(2 / k.scale), &solid, k.count, k.styles));
        MoveToEx(c.dc, 0, 5 / k.scale, nullptr);
        ASSERT_TRUE(LineTo(c.dc, 48 / k.scale, 5 / k.scale));
        const int row = 5 / k.scale * k.scale;
        for (int x = 0; x < 60; ++x)
            EXPECT_EQ(c.Is(x, row, kRed), x < 48 && x % k.period < k.on)
                << std::hex << k.style << std::dec << " x " << x;
    }
}

}  // namespace

namespace {

// Curves from the middle of a 100 x 100 bitmap out to `far` and back, as PolyBezierTo takes them.
std::vector<POINT> FarCurves(int count, LONG far, std::mt19937& rng)
{
    std::uniform_int_distribution<LONG> wide(50 - far, 50 + far), near(-40, 140);
    std::vector<POINT> controls;
    for (int i = 0; i < count; ++i)
        controls.insert(controls.end(), {{wide(rng), wide(rng)}, {wide(rng), wide(rng)}, {near(rng), near(rng)}});
    return controls;
}

// Strokes the curves from (50, 50) with the DC's pen, by PolyBezierTo or through a path.
void StrokeCurves(HDC dc, const std::vector<POINT>& controls, bool throughPath)
{
    MoveToEx(dc, 50, 50, nullptr);
    if (throughPath) BeginPath(dc);
    EXPECT_TRUE(PolyBezierTo(dc, controls.data(), DWORD(controls.size())));
    if (throughPath) {
        EndPath(dc);
        EXPECT_TRUE(StrokePath(dc));
    }
}

}  // namespace

// Curves are culled to the visible pixels widened by the pen's reach before they are stroked,
// as fills cull them: the pixels stay those of the whole curve's stroke (made here from the
// figure flattened whole), for round, square and flat caps, miter joins under small and large
// limits and a cosmetic pen.
TEST(GdiCurves, StrokesOfCurvesCulledToWhatThePenCanReach)
{
    std::mt19937 rng(6);
    struct Pen {
        DWORD style;
        int width;
        float miter;
    };
    const Pen pens[] = {
        {PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND, 300, 10},
        {PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_MITER, 301, 1},
        {PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER, 40, 10},
        {PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_BEVEL, 41, 10},
        {PS_COSMETIC | PS_SOLID, 1, 10},
    };
    for (const Pen& p : pens)
        for (int round = 0; round < 8; ++round) {
            // Curves that pass the bitmap closer than the pen's reach, and curves far out.
            const bool throughPath = round % 2 == 1;
            const std::vector<POINT> controls = FarCurves(6, round < 6 ? 300 : 20000, rng);
            Canvas canvas(100, 100);
            const LOGBRUSH black{BS_SOLID, RGB(0, 0, 0), 0};
            Selected pen(canvas.dc, ExtCreatePen(p.style, DWORD(p.width), &black, 0, nullptr));
            SetMiterLimit(canvas.dc, p.miter, nullptr);
            StrokeCurves(canvas.dc, controls, throughPath);

            // The whole figure's stroke: flattened without culling, outlined without a clip.
            PathRecord record;
            ASSERT_TRUE(PathAddBeziers(record, POINT{50, 50}, controls));
            PathFigures flat;
            ASSERT_TRUE(PathFlattenFigures(record, flat));
            const RECT window{0, 0, 100, 100};
            PixelGrid expected(window);
            if ((p.style & PS_TYPE_MASK) == PS_GEOMETRIC) {
                const StrokeFigure figure{flat.points, false};
                const StrokeStyle style{double(p.width), p.style & PS_ENDCAP_MASK, p.style & PS_JOIN_MASK, p.miter, {}};
                FillPolygonSet outline;
                ASSERT_TRUE(StrokeOutline(std::span(&figure, 1), style, outline));
                ASSERT_TRUE(
                    PolyFillSpans(outline.points, outline.counts, FILL_WINDING, window, PixelGrid::Sink, &expected));
            } else {
                CosmeticFigures(flat, window, {}, PixelGrid::Sink, &expected);
            }
            for (int y = 0; y < 100; ++y)
                for (int x = 0; x < 100; ++x)
                    ASSERT_EQ(canvas.Is(x, y, RGB(0, 0, 0)), expected.Get(x, y))
                        << "pen " << (&p - pens) << (throughPath ? " path" : " PolyBezierTo") << " at " << x << ","
                        << y;
        }
}

// A hundred curves reaching two billion pixels out, stroked by a 300-pixel pen on a small
// bitmap: only what can reach the bitmap is flattened (whole, they were millions of points and
// gigabytes of outline).
TEST(GdiCurves, FarCurvesCostWhatReachesTheBitmap)
{
    std::mt19937 rng(7);
    const std::vector<POINT> controls = FarCurves(100, 2000000000, rng);
    Canvas byCall(100, 100), byPath(100, 100);
    const LOGBRUSH black{BS_SOLID, RGB(0, 0, 0), 0};
    for (Canvas* c : {&byCall, &byPath}) {
        Selected pen(c->dc, ExtCreatePen(PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_MITER, 300, &black, 0, nullptr));
        StrokeCurves(c->dc, controls, c == &byPath);
    }
    EXPECT_EQ(byCall.Mask(RGB(0, 0, 0)), byPath.Mask(RGB(0, 0, 0)));
}
