#include "engine/display/stores/clip_store.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

struct RegionDataFree {
    void operator()(RGNDATAHEADER* data) const { RenderFree(data); }
};
using RegionDataPtr = std::unique_ptr<RGNDATAHEADER, RegionDataFree>;

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

// Sizes of device rectangles, which mapping may spread over the whole 32-bit range.
bool SameSize(const RECT& a, const RECT& b)
{
    return int64_t{a.right} - a.left == int64_t{b.right} - b.left &&
           int64_t{a.bottom} - a.top == int64_t{b.bottom} - b.top;
}

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
    if (Empty(r)) r = RECT{};
    return r;
}

bool Overlaps(const RECT& r, const RECT& with)
{
    return with.left < r.right && with.right > r.left && with.top < r.bottom && with.bottom > r.top;
}

// A rectangle that continues the previous one straight down joins it.
bool Continues(const RECT& previous, const RECT& next)
{
    return previous.left == next.left && previous.right == next.right && previous.bottom == next.top;
}

size_t RegionDataBytes(uint32_t count) { return sizeof(RGNDATAHEADER) + size_t{count} * sizeof(RECT); }

Clip* Find(ClipStore* store, ResourceId id) { return ResourceTableFind(&store->table, id); }

void BucketInsert(ClipStore* store, Clip* clip)
{
    ResourceTableInsert(&store->table, clip);
    ++store->count;
}

void BucketRemove(ClipStore* store, Clip* clip)
{
    if (ResourceTableRemove(&store->table, clip) && store->count > 0) --store->count;
}

void DeviceListFree(ClipStore* store, Clip* clip, ResourceCost* tally)
{
    if (clip->deviceList == nullptr) return;
    if (tally) tally->memory -= static_cast<int32_t>(ClipDeviceListCost(clip->deviceList->count));
    RenderFree(clip->deviceList);
    clip->deviceList = nullptr;
    if ((clip->head.flags & CLIP_REGION) == 0) store->listB.Unlink(clip);
    clip->head.flags &= ~CLIP_DEVICE_LIST;
}

// Maps a rectangle's corners to device pixels, kept ordered.
RECT MapRect(HDC dc, const RECT& r)
{
    POINT corners[2] = {{r.left, r.top}, {r.right, r.bottom}};
    LPtoDP(dc, corners, 2);
    return RECT{std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
                std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y)};
}

Clip* ClipAllocate(const RGNDATAHEADER* data)
{
    auto* clip = static_cast<Clip*>(RenderAlloc(sizeof(Clip) + size_t{data->nCount} * sizeof(RECT)));
    if (clip == nullptr) return nullptr;
    clip->data = *data;
    clip->data.dwSize = sizeof(RGNDATAHEADER);
    clip->data.iType = RDH_RECTANGLES;
    clip->data.nRgnSize = 16 * data->nCount;
    std::memcpy(ClipRects(clip), RegionDataRects(data), size_t{data->nCount} * sizeof(RECT));
    return clip;
}

void ClipDestroy(ClipStore* store, Clip* clip, ResourceCost* tally)
{
    if (clip->head.flags & CLIP_REGION) {
        DeleteObject(clip->region);
        if (tally) --tally->objects;
        store->listA.Unlink(clip);
        clip->head.flags &= ~CLIP_REGION;
    }
    DeviceListFree(store, clip, tally);
    RenderFree(clip);
}

// The path's region data under a fill mode (1 alternate, 2 winding), in logical units.
RGNDATAHEADER* PathRegionData(ClipStore* store, ResourceId pathId, uint8_t fillMode)
{
    PathEntry* path = PathLookup(&store->owner->paths, pathId);
    if (path == nullptr) {
        SetLastError(ERROR_INVALID_DATA);
        return nullptr;
    }
    RGNDATA* data = PathRegionDataGet(path, fillMode == WINDING ? WINDING : ALTERNATE);
    ResourceReleaseAccount(store->owner, path, 0, &store->owner->paths,
                           [](void* owner, void* object, int remove, ResourceCost* tally) {
                               PathRelease(static_cast<PathStore*>(owner), static_cast<PathEntry*>(object), remove,
                                           tally);
                           });
    if (data == nullptr && GetLastError() == 0) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return data != nullptr ? &data->rdh : nullptr;
}

