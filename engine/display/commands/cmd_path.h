// The Path command kind: a stored path filled with a brush, outlined with a pen, or both.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct BrushEntry;
struct Pen;
struct PathEntry;
struct Clip;
struct ResourceStore;
struct Stream;

struct CmdPathNode {
    CmdNode head;
    uint32_t fillMode;  // 1 alternate, 2 winding
    POINT brushOrigin;  // slot 5 returns its address
    BrushEntry* brush;  // or null
    Pen* pen;  // or null
    PathEntry* path;
    Clip* clip;  // or null
    uint8_t mix;  // foreground ROP2
    uint8_t mix2;  // background ROP2
};

int CmdPathRead(ResourceStore* store, Stream* stream, CmdNode** out);
