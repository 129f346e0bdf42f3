// Typed arrays: rows of elements of one element code, and the one converter that moves values
// between codes with scaling to and from the core's 0..255 float scale and clamping.
#pragma once

#include "engine/services/cmm/cmm_stream.h"

struct CmmArray {
    uint32_t perRow;
    uint32_t rows;
    CmmElementCode code;  // 32, 128, 160, 192, 224 or 352 (float)
    uint32_t bits;  // significant bits; 0 = the type's full width
    void* data;
};
static_assert(sizeof(CmmArray) == 24);
static_assert(offsetof(CmmArray, data) == 16);

// Converts the common part (the smaller row length and row count) of source into destination.
void CmmArrayConvert(const CmmArray* source, CmmArray* destination);
