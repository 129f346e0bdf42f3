// Band plane operations: the choice of operation by band depth, texture state and inversion
// with the use counts, the plane loops' phases, masks and the device's mask pattern.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/raster/band_plane_ops.h"
#include "tests/engine/raster/raster_bitmap.h"

namespace {

constexpr int32_t kWidth = 70;
constexpr int32_t kHeight = 4;
constexpr RECT kRect = {5, 1, 60, 3};

// A band plane over its own rows, filled with noise.
struct BandPlane {
    TestBitmap pixels;
    ImxPlane plane{};
    BandPlane(uint8_t depth, uint32_t useCount, int32_t width = kWidth, int32_t height = kHeight)
        : pixels(width, height, depth == 0 ? 1 : depth)
    {
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width; ++x) pixels.Set(x, y, Noise(x, y, depth));
        plane.depth = depth;
        plane.dataPresent = useCount;
        plane.width = static_cast<uint32_t>(width);
        plane.height = static_cast<uint32_t>(height);
        plane.stride = static_cast<uint32_t>(pixels.stride);
        plane.data = depth ? reinterpret_cast<uint8_t*>(pixels.words.data()) : nullptr;
    }
};

enum class State { kAbsent, kBlank, kBlankData, kFull, kSolidZero, kSolidValue, kData };
enum class Outcome { kUntouched, kZeros, kOnes, kSolid, kTile };

constexpr uint32_t kSolidValue = 0x00C0FFEE;

// Texture plane of the state; data textures are a 7 x 3 tile (1, 2, 4 bits: native words) or a
// block of pixels whose first pixel is known (8, 24, 32 bits).
struct TexturePlane {
    std::unique_ptr<TestPattern> tile;
    std::vector<uint32_t> pixels = std::vector<uint32_t>(64, 0x5A3C1E0Fu);
    ImxPlane plane{};
    TexturePlane(State state, uint8_t depth)
    {
        plane.depth = depth;
        if (depth && depth < 8) tile = std::make_unique<TestPattern>(7, 3, depth, 11);
        auto data = [&]() -> uint8_t* {
            return tile ? reinterpret_cast<uint8_t*>(tile->words.data()) : reinterpret_cast<uint8_t*>(pixels.data());
        };
        plane.width = 7;
        plane.height = 3;
        plane.stride = tile ? tile->strideWords * 4 : 64;
        switch (state) {
            case State::kAbsent: plane = ImxPlane{}; break;
            case State::kBlank: plane.flags = IMX_PLANE_BLANK; break;
            case State::kBlankData:
                plane.data = data();
                plane.dataPresent = 0;
                break;
            case State::kFull: plane.flags = IMX_PLANE_FULL; break;
            case State::kSolidZero:
                plane.flags = IMX_PLANE_SOLID;
                plane.solidValue = 0;
                break;
            case State::kSolidValue:
                plane.flags = IMX_PLANE_SOLID;
                plane.solidValue = kSolidValue;
                break;
            case State::kData:
                plane.data = data();
                plane.dataPresent = 1;
                break;
        }
    }
};

struct Case {
    State state;
    bool inverted;
    uint32_t bandUse;
    Outcome bits;  // depths 1, 2, 4
    uint32_t bitsCount;  // use count added at depths 1, 2, 4
    Outcome pixels;  // depths 8, 24, 32 (kSolid: the value named in `value`)
    uint32_t value;
    uint32_t pixelsCount;
    uint32_t depth0Count;
};

