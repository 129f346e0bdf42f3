// Mapping modes: window and viewport origins and extents, logical to device and back.
#include <cstdlib>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

// Rounds num / den to the nearest integer, halves away from zero.
__int128 RoundDiv(__int128 num, __int128 den)
{
    __int128 q = num / den;
    __int128 r = num % den;
    __int128 absR = r < 0 ? -r : r;
    __int128 absD = den < 0 ? -den : den;
    if (2 * absR >= absD) q += ((num < 0) != (den < 0)) ? -1 : 1;
    return q;
}

bool Fits32(__int128 v) { return v >= INT32_MIN && v <= INT32_MAX; }

void IsotropicAdjust(Dc& dc)
{
    if (dc.mapMode != MM_ISOTROPIC) return;
    int64_t wx = std::llabs(dc.windowExt.cx), wy = std::llabs(dc.windowExt.cy);
    int64_t vx = std::llabs(dc.viewportExt.cx), vy = std::llabs(dc.viewportExt.cy);
    if (vx * wy < vy * wx) {  // x has the smaller scale: shrink y to it
        int64_t ny = int64_t(RoundDiv(__int128(vx) * wy, wx));
        if (ny == 0) ny = 1;
        dc.viewportExt.cy = LONG(dc.viewportExt.cy < 0 ? -ny : ny);
    } else if (vy * wx < vx * wy) {
        int64_t nx = int64_t(RoundDiv(__int128(vy) * wx, wy));
        if (nx == 0) nx = 1;
        dc.viewportExt.cx = LONG(dc.viewportExt.cx < 0 ? -nx : nx);
    }
}

}  // namespace

bool MapPoint(const Dc& dc, int64_t x, int64_t y, int64_t& outX, int64_t& outY)
{
    __int128 dx = RoundDiv(__int128(x - dc.windowOrg.x) * dc.viewportExt.cx, dc.windowExt.cx) + dc.viewportOrg.x;
    __int128 dy = RoundDiv(__int128(y - dc.windowOrg.y) * dc.viewportExt.cy, dc.windowExt.cy) + dc.viewportOrg.y;
    if (dx < INT64_MIN / 4 || dx > INT64_MAX / 4 || dy < INT64_MIN / 4 || dy > INT64_MAX / 4) return false;
    outX = int64_t(dx);
    outY = int64_t(dy);
    return true;
}

}  // namespace gdi

using namespace gdi;

int SetMapMode(HDC handle, int mode)
{
    DcCall dc(handle);
    if (!dc) return 0;
    if (mode != MM_TEXT && mode != MM_ISOTROPIC && mode != MM_ANISOTROPIC) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->mapMode;
    dc->mapMode = mode;
    if (mode == MM_TEXT) {
        dc->windowExt = {1, 1};
        dc->viewportExt = {1, 1};
    }
    IsotropicAdjust(*dc);
    return previous;
}

int GetMapMode(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->mapMode : 0;
}

static BOOL SetOrigin(HDC handle, POINT Dc::*field, int x, int y, LPPOINT previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->*field;
    dc->*field = {x, y};
    return TRUE;
}

static BOOL GetOrigin(HDC handle, POINT Dc::*field, LPPOINT out)
{
    DcCall dc(handle);
    if (!dc || !out) return FALSE;
    *out = dc->*field;
    return TRUE;
}

static BOOL SetExtent(HDC handle, SIZE Dc::*field, int cx, int cy, LPSIZE previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->*field;
    if (dc->mapMode == MM_TEXT) return TRUE;  // fixed 1:1 in this mode
    if (cx == 0 || cy == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dc->*field = {cx, cy};
    IsotropicAdjust(*dc);
    return TRUE;
}

static BOOL GetExtent(HDC handle, SIZE Dc::*field, LPSIZE out)
{
    DcCall dc(handle);
    if (!dc || !out) return FALSE;
    *out = dc->*field;
    return TRUE;
}

BOOL SetWindowOrgEx(HDC dc, int x, int y, LPPOINT previous) { return SetOrigin(dc, &Dc::windowOrg, x, y, previous); }
BOOL GetWindowOrgEx(HDC dc, LPPOINT origin) { return GetOrigin(dc, &Dc::windowOrg, origin); }
BOOL SetViewportOrgEx(HDC dc, int x, int y, LPPOINT previous)
{
    return SetOrigin(dc, &Dc::viewportOrg, x, y, previous);
}
BOOL GetViewportOrgEx(HDC dc, LPPOINT origin) { return GetOrigin(dc, &Dc::viewportOrg, origin); }

BOOL OffsetViewportOrgEx(HDC handle, int dx, int dy, LPPOINT previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (previous) *previous = dc->viewportOrg;
    int64_t x = int64_t(dc->viewportOrg.x) + dx, y = int64_t(dc->viewportOrg.y) + dy;
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    dc->viewportOrg = {LONG(x), LONG(y)};
    return TRUE;
}

BOOL SetWindowExtEx(HDC dc, int cx, int cy, LPSIZE previous) { return SetExtent(dc, &Dc::windowExt, cx, cy, previous); }
BOOL GetWindowExtEx(HDC dc, LPSIZE extent) { return GetExtent(dc, &Dc::windowExt, extent); }
BOOL SetViewportExtEx(HDC dc, int cx, int cy, LPSIZE previous)
{
    return SetExtent(dc, &Dc::viewportExt, cx, cy, previous);
}
BOOL GetViewportExtEx(HDC dc, LPSIZE extent) { return GetExtent(dc, &Dc::viewportExt, extent); }

BOOL LPtoDP(HDC handle, LPPOINT points, int count)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if ((!points && count > 0) || count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int i = 0; i < count; ++i) {
        int64_t x, y;
        if (!MapPoint(*dc, points[i].x, points[i].y, x, y) || !Fits32(x) || !Fits32(y)) {
            SetLastError(ERROR_ARITHMETIC_OVERFLOW);
            return FALSE;
        }
        points[i] = {LONG(x), LONG(y)};
    }
    return TRUE;
}

BOOL DPtoLP(HDC handle, LPPOINT points, int count)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if ((!points && count > 0) || count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    for (int i = 0; i < count; ++i) {
        __int128 x =
            RoundDiv(__int128(points[i].x - int64_t(dc->viewportOrg.x)) * dc->windowExt.cx, dc->viewportExt.cx) +
            dc->windowOrg.x;
        __int128 y =
            RoundDiv(__int128(points[i].y - int64_t(dc->viewportOrg.y)) * dc->windowExt.cy, dc->viewportExt.cy) +
            dc->windowOrg.y;
        if (!Fits32(x) || !Fits32(y)) {
            SetLastError(ERROR_ARITHMETIC_OVERFLOW);
            return FALSE;
        }
        points[i] = {LONG(x), LONG(y)};
    }
    return TRUE;
}
