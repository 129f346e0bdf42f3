// The Text command: a run of characters, each at its own position, in one font, painted with a
// brush. Text in a GDI font is drawn by GDI into the band mask and filled with the brush by
// CmdDrawRestore, or drawn directly with the brush's solid colour.
#include <algorithm>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/common/rop.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/commands/cmd_text.h"
#include "engine/display/commands/text_runs.h"
#include "engine/display/stores/pen_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi_text.h"
#include "platform/user.h"

namespace {

constexpr uint32_t kTextHeadSize = 52;
namespace TextRecord {
constexpr uint32_t bounds = 8, brushOriginX = 24, brushOriginY = 28, font = 32, clip = 36, brush = 40, count = 44,
                   flags = 48, mix = 50, mix2 = 51;
}
constexpr uint16_t TEXT_GLYPH_INDEX = 0x1;
constexpr uint16_t TEXT_WIDE = 0x2;
constexpr uint16_t TEXT_ORIGINS_APPLIED = 0x1000;  // node flag

struct TextNode {
    CmdNode head;
    POINT brushOrigin;
    uint8_t mix;
    uint8_t mix2;
    uint16_t textFlags;
    uint32_t count;
    BrushEntry* brush;
    Clip* clip;
    FontEntry* font;
    Pen* pen;
    uint32_t variableSize;
    uint16_t nodeFlags;
    // then the variable part: count positions (two i32), then the characters
};

TextNode* AsText(CmdNode* node) { return reinterpret_cast<TextNode*>(node); }
const TextNode* AsText(const CmdNode* node) { return reinterpret_cast<const TextNode*>(node); }
uint8_t* Variable(TextNode* text) { return reinterpret_cast<uint8_t*>(text + 1); }
const uint8_t* Variable(const TextNode* text) { return reinterpret_cast<const uint8_t*>(text + 1); }
POINT Position(const TextNode* text, uint32_t i)
{
    const uint8_t* p = Variable(text) + 8 * size_t(i);
    return POINT{LONG(int32_t(LoadLE32(p))), LONG(int32_t(LoadLE32(p + 4)))};
}
bool Wide(const TextNode* text) { return (text->textFlags & (TEXT_GLYPH_INDEX | TEXT_WIDE)) != 0; }
const uint8_t* Characters(const TextNode* text) { return Variable(text) + 8 * size_t(text->count); }
size_t CharactersSize(const TextNode* text) { return text->variableSize - 8 * size_t(text->count); }

bool DescribedWithoutGlyphs(const FontEntry* font)
{
    // A GDI font whose linked TrueType font never got glyph data draws nothing.
    return (font->head.flags & FONT_GDI) != 0 && font->base != nullptr &&
           (font->base->head.flags & FONT_HAS_GLYF) == 0 && (font->base->head.flags & FONT_TRUETYPE) != 0;
}

void Release(ResourceStore* store, TextNode* text)
{
    CmdBrushRelease(store, &text->brush);
    CmdPenRelease(store, &text->pen);
    CmdClipRelease(store, &text->clip);
    if (text->font != nullptr) {
        ResourceCost tally{};
        FontRelease(&store->fonts, text->font, 0, &tally);
        text->font = nullptr;
    }
}

void TextDestroy(CmdNode* node, ResourceStore* store)
{
    Release(store, AsText(node));
    CmdMemoryFree(store, node);
}

// Removes the spaces of wide-character text with their positions; a GDI font whose linked font
// has no glyphs gets no characters.
void TextNormalize(TextNode* text)
{
    if (DescribedWithoutGlyphs(text->font)) {
        text->count = 0;
        return;
    }
    if ((text->textFlags & TEXT_WIDE) == 0) return;
    const uint32_t count = text->count;
    uint8_t* positions = Variable(text);
    const uint8_t* chars = Characters(text);
    // Characters first into a copy, since they move down behind the shorter position array.
    const size_t tail = CharactersSize(text) - 2 * size_t(count);
    uint8_t* kept = static_cast<uint8_t*>(RenderAlloc(2 * size_t(count) + tail + 1));
    if (kept == nullptr) return;  // the spaces stay; GDI draws them as nothing
    uint32_t n = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint16_t c = LoadLE16(chars + 2 * i);
        if (c == 32) continue;
        std::memmove(positions + 8 * n, positions + 8 * i, 8);
        std::memcpy(kept + 2 * n, chars + 2 * i, 2);
        ++n;
    }
    std::memcpy(positions + 8 * n, kept, 2 * size_t(n));
    RenderFree(kept);
    text->variableSize = 8 * n + 2 * n;
    text->count = n;
}

