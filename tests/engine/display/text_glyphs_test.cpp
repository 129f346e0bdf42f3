// Text in downloaded fonts whose glyphs the engine keeps: bitmap and outline glyph records drawn
// into band masks (cut into bands of several heights) and directly with a brush, compared pixel by
// pixel with the glyphs placed by hand; device bitmaps made for one DC scale and dropped at the
// next; overstrike.
#include <gtest/gtest.h>

#include "tests/support/display_job.h"

#include <functional>

#include "engine/display/cmd_ops.h"
#include "engine/raster/band_surface.h"

namespace {

constexpr uint16_t kTextRecord = 16;
constexpr int W = 160, H = 64;

struct HandGlyph {
    uint16_t code;
    int32_t width, height, originX, originY;
};
constexpr HandGlyph kGlyphs[] = {{5, 5, 7, 0, 7}, {133, 11, 4, 1, 2}, {65, 33, 3, -2, 0}};

// The glyph's pixels, chosen so that no row or column is blank or full.
bool GlyphBit(const HandGlyph& g, int x, int y) { return (x * 7 + y * 3 + g.code) % 5 < 2; }

std::vector<uint8_t> BitmapGlyphRecord(const HandGlyph& g, uint32_t font)
{
    std::vector<uint8_t> out = Le32s({g.code, font, g.width, g.height, g.originX, g.originY});
    const int stride = (g.width + 31) / 32 * 4;
    for (int y = 0; y < g.height; ++y) {
        std::vector<uint8_t> row(stride, 0);
        for (int x = 0; x < g.width; ++x)
            if (GlyphBit(g, x, y)) row[x / 8] |= uint8_t(0x80 >> (x % 8));
        out.insert(out.end(), row.begin(), row.end());
    }
    return out;
}

struct Placed {
    uint16_t code;
    POINT at;  // the character's origin
};
const std::vector<Placed> kText = {{5, {10, 30}}, {133, {30, 40}}, {65, {50, 20}}, {5, {100, 50}}, {133, {150, 10}}};

std::vector<uint8_t> TextRecord(const std::vector<Placed>& text, uint8_t mix = R2_COPYPEN)
{
    std::vector<uint8_t> out = Le32s({0, 0, 400, 200, 0, 0, 1, 0, RESOURCE_ID_BLACK, int64_t(text.size())});
    out.insert(out.end(), {0x1, 0, mix, R2_NOP});  // glyph indices
    for (const Placed& p : text) {
        const auto xy = Le32s({p.at.x, p.at.y});
        out.insert(out.end(), xy.begin(), xy.end());
    }
    for (const Placed& p : text) out.insert(out.end(), {uint8_t(p.code), uint8_t(p.code >> 8)});
    return out;
}

using Ink = std::function<bool(int x, int y)>;  // device pixels of the whole page

// The reference for bitmap glyphs: every set bit of each glyph at its cell, scaled by a whole
// factor, repeated over the overstrike offsets.
Ink HandPlaced(SIZE scale, int repeatsX = 1, int repeatsY = 1)
{
    return [=](int x, int y) {
        for (int i = 0; i < repeatsX; ++i)
            for (int j = 0; j < repeatsY; ++j)
                for (const Placed& p : kText) {
                    const HandGlyph& g = *std::find_if(std::begin(kGlyphs), std::end(kGlyphs),
                                                       [&](const HandGlyph& h) { return h.code == p.code; });
                    const int gx = (x - i) / scale.cx - (p.at.x + g.originX),
                              gy = (y - j) / scale.cy - (p.at.y - g.originY);
                    if (x - i >= 0 && y - j >= 0 && gx >= 0 && gy >= 0 && gx < g.width && gy < g.height &&
                        GlyphBit(g, gx, gy))
                        return true;
                }
        return false;
    };
}

void SetScale(HDC dc, SIZE scale)
{
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, scale.cx, scale.cy, nullptr);
}

