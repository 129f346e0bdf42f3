// The display list optimiser on small lists whose outcome is known: a second run changes nothing,
// thin marking, the white fills under the bottom level, joined copies per band direction, clipped
// rectangles, sandwiches and Complex commands. Every rewritten list must also draw the page it
// drew before, which the band roads check pixel by pixel.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_blts.h"
#include "engine/display/commands/cmd_complex.h"
#include "engine/display/form_level.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/include/rastrel/imo.h"
#include "engine/raster/band_plan.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/command_records.h"
#include "tests/support/display_job.h"

namespace {

using namespace records;

constexpr uint32_t kBlack = 0x80000000, kWhite = 0x80FFFFFF, kRed = 0x800000FF, kGreen = 0x8000FF00;
constexpr int kW = 64, kH = 48;
const Mapping kUnit{1};

// A list as text: kind, bounds and thin mark of every node, a Complex with its inner list.
std::string Shape(CmdList* list)
{
    std::string out;
    for (CmdNode* n = CmdListFirst(list); n != CmdListEnd(list); n = n->next) {
        const RECT& b = n->bounds;
        out += std::string(CmdOpNameGet(n->op) + 5) + "(" + std::to_string(b.left) + "," + std::to_string(b.top) + "," +
               std::to_string(b.right) + "," + std::to_string(b.bottom) + ")";
        if (n->flags & CMD_FLAG_THIN) out += "t";
        if (n->op == CmdOpBlts) out += "x" + std::to_string(reinterpret_cast<BltsNode*>(n)->count);
        if (CmdSlotFilled(n->op, CmdSlotRopGet) && CmdRopGet(n) != 0xCCCC) {
            char rop[8];
            snprintf(rop, sizeof rop, "%x", CmdRopGet(n));
            out += rop;
        }
        if (n->op == CmdOpComplex) out += "[" + Shape(&reinterpret_cast<CmdComplexNode*>(n)->inner) + "]";
        out += " ";
    }
    return out;
}

int Optimise(DisplayJob& job, uint32_t level = 0, uint32_t direction = 0)
{
    BandIterator iterator{};
    iterator.direction = direction;
    return CmdListOptimize(&job.list, level, &iterator);
}

// The page the list draws through GDI, the way it is read, at two band heights.
void ExpectSamePage(DisplayJob& job, const Image& before, bool maskRoad = true)
{
    for (int band : {kH, 7}) {
        SCOPED_TRACE(band);
        EXPECT_EQ(Diff(DrawRoad(job, kW, kH, kUnit, band), before), "");
        if (maskRoad) {
            EXPECT_EQ(Diff(MaskRoad(job, kW, kH, kUnit, band), before), "");
        }
    }
}

TEST(Optimiser, ThinMarksOnlyLoneHairlineRectangles)
{
    struct Case {
        const char* name;
        uint32_t options;
        std::vector<RECT> fills;
        std::string shape;
    };
    const Case cases[] = {
        {"lone bar", IMO_OPTION_THINLINE_HINTS, {{2, 10, 40, 11}}, "RectFill(2,10,40,11)t "},
        {"two pixels is still thin", IMO_OPTION_THINLINE_HINTS, {{2, 10, 40, 12}}, "RectFill(2,10,40,12)t "},
        {"three is not", IMO_OPTION_THINLINE_HINTS, {{2, 10, 40, 13}}, "RectFill(2,10,40,13) "},
        {"between touching fills",
         IMO_OPTION_THINLINE_HINTS,
         {{2, 5, 40, 10}, {2, 10, 40, 11}, {2, 11, 40, 20}},
         "RectFill(2,5,40,10) RectFill(2,10,40,11) RectFill(2,11,40,20) "},
        {"no hints: T = 0",
         0,
         {{2, 5, 40, 10}, {2, 10, 40, 11}, {2, 11, 40, 20}},
         "RectFill(2,5,40,10) RectFill(2,10,40,11) RectFill(2,11,40,20) "},
        {"no hints, lone bar", 0, {{2, 10, 40, 11}}, "RectFill(2,10,40,11) "},
        {"vertical bar",
         IMO_OPTION_THINLINE_HINTS,
         {{20, 2, 21, 40}, {30, 2, 60, 40}},
         "RectFill(20,2,21,40)t RectFill(30,2,60,40) "},
        {"vertical bar touching at its side",
         IMO_OPTION_THINLINE_HINTS,
         {{20, 2, 21, 40}, {21, 2, 60, 40}},
         "RectFill(20,2,21,40) RectFill(21,2,60,40) "},
        {"horizontal bar touching at its side is thin",
         IMO_OPTION_THINLINE_HINTS,
         {{2, 10, 20, 11}, {20, 10, 40, 20}},
         "RectFill(2,10,20,11)t RectFill(20,10,40,20) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job(256, c.options);
        SpoolBuilder b;
        for (size_t i = 0; i < c.fills.size(); ++i) RectFill(b, c.fills[i], i % 2 ? kRed : kBlack);
        ASSERT_EQ(job.Read(b), 1);
        EXPECT_EQ(Optimise(job), 1);
        EXPECT_EQ(Shape(&job.list), c.shape);
    }
}

TEST(Optimiser, WhiteFillsAtTheStartOfTheBottomLevelGo)
{
    struct Case {
        uint32_t level;
        std::string shape;
    };
    const Case cases[] = {
        {0, "RectFill(0,0,20,20) RectFill(5,5,30,30) "},
        {1, "RectFill(0,0,64,48) RectFill(2,2,10,10) RectFill(0,0,20,20) RectFill(5,5,30,30) "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.level);
        DisplayJob job;
        SpoolBuilder b;
        RectFill(b, {0, 0, 64, 48}, kWhite);
        RectFill(b, {2, 2, 10, 10}, kWhite);
        RectFill(b, {0, 0, 20, 20}, kBlack);
        RectFill(b, {5, 5, 30, 30}, kWhite);  // not at the start: it covers black
        ASSERT_EQ(job.Read(b), 1);
        const Image before = DrawRoad(job, kW, kH, kUnit, kH);
        EXPECT_EQ(Optimise(job, c.level), 1);
        EXPECT_EQ(Shape(&job.list), c.shape);
        ExpectSamePage(job, before);
    }
}

TEST(Optimiser, AbuttingCopiesJoinAlongTheBandDirection)
{
    struct Case {
        const char* name;
        std::vector<RECT> destinations;
        uint32_t direction;
        std::string shape;
    };
    const std::vector<RECT> row = {{4, 6, 14, 16}, {14, 6, 24, 16}, {24, 6, 34, 16}};
    const std::vector<RECT> leftward = {{24, 6, 34, 16}, {14, 6, 24, 16}, {4, 6, 14, 16}};
    const std::vector<RECT> column = {{4, 6, 14, 16}, {4, 16, 14, 26}, {4, 26, 14, 36}};
    const Case cases[] = {
        {"row, horizontal bands", row, 0, "Blts(4,6,34,16)x3 "},
        {"row, bands going up", row, 1, "Blts(4,6,34,16)x3 "},
        {"row leftward", leftward, 0, "Blts(4,6,34,16)x3 "},
        {"row, vertical bands", row, 2, "BitBlt(4,6,14,16) BitBlt(14,6,24,16) BitBlt(24,6,34,16) "},
        {"column, vertical bands", column, 3, "Blts(4,6,14,36)x3 "},
        {"column, horizontal bands", column, 0, "BitBlt(4,6,14,16) BitBlt(4,16,14,26) BitBlt(4,26,14,36) "},
        {"a gap ends the run",
         {{4, 6, 14, 16}, {14, 6, 24, 16}, {25, 6, 35, 16}},
         0,
         "Blts(4,6,24,16)x2 BitBlt(25,6,35,16) "},
        {"a turn ends the run",
         {{14, 6, 24, 16}, {24, 6, 34, 16}, {4, 6, 14, 16}},
         0,
         "Blts(14,6,34,16)x2 BitBlt(4,6,14,16) "},
        {"other rows", {{4, 6, 14, 16}, {14, 7, 24, 17}}, 0, "BitBlt(4,6,14,16) BitBlt(14,7,24,17) "},
    };
    for (bool colour : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (colour ? ", colour" : ", black and white"));
            DisplayJob job;
            job.spill = true;
            SpoolBuilder b;
            if (colour) ColourBitmap(b, 71, 30, 20, 3);
            else MonoBitmap(b, 71, 30, 20, 3);
            for (size_t i = 0; i < c.destinations.size(); ++i)
                BitBlt(b, c.destinations[i], {LONG(3 * i), LONG(i)}, 71, 0xCCCC);
            ASSERT_EQ(job.Read(b), 1);
            const Image before = DrawRoad(job, kW, kH, kUnit, kH);
            EXPECT_EQ(Optimise(job, 0, c.direction), 1);
            EXPECT_EQ(Shape(&job.list), c.shape);
            // Plain copies are rendered straight into the band's format, which the mask road does not do.
            ExpectSamePage(job, before, false);
        }
    }
}

