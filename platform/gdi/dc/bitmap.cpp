// Bitmap objects: DIB sections (own memory or a file mapping) and bitmaps made from DIB data.
#include <algorithm>
#include <cstring>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {

Bitmap::~Bitmap()
{
    if (dib.mappedView) UnmapViewOfFile(dib.mappedView);
}

}  // namespace gdi

using namespace gdi;

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section, DWORD offset)
{
    if (bits) *bits = nullptr;
    if (usage != DIB_RGB_COLORS) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Dib format;
    DWORD compression;
    if (!DibFormatFromInfo(info, false, format, compression)) return nullptr;
    Bitmap* bitmap = NewObject<Bitmap>();
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->dib = std::move(format);
    Dib& dib = bitmap->dib;
    if (section) {
        if (offset % 4 != 0) {
            SetLastError(ERROR_INVALID_PARAMETER);
            DestroyObject(bitmap);
            return nullptr;
        }
        void* view = MapViewOfFile(section, FILE_MAP_ALL_ACCESS, 0, 0, SIZE_T(offset) + SIZE_T(dib.Bytes()));
        if (!view) {
            DestroyObject(bitmap);
            return nullptr;
        }
        dib.mappedView = view;
        dib.bits = static_cast<uint8_t*>(view) + offset;
        DibBindRows(dib);
    } else if (!DibAllocate(dib)) {
        DestroyObject(bitmap);
        return nullptr;
    }
    if (bits) *bits = dib.bits;
    return static_cast<HBITMAP>(bitmap->handle);
}

HBITMAP CreateDIBitmap(HDC dcHandle, const BITMAPINFOHEADER* header, DWORD init, const void* data,
                       const BITMAPINFO* info, UINT usage)
{
    if (!header || header->biWidth <= 0 || header->biHeight == 0 || header->biHeight == INT32_MIN) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    // The format of the bitmap in the DC, or 24 bits.
    Dib format;
    format.bpp = 24;
    if (dcHandle) {
        DcCall dc(dcHandle);
        if (!dc) return nullptr;
        if (dc->bitmap && dc->bitmap != dc->defaultBitmap) {
            const Dib& selected = dc->bitmap->dib;
            format.bpp = selected.bpp;
            try {
                format.colors = selected.colors;
            } catch (const std::bad_alloc&) {
                SetLastError(ERROR_NOT_ENOUGH_MEMORY);
                return nullptr;
            }
            std::copy(selected.masks, selected.masks + 3, format.masks);
        }
    }
    format.width = header->biWidth;
    format.height = header->biHeight < 0 ? -header->biHeight : header->biHeight;
    format.topDown = true;
    if (!DibSetStride(format)) return nullptr;
    Dib source;
    if (init & CBM_INIT) {
        if (!data || usage != DIB_RGB_COLORS) {
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
        }
        if (!DibFromPacked(info, data, source)) return nullptr;
    }
    Bitmap* bitmap = NewObject<Bitmap>();
    if (!bitmap) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    bitmap->dib = std::move(format);
    Dib& dib = bitmap->dib;
    if (!DibAllocate(dib)) {
        DestroyObject(bitmap);
        return nullptr;
    }
    if (init & CBM_INIT) {
        uint32_t lut[256];
        if (source.bpp <= 8)
            for (uint32_t i = 0; i < (1u << source.bpp); ++i) lut[i] = ColorToNative(dib, NativeToColor(source, i));
        int32_t w = std::min(dib.width, source.width), h = std::min(dib.height, source.height);
        for (int32_t y = 0; y < h; ++y) {
            const uint8_t* in = source.Row(y);
            uint8_t* out = dib.Row(y);
            for (int32_t x = 0; x < w; ++x) {
                uint32_t v = PixelRead(in, x, source.bpp);
                PixelPut(out, x, dib.bpp, source.bpp <= 8 ? lut[v] : ColorToNative(dib, NativeToColor(source, v)));
            }
        }
    }
    return static_cast<HBITMAP>(bitmap->handle);
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer)
{
    if (!HandleGetAny(object)) return 0;
    const Bitmap* bitmap = Get<Bitmap>(object);
    if (!bitmap || (buffer && size < static_cast<int>(sizeof(BITMAP)))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (buffer) {
        const Dib& dib = bitmap->dib;
        BITMAP answer{0, dib.width, dib.height, static_cast<LONG>(dib.stride), 1, dib.bpp, dib.bits};
        std::memcpy(buffer, &answer, sizeof answer);
    }
    return sizeof(BITMAP);
}