// The characters as glyph codes with their kind: 16-bit text as it is (1 glyph indices, 2 wide
// characters), multibyte text converted one character at a time (kind 0).
uint16_t CharacterKind(const TextNode* text)
{
    return (text->textFlags & TEXT_GLYPH_INDEX) ? 1 : (text->textFlags & TEXT_WIDE) ? 2 : 0;
}
std::vector<uint16_t> CharacterCodes(const TextNode* text)
{
    std::vector<uint16_t> codes;
    if (Wide(text)) {
        for (uint32_t i = 0; i < text->count; ++i) codes.push_back(LoadLE16(Characters(text) + 2 * i));
        return codes;
    }
    const char* s = reinterpret_cast<const char*>(Characters(text));
    size_t left = CharactersSize(text);
    std::mbstate_t state{};
    for (uint32_t i = 0; i < text->count && left > 0; ++i) {
        wchar_t c = 0;
        size_t used = std::mbrtowc(&c, s, std::min<size_t>(left, 2), &state);
        if (used == 0 || used > 2) {  // invalid or cut: one byte as it is
            c = wchar_t(uint8_t(*s));
            used = 1;
            state = {};
        }
        codes.push_back(uint16_t(c));
        s += used;
        left -= used;
    }
    return codes;
}

// The glyph of a character: from the font's glyph cache, fetched from GDI for a font with a
// cache of its own.
Glyph* TextGlyph(ResourceStore* store, const TextNode* text, uint16_t code)
{
    return GlyphLookup(&store->fonts, text->font, CharacterKind(text), code);
}

// Moves each position from the character's origin to its glyph cell's top-left; 0 at the first
// character without a glyph. Done once.
int TextGlyphOriginsApply(ResourceStore* store, TextNode* text)
{
    if ((text->nodeFlags & TEXT_ORIGINS_APPLIED) != 0) return 1;
    text->nodeFlags |= TEXT_ORIGINS_APPLIED;
    const std::vector<uint16_t> codes = CharacterCodes(text);
    for (uint32_t i = 0; i < codes.size(); ++i) {
        const Glyph* glyph = TextGlyph(store, text, codes[i]);
        if (glyph == nullptr) return 0;
        const POINT p = Position(text, i);
        uint8_t* at = Variable(text) + 8 * size_t(i);
        StoreLE32(at, uint32_t(int32_t(std::clamp<int64_t>(int64_t(p.x) + glyph->originX, INT32_MIN, INT32_MAX))));
        StoreLE32(at + 4, uint32_t(int32_t(std::clamp<int64_t>(int64_t(p.y) - glyph->originY, INT32_MIN, INT32_MAX))));
    }
    return 1;
}

