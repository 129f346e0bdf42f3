// The clip is cut into tiles and each tile keeps only what it needs. A tile lying strictly inside
// one piece needs that piece alone: every pixel there is set whatever else covers it. Otherwise a
// piece is needed when it reaches the tile, except a disc that a disc made near it in the outline
// covers wherever it covers the tile. A dotted line under a pen thousands of pixels wide brings
// every band thousands of discs and dash bodies; most tiles of the band lie inside one of them,
// and the tiles its edge crosses need the few pieces whose own edges run there.
#include "stroke_cull.h"

#include <algorithm>
#include <cmath>

namespace {

using int128 = __int128;

struct Tile {
    int64_t x0, y0, x1, y1;  // closed, in fill units
};

struct Piece {
    int64_t x0, y0, x1, y1;  // bounds, fill units
    bool disc;
    size_t index;  // into the centres, or the polygon's number from firstCount
    size_t first;  // the polygon's first point
    int count;
};

int128 Cross(const FillPoint& a, const FillPoint& b, int64_t px, int64_t py)
{
    return int128{b.x - a.x} * (py - a.y) - int128{b.y - a.y} * (px - a.x);
}

// A convex polygon of at most four corners turning one way only (left, as the outline gives its
// pieces) covers each point at most once, so the argument above holds for it.
bool ConvexLeft(std::span<const FillPoint> p)
{
    if (p.size() < 3 || p.size() > 4) return false;
    for (size_t i = 0; i < p.size(); ++i) {
        const FillPoint& a = p[i];
        const FillPoint& b = p[(i + 1) % p.size()];
        const FillPoint& c = p[(i + 2) % p.size()];
        if (Cross(a, b, c.x, c.y) < 0) return false;
    }
    return true;
}

bool CornersLeftOf(std::span<const FillPoint> p, const Tile& t)
{
    const int64_t xs[2] = {t.x0, t.x1}, ys[2] = {t.y0, t.y1};
    for (size_t i = 0; i < p.size(); ++i)
        for (int64_t x : xs)
            for (int64_t y : ys)
                if (Cross(p[i], p[(i + 1) % p.size()], x, y) <= 0) return false;
    return true;
}

// True when some edge's line has the whole tile strictly on its outer side.
bool Separated(std::span<const FillPoint> p, const Tile& t)
{
    for (size_t i = 0; i < p.size(); ++i) {
        const FillPoint& a = p[i];
        const FillPoint& b = p[(i + 1) % p.size()];
        if (Cross(a, b, t.x0, t.y0) < 0 && Cross(a, b, t.x1, t.y0) < 0 && Cross(a, b, t.x0, t.y1) < 0 &&
            Cross(a, b, t.x1, t.y1) < 0)
            return true;
    }
    return false;
}

int128 Square(int64_t v) { return int128{v} * v; }

int128 FarthestCorner2(const FillPoint& c, const Tile& t)
{
    return std::max(Square(t.x0 - c.x), Square(t.x1 - c.x)) + std::max(Square(t.y0 - c.y), Square(t.y1 - c.y));
}

int128 Nearest2(const FillPoint& c, const Tile& t)
{
    const int64_t dx = c.x < t.x0 ? t.x0 - c.x : c.x > t.x1 ? c.x - t.x1 : 0;
    const int64_t dy = c.y < t.y0 ? t.y0 - c.y : c.y > t.y1 ? c.y - t.y1 : 0;
    return Square(dx) + Square(dy);
}

// Every point of disc i's polygon lies within `outer2` of its centre, and every point within
// `inner2` of disc j's centre lies strictly inside its polygon. Where 2 (p - ci).e - e.e > outer2 -
// inner2 at every corner of the tile (e = cj - ci; the left side is linear in p), each point p of
// the tile that disc i covers has |p - cj|^2 = |p - ci|^2 - 2 (p - ci).e + e.e < inner2.
// Such a j is nearer than i to every point of the tile, so following witnesses never comes back
// to a disc: it ends at one that stays.
bool Covers(const FillPoint& ci, const FillPoint& cj, const Tile& t, int128 slack)
{
    const int64_t ex = cj.x - ci.x, ey = cj.y - ci.y;
    const int128 ee = Square(ex) + Square(ey);
    if (ee == 0) return false;
    const int64_t xs[2] = {t.x0, t.x1}, ys[2] = {t.y0, t.y1};
    for (int64_t x : xs)
        for (int64_t y : ys)
            if (2 * (int128{x - ci.x} * ex + int128{y - ci.y} * ey) - ee <= slack) return false;
    return true;
}

}  // namespace

