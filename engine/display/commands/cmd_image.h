// What the image commands share: the node of BitBlt and StretchBlt, the release of a bitmap
// reference through the budget, bitmaps made ready for drawing, and the descriptor the stretch
// blit reads a bitmap's decoded pixels through.
#pragma once

#include <cstdint>

#include "engine/display/cmd_node.h"
#include "engine/stretch/blt_bitmap.h"
#include "platform/types.h"

struct ResourceStore;
struct OutputModuleContext;
struct ImxImageFormat;
struct BitmapEntry;
struct BrushEntry;
struct Clip;
struct Source;
struct Stream;
struct BandSurface;

// BitBlt (op 6) and StretchBlt (op 8). A BitBlt's source size is its destination size. Widths
// and heights are as recorded: negative when the record mirrors that axis.
struct CmdImageNode {
    CmdNode head;
    int32_t x, y, width, height;
    int32_t srcX, srcY, srcWidth, srcHeight;
    POINT maskOrigin;
    POINT brushOrigin;
    uint32_t rop;  // RopWord
    uint8_t extra;  // StretchBlt's byte 90
    Clip* clip;
    BrushEntry* brush;
    BitmapEntry* bitmap;
    Source* source;
};

// Null does nothing; the pointer is cleared.
void CmdBitmapRelease(ResourceStore* store, BitmapEntry** bitmap);
// Loads the decoded pixels under the budget; 1 or 0.
int CmdBitmapPixelsReady(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface);
// Makes the GDI bitmap and selects it into the surface's second DC; 1 or 0.
int CmdBitmapRealise(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface);
// The decoded pixels as the stretch blit reads them: row 0 the top row, origin at (x, y).
BltBitmap CmdBitmapBlt(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, bool palette);
// 1 when the source area lies inside the bitmap's current size: the stretch blit reads no pixel
// outside it, so a command whose source reaches out is cut to the part whose source lies inside
// (a plain copy leaves the page under the rest, as GDI does).
bool CmdSourceInside(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height);
// The rectangles a command's shape is drawn within in the band mask: the clip's rectangles inside
// the area, or the area alone without a clip. Answers their count (0: nothing to draw); *rects is
// the caller's to free, and null when the area is the one rectangle.
int32_t CmdMaskClips(ResourceStore* store, Clip* clip, BandSurface* mask, const RECT* area, RECT** rects);
// The part of a device rectangle (reversed edges mirror) whose pixels the stretch blit takes from
// inside the bitmap, when it scales the source area (x, y, width, height) onto it: device pixel i
// from the rectangle's first edge takes source column x + floor(i * width / extent), and likewise
// for rows. False when no pixel does.
bool CmdSourceVisible(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                      const RECT& device, RECT* visible);
// An accumulating band mask keeps the marks earlier commands made in it. A shape drawn by copying
// writes its 0s as well, so the rows of its area are set aside and cleared before it is drawn and
// ORed back after. Without accumulate nothing is set aside.
struct CmdMaskKeep {
    BandSurface* mask;
    uint8_t* saved;
    uint32_t first, rows;
};
// false when the rows cannot be set aside (nothing is to be drawn then).
bool CmdMaskKeepBegin(CmdMaskKeep* keep, BandSurface* mask, const RECT* area, int accumulate);
void CmdMaskKeepEnd(CmdMaskKeep* keep);
// The band surface as a stretch blit destination.
BltBitmap CmdSurfaceBlt(const BandSurface* surface);
// A DIB source rectangle's y measured from the DIB's lower-left corner when it is bottom-up.
int32_t CmdDibSourceY(const BitmapEntry* bitmap, int32_t y, int32_t height);
// r narrowed to the clip's bounds (unchanged without a clip; empty when they miss).
RECT CmdClipBoundsApply(const RECT& r, const Clip* clip);
// Replaces *slot by a reference to the clip with the given clip's id and narrows the node's
// bounds to it; 1 or 0 (no such clip).
int CmdClipReplace(CmdNode* node, ResourceStore* store, Clip** slot, Clip* clip);
// Destination and source rectangles of a record, as x, y, width and height each.
struct CmdImageArea {
    int32_t x, y, width, height;
    int32_t srcX, srcY, srcWidth, srcHeight;
};
CmdImageArea CmdImageAreaRead(const uint8_t* destination, const uint8_t* source);
// Where a record of one bitmap and one clip (AlphaBlend, TransparentBlt) keeps its rectangles and ids.
struct CmdBitmapRecordLayout {
    uint32_t destination, source, bitmap, clip;
};
// Reads such a record's rectangles into *area, looks up its bitmap (which must exist) and its clip
// (id 0: none), and sets the node's bounds to the destination cut to the clip. 0, with
// ERROR_INVALID_DATA, when either is missing; what was found is left in *bitmap and *clip for the
// caller's destroy to release.
int CmdBitmapRecordResolve(ResourceStore* store, const uint8_t* raw, const CmdBitmapRecordLayout& at, CmdNode* node,
                           CmdImageArea* area, BitmapEntry** bitmap, Clip** clip);
