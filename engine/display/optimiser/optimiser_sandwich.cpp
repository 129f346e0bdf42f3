// Raster-operation sandwiches. XOR a picture, paint black, XOR the same picture again: where the
// black went the picture is left, elsewhere the page is as it was. The three commands become
// copies of the picture cut to the black shapes (XNOR and white likewise). The rewrite is exact
// only when each outer command paints the whole of its bounds, the outer commands do not overlap,
// and each shape lies inside one of them; anything else stays as it is.
#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/cmd_path.h"
#include "engine/display/commands/cmd_rect.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/source.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/brush_store.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/path_store.h"
#include "engine/display/stores/resource_store.h"

namespace {

// Producers make sandwiches of a few commands; a longer run is left as it is.
inline constexpr uint32_t kMaxGroup = 64;

struct Groups {
    CmdNode* a[kMaxGroup];
    CmdNode* b[kMaxGroup];
    uint32_t countA, countB;
    CmdNode* after;  // the node after the third group
};

// Whether the command paints every pixel of its bounds (so that its bounds are its picture).
bool PaintsItsBounds(const CmdNode* node)
{
    const Clip* clip = CmdClipGet(node);
    if (clip != nullptr && ClipHasRects(clip)) return false;
    if (node->op == CmdOpRectFill) return true;
    if (node->op == CmdOpRect) return CmdPenIsNull(node);
    if (CmdIsImage(node)) {
        const auto* n = reinterpret_cast<const CmdImageNode*>(node);
        return n->source == nullptr && n->width != 0 && n->height != 0;
    }
    return false;
}

// Equal commands, and for images the same bitmap: a bitmap of the same size and format with
// other pixels is not the picture that the first command drew.
bool SameCommand(const CmdNode* a, const CmdNode* b)
{
    if (a->op != b->op || !CmdEqual(a, b)) return false;
    return !CmdIsImage(a) || CmdBitmapGet(a) == CmdBitmapGet(b);
}

// The three groups from node: A while outer(n), B while inner(n, first), C equal to A.
template <typename Outer, typename Inner>
bool GroupsFind(CmdList* list, CmdNode* node, Outer outer, Inner inner, Groups* g)
{
    g->countA = g->countB = 0;
    CmdNode* n = node;
    while (n != CmdListEnd(list) && outer(n)) {
        if (g->countA == kMaxGroup) return false;
        g->a[g->countA++] = n;
        n = n->next;
    }
    while (n != CmdListEnd(list) && inner(n, g->countB == 0)) {
        if (g->countB == kMaxGroup) return false;
        g->b[g->countB++] = n;
        n = n->next;
    }
    if (g->countA == 0 || g->countB == 0) return false;
    for (uint32_t i = 0; i < g->countA; ++i, n = n->next)
        if (n == CmdListEnd(list) || !SameCommand(g->a[i], n)) return false;
    g->after = n;
    return true;
}

// The three groups leave the list once their replacements stand before them; the walk goes on
// after them.
int GroupsDiscard(OptimiseRun* run, const Groups& g, CmdNode** next)
{
    for (CmdNode* x = g.a[0]; x != g.after;) {
        CmdNode* following = x->next;
        CmdNodeDiscard(run, x);
        x = following;
    }
    *next = g.after;
    return MERGE_APPLIED;
}

// The region a black or white inner command paints: a path's fill under its fill mode, or the
// bounds; either cut by the clip.
RGNDATAHEADER* ShapeData(const CmdNode* node)
{
    const Clip* clip = CmdClipGet(node);
    if (node->op == CmdOpPath) {
        const auto* path = reinterpret_cast<const CmdPathNode*>(node);
        RGNDATA* region = PathRegionDataGet(path->path, static_cast<int>(path->fillMode));
        if (region == nullptr) return nullptr;
        RGNDATAHEADER* data = &region->rdh;
        if (clip == nullptr) return data;
        RGNDATAHEADER* cut = ClipRegionDataIntersect(clip, data);
        if (cut != data) RenderFree(data);
        return cut;
    }
    if (clip != nullptr) return ClipRegionDataForRect(clip, &node->bounds);
    RGNDATAHEADER* data = RegionDataAllocate(0);
    if (data != nullptr) data->rcBound = node->bounds;
    return data;
}

bool ShapeKind(const CmdNode* node)
{
    if (node->op == CmdOpPath) return CmdPenIsNull(node) && reinterpret_cast<const CmdPathNode*>(node)->path != nullptr;
    return node->op == CmdOpRectFill || (node->op == CmdOpRect && CmdPenIsNull(node));
}

// The sandwich is exact: outer commands that paint their bounds and do not overlap, inner shapes
// inside one of them.
bool Exact(const Groups& g)
{
    for (uint32_t i = 0; i < g.countA; ++i) {
        if (!PaintsItsBounds(g.a[i])) return false;
        for (uint32_t j = 0; j < i; ++j)
            if (CmdStrictOverlap(g.a[i]->bounds, g.a[j]->bounds)) return false;
    }
    for (uint32_t k = 0; k < g.countB; ++k) {
        if (!ShapeKind(g.b[k])) return false;
        bool inside = false;
        for (uint32_t i = 0; i < g.countA && !inside; ++i) inside = CmdRectInside(g.b[k]->bounds, g.a[i]->bounds);
        if (!inside) return false;
    }
    return true;
}

// Copies of the outer commands that meet each shape, as plain copies cut to the shape, put in
// front of the first outer command; then the three groups go.
int SandwichRewrite(OptimiseRun* run, const Groups& g, CmdNode** next)
{
    CmdNode* before = g.a[0]->prev;
    for (uint32_t k = 0; k < g.countB; ++k) {
        RGNDATAHEADER* data = ShapeData(g.b[k]);
        if (data == nullptr) return MERGE_FAILED;
        const RECT shapeBounds = data->rcBound;
        if (shapeBounds.left >= shapeBounds.right || shapeBounds.top >= shapeBounds.bottom) {
            RenderFree(data);
            continue;
        }
        Clip* shape = ClipCreate(&run->store->clips, 0xFFFFFFFF, data);
        RenderFree(data);
        if (shape == nullptr) return MERGE_FAILED;
        for (uint32_t i = 0; i < g.countA; ++i) {
            CmdNode* a = g.a[i];
            if (!CmdStrictOverlap(a->bounds, shapeBounds)) continue;
            CmdNode* copy = CmdSlotClone(a, run->store);
            if (copy == nullptr) {
                ClipFreeIfUnused(&run->store->clips, shape);
                return MERGE_FAILED;
            }
            if (CmdSlotFilled(copy->op, CmdSlotMixSet)) CmdMixSet(copy, MIX_COPY);
            if (CmdSlotFilled(copy->op, CmdSlotRopSet)) CmdRopSet(copy, 0xCCCC);
            // The shape lies inside the outer command's bounds, and so inside its clip's.
            if (!CmdRow(copy).clipRegionSet(copy, run->store, shape)) {
                CmdRow(copy).destroy(copy, run->store);
                ClipFreeIfUnused(&run->store->clips, shape);
                return MERGE_FAILED;
            }
            CmdListInsertAfter(run->list, before, copy);
            before = copy;
        }
        ClipFreeIfUnused(&run->store->clips, shape);
    }
    return GroupsDiscard(run, g, next);
}

int Sandwich(OptimiseRun* run, CmdNode* node, CmdNode** next, uint8_t mix, uint32_t rop, bool white)
{
    Groups g;
    auto outer = [&](const CmdNode* n) { return CmdMix(n) == mix || CmdRop(n) == rop; };
    // After a white first shape only white ones follow: a black one would not give the picture back.
    auto inner = [&](const CmdNode* n, bool) { return white ? CmdIsWhite(n) != 0 : CmdIsBlack(n) != 0; };
    if (!GroupsFind(run->list, node, outer, inner, &g) || !Exact(g)) return MERGE_NOT_APPLIED;
    return SandwichRewrite(run, g, next);
}

}  // namespace

int CmdMergeXorSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    return Sandwich(run, node, next, MIX_XOR, 0x6666, false);
}

int CmdMergeXnorSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    return Sandwich(run, node, next, MIX_NOT_XOR, 0x9999, true);
}

// XOR a fill, AND a black-and-white bitmap, XOR the same fill: the fill shows where the bitmap is
// black and the page where it is white, which is the bitmap copied as a mask for the fill's brush
// (ROP 0xB8B8). Exact when each bitmap lies inside one fill that paints its whole bounds, the
// fills do not overlap, and each bitmap command paints its whole bounds.
int CmdMergeFillThroughMask(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    Groups g;
    auto outer = [](const CmdNode* n) { return CmdBrushGet(n) != nullptr && CmdMix(n) == MIX_XOR; };
    auto inner = [run](const CmdNode* n, bool) {
        if (!CmdIsImage(n) || CmdRop(n) != 0x8888) return false;
        BitmapEntry* bitmap = CmdBitmapGet(n);
        return bitmap != nullptr && BitmapMonoDetect(&run->store->bitmaps, bitmap) != 0;
    };
    if (!GroupsFind(run->list, node, outer, inner, &g)) return MERGE_NOT_APPLIED;
    for (uint32_t i = 0; i < g.countA; ++i) {
        if (!PaintsItsBounds(g.a[i])) return MERGE_NOT_APPLIED;
        for (uint32_t j = 0; j < i; ++j)
            if (CmdStrictOverlap(g.a[i]->bounds, g.a[j]->bounds)) return MERGE_NOT_APPLIED;
    }
    for (uint32_t k = 0; k < g.countB; ++k) {
        bool inside = false;
        for (uint32_t i = 0; i < g.countA && !inside; ++i) inside = CmdRectInside(g.b[k]->bounds, g.a[i]->bounds);
        if (!inside || !PaintsItsBounds(g.b[k])) return MERGE_NOT_APPLIED;
    }
    CmdNode* before = g.a[0]->prev;
    for (uint32_t i = 0; i < g.countA; ++i) {
        CmdNode* a = g.a[i];
        for (uint32_t k = 0; k < g.countB; ++k) {
            // Each bitmap lies inside the fill, so cutting the copy to the fill's shape changes nothing.
            if (!CmdStrictOverlap(g.b[k]->bounds, a->bounds)) continue;
            CmdNode* copy = CmdSlotClone(g.b[k], run->store);
            if (copy == nullptr) return MERGE_FAILED;
            CmdRopSet(copy, 0xB8B8);
            if (!CmdRow(copy).brushSet(copy, run->store, CmdBrushOriginGet(a), CmdBrushGet(a))) {
                CmdRow(copy).destroy(copy, run->store);
                return MERGE_FAILED;
            }
            CmdListInsertAfter(run->list, before, copy);
            before = copy;
        }
    }
    return GroupsDiscard(run, g, next);
}

