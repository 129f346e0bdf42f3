// Bitmap resources: packed DIBs of every depth become bitmaps whose pixels are the resource's
// colours; damaged resources fail without reading past their bytes (AddressSanitizer watches
// the exact-size copies below).
#include <gtest/gtest.h>

#include <cstring>

#include "gdi_reference.h"
#include "platform/kernel.h"
#include "platform/resources.h"

namespace {

std::mt19937 rng(27);
const uint32_t kMasks565[3] = {0xF800, 0x07E0, 0x001F};
const uint32_t kMasks32[3] = {0xFF0000, 0x00FF00, 0x0000FF};

// Sound resources of each depth and orientation.
const std::vector<uint8_t> kDib8 = ref::PackedDib(7, 5, 8, false, rng, ref::RandomPalette(256, rng));
const std::vector<uint8_t> kDib1 = ref::PackedDib(13, 3, 1, true, rng, ref::MonoPalette());
const std::vector<uint8_t> kDib4 = ref::PackedDib(9, 4, 4, false, rng, ref::RandomPalette(5, rng));
const std::vector<uint8_t> kDib16 = ref::PackedDib(6, 3, 16, true, rng, {}, kMasks565);
const std::vector<uint8_t> kDib24 = ref::PackedDib(5, 4, 24, false, rng, {});
const std::vector<uint8_t> kDib32 = ref::PackedDib(3, 3, 32, true, rng, {}, kMasks32);

// A 4 x 2 run-length picture (rows bottom-up: a run of colour 1, then one of colour 2); with
// extra, its header claims that many more bytes of runs than it holds.
std::vector<uint8_t> RunLength(uint32_t extra)
{
    const uint8_t runs[] = {4, 1, 0, 0, 4, 2, 0, 1};
    const BITMAPINFOHEADER header{40, 4, 2, 1, 8, BI_RLE8, DWORD(sizeof runs + extra), 0, 0, 3, 0};
    std::vector<uint8_t> dib(40);
    std::memcpy(dib.data(), &header, 40);
    const uint8_t table[] = {0, 0, 0, 0, 10, 20, 30, 0, 200, 100, 50, 0};
    dib.insert(dib.end(), table, table + sizeof table);
    dib.insert(dib.end(), runs, runs + sizeof runs);
    return dib;
}
const std::vector<uint8_t> kRle = RunLength(0);
const std::vector<uint8_t> kRlePast = RunLength(1);

std::vector<uint8_t> Cut(const std::vector<uint8_t>& dib, size_t size) { return {dib.begin(), dib.begin() + size}; }
std::vector<uint8_t> Patched(std::vector<uint8_t> dib, size_t at, uint32_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i) dib[at + i] = uint8_t(value >> (8 * i));
    return dib;
}

// Damaged resources: rows short by one byte, a short header, a header size past the resource, a
// colour table cut off, an unknown depth, a height whose rows are not there.
const std::vector<uint8_t> kRowsShort = Cut(kDib8, kDib8.size() - 1);
const std::vector<uint8_t> kHeaderShort = Cut(kDib8, 39);
const std::vector<uint8_t> kHeaderPast = Patched(kDib24, 0, uint32_t(kDib24.size() + 1), 4);
const std::vector<uint8_t> kTableShort = Cut(kDib8, 40 + 4 * 100);
const std::vector<uint8_t> kDepthBad = Patched(kDib24, 14, 3, 2);
const std::vector<uint8_t> kHeightPast = Patched(kDib24, 8, 1000000, 4);

}  // namespace

#define ENTRY(id, bytes)                                                                    \
    {                                                                                       \
        FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(id), bytes.data(), DWORD(bytes.size()) \
    }
FAX_RESOURCE_TABLE(BitmapTestResources, ENTRY(101, kDib8), ENTRY(102, kDib1), ENTRY(103, kDib4), ENTRY(104, kDib16),
                   ENTRY(105, kDib24), ENTRY(106, kDib32), ENTRY(201, kRowsShort), ENTRY(202, kHeaderShort),
                   ENTRY(203, kHeaderPast), ENTRY(204, kTableShort), ENTRY(205, kDepthBad), ENTRY(206, kHeightPast),
                   ENTRY(107, kRle), ENTRY(208, kRlePast),
                   {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey(207), nullptr, 3144},
                   {FaxResourceKey(RT_BITMAP_ID), FaxResourceKey("NAMED"), kDib1.data(), DWORD(kDib1.size())});

