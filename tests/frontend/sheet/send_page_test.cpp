// The send page: moves, members, typed receivers, filters and the limit of 50, driven through
// its dialog procedure (commands and notifications as the list views send them) and through Qt.
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>
#include <QWindow>

#include "frontend/common/text_rules.h"
#include "frontend/sheet/pages.h"
#include "frontend/sheet/send_lists.h"
#include "platform/window_qt.h"
#include "tests/frontend/sheet/sheet_fixture.h"

namespace {

using SendPage = SheetFixture;

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }

struct Row {
    std::u16string name;
    int picture;
    bool operator==(const Row&) const = default;
};
void PrintTo(const Row& row, std::ostream* out)
{
    *out << QString::fromStdU16String(row.name).toStdString() << "/" << row.picture;
}

std::u16string CellText(HWND list, int row, int column)
{
    WCHAR text[128] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return text;
}

// The rows as the list shows them, from the top.
std::vector<Row> Rows(HWND page, int listId)
{
    HWND list = GetDlgItem(page, listId);
    std::vector<Row> rows;
    for (int r = 0; r < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); ++r)
        rows.push_back({CellText(list, r, 0), ListRowPicture(list, r)});
    return rows;
}

// Every member row stands in the run of member rows directly below its own group's row.
void MembersBelowTheirGroup(HWND page, int listId)
{
    HWND list = GetDlgItem(page, listId);
    LPARAM group = -1;
    for (int r = 0; r < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); ++r) {
        const int picture = ListRowPicture(list, r);
        if (picture == 3) EXPECT_EQ(ListRowParam(list, r), group) << "row " << r;
        else group = picture == 0 ? ListRowParam(list, r) : -1;
    }
}

// Focuses and selects the first row named so, as a click does; false when there is none.
bool Focus(HWND page, int listId, const std::u16string& name)
{
    HWND list = GetDlgItem(page, listId);
    for (int r = 0; r < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); ++r)
        if (CellText(list, r, 0) == name) {
            ListSelect(list, r);
            return true;
        }
    return false;
}

void Notify(HWND page, int listId, int code)
{
    NMITEMACTIVATE notify{};
    notify.hdr = {GetDlgItem(page, listId), static_cast<UINT_PTR>(listId), static_cast<UINT>(code)};
    SendMessageW(page, WM_NOTIFY, static_cast<WPARAM>(listId), reinterpret_cast<LPARAM>(&notify));
}

void Press(HWND page, int id)
{
    SendMessageW(page, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, id)));
}

std::u16string Text(HWND page, int id)
{
    WCHAR text[257] = {};
    GetDlgItemTextW(page, id, text, 257);
    return text;
}

// One user action: '>' add the left row named a (or what is focused when a is empty), '<' remove
// the right row named a, 't' type name a with fax b and add, 'r' right-click row b of list a
// ("L" or "R"), 'd' double-click row b of list a, 'c' click column header b of list a.
struct Step {
    char op;
    const char16_t* a;
    const char16_t* b;
};

void Act(HWND page, const Step& step)
{
    const auto listOf = [](const char16_t* side) { return side[0] == u'L' ? kLeftList : kRightList; };
    switch (step.op) {
        case '>':
            if (step.a[0]) {
                ASSERT_TRUE(Focus(page, kLeftList, step.a));
            }
            Press(page, 3802);
            break;
        case '<':
            if (step.a[0]) {
                ASSERT_TRUE(Focus(page, kRightList, step.a));
            }
            Press(page, 3803);
            break;
        case 't':
            SetDlgItemTextW(page, 3806, step.a);
            SetDlgItemTextW(page, 3808, step.b);
            Press(page, 3802);
            break;
        case 'r':
        case 'd':
            ASSERT_TRUE(Focus(page, listOf(step.a), step.b));
            Notify(page, listOf(step.a), step.op == 'r' ? NM_RCLICK : NM_DBLCLK);
            break;
        case 'c': {
            NMITEMACTIVATE notify{};
            const int id = listOf(step.a);
            notify.hdr = {GetDlgItem(page, id), static_cast<UINT_PTR>(id), static_cast<UINT>(LVN_COLUMNCLICK)};
            notify.iSubItem = step.b[0] - u'0';
            SendMessageW(page, WM_NOTIFY, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(&notify));
            break;
        }
        default: FAIL() << step.op;
    }
}

