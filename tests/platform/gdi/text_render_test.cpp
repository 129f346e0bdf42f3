// Text drawn by the stand-in against FreeType's own monochrome rendering of the same glyphs at
// the same positions, and the drawing options around it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/kernel.h"
#include "text_fixture.h"

namespace {

constexpr int W = 320, H = 200;

struct Case {
    const wchar_t* face;
    LONG height;
    LONG weight;
    bool italic;
    LONG escapement;
    const char16_t* text;
};

// Faces, sizes (em and cell heights), real and synthesised weights and slants, and angles.
const Case kCases[] = {
    {L"Arial", -13, 400, false, 0, u"Hamburgefonstiv 0123"},
    {L"Times New Roman", 24, 700, false, 0, u"Quick brown fox"},
    {L"Courier New", -17, 400, true, 300, u"mono{}[]"},
    {L"DejaVu Sans", -40, 400, true, 0, u"Italic?"},  // DejaVu ships no oblique here: slanted
    {L"DejaVu Serif", -20, 700, false, 900, u"Upwards"},
    {L"DejaVu Sans Mono", 30, 400, false, 1800, u"Turned"},
    {L"Arial", -9, 400, false, 450, u"tiny 45"},
    {L"Liberation Serif", -31, 400, true, 2700, u"Down\u0436\u044f"},
};

class TextRender : public ::testing::TestWithParam<Case> {};

TEST_P(TextRender, EqualsFreeTypeMonochrome)
{
    const Case& c = GetParam();
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, c.face, c.height, c.weight, c.italic, c.escapement);
    const FontRealization r = font.Realization();
    ASSERT_NE(r.file[0], '\0');
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextAlign(canvas.dc, TA_BASELINE);
    const std::u16string text(c.text);
    const int x = 160, y = 100;
    ASSERT_TRUE(TextOutW(canvas.dc, x, y, text.c_str(), int(text.size())));

    Reference ref{r.file, 0, 0, double(c.escapement), bool(r.slanted), bool(r.emboldened)};
    ref.emY = ref.emX = c.height < 0 ? FT_F26Dot6(-c.height) * 64 : CellHeightToEm(r.file, c.height);
    const auto expected = ReferenceMask(ref, text, x, y, W, H);
    const auto drawn = canvas.Mask(RGB(0, 0, 0));
    ASSERT_EQ(drawn, expected) << MaskDiff(drawn, expected, W, H);
    EXPECT_GT(std::count(drawn.begin(), drawn.end(), 1), 20);
}

INSTANTIATE_TEST_SUITE_P(Faces, TextRender, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const wchar_t* p = info.param.face; *p; ++p)
        if (std::isalnum(int(*p))) name += char(*p);
    return name + "_" + std::to_string(info.index);
});

// Text drawn with every option around one run: the reference for the tests below.
std::vector<uint8_t> Draw(Canvas& canvas, UINT align, UINT options, const RECT* rect)
{
    canvas.Clear(kWhite);
    SetTextAlign(canvas.dc, align);
    ExtTextOutW(canvas.dc, 40, 50, options, rect, u"Glyph", 5, nullptr);
    return canvas.Mask(RGB(0, 0, 0));
}

std::vector<uint8_t> Shifted(const std::vector<uint8_t>& m, int dx, int dy)
{
    std::vector<uint8_t> out(m.size());
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const int sx = x - dx, sy = y - dy;
            if (sx >= 0 && sy >= 0 && sx < W && sy < H) out[size_t(y) * W + x] = m[size_t(sy) * W + sx];
        }
    return out;
}

TEST(TextOptions, AlignmentMovesTheRunByItsMetrics)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Arial", -30);
    SetBkMode(canvas.dc, TRANSPARENT);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &tm));
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc, u"Glyph", 5, &size));
    const auto baseline = Draw(canvas, TA_BASELINE, 0, nullptr);
    EXPECT_EQ(Draw(canvas, TA_TOP, 0, nullptr), Shifted(baseline, 0, tm.tmAscent));
    EXPECT_EQ(Draw(canvas, TA_BOTTOM, 0, nullptr), Shifted(baseline, 0, -tm.tmDescent));
    EXPECT_EQ(Draw(canvas, TA_RIGHT | TA_BASELINE, 0, nullptr), Shifted(baseline, -size.cx, 0));
    EXPECT_EQ(Draw(canvas, TA_CENTER | TA_BASELINE, 0, nullptr), Shifted(baseline, -size.cx / 2, 0));
}

TEST(TextOptions, ClippedOpaqueAndBackgroundBox)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Arial", -30);
    SetBkMode(canvas.dc, TRANSPARENT);
    const auto whole = Draw(canvas, TA_TOP, 0, nullptr);
    const RECT clip{50, 55, 90, 70};
    const auto clipped = Draw(canvas, TA_TOP, ETO_CLIPPED, &clip);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool inside = x >= clip.left && x < clip.right && y >= clip.top && y < clip.bottom;
            ASSERT_EQ(clipped[size_t(y) * W + x], inside ? whole[size_t(y) * W + x] : 0) << x << "," << y;
        }

    // ETO_OPAQUE fills the rectangle with the background colour whatever the background mode.
    SetBkColor(canvas.dc, kRed);
    const RECT box{10, 10, 30, 20};
    Draw(canvas, TA_TOP, ETO_OPAQUE, &box);
    EXPECT_TRUE(canvas.Is(10, 10, kRed) && canvas.Is(29, 19, kRed));
    EXPECT_TRUE(canvas.Is(30, 19, kWhite) && canvas.Is(29, 20, kWhite));

    // The OPAQUE mode fills the cell box (extent by cell height) behind the glyphs.
    SetBkMode(canvas.dc, OPAQUE);
    SIZE size;
    ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc, u"Glyph", 5, &size));
    const auto ink = Draw(canvas, TA_TOP, 0, nullptr);
    EXPECT_EQ(ink, whole);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const bool inBox = x >= 40 && x < 40 + size.cx && y >= 50 && y < 50 + size.cy;
            const COLORREF want = whole[size_t(y) * W + x] ? RGB(0, 0, 0) : inBox ? kRed : kWhite;
            ASSERT_TRUE(canvas.Is(x, y, want)) << x << "," << y;
        }
}

