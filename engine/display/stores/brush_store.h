// The brush store: brushes defined by type-32 records (patterns over a bitmap of the bitmap
// store), solid brushes made on demand from colour ids, three built-in brushes and the brushes the
// optimiser derives; realised as GDI brushes and selected into band surfaces under the job's budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/types.h"

struct OutputModuleContext;
struct BitmapStore;
struct BitmapEntry;
struct Stream;
struct BandSurface;

// Brush record (type 32, 16 bytes): header, brush id, id of the pattern bitmap.
inline constexpr uint32_t kBrushRecordSize = 16;
namespace BrushRecord {
inline constexpr uint32_t id = 8, bitmap = 12;
}

// BrushEntry flags beyond the shared ones.
inline constexpr uint32_t BRUSH_STOCK = 0x4;  // a GDI stock object: not counted, never trimmed
inline constexpr uint32_t BRUSH_STATIC = 0x8;  // built in, never freed
inline constexpr uint32_t BRUSH_SOLID = 0x10000;  // a solid colour
inline constexpr uint32_t BRUSH_COMPANION = 0x20000;  // another brush's companion (serves as a mask)
inline constexpr uint32_t BRUSH_BUILTIN_FLAGS = 0x1001C;

// The colour the mask pens and companions draw with.
inline constexpr COLORREF BRUSH_MASK_COLOR = 0xFFFFFF;

struct BrushEntry {
    ResourceObject head;
    BrushEntry* bucketNext;
    BrushEntry* realisedPrev;  // oldest first
    BrushEntry* realisedNext;
    HBRUSH handle;
    BrushEntry* companion;  // a brush this one holds a reference to, or null
    COLORREF colour;  // a solid brush
    BitmapEntry* bitmap;  // a pattern brush
    HDC selectedDC;  // the DC it was last selected into, so a release can take it out
};

struct BrushStore {
    uint32_t count;  // entries, the three built-ins included
    uint32_t nextId;  // generated ids count down from 0x7FFFFFFF
    OutputModuleContext* device;
    uint32_t scaleEnabled;  // the device asked for brush scaling
    uint32_t scaleDpi;  // the device's brush resolution
    BitmapStore* bitmaps;
    ResourceList<BrushEntry, &BrushEntry::realisedPrev, &BrushEntry::realisedNext> realised;
    ResourceTable<BrushEntry> table;
    BrushEntry empty;  // id 0
    BrushEntry black;  // 0x80000000
    BrushEntry white;  // 0x80FFFFFF
};

void BrushStoreInit(BrushStore* store, BitmapStore* bitmaps, OutputModuleContext* device);
void BrushStoreDestroy(BrushStore* store, ResourceCost* tally);
void BrushStoreTrim(BrushStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-32 record at the stream. 1 or 0; 0 leaves the store as it was.
int BrushDefine(BrushStore* store, Stream* stream);
// The brush with its reference count raised; a colour id not yet in the store makes a solid brush.
BrushEntry* BrushLookup(BrushStore* store, ResourceId id);
// A pattern brush under the given id (null when the id exists) or a generated one (0xFFFFFFFF).
BrushEntry* BrushFromBitmapCreate(BrushStore* store, ResourceId id, ResourceId bitmapId);
// A solid brush whose companion is the base brush (which gains a reference and BRUSH_COMPANION).
BrushEntry* BrushSolidCreate(BrushStore* store, ResourceId id, COLORREF colour, BrushEntry* base);
int BrushEqual(const BrushEntry* a, const BrushEntry* b);
void BrushRelease(BrushStore* store, BrushEntry* brush, int remove, ResourceCost* tally);
// The colour class bits of a COLORREF.
uint32_t BrushColorClass(COLORREF colour);
inline bool BrushIsSolid(const BrushEntry* brush) { return brush != nullptr && (brush->head.flags & BRUSH_SOLID) != 0; }
// The brush serves as a mask or has a companion that does.
inline bool BrushHasMask(const BrushEntry* brush)
{
    return brush != nullptr && ((brush->head.flags & BRUSH_COMPANION) != 0 || brush->companion != nullptr);
}

// The size a pattern of width x height is realised at on the surface's DC (null: no DC factor),
// with the device's brush scaling.
SIZE BrushPatternSize(const BrushStore* store, SIZE bitmap, HDC dc);

// Behind BrushSelect and BrushCompanionSelect.
void BrushEstimate(BrushStore* store, BrushEntry* brush, BandSurface* surface, ResourceCost* cost);
int BrushRealize(BrushStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface, ResourceCost* tally);
void BrushCompanionEstimate(BrushStore* store, void* object, BandSurface* surface, ResourceCost* cost);
int BrushCompanionRealize(BrushStore* store, void* object, const POINT* origin, BandSurface* surface,
                          ResourceCost* tally);
// For pens that paint with a pattern brush: size the pattern's bitmap and estimate or load its
// pixels. Nothing for a solid brush: the estimate then answers 1 (nothing to do), the load 1.
int BrushPatternEstimate(BrushStore* store, BrushEntry* brush, void* argument, BandSurface* surface,
                         ResourceCost* cost);
int BrushPatternLoad(BrushStore* store, BrushEntry* brush, void* argument, BandSurface* surface, ResourceCost* tally);

// The DC's brush origin: the origin (logical; (0, 0) without one) mapped to device pixels.
void BrushOriginSet(BandSurface* surface, const POINT* origin);
void BrushSurfaceSelect(BandSurface* surface, BrushEntry* brush, HBRUSH handle, const POINT* origin);
