// The rectangle commands: what the reader makes of Rect records (rewrites and outline splits),
// device widening, and every command drawn into band surfaces of several heights by both roads
// the band loop takes (GDI drawing, and the band mask with the colour class), each compared with
// a per-pixel reference of what the page should show.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/pen_store.h"
#include "engine/display/stores/styled_polyline.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/display_job.h"

namespace {

SpoolFields RectFields(RECT r, uint32_t brush, uint32_t pen, uint32_t clip, uint32_t mix)
{
    return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom},
            {"brush", brush}, {"pen", pen},   {"clip", clip},     {"mix", mix}};
}

TEST(RectRead, PlainRectsBecomeRectFills)
{
    struct Case {
        const char* name;
        uint32_t brush, pen, clip, mix;
        uint16_t op;
        uint32_t colour;  // of the brush, for a RectFill
    } cases[] = {
        {"black mix, no pen, no clip", 0x80123456, 0, 0, R2_BLACK, CmdOpRectFill, 0},
        {"white mix", 0x80123456, 0, 0, R2_WHITE, CmdOpRectFill, 0xFFFFFF},
        {"copy of a colour", 0x80123456, 0, 0, R2_COPYPEN, CmdOpRectFill, 0x123456},
        {"mask pen with black", 0x80000000, 0, 0, R2_MASKPEN, CmdOpRectFill, 0},
        {"merge pen with white", 0x80FFFFFF, 0, 0, R2_MERGEPEN, CmdOpRectFill, 0xFFFFFF},
        {"a clip keeps the Rect", 0x80123456, 0, 1, R2_COPYPEN, CmdOpRect, 0},
        {"a mix that is not a copy", 0x80123456, 0, 0, R2_XORPEN, CmdOpRect, 0},
        {"a styled pen keeps the Rect", 0x80123456, 3, 0, R2_COPYPEN, CmdOpRect, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        SpoolBuilder b;
        ClipRecord(b, 1, {0, 0, 100, 100}, {});
        b.Add("pen", {{"id", 3},
                      {"style", 0x8},
                      {"width", 1},
                      {"brush", 0x80000000},
                      {"dash_count", 2},
                      {"data", Le32s({3, 2})}});
        b.Add("cmd_rect", RectFields({1, 2, 30, 40}, c.brush, c.pen, c.clip, c.mix));
        ASSERT_EQ(job.Read(b), 1);
        auto nodes = job.Nodes();
        ASSERT_EQ(nodes.size(), 1u);
        EXPECT_EQ(nodes[0]->op, c.op);
        if (c.pen == 0) {
            EXPECT_EQ(nodes[0]->bounds, (RECT{1, 2, 30, 40}));
        }
        if (c.op == CmdOpRectFill) {
            EXPECT_EQ(reinterpret_cast<CmdRectFillNode*>(nodes[0])->brush->colour, c.colour);
            EXPECT_EQ(CmdIsBlack(nodes[0]), c.colour == 0 ? 1 : 0);
            EXPECT_EQ(CmdIsWhite(nodes[0]), c.colour == 0xFFFFFF ? 1 : 0);
        }
    }
    DisplayJob job;
    EXPECT_EQ(job.Read(SpoolBuilder().Add("cmd_rect", RectFields({0, 0, 5, 5}, 0x80000000, 0, 0, R2_NOP))), 1);
    EXPECT_TRUE(job.Nodes().empty()) << "R2_NOP draws nothing";
}

struct Outline {
    const char* name;
    uint32_t brush;
    uint32_t penStyle;  // record flags
    uint32_t penBrush;
    std::vector<std::pair<uint16_t, RECT>> nodes;  // op and rect (bounds of a RectFill)
};

RECT NodeRect(CmdNode* node)
{
    return node->op == CmdOpRect ? reinterpret_cast<CmdRectNode*>(node)->rect : node->bounds;
}

TEST(RectRead, OutlinesSplitIntoStrips)
{
    const RECT r{10, 10, 20, 20};
    const Outline cases[] = {
        {"a mitre pen and a real brush: the fill, then four strips",
         0x80808080,
         0x1 | 0x2000000,
         0x80000000,
         {{CmdOpRect, r},
          {CmdOpRectFill, {8, 8, 13, 22}},
          {CmdOpRectFill, {10, 8, 20, 13}},
          {CmdOpRectFill, {17, 8, 22, 22}},
          {CmdOpRectFill, {10, 17, 20, 22}}}},
        {"a mitre pen alone: the node becomes the left strip",
         0,
         0x1 | 0x2000000,
         0x80000000,
         {{CmdOpRect, {8, 8, 13, 22}},
          {CmdOpRectFill, {10, 8, 20, 13}},
          {CmdOpRectFill, {17, 8, 22, 22}},
          {CmdOpRectFill, {10, 17, 20, 22}}}},
        {"bevel joins with a brush: the fill goes first as its own command",
         0x80808080,
         0x1 | 0x1000000,
         0x80000000,
         {{CmdOpRectFill, r}, {CmdOpRect, r}}},
        {"bevel joins without a brush stay whole", 0, 0x1 | 0x1000000, 0x80000000, {{CmdOpRect, r}}},
    };
    for (const Outline& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        SpoolBuilder b;
        b.Add("pen", {{"id", 5}, {"style", c.penStyle}, {"width", 5}, {"miter_limit", 10}, {"brush", c.penBrush}});
        b.Add("cmd_rect", RectFields(r, c.brush, 5, 0, R2_COPYPEN));
        ASSERT_EQ(job.Read(b), 1);
        auto nodes = job.Nodes();
        ASSERT_EQ(nodes.size(), c.nodes.size());
        for (size_t i = 0; i < nodes.size(); ++i) {
            EXPECT_EQ(nodes[i]->op, c.nodes[i].first) << i;
            EXPECT_EQ(NodeRect(nodes[i]), c.nodes[i].second) << i;
        }
        if (c.brush != 0 && c.nodes.size() == 5) {
            auto* fill = reinterpret_cast<CmdRectNode*>(nodes[0]);
            EXPECT_FALSE(PenIsReal(fill->pen)) << "the fill keeps only the null pen";
            EXPECT_EQ(nodes[0]->bounds, r);
        }
    }
}

TEST(RectRead, MissingResourcesAndFailedAllocationsReleaseEverything)
{
    struct Case {
        const char* name;
        uint32_t brush, pen, clip;
        uint32_t failAt;  // the n-th allocation of the command fails (0: none)
    } cases[] = {
        {"a missing brush", 99, 0, 1, 0},
        {"a missing pen", 0x80808080, 98, 0, 0},
        {"a missing clip", 0x80808080, 5, 97, 0},
        {"no memory for the node", 0x80808080, 5, 1, 1},
        {"no memory for a strip", 0x80808080, 5, 1, 3},
        {"no memory for the last strip", 0x80808080, 5, 1, 5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        SpoolBuilder defs;
        defs.Add("pen", {{"id", 5}, {"style", 0x1 | 0x2000000}, {"width", 5}, {"brush", 0x800000FF}});
        defs.Add("pen", {{"id", 6}, {"style", 0x1}, {"width", 5}, {"brush", 0x800000FF}});
        ClipRecord(defs, 1, {0, 0, 50, 50}, {{0, 0, 50, 25}});
        ASSERT_EQ(job.Read(defs), 1);
        // Everything the command might touch exists before it runs, so its references show.
        BrushEntry* brush = BrushLookup(&job.store->brushes, 0x80808080);
        BrushEntry* penBrush = BrushLookup(&job.store->brushes, 0x800000FF);
        Pen* pen = PenLookup(&job.store->pens, 5, 0);
        Clip* clip = ClipLookup(&job.store->clips, 1);
        Pen* none = PenLookup(&job.store->pens, 0, 0);
        const uint32_t refs[] = {brush->head.refs, penBrush->head.refs, pen->head.refs, clip->head.refs,
                                 none->head.refs};
        const int64_t live = RenderAllocLiveBlocks();
        EXPECT_EQ(job.Read(SpoolBuilder().Add("cmd_rect",
                                              RectFields({10, 10, 20, 20}, c.brush, c.pen, c.clip, R2_COPYPEN)),
                           c.failAt),
                  0);
        EXPECT_TRUE(job.Nodes().empty());
        EXPECT_EQ(RenderAllocLiveBlocks(), live);
        const uint32_t after[] = {brush->head.refs, penBrush->head.refs, pen->head.refs, clip->head.refs,
                                  none->head.refs};
        EXPECT_EQ(std::vector<uint32_t>(after, after + 5), std::vector<uint32_t>(refs, refs + 5));
    }
}

// ---- Device widening ----

struct MappedDC {
    HDC dc = CreateCompatibleDC(nullptr);
    CmdMapping map{};
    MappedDC(POINT wo, SIZE we, POINT vo, SIZE ve)
    {
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, we.cx, we.cy, nullptr);
        SetViewportExtEx(dc, ve.cx, ve.cy, nullptr);
        SetWindowOrgEx(dc, wo.x, wo.y, nullptr);
        SetViewportOrgEx(dc, vo.x, vo.y, nullptr);
        map = CmdMapping{wo, we, vo, ve, dc};
    }
    ~MappedDC() { DeleteDC(dc); }
    RECT Device(RECT r) const
    {
        POINT p[2] = {{r.left, r.top}, {r.right, r.bottom}};
        LPtoDP(dc, p, 2);
        return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
    }
};

TEST(RectWidenToPixel, SubPixelRectanglesCoverExactlyOnePixelInTheirThinDirection)
{
    struct Mapping {
        const char* name;
        POINT wo;
        SIZE we;
        POINT vo;
        SIZE ve;
    } mappings[] = {
        {"one to one", {0, 0}, {1, 1}, {0, 0}, {1, 1}},
        {"three logical units a pixel", {0, 0}, {600, 600}, {0, 0}, {200, 200}},
        {"two pixels a unit, moved", {5, -7}, {100, 100}, {-30, 12}, {200, 200}},
        {"uneven axes", {0, 0}, {720, 1440}, {0, 0}, {204, 196}},
        {"x mirrored", {0, 0}, {300, 300}, {0, 0}, {-100, 100}},
    };
    const RECT rects[] = {{0, 0, 0, 0}, {10, 10, 11, 10}, {100, 50, 100, 400}, {37, 41, 38, 42}, {-9, -9, -9, 200}};
    for (const Mapping& m : mappings) {
        MappedDC dc(m.wo, m.we, m.vo, m.ve);
        for (const RECT& r : rects) {
            SCOPED_TRACE(std::string(m.name) + " rect " + std::to_string(r.left) + "," + std::to_string(r.top));
            RECT widened = r;
            RectWidenToPixel(&dc.map, &widened);
            const RECT before = dc.Device(r);
            const RECT after = dc.Device(widened);
            const bool narrow = std::abs(before.right - before.left) < 1;
            const bool low = std::abs(before.bottom - before.top) < 1;
            EXPECT_EQ(widened.left, r.left);
            EXPECT_EQ(widened.top, r.top);
            // Widened by the fewest logical units that reach one device pixel.
            if (narrow) {
                EXPECT_GE(std::abs(after.right - after.left), 1);
                const RECT less = dc.Device(RECT{widened.left, widened.top, widened.right - 1, widened.bottom});
                EXPECT_LT(std::abs(less.right - less.left), 1);
            } else {
                EXPECT_EQ(widened.right, r.right);
            }
            if (low) {
                EXPECT_GE(std::abs(after.bottom - after.top), 1);
                const RECT less = dc.Device(RECT{widened.left, widened.top, widened.right, widened.bottom - 1});
                EXPECT_LT(std::abs(less.bottom - less.top), 1);
            } else {
                EXPECT_EQ(widened.bottom, r.bottom);
            }
        }
        RECT whole{0, 0, 3000, 3000};
        RectWidenToPixel(&dc.map, &whole);
        EXPECT_EQ(whole, (RECT{0, 0, 3000, 3000})) << m.name << ": a rectangle of whole pixels stays";
    }
}

// ---- The band loop's two roads, per pixel ----

// The band loop's two roads, per pixel: tests/display/band_roads.h.

TEST(RectBands, EveryCommandPaintsItsReferencePixelsHoweverThePageIsCut)
{
    const int w = 96, h = 64;
    for (int scale : {1, 2}) {
        const Mapping m{scale};
        SpoolBuilder b;
        ClipRecord(b, 1, {0, 35, 60, 55}, {{0, 45, 20, 50}, {25, 35, 60, 55}});
        b.Add("pen", {{"id", 2}, {"style", 0x1000000}, {"width", 1}, {"brush", 0x80000000}});
        b.Add("pen", {{"id", 4}, {"style", 0x1 | 0x2000000}, {"width", 5}, {"brush", 0x80000000}});
        b.Add("cmd_rectfill", {{"left", 2}, {"top", 2}, {"right", 40}, {"bottom", 30}, {"brush", 0x80C0C0C0}});
        b.Add("cmd_rect", RectFields({30, 10, 70, 40}, 0x800000FF, 0, 0, R2_COPYPEN));
        b.Add("cmd_rect", RectFields({50, 5, 90, 25}, 0x80FF0000, 0, 0, R2_NOTCOPYPEN));
        b.Add("cmd_rect", RectFields({5, 40, 45, 60}, 0x8000FF00, 0, 1, R2_COPYPEN));
        b.Add("cmd_rect", RectFields({62, 2, 92, 14}, 0, 0x800000FF, 0, R2_COPYPEN));
        b.Add("cmd_rect", RectFields({20, 44, 40, 58}, 0x80808080, 4, 0, R2_COPYPEN));
        b.Add("cmd_rect", RectFields({72, 30, 80, 31}, 0x80000000, 0, 0, R2_BLACK));
        std::vector<Paint> paints = {
            {{2, 2, 40, 30}, 0xC0C0C0, {}},
            {{30, 10, 70, 40}, 0x0000FF, {}},
            {{50, 5, 90, 25}, 0x00FFFF, {}},  // the brush's colour inverted
            {{5, 40, 45, 60}, 0x00FF00, {{0, 45, 20, 50}, {25, 35, 60, 55}}},
            {{62, 2, 63, 14}, 0x0000FF, {}},  // a one-pixel red outline as four strips
            {{62, 2, 92, 3}, 0x0000FF, {}},
            {{91, 2, 92, 14}, 0x0000FF, {}},
            {{62, 13, 92, 14}, 0x0000FF, {}},
            {{20, 44, 40, 58}, 0x808080, {}},  // the fill of the mitre-outlined rectangle
            {{18, 42, 23, 60}, 0, {}},
            {{20, 42, 40, 47}, 0, {}},
            {{37, 42, 42, 60}, 0, {}},
            {{20, 55, 40, 60}, 0, {}},
            {{72, 30, 80, 31}, 0, {}},
        };
        if (scale == 1) {
            // A one-pixel bevel-joined outline over a fill: GDI's border pixels.
            b.Add("cmd_rect", RectFields({60, 30, 90, 60}, 0x80FFFF00, 2, 0, R2_COPYPEN));
            paints.push_back({{60, 30, 90, 60}, 0xFFFF00, {}});
            for (RECT edge : {RECT{60, 30, 90, 31}, RECT{60, 59, 90, 60}, RECT{60, 30, 61, 60}, RECT{89, 30, 90, 60}})
                paints.push_back({edge, 0, {}});
        }
        DisplayJob job;
        ASSERT_EQ(job.Read(b), 1);
        const Image want = Reference(w, h, m, paints);
        for (int bandHeight : {64, 16, 7, 1}) {
            SCOPED_TRACE("scale " + std::to_string(scale) + ", bands of " + std::to_string(bandHeight));
            EXPECT_EQ(Diff(DrawRoad(job, w, h, m, bandHeight), want), "") << "GDI road";
            EXPECT_EQ(Diff(MaskRoad(job, w, h, m, bandHeight), want), "") << "mask road";
        }
    }
}

TEST(RectBands, ADashedOutlineStaysWholeAndBothRoadsAgreeOnItsDashes)
{
    const int w = 40, h = 32;
    for (uint32_t brush : {0u, 0x80808080u}) {
        SCOPED_TRACE(brush == 0 ? "outline alone" : "outline over a fill");
        DisplayJob job;
        SpoolBuilder b;
        b.Add("pen", {{"id", 3},
                      {"style", 0x8},
                      {"width", 1},
                      {"brush", 0x80000000},
                      {"dash_count", 2},
                      {"data", Le32s({3, 2})}});
        b.Add("cmd_rect", RectFields({10, 8, 28, 20}, brush, 3, 0, R2_COPYPEN));
        ASSERT_EQ(job.Read(b), 1);
        ASSERT_EQ(job.Nodes().size(), 1u);
        ASSERT_EQ(job.Nodes()[0]->op, CmdOpRect);
        const Mapping m{1};
        Image whole = DrawRoad(job, w, h, m, h);
        int drawn = 0;
        for (uint32_t p : whole.px) drawn += p == 0;
        EXPECT_GT(drawn, 20);
        EXPECT_LT(drawn, 2 * (18 + 12) - 4) << "gaps are left";
        if (brush != 0) {
            EXPECT_EQ(whole.at(19, 14), 0x808080u) << "the fill is inside the border";
            EXPECT_EQ(whole.at(27, 14) == 0x808080u, false) << "and not beyond it";
        }
        for (int bandHeight : {32, 5, 1}) {
            EXPECT_EQ(Diff(DrawRoad(job, w, h, m, bandHeight), whole), "") << bandHeight;
            EXPECT_EQ(Diff(MaskRoad(job, w, h, m, bandHeight), whole), "") << bandHeight;
        }
    }
}

// ---- The dash stepper ----

struct DashCase {
    const char* name;
    std::vector<uint32_t> dashes;
    std::vector<POINT> corners;  // a closed figure when more than 2
    std::string row;  // the expected pixels of one row ('#' drawn)
    int rowY;
};

TEST(StyledPolyline, DashesAlongStraightEdges)
{
    Pen pen{};
    uint32_t dashes[2] = {3, 2};
    pen.dashes = dashes;
    pen.dashCount = 2;
    pen.width = 1;
    BandSurface* s = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{32, 8}, nullptr, 0, 0);
    SelectObject(s->drawDC, CreatePen(PS_SOLID, 1, 0xFFFFFF));
    auto row = [&](int y, int width) {
        std::string out;
        for (int x = 0; x < width; ++x) out += MaskBit(s, x, y) ? '#' : '.';
        return out;
    };
    const RECT clip{0, 0, 32, 8};
    DashState state{0, 0};
    StyledPolyline(s, &pen, &state, &clip, POINT{0, 1}, POINT{10, 1});
    EXPECT_EQ(row(1, 12), "###..###....") << "runs of 3, gaps of 2; the end point is left out";
    DashState same{0, 0};
    StyledPolyline(s, &pen, &same, &clip, POINT{4, 3}, POINT{4, 3});
    EXPECT_EQ(row(3, 8), "........") << "a point draws nothing";

    // A rectangle's outline with one state, corner to corner: the fourth edge runs up the left
    // side and ends at the top-left corner, in a dash here, so its last run reaches row 1.
    BandSurfaceClear(s, SIZE{32, 8});
    const POINT c[4] = {{2, 0}, {8, 0}, {8, 6}, {2, 6}};
    DashState outline{0, 0};
    for (int i = 0; i < 4; ++i) StyledPolyline(s, &pen, &outline, &clip, c[i], c[(i + 1) % 4]);
    std::string left;
    for (int y = 0; y < 7; ++y) left += MaskBit(s, 2, y) ? '#' : '.';
    EXPECT_EQ(outline.index % 2, 0u) << "ends in a dash";
    EXPECT_EQ(left.substr(0, 2), "##") << left;
    HGDIOBJ old = SelectObject(s->drawDC, GetStockObject(BLACK_PEN));
    DeleteObject(old);
    BandSurfaceDestroy(s);
}

