// The font store: logical GDI fonts (record 38), downloaded bitmap fonts whose glyphs come as
// records (37 with 39 and 40), and downloaded TrueType fonts whose tables come in pieces (42 and
// 43), built in memory and installed privately from there under a generated face name. No font
// ever goes to a file: a process that dies leaves nothing behind in the temporary folder.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/glyph_cache.h"
#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/gdi_text.h"
#include "platform/kernel.h"

struct OutputModuleContext;
struct ResourceBudget;
struct StreamSpill;
struct Stream;
struct BandSurface;

// Font flags (beside the shared RESOURCE_ bits).
inline constexpr uint32_t FONT_GDI = 0x10000;
inline constexpr uint32_t FONT_BITMAP = 0x20000;
inline constexpr uint32_t FONT_HEAD_1 = 0x40000;
inline constexpr uint32_t FONT_HEAD_2 = 0x80000;
inline constexpr uint32_t FONT_OWN_CACHE = 0x400000;
inline constexpr uint32_t FONT_OVERSTRIKE = 0x800000;
inline constexpr uint32_t FONT_HEAD_40 = 0x1000000;
inline constexpr uint32_t FONT_TRUETYPE = 0x2000000;
inline constexpr uint32_t FONT_TRUETYPE_10000 = 0x4000000;
inline constexpr uint32_t FONT_NO_BUILD = 0x8000000;
inline constexpr uint32_t FONT_HAS_GLYF = 0x10000000;
inline constexpr uint32_t FONT_BUILT_CHARGED = 0x20000000;  // builtSize is in the budget's memory

inline constexpr size_t FONT_FACE_NAME_SIZE = 31;  // "QvFt" + 24 characters + NUL, rounded

// A TrueType table tag as the font's big-endian 32-bit word.
constexpr uint32_t FontTableTag(const char (&name)[5])
{
    return uint32_t(uint8_t(name[0])) << 24 | uint32_t(uint8_t(name[1])) << 16 | uint32_t(uint8_t(name[2])) << 8 |
           uint8_t(name[3]);
}

// One table piece of a downloaded TrueType font; its bytes lie in the stream's spill.
struct FontPiece {
    uint32_t offset;
    uint32_t length;
    uint32_t tag;
    uint32_t sequence;
};
static_assert(sizeof(FontPiece) == 16);

struct FontEntry {
    ResourceObject head;
    FontEntry* bucketNext;
    FontEntry* realisedPrev;
    FontEntry* realisedNext;
    uint32_t glyphCount;  // TrueType
    HFONT handle;  // GDI
    GlyphCache* cache;  // bitmap font: its glyphs; GDI font: its own cache when it has one
    LOGFONTA logFont;  // GDI
    ResourceId baseId;  // GDI: the downloaded TrueType font whose face it uses
    FontEntry* base;
    char faceName[FONT_FACE_NAME_SIZE + 1];  // TrueType: generated face name
    uint8_t* built;  // TrueType: the built font, until it is installed
    uint32_t builtSize;  // TrueType: its size in bytes; 0 before the first build
    HANDLE installed;  // TrueType: its private installation from memory
    FontPiece* pieces;
    uint32_t pieceCount;
    uint32_t pieceCapacity;
    uint64_t pieceBytes;  // TrueType: bytes of the pieces the build copies
    int32_t cellHeight;
    int32_t overstrike[2];  // extra width and height
};

using FontRealisedList = ResourceList<FontEntry, &FontEntry::realisedPrev, &FontEntry::realisedNext>;

struct FontStore {
    uint32_t count;
    OutputModuleContext* device;  // answers the overstrike allowance
    StreamSpill* spill;
    FontRealisedList realised;
    ResourceTable<FontEntry> table;
    GlyphSurface surface;  // the scratch surface shared by the glyph caches
    const ResourceBudget* budget;  // the memory limit a built TrueType font must fit; null for none
};

// budget may be null: built fonts are then limited only by their own size limit.
void FontStoreInit(FontStore* store, StreamSpill* spill, OutputModuleContext* device, const ResourceBudget* budget);
void FontStoreDestroy(FontStore* store, ResourceCost* tally);
void FontStoreTrim(FontStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Readers of the font and glyph records. 1 or 0; 0 leaves the store as it was.
int FontDefine(FontStore* store, Stream* stream);  // 37 downloaded font head, 38 logical font, 42 TrueType tables
int GlyphDefine(FontStore* store, Stream* stream);  // 39 and 40 glyphs
int GlyphTableDefine(FontStore* store, Stream* stream);  // 42
int FontDataDefine(FontStore* store, Stream* stream);  // 43: more tables of a type-42 font

// The font with a reference added to it and to its base fonts; null when missing.
FontEntry* FontLookup(FontStore* store, ResourceId id);
// Drops a reference from the font and each base font in turn; at the last one the font is
// unrealised, and with remove it is freed.
void FontRelease(FontStore* store, FontEntry* font, int remove, ResourceCost* tally);
// Creates the GDI font or installs the built TrueType font (its base first). 1 or 0.
// A downloaded TrueType font's built size is charged to the tally's memory at its first
// installation and credited when the font is freed; a font that would take the budget's memory
// past its limit is not built and fails with ERROR_NOT_ENOUGH_MEMORY.
int FontRealize(FontStore* store, FontEntry* font, ResourceCost* tally);
// Writes the downloaded TrueType font's tables as a TrueType font into font->built (the face name
// made when missing), which realising installs and then frees. 1 or 0.
int TrueTypeFontBuild(FontStore* store, FontEntry* font);
// The size of the font that TrueTypeFontBuild would make; false when it would pass the build limit.
bool TrueTypeFontBuiltSize(const FontEntry* font, uint64_t* size);

// Run before a font is realised for drawing into the DC: a GDI font that is not plain (italic,
// turned or bold) and is drawn with unequal x and y scaling gets a glyph cache of its own, filled
// from GDI's outlines, since GDI's own scaled rendering of such fonts cannot be trusted to match
// the page. Adds what realising and drawing would cost (a GDI object, the scratch surface's growth,
// the built size of a downloaded TrueType font, its own or its base's, not yet charged).
void FontDrawPrepare(FontStore* store, FontEntry* font, HDC dc, ResourceCost* cost);
// The font's glyph for the character; a font with a glyph cache of its own fetches a missing one
// from GDI through the scratch surface and keeps it. Null when there is none.
Glyph* GlyphLookup(FontStore* store, FontEntry* font, uint16_t kind, uint16_t code);
