// Glyph caches: the glyphs of one font by character code, read from the glyph records of a
// downloaded font (1-bit bitmaps or outlines), kept in 128 buckets.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/gdi.h"

struct StreamSpill;
struct Stream;
struct OutputModuleContext;
struct ResourceCost;

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
    uint16_t kind;  // character kind of a glyph fetched from GDI (0 multibyte, 1 index, 2 wide)
    uint16_t pad;
    int32_t cellWidth, cellHeight;
    int32_t drawnWidth, drawnHeight;
    int32_t originX, originY;
    uint8_t* device;  // {u32 width, u32 height, rows} or null
    uint8_t* dib;  // BITMAPINFOHEADER, two colours, rows; or null
    uint32_t rowsOffset;  // bitmap glyph: where its rows lie in the spill
    uint32_t contourCount;  // outline glyph
    uint8_t* contours;  // outline glyph: {u32 flags, u32 count, count x (i32 x, i32 y)} each
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
    const OutputModuleContext* device;  // answers the overstrike allowance; null: none
    Glyph* buckets[GLYPH_BUCKETS];
};

// GlyphDraw modes.
inline constexpr uint32_t GLYPH_DRAW_STROKE = 0x1;  // stroke an outline with the pen instead of filling it
inline constexpr uint32_t GLYPH_DRAW_OR = 0x2;  // a bitmap glyph ORed (0xEE) instead of brushed (0xE2)

inline constexpr uint32_t GLYPH_SURFACE_LOCKED = 0x2;

void GlyphCacheInit(GlyphCache* cache, uint32_t flags, int32_t cellHeight, const int32_t overstrike[2],
                    GlyphSurface* surface, StreamSpill* spill);
GlyphCache* GlyphCacheCreate(uint32_t flags, int32_t cellHeight, const int32_t overstrike[2], GlyphSurface* surface,
                             StreamSpill* spill);
// Frees every glyph with its derived memory (DIBs and device bitmaps); returns the bytes freed.
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

// ---- Drawing and derived memory ----

// Draws the glyph with its cell's top-left at position (the DC's logical units): a bitmap glyph
// from its DIB, an outline as one path, repeated one device pixel apart for an overstrike cache.
// A glyph whose device bitmap was made for the DC's present scale is drawn from it, 1:1 in device
// pixels. Draws nothing for an empty cell or a bitmap glyph without its DIB.
void GlyphDraw(Glyph* glyph, HDC dc, POINT position, uint32_t mode);

// Bytes a glyph's DIB and device bitmap hold.
uint32_t GlyphDibBytes(const Glyph* glyph);
uint32_t GlyphDeviceBytes(const Glyph* glyph);
// The glyph's cell at the device size of the cache's last preparation, widened by the overstrike.
SIZE GlyphDeviceSize(const GlyphCache* cache, int32_t width, int32_t height);
// True when the cache draws its glyphs from device bitmaps (it holds outlines or the DC scales).
bool GlyphCacheUsesDevice(const GlyphCache* cache);

// The DIB of a bitmap glyph, read back from the spill (nothing for an outline or a glyph that has
// one). Bytes into tally->memory. 1 or 0.
int GlyphDibMake(Glyph* glyph, ResourceCost* tally);
// The glyph rendered once at device size through the scratch surface. 1 or 0.
int GlyphDeviceMake(Glyph* glyph, ResourceCost* tally);
// What drawing the glyph would add: its DIB, its device bitmap, the scratch surface's growth.
// Non-zero when nothing is needed.
int GlyphEstimate(const Glyph* glyph, ResourceCost* cost);
// Makes what drawing the glyph needs (GlyphDibMake, and GlyphDeviceMake for a device cache).
int GlyphRealise(Glyph* glyph, ResourceCost* tally);

// Prepares the cache for a DC: a change of the DC's extents drops every device bitmap; the scaled
// flag follows the DC; a device cache makes sure the scratch surface holds its largest cell.
// 1, or 0 when the scratch surface cannot be made.
int GlyphCachePrepare(GlyphCache* cache, HDC dc, ResourceCost* tally);
// Mode 0 frees DIBs, mode 1 device bitmaps, while request->memory is positive.
void GlyphCacheTrim(GlyphCache* cache, uint32_t mode, ResourceCost* request);

// The scratch surface: made to hold the cache's largest cell at the DC's device size; it only
// grows. Release puts everything back unless it is locked.
int GlyphSurfaceEnsure(GlyphSurface* surface, const GlyphCache* cache, HDC dc, ResourceCost* tally);
void GlyphSurfaceEstimate(const GlyphSurface* surface, const GlyphCache* cache, HDC dc, ResourceCost* cost);
void GlyphSurfaceRelease(GlyphSurface* surface, ResourceCost* tally);
