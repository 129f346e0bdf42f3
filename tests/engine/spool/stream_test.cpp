// The buffered stream against a flat array: random peeks, reads and seeks through callbacks that
// deliver at most k bytes per call, on seekable and forward-only streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"

namespace {

struct StreamCloser {
    void operator()(Stream* s) const { StreamClose(s); }
};
using StreamPtr = std::unique_ptr<Stream, StreamCloser>;

std::vector<uint8_t> RandomBytes(std::mt19937& rng, size_t n)
{
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(rng());
    return v;
}

uint32_t Pick(std::mt19937& rng, uint32_t lo, uint32_t hi)
{
    return std::uniform_int_distribution<uint32_t>(lo, hi)(rng);
}

// Checks that the next bytes the stream returns are data[p...] without consuming them.
void ExpectAt(Stream* s, const std::vector<uint8_t>& data, size_t p)
{
    uint8_t got[16];
    const size_t want = std::min<size_t>(16, data.size() - std::min(p, data.size()));
    ASSERT_EQ(StreamPeek(s, got, 16), static_cast<int32_t>(want));
    ASSERT_EQ(0, std::memcmp(got, data.data() + p, want));
    ASSERT_EQ(s->position, p);
}

TEST(Stream, RandomOperationsMatchFlatArray)
{
    std::mt19937 rng(20261210);
    const uint32_t chunks[] = {1, 2, 7, 8, 100, 1023, 1024, 1025, 2000};
    for (int trial = 0; trial < 120; ++trial) {
        const bool seekable = trial % 2 == 0;
        const uint32_t k = trial < 18 ? chunks[trial / 2] : Pick(rng, 1, 2000);
        const std::vector<uint8_t> data = RandomBytes(rng, Pick(rng, 0, 12000));
        MemoryStream memory(data, seekable, k);
        const uint32_t bufferSizes[] = {0, 1024, 1500, 4096};
        StreamPtr s(MemoryStreamOpen(&memory, bufferSizes[trial % 4]));
        ASSERT_TRUE(s);
        SCOPED_TRACE(testing::Message() << "trial " << trial << " k " << k << " seekable " << seekable << " size "
                                        << data.size());
        size_t p = 0;
        std::vector<uint8_t> got(8000);
        for (int op = 0; op < 200; ++op) {
            const size_t left = data.size() - std::min(p, data.size());
            switch (Pick(rng, 0, 3)) {
                case 0: {  // peek
                    const uint32_t n = Pick(rng, 0, s->bufferSize);
                    const int32_t r = StreamPeek(s.get(), got.data(), n);
                    ASSERT_EQ(r, static_cast<int32_t>(std::min<size_t>(n, left)));
                    ASSERT_EQ(0, std::memcmp(got.data(), data.data() + p, static_cast<size_t>(r)));
                    break;
                }
                case 1: {  // read, small or larger than the buffer
                    const uint32_t n = Pick(rng, 0, 3) == 0 ? Pick(rng, 1000, 7000) : Pick(rng, 0, 64);
                    const int32_t r = StreamRead(s.get(), got.data(), n);
                    ASSERT_EQ(r, static_cast<int32_t>(std::min<size_t>(n, left)));
                    ASSERT_EQ(0, std::memcmp(got.data(), data.data() + p, static_cast<size_t>(r)));
                    p += static_cast<size_t>(r);
                    break;
                }
                default: {  // seek: back a little, forward, or anywhere
                    int64_t target;
                    const uint32_t how = Pick(rng, 0, 2);
                    if (how == 0) target = static_cast<int64_t>(p) - Pick(rng, 0, 40);
                    else if (how == 1) target = static_cast<int64_t>(p) + Pick(rng, 0, 3000);
                    else target = Pick(rng, 0, static_cast<uint32_t>(data.size()));
                    target = std::clamp<int64_t>(target, 0, static_cast<int64_t>(data.size()));
                    const bool relative = Pick(rng, 0, 1) == 1;
                    const int32_t offset = static_cast<int32_t>(relative ? target - static_cast<int64_t>(p) : target);
                    const int32_t r = StreamSeek(s.get(), offset, relative ? 1 : 0);
                    if (seekable || target >= static_cast<int64_t>(p)) {
                        ASSERT_EQ(r, target);
                        p = static_cast<size_t>(target);
                    } else if (r >= 0) {  // backwards inside the buffer
                        ASSERT_EQ(r, target);
                        p = static_cast<size_t>(target);
                    }
                    break;
                }
            }
            ASSERT_EQ(s->position, p);
            if (op % 16 == 0) ExpectAt(s.get(), data, p);
        }
    }
}

TEST(Stream, SpillRoundTripsLeaveTheStreamWhereItWas)
{
    std::mt19937 rng(77);
    for (int trial = 0; trial < 24; ++trial) {
        const bool seekable = trial % 2 == 0;
        const uint32_t k = trial < 4 ? 1 : Pick(rng, 1, 2000);
        const std::vector<uint8_t> data = RandomBytes(rng, 40000);
        MemoryStream memory(data, seekable, k);
        StreamPtr s(MemoryStreamOpen(&memory, 1024));
        StreamSpill* spill = StreamSpillCreate(s.get());
        ASSERT_TRUE(spill);
        EXPECT_EQ(spill->file == INVALID_HANDLE_VALUE, seekable);
        struct Parked {
            uint32_t offset;
            size_t from;
            uint32_t n;
        };
        std::vector<Parked> parked;
        size_t p = 0;
        std::vector<uint8_t> got(5000);
        while (p + 5000 < data.size()) {
            const uint32_t skip = Pick(rng, 0, 300);
            ASSERT_EQ(StreamRead(s.get(), got.data(), skip), static_cast<int32_t>(skip));
            p += skip;
            const uint32_t n = Pick(rng, 1, 4000);
            uint32_t offset = 0;
            ASSERT_TRUE(StreamSpillAppend(spill, n, &offset));
            if (seekable) {
                EXPECT_EQ(offset, p);
            }
            parked.push_back({offset, p, n});
            p += n;
            const Parked& back = parked[Pick(rng, 0, static_cast<uint32_t>(parked.size() - 1))];
            ASSERT_TRUE(StreamSpillReadAt(spill, back.offset, got.data(), back.n));
            ASSERT_EQ(0, std::memcmp(got.data(), data.data() + back.from, back.n));
            ExpectAt(s.get(), data, p);
        }
        StreamSpillClose(spill);
    }
}

TEST(Stream, LargeReadTakesBufferedBytesThenCallsStraightThrough)
{
    std::vector<uint8_t> data(10000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7);
    MemoryStream memory(data);
    StreamPtr s(MemoryStreamOpen(&memory, 1024));
    std::vector<uint8_t> got(5000);
    ASSERT_EQ(StreamRead(s.get(), got.data(), 924), 924);  // leaves 100 buffered
    ASSERT_EQ(s->buffered, 100u);
    memory.logAsks = true;
    ASSERT_EQ(StreamRead(s.get(), got.data(), 5000), 5000);
    ASSERT_EQ(memory.asks, std::vector<uint32_t>{4900});
    EXPECT_EQ(0, std::memcmp(got.data(), data.data() + 924, 5000));
}

TEST(Stream, EdgeCases)
{
    std::vector<uint8_t> data(20);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
    uint8_t got[64];
    {  // a peek of 8 at the end returns fewer
        MemoryStream memory(data);
        StreamPtr s(MemoryStreamOpen(&memory));
        ASSERT_EQ(StreamSeek(s.get(), 16, 0), 16);
        EXPECT_EQ(StreamPeek(s.get(), got, 8), 4);
    }
    {  // a seek back by 8 after a peek and a read stays in the buffer, even forward-only
        MemoryStream memory(data, false);
        StreamPtr s(MemoryStreamOpen(&memory));
        ASSERT_EQ(StreamPeek(s.get(), got, 8), 8);
        ASSERT_EQ(StreamRead(s.get(), got, 8), 8);
        const uint32_t reads = memory.reads;
        EXPECT_EQ(StreamSeek(s.get(), -8, 1), 0);
        EXPECT_EQ(memory.reads, reads);
        EXPECT_EQ(memory.seeks, 0u);
    }
    {  // forward-only: forward discards, backward beyond the buffer fails and keeps the position
        std::vector<uint8_t> big(5000);
        for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<uint8_t>(i % 251);
        MemoryStream memory(big, false, 100);
        StreamPtr s(MemoryStreamOpen(&memory));
        ASSERT_EQ(StreamPeek(s.get(), got, 8), 8);
        ASSERT_EQ(StreamSeek(s.get(), 3000, 0), 3000);
        ASSERT_EQ(StreamRead(s.get(), got, 4), 4);
        EXPECT_EQ(got[0], 3000 % 251);
        EXPECT_EQ(StreamSeek(s.get(), 10, 0), -1);
        EXPECT_EQ(s->position, 3004u);
        EXPECT_EQ(StreamSeek(s.get(), 6000, 0), -1);  // past the end
    }
    {  // the buffer is never smaller than 1024 bytes
        MemoryStream memory(data);
        StreamPtr s(MemoryStreamOpen(&memory, 16));
        EXPECT_EQ(s->bufferSize, 1024u);
        EXPECT_EQ(StreamPeek(s.get(), got, 1025), -1);
    }
    {  // a failing callback gives -1; bytes before the failure still arrive
        MemoryStream memory(data);
        memory.failAt = 10;
        StreamPtr s(MemoryStreamOpen(&memory));
        EXPECT_EQ(StreamRead(s.get(), got, 20), -1);
    }
}

BOOL ClaimsTooMuch(void*, void*, uint32_t count, uint32_t* got)
{
    *got = count + 1;
    return TRUE;
}

TEST(Stream, CallbackClaimingMoreThanAskedFails)
{
    StreamPtr s(StreamOpen(nullptr, 1024, ClaimsTooMuch, nullptr));
    uint8_t got[8];
    EXPECT_EQ(StreamPeek(s.get(), got, 8), -1);
    EXPECT_EQ(StreamRead(s.get(), got, 8), -1);
}

TEST(Stream, SpillOverSeekableStreamMarkedBrokenWhenItCannotSeekBack)
{
    std::vector<uint8_t> data(4000, 0x5a);
    MemoryStream memory(data);
    StreamPtr s(MemoryStreamOpen(&memory));
    StreamSpill* spill = StreamSpillCreate(s.get());
    uint32_t offset = 0;
    ASSERT_TRUE(StreamSpillAppend(spill, 100, &offset));
    uint8_t got[100];
    memory.failSeeksAfter = memory.seeks + 1;  // the seek there works, the one back does not
    EXPECT_FALSE(StreamSpillReadAt(spill, offset, got, 100));
    EXPECT_EQ(StreamRead(s.get(), got, 1), -1);
    EXPECT_EQ(StreamPeek(s.get(), got, 1), -1);
    StreamSpillClose(spill);
}

TEST(Stream, TempStreamReceivesCopiedBytes)
{
    std::mt19937 rng(5);
    const std::vector<uint8_t> data = RandomBytes(rng, 30000);
    MemoryStream memory(data, false, 333);
    StreamPtr source(MemoryStreamOpen(&memory));
    StreamPtr temp(StreamTempCreate(1024));
    ASSERT_TRUE(temp);
    ASSERT_TRUE(StreamCopyToFile(temp.get(), source.get(), 25000));
    EXPECT_EQ(temp->position, 25000u);
    EXPECT_EQ(source->position, 25000u);
    EXPECT_FALSE(StreamCopyToFile(temp.get(), source.get(), 6000));  // only 5000 left
    ASSERT_EQ(StreamSeek(temp.get(), 0, 0), 0);
    std::vector<uint8_t> back(25000);
    ASSERT_EQ(StreamRead(temp.get(), back.data(), 25000), 25000);
    EXPECT_TRUE(std::equal(back.begin(), back.end(), data.begin()));
}

}  // namespace
