// Band surfaces: a device-independent bitmap with the two memory DCs that draw into it (a 24-bit
// colour surface or a 1-bit mask surface), the 1-bit rectangle painters, the masked blend of two
// colour surfaces, and the small mapped-DC record of form levels and page placement.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

enum BandSurfaceKind : uint32_t {
    BAND_SURFACE_COLOR = 1,  // 24 bits, cleared to 0xFF (white)
    BAND_SURFACE_MASK = 2,  // 1 bit, palette {0: black, 1: white}, cleared to 0x00
};

struct BandSurface {
    uint32_t kind;  // BandSurfaceKind
    uint32_t bitsPerPixel;  // 24 or 1
    uint32_t width;
    uint32_t height;
    uint32_t stride;  // ((width * bpp + 31) / 32) * 4
    uint32_t bytes;  // stride * rows (rows may exceed height to honour a minimum size)
    uint8_t* bits;  // top row
    HDC drawDC;  // MM_ANISOTROPIC, holds the DIB section
    HBITMAP section;
    HDC secondDC;  // source bitmaps are selected here
    HBITMAP drawDCPreviousBitmap;
    HBITMAP secondDCFirstBitmap;
    HBRUSH firstBrush;
    HPEN firstPen;
    HFONT firstFont;  // null while the DC's own font cannot be read
    float miterLimit;  // at creation; 10 when it cannot be read
    // What drawing selected, each null while nothing of its kind is selected. The stores set
    // them and compare against them to skip a selection that is already made.
    void* selectedBitmap;  // store bitmap selected into the second DC
    void* selectedBrush;
    void* selectedClip;
    void* selectedFont;
    void* selectedOther;  // marked by drawing; nothing to restore
    HPEN selectedPen;  // which of a pen's GDI pens is selected
    uint8_t miterLimitChanged;
    uint8_t keepBusy;  // the scratch rows hold a command's set-aside marks
    uint32_t keepBytes;
    uint8_t* keepRows;  // scratch rows of an accumulating mask (CmdMaskKeep), grown on need
};
static_assert(sizeof(BandSurface) == 168);
static_assert(offsetof(BandSurface, stride) == 16);
static_assert(offsetof(BandSurface, bits) == 24);
static_assert(offsetof(BandSurface, drawDC) == 32);
static_assert(offsetof(BandSurface, secondDC) == 48);
static_assert(offsetof(BandSurface, miterLimit) == 96);
static_assert(offsetof(BandSurface, selectedBitmap) == 104);
static_assert(offsetof(BandSurface, selectedPen) == 144);
static_assert(offsetof(BandSurface, miterLimitChanged) == 152);

// A window/viewport mapping (all i32).
struct DcMap {
    POINT windowOrigin;
    SIZE windowExtent;
    POINT viewportOrigin;
    SIZE viewportExtent;
};
static_assert(sizeof(DcMap) == 32);

// A memory DC with its mapping (form levels, page placement).
struct DcMapping {
    DcMap map;
    HDC dc;  // or null
};
static_assert(sizeof(DcMapping) == 40);
static_assert(offsetof(DcMapping, dc) == 32);

// kind, size, an optional file mapping with the offset of the bits in it, and the least number of
// bytes the bits must span (so one surface serves bands of several heights). Null on failure,
// with nothing left allocated and the system's last error set.
BandSurface* BandSurfaceCreate(uint32_t kind, SIZE size, HANDLE mapping, DWORD offset, uint32_t minimumBytes);
// Puts back every object drawing left selected, then frees the DCs, the section and the record.
void BandSurfaceDestroy(BandSurface* surface);
// Sets the first h rows, w pixels wide (whole 32-bit words), to the kind's clear value.
void BandSurfaceClear(BandSurface* surface, SIZE size);

// 1-bit painters. Right and bottom are exclusive; rectangles are clipped to the surface.
void BandMaskRectInvert(BandSurface* surface, const RECT* rect);
void BandMaskRectsInvertEach(BandSurface* surface, uint32_t count, const RECT* rects);
void BandMaskRectsInvert(BandSurface* surface, uint32_t count, const RECT* rects);
void BandMaskRectsSet(BandSurface* surface, uint32_t count, const RECT* rects);

// Where the mask's bit is set, destination = (source * a + destination * (255 - a) + 127) / 255
// per byte, over w x h pixels (cut to the three surfaces).
void BandSurfaceBlend(BandSurface* destination, const BandSurface* mask, const BandSurface* source, SIZE size,
                      uint8_t alpha);
void BandSurfaceBlendMasked(BandSurface* destination, const BandSurface* mask, const BandSurface* source,
                            uint32_t width, uint32_t height, uint8_t alpha);

// Puts back what drawing changed in the surface's DCs, in a fixed order, and clears the marks.
void BandSurfaceResetDC(BandSurface* surface);
void BandSurfaceResetDCAfterClip(BandSurface* surface);
void BandSurfaceResetDCBeforeClip(BandSurface* surface, const RECT* ignored);

// With createDC a new MM_ANISOTROPIC memory DC (false when it cannot be made); the mapping (or all
// zeros) is copied into the record and applied to its DC when it has one.
bool DcCreateMapped(DcMapping* record, bool createDC, const DcMap* map);
void DcMappingSet(const DcMap* map, DcMapping* record);
void DcDelete(DcMapping* record);