int TextRead(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[kTextHeadSize];
    if (StreamRead(stream, raw, sizeof raw) != int32_t(sizeof raw)) return 0;
    const uint32_t size = LoadLE32(raw + 4);
    if (size < kTextHeadSize) return 0;
    const uint32_t rest = size - kTextHeadSize;
    if (raw[TextRecord::mix] == R2_NOP && raw[TextRecord::mix2] == R2_NOP)
        return StreamSeek(stream, int32_t(rest), 1) >= 0 ? 1 : 0;
    const uint32_t count = LoadLE32(raw + TextRecord::count);
    const uint16_t flags = LoadLE16(raw + TextRecord::flags);
    // The positions and, for 16-bit text, the characters must lie within the record.
    const uint64_t needed = 8 * uint64_t(count) + ((flags & (TEXT_GLYPH_INDEX | TEXT_WIDE)) ? 2 * uint64_t(count) : 0);
    if (needed > rest || raw[TextRecord::mix] < 1 || raw[TextRecord::mix] > 16) return 0;
    auto* text = static_cast<TextNode*>(CmdMemoryAlloc(store, sizeof(TextNode) + rest + 2));
    if (text == nullptr) return 0;
    if (rest != 0 && StreamRead(stream, Variable(text), rest) != int32_t(rest)) {
        CmdMemoryFree(store, text);
        return 0;
    }
    text->head.op = CmdOpText;
    text->brushOrigin = POINT{LONG(int32_t(LoadLE32(raw + TextRecord::brushOriginX))),
                              LONG(int32_t(LoadLE32(raw + TextRecord::brushOriginY)))};
    text->mix = raw[TextRecord::mix];
    text->mix2 = raw[TextRecord::mix2];
    text->textFlags = flags;
    text->count = count;
    text->variableSize = rest;
    const ResourceId clipId = LoadLE32(raw + TextRecord::clip);
    text->brush = BrushLookup(&store->brushes, LoadLE32(raw + TextRecord::brush));
    text->clip = clipId != 0 ? ClipLookup(&store->clips, clipId) : nullptr;
    text->font = FontLookup(&store->fonts, LoadLE32(raw + TextRecord::font));
    bool ok = text->brush != nullptr && (clipId == 0 || text->clip != nullptr) && text->font != nullptr;
    if (ok && (text->font->head.flags & (FONT_BITMAP | FONT_HEAD_2)) == (FONT_BITMAP | FONT_HEAD_2)) {
        text->pen = PenLookup(&store->pens, LoadLE32(raw + TextRecord::brush), store->deviceByte);
        ok = text->pen != nullptr;
    }
    if (!ok) {
        TextDestroy(&text->head, store);
        return 0;
    }
    text->head.flags = uint16_t(text->brush->head.flags & CMD_FLAG_COLOR_MASK);
    TextNormalize(text);
    if (text->count == 0) {
        TextDestroy(&text->head, store);
        return 1;  // an empty text is no error
    }
    const uint8_t* b = raw + TextRecord::bounds;
    RECT bounds{LONG(int32_t(LoadLE32(b))), LONG(int32_t(LoadLE32(b + 4))), LONG(int32_t(LoadLE32(b + 8))),
                LONG(int32_t(LoadLE32(b + 12)))};
    if ((text->font->head.flags & FONT_OVERSTRIKE) != 0) {
        bounds.right = LONG(std::min<int64_t>(int64_t(bounds.right) + text->font->overstrike[0], INT32_MAX));
        bounds.bottom = LONG(std::min<int64_t>(int64_t(bounds.bottom) + text->font->overstrike[1], INT32_MAX));
    }
    if (text->clip != nullptr && !IntersectRect(&bounds, &bounds, &text->clip->data.rcBound)) bounds = RECT{};
    text->head.bounds = bounds;
    if ((text->font->head.flags & FONT_BITMAP) != 0 && !TextGlyphOriginsApply(store, text)) {
        TextDestroy(&text->head, store);
        return 0;
    }
    *out = &text->head;
    return 1;
}

CmdNode* TextClone(const CmdNode* node, ResourceStore* store)
{
    const TextNode* from = AsText(node);
    auto* copy = static_cast<TextNode*>(CmdMemoryAlloc(store, sizeof(TextNode) + from->variableSize + 2));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, from, sizeof(TextNode) + from->variableSize);
    copy->head.next = copy->head.prev = nullptr;
    copy->brush = nullptr;
    copy->pen = nullptr;
    copy->clip = nullptr;
    copy->font = nullptr;
    bool ok = (copy->brush = BrushLookup(&store->brushes, from->brush->head.id)) != nullptr;
    if (from->pen) ok &= (copy->pen = PenLookup(&store->pens, from->pen->head.id, store->deviceByte)) != nullptr;
    if (from->clip) ok &= (copy->clip = ClipLookup(&store->clips, from->clip->head.id)) != nullptr;
    ok &= (copy->font = FontLookup(&store->fonts, from->font->head.id)) != nullptr;
    if (!ok) {
        TextDestroy(&copy->head, store);
        return nullptr;
    }
    return &copy->head;
}

uint8_t TextMixGet(const CmdNode* node) { return AsText(node)->mix; }

int TextColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int)
{
    const TextNode* text = AsText(node);
    *hint = CMD_CLASS_TEXT;
    if (BrushIsSolid(text->brush) && text->mix == R2_COPYPEN) {
        *colour = text->brush->colour;
        return CMD_COLOR_SOLID;
    }
    const uint8_t mix = text->mix;
    if (mix == R2_BLACK || mix == R2_WHITE || mix == R2_COPYPEN || mix == R2_NOTCOPYPEN) return CMD_COLOR_DRAW_RESTORE;
    return CMD_COLOR_LEVEL_IMAGE;
}

// How far from its baseline origin a character's ink can lie, in logical units, by the font's
// metrics in the DC: a cell and a half up or down (the cell holds the ascent and the descent; the
// half covers synthesised weight and marks drawn past it) and two of the widest characters and a
// cell sideways (a slant), each with the overstrike added. Symmetric, so that a mapping that turns
// an axis over needs no care.
struct TextReach {
    int64_t x, y;
};
TextReach TextReachOf(const TextNode* text, const TEXTMETRICA& m)
{
    const int64_t cell = int64_t(m.tmHeight) + std::max<int64_t>(0, m.tmHeight / 2) + 2;
    int64_t x = 2 * int64_t(m.tmMaxCharWidth) + m.tmOverhang + cell, y = cell;
    if ((text->font->head.flags & FONT_OVERSTRIKE) != 0) {
        x += std::abs(int64_t(text->font->overstrike[0]));
        y += std::abs(int64_t(text->font->overstrike[1]));
    }
    return TextReach{x, y};
}

// A character whose ink cannot reach the band rows.
bool TextRowMisses(const TextNode* text, uint32_t i, const TextReach& reach, const RECT* band)
{
    const int64_t y = Position(text, i).y;
    const int64_t top = std::min(band->top, band->bottom), bottom = std::max(band->top, band->bottom);
    return y + reach.y < top || y - reach.y > bottom;
}

// Draws the characters that can reach the band, overstruck as the font asks, with GDI.
// The positions are the characters' baseline origins, and nothing is drawn behind the glyphs.
void TextGdiOut(const TextNode* text, HDC dc, const RECT* band)
{
    SetBkMode(dc, TRANSPARENT);
    SetTextAlign(dc, TA_BASELINE);
    const uint32_t count = text->count;
    uint32_t first = 0, last = count;  // [first, last)
    const LOGFONTA& lf = text->font->logFont;
    TEXTMETRICA metrics{};
    const bool measured = lf.lfEscapement == 0 && lf.lfOrientation == 0 && GetTextMetricsA(dc, &metrics);
    const bool whole = (text->head.bounds.left >= band->left && text->head.bounds.right <= band->right) || !measured;
    if (!whole) {
        int64_t w = metrics.tmMaxCharWidth;
        if (lf.lfItalic || lf.lfWeight > 400)
            w += metrics.tmOverhang != 0 ? metrics.tmOverhang : metrics.tmMaxCharWidth / 2;
        auto near = [&](uint32_t i) {
            const int64_t x = Position(text, i).x;
            return x + w >= band->left && x - w <= band->right;
        };
        while (first < count && !near(first)) ++first;
        while (last > first && !near(last - 1)) --last;
    }
    // Within the range, characters whose ink cannot reach the band's rows are not drawn.
    const TextReach reach = measured ? TextReachOf(text, metrics) : TextReach{};
    // Multibyte text is converted whole to wide characters: GDI's one-byte text is not a code page.
    std::vector<wchar_t> wide;
    std::vector<uint32_t> starts;
    if (!Wide(text)) {
        const char* s = reinterpret_cast<const char*>(Characters(text));
        size_t left = CharactersSize(text);
        std::mbstate_t state{};
        for (uint32_t i = 0; i < count && left > 0; ++i) {
            wchar_t c = 0;
            size_t used = std::mbrtowc(&c, s, std::min<size_t>(left, 2), &state);
            if (used == 0 || used > 2) {  // invalid or cut: one byte as it is
                c = wchar_t(uint8_t(*s));
                used = 1;
                state = {};
            }
            wide.push_back(c);
            s += used;
            left -= used;
        }
        last = std::min<uint32_t>(last, uint32_t(wide.size()));
    }
    int32_t dx = 0, dy = 0;
    if ((text->font->head.flags & FONT_OVERSTRIKE) != 0) {
        SIZE window{}, viewport{};
        GetWindowExtEx(dc, &window);
        GetViewportExtEx(dc, &viewport);
        dx = window.cx != 0 ? MulDiv(text->font->overstrike[0], viewport.cx, window.cx) : 0;
        dy = window.cy != 0 ? MulDiv(text->font->overstrike[1], viewport.cy, window.cy) : 0;
    }
    if (dx < 0 || dy < 0) return;
    // The characters to draw, the same in every overstrike pass.
    std::vector<TextChar> chars;
    for (uint32_t k = first; k < last; ++k) {
        if (measured && TextRowMisses(text, k, reach, band)) continue;
        const POINT p = Position(text, k);
        chars.push_back(TextChar{int32_t(p.x), int32_t(p.y),
                                 Wide(text) ? WCHAR(LoadLE16(Characters(text) + 2 * k)) : WCHAR(wide[k])});
    }
    const bool runs = TextRunsExact(dc, lf.lfEscapement, lf.lfOrientation);
    std::vector<INT> advances;
    POINT start{};
    GetViewportOrgEx(dc, &start);
    for (int32_t i = 0; i <= dx; ++i) {
        for (int32_t j = 0; j <= dy; ++j) {
            SetViewportOrgEx(dc, start.x + i, start.y + j, nullptr);
            TextCharsOut(dc, chars, (text->textFlags & TEXT_GLYPH_INDEX) != 0, runs, advances);
        }
    }
    SetViewportOrgEx(dc, start.x, start.y, nullptr);
}

