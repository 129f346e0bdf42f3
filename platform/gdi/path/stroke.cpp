// Outlines are built in floating point and rounded to fill units once, piece by piece; pieces
// that meet share the very same rounded corners, so no crack opens between them.
#include "stroke.h"

#include "stroke_cull.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace {

struct Vec {
    double x, y;
};

Vec operator+(Vec a, Vec b) { return {a.x + b.x, a.y + b.y}; }
Vec operator-(Vec a, Vec b) { return {a.x - b.x, a.y - b.y}; }
Vec operator*(Vec a, double s) { return {a.x * s, a.y * s}; }
double Length(Vec a) { return std::hypot(a.x, a.y); }
bool Same(Vec a, Vec b) { return a.x == b.x && a.y == b.y; }

constexpr double kRoundTolerance = 0.125;  // pixels between a round cap or join and its polygon
constexpr double kCullHalfWidth = 64;  // pixels; see StrokeCull

__int128 SignedArea(std::span<const FillPoint> p)
{
    __int128 area = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const FillPoint& a = p[i];
        const FillPoint& b = p[(i + 1) % p.size()];
        area += __int128{a.x} * b.y - __int128{b.x} * a.y;
    }
    return area;
}

struct Outliner {
    const StrokeStyle& style;
    FillPolygonSet& out;
    double half;

    void Piece(std::initializer_list<Vec> corners) { Piece(std::span<const Vec>(corners.begin(), corners.size())); }

    // True when no pixel of the clip can lie in the box: the outline is a union of pieces, so one
    // that misses the clip changes nothing that is drawn. A wide dashed pen makes thousands of
    // pieces along a figure, and each band of a page would otherwise outline all of them.
    bool Outside(double left, double top, double right, double bottom) const
    {
        const RECT* c = style.clip;
        return c != nullptr &&
               (right < c->left - 1.0 || left > c->right + 1.0 || bottom < c->top - 1.0 || top > c->bottom + 1.0);
    }

    void Piece(std::span<const Vec> corners)
    {
        double left = INFINITY, top = INFINITY, right = -INFINITY, bottom = -INFINITY;
        for (Vec v : corners) {
            left = std::min(left, v.x);
            right = std::max(right, v.x);
            top = std::min(top, v.y);
            bottom = std::max(bottom, v.y);
        }
        if (Outside(left, top, right, bottom)) return;
        size_t first = out.points.size();
        for (Vec v : corners) out.points.push_back({std::llround(v.x * FILL_ONE), std::llround(v.y * FILL_ONE)});
        std::span<FillPoint> p(out.points.data() + first, corners.size());
        const __int128 area = SignedArea(p);
        if (area == 0) {
            out.points.resize(first);
            return;
        }
        if (area < 0) std::reverse(p.begin(), p.end());
        out.counts.push_back(static_cast<int>(p.size()));
    }

    // The disc's vertices around the origin in fill units, made on first need and mirrored from
    // one quarter, so that every disc is the very same polygon moved by whole fill units and is
    // symmetric about both axes (what the dominance filter below relies on).
    std::vector<FillPoint> ring;
    std::vector<FillPoint> discs;  // centres of the discs waiting for the filter, in fill units

    void MakeRing()
    {
        int n = 8;
        if (half > kRoundTolerance)
            n = static_cast<int>(std::clamp(std::ceil(M_PI / std::acos(1.0 - kRoundTolerance / half)), 8.0, 1024.0));
        n = (n + 3) / 4 * 4;  // a vertex on each axis: a round cap reaches exactly as far as a square one
        const int q = n / 4;
        std::vector<FillPoint> quarter(q + 1);
        for (int i = 0; i <= q; ++i) {
            const double a = 2 * M_PI * i / n;
            quarter[i] = {std::llround(half * std::cos(a) * FILL_ONE), std::llround(half * std::sin(a) * FILL_ONE)};
        }
        quarter[0].y = 0;
        quarter[q].x = 0;
        ring.resize(n);
        for (int i = 0; i < n; ++i) {
            if (i <= q) ring[i] = quarter[i];
            else if (i <= 2 * q) ring[i] = {-quarter[2 * q - i].x, quarter[2 * q - i].y};
            else if (i < 3 * q) ring[i] = {-quarter[i - 2 * q].x, -quarter[i - 2 * q].y};
            else ring[i] = {quarter[4 * q - i].x, -quarter[4 * q - i].y};
        }
    }

