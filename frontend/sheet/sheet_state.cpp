#include "frontend/sheet/sheet_state.h"

#include <cstring>

#include "frontend/common/cover_settings.h"
#include "frontend/common/cover_template.h"
#include "frontend/common/data_dir.h"
#include "frontend/common/driver_path.h"
#include "frontend/common/fax_names.h"
#include "frontend/common/file_all.h"
#include "frontend/common/record_rules.h"
#include "frontend/common/reg_value.h"
#include "frontend/sheet/cover_preview.h"

namespace {

template <typename Record>
Record* ZeroBlock(SIZE_T bytes)
{
    return static_cast<Record*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
}

template <typename Record>
Record* RegRecord(LPCWSTR key, LPCWSTR value)
{
    return reinterpret_cast<Record*>(RegValueRead(HKEY_CURRENT_USER, key, value, sizeof(Record)));
}

void Free(void* block) { HeapFree(GetProcessHeap(), 0, block); }

// Appends one zero-filled record to an array block; false when the heap is exhausted.
template <typename Record>
bool ArrayAppend(Record*& array, int16_t& count, const Record& record)
{
    const SIZE_T needed = (static_cast<SIZE_T>(count) + 1) * sizeof(Record);
    if (HeapSize(GetProcessHeap(), 0, array) < needed) {
        auto* grown = static_cast<Record*>(HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, array, needed));
        if (!grown) return false;
        array = grown;
    }
    array[count++] = record;
    return true;
}

bool InAnyChosenGroup(const FaxSheetState* state, const ContactRecord& contact)
{
    for (int g = 0; g < state->chosenGroupsCount; ++g)
        if (ContactInGroup(contact, state->chosenGroups[g])) return true;
    return false;
}

}  // namespace

void FaxSheetStateLoad(FaxSheetState* state)
{
    HANDLE heap = GetProcessHeap();
    state->chosenGroups = ZeroBlock<GroupRecord>(32);
    state->chosenGroupsAsChosen = ZeroBlock<GroupRecord>(32);
    state->sendList = ZeroBlock<ContactRecord>(32);
    state->typed = ZeroBlock<ContactRecord>(32);

    WCHAR modulePath[257] = {};
    GetModuleFileNameW(state->module, modulePath, 256);
    FaxPrefixFromModulePath(modulePath, state->prefix);
    const std::u16string key = FaxKeyName(state->prefix);

    auto* pout = RegRecord<CoverPageSettings>(key.c_str(), kValueCoverPagePout);
    auto* ui = RegRecord<CoverPageSettings>(key.c_str(), kValueCoverPageUI);
    if (pout && ui) CoverPageSettingsMerge(pout, ui);

    WCHAR dataFolder[1024];
    FaxDataDirGet(dataFolder);
    auto* count = RegRecord<CountValue>(key.c_str(), kValueCountInfo);
    auto* driver = RegRecord<DriverPathValue>(key.c_str(), kValueDriverPath);

    const std::u16string users = FaxDataFilePath(dataFolder, state->prefix, u"USER.DAT");
    const std::u16string groups = FaxDataFilePath(dataFolder, state->prefix, u"GROUP.DAT");
    state->contacts = reinterpret_cast<ContactRecord*>(FileReadAll(users.c_str()));
    state->allContacts = reinterpret_cast<ContactRecord*>(FileReadAll(users.c_str()));
    state->groups = reinterpret_cast<GroupRecord*>(FileReadAll(groups.c_str()));

    state->settings = pout;
    state->count = count;
    // The counts come from "CountInfo", held to what the files really hold, so that a count
    // larger than its file never reads past it.
    const WORD claimedContacts = count ? count->contactCount : 0;
    const WORD claimedGroups = count ? count->groupCount : 0;
    state->contactsCount = static_cast<int16_t>(
        std::min<WORD>(RecordCountClamp(state->contacts, sizeof(ContactRecord), claimedContacts), 0x7FFF));
    state->allContactsCount = state->contactsCount;
    state->groupsCount = static_cast<int16_t>(
        std::min<WORD>(RecordCountClamp(state->groups, sizeof(GroupRecord), claimedGroups), 0x7FFF));

    state->handCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(IDC_HAND_ID));
    if (driver) DriverFolderFromValue(*driver, state->driverFolder);
    // A stored style that the template does not offer is no cover page: the style list could not
    // show it, and the page would act on a style the user cannot see.
    if (pout) pout->style = CoverPageStyleOffered(CoverTemplatePath(state).c_str(), pout->style);
    HeapFree(heap, 0, ui);
    HeapFree(heap, 0, driver);
}

