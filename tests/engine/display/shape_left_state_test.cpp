// Commands drawn through GDI leave the band's DC as they found it: no brush, pen, font or clip of
// theirs stays selected, and the mix, fill mode, brush origin, miter limit, stretch mode, text
// alignment, text and background colours and background mode are what they were, so that no
// later command's pixels depend on what was drawn before it. Text sets what it relies on itself:
// drawn over a DC that an earlier command or a hand left in an unusual state, it gives the pixels
// it gives on a fresh DC.
#include <gtest/gtest.h>

#include <string>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using namespace records;

constexpr int kW = 64, kH = 40;
constexpr uint32_t kRed = 0x800000FF;
constexpr uint32_t kNotOptimised = CMD_OP_COUNT;

struct DcState {
    int mix, fillMode, stretchMode, backgroundMode;
    UINT textAlign;
    COLORREF textColour, backgroundColour;
    POINT brushOrigin;
    RECT clipBox;
    float miterLimit;
};

DcState StateOf(HDC dc)
{
    DcState s{GetROP2(dc),
              GetPolyFillMode(dc),
              GetStretchBltMode(dc),
              GetBkMode(dc),
              GetTextAlign(dc),
              GetTextColor(dc),
              GetBkColor(dc),
              {},
              {},
              0};
    GetBrushOrgEx(dc, &s.brushOrigin);
    GetClipBox(dc, &s.clipBox);
    GetMiterLimit(dc, &s.miterLimit);
    return s;
}

void ExpectSame(const DcState& got, const DcState& want)
{
    EXPECT_EQ(got.mix, want.mix);
    EXPECT_EQ(got.fillMode, want.fillMode);
    EXPECT_EQ(got.stretchMode, want.stretchMode);
    EXPECT_EQ(got.backgroundMode, want.backgroundMode);
    EXPECT_EQ(got.textAlign, want.textAlign);
    EXPECT_EQ(got.textColour, want.textColour);
    EXPECT_EQ(got.backgroundColour, want.backgroundColour);
    EXPECT_EQ(got.brushOrigin.x, want.brushOrigin.x);
    EXPECT_EQ(got.brushOrigin.y, want.brushOrigin.y);
    EXPECT_EQ(got.clipBox, want.clipBox);
    EXPECT_EQ(got.miterLimit, want.miterLimit);
}

// Fonts whose glyphs the engine keeps: bitmap glyphs (font 20), outline glyphs (21) and outlines
// stroked with the text's pen (22, head flag 0x2); code 5 in each.
void OwnFonts(SpoolBuilder& b)
{
    std::vector<uint8_t> bitmapGlyph = records::Le32s({5, 20, 9, 7, 0, 7});
    for (int y = 0; y < 7; ++y) bitmapGlyph.insert(bitmapGlyph.end(), {uint8_t(0xB6 >> (y % 3)), 0x80, 0, 0});
    b.Raw(37, 1, records::Le32s({20, 0, 10})).Raw(39, 0, bitmapGlyph);
    // An L: an 8 x 10 box less its top-right 5 x 6, from (-1, -10) of the origin.
    const std::vector<uint8_t> l = records::Le32s({1, 0x1 | 0x8, 6, -1, -10, 2, -10, 2, -4, 7, -4, 7, 0, -1, 0});
    for (uint32_t font : {21u, 22u}) {
        std::vector<uint8_t> outline = records::Le32s({5, font, 8, 10, -1, 10});
        outline.insert(outline.end(), l.begin(), l.end());
        b.Raw(37, 1, records::Le32s({font, font == 22 ? 0x2 : 0, 10})).Raw(40, 0, outline);
    }
}

