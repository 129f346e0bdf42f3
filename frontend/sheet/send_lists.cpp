#include "frontend/sheet/send_lists.h"

#include <cstring>
#include <string>
#include <vector>

#include "frontend/common/record_rules.h"
#include "frontend/common/text_rules.h"

namespace {

SendListValues listValues[2] = {{{}, {}, -1, 0, nullptr}, {{}, {}, -1, 0, nullptr}};

HWND List(HWND page, int listId) { return GetDlgItem(page, listId); }

std::u16string RowText(HWND list, int row, int column, int room)
{
    std::u16string text(static_cast<size_t>(room), u'\0');
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text.data();
    item.cchTextMax = room;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    text.resize(std::char_traits<char16_t>::length(text.c_str()));
    return text;
}

void RowParamSet(HWND list, int row, LPARAM param)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = param;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

void RowPictureSet(HWND list, int row, int picture)
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = picture;
    SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

int RowCount(HWND list) { return static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0)); }

// Deletes every row whose parameter is in [first, last] and picture (when given) matches.
void RowsDelete(HWND list, LPARAM first, LPARAM last, int picture = -1)
{
    for (int row = RowCount(list) - 1; row >= 0; --row) {
        const LPARAM param = ListRowParam(list, row);
        if (param >= first && param <= last && (picture < 0 || ListRowPicture(list, row) == picture))
            SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    }
}

// Every row with a parameter in (above, last] moves down by one, keeping the parameters of each
// kind without gaps after a record left its array.
void RowParamsCloseGap(HWND list, LPARAM above, LPARAM last, int picture = -1)
{
    for (int row = 0; row < RowCount(list); ++row) {
        const LPARAM param = ListRowParam(list, row);
        if (param > above && param <= last && (picture < 0 || ListRowPicture(list, row) == picture))
            RowParamSet(list, row, param - 1);
    }
}

// Makes room for record `count` in an array block (zero-filled); false when the heap refuses.
bool ArrayGrow(void*& block, size_t recordSize, int count)
{
    const SIZE_T needed = (static_cast<SIZE_T>(count) + 1) * recordSize;
    const SIZE_T have = block ? HeapSize(GetProcessHeap(), 0, block) : 0;
    if (have == static_cast<SIZE_T>(-1) || have < needed) {
        void* grown = block ? HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, block, needed)
                            : HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, needed);
        if (!grown) return false;
        block = grown;
    }
    std::memset(static_cast<BYTE*>(block) + static_cast<size_t>(count) * recordSize, 0, recordSize);
    return true;
}
template <typename Record>
bool Grow(Record*& array, int count)
{
    void* block = array;
    const bool ok = ArrayGrow(block, sizeof(Record), count);
    array = static_cast<Record*>(block);
    return ok;
}

int ListIndex(int listId) { return listId == kRightList ? 1 : 0; }

}  // namespace

SendListValues& SendListValuesOf(int listId) { return listValues[ListIndex(listId)]; }

void SendListValuesReset()
{
    for (SendListValues& values : listValues) {
        for (int16_t& direction : values.directions) direction = 0;
        values.shownGroup = -1;
        values.rememberedRow = 0;
    }
}

void ListColumnInsert(HWND list, UINT mask, int index, int width, LPCWSTR title)
{
    LVCOLUMNW column{};
    column.mask = mask;
    column.cx = width;
    column.pszText = const_cast<LPWSTR>(title);
    column.iSubItem = index;
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&column));
}

void ListViewSetup(HWND list, HMODULE module)
{
    SendListValues& values = SendListValuesOf(GetDlgCtrlID(list));
    // The list view does not own its pictures: the list of the previous page goes here.
    if (values.pictures) ImageList_Destroy(values.pictures);
    values.pictures = ImageList_Create(16, 16, ILC_COLOR24, 5, 5);
    HBITMAP strip = LoadBitmapW(module, MAKEINTRESOURCEW(3900));
    ImageList_Add(values.pictures, strip, nullptr);
    DeleteObject(strip);
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(values.pictures));
    SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(values.pictures));

    constexpr struct {
        UINT title;
        int width;
    } columns[] = {{8093, 100}, {8094, 100}, {8097, 100}, {0, 0}};
    for (int c = 0; c < 4; ++c) {
        WCHAR title[66] = {};
        if (columns[c].title) LoadStringW(module, columns[c].title, title, 66);
        ListColumnInsert(list, LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM, c, columns[c].width, title);
    }
}

