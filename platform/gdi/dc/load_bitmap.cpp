// Bitmap resources: a module's RT_BITMAP entries are packed DIBs, checked against the resource's
// size before any of their bytes are read as a header, colour table or rows.
#include <cstring>
#include <new>
#include <vector>

#include "../gdi_internal.h"
#include "platform/kernel.h"

using namespace gdi;

namespace {

HBITMAP Damaged()
{
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
}

}  // namespace

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name)
{
    if (!name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const HRSRC found = FindResourceW(instance, name, MAKEINTRESOURCEW(RT_BITMAP_ID));
    if (!found) return nullptr;
    const HGLOBAL loaded = LoadResource(instance, found);
    if (!loaded) return nullptr;
    const auto* bytes = static_cast<const uint8_t*>(LockResource(loaded));
    const size_t size = SizeofResource(instance, found);

    BITMAPINFOHEADER header;
    if (size < sizeof header) return Damaged();
    std::memcpy(&header, bytes, sizeof header);
    if (header.biSize < sizeof header || header.biSize > size) return Damaged();
    const size_t headerBytes = DibPackedHeaderBytes(reinterpret_cast<const BITMAPINFO*>(&header));
    if (headerBytes > size) return Damaged();
    // The header and colour table are read as records: copy them out of the resource's bytes,
    // which need not be aligned for them.
    std::vector<uint32_t> infoCopy;
    try {
        infoCopy.assign((headerBytes + sizeof(BITMAPINFO) + 3) / 4, 0);
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    std::memcpy(infoCopy.data(), bytes, headerBytes);
    const auto* info = reinterpret_cast<const BITMAPINFO*>(infoCopy.data());
    Dib format;
    DWORD compression = BI_RGB;
    if (!DibFormatFromInfo(info, true, format, compression)) return Damaged();
    const uint64_t rowBytes = size - headerBytes;
    const bool runLength = compression == BI_RLE4 || compression == BI_RLE8;
    if (runLength ? header.biSizeImage > rowBytes : format.Bytes() > rowBytes) return Damaged();
    const HBITMAP bitmap =
        CreateDIBitmap(nullptr, &info->bmiHeader, CBM_INIT, bytes + headerBytes, info, DIB_RGB_COLORS);
    if (!bitmap && GetLastError() != ERROR_NOT_ENOUGH_MEMORY) return Damaged();
    return bitmap;
}
