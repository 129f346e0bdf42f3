// The band loops: one sheet side rendered as one output-module image, from a single page, from
// several n-up cells, or blank.
#pragma once

#include <cstdint>

#include "engine/page/render_context.h"
#include "platform/types.h"

struct PageSource;
struct PagePlacement;
struct SheetInsertRequest;
struct TileLayout;

// A side without drawing: ImageBlank when the module has it, else an image of empty bands. The
// blob is the page header's (none for a side without a page). 1 or 0.
int BlankPageRender(OutputModuleContext* context, JobHeader* header, BandMemory* bands, const PagePlacement* placement,
                    uint32_t unused, const uint32_t pageSize[2], const RECT* pageRect, uint32_t blobSize,
                    const void* blob);
// The side of one page (a poster tile when tile is not null). 1 or 0.
int BandLoopRender(const RenderContext* render, PageSource* source, const PagePlacement* placement,
                   const TileLayout* tile, uint32_t page, SheetInsertRequest* request, uint32_t front);
// The side of several n-up cells. 1 or 0.
int BandLoopRenderForms(const RenderContext* render, PageSource* source, const PagePlacement* placement, uint32_t page,
                        SheetInsertRequest* request, uint32_t front, uint32_t cells, uint32_t arrangement,
                        uint32_t placed, const uint32_t* pages);
