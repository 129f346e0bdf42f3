// Characters given to GDI as runs (one call per baseline, the advances the differences of the
// positions) against the same characters given one call each: the pixels must be the same for
// random strings and spacings, in 1-bit and colour bitmaps, clipped, cut into bands and mapped
// at whole and at fractional scales.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/display/commands/text_runs.h"
#include "platform/gdi.h"
#include "platform/gdi_text.h"

namespace {

constexpr int kWidth = 300, kHeight = 90;

// A memory DC over a top-down DIB of the given depth, cleared to white.
struct Surface {
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = nullptr;
    HGDIOBJ old = nullptr;
    uint8_t* bits = nullptr;
    size_t bytes = 0;
    explicit Surface(int bpp)
    {
        struct {
            BITMAPINFOHEADER h;
            RGBQUAD c[2];
        } info{{40, kWidth, -kHeight, 1, WORD(bpp), BI_RGB, 0, 0, 0, 0, 0}, {{0, 0, 0, 0}, {255, 255, 255, 0}}};
        void* raw = nullptr;
        bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &raw, nullptr, 0);
        bits = static_cast<uint8_t*>(raw);
        bytes = size_t((kWidth * bpp + 31) / 32 * 4) * kHeight;
        old = SelectObject(dc, bitmap);
    }
    ~Surface()
    {
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
    }
    void Clear() { PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS); }
    std::vector<uint8_t> Pixels() const { return std::vector<uint8_t>(bits, bits + bytes); }
};

// Lines of random characters (letters, marks, Cyrillic and now and then a surrogate pair) at
// random spacings: tight, overlapping, backwards and far apart.
std::vector<TextChar> RandomText(std::mt19937& random, int lines, bool glyphIndices)
{
    static const char16_t kPool[] = u"AaBbWwgjqy@#%&.,;!|()[]{}0123456789\u0416\u044f\u00e9\u00c5";
    std::vector<TextChar> chars;
    for (int line = 0; line < lines; ++line) {
        int32_t x = int32_t(random() % 40) - 20;
        const int32_t y = 18 + line * 24 + int32_t(random() % 5);
        const int count = 3 + int(random() % 20);
        for (int i = 0; i < count; ++i) {
            if (!glyphIndices && random() % 17 == 0) {  // a pair the run must not join
                chars.push_back(TextChar{x, y, 0xD83D});
                chars.push_back(TextChar{x, y, 0xDE00});
            } else {
                const WCHAR c =
                    glyphIndices ? WCHAR(3 + random() % 80) : WCHAR(kPool[random() % (std::size(kPool) - 1)]);
                chars.push_back(TextChar{x, y, c});
            }
            const int kind = int(random() % 10);
            x += kind == 0 ? -int32_t(random() % 12) : kind == 1 ? int32_t(random() % 90) : 4 + int32_t(random() % 14);
        }
    }
    return chars;
}

struct Mapping {
    const char* what;
    int windowX, viewportX, windowY, viewportY;
    bool exact;  // runs may be used
};

const Mapping kMappings[] = {
    {"one to one", 1, 1, 1, 1, true},
    {"twice across", 100, 200, 100, 200, true},
    {"three across, one and a half down", 2, 6, 2, 3, true},
    {"one and a half across", 2, 3, 1, 1, false},
    {"mirrored", 1, -1, 1, 1, false},
    {"upside down", 1, 1, 1, -1, true},
};

TEST(TextRuns, OneCallPerRunDrawsWhatOneCallPerCharacterDraws)
{
    std::mt19937 random(20261211);
    HFONT fonts[2];
    for (int i = 0; i < 2; ++i) {
        LOGFONTW lf{};
        lf.lfHeight = i == 0 ? -15 : 13;
        lf.lfWeight = i == 0 ? 400 : 700;
        lf.lfItalic = BYTE(i);
        const std::u16string face = i == 0 ? u"Arial" : u"Times New Roman";
        std::copy(face.begin(), face.end(), lf.lfFaceName);
        fonts[i] = CreateFontIndirectW(&lf);
        ASSERT_NE(fonts[i], nullptr);
    }
    int runsTried = 0;
    for (int bpp : {1, 24}) {
        Surface runs(bpp), alone(bpp);
        for (const Mapping& m : kMappings) {
            for (int round = 0; round < 6; ++round) {
                const bool glyphIndices = round % 3 == 2;
                const std::vector<TextChar> chars = RandomText(random, 1 + int(random() % 4), glyphIndices);
                // A band cut: the band's origin moved up, a clip rectangle or none, some rounds.
                const int bandTop = round % 2 ? int(random() % 30) : 0;
                const bool clipped = round % 3 == 1;
                const RECT clip{int(random() % 60), int(random() % 30), 150 + int(random() % 150),
                                40 + int(random() % 50)};
                std::vector<uint8_t> drawn[2];
                for (int side = 0; side < 2; ++side) {
                    Surface& s = side == 0 ? runs : alone;
                    s.Clear();
                    SetMapMode(s.dc, MM_ANISOTROPIC);
                    SetWindowExtEx(s.dc, m.windowX, m.windowY, nullptr);
                    SetViewportExtEx(s.dc, m.viewportX, m.viewportY, nullptr);
                    SetViewportOrgEx(s.dc, m.viewportX < 0 ? kWidth - 20 : 10, m.viewportY < 0 ? kHeight : -bandTop,
                                     nullptr);
                    HRGN region = clipped ? CreateRectRgnIndirect(&clip) : nullptr;
                    SelectClipRgn(s.dc, region);
                    if (region) DeleteObject(region);
                    HGDIOBJ old = SelectObject(s.dc, fonts[round % 2]);
                    SetBkMode(s.dc, TRANSPARENT);
                    SetTextAlign(s.dc, TA_BASELINE);
                    SetTextColor(s.dc, RGB(0, 0, 0));
                    const bool useRuns = side == 0 && TextRunsExact(s.dc, 0, 0);
                    runsTried += useRuns;
                    std::vector<INT> advances;
                    TextCharsOut(s.dc, chars, glyphIndices, useRuns, advances);
                    GdiFlush();
                    SelectObject(s.dc, old);
                    SelectClipRgn(s.dc, nullptr);
                    drawn[side] = s.Pixels();
                }
                EXPECT_EQ(TextRunsExact(runs.dc, 0, 0), m.exact) << m.what;
                ASSERT_EQ(drawn[0], drawn[1]) << m.what << ", " << bpp << " bits, round " << round;
                EXPECT_NE(drawn[1], std::vector<uint8_t>(drawn[1].size(), 0xFF)) << "nothing drawn: " << m.what;
            }
        }
    }
    EXPECT_GT(runsTried, 0);
    for (HFONT f : fonts) DeleteObject(f);
}

TEST(TextRuns, TurnedTextAndMappingsThatRoundAreDrawnPerCharacter)
{
    Surface s(1);
    EXPECT_TRUE(TextRunsExact(s.dc, 0, 0));  // MM_TEXT
    EXPECT_FALSE(TextRunsExact(s.dc, 900, 900));
    EXPECT_FALSE(TextRunsExact(s.dc, 0, 450));
    SetMapMode(s.dc, MM_ANISOTROPIC);
    SetWindowExtEx(s.dc, 3, 1, nullptr);
    SetViewportExtEx(s.dc, 1, 1, nullptr);  // a third of a pixel per unit
    EXPECT_FALSE(TextRunsExact(s.dc, 0, 0));
    SetViewportExtEx(s.dc, 3 << 15, 1, nullptr);  // a scale too large to keep exact
    EXPECT_FALSE(TextRunsExact(s.dc, 0, 0));
}

}  // namespace
