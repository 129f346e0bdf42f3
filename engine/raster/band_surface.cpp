#include "engine/raster/band_surface.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "engine/common/render_heap.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"

namespace {

constexpr float kDefaultMiterLimit = 10.0f;

// A 32-bit word whose bytes, in memory order, hold the given bits most significant first.
uint32_t MemoryOrder(uint32_t bits)
{
    if constexpr (std::endian::native == std::endian::little) return __builtin_bswap32(bits);
    return bits;
}

struct DibInfo {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
};

HBITMAP BandSurfaceDibCreate(BandSurface* surface, HANDLE mapping, DWORD offset, uint32_t minimumBytes)
{
    if (surface->kind != BAND_SURFACE_COLOR && surface->kind != BAND_SURFACE_MASK) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const uint32_t bpp = surface->kind == BAND_SURFACE_COLOR ? 24 : 1;
    const uint64_t stride = (uint64_t{surface->width} * bpp + 31) / 32 * 4;
    if (stride == 0 || surface->height == 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    uint64_t rows = surface->height;
    if (stride * rows < minimumBytes) rows = (uint64_t{minimumBytes} + stride - 1) / stride;
    const uint64_t bytes = stride * rows;
    if (bytes > UINT32_MAX || rows > INT32_MAX || surface->width > INT32_MAX) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    DibInfo info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = static_cast<LONG>(surface->width);
    info.header.biHeight = -static_cast<LONG>(rows);  // top-down
    info.header.biPlanes = 1;
    info.header.biBitCount = static_cast<WORD>(bpp);
    info.header.biCompression = BI_RGB;
    if (bpp == 1) {
        info.header.biClrUsed = 2;
        info.colors[0] = RGBQUAD{0, 0, 0, 0};
        info.colors[1] = RGBQUAD{255, 255, 255, 0};
    }
    void* bits = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, mapping, offset);
    if (section == nullptr) return nullptr;
    surface->bitsPerPixel = bpp;
    surface->stride = static_cast<uint32_t>(stride);
    surface->bytes = static_cast<uint32_t>(bytes);
    surface->bits = static_cast<uint8_t*>(bits);
    return section;
}

// The GDI here cannot tell which object a DC holds; selecting a stand-in returns it, and it is
// put straight back.
HGDIOBJ CurrentObject(HDC dc, HGDIOBJ standIn)
{
    HGDIOBJ current = SelectObject(dc, standIn);
    if (current != nullptr && current != HGDI_ERROR) SelectObject(dc, current);
    return current == HGDI_ERROR ? nullptr : current;
}

bool DrawStateSet(BandSurface* surface)
{
    HDC dc = surface->drawDC;
    // The second DC's own bitmap is learnt by holding the section there for a moment.
    HGDIOBJ secondFirst = SelectObject(surface->secondDC, surface->section);
    if (secondFirst == nullptr) return false;
    SelectObject(surface->secondDC, secondFirst);
    surface->secondDCFirstBitmap = static_cast<HBITMAP>(secondFirst);
    HGDIOBJ previous = SelectObject(dc, surface->section);
    if (previous == nullptr) return false;
    surface->drawDCPreviousBitmap = static_cast<HBITMAP>(previous);
    SetTextAlign(dc, TA_BASELINE);
    SetStretchBltMode(dc, COLORONCOLOR);
    SetTextColor(dc, 0x000000);
    SetBkColor(dc, surface->kind == BAND_SURFACE_MASK ? 0x000000 : 0xFFFFFF);
    SetBkMode(dc, OPAQUE);
    if (SetMapMode(dc, MM_ANISOTROPIC) == 0) return false;
    surface->firstBrush = static_cast<HBRUSH>(CurrentObject(dc, GetStockObject(NULL_BRUSH)));
    surface->firstPen = static_cast<HPEN>(CurrentObject(dc, GetStockObject(NULL_PEN)));
    surface->firstFont = nullptr;
    float limit = kDefaultMiterLimit;
    if (!GetMiterLimit(dc, &limit)) limit = kDefaultMiterLimit;
    surface->miterLimit = limit;
    return true;
}

// Selects back what drawing replaced, in the order brushes, clips, fonts and pens depend on one
// another, and clears every mark.
void SelectionsRestore(BandSurface* surface)
{
    if (surface->selectedBitmap != nullptr) {
        if (surface->secondDCFirstBitmap != nullptr) SelectObject(surface->secondDC, surface->secondDCFirstBitmap);
        surface->selectedBitmap = nullptr;
    }
    if (surface->selectedBrush != nullptr) {
        if (surface->firstBrush != nullptr) SelectObject(surface->drawDC, surface->firstBrush);
        surface->selectedBrush = nullptr;
    }
    if (surface->selectedClip != nullptr) {
        SelectClipRgn(surface->drawDC, nullptr);
        surface->selectedClip = nullptr;
    }
    if (surface->selectedFont != nullptr) {
        if (surface->firstFont != nullptr) SelectObject(surface->drawDC, surface->firstFont);
        surface->selectedFont = nullptr;
    }
    if (surface->selectedPen != nullptr) {
        if (surface->firstPen != nullptr) SelectObject(surface->drawDC, surface->firstPen);
        surface->selectedPen = nullptr;
    }
    if (surface->miterLimitChanged) {
        SetMiterLimit(surface->drawDC, surface->miterLimit, nullptr);
        surface->miterLimitChanged = 0;
    }
    surface->selectedOther = nullptr;
}

enum class MaskOp { Xor, Or };

void MaskRectPaint(BandSurface* surface, const RECT* rect, MaskOp op)
{
    if (surface == nullptr || rect == nullptr || surface->bits == nullptr) return;
    const int64_t left = std::max<int64_t>(rect->left, 0);
    const int64_t top = std::max<int64_t>(rect->top, 0);
    const int64_t right = std::min<int64_t>(rect->right, surface->width);
    const int64_t bottom = std::min<int64_t>(rect->bottom, surface->height);
    if (left >= right || top >= bottom) return;
    const int64_t firstWord = left >> 5;
    const int64_t words = ((right + 31) >> 5) - firstWord;
    const uint32_t leftMask = MemoryOrder(0xFFFFFFFFu >> (left & 31));
    const uint32_t rightMask = MemoryOrder(0xFFFFFFFFu << ((-right) & 31));
    auto apply = [op](uint8_t* at, uint32_t mask) {
        uint32_t word;
        std::memcpy(&word, at, 4);
        word = op == MaskOp::Xor ? word ^ mask : word | mask;
        std::memcpy(at, &word, 4);
    };
    for (int64_t y = top; y < bottom; ++y) {
        uint8_t* row = surface->bits + y * surface->stride + firstWord * 4;
        if (words == 1) {
            apply(row, leftMask & rightMask);
            continue;
        }
        apply(row, leftMask);
        for (int64_t w = 1; w < words - 1; ++w) apply(row + w * 4, 0xFFFFFFFFu);
        apply(row + (words - 1) * 4, rightMask);
    }
}

void MappingApply(const DcMap& map, HDC dc)
{
    SetViewportExtEx(dc, map.viewportExtent.cx, map.viewportExtent.cy, nullptr);
    SetViewportOrgEx(dc, map.viewportOrigin.x, map.viewportOrigin.y, nullptr);
    SetWindowExtEx(dc, map.windowExtent.cx, map.windowExtent.cy, nullptr);
    SetWindowOrgEx(dc, map.windowOrigin.x, map.windowOrigin.y, nullptr);
}

}  // namespace

