// BitBlt and StretchBlt: one node, read from their records, drawn either by the stretch blit
// straight into the band's pixels (plain copies and the few ROPs it knows) or through GDI.
#include "engine/display/cmd_image.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/band/band_surface.h"
#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/display/band_mask_clip.h"
#include "engine/display/bitmap_decode.h"
#include "engine/display/cmd_draw_state.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/cmd_resources.h"
#include "engine/display/clip_store.h"
#include "engine/display/resource_store.h"
#include "engine/display/source_bitmap.h"
#include "engine/job/output_module.h"
#include "engine/job/render_call.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

// Record layouts: BitBlt (type 19, 68 bytes), StretchBlt (type 21, 92 bytes).
namespace BitBltRecord {
constexpr uint32_t destination = 8, source = 24, maskOrigin = 32, brushOrigin = 40, brush = 48, clip = 52,
                   bitmap = 56, mask = 60, rop = 64;
}
namespace StretchBltRecord {
constexpr uint32_t source = 8, destination = 24, brushOrigin = 40, clip = 72, bitmap = 76, mask = 80, brush = 84,
                   rop = 88, extra = 90;
}

CmdImageNode* AsImage(CmdNode* node) { return reinterpret_cast<CmdImageNode*>(node); }
const CmdImageNode* AsImage(const CmdNode* node) { return reinterpret_cast<const CmdImageNode*>(node); }

bool Has(const BitmapEntry* bitmap, uint32_t bits) { return bitmap != nullptr && (bitmap->head.flags & bits) != 0; }
bool RunLength(const BitmapEntry* bitmap)
{
    return bitmap->compression == BitmapCompressionRle4 || bitmap->compression == BitmapCompressionRle8 ||
           bitmap->compression == BitmapCompressionBitFields;
}
bool DependsOnDestination(uint32_t rop) { return (((rop >> 1) ^ rop) & 0x5555) != 0; }
bool ReadsSource(uint32_t rop3) { return (((rop3 >> 2) ^ rop3) & 0x33) != 0; }

// A command without a brush of its own paints a ROP that reads the brush with the brush a fresh
// DC holds, the white stock brush, and not with whatever an earlier command left selected (which
// would make its pixels depend on how the page was cut into bands). The brush the DC held before
// is put back when the command is done.
struct DefaultBrush {
    HDC dc;
    HGDIOBJ previous;
    DefaultBrush(const CmdImageNode* n, HDC into)
        : dc(into), previous(n->brush == nullptr ? SelectObject(into, GetStockObject(WHITE_BRUSH)) : nullptr)
    {
    }
    ~DefaultBrush()
    {
        if (previous != nullptr && previous != HGDI_ERROR) SelectObject(dc, previous);
    }
    DefaultBrush(const DefaultBrush&) = delete;
    DefaultBrush& operator=(const DefaultBrush&) = delete;
};

// The destination as the device sees it: the recorded rectangle, reversed when mirrored.
RECT DeviceRect(const CmdImageNode* n, HDC dc)
{
    // Record values wrap in 32 bits, as their extents do (CmdExtent).
    auto add = [](LONG a, int64_t b) { return static_cast<LONG>(static_cast<uint32_t>(a) + static_cast<uint32_t>(b)); };
    POINT p[2] = {{add(n->x, n->width < 0 ? 1 : 0), add(n->y, n->height < 0 ? 1 : 0)}, {}};
    p[1] = POINT{add(p[0].x, n->width), add(p[0].y, n->height)};
    LPtoDP(dc, p, 2);
    return RECT{p[0].x, p[0].y, p[1].x, p[1].y};
}

bool RasterRoad(const CmdImageNode* n, const BandSurface* surface)
{
    const BitmapEntry* b = n->bitmap;
    const uint32_t rop = n->rop;
    return b != nullptr && !RunLength(b) && b->depth != 16 && b->compression != BitmapCompressionPassed &&
           (n->brush == nullptr || n->brush->head.id == 0) &&
           (rop == 0xCCCC || rop == 0xEEEE || rop == 0x8888 || rop == 0x3333 || rop == 0x6666) &&
           b->header.biBitCount <= surface->bitsPerPixel;
}

int StretchDibs(CmdImageNode* n, ResourceStore* store, BandSurface* surface, DWORD rop);

// A bitmap GDI is not to scale: it would pick the source pixels by its own rule (the pixel under
// each device pixel's centre), which differs from the stretch blit's at page scales that are not
// whole numbers. Only passed-through pixels are left to GDI, which cannot read them either.
bool PictureRoad(const CmdImageNode* n)
{
    return n->bitmap != nullptr && n->bitmap->compression != BitmapCompressionPassed;
}

// Whether a command that reads its bitmap reaches out of it. A plain command leaves the page where
// its source lies outside the bitmap, as GDI leaves it. A masked one reads black there: a masked
// copy is drawn as XOR the picture, AND the mask, XOR the picture again, which leaves the mask's
// black there, and the optimiser makes masked copies of such sandwiches.
bool ReachesOut(const CmdImageNode* n)
{
    return n->bitmap != nullptr && ReadsSource(n->rop & 0xFF) &&
           !CmdSourceInside(n->bitmap, n->srcX, n->srcY, n->srcWidth, n->srcHeight);
}

// Narrows the rectangles to the device pixels whose source lies inside the bitmap; their new count.
int32_t NarrowToSource(const CmdImageNode* n, const RECT& device, RECT* rects, int32_t count)
{
    RECT visible{};
    if (!CmdSourceVisible(n->bitmap, n->srcX, n->srcY, n->srcWidth, n->srcHeight, device, &visible)) return 0;
    int32_t kept = 0;
    for (int32_t i = 0; i < count; ++i) {
        RECT r{};
        if (IntersectRect(&r, &rects[i], &visible)) rects[kept++] = r;
    }
    return kept;
}

// The stretch blit reads only the source pixels it takes, so a source reaching out of its bitmap is
// drawn where it lies inside, the pixels picked as for any other source, and nothing elsewhere.
// With a clip, only within its rectangles (device pixels of the surface): GDI's own clip would
// have GDI pick the pixels, which it does by another rule.
void StretchIntoSurface(CmdImageNode* n, ResourceStore* store, BandSurface* surface, uint32_t rop3, Clip* clip = nullptr)
{
    RECT whole{0, 0, static_cast<LONG>(surface->width), static_cast<LONG>(surface->height)};
    RECT* rects = nullptr;
    int32_t count = 1;
    if (clip != nullptr) {
        // The node's bounds hold the clip's bounds, which are all a clip without rectangles gives.
        POINT corners[2] = {{n->head.bounds.left, n->head.bounds.top}, {n->head.bounds.right, n->head.bounds.bottom}};
        LPtoDP(surface->drawDC, corners, 2);
        const RECT bounds{std::min(corners[0].x, corners[1].x), std::min(corners[0].y, corners[1].y),
                          std::max(corners[0].x, corners[1].x), std::max(corners[0].y, corners[1].y)};
        if (!IntersectRect(&whole, &whole, &bounds)) return;
        ResourceUseMark(store, &clip->head, RESOURCE_IN_USE);
        count = CmdMaskClips(store, clip, surface, &whole, &rects);
    }
    RECT* clips = rects != nullptr ? rects : &whole;
    RECT rect = DeviceRect(n, surface->drawDC);
    if (count > 0 && !CmdSourceInside(n->bitmap, n->srcX, n->srcY, n->srcWidth, n->srcHeight))
        count = NarrowToSource(n, rect, clips, count);
    if (count > 0 && CmdBitmapPixelsReady(store, n->bitmap, surface)) {
        const BltBitmap to = CmdSurfaceBlt(surface);
        const BltBitmap from = CmdBitmapBlt(n->bitmap, n->srcX, n->srcY, n->srcWidth, n->srcHeight, true);
        RasterStretchBlt(&to, &from, nullptr, &rect, clips, count, rop3, 0);
    }
    RenderFree(rects);
}

