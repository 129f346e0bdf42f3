// The Text command: records read into nodes (spaces removed, empty texts dropped, missing
// resources failing the page), and text drawn directly and into band masks compared with the
// GDI stand-in drawing the same characters itself.
#include <gtest/gtest.h>

#include "tests/support/display_job.h"

#include "engine/display/cmd_ops.h"
#include "engine/raster/band_surface.h"
#include "platform/gdi_text.h"

namespace {

std::vector<uint8_t> LogFontRecord(uint32_t id, const char* face, int height, uint32_t flags = 0)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = 400;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", face);
    std::vector<uint8_t> out = Le32s({id, flags, 0});
    const auto* raw = reinterpret_cast<const uint8_t*>(&lf);
    out.insert(out.end(), raw, raw + sizeof lf);
    return out;
}

struct TextSpec {
    std::vector<POINT> positions;
    std::u16string chars;
    uint32_t font = 1, clip = 0, brush = RESOURCE_ID_BLACK;
    uint8_t mix = R2_COPYPEN, mix2 = R2_NOP;
    uint16_t flags = 0x2;
    RECT bounds{0, 0, 200, 60};
    int64_t count = -1;
};

std::vector<uint8_t> TextPayload(const TextSpec& t)
{
    std::vector<uint8_t> out = Le32s({t.bounds.left, t.bounds.top, t.bounds.right, t.bounds.bottom, 0, 0, t.font,
                                      t.clip, t.brush, t.count >= 0 ? t.count : int64_t(t.positions.size())});
    out.push_back(uint8_t(t.flags));
    out.push_back(uint8_t(t.flags >> 8));
    out.push_back(t.mix);
    out.push_back(t.mix2);
    for (POINT p : t.positions) {
        const auto xy = Le32s({p.x, p.y});
        out.insert(out.end(), xy.begin(), xy.end());
    }
    for (char16_t c : t.chars) {
        out.push_back(uint8_t(c));
        out.push_back(uint8_t(c >> 8));
    }
    return out;
}

constexpr uint16_t kTextRecord = 16;

TEST(TextCommand, RecordsReadIntoNodes)
{
    struct Case {
        const char* what;
        TextSpec text;
        int result;
        size_t nodes;
    } cases[] = {
        {"plain", {{{10, 30}, {22, 30}}, u"AB"}, 1, 1},
        {"both mixes NOP", {{{10, 30}}, u"A", 1, 0, RESOURCE_ID_BLACK, R2_NOP, R2_NOP}, 1, 0},
        {"spaces only", {{{10, 30}, {20, 30}}, u"  "}, 1, 0},
        {"missing font", {{{10, 30}}, u"A", 9}, 0, 0},
        {"missing brush", {{{10, 30}}, u"A", 1, 0, 77}, 0, 0},
        {"missing clip", {{{10, 30}}, u"A", 1, 5}, 0, 0},
        {"count beyond the record",
         {{{10, 30}}, u"A", 1, 0, RESOURCE_ID_BLACK, R2_COPYPEN, R2_NOP, 0x2, {0, 0, 200, 60}, 1000},
         0,
         0},
    };
    for (const Case& c : cases) {
        DisplayJob job;
        SpoolBuilder body;
        body.Raw(38, 1, LogFontRecord(1, "Arial", -20)).Raw(kTextRecord, 0, TextPayload(c.text));
        // A record after the one tested is still read from its own start.
        body.Raw(kTextRecord, 0, TextPayload({{{1, 40}}, u"Z"}));
        EXPECT_EQ(job.Read(body), c.result) << c.what;
        if (c.result) {
            EXPECT_EQ(job.Nodes().size(), c.nodes + 1) << c.what;
        }
    }
}

TEST(TextCommand, WideSpacesAreRemovedWithTheirPositions)
{
    DisplayJob job;
    SpoolBuilder body;
    body.Raw(38, 1, LogFontRecord(1, "Arial", -20))
        .Raw(kTextRecord, 0, TextPayload({{{1, 30}, {11, 31}, {21, 32}, {31, 33}}, u" A B"}));
    ASSERT_EQ(job.Read(body), 1);
    ASSERT_EQ(job.Nodes().size(), 1u);
    CmdNode* node = job.Nodes()[0];
    EXPECT_EQ(node->op, CmdOpText);
    // Drawing it matches drawing A at (11, 31) and B at (31, 33).
    BandSurface* drawn = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{64, 48}, nullptr, 0, 0);
    BandSurface* direct = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{64, 48}, nullptr, 0, 0);
    BandSurfaceClear(drawn, SIZE{64, 48});
    BandSurfaceClear(direct, SIZE{64, 48});
    const RECT band{0, 0, 64, 48};
    ASSERT_EQ(CmdRow(node).draw(node, job.store, drawn, &band, nullptr), 1);
    LOGFONTA lf{};
    lf.lfHeight = -20;
    std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "Arial");
    HFONT font = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(direct->drawDC, font);
    SetBkMode(direct->drawDC, TRANSPARENT);
    const WCHAR a = L'A', b = L'B';
    ExtTextOutW(direct->drawDC, 11, 31, 0, nullptr, &a, 1, nullptr);
    ExtTextOutW(direct->drawDC, 31, 33, 0, nullptr, &b, 1, nullptr);
    GdiFlush();
    SelectObject(direct->drawDC, old);
    DeleteObject(font);
    EXPECT_EQ(0, std::memcmp(drawn->bits, direct->bits, drawn->stride * 48));
    EXPECT_NE(std::count(drawn->bits, drawn->bits + drawn->stride * 48, 0), 0) << "ink drawn";
    BandSurfaceDestroy(drawn);
    BandSurfaceDestroy(direct);
}

