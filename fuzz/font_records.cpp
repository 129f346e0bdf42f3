// The font store's readers (font, TrueType table, font data and glyph records) over arbitrary
// records; then every font found is realised (TrueType fonts built in memory and installed), its
// glyphs looked up, and everything released and destroyed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/stores/resource_store.h"
#include "engine/spool/stream.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), (data[0] & 1) == 0, chunks[(data[0] >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory);
    if (!stream) return 0;
    auto device = std::make_unique<OutputModuleContext>();
    device->media.xResolution = device->media.yResolution = 200;
    device->jobResolution[0] = device->jobResolution[1] = 200;
    ResourceBudget* budget = ResourceBudgetCreate(device.get(), (data[0] & 0x10) ? 1 : 256, 0x400000, 0x10000);
    ResourceStore* store = budget ? ResourceStoreCreate(budget, stream) : nullptr;
    if (store) {
        FontStore* fonts = &store->fonts;
        for (int records = 0; records < 256; ++records) {
            SpoolRecordHeader header;
            if (!SpoolRecordPeek(stream, &header)) break;
            const int ok = header.type == 39 || header.type == 40 ? GlyphDefine(fonts, stream)
                           : header.type == 43                    ? FontDataDefine(fonts, stream)
                                                                  : FontDefine(fonts, stream);
            if (!ok) break;
        }
        for (ResourceId id = 0; id < 8; ++id) {
            FontEntry* font = FontLookup(fonts, id);
            if (font == nullptr) continue;
            ResourceCost tally{};
            FontRealize(fonts, font, &tally);
            if (font->cache != nullptr)
                for (uint16_t code : {0, 5, 65, 133, 0xFFFF}) GlyphFind(font->cache, 0, code);
            FontRelease(fonts, font, id & 1, &tally);
        }
        ResourceStoreDestroy(store);
    }
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return 0;
}
