// Drawing glyphs and the memory derived from them: the DIB of a bitmap glyph, the device bitmap
// a glyph is rendered into once per DC scale through the store's scratch surface, the cache's
// preparation for a DC and the trims that give that memory back.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/glyph_cache.h"
#include "engine/display/stores/resource_object.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"

namespace {

constexpr DWORD kRopBrushWhereSet = 0x00E20746;  // d = s ? p : d
constexpr DWORD kRopPaint = 0x00EE0086;  // d = d | s

uint32_t RowBytes(int64_t width) { return uint32_t((width + 31) / 32 * 4); }

// A 1-bit BITMAPINFO with the colours black and white.
struct MonoInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colours[2];
};

MonoInfo MonoInfoOf(int32_t width, int32_t height)
{
    MonoInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = -height;  // top-down rows
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biClrUsed = 2;
    info.colours[1] = RGBQUAD{0xFF, 0xFF, 0xFF, 0};
    return info;
}

// Ceiling of value x numerator / denominator for non-negative results, in 64 bits.
int64_t ScaleUp(int64_t value, int64_t numerator, int64_t denominator)
{
    numerator = std::llabs(numerator);
    denominator = std::llabs(denominator);
    if (denominator == 0 || value <= 0) return 0;
    return (value * numerator + denominator - 1) / denominator;
}

// Extra device pixels the overstrike adds per axis, for a cache whose cell height maps to the given
// device heights: the overstrike draws 1 + extra copies, one pixel apart.
void OverstrikeRepeats(const GlyphCache* cache, HDC dc, int32_t repeats[2])
{
    repeats[0] = repeats[1] = 1;
    if ((cache->flags & GLYPH_CACHE_OVERSTRIKE) == 0 || cache->device == nullptr) return;
    POINT p[2] = {{0, 0}, {cache->cellHeight, cache->cellHeight}};
    if (dc != nullptr) LPtoDP(dc, p, 2);
    const uint32_t w = uint32_t(std::min<int64_t>(std::llabs(int64_t(p[1].x) - p[0].x), INT32_MAX));
    const uint32_t h = uint32_t(std::min<int64_t>(std::llabs(int64_t(p[1].y) - p[0].y), INT32_MAX));
    uint32_t extent[2] = {w, h};
    DeviceExtentAdjust(cache->device, extent);
    // Held to a sane count: each repeat is a whole drawing of the glyph.
    repeats[0] = int32_t(1 + std::min<uint32_t>(extent[0] - w, 64));
    repeats[1] = int32_t(1 + std::min<uint32_t>(extent[1] - h, 64));
}

// The outline as one path in the DC's logical units (the window origin already placed).
void OutlinePath(const Glyph* glyph, HDC dc)
{
    BeginPath(dc);
    const uint8_t* at = glyph->contours;
    const uint8_t* end = at + glyph->contourBytes;
    for (uint32_t c = 0; c < glyph->contourCount && end - at >= 8; ++c) {
        const uint32_t flags = LoadLE32(at);
        const uint32_t count = LoadLE32(at + 4);
        at += 8;
        if (count > uint32_t(end - at) / 8) break;
        POINT* points = static_cast<POINT*>(RenderAlloc(sizeof(POINT) * (size_t(count) + 1)));
        if (points == nullptr) break;
        for (uint32_t i = 0; i < count; ++i)
            points[i] = POINT{LONG(int32_t(LoadLE32(at + 8 * i))), LONG(int32_t(LoadLE32(at + 8 * i + 4)))};
        uint32_t first = 0;
        if ((flags & CONTOUR_MOVE) != 0 && count > 0) {
            MoveToEx(dc, points[0].x, points[0].y, nullptr);
            first = 1;
        }
        const uint32_t rest = count - first;
        if ((flags & CONTOUR_CUBIC) != 0) {
            if (rest >= 3) PolyBezierTo(dc, points + first, rest - rest % 3);
        } else if (rest > 0) {
            PolylineTo(dc, points + first, rest);
        }
        if ((flags & CONTOUR_CLOSE) != 0) CloseFigure(dc);
        RenderFree(points);
        at += 8 * size_t(count);
    }
    EndPath(dc);
}

