// The band loops: one sheet side as one output-module image, walked band by band.
#include "engine/page/band_loop.h"
#include "engine/display/optimiser/optimiser.h"

#include <algorithm>

#include "engine/band/band_render.h"
#include "engine/band/band_walk.h"
#include "engine/band/side_walk.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_borders.h"
#include "engine/page/page_placement.h"
#include "engine/page/page_rect.h"
#include "engine/page/page_state.h"
#include "engine/page/preamble.h"
#include "engine/raster/band_plan.h"
#include "engine/spool/page_source.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

bool BandSkipping(const OutputModuleContext* context)
{
    return (context->caps & (IMO_CAPS_TRIM_BAND | IMO_CAPS_BAND_SKIP)) != 0;
}

// A band configuration may follow the band's colours.
bool HeteroBanding(const OutputModuleContext* context)
{
    return (context->caps & IMO_CAPS_HETERO_BANDING) && (context->caps & (IMO_CAPS_OPT_GRAY | IMO_CAPS_OPT_BW));
}

const ImxImageFormat* Gray(const PagePlacement* p)
{
    return (p->mediaFlags & IMO_MEDIA_GRAY_FORMAT_VALID) ? &p->grayFormat : nullptr;
}

const ImxImageFormat* Colour(const PagePlacement* p)
{
    return (p->mediaFlags & IMO_MEDIA_COLOR_FORMAT_VALID) ? &p->colorFormat : nullptr;
}

// Colour first: the colour configuration (kind 1) when valid, else the grey one (kind 0); grey
// first: the grey one when valid, else the colour one.
const ImxImageFormat* ConfigPick(const PagePlacement* p, bool colourFirst, uint32_t* kind)
{
    if (colourFirst) {
        *kind = Colour(p) != nullptr ? 1 : 0;
        return Colour(p) != nullptr ? Colour(p) : Gray(p);
    }
    *kind = Gray(p) != nullptr ? 0 : 1;
    return Gray(p) != nullptr ? Gray(p) : Colour(p);
}

// Whether commands of these colour flags on a colour job are drawn in colour.
bool ColourWanted(const OutputModuleContext* context, const JobHeader* header, uint32_t flags)
{
    if (!(header->headerFlags & 1)) return false;
    if (!(flags & CMD_FLAG_COLOR) && (context->caps & IMO_CAPS_OPT_GRAY)) return false;
    if ((flags & CMD_FLAG_COLOR_MASK) == CMD_FLAG_BLACK_WHITE && (context->caps & IMO_CAPS_OPT_BW)) return false;
    return true;
}

PageFitCell SheetCell(const PagePlacement* p)
{
    return PageFitCell{p->sizePixels[0] <= p->sizePixels[1] ? 1u : 2u,
                       {static_cast<int32_t>(p->sizePixels[0]), static_cast<int32_t>(p->sizePixels[1])}};
}

void PageSizeOf(const PagePlacement* p, uint32_t orientation, uint32_t out[2])
{
    const bool quarter = orientation >= 2;
    out[0] = quarter ? p->sizePixels[1] : p->sizePixels[0];
    out[1] = quarter ? p->sizePixels[0] : p->sizePixels[1];
}

bool Empty(const RECT& r) { return r.left >= r.right || r.top >= r.bottom; }

}  // namespace

// The side's quarter or half turn from the placement: the turn bit toggled by the render options
// (front and back), the media's half turn, and on a back side by the feed edge and duplex mode.
uint32_t SideTurn(const RenderOptions* options, const PagePlacement* p, uint32_t front)
{
    bool turn = options != nullptr && (options->flags & 0x8);
    if (p->mediaFlags & IMO_MEDIA_ROTATE180) turn = !turn;
    if (!front) {
        if ((p->feedEdge == 1 || p->feedEdge == 2) && p->feedEdge == p->sides) turn = !turn;
        if (p->duplexMode == IMO_DUPLEX_MODE_ROTATED) turn = !turn;
    }
    return turn ? 1 : 0;
}

