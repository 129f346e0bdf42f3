// Face matching, heights and metrics, and private fonts installed from files and from memory,
// damaged ones included.
#include <gtest/gtest.h>

#include <freetype/tttables.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/kernel.h"
#include "text_fixture.h"

namespace {

struct MatchCase {
    const wchar_t* face;
    LONG weight;
    bool italic;
    BYTE pitchAndFamily;
    const char* family;
    const char* file;
    bool emboldened;
    bool slanted;
};

const MatchCase kMatches[] = {
    {L"Arial", 400, false, 0, "Liberation Sans", "LiberationSans-Regular.ttf", false, false},
    {L"arial", 700, true, 0, "Liberation Sans", "LiberationSans-BoldItalic.ttf", false, false},
    {L"@Arial", 400, false, 0, "Liberation Sans", "LiberationSans-Regular.ttf", false, false},
    {L"Times New Roman", 700, false, 0, "Liberation Serif", "LiberationSerif-Bold.ttf", false, false},
    {L"Courier New", 400, true, 0, "Liberation Mono", "LiberationMono-Italic.ttf", false, false},
    {L"DejaVu Sans", 400, true, 0, "DejaVu Sans", "DejaVuSans.ttf", false, true},
    {L"DejaVu Serif", 700, true, 0, "DejaVu Serif", "DejaVuSerif-Bold.ttf", false, true},
    {L"DejaVu Sans Mono", 900, false, 0, "DejaVu Sans Mono", "DejaVuSansMono-Bold.ttf", false, false},
    {L"MS Sans Serif", 400, false, 0, "DejaVu Sans", "DejaVuSans.ttf", false, false},
    {L"Sarvic", 400, false, 0, "DejaVu Sans", "DejaVuSans.ttf", false, false},
    {L"", 400, false, FF_ROMAN, "DejaVu Serif", "DejaVuSerif.ttf", false, false},
    {L"", 400, false, FF_MODERN, "DejaVu Sans Mono", "DejaVuSansMono.ttf", false, false},
    {L"", 400, false, FIXED_PITCH, "DejaVu Sans Mono", "DejaVuSansMono.ttf", false, false},
    {L"", 0, false, 0, "DejaVu Sans", "DejaVuSans.ttf", false, false},
};

std::string Base(const char* path)
{
    const char* slash = std::strrchr(path, '/');
    return slash ? slash + 1 : path;
}

TEST(FontMatch, FaceNamesWeightsAndSlants)
{
    for (const MatchCase& m : kMatches) {
        LOGFONTW log = MakeLogFont(m.face, -20, m.weight, m.italic, 0, m.pitchAndFamily);
        HFONT font = CreateFontIndirectW(&log);
        ASSERT_NE(font, nullptr);
        FontRealization r{};
        ASSERT_TRUE(GetFontRealization(font, &r));
        const std::string what =
            std::string(m.family) + " for face " + std::to_string(m.face[0]) + " weight " + std::to_string(m.weight);
        EXPECT_STREQ(r.family, m.family) << what;
        EXPECT_EQ(Base(r.file), m.file) << what;
        EXPECT_EQ(bool(r.emboldened), m.emboldened) << what;
        EXPECT_EQ(bool(r.slanted), m.slanted) << what;
        EXPECT_TRUE(DeleteObject(font));
    }
    // The narrow form reads a UTF-8 face name.
    LOGFONTA narrow{};
    narrow.lfHeight = -12;
    std::strcpy(narrow.lfFaceName, "Courier New");
    HFONT font = CreateFontIndirectA(&narrow);
    FontRealization r{};
    GetFontRealization(font, &r);
    EXPECT_STREQ(r.family, "Liberation Mono");
    DeleteObject(font);
    EXPECT_EQ(CreateFontIndirectW(nullptr), nullptr);
}

TEST(FontMatch, FreshDcHoldsTheDefaultFont)
{
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW log = MakeLogFont(L"Arial", -10);
    HFONT font = CreateFontIndirectW(&log);
    HGDIOBJ previous = SelectObject(dc, font);
    ASSERT_NE(previous, nullptr);
    EXPECT_EQ(GetObjectType(previous), DWORD(OBJ_FONT));
    FontRealization r{};
    ASSERT_TRUE(GetFontRealization(static_cast<HFONT>(previous), &r));
    EXPECT_STREQ(r.family, "DejaVu Sans");
    EXPECT_FALSE(DeleteObject(font));  // still selected
    EXPECT_EQ(SelectObject(dc, previous), font);
    EXPECT_TRUE(DeleteObject(font));
    DeleteDC(dc);
}

// Heights: a negative height is the em, a positive one the cell (ascent plus descent).
TEST(FontMetrics, HeightsAndMetricsFollowTheFace)
{
    const std::string file = SystemFontFile(L"Arial");
    FT_Library lib;
    FT_Init_FreeType(&lib);
    FT_Face face;
    ASSERT_EQ(FT_New_Face(lib, file.c_str(), 0, &face), 0);
    const TT_OS2* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    const double upem = face->units_per_EM, winAscent = os2->usWinAscent, winDescent = os2->usWinDescent;

    Canvas canvas(64, 64);
    for (LONG height : {-7, -13, -100, 8, 15, 112, 400}) {
        SelectedFont font(canvas.dc, L"Arial", height);
        TEXTMETRICW tm;
        ASSERT_TRUE(GetTextMetricsW(canvas.dc, &tm));
        const double em = height < 0 ? -height : height * upem / (winAscent + winDescent);
        EXPECT_EQ(tm.tmAscent, std::lround(winAscent * std::lround(em * 64) / 64.0 / upem)) << height;
        EXPECT_EQ(tm.tmDescent, std::lround(winDescent * std::lround(em * 64) / 64.0 / upem)) << height;
        EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
        if (height < 0) EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, -height) << height;
        else EXPECT_NEAR(tm.tmHeight, height, 1) << height;
        EXPECT_EQ(tm.tmAveCharWidth, std::lround(os2->xAvgCharWidth * std::lround(em * 64) / 64.0 / upem)) << height;
        EXPECT_GT(tm.tmMaxCharWidth, tm.tmAveCharWidth);
        EXPECT_EQ(tm.tmWeight, 400);
        EXPECT_EQ(tm.tmOverhang, 0);
        EXPECT_EQ(tm.tmPitchAndFamily & (TMPF_FIXED_PITCH | TMPF_TRUETYPE | TMPF_VECTOR),
                  TMPF_FIXED_PITCH | TMPF_TRUETYPE | TMPF_VECTOR);

        // The extent is the sum of FreeType's hinted advances by the cell height.
        FT_Set_Char_Size(face, std::lround(em * 64), std::lround(em * 64), 72, 72);
        long advance = 0;
        for (char16_t c : std::u16string(u"Hello, world")) {
            FT_Load_Glyph(face, FT_Get_Char_Index(face, c), FT_LOAD_NO_BITMAP | FT_LOAD_TARGET_MONO);
            advance += face->glyph->advance.x;
        }
        SIZE size;
        ASSERT_TRUE(GetTextExtentPoint32W(canvas.dc, u"Hello, world", 12, &size));
        EXPECT_EQ(size.cx, (advance + 32) >> 6) << height;
        EXPECT_EQ(size.cy, tm.tmHeight);
        SIZE narrow;
        ASSERT_TRUE(GetTextExtentPoint32A(canvas.dc, "Hello, world", 12, &narrow));
        EXPECT_EQ(narrow.cx, size.cx);

        TEXTMETRICA tma;
        ASSERT_TRUE(GetTextMetricsA(canvas.dc, &tma));
        EXPECT_EQ(std::memcmp(&tma, &tm, offsetof(TEXTMETRICA, tmFirstChar)), 0);
        EXPECT_EQ(tma.tmPitchAndFamily, tm.tmPitchAndFamily);
    }
    FT_Done_Face(face);
    FT_Done_FreeType(lib);