bool OwnGlyphs(const FontEntry* font) { return (font->head.flags & (FONT_BITMAP | FONT_OWN_CACHE)) != 0; }

void FontMark(ResourceStore* store, TextNode* text)
{
    ResourceUseMark(store, &text->font->head, RESOURCE_IN_USE);
    for (FontEntry* base = text->font->base; base != nullptr; base = base->base)
        ResourceUseMark(store, &base->head, RESOURCE_IN_USE);
}

void FontEstimate(void* owner, void* object, BandSurface* surface, ResourceCost* cost)
{
    FontDrawPrepare(static_cast<FontStore*>(owner), static_cast<FontEntry*>(object),
                    surface != nullptr ? surface->drawDC : nullptr, cost);
}
int FontRealiseFor(void* owner, void* object, BandSurface*, ResourceCost* tally)
{
    return FontRealize(static_cast<FontStore*>(owner), static_cast<FontEntry*>(object), tally);
}
int FontReady(ResourceStore* store, TextNode* text, BandSurface* surface)
{
    return ResourcePrepare(store, text->font, surface, &store->fonts, FontEstimate, FontRealiseFor);
}

int TextGlyphEstimate(void*, void* glyph, BandSurface*, ResourceCost* cost)
{
    return GlyphEstimate(static_cast<const Glyph*>(glyph), cost);
}
int TextGlyphRealize(void*, void* glyph, BandSurface*, ResourceCost* tally)
{
    return GlyphRealise(static_cast<Glyph*>(glyph), tally);
}

// The glyph cell of character i in the surface's device pixels.
RECT GlyphCell(const TextNode* text, uint32_t i, HDC dc, const SIZE& device)
{
    POINT p = Position(text, i);
    LPtoDP(dc, &p, 1);
    return RECT{p.x, p.y, LONG(std::min<int64_t>(int64_t(p.x) + device.cx, INT32_MAX)),
                LONG(std::min<int64_t>(int64_t(p.y) + device.cy, INT32_MAX))};
}

// Readies the font's glyph cache for the surface's DC (a new scale drops the device bitmaps),
// charged to the budget, and locks the scratch surface while the glyphs are drawn.
bool GlyphCacheReady(ResourceStore* store, TextNode* text, HDC dc)
{
    GlyphCache* cache = text->font->cache;
    if (cache == nullptr) return false;
    ResourceCost tally{};
    const int ready = GlyphCachePrepare(cache, dc, &tally);
    ResourceBudgetCharge(store->budget, tally);
    if (ready) store->fonts.surface.flags |= GLYPH_SURFACE_LOCKED;
    return ready != 0;
}

