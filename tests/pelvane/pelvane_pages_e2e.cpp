// Multi-page jobs of rectangle commands played by faxrender's host through the engine and Pelvane:
// the fax job is split by faxview's reader, its pages decoded by jbigkit and compared with pages
// painted here. Black and white fills, one-pixel outlines and clipped fills are compared pixel by
// pixel; grey fills, which Pelvane halftones, are judged by what holds for any threshold screen
// whose thresholds are spread evenly over 1..255: the pattern repeats with the screen's period
// across band edges, a grey g covers about (255 - g) / 255 of its area with black dots, and the
// dots are the same whatever the band budget and the stream. A page of text is compared with the
// same text drawn here. A document page rendered by Ghostscript at the fax resolution, sent as one
// full-page bitmap, comes back bit for bit at 1 bit and halftoned by the same rules at 8, 24 and 32
// bits; bitmaps of blocks of every grey halftone to exactly the dots fills of those greys get.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "engine/common/render_options.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"
#include "platform/user.h"
#include "tests/pelvane/fax_job_output.h"
#include "tests/pelvane/pelvane_host.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"
#include "tools/faxrender/fax_host.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr LONG kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000, kWhite = 0x80FFFFFF;
constexpr uint32_t kScreen = 160;  // the period of Pelvane's screen for 1-bit fax pages

enum class Kind { Fill, Outline, Gray };

struct Op {
    Kind kind;
    RECT rect;
    uint32_t colour;  // the brush (fills, grey) or the pen's colour (outlines)
    std::vector<RECT> clip = {};  // clip rectangles; empty: no clip
};

using Page = std::vector<Op>;

// Three pages: fills covering one another, outlines, a fill clipped to two rectangles, and
// three greys in one band-crossing strip.
const std::vector<Page> kPages = {
    {{Kind::Fill, {100, 100, 1628, 180}, kBlack},
     {Kind::Fill, {100, 300, 900, 1100}, kBlack},
     {Kind::Fill, {300, 500, 700, 900}, kWhite},
     {Kind::Outline, {1000, 300, 1600, 1100}, kBlack},
     {Kind::Outline, {1100, 400, 1103, 1000}, kBlack},  // three columns: the outline is solid
     {Kind::Fill, {100, 1200, 1600, 1700}, kBlack, {{100, 1200, 400, 1450}, {700, 1300, 1650, 1500}}},
     {Kind::Fill, {1700, 10, 1728, 2292}, kBlack}},
    {{Kind::Gray, {160, 160, 560, 2160}, 0x80C0C0C0},
     {Kind::Gray, {640, 160, 1040, 2160}, 0x80808080},
     {Kind::Gray, {1120, 160, 1520, 2160}, 0x80404040},
     {Kind::Outline, {150, 150, 1530, 2170}, kBlack}},
    {{Kind::Fill, {0, 0, 1728, 40}, kBlack},
     {Kind::Fill, {861, 1000, 867, 2200}, kBlack},
     {Kind::Outline, {5, 1200, 1723, 1203}, kBlack},
     {Kind::Fill, {400, 1600, 1400, 2000}, kBlack, {{0, 1700, 1728, 1701}, {500, 1800, 510, 1900}}}},
};

SpoolFields Rect(RECT r) { return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}}; }

