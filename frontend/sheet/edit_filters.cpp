#include "frontend/sheet/edit_filters.h"

#include <string>

namespace {

// Set while an edit is filled from a stored value (one sheet at a time, on its thread).
bool filling = false;

// Removes the first character the rule refuses; see the header.
template <typename Refused>
int Filter(HWND dialog, int editId, Refused refused)
{
    if (filling) return 1;
    WCHAR buffer[257] = {};
    GetDlgItemTextW(dialog, editId, buffer, 257);
    std::u16string text(buffer);
    size_t at = 0;
    while (at < text.size() && !refused(text[at])) ++at;
    if (at == text.size()) return 1;
    text.erase(at, 1);
    SetDlgItemTextW(dialog, editId, text.c_str());
    SendDlgItemMessageW(dialog, editId, EM_SETSEL, at, static_cast<LPARAM>(at));
    return 0;
}

bool Among(char16_t c, std::u16string_view set) { return set.find(c) != std::u16string_view::npos; }

}  // namespace

int SeparatorStrip(HWND dialog, int editId)
{
    return Filter(dialog, editId, [](char16_t c) { return c == u',' || c == u'"'; });
}

int FaxNumberFilter(HWND dialog, int editId)
{
    return Filter(dialog, editId, [](char16_t c) { return !Among(c, u" #*+-P0123456789"); });
}

void EditTextFill(HWND dialog, int editId, LPCWSTR text)
{
    filling = true;
    SetDlgItemTextW(dialog, editId, text);
    filling = false;
}

bool EditFilling() { return filling; }

int EmailFilter(HWND dialog, int editId)
{
    return Filter(dialog, editId, [](char16_t c) {
        return !((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || Among(c, u"-.@_"));
    });
}
