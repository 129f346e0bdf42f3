// Regions over pixman's 32-bit regions.
#include <algorithm>
#include <cstring>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

int RegionType(const pixman_region32_t* region)
{
    int count = pixman_region32_n_rects(const_cast<pixman_region32_t*>(region));
    return count == 0 ? NULLREGION : count == 1 ? SIMPLEREGION : COMPLEXREGION;
}

HRGN NewRegion(const pixman_box32_t* boxes, int count)
{
    Region* region = NewObject<Region>();
    if (!region) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (count > 0 && !pixman_region32_init_rects(&region->rgn, boxes, count)) {
        DestroyObject(region);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return static_cast<HRGN>(region->handle);
}

// The region's rectangles in bands by y, then x, with touching rectangles of a band joined and
// touching bands of the same spans merged.
std::vector<RECT> BandedRects(const pixman_region32_t* region)
{
    int count = 0;
    const pixman_box32_t* boxes = pixman_region32_rectangles(const_cast<pixman_region32_t*>(region), &count);
    std::vector<RECT> out;
    size_t previousBand = 0, previousCount = 0;
    for (int i = 0; i < count;) {
        int j = i;
        size_t bandStart = out.size();
        while (j < count && boxes[j].y1 == boxes[i].y1) {
            const pixman_box32_t& b = boxes[j++];
            if (out.size() > bandStart && out.back().right == b.x1) out.back().right = b.x2;
            else out.push_back({b.x1, b.y1, b.x2, b.y2});
        }
        size_t bandCount = out.size() - bandStart;
        bool merge = previousCount == bandCount && previousCount > 0 && out[previousBand].bottom == out[bandStart].top;
        for (size_t k = 0; merge && k < bandCount; ++k)
            merge = out[previousBand + k].left == out[bandStart + k].left &&
                    out[previousBand + k].right == out[bandStart + k].right;
        if (merge) {
            for (size_t k = 0; k < bandCount; ++k) out[previousBand + k].bottom = out[bandStart + k].bottom;
            out.resize(bandStart);
        } else {
            previousBand = bandStart;
            previousCount = bandCount;
        }
        i = j;
    }
    return out;
}

}  // namespace

void DcVisibleRegion(const Dc& dc, pixman_region32_t* out)
{
    const Dib& dib = dc.bitmap->dib;
    pixman_region32_init_rect(out, 0, 0, uint32_t(dib.width), uint32_t(dib.height));
    if (dc.hasClip) pixman_region32_intersect(out, out, const_cast<pixman_region32_t*>(&dc.clip));
}

int RegionTypeOf(const pixman_region32_t* region) { return RegionType(region); }

}  // namespace gdi

using namespace gdi;

HRGN CreateRectRgn(int left, int top, int right, int bottom)
{
    pixman_box32_t box{std::min(left, right), std::min(top, bottom), std::max(left, right), std::max(top, bottom)};
    bool empty = box.x1 == box.x2 || box.y1 == box.y2;
    return NewRegion(&box, empty ? 0 : 1);
}

HRGN CreateRectRgnIndirect(const RECT* rect)
{
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return CreateRectRgn(rect->left, rect->top, rect->right, rect->bottom);
}

