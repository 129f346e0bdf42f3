// DIB headers, colour tables and bit fields, and the pixel storage of bitmaps.
#include <sys/mman.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "../gdi_internal.h"
#include "platform/kernel.h"

namespace gdi {
namespace {

// Largest pixel storage accepted for one bitmap: 256 MiB, above a 32-bit page of A3 at 400 dpi. A
// larger size comes from a damaged header, and a run-length bitmap declares its size in a few
// bytes, so a bitmap this large would be an allocation the data never backs.
constexpr uint64_t kMaxBitmapBytes = uint64_t(1) << 28;

bool MasksValid(const uint32_t masks[3], int bpp)
{
    uint32_t all = 0;
    for (int i = 0; i < 3; ++i) {
        uint32_t m = masks[i];
        if (m == 0) return false;
        uint32_t shifted = m >> std::countr_zero(m);
        if ((shifted & (shifted + 1)) != 0) return false;  // not one run of ones
        if (all & m) return false;
        all |= m;
    }
    return bpp == 32 || (all >> bpp) == 0;
}

bool Fail(DWORD error)
{
    SetLastError(error);
    return false;
}

}  // namespace

uint64_t DibStride(int64_t width, int bpp) { return uint64_t(((width * bpp + 31) / 32) * 4); }

bool DibSetStride(Dib& dib)
{
    uint64_t stride = DibStride(dib.width, dib.bpp);
    if (stride * uint64_t(dib.height) > kMaxBitmapBytes) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    dib.stride = uint32_t(stride);
    return true;
}

void DibBindRows(Dib& dib)
{
    if (dib.topDown) {
        dib.row0 = dib.bits;
        dib.rowStep = ptrdiff_t(dib.stride);
    } else {
        dib.row0 = dib.bits + ptrdiff_t(dib.stride) * (dib.height - 1);
        dib.rowStep = -ptrdiff_t(dib.stride);
    }
}

void DibOwnedBytes::operator()(uint8_t* p) const
{
    if (mapped != 0) munmap(p, mapped);
    else std::free(p);
}

bool DibAllocate(Dib& dib)
{
    constexpr uint64_t kMapFrom = uint64_t{1} << 20;
    const uint64_t bytes = dib.Bytes();
    dib.owned.reset();
    if (bytes >= kMapFrom) {
        void* p = mmap(nullptr, size_t(bytes), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p != MAP_FAILED) {
            dib.owned.get_deleter().mapped = size_t(bytes);
            dib.owned.reset(static_cast<uint8_t*>(p));
        }
    } else {
        dib.owned.get_deleter().mapped = 0;
        dib.owned.reset(static_cast<uint8_t*>(std::calloc(bytes ? size_t(bytes) : 1, 1)));
    }
    if (!dib.owned) return Fail(ERROR_NOT_ENOUGH_MEMORY);
    dib.bits = dib.owned.get();
    DibBindRows(dib);
    return true;
}

bool DibFormatFromInfo(const BITMAPINFO* info, bool allowRle, Dib& dib, DWORD& compression)
{
    if (!info) return Fail(ERROR_INVALID_PARAMETER);
    const BITMAPINFOHEADER& h = info->bmiHeader;
    if (h.biSize < sizeof(BITMAPINFOHEADER) || h.biWidth <= 0 || h.biHeight == 0 || h.biHeight == INT32_MIN ||
        h.biPlanes != 1)
        return Fail(ERROR_INVALID_PARAMETER);
    int bpp = h.biBitCount;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return Fail(ERROR_INVALID_PARAMETER);
    compression = h.biCompression;
    switch (compression) {
        case BI_RGB: break;
        case BI_RLE8:
        case BI_RLE4:
            // Run-length data is always stored bottom-up.
            if (!allowRle || h.biHeight < 0 || bpp != (compression == BI_RLE8 ? 8 : 4))
                return Fail(ERROR_INVALID_PARAMETER);
            break;
        case BI_BITFIELDS:
            if (bpp != 16 && bpp != 32) return Fail(ERROR_INVALID_PARAMETER);
            break;
        default: return Fail(ERROR_INVALID_PARAMETER);
    }
    dib.width = h.biWidth;
    dib.height = std::abs(h.biHeight);
    dib.bpp = uint16_t(bpp);
    dib.topDown = h.biHeight < 0;
    if (!DibSetStride(dib)) return false;
    const uint8_t* after = reinterpret_cast<const uint8_t*>(info) + h.biSize;
    dib.colors.clear();
    if (bpp <= 8) {
        uint32_t entries = 1u << bpp;
        uint32_t count = h.biClrUsed && h.biClrUsed < entries ? h.biClrUsed : entries;
        try {
            dib.colors.resize(entries, RGBQUAD{0, 0, 0, 0});  // indexes past a short table read black
        } catch (const std::bad_alloc&) {
            return Fail(ERROR_NOT_ENOUGH_MEMORY);
        }
        std::memcpy(dib.colors.data(), after, count * sizeof(RGBQUAD));
        for (RGBQUAD& c : dib.colors) c.rgbReserved = 0;
    } else if (compression == BI_BITFIELDS) {
        // Version 2 and later headers carry the masks themselves; a 40-byte header is followed by them.
        const uint8_t* source = h.biSize >= 52 ? reinterpret_cast<const uint8_t*>(info) + 40 : after;
        std::memcpy(dib.masks, source, sizeof dib.masks);
        if (!MasksValid(dib.masks, bpp)) return Fail(ERROR_INVALID_PARAMETER);
    } else if (bpp == 16) {
        dib.masks[0] = 0x7C00, dib.masks[1] = 0x03E0, dib.masks[2] = 0x001F;
    } else {
        dib.masks[0] = 0xFF0000, dib.masks[1] = 0x00FF00, dib.masks[2] = 0x0000FF;
    }
    return true;
}

size_t DibPackedHeaderBytes(const BITMAPINFO* info)
{
    const BITMAPINFOHEADER& h = info->bmiHeader;
    size_t bytes = h.biSize;
    if (h.biCompression == BI_BITFIELDS && h.biSize < 52) bytes += 12;
    if (h.biBitCount <= 8) {
        uint32_t entries = 1u << h.biBitCount;
        bytes += 4 * size_t(h.biClrUsed && h.biClrUsed < entries ? h.biClrUsed : entries);
    } else if (h.biClrUsed <= 256) {
        bytes += 4 * size_t(h.biClrUsed);
    }
    return bytes;
}

bool DibFromPacked(const BITMAPINFO* info, const void* bits, Dib& dib)
{
    DWORD compression;
    if (!DibFormatFromInfo(info, true, dib, compression)) return false;
    if (!bits) return Fail(ERROR_INVALID_PARAMETER);
    if (compression == BI_RLE4 || compression == BI_RLE8) {
        if (!DibAllocate(dib)) return false;
        if (!RleDecode(static_cast<const uint8_t*>(bits), info->bmiHeader.biSizeImage, dib, compression))
            return Fail(ERROR_INVALID_DATA);
        return true;
    }
    dib.bits = const_cast<uint8_t*>(static_cast<const uint8_t*>(bits));  // read only
    DibBindRows(dib);
    return true;
}

bool SameFormat(const Dib& a, const Dib& b)
{
    if (a.bpp != b.bpp) return false;
    if (a.bpp <= 8)
        return a.colors.size() == b.colors.size() &&
               std::memcmp(a.colors.data(), b.colors.data(), a.colors.size() * sizeof(RGBQUAD)) == 0;
    if (a.bpp == 24) return true;
    return std::memcmp(a.masks, b.masks, sizeof a.masks) == 0;
}

}  // namespace gdi
