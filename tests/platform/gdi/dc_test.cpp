// Device contexts: selection rules, deletion of selected objects, mapping modes and clip boxes.
#include <gtest/gtest.h>

#include <functional>

#include "gdi_reference.h"
#include "platform/kernel.h"

namespace {

HBITMAP Section(int width, int height, int bpp)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colors[2];
    } info{{40, width, -height, 1, WORD(bpp), BI_RGB, 0, 0, 0, 2, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void* bits;
    return CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
}

}  // namespace

TEST(GdiDc, SelectObjectReturnsThePreviousObjectOfItsKind)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP a = Section(4, 4, 24), b = Section(4, 4, 24);
    HGDIOBJ original = SelectObject(dc, a);
    EXPECT_NE(original, nullptr);
    EXPECT_EQ(GetObjectType(original), DWORD(OBJ_BITMAP));
    EXPECT_EQ(SelectObject(dc, b), a);
    EXPECT_EQ(SelectObject(dc, original), b);
    HBRUSH brush = CreateSolidBrush(0x00FF00);
    EXPECT_EQ(SelectObject(dc, brush), GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(BLACK_PEN)), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), brush);
    HRGN region = CreateRectRgn(0, 0, 2, 2);
    EXPECT_EQ(SelectObject(dc, region), reinterpret_cast<HGDIOBJ>(intptr_t(SIMPLEREGION)));
    EXPECT_TRUE(DeleteObject(region));  // the DC keeps its own copy
    RECT box;
    EXPECT_EQ(GetClipBox(dc, &box), SIMPLEREGION);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(a));
    EXPECT_TRUE(DeleteObject(b));
    EXPECT_TRUE(DeleteDC(dc));
}

TEST(GdiDc, ABitmapIsSelectedIntoOneDcAtATime)
{
    HDC first = CreateCompatibleDC(nullptr), second = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = Section(8, 8, 1);
    HGDIOBJ old = SelectObject(first, bitmap);
    EXPECT_EQ(SelectObject(second, bitmap), nullptr);
    EXPECT_EQ(SelectObject(first, bitmap), bitmap);  // again into the same DC is fine
    SelectObject(first, old);
    EXPECT_NE(SelectObject(second, bitmap), nullptr);
    DeleteDC(second);  // deleting the DC deselects it
    EXPECT_TRUE(DeleteObject(bitmap));
    DeleteDC(first);
}

TEST(GdiDc, DeleteOfASelectedObjectIsRefusedAndTheObjectKept)
{
    std::mt19937 rng(1);
    ref::Surface surface(8, 2, 24, true, rng);
    HBRUSH brush = CreateSolidBrush(0x0000FF);
    HGDIOBJ oldBrush = SelectObject(surface.dc, brush);
    SetLastError(0);
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(DeleteObject(surface.bitmap));
    // Both still work.
    EXPECT_TRUE(PatBlt(surface.dc, 0, 0, 8, 2, PATCOPY));
    EXPECT_EQ(surface.bits[2], 0xFF);
    EXPECT_EQ(surface.bits[0], 0x00);
    EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));
    SelectObject(surface.dc, oldBrush);
    EXPECT_TRUE(DeleteObject(brush));
    EXPECT_EQ(GetObjectType(brush), 0u);  // a stale handle is refused, not followed
    EXPECT_FALSE(DeleteObject(brush));
    EXPECT_TRUE(DeleteObject(GetStockObject(BLACK_BRUSH)));  // stock objects stay
    EXPECT_EQ(GetObjectType(GetStockObject(BLACK_BRUSH)), DWORD(OBJ_BRUSH));
}

