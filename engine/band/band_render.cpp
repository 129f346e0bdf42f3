// The single-resolution band renderer: every collected command is moved to the surfaces' origin,
// its shape marked in the mask (or taken whole), its colour turned into a texture, and the planes
// painted where the shape is.
#include "engine/band/band_render.h"
#include "engine/band/band_render_parts.h"

#include <algorithm>
#include <cstring>

#include "engine/band/band_walk.h"
#include "engine/common/output_module.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/form_level.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/band_plane_ops.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/bitmap_rotate.h"
#include "engine/raster/texture_cache.h"
#include "platform/gdi.h"

namespace {

using namespace band_parts;

void CommandDraw(const LevelDraw& d, CmdNode* node)
{
    BandLayout* layout = d.layout;
    BandSurface* mask = layout->maskSurface;
    BandSurface* colour = layout->colorSurface;
    FormLevel* level = d.level;
    ResourceStore* store = level->list->owner;
    RECT local{};
    if (!CommandLocal(d, node, &local)) return;
    const CommandArea a = AreaMake(layout, local);
    // The mask of an upright page carries the phase itself; a turned one gets it after turning.
    const uint32_t maskPhase = Oriented(layout) ? 0 : a.phase;
    const bool second = (level->flags & FORM_LEVEL_SECOND) != 0;
    BandSurface* moved[4] = {mask, colour, second ? layout->secondMaskSurface : nullptr,
                             second ? layout->secondColorSurface : nullptr};
    const POINT shift[4] = {{-(local.left - LONG(maskPhase)), -local.top},
                            {-local.left, -local.top},
                            {-local.left, -local.top},
                            {-local.left, -local.top}};
    SavedMap saved[4];
    for (int i = 0; i < 4; ++i) {
        if (moved[i] == nullptr) continue;
        saved[i] = MapSave(moved[i]->drawDC);
        OffsetViewportOrgEx(moved[i]->drawDC, shift[i].x, shift[i].y, nullptr);
    }

    const RECT maskArea{LONG(maskPhase), 0, LONG(maskPhase + a.width), LONG(a.height)};
    int shape = CmdRow(node).renderBand(node, store, mask, &level->band, &maskArea, &maskArea, 0);
    int colourClass = -1;
    uint32_t solid = 0;
    uint8_t hint = 0;
    if (shape != CMD_BAND_NOTHING) {
        if (second && d.context->maskKind == MASK_KIND_PATTERN) {
            if (shape == CMD_BAND_NO_MASK) {
                BandSurfaceClear(mask, SIZE{LONG(maskPhase + a.width), LONG(a.height)});
                BandMaskRectsSet(mask, 1, &maskArea);
                shape = CMD_BAND_MASKED;
            }
        } else if (second) {
            colourClass = CMD_COLOR_LEVEL_IMAGE;
            hint = static_cast<uint8_t>(FormLevelsClassBitsGet(level, 1));
        }
        if (colourClass < 0) colourClass = CmdSlotColorClass(node, &solid, &hint, 0);
        if ((d.context->options & 0x40) && (level->flags & FORM_LEVEL_OPTION_40)) hint |= 0x40;
    }
    const uint8_t* maskBits = nullptr;
    uint32_t maskStride = 0;
    if (shape == CMD_BAND_MASKED) {
        maskBits = MaskBits(layout, a, &maskStride);
        if (second && d.context->maskKind == MASK_KIND_PATTERN && d.context->maskPattern != nullptr) {
            const uint32_t rows = layout->orientation >= 2 ? a.width : a.height;
            const uint32_t cols = (layout->orientation >= 2 ? a.height : a.width) + a.phase;
            BandMaskPatternAnd(const_cast<uint8_t*>(maskBits), int32_t(maskStride), SIZE{LONG(cols), LONG(rows)},
                               d.context->maskPattern, POINT{a.device.left & ~31, a.device.top});
        }
    }
    TextureCacheEntry* texture =
        shape == CMD_BAND_NOTHING ? nullptr : CommandTexture(d, node, a, colourClass, solid, hint);
    if (texture != nullptr) {
        if (shape == CMD_BAND_MASKED)
            BandPlanesTextureFillMasked(maskBits, int32_t(maskStride), texture, layout, &a.plane);
        else BandPlanesTextureFill(texture, layout, &a.plane);
        if (colourClass != CMD_COLOR_SOLID) TextureCacheRelease(d.cache, texture);
    }
    for (int i = 0; i < 4; ++i)
        if (moved[i] != nullptr) MapRestore(moved[i]->drawDC, saved[i]);
}

}  // namespace

