// A 1-bit band surface for the scan converter's tests, with pixel access and the fills under test:
// the engine's own (edge table, clip, scan converter) and the GDI stand-in's polygon fill.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "engine/display/stores/path_clip.h"
#include "engine/display/stores/path_store.h"
#include "engine/raster/band_surface.h"
#include "engine/raster/polygon_scan.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

using Figure = std::vector<POINT>;

struct MaskSurface {
    struct Destroy {
        void operator()(BandSurface* s) const { BandSurfaceDestroy(s); }
    };
    std::unique_ptr<BandSurface, Destroy> s;

    MaskSurface(LONG w, LONG h) : s(BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{w, h}, nullptr, 0, 0))
    {
        BandSurfaceClear(s.get(), SIZE{w, h});
    }
    LONG Width() const { return static_cast<LONG>(s->width); }
    LONG Height() const { return static_cast<LONG>(s->height); }
    bool Get(LONG x, LONG y) const { return (s->bits[y * s->stride + x / 8] >> (7 - x % 8)) & 1; }
    void Put(LONG x, LONG y, bool v)
    {
        uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
        uint8_t& b = s->bits[y * s->stride + x / 8];
        b = v ? b | bit : b & ~bit;
    }
    std::vector<uint8_t> Bytes() const { return {s->bits, s->bits + s->stride * s->height}; }
    // "" when equal, else where they first differ.
    template <class Judge>
    std::string FirstDifference(Judge expected) const
    {
        for (LONG y = 0; y < Height(); ++y)
            for (LONG x = 0; x < Width(); ++x)
                if (Get(x, y) != expected(x, y))
                    return "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") is " +
                           std::to_string(Get(x, y));
        return "";
    }
};

// The edge table of the figures, clipped to the rectangle when one is given.
inline std::vector<Edge> EdgesOf(const std::vector<Figure>& figures, const RECT* clip)
{
    std::vector<POINT> points;
    std::vector<PathFigure> table;
    for (const Figure& f : figures) {
        table.push_back(PathFigure{static_cast<uint32_t>(points.size()), static_cast<uint32_t>(f.size())});
        points.insert(points.end(), f.begin(), f.end());
    }
    std::vector<Edge> edges(8 * points.size() + 8);
    uint32_t n = EdgeTableFromFigures(points.data(), table.data(), static_cast<uint32_t>(table.size()), edges.data());
    if (clip != nullptr) n = EdgeTableClip(clip, n, edges.data(), edges.data() + 4 * n + 4);
    edges.resize(n);
    return edges;
}

inline void ScanFill(MaskSurface& m, const std::vector<Figure>& figures, const RECT* clip, int rule, int operation,
                     int monotone = 0)
{
    std::vector<Edge> edges = EdgesOf(figures, clip);
    PolygonScanFill(m.s.get(), edges.data(), static_cast<uint32_t>(edges.size()), monotone, rule, operation);
}

// The GDI stand-in: PolyPolygon with a white brush and no pen, clipped to the rectangle.
inline void GdiFill(MaskSurface& m, const std::vector<Figure>& figures, const RECT& clip, int rule)
{
    HDC dc = m.s->drawDC;
    std::vector<POINT> points;
    std::vector<INT> counts;
    for (const Figure& f : figures) {
        points.insert(points.end(), f.begin(), f.end());
        counts.push_back(static_cast<INT>(f.size()));
    }
    HRGN region = CreateRectRgn(clip.left, clip.top, clip.right, clip.bottom);
    SelectClipRgn(dc, region);
    DeleteObject(region);
    SetPolyFillMode(dc, rule);
    HGDIOBJ brush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
    HGDIOBJ pen = SelectObject(dc, GetStockObject(NULL_PEN));
    PolyPolygon(dc, points.data(), counts.data(), static_cast<int>(counts.size()));
    SelectObject(dc, brush);
    SelectObject(dc, pen);
    SelectClipRgn(dc, nullptr);
}
