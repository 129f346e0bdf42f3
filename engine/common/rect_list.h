// Culling of rectangle lists against a band or clip rectangle.
#pragma once

#include <cstdint>

#include "platform/types.h"

// Keeps, in order and packed to the front, the rectangles that overlap rect (left < rect.right,
// right > rect.left, top < rect.bottom, bottom > rect.top). Returns how many were kept.
uint32_t RectListCull(uint32_t count, RECT* list, const RECT* rect);
// Replaces each rectangle by its intersection with rect and keeps, packed, the non-empty ones.
uint32_t RectListIntersect(uint32_t count, RECT* list, const RECT* rect);
