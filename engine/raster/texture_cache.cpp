#include "engine/raster/texture_cache.h"

#include <algorithm>
#include <cstring>

#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/raster/rotate.h"

static void TextureCacheEntriesLink(TextureCache* cache);

TextureCache* TextureCacheCreate(uint32_t entryCount, uint32_t byteBudget)
{
    if (entryCount == 0) return nullptr;
    const uint64_t bytes = sizeof(TextureCache) + static_cast<uint64_t>(entryCount) * sizeof(TextureCacheEntry);
    if (bytes > SIZE_MAX) return nullptr;
    auto* cache = static_cast<TextureCache*>(RenderAlloc(static_cast<size_t>(bytes)));
    if (cache == nullptr) return nullptr;
    cache->mode = TEXTURE_MODE_COLOR;
    cache->budget = byteBudget;
    cache->entryCount = entryCount;
    cache->entries = reinterpret_cast<TextureCacheEntry*>(cache + 1);
    TextureCacheEntriesLink(cache);
    return cache;
}

// Puts the next entries never used on the (empty) free list, in order. The block came zeroed from
// calloc, so the pages of entries not yet linked stay untouched.
static void TextureCacheEntriesLink(TextureCache* cache)
{
    const uint32_t first = cache->entriesLinked;
    const uint32_t count = std::min(cache->entryCount - first, TEXTURE_ENTRIES_LINKED_AT_ONCE);
    if (count == 0) return;
    TextureCacheEntry* entries = cache->entries + first;
    for (uint32_t i = 0; i + 1 < count; ++i) entries[i].next = &entries[i + 1];
    entries[count - 1].next = cache->freeList;
    cache->freeList = entries;
    cache->entriesLinked = first + count;
}

void* TextureCacheBlockAlloc(TextureCache* cache, uint32_t size)
{
    const uint32_t charge = cache->mode == TEXTURE_MODE_COLOR ? size : 0;
    // The budget is a target: when nothing cached is left to evict the block is still given.
    while (charge != 0 && uint64_t{cache->used} + size > cache->budget && cache->leastRecent != nullptr)
        TextureCacheEvictOldest(cache);
    auto* head = static_cast<TextureBlockHead*>(RenderAlloc(static_cast<size_t>(size) + sizeof(TextureBlockHead)));
    if (head == nullptr) return nullptr;
    std::memcpy(head->tag, TEXTURE_BLOCK_TAG, sizeof(head->tag));
    head->charge = charge;
    cache->used += charge;
    return head + 1;
}

void TextureCacheBlockFree(TextureCache* cache, void* block)
{
    if (block == nullptr) return;
    auto* head = static_cast<TextureBlockHead*>(block) - 1;
    cache->used -= head->charge < cache->used ? head->charge : cache->used;
    RenderFree(head);
}

// A plane's data belongs to the entry unless it is a solid colour or lent by the caller.
static void EntryPlanesFree(TextureCache* cache, TextureCacheEntry* entry)
{
    for (ImxPlane& plane : entry->texture.planes) {
        if ((plane.flags & (IMX_PLANE_SOLID | IMX_PLANE_BORROWED)) == 0 && plane.data != nullptr)
            TextureCacheBlockFree(cache, plane.data);
        plane.data = nullptr;
    }
}

void TextureCacheDestroy(TextureCache* cache)
{
    if (cache == nullptr) return;
    for (TextureCacheEntry* entry = cache->mostRecent; entry != nullptr; entry = entry->older)
        EntryPlanesFree(cache, entry);
    RenderFree(cache);
}

