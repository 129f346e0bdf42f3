// Coverprint's parts, run in this process: names from the program name, the picture's place, and
// whole runs on an installed printer whose page the test reads back as PNG.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

#include "frontend/common/cover_template.h"
#include "frontend/common/data_dir.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/reg_value.h"
#include "frontend/common/text_rules.h"
#include "frontend/coverprint/coverprint.h"
#include "platform/gdi_text.h"
#include "tests/frontend/coverprint/coverprint_fixture.h"

namespace {

struct NameCase {
    std::u16string path;
    std::u16string prefix, key, receivers, library, templatePath;
};

TEST(CoverprintNames, ComeFromTheProgramName)
{
    const NameCase cases[] = {
        {u"/opt/fax/ABCCP", u"ABC", u"SoftWare\\QUOBA\\ABC", u"ABCREC.DAT", u"/opt/fax/../lib/libabc.so",
         u"/opt/fax/ABCCP.INI"},
        {u"/opt/fax/velmoracp", u"VELMORA", u"SoftWare\\QUOBA\\VELMORA", u"VELMORAREC.DAT",
         u"/opt/fax/../lib/libvelmora.so", u"/opt/fax/velmoracp.INI"},
        {u"C:\\Fax\\abccp.exe", u"ABC", u"SoftWare\\QUOBA\\ABC", u"ABCREC.DAT", u"C:\\Fax\\../lib/libabc.so",
         u"C:\\Fax\\abccp.INI"},
        {u"/x/CP", u"", u"SoftWare\\QUOBA\\", u"REC.DAT", u"/x/../lib/lib.so", u"/x/CP.INI"},
        // 31 characters of the base name count, then the last two go.
        {u"/x/abcdefghijklmnopqrstuvwxyz0123456789", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012",
         u"SoftWare\\QUOBA\\ABCDEFGHIJKLMNOPQRSTUVWXYZ012", u"ABCDEFGHIJKLMNOPQRSTUVWXYZ012REC.DAT",
         u"/x/../lib/libabcdefghijklmnopqrstuvwxyz012.so", u"/x/abcdefghijklmnopqrstuvwxyz0123456789.INI"},
        {u"/x/факсcp", u"ФАКС", u"SoftWare\\QUOBA\\ФАКС", u"ФАКСREC.DAT", u"/x/../lib/libфакс.so", u"/x/факсcp.INI"},
    };
    for (const NameCase& c : cases) {
        const CoverPrintNames names = CoverPrintNamesMake(c.path);
        EXPECT_EQ(names.prefix, c.prefix);
        EXPECT_EQ(names.key, c.key);
        EXPECT_EQ(names.receiversFile, c.receivers);
        EXPECT_EQ(names.library, c.library);
        EXPECT_EQ(names.templatePath, c.templatePath);
    }
}

TEST(CoverprintPicture, WidthAndPlaceFollowScaleAndPercent)
{
    struct Case {
        WORD orientation;
        LONG pw, ph;
        WORD scale, x, y;
        RECT expected;
    };
    // Portrait W 3240, H 4583; landscape W 4583, H 3240; four device pixels per picture pixel.
    const Case cases[] = {
        {1, 100, 60, 50, 0, 0, {0, 0, 200, 120}},
        {1, 100, 60, 50, 100, 100, {3040, 4463, 3240, 4583}},
        {1, 100, 60, 50, 50, 50, {1520, 2231, 1720, 2351}},
        {2, 100, 60, 50, 100, 0, {4383, 0, 4583, 120}},
        {1, 100, 60, 5, 0, 0, {0, 0, 40, 24}},  // below 10 % the scale is held at 10
        {1, 10, 10, 1000, 0, 0, {0, 0, 160, 160}},  // above 400 % at 400
        {1, 33, 33, 33, 0, 0, {0, 0, 43, 43}},  // 33 x 33 x 4 / 100 = 43.56, truncated
        {1, 32767, 32767, 400, 0, 0, {0, 0, 524272, 524272}},  // larger than the page: left at the corner
    };
    for (const Case& c : cases) {
        const RECT r = CoverPicturePlace(CoverPrintGeometryMake(c.orientation), c.pw, c.ph, c.scale, c.x, c.y);
        EXPECT_EQ(r.left, c.expected.left) << c.scale << " " << c.x;
        EXPECT_EQ(r.top, c.expected.top);
        EXPECT_EQ(r.right, c.expected.right);
        EXPECT_EQ(r.bottom, c.expected.bottom);
    }
}

class CoverprintRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(env_.path() / "bin");
        std::filesystem::copy_file(SAMPLE_TEMPLATE, env_.file("bin/ABCCP.INI"));
        // The labels come from Velmora, found beside the program as an installation puts it.
        std::filesystem::create_directories(env_.path() / "lib");
        std::filesystem::create_symlink(VELMORA_LIBRARY, env_.file("lib/libabc.so"));
    }
    void Install(const std::u16string& port) { ASSERT_TRUE(platform::PrinterInstall(u"Fax", port.c_str(), nullptr)); }
    int Run(std::string* message = nullptr)
    {
        std::FILE* errors = std::tmpfile();
        const int status = CoverPrintRun(Wide(env_.file("bin/ABCCP")), errors);
        std::rewind(errors);
        char text[512] = {};
        const size_t n = std::fread(text, 1, sizeof text - 1, errors);
        std::fclose(errors);
        if (message) *message = std::string(text, n);
        return status;
    }
    std::string Page() const { return env_.tmp() + "ABCFAXCP.WM"; }
    std::string DataDir() const { return env_.tmp() + "QUOBADAT"; }

    FrontendEnv env_;
};

