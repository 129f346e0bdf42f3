// A job of every kind of drawing the engine has (pattern brushes, clip rectangles, dashed and wide
// pens, path fills and outlines, text through GDI fonts, BitBlt and StretchBlt of bitmaps) rendered
// through Pelvane: every band budget the planner accepts, a forward-only stream and a stream fed a
// few bytes at a time, and eight render calls on eight threads at once all give the pages of the
// first render, bit for bit, and those pages carry ink where the drawing put it.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "engine/job/render_call.h"
#include "tests/outmodule/fax_job_output.h"
#include "tests/outmodule/page_resources.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000;

SpoolFields RectFields(SpoolBox r, uint32_t brush, uint32_t pen, uint32_t clip)
{
    return {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom},
            {"brush", brush}, {"pen", pen},   {"clip", clip},     {"mix", 13}};
}

std::vector<uint8_t> Job()
{
    const FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    for (int page = 0; page < 2; ++page) {
        const int32_t shift = page * 37;  // the second page moves everything so bands cut it elsewhere
        b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
        PageResources(b);
        b.Add("cmd_rect", RectFields({60, 60 + shift, 800, 400 + shift}, 5, 0, 0));
        b.Add("cmd_rect", RectFields({50, 560, 1600, 950}, 0x80808080, 0, 13));
        b.Add("cmd_rect", RectFields({40, 40 + shift, 820, 420 + shift}, 0, 11, 0));
        b.Add("cmd_line",
              {{"x1", 30}, {"y1", 1000 + shift}, {"x2", 1700}, {"y2", 1010 + shift}, {"pen", 9}, {"mix", 13}});
        b.Add("cmd_line", {{"x1", 60}, {"y1", 1050}, {"x2", 900}, {"y2", 1350 - shift}, {"pen", 10}, {"mix", 13}});
        b.Add("cmd_line", {{"x1", -(1 << 24)}, {"y1", 1380}, {"x2", 1 << 24}, {"y2", 1380}, {"pen", 9}, {"mix", 13}});
        b.Add("cmd_path",
              {{"pen", 11}, {"brush", page == 0 ? kBlack : 5}, {"path", 17}, {"mix", 13}, {"fill_mode", 1}});
        b.Raw(kSpoolTextType, 0,
              SpoolTextPayload({1000, 1080, 1700, 1300}, 21, 0, kBlack,
                               {{1000, 1150 + shift}, {1040, 1150 + shift}, {1080, 1150 + shift}, {1120, 1150 + shift}},
                               u"Wxg@"));
        b.Raw(kSpoolTextType, 0,
              SpoolTextPayload({100, 560, 1600, 950}, 22, 13, kBlack, {{120, 690}, {320, 800}, {520, 810}}, u"QjR"));
        b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload({1200, 960 + shift, 1232, 976 + shift}, {0, 0}, 2));
        b.Raw(kSpoolStretchBltType, 0, SpoolStretchBltPayload({0, 0, 32, 16}, {1200, 1200, 1600, 1390}, 2));
        b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    }
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

struct Feed {
    const char* name;
    uint32_t bandMemory;  // 0: the default budget
    bool seekable;
    uint32_t chunk;  // bytes a read hands over at most; 0: all asked for
};

// The job's decoded pages, each joined from its images; empty when the call failed.
std::vector<JbigImage> Render(const std::vector<uint8_t>& spool, const Feed& feed)
{
    MemoryStream stream(spool, feed.seekable, feed.chunk);
    RenderOptions options{};
    options.bandMemory = feed.bandMemory;
    std::vector<uint8_t> written;
    const uint32_t result = ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream, &written,
                                      MemoryStreamRead, feed.seekable ? MemoryStreamSeek : nullptr, FaxJobCollect);
    std::vector<JbigImage> pages;
    FaxJob job;
    std::string error;
    if (result != 0 || !FaxJobParse(written, &job, &error)) return pages;
    for (const FaxJobPage& page : job.pages) {
        JbigImage image;
        if (!FaxPageDecode(page, &image)) return {};
        pages.push_back(std::move(image));
    }
    return pages;
}

bool Black(const JbigImage& page, uint32_t x, uint32_t y)
{
    return (page.rows[size_t(y) * ((page.width + 7) / 8) + x / 8] >> (7 - x % 8)) & 1;
}

// Black pixels in the box.
size_t Ink(const JbigImage& page, SpoolBox box)
{
    size_t n = 0;
    for (int32_t y = box.top; y < box.bottom; ++y)
        for (int32_t x = box.left; x < box.right; ++x) n += Black(page, uint32_t(x), uint32_t(y));
    return n;
}

void ExpectSame(const std::vector<JbigImage>& got, const std::vector<JbigImage>& want)
{
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].width, want[i].width) << "page " << i;
        EXPECT_EQ(got[i].height, want[i].height) << "page " << i;
        EXPECT_TRUE(got[i].rows == want[i].rows) << "page " << i;
    }
}

const Feed kReference = {"default budget, seekable", 0, true, 0};

TEST(PelvaneRoad, EveryBudgetAndFeedGivesTheSamePages)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = Job();
    const std::vector<JbigImage> reference = Render(spool, kReference);
    ASSERT_EQ(reference.size(), 2u);
    for (const JbigImage& page : reference) {
        ASSERT_EQ(page.width, uint32_t(kWidth));
        ASSERT_EQ(page.height, uint32_t(kHeight));
        // Where the drawing is: the checker fill covers half its area, the outside of every
        // drawing stays white.
        const size_t checker = Ink(page, {100, 100, 780, 380});
        EXPECT_GT(checker, size_t(680 * 280) * 4 / 10);
        EXPECT_LT(checker, size_t(680 * 280) * 6 / 10);
        EXPECT_GT(Ink(page, {1000, 1100, 1200, 1200}), 0u) << "text";
        EXPECT_EQ(Ink(page, {1620, 500, 1728, 940}), 0u) << "nothing drawn there";
        EXPECT_EQ(Ink(page, {720, 560, 1600, 750}), 0u) << "the grey fill is clipped away there";
    }
    const Feed feeds[] = {
        {"smallest budget", 48 * 1024, true, 0},        {"a few bands", 64 * 1024, true, 0},
        {"larger bands", 256 * 1024, true, 0},          {"one band a page", 8 * 1024 * 1024, true, 0},
        {"forward-only stream", 64 * 1024, false, 0},   {"fed three bytes a read", 48 * 1024, false, 3},
        {"fed 61 bytes a read, seekable", 0, true, 61},
    };
    for (const Feed& feed : feeds) {
        SCOPED_TRACE(feed.name);
        ExpectSame(Render(spool, feed), reference);
    }
}

TEST(PelvaneRoad, EightConcurrentRenderCallsGiveTheSamePages)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<uint8_t> spool = Job();
    const std::vector<JbigImage> reference = Render(spool, kReference);
    ASSERT_EQ(reference.size(), 2u);
    const Feed feeds[] = {{"default", 0, true, 0},
                          {"small", 48 * 1024, true, 0},
                          {"forward", 64 * 1024, false, 0},
                          {"fed", 64 * 1024, false, 7}};
    std::vector<std::vector<JbigImage>> results(8);
    std::vector<std::thread> workers;
    for (size_t t = 0; t < results.size(); ++t)
        workers.emplace_back([&, t] { results[t] = Render(spool, feeds[t % 4]); });
    for (std::thread& w : workers) w.join();
    for (size_t t = 0; t < results.size(); ++t) {
        SCOPED_TRACE("call " + std::to_string(t) + ", " + feeds[t % 4].name);
        ExpectSame(results[t], reference);
    }
}

}  // namespace
