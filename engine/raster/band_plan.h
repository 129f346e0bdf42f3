// Band memory (one work buffer per render job that only grows) and the band plan of one page side
// (BandLayout): the band image handed to the output module, the plane configuration and its
// resolutions, the band geometry and the band surfaces. BandSetup cuts a page side into bands that
// fit the budget and lays out their buffers and surfaces.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"
#include "rastrel/imx_types.h"

struct OutputModuleContext;
struct BandSurface;

struct BandMemory {
    OutputModuleContext* job;
    uint8_t* workBuffer;  // all plane and rotation buffers of the current page's bands
    uint32_t workCapacity;  // bytes of the work buffer
    uint32_t budget;  // bytes one band may use, a multiple of 4096
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
    ImxImage band;  // what BandAdd receives
    ImxImageFormat planeConfig;  // resolutions of 0 replaced by the job's
    uint32_t jobResolution[2];
    uint32_t resolutionCount;  // 0 when every plane is at the job resolution
    BandResolution resolutions[BAND_MAX_RESOLUTIONS];  // the first is the job resolution
    uint32_t planeResolutionIndex[IMX_MAX_PLANES];
    uint32_t pageSize[2];  // page orientation, device pixels
    uint32_t bandSize[2];  // page orientation
    uint32_t planeBytes;  // plane buffers of one band
    RECT bandRect;  // current band, page coordinates
    uint32_t orientation;  // 0 upright, 1 half turn, 2 and 3 quarter turns
    uint32_t mirror;
    uint8_t* workBase;  // the work buffer at set-up
    BandSurface* maskSurface;  // kind 2, at the largest plane resolution
    BandSurface* secondMaskSurface;  // kind 2, band size; only with second surfaces
    BandSurface* resolutionMaskSurface;  // kind 2; only with a resolution count
    uint8_t* maskOut;  // 1-bit buffer handed on
    BandSurface* colorSurface;  // kind 1, band size
    BandSurface* secondColorSurface;  // kind 1; only with second surfaces
    uint8_t* conversionOut;  // colour converted to the band's pixel format
    uint8_t* colorOut;  // 24-bit buffer handed on
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

// One page side's orientation record and band iterator (the band walk steps it).
struct BandIterator {
    uint32_t direction;  // the page orientation: 0 down, 1 up, 2 leftward, 3 rightward
    uint32_t mirror;
    uint32_t pageSize[2];
    RECT pageRect;  // the area to be banded
    RECT remainder;  // what the bands handed out so far have not covered
    RECT band;  // the current band
};
static_assert(sizeof(BandIterator) == 64);
static_assert(offsetof(BandIterator, pageRect) == 16);
static_assert(offsetof(BandIterator, remainder) == 32);
static_assert(offsetof(BandIterator, band) == 48);

// The inputs every planner shares, fixed by BandSetup.
struct BandPlanInputs {
    uint64_t jobX, jobY;  // Wj, Hj
    uint64_t maxX, maxY;  // Rx, Ry: the largest plane resolutions
    uint64_t budget;  // B
    uint64_t planeLimit;  // L, 0 = none
    uint64_t hostLines;  // n, 0 = none
    bool granule;  // n is a granule, not the fixed band size
    uint64_t bytesPerPixel;  // q
    uint64_t second;  // s
    uint64_t multiResolution;  // m
    uint64_t alignment;  // 0 or 1 = none
    uint64_t rectWidth, rectHeight;  // the page rectangle
    uint64_t pageWidth, pageHeight;  // the page size
};

// What a planner chose, in bytes and pixels.
struct BandPlan {
    uint64_t bandWidth, bandHeight;
    uint64_t maskWidth, maskHeight;
    uint64_t planeBytes;
    uint64_t conversionBytes;
    uint64_t colorOutBytes;
    uint64_t maskOutBytes;
    uint64_t colorMinimum;
};

// The planners (orientation 0; 1 or 0 mirrored; 2 and 3). They write each plane's stride into the
// layout's band image.
void BandPlanUpright(const BandPlanInputs* in, BandLayout* layout, BandPlan* out);
void BandPlanHalfTurn(const BandPlanInputs* in, BandLayout* layout, BandPlan* out);
void BandPlanQuarterTurn(const BandPlanInputs* in, BandLayout* layout, BandPlan* out);

// Gives each plane its size (width x height scaled by its resolution over the job's) and, with a
// base, the next height x stride bytes from it, never past capacity. keepStrides keeps the
// planner's strides; otherwise each stride covers the plane's width in whole 32-bit words.
// Returns the bytes the planes take.
uint64_t BandPlanesLayOut(BandLayout* layout, uint32_t width, uint32_t height, bool keepStrides, uint8_t* base,
                          uint64_t capacity);

// The job's band memory: no work buffer yet; the budget rounded up to a multiple of 4096.
// Null when the record cannot be allocated.
BandMemory* BandMemoryCreate(OutputModuleContext* job, uint32_t budget);
// Frees the work buffer and the record. Null does nothing.
void BandMemoryDestroy(BandMemory* memory);

// Plans the bands of one page side: asks the module for its plane memory limit and band lines,
// chooses the band size, grows the work buffer, lays out the planes and the rotation buffers and
// creates the band surfaces. 1 on success; 0 with no surface left allocated.
int BandSetup(BandMemory* memory, const uint32_t jobResolution[2], const ImxImageFormat* config,
              uint32_t secondSurfaces, BandIterator* iterator, BandLayout* layout);
// Destroys the layout's band surfaces, the optional ones when present.
void BandSurfacesFree(BandMemory* memory, BandLayout* layout);

// Bounded formatting: at most size - 1 characters and a terminating zero. The count written, or -1
// when the text was cut or the format failed.
int StringFormat(char* buffer, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
