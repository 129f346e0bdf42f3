// The command table: per command kind one row of 29 operations, called by the band loop, the
// optimiser and the page records reader. The row of a kind lives in that kind's own file; an
// operation that does not apply to a kind is the shared empty operation of its slot, which answers
// "does not apply" (no object, 0, nothing done; CmdClip answers visible).
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct ResourceStore;
struct Stream;
struct BandSurface;
struct OutputModuleContext;
struct ImxImageFormat;
struct BitmapEntry;
struct BrushEntry;
struct Clip;
struct Pen;
struct Source;
struct BandLayout;
struct TextureCache;
struct TextureCacheEntry;

// A window-to-viewport mapping into device pixels with the memory DC that carries it.
struct CmdMapping {
    POINT windowOrigin;
    SIZE windowExtent;
    POINT viewportOrigin;
    SIZE viewportExtent;
    HDC dc;
};
static_assert(offsetof(CmdMapping, dc) == 32);

enum CmdSlot : uint32_t {
    CmdSlotIsBlack = 0,
    CmdSlotBitmapGet = 1,
    CmdSlotSrcOriginGet = 2,
    CmdSlotClipTest = 3,  // CmdClip
    CmdSlotBrushGet = 4,
    CmdSlotBrushOriginGet = 5,
    CmdSlotBrushSet = 6,
    CmdSlotClipGet = 7,
    CmdSlotClipRegionSet = 8,
    CmdSlotEqual = 9,
    CmdSlotMapToDevice = 10,
    CmdSlotRead = 11,
    CmdSlotDestroy = 12,
    CmdSlotCloneNode = 13,  // CmdClone
    CmdSlotSourceGet = 14,
    CmdSlotSourceSet = 15,
    CmdSlotRenderBand = 16,
    CmdSlotPenGet = 17,
    CmdSlotDestRectGet = 18,
    CmdSlotSrcRectGet = 19,
    CmdSlotDrawNode = 20,  // CmdDraw
    CmdSlotMixGet = 21,
    CmdSlotMixSet = 22,
    CmdSlotRopGet = 23,
    CmdSlotRopSet = 24,
    CmdSlotColorClassGet = 25,
    CmdSlotRenderDirectNode = 26,  // CmdRenderDirect
    CmdSlotDrawRestore = 27,
    CmdSlotIsWhite = 28,
};
inline constexpr uint32_t CMD_SLOT_COUNT = 29;

// CmdRenderBand results.
inline constexpr int CMD_BAND_NOTHING = 1;  // nothing to do in this band
inline constexpr int CMD_BAND_NO_MASK = 2;  // the command's area is its shape
inline constexpr int CMD_BAND_MASKED = 3;  // the shape was drawn as 1 bits into the mask

// CmdColorClassGet results and hint bits.
inline constexpr int CMD_COLOR_SOLID = 0;  // one solid colour, given
inline constexpr int CMD_COLOR_DRAW_RESTORE = 1;  // its colours are drawn with CmdDrawRestore
inline constexpr int CMD_COLOR_LEVEL_IMAGE = 2;  // drawn as part of the form level's image
inline constexpr int CMD_COLOR_DIRECT = 3;  // renders its own image (CmdRenderDirect)
inline constexpr uint8_t CMD_HINT_VECTOR = 2;
inline constexpr uint8_t CMD_HINT_IMAGE = 8;
inline constexpr uint8_t CMD_HINT_THIN = 16;

