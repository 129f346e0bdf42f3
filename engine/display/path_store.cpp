// The path store's records are not read yet: a path record fails its page.
#include "engine/display/path_store.h"

#include "engine/job/render_call.h"

void PathStoreInit(PathStore* store) { *store = PathStore{}; }

void PathStoreDestroy(PathStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](PathEntry* entry) { RenderFree(entry); });
    store->count = 0;
}

void PathStoreTrim(PathStore*, BandSurface*, uint32_t, ResourceCost*) {}

int PathDefine(PathStore*, Stream*) { return ResourceRecordUnsupported(); }

PathEntry* PathLookup(PathStore* store, ResourceId id)
{
    return ResourceChainLookup(store->buckets[ResourceBucket(id)], id);
}

void PathRelease(PathStore*, PathEntry* path, int, ResourceCost*) { ResourceRefDrop(&path->head); }
