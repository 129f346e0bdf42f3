// Questions the optimiser asks of any node, answered through its kind's slots.
#include "engine/display/cmd_ops.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/pen_store.h"
#include "engine/display/stores/resource_store.h"

bool CmdStrictOverlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

bool CmdPenIsNull(const CmdNode* node)
{
    const Pen* pen = CmdPenGet(node);
    return pen == nullptr || pen->head.id == 0;
}

uint8_t CmdMix(const CmdNode* node) { return CmdSlotFilled(node->op, CmdSlotMixGet) ? CmdMixGet(node) : 0; }

uint32_t CmdRop(const CmdNode* node) { return CmdSlotFilled(node->op, CmdSlotRopGet) ? CmdRopGet(node) : 0; }

bool CmdIsImage(const CmdNode* node) { return node->op == CmdOpBitBlt || node->op == CmdOpStretchBlt; }

bool CmdIsPathOrRect(const CmdNode* node) { return node->op == CmdOpPath || node->op == CmdOpRect; }

void CmdNodeDiscard(OptimiseRun* run, CmdNode* node)
{
    CmdNodeUnlink(run->list, node);
    CmdRow(node).destroy(node, run->store);
}

bool CmdBitmapBlackAndWhite(ResourceStore* store, const BitmapEntry* b)
{
    if (b->header.biBitCount != 1 || b->header.biCompression != BI_RGB || b->compression != BitmapCompressionNone ||
        b->paletteCount != 2)
        return false;
    uint8_t palette[8];
    uint32_t got = 0;
    if (!BitmapDataRead(store->bitmaps.spill, b, 0, palette, sizeof palette, &got) || got != sizeof palette)
        return false;
    auto grey = [&](int i, uint8_t v) {
        return palette[4 * i] == v && palette[4 * i + 1] == v && palette[4 * i + 2] == v;
    };
    return (grey(0, 0) && grey(1, 255)) || (grey(0, 255) && grey(1, 0));
}
