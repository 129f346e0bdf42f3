// The brush source: made from the shape commands, compared, cloned, rendered into a band and into
// a band's mask; and the image commands that copy their picture through one, on both band roads at
// several band heights, against a per-pixel reference of picture, pattern and rectangles.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/display/commands/source_brush.h"
#include "engine/display/stores/brush_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using namespace records;

constexpr int kW = 64, kH = 40;
constexpr uint32_t kPatternSeed = 1, kOtherPatternSeed = 9;
constexpr uint32_t kBackground = 0x80C08040;
const Mapping kUnit{1};

// A pixel of the 24-bit bitmap ColourBitmap writes, as a COLORREF.
uint32_t ColourPixel(int w, uint32_t seed, int x, int y)
{
    const int stride = ((w * 3 + 3) / 4) * 4;
    uint32_t v = seed * 40503u + 7;
    uint8_t bytes[3] = {};
    const int at = y * stride + x * 3;
    for (int i = 0; i <= at + 2; ++i) {
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        if (i >= at) bytes[i - at] = uint8_t(v);
    }
    return uint32_t(bytes[2]) | uint32_t(bytes[1]) << 8 | uint32_t(bytes[0]) << 16;
}

int Mod(int a, int m) { return ((a % m) + m) % m; }

// The pattern brush 40 over the 8 x 8 bitmap 70, tiled from the origin.
bool PatternWhite(POINT origin, int x, int y)
{
    return MonoWhite(8, kPatternSeed, Mod(x - origin.x, 8), Mod(y - origin.y, 8));
}

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

void Resources(SpoolBuilder& b)
{
    MonoBitmap(b, 70, 8, 8, kPatternSeed);
    b.Add("brush", {{"id", 40}, {"bitmap", 70}});
    MonoBitmap(b, 69, 8, 8, kOtherPatternSeed);
    b.Add("brush", {{"id", 41}, {"bitmap", 69}});
    MonoBitmap(b, 71, 40, 30, 4);
    ColourBitmap(b, 72, 40, 30, 3);
}

CmdNode* Nth(DisplayJob& job, size_t i) { return job.Nodes().at(i); }

TEST(BrushSource, IsMadeFromTheShapeCommands)
{
    struct Case {
        const char* name;
        void (*shape)(SpoolBuilder& b);
        uint32_t clip;  // 5: two rectangles, 6: bounds only, 0: none
        std::vector<RECT> rects;
        POINT origin;
        bool pattern;
    };
    const Case cases[] = {
        {"rect, two rectangles",
         [](SpoolBuilder& b) {
             b.Add("cmd_rect", {{"left", 2},
                                {"top", 3},
                                {"right", 30},
                                {"bottom", 20},
                                {"brush_x", 3},
                                {"brush_y", -2},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 13}});
         },
         5,
         {{4, 4, 20, 10}, {4, 10, 12, 18}},
         {3, -2},
         true},
        {"rect, a region without rectangles covers its bounds",
         [](SpoolBuilder& b) {
             b.Add("cmd_rect", {{"left", 2},
                                {"top", 3},
                                {"right", 30},
                                {"bottom", 20},
                                {"brush_x", 1},
                                {"brush_y", 1},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 13}});
         },
         6,
         {{6, 7, 25, 16}},
         {1, 1},
         true},
        {"rect fill, origin at the page's",
         [](SpoolBuilder& b) {
             RectFill(b, {2, 3, 30, 20}, 40);
         },
         5,
         {{4, 4, 20, 10}, {4, 10, 12, 18}},
         {0, 0},
         true},
        {"path with its own origin and a solid brush",
         [](SpoolBuilder& b) {
             Path(b, 30, {{{2, 2}, {30, 4}, {12, 24}}});
             b.Add("cmd_path", {{"brush_x", 5},
                                {"brush_y", 6},
                                {"pen", 0},
                                {"brush", 0x800000FF},
                                {"clip", 0},
                                {"path", 30},
                                {"mix", 13},
                                {"fill_mode", 1}});
         },
         6,
         {{6, 7, 25, 16}},
         {5, 6},
         false},
        {"no region: the command's bounds",
         [](SpoolBuilder& b) {
             RectFill(b, {2, 3, 30, 20}, 40);
         },
         0,
         {{2, 3, 30, 20}},
         {0, 0},
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        ClipRecord(b, 5, {4, 4, 20, 18}, {{4, 4, 20, 10}, {4, 10, 12, 18}});
        ClipRecord(b, 6, {6, 7, 25, 16}, {});
        c.shape(b);
        ASSERT_EQ(job.Read(b), 1);
        CmdNode* shape = Nth(job, 0);
        Source* source = SourcePrepare(shape, job.store, c.clip, 0);
        ASSERT_NE(source, nullptr);
        const auto* s = reinterpret_cast<const SourceBrush*>(source);
        EXPECT_EQ(s->head.kind, SourceKindBrush);
        EXPECT_EQ(std::vector<RECT>(s->rects, s->rects + s->count), c.rects);
        EXPECT_EQ(s->brushOrigin.x, c.origin.x);
        EXPECT_EQ(s->brushOrigin.y, c.origin.y);
        ASSERT_NE(s->brush, nullptr);
        EXPECT_EQ(s->brush, CmdBrushGet(shape) != nullptr ? CmdBrushGet(shape) : s->brush);
        EXPECT_EQ((s->brush->head.flags & BRUSH_COMPANION) != 0, c.pattern) << "a pattern serves as a mask";
        SourceRelease(source, job.store, 1);
    }
}

