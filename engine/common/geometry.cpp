#include "engine/common/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr unsigned kAbove = 1;
constexpr unsigned kBelow = 2;
constexpr unsigned kLeftOf = 4;
constexpr unsigned kRightOf = 8;

unsigned Outcode(int64_t x, int64_t y, const RECT& r)
{
    unsigned code = 0;
    if (y < r.top) {
        code = kAbove;
    } else if (y > int64_t{r.bottom} - 1) {
        code = kBelow;
    }
    if (x < r.left) {
        code |= kLeftOf;
    } else if (x > int64_t{r.right} - 1) {
        code |= kRightOf;
    }
    return code;
}

// span x part / whole, truncating toward zero. Both differences may need 33 bits, so their product
// is taken in 128; the quotient lies between 0 and span, as the moved point stays on the segment.
int64_t Interpolate(int64_t span, int64_t part, int64_t whole)
{
    return static_cast<int64_t>(static_cast<__int128>(span) * part / whole);
}

bool Scale(LONG value, LONG numerator, LONG denominator, LONG* out)
{
    if (denominator == 0) {
        return false;
    }
    const int64_t scaled = int64_t{value} * numerator / denominator;
    if (scaled < INT32_MIN || scaled > INT32_MAX) {
        return false;
    }
    *out = static_cast<LONG>(scaled);
    return true;
}

}  // namespace

bool LineClipToRect(LONG* x1, LONG* y1, LONG* x2, LONG* y2, const RECT* rect)
{
    // Coordinates are worked in 64 bits, their products in 128 (see Interpolate).
    int64_t ax = *x1, ay = *y1, bx = *x2, by = *y2;
    unsigned codeA = Outcode(ax, ay, *rect);
    unsigned codeB = Outcode(bx, by, *rect);
    // Every move puts a point onto an edge line and shortens the segment; a point is moved at most
    // four times, so the bound only guards against the unforeseen.
    for (int round = 0; round < 16 && (codeA & codeB) == 0; ++round) {
        if (codeA == 0 && codeB == 0) {
            *x1 = static_cast<LONG>(ax);
            *y1 = static_cast<LONG>(ay);
            *x2 = static_cast<LONG>(bx);
            *y2 = static_cast<LONG>(by);
            return true;
        }
        const bool moveFirst = codeA != 0;
        const unsigned code = moveFirst ? codeA : codeB;
        int64_t x;
        int64_t y;
        // A point outside above or below has y1 != y2 here (a horizontal segment outside shares
        // the code bit), and one outside left or right has x1 != x2, so no division is by zero.
        if (code & (kAbove | kBelow)) {
            y = (code & kAbove) ? int64_t{rect->top} : int64_t{rect->bottom} - 1;
            x = ax + Interpolate(bx - ax, y - ay, by - ay);
        } else {
            x = (code & kLeftOf) ? int64_t{rect->left} : int64_t{rect->right} - 1;
            y = ay + Interpolate(by - ay, x - ax, bx - ax);
        }
        if (moveFirst) {
            ax = x;
            ay = y;
            codeA = Outcode(ax, ay, *rect);
        } else {
            bx = x;
            by = y;
            codeB = Outcode(bx, by, *rect);
        }
    }
    return false;
}

bool PointScale(const POINT* denominator, const POINT* point, const POINT* numerator, POINT* out)
{
    POINT scaled{};
    if (!Scale(point->x, numerator->x, denominator->x, &scaled.x) ||
        !Scale(point->y, numerator->y, denominator->y, &scaled.y)) {
        *out = POINT{};
        return false;
    }
    *out = scaled;
    return true;
}

bool RectScale(const POINT* denominator, const POINT* numerator, const RECT* rect, RECT* out)
{
    RECT scaled{};
    if (!Scale(rect->left, numerator->x, denominator->x, &scaled.left) ||
        !Scale(rect->right, numerator->x, denominator->x, &scaled.right) ||
        !Scale(rect->top, numerator->y, denominator->y, &scaled.top) ||
        !Scale(rect->bottom, numerator->y, denominator->y, &scaled.bottom)) {
        *out = RECT{};
        return false;
    }
    *out = scaled;
    return true;
}

void RectNormalize(RECT* out, const RECT* in)
{
    const RECT r = *in;
    out->left = std::min(r.left, r.right);
    out->right = std::max(r.left, r.right);
    out->top = std::min(r.top, r.bottom);
    out->bottom = std::max(r.top, r.bottom);
}

LONG RoundHalfUp(double v)
{
    return static_cast<LONG>(
        std::clamp(std::floor(v + 0.5), static_cast<double>(INT32_MIN), static_cast<double>(INT32_MAX)));
}
