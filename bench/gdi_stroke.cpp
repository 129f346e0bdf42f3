// Wide-pen outlines band by band: a dotted frame whose pen is far wider than its dots, stroked for
// every band of a page with the band as the clip (only the pieces and round caps the band can
// see) against the unclipped outline of every dot filled within the band, as each band did before.
// The anchor is the same code without its clip, so the ratio is what the clip saves a page.
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/race.h"
#include "platform/gdi/path/stroke.h"
#include "platform/gdi/path/stroke_fill.h"

namespace {

constexpr int kWidth = 1728;  // a fax page at 204 x 196 dpi
constexpr int kHeight = 2292;
constexpr int kBand = 128;
constexpr int kStrideBytes = kWidth / 8;

struct Page {
    std::vector<uint8_t> bits = std::vector<uint8_t>(size_t{kStrideBytes} * kHeight);
};

void SetSpan(void* context, LONG y, LONG left, LONG right)
{
    uint8_t* row = static_cast<Page*>(context)->bits.data() + size_t(y) * kStrideBytes;
    for (LONG x = left; x < right; ++x) row[x / 8] |= uint8_t(0x80 >> (x % 8));
}

// The engine's dots along a frame, one open figure each: 5 pixels on, 5 off.
std::vector<std::vector<FillPoint>> DottedFrame(RECT r)
{
    std::vector<std::vector<FillPoint>> dots;
    const POINT corners[5] = {{r.left, r.top},
                              {r.right, r.top},
                              {r.right, r.bottom},
                              {r.left, r.bottom},
                              {r.left, r.top}};
    for (int side = 0; side < 4; ++side) {
        const POINT a = corners[side], b = corners[side + 1];
        const LONG length = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
        const LONG sx = (b.x > a.x) - (b.x < a.x), sy = (b.y > a.y) - (b.y < a.y);
        for (LONG t = 0; t + 5 <= length; t += 10)
            dots.push_back({FillPointFromDevice(a.x + sx * t, a.y + sy * t),
                            FillPointFromDevice(a.x + sx * (t + 5), a.y + sy * (t + 5))});
    }
    return dots;
}

// The engine's pieces along a sloped line, their ends rounded to pixels: `on` pixels along the
// major axis, then `off`; with no gap every piece starts where the line does, as the engine's walk
// hands over a pattern whose gaps are empty.
std::vector<std::vector<FillPoint>> DottedLine(POINT a, POINT b, LONG on, LONG off)
{
    std::vector<std::vector<FillPoint>> dots;
    const LONG length = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y));
    auto at = [&](LONG t) {
        return FillPointFromDevice(a.x + std::lround(double(b.x - a.x) * t / length),
                                   a.y + std::lround(double(b.y - a.y) * t / length));
    };
    for (LONG t = 0; t < length; t += on + off)
        dots.push_back({off == 0 ? at(0) : at(t), at(std::min(t + on, length))});
    return dots;
}

// Strokes the figures once per band and fills each band's rows of the page.
void StrokeByBands(const std::vector<StrokeFigure>& figures, double width, bool clipped, Page& page)
{
    std::fill(page.bits.begin(), page.bits.end(), 0);
    for (int top = 0; top < kHeight; top += kBand) {
        const RECT band{0, top, kWidth, std::min(top + kBand, kHeight)};
        StrokeStyle style{width, STROKE_CAP_ROUND, STROKE_JOIN_ROUND, 10, {}};
        if (clipped) style.clip = &band;
        FillPolygonSet outline;
        StrokeOutline(figures, style, outline);
        StrokeFillSpans(outline.points, outline.counts, band, SetSpan, &page);
    }
}

void AddWideDotsRace(const std::string& name, std::function<std::vector<std::vector<FillPoint>>()> make, double width)
{
    AddRace(name, "unclipped_outline", [make, width] {
        auto dots = std::make_shared<std::vector<std::vector<FillPoint>>>(make());
        auto figures = std::make_shared<std::vector<StrokeFigure>>();
        for (const auto& d : *dots) figures->push_back({d, false});
        auto ours = std::make_shared<Page>(), theirs = std::make_shared<Page>();
        return RaceSides{[dots, figures, ours, width] { StrokeByBands(*figures, width, true, *ours); },
                         [dots, figures, theirs, width] { StrokeByBands(*figures, width, false, *theirs); },
                         [ours, theirs] { return ours->bits == theirs->bits ? std::string() : std::string("pixels"); }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    // The frame of the render-call fuzz seed that took seconds a page, its far side cut to 6,000
    // rows so that the anchor's rounds stay short; and a frame on the page with a 60-pixel pen.
    AddWideDotsRace(
        "dotted_frame_pen_5642_by_bands",
        [] {
            return DottedFrame(RECT{-16, 972, 359, 6000});
        },
        5642);
    AddWideDotsRace(
        "dotted_frame_pen_60_by_bands",
        [] {
            return DottedFrame(RECT{100, 100, 1628, 2192});
        },
        60);
    // Sloped dotted lines under the same pen, their edges across the page: at 45 degrees, shallow
    // (1 in 8) and steep (8 in 1); and pieces with no gaps, each from the line's start, at 30 degrees.
    AddWideDotsRace(
        "dotted_45_degrees_pen_5642_by_bands",
        [] {
            return DottedLine({-5290, -2000}, {1000, 4290}, 5, 5);
        },
        5642);
    AddWideDotsRace(
        "dotted_shallow_pen_5642_by_bands",
        [] {
            return DottedLine({-3000, -1800}, {4728, -834}, 5, 5);
        },
        5642);
    AddWideDotsRace(
        "dotted_steep_pen_5642_by_bands",
        [] {
            return DottedLine({-1900, -1000}, {-1475, 2400}, 5, 5);
        },
        5642);
    AddWideDotsRace(
        "gapless_30_degrees_pen_3000_by_bands",
        [] {
            return DottedLine({-2500, -600}, {2500, 2287}, 5, 0);
        },
        3000);
    return RaceMain(argc, argv);
}