HRGN ExtCreateRegion(const XFORM* transform, DWORD size, const RGNDATA* data)
{
    if (transform || !data || size < sizeof(RGNDATAHEADER) || data->rdh.dwSize != sizeof(RGNDATAHEADER) ||
        data->rdh.iType != RDH_RECTANGLES || uint64_t(data->rdh.nCount) * sizeof(RECT) + sizeof(RGNDATAHEADER) > size) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    std::vector<pixman_box32_t> boxes;
    try {
        boxes.reserve(data->rdh.nCount);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(data->Buffer);
    for (DWORD i = 0; i < data->rdh.nCount; ++i) {
        RECT r;
        std::memcpy(&r, p + size_t(i) * sizeof(RECT), sizeof r);
        if (r.left < r.right && r.top < r.bottom) boxes.push_back({r.left, r.top, r.right, r.bottom});  // reserved
    }
    return NewRegion(boxes.data(), int(boxes.size()));
}

int CombineRgn(HRGN dstHandle, HRGN aHandle, HRGN bHandle, int mode)
{
    Region* dst = Get<Region>(dstHandle);
    Region* a = Get<Region>(aHandle);
    if (!dst || !a) return ERROR;
    Region* b = nullptr;
    if (mode != RGN_COPY) {
        b = Get<Region>(bHandle);
        if (!b) return ERROR;
    }
    pixman_region32_t result;
    pixman_region32_init(&result);
    bool ok = true;
    switch (mode) {
        case RGN_AND: ok = pixman_region32_intersect(&result, &a->rgn, &b->rgn); break;
        case RGN_OR: ok = pixman_region32_union(&result, &a->rgn, &b->rgn); break;
        case RGN_DIFF: ok = pixman_region32_subtract(&result, &a->rgn, &b->rgn); break;
        case RGN_COPY: ok = pixman_region32_copy(&result, &a->rgn); break;
        case RGN_XOR: {
            pixman_region32_t other;
            pixman_region32_init(&other);
            ok = pixman_region32_subtract(&result, &a->rgn, &b->rgn) &&
                 pixman_region32_subtract(&other, &b->rgn, &a->rgn) && pixman_region32_union(&result, &result, &other);
            pixman_region32_fini(&other);
            break;
        }
        default:
            pixman_region32_fini(&result);
            SetLastError(ERROR_INVALID_PARAMETER);
            return ERROR;
    }
    if (!ok || !pixman_region32_copy(&dst->rgn, &result)) {
        pixman_region32_fini(&result);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return ERROR;
    }
    pixman_region32_fini(&result);
    return RegionType(&dst->rgn);
}

int OffsetRgn(HRGN handle, int dx, int dy)
{
    Region* region = Get<Region>(handle);
    if (!region) return ERROR;
    if (pixman_region32_not_empty(&region->rgn)) {
        const pixman_box32_t* e = pixman_region32_extents(&region->rgn);
        if (int64_t(e->x1) + dx < INT32_MIN || int64_t(e->x2) + dx > INT32_MAX || int64_t(e->y1) + dy < INT32_MIN ||
            int64_t(e->y2) + dy > INT32_MAX) {
            SetLastError(ERROR_ARITHMETIC_OVERFLOW);
            return ERROR;
        }
        pixman_region32_translate(&region->rgn, dx, dy);
    }
    return RegionType(&region->rgn);
}

DWORD GetRegionData(HRGN handle, DWORD size, RGNDATA* data)
{
    Region* region = Get<Region>(handle);
    if (!region) return 0;
    std::vector<RECT> rects;
    try {
        rects = BandedRects(&region->rgn);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    uint64_t needed = sizeof(RGNDATAHEADER) + uint64_t(rects.size()) * sizeof(RECT);
    if (needed > UINT32_MAX) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }
    if (!data) return DWORD(needed);
    if (size < needed) {
        SetLastError(ERROR_INVALID_PARAMETER);  // what the platform documents for a short buffer
        return 0;
    }
    RGNDATAHEADER header{};
    header.dwSize = sizeof(RGNDATAHEADER);
    header.iType = RDH_RECTANGLES;
    header.nCount = DWORD(rects.size());
    header.nRgnSize = DWORD(rects.size() * sizeof(RECT));
    if (!rects.empty()) {
        const pixman_box32_t* e = pixman_region32_extents(&region->rgn);
        header.rcBound = {e->x1, e->y1, e->x2, e->y2};
    }
    std::memcpy(data, &header, sizeof header);
    if (!rects.empty()) std::memcpy(data->Buffer, rects.data(), rects.size() * sizeof(RECT));
    return DWORD(needed);
}

int GetRgnBox(HRGN handle, LPRECT box)
{
    Region* region = Get<Region>(handle);
    if (!region) return ERROR;
    if (!box) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR;
    }
    *box = {0, 0, 0, 0};
    if (pixman_region32_not_empty(&region->rgn)) {
        const pixman_box32_t* e = pixman_region32_extents(&region->rgn);
        *box = {e->x1, e->y1, e->x2, e->y2};
    }
    return RegionType(&region->rgn);
}

BOOL PtInRegion(HRGN handle, int x, int y)
{
    Region* region = Get<Region>(handle);
    return region && pixman_region32_contains_point(&region->rgn, x, y, nullptr) ? TRUE : FALSE;
}

BOOL RectInRegion(HRGN handle, const RECT* rect)
{
    Region* region = Get<Region>(handle);
    if (!region) return FALSE;
    if (!rect) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    pixman_box32_t box{std::min(rect->left, rect->right), std::min(rect->top, rect->bottom),
                       std::max(rect->left, rect->right), std::max(rect->top, rect->bottom)};
    if (box.x1 == box.x2 || box.y1 == box.y2) return FALSE;
    return pixman_region32_contains_rectangle(&region->rgn, &box) != PIXMAN_REGION_OUT ? TRUE : FALSE;
}

BOOL EqualRgn(HRGN aHandle, HRGN bHandle)
{
    Region* a = Get<Region>(aHandle);
    Region* b = Get<Region>(bHandle);
    return a && b && pixman_region32_equal(&a->rgn, &b->rgn) ? TRUE : FALSE;
}
