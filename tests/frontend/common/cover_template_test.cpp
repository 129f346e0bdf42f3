// The cover-page template: styles read from INI files, placed on pages in template units, and
// drawn, checked against the numbers the layout rules give and the pixels the drawing leaves.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "frontend/common/cover_template.h"
#include "platform/gdi.h"
#include "platform/user.h"
#include "tests/frontend/frontend_env.h"

namespace {

std::u16string TemplateFile(const FrontendEnv& env, const std::string& text)
{
    const std::string path = env.file("CP.INI");
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    return Wide(path);
}

const RECT kA4{0, 0, 3240, 4583};  // portrait at 392 pixels per inch
const SIZE kTitle{100, 50};  // a measured title, so the numbers do not depend on fonts

TEST(CoverTemplate, UnitsFollowThePageAndOrientation)
{
    EXPECT_EQ(CoverPageUnit(3240, 4583, false), 32);
    EXPECT_EQ(CoverPageUnit(4583, 3240, true), 32);
    EXPECT_EQ(CoverPageUnit(404, 520, false), 4);
    EXPECT_EQ(CoverPageUnit(100, 520, false), 0);
}

TEST(CoverTemplate, StylesAreLaidOutByTheRules)
{
    struct Case {
        const char* name;
        std::string style;  // the body of [STYLE1]
        bool centred;
        POINT titleAt;
        RECT box;
        size_t lines;
        POINT firstLineFrom;
        POINT anchor;
    } cases[] = {
        {"lower-case center is not CENTER",
         "ALIGN=center\nTITLE_X=10\nTITLE_Y=5\n",
         false,
         {320, 160},
         {319, 160, 421, 210},
         0,
         {},
         {320, 210}},
        {"no lines: the anchor is the title's foot",
         "TITLE_X=3\nTITLE_Y=2\nLINE_COUNT=0\nLINE1_SX=9\n",
         false,
         {96, 64},
         {95, 64, 197, 114},
         0,
         {},
         {96, 114}},
        {"a centred boxed title",
         "ALIGN=CENTER\nTITLE_X=50\nTITLE_Y=4\nRECTANGLE=1\n",
         true,
         {1620, 128},
         {1569, 128, 1671, 178},
         0,
         {},
         {1620, 178}},
        {"a negative x counts from the right edge",
         "LINE_COUNT=1\nLINE1_SX=-15\nLINE1_SY=40\nLINE1_EX=80\nLINE1_EY=40\n",
         false,
         {0, 0},
         {-1, 0, 101, 50},
         1,
         {2760, 1280},
         {2760, 1280}},
        {"a negative y counts from the bottom",
         "LINE_COUNT=1\nLINE1_SX=5\nLINE1_SY=-20\n",
         false,
         {0, 0},
         {-1, 0, 101, 50},
         1,
         {160, 3943},
         {160, 3943}},
        {"the anchor is the last line's start",
         "LINE_COUNT=2\nLINE1_SX=1\nLINE1_SY=2\nLINE2_SX=7\nLINE2_SY=9\n",
         false,
         {0, 0},
         {-1, 0, 101, 50},
         2,
         {32, 64},
         {224, 288}},
        {"lines counted beyond those defined end at the corner",
         "LINE_COUNT=1000000000\nLINE1_SX=7\nLINE1_SY=9\n",
         false,
         {0, 0},
         {-1, 0, 101, 50},
         2,
         {224, 288},
         {0, 0}},
        {"absurd values are held far outside the page",
         "TITLE_Y=2000000000\nTITLE_X=-2000000000\n",
         false,
         {-(1 << 27), 1 << 27},
         {-(1 << 27), 1 << 27, -(1 << 27) + 101, 1 << 27},
         0,
         {},
         {-(1 << 27), 1 << 27}},
    };
    FrontendEnv env;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = TemplateFile(env, "[DEFINE]\nCOUNT=1\n[STYLE1]\n" + c.style);
        CoverPageTemplate style;
        CoverPageTemplateRead(path.c_str(), 1, &style);
        EXPECT_EQ(style.centred, c.centred);
        const CoverPageLayout layout = CoverPageLayoutMake(style, kA4, 32, kTitle);
        EXPECT_EQ(layout.titleAlign, c.centred ? UINT(TA_CENTER | TA_TOP) : UINT(TA_LEFT | TA_TOP));
        EXPECT_EQ(layout.titleAt.x, c.titleAt.x);
        EXPECT_EQ(layout.titleAt.y, c.titleAt.y);
        EXPECT_TRUE(EqualRect(&layout.titleBox, &c.box)) << layout.titleBox.left << "," << layout.titleBox.top << ","
                                                         << layout.titleBox.right << "," << layout.titleBox.bottom;
        ASSERT_EQ(layout.lines.size(), c.lines);
        if (c.lines > 0) {
            EXPECT_EQ(layout.lines[0].from.x, c.firstLineFrom.x);
            EXPECT_EQ(layout.lines[0].from.y, c.firstLineFrom.y);
        }
        EXPECT_EQ(layout.anchor.x, c.anchor.x);
        EXPECT_EQ(layout.anchor.y, c.anchor.y);
        // The bottom rule, for every style: 15 units in from each side, 20 up from the bottom.
        EXPECT_EQ(layout.bottomRule.from.x, 480);
        EXPECT_EQ(layout.bottomRule.to.x, 2760);
        EXPECT_EQ(layout.bottomRule.from.y, 3943);
        EXPECT_EQ(layout.bottomRule.to.y, 3943);
    }
}

