// The resource budget and store: creation and destruction in any order, the in-use marks, the
// prepare-and-charge operations, and the counters against a model over random sequences.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <memory>
#include <random>
#include <vector>

#include "engine/display/stores/resource_store.h"
#include "engine/job/render_call.h"
#include "tests/support/memory_stream.h"

namespace {

// A resource of the tests' own: what realising it costs and whether it is ready.
struct Thing {
    ResourceObject head{};
    ResourceCost cost{};
    bool realised = false;
    int realiseCalls = 0;
};

void ThingEstimate(void*, void* object, BandSurface*, ResourceCost* cost)
{
    const Thing* thing = static_cast<Thing*>(object);
    cost->objects += thing->cost.objects;
    cost->memory += thing->cost.memory;
    cost->deviceMemory += thing->cost.deviceMemory;
}

int ThingRealise(void*, void* object, BandSurface*, ResourceCost* tally)
{
    auto* thing = static_cast<Thing*>(object);
    if (thing == nullptr) return 5;
    ++thing->realiseCalls;
    if (thing->realised) return 1;
    thing->realised = true;
    tally->objects += thing->cost.objects;
    tally->memory += thing->cost.memory;
    tally->deviceMemory += thing->cost.deviceMemory;
    return 1;
}

void ThingRelease(void*, void* object, int, ResourceCost* tally)
{
    auto* thing = static_cast<Thing*>(object);
    if (!thing->realised) return;
    thing->realised = false;
    tally->objects -= thing->cost.objects;
    tally->memory -= thing->cost.memory;
    tally->deviceMemory -= thing->cost.deviceMemory;
}

struct Counters {
    uint32_t objects, memory, deviceMemory;
    bool operator==(const Counters&) const = default;
};
Counters Use(const ResourceBudget* b) { return {b->objectUse, b->memoryUse, b->deviceMemoryUse}; }

struct BudgetFixture : testing::Test {
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 4, 1000, 2000);
    ~BudgetFixture() override { ResourceBudgetDestroy(budget); }
};

TEST_F(BudgetFixture, CreateKeepsTheLimitsAndStartsEmpty)
{
    ASSERT_NE(budget, nullptr);
    EXPECT_EQ(budget->objectLimit, 4u);
    EXPECT_EQ(budget->deviceMemoryLimit, 1000u);
    EXPECT_EQ(budget->memoryLimit, 2000u);
    EXPECT_EQ(Use(budget), (Counters{0, 0, 0}));
    EXPECT_EQ(budget->first, nullptr);
    EXPECT_EQ(budget->last, nullptr);
    EXPECT_EQ(budget->markCount, 0u);
}

// Walks the list both ways: the stores in order, links consistent, first and last right.
std::vector<ResourceStore*> Stores(const ResourceBudget* budget)
{
    std::vector<ResourceStore*> forward;
    const ResourceStore* prev = nullptr;
    for (ResourceStore* s = budget->first; s != nullptr; s = s->next) {
        EXPECT_EQ(s->prev, prev);
        EXPECT_EQ(s->budget, budget);
        forward.push_back(s);
        prev = s;
    }
    EXPECT_EQ(budget->last, prev);
    return forward;
}

TEST_F(BudgetFixture, StoresDestroyedInAnyOrderKeepTheListRight)
{
    std::array<int, 3> order = {0, 1, 2};
    do {
        SCOPED_TRACE(testing::Message() << order[0] << order[1] << order[2]);
        std::vector<ResourceStore*> made;
        for (int i = 0; i < 3; ++i) made.push_back(ResourceStoreCreate(budget, nullptr));
        ASSERT_EQ(Stores(budget), made);
        std::vector<ResourceStore*> left = made;
        for (int i : order) {
            ResourceStoreDestroy(made[i]);
            left.erase(std::find(left.begin(), left.end(), made[i]));
            EXPECT_EQ(Stores(budget), left);
        }
        EXPECT_EQ(budget->first, nullptr);
        EXPECT_EQ(budget->last, nullptr);
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(ResourceBudget, DestroyFreesTheStoresLeftInIt)
{
    const int64_t live = RenderAllocLiveBlocks();
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 1, 1, 1);
    MemoryStream memory({1, 2, 3}, false);
    Stream* stream = MemoryStreamOpen(&memory);
    const int64_t withStream = RenderAllocLiveBlocks();
    ResourceStoreCreate(budget, stream);  // forward-only: its spill is a temporary file
    ResourceStoreCreate(budget, nullptr);
    EXPECT_NE(budget->first->spill, nullptr);
    EXPECT_EQ(budget->last->spill, nullptr);
    ResourceBudgetDestroy(budget);
    EXPECT_EQ(RenderAllocLiveBlocks(), withStream - 1);
    StreamClose(stream);
    EXPECT_EQ(RenderAllocLiveBlocks(), live);
}

TEST(ResourceBudget, CreationFailuresLeaveNothingBehind)
{
    const int64_t live = RenderAllocLiveBlocks();
    RenderAllocFailAt(1);
    EXPECT_EQ(ResourceBudgetCreate(nullptr, 1, 1, 1), nullptr);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 1, 1, 1);
    MemoryStream memory({1, 2, 3});
    Stream* stream = MemoryStreamOpen(&memory);
    const int64_t before = RenderAllocLiveBlocks();
    for (uint32_t n : {1u, 2u}) {  // the store, then its spill
        RenderAllocFailAt(n);
        EXPECT_EQ(ResourceStoreCreate(budget, stream), nullptr) << n;
        RenderAllocFailAt(0);
        EXPECT_EQ(RenderAllocLiveBlocks(), before);
        EXPECT_EQ(budget->first, nullptr);
    }
    StreamClose(stream);
    ResourceBudgetDestroy(budget);
    EXPECT_EQ(RenderAllocLiveBlocks(), live);
}

