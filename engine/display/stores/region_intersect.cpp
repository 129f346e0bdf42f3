// The intersection of two rectangle lists, a-major: for each rectangle of a in turn, its
// intersections with b's rectangles in b's order. Only the pairs that meet are visited: region
// data from GDI is banded (sorted by top, bands apart, each band sorted by left and apart), so
// the rectangles of b that meet one of a's are a run of bands and, in each, a run of rectangles;
// any other list is sorted by top once and searched for the rectangles that meet vertically.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "engine/common/render_heap.h"
#include "engine/display/stores/clip_store.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (Empty(r)) r = RECT{};
    return r;
}

size_t RegionDataBytes(uint32_t count) { return sizeof(RGNDATAHEADER) + size_t{count} * sizeof(RECT); }

// The result as it grows: room for the larger count at first, then by the larger of 512, b's
// count and half the room whenever fewer than b's count places remain (growing by half keeps a
// large result from being copied over again for every few thousand rectangles).
struct Output {
    RGNDATAHEADER* data = nullptr;
    uint32_t room = 0;
    uint32_t count = 0;
    uint32_t innerCount = 0;
    RECT bounds{};
};

// False when memory runs out or the result would pass REGION_INTERSECT_MAX_RECTS; the data is
// then freed.
bool Add(Output* out, const RECT& r)
{
    UnionRect(&out->bounds, &out->bounds, &r);
    RECT* rects = reinterpret_cast<RECT*>(out->data + 1);
    // A rectangle that continues the previous one straight down joins it.
    if (out->count > 0) {
        RECT& last = rects[out->count - 1];
        if (last.left == r.left && last.right == r.right && last.bottom == r.top) {
            last.bottom = r.bottom;
            return true;
        }
    }
    if (out->count >= REGION_INTERSECT_MAX_RECTS) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        RenderFree(out->data);
        out->data = nullptr;
        return false;
    }
    if (out->room - out->count < std::max(out->innerCount, 1u)) {
        const uint64_t grown = uint64_t{out->room} + std::max({512u, out->innerCount, out->room / 2});
        if (grown > (UINT32_MAX - sizeof(RGNDATAHEADER)) / sizeof(RECT)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            RenderFree(out->data);
            out->data = nullptr;
            return false;
        }
        auto* bigger = static_cast<RGNDATAHEADER*>(RenderRealloc(out->data, RegionDataBytes(uint32_t(grown))));
        if (bigger == nullptr) {
            RenderFree(out->data);
            out->data = nullptr;
            return false;
        }
        out->data = bigger;
        out->room = static_cast<uint32_t>(grown);
        rects = reinterpret_cast<RECT*>(out->data + 1);
    }
    rects[out->count++] = r;
    return true;
}

// Where each band of a banded list starts, with the list's end last; empty when the list is not
// banded (an empty rectangle, bands out of order or overlapping, a band out of order or with
// overlapping rectangles).
std::vector<uint32_t> Bands(const RECT* rects, uint32_t count)
{
    std::vector<uint32_t> starts;
    for (uint32_t i = 0; i < count; ++i) {
        const RECT& r = rects[i];
        if (Empty(r)) return {};
        if (i > 0) {
            const RECT& p = rects[i - 1];
            const bool sameBand = p.top == r.top && p.bottom == r.bottom;
            if (sameBand ? p.right > r.left : p.bottom > r.top) return {};
            if (sameBand) continue;
        }
        starts.push_back(i);
    }
    starts.push_back(count);
    return starts;
}

bool IntersectBanded(Output* out, const RECT* outer, uint32_t outerCount, const RECT* inner,
                     const std::vector<uint32_t>& bands)
{
    const size_t bandCount = bands.size() - 1;
    for (uint32_t i = 0; i < outerCount; ++i) {
        const RECT& a = outer[i];
        if (Empty(a)) continue;
        // Bands lie apart, so their bottoms rise with their tops: the first band reaching below
        // a's top, then on while the bands start above a's bottom.
        size_t band =
            static_cast<size_t>(std::partition_point(bands.begin(), bands.end() - 1,
                                                     [&](uint32_t start) { return inner[start].bottom <= a.top; }) -
                                bands.begin());
        for (; band < bandCount && inner[bands[band]].top < a.bottom; ++band) {
            const RECT* first = inner + bands[band];
            const RECT* last = inner + bands[band + 1];
            const RECT* j = std::partition_point(first, last, [&](const RECT& r) { return r.right <= a.left; });
            for (; j != last && j->left < a.right; ++j)
                if (!Add(out, Intersect(a, *j))) return false;
        }
    }
    return true;
}