int SideEmptyBandAdd(SideWalk* side, const RECT* band)
{
    BandBegin(&side->layout, band);
    if (HeteroBanding(side->context) && side->gray != nullptr) BandPlaneConfigUpdate(&side->layout, side->gray);
    BandPlanesClear(&side->layout);
    return side->context->slots.BandAdd == nullptr ||
           side->context->slots.BandAdd(side->context->instance, &side->layout.band) == 0;
}

int SideBandAdd(SideWalk* side)
{
    if (BandPlanesActive(&side->layout) == 0 && side->skip) return 1;
    return side->context->slots.BandAdd == nullptr ||
           side->context->slots.BandAdd(side->context->instance, &side->layout.band) == 0;
}

void SideBandConfig(SideWalk* side, uint32_t pendingFlags)
{
    if (side->kind != 1 || !HeteroBanding(side->context) || side->gray == nullptr) return;
    BandPlaneConfigUpdate(&side->layout,
                          ColourWanted(side->context, side->header, pendingFlags) ? side->config : side->gray);
}

int BlankPageRender(OutputModuleContext* context, JobHeader* header, BandMemory* bands, const PagePlacement* placement,
                    uint32_t, const uint32_t pageSize[2], const RECT* pageRect, uint32_t blobSize, const void* blob)
{
    PagePlacement adjusted;
    if (context->options & 0x20) {
        adjusted = *placement;
        PageFitPlace(context, &adjusted);
        placement = &adjusted;
    }
    if (context->slots.ImageBlank != nullptr) return context->slots.ImageBlank(context->instance, blobSize, blob) == 0;

    SideWalk side{};
    side.context = context;
    side.header = header;
    side.skip = BandSkipping(context);
    const bool colourFirst = (header->headerFlags & 1) && !(context->caps & (IMO_CAPS_OPT_GRAY | IMO_CAPS_OPT_BW));
    side.config = ConfigPick(placement, colourFirst, &side.kind);
    side.gray = Gray(placement);

    const PageFitCell cell = SheetCell(placement);
    SIZE extent{static_cast<LONG>(pageSize[0]), static_cast<LONG>(pageSize[1])};
    double sx = 1.0, sy = 1.0;
    const int fit = PageFitRatio(&cell, extent, &extent, nullptr, &sx, &sy);
    const uint32_t orientation = fit > 0 ? static_cast<uint32_t>(fit) : 0;
    const RECT whole{0, 0, static_cast<LONG>(pageSize[0]), static_cast<LONG>(pageSize[1])};
    RECT area = pageRect != nullptr ? *pageRect : whole;
    if (context->caps & IMO_CAPS_TRIM_PAGE) {
        const RECT none{0, 0, 0, 0};
        if (context->caps & IMO_CAPS_TRIM_AREA) area = none;
        else PageRectTrim(context, orientation, 0, &none, &area);
    } else {
        PageRectTrim(context, orientation, 0, &whole, &area);
    }
    PageRectAlign(context, pageSize, orientation, 0, &area);
    BandIterInit(&side.iterator, pageSize, &area, orientation, 0);
    RECT destination{};
    RectOrient(orientation, 0, pageSize, &area, &destination);
    if (context->slots.ImageBegin != nullptr &&
        context->slots.ImageBegin(context->instance, side.kind, &destination, 0, 0, nullptr) != 0)
        return 0;
    if (!Empty(destination) && !side.skip) {
        if (!BandSetup(bands, placement->resolution, side.config, 0, &side.iterator, &side.layout)) return 0;
        int ok = 1;
        for (int more = BandIterFirst(&side.iterator, &side.layout); ok && more;
             more = BandIterNext(&side.iterator, &side.layout))
            ok = SideEmptyBandAdd(&side, &side.iterator.band);
        BandSurfacesFree(bands, &side.layout);
        if (!ok) return 0;
    }
    return context->slots.ImageEnd == nullptr || context->slots.ImageEnd(context->instance) == 0;
}