TEST(BrushSource, AMissingClipOrBrushMakesNone)
{
    DisplayJob job;
    job.spill = true;
    SpoolBuilder b;
    Resources(b);
    b.Add("pen", {{"id", 60}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}});
    RectFill(b, {2, 3, 30, 20}, 40);
    Line(b, {0, 0}, {10, 10}, 60, 0, 13);
    ASSERT_EQ(job.Read(b), 1);
    EXPECT_EQ(SourcePrepare(Nth(job, 0), job.store, 77, 0), nullptr) << "no clip 77";
    EXPECT_EQ(SourcePrepare(Nth(job, 1), job.store, 0, 0), nullptr) << "a line makes no source";
}

TEST(BrushSource, EqualComparesRectanglesOriginAndBrush)
{
    DisplayJob job;
    job.spill = true;
    SpoolBuilder b;
    Resources(b);
    ClipRecord(b, 5, {4, 4, 20, 18}, {{4, 4, 20, 10}, {4, 10, 12, 18}});
    ClipRecord(b, 7, {4, 4, 20, 18}, {{4, 4, 20, 10}, {4, 10, 13, 18}});
    RectFill(b, {2, 3, 30, 20}, 40);
    RectFill(b, {2, 3, 30, 20}, 41);
    RectFill(b, {1, 1, 9, 9}, 40);
    ASSERT_EQ(job.Read(b), 1);
    Source* first = SourcePrepare(Nth(job, 0), job.store, 5, 0);
    Source* samePattern = SourcePrepare(Nth(job, 2), job.store, 5, 0);
    Source* otherPattern = SourcePrepare(Nth(job, 1), job.store, 5, 0);
    Source* otherRects = SourcePrepare(Nth(job, 0), job.store, 7, 0);
    Source* passedBrush = SourcePrepare(Nth(job, 1), job.store, 5, 40);
    ASSERT_TRUE(first && samePattern && otherPattern && otherRects && passedBrush);
    Source* copy = SourceClone(first, job.store);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(SourceEqual(first, samePattern), 1);
    EXPECT_EQ(SourceEqual(first, otherPattern), 0) << "same rectangles, another pattern brush";
    EXPECT_EQ(SourceEqual(first, otherRects), 0);
    EXPECT_EQ(SourceEqual(first, passedBrush), 1) << "the brush passed wins over the command's";
    EXPECT_EQ(SourceEqual(first, copy), 1);
    for (Source* s : {first, samePattern, otherPattern, otherRects, passedBrush}) SourceRelease(s, job.store, 1);
    // The copy holds its own brush reference and rectangles.
    EXPECT_EQ(reinterpret_cast<SourceBrush*>(copy)->rects[1], (RECT{4, 10, 12, 18}));
    SourceRelease(copy, job.store, 1);
}

