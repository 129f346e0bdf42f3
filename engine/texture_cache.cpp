#include "engine/texture_cache.h"

#include <cstring>

#include "engine/render_call.h"

TextureCache* TextureCacheCreate(uint32_t entryCount, uint32_t byteBudget) {
    if (entryCount == 0) return nullptr;
    const uint64_t bytes = sizeof(TextureCache) + static_cast<uint64_t>(entryCount) * sizeof(TextureCacheEntry);
    if (bytes > SIZE_MAX) return nullptr;
    auto* cache = static_cast<TextureCache*>(RenderAlloc(static_cast<size_t>(bytes)));
    if (cache == nullptr) return nullptr;
    cache->mode = TEXTURE_MODE_COLOR;
    cache->budget = byteBudget;
    cache->entryCount = entryCount;
    cache->entries = reinterpret_cast<TextureCacheEntry*>(cache + 1);
    for (uint32_t i = 0; i + 1 < entryCount; ++i) cache->entries[i].next = &cache->entries[i + 1];
    cache->freeList = &cache->entries[0];
    return cache;
}

void* TextureCacheBlockAlloc(TextureCache* cache, uint32_t size) {
    const uint32_t charge = cache->mode == TEXTURE_MODE_COLOR ? size : 0;
    auto* head = static_cast<TextureBlockHead*>(RenderAlloc(static_cast<size_t>(size) + sizeof(TextureBlockHead)));
    if (head == nullptr) return nullptr;
    std::memcpy(head->tag, TEXTURE_BLOCK_TAG, sizeof(head->tag));
    head->charge = charge;
    cache->used += charge;
    return head + 1;
}

void TextureCacheBlockFree(TextureCache* cache, void* block) {
    if (block == nullptr) return;
    auto* head = static_cast<TextureBlockHead*>(block) - 1;
    cache->used -= head->charge < cache->used ? head->charge : cache->used;
    RenderFree(head);
}

// A plane's data belongs to the entry unless it is a solid colour or lent by the caller.
static void EntryPlanesFree(TextureCache* cache, TextureCacheEntry* entry) {
    for (ImxPlane& plane : entry->texture.planes) {
        if ((plane.flags & (IMX_PLANE_SOLID | IMX_PLANE_BORROWED)) == 0 && plane.data != nullptr)
            TextureCacheBlockFree(cache, plane.data);
        plane.data = nullptr;
    }
}

void TextureCacheDestroy(TextureCache* cache) {
    if (cache == nullptr) return;
    for (TextureCacheEntry* entry = cache->mostRecent; entry != nullptr; entry = entry->older)
        EntryPlanesFree(cache, entry);
    RenderFree(cache);
}
