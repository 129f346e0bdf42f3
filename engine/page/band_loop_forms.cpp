// The n-up side: one image over the whole sheet side, each cell's page played when the band walk
// first reaches its cell and released once the walk has passed it.
#include <algorithm>

#include "engine/band/band_render.h"
#include "engine/band/band_walk.h"
#include "engine/band/side_walk.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/common/render_options.h"
#include "engine/display/optimiser/optimiser.h"
#include "engine/page/band_cells.h"
#include "engine/page/band_loop.h"
#include "engine/page/page_borders.h"
#include "engine/page/page_placement.h"
#include "engine/page/page_state.h"
#include "engine/page/preamble.h"
#include "platform/kernel.h"

namespace {

struct CellWalk {
    OutputModuleContext* context;
    JobHeader* header;
    ResourceBudget* budget;
    FormTable* forms;
    PageSource* source;
    SheetInsertRequest* request;
    uint32_t front;
    BandState* grid;
    bool borders;  // each cell's page gets its own frame
    PageBorders frames[BAND_CELLS_MAX];  // by cell index while loaded
    uint32_t direction;  // the band direction of the side, for the optimiser
};

RECT CellRect(const BandState* grid, const BandCell& cell)
{
    return RECT{cell.drawOrigin.x, cell.drawOrigin.y, cell.drawOrigin.x + LONG(grid->cellSize[0]),
                cell.drawOrigin.y + LONG(grid->cellSize[1])};
}

bool Meets(const RECT& a, const RECT& b)
{
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

void CellRelease(CellWalk& w, BandCell* cell)
{
    if (cell->state != nullptr) PageBordersRelease(cell->state, &w.frames[cell - w.grid->cells]);
    PagePlayRelease(cell->state, cell->store);
    cell->state = nullptr;
    cell->store = nullptr;
    cell->loaded = 0;
    cell->done = 1;
}

// Plays the cell's page and fits it into the cell. 1 loaded, 0 left empty (a page that cannot be
// played), -1 the side fails (memory is short: the page is sound and would be lost).
int CellPagePrepare(CellWalk& w, BandCell* cell, uint32_t playFlags)
{
    const uint32_t mode = (w.front ? PLAY_MODE_CELL_FRONT : PLAY_MODE_CELL_BACK) | PLAY_CELL_OVERLAY | playFlags;
    SetLastError(0);
    cell->state = PagePlay(w.context, w.header, w.budget, w.forms, w.source, cell->page,
                           cell->first ? w.request : nullptr, mode, &cell->store);
    if (cell->state == nullptr) {
        cell->done = 1;
        return GetLastError() == ERROR_NOT_ENOUGH_MEMORY ? -1 : 0;
    }
    PageState* state = cell->state;
    const BandState* grid = w.grid;
    const SIZE page{RoundHalfUp(state->header.width * grid->scaleX), RoundHalfUp(state->header.height * grid->scaleY)};
    SIZE fitted{};
    const double fit = FitScale(SIZE{LONG(grid->cellSize[0]), LONG(grid->cellSize[1])}, page, &fitted);
    if (fit <= 0.0) {
        CellRelease(w, cell);
        return 0;
    }
    FormLevelsViewportScale(state->levels, state->depth, grid->scaleX * fit, grid->scaleY * fit);
    const POINT origin{cell->drawOrigin.x + (LONG(grid->cellSize[0]) - fitted.cx) / 2,
                       cell->drawOrigin.y + (LONG(grid->cellSize[1]) - fitted.cy) / 2};
    FormLevelsOffset(state->levels, state->depth, origin, true);
    BandIterator walk{};
    walk.direction = w.direction;
    if (!FormLevelsMapToDevice(state->levels, state->depth) ||
        !FormLevelsOptimize(state->levels, state->depth, &walk)) {
        CellRelease(w, cell);
        return -1;
    }
    if (w.borders) {
        const RECT frame{origin.x, origin.y, origin.x + fitted.cx, origin.y + fitted.cy};
        const SIZE width{LONG(grid->borderWidth[0]), LONG(grid->borderWidth[1])};
        if (!PageBordersPush(state, cell->store, &frame, width, &w.frames[cell - grid->cells])) {
            CellRelease(w, cell);
            return -1;
        }
    }
    cell->loaded = 1;
    return 1;
}

}  // namespace

int BandLoopRenderForms(const RenderContext* render, PageSource* source, const PagePlacement* placement, uint32_t,
                        SheetInsertRequest* request, uint32_t front, uint32_t cells, uint32_t arrangement,
                        uint32_t placed, const uint32_t* pages)
{
    OutputModuleContext* context = render->module;
    const RenderOptions* options = render->options;
    JobHeader* header = render->header;
    BandMemory* bands = render->bands;
    TextureCache* textures = render->textures;
    auto* grid = static_cast<BandState*>(RenderAlloc(sizeof(BandState)));
    if (grid == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    const uint32_t orientation =
        BandStateInit(grid, header, placement, cells, arrangement, 0, front, 0, 0, SideTurn(options, placement, front));
    for (uint32_t i = 0; i < placed && i < grid->orderCount; ++i) {
        BandCell& cell = grid->cells[(grid->order[i] >> 8) * 5 + (grid->order[i] & 0xFF)];
        cell.page = pages[i];
        cell.hasPage = 1;
    }
    CellWalk w{context, header, render->budget, render->forms, source, request, front, grid, false, {}, orientation};
    w.borders = options != nullptr && (options->flags & RENDER_FLAG_SHEET_FLAG_20);
    for (PageBorders& frame : w.frames) frame.level = UINT32_MAX;

    SideWalk side{};
    side.context = context;
    side.header = header;
    side.skip = (context->caps & (IMO_CAPS_TRIM_BAND | IMO_CAPS_BAND_SKIP)) != 0;
    side.gray = (placement->mediaFlags & IMO_MEDIA_GRAY_FORMAT_VALID) ? &placement->grayFormat : nullptr;
    const ImxImageFormat* colour =
        (placement->mediaFlags & IMO_MEDIA_COLOR_FORMAT_VALID) ? &placement->colorFormat : nullptr;
    const bool colourFirst = (header->headerFlags & 1) != 0;
    side.kind = colourFirst ? (colour != nullptr ? 1 : 0) : (side.gray != nullptr ? 0 : 1);
    side.config = side.kind == 1 ? colour : side.gray;
    const uint32_t mirror =
        (((header->jobFlags & JobFlagMirrored) != 0) != ((placement->mediaFlags & IMO_MEDIA_MIRRORED) != 0)) ? 1 : 0;
    const uint32_t pageSize[2] = {grid->sheetSize[0], grid->sheetSize[1]};

    int ok = 1;
    // The first cell is played now: its page header's blob goes with the image.
    BandCell* firstCell = nullptr;
    for (BandCell& cell : grid->cells)
        if (cell.first && cell.hasPage) firstCell = &cell;
    if (firstCell != nullptr && CellPagePrepare(w, firstCell, PLAY_BLOB) < 0) ok = 0;
    const PageState* firstState = firstCell != nullptr ? firstCell->state : nullptr;
    const uint32_t blobSize = firstState != nullptr && firstState->blob != nullptr ? firstState->header.blobSize : 0;

    const RECT area = grid->sheetRect;
    BandIterInit(&side.iterator, pageSize, &area, orientation, mirror);
    RECT destination{};
    RectOrient(orientation, mirror, pageSize, &area, &destination);
    bool begun = false;
    if (ok && context->slots.ImageBegin != nullptr &&
        context->slots.ImageBegin(context->instance, side.kind, &destination, 0, blobSize,
                                  firstState != nullptr ? firstState->blob : nullptr) != 0)
        ok = 0;
    begun = ok;
    if (ok && !BandSetup(bands, placement->resolution, side.config, 0, &side.iterator, &side.layout)) ok = 0;
    else if (ok) {
        for (int more = BandIterFirst(&side.iterator, &side.layout); ok && more;
             more = BandIterNext(&side.iterator, &side.layout)) {
            const RECT band = side.iterator.band;
            bool drew = false;
            BandBegin(&side.layout, &band);
            for (uint32_t r = 0; ok && r < grid->rows; ++r)
                for (uint32_t c = 0; ok && c < grid->columns; ++c) {
                    BandCell* cell = &grid->cells[r * 5 + c];
                    if (!cell->hasPage || cell->done) continue;
                    const RECT rect = CellRect(grid, *cell);
                    if (!Meets(rect, band)) continue;
                    if (!cell->loaded) {
                        const int prepared = CellPagePrepare(w, cell, 0);
                        if (prepared < 0) ok = 0;
                        if (prepared <= 0) continue;
                    }
                    uint32_t total = 0;
                    if (!FormLevelsBandIntersect(cell->state->levels, cell->state->depth, &band, &total)) {
                        ok = 0;
                        continue;
                    }
                    if (total == 0) continue;
                    if (!drew) BandPlanesClear(&side.layout);
                    drew = true;
                    BandsRender(cell->state->levels, cell->state->depth, &side.layout, context, textures);
                    FormLevelsCull(cell->state->levels, cell->state->depth, &side.iterator.remainder);
                }
            // Cells that the rest of the walk no longer reaches are done.
            for (BandCell& cell : grid->cells)
                if (cell.loaded && !Meets(CellRect(grid, cell), side.iterator.remainder)) CellRelease(w, &cell);
            if (!ok) break;
            if (drew) ok = SideBandAdd(&side);
            else if (!side.skip) ok = SideEmptyBandAdd(&side, &band);
        }
        BandSurfacesFree(bands, &side.layout);
    }
    for (BandCell& cell : grid->cells)
        if (cell.loaded) CellRelease(w, &cell);
    RenderFree(grid);
    if (!ok) return 0;
    (void)begun;
    return context->slots.ImageEnd == nullptr || context->slots.ImageEnd(context->instance) == 0;
}
