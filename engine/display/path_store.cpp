// The path store's records are not read yet: a path record fails its page.
#include "engine/display/path_store.h"

#include "engine/job/render_call.h"
#include "platform/kernel.h"

void PathStoreInit(PathStore* store) { *store = PathStore{}; }

void PathStoreDestroy(PathStore* store, ResourceCost*)
{
    for (PathEntry*& bucket : store->buckets) {
        while (bucket != nullptr) {
            PathEntry* path = bucket;
            bucket = path->bucketNext;
            RenderFree(path);
        }
    }
    store->count = 0;
}

void PathStoreTrim(PathStore*, BandSurface*, uint32_t, ResourceCost*) {}

int PathDefine(PathStore*, Stream*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

PathEntry* PathLookup(PathStore* store, ResourceId id)
{
    for (PathEntry* path = store->buckets[ResourceBucket(id)]; path != nullptr; path = path->bucketNext) {
        if (path->head.id == id) {
            ResourceRefAdd(&path->head);
            return path;
        }
    }
    return nullptr;
}

void PathRelease(PathStore*, PathEntry* path, int, ResourceCost*) { ResourceRefDrop(&path->head); }
