// The hand-over between a producer thread that writes the spool stream and the engine reading it
// through a SpoolProgress record: lockstep, everything published first, aborts and empty jobs.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/page/preamble.h"
#include "engine/spool/page_source.h"
#include "tests/support/memory_stream.h"
#include "tests/support/spool_builder.h"
#include "tests/support/watchdog.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int kWatchdogSeconds = 60;

// The host's side: the shared record, a growing stream and the producer's operations.
struct Producer {
    SpoolProgress progress{};
    MemoryStream memory;
    uint32_t written = 0;

    explicit Producer(bool seekable)
    {
        memory.seekable = seekable;
        memory.maxChunk = 97;
        InitializeCriticalSection(&progress.lock);
        progress.pageAvailable = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        progress.rendererWaiting = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        progress.progress = PageIndexCreate();
    }
    ~Producer()
    {
        CloseHandle(progress.pageAvailable);
        CloseHandle(progress.rendererWaiting);
        DeleteCriticalSection(&progress.lock);
        PageIndexFree(progress.progress);
    }
    void Write(const Bytes& bytes)
    {
        memory.Append(bytes);
        written += static_cast<uint32_t>(bytes.size());
    }
    void Preamble() { Write(SpoolBuilder().Signature().StreamVersion(2).JobHeader({{"copies", 1}}).Data()); }
    // A page is published only once its page-end record is in the stream.
    void Page(uint32_t n)
    {
        const uint32_t at = written;
        Write(SpoolBuilder().Page(n % 3).Data());
        EnterCriticalSection(&progress.lock);
        PageIndexAdd(progress.progress, n, at);
        LeaveCriticalSection(&progress.lock);
        SetEvent(progress.pageAvailable);
    }
    uint32_t Finish()
    {
        const uint32_t at = written;
        Write(SpoolBuilder().JobEnd().Data());
        EnterCriticalSection(&progress.lock);
        progress.progress->jobEndPosition = at;
        progress.progress->finished = 1;
        LeaveCriticalSection(&progress.lock);
        SetEvent(progress.pageAvailable);
        return at;
    }
    void Abort()
    {
        EnterCriticalSection(&progress.lock);
        progress.progress->aborted = 1;
        LeaveCriticalSection(&progress.lock);
        SetEvent(progress.pageAvailable);
    }
    void AwaitRenderer() { ASSERT_EQ(WaitForSingleObject(progress.rendererWaiting, INFINITE), WAIT_OBJECT_0); }
};

struct EngineResult {
    bool preamble = false;
    uint32_t pagesRead = 0;
    uint32_t count = 0;
    int32_t trailer = -1;
};

// What the render call does with the stream: open the page source (which waits for the first
// page), read the preamble, then every page until the page source has no more, then count.
EngineResult Engine(Producer& p)
{
    EngineResult r;
    Stream* stream = MemoryStreamOpen(&p.memory);
    PageSource* source = PageSourceOpen(stream, &p.progress);
    JobHeader header{};
    JobDataList list;
    JobDataListInit(&list);
    r.preamble = JobPreambleRead(nullptr, stream, &header, &list);
    if (r.preamble) JobHeaderFree(&header);
    JobDataListFree(&list);
    for (uint32_t n = 0; PageSourceSeekPage(source, n); ++n) {
        uint8_t head[8];
        uint16_t type = 0;
        do {  // read the page's records up to its page end
            if (StreamPeek(stream, head, 8) != 8) break;
            const SpoolRecordHeader h = SpoolRecordHeaderLoad(head);
            type = h.type;
            if (StreamSeek(stream, static_cast<int32_t>(h.size), 1) < 0) break;
        } while (type != SpoolRecPageEnd);
        EXPECT_EQ(type, SpoolRecPageEnd);
        r.pagesRead = n + 1;
    }
    r.count = PageSourceCount(source);
    r.trailer = PageSourceTrailerFind(source);
    PageSourceClose(source);
    StreamClose(stream);
    return r;
}