namespace {

void RecentUnlink(TextureCache* cache, TextureCacheEntry* entry)
{
    if (entry->older != nullptr) entry->older->newer = entry->newer;
    else cache->leastRecent = entry->newer;
    if (entry->newer != nullptr) entry->newer->older = entry->older;
    else cache->mostRecent = entry->older;
    entry->older = entry->newer = nullptr;
}

void RecentPushNewest(TextureCache* cache, TextureCacheEntry* entry)
{
    entry->older = cache->mostRecent;
    entry->newer = nullptr;
    if (cache->mostRecent != nullptr) cache->mostRecent->newer = entry;
    else cache->leastRecent = entry;
    cache->mostRecent = entry;
}

void BucketUnlink(TextureCache* cache, TextureCacheEntry* entry)
{
    for (TextureCacheEntry** link = &cache->buckets[TextureCacheBucket(entry->key)]; *link != nullptr;
         link = &(*link)->next) {
        if (*link == entry) {
            *link = entry->next;
            break;
        }
    }
    entry->next = nullptr;
}

// Takes a cached entry out of its bucket and the recently-used list and frees its plane data.
void CachedEntryDrop(TextureCache* cache, TextureCacheEntry* entry)
{
    RecentUnlink(cache, entry);
    BucketUnlink(cache, entry);
    entry->state = 0;
    EntryPlanesFree(cache, entry);
}

void FreeListPush(TextureCache* cache, TextureCacheEntry* entry)
{
    entry->next = cache->freeList;
    cache->freeList = entry;
}

// A zeroed entry from the free list (refilled with entries never used), or the least recently
// used cached one.
TextureCacheEntry* TextureCacheEntryGet(TextureCache* cache)
{
    if (cache->freeList == nullptr) TextureCacheEntriesLink(cache);
    TextureCacheEntry* entry = cache->freeList;
    if (entry != nullptr) {
        cache->freeList = entry->next;
    } else {
        entry = cache->leastRecent;
        if (entry == nullptr) return nullptr;
        CachedEntryDrop(cache, entry);
    }
    std::memset(entry, 0, sizeof(*entry));
    return entry;
}

// Failure of an add: the entry's own memory and the entry go back.
TextureCacheEntry* EntryGiveBack(TextureCache* cache, TextureCacheEntry* entry)
{
    EntryPlanesFree(cache, entry);
    std::memset(entry, 0, sizeof(*entry));
    FreeListPush(cache, entry);
    cache->mode = TEXTURE_MODE_IDLE;
    return nullptr;
}

// Planes that want the format's inversion resolved get blank (inverted plane) or full.
void InversionResolve(const ImxImageFormat* format, ImxTexture* texture)
{
    for (uint32_t i = 0; i < IMX_MAX_PLANES && i < format->planeCount; ++i) {
        ImxPlane& plane = texture->planes[i];
        if ((plane.flags & 0x10) == 0) continue;
        plane.flags |= (format->planes[i].flags & IMX_PLANE_FORMAT_INVERTED) != 0 ? IMX_PLANE_BLANK : IMX_PLANE_FULL;
    }
}

}  // namespace

void TextureCacheEvictOldest(TextureCache* cache)
{
    TextureCacheEntry* entry = cache->leastRecent;
    if (entry == nullptr) return;
    CachedEntryDrop(cache, entry);
    std::memset(entry, 0, sizeof(*entry));
    FreeListPush(cache, entry);
}

TextureCacheEntry* TextureCacheLookup(TextureCache* cache, uint32_t formatId, uint8_t kind, uint32_t key)
{
    for (TextureCacheEntry* entry = cache->buckets[TextureCacheBucket(key)]; entry != nullptr; entry = entry->next) {
        if (entry->key != key || entry->texture.formatId != formatId) continue;
        const uint8_t have = entry->kind;
        const bool matches = kind == 0 || have == 255 ||
                             ((have & kind & 0x0F) != 0 && ((have & 0xF0) == 0xF0 || (have & 0xF0) == (kind & 0xF0)));
        if (!matches) continue;
        RecentUnlink(cache, entry);
        RecentPushNewest(cache, entry);
        return entry;
    }
    return nullptr;
}