// The page size the escape gives the driver is the size of the page the DC draws.
TEST_F(CoverprintRun, LandscapePrintsOnAPortraitSheetWithTheTurnedPageSize)
{
    struct Case {
        WORD orientation;
        int width, height;
    };
    for (const Case c : {Case{1, 3240, 4583}, Case{2, 4583, 3240}, Case{0, 4583, 3240}}) {
        Install(u"LPT1:");
        CoverStore(u"ABC", CoverSettings(c.orientation), "Fax", 0, {});
        ASSERT_EQ(Run(), kCoverPrinted);
        PageImage page;
        ASSERT_TRUE(PngRead(Page(), &page));
        EXPECT_EQ(page.width, c.width);
        EXPECT_EQ(page.height, c.height);
        // The bottom rule lies 20 units above the foot, u = 32 both ways.
        const int rule = c.height - 20 * 32;
        EXPECT_TRUE(page.Ink(c.width / 2, rule)) << c.orientation;
        EXPECT_FALSE(page.InkIn({15 * 32, rule + 10, c.width / 2 - 10, rule + 200}));
    }
}

// The device mode handed to the printer is A4 portrait at 392 dpi down and in colour, whatever the
// cover page's orientation.
TEST(CoverprintDeviceMode, IsA4PortraitAt392)
{
    FrontendEnv env;
    DEVMODEW mode = platform::PrinterDefaultMode(u"Fax");
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", &mode));
    HANDLE printer = nullptr;
    ASSERT_TRUE(OpenPrinterW(u"Fax", &printer, nullptr));
    DEVMODEW in{};
    ASSERT_EQ(DocumentPropertiesW(nullptr, printer, u"Fax", &in, nullptr, DM_OUT_BUFFER), IDOK);
    in.dmYResolution = 392;
    in.dmOrientation = DMORIENT_LANDSCAPE;
    in.dmFields &= ~DWORD{DM_ORIENTATION};  // not named: the printer's own orientation stays
    DEVMODEW out{};
    ASSERT_EQ(DocumentPropertiesW(nullptr, printer, u"Fax", &out, &in, DM_IN_BUFFER | DM_OUT_BUFFER), IDOK);
    EXPECT_EQ(out.dmYResolution, 392);
    EXPECT_EQ(out.dmOrientation, DMORIENT_PORTRAIT);
    ClosePrinter(printer);
}

