// The printer stand-in: printer records, the page a DC gets from its device mode or the escape,
// and the PNG pages of a document.
#include <gtest/gtest.h>

#include <png.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/print.h"
#include "tests/support/scratch_dir.h"

namespace {

class PrinterEnv : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = getenv("FAXDRIVER_REGISTRY");
        saved_ = old ? old : "";
        had_ = old != nullptr;
        setenv("FAXDRIVER_REGISTRY", dir_.file("registry").c_str(), 1);
    }
    void TearDown() override
    {
        if (had_) setenv("FAXDRIVER_REGISTRY", saved_.c_str(), 1);
        else unsetenv("FAXDRIVER_REGISTRY");
    }
    ScratchDir dir_;
    std::string saved_;
    bool had_ = false;
};

// Width and height of a PNG file, or {0, 0}.
SIZE PngSize(const std::string& path)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return {0, 0};
    SIZE size{LONG(image.width), LONG(image.height)};
    png_image_free(&image);
    return size;
}

std::u16string Wide(const std::string& text)
{
    std::u16string wide(text.size() + 1, u'\0');
    const int n = MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, wide.data(), int(wide.size()));
    wide.resize(n > 0 ? size_t(n - 1) : 0);
    return wide;
}

TEST_F(PrinterEnv, RecordAnswersOpenPropertiesAndLevelTwo)
{
    HANDLE printer = nullptr;
    EXPECT_FALSE(OpenPrinterW(u"Fax", &printer, nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"FILE:", nullptr));
    ASSERT_TRUE(OpenPrinterW(u"fax", &printer, nullptr));  // names match without regard to case
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, u"Fax", nullptr, nullptr, 0), LONG(sizeof(DEVMODEW)));
    DWORD needed = 0;
    EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
    std::vector<BYTE> buffer(needed);
    EXPECT_FALSE(GetPrinterW(printer, 2, buffer.data(), needed - 1, &needed));
    ASSERT_TRUE(GetPrinterW(printer, 2, buffer.data(), needed, &needed));
    const auto* info = reinterpret_cast<const PRINTER_INFO_2W*>(buffer.data());
    EXPECT_EQ(std::u16string(info->pPortName), u"FILE:");
    EXPECT_EQ(std::u16string(info->pPrinterName), u"fax");
    EXPECT_EQ(info->pDevMode->dmPaperSize, DMPAPER_A4);
    EXPECT_FALSE(GetPrinterW(printer, 1, buffer.data(), needed, &needed));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_LEVEL));
    EXPECT_TRUE(ClosePrinter(printer));
    EXPECT_FALSE(ClosePrinter(printer));
    EXPECT_EQ(DocumentPropertiesW(nullptr, printer, u"Fax", nullptr, nullptr, 0), -1);
}

// The page a DC starts with: the device mode's paper at its resolution, turned for landscape.
TEST_F(PrinterEnv, DeviceModeGivesThePage)
{
    struct Case {
        SHORT paper, orientation, dpiX, dpiY, width, length;
        DWORD extraFields;
        SIZE page;
    };
    const Case cases[] = {
        {DMPAPER_A4, DMORIENT_PORTRAIT, 200, 200, 0, 0, 0, {1653, 2338}},
        {DMPAPER_A4, DMORIENT_PORTRAIT, 200, 392, 0, 0, 0, {1653, 4583}},
        {DMPAPER_A4, DMORIENT_LANDSCAPE, 392, 392, 0, 0, 0, {4583, 3240}},
        {DMPAPER_LETTER, DMORIENT_PORTRAIT, 100, 100, 0, 0, 0, {850, 1100}},
        {DMPAPER_A4, DMORIENT_PORTRAIT, 254, 254, 1000, 500, DM_PAPERWIDTH | DM_PAPERLENGTH, {1000, 500}},
    };
    for (const Case& c : cases) {
        DEVMODEW mode = platform::PrinterDefaultMode(u"Fax");
        mode.dmPaperSize = c.paper;
        mode.dmOrientation = c.orientation;
        mode.dmPrintQuality = c.dpiX;
        mode.dmYResolution = c.dpiY;
        mode.dmPaperWidth = c.width;
        mode.dmPaperLength = c.length;
        mode.dmFields |= c.extraFields;
        ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", &mode));
        // Once through the stored mode, once through the mode given to CreateDCW.
        for (const DEVMODEW* given : {static_cast<const DEVMODEW*>(nullptr), static_cast<const DEVMODEW*>(&mode)}) {
            HDC dc = CreateDCW(u"WINSPOOL", u"Fax", nullptr, given);
            ASSERT_NE(dc, nullptr);
            const std::string out = dir_.file("page.png");
            const std::u16string outWide = Wide(out);
            DOCINFOW doc{sizeof(DOCINFOW), u"t", outWide.c_str(), nullptr, 0};
            ASSERT_GT(StartDocW(dc, &doc), 0);
            ASSERT_GT(StartPage(dc), 0);
            ASSERT_GT(EndPage(dc), 0);
            ASSERT_GT(EndDoc(dc), 0);
            DeleteDC(dc);
            const SIZE size = PngSize(out);
            EXPECT_EQ(size.cx, c.page.cx) << c.dpiX;
            EXPECT_EQ(size.cy, c.page.cy) << c.dpiY;
        }
    }
    EXPECT_EQ(CreateDCW(u"WINSPOOL", u"Nowhere", nullptr, nullptr), nullptr);
}

