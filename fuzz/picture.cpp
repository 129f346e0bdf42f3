// The cover page's picture reader (the sheet's preview and Coverprint share it) over arbitrary
// files: a file it accepts is packed whole (header, table, rows of the stated size) and draws
// onto a page without reading past it; every picture it accepts is one the drawing takes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "frontend/common/picture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CoverPicture picture;
    if (!CoverPictureParse({data, size}, &picture)) return 0;
    const BITMAPINFOHEADER& header = picture.Info()->bmiHeader;
    const uint64_t rowBytes = BmpRowBytes(picture.width, header.biBitCount);
    const uint64_t colours = header.biClrUsed ? header.biClrUsed : uint64_t{1} << header.biBitCount;
    const uint64_t table = header.biBitCount <= 8 ? 4 * colours : header.biCompression == BI_BITFIELDS ? 12 : 0;
    if (picture.width < 1 || picture.height < 1 || header.biSize != 40 || picture.paletteBytes != table ||
        header.biSizeImage != rowBytes * uint64_t(picture.height) ||
        picture.packed.size() != 40 + picture.paletteBytes + rowBytes * uint64_t(picture.height))
        std::abort();

    static HDC dc = [] {
        HDC memory = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
        info.bmiHeader.biWidth = 48;
        info.bmiHeader.biHeight = -32;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        void* bits = nullptr;
        SelectObject(memory, CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        SetStretchBltMode(memory, COLORONCOLOR);
        return memory;
    }();
    // Whole picture into a small place and a corner of it at full size: every source row is read.
    if (StretchDIBits(dc, 0, 0, 48, 32, 0, 0, picture.width, picture.height, picture.Bits(), picture.Info(),
                      DIB_RGB_COLORS, SRCCOPY) == 0)
        std::abort();
    StretchDIBits(dc, 2, 3, 40, 20, 0, 0, picture.width < 40 ? picture.width : 40,
                  picture.height < 20 ? picture.height : 20, picture.Bits(), picture.Info(), DIB_RGB_COLORS, SRCCOPY);
    return 0;
}
