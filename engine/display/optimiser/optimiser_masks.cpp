// Copies through a black-and-white mask. XOR a picture, AND a mask, XOR the same picture again:
// where the mask is black the picture is left, where it is white the page is as it was. The three
// commands become the picture copied through the mask (a bitmap source painting where the mask is
// black). Mask pairs likewise: AND a mask then OR a picture, or OR a black-and-white picture then
// AND another, become one copy through the first. A rewrite is made only where it keeps every
// pixel: each mask lies exactly on its picture (same destination, clip and source size, so that
// both pick the same pixels), the pictures do not overlap one another, the mask is black and
// white only and the pixels under it are what the pair needs; anything else stays as it is.
#include <vector>

#include "engine/display/cmd_ops.h"
#include "engine/display/commands/cmd_image.h"
#include "engine/display/commands/source_bitmap.h"
#include "engine/display/optimiser/optimiser_merge.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/display/stores/resource_store.h"

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

// Pixels drawn as the record stores them: no compression, no inversion, the record's size.
bool StoredAsRead(const BitmapEntry* b)
{
    return b->compression == BitmapCompressionNone && b->header.biCompression == BI_RGB &&
           (b->head.flags & (BITMAP_INVERT | BITMAP_INVERTED)) == 0 && BitmapCurrentWidth(b) == b->header.biWidth &&
           BitmapCurrentHeight(b) == b->header.biHeight;
}

// One row of a stored bitmap (row 0 the top one) as the record holds it.
bool RowRead(ResourceStore* store, const BitmapEntry* b, int32_t row, std::vector<uint8_t>* out)
{
    const int32_t height = b->header.biHeight < 0 ? -b->header.biHeight : b->header.biHeight;
    const uint32_t stride = BitmapRowBytes(b->header.biBitCount, b->header.biWidth);
    const int32_t stored = b->header.biHeight < 0 ? row : height - 1 - row;
    const uint64_t at = 4ull * b->paletteCount + uint64_t{stride} * static_cast<uint32_t>(stored);
    out->resize(stride);
    uint32_t got = 0;
    return at + stride <= 0xFFFFFFFFull &&
           BitmapDataRead(store->bitmaps.spill, b, static_cast<uint32_t>(at), out->data(), stride, &got) &&
           got == stride;
}

// Whether each palette entry is black, white or neither; the palette's first 256 entries.
enum Shade : uint8_t { ShadeOther = 0, ShadeBlack = 1, ShadeWhite = 2 };

bool PaletteShades(ResourceStore* store, const BitmapEntry* b, std::vector<uint8_t>* shades)
{
    std::vector<uint8_t> palette(4u * b->paletteCount);
    uint32_t got = 0;
    if (!palette.empty() &&
        (!BitmapDataRead(store->bitmaps.spill, b, 0, palette.data(), static_cast<uint32_t>(palette.size()), &got) ||
         got != palette.size()))
        return false;
    shades->assign(256, ShadeOther);
    for (uint32_t i = 0; i < b->paletteCount && i < 256; ++i) {
        const uint8_t* e = &palette[4 * i];
        if (e[0] == 0 && e[1] == 0 && e[2] == 0) (*shades)[i] = ShadeBlack;
        else if (e[0] == 255 && e[1] == 255 && e[2] == 255) (*shades)[i] = ShadeWhite;
    }
    return true;
}

// A bitmap whose stored rows can be read pixel by pixel: indices through the palette, or direct
// 24- and 32-bit colours.
bool Readable(const BitmapEntry* b)
{
    const uint32_t bits = b->header.biBitCount;
    return StoredAsRead(b) && (bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32) &&
           (bits > 8 || b->paletteCount > 0);
}

// The shade of pixel x of a stored row.
uint8_t PixelShade(const BitmapEntry* b, const std::vector<uint8_t>& palette, const std::vector<uint8_t>& row,
                   int32_t x)
{
    const size_t at = static_cast<size_t>(x);
    switch (b->header.biBitCount) {
        case 1: return palette[(row[at / 8] >> (7 - at % 8)) & 1];
        case 4: return palette[(row[at / 2] >> (at % 2 == 0 ? 4 : 0)) & 0xF];
        case 8: return palette[row[at]];
        default: {
            const uint8_t* p = &row[at * (b->header.biBitCount / 8)];
            if (p[0] == 0 && p[1] == 0 && p[2] == 0) return ShadeBlack;
            return p[0] == 255 && p[1] == 255 && p[2] == 255 ? ShadeWhite : ShadeOther;
        }
    }
}