std::vector<uint8_t> RectsBytes(const std::vector<RECT>& rects)
{
    std::vector<uint8_t> out;
    for (const RECT& r : rects)
        for (LONG v : {r.left, r.top, r.right, r.bottom})
            for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint32_t>(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> Job(const std::vector<Page>& pages, uint32_t copies, uint32_t jobFlags = 1)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", jobFlags},
                                              {"copies", copies},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (const Page& page : pages) {
        b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        uint32_t clipId = 0;
        for (const Op& op : page) {
            if (op.kind == Kind::Outline) {
                // No brush, a one-pixel pen of the colour: GDI's frame on the rectangle's edges.
                SpoolFields f = Rect(op.rect);
                f.insert(f.end(), {{"brush", 0}, {"pen", op.colour}, {"clip", 0}, {"mix", R2_COPYPEN}});
                b.Add("cmd_rect", f);
            } else if (!op.clip.empty()) {
                ++clipId;
                RECT bounds = op.clip[0];
                for (const RECT& r : op.clip) UnionRect(&bounds, &bounds, &r);
                b.Add("clip_rects", {{"id", clipId},
                                     {"left", bounds.left},
                                     {"top", bounds.top},
                                     {"right", bounds.right},
                                     {"bottom", bounds.bottom},
                                     {"count", op.clip.size()},
                                     {"data", RectsBytes(op.clip)}});
                SpoolFields f = Rect(op.rect);
                f.insert(f.end(), {{"brush", op.colour}, {"pen", 0}, {"clip", clipId}, {"mix", R2_COPYPEN}});
                b.Add("cmd_rect", f);
            } else {
                SpoolFields f = Rect(op.rect);
                f.push_back({"brush", op.colour});
                b.Add("cmd_rectfill", f);
            }
        }
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// A page painted here: bit values, and which pixels are grey (judged apart).
struct Painted {
    JbigImage image;
    std::vector<uint8_t> grey;  // one byte a pixel: the index + 1 of the grey op that covers it, 0 none
};

constexpr size_t kStride = (kWidth + 7) / 8;

void Set(Painted& p, LONG x, LONG y, bool black)
{
    uint8_t& byte = p.image.rows[size_t(y) * kStride + size_t(x) / 8];
    const uint8_t bit = uint8_t(0x80 >> (x % 8));
    byte = black ? (byte | bit) : (byte & ~bit);
    p.grey[size_t(y) * kWidth + size_t(x)] = 0;
}

bool Inside(const std::vector<RECT>& rects, LONG x, LONG y)
{
    for (const RECT& r : rects)
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    return false;
}

Painted Paint(const Page& page)
{
    Painted p;
    p.image.width = kWidth;
    p.image.height = kHeight;
    p.image.rows.assign(size_t(kHeight) * kStride, 0);
    p.grey.assign(size_t(kHeight) * kWidth, 0);
    for (size_t i = 0; i < page.size(); ++i) {
        const Op& op = page[i];
        const RECT& r = op.rect;
        for (LONG y = r.top; y < r.bottom; ++y)
            for (LONG x = r.left; x < r.right; ++x) {
                if (op.kind == Kind::Outline) {
                    if (x == r.left || x == r.right - 1 || y == r.top || y == r.bottom - 1) Set(p, x, y, true);
                } else if (op.kind == Kind::Gray) {
                    Set(p, x, y, false);
                    p.grey[size_t(y) * kWidth + size_t(x)] = static_cast<uint8_t>(i + 1);
                } else if (op.clip.empty() || Inside(op.clip, x, y)) {
                    Set(p, x, y, op.colour == kBlack);
                }
            }
    }
    return p;
}

bool Bit(const JbigImage& image, LONG x, LONG y)
{
    return (image.rows[size_t(y) * ((image.width + 7) / 8) + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// Pixels that differ outside the grey areas.
size_t Differences(const JbigImage& got, const Painted& want)
{
    if (got.width != want.image.width || got.height != want.image.height) return SIZE_MAX;
    size_t count = 0;
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x)
            if (want.grey[size_t(y) * kWidth + size_t(x)] == 0 && Bit(got, x, y) != Bit(want.image, x, y)) ++count;
    return count;
}

struct GreyFinding {
    size_t black = 0;  // black dots
    size_t area = 0;
    size_t aperiodic = 0;  // pixels unlike the pixel one screen period to the right or below
};

std::vector<GreyFinding> GreyJudge(const JbigImage& got, const Page& page, const Painted& want)
{
    std::vector<GreyFinding> found(page.size());
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            const uint8_t g = want.grey[size_t(y) * kWidth + size_t(x)];
            if (g == 0) continue;
            GreyFinding& f = found[g - 1];
            ++f.area;
            f.black += Bit(got, x, y);
            const auto same = [&](LONG x2, LONG y2) {
                return x2 >= kWidth || y2 >= kHeight || want.grey[size_t(y2) * kWidth + size_t(x2)] != g ||
                       Bit(got, x2, y2) == Bit(got, x, y);
            };
            if (!same(x + kScreen, y) || !same(x, y + kScreen)) ++f.aperiodic;
        }
    return found;
}

struct Rendered {
    uint32_t result = ~0u;
    std::string cause;
    uint32_t jobs = 0;  // fax jobs in the file
    std::vector<JbigImage> pages;
};

Rendered Render(const std::vector<uint8_t>& spool, uint32_t bandMemory, FaxFeed feed, bool progressRecord = false,
                uint32_t renderFlags = 0)
{
    Rendered out;
    std::vector<uint8_t> written;
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.options.bandMemory = bandMemory;
    settings.options.flags = renderFlags;
    settings.feed = feed;
    settings.progressRecord = progressRecord;
    settings.producerChunk = 1000;
    settings.sink = [&written](const uint8_t* bytes, uint32_t length) {
        written.insert(written.end(), bytes, bytes + length);
        return true;
    };
    out.result = FaxRender(spool, settings, &out.cause);
    // Each copy pass is a document of its own, and a fax job expecting one document ends with it:
    // the file holds one job per pass.
    std::vector<FaxJobPage> pages;
    for (size_t at = 0; at < written.size();) {
        FaxJob job;
        std::string error;
        const bool parsed = FaxJobParse(std::span<const uint8_t>(written).subspan(at), &job, &error);
        EXPECT_TRUE(parsed) << error;
        if (!parsed || job.size == 0) break;
        ++out.jobs;
        pages.insert(pages.end(), job.pages.begin(), job.pages.end());
        at += job.size;
    }
    for (const FaxJobPage& page : pages) {
        JbigImage image;
        EXPECT_TRUE(FaxPageDecode(page, &image));
        out.pages.push_back(std::move(image));
    }
    return out;
}

struct RunCase {
    const char* name;
    uint32_t bandMemory;  // 0: the engine's default
    FaxFeed feed;
    bool progressRecord;
};

const RunCase kRuns[] = {
    {"the smallest budget that holds an 8-line band", 45056, FaxFeed::Seekable, false},
    {"a few bands a page", 160 * 1024, FaxFeed::Seekable, false},
    {"one band a page", 16 * 1024 * 1024, FaxFeed::Seekable, false},
    {"the default budget, forward-only", 0, FaxFeed::ForwardOnly, false},
    {"a producer still writing, with the progress record", 64 * 1024, FaxFeed::Producer, true},
    {"a producer still writing, read as it comes", 0, FaxFeed::Producer, false},
};

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

// Four pages, page k black from its top down to 400 (k + 1): in a four-up cell, at about half
// scale, its black run down a column is about 200 (k + 1) rows long, which tells the pages apart.
std::vector<uint8_t> FourUpJob(uint32_t arrangement, uint32_t copies)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"job_flags", 1},
                                              {"copies", copies},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (LONG k = 0; k < 4; ++k) {
        b.PageBegin({{"width", kWidth},
                     {"height", kHeight},
                     {"paper_code", 9},
                     {"paper_name", "A4"},
                     {"cells", 4},
                     {"arrangement", arrangement}});
        b.Add("cmd_rectfill",
              {{"left", 0}, {"top", 0}, {"right", kWidth}, {"bottom", 400 * (k + 1)}, {"brush", kBlack}});
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// The page drawn in each quarter of the sheet (top left, top right, bottom left, bottom right),
// -1 for a quarter with no page, -2 for one that is not a page's black run.
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

namespace {

TEST(PelvanePages, PageBordersFrameEveryPageOnTopOfItsDrawing)
{
    ASSERT_TRUE(JbigkitAvailable());
    constexpr uint32_t kBorders = 0x4;
    constexpr LONG kBorder = 3;  // the default border in page units; the page is placed one to one
    const std::vector<uint8_t> spool = Job(kPages, 1);
    for (const uint32_t budget : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(budget);
        const Rendered r = Render(spool, budget, FaxFeed::Seekable, false, kBorders);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), kPages.size());
        for (size_t i = 0; i < kPages.size(); ++i) {
            Painted want = Paint(kPages[i]);
            for (LONG y = 0; y < kHeight; ++y)
                for (LONG x = 0; x < kWidth; ++x)
                    if (x < kBorder || y < kBorder || x >= kWidth - kBorder || y >= kHeight - kBorder)
                        Set(want, x, y, true);
            EXPECT_EQ(Differences(r.pages[i], want), 0u) << "page " << i;
        }
    }
}

}  // namespace

namespace {

// With borders each four-up cell gets a frame of its own around its placed page: in each quarter
// the black of the framed sheet is bounded by a ring whose outer edge is black all round (the
// plain sheet's page leaves part of that edge white), what the borders add lies within a few
// pixels of that edge, and nothing drawn without borders is lost.
TEST(PelvanePages, FourUpBordersFrameEachCell)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = FourUpJob(0, 1);
    const Rendered plain = Render(spool, 45056, FaxFeed::Seekable);
    const Rendered framed = Render(spool, 45056, FaxFeed::Seekable, false, 0x4);
    ASSERT_EQ(plain.result, 0u) << plain.cause;
    ASSERT_EQ(framed.result, 0u) << framed.cause;
    ASSERT_EQ(plain.pages.size(), 1u);
    ASSERT_EQ(framed.pages.size(), 1u);
    const JbigImage& a = plain.pages[0];
    const JbigImage& b = framed.pages[0];
    for (int q = 0; q < 4; ++q) {
        SCOPED_TRACE("quarter " + std::to_string(q));
        const LONG x0 = q % 2 == 0 ? 0 : kWidth / 2, y0 = q < 2 ? 0 : kHeight / 2;
        RECT box{kWidth, kHeight, -1, -1};  // bounds of the framed sheet's black in the quarter
        size_t lost = 0;
        for (LONG y = y0; y < y0 + kHeight / 2; ++y)
            for (LONG x = x0; x < x0 + kWidth / 2; ++x) {
                lost += Bit(a, x, y) && !Bit(b, x, y);
                if (Bit(b, x, y))
                    box = RECT{std::min(box.left, x), std::min(box.top, y), std::max(box.right, x + 1),
                               std::max(box.bottom, y + 1)};
            }
        EXPECT_EQ(lost, 0u);
        ASSERT_GT(box.right - box.left, kWidth / 4);
        ASSERT_GT(box.bottom - box.top, kHeight / 4);
        size_t gaps = 0, plainEdge = 0, inside = 0;
        for (LONG y = box.top; y < box.bottom; ++y)
            for (LONG x = box.left; x < box.right; ++x) {
                const bool edge = x == box.left || x == box.right - 1 || y == box.top || y == box.bottom - 1;
                const bool ring = x < box.left + 4 || x >= box.right - 4 || y < box.top + 4 || y >= box.bottom - 4;
                gaps += edge && !Bit(b, x, y);
                plainEdge += edge && Bit(a, x, y);
                inside += !ring && Bit(b, x, y) && !Bit(a, x, y);
            }
        EXPECT_EQ(gaps, 0u) << "the frame's outer edge is not closed";
        EXPECT_LT(plainEdge, size_t(2 * (box.right - box.left + box.bottom - box.top) - 4)) << "no frame was added";
        EXPECT_EQ(inside, 0u) << "the borders drew inside the frame";
    }
}

}  // namespace

namespace {

// A fax page of text: characters in two GDI faces (drawn by GDI into the band masks) and in a
// downloaded bitmap font (glyphs kept by the engine), played through faxrender's host, the engine
// and Pelvane, decoded by jbigkit and compared pixel by pixel with the text drawn here: the GDI
// characters by the stand-in into a 1-bit page at their baselines, the glyphs by hand.
struct TextRun {
    const char* face;  // null: the downloaded font
    int height;
    POINT start;
    std::u16string chars;
};
const TextRun kTextRuns[] = {
    {"Arial", -48, {100, 300}, u"Fax page Hxg@Wq"},
    {"Times New Roman", 40, {150, 1147}, u"band-crossing text"},  // the baseline near a band edge
    {nullptr, 0, {200, 1800}, u"\x05\x05\x05"},
};
constexpr LONG kAdvance = 44;
constexpr LONG kGlyphW = 37, kGlyphH = 30, kGlyphOriginY = 24;

bool GlyphInk(LONG x, LONG y) { return (x * 7 + y * 3) % 5 < 2; }

std::vector<uint8_t> Le32List(std::initializer_list<int64_t> values)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint64_t(v) >> (8 * i)));
    return out;
}

