// Scan conversion of polygons into pixel spans, shared by polygon fills, path fills, wide-pen
// outlines and polygon regions, so that every road gives the same pixels.
//
// The pixel rule: pixel (x, y) is set when the point (x, y) lies inside the polygon; a point on
// a left or top edge counts, a point on a right or bottom edge does not. Equivalently, the
// winding number at (x, y) counts every edge that spans row y half-open (top <= y < bottom) and
// crosses it at or to the left of x.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "platform/types.h"

// Division rounding towards minus and plus infinity, for coordinates of either sign.
template <typename T>
T FloorDiv(T a, T b)  // b > 0
{
    T q = a / b;
    return (a % b != 0 && a < 0) ? q - 1 : q;
}

template <typename T>
T CeilDiv(T a, T b)  // b > 0
{
    return -FloorDiv<T>(-a, b);
}

// Fill coordinates are device pixels with FILL_SHIFT fraction bits, so that flattened curves and
// wide-pen outlines keep their sub-pixel positions. Integer device points are (x << FILL_SHIFT).
constexpr int FILL_SHIFT = 4;
constexpr int64_t FILL_ONE = int64_t{1} << FILL_SHIFT;

struct FillPoint {
    int64_t x;
    int64_t y;
};

inline FillPoint FillPointFromDevice(int64_t x, int64_t y) { return {x * FILL_ONE, y * FILL_ONE}; }

// Polygon fill modes (SetPolyFillMode).
constexpr int FILL_ALTERNATE = 1;
constexpr int FILL_WINDING = 2;

// A set of closed polygons: counts[i] consecutive points of `points` form polygon i, the last
// point joining back to the first.
struct FillPolygonSet {
    std::vector<FillPoint> points;
    std::vector<int> counts;
};

// Receives one horizontal run of pixels [left, right) on row y; runs of a row come left to
// right, rows top to bottom.
using FillSpanSink = void (*)(void* context, LONG y, LONG left, LONG right);

// Lets a caller bound a scan whose rows it cannot bound beforehand (a region built without a
// clip). The scan stops before its next row once `stop` is set (by the sink, say) or once it has
// stepped `budget` edges across rows (then `exhausted` is set); `work` counts those steps. Where
// every edge is vertical and rows repeat until an edge ends or begins, `repeat` (when given)
// takes the rows after the last one emitted that are the same, [from, to), in one call instead
// of a span each: a comb of thousands of teeth a million rows tall costs its teeth, not its rows.
struct FillScanControl {
    bool stop = false;
    uint64_t budget = UINT64_MAX;
    bool exhausted = false;
    uint64_t work = 0;
    // Comparisons and moves spent keeping the active edges in column order: at most a sort's
    // worth a row, so a scan costs its edge steps times a logarithm, however its edges cross.
    uint64_t order = 0;
    void (*repeat)(void* context, LONG from, LONG to) = nullptr;
};

// Fills the polygons inside `clip` (pixels, right and bottom exclusive) with the given mode.
// Coordinates may be anything that fits 64 bits after the FILL_SHIFT scaling of a 32-bit device
// value; crossings are computed exactly. Returns false only when memory runs out.
bool PolyFillSpans(std::span<const FillPoint> points, std::span<const int> counts, int fillMode, const RECT& clip,
                   FillSpanSink sink, void* context, FillScanControl* control = nullptr);

// The smallest rectangle of pixels the polygons can touch (empty when they hold no edge).
RECT PolyFillBounds(std::span<const FillPoint> points);
