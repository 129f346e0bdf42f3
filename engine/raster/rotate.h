// Whole-bitmap rotation and mirroring (1, 8, 24 and 32 bits a pixel), and two small
// whole-bitmap helpers: byte-swapping every 32-bit word of a bitmap, and doubling a 1-bit
// bitmap in both directions.
//
// Angles turn clockwise with x to the right and y downwards; for a source of W x H pixels the
// destination pixel (x', y') is taken from
//   0: (x', y')   90: (y', H - 1 - x')   180: (W - 1 - x', H - 1 - y')   270: (W - 1 - y', x').
// Rows start on 32-bit boundaries (strides are multiples of four bytes). Nothing allocates.
#pragma once

#include <array>
#include <cstdint>

#include "engine/stretch/blt_bitmap.h"

// Turns the source into the destination by angle degrees (reduced modulo 360), mirrored in x
// and/or y. Only the destination's bits and stride are used; they are restored before return.
// A depth other than 1, 8, 24, 32 or an angle other than a multiple of 90 writes nothing.
void BitmapRotateDispatch(BltBitmap* dest, BltBitmap* source, uint32_t angle, int32_t xMirror, int32_t yMirror);

void Rotate1By0(BltBitmap* dest, BltBitmap* source);
void Rotate1By90(BltBitmap* dest, BltBitmap* source);
void Rotate1By180(BltBitmap* dest, BltBitmap* source);
void Rotate1By270(BltBitmap* dest, BltBitmap* source);
void Rotate8By0(BltBitmap* dest, BltBitmap* source);
void Rotate8By90(BltBitmap* dest, BltBitmap* source);
void Rotate8By180(BltBitmap* dest, BltBitmap* source);
void Rotate8By270(BltBitmap* dest, BltBitmap* source);
void Rotate24By0(BltBitmap* dest, BltBitmap* source);
void Rotate24By90(BltBitmap* dest, BltBitmap* source);
void Rotate24By180(BltBitmap* dest, BltBitmap* source);
void Rotate24By270(BltBitmap* dest, BltBitmap* source);
void Rotate32By0(BltBitmap* dest, BltBitmap* source);
void Rotate32By90(BltBitmap* dest, BltBitmap* source);
void Rotate32By180(BltBitmap* dest, BltBitmap* source);
void Rotate32By270(BltBitmap* dest, BltBitmap* source);

// Square blocks of side a power of two (8 or more at 1 bit, 4 or more otherwise), turned by
// quadrant recursion. Pointers address the block's top-left byte; 1-bit strides are in bytes,
// the others in 32-bit words.
void Rotate1Block90(uint8_t* dest, int32_t destStride, const uint8_t* source, int32_t sourceStride, uint32_t side);
void Rotate1Block270(uint8_t* dest, int32_t destStride, const uint8_t* source, int32_t sourceStride, uint32_t side);
void Rotate8Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                    uint32_t side);
void Rotate8Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side);
void Rotate24Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side);
void Rotate24Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                      uint32_t side);
void Rotate32Block90(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                     uint32_t side);
void Rotate32Block270(uint32_t* dest, int32_t destStrideWords, const uint32_t* source, int32_t sourceStrideWords,
                      uint32_t side);

// Reverses the byte order of every 32-bit word of every row (the whole stride), in place.
// Uses bits, stride and height.
void BitmapSwapWords(BltBitmap* bitmap);

// Doubles a 1-bit bitmap in both directions: each source row gives two destination rows of
// 2 x ((width + 7) / 8) bytes. Uses the source's bits, stride, width and height and the
// destination's bits and stride.
void Mono2xEnlarge(BltBitmap* dest, BltBitmap* source);

// Constant tables.
extern const std::array<uint8_t, 256> BitReverse8;  // n with its eight bits reversed
extern const std::array<uint32_t, 16> Bits1To2;  // four bits, each doubled
extern const std::array<uint32_t, 16> Bits1To4;  // four bits, each widened to four