// More receivers than the limit print label 8108 alone; up to the limit, four rows each.
TEST_F(CoverprintRun, ReceiverLimitIsTenPortraitAndFiveLandscape)
{
    struct Case {
        WORD orientation;
        WORD count;
        bool all;
    };
    CoverPageTemplate style;
    CoverPageTemplateRead(Wide(SAMPLE_TEMPLATE).c_str(), 1, &style);
    for (const Case c : {Case{1, 10, true}, Case{1, 11, false}, Case{2, 5, true}, Case{2, 6, false}}) {
        Install(u"LPT1:");
        CoverPageSettings settings = CoverSettings(c.orientation);
        settings.showSender = 0;
        settings.showSubject = 0;
        std::vector<ContactRecord> receivers(c.count, Contact(u"Получатель", u"123"));
        CoverStore(u"ABC", settings, "Fax", c.count, receivers);
        ASSERT_EQ(Run(), kCoverPrinted);
        PageImage page;
        ASSERT_TRUE(PngRead(Page(), &page));
        const CoverPrintGeometry g = CoverPrintGeometryMake(c.orientation);
        const LONG u = 32;
        // The label line height, measured on a memory DC with the label font.
        HDC dc = CreateCompatibleDC(nullptr);
        LOGFONTW font{};
        font.lfHeight = 19 * u / 10;
        font.lfWeight = 700;
        font.lfCharSet = style.charset;
        std::copy(std::begin(style.fontName), std::end(style.fontName), font.lfFaceName);
        HFONT f = CreateFontIndirectW(&font);
        HGDIOBJ old = SelectObject(dc, f);
        SIZE g1{};
        GetTextExtentPoint32W(dc, u"G", 1, &g1);
        SelectObject(dc, old);
        DeleteObject(f);
        DeleteDC(dc);
        const LONG lh = g1.cy;
        const LONG anchor = style.lines.back().sy * u;  // the last line's start
        int lowest = -1;
        for (int y = anchor + 1; y < g.height - 20 * u - 8; ++y)  // above the 8-pixel rule
            if (page.InkIn({15 * u, y, g.width / 2, y + 1})) lowest = y;
        ASSERT_GT(lowest, anchor + lh) << c.count;
        if (c.all) {
            EXPECT_GE(lowest, anchor + 4 * c.count * lh) << c.count;
            EXPECT_LT(lowest, anchor + (4 * c.count + 1) * lh) << c.count;
            // The second receiver's e-mail in the right column.
            EXPECT_TRUE(page.InkIn({g.width / 2, anchor + 5 * lh, g.width, anchor + 6 * lh}));
        } else {
            EXPECT_LT(lowest, anchor + 2 * lh) << c.count;
            EXPECT_FALSE(page.InkIn({g.width / 2, anchor + 5 * lh, g.width, anchor + 6 * lh}));
        }
    }
}

TEST_F(CoverprintRun, FilePortTemporaryFileIsDeletedAfterTheDocument)
{
    for (const std::u16string port : {u"FILE:", u"LPT1:", u"Ne00:FILE:"}) {
        Install(port);
        CoverStore(u"ABC", CoverSettings(1), "Fax", 0, {});
        std::filesystem::remove(Page());
        ASSERT_EQ(Run(), kCoverPrinted);
        // The escape still names the page file in the temporary folder.
        PageImage page;
        EXPECT_TRUE(PngRead(Page(), &page));
        for (const auto& entry : std::filesystem::directory_iterator(DataDir()))
            EXPECT_NE(entry.path().filename().string().rfind("MWM", 0), 0u) << entry.path();
    }
}