TEST(TextOptions, GlyphIndicesNarrowTextAndOneBitBitmaps)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Times New Roman", -28, 700, true);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextAlign(canvas.dc, TA_BASELINE);
    const std::u16string text = u"Fax \u0444\u0430\u043a\u0441";
    TextOutW(canvas.dc, 20, 60, text.c_str(), int(text.size()));
    const auto byChars = canvas.Mask(RGB(0, 0, 0));

    // The same run by glyph index.
    FT_Library lib;
    FT_Init_FreeType(&lib);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(lib, font.Realization().file, 0, &face), 0);
    std::u16string indices;
    for (char16_t c : text) indices.push_back(char16_t(FT_Get_Char_Index(face, c)));
    FT_Done_Face(face);
    FT_Done_FreeType(lib);
    canvas.Clear(kWhite);
    ExtTextOutW(canvas.dc, 20, 60, ETO_GLYPH_INDEX, nullptr, indices.c_str(), UINT(indices.size()), nullptr);
    EXPECT_EQ(canvas.Mask(RGB(0, 0, 0)), byChars);

    // UTF-8 through the narrow entry point.
    canvas.Clear(kWhite);
    const char* utf8 = "Fax \xd1\x84\xd0\xb0\xd0\xba\xd1\x81";
    ExtTextOutA(canvas.dc, 20, 60, 0, nullptr, utf8, UINT(std::strlen(utf8)), nullptr);
    EXPECT_EQ(canvas.Mask(RGB(0, 0, 0)), byChars);

    // A 1-bit bitmap: black text is 0 bits on a white (1) page.
    HDC mono = CreateCompatibleDC(nullptr);
    struct {
        BITMAPINFOHEADER h;
        RGBQUAD c[2];
    } info{{40, W, -H, 1, 1, BI_RGB, 0, 0, 0, 0, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void* bits;
    HBITMAP bitmap = CreateDIBSection(mono, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(mono, bitmap);
    PatBlt(mono, 0, 0, W, H, WHITENESS);
    HGDIOBJ oldFont = SelectObject(mono, font.font);
    SetBkMode(mono, TRANSPARENT);
    SetTextAlign(mono, TA_BASELINE);
    TextOutW(mono, 20, 60, text.c_str(), int(text.size()));
    const uint8_t* p = static_cast<uint8_t*>(bits);
    const int stride = ((W + 31) / 32) * 4;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            ASSERT_EQ(!(p[y * stride + x / 8] & (0x80 >> (x % 8))), bool(byChars[size_t(y) * W + x])) << x << "," << y;
    SelectObject(mono, oldFont);
    SelectObject(mono, old);
    DeleteObject(bitmap);
    DeleteDC(mono);
}

TEST(TextOptions, MappingScalesTheFontAndThePositions)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Arial", -12);
    SetBkMode(canvas.dc, TRANSPARENT);
    SetTextAlign(canvas.dc, TA_BASELINE);
    SetMapMode(canvas.dc, MM_ANISOTROPIC);
    SetWindowExtEx(canvas.dc, 100, 100, nullptr);
    SetViewportExtEx(canvas.dc, 250, 300, nullptr);  // 2.5 across, 3 down
    ASSERT_TRUE(TextOutW(canvas.dc, 20, 30, u"Scale", 5));
    Reference ref{font.Realization().file, 12 * 64 * 5 / 2, 12 * 64 * 3};
    EXPECT_EQ(canvas.Mask(RGB(0, 0, 0)), ReferenceMask(ref, u"Scale", 50, 90, W, H));

    // Metrics stay in logical units.
    TEXTMETRICW scaled, plain;
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &scaled));
    SetMapMode(canvas.dc, MM_TEXT);
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &plain));
    EXPECT_NEAR(scaled.tmHeight, plain.tmHeight, 1);
    EXPECT_NEAR(scaled.tmAveCharWidth, plain.tmAveCharWidth, 1);
}

TEST(TextOptions, ClipRegionAndBadArguments)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Arial", -40);
    SetBkMode(canvas.dc, TRANSPARENT);
    const auto whole = Draw(canvas, TA_TOP, 0, nullptr);
    HRGN clip = CreateRectRgn(0, 0, 70, H);
    SelectClipRgn(canvas.dc, clip);
    const auto left = Draw(canvas, TA_TOP, 0, nullptr);
    SelectClipRgn(canvas.dc, nullptr);
    DeleteObject(clip);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) ASSERT_EQ(left[size_t(y) * W + x], x < 70 ? whole[size_t(y) * W + x] : 0);

    EXPECT_FALSE(ExtTextOutW(nullptr, 0, 0, 0, nullptr, u"a", 1, nullptr));
    EXPECT_FALSE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, nullptr, 3, nullptr));
    EXPECT_TRUE(ExtTextOutW(canvas.dc, 0, 0, 0, nullptr, nullptr, 0, nullptr));
    // A font too large to render fails instead of allocating without end.
    SelectedFont huge(canvas.dc, L"Arial", -2000000000);
    EXPECT_FALSE(TextOutW(canvas.dc, 0, 0, u"a", 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

}  // namespace