HRGN RegionFromData(const RGNDATAHEADER* data)
{
    if (data->nCount == 0) return CreateRectRgnIndirect(&data->rcBound);
    return ExtCreateRegion(nullptr, static_cast<DWORD>(RegionDataBytes(data->nCount)),
                           reinterpret_cast<const RGNDATA*>(data));
}

}  // namespace

RGNDATAHEADER* RegionDataAllocate(uint32_t count)
{
    auto* data = static_cast<RGNDATAHEADER*>(RenderAlloc(RegionDataBytes(count)));
    if (data == nullptr) return nullptr;
    data->dwSize = sizeof(RGNDATAHEADER);
    data->iType = RDH_RECTANGLES;
    data->nCount = count;
    return data;
}

void ClipStoreInit(ClipStore* store, ResourceStore* owner)
{
    *store = ClipStore{};
    store->owner = owner;
    store->nextId = 0xFFFFFFFE;
}

void ClipStoreDestroy(ClipStore* store, ResourceCost* tally)
{
    ResourceTableEmpty(&store->table, [&](Clip* clip) { ClipDestroy(store, clip, tally); });
    store->count = 0;
    store->listA = ClipList{};
    store->listB = ClipList{};
}

// ---- Records ----

int ClipDefine(ClipStore* store, Stream* stream)
{
    uint8_t raw[kClipRectsRecordSize];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint32_t count = LoadLE32(raw + ClipRectsRecord::count);
    if (LoadLE32(raw + 4) != kClipRectsRecordSize + uint64_t{count} * 16) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    const ResourceId id = LoadLE32(raw + ClipRectsRecord::id);
    if (Find(store, id) != nullptr) return 1;  // the first definition stays; the reader skips the rest
    auto* clip = static_cast<Clip*>(RenderAlloc(sizeof(Clip) + size_t{count} * sizeof(RECT)));
    if (clip == nullptr) return 0;
    clip->head.id = id;
    clip->data.dwSize = sizeof(RGNDATAHEADER);
    clip->data.iType = RDH_RECTANGLES;
    clip->data.nCount = count;
    clip->data.nRgnSize = 16 * count;
    const uint8_t* b = raw + ClipRectsRecord::bounds;
    clip->data.rcBound = RECT{static_cast<LONG>(LoadLE32(b)), static_cast<LONG>(LoadLE32(b + 4)),
                              static_cast<LONG>(LoadLE32(b + 8)), static_cast<LONG>(LoadLE32(b + 12))};
    RECT* rects = ClipRects(clip);
    for (uint32_t i = 0; i < count; ++i) {
        uint8_t r[16];
        if (StreamRead(stream, r, sizeof r) != static_cast<int32_t>(sizeof r)) {
            RenderFree(clip);
            return 0;
        }
        rects[i] = RECT{static_cast<LONG>(LoadLE32(r)), static_cast<LONG>(LoadLE32(r + 4)),
                        static_cast<LONG>(LoadLE32(r + 8)), static_cast<LONG>(LoadLE32(r + 12))};
    }
    BucketInsert(store, clip);
    return 1;
}

RGNDATAHEADER* ClipRegionDataCombine(RGNDATAHEADER* working, const RGNDATAHEADER* path, uint8_t combine)
{
    RegionDataPtr held(working);
    if (combine == CLIP_COMBINE_INTERSECT) {
        if (working->nCount == 0 && path->nCount > 0) {
            RegionDataPtr result(RegionDataAllocate(path->nCount));
            if (!result) return nullptr;
            RegionDataClipToRect(path, &working->rcBound, result.get());
            return result.release();
        }
        if (working->nCount == 0) {
            working->rcBound = Intersect(working->rcBound, path->rcBound);
            return held.release();
        }
        if (path->nCount > 0) return RegionDataIntersect(working, path);
        RegionDataClipToRect(working, &path->rcBound, working);
        return held.release();
    }
    // Excluding: GDI regions do the difference.
    HRGN a = RegionFromData(working);
    HRGN b = RegionFromData(path);
    RGNDATAHEADER* result = nullptr;
    if (a != nullptr && b != nullptr && CombineRgn(a, a, b, RGN_DIFF) != ERROR) {
        const DWORD bytes = GetRegionData(a, 0, nullptr);
        if (bytes >= sizeof(RGNDATAHEADER)) {
            result = static_cast<RGNDATAHEADER*>(RenderAlloc(bytes));
            if (result != nullptr && GetRegionData(a, bytes, reinterpret_cast<RGNDATA*>(result)) != bytes) {
                RenderFree(result);
                result = nullptr;
            }
        }
    }
    if (a) DeleteObject(a);
    if (b) DeleteObject(b);
    return result;
}

