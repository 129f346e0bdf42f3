// CmdSlotRenderDirect: an image command rendered straight into pixels of the band's format and
// handed to the texture cache, turned first when the page is oriented or mirrored.
#include "engine/display/cmd_ops.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/bitmap_rotate.h"
#include "engine/raster/texture_cache.h"

TextureCacheEntry* CmdSlotRenderDirect(BandLayout* layout, OutputModuleContext* output, TextureCache* cache,
                                       CmdNode* node, ResourceStore* store, void* argument, const RECT* rect,
                                       const int32_t origin[2], uint8_t* colour)
{
    const int64_t width = int64_t{rect->right} - rect->left;
    const int64_t height = int64_t{rect->bottom} - rect->top;
    if (width <= 0 || height <= 0) return nullptr;
    const uint32_t bitsPerPixel = layout->planeConfig.colorBits;
    uint32_t stride = static_cast<uint32_t>(((uint64_t(width) * bitsPerPixel + 31) >> 3) & ~uint64_t{3});
    uint32_t size[2] = {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
    const CmdRenderDirectFn render = CmdRow(node).renderDirect;
    if (layout->orientation == 0 && layout->mirror == 0) {
        if (!render(node, store, output, argument, &layout->planeConfig, stride, layout->conversionOut, colour, rect))
            return nullptr;
    } else {
        uint8_t* upright = layout->colorSurface->bits;
        if (!render(node, store, output, argument, &layout->planeConfig, stride, upright, colour, rect)) return nullptr;
        stride = BitmapRotate(bitsPerPixel, layout->orientation, static_cast<int32_t>(layout->mirror), upright, stride,
                              size, layout->conversionOut);
    }
    return TextureCacheImageAdd(cache, output, &layout->planeConfig, *colour, layout->conversionOut, stride, origin,
                                size);
}
