// The CopyBits command kind: a bitmap copied at its own size (always a plain copy), from a source
// point into a destination rectangle.
#include <cstdint>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/stores/resource_store.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

namespace {

// Record (type 20, 40 bytes).
namespace CopyBitsRecord {
constexpr uint32_t source = 8, destination = 16, clip = 32, bitmap = 36;
}

int Read(ResourceStore* store, Stream* stream, CmdNode** out)
{
    *out = nullptr;
    uint8_t raw[40];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    auto* n = static_cast<CmdImageNode*>(CmdMemoryAlloc(store, sizeof(CmdImageNode)));
    if (n == nullptr) return 0;
    n->head.op = CmdOpCopyBits;
    const RECT d = CmdRecordRect(raw + CopyBitsRecord::destination);
    // Sizes from outside are taken in 64 bits; one that does not fit 32 bits fails the record.
    const int64_t width = int64_t{d.right} - d.left, height = int64_t{d.bottom} - d.top;
    if (width < INT32_MIN || width > INT32_MAX || height < INT32_MIN || height > INT32_MAX) {
        CmdMemoryFree(store, n);
        return 0;
    }
    n->x = d.left;
    n->y = d.top;
    n->width = n->srcWidth = static_cast<int32_t>(width);
    n->height = n->srcHeight = static_cast<int32_t>(height);
    n->srcX = static_cast<int32_t>(LoadLE32(raw + CopyBitsRecord::source));
    n->srcY = static_cast<int32_t>(LoadLE32(raw + CopyBitsRecord::source + 4));
    n->rop = 0xCCCC;
    n->bitmap = BitmapLookup(&store->bitmaps, LoadLE32(raw + CopyBitsRecord::bitmap));
    bool ok = n->bitmap != nullptr;
    const ResourceId clipId = LoadLE32(raw + CopyBitsRecord::clip);
    if (ok && clipId != 0) ok = (n->clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        CmdImageDestroy(&n->head, store);
        return 0;
    }
    n->head.bounds = CmdClipBoundsApply(d, n->clip);
    n->head.flags = CmdColorFlags(n->bitmap->head.flags);
    *out = &n->head;
    return 1;
}

int ColorClassGet(const CmdNode* node, uint32_t*, uint8_t* hint, int)
{
    const BitmapEntry* b = reinterpret_cast<const CmdImageNode*>(node)->bitmap;
    *hint = CMD_HINT_IMAGE;
    const uint8_t c = b->compression;
    if (b->header.biClrUsed == 0 || c == BitmapCompressionRle4 || c == BitmapCompressionRle8 ||
        c == BitmapCompressionBitFields || b->depth == 16)
        return CMD_COLOR_DRAW_RESTORE;
    return CmdColorDirect(node);
}

}  // namespace

const CmdOpRow kCmdOpRowCopyBits = [] {
    CmdOpRow row = kCmdOpRowEmpty;
    row.read = Read;
    row.destroy = CmdImageDestroy;
    row.clone = CmdImageClone;
    row.renderBand = CmdImageRenderBand;
    row.draw = CmdImageDraw;
    row.colorClassGet = ColorClassGet;
    row.drawRestore = CmdImageDrawRestore;
    row.renderDirect = CmdImageRenderDirect;
    CmdImageRowGetters(&row);
    return row;
}();