namespace {

TEST(LoadBitmap, ResourcesOfEveryDepthGiveTheirColours)
{
    const struct {
        int id;
        const std::vector<uint8_t>& dib;
    } cases[] = {{101, kDib8}, {102, kDib1}, {103, kDib4}, {104, kDib16}, {105, kDib24}, {106, kDib32}};
    HINSTANCE program = GetModuleHandleA(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        HBITMAP bitmap = LoadBitmapW(program, MAKEINTRESOURCEW(c.id));
        ASSERT_NE(bitmap, nullptr);
        BITMAP shape{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof shape, &shape), int(sizeof shape));
        const ref::Image expected = ref::ImageOfPacked(c.dib);
        ASSERT_EQ(shape.bmWidth, expected.width);
        ASSERT_EQ(shape.bmHeight, expected.height);
        ASSERT_EQ(shape.bmBitsPixel, 24);
        // Made as CreateDIBitmap makes a bitmap without a DC: 24 bits, rows top-down.
        const auto* bits = static_cast<const uint8_t*>(shape.bmBits);
        for (int y = 0; y < expected.height; ++y)
            for (int x = 0; x < expected.width; ++x) {
                const uint8_t* p = bits + size_t(y) * size_t(shape.bmWidthBytes) + 3 * size_t(x);
                const COLORREF got = RGB(p[2], p[1], p[0]);
                ASSERT_EQ(got, expected.Color(expected.Get(x, y))) << x << "," << y;
            }
        EXPECT_TRUE(DeleteObject(bitmap));
    }
}

TEST(LoadBitmap, RunLengthResourcesAreDecoded)
{
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(107));
    ASSERT_NE(bitmap, nullptr);
    BITMAP shape{};
    ASSERT_EQ(GetObjectW(bitmap, sizeof shape, &shape), int(sizeof shape));
    const auto* bits = static_cast<const uint8_t*>(shape.bmBits);
    const uint8_t top[3] = {200, 100, 50}, bottom[3] = {10, 20, 30};  // blue, green, red as stored
    for (int x = 0; x < 4; ++x) {
        EXPECT_EQ(std::memcmp(bits + 3 * x, top, 3), 0) << x;
        EXPECT_EQ(std::memcmp(bits + shape.bmWidthBytes + 3 * x, bottom, 3), 0) << x;
    }
    EXPECT_TRUE(DeleteObject(bitmap));
}

TEST(LoadBitmap, MissingAndDamagedResourcesFailWithTheirError)
{
    const struct {
        LPCWSTR name;
        DWORD error;
    } cases[] = {
        {MAKEINTRESOURCEW(999), ERROR_RESOURCE_NAME_NOT_FOUND},
        {MAKEINTRESOURCEW(201), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(202), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(203), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(204), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(205), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(206), ERROR_INVALID_DATA},
        {MAKEINTRESOURCEW(207), ERROR_RESOURCE_DATA_NOT_FOUND},
        {MAKEINTRESOURCEW(208), ERROR_INVALID_DATA},
        {nullptr, ERROR_INVALID_PARAMETER},
    };
    HINSTANCE program = GetModuleHandleA(nullptr);
    for (const auto& c : cases) {
        SCOPED_TRACE(reinterpret_cast<uintptr_t>(c.name));
        SetLastError(0);
        EXPECT_EQ(LoadBitmapW(program, c.name), nullptr);
        EXPECT_EQ(GetLastError(), c.error);
    }
    HBITMAP named = LoadBitmapW(program, u"named");
    EXPECT_NE(named, nullptr);
    EXPECT_TRUE(DeleteObject(named));
}

TEST(LoadBitmap, GetObjectAnswersForBitmapsOnly)
{
    HBITMAP bitmap = LoadBitmapW(GetModuleHandleA(nullptr), MAKEINTRESOURCEW(105));
    ASSERT_NE(bitmap, nullptr);
    BITMAP shape{};
    EXPECT_EQ(GetObjectW(bitmap, 0, nullptr), int(sizeof shape));
    EXPECT_EQ(GetObjectW(bitmap, sizeof shape - 1, &shape), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    HBRUSH brush = CreateSolidBrush(0);
    EXPECT_EQ(GetObjectW(brush, sizeof shape, &shape), 0);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(bitmap));
    EXPECT_EQ(GetObjectW(bitmap, sizeof shape, &shape), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

}  // namespace
