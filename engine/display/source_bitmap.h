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
// missing, is not a plain 1-bit bitmap, or its area reaches outside it (the last error is set).
Source* BitmapSourceCreate(CmdNode* node, ResourceStore* store, uint32_t maskId, uint32_t foreground);
// Loads the mask's pixels; 1 or 0.
int SourceBitmapReady(SourceBitmap* source, ResourceStore* store, BandSurface* surface);
// Draws the mask into 1-bit rows: 1 where the source's command paints, 0 elsewhere. The pixels
// must be ready. rect is the device destination (reversed edges mirror), clips as the stretch
// blit takes them.
// With add set the marks are added to what the rows hold (an accumulated mask keeps the marks of
// the commands drawn before), else the rows are overwritten.
void SourceBitmapMaskDraw(const SourceBitmap* source, const BltBitmap* to, RECT* rect, const RECT* clips, int32_t count,
                          bool add = false);
// Marks a 1-bit source's 1 bits (or, inverted, its 0 bits) into 1-bit rows through the stretch
// blit, within the clips: copied, or with add set added to the marks already there.
void MaskMarkStretch(const BltBitmap* to, const BltBitmap* from, RECT* rect, const RECT* clips, int32_t count,
                     bool invert, bool add);
