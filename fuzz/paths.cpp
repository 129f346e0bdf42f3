// Path records over arbitrary bytes: each path read is realised in a small band (curves
// flattened), clipped, edge-tabled and scan-filled under both rules, and bounded against a clip.
// The first byte picks the window origin and whether the stream delivers a byte at a time.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/display/stores/path_clip.h"
#include "engine/display/stores/path_store.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/polygon_scan.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), true, (options & 1) ? 1 : 0);
    Stream* stream = MemoryStreamOpen(&memory);
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{96, 48}, nullptr, 0, 0);
    if (stream == nullptr || surface == nullptr) {
        StreamClose(stream);
        BandSurfaceDestroy(surface);
        return 0;
    }
    SetWindowOrgEx(surface->drawDC, (options >> 1) & 7, ((options >> 4) & 7) * 16, nullptr);
    PathStore store;
    PathStoreInit(&store);
    ResourceCost tally{};
    const RECT band{0, 0, 96, 48};
    std::vector<PathEntry*> seen;
    for (int records = 0; records < 8 && PathDefine(&store, stream); ++records) {
        // The path just read: the one entry not seen after the earlier records.
        PathEntry* path = nullptr;
        ResourceTableEach(&store.table, [&](PathEntry* p) {
            if (std::find(seen.begin(), seen.end(), p) == seen.end()) path = p;
        });
        if (path == nullptr) break;
        seen.push_back(path);
        RECT bounds;
        PathClipBounds(path, &band, &bounds);
        if (PathRealize(&store, path, nullptr, surface, &tally) && path->realised->pointCount < 100000) {
            std::vector<Edge> edges(8 * size_t{path->realised->pointCount} + 8);
            for (int rule : {1, 2}) {
                uint32_t count = 0;
                if (PathEdgeTableBuild(path, &band, nullptr, &bounds, edges.data(), &count))
                    PolygonScanFill(surface, edges.data(), count, (path->head.flags & PATH_MONOTONE) != 0, rule, 3);
            }
        }
    }
    PathStoreDestroy(&store, &tally);
    StreamClose(stream);
    BandSurfaceDestroy(surface);
    return 0;
}
