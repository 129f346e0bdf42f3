// ImeRender with Pelvane loaded by file name on a job without pages: the device receives the job
// header and the job end, nothing else.
#include <gtest/gtest.h>

#include "engine/job/render_call.h"
#include "tests/pelvane/pelvane_host.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

BOOL Collect(void* argument, const void* bytes, uint32_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(argument);
    const auto* p = static_cast<const uint8_t*>(bytes);
    out->insert(out->end(), p, p + length);
    return TRUE;
}

TEST(PelvaneRender, AJobWithoutPagesWritesTheJobHeaderAndTheJobEnd) {
    FaxBlock block({"+1 555 0100", "0800 42"}, 1, 200, 200);
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader({{"copies", 1}, {"res_x", 200}, {"res_y", 200}, {"data", block.bytes}});
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

}  // namespace
