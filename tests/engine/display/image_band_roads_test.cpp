// BitBlt, StretchBlt and TransparentBlt through both roads of the band loop: drawn by GDI into
// colour bands, and as the band renderer takes them (shape, colour class, colours restored or
// rendered directly), at several band heights and two scales, against a nearest-pixel reference of
// the bitmap.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/display_job.h"
#include "tests/support/spool_payloads.h"

namespace {

constexpr int kImageW = 13, kImageH = 9;
constexpr uint32_t kStride = (kImageW * 3 + 3) / 4 * 4;

uint32_t Colour(int x, int y)
{
    return uint32_t(19 * x + 3) | uint32_t(27 * y + 5) << 8 | uint32_t(250 - 17 * x) << 16;
}

// The bitmap's rows, top row first, B G R bytes of Colour.
std::vector<uint8_t> Rows()
{
    std::vector<uint8_t> rows(size_t(kStride) * kImageH, 0);
    for (int y = 0; y < kImageH; ++y)
        for (int x = 0; x < kImageW; ++x) {
            const uint32_t c = Colour(x, y);
            uint8_t* p = &rows[size_t(y) * kStride + 3 * x];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
        }
    return rows;
}

std::vector<uint8_t> Le32(std::initializer_list<int32_t> values)
{
    std::vector<uint8_t> out;
    for (int32_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(v) >> (8 * i)));
    return out;
}

TEST(ImageBandRoads, CopiedAndStretchedBitmapsLandTheSameOnBothRoadsInEveryBandCut)
{
    // A clip of many rectangles (logical units), some of them missing the command.
    const std::vector<RECT> clip = {{0, 0, 60, 6},    {2, 6, 9, 12},   {12, 6, 40, 12},
                                    {0, 12, 7, 20},   {9, 12, 60, 20}, {5, 20, 30, 30},
                                    {34, 20, 36, 30}, {0, 30, 60, 38}, {44, 38, 46, 44}};
    struct Case {
        const char* name;
        bool stretch;
        SpoolBox source, destination;  // a BitBlt's source is its destination's size
        bool clipped = false;
    } cases[] = {
        {"StretchBlt enlarged", true, {1, 2, 11, 8}, {3, 5, 50, 40}},
        {"StretchBlt shrunk", true, {0, 0, 13, 9}, {10, 10, 16, 14}},
        {"BitBlt", false, {4, 1, 0, 0}, {5, 3, 14, 11}},
        {"StretchBlt mirrored in x", true, {0, 0, 13, 9}, {58, 4, 2, 30}},
        {"StretchBlt mirrored in both", true, {2, 1, 12, 9}, {40, 43, 5, 0}},
        {"StretchBlt enlarged, clipped", true, {1, 2, 11, 8}, {3, 5, 50, 40}, true},
        {"StretchBlt mirrored and shrunk, clipped", true, {0, 0, 13, 9}, {30, 40, 20, 4}, true},
        {"BitBlt, clipped", false, {4, 1, 0, 0}, {1, 3, 10, 11}, true},
    };
    for (const Case& c : cases) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", scale " + std::to_string(scale));
            const int w = 60 * scale, h = 44 * scale;
            DisplayJob job;
            job.spill = true;
            SpoolBuilder b;
            b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(7, kImageW, -kImageH, 24, {}, Rows()));
            if (c.clipped) {
                std::vector<uint8_t> rects;
                for (const RECT& r : clip) {
                    const std::vector<uint8_t> le = Le32({r.left, r.top, r.right, r.bottom});
                    rects.insert(rects.end(), le.begin(), le.end());
                }
                b.Add("clip_rects", {{"id", 3},
                                     {"left", 0},
                                     {"top", 0},
                                     {"right", 60},
                                     {"bottom", 44},
                                     {"count", clip.size()},
                                     {"data", rects}});
            }
            const uint32_t clipId = c.clipped ? 3 : 0;
            if (c.stretch)
                b.Raw(kSpoolStretchBltType, 0, SpoolStretchBltPayload(c.source, c.destination, 7, 0xCCCC, clipId));
            else
                b.Raw(kSpoolBitBltType, 0,
                      SpoolBitBltPayload(c.destination, {c.source.left, c.source.top}, 7, 0xCCCC, clipId));
            ASSERT_EQ(job.Read(b), 1);
            ASSERT_EQ(job.Nodes().size(), 1u);
            // Every device pixel takes the source pixel nearest its top-left corner, counted from
            // the far edge of a mirrored axis, where the clip lets it.
            const SpoolBox& d = c.destination;
            const bool mx = d.right < d.left, my = d.bottom < d.top;
            const int left = std::min(d.left, d.right) * scale, top = std::min(d.top, d.bottom) * scale;
            const int sw = c.stretch ? c.source.right - c.source.left : d.right - d.left;
            const int sh = c.stretch ? c.source.bottom - c.source.top : d.bottom - d.top;
            const int dw = std::abs(d.right - d.left) * scale, dh = std::abs(d.bottom - d.top) * scale;
            Image want(w, h);
            for (int y = 0; y < dh; ++y)
                for (int x = 0; x < dw; ++x) {
                    const int px = left + x, py = top + y;
                    bool inside = !c.clipped;
                    for (const RECT& r : clip)
                        inside |= px >= r.left * scale && px < r.right * scale && py >= r.top * scale &&
                                  py < r.bottom * scale;
                    if (!inside) continue;
                    want.at(px, py) = Colour(c.source.left + (mx ? dw - 1 - x : x) * sw / dw,
                                             c.source.top + (my ? dh - 1 - y : y) * sh / dh);
                }
            for (int bandHeight : {h, 16, 7, 1}) {
                SCOPED_TRACE("bands of " + std::to_string(bandHeight));
                EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "GDI road";
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "mask road";
            }
        }
    }
}