// Text in a font of OwnFonts: code 5 at each position.
void GlyphText(SpoolBuilder& b, uint32_t font, const std::vector<POINT>& at, uint32_t brush, uint8_t mix,
               uint32_t clip = 0)
{
    std::vector<uint8_t> out = records::Le32s({0, 0, kW, kH, 3, 5, font, clip, brush, int64_t(at.size())});
    out.insert(out.end(), {0x1, 0, mix, R2_NOP});
    for (POINT p : at) {
        const auto xy = records::Le32s({p.x, p.y});
        out.insert(out.end(), xy.begin(), xy.end());
    }
    for (size_t i = 0; i < at.size(); ++i) out.insert(out.end(), {5, 0});
    b.Raw(16, 0, out);
}

// Every resource the cases name.
void Resources(SpoolBuilder& b)
{
    MonoBitmap(b, 70, 8, 8, 1);
    ColourBitmap(b, 71, 30, 20, 3);
    b.Add("brush", {{"id", 40}, {"bitmap", 70}});
    b.Add("pen", {{"id", 61}, {"style", 0}, {"width", 3}, {"miter_limit", 3}, {"brush", 0x800000FF}});
    b.Add("pen", {{"id", 62}, {"style", 1}, {"width", 1}, {"brush", 0x80000000}});
    b.Add("pen", {{"id", 63}, {"style", 0}, {"width", 2}, {"brush", 40}});
    ClipRecord(b, 2, {0, 0, kW, kH}, {{0, 0, kW, 12}, {0, 12, 30, kH}});
    Path(b, 50, {{{4, 2}, {40, 30}, {2, 20}, {30, 4}, {10, 34}}});
    LogFont(b, 1, "Liberation Sans", -14);
    OwnFonts(b);
}

const std::vector<POINT> kAt = {{4, 22}, {20, 30}, {36, 16}, {50, 34}};

