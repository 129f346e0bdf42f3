// RegionDataIntersect against a plain loop over every pair of rectangles, on banded lists made by
// GDI regions and on lists in any order, overlapping and with empty rectangles.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "engine/display/stores/clip_store.h"
#include "engine/job/render_call.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

using Rects = std::vector<std::array<LONG, 4>>;

struct Region {
    RECT bounds{};
    std::vector<RECT> rects;
};

RGNDATAHEADER* Data(const Region& region)
{
    RGNDATAHEADER* data = RegionDataAllocate(static_cast<uint32_t>(region.rects.size()));
    data->rcBound = region.bounds;
    std::copy(region.rects.begin(), region.rects.end(), RegionDataRects(data));
    return data;
}

Rects Flat(const RECT* rects, size_t count)
{
    Rects out;
    for (size_t i = 0; i < count; ++i) out.push_back({rects[i].left, rects[i].top, rects[i].right, rects[i].bottom});
    return out;
}

// Every pair, a's rectangles outer: each non-empty intersection widens the bounds and is appended
// unless it continues the last appended one straight down, which then reaches its bottom.
struct Expected {
    Rects rects;
    std::array<LONG, 4> bounds{};
};

Expected PairByPair(const Region& a, const Region& b)
{
    std::vector<RECT> out;
    RECT bounds{};
    for (const RECT& x : a.rects) {
        for (const RECT& y : b.rects) {
            const RECT r{std::max(x.left, y.left), std::max(x.top, y.top), std::min(x.right, y.right),
                         std::min(x.bottom, y.bottom)};
            if (r.left >= r.right || r.top >= r.bottom) continue;
            if (bounds.left >= bounds.right || bounds.top >= bounds.bottom) bounds = r;
            bounds = RECT{std::min(bounds.left, r.left), std::min(bounds.top, r.top), std::max(bounds.right, r.right),
                          std::max(bounds.bottom, r.bottom)};
            if (!out.empty() && out.back().left == r.left && out.back().right == r.right && out.back().bottom == r.top)
                out.back().bottom = r.bottom;
            else out.push_back(r);
        }
    }
    return {Flat(out.data(), out.size()), {bounds.left, bounds.top, bounds.right, bounds.bottom}};
}

void ExpectLikePairByPair(const Region& a, const Region& b, const char* what)
{
    RGNDATAHEADER* da = Data(a);
    RGNDATAHEADER* db = Data(b);
    RGNDATAHEADER* made = RegionDataIntersect(da, db);
    ASSERT_NE(made, nullptr) << what;
    const Expected want = PairByPair(a, b);
    EXPECT_EQ(made->nCount, want.rects.size()) << what;
    EXPECT_EQ(Flat(RegionDataRects(made), made->nCount), want.rects) << what;
    const RECT& got = made->rcBound;
    EXPECT_EQ((std::array<LONG, 4>{got.left, got.top, got.right, got.bottom}), want.bounds) << what;
    EXPECT_EQ(made->nRgnSize, 0u) << what;
    EXPECT_EQ(made->iType, static_cast<DWORD>(RDH_RECTANGLES)) << what;
    RenderFree(made);
    RenderFree(da);
    RenderFree(db);
}

RECT RandomRect(std::mt19937& random, LONG span, LONG size)
{
    std::uniform_int_distribution<LONG> at(0, span), extent(0, size);
    const LONG left = at(random), top = at(random);
    return RECT{left, top, left + extent(random), top + extent(random)};
}

// GDI's own region data: banded by y, then x, coalesced.
Region Banded(std::mt19937& random, int pieces, LONG span, LONG size)
{
    HRGN region = CreateRectRgn(0, 0, 0, 0);
    for (int i = 0; i < pieces; ++i) {
        const RECT r = RandomRect(random, span, size);
        HRGN piece = CreateRectRgn(r.left, r.top, r.right, r.bottom);
        CombineRgn(region, region, piece, (i % 5 == 4) ? RGN_DIFF : RGN_OR);
        DeleteObject(piece);
    }
    std::vector<uint8_t> bytes(GetRegionData(region, 0, nullptr));
    GetRegionData(region, static_cast<DWORD>(bytes.size()), reinterpret_cast<RGNDATA*>(bytes.data()));
    DeleteObject(region);
    const auto* head = reinterpret_cast<const RGNDATAHEADER*>(bytes.data());
    const auto* rects = reinterpret_cast<const RECT*>(head + 1);
    return Region{head->rcBound, std::vector<RECT>(rects, rects + head->nCount)};
}

// Rectangles as a rectangle record may hold them: any order, overlapping, some empty.
Region AnyOrder(std::mt19937& random, int count, LONG span, LONG size)
{
    Region region;
    for (int i = 0; i < count; ++i) {
        RECT r = RandomRect(random, span, size);
        if (i % 7 == 3) r.right = r.left;
        region.rects.push_back(r);
    }
    region.bounds = RECT{0, 0, span + size, span + size};
    return region;
}

