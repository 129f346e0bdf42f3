// The trapezoids a vector library hands a rasteriser for a polygon, the fair way to give pixman a
// shape to fill.
#pragma once

#include <pixman.h>

#include <algorithm>
#include <utility>
#include <vector>

inline pixman_fixed_t Px(double v) { return pixman_double_to_fixed(v + 0.5); }

// The trapezoids a vector library hands a rasteriser for a simple polygon (nonzero winding):
// the polygon cut at every vertex height, and within each band the area between each edge where
// the winding leaves 0 and the edge where it comes back.
inline std::vector<pixman_trapezoid_t> Trapezoids(const std::vector<std::pair<double, double>>& v)
{
    struct Edge {
        double x1, y1, x2, y2;
        int dir;
        double XAt(double y) const { return x1 + (x2 - x1) * (y - y1) / (y2 - y1); }
    };
    std::vector<Edge> edges;
    std::vector<double> ys;
    for (size_t i = 0; i < v.size(); ++i) {
        auto [xa, ya] = v[i];
        auto [xb, yb] = v[(i + 1) % v.size()];
        ys.push_back(ya);
        if (ya == yb) continue;
        edges.push_back(ya < yb ? Edge{xa, ya, xb, yb, 1} : Edge{xb, yb, xa, ya, -1});
    }
    std::sort(ys.begin(), ys.end());
    ys.erase(std::unique(ys.begin(), ys.end()), ys.end());
    std::sort(edges.begin(), edges.end(), [](const Edge& a, const Edge& b) { return a.y1 < b.y1; });
    std::vector<pixman_trapezoid_t> out;
    std::vector<const Edge*> active;
    size_t next = 0;
    for (size_t b = 0; b + 1 < ys.size(); ++b) {
        const double top = ys[b], bottom = ys[b + 1], middle = (top + bottom) / 2;
        while (next < edges.size() && edges[next].y1 <= top) active.push_back(&edges[next++]);
        std::erase_if(active, [top](const Edge* e) { return e->y2 <= top; });
        std::vector<std::pair<double, const Edge*>> crossing;
        for (const Edge* e : active) crossing.push_back({e->XAt(middle), e});
        std::sort(crossing.begin(), crossing.end(), [](auto& p, auto& q) { return p.first < q.first; });
        int winding = 0;
        const Edge* left = nullptr;
        for (auto& [x, e] : crossing) {
            const int before = winding;
            winding += e->dir;
            if (before == 0) left = e;
            if (winding == 0) {
                auto line = [](const Edge* e) {
                    return pixman_line_fixed_t{{Px(e->x1), Px(e->y1)}, {Px(e->x2), Px(e->y2)}};
                };
                out.push_back({Px(top), Px(bottom), line(left), line(e)});
            }
        }
    }
    return out;
}
