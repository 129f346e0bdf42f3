// Midpoint subdivision with 8 more fraction bits than the fill units, so the halvings do not
// pile up rounding. A cubic strays from its chord by at most 3/4 of its largest second
// difference in each coordinate, so pieces are split until that bound, taken across both
// coordinates (times the square root of 2), is within the tolerance.
#include "bezier.h"

#include <algorithm>
#include <cstdlib>
#include <new>

namespace {

constexpr int kMaxDepth = 16;
constexpr int kExtraBits = 8;
constexpr int64_t kTolerance = BEZIER_TOLERANCE << kExtraBits;

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

void Subdivide(const FillPoint (&p)[4], int depth, std::vector<FillPoint>& out, const Box* cull)
{
    if (depth >= kMaxDepth || Flat(p) || Outside(p, cull)) {
        // back to fill units, rounding to nearest
        constexpr int64_t half = int64_t{1} << (kExtraBits - 1);
        out.push_back({(p[3].x + half) >> kExtraBits, (p[3].y + half) >> kExtraBits});
        return;
    }
    FillPoint ab = Mid(p[0], p[1]), bc = Mid(p[1], p[2]), cd = Mid(p[2], p[3]);
    FillPoint abc = Mid(ab, bc), bcd = Mid(bc, cd);
    FillPoint m = Mid(abc, bcd);
    const FillPoint left[4] = {p[0], ab, abc, m};
    const FillPoint right[4] = {m, bcd, cd, p[3]};
    Subdivide(left, depth + 1, out, cull);
    Subdivide(right, depth + 1, out, cull);
}

}  // namespace

bool BezierFlatten(const FillPoint (&p)[4], std::vector<FillPoint>& out, const RECT* cull)
{
    try {
        // One pixel of margin, so that rounding never moves a kept piece's neighbour inside.
        constexpr int64_t unit = int64_t{1} << (FILL_SHIFT + kExtraBits);
        Box box{};
        if (cull)
            box = {(int64_t(cull->left) - 1) * unit, (int64_t(cull->top) - 1) * unit, (int64_t(cull->right) + 1) * unit,
                   (int64_t(cull->bottom) + 1) * unit};
        const FillPoint fine[4] = {{p[0].x << kExtraBits, p[0].y << kExtraBits},
                                   {p[1].x << kExtraBits, p[1].y << kExtraBits},
                                   {p[2].x << kExtraBits, p[2].y << kExtraBits},
                                   {p[3].x << kExtraBits, p[3].y << kExtraBits}};
        Subdivide(fine, 0, out, cull ? &box : nullptr);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
