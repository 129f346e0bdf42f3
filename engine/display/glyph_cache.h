// Glyph caches: the glyphs of one font by character code, read from the glyph records of a
// downloaded font (1-bit bitmaps or outlines), kept in 128 buckets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi.h"

struct StreamSpill;
struct Stream;

// Glyph flags.
inline constexpr uint16_t GLYPH_BITMAP = 0x1;
inline constexpr uint16_t GLYPH_OUTLINE = 0x2;
inline constexpr uint16_t GLYPH_DIB = 0x4;
inline constexpr uint16_t GLYPH_DEVICE = 0x8;

// Cache flags.
inline constexpr uint32_t GLYPH_CACHE_OUTLINES = 0x1;
inline constexpr uint32_t GLYPH_CACHE_SCALED = 0x2;
inline constexpr uint32_t GLYPH_CACHE_4 = 0x4;
inline constexpr uint32_t GLYPH_CACHE_OVERSTRIKE = 0x8;
inline constexpr uint32_t GLYPH_CACHE_SIXTEENTHS = 0x10;

// Contour flags of an outline glyph.
inline constexpr uint32_t CONTOUR_MOVE = 0x1;
inline constexpr uint32_t CONTOUR_CUBIC = 0x4;
inline constexpr uint32_t CONTOUR_CLOSE = 0x8;
inline constexpr uint32_t CONTOUR_SIXTEENTHS = 0x20;

inline constexpr uint32_t GLYPH_BUCKETS = 128;

// Glyph record head (types 39 and 40), little-endian offsets.
namespace GlyphRecord {
inline constexpr size_t code = 8, fontId = 12, cellWidth = 16, cellHeight = 20, originX = 24, originY = 28;
}
inline constexpr size_t kGlyphRecordHeadSize = 32;

struct GlyphCache;

struct Glyph {
    Glyph* bucketNext;
    Glyph* listPrev;
    Glyph* listNext;
    GlyphCache* cache;
    uint16_t code;
    uint16_t flags;
    uint16_t kind;            // character kind of a glyph fetched from GDI (0 multibyte, 1 index, 2 wide)
    uint16_t pad;
    int32_t cellWidth, cellHeight;
    int32_t drawnWidth, drawnHeight;
    int32_t originX, originY;
    uint8_t* device;          // {u32 width, u32 height, rows} or null
    uint8_t* dib;             // BITMAPINFOHEADER, two colours, rows; or null
    uint32_t rowsOffset;      // bitmap glyph: where its rows lie in the spill
    uint32_t contourCount;    // outline glyph
    uint8_t* contours;        // outline glyph: {u32 flags, u32 count, count x (i32 x, i32 y)} each
    uint32_t contourBytes;
};

// The scratch surface of a font store: a 1-bit DIB section and two DCs that device bitmaps are
// rendered through.
struct GlyphSurface {
    uint32_t flags;
    int32_t width, height;
    void* bits;
    HBITMAP dib;
    HGDIOBJ replaced;
    HDC draw;
    HDC iso;
};

struct GlyphCache {
    uint32_t flags;
    int32_t largestWidth, largestHeight;
    Glyph* deviceFirst;
    Glyph* deviceLast;
    Glyph* dibFirst;
    Glyph* dibLast;
    SIZE windowExtent, viewportExtent;
    int32_t cellHeight;
    int32_t overstrike[2];
    GlyphSurface* surface;
    StreamSpill* spill;
    Glyph* buckets[GLYPH_BUCKETS];
};

void GlyphCacheInit(GlyphCache* cache, uint32_t flags, int32_t cellHeight, const int32_t overstrike[2],
                    GlyphSurface* surface, StreamSpill* spill);
GlyphCache* GlyphCacheCreate(uint32_t flags, int32_t cellHeight, const int32_t overstrike[2], GlyphSurface* surface,
                             StreamSpill* spill);
// Frees every glyph with its derived memory; returns the bytes freed.
uint32_t GlyphCacheEmpty(GlyphCache* cache);
void GlyphCacheDestroy(GlyphCache* cache);

void GlyphInsert(GlyphCache* cache, Glyph* glyph);
// The newest glyph with the code and kind, or null.
Glyph* GlyphFind(const GlyphCache* cache, uint16_t kind, uint16_t code);
void GlyphFree(Glyph* glyph);

// Reads the contours of an outline glyph record (after the 32-byte head, size bytes) into the
// glyph, checking every count against the record. 1 or 0.
int GlyphOutlineParse(Glyph* glyph, const uint8_t* data, uint32_t size);
// A glyph fetched from the font selected into the DC as a native outline (GetGlyphOutlineW for
// kind 2, GetGlyphOutlineA for 0, glyph index for 1): cubic contours in the DC's pixels, y down.
Glyph* GlyphFetch(HDC dc, uint16_t kind, uint16_t code);
