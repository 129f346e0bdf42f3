// The texture cache against a plain least-recently-used model under random operation sequences,
// and its directed cases: eviction order, lookup kinds, the render key, charges and tags.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "rastrel/imx.h"

namespace {

struct SlotScript {
    uint8_t kindWritten = 1;
    bool fail = false;
    uint32_t rows = 4;
};
SlotScript gSlot;

// A module slot that fills one 1-bit plane of 32 x rows in texture memory.
ImxStatus ScriptedColorSlot(ImoInstance instance, uint32_t formatId, uint8_t* flag, const uint8_t* color,
                            ImxTexture* texture)
{
    auto* context = static_cast<OutputModuleContext*>(instance);
    *flag = gSlot.kindWritten;
    texture->formatId = formatId;
    texture->planeCount = 1;
    ImxPlane& plane = texture->planes[0];
    plane.depth = 1;
    plane.dataPresent = 1;
    plane.width = 32;
    plane.height = gSlot.rows;
    plane.stride = 4;
    plane.data = static_cast<uint8_t*>(ImxTextureAlloc(context, 4 * gSlot.rows));
    if (plane.data == nullptr) return IMX_ERR_NO_MEMORY;
    for (uint32_t i = 0; i < 4 * gSlot.rows; ++i) plane.data[i] = static_cast<uint8_t>(color[0] + i);
    return gSlot.fail ? -7 : IMX_OK;
}

struct Host {
    TextureCache* cache;
    OutputModuleContext context{};
    ImxImageFormat format{};
    Host(uint32_t entries, uint32_t budget) : cache(TextureCacheCreate(entries, budget))
    {
        context.textureCache = cache;
        context.instance = &context;
        context.slots.HalftoneColor = ScriptedColorSlot;
        format.formatId = OCM_COLOR_GRAY1;
        format.planeCount = 1;
        format.planes[0].depth = 1;
    }
    ~Host() { TextureCacheDestroy(cache); }
    TextureCacheEntry* Add(uint32_t key, uint8_t kind, uint32_t rows = 4)
    {
        gSlot = {kind, false, rows};
        TextureColorRequest request{};
        request.flag = kind;
        request.color = key;
        return TextureCacheColorAdd(cache, &context, &format, key, &request);
    }
};

const TextureBlockHead* HeadOf(const void* block) { return static_cast<const TextureBlockHead*>(block) - 1; }

bool KindMatches(uint8_t have, uint8_t want)
{
    return want == 0 || have == 255 ||
           ((have & want & 0x0F) != 0 && ((have & 0xF0) == 0xF0 || (have & 0xF0) == (want & 0xF0)));
}

struct ModelEntry {
    uint32_t key;
    uint8_t kind;
    uint32_t bytes;
    uint64_t added;
};

// Oldest first.
std::vector<ModelEntry> CacheOrder(const TextureCache* cache)
{
    std::vector<ModelEntry> order;
    for (const TextureCacheEntry* e = cache->leastRecent; e != nullptr; e = e->newer)
        order.push_back({e->key, e->kind, e->texture.planes[0].height * 4, 0});
    return order;
}

TEST(TextureCache, AgreesWithALeastRecentlyUsedModel)
{
    std::mt19937 random(3);
    for (int run = 0; run < 40; ++run) {
        const uint32_t entries = 1 + random() % 6;
        const uint32_t budget = 64 + random() % 400;
        Host host(entries, budget);
        std::vector<ModelEntry> model;  // oldest first
        uint64_t sequence = 0;
        uint32_t renderKey[2] = {0, 0};
        uint32_t modelUsed = 0;
        bool made = false;
        auto evictOldest = [&] {
            modelUsed -= model.front().bytes;
            model.erase(model.begin());
        };
        for (int step = 0; step < 300; ++step) {
            const uint32_t op = random() % 20;
            const uint32_t key = (random() % 12) * 0x010101u;  // several keys share a bucket
            const uint8_t kinds[] = {0x01, 0x02, 0x13, 0x21, 0xF1, 0xFF};
            const uint8_t kind = kinds[random() % 6];
            if (op < 12) {
                // Look up; make the texture when it is missing, as the band renderers do.
                const uint8_t want = random() % 4 == 0 ? 0 : kind;
                auto match = model.end();
                for (auto it = model.begin(); it != model.end(); ++it)
                    if (it->key == key && KindMatches(it->kind, want) &&
                        (match == model.end() || it->added > match->added))
                        match = it;
                TextureCacheEntry* found = TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, want, key);
                ASSERT_EQ(found != nullptr, match != model.end());
                if (found != nullptr) {
                    EXPECT_EQ(found->key, key);
                    ModelEntry moved = *match;
                    model.erase(match);
                    model.push_back(moved);
                    continue;
                }
                const uint32_t rows = 1 + random() % 30;
                const bool fail = random() % 10 == 0;
                // Taking an entry evicts the oldest when none is free; the texture memory then
                // evicts while the budget is exceeded.
                if (model.size() == entries) evictOldest();
                while (modelUsed + rows * 4 > budget && !model.empty()) evictOldest();
                gSlot = {kind, fail, rows};
                made = true;
                TextureColorRequest request{};
                request.flag = kind;
                request.color = key;
                TextureCacheEntry* added = TextureCacheColorAdd(host.cache, &host.context, &host.format, key, &request);
                ASSERT_EQ(added == nullptr, fail);
                if (!fail) {
                    model.push_back({key, kind, rows * 4, ++sequence});
                    modelUsed += rows * 4;
                    EXPECT_EQ(memcmp(HeadOf(added->texture.planes[0].data)->tag, "xTmI", 4), 0);
                    EXPECT_EQ(HeadOf(added->texture.planes[0].data)->charge, rows * 4);
                }
            } else if (op < 15) {
                if (model.empty()) continue;
                const size_t pick = random() % model.size();
                TextureCacheEntry* entry = TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0, model[pick].key);
                ASSERT_NE(entry, nullptr);
                // The lookup found the newest entry of that key and made it the most recent.
                auto it = std::max_element(model.begin(), model.end(), [&](const ModelEntry& a, const ModelEntry& b) {
                    return (a.key == model[pick].key ? a.added : 0) < (b.key == model[pick].key ? b.added : 0);
                });
                modelUsed -= it->bytes;
                model.erase(it);
                TextureCacheRelease(host.cache, entry);
            } else if (op < 16) {
                TextureCacheFlush(host.cache);
                model.clear();
                modelUsed = 0;
            } else {
                const uint32_t next[2] = {static_cast<uint32_t>(random() % 3), static_cast<uint32_t>(random() % 2)};
                if (renderKey[0] != 0 && (renderKey[0] != next[0] || renderKey[1] != next[1])) {
                    model.clear();
                    modelUsed = 0;
                }
                renderKey[0] = next[0];
                renderKey[1] = next[1];
                TextureCacheKeySet(host.cache, next);
            }
            ASSERT_EQ(host.cache->used, modelUsed) << "run " << run << " step " << step;
            const std::vector<ModelEntry> order = CacheOrder(host.cache);
            ASSERT_EQ(order.size(), model.size());
            for (size_t i = 0; i < order.size(); ++i) {
                ASSERT_EQ(order[i].key, model[i].key);
                ASSERT_EQ(order[i].kind, model[i].kind);
            }
            // Colour mode from creation until the first texture is made, idle after every one.
            ASSERT_EQ(host.cache->mode, made ? TEXTURE_MODE_IDLE : TEXTURE_MODE_COLOR);
        }
    }
}

