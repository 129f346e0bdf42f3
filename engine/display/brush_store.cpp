// The brush store's records are not read yet: a brush record fails its page, and no brush is
// realised.
#include "engine/display/brush_store.h"

#include "engine/job/render_call.h"

void BrushStoreInit(BrushStore* store, BitmapStore* bitmaps, OutputModuleContext* device)
{
    *store = BrushStore{};
    store->nextId = 0x7FFFFFFF;
    store->device = device;
    store->bitmaps = bitmaps;
}

void BrushStoreDestroy(BrushStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](BrushEntry* entry) { RenderFree(entry); });
    store->count = 0;
}

void BrushStoreTrim(BrushStore*, BandSurface*, uint32_t, ResourceCost*) {}

int BrushDefine(BrushStore*, Stream*) { return ResourceRecordUnsupported(); }

BrushEntry* BrushLookup(BrushStore* store, ResourceId id)
{
    return ResourceChainLookup(store->buckets[ResourceBucket(id)], id);
}

void BrushRelease(BrushStore*, BrushEntry* brush, int, ResourceCost*) { ResourceRefDrop(&brush->head); }
void BrushEstimate(BrushStore*, BrushEntry*, BandSurface*, ResourceCost*) {}
int BrushRealize(BrushStore*, BrushEntry*, const POINT*, BandSurface*, ResourceCost*) { return 0; }
void BrushCompanionEstimate(BrushStore*, void*, BandSurface*, ResourceCost*) {}
int BrushCompanionRealize(BrushStore*, void*, const POINT*, BandSurface*, ResourceCost*) { return 0; }