std::vector<std::u16string> Names(const std::vector<ContactRecord>& records, size_t count)
{
    std::vector<std::u16string> names;
    for (size_t i = 0; i < count && i < records.size(); ++i)
        names.push_back(std::u16string(FieldText(records[i].name)) + u":" + std::u16string(FieldText(records[i].fax)));
    return names;
}

// Address book: Ann A1, Bob B2, Cid C3, Dan D4; Team = Ann, Cid; Two = Bob, Cid.
TEST_F(SendPage, MovesAndTheReceiversTheySave)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<Row> right;  // the send list after the steps
        std::u16string counter, nameEdit, faxEdit;
        std::vector<std::u16string> receivers;  // saved on OK, in send order
        std::vector<std::u16string> messages;
    } cases[] = {
        {"a contact also in a chosen group is listed once",
         {{'>', u"Ann", u""}, {'>', u"Team", u""}},
         {{u"Team", 1}, {u"Ann", 2}},
         u"2 / 50",
         u"",
         u"",
         {u"Ann:111", u"Cid:333"},
         {}},
        {"moved contacts, then typed receivers, then group members in address-book order",
         {{'>', u"Dan", u""}, {'t', u"Eve", u"555"}, {'>', u"Two", u""}, {'>', u"Bob", u""}},
         {{u"Two", 1}, {u"Eve", 4}, {u"Bob", 2}, {u"Dan", 2}},
         u"4 / 50",
         u"",
         u"",
         {u"Dan:444", u"Bob:222", u"Eve:555", u"Cid:333"},
         {}},
        {"two groups sharing a member count it once",
         {{'>', u"Team", u""}, {'>', u"Two", u""}},
         {{u"Team", 1}, {u"Two", 1}},
         u"3 / 50",
         u"",
         u"",
         {u"Ann:111", u"Bob:222", u"Cid:333"},
         {}},
        {"a member dropped from a chosen group is not sent",
         {{'>', u"Team", u""}, {'r', u"R", u"Team"}, {'<', u"Cid", u""}},
         {{u"Team", 0}, {u"Ann", 3}},
         u"1 / 50",
         u"",
         u"",
         {u"Ann:111"},
         {}},
        {"a group moved back gets its dropped members again",
         {{'>', u"Team", u""}, {'r', u"R", u"Team"}, {'<', u"Cid", u""}, {'<', u"Team", u""}, {'>', u"Team", u""}},
         {{u"Team", 1}},
         u"2 / 50",
         u"",
         u"",
         {u"Ann:111", u"Cid:333"},
         {}},
        {"a removed typed receiver returns to the edits",
         {{'t', u"Eve", u"555"}, {'t', u"Fay", u"666"}, {'<', u"Eve", u""}},
         {{u"Fay", 4}},
         u"1 / 50",
         u"Eve",
         u"555",
         {u"Fay:666"},
         {}},
        {"brackets go as typed, blanks when the receiver is added",
         {{'t', u"Eve", u"8 (495) 1,23"}},
         {{u"Eve", 4}},
         u"1 / 50",
         u"",
         u"",
         {u"Eve:8495123"},
         {}},
        {"double-click moves a row across and back",
         {{'d', u"L", u"Bob"}, {'d', u"L", u"Dan"}, {'d', u"R", u"Bob"}},
         {{u"Dan", 2}},
         u"1 / 50",
         u"",
         u"",
         {u"Dan:444"},
         {}},
        {"a name without a fax number, and a fax number without a name",
         {{'t', u"Eve", u""}, {'t', u"", u"555"}},
         {},
         u"0 / 50",
         u"",
         u"555",
         {},
         {u"Выберите номер факса", u"Выберите имя пользователя ", u"Выберите контакт из списка"}},
        {"nothing focused on the right removes nothing",
         {{'>', u"Ann", u""}, {'<', u"Ann", u""}, {'<', u"", u""}},
         {},
         u"0 / 50",
         u"",
         u"",
         {},
         {u"Выберите контакт из списка"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrontendEnv env;
        SetUp();
        AddressBook();
        messages_.clear();
        const INT_PTR result = SheetRun([&](HWND sheet) {
            HWND page = CurrentPage(sheet);
            for (const Step& step : c.steps) Act(page, step);
            EXPECT_EQ(Rows(page, kRightList), c.right);
            EXPECT_EQ(Text(page, 3811), c.counter);
            EXPECT_EQ(Text(page, 3806), c.nameEdit);
            EXPECT_EQ(Text(page, 3808), c.faxEdit);
            SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_OK, 0);
            if (CurrentPage(sheet)) SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
        });
        // OK closes the sheet only with a receiver to send to; otherwise Cancel does.
        EXPECT_EQ(result, c.receivers.empty() ? 0 : 1);
        CountValue count{};
        const bool saved = ReadValue(kValueCountPout, count);
        EXPECT_EQ(saved, !c.receivers.empty());
        EXPECT_EQ(Names(Receivers(), saved ? count.contactCount : 0), c.receivers);
        EXPECT_EQ(messages_, c.messages);
    }
}

