// The cover page's picture reader over arbitrary files: a damaged file gives no picture, a kept
// one holds its header, colour table and every row inside its block. The reader is compiled in
// here so that the target needs no window layer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <unistd.h>

#include "frontend/sheet/bmp_read.cpp"

namespace {

std::u16string WritePicture(const uint8_t* data, size_t size)
{
    static const std::string path = [] {
        std::string pattern = "/tmp/fuzz-picture-XXXXXX";
        if (!mkdtemp(pattern.data())) std::abort();
        return pattern + "/p.bmp";
    }();
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return std::u16string(path.begin(), path.end());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::u16string path = WritePicture(data, size);
    int32_t palette = -1;
    BYTE* block = BmpFileRead(path.c_str(), &palette);
    if (!block) {
        if (palette != 0) std::abort();
        return 0;
    }
    BITMAPINFOHEADER header;
    std::memcpy(&header, block, sizeof header);
    const uint64_t rows = static_cast<uint64_t>(header.biHeight < 0 ? -int64_t{header.biHeight} : header.biHeight);
    if (header.biSize != 40 || palette < 0 || header.biSizeImage != BmpRowBytes(header.biWidth, header.biBitCount) * rows ||
        HeapSize(GetProcessHeap(), 0, block) != 40 + static_cast<SIZE_T>(palette) + header.biSizeImage)
        std::abort();
    // Touch every byte the drawing will read.
    unsigned sum = 0;
    for (SIZE_T i = 0; i < HeapSize(GetProcessHeap(), 0, block); ++i) sum += block[i];
    HeapFree(GetProcessHeap(), 0, block);
    return static_cast<int>(sum & 0);
}
