#include "engine/display/stores/resource_store.h"

#include <algorithm>
#include <cstdint>

#include "engine/common/render_heap.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

ResourceStore* ResourceStoreCreate(ResourceBudget* budget, Stream* stream)
{
    auto* store = static_cast<ResourceStore*>(RenderAlloc(sizeof(ResourceStore)));
    if (store == nullptr) return nullptr;
    if (stream != nullptr) {
        store->spill = StreamSpillCreate(stream);
        if (store->spill == nullptr) {
            RenderFree(store);
            return nullptr;
        }
    }
    store->budget = budget;
    BitmapStoreInit(&store->bitmaps, budget->device, store->spill, budget->memoryLimit);
    BrushStoreInit(&store->brushes, &store->bitmaps, budget->device);
    FontStoreInit(&store->fonts, store->spill, budget->device, budget);
    PathStoreInit(&store->paths);
    ClipStoreInit(&store->clips, store);
    PenStoreInit(&store->pens, &store->brushes, budget->device);
    store->prev = budget->last;
    if (budget->last != nullptr) budget->last->next = store;
    else budget->first = store;
    budget->last = store;
    return store;
}

void ResourceStoreDestroy(ResourceStore* store)
{
    if (store == nullptr) return;
    // A store is destroyed on the way out of failures that its caller reports by the last error
    // (lack of memory fails the job, anything else drops the page): deleting GDI objects and
    // removing fonts must not overwrite it.
    const DWORD error = GetLastError();
    ResourceBudget* budget = store->budget;
    // Pens hold brushes and brushes hold bitmaps: each goes before what it refers to. Every store
    // credits what it frees, so the budget's counters come back to what the other stores hold.
    ResourceCost tally{};
    PenStoreDestroy(&store->pens, &tally);
    BrushStoreDestroy(&store->brushes, &tally);
    BitmapStoreDestroy(&store->bitmaps, &tally);
    PathStoreDestroy(&store->paths, &tally);
    ClipStoreDestroy(&store->clips, &tally);
    FontStoreDestroy(&store->fonts, &tally);
    ResourceBudgetCharge(budget, tally);
    if (store->prev != nullptr) store->prev->next = store->next;
    else budget->first = store->next;
    if (store->next != nullptr) store->next->prev = store->prev;
    else budget->last = store->prev;
    StreamSpillClose(store->spill);
    RenderFree(store);
    SetLastError(error);
}

// ---- In-use marks ----

void ResourceUseMark(ResourceStore* store, ResourceObject* object, uint32_t bits)
{
    if (object == nullptr) return;
    object->flags |= bits;
    ResourceBudget* budget = store->budget;
    if (budget->markCount < RESOURCE_MARKS_MAX) budget->marked[budget->markCount++] = object;
}

void ResourceUseMarkAll(ResourceStore* store, ResourceObject* object, void* argument, uint32_t bits,
                        ResourceEnumerateFn enumerate)
{
    if (object == nullptr) return;
    ResourceObject* related[RESOURCE_MARKS_MAX] = {};
    uint32_t count = std::min(enumerate(argument, object, related, bits), RESOURCE_MARKS_MAX);
    for (uint32_t i = 0; i < count; ++i) ResourceUseMark(store, related[i], bits);
}

void ResourceUseClear(ResourceStore* store)
{
    ResourceBudget* budget = store->budget;
    for (uint32_t i = 0; i < budget->markCount; ++i) budget->marked[i]->flags &= ~RESOURCE_MARKS;
    budget->markCount = 0;
}

void ResourceReleaseAccount(ResourceStore* store, void* object, int argument, void* owner, ResourceReleaseFn release)
{
    ResourceCost tally{};
    release(owner, object, argument, &tally);
    ResourceBudgetCharge(store->budget, tally);
}

// ---- Trim ----

// A positive request that would reach its limit. Sums in 64 bits: a request near 4 GB must not
// wrap into one that fits.
static bool ReachesLimit(int32_t request, uint32_t use, uint32_t limit)
{
    return request > 0 && uint64_t(uint32_t(request)) + use >= limit;
}

static bool AnyPositive(const ResourceCost& cost)
{
    return cost.objects > 0 || cost.memory > 0 || cost.deviceMemory > 0;
}

