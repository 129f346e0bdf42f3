// PNG output of printed pages through libpng.
#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <vector>

#include "platform/kernel.h"
#include "print_internal.h"

namespace platform {

bool PngWrite(const char* path, const BYTE* rows, LONG stride, LONG width, LONG height)
{
    FILE* file = std::fopen(path, "wb");
    if (!file) {
        SetLastErrorFromErrno();
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    std::vector<png_byte> line(size_t(width) * 3);
    bool ok = false;
    if (info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        png_set_compression_level(png, 3);
        png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (LONG y = 0; y < height; ++y) {
            const BYTE* row = rows + size_t(y) * size_t(stride);
            for (LONG x = 0; x < width; ++x) {  // the page is blue, green, red
                line[size_t(x) * 3] = row[x * 3 + 2];
                line[size_t(x) * 3 + 1] = row[x * 3 + 1];
                line[size_t(x) * 3 + 2] = row[x * 3];
            }
            png_write_row(png, line.data());
        }
        png_write_end(png, info);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    if (std::fclose(file) != 0) ok = false;
    if (!ok) {
        SetLastError(ERROR_WRITE_FAULT);
        std::remove(path);
    }
    return ok;
}

}  // namespace platform