// A band walks only the steps of a line within the pen's reach of its clip and counts the rest:
// its pixels are those of the unclipped walk (a clip no line leaves, so every step is walked),
// for every dash pattern, pen, figure and band of the table, and the pattern leaves the figure in
// the same state. Lines from a million pixels off are compared with the page as their clip.
TEST(StyledPolyline, ABandDrawsWhatTheUnclippedWalkDrawsThere)
{
    const int w = 160, h = 120;
    const std::vector<std::vector<uint32_t>> patterns = {{3, 2},          {5, 5},    {1, 3},       {0, 4, 6, 2},
                                                         {36, 12, 8, 12}, {1, 1},    {7, 0, 2, 5}, {400, 3},
                                                         {0, 3},          {4, 2, 1}, {2, 0, 0, 3}, {5, 0}};
    struct Figure {
        const char* what;
        std::vector<POINT> points;  // one dash state from the first point to the last
        bool far;
    };
    const Figure figures[] = {
        {"frame", {{10, 10}, {150, 10}, {150, 110}, {10, 110}, {10, 10}}, false},
        {"diagonals", {{-300, -200}, {170, 130}, {20, 125}, {80, -40}}, false},
        {"shallow and steep", {{-50, 60}, {400, 75}, {90, 500}, {85, -300}, {-900, 20}}, false},
        {"long column and row", {{70, -9000}, {70, 9000}, {-6000, 33}, {6000, 33}}, false},
        {"long diagonals", {{-5000, -3717}, {5000, 3811}, {-1033, -4000}, {257, 9000}}, false},
        {"from a million pixels off", {{-(1 << 20), 57}, {(1 << 20), 58}, {100, -(1 << 20)}, {101, 1 << 20}}, true},
        {"sloped beside the page",
         {{-400, -100}, {-60, 700}, {-300, 260}, {900, -150}, {300, -130}, {-20, 160}},
         false},
    };
    struct PenKind {
        const char* what;
        int width;
        DWORD style;
    };
    const PenKind pens[] = {{"cosmetic", 1, PS_SOLID},
                            {"round 9", 9, PS_SOLID},
                            {"round 41", 41, PS_SOLID},
                            {"square 13", 13, PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_MITER},
                            {"round 161", 161, PS_SOLID}};
    const RECT bands[] = {{0, 0, w, 7},     {0, 7, w, 23},    {0, 56, w, 60},
                          {0, 100, w, 120}, {40, 30, 90, 90}, {150, 0, 160, 5}};
    const RECT everywhere{-(1 << 30), -(1 << 30), 1 << 30, 1 << 30};
    const RECT page{0, 0, w, h};
    BandSurface* whole = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{w, h}, nullptr, 0, 0);
    BandSurface* band = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{w, h}, nullptr, 0, 0);
    for (const PenKind& kind : pens) {
        const LOGBRUSH white{BS_SOLID, 0xFFFFFF, 0};
        HGDIOBJ old[2] = {SelectObject(whole->drawDC, ExtCreatePen(kind.style, DWORD(kind.width), &white, 0, nullptr)),
                          SelectObject(band->drawDC, ExtCreatePen(kind.style, DWORD(kind.width), &white, 0, nullptr))};
        for (const std::vector<uint32_t>& pattern : patterns)
            for (const Figure& figure : figures) {
                SCOPED_TRACE(std::string(kind.what) + ", " + figure.what + ", " + std::to_string(pattern.size()) +
                             " dashes from " + std::to_string(pattern[0]));
                std::vector<uint32_t> dashes = pattern;
                Pen pen{};
                pen.dashes = dashes.data();
                pen.dashCount = uint32_t(dashes.size());
                pen.width = uint32_t(kind.width);
                auto draw = [&](BandSurface* s, const RECT& clip) {
                    BandSurfaceClear(s, SIZE{w, h});
                    DashState state{0, 0};
                    for (size_t i = 0; i + 1 < figure.points.size(); ++i)
                        StyledPolyline(s, &pen, &state, &clip, figure.points[i], figure.points[i + 1]);
                    return state;
                };
                const DashState all = draw(whole, figure.far ? page : everywhere);
                for (const RECT& r : bands) {
                    const DashState state = draw(band, r);
                    EXPECT_EQ(state.index, all.index);
                    EXPECT_EQ(state.count, all.count);
                    int differ = 0;
                    POINT first{-1, -1};
                    for (int y = r.top; y < r.bottom; ++y)
                        for (int x = r.left; x < r.right; ++x)
                            if (MaskBit(band, x, y) != MaskBit(whole, x, y) && differ++ == 0) first = {x, y};
                    EXPECT_EQ(differ, 0) << "band " << r.left << "," << r.top << "," << r.right << "," << r.bottom
                                         << ", first at " << first.x << "," << first.y;
                }
            }
        for (int i = 0; i < 2; ++i) DeleteObject(SelectObject(i == 0 ? whole->drawDC : band->drawDC, old[i]));
    }
    BandSurfaceDestroy(whole);
    BandSurfaceDestroy(band);
}

