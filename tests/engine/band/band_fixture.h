// A stand-in output module for band planning: it answers the plane memory limit and the host's
// band lines, and nothing else.
#pragma once

#include <cstring>
#include <memory>

#include "engine/band/band_walk.h"
#include "engine/common/output_module.h"
#include "engine/raster/band_plan.h"

struct FakeBandModule {
    ImxStatus limitResult = 0;
    uint32_t planeLimit = 0;
    uint32_t bandFlags = 0;
    uint32_t bandLines = 0;
    int bandLinesAsked = 0;
};

inline ImxStatus FakeBandQuery(ImoInstance instance, uint32_t id, uint32_t, const void*, uint32_t* size, void* out)
{
    auto* fake = static_cast<FakeBandModule*>(instance);
    if (id == DEVICE_QUERY_PLANE_LIMIT) {
        if (fake->limitResult != 0) return fake->limitResult;
        std::memcpy(out, &fake->planeLimit, 4);
        *size = 4;
        return 0;
    }
    if (id == DEVICE_QUERY_BAND_LINES) {
        ++fake->bandLinesAsked;
        const uint32_t answer[2] = {fake->bandFlags, fake->bandLines};
        std::memcpy(out, answer, 8);
        *size = 8;
        return 0;
    }
    return IMX_ERR_QUERY_UNKNOWN;
}

struct BandJob {
    FakeBandModule fake;
    OutputModuleContext context{};
    BandMemory* memory = nullptr;

    explicit BandJob(uint32_t budget, uint32_t caps = 0)
    {
        context.instance = &fake;
        context.slots.DeviceQuery = FakeBandQuery;
        context.caps = caps;
        memory = BandMemoryCreate(&context, budget);
    }
    ~BandJob() { BandMemoryDestroy(memory); }
    BandJob(const BandJob&) = delete;
    BandJob& operator=(const BandJob&) = delete;
};

// A configuration of count planes of the given depth, at (x, y) dpi (0 = the job's).
inline ImxImageFormat PlaneFormat(uint32_t count, uint32_t depth, uint32_t colorBits, uint32_t x = 0, uint32_t y = 0)
{
    ImxImageFormat format{};
    format.formatId = OCM_COLOR_GRAY1;
    format.colorBits = colorBits;
    format.planeCount = count;
    for (uint32_t i = 0; i < count; ++i) format.planes[i] = ImxPlaneFormat{i + 1, 0, depth, x, y};
    return format;
}

// The layout's surfaces freed at the end of a scope.
struct LayoutGuard {
    BandMemory* memory;
    BandLayout* layout;
    ~LayoutGuard() { BandSurfacesFree(memory, layout); }
};
