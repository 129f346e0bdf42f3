// Every 1-bit quarter-turn kernel the processor supports, against a per-pixel loop, over random
// sizes around each kernel's strip and tile steps, both directions, top-down and bottom-up
// sources, rows with spare words, and pages of blank, one-pixel and noisy squares.
#include <gtest/gtest.h>

#include <string>

#include "engine/raster/rotate1_paths.h"
#include "tests/engine/raster/raster_bitmap.h"

namespace {

struct Case {
    int32_t width, height;
    bool clockwise, bottomUp;
    int32_t extraWords;
    bool sparse = false;  // 64 x 64 squares blank, with one pixel, or noise
};

// Turns a noisy source (garbage after the width) and checks every pixel, that the padding bits
// of each destination row are 0 and that the bytes after each row are untouched.
void CheckPath(const Rotate1Path& path, const Case& c, uint32_t seed)
{
    TestBitmap source(c.width, c.height, 1, c.extraWords);
    for (int32_t y = 0; y < c.height; ++y)
        for (int32_t b = 0; b < source.stride; ++b) source.Row(y)[b] = static_cast<uint8_t>(Noise(b, y, seed));
    if (c.sparse) {
        for (int32_t y = 0; y < c.height; ++y)
            for (int32_t x = 0; x < c.width; ++x) {
                const uint32_t square = Noise(x / 64, y / 64, seed);
                if (square % 3 == 2) continue;
                source.Set(x, y,
                           square % 3 == 1 && x % 64 == static_cast<int32_t>(square >> 8) % 64 &&
                               y % 64 == static_cast<int32_t>(square >> 16) % 64);
            }
    }
    TestBitmap dest(c.height, c.width, 1, c.extraWords, 0xA5);
    // A bottom-up source is the same image stored last row first, read through a negative stride.
    TestBitmap stored(c.width, c.height, 1, c.extraWords);
    for (int32_t y = 0; y < c.height; ++y) std::memcpy(stored.Row(c.height - 1 - y), source.Row(y), source.stride);
    const uint8_t* bits = c.bottomUp ? stored.Row(c.height - 1) : source.Row(0);
    const ptrdiff_t stride = c.bottomUp ? -source.stride : source.stride;
    (c.clockwise ? path.turn90 : path.turn270)(dest.Row(0), dest.stride, bits, stride, c.width, c.height);
    const std::string where = std::string(path.name) + (c.sparse ? " sparse " : " ") + std::to_string(c.width) + "x" +
                              std::to_string(c.height) + (c.clockwise ? " 90" : " 270") +
                              (c.bottomUp ? " bottom-up" : "") + " extra " + std::to_string(c.extraWords);
    const int32_t rowBytes = (c.height + 7) / 8;
    for (int32_t y = 0; y < c.width; ++y) {
        for (int32_t x = 0; x < c.height; ++x) {
            const uint32_t want = c.clockwise ? source.Get(y, c.height - 1 - x) : source.Get(c.width - 1 - y, x);
            if (dest.Get(x, y) != want) FAIL() << where << " pixel " << x << "," << y << " want " << want;
        }
        const uint8_t* row = dest.Row(y);
        if (c.height % 8) {
            ASSERT_EQ(row[rowBytes - 1] & (0xFF >> (c.height % 8)), 0) << where << " padding row " << y;
        }
        for (int32_t i = rowBytes; i < dest.stride; ++i)
            ASSERT_EQ(row[i], 0xA5) << where << " byte " << i << " row " << y;
    }
}

class Rotate1PathTest : public testing::TestWithParam<size_t> {};

TEST_P(Rotate1PathTest, RandomSizesMatchPerPixelLoop)
{
    const Rotate1Path& path = kRotate1Paths[GetParam()];
    if (!path.supported()) GTEST_SKIP() << "this processor cannot run the " << path.name << " kernel";
    // Exact steps and their neighbours first, then random sizes: widths up to past six tiles,
    // heights up to past four strips of 64, around multiples of 8, 16, 32 and 64 or anywhere.
    const Case fixed[] = {{64, 64, true, false, 0},          {64, 64, false, false, 0},
                          {1728, 128, true, false, 0},       {1728, 128, false, true, 0},
                          {65, 127, true, false, 1},         {127, 65, false, false, 0},
                          {63, 129, true, true, 0},          {640, 1, false, false, 0},
                          {1, 200, true, false, 0},          {1728, 128, true, false, 0, true},
                          {1728, 256, false, false, 0, true}};
    for (const Case& c : fixed) {
        CheckPath(path, c, 1);
        if (HasFatalFailure()) return;
    }
    uint32_t seed = 11;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    const auto size = [&next](uint32_t limit) {
        const int32_t steps[] = {8, 16, 32, 64};
        if (next(2)) return 1 + static_cast<int32_t>(next(limit));
        const int32_t step = steps[next(4)];
        const int32_t near = step * (1 + static_cast<int32_t>(next(limit / step))) + static_cast<int32_t>(next(5)) - 2;
        return near < 1 ? 1 : near;
    };
    for (int round = 0; round < 120; ++round) {
        const Case c{size(420), size(280), next(2) == 1, next(3) == 0, static_cast<int32_t>(next(2)), next(4) == 0};
        CheckPath(path, c, seed);
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKernel, Rotate1PathTest, testing::Range<size_t>(0, kRotate1Paths.size()),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return std::string(kRotate1Paths[info.param].name);
                         });

TEST(Rotate1Path, TheChosenKernelIsTheFirstSupported)
{
    for (const Rotate1Path& path : kRotate1Paths)
        if (path.supported()) {
            EXPECT_EQ(&Rotate1SelectedPath(), &path) << path.name;
            return;
        }
}

}  // namespace
