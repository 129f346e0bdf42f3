// Glyph outlines from GetGlyphOutlineW, filled through the stand-in's own path fill the way the
// engine's glyph cache draws them, against FreeType's monochrome rendering of the same glyphs.
//
// The hinting differences allowed: the outline's points are rounded to whole pixels before the
// fill (the engine does the same) and the fill samples pixel corners while FreeType samples pixel
// centres, and the curves go through the fill as integer cubics, so a filled outline may gain or
// lose pixels along its edges, up to two pixels deep where a thin stroke meets a tight curve.
// Every pixel that differs must therefore lie within two pixels of the edge of FreeType's glyph
// (a pixel of the other value in its 5 x 5 neighbourhood), and the differing pixels must stay
// under a third of FreeType's ink.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <cstring>
#include <string>

#include "platform/gdi_paths.h"
#include "text_fixture.h"

namespace {

constexpr int W = 200, H = 200, OX = 60, OY = 140;

LONG Round(int32_t fixed) { return LONG(std::floor(fixed / 65536.0 + 0.5)); }

POINT Device(const POINTFX& p)
{
    int32_t x, y;
    std::memcpy(&x, &p.x, 4);
    std::memcpy(&y, &p.y, 4);
    return {OX + Round(x), OY - Round(y)};
}

POINT Lerp(POINT a, POINT b) { return {(a.x + b.x) / 2, (a.y + b.y) / 2}; }

// Quadratic P0 Q P1 as a cubic: controls P0 + 2(Q - P0)/3 and P1 + 2(Q - P1)/3.
void Quad(HDC dc, POINT p0, POINT q, POINT p1)
{
    POINT c[3] = {{p0.x + 2 * (q.x - p0.x) / 3, p0.y + 2 * (q.y - p0.y) / 3},
                  {p1.x + 2 * (q.x - p1.x) / 3, p1.y + 2 * (q.y - p1.y) / 3},
                  p1};
    PolyBezierTo(dc, c, 3);
}

// Fills GGO_NATIVE data as one path (winding), black on the canvas.
void FillNative(HDC dc, const std::vector<uint8_t>& data)
{
    BeginPath(dc);
    size_t at = 0;
    while (at + sizeof(TTPOLYGONHEADER) <= data.size()) {
        TTPOLYGONHEADER header;
        std::memcpy(&header, &data[at], sizeof header);
        ASSERT_EQ(header.dwType, DWORD(TT_POLYGON_TYPE));
        ASSERT_LE(at + header.cb, data.size());
        POINT current = Device(header.pfxStart);
        MoveToEx(dc, current.x, current.y, nullptr);
        size_t p = at + sizeof header;
        while (p < at + header.cb) {
            WORD type, count;
            std::memcpy(&type, &data[p], 2);
            std::memcpy(&count, &data[p + 2], 2);
            std::vector<POINT> pts(count);
            for (WORD i = 0; i < count; ++i) {
                POINTFX fx;
                std::memcpy(&fx, &data[p + 4 + 8 * i], 8);
                pts[i] = Device(fx);
            }
            if (type == TT_PRIM_LINE) {
                PolylineTo(dc, pts.data(), count);
            } else {
                ASSERT_EQ(type, WORD(TT_PRIM_QSPLINE));
                for (WORD i = 0; i + 1 < count; ++i) {
                    const POINT end = i + 2 == count ? pts[i + 1] : Lerp(pts[i], pts[i + 1]);
                    Quad(dc, current, pts[i], end);
                    current = end;
                }
            }
            current = pts.back();
            p += 4 + 8 * size_t(count);
        }
        CloseFigure(dc);
        at += header.cb;
    }
    EndPath(dc);
    SetPolyFillMode(dc, WINDING);
    HGDIOBJ brush = SelectObject(dc, GetStockObject(BLACK_BRUSH));
    FillPath(dc);
    SelectObject(dc, brush);
}

struct Case {
    const wchar_t* face;
    LONG height;
    LONG weight;
    bool italic;
    char16_t ch;
};

const Case kCases[] = {
    {L"Arial", -60, 400, false, u'g'},
    {L"Arial", -24, 700, true, u'R'},
    {L"Times New Roman", -80, 400, false, u'&'},
    {L"Courier New", -40, 400, false, u'@'},
    {L"DejaVu Sans", -70, 400, true, u'S'},
    {L"DejaVu Serif", -50, 400, false, u'\u0416'},
    {L"DejaVu Sans Mono", -90, 700, false, u'0'},
};

class GlyphOutline : public ::testing::TestWithParam<Case> {};

TEST_P(GlyphOutline, FillsToFreeTypePixels)
{
    const Case& c = GetParam();
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, c.face, c.height, c.weight, c.italic);
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS gm;
    const DWORD size = GetGlyphOutlineW(canvas.dc, c.ch, GGO_NATIVE, &gm, 0, nullptr, &identity);
    ASSERT_NE(size, GDI_ERROR);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> data(size);
    ASSERT_EQ(GetGlyphOutlineW(canvas.dc, c.ch, GGO_NATIVE, &gm, size - 1, data.data(), &identity), GDI_ERROR);
    ASSERT_EQ(GetGlyphOutlineW(canvas.dc, c.ch, GGO_NATIVE, &gm, size, data.data(), &identity), size);
    FillNative(canvas.dc, data);
    const auto filled = canvas.Mask(RGB(0, 0, 0));

