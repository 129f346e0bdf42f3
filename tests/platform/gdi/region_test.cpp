// Regions against pixman's own operations as point sets, and the layout of GetRegionData.
#include <gtest/gtest.h>
#include <pixman.h>

#include <cstring>
#include <random>
#include <vector>

#include "platform/gdi.h"

namespace {

struct RandomRects {
    std::vector<RECT> rects;
    RandomRects(std::mt19937& rng, int count)
    {
        for (int i = 0; i < count; ++i) {
            int x = int(rng() % 40) - 5, y = int(rng() % 40) - 5;
            rects.push_back({x, y, x + int(rng() % 15), y + int(rng() % 15)});  // some empty
        }
    }
    HRGN Gdi() const
    {
        std::vector<uint8_t> data(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
        RGNDATAHEADER h{sizeof(RGNDATAHEADER), RDH_RECTANGLES, DWORD(rects.size()), 0, {0, 0, 0, 0}};
        std::memcpy(data.data(), &h, sizeof h);
        std::memcpy(data.data() + sizeof h, rects.data(), rects.size() * sizeof(RECT));
        return ExtCreateRegion(nullptr, DWORD(data.size()), reinterpret_cast<RGNDATA*>(data.data()));
    }
    void Pixman(pixman_region32_t* out) const
    {
        pixman_region32_init(out);
        for (const RECT& r : rects) {
            if (r.right <= r.left || r.bottom <= r.top) continue;
            pixman_region32_union_rect(out, out, r.left, r.top, unsigned(r.right - r.left), unsigned(r.bottom - r.top));
        }
    }
};

void ExpectSamePoints(HRGN region, pixman_region32_t* expected, const char* what)
{
    int differ = 0;
    for (int y = -10; y < 60; ++y)
        for (int x = -10; x < 60; ++x)
            differ += bool(PtInRegion(region, x, y)) != bool(pixman_region32_contains_point(expected, x, y, nullptr));
    EXPECT_EQ(differ, 0) << what;
}

std::vector<RECT> RegionRects(HRGN region, RGNDATAHEADER* header = nullptr)
{
    DWORD size = GetRegionData(region, 0, nullptr);
    std::vector<uint8_t> buffer(size);
    EXPECT_EQ(GetRegionData(region, size, reinterpret_cast<RGNDATA*>(buffer.data())), size);
    RGNDATAHEADER h;
    std::memcpy(&h, buffer.data(), sizeof h);
    if (header) *header = h;
    std::vector<RECT> rects(h.nCount);
    if (h.nCount) std::memcpy(rects.data(), buffer.data() + sizeof h, h.nCount * sizeof(RECT));
    return rects;
}

// Bands by y then x; rectangles in a band share top and bottom, do not touch; touching bands
// with the same spans would have been merged.
void ExpectBandedAndCoalesced(const std::vector<RECT>& rects)
{
    size_t i = 0;
    std::vector<RECT> previousBand;
    while (i < rects.size()) {
        size_t j = i;
        std::vector<RECT> band;
        while (j < rects.size() && rects[j].top == rects[i].top) {
            EXPECT_EQ(rects[j].bottom, rects[i].bottom);
            EXPECT_LT(rects[j].left, rects[j].right);
            if (j > i) {
                EXPECT_GT(rects[j].left, rects[j - 1].right) << "touching or unsorted rectangles in a band";
            }
            band.push_back(rects[j++]);
        }
        if (!previousBand.empty()) {
            EXPECT_GE(band[0].top, previousBand[0].bottom);
            bool sameSpans = band.size() == previousBand.size() && band[0].top == previousBand[0].bottom;
            for (size_t k = 0; sameSpans && k < band.size(); ++k)
                sameSpans = band[k].left == previousBand[k].left && band[k].right == previousBand[k].right;
            EXPECT_FALSE(sameSpans) << "bands not coalesced";
        }
        previousBand = band;
        i = j;
    }
}

}  // namespace

TEST(GdiRegion, CombineMatchesPixmanAsPointSets)
{
    std::mt19937 rng(17);
    for (int round = 0; round < 40; ++round) {
        RandomRects a(rng, 1 + int(rng() % 8)), b(rng, 1 + int(rng() % 8));
        pixman_region32_t pa, pb, expected;
        a.Pixman(&pa);
        b.Pixman(&pb);
        HRGN ga = a.Gdi(), gb = b.Gdi(), out = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(ga, nullptr);
        ExpectSamePoints(ga, &pa, "ExtCreateRegion");
        for (int mode : {RGN_AND, RGN_OR, RGN_XOR, RGN_DIFF, RGN_COPY}) {
            pixman_region32_init(&expected);
            switch (mode) {
                case RGN_AND: pixman_region32_intersect(&expected, &pa, &pb); break;
                case RGN_OR: pixman_region32_union(&expected, &pa, &pb); break;
                case RGN_DIFF: pixman_region32_subtract(&expected, &pa, &pb); break;
                case RGN_COPY: pixman_region32_copy(&expected, &pa); break;
                case RGN_XOR: {
                    pixman_region32_t both;
                    pixman_region32_init(&both);
                    pixman_region32_union(&expected, &pa, &pb);
                    pixman_region32_intersect(&both, &pa, &pb);
                    pixman_region32_subtract(&expected, &expected, &both);
                    pixman_region32_fini(&both);
                    break;
                }
            }
            int type = CombineRgn(out, ga, gb, mode);
            int n = pixman_region32_n_rects(&expected);
            EXPECT_EQ(type, n == 0 ? NULLREGION : n == 1 ? SIMPLEREGION : COMPLEXREGION);
            ExpectSamePoints(out, &expected, "CombineRgn");
            std::vector<RECT> rects = RegionRects(out);
            ExpectBandedAndCoalesced(rects);
            // The data rebuilds the same region.
            HRGN copy = ExtCreateRegion(nullptr, GetRegionData(out, 0, nullptr), nullptr);
            EXPECT_EQ(copy, nullptr);
            DWORD size = GetRegionData(out, 0, nullptr);
            std::vector<uint8_t> data(size);
            GetRegionData(out, size, reinterpret_cast<RGNDATA*>(data.data()));
            copy = ExtCreateRegion(nullptr, size, reinterpret_cast<RGNDATA*>(data.data()));
            EXPECT_TRUE(EqualRgn(copy, out));
            DeleteObject(copy);
            // Offsetting moves every point.
            OffsetRgn(out, 3, -2);
            pixman_region32_translate(&expected, 3, -2);
            ExpectSamePoints(out, &expected, "OffsetRgn");
            pixman_region32_fini(&expected);
        }
        // In-place combining (destination is an operand).
        CombineRgn(ga, ga, gb, RGN_OR);
        pixman_region32_union(&pa, &pa, &pb);
        ExpectSamePoints(ga, &pa, "in place");
        DeleteObject(ga);
        DeleteObject(gb);
        DeleteObject(out);
        pixman_region32_fini(&pa);
        pixman_region32_fini(&pb);
    }
}

TEST(GdiRegion, DataIsBandedByYThenXAndCoalesced)
{
    // Two stacked rectangles of the same span become one; an L shape keeps two bands.
    HRGN a = CreateRectRgn(0, 0, 10, 5), b = CreateRectRgn(0, 5, 10, 9), c = CreateRectRgn(20, 0, 25, 3);
    CombineRgn(a, a, b, RGN_OR);
    RGNDATAHEADER h;
    std::vector<RECT> rects = RegionRects(a, &h);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].bottom, 9);
    EXPECT_EQ(h.dwSize, 32u);
    EXPECT_EQ(h.iType, 1u);
    EXPECT_EQ(h.nRgnSize, 16u);
    CombineRgn(a, a, c, RGN_OR);
    rects = RegionRects(a, &h);
    ASSERT_EQ(rects.size(), 3u);
    EXPECT_EQ(rects[0].left, 0);
    EXPECT_EQ(rects[1].left, 20);
    EXPECT_EQ(rects[2].top, 3);
    EXPECT_EQ(h.rcBound.right, 25);
    EXPECT_EQ(h.rcBound.bottom, 9);
    // A buffer too small fails.
    std::vector<uint8_t> small(40);
    EXPECT_EQ(GetRegionData(a, 40, reinterpret_cast<RGNDATA*>(small.data())), 0u);
    DeleteObject(a);
    DeleteObject(b);
    DeleteObject(c);
}

