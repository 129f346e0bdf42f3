// The Blts command kind: a run of abutting plain bitmap copies joined by the optimiser into one
// command, so that the band loop handles them as one image.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct BitmapEntry;
struct ResourceStore;

// One copy of the run, in logical coordinates: the source rectangle of the bitmap, the destination
// (as recorded: reversed when mirrored) and the rectangle the copy may touch.
struct CmdBltsItem {
    RECT source;
    RECT destination;
    RECT visible;
    BitmapEntry* bitmap;  // a reference of its own
};

struct CmdBltsNode {
    CmdNode head;
    uint32_t count;
    uint32_t capacity;
    uint32_t colourAnswer;  // CmdColorClassGet's answer: 3 until an item that is drawn by colour class 1
    CmdBltsItem items[1];   // capacity items; the node is allocated for all of them
};

// An empty node (op 2, no items, answer 3) with room for capacity items; null when memory is short.
CmdNode* BltsCreate(uint32_t capacity);
// Adds an item while there is room: the bounds grow to cover it and the bitmap gains a reference.
// colourClass is the class the copy answered on its own. 0 when full or the bitmap is gone.
int BltsAdd(CmdNode* node, ResourceStore* store, const RECT* bounds, const RECT* source, const RECT* destination,
            const RECT* visible, BitmapEntry* bitmap, int colourClass);
