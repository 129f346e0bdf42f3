// Run-length encoded DIB rows (BI_RLE8 and BI_RLE4) decoded into a bottom-up bitmap of indexes.
// Pixels that the data skips (deltas, early ends of lines and of the bitmap) keep index 0. Data
// that runs past a row, past the last row or past its own end before the end-of-bitmap escape is
// damaged and fails; nothing is written outside the bitmap.
#include "../gdi_internal.h"

namespace gdi {

bool RleDecode(const uint8_t* data, size_t size, Dib& dib, DWORD compression)
{
    const bool four = compression == BI_RLE4;
    const int64_t width = dib.width, height = dib.height;
    int64_t x = 0, y = 0;
    size_t pos = 0;
    auto put = [&](int64_t px, uint32_t value) {
        PixelPut(dib.bits + size_t(y) * dib.stride, int32_t(px), dib.bpp, value);
    };
    while (true) {
        if (pos + 2 > size) return y >= height && pos == size;  // the end escape may be left out after the last row
        uint8_t count = data[pos], value = data[pos + 1];
        pos += 2;
        if (count > 0) {
            if (y >= height || x + count > width) return false;
            for (int i = 0; i < count; ++i) put(x + i, four ? ((i & 1) ? value & 15 : value >> 4) : value);
            x += count;
            continue;
        }
        switch (value) {
            case 0:  // end of line
                x = 0;
                ++y;
                break;
            case 1:  // end of bitmap
                return true;
            case 2: {  // delta
                if (pos + 2 > size) return false;
                x += data[pos];
                y += data[pos + 1];
                pos += 2;
                if (x > width || y > height) return false;
                break;
            }
            default: {  // absolute run of `value` pixels, padded to a 16-bit boundary
                size_t bytes = four ? (size_t(value) + 1) / 2 : value;
                size_t padded = bytes + (bytes & 1);
                if (pos + padded > size || y >= height || x + value > width) return false;
                for (int i = 0; i < value; ++i) {
                    uint8_t b = data[pos + (four ? size_t(i) / 2 : size_t(i))];
                    put(x + i, four ? ((i & 1) ? b & 15 : b >> 4) : b);
                }
                x += value;
                pos += padded;
                break;
            }
        }
    }
}

}  // namespace gdi
