// The process's cache of glyphs rendered in one bit for drawing text: each glyph of a face at one
// size, transform and synthesis is loaded, hinted and rendered by FreeType once, and its advance
// and bitmap kept for every later call on any thread and any DC. Bounded in bytes; the glyphs
// used longest ago go first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "font_internal.h"

namespace gdi {

// A glyph as drawing and layout use it: loaded hinted, emboldened when the font asks for it, and
// rendered in one bit by FreeType. The bitmap's rows are top-down, pitch bytes apart.
struct GlyphBitmap {
    bool loaded = false;  // FreeType loaded an outline
    FT_Vector advance{0, 0};  // 26.6, of the loaded glyph (zero unless loaded)
    bool drawn = false;  // a one-bit bitmap was rendered
    int32_t left = 0, top = 0;  // FreeType's bitmap_left and bitmap_top
    uint32_t width = 0, rows = 0, pitch = 0;
    std::vector<uint8_t> bits;
};
using GlyphBitmapRef = std::shared_ptr<const GlyphBitmap>;

// A process-wide number for a face source: the same file and face index, or the same private
// bytes while any font still holds them, give the same number; a new installation a new one.
uint32_t GlyphFaceId(const FaceSource& source);

// The glyph (an index into the face) of the sized font, whose lock the caller holds through
// `sized`; never null (std::bad_alloc when memory runs out).
GlyphBitmapRef GlyphBitmapGet(SizedFont& sized, FT_UInt glyph);

// For tests: sets the bound in bytes (0 keeps nothing, every glyph is rendered afresh) and
// returns the one before; and the cache's counts.
size_t GlyphBitmapCacheLimitSet(size_t bytes);
struct GlyphBitmapCacheStats {
    size_t entries;
    size_t bytes;
    uint64_t hits;
    uint64_t misses;
};
GlyphBitmapCacheStats GlyphBitmapCacheStatsGet();

}  // namespace gdi
