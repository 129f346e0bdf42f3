// The clip store's records are not read yet: a clip record fails its page.
#include "engine/display/clip_store.h"

#include "engine/job/render_call.h"
#include "platform/kernel.h"

void ClipStoreInit(ClipStore* store, ResourceStore* owner)
{
    *store = ClipStore{};
    store->owner = owner;
    store->nextId = 0xFFFFFFFE;
}

void ClipStoreDestroy(ClipStore* store, ResourceCost*)
{
    for (Clip*& bucket : store->buckets) {
        while (bucket != nullptr) {
            Clip* clip = bucket;
            bucket = clip->bucketNext;
            RenderFree(clip);
        }
    }
    store->count = 0;
}

void ClipStoreTrim(ClipStore*, BandSurface*, uint32_t, ResourceCost*) {}

int ClipDefine(ClipStore*, Stream*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

int ClipRegionDefine(ClipStore*, Stream*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

Clip* ClipLookup(ClipStore* store, ResourceId id)
{
    for (Clip* clip = store->buckets[ResourceBucket(id)]; clip != nullptr; clip = clip->bucketNext) {
        if (clip->head.id == id) {
            ResourceRefAdd(&clip->head);
            return clip;
        }
    }
    return nullptr;
}

void ClipRegionFree(ClipStore*, Clip* clip, int, ResourceCost*) { ResourceRefDrop(&clip->head); }
void ClipRegionCostEstimate(ClipStore*, Clip*, BandSurface*, ResourceCost*) {}
int ClipStoreSelect(ClipStore*, Clip*, BandSurface*, const RECT*, ResourceCost*) { return 0; }
