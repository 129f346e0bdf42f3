// The command table: names, class bits and source kinds per kind, which slots a kind may fill,
// how empty slots answer, the list operations on empty and one-node lists, and source dispatch.
#include <gtest/gtest.h>

#include <string>

#include "engine/display/cmd_memory.h"
#include "engine/display/cmd_node.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/source.h"
#include "engine/job/render_call.h"

namespace {

TEST(CmdTable, NamesClassBitsAndSourceKinds)
{
    struct Row {
        const char* name;
        uint32_t classBits;
        uint32_t sourceKind;
    };
    const Row rows[CMD_OP_COUNT] = {
        {"CmdOpComplex", 8, 3},        {"CmdOpRectsFill", 2, 1}, {"CmdOpBlts", 8, 3},       {"CmdOpText", 1, 3},
        {"CmdOpLine", 2, 3},           {"CmdOpPath", 2, 1},      {"CmdOpBitBlt", 8, 0},     {"CmdOpCopyBits", 8, 3},
        {"CmdOpStretchBlt", 8, 0},     {"CmdOpRect", 2, 1},      {"CmdOpAlphaBlend", 8, 3}, {"CmdOpRectFill", 2, 1},
        {"CmpOpTransparentBlt", 8, 3},
    };
    for (uint32_t op = 0; op < CMD_OP_COUNT; ++op) {
        SCOPED_TRACE(op);
        EXPECT_STREQ(CmdOpNameGet(op), rows[op].name);
        EXPECT_EQ(CmdOpClassBits[op], rows[op].classBits);
        EXPECT_EQ(CmdOpSourceKind[op], rows[op].sourceKind);
    }
    for (uint32_t op : {13u, 14u, 255u, 0xffffu, 0xffffffffu}) EXPECT_STREQ(CmdOpNameGet(op), "Unmapped");
}

// Which kinds may fill which slots: one string per slot, one character per kind in CmdOp order
// (x filled, . empty). A kind never fills a slot the matrix leaves empty; the slots every kind
// fills once its handlers exist are checked as the kinds land.
const char* const kSlotMatrix[CMD_SLOT_COUNT] = {
    ".....x...x.x.",  // 0 CmdIsBlack
    "......xxx....",  // 1 CmdBitmapGet
    "......x.x....",  // 2 CmdSrcOriginGet
    "....xx.......",  // 3 CmdClip
    ".....xxxxx...",  // 4 CmdBrushGet
    ".....x...x...",  // 5 CmdBrushOriginGet
    ".....xx.xx...",  // 6 CmdBrushSet
    ".....xxxxx..x",  // 7 CmdClipGet
    "....xxx.xx..x",  // 8 CmdClipRegionSet
    ".....xx.xx...",  // 9 CmdEqual
    ".x.......x.x.",  // 10 CmdMapToDevice
    "...xxxxxxxxxx",  // 11 CmdRead
    "xxxxxxxxxxxxx",  // 12 CmdDestroy
    ".xxxxxxxxxxxx",  // 13 CmdClone
    "......xxx....",  // 14 CmdSourceGet
    "......x.x....",  // 15 CmdSourceSet
    "xxxxxxxxxxxxx",  // 16 CmdRenderBand
    ".....x...x...",  // 17 CmdPenGet
    "......xxx....",  // 18 CmdDestRectGet
    "......xxx....",  // 19 CmdSrcRectGet
    "xxxxxxxxxxxxx",  // 20 CmdDraw
    "...xxx...x...",  // 21 CmdMixGet
    ".....x...x...",  // 22 CmdMixSet
    "......xxx....",  // 23 CmdRopGet
    "......x.x....",  // 24 CmdRopSet
    "xxxxxxxxxxxxx",  // 25 CmdColorClassGet
    "..x...xxx...x",  // 26 CmdRenderDirect
    "xxxxxxxxxx.xx",  // 27 CmdDrawRestore
    ".....x...x.x.",  // 28 CmdIsWhite
};

TEST(CmdTable, NoKindFillsASlotItDoesNotHave)
{
    for (uint32_t slot = 0; slot < CMD_SLOT_COUNT; ++slot)
        for (uint32_t op = 0; op < CMD_OP_COUNT; ++op)
            if (kSlotMatrix[slot][op] == '.') {
                EXPECT_FALSE(CmdSlotFilled(op, slot)) << CmdOpNameGet(op) << " slot " << slot;
            }
    EXPECT_FALSE(CmdSlotFilled(CMD_OP_COUNT, 0));
    EXPECT_FALSE(CmdSlotFilled(0, CMD_SLOT_COUNT));
}

// A kind that reads its records can be destroyed, drawn and classified: the slots the band loop
// calls for every node come with the reader.
TEST(CmdTable, AKindWithAReaderHasTheSlotsEveryNodeNeeds)
{
    for (uint32_t op = 0; op < CMD_OP_COUNT; ++op) {
        if (!CmdSlotFilled(op, CmdSlotRead)) continue;
        SCOPED_TRACE(CmdOpNameGet(op));
        for (uint32_t slot : {CmdSlotDestroy, CmdSlotRenderBand, CmdSlotDrawNode, CmdSlotColorClassGet})
            EXPECT_TRUE(CmdSlotFilled(op, slot)) << "slot " << slot;
    }
}

// A zeroed block as large as any kind's node, so that a kind's own CmdDestroy finds no
// resources to release.
CmdNode* NewNode(uint16_t op, RECT bounds, uint16_t flags = 0)
{
    auto* node = static_cast<CmdNode*>(CmdMemoryAlloc(nullptr, 256));
    node->op = op;
    node->flags = flags;
    node->bounds = bounds;
    return node;
}

// Empty slots answer "does not apply"; CmdClip's empty answer is "visible".
TEST(CmdTable, EmptySlotsAnswerDoesNotApply)
{
    CmdNode* node = NewNode(CmdOpText, {0, 0, 10, 10});
    const CmdOpRow& empty = kCmdOpRowEmpty;
    RECT band{0, 0, 5, 5}, out{1, 1, 1, 1};
    EXPECT_EQ(empty.clip(node, &band, &out), 1);
    EXPECT_EQ(empty.isBlack(node), 0);
    EXPECT_EQ(empty.isWhite(node), 0);
    EXPECT_EQ(empty.bitmapGet(node), nullptr);
    EXPECT_EQ(empty.brushGet(node), nullptr);
    EXPECT_EQ(empty.penGet(node), nullptr);
    EXPECT_EQ(empty.clipGet(node), nullptr);
    EXPECT_EQ(empty.sourceGet(node), nullptr);
    EXPECT_EQ(empty.brushOriginGet(node), nullptr);
    EXPECT_EQ(empty.clone(node, nullptr), nullptr);
    EXPECT_EQ(empty.renderBand(node, nullptr, nullptr, &band, &band, &band, 0), CMD_BAND_NOTHING);
    uint32_t colour = 7;
    uint8_t hint = 9;
    // No class the band loop knows: it draws nothing.
    EXPECT_LT(empty.colorClassGet(node, &colour, &hint, 0), 0);
    CmdNode* read = node;
    EXPECT_EQ(empty.read(nullptr, nullptr, &read), 0);
    empty.destroy(node, nullptr);  // frees the bare node (the leak check of the sanitizer build sees it)
}

// Clip on a node without a CmdClip of its own counts as visible, whatever the band.
TEST(CmdTable, SlotClipOfAKindWithoutClipIsVisible)
{
    for (uint16_t op : {CmdOpText, CmdOpBitBlt, CmdOpRectFill}) {
        if (CmdSlotFilled(op, CmdSlotClipTest)) continue;
        CmdNode* node = NewNode(op, {0, 0, 10, 10});
        RECT band{100, 100, 200, 200}, out{};
        EXPECT_EQ(CmdSlotClip(node, &band, &out), 1) << CmdOpNameGet(op);
        CmdRow(node).destroy(node, nullptr);
    }
}

TEST(CmdList, InitAppendInsertAndUnlink)
{
    CmdList list;
    CmdListInit(&list, nullptr, 1);
    EXPECT_EQ(list.flags, CMD_LIST_PAGE);
    EXPECT_TRUE(CmdListEmpty(&list));
    EXPECT_EQ(CmdListFirst(&list), CmdListEnd(&list));
    EXPECT_EQ(list.sentinel.prev, CmdListEnd(&list));
    CmdListDestroyAll(&list);  // an empty list calls nothing
    EXPECT_EQ(list.count, 0u);

    CmdList form;
    CmdListInit(&form, nullptr, 0);
    EXPECT_EQ(form.flags, 0u);

    // One node: counters take its marks; unlinking leaves them.
    CmdNode* a = NewNode(CmdOpText, {10, 20, 30, 40}, CMD_FLAG_GREY | CMD_FLAG_THIN);
    CmdListAppend(&list, a);
    EXPECT_EQ(list.count, 1u);
    EXPECT_EQ(CmdListFirst(&list), a);
    EXPECT_EQ(a->next, CmdListEnd(&list));
    EXPECT_EQ(a->prev, CmdListEnd(&list));
    EXPECT_EQ(list.nodeFlags, uint32_t{CMD_FLAG_GREY});  // thin is not a colour flag
    EXPECT_EQ(list.classBits, CMD_CLASS_TEXT);
    EXPECT_EQ(list.bounds.left, 10);
    EXPECT_EQ(list.bounds.bottom, 40);
    EXPECT_EQ(CmdNodeUnlink(&list, a), a);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(CmdListEmpty(&list));
    EXPECT_EQ(list.sentinel.prev, CmdListEnd(&list));
    EXPECT_EQ(a->next, nullptr);
    EXPECT_EQ(a->prev, nullptr);
    EXPECT_EQ(list.nodeFlags, uint32_t{CMD_FLAG_GREY});
    EXPECT_EQ(list.classBits, CMD_CLASS_TEXT);
    EXPECT_EQ(list.bounds.right, 30);

    // Insert after the sentinel puts a node first; a chain appends in order.
    CmdNode* b = NewNode(CmdOpBitBlt, {0, 0, 5, 5}, CMD_FLAG_COLOR);
    CmdNode* c = NewNode(CmdOpLine, {50, 50, 60, 60});
    b->next = c;
    c->next = nullptr;
    CmdListAppendChain(&list, b);
    CmdListInsertAfter(&list, CmdListEnd(&list), a);
    std::string order;
    for (CmdNode* n = CmdListFirst(&list); n != CmdListEnd(&list); n = n->next)
        order += std::string(CmdOpNameGet(n->op)) + ' ';
    EXPECT_EQ(order, "CmdOpText CmdOpBitBlt CmdOpLine ");
    EXPECT_EQ(list.sentinel.prev, c);
    EXPECT_EQ(list.count, 3u);
    EXPECT_EQ(list.classBits, CMD_CLASS_TEXT | CMD_CLASS_IMAGE | CMD_CLASS_VECTOR);
    EXPECT_EQ(list.nodeFlags, uint32_t{CMD_FLAG_GREY | CMD_FLAG_COLOR});
    EXPECT_EQ(list.bounds.left, 0);
    EXPECT_EQ(list.bounds.top, 0);
    EXPECT_EQ(list.bounds.right, 60);
    EXPECT_EQ(list.bounds.bottom, 60);

    // Insert after a middle node, unlink a middle node.
    CmdNode* d = NewNode(CmdOpRect, {1, 1, 2, 2});
    CmdListInsertAfter(&list, b, d);
    EXPECT_EQ(b->next, d);
    EXPECT_EQ(d->next, c);
    EXPECT_EQ(c->prev, d);
    CmdNodeUnlink(&list, b);
    EXPECT_EQ(a->next, d);
    EXPECT_EQ(d->prev, a);
    CmdRow(b).destroy(b, nullptr);

    const int64_t live = RenderAllocLiveBlocks();
    CmdListDestroyAll(&list);
    EXPECT_EQ(list.count, 0u);
    EXPECT_TRUE(CmdListEmpty(&list));
    EXPECT_EQ(RenderAllocLiveBlocks(), live - 3);
}

TEST(CmdList, EmptyBoundsDoNotWidenTheList)
{
    CmdList list;
    CmdListInit(&list, nullptr, 1);
    CmdNode* a = NewNode(CmdOpText, {10, 10, 20, 20});
    CmdNode* empty = NewNode(CmdOpText, {0, 0, 0, 0});
    CmdListAppend(&list, a);
    CmdListAppend(&list, empty);
    EXPECT_EQ(list.bounds.left, 10);
    EXPECT_EQ(list.bounds.top, 10);
    CmdListDestroyAll(&list);
}

TEST(Source, EqualityAndDispatchOfEmptySlots)
{
    Source a{SourceKindBrush, nullptr}, b{SourceKindBrush, nullptr}, c{SourceKindBitmap, nullptr};
    EXPECT_EQ(SourceEqual(nullptr, nullptr), 1);
    EXPECT_EQ(SourceEqual(&a, nullptr), 0);
    EXPECT_EQ(SourceEqual(nullptr, &a), 0);
    EXPECT_EQ(SourceEqual(&a, &a), 1);
    EXPECT_EQ(SourceEqual(&a, &c), 0);
    if (SourceKindSlots[SourceKindBrush]->equal == nullptr) {
        EXPECT_EQ(SourceEqual(&a, &b), 0);
    }
    Source bad{7, nullptr};
    EXPECT_EQ(SourceEqual(&bad, &bad), 1);
    Source unknown{7, nullptr};
    EXPECT_EQ(SourceEqual(&bad, &unknown), 0);
    EXPECT_EQ(SourceClone(&bad, nullptr), nullptr);
    SourceRelease(&bad, nullptr, 0);  // an unknown kind has no slots: nothing happens
    EXPECT_EQ(SourceAttach(&a, reinterpret_cast<ResourceStore*>(&b)), 1);
    EXPECT_EQ(a.owner, reinterpret_cast<ResourceStore*>(&b));
    CmdNode* text = NewNode(CmdOpText, {0, 0, 1, 1});
    EXPECT_EQ(SourcePrepare(text, nullptr, 0, 0), nullptr);  // source kind 3: none
    CmdRow(text).destroy(text, nullptr);
}

}  // namespace
