// Context help of both pages: the help file at a page's topic, and popup texts for controls on
// F1 and right clicks, through the help viewer bound at run time.
#pragma once

#include <string>

#include "frontend/sheet/sheet_state.h"

struct ContextHelpEntry {
    int32_t controlId;
    int32_t topic;
};
// Ends with {0, 0}.
extern const ContextHelpEntry ContextHelpTable[36];

inline constexpr DWORD kHelpTopicSendPage = 500;
inline constexpr DWORD kHelpTopicCoverPage = 600;

// Binds the viewer (the path registered for its class, else "hhctrl.ocx" by name) on first use
// and calls its entry, ordinal 15; 0 when it cannot be bound.
HWND HtmlHelpLoad(HWND window, LPCWSTR file, UINT command, DWORD_PTR data);
// Forgets the viewer binding (tests).
void HtmlHelpUnbind();
HWND HelpShow(HWND page, DWORD topic);
void ContextHelpOnHelp(HWND page, const HELPINFO* info);
void ContextHelpOnMenu(HWND page, HWND clicked, LPARAM position);
void HelpPopupShow(HWND control, const ContextHelpEntry* table, FaxSheetState* state);

// The popup font text for the ANSI code page.
std::u16string HelpPopupFont(UINT codePage);
// Whether the viewer finds the control's topic itself (HH_TP_HELP_WM_HELP) rather than being
// given a text popup.
bool HelpPopupByViewer(UINT codePage, int osCode);

// The Windows version as the help's OS code: the system's answer read through OsCodeFromVersion.
int OsVersionProbe();
// version is null when neither version query succeeded; extended tells whether it carries the
// product type.
int OsCodeFromVersion(WORD architecture, const OSVERSIONINFOEXW* version, bool extended);
