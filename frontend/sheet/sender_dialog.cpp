// The sender dialog: the sender's seven details, each edit with its typing filter. OK keeps the
// edits' texts, Cancel the former sender.
#include <string>

#include "frontend/common/text_rules.h"
#include "frontend/sheet/edit_filters.h"
#include "frontend/sheet/pages.h"
#include "frontend/sheet/window_center.h"

namespace {

struct SenderField {
    int edit;
    UINT label;
    WCHAR (ContactRecord::*field)[66];
    int (*filter)(HWND, int);
};
constexpr SenderField kFields[] = {
    {3103, 8012, &ContactRecord::name, SeparatorStrip},       {3105, 8013, &ContactRecord::company, SeparatorStrip},
    {3107, 8014, &ContactRecord::department, SeparatorStrip}, {3109, 8015, &ContactRecord::phone, FaxNumberFilter},
    {3111, 8016, &ContactRecord::fax, FaxNumberFilter},       {3113, 8017, &ContactRecord::email, EmailFilter},
    {3115, 8018, &ContactRecord::address, SeparatorStrip},
};

void SenderInfoDlgInit(HWND dialog, FaxSheetState* state)
{
    WindowCenter(dialog);
    WCHAR text[128] = {};
    LoadStringW(state->module, 8011, text, 128);
    SetWindowTextW(dialog, text);
    const PageText buttons[] = {{3002, 8081}, {2, 8082}};
    PageTextsSet(dialog, state->module, buttons, 2, 128);
    ContactRecord& sender = state->settings->sender;
    for (const SenderField& f : kFields) {
        LoadStringW(state->module, f.label, text, 128);
        SetDlgItemTextW(dialog, f.edit - 1, text);
        EditTextFill(dialog, f.edit, std::u16string(FieldText(sender.*f.field)).c_str());
        SendDlgItemMessageW(dialog, f.edit, EM_LIMITTEXT, 32, 0);
    }
}

void SenderInfoDlgSave(HWND dialog, FaxSheetState* state, int id, int code)
{
    if (id == 3002) {
        for (const SenderField& f : kFields) {
            WCHAR text[66] = {};
            GetDlgItemTextW(dialog, f.edit, text, 66);
            FieldSet(state->settings->sender.*f.field, std::u16string_view(text));
        }
        EndDialog(dialog, 0);
    } else if (id == 2) {
        EndDialog(dialog, 0);
    } else if (code == EN_CHANGE) {
        for (const SenderField& f : kFields)
            if (f.edit == id) f.filter(dialog, id);
    }
}

}  // namespace

INT_PTR SenderInfoDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        SenderInfoDlgInit(dialog, reinterpret_cast<FaxSheetState*>(lParam));
    } else if (message == WM_COMMAND) {
        auto* state = reinterpret_cast<FaxSheetState*>(GetWindowLongPtrW(dialog, DWLP_USER));
        if (state && state->settings) SenderInfoDlgSave(dialog, state, LOWORD(wParam), HIWORD(wParam));
    }
    return 0;
}
