// The resources the Pelvane end-to-end pages draw with: a checker of 8 x 8 one-bit cells (bitmap 1,
// brush 5), a grey photo-like 24-bit ramp (bitmap 2), a dashed, a wide and a thin pen (9, 10, 11),
// a clip of two rectangles (13), a path of two figures (17) and two fonts (21, 22).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/spool/spool_records.h"
#include "tests/support/spool_builder.h"
#include "tests/support/spool_payloads.h"

constexpr uint32_t kPageBlack = 0x80000000;

// The rectangles as a clip record's data.
inline std::vector<uint8_t> ClipRectsData(const std::vector<SpoolBox>& rects)
{
    std::vector<uint8_t> out;
    for (const SpoolBox& r : rects) {
        const auto le = SpoolLe32({r.left, r.top, r.right, r.bottom});
        out.insert(out.end(), le.begin(), le.end());
    }
    return out;
}

// Defined on each page: a page keeps its resources to itself.
inline void PageResources(SpoolBuilder& b)
{
    std::vector<uint8_t> checker;
    for (int y = 0; y < 8; ++y) checker.insert(checker.end(), {uint8_t(y < 4 ? 0xF0 : 0x0F), 0, 0, 0});
    b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(1, 8, 8, 1, {0x000000, 0xFFFFFF}, checker));
    std::vector<uint8_t> ramp;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 32; ++x)
            for (int c = 0; c < 3; ++c) ramp.push_back(uint8_t((x * 8 + y * 4) & 0xFF));
    b.Raw(kSpoolBitmapType, 0, SpoolBitmapPayload(2, 32, 16, 24, {}, ramp));
    b.Add("brush", {{"id", 5}, {"bitmap", 1}});
    b.Add(
        "pen",
        {{"id", 9}, {"style", 0}, {"width", 1}, {"brush", kPageBlack}, {"dash_count", 2}, {"data", SpoolLe32({9, 4})}});
    b.Add("pen", {{"id", 10}, {"style", 0x1 | 0x20000 | 0x2000000}, {"width", 9}, {"brush", kPageBlack}});
    b.Add("pen", {{"id", 11}, {"style", 0}, {"width", 1}, {"brush", kPageBlack}});
    const std::vector<SpoolBox> clip = {{100, 600, 700, 700}, {300, 760, 1500, 900}};
    b.Add("clip_rects", {{"id", 13},
                         {"left", 100},
                         {"top", 600},
                         {"right", 1500},
                         {"bottom", 900},
                         {"count", 2},
                         {"data", ClipRectsData(clip)}});
    b.Raw(SpoolRecPath, 0,
          SpoolPathPayload(17, {{{900, 100}, {1300, 180}, {1000, 520}, {860, 300}},
                                {{1400, 120}, {1650, 120}, {1525, 400}}}));
    b.Raw(kSpoolFontLogType, 1, SpoolFontLogPayload(21, "Arial", -48));
    b.Raw(kSpoolFontLogType, 1, SpoolFontLogPayload(22, "Times New Roman", 30));
}
