// The bitmap store's records are not read yet: a bitmap record fails its page, so that nothing is
// drawn without the bitmap it names.
#include "engine/display/bitmap_store.h"

#include "engine/job/render_call.h"

void BitmapStoreInit(BitmapStore* store, OutputModuleContext* device, StreamSpill* spill)
{
    *store = BitmapStore{};
    store->nextId = 0x3FFFFFFF;
    store->device = device;
    store->spill = spill;
}

void BitmapStoreDestroy(BitmapStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](BitmapEntry* entry) { RenderFree(entry); });
    store->count = 0;
}

void BitmapStoreTrim(BitmapStore*, BandSurface*, uint32_t, ResourceCost*) {}

int BitmapDefine(BitmapStore*, Stream*) { return ResourceRecordUnsupported(); }

BitmapEntry* BitmapLookup(BitmapStore* store, ResourceId id)
{
    return ResourceChainLookup(store->buckets[ResourceBucket(id)], id);
}

void BitmapRelease(BitmapStore*, BitmapEntry* entry, int, ResourceCost*) { ResourceRefDrop(&entry->head); }

void BitmapStoreDeviceSizeSet(BitmapStore*, BitmapEntry*, ResourceCost*, SIZE) {}
