// The brush, pen and clip stores: records read through the page records reader, lookups and
// reference counts, realise and trim under the budget, and the region-data services of the clip
// store against GDI's own region algebra.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/clip_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "rastrel/imo.h"
#include "tests/support/display_job.h"

namespace {

// ---- Brushes ----

TEST(BrushStore, ColourIdsMakeSolidBrushesOnceWithTheirClass)
{
    DisplayJob job;
    job.Read(SpoolBuilder());
    BrushStore* brushes = &job.store->brushes;
    struct Case {
        ResourceId id;
        uint32_t colour;
        uint32_t colourClass;
    } cases[] = {
        {0x80FF0000, 0xFF0000, 0x40}, {0x80808080, 0x808080, 0x20}, {0x80000000, 0, 0x10},
        {0x80FFFFFF, 0xFFFFFF, 0x10}, {0x80010203, 0x010203, 0x40},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.id);
        BrushEntry* first = BrushLookup(brushes, c.id);
        ASSERT_NE(first, nullptr);
        const uint32_t refs = first->head.refs;
        EXPECT_EQ(first->colour, c.colour);
        EXPECT_EQ(first->head.flags & RESOURCE_COLOR_MASK, c.colourClass);
        EXPECT_TRUE(BrushIsSolid(first));
        EXPECT_EQ(BrushLookup(brushes, c.id), first);
        EXPECT_EQ(first->head.refs, refs + 1);
    }
    EXPECT_EQ(BrushLookup(brushes, 0x80FF0000)->head.refs, 3u);
    EXPECT_EQ(BrushLookup(brushes, 5), nullptr);
}

TEST(BrushStore, ABrushRecordOverAMissingBitmapFailsThePageAndLeavesNoBrush)
{
    DisplayJob job;
    EXPECT_EQ(job.Read(SpoolBuilder().Add("brush", {{"id", 7}, {"bitmap", 3}})), 0);
    EXPECT_EQ(BrushLookup(&job.store->brushes, 7), nullptr);
    EXPECT_EQ(job.store->brushes.count, 3u);  // the built-ins
    EXPECT_EQ(job.Read(SpoolBuilder().Add("brush", {{"id", 7}, {"bitmap", 3}, {"size", 12}})), 0);
}

TEST(BrushStore, PatternSizeFollowsTheDeviceBrushScaleForSmallPatterns)
{
    // The device's brush resolution answers 300 (the built-in answer), the media is 600 dpi.
    DisplayJob job(256, IMO_OPTION_BRUSH_SCALE, 600);
    job.Read(SpoolBuilder());
    const BrushStore* brushes = &job.store->brushes;
    EXPECT_EQ(brushes->scaleEnabled, 1u);
    EXPECT_EQ(brushes->scaleDpi, 300u);
    struct Case {
        SIZE in, out;
    } cases[] = {{{8, 8}, {16, 16}}, {{64, 8}, {64, 8}}, {{32, 32}, {64, 64}}, {{33, 8}, {33, 8}}};
    for (const Case& c : cases) {
        const SIZE got = BrushPatternSize(brushes, c.in, nullptr);
        EXPECT_EQ(got.cx, c.out.cx) << c.in.cx;
        EXPECT_EQ(got.cy, c.out.cy) << c.in.cy;
    }
    DisplayJob plain(256, 0, 600);
    plain.Read(SpoolBuilder());
    EXPECT_EQ(BrushPatternSize(&plain.store->brushes, SIZE{8, 8}, nullptr).cx, 8);
}

TEST(BrushStore, PatternSizeUnderUnequalScalingGrowsTheFinerSideAndHoldsWithin32Bits)
{
    DisplayJob job;
    job.Read(SpoolBuilder());
    HDC dc = CreateCompatibleDC(nullptr);
    SetMapMode(dc, MM_ANISOTROPIC);
    struct Case {
        SIZE window, viewport, in, out;
    } cases[] = {
        {{1, 1}, {3, 1}, {8, 8}, {24, 8}},
        {{2, 2}, {2, 5}, {8, -8}, {8, -16}},
        // A mapping a page never has, over a pattern no page holds: the product stays in range.
        {{1, 1}, {2000000000, 1}, {1000, 8}, {2147483647, 8}},
        {{1, 1}, {1, 2000000000}, {8, -1000}, {8, -2147483647}},
    };
    for (const Case& c : cases) {
        SetWindowExtEx(dc, c.window.cx, c.window.cy, nullptr);
        SetViewportExtEx(dc, c.viewport.cx, c.viewport.cy, nullptr);
        const SIZE got = BrushPatternSize(&job.store->brushes, c.in, dc);
        EXPECT_EQ(got.cx, c.out.cx) << c.viewport.cx;
        EXPECT_EQ(got.cy, c.out.cy) << c.viewport.cy;
    }
    DeleteDC(dc);
}

