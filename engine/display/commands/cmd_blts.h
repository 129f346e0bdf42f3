// The Blts command kind: a run of plain bitmap copies gathered into one command, each item a
// bitmap scaled from its source rectangle onto its destination rectangle and shown only inside
// its visible rectangle (all in logical units).
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct BitmapEntry;
struct ResourceStore;

struct BltsItem {
    RECT source, destination, visible;
    BitmapEntry* bitmap;
};

struct BltsNode {
    CmdNode head;
    uint32_t count, capacity;
    uint32_t colourAnswer;  // CmdColorClassGet's answer: 3 until an item says otherwise
    BltsItem items[1];  // capacity of them
};

// An empty Blts command with room for capacity items, charged to the store's budget; null when
// out of memory or budget.
CmdNode* BltsCreate(ResourceStore* store, uint32_t capacity);
// Adds an item and takes a reference on its bitmap; flag 1 marks an item that cannot render its
// own pixels. 0 when the node is full, the bitmap is gone or the source reaches outside it.
int BltsAdd(CmdNode* node, ResourceStore* store, const RECT* bounds, const RECT* source, const RECT* destination,
            const RECT* visible, BitmapEntry* bitmap, uint32_t flag);
