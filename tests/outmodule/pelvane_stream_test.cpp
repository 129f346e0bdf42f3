// Pelvane driven slot by slot in the engine's order: the job stream parsed line by line, every
// image's chunks joined and decoded by jbigkit against the bands given.
#include <gtest/gtest.h>

#include <algorithm>

#include <random>

#include "tests/support/jbig_oracle.h"
#include "tests/support/pelvane_host.h"

namespace {

using Lines = std::vector<std::string>;

Lines Join(std::initializer_list<Lines> parts)
{
    Lines all;
    for (const Lines& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct Page {
    uint32_t width;
    uint32_t height;
    std::vector<uint8_t> rows;  // (width + 7) / 8 bytes a row
};

// Sends a page as bands of bandRows rows: a band every `skip`-th time is left out (its rows must
// come out white), and every third band is blank (no data).
void SendPage(PelvaneHost& host, const Page& page, uint32_t bandRows, uint32_t skip = 0)
{
    const uint32_t stride = (page.width + 31) / 32 * 4;
    const RECT destination = {0, 0, static_cast<LONG>(page.width), static_cast<LONG>(page.height)};
    ASSERT_EQ(host.slots.ImageBegin(host.job, 0, &destination, 0, 0, nullptr), IMX_OK);
    const uint32_t rowBytes = (page.width + 7) / 8;
    uint32_t band = 0;
    for (uint32_t top = 0; top < page.height; top += bandRows, ++band) {
        const uint32_t rows = std::min(bandRows, page.height - top);
        if (skip != 0 && band % skip == skip - 1) continue;
        std::vector<uint8_t> bits(static_cast<size_t>(stride) * rows, 0xA5);
        for (uint32_t r = 0; r < rows; ++r) std::memcpy(&bits[r * stride], &page.rows[(top + r) * rowBytes], rowBytes);
        ImxImage image{};
        image.formatId = OCM_COLOR_GRAY1;
        image.y = static_cast<int32_t>(top);
        image.width = page.width;
        image.height = rows;
        image.planeCount = 1;
        image.planes[0].depth = 1;
        image.planes[0].dataPresent = band % 3 == 2 ? 0 : 1;
        image.planes[0].width = page.width;
        image.planes[0].height = rows;
        image.planes[0].stride = stride;
        image.planes[0].data = bits.data();
        ASSERT_EQ(host.slots.BandAdd(host.job, &image), IMX_OK);
    }
    ASSERT_EQ(host.slots.ImageEnd(host.job), IMX_OK);
}

// The page as the device should see it after the band rules above.
Page Expected(const Page& page, uint32_t bandRows, uint32_t skip)
{
    Page out = page;
    const uint32_t rowBytes = (page.width + 7) / 8;
    for (uint32_t top = 0, band = 0; top < page.height; top += bandRows, ++band) {
        const bool white = (skip != 0 && band % skip == skip - 1) || band % 3 == 2;
        for (uint32_t r = top; r < std::min(top + bandRows, page.height); ++r)
            if (white) std::fill_n(&out.rows[r * rowBytes], rowBytes, 0);
    }
    // The bits past the width are not part of the image.
    if (page.width % 8 != 0)
        for (uint32_t r = 0; r < page.height; ++r)
            out.rows[r * rowBytes + rowBytes - 1] &= static_cast<uint8_t>(0xFF << (8 - page.width % 8));
    return out;
}

Page Noise(uint32_t width, uint32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    Page page{width, height, std::vector<uint8_t>(static_cast<size_t>((width + 7) / 8) * height)};
    for (auto& b : page.rows) b = static_cast<uint8_t>(random());
    return page;
}

void ExpectImage(const std::vector<uint8_t>& bie, const Page& page)
{
    ASSERT_TRUE(JbigkitAvailable());
    JbigImage decoded;
    ASSERT_TRUE(JbigkitDecode(bie, decoded));
    ASSERT_EQ(decoded.width, page.width);
    ASSERT_EQ(decoded.height, page.height);
    EXPECT_TRUE(decoded.rows == page.rows);
}

void ExpectBlank(const std::vector<uint8_t>& bie, uint32_t width, uint32_t height)
{
    ExpectImage(bie, Page{width, height, std::vector<uint8_t>(static_cast<size_t>((width + 7) / 8) * height, 0)});
}

const uint32_t kDpi[2] = {200, 200};

ImxPlane Plane1(uint32_t width, uint32_t height, uint32_t stride, uint8_t* data)
{
    ImxPlane plane{};
    plane.depth = 1;
    plane.dataPresent = 1;
    plane.width = width;
    plane.height = height;
    plane.stride = stride;
    plane.data = data;
    return plane;
}

TEST(PelvaneStream, OneDocumentWithANoisePageAndBlankSheetsOfEachSides)
{
    PelvaneHost host;
    ASSERT_EQ(host.initialized, IMX_OK);
    FaxBlock block({"555 12 34", " 0 800\r\n9"});
    ASSERT_EQ(host.slots.JobBegin(host.job, 1), IMX_OK);
    ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
    const uint32_t size[2] = {6003, 3000};  // 1201 x 600 pixels
    ASSERT_EQ(host.slots.SheetBegin(host.job, kDpi, size, 1, "Letter", 0, 1), IMX_OK);
    const Page noise = Noise(1201, 600, 1);
    SendPage(host, noise, 64, 4);
    ASSERT_EQ(host.slots.SheetEnd(host.job), IMX_OK);
    for (uint32_t sides : {0u, 1u, 2u})
        ASSERT_EQ(host.slots.SheetBlank(host.job, kDpi, size, 1, "Letter", sides, 1), IMX_OK);
    ASSERT_EQ(host.slots.DocEnd(host.job, 0, nullptr), IMX_OK);
    ASSERT_EQ(host.slots.JobEnd(host.job), IMX_OK);

    const ParsedStream parsed = ParseJobStream(host.stream);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.items,
              Join({JobHeaderLines({"5551234", "08009"}), SheetLines(1201, 600, 200, 1), SheetLines(1201, 600, 200, 1),
                    SheetLines(1201, 600, 200, 2), SheetLines(1201, 600, 200, 2), JobEndLines()}));
    ASSERT_EQ(parsed.images.size(), 6u);
    // The noise page is larger than one chunk: every chunk but the last is full.
    ASSERT_GT(parsed.chunkSizes[0].size(), 1u);
    for (size_t i = 0; i + 1 < parsed.chunkSizes[0].size(); ++i) EXPECT_EQ(parsed.chunkSizes[0][i], 32768u);
    ExpectImage(parsed.images[0], Expected(noise, 64, 4));
    for (size_t i = 1; i < 6; ++i) ExpectBlank(parsed.images[i], 1201, 600);
}

TEST(PelvaneStream, TwoDocumentsShareOneHeaderAndOneEnd)
{
    FaxBlock block({}, 2);
    {
        PelvaneHost host;
        const uint32_t size[2] = {1000, 500};
        for (int document = 0; document < 2; ++document) {
            ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
            ASSERT_EQ(host.slots.SheetBlank(host.job, kDpi, size, 1, "A", 0, 1), IMX_OK);
            ASSERT_EQ(host.slots.DocEnd(host.job, 0, nullptr), IMX_OK);
        }
        ASSERT_EQ(host.slots.JobEnd(host.job), IMX_OK);
        const ParsedStream parsed = ParseJobStream(host.stream);
        ASSERT_TRUE(parsed.ok) << parsed.error;
        EXPECT_EQ(parsed.items, Join({JobHeaderLines({}), SheetLines(200, 100, 200, 1), SheetLines(200, 100, 200, 1),
                                      JobEndLines()}));
    }
    // The next fax job in the process writes its own header.
    FaxBlock single({"1"});
    PelvaneHost next;
    ASSERT_EQ(next.slots.DocBegin(next.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, single.bytes.data()), IMX_OK);
    ASSERT_EQ(next.slots.DocEnd(next.job, 0, nullptr), IMX_OK);
    EXPECT_EQ(ParseJobStream(next.stream).items, Join({JobHeaderLines({"1"}), JobEndLines()}));
}

TEST(PelvaneStream, AFaxNumberCannotEndThePjlContextOrStartACommand)
{
    const struct {
        const char* what;
        std::string number;
        std::string written;
    } cases[] = {
        {"the language exit", "12\x1b%-12345X@PJL ENTER LANGUAGE", "12%-12345X@PJLENTERLANGUAGE"},
        {"control bytes", std::string("5\x01\x7f\t6\0", 6), "56"},
        {"bytes outside ASCII", "0800 \xc3\xa9 42", "080042"},
        {"everything a sheet allows", "+49 (0) 30-12#34*P", "+49(0)30-12#34*P"},
    };
    for (const auto& c : cases) {
        PelvaneHost host;
        FaxBlock block({c.number});
        ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
        ASSERT_EQ(host.slots.DocEnd(host.job, 0, nullptr), IMX_OK);
        const std::string stream(host.stream.begin(), host.stream.end());
        EXPECT_NE(stream.find("@PJL SET FAXTEL = " + c.written + "\r\n"), std::string::npos) << c.what << "\n"
                                                                                             << stream;
        // The escapes that open and close the job, no other.
        EXPECT_EQ(std::count(stream.begin(), stream.end(), '\x1b'), 2) << c.what;
    }
}

TEST(PelvaneStream, ANarrowSheetKeepsTheEncoderAndAWiderOneReplacesIt)
{
    PelvaneHost host;
    FaxBlock block({});
    ASSERT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
    const uint32_t wide[2] = {2000, 400};
    const uint32_t narrow[2] = {1000, 300};
    ASSERT_EQ(host.slots.SheetBlank(host.job, kDpi, narrow, 1, "A", 0, 1), IMX_OK);
    ImxJBIGEncoder* first = host.job->encoder;
    ASSERT_EQ(host.slots.SheetBlank(host.job, kDpi, wide, 1, "A", 0, 1), IMX_OK);
    ImxJBIGEncoder* second = host.job->encoder;
    EXPECT_NE(second, nullptr);
    ASSERT_EQ(host.slots.SheetBegin(host.job, kDpi, narrow, 1, "A", 0, 1), IMX_OK);
    EXPECT_EQ(host.job->encoder, second);
    ASSERT_EQ(host.slots.ImageBlank(host.job, 0, nullptr), IMX_OK);
    ASSERT_EQ(host.slots.SheetEnd(host.job), IMX_OK);
    (void)first;
    ASSERT_EQ(host.slots.DocEnd(host.job, 0, nullptr), IMX_OK);
    const ParsedStream parsed = ParseJobStream(host.stream);
    ASSERT_TRUE(parsed.ok) << parsed.error;
    ASSERT_EQ(parsed.images.size(), 3u);
    ExpectBlank(parsed.images[0], 200, 60);
    ExpectBlank(parsed.images[1], 400, 80);
    ExpectBlank(parsed.images[2], 200, 60);
}

TEST(PelvaneStream, AFailedWriteMakesTheJobFailWhileLaterLinesAreTried)
{
    // The same job with the write failing from each call on.
    uint32_t totalCalls = 0;
    for (uint32_t failFrom = 1;; ++failFrom) {
        PelvaneHost host;
        host.failFrom = failFrom;
        FaxBlock block({"12"});
        const uint32_t size[2] = {3003, 3000};
        host.slots.JobBegin(host.job, 1);
        host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data());
        host.slots.SheetBegin(host.job, kDpi, size, 1, "A", 0, 1);
        const Page noise = Noise(601, 600, 2);
        const RECT destination = {0, 0, 601, 600};
        host.slots.ImageBegin(host.job, 0, &destination, 0, 0, nullptr);
        ImxImage band{};
        band.formatId = OCM_COLOR_GRAY1;
        band.width = 601;
        band.height = 600;
        band.planeCount = 1;
        band.planes[0] = Plane1(601, 600, 76, const_cast<uint8_t*>(noise.rows.data()));
        host.slots.BandAdd(host.job, &band);
        host.slots.ImageEnd(host.job);
        host.slots.SheetEnd(host.job);
        const ImxStatus docEnd = host.slots.DocEnd(host.job, 0, nullptr);
        const ImxStatus jobEnd = host.slots.JobEnd(host.job);
        if (failFrom == 1) totalCalls = static_cast<uint32_t>(host.writes.size());
        EXPECT_EQ(docEnd, IMX_ERR_WRITE) << failFrom;
        EXPECT_EQ(jobEnd, IMX_ERR_WRITE) << failFrom;
        // The end lines are still attempted after the failure.
        EXPECT_GE(host.writes.size(), failFrom + 1) << failFrom;
        if (failFrom >= totalCalls - 1) break;
    }
    EXPECT_GT(totalCalls, 5u);
}

TEST(PelvaneStream, StagedWritesKeepTheOrderOfTheCalls)
{
    PelvaneHost host;
    std::vector<uint8_t> bytes(5000);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    // Exactly 2,048 bytes into an empty buffer are staged.
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data(), 2048), 1u);
    EXPECT_TRUE(host.writes.empty());
    EXPECT_EQ(host.job->stagingCount, 2048u);
    ImoJobFlush(host.job);
    // 2,049 go out at once.
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data(), 2049), 1u);
    EXPECT_EQ(host.writes, (std::vector<uint32_t>{2048, 2049}));
    // 100 bytes into a buffer of 2,000 fill it, flush it and stage the last 52.
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data(), 2000), 1u);
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data() + 2000, 100), 1u);
    EXPECT_EQ(host.writes.back(), 2048u);
    EXPECT_EQ(host.job->stagingCount, 52u);
    // A big write behind staged bytes: the staged ones first.
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data() + 2100, 2900), 1u);
    ImoJobFlush(host.job);
    std::vector<uint8_t> expected(bytes.begin(), bytes.begin() + 2048);
    expected.insert(expected.end(), bytes.begin(), bytes.begin() + 2049);
    expected.insert(expected.end(), bytes.begin(), bytes.end());
    EXPECT_EQ(host.stream, expected);
    // Once a write failed the writer reports it for good.
    host.failFrom = static_cast<uint32_t>(host.writes.size()) + 1;
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data(), 3000), 0u);
    EXPECT_EQ(ImoJobWrite(host.job, bytes.data(), 10), 0u);
}

