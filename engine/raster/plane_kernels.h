// Word kernels for band planes of 1, 2 and 4 bits a pixel: rectangle copy, copy through a 1-bit
// mask, opaque pattern fill, pattern through a mask, and (1 bit) pattern AND.
//
// Plane, mask and copy-source rows are big-endian 32-bit words, the first pixel in the top bits.
// Pattern rows are native 32-bit numbers (pixel 0 in the top bits), each row holding the pattern
// repeated to the end of its last word. x, y, sizes and phases are pixels. Callers guarantee
// strides that are multiples of four, sources and masks that cover the area, and masks that are
// clear outside the pixels to be painted. Patterns of width or height 0 are skipped.
#pragma once

#include <cstdint>

#include "engine/stretch/blt_bitmap.h"

// Destination pixel (x + i, y + r) = source pixel (i, r).
void Plane1RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height);
void Plane2RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height);
void Plane4RectCopy(BltBitmap* dest, BltBitmap* source, uint32_t x, uint32_t y, uint32_t width, uint32_t height);

// Mask bit 0 of each row is the first pixel of a 32-pixel group; dest addresses the plane word
// that holds group pixel `phase` (0..31), which takes source pixel 0. Uses the mask's bits,
// stride, width and height and the source's bits, stride and width.
void Plane1MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase);
void Plane2MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase);
void Plane4MaskCopy(BltBitmap* dest, BltBitmap* mask, BltBitmap* source, uint32_t phase);

// Tiling: destination pixel (x + i, y + r) takes pattern pixel
// ((phaseX + i) mod patternWidth, (phaseY + r) mod patternHeight).
using PlanePatternLoop = void (*)(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width,
                                  uint32_t height, uint32_t phaseX, uint32_t phaseY, uint32_t patternWidth,
                                  uint32_t patternHeight);

void Plane1PatternFill(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                       uint32_t phaseX, uint32_t phaseY, uint32_t patternWidth, uint32_t patternHeight);
void Plane2PatternFill(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                       uint32_t phaseX, uint32_t phaseY, uint32_t patternWidth, uint32_t patternHeight);
void Plane4PatternFill(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                       uint32_t phaseX, uint32_t phaseY, uint32_t patternWidth, uint32_t patternHeight);
// Keeps a destination bit only where the pattern bit is set; pixels outside the area unchanged.
void Plane1PatternAnd(BltBitmap* dest, BltBitmap* pattern, uint32_t x, uint32_t y, uint32_t width, uint32_t height,
                      uint32_t phaseX, uint32_t phaseY, uint32_t patternWidth, uint32_t patternHeight);

// The pattern through a mask: dest addresses the first plane word of the mask's 32-pixel group;
// mask bit 0 of each row is that word's first pixel and takes pattern x phaseX.
using PlaneMaskPatternLoop = void (*)(BltBitmap* dest, BltBitmap* mask, BltBitmap* pattern, uint32_t phaseX,
                                      uint32_t phaseY, uint32_t patternWidth, uint32_t patternHeight);
void Plane1MaskPattern(BltBitmap* dest, BltBitmap* mask, BltBitmap* pattern, uint32_t phaseX, uint32_t phaseY,
                       uint32_t patternWidth, uint32_t patternHeight);
void Plane2MaskPattern(BltBitmap* dest, BltBitmap* mask, BltBitmap* pattern, uint32_t phaseX, uint32_t phaseY,
                       uint32_t patternWidth, uint32_t patternHeight);
void Plane4MaskPattern(BltBitmap* dest, BltBitmap* mask, BltBitmap* pattern, uint32_t phaseX, uint32_t phaseY,
                       uint32_t patternWidth, uint32_t patternHeight);

// The loops a selector picks by the widened pattern width w' (a narrow pattern is repeated until
// it is at least half a word plus one pixel): one word (w' = pixels a word), narrow (w' below
// it), whole words (w' a multiple of it), any other width. The selectors pass w' as the width.
#define PLANE_PATTERN_LOOPS(name)                                                                                   \
    void name##Word(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,   \
                    uint32_t);                                                                                      \
    void name##Narrow(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, \
                      uint32_t);                                                                                    \
    void name##Words(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,  \
                     uint32_t);                                                                                     \
    void name##Any(BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,    \
                   uint32_t);
PLANE_PATTERN_LOOPS(Plane1PatternFill)
PLANE_PATTERN_LOOPS(Plane2PatternFill)
PLANE_PATTERN_LOOPS(Plane4PatternFill)
PLANE_PATTERN_LOOPS(Plane1PatternAnd)
#undef PLANE_PATTERN_LOOPS

#define PLANE_MASK_PATTERN_LOOPS(name)                                                             \
    void name##Word(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);   \
    void name##Narrow(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t); \
    void name##Words(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);  \
    void name##Any(BltBitmap*, BltBitmap*, BltBitmap*, uint32_t, uint32_t, uint32_t, uint32_t);
PLANE_MASK_PATTERN_LOOPS(Plane1MaskPattern)
PLANE_MASK_PATTERN_LOOPS(Plane2MaskPattern)
PLANE_MASK_PATTERN_LOOPS(Plane4MaskPattern)
#undef PLANE_MASK_PATTERN_LOOPS

// The widened pattern width w' for a plane depth of 1, 2 or 4 bits (0 for a width of 0).
uint32_t PlanePatternWidthWiden(uint32_t depth, uint32_t patternWidth);

// The loop the selectors above run for a pattern of this (unwidened) width at a depth of 1, 2
// or 4 bits: the pattern fill, the 1-bit pattern AND (patternAnd) or the pattern through a mask;
// null for a width of 0, another depth, or AND at another depth than 1.
PlanePatternLoop PlanePatternLoopSelect(uint32_t depth, uint32_t patternWidth, bool patternAnd);
PlaneMaskPatternLoop PlaneMaskPatternLoopSelect(uint32_t depth, uint32_t patternWidth);