int ClipRegionDefine(ClipStore* store, Stream* stream)
{
    uint8_t raw[kClipRegionRecordSize];
    const uint32_t start = stream->position;
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint32_t size = LoadLE32(raw + 4);
    const uint32_t items = LoadLE32(raw + ClipRegionRecord::count);
    if (size < kClipRegionRecordSize + uint64_t{items} * kClipRegionItemSize) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    const ResourceId id = LoadLE32(raw + ClipRegionRecord::id);
    const ResourceId baseId = LoadLE32(raw + ClipRegionRecord::base);
    RegionDataPtr working;
    if (baseId != 0) {
        Clip* base = ClipLookup(store, baseId);
        if (base == nullptr) return 0;
        working.reset(RegionDataAllocate(base->data.nCount));
        if (working) {
            working->rcBound = base->data.rcBound;
            std::memcpy(RegionDataRects(working.get()), ClipRects(base), size_t{base->data.nCount} * sizeof(RECT));
        }
        ResourceReleaseAccount(store->owner, base, 0, store,
                               [](void* owner, void* object, int remove, ResourceCost* t) {
                                   ClipRegionFree(static_cast<ClipStore*>(owner), static_cast<Clip*>(object), remove,
                                                  t);
                               });
    } else {
        working.reset(RegionDataAllocate(0));
        if (working) working->rcBound = kClipUnbounded;
    }
    if (!working) return 0;
    for (uint32_t i = 0; i < items; ++i) {
        uint8_t item[kClipRegionItemSize];
        if (StreamRead(stream, item, sizeof item) != static_cast<int32_t>(sizeof item)) return 0;
        const ResourceId pathId = LoadLE32(item);
        if (pathId == 0) {
            // Nothing is left visible; the remaining items change nothing.
            working->nCount = 0;
            working->rcBound = RECT{};
            break;
        }
        RegionDataPtr path(PathRegionData(store, pathId, item[4]));
        if (!path) return 0;
        working.reset(ClipRegionDataCombine(working.release(), path.get(), item[5]));
        if (!working) return 0;
    }
    if (stream->position > start + size) return 0;
    if (Find(store, id) == nullptr && ClipCreate(store, id, working.get()) == nullptr) return 0;
    return 1;
}

// ---- Objects ----

Clip* ClipCreate(ClipStore* store, ResourceId id, const RGNDATAHEADER* data)
{
    if (id == 0xFFFFFFFF) {
        while (Find(store, store->nextId) != nullptr) --store->nextId;
        id = store->nextId--;
    } else if (Find(store, id) != nullptr) {
        return nullptr;
    }
    Clip* clip = ClipAllocate(data);
    if (clip == nullptr) return nullptr;
    clip->head.id = id;
    BucketInsert(store, clip);
    return clip;
}

Clip* ClipLookup(ClipStore* store, ResourceId id)
{
    Clip* found = ResourceTableLookup(&store->table, id);
    if (found == nullptr && id != RESOURCE_ID_NONE) SpoolRecordMissingResource("clip", id);
    return found;
}

void ClipRegionFree(ClipStore* store, Clip* clip, int remove, ResourceCost* tally)
{
    if (clip == nullptr) return;
    if (ResourceRefDrop(&clip->head) != 0) return;
    // A region is copied into a DC when it is selected, so it may be deleted while selected.
    ClipRegionDrop(store, clip, nullptr, tally);
    DeviceListFree(store, clip, tally);
    if (remove) {
        BucketRemove(store, clip);
        RenderFree(clip);
    }
}

void ClipFreeIfUnused(ClipStore* store, Clip* clip)
{
    if (clip == nullptr || clip->head.refs != 0) return;
    BucketRemove(store, clip);
    ResourceCost tally{};
    ClipDestroy(store, clip, &tally);
    ResourceBudgetCharge(store->owner->budget, tally);
}

bool ClipEqual(const Clip* a, const Clip* b)
{
    if (a == b) return true;
    if (a == nullptr || b == nullptr) return false;
    return std::memcmp(&a->data, &b->data, sizeof a->data) == 0 &&
           std::memcmp(ClipRects(a), ClipRects(b), size_t{a->data.nCount} * sizeof(RECT)) == 0;
}

