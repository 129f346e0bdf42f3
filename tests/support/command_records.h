// Spool records of the drawing commands, for tests that build whole display lists: rectangles,
// paths, lines, bitmaps and the image commands.
#pragma once

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/display/stores/path_store.h"
#include "platform/gdi_text.h"
#include "platform/types.h"
#include "tests/support/bitmap_test_support.h"
#include "tests/support/spool_builder.h"

namespace records {

using Figure = std::vector<POINT>;

inline std::vector<uint8_t> Le32s(std::initializer_list<int64_t> values)
{
    std::vector<uint8_t> out;
    for (int64_t v : values)
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
    return out;
}

// A path record: one closed figure per entry.
inline void Path(SpoolBuilder& b, uint32_t id, const std::vector<Figure>& figures)
{
    LONG l = INT32_MAX, t = INT32_MAX, r = INT32_MIN, bt = INT32_MIN;
    for (const Figure& f : figures)
        for (POINT p : f) l = std::min(l, p.x), t = std::min(t, p.y), r = std::max(r, p.x), bt = std::max(bt, p.y);
    std::vector<uint8_t> data;
    for (const Figure& f : figures) {
        auto head = Le32s({PATH_FIGURE_START | PATH_FIGURE_END | PATH_CLOSE, static_cast<int64_t>(f.size())});
        data.insert(data.end(), head.begin(), head.end());
        for (POINT p : f) {
            auto xy = Le32s({p.x, p.y});
            data.insert(data.end(), xy.begin(), xy.end());
        }
    }
    b.Add("path", {{"id", id},
                   {"left", l},
                   {"top", t},
                   {"right", r + 1},
                   {"bottom", bt + 1},
                   {"subpaths", figures.size()},
                   {"data", data}});
}

inline void Rect(SpoolBuilder& b, RECT r, uint32_t brush, uint32_t pen, uint32_t clip, uint32_t mix)
{
    b.Add("cmd_rect", {{"left", r.left},
                       {"top", r.top},
                       {"right", r.right},
                       {"bottom", r.bottom},
                       {"brush", brush},
                       {"pen", pen},
                       {"clip", clip},
                       {"mix", mix}});
}

inline void RectFill(SpoolBuilder& b, RECT r, uint32_t brush)
{
    b.Add("cmd_rectfill",
          {{"left", r.left}, {"top", r.top}, {"right", r.right}, {"bottom", r.bottom}, {"brush", brush}});
}

inline void PathCmd(SpoolBuilder& b, uint32_t path, uint32_t brush, uint32_t pen, uint32_t clip, uint32_t mix)
{
    b.Add("cmd_path", {{"path", path}, {"brush", brush}, {"pen", pen}, {"clip", clip}, {"mix", mix}, {"fill_mode", 1}});
}

inline void Line(SpoolBuilder& b, POINT p, POINT q, uint32_t pen, uint32_t clip, uint32_t mix)
{
    b.Add("cmd_line", {{"x1", p.x}, {"y1", p.y}, {"x2", q.x}, {"y2", q.y}, {"pen", pen}, {"clip", clip}, {"mix", mix}});
}

inline void BitBlt(SpoolBuilder& b, RECT d, POINT s, uint32_t bitmap, uint32_t rop, uint32_t clip = 0,
                   uint32_t brush = 0)
{
    b.Raw(19, 0,
          Cat({Le32s({d.left, d.top, d.right, d.bottom, s.x, s.y}), Le32s({0, 0, 0, 0}),
               Le32s({brush, clip, bitmap, 0, rop})}));
}

inline void CopyBits(SpoolBuilder& b, RECT d, POINT s, uint32_t bitmap, uint32_t clip = 0)
{
    b.Raw(20, 0, Cat({Le32s({s.x, s.y}), Le32s({d.left, d.top, d.right, d.bottom}), Le32s({clip, bitmap})}));
}

inline void StretchBlt(SpoolBuilder& b, RECT s, RECT d, uint32_t bitmap, uint16_t rop, uint32_t clip = 0)
{
    std::vector<uint8_t> ropBytes = {uint8_t(rop), uint8_t(rop >> 8), 0, 0};
    b.Raw(21, 0,
          Cat({Le32s({s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, 0, 0}),
               std::vector<uint8_t>(24), Le32s({clip, bitmap, 0, 0}), ropBytes}));
}

inline void AlphaBlend(SpoolBuilder& b, RECT s, RECT d, uint32_t bitmap, uint8_t alpha)
{
    b.Raw(23, 0,
          Cat({Le32s({s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, 0, bitmap}),
               std::vector<uint8_t>{0, 0, alpha, 0}}));
}

inline void TransparentBlt(SpoolBuilder& b, RECT s, RECT d, uint32_t bitmap, uint32_t colour)
{
    b.Raw(25, 0, Cat({Le32s({s.left, s.top, s.right, s.bottom, d.left, d.top, d.right, d.bottom, 0, bitmap, colour})}));
}

// A logical font record (version 1) for the text commands.
inline void LogFont(SpoolBuilder& b, uint32_t id, const char* face, int height)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = 400;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    std::vector<uint8_t> out = Le32s({id, 0, 0});
    const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
    out.insert(out.end(), raw, raw + sizeof lf);
    b.Raw(38, 1, out);
}

