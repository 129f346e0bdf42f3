// Characters of a Text command given to GDI: as runs of characters on one baseline, each run in
// one ExtTextOutW call whose advances are the differences of the characters' positions, where
// that puts every pixel where a call per character would; else one call per character.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/types.h"

// A character to draw: its logical baseline origin and its code (a glyph index or a character).
struct TextChar {
    int32_t x, y;
    WCHAR code;
};

// Whether a run drawn in the DC with this font places each of its characters as a call of its
// own would: the baseline is not turned, and the DC maps logical x to device x by a whole positive
// number of pixels per unit, so that each offset along the run maps exactly.
bool TextRunsExact(HDC dc, LONG escapement, LONG orientation);

// Draws the characters in order with ExtTextOutW (ETO_GLYPH_INDEX when `glyphIndices`): runs of
// neighbours on one baseline when `runs`, each character alone otherwise and where a run cannot
// hold it. `advances` is scratch space kept between calls. Throws std::bad_alloc when memory runs
// out, GDI's own included; the render call ends the job for it.
void TextCharsOut(HDC dc, const std::vector<TextChar>& chars, bool glyphIndices, bool runs, std::vector<INT>& advances);
