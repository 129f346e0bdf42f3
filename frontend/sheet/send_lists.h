// The send page's two list views: the row kinds and their parameters, the list wrappers, the
// sorting, and the moves between the address book (list 3801) and the send list (list 3804).
#pragma once

#include <string>

#include "frontend/sheet/sheet_state.h"

inline constexpr int kLeftList = 3801;
inline constexpr int kRightList = 3804;

// Picture index = row kind.
inline constexpr int kPictureShownGroup = 0;
inline constexpr int kPictureGroup = 1;
inline constexpr int kPictureContact = 2;
inline constexpr int kPictureMember = 3;
inline constexpr int kPictureTyped = 4;

// Parameters: contacts 0..4999 (their index), typed receivers 5000 + index, groups (and the
// member rows of a shown group) 6000 + index. Parameters stay below 32768.
inline constexpr int kTypedBase = 5000;
inline constexpr int kGroupBase = 6000;
inline constexpr int kContactRowLimit = kTypedBase;
inline constexpr int kGroupRowLimit = 32767 - kGroupBase;

// While a list sorts, member row n of the shown group carries the parameter kMemberSortBase + n
// instead of its group's, so that the comparison can tell it from the group's own row; the rows
// get their group's parameter back when the sort is done.
inline constexpr LPARAM kMemberSortBase = 32768;

// The sort record a list's LVM_SORTITEMS hands to SendListCompare.
struct ListSortRecord {
    HWND list;
    int16_t column;
    int16_t direction;  // 1 ascending, -1 descending
    // The text of the sort column of the first row, from the top, of each parameter, taken when
    // the sort starts (the rows as they were before it); member rows' texts from kMemberSortBase.
    const std::u16string* texts;
    const LPARAM* memberGroups;  // the group's parameter of member row n during the sort
    int memberCount;
};

// Values of the page kept for the process, one set per list (0: 3801, 1: 3804).
struct SendListValues {
    ListSortRecord sort;
    int16_t directions[20];
    int shownGroup;  // parameter of the group whose members are shown, or -1
    int rememberedRow;  // row the last focus query of an add or remove found
    HIMAGELIST pictures;
};
SendListValues& SendListValuesOf(int listId);
// Forgets the shown groups, remembered rows and column directions: each new page starts
// ascending by name with nothing opened.
void SendListValuesReset();

void ListViewSetup(HWND list, HMODULE module);
void ListColumnInsert(HWND list, UINT mask, int index, int width, LPCWSTR title);
int ListRowSet(HWND list, int row, int picture, int column, LPCWSTR text, LPARAM param);
// Parameter of the list's focused row or -1; keeps that row and its picture in the state.
int ListFocusedParam(HWND page, int listId, FaxSheetState* state);
int ListFirstMarked(HWND list);
void ListSelect(HWND list, int row);
void ListSelectByParam(HWND list, LPARAM param);
int ListRowPicture(HWND list, int row);
LPARAM ListRowParam(HWND list, int row);

// Removes one record from a heap block; the records behind move down, the block keeps its size
// and its freed end becomes zero. An index past the block's records changes nothing.
void ArrayRemove(void* block, size_t recordSize, int index);

void SortStateSet(HWND page, int listId, int column, bool toggle);
int SendListCompare(LPARAM p1, LPARAM p2, LPARAM record);
// Sorts the list by its sort record.
void SendListSort(HWND page, int listId);

void ContactMove(HWND page, int fromId, int toId, FaxSheetState* state);
void GroupMove(HWND page, int fromId, int toId, FaxSheetState* state);
void TypedReceiverAdd(HWND page, LPCWSTR name, LPCWSTR fax, FaxSheetState* state);
void TypedReceiverRemove(HWND page, FaxSheetState* state);
void MemberRemove(HWND page, FaxSheetState* state);
void GroupMembersShow(HWND page, int listId, int param, FaxSheetState* state);
// Adds a contact row (picture 2) or a group row (picture 1) for a record.
void ContactRowAdd(HWND list, const ContactRecord& contact, int param, int picture = kPictureContact);
void GroupRowAdd(HWND list, const GroupRecord& group, int param);
