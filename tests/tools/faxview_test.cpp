// faxview's reader and decoder on fax jobs that the fax module writes from known bands, and on
// damaged files.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/pelvane_host.h"
#include "tools/faxview/fax_job_parse.h"
#include "tools/faxview/fax_page_image.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Bitmap {
    uint32_t width;
    uint32_t height;
    Bytes rows;  // (width + 7) / 8 bytes a row, 1 = black, padding bits 0
};

Bitmap Noise(uint32_t width, uint32_t height, uint32_t seed, uint32_t blackOneIn)
{
    std::mt19937 random(seed);
    const uint32_t rowBytes = (width + 7) / 8;
    Bitmap b{width, height, Bytes(static_cast<size_t>(rowBytes) * height, 0)};
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x)
            if (random() % blackOneIn == 0) b.rows[y * rowBytes + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
    return b;
}

// One sheet with the bitmap as its image, sent in bands of 64 rows with a 4-byte aligned stride.
void SendSheet(PelvaneHost& host, const Bitmap& page, uint32_t dpi)
{
    const uint32_t resolution[2] = {dpi, dpi};
    const uint32_t size[2] = {page.width * 1000 / dpi, page.height * 1000 / dpi};  // whole pixels
    ASSERT_EQ(host.slots.SheetBegin(host.job, resolution, size, 9, "A4", 0, 1), IMX_OK);
    const RECT destination = {0, 0, static_cast<LONG>(page.width), static_cast<LONG>(page.height)};
    ASSERT_EQ(host.slots.ImageBegin(host.job, 0, &destination, 0, 0, nullptr), IMX_OK);
    const uint32_t rowBytes = (page.width + 7) / 8;
    const uint32_t stride = (page.width + 31) / 32 * 4;
    for (uint32_t top = 0; top < page.height; top += 64) {
        const uint32_t rows = std::min(64u, page.height - top);
        Bytes bits(static_cast<size_t>(stride) * rows, 0);
        for (uint32_t r = 0; r < rows; ++r) std::memcpy(&bits[r * stride], &page.rows[(top + r) * rowBytes], rowBytes);
        ImxImage band{};
        band.formatId = OCM_COLOR_GRAY1;
        band.y = static_cast<int32_t>(top);
        band.width = page.width;
        band.height = rows;
        band.planeCount = 1;
        band.planes[0].depth = 1;
        band.planes[0].dataPresent = 1;
        band.planes[0].width = page.width;
        band.planes[0].height = rows;
        band.planes[0].stride = stride;
        band.planes[0].data = bits.data();
        ASSERT_EQ(host.slots.BandAdd(host.job, &band), IMX_OK);
    }
    ASSERT_EQ(host.slots.ImageEnd(host.job), IMX_OK);
    ASSERT_EQ(host.slots.SheetEnd(host.job), IMX_OK);
}

// A fax job of a sparse page (one chunk), a dense page (several chunks) and a two-sided blank sheet.
struct ModuleJob {
    Bytes stream;
    Bitmap sparse = Noise(1728, 300, 1, 50);
    Bitmap dense = Noise(1000, 500, 2, 2);
};

ModuleJob WriteJob()
{
    ModuleJob job;
    PelvaneHost host;
    EXPECT_EQ(host.initialized, IMX_OK);
    FaxBlock block({"0800 42"}, 1, 200, 200);
    EXPECT_EQ(host.slots.JobBegin(host.job, 1), IMX_OK);
    EXPECT_EQ(host.slots.DocBegin(host.job, nullptr, 0, 0, 1, IMO_OEM_DATA_SIZE, block.bytes.data()), IMX_OK);
    SendSheet(host, job.sparse, 200);
    SendSheet(host, job.dense, 200);
    const uint32_t resolution[2] = {200, 200};
    const uint32_t size[2] = {5000, 1500};  // 1000 x 300 pixels
    EXPECT_EQ(host.slots.SheetBlank(host.job, resolution, size, 9, "A4", 1, 1), IMX_OK);
    EXPECT_EQ(host.slots.DocEnd(host.job, 0, nullptr), IMX_OK);
    EXPECT_EQ(host.slots.JobEnd(host.job), IMX_OK);
    job.stream = host.stream;
    return job;
}

