// The pen store: pens defined by type-33 records and made on demand from colour ids, each drawing
// with a brush of the brush store, realised as up to two GDI pens (the colour pen and the white
// mask pen) under the job's budget, with a minimum width from the device's pen scale.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/types.h"

struct OutputModuleContext;
struct BrushStore;
struct BrushEntry;
struct Stream;
struct BandSurface;

// Pen record (type 33): 32 bytes, then dash count u32 lengths (none with a built-in pattern).
inline constexpr uint32_t kPenRecordSize = 32;
namespace PenRecord {
inline constexpr uint32_t id = 8, style = 12, width = 16, miterLimit = 20, brush = 24, dashCount = 28;
}
// Record style flags.
inline constexpr uint32_t PEN_RECORD_GEOMETRIC = 0x1;
inline constexpr uint32_t PEN_RECORD_BUILTIN_DASHES = 0x2;

// Pen flags beyond the shared ones.
inline constexpr uint32_t PEN_COLOR_PEN = 0x1;  // RESOURCE_REALISED
inline constexpr uint32_t PEN_NULL = 0x4;
inline constexpr uint32_t PEN_MASK_PEN = 0x100;
inline constexpr uint32_t PEN_THIN = 0x10000;

struct Pen {
    ResourceObject head;
    Pen* bucketNext;
    Pen* realisedPrev;  // oldest first
    Pen* realisedNext;
    BrushEntry* brush;  // with a reference
    HPEN colourPen;
    HPEN maskPen;
    uint32_t style;  // GDI pen style
    uint32_t width;
    uint32_t miterLimit;
    uint32_t dashCount;
    uint32_t* dashes;  // dashCount lengths, kept behind the record
    HDC selectedDC;  // the DC it was last selected into, so a release can take it out
};

struct PenStore {
    uint32_t count;
    uint32_t minimumWidth;  // at least 1
    OutputModuleContext* device;
    ResourceList<Pen, &Pen::realisedPrev, &Pen::realisedNext> realised;
    BrushStore* brushes;
    ResourceTable<Pen> table;
};

void PenStoreInit(PenStore* store, BrushStore* brushes, OutputModuleContext* device);
void PenStoreDestroy(PenStore* store, ResourceCost* tally);
void PenStoreTrim(PenStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-33 record at the stream. 1 or 0; 0 leaves the store as it was.
int PenDefine(PenStore* store, Stream* stream, uint8_t deviceByte);
// A pen with a reference; id 0 and colour ids make a pen when absent; other absent ids give null.
Pen* PenLookup(PenStore* store, ResourceId id, uint8_t deviceByte);
int PenEqual(const Pen* a, const Pen* b);
void PenRelease(PenStore* store, Pen* pen, int remove, ResourceCost* tally);

// A pen that StyledPolyline draws: dashes of its own on a cosmetic style.
bool PenIsDashed(const Pen* pen);
// Not the null pen.
inline bool PenIsReal(const Pen* pen) { return pen != nullptr && pen->head.id != RESOURCE_ID_NONE; }

// The budget's callbacks (ResourcePrepare): the colour pen and the mask pen.
void PenCostEstimate(void* store, void* pen, BandSurface* surface, ResourceCost* cost);
void PenMaskCostEstimate(void* store, void* pen, BandSurface* surface, ResourceCost* cost);
int PenRealize(void* store, void* pen, BandSurface* surface, ResourceCost* tally);
int PenMaskRealize(void* store, void* pen, BandSurface* surface, ResourceCost* tally);
void PenUnrealize(PenStore* store, Pen* pen, BandSurface* surface, ResourceCost* tally);