const Case kCases[] = {
    {State::kAbsent, false, 1, Outcome::kUntouched, 0, Outcome::kUntouched, 0, 0, 0},
    {State::kBlank, false, 0, Outcome::kUntouched, 0, Outcome::kUntouched, 0, 0, 0},
    {State::kBlank, false, 1, Outcome::kZeros, 1, Outcome::kSolid, 0x00000000, 1, 0},
    {State::kBlank, true, 1, Outcome::kOnes, 1, Outcome::kSolid, 0xFFFFFFFF, 1, 0},
    {State::kBlank, true, 0, Outcome::kUntouched, 0, Outcome::kUntouched, 0, 0, 0},
    {State::kBlankData, false, 0, Outcome::kUntouched, 0, Outcome::kUntouched, 0, 0, 0},
    {State::kBlankData, true, 2, Outcome::kOnes, 1, Outcome::kSolid, 0xFFFFFFFF, 1, 0},
    {State::kFull, false, 0, Outcome::kOnes, 1, Outcome::kSolid, 0xFFFFFFFF, 1, 1},
    {State::kFull, true, 1, Outcome::kZeros, 1, Outcome::kSolid, 0x00000000, 1, 1},
    {State::kSolidZero, false, 1, Outcome::kZeros, 1, Outcome::kSolid, 0, 1, 1},
    {State::kSolidZero, false, 0, Outcome::kUntouched, 0, Outcome::kSolid, 0, 1, 1},
    {State::kSolidValue, false, 1, Outcome::kOnes, 1, Outcome::kSolid, kSolidValue, 1, 1},
    {State::kSolidValue, true, 0, Outcome::kZeros, 1, Outcome::kSolid, kSolidValue, 1, 1},
    {State::kData, false, 0, Outcome::kTile, 1, Outcome::kSolid, 0x5A3C1E0F, 1, 1},
    {State::kData, true, 3, Outcome::kTile, 1, Outcome::kSolid, 0x5A3C1E0F, 1, 1},
};

const char* StateName(State s)
{
    const char* names[] = {"absent", "blank", "blank data", "full", "solid 0", "solid", "data"};
    return names[static_cast<int>(s)];
}

// Mask rows for kRect: first bit = pixel 0 (kRect.left rounded down to 32); clear outside.
TestBitmap MakeMask(const RECT& rect)
{
    TestBitmap mask(rect.right, rect.bottom - rect.top, 1);
    for (int32_t r = 0; r < mask.height; ++r)
        for (int32_t x = rect.left; x < rect.right; ++x) mask.Set(x, r, Noise(x, r, 99) % 3 != 0);
    return mask;
}

TEST(BandPlaneOps, TableOfTextureStatesDepthsAndInversion)
{
    const POINT phase = {3, 1};
    for (bool masked : {false, true})
        for (const Case& c : kCases)
            for (uint8_t depth : {0, 1, 2, 4, 8, 24, 32, 16}) {
                const std::string where = std::string(StateName(c.state)) + " depth " + std::to_string(depth) +
                                          " inverted " + std::to_string(c.inverted) + " use " +
                                          std::to_string(c.bandUse) + (masked ? " masked" : "");
                BandPlane band(depth, c.bandUse);
                TexturePlane texture(c.state, depth);
                ImxPlaneFormat format{};
                format.flags = c.inverted ? IMX_PLANE_FORMAT_INVERTED : 0;
                const TestBitmap before = band.pixels;
                TestBitmap mask = MakeMask(kRect);
                if (masked) {
                    PlaneRectMaskDispatch(reinterpret_cast<uint8_t*>(mask.words.data()), mask.stride, &format,
                                          &texture.plane, &band.plane, phase, &kRect);
                } else {
                    PlaneRectFillDispatch(&format, &texture.plane, &band.plane, phase, &kRect);
                }
                const bool bits = depth == 1 || depth == 2 || depth == 4;
                const bool pixels = depth == 8 || depth == 24 || depth == 32;
                const uint32_t added = bits ? c.bitsCount : pixels ? c.pixelsCount : depth == 0 ? c.depth0Count : 0;
                EXPECT_EQ(band.plane.dataPresent, c.bandUse + added) << where;
                const Outcome outcome = bits ? c.bits : pixels ? c.pixels : Outcome::kUntouched;
                const uint32_t all = depth >= 32 ? ~0u : (1u << (depth ? depth : 1)) - 1;
                for (int32_t y = 0; y < kHeight; ++y)
                    for (int32_t x = 0; x < kWidth; ++x) {
                        uint32_t want = before.Get(x, y);
                        const bool inside = x >= kRect.left && x < kRect.right && y >= kRect.top && y < kRect.bottom &&
                                            (!masked || mask.Get(x, y - kRect.top));
                        if (inside) {
                            switch (outcome) {
                                case Outcome::kUntouched: break;
                                case Outcome::kZeros: want = 0; break;
                                case Outcome::kOnes: want = all; break;
                                case Outcome::kSolid: want = c.value & all; break;
                                case Outcome::kTile:
                                    want =
                                        texture.tile->At((phase.x + x - kRect.left) % 7, (phase.y + y - kRect.top) % 3);
                                    break;
                            }
                        }
                        ASSERT_EQ(band.pixels.Get(x, y), want) << where << " at " << x << "," << y;
                    }
            }
}

