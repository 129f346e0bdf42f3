// Line and Path commands: what the reader makes of their records, and the commands drawn into
// bands by both roads of the band loop, against per-pixel references, however the page is cut.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/display/commands/cmd_line.h"
#include "engine/display/commands/cmd_path.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/stores/path_store.h"
#include "engine/display/stores/pen_store.h"
#include "platform/gdi_paths.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using Figure = std::vector<POINT>;

SpoolFields PathFields(uint32_t path, uint32_t brush, uint32_t pen, uint32_t clip, uint32_t mix, uint32_t fill = 1)
{
    return {{"path", path}, {"brush", brush}, {"pen", pen}, {"clip", clip}, {"mix", mix}, {"fill_mode", fill}};
}

SpoolFields LineFields(POINT a, POINT b, uint32_t pen, uint32_t clip, uint32_t mix)
{
    return {{"x1", a.x}, {"y1", a.y}, {"x2", b.x}, {"y2", b.y}, {"pen", pen}, {"clip", clip}, {"mix", mix}};
}

const Figure kStar = {{40, 2}, {54, 58}, {4, 22}, {76, 22}, {26, 58}};
const Figure kTriangle = {{60, 30}, {94, 40}, {66, 62}};

TEST(LinePathRead, RecordsBecomeNodes)
{
    DisplayJob job;
    SpoolBuilder b;
    records::Path(b, 1, {kStar});
    b.Add("pen", {{"id", 2}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}});
    b.Add("cmd_line", LineFields({1, 1}, {9, 1}, 2, 0, R2_NOP));  // no node
    b.Add("cmd_path", PathFields(1, 0x800000FF, 2, 0, R2_COPYPEN));  // fill, then outline
    b.Add("cmd_path", PathFields(1, 0x800000FF, 2, 0, R2_XORPEN));  // one node
    b.Add("cmd_path", PathFields(1, 0x80808080, 0, 0, R2_WHITE));  // white whatever the brush
    b.Add("cmd_line", LineFields({1, 1}, {9, 5}, 2, 0, R2_COPYPEN));
    ASSERT_EQ(job.Read(b), 1);
    std::vector<CmdNode*> nodes = job.Nodes();
    ASSERT_EQ(nodes.size(), 5u);
    auto path = [&](size_t i) { return reinterpret_cast<CmdPathNode*>(nodes[i]); };
    EXPECT_NE(path(0)->brush, nullptr);
    EXPECT_EQ(path(0)->pen, nullptr);
    EXPECT_EQ(nodes[0]->bounds, (RECT{4, 2, 77, 59}));
    EXPECT_EQ(path(1)->brush, nullptr);
    EXPECT_NE(path(1)->pen, nullptr);
    EXPECT_EQ(nodes[1]->bounds, (RECT{3, 1, 78, 60}));  // widened by the pen
    EXPECT_NE(path(2)->brush, nullptr);
    EXPECT_NE(path(2)->pen, nullptr);
    EXPECT_EQ(CmdIsWhite(nodes[3]), 1);
    EXPECT_EQ(CmdIsBlack(nodes[3]), 0);
    EXPECT_EQ(nodes[4]->op, CmdOpLine);
    EXPECT_EQ(nodes[4]->bounds, (RECT{0, 0, 11, 7}));
    // Equal paths compare equal through a clone; the clone holds its own references.
    CmdNode* clone = CmdRow(nodes[2]).clone(nodes[2], job.store);
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(CmdEqual(clone, nodes[2]), 1);
    EXPECT_EQ(CmdEqual(clone, nodes[0]), 0);
    CmdRow(clone).destroy(clone, job.store);
}

