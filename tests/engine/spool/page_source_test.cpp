// The page source over a private index: seekable, forward-only and growing streams, the job-end
// record, empty pages and copies into a temporary stream.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "engine/spool/page_source.h"
#include "engine/spool/spool_records.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"

namespace {

using Bytes = std::vector<uint8_t>;

// A stream and a page source over a job, the stream standing at the first page record as the
// preamble reader leaves it.
struct Fixture {
    MemoryStream memory;
    Stream* stream = nullptr;
    PageSource* source = nullptr;
    Fixture(const Bytes& bytes, bool seekable, uint32_t k, uint32_t start) : memory(bytes, seekable, k)
    {
        stream = MemoryStreamOpen(&memory);
        EXPECT_EQ(StreamSeek(stream, static_cast<int32_t>(start), 0), static_cast<int32_t>(start));
        source = PageSourceOpen(stream, nullptr);
    }
    ~Fixture()
    {
        PageSourceClose(source);
        StreamClose(stream);
    }
};

uint16_t TypeAt(Stream* s)
{
    uint8_t head[8];
    return StreamPeek(s, head, 8) == 8 ? SpoolRecordHeaderLoad(head).type : 0;
}

TEST(PageSource, PagesInOrderOnSeekableAndForwardOnlyStreams)
{
    std::vector<uint32_t> pages;
    uint32_t jobEnd = 0;
    const Bytes job = SpoolSimpleJob(33, &pages, &jobEnd);  // 33 pages: the index grows twice
    for (const bool seekable : {true, false}) {
        for (const uint32_t k : {1u, 13u, 5000u}) {
            SCOPED_TRACE(testing::Message() << seekable << " " << k);
            Fixture f(job, seekable, k, pages[0]);
            for (uint32_t n = 0; n < pages.size(); ++n) {
                ASSERT_TRUE(PageSourceSeekPage(f.source, n));
                EXPECT_EQ(f.stream->position, pages[n]);
                EXPECT_EQ(TypeAt(f.stream), SpoolRecPageBegin);
            }
            EXPECT_EQ(PageSourceCount(f.source), 33u);
            EXPECT_EQ(PageSourceTrailerFind(f.source), static_cast<int32_t>(jobEnd));
            EXPECT_EQ(f.source->index->count, 33u);
            EXPECT_EQ(PageSourceSeek(f.source, 32), static_cast<int32_t>(pages[32]));
            if (seekable) {
                ASSERT_TRUE(PageSourceSeekPage(f.source, 7));  // any order once indexed
                EXPECT_EQ(f.stream->position, pages[7]);
            } else {
                EXPECT_FALSE(PageSourceSeekPage(f.source, 7));  // behind a forward-only stream
            }
        }
    }
}

TEST(PageSource, OnlyTheNextPageIsSearchedFor)
{
    std::vector<uint32_t> pages;
    const Bytes job = SpoolSimpleJob(6, &pages);
    Fixture f(job, true, 0, pages[0]);
    for (uint32_t n = 0; n < 3; ++n) ASSERT_GE(PageSourceSeek(f.source, n), 0);
    const uint32_t reads = f.memory.reads, position = f.stream->position;
    EXPECT_EQ(PageSourceSeek(f.source, 5), -1);
    EXPECT_EQ(f.memory.reads, reads);
    EXPECT_EQ(f.stream->position, position);
    EXPECT_EQ(PageSourceSeek(f.source, 3), static_cast<int32_t>(pages[3]));
}

TEST(PageSource, FinishedAtTheJobEndRecord)
{
    std::vector<uint32_t> pages;
    uint32_t jobEnd = 0;
    const Bytes job = SpoolSimpleJob(2, &pages, &jobEnd);
    Fixture f(job, false, 7, pages[0]);
    EXPECT_EQ(PageSourceCount(f.source), 2u);
    EXPECT_TRUE(f.source->index->finished);
    EXPECT_EQ(f.source->index->jobEndPosition, jobEnd);
    const uint32_t reads = f.memory.reads;
    EXPECT_EQ(PageSourceSeek(f.source, 2), -1);
    EXPECT_EQ(PageSourceSeek(f.source, 9), -1);
    EXPECT_EQ(f.memory.reads, reads);
}

TEST(PageSource, TrailerFindSkipsOnlyReservedRecords)
{
    SpoolBuilder b;
    b.Page();
    const uint32_t afterPage = b.Position();
    b.Raw(64, 0, {1}).Raw(65, 0);
    const uint32_t jobEnd = b.Position();
    b.JobEnd();
    {
        Fixture f(b.Data(), false, 0, afterPage);
        EXPECT_EQ(PageSourceTrailerFind(f.source), static_cast<int32_t>(jobEnd));
        EXPECT_EQ(PageSourceTrailerFind(f.source), static_cast<int32_t>(jobEnd));  // stored
    }
    SpoolBuilder other;
    other.Page().Raw(0x8100, 0).JobEnd();
    Fixture f(other.Data(), true, 0, afterPage);
    EXPECT_EQ(PageSourceTrailerFind(f.source), -1);
}

TEST(PageSource, BrokenRecordsEndTheScan)
{
    for (const int64_t size : {0ll, 7ll, 0x7ffffff0ll}) {
        SpoolBuilder b;
        b.Page().Raw(64, 0, {}, size).Page().JobEnd();
        Fixture f(b.Data(), true, 0, 0);
        EXPECT_EQ(PageSourceCount(f.source), 1u);
        EXPECT_EQ(PageSourceTrailerFind(f.source), -1);
    }
}

TEST(PageSource, GrowingStreamFindsPagesOnceWritten)
{
    SpoolBuilder first;
    first.Page(1);
    MemoryStream memory(first.Data(), false, 5);
    Stream* stream = MemoryStreamOpen(&memory);
    PageSource* source = PageSourceOpen(stream, nullptr);
    ASSERT_EQ(PageSourceSeek(source, 0), 0);
    EXPECT_EQ(PageSourceSeek(source, 1), -1);  // not written yet
    SpoolBuilder more;
    more.Page(2).JobEnd();
    memory.Append(more.Data());
    EXPECT_EQ(PageSourceSeek(source, 1), static_cast<int32_t>(first.Position()));
    EXPECT_EQ(PageSourceCount(source), 2u);
    PageSourceClose(source);
    StreamClose(stream);
}

TEST(PageSource, EmptyPagesAndTheRestoredPosition)
{
    SpoolBuilder b;
    b.Page(0).Page(2).Page(0).JobEnd();
    Fixture f(b.Data(), true, 3, 0);
    ASSERT_EQ(PageSourceCount(f.source), 3u);
    ASSERT_EQ(StreamSeek(f.stream, 5, 0), 5);
    EXPECT_TRUE(PageSourcePageIsEmpty(f.source, 0));
    EXPECT_FALSE(PageSourcePageIsEmpty(f.source, 1));
    EXPECT_TRUE(PageSourcePageIsEmpty(f.source, 2));
    EXPECT_FALSE(PageSourcePageIsEmpty(f.source, 3));
    EXPECT_EQ(f.stream->position, 5u);
    Fixture forward(b.Data(), false, 0, 0);
    EXPECT_FALSE(PageSourcePageIsEmpty(forward.source, 0));
}

Bytes ReadAll(Stream* s, uint32_t from, uint32_t n)
{
    Bytes out(n);
    EXPECT_EQ(StreamSeek(s, static_cast<int32_t>(from), 0), static_cast<int32_t>(from));
    EXPECT_EQ(StreamRead(s, out.data(), n), static_cast<int32_t>(n));
    return out;
}

TEST(PageSource, CopyIntoATemporarySource)
{
    std::vector<uint32_t> pages;
    uint32_t jobEnd = 0;
    const Bytes job = SpoolSimpleJob(2, &pages, &jobEnd);
    for (const bool withJobEnd : {true, false}) {
        Fixture f(job, false, 11, pages[0]);
        PageSource* temp = PageSourceCreateTemp(1024);
        ASSERT_TRUE(temp);
        ASSERT_TRUE(PageSourceCopy(temp, f.source, withJobEnd));
        const PageIndex* index = temp->index;
        ASSERT_EQ(index->count, 2u);
        EXPECT_EQ(index->offsets[0], 0u);
        EXPECT_EQ(index->offsets[1], pages[1] - pages[0]);
        EXPECT_TRUE(index->finished);
        EXPECT_EQ(index->jobEndPosition, jobEnd - pages[0]);
        const uint32_t copied = (withJobEnd ? static_cast<uint32_t>(job.size()) : jobEnd) - pages[0];
        EXPECT_EQ(temp->stream->position, copied);
        EXPECT_EQ(ReadAll(temp->stream, 0, copied), Bytes(job.begin() + pages[0], job.begin() + pages[0] + copied));
        EXPECT_EQ(PageSourceCount(temp), 2u);
        ASSERT_TRUE(PageSourceSeekPage(temp, 1));
        EXPECT_EQ(TypeAt(temp->stream), SpoolRecPageBegin);
        PageSourceClose(temp);
    }
}

TEST(PageSource, CopyOfOnePage)
{
    std::vector<uint32_t> pages;
    const Bytes job = SpoolSimpleJob(3, &pages);
    Fixture f(job, true, 0, pages[0]);
    PageSource* temp = PageSourceCreateTemp(0);
    EXPECT_FALSE(PageSourceCopyPage(f.source, temp, 2));  // not found yet: only page 0 can be searched
    ASSERT_EQ(PageSourceCount(f.source), 3u);
    EXPECT_TRUE(PageSourceCopyPage(f.source, temp, 2));
    EXPECT_EQ(temp->index->firstPage, 2u);
    EXPECT_EQ(temp->index->offsets[0], 0u);
    EXPECT_EQ(ReadAll(temp->stream, 0, temp->stream->position),
              Bytes(job.begin() + pages[2], job.begin() + pages[2] + temp->stream->position));
    EXPECT_FALSE(PageSourceCopyPage(f.source, temp, 7));
    PageSourceClose(temp);
}

TEST(PageSource, CopyOfAJobWithoutItsEnd)
{
    SpoolBuilder b;
    b.Page().Page();
    Fixture f(b.Data(), false, 0, 0);
    PageSource* temp = PageSourceCreateTemp(0);
    EXPECT_TRUE(PageSourceCopy(temp, f.source, true));
    EXPECT_EQ(temp->index->count, 2u);
    EXPECT_FALSE(temp->index->finished);
    PageSourceClose(temp);
    // A page whose records run out before its page-end record fails the copy.
    SpoolBuilder cut;
    cut.Page().PageBegin().Raw(64, 0);
    Fixture g(cut.Data(), false, 0, 0);
    temp = PageSourceCreateTemp(0);
    EXPECT_FALSE(PageSourceCopy(temp, g.source, true));
    PageSourceClose(temp);
}

}  // namespace
