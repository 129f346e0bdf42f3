// Coverprint as the driver starts it: a program named ABCCP beside its template, Velmora beside it
// for the labels, an installed fax printer, and what the sending sheet stored. The printed page's
// title, subject, sender, receivers, date and picture must lie where the template's layout puts
// them.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "frontend/common/cover_template.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "frontend/coverprint/coverprint.h"
#include "platform/gdi_text.h"
#include "tests/frontend/coverprint/coverprint_fixture.h"

namespace {

class CoverprintProgram : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(env_.path() / "bin");
        std::filesystem::create_directories(env_.path() / "lib");
        std::filesystem::copy_file(COVERPRINT_PROGRAM, env_.file("bin/ABCCP"));
        std::filesystem::permissions(env_.file("bin/ABCCP"), std::filesystem::perms::owner_all);
        std::filesystem::copy_file(SAMPLE_TEMPLATE, env_.file("bin/ABCCP.INI"));
        std::filesystem::create_symlink(VELMORA_LIBRARY, env_.file("lib/libabc.so"));
    }
    // Runs the program; its standard error lands in *errors.
    int Run(std::string* errors)
    {
        const std::string log = env_.file("stderr.txt");
        // The leak checker's summary of its suppressions is no message of the program's.
        const char* lsan = std::getenv("LSAN_OPTIONS");
        const std::string options = std::string(lsan ? lsan : "") + ":print_suppressions=0";
        const int status =
            std::system(("LSAN_OPTIONS='" + options + "' '" + env_.file("bin/ABCCP") + "' 2>'" + log + "'").c_str());
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        *errors = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    // Runs coversetup with the arguments; its output and messages land in *output.
    int Tool(const std::string& arguments, std::string* output)
    {
        const std::string log = env_.file("coversetup.txt");
        const int status = std::system(
            ("ASAN_OPTIONS=detect_leaks=0 '" COVERSETUP_PROGRAM "' " + arguments + " >'" + log + "' 2>&1").c_str());
        std::stringstream text;
        text << std::ifstream(log).rdbuf();
        *output = text.str();
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    FrontendEnv env_;
};

// The extent of a text in a font, on a memory DC.
SIZE Extent(const WCHAR* face, LONG height, LONG weight, BYTE charset, std::u16string_view text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    LOGFONTW font{};
    font.lfHeight = height;
    font.lfWeight = weight;
    font.lfCharSet = charset;
    for (int i = 0; i < LF_FACESIZE - 1 && face[i]; ++i) font.lfFaceName[i] = face[i];
    HFONT f = CreateFontIndirectW(&font);
    HGDIOBJ old = SelectObject(dc, f);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.data(), int(text.size()), &size);
    SelectObject(dc, old);
    DeleteObject(f);
    DeleteDC(dc);
    return size;
}

