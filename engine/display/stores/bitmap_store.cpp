// The bitmap store: lookups, copies, and the forms a bitmap takes under the budget (decoded
// pixels, GDI bitmap), each credited back exactly as it was charged. Definition from the spool
// stream is in bitmap_define.cpp.
#include "engine/display/stores/bitmap_store.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/raster/band_surface.h"
#include "engine/spool/stream.h"
#include "engine/stretch/stretch_blt.h"
#include "platform/kernel.h"

namespace {

// ---- Lists: an entry is on the list its flags name (realised, converted, pixels) or on none ----

BitmapList* ListOf(BitmapStore* store, const BitmapEntry* entry)
{
    const uint32_t f = entry->head.flags;
    if (f & RESOURCE_REALISED) return &store->realised;
    if (f & BITMAP_CONVERTED) return &store->converted;
    if (f & BITMAP_PIXELS_LOADED) return &store->pixels;
    return nullptr;
}

void Unlist(BitmapStore* store, BitmapEntry* entry)
{
    BitmapList* list = ListOf(store, entry);
    if (list == nullptr) return;
    (entry->listPrev ? entry->listPrev->listNext : list->head) = entry->listNext;
    (entry->listNext ? entry->listNext->listPrev : list->tail) = entry->listPrev;
    entry->listPrev = entry->listNext = nullptr;
}

void Relist(BitmapStore* store, BitmapEntry* entry)
{
    BitmapList* list = ListOf(store, entry);
    if (list == nullptr) return;
    entry->listPrev = nullptr;
    entry->listNext = list->head;
    (list->head ? list->head->listPrev : list->tail) = entry;
    list->head = entry;
}

bool Has(const BitmapEntry* entry, uint32_t bits) { return (entry->head.flags & bits) != 0; }

// Changes flags, moving the entry to the head of the list they name when that list changes.
void Reflag(BitmapStore* store, BitmapEntry* entry, uint32_t clear, uint32_t set)
{
    BitmapEntry after = *entry;
    after.head.flags = (entry->head.flags & ~clear) | set;
    if (ListOf(store, &after) == ListOf(store, entry)) {
        entry->head.flags = after.head.flags;
        return;
    }
    Unlist(store, entry);
    entry->head.flags = after.head.flags;
    Relist(store, entry);
}

BitmapEntry* Find(BitmapStore* store, ResourceId id) { return ResourceTableFind(&store->table, id); }

void BucketRemove(BitmapStore* store, BitmapEntry* entry)
{
    if (ResourceTableRemove(&store->table, entry)) --store->count;
}

uint32_t CurrentImageBytes(const BitmapEntry* entry, uint32_t bits)
{
    const uint64_t bytes =
        uint64_t{BitmapRowBytes(bits, BitmapCurrentWidth(entry))} * std::abs(int64_t{BitmapCurrentHeight(entry)});
    return static_cast<uint32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
}

uint32_t BitCount(const BitmapEntry* entry) { return Has(entry, BITMAP_MASK) ? 1u : entry->header.biBitCount; }

// Bytes of rows of the given bits a pixel at the natural size, in 64 bits.
uint64_t NaturalRows(const BitmapEntry* entry, uint64_t bits)
{
    const uint64_t width = static_cast<uint64_t>(std::abs(int64_t{entry->header.biWidth}));
    const uint64_t height = static_cast<uint64_t>(std::abs(int64_t{entry->header.biHeight}));
    return ((bits * width + 31) >> 5) * 4 * height;
}

// What drawing rows only GDI reads holds beside the pixels, at most: GDI is handed the record's
// rows (plain rows padded to the full height), decodes run-length rows into a bitmap of the
// record's depth and draws them into a picture of at most 24 bits, from which the stretch blit
// picks or a 1-bit white mask is filled.
uint64_t GdiSideBytes(const BitmapEntry* entry)
{
    if (!BitmapMaskThroughGdi(entry)) return 0;
    const uint64_t depth = entry->depth;
    const bool rle = entry->compression == BitmapCompressionRle4 || entry->compression == BitmapCompressionRle8;
    return std::max<uint64_t>(entry->pixelLength, NaturalRows(entry, depth)) + (rle ? NaturalRows(entry, depth) : 0) +
           NaturalRows(entry, 24) + NaturalRows(entry, 1);
}

int32_t Clamp32(uint64_t bytes) { return static_cast<int32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF)); }