TEST_F(CoverprintRun, ExitsNonZeroWithAMessageWhenNothingIsPrinted)
{
    struct Case {
        const char* printer;
        bool pageIsFolder;
        int status;
        const char* message;
    };
    Install(u"LPT1:");
    const Case cases[] = {
        {"Nowhere", false, kCoverNoPrinter, "cannot be opened"},
        {"", false, kCoverNoPrinter, "cannot be opened"},
        {"Fax", true, kCoverNoPageFile, "is not a regular file of yours"},
        {"Fax", false, kCoverPrinted, ""},
    };
    for (const Case& c : cases) {
        CoverStore(u"ABC", CoverSettings(1), c.printer, 0, {});
        std::filesystem::remove_all(Page());
        if (c.pageIsFolder) std::filesystem::create_directories(Page());
        std::string message;
        EXPECT_EQ(Run(&message), c.status) << c.printer;
        EXPECT_NE(message.find(c.message), std::string::npos) << message;
        if (c.status == kCoverPrinted) {
            EXPECT_TRUE(message.empty()) << message;
        }
    }
}

// The receivers come from the data folder: a refused one fails the run with the same Russian
// explanation the sheet shows, and nothing is printed.
TEST_F(CoverprintRun, ARefusedDataFolderFailsTheRun)
{
    Install(u"LPT1:");
    CoverStore(u"ABC", CoverSettings(1), "Fax", 1, {Contact(u"Анна", u"111")});
    std::filesystem::rename(DataDir(), env_.file("elsewhere"));
    std::filesystem::create_symlink(env_.file("elsewhere"), DataDir());
    std::string message;
    EXPECT_EQ(Run(&message), kCoverDataRefused);
    EXPECT_NE(message.find(DataDir()), std::string::npos) << message;
    EXPECT_NE(message.find("ссылка"), std::string::npos) << message;
    EXPECT_NE(message.find("Удалите или переименуйте"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists(Page()));
}

// The page file in the shared temporary folder: made 0600, never written through a symlink or
// into another user's file; a file of ours from an earlier run is replaced and closed to others.
TEST_F(CoverprintRun, ThePageFileIsOursAlone)
{
    Install(u"LPT1:");
    const std::string victim = env_.file("victim.txt");
    const struct Case {
        const char* what;
        char stands;  // '-' nothing, 'l' a symlink to the victim, 'f' our file 0644, 'o' another user's file 0666
        int status;
    } cases[] = {
        {"nothing there", '-', kCoverPrinted},
        {"a symlink planted there", 'l', kCoverNoPageFile},
        {"our file from an earlier run", 'f', kCoverPrinted},
        {"another user's file", 'o', kCoverNoPageFile},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.stands == 'o' && geteuid() != 0) continue;  // only root can give a file away
        CoverStore(u"ABC", CoverSettings(1), "Fax", 1, {Contact(u"Анна", u"111")});
        std::filesystem::remove(Page());
        std::ofstream(victim) << "the victim's own file";
        if (c.stands == 'l') std::filesystem::create_symlink(victim, Page());
        if (c.stands == 'f' || c.stands == 'o') {
            std::ofstream(Page()) << "earlier";
            ASSERT_EQ(chmod(Page().c_str(), c.stands == 'f' ? 0644 : 0666), 0);
            if (c.stands == 'o') {
                ASSERT_EQ(chown(Page().c_str(), 65534, 65534), 0);
            }
        }
        std::string message;
        EXPECT_EQ(Run(&message), c.status) << message;
        std::ifstream in(victim);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "the victim's own file");
        struct stat st;
        ASSERT_EQ(lstat(Page().c_str(), &st), 0);
        if (c.status == kCoverPrinted) {
            EXPECT_EQ(st.st_mode & 07777, 0600u);
            PageImage page;
            EXPECT_TRUE(PngRead(Page(), &page));
        } else {
            EXPECT_NE(message.find("is not a regular file of yours"), std::string::npos) << message;
            EXPECT_NE(st.st_size, 0);  // what stood there is left as it was
        }
    }
}

