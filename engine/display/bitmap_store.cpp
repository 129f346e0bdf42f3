// The bitmap store's records are not read yet: a bitmap record fails its page, so that nothing is
// drawn without the bitmap it names.
#include "engine/display/bitmap_store.h"

#include "engine/job/render_call.h"
#include "platform/kernel.h"

void BitmapStoreInit(BitmapStore* store, OutputModuleContext* device, StreamSpill* spill)
{
    *store = BitmapStore{};
    store->nextId = 0x3FFFFFFF;
    store->device = device;
    store->spill = spill;
}

void BitmapStoreDestroy(BitmapStore* store, ResourceCost*)
{
    for (BitmapEntry*& bucket : store->buckets) {
        while (bucket != nullptr) {
            BitmapEntry* entry = bucket;
            bucket = entry->bucketNext;
            RenderFree(entry);
        }
    }
    store->count = 0;
}

void BitmapStoreTrim(BitmapStore*, BandSurface*, uint32_t, ResourceCost*) {}

int BitmapDefine(BitmapStore*, Stream*)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

BitmapEntry* BitmapLookup(BitmapStore* store, ResourceId id)
{
    for (BitmapEntry* entry = store->buckets[ResourceBucket(id)]; entry != nullptr; entry = entry->bucketNext) {
        if (entry->head.id == id) {
            ResourceRefAdd(&entry->head);
            return entry;
        }
    }
    return nullptr;
}

void BitmapRelease(BitmapStore*, BitmapEntry* entry, int, ResourceCost*) { ResourceRefDrop(&entry->head); }

void BitmapStoreDeviceSizeSet(BitmapStore*, BitmapEntry*, ResourceCost*, SIZE) {}