std::vector<uint8_t> TextJob()
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
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    uint32_t id = 0;
    for (const TextRun& run : kTextRuns) {
        ++id;
        if (run.face != nullptr) {
            LOGFONTA lf{};
            lf.lfHeight = run.height;
            lf.lfWeight = 400;
            std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", run.face);
            std::vector<uint8_t> font = Le32List({id, 0, 0});
            const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
            font.insert(font.end(), raw, raw + sizeof lf);
            b.Raw(38, 1, font);
        } else {
            b.Raw(37, 1, Le32List({id, 0, kGlyphH}));
            std::vector<uint8_t> glyph = Le32List({5, id, kGlyphW, kGlyphH, 0, kGlyphOriginY});
            const size_t stride = (kGlyphW + 31) / 32 * 4;
            for (LONG y = 0; y < kGlyphH; ++y) {
                std::vector<uint8_t> row(stride, 0);
                for (LONG x = 0; x < kGlyphW; ++x)
                    if (GlyphInk(x, y)) row[size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
                glyph.insert(glyph.end(), row.begin(), row.end());
            }
            b.Raw(39, 0, glyph);
        }
        const uint16_t flags = run.face != nullptr ? 0x2 : 0x1;  // wide characters, or glyph indices
        std::vector<uint8_t> text = Le32List({0, 0, kWidth, kHeight, 0, 0, id, 0, kBlack, int64_t(run.chars.size())});
        text.insert(text.end(), {uint8_t(flags), 0, R2_COPYPEN, R2_NOP});
        for (size_t i = 0; i < run.chars.size(); ++i) {
            const auto xy = Le32List({run.start.x + kAdvance * LONG(i), run.start.y});
            text.insert(text.end(), xy.begin(), xy.end());
        }
        for (char16_t c : run.chars) text.insert(text.end(), {uint8_t(c), uint8_t(c >> 8)});
        b.Raw(16, 0, text);
    }
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

JbigImage TextReference()
{
    // The stand-in draws the GDI characters into a white 1-bit page: 0 bits are ink.
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = kWidth;
    info.header.biHeight = -kHeight;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biClrUsed = 2;
    info.colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    HDC dc = CreateCompatibleDC(nullptr);
    void* bits = nullptr;
    HBITMAP page = CreateDIBSection(dc, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, page);
    PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
    SetTextAlign(dc, TA_BASELINE);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, 0);
    for (const TextRun& run : kTextRuns) {
        if (run.face == nullptr) continue;
        LOGFONTA lf{};
        lf.lfHeight = run.height;
        lf.lfWeight = 400;
        lf.lfQuality = NONANTIALIASED_QUALITY;
        std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", run.face);
        HFONT font = CreateFontIndirectA(&lf);
        HGDIOBJ oldFont = SelectObject(dc, font);
        for (size_t i = 0; i < run.chars.size(); ++i) {
            const WCHAR c = run.chars[i];
            ExtTextOutW(dc, run.start.x + kAdvance * LONG(i), run.start.y, 0, nullptr, &c, 1, nullptr);
        }
        SelectObject(dc, oldFont);
        DeleteObject(font);
    }
    GdiFlush();
    JbigImage want;
    want.width = kWidth;
    want.height = kHeight;
    want.rows.assign(size_t(kHeight) * kStride, 0);
    const size_t dibStride = (kWidth + 31) / 32 * 4;
    const auto* dib = static_cast<const uint8_t*>(bits);
    for (LONG y = 0; y < kHeight; ++y)
        for (size_t i = 0; i < kStride; ++i)
            want.rows[size_t(y) * kStride + i] = uint8_t(~dib[size_t(y) * dibStride + i]);
    SelectObject(dc, oldBitmap);
    DeleteObject(page);
    DeleteDC(dc);
    // The glyphs by hand: each cell's top-left at the position less the origin's height.
    for (const TextRun& run : kTextRuns) {
        if (run.face != nullptr) continue;
        for (size_t i = 0; i < run.chars.size(); ++i)
            for (LONG y = 0; y < kGlyphH; ++y)
                for (LONG x = 0; x < kGlyphW; ++x)
                    if (GlyphInk(x, y)) {
                        const LONG px = run.start.x + kAdvance * LONG(i) + x, py = run.start.y - kGlyphOriginY + y;
                        want.rows[size_t(py) * kStride + size_t(px) / 8] |= uint8_t(0x80 >> (px % 8));
                    }
    }
    return want;
}

