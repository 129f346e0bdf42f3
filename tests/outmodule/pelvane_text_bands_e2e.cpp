// A page of GDI text rendered by ImeRender through Pelvane at several band budgets: text commands
// whose bounds are the whole page, and others bounded by their own line, give the same pixels in
// narrow bands as in one band a page, and every line's ink lies within its own rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "engine/job/render_call.h"
#include "tests/outmodule/fax_job_output.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr int32_t kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000;

struct Line {
    int32_t x, y;  // baseline origin of the first character
    uint32_t font;
    bool ownBounds;  // bounds of the line itself, else the whole page
    const char16_t* text;
};

// Two faces, the second one emboldened and slanted; lines at every phase of a band.
std::vector<Line> Lines()
{
    std::vector<Line> lines;
    const char16_t* texts[] = {u"Dear customer, the goods left Hamburg on Monday.",
                               u"Quick brown fox 0123456789 {[()]} jump",
                               u"Agreed terms: \u0436\u044f payment within thirty days.",
                               u"gjpqy ÀÉÎÕÜ descenders and accents"};
    for (int i = 0; i < 48; ++i)
        lines.push_back({120 + (i % 5) * 7, 90 + i * 45 + (i % 3), i % 4 == 3 ? 202u : 201u, i % 2 == 1, texts[i % 4]});
    return lines;
}

std::vector<uint8_t> Job(const std::vector<Line>& lines)
{
    FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                              {"res_x", 204},
                                              {"res_y", 196},
                                              {"extent1_w", kWidth},
                                              {"extent1_h", kHeight},
                                              {"extent2_w", kWidth},
                                              {"extent2_h", kHeight},
                                              {"data", block.bytes}});
    b.PageBegin({{"width", kWidth}, {"height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.Add("font_log", {{"id", 201}, {"height", -30}, {"weight", 400}, {"face", "Liberation Sans"}});
    b.Add("font_log", {{"id", 202}, {"height", -44}, {"weight", 700}, {"italic", 1}, {"face", "DejaVu Sans"}});
    for (const Line& line : lines) {
        const std::u16string text(line.text);
        std::vector<uint8_t> data;
        const auto put32 = [&data](int32_t v) {
            for (int k = 0; k < 4; ++k) data.push_back(uint8_t(uint32_t(v) >> (8 * k)));
        };
        const int32_t advance = line.font == 202 ? 27 : 17;
        for (size_t i = 0; i < text.size(); ++i) {
            put32(line.x + int32_t(i) * advance);
            put32(line.y);
        }
        for (char16_t c : text) {
            data.push_back(uint8_t(c));
            data.push_back(uint8_t(c >> 8));
        }
        const int32_t right = line.x + int32_t(text.size()) * advance + 40;
        const RECT bounds =
            line.ownBounds ? RECT{line.x - 10, line.y - 60, right, line.y + 20} : RECT{0, 0, kWidth, kHeight};
        b.Add("cmd_text", {{"left", bounds.left},
                           {"top", bounds.top},
                           {"right", bounds.right},
                           {"bottom", bounds.bottom},
                           {"font", line.font},
                           {"brush", kBlack},
                           {"count", uint32_t(text.size())},
                           {"flags", 2},
                           {"mix", 13},
                           {"mix2", 11},
                           {"data", data}});
    }
    b.PageEnd({{"sheet_width", kWidth}, {"sheet_height", kHeight}, {"paper_code", 9}, {"paper_name", "A4"}});
    b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    return b.Data();
}

// The job's one page, decoded by jbigkit.
JbigImage Render(const std::vector<uint8_t>& spool, uint32_t bandMemory)
{
    MemoryStream stream;
    stream.data = spool;
    stream.seekable = true;
    RenderOptions options{};
    options.bandMemory = bandMemory;
    std::vector<uint8_t> written;
    EXPECT_EQ(ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream, &written, MemoryStreamRead,
                        MemoryStreamSeek, FaxJobCollect),
              0u);
    FaxJob job;
    std::string error;
    EXPECT_TRUE(FaxJobParse(written, &job, &error)) << error;
    JbigImage image;
    if (job.pages.size() != 1) {
        ADD_FAILURE() << job.pages.size() << " pages";
        return image;
    }
    for (const FaxJobImage& part : job.pages[0].images) {
        JbigImage decoded;
        EXPECT_TRUE(JbigkitDecode(part.bie, decoded));
        if (image.width == 0) image.width = decoded.width;
        image.height += decoded.height;
        image.rows.insert(image.rows.end(), decoded.rows.begin(), decoded.rows.end());
    }
    return image;
}

bool Ink(const JbigImage& page, int32_t x, int32_t y)
{
    return (page.rows[size_t(y) * ((page.width + 7) / 8) + size_t(x) / 8] & (0x80 >> (x % 8))) != 0;
}

TEST(PelvaneTextBands, TextGivesTheSamePixelsAtEveryBandBudget)
{
    ASSERT_TRUE(JbigkitAvailable());
    const std::vector<Line> lines = Lines();
    const std::vector<uint8_t> spool = Job(lines);
    const JbigImage whole = Render(spool, 16 * 1024 * 1024);  // one band a page
    ASSERT_EQ(whole.width, uint32_t(kWidth));
    ASSERT_EQ(whole.height, uint32_t(kHeight));

    // Every line has ink, and all ink lies in the rows of some line (ascent 60, descent 20).
    std::vector<int> lineInk(lines.size(), 0);
    size_t stray = 0;
    for (int32_t y = 0; y < kHeight; ++y)
        for (int32_t x = 0; x < kWidth; ++x) {
            if (!Ink(whole, x, y)) continue;
            bool owned = false;
            for (size_t i = 0; i < lines.size(); ++i)
                if (y > lines[i].y - 60 && y < lines[i].y + 20) {
                    ++lineInk[i];
                    owned = true;
                }
            stray += owned ? 0 : 1;
        }
    EXPECT_EQ(stray, 0u);
    for (size_t i = 0; i < lines.size(); ++i) EXPECT_GT(lineInk[i], 300) << "line " << i;

    for (uint32_t budget : {48u * 1024, 64u * 1024, 100u * 1024, 256u * 1024}) {
        const JbigImage banded = Render(spool, budget);
        size_t differences = 0;
        for (size_t i = 0; i < std::min(banded.rows.size(), whole.rows.size()); ++i)
            differences += size_t(__builtin_popcount(banded.rows[i] ^ whole.rows[i]));
        EXPECT_EQ(banded.rows.size(), whole.rows.size()) << budget;
        EXPECT_EQ(differences, 0u) << "band memory " << budget;
    }
}

}  // namespace
