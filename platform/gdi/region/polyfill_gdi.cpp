// Polygon, PolyPolygon and Rectangle: the brush fills by the exact pixel rule, then the pen
// outlines each figure; inside a path bracket they add closed figures instead.
#include <algorithm>
#include <cmath>
#include <new>

#include "../path/path_draw.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

BOOL Shapes(HDC handle, const POINT* points, const INT* counts, int figures)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!points || !counts || figures <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    size_t total = 0;
    for (int f = 0; f < figures; ++f) {
        if (counts[f] < 2) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return FALSE;
        }
        total += size_t(counts[f]);
    }
    std::vector<POINT> device;
    if (!MapPointsToDevice(*dc, points, total, device)) return FALSE;
    PathRecord record;
    PathRecord* path = DcPathIn(*dc, PathState::Open);
    PathRecord& target = path ? *path : record;
    size_t start = 0;
    for (int f = 0; f < figures; ++f) {
        if (!PathAddPolygon(target, std::span(device).subspan(start, size_t(counts[f])))) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        start += size_t(counts[f]);
    }
    if (path) return TRUE;
    PathFigures flat;
    if (!PathFlattenFigures(record, flat)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return FillFigures(*dc, flat) && StrokeFigures(*dc, flat) ? TRUE : FALSE;
}

// The closed figure through the four fill-unit corners.
void AddBox(PathFigures& figures, FillPoint a, FillPoint b)
{
    figures.points.insert(figures.points.end(), {a, {b.x, a.y}, b, {a.x, b.y}});
    figures.counts.push_back(4);
    figures.closed.push_back(true);
}

bool FillBox(Dc& dc, int64_t left, int64_t top, int64_t right, int64_t bottom)
{
    if (left >= right || top >= bottom || !dc.brush || dc.brush->style == BS_NULL) return true;
    pixman_region32_t box;
    pixman_region32_init_rect(&box, int32_t(left), int32_t(top), uint32_t(right - left), uint32_t(bottom - top));
    bool ok = PaintRegion(dc, &box, *dc.brush);
    pixman_region32_fini(&box);
    return ok;
}

}  // namespace

BOOL Polygon(HDC handle, const POINT* points, int count)
{
    const INT counts[] = {count};
    return Shapes(handle, points, counts, 1);
}

BOOL PolyPolygon(HDC handle, const POINT* points, const INT* counts, int figures)
{
    return Shapes(handle, points, counts, figures);
}

BOOL Rectangle(HDC handle, int left, int top, int right, int bottom)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    POINT a, b;
    if (!MapToDevice(*dc, left, top, a) || !MapToDevice(*dc, right, bottom, b)) return FALSE;
    const int64_t l = std::min(a.x, b.x), r = std::max(a.x, b.x), t = std::min(a.y, b.y), btm = std::max(a.y, b.y);
    // The border runs through the pixels of columns l and r-1 and rows t and bottom-1.
    if (PathRecord* path = DcPathIn(*dc, PathState::Open)) {
        if (r <= l || btm <= t) return TRUE;
        const POINT corners[] = {{LONG(l), LONG(t)},
                                 {LONG(r - 1), LONG(t)},
                                 {LONG(r - 1), LONG(btm - 1)},
                                 {LONG(l), LONG(btm - 1)}};
        if (!PathAddPolygon(*path, corners)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        return TRUE;
    }
    if (r <= l || btm <= t) return TRUE;
    const Pen& pen = *dc->pen;
    if ((pen.style & PS_STYLE_MASK) == PS_NULL) return FillBox(*dc, l, t, r - 1, btm - 1) ? TRUE : FALSE;
    if (!FillBox(*dc, l + 1, t + 1, r - 1, btm - 1)) return FALSE;
    PathFigures border;
    double width = 0;
    try {
        FillPoint from = FillPointFromDevice(l, t), to = FillPointFromDevice(r - 1, btm - 1);
        if (PenIsGeometric(pen) && (pen.style & PS_STYLE_MASK) == PS_INSIDEFRAME) {
            // Inward by half the width less half a pixel, so the outer edge is the box's own;
            // a pen wider than the box narrows to fit.
            width = std::min<double>({PenDeviceWidth(*dc, pen.width), double(r - l), double(btm - t)});
            int64_t inset = std::llround((width - 1) / 2 * FILL_ONE);
            from = {from.x + inset, from.y + inset};
            to = {to.x - inset, to.y - inset};
        }
        AddBox(border, from, to);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return StrokeFigures(*dc, border, width) ? TRUE : FALSE;
}
