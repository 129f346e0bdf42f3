// The clip store's records are not read yet: a clip record fails its page.
#include "engine/display/clip_store.h"

#include "engine/job/render_call.h"

void ClipStoreInit(ClipStore* store, ResourceStore* owner)
{
    *store = ClipStore{};
    store->owner = owner;
    store->nextId = 0xFFFFFFFE;
}

void ClipStoreDestroy(ClipStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](Clip* entry) { RenderFree(entry); });
    store->count = 0;
}

void ClipStoreTrim(ClipStore*, BandSurface*, uint32_t, ResourceCost*) {}

int ClipDefine(ClipStore*, Stream*) { return ResourceRecordUnsupported(); }

int ClipRegionDefine(ClipStore*, Stream*) { return ResourceRecordUnsupported(); }

Clip* ClipLookup(ClipStore* store, ResourceId id)
{
    return ResourceChainLookup(store->buckets[ResourceBucket(id)], id);
}

void ClipRegionFree(ClipStore*, Clip* clip, int, ResourceCost*) { ResourceRefDrop(&clip->head); }
void ClipRegionCostEstimate(ClipStore*, Clip*, BandSurface*, ResourceCost*) {}
int ClipStoreSelect(ClipStore*, Clip*, BandSurface*, const RECT*, ResourceCost*) { return 0; }
