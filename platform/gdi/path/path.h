// The path record a DC collects between BeginPath and EndPath: device points with their kinds,
// as figures of lines and cubic Bezier segments, and its flattening into polygons.
#pragma once

#include <span>
#include <utility>
#include <vector>

#include "../region/polyfill.h"

// Point kinds, valued as GetPath reports them.
constexpr BYTE PATH_CLOSEFIGURE = 0x01;
constexpr BYTE PATH_LINETO = 0x02;
constexpr BYTE PATH_BEZIERTO = 0x04;
constexpr BYTE PATH_MOVETO = 0x06;

enum class PathState { None, Open, Closed };

struct PathRecord {
    PathState state = PathState::None;
    std::vector<POINT> points;  // device coordinates
    std::vector<BYTE> kinds;  // one per point; PATH_CLOSEFIGURE is or-ed into a figure's last
    bool figureOpen = false;  // a figure has started and takes further lines
};

// A flattened path in fill units: figure i is counts[i] points, closed[i] when CloseFigure
// ended it. Fills treat every figure as closed.
struct PathFigures {
    std::vector<FillPoint> points;
    std::vector<int> counts;
    std::vector<bool> closed;
    // Left by a dashed stroke's flattening that dropped points far outside (see
    // PathFlattenDashed): where the pattern stands after some points (index into points, phase
    // in device pixels), in order, and each figure's whole length; else empty.
    std::vector<std::pair<size_t, double>> phases;
    std::vector<double> lengths;
};

void PathClear(PathRecord& path);

// The next line or curve starts a new figure (MoveToEx, or a figure just closed).
void PathMoveTo(PathRecord& path);

// Appends lines to each point, or Bezier segments (three points each; a trailing remainder is
// ignored), starting a figure at `current` when none is open. False when memory runs out.
bool PathAddLines(PathRecord& path, POINT current, std::span<const POINT> points);
bool PathAddBeziers(PathRecord& path, POINT current, std::span<const POINT> points);

// Closes the open figure (marks its last point); the next drawing starts a new figure.
void PathCloseFigure(PathRecord& path);

// Appends one closed figure through the points (Polygon, Rectangle inside a path).
bool PathAddPolygon(PathRecord& path, std::span<const POINT> points);

// Flattens the record into figures; Bezier segments become straight pieces, culled to `cull`
// (device pixels) for a fill or region inside it (see BezierFlatten).
bool PathFlattenFigures(const PathRecord& path, PathFigures& out, const RECT* cull = nullptr);

// The same for a stroke with a dash pattern of `period` device pixels (pixel steps of a cosmetic
// pen with `pixelSteps`, see DashWalk): a piece of a curve far outside `cull` makes only its end
// point, and the pattern's phase there and the figures' lengths are recorded, so the stroker
// places every dash where the whole flattening would have put it.
bool PathFlattenDashed(const PathRecord& path, PathFigures& out, const RECT& cull, double period,
                       bool pixelSteps = false);

// Replaces every Bezier segment of the record by lines to its flattened points rounded to
// device pixels (FlattenPath).
bool PathFlattenRecord(PathRecord& path);

// Rounds a fill-unit point to the nearest device pixel, halves upward.
POINT PathRoundToDevice(FillPoint p);
