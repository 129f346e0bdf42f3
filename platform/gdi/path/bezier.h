// Flattening of cubic Bezier segments into straight pieces, for path fills, strokes and
// FlattenPath.
#pragma once

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
