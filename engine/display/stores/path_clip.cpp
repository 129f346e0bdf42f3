#include "engine/display/stores/path_clip.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "engine/common/geometry.h"
#include "engine/display/stores/path_store.h"

// ---- Polygon clipping ----

namespace {

// The crossing of prev-cur with a side, in 64 bits and doubles: coordinates come from the page and
// their products overflow 32 bits.
LONG Cross(int64_t a0, int64_t a1, int64_t b0, int64_t b1, int64_t c)
{
    // b at the side a = c, measured from the current point (a1, b1).
    double t = static_cast<double>((a1 - c) * (b1 - b0)) / static_cast<double>(a1 - a0);
    return static_cast<LONG>(static_cast<double>(b1) - t + 0.5);
}

enum Side { kTop, kBottom, kRight, kLeft };

bool Inside(const POINT& p, Side side, const RECT& r)
{
    switch (side) {
        case kTop: return p.y >= r.top;
        case kBottom: return p.y <= int64_t{r.bottom} - 1;
        case kRight: return p.x <= int64_t{r.right} - 1;
        case kLeft: return p.x >= r.left;
    }
    return false;
}

POINT Crossing(const POINT& prev, const POINT& cur, Side side, const RECT& r)
{
    switch (side) {
        case kTop: return POINT{Cross(prev.y, cur.y, prev.x, cur.x, r.top), r.top};
        case kBottom: return POINT{Cross(prev.y, cur.y, prev.x, cur.x, int64_t{r.bottom} - 1), r.bottom - 1};
        case kRight: return POINT{r.right - 1, Cross(prev.x, cur.x, prev.y, cur.y, int64_t{r.right} - 1)};
        case kLeft: return POINT{r.left, Cross(prev.x, cur.x, prev.y, cur.y, r.left)};
    }
    return cur;
}

}  // namespace

uint32_t PolygonClipRect(const RECT* clip, uint32_t count, POINT* points, POINT* scratch, uint32_t capacity)
{
    POINT* from = points;
    POINT* to = scratch;
    for (Side side : {kTop, kBottom, kRight, kLeft}) {
        uint32_t out = 0;
        bool full = false;
        auto emit = [&](POINT p) {
            if (out == capacity) return void(full = true);
            to[out++] = p;
        };
        for (uint32_t i = 0; i < count; ++i) {
            const POINT& prev = from[i == 0 ? count - 1 : i - 1];
            const POINT& cur = from[i];
            bool prevIn = Inside(prev, side, *clip), curIn = Inside(cur, side, *clip);
            if (curIn) {
                if (!prevIn) emit(Crossing(prev, cur, side, *clip));
                emit(cur);
            } else if (prevIn) {
                emit(Crossing(prev, cur, side, *clip));
            }
        }
        if (out == 0 || full) return 0;
        count = out;
        std::swap(from, to);
    }
    return count;  // four passes: the result is back in `points`
}

int PathClipBounds(const PathEntry* path, const RECT* clip, RECT* result)
{
    std::vector<POINT> buffer;
    try {
        // Each clipping pass can add half as many points again; six times the input holds four.
        buffer.resize((size_t{path->pointCount} * 6 + 8) * 2);
    } catch (...) {
        return 0;
    }
    const uint32_t capacity = path->pointCount * 6 + 8;
    POINT* points = buffer.data();
    uint32_t n = 0;
    uint32_t offset = 0;
    PathSubpath sub;
    while (PathSubpathNext(path, &offset, &sub))
        for (uint32_t i = 0; i < sub.count; ++i) points[n++] = PathSubpathPoint(sub, i);
    if (n > 1 && points[n - 1].x == points[0].x && points[n - 1].y == points[0].y) --n;
    if (n == 0) return 0;
    if (n == 1) {
        *result = path->bounds;
        return 1;
    }
    if (n == 2) {
        if (!LineClipToRect(&points[0].x, &points[0].y, &points[1].x, &points[1].y, clip)) return 0;
    } else {
        n = PolygonClipRect(clip, n, points, points + capacity, capacity);
        if (n == 0) return 0;
    }
    RECT r{points[0].x, points[0].y, points[0].x, points[0].y};
    for (uint32_t i = 1; i < n; ++i) {
        r.left = std::min(r.left, points[i].x);
        r.top = std::min(r.top, points[i].y);
        r.right = std::max(r.right, points[i].x);
        r.bottom = std::max(r.bottom, points[i].y);
    }
    r.right += 1;
    r.bottom += 1;
    *result = r;
    return 1;
}

// ---- Edge tables ----

uint32_t EdgeTableFromFigures(const POINT* points, const PathFigure* figures, uint32_t figureCount, Edge* edges)
{
    uint32_t n = 0;
    for (uint32_t f = 0; f < figureCount; ++f) {
        const POINT* p = points + figures[f].first;
        uint32_t count = figures[f].count;
        for (uint32_t i = 0; i < count; ++i) {
            const POINT& prev = p[i == 0 ? count - 1 : i - 1];
            const POINT& cur = p[i];
            if (prev.y == cur.y) continue;
            bool down = cur.y > prev.y;
            const POINT& top = down ? prev : cur;
            const POINT& bottom = down ? cur : prev;
            // The coordinates are device pixels of the band's clip range; the spans are 64-bit
            // to be safe with unclipped page coordinates.
            int64_t dx = int64_t{bottom.x} - top.x, dy = int64_t{bottom.y} - top.y;
            int64_t adx = std::llabs(dx);
            Edge& e = edges[n++];
            e = Edge{};
            e.top = EdgeState{top.x, top.y, 0, dx < 0 ? static_cast<int32_t>(1 - dy) : 0};
            e.bottom = EdgeState{bottom.x, bottom.y, 0, 0};
            e.xDirection = dx < 0 ? -1 : 1;
            e.winding = down ? -1 : 1;
            if (dy < adx) {
                e.xStep = static_cast<int32_t>(dx / dy);
                e.remainder = static_cast<int32_t>(adx % dy);
            } else {
                e.xStep = 0;
                e.remainder = static_cast<int32_t>(adx);
            }
            e.dy = static_cast<int32_t>(dy);
        }
    }
    return n;
}