// ---- Budget callbacks ----

void ClipRegionCostEstimate(ClipStore*, Clip* clip, BandSurface*, ResourceCost* cost)
{
    if (clip != nullptr && (clip->head.flags & CLIP_REGION) == 0) ++cost->objects;
}

int ClipCostEstimate(void*, void* object, void*, BandSurface*, ResourceCost* cost)
{
    auto* clip = static_cast<Clip*>(object);
    if ((clip->head.flags & CLIP_DEVICE_LIST) == 0)
        cost->memory += static_cast<int32_t>(std::min<uint64_t>(ClipDeviceListCost(clip->data.nCount), INT32_MAX));
    return 0;
}

int ClipRealize(void* owner, void* object, void*, BandSurface* surface, ResourceCost* tally)
{
    auto* store = static_cast<ClipStore*>(owner);
    auto* clip = static_cast<Clip*>(object);
    HDC dc = surface->drawDC;
    POINT origin{};
    GetViewportOrgEx(dc, &origin);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    const RECT bounds = MapRect(dc, clip->data.rcBound);
    if (ClipDeviceList* list = clip->deviceList) {
        if (SameSize(list->bounds, bounds)) {
            SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
            return 1;
        }
        DeviceListFree(store, clip, tally);
    }
    const uint32_t count = clip->data.nCount;
    auto* list = static_cast<ClipDeviceList*>(RenderAlloc(ClipDeviceListCost(count)));
    if (list == nullptr) {
        SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
        return 0;
    }
    list->count = count;
    list->bounds = bounds;
    const RECT* from = ClipRects(clip);
    RECT* to = ClipDeviceRects(list);
    for (uint32_t i = 0; i < count; ++i) to[i] = MapRect(dc, from[i]);
    SetViewportOrgEx(dc, origin.x, origin.y, nullptr);
    clip->deviceList = list;
    clip->head.flags |= CLIP_DEVICE_LIST;
    tally->memory += static_cast<int32_t>(ClipDeviceListCost(count));
    if ((clip->head.flags & CLIP_REGION) == 0) store->listB.Append(clip);
    return 1;
}

// ---- Device use ----

void ClipRegionDrop(ClipStore* store, Clip* clip, BandSurface* surface, ResourceCost* tally)
{
    if ((clip->head.flags & CLIP_REGION) == 0) return;
    if (surface != nullptr && surface->selectedClip == clip) {
        SelectClipRgn(surface->drawDC, nullptr);
        surface->selectedClip = nullptr;
    }
    DeleteObject(clip->region);
    clip->region = nullptr;
    clip->head.flags &= ~CLIP_REGION;
    store->listA.Unlink(clip);
    if (clip->head.flags & CLIP_DEVICE_LIST) store->listB.Append(clip);
    if (tally) --tally->objects;
}