// A picture that the band draws through the stretch blit, before the rewrite as after it (the
// copy through the pattern scales its picture the same way): no clip, stored pixels the stretch
// blit reads, a source inside the bitmap. GDI picks other source pixels when it scales.
bool StretchBlitPicture(const CmdNode* node)
{
    const auto* n = reinterpret_cast<const CmdImageNode*>(node);
    const BitmapEntry* b = n->bitmap;
    return b != nullptr && n->clip == nullptr && (n->brush == nullptr || n->brush->head.id == 0) &&
           (b->compression == BitmapCompressionNone || b->compression == BitmapCompressionGrey ||
            b->compression == BitmapCompressionLzw || b->compression == BitmapCompressionRle24) &&
           b->depth != 16 && CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight);
}

// The copy of a picture through the inverted pattern, cut to the shape: a brush source over the
// shape's rectangles, laid from the pattern command's origin.
CmdNode* PictureThroughPattern(OptimiseRun* run, CmdNode* a, CmdNode* pattern, Clip* shape, BrushEntry* mask)
{
    CmdNode* copy = CmdSlotClone(a, run->store);
    if (copy == nullptr) return nullptr;
    Source* source = SourcePrepare(pattern, run->store, shape->head.id, mask->head.id);
    if (source == nullptr) {
        CmdRow(copy).destroy(copy, run->store);
        return nullptr;
    }
    CmdRow(copy).sourceSet(copy, source);
    CmdRopSet(copy, 0xCCCC);
    if (!CmdRow(copy).clipRegionSet(copy, run->store, shape)) {
        CmdRow(copy).destroy(copy, run->store);
        return nullptr;
    }
    return copy;
}

