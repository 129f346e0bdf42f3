// One loop serves all eight octants: the major coordinate steps by +-1 and the minor one follows
// an exact error term, so a line and its clipped part give the same pixels.
#include "line.h"

#include <algorithm>
#include <cstdlib>

namespace {

// Merges pixels into horizontal runs before handing them on.
struct RunBuilder {
    FillSpanSink sink;
    void* context;
    bool open = false;
    LONG y = 0, left = 0, right = 0;

    void Add(LONG px, LONG py)
    {
        if (open && py == y && (px == right || px == left - 1)) {
            left = std::min(left, px);
            right = std::max(right, px + 1);
            return;
        }
        Flush();
        open = true;
        y = py;
        left = px;
        right = px + 1;
    }
    void Flush()
    {
        if (open && sink) sink(context, y, left, right);
        open = false;
    }
};

bool PatternDraws(std::span<const DWORD> pattern)
{
    for (DWORD d : pattern)
        if (d != 0) return true;
    return false;
}

void SkipEmptyElements(std::span<const DWORD> pattern, LineDashState* dash)
{
    while (pattern[dash->index] == 0) {
        dash->index = (dash->index + 1) % pattern.size();
        dash->count = 0;
    }
}

}  // namespace

void LineDashAdvance(std::span<const DWORD> pattern, LineDashState* dash, int64_t steps)
{
    if (pattern.empty() || !PatternDraws(pattern) || steps <= 0) return;
    dash->index %= pattern.size();
    int64_t period = 0;
    for (DWORD d : pattern) period += d;
    steps %= period;
    while (steps > 0) {
        SkipEmptyElements(pattern, dash);
        int64_t left = int64_t{pattern[dash->index]} - dash->count;
        if (steps < left) {
            dash->count += static_cast<DWORD>(steps);
            return;
        }
        steps -= left;
        dash->index = (dash->index + 1) % pattern.size();
        dash->count = 0;
    }
}

void CosmeticLine(POINT from, POINT to, const RECT& clip, std::span<const DWORD> pattern, LineDashState* dash,
                  FillSpanSink sink, void* context, FillSpanSink gaps)
{
    const int64_t dx = int64_t{to.x} - from.x;
    const int64_t dy = int64_t{to.y} - from.y;
    const bool xMajor = std::llabs(dx) >= std::llabs(dy);
    const int64_t steps = xMajor ? std::llabs(dx) : std::llabs(dy);
    if (steps == 0) return;
    const bool styled = !pattern.empty() && dash && PatternDraws(pattern);
    if (styled) dash->index %= pattern.size();

    const int64_t major0 = xMajor ? from.x : from.y;
    const int64_t minor0 = xMajor ? from.y : from.x;
    const int64_t majorSign = (xMajor ? dx : dy) > 0 ? 1 : -1;
    const int64_t dMinor = xMajor ? dy : dx;
    const int64_t clipMajorLo = xMajor ? clip.left : clip.top;
    const int64_t clipMajorHi = xMajor ? clip.right : clip.bottom;  // exclusive
    const int64_t clipMinorLo = xMajor ? clip.top : clip.left;
    const int64_t clipMinorHi = xMajor ? clip.bottom : clip.right;

    // Steps i in [first, last) whose major coordinate lies inside the clip.
    int64_t first = 0, last = steps;
    if (majorSign > 0) {
        first = std::max<int64_t>(first, clipMajorLo - major0);
        last = std::min<int64_t>(last, clipMajorHi - major0);
    } else {
        first = std::max<int64_t>(first, major0 - (clipMajorHi - 1));
        last = std::min<int64_t>(last, major0 - clipMajorLo + 1);
    }
    if (first >= last) {
        if (styled) LineDashAdvance(pattern, dash, steps);
        return;
    }
    if (styled) LineDashAdvance(pattern, dash, first);

    // minor(i) = minor0 + floor((2 * i * dMinor + steps) / (2 * steps)): the exact position
    // rounded to nearest, halves upward. Kept as quotient and remainder to step exactly.
    const int64_t denom = 2 * steps;
    const __int128 num = __int128{2} * first * dMinor + steps;
    int64_t q = static_cast<int64_t>(FloorDiv<__int128>(num, denom));
    int64_t r = static_cast<int64_t>(num - __int128{q} * denom);
    const int64_t stepNum = 2 * dMinor;
    const int64_t stepQ = FloorDiv(stepNum, denom);
    const int64_t stepR = stepNum - stepQ * denom;

    RunBuilder drawn{sink, context};
    RunBuilder gap{gaps, context};
    for (int64_t i = first; i < last; ++i) {
        const int64_t major = major0 + majorSign * i;
        const int64_t minor = minor0 + q;
        bool draws = true;
        if (styled) {
            SkipEmptyElements(pattern, dash);
            draws = (dash->index & 1) == 0;
            if (++dash->count >= pattern[dash->index]) {
                dash->index = (dash->index + 1) % pattern.size();
                dash->count = 0;
            }
        }
        if (minor >= clipMinorLo && minor < clipMinorHi) {
            LONG px = static_cast<LONG>(xMajor ? major : minor);
            LONG py = static_cast<LONG>(xMajor ? minor : major);
            if (draws) drawn.Add(px, py);
            else gap.Add(px, py);
        }
        q += stepQ;
        r += stepR;
        if (r >= denom) {
            r -= denom;
            ++q;
        }
    }
    drawn.Flush();
    gap.Flush();
    if (styled) LineDashAdvance(pattern, dash, steps - last);
}

void CosmeticFigures(const PathFigures& figures, const RECT& clip, std::span<const DWORD> pattern, FillSpanSink sink,
                     void* context, FillSpanSink gaps)
{
    size_t start = 0, phase = 0;
    for (size_t f = 0; f < figures.counts.size(); ++f) {
        const size_t count = static_cast<size_t>(figures.counts[f]);
        LineDashState dash{0, 0};
        POINT first = PathRoundToDevice(figures.points[start]);
        POINT current = first;
        for (size_t i = 1; i < count; ++i) {
            POINT next = PathRoundToDevice(figures.points[start + i]);
            while (phase < figures.phases.size() && figures.phases[phase].first < start + i) ++phase;
            if (phase < figures.phases.size() && figures.phases[phase].first == start + i) {
                // The points before this one were dropped far outside the clip, where their lines
                // set no pixel: the pattern stands where their steps left it.
                dash = {0, 0};
                LineDashAdvance(pattern, &dash, int64_t(figures.phases[phase].second));
            } else {
                CosmeticLine(current, next, clip, pattern, &dash, sink, context, gaps);
            }
            current = next;
        }
        if (figures.closed[f]) CosmeticLine(current, first, clip, pattern, &dash, sink, context, gaps);
        start += count;
    }
}