// A surface to select into, and the objects the budget counts.
struct Surface {
    BandSurface* s = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{64, 16}, nullptr, 0, 0);
    ~Surface() { BandSurfaceDestroy(s); }
};

TEST(BrushStore, BuiltInsAreNeverCountedNorTrimmedAndAMarkedBrushSurvivesABudgetOfOne)
{
    DisplayJob job(1);
    job.Read(SpoolBuilder());
    Surface surface;
    ResourceStore* store = job.store;
    for (BrushEntry* builtin : {&store->brushes.black, &store->brushes.white, &store->brushes.empty}) {
        ASSERT_EQ(BrushSelect(store, builtin, nullptr, surface.s), 1);
        EXPECT_EQ(job.budget->objectUse, 0u);
    }
    BrushEntry* red = BrushLookup(&store->brushes, 0x800000FF);
    BrushEntry* blue = BrushLookup(&store->brushes, 0x80FF0000);
    ResourceUseMark(store, &red->head, RESOURCE_IN_USE);
    ASSERT_EQ(BrushSelect(store, red, nullptr, surface.s), 1);
    EXPECT_EQ(job.budget->objectUse, 1u);
    ASSERT_EQ(BrushSelect(store, blue, nullptr, surface.s), 1);  // red is marked: both live
    EXPECT_EQ(job.budget->objectUse, 2u);
    EXPECT_TRUE(red->head.flags & RESOURCE_REALISED);
    ResourceUseClear(store);
    // Another brush now trims the oldest unmarked one, which is red, selected or not.
    BrushEntry* grey = BrushLookup(&store->brushes, 0x80808080);
    ASSERT_EQ(BrushSelect(store, grey, nullptr, surface.s), 1);
    EXPECT_FALSE(red->head.flags & RESOURCE_REALISED);
    EXPECT_EQ(job.budget->objectUse, 2u);
    for (BrushEntry* builtin : {&store->brushes.black, &store->brushes.white})
        EXPECT_TRUE(builtin->head.flags & RESOURCE_REALISED);
    // Releasing the last reference of a selected brush deletes it (after taking it out of the DC).
    const uint32_t before = job.budget->objectUse;
    ResourceReleaseAccount(store, grey, 0, &store->brushes, [](void* o, void* b, int r, ResourceCost* t) {
        BrushRelease(static_cast<BrushStore*>(o), static_cast<BrushEntry*>(b), r, t);
    });
    EXPECT_EQ(job.budget->objectUse, before - 1);
    EXPECT_FALSE(grey->head.flags & RESOURCE_REALISED);
}

// ---- Pens ----

struct PenCase {
    const char* name;
    uint32_t options;
    uint32_t dpi;
    uint32_t style;
    uint32_t width;
    std::vector<int64_t> dashes;  // in the record
    uint32_t gdiStyle;
    uint32_t gdiWidth;
    std::vector<uint32_t> expectDashes;
};

ImxStatus PenScaleAnswer150(ImoInstance, uint32_t id, uint32_t, const void*, uint32_t* size, void* out)
{
    if (id != DEVICE_QUERY_PEN_DPI) return -2;
    const uint32_t value = 150;
    std::memcpy(out, &value, 4);
    *size = 4;
    return 0;
}

