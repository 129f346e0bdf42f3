// What the masked and plain image command tests share: the page, image and mask bitmaps in
// random colours, a masked command's record, and the page both band roads should draw for it.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "engine/display/commands/cmd_blts.h"
#include "engine/display/commands/cmd_image.h"
#include "platform/user.h"
#include "tests/engine/display/band_roads.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/rop3_model.h"

constexpr uint32_t kPage = 80, kImage = 81, kMask = 82;
constexpr int W = 64, H = 40;

// Random 24-bit pixels, top-down, as COLORREF values and as record rows (B, G, R).
struct Colours {
    int w, h;
    std::vector<uint32_t> px;
    std::vector<uint8_t> rows;
    uint32_t at(int x, int y) const { return px[size_t(y) * w + x]; }
};
inline Colours MakeColours(int w, int h, uint32_t seed)
{
    Colours c{w, h, std::vector<uint32_t>(size_t(w) * h), std::vector<uint8_t>(size_t(BitmapRowBytes(24, w)) * h)};
    std::mt19937 random(seed);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint32_t v = random() & 0xFFFFFF;
            c.px[size_t(y) * w + x] = v;
            uint8_t* p = &c.rows[size_t(y) * BitmapRowBytes(24, w) + 3 * x];
            p[0] = uint8_t(v >> 16), p[1] = uint8_t(v >> 8), p[2] = uint8_t(v);
        }
    return c;
}

// Random 1-bit mask rows, top-down, most significant bit first.
struct Mask {
    int w, h;
    std::vector<uint8_t> rows;
    int bit(int x, int y) const { return (rows[size_t(y) * BitmapRowBytes(1, w) + x / 8] >> (7 - x % 8)) & 1; }
};
inline Mask MakeMask(int w, int h, uint32_t seed)
{
    Mask m{w, h, std::vector<uint8_t>(size_t(BitmapRowBytes(1, w)) * h)};
    std::mt19937 random(seed);
    for (uint8_t& b : m.rows) b = uint8_t(random());
    return m;
}

struct Case {
    const char* what;
    bool stretch;
    RECT source;  // StretchBlt: the source rectangle; BitBlt: left, top = source point
    POINT maskOrigin;  // BitBlt only
    RECT destination;
    uint16_t rop;
    bool whiteFirst;  // the mask's palette: white then black
    std::vector<uint32_t> nodeRops;
    bool maskRoad;  // neither side reads the page
    bool plain = false;  // no mask: the low ROP byte everywhere
};

inline std::vector<uint8_t> Record(const Case& c)
{
    const RECT& d = c.destination;
    if (c.stretch)
        return Cat({Le({c.source.left, c.source.top, c.source.right, c.source.bottom}),
                    Le({d.left, d.top, d.right, d.bottom}),
                    Le({0, 0}),
                    std::vector<uint8_t>(24),
                    Le({0, kImage, c.plain ? 0 : kMask, 0}),
                    Le({c.rop}, 2),
                    {0, 0}});
    return Cat({Le({d.left, d.top, d.right, d.bottom}), Le({c.source.left, c.source.top}),
                Le({c.maskOrigin.x, c.maskOrigin.y}), Le({0, 0}), Le({0, 0, kImage, c.plain ? 0 : kMask, c.rop})});
}

// A 1-bit mask's palette: white then black, or black then white.
inline std::vector<uint8_t> MaskPalette(bool whiteFirst)
{
    return whiteFirst ? std::vector<uint8_t>{255, 255, 255, 0, 0, 0, 0, 0}
                      : std::vector<uint8_t>{0, 0, 0, 0, 255, 255, 255, 0};
}

// The page bitmap copied over logical (0, 0, w, h), beneath the command.
inline void PageCopy(SpoolBuilder& body, int w, int h)
{
    body.Raw(19, 0, Cat({Le({0, 0, w, h}), Le({0, 0}), Le({0, 0}), Le({0, 0}), Le({0, 0, kPage, 0, 0xCCCC})}));
}

