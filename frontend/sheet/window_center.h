// Centring the sheet and the sender dialog on the screen.
#pragma once

#include "platform/window.h"

// Moves the window's top-level window (the sheet for one of its pages) to the middle of the
// screen, keeping its size: the screen's width and height less the window's, halved. A window
// larger than the screen keeps its top-left corner on the screen, so that its caption stays
// within reach.
void WindowCenter(HWND window);
