// BitBlt and StretchBlt: one node, read from their records, drawn either by the stretch blit
// straight into the band's pixels (plain copies and the few ROPs it knows) or through GDI. This file
// holds the node: its reader, its masked split, copies, questions and the command table row.
#include "engine/display/commands/cmd_image_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/common/output_module.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/commands/source_bitmap.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

// Record layouts: BitBlt (type 19, 68 bytes), StretchBlt (type 21, 92 bytes).
namespace BitBltRecord {
constexpr uint32_t destination = 8, source = 24, maskOrigin = 32, brushOrigin = 40, brush = 48, clip = 52, bitmap = 56,
                   mask = 60, rop = 64;
}
namespace StretchBltRecord {
constexpr uint32_t source = 8, destination = 24, brushOrigin = 40, clip = 72, bitmap = 76, mask = 80, brush = 84,
                   rop = 88, extra = 90;
}

// A masked record: the low ROP byte paints where the mask is white, the high one where it is
// black. Each side that changes the page becomes a command of its own with one ROP in both bytes
// and a source over the mask; the chain is the white side, then the black side.
int MaskedSplit(CmdImageNode* n, ResourceStore* store, uint32_t maskId, CmdNode** out)
{
    const uint32_t fore = n->rop & 0xFF, back = n->rop >> 8;
    CmdImageNode* sides[2] = {nullptr, nullptr};  // white side, black side
    const Source* made = nullptr;  // the first side's source, shared by the second
    bool ok = true;
    for (uint32_t side = 0; side < 2 && ok; ++side) {
        const uint32_t rop = side == 0 ? fore : back;
        if (rop == 0xAA) continue;  // the destination stays on this side
        CmdImageNode* node = side == 1 ? n : reinterpret_cast<CmdImageNode*>(CmdImageClone(&n->head, store));
        if (node == nullptr) {
            ok = false;
            break;
        }
        sides[side] = node;
        node->rop = rop | rop << 8;
        const uint32_t foreground = side == 0 ? 1 : 0;
        node->source = made == nullptr ? BitmapSourceCreate(&node->head, store, maskId, foreground)
                                       : SourceBitmapShare(made, store, &node->head, foreground);
        ok = node->source != nullptr;
        made = node->source;
    }
    if (sides[1] == nullptr && ok) CmdImageDestroy(&n->head, store);  // the black side keeps the page
    if (!ok) {
        for (CmdImageNode* node : sides)
            if (node != nullptr && node != n) CmdImageDestroy(&node->head, store);
        CmdImageDestroy(&n->head, store);
        return 0;
    }
    if (sides[0] != nullptr) sides[0]->head.next = sides[1] != nullptr ? &sides[1]->head : nullptr;
    *out = sides[0] != nullptr ? &sides[0]->head : &sides[1]->head;
    return 1;
}

// Marks where a command with a brush source paints: the pattern's white pixels inside the

}  // namespace