uint64_t BandRenderDrawnCount() { return band_parts::DrawnCount(); }

int BandRenderSingle(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                     TextureCache* cache)
{
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel* level = &levels[i];
        if (!LevelMeetsBand(level, layout)) continue;
        const LevelDraw d{levels, count, level, layout, context, cache};
        LevelMappings(level, layout, [&](const DcMap& map) {
            BandSurfacesMapSet(layout, &map, level->flags & FORM_LEVEL_SECOND);
            for (uint32_t k = 0; k < level->pendingCount; ++k) CommandDraw(d, level->pending[k]);
        });
    }
    return 1;
}

int BandsRender(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                TextureCache* cache)
{
    if (layout->resolutionCount == 0) return BandRenderSingle(levels, count, layout, context, cache);
    return BandRenderMulti(levels, count, layout, context, cache);
}

void FormLevelsRenderBand(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                          const RECT* band)
{
    BandSurface* colour = layout->colorSurface;
    const SIZE size{band->right - band->left, band->bottom - band->top};
    BandSurfaceClear(colour, size);
    for (uint32_t i = 0; i < count; ++i) {
        FormLevel* level = &levels[i];
        if (!LevelMeetsBand(level, layout)) continue;
        const bool blended = (level->flags & FORM_LEVEL_SECOND) && context->maskKind == MASK_KIND_NONE &&
                             layout->secondColorSurface != nullptr && layout->secondMaskSurface != nullptr;
        ResourceStore* store = level->list->owner;
        LevelMappings(level, layout, [&](const DcMap& map) {
            BandSurfacesMapSet(layout, &map, blended ? 1 : 0);
            if (blended) {
                BandSurfaceClear(layout->secondColorSurface, size);
                BandSurfaceClear(layout->secondMaskSurface, size);
            }
            for (uint32_t k = 0; k < level->pendingCount; ++k) {
                CmdNode* node = level->pending[k];
                RECT visible{};
                if (!CmdSlotClip(node, &level->band, &visible)) continue;
                if (!blended) {
                    CmdSlotDraw(node, store, colour, &level->band, nullptr);
                    continue;
                }
                CmdSlotDraw(node, store, layout->secondColorSurface, &level->band, nullptr);
                RECT area = ToDevice(layout->secondMaskSurface->drawDC, node->bounds);
                if (Intersect(&area, RECT{0, 0, size.cx, size.cy}))
                    CmdRow(node).renderBand(node, store, layout->secondMaskSurface, &level->band, &area, &area, 1);
            }
            if (blended) {
                GdiFlush();
                BandSurfaceBlend(colour, layout->secondMaskSurface, layout->secondColorSurface, size, level->byte);
                BandSurfaceResetDC(layout->secondColorSurface);
                BandSurfaceResetDC(layout->secondMaskSurface);
            }
            BandSurfaceResetDC(colour);
        });
    }
    GdiFlush();
}

TextureCacheEntry* FormLevelImageRender(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                        FormLevel* levels, uint32_t count, const RECT* area, uint8_t hint)
{
    if (count == 0) return nullptr;
    // The last level alone, or every level when it is a blended overlay over them.
    const bool all = (levels[count - 1].flags & FORM_LEVEL_SECOND) && context->maskKind == MASK_KIND_NONE;
    FormLevel* first = all ? levels : &levels[count - 1];
    const RECT band{0, 0, layout->bandRect.right - layout->bandRect.left,
                    layout->bandRect.bottom - layout->bandRect.top};
    FormLevelsRenderBand(first, all ? count : 1, layout, context, &band);
    // The image of the area is moved to the surface's origin, where the texture is taken from.
    BandSurface* colour = layout->colorSurface;
    const uint32_t width = static_cast<uint32_t>(area->right - area->left);
    for (LONG y = area->top; y < area->bottom; ++y)
        std::memmove(colour->bits + size_t(y - area->top) * colour->stride,
                     colour->bits + size_t(y) * colour->stride + size_t(area->left) * 3, size_t(width) * 3);
    return ColourImageTexture(layout, context, cache, AreaMake(layout, *area), hint);
}
