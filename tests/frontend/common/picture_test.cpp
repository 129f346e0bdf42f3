// The picture reader that the sheet and Coverprint share: what it accepts and refuses, the row
// size, the colour table against the colour count, and the pixels as StretchDIBits draws them
// against a reference read of the file.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "frontend/common/picture.h"

namespace {

struct BmpShape {
    int32_t width = 4;
    int32_t height = 3;
    uint16_t bits = 24;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    uint16_t planes = 1;
    uint32_t tableBytes = 0;  // bytes between header and rows
    uint32_t coloursUsed = 0;
    bool overlappingMasks = false;
    int64_t rowSlack = 0;  // bytes added to (negative: taken from) the rows
    int64_t offsetShift = 0;  // added to the stated pixel offset
    bool magic = true;
};

// Row size computed another way than the reader's: whole bytes, then up to a multiple of four.
uint32_t RowBytes(uint16_t bits, int32_t width) { return ((uint32_t(bits) * uint32_t(width) + 7) / 8 + 3) & ~3u; }

std::vector<BYTE> Bmp(const BmpShape& s)
{
    const uint32_t rows = uint32_t(s.height < 0 ? -s.height : s.height);
    const int64_t data = int64_t(RowBytes(s.bits, s.width > 0 ? s.width : 1)) * rows + s.rowSlack;
    const uint32_t offset = 14 + s.headerSize + s.tableBytes;
    std::vector<BYTE> file(size_t(offset + (data > 0 ? data : 0)), 0);
    auto put = [&](size_t at, uint32_t v, int n) {
        for (int i = 0; i < n; ++i) file[at + size_t(i)] = BYTE(v >> (8 * i));
    };
    file[0] = s.magic ? 'B' : 'X';
    file[1] = 'M';
    put(2, uint32_t(file.size()), 4);
    put(10, uint32_t(int64_t(offset) + s.offsetShift), 4);
    put(14, s.headerSize, 4);
    put(18, uint32_t(s.width), 4);
    put(22, uint32_t(s.height), 4);
    put(26, s.planes, 2);
    put(28, s.bits, 2);
    put(30, s.compression, 4);
    put(46, s.coloursUsed, 4);
    for (size_t i = 14 + s.headerSize; i < file.size(); ++i) file[i] = BYTE(i * 37 + 11);
    // Masks in a version 2 or later header, else after a 40-byte one when there is room.
    const size_t masks = s.headerSize >= 52 ? 54 : s.tableBytes >= 12 ? 14 + s.headerSize : 0;
    if (s.compression == 3 && masks) {
        put(masks, s.bits == 16 ? 0xF800 : 0xFF0000, 4);
        put(masks + 4, s.bits == 16 ? 0x07E0 : 0x00FF00, 4);
        put(masks + 8, s.overlappingMasks ? 0x0FFF : s.bits == 16 ? 0x001F : 0x0000FF, 4);
    }
    return file;
}

TEST(CoverPicture, AcceptsOnlyWholeUncompressedBitmaps)
{
    struct Case {
        const char* what;
        BmpShape shape;
        bool accepted;
    };
    const Case cases[] = {
        {"24 bits", {}, true},
        {"1 bit, 33 wide", {.width = 33, .bits = 1, .tableBytes = 8}, true},
        {"4 bits top-down", {.height = -5, .bits = 4, .tableBytes = 64}, true},
        {"16-bit fields, masks overlapping",
         {.bits = 16, .compression = 3, .tableBytes = 12, .overlappingMasks = true},
         false},
        {"8 bits, 256 colours", {.bits = 8, .tableBytes = 1024}, true},
        {"8 bits, table cut short", {.bits = 8, .tableBytes = 1020}, false},
        {"8 bits, 2 colours used", {.bits = 8, .tableBytes = 8, .coloursUsed = 2}, true},
        {"8 bits, 3 colours used, 2 given", {.bits = 8, .tableBytes = 8, .coloursUsed = 3}, false},
        {"4 bits, 17 colours used", {.bits = 4, .tableBytes = 68, .coloursUsed = 17}, false},
        {"24 bits with a table beside", {.tableBytes = 16, .coloursUsed = 4}, true},
        {"V5 header, 8 bits", {.bits = 8, .headerSize = 124, .tableBytes = 1024}, true},
        {"64-byte header", {.headerSize = 64}, false},
        {"16-bit fields", {.bits = 16, .compression = 3, .tableBytes = 12}, true},
        {"32-bit fields in a V4 header", {.bits = 32, .compression = 3, .headerSize = 108}, true},
        {"32 bits", {.bits = 32}, true},
        {"rows one byte short", {.rowSlack = -1}, false},
        {"offset past the file", {.offsetShift = 1000}, false},
        {"offset inside the header", {.offsetShift = -20}, false},
        {"width 0", {.width = 0}, false},
        {"negative width", {.width = -4}, false},
        {"height 0", {.height = 0}, false},
        {"width past 32767", {.width = 40000, .bits = 1, .tableBytes = 8}, false},
        {"2 planes", {.planes = 2}, false},
        {"2 bits", {.bits = 2, .tableBytes = 16}, false},
        {"run-length 8", {.bits = 8, .compression = 1, .tableBytes = 1024}, false},
        {"fields on 24 bits", {.compression = 3, .tableBytes = 12}, false},
        {"fields without masks", {.bits = 16, .compression = 3}, false},
        {"core header", {.headerSize = 12}, false},
        {"no magic", {.magic = false}, false},
    };
    for (const Case& c : cases) {
        const std::vector<BYTE> file = Bmp(c.shape);
        CoverPicture picture;
        EXPECT_EQ(CoverPictureParse(file, &picture), c.accepted) << c.what;
        if (!c.accepted || !CoverPictureParse(file, &picture)) continue;
        const uint32_t rows = uint32_t(c.shape.height < 0 ? -c.shape.height : c.shape.height);
        const uint32_t rowBytes = RowBytes(c.shape.bits, c.shape.width);
        ASSERT_EQ(picture.packed.size(), 40 + picture.paletteBytes + size_t(rowBytes) * rows) << c.what;
        // The rows are the file's rows from its pixel offset on.
        const size_t offset = 14 + c.shape.headerSize + c.shape.tableBytes;
        EXPECT_EQ(std::memcmp(picture.Bits(), file.data() + offset, size_t(rowBytes) * rows), 0) << c.what;
    }
    for (size_t cut = 0; cut < 54; ++cut) {
        std::vector<BYTE> file = Bmp({});
        file.resize(cut);
        CoverPicture picture;
        EXPECT_FALSE(CoverPictureParse(file, &picture)) << cut;
    }
}

// A palette picture keeps exactly the colours its count names: the header carries the count, the
// table the file's entries, and pixels whose index lies past the count draw black. A table beside
// a direct-colour picture is not kept.
TEST(CoverPicture, KeepsTheColoursItsCountNames)
{
    struct Case {
        const char* what;
        BmpShape shape;
        DWORD paletteBytes;
        DWORD coloursUsed;
    };
    const Case cases[] = {
        {"2 of 256 colours used", {.width = 4, .height = 1, .bits = 8, .tableBytes = 8, .coloursUsed = 2}, 8, 2},
        {"a full table, more bytes before the rows", {.width = 4, .height = 1, .bits = 1, .tableBytes = 20}, 8, 0},
        {"all 16 colours named", {.width = 4, .height = 1, .bits = 4, .tableBytes = 64, .coloursUsed = 16}, 64, 0},
        {"24 bits with a table beside", {.width = 4, .height = 1, .tableBytes = 16, .coloursUsed = 4}, 0, 0},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> file = Bmp(c.shape);
        if (c.shape.bits == 8)
            for (size_t x = 0; x < 4; ++x) file[54 + c.shape.tableBytes + x] = BYTE(x);  // indexes 0 to 3
        CoverPicture picture;
        ASSERT_TRUE(CoverPictureParse(file, &picture)) << c.what;
        EXPECT_EQ(picture.paletteBytes, c.paletteBytes) << c.what;
        EXPECT_EQ(picture.Info()->bmiHeader.biClrUsed, c.coloursUsed) << c.what;
        EXPECT_EQ(std::memcmp(picture.packed.data() + 40, file.data() + 54, c.paletteBytes), 0) << c.what;
        if (c.shape.bits != 8) continue;
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 4, -1, 1, 32, 0, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP page = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, page);
        ASSERT_NE(StretchDIBits(dc, 0, 0, 4, 1, 0, 0, 4, 1, picture.Bits(), picture.Info(), DIB_RGB_COLORS, SRCCOPY),
                  0);
        for (uint32_t x = 0; x < 4; ++x) {
            const BYTE* entry = file.data() + 54 + 4 * x;
            const uint32_t expected = x < 2 ? uint32_t(entry[0] | entry[1] << 8 | entry[2] << 16) : 0;
            EXPECT_EQ(static_cast<const uint32_t*>(bits)[x] & 0xFFFFFF, expected) << c.what << " index " << x;
        }
        SelectObject(dc, old);
        DeleteObject(page);
        DeleteDC(dc);
    }
}

