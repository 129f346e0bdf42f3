// The display list optimiser: before a page is banded, the list of every form level is rewritten
// once into fewer and simpler commands that draw the same picture (thin rectangles marked, runs of
// abutting copies joined, white fills under the page dropped, raster-operation sandwiches made
// into masked copies, and commands that read what lies under them gathered into Complex commands).
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"

struct FormLevel;
struct BandIterator;

// Optimises each level's list in order; 0 at the first that fails, 1 when all succeed.
int FormLevelsOptimize(FormLevel* levels, uint32_t count, const BandIterator* iterator);
// 1, or 0 when memory ran short (the list is then valid but partly rewritten). A list already
// optimised is left alone. Only the band direction of the iterator is read (null counts as 0).
int CmdListOptimize(CmdList* list, uint32_t level, const BandIterator* iterator);