    // Synthesised and real weights as reported; italic, underline and character set from the LOGFONT.
    SelectedFont bold(canvas.dc, L"Arial", -20, 700, true);
    TEXTMETRICW tm;
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &tm));
    EXPECT_EQ(tm.tmWeight, 700);
    EXPECT_NE(tm.tmItalic, 0);
    SelectedFont mono(canvas.dc, L"Courier New", -20);
    ASSERT_TRUE(GetTextMetricsW(canvas.dc, &tm));
    EXPECT_EQ(tm.tmPitchAndFamily & TMPF_FIXED_PITCH, 0);
    EXPECT_EQ(tm.tmItalic, 0);
}

struct TempFile {
    std::string path;
    explicit TempFile(const std::vector<uint8_t>& bytes, const char* name)
    {
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/" + name + std::to_string(::getpid()) + ".ttf";
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile() { std::remove(path.c_str()); }
};

std::string FamilyOf(const wchar_t* face, LONG weight = 400)
{
    LOGFONTW log = MakeLogFont(face, -16, weight);
    HFONT font = CreateFontIndirectW(&log);
    FontRealization r{};
    GetFontRealization(font, &r);
    DeleteObject(font);
    return std::string(r.family) + (r.file[0] ? "" : " (private)") + (r.emboldened ? " (emboldened)" : "");
}

TEST(PrivateFonts, FromAFileFoundByFaceNameUntilRemoved)
{
    const std::string sans = SystemFontFile(L"DejaVu Sans");
    TempFile file(RenamedFont(sans, "Qvfile Sans"), "qvfile");
    EXPECT_EQ(FamilyOf(L"Qvfile Sans"), "DejaVu Sans");  // unknown before
    ASSERT_EQ(AddFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr), 1);
    EXPECT_EQ(FamilyOf(L"qvfile sans"), "Qvfile Sans (private)");
    EXPECT_EQ(FamilyOf(L"@Qvfile Sans", 700), "Qvfile Sans (private) (emboldened)");

