// Multi-page jobs of rectangle commands played by faxrender's host through the engine and Pelvane:
// the fax job is split by faxview's reader, its pages decoded by jbigkit and compared with pages
// painted here. Black and white fills, one-pixel outlines and clipped fills are compared pixel by
// pixel; grey fills, which Pelvane halftones, are judged by what holds for any threshold screen
// whose thresholds are spread evenly over 1..255: the pattern repeats with the screen's period
// across band edges, a grey g covers about (255 - g) / 255 of its area with black dots, and the
// dots are the same whatever the band budget and the stream. Sheets of several pages, posters,
// forms, overlays and copies are checked against the pages they carry.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <vector>

#include "tests/outmodule/pelvane_pages.h"

namespace {

TEST(PelvanePages, FillsOutlinesClipsAndGreysDecodeToThePaintedPagesWhateverTheBudgetAndStream)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = Job(kPages, 1);
    std::vector<Painted> want;
    for (const Page& page : kPages) want.push_back(Paint(page));
    std::vector<JbigImage> first;
    for (const RunCase& run : kRuns) {
        SCOPED_TRACE(run.name);
        const Rendered r = Render(spool, run.bandMemory, run.feed, run.progressRecord);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), kPages.size());
        EXPECT_EQ(r.jobs, 1u);
        for (size_t i = 0; i < kPages.size(); ++i) {
            EXPECT_EQ(Differences(r.pages[i], want[i]), 0u) << "page " << i;
            const std::vector<GreyFinding> greys = GreyJudge(r.pages[i], kPages[i], want[i]);
            const GreyFinding* lighter = nullptr;
            for (size_t k = 0; k < greys.size(); ++k) {
                const GreyFinding& g = greys[k];
                if (g.area == 0) continue;
                EXPECT_EQ(g.aperiodic, 0u) << "page " << i << ", grey " << k << ": the screen's phase moved";
                const double share = double(255 - (kPages[i][k].colour & 0xFF)) / 255.0;
                EXPECT_NEAR(double(g.black) / double(g.area), share, 0.02) << "page " << i << ", grey " << k;
                if (lighter != nullptr) {
                    EXPECT_GT(g.black * lighter->area, lighter->black * g.area) << "page " << i << ", grey " << k;
                }
                lighter = &g;
            }
        }
        // The halftone dots themselves are the same in every run.
        if (first.empty()) {
            first = r.pages;
            continue;
        }
        for (size_t i = 0; i < kPages.size(); ++i) EXPECT_TRUE(r.pages[i].rows == first[i].rows) << "page " << i;
    }
}

}  // namespace