// Over the source area two commands share, wherever the first's pixel has the shade `where`, the
// second's has the shade `want`. With the same command twice and want 0, the area holds only the
// shades `where` names (black, white or both, as bits).
bool ShadesAgree(ResourceStore* store, const CmdImageNode* first, uint8_t where, const CmdImageNode* second,
                 uint8_t want)
{
    const BitmapEntry* a = first->bitmap;
    const BitmapEntry* b = second->bitmap;
    if (!Readable(a) || !Readable(b) ||
        !CmdSourceInside(a, first->srcX, first->srcY, first->srcWidth, first->srcHeight) ||
        !CmdSourceInside(b, second->srcX, second->srcY, first->srcWidth, first->srcHeight))
        return false;
    std::vector<uint8_t> paletteA, paletteB, rowA, rowB;
    if (!PaletteShades(store, a, &paletteA) || !PaletteShades(store, b, &paletteB)) return false;
    for (int32_t j = 0; j < first->srcHeight; ++j) {
        if (!RowRead(store, a, first->srcY + j, &rowA) || !RowRead(store, b, second->srcY + j, &rowB)) return false;
        for (int32_t i = 0; i < first->srcWidth; ++i) {
            const uint8_t shade = PixelShade(a, paletteA, rowA, first->srcX + i);
            if (want == 0) {
                if ((shade & where) == 0) return false;
                continue;
            }
            if (shade == where && PixelShade(b, paletteB, rowB, second->srcX + i) != want) return false;
        }
    }
    return true;
}

// The picture is black wherever its mask is white, over the whole source area: ANDing the mask
// and then ORing the picture is then the picture copied where the mask is black.
bool BlackWhereMaskIsWhite(ResourceStore* store, const CmdImageNode* mask, const CmdImageNode* picture)
{
    return ShadesAgree(store, mask, ShadeWhite, picture, ShadeBlack);
}

// The band draws the command's picture the same way whether it stands alone or is copied through
// a mask: at its own size, or through the stretch blit (which the masked copy always scales
// with; GDI, which draws a clipped or brushed command, picks other source pixels when it scales).
bool SamePicks(const CmdImageNode* n)
{
    if (n->width == n->srcWidth && n->height == n->srcHeight) return true;
    const BitmapEntry* b = n->bitmap;
    return n->clip == nullptr && (n->brush == nullptr || n->brush->head.id == 0) &&
           b->compression != BitmapCompressionRle4 && b->compression != BitmapCompressionRle8 &&
           b->compression != BitmapCompressionBitFields && b->compression != BitmapCompressionPassed && b->depth != 16;
}

// A 1-bit mask whose two palette entries are black and white, in either order, and whose source
// area lies inside it: the bitmap source then paints exactly where the mask's pixels are black.
bool MaskUsable(ResourceStore* store, const CmdImageNode* n)
{
    BitmapEntry* b = n->bitmap;
    if (b->header.biBitCount != 1 || !StoredAsRead(b) ||
        !CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight))
        return false;
    return CmdBitmapBlackAndWhite(store, b);
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
    return a->op == b->op && CmdEqual(a, b) && CmdBitmapGet(a) == CmdBitmapGet(b);
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