// The pixels' size before they exist: the current size's rows, palette and header.
uint32_t PixelsBytes(const BitmapEntry* entry)
{
    const bool rle = entry->header.biCompression == BI_RLE4 || entry->header.biCompression == BI_RLE8;
    const uint32_t rows =
        rle && !Has(entry, BITMAP_DEVICE_SIZE) ? entry->header.biSizeImage : CurrentImageBytes(entry, BitCount(entry));
    return rows + 4 * entry->header.biClrUsed + static_cast<uint32_t>(sizeof(BITMAPINFOHEADER));
}

// What loading the pixels asks the budget for: the pixels, and what GDI holds while it fills a
// white mask (freed before the load returns, so never charged).
int32_t PixelsRequest(const BitmapEntry* entry)
{
    const bool throughGdi = Has(entry, BITMAP_MASK) && Has(entry, BITMAP_MASK_WHITE) && BitmapMaskThroughGdi(entry);
    return Clamp32(uint64_t{PixelsBytes(entry)} + (throughGdi ? GdiSideBytes(entry) : 0));
}

// What dropping the pixels frees: the pixels and the picture made from them.
uint32_t PixelsHeld(const BitmapEntry* entry) { return entry->pixelsSize + entry->pictureSize; }

void PixelsDrop(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally)
{
    if (!Has(entry, BITMAP_PIXELS_LOADED)) return;
    tally->memory -= static_cast<int32_t>(PixelsHeld(entry));
    RenderFree(entry->pixels);
    entry->pixels = nullptr;
    entry->pixelsSize = 0;
    RenderFree(entry->picture);
    entry->picture = nullptr;
    entry->pictureSize = 0;
    Reflag(store, entry, BITMAP_PIXELS_LOADED | BITMAP_INVERTED, 0);  // the next load is not inverted yet
}

void ConvertedDrop(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally)
{
    if (!Has(entry, BITMAP_CONVERTED)) return;
    tally->memory -= static_cast<int32_t>(reinterpret_cast<BitmapConvertedHead*>(entry->converted)->size);
    RenderFree(entry->converted);
    entry->converted = nullptr;
    Reflag(store, entry, BITMAP_CONVERTED, 0);
}

BitmapEntry* CopyUnderNewId(BitmapStore* store, const BitmapEntry* source)
{
    auto* copy = static_cast<BitmapEntry*>(RenderAlloc(sizeof(BitmapEntry)));
    if (copy == nullptr) return nullptr;
    *copy = *source;
    const uint32_t top = source->head.id & 0xC0000000u;
    while (Find(store, (store->nextId & 0x3FFFFFFFu) | top) != nullptr) --store->nextId;
    copy->head.id = (store->nextId & 0x3FFFFFFFu) | top;
    --store->nextId;
    copy->head.refs = 0;
    copy->head.flags &=
        ~(RESOURCE_REALISED | BITMAP_PIXELS_LOADED | BITMAP_CONVERTED | RESOURCE_MARKS | BITMAP_INVERTED);
    copy->pixels = nullptr;
    copy->pixelsSize = 0;
    copy->picture = nullptr;
    copy->pictureSize = 0;
    copy->converted = nullptr;
    copy->handle = nullptr;
    copy->deviceCharge = 0;
    copy->selectedDC = nullptr;
    copy->listPrev = copy->listNext = nullptr;
    BitmapStoreInsert(store, copy);
    return copy;
}

}  // namespace

void BitmapStoreInsert(BitmapStore* store, BitmapEntry* entry)
{
    ResourceTableInsert(&store->table, entry);
    ++store->count;
}

