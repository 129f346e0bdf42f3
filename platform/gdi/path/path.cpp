#include "path.h"

#include <new>

#include "bezier.h"

namespace {

bool StartFigure(PathRecord& path, POINT current)
{
    if (path.figureOpen) return true;
    path.points.push_back(current);
    path.kinds.push_back(PATH_MOVETO);
    path.figureOpen = true;
    return true;
}

FillPoint ToFill(POINT p) { return FillPointFromDevice(p.x, p.y); }

}  // namespace

void PathClear(PathRecord& path)
{
    path.points.clear();
    path.kinds.clear();
    path.figureOpen = false;
}

void PathMoveTo(PathRecord& path) { path.figureOpen = false; }

bool PathAddLines(PathRecord& path, POINT current, std::span<const POINT> points)
{
    if (points.empty()) return true;
    try {
        StartFigure(path, current);
        for (POINT p : points) {
            path.points.push_back(p);
            path.kinds.push_back(PATH_LINETO);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool PathAddBeziers(PathRecord& path, POINT current, std::span<const POINT> points)
{
    size_t whole = points.size() / 3 * 3;
    if (whole == 0) return true;
    try {
        StartFigure(path, current);
        for (size_t i = 0; i < whole; ++i) {
            path.points.push_back(points[i]);
            path.kinds.push_back(PATH_BEZIERTO);
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void PathCloseFigure(PathRecord& path)
{
    if (path.figureOpen && !path.kinds.empty()) path.kinds.back() |= PATH_CLOSEFIGURE;
    path.figureOpen = false;
}

bool PathAddPolygon(PathRecord& path, std::span<const POINT> points)
{
    if (points.empty()) return true;
    path.figureOpen = false;
    if (!PathAddLines(path, points[0], points.subspan(1))) return false;
    if (points.size() == 1) {  // a lone point still makes its figure
        try {
            StartFigure(path, points[0]);
        } catch (const std::bad_alloc&) {
            return false;
        }
    }
    PathCloseFigure(path);
    return true;
}

namespace {

bool Flatten(const PathRecord& path, PathFigures& out, const RECT* cull, DashWalk* walk)
{
    try {
        size_t figureStart = out.points.size();
        bool inFigure = false;
        auto endFigure = [&](bool closed) {
            if (!inFigure) return;
            if (walk) {
                DashWalk round = *walk;
                if (closed) DashWalkTo(round, out.points[figureStart]);
                out.lengths.push_back(round.length);
            }
            out.counts.push_back(static_cast<int>(out.points.size() - figureStart));
            out.closed.push_back(closed);
            inFigure = false;
        };
        for (size_t i = 0; i < path.points.size(); ++i) {
            BYTE kind = path.kinds[i] & ~PATH_CLOSEFIGURE;
            if (kind == PATH_MOVETO || !inFigure) {
                endFigure(false);
                figureStart = out.points.size();
                inFigure = true;
                out.points.push_back(ToFill(path.points[i]));
                if (walk) *walk = {walk->period, 0, 0, out.points.back(), walk->pixelSteps};
            } else if (kind == PATH_BEZIERTO && i + 2 < path.points.size()) {
                const FillPoint segment[4] = {out.points.back(), ToFill(path.points[i]), ToFill(path.points[i + 1]),
                                              ToFill(path.points[i + 2])};
                if (walk ? !BezierFlattenDashed(segment, out.points, *cull, *walk, out.phases)
                         : !BezierFlatten(segment, out.points, cull))
                    return false;
                i += 2;
            } else {
                out.points.push_back(ToFill(path.points[i]));
                if (walk) DashWalkTo(*walk, out.points.back());
            }
            if (path.kinds[i] & PATH_CLOSEFIGURE) endFigure(true);
        }
        endFigure(false);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

bool PathFlattenFigures(const PathRecord& path, PathFigures& out, const RECT* cull)
{
    return Flatten(path, out, cull, nullptr);
}

bool PathFlattenDashed(const PathRecord& path, PathFigures& out, const RECT& cull, double period, bool pixelSteps)
{
    DashWalk walk{period, 0, 0, {}, pixelSteps};
    return Flatten(path, out, &cull, &walk);
}

POINT PathRoundToDevice(FillPoint p)
{
    auto round = [](int64_t v) {
        int64_t shifted = v + FILL_ONE / 2;
        int64_t q = shifted / FILL_ONE;
        if (shifted % FILL_ONE != 0 && shifted < 0) --q;
        return static_cast<LONG>(q);
    };
    return POINT{round(p.x), round(p.y)};
}

bool PathFlattenRecord(PathRecord& path)
{
    try {
        std::vector<POINT> points;
        std::vector<BYTE> kinds;
        std::vector<FillPoint> flat;
        for (size_t i = 0; i < path.points.size(); ++i) {
            BYTE kind = path.kinds[i] & ~PATH_CLOSEFIGURE;
            if (kind == PATH_BEZIERTO && !points.empty() && i + 2 < path.points.size()) {
                const FillPoint segment[4] = {ToFill(points.back()), ToFill(path.points[i]), ToFill(path.points[i + 1]),
                                              ToFill(path.points[i + 2])};
                flat.clear();
                if (!BezierFlatten(segment, flat)) return false;
                for (FillPoint p : flat) {
                    points.push_back(PathRoundToDevice(p));
                    kinds.push_back(PATH_LINETO);
                }
                points.back() = path.points[i + 2];  // the end point stays exact
                kinds.back() |= path.kinds[i + 2] & PATH_CLOSEFIGURE;
                i += 2;
                continue;
            }
            points.push_back(path.points[i]);
            kinds.push_back(path.kinds[i]);
        }
        path.points = std::move(points);
        path.kinds = std::move(kinds);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
