// Context help: the help file at each page's topic, popups for controls on F1 and right clicks,
// the popup rules by code page and Windows version, and the viewer's binding.
#include <QApplication>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "frontend/sheet/context_help.h"
#include "platform/registry.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

class Help : public SheetFixture {
protected:
    void SetUp() override
    {
        SheetFixture::SetUp();
        // The driver folder holds the help file under the name this prefix gives it.
        driverFolder_ = env_.file("driver") + "/";
        std::filesystem::create_directories(driverFolder_ + Prefix() + "ML.CHM");
        for (const auto& entry : std::filesystem::directory_iterator(VELMORA_HELP_SOURCE))
            std::filesystem::copy_file(entry.path(),
                                       driverFolder_ + Prefix() + "ML.CHM/" + entry.path().filename().string());
        DriverPathValue driver{};
        std::strcpy(driver.printerName, "Fax");
        std::strcpy(driver.driverFolder, driverFolder_.c_str());
        WriteValue(kValueDriverPath, driver);
        RegisterViewer(PLATFORM_UI_LIBRARY);
        HtmlHelpUnbind();
        platform::ui::SetHelpTopicHook([this](const std::string& page) { topics_.push_back(page); });
        platform::ui::SetHelpPopupHook([this](std::u16string_view text, POINT, std::u16string_view font) {
            popups_.emplace_back(text);
            fonts_.emplace_back(font);
        });
    }
    void TearDown() override
    {
        HtmlHelpUnbind();
        SheetFixture::TearDown();
    }
    void RegisterViewer(const char* path)
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                                  nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(path),
                       static_cast<DWORD>(std::strlen(path) + 1));
        RegCloseKey(key);
    }
    std::string Topic(int topic) const
    {
        return driverFolder_ + Prefix() + "ML.CHM/" + std::to_string(topic) + ".html";
    }

    std::string driverFolder_;
    std::vector<std::string> topics_;
    std::vector<std::u16string> popups_, fonts_;
};

std::u16string PopupText(int topic)
{
    std::ifstream in(std::string(VELMORA_HELP_SOURCE) + "/POPTEXT.txt");
    std::string line, text;
    bool inside = false;
    while (std::getline(in, line)) {
        if (line.rfind(".topic", 0) == 0) {
            if (inside) break;
            inside = line == ".topic " + std::to_string(topic);
        } else if (inside && !line.empty()) {
            text += line;
        }
    }
    return QString::fromStdString(text).toStdU16String();
}

TEST_F(Help, HelpButtonOpensEachPagesTopic)
{
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_EQ(topics_, (std::vector<std::string>{Topic(500), Topic(600)}));
    for (int topic : {500, 501, 504, 600, 601, 603, 606}) EXPECT_TRUE(std::filesystem::exists(Topic(topic))) << topic;
}

TEST_F(Help, F1AndRightClicksShowTheControlsPopup)
{
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND send = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                  QTest::keyClick(platform::ui::WidgetOf(GetDlgItem(send, 3806)), Qt::Key_F1);  // 504
                  // The group box 3809 has no entry: F1 there shows nothing.
                  HELPINFO info{sizeof(HELPINFO), HELPINFO_WINDOW, 3809, GetDlgItem(send, 3809), 0, {0, 0}};
                  SendMessageW(send, WM_HELP, 0, reinterpret_cast<LPARAM>(&info));
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  HWND cover = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                  QWidget* style = platform::ui::WidgetOf(GetDlgItem(cover, 3604));  // 601
                  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(3, 3), style->mapToGlobal(QPoint(3, 3)));
                  QApplication::sendEvent(style, &click);
                  QWidget* subject = platform::ui::WidgetOf(GetDlgItem(cover, 3621));  // 606
                  QContextMenuEvent other(QContextMenuEvent::Mouse, QPoint(3, 3), subject->mapToGlobal(QPoint(3, 3)));
                  QApplication::sendEvent(subject, &other);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_EQ(popups_, (std::vector<std::u16string>{PopupText(504), PopupText(601), PopupText(606)}));
    for (const auto& font : fonts_) EXPECT_EQ(font, u"Tohoma, 8, 1251, ");  // this platform's ANSI code page
    EXPECT_TRUE(topics_.empty());
}

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

