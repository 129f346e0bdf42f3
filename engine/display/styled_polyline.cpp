#include "engine/display/styled_polyline.h"

#include <algorithm>
#include <cstdlib>

#include "engine/band/band_surface.h"
#include "engine/display/pen_store.h"
#include "platform/gdi_paths.h"

namespace {

struct Segment {
    POINT start;
    POINT current;
};

// Adds the segment to the open path when its box lies near the clip rectangle.
void Flush(HDC dc, const Pen* pen, const RECT* clip, const Segment& segment)
{
    const int64_t w = pen->width;
    const int64_t xs = segment.start.x, xc = segment.current.x, ys = segment.start.y, yc = segment.current.y;
    if (clip->left - std::max(xs, xc) < w && std::min(xs, xc) - clip->right < w && clip->top - std::max(ys, yc) < w &&
        std::min(ys, yc) - clip->bottom < w) {
        const POINT points[2] = {segment.start, segment.current};
        Polyline(dc, points, 2);
    }
}

// One step of the dash pattern. The accumulator carries the fraction of a count that a diagonal
// step adds beyond one.
void DashStep(HDC dc, const Pen* pen, DashState* state, int64_t weight, int64_t scale, int64_t* accumulator,
              const RECT* clip, Segment* segment)
{
    const uint32_t n = pen->dashCount;
    if (pen->dashes[state->index] == 0) {
        if ((state->index & 1) == 0) Flush(dc, pen, clip, *segment);
        state->index = (state->index + 1) % n;
    }
    if (state->count < pen->dashes[state->index]) {
        *accumulator += weight - scale;
        state->count += 1;
        while (*accumulator >= scale) {
            state->count += 1;
            *accumulator -= scale;
        }
        return;
    }
    if ((state->index & 1) == 0) Flush(dc, pen, clip, *segment);
    else segment->start = segment->current;
    state->index = (state->index + 1) % n;
    state->count = 1;
    *accumulator = 0;
}

}  // namespace

void StyledPolyline(BandSurface* surface, const Pen* pen, DashState* state, const RECT* clip, POINT p0, POINT p1)
{
    if ((p0.x == p1.x && p0.y == p1.y) || pen == nullptr || pen->dashCount == 0) return;
    HDC dc = surface->drawDC;
    if (state->index >= pen->dashCount) state->index = 0;
    BeginPath(dc);
    state->count += 1;
    Segment segment{p0, p0};
    int64_t accumulator = 0;
    if (p0.y == p1.y || p0.x == p1.x) {
        // Straight: one count per pixel.
        const bool horizontal = p0.y == p1.y;
        const LONG step = horizontal ? (p1.x > p0.x ? 1 : -1) : (p1.y > p0.y ? 1 : -1);
        LONG& moving = horizontal ? segment.current.x : segment.current.y;
        const LONG end = horizontal ? p1.x : p1.y;
        moving += step;
        while (moving != end) {
            DashStep(dc, pen, state, 1, 1, &accumulator, clip, &segment);
            moving += step;
        }
    } else {
        const int64_t a2x = 2 * std::llabs(int64_t{p1.x} - p0.x);
        const int64_t a2y = 2 * std::llabs(int64_t{p1.y} - p0.y);
        const LONG sx = p1.x > p0.x ? 1 : -1;
        const LONG sy = p1.y > p0.y ? 1 : -1;
        const int64_t scale = 100 * std::max(a2x, a2y);
        const int64_t weight = 141 * std::min(a2x, a2y);
        accumulator = weight;
        DashStep(dc, pen, state, weight, scale, &accumulator, clip, &segment);
        // Bresenham along the major axis.
        const bool xMajor = a2x >= a2y;
        LONG& major = xMajor ? segment.current.x : segment.current.y;
        LONG& minor = xMajor ? segment.current.y : segment.current.x;
        const LONG majorEnd = xMajor ? p1.x : p1.y;
        const LONG majorStep = xMajor ? sx : sy, minorStep = xMajor ? sy : sx;
        const int64_t a2major = xMajor ? a2x : a2y, a2minor = xMajor ? a2y : a2x;
        int64_t e = a2minor - a2major / 2;
        while (major != majorEnd) {
            if (e >= 0) {
                minor += minorStep;
                e -= a2major;
            }
            e += a2minor;
            major += majorStep;
            DashStep(dc, pen, state, weight, scale, &accumulator, clip, &segment);
        }
    }
    if ((state->index & 1) == 0) {
        const POINT points[2] = {segment.start, segment.current};
        Polyline(dc, points, 2);
    }
    EndPath(dc);
    StrokePath(dc);
}
