// The brush store's reader (and the bitmap store's, for patterns) over arbitrary records, then colour and defined brushes selected into
// a band surface under the budget.
#include "engine/common/byte_order.h"
#include "engine/spool/spool_records.h"
#include "fuzz/store_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return StoreFuzz(
        data, size,
        [](ResourceStore* store, Stream* stream) {
            // Bitmap records too, for the pattern brushes over them.
            uint8_t head[8];
            if (StreamPeek(stream, head, sizeof head) != 8) return 0;
            return (LoadLE16(head) & 0xFF) == SpoolRecBitmap ? BitmapDefine(&store->bitmaps, stream)
                                                             : BrushDefine(&store->brushes, stream);
        },
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