    void Disc(Vec c)
    {
        if (Outside(c.x - half, c.y - half, c.x + half, c.y + half)) return;
        if (ring.empty()) MakeRing();
        const FillPoint centre{std::llround(c.x * FILL_ONE), std::llround(c.y * FILL_ONE)};
        if (style.clip) discs.push_back(centre);  // drawn by Discs() once all are known
        else DiscAt(centre);
    }

    void DiscAt(FillPoint c)
    {
        const size_t first = out.points.size();
        for (const FillPoint& v : ring) out.points.push_back({c.x + v.x, c.y + v.y});
        std::span<FillPoint> p(out.points.data() + first, ring.size());
        if (SignedArea(p) < 0) std::reverse(p.begin(), p.end());
        out.counts.push_back(static_cast<int>(p.size()));
    }

    // Draws the waiting discs, leaving out those that others cover wherever the clip can see.
    // Discs whose centres share a column are the same convex polygon moved along it, symmetric
    // about its own row: at any pixel, the centres that cover it form an interval holding the
    // pixel's own row. So of the centres above the clip (grown by a pixel) only the lowest can
    // add a pixel inside it, and of those below only the highest; rows and columns alike. A
    // dotted line beside a band, its pen thousands of pixels wide, brings thousands of discs that
    // reach the band: a handful of them remain.
    void Discs()
    {
        if (discs.empty()) return;
        const RECT& c = *style.clip;
        KeepNearest(discs, true, (int64_t{c.top} - 1) * FILL_ONE, (int64_t{c.bottom} + 1) * FILL_ONE);
        KeepNearest(discs, false, (int64_t{c.left} - 1) * FILL_ONE, (int64_t{c.right} + 1) * FILL_ONE);
        for (const FillPoint& d : discs) DiscAt(d);
        discs.clear();
    }

    // Keeps, of each group of centres on one column (or one row), those within [lo, hi] along it
    // and the nearest one on either side.
    static void KeepNearest(std::vector<FillPoint>& centres, bool columns, int64_t lo, int64_t hi)
    {
        auto across = [columns](const FillPoint& p) { return columns ? p.x : p.y; };
        auto along = [columns](const FillPoint& p) { return columns ? p.y : p.x; };
        std::sort(centres.begin(), centres.end(), [&](const FillPoint& a, const FillPoint& b) {
            return across(a) != across(b) ? across(a) < across(b) : along(a) < along(b);
        });
        centres.erase(std::unique(centres.begin(), centres.end(),
                                  [](const FillPoint& a, const FillPoint& b) { return a.x == b.x && a.y == b.y; }),
                      centres.end());
        size_t kept = 0;
        for (size_t i = 0; i < centres.size(); ++i) {
            const bool sameBefore = i > 0 && across(centres[i - 1]) == across(centres[i]);
            const bool sameAfter = i + 1 < centres.size() && across(centres[i + 1]) == across(centres[i]);
            const int64_t t = along(centres[i]);
            // Beyond [lo, hi] a centre stays only when its neighbour towards the range is not also beyond.
            const bool hidden = (t < lo && sameAfter && along(centres[i + 1]) < lo) ||
                                (t > hi && sameBefore && along(centres[i - 1]) > hi);
            if (!hidden) centres[kept++] = centres[i];
        }
        centres.resize(kept);
    }

    void Cap(Vec p, Vec dir, Vec normal)  // dir points away from the line
    {
        if (style.endCap == STROKE_CAP_ROUND) Disc(p);
        else if (style.endCap == STROKE_CAP_SQUARE)
            Piece(
                {p + normal * half, p + dir * half + normal * half, p + dir * half - normal * half, p - normal * half});
    }

