#include "engine/display/cmd_ops.h"

#include <cstring>

#include "engine/common/output_module.h"
#include "engine/display/cmd_memory.h"
#include "engine/display/source.h"
#include "platform/kernel.h"

const CmdOpRow* const CmdOpSlots[CMD_OP_COUNT] = {
    &kCmdOpRowComplex,    &kCmdOpRowRectsFill, &kCmdOpRowBlts,           &kCmdOpRowText,       &kCmdOpRowLine,
    &kCmdOpRowPath,       &kCmdOpRowBitBlt,    &kCmdOpRowCopyBits,       &kCmdOpRowStretchBlt, &kCmdOpRowRect,
    &kCmdOpRowAlphaBlend, &kCmdOpRowRectFill,  &kCmdOpRowTransparentBlt,
};

const uint32_t CmdOpClassBits[CMD_OP_COUNT] = {
    CMD_CLASS_IMAGE,  CMD_CLASS_VECTOR, CMD_CLASS_IMAGE, CMD_CLASS_TEXT,  CMD_CLASS_VECTOR,
    CMD_CLASS_VECTOR, CMD_CLASS_IMAGE,  CMD_CLASS_IMAGE, CMD_CLASS_IMAGE, CMD_CLASS_VECTOR,
    CMD_CLASS_IMAGE,  CMD_CLASS_VECTOR, CMD_CLASS_IMAGE,
};

const uint32_t CmdOpSourceKind[CMD_OP_COUNT] = {
    SourceKindNone,  SourceKindBrush,  SourceKindNone, SourceKindNone,   SourceKindNone,
    SourceKindBrush, SourceKindBitmap, SourceKindNone, SourceKindBitmap, SourceKindBrush,
    SourceKindNone,  SourceKindBrush,  SourceKindNone,
};

// The name table keeps the historical spelling of kind 12.
static const char* const CmdOpNames[CMD_OP_COUNT] = {
    "CmdOpComplex",    "CmdOpRectsFill", "CmdOpBlts",           "CmdOpText",       "CmdOpLine",
    "CmdOpPath",       "CmdOpBitBlt",    "CmdOpCopyBits",       "CmdOpStretchBlt", "CmdOpRect",
    "CmdOpAlphaBlend", "CmdOpRectFill",  "CmpOpTransparentBlt",
};

const char* CmdOpNameGet(uint32_t op) { return op < CMD_OP_COUNT ? CmdOpNames[op] : "Unmapped"; }

bool CmdSlotFilled(uint32_t op, uint32_t slot)
{
    if (op >= CMD_OP_COUNT || slot >= CMD_SLOT_COUNT) return false;
    // The row is an array of function pointers in slot order (asserted in the header).
    return std::memcmp(reinterpret_cast<const char*>(CmdOpSlots[op]) + slot * sizeof(void*),
                       reinterpret_cast<const char*>(&kCmdOpRowEmpty) + slot * sizeof(void*), sizeof(void*)) != 0;
}

int CmdIsBlack(const CmdNode* node) { return CmdRow(node).isBlack(node); }
BitmapEntry* CmdBitmapGet(const CmdNode* node) { return CmdRow(node).bitmapGet(node); }
POINT* CmdSrcOriginGet(CmdNode* node) { return CmdRow(node).srcOriginGet(node); }
BrushEntry* CmdBrushGet(const CmdNode* node) { return CmdRow(node).brushGet(node); }
POINT* CmdBrushOriginGet(CmdNode* node) { return CmdRow(node).brushOriginGet(node); }
Clip* CmdClipGet(const CmdNode* node) { return CmdRow(node).clipGet(node); }
int CmdEqual(const CmdNode* a, const CmdNode* b) { return CmdRow(a).equal(a, b); }
Source* CmdSourceGet(const CmdNode* node) { return CmdRow(node).sourceGet(node); }
Pen* CmdPenGet(const CmdNode* node) { return CmdRow(node).penGet(node); }
void CmdDestRectGet(const CmdNode* node, RECT* out) { CmdRow(node).destRectGet(node, out); }
void CmdSrcRectGet(const CmdNode* node, RECT* out) { CmdRow(node).srcRectGet(node, out); }
uint8_t CmdMixGet(const CmdNode* node) { return CmdRow(node).mixGet(node); }
void CmdMixSet(CmdNode* node, uint8_t mix) { CmdRow(node).mixSet(node, mix); }
uint32_t CmdRopGet(const CmdNode* node) { return CmdRow(node).ropGet(node); }
void CmdRopSet(CmdNode* node, uint32_t rop) { CmdRow(node).ropSet(node, rop); }
int CmdIsWhite(const CmdNode* node) { return CmdRow(node).isWhite(node); }