TEST(ShapeLeftState, EveryKindPutsTheBandDcBack)
{
    struct Case {
        const char* name;
        void (*build)(SpoolBuilder& b);
        uint32_t optimisedTo;  // a kind the optimiser makes of the list; kNotOptimised: left as read
    };
    const Case cases[] = {
        {"rect with a wide pen under XOR, clipped",
         [](SpoolBuilder& b) {
             Rect(b, {4, 4, 40, 30}, kRed, 61, 2, 7);
         },
         kNotOptimised},
        {"rect with a pattern laid from its own origin",
         [](SpoolBuilder& b) {
             b.Add("cmd_rect", {{"left", 4},
                                {"top", 4},
                                {"right", 40},
                                {"bottom", 30},
                                {"brush_x", 3},
                                {"brush_y", 5},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 13}});
         },
         kNotOptimised},
        {"rect with a colour through a pattern mask",
         [](SpoolBuilder& b) {
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
             b.Add("cmd_rect", {{"left", 6},
                                {"top", 6},
                                {"right", 30},
                                {"bottom", 20},
                                {"brush_x", 3},
                                {"brush_y", 5},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 9}});
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
         },
         CmdOpRect},
        {"path filled by winding and outlined, clipped",
         [](SpoolBuilder& b) {
             b.Add("cmd_path", {{"brush_x", 2},
                                {"brush_y", 1},
                                {"pen", 61},
                                {"brush", 40},
                                {"clip", 2},
                                {"path", 50},
                                {"mix", 6},
                                {"fill_mode", 2}});
         },
         kNotOptimised},
        {"path through a pattern mask",
         [](SpoolBuilder& b) {
             Rect(b, {0, 0, 50, 40}, kRed, 0, 0, 7);
             b.Add("cmd_path", {{"brush_x", 2},
                                {"brush_y", 1},
                                {"pen", 0},
                                {"brush", 40},
                                {"clip", 0},
                                {"path", 50},
                                {"mix", 9},
                                {"fill_mode", 2}});
             Rect(b, {0, 0, 50, 40}, kRed, 0, 0, 7);
         },
         CmdOpRect},
        {"dashed line, clipped",
         [](SpoolBuilder& b) {
             Line(b, {2, 3}, {50, 33}, 62, 2, 7);
         },
         kNotOptimised},
        {"line with a pattern pen",
         [](SpoolBuilder& b) {
             Line(b, {2, 30}, {60, 3}, 63, 0, 13);
         },
         kNotOptimised},
        {"GDI font text under XOR, clipped",
         [](SpoolBuilder& b) {
             Text(b, {0, 0, kW, kH}, 1, kAt, u"AgW#", kRed, 7, 2);
         },
         kNotOptimised},
        {"GDI font text in a pattern",
         [](SpoolBuilder& b) {
             Text(b, {0, 0, kW, kH}, 1, kAt, u"AgW#", 40, 13);
         },
         kNotOptimised},
        {"bitmap glyphs in a pattern", [](SpoolBuilder& b) { GlyphText(b, 20, kAt, 40, 13); }, kNotOptimised},
        {"bitmap glyphs, clipped", [](SpoolBuilder& b) { GlyphText(b, 20, kAt, kRed, 13, 2); }, kNotOptimised},
        {"outline glyphs in a pattern", [](SpoolBuilder& b) { GlyphText(b, 21, kAt, 40, 13); }, kNotOptimised},
        {"pen font under XOR, clipped", [](SpoolBuilder& b) { GlyphText(b, 22, kAt, kRed, 7, 2); }, kNotOptimised},
        {"rect fill in a pattern",
         [](SpoolBuilder& b) {
             RectFill(b, {3, 3, 50, 30}, 40);
         },
         kNotOptimised},
        {"solid rect under a clip of pieces",
         [](SpoolBuilder& b) {
             Rect(b, {2, 2, 60, 38}, kRed, 0, 2, 13);
         },
         CmdOpRectsFill},
        {"copy with a pattern under a clip",
         [](SpoolBuilder& b) {
             BitBlt(b, {4, 4, 34, 24}, {0, 0}, 71, 0xB8B8, 2, 40);
         },
         kNotOptimised},
        {"stretched shrink",
         [](SpoolBuilder& b) {
             StretchBlt(b, {0, 0, 30, 20}, {5, 5, 18, 30}, 71, 0xCCCC, 2);
         },
         kNotOptimised},
        {"CopyBits, clipped",
         [](SpoolBuilder& b) {
             CopyBits(b, {10, 6, 40, 26}, {0, 0}, 71, 2);
         },
         kNotOptimised},
        {"AlphaBlend",
         [](SpoolBuilder& b) {
             AlphaBlend(b, {0, 0, 30, 20}, {6, 8, 40, 30}, 71, 128);
         },
         kNotOptimised},
        {"TransparentBlt",
         [](SpoolBuilder& b) {
             TransparentBlt(b, {0, 0, 30, 20}, {6, 8, 50, 30}, 71, 0xFFFFFF);
         },
         kNotOptimised},
        {"abutting copies",
         [](SpoolBuilder& b) {
             for (int i = 0; i < 3; ++i) BitBlt(b, {4 + 10 * i, 6, 14 + 10 * i, 16}, {10 * i, 0}, 71, 0xCCCC);
         },
         CmdOpBlts},
        {"overlapping XOR and AND",
         [](SpoolBuilder& b) {
             RectFill(b, {0, 0, 30, 30}, kRed);
             Rect(b, {10, 10, 20, 20}, kRed, 0, 0, 7);
             GlyphText(b, 21, kAt, 40, 13);
             Rect(b, {15, 15, 35, 25}, 40, 0, 0, 9);
         },
         CmdOpComplex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        c.build(b);
        ASSERT_EQ(job.Read(b), 1);
        if (c.optimisedTo != kNotOptimised) {
            BandIterator iterator{};
            ASSERT_EQ(CmdListOptimize(&job.list, 1, &iterator), 1);
            std::string made;
            for (CmdNode* node : job.Nodes()) made += std::string(CmdOpNameGet(node->op)) + " ";
            EXPECT_NE(made.find(CmdOpNameGet(c.optimisedTo)), std::string::npos) << made;
            if (c.optimisedTo == CmdOpRect || c.optimisedTo == CmdOpPath) {
                EXPECT_TRUE(BrushHasMask(CmdBrushGet(job.Nodes()[0]))) << "the colour through the mask";
            }
        }
        ASSERT_FALSE(job.Nodes().empty());
        for (int road = 0; road < 4; ++road) {
            SCOPED_TRACE(road == 0   ? "draw"
                         : road == 1 ? "draw and restore"
                         : road == 2 ? "mask"
                                     : "accumulating mask");
            BandSurface* s =
                BandSurfaceCreate(road < 2 ? BAND_SURFACE_COLOR : BAND_SURFACE_MASK, SIZE{kW, 16}, nullptr, 0, 0);
            ASSERT_NE(s, nullptr);
            MapSet(s, Mapping{1}, 12);
            const DcState fresh = StateOf(s->drawDC);
            const RECT band = BandLogical(Mapping{1}, kW, 12, 16);
            const RECT area{0, 0, kW, 16};
            for (CmdNode* node : job.Nodes()) {
                SCOPED_TRACE(CmdOpNameGet(node->op));
                if (road == 0) {
                    CmdSlotDraw(node, job.store, s, &band, nullptr);
                } else if (road == 1) {
                    CmdRow(node).drawRestore(node, job.store, s, &band, nullptr);
                } else {
                    CmdRow(node).renderBand(node, job.store, s, &band, &area, &area, road == 3);
                }
                ExpectSame(StateOf(s->drawDC), fresh);
                EXPECT_EQ(s->selectedBrush, nullptr);
                EXPECT_EQ(s->selectedClip, nullptr);
                EXPECT_EQ(s->selectedPen, nullptr);
                EXPECT_EQ(s->selectedFont, nullptr);
                EXPECT_EQ(s->miterLimitChanged, 0);
            }
            BandSurfaceDestroy(s);
        }
    }
}

