// Polygons to pixman regions by the same scan conversion as the fills, so a polygon region, a
// path region and a filled path cover the same pixels.
#pragma once

#include <pixman.h>

#include "polyfill.h"

// Regions reach at most this far from the origin in each direction.
constexpr LONG POLYGON_REGION_LIMIT = LONG{1} << 27;

// Sets `region` (initialised by the caller) to the pixels the polygons cover under the fill
// mode, within `clip` when one is given and within POLYGON_REGION_LIMIT always. False when
// memory runs out (the region is then empty).
bool PolygonRegionBuild(pixman_region32_t* region, std::span<const FillPoint> points, std::span<const int> counts,
                        int fillMode, const RECT* clip = nullptr);
