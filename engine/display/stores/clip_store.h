// The clip store: clips defined by rectangle records (type 34) and by paths combined into a base
// clip (type 41), kept as region data in the page's logical units and served as device rectangle
// lists (for the band code) and GDI regions selected into band surfaces, under the job's budget.
// It also intersects clips for the optimiser and caches the last intersection.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/gdi.h"
#include "platform/types.h"

struct ResourceStore;
struct Stream;
struct BandSurface;

// Clip rectangles record (type 34): header, clip id, bounds, count n, then n rectangles; exactly
// 32 + 16 n bytes.
inline constexpr uint32_t kClipRectsRecordSize = 32;
namespace ClipRectsRecord {
inline constexpr uint32_t id = 8, bounds = 12, count = 28;
}
// What an unbounded base clip stands for. Not the whole 32-bit plane: a region that reaches its
// edges cannot be mapped to device pixels, under any scale or band offset, without leaving 32
// bits, and a cut-out path would then land anywhere. 2^27 logical units are beyond any page and
// stay inside 32 bits at up to 15 device pixels a unit.
inline constexpr RECT kClipUnbounded{-(1 << 27), -(1 << 27), 1 << 27, 1 << 27};

// Clip region record (type 41): header, new id, base id (0 unbounded), item count n, then n items
// of 8 bytes: path id, fill mode, combine (2 intersect, anything else excludes), two unused bytes.
inline constexpr uint32_t kClipRegionRecordSize = 20;
inline constexpr uint32_t kClipRegionItemSize = 8;
namespace ClipRegionRecord {
inline constexpr uint32_t id = 8, base = 12, count = 16;
}
inline constexpr uint8_t CLIP_COMBINE_INTERSECT = 2;

// Clip flags beyond the shared ones.
inline constexpr uint32_t CLIP_REGION = 0x1;  // has a GDI region (list A)
inline constexpr uint32_t CLIP_REGION_IN_USE = 0x2;  // RESOURCE_IN_USE
inline constexpr uint32_t CLIP_DEVICE_LIST = 0x200;  // has a device rectangle list
inline constexpr uint32_t CLIP_DEVICE_LIST_IN_USE = 0x800;  // RESOURCE_CONVERTED_IN_USE
// Clips with this many rectangles or more are cut to the rectangles near the band for a region.
inline constexpr uint32_t CLIP_LARGE = 32768;

// Region data: an RGNDATAHEADER and nCount rectangles right behind it, in one block. A count of 0
// is a clip that is just its bounds.
inline RECT* RegionDataRects(RGNDATAHEADER* data) { return reinterpret_cast<RECT*>(data + 1); }
inline const RECT* RegionDataRects(const RGNDATAHEADER* data) { return reinterpret_cast<const RECT*>(data + 1); }
// A zeroed block with room for count rectangles (header filled: size 32, type 1, the count); null
// when memory is short.
RGNDATAHEADER* RegionDataAllocate(uint32_t count);

// Device rectangle list: mapped with the viewport origin at (0, 0), so it stays valid while bands
// move the viewport. Charged 16 x count + 20 bytes.
struct ClipDeviceList {
    uint32_t count;
    RECT bounds;
};
static_assert(sizeof(ClipDeviceList) == 20);
inline RECT* ClipDeviceRects(ClipDeviceList* list) { return reinterpret_cast<RECT*>(list + 1); }
inline uint32_t ClipDeviceListCost(uint32_t count) { return 16 * count + 20; }

struct Clip {
    ResourceObject head;
    Clip* bucketNext;
    Clip* listPrev;  // list A while it has a region, else list B while it has a device list
    Clip* listNext;
    RECT deviceBounds;  // of its region
    HRGN region;
    ClipDeviceList* deviceList;
    RGNDATAHEADER data;  // its region data; data.nCount rectangles follow
};
inline RECT* ClipRects(Clip* clip) { return RegionDataRects(&clip->data); }
inline const RECT* ClipRects(const Clip* clip) { return RegionDataRects(&clip->data); }
inline bool ClipHasRects(const Clip* clip) { return clip != nullptr && clip->data.nCount > 0; }

