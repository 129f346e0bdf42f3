// MoveToEx, LineTo, Polyline, PolylineTo and PolyBezierTo: inside a path bracket they add to the
// path; otherwise they stroke one open figure with the DC's pen.
#include <new>

#include "../path/path_draw.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

enum class Segments { Lines, Beziers };

// Adds the device points to the DC's open path, or strokes them as one open figure from `from`.
BOOL DrawOrRecord(Dc& dc, POINT from, const std::vector<POINT>& points, Segments kind, bool newFigure)
{
    if (PathRecord* path = DcPathIn(dc, PathState::Open)) {
        if (newFigure) PathMoveTo(*path);
        bool ok = kind == Segments::Lines ? PathAddLines(*path, from, points) : PathAddBeziers(*path, from, points);
        if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ok ? TRUE : FALSE;
    }
    PathRecord figure;
    PathFigures flat;
    bool ok = kind == Segments::Lines ? PathAddLines(figure, from, points) : PathAddBeziers(figure, from, points);
    if (!ok || !FlattenForStroke(dc, figure, flat)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    return StrokeFigures(dc, flat) ? TRUE : FALSE;
}

BOOL ToCurrentPosition(HDC handle, const POINT* points, size_t count, Segments kind)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!points || (kind == Segments::Beziers && count % 3 != 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (count == 0) return TRUE;
    POINT from;
    std::vector<POINT> device;
    if (!MapToDevice(*dc, dc->currentPosition.x, dc->currentPosition.y, from) ||
        !MapPointsToDevice(*dc, points, count, device))
        return FALSE;
    if (!DrawOrRecord(*dc, from, device, kind, false)) return FALSE;
    dc->currentPosition = points[count - 1];
    return TRUE;
}

}  // namespace

BOOL MoveToEx(HDC handle, int x, int y, LPPOINT previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->currentPosition;
    dc->currentPosition = POINT{x, y};
    if (PathRecord* path = DcPathIn(*dc, PathState::Open)) PathMoveTo(*path);
    return TRUE;
}

BOOL GetCurrentPositionEx(HDC handle, LPPOINT position)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!position) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *position = dc->currentPosition;
    return TRUE;
}

BOOL LineTo(HDC handle, int x, int y)
{
    const POINT to{x, y};
    return ToCurrentPosition(handle, &to, 1, Segments::Lines);
}

BOOL PolylineTo(HDC handle, const POINT* points, DWORD count)
{
    return ToCurrentPosition(handle, points, count, Segments::Lines);
}

BOOL PolyBezierTo(HDC handle, const POINT* points, DWORD count)
{
    return ToCurrentPosition(handle, points, count, Segments::Beziers);
}

BOOL Polyline(HDC handle, const POINT* points, int count)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!points || count < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::vector<POINT> device;
    if (!MapPointsToDevice(*dc, points, size_t(count), device)) return FALSE;
    const POINT from = device[0];
    device.erase(device.begin());
    if (!DrawOrRecord(*dc, from, device, Segments::Lines, true)) return FALSE;
    // The current position stays where it was, so a later line starts a figure of its own.
    if (PathRecord* path = DcPathIn(*dc, PathState::Open)) PathMoveTo(*path);
    return TRUE;
}
