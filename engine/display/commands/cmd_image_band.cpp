// The band roads of BitBlt and StretchBlt: the stretch blit straight into the band's pixels,
// GDI through the band DC, the masked and brush-source marks, and the direct render.
#include "engine/display/commands/cmd_image_internal.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/geometry.h"
#include "engine/common/log_context.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/cmd_ops.h"
#include "engine/display/cmd_records.h"
#include "engine/display/commands/band_mask_clip.h"
#include "engine/display/commands/cmd_draw_state.h"
#include "engine/display/commands/cmd_resources.h"
#include "engine/display/commands/source_bitmap.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/clip_store.h"
#include "engine/display/stores/resource_store.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/gdi.h"
#include "platform/kernel.h"
#include "platform/user.h"

namespace {

// A command without a brush of its own paints a ROP that reads the brush with the brush a fresh
// DC holds, the white stock brush, and not with whatever an earlier command left selected (which
// would make its pixels depend on how the page was cut into bands). The brush the DC held before
// is put back when the command is done.
struct DefaultBrush {
    HDC dc;
    HGDIOBJ previous;
    DefaultBrush(const CmdImageNode* n, HDC into)
        : dc(into), previous(n->brush == nullptr ? SelectObject(into, GetStockObject(WHITE_BRUSH)) : nullptr)
    {}
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
    return b != nullptr && !BitmapDecodedByGdi(b) && b->depth != 16 && b->compression != BitmapCompressionPassed &&
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
    return n->bitmap != nullptr && Rop3ReadsSource(n->rop & 0xFF) &&
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
void StretchIntoSurface(CmdImageNode* n, ResourceStore* store, BandSurface* surface, uint32_t rop3,
                        Clip* clip = nullptr)
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

// Marks where a command with a brush source paints: the pattern's white pixels inside the
// source's rectangles, cut to the command's bounds and its clip.
int ImageBrushSourceRenderBand(CmdImageNode* n, ResourceStore* store, BandSurface* mask, const RECT* band)
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
    if (n->source->kind == SourceKindBrush) return ImageBrushSourceRenderBand(n, store, mask, band);
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
    HBITMAP bitmap =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bitsOut, nullptr, 0);
    if (bitmap == nullptr || bitsOut == nullptr) {
        if (bitmap != nullptr) DeleteObject(bitmap);
        return nullptr;
    }
    std::memset(bitsOut, 0, size_t{BitmapRowBytes(bits, w)} * static_cast<size_t>(h));
    *pixels = static_cast<uint8_t*>(bitsOut);
    return bitmap;
}

// Bytes of the 24-bit picture of a bitmap's loaded pixels, in 64 bits: the size its header
// claims, whatever its rows hold.
uint64_t PictureBytes(const BitmapEntry* b)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(b->pixels);
    return uint64_t{BitmapRowBytes(24, header->biWidth)} * static_cast<uint64_t>(std::abs(int64_t{header->biHeight}));
}

// Rows only GDI reads (run length, bit fields), drawn whole by GDI into a 24-bit DIB section of
// the bitmap's size and row order and kept with the bitmap's pixels, so that every band and every
// command drawing the bitmap picks from the one picture; 0 when GDI cannot draw them.
int DecodedPicture(BitmapEntry* b, ResourceCost* tally)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(b->pixels);
    const LONG w = std::abs(header->biWidth), h = header->biHeight, rows = std::abs(header->biHeight);
    BITMAPINFOHEADER info{sizeof(BITMAPINFOHEADER), w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP picture =
        CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
    HDC dc = picture != nullptr && bits != nullptr ? CreateCompatibleDC(nullptr) : nullptr;
    bool ok = false;
    if (dc != nullptr) {
        const HGDIOBJ old = SelectObject(dc, picture);
        ok = StretchDIBits(dc, 0, 0, w, rows, 0, 0, w, rows, BitmapPixelRows(b),
                           reinterpret_cast<const BITMAPINFO*>(b->pixels), DIB_RGB_COLORS, SRCCOPY) != 0;
        GdiFlush();
        SelectObject(dc, old);
        DeleteDC(dc);
    }
    const uint32_t bytes = static_cast<uint32_t>(PictureBytes(b));
    uint8_t* kept = ok ? static_cast<uint8_t*>(RenderAlloc(bytes)) : nullptr;
    if (kept != nullptr) {
        std::memcpy(kept, bits, bytes);
        b->picture = kept;
        b->pictureSize = bytes;
        tally->memory += static_cast<int32_t>(bytes);
    }
    if (picture != nullptr) DeleteObject(picture);
    return kept != nullptr ? 1 : 0;
}