// The popup window showing, or null, and its text.
QLabel* ShownPopup() { return qobject_cast<QLabel*>(QApplication::activePopupWidget()); }

// Types a receiver by hand and adds it, so that OK saves.
void ReceiverAdd(HWND page)
{
    SetDlgItemTextW(page, 3806, u"Eve");
    SetDlgItemTextW(page, 3808, u"555");
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(3802, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, 3802)));
}

// A point of the sheet's window (its top widget's coordinates) where a right click reaches the
// mapped window id of page: over the control itself, or for the page and its group boxes (which
// let the mouse through) over the page's face inside the innermost such frame.
std::optional<QPoint> PointFor(QWidget* top, HWND page, int id)
{
    QWidget* face = platform::ui::WidgetOf(page);
    QWidget* target = id == GetDlgCtrlID(page) ? face : platform::ui::WidgetOf(GetDlgItem(page, id));
    if (!target) return std::nullopt;
    const bool onFace = target == face || qobject_cast<QGroupBox*>(target);
    const QRect area(target->mapTo(top, QPoint(0, 0)), target->size());
    const auto boxes = face->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly);
    for (int y = area.top() + 1; y < area.bottom(); y += 2)
        for (int x = area.left() + 1; x < area.right(); x += 2) {
            const QPoint at(x, y);
            QWidget* hit = top->childAt(at);
            if (!onFace) {
                if (hit && (hit == target || target->isAncestorOf(hit))) return at;
                continue;
            }
            if (hit != face) continue;
            QGroupBox* inner = nullptr;
            for (QGroupBox* box : boxes)
                if (box->isVisible() && QRect(box->mapTo(top, QPoint(0, 0)), box->size()).contains(at) &&
                    (!inner || inner->geometry().contains(box->geometry())))
                    inner = box;
            if (inner == (target == face ? nullptr : target)) return at;
        }
    return std::nullopt;
}

// Every window the help table maps shows its popup on a right click on the running sheet: the
// controls, the statics and group boxes that take no focus, and each page's own face.
TEST_F(Help, ARightClickReachesEveryMappedWindow)
{
    std::map<int, std::u16string> shown;
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  QWidget* top = platform::ui::WidgetOf(sheet)->window();
                  for (const ContextHelpEntry* entry = ContextHelpTable; entry->controlId != 0; ++entry) {
                      const int id = entry->controlId;
                      SendMessageW(sheet, PSM_SETCURSEL, id >= 3800 && id < 3830 ? 0 : 1, 0);
                      HWND page = CurrentPage(sheet);
                      const auto at = PointFor(top, page, id);
                      if (!at) {
                          ADD_FAILURE() << "no point reaches " << id;
                          continue;
                      }
                      popups_.clear();
                      QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, *at);
                      if (popups_.size() == 1) shown[id] = popups_[0];
                      else ADD_FAILURE() << id << ": " << popups_.size() << " popups";
                  }
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    int mapped = 0;
    for (const ContextHelpEntry* entry = ContextHelpTable; entry->controlId != 0; ++entry, ++mapped)
        EXPECT_EQ(shown[entry->controlId], PopupText(entry->topic)) << entry->controlId;
    EXPECT_EQ(shown.size(), static_cast<size_t>(mapped));
}

// The popup is a window of its own that takes the key: Escape closes it and leaves the sheet
// open, and the next Escape, with no popup, cancels the sheet as before.
TEST_F(Help, EscapeClosesThePopupOnly)
{
    platform::ui::SetHelpPopupHook({});  // the real popup window
    bool shown = false, closed = false, open = false, cancelled = false;
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  ReceiverAdd(page);
                  QWidget* top = platform::ui::WidgetOf(sheet)->window();
                  QTest::keyClick(platform::ui::WidgetOf(GetDlgItem(page, 3806)), Qt::Key_F1);
                  shown = ShownPopup() && ShownPopup()->text().toStdU16String() == PopupText(504);
                  QTest::keyClick(top->windowHandle(), Qt::Key_Escape);
                  closed = ShownPopup() == nullptr;
                  open = CurrentPage(sheet) != nullptr;
                  QTest::keyClick(top->windowHandle(), Qt::Key_Escape);
                  cancelled = CurrentPage(sheet) == nullptr;
              }),
              0);
    EXPECT_TRUE(shown);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(open);
    EXPECT_TRUE(cancelled);
    EXPECT_FALSE(Saved());
}