// A temporary folder whose path does not fit the page file's buffer fails the run, where the
// page would otherwise land in the current folder.
TEST_F(CoverprintRun, ATemporaryFolderTooLongForThePageFileFailsTheRun)
{
    Install(u"LPT1:");
    std::string deep = env_.file("t");
    while (deep.size() < 300) deep += "/" + std::string(40, 'd');
    std::filesystem::create_directories(deep);
    const std::string saved = getenv("TMPDIR");
    setenv("TMPDIR", deep.c_str(), 1);
    CoverStore(u"ABC", CoverSettings(1), "Fax", 1, {Contact(u"Анна", u"111")});
    const auto before = std::distance(std::filesystem::directory_iterator("."), {});
    std::string message;
    const int status = Run(&message);
    setenv("TMPDIR", saved.c_str(), 1);
    EXPECT_EQ(status, kCoverNoPageFile);
    EXPECT_NE(message.find("TMPDIR"), std::string::npos) << message;
    EXPECT_FALSE(std::filesystem::exists("ABCFAXCP.WM"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator("."), {}), before);
}

// The picture covers its place exactly: scale 50 of a 100-pixel picture is 200 device pixels,
// at the left edge for X 0 and touching the right edge for X 100.
TEST_F(CoverprintRun, PictureLiesWhereScaleAndPercentPutIt)
{
    const std::vector<BYTE> bmp = SolidBmp(100, 50, 0xFF0000);
    std::ofstream(env_.file("red.bmp"), std::ios::binary)
        .write(reinterpret_cast<const char*>(bmp.data()), long(bmp.size()));
    struct Case {
        WORD x, y;
        RECT expected;
    };
    for (const Case c :
         {Case{0, 0, {0, 0, 200, 100}}, Case{100, 100, {3040, 4483, 3240, 4583}}, Case{0, 50, {0, 2241, 200, 2341}}}) {
        Install(u"LPT1:");
        CoverPageSettings settings = CoverSettings(1);
        settings.pictureOn = 1;
        settings.pictureScale = 50;
        settings.pictureX = c.x;
        settings.pictureY = c.y;
        FieldSet(settings.picturePath, Wide(env_.file("red.bmp")));
        CoverStore(u"ABC", settings, "Fax", 0, {});
        ASSERT_EQ(Run(), kCoverPrinted);
        PageImage page;
        ASSERT_TRUE(PngRead(Page(), &page));
        RECT found{page.width, page.height, -1, -1};
        for (int y = 0; y < page.height; ++y)
            for (int x = 0; x < page.width; ++x)
                if (page.At(x, y) == 0xFF0000) {
                    found.left = std::min<LONG>(found.left, x);
                    found.top = std::min<LONG>(found.top, y);
                    found.right = std::max<LONG>(found.right, x + 1);
                    found.bottom = std::max<LONG>(found.bottom, y + 1);
                }
        EXPECT_EQ(found.left, c.expected.left);
        EXPECT_EQ(found.top, c.expected.top);
        EXPECT_EQ(found.right, c.expected.right);
        EXPECT_EQ(found.bottom, c.expected.bottom);
    }
}

