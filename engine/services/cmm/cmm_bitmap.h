// The core's view of pixels: a chunky bitmap of 8 bits per channel, over the caller's pixels or
// over its own copy, with the byte index of every channel inside a pixel.
#pragma once

#include "engine/services/cmm/cmm_object.h"

inline constexpr uint32_t CMM_BITMAP_MAX_CHANNELS = 16;

struct CmmBitmap {
    CmmLifecycle lifecycle;  // only reattach is set
    uint32_t channels;
    uint32_t width;
    uint32_t rows;
    uint32_t stride;
    uint32_t bytesPerPixel;
    uint32_t ownsPixels;
    uint8_t* pixels;
    uint32_t* order;
    uint32_t pixelBytes;  // stride x rows
    uint32_t orderArray[1];  // channels entries; owned pixels follow the array
};

inline CmmBitmap* CmmBitmapOf(CmmObject* handle) { return static_cast<CmmBitmap*>(handle->body); }

// Sets up a bitmap; stride 0 means width x bytes per pixel, bytes per pixel 0 the channel count,
// a null order 0, 1, 2, ... Sizes are checked in 64 bits: stride x rows must fit 32 bits, and
// an explicit order names bytes inside the pixel.
void CmmBitmapSetup(CmmGlobals* g, CmmObject* handle, uint32_t channels, uint32_t width, uint32_t rows,
                    uint32_t bytesPerPixel, uint32_t stride, const uint32_t* order, bool ownsPixels,
                    const uint8_t* pixels);
// Sets the row count and the pixels: pointed at, or copied when the bitmap owns its pixels (then
// rows may not exceed the rows it was made with).
void CmmBitmapAttach(CmmGlobals* g, CmmObject* handle, uint32_t rows, const uint8_t* pixels);
// Reports the row count and, for owned pixels, copies them out.
void CmmBitmapDetachCopy(CmmGlobals* g, CmmObject* handle, uint32_t* rows, uint8_t* destination);