TEST(LinePathRead, MissingResourcesFailAndReleaseEverything)
{
    struct Case {
        const char* name;
        const char* kind;
        SpoolFields fields;
    } cases[] = {
        {"a missing path", "cmd_path", PathFields(9, 0x80808080, 0, 0, R2_COPYPEN)},
        {"a missing brush", "cmd_path", PathFields(1, 77, 0, 0, R2_COPYPEN)},
        {"a missing pen", "cmd_path", PathFields(1, 0x80808080, 76, 0, R2_COPYPEN)},
        {"a missing clip", "cmd_path", PathFields(1, 0x80808080, 2, 75, R2_COPYPEN)},
        {"a line's missing pen", "cmd_line", LineFields({0, 0}, {5, 5}, 74, 0, R2_COPYPEN)},
        {"a line's missing clip", "cmd_line", LineFields({0, 0}, {5, 5}, 2, 73, R2_COPYPEN)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        SpoolBuilder defs;
        records::Path(defs, 1, {kTriangle});
        defs.Add("pen", {{"id", 2}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}});
        ASSERT_EQ(job.Read(defs), 1);
        PathEntry* path = PathLookup(&job.store->paths, 1);
        Pen* pen = PenLookup(&job.store->pens, 2, 0);
        // The colour brush is made by its first lookup and stays in the store.
        BrushEntry* brush = BrushLookup(&job.store->brushes, 0x80808080);
        const uint32_t before[] = {path->head.refs, pen->head.refs};
        const int64_t live = RenderAllocLiveBlocks();
        EXPECT_EQ(job.Read(SpoolBuilder().Add(c.kind, c.fields)), 0);
        EXPECT_TRUE(job.Nodes().empty());
        EXPECT_EQ(RenderAllocLiveBlocks(), live);
        EXPECT_EQ(path->head.refs, before[0]);
        EXPECT_EQ(pen->head.refs, before[1]);
        EXPECT_EQ(brush->head.refs, 1u);
    }
}

// The crossing number at each device pixel of the figures scaled to the device.
void PaintFigures(Image& image, const std::vector<Figure>& figures, int scale, int rule, uint32_t colour,
                  const std::vector<RECT>& clip = {})
{
    for (int y = 0; y < image.h; ++y)
        for (int x = 0; x < image.w; ++x) {
            int crossings = 0, winding = 0;
            for (const Figure& f : figures)
                for (size_t i = 0; i < f.size(); ++i) {
                    POINT a = f[i == 0 ? f.size() - 1 : i - 1], b = f[i];
                    a.x *= scale, a.y *= scale, b.x *= scale, b.y *= scale;
                    if (a.y == b.y) continue;
                    int direction = a.y < b.y ? -1 : 1;
                    if (a.y > b.y) std::swap(a, b);
                    if (y < a.y || y >= b.y) continue;
                    int64_t dy = b.y - a.y, dx = b.x - a.x;
                    if (int64_t{a.x} * dy + int64_t{y - a.y} * dx <= int64_t{x} * dy) ++crossings, winding += direction;
                }
            bool inside = rule == 2 ? winding != 0 : (crossings & 1) != 0;
            bool visible = clip.empty();
            for (const RECT& c : clip)
                visible |= x >= c.left * scale && x < c.right * scale && y >= c.top * scale && y < c.bottom * scale;
            if (inside && visible) image.at(x, y) = colour;
        }
}

TEST(LinePathBands, FillsPaintTheirCrossingNumberPixelsHoweverThePageIsCut)
{
    const int w = 192, h = 128;
    for (int scale : {1, 2}) {
        SpoolBuilder b;
        records::Path(b, 1, {kStar});
        records::Path(b, 2, {kTriangle, {{70, 45}, {80, 45}, {75, 55}}});
        b.Add("clip_rects", {{"id", 3},
                             {"left", 0},
                             {"top", 10},
                             {"right", 96},
                             {"bottom", 50},
                             {"count", 2},
                             {"data", Le32s({0, 10, 30, 30, 35, 20, 96, 50})}});
        b.Add("cmd_path", PathFields(1, 0x800000FF, 0, 0, R2_COPYPEN, 2));  // winding: the centre filled
        b.Add("cmd_path", PathFields(1, 0x8000FF00, 0, 3, R2_COPYPEN, 1));  // alternate, clipped
        b.Add("cmd_path", PathFields(2, 0x80FF0000, 0, 0, R2_NOTCOPYPEN, 1));  // a hole; inverted colour
        b.Add("cmd_path", PathFields(2, 0x80FF0000, 0, 0, R2_BLACK, 2));
        DisplayJob job;
        ASSERT_EQ(job.Read(b), 1);
        Image want(w, h);
        const std::vector<RECT> clip = {{0, 10, 30, 30}, {35, 20, 96, 50}};
        const std::vector<Figure> two = {kTriangle, {{70, 45}, {80, 45}, {75, 55}}};
        PaintFigures(want, {kStar}, scale, 2, 0x0000FF);
        PaintFigures(want, {kStar}, scale, 1, 0x00FF00, clip);
        PaintFigures(want, two, scale, 1, 0xFFFF00);
        PaintFigures(want, two, scale, 2, 0x000000);
        for (int bandHeight : {128, 16, 7, 1}) {
            SCOPED_TRACE("scale " + std::to_string(scale) + ", bands of " + std::to_string(bandHeight));
            EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "mask road";
            EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "GDI road";
        }
    }
}

