#include "engine/display/stores/pen_store.h"

#include <algorithm>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/brush_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "platform/gdi.h"
#include "platform/gdi_paths.h"
#include "platform/kernel.h"
#include "rastrel/imo.h"

namespace {

// Record style flags and the GDI style bits they give.
constexpr struct {
    uint32_t flag;
    uint32_t style;
} kStyleBits[] = {
    {0x1, PS_GEOMETRIC},
    {0x4, PS_ALTERNATE},
    {0x8, PS_DASH},
    {0x10, PS_DOT},
    {0x20, PS_DASHDOT},
    {0x40, PS_DASHDOTDOT},
    {0x100, PS_INSIDEFRAME},
    {0x20000, PS_ENDCAP_SQUARE},
    {0x40000, PS_ENDCAP_FLAT},
    {0x1000000, PS_JOIN_BEVEL},
    {0x2000000, PS_JOIN_MITER},
};

// The built-in dash patterns, picked by exactly one of the four dash flags.
struct BuiltinDashes {
    uint32_t flag;
    uint32_t count;
    uint32_t lengths[6];
};
constexpr BuiltinDashes kBuiltinDashes[] = {
    {0x8, 2, {3, 3}},
    {0x10, 2, {1, 1}},
    {0x20, 4, {3, 1, 1, 1}},
    {0x40, 6, {3, 1, 1, 1, 1, 1}},
};

const BuiltinDashes* BuiltinPattern(uint32_t flags)
{
    if ((flags & PEN_RECORD_BUILTIN_DASHES) == 0) return nullptr;
    const BuiltinDashes* found = nullptr;
    for (const BuiltinDashes& pattern : kBuiltinDashes) {
        if ((flags & pattern.flag) == 0) continue;
        if (found != nullptr) return nullptr;  // more than one dash flag: no built-in pattern
        found = &pattern;
    }
    return found;
}

uint32_t DashScale(const OutputModuleContext* device)
{
    const int32_t dpi = device != nullptr ? static_cast<int32_t>(device->jobResolution[0]) : 0;
    return static_cast<uint32_t>(std::max(dpi / 40, 1));
}

Pen* Find(PenStore* store, ResourceId id) { return ResourceTableFind(&store->table, id); }

void BucketInsert(PenStore* store, Pen* pen)
{
    ResourceTableInsert(&store->table, pen);
    ++store->count;
}

void BucketRemove(PenStore* store, Pen* pen)
{
    if (ResourceTableRemove(&store->table, pen) && store->count > 0) --store->count;
}

bool Realised(const Pen* pen) { return (pen->head.flags & (PEN_COLOR_PEN | PEN_MASK_PEN)) != 0; }

bool Geometric(const Pen* pen) { return (pen->style & PS_TYPE_MASK) == PS_GEOMETRIC; }

void FlagsFromDevice(const PenStore* store, Pen* pen)
{
    const OutputModuleContext* device = store->device;
    if (device != nullptr && (device->options & IMO_OPTION_THINLINE_HINTS) != 0 && pen->width <= device->thinLineValue)
        pen->head.flags |= PEN_THIN;
    if (pen->brush != nullptr) pen->head.flags |= pen->brush->head.flags & RESOURCE_COLOR_MASK;
}

Pen* PenAllocate(uint32_t dashCount)
{
    auto* pen = static_cast<Pen*>(RenderAlloc(sizeof(Pen) + size_t{dashCount} * sizeof(uint32_t)));
    if (pen != nullptr) pen->dashes = reinterpret_cast<uint32_t*>(pen + 1);
    return pen;
}

// The GDI style a pen is made with: a pen whose dashes the engine steps itself draws its pieces
// solid, or GDI would dash them a second time.
uint32_t GdiStyle(const Pen* pen) { return PenIsDashed(pen) ? (pen->style & ~uint32_t{PS_STYLE_MASK}) : pen->style; }

HPEN Create(const Pen* pen, bool mask)
{
    if (pen->head.flags & PEN_NULL) return static_cast<HPEN>(GetStockObject(NULL_PEN));
    const BrushEntry* brush = pen->brush;
    const COLORREF colour = mask ? BRUSH_MASK_COLOR : (brush != nullptr ? brush->colour : 0);
    const bool plainSolid = mask || (BrushIsSolid(brush) && brush->companion == nullptr);
    if (!ResourceIdIsColor(pen->head.id) && (Geometric(pen) || !plainSolid)) {
        LOGBRUSH logBrush{};
        logBrush.lbStyle = BS_SOLID;
        logBrush.lbColor = colour;
        uint32_t style = pen->style;
        if (!plainSolid && !BrushIsSolid(brush)) {
            // The pattern's pixels were loaded at their device size by the realise. Only a
            // geometric pen carries a pattern, so a cosmetic one is made geometric at its width
            // rather than not drawn at all.
            if (brush == nullptr || brush->bitmap == nullptr || brush->bitmap->pixels == nullptr) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            logBrush.lbStyle = BS_DIBPATTERN;
            logBrush.lbColor = DIB_RGB_COLORS;
            logBrush.lbHatch = reinterpret_cast<ULONG_PTR>(brush->bitmap->pixels);
            if (!Geometric(pen)) style = PS_GEOMETRIC | (GdiStyle(pen) & PS_STYLE_MASK);
        }
        const bool dashes = Geometric(pen) && pen->dashCount > 0;
        return ExtCreatePen(style, pen->width, &logBrush, dashes ? pen->dashCount : 0,
                            dashes ? reinterpret_cast<const DWORD*>(pen->dashes) : nullptr);
    }
    // CreatePen takes the basic style only: caps and joins belong to geometric pens, which
    // ExtCreatePen makes, and so does an alternate-pixel cosmetic pen.
    const uint32_t basic = GdiStyle(pen) & PS_STYLE_MASK;
    if (basic > PS_INSIDEFRAME) {
        const LOGBRUSH logBrush{BS_SOLID, colour, 0};
        return ExtCreatePen(PS_COSMETIC | basic, 1, &logBrush, 0, nullptr);
    }
    return CreatePen(static_cast<int>(basic), static_cast<int>(pen->width), colour);
}

void MiterSet(BandSurface* surface, const Pen* pen)
{
    if (!Geometric(pen)) return;
    SetMiterLimit(surface->drawDC, static_cast<float>(pen->miterLimit), nullptr);
    surface->miterLimitChanged = 1;
}

void Select(BandSurface* surface, Pen* pen, HPEN handle)
{
    SelectObject(surface->drawDC, handle);
    surface->selectedPen = handle;
    pen->selectedDC = surface->drawDC;
    MiterSet(surface, pen);
}

// Takes a GDI pen out of the DC it was last selected into, when it is still there: GDI refuses
// to delete a selected pen. Handles are never reused, so a DC that is gone fails the probe.
void Deselect(HDC dc, HPEN handle)
{
    if (dc == nullptr || handle == nullptr) return;
    HGDIOBJ previous = SelectObject(dc, GetStockObject(BLACK_PEN));
    if (previous != nullptr && previous != handle) SelectObject(dc, previous);
}

int RealizeOne(PenStore* store, Pen* pen, BandSurface* surface, ResourceCost* tally, bool mask)
{
    const uint32_t flag = mask ? PEN_MASK_PEN : PEN_COLOR_PEN;
    HPEN& handle = mask ? pen->maskPen : pen->colourPen;
    if (pen->head.flags & flag) {
        store->realised.Touch(pen);
        if (surface != nullptr && surface->selectedPen != handle) Select(surface, pen, handle);
        return 1;
    }
    if (!mask && pen->brush != nullptr && !BrushIsSolid(pen->brush) &&
        BrushPatternLoad(store->brushes, pen->brush, nullptr, surface, tally) == 0)
        return 0;
    HPEN made = Create(pen, mask);
    if (made == nullptr) return 0;
    const bool wasRealised = Realised(pen);
    handle = made;
    pen->head.flags |= flag;
    if ((pen->head.flags & PEN_NULL) == 0) ++tally->objects;
    if (!wasRealised) store->realised.Append(pen);
    if (surface != nullptr) Select(surface, pen, made);
    return 1;
}

void Unrealise(PenStore* store, Pen* pen, BandSurface* surface, ResourceCost* tally)
{
    if (!Realised(pen)) return;
    if (surface != nullptr && surface->selectedPen != nullptr &&
        (surface->selectedPen == pen->colourPen || surface->selectedPen == pen->maskPen)) {
        SelectObject(surface->drawDC, surface->firstPen);
        if (Geometric(pen)) {
            SetMiterLimit(surface->drawDC, static_cast<float>(static_cast<int>(surface->miterLimit)), nullptr);
            surface->miterLimitChanged = 1;
        }
        surface->selectedPen = nullptr;
    }
    const bool counted = (pen->head.flags & PEN_NULL) == 0;
    for (HPEN* handle : {&pen->colourPen, &pen->maskPen}) {
        if (*handle == nullptr) continue;
        if (counted) {
            Deselect(pen->selectedDC, *handle);
            DeleteObject(*handle);
            if (tally) --tally->objects;
        }
        *handle = nullptr;
    }
    pen->selectedDC = nullptr;
    pen->head.flags &= ~(PEN_COLOR_PEN | PEN_MASK_PEN);
    store->realised.Unlink(pen);
}

void Free(PenStore* store, Pen* pen, ResourceCost* tally)
{
    BrushRelease(store->brushes, pen->brush, 1, tally);
    pen->brush = nullptr;
    RenderFree(pen);
}

}  // namespace