    void Join(Vec p, Vec d0, Vec d1)
    {
        double cross = d0.x * d1.y - d0.y * d1.x;
        double dot = d0.x * d1.x + d0.y * d1.y;
        if (style.join == STROKE_JOIN_ROUND) {
            if (cross != 0 || dot < 0) Disc(p);
            return;
        }
        if (cross == 0) return;  // straight on needs nothing; a fold back has no outer corner to fill
        double side = cross > 0 ? -1.0 : 1.0;
        Vec n0 = Vec{-d0.y, d0.x} * (side * half);
        Vec n1 = Vec{-d1.y, d1.x} * (side * half);
        if (style.join == STROKE_JOIN_MITER) {
            double ratio = StrokeMiterRatio(d0.x, d0.y, d1.x, d1.y);
            if (ratio <= style.miterLimit) {
                Vec bisector = n0 + n1;
                Vec tip = p + bisector * (half * ratio / Length(bisector));
                Piece({p, p + n0, tip, p + n1});
                return;
            }
        }
        Piece({p, p + n0, p + n1});
    }

    void Polyline(const std::vector<Vec>& pts, bool closed)
    {
        const size_t n = pts.size();
        const size_t segments = closed ? n : n - 1;
        std::vector<Vec> dirs(segments);
        for (size_t i = 0; i < segments; ++i) {
            Vec d = pts[(i + 1) % n] - pts[i];
            dirs[i] = d * (1.0 / Length(d));
        }
        for (size_t i = 0; i < segments; ++i) {
            Vec a = pts[i], b = pts[(i + 1) % n];
            Vec normal = Vec{-dirs[i].y, dirs[i].x} * half;
            Piece({a + normal, b + normal, b - normal, a - normal});
        }
        for (size_t i = closed ? 0 : 1; i < (closed ? n : n - 1); ++i)
            Join(pts[i], dirs[(i + segments - 1) % segments], dirs[i]);
        if (!closed) {
            Vec d0 = dirs.front(), d1 = dirs.back();
            Cap(pts.front(), d0 * -1.0, Vec{-d0.y, d0.x});
            Cap(pts.back(), d1, Vec{-d1.y, d1.x});
        }
    }

    // The part [from, to] of the segment a + d * t, t in [0, length], that lies within the clip
    // widened by everything a stroke can reach beyond its line, and a little more. False when
    // none does: then no piece made on the segment (its bodies, the caps of dashes on it, the
    // joins at its ends) can set a pixel of the clip. Without a clip all of it.
    bool VisibleSpan(Vec a, Vec d, double length, double& from, double& to) const
    {
        from = 0;
        to = length;
        if (!style.clip) return true;
        const double margin = half * StrokeReach(style) + 2;
        const double lo[2] = {style.clip->left - margin, style.clip->top - margin};
        const double hi[2] = {style.clip->right + margin, style.clip->bottom + margin};
        const double origin[2] = {a.x, a.y}, dir[2] = {d.x, d.y};
        for (int axis = 0; axis < 2; ++axis) {
            if (dir[axis] == 0) {
                if (origin[axis] < lo[axis] || origin[axis] > hi[axis]) return false;
                continue;
            }
            double t0 = (lo[axis] - origin[axis]) / dir[axis], t1 = (hi[axis] - origin[axis]) / dir[axis];
            if (t0 > t1) std::swap(t0, t1);
            from = std::max(from, t0);
            to = std::min(to, t1);
        }
        return from < to;
    }