// The device bitmap drawn 1:1 at the device position of the logical point.
void DeviceDraw(const Glyph* glyph, HDC dc, POINT position, DWORD rop)
{
    LPtoDP(dc, &position, 1);
    const int32_t width = int32_t(LoadLE32(glyph->device));
    const int32_t height = int32_t(LoadLE32(glyph->device + 4));
    const MonoInfo info = MonoInfoOf(width, height);
    POINT windowOrigin{}, viewportOrigin{};
    SIZE windowExtent{}, viewportExtent{};
    GetWindowOrgEx(dc, &windowOrigin);
    GetViewportOrgEx(dc, &viewportOrigin);
    GetWindowExtEx(dc, &windowExtent);
    GetViewportExtEx(dc, &viewportExtent);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    StretchDIBits(dc, position.x, position.y, width, height, 0, 0, width, height, glyph->device + 8,
                  reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, rop);
    SetWindowExtEx(dc, windowExtent.cx, windowExtent.cy, nullptr);
    SetViewportExtEx(dc, viewportExtent.cx, viewportExtent.cy, nullptr);
    SetWindowOrgEx(dc, windowOrigin.x, windowOrigin.y, nullptr);
    SetViewportOrgEx(dc, viewportOrigin.x, viewportOrigin.y, nullptr);
}

bool DcExtents(HDC dc, SIZE* window, SIZE* viewport)
{
    return GetWindowExtEx(dc, window) && GetViewportExtEx(dc, viewport);
}

void ListUnlink(Glyph*& first, Glyph*& last, Glyph* glyph)
{
    (glyph->listPrev ? glyph->listPrev->listNext : first) = glyph->listNext;
    (glyph->listNext ? glyph->listNext->listPrev : last) = glyph->listPrev;
    glyph->listPrev = glyph->listNext = nullptr;
}
void ListAppend(Glyph*& first, Glyph*& last, Glyph* glyph)
{
    glyph->listPrev = last;
    glyph->listNext = nullptr;
    (last ? last->listNext : first) = glyph;
    last = glyph;
}
bool Listed(const Glyph* first, const Glyph* glyph) { return glyph->listPrev != nullptr || first == glyph; }

// Drops a glyph's device bitmap; a glyph that keeps its DIB moves to the DIB list's tail.
uint32_t DeviceDrop(GlyphCache* cache, Glyph* glyph)
{
    const uint32_t bytes = GlyphDeviceBytes(glyph);
    ListUnlink(cache->deviceFirst, cache->deviceLast, glyph);
    RenderFree(glyph->device);
    glyph->device = nullptr;
    glyph->flags &= uint16_t(~GLYPH_DEVICE);
    if (glyph->dib != nullptr) ListAppend(cache->dibFirst, cache->dibLast, glyph);
    return bytes;
}

uint32_t DibDrop(GlyphCache* cache, Glyph* glyph)
{
    const uint32_t bytes = GlyphDibBytes(glyph);
    if (glyph->device == nullptr && Listed(cache->dibFirst, glyph)) ListUnlink(cache->dibFirst, cache->dibLast, glyph);
    RenderFree(glyph->dib);
    glyph->dib = nullptr;
    glyph->flags &= uint16_t(~GLYPH_DIB);
    return bytes;
}

SIZE SurfaceNeed(const GlyphCache* cache) { return GlyphDeviceSize(cache, cache->largestWidth, cache->largestHeight); }

}  // namespace

uint32_t GlyphDibBytes(const Glyph* glyph)
{
    return glyph->dib == nullptr
               ? 0
               : uint32_t(sizeof(MonoInfo)) + RowBytes(glyph->cellWidth) * uint32_t(glyph->cellHeight);
}

