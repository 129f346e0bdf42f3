// One sheet through the output module: SheetBegin (or SheetBlank alone), its sides through the
// band loops, SheetEnd; a poster sheet as one such sheet per tile.
#include <cstring>

#include "engine/common/output_module.h"
#include "engine/page/band_loop.h"
#include "engine/page/page_placement.h"
#include "engine/page/preamble.h"
#include "engine/page/sheet_plan.h"
#include "engine/raster/texture_cache.h"

namespace {

struct SheetCall {
    const RenderContext* render;
    const SheetPlan* plan;
    SheetInsertRequest* request;
    PagePlacement placement;
};

int SideRender(SheetCall& call, int side, const TileLayout* tile)
{
    const SheetPlan& plan = *call.plan;
    const uint32_t front = side == 0 ? 1 : 0;
    const uint32_t placed = plan.placed[side];
    const uint32_t* pages = side == 0 ? plan.front : plan.back;
    if (placed == 0) {
        const RECT rect{0, 0, static_cast<LONG>(plan.sheetSize[0]), static_cast<LONG>(plan.sheetSize[1])};
        return BlankPageRender(call.render->module, call.render->header, call.render->bands, &call.placement, 0,
                               plan.sheetSize, &rect, 0, nullptr);
    }
    if (plan.cells[side] > 1)
        return BandLoopRenderForms(call.render, plan.source, &call.placement, pages[0], call.request, front,
                                   plan.cells[side], plan.arrangement[side], placed, pages);
    return BandLoopRender(call.render, plan.source, &call.placement, tile, pages[0], call.request, front);
}

int TileRender(SheetCall& call, uint32_t sides, const TileLayout* tile)
{
    OutputModuleContext* context = call.render->module;
    const SheetPlan& plan = *call.plan;
    const PagePlacement& p = call.placement;
    if (plan.sheetBlank && context->slots.SheetBlank != nullptr)
        return context->slots.SheetBlank(context->instance, p.resolution, p.sizeMils, p.paperCode, p.paperName, p.sides,
                                         plan.repeatWord) == 0;
    if (context->slots.SheetBegin != nullptr &&
        context->slots.SheetBegin(context->instance, p.resolution, p.sizeMils, p.paperCode, p.paperName, p.sides,
                                  plan.repeatWord) != 0)
        return 0;
    TextureCacheKeySet(context->textureCache, p.resolution);
    const int first = sides == SHEET_SIDES_BACK ? 1 : 0;
    if (!SideRender(call, first, tile)) return 0;
    // A back without pages is left out.
    if (sides == SHEET_SIDES_BOTH && plan.placed[1] > 0 && !SideRender(call, 1, tile)) return 0;
    return context->slots.SheetEnd == nullptr || context->slots.SheetEnd(context->instance) == 0;
}

}  // namespace

int SheetRender(const RenderContext* render, const SheetPlan* plan, SheetInsertRequest* request, uint32_t sides)
{
    OutputModuleContext* context = render->module;
    const JobHeader* header = render->header;
    SheetCall call{render, plan, request, {}};
    const uint32_t resolution[2] = {header->resolutionX, header->resolutionY};
    char name[33] = {};
    std::memcpy(name, plan->paperName, sizeof plan->paperName);
    // A landscape page (its extents exchanged, page flag 0x1) is counted as a device context
    // turned to landscape counts it: across at the job's vertical resolution, down at its
    // horizontal one. The sheet is sized at the job's resolutions for the device, so that the
    // page turned onto it keeps its scale on both axes.
    uint32_t sheet[2] = {plan->sheetSize[0], plan->sheetSize[1]};
    if ((plan->pageFlags & PAGE_FLAG_EXTENT_EXCHANGED) && resolution[0] != 0 && resolution[1] != 0) {
        sheet[0] = static_cast<uint32_t>((uint64_t{sheet[0]} * resolution[0] + resolution[1] / 2) / resolution[1]);
        sheet[1] = static_cast<uint32_t>((uint64_t{sheet[1]} * resolution[1] + resolution[0] / 2) / resolution[0]);
    }
    if (!PageFitScale(context, resolution, sheet, plan->pageFlags & PAGE_FLAG_TWO_SIDED, plan->paperCode, name,
                      &call.placement))
        return 0;
    const uint32_t f = plan->poster;
    if (plan->cells[0] != 1 || f <= 1) return TileRender(call, sides, nullptr);

    // Poster: the page spread over f x f sheets, each a sheet of its own.
    const SIZE tile{static_cast<LONG>(plan->sheetSize[0]), static_cast<LONG>(plan->sheetSize[1])};
    const SIZE total{static_cast<LONG>(static_cast<int64_t>(tile.cx) * f),
                     static_cast<LONG>(static_cast<int64_t>(tile.cy) * f)};
    TileLayout layout;
    if (!PageFitOrigin(tile, 0, 0, 0, 0, total, &layout)) return 0;
    for (uint32_t i = 0; i < f * f; ++i) {
        layout.index = i;
        if (!TileRender(call, sides, &layout)) return 0;
    }
    return 1;
}