    // Cuts the figure into dashes along its length and outlines each one.
    //
    // A band of a page must get exactly the pixels that the whole stroke has there, so every
    // point of a dash is computed from the figure alone, never from the clip: the pattern's
    // phase at each segment's start follows from the lengths before it, and element (m, k) of a
    // segment (k of the pattern, in its m-th period) begins at m x period - phase + prefix[k]
    // along it, whichever element the walk starts from. The clip only chooses which elements are
    // made. Dashes are whole where they are made, never cut at the visible span; a dash that runs
    // in from a segment the clip cannot see starts at the segment's first vertex, where nothing
    // is visible.
    //
    // `phaseAfter` (empty, or one a point, NaN where none) sets the phase after a point where
    // the flattening dropped the points before it; `known` is then the figure's whole length.
    void Dashed(const std::vector<Vec>& pts, bool closed, const std::vector<double>& phaseAfter, double known)
    {
        const std::span<const double> pattern = style.dashes;
        const size_t count = pattern.size();
        std::vector<double> prefix(count + 1, 0.0);
        for (size_t k = 0; k < count; ++k) prefix[k + 1] = prefix[k] + pattern[k];
        const double period = prefix[count];
        const size_t n = pts.size();
        const size_t segments = closed ? n : n - 1;
        std::vector<double> lengths(segments);
        double total = 0;
        for (size_t i = 0; i < segments; ++i) total += lengths[i] = Length(pts[(i + 1) % n] - pts[i]);
        if (known >= 0) total = known;
        if (closed) {
            // A closed figure that never enters a gap is one dash all the way round: a closed
            // stroke after all.
            bool anyGap = false;
            for (size_t k = 1; k < count; k += 2) anyGap = anyGap || (pattern[k] > 0 && prefix[k] < total);
            if (!anyGap) {
                Polyline(pts, true);
                return;
            }
        }

        struct Element {
            int64_t m;
            size_t k;
        };
        double phase = 0;  // where the pattern stands at the start of the segment, [0, period)
        if (!phaseAfter.empty() && !std::isnan(phaseAfter[0])) phase = phaseAfter[0];
        auto begin = [&](Element e) { return (double(e.m) * period - phase) + prefix[e.k]; };
        auto next = [&](Element e) { return e.k + 1 == count ? Element{e.m + 1, 0} : Element{e.m, e.k + 1}; };
        auto previous = [&](Element e) { return e.k == 0 ? Element{e.m - 1, count - 1} : Element{e.m, e.k - 1}; };
        auto later = [](Element a, Element b) { return a.m != b.m ? a.m > b.m : a.k > b.k; };
        // The element that holds position t of the segment (the last one beginning at or before it).
        auto holding = [&](double t) {
            const double at = phase + t;
            const double m = std::floor(at / period);
            const double within = at - m * period;
            size_t k =
                size_t(std::upper_bound(prefix.begin(), prefix.begin() + ptrdiff_t(count), within) - prefix.begin());
            Element e{int64_t(m), k > 0 ? k - 1 : 0};
            while (begin(e) > t) e = previous(e);
            while (begin(next(e)) <= t) e = next(e);
            return e;
        };

        std::vector<Vec> dash;
        auto finishDash = [&] {
            std::vector<Vec> cleaned;
            for (Vec v : dash)
                if (cleaned.empty() || !Same(cleaned.back(), v)) cleaned.push_back(v);
            if (cleaned.size() >= 2) Polyline(cleaned, false);
            dash.clear();
        };
        for (size_t i = 0; i < segments; ++i) {
            const Vec a = pts[i], b = pts[(i + 1) % n];
            const double length = lengths[i];
            const Vec d = (b - a) * (1.0 / length);
            double visibleFrom = 0, visibleTo = length;
            if (VisibleSpan(a, d, length, visibleFrom, visibleTo)) {
                Element e = holding(0);
                bool runsOn = false;
                if (!dash.empty()) {
                    // The dash of the last segment goes on while the element at this one's start is drawn.
                    if ((e.k & 1) == 0 && begin(e) <= 0) {
                        const double stop = begin(next(e));
                        if (stop < length) {
                            dash.push_back(a + d * stop);
                            finishDash();
                        } else {
                            dash.push_back(b);
                            runsOn = true;
                        }
                        e = next(e);
                    } else {
                        finishDash();
                    }
                }
                if (!runsOn && visibleFrom > 0) {
                    const Element seen = holding(visibleFrom);
                    if (later(seen, e)) e = seen;
                }
                for (; !runsOn; e = next(e)) {
                    const double from = begin(e);
                    if (from >= visibleTo) break;
                    if ((e.k & 1) != 0) continue;
                    const double stop = begin(next(e));
                    dash.push_back(from > 0 ? a + d * from : a);
                    if (stop < length) {
                        dash.push_back(a + d * stop);
                        finishDash();
                    } else {
                        dash.push_back(b);
                        runsOn = true;
                    }
                }
            } else {
                finishDash();
            }
            phase = std::fmod(phase + length, period);
            if (i + 1 < n && !phaseAfter.empty() && !std::isnan(phaseAfter[i + 1])) phase = phaseAfter[i + 1];
        }
        finishDash();
    }
};

}  // namespace

