#include "engine/display/stores/brush_store.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "rastrel/imo.h"

namespace {

void BucketInsert(BrushStore* store, BrushEntry* entry)
{
    ResourceTableInsert(&store->table, entry);
    ++store->count;
}

void BucketRemove(BrushStore* store, BrushEntry* entry)
{
    if (ResourceTableRemove(&store->table, entry) && store->count > 0) --store->count;
}

BrushEntry* Find(BrushStore* store, ResourceId id) { return ResourceTableFind(&store->table, id); }

// Takes the brush out of the DC it was last selected into, when it is still there: GDI refuses to
// delete a selected brush. Handles are never reused, so a DC that is gone fails the probe.
void Deselect(BrushEntry* brush)
{
    if (brush->selectedDC == nullptr) return;
    HGDIOBJ previous = SelectObject(brush->selectedDC, GetStockObject(NULL_BRUSH));
    if (previous != nullptr && previous != brush->handle) SelectObject(brush->selectedDC, previous);
    brush->selectedDC = nullptr;
}

// Deletes the GDI brush of a realised brush; the objects it frees go to the tally.
void Unrealise(BrushStore* store, BrushEntry* brush, ResourceCost* tally)
{
    if ((brush->head.flags & RESOURCE_REALISED) == 0) return;
    if ((brush->head.flags & BRUSH_STOCK) == 0) {
        Deselect(brush);
        DeleteObject(brush->handle);
        if (tally) --tally->objects;
    }
    brush->handle = nullptr;
    brush->selectedDC = nullptr;
    brush->head.flags &= ~RESOURCE_REALISED;
    store->realised.Unlink(brush);
}

void BuiltinPlace(BrushStore* store, BrushEntry* entry, ResourceId id, COLORREF colour)
{
    *entry = BrushEntry{};
    entry->head.id = id;
    entry->head.flags = BRUSH_BUILTIN_FLAGS;
    entry->colour = colour;
    BucketInsert(store, entry);
}

ResourceId GeneratedId(BrushStore* store)
{
    while (Find(store, store->nextId) != nullptr) --store->nextId;
    return store->nextId--;
}

}  // namespace

uint32_t BrushColorClass(COLORREF colour)
{
    const uint32_t r = colour & 0xFF, g = (colour >> 8) & 0xFF, b = (colour >> 16) & 0xFF;
    if (r == g && g == b) return (r == 0 || r == 255) ? RESOURCE_BLACK_WHITE : RESOURCE_GREY;
    return RESOURCE_COLOR;
}

void BrushStoreInit(BrushStore* store, BitmapStore* bitmaps, OutputModuleContext* device)
{
    *store = BrushStore{};
    BuiltinPlace(store, &store->empty, RESOURCE_ID_NONE, 0);
    BuiltinPlace(store, &store->black, RESOURCE_ID_BLACK, 0);
    BuiltinPlace(store, &store->white, RESOURCE_ID_WHITE, 0xFFFFFF);
    store->bitmaps = bitmaps;
    store->device = device;
    store->nextId = 0x7FFFFFFF;
    if (device != nullptr && (device->options & IMO_OPTION_BRUSH_SCALE) != 0) {
        uint32_t dpi = 0;
        uint32_t size = sizeof dpi;
        if (DeviceQueryAsk(device, DEVICE_QUERY_BRUSH_DPI, 0, nullptr, &size, &dpi) == IMX_OK && dpi != 0) {
            store->scaleEnabled = 1;
            store->scaleDpi = dpi;
        }
    }
}

void BrushStoreDestroy(BrushStore* store, ResourceCost* tally)
{
    // Companions and patterns are entries of this store or the bitmap store; every entry is freed
    // once, from its bucket, after its references were dropped.
    ResourceTableEmpty(&store->table, [&](BrushEntry* entry) {
        entry->head.refs = 0;
        Unrealise(store, entry, tally);
        if (entry->bitmap) BitmapRelease(store->bitmaps, entry->bitmap, 1, tally);
        entry->bitmap = nullptr;
        entry->companion = nullptr;
        if ((entry->head.flags & BRUSH_STATIC) == 0) RenderFree(entry);
    });
    store->count = 0;
    store->realised = {};
}

