// Rect, Path and Line commands drawn through GDI leave the band's DC as they found it: no brush,
// pen or clip of theirs stays selected, and the mix, fill mode, brush origin and miter limit are
// what they were, so that no later command's pixels depend on what was drawn before it.
#include <gtest/gtest.h>

#include <string>

#include "engine/band/band_plan.h"
#include "engine/band/band_surface.h"
#include "engine/display/brush_store.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/optimiser.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "tests/display/band_roads.h"
#include "tests/display/command_records.h"
#include "tests/display/display_fixture.h"

namespace {

using namespace records;

constexpr int kW = 64, kH = 40;
constexpr uint32_t kRed = 0x800000FF;

struct DcState {
    int mix, fillMode;
    POINT brushOrigin;
    RECT clipBox;
    float miterLimit;
};

DcState StateOf(HDC dc)
{
    DcState s{GetROP2(dc), GetPolyFillMode(dc), {}, {}, 0};
    GetBrushOrgEx(dc, &s.brushOrigin);
    GetClipBox(dc, &s.clipBox);
    GetMiterLimit(dc, &s.miterLimit);
    return s;
}

void ExpectSame(const DcState& got, const DcState& want)
{
    EXPECT_EQ(got.mix, want.mix);
    EXPECT_EQ(got.fillMode, want.fillMode);
    EXPECT_EQ(got.brushOrigin.x, want.brushOrigin.x);
    EXPECT_EQ(got.brushOrigin.y, want.brushOrigin.y);
    EXPECT_EQ(got.clipBox, want.clipBox);
    EXPECT_EQ(got.miterLimit, want.miterLimit);
}

TEST(ShapeLeftState, RectPathAndLinePutTheBandDcBack)
{
    struct Case {
        const char* name;
        void (*build)(SpoolBuilder& b);
        bool optimise;  // the command is what the optimiser makes of the list
    };
    const Case cases[] = {
        {"rect with a wide pen under XOR, clipped",
         [](SpoolBuilder& b) { Rect(b, {4, 4, 40, 30}, kRed, 61, 2, 7); }, false},
        {"rect with a pattern laid from its own origin",
         [](SpoolBuilder& b) {
             b.Add("cmd_rect", {{"left", 4}, {"top", 4}, {"right", 40}, {"bottom", 30}, {"brush_x", 3},
                                {"brush_y", 5}, {"brush", 40}, {"pen", 0}, {"clip", 0}, {"mix", 13}});
         },
         false},
        {"rect with a colour through a pattern mask",
         [](SpoolBuilder& b) {
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
             b.Add("cmd_rect", {{"left", 6}, {"top", 6}, {"right", 30}, {"bottom", 20}, {"brush_x", 3},
                                {"brush_y", 5}, {"brush", 40}, {"pen", 0}, {"clip", 0}, {"mix", 9}});
             Rect(b, {4, 4, 40, 30}, kRed, 0, 0, 7);
         },
         true},
        {"path filled by winding and outlined, clipped",
         [](SpoolBuilder& b) {
             b.Add("cmd_path", {{"brush_x", 2}, {"brush_y", 1}, {"pen", 61}, {"brush", 40}, {"clip", 2}, {"path", 50},
                                {"mix", 6}, {"fill_mode", 2}});
         },
         false},
        {"path through a pattern mask",
         [](SpoolBuilder& b) {
             Rect(b, {0, 0, 50, 40}, kRed, 0, 0, 7);
             b.Add("cmd_path", {{"brush_x", 2}, {"brush_y", 1}, {"pen", 0}, {"brush", 40}, {"clip", 0}, {"path", 50},
                                {"mix", 9}, {"fill_mode", 2}});
             Rect(b, {0, 0, 50, 40}, kRed, 0, 0, 7);
         },
         true},
        {"dashed line, clipped", [](SpoolBuilder& b) { Line(b, {2, 3}, {50, 33}, 62, 2, 7); }, false},
        {"line with a pattern pen", [](SpoolBuilder& b) { Line(b, {2, 30}, {60, 3}, 63, 0, 13); }, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        MonoBitmap(b, 70, 8, 8, 1);
        b.Add("brush", {{"id", 40}, {"bitmap", 70}});
        b.Add("pen", {{"id", 61}, {"style", 0}, {"width", 3}, {"miter_limit", 3}, {"brush", 0x800000FF}});
        b.Add("pen", {{"id", 62}, {"style", 1}, {"width", 1}, {"brush", 0x80000000}});
        b.Add("pen", {{"id", 63}, {"style", 0}, {"width", 2}, {"brush", 40}});
        ClipRecord(b, 2, {0, 0, kW, kH}, {{0, 0, kW, 12}, {0, 12, 30, kH}});
        Path(b, 50, {{{4, 2}, {40, 30}, {2, 20}, {30, 4}, {10, 34}}});
        c.build(b);
        ASSERT_EQ(job.Read(b), 1);
        if (c.optimise) {
            BandIterator iterator{};
            ASSERT_EQ(CmdListOptimize(&job.list, 1, &iterator), 1);
            ASSERT_FALSE(job.Nodes().empty());
            EXPECT_TRUE(BrushHasMask(CmdRow(job.Nodes()[0]).brushGet(job.Nodes()[0]))) << "the colour through the mask";
        }
        // A rect with a real pen is read as the simpler commands it is drawn by: each is checked.
        for (CmdNode* node : job.Nodes()) {
            ASSERT_TRUE(node->op == CmdOpRect || node->op == CmdOpPath || node->op == CmdOpLine ||
                        node->op == CmdOpRectFill)
                << CmdOpNameGet(node->op);
        }
        for (int road = 0; road < 2; ++road) {
            SCOPED_TRACE(road == 0 ? "draw" : "draw and restore");
            BandSurface* s = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{kW, 16}, nullptr, 0, 0);
            ASSERT_NE(s, nullptr);
            MapSet(s, Mapping{1}, 12);
            const DcState fresh = StateOf(s->drawDC);
            const RECT band = BandLogical(Mapping{1}, kW, 12, 16);
            for (CmdNode* node : job.Nodes()) {
                SCOPED_TRACE(CmdOpNameGet(node->op));
                if (road == 0) {
                    CmdSlotDraw(node, job.store, s, &band, nullptr);
                } else {
                    CmdRow(node).drawRestore(node, job.store, s, &band, nullptr);
                }
                ExpectSame(StateOf(s->drawDC), fresh);
                EXPECT_EQ(s->selectedBrush, nullptr);
                EXPECT_EQ(s->selectedClip, nullptr);
                EXPECT_EQ(s->selectedPen, nullptr);
                EXPECT_EQ(s->miterLimitChanged, 0);
            }
            BandSurfaceDestroy(s);
        }
    }
}

}  // namespace