TEST_F(BudgetFixture, PrepareChargesWhatTheRealiseAllocatedAndReleaseCreditsIt)
{
    ResourceStore* store = ResourceStoreCreate(budget, nullptr);
    Thing a, b;
    a.cost = {1, 100, 10};
    b.cost = {2, 0, 500};
    EXPECT_EQ(ResourcePrepare(store, &a, nullptr, nullptr, ThingEstimate, ThingRealise), 1);
    EXPECT_EQ(Use(budget), (Counters{1, 100, 10}));
    EXPECT_EQ(ResourcePrepare(store, &a, nullptr, nullptr, ThingEstimate, ThingRealise), 1);  // ready: no charge
    EXPECT_EQ(ResourcePrepare(store, &b, nullptr, nullptr, ThingEstimate, ThingRealise), 1);
    EXPECT_EQ(Use(budget), (Counters{3, 100, 510}));
    // Without an object only the realise runs and nothing is charged.
    EXPECT_EQ(ResourcePrepare(store, nullptr, nullptr, nullptr, ThingEstimate, ThingRealise), 5);
    EXPECT_EQ(Use(budget), (Counters{3, 100, 510}));
    ResourceReleaseAccount(store, &a, 0, nullptr, ThingRelease);
    EXPECT_EQ(Use(budget), (Counters{2, 0, 500}));
    // A credit larger than the use stops at 0 rather than wrapping.
    ResourceBudgetCharge(budget, ResourceCost{-5, -1, -600});
    EXPECT_EQ(Use(budget), (Counters{0, 0, 0}));
    ResourceBudgetCharge(budget, ResourceCost{INT32_MAX, INT32_MAX, 0});
    ResourceBudgetCharge(budget, ResourceCost{INT32_MAX, INT32_MAX, 0});
    ResourceBudgetCharge(budget, ResourceCost{INT32_MAX, 0, 0});
    EXPECT_EQ(budget->objectUse, UINT32_MAX);
    ResourceStoreDestroy(store);
}

int EstimateDone(void*, void*, void*, BandSurface*, ResourceCost*) { return 7; }
int EstimateNeeded(void*, void*, void*, BandSurface*, ResourceCost* cost)
{
    cost->memory += 64;
    return 0;
}
int RealiseWith(void*, void* object, void* argument, BandSurface*, ResourceCost* tally)
{
    ++static_cast<Thing*>(object)->realiseCalls;
    tally->memory += *static_cast<int32_t*>(argument);
    return 3;
}
int GlyphEstimateDone(void*, void*, BandSurface*, ResourceCost*) { return 1; }
int GlyphEstimateNeeded(void*, void*, BandSurface*, ResourceCost*) { return 0; }
int GlyphRealise(void* font, void*, BandSurface*, ResourceCost* tally)
{
    ++static_cast<Thing*>(font)->realiseCalls;
    tally->objects += 1;
    return 1;
}
void PixelsEstimate(void*, BitmapEntry*, ResourceCost* cost) { cost->memory += 10; }
int PixelsLoad(void*, BitmapEntry* bitmap, ResourceCost* tally)
{
    bitmap->head.flags |= BITMAP_PIXELS_LOADED;
    tally->memory += 10;
    return 1;
}

