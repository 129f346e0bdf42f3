// Placement arithmetic of pages and forms. Sizes come from spool records: products and sums are
// taken in 64 bits and doubles, so that no value from outside wraps.
#include "engine/page/page_placement.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/page/preamble.h"
#include "platform/kernel.h"

POINT PlacementOffset(SIZE area, SIZE item, uint32_t alignment)
{
    const int64_t centreX = -(static_cast<int64_t>(area.cx) - item.cx) / 2;
    const int64_t centreY = -(static_cast<int64_t>(area.cy) - item.cy) / 2;
    const int64_t endX = static_cast<int64_t>(item.cx) - area.cx;
    const int64_t endY = static_cast<int64_t>(item.cy) - area.cy;
    int64_t x = centreX, y = centreY;
    switch (alignment) {
        case 1:
        case 5:
            x = 0;
            y = 0;
            break;  // 5 gives no offset, not the centre
        case 2:
            x = centreX;
            y = 0;
            break;
        case 3:
            x = endX;
            y = 0;
            break;
        case 4:
            x = 0;
            y = centreY;
            break;
        case 6:
            x = endX;
            y = centreY;
            break;
        case 7:
            x = 0;
            y = endY;
            break;
        case 8:
            x = centreX;
            y = endY;
            break;
        case 9:
            x = endX;
            y = endY;
            break;
        default: break;
    }
    return POINT{static_cast<LONG>(std::clamp<int64_t>(x, INT32_MIN, INT32_MAX)),
                 static_cast<LONG>(std::clamp<int64_t>(y, INT32_MIN, INT32_MAX))};
}

double FitScale(SIZE area, SIZE item, SIZE* fitted)
{
    if (item.cx == 0 || item.cy == 0) {
        if (fitted) *fitted = SIZE{0, 0};
        return 0.0;
    }
    const double s = std::min(static_cast<double>(area.cx) / item.cx, static_cast<double>(area.cy) / item.cy);
    if (fitted) *fitted = SIZE{RoundHalfUp(item.cx * s), RoundHalfUp(item.cy * s)};
    return s;
}

SIZE PageExtentGet(const JobHeader* header, uint32_t pairFlag, uint32_t orientation)
{
    const int32_t* pair = pairFlag == 0 ? header->secondExtent : header->firstExtent;
    const uint32_t sign = pairFlag == 0 ? JobFlagSecondPairNegative : JobFlagFirstPairNegative;
    auto magnitude = [](int32_t v) { return static_cast<LONG>(std::min<int64_t>(std::llabs(v), INT32_MAX)); };
    LONG a = magnitude(pair[0]), b = magnitude(pair[1]);
    SIZE out = orientation == 1 ? SIZE{a, b} : SIZE{b, a};
    if (header->jobFlags & sign) {
        out.cx = -out.cx;
        out.cy = -out.cy;
    }
    return out;
}

bool ExtentEqualUnordered(SIZE a, SIZE b)
{
    return std::min(a.cx, a.cy) == std::min(b.cx, b.cy) && std::max(a.cx, a.cy) == std::max(b.cx, b.cy);
}