// The node drawn into masks of several band heights (clean and accumulating) and directly into a
// colour surface with its black brush; every pixel is compared with the reference.
void ExpectPixels(DisplayJob& job, CmdNode* node, SIZE scale, const Ink& ink, const char* what)
{
    for (int bandHeight : {H, 23, 8}) {
        for (int accumulate : {0, 1}) {
            BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{W, bandHeight}, nullptr, 0, 0);
            for (int top = 0; top < H; top += bandHeight) {
                SetScale(mask->drawDC, scale);
                SetViewportOrgEx(mask->drawDC, 0, -top, nullptr);
                const RECT band{0, top / scale.cy, W / scale.cx, (top + bandHeight + scale.cy - 1) / scale.cy};
                const RECT area{0, 0, W, bandHeight};
                BandSurfaceClear(mask, SIZE{W, bandHeight});
                ASSERT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &area, &area, accumulate), 3);
                GdiFlush();
                int wrong = 0;
                for (int y = 0; y < bandHeight && top + y < H; ++y)
                    for (int x = 0; x < W; ++x)
                        wrong += bool((mask->bits[y * mask->stride + x / 8] >> (7 - x % 8)) & 1) != ink(x, top + y);
                EXPECT_EQ(wrong, 0) << what << ": band " << bandHeight << " at " << top << " accumulate " << accumulate;
                BandSurfaceResetDC(mask);
            }
            BandSurfaceDestroy(mask);
        }
    }
    BandSurface* colour = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{W, H}, nullptr, 0, 0);
    BandSurfaceClear(colour, SIZE{W, H});
    SetScale(colour->drawDC, scale);
    const RECT band{0, 0, W / scale.cx, H / scale.cy};
    ASSERT_EQ(CmdRow(node).draw(node, job.store, colour, &band, nullptr), 1);
    GdiFlush();
    int wrong = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) wrong += (colour->bits[y * colour->stride + 3 * x] == 0) != ink(x, y);
    EXPECT_EQ(wrong, 0) << what << ": drawn directly";
    BandSurfaceDestroy(colour);
}

SpoolBuilder BitmapFont(uint32_t headFlags, uint32_t cellHeight = 20)
{
    SpoolBuilder body;
    body.Raw(37, 1, Le32s({1, headFlags, cellHeight}));
    for (const HandGlyph& g : kGlyphs) body.Raw(39, 0, BitmapGlyphRecord(g, 1));
    return body;
}

// Bitmap glyphs at 1:1, or enlarged in both axes, come straight from their DIBs; scaled unequally
// they go through device bitmaps. Codes 5 and 133 share a bucket and both draw. With overstrike each glyph is drawn at
// 3 x 2 offsets: a cell height of 20 pixels widened by max(20 x 100 / 1000, 2) = 2 across and
// max(20 x 100 / 4000, 1) = 1 down.
TEST(TextGlyphs, BitmapGlyphsLandWhereTheRecordsPlaceThem)
{
    struct Case {
        const char* what;
        uint32_t headFlags;
        uint32_t overstrike;
        SIZE scale;
        int repeatsX, repeatsY;
        uint8_t mix = R2_COPYPEN;
    } cases[] = {
        {"1:1", 0, 0, {1, 1}, 1, 1},
        {"enlarged by 2", 0, 0, {2, 2}, 1, 1},
        {"scaled by 2 across", 0, 0, {2, 1}, 1, 1},
        {"scaled by 3 down", 0, 0, {1, 3}, 1, 1},
        {"overstrike", 0x20, 100, {1, 1}, 3, 2},
        {"mix R2_NOT: the mask is drawn with the white built-in brush", 0, 0, {1, 1}, 1, 1, R2_NOT},
        {"mix R2_NOT through device bitmaps", 0, 0, {2, 1}, 1, 1, R2_NOT},
    };
    for (const Case& c : cases) {
        DisplayJob job;
        job.spill = true;
        job.device->overstrike = c.overstrike;
        SpoolBuilder body = BitmapFont(c.headFlags);
        body.Raw(kTextRecord, 0, TextRecord(kText, c.mix));
        ASSERT_EQ(job.Read(body), 1) << c.what;
        ASSERT_EQ(job.Nodes().size(), 1u) << c.what;
        ExpectPixels(job, job.Nodes()[0], c.scale, HandPlaced(c.scale, c.repeatsX, c.repeatsY), c.what);
    }
}

// A change of the band DC's scale drops the device bitmaps made for the old one: the next band
// draws from bitmaps made anew at the new size.
TEST(TextGlyphs, AScaleChangeDropsTheDeviceBitmaps)
{
    DisplayJob job;
    job.spill = true;
    SpoolBuilder body = BitmapFont(0);
    body.Raw(kTextRecord, 0, TextRecord(kText));
    ASSERT_EQ(job.Read(body), 1);
    CmdNode* node = job.Nodes().at(0);
    FontEntry* font = FontLookup(&job.store->fonts, 1);
    ASSERT_NE(font, nullptr);
    const Glyph* glyph = GlyphFind(font->cache, 0, 133);
    ASSERT_NE(glyph, nullptr);
    for (SIZE scale : {SIZE{2, 1}, SIZE{3, 1}, SIZE{2, 1}, SIZE{1, 1}}) {
        ExpectPixels(job, node, scale, HandPlaced(scale), "scale");
        if (scale.cx == 1) {
            EXPECT_EQ(glyph->device, nullptr) << "no device bitmaps at 1:1";
            EXPECT_EQ(font->cache->deviceFirst, nullptr);
        } else {
            ASSERT_NE(glyph->device, nullptr) << scale.cx;
            EXPECT_EQ(LoadLE32(glyph->device), uint32_t(11 * scale.cx));
            EXPECT_EQ(LoadLE32(glyph->device + 4), 4u);
        }
    }
    ResourceCost tally{};
    FontRelease(&job.store->fonts, font, 0, &tally);
}