TEST_F(BudgetFixture, PrepareVariantsSkipWhatIsAlreadyReady)
{
    ResourceStore* store = ResourceStoreCreate(budget, nullptr);
    Thing thing;
    int32_t bytes = 64;
    EXPECT_EQ(ResourcePrepareWith(store, &thing, nullptr, nullptr, &bytes, EstimateDone, RealiseWith), 7);
    EXPECT_EQ(thing.realiseCalls, 0);
    EXPECT_EQ(ResourcePrepareWith(store, &thing, nullptr, nullptr, &bytes, EstimateNeeded, RealiseWith), 3);
    EXPECT_EQ(Use(budget), (Counters{0, 64, 0}));

    GlyphPrepare(store, &thing, nullptr, nullptr, GlyphEstimateDone, GlyphRealise);
    EXPECT_EQ(thing.realiseCalls, 1);
    GlyphPrepare(store, &thing, nullptr, nullptr, GlyphEstimateNeeded, GlyphRealise);
    EXPECT_EQ(thing.realiseCalls, 2);
    EXPECT_EQ(Use(budget), (Counters{1, 64, 0}));

    BitmapEntry bitmap{};
    EXPECT_EQ(BitmapPixelsPrepare(store, &bitmap, nullptr, nullptr, PixelsEstimate, PixelsLoad), 1);
    EXPECT_EQ(BitmapPixelsPrepare(store, &bitmap, nullptr, nullptr, PixelsEstimate, PixelsLoad), 1);
    EXPECT_EQ(Use(budget), (Counters{1, 74, 0}));
    ResourceStoreDestroy(store);
}

uint32_t Family(void* argument, ResourceObject*, ResourceObject** array, uint32_t)
{
    auto* things = static_cast<std::vector<Thing>*>(argument);
    for (size_t i = 0; i < things->size(); ++i) array[i < RESOURCE_MARKS_MAX ? i : 0] = &(*things)[i].head;
    return static_cast<uint32_t>(things->size() + 5);  // claims more than fit: capped
}

TEST_F(BudgetFixture, MarksAreClearedEvenForACommandThatFails)
{
    ResourceStore* store = ResourceStoreCreate(budget, nullptr);
    Thing brush, pen, clip, bitmap;
    brush.head.flags = RESOURCE_REALISED | RESOURCE_GREY;
    // A command marks what it selects, a bitmap whose pixels it reads, then fails to prepare one
    // of them and leaves through its failure path.
    ResourceUseMark(store, &brush.head, RESOURCE_IN_USE);
    ResourceUseMark(store, &pen.head, RESOURCE_IN_USE);
    ResourceUseMark(store, nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, &clip.head, RESOURCE_IN_USE);
    ResourceUseMark(store, &bitmap.head, RESOURCE_IN_USE | RESOURCE_PIXELS_IN_USE | RESOURCE_CONVERTED_IN_USE);
    EXPECT_EQ(budget->markCount, 4u);
    EXPECT_TRUE(ResourceMarked(&bitmap.head));
    ResourceUseClear(store);
    EXPECT_EQ(budget->markCount, 0u);
    for (Thing* t : {&brush, &pen, &clip, &bitmap}) EXPECT_FALSE(ResourceMarked(&t->head));
    EXPECT_EQ(brush.head.flags, RESOURCE_REALISED | RESOURCE_GREY);  // other bits stay

    // A font with more dependents than the list holds: each listed one is marked, nothing is
    // written past the list.
    std::vector<Thing> fonts(RESOURCE_MARKS_MAX);
    ResourceUseMarkAll(store, &fonts[0].head, &fonts, RESOURCE_IN_USE, Family);
    EXPECT_EQ(budget->markCount, RESOURCE_MARKS_MAX);
    Thing ninth;
    ResourceUseMark(store, &ninth.head, RESOURCE_IN_USE);  // still marked, so no trim takes it
    EXPECT_EQ(budget->markCount, RESOURCE_MARKS_MAX);
    EXPECT_TRUE(ResourceMarked(&ninth.head));
    ResourceUseClear(store);
    for (const Thing& f : fonts) EXPECT_FALSE(ResourceMarked(&f.head));
    ResourceUseMarkAll(store, nullptr, &fonts, RESOURCE_IN_USE, Family);
    EXPECT_EQ(budget->markCount, 0u);
    ResourceStoreDestroy(store);
}

