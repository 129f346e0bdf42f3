#include <cstring>

#include "frontend/common/text_rules.h"
#include "frontend/sheet/data_refusal_say.h"
#include "frontend/sheet/sheet_state.h"
#include "platform/resources.h"

FAX_DECLARE_RESOURCE_TABLE(VelmoraResources);
FAX_DECLARE_RESOURCE_TABLE(VelmoraBitmaps);

namespace {

HMODULE velmoraModule;

#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3

BOOL DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
    switch (reason) {
        case DLL_PROCESS_ATTACH: velmoraModule = instance; return TRUE;
        case DLL_PROCESS_DETACH:
        case DLL_THREAD_ATTACH:
        case DLL_THREAD_DETACH: return TRUE;
        default: return FALSE;
    }
}

// The loader's process attach: the library keeps its own module handle as it is loaded.
const bool attached = DllMain(ModuleFromAddress(reinterpret_cast<const void*>(&DllMain)), DLL_PROCESS_ATTACH, nullptr);

}  // namespace

HMODULE VelmoraModule()
{
    (void)attached;
    FaxResourceTableLink_VelmoraResources();
    FaxResourceTableLink_VelmoraBitmaps();
    return velmoraModule;
}

void PageStateAttach(HWND page, const PROPSHEETPAGEW* description, int pageIndex)
{
    auto* state = reinterpret_cast<FaxSheetState*>(description->lParam);
    SetWindowLongPtrW(page, DWLP_USER, description->lParam);
    (pageIndex == 0 ? state->sendPage : state->coverPage) = page;
}

HPROPSHEETPAGE FaxSheetPageCreate(HMODULE module, int templateId, UINT titleId, DLGPROC proc, FaxSheetState* state)
{
    WCHAR title[66] = {};
    LoadStringW(module, titleId, title, 66);
    PROPSHEETPAGEW page{};
    page.dwSize = sizeof page;
    page.dwFlags = PSP_USETITLE | PSP_HASHELP;
    page.hInstance = module;
    page.pszTemplate = MAKEINTRESOURCEW(templateId);
    page.pszTitle = title;
    page.pfnDlgProc = proc;
    page.lParam = reinterpret_cast<LPARAM>(state);
    return CreatePropertySheetPageW(&page);
}

INT_PTR FaxSheetRun(HWND owner, HMODULE module)
{
    // A refused data folder was said to the user; the sheet ends as cancelled, storing nothing.
    if (DataRefusalSay(owner)) return 0;
    auto* state = static_cast<FaxSheetState*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(FaxSheetState)));
    if (!state) return -1;
    state->module = module;
    FaxSheetStateLoad(state);

    HPROPSHEETPAGE pages[2] = {};
    UINT count = 0;
    for (const FaxSheetPage* page = kFaxSheetPages; page->templateId != -1 && count < 2; ++page)
        pages[count++] = FaxSheetPageCreate(module, page->templateId, page->titleId, page->proc, state);

    WCHAR caption[128] = {};
    LoadStringW(module, kStringSheetCaption, caption, 128);
    PROPSHEETHEADERW header{};
    header.dwSize = sizeof header;
    header.dwFlags = PSH_HASHELP | PSH_NOAPPLYNOW;
    header.hwndParent = owner;
    header.hInstance = module;
    header.pszCaption = caption;
    header.nPages = count;
    header.nStartPage = 0;
    header.phpage = pages;
    const INT_PTR result = PropertySheetW(&header);
    // The state lives until the sheet is gone, whether it saved, was cancelled or failed to show.
    FaxSheetStateFree(state);
    return result;
}

extern "C" __attribute__((visibility("default"))) INT_PTR GetReciverInfo()
{
    HWND owner = GetActiveWindow();
    InitCommonControls();
    return FaxSheetRun(owner, VelmoraModule());
}

void FileNameChoose(HWND owner, LPCWSTR filter, LPCWSTR defaultExtension, int mode, LPWSTR out)
{
    WCHAR path[256] = u"*.";
    const std::u16string_view extension(defaultExtension ? defaultExtension : u"");
    extension.copy(path + 2, std::min<size_t>(extension.size(), 253));
    OPENFILENAMEW request{};
    request.lStructSize = sizeof request;
    request.hwndOwner = owner;
    request.lpstrFilter = filter;
    request.nFilterIndex = 0;
    request.lpstrFile = path;
    request.nMaxFile = 256;
    request.lpstrDefExt = defaultExtension;
    request.Flags = OFN_LONGNAMES | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT;
    const BOOL chosen = mode == 1 ? GetSaveFileNameW(&request) : GetOpenFileNameW(&request);
    out[0] = 0;
    if (chosen == 1) {
        // The path buffer holds 256 units, so a chosen path always fits the 260 of out.
        const std::u16string_view result = FieldText(path);
        result.copy(out, result.size());
        out[result.size()] = 0;
    }
}
