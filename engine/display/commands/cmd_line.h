// The Line command kind: one straight segment drawn with a pen, and its constructor, which the
// Rect outline splitter also calls.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "engine/display/stores/resource_object.h"
#include "platform/types.h"

struct ResourceStore;
struct Pen;
struct Clip;
struct Stream;

struct CmdLineNode {
    CmdNode head;
    POINT from;  // logical
    POINT to;
    Pen* pen;  // with a reference
    Clip* clip;  // or null
    uint8_t mix;  // ROP2
};

// A straight line from one point to the other with a pen, an optional clip and a mix; null when
// a resource is missing or memory is short, with every reference taken released.
CmdNode* LineCreate(ResourceStore* store, const POINT* from, const POINT* to, ResourceId pen, ResourceId clip,
                    uint8_t mix);
int CmdLineRead(ResourceStore* store, Stream* stream, CmdNode** out);