TEST(Optimiser, MixedCopyKindsJoinAndOthersDoNot)
{
    DisplayJob job;
    job.spill = true;
    SpoolBuilder b;
    MonoBitmap(b, 71, 40, 30, 5);
    ClipRecord(b, 3, {0, 0, 64, 48}, {});  // bounds only
    ClipRecord(b, 4, {0, 0, 64, 48}, {{0, 0, 64, 20}, {0, 20, 30, 48}});
    BitBlt(b, {2, 2, 12, 12}, {0, 0}, 71, 0xCCCC);
    CopyBits(b, {12, 2, 22, 12}, {5, 5}, 71);
    StretchBlt(b, {0, 0, 5, 5}, {22, 2, 32, 12}, 71, 0xCCCC, 3);
    BitBlt(b, {32, 2, 42, 12}, {0, 0}, 71, 0x8888);  // not a plain copy
    BitBlt(b, {2, 20, 12, 30}, {0, 0}, 71, 0xCCCC, 4);  // a clip with a shape
    BitBlt(b, {12, 20, 22, 30}, {0, 0}, 71, 0xCCCC);
    BitBlt(b, {22, 20, 32, 30}, {35, 25}, 71, 0xCCCC);  // reaches out of the bitmap
    ASSERT_EQ(job.Read(b), 1);
    const Image before = DrawRoad(job, kW, kH, kUnit, kH);
    EXPECT_EQ(Optimise(job), 1);
    EXPECT_EQ(Shape(&job.list),
              "Blts(2,2,32,12)x3 BitBlt(32,2,42,12)8888 BitBlt(2,20,12,30) BitBlt(12,20,22,30) "
              "BitBlt(22,20,32,30) ");
    ExpectSamePage(job, before, false);
}