int CmdImageRead(ResourceStore* store, Stream* stream, CmdNode** out, bool stretch)
{
    *out = nullptr;
    uint8_t raw[92];
    const int32_t size = stretch ? 92 : 68;
    if (StreamRead(stream, raw, static_cast<uint32_t>(size)) != size) return 0;
    const uint32_t rop = stretch ? LoadLE16(raw + StretchBltRecord::rop) : LoadLE32(raw + BitBltRecord::rop);
    if ((rop & 0xFFFF) == 0xAAAA) return 1;  // the destination stays as it is
    const uint32_t maskId = LoadLE32(raw + (stretch ? StretchBltRecord::mask : BitBltRecord::mask));
    auto* n = static_cast<CmdImageNode*>(CmdMemoryAlloc(store, sizeof(CmdImageNode)));
    if (n == nullptr) return 0;
    n->head.op = stretch ? CmdOpStretchBlt : CmdOpBitBlt;
    const RECT d = CmdRecordRect(raw + (stretch ? StretchBltRecord::destination : BitBltRecord::destination));
    n->width = CmdExtent(d.left, d.right);
    n->height = CmdExtent(d.top, d.bottom);
    n->x = stretch && d.left > d.right ? d.left - 1 : d.left;
    n->y = stretch && d.top > d.bottom ? d.top - 1 : d.top;
    if (stretch) {
        const RECT s = CmdRecordRect(raw + StretchBltRecord::source);
        n->srcX = s.left;
        n->srcY = s.top;
        n->srcWidth = CmdExtent(s.left, s.right);
        n->srcHeight = CmdExtent(s.top, s.bottom);
        n->extra = raw[StretchBltRecord::extra];
    } else {
        n->srcX = static_cast<int32_t>(LoadLE32(raw + BitBltRecord::source));
        n->srcY = static_cast<int32_t>(LoadLE32(raw + BitBltRecord::source + 4));
        n->srcWidth = n->width;
        n->srcHeight = n->height;
        n->maskOrigin = POINT{static_cast<LONG>(LoadLE32(raw + BitBltRecord::maskOrigin)),
                              static_cast<LONG>(LoadLE32(raw + BitBltRecord::maskOrigin + 4))};
    }
    const uint32_t origin = stretch ? StretchBltRecord::brushOrigin : BitBltRecord::brushOrigin;
    n->brushOrigin = POINT{static_cast<LONG>(LoadLE32(raw + origin)), static_cast<LONG>(LoadLE32(raw + origin + 4))};
    n->rop = rop & 0xFFFF;
    const ResourceId brushId = LoadLE32(raw + (stretch ? StretchBltRecord::brush : BitBltRecord::brush));
    const ResourceId bitmapId = LoadLE32(raw + (stretch ? StretchBltRecord::bitmap : BitBltRecord::bitmap));
    const ResourceId clipId = LoadLE32(raw + (stretch ? StretchBltRecord::clip : BitBltRecord::clip));
    bool ok = true;
    if (brushId != 0) ok = (n->brush = BrushLookup(&store->brushes, brushId)) != nullptr;
    if (ok && bitmapId != 0) ok = (n->bitmap = BitmapLookup(&store->bitmaps, bitmapId)) != nullptr;
    if (ok && stretch) ok = n->bitmap != nullptr;  // a StretchBlt needs its bitmap
    if (ok && clipId != 0) ok = (n->clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        CmdImageDestroy(&n->head, store);
        return 0;
    }
    if (n->bitmap != nullptr && (n->rop == 0x8888 || n->rop == 0xB8B8 || n->rop == 0xE2E2))
        BitmapMonoDetect(&store->bitmaps, n->bitmap);  // reads only the spill: the stream stays where it is
    RectNormalize(&n->head.bounds, &d);
    n->head.bounds = CmdClipBoundsApply(n->head.bounds, n->clip);
    n->head.flags = CmdColorFlags((n->brush ? n->brush->head.flags : 0) | (n->bitmap ? n->bitmap->head.flags : 0));
    if (maskId != 0) return MaskedSplit(n, store, maskId, out);
    *out = &n->head;
    return 1;
}

void CmdImageDestroy(CmdNode* node, ResourceStore* store)
{
    CmdImageNode* n = CmdImageOf(node);
    CmdBrushRelease(store, &n->brush);
    CmdBitmapRelease(store, &n->bitmap);
    CmdClipRelease(store, &n->clip);
    if (n->source != nullptr) SourceRelease(n->source, store, 1);
    CmdMemoryFree(store, n);
}

CmdNode* CmdImageClone(const CmdNode* node, ResourceStore* store)
{
    const CmdImageNode* from = CmdImageOf(node);
    auto* copy = static_cast<CmdImageNode*>(CmdMemoryAlloc(store, sizeof(CmdImageNode)));
    if (copy == nullptr) return nullptr;
    *copy = *from;
    copy->head.next = copy->head.prev = nullptr;
    if (from->source != nullptr) {
        copy->source = SourceClone(from->source, store);
        if (copy->source == nullptr) {
            CmdMemoryFree(store, copy);
            return nullptr;
        }
        if (copy->source->kind == SourceKindBitmap) reinterpret_cast<SourceBitmap*>(copy->source)->node = &copy->head;
    }
    if (copy->bitmap) ResourceRefAdd(&copy->bitmap->head);
    if (copy->brush) ResourceRefAdd(&copy->brush->head);
    if (copy->clip) ResourceRefAdd(&copy->clip->head);
    return &copy->head;
}

int CmdImageClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    return CmdClipReplace(node, store, &CmdImageOf(node)->clip, clip);
}

int CmdImageColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag)
{
    const CmdImageNode* n = CmdImageOf(node);
    *hint = CMD_HINT_IMAGE;
    const uint32_t rop = n->rop;
    const BitmapEntry* b = n->bitmap;
    if ((rop == 0xB8B8 || rop == 0x8888 || rop == 0xE2E2) && BitmapFlagsHave(b, RESOURCE_BLACK_WHITE)) {
        if (rop == 0x8888) {
            *colour = 0;
            return CMD_COLOR_SOLID;
        }
        if (BrushIsSolid(n->brush)) {
            *colour = n->brush->colour;
            return CMD_COLOR_SOLID;
        }
        return CMD_COLOR_DRAW_RESTORE;
    }
    if (RopReadsDestination(rop)) return CMD_COLOR_LEVEL_IMAGE;
    if (b == nullptr && n->source == nullptr) {
        if (BrushIsSolid(n->brush) && (rop >> 8) == 0xF0) {
            *colour = n->brush->colour;
            return CMD_COLOR_SOLID;
        }
        return CMD_COLOR_DRAW_RESTORE;
    }
    if (rop != 0xCCCC || b == nullptr || BitmapDecodedByGdi(b) || b->depth == 16) {
        return b != nullptr && b->compression == BitmapCompressionPassed && node->op == CmdOpStretchBlt
                   ? CmdColorDirect(node)
                   : CMD_COLOR_DRAW_RESTORE;
    }
    if (node->op == CmdOpBitBlt)
        return n->width > 0 && n->height > 0 && b->header.biClrUsed != 0 ? CmdColorDirect(node)
                                                                         : CMD_COLOR_DRAW_RESTORE;
    // StretchBlt: only enlargements are rendered directly.
    const int64_t destination = std::abs(int64_t{n->width} * n->height);
    const int64_t source = std::abs(int64_t{n->srcWidth} * n->srcHeight);
    if (flag >= 0 && destination > source) return CmdColorDirect(node);
    return b->compression == BitmapCompressionPassed ? CmdColorDirect(node) : CMD_COLOR_DRAW_RESTORE;
}

