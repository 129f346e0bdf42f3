#include "frontend/sheet/bmp_read.h"

#include <cstring>
#include <vector>

#include "platform/kernel.h"

namespace {

constexpr LONGLONG kLargestFile = LONGLONG{256} << 20;
constexpr LONG kLargestSide = 32767;

uint32_t U32(const BYTE* p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }

std::vector<BYTE> FileBytes(LPCWSTR path)
{
    std::vector<BYTE> bytes;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    LONGLONG size = 0;
    if (GetFileSizeEx(file, &size) && size > 0 && size <= kLargestFile) {
        bytes.resize(static_cast<size_t>(size));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(size), &read, nullptr) || read != size)
            bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

}  // namespace

uint64_t BmpRowBytes(int32_t width, int bits)
{
    return (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
}

BYTE* BmpFileRead(LPCWSTR path, int32_t* paletteBytes)
{
    *paletteBytes = 0;
    const std::vector<BYTE> file = FileBytes(path);
    constexpr size_t fileHeader = 14;
    if (file.size() < fileHeader + sizeof(BITMAPINFOHEADER) || file[0] != 'B' || file[1] != 'M')
        return nullptr;
    const uint64_t pixelOffset = U32(&file[10]);
    BITMAPINFOHEADER header;
    std::memcpy(&header, &file[fileHeader], sizeof header);
    // The plain header and its two longer versions, whose extra fields are not used.
    if (header.biSize != 40 && header.biSize != 108 && header.biSize != 124)
        return nullptr;
    const int bits = header.biBitCount;
    const bool fields = header.biCompression == BI_BITFIELDS;
    if (header.biWidth < 1 || header.biWidth > kLargestSide || header.biHeight == 0 ||
        header.biHeight < -kLargestSide || header.biHeight > kLargestSide || header.biPlanes != 1 ||
        (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
        !(header.biCompression == BI_RGB || (fields && (bits == 16 || bits == 32))))
        return nullptr;
    const uint64_t headerEnd = fileHeader + header.biSize;
    if (pixelOffset < headerEnd || pixelOffset > file.size())
        return nullptr;
    // The colour table lies between the header and the pixels: what the table needs must be
    // there (the bit masks of a longer header are inside it).
    uint64_t table = pixelOffset - headerEnd;
    const uint64_t entries = bits <= 8 ? (header.biClrUsed ? header.biClrUsed : 1u << bits) : 0;
    if (bits <= 8 && (entries > (1u << bits) || table < 4 * entries))
        return nullptr;
    const bool masksInHeader = fields && header.biSize > 40;
    if (fields && !masksInHeader && table < 12)
        return nullptr;
    const uint64_t rows = static_cast<uint64_t>(header.biHeight < 0 ? -header.biHeight : header.biHeight);
    const uint64_t pixels = BmpRowBytes(header.biWidth, bits) * rows;
    if (pixels > file.size() - pixelOffset)
        return nullptr;

    // One block as the drawing takes it: a 40-byte header, the colour table, the pixels.
    const uint64_t kept = masksInHeader ? 12 : table;
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(40 + kept + pixels)));
    if (!block)
        return nullptr;
    header.biSize = 40;
    header.biSizeImage = static_cast<DWORD>(pixels);
    std::memcpy(block, &header, 40);
    if (masksInHeader)
        std::memcpy(block + 40, &file[fileHeader + 40], 12);
    else
        std::memcpy(block + 40, &file[headerEnd], static_cast<size_t>(table));
    std::memcpy(block + 40 + kept, &file[pixelOffset], static_cast<size_t>(pixels));
    *paletteBytes = static_cast<int32_t>(kept);
    return block;
}