// Render clears the page where the pattern is white inside the rectangles; RenderBand marks those
// pixels in a mask, within the band only, adding to the marks there unless it clears first.
TEST(BrushSource, RenderAndRenderBandFollowThePatternPixelByPixel)
{
    DisplayJob job;
    job.spill = true;
    SpoolBuilder b;
    Resources(b);
    ClipRecord(b, 5, {4, 4, 40, 18}, {{4, 4, 40, 10}, {4, 10, 12, 18}});
    b.Add("cmd_rect", {{"left", 0},
                       {"top", 0},
                       {"right", 50},
                       {"bottom", 20},
                       {"brush_x", 3},
                       {"brush_y", 2},
                       {"brush", 40},
                       {"pen", 0},
                       {"clip", 0},
                       {"mix", 13}});
    ASSERT_EQ(job.Read(b), 1);
    Source* source = SourcePrepare(Nth(job, 0), job.store, 5, 0);
    ASSERT_NE(source, nullptr);
    const POINT origin{3, 2};
    const RECT rects[] = {{4, 4, 40, 10}, {4, 10, 12, 18}};
    auto inRects = [&](int x, int y) { return Inside(rects[0], x, y) || Inside(rects[1], x, y); };

    BandSurface* colour = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, 24}, nullptr, 0, 0);
    std::memset(colour->bits, 0x5A, size_t(colour->stride) * 24);
    SourceRender(source, job.store, colour);
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < kW; ++x) {
            const uint32_t want = inRects(x, y) && PatternWhite(origin, x, y) ? 0x000000 : 0x5A5A5A;
            ASSERT_EQ(SurfacePixel(colour, x, y), want) << x << "," << y;
        }
    BandSurfaceDestroy(colour);

    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{kW, 24}, nullptr, 0, 0);
    const RECT band{0, 6, kW, 14};
    const RECT clear{0, 0, kW, 24};
    for (int accumulate : {0, 1}) {
        SCOPED_TRACE(accumulate);
        std::memset(mask->bits, 0, size_t(mask->stride) * 24);
        BandMaskRectsSet(mask, 1, &clear);  // marks of earlier commands
        SourceRenderBand(source, job.store, mask, &band, nullptr, &clear, accumulate);
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < kW; ++x) {
                const bool marked = Inside(band, x, y) && inRects(x, y) && PatternWhite(origin, x, y);
                ASSERT_EQ(MaskBit(mask, x, y), marked || accumulate == 1) << x << "," << y;
            }
        EXPECT_EQ(mask->selectedBrush, nullptr) << "the DC is left as it was";
    }
    BandSurfaceDestroy(mask);
    SourceRelease(source, job.store, 1);
}