TEST(LinePathBands, LinesAndOutlinesDoNotDependOnTheBandCut)
{
    const int w = 96, h = 64;
    SpoolBuilder b;
    records::Path(b, 1, {kStar});
    b.Add("pen", {{"id", 2}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}});  // cosmetic
    b.Add("pen", {{"id", 4}, {"style", 0x1 | 0x2000000}, {"width", 5}, {"brush", 0x800000FF}});  // wide
    b.Add("pen", {{"id", 5},
                  {"style", 0x8},
                  {"width", 1},
                  {"brush", 0x80FF0000},
                  {"dash_count", 2},
                  {"data", Le32s({3, 2})}});  // dashed
    b.Add("clip_rects", {{"id", 3},
                         {"left", 0},
                         {"top", 0},
                         {"right", 60},
                         {"bottom", 64},
                         {"count", 1},
                         {"data", Le32s({0, 0, 60, 64})}});
    b.Add("cmd_line", LineFields({2, 3}, {90, 3}, 2, 0, R2_COPYPEN));
    b.Add("cmd_line", LineFields({5, 60}, {90, 8}, 4, 0, R2_COPYPEN));
    b.Add("cmd_line", LineFields({3, 10}, {70, 50}, 5, 0, R2_COPYPEN));
    b.Add("cmd_line", LineFields({10, 62}, {10, 20}, 2, 3, R2_NOTCOPYPEN));
    b.Add("cmd_path", PathFields(1, 0, 5, 0, R2_COPYPEN));
    b.Add("cmd_path", PathFields(1, 0x80C0C0C0, 4, 3, R2_COPYPEN));
    DisplayJob job;
    ASSERT_EQ(job.Read(b), 1);
    const Image whole = DrawRoad(job, w, h, Mapping{1}, h);
    // A cosmetic horizontal line: columns 2 to 89 of row 3 (the last pixel left out), black, but
    // where the star's outlines cross it.
    for (int x = 0; x < w; ++x)
        if (x < 30 || x > 50) {
            EXPECT_EQ(whole.px[3 * w + x] == 0, x >= 2 && x < 90) << x;
        }
    for (int bandHeight : {16, 7, 1}) {
        SCOPED_TRACE("bands of " + std::to_string(bandHeight));
        EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{1}, bandHeight), whole), "") << "GDI road";
        EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{1}, bandHeight), whole), "") << "mask road";
    }
}

// The ROP2 mixes, bit by bit: the result bit is bit (pen << 1 | destination) of mix - 1.
uint32_t MixColour(int mix, uint32_t pen, uint32_t destination)
{
    uint32_t out = 0;
    for (int bit = 0; bit < 24; ++bit) {
        const int index = int((pen >> bit) & 1) << 1 | int((destination >> bit) & 1);
        out |= uint32_t(((mix - 1) >> index) & 1) << bit;
    }
    return out;
}

// The pixels a command touches, in drawing order; each is mixed once.
using Pixels = std::vector<POINT>;

void Stroke(Image& image, const Pixels& pixels, int mix, uint32_t colour, const std::vector<RECT>& clip = {})
{
    for (POINT p : pixels) {
        bool visible = clip.empty();
        for (const RECT& c : clip) visible |= p.x >= c.left && p.x < c.right && p.y >= c.top && p.y < c.bottom;
        if (visible && p.x >= 0 && p.y >= 0 && p.x < image.w && p.y < image.h)
            image.at(p.x, p.y) = MixColour(mix, colour, image.at(p.x, p.y));
    }
}

Pixels Box(RECT r)
{
    Pixels out;
    for (LONG y = r.top; y < r.bottom; ++y)
        for (LONG x = r.left; x < r.right; ++x) out.push_back({x, y});
    return out;
}

// A cosmetic line along a row, its last pixel left out; `keep` picks the pixels by their index.
template <typename Keep>
Pixels Horizontal(LONG x0, LONG x1, LONG y, Keep keep)
{
    Pixels out;
    for (LONG x = x0; x < x1; ++x)
        if (keep(x - x0)) out.push_back({x, y});
    return out;
}

