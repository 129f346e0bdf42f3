// Memory and file streams and the element readers and writers.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "engine/services/cmm/cmm_stream.h"
#include "tests/engine/services/cmm/cmm_fixture.h"

namespace {

TEST(CmmMemoryStream, ReadsStopAtTheEndAndOnlyAnEmptyReadFails)
{
    CmmGlobalsFixture f;
    uint8_t block[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    CmmObject stream{};
    CmmMemoryStreamCreate(f.g(), &stream, 8, block, 0, 0);
    CmmStreamSeek(f.g(), &stream, 4, 0);
    uint8_t out[10] = {};
    EXPECT_EQ(CmmStreamRead(f.g(), &stream, out, 10), 4u);
    EXPECT_EQ(out[0], 5);
    EXPECT_EQ(f.g()->status, 0u);
    EXPECT_TRUE(CmmStreamAtEnd(f.g(), &stream));
    EXPECT_EQ(CmmStreamRead(f.g(), &stream, out, 1), 0u);
    EXPECT_EQ(f.g()->status, CMM_STATUS_NO_DATA);
    EXPECT_EQ(f.g()->raised, 1u);
    CmmObjectRelease(f.g(), &stream);
}

TEST(CmmMemoryStream, WritesAreWholeOrNothingAndSeeksStayInside)
{
    CmmGlobalsFixture f;
    uint8_t block[8] = {};
    CmmObject stream{};
    CmmMemoryStreamCreate(f.g(), &stream, 8, block, 0, 0);
    const uint8_t data[6] = {9, 9, 9, 9, 9, 9};
    CmmStreamWrite(f.g(), &stream, data, 6);
    CmmStreamWrite(f.g(), &stream, data, 6);
    EXPECT_EQ(f.g()->status, CMM_STATUS_NO_ROOM);
    EXPECT_EQ(CmmStreamTell(f.g(), &stream), 6u);
    EXPECT_EQ(block[6], 0);
    // Seek origins: 0 absolute, 1 relative, 2 from the end; targets outside are held at the ends.
    EXPECT_EQ(CmmStreamSeek(f.g(), &stream, 2, 2), block + 6);
    EXPECT_EQ(CmmStreamSeek(f.g(), &stream, -1, 1), block + 5);
    EXPECT_EQ(CmmStreamSeek(f.g(), &stream, 100, 0), block + 8);
    EXPECT_EQ(CmmStreamSeek(f.g(), &stream, -100, 1), block);
    // Relative tell and seek count from the origin.
    EXPECT_EQ(CmmStreamSetOrigin(&stream, 2), 0u);
    CmmStreamSeekRelative(f.g(), &stream, 3, 0);
    EXPECT_EQ(CmmStreamTell(f.g(), &stream), 5u);
    EXPECT_EQ(CmmStreamTellRelative(f.g(), &stream), 3u);
    CmmObjectRelease(f.g(), &stream);
}

TEST(CmmMemoryStream, OwnBytesFollowACopy)
{
    CmmGlobalsFixture f;
    CmmObject stream{}, copy{};
    CmmMemoryStreamCreate(f.g(), &stream, 4, nullptr, 0, 0);
    const uint8_t data[4] = {1, 2, 3, 4};
    CmmStreamWrite(f.g(), &stream, data, 4);
    CmmObjectCopy(f.g(), &stream, &copy);
    CmmObjectRelease(f.g(), &stream);
    EXPECT_EQ(CmmMemoryStreamBase(&copy), CmmStreamOf(&copy)->bytes);
    EXPECT_EQ(CmmMemoryStreamBase(&copy)[3], 4);
    CmmObjectRelease(f.g(), &copy);
}

TEST(CmmElements, BigEndianRunsInChunksOfTheConversionBuffer)
{
    CmmGlobalsFixture f;
    const uint8_t size[4] = {0x00, 0x00, 0x0C, 0x48};
    CmmObject stream{};
    CmmMemoryStreamCreate(f.g(), &stream, 4, const_cast<uint8_t*>(size), 0, 0);
    uint32_t value = 0;
    EXPECT_EQ(CmmStreamReadElements(f.g(), &stream, &value, CMM_ELEMENT_U32, 1), 1u);
    EXPECT_EQ(value, 3144u);
    CmmObjectRelease(f.g(), &stream);

    // 5,000 four-byte elements take two reads of the stream: 4,096 and 904 elements.
    std::vector<uint8_t> bytes(5000 * 4);
    for (size_t i = 0; i < 5000; ++i) {
        bytes[4 * i + 2] = static_cast<uint8_t>(i >> 8);
        bytes[4 * i + 3] = static_cast<uint8_t>(i);
    }
    CmmMemoryStreamCreate(f.g(), &stream, static_cast<uint32_t>(bytes.size()), bytes.data(), 0, 0);
    static std::vector<uint32_t> reads;
    reads.clear();
    static uint32_t (*memoryRead)(CmmGlobals*, CmmObject*, void*, uint32_t) = nullptr;
    CmmStreamInterface* s = &CmmStreamOf(&stream)->stream;
    memoryRead = s->read;
    s->read = [](CmmGlobals* g, CmmObject* self, void* to, uint32_t n) {
        reads.push_back(n);
        return memoryRead(g, self, to, n);
    };
    std::vector<uint32_t> values(5000);
    EXPECT_EQ(CmmStreamReadElements(f.g(), &stream, values.data(), CMM_ELEMENT_U32, 5000), 5000u);
    EXPECT_EQ(reads, (std::vector<uint32_t>{4096 * 4, 904 * 4}));
    for (uint32_t i = 0; i < 5000; ++i) ASSERT_EQ(values[i], i);
    EXPECT_EQ(CmmStreamReadElements(f.g(), &stream, values.data(), CMM_ELEMENT_U32, 0), 0u);
    CmmObjectRelease(f.g(), &stream);

    // Text is written with its NUL whatever the count; 2- and 8-byte codes are swapped.
    uint8_t out[16] = {};
    CmmMemoryStreamCreate(f.g(), &stream, sizeof out, out, 0, 0);
    CmmStreamWriteElements(f.g(), &stream, "abc", CMM_ELEMENT_TEXT, 99);
    EXPECT_EQ(CmmStreamTell(f.g(), &stream), 4u);
    const uint16_t half = 0x0102;
    CmmStreamWriteElements(f.g(), &stream, &half, CMM_ELEMENT_U16, 1);
    const double one = 1.0;
    CmmStreamWriteElements(f.g(), &stream, &one, CMM_ELEMENT_DOUBLE, 1);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 3), "abc");
    EXPECT_EQ(out[3], 0);
    EXPECT_EQ(out[4], 1);
    EXPECT_EQ(out[5], 2);
    EXPECT_EQ(out[6], 0x3F);
    EXPECT_EQ(out[7], 0xF0);
    CmmObjectRelease(f.g(), &stream);
}