TEST(PelvaneStream, BandsOfAnotherFormatOrPlaceAreRefused)
{
    PelvaneHost host;
    FaxBlock block({});
    host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data());
    const uint32_t size[2] = {1000, 1000};
    host.slots.SheetBegin(host.job, kDpi, size, 1, "A", 0, 1);
    const RECT destination = {0, 0, 200, 200};
    ASSERT_EQ(host.slots.ImageBegin(host.job, 0, &destination, 0, 0, nullptr), IMX_OK);
    std::vector<uint8_t> bits(32 * 10);
    ImxImage band{};
    band.formatId = OCM_COLOR_GRAY8;
    band.width = 200;
    band.height = 10;
    band.planeCount = 1;
    band.planes[0] = Plane1(200, 10, 32, bits.data());
    EXPECT_EQ(host.slots.BandAdd(host.job, &band), IMX_ERR_UNSUPPORTED);
    band.formatId = OCM_COLOR_GRAY1;
    band.x = 8;
    EXPECT_EQ(host.slots.BandAdd(host.job, &band), IMX_ERR_UNSUPPORTED);
    band.x = 0;
    band.y = 50;
    EXPECT_EQ(host.slots.BandAdd(host.job, &band), IMX_OK);
    band.y = 0;  // rows already coded
    EXPECT_EQ(host.slots.BandAdd(host.job, &band), IMX_ERR_UNSUPPORTED);
    EXPECT_EQ(host.slots.ImageEnd(host.job), IMX_OK);
    host.slots.SheetEnd(host.job);
    // Without an encoder the image slots fail instead of touching it.
    host.slots.DocEnd(host.job, 0, nullptr);
    EXPECT_EQ(host.slots.ImageBegin(host.job, 0, &destination, 0, 0, nullptr), IMX_ERR_WRITE);
    EXPECT_EQ(host.slots.ImageBlank(host.job, 0, nullptr), IMX_ERR_WRITE);
    EXPECT_EQ(host.slots.ImageEnd(host.job), IMX_ERR_WRITE);
}

