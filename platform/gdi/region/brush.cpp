// Solid and DIB pattern brushes.
#include <cstring>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

using namespace gdi;

HBRUSH CreateSolidBrush(COLORREF color)
{
    Brush* brush = NewObject<Brush>();
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    brush->style = BS_SOLID;
    brush->color = color & 0xFFFFFF;
    return static_cast<HBRUSH>(brush->handle);
}

HBRUSH CreateDIBPatternBrushPt(const void* packedDib, UINT usage)
{
    if (!packedDib || usage != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const BITMAPINFO* info = static_cast<const BITMAPINFO*>(packedDib);
    Dib view;
    if (!DibFromPacked(info, static_cast<const uint8_t*>(packedDib) + DibPackedHeaderBytes(info), view)) return nullptr;
    Brush* brush = NewObject<Brush>();
    if (!brush) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    brush->style = BS_DIBPATTERNPT;
    Dib& pattern = brush->pattern;
    if (view.owned) {
        pattern = std::move(view);
    } else {
        pattern.width = view.width;
        pattern.height = view.height;
        pattern.bpp = view.bpp;
        pattern.stride = view.stride;
        pattern.topDown = true;
        std::memcpy(pattern.masks, view.masks, sizeof pattern.masks);
        bool copied = true;
        try {
            pattern.colors = view.colors;
        } catch (const std::bad_alloc&) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            copied = false;
        }
        if (!copied || !DibAllocate(pattern)) {
            DestroyObject(brush);
            return nullptr;
        }
        for (int32_t y = 0; y < view.height; ++y) std::memcpy(pattern.Row(y), view.Row(y), view.stride);
    }
    return static_cast<HBRUSH>(brush->handle);
}
