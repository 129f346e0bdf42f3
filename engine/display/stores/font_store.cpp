#include "engine/display/stores/font_store.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include <cstdio>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_budget.h"
#include "engine/spool/stream.h"

namespace {

constexpr uint16_t kTypeDownload = 37, kTypeLog = 38, kTypeGlyph = 39, kTypeGlyphEx = 40, kTypeTable = 42,
                   kTypeData = 43;
// The font records' heads, little-endian offsets; where versions 0 and 1 differ, both.
namespace FontDownloadRecord {  // type 37
constexpr uint32_t fontId = 8, flags = 12, heightV0 = 14, heightV1 = 16, sizeV0 = 16, sizeV1 = 20;
}
namespace FontLogRecord {  // type 38; version 0 has neither flags nor base id
constexpr uint32_t fontId = 8, flags = 12, baseId = 16, logFontV0 = 12, logFontV1 = 20, sizeV0 = 72, sizeV1 = 80;
}
namespace GlyphTableRecord {  // type 42; version 0 has no glyph count; table pieces follow
constexpr uint32_t fontId = 8, flags = 12, glyphCount = 16, sizeV0 = 16, sizeV1 = 20;
}
namespace FontDataRecord {  // type 43; more table pieces follow
constexpr uint32_t sequence = 8, fontId = 12, size = 16;
}
constexpr uint32_t kMostGlyphs = 65535;

FontEntry* Find(FontStore* store, ResourceId id) { return ResourceTableFind(&store->table, id); }

// Reads and drops n bytes of the stream.
bool Discard(Stream* stream, uint32_t n)
{
    uint8_t scratch[256];
    while (n > 0) {
        const uint32_t step = std::min<uint32_t>(n, sizeof scratch);
        if (StreamRead(stream, scratch, step) != int32_t(step)) return false;
        n -= step;
    }
    return true;
}

void Overstrike(FontStore* store, FontEntry* font)
{
    const uint32_t height = uint32_t(font->cellHeight);
    uint32_t extent[2] = {height, height};
    if (store->device != nullptr) DeviceExtentAdjust(store->device, extent);
    font->overstrike[0] = int32_t(extent[0] - height);
    font->overstrike[1] = int32_t(extent[1] - height);
}

void Unrealise(FontStore* store, FontEntry* font, ResourceCost* tally)
{
    if ((font->head.flags & RESOURCE_REALISED) == 0) return;
    if ((font->head.flags & FONT_GDI) != 0 && font->handle != nullptr) {
        DeleteObject(font->handle);
        font->handle = nullptr;
        if (tally) --tally->objects;
    } else if ((font->head.flags & FONT_TRUETYPE) != 0 && font->installed != nullptr) {
        RemoveFontMemResourceEx(font->installed);
        font->installed = nullptr;
    }
    store->realised.Unlink(font);
    font->head.flags &= ~RESOURCE_REALISED;
}

void Free(FontEntry* font, ResourceCost* tally)
{
    if (font->cache != nullptr) {
        const uint32_t freed = GlyphCacheEmpty(font->cache);
        if (tally) tally->memory -= int32_t(freed);
    }
    if ((font->head.flags & FONT_BUILT_CHARGED) != 0 && tally) tally->memory -= int32_t(font->builtSize);
    GlyphCacheDestroy(font->cache);
    RenderFree(font->built);
    RenderFree(font->pieces);
    RenderFree(font);
}

bool PieceAdd(FontEntry* font, uint32_t offset, uint32_t length, uint32_t tag, uint32_t sequence)
{
    if (font->pieceCount == font->pieceCapacity) {
        const uint32_t capacity = font->pieceCapacity + 32;
        auto* grown = static_cast<FontPiece*>(RenderRealloc(font->pieces, capacity * sizeof(FontPiece)));
        if (grown == nullptr) return false;
        font->pieces = grown;
        font->pieceCapacity = capacity;
    }
    font->pieces[font->pieceCount++] = FontPiece{offset, length, tag, sequence};
    if (tag == FontTableTag("glyf") && length != 0) font->head.flags |= FONT_HAS_GLYF;
    // The build writes "name" itself, and "loca" when it knows the glyph count.
    if (tag != FontTableTag("name") && !(font->glyphCount > 0 && tag == FontTableTag("loca")))
        font->pieceBytes += length;
    return true;
}

// The built font holds at least its pieces' bytes and its loca table. One whose least size passes
// the budget's memory can never be built: its record fails the page as lack of memory, as a page
// whose commands pass the budget does, rather than its text going missing when it is drawn.
bool BuildMayFit(const FontStore* store, const FontEntry* font)
{
    if (store->budget == nullptr) return true;
    const uint64_t loca = font->glyphCount > 0 ? 4 * (uint64_t{font->glyphCount} + 1) : 0;
    if (font->pieceBytes + loca <= store->budget->memoryLimit) return true;
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return false;
}

// Reads the table pieces filling `remaining` bytes of the record into the font's directory.
bool PiecesRead(FontStore* store, Stream* stream, FontEntry* font, uint32_t remaining, uint32_t sequence)
{
    while (remaining > 0) {
        uint8_t head[8];
        if (remaining < sizeof head || StreamRead(stream, head, sizeof head) != int32_t(sizeof head)) return false;
        remaining -= sizeof head;
        const uint32_t tag = LoadBE32(head);
        const uint32_t length = LoadLE32(head + 4);
        if (length > remaining) return false;
        uint32_t offset = 0;
        if (length != 0 && (store->spill == nullptr || !StreamSpillAppend(store->spill, length, &offset))) return false;
        if (!PieceAdd(font, offset, length, tag, sequence)) return false;
        remaining -= length;
    }
    return BuildMayFit(store, font);
}

int DefineDownload(FontStore* store, Stream* stream, const SpoolRecordHeader& header)
{
    const uint32_t size = header.version == 0 ? FontDownloadRecord::sizeV0 : FontDownloadRecord::sizeV1;
    uint8_t raw[20];
    if (header.size < size || StreamRead(stream, raw, size) != int32_t(size)) return 0;
    if (!Discard(stream, header.size - size)) return 0;
    const ResourceId id = LoadLE32(raw + FontDownloadRecord::fontId);
    if (Find(store, id) != nullptr) return 1;  // the first definition stays
    const uint32_t flags =
        header.version == 0 ? LoadLE16(raw + FontDownloadRecord::flags) : LoadLE32(raw + FontDownloadRecord::flags);
    const uint32_t height = header.version == 0 ? LoadLE16(raw + FontDownloadRecord::heightV0)
                                                : LoadLE32(raw + FontDownloadRecord::heightV1);
    auto* font = static_cast<FontEntry*>(RenderAlloc(sizeof(FontEntry)));
    if (font == nullptr) return 0;
    font->head.id = id;
    font->head.flags = FONT_BITMAP | ((flags & 0x1) ? FONT_HEAD_1 : 0) | ((flags & 0x2) ? FONT_HEAD_2 : 0) |
                       ((flags & 0x20) ? FONT_OVERSTRIKE : 0) | ((flags & 0x40) ? FONT_HEAD_40 : 0);
    font->cellHeight = int32_t(std::min<uint32_t>(height, 0x7FFFFFFF));
    if ((font->head.flags & FONT_OVERSTRIKE) != 0) Overstrike(store, font);
    const uint32_t cacheFlags = ((flags & 0x40) ? GLYPH_CACHE_SIXTEENTHS : 0) |
                                ((flags & 0x20) ? GLYPH_CACHE_OVERSTRIKE : 0) | ((flags & 0x2) ? GLYPH_CACHE_4 : 0);
    font->cache = GlyphCacheCreate(cacheFlags, font->cellHeight, font->overstrike, &store->surface, store->spill);
    if (font->cache == nullptr) {
        Free(font, nullptr);
        return 0;
    }
    font->cache->device = store->device;
    ResourceTableInsert(&store->table, font);
    ++store->count;
    return 1;
}

int DefineLog(FontStore* store, Stream* stream, const SpoolRecordHeader& header)
{
    const uint32_t size = header.version == 0 ? FontLogRecord::sizeV0 : FontLogRecord::sizeV1;
    uint8_t raw[80];
    if (header.size < size || StreamRead(stream, raw, size) != int32_t(size)) return 0;
    if (!Discard(stream, header.size - size)) return 0;
    const ResourceId id = LoadLE32(raw + FontLogRecord::fontId);
    if (Find(store, id) != nullptr) return 1;
    const uint32_t flags = header.version == 0 ? 0 : LoadLE32(raw + FontLogRecord::flags);
    const ResourceId baseId = header.version == 0 ? 0 : LoadLE32(raw + FontLogRecord::baseId);
    auto* font = static_cast<FontEntry*>(RenderAlloc(sizeof(FontEntry)));
    if (font == nullptr) return 0;
    font->head.id = id;
    font->head.flags = FONT_GDI | ((flags & 0x20) ? FONT_OVERSTRIKE : 0);
    std::memcpy(&font->logFont, raw + (header.version == 0 ? FontLogRecord::logFontV0 : FontLogRecord::logFontV1),
                sizeof(LOGFONTA));
    font->logFont.lfFaceName[LF_FACESIZE - 1] = 0;  // an unterminated name is cut, never overread
    font->logFont.lfQuality = NONANTIALIASED_QUALITY;
    font->baseId = baseId;
    if (baseId != 0 && baseId != id) {
        font->logFont.lfClipPrecision |= CLIP_EMBEDDED;
        font->base = FontLookup(store, baseId);  // may be missing
    }
    const int64_t height = font->logFont.lfHeight;
    font->cellHeight = int32_t(std::min<int64_t>(height < 0 ? -height : height, 0x7FFFFFFF));
    if ((font->head.flags & FONT_OVERSTRIKE) != 0) Overstrike(store, font);
    ResourceTableInsert(&store->table, font);
    ++store->count;
    return 1;
}

int DefineTable(FontStore* store, Stream* stream, const SpoolRecordHeader& header)
{
    const uint32_t size = header.version == 0 ? GlyphTableRecord::sizeV0 : GlyphTableRecord::sizeV1;
    uint8_t raw[20];
    if (header.size < size || StreamRead(stream, raw, size) != int32_t(size)) return 0;
    const ResourceId id = LoadLE32(raw + GlyphTableRecord::fontId);
    if (Find(store, id) != nullptr) return Discard(stream, header.size - size) ? 1 : 0;
    auto* font = static_cast<FontEntry*>(RenderAlloc(sizeof(FontEntry)));
    if (font == nullptr) return 0;
    font->head.id = id;
    font->head.flags = FONT_TRUETYPE | ((LoadLE32(raw + GlyphTableRecord::flags) & 0x10000) ? FONT_TRUETYPE_10000 : 0);
    font->glyphCount = header.version == 0 ? 0 : LoadLE32(raw + GlyphTableRecord::glyphCount);
    // TrueType numbers glyphs in 16 bits; a larger count is damage, and would make the built
    // font's loca table (4 bytes a glyph) hundreds of megabytes out of an 11-byte claim.
    if (font->glyphCount > kMostGlyphs) {
        Free(font, nullptr);
        return 0;
    }
    if (!PiecesRead(store, stream, font, header.size - size, 0)) {
        Free(font, nullptr);
        return 0;
    }
    ResourceTableInsert(&store->table, font);
    ++store->count;
    return 1;
}

// The memory that realising the downloaded TrueType font would newly charge: its built size until
// it has been charged once, else nothing. 0 also when it cannot be built (realising then fails).
uint32_t UnchargedBuiltSize(const FontEntry* font)
{
    if ((font->head.flags & (FONT_TRUETYPE | FONT_BUILT_CHARGED)) != FONT_TRUETYPE) return 0;
    uint64_t size = 0;
    return TrueTypeFontBuiltSize(font, &size) ? uint32_t(size) : 0;
}

// Builds the downloaded TrueType font when it is not in memory, installs it from there and frees
// the built bytes (the installation keeps its own copy). The built size is charged once, at the
// first installation, and stays charged until the font is freed: fonts created from the face keep
// its bytes alive after the installation is removed, and a later installation builds the same
// bytes again.
bool TrueTypeInstall(FontStore* store, FontEntry* font, ResourceCost* tally)
{
    const bool charged = (font->head.flags & FONT_BUILT_CHARGED) != 0;
    if (!charged && store->budget != nullptr) {
        const uint64_t size = UnchargedBuiltSize(font);
        const uint64_t pending = tally != nullptr && tally->memory > 0 ? uint64_t(tally->memory) : 0;
        if (uint64_t(store->budget->memoryUse) + pending + size > store->budget->memoryLimit) {
            SetLastError(ERROR_NOT_ENOUGH_MEMORY);
            return false;
        }
    }
    if (font->built == nullptr && !TrueTypeFontBuild(store, font)) return false;
    DWORD faces = 0;
    font->installed = AddFontMemResourceEx(font->built, font->builtSize, nullptr, &faces);
    RenderFree(font->built);
    font->built = nullptr;
    if (font->installed == nullptr) return false;
    if (!charged) {
        font->head.flags |= FONT_BUILT_CHARGED;
        if (tally) tally->memory += int32_t(font->builtSize);
    }
    return true;
}

int RealiseOne(FontStore* store, FontEntry* font, ResourceCost* tally)
{
    if ((font->head.flags & RESOURCE_REALISED) != 0) {
        store->realised.Touch(font);
        return 1;
    }
    if ((font->head.flags & FONT_GDI) != 0) {
        if (font->base != nullptr) {
            if (!FontRealize(store, font->base, tally)) return 0;
            if ((font->base->head.flags & FONT_TRUETYPE) != 0) {
                char* face = font->logFont.lfFaceName;
                const size_t at = face[0] == '@' ? 1 : 0;
                std::snprintf(face + at, LF_FACESIZE - at, "%s", font->base->faceName);
            }
        }
        font->handle = CreateFontIndirectA(&font->logFont);
        if (font->handle == nullptr) return 0;
        if (tally) ++tally->objects;
    } else if ((font->head.flags & FONT_TRUETYPE) != 0) {
        if (!TrueTypeInstall(store, font, tally)) return 0;
    }
    font->head.flags |= RESOURCE_REALISED;
    store->realised.Append(font);
    return 1;
}

}  // namespace

