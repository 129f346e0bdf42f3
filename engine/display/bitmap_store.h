// The bitmap store: bitmaps defined by type-35 records (and their continuations), looked up by id,
// whose pixels, converted copies and GDI bitmaps are made ready under the job's budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"
#include "platform/types.h"

struct OutputModuleContext;
struct StreamSpill;
struct Stream;
struct BandSurface;

inline constexpr uint32_t BITMAP_PIXELS_LOADED = 0x80;  // its own pixels are decoded

struct BitmapEntry {
    ResourceObject head;
    BitmapEntry* bucketNext;
};

struct BitmapStore {
    uint32_t count;
    uint32_t nextId;  // generated ids count down from 0x3FFFFFFF
    OutputModuleContext* device;
    StreamSpill* spill;
    BitmapEntry* buckets[RESOURCE_BUCKETS];
};

void BitmapStoreInit(BitmapStore* store, OutputModuleContext* device, StreamSpill* spill);
void BitmapStoreDestroy(BitmapStore* store, ResourceCost* tally);
void BitmapStoreTrim(BitmapStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-35 record (with its continuations) at the stream. 1 or 0; 0 leaves the store as it was.
int BitmapDefine(BitmapStore* store, Stream* stream);
// The entry with its reference count raised, or null.
BitmapEntry* BitmapLookup(BitmapStore* store, ResourceId id);
void BitmapRelease(BitmapStore* store, BitmapEntry* entry, int remove, ResourceCost* tally);
void BitmapStoreDeviceSizeSet(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally, SIZE size);
