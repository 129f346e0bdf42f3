// What the bitmap store's and the bitmap decoders' tests share: a record palette from RGB values
// and an entry's pixel rows.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <vector>

#include "engine/display/stores/bitmap_decode.h"
#include "platform/gdi.h"
#include "tests/support/bitmap_test_support.h"

// A record palette (B, G, R, 0 an entry) from 0xBBGGRR values.
inline std::vector<uint8_t> Palette(std::initializer_list<uint32_t> rgb)
{
    std::vector<uint8_t> p;
    for (uint32_t c : rgb) {
        p.push_back(static_cast<uint8_t>(c));
        p.push_back(static_cast<uint8_t>(c >> 8));
        p.push_back(static_cast<uint8_t>(c >> 16));
        p.push_back(0);
    }
    return p;
}

// The entry's pixel rows as the store keeps them.
inline std::vector<uint8_t> Rows(const BitmapEntry* e)
{
    const uint8_t* rows = BitmapPixelRows(e);
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(e->pixels);
    return std::vector<uint8_t>(rows, rows + header->biSizeImage);
}
