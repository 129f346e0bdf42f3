// The fill of a wide pen's outline, piece by piece. The outline is a union of small polygons that
// all wind one way (segment bodies, joins, caps, discs), so a pixel is set exactly when some piece
// covers it: each piece is walked down its own two sides and its run on a row is set in one row
// of bits, with no ordering of the crossings of thousands of pieces that cross one another on
// every row. A row where pieces wind both ways (rounding can fold a sliver) is filled from the
// winding sum of all its crossings instead, so the pixels are always the winding rule's.
#pragma once

#include "../region/polyfill.h"

// Receives the pixels of row y as bits: bit i of bits[w] is column origin + 64 w + i, origin being
// a multiple of 64; pixels outside the clip are never set.
using FillBitsSink = void (*)(void* context, LONG y, int64_t origin, const uint64_t* bits, size_t words);

// Fills the polygons inside `clip` by the winding rule: the same spans as PolyFillSpans with
// FILL_WINDING (the longest runs of a row, left to right, rows top to bottom). Any polygons give
// the right pixels; it is fast when each polygon is monotone in y and all wind one way. When
// `bits` is given, rows go to it as bits where they can (in order with the rows given as spans).
// Returns false only when memory runs out.
bool StrokeFillSpans(std::span<const FillPoint> points, std::span<const int> counts, const RECT& clip,
                     FillSpanSink sink, void* context, FillBitsSink bits = nullptr);
