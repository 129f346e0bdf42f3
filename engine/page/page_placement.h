// The arithmetic that places a page or form on its sheet cell: alignment offsets, fitting into an
// area, the job header's extents, the printable area, and the fit of pages and poster tiles onto
// sheet cells.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/common/geometry.h"
#include "platform/types.h"

struct JobHeader;

// The offset that aligns an item inside an area (alignment 1..9; any other value centres).
POINT PlacementOffset(SIZE area, SIZE item, uint32_t alignment);
// The scale that fits the item into the area keeping its proportions, and the fitted size.
// 0 (and a zero size) when the item has no width or height.
double FitScale(SIZE area, SIZE item, SIZE* fitted);
// One extent pair of the job header: the second pair with pairFlag 0, else the first; (first,
// second) of the pair with orientation 1, else (second, first); negated when the pair's sign flag
// (job flag 0x80 second, 0x40 first) is set.
SIZE PageExtentGet(const JobHeader* header, uint32_t pairFlag, uint32_t orientation);
bool ExtentEqualUnordered(SIZE a, SIZE b);
// margins: left, top, right, bottom.
SIZE PrintableExtentGet(SIZE size, const int32_t margins[4], SIZE offset);

// A sheet cell as the fit sees it: its orientation (1 or 2 let the page turn) and its size.
struct PageFitCell {
    uint32_t orientation;
    int32_t size[2];
};

// Poster and tile geometry: a page spread over tiles that overlap by the given margins.
struct TileLayout {
    int32_t tile[2];  // tile size
    int32_t overlap[4];  // left, top, right, bottom
    int32_t total[2];  // the whole (virtual) size the tiles cover
    int32_t inner[2];  // tile less its overlaps: the step from tile to tile
    int32_t span[2];  // total less the overlaps of all tiles but one
    uint32_t index;  // the tile
};

// Scales the extent and rectangle onto the cell: 2 when the page is turned onto it, 0 when not,
// -1 when the page size is 0.
int PageFitRatio(const PageFitCell* cell, SIZE page, SIZE* extent, RECT* rect, double* x, double* y);
// Fills the tile layout from the tile size, its overlaps and the total size; false for a zero tile.
bool PageFitOrigin(SIZE tile, int32_t left, int32_t top, int32_t right, int32_t bottom, SIZE total, TileLayout* layout);
// The scale and offset of the layout's tile. poster: tiles in reading order; otherwise flags a and
// b pick the corner the tiles are counted from.
void PageCellOffset(const PageFitCell* cell, const TileLayout* layout, bool poster, bool flagA, bool flagB,
                    double* scaleX, double* scaleY, int32_t* offsetX, int32_t* offsetY);
// PageFitRatio with a poster or tile layout: the turn as PageFitRatio decides it, the tile's scale
// and offset from PageCellOffset; a poster's page is fitted to the whole virtual sheet (the
// layout's total size), and the offset (negative) moves it so that the tile shows its part.
// Result as PageFitRatio.
int PageFitApply(const PageFitCell* cell, const TileLayout* layout, bool poster, SIZE page, SIZE* extent, RECT* rect,
                 double* scaleX, double* scaleY, int32_t* offsetX, int32_t* offsetY);
