// The path store: records read and checked, lookups and releases, flattening, realisation with
// its translation between bands, and the monotone promise.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/path_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "tests/support/memory_stream.h"

namespace {

struct Sub {
    uint32_t flags;
    std::vector<POINT> points;
};

std::vector<uint8_t> PathRecord(uint32_t id, RECT bounds, const std::vector<Sub>& subs)
{
    std::vector<uint8_t> r(32);
    StoreLE16(r.data(), 36);
    StoreLE32(r.data() + 8, id);
    const LONG b[4] = {bounds.left, bounds.top, bounds.right, bounds.bottom};
    for (int i = 0; i < 4; ++i) StoreLE32(r.data() + 12 + 4 * i, static_cast<uint32_t>(b[i]));
    StoreLE32(r.data() + 28, static_cast<uint32_t>(subs.size()));
    for (const Sub& s : subs) {
        size_t at = r.size();
        r.resize(at + 8 + 8 * s.points.size());
        StoreLE32(r.data() + at, s.flags);
        StoreLE32(r.data() + at + 4, static_cast<uint32_t>(s.points.size()));
        for (size_t i = 0; i < s.points.size(); ++i) {
            StoreLE32(r.data() + at + 8 + 8 * i, static_cast<uint32_t>(s.points[i].x));
            StoreLE32(r.data() + at + 12 + 8 * i, static_cast<uint32_t>(s.points[i].y));
        }
    }
    StoreLE32(r.data() + 4, static_cast<uint32_t>(r.size()));
    return r;
}

struct Store {
    PathStore store{};
    Store() { PathStoreInit(&store); }
    ~Store() { PathStoreDestroy(&store, nullptr); }
    int Define(std::vector<uint8_t> bytes)
    {
        MemoryStream memory(std::move(bytes));
        Stream* stream = MemoryStreamOpen(&memory);
        int result = PathDefine(&store, stream);
        StreamClose(stream);
        return result;
    }
};

struct Surface {
    struct Destroy {
        void operator()(BandSurface* s) const { BandSurfaceDestroy(s); }
    };
    std::unique_ptr<BandSurface, Destroy> s{BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{64, 64}, nullptr, 0, 0)};
};

constexpr uint32_t kFigure = PATH_FIGURE_START | PATH_FIGURE_END | PATH_CLOSE;

TEST(PathStore, RecordsAreCheckedAndKept)
{
    Store s;
    // Exactly 32 bytes: no subpaths, no points, no figures.
    ASSERT_EQ(s.Define(PathRecord(7, RECT{0, 0, 1, 1}, {})), 1);
    PathEntry* empty = PathLookup(&s.store, 7);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->pointCount, 0u);
    EXPECT_EQ(empty->figureCount, 0u);
    PathRelease(&s.store, empty, 0, nullptr);

    // Broken records fail and add nothing: short head, size below 32, a count past the record,
    // a subpath head past the record.
    std::vector<uint8_t> good = PathRecord(9, RECT{0, 0, 10, 10}, {{kFigure, {{0, 0}, {5, 5}, {0, 5}}}});
    std::vector<uint8_t> shortHead(good.begin(), good.begin() + 20);
    std::vector<uint8_t> small = good;
    StoreLE32(small.data() + 4, 31);
    std::vector<uint8_t> longCount = good;
    StoreLE32(longCount.data() + 36, 4);
    std::vector<uint8_t> twoSubs = good;
    StoreLE32(twoSubs.data() + 28, 2);
    for (const auto& bad : {shortHead, small, longCount, twoSubs}) EXPECT_EQ(s.Define(bad), 0);
    EXPECT_EQ(s.store.count, 1u);
    EXPECT_EQ(PathLookup(&s.store, 9), nullptr);

    // Two paths with one id: the last read is found; the remove flag frees it and uncovers the first.
    ASSERT_EQ(s.Define(good), 1);
    ASSERT_EQ(s.Define(PathRecord(9, RECT{0, 0, 10, 10}, {{kFigure | PATH_BEZIER, {{0, 0}, {5, 5}, {0, 5}, {3, 3}}}})),
              1);
    PathEntry* newest = PathLookup(&s.store, 9);
    ASSERT_NE(newest, nullptr);
    EXPECT_TRUE(newest->head.flags & PATH_HAS_BEZIER);
    EXPECT_EQ(newest->pointCount, 4u);
    PathRelease(&s.store, newest, 1, nullptr);
    PathEntry* first = PathLookup(&s.store, 9);
    ASSERT_NE(first, nullptr);
    EXPECT_FALSE(first->head.flags & PATH_HAS_BEZIER);
    PathEntry* again = PathLookup(&s.store, 9);
    EXPECT_TRUE(PathEqual(first, again));
    PathRelease(&s.store, again, 0, nullptr);
    PathRelease(&s.store, first, 0, nullptr);
    EXPECT_NE(PathLookup(&s.store, 9), nullptr);  // without remove the path stays findable
}