// A right click's popup stays after the button is let go, until a click elsewhere closes it; that
// click closes the popup only.
TEST_F(Help, ARightClickPopupStaysUntilAClickElsewhere)
{
    platform::ui::SetHelpPopupHook({});
    bool stayed = false, closed = false;
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  ReceiverAdd(page);
                  QWidget* top = platform::ui::WidgetOf(sheet)->window();
                  const auto label = PointFor(top, page, 3805);  // a static: no focus, no F1
                  ASSERT_TRUE(label);
                  QTest::mouseClick(top->windowHandle(), Qt::RightButton, {}, *label);
                  QApplication::processEvents();
                  stayed = ShownPopup() && ShownPopup()->text().toStdU16String() == PopupText(504) &&
                           ShownPopup()->isVisible();
                  const auto face = PointFor(top, page, GetDlgCtrlID(page));
                  ASSERT_TRUE(face);
                  QTest::mouseClick(top->windowHandle(), Qt::LeftButton, {}, *face);
                  closed = ShownPopup() == nullptr && CurrentPage(sheet) != nullptr;
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              }),
              1);
    EXPECT_TRUE(stayed);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(Saved());
}

// The help file's pages and popup texts are named by the driver folder's value: a FIFO in their
// place shows nothing, as a missing file does, and never waits for a writer. Should the viewer
// wait on one, a writer comes after a while with a popup text and ends the page, so that the
// wait shows as a popup or a topic rather than a hung test.
TEST_F(Help, AFifoInPlaceOfAHelpFileShowsNothing)
{
    const std::string folder = driverFolder_ + Prefix() + "ML.CHM/";
    for (const char* name : {"POPTEXT.txt", "500.html"}) {
        std::filesystem::remove(folder + name);
        ASSERT_EQ(mkfifo((folder + name).c_str(), 0600), 0) << name;
    }
    std::atomic<bool> done{false};
    std::thread writer([&] {
        for (int i = 0; !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            for (const char* name : {"POPTEXT.txt", "500.html"}) {
                // Opens only while a reader waits on the FIFO.
                const int fd = i < 100 ? -1 : open((folder + name).c_str(), O_WRONLY | O_NONBLOCK);
                if (fd < 0) continue;
                const char text[] = ".topic 504\nread from the FIFO\n";
                EXPECT_GT(write(fd, text, sizeof text - 1), 0);
                close(fd);
            }
        }
    });
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  HWND send = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                  QTest::keyClick(platform::ui::WidgetOf(GetDlgItem(send, 3806)), Qt::Key_F1);  // 504
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    done = true;
    writer.join();
    EXPECT_TRUE(topics_.empty());
    EXPECT_TRUE(popups_.empty());
}

// A viewer path in the registry that cannot be loaded falls back to "hhctrl.ocx" by name, which
// this platform provides: the window layer's viewer.
TEST_F(Help, AViewerPathThatCannotBeLoadedFallsBackToTheViewerByName)
{
    RegisterViewer("/no/such/viewer.so");
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_EQ(topics_, std::vector<std::string>{Topic(500)});
}

// A registered module without the viewer's entry shows nothing, and says nothing, as the missing
// viewer of the original platform does; the binding is tried again on the next call.
TEST_F(Help, AViewerWithoutItsEntryShowsNothing)
{
    const std::string ui = PLATFORM_UI_LIBRARY;
    RegisterViewer((ui.substr(0, ui.find_last_of('/') + 1) + "libfaxplatform.so").c_str());
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_TRUE(topics_.empty());
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(HtmlHelpLoad(nullptr, u"x", HH_HELP_CONTEXT, 500), nullptr);
}

