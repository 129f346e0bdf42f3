#include "frontend/sheet/context_help.h"

#include <cstdio>

#include "frontend/common/text_rules.h"
#include "platform/registry.h"

const ContextHelpEntry ContextHelpTable[36] = {
    {3800, 501}, {3805, 504}, {3806, 504}, {3807, 504}, {3808, 504}, {3801, 504}, {3802, 504}, {3803, 504}, {3810, 504},
    {3804, 504}, {3811, 504}, {3830, 600}, {3604, 601}, {3605, 603}, {3606, 603}, {3607, 603}, {3608, 603}, {3615, 603},
    {3609, 603}, {3610, 603}, {3617, 603}, {3616, 603}, {3611, 603}, {3612, 603}, {3618, 603}, {3613, 603}, {3614, 603},
    {3619, 603}, {3620, 606}, {3621, 606}, {3622, 606}, {3626, 606}, {3623, 606}, {3624, 606}, {3625, 606}, {0, 0},
};

namespace {

using HtmlHelpEntry = HWND (*)(HWND, LPCWSTR, UINT, DWORD_PTR);

// The viewer binding, made once per process (one sheet at a time).
struct ViewerBinding {
    HMODULE module = nullptr;
    HtmlHelpEntry entry = nullptr;
    bool failed = false;
} viewer;

std::u16string HelpFile(const FaxSheetState* state, const char16_t* inner)
{
    std::u16string file(FieldText(state->driverFolder));
    file.append(FieldText(state->prefix));
    return file + u"ML.CHM" + inner;
}

}  // namespace

HWND HtmlHelpLoad(HWND window, LPCWSTR file, UINT command, DWORD_PTR data)
{
    if (!viewer.module) {
        if (viewer.failed) return nullptr;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32", 0,
                          KEY_READ, &key) == ERROR_SUCCESS) {
            char path[261] = {};
            DWORD size = 260;
            if (RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(path), &size) == ERROR_SUCCESS)
                viewer.module = LoadLibraryA(path);
            RegCloseKey(key);
        }
        if (!viewer.module) viewer.module = LoadLibraryA("hhctrl.ocx");
        if (!viewer.module) {
            viewer.failed = true;
            return nullptr;
        }
    }
    if (!viewer.entry) {
        viewer.entry = FaxProcCast<HtmlHelpEntry>(GetProcAddress(viewer.module, MAKEINTRESOURCEA(15)));
        if (!viewer.entry) {
            viewer.failed = true;
            return nullptr;
        }
    }
    return viewer.entry(window, file, command, data);
}

void HtmlHelpUnbind()
{
    if (viewer.module) FreeLibrary(viewer.module);
    viewer = ViewerBinding{};
}

HWND HelpShow(HWND page, DWORD topic)
{
    const FaxSheetState* state = PageState(page);
    if (!state) return nullptr;
    const std::u16string file = HelpFile(state, u"");
    return HtmlHelpLoad(page, file.c_str(), HH_HELP_CONTEXT, topic);
}

void ContextHelpOnHelp(HWND page, const HELPINFO* info)
{
    FaxSheetState* state = PageState(page);
    if (!state || !info) return;
    for (const ContextHelpEntry* entry = ContextHelpTable; entry->controlId != 0; ++entry)
        if (entry->controlId == info->iCtrlId) {
            HelpPopupShow(static_cast<HWND>(info->hItemHandle), ContextHelpTable, state);
            return;
        }
}

void ContextHelpOnMenu(HWND page, HWND clicked, LPARAM)
{
    FaxSheetState* state = PageState(page);
    const int id = GetDlgCtrlID(clicked);
    if (!state || id <= 0) return;
    for (const ContextHelpEntry* entry = ContextHelpTable; entry->controlId != 0; ++entry)
        if (entry->controlId == id) {
            HelpPopupShow(clicked, ContextHelpTable, state);
            return;
        }
}

std::u16string HelpPopupFont(UINT codePage)
{
    char text[64];
    std::snprintf(text, sizeof text, codePage == 932 ? "MS Gothic, 8, %u, " : "Tohoma, 8, %u, ", codePage);
    return std::u16string(text, text + std::char_traits<char>::length(text));
}

bool HelpPopupByViewer(UINT codePage, int osCode) { return codePage == 932 && osCode >= 2600; }

void HelpPopupShow(HWND control, const ContextHelpEntry* table, FaxSheetState* state)
{
    const UINT codePage = GetACP();
    const std::u16string popupFile = HelpFile(state, u"::/POPTEXT.txt");
    if (HelpPopupByViewer(codePage, OsVersionProbe())) {
        HtmlHelpLoad(control, popupFile.c_str(), HH_TP_HELP_WM_HELP, reinterpret_cast<DWORD_PTR>(table));
        return;
    }
    const std::u16string font = HelpPopupFont(codePage);
    RECT rect{};
    GetWindowRect(control, &rect);
    HH_POPUP popup{};
    popup.cbStruct = sizeof popup;
    popup.pt = {rect.left, rect.top};
    popup.clrForeground = 0;
    popup.clrBackground = static_cast<COLORREF>(-1);
    popup.rcMargins = {-1, -1, -1, -1};
    popup.pszFont = font.c_str();
    const int id = GetDlgCtrlID(control);
    for (; table->controlId != 0; ++table)
        if (table->controlId == id) break;
    if (table->controlId == 0 || table->topic == 0) return;
    popup.idString = static_cast<UINT>(table->topic);
    HtmlHelpLoad(GetParent(control), popupFile.c_str(), HH_DISPLAY_TEXT_POPUP, reinterpret_cast<DWORD_PTR>(&popup));
}

int OsCodeFromVersion(WORD architecture, const OSVERSIONINFOEXW* version, bool extended)
{
    if (!version) return 0;
    const DWORD major = version->dwMajorVersion, minor = version->dwMinorVersion;
    if (version->dwPlatformId == 1) {
        if (major != 4) return 0;
        return minor == 0 ? 1400 : minor == 10 ? 1410 : minor == 90 ? 1490 : 0;
    }
    if (version->dwPlatformId != 2) return 0;
    const bool server = extended && version->wProductType == 3;
    const bool x64 = architecture == PROCESSOR_ARCHITECTURE_AMD64;
    if (server) {
        if (!x64 && major <= 4) return 2400;
        if (major == 5 && minor == 2) return 2502;
        if (major == 6 && minor == 0) return 2601;
        return 0;
    }
    if (x64) {
        if (major == 5 && minor == 2) return 2501;
        if (major == 6 && minor == 0) return 2600;
        return 0;
    }
    if (major == 5 && minor == 0) return 2500;
    if (major == 5 && minor == 1) return 2501;
    if (major == 6 && minor == 0) return 2600;
    return 0;
}

int OsVersionProbe()
{
    SYSTEM_INFO system{};
    using NativeInfo = void (*)(SYSTEM_INFO*);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto native = kernel ? FaxProcCast<NativeInfo>(GetProcAddress(kernel, "GetNativeSystemInfo")) : nullptr;
    if (native) native(&system);
    else GetSystemInfo(&system);
    OSVERSIONINFOEXW version{};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOEXW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return OsCodeFromVersion(system.wProcessorArchitecture, &version, true);
    version = {};
    version.dwOSVersionInfoSize = sizeof(OSVERSIONINFOW);
    if (GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return OsCodeFromVersion(system.wProcessorArchitecture, &version, false);
    return OsCodeFromVersion(system.wProcessorArchitecture, nullptr, false);
}
