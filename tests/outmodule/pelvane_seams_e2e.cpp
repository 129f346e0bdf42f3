// Band seams on scaled and turned sides: a page of every drawing kind placed 1-up, 4-up and 9-up
// (upright, scales 1, 1/2 and 1/3), 2-up and 6-up (turned), in a booklet and enlarged as poster
// tiles (pattern fills included) gives
// the same pixels at every band budget from the smallest the planner accepts to 64 MiB, on a
// seekable stream, a forward-only one and one a producer thread writes while the engine reads.
// Thin lines are the kind that once lost their pixel on the seam: the band's logical rectangle
// was cut too close to decide where a scaled line's pixels lie.
#include <gtest/gtest.h>

#include <span>
#include <string>
#include <utility>
#include <vector>

#include "engine/spool/spool_records.h"
#include "tests/outmodule/page_resources.h"
#include "tests/outmodule/rendered_sides.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000;

// Thin lines at many slopes (the kind that crosses seams at every angle), a dashed and a wide
// line, fills, outlines, a path, text and the image commands.
void Drawing(SpoolBuilder& b)
{
    PageResources(b);
    auto line = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t pen) {
        b.Add("cmd_line", {{"x1", x1}, {"y1", y1}, {"x2", x2}, {"y2", y2}, {"pen", pen}, {"mix", 13}});
    };
    line(1700, 50, 60, 2250, 11);
    for (int32_t i = 0; i < 8; ++i) line(40 + i * 17, 1400, 1690 - i * 211, 2260 - i * 97, 11);
    line(30, 1000, 1700, 1010, 9);
    line(60, 1050, 900, 1350, 10);
    b.Add("cmd_rectfill", {{"left", 1200}, {"top", 40}, {"right", 1700}, {"bottom", 47}, {"brush", kBlack}});
    b.Add("cmd_rect", {{"left", 60}, {"top", 60}, {"right", 800}, {"bottom", 400}, {"brush", 5}, {"mix", 13}});
    b.Add("cmd_rect", {{"left", 50},
                       {"top", 560},
                       {"right", 1600},
                       {"bottom", 950},
                       {"brush", 0x80808080},
                       {"clip", 13},
                       {"mix", 13}});
    b.Add("cmd_rect", {{"left", 40}, {"top", 40}, {"right", 821}, {"bottom", 421}, {"pen", 11}, {"mix", 13}});
    b.Add("cmd_path", {{"pen", 11}, {"brush", kBlack}, {"path", 17}, {"mix", 13}, {"fill_mode", 1}});
    // A ring filled by the 8 x 8 pattern brush: on enlarged sides its pattern once changed at seams.
    b.Raw(SpoolRecPath, 0,
          SpoolPathPayload(18, {{{240, 1420}, {1000, 1380}, {1100, 2200}, {180, 2240}},
                                {{420, 1600}, {880, 1580}, {900, 2020}, {400, 2050}}}));
    b.Add("cmd_path", {{"pen", 11}, {"brush", 5}, {"path", 18}, {"mix", 13}, {"fill_mode", 1}});
    b.Raw(kSpoolTextType, 0,
          SpoolTextPayload({1000, 1080, 1700, 1300}, 21, 0, kBlack, {{1000, 1150}, {1040, 1150}, {1080, 1150}},
                           u"Wxg"));
    b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload({1200, 960, 1232, 976}, {0, 0}, 2));
    b.Raw(kSpoolStretchBltType, 0, SpoolStretchBltPayload({0, 0, 32, 16}, {1200, 1200, 1600, 1390}, 2));
    b.Add(
        "cmd_copybits",
        {{"src_x", 0}, {"src_y", 0}, {"left", 1300}, {"top", 1700}, {"right", 1308}, {"bottom", 1708}, {"bitmap", 1}});
    b.Add("cmd_transparentblt", {{"src_left", 0},
                                 {"src_top", 0},
                                 {"src_right", 32},
                                 {"src_bottom", 16},
                                 {"left", 1400},
                                 {"top", 1750},
                                 {"right", 1650},
                                 {"bottom", 1900},
                                 {"bitmap", 2},
                                 {"colour", 0xFF00FF}});
    b.Add("cmd_alphablend", {{"src_left", 0},
                             {"src_top", 0},
                             {"src_right", 32},
                             {"src_bottom", 16},
                             {"left", 200},
                             {"top", 1950},
                             {"right", 700},
                             {"bottom", 2150},
                             {"bitmap", 2},
                             {"alpha", 128}});
}