void PictureEstimate(void*, void* object, BandSurface*, ResourceCost* cost)
{
    const auto* b = static_cast<const BitmapEntry*>(object);
    if (b->picture == nullptr) cost->memory += static_cast<int32_t>(std::min<uint64_t>(PictureBytes(b), INT32_MAX));
}

// The picture is made only when it fits the budget's memory once the trim has freed what it
// could: it is as large as the whole bitmap in 24 bits, however few bytes its runs take.
int PictureRealise(void* owner, void* object, BandSurface*, ResourceCost* tally)
{
    auto* store = static_cast<ResourceStore*>(owner);
    auto* b = static_cast<BitmapEntry*>(object);
    if (b->picture != nullptr) return 1;
    const uint64_t bytes = PictureBytes(b);
    const ResourceBudget* budget = store->budget;
    if (bytes > INT32_MAX || budget->memoryUse + bytes > budget->memoryLimit) {
        LogEvent(IMX_LOG_ERROR, __func__,
                 "bitmap %u: its %llu-byte picture passes the memory budget (%u of %u bytes in use)", b->head.id,
                 static_cast<unsigned long long>(bytes), budget->memoryUse, budget->memoryLimit);
        return 0;
    }
    return DecodedPicture(b, tally);
}

// The bitmap's pixels and, for rows only GDI reads, its picture, made ready under the budget and
// marked in use. 0 when either cannot be made.
int PictureReady(ResourceStore* store, BitmapEntry* b, BandSurface* surface)
{
    if (!CmdBitmapPixelsReady(store, b, surface)) return 0;
    if (!BitmapDecodedByGdi(b) || b->picture != nullptr) return 1;
    return ResourcePrepare(store, b, surface, store, PictureEstimate, PictureRealise);
}

// The kept picture as the stretch blit reads it, top row first.
BltBitmap PictureBlt(const BitmapEntry* b, int32_t x, int32_t y, int32_t width, int32_t height)
{
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(b->pixels);
    int32_t stride = static_cast<int32_t>(BitmapRowBytes(24, header->biWidth));
    uint8_t* top = b->picture;
    if (header->biHeight > 0) {
        top += static_cast<size_t>(stride) * (header->biHeight - 1);
        stride = -stride;
    }
    return BltBitmap{top, stride, x, y, width, height, 24, nullptr};
}

