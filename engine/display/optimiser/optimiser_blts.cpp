// Runs of plain bitmap copies that abut along the band direction become one Blts command.
#include <algorithm>

#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_blts.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/clip_store.h"

namespace {

bool CopyKind(const CmdNode* node)
{
    return node->op == CmdOpBitBlt || node->op == CmdOpCopyBits || node->op == CmdOpStretchBlt;
}

// A plain copy that the Blts drawing reproduces exactly: decodable pixels, a source inside the
// bitmap, no mask, brush or clip shape.
bool Qualifies(const CmdNode* node)
{
    if (!CopyKind(node)) return false;
    const auto* n = reinterpret_cast<const CmdImageNode*>(node);
    const BitmapEntry* b = n->bitmap;
    if (b == nullptr || n->rop != 0xCCCC || n->brush != nullptr || n->source != nullptr) return false;
    if (b->compression == BitmapCompressionRle4 || b->compression == BitmapCompressionRle8 ||
        b->compression == BitmapCompressionBitFields || b->compression == BitmapCompressionPassed || b->depth == 16)
        return false;
    if (n->clip != nullptr && ClipHasRects(n->clip)) return false;
    return CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight);
}

// 1 when b continues a rightward or downward run after a, -1 leftward or upward, 0 neither.
int Abuts(const RECT& a, const RECT& b, bool rows)
{
    if (rows) {
        if (a.top != b.top || a.bottom != b.bottom) return 0;
        return b.left == a.right ? 1 : b.right == a.left ? -1 : 0;
    }
    if (a.left != b.left || a.right != b.right) return 0;
    return b.top == a.bottom ? 1 : b.bottom == a.top ? -1 : 0;
}

}  // namespace

int CmdMergeBlts(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    CmdList* list = run->list;
    if (!Qualifies(node) || node->next == CmdListEnd(list) || !Qualifies(node->next)) return MERGE_NOT_APPLIED;
    const bool rows = run->direction < 2;
    const int way = Abuts(node->bounds, node->next->bounds, rows);
    if (way == 0) return MERGE_NOT_APPLIED;
    uint32_t length = 2;
    CmdNode* last = node->next;
    while (last->next != CmdListEnd(list) && Qualifies(last->next) &&
           Abuts(last->bounds, last->next->bounds, rows) == way) {
        last = last->next;
        ++length;
    }
    CmdNode* blts = BltsCreate(run->store, length);
    if (blts == nullptr) return MERGE_FAILED;
    for (CmdNode* x = node;; x = x->next) {
        const CmdOpRow& row = CmdRow(x);
        RECT source{}, destination{};
        CmdSrcRectGet(x, &source);
        CmdDestRectGet(x, &destination);
        const Clip* clip = CmdClipGet(x);
        RECT visible =
            clip != nullptr
                ? clip->data.rcBound
                : RECT{std::min(destination.left, destination.right), std::min(destination.top, destination.bottom),
                       std::max(destination.left, destination.right), std::max(destination.top, destination.bottom)};
        uint32_t colour = 0;
        uint8_t hint = 0;
        const int colourClass = row.colorClassGet(x, &colour, &hint, 0);
        if (!BltsAdd(blts, run->store, &x->bounds, &source, &destination, &visible, CmdBitmapGet(x),
                     colourClass == CMD_COLOR_DIRECT ? 0u : 1u)) {
            CmdRow(blts).destroy(blts, run->store);
            return MERGE_FAILED;
        }
        blts->flags |= x->flags & CMD_FLAG_COLOR_MASK;
        if (x == last) break;
    }
    CmdListInsertAfter(list, last, blts);
    for (CmdNode* x = node; x != blts;) {
        CmdNode* following = x->next;
        CmdNodeDiscard(run, x);
        x = following;
    }
    *next = blts->next;
    return MERGE_APPLIED;
}
