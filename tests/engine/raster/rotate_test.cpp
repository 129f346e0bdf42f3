// Rotation and mirroring against a per-pixel reference, and the two whole-bitmap helpers.
#include <gtest/gtest.h>

#include <string>

#include "engine/raster/rotate.h"
#include "tests/engine/raster/raster_bitmap.h"

namespace {

// Sparse and dense areas alternate in 32 x 32 squares, so that all-zero 1-bit blocks and blocks
// with a single set bit are both met.
// `dense` fills every square with noise.
void FillSource(TestBitmap& b, uint32_t seed, bool dense = false)
{
    for (int32_t y = 0; y < b.height; ++y) {
        for (int32_t x = 0; x < b.width; ++x) {
            uint32_t n = Noise(x, y, seed);
            bool sparse = !dense && ((x / 32 + y / 32) & 1) == 0;
            uint32_t v = sparse ? ((x % 32 == 5 && y % 32 == 17) ? 0xFFFFFFFFu : 0) : n;
            b.Set(x, y, b.depth == 32 ? v : v & ((b.depth == 24 ? 0xFFFFFFu : (1u << b.depth) - 1)));
        }
    }
    // Garbage in the padding after the width must not reach the result.
    if (b.depth == 1 && b.width % 8) {
        for (int32_t y = 0; y < b.height; ++y) b.Row(y)[(b.width - 1) / 8] |= 0xFF >> (b.width % 8);
    }
}

// Expected destination pixel (x, y) for the dispatcher's angle and mirrors.
uint32_t Expected(const TestBitmap& s, uint32_t angle, bool xMirror, bool yMirror, int32_t x, int32_t y)
{
    if (xMirror) {
        angle += 180;
        yMirror = !yMirror;
    }
    angle %= 360;
    const int32_t W = s.width;
    const int32_t H = s.height;
    const int32_t rows = (angle == 90 || angle == 270) ? W : H;
    if (yMirror) y = rows - 1 - y;
    switch (angle) {
        case 0: return s.Get(x, y);
        case 90: return s.Get(y, H - 1 - x);
        case 180: return s.Get(W - 1 - x, H - 1 - y);
        default: return s.Get(W - 1 - y, x);
    }
}

// Turns and compares every pixel; checks that the 1-bit padding bits are 0 and that bytes after
// the result's row are untouched; checks the descriptor comes back unchanged.
void CheckTurn(int32_t depth, int32_t W, int32_t H, uint32_t angle, bool xm, bool ym, bool dense = false,
               uint32_t seed = 0)
{
    TestBitmap source(W, H, depth);
    FillSource(source, W * 131 + H + seed, dense);
    const bool quarter = (angle % 360 + (xm ? 180 : 0)) % 180 == 90;
    const int32_t dw = quarter ? H : W;
    const int32_t dh = quarter ? W : H;
    TestBitmap dest(dw, dh, depth, 1, 0xA5);
    BltBitmap d = dest.Blt();
    BltBitmap s = source.Blt();
    const BltBitmap before = d;
    BitmapRotateDispatch(&d, &s, angle, xm, ym);
    ASSERT_EQ(d.bits, before.bits);
    ASSERT_EQ(d.stride, before.stride);
    const std::string where = "depth " + std::to_string(depth) + " " + std::to_string(W) + "x" + std::to_string(H) +
                              " angle " + std::to_string(angle) + " xm " + std::to_string(xm) + " ym " +
                              std::to_string(ym);
    const int32_t rowBytes = (dw * depth + 7) / 8;
    for (int32_t y = 0; y < dh; ++y) {
        for (int32_t x = 0; x < dw; ++x) {
            uint32_t want = Expected(source, angle, xm, ym, x, y);
            if (dest.Get(x, y) != want) {
                FAIL() << where << " pixel " << x << "," << y << " got " << dest.Get(x, y) << " want " << want;
            }
        }
        const uint8_t* row = dest.Row(y);
        if (depth == 1 && dw % 8 && (angle + (xm ? 180 : 0)) % 360 != 0) {
            ASSERT_EQ(row[rowBytes - 1] & (0xFF >> (dw % 8)), 0) << where << " padding row " << y;
        }
        const int32_t written = depth == 1 ? rowBytes : dw * depth / 8;
        for (int32_t i = (depth == 1 ? rowBytes : written); i < dest.stride; ++i) {
            ASSERT_EQ(row[i], 0xA5) << where << " byte " << i << " after row " << y;
        }
    }
}

const int32_t kSizes[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 63, 64, 65, 129};
const int32_t kDepths[] = {1, 8, 24, 32};

TEST(BitmapRotate, EveryDepthAndAngleOverSizesMatchesReference)
{
    for (int32_t depth : kDepths)
        for (uint32_t angle : {0u, 90u, 180u, 270u})
            for (int32_t W : kSizes)
                for (int32_t H : kSizes) {
                    CheckTurn(depth, W, H, angle, false, false);
                    if (HasFatalFailure()) return;
                }
}

TEST(BitmapRotate, MirrorsAtEveryAngleMatchReference)
{
    const int32_t sizes[] = {1, 7, 8, 9, 17, 33, 40, 65};
    for (int32_t depth : kDepths)
        for (uint32_t angle : {0u, 90u, 180u, 270u})
            for (int mirrors = 1; mirrors < 4; ++mirrors)
                for (int32_t W : sizes)
                    for (int32_t H : sizes) {
                        CheckTurn(depth, W, H, angle, mirrors & 1, mirrors & 2);
                        if (HasFatalFailure()) return;
                    }
}

TEST(BitmapRotate, FaxBandShapesAndBlockSplits)
{
    // 40 x 24 at 1 bit: two 16-blocks side by side, a right strip of 8 x 24, a strip of 32 x 8.
    const int32_t shapes[][2] = {{7, 100}, {100, 7},   {7, 7},    {8, 8},    {40, 24},
                                 {24, 40}, {1728, 40}, {300, 97}, {97, 300}, {256, 64}};
    for (const auto& shape : shapes)
        for (int32_t depth : kDepths)
            for (uint32_t angle : {90u, 270u}) {
                CheckTurn(depth, shape[0], shape[1], angle, false, false);
                if (HasFatalFailure()) return;
            }
}

// The 1-bit quarter turns take 16 source rows at a time through the vector unit, 128 pixels a
// step, then the last byte columns one by one and the last rows by blocks: random sizes around
// those steps, random bits, every mirror, against the per-pixel reference.
TEST(BitmapRotate, RandomOneBitQuarterTurnsMatchReference)
{
    uint32_t seed = 7;
    const auto next = [&seed](uint32_t n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (int round = 0; round < 300; ++round) {
        const int32_t W = 1 + static_cast<int32_t>(next(round % 3 == 0 ? 400 : 140));
        const int32_t H = 1 + static_cast<int32_t>(next(round % 4 == 0 ? 200 : 50));
        const uint32_t angle = next(2) ? 90 : 270;
        CheckTurn(1, W, H, angle, next(2) == 1, next(2) == 1, true, seed);
        if (HasFatalFailure()) return;
    }
}

TEST(BitmapRotate, QuarterTurnThenBackIsIdentity)
{
    for (int32_t depth : kDepths)
        for (int32_t W : {1, 9, 33, 65, 129})
            for (int32_t H : {3, 17, 64, 100})
                for (uint32_t first : {90u, 270u}) {
                    TestBitmap source(W, H, depth);
                    FillSource(source, 7);
                    TestBitmap turned(H, W, depth);
                    TestBitmap back(W, H, depth);
                    BltBitmap s = source.Blt(), t = turned.Blt(), b = back.Blt();
                    BitmapRotateDispatch(&t, &s, first, 0, 0);
                    BitmapRotateDispatch(&b, &t, 360 - first, 0, 0);
                    for (int32_t y = 0; y < H; ++y)
                        for (int32_t x = 0; x < W; ++x)
                            ASSERT_EQ(back.Get(x, y), source.Get(x, y))
                                << depth << " " << W << "x" << H << " at " << x << "," << y;
                }
}

TEST(BitmapRotate, BottomUpSourceIsReadThroughItsNegativeStride)
{
    for (int32_t depth : kDepths)
        for (uint32_t angle : {0u, 90u, 180u, 270u}) {
            TestBitmap source(37, 21, depth);
            FillSource(source, 5);
            // The same image stored bottom-up: row 0 is the last row in memory.
            TestBitmap stored(37, 21, depth);
            for (int32_t y = 0; y < 21; ++y) std::memcpy(stored.Row(20 - y), source.Row(y), source.stride);
            BltBitmap s = stored.Blt();
            s.bits = stored.Row(20);
            s.stride = -stored.stride;
            const bool quarter = angle % 180 == 90;
            TestBitmap dest(quarter ? 21 : 37, quarter ? 37 : 21, depth);
            BltBitmap d = dest.Blt();
            BitmapRotateDispatch(&d, &s, angle, 0, 0);
            for (int32_t y = 0; y < dest.height; ++y)
                for (int32_t x = 0; x < dest.width; ++x)
                    ASSERT_EQ(dest.Get(x, y), Expected(source, angle, false, false, x, y))
                        << depth << " " << angle << " at " << x << "," << y;
        }
}

TEST(BitmapRotate, OnePixelLandsInTopBit)
{
    for (uint32_t angle : {0u, 90u, 180u, 270u}) {
        TestBitmap source(1, 1, 1);
        source.Row(0)[0] = 0x80;
        TestBitmap dest(1, 1, 1);
        BltBitmap s = source.Blt(), d = dest.Blt();
        BitmapRotateDispatch(&d, &s, angle, 0, 0);
        EXPECT_EQ(dest.Row(0)[0], 0x80) << angle;
    }
}

TEST(BitmapRotate, AngleIsReducedModulo360AndOddAnglesOrDepthsWriteNothing)
{
    CheckTurn(1, 33, 17, 450, false, false);  // 450 behaves as 90
    CheckTurn(8, 5, 9, 720 + 270, false, true);
    for (auto [depth, angle] : {std::pair{1, 45u}, {8, 100u}, {2, 90u}, {4, 0u}, {16, 180u}}) {
        TestBitmap source(16, 16, depth);
        FillSource(source, 3);
        TestBitmap dest(16, 16, depth, 0, 0x5A);
        BltBitmap s = source.Blt(), d = dest.Blt();
        const BltBitmap before = d;
        BitmapRotateDispatch(&d, &s, angle, 1, 1);
        EXPECT_EQ(d.bits, before.bits);
        EXPECT_EQ(d.stride, before.stride);
        for (uint32_t w : dest.words) ASSERT_EQ(w, 0x5A5A5A5Au) << depth << " " << angle;
    }
}

TEST(BitmapRotate, EmptyOrNegativeHeightWritesNothing)
{
    for (int32_t depth : kDepths)
        for (int32_t height : {0, -3}) {
            TestBitmap source(8, 4, depth, 0, 0xFF);
            source.height = height;
            TestBitmap dest(8, 4, depth, 0, 0x11);
            BltBitmap s = source.Blt(), d = dest.Blt();
            for (uint32_t angle : {0u, 90u, 180u, 270u}) BitmapRotateDispatch(&d, &s, angle, 0, 1);
            for (uint32_t w : dest.words) ASSERT_EQ(w, 0x11111111u);
        }
}

TEST(BitmapRotate, SingleBitInsideZeroBlockIsTurned)
{
    TestBitmap source(64, 64, 1);
    source.Set(40, 3, 1);
    TestBitmap dest(64, 64, 1, 0, 0xFF);
    BltBitmap s = source.Blt(), d = dest.Blt();
    BitmapRotateDispatch(&d, &s, 90, 0, 0);
    for (int32_t y = 0; y < 64; ++y)
        for (int32_t x = 0; x < 64; ++x) ASSERT_EQ(dest.Get(x, y), (x == 60 && y == 40) ? 1u : 0u) << x << "," << y;
}

TEST(BitmapSwapWords, ReversesEveryWordOfTheStride)
{
    TestBitmap b(40, 2, 1);  // stride 8
    const uint8_t row[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    std::memcpy(b.Row(0), row, 8);
    std::memcpy(b.Row(1), row, 8);
    BltBitmap d = b.Blt();
    d.width = 1;  // the whole stride is swapped, whatever the width
    BitmapSwapWords(&d);
    const uint8_t want[8] = {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55};
    EXPECT_EQ(std::memcmp(b.Row(0), want, 8), 0);
    EXPECT_EQ(std::memcmp(b.Row(1), want, 8), 0);
    d.height = 0;
    BitmapSwapWords(&d);
    EXPECT_EQ(std::memcmp(b.Row(0), want, 8), 0);
}

TEST(Mono2xEnlarge, DoublesEveryPixel)
{
    TestBitmap one(1, 1, 1);
    one.Row(0)[0] = 0x80;
    TestBitmap twice(2, 2, 1, 0, 0xEE);
    BltBitmap s = one.Blt(), d = twice.Blt();
    Mono2xEnlarge(&d, &s);
    EXPECT_EQ(twice.Row(0)[0], 0xC0);
    EXPECT_EQ(twice.Row(0)[1], 0x00);
    EXPECT_EQ(twice.Row(1)[0], 0xC0);
    EXPECT_EQ(twice.Row(1)[1], 0x00);

    TestBitmap source(37, 5, 1);
    FillSource(source, 9);
    TestBitmap dest(74, 10, 1);
    s = source.Blt();
    d = dest.Blt();
    Mono2xEnlarge(&d, &s);
    for (int32_t y = 0; y < 10; ++y)
        for (int32_t x = 0; x < 74; ++x) ASSERT_EQ(dest.Get(x, y), source.Get(x / 2, y / 2));
}

}  // namespace
