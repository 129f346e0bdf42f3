// The resources of one page or form: six typed stores charged to the job's budget, the in-use
// marks of the command being drawn, the trim that frees unused objects of every store of the job,
// and the prepare-and-charge operations every drawing command makes its resources ready with.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/font_store.h"
#include "engine/display/stores/path_store.h"
#include "engine/display/stores/pen_store.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/display/stores/resource_object.h"
#include "platform/types.h"

struct Stream;
struct StreamSpill;
struct BandSurface;

struct ResourceStore {
    ResourceStore* next;  // neighbours in the budget's list
    ResourceStore* prev;
    ResourceBudget* budget;
    StreamSpill* spill;  // bitmap and font data parked by offset; null without a stream
    uint8_t deviceByte;  // handed to the pen and brush lookups
    BitmapStore bitmaps;
    BrushStore brushes;
    ClipStore clips;
    FontStore fonts;
    PathStore paths;
    PenStore pens;
};

// Null when memory is short or the stream's spill cannot be made; nothing is left allocated.
ResourceStore* ResourceStoreCreate(ResourceBudget* budget, Stream* stream);
// Destroys the six stores (their GDI objects credited to the budget), unlinks and frees the store.
void ResourceStoreDestroy(ResourceStore* store);

// Marks an object in use by the command being drawn (bits 0x2, 0x400 or 0x800) and remembers it
// in the budget's marked list. Null does nothing. A ninth object of one command is still marked
// but not remembered: it stays marked, so no trim frees it while it may be selected; the worst
// that costs is memory held until its store is destroyed.
void ResourceUseMark(ResourceStore* store, ResourceObject* object, uint32_t bits);
// enumerate fills the array (of RESOURCE_MARKS_MAX) with the objects the given one depends on and
// returns their number; each gets the bits.
typedef uint32_t (*ResourceEnumerateFn)(void* argument, ResourceObject* object, ResourceObject** array, uint32_t bits);
void ResourceUseMarkAll(ResourceStore* store, ResourceObject* object, void* argument, uint32_t bits,
                        ResourceEnumerateFn enumerate);
// Clears the marks of every marked object and empties the list. Every drawing command calls it
// when it has finished drawing, on its failure paths too.
void ResourceUseClear(ResourceStore* store);

// Calls release(owner, object, argument, tally) with a zeroed tally and charges the tally.
typedef void (*ResourceReleaseFn)(void* owner, void* object, int argument, ResourceCost* tally);
void ResourceReleaseAccount(ResourceStore* store, void* object, int argument, void* owner, ResourceReleaseFn release);

// Frees unmarked objects of every store of the job, in up to three passes, when the request
// would reach a limit; the use counters go down by what was freed.
void ResourceStoreTrim(ResourceBudget* budget, BandSurface* surface, ResourceCost* request);

// Prepare and charge: estimate the cost, trim for it, make the resource ready, charge the tally.
typedef void (*ResourceEstimateFn)(void* owner, void* object, BandSurface* surface, ResourceCost* cost);
typedef int (*ResourceRealiseFn)(void* owner, void* object, BandSurface* surface, ResourceCost* tally);
int ResourcePrepare(ResourceStore* store, void* object, BandSurface* surface, void* owner, ResourceEstimateFn estimate,
                    ResourceRealiseFn realise);

// The estimate answers non-zero when nothing needs doing; that answer is returned.
typedef int (*ResourceEstimateWithFn)(void* owner, void* object, void* argument, BandSurface* surface,
                                      ResourceCost* cost);
typedef int (*ResourceRealiseWithFn)(void* owner, void* object, void* argument, BandSurface* surface,
                                     ResourceCost* tally);
int ResourcePrepareWith(ResourceStore* store, void* object, void* owner, BandSurface* surface, void* argument,
                        ResourceEstimateWithFn estimate, ResourceRealiseWithFn realise);

typedef int (*GlyphEstimateFn)(void* font, void* glyph, BandSurface* surface, ResourceCost* cost);
typedef int (*GlyphRealiseFn)(void* font, void* glyph, BandSurface* surface, ResourceCost* tally);
void GlyphPrepare(ResourceStore* store, void* font, void* glyph, BandSurface* surface, GlyphEstimateFn estimate,
                  GlyphRealiseFn realise);

typedef void (*BitmapPixelsEstimateFn)(void* owner, BitmapEntry* bitmap, ResourceCost* cost);
typedef int (*BitmapPixelsLoadFn)(void* owner, BitmapEntry* bitmap, ResourceCost* tally);
int BitmapPixelsPrepare(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface, void* owner,
                        BitmapPixelsEstimateFn estimate, BitmapPixelsLoadFn load);

int BrushSelect(ResourceStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface);
int BrushCompanionSelect(ResourceStore* store, void* object, const POINT* origin, BandSurface* surface);
int ClipSelect(ResourceStore* store, Clip* clip, BandSurface* surface, const RECT* rect);
void BitmapDeviceSizeSet(ResourceStore* store, BitmapEntry* bitmap, SIZE size);
