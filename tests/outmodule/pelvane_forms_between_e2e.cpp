// Forms defined between pages are there for every page that uses them, whatever order the sheet
// plays its pages in: n-up sheets of every cell count and reverse order, on every feed. Each
// page fills its cell through its form; the same job with every form in the preamble is the
// reference, and the number of separate black areas on a sheet counts its drawn pages.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/outmodule/rendered_sides.h"

namespace {

constexpr uint32_t kHeight = 2292;

std::string Form(int id)
{
    return "form_begin id=" + std::to_string(id) +
           " res_x=204 res_y=196 width=1728 height=2292\n"
           "cmd_rectfill left=0 top=0 right=1728 bottom=" +
           std::to_string(2292 - 300 * id) + " brush=0x80000000\nform_end\n";
}

std::string Page(int cells, int form)
{
    return "page_begin page_flags=0x400 page_form=" + std::to_string(form) +
           " width=1728 height=2292 cells=" + std::to_string(cells) +
           " paper_code=9 paper_name=\"A4\"\n"
           "page_end sheet_width=1728 sheet_height=2292 paper_code=9 paper_name=\"A4\"\n";
}

std::string Header(uint32_t jobFlags)
{
    return "signature\nstream_version version=2\njob_header job_flags=" + std::to_string(jobFlags) +
           " copies=1 res_x=204 res_y=196\n";
}

// pageForms[i] is the form page i uses; a form is defined right before the first page that uses
// it, or all of them in the preamble.
std::string Job(int cells, const std::vector<int>& pageForms, bool allInPreamble)
{
    std::string text = Header(0x1);
    int defined = 0;
    if (allInPreamble)
        while (defined < *std::max_element(pageForms.begin(), pageForms.end())) text += Form(++defined);
    for (int f : pageForms) {
        while (defined < f) text += Form(++defined);
        text += Page(cells, f);
    }
    return text + "job_end\n";
}

// Separate black areas (4-connected) of a side.
size_t InkAreas(const JbigImage& side)
{
    std::vector<uint8_t> seen(size_t(side.width) * side.height, 0);
    std::vector<std::pair<uint32_t, uint32_t>> stack;
    size_t areas = 0;
    for (uint32_t y = 0; y < side.height; ++y)
        for (uint32_t x = 0; x < side.width; ++x) {
            if (seen[size_t(y) * side.width + x] || !SidePixel(side, x, y)) continue;
            ++areas;
            stack.push_back({x, y});
            seen[size_t(y) * side.width + x] = 1;
            while (!stack.empty()) {
                const auto [px, py] = stack.back();
                stack.pop_back();
                const int64_t next[4][2] = {{px - 1, py}, {px + 1, py}, {px, py - 1}, {px, py + 1}};
                for (const auto& n : next) {
                    if (n[0] < 0 || n[1] < 0 || n[0] >= side.width || n[1] >= side.height) continue;
                    const size_t at = size_t(n[1]) * side.width + size_t(n[0]);
                    if (seen[at] || !SidePixel(side, uint32_t(n[0]), uint32_t(n[1]))) continue;
                    seen[at] = 1;
                    stack.push_back({uint32_t(n[0]), uint32_t(n[1])});
                }
            }
        }
    return areas;
}

const FaxFeed kFeeds[] = {FaxFeed::Seekable, FaxFeed::ForwardOnly, FaxFeed::Producer};

std::string FeedName(FaxFeed feed)
{
    return feed == FaxFeed::Seekable ? "seekable" : feed == FaxFeed::ForwardOnly ? "forward-only" : "producer";
}

TEST(PelvaneFormsBetweenPages, EveryCellOfEveryCellCountHoldsItsPage)
{
    ASSERT_TRUE(JbigkitAvailable());
    for (const int cells : {2, 4, 6, 8, 9, 12}) {
        SCOPED_TRACE(std::to_string(cells) + "-up");
        // Page 1 uses the preamble's form 1, every later page form 2, defined after page 1.
        std::vector<int> forms(size_t(cells), 2);
        forms[0] = 1;
        const RenderedSides reference =
            RenderSides(SpoolFromText(Job(cells, forms, true)), 0, FaxFeed::Seekable, kHeight);
        ASSERT_EQ(reference.result, 0u) << reference.cause;
        ASSERT_EQ(reference.sides.size(), 1u);
        ASSERT_EQ(InkAreas(reference.sides[0]), size_t(cells));
        const std::vector<uint8_t> spool = SpoolFromText(Job(cells, forms, false));
        for (const FaxFeed feed : kFeeds) {
            SCOPED_TRACE(FeedName(feed));
            const RenderedSides got = RenderSides(spool, 0, feed, kHeight);
            ASSERT_EQ(got.result, 0u) << got.cause;
            ASSERT_EQ(got.sides.size(), 1u);
            EXPECT_EQ(SideDifference(got.sides[0], reference.sides[0]), "");
        }
    }
}

TEST(PelvaneFormsBetweenPages, ReverseOrderFindsAFormDefinedAfterAnEarlierPage)
{
    ASSERT_TRUE(JbigkitAvailable());
    // Forms 1 and 2 in the preamble, page 1 with form 1, form 3 after it for pages 2 and 3; each
    // form fills less of its page, so the sides' order shows. Forward order is the reference.
    const auto job = [](uint32_t jobFlags) {
        return Header(jobFlags) + Form(1) + Form(2) + Page(1, 1) + Form(3) + Page(1, 3) + Page(1, 3) + "job_end\n";
    };
    const std::string forward = job(0x1), reverse = job(0x5);
    const RenderedSides reference = RenderSides(SpoolFromText(forward), 0, FaxFeed::Seekable, kHeight);
    ASSERT_EQ(reference.result, 0u) << reference.cause;
    ASSERT_EQ(reference.sides.size(), 3u);
    EXPECT_GT(SideInk(reference.sides[0]), SideInk(reference.sides[1]));
    EXPECT_EQ(SideDifference(reference.sides[1], reference.sides[2]), "");
    const std::vector<uint8_t> spool = SpoolFromText(reverse);
    for (const FaxFeed feed : kFeeds) {
        SCOPED_TRACE(FeedName(feed));
        const RenderedSides got = RenderSides(spool, 0, feed, kHeight);
        ASSERT_EQ(got.result, 0u) << got.cause;
        ASSERT_EQ(got.sides.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_EQ(SideDifference(got.sides[i], reference.sides[2 - i]), "");
    }
}

// A page that names a form nobody defined fails, and the message says which form.
TEST(PelvaneFormsBetweenPages, AnUndefinedFormIsNamed)
{
    const std::string page = "page_begin page_flags=0x1000 overlay_form=7 width=1728 height=2292 paper_code=9\n";
    const std::string placed = "page_begin width=1728 height=2292 paper_code=9\nform_place id=7 flags=0x10 mix=255\n";
    const std::string end = "page_end sheet_width=1728 sheet_height=2292 paper_code=9\njob_end\n";
    const struct {
        std::string job;
        const char* said;
    } cases[] = {
        {Header(0x1) + Form(1) + page + end, "the record of type 3 at byte "},
        {Header(0x1) + Form(1) + placed + end, "the record of type 8 at byte "},
    };
    for (const auto& c : cases) {
        for (const FaxFeed feed : kFeeds) {
            SCOPED_TRACE(FeedName(feed) + ": " + c.job);
            const RenderedSides got = RenderSides(SpoolFromText(c.job), 0, feed, kHeight);
            EXPECT_EQ(got.result, 13u);
            const size_t at = got.cause.find(c.said);
            ASSERT_NE(at, std::string::npos) << got.cause;
            EXPECT_NE(got.cause.find("names form 7, which is not defined", at), std::string::npos) << got.cause;
        }
    }
}

}  // namespace