int StretchDibs(CmdImageNode* n, ResourceStore* store, BandSurface* surface, DWORD rop)
{
    if (!CmdBitmapPixelsReady(store, n->bitmap, surface)) return 0;
    BitmapEntry* b = n->bitmap;
    // A shrink picks one source pixel for each device pixel, as the stretch blit does.
    SetStretchBltMode(surface->drawDC, COLORONCOLOR);
    return StretchDIBits(surface->drawDC, n->x, n->y, n->width, n->height, n->srcX,
                         CmdDibSourceY(b, n->srcY, n->srcHeight), n->srcWidth, n->srcHeight, BitmapPixelRows(b),
                         reinterpret_cast<const BITMAPINFO*>(b->pixels), DIB_RGB_COLORS, rop);
}


// A masked record: the low ROP byte paints where the mask is white, the high one where it is
// black. Each side that changes the page becomes a command of its own with one ROP in both bytes
// and a source over the mask; the chain is the white side, then the black side.
int MaskedSplit(CmdImageNode* n, ResourceStore* store, uint32_t maskId, CmdNode** out)
{
    const uint32_t fore = n->rop & 0xFF, back = n->rop >> 8;
    CmdImageNode* sides[2] = {nullptr, nullptr};  // white side, black side
    const Source* made = nullptr;  // the first side's source, shared by the second
    bool ok = true;
    for (uint32_t side = 0; side < 2 && ok; ++side) {
        const uint32_t rop = side == 0 ? fore : back;
        if (rop == 0xAA) continue;  // the destination stays on this side
        CmdImageNode* node = side == 1 ? n : reinterpret_cast<CmdImageNode*>(CmdImageClone(&n->head, store));
        if (node == nullptr) {
            ok = false;
            break;
        }
        sides[side] = node;
        node->rop = rop | rop << 8;
        const uint32_t foreground = side == 0 ? 1 : 0;
        node->source = made == nullptr ? BitmapSourceCreate(&node->head, store, maskId, foreground)
                                       : SourceBitmapShare(made, store, &node->head, foreground);
        ok = node->source != nullptr;
        made = node->source;
    }
    if (sides[1] == nullptr && ok) CmdImageDestroy(&n->head, store);  // the black side keeps the page
    if (!ok) {
        for (CmdImageNode* node : sides)
            if (node != nullptr && node != n) CmdImageDestroy(&node->head, store);
        CmdImageDestroy(&n->head, store);
        return 0;
    }
    if (sides[0] != nullptr) sides[0]->head.next = sides[1] != nullptr ? &sides[1]->head : nullptr;
    *out = sides[0] != nullptr ? &sides[0]->head : &sides[1]->head;
    return 1;
}


// Marks where a command with a brush source paints: the pattern's white pixels inside the
// source's rectangles, cut to the command's bounds and its clip.
int BrushSourceRenderBand(CmdImageNode* n, ResourceStore* store, BandSurface* mask, const RECT* band)
{
    RECT limit{};
    if (!IntersectRect(&limit, band, &n->head.bounds)) return CMD_BAND_NOTHING;
    if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
    const int selected = ClipSelect(store, n->clip, mask, nullptr);
    if (selected != 0) SourceRenderBand(n->source, store, mask, &limit, nullptr, nullptr, 1);
    ResourceUseClear(store);
    BandSurfaceResetDC(mask);
    return selected != 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
}

// Marks where a masked command paints: its mask drawn at the device rectangle, within the area
// and the clip's rectangles.
int MaskedRenderBand(CmdImageNode* n, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area)
{
    if (n->source->kind == SourceKindBrush) return BrushSourceRenderBand(n, store, mask, band);
    auto* source = reinterpret_cast<SourceBitmap*>(n->source);
    RECT* rects = nullptr;
    const int32_t count = CmdMaskClips(store, n->clip, mask, area, &rects);
    int result = CMD_BAND_NOTHING;
    if (count > 0 && SourceBitmapReady(source, store, mask)) {
        const BltBitmap to = CmdSurfaceBlt(mask);
        RECT rect = DeviceRect(n, mask->drawDC);
        SourceBitmapMaskDraw(source, &to, &rect, rects != nullptr ? rects : area, count);
        result = CMD_BAND_MASKED;
    }
    RenderFree(rects);
    ResourceUseClear(store);
    return result;
}

// Logical units become device pixels.
void MappingIdentity(HDC dc)
{
    SetMapMode(dc, MM_TEXT);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetViewportOrgEx(dc, 0, 0, nullptr);
}

// A DC's mapping, put back when the record goes.
struct SavedMapping {
    HDC dc;
    int mode;
    POINT windowOrigin, viewportOrigin;
    SIZE windowExtent, viewportExtent;
    explicit SavedMapping(HDC of) : dc(of), mode(GetMapMode(of))
    {
        GetWindowOrgEx(dc, &windowOrigin);
        GetViewportOrgEx(dc, &viewportOrigin);
        GetWindowExtEx(dc, &windowExtent);
        GetViewportExtEx(dc, &viewportExtent);
    }
    // The same mapping on another DC, its origin moved by (-dx, -dy) device pixels.
    void CopyTo(HDC other, LONG dx, LONG dy) const
    {
        SetMapMode(other, mode);
        if (mode == MM_ANISOTROPIC || mode == MM_ISOTROPIC) {
            SetWindowExtEx(other, windowExtent.cx, windowExtent.cy, nullptr);
            SetViewportExtEx(other, viewportExtent.cx, viewportExtent.cy, nullptr);
        }
        SetWindowOrgEx(other, windowOrigin.x, windowOrigin.y, nullptr);
        SetViewportOrgEx(other, viewportOrigin.x - dx, viewportOrigin.y - dy, nullptr);
    }
    ~SavedMapping() { CopyTo(dc, 0, 0); }
    SavedMapping(const SavedMapping&) = delete;
    SavedMapping& operator=(const SavedMapping&) = delete;
};

// A brush source's marks over the part of the band starting at (x0, y0) that the 1-bit rows hold:
// the source drawn into a mask surface of that size whose mapping is the band's moved to the
// part's corner, so that the pattern keeps the phase it has on the page.
bool BrushSourceMaskDraw(CmdImageNode* n, ResourceStore* store, BandSurface* surface, LONG x0, LONG y0,
                         const BltBitmap& to)
{
    BandSurface* marks = BandSurfaceCreate(BAND_SURFACE_MASK, SIZE{to.width, to.height}, nullptr, 0, 0);
    if (marks == nullptr) return false;
    {
        const SavedMapping band(surface->drawDC);
        band.CopyTo(marks->drawDC, x0, y0);
    }
    const RECT clear{0, 0, to.width, to.height};
    SourceRenderBand(n->source, store, marks, &n->head.bounds, nullptr, &clear, 0);
    const size_t rowBytes = std::min<size_t>(marks->stride, static_cast<size_t>(to.stride));
    for (int32_t y = 0; y < to.height; ++y)
        std::memcpy(static_cast<uint8_t*>(to.bits) + static_cast<size_t>(y) * to.stride,
                    marks->bits + static_cast<size_t>(y) * marks->stride, rowBytes);
    BandSurfaceDestroy(marks);
    return true;
}