TEST(CoverTemplate, MissingFileSectionOrKeysGiveTheDefaults)
{
    FrontendEnv env;
    const std::u16string present =
        TemplateFile(env,
                     "[DEFINE]\nFONTNAME=Liberation Serif\nCHARSET=204\nCOUNT=3\n[STYLE2]\nTITLE_STRING=Телефакс\n");
    const std::u16string missing = Wide(env.file("none.ini"));
    struct Case {
        const char* name;
        const std::u16string* path;
        WORD style;
        std::u16string font, title;
        int charset, count;
    } cases[] = {
        {"no file", &missing, 1, u"Sarvic", u"FAX", 0, 0},
        {"no such style", &present, 1, u"Liberation Serif", u"FAX", 204, 3},
        {"a style", &present, 2, u"Liberation Serif", u"Телефакс", 204, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CoverPageTemplate style;
        CoverPageTemplateRead(c.path->c_str(), c.style, &style);
        EXPECT_EQ(std::u16string(style.fontName), c.font);
        EXPECT_EQ(std::u16string(style.title), c.title);
        EXPECT_EQ(style.charset, c.charset);
        EXPECT_EQ(style.titleFontSize, 0);
        EXPECT_TRUE(style.lines.empty());
        EXPECT_EQ(CoverPageStyleCount(c.path->c_str()), c.count);
    }
}

// A page of 404 x 520 pixels (u = 4) drawn by the print reader into a 24-bit bitmap.
struct Page {
    HDC dc = CreateCompatibleDC(nullptr);
    uint8_t* bits = nullptr;
    HBITMAP bitmap;
    static constexpr int w = 404, h = 520;
    Page()
    {
        BITMAPINFO info{};
        info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
        bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, reinterpret_cast<void**>(&bits), nullptr, 0);
        SelectObject(dc, bitmap);
        RECT all{0, 0, w, h};
        FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    }
    ~Page()
    {
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    bool Black(int x, int y) const
    {
        const uint8_t* p = bits + size_t(y) * ((w * 3 + 3) & ~3) + size_t(x) * 3;
        return p[0] == 0 && p[1] == 0 && p[2] == 0;
    }
    int BlackIn(const RECT& r) const
    {
        int n = 0;
        for (int y = std::max<LONG>(r.top, 0); y < std::min<LONG>(r.bottom, h); ++y)
            for (int x = std::max<LONG>(r.left, 0); x < std::min<LONG>(r.right, w); ++x) n += Black(x, y);
        return n;
    }
};

TEST(CoverTemplate, PrintDrawsTheBoxLinesRuleAndSubjectWhereTheLayoutPutsThem)
{
    FrontendEnv env;
    const std::u16string path =
        TemplateFile(env,
                     "[DEFINE]\nFONTNAME=Liberation Sans\n[STYLE1]\nTITLE_FONTSIZE=8\nALIGN=CENTER\n"
                     "TITLE_Y=5\nTITLE_STRING=FAX\nRECTANGLE=1\nLINE_COUNT=1\nLINE1_SX=10\n"
                     "LINE1_SY=40\nLINE1_EX=-10\nLINE1_EY=40\n");
    CoverPageSettings settings{};
    settings.style = 1;
    settings.showSubject = 1;
    const std::u16string subject = u"Счёт 42";
    std::copy(subject.begin(), subject.end(), settings.subject);
    Page page;
    const RECT whole{0, 0, Page::w, Page::h};
    const CoverPageMarks marks = CoverPageStyleDraw(page.dc, whole, 4, CoverPageReader::Print, settings, path.c_str());
    GdiFlush();
    EXPECT_EQ(marks.anchor.x, 40);
    EXPECT_EQ(marks.anchor.y, 160);
    EXPECT_TRUE(marks.subjectDrawn);
    EXPECT_GT(marks.labelHeight, 0);
    EXPECT_LT(marks.labelHeight, 3 * 19 * 4 / 10);
    // The black box is centred on the page middle, the white title inside it.
    const int boxTop = 20;
    int left = Page::w, right = 0, whiteInside = 0;
    for (int x = 0; x < Page::w; ++x)
        if (page.Black(x, boxTop + 2)) left = std::min(left, x), right = std::max(right, x);
    ASSERT_LT(left, right);
    EXPECT_LE(std::abs((left + right + 1) / 2 - Page::w / 2), 1);
    EXPECT_FALSE(page.Black(left, boxTop - 1));
    for (int y = boxTop; y < boxTop + 30; ++y)
        for (int x = left; x <= right; ++x) whiteInside += !page.Black(x, y);
    EXPECT_GT(whiteInside, 20);
    // The template line (8 pixels wide) from 40 to 404 - 40, and the bottom rule at 520 - 80 from
    // 60 to 404 - 60.
    for (int x : {40, 200, 363}) EXPECT_TRUE(page.Black(x, 160)) << x;
    for (int x : {40, 363}) EXPECT_FALSE(page.Black(x, 150)) << x;
    for (int x : {60, 200, 343}) EXPECT_TRUE(page.Black(x, 440)) << x;
    for (int x : {40, 363}) EXPECT_FALSE(page.Black(x, 440)) << x;
    // The subject stands on the anchor line, centred like the title: ink above the line around
    // the middle, none at its left end, none in the band under the line.
    EXPECT_GT(page.BlackIn({150, 160 - 20, 254, 156}), 20);
    EXPECT_EQ(page.BlackIn({0, 160 - 20, 120, 156}), 0);
    EXPECT_EQ(page.BlackIn({0, 170, Page::w, 430}), 0);
}

// The shipped template: every style it offers lays out inside the A4 page in both orientations.
TEST(CoverTemplate, TheShippedStylesLieInsideThePage)
{
    const std::u16string path = Wide(SAMPLE_TEMPLATE);
    const int count = CoverPageStyleCount(path.c_str());
    ASSERT_GE(count, 3);
    for (bool landscape : {false, true}) {
        const RECT page = landscape ? RECT{0, 0, 4583, 3240} : kA4;
        const LONG unit = CoverPageUnit(page.right, page.bottom, landscape);
        for (WORD number = 1; number <= count; ++number) {
            SCOPED_TRACE("style " + std::to_string(number) + (landscape ? ", landscape" : ", portrait"));
            CoverPageTemplate style;
            CoverPageTemplateRead(path.c_str(), number, &style);
            EXPECT_GT(style.titleFontSize, 0);
            const CoverPageLayout layout =
                CoverPageLayoutMake(style, page, unit,
                                    SIZE{style.titleFontSize * unit * 4, style.titleFontSize * unit});
            auto inside = [&](POINT p) { return p.x >= 0 && p.x < page.right && p.y >= 0 && p.y < page.bottom; };
            EXPECT_TRUE(inside(layout.titleAt));
            EXPECT_TRUE(inside(layout.anchor));
            for (const CoverPageSegment& line : layout.lines) EXPECT_TRUE(inside(line.from) && inside(line.to));
            EXPECT_LT(layout.anchor.y, layout.bottomRule.from.y);
        }
    }
}

}  // namespace
