// Dashed lines drawn by the engine: one segment at a time into the surface's open path, stepping
// the pen's dash pattern pixel by pixel (a diagonal step weighs 141 against 100 for a straight
// one), so that consecutive segments continue one pattern.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct BandSurface;
struct Pen;

struct DashState {
    uint32_t index;  // the current dash element: even draws, odd is a gap
    uint32_t count;  // steps taken in it
};

// Draws P0-P1 with the pen's dashes, skipping pieces that lie farther than the pen's width from
// the clip rectangle.
void StyledPolyline(BandSurface* surface, const Pen* pen, DashState* state, const RECT* clip, POINT p0, POINT p1);
