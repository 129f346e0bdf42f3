#include "gdi_reference.h"

#include <cstring>

namespace ref {

uint32_t Image::Get(int x, int y) const
{
    const uint8_t* row = bytes.data() + RowOffset(y);
    switch (bpp) {
        case 1: return (row[x / 8] >> (7 - x % 8)) & 1;
        case 4: return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
        case 8: return row[x];
        case 16: return row[2 * x] + 256u * row[2 * x + 1];
        case 24: return row[3 * x] + 256u * row[3 * x + 1] + 65536u * row[3 * x + 2];
        default: return row[4 * x] + 256u * row[4 * x + 1] + 65536u * row[4 * x + 2] + 16777216u * row[4 * x + 3];
    }
}

void Image::Set(int x, int y, uint32_t v)
{
    uint8_t* row = bytes.data() + RowOffset(y);
    switch (bpp) {
        case 1:
            if (v & 1) row[x / 8] |= uint8_t(0x80 >> (x % 8));
            else row[x / 8] &= uint8_t(~(0x80 >> (x % 8)));
            break;
        case 4:
            if (x % 2) row[x / 2] = uint8_t((row[x / 2] & 0xF0) | (v & 15));
            else row[x / 2] = uint8_t((row[x / 2] & 0x0F) | (v & 15) << 4);
            break;
        default:
            for (int i = 0; i < bpp / 8; ++i) row[size_t(x) * (bpp / 8) + i] = uint8_t(v >> (8 * i));
    }
}

static uint32_t Field(uint32_t v, uint32_t mask)
{
    int shift = 0, width = 0;
    while (!((mask >> shift) & 1)) ++shift;
    while ((mask >> (shift + width)) & 1) ++width;
    uint32_t f = (v & mask) >> shift;
    if (width >= 8) return f >> (width - 8);
    // widen by repeating the bits
    uint32_t out = 0;
    int have = 0;
    while (have < 8) {
        out = (out << width) | f;
        have += width;
    }
    return out >> (have - 8);
}

COLORREF Image::Color(uint32_t v) const
{
    if (bpp <= 8) return palette[v];
    if (bpp == 24) return RGB((v >> 16) & 255, (v >> 8) & 255, v & 255);
    return RGB(Field(v, masks[0]), Field(v, masks[1]), Field(v, masks[2]));
}

uint32_t Image::Nearest(COLORREF c) const
{
    if (bpp <= 8) {
        uint32_t best = 0;
        long bestD = -1;
        for (size_t i = 0; i < palette.size(); ++i) {
            long dr = long(GetRValue(palette[i])) - GetRValue(c), dg = long(GetGValue(palette[i])) - GetGValue(c),
                 db = long(GetBValue(palette[i])) - GetBValue(c);
            long d = dr * dr + dg * dg + db * db;
            if (bestD < 0 || d < bestD) bestD = d, best = uint32_t(i);
        }
        return best;
    }
    if (bpp == 24) return GetBValue(c) | GetGValue(c) << 8 | uint32_t(GetRValue(c)) << 16;
    uint32_t out = 0;
    const uint32_t comp[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
    for (int i = 0; i < 3; ++i) {
        int shift = 0, width = 0;
        while (!((masks[i] >> shift) & 1)) ++shift;
        while ((masks[i] >> (shift + width)) & 1) ++width;
        uint64_t field = 0;
        if (width <= 8) field = comp[i] >> (8 - width);
        else
            for (int have = 0; have < width; have += 8) field = field << 8 | comp[i];
        if (width > 8) field >>= (8 - width % 8) % 8;
        out |= uint32_t(field) << shift;
    }
    return out;
}

std::vector<COLORREF> RandomPalette(int entries, std::mt19937& rng)
{
    std::vector<COLORREF> p(static_cast<size_t>(entries), 0);
    for (auto& c : p) c = rng() & 0xFFFFFF;
    return p;
}

std::vector<COLORREF> MonoPalette() { return {0x000000, 0xFFFFFF}; }

static std::vector<uint8_t> Header(int width, int height, int bpp, bool topDown, const std::vector<COLORREF>& palette,
                                   const uint32_t* bitfields)
{
    BITMAPINFOHEADER h{};
    h.biSize = 40;
    h.biWidth = width;
    h.biHeight = topDown ? -height : height;
    h.biPlanes = 1;
    h.biBitCount = WORD(bpp);
    h.biCompression = bitfields ? BI_BITFIELDS : BI_RGB;
    h.biClrUsed = DWORD(palette.size());
    std::vector<uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    if (bitfields) {
        out.resize(out.size() + 12);
        std::memcpy(out.data() + 40, bitfields, 12);
    }
    for (COLORREF c : palette) {
        RGBQUAD q{GetBValue(c), GetGValue(c), GetRValue(c), 0};
        out.insert(out.end(), reinterpret_cast<uint8_t*>(&q), reinterpret_cast<uint8_t*>(&q) + 4);
    }
    return out;
}

static void FormatOf(Image& img, int width, int height, int bpp, bool topDown, const std::vector<COLORREF>& palette,
                     const uint32_t* bitfields)
{
    img.width = width, img.height = height, img.bpp = bpp, img.topDown = topDown;
    img.stride = size_t((width * bpp + 31) / 32 * 4);
    img.palette = palette;
    if (bpp <= 8) img.palette.resize(size_t(1) << bpp, 0);
    if (bitfields) std::memcpy(img.masks, bitfields, 12);
    else if (bpp == 16) img.masks[0] = 0x7C00, img.masks[1] = 0x3E0, img.masks[2] = 0x1F;
    else img.masks[0] = 0xFF0000, img.masks[1] = 0xFF00, img.masks[2] = 0xFF;
}

Surface::Surface(int width, int height, int bpp, bool topDown, std::mt19937& rng, const std::vector<COLORREF>& palette,
                 const uint32_t* bitfields)
{
    std::vector<uint8_t> header = Header(width, height, bpp, topDown, palette, bitfields);
    void* p = nullptr;
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(header.data()), DIB_RGB_COLORS, &p, nullptr, 0);
    bits = static_cast<uint8_t*>(p);
    dc = CreateCompatibleDC(nullptr);
    previous = SelectObject(dc, bitmap);
    FormatOf(image, width, height, bpp, topDown, palette, bitfields);
    for (size_t i = 0; i < image.stride * size_t(height); ++i) bits[i] = uint8_t(rng());
}

Surface::~Surface()
{
    SelectObject(dc, previous);
    DeleteDC(dc);
    DeleteObject(bitmap);
}

Image Surface::Snapshot() const
{
    Image out = image;
    out.bytes.assign(bits, bits + image.stride * size_t(image.height));
    return out;
}

std::vector<uint8_t> PackedDib(int width, int height, int bpp, bool topDown, std::mt19937& rng,
                               const std::vector<COLORREF>& palette, const uint32_t* bitfields)
{
    std::vector<uint8_t> out = Header(width, height, bpp, topDown, palette, bitfields);
    size_t stride = size_t((width * bpp + 31) / 32 * 4);
    for (size_t i = 0; i < stride * size_t(height); ++i) out.push_back(uint8_t(rng()));
    return out;
}

Image ImageOfPacked(const std::vector<uint8_t>& packed)
{
    BITMAPINFOHEADER h;
    std::memcpy(&h, packed.data(), sizeof h);
    std::vector<COLORREF> palette;
    size_t offset = 40;
    uint32_t masks[3];
    bool bitfields = h.biCompression == BI_BITFIELDS;
    if (bitfields) {
        std::memcpy(masks, packed.data() + 40, 12);
        offset += 12;
    }
    for (DWORD i = 0; i < h.biClrUsed; ++i, offset += 4)
        palette.push_back(RGB(packed[offset + 2], packed[offset + 1], packed[offset]));
    Image img;
    int height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
    FormatOf(img, h.biWidth, height, h.biBitCount, h.biHeight < 0, palette, bitfields ? masks : nullptr);
    img.bytes.assign(packed.begin() + long(offset), packed.end());
    return img;
}

int64_t MapAxis(int64_t l, int64_t wo, int64_t we, int64_t vo, int64_t ve)
{
    long double exact = (long double)(l - wo) * ve / we;
    int64_t r = exact < 0 ? -int64_t(-exact + 0.5L) : int64_t(exact + 0.5L);
    return r + vo;
}

}  // namespace ref