uint32_t GlyphDeviceBytes(const Glyph* glyph)
{
    if (glyph->device == nullptr) return 0;
    return 8 + RowBytes(LoadLE32(glyph->device)) * LoadLE32(glyph->device + 4);
}

SIZE GlyphDeviceSize(const GlyphCache* cache, int32_t width, int32_t height)
{
    const int64_t w = ScaleUp(width, cache->viewportExtent.cx, cache->windowExtent.cx);
    const int64_t h = ScaleUp(height, cache->viewportExtent.cy, cache->windowExtent.cy);
    int64_t extra[2] = {0, 0};
    if ((cache->flags & GLYPH_CACHE_OVERSTRIKE) != 0 && cache->device != nullptr) {
        const int64_t cell = ScaleUp(cache->cellHeight, cache->viewportExtent.cx, cache->windowExtent.cx);
        const int64_t cellY = ScaleUp(cache->cellHeight, cache->viewportExtent.cy, cache->windowExtent.cy);
        uint32_t extent[2] = {uint32_t(std::min<int64_t>(cell, INT32_MAX)),
                              uint32_t(std::min<int64_t>(cellY, INT32_MAX))};
        DeviceExtentAdjust(cache->device, extent);
        extra[0] = std::min<int64_t>(extent[0] - cell, 64);
        extra[1] = std::min<int64_t>(extent[1] - cellY, 64);
    }
    // Held well inside 32 bits: a glyph this large is a damaged record, and drawing it fails.
    return SIZE{LONG(std::min<int64_t>(w + extra[0], 0x8000)), LONG(std::min<int64_t>(h + extra[1], 0x8000))};
}

// A pen font's outlines are stroked in the band DC itself, so that the pen's width and style
// follow the DC; its glyphs never go through device bitmaps.
bool GlyphCacheUsesDevice(const GlyphCache* cache)
{
    return (cache->flags & GLYPH_CACHE_4) == 0 && (cache->flags & (GLYPH_CACHE_OUTLINES | GLYPH_CACHE_SCALED)) != 0;
}

void GlyphDraw(Glyph* glyph, HDC dc, POINT position, uint32_t mode)
{
    if (glyph->cellWidth <= 0 || glyph->cellHeight <= 0) return;
    const GlyphCache* cache = glyph->cache;
    const DWORD rop = (mode & GLYPH_DRAW_OR) != 0 ? kRopPaint : kRopBrushWhereSet;
    if (glyph->device != nullptr && GlyphCacheUsesDevice(cache)) {
        DeviceDraw(glyph, dc, position, rop);
        return;
    }
    const bool outline = (glyph->flags & GLYPH_OUTLINE) != 0;
    if (!outline && glyph->dib == nullptr) return;
    POINT windowOrigin{}, viewportOrigin{};
    SIZE windowExtent{};
    GetWindowOrgEx(dc, &windowOrigin);
    GetViewportOrgEx(dc, &viewportOrigin);
    GetWindowExtEx(dc, &windowExtent);
    int32_t repeats[2];
    OverstrikeRepeats(cache, dc, repeats);
    const bool sixteenths = (cache->flags & GLYPH_CACHE_SIXTEENTHS) != 0 && outline;
    const int64_t unit = sixteenths ? 16 : 1;
    if (sixteenths) {
        SetWindowOrgEx(dc, windowOrigin.x * 16, windowOrigin.y * 16, nullptr);
        SetWindowExtEx(dc, windowExtent.cx * 16, windowExtent.cy * 16, nullptr);
    }
    int previousFill = 0;
    if (outline) {
        previousFill = SetPolyFillMode(dc, WINDING);
        // Contour points are relative to the glyph's origin, y down; the cell's top-left goes to
        // the position.
        const int64_t dx = (int64_t(glyph->originX) - position.x) * unit;
        const int64_t dy = -(int64_t(glyph->originY) + position.y) * unit;
        POINT now{};
        GetWindowOrgEx(dc, &now);
        SetWindowOrgEx(dc, int(now.x + dx), int(now.y + dy), nullptr);
    }
    const MonoInfo info = MonoInfoOf(glyph->cellWidth, glyph->cellHeight);
    for (int32_t i = 0; i < repeats[0]; ++i) {
        for (int32_t j = 0; j < repeats[1]; ++j) {
            SetViewportOrgEx(dc, viewportOrigin.x + i, viewportOrigin.y + j, nullptr);
            if (!outline) {
                StretchDIBits(dc, position.x, position.y, glyph->cellWidth, glyph->cellHeight, 0, 0, glyph->cellWidth,
                              glyph->cellHeight, glyph->dib + sizeof(MonoInfo),
                              reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, rop);
            } else {
                OutlinePath(glyph, dc);
                if ((mode & GLYPH_DRAW_STROKE) != 0) StrokePath(dc);
                else FillPath(dc);
            }
        }
    }
    SetViewportOrgEx(dc, viewportOrigin.x, viewportOrigin.y, nullptr);
    if (outline) SetPolyFillMode(dc, previousFill);
    SetWindowOrgEx(dc, windowOrigin.x, windowOrigin.y, nullptr);
    if (sixteenths) SetWindowExtEx(dc, windowExtent.cx, windowExtent.cy, nullptr);
}

