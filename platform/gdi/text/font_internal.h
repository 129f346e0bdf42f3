// The records behind fonts, shared by the text files of platform/gdi/text/: the process's font list
// (font_list.cpp), logical fonts realised at a DC's size (font.cpp), and the glyph loader that
// drawing, measuring and outlines share.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include <freetype/ftoutln.h>
#include <freetype/ftsnames.h>
#include <freetype/ftsynth.h>
#include <freetype/tttables.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "../gdi_internal.h"
#include "platform/gdi_text.h"

namespace gdi {

// Where a face's bytes are: a system file, or private bytes kept alive by every face opened on them.
struct FaceSource {
    std::string file;  // system face
    std::shared_ptr<const std::vector<uint8_t>> bytes;  // private face
    long index = 0;
    std::string family;  // UTF-8
};

// ---- The process's font list (font_list.cpp) ----
// Every FreeType library call that creates or destroys a face runs under this lock.
std::mutex& FontListLock();
FT_Library FontLibrary();  // call under FontListLock; null when FreeType cannot start
// The face for a LOGFONT's face name, weight and italic (matching rules in gdi_text.h); false and
// ERROR_FILE_NOT_FOUND when none. Takes the lock itself.
bool FontListMatch(const std::u16string& faceName, int weight, bool italic, BYTE pitchAndFamily, FaceSource& out);
// Opens a face of a source; call under FontListLock.
FT_Face FaceOpen(const FaceSource& source);
// A face for a new font: a system file's face that no font holds any more when one is kept,
// else a new one; and the face of a font that goes, kept for the next font of its file (the
// longest unused one is closed past a few). Both under FontListLock. A job makes its fonts anew
// for every page: the file is parsed once, not once a page.
FT_Face FaceTake(const FaceSource& source);
void FaceGive(const FaceSource& source, FT_Face face);

// ---- Logical fonts (font.cpp) ----
struct Font : Object {
    LOGFONTW log{};
    FaceSource source;
    FT_Face face = nullptr;
    int faceWeight = 400;
    bool embolden = false;
    bool slant = false;
    std::mutex lock;  // FreeType faces serve one thread at a time
    FT_F26Dot6 sizedX = 0, sizedY = 0;  // the char size last set
    uint32_t glyphFace = 0;  // the face's number in the glyph cache
    Font() : Object(Kind::Font) {}
    ~Font();
};

// The font selected into a DC (its default font when none).
Font* DcFont(const Dc& dc);
// The font of a DC held for a call; null (with the last error) when either is missing.
Font* DcAndFont(const DcCall& dc);

// A font at the size one DC asks for; made under the font's lock, which it holds.
struct FontScale {
    double xScale = 1, yScale = 1;  // device pixels per logical unit
    double ascent = 0, descent = 0;  // device pixels (rounded)
    double em = 0;  // device pixels, y
    double cos = 1, sin = 0;  // escapement
};
class SizedFont {
public:
    // Locks the font and sets its size and transform for the DC; ok() false (with the last error)
    // when the size is out of range or FreeType refuses it.
    SizedFont(Font& font, const Dc& dc, const FT_Matrix* extra = nullptr);
    bool ok() const { return ok_; }
    const FontScale& scale() const { return scale_; }
    Font& font() { return font_; }
    // Loads a glyph (character code unless glyphIndex) with the synthesis applied; false when
    // FreeType fails on it.
    bool Load(uint32_t code, bool glyphIndex, bool hinted = true);
    FT_GlyphSlot slot() const { return font_.face->glyph; }
    const FT_Matrix& matrix() const { return matrix_; }  // the transform set on the face

private:
    Font& font_;
    std::lock_guard<std::mutex> guard_;
    FontScale scale_;
    FT_Matrix matrix_{};
    bool ok_ = false;
};

// The glyph index of a character: the Unicode charmap, else the symbol charmap (code and
// 0xF000 | code); 0 when the face lacks it.
FT_UInt GlyphIndexOf(FT_Face face, uint32_t code);

// A character that draws nothing (the second half of a surrogate pair).
constexpr FT_UInt kNoGlyph = ~FT_UInt{0};

// Device-pixel advances (26.6, turned by the escapement, y downwards) of a run of characters.
struct TextRun {
    std::vector<FT_UInt> glyphs;
    std::vector<FT_Vector> origins;  // of each glyph from the first's, 26.6 device
    FT_Vector advance{0, 0};  // of the whole run
};
bool TextRunLayout(SizedFont& sized, const WCHAR* text, size_t count, bool glyphIndices, const INT* dx, TextRun& run);

// UTF-8 (or glyph-index bytes) to the UTF-16 the wide entry points take.
std::u16string NarrowTextToWide(LPCSTR text, size_t count, bool glyphIndices);

}  // namespace gdi