// A host that registers no viewer class (only faxsheet does) still has help: the Help button opens
// the page's topic, and F1 shows a control's popup.
TEST_F(Help, EveryHostHasTheViewer)
{
    FrontendEnv env;  // a registry in which nothing registered the viewer's class
    DriverPathValue driver{};
    std::strcpy(driver.printerName, "Fax");
    std::strcpy(driver.driverFolder, driverFolder_.c_str());
    WriteValue(kValueDriverPath, driver);
    HKEY key = nullptr;
    ASSERT_NE(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                  HWND send = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                  QTest::keyClick(platform::ui::WidgetOf(GetDlgItem(send, 3806)), Qt::Key_F1);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_EQ(topics_, std::vector<std::string>{Topic(500)});
    EXPECT_EQ(popups_, std::vector<std::u16string>{PopupText(504)});
}

// Without a browser to open the topic in, the viewer says so rather than doing nothing.
TEST_F(Help, AMissingBrowserIsSaid)
{
    platform::ui::SetHelpTopicHook({});  // the desktop's browser, through xdg-open
    struct Said {
        std::u16string text, caption;
    };
    const char* path = std::getenv("PATH");
    const std::string savedPath = path ? path : "";
    // No xdg-open at all, and one that finds no browser (it exits 3, "no method available"): the
    // second is known only when it ends, which the sheet does not wait for.
    for (const bool opener : {false, true}) {
        SCOPED_TRACE(opener ? "xdg-open without a browser" : "no xdg-open");
        std::vector<Said> said;
        platform::ui::SetMessageBoxHook([&](HWND, std::u16string_view text, std::u16string_view caption, UINT) {
            said.push_back({std::u16string(text), std::u16string(caption)});
            return IDOK;
        });
        const std::string folder = env_.file(opener ? "opener" : "nothing");
        std::filesystem::create_directories(folder);
        if (opener) {
            std::ofstream(folder + "/xdg-open") << "#!/bin/sh\nexit 3\n";
            std::filesystem::permissions(folder + "/xdg-open", std::filesystem::perms::owner_all);
        }
        setenv("PATH", folder.c_str(), 1);
        EXPECT_EQ(SheetRun([&](HWND sheet) {
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_HELP, 0);
                      if (opener) {
                          EXPECT_TRUE(said.empty());  // started, not waited for
                          EXPECT_TRUE(QTest::qWaitFor([&] { return !said.empty(); }, 20000));
                      }
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                  }),
                  0);
        setenv("PATH", savedPath.c_str(), 1);
        ASSERT_EQ(said.size(), 1u);
        EXPECT_EQ(said[0].caption, u"Справка");
        EXPECT_NE(said[0].text.find(u"xdg-open"), std::u16string::npos);
        EXPECT_NE(said[0].text.find(opener ? u"браузер" : u"нет программы"), std::u16string::npos);
        EXPECT_NE(said[0].text.find(Wide(Topic(500))), std::u16string::npos);
    }
}

// Where the help texts say a part of a page stands (left or right), it stands there: each claim
// is checked against the controls' places on the running sheet, and every claim is in the table.
TEST_F(Help, TextsSayOnWhichSideThePartsStand)
{
    std::map<int, bool> onLeft;  // control id: its centre lies left of its page's middle
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  for (const auto& [pageIndex, ids] :
                       {std::pair{0, std::vector<int>{3801, 3804}}, std::pair{1, std::vector<int>{3001}}}) {
                      SendMessageW(sheet, PSM_SETCURSEL, static_cast<WPARAM>(pageIndex), 0);
                      HWND page = reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
                      RECT whole{};
                      GetWindowRect(page, &whole);
                      for (int id : ids) {
                          RECT control{};
                          GetWindowRect(GetDlgItem(page, id), &control);
                          onLeft[id] = control.left + control.right < whole.left + whole.right;
                      }
                  }
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    ASSERT_EQ(onLeft.size(), 3u);
    EXPECT_TRUE(onLeft[3801]);
    EXPECT_FALSE(onLeft[3804]);
    const struct {
        const char* file;
        const char* before;  // the text around the side word
        const char* after;
        bool capital;
        int control;
    } claims[] = {
        {"600.html", "Образец ", " показывает", false, 3001},
        {"500.html", "", " показаны контакты и группы", true, 3801},
        {"500.html", "книги, ", " — список отправки", false, 3804},
        {"POPTEXT.txt", "контакты и группы ", ", список отправки", false, 3801},
        {"POPTEXT.txt", "список отправки ", ".", false, 3804},
        {"POPTEXT.txt", "Выберите контакт или группу ", " и нажмите", false, 3801},
    };
    std::map<std::string, int> sideWords;
    for (const auto& entry : std::filesystem::directory_iterator(VELMORA_HELP_SOURCE)) {
        std::ifstream in(entry.path());
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        for (const char* word : {"слева", "справа", "Слева", "Справа"})
            for (size_t at = text.find(word); at != std::string::npos; at = text.find(word, at + 1))
                ++sideWords[entry.path().filename().string()];
    }
    std::map<std::string, int> claimed;
    for (const auto& c : claims) {
        std::ifstream in(std::string(VELMORA_HELP_SOURCE) + "/" + c.file);
        const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const std::string side =
            onLeft.at(c.control) ? (c.capital ? "Слева" : "слева") : (c.capital ? "Справа" : "справа");
        EXPECT_NE(text.find(c.before + side + c.after), std::string::npos)
            << c.file << ": " << c.before << side << c.after;
        ++claimed[c.file];
    }
    EXPECT_EQ(sideWords, claimed);  // no side named in the help that the table does not check
}