void FontStoreInit(FontStore* store, StreamSpill* spill, OutputModuleContext* device, const ResourceBudget* budget)
{
    *store = FontStore{};
    store->device = device;
    store->spill = spill;
    store->budget = budget;
}

void FontStoreDestroy(FontStore* store, ResourceCost* tally)
{
    // Runs on failure paths whose caller reads the last error; removing fonts must not change it.
    const DWORD error = GetLastError();
    ResourceTableEmpty(&store->table, [&](FontEntry* font) {
        Unrealise(store, font, tally);
        Free(font, tally);
    });
    store->count = 0;
    store->realised = {};
    store->surface.flags &= ~GLYPH_SURFACE_LOCKED;
    GlyphSurfaceRelease(&store->surface, tally);
    SetLastError(error);
}

void FontStoreTrim(FontStore* store, BandSurface*, uint32_t pass, ResourceCost* request)
{
    if (pass == 0) {
        for (FontEntry* font = store->realised.first; font != nullptr && request->objects >= 1;) {
            FontEntry* next = font->realisedNext;
            if (!ResourceMarked(&font->head)) {
                ResourceCost freed{};
                Unrealise(store, font, &freed);
                request->objects += freed.objects;
            }
            font = next;
        }
    } else if (pass == 1) {
        // The scratch surface is locked while a glyph is drawn through it.
        ResourceCost freed{};
        GlyphSurfaceRelease(&store->surface, &freed);
        request->objects += freed.objects;
        request->deviceMemory += freed.deviceMemory;
    }
    if (pass > 1) return;
    // Glyph memory is trimmed from every cache, the font being drawn included: its glyphs are
    // prepared one at a time, each trim runs before the glyph it makes room for is made, and a
    // glyph drawn earlier is made again when it is next needed. Sparing the font in use would let
    // one long text grow past any budget.
    FontEntry** buckets = store->table.Buckets();
    for (uint32_t b = 0; b < store->table.Size() && request->memory > 0; ++b)
        for (FontEntry* font = buckets[b]; font != nullptr && request->memory > 0; font = font->bucketNext)
            if (font->cache != nullptr) GlyphCacheTrim(font->cache, pass, request);
}