// Outline glyphs fill their contours (relative to the character's origin, y down) through device
// bitmaps: pixel (x, y) is set when its corner point lies inside, left and top edges counting.
TEST(TextGlyphs, OutlineGlyphsFillTheirContours)
{
    struct Case {
        const char* what;
        uint32_t headFlags;
        int32_t unit;  // 16 with coordinates in sixteenths
        SIZE scale;
    } cases[] = {{"whole units", 0, 1, {1, 1}},
                 {"sixteenths", 0x40, 16, {1, 1}},
                 {"whole units scaled by 2", 0, 1, {2, 2}},
                 {"sixteenths scaled by 3 across", 0x40, 16, {3, 1}}};
    // An L shape: an 8 x 10 box less its top-right 5 x 6, drawn from (-1, -10) of the origin.
    const std::vector<POINT> l = {{-1, -10}, {2, -10}, {2, -4}, {7, -4}, {7, 0}, {-1, 0}};
    auto inside = [](int x, int y) { return x >= -1 && x < 7 && y >= -10 && y < 0 && !(x >= 2 && y < -4); };
    const std::vector<POINT> origins = {{20, 20}, {60, 45}, {120, 12}};
    for (const Case& c : cases) {
        std::vector<uint8_t> contour = Le32s({1, int64_t(0x1 | 0x8 | (c.unit == 16 ? 0x20 : 0)), int64_t(l.size())});
        for (POINT p : l) {
            const auto xy = Le32s({p.x * c.unit, p.y * c.unit});
            contour.insert(contour.end(), xy.begin(), xy.end());
        }
        std::vector<uint8_t> record = Le32s({77, 1, 8 * c.unit, 10 * c.unit, -1 * c.unit, 10 * c.unit});
        record.insert(record.end(), contour.begin(), contour.end());
        std::vector<Placed> text;
        for (POINT o : origins) text.push_back({77, o});
        DisplayJob job;
        SpoolBuilder body;
        body.Raw(37, 1, Le32s({1, c.headFlags, 10})).Raw(40, 0, record).Raw(kTextRecord, 0, TextRecord(text));
        ASSERT_EQ(job.Read(body), 1) << c.what;
        ASSERT_EQ(job.Nodes().size(), 1u) << c.what;
        const SIZE s = c.scale;
        ExpectPixels(
            job, job.Nodes()[0], s,
            [&](int x, int y) {
                for (POINT o : origins)
                    if (inside(x / s.cx - o.x, y / s.cy - o.y)) return true;
                return false;
            },
            c.what);
    }
}

TEST(TextGlyphs, MissingGlyphsFailTheRecordAndTrimsGiveTheMemoryBack)
{
    {
        DisplayJob job;
        job.spill = true;
        SpoolBuilder body = BitmapFont(0);
        body.Raw(kTextRecord, 0, TextRecord({{5, {1, 20}}, {6, {10, 20}}}));
        EXPECT_EQ(job.Read(body), 0) << "code 6 has no glyph";
    }
    DisplayJob job;
    job.spill = true;
    SpoolBuilder body = BitmapFont(0);
    body.Raw(kTextRecord, 0, TextRecord(kText));
    ASSERT_EQ(job.Read(body), 1);
    CmdNode* node = job.Nodes().at(0);
    const uint32_t before = job.budget->memoryUse;
    ExpectPixels(job, node, SIZE{2, 1}, HandPlaced(SIZE{2, 1}), "before the trims");
    FontEntry* font = FontLookup(&job.store->fonts, 1);
    ResourceCost tally{};
    FontRelease(&job.store->fonts, font, 0, &tally);
    EXPECT_GT(job.budget->memoryUse, before) << "DIBs and device bitmaps are charged";
    // Trim mode 0 drops the DIBs, mode 1 the device bitmaps; drawing makes them again.
    for (uint32_t mode : {0u, 1u}) {
        ResourceCost request{0, 0x7FFFFFFF, 0};
        GlyphCacheTrim(font->cache, mode, &request);
    }
    for (const HandGlyph& g : kGlyphs) {
        const Glyph* glyph = GlyphFind(font->cache, 0, g.code);
        EXPECT_EQ(glyph->dib, nullptr);
        EXPECT_EQ(glyph->device, nullptr);
    }
    EXPECT_EQ(font->cache->deviceFirst, nullptr);
    EXPECT_EQ(font->cache->dibFirst, nullptr);
    ExpectPixels(job, node, SIZE{2, 1}, HandPlaced(SIZE{2, 1}), "after the trims");
}

}  // namespace

