// Flattening of cubic Bezier segments into straight pieces, for path fills, strokes and
// FlattenPath.
#pragma once

#include <utility>
#include <vector>

#include "../region/polyfill.h"

// The chord pieces may stray from the curve by at most this much (fill units: 1/4 pixel).
constexpr int64_t BEZIER_TOLERANCE = FILL_ONE / 4;

// Appends the points of the flattened segment p0..p3 to `out`, without p0 and ending exactly at
// p3. Subdivision stops at a depth of 16 whatever the flatness. With `cull` (device pixels), a
// piece whose control points all lie on one side outside it becomes its chord: the curve and
// the chord then bound an area outside `cull`, so a fill inside it is the same, and a curve far
// outside costs no subdivision. Returns false when memory runs out.
bool BezierFlatten(const FillPoint (&p)[4], std::vector<FillPoint>& out, const RECT* cull = nullptr);

// Where a dash pattern of `period` device pixels stands along a figure, advanced point by point
// exactly as the stroker advances it (the length of each segment between fill-unit points, in
// device pixels, added and taken modulo the period), and the figure's length so far. A cosmetic
// pen's pattern (`pixelSteps`) counts instead the steps of the line between the points rounded
// to device pixels, one a pixel of its longer axis.
struct DashWalk {
    double period;
    double phase;
    double length;
    FillPoint last;
    bool pixelSteps;
};

// The points the flattening has made on this thread, for tests that bound them.
uint64_t BezierPointsMade();

// Walks from the last point to `p`.
void DashWalkTo(DashWalk& walk, FillPoint p);

// The same flattening for a dashed stroke: the pieces are those made without a cull, but a piece
// whose control points all lie on one side outside `cull` makes only its end point, its own
// points being walked by `walk` and dropped, so a curve far outside costs no memory. Every point
// made is walked too. `phases` receives, for each such end point, its index in `out` and the
// walk's phase there: the phase that the dropped points would have given the stroker.
bool BezierFlattenDashed(const FillPoint (&p)[4], std::vector<FillPoint>& out, const RECT& cull, DashWalk& walk,
                         std::vector<std::pair<size_t, double>>& phases);
