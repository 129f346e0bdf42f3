// Page records of every version into one layout, page-end records into the sheet request, and
// nothing read past a record.
#include <gtest/gtest.h>

#include "engine/page/page_header.h"
#include "engine/page/sheet_plan.h"
#include "engine/spool/page_source.h"
#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

struct Read {
    bool ok;
    PageHeader header;
    uint32_t position;
};

Read HeaderOf(const std::vector<uint8_t>& bytes, bool peek = false)
{
    MemoryStream memory(bytes, true, 0);
    Stream* stream = MemoryStreamOpen(&memory);
    Read r{};
    r.ok = PageHeaderParse(stream, peek, &r.header);
    r.position = stream->position;
    StreamClose(stream);
    return r;
}

}  // namespace

TEST(PageHeader, EveryVersionIntoOneLayout)
{
    const SpoolFields fields = {{"page_flags", 0x20}, {"width", 1728},      {"height", 2200},
                                {"margin_bottom", 9}, {"poster", 20},       {"cells", 4},
                                {"paper_code", 3},    {"paper_name", "A4"}, {"data", std::vector<uint8_t>{7, 8}}};
    const struct {
        int version;
        uint32_t fixed;
    } cases[] = {{0, 88}, {1, 104}, {2, 104}, {3, 108}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.version);
        SpoolFields f = fields;
        f.push_back({"v", c.version});
        const std::vector<uint8_t> bytes = SpoolBuilder().PageBegin(f).Data();
        const Read peeked = HeaderOf(bytes, true);
        ASSERT_TRUE(peeked.ok);
        EXPECT_EQ(peeked.position, 0u);
        const Read r = HeaderOf(bytes);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(r.position, c.fixed);  // the blob comes next
        EXPECT_EQ(r.header.width, 1728);
        EXPECT_EQ(r.header.margins[3], 9);
        EXPECT_EQ(r.header.poster, 16);  // byte 65 of 20 reads as 16
        EXPECT_EQ(r.header.cells, 4);
        EXPECT_EQ(r.header.blobSize, 2u);
        EXPECT_STREQ(r.header.paperName, "A4");
        EXPECT_EQ(r.header.pageFlag20, c.version == 3 ? 0 : 1);  // set from the flag before version 3
    }
}

TEST(PageHeader, RecordsThatFail)
{
    const std::vector<uint8_t> whole = SpoolBuilder().PageBegin().Data();
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"version 4", SpoolRawRecord(SpoolRecPageBegin, 4, std::vector<uint8_t>(100, 0))},
        {"shorter than its version", SpoolRawRecord(SpoolRecPageBegin, 3, std::vector<uint8_t>(96, 0))},
        {"a blob past the record", SpoolBuilder().PageBegin({{"blob_size", 50}}).Data()},
        {"not a page record", SpoolBuilder().PageEnd().Data()},
        {"cut inside the fixed part", std::vector<uint8_t>(whole.begin(), whole.begin() + 60)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(HeaderOf(c.bytes).ok);
    }
}