int FaxSheetReceiverTotal(FaxSheetState* state)
{
    int total = state->typedCount;
    for (int c = 0; c < state->contactsCount; ++c)
        if (InAnyChosenGroup(state, state->contacts[c])) ++total;
    total += state->sendListCount;
    state->receiverTotal = total;
    return total;
}

int SendListBuild(FaxSheetState* state)
{
    for (int t = 0; t < state->typedCount; ++t) ArrayAppend(state->sendList, state->sendListCount, state->typed[t]);
    for (int c = 0; c < state->contactsCount; ++c)
        if (InAnyChosenGroup(state, state->contacts[c]))
            ArrayAppend(state->sendList, state->sendListCount, state->contacts[c]);
    if (state->count) state->count->contactCount = static_cast<WORD>(state->sendListCount);
    return state->sendListCount;
}

bool FaxSheetStateSave(FaxSheetState* state, int pageIndex)
{
    (pageIndex == 0 ? state->sendPageNotApplied : state->coverPageNotApplied) = 0;
    WCHAR dataFolder[1024];
    FaxDataDirGet(dataFolder);
    if ((pageIndex == 0 ? state->coverPageNotApplied : state->sendPageNotApplied) != 0)
        return false;  // the other page saves when its own apply comes

    SendListBuild(state);
    // The receivers first: a count stored without its receivers file would send the cover page
    // to nobody, so the values are stored only once the file holds the list.
    const std::u16string receivers = FaxDataFilePath(dataFolder, state->prefix, u"REC.DAT");
    if (!FileWriteAll(receivers.c_str(), GENERIC_WRITE, state->sendList,
                      static_cast<DWORD>(HeapSize(GetProcessHeap(), 0, state->sendList))))
        return true;
    const std::u16string key = FaxKeyName(state->prefix);
    if (state->settings)
        RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCoverPagePout, state->settings, sizeof(CoverPageSettings));
    if (state->count) RegValueWrite(HKEY_CURRENT_USER, key.c_str(), kValueCountPout, state->count, sizeof(CountValue));
    return true;
}

void FaxSheetStateFree(FaxSheetState* state)
{
    if (!state) return;
    void* blocks[] = {state->count,    state->contacts,     state->typed,
                      state->sendList, state->chosenGroups, state->chosenGroupsAsChosen,
                      state->groups,   state->allContacts,  state->settings,
                      state->picture};
    for (void* block : blocks) Free(block);
    // The preview's drawing objects (the white brush is a stock object).
    if (state->previewDC) DeleteDC(state->previewDC);
    HGDIOBJ objects[] = {state->previewBitmap, state->faceBrush,       state->facePen,
                         state->blackPen,      state->portraitPicture, state->landscapePicture};
    for (HGDIOBJ object : objects)
        if (object) DeleteObject(object);
    Free(state);
}

void FaxSheetError(HWND owner, HMODULE module, UINT stringId)
{
    WCHAR text[256] = {}, caption[128] = {};
    LoadStringW(module, stringId, text, 256);
    LoadStringW(module, kStringErrorCaption, caption, 128);
    MessageBoxW(owner, text, caption, MB_OK);
}
