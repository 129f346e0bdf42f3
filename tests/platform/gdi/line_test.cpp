// Cosmetic lines against Bresenham's rule written out plainly: for every step along the major
// axis the pixel nearest the exact line (halves to the larger coordinate), the last one left out.
#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <vector>

#include "platform/gdi/line.h"

namespace {

using Pixel = std::pair<LONG, LONG>;

struct Recorder {
    std::vector<Pixel> pixels;
    std::vector<Pixel> gaps;
    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        for (LONG x = left; x < right; ++x) static_cast<Recorder*>(context)->pixels.push_back({x, y});
    }
    static void GapSink(void* context, LONG y, LONG left, LONG right)
    {
        for (LONG x = left; x < right; ++x) static_cast<Recorder*>(context)->gaps.push_back({x, y});
    }
};

// The nearest integer to minor0 + i * dMinor / steps, a tie going to the larger one.
int64_t NearestMinor(int64_t minor0, int64_t i, int64_t dMinor, int64_t steps)
{
    int64_t best = 0;
    int64_t bestError = -1;
    int64_t guess = minor0 + i * dMinor / steps;
    for (int64_t m = guess - 2; m <= guess + 2; ++m) {
        int64_t error = std::llabs((m - minor0) * steps - i * dMinor);  // steps * |m - exact|
        if (bestError < 0 || error < bestError || (error == bestError && m > best)) {
            best = m;
            bestError = error;
        }
    }
    return best;
}

std::vector<Pixel> OracleLine(POINT a, POINT b)
{
    int64_t dx = b.x - a.x, dy = b.y - a.y;
    bool xMajor = std::llabs(dx) >= std::llabs(dy);
    int64_t steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    std::vector<Pixel> out;
    for (int64_t i = 0; i < steps; ++i) {
        if (xMajor)
            out.push_back(
                {static_cast<LONG>(a.x + (dx > 0 ? i : -i)), static_cast<LONG>(NearestMinor(a.y, i, dy, steps))});
        else
            out.push_back(
                {static_cast<LONG>(NearestMinor(a.x, i, dx, steps)), static_cast<LONG>(a.y + (dy > 0 ? i : -i))});
    }
    return out;
}

const RECT kEverything{INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX};

TEST(CosmeticLine, BresenhamInAllOctantsLeavesOutTheLastPixel)
{
    std::mt19937 rng(5);
    std::uniform_int_distribution<LONG> d(-40, 40);
    std::set<int> octants;
    for (int round = 0; round < 2000; ++round) {
        POINT a{d(rng), d(rng)}, b{d(rng), d(rng)};
        Recorder rec;
        CosmeticLine(a, b, kEverything, {}, nullptr, Recorder::Sink, &rec);
        std::vector<Pixel> want = OracleLine(a, b);
        // One pixel per step, in any order the runs come in.
        std::multiset<Pixel> got(rec.pixels.begin(), rec.pixels.end());
        ASSERT_EQ(got, std::multiset<Pixel>(want.begin(), want.end()))
            << "(" << a.x << "," << a.y << ")-(" << b.x << "," << b.y << ")";
        if (a.x != b.x || a.y != b.y) {
            EXPECT_EQ(got.count({a.x, a.y}), 1u);
            EXPECT_EQ(got.count({b.x, b.y}), 0u);
        }
        int64_t dx = b.x - a.x, dy = b.y - a.y;
        octants.insert((dx > 0) * 4 + (dy > 0) * 2 + (std::llabs(dx) > std::llabs(dy)));
    }
    EXPECT_EQ(octants.size(), 8u);
}

TEST(CosmeticLine, ClippedLineIsTheSameLineCut)
{
    std::mt19937 rng(6);
    std::uniform_int_distribution<LONG> d(-60, 60);
    const RECT clip{-10, -7, 13, 20};
    for (int round = 0; round < 1000; ++round) {
        POINT a{d(rng), d(rng)}, b{d(rng), d(rng)};
        Recorder rec;
        CosmeticLine(a, b, clip, {}, nullptr, Recorder::Sink, &rec);
        std::multiset<Pixel> want;
        for (Pixel p : OracleLine(a, b))
            if (p.first >= clip.left && p.first < clip.right && p.second >= clip.top && p.second < clip.bottom)
                want.insert(p);
        ASSERT_EQ(std::multiset<Pixel>(rec.pixels.begin(), rec.pixels.end()), want) << round;
    }
}

