// The overlay render call with the real fax module: a form file of rectangle fills renders to the
// same fax job as the same records given to ImeRender as a spool stream of the caller's, and its
// page decodes to the painted form.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/job/render_call.h"
#include "engine/job/render_overlay.h"
#include "platform/kernel.h"
#include "tests/outmodule/fax_job_output.h"
#include "tests/support/jbig_oracle.h"
#include "tests/support/memory_stream.h"
#include "tests/support/pelvane_host.h"
#include "tests/support/spool_builder.h"
#include "tools/faxview/fax_job_parse.h"

namespace {

constexpr uint32_t kWidth = 1728, kHeight = 2292;
constexpr uint32_t kBlack = 0x80000000;
const RECT kFills[] = {{100, 100, 1628, 180}, {100, 300, 900, 1100}, {33, 2000, 1695, 2001}};

std::vector<uint8_t> FormRecords(uint32_t id)
{
    SpoolBuilder b;
    b.Add("form_begin", {{"id", id}, {"res_x", 204}, {"res_y", 196}, {"width", kWidth}, {"height", kHeight}});
    for (const RECT& r : kFills)
        b.Add("cmd_rectfill",
              {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}, {"brush", kBlack}});
    b.Add("form_end");
    return b.Data();
}

TEST(PelvaneOverlay, AFormFileRendersAsTheSameJobThroughEitherCall)
{
    ASSERT_TRUE(JbigkitAvailable());
    const FaxBlock block({"+1 555 0100"}, 1, 204, 196);
    const std::vector<uint8_t>& blob = block.bytes;
    const uint32_t n = static_cast<uint32_t>(blob.size());

    char formPath[] = "/tmp/overlay_e2e_form_XXXXXX";
    const int formFd = mkstemp(formPath);
    ASSERT_GE(formFd, 0);
    const std::vector<uint8_t> form = FormRecords(9);
    ASSERT_EQ(write(formFd, form.data(), form.size()), static_cast<ssize_t>(form.size()));
    close(formFd);
    char outPath[] = "/tmp/overlay_e2e_out_XXXXXX";
    const int outFd = mkstemp(outPath);
    ASSERT_GE(outFd, 0);
    close(outFd);

    HANDLE out = CreateFileA(outPath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(out, INVALID_HANDLE_VALUE);
    RenderOptions overlayOptions{};
    const uint32_t overlayResult =
        ImeRenderOverlay(PELVANE_LIBRARY, &overlayOptions, nullptr, formPath, out, blob.data(), n);
    CloseHandle(out);
    std::ifstream in(outPath, std::ios::binary);
    const std::vector<uint8_t> overlayJob((std::istreambuf_iterator<char>(in)), {});
    std::remove(formPath);
    std::remove(outPath);

    // The same job written by a host: the records the overlay call makes around the form.
    SpoolBuilder b;
    b.Signature().StreamVersion(2).JobHeader({{"v", 1}, {"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"data", blob}});
    std::vector<uint8_t> formAs5 = FormRecords(5);
    b.Bytes(formAs5);
    std::vector<uint8_t> page = SpoolRawRecord(SpoolRecPageBegin, 1, std::vector<uint8_t>(96, 0), 104 + n);
    page[8] = 0x00, page[9] = 0x08;  // 2048
    for (int i = 0; i < 4; ++i) {
        page[12 + i] = static_cast<uint8_t>(kWidth >> (8 * i));
        page[16 + i] = static_cast<uint8_t>(kHeight >> (8 * i));
        page[100 + i] = static_cast<uint8_t>(n >> (8 * i));
    }
    page[44] = 5;
    page[63] = page[64] = page[65] = 1;
    page.insert(page.end(), blob.begin(), blob.end());
    b.Bytes(page);
    b.Bytes(SpoolRawRecord(SpoolRecPageEnd, 0, std::vector<uint8_t>(20, 0)));
    b.JobEnd({{"v", 1}, {"data", blob}});
    MemoryStream stream;
    stream.data = b.Data();
    RenderOptions options{};
    std::vector<uint8_t> hostJob;
    const uint32_t hostResult = ImeRender(nullptr, 0, nullptr, PELVANE_LIBRARY, &options, nullptr, &stream, &hostJob,
                                          MemoryStreamRead, MemoryStreamSeek, FaxJobCollect);

    EXPECT_EQ(overlayResult, hostResult);
    EXPECT_EQ(overlayJob, hostJob);
    ASSERT_EQ(overlayResult, 0u);

    FaxJob job;
    std::string error;
    ASSERT_TRUE(FaxJobParse(overlayJob, &job, &error)) << error;
    ASSERT_EQ(job.pages.size(), 1u);
    JbigImage image;
    for (const FaxJobImage& part : job.pages[0].images) {
        JbigImage decoded;
        ASSERT_TRUE(JbigkitDecode(part.bie, decoded));
        image.width = decoded.width;
        image.height += decoded.height;
        image.rows.insert(image.rows.end(), decoded.rows.begin(), decoded.rows.end());
    }
    ASSERT_EQ(image.width, kWidth);
    ASSERT_EQ(image.height, kHeight);
    const size_t stride = (kWidth + 7) / 8;
    size_t wrong = 0;
    for (uint32_t y = 0; y < kHeight; ++y)
        for (uint32_t x = 0; x < kWidth; ++x) {
            bool ink = false;
            for (const RECT& r : kFills)
                ink |= LONG(x) >= r.left && LONG(x) < r.right && LONG(y) >= r.top && LONG(y) < r.bottom;
            wrong += ink != (((image.rows[y * stride + x / 8] >> (7 - x % 8)) & 1) != 0);
        }
    EXPECT_EQ(wrong, 0u);
}

}  // namespace
