// What the band renderers ask of the Text command beyond its operations: the part of the band its
// characters can mark, so that a text whose bounds are the whole page is masked and painted only
// around its own lines.
#pragma once

#include "engine/display/cmd_node.h"
#include "platform/types.h"

// Narrows `area` (device pixels in the DC's mapping) to where the characters of the text command
// can put ink within the band (logical); false when none can reach it. A text it cannot measure
// (turned, drawn from glyphs of its own, a font not yet made) keeps the area whole.
bool TextInkArea(const CmdNode* node, HDC dc, const RECT* band, RECT* area);
