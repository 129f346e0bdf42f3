// Path clipping and edge tables: the part of a path inside a rectangle measured as a bounding
// box, and the edge table of a realised path cut to a rectangle on the edges' own stepping grid,
// so that every remaining row keeps the x it had before the cut.
#pragma once

#include <cstdint>

#include "engine/raster/polygon_scan.h"
#include "platform/types.h"

struct PathEntry;
struct PathFigure;

// Sutherland-Hodgman against top, bottom, right and left (right and bottom exclusive). The
// result stands in `points`; both buffers hold `capacity` points. Returns the point count, 0 when
// nothing is left (or when the result would not fit, which six times the input always does).
uint32_t PolygonClipRect(const RECT* clip, uint32_t count, POINT* points, POINT* scratch, uint32_t capacity);

// Cuts the edges to the rectangle: edges outside above or below go, parts left or right of it
// become vertical edges on its sides so that the fill rules still count right. `edges` holds
// 4 x count + 4 entries and the scratch as many. Returns the new count.
uint32_t EdgeTableClip(const RECT* clip, uint32_t count, Edge* edges, Edge* scratch);

// The edges of the points' figures (no edge for a level side). Appends to `edges`; returns the count.
uint32_t EdgeTableFromFigures(const POINT* points, const PathFigure* figures, uint32_t figureCount, Edge* edges);

// The edge table of the path's realised point list, within the clip when one is given. Without
// an edge array only the path's stored bounds are copied to `bounds`. `edges` holds
// 8 x points + 8 entries. 1 when the table has edges (or without an array), 0 when it is empty.
int PathEdgeTableBuild(const PathEntry* path, const RECT* clip, HDC dc, RECT* bounds, Edge* edges, uint32_t* count);

// The bounding box of the part of the path's stored points (logical units, control points as they
// are) inside the clip: 1 with `result` set, 0 when none of it is inside.
int PathClipBounds(const PathEntry* path, const RECT* clip, RECT* result);
