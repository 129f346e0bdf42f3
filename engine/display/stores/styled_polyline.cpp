#include "engine/display/stores/styled_polyline.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "engine/display/stores/pen_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi_paths.h"

namespace {

struct Segment {
    POINT start;
    POINT current;
};

// How far a dash's stroke reaches beyond the box of its segment: half the width, by up to the
// square root of two where a square cap stands across a diagonal, and a little for rounding.
int64_t Reach(const Pen* pen) { return (int64_t{pen->width} * 181 + 255) / 256 + 2; }

// Adds the segment to the open path when its box lies within the pen's reach of the clip.
void Flush(HDC dc, const Pen* pen, const RECT* clip, const Segment& segment)
{
    const int64_t w = Reach(pen);
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

// What DashAdvance met on its way, as step offsets from where it began.
struct Advance {
    int64_t taken = 0;  // steps taken
    int64_t gapEnd = -1;  // the last step at which a gap ended (the next dash starts there), or -1
    int64_t flushed = -1;  // the step at which a dash ended, when asked to stop there, or -1
};

// Moves the dash state on as DashStep would for `steps` steps, without drawing: the steps of a
// line beyond the clip's reach. With `stopAtDash` it stops after the step that ends a dash, so
// that the caller can draw that dash whole. Steps inside one element go at once (a diagonal step
// counts one, and one more each time the accumulator passes the scale), and once the pattern
// comes round to the start of an element it began before, whole turns of it are left out.
Advance DashAdvance(const Pen* pen, DashState* state, int64_t weight, int64_t scale, int64_t* accumulator,
                    int64_t steps, bool stopAtDash)
{
    const uint32_t n = pen->dashCount;
    const int64_t d = weight - scale;
    Advance out;
    std::vector<int64_t> seen;  // the step at which element i last began, or -1
    while (out.taken < steps) {
        const uint32_t length = pen->dashes[state->index];
        if (length != 0 && state->count < length) {
            // Count before step j (j >= 1): count + j + floor((a + j d) / scale) when d >= 0.
            const int64_t a = *accumulator;
            auto countBefore = [&](int64_t j) -> __int128 {
                __int128 extra = 0;
                if (d >= 0 && j >= 1) extra = (static_cast<__int128>(a) + static_cast<__int128>(j) * d) / scale;
                return static_cast<__int128>(state->count) + j + extra;
            };
            int64_t lo = 1, hi = std::min<int64_t>(steps - out.taken, int64_t{length} - state->count);
            while (lo < hi) {  // the most steps m whose last one still starts below the length
                const int64_t mid = lo + (hi - lo + 1) / 2;
                if (countBefore(mid - 1) < length) lo = mid;
                else hi = mid - 1;
            }
            const int64_t m = lo;
            const __int128 total = static_cast<__int128>(a) + static_cast<__int128>(m) * d;
            if (d >= 0) {
                state->count = static_cast<uint32_t>(countBefore(m));
                *accumulator = static_cast<int64_t>(total % scale);
            } else {
                state->count = static_cast<uint32_t>(state->count + m);
                *accumulator = static_cast<int64_t>(total);
            }
            out.taken += m;
            continue;
        }
        // One step as DashStep takes it: past an empty element, then counting or ending one.
        const int64_t step = out.taken++;
        bool dashEnded = false;
        if (length == 0) {
            dashEnded = (state->index & 1) == 0;
            state->index = (state->index + 1) % n;
        }
        if (state->count < pen->dashes[state->index]) {
            *accumulator += d;
            state->count += 1;
            while (*accumulator >= scale) {
                state->count += 1;
                *accumulator -= scale;
            }
        } else {
            if ((state->index & 1) == 0) dashEnded = true;
            else out.gapEnd = step;
            state->index = (state->index + 1) % n;
            state->count = 1;
            *accumulator = 0;
            if (seen.empty()) seen.assign(n, -1);
            const int64_t began = seen[state->index];
            if (!stopAtDash && began >= 0) {
                // The pattern has come round: the same turn repeats until fewer steps are left.
                const int64_t turn = out.taken - began;
                const int64_t turns = (steps - out.taken) / turn;
                if (out.gapEnd >= began) out.gapEnd += turns * turn;
                out.taken += turns * turn;
                seen.assign(n, -1);
            }
            seen[state->index] = out.taken;
        }
        if (dashEnded && stopAtDash) {
            out.flushed = step;
            return out;
        }
    }
    return out;
}

// The steps along the major axis worth walking: those within kReach of the page's origin on that
// axis. Every page lies far inside, so its lines are walked whole wherever they start; a line
// that runs millions of pixels off the page no longer takes a step per pixel there, and takes its
// dash phase from where the walk begins. The window is the same for every band, so every band
// sees the same phase.
constexpr int64_t kReach = int64_t{1} << 18;

struct Walk {
    int64_t first;  // distance of the first step walked
    int64_t last;  // and of the last
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

// Counts the steps [from, last] of a line, which lie beyond the clip's reach. Dashes that began
// before them are drawn whole where they end; once a gap has ended among them, every later dash
// starts out there and is only counted. Returns the step at which the last gap ended, or -1.
template <typename PixelAt>
int64_t DashTail(HDC dc, const Pen* pen, DashState* state, int64_t weight, int64_t scale, int64_t* accumulator,
                 const RECT* clip, Segment* segment, int64_t from, int64_t last, PixelAt pixelAt)
{
    int64_t gapEnd = -1;
    for (int64_t k = from; k <= last;) {
        const Advance a = DashAdvance(pen, state, weight, scale, accumulator, last - k + 1, gapEnd < 0);
        // A gap ending before the dash did started that dash out there too; one ending at the
        // same step (after an empty dash) starts the next.
        if (gapEnd < 0 && a.flushed >= 0 && !(a.gapEnd >= 0 && a.gapEnd < a.flushed))
            Flush(dc, pen, clip, {segment->start, pixelAt(k + a.flushed)});
        if (a.gapEnd >= 0) gapEnd = k + a.gapEnd;
        k += a.taken;
    }
    return gapEnd;
}

// The steps d of [first, last] whose pixel lies within `reach` of [lo, hi] on its axis, for the
// pixel at `origin + direction * d` (direction +1 or -1). Empty when first > last.
Walk StepsNear(int64_t origin, int64_t direction, int64_t lo, int64_t hi, int64_t reach, Walk walk)
{
    const int64_t a = (lo - reach - origin) * direction, b = (hi + reach - origin) * direction;
    return {std::max(walk.first, std::min(a, b)), std::min(walk.last, std::max(a, b))};
}

// The same for the minor axis of a diagonal, whose pixel stays within one of origin + d * ratio:
// the range is widened by two steps, since walking more steps than needed changes nothing.
Walk StepsNearMinor(int64_t origin, int64_t direction, double ratio, int64_t lo, int64_t hi, int64_t reach, Walk walk)
{
    const double a = (double(lo - reach - 1 - origin) * direction) / ratio;
    const double b = (double(hi + reach + 1 - origin) * direction) / ratio;
    const double from = std::max(double(walk.first), std::floor(std::min(a, b)) - 2);
    const double to = std::min(double(walk.last), std::ceil(std::max(a, b)) + 2);
    if (from > to) return {walk.last + 1, walk.last};
    return {static_cast<int64_t>(from), static_cast<int64_t>(to)};
}

}  // namespace

// Every band walks only the steps within the pen's reach of its clip and moves the dash state
// over the rest without drawing (DashAdvance), so a band costs what it shows whatever the line's
// length. A dash that begins beyond the reach is drawn from where the walk takes it up, and one
// that runs on beyond it is drawn whole: what is left out lies farther from the clip than any
// stroke of the pen reaches.
void StyledPolyline(BandSurface* surface, const Pen* pen, DashState* state, const RECT* clip, POINT p0, POINT p1)
{
    if ((p0.x == p1.x && p0.y == p1.y) || pen == nullptr || pen->dashCount == 0) return;
    HDC dc = surface->drawDC;
    if (state->index >= pen->dashCount) state->index = 0;
    BeginPath(dc);
    state->count += 1;
    Segment segment{p0, p0};
    int64_t accumulator = 0;
    const int64_t reach = Reach(pen);
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
        auto at = [&](int64_t d) { return static_cast<LONG>(start + step * d); };
        moving = at(walk.first);
        if (walk.first > 1) segment.start = segment.current;
        const int64_t fixed = horizontal ? p0.y : p0.x;
        const int64_t fixedLo = horizontal ? clip->top : clip->left, fixedHi = horizontal ? clip->bottom : clip->right;
        Walk near = StepsNear(start, step, horizontal ? clip->left : clip->top, horizontal ? clip->right : clip->bottom,
                              reach, walk);
        if (fixed < fixedLo - reach || fixed > fixedHi + reach || near.first > near.last)
            near = {walk.last + 1, walk.last};
        int64_t d = walk.first;
        if (near.first > d) {
            const Advance head = DashAdvance(pen, state, 1, 1, &accumulator, near.first - d, false);
            if (head.gapEnd >= 0) {
                moving = at(d + head.gapEnd);
                segment.start = segment.current;
            }
            d = near.first;
            moving = at(d);
        }
        for (; d <= near.last; ++d) {
            DashStep(dc, pen, state, 1, 1, &accumulator, clip, &segment);
            moving += step;
        }
        if (d <= walk.last) {
            auto pixel = [&](int64_t k) { return horizontal ? POINT{at(k), p0.y} : POINT{p0.x, at(k)}; };
            const int64_t gapEnd = DashTail(dc, pen, state, 1, 1, &accumulator, clip, &segment, d, walk.last, pixel);
            if (gapEnd >= 0) segment.start = pixel(gapEnd);
            moving = at(walk.last + 1);
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
        // k steps at once: the error term stays in [a2minor - a2major, a2minor) before every
        // step, which fixes how many of them moved the minor axis.
        auto jump = [&](int64_t k) {
            if (k <= 0) return;
            const __int128 total = e + static_cast<__int128>(k) * a2minor;
            const int64_t moved = FloorDiv(total - a2minor, a2major) + 1;
            e = static_cast<int64_t>(total - static_cast<__int128>(moved) * a2major);
            major = static_cast<LONG>(major + majorStep * k);
            minor = static_cast<LONG>(minor + minorStep * moved);
        };
        const int64_t major0 = major, minor0 = minor;
        Walk walk = WalkWithin(major, majorStep, 0, a2major / 2);
        walk.first = std::min(walk.first, a2major / 2);
        if (walk.first > 0) {
            jump(walk.first);
            segment.start = segment.current;
        }
        Walk near = StepsNear(major0, majorStep, xMajor ? clip->left : clip->top, xMajor ? clip->right : clip->bottom,
                              reach, walk);
        const Walk nearMinor =
            StepsNearMinor(minor0, minorStep, double(a2minor) / double(a2major), xMajor ? clip->top : clip->left,
                           xMajor ? clip->bottom : clip->right, reach, walk);
        near = {std::max(near.first, nearMinor.first), std::min(near.last, nearMinor.last)};
        if (near.first > near.last) near = {walk.last + 1, walk.last};
        // The pixel of step d, from where the walk begins (d >= walk.first), with its error term.
        const POINT base = segment.current;
        const int64_t baseE = e;
        auto pixelAt = [&](int64_t d) {
            const POINT saved = segment.current;
            const int64_t savedE = e;
            segment.current = base;
            e = baseE;
            jump(d - walk.first);
            const POINT p = segment.current;
            segment.current = saved;
            e = savedE;
            return p;
        };
        int64_t d = walk.first;
        if (near.first > d) {
            const Advance head = DashAdvance(pen, state, weight, scale, &accumulator, near.first - d, false);
            if (head.gapEnd >= 0) segment.start = pixelAt(d + head.gapEnd);
            jump(std::min(near.first, walk.last) - d);
            d = near.first;
        }
        for (bool moved = false; d <= near.last; ++d, moved = true) {
            if (moved) {
                if (e >= 0) {
                    minor += minorStep;
                    e -= a2major;
                }
                e += a2minor;
                major += majorStep;
            }
            DashStep(dc, pen, state, weight, scale, &accumulator, clip, &segment);
        }
        if (d <= walk.last) {
            const int64_t gapEnd =
                DashTail(dc, pen, state, weight, scale, &accumulator, clip, &segment, d, walk.last, pixelAt);
            jump(walk.last - (d - 1));
            if (gapEnd >= 0) segment.start = pixelAt(gapEnd);
        }
    }
    if ((state->index & 1) == 0) {
        const POINT points[2] = {segment.start, segment.current};
        Polyline(dc, points, 2);
    }
    EndPath(dc);
    StrokePath(dc);
}