bool PenIsDashed(const Pen* pen) { return pen != nullptr && pen->dashCount > 0 && !Geometric(pen); }

void PenStoreInit(PenStore* store, BrushStore* brushes, OutputModuleContext* device)
{
    *store = PenStore{};
    store->minimumWidth = 1;
    store->device = device;
    store->brushes = brushes;
    if (device == nullptr || (device->options & IMO_OPTION_PEN_SCALE) == 0) return;
    const int32_t resolution[2] = {static_cast<int32_t>(device->media.xResolution),
                                   static_cast<int32_t>(device->media.yResolution)};
    uint32_t answer = 0;
    uint32_t size = sizeof answer;
    if (DeviceQueryAsk(device, DEVICE_QUERY_PEN_DPI, sizeof resolution, resolution, &size, &answer) != IMX_OK ||
        answer == 0)
        return;
    const uint32_t smaller = std::min(device->media.xResolution, device->media.yResolution);
    store->minimumWidth = std::max(smaller / answer, 1u);
}

void PenStoreDestroy(PenStore* store, ResourceCost* tally)
{
    ResourceTableEmpty(&store->table, [&](Pen* pen) {
        Unrealise(store, pen, nullptr, tally);
        Free(store, pen, tally);
    });
    store->count = 0;
    store->realised = {};
}

