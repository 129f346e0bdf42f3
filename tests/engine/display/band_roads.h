// The band loop's two roads over a display list, per pixel: every command drawn through GDI into
// colour bands, and every command's shape rendered into the band mask and painted with its colour
// class. Both give a page image to compare with a per-pixel reference. A job is any that lists
// its nodes (Nodes()) and has a store.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi.h"
#include "rastrel/imx_types.h"
#include "tests/support/display_job.h"

// A page image in COLORREF values.
struct Image {
    int w, h;
    std::vector<uint32_t> px;
    Image(int width, int height) : w(width), h(height), px(size_t(width) * height, 0xFFFFFF) {}
    uint32_t& at(int x, int y) { return px[size_t(y) * w + x]; }
};

// Device pixels per logical unit: scale / divisor. A point maps as GDI maps it, to the nearest
// device pixel with halves away from zero.
struct Mapping {
    int scale;
    int divisor = 1;
    int Map(int v) const
    {
        const int64_t twice = 2 * int64_t{v} * scale;
        return int(twice >= 0 ? (twice + divisor) / (2 * divisor) : -((-twice + divisor) / (2 * divisor)));
    }
};

// What the page should show: rectangles painted in order, each cut to its clip rectangles.
struct Paint {
    RECT rect;
    uint32_t colour;
    std::vector<RECT> clip;  // empty: none
};

inline Image Reference(int w, int h, const Mapping& m, const std::vector<Paint>& paints)
{
    Image image(w, h);
    for (const Paint& p : paints) {
        for (int y = m.Map(p.rect.top); y < m.Map(p.rect.bottom); ++y)
            for (int x = m.Map(p.rect.left); x < m.Map(p.rect.right); ++x) {
                if (x < 0 || y < 0 || x >= w || y >= h) continue;
                bool inside = p.clip.empty();
                for (const RECT& c : p.clip)
                    inside |= x >= m.Map(c.left) && x < m.Map(c.right) && y >= m.Map(c.top) && y < m.Map(c.bottom);
                if (inside) image.at(x, y) = p.colour;
            }
    }
    return image;
}

inline uint32_t SurfacePixel(const BandSurface* s, int x, int y)
{
    const uint8_t* p = s->bits + size_t(y) * s->stride + size_t(x) * 3;
    return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
}

inline bool MaskBit(const BandSurface* s, int x, int y)
{
    return (s->bits[size_t(y) * s->stride + x / 8] >> (7 - x % 8)) & 1;
}

inline void MapSet(BandSurface* s, const Mapping& m, int bandTop)
{
    SetWindowOrgEx(s->drawDC, 0, 0, nullptr);
    SetWindowExtEx(s->drawDC, m.divisor, m.divisor, nullptr);
    SetViewportExtEx(s->drawDC, m.scale, m.scale, nullptr);
    SetViewportOrgEx(s->drawDC, 0, -bandTop, nullptr);
}

// The band in the page's logical units, widened to whole units.
inline RECT BandLogical(const Mapping& m, int w, int top, int height)
{
    auto up = [&](int v) { return int((int64_t{v} * m.divisor + m.scale - 1) / m.scale); };
    return RECT{0, int(int64_t{top} * m.divisor / m.scale), up(w), up(top + height)};
}

// Road A: every command drawn through GDI into the colour surface, band by band.
template <typename Job>
Image DrawRoad(Job& job, int w, int h, const Mapping& m, int bandHeight)
{
    Image image(w, h);
    BandSurface* colour = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{w, bandHeight}, nullptr, 0, 0);
    for (int top = 0; top < h; top += bandHeight) {
        const int rows = std::min(bandHeight, h - top);
        BandSurfaceClear(colour, SIZE{w, bandHeight});
        MapSet(colour, m, top);
        const RECT band = BandLogical(m, w, top, rows);
        for (CmdNode* node : job.Nodes()) CmdSlotDraw(node, job.store, colour, &band, nullptr);
        BandSurfaceResetDC(colour);
        GdiFlush();
        for (int y = 0; y < rows; ++y)
            for (int x = 0; x < w; ++x) image.at(x, top + y) = SurfacePixel(colour, x, y);
    }
    BandSurfaceDestroy(colour);
    return image;
}

