// Polygon fill raced against pixman on the same shapes and the same 1-bit page: a star of 10,000
// edges and a polygon covering a whole fax page, each handed to pixman as the trapezoids a vector
// library would make of it.
#include <pixman.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "bench/race.h"
#include "bench/trapezoids.h"
#include "platform/gdi/region/polyfill.h"

namespace {

constexpr int kWidth = 1728;  // a fax page at 200 x 200 dpi
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
    for (int w = first + 1; w < last; ++w) row[w] = ~0u;
    row[last] |= endMask;
}

struct Shape {
    std::vector<FillPoint> points;
    std::vector<pixman_trapezoid_t> trapezoids;  // the same area for pixman, moved by half a pixel
};

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
        // some back).
        int64_t fx = std::llround((cx + r * std::cos(a)) * FILL_ONE),
                fy = std::llround((cy + r * std::sin(a)) * FILL_ONE);
        v.push_back({static_cast<double>(fx) / FILL_ONE, static_cast<double>(fy) / FILL_ONE});
        s.points.push_back({fx, fy});
    }
    s.trapezoids = Trapezoids(v);
    return s;
}

Shape FullPage()
{
    Shape s;
    const std::vector<std::pair<double, double>> v = {{0, 3}, {kWidth - 2, 0}, {kWidth, kHeight - 4}, {1, kHeight}};
    for (auto& [x, y] : v) s.points.push_back(FillPointFromDevice(static_cast<int64_t>(x), static_cast<int64_t>(y)));
    s.trapezoids = Trapezoids(v);
    return s;
}

void FillOurs(const Shape& shape, Page& page)
{
    const int counts[] = {static_cast<int>(shape.points.size())};
    PolyFillSpans(shape.points, counts, FILL_WINDING, RECT{0, 0, kWidth, kHeight}, SetSpan, &page);
}

// Both sides paint the same pixels for the times to compare like with like. The star's sub-pixel
// vertices leave a few pixels where pixman's 16.16 edge steps round the other way from the exact
// crossing: up to `tolerance` differing pixels are accepted.
void AddShapeRace(const char* name, Shape (*make)(), int tolerance)
{
    AddRace(name, "pixman_trapezoids", [make, tolerance] {
        auto shape = std::make_shared<Shape>(make());
        auto ours = std::make_shared<Page>();
        auto theirs = std::make_shared<Page>();
        pixman_image_t* image =
            pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, theirs->bits.data(), kStrideWords * 4);
        auto owner = std::shared_ptr<pixman_image_t>(image, pixman_image_unref);
        return RaceSides{[shape, ours] { FillOurs(*shape, *ours); },
                         [shape, owner, theirs] {
                             pixman_add_trapezoids(owner.get(), 0, 0, static_cast<int>(shape->trapezoids.size()),
                                                   shape->trapezoids.data());
                         },
                         [ours, theirs, tolerance] {
                             int differing = 0;
                             for (size_t i = 0; i < ours->bits.size(); ++i)
                                 differing += std::popcount(ours->bits[i] ^ theirs->bits[i]);
                             return differing <= tolerance ? std::string() : std::to_string(differing) + " pixels";
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddShapeRace("star_10000_edges", Star, 64);
    AddShapeRace("full_page", FullPage, 0);
    return RaceMain(argc, argv);
}