TEST(CmmFileStream, OpenModesAndTheirFailures)
{
    char path[] = "/tmp/cmm_stream_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    close(fd);
    std::remove(path);
    CmmProfileSource source{nullptr, path, 0, 0, UINT64_MAX};
    const struct {
        const CmmProfileSource* source;
        uint32_t access;
        CmmStatus status;
        uint32_t raised;
    } cases[] = {
        {&source, CMM_ACCESS_READ, CMM_STATUS_OPEN_FAILED, 1},  // missing file
        {&source, CMM_ACCESS_READ_WRITE, CMM_STATUS_CREATED, 0},  // made, noted only
        {&source, 7, CMM_STATUS_OPEN_FAILED, 1},  // unknown access kind
        {nullptr, CMM_ACCESS_READ, CMM_STATUS_NO_FILE_NAME, 1},
    };
    for (const auto& c : cases) {
        CmmGlobalsFixture f;
        CmmObject stream{};
        CmmFileStreamCreate(f.g(), &stream, c.source, c.access, false, 0, 0);
        EXPECT_EQ(f.g()->status, c.status) << c.access;
        EXPECT_EQ(f.g()->raised, c.raised) << c.access;
        CmmObjectRelease(f.g(), &stream);
    }

    // Written big-endian, read back in host order; a read past the end fails.
    CmmGlobalsFixture f;
    CmmObject stream{};
    CmmFileStreamCreate(f.g(), &stream, &source, CMM_ACCESS_WRITE, false, 0, 0);
    const uint32_t values[3] = {1, 0x01020304, 3144};
    CmmStreamWriteElements(f.g(), &stream, values, CMM_ELEMENT_U32, 3);
    CmmObjectRelease(f.g(), &stream);
    CmmFileStreamCreate(f.g(), &stream, &source, CMM_ACCESS_READ, false, 0, 0);
    uint8_t first[4];
    EXPECT_EQ(CmmStreamRead(f.g(), &stream, first, 4), 4u);
    EXPECT_EQ(first[3], 1);
    uint32_t back[2] = {};
    EXPECT_EQ(CmmStreamReadElements(f.g(), &stream, back, CMM_ELEMENT_U32, 2), 2u);
    EXPECT_EQ(back[0], 0x01020304u);
    EXPECT_EQ(back[1], 3144u);
    EXPECT_EQ(CmmStreamRead(f.g(), &stream, first, 1), 0u);
    EXPECT_EQ(f.g()->status, CMM_STATUS_NO_DATA);
    CmmObjectRelease(f.g(), &stream);
    std::remove(path);

    CmmProfileSource* made = CmmFileSourceCreate(f.g(), "/some/path.icc");
    ASSERT_NE(made, nullptr);
    EXPECT_STREQ(made->fileName, "/some/path.icc");
    EXPECT_EQ(made->inMemory, 0u);
    CmmFree(made);
}

// A profile named by the data may be a FIFO or a device: it fails to open at once, for reading
// and for writing, instead of waiting for a writer forever. The alarm turns a hang into a failure.
TEST(CmmFileStream, OnlyARegularFileOpens)
{
    char folder[] = "/tmp/cmm_fifo_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string fifo = std::string(folder) + "/profile.icc";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    alarm(20);
    // The FIFO once with nobody at its other end and once with a writer there, so that opening it
    // succeeds and only what was opened can tell it is no profile file.
    for (const bool writer : {false, true}) {
        const int held = writer ? open(fifo.c_str(), O_RDWR | O_NONBLOCK) : -1;
        for (const char* name : {fifo.c_str(), "/dev/zero"}) {
            for (uint32_t access : {uint32_t(CMM_ACCESS_READ), uint32_t(CMM_ACCESS_READ_WRITE)}) {
                CmmProfileSource source{nullptr, name, 0, 0, UINT64_MAX};
                CmmGlobalsFixture f;
                CmmObject stream{};
                CmmFileStreamCreate(f.g(), &stream, &source, access, false, 0, 0);
                EXPECT_EQ(f.g()->status, CMM_STATUS_OPEN_FAILED) << name << " " << access << " " << writer;
                CmmObjectRelease(f.g(), &stream);
            }
        }
        if (held >= 0) close(held);
    }
    alarm(0);
    std::remove(fifo.c_str());
    rmdir(folder);
}

}  // namespace
