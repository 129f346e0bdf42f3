// A mask brought to another resolution: the 2x table road and the stretch road give the same
// bits, and both equal a nearest-pixel reference written here (destination pixel x of the area
// takes source pixel x x source width / destination width, rows likewise).
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "engine/band/band_mask_resolution.h"

namespace {

bool BitAt(const std::vector<uint8_t>& bits, uint32_t stride, int64_t x, int64_t y)
{
    return (bits[size_t(y) * stride + size_t(x) / 8] >> (7 - x % 8)) & 1;
}

// A mask of the area in the plane layout: random bits inside, and (when dirty) random bits
// outside the area in its first and last words as well, which no road may carry over.
std::vector<uint8_t> SourceMask(const RECT& area, uint32_t stride, bool dirty, std::mt19937& random)
{
    const int64_t phase = area.left & 31, width = area.right - area.left, height = area.bottom - area.top;
    std::vector<uint8_t> bits(size_t(stride) * size_t(height), 0);
    for (int64_t y = 0; y < height; ++y)
        for (int64_t x = 0; x < int64_t(stride) * 8; ++x) {
            const bool inside = x >= phase && x < phase + width;
            if ((inside || dirty) && random() % 2) bits[size_t(y) * stride + size_t(x) / 8] |= uint8_t(0x80 >> (x % 8));
        }
    return bits;
}

TEST(MaskResolution, TheDoublingAndTheStretchAgreeWithTheNearestPixelReference)
{
    struct Case {
        const char* name;
        RECT from, to;  // the same area at the job's and the plane's resolution
    } const cases[] = {
        {"on a word, exactly twice", {0, 0, 40, 5}, {0, 0, 80, 10}},
        {"phase below 16", {5, 3, 17, 9}, {10, 6, 34, 18}},
        {"phase 16 and more: the source starts two bytes on", {21, 0, 60, 4}, {42, 0, 120, 8}},
        {"phase 31, one pixel", {31, 7, 32, 8}, {62, 14, 64, 16}},
        {"a wide area over many words", {13, 0, 250, 3}, {26, 0, 500, 6}},
        {"three halves: stretched", {7, 0, 45, 6}, {10, 0, 67, 9}},
        {"twice across, once down: stretched", {3, 0, 30, 4}, {6, 0, 60, 4}},
        {"smaller: stretched", {9, 0, 70, 8}, {4, 0, 35, 4}},
    };
    std::mt19937 random(19);
    for (const Case& c : cases) {
        for (const bool dirty : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (dirty ? ", bits outside the area" : ""));
            const int64_t fromWidth = c.from.right - c.from.left, fromHeight = c.from.bottom - c.from.top;
            const int64_t toWidth = c.to.right - c.to.left, toHeight = c.to.bottom - c.to.top;
            const uint32_t sourceStride = uint32_t(((c.from.left & 31) + fromWidth + 31) / 32 * 4);
            const std::vector<uint8_t> source = SourceMask(c.from, sourceStride, dirty, random);
            // Earlier contents of the destination buffer must not show through either.
            std::vector<uint8_t> doubled(4096, 0xA5), stretched(4096, 0x5A);
            const uint32_t stride = MaskResolutionBring(doubled.data(), uint32_t(doubled.size()), source.data(),
                                                        sourceStride, c.from, c.to, true);
            ASSERT_EQ(MaskResolutionBring(stretched.data(), uint32_t(stretched.size()), source.data(), sourceStride,
                                          c.from, c.to, false),
                      stride);
            ASSERT_EQ(stride, ((c.to.left & 31) + toWidth + 31) / 32 * 4);
            doubled.resize(size_t(stride) * size_t(toHeight));
            stretched.resize(doubled.size());
            EXPECT_EQ(doubled, stretched);
            const int64_t toPhase = c.to.left & 31, fromPhase = c.from.left & 31;
            size_t wrong = 0;
            for (int64_t y = 0; y < toHeight; ++y)
                for (int64_t x = 0; x < int64_t(stride) * 8; ++x) {
                    const int64_t dx = x - toPhase;
                    const bool want =
                        dx >= 0 && dx < toWidth &&
                        BitAt(source, sourceStride, fromPhase + dx * fromWidth / toWidth, y * fromHeight / toHeight);
                    wrong += BitAt(doubled, stride, x, y) != want;
                }
            EXPECT_EQ(wrong, 0u);
        }
    }
}

TEST(MaskResolution, AnAreaThatDoesNotFitOrIsEmptyWritesNothing)
{
    const std::vector<uint8_t> source(64, 0xFF);
    struct Case {
        const char* name;
        RECT from, to;
        uint32_t capacity;
    } const cases[] = {
        {"rows beyond the capacity", {0, 0, 32, 4}, {0, 0, 64, 8}, 8 * 8 - 1},
        {"empty source", {4, 0, 4, 4}, {8, 0, 16, 8}, 256},
        {"empty destination", {4, 0, 8, 4}, {8, 3, 16, 3}, 256},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> dest(256, 0x33);
        EXPECT_EQ(MaskResolutionBring(dest.data(), c.capacity, source.data(), 8, c.from, c.to, true), 0u) << c.name;
        EXPECT_EQ(dest, std::vector<uint8_t>(256, 0x33)) << c.name;
    }
}

}  // namespace
