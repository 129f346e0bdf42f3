// Pen objects: CreatePen and ExtCreatePen check the style and keep it whole; drawing reads the
// style bits. A geometric pen on a DIB pattern keeps its own pattern brush, freed with the pen.
#include <algorithm>
#include <cmath>
#include <new>

#include "../path/path_draw.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

void DestroyPen(Object* object)
{
    Pen* pen = static_cast<Pen*>(object);
    if (pen->brush.lbStyle == BS_DIBPATTERNPT && pen->brush.lbHatch)
        if (Brush* pattern = Get<Brush>(reinterpret_cast<HGDIOBJ>(pen->brush.lbHatch))) DestroyObject(pattern);
    delete pen;
}

HPEN Fail(DWORD error)
{
    SetLastError(error);
    return nullptr;
}

}  // namespace

bool PenIsGeometric(const Pen& pen) { return (pen.style & PS_TYPE_MASK) == PS_GEOMETRIC; }

double PenDeviceWidth(const Dc& dc, double logicalWidth)
{
    double scale = static_cast<double>(dc.viewportExt.cx) / static_cast<double>(dc.windowExt.cx);
    return std::max(1.0, std::fabs(logicalWidth * scale));
}

}  // namespace gdi

using namespace gdi;

HPEN CreatePen(int style, int width, COLORREF color)
{
    if (style < PS_SOLID || style > PS_INSIDEFRAME) return Fail(ERROR_INVALID_PARAMETER);
    Pen* pen = NewObject<Pen>();
    if (!pen) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    if (width > 1) {
        // A wide pen in a dashed style draws solid.
        DWORD basic = style == PS_NULL || style == PS_INSIDEFRAME ? DWORD(style) : DWORD(PS_SOLID);
        pen->style = PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND | basic;
        pen->width = width;
    } else {
        pen->style = PS_COSMETIC | DWORD(style);
        pen->width = 1;
    }
    pen->color = color;
    pen->brush = LOGBRUSH{BS_SOLID, color, 0};
    return static_cast<HPEN>(pen->handle);
}

HPEN ExtCreatePen(DWORD style, DWORD width, const LOGBRUSH* brush, DWORD styleCount, const DWORD* styles)
{
    const DWORD known = PS_STYLE_MASK | PS_ENDCAP_MASK | PS_JOIN_MASK | PS_TYPE_MASK;
    const DWORD basic = style & PS_STYLE_MASK, cap = style & PS_ENDCAP_MASK, join = style & PS_JOIN_MASK;
    const DWORD type = style & PS_TYPE_MASK;
    const bool geometric = type == PS_GEOMETRIC;
    if (!brush || (style & ~known) || basic > PS_ALTERNATE || cap > PS_ENDCAP_FLAT || join > PS_JOIN_MITER ||
        (type != PS_COSMETIC && type != PS_GEOMETRIC))
        return Fail(ERROR_INVALID_PARAMETER);
    if (basic == PS_USERSTYLE) {
        if (styleCount == 0 || styleCount > 16 || !styles ||
            std::all_of(styles, styles + styleCount, [](DWORD d) { return d == 0; }))
            return Fail(ERROR_INVALID_PARAMETER);
    } else if (styleCount != 0 || styles) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (geometric) {
        if (basic == PS_ALTERNATE) return Fail(ERROR_INVALID_PARAMETER);
        if (brush->lbStyle != BS_SOLID && brush->lbStyle != BS_NULL && brush->lbStyle != BS_DIBPATTERN &&
            brush->lbStyle != BS_DIBPATTERNPT)
            return Fail(ERROR_INVALID_PARAMETER);
    } else if (width != 1 || brush->lbStyle != BS_SOLID || basic == PS_INSIDEFRAME) {
        return Fail(ERROR_INVALID_PARAMETER);
    }
    if (width > INT32_MAX) return Fail(ERROR_INVALID_PARAMETER);

    HBRUSH pattern = nullptr;
    if (brush->lbStyle == BS_DIBPATTERN || brush->lbStyle == BS_DIBPATTERNPT) {
        // No global memory handles here: the handle is the packed DIB's address.
        pattern = CreateDIBPatternBrushPt(reinterpret_cast<const void*>(brush->lbHatch), LOWORD(brush->lbColor));
        if (!pattern) return nullptr;
    }
    Pen* pen = NewObject<Pen>();
    if (!pen) {
        if (pattern) DeleteObject(pattern);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    pen->destroy = DestroyPen;
    pen->extended = true;
    pen->style = style;
    pen->width = static_cast<int32_t>(width);
    pen->color = brush->lbStyle == BS_SOLID ? brush->lbColor : 0;
    pen->brush = pattern ? LOGBRUSH{BS_DIBPATTERNPT, 0, reinterpret_cast<ULONG_PTR>(pattern)} : *brush;
    try {
        if (basic == PS_USERSTYLE) pen->dashes.assign(styles, styles + styleCount);
    } catch (const std::bad_alloc&) {
        DestroyObject(pen);
        return Fail(ERROR_NOT_ENOUGH_MEMORY);
    }
    return static_cast<HPEN>(pen->handle);
}

BOOL SetMiterLimit(HDC handle, float limit, float* previous)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!(limit >= 1.0f)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (previous) *previous = dc->miterLimit;
    dc->miterLimit = limit;
    return TRUE;
}

BOOL GetMiterLimit(HDC handle, float* limit)
{
    DcCall dc(handle);
    if (!dc) return FALSE;
    if (!limit) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *limit = dc->miterLimit;
    return TRUE;
}

int SetPolyFillMode(HDC handle, int mode)
{
    DcCall dc(handle);
    if (!dc) return 0;
    if (mode != ALTERNATE && mode != WINDING) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    int previous = dc->polyFillMode;
    dc->polyFillMode = mode;
    return previous;
}

int GetPolyFillMode(HDC handle)
{
    DcCall dc(handle);
    return dc ? dc->polyFillMode : 0;
}
