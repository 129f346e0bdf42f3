// Flattening of cubic curves and realisation of paths as device point lists.
#include <algorithm>
#include <cstring>
#include <limits>

#include "engine/common/render_heap.h"
#include "engine/display/stores/path_store.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"

namespace {

// A segment is four control points, x and y interleaved.
struct Segment {
    double p[8];
    int depth;
};

// Halving deeper than this gains nothing visible (2^16 pieces per segment) and bounds the work
// and the stack for any control points.
constexpr int kFlattenDepth = 16;

bool SegmentFlat(const double* p)
{
    auto sq = [](double v) { return v * v; };
    double mx = std::max(sq(2 * p[0] + p[6] - 3 * p[2]), sq(2 * p[6] + p[0] - 3 * p[4]));
    if (!(mx < 4.0)) return false;
    double my = std::max(sq(2 * p[1] + p[7] - 3 * p[3]), sq(2 * p[7] + p[1] - 3 * p[5]));
    return mx + my < 4.0;
}

// Calls piece(first, last) for each flat piece in curve order; a 0 from it stops and is returned.
template <class Piece>
int FlattenSegment(const double* controls, Piece piece)
{
    // Depth-first with the right half below the left: at most one pending right half per level.
    Segment stack[kFlattenDepth + 2];
    int top = 0;
    std::memcpy(stack[0].p, controls, sizeof stack[0].p);
    stack[0].depth = 0;
    int result = 1;
    while (top >= 0) {
        Segment s = stack[top--];
        if (s.depth >= kFlattenDepth || SegmentFlat(s.p)) {
            result = piece(&s.p[0], &s.p[6]);
            if (result == 0) return 0;
            continue;
        }
        Segment left, right;
        for (int c = 0; c < 2; ++c) {
            double p0 = s.p[c], p1 = s.p[2 + c], p2 = s.p[4 + c], p3 = s.p[6 + c];
            double m = (p0 + 3 * p1 + 3 * p2 + p3) / 8;
            left.p[c] = p0;
            left.p[2 + c] = (p0 + p1) / 2;
            left.p[4 + c] = (p0 + 2 * p1 + p2) / 4;
            left.p[6 + c] = m;
            right.p[c] = m;
            right.p[2 + c] = (p1 + 2 * p2 + p3) / 4;
            right.p[4 + c] = (p2 + p3) / 2;
            right.p[6 + c] = p3;
        }
        left.depth = right.depth = s.depth + 1;
        stack[++top] = right;
        stack[++top] = left;
    }
    return result;
}

constexpr LONG kDeviceLimit = LONG{1} << 29;

LONG RoundHalfUp(double v) { return static_cast<LONG>(v + 0.5); }

// The point list being built. Capacity grows geometrically: a page of curves can flatten into
// millions of points, and growing by a fixed step would copy the list quadratically often.
struct Builder {
    PathPoints* list;
    bool failed = false;

    bool Append(POINT p)
    {
        if (list->pointCount == list->capacity) {
            uint64_t grown = std::max<uint64_t>(uint64_t{list->capacity} * 2, uint64_t{list->capacity} + 16);
            // The charge is an i32 of bytes: a list beyond it cannot be accounted for.
            if ((grown + list->figureCount) * 8 + 24 > static_cast<uint64_t>(std::numeric_limits<int32_t>::max() / 2))
                return failed = true, false;
            auto* points = static_cast<POINT*>(RenderRealloc(list->points, grown * sizeof(POINT)));
            if (points == nullptr) return failed = true, false;
            list->points = points;
            list->capacity = static_cast<uint32_t>(grown);
        }
        list->points[list->pointCount++] = p;
        return true;
    }
};

bool Monotone(const PathPoints* list)
{
    if (list->figureCount > 1) return false;
    if (list->figureCount == 0) return true;
    const PathFigure& f = list->figures[0];
    if (f.count < 4) return true;
    const POINT* p = list->points + f.first;
    auto sign = [](LONG d) { return d > 0 ? 1 : (d < 0 ? -1 : 0); };
    int direction = sign(p[0].y - p[f.count - 1].y);
    for (uint32_t i = 1; direction == 0 && i < f.count; ++i) direction = sign(p[i].y - p[i - 1].y);
    int changes = 0;
    for (uint32_t i = 1; i < f.count; ++i) {
        int d = sign(p[i].y - p[i - 1].y);
        if (d != 0 && d != direction) {
            ++changes;
            direction = d;
        }
    }
    return changes <= 2;
}

}  // namespace

int PathFlatten(const POINT* controls, PathPieceFn piece, void* context)
{
    double p[8];
    for (int i = 0; i < 4; ++i) {
        p[2 * i] = controls[i].x;
        p[2 * i + 1] = controls[i].y;
    }
    return FlattenSegment(p, [&](const double* from, const double* to) { return piece(from, to, context); });
}

int PathCostEstimate(void*, void* object, void*, BandSurface*, ResourceCost* request)
{
    const auto* path = static_cast<const PathEntry*>(object);
    if (path->realised == nullptr)
        request->memory +=
            static_cast<int32_t>(std::min<int64_t>((int64_t{path->pointCount} + path->figureCount) * 8 + 24,
                                                   std::numeric_limits<int32_t>::max()));
    return 0;
}