SIZE PrintableExtentGet(SIZE size, const int32_t margins[4], SIZE offset)
{
    auto clampLong = [](int64_t v) { return static_cast<LONG>(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    return SIZE{clampLong(static_cast<int64_t>(size.cx) - margins[2] - margins[0] - std::llabs(offset.cx)),
                clampLong(static_cast<int64_t>(size.cy) - margins[3] - margins[1] - std::llabs(offset.cy))};
}

namespace {

// Whether the page turns onto the cell: by the per-mille ratios of the extent to the cell's size,
// so that a page wider than its portrait cell (or taller than its landscape one) is turned, not
// stretched across and squeezed down.
bool FitTurns(const PageFitCell* cell, SIZE page, SIZE extent)
{
    const int32_t w = cell->size[0] > 0 ? cell->size[0] : page.cx;
    const int32_t h = cell->size[1] > 0 ? cell->size[1] : page.cy;
    const int x = MulDiv(extent.cx, 1000, w);
    const int y = MulDiv(extent.cy, 1000, h);
    return (cell->orientation == 1 && x > y) || (cell->orientation == 2 && y > x);
}

void ScaleExtentRect(double sx, double sy, SIZE* extent, RECT* rect)
{
    if (extent) *extent = SIZE{RoundHalfUp(extent->cx * sx), RoundHalfUp(extent->cy * sy)};
    if (rect)
        *rect = RECT{RoundHalfUp(rect->left * sx), RoundHalfUp(rect->top * sy), RoundHalfUp(rect->right * sx),
                     RoundHalfUp(rect->bottom * sy)};
}

int32_t CeilDiv(int32_t a, int32_t b)
{
    return b <= 0 ? 0 : static_cast<int32_t>((static_cast<int64_t>(a) + b - 1) / b);
}

}  // namespace

int PageFitRatio(const PageFitCell* cell, SIZE page, SIZE* extent, RECT* rect, double* x, double* y)
{
    if (page.cx == 0 || page.cy == 0) return -1;
    const SIZE in = extent ? *extent : page;
    const bool turned = FitTurns(cell, page, in);
    const double sx =
        turned ? static_cast<double>(cell->size[1]) / page.cx : static_cast<double>(cell->size[0]) / page.cx;
    const double sy =
        turned ? static_cast<double>(cell->size[0]) / page.cy : static_cast<double>(cell->size[1]) / page.cy;
    ScaleExtentRect(sx, sy, extent, rect);
    if (x) *x = sx;
    if (y) *y = sy;
    return turned ? 2 : 0;
}

bool PageFitOrigin(SIZE tile, int32_t left, int32_t top, int32_t right, int32_t bottom, SIZE total, TileLayout* layout)
{
    *layout = TileLayout{};
    if (tile.cx <= 0 || tile.cy <= 0) return false;
    layout->tile[0] = tile.cx;
    layout->tile[1] = tile.cy;
    layout->overlap[0] = left;
    layout->overlap[1] = top;
    layout->overlap[2] = right;
    layout->overlap[3] = bottom;
    layout->total[0] = total.cx;
    layout->total[1] = total.cy;
    layout->inner[0] = tile.cx - left - right;
    layout->inner[1] = tile.cy - top - bottom;
    const int32_t columns = CeilDiv(total.cx, tile.cx), rows = CeilDiv(total.cy, tile.cy);
    layout->span[0] = total.cx - (columns - 1) * (left + right);
    layout->span[1] = total.cy - (rows - 1) * (top + bottom);
    return layout->inner[0] > 0 && layout->inner[1] > 0;
}

void PageCellOffset(const PageFitCell* cell, const TileLayout* layout, bool poster, bool flagA, bool flagB,
                    double* scaleX, double* scaleY, int32_t* offsetX, int32_t* offsetY)
{
    const double s = std::min(static_cast<double>(layout->inner[0]) / layout->tile[0],
                              static_cast<double>(layout->inner[1]) / layout->tile[1]);
    *scaleX = *scaleY = s;
    const int32_t columns = std::max(1, CeilDiv(layout->total[0], layout->tile[0]));
    const int32_t rows = std::max(1, CeilDiv(layout->total[1], layout->tile[1]));
    const int32_t column = static_cast<int32_t>(layout->index % columns);
    const int32_t row = static_cast<int32_t>(layout->index / columns);
    const int32_t stepX = layout->inner[0], stepY = layout->inner[1];
    if (poster) {
        *offsetX = -column * stepX;
        *offsetY = -row * stepY;
        return;
    }
    const bool t = (cell->orientation == 2) == flagA;
    if (!t == flagB) {
        *offsetX = -column * stepX;
        *offsetY = -(rows - row - 1) * stepY;
    } else {
        *offsetX = -(columns - column - 1) * stepX;
        *offsetY = -row * stepY;
    }
}

int PageFitApply(const PageFitCell* cell, const TileLayout* layout, bool poster, SIZE page, SIZE* extent, RECT* rect,
                 double* scaleX, double* scaleY, int32_t* offsetX, int32_t* offsetY)
{
    if (layout == nullptr) {
        *offsetX = *offsetY = 0;
        return PageFitRatio(cell, page, extent, rect, scaleX, scaleY);
    }
    if (page.cx == 0 || page.cy == 0 || layout->tile[0] <= 0 || layout->tile[1] <= 0) return -1;
    const bool turned = FitTurns(cell, page, extent ? *extent : page);
    double tileX, tileY;
    PageCellOffset(cell, layout, poster, false, false, &tileX, &tileY, offsetX, offsetY);
    // A poster's page is fitted to the virtual sheet its tiles cover, the total size: the cell
    // (one tile) times the number of tiles along each axis.
    const double fx = poster ? static_cast<double>(layout->total[0]) / layout->tile[0] : 1.0;
    const double fy = poster ? static_cast<double>(layout->total[1]) / layout->tile[1] : 1.0;
    const double sx = (turned ? static_cast<double>(cell->size[1]) * fy : cell->size[0] * fx) / page.cx;
    const double sy = (turned ? static_cast<double>(cell->size[0]) * fx : cell->size[1] * fy) / page.cy;
    ScaleExtentRect(sx, sy, extent, rect);
    *scaleX = sx * tileX;
    *scaleY = sy * tileY;
    return turned ? 2 : 0;
}