TEST(PelvanePages, TextDecodesToTheSameTextDrawnHere)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = TextJob();
    const JbigImage want = TextReference();
    size_t ink = 0;
    for (uint8_t byte : want.rows) ink += size_t(__builtin_popcount(byte));
    ASSERT_GT(ink, 5000u);
    for (uint32_t bandMemory : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(bandMemory);
        const Rendered r = Render(spool, bandMemory, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        const JbigImage& got = r.pages[0];
        ASSERT_EQ(got.width, want.width);
        ASSERT_EQ(got.height, want.height);
        size_t wrong = 0;
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) wrong += Bit(got, x, y) != Bit(want, x, y);
        EXPECT_EQ(wrong, 0u);
    }
}

// A document page: headings and paragraphs in two faces, a ruled table, a filled and a stroked
// shape and a grey band, as PostScript for Ghostscript to render.
const char kDocument[] = R"(%!PS
/Times-Bold findfont 28 scalefont setfont 60 760 moveto (Quarterly report on deliveries) show
/Times-Roman findfont 11 scalefont setfont
0 1 30 { /i exch def 60 720 i 14 mul sub moveto
  (Each line of this paragraph sets words at the fax resolution, with kerning and small serifs.) show } for
/Helvetica findfont 9 scalefont setfont
0.6 setlinewidth 60 180 moveto 540 180 lineto stroke
0 1 6 { /r exch def 60 300 r 18 mul sub moveto 540 300 r 18 mul sub lineto stroke
  70 286 r 18 mul sub moveto (Region) show 250 286 r 18 mul sub moveto (1,234.56) show } for
