// ExtTextOutA/W and TextOutA/W: the opaque rectangle and the background box, painted through the
// raster core as regions, then the glyphs' pixels copied from the glyph cache.
#include <algorithm>
#include <cmath>

#include "../path/path_draw.h"
#include "../region/polygon_region.h"
#include "font_internal.h"
#include "platform/kernel.h"
#include "text.h"

using namespace gdi;

namespace gdi {

bool TextPaint(Dc& dc, pixman_region32_t* shape, COLORREF color)
{
    Brush brush;
    brush.color = color;
    return PaintRegion(dc, shape, brush, 0xF0);  // PATCOPY: text ignores the DC's mix
}

bool TextPlace(const Dc& dc, int x, int y, const FontScale& s, const TextRun& run, FT_Vector& origin)
{
    int64_t rx, ry;
    if (!MapPoint(dc, x, y, rx, ry)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return false;
    }
    const double along = run.advance.x * s.cos - run.advance.y * s.sin;  // 26.6
    const UINT h = dc.textAlign & TA_CENTER, v = dc.textAlign & TA_BASELINE;
    const double u = h == TA_CENTER ? -along / 2 : h == TA_RIGHT ? -along : 0;
    const double up = v == TA_BASELINE ? 0 : v == TA_BOTTOM ? s.descent * 64 : -s.ascent * 64;
    // Along the baseline (cos, -sin) and upwards (-sin, -cos), device y downwards.
    origin.x = FT_Pos(std::lround(rx * 64.0 + u * s.cos - up * s.sin));
    origin.y = FT_Pos(std::lround(ry * 64.0 - u * s.sin - up * s.cos));
    return true;
}

}  // namespace gdi

namespace {

inline int64_t Pixel(FT_Pos v) { return (v + 32) >> 6; }

struct Region {
    pixman_region32_t r;
    Region() { pixman_region32_init(&r); }
    ~Region() { pixman_region32_fini(&r); }
};

// The device rectangle of a logical one, normalised.
bool DeviceRect(const Dc& dc, const RECT& rect, pixman_box32_t& out)
{
    int64_t x1, y1, x2, y2;
    if (!MapPoint(dc, rect.left, rect.top, x1, y1) || !MapPoint(dc, rect.right, rect.bottom, x2, y2)) {
        SetLastError(ERROR_ARITHMETIC_OVERFLOW);
        return false;
    }
    // Far enough for any bitmap, near enough that the width and height fit 32 bits.
    auto c = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, -(int64_t{1} << 30), int64_t{1} << 30)); };
    out = pixman_box32_t{c(std::min(x1, x2)), c(std::min(y1, y2)), c(std::max(x1, x2)), c(std::max(y1, y2))};
    return true;
}

BOOL TextOutWide(HDC handle, int x, int y, UINT options, const RECT* rect, const WCHAR* text, size_t count,
                 const INT* dx)
{
    if (count && !text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    DcCall dc(handle);
    Font* font = DcAndFont(dc);
    if (!font) return FALSE;
    pixman_box32_t clipBox{};
    const bool clipped = rect && (options & ETO_CLIPPED);
    if (rect && !DeviceRect(*dc, *rect, clipBox)) return FALSE;
    Region visible;
    DcVisibleRegion(*dc, &visible.r);
    if (clipped) {
        Region box;
        pixman_region32_init_rect(&box.r, clipBox.x1, clipBox.y1, uint32_t(clipBox.x2 - clipBox.x1),
                                  uint32_t(clipBox.y2 - clipBox.y1));
        pixman_region32_intersect(&visible.r, &visible.r, &box.r);
    }
    if (rect && (options & ETO_OPAQUE)) {
        Region fill;
        pixman_region32_init_rect(&fill.r, clipBox.x1, clipBox.y1, uint32_t(clipBox.x2 - clipBox.x1),
                                  uint32_t(clipBox.y2 - clipBox.y1));
        if (!TextPaint(*dc, &fill.r, dc->bkColor)) return FALSE;
    }
    if (count == 0) return TRUE;
    SizedFont sized(*font, *dc);
    if (!sized.ok()) return FALSE;
    TextRun run;
    FT_Vector origin;
    try {
        TextRunLayout(sized, text, count, options & ETO_GLYPH_INDEX, dx, run);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    if (!TextPlace(*dc, x, y, sized.scale(), run, origin)) return FALSE;
    const pixman_box32_t area = *pixman_region32_extents(&visible.r);
    if (dc->bkMode == OPAQUE) {
        const FontScale& s = sized.scale();
        const double along = run.advance.x * s.cos - run.advance.y * s.sin;
        const double corners[4][2] = {{0, s.ascent * 64},
                                      {along, s.ascent * 64},
                                      {along, -s.descent * 64},
                                      {0, -s.descent * 64}};
        FillPoint points[4];
        for (int i = 0; i < 4; ++i) {
            const double u = corners[i][0], up = corners[i][1];
            points[i] = FillPointFromDevice(Pixel(FT_Pos(std::lround(origin.x + u * s.cos - up * s.sin))),
                                            Pixel(FT_Pos(std::lround(origin.y - u * s.sin - up * s.cos))));
        }
        const int counts[1] = {4};
        const RECT limit{area.x1, area.y1, area.x2, area.y2};
        Region box;
        if (!PolygonRegionBuild(&box.r, points, counts, FILL_WINDING, &limit)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return FALSE;
        }
        pixman_region32_intersect(&box.r, &box.r, &visible.r);
        if (!TextPaint(*dc, &box.r, dc->bkColor)) return FALSE;
    }
    try {
        return TextInkPaint(*dc, sized, run, origin, &visible.r, dc->textColor) ? TRUE : FALSE;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
}

}  // namespace

BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count, const INT* dx)
{
    return TextOutWide(dc, x, y, options, rect, text, count, dx);
}

BOOL ExtTextOutA(HDC dc, int x, int y, UINT options, const RECT* rect, LPCSTR text, UINT count, const INT* dx)
{
    if (count && !text) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::u16string wide;
    try {
        wide = NarrowTextToWide(text, count, options & ETO_GLYPH_INDEX);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return FALSE;
    }
    // dx gives one advance per narrow character; past the converted length it is not read.
    return TextOutWide(dc, x, y, options, rect, wide.data(), wide.size(), wide.size() <= count ? dx : nullptr);
}

BOOL TextOutW(HDC dc, int x, int y, LPCWSTR text, int count)
{
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutW(dc, x, y, 0, nullptr, text, UINT(count), nullptr);
}

BOOL TextOutA(HDC dc, int x, int y, LPCSTR text, int count)
{
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    return ExtTextOutA(dc, x, y, 0, nullptr, text, UINT(count), nullptr);
}
