// The path bracket through a memory DC: recording, errors, fills and strokes of paths against
// PathToRegion, clipping to a path, flattening.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "canvas.h"
#include "platform/kernel.h"

namespace {

// A star with a curved side: lines, a Bezier and a closed figure, self-intersecting.
void RecordShape(HDC dc)
{
    MoveToEx(dc, 5, 20, nullptr);
    LineTo(dc, 35, 5);
    LineTo(dc, 30, 35);
    const POINT curve[] = {{20, 40}, {5, 35}, {12, 2}};
    PolyBezierTo(dc, curve, 3);
    CloseFigure(dc);
    const POINT open[] = {{25, 15}, {38, 20}, {25, 25}};
    Polyline(dc, open, 3);
}

std::vector<uint8_t> RegionMask(HRGN region, int w, int h)
{
    std::vector<uint8_t> m(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) m[size_t(y) * w + x] = PtInRegion(region, x, y) ? 1 : 0;
    return m;
}

std::vector<uint8_t> Union(std::vector<uint8_t> a, const std::vector<uint8_t>& b)
{
    for (size_t i = 0; i < a.size(); ++i) a[i] |= b[i];
    return a;
}

TEST(GdiPath, BracketErrorsAndNothingDrawnInside)
{
    Canvas c(40, 40);
    SetLastError(0);
    EXPECT_FALSE(EndPath(c.dc));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_CAN_NOT_COMPLETE));
    EXPECT_FALSE(CloseFigure(c.dc));
    EXPECT_FALSE(FillPath(c.dc));
    EXPECT_EQ(PathToRegion(c.dc), nullptr);
    ASSERT_TRUE(BeginPath(c.dc));
    RecordShape(c.dc);
    Rectangle(c.dc, 1, 1, 10, 10);
    EXPECT_FALSE(StrokePath(c.dc));  // the bracket is still open
    ASSERT_TRUE(EndPath(c.dc));
    for (int i = 0; i < 40 * 40; ++i) ASSERT_EQ(c.bits[i] & 0xFFFFFF, Native(kWhite));
    EXPECT_GT(GetPath(c.dc, nullptr, nullptr, 0), 0);
    ASSERT_TRUE(AbortPath(c.dc));
    EXPECT_EQ(GetPath(c.dc, nullptr, nullptr, 0), -1);
    EXPECT_FALSE(FillPath(c.dc));
}

TEST(GdiPath, RecordsFiguresInDevicePixels)
{
    Canvas c(40, 40);
    SetViewportOrgEx(c.dc, 100, 200, nullptr);
    ASSERT_TRUE(BeginPath(c.dc));
    MoveToEx(c.dc, 1, 2, nullptr);
    LineTo(c.dc, 3, 4);
    const POINT curve[] = {{5, 6}, {7, 8}, {9, 10}};
    PolyBezierTo(c.dc, curve, 3);
    EXPECT_FALSE(PolyBezierTo(c.dc, curve, 2));
    CloseFigure(c.dc);
    Rectangle(c.dc, 0, 0, 4, 3);
    ASSERT_TRUE(EndPath(c.dc));
    const int n = GetPath(c.dc, nullptr, nullptr, 0);
    ASSERT_EQ(n, 9);
    std::vector<POINT> pts(static_cast<size_t>(n));
    std::vector<BYTE> kinds(static_cast<size_t>(n));
    ASSERT_EQ(GetPath(c.dc, pts.data(), kinds.data(), n), n);
    const BYTE wantKinds[] = {PT_MOVETO,
                              PT_LINETO,
                              PT_BEZIERTO,
                              PT_BEZIERTO,
                              PT_BEZIERTO | PT_CLOSEFIGURE,
                              PT_MOVETO,
                              PT_LINETO,
                              PT_LINETO,
                              PT_LINETO | PT_CLOSEFIGURE};
    const POINT wantPoints[] = {{101, 202}, {103, 204}, {105, 206}, {107, 208}, {109, 210},
                                {100, 200}, {103, 200}, {103, 202}, {100, 202}};
    for (int i = 0; i < n; ++i) {
        EXPECT_EQ(kinds[size_t(i)], wantKinds[i]) << i;
        EXPECT_EQ(pts[size_t(i)].x, wantPoints[i].x) << i;
        EXPECT_EQ(pts[size_t(i)].y, wantPoints[i].y) << i;
    }
    ASSERT_TRUE(FlattenPath(c.dc));
    const int flat = GetPath(c.dc, nullptr, nullptr, 0);
    pts.resize(size_t(flat));
    kinds.resize(size_t(flat));
    GetPath(c.dc, pts.data(), kinds.data(), flat);
    for (BYTE k : kinds) EXPECT_NE(k & ~PT_CLOSEFIGURE, PT_BEZIERTO);
    // The curve's last line still closes the first figure and ends on the curve's end point.
    const size_t second = size_t(std::find(kinds.begin() + 1, kinds.end(), BYTE(PT_MOVETO)) - kinds.begin());
    EXPECT_EQ(kinds[second - 1], PT_LINETO | PT_CLOSEFIGURE);
    EXPECT_EQ(pts[second - 1].x, 109);
    EXPECT_EQ(pts[second - 1].y, 210);
}

