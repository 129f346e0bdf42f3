// Image commands do not take state that earlier commands left in the band's DC. A BitBlt or
// StretchBlt whose ROP reads the brush but that names none paints with a fresh DC's brush, white;
// a copy whose source reaches out of its bitmap is not cut by a clip an earlier command selected.
// However the page is cut into bands, against per-pixel references.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"
#include "tests/support/rop3_model.h"

namespace {

using namespace records;

constexpr int kW = 48, kH = 36;
constexpr uint32_t kRed = 0x800000FF, kGreen = 0x8000FF00;

// The 1-bit bitmap that MonoBitmap writes: bit 1 is white.
bool MonoWhite(int w, uint32_t seed, int x, int y)
{
    const int stride = ((w + 31) / 32) * 4;
    uint32_t v = seed * 2654435761u + 1;
    uint8_t byte = 0;
    for (int i = 0; i <= y * stride + x / 8; ++i) {
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        byte = uint8_t(v);
    }
    return (byte >> (7 - x % 8)) & 1;
}

TEST(ImageLeftState, ARopThatReadsTheBrushWithoutOnePaintsWhiteInEveryBandCut)
{
    struct Case {
        const char* name;
        uint32_t rop;
        bool stretch;
    };
    const Case cases[] = {
        {"brush through black (0xB8B8)", 0xB8B8, false},  {"brush through white (0xE2E2)", 0xE2E2, false},
        {"brush or source (0xFCFC)", 0xFCFC, false},      {"brush xor destination (0x5A5A)", 0x5A5A, false},
        {"stretched, brush through black", 0xB8B8, true},
    };
    const RECT target{6, 5, 38, 29};
    const POINT from{3, 2};
    // Commands before it that select brushes of their own, some in every band and some in few.
    auto before = [](SpoolBuilder& b) {
        MonoBitmap(b, 71, 40, 30, 5);
        MonoBitmap(b, 70, 8, 8, 1);
        b.Add("brush", {{"id", 40}, {"bitmap", 70}});
        RectFill(b, {0, 0, kW, kH}, kGreen);
        Rect(b, {2, 2, 20, 12}, kRed, 0, 0, 13);
        Rect(b, {10, 20, 44, 34}, 40, 0, 0, 13);
        BitBlt(b, {0, 14, 10, 20}, {0, 0}, 71, 0xB8B8, 0, kRed);
        Path(b, 50, {{{30, 2}, {46, 8}, {34, 16}}});
        PathCmd(b, 50, kRed, 0, 0, 13);
        LogFont(b, 1, "Liberation Sans", -14);
        Text(b, RECT{4, 18, 44, 34}, 1, {{4, 30}, {14, 30}, {24, 30}}, u"AgW", kGreen, 13);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // The page before the command, drawn whole, then the command applied per pixel.
        DisplayJob earlier;
        earlier.spill = true;
        SpoolBuilder p;
        before(p);
        ASSERT_EQ(earlier.Read(p), 1);
        Image want = DrawRoad(earlier, kW, kH, Mapping{1}, kH);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        before(b);
        if (c.stretch) {
            StretchBlt(b, {from.x, from.y, from.x + target.right - target.left, from.y + target.bottom - target.top},
                       target, 71, uint16_t(c.rop));
        } else {
            BitBlt(b, target, from, 71, c.rop);
        }
        ASSERT_EQ(job.Read(b), 1);
        for (int y = target.top; y < target.bottom; ++y)
            for (int x = target.left; x < target.right; ++x) {
                const uint32_t s = MonoWhite(40, 5, from.x + x - target.left, from.y + y - target.top) ? 0xFFFFFF : 0;
                want.at(x, y) = Rop3(uint8_t(c.rop), 0xFFFFFF, s, want.at(x, y), 24);  // a white brush
            }
        for (int band : {kH, 7, 3}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(Diff(DrawRoad(job, kW, kH, Mapping{1}, band), want), "");
            if (c.rop == 0xB8B8 || c.rop == 0xE2E2) {
                EXPECT_EQ(Diff(MaskRoad(job, kW, kH, Mapping{1}, band), want), "");
            }
        }
    }
}

// A clipped rectangle leaves its clip selected; a copy reaching out of its bitmap after it copies
// every pixel that lies in the bitmap and leaves the rest.
TEST(ImageLeftState, ACopyReachingOutOfItsBitmapIsNotCutByAnEarlierClip)
{
    struct Case {
        const char* name;
        bool copyBits;
        POINT source;
    };
    const Case cases[] = {
        {"CopyBits reaching below", true, {2, 12}},
        {"CopyBits reaching right", true, {20, 1}},
        {"BitBlt reaching below", false, {0, 14}},
    };
    const RECT target{6, 4, 36, 28};
    auto before = [](SpoolBuilder& b) {
        MonoBitmap(b, 71, 40, 30, 5);
        RectFill(b, {0, 0, kW, kH}, kGreen);
        ClipRecord(b, 2, {0, 0, 12, 10}, {{0, 0, 12, 10}});
        Rect(b, {0, 0, 30, 30}, kRed, 0, 2, 13);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob earlier;
        earlier.spill = true;
        SpoolBuilder p;
        before(p);
        ASSERT_EQ(earlier.Read(p), 1);
        Image want = DrawRoad(earlier, kW, kH, Mapping{1}, kH);
        for (int y = target.top; y < target.bottom; ++y)
            for (int x = target.left; x < target.right; ++x) {
                const int sx = c.source.x + x - target.left, sy = c.source.y + y - target.top;
                if (sx < 40 && sy < 30) want.at(x, y) = MonoWhite(40, 5, sx, sy) ? 0xFFFFFF : 0;
            }
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        before(b);
        if (c.copyBits) CopyBits(b, target, c.source, 71);
        else BitBlt(b, target, c.source, 71, 0xCCCC);
        ASSERT_EQ(job.Read(b), 1);
        for (int band : {kH, 7, 3}) {
            SCOPED_TRACE(band);
            EXPECT_EQ(Diff(DrawRoad(job, kW, kH, Mapping{1}, band), want), "");
        }
    }
}

}  // namespace