// A 1- or 24-bit top-down DIB section, zeroed; null when it cannot be made.
HBITMAP PictureMake(LONG w, LONG h, WORD bits, uint8_t** pixels)
{
    struct {
        BITMAPINFOHEADER header;
        RGBQUAD colours[2];
    } info{};
    info.header = BITMAPINFOHEADER{sizeof(BITMAPINFOHEADER), w, -h, 1, bits, BI_RGB, 0, 0, 0, bits == 1 ? 2u : 0u, 0};
    info.colours[1] = RGBQUAD{255, 255, 255, 0};
    void* bitsOut = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bitsOut, nullptr, 0);
    if (bitmap == nullptr || bitsOut == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    std::memset(bitsOut, 0, size_t{BitmapRowBytes(bits, w)} * static_cast<size_t>(h));
    *pixels = static_cast<uint8_t*>(bitsOut);
    return bitmap;
}

// Rows only GDI reads (run length, bit fields), drawn whole by GDI into a 24-bit DIB section of
// the bitmap's size and row order, so that the stretch blit can pick from them; null when GDI
// cannot draw them.
HBITMAP DecodedPicture(const BitmapEntry* b, BltBitmap* from)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(b->pixels);
    const LONG w = std::abs(header->biWidth), h = header->biHeight, rows = std::abs(header->biHeight);
    BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = picture != nullptr && bits != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    bool ok = false;
    if (dc != nullptr) {
        const HGDIOBJ old = SelectObject(dc, picture);
        ok = StretchDIBits(dc, 0, 0, w, rows, 0, 0, w, rows, BitmapPixelRows(b), reinterpret_cast<const BITMAPINFO*>(b->pixels),
                           DIB_RGB_COLORS, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    if (!ok) {
        if (picture != nullptr) DeleteObject(picture);
        return nullptr;
    }
    int32_t stride = static_cast<int32_t>(BitmapRowBytes(24, w));
    uint8_t* top = static_cast<uint8_t*>(bits);
    if (h > 0) {
        top += static_cast<size_t>(stride) * (rows - 1);
        stride = -stride;
    }
    *from = BltBitmap{top, stride, 0, 0, 0, 0, 24, nullptr};
    return picture;
}

// The command's bitmap scaled into a 24-bit picture of the device pixels of part (whose rows start
// at colourBits, its first column at x0), by the stretch blit's rule: every device pixel takes the
// source pixel it takes on the band-mask road and when the destination is drawn whole. Only the
// pixels whose source lies inside the bitmap are written; *inside (cut from part) holds them, and
// false says there are none or GDI could not read the rows.
bool PictureFill(CmdImageNode* n, const RECT& device, const RECT& part, LONG x0, LONG w, uint8_t* colourBits, RECT* inside)
{
    BitmapEntry* b = n->bitmap;
    *inside = part;
    if (b->compression == BitmapCompressionPassed) return false;  // only the device reads these
    if (!CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight) && NarrowToSource(n, device, inside, 1) == 0)
        return false;
    const int32_t stride = static_cast<int32_t>(BitmapRowBytes(24, w));
    const BltBitmap into{colourBits - static_cast<ptrdiff_t>(part.top) * stride - static_cast<ptrdiff_t>(x0) * 3, stride, 0,
                         0, part.right, part.bottom, 24, nullptr};
    RECT rect = device;
    if (!RunLength(b)) {
        const BltBitmap from = CmdBitmapBlt(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight, true);
        RasterStretchBlt(&into, &from, nullptr, &rect, inside, 1, Rop3SrcCopy, 0);
        return true;
    }
    BltBitmap from{};
    HBITMAP decoded = DecodedPicture(b, &from);
    if (decoded == nullptr) return false;
    from.x = n->srcX, from.y = n->srcY, from.width = n->srcWidth, from.height = n->srcHeight;
    RasterStretchBlt(&into, &from, nullptr, &rect, inside, 1, Rop3SrcCopy, 0);
    DeleteObject(decoded);
    return true;
}

// A command with a bitmap through GDI, masked or not: its picture (the bitmap scaled by the
// stretch blit, so that both band roads show the same source pixels at any page scale) and, when
// masked, its mask (1 where it paints) are drawn for the part of the destination inside the band,
// and GDI applies the ROP with the brush and the clip in device pixels, one picture pixel to one
// device pixel: MaskBlt keeps the page where the mask is 0, and reads black where the source lies
// outside the bitmap; an unmasked command leaves the page there. The pictures start at a whole
// 32-pixel word of the band, so that the mask's rows address it directly; the stretch blit places
// both with the destination's device rectangle, so every device pixel takes the source pixel it
// takes when the destination is drawn whole. Without throughMask a masked command's picture is
// drawn whole (the band mask cuts it).
int PictureDraw(CmdImageNode* n, ResourceStore* store, BandSurface* surface, bool throughMask)
{
    const bool masked = throughMask && n->source != nullptr;
    const bool brushSource = masked && n->source->kind == SourceKindBrush;
    auto* source = masked && !brushSource ? reinterpret_cast<SourceBitmap*>(n->source) : nullptr;
    HDC dc = surface->drawDC;
    RECT device = DeviceRect(n, dc);
    const RECT normal{std::min(device.left, device.right), std::min(device.top, device.bottom),
                      std::max(device.left, device.right), std::max(device.top, device.bottom)};
    const RECT extent{0, 0, static_cast<LONG>(surface->width), static_cast<LONG>(surface->height)};
    RECT part{};
    if (!IntersectRect(&part, &normal, &extent)) return 1;
    if (source != nullptr && !SourceBitmapReady(source, store, surface)) return 0;
    if (n->bitmap != nullptr && !CmdBitmapPixelsReady(store, n->bitmap, surface)) return 0;
    const LONG x0 = part.left & ~31, y0 = part.top;
    const LONG w = part.right - x0, h = part.bottom - y0;
    uint8_t* maskBits = nullptr;
    HBITMAP maskBitmap = nullptr;
    if (masked) {
        maskBitmap = PictureMake(w, h, 1, &maskBits);
        if (maskBitmap == nullptr) return 0;
        const int32_t maskStride = static_cast<int32_t>(BitmapRowBytes(1, w));
        if (source != nullptr) {
            const BltBitmap maskTo{maskBits - static_cast<ptrdiff_t>(y0) * maskStride - x0 / 8, maskStride, 0, 0,
                                   part.right, part.bottom, 1, nullptr};
            SourceBitmapMaskDraw(source, &maskTo, &device, &part, 1);
        } else if (!BrushSourceMaskDraw(n, store, surface, x0, y0,
                                        BltBitmap{maskBits, maskStride, 0, 0, w, h, 1, nullptr})) {
            DeleteObject(maskBitmap);
            return 0;
        }
    }
    HDC pictureDC = CreateCompatibleDC(dc);
    HBITMAP colour = nullptr;
    HGDIOBJ old = nullptr;
    RECT inside = part;
    bool visible = true;
    if (pictureDC != nullptr && n->bitmap != nullptr) {
        uint8_t* colourBits = nullptr;
        colour = PictureMake(w, h, 24, &colourBits);
        if (colour != nullptr) {
            old = SelectObject(pictureDC, colour);
            visible = PictureFill(n, device, part, x0, w, colourBits, &inside);
        }
    }
    int result = 0;
    if (pictureDC != nullptr && (n->bitmap == nullptr || colour != nullptr)) {
        if (n->brush) ResourceUseMark(store, &n->brush->head, RESOURCE_IN_USE);
        if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
        const DefaultBrush brush(n, dc);
        if (!masked && !visible) {
            result = 1;  // no pixel's source lies inside the bitmap: the page stays
        } else if (n->brush == nullptr || BrushSelect(store, n->brush, &n->brushOrigin, surface) != 0) {
            // The brush origin and the clip are laid in device pixels while the band's mapping holds.
            ClipSelect(store, n->clip, surface, nullptr);
            const SavedMapping mapping(dc);
            MappingIdentity(dc);
            const DWORD rop = (n->rop & 0xFF) << 16;
            result = masked ? MaskBlt(dc, part.left, part.top, part.right - part.left, h, pictureDC, part.left - x0, 0,
                                      maskBitmap, part.left - x0, 0, MAKEROP4(rop, 0xAAu << 16))
                            : BitBlt(dc, inside.left, inside.top, inside.right - inside.left, inside.bottom - inside.top,
                                     pictureDC, inside.left - x0, inside.top - y0, rop);
            result = result ? 1 : 0;
        }
        BandSurfaceResetDC(surface);
    }
    if (old != nullptr) SelectObject(pictureDC, old);
    if (pictureDC != nullptr) DeleteDC(pictureDC);
    if (colour != nullptr) DeleteObject(colour);
    if (maskBitmap != nullptr) DeleteObject(maskBitmap);
    return result;
}

}  // namespace