TEST(BandPlaneOps, ImageTexturesAreCopiedPixelByPixel)
{
    for (bool masked : {false, true})
        for (uint8_t depth : {1, 2, 4, 8, 24, 32}) {
            BandPlane band(depth, 1);
            TestBitmap image(kRect.right - kRect.left + 3, 2, depth);
            for (int32_t y = 0; y < image.height; ++y)
                for (int32_t x = 0; x < image.width; ++x) image.Set(x, y, Noise(x, y, 5));
            ImxPlane texture{};
            texture.depth = depth;
            texture.dataPresent = 1;
            texture.width = static_cast<uint32_t>(image.width);
            texture.height = 2;
            texture.stride = static_cast<uint32_t>(image.stride);
            texture.data = reinterpret_cast<uint8_t*>(image.words.data());
            ImxPlaneFormat format{};
            const TestBitmap before = band.pixels;
            TestBitmap mask = MakeMask(kRect);
            if (masked) {
                PlaneRectMaskCopyDispatch(reinterpret_cast<uint8_t*>(mask.words.data()), mask.stride, &format, &texture,
                                          &band.plane, &kRect);
            } else {
                PlaneRectCopyDispatch(&format, &texture, &band.plane, &kRect);
            }
            EXPECT_EQ(band.plane.dataPresent, 2u);
            for (int32_t y = 0; y < kHeight; ++y)
                for (int32_t x = 0; x < kWidth; ++x) {
                    const bool inside = x >= kRect.left && x < kRect.right && y >= kRect.top && y < kRect.bottom &&
                                        (!masked || mask.Get(x, y - kRect.top));
                    const uint32_t want = inside ? image.Get(x - kRect.left, y - kRect.top) : before.Get(x, y);
                    ASSERT_EQ(band.pixels.Get(x, y), want)
                        << "depth " << int{depth} << (masked ? " masked" : "") << " at " << x << "," << y;
                }
        }
}

TEST(BandPlaneOps, EmptyRectangleCountsButChangesNothingAndNarrowSpanStaysInside)
{
    for (uint8_t depth : {1, 2, 4, 8, 24, 32}) {
        BandPlane band(depth, 0);
        TexturePlane full(State::kFull, depth);
        ImxPlaneFormat format{};
        const TestBitmap before = band.pixels;
        const RECT empty = {10, 1, 10, 3};
        PlaneRectFillDispatch(&format, &full.plane, &band.plane, POINT{0, 0}, &empty);
        EXPECT_EQ(band.plane.dataPresent, 1u);
        EXPECT_EQ(band.pixels.words, before.words);
        // Left and right inside one 32-bit word of the row.
        const RECT narrow = {3, 0, 6, 1};
        PlaneRectFillDispatch(&format, &full.plane, &band.plane, POINT{0, 0}, &narrow);
        for (int32_t x = 0; x < kWidth; ++x) {
            const uint32_t all = depth >= 32 ? ~0u : (1u << depth) - 1;
            ASSERT_EQ(band.pixels.Get(x, 0), x >= 3 && x < 6 ? all : before.Get(x, 0)) << x;
        }
        // A rectangle reaching past the plane is clipped to it.
        const RECT wide = {-40, -2, kWidth + 50, kHeight + 9};
        PlaneRectFillDispatch(&format, &full.plane, &band.plane, POINT{0, 0}, &wide);
        EXPECT_EQ(band.plane.dataPresent, 3u);
    }
}

// A band layout with planes of 1 and 8 bits and a third plane whose texture plane is absent.
struct Layout {
    BandLayout layout{};
    BandPlane one{1, 1}, eight{8, 1}, four{4, 1};
    TextureCacheEntry entry{};
    TexturePlane tileOne{State::kData, 1}, tileEight{State::kData, 8};
    Layout(int32_t bandX, int32_t textureX, bool tiled)
    {
        layout.band.x = bandX;
        layout.band.y = 0;
        layout.band.planeCount = 3;
        layout.band.planes[0] = one.plane;
        layout.band.planes[1] = eight.plane;
        layout.band.planes[2] = four.plane;
        layout.jobResolution[0] = layout.jobResolution[1] = 200;
        for (auto& p : layout.planeConfig.planes) p.xResolution = p.yResolution = 200;
        entry.kind = tiled ? 0xF1 : 0xF0;
        entry.texture.x = textureX;
        entry.texture.planeCount = 3;
        entry.texture.planes[0] = tileOne.plane;
        entry.texture.planes[1] = tileEight.plane;
    }
    TestBitmap& Pixels(int i) { return i == 0 ? one.pixels : i == 1 ? eight.pixels : four.pixels; }
};

