// What command nodes do with the resources they hold: drop a reference through the budget (so
// that what a last release frees is credited), mark resources in use while drawing, and the colour
// flags a node takes from them.
#pragma once

#include <cstdint>

struct ResourceStore;
struct BrushEntry;
struct Pen;
struct Clip;

// Null does nothing; the pointer is cleared.
void CmdBrushRelease(ResourceStore* store, BrushEntry** brush);
void CmdPenRelease(ResourceStore* store, Pen** pen);
void CmdClipRelease(ResourceStore* store, Clip** clip);
// The node's colour flags from the colour classes of the resources it paints with (0 for absent
// ones): colour when any is colour, else grey when any is grey, else black and white.
uint16_t CmdColorFlags(uint32_t classes);
