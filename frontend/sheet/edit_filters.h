// Typing filters of the sheet's edits, run on every change of an edit's text: each removes the
// first character it does not allow, sets the text again (which runs the filter again, so every
// offending character goes in turn), puts the caret where the character stood and returns 0; a
// text with nothing to remove is left alone and gives 1. At most 256 characters are read.
#pragma once

#include "platform/window.h"

// No comma, no double quote.
int SeparatorStrip(HWND dialog, int editId);
// Blank, "#", "*", "+", "-", "P" and the digits.
int FaxNumberFilter(HWND dialog, int editId);
// "-", ".", "@", "_", the digits and the letters A-Z, a-z.
int EmailFilter(HWND dialog, int editId);

// Fills an edit from a stored value. The filters are for what the user types or pastes: while the
// edit is filled they leave the text alone, so a stored value is shown and kept as it was stored.
void EditTextFill(HWND dialog, int editId, LPCWSTR text);
// True while EditTextFill fills an edit: change handlers that cap or rewrite what the user types
// leave a stored value alone.
bool EditFilling();