    const FontRealization r = font.Realization();
    Reference ref{r.file, -c.height * 64, -c.height * 64, 0, bool(r.slanted), bool(r.emboldened)};
    const auto expected = ReferenceMask(ref, std::u16string(1, c.ch), OX, OY, W, H);
    int differing = 0, ink = 0;
    for (int y = 2; y + 2 < H; ++y)
        for (int x = 2; x + 2 < W; ++x) {
            const size_t i = size_t(y) * W + x;
            ink += expected[i];
            if (filled[i] == expected[i]) continue;
            ++differing;
            bool edge = false;
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx) edge = edge || expected[i + dy * W + dx] != expected[i];
            ASSERT_TRUE(edge) << "pixel " << x << "," << y << " is off the glyph's edge\n"
                              << MaskDiff(filled, expected, W, H);
        }
    EXPECT_LT(differing * 3, ink) << MaskDiff(filled, expected, W, H);

    // The metrics describe the same glyph: its black box holds FreeType's ink.
    int left = W, right = -1, top = H, bottom = -1;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            if (expected[size_t(y) * W + x]) {
                left = std::min(left, x), right = std::max(right, x);
                top = std::min(top, y), bottom = std::max(bottom, y);
            }
    EXPECT_LE(OX + gm.gmptGlyphOrigin.x, left);
    EXPECT_GE(OX + gm.gmptGlyphOrigin.x + LONG(gm.gmBlackBoxX), right + 1);
    EXPECT_LE(OY - gm.gmptGlyphOrigin.y, top);
    EXPECT_GE(OY - gm.gmptGlyphOrigin.y + LONG(gm.gmBlackBoxY), bottom + 1);
    SIZE extent;
    ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc, &c.ch, 1, &extent));
    EXPECT_EQ(gm.gmCellIncX, extent.cx);
    EXPECT_EQ(gm.gmCellIncY, 0);
}

INSTANTIATE_TEST_SUITE_P(Faces, GlyphOutline, ::testing::ValuesIn(kCases), [](const auto& info) {
    std::string name;
    for (const wchar_t* p = info.param.face; *p; ++p)
        if (std::isalnum(int(*p))) name += char(*p);
    return name + "_" + std::to_string(info.index);
});

TEST(GlyphOutlineCalls, IndicesSpacesMatricesAndBadArguments)
{
    Canvas canvas(W, H);
    SelectedFont font(canvas.dc, L"Arial", -40);
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS byChar, byIndex;
    const DWORD size = GetGlyphOutlineW(canvas.dc, u'A', GGO_NATIVE, &byChar, 0, nullptr, &identity);
    std::vector<uint8_t> a(size), b(size);
    GetGlyphOutlineW(canvas.dc, u'A', GGO_NATIVE, &byChar, size, a.data(), &identity);
    // Glyph 36 is 'A' in the Liberation faces.
    ASSERT_EQ(GetGlyphOutlineA(canvas.dc, 36, GGO_NATIVE | GGO_GLYPH_INDEX, &byIndex, size, b.data(), &identity), size);
    EXPECT_EQ(a, b);
    EXPECT_EQ(std::memcmp(&byChar, &byIndex, sizeof byChar), 0);

    // A space has metrics and no outline.
    GLYPHMETRICS space;
    EXPECT_EQ(GetGlyphOutlineW(canvas.dc, u' ', GGO_NATIVE, &space, 0, nullptr, &identity), 0u);
    EXPECT_EQ(GetGlyphOutlineW(canvas.dc, u' ', GGO_METRICS, &space, 0, nullptr, &identity), 1u);
    EXPECT_EQ(space.gmBlackBoxX, 1u);
    EXPECT_GT(space.gmCellIncX, 0);

    // A matrix of 2 across doubles the advance; a turn by a quarter moves it upwards.
    const MAT2 wide{{0, 2}, {0, 0}, {0, 0}, {0, 1}};
    GLYPHMETRICS widened;
    GetGlyphOutlineW(canvas.dc, u'A', GGO_METRICS, &widened, 0, nullptr, &wide);
    EXPECT_NEAR(widened.gmCellIncX, 2 * byChar.gmCellIncX, 1);
    const MAT2 turn{{0, 0}, {0, 1}, {0, static_cast<SHORT>(-1)}, {0, 0}};
    GLYPHMETRICS turned;
    GetGlyphOutlineW(canvas.dc, u'A', GGO_METRICS, &turned, 0, nullptr, &turn);
    EXPECT_EQ(turned.gmCellIncX, 0);
    EXPECT_NEAR(turned.gmCellIncY, byChar.gmCellIncX, 1);

    EXPECT_EQ(GetGlyphOutlineW(canvas.dc, u'A', GGO_NATIVE, &byChar, 0, nullptr, nullptr), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(canvas.dc, u'A', 1 /* GGO_BITMAP */, &byChar, 0, nullptr, &identity), GDI_ERROR);
    EXPECT_EQ(GetGlyphOutlineW(nullptr, u'A', GGO_NATIVE, &byChar, 0, nullptr, &identity), GDI_ERROR);
}

}  // namespace
