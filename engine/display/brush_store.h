// The brush store: brushes defined by type-32 records and solid brushes made on demand from colour
// ids, realised as GDI brushes and selected into band surfaces under the job's budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"
#include "platform/types.h"

struct OutputModuleContext;
struct BitmapStore;
struct Stream;
struct BandSurface;

struct BrushEntry {
    ResourceObject head;
    BrushEntry* bucketNext;
};

struct BrushStore {
    uint32_t count;
    uint32_t nextId;  // generated ids count down from 0x7FFFFFFF
    OutputModuleContext* device;
    BitmapStore* bitmaps;
    BrushEntry* buckets[RESOURCE_BUCKETS];
};

void BrushStoreInit(BrushStore* store, BitmapStore* bitmaps, OutputModuleContext* device);
void BrushStoreDestroy(BrushStore* store, ResourceCost* tally);
void BrushStoreTrim(BrushStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-32 record at the stream. 1 or 0; 0 leaves the store as it was.
int BrushDefine(BrushStore* store, Stream* stream);
BrushEntry* BrushLookup(BrushStore* store, ResourceId id);
void BrushRelease(BrushStore* store, BrushEntry* brush, int remove, ResourceCost* tally);
// Behind BrushSelect and BrushCompanionSelect.
void BrushEstimate(BrushStore* store, BrushEntry* brush, BandSurface* surface, ResourceCost* cost);
int BrushRealize(BrushStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface, ResourceCost* tally);
void BrushCompanionEstimate(BrushStore* store, void* object, BandSurface* surface, ResourceCost* cost);
int BrushCompanionRealize(BrushStore* store, void* object, const POINT* origin, BandSurface* surface,
                          ResourceCost* tally);