void CmdBitmapRelease(ResourceStore* store, BitmapEntry** bitmap)
{
    if (*bitmap == nullptr) return;
    ResourceReleaseAccount(store, *bitmap, 0, &store->bitmaps, [](void* owner, void* object, int remove, ResourceCost* t) {
        BitmapRelease(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(object), remove, t);
    });
    *bitmap = nullptr;
}

int CmdBitmapPixelsReady(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface)
{
    ResourceUseMark(store, &bitmap->head, RESOURCE_PIXELS_IN_USE);
    return BitmapPixelsPrepare(
        store, bitmap, surface, &store->bitmaps,
        [](void* owner, BitmapEntry* b, ResourceCost* cost) { BitmapPixelsEstimate(static_cast<BitmapStore*>(owner), b, cost); },
        [](void* owner, BitmapEntry* b, ResourceCost* tally) {
            return BitmapPixelsLoad(static_cast<BitmapStore*>(owner), b, tally);
        });
}

int CmdBitmapRealise(ResourceStore* store, BitmapEntry* bitmap, BandSurface* surface)
{
    ResourceUseMark(store, &bitmap->head, RESOURCE_IN_USE | RESOURCE_PIXELS_IN_USE);
    return ResourcePrepare(
        store, bitmap, surface, &store->bitmaps,
        [](void* owner, void* b, BandSurface* s, ResourceCost* cost) {
            BitmapRealizeEstimate(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(b), s, cost);
        },
        [](void* owner, void* b, BandSurface* s, ResourceCost* tally) {
            return BitmapRealize(static_cast<BitmapStore*>(owner), static_cast<BitmapEntry*>(b), s, tally);
        });
}

BltBitmap CmdBitmapBlt(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height, bool palette)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(bitmap->pixels);
    const uint32_t bits = header->biBitCount;
    int32_t stride = static_cast<int32_t>(BitmapRowBytes(bits, header->biWidth));
    uint8_t* rows = BitmapPixelRows(bitmap);
    if (header->biHeight > 0) {
        rows += static_cast<size_t>(stride) * (header->biHeight - 1);
        stride = -stride;
    }
    return BltBitmap{rows, stride, x, y, width, height, static_cast<int32_t>(bits),
                     palette && header->biClrUsed != 0 ? BitmapPixelPalette(bitmap) : nullptr};
}

bool CmdSourceInside(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const int64_t w = BitmapCurrentWidth(bitmap), h = std::abs(int64_t{BitmapCurrentHeight(bitmap)});
    return width > 0 && height > 0 && x >= 0 && y >= 0 && x + int64_t{width} <= w && y + int64_t{height} <= h;
}

namespace {

// Device pixels [lo, hi) of one axis, from a to b (b < a mirrors), whose source pixels
// s0 + floor(i * sn / d) lie in [0, size).
bool AxisVisible(int64_t a, int64_t b, int64_t s0, int64_t sn, int64_t size, int64_t* lo, int64_t* hi)
{
    const int64_t first = std::min(a, b), last = std::max(a, b), d = last - first;
    if (sn <= 0 || d <= 0) return false;
    // ceil(p / q) for q > 0, in 128 bits: record values reach 2^32 each.
    auto ceilDiv = [](__int128 p, __int128 q) { return p <= 0 ? -((-p) / q) : (p + q - 1) / q; };
    const int64_t i0 = static_cast<int64_t>(std::max<__int128>(0, ceilDiv(__int128{-s0} * d, sn)));
    const int64_t i1 = static_cast<int64_t>(std::min<__int128>(d, ceilDiv(__int128{size - s0} * d, sn)));
    if (i0 >= i1) return false;
    *lo = a > b ? last - i1 : first + i0;
    *hi = a > b ? last - i0 : first + i1;
    return true;
}

}  // namespace

bool CmdSourceVisible(const BitmapEntry* bitmap, int32_t x, int32_t y, int32_t width, int32_t height,
                      const RECT& device, RECT* visible)
{
    int64_t x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    if (!AxisVisible(device.left, device.right, x, width, BitmapCurrentWidth(bitmap), &x0, &x1) ||
        !AxisVisible(device.top, device.bottom, y, height, std::abs(int64_t{BitmapCurrentHeight(bitmap)}), &y0, &y1))
        return false;
    *visible = RECT{static_cast<LONG>(x0), static_cast<LONG>(y0), static_cast<LONG>(x1), static_cast<LONG>(y1)};
    return true;
}

int32_t CmdMaskClips(ResourceStore* store, Clip* clip, BandSurface* mask, const RECT* area, RECT** rects)
{
    *rects = nullptr;
    if (!ClipHasRects(clip)) return 1;
    if (ResourcePrepareWith(store, clip, &store->clips, mask, nullptr, ClipCostEstimate, ClipRealize) == 0) return 0;
    const int32_t count = ClipRectsForBand(clip, mask, area, rects);
    if (count > 0) return count;
    RenderFree(*rects);
    *rects = nullptr;
    return 0;
}

bool CmdMaskKeepBegin(CmdMaskKeep* keep, BandSurface* mask, const RECT* area, int accumulate)
{
    *keep = CmdMaskKeep{mask, nullptr, 0, 0};
    if (!accumulate || area == nullptr || mask->stride == 0) return true;
    const int64_t rows = mask->bytes / mask->stride;
    const int64_t top = std::clamp<int64_t>(area->top, 0, rows), bottom = std::clamp<int64_t>(area->bottom, top, rows);
    if (top == bottom) return true;
    const size_t bytes = static_cast<size_t>(bottom - top) * mask->stride;
    // The surface's scratch rows serve every command of the band walk; they grow to the largest
    // area asked for, at most the surface's own bytes.
    if (mask->keepBusy) return false;
    if (mask->keepBytes < bytes) {
        RenderFree(mask->keepRows);
        mask->keepRows = static_cast<uint8_t*>(RenderAlloc(bytes));
        mask->keepBytes = mask->keepRows != nullptr ? static_cast<uint32_t>(bytes) : 0;
        if (mask->keepRows == nullptr) return false;
    }
    keep->saved = mask->keepRows;
    mask->keepBusy = 1;
    keep->first = static_cast<uint32_t>(top);
    keep->rows = static_cast<uint32_t>(bottom - top);
    uint8_t* at = mask->bits + size_t{keep->first} * mask->stride;
    std::memcpy(keep->saved, at, bytes);
    std::memset(at, 0, bytes);
    return true;
}

