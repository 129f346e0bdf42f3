// The places where the window layer would wait for a person or reach outside the process; tests
// and tools replace them. An empty function restores the default.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/window.h"

// Declarations from here on are the window layer's exports.
#pragma GCC visibility push(default)

namespace platform::ui {

// Called for every MessageBoxW; returns the button pressed. Default: a Qt message box.
using MessageBoxHook = std::function<int(HWND owner, std::u16string_view text, std::u16string_view caption, UINT type)>;
void SetMessageBoxHook(MessageBoxHook hook);

// Called for GetOpenFileNameW / GetSaveFileNameW; returns false for a cancelled dialog, else
// writes the chosen path. Default: a Qt file dialog.
using FileDialogHook = std::function<bool(bool save, const OPENFILENAMEW& request, std::u16string& path)>;
void SetFileDialogHook(FileDialogHook hook);

// Called with a modal dialog or property sheet once it is shown, in place of the event loop: the
// hook drives it (messages, Qt events) and the dialog ends as the hook left it; one still open
// afterwards ends as cancelled. Default: the event loop, until the dialog ends. On Qt's offscreen
// platform without a hook the loop would wait for no one, so the dialog ends as cancelled at once.
using ModalHook = std::function<void(HWND dialog)>;
void SetModalHook(ModalHook hook);
// Delivers the messages posted so far (PostMessageW), for a modal hook.
void ProcessPosted();

// Shows each page of a running property sheet in turn and writes the sheet as
// <folder>/sheet-page<N>.png (N from 1), then makes the first page current again; for a hook that
// has filled the sheet. False when the window is no sheet or a picture could not be written.
// (Without a hook, the environment variable FAXDRIVER_UI_SNAPSHOT=<folder> makes every sheet do
// this by itself and end as cancelled.)
bool SheetSnapshot(HWND sheet, const std::string& folder);

// The help viewer: a topic page to open (default: xdg-open on the file), and a popup text at a
// screen position with the viewer's font description (default: a small popup window).
using HelpTopicHook = std::function<void(const std::string& page)>;
using HelpPopupHook = std::function<void(std::u16string_view text, POINT at, std::u16string_view font)>;
void SetHelpTopicHook(HelpTopicHook hook);
void SetHelpPopupHook(HelpPopupHook hook);

}  // namespace platform::ui

// The help viewer stand-in, exported as ordinal 15 of libfaxplatformui.so. The help file is a
// folder of topic pages "<topic>.html" and a popup file "POPTEXT.txt" ("file::/POPTEXT.txt"
// names it) of ".topic <id>" lines each followed by its text. Commands: HH_HELP_CONTEXT (data: the
// topic), HH_DISPLAY_TEXT_POPUP (data: HH_POPUP*; idString is the topic), HH_TP_HELP_WM_HELP
// (window: the control; data: pairs of control id and topic ended by 0). Returns the window for
// a shown page or popup, null when nothing was shown.
extern "C" HWND HtmlHelpW(HWND window, LPCWSTR file, UINT command, DWORD_PTR data);

#pragma GCC visibility pop
