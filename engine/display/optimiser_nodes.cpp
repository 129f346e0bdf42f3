// Questions the optimiser asks of any node, answered through its kind's slots.
#include "engine/display/cmd_ops.h"
#include "engine/display/optimiser_merge.h"
#include "engine/display/pen_store.h"

bool CmdStrictOverlap(const RECT& a, const RECT& b)
{
    return a.left < b.right && a.right > b.left && a.top < b.bottom && a.bottom > b.top;
}

bool CmdPenIsNull(const CmdNode* node)
{
    const Pen* pen = CmdRow(node).penGet(node);
    return pen == nullptr || pen->head.id == 0;
}

uint8_t CmdMix(const CmdNode* node)
{
    return CmdSlotFilled(node->op, CmdSlotMixGet) ? CmdRow(node).mixGet(node) : 0;
}

uint32_t CmdRop(const CmdNode* node)
{
    return CmdSlotFilled(node->op, CmdSlotRopGet) ? CmdRow(node).ropGet(node) : 0;
}

bool CmdIsImage(const CmdNode* node) { return node->op == CmdOpBitBlt || node->op == CmdOpStretchBlt; }

bool CmdIsPathOrRect(const CmdNode* node) { return node->op == CmdOpPath || node->op == CmdOpRect; }

void CmdNodeDiscard(OptimiseRun* run, CmdNode* node)
{
    CmdNodeUnlink(run->list, node);
    CmdRow(node).destroy(node, run->store);
}
