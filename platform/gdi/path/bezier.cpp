// Midpoint subdivision with 8 more fraction bits than the fill units, so the halvings do not
// pile up rounding. A cubic strays from its chord by at most 3/4 of its largest second
// difference in each coordinate, so pieces are split until that bound, taken across both
// coordinates (times the square root of 2), is within the tolerance.
#include "bezier.h"

#include "path.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

constexpr int kMaxDepth = 16;
constexpr int kExtraBits = 8;
constexpr int64_t kTolerance = BEZIER_TOLERANCE << kExtraBits;

thread_local uint64_t made = 0;

void Made(std::vector<FillPoint>& out, FillPoint p)
{
    out.push_back(p);
    ++made;
}

int64_t Half(int64_t v)
{
    return v >= 0 ? v / 2 : -((-v) / 2);  // symmetric, so a mirrored curve flattens mirrored
}

bool Flat(const FillPoint (&p)[4])
{
    int64_t d = std::max({std::llabs(p[0].x - 2 * p[1].x + p[2].x), std::llabs(p[0].y - 2 * p[1].y + p[2].y),
                          std::llabs(p[1].x - 2 * p[2].x + p[3].x), std::llabs(p[1].y - 2 * p[2].y + p[3].y)});
    return 17 * d <= 16 * kTolerance;  // 3/4 * sqrt(2) < 17/16
}

FillPoint Mid(FillPoint a, FillPoint b) { return {a.x + Half(b.x - a.x), a.y + Half(b.y - a.y)}; }

// A rectangle in subdivision units.
struct Box {
    int64_t left, top, right, bottom;
};

bool Outside(const FillPoint (&p)[4], const Box* cull)
{
    if (!cull) return false;
    auto all = [&](auto test) { return test(p[0]) && test(p[1]) && test(p[2]) && test(p[3]); };
    return all([&](FillPoint q) { return q.x < cull->left; }) || all([&](FillPoint q) { return q.x > cull->right; }) ||
           all([&](FillPoint q) { return q.y < cull->top; }) || all([&](FillPoint q) { return q.y > cull->bottom; });
}

// back to fill units, rounding to nearest
FillPoint End(const FillPoint (&p)[4])
{
    constexpr int64_t half = int64_t{1} << (kExtraBits - 1);
    return {(p[3].x + half) >> kExtraBits, (p[3].y + half) >> kExtraBits};
}

void Split(const FillPoint (&p)[4], FillPoint (&left)[4], FillPoint (&right)[4])
{
    FillPoint ab = Mid(p[0], p[1]), bc = Mid(p[1], p[2]), cd = Mid(p[2], p[3]);
    FillPoint abc = Mid(ab, bc), bcd = Mid(bc, cd);
    FillPoint m = Mid(abc, bcd);
    left[0] = p[0], left[1] = ab, left[2] = abc, left[3] = m;
    right[0] = m, right[1] = bcd, right[2] = cd, right[3] = p[3];
}

void Subdivide(const FillPoint (&p)[4], int depth, std::vector<FillPoint>& out, const Box* cull)
{
    if (depth >= kMaxDepth || Flat(p) || Outside(p, cull)) {
        Made(out, End(p));
        return;
    }
    FillPoint left[4], right[4];
    Split(p, left, right);
    Subdivide(left, depth + 1, out, cull);
    Subdivide(right, depth + 1, out, cull);
}

// The points an uncut subdivision of the piece would make, walked and not kept.
void Measure(const FillPoint (&p)[4], int depth, DashWalk& walk)
{
    if (depth >= kMaxDepth || Flat(p)) {
        DashWalkTo(walk, End(p));
        return;
    }
    FillPoint left[4], right[4];
    Split(p, left, right);
    Measure(left, depth + 1, walk);
    Measure(right, depth + 1, walk);
}

void SubdivideDashed(const FillPoint (&p)[4], int depth, std::vector<FillPoint>& out, const Box& cull, DashWalk& walk,
                     std::vector<std::pair<size_t, double>>& phases)
{
    if (depth >= kMaxDepth || Flat(p)) {
        Made(out, End(p));
        DashWalkTo(walk, out.back());
        return;
    }
    if (Outside(p, &cull)) {
        // Every point inside lies beyond the cull on the same side, so no segment between them
        // shows and only the pattern's phase at the end matters.
        Measure(p, depth, walk);
        Made(out, End(p));
        phases.push_back({out.size() - 1, walk.phase});
        return;
    }
    FillPoint left[4], right[4];
    Split(p, left, right);
    SubdivideDashed(left, depth + 1, out, cull, walk, phases);
    SubdivideDashed(right, depth + 1, out, cull, walk, phases);
}

FillPoint Fine(FillPoint p) { return {p.x << kExtraBits, p.y << kExtraBits}; }

Box CullBox(const RECT& cull)
{
    // One pixel of margin, so that rounding never moves a kept piece's neighbour inside.
    constexpr int64_t unit = int64_t{1} << (FILL_SHIFT + kExtraBits);
    return {(int64_t(cull.left) - 1) * unit, (int64_t(cull.top) - 1) * unit, (int64_t(cull.right) + 1) * unit,
            (int64_t(cull.bottom) + 1) * unit};
}

}  // namespace

uint64_t BezierPointsMade() { return made; }

void DashWalkTo(DashWalk& walk, FillPoint p)
{
    if (p.x == walk.last.x && p.y == walk.last.y) return;  // the stroker drops repeated points
    double length;
    if (walk.pixelSteps) {
        // whole numbers, so the sums are exact
        const POINT a = PathRoundToDevice(walk.last), b = PathRoundToDevice(p);
        length = double(std::max(std::llabs(int64_t{b.x} - a.x), std::llabs(int64_t{b.y} - a.y)));
    } else {
        // As the stroker measures: each point in device pixels, then the difference.
        const double dx = double(p.x) / FILL_ONE - double(walk.last.x) / FILL_ONE;
        const double dy = double(p.y) / FILL_ONE - double(walk.last.y) / FILL_ONE;
        length = std::hypot(dx, dy);
    }
    walk.phase = std::fmod(walk.phase + length, walk.period);
    walk.length += length;
    walk.last = p;
}

bool BezierFlatten(const FillPoint (&p)[4], std::vector<FillPoint>& out, const RECT* cull)
{
    try {
        Box box{};
        if (cull) box = CullBox(*cull);
        const FillPoint fine[4] = {Fine(p[0]), Fine(p[1]), Fine(p[2]), Fine(p[3])};
        Subdivide(fine, 0, out, cull ? &box : nullptr);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool BezierFlattenDashed(const FillPoint (&p)[4], std::vector<FillPoint>& out, const RECT& cull, DashWalk& walk,
                         std::vector<std::pair<size_t, double>>& phases)
{
    try {
        const Box box = CullBox(cull);
        const FillPoint fine[4] = {Fine(p[0]), Fine(p[1]), Fine(p[2]), Fine(p[3])};
        SubdivideDashed(fine, 0, out, box, walk, phases);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
