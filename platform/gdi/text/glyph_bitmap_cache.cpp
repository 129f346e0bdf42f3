// The one-bit glyph cache behind ExtTextOut and text measuring. A glyph's pixels depend only on
// the face, the char size, the transform and the emboldening, so those with the glyph index are
// the key; an entry holds what one hinted load and one monochrome render of FreeType gave, so a
// cached glyph draws exactly the pixels a fresh render would.
#include "glyph_bitmap_cache.h"

#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <new>
#include <unordered_map>
#include <utility>

namespace gdi {
namespace {

// Enough for the glyphs of a few faces at a few sizes on a busy page; a glyph bigger than a
// quarter of the bound is rendered each time rather than pushing out everything else.
constexpr size_t kDefaultLimit = size_t{2} << 20;
constexpr size_t kEntryOverhead = 160;  // list node, map node, key and the shared record

struct Key {
    uint32_t face;
    FT_UInt glyph;
    FT_F26Dot6 sizeX, sizeY;
    FT_Fixed xx, xy, yx, yy;
    bool embolden;
    bool operator==(const Key&) const = default;
};

struct KeyHash {
    size_t operator()(const Key& k) const
    {
        uint64_t h = 0xcbf29ce484222325u;
        const auto mix = [&h](uint64_t v) {
            h ^= v;
            h *= 0x100000001b3u;
            h ^= h >> 29;
        };
        mix(k.face);
        mix(k.glyph);
        mix(uint64_t(k.sizeX));
        mix(uint64_t(k.sizeY));
        mix(uint64_t(k.xx));
        mix(uint64_t(k.xy));
        mix(uint64_t(k.yx));
        mix(uint64_t(k.yy));
        mix(k.embolden);
        return size_t(h);
    }
};

struct Entry {
    Key key;
    GlyphBitmapRef glyph;
    size_t cost;
};

struct PrivateFaceId {
    std::weak_ptr<const std::vector<uint8_t>> bytes;
    long index;
    uint32_t id;
};

struct Cache {
    std::mutex lock;
    std::list<Entry> recent;  // most recently used first
    std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index;
    size_t bytes = 0;
    size_t limit = kDefaultLimit;
    uint64_t hits = 0, misses = 0;
    // Face numbers.
    std::map<std::pair<std::string, long>, uint32_t> files;
    std::vector<PrivateFaceId> privates;
    uint32_t nextFace = 1;
};

// Lives for the whole process, like the font list: fonts drawn from static destructors still find it.
Cache& C()
{
    alignas(Cache) static unsigned char storage[sizeof(Cache)];
    static Cache* cache = new (storage) Cache;
    return *cache;
}

void TrimTo(Cache& c, size_t limit)
{
    while (c.bytes > limit && !c.recent.empty()) {
        const Entry& last = c.recent.back();
        c.bytes -= last.cost;
        c.index.erase(last.key);
        c.recent.pop_back();
    }
}

// One hinted load and one monochrome render, as drawing did before glyphs were kept.
std::shared_ptr<GlyphBitmap> GlyphRender(SizedFont& sized, FT_UInt glyph)
{
    auto made = std::make_shared<GlyphBitmap>();
    if (!sized.Load(glyph, true)) return made;
    FT_GlyphSlot slot = sized.slot();
    made->loaded = true;
    made->advance = slot->advance;
    if (FT_Render_Glyph(slot, FT_RENDER_MODE_MONO) || slot->bitmap.pixel_mode != FT_PIXEL_MODE_MONO) return made;
    const FT_Bitmap& bitmap = slot->bitmap;
    made->drawn = true;
    made->left = slot->bitmap_left;
    made->top = slot->bitmap_top;
    made->width = bitmap.width;
    made->rows = bitmap.rows;
    made->pitch = (bitmap.width + 7) / 8;
    made->bits.resize(size_t(made->pitch) * bitmap.rows);
    for (unsigned row = 0; row < bitmap.rows; ++row)
        std::memcpy(made->bits.data() + size_t(row) * made->pitch, bitmap.buffer + ptrdiff_t(row) * bitmap.pitch,
                    made->pitch);
    return made;
}

}  // namespace

uint32_t GlyphFaceId(const FaceSource& source)
{
    Cache& c = C();
    std::lock_guard<std::mutex> guard(c.lock);
    if (!source.bytes) {
        auto [at, added] = c.files.try_emplace({source.file, source.index}, c.nextFace);
        if (added) ++c.nextFace;
        return at->second;
    }
    std::erase_if(c.privates, [](const PrivateFaceId& p) { return p.bytes.expired(); });
    for (const PrivateFaceId& p : c.privates) {
        // The same control block: the very bytes, not new ones at a reused address.
        const std::weak_ptr<const std::vector<uint8_t>>& held = source.bytes;
        if (p.index == source.index && !p.bytes.owner_before(held) && !held.owner_before(p.bytes)) return p.id;
    }
    c.privates.push_back({source.bytes, source.index, c.nextFace});
    return c.nextFace++;
}

GlyphBitmapRef GlyphBitmapGet(SizedFont& sized, FT_UInt glyph)
{
    Cache& c = C();
    const Font& font = sized.font();
    const FT_Matrix& m = sized.matrix();
    const Key key{font.glyphFace, glyph, font.sizedX, font.sizedY, m.xx, m.xy, m.yx, m.yy, font.embolden};
    {
        std::lock_guard<std::mutex> guard(c.lock);
        auto found = c.index.find(key);
        if (found != c.index.end()) {
            ++c.hits;
            c.recent.splice(c.recent.begin(), c.recent, found->second);
            return found->second->glyph;
        }
        ++c.misses;
    }
    std::shared_ptr<GlyphBitmap> made = GlyphRender(sized, glyph);
    const size_t cost = kEntryOverhead + made->bits.capacity();
    std::lock_guard<std::mutex> guard(c.lock);
    // A face without a number (a font record made elsewhere) is never kept.
    if (key.face == 0 || cost > c.limit / 4) return made;
    auto found = c.index.find(key);
    if (found != c.index.end())  // another thread made it meanwhile: the same pixels
        return found->second->glyph;
    c.recent.push_front(Entry{key, made, cost});
    try {
        c.index.emplace(key, c.recent.begin());
    } catch (...) {
        c.recent.pop_front();
        throw;
    }
    c.bytes += cost;
    TrimTo(c, c.limit);
    return made;
}

size_t GlyphBitmapCacheLimitSet(size_t bytes)
{
    Cache& c = C();
    std::lock_guard<std::mutex> guard(c.lock);
    const size_t previous = c.limit;
    c.limit = bytes;
    TrimTo(c, bytes);
    return previous;
}

GlyphBitmapCacheStats GlyphBitmapCacheStatsGet()
{
    Cache& c = C();
    std::lock_guard<std::mutex> guard(c.lock);
    return GlyphBitmapCacheStats{c.index.size(), c.bytes, c.hits, c.misses};
}

}  // namespace gdi