// A job of one sheet per layout (a booklet: its pages in turn): each page starts a sheet (0x100)
// and names its cells; every page
// carries the overlay form (0x800) with its own thin lines.
std::vector<uint8_t> Job(uint32_t jobFlags, const std::vector<uint8_t>& layouts, uint8_t poster)
{
    const FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader(
        {{"job_flags", jobFlags}, {"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"data", block.bytes}});
    b.Add("form_begin", {{"id", 3}, {"res_x", 204}, {"res_y", 196}, {"width", kWidth}, {"height", kHeight}});
    b.Add("pen", {{"id", 1}, {"style", 0}, {"width", 1}, {"brush", kBlack}});
    b.Add("cmd_line", {{"x1", 20}, {"y1", 2280}, {"x2", 1710}, {"y2", 30}, {"pen", 1}, {"mix", 13}});
    b.Add("cmd_rectfill", {{"left", 20}, {"top", 1600}, {"right", 1700}, {"bottom", 1601}, {"brush", kBlack}});
    b.Add("form_end");
    for (const uint8_t cells : layouts) {
        // A booklet's first page marked 0x100 would bring a blank sheet first.
        const uint32_t newSheet = (jobFlags & 0x2) ? 0 : 0x100;
        b.PageBegin({{"page_flags", newSheet | 0x800},
                     {"overlay_form", 3},
                     {"width", kWidth},
                     {"height", kHeight},
                     {"cells", cells},
                     {"poster", poster},
                     {"paper_code", 9},
                     {"paper_name", "A4"}});
        Drawing(b);
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

using Rendered = RenderedSides;

Rendered Render(const std::vector<uint8_t>& spool, uint32_t bandMemory, FaxFeed feed)
{
    return RenderSides(spool, bandMemory, feed, uint32_t(kHeight));
}

// Where two sides differ, for the message: the first differing row and its pixels' columns.
std::string FirstDifference(const JbigImage& a, const JbigImage& b)
{
    if (a.width != b.width || a.height != b.height) return "sizes differ";
    const size_t stride = (a.width + 7) / 8;
    size_t count = 0;
    std::string first;
    for (uint32_t y = 0; y < a.height; ++y)
        for (uint32_t x = 0; x < a.width; ++x) {
            const size_t at = size_t(y) * stride + x / 8;
            if (((a.rows[at] ^ b.rows[at]) >> (7 - x % 8)) & 1) {
                if (count++ == 0) first = "row " + std::to_string(y) + ", column " + std::to_string(x);
            }
        }
    return count == 0 ? "" : std::to_string(count) + " pixels differ, the first at " + first;
}

size_t Ink(const JbigImage& side)
{
    size_t n = 0;
    for (uint8_t byte : side.rows) n += size_t(__builtin_popcount(byte));
    return n;
}

TEST(PelvaneSeams, EveryKindOnUprightTurnedAndScaledSidesIsTheSameAtEveryBudgetAndFeed)
{
    ASSERT_TRUE(JbigkitAvailable());
    struct Layout {
        const char* name;
        uint32_t jobFlags;  // 0x2: a booklet
        std::vector<uint8_t> sheets;  // cells of each sheet
        uint32_t sides;
        uint32_t smallest;  // the smallest budget the planner accepts for A4 at 204 x 196 dpi
        uint8_t poster = 1;  // each page as poster x poster enlarged tiles
    };
    const Layout layouts[] = {
        {"upright: 1-up, 4-up and 9-up", 0, {1, 4, 9}, 3, 45056},
        {"turned: 2-up and 6-up", 0, {2, 6}, 2, 94208},
        {"booklet of four pages", 0x2, {1, 1, 1, 1}, 2, 94208},
        {"poster of 2 x 2 tiles", 0, {1}, 4, 45056, 2},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.name);
        const std::vector<uint8_t> spool = Job(layout.jobFlags, layout.sheets, layout.poster);
        const Rendered reference = Render(spool, 64u << 20, FaxFeed::Seekable);
        ASSERT_EQ(reference.result, 0u) << reference.cause;
        ASSERT_EQ(reference.sides.size(), layout.sides);
        for (const JbigImage& side : reference.sides) {
            ASSERT_EQ(side.width, uint32_t(kWidth));
            ASSERT_EQ(side.height, uint32_t(kHeight));
            EXPECT_GT(Ink(side), 20000u);
        }
        // Budgets are rounded up to whole pages of 4,096 bytes: one byte more than a page below
        // the smallest is accepted, that page itself is refused.
        EXPECT_EQ(Render(spool, layout.smallest - 4096, FaxFeed::Seekable).result, 8u);
        struct Run {
            uint32_t bandMemory;  // 0: the engine's default
            FaxFeed feed;
        };
        const uint32_t s = layout.smallest;
        // Budgets that put the seams elsewhere on every side: the smallest, one that is not a
        // whole number of pages, a few bands, the default; then the other feeds.
        const Run runs[] = {
            {s - 4095, FaxFeed::Seekable}, {s + 3 * 4096 + 1000, FaxFeed::Seekable},
            {150000, FaxFeed::Seekable},   {0, FaxFeed::Seekable},
            {s, FaxFeed::ForwardOnly},     {s + 8192, FaxFeed::Producer},
        };
        for (const Run& run : runs) {
            const char* feed = run.feed == FaxFeed::Seekable      ? "seekable"
                               : run.feed == FaxFeed::ForwardOnly ? "forward-only"
                                                                  : "producer";
            SCOPED_TRACE(std::to_string(run.bandMemory) + " bytes, " + feed);
            const Rendered got = Render(spool, run.bandMemory, run.feed);
            ASSERT_EQ(got.result, 0u) << got.cause;
            ASSERT_EQ(got.sides.size(), reference.sides.size());
            for (size_t i = 0; i < got.sides.size(); ++i)
                EXPECT_EQ(FirstDifference(got.sides[i], reference.sides[i]), "") << "side " << i + 1;
        }
    }
}

}  // namespace