void ExpectPixels(const FaxBitmap& got, const Bitmap& want, const char* what)
{
    ASSERT_EQ(got.width, want.width) << what;
    ASSERT_EQ(got.height, want.height) << what;
    EXPECT_TRUE(got.rows == want.rows) << what;
}

TEST(FaxView, RoundTripsPagesTheFaxModuleWrote)
{
    const ModuleJob module = WriteJob();
    FaxJob job;
    std::string error;
    ASSERT_TRUE(FaxJobParse(module.stream, &job, &error)) << error;
    EXPECT_TRUE(job.ended);
    EXPECT_FALSE(job.cancelled);
    EXPECT_EQ(job.numbers, std::vector<std::string>{"080042"});
    EXPECT_EQ(job.lines.front(), "\x1b%-12345X@PJL");
    EXPECT_EQ(job.lines.back(), "\x1b%-12345X");
    ASSERT_EQ(job.pages.size(), 3u);
    for (const FaxJobPage& page : job.pages) {
        EXPECT_TRUE(page.ended);
        EXPECT_EQ(page.resolution, 200);
    }
    EXPECT_EQ(job.pages[0].width, 1728);
    EXPECT_EQ(job.pages[0].length, 300);
    ASSERT_EQ(job.pages[0].images.size(), 1u);
    ASSERT_EQ(job.pages[1].images.size(), 1u);
    ASSERT_EQ(job.pages[2].images.size(), 2u);
    EXPECT_EQ(job.pages[0].images[0].chunks.size(), 1u);
    ASSERT_GT(job.pages[1].images[0].chunks.size(), 1u);  // the dense page needs several chunks

    std::vector<FaxBitmap> decoded;
    ASSERT_TRUE(FaxBieDecode(job.pages[0].images[0].bie, &decoded, &error)) << error;
    ASSERT_EQ(decoded.size(), 1u);
    ExpectPixels(decoded[0], module.sparse, "sparse page");
    ASSERT_TRUE(FaxBieDecode(job.pages[1].images[0].bie, &decoded, &error)) << error;
    ASSERT_EQ(decoded.size(), 1u);
    ExpectPixels(decoded[0], module.dense, "dense page");
    const Bitmap blank{1000, 300, Bytes(125 * 300, 0)};
    for (const FaxJobImage& side : job.pages[2].images) {
        ASSERT_TRUE(FaxBieDecode(side.bie, &decoded, &error)) << error;
        ASSERT_EQ(decoded.size(), 1u);
        ExpectPixels(decoded[0], blank, "blank side");
    }

    // Images that stand one after another in one piece of data (an image whose last chunk was
    // full runs into the next) decode as separate images.
    Bytes joined = job.pages[0].images[0].bie;
    joined.insert(joined.end(), job.pages[2].images[0].bie.begin(), job.pages[2].images[0].bie.end());
    ASSERT_TRUE(FaxBieDecode(joined, &decoded, &error)) << error;
    ASSERT_EQ(decoded.size(), 2u);
    ExpectPixels(decoded[0], module.sparse, "first of two");
    ExpectPixels(decoded[1], blank, "second of two");
}

