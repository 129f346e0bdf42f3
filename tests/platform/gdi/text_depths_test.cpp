// Text copied from the glyph cache into bitmaps of every depth, under a clip of several
// rectangles with a hole, against FreeType's own rendering of the run cut by the same clip.
#include <gtest/gtest.h>

#include <vector>

#include "text_fixture.h"

namespace {

constexpr int W = 240, H = 80;

TEST(TextDepths, EveryDepthHoldsFreeTypesPixelsWithinTheClip)
{
    const std::u16string text = u"Wavy jigsaw \u0416\u044f &@";
    const int x = 7, y = 52;
    // Two bands of columns with a hole in the first: the clip is banded into several rectangles.
    HRGN clip = CreateRectRgn(0, 10, 130, 70);
    HRGN right = CreateRectRgn(150, 0, W, H);
    HRGN hole = CreateRectRgn(40, 30, 70, 45);
    CombineRgn(clip, clip, right, RGN_OR);
    CombineRgn(clip, clip, hole, RGN_DIFF);
    auto clipped = [](int px, int py) {
        const bool inFirst = px < 130 && py >= 10 && py < 70 && !(px >= 40 && px < 70 && py >= 30 && py < 45);
        return inFirst || px >= 150;
    };
    for (int bpp : {1, 4, 8, 16, 24, 32}) {
        HDC dc = CreateCompatibleDC(nullptr);
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD c[256];
        } info{};
        info.h = {40, W, -H, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0};
        for (int i = 1; i < 256; ++i) info.c[i] = RGBQUAD{255, 255, 255, 0};  // 0 black, the rest white
        void* raw = nullptr;
        HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw, nullptr, 0);
        ASSERT_NE(bitmap, nullptr) << bpp;
        HGDIOBJ old = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, W, H, WHITENESS);  // every bit 1: white in each format
        SelectedFont font(dc, L"Arial", -22);
        SetBkMode(dc, TRANSPARENT);
        SetTextAlign(dc, TA_BASELINE);
        SelectClipRgn(dc, clip);
        ASSERT_TRUE(TextOutW(dc, x, y, text.c_str(), int(text.size()))) << bpp;
        const FontRealization r = font.Realization();
        const Reference ref{r.file, 22 * 64, 22 * 64};
        const std::vector<uint8_t> free = ReferenceMask(ref, text, x, y, W, H);
        const auto* bits = static_cast<const uint8_t*>(raw);
        const int stride = (W * bpp + 31) / 32 * 4;
        int inked = 0;
        for (int py = 0; py < H; ++py)
            for (int px = 0; px < W; ++px) {
                // Ink is black, pixel value 0; the rest kept every bit set.
                const int64_t bit = int64_t(px) * bpp;
                bool allZero = true, allOne = true;
                for (int k = 0; k < bpp; ++k) {
                    const bool on = (bits[py * stride + (bit + k) / 8] >> (7 - (bit + k) % 8)) & 1;
                    allZero &= !on;
                    allOne &= on;
                }
                ASSERT_TRUE(allZero || allOne) << bpp << " bits at " << px << "," << py;
                const bool expected = free[size_t(py) * W + px] && clipped(px, py);
                ASSERT_EQ(allZero, expected) << bpp << " bits at " << px << "," << py;
                inked += allZero;
            }
        EXPECT_GT(inked, 200) << bpp;
        SelectClipRgn(dc, nullptr);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    for (HRGN r : {clip, right, hole}) DeleteObject(r);
}

}  // namespace