// b's non-empty rectangles by top over the leaves of a tree whose nodes hold the lowest bottom
// beneath them, so that the rectangles starting above a given bottom and reaching below a given
// top are found without passing the others.
struct ByTop {
    const RECT* rects;
    std::vector<uint32_t> order;
    std::vector<LONG> lowest;
    size_t leaves = 1;
};

ByTop ByTopMake(const RECT* inner, uint32_t innerCount)
{
    ByTop t{inner, {}, {}};
    for (uint32_t j = 0; j < innerCount; ++j)
        if (!Empty(inner[j])) t.order.push_back(j);
    std::stable_sort(t.order.begin(), t.order.end(),
                     [&](uint32_t x, uint32_t y) { return inner[x].top < inner[y].top; });
    while (t.leaves < t.order.size()) t.leaves *= 2;
    t.lowest.assign(2 * t.leaves, std::numeric_limits<LONG>::min());
    for (size_t k = 0; k < t.order.size(); ++k) t.lowest[t.leaves + k] = inner[t.order[k]].bottom;
    for (size_t node = t.leaves - 1; node >= 1; --node)
        t.lowest[node] = std::max(t.lowest[2 * node], t.lowest[2 * node + 1]);
    return t;
}

// The rectangles among the first `end` by top whose bottom is below `top`, into `meeting`.
void ByTopCollect(const ByTop& t, size_t node, size_t first, size_t span, size_t end, LONG top,
                  std::vector<uint32_t>* meeting)
{
    if (first >= end || t.lowest[node] <= top) return;
    if (span == 1) {
        meeting->push_back(t.order[first]);
        return;
    }
    ByTopCollect(t, 2 * node, first, span / 2, end, top, meeting);
    ByTopCollect(t, 2 * node + 1, first + span / 2, span / 2, end, top, meeting);
}

bool IntersectAnyOrder(Output* out, const RECT* outer, uint32_t outerCount, const RECT* inner, uint32_t innerCount)
{
    const ByTop t = ByTopMake(inner, innerCount);
    std::vector<uint32_t> meeting;
    for (uint32_t i = 0; i < outerCount; ++i) {
        const RECT& a = outer[i];
        if (Empty(a)) continue;
        const size_t end = static_cast<size_t>(
            std::partition_point(t.order.begin(), t.order.end(), [&](uint32_t j) { return inner[j].top < a.bottom; }) -
            t.order.begin());
        meeting.clear();
        ByTopCollect(t, 1, 0, t.leaves, end, a.top, &meeting);
        // In b's order, as every pair in turn would give them.
        std::sort(meeting.begin(), meeting.end());
        for (uint32_t j : meeting) {
            const RECT r = Intersect(a, inner[j]);
            if (!Empty(r) && !Add(out, r)) return false;
        }
    }
    return true;
}

}  // namespace

RGNDATAHEADER* RegionDataIntersect(const RGNDATAHEADER* a, const RGNDATAHEADER* b)
{
    Output out;
    out.room = std::max(a->nCount, b->nCount);
    out.innerCount = b->nCount;
    out.data = RegionDataAllocate(out.room);
    if (out.data == nullptr) return nullptr;
    const RECT* outer = reinterpret_cast<const RECT*>(a + 1);
    const RECT* inner = reinterpret_cast<const RECT*>(b + 1);
    bool made = false;
    try {
        const std::vector<uint32_t> bands = Bands(inner, b->nCount);
        made = bands.empty() ? IntersectAnyOrder(&out, outer, a->nCount, inner, b->nCount)
                             : IntersectBanded(&out, outer, a->nCount, inner, bands);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        RenderFree(out.data);
        return nullptr;
    }
    if (!made) return nullptr;
    out.data->nCount = out.count;
    out.data->nRgnSize = 0;
    out.data->rcBound = out.bounds;
    return out.data;
}
