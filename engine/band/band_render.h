// The band renderers: the commands a band's form levels collected, each clipped, drawn into the
// band's mask or colour surface, classified by colour, turned into a texture and painted into the
// band's planes.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct BandLayout;
struct FormLevel;
struct OutputModuleContext;
struct TextureCache;
struct TextureCacheEntry;

// Chooses the single- or multi-resolution renderer by the layout's resolution count. Always 1: a
// command that cannot be drawn is skipped and the band is still handed on.
int BandsRender(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                TextureCache* cache);
int BandRenderSingle(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                     TextureCache* cache);
int BandRenderMulti(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                    TextureCache* cache);

// Draws every collected command of every level through GDI into the colour surface (second
// surfaces for a blended overlay level), then flushes GDI.
void FormLevelsRenderBand(FormLevel* levels, uint32_t count, BandLayout* layout, OutputModuleContext* context,
                          const RECT* band);
// The levels' image over the area (band-local page pixels) as an image texture lent to the caller,
// or null.
TextureCacheEntry* FormLevelImageRender(BandLayout* layout, OutputModuleContext* context, TextureCache* cache,
                                        FormLevel* levels, uint32_t count, const RECT* area, uint8_t hint);

// Count of commands drawn by the renderers since the library was loaded.
uint64_t BandRenderDrawnCount();
