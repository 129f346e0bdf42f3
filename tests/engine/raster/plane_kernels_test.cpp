// The plane kernels at 1, 2 and 4 bits against plain per-pixel loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <vector>

#include "engine/raster/plane_kernels.h"
#include "tests/engine/raster/raster_bitmap.h"

namespace {

void Randomise(TestBitmap& b, uint32_t seed)
{
    for (int32_t y = 0; y < b.height; ++y)
        for (int32_t x = 0; x < b.width; ++x) b.Set(x, y, Noise(x, y, seed));
}

using Fill = void (*)(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                      uint32_t);
using MaskFill = void (*)(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);

struct DepthKernels {
    uint32_t depth;
    Fill fill;
    MaskFill maskPattern;
    void (*rectCopy)(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);
    void (*maskCopy)(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t);
};

const DepthKernels kDepths[] = {
    {1, Plane1PatternFill, Plane1MaskPattern, Plane1RectCopy, Plane1MaskCopy},
    {2, Plane2PatternFill, Plane2MaskPattern, Plane2RectCopy, Plane2MaskCopy},
    {4, Plane4PatternFill, Plane4MaskPattern, Plane4RectCopy, Plane4MaskCopy},
};

constexpr int32_t kPlaneWidth = 200;
constexpr int32_t kRows = 3;

// Fills (or ANDs) and compares the whole plane with a per-pixel expectation.
void CheckTile(const DepthKernels& k, bool andMode, uint32_t pw, uint32_t ph, uint32_t x, uint32_t y, uint32_t w,
               uint32_t h, uint32_t px, uint32_t py, int32_t planeWidth = kPlaneWidth)
{
    TestPattern pattern(pw, ph, k.depth, pw * 7 + ph);
    TestBitmap plane(planeWidth, kRows + 2, k.depth);
    Randomise(plane, x + 3 * w);
    TestBitmap expected = plane;
    for (uint32_t r = 0; r < h; ++r)
        for (uint32_t i = 0; i < w; ++i) {
            uint32_t v = pattern.At((px + i) % pw, (py + r) % ph);
            if (andMode) v &= expected.Get(x + i, y + r);
            expected.Set(x + i, y + r, v);
        }
    BltBitmap d = plane.Blt();
    BltBitmap p = pattern.Blt();
    (andMode ? Plane1PatternAnd : k.fill)(&d, &p, x, y, w, h, px, py, pw, ph);
    ASSERT_EQ(plane.words, expected.words)
        << "depth " << k.depth << (andMode ? " AND" : " fill") << " pattern " << pw << "x" << ph << " x " << x << " y "
        << y << " w " << w << " h " << h << " phase " << px << "," << py;
}

TEST(PlaneKernels, PatternFillAndAndMatchReferenceOverWidthsPositionsAndPhases)
{
    for (const DepthKernels& k : kDepths)
        for (uint32_t pw = 1; pw <= 100; ++pw)
            for (uint32_t x = 0; x <= 70; ++x) {
                const uint32_t seed = pw * 101 + x;
                const uint32_t w = x % 7 == 0 ? (x * 13 + pw) % 101 : Noise(seed, 1) % 101;
                const uint32_t px = Noise(seed, 2) % (2 * pw + 40);
                const uint32_t ph = 1 + Noise(seed, 3) % 5;
                CheckTile(k, false, pw, ph, x, 1, w, kRows, px, Noise(seed, 4) % 9);
                if (k.depth == 1) CheckTile(k, true, pw, ph, x, 1, w, kRows, px, 3);
                if (HasFatalFailure()) return;
            }
}

TEST(PlaneKernels, EveryPhaseOfSelectedPatternWidths)
{
    for (const DepthKernels& k : kDepths)
        for (uint32_t pw : {1u, 3u, 4u, 5u, 8u, 9u, 16u, 17u, 31u, 32u, 33u, 40u, 64u, 100u})
            for (uint32_t px = 0; px < pw + 2; ++px)
                for (uint32_t w : {0u, 1u, 31u, 100u}) {
                    CheckTile(k, false, pw, 2, px % 40, 0, w, 2, px, px);
                    if (k.depth == 1) CheckTile(k, true, pw, 2, (px * 3) % 70, 2, w, 1, px, 1);
                    if (HasFatalFailure()) return;
                }
}

TEST(PlaneKernels, WideAreasMatchReference)
{
    // Rows long enough for the inner words to repeat many times over.
    for (const DepthKernels& k : kDepths)
        for (uint32_t pw : {1u, 3u, 5u, 7u, 8u, 9u, 12u, 17u, 20u, 24u, 33u, 40u, 48u, 64u, 80u, 100u, 200u, 300u})
            for (uint32_t x : {0u, 13u, 32u, 45u}) {
                const uint32_t w = 700 + Noise(pw, x) % 300;
                CheckTile(k, false, pw, 3, x, 0, w, 2, Noise(pw, x, 2) % pw, 1, 1100);
                if (k.depth == 1) CheckTile(k, true, pw, 3, x, 1, w, 2, Noise(pw, x, 3) % pw, 2, 1100);
                // More rows than the pattern has: later rows repeat the first ones' words.
                CheckTile(k, false, pw, 2, x, 1, w, 4, Noise(pw, x, 4) % pw, 1, 1100);
                if (HasFatalFailure()) return;
            }
}

TEST(PlaneKernels, PatternWidthIsWidenedToHalfAWordPlusOne)
{
    EXPECT_EQ(PlanePatternWidthWiden(1, 8), 24u);
    EXPECT_EQ(PlanePatternWidthWiden(1, 1), 17u);
    EXPECT_EQ(PlanePatternWidthWiden(1, 40), 40u);
    EXPECT_EQ(PlanePatternWidthWiden(1, 64), 64u);
    EXPECT_EQ(PlanePatternWidthWiden(1, 32), 32u);
    EXPECT_EQ(PlanePatternWidthWiden(2, 4), 12u);
    EXPECT_EQ(PlanePatternWidthWiden(4, 3), 6u);
    EXPECT_EQ(PlanePatternWidthWiden(1, 0), 0u);
}

TEST(PlaneKernels, TilesMeetWithoutSeam)
{
    for (const DepthKernels& k : kDepths) {
        TestPattern pattern(8, 3, k.depth, 5);
        TestBitmap whole(kPlaneWidth, 2, k.depth), split(kPlaneWidth, 2, k.depth);
        BltBitmap p = pattern.Blt(), a = whole.Blt(), b = split.Blt();
        k.fill(&a, &p, 0, 0, 100, 2, 3, 1, 8, 3);
        k.fill(&b, &p, 0, 0, 40, 2, 3, 1, 8, 3);
        k.fill(&b, &p, 40, 0, 60, 2, 3 + 40, 1, 8, 3);
        EXPECT_EQ(whole.words, split.words) << k.depth;
        for (uint32_t i = 0; i < 100; ++i) ASSERT_EQ(whole.Get(i, 0), pattern.At((3 + i) % 8, 1));
    }
}

TEST(PlaneKernels, ZeroSizedPatternsAndAreasChangeNothing)
{
    for (const DepthKernels& k : kDepths) {
        TestPattern pattern(5, 2, k.depth, 1);
        TestBitmap plane(64, 2, k.depth);
        Randomise(plane, 4);
        const auto before = plane.words;
        BltBitmap p = pattern.Blt(), d = plane.Blt();
        k.fill(&d, &p, 0, 0, 50, 2, 0, 0, 0, 2);
        k.fill(&d, &p, 0, 0, 50, 2, 0, 0, 5, 0);
        k.fill(&d, &p, 0, 0, 50, 0, 0, 0, 5, 2);
        k.rectCopy(&d, &p, 3, 0, 20, 0);
        EXPECT_EQ(plane.words, before);
    }
}

TEST(PlaneKernels, RectCopyMatchesReference)
{
    for (const DepthKernels& k : kDepths)
        for (uint32_t x = 0; x <= 70; ++x)
            for (uint32_t w : {0u, 1u, 2u, 7u, 15u, 16u, 17u, 31u, 32u, 33u, 40u, 64u, 99u, 100u}) {
                TestBitmap source(std::max<int32_t>(w, 1), 2, k.depth);
                Randomise(source, w);
                TestBitmap plane(kPlaneWidth, 4, k.depth);
                Randomise(plane, x);
                TestBitmap expected = plane;
                for (uint32_t r = 0; r < 2; ++r)
                    for (uint32_t i = 0; i < w; ++i) expected.Set(x + i, 1 + r, source.Get(i, r));
                BltBitmap d = plane.Blt(), s = source.Blt();
                k.rectCopy(&d, &s, x, 1, w, 2);
                ASSERT_EQ(plane.words, expected.words) << k.depth << " x " << x << " w " << w;
            }
}

TEST(PlaneKernels, RectCopyAt33OfFortyPixels)
{
    TestBitmap source(40, 1, 1);
    Randomise(source, 2);
    TestBitmap plane(128, 1, 1);
    BltBitmap d = plane.Blt(), s = source.Blt();
    Plane1RectCopy(&d, &s, 33, 0, 40, 1);
    EXPECT_EQ(plane.words[0], 0u);
    EXPECT_EQ(plane.words[3], 0u);
    EXPECT_EQ(plane.Get(33, 0), source.Get(0, 0));
    EXPECT_EQ(plane.Get(72, 0), source.Get(39, 0));
}

// Mask bit i of a row is group pixel i; group 1 of the plane row (pixels 32..63 and on).
void CheckMasked(const DepthKernels& k, bool copy, uint32_t phase, uint32_t maskWidth, uint32_t pw, uint32_t px,
                 bool emptyMask)
{
    constexpr int32_t group = 1;
    const uint32_t rows = 3;
    TestBitmap mask(maskWidth, rows, 1);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t i = copy ? phase : 0; i < maskWidth; ++i)
            mask.Set(i, r, emptyMask ? 0 : (Noise(i, r, maskWidth) & 3) != 0);
    TestBitmap plane(kPlaneWidth, rows, k.depth);
    Randomise(plane, phase + maskWidth);
    TestBitmap expected = plane;
    TestBitmap source(std::max<int32_t>(maskWidth - phase, 1), rows, k.depth);
    Randomise(source, 77);
    TestPattern pattern(pw, 4, k.depth, pw);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t i = 0; i < maskWidth; ++i) {
            if (!mask.Get(i, r)) continue;
            uint32_t v = copy ? source.Get(i - phase, r) : pattern.At((px + i) % pw, (2 + r) % 4);
            expected.Set(group * 32 + i, r, v);
        }
    const uint32_t ppw = 32 / k.depth;
    BltBitmap d = plane.Blt();
    d.bits = plane.Row(0) + group * 4 * k.depth + (copy ? 4 * (phase / ppw) : 0);
    BltBitmap m = mask.Blt(), s = source.Blt(), p = pattern.Blt();
    if (copy) {
        k.maskCopy(&d, &m, &s, phase);
    } else {
        k.maskPattern(&d, &m, &p, px, 2, pw, 4);
    }
    ASSERT_EQ(plane.words, expected.words) << "depth " << k.depth << (copy ? " copy" : " pattern") << " phase " << phase
                                           << " mask width " << maskWidth << " pattern " << pw << " px " << px;
}

