#include "tools/faxsheet/sheet_fill.h"

#include <cstdio>

#include "platform/window_hooks.h"

namespace {

constexpr int kLeftList = 3801;
constexpr int kRightList = 3804;
constexpr int kAddButton = 3802;
constexpr int kNameEdit = 3806;
constexpr int kFaxEdit = 3808;
// A group's parameter in either list: the address book's first group on the left, the first
// chosen group on the right.
constexpr LPARAM kFirstGroup = 6000;

// Focuses and selects the list's row with this parameter; false when there is none.
bool RowFocus(HWND list, LPARAM param)
{
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = param;
    const auto row =
        static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    if (row < 0) return false;
    LVITEMW item{};
    item.stateMask = item.state = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return true;
}

// Chooses the left list's row with this parameter and presses Add.
bool RowAdd(HWND page, LPARAM param)
{
    if (!RowFocus(GetDlgItem(page, kLeftList), param)) return false;
    SendDlgItemMessageW(page, kAddButton, BM_CLICK, 0, 0);
    return true;
}

// A right click on the send list's first group, which shows its members under it.
void GroupMembersShow(HWND page)
{
    HWND list = GetDlgItem(page, kRightList);
    if (!RowFocus(list, kFirstGroup)) return;
    NMITEMACTIVATE click{};
    click.hdr = {list, static_cast<UINT_PTR>(kRightList), static_cast<UINT>(NM_RCLICK)};
    click.iItem = -1;
    SendMessageW(page, WM_NOTIFY, static_cast<WPARAM>(kRightList), reinterpret_cast<LPARAM>(&click));
}

}  // namespace

void SheetFillInstall(const std::string& snapshotFolder)
{
    platform::ui::SetModalHook([snapshotFolder](HWND window) {
        HWND page = reinterpret_cast<HWND>(SendMessageW(window, PSM_GETCURRENTPAGEHWND, 0, 0));
        if (!page || !GetDlgItem(page, kLeftList)) {
            // A message box or dialog of the sheet's own: it ends as the person leaves it.
            return;
        }
        // Contacts first (a contact row's parameter is its place among the contacts still on the
        // left, so the first one twice takes the first two), then a group, then a receiver typed in.
        const bool added = RowAdd(page, 0) && RowAdd(page, 0) && RowAdd(page, kFirstGroup);
        SetDlgItemTextW(page, kNameEdit, u"Дмитрий Соколов");
        SetDlgItemTextW(page, kFaxEdit, u"+7 495 555-01-02");
        SendDlgItemMessageW(page, kAddButton, BM_CLICK, 0, 0);
        GroupMembersShow(page);
        if (!added) std::fprintf(stderr, "faxsheet: the address book lacks two contacts or a group to add\n");
        if (!snapshotFolder.empty() && !platform::ui::SheetSnapshot(window, snapshotFolder))
            std::fprintf(stderr, "faxsheet: cannot write the sheet's pages into %s\n", snapshotFolder.c_str());
        SendMessageW(window, PSM_PRESSBUTTON, PSBTN_OK, 0);
    });
}
