// The font store: downloaded and logical fonts (types 37, 38, 43) with their glyphs (39, 40, 42),
// installed privately and realised as GDI fonts under the job's budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/resource_object.h"

struct OutputModuleContext;
struct StreamSpill;
struct Stream;
struct BandSurface;

struct FontEntry {
    ResourceObject head;
    FontEntry* bucketNext;
};

struct FontStore {
    uint32_t count;
    OutputModuleContext* device;
    StreamSpill* spill;
    FontEntry* buckets[RESOURCE_BUCKETS];
};

void FontStoreInit(FontStore* store, StreamSpill* spill, OutputModuleContext* device);
void FontStoreDestroy(FontStore* store, ResourceCost* tally);
void FontStoreTrim(FontStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Readers of the font and glyph records. 1 or 0; 0 leaves the store as it was.
int FontDefine(FontStore* store, Stream* stream);          // 37 downloaded font head, 38 logical font
int GlyphDefine(FontStore* store, Stream* stream);         // 39 and 40 glyphs
int GlyphTableDefine(FontStore* store, Stream* stream);    // 42
int FontDataDefine(FontStore* store, Stream* stream);      // 43
