// ImeRender with Pelvane loaded by file name: a job without pages gives the device the job header
// and the job end, nothing else; a page whose run-length bitmap claims more than the memory budget
// fails the job for lack of memory.
#include <gtest/gtest.h>

#include "engine/job/render_call.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"

namespace {

BOOL Collect(void* argument, const void* bytes, uint32_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(argument);
    const auto* p = static_cast<const uint8_t*>(bytes);
    out->insert(out->end(), p, p + length);
    return TRUE;
}

TEST(PelvaneRender, AJobWithoutPagesWritesTheJobHeaderAndTheJobEnd)
{
    FaxBlock block({"+1 555 0100", "0800 42"}, 1, 200, 200);
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader(
        {{"copies", 1}, {"res_x", 200}, {"res_y", 200}, {"data", block.bytes}});
    builder.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
    MemoryStream stream;
    stream.data = builder.Data();
    RenderOptions options{};
    std::vector<uint8_t> written;
    const uint32_t result = ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream, &written,
                                      MemoryStreamRead, MemoryStreamSeek, Collect);
    EXPECT_EQ(result, 0u);
    const std::string expected =
        "\x1b%-12345X@PJL\r\n"
        "@PJL SET DRIVERTYPE = QUOBA\r\n"
        "@PJL SET COMPRESS = JBIG\r\n"
        "@PJL SET FAXCOUNT = 2\r\n"
        "@PJL SET FAXTEL = +15550100\r\n"
        "@PJL SET FAXTEL = 080042\r\n"
        "@PJL EOJ\r\n"
        "\x1b%-12345X\r\n";
    EXPECT_EQ(std::string(written.begin(), written.end()), expected);
}

// A 36-byte RLE8 record of 16,736,656 x 2 pixels, drawn by BitBlt and StretchBlt: decoding it
// would take 33 MB of rows and a 100 MB picture, past a budget of 128 MB. The job fails for lack
// of memory (8); the same record 1,000 pixels wide renders.
TEST(PelvaneRender, ARunLengthBitmapClaimingMoreThanTheBudgetFailsTheJob)
{
    for (const int32_t width : {16736656, 1000}) {
        SCOPED_TRACE(width);
        FaxBlock block({"+1 555 0100"}, 1, 200, 200);
        SpoolBuilder b;
        b.Signature().StreamVersion(2).JobHeader({{"copies", 1},
                                                  {"res_x", 200},
                                                  {"res_y", 200},
                                                  {"extent1_w", 1728},
                                                  {"extent1_h", 2292},
                                                  {"extent2_w", 1728},
                                                  {"extent2_h", 2292},
                                                  {"data", block.bytes}});
        b.PageBegin({{"width", 1728}, {"height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
        const std::vector<uint8_t> bitmap = SpoolBitmapPayload(3, width, 2, 8, {0x000000, 0xFFFFFF}, {2, 1, 0, 1}, 2);
        ASSERT_EQ(bitmap.size() + 8, 36u);
        b.Raw(kSpoolBitmapType, 0, bitmap);
        b.Raw(kSpoolBitBltType, 0, SpoolBitBltPayload({100, 100, 1700, 102}, {0, 0}, 3));
        b.Raw(kSpoolStretchBltType, 0, SpoolStretchBltPayload({0, 0, width, 2}, {100, 200, 1700, 1000}, 3));
        b.PageEnd({{"sheet_width", 1728}, {"sheet_height", 2292}, {"paper_code", 9}, {"paper_name", "A4"}});
        b.JobEnd({{"v", 1}, {"data", std::vector<uint8_t>{}}});
        MemoryStream stream;
        stream.data = b.Data();
        RenderOptions options{};
        options.memoryLimit = 128u << 20;
        std::vector<uint8_t> written;
        const uint32_t result = ImeRender("pelvane", 7, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream, &written,
                                          MemoryStreamRead, MemoryStreamSeek, Collect);
        EXPECT_EQ(result, width == 1000 ? 0u : static_cast<uint32_t>(ERROR_NOT_ENOUGH_MEMORY));
    }
}

}  // namespace
