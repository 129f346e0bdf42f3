// A page's display list read as the band loop reads it, and the GDI road's band walk over it, for
// the races that draw commands themselves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "tests/support/display_job.h"

// A page read whole before the race, under limits it never reaches, its bitmap data parked in a
// spill over the page's own stream.
struct BenchPage : DisplayJob {
    BenchPage(const std::vector<uint8_t>& page, uint32_t xResolution, uint32_t yResolution)
        : DisplayJob(4096, 0, xResolution, 0x4000000, 0x8000000)
    {
        device->media.yResolution = device->jobResolution[1] = yResolution;
        spill = true;
        ReadPage(page);
    }
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