void CmdMaskKeepEnd(CmdMaskKeep* keep)
{
    if (keep->saved == nullptr) return;
    uint8_t* at = keep->mask->bits + size_t{keep->first} * keep->mask->stride;
    const size_t bytes = size_t{keep->rows} * keep->mask->stride;
    for (size_t i = 0; i < bytes; ++i) at[i] |= keep->saved[i];
    keep->saved = nullptr;
    keep->mask->keepBusy = 0;
}

BltBitmap CmdSurfaceBlt(const BandSurface* surface)
{
    return BltBitmap{surface->bits, static_cast<int32_t>(surface->stride), 0, 0, static_cast<int32_t>(surface->width),
                     static_cast<int32_t>(surface->height), static_cast<int32_t>(surface->bitsPerPixel), nullptr};
}

int32_t CmdDibSourceY(const BitmapEntry* bitmap, int32_t y, int32_t height)
{
    // Record values are any 32-bit numbers: the row is found in 64 bits and held within 32 (a
    // source that far out draws nothing either way).
    const int64_t rows = BitmapCurrentHeight(bitmap);
    return rows > 0 ? static_cast<int32_t>(std::clamp<int64_t>(rows - y - height, INT32_MIN, INT32_MAX)) : y;
}

RECT CmdClipBoundsApply(const RECT& r, const Clip* clip)
{
    RECT out = r;
    if (clip != nullptr && !IntersectRect(&out, &r, &clip->data.rcBound)) out = RECT{};
    return out;
}

int32_t CmdExtent(LONG from, LONG to)
{
    // Record values are any 32-bit numbers: the extent wraps as the 32-bit sum it is, rather
    // than overflow; the commands clip and refuse sizes they cannot draw.
    return static_cast<int32_t>(static_cast<uint32_t>(to) - static_cast<uint32_t>(from));
}

CmdImageArea CmdImageAreaRead(const uint8_t* destination, const uint8_t* source)
{
    const RECT d = CmdRecordRect(destination);
    const RECT s = CmdRecordRect(source);
    return CmdImageArea{d.left, d.top, CmdExtent(d.left, d.right), CmdExtent(d.top, d.bottom),
                        s.left, s.top, CmdExtent(s.left, s.right), CmdExtent(s.top, s.bottom)};
}

int CmdBitmapRecordResolve(ResourceStore* store, const uint8_t* raw, const CmdBitmapRecordLayout& at, CmdNode* node,
                           CmdImageArea* area, BitmapEntry** bitmap, Clip** clip)
{
    const RECT d = CmdRecordRect(raw + at.destination);
    *area = CmdImageAreaRead(raw + at.destination, raw + at.source);
    *bitmap = BitmapLookup(&store->bitmaps, LoadLE32(raw + at.bitmap));
    bool ok = *bitmap != nullptr;
    const ResourceId clipId = LoadLE32(raw + at.clip);
    if (ok && clipId != 0) ok = (*clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }
    RectNormalize(&node->bounds, &d);
    node->bounds = CmdClipBoundsApply(node->bounds, *clip);
    return 1;
}

RECT CmdRecordRect(const uint8_t* raw)
{
    return RECT{static_cast<LONG>(LoadLE32(raw)), static_cast<LONG>(LoadLE32(raw + 4)),
                static_cast<LONG>(LoadLE32(raw + 8)), static_cast<LONG>(LoadLE32(raw + 12))};
}

int CmdImageRead(ResourceStore* store, Stream* stream, CmdNode** out, bool stretch)
{
    *out = nullptr;
    uint8_t raw[92];
    const int32_t size = stretch ? 92 : 68;
    if (StreamRead(stream, raw, static_cast<uint32_t>(size)) != size) return 0;
    const uint32_t rop = stretch ? LoadLE16(raw + StretchBltRecord::rop) : LoadLE32(raw + BitBltRecord::rop);
    if ((rop & 0xFFFF) == 0xAAAA) return 1;  // the destination stays as it is
    const uint32_t maskId = LoadLE32(raw + (stretch ? StretchBltRecord::mask : BitBltRecord::mask));
    auto* n = static_cast<CmdImageNode*>(RenderAlloc(sizeof(CmdImageNode)));
    if (n == nullptr) return 0;
    n->head.op = stretch ? CmdOpStretchBlt : CmdOpBitBlt;
    const RECT d = CmdRecordRect(raw + (stretch ? StretchBltRecord::destination : BitBltRecord::destination));
    n->width = CmdExtent(d.left, d.right);
    n->height = CmdExtent(d.top, d.bottom);
    n->x = stretch && d.left > d.right ? d.left - 1 : d.left;
    n->y = stretch && d.top > d.bottom ? d.top - 1 : d.top;
    if (stretch) {
        const RECT s = CmdRecordRect(raw + StretchBltRecord::source);
        n->srcX = s.left;
        n->srcY = s.top;
        n->srcWidth = CmdExtent(s.left, s.right);
        n->srcHeight = CmdExtent(s.top, s.bottom);
        n->extra = raw[StretchBltRecord::extra];
    } else {
        n->srcX = static_cast<int32_t>(LoadLE32(raw + BitBltRecord::source));
        n->srcY = static_cast<int32_t>(LoadLE32(raw + BitBltRecord::source + 4));
        n->srcWidth = n->width;
        n->srcHeight = n->height;
        n->maskOrigin = POINT{static_cast<LONG>(LoadLE32(raw + BitBltRecord::maskOrigin)),
                              static_cast<LONG>(LoadLE32(raw + BitBltRecord::maskOrigin + 4))};
    }
    const uint32_t origin = stretch ? StretchBltRecord::brushOrigin : BitBltRecord::brushOrigin;
    n->brushOrigin = POINT{static_cast<LONG>(LoadLE32(raw + origin)), static_cast<LONG>(LoadLE32(raw + origin + 4))};
    n->rop = rop & 0xFFFF;
    const ResourceId brushId = LoadLE32(raw + (stretch ? StretchBltRecord::brush : BitBltRecord::brush));
    const ResourceId bitmapId = LoadLE32(raw + (stretch ? StretchBltRecord::bitmap : BitBltRecord::bitmap));
    const ResourceId clipId = LoadLE32(raw + (stretch ? StretchBltRecord::clip : BitBltRecord::clip));
    bool ok = true;
    if (brushId != 0) ok = (n->brush = BrushLookup(&store->brushes, brushId)) != nullptr;
    if (ok && bitmapId != 0) ok = (n->bitmap = BitmapLookup(&store->bitmaps, bitmapId)) != nullptr;
    if (ok && stretch) ok = n->bitmap != nullptr;  // a StretchBlt needs its bitmap
    if (ok && clipId != 0) ok = (n->clip = ClipLookup(&store->clips, clipId)) != nullptr;
    if (!ok) {
        SetLastError(ERROR_INVALID_DATA);
        CmdImageDestroy(&n->head, store);
        return 0;
    }
    if (n->bitmap != nullptr && (n->rop == 0x8888 || n->rop == 0xB8B8 || n->rop == 0xE2E2))
        BitmapMonoDetect(&store->bitmaps, n->bitmap);  // reads only the spill: the stream stays where it is
    RectNormalize(&n->head.bounds, &d);
    n->head.bounds = CmdClipBoundsApply(n->head.bounds, n->clip);
    n->head.flags = CmdColorFlags((n->brush ? n->brush->head.flags : 0) | (n->bitmap ? n->bitmap->head.flags : 0));
    if (maskId != 0) return MaskedSplit(n, store, maskId, out);
    *out = &n->head;
    return 1;
}