TEST(Optimiser, SolidRectanglesUnderAClipShapeBecomeFills)
{
    struct Case {
        const char* name;
        std::initializer_list<RECT> clip;
        RECT rect;
        std::string shape;
    };
    const Case cases[] = {
        {"two pieces", {{0, 0, 64, 10}, {0, 10, 20, 30}, {30, 10, 64, 30}}, {5, 5, 40, 25}, "RectsFill(5,5,40,25) "},
        {"one piece", {{0, 0, 64, 10}, {0, 30, 64, 48}}, {5, 5, 40, 25}, "RectFill(5,5,40,10) "},
        {"pieces that stack join", {{0, 0, 64, 10}, {0, 10, 64, 30}}, {5, 5, 40, 25}, "RectFill(5,5,40,25) "},
        {"none", {{0, 0, 64, 4}, {0, 30, 64, 48}}, {5, 5, 40, 25}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        SpoolBuilder b;
        RectFill(b, {0, 0, 64, 48}, kGreen);
        ClipRecord(b, 5, {0, 0, 64, 48}, c.clip);
        Rect(b, c.rect, kRed, 0, 5, 13);
        ASSERT_EQ(job.Read(b), 1);
        const Image before = DrawRoad(job, kW, kH, kUnit, kH);
        EXPECT_EQ(Optimise(job), 1);
        EXPECT_EQ(Shape(&job.list), "RectFill(0,0,64,48) " + c.shape);
        ExpectSamePage(job, before);
    }
}

TEST(Optimiser, OverlappingComplexCandidatesBecomeOneComplex)
{
    DisplayJob job;
    SpoolBuilder b;
    RectFill(b, {0, 0, 30, 30}, kGreen);  // partly under: copied in
    RectFill(b, {50, 30, 60, 40}, kBlack);  // apart: stays
    RectFill(b, {12, 12, 18, 18}, kBlack);  // wholly under: moved in
    Rect(b, {10, 10, 20, 20}, kRed, 0, 0, 7);  // XOR
    Rect(b, {40, 40, 44, 44}, kRed, 0, 0, 7);  // XOR, apart: a Complex of its own
    Rect(b, {15, 15, 35, 25}, kGreen, 0, 0, 9);  // AND, overlapping the first XOR
    RectFill(b, {0, 0, 64, 2}, kBlack);  // after the candidates: untouched
    ASSERT_EQ(job.Read(b), 1);
    const Image before = DrawRoad(job, kW, kH, kUnit, kH);
    EXPECT_EQ(Optimise(job), 1);
    EXPECT_EQ(Shape(&job.list),
              "RectFill(0,0,30,30) RectFill(50,30,60,40) Complex(40,40,44,44)[Rect(40,40,44,44) ] "
              "Complex(10,10,35,25)[RectFill(0,0,30,30) RectFill(12,12,18,18) Rect(10,10,20,20) Rect(15,15,35,25) ] "
              "RectFill(0,0,64,2) ");
    ExpectSamePage(job, before);
}

TEST(Optimiser, ASecondRunChangesNothing)
{
    DisplayJob job(256, IMO_OPTION_THINLINE_HINTS);
    SpoolBuilder b;
    RectFill(b, {0, 0, 64, 48}, kWhite);
    RectFill(b, {2, 10, 40, 11}, kBlack);
    ClipRecord(b, 5, {0, 0, 64, 48}, {{0, 0, 64, 10}, {0, 10, 20, 30}});
    Rect(b, {5, 5, 40, 25}, kRed, 0, 5, 13);
    Rect(b, {10, 10, 20, 20}, kRed, 0, 0, 7);
    ASSERT_EQ(job.Read(b), 1);
    EXPECT_EQ(Optimise(job), 1);
    EXPECT_TRUE(job.list.flags & CMD_LIST_OPTIMISED);
    const std::string once = Shape(&job.list);
    EXPECT_EQ(Optimise(job), 1);
    EXPECT_EQ(Shape(&job.list), once);
}

}  // namespace

