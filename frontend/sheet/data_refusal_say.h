// The sheet's word on a refused data folder, said before it opens: without the folder nothing the
// user chose could be stored, so the sheet does not open at all.
#pragma once

#include "platform/window.h"

// True when the data folder is refused; the user was then told so in a message box (owned by
// owner) naming the folder, why and what to do.
bool DataRefusalSay(HWND owner);
