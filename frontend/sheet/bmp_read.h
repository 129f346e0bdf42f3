// The cover page's picture: a BMP file read whole into one block (information header, colour
// table, pixels), validated before anything trusts its numbers.
#pragma once

#include "platform/gdi.h"

// The picture in a process-heap block, or null for a missing, unreadable or damaged file:
// a header of at least 40 bytes, width 1..32767, height non-zero within +-32767, 1, 4, 8, 16, 24
// or 32 bits, uncompressed (or bit fields at 16 and 32 bits), the colour table and every pixel row
// inside the file. The file is opened for reading only. paletteBytes receives the colour table's
// size, measured from the pixel offset; the block's image size field holds the pixel bytes.
BYTE* BmpFileRead(LPCWSTR path, int32_t* paletteBytes);
// Bytes of one pixel row: (bits x width + 31) / 32 x 4.
uint64_t BmpRowBytes(int32_t width, int bits);