int CmdImageEqual(const CmdNode* a, const CmdNode* b)
{
    if (a->op != b->op || std::memcmp(&a->bounds, &b->bounds, sizeof a->bounds) != 0) return 0;
    const CmdImageNode* x = CmdImageOf(a);
    const CmdImageNode* y = CmdImageOf(b);
    return x->rop == y->rop && x->x == y->x && x->y == y->y && x->width == y->width && x->height == y->height &&
           x->srcX == y->srcX && x->srcY == y->srcY && x->srcWidth == y->srcWidth && x->srcHeight == y->srcHeight &&
           x->brushOrigin.x == y->brushOrigin.x && x->brushOrigin.y == y->brushOrigin.y &&
           (x->brush == y->brush || (x->brush && y->brush && BrushEqual(x->brush, y->brush))) &&
           BitmapEqual(x->bitmap, y->bitmap) && x->clip == y->clip &&
           (x->source == y->source || SourceEqual(x->source, y->source));
}

CmdOpRow CmdImageRow(CmdReadFn read)
{
    CmdOpRow row = kCmdOpRowEmpty;
    row.bitmapGet = [](const CmdNode* node) { return CmdImageOf(node)->bitmap; };
    row.clipGet = [](const CmdNode* node) { return CmdImageOf(node)->clip; };
    row.clipRegionSet = CmdImageClipRegionSet;
    row.equal = CmdImageEqual;
    row.read = read;
    row.destroy = CmdImageDestroy;
    row.clone = CmdImageClone;
    row.renderBand = CmdImageRenderBand;
    row.draw = CmdImageDraw;
    row.colorClassGet = CmdImageColorClassGet;
    row.drawRestore = CmdImageDrawRestore;
    row.renderDirect = CmdImageRenderDirect;
    CmdImageRowGetters(&row);
    row.ropSet = [](CmdNode* node, uint32_t rop) { CmdImageOf(node)->rop = rop; };
    row.brushGet = [](const CmdNode* node) { return CmdImageOf(node)->brush; };
    row.brushSet = CmdImageBrushSet;
    row.sourceGet = [](const CmdNode* node) { return CmdImageOf(node)->source; };
    row.sourceSet = CmdImageSourceSet;
    return row;
}

void CmdImageSourceSet(CmdNode* node, Source* source)
{
    CmdImageNode* n = CmdImageOf(node);
    if (n->source == source) return;
    if (n->source != nullptr) SourceRelease(n->source, n->source->owner, 1);
    n->source = source;
    if (source == nullptr) return;
    SourceAttach(source, source->owner);
    if (source->kind == SourceKindBitmap) reinterpret_cast<SourceBitmap*>(source)->node = node;
}

int CmdImageBrushSet(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush)
{
    CmdImageNode* n = CmdImageOf(node);
    CmdBrushRelease(store, &n->brush);
    if (brush != nullptr) {
        n->brush = BrushLookup(&store->brushes, brush->head.id);
        if (n->brush == nullptr) return 0;
    }
    if (origin != nullptr) n->brushOrigin = *origin;
    n->head.flags = static_cast<uint16_t>(
        (n->head.flags & ~CMD_FLAG_COLOR_MASK) |
        CmdColorFlags((n->brush ? n->brush->head.flags : 0) | (n->bitmap ? n->bitmap->head.flags : 0)));
    return 1;
}

void CmdImageRowGetters(CmdOpRow* row)
{
    row->bitmapGet = [](const CmdNode* node) { return CmdImageOf(node)->bitmap; };
    row->ropGet = [](const CmdNode* node) { return CmdImageOf(node)->rop; };
    row->destRectGet = [](const CmdNode* node, RECT* out) {
        const CmdImageNode* n = CmdImageOf(node);
        *out = RECT{n->x, n->y, n->x + n->width, n->y + n->height};
    };
    row->srcRectGet = [](const CmdNode* node, RECT* out) {
        const CmdImageNode* n = CmdImageOf(node);
        *out = RECT{n->srcX, n->srcY, n->srcX + n->srcWidth, n->srcY + n->srcHeight};
    };
}