// Drawn 1:1, every pixel is the colour the file's own bits select, read here bit by bit.
TEST(CoverPicture, DrawsThePixelsOfTheFile)
{
    struct Case {
        int32_t width, height;
        uint16_t bits;
    };
    for (const Case c : {Case{13, 5, 1}, Case{7, -4, 4}, Case{6, 3, 8}, Case{5, -3, 24}, Case{3, 2, 32}}) {
        const uint32_t tableBytes = c.bits <= 8 ? (4u << c.bits) : 0;
        std::vector<BYTE> file = Bmp({.width = c.width, .height = c.height, .bits = c.bits, .tableBytes = tableBytes});
        CoverPicture picture;
        ASSERT_TRUE(CoverPictureParse(file, &picture));
        HDC dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), 16, -8, 1, 32, 0, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        HBITMAP page = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        HGDIOBJ old = SelectObject(dc, page);
        const int32_t rows = c.height < 0 ? -c.height : c.height;
        StretchDIBits(dc, 0, 0, c.width, rows, 0, 0, c.width, rows, picture.Bits(), picture.Info(), DIB_RGB_COLORS,
                      SRCCOPY);
        const size_t offset = 54 + tableBytes;
        const uint32_t rowBytes = RowBytes(c.bits, c.width);
        for (int32_t y = 0; y < rows; ++y) {
            const int32_t fileRow = c.height < 0 ? y : rows - 1 - y;
            const BYTE* row = file.data() + offset + size_t(fileRow) * rowBytes;
            for (int32_t x = 0; x < c.width; ++x) {
                uint32_t bgr;
                if (c.bits <= 8) {
                    const uint32_t bitPos = uint32_t(x) * c.bits;
                    const uint32_t index = (row[bitPos / 8] >> (8 - c.bits - bitPos % 8)) & ((1u << c.bits) - 1);
                    const BYTE* entry = file.data() + 54 + index * 4;
                    bgr = entry[0] | entry[1] << 8 | entry[2] << 16;
                } else {
                    const BYTE* p = row + size_t(x) * (c.bits / 8);
                    bgr = p[0] | p[1] << 8 | p[2] << 16;
                }
                const uint32_t drawn = static_cast<const uint32_t*>(bits)[y * 16 + x] & 0xFFFFFF;
                ASSERT_EQ(drawn, bgr) << c.bits << " bits at " << x << "," << y;
            }
        }
        SelectObject(dc, old);
        DeleteObject(page);
        DeleteDC(dc);
    }
}

}  // namespace