namespace {

TEST(Optimiser, SandwichesBecomeCopiesCutToTheirShapes)
{
    struct Case {
        const char* name;
        void (*build)(SpoolBuilder& b);
        std::string shape;
        bool images;
    };
    const Case cases[] = {
        {"XOR, black, XOR",
         [](SpoolBuilder& b) {
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             RectFill(b, {15, 15, 25, 25}, kBlack);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Rect(15,15,25,25) RectFill(0,40,64,48) ", false},
        {"XNOR, white, XNOR",
         [](SpoolBuilder& b) {
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 10);
             RectFill(b, {15, 15, 25, 25}, kWhite);
             RectFill(b, {30, 12, 38, 20}, kWhite);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 10);
         },
         "RectFill(0,0,64,48) Rect(15,15,25,25) Rect(30,12,38,20) RectFill(0,40,64,48) ", false},
        {"XNOR, white then black: left alone",
         [](SpoolBuilder& b) {
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 10);
             RectFill(b, {15, 15, 25, 25}, kWhite);
             RectFill(b, {30, 12, 38, 20}, kBlack);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 10);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) Rect(10,10,40,30) RectFill(15,15,25,25) "
         "RectFill(30,12,38,20) Rect(10,10,40,30) ] RectFill(0,40,64,48) ",
         false},
        {"shape beyond the picture: left alone",
         [](SpoolBuilder& b) {
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             RectFill(b, {35, 15, 45, 25}, kBlack);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) RectFill(35,15,45,25) Complex(10,10,40,30)[RectFill(0,0,64,48) Rect(10,10,40,30) "
         "RectFill(35,15,45,25) Rect(10,10,40,30) ] RectFill(0,40,64,48) ",
         false},
        {"another picture the second time: left alone",
         [](SpoolBuilder& b) {
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             RectFill(b, {15, 15, 25, 25}, kBlack);
             Rect(b, {10, 10, 40, 30}, kGreen, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) Rect(10,10,40,30) RectFill(15,15,25,25) "
         "Rect(10,10,40,30) ] RectFill(0,40,64,48) ",
         false},
        {"two pictures, a shape under each, one cut by a clip",
         [](SpoolBuilder& b) {
             ClipRecord(b, 9, {0, 0, 64, 48}, {{0, 0, 64, 18}, {0, 22, 64, 48}});
             Rect(b, {2, 10, 20, 30}, kRed, 0, 0, 7);
             Rect(b, {30, 10, 60, 30}, kGreen, 0, 0, 7);
             RectFill(b, {5, 12, 15, 28}, kBlack);
             Rect(b, {35, 12, 50, 28}, kBlack, 0, 9, 13);
             Rect(b, {2, 10, 20, 30}, kRed, 0, 0, 7);
             Rect(b, {30, 10, 60, 30}, kGreen, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Rect(5,12,15,28) Rect(35,12,50,28) RectFill(0,40,64,48) ", false},
        {"XOR, a black path, XOR",
         [](SpoolBuilder& b) {
             Path(b, 30, {{{14, 12}, {36, 16}, {20, 28}}});
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             PathCmd(b, 30, kBlack, 0, 0, 13);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Rect(15,13,36,28) RectFill(0,40,64,48) ", false},
        {"XOR copies, black, XOR copies",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             BitBlt(b, {10, 10, 40, 30}, {0, 0}, 71, 0x6666);
             RectFill(b, {15, 15, 25, 25}, kBlack);
             BitBlt(b, {10, 10, 40, 30}, {0, 0}, 71, 0x6666);
         },
         "RectFill(0,0,64,48) BitBlt(15,15,25,25) RectFill(0,40,64,48) ", true},
        {"XOR copy, AND of a mask on it, XOR copy",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             ColourBitmap(b, 72, 40, 30, 3);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 71, 0x8888);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) BitBlt(10,10,40,30) RectFill(0,40,64,48) ", true},
        {"two stretched pairs, one mask white first",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             MonoBitmap(b, 73, 40, 30, 6, true);
             ColourBitmap(b, 72, 40, 30, 3);
             StretchBlt(b, {0, 0, 10, 8}, {2, 2, 30, 20}, 72, 0x6666);
             StretchBlt(b, {5, 5, 30, 25}, {32, 10, 60, 38}, 72, 0x6666);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 71, 0x8888);
             StretchBlt(b, {0, 0, 25, 20}, {32, 10, 60, 38}, 73, 0x8888);
             StretchBlt(b, {0, 0, 10, 8}, {2, 2, 30, 20}, 72, 0x6666);
             StretchBlt(b, {5, 5, 30, 25}, {32, 10, 60, 38}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) StretchBlt(2,2,30,20) StretchBlt(32,10,60,38) RectFill(0,40,64,48) ", true},
        {"mask beside its copy: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             ColourBitmap(b, 72, 40, 30, 3);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
             BitBlt(b, {11, 10, 41, 30}, {5, 3}, 71, 0x8888);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) BitBlt(11,10,41,30)8888 Complex(10,10,40,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)6666 "
         "BitBlt(11,10,41,30)8888 BitBlt(10,10,40,30)6666 ] RectFill(0,40,64,48) ",
         true},
        {"AND of a mask, OR of its negative",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             MonoBitmap(b, 74, 40, 30, 4, true);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 71, 0x8888);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 74, 0xEEEE);
         },
         "RectFill(0,0,64,48) BitBlt(10,10,40,30) RectFill(0,40,64,48) ", true},
        {"two stretched masks, OR of their negatives",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             MonoBitmap(b, 74, 40, 30, 4, true);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 71, 0x8888);
             StretchBlt(b, {3, 3, 28, 23}, {32, 10, 60, 38}, 74, 0x8888);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 74, 0xEEEE);
             StretchBlt(b, {3, 3, 28, 23}, {32, 10, 60, 38}, 71, 0xEEEE);
         },
         "RectFill(0,0,64,48) StretchBlt(2,2,30,20) StretchBlt(32,10,60,38) RectFill(0,40,64,48) ", true},
        {"OR of a picture that is not black where the mask is white: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             MonoBitmap(b, 74, 40, 30, 4, true);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 71, 0x8888);
             BitBlt(b, {10, 10, 40, 30}, {6, 3}, 74, 0xEEEE);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)8888 "
         "BitBlt(10,10,40,30)eeee ] RectFill(0,40,64,48) ",
         true},
        {"OR a black-and-white picture, AND a picture white where it is black",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             ColourOverMono(b, 76, 4, -1, 0xFFFFFF);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 71, 0xEEEE);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 76, 0x8888);
         },
         "RectFill(0,0,64,48) BitBlt(10,10,40,30) RectFill(0,40,64,48) ", true},
        {"two 24-bit black-and-white pictures first, stretched",
         [](SpoolBuilder& b) {
             ColourOverMono(b, 77, 4, 0xFFFFFF, 0x000000);
             ColourOverMono(b, 76, 4, -1, 0xFFFFFF);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 77, 0xEEEE);
             StretchBlt(b, {3, 3, 28, 23}, {32, 10, 60, 38}, 77, 0xEEEE);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 76, 0x8888);
             StretchBlt(b, {3, 3, 28, 23}, {32, 10, 60, 38}, 76, 0x8888);
         },
         "RectFill(0,0,64,48) StretchBlt(2,2,30,20) StretchBlt(32,10,60,38) RectFill(0,40,64,48) ", true},
        {"AND of a picture not white where the first is black: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             ColourOverMono(b, 76, 4, -1, 0xFFFFFF);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 71, 0xEEEE);
             BitBlt(b, {10, 10, 40, 30}, {6, 3}, 76, 0x8888);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)eeee "
         "BitBlt(10,10,40,30)8888 ] RectFill(0,40,64,48) ",
         true},
        {"OR of a colour picture first: left alone",
         [](SpoolBuilder& b) {
             ColourOverMono(b, 78, 4, -1, 0x000000);
             ColourOverMono(b, 76, 4, -1, 0xFFFFFF);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 78, 0xEEEE);
             BitBlt(b, {10, 10, 40, 30}, {5, 3}, 76, 0x8888);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)eeee "
         "BitBlt(10,10,40,30)8888 ] RectFill(0,40,64,48) ",
         true},
        {"AND of a mask, OR of a 24-bit picture black where the mask is white",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             ColourOverMono(b, 78, 4, 0x000000, -1);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 71, 0x8888);
             StretchBlt(b, {1, 2, 11, 10}, {2, 2, 30, 20}, 78, 0xEEEE);
         },
         "RectFill(0,0,64,48) StretchBlt(2,2,30,20) RectFill(0,40,64,48) ", true},
        {"XOR colour, AND of a black-and-white pattern, XOR colour",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             Rect(b, {12, 12, 30, 26}, 40, 0, 0, 9);
             Path(b, 30, {{{24, 12}, {38, 16}, {30, 28}}});
             PathCmd(b, 30, 40, 0, 0, 9);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Rect(12,12,30,26) Rect(25,13,38,28) RectFill(0,40,64,48) ", false},
        {"XOR colour, AND of a colour pattern, XOR colour: left alone",
         [](SpoolBuilder& b) {
             ColourBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             Rect(b, {12, 12, 30, 26}, 40, 0, 0, 9);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) Rect(10,10,40,30) Rect(12,12,30,26) "
         "Rect(10,10,40,30) ] RectFill(0,40,64,48) ",
         false},
        {"XOR picture, AND of a black-and-white pattern, XOR picture",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             ColourBitmap(b, 72, 40, 30, 3);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
             b.Add("cmd_rect", {{"left", 12},
                                {"top", 12},
                                {"right", 30},
                                {"bottom", 26},
                                {"brush_x", 3},
                                {"brush_y", 5},
                                {"brush", 40},
                                {"pen", 0},
                                {"clip", 0},
                                {"mix", 9}});
             Path(b, 30, {{{24, 12}, {38, 16}, {30, 28}}});
             PathCmd(b, 30, 40, 0, 0, 9);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) BitBlt(12,12,30,26) BitBlt(25,13,38,28) RectFill(0,40,64,48) ", true},
        {"two stretched pictures and a fill, patterns on each",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             MonoBitmap(b, 71, 40, 30, 4);
             ColourBitmap(b, 72, 40, 30, 3);
             StretchBlt(b, {0, 0, 13, 9}, {2, 2, 30, 20}, 72, 0x6666);
             StretchBlt(b, {5, 5, 30, 25}, {32, 10, 60, 38}, 71, 0x6666);
             Rect(b, {2, 30, 20, 40}, kRed, 0, 0, 7);
             Rect(b, {4, 4, 26, 18}, 40, 0, 0, 9);
             Rect(b, {34, 12, 58, 30}, 40, 0, 0, 9);
             Rect(b, {3, 31, 19, 39}, 40, 0, 0, 9);
             StretchBlt(b, {0, 0, 13, 9}, {2, 2, 30, 20}, 72, 0x6666);
             StretchBlt(b, {5, 5, 30, 25}, {32, 10, 60, 38}, 71, 0x6666);
             Rect(b, {2, 30, 20, 40}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) StretchBlt(4,4,26,18) StretchBlt(34,12,58,30) Rect(3,31,19,39) RectFill(0,40,64,48) ",
         true},
        {"XOR picture, AND of a pattern reaching beyond it: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             ColourBitmap(b, 72, 40, 30, 3);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
             Rect(b, {12, 12, 44, 26}, 40, 0, 0, 9);
             BitBlt(b, {10, 10, 40, 30}, {2, 1}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) Complex(10,10,44,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)6666 Rect(12,12,44,26) "
         "BitBlt(10,10,40,30)6666 ] RectFill(0,40,64,48) ",
         true},
        {"XOR picture reaching out of its bitmap, AND of a pattern: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 70, 8, 8, 1);
             b.Add("brush", {{"id", 40}, {"bitmap", 70}});
             ColourBitmap(b, 72, 40, 30, 3);
             BitBlt(b, {10, 10, 40, 30}, {20, 1}, 72, 0x6666);
             Rect(b, {12, 12, 30, 26}, 40, 0, 0, 9);
             BitBlt(b, {10, 10, 40, 30}, {20, 1}, 72, 0x6666);
         },
         "RectFill(0,0,64,48) Complex(10,10,40,30)[RectFill(0,0,64,48) BitBlt(10,10,40,30)6666 Rect(12,12,30,26) "
         "BitBlt(10,10,40,30)6666 ] RectFill(0,40,64,48) ",
         true},
        {"XOR fill, AND of a black-and-white bitmap, XOR fill",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             BitBlt(b, {12, 12, 32, 28}, {3, 2}, 71, 0x8888);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) BitBlt(12,12,32,28)b8b8 RectFill(0,40,64,48) ", true},
        {"XOR fill, AND reaching beyond the fill: left alone",
         [](SpoolBuilder& b) {
             MonoBitmap(b, 71, 40, 30, 4);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
             BitBlt(b, {12, 12, 42, 28}, {3, 2}, 71, 0x8888);
             Rect(b, {10, 10, 40, 30}, kRed, 0, 0, 7);
         },
         "RectFill(0,0,64,48) BitBlt(12,12,42,28)8888 Complex(10,10,40,30)[RectFill(0,0,64,48) Rect(10,10,40,30) "
         "BitBlt(12,12,42,28)8888 Rect(10,10,40,30) ] RectFill(0,40,64,48) ",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        RectFill(b, {0, 0, 64, 48}, kGreen | 0x80);  // something under the sandwich to give back
        c.build(b);
        RectFill(b, {0, 40, 64, 48}, kBlack);
        ASSERT_EQ(job.Read(b), 1);
        const Image before = DrawRoad(job, kW, kH, kUnit, kH);
        EXPECT_EQ(Optimise(job), 1);
        EXPECT_EQ(Shape(&job.list), c.shape);
        ExpectSamePage(job, before, true);
    }
}

}  // namespace