// Builds the point list in logical units: figures of fewer than two points are dropped, a closing
// point equal to the first is dropped. Null when memory fails.
static PathPoints* PathPointsBuild(const PathEntry* path)
{
    auto* list = static_cast<PathPoints*>(RenderAlloc(sizeof(PathPoints)));
    if (list == nullptr) return nullptr;
    *list = PathPoints{};
    // Every figure begins in a subpath, so the subpath count bounds the figures.
    list->figures = static_cast<PathFigure*>(RenderAlloc(std::max<size_t>(path->subpathCount, 1) * sizeof(PathFigure)));
    list->capacity = std::max<uint32_t>(path->pointCount, 1);
    list->points = static_cast<POINT*>(RenderAlloc(size_t{list->capacity} * sizeof(POINT)));
    if (list->figures == nullptr || list->points == nullptr) {
        RenderFree(list->figures);
        RenderFree(list->points);
        RenderFree(list);
        return nullptr;
    }
    Builder b{list};
    bool open = false;
    uint32_t first = 0;
    auto endFigure = [&] {
        if (!open) return;
        open = false;
        uint32_t count = list->pointCount - first;
        if (count >= 2 && list->points[first].x == list->points[first + count - 1].x &&
            list->points[first].y == list->points[first + count - 1].y) {
            --count;
            --list->pointCount;
        }
        if (count < 2) {
            list->pointCount = first;
            return;
        }
        list->figures[list->figureCount++] = PathFigure{first, count};
    };
    auto beginFigure = [&] {
        endFigure();
        open = true;
        first = list->pointCount;
    };

    uint32_t offset = 0;
    PathSubpath sub;
    while (!b.failed && PathSubpathNext(path, &offset, &sub)) {
        if (sub.count == 0) continue;
        // Points without a figure start (the path's first subpath, or after a figure ended)
        // open a figure of their own, so that no point belongs to none.
        if ((sub.flags & PATH_FIGURE_START) || !open) beginFigure();
        if (!(sub.flags & PATH_BEZIER)) {
            for (uint32_t i = 0; i < sub.count && b.Append(PathSubpathPoint(sub, i)); ++i) {}
        } else {
            uint32_t i = 0;
            if ((sub.flags & PATH_FIGURE_START) || (sub.count - 1) % 3 == 0 || list->pointCount == first) {
                b.Append(PathSubpathPoint(sub, 0));
                i = 1;
            }
            for (; !b.failed && i + 2 < sub.count; i += 3) {
                POINT last = list->points[list->pointCount - 1];
                double p[8] = {double(last.x), double(last.y)};
                for (int k = 0; k < 3; ++k) {
                    POINT c = PathSubpathPoint(sub, i + k);
                    p[2 + 2 * k] = c.x;
                    p[3 + 2 * k] = c.y;
                }
                FlattenSegment(p, [&](const double*, const double* to) {
                    return b.Append(POINT{RoundHalfUp(to[0]), RoundHalfUp(to[1])}) ? 1 : 0;
                });
            }
        }
        if (sub.flags & PATH_FIGURE_END) endFigure();
    }
    endFigure();
    if (b.failed) {
        PathPointsFree(list);
        return nullptr;
    }
    return list;
}

int PathRealize(void* owner, void* object, void*, BandSurface* surface, ResourceCost* tally)
{
    auto* store = static_cast<PathStore*>(owner);
    auto* path = static_cast<PathEntry*>(object);
    POINT corners[2] = {{path->bounds.left, path->bounds.top}, {path->bounds.right, path->bounds.bottom}};
    LPtoDP(surface->drawDC, corners, 2);
    RECT device{corners[0].x, corners[0].y, corners[1].x, corners[1].y};

    // The edges step in 32 bits: a path reaching beyond this is left to GDI, which the command
    // falls back to when realising fails.
    auto far = [](int64_t v) { return v < -kDeviceLimit || v > kDeviceLimit; };
    if (PathPoints* list = path->realised; list != nullptr) {
        // Record bounds can span the whole 32-bit range: sizes and moves are taken in 64 bits.
        const int64_t dx = int64_t{device.left} - list->bounds.left, dy = int64_t{device.top} - list->bounds.top;
        if (int64_t{list->bounds.right} - list->bounds.left == int64_t{device.right} - device.left &&
            int64_t{list->bounds.bottom} - list->bounds.top == int64_t{device.bottom} - device.top &&
            ((dx == 0 && dy == 0) || std::all_of(list->points, list->points + list->pointCount,
                                                 [&](POINT p) { return !far(p.x + dx) && !far(p.y + dy); }))) {
            // The next band sees the same path moved: translating keeps it flattened once per page.
            if (dx != 0 || dy != 0) {
                for (uint32_t i = 0; i < list->pointCount; ++i) {
                    list->points[i].x = static_cast<LONG>(list->points[i].x + dx);
                    list->points[i].y = static_cast<LONG>(list->points[i].y + dy);
                }
                list->bounds = device;
            }
            return 1;
        }
        tally->memory -= PathUnrealise(store, path);
    }

    PathPoints* list = PathPointsBuild(path);
    if (list == nullptr) return 0;
    if (list->pointCount > 0) LPtoDP(surface->drawDC, list->points, static_cast<int>(list->pointCount));
    for (uint32_t i = 0; i < list->pointCount; ++i) {
        if (far(list->points[i].x) || far(list->points[i].y)) {
            PathPointsFree(list);
            return 0;
        }
    }
    list->bounds = device;
    path->realised = list;
    tally->memory += PathPointsCost(list);
    path->head.flags |= RESOURCE_REALISED;
    if (Monotone(list)) path->head.flags |= PATH_MONOTONE;
    store->realised.Append(path);
    return 1;
}