TEST(PenStore, RecordsGiveStylesDashesAndWidths)
{
    const PenCase cases[] = {
        {"built-in dash at 300 dpi", 0, 300, 0x1 | 0x2 | 0x8, 3, {}, PS_GEOMETRIC | PS_USERSTYLE, 3, {21, 21}},
        {"built-in dash at 30 dpi", 0, 30, 0x1 | 0x2 | 0x8, 3, {}, PS_GEOMETRIC | PS_USERSTYLE, 3, {3, 3}},
        {"built-in dash-dot, cosmetic", 0, 80, 0x2 | 0x20, 1, {}, 0, 1, {6, 2, 2, 2}},
        {"two dash flags pick no pattern", 0, 300, 0x2 | 0x8 | 0x10, 1, {}, PS_DOT | PS_DASH, 1, {}},
        {"own dashes, geometric mitre",
         0,
         300,
         0x1 | 0x2000000,
         4,
         {5, 2},
         PS_GEOMETRIC | PS_USERSTYLE | PS_JOIN_MITER,
         4,
         {5, 2}},
        {"caps and joins",
         0,
         300,
         0x1 | 0x20000 | 0x1000000,
         2,
         {},
         PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_BEVEL,
         2,
         {}},
        {"width 0 with the pen scale", IMO_OPTION_PEN_SCALE, 300, 0, 0, {}, 0, 2, {}},
        {"width 0 without the option bit", 0, 300, 0, 0, {}, 0, 1, {}},
    };
    for (const PenCase& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job(256, c.options, c.dpi);
        job.device->slots.DeviceQuery = PenScaleAnswer150;
        ASSERT_EQ(job.Read(SpoolBuilder().Add("pen", {{"id", 9},
                                                      {"style", c.style},
                                                      {"width", c.width},
                                                      {"miter_limit", 10},
                                                      {"brush", 0x80000000},
                                                      {"dash_count", c.dashes.size()},
                                                      {"data", Le32s(std::initializer_list<int64_t>{})}})),
                  c.dashes.empty() ? 1 : 0)
            << "a record without its dashes fails";
        if (!c.dashes.empty()) {
            std::vector<uint8_t> bytes;
            for (int64_t d : c.dashes) {
                auto le = Le32s({d});
                bytes.insert(bytes.end(), le.begin(), le.end());
            }
            ASSERT_EQ(job.Read(SpoolBuilder().Add("pen", {{"id", 9},
                                                          {"style", c.style},
                                                          {"width", c.width},
                                                          {"brush", 0x80000000},
                                                          {"dash_count", c.dashes.size()},
                                                          {"data", bytes}})),
                      1);
        }
        Pen* pen = PenLookup(&job.store->pens, 9, 0);
        ASSERT_NE(pen, nullptr);
        EXPECT_EQ(pen->style, c.gdiStyle);
        EXPECT_EQ(pen->width, c.gdiWidth);
        EXPECT_EQ(std::vector<uint32_t>(pen->dashes, pen->dashes + pen->dashCount), c.expectDashes);
    }
}

TEST(PenStore, MalformedAndDuplicateRecords)
{
    DisplayJob job;
    // A second definition of an id is consumed and the first stays.
    ASSERT_EQ(job.Read(SpoolBuilder()
                           .Add("pen", {{"id", 4}, {"width", 3}, {"brush", 0x80000000}})
                           .Add("pen", {{"id", 4}, {"width", 9}, {"brush", 0x80FFFFFF}})),
              1);
    EXPECT_EQ(PenLookup(&job.store->pens, 4, 0)->width, 3u);
    const uint32_t brushes = job.store->brushes.count;
    // A dash count the record does not hold, a pen over a missing brush, a built-in pattern with
    // stray dashes: each fails and leaves nothing (the brush reference it took is dropped).
    EXPECT_EQ(job.Read(SpoolBuilder().Add("pen", {{"id", 5}, {"brush", 0x80000000}, {"dash_count", 0x40000000}})), 0);
    EXPECT_EQ(job.Read(SpoolBuilder().Add("pen", {{"id", 5}, {"brush", 77}})), 0);
    EXPECT_EQ(job.Read(SpoolBuilder().Add(
                  "pen", {{"id", 5}, {"style", 0x2 | 0x8}, {"brush", 0x80000000}, {"data", Le32s({1, 1})}})),
              0);
    EXPECT_EQ(job.Read(SpoolBuilder().Add("pen", {{"id", 5}, {"brush", 0x800000FF}, {"size", 20}})), 0);
    EXPECT_EQ(PenLookup(&job.store->pens, 5, 0), nullptr);
    EXPECT_EQ(job.store->brushes.count, brushes);
}