uint8_t* BitmapStoreWork(BitmapStore* store)
{
    if (store->work == nullptr) store->work = static_cast<uint8_t*>(RenderAlloc(kBitmapWorkSize));
    return store->work;
}

int32_t BitmapCurrentWidth(const BitmapEntry* entry)
{
    return Has(entry, BITMAP_DEVICE_SIZE) ? entry->deviceWidth : entry->header.biWidth;
}

int32_t BitmapCurrentHeight(const BitmapEntry* entry)
{
    return Has(entry, BITMAP_DEVICE_SIZE) ? entry->deviceHeight : entry->header.biHeight;
}

void BitmapStoreInit(BitmapStore* store, OutputModuleContext* device, StreamSpill* spill, uint32_t memoryLimit)
{
    *store = BitmapStore{};
    store->nextId = 0x3FFFFFFF;
    store->device = device;
    store->spill = spill;
    store->memoryLimit = memoryLimit;
}

uint64_t BitmapDecodeBytes(const BitmapEntry* entry)
{
    const bool rle = entry->header.biCompression == BI_RLE4 || entry->header.biCompression == BI_RLE8;
    const uint64_t pixels = sizeof(BITMAPINFOHEADER) + 4ull * entry->header.biClrUsed +
                            (rle ? uint64_t{entry->pixelLength} : NaturalRows(entry, entry->header.biBitCount));
    return pixels + GdiSideBytes(entry);
}

void BitmapStoreDestroy(BitmapStore* store, ResourceCost* tally)
{
    ResourceTableEmpty(&store->table, [&](BitmapEntry* entry) {
        // Releases before this leave no GDI bitmap; any that remains is deleted all the same.
        if (Has(entry, RESOURCE_REALISED)) BitmapUnrealize(store, entry, nullptr, tally);
        ConvertedDrop(store, entry, tally);
        PixelsDrop(store, entry, tally);
        RenderFree(entry);
    });
    store->count = 0;
    RenderFree(store->work);
    store->work = nullptr;
}

BitmapEntry* BitmapLookup(BitmapStore* store, ResourceId id)
{
    BitmapEntry* found = ResourceTableLookup(&store->table, id);
    if (found == nullptr && id != RESOURCE_ID_NONE) SpoolRecordMissingResource("bitmap", id);
    return found;
}

BitmapEntry* BitmapClone(BitmapStore* store, BitmapEntry* entry) { return CopyUnderNewId(store, entry); }

namespace {

// A 1-bit copy over black and white; what its bits say is its flags'.
BitmapEntry* MaskCopy(BitmapStore* store, BitmapEntry* entry, uint32_t key)
{
    BitmapEntry* copy = CopyUnderNewId(store, entry);
    if (copy == nullptr) return nullptr;
    copy->head.flags = (copy->head.flags & ~BITMAP_WIDEN_PALETTE & ~BITMAP_WIDEN_16) | BITMAP_MASK;
    copy->key = key;
    copy->header.biBitCount = 1;
    copy->header.biCompression = BI_RGB;
    copy->header.biClrUsed = 2;
    copy->header.biSizeImage =
        BitmapRowBytes(1, copy->header.biWidth) * static_cast<uint32_t>(std::abs(int64_t{copy->header.biHeight}));
    return copy;
}

}  // namespace

BitmapEntry* BitmapCloneMask(BitmapStore* store, BitmapEntry* entry, uint32_t key)
{
    if (entry->header.biCompression != BI_RGB) return nullptr;
    return MaskCopy(store, entry, key);
}

BitmapEntry* BitmapCloneWhiteMask(BitmapStore* store, BitmapEntry* entry)
{
    // Passed-through pixels are the device's to read, and it reads them only into the page's own
    // format, which cannot say which of them were white.
    if (entry->compression == BitmapCompressionPassed) return nullptr;
    if (entry->header.biCompression != BI_RGB && !BitmapMaskThroughGdi(entry)) return nullptr;
    BitmapEntry* copy = MaskCopy(store, entry, 0);
    if (copy != nullptr) copy->head.flags |= BITMAP_MASK_WHITE;
    return copy;
}

