// The sending sheet: the state it loads, the save rules of its two pages, and the saved state,
// driven through the dialog procedures and through Qt on the offscreen platform.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "frontend/common/text_rules.h"
#include "frontend/sheet/pages.h"
#include "platform/gdi.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

using Sheet = SheetFixture;

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

// What the send page's moves leave in the state (the lists themselves are that page's): contacts
// moved across in order, receivers typed in, groups chosen.
void MoveContact(FaxSheetState* state, int index)
{
    const SIZE_T bytes = (static_cast<SIZE_T>(state->sendListCount) + 1) * sizeof(ContactRecord);
    state->sendList =
        static_cast<ContactRecord*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, state->sendList, bytes));
    state->sendList[state->sendListCount++] = state->contacts[index];
    std::memmove(&state->contacts[index], &state->contacts[index + 1],
                 (state->contactsCount - index - 1) * sizeof(ContactRecord));
    --state->contactsCount;
}
void Type(FaxSheetState* state, const char16_t* name, const char16_t* fax)
{
    const SIZE_T bytes = (static_cast<SIZE_T>(state->typedCount) + 1) * sizeof(ContactRecord);
    state->typed = static_cast<ContactRecord*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, state->typed, bytes));
    state->typed[state->typedCount++] = MakeContact(u"", name, fax);
}
void ChooseGroup(FaxSheetState* state, int index)
{
    const SIZE_T bytes = (static_cast<SIZE_T>(state->chosenGroupsCount) + 1) * sizeof(GroupRecord);
    state->chosenGroups =
        static_cast<GroupRecord*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, state->chosenGroups, bytes));
    state->chosenGroups[state->chosenGroupsCount++] = state->groups[index];
}

std::vector<std::u16string> Names(const std::vector<ContactRecord>& records, size_t count)
{
    std::vector<std::u16string> names;
    for (size_t i = 0; i < count && i < records.size(); ++i) names.emplace_back(FieldText(records[i].name));
    return names;
}

TEST_F(Sheet, LoadTakesTheAddressBookAndTheCoverPageDefaults)
{
    AddressBook();
    CoverPageSettings ui{};
    ui.paperWidth = 2794;
    ui.paperHeight = 2159;
    FieldSet(ui.sender.name, u"Отправитель");
    WriteValue(kValueCoverPageUI, ui);
    DriverPathValue driver{};
    std::strcpy(driver.printerName, "Fax");
    std::strcpy(driver.driverFolder, "/opt/\xF4\xE0\xEA\xF1/");
    WriteValue(kValueDriverPath, driver);

    auto* state = static_cast<FaxSheetState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FaxSheetState)));
    state->module = VelmoraModule();
    FaxSheetStateLoad(state);
    EXPECT_EQ(state->contactsCount, 4);
    EXPECT_EQ(state->allContactsCount, 4);
    EXPECT_EQ(state->groupsCount, 2);
    EXPECT_NE(state->contacts, state->allContacts);  // two independent arrays
    EXPECT_EQ(FieldText(state->contacts[3].name), u"Dan");
    EXPECT_EQ(FieldText(state->groups[1].name), u"Two");
    EXPECT_EQ(state->settings->paperWidth, 2159);
    EXPECT_EQ(state->settings->paperHeight, 2794);
    EXPECT_EQ(state->settings->pictureScale, 100);
    EXPECT_EQ(state->settings->orientation, 1);  // no cover-page settings stored yet: portrait
    EXPECT_EQ(FieldText(state->settings->sender.name), u"Отправитель");
    EXPECT_EQ(std::u16string(state->driverFolder), u"/opt/факс/");
    EXPECT_EQ(state->sendListCount, 0);
    EXPECT_EQ(HeapSize(GetProcessHeap(), 0, state->sendList), 32u);
    EXPECT_NE(state->handCursor, nullptr);
    FaxSheetStateFree(state);
}

TEST_F(Sheet, CountsComeFromCountInfoAndAreHeldToTheFiles)
{
    const struct {
        WORD contacts, groups;
        int16_t loadedContacts, loadedGroups;
    } cases[] = {
        {0, 0, 0, 0},  // a zero "CountInfo" is an empty book, whatever USER.DAT holds
        {2, 1, 2, 1},  // records behind the count are not used
        {40, 9, 4, 2},  // a count beyond the file is held to the file
    };
    for (const auto& c : cases) {
        AddressBook(c.contacts, c.groups);
        auto* state = static_cast<FaxSheetState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FaxSheetState)));
        state->module = VelmoraModule();
        FaxSheetStateLoad(state);
        EXPECT_EQ(state->contactsCount, c.loadedContacts) << c.contacts;
        EXPECT_EQ(state->groupsCount, c.loadedGroups) << c.groups;
        FaxSheetStateFree(state);
    }
}

