// The overlay render call's synthetic stream: its records and segments as laid out around a form
// file, reads across segments, seeks at and past the ends, and the call's refusals.
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/common/byte_order.h"
#include "engine/job/render_overlay.h"
#include "engine/spool/spool_records.h"
#include "platform/kernel.h"
#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A form-begin record: form id, resolution and size as the form file stores them.
Bytes FormBegin(uint32_t id)
{
    Bytes payload(20, 0);
    StoreLE32(payload.data() + 0, id);
    StoreLE32(payload.data() + 4, 204);  // resolution
    StoreLE32(payload.data() + 8, 196);
    StoreLE32(payload.data() + 12, 1728);  // size
    StoreLE32(payload.data() + 16, 2292);
    return SpoolRawRecord(SpoolRecFormBegin, 0, payload);
}

struct FormFile {
    std::string path;
    Bytes bytes;
    explicit FormFile(const Bytes& content) : bytes(content)
    {
        char name[] = "/tmp/overlay_form_XXXXXX";
        const int fd = mkstemp(name);
        path = name;
        if (fd >= 0) {
            EXPECT_EQ(write(fd, content.data(), content.size()), static_cast<ssize_t>(content.size()));
            close(fd);
        }
    }
    ~FormFile() { std::remove(path.c_str()); }
    HANDLE Open() const
    {
        return CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    }
};

// A form file: a record before the form (skipped), the form-begin record, two drawing records
// and the form end.
Bytes FormFileBytes(uint32_t formId = 9)
{
    Bytes bytes = SpoolRawRecord(SpoolRecReserved64, 0, {1, 2, 3, 4});
    for (const Bytes& r :
         {FormBegin(formId), SpoolRawRecord(SpoolRecReserved64, 0, Bytes(40, 0x5A)),
          SpoolRawRecord(SpoolRecReserved65, 0, Bytes(3, 0x77)), SpoolRawRecord(SpoolRecFormEnd, 0, {})})
        bytes.insert(bytes.end(), r.begin(), r.end());
    return bytes;
}

// The synthetic stream written out from its table, independently of the builder.
Bytes ExpectedStream(const Bytes& form, const Bytes& blob)
{
    const uint32_t n = static_cast<uint32_t>(blob.size());
    const size_t formAt = 12;  // behind the skipped record
    Bytes out = SpoolRawRecord(SpoolRecSignature, 0x664D, {});
    Bytes version(8, 0);
    StoreLE32(version.data(), 2);
    StoreLE32(version.data() + 4, 1);
    Bytes v = SpoolRawRecord(SpoolRecVersion, 0, version);
    out.insert(out.end(), v.begin(), v.end());
    Bytes header(172, 0);
    StoreLE32(header.data() + 4, 1);
    std::memcpy(header.data() + 8, form.data() + formAt + 12, 8);
    StoreLE16(header.data() + 38, 0x71);
    StoreLE32(header.data() + 168, n);
    Bytes h = SpoolRawRecord(SpoolRecJobHeader, 1, header, 180 + n);
    out.insert(out.end(), h.begin(), h.end());
    out.insert(out.end(), blob.begin(), blob.end());
    Bytes begin(form.begin() + formAt, form.begin() + formAt + 28);
    StoreLE32(begin.data() + 8, 5);
    out.insert(out.end(), begin.begin(), begin.end());
    out.insert(out.end(), form.begin() + formAt + 28, form.end());
    Bytes page(96, 0);
    StoreLE32(page.data(), 2048);
    std::memcpy(page.data() + 4, form.data() + formAt + 20, 8);
    StoreLE32(page.data() + 36, 5);
    page[55] = page[56] = page[57] = 1;
    StoreLE32(page.data() + 92, n);
    Bytes p = SpoolRawRecord(SpoolRecPageBegin, 1, page, 104 + n);
    out.insert(out.end(), p.begin(), p.end());
    out.insert(out.end(), blob.begin(), blob.end());
    Bytes e = SpoolRawRecord(SpoolRecPageEnd, 0, Bytes(20, 0));
    out.insert(out.end(), e.begin(), e.end());
    Bytes jobEnd(4, 0);
    StoreLE32(jobEnd.data(), n);
    Bytes j = SpoolRawRecord(SpoolRecJobEnd, 1, jobEnd, 12 + n);
    out.insert(out.end(), j.begin(), j.end());
    out.insert(out.end(), blob.begin(), blob.end());
    return out;
}

Bytes ReadAll(OverlayStream* stream, uint32_t chunk)
{
    Bytes out;
    std::vector<uint8_t> buffer(chunk);
    for (;;) {
        uint32_t got = 0;
        EXPECT_TRUE(OverlayStreamRead(stream, buffer.data(), chunk, &got));
        if (got == 0) break;
        out.insert(out.end(), buffer.begin(), buffer.begin() + got);
    }
    return out;
}

TEST(OverlayStream, SegmentsAndBytesForBlobsOfZeroAndN)
{
    const FormFile form(FormFileBytes());
    const uint32_t L = static_cast<uint32_t>(form.bytes.size() - 12 - 28);
    for (const Bytes& blob : {Bytes{}, Bytes{1, 2, 3, 4, 5}}) {
        HANDLE file = form.Open();
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        OverlayStream stream{};
        ASSERT_EQ(OverlayStreamBuild(file, &stream, blob.data(), static_cast<uint32_t>(blob.size())), 0u);
        const uint32_t n = static_cast<uint32_t>(blob.size());
        EXPECT_EQ(stream.segmentCount, n ? 11u : 8u);
        EXPECT_EQ(stream.totalLength, 376 + 3 * n + L);
        EXPECT_EQ(LoadLE32(stream.formBegin + 8), 5u) << "the form id is 5 whatever the file holds";
        const Bytes expected = ExpectedStream(form.bytes, blob);
        for (uint32_t chunk : {1u, 7u, 28u, 100u, 4096u}) {
            OverlayStreamSeek(&stream, 0, 0);
            EXPECT_EQ(ReadAll(&stream, chunk), expected) << "chunk " << chunk << " blob " << n;
        }
        CloseHandle(file);
    }
}