int BitmapInvertRequest(BitmapStore*, BitmapEntry* entry)
{
    if (entry->header.biCompression != BI_RGB || entry->compression == BitmapCompressionPassed) return 0;
    entry->head.flags |= BITMAP_INVERT;
    return 1;
}

int BitmapPaletteIsPositive(const BitmapEntry* entry)
{
    const uint8_t* palette = entry->pixels != nullptr ? BitmapPixelPalette(entry) : nullptr;
    if (palette == nullptr) return 1;
    // The record's last entry: a palette padded for the pixels' sake has black behind it.
    const uint32_t given = entry->compression == BitmapCompressionGrey ? 256u : entry->paletteCount;
    const uint32_t last = 4 * (std::clamp(given, 1u, entry->header.biClrUsed) - 1);
    const bool blackFirst = palette[0] == 0 && palette[1] == 0 && palette[2] == 0;
    const bool whiteLast = palette[last] == 255 && palette[last + 1] == 255 && palette[last + 2] == 255;
    return blackFirst || whiteLast ? 1 : 0;
}

int BitmapEqual(const BitmapEntry* a, const BitmapEntry* b)
{
    if (a == b) return 1;
    if (a == nullptr || b == nullptr) return 0;
    return std::memcmp(&a->header, &b->header, sizeof a->header) == 0 && a->depth == b->depth &&
           a->compression == b->compression && a->pixelLength == b->pixelLength && a->paletteCount == b->paletteCount;
}

void BitmapPixelsEstimate(BitmapStore*, BitmapEntry* entry, ResourceCost* cost)
{
    if (!Has(entry, BITMAP_PIXELS_LOADED)) cost->memory += PixelsRequest(entry);
}

void BitmapPixelsEstimateAt(BitmapStore* store, BitmapEntry* entry, SIZE size, ResourceCost* cost)
{
    int32_t height = size.cy;
    if (entry->header.biHeight < 0 && height > 0) height = -height;
    if (BitmapCurrentWidth(entry) == size.cx && BitmapCurrentHeight(entry) == height) {
        BitmapPixelsEstimate(store, entry, cost);
        return;
    }
    const uint64_t rows = uint64_t{BitmapRowBytes(BitCount(entry), size.cx)} * std::abs(int64_t{height});
    const uint64_t bytes = rows + 4 * uint64_t{entry->header.biClrUsed} + sizeof(BITMAPINFOHEADER);
    cost->memory += static_cast<int32_t>(std::min<uint64_t>(bytes, 0x7FFFFFFF));
}

int BitmapPixelsLoad(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally)
{
    if (Has(entry, BITMAP_PIXELS_LOADED)) return 1;
    const uint32_t naturalBytes = entry->header.biSizeImage + 4 * entry->header.biClrUsed + sizeof(BITMAPINFOHEADER);
    auto* buffer = static_cast<uint8_t*>(RenderAlloc(naturalBytes));
    if (buffer == nullptr || BitmapStoreWork(store) == nullptr) {
        RenderFree(buffer);
        return 0;
    }
    uint8_t* palette = entry->header.biClrUsed != 0 ? buffer + sizeof(BITMAPINFOHEADER) : nullptr;
    uint8_t* rows = buffer + sizeof(BITMAPINFOHEADER) + 4 * entry->header.biClrUsed;
    std::memcpy(buffer, &entry->header, sizeof entry->header);
    if (!BitmapPixelsFill(entry, store->spill, store->work, kBitmapWorkSize, store->device, palette, rows)) {
        RenderFree(buffer);
        return 0;
    }
    entry->pixels = buffer;
    entry->pixelsSize = naturalBytes;
    if (!BitmapScaleToDevice(entry)) {
        RenderFree(entry->pixels);
        entry->pixels = nullptr;
        entry->pixelsSize = 0;
        return 0;
    }
    auto* header = reinterpret_cast<BITMAPINFOHEADER*>(entry->pixels);
    *header = entry->header;
    if (Has(entry, BITMAP_DEVICE_SIZE)) {
        header->biWidth = entry->deviceWidth;
        header->biHeight = entry->deviceHeight;
    }
    if (Has(entry, BITMAP_DEVICE_SIZE | BITMAP_MASK)) header->biSizeImage = CurrentImageBytes(entry, BitCount(entry));
    Reflag(store, entry, 0, BITMAP_PIXELS_LOADED);
    tally->memory += static_cast<int32_t>(entry->pixelsSize);
    return 1;
}