// The page (a w x h bitmap drawn over logical (0, 0, w, h)) with the masked command applied, at
// the mapping: every device pixel of a scaled rectangle takes the source pixel nearest its
// top-left corner (counted from the far edge when mirrored), and the mask pixel at the same place.
// A source pixel outside the image reads black under a mask; without one the page stays there.
inline Image Expected(const Case& c, const Colours& page, const Colours& image, const Mask& mask, const Mapping& m,
                      int w = W, int h = H)
{
    const int pw = m.Map(w), ph = m.Map(h);
    Image out(pw, ph);
    for (int y = 0; y < ph; ++y)
        for (int x = 0; x < pw; ++x) out.at(x, y) = page.at(x * w / pw, y * h / ph);
    const RECT& d = c.destination;
    const bool mx = d.right < d.left, my = d.bottom < d.top;
    const int left = m.Map(std::min(d.left, d.right)), right = m.Map(std::max(d.left, d.right));
    const int top = m.Map(std::min(d.top, d.bottom)), bottom = m.Map(std::max(d.top, d.bottom));
    const int sw = c.stretch ? c.source.right - c.source.left : std::abs(d.right - d.left);
    const int sh = c.stretch ? c.source.bottom - c.source.top : std::abs(d.bottom - d.top);
    for (int y = std::max(top, 0); y < std::min(bottom, ph); ++y)
        for (int x = std::max(left, 0); x < std::min(right, pw); ++x) {
            const int u = (mx ? right - 1 - x : x - left) * sw / (right - left);
            const int v = (my ? bottom - 1 - y : y - top) * sh / (bottom - top);
            const int sx = c.source.left + u, sy = c.source.top + v;
            const int maskX = c.stretch ? sx : c.maskOrigin.x + u, maskY = c.stretch ? sy : c.maskOrigin.y + v;
            const bool white = c.plain || (mask.bit(maskX, maskY) == 1) != c.whiteFirst;
            const uint32_t rop = white ? (c.rop & 0xFF) : (c.rop >> 8);
            const bool inside = sx >= 0 && sy >= 0 && sx < image.w && sy < image.h;
            if (!inside && c.plain) continue;
            // A command without a brush of its own paints with white, all ones.
            out.at(x, y) = Rop3(uint8_t(rop), 0xFFFFFF, inside ? image.at(sx, sy) : 0, out.at(x, y), 24);
        }
    return out;
}

// The page both band roads draw (the band-mask road only where asked) against want, at the
// mapping, in bands of the given height.
inline void ExpectRoads(BitmapJob& job, const Image& want, const Mapping& m, int band, bool maskRoad)
{
    SCOPED_TRACE(std::to_string(m.scale) + "/" + std::to_string(m.divisor) + ", bands of " + std::to_string(band));
    EXPECT_EQ(Diff(DrawRoad(job, want.w, want.h, m, band), want), "") << "GDI road";
    if (maskRoad) {
        EXPECT_EQ(Diff(MaskRoad(job, want.w, want.h, m, band), want), "") << "mask road";
    }
}

// Run-length data of palette rows (top-down, packed at depth 4 or 8), bottom row first as such
// bitmaps are stored: runs of equal pixels, absolute stretches of up to 7 where pixels differ, a
// delta skipping [skipFrom, skipTo) of row skipRow, each row ended, then the bitmap's end.
inline std::vector<uint8_t> RunLengthEncode(const std::vector<uint8_t>& rows, int w, int h, int depth, int skipRow,
                                            int skipFrom, int skipTo)
{
    const uint32_t rowBytes = BitmapRowBytes(depth, w);
    std::vector<uint8_t> out;
    for (int y = h - 1; y >= 0; --y) {
        auto index = [&](int x) {
            const uint8_t b = rows[size_t(y) * rowBytes + (depth == 4 ? x / 2 : x)];
            return depth == 4 ? uint8_t(x % 2 == 0 ? b >> 4 : b & 15) : b;
        };
        for (int x = 0; x < w;) {
            if (y == skipRow && x == skipFrom) {
                out.insert(out.end(), {0, 2, uint8_t(skipTo - skipFrom), 0});
                x = skipTo;
                continue;
            }
            const int limit = y == skipRow && x < skipFrom ? skipFrom : w;
            int run = 1;
            while (x + run < limit && run < 255 && index(x + run) == index(x)) ++run;
            if (run == 1 && limit - x >= 3) {
                const int n = std::min(7, limit - x);
                out.insert(out.end(), {0, uint8_t(n)});
                std::vector<uint8_t> packed;
                for (int i = 0; i < n; ++i) {
                    if (depth == 8) packed.push_back(index(x + i));
                    else if (i % 2 == 0) packed.push_back(uint8_t(index(x + i) << 4));
                    else packed.back() |= index(x + i);
                }
                if (packed.size() % 2 != 0) packed.push_back(0);
                out.insert(out.end(), packed.begin(), packed.end());
                x += n;
                continue;
            }
            const uint8_t v = index(x);
            out.insert(out.end(), {uint8_t(run), depth == 4 ? uint8_t(v << 4 | v) : v});
            x += run;
        }
        out.insert(out.end(), {0, 0});
    }
    out.insert(out.end(), {0, 1});
    return out;
}
