// The names of the 408 stretch kernels, declared through one list so that the table, the
// definitions and the declarations cannot disagree on order.
//
// The names are pasted together, so a search for a kernel's full name finds nothing; each is
//   RasterStretch<block><group><member>
// block: Copy (ROP 0xCC), NotCopy (0x33), Paint (0xEE), Rop (the generic operations);
// group: a format pair, Pal1To32 ... Pal4To24 (palette source) or 1To1 ... 32To24 (direct);
// member: empty, Mirror, Grow, GrowMirror, Shrink or ShrinkMirror.
// So RasterStretchCopy1To1Grow is the source copy, 1-bit to 1-bit, growing, not mirrored; its
// body is stretch_kernel_body.h, instantiated in stretch_copy_direct.cpp.
#pragma once

#include "engine/stretch/stretch_blt.h"

#define STRETCH_KERNEL_PARAMS                                                                               \
    const BltBitmap *dest, const BltBitmap *source, const RECT *destRect, const RECT *clips, int32_t count, \
        RasterRop3 rop, StretchScaleMode xMode, StretchScaleMode yMode, uint32_t xMirror, uint32_t yMirror
#define STRETCH_KERNEL_ARGS dest, source, destRect, clips, count, rop, xMode, yMode, xMirror, yMirror

// The lists keep one entry a line.
// clang-format off

// Format groups in table order: the nine palette groups, then the eight direct ones.
#define STRETCH_PALETTE_GROUPS(X, block) \
    X(block, Pal1To32) \
    X(block, Pal1To8)  \
    X(block, Pal1To24) \
    X(block, Pal8To32) \
    X(block, Pal8To8)  \
    X(block, Pal8To24) \
    X(block, Pal4To32) \
    X(block, Pal4To8)  \
    X(block, Pal4To24)
#define STRETCH_DIRECT_GROUPS(X, block) \
    X(block, 1To1)   \
    X(block, 4To4)   \
    X(block, 8To8)   \
    X(block, 16To24) \
    X(block, 16To16) \
    X(block, 24To24) \
    X(block, 32To32) \
    X(block, 32To24)
#define STRETCH_FORMAT_GROUPS(X, block) STRETCH_PALETTE_GROUPS(X, block) STRETCH_DIRECT_GROUPS(X, block)

// Members in table order: Same, SameMirror, Grow, GrowMirror, Shrink, ShrinkMirror.
#define STRETCH_MEMBERS(X, block, group)           \
    X(block, group, , Same, 0)                     \
    X(block, group, Mirror, Same, 1)               \
    X(block, group, Grow, Grow, 0)                 \
    X(block, group, GrowMirror, Grow, 1)           \
    X(block, group, Shrink, Shrink, 0)             \
    X(block, group, ShrinkMirror, Shrink, 1)

// clang-format on

#define STRETCH_DECLARE_MEMBER(block, group, suffix, width, mirror) \
    void RasterStretch##block##group##suffix(STRETCH_KERNEL_PARAMS);
#define STRETCH_DECLARE_GROUP(block, group) STRETCH_MEMBERS(STRETCH_DECLARE_MEMBER, block, group)

STRETCH_FORMAT_GROUPS(STRETCH_DECLARE_GROUP, Copy)
STRETCH_FORMAT_GROUPS(STRETCH_DECLARE_GROUP, NotCopy)
STRETCH_FORMAT_GROUPS(STRETCH_DECLARE_GROUP, Paint)
STRETCH_FORMAT_GROUPS(STRETCH_DECLARE_GROUP, Rop)