// The escape sets the page and names the driver's file in code page 1251; pages after the first
// go beside it with their number. Bad data is refused and changes nothing.
TEST_F(PrinterEnv, EscapeSetsThePageAndItsFile)
{
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", nullptr));
    struct Case {
        int32_t width, height;
        int size;
        int result;
    };
    const Case cases[] = {
        {300, 200, 268, 1},  {300, 200, 8, 1},        {0, 200, 268, -1}, {300, -1, 268, -1},
        {32768, 2, 268, -1}, {10000, 10000, 268, -1}, {300, 200, 7, -1}, {32767, 1, 8, 1},
    };
    for (const Case& c : cases) {
        HDC dc = CreateDCW(nullptr, u"Fax", nullptr, nullptr);
        ASSERT_NE(dc, nullptr);
        DOCINFOW doc{sizeof(DOCINFOW), u"t", nullptr, nullptr, 0};
        ASSERT_GT(StartDocW(dc, &doc), 0);
        char data[268] = {};
        std::memcpy(data, &c.width, 4);
        std::memcpy(data + 4, &c.height, 4);
        const std::string folder = dir_.file("Факсы");
        std::filesystem::create_directories(folder);
        // "<folder>/Лист.wm" with the file name in code page 1251.
        const std::string path = dir_.file("") + "\xD4\xE0\xEA\xF1\xFB/\xCB\xE8\xF1\xF2.wm";
        std::memcpy(data + 8, path.c_str(), path.size() + 1);
        EXPECT_EQ(ExtEscape(dc, FAX_ESCAPE_COVER_PAGE, c.size, data, 0, nullptr), c.result) << c.width;
        EXPECT_EQ(ExtEscape(dc, 12345, c.size, data, 0, nullptr), 0);
        for (int page = 0; page < 2; ++page) {
            ASSERT_GT(StartPage(dc), 0);
            ASSERT_GT(EndPage(dc), 0);
        }
        EXPECT_GT(EndDoc(dc), 0);
        EXPECT_TRUE(DeleteDC(dc));
        const std::string file = folder + "/Лист.wm";
        if (c.result == 1 && c.size == 268) {
            EXPECT_EQ(PngSize(file).cx, c.width);
            EXPECT_EQ(PngSize(file).cy, c.height);
            EXPECT_EQ(PngSize(file + ".2").cx, c.width);
        } else {
            EXPECT_FALSE(std::filesystem::exists(file)) << c.width << " " << c.size;
        }
        std::filesystem::remove_all(folder);
    }
}

TEST_F(PrinterEnv, PageThatCannotBeWrittenFailsTheDocument)
{
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", nullptr));
    HDC dc = CreateDCW(nullptr, u"Fax", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    std::filesystem::create_directories(dir_.file("taken"));
    const std::u16string out = Wide(dir_.file("taken"));
    DOCINFOW doc{sizeof(DOCINFOW), u"t", out.c_str(), nullptr, 0};
    EXPECT_EQ(StartPage(dc), SP_ERROR);  // no document yet
    ASSERT_GT(StartDocW(dc, &doc), 0);
    EXPECT_EQ(StartDocW(dc, &doc), SP_ERROR);
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_EQ(StartPage(dc), SP_ERROR);
    EXPECT_EQ(EndPage(dc), SP_ERROR);
    EXPECT_EQ(EndDoc(dc), SP_ERROR);
    // A DC deleted in the middle of a page gives its page back.
    ASSERT_GT(StartDocW(dc, &doc), 0);
    ASSERT_GT(StartPage(dc), 0);
    EXPECT_TRUE(DeleteDC(dc));
    HDC memory = CreateCompatibleDC(nullptr);
    EXPECT_EQ(StartDocW(memory, &doc), SP_ERROR);  // not a printer DC
    EXPECT_EQ(ExtEscape(memory, FAX_ESCAPE_COVER_PAGE, 0, nullptr, 0, nullptr), -1);
    DeleteDC(memory);
}

// What is drawn between StartPage and EndPage is the page, on white paper.
TEST_F(PrinterEnv, DrawingReachesThePage)
{
    ASSERT_TRUE(platform::PrinterInstall(u"Fax", u"LPT1:", nullptr));
    HDC dc = CreateDCW(nullptr, u"Fax", nullptr, nullptr);
    ASSERT_NE(dc, nullptr);
    const std::string out = dir_.file("drawn.png");
    const std::u16string outWide = Wide(out);
    DOCINFOW doc{sizeof(DOCINFOW), u"t", outWide.c_str(), nullptr, 0};
    int32_t size[2] = {40, 30};
    ASSERT_GT(StartDocW(dc, &doc), 0);
    ASSERT_EQ(ExtEscape(dc, FAX_ESCAPE_COVER_PAGE, 8, reinterpret_cast<LPCSTR>(size), 0, nullptr), 1);
    ASSERT_GT(StartPage(dc), 0);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    const RECT box{5, 6, 15, 9};
    FillRect(dc, &box, red);
    DeleteObject(red);
    ASSERT_GT(EndDoc(dc), 0);
    DeleteDC(dc);
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    ASSERT_TRUE(png_image_begin_read_from_file(&image, out.c_str()));
    image.format = PNG_FORMAT_RGB;
    std::vector<png_byte> rgb(PNG_IMAGE_SIZE(image));
    ASSERT_TRUE(png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr));
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const bool inside = x >= 5 && x < 15 && y >= 6 && y < 9;
            const png_byte* p = &rgb[size_t(y * 40 + x) * 3];
            ASSERT_EQ(p[0], 255) << x << "," << y;
            ASSERT_EQ(p[1], inside ? 0 : 255) << x << "," << y;
            ASSERT_EQ(p[2], inside ? 0 : 255) << x << "," << y;
        }
}

}  // namespace
