// The font store's records are not read yet: a font or glyph record fails its page.
#include "engine/display/font_store.h"

#include "engine/job/render_call.h"
#include "platform/kernel.h"

void FontStoreInit(FontStore* store, StreamSpill* spill, OutputModuleContext* device)
{
    *store = FontStore{};
    store->device = device;
    store->spill = spill;
}

void FontStoreDestroy(FontStore* store, ResourceCost*)
{
    for (FontEntry*& bucket : store->buckets) {
        while (bucket != nullptr) {
            FontEntry* entry = bucket;
            bucket = entry->bucketNext;
            RenderFree(entry);
        }
    }
    store->count = 0;
}

void FontStoreTrim(FontStore*, BandSurface*, uint32_t, ResourceCost*) {}

static int FontRecordUnsupported()
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
int FontDefine(FontStore*, Stream*) { return FontRecordUnsupported(); }
int GlyphDefine(FontStore*, Stream*) { return FontRecordUnsupported(); }
int GlyphTableDefine(FontStore*, Stream*) { return FontRecordUnsupported(); }
int FontDataDefine(FontStore*, Stream*) { return FontRecordUnsupported(); }