TEST_F(Sheet, ReceiversInSendOrderEachOnce)
{
    AddressBook();
    CoverPageSettings ui{};
    ui.paperWidth = 2794;
    ui.paperHeight = 2159;
    WriteValue(kValueCoverPageUI, ui);
    // An earlier, longer receivers file.
    WriteFile("REC.DAT", std::vector<ContactRecord>(9, MakeContact(u"X", u"Old", u"999")));

    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  FaxSheetState* state = PageState(CurrentPage(sheet));
                  MoveContact(state, 1);  // Bob
                  Type(state, u"Eve", u"555");
                  ChooseGroup(state, 0);  // Team: Ann, Cid
                  ChooseGroup(state, 1);  // Two: (Bob, moved already) Cid again
                  EXPECT_EQ(FaxSheetReceiverTotal(state), 4);
                  QPushButton* ok = nullptr;
                  for (QPushButton* button : platform::ui::WidgetOf(sheet)->findChildren<QPushButton*>())
                      if (button->text() == QStringLiteral("OK")) ok = button;
                  ASSERT_TRUE(ok);
                  QTest::mouseClick(ok, Qt::LeftButton);
              }),
              1);

    CountValue count{};
    ASSERT_TRUE(ReadValue(kValueCountPout, count));
    EXPECT_EQ(count.contactCount, 4);
    EXPECT_EQ(count.groupCount, 2);
    EXPECT_EQ(std::memcmp(count.head, "\x01\x02\x03\x04", 4), 0);
    const std::vector<ContactRecord> receivers = Receivers();
    EXPECT_EQ(Names(receivers, count.contactCount), (std::vector<std::u16string>{u"Bob", u"Eve", u"Ann", u"Cid"}));
    // The file holds the send-list block and nothing of the earlier nine records.
    EXPECT_LE(receivers.size(), 5u);
    for (const ContactRecord& record : receivers) EXPECT_NE(FieldText(record.name), u"Old");

    CoverPageSettings saved{};
    ASSERT_TRUE(ReadValue(kValueCoverPagePout, saved));
    EXPECT_EQ(saved.paperWidth, 2159);
    EXPECT_EQ(saved.paperHeight, 2794);
    EXPECT_TRUE(messages_.empty());
}

// Which pages the user opened and what each answers decide when the sheet writes.
TEST_F(Sheet, SaveRules)
{
    const struct {
        const char* name;
        bool openCoverPage;
        bool receivers;
        bool subjectMissing;
        bool savedAfterFirstOk;
        std::vector<std::u16string> messages;
    } cases[] = {
        {"only the send page shown", false, true, true, true, {}},
        {"both pages shown", true, true, false, true, {}},
        {"cover page refuses an empty subject", true, true, true, false, {u"Введите тему"}},
        {"send page refuses an empty list", false, false, false, false, {u"Выберите контакт из списка"}},
        {"send page refuses with both shown", true, false, false, false, {u"Выберите контакт из списка"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrontendEnv env;  // a fresh registry and data folder for each case
        SetUp();
        AddressBook();
        TemplateInstall();
        CoverPageSettings pout{};
        pout.style = 1;  // a cover page, whose subject is shown but empty
        pout.showSubject = 1;
        WriteValue(kValueCoverPagePout, pout);
        messages_.clear();
        bool savedAfterFirstOk = false, savedInBetween = true;
        const INT_PTR result = SheetRun([&](HWND sheet) {
            FaxSheetState* state = PageState(CurrentPage(sheet));
            if (c.receivers) Type(state, u"Eve", u"555");
            if (!c.subjectMissing) FieldSet(state->settings->subject, u"Счёт");
            if (c.openCoverPage) {
                SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                EXPECT_EQ(state->coverPageNotApplied, 1);
            }
            EXPECT_EQ(state->sendPageNotApplied, 1);
            // Both pages opened: the send page's apply alone writes nothing.
            if (c.openCoverPage && c.receivers) {
                PSHNOTIFY apply{{sheet, 0, static_cast<UINT>(PSN_APPLY)}, 1};
                SendMessageW(state->sendPage, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&apply));
                savedInBetween = Saved();
            }
            SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            savedAfterFirstOk = Saved();
            if (CurrentPage(sheet)) {  // still open
                EXPECT_EQ(CurrentPage(sheet), c.receivers ? state->coverPage : state->sendPage);
                platform::ui::ProcessPosted();  // the cover page puts the focus into the subject
                SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
            }
        });
        EXPECT_EQ(result, c.savedAfterFirstOk ? 1 : 0);
        EXPECT_EQ(savedAfterFirstOk, c.savedAfterFirstOk);
        if (c.openCoverPage && c.receivers) {
            EXPECT_FALSE(savedInBetween);
        }
        EXPECT_EQ(Saved(), c.savedAfterFirstOk);  // Cancel writes nothing
        EXPECT_EQ(messages_, c.messages);
        CountValue count{};
        EXPECT_EQ(ReadValue(kValueCountPout, count), c.savedAfterFirstOk);
    }
}

TEST_F(Sheet, ARefusedApplyCanBeMendedAndSavesOnce)
{
    AddressBook();
    TemplateInstall();
    CoverPageSettings pout{};
    pout.style = 1;
    pout.showSubject = 1;
    WriteValue(kValueCoverPagePout, pout);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  FaxSheetState* state = PageState(CurrentPage(sheet));
                  Type(state, u"Eve", u"555");
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
                  ASSERT_TRUE(CurrentPage(sheet));
                  EXPECT_FALSE(Saved());
                  FieldSet(state->settings->subject, u"Счёт");
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
              }),
              1);
    CountValue count{};
    ASSERT_TRUE(ReadValue(kValueCountPout, count));
    EXPECT_EQ(count.contactCount, 1);  // the typed receiver once, not once per OK
    EXPECT_EQ(Names(Receivers(), count.contactCount), std::vector<std::u16string>{u"Eve"});
}

