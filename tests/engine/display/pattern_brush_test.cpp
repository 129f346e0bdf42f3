// Pattern brushes: rectangles filled with a bitmap pattern tile it from their brush origin in
// device pixels, a solid brush with a pattern companion lands where the pattern is white, and a
// pen over a pattern brush paints the pattern along its shape. Every case is drawn by both roads
// of the band loop at several band heights and compared with a per-pixel reference.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/brush_store.h"
#include "platform/gdi.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/display_job.h"

namespace {

// A pattern as the test sees it: its pixels in COLORREF values, row 0 at the top.
struct Pattern {
    uint32_t bitmapId;
    int w, h;
    bool topDown;
    int depth;  // 1 or 24
    std::vector<uint32_t> palette;  // COLORREF, for depth 1
    std::vector<int> index;  // depth 1: palette index of each pixel, top row first
    uint32_t At(int x, int y) const
    {
        if (depth == 1) return palette[index[size_t(y) * w + x]];
        return uint32_t(40 * x + 7) | uint32_t(60 * y + 11) << 8 | uint32_t(200 - 9 * x) << 16;
    }
};

int Mod(int a, int m) { return ((a % m) + m) % m; }

void AddPattern(SpoolBuilder& b, const Pattern& p)
{
    BitmapFields f;
    f.id = p.bitmapId;
    f.width = p.w;
    f.height = p.topDown ? -p.h : p.h;
    f.depth = static_cast<uint8_t>(p.depth);
    for (uint32_t c : p.palette)
        for (int shift : {16, 8, 0, 24}) f.palette.push_back(shift == 24 ? 0 : static_cast<uint8_t>(c >> shift));
    const uint32_t stride = BitmapRowBytes(p.depth, p.w);
    for (int row = 0; row < p.h; ++row) {
        const int y = p.topDown ? row : p.h - 1 - row;  // the stored row's place in the picture
        std::vector<uint8_t> bytes(stride, 0);
        for (int x = 0; x < p.w; ++x) {
            if (p.depth == 1) {
                if (p.index[size_t(y) * p.w + x]) bytes[x / 8] |= uint8_t(0x80 >> (x % 8));
            } else {
                const uint32_t c = p.At(x, y);
                bytes[3 * x] = uint8_t(c >> 16), bytes[3 * x + 1] = uint8_t(c >> 8), bytes[3 * x + 2] = uint8_t(c);
            }
        }
        f.data.insert(f.data.end(), bytes.begin(), bytes.end());
    }
    AddBitmap(b, f);
}

// Paints the pattern tiled from the origin (logical) over the rectangle, cut to the clip.
void PaintPattern(Image& image, const Pattern& p, RECT rect, POINT origin, int scale,
                  const std::vector<RECT>& clip = {})
{
    for (int y = rect.top * scale; y < rect.bottom * scale; ++y)
        for (int x = rect.left * scale; x < rect.right * scale; ++x) {
            if (x < 0 || y < 0 || x >= image.w || y >= image.h) continue;
            bool visible = clip.empty();
            for (const RECT& c : clip)
                visible |= x >= c.left * scale && x < c.right * scale && y >= c.top * scale && y < c.bottom * scale;
            if (visible) image.at(x, y) = p.At(Mod(x - origin.x * scale, p.w), Mod(y - origin.y * scale, p.h));
        }
}

SpoolFields RectFields(RECT r, uint32_t brush, uint32_t pen, uint32_t clip, uint32_t mix, POINT origin)
{
    return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom},  {"brush", brush},
            {"pen", pen},     {"clip", clip}, {"mix", mix},       {"brush_x", origin.x}, {"brush_y", origin.y}};
}

const Pattern kColour = {10, 5, 3, false, 24, {}, {}};
// A 7 x 6 picture of two colours, stored top-down.
const Pattern kTwoColour = {11, 7, 6, true, 1, {0x0000FF, 0x00C000}, {0, 1, 1, 0, 0, 0, 1, 1, 0, 0, 0, 1, 0, 0,
                                                                      0, 0, 0, 1, 1, 1, 0, 1, 1, 0, 1, 0, 0, 0,
                                                                      0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 0, 1, 0, 0}};
// Black and white, stored bottom-up: white is where a companion lets its colour through.
const Pattern kMask = {
    12, 6, 4, false, 1, {0x000000, 0xFFFFFF}, {1, 1, 0, 0, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 1, 1, 1, 0, 1, 0, 0, 0, 1, 1}};

const int kBandHeights[] = {80, 16, 7, 1};

void ExpectBothRoads(DisplayJob& job, const Image& want, int w, int h, int scale)
{
    for (int bandHeight : kBandHeights) {
        SCOPED_TRACE("scale " + std::to_string(scale) + ", bands of " + std::to_string(bandHeight));
        EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "GDI road";
        EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "mask road";
    }
}

