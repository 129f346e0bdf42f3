// Clips made from paths: each item's path becomes a region under its fill mode and is intersected
// with or cut out of the working region. Rectangles drawn through such clips are compared, pixel
// by pixel, with the crossing number of the paths' figures, by both roads of the band loop.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/path_store.h"
#include "engine/job/render_call.h"
#include "platform/gdi.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using Figure = std::vector<POINT>;

// Point (x, y) inside the figures by the crossing number: rule 1 odd crossings, 2 non-zero winding;
// a point on a left or top edge is inside, on a right or bottom edge outside.
bool Inside(const std::vector<Figure>& figures, int x, int y, int rule)
{
    int crossings = 0, winding = 0;
    for (const Figure& f : figures)
        for (size_t i = 0; i < f.size(); ++i) {
            POINT a = f[i == 0 ? f.size() - 1 : i - 1], b = f[i];
            if (a.y == b.y) continue;
            const int direction = a.y < b.y ? -1 : 1;
            if (a.y > b.y) std::swap(a, b);
            if (y < a.y || y >= b.y) continue;
            const int64_t dy = b.y - a.y, dx = b.x - a.x;
            if (int64_t{a.x} * dy + int64_t{y - a.y} * dx <= int64_t{x} * dy) ++crossings, winding += direction;
        }
    return rule == 2 ? winding != 0 : (crossings & 1) != 0;
}

struct Item {
    uint32_t path;
    uint8_t fillMode;
    uint8_t combine;
};

std::vector<uint8_t> Items(const std::vector<Item>& items)
{
    std::vector<uint8_t> out;
    for (const Item& i : items) {
        auto le = Le32s({i.path, int64_t{i.fillMode} | int64_t{i.combine} << 8});
        out.insert(out.end(), le.begin(), le.end());
    }
    return out;
}

const Figure kStar = {{40, 2}, {54, 58}, {4, 22}, {76, 22}, {26, 58}};
const Figure kTriangle = {{50, 10}, {90, 30}, {45, 55}};
const Figure kSquare = {{60, 40}, {90, 40}, {90, 60}, {60, 60}};

struct ClipCase {
    const char* name;
    uint32_t base;  // 0 or clip 1, the rectangles below
    std::vector<Item> items;
    std::function<bool(int, int)> visible;  // at a logical pixel
};

const std::vector<RECT> kBaseRects = {{0, 0, 60, 30}, {20, 30, 96, 64}};

bool InBase(int x, int y)
{
    for (const RECT& r : kBaseRects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

TEST(ClipPathBands, RectanglesThroughPathClipsPaintTheCrossingNumberPixels)
{
    const ClipCase cases[] = {
        {"a winding star from an unbounded base",
         0,
         {{2, 2, 2}},
         [](int x, int y) { return Inside({kStar}, x, y, 2); }},
        {"an alternate star: the centre is out", 0, {{2, 1, 2}}, [](int x, int y) { return Inside({kStar}, x, y, 1); }},
        {"everything but the triangle", 0, {{3, 1, 4}}, [](int x, int y) { return !Inside({kTriangle}, x, y, 1); }},
        {"rectangles, then the star, less the triangle",
         1,
         {{2, 2, 2}, {3, 2, 1}},
         [](int x, int y) { return InBase(x, y) && Inside({kStar}, x, y, 2) && !Inside({kTriangle}, x, y, 2); }},
        {"the star with a square cut out, then cut to two figures",
         0,
         {{2, 1, 2}, {4, 2, 4}, {5, 2, 2}},
         [](int x, int y) {
             return Inside({kStar}, x, y, 1) && !Inside({kSquare}, x, y, 2) && Inside({kTriangle, kSquare}, x, y, 2);
         }},
        {"path 0 empties the clip", 1, {{2, 2, 2}, {0, 0, 0}, {3, 1, 2}}, [](int, int) { return false; }},
    };
    for (const ClipCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int scale : {1, 2}) {
            const int w = 96 * scale, h = 64 * scale;
            SpoolBuilder b;
            ClipRecord(b, 1, {0, 0, 96, 64}, {kBaseRects[0], kBaseRects[1]});
            records::Path(b, 2, {kStar});
            records::Path(b, 3, {kTriangle});
            records::Path(b, 4, {kSquare});
            records::Path(b, 5, {kTriangle, kSquare});
            b.Add("clip_region", {{"id", 9}, {"base", c.base}, {"count", c.items.size()}, {"data", Items(c.items)}});
            b.Add("cmd_rect", {{"left", 2},
                               {"top", 1},
                               {"right", 94},
                               {"bottom", 63},
                               {"brush", 0x80C02010},
                               {"clip", 9},
                               {"mix", R2_COPYPEN}});
            DisplayJob job;
            ASSERT_EQ(job.Read(b), 1);
            Image want(w, h);
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const int lx = x / scale, ly = y / scale;
                    if (lx >= 2 && lx < 94 && ly >= 1 && ly < 63 && c.visible(lx, ly)) want.at(x, y) = 0xC02010;
                }
            for (int bandHeight : {h, 16, 7, 1}) {
                SCOPED_TRACE("scale " + std::to_string(scale) + ", bands of " + std::to_string(bandHeight));
                EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "GDI road";
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "mask road";
            }
        }
    }
}

TEST(ClipPathRecords, AMissingPathFailsTheRecordAndReleasesEveryReference)
{
    DisplayJob job;
    SpoolBuilder b;
    ClipRecord(b, 1, {0, 0, 96, 64}, {kBaseRects[0], kBaseRects[1]});
    records::Path(b, 2, {kStar});
    ASSERT_EQ(job.Read(b), 1);
    Clip* base = ClipLookup(&job.store->clips, 1);
    PathEntry* path = PathLookup(&job.store->paths, 2);
    const uint32_t before[] = {base->head.refs, path->head.refs};
    const int64_t live = RenderAllocLiveBlocks();
    // The star is read, then path 7 is missing: nothing of the clip stays.
    EXPECT_EQ(job.Read(
                  SpoolBuilder().Add("clip_region",
                                     {{"id", 9}, {"base", 1}, {"count", 2}, {"data", Items({{2, 2, 2}, {7, 1, 2}})}})),
              0);
    EXPECT_EQ(ClipLookup(&job.store->clips, 9), nullptr);
    EXPECT_EQ(RenderAllocLiveBlocks(), live);
    EXPECT_EQ(base->head.refs, before[0]);
    EXPECT_EQ(path->head.refs, before[1]);
}

}  // namespace
