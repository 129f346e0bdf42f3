// The cover page's picture: a bitmap file read whole and checked before any field is used, kept
// as a packed device-independent bitmap (header, colour table or masks, pixel rows) ready for
// StretchDIBits.
#pragma once

#include <span>
#include <vector>

#include "platform/gdi.h"

struct CoverPicture {
    std::vector<BYTE> packed;  // BITMAPINFOHEADER (40 bytes), colour table or masks, rows
    DWORD paletteBytes = 0;    // bytes between the header and the rows
    LONG width = 0;
    LONG height = 0;           // always positive; the header keeps the file's row order

    const BITMAPINFO* Info() const { return reinterpret_cast<const BITMAPINFO*>(packed.data()); }
    const BYTE* Bits() const { return packed.data() + sizeof(BITMAPINFOHEADER) + paletteBytes; }
};

// A file of 1, 4, 8, 16, 24 or 32 bits, uncompressed (BI_RGB, or BI_BITFIELDS for 16 and 32),
// with its rows of (bits x width + 31) / 32 x 4 bytes wholly inside the file. The colour table is
// measured from the pixel offset, not taken from the colour count alone. False for anything else.
bool CoverPictureParse(std::span<const BYTE> file, CoverPicture* picture);
// Opens the file read-only and parses it.
bool CoverPictureRead(LPCWSTR path, CoverPicture* picture);