// A cosmetic line of slope exactly 1/3 (no pixel centre lies half-way), its last pixel left out.
Pixels Shallow(POINT a, POINT b)
{
    Pixels out;
    for (LONG x = a.x; x < b.x; ++x) {
        const LONG run = x - a.x;
        out.push_back({x, a.y + run / 3 + (run % 3 == 2 ? 1 : 0)});
    }
    return out;
}

TEST(LinePathBands, PensAndEveryMixMatchAPerPixelReference)
{
    const int w = 96, h = 64;
    const uint32_t ink = 0xA05010, ground = 0x336699;
    const std::vector<RECT> clip = {{0, 0, 30, 64}, {50, 20, 70, 30}};
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
        SCOPED_TRACE("mix " + std::to_string(mix));
        SpoolBuilder b;
        const uint32_t brush = 0x80000000 | ink;
        b.Add("pen", {{"id", 2}, {"style", 0}, {"width", 1}, {"brush", brush}});
        b.Add("pen", {{"id", 3}, {"style", 0x1 | 0x40000 | 0x2000000}, {"width", 6}, {"brush", brush}});
        b.Add("pen", {{"id", 4}, {"style", 0x1 | 0x20000 | 0x2000000}, {"width", 6}, {"brush", brush}});
        b.Add("pen",
              {{"id", 5}, {"style", 0}, {"width", 1}, {"brush", brush}, {"dash_count", 2}, {"data", Le32s({4, 2})}});
        b.Add("clip_rects", {{"id", 6},
                             {"left", 0},
                             {"top", 0},
                             {"right", 70},
                             {"bottom", 64},
                             {"count", 2},
                             {"data", Le32s({0, 0, 30, 64, 50, 20, 70, 30})}});
        b.Add("cmd_rect", {{"left", 0},
                           {"top", 0},
                           {"right", w},
                           {"bottom", 32},
                           {"brush", 0x80000000 | ground},
                           {"pen", 0},
                           {"mix", R2_COPYPEN}});
        b.Add("cmd_line", LineFields({2, 5}, {90, 5}, 2, 0, uint32_t(mix)));
        b.Add("cmd_line", LineFields({3, 18}, {60, 37}, 2, 0, uint32_t(mix)));
        b.Add("cmd_line", LineFields({10, 44}, {80, 44}, 3, 0, uint32_t(mix)));
        b.Add("cmd_line", LineFields({20, 54}, {70, 54}, 4, 0, uint32_t(mix)));
        b.Add("cmd_line", LineFields({4, 60}, {90, 60}, 5, 0, uint32_t(mix)));
        b.Add("cmd_line", LineFields({2, 25}, {94, 25}, 2, 6, uint32_t(mix)));
        DisplayJob job;
        ASSERT_EQ(job.Read(b), 1);

        Image want(w, h);
        Stroke(want, Box({0, 0, w, 32}), R2_COPYPEN, ground);
        auto all = [](LONG) { return true; };
        Stroke(want, Horizontal(2, 90, 5, all), mix, ink);
        Stroke(want, Shallow({3, 18}, {60, 37}), mix, ink);
        Stroke(want, Box({10, 41, 80, 47}), mix, ink);  // flat caps end at the end points
        Stroke(want, Box({17, 51, 73, 57}), mix, ink);  // square caps reach half the width beyond
        Stroke(want, Horizontal(4, 90, 60, [](LONG i) { return i % 6 < 4; }), mix, ink);
        Stroke(want, Horizontal(2, 94, 25, all), mix, ink, clip);
        for (int bandHeight : {64, 16, 7, 1}) {
            SCOPED_TRACE("bands of " + std::to_string(bandHeight));
            EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{1}, bandHeight), want), "") << "GDI road";
            if (CmdMixIsPlain(uint32_t(mix))) {
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{1}, bandHeight), want), "") << "mask road";
            }
        }
    }
}

// A cosmetic dashed outline of straight sides, as the dash state runs on from side to side: a side's
// first pixel (the last one left out by the side before) counts in the element that is running,
// complete or not; later pixels start the next element once the running one is complete.
Pixels DashedOutline(const Figure& figure, const std::vector<uint32_t>& dashes)
{
    Pixels out;
    size_t index = 0;
    uint32_t count = 0;
    for (size_t i = 0; i < figure.size(); ++i) {
        const POINT a = figure[i], b = figure[(i + 1) % figure.size()];
        const LONG sx = b.x > a.x ? 1 : b.x < a.x ? -1 : 0, sy = b.y > a.y ? 1 : b.y < a.y ? -1 : 0;
        POINT p = a;
        count += 1;
        for (bool first = true; p.x != b.x || p.y != b.y; first = false, p.x += sx, p.y += sy) {
            if (!first) {
                if (count < dashes[index]) {
                    count += 1;
                } else {
                    index = (index + 1) % dashes.size();
                    count = 1;
                }
            }
            if (index % 2 == 0) out.push_back(p);
        }
    }
    return out;
}