TEST(TextureCache, TwoEntriesEvictTheLeastRecentlyUsed)
{
    Host host(2, 1u << 20);
    ASSERT_NE(host.Add(1, 1), nullptr);
    ASSERT_NE(host.Add(2, 1), nullptr);
    ASSERT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 1), nullptr);
    ASSERT_NE(host.Add(3, 1), nullptr);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 2), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 1), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0, 3), nullptr);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY8, 0, 3), nullptr);
}

TEST(TextureCache, KindsMatchAsTheFlagByteSays)
{
    Host host(4, 1u << 20);
    ASSERT_NE(host.Add(5, 0x21), nullptr);
    ASSERT_NE(host.Add(6, 0xFF), nullptr);
    ASSERT_NE(host.Add(7, 0xF2), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0, 5), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x23, 5), nullptr);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x13, 5), nullptr);  // other high nibble
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x22 & 0xF2 & 0x2E, 5), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x34, 6), nullptr);  // 255 is any
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x52, 7), nullptr);  // 0xF0 any family
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 0x51, 7), nullptr);
}

TEST(TextureCache, RenderKeyFlushesOnlyOnAChange)
{
    Host host(4, 1u << 20);
    const uint32_t first[2] = {1, 2};
    const uint32_t second[2] = {1, 3};
    TextureCacheKeySet(host.cache, first);
    ASSERT_NE(host.Add(9, 1), nullptr);
    TextureCacheKeySet(host.cache, first);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 9), nullptr);
    TextureCacheKeySet(host.cache, second);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 9), nullptr);
    EXPECT_EQ(host.cache->used, 0u);
}

