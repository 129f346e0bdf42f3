// Painting fills and pen strokes. Fills and cosmetic strokes turn their pixels into one region
// first and hand it to the GDI core's raster operation as the shape to paint through; a wide
// pen's outline is scanned straight into runs that are painted as they come. Either way each
// pixel is painted once and the mixes, patterns and clipping are the core's own.
#include <algorithm>
#include <cmath>
#include <new>

#include "../line/line.h"
#include "../region/polygon_region.h"
#include "path_draw.h"
#include "platform/kernel.h"
#include "stroke_fill.h"

namespace gdi {
namespace {

// Unordered pixel runs gathered into a region.
struct RunCollector {
    std::vector<pixman_box32_t> boxes;
    static void Sink(void* context, LONG y, LONG left, LONG right)
    {
        static_cast<RunCollector*>(context)->boxes.push_back({left, y, right, y + 1});
    }
    bool ToRegion(pixman_region32_t* out)
    {
        pixman_region32_fini(out);
        if (boxes.empty()) {
            pixman_region32_init(out);
            return true;
        }
        if (!pixman_region32_init_rects(out, boxes.data(), static_cast<int>(boxes.size()))) {
            pixman_region32_init(out);
            return false;
        }
        return true;
    }
};

// The drawn and gap pixels of a cosmetic stroke reach separate collectors.
struct CosmeticRuns {
    RunCollector drawn, gaps;
    static void Drawn(void* context, LONG y, LONG left, LONG right)
    {
        RunCollector::Sink(&static_cast<CosmeticRuns*>(context)->drawn, y, left, right);
    }
    static void Gap(void* context, LONG y, LONG left, LONG right)
    {
        RunCollector::Sink(&static_cast<CosmeticRuns*>(context)->gaps, y, left, right);
    }
};

struct RegionHolder {
    pixman_region32_t r;
    RegionHolder() { pixman_region32_init(&r); }
    ~RegionHolder() { pixman_region32_fini(&r); }
};

RECT VisibleBounds(const Dc& dc)
{
    RegionHolder visible;
    DcVisibleRegion(dc, &visible.r);
    const pixman_box32_t* e = pixman_region32_extents(&visible.r);
    return RECT{e->x1, e->y1, e->x2, e->y2};
}

const DWORD kDash[] = {18, 6};
const DWORD kDot[] = {3, 3};
const DWORD kDashDot[] = {9, 6, 3, 6};
const DWORD kDashDotDot[] = {9, 3, 3, 3, 3, 3};
const DWORD kAlternate[] = {1, 1};

std::span<const DWORD> CosmeticPattern(const Pen& pen)
{
    switch (pen.style & PS_STYLE_MASK) {
        case PS_DASH: return kDash;
        case PS_DOT: return kDot;
        case PS_DASHDOT: return kDashDot;
        case PS_DASHDOTDOT: return kDashDotDot;
        case PS_ALTERNATE: return kAlternate;
        case PS_USERSTYLE: return pen.dashes;
        default: return {};
    }
}

// Geometric dashes in device pixels: the styles are multiples of the width, user styles logical
// lengths.
std::vector<double> GeometricDashes(const Dc& dc, const Pen& pen, double width)
{
    static const double dash[] = {3, 1}, dot[] = {1, 1}, dashDot[] = {3, 1, 1, 1}, dashDotDot[] = {3, 1, 1, 1, 1, 1};
    std::span<const double> unit;
    switch (pen.style & PS_STYLE_MASK) {
        case PS_DASH: unit = dash; break;
        case PS_DOT: unit = dot; break;
        case PS_DASHDOT: unit = dashDot; break;
        case PS_DASHDOTDOT: unit = dashDotDot; break;
        case PS_USERSTYLE: {
            double scale = std::fabs(static_cast<double>(dc.viewportExt.cx) / dc.windowExt.cx);
            std::vector<double> out;
            for (DWORD d : pen.dashes) out.push_back(d * scale);
            return out;
        }
        default: return {};
    }
    std::vector<double> out;
    for (double u : unit) out.push_back(u * width);
    return out;
}

}  // namespace

bool PaintRegion(Dc& dc, pixman_region32_t* shape, const Brush& brush)
{
    return PaintRegion(dc, shape, brush, Rop2ToRop3Code(dc.rop2));
}

bool PaintRegion(Dc& dc, pixman_region32_t* shape, const Brush& brush, uint8_t rop)
{
    if (!pixman_region32_not_empty(shape)) return true;
    const pixman_box32_t* e = pixman_region32_extents(shape);
    BltRequest rq;
    rq.dst = &dc;
    rq.x = e->x1;
    rq.y = e->y1;
    rq.width = int64_t{e->x2} - e->x1;
    rq.height = int64_t{e->y2} - e->y1;
    rq.rop = rop;
    rq.brush = &brush;
    rq.shape = shape;  // the core clips it to the DC's visible area
    return BltRun(rq);
}

bool FillFigures(Dc& dc, const PathFigures& figures)
{
    if (!dc.brush || dc.brush->style == BS_NULL || figures.counts.empty()) return true;
    RegionHolder shape;
    RECT visible = VisibleBounds(dc);
    int mode = dc.polyFillMode == WINDING ? FILL_WINDING : FILL_ALTERNATE;
    if (!PolygonRegionBuild(&shape.r, figures.points, figures.counts, mode, &visible)) return false;
    return PaintRegion(dc, &shape.r, *dc.brush);
}

namespace {

// The outline of a geometric pen's stroke of the figures, left out where `visible` cannot see it.
bool StrokeOutlineOf(const Dc& dc, const PathFigures& figures, double deviceWidth, const RECT& visible,
                     FillPolygonSet& outline)
{
    const Pen& pen = *dc.pen;
    const double width = deviceWidth > 0 ? deviceWidth : PenDeviceWidth(dc, pen.width);
    std::vector<double> dashes = GeometricDashes(dc, pen, width);
    std::vector<StrokeFigure> parts;
    size_t start = 0;
    // The phases are kept in figure order; each figure takes its own, counted from its first point.
    std::vector<std::pair<size_t, double>> phases = figures.phases;
    size_t phase = 0;
    for (size_t f = 0; f < figures.counts.size(); ++f) {
        const size_t count = size_t(figures.counts[f]), first = phase;
        for (; phase < phases.size() && phases[phase].first < start + count; ++phase) phases[phase].first -= start;
        parts.push_back({std::span(figures.points).subspan(start, count), bool(figures.closed[f]),
                         std::span(phases).subspan(first, phase - first),
                         f < figures.lengths.size() ? figures.lengths[f] : -1});
        start += count;
    }
    StrokeStyle style{width, pen.style & PS_ENDCAP_MASK, pen.style & PS_JOIN_MASK, dc.miterLimit, dashes, &visible};
    return StrokeOutline(parts, style, outline);
}

// Strokes the figures with a geometric pen, painting the outline's runs with the brush as the
// scan makes them.
bool StrokePaint(Dc& dc, const PathFigures& figures, double deviceWidth, const Brush& brush)
{
    SpanPaint paint;
    bool ok = true;
    try {
        SpanPaintBegin(paint, dc, brush, Rop2ToRop3Code(dc.rop2));  // its region is made before anything can throw
        if (!paint.idle) {
            FillPolygonSet outline;
            ok = StrokeOutlineOf(dc, figures, deviceWidth, paint.extents, outline) &&
                 StrokeFillSpans(outline.points, outline.counts, paint.extents, SpanPaintRun, &paint,
                                 SpanPaintTakesBits(paint) ? SpanPaintBits : nullptr);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    SpanPaintEnd(paint);
    if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return ok;
}

}  // namespace

bool StrokeRegion(const Dc& dc, const PathFigures& figures, pixman_region32_t* out, double deviceWidth)
{
    try {
        RECT visible = VisibleBounds(dc);
        FillPolygonSet outline;
        if (!StrokeOutlineOf(dc, figures, deviceWidth, visible, outline) ||
            !PolygonRegionBuild(out, outline.points, outline.counts, FILL_WINDING, &visible)) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
        return true;
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
}

bool StrokeCullRect(const Dc& dc, RECT& out, double* dashPeriod)
{
    const Pen& pen = *dc.pen;
    if (dashPeriod) *dashPeriod = 0;
    out = VisibleBounds(dc);
    if ((pen.style & PS_STYLE_MASK) == PS_NULL) return true;
    double reach = 1;  // a cosmetic pen's pixel
    if (PenIsGeometric(pen)) {
        const double width = PenDeviceWidth(dc, pen.width);
        const std::vector<double> dashes = GeometricDashes(dc, pen, width);
        double period = 0;
        for (double d : dashes) period += std::isfinite(d) ? std::max(d, 0.0) : 0.0;
        if (period >= 1.0) {  // finer patterns stroke solid (see StrokeOutline)
            if (!dashPeriod) return false;
            *dashPeriod = period;
        }
        const StrokeStyle style{width, pen.style & PS_ENDCAP_MASK, pen.style & PS_JOIN_MASK, dc.miterLimit, {}};
        reach = std::max(width, 1.0) / 2 * StrokeReach(style);
    } else if (!CosmeticPattern(pen).empty()) {
        if (!dashPeriod) return false;
        for (DWORD d : CosmeticPattern(pen)) *dashPeriod += d;  // none drawn strokes solid: culled as it is
    }
    // Beyond a pixel or two the width of a bitmap, the margin can be anything that keeps the
    // rectangle in 32 bits.
    const int64_t margin = int64_t(std::min(std::ceil(reach), double(int64_t{1} << 30))) + 2;
    auto widen = [](int64_t v) { return LONG(std::clamp<int64_t>(v, -(int64_t{1} << 30), int64_t{1} << 30)); };
    out = {widen(out.left - margin), widen(out.top - margin), widen(out.right + margin), widen(out.bottom + margin)};
    return true;
}

bool FlattenForStroke(const Dc& dc, const PathRecord& path, PathFigures& out)
{
    RECT cull;
    double period = 0;
    if (!StrokeCullRect(dc, cull, &period)) return PathFlattenFigures(path, out);
    return period > 0 ? PathFlattenDashed(path, out, cull, period, !PenIsGeometric(*dc.pen))
                      : PathFlattenFigures(path, out, &cull);
}

bool StrokeFigures(Dc& dc, const PathFigures& figures, double deviceWidth)
{
    const Pen& pen = *dc.pen;
    if ((pen.style & PS_STYLE_MASK) == PS_NULL || figures.counts.empty()) return true;
    if (PenIsGeometric(pen)) {
        if (pen.brush.lbStyle == BS_NULL) return true;
        if (pen.brush.lbStyle == BS_DIBPATTERNPT) {
            const Brush* pattern = Get<Brush>(reinterpret_cast<HGDIOBJ>(pen.brush.lbHatch));
            return pattern && StrokePaint(dc, figures, deviceWidth, *pattern);
        }
        Brush solid;
        solid.color = pen.color;
        return StrokePaint(dc, figures, deviceWidth, solid);
    }
    const bool opaqueGaps = dc.bkMode == OPAQUE && !CosmeticPattern(pen).empty();
    if (!opaqueGaps) {
        // Only the ink is painted. Where the mix gives the same pixel however often it is
        // applied, the runs are painted as they come: a pixel that two lines cross ends as it
        // would through their region, which then need not be made.
        bool direct = false;
        bool ok = true;
        SpanPaint paint;
        try {
            Brush ink;
            ink.color = pen.color;
            SpanPaintBegin(paint, dc, ink, Rop2ToRop3Code(dc.rop2));
            direct = paint.idle || SpanPaintRepeatable(paint);
            if (direct && !paint.idle)
                CosmeticFigures(figures, paint.extents, CosmeticPattern(pen), SpanPaintRun, &paint);
        } catch (const std::bad_alloc&) {
            direct = true;
            ok = false;
        }
        SpanPaintEnd(paint);
        if (!ok) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        if (direct) return ok;
    }
    CosmeticRuns runs;
    try {
        CosmeticFigures(figures, VisibleBounds(dc), CosmeticPattern(pen), CosmeticRuns::Drawn, &runs,
                        opaqueGaps ? CosmeticRuns::Gap : nullptr);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    RegionHolder gaps, drawn;
    if (!runs.gaps.ToRegion(&gaps.r) || !runs.drawn.ToRegion(&drawn.r)) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return false;
    }
    Brush background;
    background.color = dc.bkColor;
    Brush ink;
    ink.color = pen.color;
    return PaintRegion(dc, &gaps.r, background) && PaintRegion(dc, &drawn.r, ink);
}

}  // namespace gdi