// A style that the template does not hold, or no template at all, still prints a cover page whose
// title ("FAX", at the top-left corner) is as high as the shipped template's first style's, not
// the font mapper's default height. A stored style outside the template counts as none.
TEST_F(CoverprintRun, TitleWithoutItsStyleIsPrintedAtTheFirstStylesSize)
{
    CoverPageTemplate first;
    CoverPageTemplateRead(Wide(SAMPLE_TEMPLATE).c_str(), 1, &first);
    EXPECT_EQ(first.titleFontSize, kCoverPageFallbackTitleSize);
    const LONG u = 32;
    struct Case {
        const char* name;
        bool templateThere;
        bool oneStyleOffered;  // "COUNT" 1, though the file holds more sections
        WORD style;
    };
    for (const Case c :
         {Case{"no template", false, false, 1}, Case{"a style the template lacks", true, false, 200},
          Case{"no cover page stored", true, false, 0}, Case{"a style beyond the styles offered", true, true, 2}}) {
        SCOPED_TRACE(c.name);
        std::filesystem::remove(env_.file("bin/ABCCP.INI"));
        if (c.templateThere) {
            std::ifstream in(SAMPLE_TEMPLATE);
            std::ofstream out(env_.file("bin/ABCCP.INI"));
            for (std::string line; std::getline(in, line);)
                out << (c.oneStyleOffered && line.rfind("COUNT=", 0) == 0 ? "COUNT=1" : line) << "\n";
        }
        Install(u"LPT1:");
        CoverPageSettings settings = CoverSettings(1);
        settings.style = c.style;
        settings.showSubject = settings.showSender = settings.showReceivers = 0;
        CoverStore(u"ABC", settings, "Fax", 0, {});
        ASSERT_EQ(Run(), kCoverPrinted);
        PageImage page;
        ASSERT_TRUE(PngRead(Page(), &page));
        int lowest = -1;
        for (int y = 0; y < 20 * u; ++y)
            if (page.InkIn({0, y, page.width / 2, y + 1})) lowest = y;
        // Capitals of a 12-unit font stand more than half of it high and within it.
        EXPECT_GT(lowest, kCoverPageFallbackTitleSize * u / 2);
        EXPECT_LT(lowest, kCoverPageFallbackTitleSize * u);
    }
}

// With no cover-page settings stored at all, the page is portrait, as the default paper is.
TEST_F(CoverprintRun, NothingStoredPrintsPortrait)
{
    Install(u"LPT1:");
    DriverPathValue driver{};
    std::strcpy(driver.printerName, "Fax");
    RegValueWrite(HKEY_CURRENT_USER, FaxKeyName(u"ABC").c_str(), kValueDriverPath, &driver, sizeof driver);
    ASSERT_EQ(Run(), kCoverPrinted);
    PageImage page;
    ASSERT_TRUE(PngRead(Page(), &page));
    EXPECT_EQ(page.width, 3240);
    EXPECT_EQ(page.height, 4583);
}

// A page drawn by CoverPageTemplatePrint on a white bitmap of the page's size, kept as its rows
// of bytes. One bit a pixel is enough to see where ink lies, and keeps the many pages quick.
size_t PageStride(const CoverPrintGeometry& g) { return (size_t(g.width) + 31) / 32 * 4; }

std::vector<BYTE> PagePrint(const CoverPrintPage& page)
{
    const CoverPrintGeometry& g = page.geometry;
    HDC dc = CreateCompatibleDC(nullptr);
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{{sizeof(BITMAPINFOHEADER), g.width, -g.height, 1, 1, BI_RGB, 0, 0, 0, 2, 0},
           {{0, 0, 0, 0}, {255, 255, 255, 0}}};
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ old = SelectObject(dc, bitmap);
    const size_t size = PageStride(g) * size_t(g.height);
    std::memset(bits, 0xFF, size);
    CoverPageTemplatePrint(dc, page);
    std::vector<BYTE> rows(static_cast<BYTE*>(bits), static_cast<BYTE*>(bits) + size);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    return rows;
}

// Where two drawings of a page differ: the box of what one element put on it (empty when none).
RECT InkAdded(const std::vector<BYTE>& without, const std::vector<BYTE>& with, const CoverPrintGeometry& g)
{
    const size_t stride = PageStride(g);
    RECT box{g.width, g.height, 0, 0};
    for (int y = 0; y < g.height; ++y) {
        const BYTE* a = without.data() + size_t(y) * stride;
        const BYTE* b = with.data() + size_t(y) * stride;
        if (std::memcmp(a, b, stride) == 0) continue;
        for (int x = 0; x < g.width; ++x)
            if (((a[x / 8] ^ b[x / 8]) >> (7 - x % 8)) & 1) {
                box.left = std::min<LONG>(box.left, x);
                box.right = std::max<LONG>(box.right, x + 1);
                box.top = std::min<LONG>(box.top, y);
                box.bottom = y + 1;
            }
    }
    return box.right > box.left ? box : RECT{};
}