void CmdImageDestroy(CmdNode* node, ResourceStore* store)
{
    CmdImageNode* n = AsImage(node);
    CmdBrushRelease(store, &n->brush);
    CmdBitmapRelease(store, &n->bitmap);
    CmdClipRelease(store, &n->clip);
    if (n->source != nullptr) SourceRelease(n->source, store, 1);
    RenderFree(n);
}

CmdNode* CmdImageClone(const CmdNode* node, ResourceStore* store)
{
    const CmdImageNode* from = AsImage(node);
    auto* copy = static_cast<CmdImageNode*>(RenderAlloc(sizeof(CmdImageNode)));
    if (copy == nullptr) return nullptr;
    *copy = *from;
    copy->head.next = copy->head.prev = nullptr;
    if (from->source != nullptr) {
        copy->source = SourceClone(from->source, store);
        if (copy->source == nullptr) {
            RenderFree(copy);
            return nullptr;
        }
        if (copy->source->kind == SourceKindBitmap) reinterpret_cast<SourceBitmap*>(copy->source)->node = &copy->head;
    }
    if (copy->bitmap) ResourceRefAdd(&copy->bitmap->head);
    if (copy->brush) ResourceRefAdd(&copy->brush->head);
    if (copy->clip) ResourceRefAdd(&copy->clip->head);
    return &copy->head;
}

int CmdClipReplace(CmdNode* node, ResourceStore* store, Clip** slot, Clip* clip)
{
    CmdClipRelease(store, slot);
    if (clip == nullptr) return 1;
    *slot = ClipLookup(&store->clips, clip->head.id);
    if (*slot == nullptr) return 0;
    node->bounds = CmdClipBoundsApply(node->bounds, *slot);
    return 1;
}

int CmdImageClipRegionSet(CmdNode* node, ResourceStore* store, Clip* clip)
{
    return CmdClipReplace(node, store, &AsImage(node)->clip, clip);
}

// A black-and-white bitmap of more bits (or one reaching out of its bitmap) marked in the mask:
// its picture scaled by the stretch blit's rule, as the GDI road draws it, and 1 where the picture
// is white (0 with invert) within the clip rectangles; pixels whose source lies outside the bitmap
// stay unmarked.
namespace {

void MonoMarkThroughPicture(CmdImageNode* n, BandSurface* mask, const RECT& device, const RECT* clips, int32_t count,
                            bool invert)
{
    const RECT normal{std::min(device.left, device.right), std::min(device.top, device.bottom),
                      std::max(device.left, device.right), std::max(device.top, device.bottom)};
    RECT bounds = clips[0];
    for (int32_t i = 1; i < count; ++i) UnionRect(&bounds, &bounds, &clips[i]);
    RECT part{};
    if (!IntersectRect(&part, &normal, &bounds)) return;
    const LONG x0 = part.left & ~31, w = part.right - x0, h = part.bottom - part.top;
    uint8_t* bits = nullptr;
    HBITMAP picture = PictureMake(w, h, 24, &bits);
    if (picture == nullptr) return;
    RECT inside{};
    if (PictureFill(n, device, part, x0, w, bits, &inside)) {
        const size_t stride = BitmapRowBytes(24, w);
        for (int32_t i = 0; i < count; ++i) {
            RECT r{};
            if (!IntersectRect(&r, &clips[i], &inside)) continue;
            for (LONG y = r.top; y < r.bottom; ++y) {
                const uint8_t* row = bits + size_t(y - part.top) * stride;
                uint8_t* out = mask->bits + size_t(y) * mask->stride;
                for (LONG x = r.left; x < r.right; ++x) {
                    const uint8_t* p = row + size_t(x - x0) * 3;
                    const bool white = p[0] == 255 && p[1] == 255 && p[2] == 255;
                    const uint8_t bit = static_cast<uint8_t>(0x80 >> (x % 8));
                    if (white != invert) out[x / 8] |= bit;
                    else out[x / 8] &= static_cast<uint8_t>(~bit);
                }
            }
        }
    }
    DeleteObject(picture);
}

}  // namespace

// A brush through a black-and-white bitmap (0xB8B8 paints where the bitmap is black, 0xE2E2 where
// it is white; 0x8888 makes the black pixels black): the pixels it paints are marked in the mask.
// The bitmap's own values say white or black through its palette; an inversion still pending on
// the pixels is applied first, so only the palette's order is left to weigh.
int MonoRenderBand(CmdImageNode* n, ResourceStore* store, BandSurface* mask, const RECT* area)
{
    BitmapEntry* b = n->bitmap;
    RECT* rects = nullptr;
    const int32_t count = CmdMaskClips(store, n->clip, mask, area, &rects);
    if (count > 0 && CmdBitmapPixelsReady(store, b, mask) && BitmapPixelsInvertPending(b)) {
        const bool invert = (BitmapPaletteIsPositive(b) == 0) == (n->rop == 0xE2E2);
        RECT rect = DeviceRect(n, mask->drawDC);
        RECT* clips = rects != nullptr ? rects : const_cast<RECT*>(area);
        if (b->header.biBitCount == 1 && CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight)) {
            const BltBitmap to = CmdSurfaceBlt(mask);
            const BltBitmap from = CmdBitmapBlt(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight, false);
            RasterStretchBlt(&to, &from, nullptr, &rect, clips, count, invert ? Rop3NotSrcCopy : Rop3SrcCopy, 0);
        } else {
            MonoMarkThroughPicture(n, mask, rect, clips, count, invert);
        }
    }
    RenderFree(rects);
    ResourceUseClear(store);
    return CMD_BAND_MASKED;
}

int CmdImageRenderBand(CmdNode* node, ResourceStore* store, BandSurface* mask, const RECT* band, const RECT* area,
                       const RECT* clear, int accumulate)
{
    CmdImageNode* n = AsImage(node);
    if (!accumulate && clear != nullptr)
        BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    const bool masked = n->source != nullptr;
    if (masked || ((n->rop == 0xB8B8 || n->rop == 0x8888 || n->rop == 0xE2E2) && Has(n->bitmap, RESOURCE_BLACK_WHITE))) {
        CmdMaskKeep keep{};
        if (!CmdMaskKeepBegin(&keep, mask, area, accumulate)) return CMD_BAND_NOTHING;
        const int result = masked ? MaskedRenderBand(n, store, mask, band, area) : MonoRenderBand(n, store, mask, area);
        CmdMaskKeepEnd(&keep);
        return result;
    }
    if (ReachesOut(n)) {
        // Only the pixels whose source lies inside the bitmap change: the rest of the area keeps
        // the page, as GDI keeps it.
        RECT* rects = nullptr;
        int32_t count = CmdMaskClips(store, n->clip, mask, area, &rects);
        RECT one = *area;
        RECT* clips = rects != nullptr ? rects : &one;
        if (count > 0) count = NarrowToSource(n, DeviceRect(n, mask->drawDC), clips, count);
        if (count > 0) BandMaskRectsSet(mask, static_cast<uint32_t>(count), clips);
        RenderFree(rects);
        ResourceUseClear(store);
        return count > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
    }
    if (n->clip == nullptr || !ClipHasRects(n->clip)) {
        if (!accumulate) return CMD_BAND_NO_MASK;
    }
    return BandMaskClipRectsSet(store, mask, n->clip, band, area) > 0 ? CMD_BAND_MASKED : CMD_BAND_NOTHING;
}