// A size that claims far more than the stream holds fails at the stream's end, having taken
// memory for what arrived only, and a large path that is all there is still read whole.
TEST(PathStore, ARecordClaimingMoreThanItsStreamHoldsAllocatesOnlyWhatArrives)
{
    Store s;
    std::vector<uint8_t> claim = PathRecord(3, RECT{0, 0, 10, 10}, {{kFigure, {{0, 0}, {5, 5}, {0, 5}}}});
    claim.resize(488);
    StoreLE32(claim.data() + 4, 2139062143u);
    RenderAllocLargest();
    EXPECT_EQ(s.Define(claim), 0);
    EXPECT_LT(RenderAllocLargest(), size_t{1} << 20);
    EXPECT_EQ(s.store.count, 0u);

    std::vector<POINT> many(100000);
    for (size_t i = 0; i < many.size(); ++i) many[i] = POINT{LONG(i % 1000), LONG(i / 1000)};
    ASSERT_EQ(s.Define(PathRecord(4, RECT{0, 0, 1000, 100}, {{kFigure, many}})), 1);
    PathEntry* big = PathLookup(&s.store, 4);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->pointCount, 100000u);
    EXPECT_EQ(LoadLE32(big->data + 8 + 8 * 99999 + 4), 99u) << "the last point arrived";
    PathRelease(&s.store, big, 0, nullptr);
}

TEST(PathStore, FlatteningPieces)
{
    // A straight cubic is flat at once: one piece.
    std::vector<std::pair<POINT, POINT>> pieces;
    auto collect = [](const double* from, const double* to, void* context) {
        static_cast<std::vector<std::pair<POINT, POINT>>*>(context)->push_back(
            {POINT{LONG(from[0]), LONG(from[1])}, POINT{LONG(to[0]), LONG(to[1])}});
        return 1;
    };
    const POINT straight[4] = {{0, 0}, {10, 0}, {20, 0}, {30, 0}};
    EXPECT_EQ(PathFlatten(straight, collect, &pieces), 1);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].second.x, 30);
    // A curve: pieces in order, joined end to start, from the first control point to the last.
    pieces.clear();
    const POINT curve[4] = {{0, 0}, {0, 1000}, {1000, 1000}, {1000, 0}};
    EXPECT_EQ(PathFlatten(curve, collect, &pieces), 1);
    ASSERT_GT(pieces.size(), 8u);
    EXPECT_EQ(pieces.front().first.x, 0);
    EXPECT_EQ(pieces.back().second.x, 1000);
    for (size_t i = 1; i < pieces.size(); ++i) EXPECT_EQ(pieces[i].first.x, pieces[i - 1].second.x);
    // A callback's 0 stops it; wild control points end within the depth limit.
    int calls = 0;
    auto stop = [](const double*, const double*, void* context) { return ++*static_cast<int*>(context) < 3 ? 1 : 0; };
    EXPECT_EQ(PathFlatten(curve, stop, &calls), 0);
    EXPECT_EQ(calls, 3);
    calls = 0;
    auto count = [](const double*, const double*, void* context) { return ++*static_cast<int*>(context), 1; };
    const POINT wild[4] = {{INT32_MIN, INT32_MIN},
                           {INT32_MAX, INT32_MIN},
                           {INT32_MIN, INT32_MAX},
                           {INT32_MAX, INT32_MAX}};
    EXPECT_EQ(PathFlatten(wild, count, &calls), 1);
    EXPECT_LE(calls, 1 << 16);
}