PageState* PagePlay(OutputModuleContext* context, JobHeader* header, ResourceBudget* budget, FormTable* forms,
                    PageSource* source, uint32_t page, SheetInsertRequest* request, uint32_t mode,
                    ResourceStore** store)
{
    *store = ResourceStoreCreate(budget, source->stream);
    if (*store == nullptr) return nullptr;
    auto* state = static_cast<PageState*>(RenderAlloc(sizeof(PageState)));
    if (state == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        ResourceStoreDestroy(*store);
        *store = nullptr;
        return nullptr;
    }
    PageStateInit(state, forms, *store);
    if (!FormPlay(state, context, header, source, page, request, mode)) {
        PagePlayRelease(state, *store);
        *store = nullptr;
        return nullptr;
    }
    return state;
}

void PagePlayRelease(PageState* state, ResourceStore* store)
{
    // Also the way out of a failed play, whose caller reads the last error: releasing fonts and
    // GDI objects must not overwrite it.
    const DWORD error = GetLastError();
    if (state != nullptr) {
        PageStateClear(state);
        RenderFree(state);
    }
    if (store != nullptr) ResourceStoreDestroy(store);
    SetLastError(error);
}

int SideBandsWalk(SideWalk* side, FormLevel* levels, uint32_t depth, TextureCache* textures)
{
    OutputModuleContext* context = side->context;
    int ok = 1;
    for (int more = BandIterFirst(&side->iterator, &side->layout); ok && more;
         more = BandIterNext(&side->iterator, &side->layout)) {
        RECT band = side->iterator.band;
        uint32_t total = 0;
        if (!FormLevelsBandIntersect(levels, depth, &band, &total)) {
            ok = 0;
            break;
        }
        if (total != 0 && (context->caps & IMO_CAPS_TRIM_BAND)) {
            RECT drawn{};
            FormLevelsPageBoundsGet(levels, depth, &drawn);
            RECT cut{};
            if (!IntersectRect(&cut, &band, &drawn)) cut = RECT{};
            PageRectAlign(context, side->iterator.pageSize, side->iterator.direction, side->iterator.mirror, &cut);
            if (!IntersectRect(&band, &cut, &side->iterator.band)) total = 0;
        }
        if (total == 0) {
            FormLevelsCull(levels, depth, &side->iterator.remainder);
            if (!side->skip) ok = SideEmptyBandAdd(side, &band);
            continue;
        }
        BandBegin(&side->layout, &band);
        SideBandConfig(side, FormLevelsFlagsOr(levels, depth));
        BandPlanesClear(&side->layout);
        BandsRender(levels, depth, &side->layout, context, textures);
        FormLevelsCull(levels, depth, &side->iterator.remainder);
        ok = SideBandAdd(side);
    }
    return ok;
}

int BandLoopRender(const RenderContext* render, PageSource* source, const PagePlacement* placement,
                   const TileLayout* tile, uint32_t page, SheetInsertRequest* request, uint32_t front)
{
    ResourceStore* store = nullptr;
    PageState* state = PagePlay(render->module, render->header, render->budget, render->forms, source, page, request,
                                front ? PLAY_MODE_FRONT : PLAY_MODE_BACK, &store);
    if (state == nullptr) return 0;
    // Released on the way out whatever way that is: memory running out in the drawing code unwinds
    // through here to the render call.
    struct PageGuard {
        PageState* state;
        ResourceStore* store;
        ~PageGuard() { PagePlayRelease(state, store); }
    } played{state, store};
    return PageSideRender(render->module, render->options, render->header, render->bands, render->textures, placement,
                          tile, state, front);
}

