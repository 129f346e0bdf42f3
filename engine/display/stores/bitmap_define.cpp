// A bitmap's definition from the spool stream: its record checked, its data (and that of its
// continuations) parked in the spill, its GDI header and colour class made, and the entry filed.
#include <algorithm>
#include <cstdlib>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

int BitmapDefine(BitmapStore* store, Stream* stream)
{
    uint8_t raw[kBitmapRecordHead];
    if (StreamRead(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    const uint16_t type = LoadLE16(raw + BitmapRecord::type);
    const uint32_t size = LoadLE32(raw + BitmapRecord::size);
    const int32_t width = static_cast<int32_t>(LoadLE32(raw + BitmapRecord::width));
    const int32_t height = static_cast<int32_t>(LoadLE32(raw + BitmapRecord::height));
    const uint16_t paletteCount = LoadLE16(raw + BitmapRecord::paletteCount);
    const uint8_t depth = raw[BitmapRecord::depth];
    const uint8_t compression = raw[BitmapRecord::compression];
    // Fields that would make the rows unreadable, or their size unrepresentable, fail the record.
    const bool depthKnown = depth == 1 || depth == 4 || depth == 8 || depth == 16 || depth == 24 || depth == 32;
    // In 64 bits: BitmapRowBytes answers in 32, and a row past 4 GB would wrap into a small one.
    const uint64_t rowBytes =
        ((uint64_t{std::max<uint32_t>(depth, 24)} * static_cast<uint64_t>(std::abs(int64_t{width})) + 31) >> 5) * 4;
    if (size < kBitmapRecordHead || !depthKnown || compression > BitmapCompressionRle24 || width <= 0 || height == 0 ||
        height == INT32_MIN || paletteCount > 256 ||
        rowBytes * static_cast<uint64_t>(std::abs(int64_t{height})) > 0x7FFFFFFFu - 2048)
        return 0;
    const uint32_t dataLength = size - kBitmapRecordHead;
    if (dataLength < 4u * paletteCount) return 0;
    if ((compression == BitmapCompressionNone || compression == BitmapCompressionLzw ||
         compression == BitmapCompressionRle24) &&
        depth > 8 && paletteCount != 0)
        return 0;
    if (compression == BitmapCompressionGrey && depth != 8) return 0;
    if (compression == BitmapCompressionRle24 && depth != 24) return 0;
    // Bit-field pixels take their three masks from the palette's place: with fewer, GDI would
    // read masks out of the rows (or past them).
    if (compression == BitmapCompressionBitFields && paletteCount < 3) return 0;

    auto* entry = static_cast<BitmapEntry*>(RenderAlloc(sizeof(BitmapEntry)));
    if (entry == nullptr) return 0;
    auto fail = [&] {
        RenderFree(entry);
        return 0;
    };
    entry->dataLength = dataLength;
    entry->pixelLength = dataLength - 4u * paletteCount;
    if (dataLength > 0 && !StreamSpillAppend(store->spill, dataLength, &entry->dataOffset)) return fail();
    if ((type & 0x4000) != 0) {
        entry->head.flags |= BITMAP_CONTINUED;
        for (bool more = true, first = true; more; first = false) {
            uint32_t at = 0;
            uint8_t head[kBitmapMoreHead];
            if (!StreamSpillAppend(store->spill, kBitmapMoreHead, &at) ||
                !StreamSpillReadAt(store->spill, at, head, sizeof head))
                return fail();
            if (dataLength == 0 && first) entry->dataOffset = at;  // all the data lies in continuations
            const uint16_t moreType = LoadLE16(head + BitmapMoreRecord::type);
            const uint32_t moreSize = LoadLE32(head + BitmapMoreRecord::size);
            if ((moreType != kBitmapMoreType && moreType != (kBitmapMoreType | 0x4000)) || moreSize < kBitmapMoreHead ||
                uint64_t{entry->pixelLength} + (moreSize - kBitmapMoreHead) > 0x7FFFFFFFu)
                return fail();
            uint32_t payloadAt = 0;
            if (moreSize > kBitmapMoreHead && !StreamSpillAppend(store->spill, moreSize - kBitmapMoreHead, &payloadAt))
                return fail();
            entry->pixelLength += moreSize - kBitmapMoreHead;
            more = (moreType & 0x4000) != 0;
        }
    }
    uint8_t palette[1024] = {};
    if (paletteCount > 0) {
        uint32_t got = 0;
        if (!BitmapDataRead(store->spill, entry, 0, palette, 4u * paletteCount, &got) || got != 4u * paletteCount)
            return fail();
    }
    entry->head.id = LoadLE32(raw + BitmapRecord::id);
    entry->compression = compression;
    entry->depth = depth;
    entry->paletteCount = paletteCount;
    BITMAPINFOHEADER& h = entry->header;
    h.biSize = sizeof(BITMAPINFOHEADER);
    h.biWidth = width;
    h.biHeight = height;
    h.biPlanes = 1;
    h.biBitCount = compression == BitmapCompressionRle24 ? 24 : depth;
    static constexpr DWORD kCompression[] = {BI_RGB,       BI_RLE4,    BI_RLE8, BI_RGB,
                                             BI_BITFIELDS, 0xFFFFFFFF, BI_RGB,  BI_RGB};
    h.biCompression = kCompression[compression];
    h.biClrUsed = compression == BitmapCompressionGrey ? 256u : paletteCount;
    // Palette pixels read through a short (or missing) palette stay inside it: the table has room
    // for every index, and entries the record does not give are black.
    if (h.biBitCount <= 8 && h.biClrUsed < (1u << depth)) h.biClrUsed = 1u << depth;
    h.biSizeImage = BitmapRowBytes(h.biBitCount, width) * static_cast<uint32_t>(std::abs(int64_t{height}));
    // Run-length rows go to GDI as they are stored.
    if (compression == BitmapCompressionRle4 || compression == BitmapCompressionRle8)
        h.biSizeImage = entry->pixelLength;

    const bool widens = store->device != nullptr && store->device->slots.BitmapPrepare != nullptr &&
                        compression != BitmapCompressionRle4 && compression != BitmapCompressionRle8 &&
                        compression != BitmapCompressionBitFields && compression != BitmapCompressionPassed &&
                        entry->head.id < 0x40000000u && depth > 1;
    if (widens && (paletteCount != 0 || compression == BitmapCompressionGrey)) {
        entry->head.flags |= BITMAP_WIDEN_PALETTE;
        h.biClrUsed = 0;
        h.biBitCount = 24;
    } else if (widens && depth == 16) {
        entry->head.flags |= BITMAP_WIDEN_16;
        h.biBitCount = 24;
    }
    if (widens) h.biSizeImage = BitmapRowBytes(h.biBitCount, width) * static_cast<uint32_t>(std::abs(int64_t{height}));
    // A bitmap that could not be drawn within the whole budget fails here, before its pixels are
    // scanned or decoded: its few bytes of data would otherwise hold that memory, and the time to
    // fill it, whenever it is drawn.
    if (BitmapDecodeBytes(entry) > store->memoryLimit) {
        fail();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return 0;
    }

    if (compression == BitmapCompressionGrey) {
        entry->head.flags |= RESOURCE_GREY;
    } else if (compression == BitmapCompressionBitFields || compression == BitmapCompressionPassed) {
        entry->head.flags |= RESOURCE_COLOR;
    } else if (store->device != nullptr && (store->device->options & IMO_OPTION_IMAGE_HINTS) != 0) {
        if (BitmapStoreWork(store) == nullptr) return fail();
        entry->head.flags |= BitmapClassDetect(store, entry, palette);
    } else {
        entry->head.flags |= paletteCount > 0 ? BitmapPaletteClass(paletteCount, palette) : RESOURCE_COLOR;
    }
    BitmapStoreInsert(store, entry);
    return 1;
}