int BitmapScaleToDevice(BitmapEntry* entry)
{
    if (!Has(entry, BITMAP_DEVICE_SIZE) ||
        (entry->deviceWidth == entry->header.biWidth && entry->deviceHeight == entry->header.biHeight))
        return 1;
    // Run-length rows cannot be stretched before GDI has decoded them.
    if (entry->header.biCompression != BI_RGB) return 0;
    const uint32_t bits = BitCount(entry);
    const uint32_t palette = 4 * entry->header.biClrUsed;
    const int32_t w = entry->deviceWidth;
    const int32_t h = std::abs(entry->deviceHeight);
    const uint32_t bytes = sizeof(BITMAPINFOHEADER) + palette + BitmapRowBytes(bits, w) * static_cast<uint32_t>(h);
    auto* buffer = static_cast<uint8_t*>(RenderAlloc(bytes));
    if (buffer == nullptr) return 0;
    BltBitmap to{buffer + sizeof(BITMAPINFOHEADER) + palette,
                 static_cast<int32_t>(BitmapRowBytes(bits, w)),
                 0,
                 0,
                 w,
                 h,
                 static_cast<int32_t>(bits),
                 nullptr};
    BltBitmap from{BitmapPixelRows(entry),
                   static_cast<int32_t>(BitmapRowBytes(bits, entry->header.biWidth)),
                   0,
                   0,
                   entry->header.biWidth,
                   entry->header.biHeight,
                   static_cast<int32_t>(bits),
                   nullptr};
    RECT rect{0, 0, w, h};
    // Rows keep their order: both are stored the same way up.
    if (entry->header.biHeight > 0) {
        from.bits = static_cast<uint8_t*>(from.bits) + size_t(from.stride) * (entry->header.biHeight - 1);
        from.stride = -from.stride;
        to.bits = static_cast<uint8_t*>(to.bits) + size_t{static_cast<uint32_t>(to.stride)} * (h - 1);
        to.stride = -to.stride;
    }
    const RECT clip = rect;
    RasterStretchBlt(&to, &from, nullptr, &rect, &clip, 1, Rop3SrcCopy, 0);
    if (palette != 0) std::memcpy(buffer + sizeof(BITMAPINFOHEADER), BitmapPixelPalette(entry), palette);
    RenderFree(entry->pixels);
    entry->pixels = buffer;
    entry->pixelsSize = bytes;
    return 1;
}

void BitmapRealizeEstimate(BitmapStore*, BitmapEntry* entry, BandSurface* surface, ResourceCost* cost)
{
    if (Has(entry, RESOURCE_REALISED)) return;
    if (!Has(entry, BITMAP_PIXELS_LOADED)) cost->memory += PixelsRequest(entry);
    const DWORD compression = entry->header.biCompression;
    if (compression == BI_RLE4 || compression == BI_RLE8) {
        // GDI decodes run-length rows into a bitmap of their depth, then makes its own in the
        // format of the band (24 bits without one).
        cost->memory += Clamp32(NaturalRows(entry, entry->depth));
        cost->deviceMemory += Clamp32(NaturalRows(entry, surface != nullptr ? surface->bitsPerPixel : 24));
    } else {
        cost->deviceMemory += static_cast<int32_t>(CurrentImageBytes(entry, BitCount(entry)));
    }
    cost->objects += 1;
}

static void InvertWords(uint8_t* rows, uint32_t bytes)
{
    for (uint32_t i = 0; i + 4 <= bytes; i += 4) {
        uint32_t word;
        std::memcpy(&word, rows + i, 4);
        word = ~word;
        std::memcpy(rows + i, &word, 4);
    }
}

