// The optimiser never changes a pixel: random display lists of the drawing commands (solid and
// pattern fills, rectangles under every kind of mix, clips, paths, lines, sandwiches of shapes,
// patterns and copies, masks followed by their pictures, copies with runs of abutting ones made
// likely and sources reaching out of their bitmaps, stretched, transparent and blended images,
// text) draw the same page before and after it, through GDI at
// several band heights, and through the mask road when the list holds nothing that the band loop
// renders straight into the band's format.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>

#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_complex.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/source_bitmap.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/include/rastrel/imo.h"
#include "engine/raster/band_plan.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using namespace records;

constexpr int kW = 72, kH = 56;
const Mapping kUnit{1};

struct Generator {
    std::mt19937 rng;
    bool images;

    int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
    RECT Box()
    {
        const int l = Int(-4, kW - 2), t = Int(-4, kH - 2);
        return RECT{l, t, l + Int(1, 30), t + Int(1, 24)};
    }
    uint32_t Colour()
    {
        static const uint32_t colours[] = {0x80000000, 0x80FFFFFF, 0x800000FF, 0x8000FF00, 0x80FF0000, 0x80808080};
        return colours[Int(0, 5)];
    }
    uint32_t Brush() { return Int(0, 5) == 0 ? 40 : Colour(); }  // 40: a pattern brush
    uint32_t Mix()
    {
        static const uint32_t mixes[] = {13, 13, 13, 7, 7, 10, 9, 15, 6, 1, 16};
        return mixes[Int(0, 10)];
    }
    // A source point from which a copy mostly stays inside its 40 x 30 bitmap, and sometimes
    // reaches out of it (drawn by StretchDIBits, which leaves the pixels beyond the bitmap).
    POINT Source() { return Int(0, 5) == 0 ? POINT{Int(0, 25), Int(0, 15)} : POINT{Int(0, 10), Int(0, 6)}; }
    uint32_t Clip() { return Int(0, 3) == 0 ? uint32_t(Int(1, 3)) : 0; }

    // The resources every list may use.
    void Resources(SpoolBuilder& b)
    {
        LogFont(b, 1, "Liberation Sans", -14);
        MonoBitmap(b, 70, 8, 8, 1);
        b.Add("brush", {{"id", 40}, {"bitmap", 70}});
        MonoBitmap(b, 71, 40, 30, 2);
        ColourBitmap(b, 72, 40, 30, 3);
        MonoBitmap(b, 73, 40, 30, 6, true);
        MonoBitmap(b, 74, 40, 30, 2, true);  // 71 with black and white exchanged
        MonoBitmap(b, 75, 40, 30, 6);  // 73 likewise
        ColourOverMono(b, 76, 2, -1, 0xFFFFFF);  // white where 71 is black
        ColourOverMono(b, 77, 2, 0xFFFFFF, 0x000000);  // 71 in 24 bits
        ColourOverMono(b, 78, 2, 0x000000, -1);  // black where 71 is white
        ClipRecord(b, 1, {0, 0, kW, kH}, {});
        ClipRecord(b, 2, {5, 5, 60, 50}, {{5, 5, 60, 20}, {5, 20, 30, 35}, {40, 20, 60, 35}, {5, 35, 60, 50}});
        ClipRecord(b, 3, {10, 0, 50, 40}, {{10, 0, 50, 40}});
        Path(b, 50, {{{10, 2}, {40, 30}, {2, 20}}});
        Path(b, 51, {{{30, 10}, {70, 12}, {60, 50}, {35, 40}}});
        Path(b, 52, {{{20, 14}, {34, 18}, {26, 30}}, {{22, 16}, {30, 18}, {25, 24}}});
        b.Add("pen", {{"id", 60}, {"style", 0}, {"width", 1}, {"brush", 0x80000000}});
        b.Add("pen", {{"id", 61}, {"style", 0}, {"width", 3}, {"brush", 0x800000FF}});
    }

