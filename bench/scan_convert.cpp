// The engine's scan converter (edge table and fill into a 1-bit band surface) against pixman's
// rasterisation of the same polygons on a fax page: a star of 10,000 edges and a page of 4,800
// small glyph-like outlines. pixman draws each as a fan of triangles, vertices moved by half a
// pixel to sample where we do. Prints ours / pixman after the run.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "bench/time_keeping_reporter.h"
#include "engine/band/band_surface.h"
#include "engine/display/path_store.h"
#include "engine/raster/path_clip.h"
#include "engine/raster/polygon_scan.h"

namespace {

constexpr LONG kWidth = 1728;  // a fax page at 200 x 200 dpi
constexpr LONG kHeight = 2200;

struct Shape {
    std::vector<POINT> points;
    std::vector<PathFigure> figures;
    std::vector<pixman_triangle_t> triangles;
};

pixman_fixed_t Px(LONG v) { return pixman_int_to_fixed(v) + pixman_fixed_1 / 2; }

void AddFigure(Shape& s, const std::vector<POINT>& figure)
{
    s.figures.push_back(PathFigure{static_cast<uint32_t>(s.points.size()), static_cast<uint32_t>(figure.size())});
    s.points.insert(s.points.end(), figure.begin(), figure.end());
    for (size_t i = 1; i + 1 < figure.size(); ++i)
        s.triangles.push_back({{Px(figure[0].x), Px(figure[0].y)},
                               {Px(figure[i].x), Px(figure[i].y)},
                               {Px(figure[i + 1].x), Px(figure[i + 1].y)}});
}

Shape Star()
{
    Shape s;
    const int edges = 10000;
    const double cx = kWidth / 2.0, cy = kHeight / 2.0;
    std::vector<POINT> figure{{static_cast<LONG>(cx), static_cast<LONG>(cy)}};  // the fan's centre
    std::vector<POINT> rim;
    for (int i = 0; i < edges; ++i) {
        double r = (i % 2 ? 0.45 : 0.2) * kWidth;
        double a = 2 * M_PI * i / edges;
        rim.push_back(POINT{static_cast<LONG>(std::lround(cx + r * std::cos(a))), static_cast<LONG>(std::lround(cy + r * std::sin(a)))});
    }
    s.figures.push_back(PathFigure{0, static_cast<uint32_t>(rim.size())});
    s.points = rim;
    for (int i = 0; i < edges; ++i) {
        POINT a = rim[i], b = rim[(i + 1) % edges];
        s.triangles.push_back({{Px(figure[0].x), Px(figure[0].y)}, {Px(a.x), Px(a.y)}, {Px(b.x), Px(b.y)}});
    }
    return s;
}

Shape GlyphPage()
{
    Shape s;
    for (LONG row = 0; row < 60; ++row)
        for (LONG col = 0; col < 80; ++col) {
            LONG x = 20 + col * 21, y = 20 + row * 35;
            // An octagon the size of a 10-point letter at 200 dpi.
            AddFigure(s, {{x + 4, y}, {x + 12, y}, {x + 16, y + 6}, {x + 16, y + 20},
                          {x + 12, y + 26}, {x + 4, y + 26}, {x, y + 20}, {x, y + 6}});
        }
    return s;
}

struct Page {
    BandSurface* surface = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{kWidth, kHeight}, nullptr, 0, 0);
    ~Page() { BandSurfaceDestroy(surface); }
};

void Ours(benchmark::State& state, Shape (*make)())
{
    Shape shape = make();
    Page page;
    std::vector<Edge> edges(8 * shape.points.size() + 8);
    for (auto _ : state) {
        uint32_t n = EdgeTableFromFigures(shape.points.data(), shape.figures.data(),
                                          static_cast<uint32_t>(shape.figures.size()), edges.data());
        PolygonScanFill(page.surface, edges.data(), n, 0, POLY_FILL_WINDING, SCAN_SET);
        benchmark::DoNotOptimize(page.surface->bits);
    }
}

void Pixman(benchmark::State& state, Shape (*make)())
{
    Shape shape = make();
    Page page;
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, reinterpret_cast<uint32_t*>(page.surface->bits),
                                                     static_cast<int>(page.surface->stride));
    for (auto _ : state) {
        pixman_add_triangles(image, 0, 0, static_cast<int>(shape.triangles.size()), shape.triangles.data());
        benchmark::DoNotOptimize(page.surface->bits);
    }
    pixman_image_unref(image);
}

BENCHMARK_CAPTURE(Ours, star10000, Star)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, star10000, Star)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, glyph_page, GlyphPage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, glyph_page, GlyphPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    for (const char* shape : {"star10000", "glyph_page"}) {
        auto ours = reporter.seconds.find(std::string("Ours/") + shape);
        auto theirs = reporter.seconds.find(std::string("Pixman/") + shape);
        if (ours != reporter.seconds.end() && theirs != reporter.seconds.end())
            std::printf("%s: ours / pixman = %.2f (below 1: faster than pixman)\n", shape, ours->second / theirs->second);
    }
    benchmark::Shutdown();
    return 0;
}