TEST(PatternBrushBands, PatternsTileFromTheBrushOriginHoweverThePageIsCut)
{
    const std::vector<RECT> clip = {{20, 15, 40, 26}, {44, 20, 58, 38}};
    for (int scale : {1, 2}) {
        const int w = 60 * scale, h = 40 * scale;
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        for (const Pattern* p : {&kColour, &kTwoColour}) AddPattern(b, *p);
        b.Add("brush", {{"id", 20}, {"bitmap", kColour.bitmapId}});
        b.Add("brush", {{"id", 21}, {"bitmap", kTwoColour.bitmapId}});
        ClipRecord(b, 3, {20, 15, 58, 38}, {clip[0], clip[1]});
        b.Add("cmd_rect", RectFields({3, 2, 40, 30}, 20, 0, 0, R2_COPYPEN, {3, 1}));
        b.Add("cmd_rect", RectFields({18, 12, 60, 40}, 21, 0, 3, R2_COPYPEN, {-2, 5}));
        b.Add("cmd_rect", RectFields({0, 31, 15, 40}, 21, 0, 0, R2_COPYPEN, {0, 0}));
        ASSERT_EQ(job.Read(b), 1);
        ASSERT_EQ(job.Nodes().size(), 3u);
        Image want(w, h);
        PaintPattern(want, kColour, {3, 2, 40, 30}, {3, 1}, scale);
        PaintPattern(want, kTwoColour, {18, 12, 60, 40}, {-2, 5}, scale, clip);
        PaintPattern(want, kTwoColour, {0, 31, 15, 40}, {0, 0}, scale);
        ExpectBothRoads(job, want, w, h, scale);
    }
}

TEST(PatternBrushBands, ASolidBrushLandsWhereItsPatternCompanionIsWhite)
{
    const int scale = 1, w = 60, h = 40;
    DisplayJob job;
    job.spill = true;
    SpoolBuilder b;
    AddPattern(b, kMask);
    b.Add("brush", {{"id", 22}, {"bitmap", kMask.bitmapId}});
    b.Add("cmd_rectfill", {{"left", 0}, {"top", 0}, {"right", 60}, {"bottom", 40}, {"brush", 0x80FF0000}});
    b.Add("cmd_rect", RectFields({5, 3, 50, 33}, 22, 0, 0, R2_COPYPEN, {4, 3}));
    ASSERT_EQ(job.Read(b), 1);
    BrushEntry* base = BrushLookup(&job.store->brushes, 22);
    ASSERT_NE(base, nullptr);
    BrushEntry* solid = BrushSolidCreate(&job.store->brushes, 0x70, 0x0000FF, base);
    ASSERT_NE(solid, nullptr);
    ResourceCost tally{};
    BrushRelease(&job.store->brushes, base, 0, &tally);
    CmdNode* rect = job.Nodes().back();
    ASSERT_EQ(CmdRow(rect).brushSet(rect, job.store, nullptr, solid), 1);

    Image want(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const bool inside = x >= 5 && x < 50 && y >= 3 && y < 33;
            const bool white = kMask.At(Mod(x - 4, kMask.w), Mod(y - 3, kMask.h)) == 0xFFFFFF;
            want.at(x, y) = inside && white ? 0x0000FF : 0xFF0000;
        }
    ExpectBothRoads(job, want, w, h, scale);
}

TEST(PatternBrushBands, APenOverAPatternPaintsThePatternWhereTheSolidPenPaints)
{
    // The shape comes from the same outline drawn with a black pen; the colour of each of its
    // pixels from the pattern tiled from the page's origin.
    struct Case {
        const char* name;
        uint32_t style;  // record flags
        uint32_t width;
    } cases[] = {
        {"a geometric pen with bevel joins", 0x1 | 0x1000000, 5},
        {"a cosmetic pen", 0, 1},
        {"a mitre pen: strips filled with the pattern", 0x1 | 0x2000000, 3},
    };
    const int w = 60, h = 40;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Image shape(w, h), painted(w, h);
        for (uint32_t brush : {0x80000000u, 21u}) {
            DisplayJob job;
            job.spill = true;
            SpoolBuilder b;
            AddPattern(b, kTwoColour);
            b.Add("brush", {{"id", 21}, {"bitmap", kTwoColour.bitmapId}});
            b.Add("pen", {{"id", 5}, {"style", c.style}, {"width", c.width}, {"miter_limit", 10}, {"brush", brush}});
            b.Add("cmd_rect", RectFields({8, 6, 50, 33}, 0, 5, 0, R2_COPYPEN, {0, 0}));
            ASSERT_EQ(job.Read(b), 1);
            (brush == 21u ? painted : shape) = DrawRoad(job, w, h, Mapping{1}, 16);
            if (brush == 21u) {
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{1}, 7), painted), "") << "mask road";
            }
        }
        Image want(w, h);
        int inked = 0;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                if (shape.at(x, y) == 0)
                    want.at(x, y) = kTwoColour.At(Mod(x, kTwoColour.w), Mod(y, kTwoColour.h)), ++inked;
        EXPECT_GT(inked, 0);
        EXPECT_EQ(Diff(painted, want), "");
    }
}

}  // namespace
