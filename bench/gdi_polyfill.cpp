// Polygon fill speed against pixman on the same shapes and the same 1-bit page: a star of
// 10,000 edges (pixman draws it as a fan of triangles from the centre) and a polygon covering a
// whole fax page (pixman: two triangles). Each pair prints the ratio ours / pixman after the run.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "platform/gdi/polyfill.h"
#include "bench/time_keeping_reporter.h"

namespace {

constexpr int kWidth = 1728;   // a fax page at 200 x 200 dpi
constexpr int kHeight = 2200;
constexpr int kStrideWords = kWidth / 32;

struct Page {
    std::vector<uint32_t> bits = std::vector<uint32_t>(static_cast<size_t>(kStrideWords) * kHeight);
};

// Sets bits [left, right) of a row, least significant bit first as pixman's a1 format has them.
void SetSpan(void* context, LONG y, LONG left, LONG right)
{
    uint32_t* row = static_cast<Page*>(context)->bits.data() + static_cast<size_t>(y) * kStrideWords;
    int first = left >> 5, last = (right - 1) >> 5;
    uint32_t startMask = ~0u << (left & 31);
    uint32_t endMask = ~0u >> (31 - ((right - 1) & 31));
    if (first == last) {
        row[first] |= startMask & endMask;
        return;
    }
    row[first] |= startMask;
    for (int w = first + 1; w < last; ++w)
        row[w] = ~0u;
    row[last] |= endMask;
}

struct Shape {
    std::vector<FillPoint> points;
    std::vector<pixman_triangle_t> triangles;  // the same area for pixman, vertices moved by half a pixel
};

pixman_fixed_t Px(double v) { return pixman_double_to_fixed(v + 0.5); }

Shape Star()
{
    Shape s;
    const int edges = 10000;
    const double cx = kWidth / 2.0, cy = kHeight / 2.0;
    std::vector<std::pair<double, double>> v;
    for (int i = 0; i < edges; ++i) {
        double r = (i % 2 ? 0.45 : 0.2) * kWidth * 0.98;
        double a = 2 * M_PI * i / edges;
        // Sixteenths of a pixel keep the spikes going round in order (whole pixels would fold
        // some back, and a fan would then cover more than the star).
        int64_t fx = std::llround((cx + r * std::cos(a)) * FILL_ONE), fy = std::llround((cy + r * std::sin(a)) * FILL_ONE);
        v.push_back({static_cast<double>(fx) / FILL_ONE, static_cast<double>(fy) / FILL_ONE});
        s.points.push_back({fx, fy});
    }
    for (int i = 0; i < edges; ++i) {
        auto [x1, y1] = v[i];
        auto [x2, y2] = v[(i + 1) % edges];
        s.triangles.push_back({{Px(cx), Px(cy)}, {Px(x1), Px(y1)}, {Px(x2), Px(y2)}});
    }
    return s;
}

Shape FullPage()
{
    Shape s;
    const double pts[4][2] = {{0, 3}, {kWidth - 2, 0}, {kWidth, kHeight - 4}, {1, kHeight}};
    for (auto& p : pts)
        s.points.push_back(FillPointFromDevice(static_cast<int64_t>(p[0]), static_cast<int64_t>(p[1])));
    s.triangles.push_back({{Px(pts[0][0]), Px(pts[0][1])}, {Px(pts[1][0]), Px(pts[1][1])}, {Px(pts[2][0]), Px(pts[2][1])}});
    s.triangles.push_back({{Px(pts[0][0]), Px(pts[0][1])}, {Px(pts[2][0]), Px(pts[2][1])}, {Px(pts[3][0]), Px(pts[3][1])}});
    return s;
}

void Ours(benchmark::State& state, Shape (*make)())
{
    Shape shape = make();
    Page page;
    const int counts[] = {static_cast<int>(shape.points.size())};
    const RECT clip{0, 0, kWidth, kHeight};
    for (auto _ : state) {
        PolyFillSpans(shape.points, counts, FILL_WINDING, clip, SetSpan, &page);
        benchmark::DoNotOptimize(page.bits.data());
    }
}

void Pixman(benchmark::State& state, Shape (*make)())
{
    Shape shape = make();
    Page page;
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, page.bits.data(), kStrideWords * 4);
    for (auto _ : state) {
        pixman_add_triangles(image, 0, 0, static_cast<int>(shape.triangles.size()), shape.triangles.data());
        benchmark::DoNotOptimize(page.bits.data());
    }
    pixman_image_unref(image);
}

BENCHMARK_CAPTURE(Ours, star10000, Star)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, star10000, Star)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, full_page, FullPage)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Pixman, full_page, FullPage)->Unit(benchmark::kMillisecond);

}  // namespace

// Both sides should paint the same pixels for the times to compare like with like. The star's
// sub-pixel vertices leave a handful of pixels where pixman's 16.16 edge steps round the other
// way from the exact crossing; the count is printed so a real divergence shows.
int DifferingPixels(Shape (*make)())
{
    Shape shape = make();
    Page ours, theirs;
    const int counts[] = {static_cast<int>(shape.points.size())};
    PolyFillSpans(shape.points, counts, FILL_WINDING, RECT{0, 0, kWidth, kHeight}, SetSpan, &ours);
    pixman_image_t* image = pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, theirs.bits.data(), kStrideWords * 4);
    pixman_add_triangles(image, 0, 0, static_cast<int>(shape.triangles.size()), shape.triangles.data());
    pixman_image_unref(image);
    int differing = 0;
    for (size_t i = 0; i < ours.bits.size(); ++i)
        differing += std::popcount(ours.bits[i] ^ theirs.bits[i]);
    return differing;
}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TimeKeepingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("pixels differing from pixman: star %d, full page %d\n", DifferingPixels(Star), DifferingPixels(FullPage));
    for (const char* shape : {"star10000", "full_page"}) {
        auto ours = reporter.seconds.find(std::string("Ours/") + shape);
        auto theirs = reporter.seconds.find(std::string("Pixman/") + shape);
        if (ours != reporter.seconds.end() && theirs != reporter.seconds.end())
            std::printf("%s: ours / pixman = %.2f (below 1: faster than pixman)\n", shape, ours->second / theirs->second);
    }
    benchmark::Shutdown();
    return 0;
}
