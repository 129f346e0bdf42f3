// The pen store's reader over arbitrary records, then pens realised (colour and mask pens) into a
// band surface under the budget.
#include "fuzz/store_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return StoreFuzz(
        data, size,
        [](ResourceStore* store, Stream* stream) { return PenDefine(&store->pens, stream, store->deviceByte); },
        [](ResourceStore* store, BandSurface* surface) {
            for (ResourceId id : {0u, 1u, 2u, 3u, 65u, 0x80000000u, 0x80808080u}) {
                Pen* pen = PenLookup(&store->pens, id, store->deviceByte);
                if (pen == nullptr) continue;
                ResourceUseMark(store, &pen->head, RESOURCE_IN_USE);
                ResourcePrepare(store, pen, surface, &store->pens, PenCostEstimate, PenRealize);
                ResourcePrepare(store, pen, surface, &store->pens, PenMaskCostEstimate, PenMaskRealize);
                ResourceUseClear(store);
            }
        });
}
