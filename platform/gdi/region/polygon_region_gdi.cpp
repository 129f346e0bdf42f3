// CreatePolygonRgn and CreatePolyPolygonRgn: the pixels Polygon's fill would set.
#include <new>

#include "../path/path_draw.h"
#include "platform/kernel.h"
#include "polygon_region.h"

using namespace gdi;

HRGN CreatePolyPolygonRgn(const POINT* points, const INT* counts, int figures, int mode)
{
    if (!points || !counts || figures <= 0 || (mode != ALTERNATE && mode != WINDING)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<FillPoint> fill;
    std::vector<int> sizes;
    try {
        size_t start = 0;
        for (int f = 0; f < figures; ++f) {
            if (counts[f] < 2) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            for (int i = 0; i < counts[f]; ++i)
                fill.push_back(FillPointFromDevice(points[start + i].x, points[start + i].y));
            sizes.push_back(counts[f]);
            start += size_t(counts[f]);
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    HRGN handle = CreateRectRgn(0, 0, 0, 0);
    Region* region = handle ? Get<Region>(handle) : nullptr;
    if (!region) return nullptr;
    if (!PolygonRegionBuild(&region->rgn, fill, sizes, mode == WINDING ? FILL_WINDING : FILL_ALTERNATE)) {
        const DWORD error = GetLastError();
        DeleteObject(handle);
        SetLastError(error);
        return nullptr;
    }
    return handle;
}

HRGN CreatePolygonRgn(const POINT* points, int count, int mode)
{
    const INT counts[] = {count};
    return CreatePolyPolygonRgn(points, counts, 1, mode);
}