// BitBlt and StretchBlt copying their picture through a brush source: the picture where the
// pattern is white inside the source's rectangles and the command's destination and clip, the
// page elsewhere.
TEST(BrushSource, ImageCommandsCopyThroughThePatternOnBothRoads)
{
    struct Case {
        const char* name;
        bool stretch;
        RECT destination;  // as recorded; right < left mirrors a StretchBlt
        RECT source;  // BitBlt: its top-left corner only
        uint32_t bitmap;  // 71 1-bit, 72 24-bit
        std::initializer_list<RECT> region;  // empty: bounds only
        RECT regionBounds;
        POINT origin;
        uint32_t clip;  // the image's own clip: 0 or 8
    };
    const Case cases[] = {
        {"colour copy, two rectangles",
         false,
         {6, 5, 46, 33},
         {0, 0, 0, 0},
         72,
         {{8, 6, 40, 20}, {8, 20, 20, 30}},
         {8, 6, 40, 30},
         {3, 5},
         0},
        {"1-bit copy, region without rectangles",
         false,
         {6, 5, 46, 33},
         {0, 0, 0, 0},
         71,
         {},
         {10, 9, 38, 27},
         {-2, 7},
         0},
        {"rectangles reaching beyond the destination",
         false,
         {10, 8, 30, 28},
         {4, 2, 0, 0},
         72,
         {{0, 0, 64, 12}, {2, 12, 20, 40}},
         {0, 0, 64, 40},
         {1, 1},
         0},
        {"under the command's own clip",
         false,
         {6, 5, 46, 33},
         {0, 0, 0, 0},
         72,
         {{8, 6, 40, 30}},
         {8, 6, 40, 30},
         {0, 0},
         8},
        {"stretched twice",
         true,
         {4, 4, 44, 32},
         {3, 2, 23, 16},
         72,
         {{5, 5, 40, 18}, {5, 18, 24, 31}},
         {5, 5, 40, 31},
         {2, 3},
         0},
        {"stretched twice, mirrored across",
         true,
         {44, 4, 4, 32},
         {3, 2, 23, 16},
         71,
         {{5, 5, 40, 18}, {5, 18, 24, 31}},
         {5, 5, 40, 31},
         {6, 1},
         0},
        {"grown by fractions, mirrored across",
         true,
         {61, 1, 2, 39},
         {1, 2, 30, 25},
         72,
         {{0, 0, 64, 9}, {3, 9, 50, 33}},
         {0, 0, 64, 33},
         {5, 2},
         8},
        {"shrunk by fractions", true, {7, 3, 26, 36}, {2, 1, 40, 30}, 71, {{4, 2, 30, 38}}, {4, 2, 30, 38}, {1, 4}, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        ClipRecord(b, 5, c.regionBounds, c.region);
        ClipRecord(b, 8, {0, 0, kW, kH}, {{0, 0, kW, 14}, {0, 14, 22, kH}});
        RectFill(b, {0, 0, kW, kH}, kBackground);
        b.Add("cmd_rect", {{"left", 0},
                           {"top", 0},
                           {"right", kW},
                           {"bottom", kH},
                           {"brush_x", c.origin.x},
                           {"brush_y", c.origin.y},
                           {"brush", 40},
                           {"pen", 0},
                           {"clip", 0},
                           {"mix", 13}});
        if (c.stretch) StretchBlt(b, c.source, c.destination, c.bitmap, 0xCCCC, c.clip);
        else BitBlt(b, c.destination, {c.source.left, c.source.top}, c.bitmap, 0xCCCC, c.clip);
        ASSERT_EQ(job.Read(b), 1);
        CmdNode* shape = Nth(job, 1);
        CmdNode* image = Nth(job, 2);
        Source* source = SourcePrepare(shape, job.store, 5, 0);
        ASSERT_NE(source, nullptr);
        CmdNodeUnlink(&job.list, shape);
        CmdRow(shape).destroy(shape, job.store);
        CmdRow(image).sourceSet(image, source);
        ASSERT_EQ(CmdSourceGet(image), source);

        // The reference, pixel by pixel.
        Image want(kW, kH);
        const RECT d{std::min(c.destination.left, c.destination.right), c.destination.top,
                     std::max(c.destination.left, c.destination.right), c.destination.bottom};
        const bool mirrored = c.destination.right < c.destination.left;
        std::vector<RECT> region(c.region);
        if (region.empty()) region.push_back(c.regionBounds);
        for (int y = 0; y < kH; ++y)
            for (int x = 0; x < kW; ++x) {
                want.at(x, y) = kBackground & 0xFFFFFF;
                bool inRegion = false;
                for (const RECT& r : region) inRegion |= Inside(r, x, y);
                const bool inClip = c.clip == 0 || y < 14 || x < 22;
                if (!Inside(d, x, y) || !inRegion || !inClip || !PatternWhite(c.origin, x, y)) continue;
                int sx = c.source.left + (x - d.left), sy = c.source.top + (y - d.top);
                if (c.stretch) {
                    const int u = mirrored ? d.right - 1 - x : x - d.left, v = y - d.top;
                    sx = c.source.left + u * (c.source.right - c.source.left) / (d.right - d.left);
                    sy = c.source.top + v * (c.source.bottom - c.source.top) / (d.bottom - d.top);
                }
                want.at(x, y) = c.bitmap == 72 ? ColourPixel(40, 3, sx, sy) : MonoWhite(40, 4, sx, sy) ? 0xFFFFFF : 0;
            }
        for (int band : {kH, 7, 3, 1}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(Diff(DrawRoad(job, kW, kH, kUnit, band), want), "");
            EXPECT_EQ(Diff(MaskRoad(job, kW, kH, kUnit, band), want), "");
        }
    }
}

}  // namespace

