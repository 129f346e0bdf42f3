// The intersection of two rectangle lists, a-major: for each rectangle of a in turn, its
// intersections with b's rectangles in b's order. Only the pairs that meet are visited: region
// data from GDI is banded (sorted by top, bands apart, each band sorted by left and apart), so
// the rectangles of b that meet one of a's are a run of bands and, in each, a run of rectangles;
// any other list is sorted by top once and searched within a window of its tallest height.
#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "engine/display/clip_store.h"
#include "engine/job/render_call.h"
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

// The result as it grows: room for the larger count at first, then by the larger of 512 and b's
// count whenever fewer than b's count places remain.
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
        const uint64_t grown = uint64_t{out->room} + std::max<uint32_t>(512, out->innerCount);
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
        size_t band = static_cast<size_t>(
            std::partition_point(bands.begin(), bands.end() - 1,
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

bool IntersectAnyOrder(Output* out, const RECT* outer, uint32_t outerCount, const RECT* inner, uint32_t innerCount)
{
    // b's non-empty rectangles by top; one that meets a rectangle starts below its top less the
    // tallest height and above its bottom.
    std::vector<uint32_t> byTop;
    int64_t tallest = 0;
    for (uint32_t j = 0; j < innerCount; ++j) {
        if (Empty(inner[j])) continue;
        byTop.push_back(j);
        tallest = std::max(tallest, int64_t{inner[j].bottom} - inner[j].top);
    }
    std::stable_sort(byTop.begin(), byTop.end(), [&](uint32_t x, uint32_t y) { return inner[x].top < inner[y].top; });
    std::vector<uint32_t> meeting;
    for (uint32_t i = 0; i < outerCount; ++i) {
        const RECT& a = outer[i];
        if (Empty(a)) continue;
        auto from = std::partition_point(byTop.begin(), byTop.end(),
                                         [&](uint32_t j) { return int64_t{inner[j].top} + tallest <= a.top; });
        meeting.clear();
        for (; from != byTop.end() && inner[*from].top < a.bottom; ++from)
            if (!Empty(Intersect(a, inner[*from]))) meeting.push_back(*from);
        std::sort(meeting.begin(), meeting.end());
        for (uint32_t j : meeting)
            if (!Add(out, Intersect(a, inner[j]))) return false;
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