0 1 3 { /c exch def 60 c 160 mul add 300 moveto 0 -108 rlineto stroke } for
newpath 470 90 40 0 360 arc fill newpath 380 90 40 0 360 arc 2 setlinewidth stroke
0.8 setgray 60 40 300 30 rectfill 0.3 setgray 120 48 80 14 rectfill
showpage
)";

// The page as Ghostscript renders it on the given device: the file's pixels behind its header, or
// empty when Ghostscript is not there.
std::vector<uint8_t> Ghostscript(const char* device, size_t bytesPerRow, const char* options = "")
{
    const std::string base = ::testing::TempDir() + "bitmap_page_" + device;
    std::ofstream(base + ".ps") << kDocument;
    const std::string command = "gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=" + std::string(device) + " " + options +
                                " -r204x196 -g" + std::to_string(kWidth) + "x" + std::to_string(kHeight) +
                                " -sOutputFile=" + base + ".out " + base + ".ps 2>/dev/null";
    if (std::system(command.c_str()) != 0) return {};
    std::ifstream in(base + ".out", std::ios::binary);
    std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t size = bytesPerRow * size_t(kHeight);
    if (file.size() < size) return {};
    return std::vector<uint8_t>(file.end() - static_cast<ptrdiff_t>(size), file.end());
}