// ---- RectsFill ----

TEST(RectsFill, RenderBandTakesTheVisibleRectangleWholeWhenTheListCoversIt)
{
    DisplayJob job;
    job.Read(SpoolBuilder());
    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{64, 16}, nullptr, 0, 0);
    MapSet(mask, Mapping{1}, 0);
    struct Case {
        const char* name;
        std::vector<RECT> rects;
        RECT visible;
        int result;
    } cases[] = {
        {"two strips one above the other", {{0, 0, 20, 5}, {0, 5, 20, 10}}, {0, 0, 20, 10}, CMD_BAND_NO_MASK},
        {"cut to the visible rectangle", {{-5, -5, 30, 4}, {-5, 4, 30, 40}}, {0, 0, 20, 10}, CMD_BAND_NO_MASK},
        {"side by side", {{0, 0, 10, 10}, {10, 0, 20, 10}}, {0, 0, 20, 10}, CMD_BAND_MASKED},
        {"a hole", {{0, 0, 20, 4}, {0, 6, 20, 10}}, {0, 0, 20, 10}, CMD_BAND_MASKED},
        {"outside the band", {{0, 40, 20, 50}, {0, 60, 20, 70}}, {0, 0, 20, 10}, CMD_BAND_NOTHING},
    };
    const RECT band{0, 0, 64, 16};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RECT bounds{-100, -100, 100, 100};
        CmdNode* node =
            RectsFillCreate(job.store, &bounds, 0x80000000, static_cast<uint32_t>(c.rects.size()), c.rects.data());
        ASSERT_NE(node, nullptr);
        ASSERT_EQ(node->op, CmdOpRectsFill);
        EXPECT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &c.visible, &c.visible, 0), c.result);
        if (c.result == CMD_BAND_MASKED) {
            EXPECT_TRUE(MaskBit(mask, 0, 0));
            EXPECT_EQ(MaskBit(mask, 5, 5), c.rects[1].top == 0 || c.rects[1].top == 5);
        }
        CmdNode* copy = CmdSlotClone(node, job.store);
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(reinterpret_cast<CmdRectsFillNode*>(copy)->count, c.rects.size());
        CmdRow(copy).destroy(copy, job.store);
        CmdRow(node).destroy(node, job.store);
    }
    RECT one{5, 5, 50, 50};
    RECT bounds{0, 0, 10, 10};
    CmdNode* single = RectsFillCreate(job.store, &bounds, 0x80000000, 1, &one);
    EXPECT_EQ(single->op, CmdOpRectFill);
    EXPECT_EQ(single->bounds, (RECT{5, 5, 10, 10}));
    CmdRow(single).destroy(single, job.store);
    BandSurfaceDestroy(mask);
}

}  // namespace

