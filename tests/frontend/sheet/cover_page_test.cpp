// The cover-page page, the sender dialog and the picture reader: number edits and their spins,
// the style list, the flags a style decides, the picture file chosen or not, the sender's filters
// and damaged pictures.
#include <fstream>

#include <QWidget>

#include "frontend/common/picture.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/cover_preview.h"
#include "frontend/sheet/pages.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

using CoverPage = SheetFixture;

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

std::u16string Text(HWND dialog, int id)
{
    WCHAR text[257] = {};
    GetDlgItemTextW(dialog, id, text, 257);
    return text;
}

void Command(HWND dialog, int id, int code)
{
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

// A BMP file: 14-byte file header, a header of headerSize bytes, `entries` colours, the rows.
struct Bmp {
    int32_t width = 5, height = 3;
    int bits = 8;
    uint32_t headerSize = 40, compression = 0, clrUsed = 0;
    int entries = 256;
};
std::vector<uint8_t> MakeBmp(const Bmp& b, uint32_t rowBytes)
{
    const uint32_t table = static_cast<uint32_t>(b.entries) * 4,
                   rows = static_cast<uint32_t>(b.height < 0 ? -b.height : b.height);
    const uint32_t offset = 14 + b.headerSize + table, size = offset + rowBytes * rows;
    std::vector<uint8_t> file(size);
    const auto put = [&](size_t at, uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put(2, size, 4);
    put(10, offset, 4);
    put(14, b.headerSize, 4);
    put(18, static_cast<uint32_t>(b.width), 4);
    put(22, static_cast<uint32_t>(b.height), 4);
    put(26, 1, 2);
    put(28, static_cast<uint32_t>(b.bits), 2);
    put(30, b.compression, 4);
    put(46, b.clrUsed, 4);
    if (b.headerSize > 40 && b.compression == 3) put(54, 0x00FF0000, 4), put(58, 0x0000FF00, 4), put(62, 0x000000FF, 4);
    for (size_t i = offset; i < size; ++i) file[i] = static_cast<uint8_t>(i * 7);
    return file;
}

std::u16string WriteBmp(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Wide(path);
}

TEST_F(CoverPage, NumberEditsAndSpins)
{
    const struct {
        int edit;
        char action;  // 't' text typed or pasted, 'f' focus leaves, 'u' / 'd' spin up / down
        const char16_t* text;
        const char16_t* shown;
        WORD CoverPageSettings::*field;
        WORD value;
    } cases[] = {
        {3610, 't', u"5", u"5", &CoverPageSettings::pictureScale, 5},  // kept while typing
        {3610, 'f', nullptr, u"10", &CoverPageSettings::pictureScale, 10},  // raised when the focus leaves
        {3610, 't', u"4000", u"400", &CoverPageSettings::pictureScale, 400},
        {3610, 'u', nullptr, u"400", &CoverPageSettings::pictureScale, 400},
        {3610, 't', u"10", u"10", &CoverPageSettings::pictureScale, 10},
        {3610, 'd', nullptr, u"10", &CoverPageSettings::pictureScale, 10},
        {3610, 'u', nullptr, u"11", &CoverPageSettings::pictureScale, 11},
        {3610, 'f', nullptr, u"11", &CoverPageSettings::pictureScale, 11},
        {3612, 't', u"12a", u"12", &CoverPageSettings::pictureX, 12},
        {3612, 't', u"150", u"100", &CoverPageSettings::pictureX, 100},
        {3612, 'u', nullptr, u"100", &CoverPageSettings::pictureX, 100},
        {3614, 't', u"x7", u"0", &CoverPageSettings::pictureY, 0},
        {3614, 'd', nullptr, u"0", &CoverPageSettings::pictureY, 0},
        {3614, 'u', nullptr, u"1", &CoverPageSettings::pictureY, 1},
        {3614, 't', u"99999999999999999999", u"100", &CoverPageSettings::pictureY, 100},
    };
    TemplateInstall();
    CoverPageSettings pout{};
    pout.style = 1;
    pout.pictureOn = 1;
    WriteValue(kValueCoverPagePout, pout);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND page = CurrentPage(sheet);
                  const CoverPageSettings* settings = PageState(page)->settings;
                  for (const auto& c : cases) {
                      SCOPED_TRACE(Narrow(c.text ? c.text : u"") + c.action + std::to_string(c.edit));
                      if (c.action == 't') SetDlgItemTextW(page, c.edit, c.text);
                      else if (c.action == 'f') Command(page, c.edit, EN_KILLFOCUS);
                      else
                          SendMessageW(page, WM_VSCROLL, MAKEWPARAM(c.action == 'u' ? SB_LINEUP : SB_LINEDOWN, 0),
                                       reinterpret_cast<LPARAM>(GetDlgItem(page, c.edit == 3610   ? 3617
                                                                                 : c.edit == 3612 ? 3618
                                                                                                  : 3619)));
                      EXPECT_EQ(Text(page, c.edit), c.shown);
                      EXPECT_EQ(settings->*c.field, c.value);
                  }
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// The style list offers "none" and one entry per style of the template, at most nine; choosing
// none clears the flags a style decides and disables their controls; choosing a style again
// takes them back from the check boxes. A stored style the list does not offer (none without a
// template) is no cover page from the start, and is saved so.
TEST_F(CoverPage, StylesAndTheFlagsTheyDecide)
{
    const struct {
        const char* templateText;
        WORD stored;
        int entries;
        WORD style;  // the style the page starts with
    } lists[] = {{"[DEFINE]\nCOUNT=3\n", 1, 4, 1},   {nullptr, 1, 1, 0},
                 {"[DEFINE]\nCOUNT=12\n", 9, 10, 9}, {"[DEFINE]\nCOUNT=12\n", 10, 10, 0},
                 {"[DEFINE]\nCOUNT=3\n", 4, 4, 0},   {"[DEFINE]\nCOUNT=3\n", 200, 4, 0}};
    for (const auto& l : lists) {
        SCOPED_TRACE(std::to_string(l.entries) + " entries, style " + std::to_string(l.stored));
        FrontendEnv env;
        SetUp();
        DriverPathValue driver{};
        const std::string folder = env.tmp();
        std::strcpy(driver.driverFolder, folder.c_str());
        WriteValue(kValueDriverPath, driver);
        if (l.templateText) std::ofstream(folder + Prefix() + "CP.INI") << l.templateText;
        CoverPageSettings pout{};
        pout.style = l.stored;
        pout.pictureOn = pout.showSubject = pout.showSender = pout.showDateTime = pout.showReceivers = 1;
        FieldSet(pout.subject, u"Счёт");
        WriteValue(kValueCoverPagePout, pout);
        EXPECT_EQ(SheetRun([&](HWND sheet) {
                      SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                      HWND page = CurrentPage(sheet);
                      const CoverPageSettings* settings = PageState(page)->settings;
                      EXPECT_EQ(SendDlgItemMessageW(page, 3604, CB_GETCOUNT, 0, 0), l.entries);
                      EXPECT_EQ(settings->style, l.style);
                      EXPECT_EQ(SendDlgItemMessageW(page, 3604, CB_GETCURSEL, 0, 0), l.style);  // never a blank box
                      const auto choose = [&](int style) {
                          SendDlgItemMessageW(page, 3604, CB_SETCURSEL, static_cast<WPARAM>(style), 0);
                          Command(page, 3604, CBN_SELCHANGE);
                      };
                      const auto flags = [&] {
                          return std::vector<int>{settings->pictureOn, settings->showSubject, settings->showSender,
                                                  settings->showDateTime, settings->showReceivers};
                      };
                      const auto enabled = [&] {
                          std::vector<int> on;
                          for (int id : {3606, 3621, 3623, 3625, 3626, 3608, 3615, 3610, 3617, 3622, 3624})
                              on.push_back(IsWindowEnabled(GetDlgItem(page, id)) ? 1 : 0);
                          return on;
                      };
                      EXPECT_EQ(flags(), (l.style ? std::vector<int>{1, 1, 1, 1, 1} : std::vector<int>{0, 0, 0, 1, 1}));
                      choose(0);
                      EXPECT_EQ(settings->style, 0);
                      EXPECT_EQ(flags(), (std::vector<int>{0, 0, 0, 1, 1}));
                      EXPECT_EQ(enabled(), (std::vector<int>{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
                      if (l.entries > 1) {
                          choose(1);
                          EXPECT_EQ(flags(), (std::vector<int>{1, 1, 1, 1, 1}));
                          EXPECT_EQ(enabled(), (std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
                          CheckDlgButton(page, 3606, BST_UNCHECKED);
                          Command(page, 3606, BN_CLICKED);
                          EXPECT_EQ(flags(), (std::vector<int>{0, 1, 1, 1, 1}));
                          EXPECT_EQ(enabled(), (std::vector<int>{1, 1, 1, 1, 1, 0, 0, 0, 0, 1, 1}));
                      }
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                  }),
                  0);
    }
}

// The picture file: chosen, cancelled (the path and picture go, the flag stays), or damaged.
TEST_F(CoverPage, PictureFileChosenOrCancelled)
{
    const std::u16string good = WriteBmp(env_.tmp() + "good.bmp", MakeBmp({}, 8));
    const std::u16string bad = WriteBmp(env_.tmp() + "bad.bmp", std::vector<uint8_t>(80, 'B'));
    const struct {
        const char* name;
        bool cancel;
        std::u16string chosen;
        bool picture;
    } cases[] = {
        {"a good picture", false, good, true},
        {"cancelled", true, u"", false},
        {"damaged", false, bad, false},
    };
    TemplateInstall();
    CoverPageSettings pout{};
    pout.style = 1;
    pout.pictureOn = 1;
    FieldSet(pout.picturePath, good);
    WriteValue(kValueCoverPagePout, pout);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND page = CurrentPage(sheet);
                  FaxSheetState* state = PageState(page);
                  EXPECT_NE(state->picture, nullptr);  // the stored picture is shown from the start
                  for (const auto& c : cases) {
                      SCOPED_TRACE(c.name);
                      platform::ui::SetFileDialogHook(
                          [&](bool save, const OPENFILENAMEW& request, std::u16string& path) {
                              EXPECT_FALSE(save);
                              EXPECT_EQ(std::u16string(request.lpstrFilter), u"BMP FILE(*.BMP)");
                              EXPECT_EQ(std::u16string(request.lpstrDefExt), u"BMP");
                              path = c.chosen;
                              return !c.cancel;
                          });
                      state->pictureFitScale = 77;
                      Command(page, 3615, BN_CLICKED);
                      EXPECT_EQ(std::u16string(FieldText(state->settings->picturePath)), c.chosen);
                      EXPECT_EQ(Text(page, 3608), c.chosen);
                      EXPECT_EQ(state->picture != nullptr, c.picture);
                      EXPECT_NE(state->pictureFitScale, 77);  // worked out afresh for the new picture
                      EXPECT_EQ(state->settings->pictureOn, 1);
                  }
                  platform::ui::SetFileDialogHook({});
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// The sender dialog: its filters as the user types, OK keeps the edits, Cancel the former sender.
TEST_F(CoverPage, SenderDialog)
{
    const struct {
        int edit;
        const char16_t* typed;
        const char16_t* shown;
        WCHAR (ContactRecord::*field)[66];
    } edits[] = {
        {3103, u"a,b", u"ab", &ContactRecord::name},
        {3105, u"\"ООО\" Ромашка", u"ООО Ромашка", &ContactRecord::company},
        {3109, u"(495) 1-2", u"495 1-2", &ContactRecord::phone},
        {3111, u"12x3", u"123", &ContactRecord::fax},
        {3113, u"ann.lee @mail-1.ru", u"ann.lee@mail-1.ru", &ContactRecord::email},
        {3115, u"ул. Мира, 1", u"ул. Мира 1", &ContactRecord::address},
    };
    for (const bool ok : {true, false}) {
        SCOPED_TRACE(ok);
        FrontendEnv env;
        SetUp();
        TemplateInstall();
        CoverPageSettings pout{};
        pout.style = 1;
        pout.showSender = 1;
        WriteValue(kValueCoverPagePout, pout);
        CoverPageSettings ui{};  // the sender comes from the user's defaults
        FieldSet(ui.sender.name, u"Old");
        FieldSet(ui.sender.department, u"Dept");
        WriteValue(kValueCoverPageUI, ui);
        HWND sheetWindow = nullptr;
        EXPECT_EQ(SheetRun([&](HWND window) {
                      if (!sheetWindow) {
                          sheetWindow = window;
                          SendMessageW(window, PSM_SETCURSEL, 1, 0);
                          Command(CurrentPage(window), 3624, BN_CLICKED);
                          const ContactRecord& sender = PageState(CurrentPage(window))->settings->sender;
                          for (const auto& e : edits)
                              EXPECT_EQ(std::u16string(FieldText(sender.*e.field)), ok               ? e.shown
                                                                                    : e.edit == 3103 ? u"Old"
                                                                                                     : u"");
                          EXPECT_EQ(std::u16string(FieldText(sender.department)), u"Dept");
                          SendMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                          return;
                      }
                      EXPECT_EQ(platform::ui::WidgetOf(window)->windowTitle(),
                                QStringLiteral("Сведения об отправителе"));
                      EXPECT_EQ(Text(window, 3103), u"Old");
                      EXPECT_EQ(Text(window, 3110), u"Номер факса:");
                      for (const auto& e : edits) {
                          SetDlgItemTextW(window, e.edit, e.typed);
                          EXPECT_EQ(Text(window, e.edit), e.shown);
                      }
                      Command(window, ok ? 3002 : 2, BN_CLICKED);
                  }),
                  0);
    }
}

// What was stored is shown as stored and kept unless the user changes it: the sender dialog opened
// and left with OK changes no field, and the page keeps a stored subject. The typing filters are
// for what the user types or pastes, not for the values the edits are filled with.
TEST_F(CoverPage, StoredValuesAreShownAndKeptAsStored)
{
    TemplateInstall();
    const std::u16string subject = u"Счёт, \"март\"";
    CoverPageSettings pout{};
    pout.style = 1;
    pout.showSender = pout.showSubject = 1;
    FieldSet(pout.subject, subject);
    WriteValue(kValueCoverPagePout, pout);
    const struct {
        int edit;
        WCHAR (ContactRecord::*field)[66];
        const char16_t* stored;
    } fields[] = {
        {3103, &ContactRecord::name, u"Петров, Иван"},
        {3105, &ContactRecord::company, u"ООО \"Север\""},
        {3107, &ContactRecord::department, u"Отдел снабжения"},
        {3109, &ContactRecord::phone, u"+7 (495) 100-20-30"},
        {3111, &ContactRecord::fax, u"+7 (495) 765-43-21 доб. 2"},
        {3113, &ContactRecord::email, u"ivan+fax@example.org"},
        {3115, &ContactRecord::address, u"Москва, ул. Садовая, 12"},
    };
    CoverPageSettings ui{};
    for (const auto& f : fields) FieldSet(ui.sender.*f.field, std::u16string_view(f.stored));
    WriteValue(kValueCoverPageUI, ui);
    HWND sheetWindow = nullptr;
    EXPECT_EQ(SheetRun([&](HWND window) {
                  if (!sheetWindow) {
                      sheetWindow = window;
                      SendMessageW(window, PSM_SETCURSEL, 1, 0);
                      HWND page = CurrentPage(window);
                      const CoverPageSettings* settings = PageState(page)->settings;
                      EXPECT_EQ(Text(page, 3622), subject);
                      EXPECT_EQ(std::u16string(FieldText(settings->subject)), subject);
                      Command(page, 3624, BN_CLICKED);
                      for (const auto& f : fields)
                          EXPECT_EQ(std::u16string(FieldText(settings->sender.*f.field)), f.stored);
                      EXPECT_EQ(std::u16string(FieldText(settings->subject)), subject);
                      SendMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                      return;
                  }
                  for (const auto& f : fields) EXPECT_EQ(Text(window, f.edit), f.stored);
                  Command(window, 3002, BN_CLICKED);
              }),
              0);
}

// A picture larger than the cover page: the scale typed is pulled back to the largest that fits,
// and the scale edit shows that scale, as the preview, the saved settings and the printed page

// Picture values stored outside the edits' ranges are shown and kept as stored when the user
// presses OK without touching them: the edits' caps are for what the user types.
TEST_F(CoverPage, StoredPictureValuesAreKeptOnOk)
{
    TemplateInstall();
    CoverPageSettings pout{};
    pout.style = 1;
    pout.pictureScale = 5;
    pout.pictureX = 150;
    pout.pictureY = 101;
    WriteValue(kValueCoverPagePout, pout);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND send = CurrentPage(sheet);
                  SetDlgItemTextW(send, 3806, u"Иван");
                  SetDlgItemTextW(send, 3808, u"123");
                  Command(send, 3802, BN_CLICKED);
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND page = CurrentPage(sheet);
                  EXPECT_EQ(Text(page, 3612), u"150");
                  EXPECT_EQ(Text(page, 3614), u"101");
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              }),
              1);
    CoverPageSettings stored{};
    ASSERT_TRUE(ReadValue(kValueCoverPagePout, stored));
    EXPECT_EQ(stored.pictureScale, 5);
    EXPECT_EQ(stored.pictureX, 150);
    EXPECT_EQ(stored.pictureY, 101);
}
// use it. A scale that fits stays as typed.
TEST_F(CoverPage, ScaleEditIsLoweredToTheLargestScaleThatFits)
{
    TemplateInstall();
    constexpr LONG kWidth = 2000, kHeight = 1000;
    SolidBmpWrite(env_.tmp() + "wide.bmp", kWidth, kHeight, RGB(0, 0, 255));
    CoverPageSettings pout{};
    pout.style = 1;
    pout.pictureOn = 1;
    pout.pictureScale = 10;
    FieldSet(pout.picturePath, Wide(env_.tmp() + "wide.bmp"));
    WriteValue(kValueCoverPagePout, pout);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND page = CurrentPage(sheet);
                  const CoverPageSettings* settings = PageState(page)->settings;
                  // The largest scale whose drawn size (scale x pixels / 1150) fits the cover page less 4.
                  const LONG aw = settings->previewPage[2] - settings->previewPage[0] - 4;
                  const LONG ah = settings->previewPage[3] - settings->previewPage[1] - 4;
                  ASSERT_GT(aw, 0);
                  int fits = 0;
                  for (int s = 1; s <= 400; ++s)
                      if (static_cast<LONG>(s * kWidth / 1150.0) <= aw && static_cast<LONG>(s * kHeight / 1150.0) <= ah)
                          fits = s;
                  ASSERT_GT(fits, 10);
                  ASSERT_LT(fits, 400);
                  const std::u16string fitsText = Wide(std::to_string(fits));
                  SetDlgItemTextW(page, 3610, u"400");
                  EXPECT_EQ(Text(page, 3610), fitsText);
                  EXPECT_EQ(settings->pictureScale, fits);
                  SetDlgItemTextW(page, 3612, u"10");
                  EXPECT_EQ(Text(page, 3610), fitsText);
                  EXPECT_EQ(settings->pictureScale, fits);
                  SendMessageW(page, WM_VSCROLL, MAKEWPARAM(SB_LINEUP, 0),
                               reinterpret_cast<LPARAM>(GetDlgItem(page, 3617)));
                  EXPECT_EQ(Text(page, 3610), fitsText);  // one more does not fit either
                  const std::u16string less = Wide(std::to_string(fits - 5));
                  SetDlgItemTextW(page, 3610, less.c_str());
                  EXPECT_EQ(Text(page, 3610), less);
                  EXPECT_EQ(settings->pictureScale, fits - 5);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// Pictures are checked before anything trusts their numbers; a good one comes back as one block
// of a 40-byte header, its colour table and its rows.
TEST(CoverPicture, DamagedFilesFailAndGoodOnesLoad)
{
    const auto corrupt = [](std::vector<uint8_t> file, size_t at, std::vector<uint8_t> bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) file[at + i] = bytes[i];
        return file;
    };
    const auto cut = [](std::vector<uint8_t> file, size_t less) {
        file.resize(file.size() - less);
        return file;
    };
    const std::vector<uint8_t> plain = MakeBmp({}, 8);  // 5 x 3 at 8 bits: rows of 8 bytes
    const struct {
        const char* name;
        std::vector<uint8_t> file;
        bool loads;
        int32_t palette;
        uint32_t imageBytes;
    } cases[] = {
        {"8 bits, 256 colours", plain, true, 1024, 24},
        {"1 bit, 33 wide, top-down", MakeBmp({33, -2, 1, 40, 0, 0, 2}, 8), true, 8, 16},
        {"24 bits", MakeBmp({7, 2, 24, 40, 0, 0, 0}, 24), true, 0, 48},
        {"4 bits, 3 colours used", MakeBmp({3, 1, 4, 40, 0, 3, 3}, 4), true, 12, 4},
        {"32-bit bit fields in a 124-byte header", MakeBmp({2, 2, 32, 124, 3, 0, 0}, 8), true, 12, 16},
        {"not BM", corrupt(plain, 0, {'M', 'B'}), false, 0, 0},
        {"12-byte header", corrupt(plain, 14, {12}), false, 0, 0},
        {"width 0", corrupt(plain, 18, {0}), false, 0, 0},
        {"negative width", corrupt(plain, 18, {0xFF, 0xFF, 0xFF, 0xFF}), false, 0, 0},
        {"height 0", corrupt(plain, 22, {0}), false, 0, 0},
        {"height 2^31 - 1", corrupt(plain, 22, {0xFF, 0xFF, 0xFF, 0x7F}), false, 0, 0},
        {"7 bits", corrupt(plain, 28, {7}), false, 0, 0},
        {"RLE", corrupt(plain, 30, {1}), false, 0, 0},
        {"300 colours used", corrupt(plain, 46, {0x2C, 0x01}), false, 0, 0},
        {"rows past the end", cut(plain, 1), false, 0, 0},
        {"pixel offset past the end", corrupt(plain, 10, {0xFF, 0xFF, 0, 0}), false, 0, 0},
        {"pixel offset inside the header", corrupt(plain, 10, {20}), false, 0, 0},
        {"colour table cut short", corrupt(plain, 10, {54 + 16, 0}), false, 0, 0},
        {"header only", cut(plain, plain.size() - 30), false, 0, 0},
    };
    FrontendEnv env;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::u16string path = WriteBmp(env.tmp() + "p.bmp", c.file);
        int32_t palette = -1;
        BYTE* block = BmpFileRead(path.c_str(), &palette);
        ASSERT_EQ(block != nullptr, c.loads);
        if (!block) {
            EXPECT_EQ(palette, 0);
            continue;
        }
        BITMAPINFOHEADER header;
        std::memcpy(&header, block, sizeof header);
        EXPECT_EQ(header.biSize, 40u);
        EXPECT_EQ(palette, c.palette);
        EXPECT_EQ(header.biSizeImage, c.imageBytes);
        EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), 40 + static_cast<SIZE_T>(c.palette) + c.imageBytes);
        // The rows are the file's last bytes.
        EXPECT_EQ(std::memcmp(block + 40 + c.palette, c.file.data() + c.file.size() - c.imageBytes, c.imageBytes), 0);
        HeapFree(GetProcessHeap(), 0, block);
    }
    int32_t palette = -1;
    EXPECT_EQ(BmpFileRead(u"/nonexistent/p.bmp", &palette), nullptr);
}

}  // namespace