void StrokeCull(FillPolygonSet& out, size_t firstCount, size_t firstPoint, std::span<const FillPoint> ring,
                std::vector<FillPoint>& centres, const RECT& clip)
{
    std::vector<Piece> pieces;
    for (size_t i = 0, first = firstPoint; firstCount + i < out.counts.size(); ++i) {
        const int count = out.counts[firstCount + i];
        std::span<const FillPoint> p(out.points.data() + first, size_t(count));
        if (!ConvexLeft(p)) return;
        Piece piece{INT64_MAX, INT64_MAX, INT64_MIN, INT64_MIN, false, i, first, count};
        for (const FillPoint& v : p) {
            piece.x0 = std::min(piece.x0, v.x), piece.x1 = std::max(piece.x1, v.x);
            piece.y0 = std::min(piece.y0, v.y), piece.y1 = std::max(piece.y1, v.y);
        }
        pieces.push_back(piece);
        first += size_t(count);
    }
    int128 outer2 = 0, inner2 = 0;
    if (!centres.empty()) {
        if (ring.size() < 3) return;
        long double inner = INFINITY;
        for (size_t i = 0; i < ring.size(); ++i) {
            const FillPoint& a = ring[i];
            const FillPoint& b = ring[(i + 1) % ring.size()];
            outer2 = std::max(outer2, Square(a.x) + Square(a.y));
            const long double cross = (long double)a.x * b.y - (long double)a.y * b.x;
            const long double length2 = (long double)(Square(b.x - a.x) + Square(b.y - a.y));
            if (length2 > 0) inner = std::min(inner, cross * cross / length2);  // the ring winds round its centre
        }
        // Below the distance from the centre to every edge's line, by a margin for the rounding.
        inner2 = int128(std::floor(inner * (1 - 1e-12L))) - 2;
        if (inner2 <= 0) return;
        int64_t radius = 0;
        for (const FillPoint& v : ring) radius = std::max<int64_t>({radius, std::llabs(v.x), std::llabs(v.y)});
        for (size_t i = 0; i < centres.size(); ++i) {
            const FillPoint& c = centres[i];
            pieces.push_back({c.x - radius, c.y - radius, c.x + radius, c.y + radius, true, i, 0, 0});
        }
    }
    if (pieces.size() < 8) return;

    // Every pixel's sample point lies within the clip grown by a pixel; tiles of about a 64th of
    // it, at least 64 pixels on a side and at most 256 of them along either side.
    const int64_t gx0 = (int64_t{clip.left} - 1) * FILL_ONE, gy0 = (int64_t{clip.top} - 1) * FILL_ONE;
    const int64_t gx1 = (int64_t{clip.right} + 1) * FILL_ONE, gy1 = (int64_t{clip.bottom} + 1) * FILL_ONE;
    const int64_t w = gx1 - gx0, h = gy1 - gy0;
    int64_t side = std::max<int64_t>(64 * FILL_ONE, int64_t(std::ceil(std::sqrt(double(w) * double(h) / 64))));
    side = std::max({side, (w + 255) / 256, (h + 255) / 256});
    const int64_t nx = (w + side - 1) / side, ny = (h + side - 1) / side;

    const int128 slack = outer2 - inner2;
    std::vector<char> needed(pieces.size(), 0);
    const size_t discBase = pieces.size() - centres.size();
    for (int64_t ty = 0; ty < ny; ++ty)
        for (int64_t tx = 0; tx < nx; ++tx) {
            const Tile t{gx0 + tx * side, gy0 + ty * side, std::min(gx1, gx0 + (tx + 1) * side),
                         std::min(gy1, gy0 + (ty + 1) * side)};
            auto reaches = [&](const Piece& p) { return p.x0 <= t.x1 && p.x1 >= t.x0 && p.y0 <= t.y1 && p.y1 >= t.y0; };
            auto polygon = [&](const Piece& p) {
                return std::span<const FillPoint>(out.points.data() + p.first, size_t(p.count));
            };
            size_t inside = pieces.size();
            for (size_t n = 0; n < pieces.size() && inside == pieces.size(); ++n) {
                const size_t k = (n + discBase) % pieces.size();  // discs first: the likeliest to hold a tile
                const Piece& p = pieces[k];
                if (p.x0 > t.x0 || p.x1 < t.x1 || p.y0 > t.y0 || p.y1 < t.y1) continue;
                if (p.disc ? FarthestCorner2(centres[p.index], t) < inner2 : CornersLeftOf(polygon(p), t)) inside = k;
            }
            if (inside < pieces.size()) {
                needed[inside] = 1;
                continue;
            }
            for (size_t k = 0; k < pieces.size(); ++k) {
                const Piece& p = pieces[k];
                if (needed[k] || !reaches(p)) continue;
                if (!p.disc) {
                    if (!Separated(polygon(p), t)) needed[k] = 1;
                    continue;
                }
                const FillPoint& c = centres[p.index];
                if (Nearest2(c, t) > outer2) continue;
                bool covered = false;
                for (size_t step = 1; step <= 16 && !covered; step *= 2) {
                    if (p.index + step < centres.size() && Covers(c, centres[p.index + step], t, slack)) covered = true;
                    else if (p.index >= step && Covers(c, centres[p.index - step], t, slack)) covered = true;
                }
                if (!covered) needed[k] = 1;
            }
        }

    // Compact what stays, in its order.
    size_t keptCount = firstCount, keptPoint = firstPoint;
    for (size_t k = 0; k < discBase; ++k) {
        const Piece& p = pieces[k];
        if (!needed[k]) continue;
        std::copy(out.points.begin() + ptrdiff_t(p.first), out.points.begin() + ptrdiff_t(p.first + size_t(p.count)),
                  out.points.begin() + ptrdiff_t(keptPoint));
        out.counts[keptCount++] = p.count;
        keptPoint += size_t(p.count);
    }
    out.counts.resize(keptCount);
    out.points.resize(keptPoint);
    size_t kept = 0;
    for (size_t i = 0; i < centres.size(); ++i)
        if (needed[discBase + i]) centres[kept++] = centres[i];
    centres.resize(kept);
}
