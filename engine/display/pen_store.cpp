// The pen store's records are not read yet: a pen record fails its page.
#include "engine/display/pen_store.h"

#include "engine/job/render_call.h"

void PenStoreInit(PenStore* store, BrushStore* brushes, OutputModuleContext* device)
{
    *store = PenStore{};
    store->minimumWidth = 1;
    store->device = device;
    store->brushes = brushes;
}

void PenStoreDestroy(PenStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](Pen* entry) { RenderFree(entry); });
    store->count = 0;
}

void PenStoreTrim(PenStore*, BandSurface*, uint32_t, ResourceCost*) {}

int PenDefine(PenStore*, Stream*, uint8_t) { return ResourceRecordUnsupported(); }

Pen* PenLookup(PenStore* store, ResourceId id, uint8_t)
{
    return ResourceChainLookup(store->buckets[id % PEN_BUCKETS], id);
}

void PenRelease(PenStore*, Pen* pen, int, ResourceCost*) { ResourceRefDrop(&pen->head); }