BandSurface* BandSurfaceCreate(uint32_t kind, SIZE size, HANDLE mapping, DWORD offset, uint32_t minimumBytes)
{
    auto* surface = static_cast<BandSurface*>(RenderAlloc(sizeof(BandSurface)));
    if (surface == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    surface->kind = kind;
    surface->width = size.cx < 0 ? 0 : static_cast<uint32_t>(size.cx);
    surface->height = size.cy < 0 ? 0 : static_cast<uint32_t>(size.cy);
    surface->drawDC = CreateCompatibleDC(nullptr);
    surface->secondDC = surface->drawDC != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    if (surface->secondDC != nullptr) surface->section = BandSurfaceDibCreate(surface, mapping, offset, minimumBytes);
    if (surface->section == nullptr || !DrawStateSet(surface)) {
        const DWORD error = GetLastError();
        if (surface->drawDCPreviousBitmap != nullptr) SelectObject(surface->drawDC, surface->drawDCPreviousBitmap);
        if (surface->section != nullptr) DeleteObject(surface->section);
        if (surface->secondDC != nullptr) DeleteDC(surface->secondDC);
        if (surface->drawDC != nullptr) DeleteDC(surface->drawDC);
        RenderFree(surface);
        SetLastError(error);
        return nullptr;
    }
    return surface;
}

void BandSurfaceDestroy(BandSurface* surface)
{
    if (surface == nullptr) return;
    SelectionsRestore(surface);
    DeleteDC(surface->secondDC);
    SelectObject(surface->drawDC, surface->drawDCPreviousBitmap);
    DeleteObject(surface->section);
    DeleteDC(surface->drawDC);
    RenderFree(surface->keepRows);
    RenderFree(surface);
}

void BandSurfaceClear(BandSurface* surface, SIZE size)
{
    if (surface == nullptr || surface->bits == nullptr || size.cx <= 0 || size.cy <= 0) return;
    const uint64_t width = std::min<uint64_t>(static_cast<uint64_t>(size.cx), surface->width);
    const uint64_t rowBytes =
        std::min<uint64_t>((surface->bitsPerPixel * width + 31) / 8 & ~uint64_t{3}, surface->stride);
    const uint64_t rows = std::min<uint64_t>(static_cast<uint64_t>(size.cy), surface->bytes / surface->stride);
    const int value = surface->kind == BAND_SURFACE_MASK ? 0x00 : 0xFF;
    for (uint64_t y = 0; y < rows; ++y) std::memset(surface->bits + y * surface->stride, value, rowBytes);
}

void BandMaskRectInvert(BandSurface* surface, const RECT* rect) { MaskRectPaint(surface, rect, MaskOp::Xor); }

void BandMaskRectsInvertEach(BandSurface* surface, uint32_t count, const RECT* rects)
{
    if (rects == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) BandMaskRectInvert(surface, &rects[i]);
}

void BandMaskRectsInvert(BandSurface* surface, uint32_t count, const RECT* rects)
{
    if (rects == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) MaskRectPaint(surface, &rects[i], MaskOp::Xor);
}

void BandMaskRectsSet(BandSurface* surface, uint32_t count, const RECT* rects)
{
    if (rects == nullptr) return;
    for (uint32_t i = 0; i < count; ++i) MaskRectPaint(surface, &rects[i], MaskOp::Or);
}

void BandSurfaceBlend(BandSurface* destination, const BandSurface* mask, const BandSurface* source, SIZE size,
                      uint8_t alpha)
{
    if (size.cx <= 0 || size.cy <= 0) return;
    BandSurfaceBlendMasked(destination, mask, source, static_cast<uint32_t>(size.cx), static_cast<uint32_t>(size.cy),
                           alpha);
}

void BandSurfaceBlendMasked(BandSurface* destination, const BandSurface* mask, const BandSurface* source,
                            uint32_t width, uint32_t height, uint8_t alpha)
{
    if (destination == nullptr || mask == nullptr || source == nullptr) return;
    if (destination->bitsPerPixel != 24 || source->bitsPerPixel != 24 || mask->bitsPerPixel != 1) return;
    width = std::min({width, destination->width, source->width, mask->width});
    height = std::min({height, destination->height, source->height, mask->height});
    const uint32_t a = alpha;
    for (uint32_t r = 0; r < height; ++r) {
        const uint8_t* maskRow = mask->bits + uint64_t{r} * mask->stride;
        const uint8_t* from = source->bits + uint64_t{r} * source->stride;
        uint8_t* to = destination->bits + uint64_t{r} * destination->stride;
        for (uint32_t x = 0; x < width;) {
            const uint8_t maskByte = maskRow[x >> 3];
            if (maskByte == 0 && (x & 7) == 0) {
                x += 8;
                continue;
            }
            if (maskByte & (0x80u >> (x & 7))) {
                for (uint32_t c = 0; c < 3; ++c) {
                    const uint32_t s = from[x * 3 + c], d = to[x * 3 + c];
                    to[x * 3 + c] = static_cast<uint8_t>((s * a + d * (255 - a) + 127) / 255);
                }
            }
            ++x;
        }
    }
}

void BandSurfaceResetDC(BandSurface* surface)
{
    if (surface != nullptr) SelectionsRestore(surface);
}

void BandSurfaceResetDCAfterClip(BandSurface* surface) { BandSurfaceResetDC(surface); }

void BandSurfaceResetDCBeforeClip(BandSurface* surface, const RECT* /*ignored*/) { BandSurfaceResetDC(surface); }

bool DcCreateMapped(DcMapping* record, bool createDC, const DcMap* map)
{
    if (record == nullptr) return false;
    if (createDC) {
        HDC dc = CreateCompatibleDC(nullptr);
        if (dc == nullptr) return false;
        SetMapMode(dc, MM_ANISOTROPIC);
        record->dc = dc;
    }
    record->map = map != nullptr ? *map : DcMap{};
    if (record->dc != nullptr) MappingApply(record->map, record->dc);
    return true;
}

void DcMappingSet(const DcMap* map, DcMapping* record)
{
    if (map == nullptr || record == nullptr) return;
    record->map = *map;
    if (record->dc != nullptr) MappingApply(record->map, record->dc);
}

void DcDelete(DcMapping* record)
{
    if (record == nullptr) return;
    if (record->dc != nullptr) DeleteDC(record->dc);
    record->dc = nullptr;
}