int CmdImageDraw(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT*, void*)
{
    CmdImageNode* n = AsImage(node);
    const CmdDrawState state(surface);
    int result = 1;
    if (n->source != nullptr) {
        result = PictureDraw(n, store, surface, true);
    } else if (RasterRoad(n, surface)) {
        StretchIntoSurface(n, store, surface, n->rop >> 8, n->clip);
    } else if (PictureRoad(n)) {
        result = PictureDraw(n, store, surface, true);
    } else {
        if (n->brush) ResourceUseMark(store, &n->brush->head, RESOURCE_IN_USE);
        if (n->clip) ResourceUseMark(store, &n->clip->head, RESOURCE_IN_USE);
        const DefaultBrush brush(n, surface->drawDC);
        if (n->brush == nullptr || BrushSelect(store, n->brush, &n->brushOrigin, surface) != 0) {
            ClipSelect(store, n->clip, surface, nullptr);
            const DWORD rop = (n->rop & 0xFF) << 16;
            if (n->bitmap == nullptr) {
                result = PatBlt(surface->drawDC, n->x, n->y, n->width, n->height, rop) ? 1 : 0;
            } else {
                result = StretchDibs(n, store, surface, rop) != 0 ? 1 : 0;
            }
        }
        BandSurfaceResetDC(surface);
    }
    ResourceUseClear(store);
    return result;
}

// A masked command reads black where its source lies outside the bitmap (as its GDI road does):
// its destination is first painted with its ROP over a black source, and the part inside the
// bitmap drawn over that. Only ROPs that do not read the page come here.
void MaskedBlackUnder(CmdImageNode* n, ResourceStore* store, BandSurface* surface)
{
    // The ROP with the source's bits fixed at 0: bit i takes the code's bit for S = 0.
    const uint32_t rop3 = n->rop & 0xFF;
    uint32_t black = 0;
    for (uint32_t i = 0; i < 8; ++i) black |= ((rop3 >> (i & ~2u)) & 1) << i;
    if (n->brush) ResourceUseMark(store, &n->brush->head, RESOURCE_IN_USE);
    const DefaultBrush brush(n, surface->drawDC);
    if (n->brush == nullptr || BrushSelect(store, n->brush, &n->brushOrigin, surface) != 0)
        PatBlt(surface->drawDC, n->width < 0 ? n->x + 1 : n->x, n->height < 0 ? n->y + 1 : n->y, n->width, n->height,
               black << 16);
    BandSurfaceResetDC(surface);
}

int CmdImageDrawRestore(CmdNode* node, ResourceStore* store, BandSurface* surface, const RECT* area, const SIZE*)
{
    CmdImageNode* n = AsImage(node);
    // The area is drawn whole (the band mask cuts it): no clip an earlier command left may cut it.
    BandSurfaceResetDC(surface);
    const CmdDrawState state(surface);
    if (n->source != nullptr && ReachesOut(n)) MaskedBlackUnder(n, store, surface);
    // Copies and inverted copies go through the stretch blit, which picks the same source pixels
    // as the GDI road's raster work does.
    if ((n->rop == 0xCCCC || n->rop == 0x3333) && n->bitmap != nullptr && !RunLength(n->bitmap) &&
        n->bitmap->header.biBitCount <= surface->bitsPerPixel) {
        StretchIntoSurface(n, store, surface, n->rop & 0xFF);
    } else if ((n->rop == 0xB8B8 || n->rop == 0xE2E2) && Has(n->bitmap, RESOURCE_BLACK_WHITE)) {
        if (n->brush) ResourceUseMark(store, &n->brush->head, RESOURCE_IN_USE);
        const DefaultBrush brush(n, surface->drawDC);
        if (n->brush == nullptr || BrushSelect(store, n->brush, &n->brushOrigin, surface) != 0)
            PatBlt(surface->drawDC, area->left, area->top, area->right - area->left, area->bottom - area->top, PATCOPY);
        BandSurfaceResetDC(surface);
    } else if (PictureRoad(n)) {
        // The band mask cuts the area, a masked command's mask included; the command's own clip,
        // selected again, changes nothing.
        PictureDraw(n, store, surface, false);
    } else {
        if (n->brush) ResourceUseMark(store, &n->brush->head, RESOURCE_IN_USE);
        const DefaultBrush brush(n, surface->drawDC);
        if (n->brush == nullptr || BrushSelect(store, n->brush, &n->brushOrigin, surface) != 0) {
            const DWORD rop = (n->rop & 0xFF) << 16;
            if (n->bitmap == nullptr) PatBlt(surface->drawDC, n->x, n->y, n->width, n->height, rop);
            else StretchDibs(n, store, surface, rop);
        }
        BandSurfaceResetDC(surface);
    }
    ResourceUseClear(store);
    return GdiFlush();
}

// Rendered straight into a caller's buffer in the output format: the converted copy stretched onto
// the destination within the caller's rectangle. The argument is the band surface whose DC maps
// the command's coordinates to the buffer's.
int CmdImageRenderDirect(CmdNode* node, ResourceStore* store, OutputModuleContext*, void* argument,
                         const ImxImageFormat* format, uint32_t stride, uint8_t* buffer, uint8_t* colour,
                         const RECT* rect)
{
    CmdImageNode* n = AsImage(node);
    auto* surface = static_cast<BandSurface*>(argument);
    if (n->bitmap == nullptr || surface == nullptr) return 0;
    const CmdImageArea source{0, 0, 0, 0, n->srcX, n->srcY, n->srcWidth, n->srcHeight};
    RECT destination = DeviceRect(n, surface->drawDC);
    const CmdDirectTarget target{format, stride, buffer, colour, rect};
    return CmdConvertedStretch(store, surface, n->bitmap, source, &destination, rect, target);
}

int CmdConvertedStretch(ResourceStore* store, BandSurface* surface, BitmapEntry* b, const CmdImageArea& area,
                        RECT* destination, const RECT* clip, const CmdDirectTarget& target)
{
    if (!CmdSourceInside(b, area.srcX, area.srcY, area.srcWidth, area.srcHeight)) return 0;
    BitmapColorRequest request{target.format, target.colour};
    ResourceUseMark(store, &b->head, RESOURCE_CONVERTED_IN_USE);
    const int ready = ResourcePrepareWith(store, b, &store->bitmaps, surface, &request, BitmapColorEstimate, BitmapColorLoad);
    ResourceUseClear(store);
    if (ready == 0) return 0;
    const OutputModuleContext* device = store->bitmaps.device;
    if (target.colour != nullptr && device != nullptr && (device->options & IMO_OPTION_IMAGE_HINTS) != 0)
        *target.colour |= static_cast<uint8_t>(b->head.flags & (RESOURCE_BLACK_WHITE | RESOURCE_GREY));
    const uint32_t pixelBits = target.format->colorBits;
    const int32_t bits = static_cast<int32_t>(b->header.biClrUsed != 0 ? b->header.biBitCount : pixelBits);
    const int32_t height = BitmapCurrentHeight(b);
    int32_t rowBytes = static_cast<int32_t>(BitmapRowBytes(bits, BitmapCurrentWidth(b)));
    uint8_t* rows = BitmapConvertedRows(b);
    if (height > 0) {
        rows += static_cast<size_t>(rowBytes) * (height - 1);
        rowBytes = -rowBytes;
    }
    const RECT* rect = target.rect;
    const BltBitmap from{rows, rowBytes, area.srcX, area.srcY, area.srcWidth, area.srcHeight, bits, BitmapConvertedPalette(b)};
    const BltBitmap to{target.buffer - static_cast<ptrdiff_t>(rect->top) * target.stride - rect->left * int64_t{pixelBits} / 8,
                       static_cast<int32_t>(target.stride), 0, 0, rect->right, rect->bottom,
                       static_cast<int32_t>(pixelBits), nullptr};
    RasterStretchBlt(&to, &from, nullptr, destination, clip, 1, 0xCC, 0);
    return 1;
}