namespace {

// Memory running short at any allocation of a run leaves a list that draws the same page, is
// marked optimised, and releases everything it holds (the sanitizer checks the last part).
TEST(Optimiser, RunningShortLeavesAListThatDrawsTheSamePage)
{
    auto build = [](SpoolBuilder& b) {
        MonoBitmap(b, 71, 40, 30, 4);
        RectFill(b, {0, 0, 64, 48}, kWhite);
        RectFill(b, {0, 0, 64, 48}, kGreen);
        ClipRecord(b, 5, {0, 0, 64, 48}, {{0, 0, 64, 10}, {0, 10, 20, 30}, {30, 10, 64, 30}});
        Rect(b, {5, 5, 40, 25}, kRed, 0, 5, 13);
        BitBlt(b, {2, 30, 12, 40}, {0, 0}, 71, 0xCCCC);
        BitBlt(b, {12, 30, 22, 40}, {0, 0}, 71, 0xCCCC);
        Rect(b, {30, 28, 60, 46}, kRed, 0, 0, 7);
        RectFill(b, {35, 30, 45, 40}, kBlack);
        Rect(b, {30, 28, 60, 46}, kRed, 0, 0, 7);
        Rect(b, {40, 2, 60, 20}, kRed, 0, 0, 7);
        BitBlt(b, {42, 4, 58, 18}, {0, 0}, 71, 0x8888);
        Rect(b, {40, 2, 60, 20}, kRed, 0, 0, 7);
        Rect(b, {10, 10, 20, 20}, kRed, 0, 0, 9);
        Rect(b, {15, 15, 35, 25}, kGreen, 0, 0, 7);
        BitBlt(b, {2, 2, 12, 9}, {0, 0}, 71, 0x6666);
        BitBlt(b, {2, 2, 12, 9}, {3, 1}, 71, 0x8888);
        BitBlt(b, {2, 2, 12, 9}, {0, 0}, 71, 0x6666);
        MonoBitmap(b, 74, 40, 30, 4, true);
        BitBlt(b, {22, 2, 32, 9}, {1, 1}, 71, 0x8888);
        BitBlt(b, {22, 2, 32, 9}, {1, 1}, 74, 0xEEEE);
        MonoBitmap(b, 70, 8, 8, 1);
        b.Add("brush", {{"id", 40}, {"bitmap", 70}});
        Rect(b, {2, 36, 28, 47}, kRed, 0, 0, 7);
        Rect(b, {4, 38, 20, 45}, 40, 0, 0, 9);
        Rect(b, {2, 36, 28, 47}, kRed, 0, 0, 7);
        ColourBitmap(b, 72, 40, 30, 3);
        BitBlt(b, {34, 20, 62, 27}, {1, 2}, 72, 0x6666);
        Rect(b, {36, 21, 50, 26}, 40, 0, 0, 9);
        BitBlt(b, {34, 20, 62, 27}, {1, 2}, 72, 0x6666);
        ColourOverMono(b, 77, 4, 0xFFFFFF, 0x000000);
        ColourOverMono(b, 76, 4, -1, 0xFFFFFF);
        BitBlt(b, {40, 40, 60, 47}, {2, 2}, 77, 0xEEEE);
        BitBlt(b, {40, 40, 60, 47}, {2, 2}, 76, 0x8888);
    };
    bool completed = false;
    for (uint32_t failAt = 1; !completed && failAt < 96; ++failAt) {
        SCOPED_TRACE(failAt);
        DisplayJob job;
        job.spill = true;
        SpoolBuilder b;
        build(b);
        ASSERT_EQ(job.Read(b), 1);
        const Image before = DrawRoad(job, kW, kH, kUnit, kH);
        BandIterator iterator{};
        RenderAllocFailAt(failAt);
        const int result = CmdListOptimize(&job.list, 0, &iterator);
        RenderAllocFailAt(0);
        completed = result == 1;
        EXPECT_TRUE(job.list.flags & CMD_LIST_OPTIMISED);
        EXPECT_EQ(Diff(DrawRoad(job, kW, kH, kUnit, kH), before), "");
        EXPECT_EQ(Diff(DrawRoad(job, kW, kH, kUnit, 5), before), "");
    }
    EXPECT_TRUE(completed) << "some allocation count lets the run complete";
}

}  // namespace

namespace {

// Each level's list is optimised with its own index: only the bottom one loses its white fills.
TEST(Optimiser, FormLevelsAreOptimisedInOrder)
{
    DisplayJob bottom, top;
    for (DisplayJob* job : {&bottom, &top}) {
        SpoolBuilder b;
        RectFill(b, {0, 0, 64, 48}, kWhite);
        RectFill(b, {0, 0, 20, 20}, kBlack);
        ASSERT_EQ(job->Read(b), 1);
    }
    FormLevel levels[2]{};
    levels[0].list = &bottom.list;
    levels[1].list = &top.list;
    BandIterator iterator{};
    EXPECT_EQ(FormLevelsOptimize(levels, 0, &iterator), 1);
    EXPECT_FALSE(bottom.list.flags & CMD_LIST_OPTIMISED);
    EXPECT_EQ(FormLevelsOptimize(levels, 2, &iterator), 1);
    EXPECT_EQ(Shape(&bottom.list), "RectFill(0,0,20,20) ");
    EXPECT_EQ(Shape(&top.list), "RectFill(0,0,64,48) RectFill(0,0,20,20) ");
    EXPECT_TRUE(top.list.flags & CMD_LIST_OPTIMISED);
}

}  // namespace
