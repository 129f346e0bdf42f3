// What text drawing shares with measuring and outlines: placing a run by the DC's text
// alignment, painting a device region in one colour, and painting a run's glyphs.
#pragma once

#include "font_internal.h"

namespace gdi {

// The first glyph's origin (26.6 device) for a run drawn from the logical reference point.
bool TextPlace(const Dc& dc, int x, int y, const FontScale& scale, const TextRun& run, FT_Vector& origin);
// Copies the colour into the region's pixels inside the DC's visible area.
bool TextPaint(Dc& dc, pixman_region32_t* shape, COLORREF color);
// Copies the colour into the pixels of the run's glyphs, placed from `origin` (26.6 device),
// that lie in `visible` (the DC's visible area, or less); std::bad_alloc when a glyph cannot be
// kept.
bool TextInkPaint(Dc& dc, SizedFont& sized, const TextRun& run, FT_Vector origin, const pixman_region32_t* visible,
                  COLORREF color);

}  // namespace gdi