TEST(PathStore, RealisationTranslatesBetweenBandsAndTrims)
{
    Store s;
    Surface surface;
    // A closed square of five points (the last equal to the first) is realised with four.
    ASSERT_EQ(s.Define(
                  PathRecord(1, RECT{10, 10, 20, 20}, {{kFigure, {{10, 10}, {20, 10}, {20, 20}, {10, 20}, {10, 10}}}})),
              1);
    PathEntry* square = PathLookup(&s.store, 1);
    ResourceCost tally{};
    ASSERT_EQ(PathRealize(&s.store, square, nullptr, surface.s.get(), &tally), 1);
    ASSERT_NE(square->realised, nullptr);
    EXPECT_EQ(square->realised->pointCount, 4u);
    EXPECT_EQ(tally.memory, PathPointsCost(square->realised));
    EXPECT_TRUE(square->head.flags & PATH_MONOTONE);

    // The next band: the window moved down by the band height; the points only move.
    SetWindowOrgEx(surface.s->drawDC, 0, 16, nullptr);
    ResourceCost next{};
    ASSERT_EQ(PathRealize(&s.store, square, nullptr, surface.s.get(), &next), 1);
    EXPECT_EQ(next.memory, 0);
    EXPECT_EQ(square->realised->points[0].y, -6);
    EXPECT_EQ(square->realised->bounds.top, -6);

    // Monotone: a one-figure star is not, nor are two figures.
    ASSERT_EQ(s.Define(
                  PathRecord(2, RECT{0, 0, 40, 40}, {{kFigure, {{20, 0}, {27, 38}, {2, 14}, {38, 14}, {13, 38}}}})),
              1);
    ASSERT_EQ(s.Define(PathRecord(3, RECT{0, 0, 40, 40},
                                  {{kFigure, {{0, 0}, {5, 5}, {0, 5}}}, {kFigure, {{10, 0}, {15, 5}, {10, 5}}}})),
              1);
    for (ResourceId id : {2u, 3u}) {
        PathEntry* p = PathLookup(&s.store, id);
        ASSERT_EQ(PathRealize(&s.store, p, nullptr, surface.s.get(), &tally), 1);
        EXPECT_FALSE(p->head.flags & PATH_MONOTONE) << id;
        PathRelease(&s.store, p, 0, &tally);
        EXPECT_EQ(p->realised, nullptr);
    }

    // A trim frees the oldest unmarked list; a marked one stays.
    square->head.flags |= RESOURCE_IN_USE;
    ResourceCost request{0, 1, 0};
    PathStoreTrim(&s.store, surface.s.get(), 1, &request);
    EXPECT_NE(square->realised, nullptr);
    square->head.flags &= ~RESOURCE_IN_USE;
    PathStoreTrim(&s.store, surface.s.get(), 1, &request);
    EXPECT_EQ(square->realised, nullptr);
    EXPECT_LE(request.memory, 0);
    PathRelease(&s.store, square, 0, nullptr);
}

