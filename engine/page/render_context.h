// What one render call hands down the band road to every sheet and page of a pass: the output
// module, the render options, the job header, and the memory, forms and caches the pages share.
#pragma once

struct OutputModuleContext;
struct RenderOptions;
struct JobHeader;
struct ResourceBudget;
struct FormTable;
struct BandMemory;
struct TextureCache;

struct RenderContext {
    OutputModuleContext* module;
    RenderOptions* options;
    JobHeader* header;
    ResourceBudget* budget;
    FormTable* forms;
    BandMemory* bands;
    TextureCache* textures;
};
static_assert(sizeof(RenderContext) == 7 * sizeof(void*));