namespace {

// A run of masks or pictures and their partners after it.
struct Pairs {
    CmdNode* first[kMaxRun];
    CmdNode* second[kMaxRun];
    uint32_t count;
    CmdNode* after;
};

// From node, the run of nodes of its kind whose ROP is firstRop and that qualify, none
// overlapping another; then as many nodes of one image kind with secondRop, each lying exactly on
// its partner and qualifying with it.
template <typename FirstOk, typename PairOk>
bool PairsFind(OptimiseRun* run, CmdNode* node, uint32_t firstRop, uint32_t secondRop, FirstOk firstOk, PairOk pairOk,
               Pairs* p)
{
    CmdNode* end = CmdListEnd(run->list);
    p->count = 0;
    CmdNode* n = node;
    for (; n != end && n->op == node->op && CmdRop(n) == firstRop; n = n->next) {
        if (p->count == kMaxRun || !PlainImage(n) || !SamePicks(AsImage(n)) || !firstOk(AsImage(n))) return false;
        for (uint32_t j = 0; j < p->count; ++j)
            if (CmdStrictOverlap(n->bounds, p->first[j]->bounds)) return false;
        p->first[p->count++] = n;
    }
    if (p->count == 0 || n == end || !CmdIsImage(n)) return false;
    const uint32_t kind = n->op;
    for (uint32_t i = 0; i < p->count; ++i, n = n->next) {
        if (n == end || n->op != kind || CmdRop(n) != secondRop || !PlainImage(n) || !SamePicks(AsImage(n)) ||
            !MaskOnPicture(AsImage(n), AsImage(p->first[i])) || !pairOk(AsImage(p->first[i]), AsImage(n)))
            return false;
        p->second[i] = n;
    }
    p->after = n;
    return true;
}

// The pictures of the pairs get sources over their masks (painting where the mask has the given
// side: 1 white, 0 black) and become copies; the mask commands go. Every source is made before
// anything changes, so that running short leaves the list whole.
int PairsRewrite(OptimiseRun* run, CmdNode* const* pictures, CmdNode* const* masks, const uint32_t* maskIds,
                 uint32_t count, uint32_t side, CmdNode* after, CmdNode** next)
{
    Source* sources[kMaxRun];
    for (uint32_t i = 0; i < count; ++i) {
        // The source's area is the mask command's source area, laid on the picture's destination.
        const CmdImageNode* mask = AsImage(masks[i]);
        CmdImageNode probe = *AsImage(pictures[i]);
        probe.srcX = probe.maskOrigin.x = mask->srcX;
        probe.srcY = probe.maskOrigin.y = mask->srcY;
        sources[i] = maskIds[i] != 0 ? BitmapSourceCreate(&probe.head, run->store, maskIds[i], side) : nullptr;
        if (sources[i] == nullptr) {
            for (uint32_t j = 0; j < i; ++j) SourceRelease(sources[j], run->store, 1);
            return MERGE_FAILED;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        CmdRow(pictures[i]).sourceSet(pictures[i], sources[i]);
        CmdRopSet(pictures[i], 0xCCCC);
    }
    for (uint32_t i = 0; i < count; ++i) CmdNodeDiscard(run, masks[i]);
    *next = after;
    return MERGE_APPLIED;
}

// A picture that can stand for a mask: black and white only, 1 bit with a black and a white
// palette entry, or 24 bits whose source area holds only black and white.
bool BlackAndWhitePicture(ResourceStore* store, const CmdImageNode* n)
{
    const BitmapEntry* b = n->bitmap;
    if (b->header.biBitCount == 1) return MaskUsable(store, n);
    return b->header.biBitCount == 24 && ShadesAgree(store, n, ShadeBlack | ShadeWhite, n, 0);
}

}  // namespace

// AND a mask, then OR a picture that is black wherever the mask is white: the picture copied
// where the mask is black. OR a black-and-white picture, then AND a picture that is white
// wherever the first is black: the second copied where the first is white. The commands of the
// first run do not overlap one another, and each partner lies exactly on its command, so every
// pixel sees at most one pair.
int CmdMergeMaskPairs(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    ResourceStore* store = run->store;
    Pairs p;
    uint32_t maskIds[kMaxRun];
    if (CmdRop(node) == 0x8888) {
        auto maskOk = [store](const CmdImageNode* m) {
            return (m->brush == nullptr || m->brush->head.id == 0) && MaskUsable(store, m);
        };
        auto pairOk = [store](const CmdImageNode* m, const CmdImageNode* picture) {
            return BlackWhereMaskIsWhite(store, m, picture);
        };
        if (!PairsFind(run, node, 0x8888, 0xEEEE, maskOk, pairOk, &p)) return MERGE_NOT_APPLIED;
        for (uint32_t i = 0; i < p.count; ++i) maskIds[i] = AsImage(p.first[i])->bitmap->head.id;
        return PairsRewrite(run, p.second, p.first, maskIds, p.count, 0, p.after, next);
    }
    if (CmdRop(node) != 0xEEEE) return MERGE_NOT_APPLIED;
    auto pictureOk = [store](const CmdImageNode* n) { return BlackAndWhitePicture(store, n); };
    auto pairOk = [store](const CmdImageNode* first, const CmdImageNode* second) {
        return ShadesAgree(store, first, ShadeBlack, second, ShadeWhite);
    };
    if (!PairsFind(run, node, 0xEEEE, 0x8888, pictureOk, pairOk, &p)) return MERGE_NOT_APPLIED;
    // The first pictures serve as the masks, painting where they are white: a 1-bit one as it is,
    // a 24-bit one through a 1-bit copy that is white where it is not black.
    for (uint32_t i = 0; i < p.count; ++i) {
        BitmapEntry* b = AsImage(p.first[i])->bitmap;
        BitmapEntry* mask = b->header.biBitCount == 1 ? b : BitmapCloneMask(&store->bitmaps, b, 0x000000);
        maskIds[i] = mask != nullptr ? mask->head.id : 0;
    }
    return PairsRewrite(run, p.second, p.first, maskIds, p.count, 1, p.after, next);
}
