// STUB until the band loops land: every side goes out blank. Pages are still played, so that a
// page that cannot be read fails its sheet and a page-end record's sheet request reaches the
// sequencing; their drawing is not rendered yet. Replace the bodies, keep the signatures.
#include "engine/band/band_loop.h"

#include "engine/display/resource_store.h"
#include "engine/job/output_module.h"
#include "engine/job/render_call.h"
#include "engine/page/page_state.h"
#include "engine/spool/page_source.h"

int BlankPageRender(OutputModuleContext* context, JobHeader*, BandMemory*, const PagePlacement* placement, uint32_t,
                    const uint32_t pageSize[2], const RECT*, uint32_t blobSize, const void* blob)
{
    if (context->slots.ImageBlank != nullptr) return context->slots.ImageBlank(context->instance, blobSize, blob) == 0;
    // Without ImageBlank a blank side is an image without drawing; its empty bands are not sent
    // yet (as under band skipping).
    const uint32_t kind = (placement->mediaFlags & IMO_MEDIA_GRAY_FORMAT_VALID) ? 0 : 1;
    const RECT destination{0, 0, static_cast<LONG>(pageSize[0]), static_cast<LONG>(pageSize[1])};
    if (context->slots.ImageBegin != nullptr &&
        context->slots.ImageBegin(context->instance, kind, &destination, 0, 0, nullptr) != 0)
        return 0;
    return context->slots.ImageEnd == nullptr || context->slots.ImageEnd(context->instance) == 0;
}

// Plays one page into a page state of its own and releases it again.
static int PagePlayOnce(OutputModuleContext* context, JobHeader* header, ResourceBudget* budget, FormTable* forms,
                        PageSource* source, uint32_t page, SheetInsertRequest* request, uint32_t mode,
                        uint32_t* blobSize, uint8_t** blob)
{
    ResourceStore* store = ResourceStoreCreate(budget, source->stream);
    if (store == nullptr) return 0;
    auto* state = static_cast<PageState*>(RenderAlloc(sizeof(PageState)));
    if (state == nullptr) {
        ResourceStoreDestroy(store);
        return 0;
    }
    PageStateInit(state, forms, store);
    const int played = FormPlay(state, context, header, source, page, request, mode);
    if (played && blob != nullptr) {
        *blobSize = state->blob != nullptr ? state->header.blobSize : 0;
        *blob = state->blob;
        state->blob = nullptr;
    }
    PageStateClear(state);
    RenderFree(state);
    ResourceStoreDestroy(store);
    return played;
}

int BandLoopRender(OutputModuleContext* context, RenderOptions*, JobHeader* header, ResourceBudget* budget,
                   FormTable* forms, BandMemory* bands, TextureCache*, PageSource* source,
                   const PagePlacement* placement, const TileLayout*, uint32_t page, SheetInsertRequest* request,
                   uint32_t front)
{
    uint32_t blobSize = 0;
    uint8_t* blob = nullptr;
    if (!PagePlayOnce(context, header, budget, forms, source, page, request, front ? PLAY_MODE_FRONT : PLAY_MODE_BACK,
                      &blobSize, &blob))
        return 0;
    const int done = BlankPageRender(context, header, bands, placement, 0, placement->sizePixels, nullptr, blobSize, blob);
    RenderFree(blob);
    return done;
}

int BandLoopRenderForms(OutputModuleContext* context, RenderOptions*, JobHeader* header, ResourceBudget* budget,
                        FormTable* forms, BandMemory*, TextureCache*, PageSource* source,
                        const PagePlacement* placement, uint32_t, SheetInsertRequest* request, uint32_t front, uint32_t,
                        uint32_t, uint32_t placed, const uint32_t* pages)
{
    uint32_t blobSize = 0;
    uint8_t* blob = nullptr;
    for (uint32_t i = 0; i < placed; ++i) {
        // A cell whose page cannot be played stays empty, but lack of memory fails the side: the
        // page is sound and would be lost. Only the first cell takes the request.
        if (!PagePlayOnce(context, header, budget, forms, source, pages[i], i == 0 ? request : nullptr,
                          (front ? PLAY_MODE_CELL_FRONT : PLAY_MODE_CELL_BACK) | (i == 0 ? PLAY_BLOB : 0),
                          i == 0 ? &blobSize : nullptr, i == 0 ? &blob : nullptr) &&
            GetLastError() == ERROR_NOT_ENOUGH_MEMORY) {
            RenderFree(blob);
            return 0;
        }
    }
    const RECT destination{0, 0, static_cast<LONG>(placement->sizePixels[0]), static_cast<LONG>(placement->sizePixels[1])};
    const uint32_t kind = (placement->mediaFlags & IMO_MEDIA_GRAY_FORMAT_VALID) ? 0 : 1;
    int done = 1;
    if (context->slots.ImageBegin != nullptr &&
        context->slots.ImageBegin(context->instance, kind, &destination, 0, blobSize, blob) != 0)
        done = 0;
    if (done && context->slots.ImageEnd != nullptr && context->slots.ImageEnd(context->instance) != 0) done = 0;
    RenderFree(blob);
    return done;
}
