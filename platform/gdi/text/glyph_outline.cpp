// GetGlyphOutlineA/W: a glyph's metrics and its outline as TrueType polygons in 16.16 fixed point.
#include <algorithm>
#include <cstring>

#include "font_internal.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

struct Writer {
    std::vector<uint8_t> out;
    void Put32(int32_t v)
    {
        uint8_t b[4];
        std::memcpy(b, &v, 4);
        out.insert(out.end(), b, b + 4);
    }
    void Put16(uint16_t v) { out.insert(out.end(), {uint8_t(v), uint8_t(v >> 8)}); }
    // 26.6 to 16.16.
    void Point(FT_Vector p)
    {
        Put32(int32_t(p.x * 1024));
        Put32(int32_t(p.y * 1024));
    }
};

struct Pt {
    FT_Vector v;
    char tag;  // FT_CURVE_TAG_ON, _CONIC or _CUBIC
};

// One contour: starts on an on-curve point (a made-up midpoint when it has none), gathers runs
// of lines, quadratic and cubic splines, and ends back at its start.
void Contour(Writer& w, const FT_Outline& outline, int first, int last)
{
    std::vector<Pt> pts;
    for (int i = first; i <= last; ++i) pts.push_back({outline.points[i], char(FT_CURVE_TAG(outline.tags[i]))});
    size_t start = 0;
    while (start < pts.size() && pts[start].tag != FT_CURVE_TAG_ON) ++start;
    if (start == pts.size()) {
        const FT_Vector a = pts.back().v, b = pts.front().v;
        pts.insert(pts.begin(), Pt{{(a.x + b.x) / 2, (a.y + b.y) / 2}, FT_CURVE_TAG_ON});
        start = 0;
    }
    std::rotate(pts.begin(), pts.begin() + ptrdiff_t(start), pts.end());
    pts.push_back(pts.front());  // back to the start
    const size_t headerAt = w.out.size();
    w.Put32(0);
    w.Put32(TT_POLYGON_TYPE);
    w.Point(pts.front().v);
    size_t i = 1;
    while (i < pts.size()) {
        const bool line = pts[i].tag == FT_CURVE_TAG_ON;
        const WORD type = line ? TT_PRIM_LINE : pts[i].tag == FT_CURVE_TAG_CONIC ? TT_PRIM_QSPLINE : TT_PRIM_CSPLINE;
        size_t end = i;
        if (line) {
            while (end + 1 < pts.size() && pts[end + 1].tag == FT_CURVE_TAG_ON) ++end;
        } else {
            // Control points of one kind up to the next on-curve point (always present: the start).
            while (pts[end].tag != FT_CURVE_TAG_ON && pts[end].tag == pts[i].tag) ++end;
        }
        const size_t count = end - i + 1;
        w.Put16(type);
        w.Put16(uint16_t(count));
        for (size_t k = i; k <= end; ++k) w.Point(pts[k].v);
        i = end + 1;
    }
    const uint32_t cb = uint32_t(w.out.size() - headerAt);
    std::memcpy(w.out.data() + headerAt, &cb, 4);
}

int32_t FixedOf(FIXED f) { return int32_t(uint32_t(uint16_t(f.value)) << 16 | f.fract); }

DWORD Outline(HDC handle, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer, const MAT2* matrix)
{
    const UINT kind = format & ~UINT(GGO_GLYPH_INDEX | GGO_UNHINTED);
    if (!matrix || !metrics || (kind != GGO_METRICS && kind != GGO_NATIVE)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return GDI_ERROR;
    }
    DcCall dc(handle);
    Font* font = DcAndFont(dc);
    if (!font) return GDI_ERROR;
    const FT_Matrix extra{FixedOf(matrix->eM11), FixedOf(matrix->eM21), FixedOf(matrix->eM12), FixedOf(matrix->eM22)};
    SizedFont sized(*font, *dc, &extra);
    if (!sized.ok()) return GDI_ERROR;
    if (!sized.Load(code, format & GGO_GLYPH_INDEX, !(format & GGO_UNHINTED))) {
        SetLastError(ERROR_INVALID_DATA);
        return GDI_ERROR;
    }
    const FT_GlyphSlot slot = sized.slot();
    const FT_Outline& outline = slot->outline;
    *metrics = GLYPHMETRICS{};
    if (outline.n_points > 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&outline, &box);
        const FT_Pos x1 = box.xMin >> 6, y1 = box.yMin >> 6, x2 = (box.xMax + 63) >> 6, y2 = (box.yMax + 63) >> 6;
        metrics->gmBlackBoxX = UINT(std::max<FT_Pos>(1, x2 - x1));
        metrics->gmBlackBoxY = UINT(std::max<FT_Pos>(1, y2 - y1));
        metrics->gmptGlyphOrigin = {LONG(x1), LONG(y2)};
    } else {
        metrics->gmBlackBoxX = metrics->gmBlackBoxY = 1;
    }
    metrics->gmCellIncX = SHORT((slot->advance.x + 32) >> 6);
    metrics->gmCellIncY = SHORT((slot->advance.y + 32) >> 6);
    if (kind == GGO_METRICS) return 1;
    Writer w;
    try {
        int first = 0;
        for (int c = 0; c < outline.n_contours; ++c) {
            const int last = outline.contours[c];
            if (last < first || last >= outline.n_points) break;
            Contour(w, outline, first, last);
            first = last + 1;
        }
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return GDI_ERROR;
    }
    if (!buffer || size == 0) return DWORD(w.out.size());
    if (size < w.out.size()) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return GDI_ERROR;
    }
    if (!w.out.empty()) std::memcpy(buffer, w.out.data(), w.out.size());
    return DWORD(w.out.size());
}

}  // namespace

DWORD GetGlyphOutlineW(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2* matrix)
{
    return Outline(dc, code, format, metrics, size, buffer, matrix);
}

DWORD GetGlyphOutlineA(HDC dc, UINT code, UINT format, GLYPHMETRICS* metrics, DWORD size, void* buffer,
                       const MAT2* matrix)
{
    return Outline(dc, code, format, metrics, size, buffer, matrix);
}
