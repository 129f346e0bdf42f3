// Dashed strokes of stored paths: the engine steps the dash pattern along every piece so that the
// pattern runs on across subpaths and curves as one line.
#include <cmath>

#include "engine/display/stores/path_store.h"
#include "engine/display/stores/styled_polyline.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi_paths.h"

namespace {

struct Stroke {
    BandSurface* surface;
    const Pen* pen;
    const RECT* clip;
    DashState state{0, 0};
    POINT current{};

    void To(POINT p)
    {
        StyledPolyline(surface, pen, &state, clip, current, p);
        current = p;
    }
};

// Curve pieces end on whole pixels cut toward zero.
int Piece(const double* from, const double* to, void* context)
{
    auto* stroke = static_cast<Stroke*>(context);
    POINT a{static_cast<LONG>(std::trunc(from[0])), static_cast<LONG>(std::trunc(from[1]))};
    POINT b{static_cast<LONG>(std::trunc(to[0])), static_cast<LONG>(std::trunc(to[1]))};
    StyledPolyline(stroke->surface, stroke->pen, &stroke->state, stroke->clip, a, b);
    return 1;
}

}  // namespace

void PathStrokeStyled(const PathEntry* path, BandSurface* surface, const Pen* pen, const RECT* clip)
{
    Stroke stroke{surface, pen, clip};
    POINT figureStart{};
    uint32_t offset = 0;
    PathSubpath sub;
    while (PathSubpathNext(path, &offset, &sub)) {
        uint32_t i = 0;
        if (sub.count > 0 && (sub.flags & PATH_FIGURE_START)) {
            stroke.current = figureStart = PathSubpathPoint(sub, 0);
            i = 1;
        }
        if (!(sub.flags & PATH_BEZIER)) {
            for (; i < sub.count; ++i) stroke.To(PathSubpathPoint(sub, i));
        } else {
            // As realisation does: a subpath of 3k + 1 points without a figure start begins with a
            // line to its first point.
            if (i == 0 && sub.count > 0 && (sub.count - 1) % 3 == 0) stroke.To(PathSubpathPoint(sub, i++));
            for (; i + 2 < sub.count; i += 3) {
                const POINT controls[4] = {stroke.current, PathSubpathPoint(sub, i), PathSubpathPoint(sub, i + 1),
                                           PathSubpathPoint(sub, i + 2)};
                PathFlatten(controls, Piece, &stroke);
                stroke.current = controls[3];
            }
            if (sub.count > 0) stroke.current = PathSubpathPoint(sub, sub.count - 1);
        }
        if (sub.flags & PATH_CLOSE) stroke.To(figureStart);
    }
}
