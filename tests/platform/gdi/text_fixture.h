// What the text tests share: a canvas to draw on, FreeType's own monochrome rendering of a run
// of glyphs as the reference, and font files with a family name of their own.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>
#include <vector>

#include "canvas.h"
#include "platform/gdi_text.h"

// A font made from LOGFONT fields and selected into a DC for the life of the object.
struct SelectedFont {
    HDC dc;
    HFONT font;
    HGDIOBJ previous;
    SelectedFont(HDC d, const wchar_t* face, LONG height, LONG weight = 400, bool italic = false, LONG escapement = 0,
                 BYTE pitchAndFamily = 0);
    ~SelectedFont();
    FontRealization Realization() const;
};

LOGFONTW MakeLogFont(const wchar_t* face, LONG height, LONG weight = 400, bool italic = false, LONG escapement = 0,
                     BYTE pitchAndFamily = 0);

// FreeType's rendering of the glyphs of `text` from the baseline origin (x, y), device pixels,
// into a width x height mask (1 = ink): the face at `file`, em `emX` x `emY` pixels (26.6),
// turned by the escapement, slanted and emboldened as asked, glyph origins at the rounded sums of
// the advances.
struct Reference {
    std::string file;
    FT_F26Dot6 emX, emY;
    double escapementTenths = 0;
    bool slant = false;
    bool embolden = false;
};
std::vector<uint8_t> ReferenceMask(const Reference& ref, const std::u16string& text, int x, int y, int width,
                                   int height);

// The em (26.6) that a positive (cell) LOGFONT height gives for a face, by the OS/2 Windows metrics.
FT_F26Dot6 CellHeightToEm(const std::string& file, int cellHeight);

// A copy of an sfnt font file whose name table names the family `family` (style "Regular").
std::vector<uint8_t> RenamedFont(const std::string& file, const std::string& family);
std::vector<uint8_t> ReadFile(const std::string& path);
// The path of a system face by file name (found through a font of that family).
std::string SystemFontFile(const wchar_t* family, LONG weight = 400);

// Text of a mask for failure messages: '#' ink, '.' none, 'x' only in a, 'o' only in b.
std::string MaskDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int width, int height);