TEST(PenStore, LookupsEqualityAndTrim)
{
    DisplayJob job(2);
    job.Read(SpoolBuilder()
                 .Add("pen", {{"id", 1}, {"width", 1}, {"brush", 0x80000000}})
                 .Add("pen", {{"id", 2}, {"width", 5}, {"brush", 0x80000000}})
                 .Add("pen", {{"id", 3}, {"style", 0x8}, {"width", 1}, {"brush", 0x80000000}}));
    PenStore* pens = &job.store->pens;
    Pen* black = PenLookup(pens, 0x80000000, 0);
    EXPECT_EQ(PenLookup(pens, 0x80000000, 0), black);
    EXPECT_EQ(black->head.refs, 2u);
    EXPECT_EQ(PenLookup(pens, 1234, 0), nullptr);
    Pen* one = PenLookup(pens, 1, 0);
    Pen* two = PenLookup(pens, 2, 0);
    Pen* dashed = PenLookup(pens, 3, 0);
    EXPECT_EQ(PenEqual(one, two), 1) << "widths are not compared";
    EXPECT_EQ(PenEqual(one, dashed), 0);
    EXPECT_EQ(PenEqual(one, black), 1) << "same style, both black solid brushes";

    // With room for two objects: the null pen costs nothing, a marked pen is never trimmed.
    Surface surface;
    ResourceStore* store = job.store;
    Pen* none = PenLookup(pens, 0, 0);
    ASSERT_EQ(ResourcePrepare(store, none, surface.s, pens, PenCostEstimate, PenRealize), 1);
    EXPECT_EQ(job.budget->objectUse, 0u);
    ResourceUseMark(store, &one->head, RESOURCE_IN_USE);
    ASSERT_EQ(ResourcePrepare(store, one, surface.s, pens, PenCostEstimate, PenRealize), 1);
    ASSERT_EQ(ResourcePrepare(store, two, surface.s, pens, PenCostEstimate, PenRealize), 1);
    ASSERT_EQ(ResourcePrepare(store, dashed, surface.s, pens, PenCostEstimate, PenRealize), 1);
    EXPECT_TRUE(one->head.flags & PEN_COLOR_PEN);
    EXPECT_FALSE(two->head.flags & PEN_COLOR_PEN) << "the oldest unmarked pen goes";
    EXPECT_TRUE(none->head.flags & PEN_COLOR_PEN);
    EXPECT_EQ(surface.s->selectedPen, dashed->colourPen);
    // Realising the selected pen again keeps the selection as it is.
    HPEN selected = surface.s->selectedPen;
    ASSERT_EQ(ResourcePrepare(store, dashed, surface.s, pens, PenCostEstimate, PenRealize), 1);
    EXPECT_EQ(surface.s->selectedPen, selected);
    ResourceUseClear(store);
    EXPECT_EQ(job.budget->objectUse, 2u);
}

// ---- Clips ----

TEST(ClipStore, RectangleRecords)
{
    DisplayJob job;
    SpoolBuilder b;
    ClipRecord(b, 1, {10, 10, 50, 50}, {});
    ClipRecord(b, 2, {0, 0, 20, 20}, {{0, 0, 10, 10}, {10, 10, 20, 20}});
    ClipRecord(b, 2, {0, 0, 99, 99}, {{0, 0, 99, 99}});  // a second id 2 is consumed; the first stays
    ASSERT_EQ(job.Read(b), 1);
    Clip* boundsOnly = ClipLookup(&job.store->clips, 1);
    ASSERT_NE(boundsOnly, nullptr);
    EXPECT_EQ(boundsOnly->data.nCount, 0u);
    EXPECT_EQ(ClipLookup(&job.store->clips, 2)->data.nCount, 2u);

    // The device list of a bounds-only clip serves its bounds: one rectangle inside them.
    Surface surface;
    ASSERT_EQ(ResourcePrepareWith(job.store, boundsOnly, &job.store->clips, surface.s, nullptr, ClipCostEstimate,
                                  ClipRealize),
              1);
    EXPECT_EQ(job.budget->memoryUse, 20u);
    RECT* out = nullptr;
    const RECT inside{20, 2, 30, 12};
    ASSERT_EQ(ClipRectsForBand(boundsOnly, surface.s, &inside, &out), 1);
    EXPECT_EQ(out[0], (RECT{20, 10, 30, 12}));
    RenderFree(out);

    // A record 16 bytes longer than its rectangles fails the page.
    DisplayJob bad;
    SpoolBuilder longer;
    longer.Add("clip_rects", {{"id", 3}, {"count", 1}, {"data", RectsData({{0, 0, 1, 1}, {0, 0, 2, 2}})}});
    EXPECT_EQ(bad.Read(longer), 0);
    EXPECT_EQ(ClipLookup(&bad.store->clips, 3), nullptr);
}

