#include <cstring>

#include "frontend/common/picture.h"
#include "platform/kernel.h"

namespace {

constexpr size_t kFileHeader = 14;
constexpr size_t kInfoHeader = 40;
constexpr int64_t kSideLimit = 32767;

uint32_t U32(const BYTE* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t U16(const BYTE* p) { return uint16_t(p[0] | p[1] << 8); }

}  // namespace

bool CoverPictureParse(std::span<const BYTE> file, CoverPicture* picture)
{
    *picture = CoverPicture{};
    if (file.size() < kFileHeader + kInfoHeader || file[0] != 'B' || file[1] != 'M')
        return false;
    const BYTE* info = file.data() + kFileHeader;
    const uint64_t pixelOffset = U32(file.data() + 10);
    const uint64_t headerSize = U32(info);
    const int64_t width = int32_t(U32(info + 4));
    const int64_t height = int32_t(U32(info + 8));
    const uint16_t planes = U16(info + 12);
    const uint16_t bits = U16(info + 14);
    const uint32_t compression = U32(info + 16);
    if (headerSize < kInfoHeader || kFileHeader + headerSize > pixelOffset || pixelOffset > file.size())
        return false;
    if (width < 1 || width > kSideLimit || height == 0 || height < -kSideLimit || height > kSideLimit || planes != 1)
        return false;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return false;
    const bool fields = compression == 3;  // BI_BITFIELDS
    if (compression != 0 && !(fields && (bits == 16 || bits == 32)))
        return false;

    const uint64_t rows = uint64_t(height < 0 ? -height : height);
    const uint64_t rowBytes = (uint64_t(bits) * uint64_t(width) + 31) / 32 * 4;
    if (rowBytes * rows > file.size() - pixelOffset)
        return false;

    // What lies between the header and the rows: the colour table, or the masks of a
    // bit-field bitmap whose header does not hold them itself.
    const uint64_t between = pixelOffset - kFileHeader - headerSize;
    std::vector<BYTE> table;
    if (bits <= 8) {
        const size_t entries = size_t{1} << bits;
        table.assign(entries * 4, 0);  // entries the file leaves out are black
        const uint64_t given = between / 4 < entries ? between / 4 : entries;
        std::memcpy(table.data(), info + headerSize, size_t(given) * 4);
    } else if (fields) {
        table.assign(12, 0);
        if (headerSize >= kInfoHeader + 12)
            std::memcpy(table.data(), info + kInfoHeader, 12);
        else if (between >= 12)
            std::memcpy(table.data(), info + headerSize, 12);
        else
            return false;
    }

    picture->paletteBytes = static_cast<DWORD>(table.size());
    picture->width = static_cast<LONG>(width);
    picture->height = static_cast<LONG>(rows);
    picture->packed.resize(kInfoHeader + table.size() + size_t(rowBytes * rows));
    BITMAPINFOHEADER header{};
    header.biSize = kInfoHeader;
    header.biWidth = static_cast<LONG>(width);
    header.biHeight = static_cast<LONG>(height);
    header.biPlanes = 1;
    header.biBitCount = bits;
    header.biCompression = compression;
    header.biSizeImage = static_cast<DWORD>(rowBytes * rows);
    std::memcpy(picture->packed.data(), &header, kInfoHeader);
    if (!table.empty())
        std::memcpy(picture->packed.data() + kInfoHeader, table.data(), table.size());
    std::memcpy(picture->packed.data() + kInfoHeader + table.size(), file.data() + pixelOffset, size_t(rowBytes * rows));
    return true;
}

bool CoverPictureRead(LPCWSTR path, CoverPicture* picture)
{
    *picture = CoverPicture{};
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    std::vector<BYTE> bytes;
    const DWORD size = GetFileSize(file, nullptr);
    bool ok = size != INVALID_FILE_SIZE && size <= (DWORD{1} << 30);
    if (ok) {
        bytes.resize(size);
        DWORD got = 0;
        ok = size == 0 || (ReadFile(file, bytes.data(), size, &got, nullptr) && got == size);
    }
    CloseHandle(file);
    return ok && CoverPictureParse(bytes, picture);
}