// XOR a solid colour or a picture, AND a black-and-white pattern (the mask pen), XOR the same
// again: the colour or picture lands where the pattern is black and the page stays where it is
// white. Each pattern shape becomes the colour's fill through the inverted pattern, or the
// picture copied through it, laid from the pattern's own origin.
int CmdMergeXorPatternSandwich(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    Groups g;
    auto outer = [](const CmdNode* n) {
        if (CmdIsImage(n)) return CmdRop(n) == 0x6666 && StretchBlitPicture(n);
        return CmdIsPathOrRect(n) && CmdMix(n) == MIX_XOR && CmdPenIsNull(n) && BrushIsSolid(CmdBrushGet(n)) &&
               CmdBrushGet(n)->companion == nullptr;
    };
    auto inner = [run](const CmdNode* n, bool) {
        if (!CmdIsPathOrRect(n) || CmdMix(n) != MIX_MASK || !ShapeKind(n)) return false;
        BrushEntry* brush = CmdBrushGet(n);
        return brush != nullptr && !BrushIsSolid(brush) && brush->companion == nullptr && brush->bitmap != nullptr &&
               CmdBitmapBlackAndWhite(run->store, brush->bitmap) &&
               BitmapMonoDetect(&run->store->bitmaps, brush->bitmap);
    };
    if (!GroupsFind(run->list, node, outer, inner, &g) || !Exact(g)) return MERGE_NOT_APPLIED;
    CmdNode* before = g.a[0]->prev;
    for (uint32_t k = 0; k < g.countB; ++k) {
        CmdNode* b = g.b[k];
        RGNDATAHEADER* data = ShapeData(b);
        if (data == nullptr) return MERGE_FAILED;
        const RECT shapeBounds = data->rcBound;
        if (shapeBounds.left >= shapeBounds.right || shapeBounds.top >= shapeBounds.bottom) {
            RenderFree(data);
            continue;
        }
        Clip* shape = ClipCreate(&run->store->clips, 0xFFFFFFFF, data);
        RenderFree(data);
        if (shape == nullptr) return MERGE_FAILED;
        // The pattern inverted: set where the pattern is black, so that the colour lands there.
        BitmapEntry* inverted = BitmapClone(&run->store->bitmaps, CmdBrushGet(b)->bitmap);
        BrushEntry* mask = nullptr;
        if (inverted != nullptr && BitmapInvertRequest(&run->store->bitmaps, inverted))
            mask = BrushFromBitmapCreate(&run->store->brushes, 0xFFFFFFFF, inverted->head.id);
        if (mask == nullptr) {
            ClipFreeIfUnused(&run->store->clips, shape);
            return MERGE_FAILED;
        }
        const POINT* origin = CmdBrushOriginGet(b);
        for (uint32_t i = 0; i < g.countA; ++i) {
            CmdNode* a = g.a[i];
            if (!CmdStrictOverlap(a->bounds, shapeBounds)) continue;
            if (CmdIsImage(a)) {
                CmdNode* copy = PictureThroughPattern(run, a, b, shape, mask);
                if (copy == nullptr) {
                    ClipFreeIfUnused(&run->store->clips, shape);
                    return MERGE_FAILED;
                }
                CmdListInsertAfter(run->list, before, copy);
                before = copy;
                continue;
            }
            BrushEntry* fill = BrushSolidCreate(&run->store->brushes, 0xFFFFFFFF, CmdBrushGet(a)->colour, mask);
            CmdNode* copy = fill != nullptr ? CmdSlotClone(a, run->store) : nullptr;
            if (copy == nullptr) {
                ClipFreeIfUnused(&run->store->clips, shape);
                return MERGE_FAILED;
            }
            CmdMixSet(copy, MIX_COPY);
            if (!CmdRow(copy).brushSet(copy, run->store, origin, fill) ||
                !CmdRow(copy).clipRegionSet(copy, run->store, shape)) {
                CmdRow(copy).destroy(copy, run->store);
                ClipFreeIfUnused(&run->store->clips, shape);
                return MERGE_FAILED;
            }
            CmdListInsertAfter(run->list, before, copy);
            before = copy;
        }
        ClipFreeIfUnused(&run->store->clips, shape);
    }
    return GroupsDiscard(run, g, next);
}