TEST(OverlayStream, AReadSpansTheMemoryAndFileSegments)
{
    const FormFile form(FormFileBytes());
    HANDLE file = form.Open();
    OverlayStream stream{};
    ASSERT_EQ(OverlayStreamBuild(file, &stream, nullptr, 0), 0u);
    const Bytes expected = ExpectedStream(form.bytes, {});
    // From inside the form-begin copy (memory) well into the form's records (file) and beyond.
    ASSERT_EQ(OverlayStreamSeek(&stream, 220, 0), 220);
    std::vector<uint8_t> buffer(100);
    uint32_t got = 0;
    ASSERT_TRUE(OverlayStreamRead(&stream, buffer.data(), 100, &got));
    ASSERT_EQ(got, 100u);
    EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), expected.begin() + 220));
    EXPECT_FALSE(OverlayStreamRead(&stream, nullptr, 4, &got));
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(GetLastError(), 1784u);
    CloseHandle(file);
}

TEST(OverlayStream, SeeksAreClampedToTheStream)
{
    const FormFile form(FormFileBytes());
    HANDLE file = form.Open();
    OverlayStream stream{};
    ASSERT_EQ(OverlayStreamBuild(file, &stream, nullptr, 0), 0u);
    const int32_t total = static_cast<int32_t>(stream.totalLength);
    struct Case {
        int32_t start, offset;
        uint32_t mode;
        int32_t expected;
    };
    const Case cases[] = {
        {0, 100, 0, 100},        {0, total + 50, 0, total}, {100, -30, 1, 70}, {100, -300, 1, 0},
        {0, -10, 2, total - 10}, {0, 10, 2, total},         {50, -1, 0, 0},
    };
    for (const Case& c : cases) {
        OverlayStreamSeek(&stream, c.start, 0);
        EXPECT_EQ(OverlayStreamSeek(&stream, c.offset, c.mode), c.expected)
            << c.start << " " << c.offset << " " << c.mode;
        EXPECT_EQ(static_cast<int32_t>(stream.position), c.expected);
    }
    OverlayStreamSeek(&stream, 40, 0);
    EXPECT_LT(OverlayStreamSeek(&stream, 0, 3), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(stream.position, 40u) << "an unknown mode leaves the position";
    uint32_t got = 1;
    uint8_t byte;
    OverlayStreamSeek(&stream, 0, 2);
    EXPECT_TRUE(OverlayStreamRead(&stream, &byte, 1, &got));
    EXPECT_EQ(got, 0u) << "reading at the end delivers nothing";
    CloseHandle(file);
}

TEST(OverlayStream, FormFilesThatCannotMakeAStream)
{
    struct Case {
        const char* what;
        Bytes bytes;
        uint32_t expected;
    };
    Bytes cutBegin = FormBegin(3);
    cutBegin.resize(20);
    const Case cases[] = {
        {"no form-begin record", SpoolRawRecord(SpoolRecReserved64, 0, Bytes(30, 1)), 13},
        {"empty file", {}, 13},
        {"a record head of size 0", SpoolRawRecord(SpoolRecReserved64, 0, {}, 0), 13},
        {"a cut form-begin record", cutBegin, 1},
    };
    for (const Case& c : cases) {
        const FormFile form(c.bytes);
        HANDLE file = form.Open();
        OverlayStream stream{};
        EXPECT_EQ(OverlayStreamBuild(file, &stream, nullptr, 0), c.expected) << c.what;
        CloseHandle(file);
        EXPECT_EQ(ImeRenderOverlay("module.so", nullptr, nullptr, form.path.c_str(), nullptr, nullptr, 0), c.expected)
            << c.what;
    }
}

TEST(OverlayRender, ArgumentsAndFilesRefused)
{
    const FormFile form(FormFileBytes());
    EXPECT_EQ(ImeRenderOverlay(nullptr, nullptr, nullptr, form.path.c_str(), nullptr, nullptr, 0), 0xFFFFFFFEu);
    EXPECT_EQ(ImeRenderOverlay("module.so", nullptr, nullptr, nullptr, nullptr, nullptr, 0), 0xFFFFFFFEu);
    EXPECT_EQ(ImeRenderOverlay("module.so", nullptr, nullptr, "/no/such/form", nullptr, nullptr, 0),
              static_cast<uint32_t>(ERROR_PATH_NOT_FOUND));
    // The stream is built, then the module cannot be loaded: the render call's own answer.
    EXPECT_EQ(ImeRenderOverlay("/no/such/module.so", nullptr, nullptr, form.path.c_str(), nullptr, nullptr, 0), 126u);
    // Allocation failures free what was made (the sanitizer checks) and answer 8.
    for (uint32_t at = 1; at <= 2; ++at) {
        RenderAllocFailAt(at);
        EXPECT_EQ(ImeRenderOverlay("module.so", nullptr, nullptr, form.path.c_str(), nullptr, nullptr, 0), 8u) << at;
        RenderAllocFailAt(0);
    }
}

}  // namespace
