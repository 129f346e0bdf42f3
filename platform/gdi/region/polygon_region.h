// Polygons to pixman regions by the same scan conversion as the fills, so a polygon region, a
// path region and a filled path cover the same pixels.
#pragma once

#include <pixman.h>

#include "polyfill.h"

// Regions reach at most this far from the origin in each direction.
constexpr LONG POLYGON_REGION_LIMIT = LONG{1} << 27;
// A region built without a clip holds at most POLYGON_REGION_BOXES rectangles: its memory goes by
// the rectangle, and a spool record's coordinates could otherwise ask for gigabytes. Its extent
// costs nothing of itself (columns are never walked, and the rows walked are bounded by the work
// below), so a thin polygon may reach as far as POLYGON_REGION_LIMIT.
constexpr size_t POLYGON_REGION_BOXES = size_t{1} << 22;
// A path turned into a region without a clip has its control points span at most this many rows
// and columns: its curves are flattened before any of the bounds above can act.
constexpr LONG POLYGON_REGION_EXTENT = LONG{1} << 20;
// Without a clip, the scan also gives up after stepping this many edges across rows (a fraction
// of a second): rows that repeat under vertical edges cost nothing, and rows that make boxes meet
// the box bound first, so only edges piled on one another for many rows reach it.
constexpr uint64_t POLYGON_REGION_WORK = uint64_t{1} << 26;

// Sets `region` (initialised by the caller) to the pixels the polygons cover under the fill
// mode, within `clip` when one is given and within POLYGON_REGION_LIMIT always. False with the
// last error when memory runs out (ERROR_NOT_ENOUGH_MEMORY) or, without a clip, when the region
// would pass POLYGON_REGION_BOXES or its scan POLYGON_REGION_WORK
// (ERROR_INVALID_PARAMETER); the region is then empty.
bool PolygonRegionBuild(pixman_region32_t* region, std::span<const FillPoint> points, std::span<const int> counts,
                        int fillMode, const RECT* clip = nullptr);
// Whether pixels within `bounds` (within POLYGON_REGION_LIMIT) span at most POLYGON_REGION_EXTENT
// rows and columns.
bool PolygonRegionExtentFits(RECT bounds);
