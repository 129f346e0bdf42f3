// The GDI stand-in's lines and strokes on a 1-bit fax page, raced against pixman rasterising the
// same geometry as triangles (what a vector library hands it): 2,000 cosmetic lines, each as a
// one-pixel-wide quad; and a wide polyline of 400 segments with a 9-pixel geometric pen, each
// segment as its quad (pixman gets no joins, so it does slightly less). The pixels differ at
// the ends and joins, so the outputs are not compared.
#include <pixman.h>

#include <cmath>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/race.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

namespace {

constexpr int kWidth = 1728, kHeight = 2200;

struct Page {
    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ previous;
    uint32_t* bits;
    pixman_image_t* image;  // pixman's view of its own copy
    std::vector<uint32_t> theirs = std::vector<uint32_t>(size_t(kWidth / 32) * kHeight);
    Page()
    {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colors[2];
        } info{{40, kWidth, -kHeight, 1, 1, BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* p;
        bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &p, nullptr, 0);
        bits = static_cast<uint32_t*>(p);
        dc = CreateCompatibleDC(nullptr);
        previous = SelectObject(dc, bitmap);
        image = pixman_image_create_bits(PIXMAN_a1, kWidth, kHeight, theirs.data(), kWidth / 8);
    }
    ~Page()
    {
        pixman_image_unref(image);
        SelectObject(dc, previous);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
};

// The quad of a segment of the given width, as two triangles.
void AddQuad(std::vector<pixman_triangle_t>& out, POINT a, POINT b, double width)
{
    const double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
    if (length == 0) return;
    const double nx = -dy / length * width / 2, ny = dx / length * width / 2;
    auto at = [](double x, double y) {
        return pixman_point_fixed_t{pixman_double_to_fixed(x), pixman_double_to_fixed(y)};
    };
    const pixman_point_fixed_t p1 = at(a.x + 0.5 + nx, a.y + 0.5 + ny), p2 = at(b.x + 0.5 + nx, b.y + 0.5 + ny);
    const pixman_point_fixed_t p3 = at(b.x + 0.5 - nx, b.y + 0.5 - ny), p4 = at(a.x + 0.5 - nx, a.y + 0.5 - ny);
    out.push_back({p1, p2, p3});
    out.push_back({p1, p3, p4});
}

std::vector<POINT> RandomPoints(int count, unsigned seed)
{
    std::mt19937 rng(seed);
    std::vector<POINT> points(static_cast<size_t>(count));
    for (POINT& p : points) p = POINT{LONG(rng() % kWidth), LONG(rng() % kHeight)};
    return points;
}

void AddCosmeticLinesRace()
{
    AddRace("cosmetic_lines_1bit", "pixman_triangles", [] {
        auto page = std::make_shared<Page>();
        auto ends = std::make_shared<std::vector<POINT>>(RandomPoints(4000, 21));
        auto triangles = std::make_shared<std::vector<pixman_triangle_t>>();
        for (size_t i = 0; i + 1 < ends->size(); i += 2) AddQuad(*triangles, (*ends)[i], (*ends)[i + 1], 1.0);
        HPEN pen = CreatePen(PS_SOLID, 0, RGB(0, 0, 0));
        SelectObject(page->dc, pen);
        auto owner = std::shared_ptr<void>(nullptr, [pen](void*) { DeleteObject(pen); });
        return RaceSides{[page, ends, owner] {
                             for (size_t i = 0; i + 1 < ends->size(); i += 2) {
                                 MoveToEx(page->dc, (*ends)[i].x, (*ends)[i].y, nullptr);
                                 LineTo(page->dc, (*ends)[i + 1].x, (*ends)[i + 1].y);
                             }
                         },
                         [page, triangles] {
                             pixman_add_triangles(page->image, 0, 0, int(triangles->size()), triangles->data());
                         }};
    });
}

void AddWidePolylineRace()
{
    AddRace("wide_polyline_1bit", "pixman_triangles", [] {
        auto page = std::make_shared<Page>();
        auto points = std::make_shared<std::vector<POINT>>(RandomPoints(401, 22));
        auto triangles = std::make_shared<std::vector<pixman_triangle_t>>();
        for (size_t i = 0; i + 1 < points->size(); ++i) AddQuad(*triangles, (*points)[i], (*points)[i + 1], 9.0);
        LOGBRUSH brush{BS_SOLID, RGB(0, 0, 0), 0};
        HPEN pen = ExtCreatePen(PS_GEOMETRIC | PS_SOLID | PS_ENDCAP_FLAT | PS_JOIN_BEVEL, 9, &brush, 0, nullptr);
        SelectObject(page->dc, pen);
        auto owner = std::shared_ptr<void>(nullptr, [pen](void*) { DeleteObject(pen); });
        return RaceSides{[page, points, owner] { Polyline(page->dc, points->data(), int(points->size())); },
                         [page, triangles] {
                             pixman_add_triangles(page->image, 0, 0, int(triangles->size()), triangles->data());
                         }};
    });
}

}  // namespace

int main(int argc, char** argv)
{
    AddCosmeticLinesRace();
    AddWidePolylineRace();
    return RaceMain(argc, argv);
}
