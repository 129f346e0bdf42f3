// The white mask of a bitmap whose rows only GDI reads (RLE4, RLE8 and bit-field pixels): GDI
// draws the whole bitmap into a picture, once, and the mask is 1 where that picture is white.
// Run-length rows are drawn into a picture of their own depth and palette, which GDI fills with
// the indices as they are, and a pixel is white where its palette entry is; bit-field pixels are
// drawn into a 24-bit picture. Pixels a run-length bitmap skips come out as GDI draws them for the
// picture, so the mask and the picture the command paints through it agree.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "platform/gdi.h"
#include "platform/kernel.h"

namespace {

// The record as GDI reads it: its own header (its depth, compression and palette or masks) and its
// data as stored.
struct PackedRecord {
    std::vector<uint8_t> info;  // BITMAPINFOHEADER, then the palette or the three masks
    std::vector<uint8_t> data;
};

bool PackedRead(const BitmapEntry* entry, StreamSpill* spill, PackedRecord* out)
{
    static constexpr DWORD kCompression[] = {BI_RGB,       BI_RLE4,    BI_RLE8, BI_RGB,
                                             BI_BITFIELDS, 0xFFFFFFFF, BI_RGB,  BI_RGB};
    const uint32_t depth = entry->depth;
    // A palette has room for every index; the entries the record does not give are black.
    const uint32_t given = entry->paletteCount;
    // Bit fields take three masks behind the header; masks the record leaves out are 0, which GDI
    // refuses, rather than read past the table.
    const uint32_t least = depth <= 8 ? 1u << depth : entry->compression == BitmapCompressionBitFields ? 3u : 0u;
    const uint32_t entries = std::max(given, least);
    BITMAPINFOHEADER h{};
    h.biSize = sizeof h;
    h.biWidth = entry->header.biWidth;
    h.biHeight = entry->header.biHeight;
    h.biPlanes = 1;
    h.biBitCount = static_cast<WORD>(depth);
    h.biCompression = kCompression[entry->compression & 7];
    h.biClrUsed = depth <= 8 ? entries : 0;
    h.biSizeImage = entry->pixelLength;
    out->info.assign(sizeof h + 4 * size_t{entries}, 0);
    std::memcpy(out->info.data(), &h, sizeof h);
    uint32_t got = 0;
    if (given > 0 &&
        (!BitmapDataRead(spill, entry, 0, out->info.data() + sizeof h, 4 * given, &got) || got != 4 * given))
        return false;
    out->data.resize(entry->pixelLength);
    got = 0;
    if (entry->pixelLength == 0 ||
        !BitmapDataRead(spill, entry, 4 * given, out->data.data(), entry->pixelLength, &got) ||
        got != entry->pixelLength)
        return false;
    // GDI reads plain rows (bit fields) by the header's size alone: rows the record leaves out are
    // given as 0, as the decoder gives them, instead of being read past the data.
    if (h.biCompression == BI_BITFIELDS) {
        const uint64_t whole =
            uint64_t{BitmapRowBytes(depth, h.biWidth)} * static_cast<uint64_t>(std::llabs(h.biHeight));
        if (whole > out->data.size()) out->data.resize(whole, 0);
    }
    return true;
}

}  // namespace

bool BitmapMaskThroughGdi(const BitmapEntry* entry)
{
    const uint8_t c = entry->compression;
    return c == BitmapCompressionRle4 || c == BitmapCompressionRle8 || c == BitmapCompressionBitFields;
}

int BitmapGdiRowsReadable(const BitmapEntry* entry, StreamSpill* spill)
{
    PackedRecord record;
    if (!PackedRead(entry, spill, &record)) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    // GDI reads the whole source whatever the destination: a DC's default 1 x 1 bitmap takes it.
    HDC dc = CreateCompatibleDC(nullptr);
    if (dc == nullptr) return 0;
    // The one pixel is picked, not made of every source pixel: only the decode is wanted.
    SetStretchBltMode(dc, COLORONCOLOR);
    const LONG width = std::abs(entry->header.biWidth), rows = std::abs(entry->header.biHeight);
    const int ok = StretchDIBits(dc, 0, 0, 1, 1, 0, 0, width, rows, record.data.data(),
                                 reinterpret_cast<const BITMAPINFO*>(record.info.data()), DIB_RGB_COLORS, SRCCOPY) != 0;
    const DWORD error = GetLastError();
    DeleteDC(dc);
    if (!ok) SetLastError(error != 0 ? error : ERROR_INVALID_DATA);
    return ok;
}

int BitmapRowsToWhiteMaskThroughGdi(const BitmapEntry* entry, StreamSpill* spill, uint8_t* rows)
{
    PackedRecord record;
    if (!PackedRead(entry, spill, &record)) return 0;
    const LONG width = std::abs(entry->header.biWidth);
    const LONG height = entry->header.biHeight;
    const LONG rowsCount = std::abs(height);
    // The picture keeps the record's row order, so that its rows and the mask's line up.
    const bool indexed = entry->depth <= 8;
    std::vector<uint8_t> info(sizeof(BITMAPINFOHEADER));
    if (indexed) {
        info = record.info;
        auto* h = reinterpret_cast<BITMAPINFOHEADER*>(info.data());
        h->biCompression = BI_RGB;
        h->biSizeImage = 0;
    } else {
        const BITMAPINFOHEADER picture{sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        std::memcpy(info.data(), &picture, sizeof picture);
    }
    const uint32_t bits = indexed ? entry->depth : 24u;
    void* pixels = nullptr;
    HBITMAP section =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(info.data()), DIB_RGB_COLORS, &pixels, nullptr, 0);
    HDC dc = section != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    int ok = 0;
    if (dc != nullptr && pixels != nullptr) {
        const HGDIOBJ old = SelectObject(dc, section);
        ok = StretchDIBits(dc, 0, 0, width, rowsCount, 0, 0, width, rowsCount, record.data.data(),
                           reinterpret_cast<const BITMAPINFO*>(record.info.data()), DIB_RGB_COLORS, SRCCOPY) != 0
                 ? 1
                 : 0;
        GdiFlush();
        SelectObject(dc, old);
    }
    if (ok) {
        // Which palette indices are white; the table has an entry for every index.
        bool whiteIndex[256] = {};
        if (indexed) {
            const uint8_t* quads = record.info.data() + sizeof(BITMAPINFOHEADER);
            for (uint32_t i = 0; i < (1u << bits); ++i)
                whiteIndex[i] = quads[4 * i] == 255 && quads[4 * i + 1] == 255 && quads[4 * i + 2] == 255;
        }
        const uint32_t from = BitmapRowBytes(bits, width), to = BitmapRowBytes(1, width);
        const auto* p = static_cast<const uint8_t*>(pixels);
        for (LONG y = 0; y < rowsCount; ++y) {
            uint8_t* out = rows + size_t(y) * to;
            std::memset(out, 0, to);
            const uint8_t* in = p + size_t(y) * from;
            for (LONG x = 0; x < width; ++x) {
                bool white;
                if (bits == 8) white = whiteIndex[in[x]];
                else if (bits == 4) white = whiteIndex[(in[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 15];
                else white = in[3 * x] == 255 && in[3 * x + 1] == 255 && in[3 * x + 2] == 255;
                if (white) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
    }
    if (dc != nullptr) DeleteDC(dc);
    if (section != nullptr) DeleteObject(section);
    return ok;
}
