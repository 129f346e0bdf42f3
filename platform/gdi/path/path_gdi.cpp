// The path bracket and what uses a closed path: fills, strokes, regions, clipping, flattening.
#include <algorithm>
#include <cstring>

#include "../region/polygon_region.h"
#include "path_draw.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

PathRecord* ClosedPath(Dc* dc)
{
    if (!dc) return nullptr;
    PathRecord* path = DcPathIn(*dc, PathState::Closed);
    if (!path) SetLastError(ERROR_CAN_NOT_COMPLETE);
    return path;
}

bool Flatten(const PathRecord& path, PathFigures& figures, const RECT* cull = nullptr)
{
    if (PathFlattenFigures(path, figures, cull)) return true;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

// The fill region of the DC's closed path within `clip` (device pixels); without one, within
// the bounds a region may have (see PolygonRegionBuild). Null with the last error on failure.
HRGN RegionOfPath(Dc* dc, const RECT* clip)
{
    PathRecord* path = ClosedPath(dc);
    if (!path) return nullptr;
    RECT cull{-POLYGON_REGION_LIMIT, -POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT, POLYGON_REGION_LIMIT};
    if (clip) {
        cull = *clip;
    } else if (!path->points.empty()) {
        // Refused before flattening: the control points bound the curves.
        RECT bounds{INT32_MAX, INT32_MAX, INT32_MIN, INT32_MIN};
        for (const POINT& p : path->points)
            bounds = {std::min(bounds.left, p.x), std::min(bounds.top, p.y), std::max(bounds.right, p.x),
                      std::max(bounds.bottom, p.y)};
        if (!PolygonRegionExtentFits(bounds)) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
    }
    PathFigures figures;
    if (!Flatten(*path, figures, &cull)) return nullptr;
    HRGN handle = CreateRectRgn(0, 0, 0, 0);
    Region* region = handle ? Get<Region>(handle) : nullptr;
    if (!region) return nullptr;
    int mode = dc->polyFillMode == WINDING ? FILL_WINDING : FILL_ALTERNATE;
    if (!PolygonRegionBuild(&region->rgn, figures.points, figures.counts, mode, clip)) {
        const DWORD error = GetLastError();
        DeleteObject(handle);
        SetLastError(error);
        return nullptr;
    }
    return handle;
}

// What SelectClipPath can keep of a path: the pixels of the bitmap, and of the current clip
// when the path is intersected with it.
RECT ClipPathBounds(const Dc& dc, int mode)
{
    RECT bounds{0, 0, dc.bitmap->dib.width, dc.bitmap->dib.height};
    if (mode == RGN_AND && dc.hasClip) {
        const pixman_box32_t* e = pixman_region32_extents(&dc.clip);
        bounds = {std::max(bounds.left, e->x1), std::max(bounds.top, e->y1), std::min(bounds.right, e->x2),
                  std::min(bounds.bottom, e->y2)};
    }
    bounds.right = std::max(bounds.right, bounds.left);
    bounds.bottom = std::max(bounds.bottom, bounds.top);
    return bounds;
}

enum Use { Fill = 1, Stroke = 2 };

BOOL DrawPath(HDC handle, int use)
{
    DcCall dc(handle);
    PathRecord* path = ClosedPath(dc);
    if (!path) return FALSE;
    // A fill reaches only the visible pixels and a stroke as far beyond them as its pen reaches,
    // so curves are culled to that.
    PathFigures figures;
    if (use & Stroke) {
        if (!FlattenForStroke(*dc, *path, figures)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
    } else {
        pixman_region32_t region;
        DcVisibleRegion(*dc, &region);
        const pixman_box32_t* e = pixman_region32_extents(&region);
        const RECT cull = {e->x1, e->y1, e->x2, e->y2};
        pixman_region32_fini(&region);
        if (!Flatten(*path, figures, &cull)) return FALSE;
    }
    bool ok = true;
    if (use & Fill) {
        PathFigures closed = figures;
        std::fill(closed.closed.begin(), closed.closed.end(), true);
        ok = FillFigures(*dc, closed);
    }
    if (ok && (use & Stroke)) ok = StrokeFigures(*dc, figures);
    DcPathDiscard(*dc);
    return ok ? TRUE : FALSE;
}

}  // namespace

BOOL BeginPath(HDC handle)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    PathRecord* path = DcPath(*dc);
    if (!path) return FALSE;
    PathClear(*path);
    path->state = PathState::Open;
    return TRUE;
}

BOOL EndPath(HDC handle)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    PathRecord* path = DcPathIn(*dc, PathState::Open);
    if (!path) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return FALSE;
    }
    path->state = PathState::Closed;
    path->figureOpen = false;
    return TRUE;
}

BOOL AbortPath(HDC handle)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    DcPathDiscard(*dc);
    return TRUE;
}

BOOL CloseFigure(HDC handle)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    PathRecord* path = DcPathIn(*dc, PathState::Open);
    if (!path) {
        SetLastError(ERROR_CAN_NOT_COMPLETE);
        return FALSE;
    }
    PathCloseFigure(*path);
    return TRUE;
}

BOOL FillPath(HDC handle) { return DrawPath(handle, Fill); }
BOOL StrokePath(HDC handle) { return DrawPath(handle, Stroke); }
BOOL StrokeAndFillPath(HDC handle) { return DrawPath(handle, Fill | Stroke); }

HRGN PathToRegion(HDC handle)
{
    DcCall dc(handle);
    HRGN region = RegionOfPath(dc, nullptr);
    if (region) DcPathDiscard(*dc);
    return region;
}

BOOL SelectClipPath(HDC handle, int mode)
{
    DcCall dc(handle);
    if (dc && (mode < RGN_AND || mode > RGN_COPY)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!dc) return FALSE;
    const RECT bounds = ClipPathBounds(*dc, mode);
    HRGN region = RegionOfPath(dc, &bounds);
    if (!region) return FALSE;
    int type = ExtSelectClipRgn(handle, region, mode);
    DeleteObject(region);
    if (type == ERROR) return FALSE;
    DcPathDiscard(*dc);
    return TRUE;
}

BOOL FlattenPath(HDC handle)
{
    DcCall dc(handle);
    PathRecord* path = ClosedPath(dc);
    if (!path) return FALSE;
    if (!PathFlattenRecord(*path)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return TRUE;
}

int GetPath(HDC handle, LPPOINT points, BYTE* kinds, int count)
{
    DcCall dc(handle);
    PathRecord* path = ClosedPath(dc);
    if (!path) return -1;
    const int have = int(path->points.size());
    if (count == 0) return have;
    if (count < have || !points || !kinds) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    std::copy(path->points.begin(), path->points.end(), points);
    std::copy(path->kinds.begin(), path->kinds.end(), kinds);
    return have;
}