typedef int (*CmdIsBlackFn)(const CmdNode* node);
typedef BitmapEntry* (*CmdBitmapGetFn)(const CmdNode* node);
typedef POINT* (*CmdSrcOriginGetFn)(CmdNode* node);
// 1 when the command shows in the band; *out receives the part of the band to draw.
typedef int (*CmdClipFn)(CmdNode* node, const RECT* band, RECT* out);
typedef BrushEntry* (*CmdBrushGetFn)(const CmdNode* node);
typedef POINT* (*CmdBrushOriginGetFn)(CmdNode* node);
// Takes a reference on the brush with the id of the given one and the origin; 1 or 0.
typedef int (*CmdBrushSetFn)(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush);
typedef Clip* (*CmdClipGetFn)(const CmdNode* node);
// Replaces the clip by the one with the given clip's id and narrows the bounds; 1 or 0.
typedef int (*CmdClipRegionSetFn)(CmdNode* node, ResourceStore* store, Clip* clip);
typedef int (*CmdEqualFn)(const CmdNode* a, const CmdNode* b);
typedef int (*CmdMapToDeviceFn)(CmdNode* node, ResourceStore* store, const CmdMapping* mapping);
// Reads one command record at the stream. 0 fails; 1 with *out null is a command that draws
// nothing; otherwise *out is a node or a chain linked through next and ended by null.
typedef int (*CmdReadFn)(ResourceStore* store, Stream* stream, CmdNode** out);
typedef void (*CmdDestroyFn)(CmdNode* node, ResourceStore* store);
typedef CmdNode* (*CmdCloneFn)(const CmdNode* node, ResourceStore* store);
typedef Source* (*CmdSourceGetFn)(const CmdNode* node);
typedef void (*CmdSourceSetFn)(CmdNode* node, Source* source);
// Draws the shape as 1 bits into the mask surface; CMD_BAND_* result. area: the command's
// visible part of the band (device), clear: the area to clear unless accumulating.
typedef int (*CmdRenderBandFn)(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band,
                               const RECT* area, const RECT* clear, int accumulate);
typedef Pen* (*CmdPenGetFn)(const CmdNode* node);
typedef void (*CmdRectGetFn)(const CmdNode* node, RECT* out);
typedef int (*CmdDrawFn)(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra);
typedef uint8_t (*CmdMixGetFn)(const CmdNode* node);
typedef void (*CmdMixSetFn)(CmdNode* node, uint8_t mix);
typedef uint32_t (*CmdRopGetFn)(const CmdNode* node);
typedef void (*CmdRopSetFn)(CmdNode* node, uint32_t rop);
// CMD_COLOR_* result; *colour the solid colour (COLORREF), *hint the CMD_HINT_* byte.
typedef int (*CmdColorClassGetFn)(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag);
typedef int (*CmdRenderDirectFn)(CmdNode* node, ResourceStore* store, OutputModuleContext* output, void* argument,
                                 const ImxImageFormat* format, uint32_t stride, uint8_t* buffer, uint8_t* colour,
                                 const RECT* rect);
typedef int (*CmdDrawRestoreFn)(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area,
                                const SIZE* extent);
typedef int (*CmdIsWhiteFn)(const CmdNode* node);

// One kind's row, in slot order. Every member is set: an operation or the slot's empty one.
struct CmdOpRow {
    CmdIsBlackFn isBlack;
    CmdBitmapGetFn bitmapGet;
    CmdSrcOriginGetFn srcOriginGet;
    CmdClipFn clip;
    CmdBrushGetFn brushGet;
    CmdBrushOriginGetFn brushOriginGet;
    CmdBrushSetFn brushSet;
    CmdClipGetFn clipGet;
    CmdClipRegionSetFn clipRegionSet;
    CmdEqualFn equal;
    CmdMapToDeviceFn mapToDevice;
    CmdReadFn read;
    CmdDestroyFn destroy;
    CmdCloneFn clone;
    CmdSourceGetFn sourceGet;
    CmdSourceSetFn sourceSet;
    CmdRenderBandFn renderBand;
    CmdPenGetFn penGet;
    CmdRectGetFn destRectGet;
    CmdRectGetFn srcRectGet;
    CmdDrawFn draw;
    CmdMixGetFn mixGet;
    CmdMixSetFn mixSet;
    CmdRopGetFn ropGet;
    CmdRopSetFn ropSet;
    CmdColorClassGetFn colorClassGet;
    CmdRenderDirectFn renderDirect;
    CmdDrawRestoreFn drawRestore;
    CmdIsWhiteFn isWhite;
};
static_assert(sizeof(CmdOpRow) == CMD_SLOT_COUNT * sizeof(void*));
static_assert(offsetof(CmdOpRow, read) == CmdSlotRead * sizeof(void*));
static_assert(offsetof(CmdOpRow, renderBand) == CmdSlotRenderBand * sizeof(void*));
static_assert(offsetof(CmdOpRow, colorClassGet) == CmdSlotColorClassGet * sizeof(void*));
static_assert(offsetof(CmdOpRow, isWhite) == CmdSlotIsWhite * sizeof(void*));

