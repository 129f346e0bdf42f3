// The job objects the render call makes for other parts: texture cache, band memory, resource
// budget and form table, with the records they start with.
#include <gtest/gtest.h>

#include <cstring>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/page/form_table.h"
#include "engine/raster/band_plan.h"
#include "engine/raster/texture_cache.h"

namespace {

TEST(TextureCache, StartsWithEveryEntryFreeInOrder)
{
    EXPECT_EQ(TextureCacheCreate(0, 100), nullptr);
    TextureCache* cache = TextureCacheCreate(3, 1000);
    ASSERT_NE(cache, nullptr);
    EXPECT_EQ(cache->mode, TEXTURE_MODE_COLOR);
    EXPECT_EQ(cache->budget, 1000u);
    EXPECT_EQ(cache->used, 0u);
    EXPECT_EQ(cache->freeList, &cache->entries[0]);
    EXPECT_EQ(cache->entries[0].next, &cache->entries[1]);
    EXPECT_EQ(cache->entries[1].next, &cache->entries[2]);
    EXPECT_EQ(cache->entries[2].next, nullptr);
    EXPECT_EQ(cache->mostRecent, nullptr);
    for (TextureCacheEntry* bucket : cache->buckets) EXPECT_EQ(bucket, nullptr);
    TextureCacheDestroy(cache);
    TextureCacheDestroy(nullptr);
}

TEST(TextureCache, ChargesBlocksMadeForColours)
{
    TextureCache* cache = TextureCacheCreate(2, 1000);
    ASSERT_NE(cache, nullptr);
    auto* block = static_cast<uint8_t*>(TextureCacheBlockAlloc(cache, 300));
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(std::memcmp(block - 8, "xTmI", 4), 0);
    EXPECT_EQ(cache->used, 300u);
    cache->mode = TEXTURE_MODE_IMAGE;
    void* uncharged = TextureCacheBlockAlloc(cache, 500);
    EXPECT_EQ(cache->used, 300u);
    TextureCacheBlockFree(cache, uncharged);
    EXPECT_EQ(cache->used, 300u);
    TextureCacheBlockFree(cache, nullptr);

    // A cached entry's own plane data goes with the cache; solid and borrowed planes are not its own.
    TextureCacheEntry* entry = &cache->entries[0];
    entry->state = TEXTURE_ENTRY_CACHED;
    cache->mostRecent = cache->leastRecent = entry;
    entry->texture.planes[0].data = block;
    uint8_t lent[4];
    entry->texture.planes[1].data = lent;
    entry->texture.planes[1].flags = IMX_PLANE_BORROWED;
    const int64_t live = RenderAllocLiveBlocks();
    TextureCacheDestroy(cache);
    EXPECT_EQ(RenderAllocLiveBlocks(), live - 2);
}

TEST(BandMemory, RoundsTheBudgetToWholePages)
{
    const std::pair<uint32_t, uint32_t> cases[] = {
        {0, 0}, {1, 4096}, {4096, 4096}, {4097, 8192}, {8u << 20, 8u << 20}, {0xFFFFFFFF, 0xFFFFF000},
    };
    OutputModuleContext context{};
    for (const auto& [given, budget] : cases) {
        BandMemory* memory = BandMemoryCreate(&context, given);
        ASSERT_NE(memory, nullptr);
        EXPECT_EQ(memory->budget, budget) << given;
        EXPECT_EQ(memory->job, &context);
        EXPECT_EQ(memory->workBuffer, nullptr);
        EXPECT_EQ(memory->workCapacity, 0u);
        BandMemoryDestroy(memory);
    }
    BandMemoryDestroy(nullptr);
}

TEST(ResourceBudget, KeepsItsLimitsAndStartsUnused)
{
    OutputModuleContext context{};
    ResourceBudget* budget = ResourceBudgetCreate(&context, 256, 4u << 20, 64u << 20);
    ASSERT_NE(budget, nullptr);
    EXPECT_EQ(budget->objectLimit, 256u);
    EXPECT_EQ(budget->deviceMemoryLimit, 4u << 20);
    EXPECT_EQ(budget->memoryLimit, 64u << 20);
    EXPECT_EQ(budget->objectUse + budget->memoryUse + budget->deviceMemoryUse + budget->markCount, 0u);
    EXPECT_EQ(budget->device, &context);
    EXPECT_EQ(budget->first, nullptr);

    FormTable* forms = FormTableCreate(budget);
    ASSERT_NE(forms, nullptr);
    EXPECT_EQ(forms->budget, budget);
    EXPECT_EQ(forms->count, 0u);
    FormTableDestroy(forms);
    FormTableDestroy(nullptr);
    ResourceBudgetDestroy(budget);
    ResourceBudgetDestroy(nullptr);
}

}  // namespace
