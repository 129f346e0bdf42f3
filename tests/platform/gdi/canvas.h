// A memory DC over a 32-bit top-down DIB section for drawing tests.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/gdi.h"
#include "platform/gdi_paths.h"

// COLORREF (0x00BBGGRR) as the 32-bit pixel value (0x00RRGGBB).
inline uint32_t Native(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kGreen = RGB(0, 255, 0);

struct Canvas {
    HDC dc = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ oldBitmap = nullptr;
    uint32_t* bits = nullptr;
    int width, height;

    Canvas(int w, int h, COLORREF background = kWhite) : width(w), height(h)
    {
        dc = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* raw = nullptr;
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &raw, nullptr, 0);
        bits = static_cast<uint32_t*>(raw);
        oldBitmap = SelectObject(dc, bitmap);
        Clear(background);
    }
    ~Canvas()
    {
        SelectObject(dc, GetStockObject(BLACK_PEN));
        SelectObject(dc, GetStockObject(WHITE_BRUSH));
        SelectObject(dc, oldBitmap);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear(COLORREF c)
    {
        for (int i = 0; i < width * height; ++i) bits[i] = Native(c);
    }
    uint32_t At(int x, int y) const { return bits[y * width + x] & 0xFFFFFF; }
    bool Is(int x, int y, COLORREF c) const { return At(x, y) == Native(c); }
    // Every pixel of colour c as a set of (x, y).
    std::vector<uint8_t> Mask(COLORREF c) const
    {
        std::vector<uint8_t> m(size_t(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) m[size_t(y) * width + x] = Is(x, y, c);
        return m;
    }
};

// Selects an object into a DC for a scope and deletes it afterwards.
struct Selected {
    HDC dc;
    HGDIOBJ object;
    HGDIOBJ previous;
    Selected(HDC d, HGDIOBJ o) : dc(d), object(o), previous(SelectObject(d, o)) {}
    ~Selected()
    {
        SelectObject(dc, previous);
        DeleteObject(object);
    }
};