    void Command(SpoolBuilder& b)
    {
        if (Int(0, 9) == 0) {  // text, drawn with a mix that needs what lies under it or not
            const POINT at{Int(0, kW - 20), Int(8, kH)};
            static const uint8_t mixes[] = {13, 7, 9};
            Text(b, RECT{at.x, at.y - 14, at.x + 40, at.y + 4}, 1, {at, {at.x + 10, at.y}, {at.x + 20, at.y}}, u"AgW",
                 Colour(), mixes[Int(0, 2)]);
            return;
        }
        const int kinds = images ? 17 : 6;
        switch (Int(0, kinds - 1)) {
            case 0: RectFill(b, Box(), Brush()); break;
            case 1: Rect(b, Box(), Brush(), Int(0, 3) == 0 ? 60 + Int(0, 1) : 0, Clip(), Mix()); break;
            case 2: PathCmd(b, 50 + Int(0, 1), Brush(), Int(0, 2) == 0 ? 60 : 0, Clip(), Mix()); break;
            case 3: Line(b, {Int(0, kW), Int(0, kH)}, {Int(0, kW), Int(0, kH)}, 60 + Int(0, 1), Clip(), Mix()); break;
            case 4: {  // a solid rectangle under a clip shape, and a sandwich-like run
                const RECT r = Box();
                Rect(b, r, Colour(), 0, 2, 13);
                break;
            }
            case 5: {  // a sandwich: XOR or XNOR, black or white shapes or a pattern ANDed in (inside or
                // not), the same again
                const RECT outer = Box();
                const uint32_t brush = Brush(), mix = Int(0, 1) ? 7 : 10;
                Rect(b, outer, brush, 0, 0, mix);
                const bool pattern = mix == 7 && Int(0, 1) == 0;  // a black-and-white pattern ANDed in
                for (int i = Int(1, 3); i > 0; --i) {
                    RECT r{Int(outer.left - 2, outer.right), Int(outer.top - 2, outer.bottom), 0, 0};
                    r.right = r.left + Int(1, 10), r.bottom = r.top + Int(1, 10);
                    if (pattern) {
                        if (Int(0, 3) == 0) PathCmd(b, 52, 40, 0, Clip(), 9);
                        else Rect(b, r, 40, 0, Clip(), 9);
                    } else if (Int(0, 3) == 0) PathCmd(b, 52, Int(0, 1) ? 0x80000000 : 0x80FFFFFF, 0, Clip(), 13);
                    else if (Int(0, 2) == 0) Rect(b, r, Int(0, 1) ? 0x80000000 : 0x80FFFFFF, 0, Clip(), 13);
                    else RectFill(b, r, Int(0, 1) ? 0x80000000 : 0x80FFFFFF);
                }
                Rect(b, outer, Int(0, 4) ? brush : Colour(), 0, 0, mix);
                break;
            }
            case 6: {  // a run of copies that abut along a row or a column
                const bool row = Int(0, 1) == 0;
                RECT r = Box();
                r.right = r.left + Int(2, 12), r.bottom = r.top + Int(2, 12);
                const uint32_t bitmap = Int(0, 1) ? 71 : 72;
                for (int i = Int(1, 4); i > 0; --i) {
                    BitBlt(b, r, Source(), bitmap, 0xCCCC, Int(0, 4) == 0 ? 1 : 0);
                    const LONG w = r.right - r.left, h = r.bottom - r.top;
                    if (row) r.left += w, r.right += w;
                    else r.top += h, r.bottom += h;
                }
                break;
            }
            case 7: {
                static const uint32_t rops[] = {0xCCCC, 0x6666, 0x8888, 0xEEEE, 0x3333, 0xB8B8, 0xE2E2, 0x5A5A};
                BitBlt(b, Box(), Source(), Int(0, 1) ? 71 : 72, rops[Int(0, 7)], Clip(),
                       Int(0, 2) == 0 ? 0x800000FF : 0);
                break;
            }
            case 9: {  // a fill through a mask: XOR fill, AND of a black-and-white bitmap, the fill again
                const RECT outer = Box();
                const uint32_t brush = Brush();
                Rect(b, outer, brush, 0, 0, 7);
                for (int i = Int(1, 2); i > 0; --i) {
                    RECT r{Int(outer.left - 2, outer.right), Int(outer.top - 2, outer.bottom), 0, 0};
                    r.right = r.left + Int(1, 12), r.bottom = r.top + Int(1, 12);
                    BitBlt(b, r, Source(), 71, 0x8888, Int(0, 4) == 0 ? Clip() : 0);
                }
                Rect(b, outer, brush, 0, 0, 7);
                break;
            }
            case 12: {  // XOR a picture, AND a mask on it (or beside it), XOR the picture again
                const bool stretch = Int(0, 1) == 0;
                const uint32_t picture = Int(0, 1) ? 71 : 72, mask = Int(0, 1) ? 71 : 73;
                const int pairs = Int(1, 2);
                RECT boxes[2];
                POINT sources[2];
                for (int i = 0; i < pairs; ++i) {
                    boxes[i] = Box();
                    boxes[i].right = std::min(boxes[i].right, boxes[i].left + 28);
                    boxes[i].bottom = std::min(boxes[i].bottom, boxes[i].top + 22);
                    sources[i] = Source();
                }
                auto blit = [&](RECT d, POINT s, uint32_t bitmap, uint32_t rop) {
                    if (stretch)
                        StretchBlt(b, {s.x, s.y, s.x + d.right - d.left, s.y + d.bottom - d.top}, d, bitmap,
                                   uint16_t(rop));
                    else BitBlt(b, d, s, bitmap, rop);
                };
                for (int i = 0; i < pairs; ++i) blit(boxes[i], sources[i], picture, 0x6666);
                for (int i = 0; i < pairs; ++i) {
                    RECT d = boxes[i];
                    if (Int(0, 5) == 0) d.left += 1, d.right += 1;
                    blit(d, Source(), mask, 0x8888);
                }
                for (int i = 0; i < pairs; ++i) blit(boxes[i], sources[i], Int(0, 6) ? picture : 72, 0x6666);
                break;
            }
            case 13: {  // AND a mask, then OR a picture (often the mask's negative, which is black
                // where the mask is white), either or both stretched
                const uint32_t mask = Int(0, 1) ? 71 : 73;
                const uint32_t picture = Int(0, 3) == 0 ? (Int(0, 1) ? 72 : 71) : mask == 71 ? 74 : 75;
                const RECT d = Box();
                const POINT s = Source(), t = Int(0, 3) ? s : Source();
                const RECT e = Int(0, 5) ? d : Box();
                if (Int(0, 1)) {
                    BitBlt(b, d, s, mask, 0x8888);
                    BitBlt(b, e, t, picture, 0xEEEE);
                } else {
                    StretchBlt(b, {s.x, s.y, s.x + 20, s.y + 16}, d, mask, 0x8888);
                    StretchBlt(b, {t.x, t.y, t.x + 20, t.y + 16}, e, picture, 0xEEEE);
                }
                break;
            }
            case 15: {  // XOR pictures, AND of a black-and-white pattern (inside them or not), the same again
                const int pictures = Int(1, 2);
                RECT boxes[2];
                POINT sources[2];
                bool stretch[2];
                uint32_t bitmaps[2];
                for (int i = 0; i < pictures; ++i) {
                    boxes[i] = Box();
                    sources[i] = Source();
                    stretch[i] = Int(0, 2) == 0;
                    bitmaps[i] = Int(0, 1) ? 71 : 72;
                }
                auto picture = [&](int i) {
                    const RECT d = boxes[i];
                    const POINT s = sources[i];
                    if (stretch[i]) StretchBlt(b, {s.x, s.y, s.x + 13, s.y + 9}, d, bitmaps[i], 0x6666);
                    else BitBlt(b, d, s, bitmaps[i], 0x6666);
                };
                for (int i = 0; i < pictures; ++i) picture(i);
                for (int k = Int(1, 2); k > 0; --k) {
                    const RECT& outer = boxes[Int(0, pictures - 1)];
                    RECT r{Int(outer.left - 1, outer.right - 1), Int(outer.top - 1, outer.bottom - 1), 0, 0};
                    r.right = std::min<LONG>(r.left + Int(1, 12), outer.right + Int(0, 4) / 4);
                    r.bottom = std::min<LONG>(r.top + Int(1, 12), outer.bottom);
                    if (r.right <= r.left) r.right = r.left + 1;
                    if (Int(0, 4) == 0) PathCmd(b, 52, 40, 0, 0, 9);
                    else
                        b.Add("cmd_rect", {{"left", r.left},
                                           {"top", r.top},
                                           {"right", r.right},
                                           {"bottom", r.bottom},
                                           {"brush_x", Int(-3, 3)},
                                           {"brush_y", Int(-3, 3)},
                                           {"brush", 40},
                                           {"pen", 0},
                                           {"clip", Int(0, 5) == 0 ? Clip() : 0},
                                           {"mix", 9}});
                }
                for (int i = 0; i < pictures; ++i) picture(i);
                break;
            }
            case 16: {  // OR a black-and-white picture, then AND a picture (often white where the
                // first is black); or AND a mask, then OR a deeper picture
                const RECT d = Box();
                const POINT s = Source(), t = Int(0, 3) ? s : Source();
                const RECT e = Int(0, 5) ? d : Box();
                const bool maskFirst = Int(0, 3) == 0;
                const uint32_t first = maskFirst ? 71 : (Int(0, 1) ? 71 : 77);
                const uint32_t second = maskFirst ? (Int(0, 3) ? 78 : 72) : (Int(0, 4) == 0 ? 72 : Int(0, 1) ? 74 : 76);
                const uint16_t firstRop = maskFirst ? 0x8888 : 0xEEEE, secondRop = maskFirst ? 0xEEEE : 0x8888;
                if (Int(0, 1)) {
                    BitBlt(b, d, s, first, firstRop);
                    BitBlt(b, e, t, second, secondRop);
                } else {
                    StretchBlt(b, {s.x, s.y, s.x + 20, s.y + 16}, d, first, firstRop);
                    StretchBlt(b, {t.x, t.y, t.x + 20, t.y + 16}, e, second, secondRop);
                }
                break;
            }
            case 10:
                AlphaBlend(b, {Int(0, 10), Int(0, 10), Int(12, 40), Int(12, 30)}, Box(), 72, uint8_t(Int(1, 255)));
                break;
            case 11:
                TransparentBlt(b, {Int(0, 10), Int(0, 10), Int(12, 40), Int(12, 30)}, Box(), Int(0, 1) ? 71 : 72,
                               0xFFFFFF);
                break;
            case 8: CopyBits(b, Box(), Source(), Int(0, 1) ? 71 : 72, Int(0, 3) == 0 ? 1 : 0); break;
            default: {
                const RECT s{Int(0, 10), Int(0, 10), Int(12, 40), Int(12, 30)};
                StretchBlt(b, s, Box(), Int(0, 1) ? 71 : 72, Int(0, 2) ? 0xCCCC : 0x6666, Clip());
                break;
            }
        }
    }
};