int PenDefine(PenStore* store, Stream* stream, uint8_t)
{
    uint8_t raw[kPenRecordSize];
    const uint32_t start = stream->position;
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint32_t size = LoadLE32(raw + 4);
    uint32_t flags = LoadLE32(raw + PenRecord::style);
    const ResourceId id = LoadLE32(raw + PenRecord::id);
    const BuiltinDashes* builtin = BuiltinPattern(flags);
    uint32_t dashCount = LoadLE32(raw + PenRecord::dashCount);
    if (builtin != nullptr) {
        flags &= ~builtin->flag;
        dashCount = builtin->count;
    }
    if (Find(store, id) != nullptr) return 1;  // the first definition stays; the reader skips the rest
    // The record holds exactly its dashes: 32 + 4 n bytes, or 32 with a built-in pattern.
    const uint64_t expected = kPenRecordSize + (builtin != nullptr ? 0 : uint64_t{dashCount} * 4);
    if (size != expected) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    // The record's dashes are read before the pen is made with room for them: a count the stream
    // does not hold fails at its end instead of allocating the claim.
    std::vector<uint8_t> recordDashes;
    if (builtin == nullptr && dashCount > 0 && !StreamReadGrowing(stream, dashCount * 4, &recordDashes)) return 0;
    BrushEntry* brush = BrushLookup(store->brushes, LoadLE32(raw + PenRecord::brush));
    if (brush == nullptr) return 0;
    Pen* pen = PenAllocate(dashCount);
    ResourceCost tally{};
    if (pen == nullptr) {
        BrushRelease(store->brushes, brush, 0, &tally);
        return 0;
    }
    pen->brush = brush;
    pen->dashCount = dashCount;
    if (builtin != nullptr) {
        const uint32_t scale = DashScale(store->device);
        for (uint32_t i = 0; i < dashCount; ++i) pen->dashes[i] = builtin->lengths[i] * scale;
    } else {
        for (uint32_t i = 0; i < dashCount; ++i) pen->dashes[i] = LoadLE32(recordDashes.data() + 4 * i);
    }
    if (stream->position != start + size) {
        BrushRelease(store->brushes, brush, 0, &tally);
        RenderFree(pen);
        return 0;
    }
    for (const auto& bits : kStyleBits)
        if (flags & bits.flag) pen->style |= bits.style;
    if (dashCount > 0 && Geometric(pen)) pen->style = (pen->style & ~uint32_t{PS_STYLE_MASK}) | PS_USERSTYLE;
    pen->head.id = id;
    pen->miterLimit = LoadLE32(raw + PenRecord::miterLimit);
    pen->width = std::max(LoadLE32(raw + PenRecord::width), store->minimumWidth);
    FlagsFromDevice(store, pen);
    BucketInsert(store, pen);
    return 1;
}

