// Bitmap records over arbitrary bytes: every bitmap the page body defines is looked up, decoded,
// made a GDI bitmap, masked (by a key and by its white pixels), scaled and tested for its colours. The first byte picks the stream's
// kind (bit 0 forward-only), image hints (bit 1) and widening through a module hook (bit 2).
// The commands read with them are drawn into a small band and its mask.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/cmd_node.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "engine/raster/band_surface.h"
#include "tests/support/memory_stream.h"

static ImxStatus Accept(ImoInstance, const ImxImage*, uint32_t) { return 0; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), (options & 1) == 0, 0);
    Stream* stream = MemoryStreamOpen(&memory);
    if (!stream) return 0;
    OutputModuleContext device{};
    device.options = (options & 2) ? IMO_OPTION_IMAGE_HINTS : 0;
    if (options & 4) device.slots.BitmapPrepare = Accept;
    ResourceBudget* budget = ResourceBudgetCreate(&device, 64, 0x1000000, 0x1000000);
    if (ResourceStore* store = ResourceStoreCreate(budget, stream)) {
        CmdList list;
        CmdListInit(&list, store, 1);
        PageRecordsRead(&list, stream, nullptr);
        BandSurface* band = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{48, 16}, nullptr, 0, 0);
        BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{48, 16}, nullptr, 0, 0);
        if (band && mask) {
            SetWindowOrgEx(band->drawDC, 0, options & 0x38, nullptr);
            const RECT area{0, 0, 48, 16};
            const SIZE extent{48, 16};
            for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next) {
                const CmdOpRow& row = CmdRow(n);
                uint32_t colour = 0;
                uint8_t hint = 0;
                row.colorClassGet(n, &colour, &hint, 0);
                row.draw(n, store, band, &area, nullptr);
                row.drawRestore(n, store, band, &area, &extent);
                row.renderBand(n, store, mask, &area, &area, &area, options & 8);
            }
        }
        BandSurfaceDestroy(band);
        BandSurfaceDestroy(mask);
        BitmapStore* bitmaps = &store->bitmaps;
        std::vector<BitmapEntry*> entries;
        ResourceTableEach(&bitmaps->table, [&](BitmapEntry* e) { entries.push_back(e); });
        // In id order: the table's bucket order changes from process to process.
        std::stable_sort(entries.begin(), entries.end(),
                         [](const BitmapEntry* a, const BitmapEntry* b) { return a->head.id < b->head.id; });
        for (BitmapEntry* e : entries) {
            ResourceCost tally{};
            BitmapEntry* entry = BitmapLookup(bitmaps, e->head.id);
            BitmapMonoDetect(bitmaps, entry);
            if (BitmapRealize(bitmaps, entry, nullptr, &tally)) BitmapPaletteIsPositive(entry);
            for (BitmapEntry* mask : {BitmapCloneMask(bitmaps, entry, options), BitmapCloneWhiteMask(bitmaps, entry)}) {
                if (mask == nullptr) continue;
                BitmapPixelsLoad(bitmaps, mask, &tally);
                BitmapRelease(bitmaps, mask, 1, &tally);
            }
            BitmapStoreDeviceSizeSet(bitmaps, entry, &tally, SIZE{1 + options % 13, 1 + options % 7});
            BitmapPixelsLoad(bitmaps, entry, &tally);
            BitmapRelease(bitmaps, entry, 0, &tally);
            ResourceBudgetCharge(budget, tally);
        }
        CmdListDestroyAll(&list);
        ResourceStoreDestroy(store);
    }
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return 0;
}