TEST(GdiDc, MappingRoundsHalvesAwayFromZero)
{
    HDC dc = CreateCompatibleDC(nullptr);
    struct Case {
        int mode;
        POINT wo, vo;
        SIZE we, ve;
    };
    const Case cases[] = {
        {MM_ANISOTROPIC, {0, 0}, {0, 0}, {2, 2}, {1, 1}},
        {MM_ANISOTROPIC, {3, -7}, {100, 50}, {3, 7}, {-5, 2}},
        {MM_ANISOTROPIC, {-1, 1}, {-9, 9}, {-4, 6}, {7, -3}},
        {MM_TEXT, {5, 6}, {-2, 3}, {1, 1}, {1, 1}},
    };
    for (const Case& c : cases) {
        SetMapMode(dc, c.mode);
        SetWindowExtEx(dc, c.we.cx, c.we.cy, nullptr);
        SetViewportExtEx(dc, c.ve.cx, c.ve.cy, nullptr);
        SetWindowOrgEx(dc, c.wo.x, c.wo.y, nullptr);
        SetViewportOrgEx(dc, c.vo.x, c.vo.y, nullptr);
        for (int x = -20; x <= 20; ++x) {
            POINT p{x, -x * 3 + 1};
            ASSERT_TRUE(LPtoDP(dc, &p, 1));
            EXPECT_EQ(p.x, ref::MapAxis(x, c.wo.x, c.we.cx, c.vo.x, c.ve.cx)) << x;
            EXPECT_EQ(p.y, ref::MapAxis(-x * 3 + 1, c.wo.y, c.we.cy, c.vo.y, c.ve.cy)) << x;
            POINT back = p;
            ASSERT_TRUE(DPtoLP(dc, &back, 1));
            EXPECT_EQ(back.x, ref::MapAxis(p.x, c.vo.x, c.ve.cx, c.wo.x, c.we.cx));
        }
    }
    // Exact halves: 1 * 1 / 2 = 0.5 -> 1 and -0.5 -> -1.
    SetMapMode(dc, MM_ANISOTROPIC);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 2, 2, nullptr);
    SetViewportExtEx(dc, 1, 1, nullptr);
    POINT halves[2] = {{1, -1}, {3, -3}};
    LPtoDP(dc, halves, 2);
    EXPECT_EQ(halves[0].x, 1);
    EXPECT_EQ(halves[0].y, -1);
    EXPECT_EQ(halves[1].x, 2);
    EXPECT_EQ(halves[1].y, -2);
    // A zero extent is refused; MM_TEXT ignores extents and resets them.
    EXPECT_FALSE(SetWindowExtEx(dc, 0, 5, nullptr));
    SetMapMode(dc, MM_TEXT);
    SIZE ext;
    GetViewportExtEx(dc, &ext);
    EXPECT_EQ(ext.cx, 1);
    SetViewportExtEx(dc, 9, 9, nullptr);
    GetViewportExtEx(dc, &ext);
    EXPECT_EQ(ext.cx, 1);
    // Isotropic: the viewport extent of the larger scale shrinks to the smaller one.
    SetMapMode(dc, MM_ISOTROPIC);
    SetWindowExtEx(dc, 100, 100, nullptr);
    SetViewportExtEx(dc, 50, -200, nullptr);
    GetViewportExtEx(dc, &ext);
    EXPECT_EQ(ext.cx, 50);
    EXPECT_EQ(ext.cy, -50);
    POINT previous;
    OffsetViewportOrgEx(dc, 3, 4, nullptr);
    SetViewportOrgEx(dc, 0, 0, &previous);
    EXPECT_EQ(previous.x, 3);
    DeleteDC(dc);
}

