// A page's display list read as the band loop reads it, and the GDI road's band walk over it, for
// the races that draw commands themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "tests/support/memory_stream.h"

struct BenchPage {
    std::unique_ptr<OutputModuleContext> device = std::make_unique<OutputModuleContext>();
    ResourceBudget* budget = nullptr;
    std::unique_ptr<MemoryStream> memory;
    Stream* stream = nullptr;
    ResourceStore* store = nullptr;
    CmdList list{};

    BenchPage(const std::vector<uint8_t>& page, uint32_t xResolution, uint32_t yResolution)
    {
        device->media.xResolution = xResolution;
        device->media.yResolution = yResolution;
        budget = ResourceBudgetCreate(device.get(), 4096, 0x4000000, 0x8000000);
        memory = std::make_unique<MemoryStream>(page);
        stream = MemoryStreamOpen(memory.get());
        store = ResourceStoreCreate(budget, stream);
        CmdListInit(&list, store, 1);
        PageRecordsRead(&list, stream, nullptr);
    }
    ~BenchPage()
    {
        CmdListDestroyAll(&list);
        ResourceStoreDestroy(store);
        ResourceBudgetDestroy(budget);
        StreamClose(stream);
    }
    BenchPage(const BenchPage&) = delete;
    BenchPage& operator=(const BenchPage&) = delete;
};

// Every command drawn into each band of `rows` rows that it meets, as the band loop's GDI road
// does; `take` sees the surface after each band.
template <class Take>
void DrawInBands(BenchPage& page, BandSurface* surface, int width, int height, int rows, Take take)
{
    for (int top = 0; top < height; top += rows) {
        BandSurfaceClear(surface, SIZE{width, rows});
        SetViewportOrgEx(surface->drawDC, 0, -top, nullptr);
        const RECT band{0, top, width, std::min(top + rows, height)};
        for (CmdNode* n = CmdListFirst(&page.list); n != CmdListEnd(&page.list); n = n->next) {
            const RECT& r = n->bounds;
            if (r.left < band.right && r.right > band.left && r.top < band.bottom && r.bottom > band.top)
                CmdSlotDraw(n, page.store, surface, &band, nullptr);
        }
        BandSurfaceResetDC(surface);
        GdiFlush();
        take(surface);
    }
}