TEST(PlaneKernels, MaskedCopyMatchesReference)
{
    for (const DepthKernels& k : kDepths)
        for (uint32_t phase = 0; phase < 32; ++phase)
            for (uint32_t maskWidth = phase + 1; maskWidth <= 100; maskWidth += 1 + maskWidth % 5) {
                CheckMasked(k, true, phase, maskWidth, 1, 0, false);
                if (HasFatalFailure()) return;
            }
}

TEST(PlaneKernels, MaskedCopyWithEmptyMaskChangesNothing)
{
    for (const DepthKernels& k : kDepths) CheckMasked(k, true, 20, 90, 1, 0, true);
}

TEST(PlaneKernels, MaskedPatternMatchesReference)
{
    for (const DepthKernels& k : kDepths)
        for (uint32_t pw = 1; pw <= 100; ++pw)
            for (uint32_t maskWidth : {1u, 5u, 31u, 32u, 33u, 70u, 100u}) {
                CheckMasked(k, false, 0, maskWidth, pw, Noise(pw, maskWidth) % pw, false);
                if (HasFatalFailure()) return;
            }
}

// Masks that are mostly clear, as a thin or slanted shape leaves them over its bounds: a few short
// runs a row at random places, rows with none, and rows wider than the kernel's table of word
// phases.
TEST(PlaneKernels, SparseMaskedPatternMatchesReference)
{
    constexpr uint32_t kRowsOfMask = 4;
    for (const DepthKernels& k : kDepths)
        for (uint32_t pw : {1u, 5u, 17u, 32u, 33u, 64u, 100u, 160u})
            for (uint32_t maskWidth : {40u, 300u, 700u, 2100u, 8300u}) {
                TestBitmap mask(maskWidth, kRowsOfMask, 1);
                for (uint32_t r = 0; r < kRowsOfMask; ++r)
                    for (uint32_t j = 0; j < Noise(r, maskWidth, pw) % 4; ++j) {
                        const uint32_t at = Noise(j, r, maskWidth + pw) % maskWidth;
                        const uint32_t end = std::min(maskWidth, at + 1 + Noise(j, r, 7) % 40);
                        for (uint32_t i = at; i < end; ++i) mask.Set(i, r, 1);
                    }
                mask.Set(maskWidth - 1, kRowsOfMask - 1, 1);  // the row's last pixel
                TestBitmap plane(maskWidth + 64, kRowsOfMask, k.depth);
                Randomise(plane, maskWidth + pw);
                TestBitmap expected = plane;
                TestPattern pattern(pw, 3, k.depth, pw + 1);
                const uint32_t px = Noise(pw, maskWidth, 3) % pw;
                for (uint32_t r = 0; r < kRowsOfMask; ++r)
                    for (uint32_t i = 0; i < maskWidth; ++i)
                        if (mask.Get(i, r)) expected.Set(i, r, pattern.At((px + i) % pw, (1 + r) % 3));
                BltBitmap d = plane.Blt(), m = mask.Blt(), p = pattern.Blt();
                k.maskPattern(&d, &m, &p, px, 1, pw, 3);
                ASSERT_EQ(plane.words, expected.words)
                    << "depth " << k.depth << " mask width " << maskWidth << " pattern " << pw << " px " << px;
            }
}