TEST(GdiPath, FillPathIsPathToRegionAndStrokeAndFillIsItsUnionWithTheStroke)
{
    LOGBRUSH solid{BS_SOLID, kRed, 0};
    for (int mode : {ALTERNATE, WINDING})
        for (HPEN (*makePen)(const LOGBRUSH&) :
             {+[](const LOGBRUSH&) { return CreatePen(PS_SOLID, 1, kRed); },
              +[](const LOGBRUSH& b) {
                  return ExtCreatePen(PS_GEOMETRIC | PS_JOIN_MITER | PS_ENDCAP_SQUARE, 3, &b, 0, nullptr);
              }}) {
            Canvas c(40, 45);
            Selected pen(c.dc, makePen(solid));
            Selected brush(c.dc, CreateSolidBrush(kRed));
            SetPolyFillMode(c.dc, mode);
            auto record = [&] {
                BeginPath(c.dc);
                RecordShape(c.dc);
                EndPath(c.dc);
            };
            record();
            HRGN region = PathToRegion(c.dc);
            ASSERT_NE(region, nullptr);
            EXPECT_EQ(GetPath(c.dc, nullptr, nullptr, 0), -1);  // used up
            std::vector<uint8_t> fillRegion = RegionMask(region, 40, 45);
            DeleteObject(region);

            record();
            ASSERT_TRUE(FillPath(c.dc));
            std::vector<uint8_t> filled = c.Mask(kRed);
            EXPECT_EQ(filled, fillRegion);

            c.Clear(kWhite);
            record();
            ASSERT_TRUE(StrokePath(c.dc));
            std::vector<uint8_t> stroked = c.Mask(kRed);

            c.Clear(kWhite);
            record();
            ASSERT_TRUE(StrokeAndFillPath(c.dc));
            EXPECT_EQ(c.Mask(kRed), Union(fillRegion, stroked)) << "mode " << mode;
        }
}

TEST(GdiPath, SelectClipPathClipsLaterDrawing)
{
    Canvas c(40, 45);
    BeginPath(c.dc);
    RecordShape(c.dc);
    EndPath(c.dc);
    HRGN region = PathToRegion(c.dc);
    std::vector<uint8_t> want = RegionMask(region, 40, 45);
    DeleteObject(region);

    BeginPath(c.dc);
    RecordShape(c.dc);
    EndPath(c.dc);
    ASSERT_TRUE(SelectClipPath(c.dc, RGN_COPY));
    Selected brush(c.dc, CreateSolidBrush(kBlue));
    ASSERT_TRUE(PatBlt(c.dc, 0, 0, 40, 45, PATCOPY));
    EXPECT_EQ(c.Mask(kBlue), want);
    EXPECT_FALSE(SelectClipPath(c.dc, RGN_COPY));  // the path was used up
}

TEST(GdiPath, DeletingADcWithAnOpenPathLosesNothing)
{
    // The record of a deleted DC is freed when the next path is made (and a leak checker at exit
    // finds every other record still reachable).
    for (int i = 0; i < 3; ++i) {
        HDC dc = CreateCompatibleDC(nullptr);
        ASSERT_TRUE(BeginPath(dc));
        MoveToEx(dc, 0, 0, nullptr);
        LineTo(dc, 10, 10);
        DeleteDC(dc);
    }
    Canvas c(4, 4);
    EXPECT_TRUE(BeginPath(c.dc));
    EXPECT_TRUE(AbortPath(c.dc));
}

