// The font store's records are not read yet: a font or glyph record fails its page.
#include "engine/display/font_store.h"

#include "engine/job/render_call.h"

void FontStoreInit(FontStore* store, StreamSpill* spill, OutputModuleContext* device)
{
    *store = FontStore{};
    store->device = device;
    store->spill = spill;
}

void FontStoreDestroy(FontStore* store, ResourceCost*)
{
    ResourceBucketsEmpty(store->buckets, [](FontEntry* entry) { RenderFree(entry); });
    store->count = 0;
}

void FontStoreTrim(FontStore*, BandSurface*, uint32_t, ResourceCost*) {}

int FontDefine(FontStore*, Stream*) { return ResourceRecordUnsupported(); }
int GlyphDefine(FontStore*, Stream*) { return ResourceRecordUnsupported(); }
int GlyphTableDefine(FontStore*, Stream*) { return ResourceRecordUnsupported(); }
int FontDataDefine(FontStore*, Stream*) { return ResourceRecordUnsupported(); }
