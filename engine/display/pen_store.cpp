// The pen store's records are not read yet: a pen record fails its page.
#include "engine/display/pen_store.h"

#include "engine/job/render_call.h"
#include "platform/kernel.h"

void PenStoreInit(PenStore* store, BrushStore* brushes, OutputModuleContext* device)
{
    *store = PenStore{};
    store->minimumWidth = 1;
    store->device = device;
    store->brushes = brushes;
}

void PenStoreDestroy(PenStore* store, ResourceCost*)
{
    for (Pen*& bucket : store->buckets) {
        while (bucket != nullptr) {
            Pen* pen = bucket;
            bucket = pen->bucketNext;
            RenderFree(pen);
        }
    }
    store->count = 0;
}

void PenStoreTrim(PenStore*, BandSurface*, uint32_t, ResourceCost*) {}

int PenDefine(PenStore*, Stream*, uint8_t)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}

Pen* PenLookup(PenStore* store, ResourceId id, uint8_t)
{
    for (Pen* pen = store->buckets[id % PEN_BUCKETS]; pen != nullptr; pen = pen->bucketNext) {
        if (pen->head.id == id) {
            ResourceRefAdd(&pen->head);
            return pen;
        }
    }
    return nullptr;
}

void PenRelease(PenStore*, Pen* pen, int, ResourceCost*) { ResourceRefDrop(&pen->head); }
