// A command's 1-bit mask brought from the resolution it was drawn at to the resolution of a plane
// that is painted with it: by the 2x table enlargement when the plane's resolution is exactly twice
// the other in both axes, otherwise by the nearest-pixel stretch blit.
#pragma once

#include <cstdint>

#include "platform/types.h"

// Both masks follow the plane operations' layout: bit 0 of a row is pixel left rounded down to a
// multiple of 32, and nothing is set before left or from right on. from and to are the same area
// in band-plane pixels at the two resolutions; only their x phases and sizes are read. The
// destination rows are whole 32-bit words, ((to.left mod 32) + width + 31) / 32 x 4 bytes apart;
// that stride is returned, or 0 when the rows do not fit in capacity bytes or an area is empty
// (nothing written then). The destination words that the area touches are cleared first, so a
// buffer reused for several masks never carries bits of an earlier one.
uint32_t MaskResolutionBring(uint8_t* dest, uint32_t capacity, const uint8_t* source, uint32_t sourceStride,
                             const RECT& from, const RECT& to, bool doubled);