int GlyphDibMake(Glyph* glyph, ResourceCost* tally)
{
    if ((glyph->flags & GLYPH_BITMAP) == 0 || glyph->dib != nullptr) return 1;
    if (glyph->cellWidth <= 0 || glyph->cellHeight <= 0) return 1;
    GlyphCache* cache = glyph->cache;
    // The rows as the record stored them: the cell's width, whatever the overstrike adds when
    // drawing (reading them at the widened width would run past the glyph's data and shear it).
    const uint32_t rows = RowBytes(glyph->cellWidth) * uint32_t(glyph->cellHeight);
    auto* dib = static_cast<uint8_t*>(RenderAlloc(sizeof(MonoInfo) + rows));
    if (dib == nullptr) return 0;
    if (cache->spill == nullptr || !StreamSpillReadAt(cache->spill, glyph->rowsOffset, dib + sizeof(MonoInfo), rows)) {
        RenderFree(dib);
        return 0;
    }
    const MonoInfo info = MonoInfoOf(glyph->cellWidth, glyph->cellHeight);
    std::memcpy(dib, &info, sizeof info);
    glyph->dib = dib;
    glyph->flags |= GLYPH_DIB;
    if (glyph->device == nullptr) ListAppend(cache->dibFirst, cache->dibLast, glyph);
    if (tally) tally->memory += int32_t(GlyphDibBytes(glyph));
    return 1;
}

int GlyphDeviceMake(Glyph* glyph, ResourceCost* tally)
{
    if (glyph->device != nullptr) return 1;
    GlyphCache* cache = glyph->cache;
    GlyphSurface* surface = cache->surface;
    const SIZE size = GlyphDeviceSize(cache, glyph->cellWidth, glyph->cellHeight);
    if (size.cx <= 0 || size.cy <= 0) return 1;
    if (surface == nullptr || surface->draw == nullptr || size.cx > surface->width || size.cy > surface->height)
        return 0;
    if (!GlyphDibMake(glyph, tally)) return 0;
    const uint32_t stride = RowBytes(size.cx);
    const uint32_t surfaceStride = RowBytes(surface->width);
    auto* device = static_cast<uint8_t*>(RenderAlloc(8 + size_t(stride) * size_t(size.cy)));
    if (device == nullptr) return 0;
    auto* bits = static_cast<uint8_t*>(surface->bits);
    std::memset(bits, 0, size_t(surfaceStride) * size_t(size.cy));
    SetWindowExtEx(surface->draw, cache->windowExtent.cx, cache->windowExtent.cy, nullptr);
    SetViewportExtEx(surface->draw, cache->viewportExtent.cx, cache->viewportExtent.cy, nullptr);
    GlyphDraw(glyph, surface->draw, POINT{0, 0}, 0);
    GdiFlush();
    StoreLE32(device, uint32_t(size.cx));
    StoreLE32(device + 4, uint32_t(size.cy));
    for (LONG y = 0; y < size.cy; ++y)
        std::memcpy(device + 8 + size_t(stride) * y, bits + size_t(surfaceStride) * y, stride);
    // A glyph with a DIB leaves the DIB list: it is in exactly one list, the device list now.
    if (glyph->dib != nullptr && Listed(cache->dibFirst, glyph)) ListUnlink(cache->dibFirst, cache->dibLast, glyph);
    glyph->device = device;
    glyph->flags |= GLYPH_DEVICE;
    ListAppend(cache->deviceFirst, cache->deviceLast, glyph);
    if (tally) tally->memory += int32_t(GlyphDeviceBytes(glyph));
    return 1;
}