int ClipStoreSelect(ClipStore* store, Clip* clip, BandSurface* surface, const RECT* rect, ResourceCost* tally)
{
    HDC dc = surface->drawDC;
    if (clip == nullptr) {
        if (surface->selectedClip != nullptr) {
            SelectClipRgn(dc, nullptr);
            surface->selectedClip = nullptr;
        }
        return 1;
    }
    const RECT mapped = MapRect(dc, clip->data.rcBound);
    const bool large = clip->data.nCount >= CLIP_LARGE;
    if ((clip->head.flags & CLIP_REGION) && !large) {
        if (EqualRect(&clip->deviceBounds, &mapped)) {
            store->listA.Touch(clip);
            // Selected every time: the surface's mark may name a clip that a release freed.
            SelectClipRgn(dc, clip->region);
            surface->selectedClip = clip;
            return 1;
        }
    }
    if ((clip->head.flags & CLIP_REGION) && !large && SameSize(clip->deviceBounds, mapped)) {
        // Same size elsewhere: the band moved. Move the region rather than build it again; it is
        // counted again below.
        OffsetRgn(clip->region, static_cast<int>(int64_t{mapped.left} - clip->deviceBounds.left),
                  static_cast<int>(int64_t{mapped.top} - clip->deviceBounds.top));
        store->listA.Unlink(clip);
        clip->head.flags &= ~CLIP_REGION;
        --tally->objects;
    } else if (clip->head.flags & CLIP_REGION) {
        ClipRegionDrop(store, clip, surface, tally);
    }
    if (clip->region == nullptr) {
        HRGN region = nullptr;
        if (clip->data.nCount > 0) {
            const RECT* rects = ClipRects(clip);
            uint32_t count = clip->data.nCount;
            RegionDataPtr copy(RegionDataAllocate(count));
            if (!copy) return 0;
            RECT* to = RegionDataRects(copy.get());
            if (large && rect != nullptr) {
                uint32_t kept = 0;
                RECT bounds{};
                for (uint32_t i = 0; i < count; ++i) {
                    if (!Overlaps(rects[i], *rect)) continue;
                    to[kept++] = rects[i];
                    UnionRect(&bounds, &bounds, &rects[i]);
                }
                copy->nCount = kept;
                copy->rcBound = bounds;
            } else {
                std::memcpy(to, rects, size_t{count} * sizeof(RECT));
                copy->rcBound = clip->data.rcBound;
            }
            for (uint32_t i = 0; i < copy->nCount; ++i) to[i] = MapRect(dc, to[i]);
            copy->rcBound = MapRect(dc, copy->rcBound);
            copy->nRgnSize = 16 * copy->nCount;
            if (copy->nCount == 0) region = CreateRectRgn(0, 0, 0, 0);
            else
                region = ExtCreateRegion(nullptr, static_cast<DWORD>(RegionDataBytes(copy->nCount)),
                                         reinterpret_cast<const RGNDATA*>(copy.get()));
        } else {
            region = CreateRectRgnIndirect(&mapped);
        }
        if (region == nullptr) return 0;
        clip->region = region;
    }
    if (clip->head.flags & CLIP_DEVICE_LIST) store->listB.Unlink(clip);
    clip->head.flags |= CLIP_REGION;
    clip->deviceBounds = mapped;
    ++tally->objects;
    store->listA.Append(clip);
    SelectClipRgn(dc, clip->region);
    surface->selectedClip = clip;
    return 1;
}

int32_t ClipRectsForBand(Clip* clip, BandSurface* surface, const RECT* rect, RECT** out)
{
    *out = nullptr;
    ClipDeviceList* list = clip->deviceList;
    if (list == nullptr) return -1;
    POINT origin{};
    GetViewportOrgEx(surface->drawDC, &origin);
    RECT area = *rect;
    OffsetRect(&area, -origin.x, -origin.y);
    const uint32_t count = clip->data.nCount > 0 ? list->count : 1;
    const RECT* rects = clip->data.nCount > 0 ? ClipDeviceRects(list) : &list->bounds;
    auto* result = static_cast<RECT*>(RenderAlloc(std::max<size_t>(count, 1) * sizeof(RECT)));
    if (result == nullptr) return -1;
    int32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        RECT r = Intersect(rects[i], area);
        if (Empty(r)) continue;
        OffsetRect(&r, origin.x, origin.y);
        result[kept++] = r;
    }
    if (kept == 0) {
        RenderFree(result);
        return 0;
    }
    *out = result;
    return kept;
}

// ---- Region data services ----

uint32_t ClipRectsOverlapping(const Clip* clip, const RECT* rect, RECT** out)
{
    *out = nullptr;
    const uint32_t count = clip->data.nCount > 0 ? clip->data.nCount : 1;
    const RECT* rects = clip->data.nCount > 0 ? ClipRects(clip) : &clip->data.rcBound;
    auto* result = static_cast<RECT*>(RenderAlloc(size_t{count} * sizeof(RECT)));
    if (result == nullptr) return 0xFFFFFFFF;
    uint32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (Overlaps(rects[i], *rect)) result[kept++] = rects[i];
    if (kept == 0) RenderFree(result);
    else *out = result;
    return kept;
}

int32_t ClipRectsClipped(const Clip* clip, const RECT* rect, RECT** out)
{
    *out = nullptr;
    const uint32_t count = clip->data.nCount > 0 ? clip->data.nCount : 1;
    const RECT* rects = clip->data.nCount > 0 ? ClipRects(clip) : &clip->data.rcBound;
    auto* result = static_cast<RECT*>(RenderAlloc(size_t{count} * sizeof(RECT)));
    if (result == nullptr) return -1;
    int32_t kept = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const RECT r = Intersect(rects[i], *rect);
        if (Empty(r)) continue;
        if (kept > 0 && Continues(result[kept - 1], r)) result[kept - 1].bottom = r.bottom;
        else result[kept++] = r;
    }
    if (kept == 0) RenderFree(result);
    else *out = result;
    return kept;
}