// One page holding one BitBlt of a full-page top-down bitmap.
std::vector<uint8_t> BitmapPageJob(uint8_t depth, const std::vector<uint32_t>& palette,
                                   const std::vector<uint8_t>& rows)
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
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(1, kWidth, -kHeight, depth, palette, rows));
    b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload({0, 0, kWidth, kHeight}, {0, 0}, 1));
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

TEST(PelvanePages, AFullPageOneBitBitmapComesBackBitForBit)
{
    // Ghostscript's bitmap: 1 is black, rows of whole bytes (216, already a multiple of 4).
    const std::vector<uint8_t> rows = Ghostscript("pbmraw", kStride);
    if (rows.empty()) GTEST_SKIP() << "Ghostscript is not installed";
    size_t ink = 0;
    for (uint8_t byte : rows) ink += size_t(__builtin_popcount(byte));
    ASSERT_GT(ink, 50000u);
    // Black for 1 through the palette, as the bitmap's own colours say.
    const std::vector<uint8_t> spool = BitmapPageJob(1, {0xFFFFFF, 0x000000}, rows);
    for (uint32_t bandMemory : {45056u, 16u * 1024 * 1024}) {
        SCOPED_TRACE(bandMemory);
        const Rendered r = Render(spool, bandMemory, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        ASSERT_EQ(r.pages[0].width, uint32_t(kWidth));
        ASSERT_EQ(r.pages[0].height, uint32_t(kHeight));
        EXPECT_TRUE(r.pages[0].rows == rows);
    }
}

// A halftoned page judged against the grey page it came from: white stays white and black black,
// the dots repeat with the screen's period wherever the page is flat, and every screen-sized tile
// is inked in proportion to its darkness.
void HalftoneJudge(const JbigImage& got, const std::vector<uint8_t>& grey)
{
    ASSERT_EQ(got.width, uint32_t(kWidth));
    ASSERT_EQ(got.height, uint32_t(kHeight));
    size_t wrongPure = 0, aperiodic = 0, tilesOff = 0;
    const auto g = [&](LONG x, LONG y) { return grey[size_t(y) * kWidth + size_t(x)]; };
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            if (g(x, y) == 255) wrongPure += Bit(got, x, y);
            if (g(x, y) == 0) wrongPure += !Bit(got, x, y);
            if (x + LONG(kScreen) < kWidth && g(x + kScreen, y) == g(x, y))
                aperiodic += Bit(got, x + kScreen, y) != Bit(got, x, y);
        }
    for (LONG ty = 0; ty + LONG(kScreen) <= kHeight; ty += kScreen)
        for (LONG tx = 0; tx + LONG(kScreen) <= kWidth; tx += kScreen) {
            double want = 0, black = 0;
            for (LONG y = ty; y < ty + LONG(kScreen); ++y)
                for (LONG x = tx; x < tx + LONG(kScreen); ++x) {
                    want += (255 - g(x, y)) / 255.0;
                    black += Bit(got, x, y);
                }
            tilesOff += std::abs(black - want) > 0.02 * kScreen * kScreen;
        }
    EXPECT_EQ(wrongPure, 0u) << "white or black pixels changed";
    EXPECT_EQ(aperiodic, 0u) << "the screen's phase moved";
    EXPECT_EQ(tilesOff, 0u) << "tiles inked out of proportion";
}