TEST(SpoolProgressThreads, ProducerAndEngineInLockstep)
{
    for (const bool seekable : {true, false}) {
        RunWithWatchdog("lockstep", kWatchdogSeconds, [&] {
            Producer p(seekable);
            constexpr uint32_t kPages = 5;
            uint32_t jobEnd = 0;
            std::thread producer([&] {
                p.Preamble();
                for (uint32_t n = 0; n < kPages; ++n) {
                    p.AwaitRenderer();  // each page is written only once the engine waits for it
                    p.Page(n);
                }
                p.AwaitRenderer();
                jobEnd = p.Finish();
            });
            const EngineResult r = Engine(p);
            producer.join();
            EXPECT_TRUE(r.preamble);
            EXPECT_EQ(r.pagesRead, kPages);
            EXPECT_EQ(r.count, kPages);
            EXPECT_EQ(r.trailer, static_cast<int32_t>(jobEnd));
        });
    }
}

TEST(SpoolProgressThreads, EverythingPublishedBeforeTheCall)
{
    RunWithWatchdog("published before", kWatchdogSeconds, [] {
        Producer p(false);
        p.Preamble();
        for (uint32_t n = 0; n < 4; ++n) p.Page(n);
        const uint32_t jobEnd = p.Finish();
        const EngineResult r = Engine(p);
        EXPECT_EQ(r.pagesRead, 4u);
        EXPECT_EQ(r.count, 4u);
        EXPECT_EQ(r.trailer, static_cast<int32_t>(jobEnd));
        EXPECT_EQ(WaitForSingleObject(p.progress.rendererWaiting, 0), WAIT_TIMEOUT);  // it never waited
    });
}

TEST(SpoolProgressThreads, AbortBeforeTheFirstPage)
{
    RunWithWatchdog("abort before the first page", kWatchdogSeconds, [] {
        Producer p(true);
        std::thread producer([&] {
            p.Preamble();
            p.AwaitRenderer();
            p.Abort();
        });
        const EngineResult r = Engine(p);
        producer.join();
        EXPECT_EQ(r.pagesRead, 0u);
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(r.trailer, -1);
    });
}

TEST(SpoolProgressThreads, AbortInTheMiddle)
{
    RunWithWatchdog("abort in the middle", kWatchdogSeconds, [] {
        Producer p(false);
        std::thread producer([&] {
            p.Preamble();
            for (uint32_t n = 0; n < 2; ++n) {
                p.AwaitRenderer();
                p.Page(n);
            }
            p.AwaitRenderer();
            p.Abort();
        });
        const EngineResult r = Engine(p);
        producer.join();
        EXPECT_EQ(r.pagesRead, 2u);
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(r.trailer, -1);
    });
}

TEST(SpoolProgressThreads, ZeroPages)
{
    RunWithWatchdog("zero pages", kWatchdogSeconds, [] {
        Producer p(true);
        uint32_t jobEnd = 0;
        std::thread producer([&] {
            p.Preamble();
            p.AwaitRenderer();
            jobEnd = p.Finish();
        });
        const EngineResult r = Engine(p);
        producer.join();
        EXPECT_TRUE(r.preamble);
        EXPECT_EQ(r.pagesRead, 0u);
        EXPECT_EQ(r.count, 0u);
        EXPECT_EQ(r.trailer, static_cast<int32_t>(jobEnd));
    });
}

TEST(SpoolProgressThreads, CopyToATemporarySourceWhileTheProducerWrites)
{
    RunWithWatchdog("copy while producing", kWatchdogSeconds, [] {
        Producer p(false);
        std::thread producer([&] {
            p.Preamble();
            for (uint32_t n = 0; n < 3; ++n) {
                p.AwaitRenderer();
                p.Page(n);
            }
            p.AwaitRenderer();
            p.Finish();
        });
        Stream* stream = MemoryStreamOpen(&p.memory);
        PageSource* source = PageSourceOpen(stream, &p.progress);
        JobHeader header{};
        JobDataList list;
        JobDataListInit(&list);
        ASSERT_TRUE(JobPreambleRead(nullptr, stream, &header, &list));
        JobHeaderFree(&header);
        PageSource* temp = PageSourceCreateTemp(1024);
        EXPECT_TRUE(PageSourceCopy(temp, source, true));
        producer.join();
        EXPECT_EQ(temp->index->count, 3u);
        EXPECT_TRUE(temp->index->finished);
        EXPECT_EQ(PageSourceCount(temp), 3u);
        PageSourceClose(temp);
        PageSourceClose(source);
        StreamClose(stream);
    });
}

}  // namespace
