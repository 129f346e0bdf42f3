// The brush store's reader over arbitrary records, then colour and defined brushes selected into
// a band surface under the budget.
#include "fuzz/store_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return StoreFuzz(
        data, size, [](ResourceStore* store, Stream* stream) { return BrushDefine(&store->brushes, stream); },
        [](ResourceStore* store, BandSurface* surface) {
            const POINT origin{-7, 9};
            for (ResourceId id : {0u, 1u, 7u, 0x80000000u, 0x80FFFFFFu, 0x80808080u, 0x800000FFu, 0x7FFFFFFFu}) {
                BrushEntry* brush = BrushLookup(&store->brushes, id);
                if (brush == nullptr) continue;
                ResourceUseMark(store, &brush->head, RESOURCE_IN_USE);
                BrushSelect(store, brush, &origin, surface);
                BrushCompanionSelect(store, brush, nullptr, surface);
                ResourceUseClear(store);
            }
        });
}
