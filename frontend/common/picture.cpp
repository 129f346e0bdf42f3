#include "frontend/common/picture.h"

#include <bit>
#include <cstring>

#include "platform/kernel.h"

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr int64_t kSideLimit = 32767;
constexpr LONGLONG kLargestFile = LONGLONG{256} << 20;

uint32_t U32(const BYTE* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t U16(const BYTE* p) { return uint16_t(p[0] | p[1] << 8); }

bool HeaderSizeKnown(uint32_t size) { return size == 40 || size == 52 || size == 56 || size == 108 || size == 124; }

// Three masks the drawing can take apart: each one run of ones, none overlapping, inside the depth.
bool MasksValid(const BYTE* at, int bits)
{
    uint32_t all = 0;
    for (int i = 0; i < 3; ++i) {
        const uint32_t mask = U32(at + 4 * i);
        if (mask == 0 || (all & mask) != 0) return false;
        const uint32_t run = mask >> std::countr_zero(mask);
        if ((run & (run + 1)) != 0) return false;
        all |= mask;
    }
    return bits == 32 || (all >> bits) == 0;
}

std::vector<BYTE> FileBytes(LPCWSTR path)
{
    std::vector<BYTE> bytes;
    HANDLE file =
        CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return bytes;
    LONGLONG size = 0;
    if (GetFileSizeEx(file, &size) && size > 0 && size <= kLargestFile) {
        bytes.resize(static_cast<size_t>(size));
        DWORD read = 0;
        if (!ReadFile(file, bytes.data(), static_cast<DWORD>(size), &read, nullptr) || read != size) bytes.clear();
    }
    CloseHandle(file);
    return bytes;
}

}  // namespace

uint64_t BmpRowBytes(int32_t width, int bits)
{
    return (static_cast<uint64_t>(bits) * static_cast<uint64_t>(width) + 31) / 32 * 4;
}

bool CoverPictureParse(std::span<const BYTE> file, CoverPicture* picture)
{
    *picture = CoverPicture{};
    if (file.size() < kFileHeader + kInfoHeader || file[0] != 'B' || file[1] != 'M') return false;
    const BYTE* info = file.data() + kFileHeader;
    const uint64_t pixelOffset = U32(file.data() + 10);
    const uint32_t headerSize = U32(info);
    const int64_t width = int32_t(U32(info + 4));
    const int64_t height = int32_t(U32(info + 8));
    const uint16_t planes = U16(info + 12);
    const uint16_t bits = U16(info + 14);
    const uint32_t compression = U32(info + 16);
    const uint32_t coloursUsed = U32(info + 32);
    if (!HeaderSizeKnown(headerSize) || kFileHeader + headerSize > pixelOffset || pixelOffset > file.size())
        return false;
    if (width < 1 || width > kSideLimit || height == 0 || height < -kSideLimit || height > kSideLimit || planes != 1)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return false;
    const bool fields = compression == BI_BITFIELDS;
    if (compression != BI_RGB && !(fields && (bits == 16 || bits == 32))) return false;

    const uint64_t rows = uint64_t(height < 0 ? -height : height);
    const uint64_t rowBytes = BmpRowBytes(int32_t(width), bits);
    if (rowBytes * rows > file.size() - pixelOffset) return false;

    // What lies between the header and the rows: the colour table, or the masks of a bit-field
    // bitmap whose header does not hold them itself (version 2 and later headers do).
    const uint64_t between = pixelOffset - kFileHeader - headerSize;
    const BYTE* table = info + headerSize;
    uint64_t tableBytes = 0;
    uint32_t colours = 0;
    if (bits <= 8) {
        const uint32_t full = 1u << bits;
        colours = coloursUsed ? coloursUsed : full;
        if (colours > full || between < uint64_t{4} * colours) return false;
        tableBytes = uint64_t{4} * colours;
    } else if (fields) {
        if (headerSize >= 52) table = info + kInfoHeader;
        else if (between < 12) return false;
        if (!MasksValid(table, bits)) return false;
        tableBytes = 12;
    }

    picture->paletteBytes = static_cast<DWORD>(tableBytes);
    picture->width = static_cast<LONG>(width);
    picture->height = static_cast<LONG>(rows);
    picture->packed.resize(size_t(kInfoHeader + tableBytes + rowBytes * rows));
    BITMAPINFOHEADER header{};
    header.biSize = kInfoHeader;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = compression;
    header.biSizeImage = static_cast<DWORD>(rowBytes * rows);
    header.biClrUsed = bits <= 8 && colours < (1u << bits) ? colours : 0;
    std::memcpy(picture->packed.data(), &header, kInfoHeader);
    std::memcpy(picture->packed.data() + kInfoHeader, table, size_t(tableBytes));
    std::memcpy(picture->packed.data() + kInfoHeader + tableBytes, file.data() + pixelOffset, size_t(rowBytes * rows));
    return true;
}

bool CoverPictureRead(LPCWSTR path, CoverPicture* picture) { return CoverPictureParse(FileBytes(path), picture); }

BYTE* BmpFileRead(LPCWSTR path, int32_t* paletteBytes)
{
    *paletteBytes = 0;
    CoverPicture picture;
    if (!CoverPictureRead(path, &picture)) return nullptr;
    auto* block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, picture.packed.size()));
    if (!block) return nullptr;
    std::memcpy(block, picture.packed.data(), picture.packed.size());
    *paletteBytes = static_cast<int32_t>(picture.paletteBytes);
    return block;
}