int BitmapPixelsInvertPending(BitmapEntry* entry)
{
    if (!Has(entry, BITMAP_INVERT) || Has(entry, BITMAP_INVERTED)) return 1;
    if (entry->pixels == nullptr) return 0;
    if (BitCount(entry) != 1 && BitCount(entry) != 24) return 0;
    InvertWords(BitmapPixelRows(entry), reinterpret_cast<const BITMAPINFOHEADER*>(entry->pixels)->biSizeImage);
    entry->head.flags |= BITMAP_INVERTED;
    return 1;
}

// ---- The converted copy: the pixels in an output format, for images rendered straight into a band ----

namespace {

bool ConvertedIn(const BitmapEntry* entry, const ImxImageFormat* format)
{
    if (!Has(entry, BITMAP_CONVERTED)) return false;
    const auto* head = reinterpret_cast<const BitmapConvertedHead*>(entry->converted);
    return head->formatId == format->formatId && head->bitsPerPixel == ConvertedBits(entry, format);
}

}  // namespace

uint32_t ConvertedBits(const BitmapEntry* entry, const ImxImageFormat* format)
{
    // Palette pixels keep their indices; the palette is what is converted.
    return entry->header.biClrUsed != 0 ? entry->header.biBitCount : format->colorBits;
}

int BitmapColorEstimate(void*, void* object, void* argument, BandSurface*, ResourceCost* cost)
{
    auto* entry = static_cast<BitmapEntry*>(object);
    const auto* request = static_cast<const BitmapColorRequest*>(argument);
    if (ConvertedIn(entry, request->format)) return 1;
    const int64_t height = std::abs(int64_t{BitmapCurrentHeight(entry)});
    const int64_t rows = height * BitmapRowBytes(ConvertedBits(entry, request->format), BitmapCurrentWidth(entry));
    cost->memory += static_cast<int32_t>(
        std::min<int64_t>(rows + 4 * int64_t{entry->header.biClrUsed} + sizeof(BitmapConvertedHead), INT32_MAX));
    if (!Has(entry, BITMAP_PIXELS_LOADED)) cost->memory += PixelsRequest(entry);
    return 0;
}

