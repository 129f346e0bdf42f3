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

// The steps along the major axis worth walking: those within kReach of the page's origin on that
// axis. Every page lies far inside, so its lines are walked whole wherever they start; a line
// that runs millions of pixels off the page no longer takes a step per pixel there, and takes its
// dash phase from where the walk begins. The window is the same for every band, so every band
// sees the same phase.
constexpr int64_t kReach = int64_t{1} << 18;

struct Walk {
    int64_t first;  // distance of the first step walked
    int64_t last;   // and of the last
};

Walk WalkWithin(LONG start, LONG step, int64_t first, int64_t last)
{
    const int64_t in = step > 0 ? -kReach - start : start - kReach, out = step > 0 ? kReach - start : start + kReach;
    return {std::max(first, in), std::min(last, out)};
}

int64_t FloorDiv(__int128 a, int64_t b)
{
    __int128 q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return static_cast<int64_t>(q);
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
        const LONG start = moving;
        const int64_t length = std::llabs(int64_t{end} - start);
        Walk walk = WalkWithin(start, step, 1, length - 1);
        walk.first = std::min(walk.first, length);  // wholly before the reach: straight to the end
        moving = static_cast<LONG>(start + step * walk.first);
        if (walk.first > 1) segment.start = segment.current;
        for (int64_t d = walk.first; d <= walk.last; ++d) {
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
        // Bresenham along the major axis.
        const bool xMajor = a2x >= a2y;
        LONG& major = xMajor ? segment.current.x : segment.current.y;
        LONG& minor = xMajor ? segment.current.y : segment.current.x;
        const LONG majorStep = xMajor ? sx : sy, minorStep = xMajor ? sy : sx;
        const int64_t a2major = xMajor ? a2x : a2y, a2minor = xMajor ? a2y : a2x;
        int64_t e = a2minor - a2major / 2;
        Walk walk = WalkWithin(major, majorStep, 0, a2major / 2);
        walk.first = std::min(walk.first, a2major / 2);
        if (walk.first > 0) {
            // k steps at once: the error term stays in [a2minor - a2major, a2minor) before every
            // step, which fixes how many of them moved the minor axis.
            const __int128 total = e + static_cast<__int128>(walk.first) * a2minor;
            const int64_t moved = FloorDiv(total - a2minor, a2major) + 1;
            e = static_cast<int64_t>(total - static_cast<__int128>(moved) * a2major);
            major = static_cast<LONG>(major + majorStep * walk.first);
            minor = static_cast<LONG>(minor + minorStep * moved);
            segment.start = segment.current;
        }
        DashStep(dc, pen, state, weight, scale, &accumulator, clip, &segment);
        for (int64_t d = walk.first + 1; d <= walk.last; ++d) {
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
