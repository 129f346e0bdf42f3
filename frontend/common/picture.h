// The cover page's picture, read by the sheet's preview and by Coverprint alike: a bitmap file
// read whole and checked before any field is used, kept as a packed device-independent bitmap
// (40-byte header, colour table or masks, pixel rows) ready for StretchDIBits.
//
// What is accepted: a file starting with "BM"; an information header of 40, 52, 56, 108 or 124
// bytes; width 1..32767; height non-zero within +-32767; one plane; 1, 4, 8, 16, 24 or 32 bits;
// uncompressed, or bit fields at 16 and 32 bits with three valid masks (non-zero, one run of
// ones each, not overlapping, inside the depth); every row of (bits x width + 31) / 32 x 4 bytes
// inside the file from its pixel offset on. A palette bitmap's colour count is its "colours used"
// field, or 2^bits when that is 0; a count above 2^bits, or a table shorter than the count
// between the header and the pixel offset, is a damaged file and is refused, never padded.
#pragma once

#include <span>
#include <vector>

#include "platform/gdi.h"

struct CoverPicture {
    std::vector<BYTE> packed;  // BITMAPINFOHEADER (40 bytes), colour table or masks, rows
    DWORD paletteBytes = 0;  // bytes between the header and the rows
    LONG width = 0;
    LONG height = 0;  // always positive; the header keeps the file's row order

    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(packed.data()); }
    const BYTE* Bits() const { return packed.data() + sizeof(BITMAPINFOHEADER) + paletteBytes; }
};

// False for anything the rules above refuse. The packed header holds the picture's colour count
// (0 for a full table), its pixel bytes as the image size, and nothing else of the file's.
bool CoverPictureParse(std::span<const BYTE> file, CoverPicture* picture);
// Opens the file read-only (others may read it too) and parses it; files above 256 MB are refused.
bool CoverPictureRead(LPCWSTR path, CoverPicture* picture);

// The same picture as the sheet keeps it: one process-heap block holding the packed bitmap, or
// null for a missing, unreadable or refused file. paletteBytes receives the colour table's (or
// masks') size; 0 when there is no picture.
BYTE* BmpFileRead(LPCWSTR path, int32_t* paletteBytes);
// Bytes of one pixel row: (bits x width + 31) / 32 x 4.
uint64_t BmpRowBytes(int32_t width, int bits);
