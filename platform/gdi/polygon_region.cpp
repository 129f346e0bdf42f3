// Rows of spans come from the scan converter top to bottom; a row whose spans equal the row
// above it extends that row's boxes downward, so a polygon region holds one band per change.
#include "polygon_region.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

struct RegionBuilder {
    std::vector<pixman_box32_t> boxes;  // finished and current bands
    size_t bandStart = 0;               // first box of the last band
    size_t rowStart = 0;                // first box of the row being collected
    LONG row = 0;
    bool haveRow = false;

    // Merges the collected row into the band above it when their spans match and they touch.
    void FinishRow()
    {
        if (!haveRow)
            return;
        size_t bandCount = rowStart - bandStart;
        size_t rowCount = boxes.size() - rowStart;
        bool same = rowStart > bandStart && bandCount == rowCount && boxes[bandStart].y2 == row;
        for (size_t i = 0; same && i < rowCount; ++i)
            same = boxes[bandStart + i].x1 == boxes[rowStart + i].x1 && boxes[bandStart + i].x2 == boxes[rowStart + i].x2;
        if (same) {
            for (size_t i = 0; i < bandCount; ++i)
                boxes[bandStart + i].y2 = row + 1;
            boxes.resize(rowStart);
        } else {
            bandStart = rowStart;
        }
        haveRow = false;
    }

    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        auto* b = static_cast<RegionBuilder*>(context);
        if (b->haveRow && y != b->row)
            b->FinishRow();
        if (!b->haveRow) {
            b->haveRow = true;
            b->row = y;
            b->rowStart = b->boxes.size();
        }
        b->boxes.push_back({left, y, right, y + 1});
    }
};

}  // namespace

bool PolygonRegionBuild(pixman_region32_t* region, std::span<const FillPoint> points, std::span<const int> counts,
                        int fillMode, const RECT* clip)
{
    pixman_region32_fini(region);
    pixman_region32_init(region);
    try {
        RegionBuilder builder;
        RECT bounds = PolyFillBounds(points);
        const RECT limit{-POLYGON_REGION_LIMIT, -POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT};
        for (const RECT* r : {&limit, clip}) {
            if (!r)
                continue;
            bounds.left = std::max(bounds.left, r->left);
            bounds.top = std::max(bounds.top, r->top);
            bounds.right = std::min(bounds.right, r->right);
            bounds.bottom = std::min(bounds.bottom, r->bottom);
        }
        if (!PolyFillSpans(points, counts, fillMode, bounds, RegionBuilder::Sink, &builder))
            return false;
        builder.FinishRow();
        if (builder.boxes.empty())
            return true;
        pixman_region32_fini(region);
        if (!pixman_region32_init_rects(region, builder.boxes.data(), static_cast<int>(builder.boxes.size()))) {
            pixman_region32_init(region);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