// Where the crossing-number rule puts a figure.
Pixels Inside(const Figure& figure, int w, int h)
{
    Image image(w, h);
    PaintFigures(image, {figure}, 1, 1, 0);
    Pixels out;
    for (LONG y = 0; y < h; ++y)
        for (LONG x = 0; x < w; ++x)
            if (image.at(x, y) == 0) out.push_back({x, y});
    return out;
}

TEST(LinePathBands, PathOutlinesAndFillsWithEveryMixMatchAPerPixelReference)
{
    const int w = 96, h = 64;
    const uint32_t ink = 0x2080C0, fill = 0x904030, ground = 0x55AA33;
    const Figure square = {{20, 8}, {60, 8}, {60, 30}, {20, 30}};
    const Figure frame = {{4, 36}, {44, 36}, {44, 60}, {4, 60}};
    for (int mix = R2_BLACK; mix <= R2_WHITE; ++mix) {
        SCOPED_TRACE("mix " + std::to_string(mix));
        SpoolBuilder b;
        records::Path(b, 1, {square});
        records::Path(b, 2, {frame});
        records::Path(b, 3, {kTriangle});
        b.Add("pen", {{"id", 4}, {"style", 0x1 | 0x40000 | 0x2000000}, {"width", 6}, {"brush", 0x80000000 | ink}});
        b.Add("pen", {{"id", 5},
                      {"style", 0},
                      {"width", 1},
                      {"brush", 0x80000000 | ink},
                      {"dash_count", 2},
                      {"data", Le32s({4, 2})}});
        b.Add("cmd_rect", {{"left", 0},
                           {"top", 0},
                           {"right", w},
                           {"bottom", 32},
                           {"brush", 0x80000000 | ground},
                           {"pen", 0},
                           {"mix", R2_COPYPEN}});
        b.Add("cmd_path", PathFields(1, 0, 4, 0, uint32_t(mix)));
        b.Add("cmd_path", PathFields(2, 0, 5, 0, uint32_t(mix)));
        b.Add("cmd_path", PathFields(3, 0x80000000 | fill, 0, 0, uint32_t(mix)));
        DisplayJob job;
        ASSERT_EQ(job.Read(b), 1);

        Image want(w, h);
        Stroke(want, Box({0, 0, w, 32}), R2_COPYPEN, ground);
        Pixels ring;  // the mitred ring: the square grown and shrunk by half the width
        for (POINT p : Box({17, 5, 63, 33}))
            if (!(p.x >= 23 && p.x < 57 && p.y >= 11 && p.y < 27)) ring.push_back(p);
        Stroke(want, ring, mix, ink);
        Stroke(want, DashedOutline(frame, {4, 2}), mix, ink);
        Stroke(want, Inside(kTriangle, w, h), mix, fill);
        for (int bandHeight : {64, 16, 7, 1}) {
            SCOPED_TRACE("bands of " + std::to_string(bandHeight));
            EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{1}, bandHeight), want), "") << "GDI road";
            if (CmdMixIsPlain(uint32_t(mix))) {
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{1}, bandHeight), want), "") << "mask road";
            }
        }
    }
}

// The lengths of the runs of inked and blank pixels along a line, in order.
std::vector<int> Runs(const std::vector<bool>& inked)
{
    std::vector<int> runs;
    for (size_t i = 0; i < inked.size(); ++i) {
        if (i == 0 || inked[i] != inked[i - 1]) runs.push_back(0);
        ++runs.back();
    }
    return runs;
}