// Draws every glyph whose cell meets the area (device pixels) with GlyphDraw, or, into a mask
// from device bitmaps, ORs their rows into the mask within the clip rectangles.
void GlyphsPaint(TextNode* text, ResourceStore* store, BandSurface* surface, const RECT* area, const RECT* clips,
                 int32_t clipCount, bool mask)
{
    GlyphCache* cache = text->font->cache;
    HDC dc = surface->drawDC;
    const bool rows = mask && GlyphCacheUsesDevice(cache) && (text->font->head.flags & FONT_HEAD_2) == 0;
    // A pen font's outlines are stroked with the pen.
    const bool stroke = text->pen != nullptr;
    const std::vector<uint16_t> codes = CharacterCodes(text);
    for (uint32_t i = 0; i < codes.size(); ++i) {
        Glyph* glyph = TextGlyph(store, text, codes[i]);
        if (glyph == nullptr) continue;  // a missing glyph is skipped
        RECT cell{}, seen{};
        if (GlyphCacheUsesDevice(cache)) {
            cell = GlyphCell(text, i, dc, GlyphDeviceSize(cache, glyph->cellWidth, glyph->cellHeight));
        } else {
            POINT p[2] = {Position(text, i), {}};
            p[1] = POINT{LONG(std::min<int64_t>(int64_t(p[0].x) + glyph->drawnWidth, INT32_MAX)),
                         LONG(std::min<int64_t>(int64_t(p[0].y) + glyph->drawnHeight, INT32_MAX))};
            LPtoDP(dc, p, 2);
            cell = RECT{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
                        std::max(p[0].y, p[1].y)};
        }
        if (!IntersectRect(&seen, &cell, area)) continue;
        GlyphPrepare(store, text->font, glyph, surface, TextGlyphEstimate, TextGlyphRealize);
        if (!rows) {
            GlyphDraw(glyph, dc, Position(text, i), stroke ? GLYPH_DRAW_STROKE : 0);
            continue;
        }
        if (glyph->device == nullptr) continue;
        const int32_t width = int32_t(LoadLE32(glyph->device)), height = int32_t(LoadLE32(glyph->device + 4));
        const BltBitmap to = CmdSurfaceBlt(surface);
        const BltBitmap from{glyph->device + 8, int32_t(((width + 31) >> 3) & ~3), 0, 0, width, height, 1, nullptr};
        RECT rect{cell.left, cell.top, cell.left + width, cell.top + height};
        RasterStretchBlt(&to, &from, nullptr, &rect, clips, clipCount, Rop3SrcPaint, 0);
    }
}

// The glyphs drawn in their colours, and marked into the band mask within the clip rectangles.
void TextGlyphsDraw(TextNode* text, ResourceStore* store, BandSurface* surface, const RECT* area)
{
    GlyphsPaint(text, store, surface, area, area, 1, false);
}
void TextGlyphsRenderBand(TextNode* text, ResourceStore* store, BandSurface* mask, const RECT* area, const RECT* clips,
                          int32_t clipCount)
{
    GlyphsPaint(text, store, mask, area, clips, clipCount, true);
}

bool WhiteInMask(uint8_t mix) { return mix == R2_BLACK || mix == R2_WHITE || mix == R2_NOP || mix == R2_NOT; }

// Own-glyph fonts drawn into a band surface: directly with the brush, or into the mask.
bool OwnGlyphsDrawReady(TextNode* text, ResourceStore* store, BandSurface* surface, const RECT* area, bool mask);

void OwnGlyphsDraw(TextNode* text, ResourceStore* store, BandSurface* surface, const RECT* band, const RECT* area,
                   bool mask)
{
    HDC dc = surface->drawDC;
    BrushEntry* brush = mask && WhiteInMask(text->mix) ? &store->brushes.white : text->brush;
    ResourceUseMark(store, &brush->head, RESOURCE_IN_USE);
    ResourceUseMark(store, text->pen ? &text->pen->head : nullptr, RESOURCE_IN_USE);
    ResourceUseMark(store, text->clip ? &text->clip->head : nullptr, RESOURCE_IN_USE);
    const int selected = mask ? BrushCompanionSelect(store, brush, &text->brushOrigin, surface)
                              : BrushSelect(store, brush, &text->brushOrigin, surface);
    if (selected == 0 || !ClipSelect(store, text->clip, surface, band)) return;
    const bool drawn = GlyphCacheReady(store, text, dc) && OwnGlyphsDrawReady(text, store, surface, area, mask);
    store->fonts.surface.flags &= ~GLYPH_SURFACE_LOCKED;
    if (drawn) GdiFlush();
}

