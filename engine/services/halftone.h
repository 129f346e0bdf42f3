// Threshold halftoning behind the exports of rastrel/imx_halftone.h: a halftone set of up to five screens, one per plane of
// an output format, loaded from a halftone file in memory, in a module's resources or in a file,
// and the kernels that turn 8-bit images and flat colours into textures of 1-, 2-, 4- or 8-bit
// planes. Texture memory comes from ImxTextureAlloc on the caller's host handle.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/common/image_format_kind.h"
#include "rastrel/api.h"
#include "rastrel/imx_halftone.h"
#include "rastrel/imx_types.h"

inline constexpr uint32_t HALFTONE_SCREENS = 5;
inline constexpr uint8_t HALFTONE_FILE_MAGIC[4] = {'t', 'H', 'v', 'Q'};

// A halftone file (little-endian): this head, entryCount entries, and the screens they point at,
// each a head of u16 width, height, thresholds per cell and output bits per pixel followed by
// the threshold bytes row by row, cell by cell, each cell's thresholds highest first.
struct HalftoneSetFile {
    uint8_t magic[4];  // HALFTONE_FILE_MAGIC
    uint32_t entryCount;
};
static_assert(sizeof(HalftoneSetFile) == 8);

struct HalftoneSetFileEntry {
    uint16_t key;
    uint16_t depth;  // output bits per pixel
    uint32_t offset;  // of the screen, from the file's start
    uint32_t size;  // of the screen with its head
};
static_assert(sizeof(HalftoneSetFileEntry) == 12);

// One screen: pitch cells per matrix row, each row the file's row followed by its own first
// (pitch - width) cells again, so a run past the row's end continues with its start.
struct HalftoneScreen {
    uint32_t pitch;
    uint32_t colorant;
    uint32_t height;
    uint32_t width;
    uint32_t thresholdsPerCell;
    uint32_t bitsPerPixel;
    uint8_t* matrix;  // owned; null when the screen is not loaded
};
static_assert(sizeof(HalftoneScreen) == 32);

// One line of samples to halftone: bytesPerPixel apart, the screen row and start column given.
typedef void (*HalftoneColor1BitFn)(const HalftoneScreen* screen, uint8_t value, uint8_t* tile, uint32_t stride);
typedef void (*HalftoneImage1BitFn)(const HalftoneScreen* screen, const uint8_t* samples, uint32_t sampleStride,
                                    uint32_t bytesPerPixel, uint32_t width, uint32_t height, int32_t x0, int32_t y0,
                                    uint8_t* out, uint32_t outStride);
typedef void (*HalftoneImageCmyk1BitFn)(const HalftoneScreen* screens, const uint8_t* samples, uint32_t sampleStride,
                                        uint32_t width, uint32_t height, int32_t x0, int32_t y0, uint8_t* const* out,
                                        uint32_t outStride);

struct ImxHalftoneSet {
    HalftoneColor1BitFn color1Bit;
    HalftoneImage1BitFn image1Bit;
    HalftoneImageCmyk1BitFn imageCmyk1Bit;
    ImxImageFormat format;
    ImageFormatKind kind;
    uint32_t reserved;
    HalftoneScreen screens[HALFTONE_SCREENS];
};
static_assert(offsetof(ImxHalftoneSet, format) == 24);
static_assert(offsetof(ImxHalftoneSet, kind) == 200);
static_assert(offsetof(ImxHalftoneSet, screens) == 208);

// Parses a halftone file of size bytes into the set for the requests (the set's format is already
// set). Every offset and size is checked against size. Used by the load and the fuzz target.
ImxStatus HalftoneSetParse(ImxHalftoneSet* set, const uint8_t* file, uint64_t size, uint32_t count,
                           const ImxHalftoneRequest* requests);

// The kernels behind the set's slots and the generic n-level kernel.
void HalftoneColor1Bit(const HalftoneScreen* screen, uint8_t value, uint8_t* tile, uint32_t stride);
void HalftoneImage1Bit(const HalftoneScreen* screen, const uint8_t* samples, uint32_t sampleStride,
                       uint32_t bytesPerPixel, uint32_t width, uint32_t height, int32_t x0, int32_t y0, uint8_t* out,
                       uint32_t outStride);
void HalftoneImageCmyk1Bit(const HalftoneScreen* screens, const uint8_t* samples, uint32_t sampleStride, uint32_t width,
                           uint32_t height, int32_t x0, int32_t y0, uint8_t* const* out, uint32_t outStride);
// Any depth b of 1, 2, 4 or 8 with the screen's thresholds per cell.
void HalftoneImageLevels(const HalftoneScreen* screen, const uint8_t* samples, uint32_t sampleStride,
                         uint32_t bytesPerPixel, uint32_t width, uint32_t height, int32_t x0, int32_t y0, uint8_t* out,
                         uint32_t outStride);
void HalftoneColorLevels(const HalftoneScreen* screen, uint8_t value, uint8_t* tile, uint32_t stride);

// Bytes of one texture row of width pixels at depth bits: rounded up to whole 32-bit words.
inline uint32_t HalftoneStride(uint32_t width, uint32_t depth)
{
    return static_cast<uint32_t>(((static_cast<uint64_t>(width) * depth + 31) & ~uint64_t{31}) / 8);
}
