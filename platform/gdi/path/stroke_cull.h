// Leaving out of a wide pen's outline the pieces that no pixel of the clip needs, in any
// direction. The outline is a union of convex pieces of one orientation filled with the winding
// rule, so a pixel is set when any piece covers it: a piece may go when every pixel of the clip
// it covers lies strictly inside a piece that stays.
#pragma once

#include <span>
#include <vector>

#include "../region/polyfill.h"

// The polygons of `out` from `firstCount` on (their points from `firstPoint` on) and the round
// discs, the polygon `ring` moved to each of `centres` (in the order the outline made them), are
// thinned to what `clip` needs; the discs that stay remain in `centres`, in their order. Pixels
// of the clip filled from what stays are those filled from all of it. When any polygon is not
// convex and turning left (rounding can fold a sliver), nothing is left out.
void StrokeCull(FillPolygonSet& out, size_t firstCount, size_t firstPoint, std::span<const FillPoint> ring,
                std::vector<FillPoint>& centres, const RECT& clip);