// The left list: groups first, then contacts, each by name; a header click turns a column's order;
// a right-click on a group shows its members, on the same group again hides them, on another
// group shows that group's instead.
TEST_F(SendPage, SortingAndMembersShownAndHidden)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<Row> left;
    } cases[] = {
        {"as loaded", {}, {{u"Team", 1}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"name column turned",
         {{'c', u"L", u"0"}},
         {{u"Two", 1}, {u"Team", 1}, {u"Dan", 2}, {u"Cid", 2}, {u"Bob", 2}, {u"Ann", 2}}},
        {"fax column",
         {{'c', u"L", u"2"}},
         {{u"Team", 1}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"members shown",
         {{'r', u"L", u"Team"}},
         {{u"Team", 0}, {u"Ann", 3}, {u"Cid", 3}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"the same group again hides them",
         {{'r', u"L", u"Team"}, {'r', u"L", u"Team"}},
         {{u"Team", 1}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"another group shows its own",
         {{'r', u"L", u"Team"}, {'r', u"L", u"Two"}},
         {{u"Team", 1}, {u"Two", 0}, {u"Bob", 3}, {u"Cid", 3}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"a shown group moved away takes its members",
         {{'r', u"L", u"Team"}, {'>', u"Team", u""}},
         {{u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
        {"a right-click on a contact only selects",
         {{'r', u"L", u"Bob"}},
         {{u"Team", 1}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrontendEnv env;
        SetUp();
        AddressBook();
        EXPECT_EQ(SheetRun([&](HWND sheet) {
                      HWND page = CurrentPage(sheet);
                      for (const Step& step : c.steps) Act(page, step);
                      EXPECT_EQ(Rows(page, kLeftList), c.left);
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                  }),
                  0);
    }
}

// An opened group's members stand directly below their own group, in the column's order, in
// either list, whatever their names and the other groups' names are; the groups keep their own
// order and their parameters.
TEST_F(SendPage, MembersStandDirectlyBelowTheirGroup)
{
    const struct {
        const char* name;
        std::vector<Step> steps;
        std::vector<Row> left, right;
    } cases[] = {
        {"the second group opened in the send list",
         {{'>', u"Team", u""}, {'>', u"Two", u""}, {'r', u"R", u"Two"}},
         {{u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}},
         {{u"Team", 1}, {u"Two", 0}, {u"Bob", 3}, {u"Cid", 3}}},
        {"the first group opened in the send list",
         {{'>', u"Two", u""}, {'>', u"Team", u""}, {'r', u"R", u"Team"}},
         {{u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}},
         {{u"Team", 0}, {u"Ann", 3}, {u"Cid", 3}, {u"Two", 1}}},
        {"a contact moved in after",
         {{'>', u"Team", u""}, {'>', u"Two", u""}, {'r', u"R", u"Two"}, {'>', u"Ann", u""}},
         {{u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}},
         {{u"Team", 1}, {u"Two", 0}, {u"Bob", 3}, {u"Cid", 3}, {u"Ann", 2}}},
        {"the name column turned",
         {{'c', u"L", u"0"}, {'r', u"L", u"Team"}},
         {{u"Two", 1}, {u"Team", 0}, {u"Cid", 3}, {u"Ann", 3}, {u"Dan", 2}, {u"Cid", 2}, {u"Bob", 2}, {u"Ann", 2}},
         {}},
        {"by fax number, where the groups have none",
         {{'c', u"L", u"2"}, {'r', u"L", u"Team"}},
         {{u"Team", 0}, {u"Ann", 3}, {u"Cid", 3}, {u"Two", 1}, {u"Ann", 2}, {u"Bob", 2}, {u"Cid", 2}, {u"Dan", 2}},
         {}},
        {"turned by fax number",
         {{'c', u"L", u"2"}, {'c', u"L", u"2"}, {'r', u"L", u"Two"}},
         {{u"Team", 1}, {u"Two", 0}, {u"Cid", 3}, {u"Bob", 3}, {u"Dan", 2}, {u"Cid", 2}, {u"Bob", 2}, {u"Ann", 2}},
         {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FrontendEnv env;
        SetUp();
        AddressBook();
        EXPECT_EQ(SheetRun([&](HWND sheet) {
                      HWND page = CurrentPage(sheet);
                      for (const Step& step : c.steps) Act(page, step);
                      EXPECT_EQ(Rows(page, kLeftList), c.left);
                      EXPECT_EQ(Rows(page, kRightList), c.right);
                      MembersBelowTheirGroup(page, kLeftList);
                      MembersBelowTheirGroup(page, kRightList);
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                  }),
                  0);
    }
}

// The review's address book: groups Бухгалтерия and Склад chosen in that order, Склад opened.
TEST_F(SendPage, MembersOfTheOpenedGroupAreNotListedUnderAnother)
{
    WriteFile("USER.DAT", std::vector<ContactRecord>{MakeContact(u"K01", u"Анна Смирнова", u"111"),
                                                     MakeContact(u"K04", u"Глеб Морозов", u"444"),
                                                     MakeContact(u"K05", u"Дарья Волкова", u"445"),
                                                     MakeContact(u"K06", u"Егор Лебедев", u"555"),
                                                     MakeContact(u"K07", u"Жанна Козлова", u"556")});
    WriteFile("GROUP.DAT",
              std::vector<GroupRecord>{MakeGroup(u"Бухгалтерия", u"K04;K05;"), MakeGroup(u"Склад", u"K06;K07;K01;")});
    CountValue count{};
    count.contactCount = 5;
    count.groupCount = 2;
    WriteValue(kValueCountInfo, count);
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  Act(page, {'>', u"Бухгалтерия", u""});
                  Act(page, {'>', u"Склад", u""});
                  Act(page, {'r', u"R", u"Склад"});
                  EXPECT_EQ(Rows(page, kRightList), (std::vector<Row>{{u"Бухгалтерия", 1},
                                                                      {u"Склад", 0},
                                                                      {u"Анна Смирнова", 3},
                                                                      {u"Егор Лебедев", 3},
                                                                      {u"Жанна Козлова", 3}}));
                  Act(page, {'r', u"R", u"Бухгалтерия"});
                  EXPECT_EQ(Rows(page, kRightList), (std::vector<Row>{{u"Бухгалтерия", 0},
                                                                      {u"Глеб Морозов", 3},
                                                                      {u"Дарья Волкова", 3},
                                                                      {u"Склад", 1}}));
                  MembersBelowTheirGroup(page, kRightList);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// 49 or 50 members with and without a typed receiver: the total may reach 50 and not pass it.
TEST_F(SendPage, FiftyReceiversAtMost)
{
    const struct {
        int members, typed;
        bool accepted;
        std::u16string counter;
        bool addEnabled;
    } cases[] = {
        {50, 0, true, u"50 / 50", false}, {49, 1, true, u"50 / 50", false}, {51, 0, false, u"0 / 50", true},
        {50, 1, false, u"1 / 50", true},  {48, 1, true, u"49 / 50", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.members * 10 + c.typed);
        FrontendEnv env;
        SetUp();
        std::vector<ContactRecord> contacts;
        std::u16string members;
        for (int i = 0; i < 60; ++i) {
            const std::string key = "K" + std::to_string(i);
            contacts.push_back(MakeContact(Wide(key).c_str(), Wide("N" + std::to_string(100 + i)).c_str(), u"1"));
            if (i < c.members) members += Wide(key) + u";";
        }
        WriteFile("USER.DAT", contacts);
        WriteFile("GROUP.DAT", std::vector<GroupRecord>{MakeGroup(u"Big", members.c_str())});
        CountValue count{};
        count.contactCount = 60;
        count.groupCount = 1;
        WriteValue(kValueCountInfo, count);
        messages_.clear();
        EXPECT_EQ(SheetRun([&](HWND sheet) {
                      HWND page = CurrentPage(sheet);
                      for (int t = 0; t < c.typed; ++t) Act(page, {'t', u"Eve", u"5"});
                      Act(page, {'>', u"Big", u""});
                      EXPECT_EQ(Rows(page, kRightList).size(), size_t(c.typed) + (c.accepted ? 1 : 0));
                      EXPECT_EQ(Text(page, 3811), c.counter);
                      EXPECT_EQ(IsWindowEnabled(GetDlgItem(page, 3802)), c.addEnabled);
                      // A full list takes nothing more, neither a contact nor a typed receiver.
                      Act(page, {'>', u"N159", u""});
                      Act(page, {'t', u"Fay", u"6"});
                      SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
                  }),
                  0);
        const std::vector<std::u16string> refused{u"Число записей в группе ограничивается 50 номерами"};
        EXPECT_EQ(messages_, c.accepted ? std::vector<std::u16string>{} : refused);
    }
}

// The filters of the two edits, one character removed per change of the text.
TEST_F(SendPage, EditFilters)
{
    const struct {
        int edit;
        const char16_t* typed;
        const char16_t* shown;
    } cases[] = {
        {3806, u"Ann, \"Co\"", u"Ann Co"},
        {3806, u"(Ann) #1", u"(Ann) #1"},
        {3808, u"+7 (495) 12-3#*P", u"+7 495 12-3#*P"},
        {3808, u"12,a\"b3", u"123"},
        {3808, u"ext. 5", u" 5"},
    };
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  for (const auto& c : cases) {
                      SetDlgItemTextW(page, c.edit, c.typed);
                      EXPECT_EQ(Text(page, c.edit), c.shown) << Narrow(c.typed);
                  }
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// The same page through Qt: typing into the fax edit, double-click and right-click on rows.
TEST_F(SendPage, ThroughQt)
{
    AddressBook();
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  auto* fax = qobject_cast<QLineEdit*>(platform::ui::WidgetOf(GetDlgItem(page, 3808)));
                  ASSERT_TRUE(fax);
                  QTest::keyClicks(fax, QStringLiteral("(8) 12,3"));
                  EXPECT_EQ(fax->text(), QStringLiteral("8 123"));
                  fax->clear();

                  auto* left = qobject_cast<QTreeWidget*>(platform::ui::WidgetOf(GetDlgItem(page, kLeftList)));
                  ASSERT_TRUE(left);
                  const auto rowPoint = [&](const QString& name) {
                      left->doItemsLayout();  // the rows were rebuilt by the last change
                      const QList<QTreeWidgetItem*> items = left->findItems(name, Qt::MatchExactly);
                      return items.isEmpty() ? QPoint(-1, -1) : left->visualItemRect(items.front()).center();
                  };
                  QTest::mouseClick(left->viewport(), Qt::RightButton, {}, rowPoint(QStringLiteral("Two")));
                  EXPECT_EQ(left->findItems(QStringLiteral("Cid"), Qt::MatchExactly).size(), 2);  // member and contact
                  // A real double click on the row, through the window as the platform delivers it.
                  QApplication::processEvents();
                  QWindow* window = left->window()->windowHandle();
                  ASSERT_TRUE(window);
                  QTest::mouseDClick(window, Qt::LeftButton, {},
                                     left->viewport()->mapTo(left->window(), rowPoint(QStringLiteral("Dan"))));
                  EXPECT_EQ(Rows(page, kRightList), (std::vector<Row>{{u"Dan", 2}}));
                  EXPECT_EQ(Text(page, 3811), u"1 / 50");
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

// Clicks on the headers of both lists, as a user makes them: the name column turns the order,
// a second click turns it back, and the company column sorts by its own texts.
TEST_F(SendPage, HeaderClicksSort)
{
    AddressBook();
    EXPECT_EQ(SheetRun([&](HWND sheet) {
                  HWND page = CurrentPage(sheet);
                  const auto click = [&](int listId, int column) {
                      auto* list = qobject_cast<QTreeWidget*>(platform::ui::WidgetOf(GetDlgItem(page, listId)));
                      ASSERT_TRUE(list);
                      QHeaderView* header = list->header();
                      QApplication::processEvents();
                      const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                      header->height() / 2);
                      QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
                  };
                  const std::vector<Row> loaded = {{u"Team", 1}, {u"Two", 1}, {u"Ann", 2},
                                                   {u"Bob", 2},  {u"Cid", 2}, {u"Dan", 2}};
                  const std::vector<Row> turned = {{u"Two", 1}, {u"Team", 1}, {u"Dan", 2},
                                                   {u"Cid", 2}, {u"Bob", 2},  {u"Ann", 2}};
                  ASSERT_EQ(Rows(page, kLeftList), loaded);
                  click(kLeftList, 0);
                  EXPECT_EQ(Rows(page, kLeftList), turned);
                  click(kLeftList, 0);
                  EXPECT_EQ(Rows(page, kLeftList), loaded);
                  // The send list's header too: two receivers typed in, then its name column.
                  for (const char16_t* name : {u"Aa", u"Zz"}) {
                      SetDlgItemTextW(page, 3806, name);
                      SetDlgItemTextW(page, 3808, u"1");
                      SendMessageW(page, WM_COMMAND, MAKEWPARAM(3802, BN_CLICKED),
                                   reinterpret_cast<LPARAM>(GetDlgItem(page, 3802)));
                  }
                  ASSERT_EQ(Rows(page, kRightList).size(), 2u);
                  click(kRightList, 0);
                  const std::vector<Row> first = Rows(page, kRightList);
                  click(kRightList, 0);
                  const std::vector<Row> second = Rows(page, kRightList);
                  ASSERT_EQ(first.size(), 2u);
                  EXPECT_EQ(std::vector<Row>(first.rbegin(), first.rend()), second);
                  SendMessageW(sheet, PSM_PRESSBUTTON, PSBTN_CANCEL, 0);
              }),
              0);
}

TEST(SendLists, ArrayRemoveKeepsTheBlockAndZeroesItsEnd)
{
    const struct {
        int index;
        std::vector<uint32_t> after;
    } cases[] = {{0, {2, 3, 4, 0}}, {1, {1, 3, 4, 0}}, {3, {1, 2, 3, 0}}, {4, {1, 2, 3, 4}}, {-1, {1, 2, 3, 4}}};
    for (const auto& c : cases) {
        auto* block = static_cast<uint32_t*>(HeapAlloc(GetProcessHeap(), 0, 4 * sizeof(uint32_t)));
        for (uint32_t i = 0; i < 4; ++i) block[i] = i + 1;
        ArrayRemove(block, sizeof(uint32_t), c.index);
        EXPECT_EQ(std::vector<uint32_t>(block, block + 4), c.after) << c.index;
        EXPECT_EQ(HeapSize(GetProcessHeap(), 0, block), 4 * sizeof(uint32_t));
        HeapFree(GetProcessHeap(), 0, block);
    }
}

}  // namespace
