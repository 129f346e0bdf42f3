// GDI fonts drawn under unequal x and y scaling: a font that is not plain (italic, turned or
// bold) gets a glyph cache of its own, filled with GDI's outlines; the text it draws is compared
// pixel by pixel with the stand-in drawing the same characters itself.
#include <gtest/gtest.h>

#include "tests/support/display_job.h"

#include "engine/display/cmd_ops.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi_text.h"

namespace {

constexpr uint16_t kTextRecord = 16;
constexpr int W = 200, H = 80;

std::vector<uint8_t> LogFontRecord(const LOGFONTA& lf)
{
    std::vector<uint8_t> out = Le32s({1, 0, 0});
    const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
    out.insert(out.end(), raw, raw + sizeof lf);
    return out;
}

std::vector<uint8_t> TextPayload(const std::vector<POINT>& positions, const std::u16string& chars)
{
    std::vector<uint8_t> out = Le32s({0, 0, 400, 200, 0, 0, 1, 0, RESOURCE_ID_BLACK, int64_t(positions.size())});
    out.insert(out.end(), {0x2, 0, R2_COPYPEN, R2_NOP});
    for (POINT p : positions) {
        const auto xy = Le32s({p.x, p.y});
        out.insert(out.end(), xy.begin(), xy.end());
    }
    for (char16_t c : chars) out.insert(out.end(), {uint8_t(c), uint8_t(c >> 8)});
    return out;
}

void SetScale(HDC dc, SIZE scale)
{
    SetWindowExtEx(dc, 1, 1, nullptr);
    SetViewportExtEx(dc, scale.cx, scale.cy, nullptr);
}

using Image = std::vector<uint8_t>;  // W x H, 1 where inked

// The oracles: the stand-in draws each character itself into a colour surface under the scale;
// with enlarge, at 1:1 and then each pixel repeated scale times across and down.
Image StandIn(const LOGFONTA& lf, SIZE scale, const std::vector<POINT>& positions, const std::u16string& chars,
              bool enlarge)
{
    if (enlarge) {
        const Image small = StandIn(lf, SIZE{1, 1}, positions, chars, false);
        Image image(W * H);
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) image[y * W + x] = small[(y / scale.cy) * W + x / scale.cx];
        return image;
    }
    BandSurface* direct = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{W, H}, nullptr, 0, 0);
    BandSurfaceClear(direct, SIZE{W, H});
    SetScale(direct->drawDC, scale);
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(direct->drawDC, font);
    SetBkMode(direct->drawDC, TRANSPARENT);
    for (size_t i = 0; i < chars.size(); ++i) {
        const WCHAR c = chars[i];
        ExtTextOutW(direct->drawDC, positions[i].x, positions[i].y, 0, nullptr, &c, 1, nullptr);
    }
    GdiFlush();
    SelectObject(direct->drawDC, old);
    DeleteObject(font);
    Image image(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) image[y * W + x] = direct->bits[y * direct->stride + 3 * x] != 0xFF;
    BandSurfaceDestroy(direct);
    return image;
}

// The command's mask, assembled from bands of the given height.
Image MaskBands(DisplayJob& job, CmdNode* node, SIZE scale, int bandHeight, int accumulate)
{
    Image image(W * H);
    BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{W, bandHeight}, nullptr, 0, 0);
    for (int top = 0; top < H; top += bandHeight) {
        SetScale(mask->drawDC, scale);
        SetViewportOrgEx(mask->drawDC, 0, -top, nullptr);
        const RECT band{0, top / scale.cy, W / scale.cx, (top + bandHeight + scale.cy - 1) / scale.cy};
        const RECT area{0, 0, W, bandHeight};
        BandSurfaceClear(mask, SIZE{W, bandHeight});
        EXPECT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &area, &area, accumulate), 3);
        GdiFlush();
        for (int y = 0; y < bandHeight && top + y < H; ++y)
            for (int x = 0; x < W; ++x)
                image[(top + y) * W + x] = (mask->bits[y * mask->stride + x / 8] >> (7 - x % 8)) & 1;
        BandSurfaceResetDC(mask);
    }
    BandSurfaceDestroy(mask);
    return image;
}

Image Drawn(DisplayJob& job, CmdNode* node, SIZE scale)
{
    BandSurface* colour = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{W, H}, nullptr, 0, 0);
    BandSurfaceClear(colour, SIZE{W, H});
    SetScale(colour->drawDC, scale);
    const RECT band{0, 0, W / scale.cx, H / scale.cy};
    EXPECT_EQ(CmdRow(node).draw(node, job.store, colour, &band, nullptr), 1);
    GdiFlush();
    Image image(W * H);
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) image[y * W + x] = colour->bits[y * colour->stride + 3 * x] == 0;
    BandSurfaceDestroy(colour);
    return image;
}