// How often the merges that make sources applied: pictures copied through a pattern (brush
// sources), pairs with the black-and-white picture first, and deeper pictures after their mask.
struct MergeCounts {
    int pattern = 0, pictureFirst = 0, deeperPicture = 0;
    int maskRoadLists = 0;  // lists with images that the mask road could draw
};

// Whether the mask road can draw every command of the list: none is left to be drawn as part of
// its level's image.
bool MaskRoadDraws(DisplayJob& job)
{
    for (CmdNode* n : job.Nodes()) {
        uint32_t colour = 0;
        uint8_t hint = 0;
        const int c = CmdSlotColorClass(n, &colour, &hint, 0);
        if (n->op == CmdOpComplex || (c != CMD_COLOR_SOLID && c != CMD_COLOR_DRAW_RESTORE && c != CMD_COLOR_DIRECT))
            return false;
    }
    return true;
}

void Count(CmdList* list, MergeCounts* counts)
{
    for (CmdNode* n = CmdListFirst(list); n != CmdListEnd(list); n = n->next) {
        if (n->op == CmdOpComplex) Count(&reinterpret_cast<CmdComplexNode*>(n)->inner, counts);
        if (n->op != CmdOpBitBlt && n->op != CmdOpStretchBlt) continue;
        const auto* image = reinterpret_cast<const CmdImageNode*>(n);
        if (image->source == nullptr || image->rop != 0xCCCC) continue;
        if (image->source->kind == SourceKindBrush) ++counts->pattern;
        else if (reinterpret_cast<const SourceBitmap*>(image->source)->foreground == 1) ++counts->pictureFirst;
        else if (image->bitmap->head.id == 78) ++counts->deeperPicture;
    }
}