TEST(GdiRegion, QueriesAndBadInput)
{
    RECT r{30, 20, 10, 5};  // inverted corners are put in order
    HRGN region = CreateRectRgnIndirect(&r);
    RECT box;
    EXPECT_EQ(GetRgnBox(region, &box), SIMPLEREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.bottom, 20);
    EXPECT_TRUE(PtInRegion(region, 10, 5));
    EXPECT_FALSE(PtInRegion(region, 30, 5));  // right edge outside
    RECT touching{29, 19, 40, 40}, outside{30, 0, 40, 40};
    EXPECT_TRUE(RectInRegion(region, &touching));
    EXPECT_FALSE(RectInRegion(region, &outside));
    HRGN empty = CreateRectRgn(5, 5, 5, 9);
    EXPECT_EQ(GetRgnBox(empty, &box), NULLREGION);
    EXPECT_EQ(CombineRgn(empty, region, nullptr, 9), ERROR);
    EXPECT_EQ(CombineRgn(empty, region, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(OffsetRgn(region, 0x7FFFFFF0, 0), ERROR);
    // Data whose count does not fit its size, or of another type, is refused.
    struct {
        RGNDATAHEADER h;
        RECT r[2];
    } data{{32, RDH_RECTANGLES, 3, 0, {}}, {{0, 0, 4, 4}, {2, 2, 8, 8}}};
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data)), nullptr);
    data.h.nCount = 2;
    data.h.iType = 2;
    EXPECT_EQ(ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data)), nullptr);
    data.h.iType = RDH_RECTANGLES;
    HRGN two = ExtCreateRegion(nullptr, sizeof data, reinterpret_cast<RGNDATA*>(&data));
    ASSERT_NE(two, nullptr);
    EXPECT_TRUE(PtInRegion(two, 7, 7));
    EXPECT_FALSE(PtInRegion(two, 7, 1));
    DeleteObject(two);
    DeleteObject(region);
    DeleteObject(empty);
}

