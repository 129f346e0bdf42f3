// What the band loops share while they walk one sheet side: the side's image kind and plane
// configuration, its band iterator and band plan, and the page player.
#pragma once

#include <cstdint>

#include "engine/raster/band_plan.h"
#include "platform/types.h"

struct OutputModuleContext;
struct JobHeader;
struct FormLevel;
struct TextureCache;
struct PageState;
struct ResourceStore;
struct ResourceBudget;
struct FormTable;
struct PageSource;
struct SheetInsertRequest;
struct RenderOptions;
struct PagePlacement;
struct TileLayout;

struct SideWalk {
    OutputModuleContext* context;
    const JobHeader* header;
    const ImxImageFormat* config;  // the side's configuration
    const ImxImageFormat* gray;  // the placement's grey configuration, or null
    uint32_t kind;  // 1 colour, 0 grey
    bool skip;  // band skipping
    BandIterator iterator;
    BandLayout layout;
};

// Plays a page into a new page state over a new resource store; null (nothing left) on failure.
PageState* PagePlay(OutputModuleContext* context, JobHeader* header, ResourceBudget* budget, FormTable* forms,
                    PageSource* source, uint32_t page, SheetInsertRequest* request, uint32_t mode,
                    ResourceStore** store);
void PagePlayRelease(PageState* state, ResourceStore* store);

// 1 when the side is turned by half a turn more: the render options' turn flag, the media's half
// turn, and on a back side the feed edge against the sides code and the rotated duplex mode.
uint32_t SideTurn(const RenderOptions* options, const PagePlacement* placement, uint32_t front);

// The side of one played page: placement, trimming, ImageBegin, the band walk, ImageEnd. 1 or 0.
int PageSideRender(OutputModuleContext* context, RenderOptions* options, JobHeader* header, BandMemory* bands,
                   TextureCache* textures, const PagePlacement* placement, const TileLayout* tile, PageState* state,
                   uint32_t front);
// Every band of the side: collect, draw, cull, hand on. 1 or 0 at the first failure.
int SideBandsWalk(SideWalk* side, FormLevel* levels, uint32_t depth, TextureCache* textures);
// An empty band (switched to grey where the device bands heterogeneously) handed on. 1 or 0.
int SideEmptyBandAdd(SideWalk* side, const RECT* band);
// The current band handed on unless it is empty under band skipping. 1 or 0.
int SideBandAdd(SideWalk* side);
// The band's configuration by the colours of its commands, where the device allows it.
void SideBandConfig(SideWalk* side, uint32_t pendingFlags);