TEST(OptimiserPixels, RandomListsDrawTheSamePage)
{
    MergeCounts counts;
    for (bool images : {false, true}) {
        for (uint32_t seed = 1; seed <= 60; ++seed) {
            for (uint32_t direction : {0u, 2u}) {
                SCOPED_TRACE("seed " + std::to_string(seed) + (images ? " with images" : "") + " direction " +
                             std::to_string(direction));
                Generator g{std::mt19937(seed), images};
                DisplayJob job(256, IMO_OPTION_THINLINE_HINTS);
                job.spill = true;
                SpoolBuilder b;
                g.Resources(b);
                const int count = g.Int(4, 24);
                for (int i = 0; i < count; ++i) g.Command(b);
                ASSERT_EQ(job.Read(b), 1);
                const Image before = DrawRoad(job, kW, kH, kUnit, kH);
                BandIterator iterator{};
                iterator.direction = direction;
                ASSERT_EQ(CmdListOptimize(&job.list, 0, &iterator), 1);
                Count(&job.list, &counts);
                for (int band : {kH, 9, 4}) {
                    SCOPED_TRACE(band);
                    EXPECT_EQ(Diff(DrawRoad(job, kW, kH, kUnit, band), before), "");
                    if (!images || MaskRoadDraws(job)) {
                        EXPECT_EQ(Diff(MaskRoad(job, kW, kH, kUnit, band), before), "");
                        if (images && band == kH) ++counts.maskRoadLists;
                    }
                }
            }
        }
    }
    std::printf(
        "merges applied: %d pictures through a pattern, %d picture-first pairs, %d deeper pictures after a mask; "
        "%d lists with images also drawn by the mask road\n",
        counts.pattern, counts.pictureFirst, counts.deeperPicture, counts.maskRoadLists);
    EXPECT_GE(counts.pattern, 10);
    EXPECT_GE(counts.pictureFirst, 10);
    EXPECT_GE(counts.deeperPicture, 5);
}

}  // namespace