TEST(TextureCache, OnlyColourTextureMemoryIsCharged)
{
    Host host(2, 100);
    host.cache->mode = TEXTURE_MODE_IDLE;
    void* idle = TextureCacheBlockAlloc(host.cache, 500);
    EXPECT_EQ(HeadOf(idle)->charge, 0u);
    host.cache->mode = TEXTURE_MODE_COLOR;
    void* charged = TextureCacheBlockAlloc(host.cache, 500);  // over budget with nothing to evict
    ASSERT_NE(charged, nullptr);
    EXPECT_EQ(host.cache->used, 500u);
    TextureCacheBlockFree(host.cache, idle);
    EXPECT_EQ(host.cache->used, 500u);
    TextureCacheBlockFree(host.cache, charged);
    EXPECT_EQ(host.cache->used, 0u);
    TextureCacheBlockFree(host.cache, nullptr);
}

TEST(TextureCache, ColourTextureRowsAreWordSwapped)
{
    Host host(2, 1u << 20);
    TextureCacheEntry* entry = host.Add(0x10, 1, 1);
    ASSERT_NE(entry, nullptr);
    const uint8_t* row = entry->texture.planes[0].data;
    EXPECT_EQ(row[0], 0x13);
    EXPECT_EQ(row[3], 0x10);
}

TEST(TextureCache, BuiltInSlotsReachTheCache)
{
    TextureCache* cache = TextureCacheCreate(2, 1000);
    OutputModuleContext context{};
    context.textureCache = cache;
    ImxImageFormat format{};
    format.formatId = OCM_COLOR_BGR24;
    format.planeCount = 1;
    format.planes[0].depth = 24;
    TextureColorRequest request{};
    request.color = 0x00336699;
    TextureCacheEntry* color = TextureCacheColorAdd(cache, &context, &format, request.color, &request);
    ASSERT_NE(color, nullptr);
    EXPECT_EQ(color->kind, 255);
    EXPECT_EQ(color->texture.planes[0].flags & IMX_PLANE_SOLID, IMX_PLANE_SOLID);
    EXPECT_EQ(TextureCacheLookup(cache, OCM_COLOR_BGR24, 3, request.color), color);
    uint8_t bits[12] = {};
    const int32_t origin[2] = {5, 6};
    const uint32_t size[2] = {4, 1};
    TextureCacheEntry* image = TextureCacheImageAdd(cache, &context, &format, 2, bits, 12, origin, size);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->state, 0);
    EXPECT_EQ(image->texture.planes[0].data, bits);
    EXPECT_EQ(image->texture.x, 5);
    TextureCacheRelease(cache, image);
    EXPECT_EQ(TextureCacheLookup(cache, OCM_COLOR_BGR24, 3, request.color), color);
    TextureCacheDestroy(cache);
}

}  // namespace

namespace {

// A pool bigger than the first batch hands its entries out in order, as if all were on the free
// list from the start, and links only the entries a job has reached.
TEST(TextureCachePool, EntriesAreTakenInOrderAndLinkedAsNeeded)
{
    Host host(200, 1u << 20);
    EXPECT_EQ(host.cache->entriesLinked, TEXTURE_ENTRIES_LINKED_AT_ONCE);
    for (uint32_t i = 0; i < 200; ++i) {
        TextureCacheEntry* entry = host.Add(0x1000 + i, 1);
        ASSERT_EQ(entry, &host.cache->entries[i]) << i;
        EXPECT_EQ(host.cache->entriesLinked,
                  std::min(200u, (i / TEXTURE_ENTRIES_LINKED_AT_ONCE + 1) * TEXTURE_ENTRIES_LINKED_AT_ONCE));
    }
    // A released entry is taken again first; with none free the oldest cached one is.
    TextureCacheRelease(host.cache, &host.cache->entries[70]);
    EXPECT_EQ(host.Add(0x5000, 1), &host.cache->entries[70]);
    EXPECT_EQ(host.Add(0x5001, 1), &host.cache->entries[0]);
    EXPECT_EQ(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 0x1000), nullptr);
    EXPECT_NE(TextureCacheLookup(host.cache, OCM_COLOR_GRAY1, 1, 0x1001), nullptr);

    Host big(32768, 1u << 20);
    EXPECT_EQ(big.cache->entriesLinked, TEXTURE_ENTRIES_LINKED_AT_ONCE);
    EXPECT_EQ(big.Add(7, 1), &big.cache->entries[0]);
}

}  // namespace
