#include <algorithm>

#include "frontend/common/cover_template.h"

namespace {

// Far enough outside any page that a clipped line still shows right; far from 32-bit overflow.
constexpr int64_t kReach = int64_t{1} << 27;

LONG Held(int64_t v) { return static_cast<LONG>(std::clamp(v, -kReach, kReach)); }

// A line point: units scaled, a negative value counting from the far edge.
LONG Place(LONG value, LONG unit, LONG origin, int64_t extent)
{
    int64_t v = int64_t{value} * unit;
    if (value < 0) v += extent;
    return Held(origin + v);
}

}  // namespace

LONG CoverPageUnit(LONG width, LONG height, bool landscape)
{
    return landscape ? std::min(width / 130, height / 101) : std::min(width / 101, height / 130);
}

CoverPageLayout CoverPageLayoutMake(const CoverPageTemplate& style, const RECT& page, LONG unit, SIZE title)
{
    CoverPageLayout out{};
    const int64_t w = int64_t{page.right} - page.left, h = int64_t{page.bottom} - page.top;
    const LONG middle = Held(page.left + w / 2);
    const LONG y = Held(page.top + int64_t{style.titleY} * unit);
    if (style.centred) {
        out.titleAlign = TA_CENTER | TA_TOP;
        out.titleAt = {middle, y};
        out.titleBox = {Held(int64_t{middle} - title.cx / 2 - 1), y,
                        Held(int64_t{middle} - title.cx / 2 - 1 + title.cx + 2), Held(int64_t{y} + title.cy)};
    } else {
        out.titleAlign = TA_LEFT | TA_TOP;
        const LONG x = Held(page.left + int64_t{style.titleX} * unit);
        out.titleAt = {x, y};
        out.titleBox = {Held(int64_t{x} - 1), y, Held(int64_t{x} + title.cx + 1), Held(int64_t{y} + title.cy)};
    }
    out.anchor = {out.titleAt.x, Held(int64_t{y} + title.cy)};
    for (const CoverTemplateLine& line : style.lines) {
        const CoverPageSegment segment{{Place(line.sx, unit, page.left, w), Place(line.sy, unit, page.top, h)},
                                       {Place(line.ex, unit, page.left, w), Place(line.ey, unit, page.top, h)}};
        out.lines.push_back(segment);
        out.anchor = segment.from;
    }
    const LONG rule = Held(page.top + h - 20 * int64_t{unit});
    out.bottomRule = {{Held(page.left + 15 * int64_t{unit}), rule}, {Held(page.left + w - 15 * int64_t{unit}), rule}};
    return out;
}
