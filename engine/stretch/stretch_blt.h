// The stretch blit: one entry that picks one of 408 nearest-pixel kernels and calls it once.
#pragma once

#include <cstdint>

#include "engine/stretch/blt_bitmap.h"
#include "platform/types.h"

// A ternary raster-operation code, always compared as a whole 32-bit value.
using RasterRop3 = uint32_t;
inline constexpr RasterRop3 Rop3SrcCopy = 0xCC;  // d = s
inline constexpr RasterRop3 Rop3NotSrcCopy = 0x33;  // d = ~s
inline constexpr RasterRop3 Rop3SrcPaint = 0xEE;  // d = d | s
inline constexpr RasterRop3 Rop3SrcInvert = 0x66;  // d = d ^ s
inline constexpr RasterRop3 Rop3SrcAnd = 0x88;  // d = d & s

// Per axis: (extents differ ? 1 : 0) | (destination smaller ? 2 : 0).
using StretchScaleMode = uint32_t;
inline constexpr StretchScaleMode StretchSame = 0;
inline constexpr StretchScaleMode StretchGrow = 1;
inline constexpr StretchScaleMode StretchShrink = 3;

// destRect is already normalised (left <= right, top <= bottom). Kernels test no bounds: every
// clip rectangle lies inside the destination bitmap and the source extent inside the source.
using RasterStretchKernel = void (*)(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect,
                                     const RECT* clips, int32_t count, RasterRop3 rop, StretchScaleMode xMode,
                                     StretchScaleMode yMode, uint32_t xMirror, uint32_t yMirror);

// 4 blocks (Copy, NotCopy, Paint, Rop) x 17 format groups x 6 members; the kernel of block b,
// group g, member m is entry 102 * b + 6 * g + m.
inline constexpr int kStretchBlockCount = 4;
inline constexpr int kStretchGroupCount = 17;
inline constexpr int kStretchMemberCount = 6;
inline constexpr int kStretchKernelCount = kStretchBlockCount * kStretchGroupCount * kStretchMemberCount;
extern const RasterStretchKernel StretchKernelTable[kStretchKernelCount];

enum StretchGroup : int {
    StretchGroupPal1To32,
    StretchGroupPal1To8,
    StretchGroupPal1To24,
    StretchGroupPal8To32,
    StretchGroupPal8To8,
    StretchGroupPal8To24,
    StretchGroupPal4To32,
    StretchGroupPal4To8,
    StretchGroupPal4To24,
    StretchGroup1To1,
    StretchGroup4To4,
    StretchGroup8To8,
    StretchGroup16To24,
    StretchGroup16To16,
    StretchGroup24To24,
    StretchGroup32To32,
    StretchGroup32To24,
};

// The scale mode of one axis, with the extents as stored: a source height given negative for a
// bottom-up image makes every destination count as taller.
StretchScaleMode StretchScaleModeOf(int64_t destExtent, int64_t sourceExtent);

// The table index that RasterStretchBlt calls for a rectangle already normalised, with xMirror
// telling whether its horizontal edges were given reversed; -1 when nothing is to be drawn
// (a direct pair outside the supported list, or an empty source extent).
int StretchKernelSelect(const BltBitmap* dest, const BltBitmap* source, const RECT* destRect, RasterRop3 rop,
                        uint32_t xMirror);

// Scales the source extent by nearest pixel onto destRect (reversed edges mirror that axis),
// drawing only inside its intersection with each clip rectangle in turn, combined by rop.
// destRect is normalised during the call and given back as it came on every path.
void RasterStretchBlt(const BltBitmap* dest, const BltBitmap* source, const void* reserved, RECT* destRect,
                      const RECT* clips, int32_t count, RasterRop3 rop, uint32_t reserved2);

// Widens a 5-bit channel to 8 bits: entry i = floor(i * 255 / 31).
extern const uint8_t Expand5To8[32];