// Per-pixel reference: text drawn into a band mask through the command (clean and accumulating
// masks, several bands cutting the text) sets exactly the pixels the stand-in inks itself.
TEST(TextCommand, BandMasksHoldTheStandInsPixels)
{
    const std::u16string chars = u"Hxg@Wq";
    std::vector<POINT> positions;
    for (size_t i = 0; i < chars.size(); ++i) positions.push_back(POINT{LONG(4 + 21 * i), 40});
    struct Case {
        const char* face;
        int height;
        uint32_t fontFlags;
    } faces[] = {{"Arial", -24, 0}, {"Times New Roman", 30, 0}, {"Courier New", -18, 0x20}};
    for (const Case& f : faces) {
        DisplayJob job;
        SpoolBuilder body;
        body.Raw(38, 1, LogFontRecord(1, f.face, f.height, f.fontFlags))
            .Raw(kTextRecord, 0, TextPayload({positions, chars}));
        ASSERT_EQ(job.Read(body), 1);
        CmdNode* node = job.Nodes().at(0);
        const int width = 160, height = 64;
        // The oracle: the whole text drawn by the stand-in into a colour surface, ink = not white.
        BandSurface* direct = BandSurfaceCreate(BAND_SURFACE_COLOR, SIZE{width, height}, nullptr, 0, 0);
        BandSurfaceClear(direct, SIZE{width, height});
        LOGFONTA lf{};
        lf.lfHeight = f.height;
        std::snprintf(lf.lfFaceName, sizeof lf.lfFaceName, "%s", f.face);
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
        auto inked = [&](int x, int y) { return direct->bits[y * direct->stride + 3 * x] != 0xFF; };
        for (int bandHeight : {64, 23, 8}) {
            for (int accumulate : {0, 1}) {
                BandSurface* mask = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{width, bandHeight}, nullptr, 0, 0);
                for (int top = 0; top < height; top += bandHeight) {
                    const RECT band{0, top, width, top + bandHeight};
                    const RECT area{0, 0, width, bandHeight};
                    const RECT clear{0, 0, width, bandHeight};
                    BandSurfaceClear(mask, SIZE{width, bandHeight});
                    SetViewportOrgEx(mask->drawDC, 0, -top, nullptr);
                    ASSERT_EQ(CmdRow(node).renderBand(node, job.store, mask, &band, &area, &clear, accumulate), 3);
                    GdiFlush();
                    int wrong = 0;
                    for (int y = 0; y < bandHeight && top + y < height; ++y)
                        for (int x = 0; x < width; ++x) {
                            const bool bit = (mask->bits[y * mask->stride + x / 8] >> (7 - x % 8)) & 1;
                            wrong += bit != inked(x, top + y);
                        }
                    EXPECT_EQ(wrong, 0) << f.face << " band " << bandHeight << " at " << top << " accumulate "
                                        << accumulate;
                    BandSurfaceResetDC(mask);
                }
                BandSurfaceDestroy(mask);
            }
        }
        BandSurfaceDestroy(direct);
    }
}

TEST(TextCommand, ColourClasses)
{
    struct Case {
        uint32_t brush;
        uint8_t mix;
        int result;
    } cases[] = {
        {0x800000FF, R2_COPYPEN, CMD_COLOR_SOLID},
        {RESOURCE_ID_BLACK, R2_BLACK, CMD_COLOR_DRAW_RESTORE},
        {RESOURCE_ID_BLACK, R2_NOTCOPYPEN, CMD_COLOR_DRAW_RESTORE},
        {RESOURCE_ID_BLACK, R2_XORPEN, CMD_COLOR_LEVEL_IMAGE},
    };
    for (const Case& c : cases) {
        DisplayJob job;
        SpoolBuilder body;
        TextSpec t{{{1, 30}}, u"A"};
        t.brush = c.brush;
        t.mix = c.mix;
        body.Raw(38, 1, LogFontRecord(1, "Arial", -20)).Raw(kTextRecord, 0, TextPayload(t));
        ASSERT_EQ(job.Read(body), 1);
        CmdNode* node = job.Nodes().at(0);
        uint32_t colour = 0xABCDEF;
        uint8_t hint = 0;
        EXPECT_EQ(CmdRow(node).colorClassGet(node, &colour, &hint, 0), c.result) << int(c.mix);
        EXPECT_EQ(hint, 1);
        if (c.result == CMD_COLOR_SOLID) {
            EXPECT_EQ(colour, 0xFFu);
        }
        CmdNode* copy = CmdRow(node).clone(node, job.store);
        ASSERT_NE(copy, nullptr);
        CmdRow(copy).destroy(copy, job.store);
    }
}

}  // namespace