TEST(FaxView, WritesPagesAsPbmAndPng)
{
    const ModuleJob module = WriteJob();
    FaxJob job;
    std::string error;
    ASSERT_TRUE(FaxJobParse(module.stream, &job, &error)) << error;
    std::vector<FaxBitmap> decoded;
    ASSERT_TRUE(FaxBieDecode(job.pages[0].images[0].bie, &decoded, &error)) << error;
    const std::string dir = ::testing::TempDir();
    const std::string pbm = dir + "faxview_page.pbm", png = dir + "faxview_page.png";
    ASSERT_TRUE(FaxWritePbm(decoded[0], pbm, &error)) << error;
    ASSERT_TRUE(FaxWritePng(decoded[0], png, &error)) << error;
    FILE* f = std::fopen(pbm.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    Bytes file(64 + module.sparse.rows.size());
    file.resize(std::fread(file.data(), 1, file.size(), f));
    std::fclose(f);
    const std::string head = "P4\n1728 300\n";
    ASSERT_EQ(file.size(), head.size() + module.sparse.rows.size());
    EXPECT_EQ(std::string(file.begin(), file.begin() + static_cast<long>(head.size())), head);
    EXPECT_TRUE(std::equal(module.sparse.rows.begin(), module.sparse.rows.end(),
                           file.begin() + static_cast<long>(head.size())));
    f = std::fopen(png.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    uint8_t signature[8] = {};
    EXPECT_EQ(std::fread(signature, 1, 8, f), 8u);
    std::fclose(f);
    EXPECT_EQ(std::memcmp(signature, "\x89PNG\r\n\x1a\n", 8), 0);
    EXPECT_FALSE(FaxWritePng(decoded[0], dir + "no/such/dir/page.png", &error));
    std::remove(pbm.c_str());
    std::remove(png.c_str());
}

// Read from a file in pieces, a job hands on its lines in order and each page once complete, equal
// to what the reader of the whole file keeps, and ends where that reader says; the next job is
// read from there, and the file can be read again from any job's start. Without images the chunks
// are counted and their bytes skipped.
TEST(FaxView, ReadsAFileAPageAtATime)
{
    const ModuleJob module = WriteJob();
    FaxJob whole;
    std::string error;
    ASSERT_TRUE(FaxJobParse(module.stream, &whole, &error)) << error;
    const std::string path = ::testing::TempDir() + "faxview_pieces.fax";
    FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    for (int copy = 0; copy < 2; ++copy)
        ASSERT_EQ(std::fwrite(module.stream.data(), 1, module.stream.size(), f), module.stream.size());
    std::fclose(f);
    const int fd = open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FaxSource in;
    FaxSourceOpen(&in, fd);
    struct Seen {
        std::vector<std::string> lines;
        std::vector<FaxJobPage> pages;
        std::vector<size_t> numbers;
    };
    const auto read = [&](bool images, Seen* seen, FaxJob* job) {
        const FaxJobSink sink{seen,
                              [](void* c, const std::string& line) { static_cast<Seen*>(c)->lines.push_back(line); },
                              [](void* c, const FaxJobPage& page, size_t number) {
                                  static_cast<Seen*>(c)->pages.push_back(page);
                                  static_cast<Seen*>(c)->numbers.push_back(number);
                              },
                              images};
        return FaxJobRead(&in, sink, job, &error);
    };
    for (const uint64_t start : {uint64_t{0}, uint64_t{module.stream.size()}, uint64_t{0}}) {
        SCOPED_TRACE(start);
        ASSERT_TRUE(FaxSourceSeek(&in, start));
        for (const bool images : {true, false}) {
            Seen seen;
            FaxJob job;
            ASSERT_TRUE(read(images, &seen, &job)) << error;
            EXPECT_EQ(seen.lines, whole.lines);
            EXPECT_TRUE(job.lines.empty() && job.pages.empty() && job.numbers.empty());
            EXPECT_EQ(job.lineCount, whole.lines.size());
            EXPECT_EQ(job.pageCount, 3u);
            EXPECT_EQ(job.numberCount, 1u);
            EXPECT_FALSE(job.pageOpen);
            EXPECT_TRUE(job.ended);
            EXPECT_EQ(job.size, whole.size);
            EXPECT_EQ(in.offset, start + whole.size);
            EXPECT_EQ(seen.numbers, (std::vector<size_t>{1, 2, 3}));
            ASSERT_EQ(seen.pages.size(), whole.pages.size());
            for (size_t p = 0; p < seen.pages.size(); ++p) {
                const FaxJobPage &got = seen.pages[p], &want = whole.pages[p];
                EXPECT_EQ(got.width, want.width);
                EXPECT_EQ(got.length, want.length);
                EXPECT_EQ(got.resolution, want.resolution);
                EXPECT_EQ(got.ended, want.ended);
                ASSERT_EQ(got.images.size(), want.images.size());
                for (size_t i = 0; i < got.images.size(); ++i) {
                    EXPECT_EQ(got.images[i].chunks, want.images[i].chunks);
                    EXPECT_TRUE(images ? got.images[i].bie == want.images[i].bie : got.images[i].bie.empty());
                }
            }
            ASSERT_TRUE(FaxSourceSeek(&in, start));
        }
    }
    EXPECT_EQ(in.readError, 0);
    close(fd);
    std::remove(path.c_str());
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

TEST(FaxView, RejectsDamagedJobsAndSaysWhere)
{
    const std::string head = "\x1b%-12345X@PJL\r\n@PJL SET FAXCOUNT = 0\r\n";
    const std::string start = "@PJL SET PAGESTATUS = START\r\n";
    const struct {
        const char* what;
        std::string bytes;
        const char* reason;
    } cases[] = {
        {"line without end", head + "@PJL EOJ", "without its end"},
        {"LF only", head + "@PJL EOJ\n", "CR LF"},
        {"not PJL", head + "hello\r\n", "not PJL"},
        {"chunk outside a page", head + "@PJL SET IMAGELEN = 3\r\nabc", "outside a page"},
        {"chunk past the end", head + start + "@PJL SET IMAGELEN = 10\r\nabc", "runs past the end"},
        {"chunk of 0", head + start + "@PJL SET IMAGELEN = 0\r\n", "1 to 32768"},
        {"chunk too large", head + start + "@PJL SET IMAGELEN = 32769\r\n", "1 to 32768"},
        {"chunk size with sign", head + start + "@PJL SET IMAGELEN = -5\r\n", "1 to 32768"},
        {"huge chunk size", head + start + "@PJL SET IMAGELEN = 99999999999999\r\n", "1 to 32768"},
        {"width not a number", head + start + "@PJL SET PAPERWIDTH = wide\r\n", "not a number"},
        {"nested page", head + start + start, "inside a page"},
        {"end without start", head + "@PJL SET PAGESTATUS = END\r\n", "did not start"},
        {"EOJ inside a page", head + start + "@PJL EOJ\r\n", "inside a page"},
        {"long line", head + "@PJL SET X = " + std::string(5000, 'x') + "\r\n", "longer than"},
    };
    for (const auto& c : cases) {
        FaxJob job;
        std::string error;
        EXPECT_FALSE(FaxJobParse(Text(c.bytes), &job, &error)) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        EXPECT_NE(error.find("at byte "), std::string::npos) << c.what;
    }

    // A cancelled job is a well-formed job that says so; its open page stays unended.
    FaxJob job;
    std::string error;
    ASSERT_TRUE(FaxJobParse(Text(head + start + "@PJL SET JOBSTATUS = CANCEL\r\n"), &job, &error)) << error;
    EXPECT_TRUE(job.cancelled);
    ASSERT_EQ(job.pages.size(), 1u);
    EXPECT_FALSE(job.pages[0].ended);
    EXPECT_EQ(FaxLinePrintable("\x1b%-12345X\x01"), "<ESC>%-12345X<x01>");

    // Image data that jbigkit rejects or that ends early.
    std::vector<FaxBitmap> decoded;
    EXPECT_FALSE(FaxBieDecode(Text("not a JBIG image entity at all"), &decoded, &error));
    const ModuleJob module = WriteJob();
    ASSERT_TRUE(FaxJobParse(module.stream, &job, &error)) << error;
    Bytes cut = job.pages[0].images[0].bie;
    cut.resize(cut.size() / 2);
    EXPECT_FALSE(FaxBieDecode(cut, &decoded, &error));
    EXPECT_NE(error.find("ends early"), std::string::npos) << error;
    EXPECT_FALSE(FaxBieDecode(job.pages[0].images[0].bie, &decoded, &error, 1000, 1000));
    EXPECT_NE(error.find("larger than"), std::string::npos) << error;
}

}  // namespace