TEST(PelvanePages, FullPageGreyAndColourBitmapsHalftoneLikeTheirGreys)
{
    // Ghostscript's grey page, anti-aliased so that edges and the grey band carry middle values.
    const std::vector<uint8_t> grey = Ghostscript("pgmraw", size_t(kWidth), "-dTextAlphaBits=4 -dGraphicsAlphaBits=4");
    if (grey.empty()) GTEST_SKIP() << "Ghostscript is not installed";
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i) ramp[i] = i * 0x010101;
    std::vector<uint8_t> rows24(size_t(kHeight) * kWidth * 3), rows32(size_t(kHeight) * kWidth * 4);
    for (size_t i = 0; i < grey.size(); ++i) {
        std::fill_n(&rows24[i * 3], 3, grey[i]);
        std::fill_n(&rows32[i * 4], 3, grey[i]);
    }
    struct Case {
        const char* name;
        uint8_t depth;
        std::vector<uint32_t> palette;
        const std::vector<uint8_t>* rows;
    } cases[] = {{"8-bit", 8, ramp, &grey}, {"24-bit", 24, {}, &rows24}, {"32-bit", 32, {}, &rows32}};
    std::vector<uint8_t> first;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = Render(BitmapPageJob(c.depth, c.palette, *c.rows), 160 * 1024, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        HalftoneJudge(r.pages[0], grey);
        // The same greys give the same dots whatever the bitmap's format.
        if (first.empty()) first = r.pages[0].rows;
        else EXPECT_TRUE(r.pages[0].rows == first);
    }
}