TEST_F(Sheet, PagesShowTheirTextsAndTheSheetItsCaption)
{
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  EXPECT_EQ(platform::ui::WidgetOf(sheet)->windowTitle(), QStringLiteral("Настройки факса"));
                  HWND send = CurrentPage(sheet);
                  WCHAR text[128];
                  GetDlgItemTextW(send, 3809, text, 128);
                  EXPECT_EQ(std::u16string(text), u"Список контактов/группы");
                  GetDlgItemTextW(send, 3807, text, 128);
                  EXPECT_EQ(std::u16string(text), u"Номер факса:");
                  SendMessageW(sheet, PSM_SETCURSEL, 1, 0);
                  GetDlgItemTextW(CurrentPage(sheet), 3611, text, 128);
                  EXPECT_EQ(std::u16string(text), u"Расположение  X (%):");
                  // Escape closes the sheet as Cancel.
                  QTest::keyClick(platform::ui::WidgetOf(sheet), Qt::Key_Escape);
                  EXPECT_EQ(CurrentPage(sheet), nullptr);
              }),
              0);
    EXPECT_FALSE(Saved());
}

// The sheet's bitmaps: the list pictures as five 16 x 16 cells of one strip, the two page pictures
// portrait and landscape.
TEST(VelmoraBitmaps, ListPicturesAndPagePicturesLoad)
{
    const struct {
        int id;
        LONG width, height;
    } cases[] = {{3900, 80, 16}, {3901, 48, 64}, {3902, 64, 48}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.id);
        HBITMAP bitmap = LoadBitmapW(VelmoraModule(), MAKEINTRESOURCEW(c.id));
        ASSERT_NE(bitmap, nullptr);
        BITMAP shape{};
        ASSERT_EQ(GetObjectW(bitmap, sizeof shape, &shape), int(sizeof shape));
        EXPECT_EQ(shape.bmWidth, c.width);
        EXPECT_EQ(shape.bmHeight, c.height);
        EXPECT_TRUE(DeleteObject(bitmap));
    }
    HBITMAP strip = LoadBitmapW(VelmoraModule(), MAKEINTRESOURCEW(3900));
    HIMAGELIST list = ImageList_Create(16, 16, ILC_COLOR24, 5, 5);
    EXPECT_EQ(ImageList_Add(list, strip, nullptr), 0);
    EXPECT_EQ(ImageList_GetImageCount(list), 5);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_TRUE(DeleteObject(strip));
}