TEST(GdiRegion, DrawingIsClippedToTheSelectedRegion)
{
    BITMAPINFO info{};
    info.bmiHeader = {40, 20, -10, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HRGN clip = CreateRectRgn(3, 2, 8, 6);
    HRGN other = CreateRectRgn(12, 0, 30, 3);
    CombineRgn(clip, clip, other, RGN_XOR);
    SelectClipRgn(dc, clip);
    PatBlt(dc, 0, 0, 20, 10, WHITENESS);
    const uint8_t* p = static_cast<uint8_t*>(bits);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 20; ++x)
            EXPECT_EQ(p[y * 60 + 3 * x] == 0xFF, bool(PtInRegion(clip, x, y))) << x << "," << y;
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(clip);
    DeleteObject(other);
}

#include "platform/gdi/gdi_internal.h"

// The shape region that the line and polygon code paints through: limited by it and by the clip.
TEST(GdiRegion, RasterCorePaintsThroughAShape)
{
    BITMAPINFO info{};
    info.bmiHeader = {40, 16, -8, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    HRGN clip = CreateRectRgn(0, 0, 12, 8);
    SelectClipRgn(dc, clip);
    pixman_region32_t shape;
    pixman_box32_t boxes[2] = {{1, 1, 4, 3}, {10, 5, 15, 7}};
    pixman_region32_init_rects(&shape, boxes, 2);
    gdi::Brush brush;  // a pen's colour as a brush, never registered
    brush.color = 0xFFFFFF;
    gdi::BltRequest rq;
    rq.dst = gdi::Get<gdi::Dc>(dc);
    rq.x = 1, rq.y = 1, rq.width = 14, rq.height = 6;
    rq.rop = rq.ropBack = gdi::Rop2ToRop3Code(R2_COPYPEN);
    rq.brush = &brush;
    rq.shape = &shape;
    ASSERT_TRUE(gdi::BltRun(rq));
    const uint8_t* p = static_cast<uint8_t*>(bits);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            bool inside = ((x >= 1 && x < 4 && y >= 1 && y < 3) || (x >= 10 && x < 15 && y >= 5 && y < 7)) && x < 12;
            EXPECT_EQ(p[y * 48 + 3 * x] == 0xFF, inside) << x << "," << y;
        }
    pixman_region32_fini(&shape);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(bitmap);
    DeleteObject(clip);
}
