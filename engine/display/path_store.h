// The path store: paths defined by type-36 records, looked up by id, and realised as device point
// lists under the job's memory budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"

struct Stream;
struct BandSurface;

struct PathEntry {
    ResourceObject head;
    PathEntry* bucketNext;
};

struct PathStore {
    uint32_t count;
    PathEntry* buckets[RESOURCE_BUCKETS];
};

void PathStoreInit(PathStore* store);
void PathStoreDestroy(PathStore* store, ResourceCost* tally);
void PathStoreTrim(PathStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-36 record at the stream. 1 or 0; 0 leaves the store as it was.
int PathDefine(PathStore* store, Stream* stream);
PathEntry* PathLookup(PathStore* store, ResourceId id);
void PathRelease(PathStore* store, PathEntry* path, int remove, ResourceCost* tally);