Pen* PenLookup(PenStore* store, ResourceId id, uint8_t)
{
    if (Pen* pen = ResourceTableLookup(&store->table, id)) return pen;
    if (id != RESOURCE_ID_NONE && !ResourceIdIsColor(id)) {
        SpoolRecordMissingResource("pen", id);
        return nullptr;
    }
    BrushEntry* brush = BrushLookup(store->brushes, id);
    if (brush == nullptr) return nullptr;
    Pen* pen = PenAllocate(0);
    if (pen == nullptr) {
        ResourceCost tally{};
        BrushRelease(store->brushes, brush, 0, &tally);
        return nullptr;
    }
    pen->head.id = id;
    pen->head.refs = 1;
    pen->brush = brush;
    if (id == RESOURCE_ID_NONE) pen->head.flags |= PEN_NULL;
    else pen->width = store->minimumWidth;
    FlagsFromDevice(store, pen);
    BucketInsert(store, pen);
    return pen;
}

int PenEqual(const Pen* a, const Pen* b)
{
    if (a == b) return 1;
    if (a == nullptr || b == nullptr || a->style != b->style) return 0;
    if (a->brush == b->brush) return 1;
    const bool plainA = BrushIsSolid(a->brush) && a->brush->companion == nullptr;
    const bool plainB = BrushIsSolid(b->brush) && b->brush->companion == nullptr;
    return plainA && plainB && a->brush->colour == b->brush->colour ? 1 : 0;
}

void PenRelease(PenStore* store, Pen* pen, int remove, ResourceCost* tally)
{
    if (pen == nullptr) return;
    const uint32_t refs = pen->head.refs;
    ResourceRefDrop(&pen->head);
    if (refs > 1) return;
    Unrealise(store, pen, nullptr, tally);
    if (!remove) return;
    BucketRemove(store, pen);
    Free(store, pen, tally);
}

void PenCostEstimate(void* owner, void* object, BandSurface* surface, ResourceCost* cost)
{
    auto* pen = static_cast<Pen*>(object);
    if (pen->head.flags & PEN_COLOR_PEN) return;
    if (pen->brush != nullptr && !BrushIsSolid(pen->brush))
        BrushPatternEstimate(static_cast<PenStore*>(owner)->brushes, pen->brush, nullptr, surface, cost);
    ++cost->objects;
}

void PenMaskCostEstimate(void*, void* object, BandSurface*, ResourceCost* cost)
{
    if ((static_cast<Pen*>(object)->head.flags & PEN_MASK_PEN) == 0) ++cost->objects;
}

int PenRealize(void* owner, void* object, BandSurface* surface, ResourceCost* tally)
{
    return RealizeOne(static_cast<PenStore*>(owner), static_cast<Pen*>(object), surface, tally, false);
}

int PenMaskRealize(void* owner, void* object, BandSurface* surface, ResourceCost* tally)
{
    return RealizeOne(static_cast<PenStore*>(owner), static_cast<Pen*>(object), surface, tally, true);
}

void PenUnrealize(PenStore* store, Pen* pen, BandSurface* surface, ResourceCost* tally)
{
    Unrealise(store, pen, surface, tally);
}

void PenStoreTrim(PenStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request)
{
    if (pass != 0) return;
    Pen* pen = store->realised.first;
    while (pen != nullptr && request->objects > 0) {
        Pen* next = pen->realisedNext;
        if ((pen->head.flags & (RESOURCE_IN_USE | PEN_NULL)) == 0) {
            ResourceCost freed{};
            Unrealise(store, pen, surface, &freed);
            request->objects += freed.objects;
        }
        pen = next;
    }
}
