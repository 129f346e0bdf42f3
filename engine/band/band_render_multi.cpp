// The multi-resolution band renderer.
#include "engine/band/band_render.h"

int BandRenderMulti(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                    TextureCache* cache)
{
    return BandRenderSingle(levels, count, layout, context, cache);
}