int ListRowSet(HWND list, int row, int picture, int column, LPCWSTR text, LPARAM param)
{
    LVITEMW item{};
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = const_cast<LPWSTR>(text);
    if (column == 0) {
        item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        item.iImage = picture;
        item.lParam = param;
        return static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    }
    SendMessageW(list, LVM_SETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return row;
}

int ListRowPicture(HWND list, int row)
{
    LVITEMW item{};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = -1;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.iImage;
}

LPARAM ListRowParam(HWND list, int row)
{
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    item.lParam = -1;
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return item.lParam;
}

int ListFocusedParam(HWND page, int listId, FaxSheetState* state)
{
    HWND list = List(page, listId);
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (row < 0) return -1;
    state->focusedRow = static_cast<int16_t>(row);
    state->focusedRowKind = static_cast<int16_t>(ListRowPicture(list, row));
    return static_cast<int>(ListRowParam(list, row));
}

int ListFirstMarked(HWND list)
{
    constexpr UINT marks = LVIS_FOCUSED | LVIS_SELECTED | LVIS_CUT | LVIS_DROPHILITED;
    for (int row = 0; row < RowCount(list); ++row)
        if (SendMessageW(list, LVM_GETITEMSTATE, static_cast<WPARAM>(row), marks) != 0) return row;
    return -1;
}

void ListSelect(HWND list, int row)
{
    SetFocus(list);
    const int count = RowCount(list);
    if (count <= 0) return;
    if (row == -2) row = ListFirstMarked(list);
    row = row < 0 ? 0 : row >= count ? count - 1 : row;
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;  // one selected row: the list is single-selection
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = item.stateMask = LVIS_FOCUSED | LVIS_SELECTED;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void ListSelectByParam(HWND list, LPARAM param)
{
    if (param == -2) {
        ListSelect(list, -2);
        return;
    }
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = param;
    const int row =
        static_cast<int>(SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
    ListSelect(list, row < 0 ? 0 : row);
}

void ArrayRemove(void* block, size_t recordSize, int index)
{
    if (!block || index < 0) return;
    const SIZE_T size = HeapSize(GetProcessHeap(), 0, block);
    const size_t records = size / recordSize;
    if (static_cast<size_t>(index) >= records) return;
    BYTE* bytes = static_cast<BYTE*>(block);
    const size_t behind = (records - static_cast<size_t>(index) - 1) * recordSize;
    std::memmove(bytes + static_cast<size_t>(index) * recordSize, bytes + (static_cast<size_t>(index) + 1) * recordSize,
                 behind);
    std::memset(bytes + (records - 1) * recordSize, 0, recordSize);
}

void SortStateSet(HWND page, int listId, int column, bool toggle)
{
    SendListValues& values = SendListValuesOf(listId);
    if (column < 0 || column >= 20) return;
    int16_t& direction = values.directions[column];
    if (direction == 0) direction = 1;
    else if (toggle) direction = direction == 1 ? -1 : 1;
    values.sort = {List(page, listId), static_cast<int16_t>(column), direction, nullptr, nullptr, 0};
}

// Groups and their member rows first, then typed receivers, then contacts; inside a kind by the
// sort column's text. All contacts form one kind, however many there are. A member row sorts as
// its group's row, directly below it, and the members of a group by their own texts; groups of
// the same text keep their rows apart by their parameters.
int SendListCompare(LPARAM p1, LPARAM p2, LPARAM record)
{
    const auto* sort = reinterpret_cast<const ListSortRecord*>(record);
    const auto member = [&](LPARAM p) {
        return sort->memberGroups && p >= kMemberSortBase && p < kMemberSortBase + sort->memberCount;
    };
    const auto group = [&](LPARAM p) { return member(p) ? sort->memberGroups[p - kMemberSortBase] : p; };
    const LPARAM g1 = group(p1), g2 = group(p2);
    const auto kind = [](LPARAM p) { return p >= kGroupBase ? 2 : p >= kTypedBase ? 1 : 0; };
    if (kind(g1) != kind(g2)) return kind(g2) - kind(g1);
    const std::u16string empty;
    const auto text = [&](LPARAM p) -> const std::u16string& {
        return sort->texts && p >= 0 && (p < 32768 || member(p)) ? sort->texts[p] : empty;
    };
    const auto ordered = [&](int result) { return sort->direction == -1 ? -result : result; };
    if (const int result = lstrcmpW(text(g1).c_str(), text(g2).c_str()); result != 0) return ordered(result);
    if (g1 != g2) return kind(g1) == 2 ? (g1 < g2 ? -1 : 1) : 0;
    if (member(p1) != member(p2)) return member(p1) ? 1 : -1;
    return member(p1) ? ordered(lstrcmpW(text(p1).c_str(), text(p2).c_str())) : 0;
}

void SendListSort(HWND page, int listId)
{
    SendListValues& values = SendListValuesOf(listId);
    HWND list = List(page, listId);
    if (!values.sort.list) SortStateSet(page, listId, 0, false);
    // Member rows carry their group's parameter, which the comparison cannot tell from the
    // group's own row: wherever the list's sorted insertion put them, they would stay there. For
    // the sort each gets a parameter of its own (see kMemberSortBase).
    std::vector<LPARAM> memberGroups;
    for (int row = 0; row < RowCount(list); ++row)
        if (ListRowPicture(list, row) == kPictureMember) {
            memberGroups.push_back(ListRowParam(list, row));
            RowParamSet(list, row, kMemberSortBase + static_cast<LPARAM>(memberGroups.size()) - 1);
        }
    // The text of each parameter's row, read once rather than searched for in every comparison.
    std::vector<std::u16string> texts(kMemberSortBase + memberGroups.size());
    std::vector<char> seen(texts.size());
    for (int row = 0; row < RowCount(list); ++row) {
        const LPARAM param = ListRowParam(list, row);
        if (param >= 0 && static_cast<size_t>(param) < texts.size() && !seen[param]) {
            seen[param] = 1;
            texts[param] = RowText(list, row, values.sort.column, 128);
        }
    }
    ListSortRecord record = values.sort;
    record.list = list;
    record.texts = texts.data();
    record.memberGroups = memberGroups.data();
    record.memberCount = static_cast<int>(memberGroups.size());
    SendMessageW(list, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&record), reinterpret_cast<LPARAM>(&SendListCompare));
    for (int row = 0; row < RowCount(list); ++row) {
        const LPARAM param = ListRowParam(list, row);
        if (param >= kMemberSortBase && param < kMemberSortBase + record.memberCount)
            RowParamSet(list, row, memberGroups[static_cast<size_t>(param - kMemberSortBase)]);
    }
}

void ContactRowAdd(HWND list, const ContactRecord& contact, int param, int picture)
{
    const std::u16string name(FieldText(contact.name)), company(FieldText(contact.company)),
        fax(FieldText(contact.fax));
    const int row = ListRowSet(list, 0, picture, 0, name.c_str(), param);
    ListRowSet(list, row, picture, 1, company.c_str(), param);
    ListRowSet(list, row, picture, 2, fax.c_str(), param);
    if (picture == kPictureMember) {
        const std::u16string key(FieldText(contact.key));
        ListRowSet(list, row, picture, 3, key.c_str(), param);
    }
}

void GroupRowAdd(HWND list, const GroupRecord& group, int param)
{
    const std::u16string name(FieldText(group.name));
    ListRowSet(list, 0, kPictureGroup, 0, name.c_str(), param);
}

void ContactMove(HWND page, int fromId, int toId, FaxSheetState* state)
{
    const bool fromLeft = fromId == kLeftList;
    ContactRecord*& from = fromLeft ? state->contacts : state->sendList;
    ContactRecord*& to = fromLeft ? state->sendList : state->contacts;
    int16_t& fromCount = fromLeft ? state->contactsCount : state->sendListCount;
    int16_t& toCount = fromLeft ? state->sendListCount : state->contactsCount;
    HWND fromList = List(page, fromId);
    const int row = static_cast<int>(SendMessageW(fromList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (row < 0 || ListRowPicture(fromList, row) != kPictureContact) return;
    const int k = static_cast<int>(ListRowParam(fromList, row));
    if (k < 0 || k >= fromCount || toCount >= kContactRowLimit || !Grow(to, toCount)) return;
    const int n = toCount;
    --fromCount;
    ++toCount;
    ContactRowAdd(List(page, toId), from[k], n);
    SendMessageW(fromList, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    RowParamsCloseGap(fromList, k, kTypedBase - 1, kPictureContact);
    to[n] = from[k];
    ArrayRemove(from, sizeof(ContactRecord), k);
}

void GroupMove(HWND page, int fromId, int toId, FaxSheetState* state)
{
    const bool fromLeft = fromId == kLeftList;
    HWND fromList = List(page, fromId);
    const int row = static_cast<int>(SendMessageW(fromList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (row < 0) return;
    const int param = static_cast<int>(ListRowParam(fromList, row));
    const int k = param - kGroupBase;
    const int fromCount = fromLeft ? state->groupsCount : state->chosenGroupsCount;
    const int toCount = fromLeft ? state->chosenGroupsCount : state->groupsCount;
    if (k < 0 || k >= fromCount || toCount >= kGroupRowLimit) return;
    int n;
    if (fromLeft) {
        if (!Grow(state->chosenGroups, state->chosenGroupsCount) ||
            !Grow(state->chosenGroupsAsChosen, state->chosenGroupsCount))
            return;
        n = state->chosenGroupsCount;
        --state->groupsCount;
        ++state->chosenGroupsCount;
        state->chosenGroups[n] = state->groups[k];
        state->chosenGroupsAsChosen[n] = state->groups[k];
        GroupRowAdd(List(page, toId), state->groups[k], kGroupBase + n);
        ArrayRemove(state->groups, sizeof(GroupRecord), k);
    } else {
        if (!Grow(state->groups, state->groupsCount)) return;
        n = state->groupsCount;
        --state->chosenGroupsCount;
        ++state->groupsCount;
        // The group goes back with its members as chosen: the members dropped from it return.
        state->groups[n] = state->chosenGroupsAsChosen[k];
        GroupRowAdd(List(page, toId), state->groups[n], kGroupBase + n);
        ArrayRemove(state->chosenGroups, sizeof(GroupRecord), k);
        ArrayRemove(state->chosenGroupsAsChosen, sizeof(GroupRecord), k);
    }
    // The group's own row and its member rows leave; the groups behind it close the gap, and so
    // does the list's shown group.
    RowsDelete(fromList, param, param);
    RowParamsCloseGap(fromList, param, 32767);
    int& shown = SendListValuesOf(fromId).shownGroup;
    if (shown == param) shown = -1;
    else if (shown > param) --shown;
}

void TypedReceiverAdd(HWND page, LPCWSTR name, LPCWSTR fax, FaxSheetState* state)
{
    if (state->typedCount >= kGroupBase - kTypedBase || !Grow(state->typed, state->typedCount)) return;
    const int n = state->typedCount++;
    const int row = ListRowSet(List(page, kRightList), 0, kPictureTyped, 0, name, kTypedBase + n);
    ListRowSet(List(page, kRightList), row, kPictureTyped, 2, fax, kTypedBase + n);
    FieldSet(state->typed[n].name, std::u16string_view(name));
    FieldSet(state->typed[n].fax, std::u16string_view(fax));
}

void TypedReceiverRemove(HWND page, FaxSheetState* state)
{
    HWND list = List(page, kRightList);
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (row < 0) return;
    const int k = static_cast<int>(ListRowParam(list, row)) - kTypedBase;
    if (k < 0 || k >= state->typedCount) return;
    --state->typedCount;
    SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
    RowParamsCloseGap(list, kTypedBase + k, kGroupBase - 1);
    // The receiver goes back into the edits for correction.
    const std::u16string name(FieldText(state->typed[k].name)), fax(FieldText(state->typed[k].fax));
    ArrayRemove(state->typed, sizeof(ContactRecord), k);
    SetDlgItemTextW(page, 3806, name.c_str());
    SetDlgItemTextW(page, 3808, fax.c_str());
}

void MemberRemove(HWND page, FaxSheetState* state)
{
    HWND list = List(page, kRightList);
    const int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (row < 0 || ListRowPicture(list, row) != kPictureMember) return;
    const int g = static_cast<int>(ListRowParam(list, row)) - kGroupBase;
    if (g < 0 || g >= state->chosenGroupsCount) return;
    const std::u16string key = RowText(list, row, 3, 10);
    GroupRecord& group = state->chosenGroups[g];
    WCHAR text[1000] = {};
    std::u16string members(1, u';');
    members += FieldText(group.members);
    members.copy(text, std::min<size_t>(members.size(), 999));
    std::u16string pattern(1, u';');
    pattern += key;
    pattern += u';';
    StringReplaceAll(text, pattern.c_str(), u";");
    FieldSet(group.members, std::u16string_view(text).substr(1));
    SendMessageW(list, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

void GroupMembersShow(HWND page, int listId, int param, FaxSheetState* state)
{
    HWND list = List(page, listId);
    RowsDelete(list, 0, 32767, kPictureMember);
    for (int row = 0; row < RowCount(list); ++row)
        if (ListRowPicture(list, row) == kPictureShownGroup) RowPictureSet(list, row, kPictureGroup);
    if (param == -1) return;
    const GroupRecord* groups = listId == kRightList ? state->chosenGroups : state->groups;
    const int count = listId == kRightList ? state->chosenGroupsCount : state->groupsCount;
    const int g = param - kGroupBase;
    if (g < 0 || g >= count) return;
    // The group's own row shows it open.
    for (int row = 0; row < RowCount(list); ++row)
        if (ListRowParam(list, row) == param && ListRowPicture(list, row) == kPictureGroup) {
            RowPictureSet(list, row, kPictureShownGroup);
            break;
        }
    for (int c = 0; c < state->allContactsCount; ++c)
        if (ContactInGroup(state->allContacts[c], groups[g]))
            ContactRowAdd(list, state->allContacts[c], param, kPictureMember);
}
