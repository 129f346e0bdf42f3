// The single-resolution band renderer: every collected command is moved to the surfaces' origin,
// its shape marked in the mask (or taken whole), its colour turned into a texture, and the planes
// painted where the shape is.
#include "engine/band/band_render.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "engine/band/band_plan.h"
#include "engine/band/band_surface.h"
#include "engine/band/band_walk.h"
#include "engine/band/texture_cache.h"
#include "engine/display/bitmap_rotate.h"
#include "engine/display/cmd_ops.h"
#include "engine/job/output_module.h"
#include "engine/page/form_level.h"
#include "engine/raster/band_plane_ops.h"
#include "platform/gdi.h"

namespace {

std::atomic<uint64_t> drawnCount{0};

bool Oriented(const BandLayout* layout) { return layout->orientation != 0 || layout->mirror != 0; }

RECT Normalised(POINT a, POINT b)
{
    return RECT{std::min(a.x, b.x), std::min(a.y, b.y), std::max(a.x, b.x), std::max(a.y, b.y)};
}

// A logical rectangle in the surface's current device pixels.
RECT ToDevice(HDC dc, const RECT& logical)
{
    POINT corners[2] = {{logical.left, logical.top}, {logical.right, logical.bottom}};
    LPtoDP(dc, corners, 2);
    return Normalised(corners[0], corners[1]);
}

bool Intersect(RECT* into, const RECT& other)
{
    into->left = std::max(into->left, other.left);
    into->top = std::max(into->top, other.top);
    into->right = std::min(into->right, other.right);
    into->bottom = std::min(into->bottom, other.bottom);
    return into->left < into->right && into->top < into->bottom;
}

// Shifts each row of a 1-bit image right by phase bits, restriding it; rows are walked from the
// last so that the wider rows never overwrite rows still to be moved.
void MaskPhaseShift(uint8_t* bits, uint32_t stride, uint32_t newStride, uint32_t rows, uint32_t phase)
{
    for (uint32_t y = rows; y-- > 0;) {
        const uint8_t* from = bits + size_t(y) * stride;
        uint8_t* to = bits + size_t(y) * newStride;
        for (uint32_t i = newStride; i-- > 0;) {
            const int64_t bit = int64_t(i) * 8 - phase;  // first source bit of destination byte i
            uint32_t value = 0;
            for (int k = 0; k < 8; ++k) {
                const int64_t b = bit + k;
                const bool set = b >= 0 && b < int64_t(stride) * 8 && ((from[b / 8] >> (7 - b % 8)) & 1);
                value = (value << 1) | (set ? 1u : 0u);
            }
            to[i] = static_cast<uint8_t>(value);
        }
    }
}

// A surface DC's mapping, put back whole after a command (the level image re-maps the surfaces).
struct SavedMap {
    POINT windowOrigin, viewportOrigin;
    SIZE windowExtent, viewportExtent;
};

SavedMap MapSave(HDC dc)
{
    SavedMap m{};
    GetWindowOrgEx(dc, &m.windowOrigin);
    GetWindowExtEx(dc, &m.windowExtent);
    GetViewportOrgEx(dc, &m.viewportOrigin);
    GetViewportExtEx(dc, &m.viewportExtent);
    return m;
}

void MapRestore(HDC dc, const SavedMap& m)
{
    SetWindowExtEx(dc, m.windowExtent.cx, m.windowExtent.cy, nullptr);
    SetWindowOrgEx(dc, m.windowOrigin.x, m.windowOrigin.y, nullptr);
    SetViewportExtEx(dc, m.viewportExtent.cx, m.viewportExtent.cy, nullptr);
    SetViewportOrgEx(dc, m.viewportOrigin.x, m.viewportOrigin.y, nullptr);
}

// Where one command is drawn in the current band.
struct CommandArea {
    RECT local;      // band-local page pixels
    RECT plane;      // band-plane pixels (device orientation)
    RECT device;     // device page pixels
    uint32_t phase;  // x of plane.left within its 32-bit word
    uint32_t width, height;
};

CommandArea AreaMake(const BandLayout* layout, const RECT& local)
{
    CommandArea a{};
    a.local = local;
    const RECT& b = layout->bandRect;
    const RECT page{local.left + b.left, local.top + b.top, local.right + b.left, local.bottom + b.top};
    RectOrient(layout->orientation, layout->mirror, layout->pageSize, &page, &a.device);
    a.plane = RECT{a.device.left - layout->band.x, a.device.top - layout->band.y, a.device.right - layout->band.x,
                   a.device.bottom - layout->band.y};
    a.phase = static_cast<uint32_t>(a.plane.left) & 31;
    a.width = static_cast<uint32_t>(local.right - local.left);
    a.height = static_cast<uint32_t>(local.bottom - local.top);
    return a;
}

// The mask bits for the plane kernels: the mask surface as drawn (upright, phase already in it),
// or turned into the layout's mask-out buffer and shifted to its phase.
const uint8_t* MaskBits(BandLayout* layout, const CommandArea& a, uint32_t* stride)
{
    BandSurface* mask = layout->maskSurface;
    if (!Oriented(layout)) {
        *stride = mask->stride;
        return mask->bits;
    }
    uint32_t size[2] = {a.width, a.height};
    const uint32_t turned = BitmapRotate(1, layout->orientation, static_cast<int32_t>(layout->mirror), mask->bits,
                                         mask->stride, size, layout->maskOut);
    const uint32_t widened = (size[0] + a.phase + 31) / 32 * 4;
    MaskPhaseShift(layout->maskOut, turned, widened, size[1], a.phase);
    *stride = widened;
    return layout->maskOut;
}

// The colour surface's pixels of the area (at its origin) as an image texture of the band's format.
TextureCacheEntry* ColourImageTexture(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                      const CommandArea& a, uint8_t hint)
{
    BandSurface* colour = layout->colorSurface;
    const uint8_t* bits = colour->bits;
    uint32_t stride = colour->stride;
    uint32_t size[2] = {a.width, a.height};
    if (Oriented(layout)) {
        stride = BitmapRotate(24, layout->orientation, static_cast<int32_t>(layout->mirror), bits, stride, size,
                              layout->colorOut);
        bits = layout->colorOut;
    }
    uint8_t* converted = nullptr;
    uint32_t convertedStride = 0;
    if (!ImageConvert(context, &layout->planeConfig, hint, 1, bits, stride, size, layout->conversionOut, &converted,
                      &convertedStride))
        return nullptr;
    const int32_t origin[2] = {a.device.left, a.device.top};
    return TextureCacheImageAdd(cache, context, &layout->planeConfig, hint, converted, convertedStride, origin, size);
}

TextureCacheEntry* SolidTexture(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                uint32_t colour, uint8_t hint)
{
    TextureCacheEntry* entry = TextureCacheLookup(cache, layout->band.formatId, hint, colour);
    if (entry != nullptr) return entry;
    TextureColorRequest request{};
    request.flag = hint;
    if (!ColorConvert(context, layout->band.formatId, &request.flag, colour, &request.color)) return nullptr;
    return TextureCacheColorAdd(cache, context, &layout->planeConfig, colour, &request);
}

struct LevelDraw {
    FormLevel* levels;
    uint32_t count;
    FormLevel* level;
    BandLayout* layout;
    OutputModuleContext* context;
    TextureCache* cache;
};

void CommandDraw(const LevelDraw& d, CmdNode* node)
{
    BandLayout* layout = d.layout;
    BandSurface* mask = layout->maskSurface;
    BandSurface* colour = layout->colorSurface;
    FormLevel* level = d.level;
    ResourceStore* store = level->list->owner;
    ++drawnCount;
    const RECT bandLocal{0, 0, layout->bandRect.right - layout->bandRect.left,
                         layout->bandRect.bottom - layout->bandRect.top};
    RECT local = ToDevice(mask->drawDC, node->bounds);
    if (!Intersect(&local, bandLocal)) return;
    if (CmdSlotFilled(node->op, CmdSlotClipTest)) {
        RECT visible{};
        if (!CmdSlotClip(node, &level->band, &visible)) return;
        if (!Intersect(&local, ToDevice(mask->drawDC, visible))) return;
    }
    const CommandArea a = AreaMake(layout, local);
    // The mask of an upright page carries the phase itself; a turned one gets it after turning.
    const uint32_t maskPhase = Oriented(layout) ? 0 : a.phase;
    const bool second = (level->flags & FORM_LEVEL_SECOND) != 0;
    BandSurface* moved[4] = {mask, colour, second ? layout->secondMaskSurface : nullptr,
                             second ? layout->secondColorSurface : nullptr};
    const POINT shift[4] = {{-(local.left - LONG(maskPhase)), -local.top}, {-local.left, -local.top},
                            {-local.left, -local.top}, {-local.left, -local.top}};
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
    TextureCacheEntry* texture = nullptr;
    switch (shape == CMD_BAND_NOTHING ? -1 : colourClass) {
        case CMD_COLOR_SOLID:
            texture = SolidTexture(layout, d.context, d.cache, solid, hint);
            break;
        case CMD_COLOR_DRAW_RESTORE: {
            POINT corners[2] = {{0, 0}, {LONG(a.width), LONG(a.height)}};
            DPtoLP(colour->drawDC, corners, 2);
            const RECT logical = Normalised(corners[0], corners[1]);
            const SIZE extent{LONG(a.width), LONG(a.height)};
            if (CmdRow(node).drawRestore(node, store, colour, &logical, &extent))
                texture = ColourImageTexture(layout, d.context, d.cache, a, hint);
            break;
        }
        case CMD_COLOR_LEVEL_IMAGE:
            texture = FormLevelImageRender(layout, d.context, d.cache, d.levels, d.count, &a.local, hint);
            break;
        case CMD_COLOR_DIRECT: {
            const int32_t origin[2] = {a.device.left, a.device.top};
            const RECT area{0, 0, LONG(a.width), LONG(a.height)};
            uint8_t flag = hint;
            texture = CmdSlotRenderDirect(layout, d.context, d.cache, node, store, nullptr, &area, origin, &flag);
            break;
        }
        default:
            break;
    }
    if (texture != nullptr) {
        if (shape == CMD_BAND_MASKED) BandPlanesTextureFillMasked(maskBits, int32_t(maskStride), texture, layout, &a.plane);
        else BandPlanesTextureFill(texture, layout, &a.plane);
        if (colourClass != CMD_COLOR_SOLID) TextureCacheRelease(d.cache, texture);
    }
    for (int i = 0; i < 4; ++i)
        if (moved[i] != nullptr) MapRestore(moved[i]->drawDC, saved[i]);
}

// Runs fn once per mapping of the level over the current band (every tile of a tiled level).
template <typename Fn>
void LevelMappings(FormLevel* level, const BandLayout* layout, Fn fn)
{
    if (!(level->flags & FORM_LEVEL_TILED)) {
        fn(level->mapping.map);
        return;
    }
    const RECT& band = layout->bandRect;
    FormLevelTileMapping(level, POINT{band.left, band.top});
    do fn(level->tileMapping.map);
    while (FormLevelTileNext(level, &band));
}

bool LevelMeetsBand(const FormLevel* level, const BandLayout* layout)
{
    if (level->list == nullptr || level->pendingCount == 0) return false;
    RECT r = level->rect;
    return (level->flags & FORM_LEVEL_TILED) || Intersect(&r, layout->bandRect);
}

}  // namespace

uint64_t BandRenderDrawnCount() { return drawnCount.load(); }

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