TEST(GdiDc, ClipBoxIsTheVisibleClipInLogicalUnits)
{
    std::mt19937 rng(1);
    ref::Surface surface(40, 30, 1, true, rng, ref::MonoPalette());
    RECT box;
    EXPECT_EQ(GetClipBox(surface.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 40);
    EXPECT_EQ(box.bottom, 30);
    HRGN a = CreateRectRgn(5, 5, 15, 10), b = CreateRectRgn(20, 8, 60, 12);
    SelectClipRgn(surface.dc, a);
    EXPECT_EQ(ExtSelectClipRgn(surface.dc, b, RGN_OR), COMPLEXREGION);
    SetMapMode(surface.dc, MM_ANISOTROPIC);
    SetWindowExtEx(surface.dc, 2, 2, nullptr);
    SetViewportExtEx(surface.dc, 1, 1, nullptr);
    EXPECT_EQ(GetClipBox(surface.dc, &box), COMPLEXREGION);
    EXPECT_EQ(box.left, 10);
    EXPECT_EQ(box.top, 10);
    EXPECT_EQ(box.right, 80);  // the bitmap's edge at device 40
    EXPECT_EQ(box.bottom, 24);
    EXPECT_EQ(ExtSelectClipRgn(surface.dc, a, RGN_DIFF), SIMPLEREGION);
    EXPECT_EQ(ExtSelectClipRgn(surface.dc, nullptr, RGN_AND), ERROR);
    EXPECT_EQ(ExtSelectClipRgn(surface.dc, nullptr, RGN_COPY), SIMPLEREGION);
    EXPECT_EQ(GetClipBox(surface.dc, &box), SIMPLEREGION);
    EXPECT_EQ(box.right, 80);
    DeleteObject(a);
    DeleteObject(b);
}

TEST(GdiDc, RopTwoTableAndStateSetters)
{
    HDC dc = CreateCompatibleDC(nullptr);
    EXPECT_EQ(SetROP2(dc, R2_XORPEN), R2_COPYPEN);
    EXPECT_EQ(GetROP2(dc), R2_XORPEN);
    EXPECT_EQ(SetROP2(dc, 0), 0);
    EXPECT_EQ(SetStretchBltMode(dc, COLORONCOLOR), BLACKONWHITE);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetTextAlign(dc, TA_BASELINE), UINT(TA_LEFT | TA_TOP));
    EXPECT_EQ(SetTextColor(dc, 0x123456), 0u);
    EXPECT_EQ(GetTextColor(dc), 0x123456u);
    POINT org;
    SetBrushOrgEx(dc, 4, 5, nullptr);
    GetBrushOrgEx(dc, &org);
    EXPECT_EQ(org.x, 4);
    EXPECT_TRUE(GdiFlush());
    EXPECT_FALSE(UnrealizeObject(GetStockObject(BLACK_PEN)));
    DeleteDC(dc);
    EXPECT_EQ(GetBkColor(dc), CLR_INVALID);
}

TEST(GdiDc, HugeOrMalformedBitmapsAreRefused)
{
    struct {
        BITMAPINFOHEADER header;
        DWORD masks[3];
    } info{{40, 0x7FFFFFFF, -0x7FFFFFFF, 1, 32, BI_RGB, 0, 0, 0, 0, 0}, {0, 0, 0}};
    void* bits = reinterpret_cast<void*>(1);
    SetLastError(0);
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    EXPECT_EQ(bits, nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    info.header.biWidth = 8192;  // 256 MiB and one row
    info.header.biHeight = 8193;
    SetLastError(0);
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    info.header.biWidth = 0x40000000;  // a stride past 32 bits must not wrap
    info.header.biHeight = 1;
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    EXPECT_EQ(CreateDIBitmap(nullptr, &info.header, 0, nullptr, nullptr, DIB_RGB_COLORS), nullptr);
    info.header.biWidth = 4;
    info.header.biBitCount = 12;  // no such depth
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    info.header.biBitCount = 16;
    info.header.biCompression = BI_BITFIELDS;
    info.masks[0] = 0xF800, info.masks[1] = 0x0FE0, info.masks[2] = 0x001F;  // overlapping masks
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
    info.masks[1] = 0x07E0;
    HBITMAP ok = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    EXPECT_NE(ok, nullptr);
    DeleteObject(ok);
    info.header.biCompression = BI_RLE8;  // a section cannot hold run-length data
    EXPECT_EQ(CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0),
              nullptr);
}

