#include "engine/display/commands/band_mask_clip.h"

#include "engine/common/render_heap.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"

int32_t BandMaskClipRectsSet(ResourceStore* store, BandSurface* mask, Clip* clip, const RECT*, const RECT* rect)
{
    if (!ClipHasRects(clip)) {
        BandMaskRectsSet(mask, 1, rect);
        return 1;
    }
    if (ResourcePrepareWith(store, clip, &store->clips, mask, nullptr, ClipCostEstimate, ClipRealize) == 0) return -1;
    RECT* rects = nullptr;
    const int32_t count = ClipRectsForBand(clip, mask, rect, &rects);
    if (count > 0) BandMaskRectsSet(mask, static_cast<uint32_t>(count), rects);
    RenderFree(rects);
    return count;
}