int BrushDefine(BrushStore* store, Stream* stream)
{
    uint8_t raw[kBrushRecordSize];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const ResourceId id = LoadLE32(raw + BrushRecord::id);
    if (Find(store, id) != nullptr) return 1;  // the first definition stays
    BitmapEntry* bitmap = BitmapLookup(store->bitmaps, LoadLE32(raw + BrushRecord::bitmap));
    if (bitmap == nullptr) return 0;
    auto* entry = static_cast<BrushEntry*>(RenderAlloc(sizeof(BrushEntry)));
    if (entry == nullptr) {
        ResourceCost tally{};
        BitmapRelease(store->bitmaps, bitmap, 0, &tally);
        return 0;
    }
    entry->head.id = id;
    entry->head.flags = bitmap->head.flags & RESOURCE_COLOR_MASK;
    entry->bitmap = bitmap;
    BucketInsert(store, entry);
    return 1;
}

BrushEntry* BrushLookup(BrushStore* store, ResourceId id)
{
    if (BrushEntry* found = ResourceTableLookup(&store->table, id)) return found;
    if (!ResourceIdIsColor(id)) {
        if (id != RESOURCE_ID_NONE) SpoolRecordMissingResource("brush", id);
        return nullptr;
    }
    auto* entry = static_cast<BrushEntry*>(RenderAlloc(sizeof(BrushEntry)));
    if (entry == nullptr) return nullptr;
    entry->head.id = id;
    entry->colour = id & 0x7FFFFFFF;
    entry->head.flags = BRUSH_SOLID | BrushColorClass(entry->colour);
    entry->head.refs = 1;
    BucketInsert(store, entry);
    return entry;
}

BrushEntry* BrushFromBitmapCreate(BrushStore* store, ResourceId id, ResourceId bitmapId)
{
    if (id != 0xFFFFFFFF && Find(store, id) != nullptr) return nullptr;
    BitmapEntry* bitmap = BitmapLookup(store->bitmaps, bitmapId);
    if (bitmap == nullptr) return nullptr;
    auto* entry = static_cast<BrushEntry*>(RenderAlloc(sizeof(BrushEntry)));
    if (entry == nullptr) {
        ResourceCost tally{};
        BitmapRelease(store->bitmaps, bitmap, 0, &tally);
        return nullptr;
    }
    entry->head.id = id == 0xFFFFFFFF ? GeneratedId(store) : id;
    entry->head.flags = bitmap->head.flags & RESOURCE_COLOR_MASK;
    entry->bitmap = bitmap;
    BucketInsert(store, entry);
    return entry;
}

BrushEntry* BrushSolidCreate(BrushStore* store, ResourceId id, COLORREF colour, BrushEntry* base)
{
    if (id != 0xFFFFFFFF && Find(store, id) != nullptr) return nullptr;
    auto* entry = static_cast<BrushEntry*>(RenderAlloc(sizeof(BrushEntry)));
    if (entry == nullptr) return nullptr;
    entry->head.id = id == 0xFFFFFFFF ? GeneratedId(store) : id;
    entry->colour = colour & 0xFFFFFF;
    entry->head.flags = BRUSH_SOLID | BrushColorClass(entry->colour);
    if (base != nullptr) {
        ResourceRefAdd(&base->head);
        base->head.flags |= BRUSH_COMPANION;
        entry->companion = base;
    }
    BucketInsert(store, entry);
    return entry;
}

int BrushEqual(const BrushEntry* a, const BrushEntry* b)
{
    if (a == b) return 1;
    if (a == nullptr || b == nullptr) return 0;
    return BrushIsSolid(a) && BrushIsSolid(b) && a->colour == b->colour ? 1 : 0;
}

void BrushRelease(BrushStore* store, BrushEntry* brush, int remove, ResourceCost* tally)
{
    if (brush == nullptr) return;
    const uint32_t refs = brush->head.refs;
    ResourceRefDrop(&brush->head);
    if (refs > 1) return;
    Unrealise(store, brush, tally);
    if (!remove) return;
    if (brush->bitmap) BitmapRelease(store->bitmaps, brush->bitmap, 1, tally);
    brush->bitmap = nullptr;
    if (BrushEntry* companion = brush->companion) {
        brush->companion = nullptr;
        BrushRelease(store, companion, 1, tally);
    }
    if ((brush->head.flags & BRUSH_STATIC) == 0) {
        BucketRemove(store, brush);
        RenderFree(brush);
    }
}