    // It draws the glyphs of the file it came from.
    Canvas canvas(200, 60);
    SetBkMode(canvas.dc, TRANSPARENT);
    std::vector<uint8_t> drawn[2];
    {
        SelectedFont font(canvas.dc, L"Qvfile Sans", -30);
        TextOutW(canvas.dc, 5, 5, u"Private", 7);
        drawn[0] = canvas.Mask(RGB(0, 0, 0));
        // A second installation of the same path needs a second removal.
        ASSERT_EQ(AddFontResourceExA(file.path.c_str(), FR_PRIVATE | FR_NOT_ENUM, nullptr), 1);
        EXPECT_TRUE(RemoveFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr));
        EXPECT_EQ(FamilyOf(L"Qvfile Sans"), "Qvfile Sans (private)");
        EXPECT_TRUE(RemoveFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr));
        EXPECT_EQ(FamilyOf(L"Qvfile Sans"), "DejaVu Sans");
        // A font made before the removal keeps its face, even with the file gone.
        std::remove(file.path.c_str());
        canvas.Clear(kWhite);
        TextOutW(canvas.dc, 5, 5, u"Private", 7);
        EXPECT_EQ(canvas.Mask(RGB(0, 0, 0)), drawn[0]);
    }
    canvas.Clear(kWhite);
    SelectedFont font(canvas.dc, L"DejaVu Sans", -30);
    TextOutW(canvas.dc, 5, 5, u"Private", 7);
    drawn[1] = canvas.Mask(RGB(0, 0, 0));
    EXPECT_EQ(drawn[0], drawn[1]);

    SetLastError(0);
    EXPECT_FALSE(RemoveFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(AddFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(AddFontResourceExA(sans.c_str(), 0, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    const std::u16string wide(sans.begin(), sans.end());
    EXPECT_EQ(AddFontResourceExW(wide.c_str(), FR_PRIVATE, nullptr), 1);
    EXPECT_TRUE(RemoveFontResourceExW(wide.c_str(), FR_PRIVATE, nullptr));
}

TEST(PrivateFonts, FromMemoryFoundByFaceNameUntilRemoved)
{
    const std::vector<uint8_t> bytes = RenamedFont(SystemFontFile(L"Times New Roman", 700), "Qvmem Serif");
    DWORD faces = 0;
    HANDLE installed = AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, &faces);
    ASSERT_NE(installed, nullptr);
    EXPECT_EQ(faces, 1u);
    EXPECT_EQ(FamilyOf(L"Qvmem Serif", 700), "Qvmem Serif (private)");  // a bold face: no emboldening
    EXPECT_TRUE(RemoveFontMemResourceEx(installed));
    EXPECT_EQ(FamilyOf(L"Qvmem Serif"), "DejaVu Sans");
    EXPECT_FALSE(RemoveFontMemResourceEx(installed));
    EXPECT_FALSE(RemoveFontMemResourceEx(nullptr));
    EXPECT_EQ(AddFontMemResourceEx(nullptr, 10, nullptr, &faces), nullptr);
    EXPECT_EQ(AddFontMemResourceEx(bytes.data(), DWORD(bytes.size()), nullptr, nullptr), nullptr);
}

void Put32(std::vector<uint8_t>& v, size_t at, uint32_t x)
{
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (24 - 8 * i));
}

// Damaged font data is refused with ERROR_INVALID_DATA, or, where FreeType only finds the damage
// when it reads a glyph, drawn and outlined without harm.
TEST(PrivateFonts, DamagedFontsFailCleanly)
{
    const std::vector<uint8_t> good = RenamedFont(SystemFontFile(L"DejaVu Sans"), "Qvdamaged");
    std::vector<std::vector<uint8_t>> damaged;
    damaged.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 12));  // header only
    damaged.push_back(std::vector<uint8_t>(good.begin(), good.begin() + 200));  // cut in the directory
    damaged.push_back(std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
    damaged.push_back(std::vector<uint8_t>(300, 0x5A));  // not a font
    auto far = good;
    Put32(far, 12 + 8, 0x7FFFFFF0);  // the first table lies far past the end
    damaged.push_back(far);
    auto loca = good;
    for (size_t t = 0; t < 40; ++t) {  // every glyph offset points past the glyph table
        const size_t entry = 12 + 16 * t;
        if (entry + 16 <= loca.size() && std::memcmp(&loca[entry], "loca", 4) == 0) {
            const uint32_t at =
                uint32_t(loca[entry + 8]) << 24 | loca[entry + 9] << 16 | loca[entry + 10] << 8 | loca[entry + 11];
            for (size_t i = at + 8; i < at + 4000 && i < loca.size(); ++i) loca[i] = 0xFF;
        }
    }
    damaged.push_back(loca);
    auto ttc =
        std::vector<uint8_t>{'t', 't', 'c', 'f', 0, 1, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF};  // a collection of too many
    damaged.push_back(ttc);

    Canvas canvas(100, 40);
    const MAT2 identity{{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    for (size_t i = 0; i < damaged.size(); ++i) {
        DWORD faces = 0;
        SetLastError(0);
        HANDLE installed = AddFontMemResourceEx(damaged[i].data(), DWORD(damaged[i].size()), nullptr, &faces);
        if (!installed) {
            EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA)) << i;
            EXPECT_EQ(faces, 0u);
            continue;
        }
        SelectedFont font(canvas.dc, L"Qvdamaged", -20);
        TextOutW(canvas.dc, 2, 2, u"Damaged", 7);
        GLYPHMETRICS gm;
        std::vector<uint8_t> buffer(1 << 16);
        GetGlyphOutlineW(canvas.dc, u'D', GGO_NATIVE, &gm, DWORD(buffer.size()), buffer.data(), &identity);
        EXPECT_TRUE(RemoveFontMemResourceEx(installed));
    }
    TempFile file(damaged[3], "qvdamaged");
    SetLastError(0);
    EXPECT_EQ(AddFontResourceExA(file.path.c_str(), FR_PRIVATE, nullptr), 0);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
}

}  // namespace
