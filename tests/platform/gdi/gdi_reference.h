// A plain per-pixel model of DIB pixels, colours and raster operations, written apart from the
// GDI code so that the tests compare two independent computations.
#pragma once

#include <cstdint>
#include <random>
#include <vector>

#include "platform/gdi.h"
#include "tests/support/rop3_model.h"

namespace ref {

// A bitmap's bytes with the format needed to read them; rows addressed top-down.
struct Image {
    int width = 0, height = 0, bpp = 0;
    bool topDown = true;
    size_t stride = 0;
    std::vector<uint8_t> bytes;
    std::vector<COLORREF> palette;  // indexed formats
    uint32_t masks[3] = {0, 0, 0};  // 16 and 32 bits

    size_t RowOffset(int y) const { return (topDown ? size_t(y) : size_t(height - 1 - y)) * stride; }
    uint32_t Get(int x, int y) const;
    void Set(int x, int y, uint32_t v);
    COLORREF Color(uint32_t v) const;  // pixel value to colour
    uint32_t Nearest(COLORREF c) const;  // colour to pixel value (nearest palette entry)
};

// A DIB section selected into a fresh memory DC, filled with random bytes (padding included).
struct Surface {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previous = nullptr;
    uint8_t* bits = nullptr;
    Image image;  // format of the section; bytes filled by Snapshot()

    Surface(int width, int height, int bpp, bool topDown, std::mt19937& rng, const std::vector<COLORREF>& palette = {},
            const uint32_t* bitfields = nullptr);
    ~Surface();
    Image Snapshot() const;
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;
};

// A packed DIB (header, masks or table, rows) with random pixels.
std::vector<uint8_t> PackedDib(int width, int height, int bpp, bool topDown, std::mt19937& rng,
                               const std::vector<COLORREF>& palette, const uint32_t* bitfields = nullptr);
Image ImageOfPacked(const std::vector<uint8_t>& packed);

std::vector<COLORREF> RandomPalette(int entries, std::mt19937& rng);
std::vector<COLORREF> MonoPalette();

// Logical to device as documented: round((l - wo) * ve / we) + vo, halves away from zero.
int64_t MapAxis(int64_t l, int64_t wo, int64_t we, int64_t vo, int64_t ve);

}  // namespace ref