TextureCacheEntry* TextureCacheColorAdd(TextureCache* cache, OutputModuleContext* context, const ImxImageFormat* format,
                                        uint32_t key, TextureColorRequest* request)
{
    TextureCacheEntry* entry = TextureCacheEntryGet(cache);
    if (entry == nullptr) return nullptr;
    cache->mode = TEXTURE_MODE_COLOR;
    ImoHalftoneColorFn slot =
        context->slots.HalftoneColor != nullptr ? context->slots.HalftoneColor : HalftoneColorDefault;
    const ImxStatus status = slot(context->instance, format->formatId, &request->flag,
                                  reinterpret_cast<const uint8_t*>(&request->color), &entry->texture);
    if (status != IMX_OK) return EntryGiveBack(cache, entry);
    for (ImxPlane& plane : entry->texture.planes) {
        if ((plane.flags & IMX_PLANE_BORROWED) != 0 && plane.depth < 8 && plane.dataPresent != 0 &&
            plane.data != nullptr) {
            // Borrowed bits would dangle once the slot's caller moves on: keep a copy of our own.
            const uint32_t stride = static_cast<uint32_t>((uint64_t{plane.width} * plane.depth + 31) / 32 * 4);
            const uint64_t bytes = uint64_t{stride} * plane.height;
            auto* copy = bytes > UINT32_MAX
                             ? nullptr
                             : static_cast<uint8_t*>(TextureCacheBlockAlloc(cache, static_cast<uint32_t>(bytes)));
            if (copy == nullptr) {
                plane.data = nullptr;  // still the caller's
                return EntryGiveBack(cache, entry);
            }
            const uint32_t rowBytes = plane.stride < stride ? plane.stride : stride;
            for (uint32_t y = 0; y < plane.height; ++y)
                std::memcpy(copy + static_cast<size_t>(y) * stride, plane.data + static_cast<size_t>(y) * plane.stride,
                            rowBytes);
            plane.data = copy;
            plane.stride = stride;
            plane.flags &= static_cast<uint8_t>(~IMX_PLANE_BORROWED);
        }
    }
    InversionResolve(format, &entry->texture);
    entry->key = key;
    entry->kind = request->flag;
    for (ImxPlane& plane : entry->texture.planes) {
        if ((plane.flags & IMX_PLANE_SOLID) != 0 || plane.depth >= 8 || plane.data == nullptr || plane.dataPresent == 0)
            continue;
        BltBitmap rows{};
        rows.bits = plane.data;
        rows.stride = static_cast<int32_t>(plane.stride);
        rows.width = static_cast<int32_t>(plane.width);
        rows.height = static_cast<int32_t>(plane.height);
        rows.bpp = plane.depth;
        BitmapSwapWords(&rows);
    }
    entry->state = TEXTURE_ENTRY_CACHED;
    TextureCacheEntry*& bucket = cache->buckets[TextureCacheBucket(key)];
    entry->next = bucket;
    bucket = entry;
    RecentPushNewest(cache, entry);
    cache->mode = TEXTURE_MODE_IDLE;
    return entry;
}

TextureCacheEntry* TextureCacheImageAdd(TextureCache* cache, OutputModuleContext* context, const ImxImageFormat* format,
                                        uint8_t flag, const uint8_t* bits, uint32_t stride, const int32_t origin[2],
                                        const uint32_t size[2])
{
    TextureCacheEntry* entry = TextureCacheEntryGet(cache);
    if (entry == nullptr) return nullptr;
    entry->kind = flag;
    entry->texture.formatId = format->formatId;
    cache->mode = TEXTURE_MODE_IMAGE;
    ImxImage source{};
    source.formatId = format->formatId;
    source.x = origin[0];
    source.y = origin[1];
    source.width = size[0];
    source.height = size[1];
    source.planeCount = 1;
    source.planes[0].depth = static_cast<uint8_t>(format->planes[0].depth);
    source.planes[0].dataPresent = 1;
    source.planes[0].width = size[0];
    source.planes[0].height = size[1];
    source.planes[0].stride = stride;
    source.planes[0].data = const_cast<uint8_t*>(bits);
    ImoHalftoneImageFn slot =
        context->slots.HalftoneImage != nullptr ? context->slots.HalftoneImage : HalftoneImageDefault;
    if (slot(context->instance, flag, &source, &entry->texture) != IMX_OK) return EntryGiveBack(cache, entry);
    InversionResolve(format, &entry->texture);
    cache->mode = TEXTURE_MODE_IDLE;
    return entry;
}

void TextureCacheRelease(TextureCache* cache, TextureCacheEntry* entry)
{
    if (entry == nullptr) return;
    if ((entry->state & TEXTURE_ENTRY_CACHED) != 0) CachedEntryDrop(cache, entry);
    else EntryPlanesFree(cache, entry);
    std::memset(entry, 0, sizeof(*entry));
    FreeListPush(cache, entry);
}

void TextureCacheFlush(TextureCache* cache)
{
    while (cache->leastRecent != nullptr) TextureCacheEvictOldest(cache);
}

void TextureCacheKeySet(TextureCache* cache, const uint32_t key[2])
{
    if (cache->renderKey[0] != 0 && (cache->renderKey[0] != key[0] || cache->renderKey[1] != key[1]))
        TextureCacheFlush(cache);
    cache->renderKey[0] = key[0];
    cache->renderKey[1] = key[1];
}
