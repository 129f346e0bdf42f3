// The common frame of the resource-store fuzz targets: the first byte picks the stream's kind
// (bit 0 forward-only, bits 1-3 how few bytes each callback call delivers), the object budget
// (bit 4: one object, so that every preparation trims) and the output module's options (bits 5-7:
// brush scale, pen scale, thin lines); the rest is a run of records that the store's reader reads
// one after another until one fails. Then the store's objects are drawn into a band surface under
// the budget, and everything is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "rastrel/imo.h"
#include "tests/support/memory_stream.h"

template <class Read, class Use>
int StoreFuzz(const uint8_t* data, size_t size, Read read, Use use)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), (options & 1) == 0, chunks[(options >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory);
    if (!stream) return 0;
    auto device = std::make_unique<OutputModuleContext>();
    device->options = ((options & 0x20) ? IMO_OPTION_BRUSH_SCALE : 0) | ((options & 0x40) ? IMO_OPTION_PEN_SCALE : 0) |
                      ((options & 0x80) ? IMO_OPTION_THINLINE_HINTS : 0);
    device->media.xResolution = 300;
    device->media.yResolution = 200;
    device->jobResolution[0] = 300;
    device->thinLineValue = 2;
    ResourceBudget* budget = ResourceBudgetCreate(device.get(), (options & 0x10) ? 1 : 256, 0x400000, 0x10000);
    // Over the stream, so that bitmap records park their data in its spill.
    ResourceStore* store = budget ? ResourceStoreCreate(budget, stream) : nullptr;
    if (store) {
        for (int records = 0; records < 256 && read(store, stream) != 0; ++records) {}
        BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{64, 16}, nullptr, 0, 0);
        if (surface) {
            SetWindowExtEx(surface->drawDC, 3, 3, nullptr);
            SetViewportExtEx(surface->drawDC, 2, 2, nullptr);
            use(store, surface);
            BandSurfaceResetDC(surface);
            ResourceUseClear(store);
        }
        ResourceStoreDestroy(store);
        BandSurfaceDestroy(surface);
    }
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return 0;
}