namespace {

std::array<int, 4> QuarterPages(const JbigImage& sheet)
{
    std::array<int, 4> pages{};
    for (int q = 0; q < 4; ++q) {
        const LONG x = q % 2 == 0 ? kWidth / 4 : 3 * kWidth / 4;
        const LONG top = q < 2 ? 0 : kHeight / 2, bottom = q < 2 ? kHeight / 2 : kHeight;
        LONG black = 0;
        for (LONG y = top; y < bottom; ++y) black += Bit(sheet, x, y);
        const LONG k = (black + 100) / 200 - 1;
        pages[size_t(q)] = black == 0 ? -1 : std::abs(black - 200 * (k + 1)) <= 8 ? static_cast<int>(k) : -2;
    }
    return pages;
}

TEST(PelvanePages, FourUpCellsFollowTheArrangementAndCopiesRepeatTheSheets)
{
    ASSERT_TRUE(JbigkitAvailable());
    struct Case {
        uint32_t arrangement;
        std::array<int, 4> pages;  // top left, top right, bottom left, bottom right
    } const cases[] = {
        {0, {0, 1, 2, 3}},  // rows top to bottom, columns left to right
        {1, {2, 3, 0, 1}},  // rows bottom to top
        {2, {1, 0, 3, 2}},  // columns right to left
        {16, {0, 2, 1, 3}},  // columns first: the left column fills first
        {19, {3, 1, 2, 0}},  // columns right to left, rows bottom to top
    };
    for (const Case& c : cases) {
        SCOPED_TRACE("arrangement " + std::to_string(c.arrangement));
        const std::vector<uint8_t> spool = FourUpJob(c.arrangement, 2);
        const Rendered small = Render(spool, 45056, FaxFeed::Seekable);
        const Rendered whole = Render(spool, 16 * 1024 * 1024, FaxFeed::ForwardOnly);
        ASSERT_EQ(small.result, 0u) << small.cause;
        ASSERT_EQ(whole.result, 0u) << whole.cause;
        // Two copies of one sheet, the same pixels whatever the budget and stream.
        ASSERT_EQ(small.pages.size(), 2u);
        ASSERT_EQ(whole.pages.size(), 2u);
        EXPECT_EQ(small.jobs, 2u);
        EXPECT_EQ(QuarterPages(small.pages[0]), c.pages);
        EXPECT_TRUE(small.pages[1].rows == small.pages[0].rows) << "the second copy differs";
        EXPECT_TRUE(whole.pages[0].rows == small.pages[0].rows) << "the band budget changed the sheet";
        // The gap between the columns stays white from top to bottom.
        for (LONG y = 0; y < kHeight; ++y) ASSERT_FALSE(Bit(small.pages[0], kWidth / 2, y)) << "row " << y;
    }
}

// A poster of factor f: the page enlarged f times over f x f sheets, read across then down. Each
// tile holds its part of the enlarged page: a page pixel (x, y) covers the f x f device pixels
// from (f x - column x width, f y - row x height). Fills are placed on exact pixels at a whole
// factor, so each tile is compared pixel for pixel; fills cross the tiles' edges at every factor.
TEST(PelvanePages, PosterTilesShowTheirPartsOfThePageEnlarged)
{
    ASSERT_TRUE(JbigkitAvailable());
    const Page page = {
        {Kind::Fill, {100, 100, 500, 160}, kBlack},
        {Kind::Fill, {1000, 1500, 1200, 1700}, kBlack},
        {Kind::Fill, {500, 700, 1300, 1600}, kBlack},  // across the middle of every poster
        {Kind::Fill, {600, 800, 1200, 1500}, kWhite},
        {Kind::Fill, {1650, 30, 1728, 2292}, kBlack},  // down the right edge
        {Kind::Fill, {0, 2250, 1728, 2292}, kBlack},  // along the bottom edge
        {Kind::Fill, {0, 0, 1728, 20}, kBlack},  // along the top edge
        {Kind::Fill, {0, 0, 30, 2292}, kBlack},  // down the left edge
    };
    const Painted whole = Paint(page);
    for (uint32_t f = 2; f <= 4; ++f) {
        SCOPED_TRACE("poster of " + std::to_string(f));
        SpoolBuilder b;
        FaxBlock block({"+1 555 0100"}, 1, 204, 196);
        b.Signature().StreamVersion(2).JobHeader(
            {{"job_flags", 1}, {"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"data", block.bytes}});
        b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}, {"poster", f}});
        for (const Op& op : page) {
            SpoolFields fields = Rect(op.rect);
            fields.push_back({"brush", op.colour});
            b.Add("cmd_rectfill", fields);
        }
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
        const Rendered got = Render(b.Data(), 0, FaxFeed::Seekable);
        ASSERT_EQ(got.result, 0u) << got.cause;
        ASSERT_EQ(got.pages.size(), size_t(f) * f);
        for (uint32_t t = 0; t < f * f; ++t) {
            SCOPED_TRACE("tile " + std::to_string(t));
            const JbigImage& tile = got.pages[t];
            ASSERT_EQ(tile.width, uint32_t(kWidth));
            ASSERT_EQ(tile.height, uint32_t(kHeight));
            const LONG left = LONG(t % f) * kWidth, top = LONG(t / f) * kHeight;
            size_t wrong = 0, black = 0;
            LONG firstX = -1, firstY = -1;
            for (LONG y = 0; y < kHeight; ++y)
                for (LONG x = 0; x < kWidth; ++x) {
                    const bool want = Bit(whole.image, (left + x) / LONG(f), (top + y) / LONG(f));
                    black += want;
                    if (Bit(tile, x, y) == want) continue;
                    if (wrong++ == 0) firstX = x, firstY = y;
                }
            EXPECT_GT(black, 0u) << "every tile holds part of a fill";
            EXPECT_EQ(wrong, 0u) << "the first at (" << firstX << ", " << firstY << ")";
        }
    }
}

// A form defined between two pages and drawn over the second: a stream that cannot go back gives
// the fax job the seekable stream gives, byte for byte, alone on its sheets and two pages to a
// sheet (where the sheet's pages are copied to a temporary stream first).
TEST(PelvanePages, AFormDefinedBetweenPagesRendersTheSameOnAForwardOnlyStream)
{
    ASSERT_TRUE(JbigkitAvailable());
    for (uint32_t cells : {1u, 2u}) {
        SCOPED_TRACE(std::to_string(cells) + " cells");
        FaxBlock block({"+1 555 0100"}, 1, 204, 196);
        SpoolBuilder b;
        b.Signature().StreamVersion(2).JobHeader(
            {{"job_flags", 1}, {"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"data", block.bytes}});
        b.PageBegin(
            {{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}, {"cells", cells}});
        b.Add("cmd_rectfill", {{"left", 100}, {"top", 100}, {"right", 500}, {"bottom", 160}, {"brush", kBlack}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.Add("form_begin", {{"id", 2}, {"res_x", 204}, {"res_y", 196}, {"width", kWidth}, {"height", kHeight}});
        b.Add("cmd_rectfill", {{"left", 0}, {"top", 1000}, {"right", kWidth}, {"bottom", 1100}, {"brush", kBlack}});
        b.Add("form_end");
        b.PageBegin({{"width", kWidth},
                     {"height", kHeight},
                     {"paper_code", 9},
                     {"paper_name", "A4"},
                     {"cells", cells},
                     {"page_flags", 0x800},
                     {"overlay_form", 2}});
        b.Add("cmd_rectfill", {{"left", 100}, {"top", 1200}, {"right", 500}, {"bottom", 1260}, {"brush", kBlack}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
        const std::vector<uint8_t> spool = b.Data();
        auto written = [&spool](FaxFeed feed, uint32_t* result) {
            std::vector<uint8_t> bytes;
            FaxRenderSettings settings;
            settings.moduleFileName = PELVANE_LIBRARY;
            settings.configuration = "pelvane";
            settings.feed = feed;
            settings.sink = [&bytes](const uint8_t* p, uint32_t length) {
                bytes.insert(bytes.end(), p, p + length);
                return true;
            };
            std::string cause;
            *result = FaxRender(spool, settings, &cause);
            EXPECT_EQ(*result, 0u) << cause;
            return bytes;
        };
        uint32_t seekResult = ~0u, forwardResult = ~0u;
        const std::vector<uint8_t> seekable = written(FaxFeed::Seekable, &seekResult);
        const std::vector<uint8_t> forward = written(FaxFeed::ForwardOnly, &forwardResult);
        ASSERT_EQ(seekResult, 0u);
        ASSERT_EQ(forwardResult, 0u);
        EXPECT_TRUE(forward == seekable) << "the forward-only job differs";
        if (cells != 1) continue;
        // The form is drawn: the second page holds its band across the page.
        const Rendered pages = Render(spool, 0, FaxFeed::ForwardOnly);
        ASSERT_EQ(pages.result, 0u) << pages.cause;
        ASSERT_EQ(pages.pages.size(), 2u);
        LONG black = 0;
        for (LONG x = 0; x < kWidth; ++x) black += Bit(pages.pages[1], x, 1050);
        EXPECT_EQ(black, kWidth) << "the form's band";
    }
}

// Four pages on one sheet, each with the overlay form (a black stripe down the page) beneath it or
// above it, each page whiting out a band across the middle of its own.
std::vector<uint8_t> FourUpOverlayJob(uint32_t overlayFlag)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", 1},
                                              {"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.Add("form_begin", {{"id", 7}, {"res_x", 204}, {"res_y", 196}, {"width", kWidth}, {"height", kHeight}});
    b.Add("cmd_rectfill", {{"left", 800}, {"top", 0}, {"right", 928}, {"bottom", kHeight}, {"brush", kBlack}});
    b.Add("form_end");
    for (int k = 0; k < 4; ++k) {
        b.PageBegin({{"width", kWidth},
                     {"height", kHeight},
                     {"paper_code", 9},
                     {"paper_name", "A4"},
                     {"cells", 4},
                     {"page_flags", overlayFlag},
                     {"overlay_form", 7}});
        b.Add("cmd_rectfill", {{"left", 0}, {"top", 1000}, {"right", kWidth}, {"bottom", 1300}, {"brush", kWhite}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

TEST(PelvanePages, FourUpCellsCarryTheOverlayFormBeneathOrAboveTheirPage)
{
    ASSERT_TRUE(JbigkitAvailable());
    for (const bool above : {false, true}) {
        SCOPED_TRACE(above ? "form above the page" : "form beneath the page");
        const Rendered sheet = Render(FourUpOverlayJob(above ? 0x800 : 0x1000), 45056, FaxFeed::Seekable);
        ASSERT_EQ(sheet.result, 0u) << sheet.cause;
        ASSERT_EQ(sheet.pages.size(), 1u);
        // In each quarter, the stripe's column (page column 864, half size): black from the cell's
        // top to its bottom, broken by the page's white band only when the form lies beneath it.
        for (int q = 0; q < 4; ++q) {
            SCOPED_TRACE("quarter " + std::to_string(q));
            const LONG left = q % 2 == 0 ? 0 : kWidth / 2, top = q < 2 ? 0 : kHeight / 2;
            LONG column = -1;
            for (LONG x = left; x < left + kWidth / 2 && column < 0; ++x)
                if (Bit(sheet.pages[0], x, top + kHeight / 8)) column = x;
            ASSERT_GE(column, left + kWidth / 8) << "no stripe";
            column += 16;  // well inside the stripe, which is about 64 pixels wide
            int runs = 0;
            LONG inked = 0;
            for (LONG y = top; y < top + kHeight / 2; ++y) {
                const bool on = Bit(sheet.pages[0], column, y);
                inked += on;
                runs += on && (y == top || !Bit(sheet.pages[0], column, y - 1));
            }
            EXPECT_EQ(runs, above ? 1 : 2);
            EXPECT_GT(inked, above ? kHeight / 2 - 100 : kHeight / 2 - 250);
        }
    }
}

TEST(PelvanePages, CopiesRepeatTheJobByPassesOrEachSheetInTurn)
{
    ASSERT_TRUE(JbigkitAvailable());
    struct Case {
        const char* name;
        uint32_t jobFlags;  // 0x1: copies by whole passes
        uint32_t copies;
        FaxFeed feed;
        uint32_t jobs;  // one fax job per pass
    } const cases[] = {
        {"three passes", 1, 3, FaxFeed::ForwardOnly, 3},
        {"each sheet twice in one pass", 0, 2, FaxFeed::Seekable, 1},
        {"each sheet three times, forward-only", 0, 3, FaxFeed::ForwardOnly, 1},
    };
    std::vector<Painted> want;
    for (const Page& page : kPages) want.push_back(Paint(page));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = Render(Job(kPages, c.copies, c.jobFlags), 64 * 1024, c.feed);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), c.copies * kPages.size());
        EXPECT_EQ(r.jobs, c.jobs);
        for (size_t i = 0; i < r.pages.size(); ++i) {
            // Passes give the pages in order again; sheet repeats give each page copies times over.
            const size_t page = c.jobFlags & 1 ? i % kPages.size() : i / c.copies;
            EXPECT_EQ(Differences(r.pages[i], want[page]), 0u) << "page " << i;
        }
    }
}

}  // namespace
