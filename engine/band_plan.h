// Band memory (one work buffer per render job that only grows) and the band plan of one page side
// (BandLayout): the band image handed to the output module, the plane configuration and its
// resolutions, the band geometry and the band surfaces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "rastrel/imx_types.h"

struct OutputModuleContext;
struct BandSurface;

struct BandMemory {
    OutputModuleContext* job;
    uint8_t* workBuffer;        // all plane and rotation buffers of the current page's bands
    uint32_t workCapacity;      // bytes of the work buffer
    uint32_t budget;            // bytes one band may use, a multiple of 4096
};
static_assert(sizeof(BandMemory) == 24);
static_assert(offsetof(BandMemory, workCapacity) == 16);
static_assert(offsetof(BandMemory, budget) == 20);

inline constexpr uint32_t BAND_MAX_RESOLUTIONS = 8;

struct BandResolution {
    uint32_t x;
    uint32_t y;
};

struct BandLayout {
    ImxImage band;                              // what BandAdd receives
    ImxImageFormat planeConfig;                 // resolutions of 0 replaced by the job's
    uint32_t jobResolution[2];
    uint32_t resolutionCount;                   // 0 when every plane is at the job resolution
    BandResolution resolutions[BAND_MAX_RESOLUTIONS];  // the first is the job resolution
    uint32_t planeResolutionIndex[IMX_MAX_PLANES];
    uint32_t pageSize[2];                       // page orientation, device pixels
    uint32_t bandSize[2];                       // page orientation
    uint32_t planeBytes;                        // plane buffers of one band
    RECT bandRect;                              // current band, page coordinates
    uint32_t orientation;                       // 0 upright, 1 half turn, 2 and 3 quarter turns
    uint32_t mirror;
    uint8_t* workBase;                          // the work buffer at set-up
    BandSurface* maskSurface;                   // kind 2, at the largest plane resolution
    BandSurface* secondMaskSurface;             // kind 2, band size; only with second surfaces
    BandSurface* resolutionMaskSurface;         // kind 2; only with a resolution count
    uint8_t* maskOut;                           // 1-bit buffer handed on
    BandSurface* colorSurface;                  // kind 1, band size
    BandSurface* secondColorSurface;            // kind 1; only with second surfaces
    uint8_t* conversionOut;                     // colour converted to the band's pixel format
    uint8_t* colorOut;                          // 24-bit buffer handed on
};
static_assert(sizeof(BandLayout) == 744);
static_assert(offsetof(BandLayout, band) == 0);
static_assert(offsetof(BandLayout, planeConfig) == 344);
static_assert(offsetof(BandLayout, jobResolution) == 520);
static_assert(offsetof(BandLayout, resolutionCount) == 528);
static_assert(offsetof(BandLayout, resolutions) == 532);
static_assert(offsetof(BandLayout, planeResolutionIndex) == 596);
static_assert(offsetof(BandLayout, pageSize) == 628);
static_assert(offsetof(BandLayout, bandSize) == 636);
static_assert(offsetof(BandLayout, planeBytes) == 644);
static_assert(offsetof(BandLayout, bandRect) == 648);
static_assert(offsetof(BandLayout, orientation) == 664);
static_assert(offsetof(BandLayout, mirror) == 668);
static_assert(offsetof(BandLayout, workBase) == 672);
static_assert(offsetof(BandLayout, maskSurface) == 680);
static_assert(offsetof(BandLayout, secondMaskSurface) == 688);
static_assert(offsetof(BandLayout, resolutionMaskSurface) == 696);
static_assert(offsetof(BandLayout, maskOut) == 704);
static_assert(offsetof(BandLayout, colorSurface) == 712);
static_assert(offsetof(BandLayout, secondColorSurface) == 720);
static_assert(offsetof(BandLayout, conversionOut) == 728);
static_assert(offsetof(BandLayout, colorOut) == 736);

// The job's band memory: no work buffer yet; the budget rounded up to a multiple of 4096.
// Null when the record cannot be allocated.
BandMemory* BandMemoryCreate(OutputModuleContext* job, uint32_t budget);
// Frees the work buffer and the record. Null does nothing.
void BandMemoryDestroy(BandMemory* memory);