// A data folder that cannot be used is said before the sheet opens: the message box names the
// folder and what to do, nothing is stored, and the sheet ends as cancelled. One of ours that
// others could write (an older build's umask) is closed to them and the sheet opens.
TEST_F(Sheet, ARefusedDataFolderIsSaidAndNothingIsStored)
{
    const struct Case {
        const char* what;
        bool symlink;  // a symlink to a folder of ours, else our folder with the mode below
        mode_t mode;
        bool otherUser;
        bool refused;
        const char16_t* why;
    } cases[] = {
        {"a symlink", true, 0700, false, true, u"ссылка"},
        {"another user's", false, 0700, true, true, u"другому пользователю"},
        {"ours, open to the group", false, 0775, false, false, u""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.otherUser && geteuid() != 0) continue;  // only root can give a folder away
        SetUp();
        AddressBook();
        const std::string folder = env_.tmp() + "QUOBADAT";
        ASSERT_EQ(dataFolder_, folder + "/");
        std::filesystem::remove_all(folder);
        if (c.symlink) {
            std::filesystem::create_directories(env_.file("elsewhere"));
            std::filesystem::create_symlink(env_.file("elsewhere"), folder);
        } else {
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            ASSERT_EQ(chmod(folder.c_str(), c.mode), 0);
            if (c.otherUser) {
                ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
            }
        }
        messages_.clear();
        bool opened = false;
        platform::ui::SetModalHook([&](HWND sheet) {
            opened = true;
            HWND page = CurrentPage(sheet);
            SetDlgItemTextW(page, 3806, u"Иван");
            SetDlgItemTextW(page, 3808, u"123");
            SendMessageW(page, WM_COMMAND, MAKEWPARAM(3802, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(page, 3802)));
            SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            if (CurrentPage(sheet)) SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        const INT_PTR result = FaxSheetRun(nullptr, VelmoraModule());
        platform::ui::SetModalHook({});
        CountValue count{};
        if (c.refused) {
            EXPECT_EQ(result, 0);
            EXPECT_FALSE(opened);
            ASSERT_EQ(messages_.size(), 1u);
            EXPECT_NE(messages_[0].find(Wide(folder)), std::u16string::npos);
            EXPECT_NE(messages_[0].find(c.why), std::u16string::npos);
            EXPECT_NE(messages_[0].find(u"Удалите или переименуйте"), std::u16string::npos);
            EXPECT_FALSE(ReadValue(kValueCountPout, count));
            CoverPageSettings settings{};
            EXPECT_FALSE(ReadValue(kValueCoverPagePout, settings));
            EXPECT_TRUE(std::filesystem::is_empty(c.symlink ? env_.file("elsewhere") : folder));
        } else {
            EXPECT_TRUE(opened);
            EXPECT_EQ(result, 1);
            EXPECT_TRUE(messages_.empty());
            struct stat st;
            ASSERT_EQ(lstat(folder.c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 0700u);
            ASSERT_TRUE(ReadValue(kValueCountPout, count));
            EXPECT_EQ(Names(Receivers(), count.contactCount), std::vector<std::u16string>{u"Иван"});
        }
        TearDown();
        std::filesystem::remove_all(folder);
    }
}

}  // namespace

namespace {

// The picture's "..." opens the real chooser: the filter shown once, the initial text "*.BMP",
// and a cancelled chooser empties the path; the sheet's buttons keep their own words after the
// chooser loaded Qt's Russian texts.
TEST_F(Sheet, ThePictureChooserStartsWithItsFilterAndTextAndLeavesTheButtonsWords)
{
    QStringList filters;
    QString fileText;
    QStringList buttons;
    int choosers = 0;
    EXPECT_EQ(SheetRun([&](HWND window) {
                  if (GetParent(window)) {  // the chooser, over the cover page
                      ++choosers;
                      auto* chooser = qobject_cast<QFileDialog*>(platform::ui::WidgetOf(window));
                      ASSERT_NE(chooser, nullptr);
                      filters = chooser->nameFilters();
                      fileText = chooser->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
                      QTest::mouseClick(chooser->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel),
                                        Qt::LeftButton);
                      return;
                  }
                  SendMessageW(window, PSM_SETCURSEL, 1, 0);
                  HWND cover = CurrentPage(window);
                  SendMessageW(cover, WM_COMMAND, MAKEWPARAM(3615, BN_CLICKED),
                               reinterpret_cast<LPARAM>(GetDlgItem(cover, 3615)));
                  QApplication::processEvents();  // a loaded translation reaches the windows
                  for (QPushButton* button : platform::ui::WidgetOf(window)->window()->findChildren<QPushButton*>())
                      if (qobject_cast<QDialogButtonBox*>(button->parentWidget())) buttons << button->text();
                  WCHAR path[260] = u"x";
                  GetDlgItemTextW(cover, 3608, path, 260);
                  EXPECT_EQ(std::u16string(path), u"");  // a cancelled chooser empties the path
                  SendMessageW(window, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
    EXPECT_EQ(choosers, 1);
    EXPECT_EQ(filters, QStringList{QStringLiteral("BMP FILE(*.BMP)")});
    EXPECT_EQ(fileText, QStringLiteral("*.BMP"));
    EXPECT_EQ(buttons, (QStringList{QStringLiteral("OK"), QStringLiteral("Отмена"), QStringLiteral("Справка")}));
}

}  // namespace
