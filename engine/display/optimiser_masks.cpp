// Copies through a black-and-white mask. XOR a picture, AND a mask, XOR the same picture again:
// where the mask is black the picture is left, where it is white the page is as it was. The three
// commands become the picture copied through the mask (a bitmap source painting where the mask is
// black). The rewrite is exact only when each mask lies exactly on its picture (same destination,
// clip and source size, so that both pick the same pixels), the pictures do not overlap one
// another, and the mask has one black and one white palette entry; anything else stays as it is.
#include "engine/display/bitmap_decode.h"
#include "engine/display/bitmap_store.h"
#include "engine/display/cmd_image.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/optimiser_merge.h"
#include "engine/display/resource_store.h"
#include "engine/display/source_bitmap.h"

namespace {

// Producers make sandwiches of a few commands; a longer run is left as it is.
inline constexpr uint32_t kMaxRun = 64;

const CmdImageNode* AsImage(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node); }

// A plain image command: a bitmap, no mask of its own, drawn the right way round.
bool PlainImage(const CmdNode* node)
{
    if (!CmdIsImage(node)) return false;
    const CmdImageNode* n = AsImage(node);
    return n->bitmap != nullptr && n->source == nullptr && n->width > 0 && n->height > 0 && n->srcWidth > 0 &&
           n->srcHeight > 0;
}

// A 1-bit mask whose two palette entries are black and white, in either order, and whose source
// area lies inside it: the bitmap source then paints exactly where the mask's pixels are black.
bool MaskUsable(ResourceStore* store, const CmdImageNode* n)
{
    BitmapEntry* b = n->bitmap;
    if (b->header.biBitCount != 1 || b->header.biCompression != BI_RGB || b->compression == BitmapCompressionPassed ||
        b->paletteCount != 2 || !CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight))
        return false;
    uint8_t palette[8];
    uint32_t got = 0;
    if (!BitmapDataRead(store->bitmaps.spill, b, 0, palette, sizeof palette, &got) || got != sizeof palette)
        return false;
    auto grey = [&](int i, uint8_t v) { return palette[4 * i] == v && palette[4 * i + 1] == v && palette[4 * i + 2] == v; };
    return (grey(0, 0) && grey(1, 255)) || (grey(0, 255) && grey(1, 0));
}

// The mask lies on the picture: the same destination and clip, a source area of the same size.
bool MaskOnPicture(const CmdImageNode* picture, const CmdImageNode* mask)
{
    return picture->x == mask->x && picture->y == mask->y && picture->width == mask->width &&
           picture->height == mask->height && picture->srcWidth == mask->srcWidth &&
           picture->srcHeight == mask->srcHeight && picture->clip == mask->clip;
}

// Equal commands drawing the same bitmap.
bool SameCommand(const CmdNode* a, const CmdNode* b)
{
    return a->op == b->op && CmdRow(a).equal(a, b) && CmdRow(a).bitmapGet(a) == CmdRow(b).bitmapGet(b);
}

}  // namespace

int CmdMergeXorAndXorBlts(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    CmdNode* end = CmdListEnd(run->list);
    CmdNode* a[kMaxRun];
    uint32_t count = 0;
    CmdNode* n = node;
    for (; n != end && CmdIsImage(n) && CmdRop(n) == 0x6666; n = n->next) {
        if (count == kMaxRun || !PlainImage(n)) return MERGE_NOT_APPLIED;
        for (uint32_t j = 0; j < count; ++j)
            if (CmdStrictOverlap(n->bounds, a[j]->bounds)) return MERGE_NOT_APPLIED;
        a[count++] = n;
    }
    if (count == 0) return MERGE_NOT_APPLIED;
    CmdNode* b[kMaxRun];
    for (uint32_t i = 0; i < count; ++i, n = n->next) {
        if (n == end || !CmdIsImage(n) || CmdRop(n) != 0x8888 || !PlainImage(n)) return MERGE_NOT_APPLIED;
        const CmdImageNode* mask = AsImage(n);
        if (!MaskOnPicture(AsImage(a[i]), mask) || (mask->brush != nullptr && mask->brush->head.id != 0) ||
            !MaskUsable(run->store, mask))
            return MERGE_NOT_APPLIED;
        b[i] = n;
    }
    for (uint32_t i = 0; i < count; ++i, n = n->next)
        if (n == end || !SameCommand(a[i], n)) return MERGE_NOT_APPLIED;
    CmdNode* after = n;
    // Every source is made before anything changes, so that running short leaves the list whole.
    Source* sources[kMaxRun];
    for (uint32_t i = 0; i < count; ++i) {
        // The source's area is the mask command's source area, laid on the picture's destination.
        const CmdImageNode* mask = AsImage(b[i]);
        CmdImageNode probe = *AsImage(a[i]);
        probe.srcX = probe.maskOrigin.x = mask->srcX;
        probe.srcY = probe.maskOrigin.y = mask->srcY;
        sources[i] = BitmapSourceCreate(&probe.head, run->store, mask->bitmap->head.id, 0);
        if (sources[i] != nullptr) reinterpret_cast<SourceBitmap*>(sources[i])->node = a[i];
        if (sources[i] == nullptr) {
            for (uint32_t j = 0; j < i; ++j) SourceRelease(sources[j], run->store, 1);
            return MERGE_FAILED;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto* picture = reinterpret_cast<CmdImageNode*>(a[i]);
        picture->source = sources[i];
        picture->rop = 0xCCCC;
    }
    for (CmdNode* x = b[0]; x != after;) {
        CmdNode* following = x->next;
        CmdNodeDiscard(run, x);
        x = following;
    }
    *next = after;
    return MERGE_APPLIED;
}