// Every third pixel (by x + y) is the key colour, which TransparentBlt leaves out.
constexpr uint32_t kKey = 0x123456;
uint32_t KeyedColour(int x, int y) { return (x + y) % 3 == 0 ? kKey : Colour(x, y); }

std::vector<uint8_t> KeyedRows()
{
    std::vector<uint8_t> rows(size_t(kStride) * kImageH, 0);
    for (int y = 0; y < kImageH; ++y)
        for (int x = 0; x < kImageW; ++x) {
            const uint32_t c = KeyedColour(x, y);
            uint8_t* p = &rows[size_t(y) * kStride + 3 * x];
            p[0] = uint8_t(c >> 16), p[1] = uint8_t(c >> 8), p[2] = uint8_t(c);
        }
    return rows;
}

TEST(ImageBandRoads, TransparentBltLeavesItsKeyOutOnBothRoadsAtEveryScaling)
{
    // GDI gives device pixel i the source pixel under its centre; the band renderer renders the
    // command's own pixels only where the stretch blit picks the same (whole enlargements and
    // copies) and has GDI draw the others.
    // A clip of many rectangles (logical units), some of them missing the command: only the
    // pixels inside them are marked in the band mask, on either of its ways of drawing the mask.
    const std::vector<RECT> clip = {{0, 0, 44, 4},   {2, 4, 9, 8},     {12, 4, 30, 8},  {0, 8, 7, 12},   {9, 8, 44, 12},
                                    {5, 12, 20, 20}, {24, 12, 26, 20}, {0, 20, 44, 26}, {30, 26, 32, 32}};
    struct Case {
        const char* name;
        SpoolBox source, destination;
        bool direct;  // at scale 1
        bool clipped = false;
    } cases[] = {
        {"copied", {2, 1, 12, 8}, {5, 3, 15, 10}, true},
        {"enlarged three times", {0, 0, 13, 9}, {1, 2, 40, 29}, true},
        {"enlarged by 7/4 and 9/5", {3, 2, 7, 7}, {4, 6, 11, 15}, false},
        {"shrunk", {0, 0, 13, 9}, {6, 7, 12, 11}, false},
        {"shrunk by half", {0, 0, 12, 8}, {20, 4, 26, 8}, false},
        {"enlarged three times, clipped", {0, 0, 13, 9}, {1, 2, 40, 29}, true, true},
        {"enlarged by 7/4 and 9/5, clipped", {3, 2, 7, 7}, {4, 6, 11, 15}, false, true},
        {"shrunk, clipped", {0, 0, 13, 9}, {3, 5, 12, 11}, false, true},
    };
    for (const Case& c : cases) {
        for (int scale : {1, 2}) {
            SCOPED_TRACE(std::string(c.name) + ", scale " + std::to_string(scale));
            const int w = 44 * scale, h = 32 * scale;
            DisplayJob job;
            job.spill = true;
            SpoolBuilder b;
            b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(7, kImageW, -kImageH, 24, {}, KeyedRows()));
            if (c.clipped) {
                std::vector<uint8_t> rects;
                for (const RECT& r : clip) {
                    const std::vector<uint8_t> le = Le32({r.left, r.top, r.right, r.bottom});
                    rects.insert(rects.end(), le.begin(), le.end());
                }
                b.Add("clip_rects", {{"id", 3},
                                     {"left", 0},
                                     {"top", 0},
                                     {"right", 44},
                                     {"bottom", 32},
                                     {"count", clip.size()},
                                     {"data", rects}});
            }
            const SpoolBox& s = c.source;
            const SpoolBox& d = c.destination;
            b.Raw(25, 0, [&] {
                std::vector<uint8_t> p =
                    Le32({s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, c.clipped ? 3 : 0, 7});
                const std::vector<uint8_t> key = Le32({int32_t(kKey)});  // Colour's values are COLORREFs
                p.insert(p.end(), key.begin(), key.end());
                return p;
            }());
            ASSERT_EQ(job.Read(b), 1);
            ASSERT_EQ(job.Nodes().size(), 1u);
            const int64_t sw = s.right - s.left, sh = s.bottom - s.top;
            const int64_t dw = (d.right - d.left) * scale, dh = (d.bottom - d.top) * scale;
            Image want(w, h);
            for (int64_t y = 0; y < dh; ++y)
                for (int64_t x = 0; x < dw; ++x) {
                    const uint32_t v = KeyedColour(int(s.left + (2 * x + 1) * sw / (2 * dw)),
                                                   int(s.top + (2 * y + 1) * sh / (2 * dh)));
                    const int px = int(d.left * scale + x), py = int(d.top * scale + y);
                    bool inside = !c.clipped;
                    for (const RECT& r : clip)
                        inside |= px >= r.left * scale && px < r.right * scale && py >= r.top * scale &&
                                  py < r.bottom * scale;
                    if (v != kKey && inside) want.at(px, py) = v;
                }
            for (int bandHeight : {h, 16, 7, 1}) {
                SCOPED_TRACE("bands of " + std::to_string(bandHeight));
                EXPECT_EQ(Diff(DrawRoad(job, w, h, Mapping{scale}, bandHeight), want), "") << "GDI road";
                int refused = 0;
                EXPECT_EQ(Diff(MaskRoad(job, w, h, Mapping{scale}, bandHeight, &refused), want), "") << "mask road";
                if (scale == 1 && bandHeight == h) {
                    EXPECT_EQ(refused == 0, c.direct);
                }
            }
        }
    }
}

}  // namespace
