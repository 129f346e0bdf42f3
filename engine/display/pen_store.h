// The pen store: pens defined by type-33 records and made on demand from colour ids, realised as
// GDI pens (with their mask pens) under the job's budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"

struct OutputModuleContext;
struct BrushStore;
struct Stream;
struct BandSurface;

inline constexpr uint32_t PEN_BUCKETS = 64;  // by id mod 64

struct Pen {
    ResourceObject head;
    Pen* bucketNext;
};

struct PenStore {
    uint32_t count;
    uint32_t minimumWidth;  // at least 1
    OutputModuleContext* device;
    BrushStore* brushes;
    Pen* buckets[PEN_BUCKETS];
};

void PenStoreInit(PenStore* store, BrushStore* brushes, OutputModuleContext* device);
void PenStoreDestroy(PenStore* store, ResourceCost* tally);
void PenStoreTrim(PenStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-33 record at the stream. 1 or 0; 0 leaves the store as it was.
int PenDefine(PenStore* store, Stream* stream, uint8_t deviceByte);
Pen* PenLookup(PenStore* store, ResourceId id, uint8_t deviceByte);
void PenRelease(PenStore* store, Pen* pen, int remove, ResourceCost* tally);
