// CreateDIBitmap and StretchDIBits with run-length encoded input. Layout of an input: byte 0 picks
// RLE8 (even) or RLE4 (odd), bytes 1-2 the width (little-endian, 1..1024), byte 3 the height
// (1..256); the rest is the run-length data, given with its exact size so that any read past it
// is caught.
#include <cstdint>
#include <cstring>
#include <vector>

#include "platform/gdi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    const bool four = data[0] & 1;
    const int width = 1 + ((data[1] | data[2] << 8) % 1024);
    const int height = 1 + data[3];
    std::vector<uint8_t> rle(data + 4, data + size);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[256];
    } info{};
    info.header = {40, width, height, 1, WORD(four ? 4 : 8), four ? BI_RLE4 : BI_RLE8, DWORD(rle.size()), 0, 0, 0, 0};
    for (int i = 0; i < 256; ++i) info.colors[i] = {BYTE(i), BYTE(255 - i), BYTE(i * 7), 0};
    const BITMAPINFO* bi = reinterpret_cast<const BITMAPINFO*>(&info);
    const uint8_t* bits = rle.empty() ? data : rle.data();

    static HDC dc = [] {
        BITMAPINFO target{};
        target.bmiHeader = {40, 64, -32, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        void* pixels;
        HDC made = CreateCompatibleDC(nullptr);
        SelectObject(made, CreateDIBSection(nullptr, &target, DIB_RGB_COLORS, &pixels, nullptr, 0));
        return made;
    }();
    HBITMAP bitmap = CreateDIBitmap(dc, &info.header, CBM_INIT, bits, bi, DIB_RGB_COLORS);
    if (bitmap) DeleteObject(bitmap);
    StretchDIBits(dc, -3, 2, 70, 20, 1, 0, width, height, bits, bi, DIB_RGB_COLORS, SRCCOPY);
    return 0;
}