namespace {

// Coordinates from the stream are checked in 64 bits: a rectangle whose width does not fit, or
// whose outline would reach beyond 32-bit coordinates, fails its record.
TEST(RectRead, RectanglesBeyondThirtyTwoBitsFailTheirRecord)
{
    const RECT wide{INT32_MIN, 0, INT32_MAX, 1};
    const RECT edge{INT32_MAX - 3, 0, INT32_MAX, 10};
    DisplayJob job;
    EXPECT_EQ(job.Read(SpoolBuilder().Add(
                  "cmd_rectfill",
                  {{"left", wide.left}, {"top", 0}, {"right", wide.right}, {"bottom", 1}, {"brush", 0x80000000}})),
              0);
    EXPECT_EQ(job.Read(SpoolBuilder().Add("cmd_rect", RectFields(wide, 0x80000000, 0, 0, R2_XORPEN))), 0);
    SpoolBuilder b;
    b.Add("pen", {{"id", 5}, {"style", 0x1 | 0x2000000}, {"width", 5}, {"brush", 0x80000000}});
    b.Add("cmd_rect", RectFields(edge, 0x80808080, 5, 0, R2_COPYPEN));
    EXPECT_EQ(job.Read(b), 0);
    EXPECT_TRUE(job.Nodes().empty());
    EXPECT_EQ(job.Read(SpoolBuilder().Add("cmd_rect", RectFields(edge, 0x80808080, 0, 0, R2_XORPEN))), 1);
}

}  // namespace