int CmdColorDirect(const CmdNode* node)
{
    return CmdSlotFilled(node->op, CmdSlotRenderDirectNode) ? CMD_COLOR_DIRECT : CMD_COLOR_DRAW_RESTORE;
}

int CmdImageColorClassGet(const CmdNode* node, uint32_t* colour, uint8_t* hint, int flag)
{
    const CmdImageNode* n = AsImage(node);
    *hint = CMD_HINT_IMAGE;
    const uint32_t rop = n->rop;
    const BitmapEntry* b = n->bitmap;
    if ((rop == 0xB8B8 || rop == 0x8888 || rop == 0xE2E2) && Has(b, RESOURCE_BLACK_WHITE)) {
        if (rop == 0x8888) {
            *colour = 0;
            return CMD_COLOR_SOLID;
        }
        if (BrushIsSolid(n->brush)) {
            *colour = n->brush->colour;
            return CMD_COLOR_SOLID;
        }
        return CMD_COLOR_DRAW_RESTORE;
    }
    if (DependsOnDestination(rop)) return CMD_COLOR_LEVEL_IMAGE;
    if (b == nullptr && n->source == nullptr) {
        if (BrushIsSolid(n->brush) && (rop >> 8) == 0xF0) {
            *colour = n->brush->colour;
            return CMD_COLOR_SOLID;
        }
        return CMD_COLOR_DRAW_RESTORE;
    }
    if (rop != 0xCCCC || b == nullptr || RunLength(b) || b->depth == 16) {
        return b != nullptr && b->compression == BitmapCompressionPassed && node->op == CmdOpStretchBlt
                   ? CmdColorDirect(node)
                   : CMD_COLOR_DRAW_RESTORE;
    }
    if (node->op == CmdOpBitBlt)
        return n->width > 0 && n->height > 0 && b->header.biClrUsed != 0 ? CmdColorDirect(node) : CMD_COLOR_DRAW_RESTORE;
    // StretchBlt: only enlargements are rendered directly.
    const int64_t destination = std::abs(int64_t{n->width} * n->height);
    const int64_t source = std::abs(int64_t{n->srcWidth} * n->srcHeight);
    if (flag >= 0 && destination > source) return CmdColorDirect(node);
    return b->compression == BitmapCompressionPassed ? CmdColorDirect(node) : CMD_COLOR_DRAW_RESTORE;
}

int CmdImageEqual(const CmdNode* a, const CmdNode* b)
{
    if (a->op != b->op || std::memcmp(&a->bounds, &b->bounds, sizeof a->bounds) != 0) return 0;
    const CmdImageNode* x = AsImage(a);
    const CmdImageNode* y = AsImage(b);
    return x->rop == y->rop && x->x == y->x && x->y == y->y && x->width == y->width && x->height == y->height &&
           x->srcX == y->srcX && x->srcY == y->srcY && x->srcWidth == y->srcWidth && x->srcHeight == y->srcHeight &&
           x->brushOrigin.x == y->brushOrigin.x && x->brushOrigin.y == y->brushOrigin.y &&
           (x->brush == y->brush || (x->brush && y->brush && BrushEqual(x->brush, y->brush))) &&
           BitmapEqual(x->bitmap, y->bitmap) && x->clip == y->clip &&
           (x->source == y->source || SourceEqual(x->source, y->source));
}

CmdOpRow CmdImageRow(CmdReadFn read)
{
    CmdOpRow row = kCmdOpRowEmpty;
    row.bitmapGet = [](const CmdNode* node) { return AsImage(node)->bitmap; };
    row.clipGet = [](const CmdNode* node) { return AsImage(node)->clip; };
    row.clipRegionSet = CmdImageClipRegionSet;
    row.equal = CmdImageEqual;
    row.read = read;
    row.destroy = CmdImageDestroy;
    row.clone = CmdImageClone;
    row.renderBand = CmdImageRenderBand;
    row.draw = CmdImageDraw;
    row.colorClassGet = CmdImageColorClassGet;
    row.drawRestore = CmdImageDrawRestore;
    row.renderDirect = CmdImageRenderDirect;
    CmdImageRowGetters(&row);
    row.ropSet = [](CmdNode* node, uint32_t rop) { AsImage(node)->rop = rop; };
    row.brushGet = [](const CmdNode* node) { return AsImage(node)->brush; };
    row.brushSet = CmdImageBrushSet;
    row.sourceGet = [](const CmdNode* node) { return AsImage(node)->source; };
    row.sourceSet = CmdImageSourceSet;
    return row;
}

void CmdImageSourceSet(CmdNode* node, Source* source)
{
    CmdImageNode* n = AsImage(node);
    if (n->source == source) return;
    if (n->source != nullptr) SourceRelease(n->source, n->source->owner, 1);
    n->source = source;
    if (source == nullptr) return;
    SourceAttach(source, source->owner);
    if (source->kind == SourceKindBitmap) reinterpret_cast<SourceBitmap*>(source)->node = node;
}

int CmdImageBrushSet(CmdNode* node, ResourceStore* store, const POINT* origin, BrushEntry* brush)
{
    CmdImageNode* n = AsImage(node);
    CmdBrushRelease(store, &n->brush);
    if (brush != nullptr) {
        n->brush = BrushLookup(&store->brushes, brush->head.id);
        if (n->brush == nullptr) return 0;
    }
    if (origin != nullptr) n->brushOrigin = *origin;
    n->head.flags = static_cast<uint16_t>((n->head.flags & ~CMD_FLAG_COLOR_MASK) |
                                          CmdColorFlags((n->brush ? n->brush->head.flags : 0) |
                                                        (n->bitmap ? n->bitmap->head.flags : 0)));
    return 1;
}

void CmdImageRowGetters(CmdOpRow* row)
{
    row->bitmapGet = [](const CmdNode* node) { return AsImage(node)->bitmap; };
    row->ropGet = [](const CmdNode* node) { return AsImage(node)->rop; };
    row->destRectGet = [](const CmdNode* node, RECT* out) {
        const CmdImageNode* n = AsImage(node);
        *out = RECT{n->x, n->y, n->x + n->width, n->y + n->height};
    };
    row->srcRectGet = [](const CmdNode* node, RECT* out) {
        const CmdImageNode* n = AsImage(node);
        *out = RECT{n->srcX, n->srcY, n->srcX + n->srcWidth, n->srcY + n->srcHeight};
    };
}