TEST(GdiDc, EachFreshDcHasItsOwnDefaultBitmap)
{
    std::mt19937 rng(3);
    ref::Surface reader(1, 1, 1, true, rng, ref::MonoPalette());
    HDC a = CreateCompatibleDC(nullptr), b = CreateCompatibleDC(nullptr);
    // Pixels do not pass from one fresh DC to another.
    PatBlt(a, 0, 0, 1, 1, WHITENESS);
    PatBlt(b, 0, 0, 1, 1, BLACKNESS);
    ASSERT_TRUE(BitBlt(reader.dc, 0, 0, 1, 1, a, 0, 0, SRCCOPY));
    EXPECT_EQ(reader.bits[0] >> 7, 1);
    ASSERT_TRUE(BitBlt(reader.dc, 0, 0, 1, 1, b, 0, 0, SRCCOPY));
    EXPECT_EQ(reader.bits[0] >> 7, 0);
    // The default bitmap belongs to its DC: it is selected there only, and freed with the DC.
    HBITMAP section = Section(1, 1, 1);
    HGDIOBJ defaultA = SelectObject(a, section);
    EXPECT_EQ(GetObjectType(defaultA), DWORD(OBJ_BITMAP));
    EXPECT_EQ(SelectObject(a, defaultA), section);
    EXPECT_EQ(SelectObject(b, defaultA), nullptr);
    EXPECT_TRUE(DeleteObject(defaultA));  // left to its DC
    EXPECT_EQ(GetObjectType(defaultA), DWORD(OBJ_BITMAP));
    DeleteDC(a);
    EXPECT_EQ(GetObjectType(defaultA), 0u);
    DeleteDC(b);
    EXPECT_TRUE(DeleteObject(section));
}

// Every failing call says why in the last error.
TEST(GdiDc, FailingCallsSetTheLastError)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HRGN region = CreateRectRgn(0, 0, 10, 10), pair = CreateRectRgn(20, 0, 30, 10);
    CombineRgn(region, region, pair, RGN_OR);
    HBRUSH brush = CreateSolidBrush(0);
    std::vector<uint8_t> small(sizeof(RGNDATAHEADER) + sizeof(RECT));
    struct Case {
        const char* call;
        std::function<bool()> fails;  // runs the call; true when it reported failure
        DWORD error;
    };
    const Case cases[] = {
        {"FillRect null rectangle", [&] { return FillRect(dc, nullptr, brush) == 0; }, ERROR_INVALID_PARAMETER},
        {"GetStockObject unknown index", [&] { return GetStockObject(1000) == nullptr; }, ERROR_INVALID_PARAMETER},
        {"GetStockObject negative index", [&] { return GetStockObject(-1) == nullptr; }, ERROR_INVALID_PARAMETER},
        {"GetBrushOrgEx null point", [&] { return !GetBrushOrgEx(dc, nullptr); }, ERROR_INVALID_PARAMETER},
        {"LPtoDP null points", [&] { return !LPtoDP(dc, nullptr, 1); }, ERROR_INVALID_PARAMETER},
        {"DPtoLP null points", [&] { return !DPtoLP(dc, nullptr, 1); }, ERROR_INVALID_PARAMETER},
        {"GetClipBox null rectangle", [&] { return GetClipBox(dc, nullptr) == ERROR; }, ERROR_INVALID_PARAMETER},
        {"GetRgnBox null rectangle", [&] { return GetRgnBox(region, nullptr) == ERROR; }, ERROR_INVALID_PARAMETER},
        {"RectInRegion null rectangle", [&] { return !RectInRegion(region, nullptr); }, ERROR_INVALID_PARAMETER},
        {"GetRegionData short buffer",
         [&] { return GetRegionData(region, DWORD(small.size()), reinterpret_cast<RGNDATA*>(small.data())) == 0; },
         ERROR_INVALID_PARAMETER},
        {"FillRect stale DC", [&] { return FillRect(reinterpret_cast<HDC>(uintptr_t(0x5)), nullptr, brush) == 0; },
         ERROR_INVALID_HANDLE},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_TRUE(c.fails()) << c.call;
        EXPECT_EQ(GetLastError(), c.error) << c.call;
    }
    DeleteObject(brush);
    DeleteObject(pair);
    DeleteObject(region);
    DeleteDC(dc);
}