int CmdSlotClip(CmdNode* node, const RECT* band, RECT* out)
{
    // A kind that cannot narrow itself shows wherever its bounds meet the band.
    if (!CmdSlotFilled(node->op, CmdSlotClipTest)) return 1;
    return CmdRow(node).clip(node, band, out) != 0 ? 1 : 0;
}

CmdNode* CmdSlotClone(const CmdNode* node, ResourceStore* store) { return CmdRow(node).clone(node, store); }

int CmdSlotDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra)
{
    return CmdRow(node).draw(node, store, surface, band, extra);
}

int CmdSlotColorClass(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag)
{
    const int colourClass = CmdRow(node).colorClassGet(node, colour, hint, flag);
    // Asking the empty slot would hand the band whatever the conversion buffer last held.
    if (colourClass == CMD_COLOR_DIRECT && !CmdSlotFilled(node->op, CmdSlotRenderDirectNode))
        return CMD_COLOR_DRAW_RESTORE;
    return colourClass;
}

// ---- The empty operations ----
namespace CmdEmpty {
int IsBlack(const CmdNode*) { return 0; }
BitmapEntry* BitmapGet(const CmdNode*) { return nullptr; }
POINT* SrcOriginGet(CmdNode*) { return nullptr; }
int Clip(CmdNode*, const RECT*, RECT*) { return 1; }
BrushEntry* BrushGet(const CmdNode*) { return nullptr; }
POINT* BrushOriginGet(CmdNode*) { return nullptr; }
int BrushSet(CmdNode*, ResourceStore*, const POINT*, BrushEntry*) { return 0; }
::Clip* ClipGet(const CmdNode*) { return nullptr; }
int ClipRegionSet(CmdNode*, ResourceStore*, ::Clip*) { return 0; }
int Equal(const CmdNode*, const CmdNode*) { return 0; }
int MapToDevice(CmdNode*, ResourceStore*, const CmdMapping*) { return 0; }
int Read(ResourceStore*, Stream*, CmdNode**)
{
    SetLastError(ERROR_NOT_SUPPORTED);
    return 0;
}
void Destroy(CmdNode* node, ResourceStore* store) { CmdMemoryFree(store, node); }
CmdNode* Clone(const CmdNode*, ResourceStore*) { return nullptr; }
Source* SourceGet(const CmdNode*) { return nullptr; }
void SourceSet(CmdNode*, Source*) {}
int RenderBand(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const RECT*, const RECT*, int)
{
    return CMD_BAND_NOTHING;
}
Pen* PenGet(const CmdNode*) { return nullptr; }
void RectGet(const CmdNode*, RECT* out) { *out = RECT{}; }
int Draw(CmdNode*, ResourceStore*, BandSurface*, const RECT*, void*) { return 0; }
uint8_t MixGet(const CmdNode*) { return 0; }
void MixSet(CmdNode*, uint8_t) {}
uint32_t RopGet(const CmdNode*) { return 0; }
void RopSet(CmdNode*, uint32_t) {}
int ColorClassGet(const CmdNode*, uint32_t*, uint8_t*, int) { return -1; }
int RenderDirect(CmdNode*, ResourceStore*, OutputModuleContext*, void*, const ImxImageFormat*, uint32_t, uint8_t*,
                 uint8_t*, const RECT*)
{
    return 0;
}
int DrawRestore(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const SIZE*) { return 0; }
int IsWhite(const CmdNode*) { return 0; }
}  // namespace CmdEmpty