// Full-page bitmaps of 8, 24 and 32 bits made of blocks of the 256 greys halftone to exactly the
// dots that fills of the same greys get from the texture cache, pixel for pixel.
TEST(PelvanePages, GreyBlocksOfBitmapsHalftoneAsFillsOfTheirGreysDo)
{
    constexpr LONG kBlockW = kWidth / 32, kBlockH = kHeight / 8;
    auto greyAt = [&](LONG x, LONG y) {
        const LONG bx = x / kBlockW, by = y / kBlockH;
        return bx < 32 && by < 8 ? uint8_t(by * 32 + bx) : uint8_t(255);
    };
    std::vector<uint8_t> grey(size_t(kWidth) * kHeight), rows24(size_t(kWidth) * kHeight * 3),
        rows32(size_t(kWidth) * kHeight * 4);
    for (LONG y = 0; y < kHeight; ++y)
        for (LONG x = 0; x < kWidth; ++x) {
            const size_t i = size_t(y) * kWidth + size_t(x);
            grey[i] = greyAt(x, y);
            std::fill_n(&rows24[i * 3], 3, grey[i]);
            std::fill_n(&rows32[i * 4], 3, grey[i]);
        }
    Page fills;
    for (LONG by = 0; by < 8; ++by)
        for (LONG bx = 0; bx < 32; ++bx) {
            const uint32_t g = uint32_t(by * 32 + bx);
            fills.push_back({Kind::Gray,
                             {bx * kBlockW, by * kBlockH, (bx + 1) * kBlockW, (by + 1) * kBlockH},
                             0x80000000 | g * 0x010101});
        }
    const Rendered want = Render(Job({fills}, 1), 160 * 1024, FaxFeed::Seekable);
    ASSERT_EQ(want.result, 0u) << want.cause;
    ASSERT_EQ(want.pages.size(), 1u);
    // About half the page is inked: the greys are halftoned, not made white or black.
    size_t ink = 0;
    for (uint8_t byte : want.pages[0].rows) ink += size_t(__builtin_popcount(byte));
    EXPECT_NEAR(double(ink) / (double(kWidth) * kHeight), 0.5, 0.02);
    std::vector<uint32_t> ramp(256);
    for (uint32_t i = 0; i < 256; ++i) ramp[i] = i * 0x010101;
    struct Case {
        const char* name;
        uint8_t depth;
        std::vector<uint32_t> palette;
        const std::vector<uint8_t>* rows;
    } cases[] = {{"8-bit", 8, ramp, &grey}, {"24-bit", 24, {}, &rows24}, {"32-bit", 32, {}, &rows32}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rendered r = Render(BitmapPageJob(c.depth, c.palette, *c.rows), 160 * 1024, FaxFeed::Seekable);
        ASSERT_EQ(r.result, 0u) << r.cause;
        ASSERT_EQ(r.pages.size(), 1u);
        size_t wrong = 0;
        for (LONG y = 0; y < kHeight; ++y)
            for (LONG x = 0; x < kWidth; ++x) wrong += Bit(r.pages[0], x, y) != Bit(want.pages[0], x, y);
        EXPECT_EQ(wrong, 0u);
    }
}

}  // namespace