void ResourceStoreTrim(ResourceBudget* budget, BandSurface* surface, ResourceCost* request)
{
    if (!ReachesLimit(request->deviceMemory, budget->deviceMemoryUse, budget->deviceMemoryLimit) &&
        !ReachesLimit(request->memory, budget->memoryUse, budget->memoryLimit) &&
        !ReachesLimit(request->objects, budget->objectUse, budget->objectLimit))
        return;
    const ResourceCost asked = *request;
    // Pass 0 drops what is cheap to rebuild, pass 1 GDI objects and decoded pixels, pass 2
    // converted pixels. Each store frees only unmarked objects and only while its counter is
    // still positive.
    for (uint32_t pass = 0; pass < 3 && AnyPositive(*request); ++pass) {
        for (ResourceStore* store = budget->first; store != nullptr; store = store->next) {
            BrushStoreTrim(&store->brushes, surface, pass, request);
            PenStoreTrim(&store->pens, surface, pass, request);
            BitmapStoreTrim(&store->bitmaps, surface, pass, request);
            FontStoreTrim(&store->fonts, surface, pass, request);
            PathStoreTrim(&store->paths, surface, pass, request);
            ClipStoreTrim(&store->clips, surface, pass, request);
        }
    }
    // What was freed, in 64 bits: a store that frees far more than asked drives its counter of
    // the request deep below 0.
    auto freed = [](int32_t now, int32_t before) {
        return static_cast<int32_t>(std::clamp<int64_t>(int64_t{now} - before, INT32_MIN, INT32_MAX));
    };
    ResourceBudgetCharge(budget,
                         ResourceCost{freed(request->objects, asked.objects), freed(request->memory, asked.memory),
                                      freed(request->deviceMemory, asked.deviceMemory)});
}

// ---- Prepare and charge ----

// Estimates into a request, trims for it (with the surface the objects may be selected into),
// makes the resource ready with a fresh tally and charges that tally.
template <class Estimate, class Realise>
static auto PrepareAndCharge(ResourceStore* store, BandSurface* trimSurface, Estimate estimate, Realise realise)
{
    ResourceCost cost{};
    estimate(&cost);
    ResourceStoreTrim(store->budget, trimSurface, &cost);
    cost = ResourceCost{};
    auto result = realise(&cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

int ResourcePrepare(ResourceStore* store, void* object, BandSurface* surface, void* owner, ResourceEstimateFn estimate,
                    ResourceRealiseFn realise)
{
    if (object == nullptr) {
        ResourceCost uncharged{};
        return realise(owner, object, surface, &uncharged);
    }
    return PrepareAndCharge(
        store, surface, [&](ResourceCost* cost) { estimate(owner, object, surface, cost); },
        [&](ResourceCost* tally) { return realise(owner, object, surface, tally); });
}

int ResourcePrepareWith(ResourceStore* store, void* object, void* owner, BandSurface* surface, void* argument,
                        ResourceEstimateWithFn estimate, ResourceRealiseWithFn realise)
{
    // The estimate answers non-zero when nothing needs doing; it cannot run twice, so the request
    // it made is kept for the trim.
    ResourceCost request{};
    if (int done = estimate(owner, object, argument, surface, &request); done != 0) return done;
    return PrepareAndCharge(
        store, nullptr, [&](ResourceCost* cost) { *cost = request; },
        [&](ResourceCost* tally) { return realise(owner, object, argument, surface, tally); });
}

void GlyphPrepare(ResourceStore* store, void* font, void* glyph, BandSurface* surface, GlyphEstimateFn estimate,
                  GlyphRealiseFn realise)
{
    ResourceCost request{};
    if (estimate(font, glyph, surface, &request) != 0) return;
    PrepareAndCharge(
        store, nullptr, [&](ResourceCost* cost) { *cost = request; },
        [&](ResourceCost* tally) { return realise(font, glyph, surface, tally); });
}

int BitmapPixelsPrepare(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface, void* owner,
                        BitmapPixelsEstimateFn estimate, BitmapPixelsLoadFn load)
{
    if ((bitmap->head.flags & BITMAP_PIXELS_LOADED) != 0) return 1;
    return PrepareAndCharge(
        store, surface, [&](ResourceCost* cost) { estimate(owner, bitmap, cost); },
        [&](ResourceCost* tally) { return load(owner, bitmap, tally); });
}

int BrushSelect(ResourceStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface)
{
    BrushStore* brushes = &store->brushes;
    return PrepareAndCharge(
        store, surface, [&](ResourceCost* cost) { BrushEstimate(brushes, brush, surface, cost); },
        [&](ResourceCost* tally) { return BrushRealize(brushes, brush, origin, surface, tally); });
}

int BrushCompanionSelect(ResourceStore* store, void* object, const POINT* origin, BandSurface* surface)
{
    BrushStore* brushes = &store->brushes;
    return PrepareAndCharge(
        store, surface, [&](ResourceCost* cost) { BrushCompanionEstimate(brushes, object, surface, cost); },
        [&](ResourceCost* tally) { return BrushCompanionRealize(brushes, object, origin, surface, tally); });
}

int ClipSelect(ResourceStore* store, Clip* clip, BandSurface* surface, const RECT* rect)
{
    // Without a clip only the deselection is done: it frees, and costs nothing.
    ClipStore* clips = &store->clips;
    return PrepareAndCharge(
        store, surface,
        [&](ResourceCost* cost) {
            if (clip != nullptr) ClipRegionCostEstimate(clips, clip, surface, cost);
        },
        [&](ResourceCost* tally) { return ClipStoreSelect(clips, clip, surface, rect, tally); });
}

void BitmapDeviceSizeSet(ResourceStore* store, BitmapEntry* bitmap, SIZE size)
{
    ResourceCost tally{};
    BitmapStoreDeviceSizeSet(&store->bitmaps, bitmap, &tally, size);
    ResourceBudgetCharge(store->budget, tally);
}