// A text command: one position per character, brush and mix of the foreground.
inline void Text(SpoolBuilder& b, RECT bounds, uint32_t font, const std::vector<POINT>& positions,
                 const std::u16string& chars, uint32_t brush, uint8_t mix, uint32_t clip = 0)
{
    std::vector<uint8_t> out = Le32s(
        {bounds.left, bounds.top, bounds.right, bounds.bottom, 0, 0, font, clip, brush, int64_t(positions.size())});
    out.insert(out.end(), {0x2, 0, mix, 11});
    for (POINT p : positions) {
        const auto xy = Le32s({p.x, p.y});
        out.insert(out.end(), xy.begin(), xy.end());
    }
    for (char16_t c : chars) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    b.Raw(16, 0, out);
}

// A 1-bit bitmap of pseudo-random rows, top-down; palette black then white (bit 1 white), or
// white then black when reversed.
inline void MonoBitmap(SpoolBuilder& b, uint32_t id, int w, int h, uint32_t seed, bool reversed = false)
{
    const int stride = ((w + 31) / 32) * 4;
    std::vector<uint8_t> data(size_t(stride) * h);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& byte : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = uint8_t(x);
    }
    const std::vector<uint8_t> blackWhite = {0, 0, 0, 0, 255, 255, 255, 0}, whiteBlack = {255, 255, 255, 0, 0, 0, 0, 0};
    AddBitmap(b, {id, w, -h, 1, 0, reversed ? whiteBlack : blackWhite, data});
}

// A 24-bit colour bitmap of pseudo-random pixels, top-down.
inline void ColourBitmap(SpoolBuilder& b, uint32_t id, int w, int h, uint32_t seed)
{
    const int stride = ((w * 3 + 3) / 4) * 4;
    std::vector<uint8_t> data(size_t(stride) * h);
    uint32_t x = seed * 40503u + 7;
    for (auto& byte : data) {
        x ^= x << 13, x ^= x >> 17, x ^= x << 5;
        byte = uint8_t(x);
    }
    AddBitmap(b, {id, w, -h, 24, 0, {}, data});
}

// A pixel of the 1-bit bitmap MonoBitmap writes (bit 1 white), from its generator.
inline bool MonoWhite(int w, uint32_t seed, int x, int y)
{
    const int stride = ((w + 31) / 32) * 4;
    uint32_t v = seed * 2654435761u + 1;
    uint8_t byte = 0;
    for (int i = 0; i <= y * stride + x / 8; ++i) {
        v ^= v << 13, v ^= v >> 17, v ^= v << 5;
        byte = uint8_t(v);
    }
    return (byte >> (7 - x % 8)) & 1;
}

// A 40 x 30 24-bit bitmap, top-down, over MonoBitmap's bitmap of that size and seed: where that
// one is white the pixel is onWhite, where black onBlack; a negative value there stands for
// pseudo-random colours.
inline void ColourOverMono(SpoolBuilder& b, uint32_t id, uint32_t seed, int64_t onWhite, int64_t onBlack)
{
    const int w = 40, h = 30, stride = ((w * 3 + 3) / 4) * 4;
    std::vector<uint8_t> data(size_t(stride) * h);
    uint32_t v = id * 40503u + 7;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            v ^= v << 13, v ^= v >> 17, v ^= v << 5;
            const int64_t c = MonoWhite(w, seed, x, y) ? onWhite : onBlack;
            const uint32_t colour = c < 0 ? (v & 0xFFFFFF) : uint32_t(c);
            for (int k = 0; k < 3; ++k) data[size_t(y) * stride + size_t(x) * 3 + k] = uint8_t(colour >> (8 * k));
        }
    AddBitmap(b, {id, w, -h, 24, 0, {}, data});
}

}  // namespace records
