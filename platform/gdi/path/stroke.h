// Wide-pen outlines: a flattened figure and a geometric pen become polygons whose union, filled
// with the winding rule, is the stroke. Every piece (segment body, join, cap) is emitted with
// the same orientation, so overlaps add up and never cancel.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "../region/polyfill.h"

// End caps and joins, valued as the pen style bits that select them.
constexpr DWORD STROKE_CAP_ROUND = 0x0;
constexpr DWORD STROKE_CAP_SQUARE = 0x100;
constexpr DWORD STROKE_CAP_FLAT = 0x200;
constexpr DWORD STROKE_JOIN_ROUND = 0x0;
constexpr DWORD STROKE_JOIN_BEVEL = 0x1000;
constexpr DWORD STROKE_JOIN_MITER = 0x2000;

struct StrokeStyle {
    double width;  // device pixels
    DWORD endCap;  // STROKE_CAP_*
    DWORD join;  // STROKE_JOIN_*
    double miterLimit;  // longest miter allowed, as a multiple of the width; longer ones bevel
    std::span<const double> dashes;  // on, off, on, ... in device pixels; empty for a solid pen
    // The pixels that matter, when known: dashes wholly outside it are skipped without being
    // walked, and pieces (dashes, caps, joins) that miss it are left out of the outline, so a
    // long or wide dashed line costs what its visible part costs.
    const RECT* clip = nullptr;
};

// One flattened figure in fill units; a closed figure joins its last point to its first.
struct StrokeFigure {
    std::span<const FillPoint> points;
    bool closed;
    // Where a dashed flattening dropped points far outside the clip: the pattern's phase after
    // the given points (indices into `points`, in order), and the figure's whole length (below 0
    // when not known: then it is measured here).
    std::span<const std::pair<size_t, double>> phases = {};
    double length = -1;
};

// Appends the outline polygons of the figures to `out` (fill with FILL_WINDING). Dashes start
// afresh in each figure; every dash is an open piece with the pen's caps. A figure with fewer
// than two distinct points leaves no mark; a pen narrower than a pixel strokes one pixel wide;
// a dash pattern whose period is under a pixel strokes solid.
// Returns false when memory runs out.
bool StrokeOutline(std::span<const StrokeFigure> figures, const StrokeStyle& style, FillPolygonSet& out);

// How far beyond its line a piece of the stroke can reach, as a multiple of half the width
// (at least 1): a square cap's corners lie half x sqrt(2) from the end of the line, a miter's tip
// at most half x the miter limit from its vertex.
double StrokeReach(const StrokeStyle& style);

// The miter length of a join between directions (d0x, d0y) and (d1x, d1y), as a multiple of
// the width (1 for a straight line, growing without bound as the join folds back).
double StrokeMiterRatio(double d0x, double d0y, double d1x, double d1y);
