// A page on an n-up sheet draws inside its cell only, whatever its commands ask: a wide line that
// runs off the page's top edge, the same line drawn whole (mix 0) and a thin line that runs off
// its left edge, on the fourth cell of a 4-up sheet. The cell is found independently, as the ink
// of the same page filled edge to edge; every budget and feed gives the same pixels.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/outmodule/rendered_sides.h"

namespace {

constexpr uint32_t kHeight = 2292;

const char* const kEmptyPage =
    "page_begin width=1728 height=2292 cells=4 paper_code=9 paper_name=\"A4\"\n"
    "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\n";

// Three empty pages and a fourth that draws `drawing`, all on one 4-up sheet.
std::string FourthCellJob(const std::string& drawing)
{
    std::string text =
        "signature\n"
        "stream_version version=2\n"
        "job_header job_flags=0x1 copies=1 res_x=204 res_y=196\n";
    for (int i = 0; i < 3; ++i) text += kEmptyPage;
    text += "page_begin width=1728 height=2292 cells=4 paper_code=9 paper_name=\"A4\"\n";
    text += drawing;
    text += "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\njob_end\n";
    return text;
}

TEST(PelvaneCells, APageDrawsInsideItsCellAtEveryBudgetAndFeed)
{
    ASSERT_TRUE(JbigkitAvailable());
    const RenderedSides filled =
        RenderSides(SpoolFromText(FourthCellJob("cmd_rectfill left=0 top=0 right=1728 bottom=2292 brush=0x80000000\n")),
                    0, FaxFeed::Seekable, kHeight);
    ASSERT_EQ(filled.result, 0u) << filled.cause;
    ASSERT_EQ(filled.sides.size(), 1u);
    const SideBox cell = SideInkBox(filled.sides[0]);
    // The fourth cell of four: the lower right quarter, less its gaps.
    ASSERT_GT(cell.left, 800u);
    ASSERT_GT(cell.top, 1100u);
    ASSERT_GT(cell.right, 1600u);
    ASSERT_GT(cell.bottom, 2200u);
    ASSERT_EQ(SideInk(filled.sides[0]), size_t(cell.right - cell.left) * (cell.bottom - cell.top));

    const struct {
        const char* name;
        const char* drawing;
    } cases[] = {
        {"a wide line off the top edge",
         "pen id=5 style=0x1 width=15 brush=0x80000000\n"
         "cmd_line x1=1400 y1=600 x2=1100 y2=-300 pen=5 mix=13\n"},
        {"the same line drawn whole (mix 0)",
         "pen id=5 style=0x1 width=15 brush=0x80000000\n"
         "cmd_line x1=1400 y1=600 x2=1100 y2=-300 pen=5 mix=0\n"},
        {"a thin line off the left edge",
         "pen id=6 style=0 width=0 brush=0x80000000\n"
         "cmd_line x1=60 y1=20 x2=-14 y2=2272 pen=6 mix=13\n"},
    };
    const struct {
        uint32_t bandMemory;
        FaxFeed feed;
    } runs[] = {{45056, FaxFeed::Seekable},    {400000, FaxFeed::Seekable}, {0, FaxFeed::Seekable},
                {53248, FaxFeed::ForwardOnly}, {45056, FaxFeed::Producer},  {0, FaxFeed::Producer}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<uint8_t> spool = SpoolFromText(FourthCellJob(c.drawing));
        const RenderedSides reference = RenderSides(spool, 64u << 20, FaxFeed::Seekable, kHeight);
        ASSERT_EQ(reference.result, 0u) << reference.cause;
        ASSERT_EQ(reference.sides.size(), 1u);
        const JbigImage& side = reference.sides[0];
        const size_t inside = SideInk(side, cell.left, cell.top, cell.right, cell.bottom);
        EXPECT_GT(inside, 500u);
        EXPECT_EQ(SideInk(side), inside) << "ink outside the cell";
        for (const auto& run : runs) {
            SCOPED_TRACE(std::to_string(run.bandMemory) + " bytes, feed " + std::to_string(int(run.feed)));
            const RenderedSides got = RenderSides(spool, run.bandMemory, run.feed, kHeight);
            ASSERT_EQ(got.result, 0u) << got.cause;
            ASSERT_EQ(got.sides.size(), 1u);
            EXPECT_EQ(SideDifference(got.sides[0], side), "");
        }
    }
}

}  // namespace
