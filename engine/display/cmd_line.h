// The Line command kind's constructor, which the Rect outline splitter also calls.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "engine/display/resource_object.h"
#include "platform/types.h"

struct ResourceStore;

// A straight line from one point to the other with a pen, an optional clip and a mix; null when
// a resource is missing or memory is short, with every reference taken released.
CmdNode* LineCreate(ResourceStore* store, const POINT* from, const POINT* to, ResourceId pen, ResourceId clip,
                    uint8_t mix);