TEST_F(CoverprintProgram, PrintsTheCoverPageWhereTheLayoutPutsIt)
{
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"FILE:", nullptr));
    const std::vector<BYTE> bmp = SolidBmp(100, 50, 0xFF0000);
    std::ofstream(env_.file("logo.bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), long(bmp.size()));
    CoverPageSettings settings = CoverSettings(1);
    settings.showDateTime = 1;
    settings.pictureOn = 1;
    settings.pictureScale = 50;
    settings.pictureX = 100;
    settings.pictureY = 0;
    FieldSet(settings.picturePath, Wide(env_.file("logo.bmp")));
    const std::vector<ContactRecord> receivers = {Contact(u"Анна Смирнова", u"111"), Contact(u"Борис Орлов", u"222"),
                                                  Contact(u"Сидор Кузнецов", u"333")};
    CoverStore(u"ABC", settings, "Fax", WORD(receivers.size()), receivers);
    std::string errors;
    ASSERT_EQ(Run(&errors), 0) << errors;
    EXPECT_EQ(errors, "");
    PageImage page;
    ASSERT_TRUE(PngRead(env_.tmp() + "ABCFAXCP.WM", &page));
    ASSERT_EQ(page.width, 3240);
    ASSERT_EQ(page.height, 4583);

    // The layout of style 1 on this page, with the title measured in the title font.
    const LONG u = 32;
    CoverPageTemplate style;
    CoverPageTemplateRead(Wide(SAMPLE_TEMPLATE).c_str(), 1, &style);
    const std::u16string title(FieldText(style.title));
    const SIZE titleSize = Extent(style.fontName, style.titleFontSize * u, 700, style.charset, title);
    const CoverPageLayout layout = CoverPageLayoutMake(style, {0, 0, page.width, page.height}, u, titleSize);
    const SIZE subjectSize = Extent(style.fontName, 5 * u, 400, style.charset, FieldText(settings.subject));
    const LONG lh = Extent(style.fontName, 19 * u / 10, 700, style.charset, u"G").cy;
    const LONG rule = page.height - 20 * u;

    // Title and subject, centred; nothing beside them in their rows.
    const RECT titleBox{layout.titleAt.x - titleSize.cx / 2, layout.titleAt.y, layout.titleAt.x + titleSize.cx / 2,
                        layout.titleAt.y + titleSize.cy};
    EXPECT_TRUE(page.InkIn(titleBox));
    EXPECT_FALSE(page.InkIn({0, titleBox.top, titleBox.left - 4, titleBox.bottom}));
    EXPECT_FALSE(page.InkIn({titleBox.right + 4, titleBox.top, page.width - 200, titleBox.bottom}));
    const RECT subjectBox{layout.titleAt.x - subjectSize.cx / 2, layout.anchor.y - subjectSize.cy,
                          layout.titleAt.x + subjectSize.cx / 2, layout.anchor.y - 4};
    EXPECT_TRUE(page.InkIn(subjectBox));
    EXPECT_FALSE(page.InkIn({0, subjectBox.top, subjectBox.left - 4, subjectBox.bottom}));
    EXPECT_FALSE(page.InkIn({0, titleBox.bottom + 4, page.width, subjectBox.top - 4}));

    // Receivers: three blocks of four rows from a label line below the anchor, left column each
    // row, right column the first three rows.
    for (int row = 0; row < 12; ++row) {
        const LONG top = layout.anchor.y + 4 + lh + row * lh;
        EXPECT_TRUE(page.InkIn({15 * u, top, page.width / 2, top + lh})) << "receiver row " << row;
        EXPECT_EQ(page.InkIn({page.width / 2, top, page.width, top + lh}), row % 4 != 3) << "receiver row " << row;
    }
    EXPECT_FALSE(page.InkIn({0, layout.anchor.y + 13 * lh + 4, page.width, rule - lh - 4}));
    // Date and time standing on the rule at 15 units; the sender's seven lines below it at W / 2.
    EXPECT_TRUE(page.InkIn({15 * u, rule - lh, page.width / 2, rule - 4}));
    for (int line = 0; line < 7; ++line) {
        const LONG top = rule + 4 + line * lh;
        EXPECT_TRUE(page.InkIn({page.width / 2, top, page.width, top + lh})) << "sender line " << line;
        EXPECT_FALSE(page.InkIn({0, top, page.width / 2, top + lh})) << "sender line " << line;
    }
    EXPECT_FALSE(page.InkIn({0, rule + 7 * lh + 4, page.width, page.height}));

    // The picture: 200 x 100 pixels in the top right corner, in its own colour.
    for (int y = 0; y < 120; ++y)
        for (int x = page.width - 220; x < page.width; ++x)
            ASSERT_EQ(page.At(x, y) == 0xFF0000, x >= page.width - 200 && y < 100) << x << "," << y;

    // The print-to-file temporary file is gone.
    for (const auto& entry : std::filesystem::directory_iterator(env_.tmp() + "QUOBADAT"))
        EXPECT_NE(entry.path().filename().string().rfind("MWM", 0), 0u) << entry.path();
}

// The host tool stores a printer named in Cyrillic in "DriverPath" in code page 1251, the field's
// own encoding, and Coverprint opens that printer and prints; a name that 1251 cannot hold is
// refused with a message, and nothing is stored or installed.
TEST_F(CoverprintProgram, PrinterNamedInCyrillicIsStoredInCodePage1251AndPrints)
{
    std::string output;
    ASSERT_EQ(Tool("--prefix ABC --printer 'Факс'", &output), 0) << output;
    BYTE* stored =
        RegValueRead(HKEY_CURRENT_USER, FaxKeyName(u"ABC").c_str(), kValueDriverPath, sizeof(DriverPathValue));
    DriverPathValue driver;
    RecordFromBytes(driver, {stored, sizeof driver});
    HeapFree(GetProcessHeap(), 0, stored);
    EXPECT_STREQ(driver.printerName, "\xD4\xE0\xEA\xF1");  // "Факс" in code page 1251
    std::string errors;
    EXPECT_EQ(Run(&errors), kCoverPrinted) << errors;
    PageImage page;
    EXPECT_TRUE(PngRead(env_.tmp() + "ABCFAXCP.WM", &page));

    for (const char* name : {"'Fax 传真'", "'Факс №1 ★'"}) {
        EXPECT_NE(Tool(std::string("--prefix XYZ --printer ") + name, &output), 0) << name;
        EXPECT_NE(output.find("code page 1251"), std::string::npos) << output;
        stored = RegValueRead(HKEY_CURRENT_USER, FaxKeyName(u"XYZ").c_str(), kValueDriverPath, sizeof(DriverPathValue));
        RecordFromBytes(driver, {stored, sizeof driver});
        HeapFree(GetProcessHeap(), 0, stored);
        EXPECT_EQ(driver.printerName[0], 0) << name;
    }

    // A printer that is not there is named as the user knows it.
    std::strcpy(driver.printerName, "\xCD\xE5\xF2");  // "Нет"
    RegValueWrite(HKEY_CURRENT_USER, FaxKeyName(u"ABC").c_str(), kValueDriverPath, &driver, sizeof driver);
    EXPECT_EQ(Run(&errors), kCoverNoPrinter);
    EXPECT_NE(errors.find("coverprint: the printer \"Нет\" cannot be opened"), std::string::npos) << errors;
}

TEST_F(CoverprintProgram, ExitsNonZeroWithAMessageWhenThePageCannotBePrinted)
{
    CoverStore(u"ABC", CoverSettings(1), "Fax", 0, {});
    std::string errors;
    EXPECT_EQ(Run(&errors), kCoverNoPrinter);
    EXPECT_NE(errors.find("coverprint: the printer \"Fax\" cannot be opened"), std::string::npos) << errors;

    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", nullptr));
    std::filesystem::create_directories(env_.tmp() + "ABCFAXCP.WM");  // the page's file is taken
    EXPECT_EQ(Run(&errors), kCoverNoPageFile);
    EXPECT_NE(errors.find("is not a regular file of yours"), std::string::npos) << errors;
}

}  // namespace