TEST(PlaneKernels, PatternAndWithOnesKeepsAndWithZerosClears)
{
    TestBitmap plane(100, 2, 1);
    Randomise(plane, 8);
    const auto before = plane.words;
    std::vector<uint32_t> ones(1, ~0u), zeros(1, 0u);
    BltBitmap d = plane.Blt();
    BltBitmap p{};
    p.bits = ones.data();
    p.stride = 4;
    Plane1PatternAnd(&d, &p, 5, 0, 60, 2, 0, 0, 32, 1);
    EXPECT_EQ(plane.words, before);
    p.bits = zeros.data();
    Plane1PatternAnd(&d, &p, 5, 0, 60, 2, 0, 0, 32, 1);
    for (int32_t x = 0; x < 100; ++x) ASSERT_EQ(plane.Get(x, 1), (x >= 5 && x < 65) ? 0u : TestBitmap(plane).Get(x, 1));
    TestBitmap original(100, 2, 1);
    original.words = before;
    for (int32_t x = 0; x < 100; ++x) ASSERT_EQ(plane.Get(x, 0), (x >= 5 && x < 65) ? 0u : original.Get(x, 0)) << x;
}

}  // namespace

namespace {

// Which loop each width takes: w' is the width widened to half a word plus one pixel; one word,
// below a word, whole words and anything else each have their loop.
TEST(PlaneKernels, SelectorsPickTheLoopByTheWidenedWidth)
{
    struct Case {
        uint32_t depth, width;
        PlanePatternLoop fill;
        PlaneMaskPatternLoop mask;
    };
    const Case cases[] = {
        {1, 32, Plane1PatternFillWord, Plane1MaskPatternWord},
        {1, 16, Plane1PatternFillWord, Plane1MaskPatternWord},  // widened to 32
        {1, 5, Plane1PatternFillNarrow, Plane1MaskPatternNarrow},  // widened to 20
        {1, 17, Plane1PatternFillNarrow, Plane1MaskPatternNarrow},
        {1, 64, Plane1PatternFillWords, Plane1MaskPatternWords},
        {1, 33, Plane1PatternFillAny, Plane1MaskPatternAny},
        {2, 16, Plane2PatternFillWord, Plane2MaskPatternWord},
        {2, 8, Plane2PatternFillWord, Plane2MaskPatternWord},
        {2, 3, Plane2PatternFillNarrow, Plane2MaskPatternNarrow},  // widened to 9
        {2, 48, Plane2PatternFillWords, Plane2MaskPatternWords},
        {2, 20, Plane2PatternFillAny, Plane2MaskPatternAny},
        {4, 8, Plane4PatternFillWord, Plane4MaskPatternWord},
        {4, 4, Plane4PatternFillWord, Plane4MaskPatternWord},
        {4, 3, Plane4PatternFillNarrow, Plane4MaskPatternNarrow},  // widened to 6
        {4, 24, Plane4PatternFillWords, Plane4MaskPatternWords},
        {4, 12, Plane4PatternFillAny, Plane4MaskPatternAny},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PlanePatternLoopSelect(c.depth, c.width, false), c.fill) << c.depth << " " << c.width;
        EXPECT_EQ(PlaneMaskPatternLoopSelect(c.depth, c.width), c.mask) << c.depth << " " << c.width;
    }
    EXPECT_EQ(PlanePatternLoopSelect(1, 32, true), Plane1PatternAndWord);
    EXPECT_EQ(PlanePatternLoopSelect(1, 3, true), Plane1PatternAndNarrow);
    EXPECT_EQ(PlanePatternLoopSelect(1, 96, true), Plane1PatternAndWords);
    EXPECT_EQ(PlanePatternLoopSelect(1, 40, true), Plane1PatternAndAny);
    // Nothing to run: no width, no such depth, AND beyond one bit.
    EXPECT_EQ(PlanePatternLoopSelect(1, 0, false), nullptr);
    EXPECT_EQ(PlanePatternLoopSelect(8, 8, false), nullptr);
    EXPECT_EQ(PlanePatternLoopSelect(2, 16, true), nullptr);
    EXPECT_EQ(PlaneMaskPatternLoopSelect(4, 0), nullptr);
}

}  // namespace