TEST(ResourceReferences, CountsNeverWrapBelowZero)
{
    ResourceObject object{1, 0, 0};
    EXPECT_EQ(ResourceRefDrop(&object), 0u);
    ResourceRefAdd(&object);
    ResourceRefAdd(&object);
    EXPECT_EQ(ResourceRefDrop(&object), 1u);
    EXPECT_EQ(ResourceRefDrop(&object), 0u);
    EXPECT_EQ(ResourceRefDrop(&object), 0u);
}

// The counters against a model over random sequences of store creation and destruction,
// prepare, release, marks and trims: they always equal what the live resources were charged,
// never go below 0, nothing marked is freed, and all comes back to 0 once every resource is
// released and every store destroyed.
TEST(ResourceBudgetModel, RandomSequencesKeepTheCountersRight)
{
    std::mt19937 random(16);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        const uint32_t objectLimit = 1 + random() % 6;
        ResourceBudget* budget = ResourceBudgetCreate(nullptr, objectLimit, 1 + random() % 4000, 1 + random() % 8000);
        std::vector<ResourceStore*> stores;
        std::vector<std::unique_ptr<Thing>> things;
        std::vector<Thing*> marked;
        auto model = [&] {
            int64_t o = 0, m = 0, d = 0;
            for (const auto& t : things)
                if (t->realised) o += t->cost.objects, m += t->cost.memory, d += t->cost.deviceMemory;
            return Counters{uint32_t(o), uint32_t(m), uint32_t(d)};
        };
        for (int step = 0; step < 300; ++step) {
            switch (random() % 7) {
                case 0:
                    if (stores.size() < 4) stores.push_back(ResourceStoreCreate(budget, nullptr));
                    break;
                case 1:
                    if (!stores.empty()) {
                        const size_t i = random() % stores.size();
                        ResourceStoreDestroy(stores[i]);
                        stores.erase(stores.begin() + i);
                    }
                    break;
                case 2:
                case 3: {
                    if (stores.empty()) break;
                    auto thing = std::make_unique<Thing>();
                    thing->head.id = static_cast<ResourceId>(things.size() + 1);
                    thing->cost = {int32_t(random() % 3), int32_t(random() % 3000), int32_t(random() % 2000)};
                    EXPECT_EQ(ResourcePrepare(stores[random() % stores.size()], thing.get(), nullptr, nullptr,
                                              ThingEstimate, ThingRealise),
                              1);
                    // A command marks a few objects (the list's overflow is tested on its own).
                    if (random() % 2 && marked.size() < RESOURCE_MARKS_MAX) {
                        ResourceUseMark(stores[0], &thing->head, RESOURCE_IN_USE);
                        marked.push_back(thing.get());
                    }
                    things.push_back(std::move(thing));
                    break;
                }
                case 4:
                    if (!things.empty() && !stores.empty()) {
                        Thing* t = things[random() % things.size()].get();
                        ResourceReleaseAccount(stores[0], t, 1, nullptr, ThingRelease);
                    }
                    break;
                case 5:
                    if (!stores.empty()) {
                        ResourceUseClear(stores[0]);
                        for (Thing* t : marked) EXPECT_FALSE(ResourceMarked(&t->head));
                        marked.clear();
                    }
                    break;
                case 6: {
                    ResourceCost request{int32_t(random() % 4), int32_t(random() % 9000), int32_t(random() % 5000)};
                    const ResourceCost asked = request;
                    std::vector<Thing*> readyAndMarked;
                    for (Thing* t : marked)
                        if (t->realised) readyAndMarked.push_back(t);
                    ResourceStoreTrim(budget, nullptr, &request);
                    // A trim only takes off the request what it freed.
                    EXPECT_LE(request.objects, asked.objects);
                    EXPECT_LE(request.memory, asked.memory);
                    EXPECT_LE(request.deviceMemory, asked.deviceMemory);
                    for (Thing* t : readyAndMarked) EXPECT_TRUE(t->realised);
                    break;
                }
            }
            EXPECT_EQ(Use(budget), model()) << "step " << step;
            EXPECT_LE(budget->markCount, RESOURCE_MARKS_MAX);
        }
        for (auto& t : things) {
            ResourceCost tally{};
            ThingRelease(nullptr, t.get(), 0, &tally);
            ResourceBudgetCharge(budget, tally);
        }
        if (!stores.empty()) ResourceUseClear(stores[0]);
        while (!stores.empty()) {
            ResourceStoreDestroy(stores.back());
            stores.pop_back();
        }
        EXPECT_EQ(Use(budget), (Counters{0, 0, 0}));
        EXPECT_EQ(budget->first, nullptr);
        ResourceBudgetDestroy(budget);
    }
}

}  // namespace