namespace {

// The band renderer hands a command its area at a column within a 32-bit word of the mask (the
// phase of the band plane); an image command clears the whole clear rectangle, up to its right
// edge, before it marks: marks left there by the command before would otherwise show through.
// Accumulating into a mask (a blended level), it adds its marks and keeps the ones there.
TEST(BrushSource, ImageKindsClearTheirAreaUpToItsRightEdgeOrAddToIt)
{
    struct Case {
        const char* name;
        void (*build)(SpoolBuilder& b);
        bool brushSource;
    };
    const Case cases[] = {
        {"BitBlt under a clip region",
         [](SpoolBuilder& b) {
             BitBlt(b, {0, 0, 10, 8}, {0, 0}, 72, 0xCCCC, 2);
         },
         false},
        {"StretchBlt under a clip region",
         [](SpoolBuilder& b) {
             StretchBlt(b, {0, 0, 5, 4}, {0, 0, 10, 8}, 72, 0xCCCC, 2);
         },
         false},
        {"TransparentBlt under a clip region",
         [](SpoolBuilder& b) {
             b.Raw(25, 0, records::Le32s({0, 0, 10, 8, 0, 0, 10, 8, 2, 71, 0x123456}));
         },
         false},
        {"AlphaBlend under a clip region",
         [](SpoolBuilder& b) {
             b.Raw(23, 0, Cat({records::Le32s({0, 0, 10, 8, 0, 0, 10, 8, 2, 72}), std::vector<uint8_t>{0, 0, 200, 0}}));
         },
         false},
        {"BitBlt through a brush source",
         [](SpoolBuilder& b) {
             BitBlt(b, {0, 0, 10, 8}, {0, 0}, 72, 0xCCCC);
         },
         true},
        {"brush through a 1-bit bitmap",
         [](SpoolBuilder& b) {
             BitBlt(b, {0, 0, 10, 8}, {0, 0}, 71, 0xB8B8, 2, 0x800000FF);
         },
         false},
        {"brush through a 24-bit black-and-white bitmap, stretched",
         [](SpoolBuilder& b) {
             ColourOverMono(b, 77, 4, 0xFFFFFF, 0x000000);
             StretchBlt(b, {0, 0, 5, 4}, {0, 0, 10, 8}, 77, 0xE2E2, 2);
         },
         false},
        {"copy through a mask",
         [](SpoolBuilder& b) {
             b.Add("cmd_bitblt", {{"left", 0},
                                  {"top", 0},
                                  {"right", 10},
                                  {"bottom", 8},
                                  {"src_x", 0},
                                  {"src_y", 0},
                                  {"mask_x", 1},
                                  {"mask_y", 2},
                                  {"brush", 0},
                                  {"clip", 2},
                                  {"bitmap", 72},
                                  {"mask", 71},
                                  {"rop", 0xCCAA}});
         },
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        ClipRecord(b, 2, {0, 0, 3, 8}, {{0, 0, 3, 8}});
        RectFill(b, {0, 0, 3, 8}, 40);
        c.build(b);
        ASSERT_EQ(job.Read(b), 1);
        CmdNode* shape = Nth(job, 0);
        CmdNode* node = Nth(job, 1);
        if (c.brushSource) CmdRow(node).sourceSet(node, SourcePrepare(shape, job.store, 2, 0));
        const RECT area{25, 0, 35, 8};
        const RECT band{0, 0, 64, 8};
        bool marks[8][64] = {};
        for (int accumulate : {0, 1}) {
            SCOPED_TRACE(accumulate);
            BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{64, 8}, nullptr, 0, 0);
            // What the commands before left: everything, or (accumulating) every other row.
            for (int y = 0; y < 8; ++y) {
                const RECT row{0, y, 64, y + 1};
                if (accumulate == 0 || y % 2 == 0) BandMaskRectsSet(mask, 1, &row);
            }
            SetViewportOrgEx(mask->drawDC, 25, 0, nullptr);
            EXPECT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &area, &area, accumulate), CMD_BAND_MASKED);
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 64; ++x) {
                    if (accumulate == 0) {
                        marks[y][x] = Inside(area, x, y) && MaskBit(mask, x, y);
                        if (x >= 28 && x < 35) {
                            EXPECT_FALSE(MaskBit(mask, x, y)) << x << "," << y;
                        }
                    } else {
                        EXPECT_EQ(MaskBit(mask, x, y), y % 2 == 0 || marks[y][x]) << x << "," << y;
                    }
                }
            BandSurfaceDestroy(mask);
        }
    }
}

}  // namespace
