// Marks the visible part of a command within a rectangle of a band's mask surface, through the
// command's clip.
#pragma once

#include <cstdint>

#include "platform/types.h"

struct ResourceStore;
struct BandSurface;
struct Clip;

// With a clip that holds rectangles: its device rectangles within rect are set in the mask and
// their number returned (below 1: failure or nothing visible, nothing set). Without a clip, or
// with one that is only its bounds, the whole rect is set and the result is 1. rect is in the
// surface's current device pixels.
int32_t BandMaskClipRectsSet(ResourceStore* store, BandSurface* mask, Clip* clip, const RECT* unused, const RECT* rect);
