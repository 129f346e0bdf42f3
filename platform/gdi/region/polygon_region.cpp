// Rows of spans come from the scan converter top to bottom; a row whose spans equal the row
// above it extends that row's boxes downward, so a polygon region holds one band per change.
#include "polygon_region.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "platform/kernel.h"

namespace {

struct RegionBuilder {
    std::vector<pixman_box32_t> boxes;  // finished and current bands
    size_t bandStart = 0;  // first box of the last band
    size_t rowStart = 0;  // first box of the row being collected
    LONG row = 0;
    bool haveRow = false;
    size_t maxBoxes = SIZE_MAX;
    bool tooMany = false;  // stopped collecting at maxBoxes
    FillScanControl scan;  // stopped at once when tooMany is set

    // Merges the collected row into the band above it when their spans match and they touch.
    void FinishRow()
    {
        if (!haveRow) return;
        size_t bandCount = rowStart - bandStart;
        size_t rowCount = boxes.size() - rowStart;
        bool same = rowStart > bandStart && bandCount == rowCount && boxes[bandStart].y2 == row;
        for (size_t i = 0; same && i < rowCount; ++i)
            same =
                boxes[bandStart + i].x1 == boxes[rowStart + i].x1 && boxes[bandStart + i].x2 == boxes[rowStart + i].x2;
        if (same) {
            for (size_t i = 0; i < bandCount; ++i) boxes[bandStart + i].y2 = row + 1;
            boxes.resize(rowStart);
        } else {
            bandStart = rowStart;
        }
        haveRow = false;
    }

    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        auto* b = static_cast<RegionBuilder*>(context);
        if (b->tooMany) return;
        if (b->boxes.size() >= b->maxBoxes) {
            b->tooMany = true;
            b->scan.stop = true;
            return;
        }
        if (b->haveRow && y != b->row) b->FinishRow();
        if (!b->haveRow) {
            b->haveRow = true;
            b->row = y;
            b->rowStart = b->boxes.size();
        }
        b->boxes.push_back({left, y, right, y + 1});
    }

    // Rows [from, to) repeat the row just collected: its band grows down to them.
    static void Repeat(void* context, LONG from, LONG to)
    {
        auto* b = static_cast<RegionBuilder*>(context);
        if (b->tooMany || !b->haveRow || b->row != from - 1) return;  // the row above was empty, and so are these
        b->FinishRow();
        for (size_t i = b->bandStart; i < b->boxes.size(); ++i) b->boxes[i].y2 = to;
    }
};

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

RECT Intersect(RECT a, const RECT& b)
{
    a.left = std::max(a.left, b.left);
    a.top = std::max(a.top, b.top);
    a.right = std::min(a.right, b.right);
    a.bottom = std::min(a.bottom, b.bottom);
    return a;
}

constexpr RECT kLimit{-POLYGON_REGION_LIMIT, -POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT};

}  // namespace

bool PolygonRegionExtentFits(RECT bounds)
{
    bounds = Intersect(bounds, kLimit);
    return int64_t(bounds.right) - bounds.left <= POLYGON_REGION_EXTENT &&
           int64_t(bounds.bottom) - bounds.top <= POLYGON_REGION_EXTENT;
}

bool PolygonRegionBuild(pixman_region32_t* region, std::span<const FillPoint> points, std::span<const int> counts,
                        int fillMode, const RECT* clip)
{
    pixman_region32_fini(region);
    pixman_region32_init(region);
    try {
        RegionBuilder builder;
        RECT bounds = Intersect(PolyFillBounds(points), kLimit);
        if (clip) bounds = Intersect(bounds, *clip);
        else {
            // The scan's time is bounded with its output: each row costs its active edges, and
            // those that make boxes give up at the box bound; edges that overlap one another for
            // many rows give up at the budget.
            builder.maxBoxes = POLYGON_REGION_BOXES;
            builder.scan.budget = POLYGON_REGION_WORK;
        }
        builder.scan.repeat = RegionBuilder::Repeat;
        if (!PolyFillSpans(points, counts, fillMode, bounds, RegionBuilder::Sink, &builder, &builder.scan))
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        if (builder.tooMany || builder.scan.exhausted) return Fail(ERROR_INVALID_PARAMETER);
        builder.FinishRow();
        if (builder.boxes.empty()) return true;
        pixman_region32_fini(region);
        if (!pixman_region32_init_rects(region, builder.boxes.data(), static_cast<int>(builder.boxes.size()))) {
            pixman_region32_init(region);
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
}
