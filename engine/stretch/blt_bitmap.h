// The bitmap descriptor that drawing code fills on its own stack for each stretch blit.
#pragma once

#include <cstddef>
#include <cstdint>

struct BltBitmap {
    // Row 0 as the blit addresses it; a bottom-up image points at its last row in memory and
    // gives a negative stride.
    void* bits;
    int32_t stride;  // signed byte distance from one row to the next
    int32_t x;  // first column of the source area
    int32_t y;  // first row of the source area
    int32_t width;  // extent of the source area
    int32_t height;  // kernels use its absolute value; the dispatcher compares it as stored
    int32_t bpp;  // 1, 4, 8, 16 (5-5-5), 24 or 32
    // 4-byte entries blue, green, red, fourth byte; null for direct colour.
    const uint8_t* palette;
};

static_assert(sizeof(BltBitmap) == 40);
static_assert(offsetof(BltBitmap, bits) == 0);
static_assert(offsetof(BltBitmap, stride) == 8);
static_assert(offsetof(BltBitmap, x) == 12);
static_assert(offsetof(BltBitmap, y) == 16);
static_assert(offsetof(BltBitmap, width) == 20);
static_assert(offsetof(BltBitmap, height) == 24);
static_assert(offsetof(BltBitmap, bpp) == 28);
static_assert(offsetof(BltBitmap, palette) == 32);