TEST(BandPlaneOps, PlanesLoopTilesFromTheTextureOriginAndSkipsAbsentPlanes)
{
    // Band origin left and right of the texture origin: a non-negative phase either way, so the
    // tiles continue across the texture origin.
    for (int32_t bandX : {100, 0, -3})
        for (bool masked : {false, true}) {
            Layout l(bandX, 50, true);
            const TestBitmap fourBefore = l.four.pixels;
            TestBitmap mask = MakeMask(kRect);
            if (masked) {
                BandPlanesTextureFillMasked(reinterpret_cast<uint8_t*>(mask.words.data()), mask.stride, &l.entry,
                                            &l.layout, &kRect);
            } else {
                BandPlanesTextureFill(&l.entry, &l.layout, &kRect);
            }
            EXPECT_EQ(l.layout.band.planes[0].dataPresent, 2u);
            EXPECT_EQ(l.layout.band.planes[1].dataPresent, 2u);
            EXPECT_EQ(l.layout.band.planes[2].dataPresent, 1u);
            EXPECT_EQ(l.four.pixels.words, fourBefore.words);
            for (int32_t y = kRect.top; y < kRect.bottom; ++y)
                for (int32_t x = kRect.left; x < kRect.right; ++x) {
                    if (masked && !mask.Get(x, y - kRect.top)) continue;
                    const int64_t tx = ((bandX + x - 50) % 7 + 7) % 7;
                    ASSERT_EQ(l.one.pixels.Get(x, y), l.tileOne.tile->At(tx, y % 3)) << bandX << " " << x << "," << y;
                    ASSERT_EQ(l.eight.pixels.Get(x, y), 0x0Fu);  // the first pixel's value
                }
        }
}

TEST(BandPlaneOps, SinglePlaneAtHalfResolutionScalesTheOrigins)
{
    Layout l(101, 3, true);
    l.layout.planeConfig.planes[0].xResolution = 100;
    l.layout.planeConfig.planes[0].yResolution = 100;
    BandPlaneTextureFill(&l.entry, &l.layout, 0, &kRect);
    // Scaled band origin 50, scaled texture origin 1: pixel x takes tile x (49 + x) mod 7.
    for (int32_t x = kRect.left; x < kRect.right; ++x)
        ASSERT_EQ(l.one.pixels.Get(x, 1), l.tileOne.tile->At((49 + x) % 7, 1)) << x;
    EXPECT_EQ(l.layout.band.planes[1].dataPresent, 1u);
    // A plane index past the band's planes, or an absent texture plane, does nothing.
    BandPlaneTextureFill(&l.entry, &l.layout, 2, &kRect);
    BandPlaneTextureFill(&l.entry, &l.layout, 7, &kRect);
    EXPECT_EQ(l.layout.band.planes[2].dataPresent, 1u);
}

TEST(BandPlaneOps, TiledEightBitTexturePaintsFirstPixelImageCopiesIt)
{
    Layout tiled(0, 0, true), image(0, 0, false);
    std::vector<uint8_t> pixels(128);
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i + 1);
    for (Layout* l : {&tiled, &image}) {
        l->entry.texture.planes[1].data = pixels.data();
        l->entry.texture.planes[1].width = 64;
        l->entry.texture.planes[1].stride = 64;
        l->entry.texture.planes[0] = ImxPlane{};
        BandPlanesTextureFill(&l->entry, &l->layout, &kRect);
    }
    for (int32_t x = kRect.left; x < kRect.right; ++x) {
        EXPECT_EQ(tiled.eight.pixels.Get(x, 1), 1u);
        EXPECT_EQ(image.eight.pixels.Get(x, 1), static_cast<uint32_t>(x - kRect.left + 1));
    }
}