TEST(CosmeticLine, FarEndpointsStayExact)
{
    // A line across most of the 32-bit plane, seen through a small window.
    POINT a{-2000000000, -1999999999}, b{2000000000, 1999999998};
    const RECT clip{-5, -5, 5, 5};
    Recorder rec;
    CosmeticLine(a, b, clip, {}, nullptr, Recorder::Sink, &rec);
    ASSERT_FALSE(rec.pixels.empty());
    for (Pixel p : rec.pixels)
        EXPECT_EQ(p.second, NearestMinor(a.y, int64_t{p.first} - a.x, int64_t{b.y} - a.y, int64_t{b.x} - a.x));
}

TEST(CosmeticLine, DashesCountAlongTheLineAcrossSegments)
{
    const DWORD pattern[] = {3, 2};
    // A horizontal line of 10 pixels: runs of 3 separated by gaps of 2.
    {
        Recorder rec;
        LineDashState dash{0, 0};
        CosmeticLine({0, 0}, {10, 0}, kEverything, pattern, &dash, Recorder::Sink, &rec);
        std::vector<Pixel> want = {{0, 0}, {1, 0}, {2, 0}, {5, 0}, {6, 0}, {7, 0}};
        EXPECT_EQ(rec.pixels, want);
        EXPECT_EQ(dash.index, 0u);
        EXPECT_EQ(dash.count, 0u);
    }
    // The count carries over a corner, whichever way the second segment runs, and over clipping.
    for (RECT clip : {kEverything, RECT{0, 2, 100, 100}}) {
        Recorder rec;
        LineDashState dash{0, 0};
        CosmeticLine({0, 0}, {0, 4}, clip, pattern, &dash, Recorder::Sink, &rec);
        CosmeticLine({0, 4}, {-6, 4}, clip, pattern, &dash, Recorder::Sink, &rec);
        std::set<Pixel> got(rec.pixels.begin(), rec.pixels.end());
        // steps 0..3 down, 4..9 left: drawn steps 0,1,2,5,6,7
        std::set<Pixel> want = {{0, 0}, {0, 1}, {0, 2}, {-1, 4}, {-2, 4}, {-3, 4}};
        if (clip.left == 0) want = {{0, 2}};
        EXPECT_EQ(got, want);
        EXPECT_EQ(dash.index, 0u);
        EXPECT_EQ(dash.count, 0u);
    }
}

TEST(CosmeticLine, GapsAndEmptyElements)
{
    // Gaps go to their own sink; zero-length elements are skipped; an all-zero pattern is solid.
    const DWORD pattern[] = {1, 0, 1, 2};  // draws steps 0,1 then gap 2,3
    Recorder drawn;
    LineDashState dash{0, 0};
    CosmeticLine({0, 0}, {8, 0}, kEverything, pattern, &dash, Recorder::Sink, &drawn, Recorder::GapSink);
    EXPECT_EQ(drawn.pixels, (std::vector<Pixel>{{0, 0}, {1, 0}, {4, 0}, {5, 0}}));
    EXPECT_EQ(drawn.gaps, (std::vector<Pixel>{{2, 0}, {3, 0}, {6, 0}, {7, 0}}));
    const DWORD zeros[] = {0, 0};
    Recorder solid;
    dash = {0, 0};
    CosmeticLine({0, 0}, {4, 0}, kEverything, zeros, &dash, Recorder::Sink, &solid);
    EXPECT_EQ(solid.pixels.size(), 4u);
}

TEST(CosmeticLine, ZeroLengthDrawsNothing)
{
    Recorder rec;
    CosmeticLine({3, 3}, {3, 3}, kEverything, {}, nullptr, Recorder::Sink, &rec);
    EXPECT_TRUE(rec.pixels.empty());
}

}  // namespace
