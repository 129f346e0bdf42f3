// The bitmap source: the 1-bit mask a masked BitBlt or StretchBlt paints through. A masked record
// becomes up to two commands, each with one ROP and its own source: one paints where the mask is
// white (the record's foreground operation), the other where it is black (the background one).
#pragma once

#include <cstdint>

#include "engine/display/source.h"
#include "engine/stretch/blt_bitmap.h"
#include "platform/types.h"

struct BitmapEntry;
struct CmdNode;
struct ResourceStore;

struct SourceBitmap {
    Source head;  // kind SourceKindBitmap
    CmdNode* node;
    // The mask area that maps onto the command's destination: a BitBlt's mask origin and
    // destination size, a StretchBlt's source rectangle.
    int32_t x, y, width, height;
    BitmapEntry* mask;
    uint32_t foreground;  // 1: paints where the mask is white; 0: where it is black
};

// A source over the mask with the given id for a BitBlt or StretchBlt node; null when the mask is
// missing, cannot be read as one bit (run-length or passed-through data), or its area reaches
// outside it (the last error is set). A mask of more bits than one is white where its pixels are.
Source* BitmapSourceCreate(CmdNode* node, ResourceStore* store, uint32_t maskId, uint32_t foreground);
// Another reference to the same mask for the other command of the record, painting on the given side.
Source* SourceBitmapShare(const Source* source, ResourceStore* store, CmdNode* node, uint32_t foreground);
// Loads the mask's pixels; 1 or 0.
int SourceBitmapReady(SourceBitmap* source, ResourceStore* store, BandSurface* surface);
// Draws the mask into 1-bit rows: 1 where the source's command paints, 0 elsewhere. The pixels
// must be ready. rect is the device destination (reversed edges mirror), clips as the stretch
// blit takes them.
void SourceBitmapMaskDraw(const SourceBitmap* source, const BltBitmap* to, RECT* rect, const RECT* clips,
                          int32_t count);