int GlyphEstimate(const Glyph* glyph, ResourceCost* cost)
{
    const GlyphCache* cache = glyph->cache;
    const bool dib = (glyph->flags & GLYPH_BITMAP) != 0 && glyph->dib == nullptr;
    const bool device = GlyphCacheUsesDevice(cache) && glyph->device == nullptr;
    if (!dib && !device) return 1;
    if (dib) cost->memory += int32_t(sizeof(MonoInfo) + RowBytes(glyph->cellWidth) * uint32_t(glyph->cellHeight));
    if (device) {
        const SIZE size = GlyphDeviceSize(cache, glyph->cellWidth, glyph->cellHeight);
        cost->memory += int32_t(8 + RowBytes(size.cx) * uint32_t(size.cy));
    }
    return 0;
}

int GlyphRealise(Glyph* glyph, ResourceCost* tally)
{
    if (!GlyphDibMake(glyph, tally)) return 0;
    return GlyphCacheUsesDevice(glyph->cache) ? GlyphDeviceMake(glyph, tally) : 1;
}

int GlyphCachePrepare(GlyphCache* cache, HDC dc, ResourceCost* tally)
{
    SIZE window{}, viewport{};
    if (!DcExtents(dc, &window, &viewport)) return 0;
    if (window.cx != cache->windowExtent.cx || window.cy != cache->windowExtent.cy ||
        viewport.cx != cache->viewportExtent.cx || viewport.cy != cache->viewportExtent.cy) {
        // Device bitmaps hold one scale: a new one drops them all.
        uint32_t freed = 0;
        while (cache->deviceFirst != nullptr) freed += DeviceDrop(cache, cache->deviceFirst);
        if (tally) tally->memory -= int32_t(freed);
        cache->windowExtent = window;
        cache->viewportExtent = viewport;
    }
    const bool scaled = window.cx != viewport.cx || window.cy != viewport.cy;
    // Bitmap glyphs enlarged in both axes stretch well enough straight from their DIBs.
    const bool enlarging =
        std::llabs(window.cx) < std::llabs(viewport.cx) && std::llabs(window.cy) < std::llabs(viewport.cy);
    if (scaled && !(enlarging && (cache->flags & GLYPH_CACHE_OUTLINES) == 0)) cache->flags |= GLYPH_CACHE_SCALED;
    else cache->flags &= ~GLYPH_CACHE_SCALED;
    if (!GlyphCacheUsesDevice(cache)) return 1;
    return cache->surface != nullptr ? GlyphSurfaceEnsure(cache->surface, cache, dc, tally) : 0;
}

void GlyphCacheTrim(GlyphCache* cache, uint32_t mode, ResourceCost* request)
{
    if (mode == 0) {
        while (cache->dibFirst != nullptr && request->memory > 0)
            request->memory -= int32_t(DibDrop(cache, cache->dibFirst));
        for (Glyph* glyph = cache->deviceFirst; glyph != nullptr && request->memory > 0; glyph = glyph->listNext)
            if (glyph->dib != nullptr) request->memory -= int32_t(DibDrop(cache, glyph));
        return;
    }
    while (cache->deviceFirst != nullptr && request->memory > 0)
        request->memory -= int32_t(DeviceDrop(cache, cache->deviceFirst));
}