TEST(HelpRules, PopupFontAndViewerByCodePageAndOsCode)
{
    EXPECT_EQ(HelpPopupFont(1251), u"Tohoma, 8, 1251, ");
    EXPECT_EQ(HelpPopupFont(932), u"MS Gothic, 8, 932, ");
    const struct {
        UINT codePage;
        int osCode;
        bool byViewer;
    } cases[] = {{932, 2600, true}, {932, 2601, true},   {932, 2502, false},
                 {932, 0, false},   {1251, 2600, false}, {1252, 2601, false}};
    for (const auto& c : cases)
        EXPECT_EQ(HelpPopupByViewer(c.codePage, c.osCode), c.byViewer) << c.codePage << " " << c.osCode;
}

TEST(HelpRules, OsCodes)
{
    constexpr WORD x64 = 9, x86 = 0;
    const struct {
        DWORD platformId, major, minor;
        BYTE productType;
        WORD architecture;
        bool extended;
        int code;
    } cases[] = {
        {1, 4, 0, 0, x86, true, 1400},  {1, 4, 10, 0, x86, true, 1410}, {1, 4, 90, 0, x86, true, 1490},
        {1, 4, 5, 0, x86, true, 0},     {2, 5, 2, 3, x64, true, 2502},  {2, 6, 0, 3, x64, true, 2601},
        {2, 4, 0, 3, x86, true, 2400},  {2, 3, 51, 3, x86, true, 2400}, {2, 5, 2, 3, x86, true, 2502},
        {2, 6, 0, 3, x86, true, 2601},  {2, 5, 2, 1, x64, true, 2501},  {2, 6, 0, 2, x64, true, 2600},
        {2, 5, 0, 1, x86, true, 2500},  {2, 5, 1, 1, x86, true, 2501},  {2, 6, 0, 1, x86, true, 2600},
        {2, 6, 1, 1, x64, true, 0},     {2, 10, 0, 1, x64, true, 0},    {2, 4, 0, 3, x64, true, 0},
        {2, 6, 0, 3, x86, false, 2600},  // the basic structure has no product type: workstation rows
        {3, 6, 0, 1, x86, true, 0},
    };
    for (const auto& c : cases) {
        OSVERSIONINFOEXW version{};
        version.dwPlatformId = c.platformId;
        version.dwMajorVersion = c.major;
        version.dwMinorVersion = c.minor;
        version.wProductType = c.productType;
        EXPECT_EQ(OsCodeFromVersion(c.architecture, &version, c.extended), c.code)
            << c.platformId << " " << c.major << "." << c.minor << " type " << int(c.productType);
    }
    EXPECT_EQ(OsCodeFromVersion(x64, nullptr, false), 0);
    EXPECT_EQ(OsVersionProbe(), 0);  // this platform answers as Windows 10, after the table
}

TEST(HelpRules, TableOrderAndEnd)
{
    int entries = 0;
    while (ContextHelpTable[entries].controlId != 0) ++entries;
    EXPECT_EQ(entries, 35);
    EXPECT_EQ(ContextHelpTable[35].topic, 0);
    EXPECT_EQ(ContextHelpTable[0].controlId, 3800);
    EXPECT_EQ(ContextHelpTable[34].controlId, 3625);
}

}  // namespace
