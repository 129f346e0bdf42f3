#include "engine/display/resource_store.h"

#include <algorithm>

#include "engine/job/render_call.h"
#include "platform/kernel.h"
#include "engine/spool/stream.h"

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
    BitmapStoreInit(&store->bitmaps, budget->device, store->spill);
    BrushStoreInit(&store->brushes, &store->bitmaps, budget->device);
    FontStoreInit(&store->fonts, store->spill, budget->device);
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

static bool AnyPositive(const ResourceCost& cost) { return cost.objects > 0 || cost.memory > 0 || cost.deviceMemory > 0; }

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
    ResourceBudgetCharge(budget, ResourceCost{request->objects - asked.objects, request->memory - asked.memory,
                                              request->deviceMemory - asked.deviceMemory});
}

// ---- Prepare and charge ----

int ResourcePrepare(ResourceStore* store, void* object, BandSurface* surface, void* owner, ResourceEstimateFn estimate,
                    ResourceRealiseFn realise)
{
    ResourceCost cost{};
    if (object == nullptr) return realise(owner, object, surface, &cost);
    estimate(owner, object, surface, &cost);
    ResourceStoreTrim(store->budget, surface, &cost);
    cost = ResourceCost{};
    int result = realise(owner, object, surface, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

int ResourcePrepareWith(ResourceStore* store, void* object, void* owner, BandSurface* surface, void* argument,
                        ResourceEstimateWithFn estimate, ResourceRealiseWithFn realise)
{
    ResourceCost cost{};
    if (int done = estimate(owner, object, argument, surface, &cost); done != 0) return done;
    ResourceStoreTrim(store->budget, nullptr, &cost);
    cost = ResourceCost{};
    int result = realise(owner, object, argument, surface, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

void GlyphPrepare(ResourceStore* store, void* font, void* glyph, BandSurface* surface, GlyphEstimateFn estimate,
                  GlyphRealiseFn realise)
{
    ResourceCost cost{};
    if (estimate(font, glyph, surface, &cost) != 0) return;
    ResourceStoreTrim(store->budget, nullptr, &cost);
    cost = ResourceCost{};
    realise(font, glyph, surface, &cost);
    ResourceBudgetCharge(store->budget, cost);
}

int BitmapPixelsPrepare(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface, void* owner,
                        BitmapPixelsEstimateFn estimate, BitmapPixelsLoadFn load)
{
    if ((bitmap->head.flags & BITMAP_PIXELS_LOADED) != 0) return 1;
    ResourceCost cost{};
    estimate(owner, bitmap, &cost);
    ResourceStoreTrim(store->budget, surface, &cost);
    cost = ResourceCost{};
    int result = load(owner, bitmap, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

int BrushSelect(ResourceStore* store, BrushEntry* brush, const POINT* origin, BandSurface* surface)
{
    ResourceCost cost{};
    BrushEstimate(&store->brushes, brush, surface, &cost);
    ResourceStoreTrim(store->budget, surface, &cost);
    cost = ResourceCost{};
    int result = BrushRealize(&store->brushes, brush, origin, surface, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

int BrushCompanionSelect(ResourceStore* store, void* object, const POINT* origin, BandSurface* surface)
{
    ResourceCost cost{};
    BrushCompanionEstimate(&store->brushes, object, surface, &cost);
    ResourceStoreTrim(store->budget, surface, &cost);
    cost = ResourceCost{};
    int result = BrushCompanionRealize(&store->brushes, object, origin, surface, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

int ClipSelect(ResourceStore* store, Clip* clip, BandSurface* surface, const RECT* rect)
{
    ResourceCost cost{};
    if (clip != nullptr) {
        ClipRegionCostEstimate(&store->clips, clip, surface, &cost);
        ResourceStoreTrim(store->budget, surface, &cost);
        cost = ResourceCost{};
    }
    int result = ClipStoreSelect(&store->clips, clip, surface, rect, &cost);
    ResourceBudgetCharge(store->budget, cost);
    return result;
}

void BitmapDeviceSizeSet(ResourceStore* store, BitmapEntry* bitmap, SIZE size)
{
    ResourceCost tally{};
    BitmapStoreDeviceSizeSet(&store->bitmaps, bitmap, &tally, size);
    ResourceBudgetCharge(store->budget, tally);
}