void GlyphSurfaceEstimate(const GlyphSurface* surface, const GlyphCache* cache, HDC dc, ResourceCost* cost)
{
    GlyphCache probe = *cache;
    DcExtents(dc, &probe.windowExtent, &probe.viewportExtent);
    const SIZE need = SurfaceNeed(&probe);
    if (surface->draw == nullptr) cost->objects += 3;
    if (need.cx > surface->width || need.cy > surface->height) {
        const int64_t w = std::max<int64_t>(need.cx, surface->width), h = std::max<int64_t>(need.cy, surface->height);
        cost->deviceMemory += int32_t(std::min<int64_t>(RowBytes(w) * h, INT32_MAX));
    }
}

int GlyphSurfaceEnsure(GlyphSurface* surface, const GlyphCache* cache, HDC dc, ResourceCost* tally)
{
    if (surface->draw == nullptr) {
        surface->draw = CreateCompatibleDC(nullptr);
        surface->iso = CreateCompatibleDC(nullptr);
        if (surface->draw == nullptr || surface->iso == nullptr) {
            if (surface->draw) DeleteDC(surface->draw);
            if (surface->iso) DeleteDC(surface->iso);
            surface->draw = surface->iso = nullptr;
            return 0;
        }
        if (tally) tally->objects += 2;
        SetMapMode(surface->draw, MM_ANISOTROPIC);
        SelectObject(surface->draw, GetStockObject(WHITE_BRUSH));
        SetStretchBltMode(surface->draw, COLORONCOLOR);
        SetMapMode(surface->iso, MM_ISOTROPIC);
        SetWindowExtEx(surface->iso, 1, 1, nullptr);
        SetViewportExtEx(surface->iso, 1, 1, nullptr);
    }
    SIZE window{}, viewport{};
    DcExtents(dc, &window, &viewport);
    SetWindowExtEx(surface->draw, window.cx, window.cy, nullptr);
    SetViewportExtEx(surface->draw, viewport.cx, viewport.cy, nullptr);
    const SIZE need = SurfaceNeed(cache);
    if (need.cx <= surface->width && need.cy <= surface->height) return 1;
    const int32_t width = std::max<int32_t>(need.cx, surface->width),
                  height = std::max<int32_t>(need.cy, surface->height);
    const MonoInfo info = MonoInfoOf(width, height);
    void* bits = nullptr;
    HBITMAP dib =
        CreateDIBSection(surface->draw, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    if (dib == nullptr) return 0;
    HGDIOBJ previous = SelectObject(surface->draw, dib);
    if (surface->dib != nullptr) {
        DeleteObject(surface->dib);
        if (tally) {
            tally->objects -= 1;
            tally->deviceMemory -= int32_t(RowBytes(surface->width) * uint32_t(surface->height));
        }
    } else {
        surface->replaced = previous;
    }
    surface->dib = dib;
    surface->bits = bits;
    surface->width = width;
    surface->height = height;
    if (tally) {
        tally->objects += 1;
        tally->deviceMemory += int32_t(RowBytes(width) * uint32_t(height));
    }
    return 1;
}

void GlyphSurfaceRelease(GlyphSurface* surface, ResourceCost* tally)
{
    if ((surface->flags & GLYPH_SURFACE_LOCKED) != 0 || surface->draw == nullptr) return;
    if (surface->dib != nullptr) {
        SelectObject(surface->draw, surface->replaced);
        DeleteObject(surface->dib);
        if (tally) {
            tally->objects -= 1;
            tally->deviceMemory -= int32_t(RowBytes(surface->width) * uint32_t(surface->height));
        }
    }
    DeleteDC(surface->draw);
    DeleteDC(surface->iso);
    if (tally) tally->objects -= 2;
    *surface = GlyphSurface{};
}
