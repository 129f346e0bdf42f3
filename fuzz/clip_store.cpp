// The clip store's two readers (rectangle records and region records, by the record's type, with
// the path records that region records name) over
// arbitrary records, then clips realised, selected, listed for a band and combined under the
// budget.
#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/path_store.h"
#include "engine/spool/spool_records.h"
#include "fuzz/store_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return StoreFuzz(
        data, size,
        [](ResourceStore* store, Stream* stream) {
            uint8_t head[8];
            if (StreamPeek(stream, head, sizeof head) != 8) return 0;
            const uint32_t start = stream->position;
            const uint16_t type = LoadLE16(head);
            const int result = type == SpoolRecPath         ? PathDefine(&store->paths, stream)
                               : type == SpoolRecClipRegion ? ClipRegionDefine(&store->clips, stream)
                                                            : ClipDefine(&store->clips, stream);
            // The page reader moves on by the record's size.
            const uint32_t end = start + LoadLE32(head + 4);
            if (result && end > stream->position) StreamSeek(stream, static_cast<int32_t>(end), 0);
            return result && end > start ? 1 : 0;
        },
        [](ResourceStore* store, BandSurface* surface) {
            const RECT band{-5, -5, 60, 20};
            Clip* previous = nullptr;
            for (ResourceId id : {1u, 2u, 3u, 0x101u, 0xFFFFFFFEu}) {
                Clip* clip = ClipLookup(&store->clips, id);
                if (clip == nullptr) continue;
                ClipSelect(store, clip, surface, &band);
                OffsetViewportOrgEx(surface->drawDC, 0, -16, nullptr);
                ClipSelect(store, clip, surface, &band);
                if (ResourcePrepareWith(store, clip, &store->clips, surface, nullptr, ClipCostEstimate, ClipRealize)) {
                    RECT* rects = nullptr;
                    ClipRectsForBand(clip, surface, &band, &rects);
                    RenderFree(rects);
                }
                if (previous != nullptr) ClipCombine(&store->clips, previous, clip);
                previous = clip;
            }
        });
}
