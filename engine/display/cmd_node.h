// The display list: the common head of every command node, the list that holds the commands of
// one page, form, form level or Complex node, and the operations that link and unlink nodes.
// None of the list operations allocates or fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/types.h"

struct ResourceStore;

// The thirteen command kinds. Kinds 0 to 2 are made only by the optimiser; the others are read
// from spool records of type kind + 13.
enum CmdOp : uint16_t {
    CmdOpComplex = 0,
    CmdOpRectsFill = 1,
    CmdOpBlts = 2,
    CmdOpText = 3,
    CmdOpLine = 4,
    CmdOpPath = 5,
    CmdOpBitBlt = 6,
    CmdOpCopyBits = 7,
    CmdOpStretchBlt = 8,
    CmdOpRect = 9,
    CmdOpAlphaBlend = 10,
    CmdOpRectFill = 11,
    CmdOpTransparentBlt = 12,
};
inline constexpr uint32_t CMD_OP_COUNT = 13;
inline constexpr uint16_t CMD_RECORD_TYPE_OFFSET = 13;  // record type = CmdOp + 13

// Node flags: the colours the command paints (from its pen, brush or bitmap), and thin.
inline constexpr uint16_t CMD_FLAG_BLACK_WHITE = 0x10;
inline constexpr uint16_t CMD_FLAG_GREY = 0x20;
inline constexpr uint16_t CMD_FLAG_COLOR = 0x40;
inline constexpr uint16_t CMD_FLAG_COLOR_MASK = 0x70;
inline constexpr uint16_t CMD_FLAG_THIN = 0x80;

// Class bits per kind (CmdOpClassBits).
inline constexpr uint32_t CMD_CLASS_TEXT = 1;
inline constexpr uint32_t CMD_CLASS_VECTOR = 2;
inline constexpr uint32_t CMD_CLASS_IMAGE = 8;

// The common head; each kind's node continues with its own fields.
struct CmdNode {
    CmdNode* next;  // the following node, or the list's sentinel
    CmdNode* prev;
    uint16_t op;  // CmdOp
    uint16_t flags;  // CMD_FLAG_*
    RECT bounds;  // in the list's coordinates: the area the command may touch (right, bottom exclusive)
};
static_assert(offsetof(CmdNode, op) == 16);
static_assert(offsetof(CmdNode, flags) == 18);
static_assert(offsetof(CmdNode, bounds) == 20);
static_assert(sizeof(CmdNode) == 40);

// The two links of the circular list; the sentinel is not a node, only its links are used.
struct CmdLinks {
    CmdNode* next;
    CmdNode* prev;
};

// List flags.
inline constexpr uint32_t CMD_LIST_PAGE = 0x1;  // a page's or form level's list (clear for forms)
inline constexpr uint32_t CMD_LIST_OPTIMISED = 0x2;  // the optimiser has run on it

struct CmdList {
    uint32_t count;
    uint32_t flags;  // CMD_LIST_*
    uint32_t nodeFlags;  // OR of (flags & 0x70) of every node ever added
    uint32_t classBits;  // OR of the class bits of every node ever added
    RECT bounds;  // union of the bounds of every node ever added
    CmdLinks sentinel;  // first node is sentinel.next, last is sentinel.prev
    ResourceStore* owner;
};
static_assert(offsetof(CmdList, bounds) == 16);
static_assert(offsetof(CmdList, sentinel) == 32);
static_assert(offsetof(CmdList, owner) == 48);
static_assert(sizeof(CmdList) == 56);

// The sentinel seen as a node, so that next and prev of the first and last node can point at it.
// Only its two links may be touched.
inline CmdNode* CmdListEnd(CmdList* list) { return reinterpret_cast<CmdNode*>(&list->sentinel); }
inline CmdNode* CmdListFirst(CmdList* list) { return list->sentinel.next; }
inline bool CmdListEmpty(const CmdList* list)
{
    return list->sentinel.next == reinterpret_cast<const CmdNode*>(&list->sentinel);
}

void CmdListInit(CmdList* list, ResourceStore* owner, int pageFlag);
void CmdListAppend(CmdList* list, CmdNode* node);
// Appends a chain linked through next and ended by null, node by node.
void CmdListAppendChain(CmdList* list, CmdNode* first);
// Links the node right after link (a node of the list, or CmdListEnd(list) to insert at the front).
void CmdListInsertAfter(CmdList* list, CmdNode* link, CmdNode* node);
// Takes the node out; its links are cleared. The list's flags, class bits and bounds stay.
CmdNode* CmdNodeUnlink(CmdList* list, CmdNode* node);
// Unlinks and destroys (slot CmdDestroy with the list's owner) every node, first to last.
void CmdListDestroyAll(CmdList* list);