// Full-height strips of width 1 and gap 1 across (one band), or full-width rows down (one band
// each): their intersection is a grid of n x n single pixels.
Region Columns(LONG n)
{
    Region region{{0, 0, 2 * n, 2 * n}, {}};
    for (LONG i = 0; i < n; ++i) region.rects.push_back(RECT{2 * i, 0, 2 * i + 1, 2 * n});
    return region;
}

Region Rows(LONG n)
{
    Region region{{0, 0, 2 * n, 2 * n}, {}};
    for (LONG i = 0; i < n; ++i) region.rects.push_back(RECT{0, 2 * i, 2 * n, 2 * i + 1});
    return region;
}

}  // namespace

TEST(RegionIntersect, EqualsEveryPairInOrder)
{
    std::mt19937 random(20261211);
    struct Case {
        const char* what;
        bool bandedA, bandedB;
        int pieces;
        LONG span, size;
    };
    const Case cases[] = {
        {"banded with banded, sparse", true, true, 12, 200, 40}, {"banded with banded, dense", true, true, 60, 100, 60},
        {"any order with banded", false, true, 40, 100, 30},     {"banded with any order", true, false, 40, 100, 30},
        {"any order with any order", false, false, 50, 80, 40},  {"thin pieces, many bands", true, true, 80, 300, 8},
    };
    for (const Case& c : cases) {
        for (int round = 0; round < 25; ++round) {
            const Region a =
                c.bandedA ? Banded(random, c.pieces, c.span, c.size) : AnyOrder(random, c.pieces, c.span, c.size);
            const Region b =
                c.bandedB ? Banded(random, c.pieces, c.span, c.size) : AnyOrder(random, c.pieces, c.span, c.size);
            ExpectLikePairByPair(a, b, c.what);
        }
    }
}

TEST(RegionIntersect, EdgeCases)
{
    const Region strips{{0, 0, 10, 20}, {{0, 0, 10, 10}, {0, 10, 10, 20}}};
    const Region cover{{0, 0, 10, 20}, {{0, 0, 10, 20}}};
    const Region gap{{0, 0, 10, 20}, {{0, 0, 10, 9}, {0, 10, 10, 20}}};
    const Region empty{{}, {}};
    // A band whose rectangles overlap, bands out of order: not banded.
    const Region overlapping{{0, 0, 10, 20}, {{0, 0, 6, 10}, {4, 0, 10, 10}, {0, 15, 10, 20}, {0, 10, 10, 15}}};
    const struct {
        const char* what;
        const Region& a;
        const Region& b;
    } cases[] = {
        {"strips end to end cut by a cover", strips, cover},
        {"a cover cut by strips end to end", cover, strips},
        {"strips with a gap stay two", cover, gap},
        {"nothing", cover, empty},
        {"nothing outside", empty, cover},
        {"overlapping rectangles", cover, overlapping},
        {"overlapping outer", overlapping, strips},
        {"a grid", Columns(30), Rows(30)},
        {"a grid across", Rows(30), Columns(30)},
    };
    for (const auto& c : cases) ExpectLikePairByPair(c.a, c.b, c.what);
    // The strips end to end become one rectangle.
    RGNDATAHEADER* a = Data(strips);
    RGNDATAHEADER* b = Data(cover);
    RGNDATAHEADER* made = RegionDataIntersect(a, b);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(Flat(RegionDataRects(made), made->nCount), (Rects{{0, 0, 10, 20}}));
    RenderFree(made);
    RenderFree(a);
    RenderFree(b);
}

TEST(RegionIntersect, ResultsPastTheRegionBoundFailForMemory)
{
    // Four covers over a row of single pixels apart: four times the row. A row of a quarter of the
    // bound is the bound itself; one pixel more passes it, whether the inner list is banded (the
    // row from the left) or not (from the right).
    struct Case {
        const char* what;
        LONG pixels;
        bool reversed;
        bool fits;
    };
    const LONG quarter = LONG{1} << 20;
    const Case cases[] = {
        {"at the bound", quarter, false, true},
        {"past the bound", quarter + 1, false, false},
        {"past the bound, inner list not banded", quarter + 1, true, false},
    };
    for (const Case& c : cases) {
        const RECT all{0, 0, 2 * c.pixels, 1};
        const Region covers{all, {all, all, all, all}};
        Region row{all, {}};
        for (LONG i = 0; i < c.pixels; ++i) row.rects.push_back(RECT{2 * i, 0, 2 * i + 1, 1});
        if (c.reversed) std::reverse(row.rects.begin(), row.rects.end());
        RGNDATAHEADER* a = Data(covers);
        RGNDATAHEADER* b = Data(row);
        SetLastError(0);
        RGNDATAHEADER* made = RegionDataIntersect(a, b);
        if (c.fits) {
            ASSERT_NE(made, nullptr) << c.what;
            EXPECT_EQ(made->nCount, REGION_INTERSECT_MAX_RECTS) << c.what;
            EXPECT_EQ(made->rcBound.right, 2 * c.pixels - 1) << c.what;
        } else {
            EXPECT_EQ(made, nullptr) << c.what;
            EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY)) << c.what;
        }
        RenderFree(made);
        RenderFree(a);
        RenderFree(b);
    }
}
