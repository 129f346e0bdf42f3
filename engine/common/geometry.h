// Integer geometry shared by the band planning, the line commands, the band renderers and the
// placement of pages and form levels: line clipping, the scaling of points and rectangles between
// resolutions, and the rounding of scaled sizes.
#pragma once

#include "platform/types.h"

// Cohen-Sutherland clip of the segment (x1, y1)-(x2, y2) to the rectangle, whose right and bottom
// are exclusive. Moves the end points onto the rectangle and returns true when a part of the
// segment is visible; false when it lies wholly outside.
bool LineClipToRect(LONG* x1, LONG* y1, LONG* x2, LONG* y2, const RECT* rect);

// out = (point.x * numerator.x / denominator.x, point.y * numerator.y / denominator.y), with
// 64-bit products and division truncating toward zero. A zero denominator or a result outside
// 32 bits gives false and a zero out.
bool PointScale(const POINT* denominator, const POINT* point, const POINT* numerator, POINT* out);
// Left and right scaled by numerator.x / denominator.x, top and bottom by the y pair, as PointScale.
bool RectScale(const POINT* denominator, const POINT* numerator, const RECT* rect, RECT* out);

// out = the rectangle with left <= right and top <= bottom.
void RectNormalize(RECT* out, const RECT* in);

// floor(v + 0.5), held inside the 32-bit range: the rounding of every scaled size and origin.
LONG RoundHalfUp(double v);