// A mask pattern with its rows behind the record, as the output-module context keeps it.
std::vector<uint32_t> MakeMaskPattern(int32_t width, int32_t height, const std::vector<uint32_t>& rows)
{
    const int32_t stride = (width + 31) / 32 * 4;
    std::vector<uint32_t> block(3 + rows.size());
    MaskPattern head{width, height, stride};
    std::memcpy(block.data(), &head, sizeof head);
    std::memcpy(block.data() + 3, rows.data(), rows.size() * 4);
    return block;
}

TEST(BandMaskPatternAnd, BuiltInCheckerboardKeepsAlternatePixels)
{
    std::vector<uint32_t> rows;
    for (int i = 0; i < 32; ++i) rows.push_back(i % 2 ? 0x55555555u : 0xAAAAAAAAu);
    auto block = MakeMaskPattern(32, 32, rows);
    const auto* pattern = reinterpret_cast<const MaskPattern*>(block.data());
    for (int32_t originY : {0, 1, 32, -1}) {
        TestBitmap buffer(100, 3, 1, 0, 0xFF);
        BandMaskPatternAnd(buffer.Row(0), buffer.stride, SIZE{100, 3}, pattern, POINT{0, originY});
        const bool swapped = (originY % 2) != 0;
        EXPECT_EQ(buffer.Row(0)[0], swapped ? 0x55 : 0xAA) << originY;
        EXPECT_EQ(buffer.Row(1)[0], swapped ? 0xAA : 0x55) << originY;
        for (int32_t y = 0; y < 3; ++y)
            for (int32_t x = 0; x < 100; ++x)
                ASSERT_EQ(buffer.Get(x, y), ((x + y + originY) % 2 + 2) % 2 == 0 ? 1u : 0u);
        // Bytes after the width (inside the stride) are left alone.
        EXPECT_EQ(buffer.Row(0)[12] & 0x0F, 0x0F);
    }
}

TEST(BandMaskPatternAnd, NarrowAndOddWidthPatternsTileFromTheOrigin)
{
    for (int32_t width : {1, 5, 16, 17, 40}) {
        std::vector<uint32_t> rows;
        const int32_t words = (width + 31) / 32;
        for (int32_t r = 0; r < 3; ++r)
            for (int32_t w = 0; w < words; ++w) {
                // Only the pattern's own pixels are stored; the rest of the word is garbage.
                rows.push_back(Noise(r, w, width));
            }
        auto block = MakeMaskPattern(width, 3, rows);
        const auto* pattern = reinterpret_cast<const MaskPattern*>(block.data());
        auto patternBit = [&](int32_t x, int32_t y) { return (rows[y * words + x / 32] >> (31 - x % 32)) & 1; };
        for (POINT origin : {POINT{0, 0}, POINT{7, 2}, POINT{-9, -4}}) {
            TestBitmap buffer(90, 5, 1);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 90; ++x) buffer.Set(x, y, Noise(x, y, 3) & 1);
            const TestBitmap before = buffer;
            BandMaskPatternAnd(buffer.Row(0), buffer.stride, SIZE{90, 5}, pattern, origin);
            for (int32_t y = 0; y < 5; ++y)
                for (int32_t x = 0; x < 90; ++x) {
                    const int32_t px = ((origin.x + x) % width + width) % width;
                    const int32_t py = ((origin.y + y) % 3 + 3) % 3;
                    ASSERT_EQ(buffer.Get(x, y), before.Get(x, y) & patternBit(px, py))
                        << "width " << width << " at " << x << "," << y;
                }
        }
    }
}

TEST(BandMaskPatternAnd, EmptyPatternLeavesTheBuffer)
{
    std::vector<uint32_t> rows(4, 0);
    for (auto [w, h] : {std::pair{0, 4}, {32, 0}, {-5, 2}}) {
        auto block = MakeMaskPattern(w, h, rows);
        TestBitmap buffer(64, 2, 1, 0, 0xFF);
        BandMaskPatternAnd(buffer.Row(0), buffer.stride, SIZE{64, 2},
                           reinterpret_cast<const MaskPattern*>(block.data()), POINT{0, 0});
        for (uint32_t word : buffer.words) ASSERT_EQ(word, ~0u);
    }
}

}  // namespace