// The shipped template with one style's title emptied.
std::string TemplateWithoutTitle(int style)
{
    std::ifstream in(SAMPLE_TEMPLATE);
    std::ostringstream out;
    std::string line;
    bool inStyle = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] == '[') inStyle = line == "[STYLE" + std::to_string(style) + "]";
        out << (inStyle && line.rfind("TITLE_STRING=", 0) == 0 ? "TITLE_STRING=" : line) << "\n";
    }
    return out.str();
}

// Every style of the shipped template prints legibly in both orientations: the title, the subject,
// the receivers (as many as a page lists), the sender and the date and time each keep to a place
// of their own. Each one's ink is what it adds to the page drawn without it.
TEST(CoverprintShippedStyles, NoTextsOverlap)
{
    FrontendEnv env;
    HMODULE velmora = LoadLibraryA(VELMORA_LIBRARY);
    ASSERT_NE(velmora, nullptr);
    const int styles = CoverPageStyleCount(Wide(SAMPLE_TEMPLATE).c_str());
    ASSERT_GE(styles, 1);
    for (int style = 1; style <= styles; ++style) {
        const std::string blank = env.tmp() + "blank" + std::to_string(style) + ".ini";
        std::ofstream(blank) << TemplateWithoutTitle(style);
        for (const WORD orientation : {1, 2}) {
            SCOPED_TRACE("style " + std::to_string(style) + ", orientation " + std::to_string(orientation));
            auto page = std::make_unique<CoverPrintPage>();
            page->geometry = CoverPrintGeometryMake(orientation);
            page->settings = CoverSettings(orientation);
            page->settings.style = WORD(style);
            page->settings.showSubject = page->settings.showSender = page->settings.showReceivers = 0;
            FieldSet(page->settings.subject, u"Счёт за поставку оборудования, март");
            CoverPageLabelsLoad(velmora, &page->labels);
            page->countKey = FaxKeyName(u"ABC");
            WCHAR folder[1024];
            FaxDataDirGet(folder);
            page->receiversPath = std::u16string(folder) + u"ABCREC.DAT";
            const WORD most = WORD(page->geometry.receiverLimit);
            CoverStore(u"ABC", page->settings, "Fax", most,
                       std::vector<ContactRecord>(most, Contact(u"Получатель Длинноимённый", u"+7 495 000-00-00")));

            page->templatePath = Wide(blank);
            const std::vector<BYTE> untitled = PagePrint(*page);
            page->templatePath = Wide(SAMPLE_TEMPLATE);
            const std::vector<BYTE> bare = PagePrint(*page);
            struct Text {
                const char* name;
                WORD CoverPageSettings::*flag;
                RECT ink;
            } texts[] = {{"title", nullptr, InkAdded(untitled, bare, page->geometry)},
                         {"subject", &CoverPageSettings::showSubject, {}},
                         {"receivers", &CoverPageSettings::showReceivers, {}},
                         {"sender", &CoverPageSettings::showSender, {}},
                         {"date and time", &CoverPageSettings::showDateTime, {}}};
            for (Text& t : texts) {
                if (!t.flag) continue;
                page->settings.*t.flag = 1;
                t.ink = InkAdded(bare, PagePrint(*page), page->geometry);
                page->settings.*t.flag = 0;
            }
            for (const Text& t : texts) EXPECT_GT(t.ink.right, t.ink.left) << t.name << " printed nothing";
            for (size_t i = 0; i < std::size(texts); ++i)
                for (size_t j = i + 1; j < std::size(texts); ++j) {
                    const RECT& a = texts[i].ink;
                    const RECT& b = texts[j].ink;
                    const bool overlap = a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
                    EXPECT_FALSE(overlap) << texts[i].name << " (" << a.left << ", " << a.top << ")-(" << a.right
                                          << ", " << a.bottom << ") and " << texts[j].name << " (" << b.left << ", "
                                          << b.top << ")-(" << b.right << ", " << b.bottom << ")";
                }
        }
    }
    FreeLibrary(velmora);
}

}  // namespace