int FontDefine(FontStore* store, Stream* stream)
{
    SpoolRecordHeader header;
    if (!SpoolRecordPeek(stream, &header) || header.version >= 2) return 0;
    switch (header.type) {
        case kTypeDownload: return DefineDownload(store, stream, header);
        case kTypeLog: return DefineLog(store, stream, header);
        case kTypeTable: return DefineTable(store, stream, header);
        default: return 0;
    }
}

int GlyphTableDefine(FontStore* store, Stream* stream) { return FontDefine(store, stream); }

int FontDataDefine(FontStore* store, Stream* stream)
{
    SpoolRecordHeader header;
    uint8_t raw[FontDataRecord::size];
    if (!SpoolRecordPeek(stream, &header) || header.type != kTypeData || header.size < sizeof raw) return 0;
    if (StreamRead(stream, raw, sizeof raw) != int32_t(sizeof raw)) return 0;
    FontEntry* font = Find(store, LoadLE32(raw + FontDataRecord::fontId));
    if (font == nullptr || (font->head.flags & FONT_TRUETYPE) == 0 || font->glyphCount == 0) return 0;
    const uint32_t before = font->pieceCount;
    const uint32_t flags = font->head.flags;
    const uint64_t bytes = font->pieceBytes;
    if (!PiecesRead(store, stream, font, header.size - sizeof raw, LoadLE32(raw + FontDataRecord::sequence))) {
        font->pieceCount = before;  // the pieces read so far are forgotten; their spill bytes stay unused
        font->head.flags = flags;
        font->pieceBytes = bytes;
        return 0;
    }
    return 1;
}

