// The DC's path record. The DC holds it as an untyped pointer, made on first use and freed with
// the DC (DcPathRelease).
#include <new>
#include <vector>

#include "path_draw.h"
#include "platform/kernel.h"

namespace gdi {

PathRecord* DcPath(Dc& dc)
{
    if (dc.path) return static_cast<PathRecord*>(dc.path);
    try {
        auto* record = new PathRecord();
        dc.path = record;
        return record;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
}

PathRecord* DcPathIn(Dc& dc, PathState state)
{
    auto* path = static_cast<PathRecord*>(dc.path);
    return path && path->state == state ? path : nullptr;
}

void DcPathRelease(void* path) { delete static_cast<PathRecord*>(path); }

void DcPathDiscard(Dc& dc)
{
    if (auto* path = static_cast<PathRecord*>(dc.path)) {
        PathClear(*path);
        path->state = PathState::None;
        path->points.shrink_to_fit();
        path->kinds.shrink_to_fit();
    }
}

bool MapToDevice(const Dc& dc, int64_t x, int64_t y, POINT& out)
{
    int64_t dx, dy;
    if (!MapPoint(dc, x, y, dx, dy) || dx < INT32_MIN || dx > INT32_MAX || dy < INT32_MIN || dy > INT32_MAX) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return false;
    }
    out = POINT{static_cast<LONG>(dx), static_cast<LONG>(dy)};
    return true;
}

bool MapPointsToDevice(const Dc& dc, const POINT* points, size_t count, std::vector<POINT>& out)
{
    try {
        out.resize(count);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    for (size_t i = 0; i < count; ++i)
        if (!MapToDevice(dc, points[i].x, points[i].y, out[i])) return false;
    return true;
}

}  // namespace gdi