// The command's bitmap scaled into a 24-bit picture of the device pixels of part (whose rows start
// at colourBits, its first column at x0), by the stretch blit's rule: every device pixel takes the
// source pixel it takes on the band-mask road and when the destination is drawn whole. Only the
// pixels whose source lies inside the bitmap are written; *inside (cut from part) holds them, and
// false says there are none or GDI could not read the rows.
bool PictureFill(CmdImageNode* n, const RECT& device, const RECT& part, LONG x0, LONG w, uint8_t* colourBits,
                 RECT* inside)
{
    BitmapEntry* b = n->bitmap;
    *inside = part;
    if (b->compression == BitmapCompressionPassed) return false;  // only the device reads these
    if (!CmdSourceInside(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight) && NarrowToSource(n, device, inside, 1) == 0)
        return false;
    const int32_t stride = static_cast<int32_t>(BitmapRowBytes(24, w));
    const BltBitmap into{colourBits - static_cast<ptrdiff_t>(part.top) * stride - static_cast<ptrdiff_t>(x0) * 3,
                         stride,
                         0,
                         0,
                         part.right,
                         part.bottom,
                         24,
                         nullptr};
    RECT rect = device;
    if (!BitmapDecodedByGdi(b)) {
        const BltBitmap from = CmdBitmapBlt(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight, true);
        RasterStretchBlt(&into, &from, nullptr, &rect, inside, 1, Rop3SrcCopy, 0);
        return true;
    }
    if (b->picture == nullptr) return false;
    const BltBitmap from = PictureBlt(b, n->srcX, n->srcY, n->srcWidth, n->srcHeight);
    RasterStretchBlt(&into, &from, nullptr, &rect, inside, 1, Rop3SrcCopy, 0);
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
    if (n->bitmap != nullptr && !PictureReady(store, n->bitmap, surface)) return 0;
    const LONG x0 = part.left & ~31, y0 = part.top;
    const LONG w = part.right - x0, h = part.bottom - y0;
    uint8_t* maskBits = nullptr;
    HBITMAP maskBitmap = nullptr;
    if (masked) {
        maskBitmap = PictureMake(w, h, 1, &maskBits);
        if (maskBitmap == nullptr) return 0;
        const int32_t maskStride = static_cast<int32_t>(BitmapRowBytes(1, w));
        if (source != nullptr) {
            const BltBitmap maskTo{maskBits - static_cast<ptrdiff_t>(y0) * maskStride - x0 / 8,
                                   maskStride,
                                   0,
                                   0,
                                   part.right,
                                   part.bottom,
                                   1,
                                   nullptr};
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
                            : BitBlt(dc, inside.left, inside.top, inside.right - inside.left,
                                     inside.bottom - inside.top, pictureDC, inside.left - x0, inside.top - y0, rop);
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
    if (count > 0 && PictureReady(store, b, mask) && BitmapPixelsInvertPending(b)) {
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
    CmdImageNode* n = CmdImageOf(node);
    if (!accumulate && clear != nullptr) BandSurfaceClear(mask, SIZE{clear->right, clear->bottom});
    const bool masked = n->source != nullptr;
    if (masked || ((n->rop == 0xB8B8 || n->rop == 0x8888 || n->rop == 0xE2E2) &&
                   BitmapFlagsHave(n->bitmap, RESOURCE_BLACK_WHITE))) {
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
    CmdImageNode* n = CmdImageOf(node);
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
    CmdImageNode* n = CmdImageOf(node);
    // The area is drawn whole (the band mask cuts it): no clip an earlier command left may cut it.
    BandSurfaceResetDC(surface);
    const CmdDrawState state(surface);
    if (n->source != nullptr && ReachesOut(n)) MaskedBlackUnder(n, store, surface);
    // Copies and inverted copies go through the stretch blit, which picks the same source pixels
    // as the GDI road's raster work does.
    if ((n->rop == 0xCCCC || n->rop == 0x3333) && n->bitmap != nullptr && !BitmapDecodedByGdi(n->bitmap) &&
        n->bitmap->header.biBitCount <= surface->bitsPerPixel) {
        StretchIntoSurface(n, store, surface, n->rop & 0xFF);
    } else if ((n->rop == 0xB8B8 || n->rop == 0xE2E2) && BitmapFlagsHave(n->bitmap, RESOURCE_BLACK_WHITE)) {
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
    CmdImageNode* n = CmdImageOf(node);
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
    const int ready =
        ResourcePrepareWith(store, b, &store->bitmaps, surface, &request, BitmapColorEstimate, BitmapColorLoad);
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
    const BltBitmap from{rows,          rowBytes,       area.srcX, area.srcY,
                         area.srcWidth, area.srcHeight, bits,      BitmapConvertedPalette(b)};
    const BltBitmap to{target.buffer - static_cast<ptrdiff_t>(rect->top) * target.stride -
                           rect->left * int64_t{pixelBits} / 8,
                       static_cast<int32_t>(target.stride),
                       0,
                       0,
                       rect->right,
                       rect->bottom,
                       static_cast<int32_t>(pixelBits),
                       nullptr};
    RasterStretchBlt(&to, &from, nullptr, destination, clip, 1, 0xCC, 0);
    return 1;
}