// to - from of two record coordinates, wrapping in 32 bits.
int32_t CmdExtent(LONG from, LONG to);
// The record's rectangle at offset in raw.
RECT CmdRecordRect(const uint8_t* raw);

// CMD_COLOR_DIRECT for a kind whose CmdRenderDirect is filled; otherwise its pixels come from
// CmdDrawRestore, so that the band loop never takes an image from an empty operation.
int CmdColorDirect(const CmdNode* node);

// The row of BitBlt and StretchBlt, which differ only by their reader.
struct CmdOpRow;
typedef int (*CmdReadFn)(ResourceStore* store, Stream* stream, CmdNode** out);
CmdOpRow CmdImageRow(CmdReadFn read);
// Fills the slots that read the bitmap, ROP and rectangles of a node laid out as CmdImageNode
// (BitBlt, StretchBlt and CopyBits): destination and source as recorded (x, y, x + width, y + height).
void CmdImageRowGetters(CmdOpRow* row);
// The shared operations of BitBlt and StretchBlt.
int CmdImageRead(ResourceStore* store, Stream* stream, CmdNode** out, bool stretch);
void CmdImageDestroy(CmdNode* node, ResourceStore* store);
CmdNode* CmdImageClone(const CmdNode* node, ResourceStore* store);
int CmdImageClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip);
int CmdImageRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                       const RECT* clear, int accumulate);
int CmdImageDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void*);
int CmdImageDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area,
                        const SIZE* extent);
// The converted copy stretched straight into a caller's buffer; the argument is the band surface
// whose DC maps the command to the buffer. 0 when it cannot (the band then draws the command).
int CmdImageRenderDirect(CmdNode* node, ResourceStore* store, OutputModuleContext* output, void* argument,
                         const ImxImageFormat* format, uint32_t stride, uint8_t* buffer, uint8_t* colour,
                         const RECT* rect);
// The caller's buffer of a CmdRenderDirect: its format, stride and pixels, the colour byte, and
// the rectangle of the buffer that is written.
struct CmdDirectTarget {
    const ImxImageFormat* format;
    uint32_t stride;
    uint8_t* buffer;
    uint8_t* colour;
    const RECT* rect;
};
// The bitmap's copy converted to the target's format, stretched from the area's source rectangle
// onto the device rectangle within the clip (device coordinates of the buffer); 0 when the source
// reaches outside the bitmap or the copy cannot be made.
int CmdConvertedStretch(ResourceStore* store, BandSurface* surface, BitmapEntry* bitmap, const CmdImageArea& area,
                        RECT* destination, const RECT* clip, const CmdDirectTarget& target);
int CmdImageColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag);
int CmdImageEqual(const CmdNode* a, const CmdNode* b);
// Slot CmdBrushSet: a reference to the brush with the given one's id (none for null), the brush
// origin, and the colour flags of brush and bitmap; 0 when the brush is gone.
int CmdImageBrushSet(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush);
// Slot CmdSourceSet: the old source is released through its owner store, the new one is held.
void CmdImageSourceSet(CmdNode* node, Source* source);