// A path or polygon far larger than anything it can show: clipping to a path keeps what the
// bitmap holds, a region without a DC is refused past its bounds, each promptly.
TEST(GdiPath, HugeShapesKeepWhatCanBeShown)
{
    const POINT thin[] = {{0, -100000000}, {2, -100000000}, {5, 100000000}, {3, 100000000}};
    SetLastError(0);
    EXPECT_EQ(CreatePolygonRgn(thin, 4, ALTERNATE), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

    // The same polygon as a clip path on a small bitmap: the pixels a Polygon fill sets there.
    Canvas filled(100, 100), clipped(100, 100);
    {
        Selected brush(filled.dc, CreateSolidBrush(kBlue));
        Selected pen(filled.dc, GetStockObject(NULL_PEN));
        ASSERT_TRUE(Polygon(filled.dc, thin, 4));
    }
    BeginPath(clipped.dc);
    Polygon(clipped.dc, thin, 4);
    EndPath(clipped.dc);
    ASSERT_TRUE(SelectClipPath(clipped.dc, RGN_COPY));
    {
        Selected brush(clipped.dc, CreateSolidBrush(kBlue));
        ASSERT_TRUE(PatBlt(clipped.dc, 0, 0, 100, 100, PATCOPY));
    }
    EXPECT_EQ(clipped.Mask(kBlue), filled.Mask(kBlue));
    RECT box;
    EXPECT_NE(GetClipBox(clipped.dc, &box), ERROR);
    EXPECT_GE(box.left, 0);
    EXPECT_LE(box.bottom, 100);

    // An ordinary triangle under a scale of a million: PathToRegion refuses it, a clip path keeps
    // the bitmap it covers.
    Canvas scaled(100, 100);
    SetMapMode(scaled.dc, MM_ANISOTROPIC);
    SetWindowExtEx(scaled.dc, 1, 1, nullptr);
    SetViewportExtEx(scaled.dc, 1000000, 1000000, nullptr);
    const POINT triangle[] = {{0, 0}, {500, 0}, {0, 500}};
    BeginPath(scaled.dc);
    Polygon(scaled.dc, triangle, 3);
    EndPath(scaled.dc);
    SetLastError(0);
    EXPECT_EQ(PathToRegion(scaled.dc), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    BeginPath(scaled.dc);
    Polygon(scaled.dc, triangle, 3);
    EndPath(scaled.dc);
    ASSERT_TRUE(SelectClipPath(scaled.dc, RGN_COPY));
    SetMapMode(scaled.dc, MM_TEXT);
    EXPECT_EQ(GetClipBox(scaled.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 0);
    EXPECT_EQ(box.top, 0);
    EXPECT_EQ(box.right, 100);
    EXPECT_EQ(box.bottom, 100);

    // A thousand curves whose control points lie at +-2^30 around a small bitmap.
    Canvas curves(100, 100);
    BeginPath(curves.dc);
    MoveToEx(curves.dc, 50, 50, nullptr);
    std::vector<POINT> controls;
    const LONG far = LONG{1} << 30;
    for (int i = 0; i < 1000; ++i) controls.insert(controls.end(), {{-far, far}, {far, -far}, {50 + i % 2, 50}});
    ASSERT_TRUE(PolyBezierTo(curves.dc, controls.data(), DWORD(controls.size())));
    EndPath(curves.dc);
    EXPECT_TRUE(SelectClipPath(curves.dc, RGN_COPY));
    EXPECT_NE(GetClipBox(curves.dc, &box), ERROR);
    EXPECT_LE(box.right, 100);
}

// Found by a review: a dotted pen with square caps under a miter limit of 1 drew nothing in a
// small clip that its whole stroke covers with 58 pixels; the dashes were left out where only
// the corners of their square caps reach the clip.
TEST(GdiPath, ClippedDotsKeepWhatTheirSquareCapsReach)
{
    const POINT figure[] = {{-1776, -2549}, {5554, -3857}, {-649, -6910}, {3651, -2566}, {-670, 3711}};
    auto draw = [&](HRGN clip) {
        auto canvas = std::make_unique<Canvas>(700, 300);
        const LOGBRUSH black{BS_SOLID, RGB(0, 0, 0), 0};
        Selected pen(canvas->dc,
                     ExtCreatePen(PS_GEOMETRIC | PS_DOT | PS_ENDCAP_SQUARE | PS_JOIN_MITER, 2615, &black, 0, nullptr));
        EXPECT_TRUE(SetMiterLimit(canvas->dc, 1.0f, nullptr));
        if (clip) SelectClipRgn(canvas->dc, clip);
        BeginPath(canvas->dc);
        MoveToEx(canvas->dc, figure[0].x, figure[0].y, nullptr);
        for (int i = 1; i < 5; ++i) LineTo(canvas->dc, figure[i].x, figure[i].y);
        CloseFigure(canvas->dc);
        EndPath(canvas->dc);
        EXPECT_TRUE(StrokePath(canvas->dc));
        return canvas;
    };
    const RECT seen{242, 187, 244, 216};
    HRGN clip = CreateRectRgnIndirect(&seen);
    const auto whole = draw(nullptr), clipped = draw(clip);
    DeleteObject(clip);
    int set = 0;
    for (int y = seen.top; y < seen.bottom; ++y)
        for (int x = seen.left; x < seen.right; ++x) {
            set += whole->Is(x, y, RGB(0, 0, 0));
            EXPECT_EQ(clipped->At(x, y), whole->At(x, y)) << x << "," << y;
        }
    EXPECT_GT(set, 0);
}

TEST(GdiRegion, PolyPolygonRegionChecksItsArguments)
{
    const POINT pts[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
    const INT counts[] = {4};
    const INT tooFew[] = {1};
    SetLastError(0);
    EXPECT_EQ(CreatePolyPolygonRgn(pts, counts, 1, 3), nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(CreatePolyPolygonRgn(pts, tooFew, 1, ALTERNATE), nullptr);
    EXPECT_EQ(CreatePolygonRgn(nullptr, 4, ALTERNATE), nullptr);
    HRGN region = CreatePolyPolygonRgn(pts, counts, 1, WINDING);
    ASSERT_NE(region, nullptr);
    RECT box;
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 10);
    EXPECT_EQ(box.bottom, 10);
    DeleteObject(region);
}

}  // namespace