// What an earlier command could leave in the DC, set by hand: another mix, fill mode, stretch
// mode, text alignment, text and background colours, brush origin, and a clip and brush of the
// store selected.
void Disturb(DisplayJob& job, BandSurface* s, const RECT& band)
{
    HDC dc = s->drawDC;
    SetROP2(dc, R2_NOT);
    SetPolyFillMode(dc, WINDING);
    SetStretchBltMode(dc, BLACKONWHITE);
    SetTextAlign(dc, TA_TOP | TA_RIGHT);
    SetTextColor(dc, 0x0000FF);
    SetBkColor(dc, 0x00FF00);
    SetBrushOrgEx(dc, 3, 5, nullptr);
    Clip* clip = ClipLookup(&job.store->clips, 2);
    ASSERT_NE(clip, nullptr);
    EXPECT_NE(ClipSelect(job.store, clip, s, &band), 0);
    CmdClipRelease(job.store, &clip);
}

std::vector<uint8_t> Bits(const BandSurface* s) { return std::vector<uint8_t>(s->bits, s->bits + s->bytes); }

TEST(ShapeLeftState, TextOverADisturbedDcGivesTheFreshDcsPixels)
{
    struct Case {
        const char* name;
        void (*build)(SpoolBuilder& b);
    };
    const Case cases[] = {
        {"GDI font",
         [](SpoolBuilder& b) {
             Text(b, {0, 0, kW, kH}, 1, kAt, u"AgW#", kRed, 13);
         }},
        {"GDI font in a pattern",
         [](SpoolBuilder& b) {
             Text(b, {0, 0, kW, kH}, 1, kAt, u"AgW#", 40, 13);
         }},
        {"GDI font, clipped",
         [](SpoolBuilder& b) {
             Text(b, {0, 0, kW, kH}, 1, kAt, u"AgW#", kRed, 13, 2);
         }},
        {"bitmap glyphs in a pattern", [](SpoolBuilder& b) { GlyphText(b, 20, kAt, 40, 13); }},
        {"outline glyphs", [](SpoolBuilder& b) { GlyphText(b, 21, kAt, kRed, 13); }},
        {"pen font under XOR", [](SpoolBuilder& b) { GlyphText(b, 22, kAt, kRed, 7); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        c.build(b);
        ASSERT_EQ(job.Read(b), 1);
        ASSERT_EQ(job.Nodes().size(), 1u);
        CmdNode* node = job.Nodes()[0];
        for (int scale : {1, 2}) {
            for (int road = 0; road < 4; ++road) {
                SCOPED_TRACE(road == 0   ? "draw"
                             : road == 1 ? "draw and restore"
                             : road == 2 ? "mask"
                                         : "accumulating mask");
                SCOPED_TRACE(scale);
                std::vector<uint8_t> pixels[2];
                for (int disturbed = 0; disturbed < 2; ++disturbed) {
                    BandSurface* s = BandSurfaceCreate(road < 2 ? BAND_SURFACE_COLOR : BAND_SURFACE_MASK,
                                                       SIZE{kW * scale, kH * scale}, nullptr, 0, 0);
                    ASSERT_NE(s, nullptr);
                    BandSurfaceClear(s, SIZE{kW * scale, kH * scale});
                    MapSet(s, Mapping{scale}, 0);
                    const RECT band{0, 0, kW, kH};
                    const RECT area{0, 0, kW * scale, kH * scale};
                    if (disturbed) Disturb(job, s, band);
                    if (road == 0) {
                        EXPECT_EQ(CmdSlotDraw(node, job.store, s, &band, nullptr), 1);
                    } else if (road == 1) {
                        CmdRow(node).drawRestore(node, job.store, s, &band, nullptr);
                    } else {
                        EXPECT_EQ(CmdRow(node).renderBand(node, job.store, s, &band, &area, &area, road == 3),
                                  CMD_BAND_MASKED);
                    }
                    GdiFlush();
                    pixels[disturbed] = Bits(s);
                    BandSurfaceResetDC(s);
                    BandSurfaceDestroy(s);
                }
                size_t inked = 0;
                for (uint8_t v : pixels[0]) inked += v != (road < 2 ? 0xFF : 0x00);
                EXPECT_GT(inked, 0u) << "the text draws something";
                EXPECT_TRUE(pixels[0] == pixels[1]) << "the disturbed DC gave other pixels";
            }
        }
    }
}

// Outline glyphs whose device bitmap cannot be made (an allocation fails) are filled in the band
// DC itself: with whatever allocation fails, the fill paints the brush as it does on a fresh DC.
TEST(ShapeLeftState, OutlineGlyphsFilledInTheBandDcTakeNoMixLeftThere)
{
    auto draw = [](uint32_t failAt, bool disturbed, uint64_t* allocations) {
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        Resources(b);
        GlyphText(b, 21, kAt, kRed, 13);
        EXPECT_EQ(job.Read(b), 1);
        BandSurface* s = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, kH}, nullptr, 0, 0);
        BandSurfaceClear(s, SIZE{kW, kH});
        MapSet(s, Mapping{1}, 0);
        const RECT band{0, 0, kW, kH};
        if (disturbed) Disturb(job, s, band);
        const uint64_t before = RenderAllocCount();
        RenderAllocFailAt(failAt);
        CmdSlotDraw(job.Nodes().at(0), job.store, s, &band, nullptr);
        RenderAllocFailAt(0);
        if (allocations != nullptr) *allocations = RenderAllocCount() - before;
        GdiFlush();
        std::vector<uint8_t> pixels = Bits(s);
        BandSurfaceDestroy(s);
        return pixels;
    };
    uint64_t allocations = 0;
    const std::vector<uint8_t> whole = draw(0, false, &allocations);
    EXPECT_NE(whole, std::vector<uint8_t>(whole.size(), 0xFF)) << "the text draws something";
    ASSERT_GT(allocations, 0u);
    for (uint32_t n = 1; n <= allocations; ++n) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(draw(n, false, nullptr) == draw(n, true, nullptr)) << "the disturbed DC gave other pixels";
    }
}

}  // namespace
