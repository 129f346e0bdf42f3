// The engine's scan converter (edge table and fill into a 1-bit band surface) against pixman
// filling the same polygons on a fax page, handed as the trapezoids a vector library would make
// of them: a star of 10,000 edges and a page of 4,800 small glyph-like outlines. The trapezoids'
// vertices lie on pixel centres, where the scan converter samples, so both paint the same pixels.
#include <pixman.h>

#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/race.h"
#include "bench/trapezoids.h"
#include "engine/display/stores/path_clip.h"
#include "engine/display/stores/path_store.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/polygon_scan.h"

namespace {

constexpr LONG kWidth = 1728;  // a fax page at 200 x 200 dpi
constexpr LONG kHeight = 2200;

struct Shape {
    std::vector<POINT> points;
    std::vector<PathFigure> figures;
    std::vector<pixman_trapezoid_t> trapezoids;
};

std::vector<std::pair<double, double>> Corners(const std::vector<POINT>& figure)
{
    std::vector<std::pair<double, double>> v;
    for (const POINT& p : figure) v.push_back({double(p.x), double(p.y)});
    return v;
}

void AddFigure(Shape& s, const std::vector<POINT>& figure)
{
    s.figures.push_back(PathFigure{static_cast<uint32_t>(s.points.size()), static_cast<uint32_t>(figure.size())});
    s.points.insert(s.points.end(), figure.begin(), figure.end());
    const std::vector<pixman_trapezoid_t> t = Trapezoids(Corners(figure));
    s.trapezoids.insert(s.trapezoids.end(), t.begin(), t.end());
}

Shape Star()
{
    Shape s;
    const int edges = 10000;
    const double cx = kWidth / 2.0, cy = kHeight / 2.0;
    std::vector<POINT> rim;
    for (int i = 0; i < edges; ++i) {
        double r = (i % 2 ? 0.45 : 0.2) * kWidth;
        double a = 2 * M_PI * i / edges;
        rim.push_back(POINT{static_cast<LONG>(std::lround(cx + r * std::cos(a))),
                            static_cast<LONG>(std::lround(cy + r * std::sin(a)))});
    }
    AddFigure(s, rim);
    return s;
}

Shape GlyphPage()
{
    Shape s;
    for (LONG row = 0; row < 60; ++row)
        for (LONG col = 0; col < 80; ++col) {
            LONG x = 20 + col * 21, y = 20 + row * 35;
            // An octagon the size of a 10-point letter at 200 dpi.
            AddFigure(s, {{x + 4, y},
                          {x + 12, y},
                          {x + 16, y + 6},
                          {x + 16, y + 20},
                          {x + 12, y + 26},
                          {x + 4, y + 26},
                          {x, y + 20},
                          {x, y + 6}});
        }
    return s;
}

struct Page {
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{kWidth, kHeight}, nullptr, 0, 0);
    ~Page() { BandSurfaceDestroy(surface); }
};

uint8_t Reversed(uint8_t v)
{
    v = uint8_t((v & 0xF0) >> 4 | (v & 0x0F) << 4);
    v = uint8_t((v & 0xCC) >> 2 | (v & 0x33) << 2);
    return uint8_t((v & 0xAA) >> 1 | (v & 0x55) << 1);
}

void Fill(const Shape& shape, Page& page, std::vector<Edge>& edges)
{
    const uint32_t n = EdgeTableFromFigures(shape.points.data(), shape.figures.data(),
                                            static_cast<uint32_t>(shape.figures.size()), edges.data());
    PolygonScanFill(page.surface, edges.data(), n, 0, POLY_FILL_WINDING, SCAN_SET);
}

void AddShapeRace(const char* name, Shape (*make)())
{
    AddRace(name, "pixman_trapezoids", [make] {
        auto shape = std::make_shared<Shape>(make());
        auto ours = std::make_shared<Page>();
        auto theirs = std::make_shared<Page>();
        auto edges = std::make_shared<std::vector<Edge>>(8 * shape->points.size() + 8);
        pixman_image_t* image =
            pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, reinterpret_cast<uint32_t*>(theirs->surface->bits),
                                     static_cast<int>(theirs->surface->stride));
        auto owner = std::shared_ptr<pixman_image_t>(image, pixman_image_unref);
        return RaceSides{[shape, ours, edges] { Fill(*shape, *ours, *edges); },
                         [shape, owner] {
                             pixman_add_trapezoids(owner.get(), 0, 0, static_cast<int>(shape->trapezoids.size()),
                                                   shape->trapezoids.data());
                         },
                         [ours, theirs] {
                             // pixman's a1 rows hold the first pixel in the lowest bit, ours in the highest.
                             const size_t bytes = size_t(ours->surface->stride) * kHeight;
                             const auto* a = static_cast<const uint8_t*>(ours->surface->bits);
                             const auto* b = static_cast<const uint8_t*>(theirs->surface->bits);
                             long differing = 0;
                             for (size_t i = 0; i < bytes; ++i)
                                 differing += std::popcount(uint8_t(a[i] ^ Reversed(b[i])));
                             return differing == 0 ? std::string() : std::to_string(differing) + " pixels differ";
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddShapeRace("star_10000_edges", Star);
    AddShapeRace("glyph_page", GlyphPage);
    return RaceMain(argc, argv);
}
