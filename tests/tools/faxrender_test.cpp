// faxrender's host: the fax block it builds, the job header it puts the block into, and a job
// without pages rendered through ImeRender and the real fax module from every kind of feed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/page/preamble.h"
#include "outmodule/pelvane_job.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"
#include "tests/support/watchdog.h"
#include "tools/faxrender/fax_block.h"
#include "tools/faxrender/fax_host.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t Load16(const Bytes& b, uint32_t at) { return static_cast<uint32_t>(b[at] | (b[at + 1] << 8)); }

TEST(FaxBlock, FieldsLieWhereTheFaxModuleReadsThem)
{
    FaxBlockOptions options;
    options.numbers = {"+1 555 0100", std::string(63, '7')};
    options.dpiX = 204;
    options.dpiY = 98;
    options.contrast = -50;
    options.brightness = 12;
    options.expectedDocuments = 3;
    Bytes block;
    std::string error;
    ASSERT_TRUE(FaxBlockBuild(options, &block, &error)) << error;
    ASSERT_EQ(block.size(), IMO_OEM_DATA_SIZE);
    EXPECT_EQ(Load16(block, IMO_OEM_FORMAT) | Load16(block, IMO_OEM_FORMAT + 2) << 16, 0x80u);
    EXPECT_EQ(Load16(block, IMO_OEM_HALFTONE_FLAG), 0u);
    EXPECT_EQ(Load16(block, IMO_OEM_X_RESOLUTION), 204u);
    EXPECT_EQ(Load16(block, IMO_OEM_Y_RESOLUTION), 98u);
    EXPECT_EQ(static_cast<int16_t>(Load16(block, IMO_OEM_CONTRAST)), -50);
    EXPECT_EQ(static_cast<int16_t>(Load16(block, IMO_OEM_BRIGHTNESS)), 12);
    EXPECT_EQ(Load16(block, IMO_OEM_NUMBER_COUNT), 2u);
    EXPECT_EQ(Load16(block, IMO_OEM_EXPECTED_DOCUMENTS), 3u);
    EXPECT_STREQ(reinterpret_cast<const char*>(&block[IMO_OEM_NUMBERS]), "+1 555 0100");
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(&block[IMO_OEM_NUMBERS + IMO_OEM_NUMBER_SIZE])),
              std::string(63, '7'));  // the 64th byte stays NUL

    const struct {
        const char* what;
        FaxBlockOptions options;
    } bad[] = {
        {"51 numbers", {std::vector<std::string>(51, "1")}},
        {"a number of 64 characters", {{std::string(64, '1')}}},
        {"an empty number", {{""}}},
        {"resolution 0", {{"1"}, 0, 196}},
        {"contrast 51", {{"1"}, 204, 196, 51}},
        {"no expected documents", {{"1"}, 204, 196, 0, 0, 0}},
    };
    for (const auto& c : bad) {
        error.clear();
        EXPECT_FALSE(FaxBlockBuild(c.options, &block, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
    }
}

// The engine's own preamble reader is the judge of the patched job header.
bool ReadBack(const Bytes& spool, Bytes* blob)
{
    MemoryStream memory(spool);
    Stream* stream = MemoryStreamOpen(&memory);
    JobHeader header{};
    JobDataList data;
    JobDataListInit(&data);
    const bool ok = JobPreambleRead(nullptr, stream, &header, &data);
    if (ok) {
        blob->assign(header.oemBlob, header.oemBlob + header.blobSize);
        JobHeaderFree(&header);
    }
    JobDataListFree(&data);
    StreamClose(stream);
    return ok;
}

TEST(FaxBlock, ReplacesTheJobHeadersBlobOfEachVersion)
{
    const Bytes blob(IMO_OEM_DATA_SIZE, 0x5A);
    for (const int version : {0, 1, 2}) {
        for (const Bytes& old : {Bytes{}, Bytes(10, 0xEE), Bytes(5000, 0x11)}) {
            SpoolBuilder builder;
            builder.Signature().StreamVersion(2).Add("job_data", {{"data", Bytes{1, 2, 3}}});
            builder.JobHeader({{"v", version}, {"copies", 1}, {"data", old}}).JobEnd();
            Bytes spool = builder.Data();
            std::string error;
            ASSERT_TRUE(SpoolJobHeaderBlobSet(&spool, blob, &error)) << error;
            Bytes read;
            ASSERT_TRUE(ReadBack(spool, &read)) << "version " << version;
            EXPECT_EQ(read, blob) << "version " << version << ", old blob " << old.size();
        }
    }
}

TEST(FaxBlock, RefusesStreamsWithoutAUsableJobHeader)
{
    const Bytes blob(IMO_OEM_DATA_SIZE, 0);
    Bytes cut = SpoolBuilder().Signature().StreamVersion(2).JobHeader().Data();
    cut.resize(cut.size() - 1);
    const struct {
        const char* what;
        Bytes spool;
    } cases[] = {
        {"empty", {}},
        {"page before the header", SpoolBuilder().Signature().Page().JobHeader().JobEnd().Data()},
        {"cut header", cut},
        {"record of size 4", SpoolBuilder().Signature().Raw(70, 0, {}, 4).JobHeader().Data()},
        {"unknown header version", SpoolBuilder().Signature().Raw(1, 9, Bytes(200, 0)).JobEnd().Data()},
    };
    for (const auto& c : cases) {
        Bytes spool = c.spool;
        std::string error;
        EXPECT_FALSE(SpoolJobHeaderBlobSet(&spool, blob, &error)) << c.what;
        EXPECT_FALSE(error.empty()) << c.what;
        EXPECT_EQ(spool, c.spool) << c.what;
    }
}

// What the fax module writes for a job without pages (as its own tests expect it).
const std::string kHeaderAndEnd =
    "\x1b%-12345X@PJL\r\n"
    "@PJL SET DRIVERTYPE = QUOBA\r\n"
    "@PJL SET COMPRESS = JBIG\r\n"
    "@PJL SET FAXCOUNT = 2\r\n"
    "@PJL SET FAXTEL = +15550100\r\n"
    "@PJL SET FAXTEL = 080042\r\n"
    "@PJL EOJ\r\n"
    "\x1b%-12345X\r\n";

Bytes PagelessJob()
{
    SpoolBuilder builder;
    builder.Signature().StreamVersion(2).JobHeader(
        {{"copies", 1}, {"res_x", 204}, {"res_y", 196}, {"extent1_w", 1728}, {"extent1_h", 2292}});
    builder.JobEnd();
    Bytes spool = builder.Data();
    FaxBlockOptions options;
    options.numbers = {"+1 555 0100", "0800 42"};
    Bytes block;
    std::string error;
    EXPECT_TRUE(FaxBlockBuild(options, &block, &error)) << error;
    EXPECT_TRUE(SpoolJobHeaderBlobSet(&spool, block, &error)) << error;
    return spool;
}

class FaxRenderTest : public ::testing::Test {
protected:
    uint32_t Render(const Bytes& spool, FaxFeed feed, bool progressRecord, std::string* written, uint32_t chunk = 7)
    {
        FaxRenderSettings settings;
        settings.moduleFileName = PELVANE_LIBRARY;
        settings.configuration = "pelvane";
        settings.feed = feed;
        settings.progressRecord = progressRecord;
        settings.producerChunk = chunk;
        settings.sink = [written](const uint8_t* bytes, uint32_t length) {
            written->append(reinterpret_cast<const char*>(bytes), length);
            return true;
        };
        return FaxRender(spool, settings);
    }
};

TEST_F(FaxRenderTest, AJobWithoutPagesGivesTheSameHeaderAndEndFromEveryFeed)
{
    const Bytes spool = PagelessJob();
    const struct {
        const char* what;
        FaxFeed feed;
        bool progressRecord;
    } feeds[] = {
        {"seekable", FaxFeed::Seekable, false},
        {"forward-only", FaxFeed::ForwardOnly, false},
        {"producer", FaxFeed::Producer, false},
        {"producer with progress record", FaxFeed::Producer, true},
    };
    RunWithWatchdog("feeds", 60, [&] {
        for (const auto& f : feeds) {
            std::string written;
            EXPECT_EQ(Render(spool, f.feed, f.progressRecord, &written), 0u) << f.what;
            EXPECT_EQ(written, kHeaderAndEnd) << f.what;
        }
    });
}

TEST_F(FaxRenderTest, ProgressReportsEveryByteReadAndWritten)
{
    const Bytes spool = PagelessJob();
    FaxRenderSettings settings;
    settings.moduleFileName = PELVANE_LIBRARY;
    settings.configuration = "pelvane";
    settings.sink = [](const uint8_t*, uint32_t) { return true; };
    settings.progressSeconds = 0;
    uint64_t lastRead = 0, lastWritten = 0;
    uint32_t reports = 0;
    settings.progress = [&](uint64_t read, uint64_t written) {
        EXPECT_GE(read, lastRead);
        EXPECT_GE(written, lastWritten);
        lastRead = read;
        lastWritten = written;
        ++reports;
    };
    ASSERT_EQ(FaxRender(spool, settings), 0u);
    EXPECT_GT(reports, 1u);
    EXPECT_EQ(lastRead, spool.size());
    EXPECT_EQ(lastWritten, kHeaderAndEnd.size());
}

TEST_F(FaxRenderTest, FailuresSayWhatFailed)
{
    std::string written;
    FaxRenderSettings settings;
    settings.moduleFileName = "/nonexistent/libpelvane.so";
    settings.sink = [](const uint8_t*, uint32_t) { return true; };
    const uint32_t missing = FaxRender(PagelessJob(), settings);
    EXPECT_EQ(missing, static_cast<uint32_t>(ERROR_MOD_NOT_FOUND));
    EXPECT_NE(FaxRenderResultText(missing).find("output module could not be loaded"), std::string::npos);

    // A spool stream that ends inside its job header: the engine rejects it, the module cancels.
    Bytes cut = PagelessJob();
    cut.resize(100);
    RunWithWatchdog("cut", 60, [&] {
        for (const FaxFeed feed : {FaxFeed::Seekable, FaxFeed::ForwardOnly, FaxFeed::Producer}) {
            written.clear();
            const uint32_t result = Render(cut, feed, feed == FaxFeed::Producer, &written);
            EXPECT_EQ(result, static_cast<uint32_t>(ERROR_INVALID_DATA));
            EXPECT_NE(FaxRenderResultText(result).find("spool stream is invalid"), std::string::npos);
        }
    });
    EXPECT_NE(FaxRenderResultText(static_cast<uint32_t>(IMX_ERR_WRITE)).find("writing the fax job failed"),
              std::string::npos);
}

}  // namespace
