// The clip region of a DC: a copy of a region in device pixels.
#include <algorithm>

#include "../gdi_internal.h"
#include "platform/kernel.h"

using namespace gdi;

int SelectClipRgn(HDC dc, HRGN region) { return ExtSelectClipRgn(dc, region, RGN_COPY); }

int ExtSelectClipRgn(HDC handle, HRGN regionHandle, int mode)
{
    DcCall dc(handle);
    if (!dc) return ERROR;
    if (mode < RGN_AND || mode > RGN_COPY) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    if (!regionHandle) {
        if (mode != RGN_COPY) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return ERROR;
        }
        dc->hasClip = false;
        pixman_region32_clear(&dc->clip);
        return SIMPLEREGION;
    }
    Region* region = Get<Region>(regionHandle);
    if (!region) return ERROR;
    pixman_region32_t current, result;
    if (dc->hasClip) {
        pixman_region32_init(&current);
        pixman_region32_copy(&current, &dc->clip);
    } else {
        const Dib& dib = dc->bitmap->dib;
        pixman_region32_init_rect(&current, 0, 0, uint32_t(dib.width), uint32_t(dib.height));
    }
    pixman_region32_init(&result);
    bool ok = true;
    switch (mode) {
        case RGN_AND: ok = pixman_region32_intersect(&result, &current, &region->rgn); break;
        case RGN_OR: ok = pixman_region32_union(&result, &current, &region->rgn); break;
        case RGN_DIFF: ok = pixman_region32_subtract(&result, &current, &region->rgn); break;
        case RGN_COPY: ok = pixman_region32_copy(&result, &region->rgn); break;
        case RGN_XOR: {
            pixman_region32_t a, b;
            pixman_region32_init(&a);
            pixman_region32_init(&b);
            ok = pixman_region32_subtract(&a, &current, &region->rgn) &&
                 pixman_region32_subtract(&b, &region->rgn, &current) && pixman_region32_union(&result, &a, &b);
            pixman_region32_fini(&a);
            pixman_region32_fini(&b);
            break;
        }
    }
    if (ok) ok = pixman_region32_copy(&dc->clip, &result);
    pixman_region32_fini(&current);
    pixman_region32_fini(&result);
    if (!ok) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ERROR;
    }
    dc->hasClip = true;
    return RegionTypeOf(&dc->clip);
}

int GetClipBox(HDC handle, LPRECT box)
{
    DcCall dc(handle);
    if (!dc) return ERROR;
    if (!box) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    pixman_region32_t visible;
    DcVisibleRegion(*dc, &visible);
    int type = RegionTypeOf(&visible);
    *box = {0, 0, 0, 0};
    if (type != NULLREGION) {
        const pixman_box32_t* e = pixman_region32_extents(&visible);
        POINT corners[2] = {{e->x1, e->y1}, {e->x2, e->y2}};
        DPtoLP(handle, corners, 2);
        *box = {std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
                std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y)};
    }
    pixman_region32_fini(&visible);
    return type;
}
