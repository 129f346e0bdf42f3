// Copies through a black-and-white mask. XOR a picture, AND a mask, XOR the same picture again:
// where the mask is black the picture is left, where it is white the page is as it was. The three
// commands become the picture copied through the mask (a bitmap source painting where the mask is
// black). The rewrite is exact only when each mask lies exactly on its picture (same destination,
// clip and source size, so that both pick the same pixels), the pictures do not overlap one
// another, and the mask has one black and one white palette entry; anything else stays as it is.
#include <vector>

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
           BitmapDataRead(store->bitmaps.spill, b, static_cast<uint32_t>(at), out->data(), stride, &got) && got == stride;
}

// The palette index of pixel x in a 1-bit row.
uint32_t PixelValue(const std::vector<uint8_t>& row, int32_t x) { return (row[static_cast<size_t>(x) / 8] >> (7 - x % 8)) & 1; }

// Whether each palette entry is black (1) or not (0); the palette's first 256 entries.
bool PaletteBlack(ResourceStore* store, const BitmapEntry* b, std::vector<uint8_t>* black)
{
    std::vector<uint8_t> palette(4u * b->paletteCount);
    uint32_t got = 0;
    if (!palette.empty() &&
        (!BitmapDataRead(store->bitmaps.spill, b, 0, palette.data(), static_cast<uint32_t>(palette.size()), &got) ||
         got != palette.size()))
        return false;
    black->assign(256, 0);
    for (uint32_t i = 0; i < b->paletteCount && i < 256; ++i)
        (*black)[i] = palette[4 * i] == 0 && palette[4 * i + 1] == 0 && palette[4 * i + 2] == 0;
    return true;
}

// The picture is black wherever its mask is white, over the whole source area: ANDing the mask
// and then ORing the picture is then the picture copied where the mask is black.
bool BlackWhereMaskIsWhite(ResourceStore* store, const CmdImageNode* mask, const CmdImageNode* picture)
{
    const BitmapEntry* m = mask->bitmap;
    const BitmapEntry* p = picture->bitmap;
    if (p->header.biBitCount != 1 || !StoredAsRead(p) ||
        !CmdSourceInside(p, picture->srcX, picture->srcY, picture->srcWidth, picture->srcHeight))
        return false;
    std::vector<uint8_t> maskBlack, pictureBlack, maskRow, pictureRow;
    if (!PaletteBlack(store, m, &maskBlack) || !PaletteBlack(store, p, &pictureBlack)) return false;
    for (int32_t j = 0; j < mask->srcHeight; ++j) {
        if (!RowRead(store, m, mask->srcY + j, &maskRow) || !RowRead(store, p, picture->srcY + j, &pictureRow))
            return false;
        for (int32_t i = 0; i < mask->srcWidth; ++i) {
            if (maskBlack[PixelValue(maskRow, mask->srcX + i)]) continue;
            if (!pictureBlack[PixelValue(pictureRow, picture->srcX + i)]) return false;
        }
    }
    return true;
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

// AND a mask, then OR a picture that is black wherever the mask is white: the picture copied
// through the mask. The masks do not overlap one another, and each picture lies exactly on its
// mask, so every pixel sees at most one pair.
int CmdMergeMaskPairs(OptimiseRun* run, CmdNode* node, CmdNode** next)
{
    if (CmdRop(node) != 0x8888) return MERGE_NOT_APPLIED;  // a picture first is left as it is
    CmdNode* end = CmdListEnd(run->list);
    CmdNode* m[kMaxRun];
    uint32_t count = 0;
    CmdNode* n = node;
    for (; n != end && n->op == node->op && CmdRop(n) == 0x8888; n = n->next) {
        const CmdImageNode* mask = AsImage(n);
        if (count == kMaxRun || !PlainImage(n) || (mask->brush != nullptr && mask->brush->head.id != 0) ||
            !MaskUsable(run->store, mask))
            return MERGE_NOT_APPLIED;
        for (uint32_t j = 0; j < count; ++j)
            if (CmdStrictOverlap(n->bounds, m[j]->bounds)) return MERGE_NOT_APPLIED;
        m[count++] = n;
    }
    if (count == 0 || n == end) return MERGE_NOT_APPLIED;
    const uint32_t kind = n->op;
    CmdNode* p[kMaxRun];
    for (uint32_t i = 0; i < count; ++i, n = n->next) {
        if (n == end || n->op != kind || !CmdIsImage(n) || CmdRop(n) != 0xEEEE || !PlainImage(n) ||
            !MaskOnPicture(AsImage(n), AsImage(m[i])) || !BlackWhereMaskIsWhite(run->store, AsImage(m[i]), AsImage(n)))
            return MERGE_NOT_APPLIED;
        p[i] = n;
    }
    CmdNode* after = n;
    Source* sources[kMaxRun];
    for (uint32_t i = 0; i < count; ++i) {
        const CmdImageNode* mask = AsImage(m[i]);
        CmdImageNode probe = *AsImage(p[i]);
        probe.srcX = probe.maskOrigin.x = mask->srcX;
        probe.srcY = probe.maskOrigin.y = mask->srcY;
        sources[i] = BitmapSourceCreate(&probe.head, run->store, mask->bitmap->head.id, 0);
        if (sources[i] != nullptr) reinterpret_cast<SourceBitmap*>(sources[i])->node = p[i];
        if (sources[i] == nullptr) {
            for (uint32_t j = 0; j < i; ++j) SourceRelease(sources[j], run->store, 1);
            return MERGE_FAILED;
        }
    }
    for (uint32_t i = 0; i < count; ++i) {
        auto* picture = reinterpret_cast<CmdImageNode*>(p[i]);
        picture->source = sources[i];
        picture->rop = 0xCCCC;
    }
    for (uint32_t i = 0; i < count; ++i) CmdNodeDiscard(run, m[i]);
    *next = after;
    return MERGE_APPLIED;
}