// Dashes are measured along the line: a diagonal step weighs about 1.41 straight ones, so dashes of
// 20 on a 45-degree line are 14 or 15 steps long, and 20 on a line of slope one half. The first
// pixel of a sloped line is counted twice (once as the start, once as the first step), so the first
// dash is a pixel short there.
TEST(LinePathBands, DiagonalDashStepsWeighTheirLength)
{
    const int w = 128, h = 128;
    SpoolBuilder b;
    b.Add("pen",
          {{"id", 5}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}, {"dash_count", 2}, {"data", Le32s({20, 20})}});
    b.Add("cmd_line", LineFields({2, 2}, {102, 102}, 5, 0, R2_COPYPEN));  // 45 degrees, 100 steps
    b.Add("cmd_line", LineFields({4, 60}, {124, 120}, 5, 0, R2_COPYPEN));  // slope one half, below it
    DisplayJob job;
    ASSERT_EQ(job.Read(b), 1);
    Image image = DrawRoad(job, w, h, Mapping{1}, h);
    std::vector<bool> diagonal, shallow;
    for (int i = 0; i < 100; ++i) diagonal.push_back(image.at(2 + i, 2 + i) == 0);
    for (int x = 4; x < 124; ++x) {
        bool on = false;
        for (int y = 58; y < 123; ++y) on |= y != x && image.at(x, y) == 0;
        shallow.push_back(on);
    }
    ASSERT_TRUE(diagonal[0] && shallow[0]);
    const std::vector<int> steep = Runs(diagonal), flat = Runs(shallow);
    EXPECT_EQ(steep.front(), 13);
    for (size_t i = 1; i + 1 < steep.size(); ++i)
        EXPECT_TRUE(steep[i] == 14 || steep[i] == 15) << i << ": " << steep[i];
    EXPECT_EQ(flat.front(), 19);
    for (size_t i = 1; i + 1 < flat.size(); ++i) EXPECT_EQ(flat[i], 20) << i;
}

TEST(LinePathRead, ARoundJoinedOutlineIsSplitIntoLines)
{
    DisplayJob job;
    SpoolBuilder b;
    b.Add("pen", {{"id", 6}, {"style", 0x1}, {"width", 5}, {"brush", 0x800000FF}});
    b.Add("cmd_rect",
          {{"left", 10}, {"top", 10}, {"right", 20}, {"bottom", 20}, {"brush", 0}, {"pen", 6}, {"mix", R2_COPYPEN}});
    ASSERT_EQ(job.Read(b), 1);
    std::vector<CmdNode*> nodes = job.Nodes();
    ASSERT_EQ(nodes.size(), 4u);
    const POINT corners[4] = {{10, 10}, {19, 10}, {19, 19}, {10, 19}};
    for (int i = 0; i < 4; ++i) {
        const auto* line = reinterpret_cast<const CmdLineNode*>(nodes[i]);
        EXPECT_EQ(nodes[i]->op, CmdOpLine);
        EXPECT_EQ(line->from.x, corners[i].x);
        EXPECT_EQ(line->to.y, corners[(i + 1) % 4].y);
    }
}

}  // namespace

namespace {

// Dashed lines that run millions of pixels off the page (as a damaged or hostile job may ask)
// draw in time, and on the page they still show the pen's pattern: 4 pixels on, 2 off, in every
// run of 6, whatever the phase they arrive with.
TEST(LinePathBands, DashedLinesFromFarOffThePageKeepTheirPattern)
{
    const int w = 96, h = 64;
    struct Case {
        const char* what;
        POINT from, to;
        bool horizontal;  // the page row 20 or the column 40 carries the line
    } cases[] = {
        {"row from the far left to the far right", {INT32_MIN + 1, 20}, {INT32_MAX - 1, 20}, true},
        {"row from a million pixels off", {-(1 << 20), 20}, {200, 20}, true},
        {"row to the far right", {-3, 20}, {INT32_MAX, 20}, true},
        {"column from far above to far below", {40, INT32_MIN + 1}, {40, INT32_MAX - 1}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpoolBuilder b;
        b.Add(
            "pen",
            {{"id", 5}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}, {"dash_count", 2}, {"data", Le32s({4, 2})}});
        b.Add("cmd_line", LineFields(c.from, c.to, 5, 0, R2_COPYPEN));
        DisplayJob job;
        ASSERT_EQ(job.Read(b), 1);
        for (int bandHeight : {64, 7}) {
            Image drawn = DrawRoad(job, w, h, Mapping{1}, bandHeight);
            const int length = c.horizontal ? w : h;
            auto ink = [&](int i) { return (c.horizontal ? drawn.at(i, 20) : drawn.at(40, i)) != 0xFFFFFF; };
            for (int i = 0; i + 6 <= length; ++i) {
                int on = 0;
                for (int j = i; j < i + 6; ++j) on += ink(j);
                EXPECT_EQ(on, 4) << "bands of " << bandHeight << ", run from " << i;
            }
        }
    }
}

}  // namespace