TEST(PageHeader, PageEndIntoTheSheetRequest)
{
    PageHeader page{};
    page.width = 1000;
    page.height = 2000;
    page.margins[0] = 11;
    const struct {
        const char* name;
        std::vector<uint8_t> bytes;
        bool ok;
        uint32_t width;
        uint16_t paper;
        uint8_t mode;
        const char* paperName;
    } cases[] = {
        {"version 2",
         SpoolBuilder()
             .PageEnd({{"v", 2}, {"sheet_width", 800}, {"paper_code", 5}, {"mode", 2}, {"paper_name", "Letter"}})
             .Data(),
         true, 800, 5, 2, "Letter"},
        {"version 1",
         SpoolBuilder()
             .PageEnd({{"v", 1}, {"sheet_width", 700}, {"paper_code", 6}, {"mode", 1}, {"paper_name", "B5"}})
             .Data(),
         true, 700, 6, 1, "B5"},
        {"version 0 takes the sheet from the page",
         SpoolBuilder().PageEnd({{"v", 0}, {"paper_code", 4}, {"mode", 1}, {"paper_name", "Legal"}}).Data(), true, 1000,
         4, 1, "Legal"},
        {"a longer record is passed whole", SpoolRawRecord(SpoolRecPageEnd, 2, std::vector<uint8_t>(80, 0)), true, 0, 0,
         0, ""},
        {"version 3", SpoolRawRecord(SpoolRecPageEnd, 3, std::vector<uint8_t>(60, 0)), false, 0, 0, 0, ""},
        {"version 1 too short", SpoolRawRecord(SpoolRecPageEnd, 1, std::vector<uint8_t>(40, 0)), false, 0, 0, 0, ""},
        {"version 0 too short", SpoolRawRecord(SpoolRecPageEnd, 0, std::vector<uint8_t>(10, 0)), false, 0, 0, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = c.bytes;
        const size_t end = bytes.size();
        bytes.insert(bytes.end(), {0xEE, 0xEE, 0xEE, 0xEE});  // whatever follows is not read
        MemoryStream memory(bytes, true, 0);
        Stream* stream = MemoryStreamOpen(&memory);
        SheetInsertRequest request{};
        EXPECT_EQ(PageParamsRead(stream, &page, &request), c.ok);
        if (c.ok) {
            EXPECT_EQ(stream->position, end);
            EXPECT_EQ(request.sheetSize[0], c.width);
            EXPECT_EQ(request.paperCode, c.paper);
            EXPECT_EQ(request.mode, c.mode);
            EXPECT_EQ(std::string(request.paperName, strnlen(request.paperName, 32)), c.paperName);
        }
        StreamClose(stream);
    }
    // Version 0: the margins come from the page too.
    MemoryStream memory(SpoolBuilder().PageEnd({{"v", 0}}).Data(), true, 0);
    Stream* stream = MemoryStreamOpen(&memory);
    SheetInsertRequest request{};
    ASSERT_TRUE(PageParamsRead(stream, &page, &request));
    EXPECT_EQ(request.sheetSize[1], 2000u);
    EXPECT_EQ(request.margins[0], 11);
    StreamClose(stream);
}

TEST(PageHeader, ByPageNumberFromThePageSource)
{
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", 200}, {"res_y", 200}});
    std::vector<uint32_t> pages;
    for (int i = 0; i < 3; ++i) {
        pages.push_back(b.Position());
        b.PageBegin({{"width", 100 + i}, {"height", 2200}}).PageEnd();
    }
    b.JobEnd();
    MemoryStream memory(b.Data(), true, 0);
    Stream* stream = MemoryStreamOpen(&memory);
    ASSERT_EQ(StreamSeek(stream, static_cast<int32_t>(pages[0]), 0), static_cast<int32_t>(pages[0]));
    PageSource* source = PageSourceOpen(stream, nullptr);
    ASSERT_NE(source, nullptr);
    PageHeader h{};
    for (uint32_t n = 0; n < 3; ++n) {  // pages are indexed as they are first met
        ASSERT_TRUE(PageSourceHeaderPeek(source, n, &h));
        EXPECT_EQ(h.width, static_cast<int32_t>(100 + n));
        EXPECT_EQ(stream->position, pages[n]);  // a peek leaves the record to be read
    }
    ASSERT_TRUE(PageSourceHeaderRead(source, 1, &h));
    EXPECT_EQ(h.width, 101);
    EXPECT_EQ(stream->position, pages[1] + PageHeaderFixedSize(h.header.version));
    EXPECT_FALSE(PageSourceHeaderPeek(source, 3, &h));  // past the last page
    EXPECT_FALSE(PageSourceHeaderRead(source, 3, &h));
    PageSourceClose(source);
    StreamClose(stream);
}