// The empty operation of every slot. A kind's row names these for the slots that do not apply.
namespace CmdEmpty {
int IsBlack(const CmdNode*);
BitmapEntry* BitmapGet(const CmdNode*);
POINT* SrcOriginGet(CmdNode*);
int Clip(CmdNode*, const RECT*, RECT*);
BrushEntry* BrushGet(const CmdNode*);
POINT* BrushOriginGet(CmdNode*);
int BrushSet(CmdNode*, ResourceStore*, const POINT*, BrushEntry*);
::Clip* ClipGet(const CmdNode*);
int ClipRegionSet(CmdNode*, ResourceStore*, ::Clip*);
int Equal(const CmdNode*, const CmdNode*);
int MapToDevice(CmdNode*, ResourceStore*, const CmdMapping*);
int Read(ResourceStore*, Stream*, CmdNode**);
void Destroy(CmdNode*, ResourceStore*);
CmdNode* Clone(const CmdNode*, ResourceStore*);
Source* SourceGet(const CmdNode*);
void SourceSet(CmdNode*, Source*);
int RenderBand(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const RECT*, const RECT*, int);
Pen* PenGet(const CmdNode*);
void RectGet(const CmdNode*, RECT*);
int Draw(CmdNode*, ResourceStore*, BandSurface*, const RECT*, void*);
uint8_t MixGet(const CmdNode*);
void MixSet(CmdNode*, uint8_t);
uint32_t RopGet(const CmdNode*);
void RopSet(CmdNode*, uint32_t);
int ColorClassGet(const CmdNode*, uint32_t*, uint8_t*, int);
int RenderDirect(CmdNode*, ResourceStore*, OutputModuleContext*, void*, const ImxImageFormat*, uint32_t, uint8_t*,
                 uint8_t*, const RECT*);
int DrawRestore(CmdNode*, ResourceStore*, BandSurface*, const RECT*, const SIZE*);
int IsWhite(const CmdNode*);
}  // namespace CmdEmpty

// A row with every slot empty; a kind's row starts from it and sets what the kind has:
//   const CmdOpRow kCmdOpRowRect = [] { CmdOpRow row = kCmdOpRowEmpty; row.read = CmdRectRead; ...; return row; }();
// The empty CmdDestroy frees the bare node, so that a list can always be destroyed; the empty
// CmdRead fails the record (a kind that cannot be read cannot be drawn).
inline constexpr CmdOpRow kCmdOpRowEmpty = {
    CmdEmpty::IsBlack,       CmdEmpty::BitmapGet,      CmdEmpty::SrcOriginGet, CmdEmpty::Clip,
    CmdEmpty::BrushGet,      CmdEmpty::BrushOriginGet, CmdEmpty::BrushSet,     CmdEmpty::ClipGet,
    CmdEmpty::ClipRegionSet, CmdEmpty::Equal,          CmdEmpty::MapToDevice,  CmdEmpty::Read,
    CmdEmpty::Destroy,       CmdEmpty::Clone,          CmdEmpty::SourceGet,    CmdEmpty::SourceSet,
    CmdEmpty::RenderBand,    CmdEmpty::PenGet,         CmdEmpty::RectGet,      CmdEmpty::RectGet,
    CmdEmpty::Draw,          CmdEmpty::MixGet,         CmdEmpty::MixSet,       CmdEmpty::RopGet,
    CmdEmpty::RopSet,        CmdEmpty::ColorClassGet,  CmdEmpty::RenderDirect, CmdEmpty::DrawRestore,
    CmdEmpty::IsWhite,
};

