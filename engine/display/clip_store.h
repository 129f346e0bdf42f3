// The clip store: clips defined by rectangle records (type 34) and by paths or regions (type 41),
// turned into device rectangles and GDI regions selected into band surfaces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"
#include "platform/types.h"

struct ResourceStore;
struct Stream;
struct BandSurface;

struct Clip {
    ResourceObject head;
    Clip* bucketNext;
    RECT bounds;
};

struct ClipStore {
    ResourceStore* owner;
    uint32_t count;
    uint32_t nextId;  // generated ids count down from 0xFFFFFFFE
    Clip* buckets[RESOURCE_BUCKETS];
};

void ClipStoreInit(ClipStore* store, ResourceStore* owner);
void ClipStoreDestroy(ClipStore* store, ResourceCost* tally);
void ClipStoreTrim(ClipStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Read a type-34 or type-41 record at the stream. 1 or 0; 0 leaves the store as it was.
int ClipDefine(ClipStore* store, Stream* stream);
int ClipRegionDefine(ClipStore* store, Stream* stream);
Clip* ClipLookup(ClipStore* store, ResourceId id);
void ClipRegionFree(ClipStore* store, Clip* clip, int remove, ResourceCost* tally);
// Behind ClipSelect: the estimate (only when a clip is given) and the selection into the DC.
void ClipRegionCostEstimate(ClipStore* store, Clip* clip, BandSurface* surface, ResourceCost* cost);
int ClipStoreSelect(ClipStore* store, Clip* clip, BandSurface* surface, const RECT* rect, ResourceCost* tally);