int BitmapColorLoad(void* owner, void* object, void* argument, BandSurface*, ResourceCost* tally)
{
    auto* store = static_cast<BitmapStore*>(owner);
    auto* entry = static_cast<BitmapEntry*>(object);
    const auto* request = static_cast<const BitmapColorRequest*>(argument);
    if (ConvertedIn(entry, request->format)) return 1;
    ConvertedDrop(store, entry, tally);
    // The conversions answer a flag of their own for the colours they convert; the image keeps
    // the caller's hint, as it does when it is drawn and converted, and whichever band made the copy.
    uint8_t flag = request->flag != nullptr ? *request->flag : 0;
    // The copy is made from the decoded pixels at the device size, inversion applied.
    if (!BitmapPixelsLoad(store, entry, tally) || !BitmapPixelsInvertPending(entry)) return 0;
    const auto* header = reinterpret_cast<const BITMAPINFOHEADER*>(entry->pixels);
    const uint32_t width = static_cast<uint32_t>(std::abs(header->biWidth));
    const uint32_t height = static_cast<uint32_t>(std::abs(header->biHeight));
    const uint32_t bits = ConvertedBits(entry, request->format);
    const uint32_t colours = header->biClrUsed;
    const uint64_t rowBytes = BitmapRowBytes(bits, width);
    const uint64_t size = sizeof(BitmapConvertedHead) + 4ull * colours + rowBytes * height;
    if (size > INT32_MAX) return 0;
    auto* copy = static_cast<uint8_t*>(RenderAlloc(static_cast<size_t>(size)));
    if (copy == nullptr) return 0;
    uint8_t* palette = copy + sizeof(BitmapConvertedHead);
    uint8_t* rows = palette + 4ull * colours;
    bool ok = true;
    if (colours != 0) {
        std::vector<uint32_t> converted(colours);
        const uint8_t* quads = BitmapPixelPalette(entry);
        for (uint32_t i = 0; i < colours; ++i) converted[i] = RGB(quads[4 * i + 2], quads[4 * i + 1], quads[4 * i]);
        ok = ColorsConvert(store->device, request->format->formatId, &flag, colours, converted.data());
        for (uint32_t i = 0; ok && i < colours; ++i) StoreLE32(palette + 4 * i, converted[i]);
        if (ok) std::memcpy(rows, BitmapPixelRows(entry), static_cast<size_t>(rowBytes * height));
    } else {
        // 24-bit rows, plain 32-bit rows, or 32-bit rows with bit fields; the rows keep their order.
        const uint32_t kind = header->biBitCount == 24 ? 1 : header->biCompression == BI_RGB ? 2 : 3;
        const uint32_t extent[2] = {width, height};
        uint8_t* out = nullptr;
        uint32_t outStride = 0;
        ok = (header->biBitCount == 24 || header->biBitCount == 32) &&
             ImageConvert(store->device, request->format, flag, kind, BitmapPixelRows(entry),
                          BitmapRowBytes(header->biBitCount, width), extent, rows, &out, &outStride) &&
             outStride == rowBytes;
    }
    if (!ok) {
        RenderFree(copy);
        return 0;
    }
    auto* head = reinterpret_cast<BitmapConvertedHead*>(copy);
    *head = BitmapConvertedHead{request->format->formatId, bits, static_cast<uint32_t>(size)};
    entry->converted = copy;
    tally->memory += static_cast<int32_t>(size);
    Reflag(store, entry, 0, BITMAP_CONVERTED);
    return 1;
}

int BitmapRealize(BitmapStore* store, BitmapEntry* entry, BandSurface* surface, ResourceCost* tally)
{
    if (!Has(entry, RESOURCE_REALISED)) {
        if (!BitmapPixelsLoad(store, entry, tally)) return 0;
        auto* info = reinterpret_cast<BITMAPINFO*>(entry->pixels);
        uint8_t* rows = BitmapPixelRows(entry);
        HBITMAP handle = nullptr;
        const DWORD compression = info->bmiHeader.biCompression;
        if (compression == BI_RLE4 || compression == BI_RLE8) {
            handle = CreateDIBitmap(surface ? surface->drawDC : nullptr, &info->bmiHeader, CBM_INIT, rows, info,
                                    DIB_RGB_COLORS);
        } else {
            if (!BitmapPixelsInvertPending(entry)) return 0;
            void* bits = nullptr;
            handle = CreateDIBSection(nullptr, info, DIB_RGB_COLORS, &bits, nullptr, 0);
            if (handle != nullptr && bits != nullptr) std::memcpy(bits, rows, info->bmiHeader.biSizeImage);
        }
        if (handle == nullptr) return 0;
        Unlist(store, entry);
        entry->handle = handle;
        entry->head.flags |= RESOURCE_REALISED;
        // What GDI made is charged: from run-length rows, a bitmap in the band's format.
        BITMAP made{};
        entry->deviceCharge =
            GetObjectW(handle, sizeof made, &made) != 0
                ? static_cast<uint32_t>(Clamp32(uint64_t(made.bmWidthBytes) * uint64_t(made.bmHeight)))
                : CurrentImageBytes(entry, BitCount(entry));
        tally->objects += 1;
        tally->deviceMemory += static_cast<int32_t>(entry->deviceCharge);
    } else {
        Unlist(store, entry);
    }
    Relist(store, entry);
    if (surface != nullptr) {
        // Selected every time: a released entry's memory may be what this entry now uses.
        if (entry->selectedDC == nullptr || entry->selectedDC != surface->secondDC) {
            entry->selectedDC = surface->secondDC;
            entry->selectedDCFirst = surface->secondDCFirstBitmap;
        }
        SelectObject(surface->secondDC, entry->handle);
        surface->selectedBitmap = entry;
    }
    return 1;
}