void RegionDataClipToRect(const RGNDATAHEADER* source, const RECT* rect, RGNDATAHEADER* destination)
{
    const RECT bounds = Intersect(source->rcBound, *rect);
    const uint32_t sourceCount = source->nCount;
    if (destination != source) {
        destination->dwSize = sizeof(RGNDATAHEADER);
        destination->iType = RDH_RECTANGLES;
        destination->nRgnSize = 0;
    }
    uint32_t kept = 0;
    if (!Empty(bounds)) {
        const RECT* from = RegionDataRects(source);
        RECT* to = RegionDataRects(destination);
        for (uint32_t i = 0; i < sourceCount; ++i) {
            const RECT r = Intersect(from[i], *rect);
            if (!Empty(r)) to[kept++] = r;
        }
    }
    destination->nCount = kept;
    // A source with rectangles of which none is left is empty, not its bounds.
    destination->rcBound = (kept == 0 && sourceCount > 0) ? RECT{} : bounds;
}

RGNDATAHEADER* ClipRegionDataForRect(const Clip* clip, const RECT* rect)
{
    RGNDATAHEADER* data = RegionDataAllocate(clip->data.nCount);
    if (data != nullptr) RegionDataClipToRect(&clip->data, rect, data);
    return data;
}

RGNDATAHEADER* ClipRegionDataIntersect(const Clip* clip, RGNDATAHEADER* data)
{
    if (clip->data.nCount > 0) return RegionDataIntersect(&clip->data, data);
    RegionDataClipToRect(data, &clip->data.rcBound, data);
    return data;
}

Clip* ClipCombine(ClipStore* store, Clip* a, Clip* b)
{
    if (a == b) return a;
    if (a == nullptr || b == nullptr) return nullptr;
    const ResourceId ia = a->head.id, ib = b->head.id;
    if (store->cachedResult != 0 &&
        ((store->cachedA == ia && store->cachedB == ib) || (store->cachedA == ib && store->cachedB == ia))) {
        if (Clip* cached = Find(store, store->cachedResult)) return cached;
    }
    RegionDataPtr made;
    if (a->data.nCount == 0 && b->data.nCount == 0) {
        const RECT r = Intersect(a->data.rcBound, b->data.rcBound);
        if (EqualRect(&r, &a->data.rcBound)) return a;
        if (EqualRect(&r, &b->data.rcBound)) return b;
        made.reset(RegionDataAllocate(0));
        if (!made) return nullptr;
        made->rcBound = r;
    } else if (a->data.nCount == 0 || b->data.nCount == 0) {
        Clip* rects = a->data.nCount > 0 ? a : b;
        Clip* box = a->data.nCount > 0 ? b : a;
        const RECT& rb = rects->data.rcBound;
        const RECT& bb = box->data.rcBound;
        if (rb.left >= bb.left && rb.top >= bb.top && rb.right <= bb.right && rb.bottom <= bb.bottom) return rects;
        made.reset(ClipRegionDataForRect(rects, &bb));
    } else {
        made.reset(RegionDataIntersect(&a->data, &b->data));
    }
    if (!made) return nullptr;
    Clip* clip = ClipCreate(store, 0xFFFFFFFF, made.get());
    if (clip == nullptr) return nullptr;
    store->cachedA = ia;
    store->cachedB = ib;
    store->cachedResult = clip->head.id;
    return clip;
}

// ---- Trim ----

void ClipStoreTrim(ClipStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request)
{
    if (pass == 0) {
        for (Clip* clip = store->listA.first; clip != nullptr && request->objects >= 1;) {
            Clip* next = clip->listNext;
            if ((clip->head.flags & CLIP_REGION_IN_USE) == 0) {
                ResourceCost freed{};
                ClipRegionDrop(store, clip, surface, &freed);
                request->objects += freed.objects;
            }
            clip = next;
        }
    } else if (pass == 1) {
        for (ClipList* list : {&store->listA, &store->listB}) {
            for (Clip* clip = list->first; clip != nullptr && request->memory >= 1;) {
                Clip* next = clip->listNext;
                if ((clip->head.flags & (CLIP_DEVICE_LIST_IN_USE | CLIP_DEVICE_LIST)) == CLIP_DEVICE_LIST) {
                    ResourceCost freed{};
                    DeviceListFree(store, clip, &freed);
                    request->memory += freed.memory;
                }
                clip = next;
            }
        }
    }
}
