// The send page: the address book on the left, the send list on the right, receivers typed in
// by hand, and the counter against the limit of 50 receivers.
#include <algorithm>
#include <iterator>
#include <string>

#include "frontend/common/record_rules.h"
#include "frontend/common/text_rules.h"
#include "frontend/sheet/context_help.h"
#include "frontend/sheet/edit_filters.h"
#include "frontend/sheet/pages.h"
#include "frontend/sheet/send_lists.h"
#include "frontend/sheet/window_center.h"

namespace {

constexpr int kNameEdit = 3806;
constexpr int kFaxEdit = 3808;
constexpr int kAddButton = 3802;
constexpr int kRemoveButton = 3803;
constexpr int kCounter = 3811;

std::u16string EditText(HWND page, int id, int room)
{
    std::u16string text(static_cast<size_t>(room), u'\0');
    GetDlgItemTextW(page, id, text.data(), room);
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

std::u16string Decimal(int value)
{
    const std::string digits = std::to_string(value);
    return std::u16string(digits.begin(), digits.end());
}

void EditsClear(HWND page)
{
    SetDlgItemTextW(page, kNameEdit, u"");
    SetDlgItemTextW(page, kFaxEdit, u"");
}

void Refocus(HWND page, int firstId, int secondId, int sortId)
{
    ListSelect(GetDlgItem(page, firstId), SendListValuesOf(firstId).rememberedRow);
    ListSelect(GetDlgItem(page, secondId), SendListValuesOf(secondId).rememberedRow);
    SendListSort(page, sortId);
}

void SendListPageInit(HWND page, FaxSheetState* state)
{
    state->sendPageNotApplied = 1;
    WindowCenter(page);
    SendListValuesReset();
    static constexpr PageText texts[] = {{3809, 8043}, {3805, 8012}, {3807, 8016}, {3810, 8044}};
    PageTextsSet(page, state->module, texts, std::size(texts), 128);
    HWND right = GetDlgItem(page, kRightList), left = GetDlgItem(page, kLeftList);
    ListViewSetup(right, state->module);
    ListViewSetup(left, state->module);
    SendMessageW(left, LVM_DELETEALLITEMS, 0, 0);
    // Rows beyond the parameter scheme (5000 contacts, groups up to parameter 32767) stay out of
    // the list rather than take another kind's parameters.
    const int contacts = std::min<int>(state->contactsCount, kContactRowLimit);
    for (int c = 0; c < contacts; ++c) ContactRowAdd(left, state->contacts[c], c);
    const int groups = std::min<int>(state->groupsCount, kGroupRowLimit);
    for (int g = 0; g < groups; ++g) GroupRowAdd(left, state->groups[g], kGroupBase + g);
    SortStateSet(page, kLeftList, 0, false);
    SendListSort(page, kLeftList);
    SortStateSet(page, kRightList, 0, false);
    SendListSort(page, kRightList);
    ListSelect(left, 0);
    SendDlgItemMessageW(page, kNameEdit, EM_LIMITTEXT, 32, 0);
    SendDlgItemMessageW(page, kFaxEdit, EM_LIMITTEXT, 32, 0);
    SendCountUpdate(page, state);
}

void AddCommand(HWND page, FaxSheetState* state)
{
    if (state->receiverTotal >= kReceiverLimit) return;
    WCHAR name[66] = {}, fax[66] = {};
    GetDlgItemTextW(page, kNameEdit, name, 66);
    GetDlgItemTextW(page, kFaxEdit, fax, 66);
    StringReplaceAll(fax, u" ", u"");
    if (!name[0] && !fax[0]) {
        const int p = ListFocusedParam(page, kLeftList, state);
        if (p >= 0) {
            SendListValuesOf(kLeftList).rememberedRow = state->focusedRow;
            if (p < kTypedBase && state->contactsCount > 0) ContactMove(page, kLeftList, kRightList, state);
            else if (p >= kGroupBase && SendListLimitCheck(page, state, p - kGroupBase))
                GroupMove(page, kLeftList, kRightList, state);
        }
    } else if (name[0] && fax[0]) {
        TypedReceiverAdd(page, name, fax, state);
        EditsClear(page);
    } else {
        const bool faxMissing = !fax[0];
        FaxSheetError(page, state->module, faxMissing ? 8509 : 8510);
        SetFocus(GetDlgItem(page, faxMissing ? kFaxEdit : kNameEdit));
        return;
    }
    Refocus(page, kLeftList, kRightList, kRightList);
    SendCountUpdate(page, state);
}

void RemoveCommand(HWND page, FaxSheetState* state)
{
    if (state->receiverTotal <= 0 && state->chosenGroupsCount == 0) return;
    const int p = ListFocusedParam(page, kRightList, state);
    if (p >= 0) {
        SendListValuesOf(kRightList).rememberedRow = state->focusedRow;
        if (p < kTypedBase && state->sendListCount > 0) {
            ContactMove(page, kRightList, kLeftList, state);
            EditsClear(page);
        } else if (p >= kTypedBase && p < kGroupBase && state->typedCount > 0) {
            TypedReceiverRemove(page, state);
        } else {
            if (state->focusedRowKind == kPictureShownGroup || state->focusedRowKind == kPictureGroup)
                GroupMove(page, kRightList, kLeftList, state);
            else if (state->focusedRowKind == kPictureMember) MemberRemove(page, state);
            EditsClear(page);
        }
    }
    Refocus(page, kRightList, kLeftList, kLeftList);
    SendCountUpdate(page, state);
}

INT_PTR NotifyResult(HWND page, LRESULT result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return result != 0;
}

LRESULT SendListPageNotify(HWND page, const NMHDR* header, FaxSheetState* state)
{
    const int id = static_cast<int>(header->idFrom);
    const bool list = id == kLeftList || id == kRightList;
    switch (static_cast<int>(header->code)) {
        case PSN_HELP: HelpShow(page, kHelpTopicSendPage); return 0;
        case PSN_APPLY: return SendListPageApply(page, state);
        case LVN_COLUMNCLICK:
            if (list) {
                SortStateSet(page, id, reinterpret_cast<const NMITEMACTIVATE*>(header)->iSubItem, true);
                SendListSort(page, id);
            }
            return 0;
        case NM_RCLICK:
            if (list) {
                const int p = ListFocusedParam(page, id, state);
                if (p >= kGroupBase) {
                    int& shown = SendListValuesOf(id).shownGroup;
                    shown = shown == p ? -1 : p;
                    GroupMembersShow(page, id, shown, state);
                    SendListSort(page, id);
                    ListSelectByParam(GetDlgItem(page, id), p);
                    return 0;
                }
            }
            ListSelect(header->hwndFrom, -2);
            return 0;
        case NM_CLICK:
        case NM_RDBLCLK: ListSelect(header->hwndFrom, -2); return 0;
        case NM_DBLCLK:
            if (list) SendDlgItemMessageW(page, id == kRightList ? kRemoveButton : kAddButton, BM_CLICK, 0, 0);
            return 0;
        default: return 0;
    }
}

}  // namespace

void SendCountUpdate(HWND page, FaxSheetState* state)
{
    const int total = FaxSheetReceiverTotal(state);
    const std::u16string counter = Decimal(total) + u" / " + Decimal(kReceiverLimit);
    SetDlgItemTextW(page, kCounter, counter.c_str());
    const bool typed = !EditText(page, kNameEdit, 66).empty() && !EditText(page, kFaxEdit, 66).empty();
    EnableWindow(GetDlgItem(page, kAddButton),
                 total < kReceiverLimit && (typed || ListFocusedParam(page, kLeftList, state) != -1));
    EnableWindow(GetDlgItem(page, kRemoveButton), total > 0 || state->chosenGroupsCount > 0);
}

int SendListLimitCheck(HWND page, FaxSheetState* state, int groupIndex)
{
    if (groupIndex < 0 || groupIndex >= state->groupsCount) return 0;
    int c = state->typedCount;
    for (int i = 0; i < state->contactsCount; ++i) {
        const ContactRecord& contact = state->contacts[i];
        if (ContactInGroup(contact, state->groups[groupIndex])) ++c;
        else
            for (int g = 0; g < state->chosenGroupsCount; ++g)
                if (ContactInGroup(contact, state->chosenGroups[g])) {
                    ++c;
                    break;
                }
    }
    if (c + state->sendListCount > kReceiverLimit) {
        FaxSheetError(page, state->module, 8502);
        return 0;
    }
    return 1;
}

namespace {

// WM_COMMAND: id is the control (the low word), code the notification (the high word).
void SendListPageCommand(HWND page, FaxSheetState* state, int id, int code)
{
    if (id == kAddButton) AddCommand(page, state);
    else if (id == kRemoveButton) RemoveCommand(page, state);
    else if (id == kNameEdit && code == EN_CHANGE) {
        SeparatorStrip(page, kNameEdit);
        SendCountUpdate(page, state);
    } else if (id == kFaxEdit && code == EN_CHANGE) {
        SeparatorStrip(page, kFaxEdit);
        FaxNumberFilter(page, kFaxEdit);
        SendCountUpdate(page, state);
    }
}

}  // namespace

INT_PTR SendListPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
        case WM_INITDIALOG:
            PageStateAttach(page, reinterpret_cast<const PROPSHEETPAGEW*>(lParam), 0);
            SendListPageInit(page, PageState(page));
            return TRUE;
        case WM_COMMAND: SendListPageCommand(page, PageState(page), LOWORD(wParam), HIWORD(wParam)); return 0;
        case WM_NOTIFY:
            return NotifyResult(page,
                                SendListPageNotify(page, reinterpret_cast<const NMHDR*>(lParam), PageState(page)));
        case WM_HELP: ContextHelpOnHelp(page, reinterpret_cast<const HELPINFO*>(lParam)); return TRUE;
        case WM_CONTEXTMENU: ContextHelpOnMenu(page, reinterpret_cast<HWND>(wParam), lParam); return TRUE;
        default: return 0;
    }
}