int GlyphDefine(FontStore* store, Stream* stream)
{
    SpoolRecordHeader header;
    uint8_t raw[kGlyphRecordHeadSize];
    if (!SpoolRecordPeek(stream, &header) || (header.type != kTypeGlyph && header.type != kTypeGlyphEx)) return 0;
    if (header.size < sizeof raw || StreamRead(stream, raw, sizeof raw) != int32_t(sizeof raw)) return 0;
    const uint32_t rest = header.size - uint32_t(sizeof raw);
    FontEntry* font = Find(store, LoadLE32(raw + GlyphRecord::fontId));
    if (font == nullptr || (font->head.flags & FONT_BITMAP) == 0 || font->cache == nullptr) {
        Discard(stream, rest);
        return 0;
    }
    int32_t width = int32_t(LoadLE32(raw + GlyphRecord::cellWidth));
    int32_t height = int32_t(LoadLE32(raw + GlyphRecord::cellHeight));
    int32_t originX = int32_t(LoadLE32(raw + GlyphRecord::originX));
    int32_t originY = int32_t(LoadLE32(raw + GlyphRecord::originY));
    if (width < 0 || height < 0 || width > 0x10000 || height > 0x10000) {
        Discard(stream, rest);
        return 0;
    }
    auto* glyph = static_cast<Glyph*>(RenderAlloc(sizeof(Glyph)));
    if (glyph == nullptr) return 0;
    glyph->code = LoadLE16(raw + GlyphRecord::code);
    if (header.type == kTypeGlyph) {
        const uint32_t rows = uint32_t((width + 31) / 32 * 4) * uint32_t(height);
        glyph->flags = GLYPH_BITMAP;
        if (rest < rows ||
            (rows != 0 && (store->spill == nullptr || !StreamSpillAppend(store->spill, rows, &glyph->rowsOffset))) ||
            !Discard(stream, rest - rows)) {
            GlyphFree(glyph);
            return 0;
        }
    } else {
        glyph->flags = GLYPH_OUTLINE;
        std::vector<uint8_t> data;
        if (!StreamReadGrowing(stream, rest, &data) || !GlyphOutlineParse(glyph, data.data(), rest)) {
            GlyphFree(glyph);
            return 0;
        }
        // Coordinates in 1/16 units: the cell rounded up to whole units, the origin down.
        if (glyph->contourCount > 0 && (LoadLE32(glyph->contours) & CONTOUR_SIXTEENTHS) != 0) {
            width = (width + 15) >> 4;
            height = (height + 15) >> 4;
            originX >>= 4;
            originY >>= 4;
        }
    }
    glyph->cellWidth = width;
    glyph->cellHeight = height;
    glyph->originX = originX;
    glyph->originY = originY;
    GlyphInsert(font->cache, glyph);
    return 1;
}

