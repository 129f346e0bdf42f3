// Page borders: a frame of black rectangles around a placed page (or n-up cell), drawn as a form
// level of its own over device pixels, on top of the page's levels.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct PageState;
struct ResourceStore;

struct PageBorders {
    CmdList list;
    uint32_t level;  // the frame's level in the page state, or UINT32_MAX while none is pushed
};

// The border width in device pixels: the border value in page units (3 when 0) times the page's
// scale, rounded half up.
SIZE PageBorderWidth(uint32_t value, double scaleX, double scaleY);

// Pushes the frame's level: four rectangles of the width along the inner edges of the frame
// rectangle (device pixels), the built-in black brush from the store. 1 on success; 0 when the
// level or a rectangle cannot be made, with nothing left pushed.
int PageBordersPush(PageState* state, ResourceStore* store, const RECT* frame, SIZE width, PageBorders* borders);
// Pops the frame's level and destroys its rectangles; nothing when none was pushed.
void PageBordersRelease(PageState* state, PageBorders* borders);