// A side times a whole factor, held within what a bitmap side can be: record values and mapping
// extents can make a product beyond 32 bits, which the pixel estimate then refuses.
static int32_t SideTimes(int32_t side, double factor)
{
    const double product = std::trunc(factor) * side;
    return static_cast<int32_t>(std::clamp(product, -2147483647.0, 2147483647.0));
}

SIZE BrushPatternSize(const BrushStore* store, SIZE bitmap, HDC dc)
{
    SIZE size = bitmap;
    if (dc != nullptr) {
        SIZE window{}, viewport{};
        GetWindowExtEx(dc, &window);
        GetViewportExtEx(dc, &viewport);
        if (window.cx != 0 && window.cy != 0) {
            const double sx = std::fabs(double(viewport.cx) / window.cx);
            const double sy = std::fabs(double(viewport.cy) / window.cy);
            if (sx > sy && sy > 0 && sx / sy >= 1) {
                size.cx = SideTimes(size.cx, sx / sy);
            } else if (sy > sx && sx > 0 && sy / sx >= 1) {
                size.cy = SideTimes(size.cy, sy / sx);
            }
        }
    }
    if (store->scaleEnabled && store->scaleDpi != 0 && size.cx < 33 && std::abs(size.cy) < 33) {
        uint32_t resolution = 0;
        if (store->device != nullptr)
            resolution = std::min(store->device->media.xResolution, store->device->media.yResolution);
        const double k = std::max(store->scaleDpi, resolution) / store->scaleDpi;
        size.cx = SideTimes(size.cx, k);
        size.cy = SideTimes(size.cy, k);
    }
    return size;
}

void BrushOriginSet(BandSurface* surface, const POINT* origin)
{
    // The origin is a page position, so a pattern keeps its phase however the page is cut into
    // bands: without one, the page's own (0, 0) is mapped.
    POINT point = origin != nullptr ? *origin : POINT{0, 0};
    LPtoDP(surface->drawDC, &point, 1);
    SetBrushOrgEx(surface->drawDC, point.x, point.y, nullptr);
}

void BrushSurfaceSelect(BandSurface* surface, BrushEntry* brush, HBRUSH handle, const POINT* origin)
{
    BrushOriginSet(surface, origin);
    surface->selectedBrush = brush;
    SelectObject(surface->drawDC, handle);
    brush->selectedDC = surface->drawDC;
}

// The size a pattern brush's bitmap is realised at on the surface (null: no DC factor).
static SIZE PatternSize(const BrushStore* store, const BrushEntry* brush, const BandSurface* surface)
{
    const SIZE natural{brush->bitmap->header.biWidth, brush->bitmap->header.biHeight};
    return BrushPatternSize(store, natural, surface != nullptr ? surface->drawDC : nullptr);
}

// The estimate sizes the pattern as the load will, so that what it asks the budget for is what the
// load charges, and leaves the bitmap as it is: pixels it dropped would never be credited.
static void PatternEstimate(BrushStore* store, BrushEntry* brush, BandSurface* surface, ResourceCost* cost)
{
    BitmapPixelsEstimateAt(store->bitmaps, brush->bitmap, PatternSize(store, brush, surface), cost);
}

// Loads a pattern brush's pixels at the size they are drawn at, inverted when that was asked for.
static int PatternPixelsLoad(BrushStore* store, BrushEntry* brush, BandSurface* surface, ResourceCost* tally)
{
    // A new size drops the pixels made at the old one; the tally is credited for them.
    BitmapStoreDeviceSizeSet(store->bitmaps, brush->bitmap, tally, PatternSize(store, brush, surface));
    return BitmapPixelsLoad(store->bitmaps, brush->bitmap, tally) && BitmapPixelsInvertPending(brush->bitmap) ? 1 : 0;
}

void BrushEstimate(BrushStore* store, BrushEntry* brush, BandSurface* surface, ResourceCost* cost)
{
    if (brush == nullptr || (brush->head.flags & (RESOURCE_REALISED | BRUSH_STOCK)) != 0) return;
    if (brush->bitmap != nullptr) PatternEstimate(store, brush, surface, cost);
    ++cost->objects;
}