// Road B: as the single-resolution band renderer: each command's area is moved to the surfaces'
// origin, its shape marked in the mask (or taken whole), its colour asked for, and the page
// painted where the shape is. refused counts the commands whose direct rendering was refused.
template <typename Job>
Image MaskRoad(Job& job, int w, int h, const Mapping& m, int bandHeight, int* refused = nullptr)
{
    Image image(w, h);
    BandSurface* colour = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{w, bandHeight}, nullptr, 0, 0);
    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{w, bandHeight}, nullptr, 0, 0);
    for (int top = 0; top < h; top += bandHeight) {
        const int rows = std::min(bandHeight, h - top);
        MapSet(colour, m, top);
        MapSet(mask, m, top);
        const RECT band = BandLogical(m, w, top, rows);
        for (CmdNode* node : job.Nodes()) {
            POINT corners[2] = {{node->bounds.left, node->bounds.top}, {node->bounds.right, node->bounds.bottom}};
            LPtoDP(mask->drawDC, corners, 2);
            RECT area{std::max<LONG>(corners[0].x, 0), std::max<LONG>(corners[0].y, 0), std::min(corners[1].x, LONG(w)),
                      std::min(corners[1].y, LONG(rows))};
            if (area.left >= area.right || area.top >= area.bottom) continue;
            for (BandSurface* s : {colour, mask}) OffsetViewportOrgEx(s->drawDC, -area.left, -area.top, nullptr);
            const RECT local{0, 0, area.right - area.left, area.bottom - area.top};
            const int shape = CmdRow(node).renderBand(node, job.store, mask, &band, &local, &local, 0);
            uint32_t solid = 0;
            uint8_t hint = 0;
            int colourClass = CmdSlotColorClass(node, &solid, &hint, 0);
            EXPECT_TRUE(colourClass == CMD_COLOR_SOLID || colourClass == CMD_COLOR_DRAW_RESTORE ||
                        colourClass == CMD_COLOR_DIRECT)
                << colourClass;
            // A command that renders its own pixels writes them in the output format (here 24-bit
            // BGR, as the colour surface holds them) into a buffer of the area's size.
            std::vector<uint8_t> direct;
            const uint32_t directStride = (uint32_t(local.right) * 3 + 3) & ~3u;
            if (colourClass == CMD_COLOR_DIRECT) {
                ImxImageFormat format{};
                format.formatId = OCM_COLOR_BGR24;
                format.colorBits = 24;
                format.planeCount = 1;
                format.planes[0].depth = 24;
                direct.assign(size_t(directStride) * local.bottom, 0);
                uint8_t flag = hint;
                // As the band loop: a command that cannot render its own pixels is drawn instead.
                if (CmdRow(node).renderDirect(node, job.store, nullptr, colour, &format, directStride, direct.data(),
                                              &flag, &local) == 0) {
                    colourClass = CMD_COLOR_DRAW_RESTORE;
                    if (refused != nullptr) ++*refused;
                }
            }
            auto directPixel = [&](int x, int y) {
                const uint8_t* p = &direct[size_t(y) * directStride + size_t(x) * 3];
                return uint32_t(p[2]) | uint32_t(p[1]) << 8 | uint32_t(p[0]) << 16;
            };
            if (colourClass == CMD_COLOR_DRAW_RESTORE) {
                POINT lp[2] = {{0, 0}, {local.right, local.bottom}};
                DPtoLP(colour->drawDC, lp, 2);
                const RECT logical{lp[0].x, lp[0].y, lp[1].x, lp[1].y};
                CmdRow(node).drawRestore(node, job.store, colour, &logical, nullptr);
            }
            if (shape != CMD_BAND_NOTHING) {
                for (int y = 0; y < local.bottom; ++y)
                    for (int x = 0; x < local.right; ++x) {
                        if (shape == CMD_BAND_MASKED && !MaskBit(mask, x, y)) continue;
                        image.at(area.left + x, top + area.top + y) = colourClass == CMD_COLOR_SOLID ? solid
                                                                      : colourClass == CMD_COLOR_DIRECT
                                                                          ? directPixel(x, y)
                                                                          : SurfacePixel(colour, x, y);
                    }
            }
            for (BandSurface* s : {colour, mask}) OffsetViewportOrgEx(s->drawDC, area.left, area.top, nullptr);
        }
    }
    BandSurfaceDestroy(mask);
    BandSurfaceDestroy(colour);
    return image;
}

inline std::string Diff(const Image& got, const Image& want)
{
    int count = 0;
    std::string first;
    for (int y = 0; y < want.h; ++y)
        for (int x = 0; x < want.w; ++x)
            if (got.px[size_t(y) * want.w + x] != want.px[size_t(y) * want.w + x]) {
                if (count++ == 0) {
                    char text[96];
                    snprintf(text, sizeof text, " first at (%d, %d): %06x, want %06x", x, y,
                             got.px[size_t(y) * want.w + x], want.px[size_t(y) * want.w + x]);
                    first = text;
                }
            }
    return count == 0 ? "" : std::to_string(count) + " pixels differ;" + first;
}