// Pixels of `got` that differ from `want` with no pixel of the other value in `want` within
// reach (dx across, dy down): with reach 0 every difference counts.
int FarDifferences(const Image& got, const Image& want, int dx, int dy)
{
    int far = 0;
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            if (got[y * W + x] == want[y * W + x]) continue;
            bool edge = false;
            for (int j = -dy; j <= dy && !edge; ++j)
                for (int i = -dx; i <= dx && !edge; ++i) {
                    const int u = x + i, v = y + j;
                    edge = u >= 0 && v >= 0 && u < W && v < H && want[v * W + u] == got[y * W + x];
                }
            far += !edge;
        }
    return far;
}

int Ink(const Image& image) { return int(std::count(image.begin(), image.end(), 1)); }

// The own cache fills each glyph's outline as GDI gives it at the font's logical size, stretched
// by the DC (a turned font keeps its angle in logical units). The oracle is the stand-in's 1:1
// rendering with each pixel repeated by the scale: the two differ by the outline's rounding and
// the fill rule at the edges only, so every differing pixel lies within one logical pixel plus
// one device pixel of the oracle's own edge, and the ink differs by less than a fifth. Plain
// fonts, and any font under equal scaling, stay with GDI and match its scaled drawing exactly.
TEST(TextOwnCache, UnequalScalingDrawsNonPlainFontsFromGdiOutlines)
{
    struct Case {
        const char* what;
        const char* face;
        int height;
        BYTE italic;
        LONG weight;
        LONG escapement;
        SIZE scale;
        bool own;
    } cases[] = {
        {"italic, twice as wide", "Arial", -24, 1, 400, 0, {2, 1}, true},
        {"bold, twice as tall", "Times New Roman", 28, 0, 700, 0, {1, 2}, true},
        {"turned by 20 degrees", "DejaVu Sans", -18, 0, 400, 200, {2, 1}, true},
        {"plain, twice as wide", "Arial", -24, 0, 400, 0, {2, 1}, false},
        {"italic, equal scaling", "Arial", -24, 1, 400, 0, {2, 2}, false},
    };
    const std::u16string chars = u"Hxg@Wq";
    for (const Case& c : cases) {
        LOGFONTA lf{};
        lf.lfHeight = c.height;
        lf.lfItalic = c.italic;
        lf.lfWeight = c.weight;
        lf.lfEscapement = c.escapement;
        lf.lfOrientation = c.escapement;
        lf.lfQuality = NONANTIALIASED_QUALITY;
        std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", c.face);
        std::vector<POINT> positions;
        for (size_t i = 0; i < chars.size(); ++i)
            positions.push_back(POINT{LONG(4 + 30 * i) / c.scale.cx, LONG(56 / c.scale.cy)});
        DisplayJob job;
        SpoolBuilder body;
        body.Raw(38, 1, LogFontRecord(lf)).Raw(kTextRecord, 0, TextPayload(positions, chars));
        ASSERT_EQ(job.Read(body), 1) << c.what;
        CmdNode* node = job.Nodes().at(0);
        const Image want = StandIn(lf, c.scale, positions, chars, c.own);
        ASSERT_GT(Ink(want), 200) << c.what;
        const int dx = c.own ? c.scale.cx + 1 : 0, dy = c.own ? c.scale.cy + 1 : 0;
        auto expectClose = [&](const Image& got, const std::string& road) {
            EXPECT_EQ(FarDifferences(got, want, dx, dy), 0) << c.what << ": " << road;
            EXPECT_EQ(FarDifferences(want, got, dx, dy), 0) << c.what << ": " << road;
            EXPECT_LT(std::abs(Ink(got) - Ink(want)) * 5, Ink(want)) << c.what << ": " << road;
        };
        for (int bandHeight : {H, 23, 8})
            for (int accumulate : {0, 1})
                expectClose(MaskBands(job, node, c.scale, bandHeight, accumulate),
                            "band " + std::to_string(bandHeight) + " accumulate " + std::to_string(accumulate));
        expectClose(Drawn(job, node, c.scale), "drawn directly");
        FontEntry* font = FontLookup(&job.store->fonts, 1);
        ASSERT_NE(font, nullptr);
        EXPECT_EQ((font->head.flags & FONT_OWN_CACHE) != 0, c.own) << c.what;
        if (c.own) {
            // The glyphs came from GDI, kept by (kind, code): wide characters are kind 2.
            ASSERT_NE(font->cache, nullptr);
            for (char16_t ch : chars)
                EXPECT_NE(GlyphFind(font->cache, 2, uint16_t(ch)), nullptr) << c.what << " " << int(ch);
            EXPECT_EQ(GlyphFind(font->cache, 0, uint16_t('H')), nullptr) << c.what;
        }
        ResourceCost tally{};
        FontRelease(&job.store->fonts, font, 0, &tally);
    }
}

}  // namespace