namespace {

// A font whose head has flag 0x2 draws its outlines with the text's pen (the brush id names it):
// a closed 10 x 8 box stroked with a one-pixel pen marks exactly its border, in masks and drawn
// directly, also where the DC scales unequally (the pen stays one pixel wide).
TEST(TextGlyphs, PenFontsStrokeTheirOutlines)
{
    const std::vector<POINT> box = {{0, -8}, {10, -8}, {10, 0}, {0, 0}};
    const std::vector<POINT> origins = {{12, 20}, {50, 40}, {100, 15}};
    for (SIZE s : {SIZE{1, 1}, SIZE{2, 1}}) {
        std::vector<uint8_t> record = Le32s({77, 1, 11, 9, 0, 8, 1, 0x1 | 0x8, int64_t(box.size())});
        for (POINT p : box) {
            const auto xy = Le32s({p.x, p.y});
            record.insert(record.end(), xy.begin(), xy.end());
        }
        std::vector<Placed> text;
        for (POINT o : origins) text.push_back({77, o});
        DisplayJob job;
        SpoolBuilder body;
        body.Raw(37, 1, Le32s({1, 0x2, 10})).Raw(40, 0, record).Raw(kTextRecord, 0, TextRecord(text));
        ASSERT_EQ(job.Read(body), 1);
        ASSERT_EQ(job.Nodes().size(), 1u);
        ExpectPixels(
            job, job.Nodes()[0], s,
            [&](int x, int y) {
                for (POINT o : origins) {
                    // The box's corners at device pixels; the pen covers the pixels along its edges.
                    const int left = o.x * s.cx, right = (o.x + 10) * s.cx, top = (o.y - 8) * s.cy, bottom = o.y * s.cy;
                    const bool across = (y == top || y == bottom) && x >= left && x <= right;
                    const bool down = (x == left || x == right) && y >= top && y <= bottom;
                    if (across || down) return true;
                }
                return false;
            },
            s.cx == 1 ? "pen font at 1:1" : "pen font scaled by 2 across");
    }
}

}  // namespace

namespace {

// Under a glyph memory budget smaller than one text's glyphs, the trims run inside the glyph
// preparation while the text is drawn: the pixels are those of an ample budget, and the memory
// in use stays within the budget plus the one glyph being made.
TEST(TextGlyphs, ATightBudgetTrimsWhileTextIsDrawn)
{
    for (SIZE scale : {SIZE{1, 1}, SIZE{2, 1}, SIZE{1, 3}}) {
        DisplayJob job;
        job.spill = true;
        SpoolBuilder body = BitmapFont(0);
        body.Raw(kTextRecord, 0, TextRecord(kText));
        ASSERT_EQ(job.Read(body), 1);
        CmdNode* node = job.Nodes().at(0);
        // The largest glyph's DIB and device bitmap: what one preparation may add at most.
        const uint32_t largest = 48 + 8 * 3 + 8 + (33 * 2 + 31) / 32 * 4 * 3 * 3;
        job.budget->memoryLimit = job.budget->memoryUse + largest / 2;
        const uint32_t ceiling = job.budget->memoryLimit + largest;
        ExpectPixels(job, node, scale, HandPlaced(scale), "tight budget");
        EXPECT_LE(job.budget->memoryUse, ceiling) << scale.cx << " x " << scale.cy;
        FontEntry* font = FontLookup(&job.store->fonts, 1);
        int kept = 0;
        for (const HandGlyph& g : kGlyphs) {
            const Glyph* glyph = GlyphFind(font->cache, 0, g.code);
            kept += (glyph->dib != nullptr) + (glyph->device != nullptr);
        }
        const int made = scale.cx == 1 && scale.cy == 1 ? 3 : 6;  // DIBs, and device bitmaps when scaled
        EXPECT_LT(kept, made) << "something was trimmed at " << scale.cx << " x " << scale.cy;
        ResourceCost tally{};
        FontRelease(&job.store->fonts, font, 0, &tally);
    }
}

}  // namespace
