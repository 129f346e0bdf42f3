// What the line, shape and path entry points share: the DC's path record, device mapping of
// points, and painting fills and pen strokes through the GDI core's raster operations.
#pragma once

#include "../gdi_internal.h"
#include "path.h"
#include "platform/gdi_paths.h"
#include "stroke.h"

namespace gdi {

// The DC's path record, made on first use; null (and ERROR_NOT_ENOUGH_MEMORY) when it cannot be.
PathRecord* DcPath(Dc& dc);
// The record when the DC holds one in the given state, else null.
PathRecord* DcPathIn(Dc& dc, PathState state);
// Forgets the DC's path (the record is kept for reuse).
void DcPathDiscard(Dc& dc);

// A logical point in device pixels; false (ERROR_ARITHMETIC_OVERFLOW) when it does not fit 32 bits.
bool MapToDevice(const Dc& dc, int64_t x, int64_t y, POINT& out);
bool MapPointsToDevice(const Dc& dc, const POINT* points, size_t count, std::vector<POINT>& out);

// Paints the pixels of `shape` (device) inside the DC's visible area with the brush by the DC's
// mix. False only when memory runs out.
bool PaintRegion(Dc& dc, pixman_region32_t* shape, const Brush& brush);
// The same with a ternary code of its own in place of the DC's mix.
bool PaintRegion(Dc& dc, pixman_region32_t* shape, const Brush& brush, uint8_t rop);

// Fills the figures (all closed) with the DC's brush by the fill mode.
bool FillFigures(Dc& dc, const PathFigures& figures);
// Strokes the figures with the DC's pen; a geometric pen takes `deviceWidth` pixels when that
// is above 0, else its own width.
bool StrokeFigures(Dc& dc, const PathFigures& figures, double deviceWidth = 0);
// The rectangle that curves may be culled to before the DC's pen strokes them: the visible
// pixels widened by everything the pen reaches beyond its line, so that what is culled sets no
// visible pixel. False when the pen is dashed: a culled piece would move the dashes after it, so
// its figures are flattened whole; but the pattern's period is given in `dashPeriod` (0 for a
// solid pen) when asked for, to flatten by PathFlattenDashed.
bool StrokeCullRect(const Dc& dc, RECT& out, double* dashPeriod = nullptr);
// Flattens the path for the DC's pen to stroke (and a fill inside the same rectangle), bounded
// by what the pen can reach; false when memory runs out.
bool FlattenForStroke(const Dc& dc, const PathRecord& path, PathFigures& out);
// A geometric pen's stroke as a region (inside the DC's visible area) without painting it.
bool StrokeRegion(const Dc& dc, const PathFigures& figures, pixman_region32_t* out, double deviceWidth = 0);

// The device width of a geometric pen's logical width (at least one pixel).
double PenDeviceWidth(const Dc& dc, double logicalWidth);
bool PenIsGeometric(const Pen& pen);

}  // namespace gdi
