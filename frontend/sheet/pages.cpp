#include "frontend/sheet/pages.h"

#include <iterator>

#include "frontend/sheet/context_help.h"

namespace {

// Answers a page's notification with a result, as a dialog procedure does.
INT_PTR NotifyResult(HWND page, LRESULT result)
{
    SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
    return result != 0;
}

// Both pages answer the sheet's help and apply notifications alike, each with its own topic and
// apply rule.
INT_PTR PageNotify(HWND page, LPARAM lParam, DWORD topic, LRESULT (*apply)(HWND, FaxSheetState*))
{
    switch (reinterpret_cast<const NMHDR*>(lParam)->code) {
    case static_cast<UINT>(PSN_HELP): HelpShow(page, topic); return 0;
    case static_cast<UINT>(PSN_APPLY): return NotifyResult(page, apply(page, PageState(page)));
    default: return 0;
    }
}

// What both pages do alike with help messages.
bool PageHelpMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_HELP) {
        ContextHelpOnHelp(page, reinterpret_cast<const HELPINFO*>(lParam));
        return true;
    }
    if (message == WM_CONTEXTMENU) {
        ContextHelpOnMenu(page, reinterpret_cast<HWND>(wParam), lParam);
        return true;
    }
    return false;
}

constexpr PageText kCoverPageTexts[] = {{3602, 8046}, {3606, 8057}, {3607, 8058}, {3609, 8059}, {3611, 8060},
                                        {3613, 8061}, {3620, 8062}, {3621, 8063}, {3626, 8044}, {3623, 8064},
                                        {3624, 8066}, {3625, 8065}};

}  // namespace

void PageTextsSet(HWND page, HMODULE module, const PageText* texts, size_t count, int room)
{
    std::u16string text(static_cast<size_t>(room), u'\0');
    for (size_t i = 0; i < count; ++i) {
        LoadStringW(module, texts[i].stringId, text.data(), room);
        SetDlgItemTextW(page, texts[i].controlId, text.c_str());
    }
}

LRESULT SendListPageApply(HWND page, FaxSheetState* state)
{
    if (FaxSheetReceiverTotal(state) != 0) {
        FaxSheetStateSave(state, 0);
        return PSNRET_NOERROR;
    }
    FaxSheetError(page, state->module, 8508);
    return PSNRET_INVALID;
}

LRESULT CoverPagePageApply(HWND page, FaxSheetState* state)
{
    const CoverPageSettings* settings = state->settings;
    if (settings && settings->showSubject && settings->subject[0] == 0) {
        FaxSheetError(page, state->module, 8507);
        PostMessageW(page, kCoverPageSubjectFocus, 0, 0);
        return PSNRET_INVALID;
    }
    FaxSheetStateSave(state, 1);
    return PSNRET_NOERROR;
}

INT_PTR CoverPagePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        PageStateAttach(page, reinterpret_cast<const PROPSHEETPAGEW*>(lParam), 1);
        FaxSheetState* state = PageState(page);
        state->coverPageNotApplied = 1;
        PageTextsSet(page, state->module, kCoverPageTexts, std::size(kCoverPageTexts), 128);
        if (const CoverPageSettings* settings = state->settings) {
            CheckDlgButton(page, 3606, settings->pictureOn ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, 3621, settings->showSubject ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, 3623, settings->showSender ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, 3625, settings->showDateTime ? BST_CHECKED : BST_UNCHECKED);
            CheckDlgButton(page, 3626, settings->showReceivers ? BST_CHECKED : BST_UNCHECKED);
            SetDlgItemTextW(page, 3622, std::u16string(FieldText(settings->subject)).c_str());
        }
        return TRUE;
    }
    if (PageHelpMessage(page, message, wParam, lParam))
        return TRUE;
    if (message == kCoverPageSubjectFocus) {
        SetFocus(GetDlgItem(page, 3622));
        SendDlgItemMessageW(page, 3622, EM_SETSEL, 0, 0);
        return TRUE;
    }
    if (message == WM_NOTIFY)
        return PageNotify(page, lParam, kHelpTopicCoverPage, CoverPagePageApply);
    return 0;
}

const FaxSheetPage kFaxSheetPages[] = {
    {3800, 8514, SendListPageProc},
    {3830, 8045, CoverPagePageProc},
    {-1, 0, nullptr},
};