TEST(ClipStore, RegionRecordsWithoutPaths)
{
    DisplayJob job;
    SpoolBuilder b;
    ClipRecord(b, 1, {0, 0, 100, 100}, {{0, 0, 100, 50}});
    // Path id 0 empties the clip and ends the items; the item after it names no path that
    // exists, and is never looked at.
    b.Add("clip_region", {{"id", 2}, {"base", 1}, {"count", 2}, {"data", Le32s({0, 0x0201, 55, 0x0201})}});
    ASSERT_EQ(job.Read(b), 1);
    Clip* empty = ClipLookup(&job.store->clips, 2);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->data.nCount, 0u);
    EXPECT_EQ(empty->data.rcBound, RECT{});
    // A missing base clip, a missing path, items beyond the record: each fails.
    for (auto fields : {SpoolFields{{"id", 3}, {"base", 9}, {"count", 0}},
                        SpoolFields{{"id", 3}, {"base", 0}, {"count", 1}, {"data", Le32s({55, 0x0201})}},
                        SpoolFields{{"id", 3}, {"base", 0}, {"count", 2}, {"data", Le32s({0, 0})}}}) {
        DisplayJob failing;
        EXPECT_EQ(failing.Read(SpoolBuilder().Add("clip_region", fields)), 0);
        EXPECT_EQ(ClipLookup(&failing.store->clips, 3), nullptr);
    }
}

RGNDATAHEADER* Data(RECT bounds, std::vector<RECT> rects)
{
    RGNDATAHEADER* data = RegionDataAllocate(static_cast<uint32_t>(rects.size()));
    data->rcBound = bounds;
    std::copy(rects.begin(), rects.end(), RegionDataRects(data));
    return data;
}

std::vector<RECT> RectsOf(const RGNDATAHEADER* data)
{
    return std::vector<RECT>(RegionDataRects(data), RegionDataRects(data) + data->nCount);
}

TEST(ClipStore, CombiningAPathIntoTheWorkingRegion)
{
    const RECT unbounded{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};
    // Intersect with an unbounded base: the path's rectangles.
    RGNDATAHEADER* path = Data({10, 10, 30, 30}, {{10, 10, 30, 20}, {10, 20, 20, 30}});
    RGNDATAHEADER* working = ClipRegionDataCombine(Data(unbounded, {}), path, CLIP_COMBINE_INTERSECT);
    ASSERT_NE(working, nullptr);
    EXPECT_EQ(RectsOf(working), RectsOf(path));
    RenderFree(working);
    // Exclude from an unbounded base: everything but the path, with the bounds GDI reports.
    RGNDATAHEADER* square = Data({10, 10, 30, 30}, {{10, 10, 30, 30}});
    working = ClipRegionDataCombine(Data({0, 0, 100, 100}, {}), square, 4);
    ASSERT_NE(working, nullptr);
    HRGN expected = CreateRectRgn(0, 0, 100, 100);
    HRGN hole = CreateRectRgn(10, 10, 30, 30);
    CombineRgn(expected, expected, hole, RGN_DIFF);
    std::vector<uint8_t> gdi(GetRegionData(expected, 0, nullptr));
    GetRegionData(expected, static_cast<DWORD>(gdi.size()), reinterpret_cast<RGNDATA*>(gdi.data()));
    const auto* want = reinterpret_cast<const RGNDATAHEADER*>(gdi.data());
    EXPECT_EQ(working->rcBound, want->rcBound);
    EXPECT_EQ(RectsOf(working), RectsOf(want));
    DeleteObject(expected);
    DeleteObject(hole);
    RenderFree(working);
    RenderFree(square);
    RenderFree(path);
}

