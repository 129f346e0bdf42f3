// Kernels keep no state: blits onto different destinations run at once on several threads and
// each gives the pixels it gives alone.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <vector>

#include "engine/stretch/stretch_blt.h"
#include "tests/engine/stretch/stretch_harness.h"

namespace {

using namespace stretch_test;

// One thread's work: many blits of its own group onto its own destination, each checked
// against the reference.
bool BlitMany(int group, int seed)
{
    std::mt19937 rng(seed);
    const GroupInfo& g = kGroups[group];
    for (int i = 0; i < 40; ++i) {
        const int sw = 1 + int(rng() % 40), sh = 1 + int(rng() % 12);
        const int w = 1 + int(rng() % 60), h = 1 + int(rng() % 20);
        SourceImage source(g.sourceBpp, int(rng() % 9), 0, sw, sh, 0, rng() % 2, rng);
        if (g.palette) source.bitmap.palette = source.palette.data();
        DestImage dest(g.destBpp, w + 4, h + 4, rng() % 2, rng);
        static const RasterRop3 kRops[] = {0xCC, 0x33, 0xEE, 0x66, 0x88};
        const RasterRop3 rop = kRops[rng() % 5];
        const RECT rect = (rng() % 2) ? RECT{2 + w, 2, 2, 2 + h} : RECT{2, 2 + h, 2 + w, 2};
        const RECT clip{0, 0, w + 4, h + 4};
        std::vector<uint8_t> expected = dest.bytes;
        BltBitmap expectedBitmap = dest.bitmap;
        expectedBitmap.bits = expected.data() + (static_cast<uint8_t*>(dest.bitmap.bits) - dest.bytes.data());
        ReferenceStretch(expectedBitmap, source.bitmap, rect, &clip, 1, rop);
        RECT passed = rect;
        RasterStretchBlt(&dest.bitmap, &source.bitmap, nullptr, &passed, &clip, 1, rop, 0);
        if (dest.bytes != expected) return false;
    }
    return true;
}

TEST(StretchThreads, ConcurrentBlitsOnDifferentDestinations)
{
    std::atomic<bool> done{false};
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done) {
            std::fprintf(stderr, "stretch thread test hung\n");
            std::abort();
        }
    });
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 6; ++t) {
        threads.emplace_back([t, &failures] {
            for (int round = 0; round < 3; ++round) {
                if (!BlitMany((t * 5 + round) % kStretchGroupCount, t * 100 + round)) ++failures;
            }
        });
    }
    for (auto& thread : threads) thread.join();
    done = true;
    watchdog.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