static bool IsStock(const BrushEntry* brush) { return (brush->head.flags & BRUSH_STOCK) != 0; }

int BrushRealize(BrushStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface, ResourceCost* tally)
{
    if (brush == nullptr) return 0;
    if ((brush->head.flags & RESOURCE_REALISED) != 0) {
        store->realised.Touch(brush);
        if (surface != nullptr) {
            // Selected every time: a brush deleted by a release may have left the surface's
            // mark pointing at memory that a new entry now uses.
            if (surface->selectedBrush != brush && !BrushIsSolid(brush)) UnrealizeObject(brush->handle);
            BrushSurfaceSelect(surface, brush, brush->handle, origin);
        }
        return 1;
    }
    HBRUSH handle = nullptr;
    if (IsStock(brush)) {
        if (brush->head.id == RESOURCE_ID_NONE) handle = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
        else if (brush->colour == 0) handle = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        else handle = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    } else if (BrushIsSolid(brush)) {
        handle = CreateSolidBrush(brush->colour);
    } else if (brush->bitmap != nullptr) {
        if (!PatternPixelsLoad(store, brush, surface, tally)) return 0;
        handle = CreateDIBPatternBrushPt(brush->bitmap->pixels, DIB_RGB_COLORS);
    }
    if (handle == nullptr) return 0;
    brush->handle = handle;
    brush->head.flags |= RESOURCE_REALISED;
    if (!IsStock(brush)) ++tally->objects;
    store->realised.Append(brush);
    if (surface != nullptr) BrushSurfaceSelect(surface, brush, handle, origin);
    return 1;
}

static BrushEntry* CompanionOf(BrushStore* store, void* object)
{
    auto* brush = static_cast<BrushEntry*>(object);
    if (brush == nullptr || brush->head.id == RESOURCE_ID_NONE) return &store->empty;
    return brush->companion != nullptr ? brush->companion : &store->white;
}

void BrushCompanionEstimate(BrushStore* store, void* object, BandSurface* surface, ResourceCost* cost)
{
    auto* brush = static_cast<BrushEntry*>(object);
    if (brush == nullptr || brush->head.id == RESOURCE_ID_NONE) return;
    BrushEstimate(store, CompanionOf(store, object), surface, cost);
}

int BrushCompanionRealize(BrushStore* store, void* object, const POINT* origin, BandSurface* surface,
                          ResourceCost* tally)
{
    auto* brush = static_cast<BrushEntry*>(object);
    BrushEntry* companion = CompanionOf(store, object);
    // Only a real companion keeps the pattern's origin.
    const bool keepsOrigin = brush != nullptr && brush->head.id != RESOURCE_ID_NONE && brush->companion != nullptr;
    return BrushRealize(store, companion, keepsOrigin ? origin : nullptr, surface, tally);
}

int BrushPatternEstimate(BrushStore* store, BrushEntry* brush, void*, BandSurface* surface, ResourceCost* cost)
{
    if (brush == nullptr || brush->bitmap == nullptr) return 1;
    PatternEstimate(store, brush, surface, cost);
    return 0;
}

int BrushPatternLoad(BrushStore* store, BrushEntry* brush, void*, BandSurface* surface, ResourceCost* tally)
{
    if (brush == nullptr || brush->bitmap == nullptr) return 1;
    return PatternPixelsLoad(store, brush, surface, tally);
}

void BrushStoreTrim(BrushStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request)
{
    if (pass != 0) return;
    BrushEntry* brush = store->realised.first;
    while (brush != nullptr && request->objects >= 1) {
        BrushEntry* next = brush->realisedNext;
        if ((brush->head.flags & (RESOURCE_IN_USE | BRUSH_STOCK)) == 0) {
            if (surface != nullptr && surface->selectedBrush == brush) {
                surface->selectedBrush = nullptr;
                SetBrushOrgEx(surface->drawDC, 0, 0, nullptr);
                SelectObject(surface->drawDC, surface->firstBrush);
            }
            ResourceCost freed{};
            Unrealise(store, brush, &freed);
            request->objects += freed.objects;
        }
        brush = next;
    }
}