FontEntry* FontLookup(FontStore* store, ResourceId id)
{
    FontEntry* font = ResourceTableLookup(&store->table, id);
    if (font == nullptr) {
        if (id != RESOURCE_ID_NONE) SpoolRecordMissingResource("font", id);
        return nullptr;
    }
    for (FontEntry* base = font->base; base != nullptr; base = base->base) ResourceRefAdd(&base->head);
    return font;
}

void FontRelease(FontStore* store, FontEntry* font, int remove, ResourceCost* tally)
{
    while (font != nullptr) {
        FontEntry* base = font->base;
        if (ResourceRefDrop(&font->head) == 0) {
            Unrealise(store, font, tally);
            if (remove) {
                if (ResourceTableRemove(&store->table, font) && store->count > 0) --store->count;
                Free(font, tally);
            }
        }
        font = base;
    }
}

int FontRealize(FontStore* store, FontEntry* font, ResourceCost* tally) { return RealiseOne(store, font, tally); }

void FontDrawPrepare(FontStore* store, FontEntry* font, HDC dc, ResourceCost* cost)
{
    const uint32_t flags = font->head.flags;
    if ((flags & (RESOURCE_REALISED | FONT_GDI)) == FONT_GDI && font->cache == nullptr && dc != nullptr) {
        SIZE window{}, viewport{};
        GetWindowExtEx(dc, &window);
        GetViewportExtEx(dc, &viewport);
        const double sx = window.cx != 0 ? std::fabs(double(viewport.cx) / window.cx) : 1.0;
        const double sy = window.cy != 0 ? std::fabs(double(viewport.cy) / window.cy) : 1.0;
        const LOGFONTA& lf = font->logFont;
        const bool plain = lf.lfItalic == 0 && lf.lfEscapement == 0 && lf.lfWeight <= 400;
        if (std::fabs(sx - sy) > 0.005 && !plain) {
            const uint32_t cacheFlags = GLYPH_CACHE_OUTLINES | ((flags & FONT_HEAD_40) ? GLYPH_CACHE_SIXTEENTHS : 0) |
                                        ((flags & FONT_OVERSTRIKE) ? GLYPH_CACHE_OVERSTRIKE : 0) |
                                        ((flags & FONT_HEAD_2) ? GLYPH_CACHE_4 : 0);
            font->cache =
                GlyphCacheCreate(cacheFlags, font->cellHeight, font->overstrike, &store->surface, store->spill);
            if (font->cache != nullptr) {
                font->cache->device = store->device;
                font->head.flags |= FONT_OWN_CACHE;
            }
        }
    }
    if ((font->head.flags & (RESOURCE_REALISED | FONT_GDI)) == FONT_GDI) cost->objects += 1;
    // A downloaded TrueType font, drawn or named as a base, is built in memory when it is first
    // installed: room is made for it before.
    int64_t built = 0;
    for (const FontEntry* f = font; f != nullptr; f = f->base) built += UnchargedBuiltSize(f);
    if (built > 0) cost->memory = int32_t(std::min<int64_t>(int64_t{cost->memory} + built, INT32_MAX));
    if (font->cache != nullptr && dc != nullptr) GlyphSurfaceEstimate(&store->surface, font->cache, dc, cost);
}

Glyph* GlyphLookup(FontStore* store, FontEntry* font, uint16_t kind, uint16_t code)
{
    GlyphCache* cache = font->cache;
    if (cache == nullptr) return nullptr;
    // D9: a downloaded font keeps its glyphs by code alone, a cache filled from GDI by kind and code.
    if ((font->head.flags & FONT_BITMAP) != 0) return GlyphFind(cache, 0, code);
    if (Glyph* glyph = GlyphFind(cache, kind, code)) return glyph;
    // Fetched at 1:1 through the isotropic DC, so that the outline is in the font's logical
    // units and the band DC's scaling applies to it once, when it is drawn.
    HDC dc = store->surface.iso;
    if ((font->head.flags & FONT_OWN_CACHE) == 0 || font->handle == nullptr || dc == nullptr) return nullptr;
    HGDIOBJ previous = SelectObject(dc, font->handle);
    Glyph* glyph = GlyphFetch(dc, kind, code);
    SelectObject(dc, previous);
    if (glyph != nullptr) GlyphInsert(cache, glyph);
    return glyph;
}