TEST(PelvaneStream, JobAbortCancelsAndFreesTheTableEntry)
{
    FaxBlock block({"1"}, 3);
    PelvaneHost host;
    host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data());
    host.slots.JobAbort(host.job);
    const ParsedStream parsed = ParseJobStream(host.stream);
    EXPECT_EQ(parsed.items.back(), "@PJL SET JOBSTATUS = CANCEL");
    EXPECT_EQ(host.job->halftoneSet, nullptr);
    for (uint32_t i = 0; i < IMO_JOB_TABLE_SIZE; ++i) EXPECT_NE(ImoJobTableEntries()[i].job, host.job);
}

TEST(PelvaneStream, PaperWidthRoundsToTheNearestPixel)
{
    PelvaneHost host;
    FaxBlock block({});
    host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data());
    const uint32_t resolution[2] = {203, 196};
    const uint32_t size[2] = {8500, 11000};
    host.stream.clear();
    ASSERT_EQ(host.slots.SheetBegin(host.job, resolution, size, 1, "Letter", 0, 1), IMX_OK);
    EXPECT_EQ(ParseJobStream(host.stream).items, (Lines{"@PJL SET PAGESTATUS = START", "@PJL SET PAPERWIDTH = 1726",
                                                        "@PJL SET PAPERLENGTH = 2156", "@PJL SET RESOLUTION = 196"}));
}

}  // namespace
