#include "engine/display/cmd_node.h"

#include "engine/display/cmd_ops.h"
#include "platform/user.h"

void CmdListInit(CmdList* list, ResourceStore* owner, int pageFlag)
{
    *list = CmdList{};
    if (pageFlag != 0) list->flags = CMD_LIST_PAGE;
    list->owner = owner;
    list->sentinel.next = list->sentinel.prev = CmdListEnd(list);
}

// The counters only grow: a node taken out later leaves its marks.
static void CmdListCount(CmdList* list, const CmdNode* node)
{
    ++list->count;
    list->nodeFlags |= node->flags & CMD_FLAG_COLOR_MASK;
    list->classBits |= node->op < CMD_OP_COUNT ? CmdOpClassBits[node->op] : 0;
    UnionRect(&list->bounds, &list->bounds, &node->bounds);
}

void CmdListInsertAfter(CmdList* list, CmdNode* link, CmdNode* node)
{
    node->prev = link;
    node->next = link->next;
    link->next->prev = node;
    link->next = node;
    CmdListCount(list, node);
}

void CmdListAppend(CmdList* list, CmdNode* node) { CmdListInsertAfter(list, list->sentinel.prev, node); }

void CmdListAppendChain(CmdList* list, CmdNode* first)
{
    while (first != nullptr) {
        CmdNode* following = first->next;
        CmdListAppend(list, first);
        first = following;
    }
}

CmdNode* CmdNodeUnlink(CmdList* list, CmdNode* node)
{
    node->prev->next = node->next;
    node->next->prev = node->prev;
    node->next = node->prev = nullptr;
    if (list->count > 0) --list->count;
    return node;
}

void CmdListDestroyAll(CmdList* list)
{
    while (!CmdListEmpty(list)) {
        CmdNode* node = CmdNodeUnlink(list, CmdListFirst(list));
        CmdRow(node).destroy(node, list->owner);
    }
}