using ClipList = ResourceList<Clip, &Clip::listPrev, &Clip::listNext>;

struct ClipStore {
    ResourceStore* owner;
    uint32_t count;
    uint32_t nextId;  // generated ids count down from 0xFFFFFFFE
    ResourceId cachedA;  // the last intersection asked for and its result
    ResourceId cachedB;
    ResourceId cachedResult;
    ClipList listA;
    ClipList listB;
    ResourceTable<Clip> table;
};

void ClipStoreInit(ClipStore* store, ResourceStore* owner);
void ClipStoreDestroy(ClipStore* store, ResourceCost* tally);
void ClipStoreTrim(ClipStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Read a type-34 or type-41 record at the stream. 1 or 0; 0 leaves the store as it was.
int ClipDefine(ClipStore* store, Stream* stream);
int ClipRegionDefine(ClipStore* store, Stream* stream);
// A clip from region data (copied) under the id, or a generated one (0xFFFFFFFF); null when the
// id is in use or memory is short. Its reference count is 0.
Clip* ClipCreate(ClipStore* store, ResourceId id, const RGNDATAHEADER* data);
Clip* ClipLookup(ClipStore* store, ResourceId id);
// The release callback: lowers the count; at 0 the device forms go, and with remove the clip.
void ClipRegionFree(ClipStore* store, Clip* clip, int remove, ResourceCost* tally);
void ClipFreeIfUnused(ClipStore* store, Clip* clip);
bool ClipEqual(const Clip* a, const Clip* b);

// The budget's callbacks.
void ClipRegionCostEstimate(ClipStore* store, Clip* clip, BandSurface* surface, ResourceCost* cost);
int ClipCostEstimate(void* store, void* clip, void* argument, BandSurface* surface, ResourceCost* cost);
int ClipRealize(void* store, void* clip, void* argument, BandSurface* surface, ResourceCost* tally);

// Device use.
int ClipStoreSelect(ClipStore* store, Clip* clip, BandSurface* surface, const RECT* rect, ResourceCost* tally);
void ClipRegionDrop(ClipStore* store, Clip* clip, BandSurface* surface, ResourceCost* tally);
// The clip's device rectangles (its device bounds when it has no rectangles) within the rectangle,
// in the surface's current device space: a new array (RenderFree) or null for 0; -1 on failure or
// without a device list.
int32_t ClipRectsForBand(Clip* clip, BandSurface* surface, const RECT* rect, RECT** out);

// Region data services in logical units; each new array or block is the caller's (RenderFree).
uint32_t ClipRectsOverlapping(const Clip* clip, const RECT* rect, RECT** out);  // 0xFFFFFFFF: no memory
int32_t ClipRectsClipped(const Clip* clip, const RECT* rect, RECT** out);  // -1: no memory
RGNDATAHEADER* ClipRegionDataForRect(const Clip* clip, const RECT* rect);
RGNDATAHEADER* ClipRegionDataIntersect(const Clip* clip, RGNDATAHEADER* data);
// destination may be the source; another destination needs room for the source's count.
void RegionDataClipToRect(const RGNDATAHEADER* source, const RECT* rect, RGNDATAHEADER* destination);
// The intersection of a's rectangles (outer) with b's (inner), in that order, a rectangle that
// continues the previous one straight down joining it; null when memory runs out or the result
// would hold more than REGION_INTERSECT_MAX_RECTS rectangles (the bound GDI regions have), with
// the last error ERROR_NOT_ENOUGH_MEMORY.
inline constexpr uint32_t REGION_INTERSECT_MAX_RECTS = uint32_t{1} << 22;
RGNDATAHEADER* RegionDataIntersect(const RGNDATAHEADER* a, const RGNDATAHEADER* b);
// Combines the working region data with a path's region data: intersect (2) on rectangle lists,
// any other value excludes through GDI regions. Returns the new working data (the old one freed,
// or reused) or null on failure, when the old one is freed too.
RGNDATAHEADER* ClipRegionDataCombine(RGNDATAHEADER* working, const RGNDATAHEADER* path, uint8_t combine);
Clip* ClipCombine(ClipStore* store, Clip* a, Clip* b);