void BitmapUnrealize(BitmapStore* store, BitmapEntry* entry, BandSurface* surface, ResourceCost* tally)
{
    if (!Has(entry, RESOURCE_REALISED)) return;
    if (surface != nullptr && surface->selectedBitmap == entry) surface->selectedBitmap = nullptr;
    if (entry->selectedDC != nullptr) {
        HGDIOBJ previous = SelectObject(entry->selectedDC, entry->selectedDCFirst);
        if (previous != nullptr && previous != entry->handle) SelectObject(entry->selectedDC, previous);
        entry->selectedDC = nullptr;
    }
    DeleteObject(entry->handle);
    entry->handle = nullptr;
    Reflag(store, entry, RESOURCE_REALISED, 0);
    tally->objects -= 1;
    tally->deviceMemory -= static_cast<int32_t>(entry->deviceCharge);
    entry->deviceCharge = 0;
}

void BitmapRelease(BitmapStore* store, BitmapEntry* entry, int remove, ResourceCost* tally)
{
    if (entry == nullptr) return;
    const uint32_t refs = entry->head.refs;
    ResourceRefDrop(&entry->head);
    if (refs > 1) return;
    BitmapUnrealize(store, entry, nullptr, tally);
    ConvertedDrop(store, entry, tally);
    PixelsDrop(store, entry, tally);
    if (remove) {
        BucketRemove(store, entry);
        RenderFree(entry);
    }
}

void BitmapStoreDeviceSizeSet(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally, SIZE size)
{
    int32_t height = size.cy;
    if (entry->header.biHeight < 0 && height > 0) height = -height;
    if (BitmapCurrentWidth(entry) == size.cx && BitmapCurrentHeight(entry) == height) return;
    // The GDI bitmap has the old size: it goes with the pixels.
    BitmapUnrealize(store, entry, nullptr, tally);
    ConvertedDrop(store, entry, tally);
    PixelsDrop(store, entry, tally);
    entry->head.flags |= BITMAP_DEVICE_SIZE;
    entry->deviceWidth = size.cx;
    entry->deviceHeight = height;
}

void BitmapStoreTrim(BitmapStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request)
{
    auto walk = [&](BitmapList& list, auto&& keepGoing, auto&& act) {
        for (BitmapEntry* e = list.head; e != nullptr && keepGoing();) {
            BitmapEntry* next = e->listNext;
            act(e);
            e = next;
        }
    };
    auto memory = [&] { return request->memory >= 1; };
    ResourceCost freed{};
    auto dropPixels = [&](BitmapEntry* e) {
        if (Has(e, BITMAP_PIXELS_LOADED) && !Has(e, RESOURCE_PIXELS_IN_USE)) {
            request->memory -= static_cast<int32_t>(PixelsHeld(e));
            PixelsDrop(store, e, &freed);
        }
    };
    auto dropConverted = [&](BitmapEntry* e) {
        if (Has(e, BITMAP_CONVERTED) && !Has(e, RESOURCE_CONVERTED_IN_USE)) {
            request->memory -= static_cast<int32_t>(reinterpret_cast<BitmapConvertedHead*>(e->converted)->size);
            ConvertedDrop(store, e, &freed);
        }
    };
    switch (pass) {
        case 0: walk(store->realised, memory, dropPixels); break;
        case 1:
            walk(
                store->realised, [&] { return request->objects >= 1 || request->deviceMemory >= 1; },
                [&](BitmapEntry* e) {
                    if (Has(e, RESOURCE_IN_USE)) return;
                    request->objects -= 1;
                    request->deviceMemory -= static_cast<int32_t>(e->deviceCharge);
                    BitmapUnrealize(store, e, surface, &freed);
                });
            walk(store->pixels, memory, dropPixels);
            walk(store->converted, memory, dropPixels);
            break;
        default:
            walk(store->realised, memory, dropConverted);
            walk(store->converted, memory, dropConverted);
            break;
    }
}