TEST(PathStore, CurvesAreFlattenedAndShortFiguresDropped)
{
    Store s;
    Surface surface;
    // A figure of one point and an empty subpath are skipped; a curve is flattened.
    ASSERT_EQ(s.Define(PathRecord(4, RECT{0, 0, 60, 60},
                                  {{kFigure, {{5, 5}}},
                                   {PATH_FIGURE_START, {}},
                                   {PATH_FIGURE_START | PATH_BEZIER, {{0, 0}, {0, 60}, {60, 60}, {60, 0}}},
                                   {PATH_FIGURE_END | PATH_CLOSE, {}}})),
              1);
    PathEntry* p = PathLookup(&s.store, 4);
    ResourceCost tally{};
    ASSERT_EQ(PathRealize(&s.store, p, nullptr, surface.s.get(), &tally), 1);
    ASSERT_EQ(p->realised->figureCount, 1u);
    EXPECT_GT(p->realised->pointCount, 8u);
    EXPECT_EQ(p->realised->points[0].x, 0);
    EXPECT_EQ(p->realised->points[p->realised->pointCount - 1].x, 60);
    PathRelease(&s.store, p, 0, &tally);
    EXPECT_EQ(tally.memory, 0);
}

}  // namespace

namespace {

TEST(PathStore, HugeAndFarPathsEndInBoundedWork)
{
    Store s;
    Surface surface;
    // A million points of a zigzag, and a cubic whose control points reach the 32-bit limits.
    std::vector<POINT> zigzag(1000000);
    for (size_t i = 0; i < zigzag.size(); ++i)
        zigzag[i] = POINT{static_cast<LONG>(i % 64), static_cast<LONG>(i % 2 ? 60 : 2)};
    ASSERT_EQ(s.Define(PathRecord(1, RECT{0, 0, 64, 64}, {{kFigure, zigzag}})), 1);
    ASSERT_EQ(s.Define(PathRecord(2, RECT{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX},
                                  {{kFigure | PATH_BEZIER,
                                    {{INT32_MIN, INT32_MIN},
                                     {INT32_MAX, INT32_MIN},
                                     {INT32_MIN, INT32_MAX},
                                     {INT32_MAX, INT32_MAX}}}})),
              1);
    ResourceCost tally{};
    PathEntry* huge = PathLookup(&s.store, 1);
    ASSERT_EQ(PathRealize(&s.store, huge, nullptr, surface.s.get(), &tally), 1);
    EXPECT_EQ(huge->realised->pointCount, 1000000u);
    // Beyond what the edges can step in 32 bits: realising fails cleanly, the command uses GDI.
    PathEntry* far = PathLookup(&s.store, 2);
    const int64_t live = RenderAllocLiveBlocks();
    EXPECT_EQ(PathRealize(&s.store, far, nullptr, surface.s.get(), &tally), 0);
    EXPECT_EQ(far->realised, nullptr);
    EXPECT_EQ(RenderAllocLiveBlocks(), live);
    PathRelease(&s.store, huge, 0, &tally);
    PathRelease(&s.store, far, 0, &tally);
    EXPECT_EQ(tally.memory, 0);
}

}  // namespace

namespace {

TEST(PathStore, RegionDataFollowsTheFillMode)
{
    Store s;
    // Two overlapping squares in one path: alternate leaves the overlap out, winding keeps it.
    ASSERT_EQ(s.Define(PathRecord(5, RECT{0, 0, 30, 30},
                                  {{kFigure, {{0, 0}, {20, 0}, {20, 20}, {0, 20}}},
                                   {kFigure, {{10, 10}, {30, 10}, {30, 30}, {10, 30}}}})),
              1);
    PathEntry* p = PathLookup(&s.store, 5);
    for (int mode : {1, 2}) {
        RGNDATA* data = PathRegionDataGet(p, mode);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->rdh.rcBound.right, 30);
        EXPECT_EQ(data->rdh.rcBound.bottom, 30);
        int64_t area = 0;
        const RECT* rects = reinterpret_cast<const RECT*>(data->Buffer);
        for (DWORD i = 0; i < data->rdh.nCount; ++i)
            area += int64_t{rects[i].right - rects[i].left} * (rects[i].bottom - rects[i].top);
        EXPECT_EQ(area, mode == 1 ? 600 : 700) << mode;
        RenderFree(data);
    }
    PathRelease(&s.store, p, 0, nullptr);
}

}  // namespace