double StrokeReach(const StrokeStyle& style)
{
    double reach = 1;
    if (style.endCap == STROKE_CAP_SQUARE) reach = M_SQRT2;
    if (style.join == STROKE_JOIN_MITER && std::isfinite(style.miterLimit)) reach = std::max(reach, style.miterLimit);
    return reach;
}

double StrokeMiterRatio(double d0x, double d0y, double d1x, double d1y)
{
    double l0 = std::hypot(d0x, d0y), l1 = std::hypot(d1x, d1y);
    double cosTurn = (d0x * d1x + d0y * d1y) / (l0 * l1);
    double s = std::sqrt(std::max(0.0, (1.0 + cosTurn) / 2.0));  // sin of half the inner angle
    return s > 0 ? 1.0 / s : INFINITY;
}

bool StrokeOutline(std::span<const StrokeFigure> figures, const StrokeStyle& style, FillPolygonSet& out)
{
    try {
        std::vector<double> dashes;
        double period = 0;
        for (double d : style.dashes) {
            dashes.push_back(std::isfinite(d) ? std::max(d, 0.0) : 0.0);
            period += dashes.back();
        }
        const bool dashed = period >= 1.0;  // finer patterns than a pixel stroke solid
        StrokeStyle cleaned = style;
        cleaned.dashes = dashes;
        cleaned.miterLimit = std::isfinite(style.miterLimit) ? style.miterLimit : 1.0;
        const size_t firstCount = out.counts.size(), firstPoint = out.points.size();
        Outliner outliner{cleaned, out, std::max(std::isfinite(style.width) ? style.width : 1.0, 1.0) / 2.0, {}, {}};
        for (const StrokeFigure& figure : figures) {
            std::vector<Vec> pts;
            std::vector<double> phaseAfter;  // by point of `pts`
            size_t nextPhase = 0;
            for (size_t j = 0; j < figure.points.size(); ++j) {
                const FillPoint& p = figure.points[j];
                Vec v{static_cast<double>(p.x) / FILL_ONE, static_cast<double>(p.y) / FILL_ONE};
                if (pts.empty() || !Same(pts.back(), v)) pts.push_back(v);
                if (nextPhase < figure.phases.size() && figure.phases[nextPhase].first == j) {
                    // a repeated point stands where the one it repeats does
                    phaseAfter.resize(pts.size(), NAN);
                    phaseAfter.back() = figure.phases[nextPhase++].second;
                }
            }
            if (!phaseAfter.empty()) phaseAfter.resize(pts.size(), NAN);
            bool closed = figure.closed;
            if (closed && pts.size() > 1 && Same(pts.front(), pts.back())) {
                pts.pop_back();
                if (!phaseAfter.empty()) phaseAfter.pop_back();
            }
            if (pts.size() < 2) continue;
            if (dashed) outliner.Dashed(pts, closed, phaseAfter, figure.phases.empty() ? -1 : figure.length);
            else outliner.Polyline(pts, closed);
        }
        // Under a narrow pen few pieces overlap, and those that miss the clip are already out.
        if (cleaned.clip && outliner.half >= kCullHalfWidth)
            StrokeCull(out, firstCount, firstPoint, outliner.ring, outliner.discs, *cleaned.clip);
        outliner.Discs();
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}
