#include "frontend/sheet/pages.h"

#include <string>

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

const FaxSheetPage kFaxSheetPages[] = {
    {3800, 8514, SendListPageProc},
    {3830, 8045, CoverPagePageProc},
    {-1, 0, nullptr},
};