// The pen and the glyphs themselves, with the scratch surface locked.
bool OwnGlyphsDrawReady(TextNode* text, ResourceStore* store, BandSurface* surface, const RECT* area, bool mask)
{
    HDC dc = surface->drawDC;
    if (text->pen != nullptr) {
        // The stroke goes into the mask as ones whatever the pen's colour; drawn directly it
        // takes the pen's colour under the text's mix.
        const int ready =
            mask ? ResourcePrepare(store, text->pen, surface, &store->pens, PenMaskCostEstimate, PenMaskRealize)
                 : ResourcePrepare(store, text->pen, surface, &store->pens, PenCostEstimate, PenRealize);
        if (ready == 0) return false;
    }
    // A pen's stroke goes in under the mix it was given; outline fills drawn in this DC paint the
    // brush where the glyph is, as bitmap glyphs do, not under a mix an earlier command set; bitmap
    // glyphs drawn smaller keep the pixels they pick rather than combining them.
    SetROP2(dc, text->pen == nullptr ? R2_COPYPEN : mask ? R2_WHITE : text->mix);
    SetStretchBltMode(dc, COLORONCOLOR);
    // A GDI font's own cache fetches its glyphs now (characters without one are skipped), so the
    // scratch surface is made ready again for the largest of them.
    if ((text->nodeFlags & TEXT_ORIGINS_APPLIED) == 0) {
        TextGlyphOriginsApply(store, text);
        if (!GlyphCacheReady(store, text, dc)) return false;
    }
    RECT* rects = nullptr;
    int32_t count = 1;
    if (mask && ClipHasRects(text->clip)) count = ClipRectsForBand(text->clip, surface, area, &rects);
    if (count > 0) {
        if (mask) TextGlyphsRenderBand(text, store, surface, area, rects ? rects : area, count);
        else TextGlyphsDraw(text, store, surface, area);
    }
    RenderFree(rects);
    return true;
}

int TextDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void*)
{
    TextNode* text = AsText(node);
    if (DescribedWithoutGlyphs(text->font)) return 1;
    HDC dc = surface->drawDC;
    const CmdDrawState state(surface);
    FontMark(store, text);
    if (!FontReady(store, text, surface)) {
        ResourceUseClear(store);
        return 1;
    }
    if (OwnGlyphs(text->font)) {
        // The band rectangle in device pixels: the glyphs whose cells meet it are drawn.
        POINT p[2] = {{band->left, band->top}, {band->right, band->bottom}};
        LPtoDP(dc, p, 2);
        const RECT area{std::min(p[0].x, p[1].x), std::min(p[0].y, p[1].y), std::max(p[0].x, p[1].x),
                        std::max(p[0].y, p[1].y)};
        OwnGlyphsDraw(text, store, surface, band, &area, false);
        ResourceUseClear(store);
        return 1;
    }
    ResourceUseMark(store, text->clip ? &text->clip->head : nullptr, RESOURCE_IN_USE);
    if (ClipSelect(store, text->clip, surface, band)) {
        HGDIOBJ previous = SelectObject(dc, text->font->handle);
        SetROP2(dc, text->mix);
        // D7: the text colour comes from a solid brush; other brushes draw black.
        SetTextColor(dc, BrushIsSolid(text->brush) ? text->brush->colour : 0);
        TextGdiOut(text, dc, band);
        SelectObject(dc, previous);
    }
    ResourceUseClear(store);
    return 1;
}

int TextDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    TextNode* text = AsText(node);
    HDC dc = surface->drawDC;
    const CmdDrawState state(surface);
    // The area is filled whole (the band mask cuts it): no clip an earlier command left may cut it.
    ClipSelect(store, nullptr, surface, nullptr);
    ResourceUseMark(store, &text->brush->head, RESOURCE_IN_USE);
    if (BrushSelect(store, text->brush, &text->brushOrigin, surface) != 0) {
        SetROP2(dc, text->mix);
        PatBlt(dc, area->left, area->top, area->right - area->left, area->bottom - area->top,
               DWORD{RopToRop3(text->mix)} << 16);
    }
    ResourceUseClear(store);
    return GdiFlush();
}

int TextRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                   const RECT* clear, int cleared)
{
    TextNode* text = AsText(node);
    if (DescribedWithoutGlyphs(text->font)) return CMD_BAND_NOTHING;
    if (!cleared) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    const CmdDrawState state(mask);
    FontMark(store, text);
    if (!FontReady(store, text, mask)) {
        ResourceUseClear(store);
        return CMD_BAND_MASKED;
    }
    if (OwnGlyphs(text->font)) {
        OwnGlyphsDraw(text, store, mask, band, area, true);
        ResourceUseClear(store);
        GdiFlush();
        return CMD_BAND_MASKED;
    }
    ResourceUseMark(store, text->clip ? &text->clip->head : nullptr, RESOURCE_IN_USE);
    HDC dc = mask->drawDC;
    if (ClipSelect(store, text->clip, mask, band)) {
        // The text goes in as 0 bits between two inversions: the marks already there survive and
        // the text's pixels end as 1.
        if (cleared) BandMaskRectsInvert(mask, 1, area);
        else BandMaskRectsSet(mask, 1, area);
        HGDIOBJ previous = SelectObject(dc, text->font->handle);
        SetTextColor(dc, 0);
        TextGdiOut(text, dc, band);
        SelectObject(dc, previous);
        GdiFlush();
        if (cleared) BandMaskRectsInvert(mask, 1, area);
        else BandMaskRectsInvertEach(mask, 1, area);
    }
    ResourceUseClear(store);
    GdiFlush();
    return CMD_BAND_MASKED;
}

}  // namespace

bool TextInkArea(const CmdNode* node, HDC dc, const RECT* band, RECT* area)
{
    const TextNode* text = AsText(node);
    const FontEntry* font = text->font;
    const LOGFONTA& lf = font->logFont;
    if (OwnGlyphs(font) || font->handle == nullptr || lf.lfEscapement != 0 || lf.lfOrientation != 0) return true;
    HGDIOBJ previous = SelectObject(dc, font->handle);
    TEXTMETRICA metrics{};
    const bool measured = previous != nullptr && GetTextMetricsA(dc, &metrics);
    if (previous != nullptr) SelectObject(dc, previous);
    if (!measured) return true;
    const TextReach reach = TextReachOf(text, metrics);
    int64_t left = INT64_MAX, top = INT64_MAX, right = INT64_MIN, bottom = INT64_MIN;
    for (uint32_t i = 0; i < text->count; ++i) {
        if (TextRowMisses(text, i, reach, band)) continue;
        const POINT p = Position(text, i);
        left = std::min<int64_t>(left, p.x - reach.x);
        right = std::max<int64_t>(right, p.x + reach.x);
        top = std::min<int64_t>(top, p.y - reach.y);
        bottom = std::max<int64_t>(bottom, p.y + reach.y);
    }
    if (left > right) return false;
    const auto clamp = [](int64_t v) { return LONG(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
    POINT corners[2] = {{clamp(left), clamp(top)}, {clamp(right), clamp(bottom)}};
    LPtoDP(dc, corners, 2);
    area->left = std::max(area->left, std::min(corners[0].x, corners[1].x));
    area->top = std::max(area->top, std::min(corners[0].y, corners[1].y));
    area->right = std::min(area->right, std::max(corners[0].x, corners[1].x) + 1);
    area->bottom = std::min(area->bottom, std::max(corners[0].y, corners[1].y) + 1);
    return area->left < area->right && area->top < area->bottom;
}

const CmdOpRow kCmdOpRowText = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.read = TextRead;
    row.destroy = TextDestroy;
    row.clone = TextClone;
    row.renderBand = TextRenderBand;
    row.draw = TextDraw;
    row.mixGet = TextMixGet;
    row.colorClassGet = TextColorClassGet;
    row.drawRestore = TextDrawRestore;
    return row;
}();