namespace {

Edge Vertical(const Edge& from, int32_t x, int32_t topY, int32_t bottomY)
{
    Edge e{};
    e.top = EdgeState{x, topY, 0, 0};
    e.bottom = EdgeState{x, bottomY, 0, 0};
    e.xDirection = 1;
    e.winding = from.winding;
    return e;
}

// One side pass of the horizontal cut. sign +1 keeps x >= c (left side), -1 keeps x <= c (right).
uint32_t ClipSide(int64_t c, int sign, uint32_t count, const Edge* in, Edge* out)
{
    uint32_t n = 0;
    auto keep = [&](const Edge& e) {
        if (e.bottom.y > e.top.y) out[n++] = e;
    };
    const int32_t side = static_cast<int32_t>(c);
    for (uint32_t i = 0; i < count; ++i) {
        const Edge& e = in[i];
        int64_t dTop = (e.top.x - c) * sign, dBottom = (e.bottom.x - c) * sign;
        if (dTop >= 0 && dBottom >= 0) {
            keep(e);
            continue;
        }
        if (dTop < 0 && dBottom <= 0) {
            keep(Vertical(e, side, e.top.y, e.bottom.y));
            continue;
        }
        // A crossing edge: find the row of the cut, jumping as far as one step's largest move
        // allows and then stepping row by row.
        const int64_t s = std::llabs(int64_t{e.xStep} + e.xDirection);
        const bool leaving = dTop >= 0;
        auto d = [&](const EdgeState& st) { return (st.x - c) * sign; };
        auto sgn = [](int64_t v) { return (v > 0) - (v < 0); };
        auto reached = [&](const EdgeState& st) { return leaving ? sgn(d(st)) != sgn(dTop) : std::llabs(d(st)) < s; };
        EdgeState st = e.top;
        EdgeAdvance(&e, &st, std::min<int64_t>(std::llabs(d(st)) / s, int64_t{e.bottom.y} - e.top.y));
        while (st.y < e.bottom.y && !reached(st)) EdgeStep(&e, &st);
        if (leaving) {
            Edge upper = e;
            upper.bottom = st;
            keep(upper);
            keep(Vertical(e, side, st.y, e.bottom.y));
        } else {
            keep(Vertical(e, side, e.top.y, st.y));
            Edge lower = e;
            // The row starts on the side; the correction takes the move back at the next step.
            int64_t stepped = int64_t{st.x} - st.correction;
            lower.top = EdgeState{side, st.y, static_cast<int32_t>(c - stepped), st.error};
            keep(lower);
        }
    }
    return n;
}

}  // namespace

uint32_t EdgeTableClip(const RECT* clip, uint32_t count, Edge* edges, Edge* scratch)
{
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {  // top: to the scratch
        Edge e = edges[i];
        if (e.bottom.y <= clip->top) continue;
        if (e.top.y < clip->top) EdgeAdvance(&e, &e.top, int64_t{clip->top} - e.top.y);
        scratch[n++] = e;
    }
    count = n;
    n = 0;
    for (uint32_t i = 0; i < count; ++i) {  // bottom: back
        Edge e = scratch[i];
        if (e.top.y >= clip->bottom || e.top.y >= e.bottom.y) continue;
        if (e.bottom.y > clip->bottom) {
            EdgeState st = e.top;
            EdgeAdvance(&e, &st, int64_t{clip->bottom} - e.top.y);
            e.bottom = st;
        }
        edges[n++] = e;
    }
    n = ClipSide(clip->left, 1, n, edges, scratch);
    return ClipSide(clip->right, -1, n, scratch, edges);
}

int PathEdgeTableBuild(const PathEntry* path, const RECT* clip, HDC, RECT* bounds, Edge* edges, uint32_t* count)
{
    if (edges == nullptr) {
        if (bounds != nullptr) *bounds = path->bounds;
        return 1;
    }
    uint32_t n = 0;
    if (const PathPoints* list = path->realised; list != nullptr) {
        n = EdgeTableFromFigures(list->points, list->figures, list->figureCount, edges);
        if (clip != nullptr) n = EdgeTableClip(clip, n, edges, edges + 4 * size_t{n} + 4);
    }
    *count = n;
    if (n == 0) return 0;
    if (bounds != nullptr) {
        RECT r{edges[0].top.x, edges[0].top.y, edges[0].top.x, edges[0].top.y};
        for (uint32_t i = 0; i < n; ++i)
            for (const EdgeState* st : {&edges[i].top, &edges[i].bottom}) {
                r.left = std::min(r.left, st->x);
                r.top = std::min(r.top, st->y);
                r.right = std::max(r.right, st->x);
                r.bottom = std::max(r.bottom, st->y);
            }
        r.right += 1;
        r.bottom += 1;
        *bounds = r;
    }
    return 1;
}
