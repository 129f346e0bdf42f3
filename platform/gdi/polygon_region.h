// Polygons to pixman regions by the same scan conversion as the fills, so a polygon region, a
// path region and a filled path cover the same pixels.
#pragma once

#include <pixman.h>

#include "polyfill.h"

// Sets `region` (initialised by the caller) to the pixels the polygons cover under the fill
// mode. False when memory runs out (the region is then empty).
bool PolygonRegionBuild(pixman_region32_t* region, std::span<const FillPoint> points, std::span<const int> counts,
                        int fillMode);