int PageSideRender(OutputModuleContext* context, RenderOptions* options, JobHeader* header, BandMemory* bands,
                   TextureCache* textures, const PagePlacement* placement, const TileLayout* tile, PageState* state,
                   uint32_t front)
{
    FormLevel* levels = state->levels;
    const uint32_t pageDepth = state->depth;
    const uint32_t blobSize = state->blob != nullptr ? state->header.blobSize : 0;
    if (FormLevelsCommandCount(levels, pageDepth) == 0 && state->jobData.first == nullptr)
        return BlankPageRender(context, header, bands, placement, 0, placement->sizePixels, nullptr, blobSize,
                               state->blob);

    SideWalk side{};
    side.context = context;
    side.header = header;
    side.skip = BandSkipping(context);
    side.gray = Gray(placement);
    side.config =
        ConfigPick(placement, ColourWanted(context, header, FormLevelsFlagsGet(levels, pageDepth)), &side.kind);
    const uint32_t second = FormLevelsAnyFlag4(levels, pageDepth) && context->maskKind == MASK_KIND_NONE ? 1 : 0;

    const PageFitCell cell = SheetCell(placement);
    const SIZE pageExtent{state->header.width, state->header.height};
    SIZE extent = pageExtent;
    RECT placed{0, 0, pageExtent.cx, pageExtent.cy};
    double sx = 1.0, sy = 1.0;
    int32_t ox = 0, oy = 0;
    const int fit = PageFitApply(&cell, tile, tile != nullptr, pageExtent, &extent, &placed, &sx, &sy, &ox, &oy);
    if (fit < 0) return 0;
    const uint32_t orientation = static_cast<uint32_t>(fit) + SideTurn(options, placement, front);
    const uint32_t mirror =
        (((header->jobFlags & JobFlagMirrored) != 0) != ((placement->mediaFlags & IMO_MEDIA_MIRRORED) != 0)) ? 1 : 0;
    FormLevelsViewportScale(levels, pageDepth, sx, sy);
    // A poster tile shows its part of the enlarged page: the page, its overlays and its rectangle
    // move up and left by the tiles before it.
    if (ox != 0 || oy != 0) {
        FormLevelsOffset(levels, pageDepth, POINT{ox, oy}, true);
        OffsetRect(&placed, ox, oy);
    }
    if (!FormLevelsMapToDevice(levels, pageDepth)) return 0;
    // Page borders: the frame goes on top of the page, in its own level, for this side only.
    struct BordersGuard {
        PageState* state;
        PageBorders borders{{}, UINT32_MAX};
        ~BordersGuard() { PageBordersRelease(state, &borders); }
    } frame{state};
    if (options != nullptr && (options->flags & RENDER_FLAG_SHEET_FLAG_20)) {
        if (!PageBordersPush(state, state->list.owner, &placed, PageBorderWidth(0, sx, sy), &frame.borders)) return 0;
    }
    const uint32_t depth = state->depth;

    uint32_t pageSize[2];
    PageSizeOf(placement, orientation, pageSize);
    RECT area{0, 0, static_cast<LONG>(pageSize[0]), static_cast<LONG>(pageSize[1])};
    if (context->caps & IMO_CAPS_TRIM_PAGE) {
        RECT drawn{};
        FormLevelsDeviceBoundsGet(levels, depth, &drawn);
        if (context->caps & IMO_CAPS_TRIM_AREA) {
            if (!IntersectRect(&area, &area, &drawn)) area = RECT{};
        } else {
            PageRectTrim(context, orientation, mirror, &drawn, &area);
        }
    } else {
        PageRectTrim(context, orientation, mirror, &placed, &area);
    }
    PageRectAlign(context, pageSize, orientation, mirror, &area);
    BandIterInit(&side.iterator, pageSize, &area, orientation, mirror);
    RECT destination{};
    RectOrient(orientation, mirror, pageSize, &area, &destination);
    if (!FormLevelsOptimize(levels, depth, &side.iterator)) return 0;

    if (context->slots.ImageBegin != nullptr &&
        context->slots.ImageBegin(context->instance, side.kind, &destination, FormLevelsClassBitsGet(levels, depth),
                                  blobSize, state->blob) != 0)
        return 0;
    if (JobDataListSend(&state->jobData, context, true) != 0) return 0;
    if (!Empty(destination)) {
        if (!BandSetup(bands, placement->resolution, side.config, second, &side.iterator, &side.layout)) return 0;
        struct SurfacesGuard {
            BandMemory* bands;
            BandLayout* layout;
            ~SurfacesGuard() { BandSurfacesFree(bands, layout); }
        } surfaces{bands, &side.layout};
        if (!SideBandsWalk(&side, levels, depth, textures)) return 0;
    }
    return context->slots.ImageEnd == nullptr || context->slots.ImageEnd(context->instance) == 0;
}