TEST(ClipStore, IntersectionsMergeStripsAndCombineIsCached)
{
    // Two strips one above the other, same left and right, cut by one rectangle: one rectangle.
    RGNDATAHEADER* strips = Data({0, 0, 10, 20}, {{0, 0, 10, 10}, {0, 10, 10, 20}});
    RGNDATAHEADER* cover = Data({0, 0, 10, 20}, {{0, 0, 10, 20}});
    RGNDATAHEADER* both = RegionDataIntersect(strips, cover);
    EXPECT_EQ(RectsOf(both), (std::vector<RECT>{{0, 0, 10, 20}}));
    EXPECT_EQ(both->rcBound, (RECT{0, 0, 10, 20}));
    RenderFree(both);
    RenderFree(strips);
    RenderFree(cover);

    DisplayJob job;
    SpoolBuilder b;
    ClipRecord(b, 1, {0, 0, 100, 100}, {});
    ClipRecord(b, 2, {10, 10, 30, 30}, {{10, 10, 30, 20}, {10, 20, 20, 30}});
    ClipRecord(b, 3, {50, 50, 200, 200}, {{50, 50, 200, 200}});
    ASSERT_EQ(job.Read(b), 1);
    ClipStore* clips = &job.store->clips;
    Clip* box = ClipLookup(clips, 1);
    Clip* inner = ClipLookup(clips, 2);
    Clip* outer = ClipLookup(clips, 3);
    EXPECT_EQ(ClipCombine(clips, box, inner), inner) << "a rectangle clip inside the bounds is itself";
    const uint32_t count = clips->count;
    Clip* made = ClipCombine(clips, box, outer);
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(RectsOf(&made->data), (std::vector<RECT>{{50, 50, 100, 100}}));
    EXPECT_EQ(clips->count, count + 1);
    EXPECT_EQ(ClipCombine(clips, outer, box), made) << "the pair swapped comes from the cache";
    EXPECT_EQ(clips->count, count + 1);
    RECT* out = nullptr;
    EXPECT_EQ(ClipRectsClipped(inner, &inner->data.rcBound, &out), 2);
    RenderFree(out);
    const RECT corner{20, 20, 25, 25};
    EXPECT_EQ(ClipRectsOverlapping(inner, &corner, &out), 0u) << "touching corners do not overlap";
    ClipFreeIfUnused(clips, made);
    EXPECT_EQ(clips->count, count);
}

TEST(ClipStore, SelectionMovesTheRegionBetweenBandsAndTrimsUnderTheBudget)
{
    DisplayJob job(1);
    SpoolBuilder b;
    ClipRecord(b, 1, {0, 0, 40, 40}, {{0, 0, 40, 20}, {0, 20, 20, 40}});
    ClipRecord(b, 2, {0, 0, 8, 8}, {});
    ASSERT_EQ(job.Read(b), 1);
    Surface surface;
    HDC dc = surface.s->drawDC;
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    ClipStore* clips = &job.store->clips;
    Clip* clip = ClipLookup(clips, 1);
    const RECT band{0, 0, 64, 16};
    EXPECT_EQ(ClipSelect(job.store, nullptr, surface.s, &band), 1) << "no clip when none is selected";
    EXPECT_EQ(surface.s->selectedClip, nullptr);
    ASSERT_EQ(ClipSelect(job.store, clip, surface.s, &band), 1);
    EXPECT_EQ(job.budget->objectUse, 1u);
    HRGN first = clip->region;
    SetViewportOrgEx(dc, 0, -16, nullptr);  // the next band, of the same height
    ASSERT_EQ(ClipSelect(job.store, clip, surface.s, &band), 1);
    EXPECT_EQ(clip->region, first) << "moved, not rebuilt";
    EXPECT_EQ(job.budget->objectUse, 1u);
    EXPECT_EQ(clip->deviceBounds, (RECT{0, -16, 40, 24}));
    RECT box{};
    EXPECT_EQ(GetRgnBox(clip->region, &box), COMPLEXREGION);
    EXPECT_EQ(box, (RECT{0, -16, 40, 24}));
    // A second clip with a budget of one object: the unmarked first loses its region.
    Clip* small = ClipLookup(clips, 2);
    ASSERT_EQ(ClipSelect(job.store, small, surface.s, &band), 1);
    EXPECT_FALSE(clip->head.flags & CLIP_REGION);
    EXPECT_EQ(job.budget->objectUse, 1u);
    EXPECT_EQ(ClipSelect(job.store, nullptr, surface.s, &band), 1);
    EXPECT_EQ(surface.s->selectedClip, nullptr);
}

}  // namespace
