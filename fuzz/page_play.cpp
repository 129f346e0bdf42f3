// The page player over arbitrary bytes: every page of the input played into a page state with the
// forms defined before it, as the band loops play them. The first byte picks the stream's kind
// (bit 0 forward-only, bits 1-3 how few bytes each callback call delivers) and bits 4-6 the play
// flags. Form-file records are turned into skipped records first: they would open whatever file
// the input names.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/form_table.h"
#include "engine/page/page_state.h"
#include "engine/page/preamble.h"
#include "engine/spool/page_source.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    std::vector<uint8_t> bytes(data + 1, data + size);
    for (size_t at = 0; at + 8 <= bytes.size();) {
        const uint32_t recordSize = LoadLE32(&bytes[at + 4]);
        if ((LoadLE16(&bytes[at]) & 0x3fff) == 7) StoreLE16(&bytes[at], 64);
        if (recordSize < 8) break;
        at += recordSize;
    }
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::move(bytes), (options & 1) == 0, chunks[(options >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory);
    if (!stream) return 0;
    PageSource* source = PageSourceOpen(stream, nullptr);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    FormTable* forms = FormTableCreate(budget);
    JobHeader header{};
    header.resolutionX = header.resolutionY = 200;
    header.firstExtent[0] = 20;
    header.secondExtent[1] = -30;
    header.jobFlags = 0xC0;
    static const uint32_t modes[] =
        {PLAY_MODE_FRONT, PLAY_MODE_BACK, PLAY_MODE_CELL_FRONT, PLAY_MODE_CELL_BACK, 0, 0x1f, 0x40, 0x5f};
    const uint32_t mode = modes[(options >> 4) & 7];
    if (source && forms) {
        for (uint32_t page = 0; page < 8; ++page) {
            ResourceStore* store = ResourceStoreCreate(budget, stream);
            if (!store) break;
            auto* state = new PageState;
            PageStateInit(state, forms, store);
            SheetInsertRequest request;
            const bool played = FormPlay(state, nullptr, &header, source, page, &request, mode) != 0;
            PageStateClear(state);
            delete state;
            ResourceStoreDestroy(store);
            if (!played && PageSourceSeek(source, page + 1) < 0) break;
        }
    }
    FormTableDestroy(forms);
    ResourceBudgetDestroy(budget);
    PageSourceClose(source);
    StreamClose(stream);
    return 0;
}
