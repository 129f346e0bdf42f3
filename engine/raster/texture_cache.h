// The job's texture cache: halftoned textures of flat colours kept by key in 512 hash buckets with
// a least-recently-used order, and the texture memory that the output module fills them with,
// charged against a byte budget.
#pragma once

#include <cstddef>
#include <cstdint>

#include "rastrel/imx_types.h"

inline constexpr uint32_t TEXTURE_CACHE_BUCKETS = 512;

inline constexpr uint32_t TEXTURE_MODE_IDLE = 0;  // texture memory is not charged
inline constexpr uint32_t TEXTURE_MODE_COLOR = 1;  // a colour texture is being made: charged
inline constexpr uint32_t TEXTURE_MODE_IMAGE = 2;  // an image texture is being made

inline constexpr uint8_t TEXTURE_ENTRY_CACHED = 0x1;  // in a bucket and the recently-used list

struct TextureCacheEntry {
    ImxTexture texture;
    TextureCacheEntry* next;  // bucket chain or free list
    TextureCacheEntry* older;  // recently-used list
    TextureCacheEntry* newer;
    uint8_t kind;  // the flag byte the module's slot wrote (255 = any)
    uint8_t state;  // TEXTURE_ENTRY_*
    uint16_t reserved;
    uint32_t key;  // the colour of a colour texture
};
static_assert(sizeof(TextureCacheEntry) == 368);
static_assert(offsetof(TextureCacheEntry, texture) == 0);
static_assert(offsetof(TextureCacheEntry, next) == 336);
static_assert(offsetof(TextureCacheEntry, older) == 344);
static_assert(offsetof(TextureCacheEntry, newer) == 352);
static_assert(offsetof(TextureCacheEntry, kind) == 360);
static_assert(offsetof(TextureCacheEntry, state) == 361);
static_assert(offsetof(TextureCacheEntry, key) == 364);

struct TextureCache {
    uint32_t mode;  // TEXTURE_MODE_*
    uint32_t budget;  // bytes
    uint32_t used;  // bytes of charged texture memory
    uint32_t renderKey[2];  // 0 = none yet
    uint32_t entryCount;
    TextureCacheEntry* freeList;
    TextureCacheEntry* leastRecent;
    TextureCacheEntry* mostRecent;
    TextureCacheEntry* buckets[TEXTURE_CACHE_BUCKETS];
    TextureCacheEntry* entries;  // entryCount entries, allocated with the cache
    uint32_t entriesLinked;  // entries put on the free list so far, in order
    uint32_t reserved;
};
static_assert(offsetof(TextureCache, freeList) == 24);
static_assert(offsetof(TextureCache, buckets) == 48);
static_assert(offsetof(TextureCache, entriesLinked) == 48 + TEXTURE_CACHE_BUCKETS * 8 + 8);
static_assert(sizeof(TextureCache) == 48 + TEXTURE_CACHE_BUCKETS * 8 + 16);

// Entries join the free list this many at a time, in order, as it runs dry: a job that uses a few
// textures never touches the memory of the rest of the pool.
inline constexpr uint32_t TEXTURE_ENTRIES_LINKED_AT_ONCE = 64;

// Head of a texture memory block: "xTmI" and the bytes charged against the budget.
struct TextureBlockHead {
    uint8_t tag[4];
    uint32_t charge;
};
static_assert(sizeof(TextureBlockHead) == 8);

inline constexpr uint8_t TEXTURE_BLOCK_TAG[4] = {'x', 'T', 'm', 'I'};

// The cache and its entries in one block, mode colour. The entries are taken in order: the first
// ones are on the free list, the others join it as it runs dry. Null when memory is short or the
// entry count is 0.
TextureCache* TextureCacheCreate(uint32_t entryCount, uint32_t byteBudget);
// Frees the owned plane data of every cached entry, then the cache. Null does nothing.
void TextureCacheDestroy(TextureCache* cache);

// Texture memory: 8 bytes of head before the caller's bytes; charged in colour mode.
void* TextureCacheBlockAlloc(TextureCache* cache, uint32_t size);
void TextureCacheBlockFree(TextureCache* cache, void* block);

// ---- Lookup and the textures the output module makes ----
struct OutputModuleContext;

// The colour request handed to the HalftoneColor slot: the flag byte first, the colour at byte 8.
struct TextureColorRequest {
    uint8_t flag;
    uint8_t reserved[7];
    uint32_t color;
};
static_assert(sizeof(TextureColorRequest) == 12);
static_assert(offsetof(TextureColorRequest, color) == 8);

// The cached entry of this format, kind and key, made the most recently used; null when none.
TextureCacheEntry* TextureCacheLookup(TextureCache* cache, uint32_t formatId, uint8_t kind, uint32_t key);
// Makes a colour texture through the module's HalftoneColor slot (or the built-in one) and caches
// it. Null when no entry could be taken, the slot failed or memory ran short.
TextureCacheEntry* TextureCacheColorAdd(TextureCache* cache, OutputModuleContext* context, const ImxImageFormat* format,
                                        uint32_t key, TextureColorRequest* request);
// Makes an image texture through the HalftoneImage slot (or the built-in one); the entry is lent
// to the caller until TextureCacheRelease.
TextureCacheEntry* TextureCacheImageAdd(TextureCache* cache, OutputModuleContext* context, const ImxImageFormat* format,
                                        uint8_t flag, const uint8_t* bits, uint32_t stride, const int32_t origin[2],
                                        const uint32_t size[2]);
// Returns the least recently used cached entry to the free list, its plane data freed.
void TextureCacheEvictOldest(TextureCache* cache);
void TextureCacheRelease(TextureCache* cache, TextureCacheEntry* entry);
void TextureCacheFlush(TextureCache* cache);
// A new render key; a different key after a non-zero one empties the cache.
void TextureCacheKeySet(TextureCache* cache, const uint32_t key[2]);

inline uint32_t TextureCacheBucket(uint32_t key)
{
    return ((key & 0xFF) + ((key >> 8) & 0xFF) + ((key >> 16) & 0xFF)) & 511;
}