// The rows of the thirteen kinds, each defined in its kind's file.
extern const CmdOpRow kCmdOpRowComplex;
extern const CmdOpRow kCmdOpRowRectsFill;
extern const CmdOpRow kCmdOpRowBlts;
extern const CmdOpRow kCmdOpRowText;
extern const CmdOpRow kCmdOpRowLine;
extern const CmdOpRow kCmdOpRowPath;
extern const CmdOpRow kCmdOpRowBitBlt;
extern const CmdOpRow kCmdOpRowCopyBits;
extern const CmdOpRow kCmdOpRowStretchBlt;
extern const CmdOpRow kCmdOpRowRect;
extern const CmdOpRow kCmdOpRowAlphaBlend;
extern const CmdOpRow kCmdOpRowRectFill;
extern const CmdOpRow kCmdOpRowTransparentBlt;

// CmdOpSlots: the row of each kind, indexed by CmdOp.
extern const CmdOpRow* const CmdOpSlots[CMD_OP_COUNT];
extern const uint32_t CmdOpClassBits[CMD_OP_COUNT];
// The kind of source object SourcePrepare makes from a command of each kind (3: none).
extern const uint32_t CmdOpSourceKind[CMD_OP_COUNT];

inline const CmdOpRow& CmdRow(const CmdNode* node) { return *CmdOpSlots[node->op]; }
// The name of a kind; "Unmapped" for 13 and above.
const char* CmdOpNameGet(uint32_t op);
// Whether a kind's slot holds an operation of its own (not the slot's empty one).
bool CmdSlotFilled(uint32_t op, uint32_t slot);

// The node's own operations of the slots that read or set a field, and of the black, white and
// equality tests, by their slot names; a kind without the slot gives the slot's empty answer.
int CmdIsBlack(const CmdNode* node);
BitmapEntry* CmdBitmapGet(const CmdNode* node);
POINT* CmdSrcOriginGet(CmdNode* node);
BrushEntry* CmdBrushGet(const CmdNode* node);
POINT* CmdBrushOriginGet(CmdNode* node);
Clip* CmdClipGet(const CmdNode* node);
// a and b of one kind.
int CmdEqual(const CmdNode* a, const CmdNode* b);
Source* CmdSourceGet(const CmdNode* node);
Pen* CmdPenGet(const CmdNode* node);
void CmdDestRectGet(const CmdNode* node, RECT* out);
void CmdSrcRectGet(const CmdNode* node, RECT* out);
uint8_t CmdMixGet(const CmdNode* node);
void CmdMixSet(CmdNode* node, uint8_t mix);
uint32_t CmdRopGet(const CmdNode* node);
void CmdRopSet(CmdNode* node, uint32_t rop);
int CmdIsWhite(const CmdNode* node);

// Slot wrappers of the band loop and the optimiser.
// 1 visible, 0 not; a kind without CmdClip counts as visible.
int CmdSlotClip(CmdNode* node, const RECT* band, RECT* out);
CmdNode* CmdSlotClone(const CmdNode* node, ResourceStore* store);
int CmdSlotDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* band, void* extra);
// The colour class the band renderer draws the node by: the kind's own answer, except that a kind
// which cannot render itself directly (no CmdRenderDirect) is drawn and restored instead.
int CmdSlotColorClass(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag);
// Renders an image command (colour class 3) straight into the band layout's conversion buffer in
// the layout's plane format, turned by the page orientation, and makes an image texture of it,
// lent until TextureCacheRelease. Null when the rectangle is empty, the kind does not render
// itself directly, or the texture cannot be made.
TextureCacheEntry* CmdSlotRenderDirect(BandLayout* layout, OutputModuleContext* output, TextureCache* cache,
                                       CmdNode* node, ResourceStore* store, void* argument, const RECT* rect,
                                       const int32_t origin[2], uint8_t* colour);
