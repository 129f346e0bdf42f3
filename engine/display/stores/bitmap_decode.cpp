// A bitmap's parked data read across its continuation records, decoded by its compression and
// turned row by row into the pixels the store keeps. Nothing holds a whole compressed image: rows
// come in chunks of at most 4,096 bytes and the decoders keep their state in the store's work area.
#include "engine/display/stores/bitmap_decode.h"

#include <algorithm>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/output_module.h"
#include "engine/common/render_heap.h"
#include "engine/display/stores/bitmap_store.h"
#include "engine/spool/stream.h"

// ---- Reading across records ----

static void SegmentFirst(BitmapDataCursor* c)
{
    c->segmentSpill = c->entry->dataOffset;
    c->segmentBase = 0;
    c->segmentLength = c->entry->dataLength;
    c->segmentContinued = (c->entry->head.flags & BITMAP_CONTINUED) != 0;
}

static int CursorReadAt(BitmapDataCursor* c, uint32_t position, uint8_t* buffer, uint32_t count, uint32_t* got)
{
    if (position < c->segmentBase) SegmentFirst(c);
    uint32_t n = 0;
    while (n < count) {
        const uint64_t p = uint64_t{position} + n;
        const uint64_t segmentEnd = uint64_t{c->segmentBase} + c->segmentLength;
        if (p < segmentEnd) {
            const auto take = static_cast<uint32_t>(std::min<uint64_t>(count - n, segmentEnd - p));
            if (!StreamSpillReadAt(c->spill, c->segmentSpill + static_cast<uint32_t>(p - c->segmentBase), buffer + n,
                                   take))
                return 0;
            n += take;
            continue;
        }
        if (!c->segmentContinued) break;
        uint8_t head[kBitmapMoreHead];
        if (!StreamSpillReadAt(c->spill, c->segmentSpill + c->segmentLength, head, sizeof head)) return 0;
        const uint16_t type = LoadLE16(head + BitmapMoreRecord::type);
        const uint32_t size = LoadLE32(head + BitmapMoreRecord::size);
        if ((type & 0xBFFF) != kBitmapMoreType || size < kBitmapMoreHead) return 0;
        c->segmentSpill += c->segmentLength + kBitmapMoreHead;
        c->segmentBase += c->segmentLength;
        c->segmentLength = size - kBitmapMoreHead;
        c->segmentContinued = (type & 0x4000) != 0;
    }
    if (got) *got = n;
    return 1;
}

void BitmapDataCursorInit(BitmapDataCursor* cursor, StreamSpill* spill, const BitmapEntry* entry, uint8_t* work,
                          uint32_t workSize)
{
    *cursor = BitmapDataCursor{};
    cursor->spill = spill;
    cursor->entry = entry;
    cursor->position = 4u * entry->paletteCount;
    cursor->end = cursor->position + entry->pixelLength;
    cursor->work = work;
    cursor->workSize = workSize;
    cursor->fresh = 1;
    SegmentFirst(cursor);
}

int BitmapDataRead(StreamSpill* spill, const BitmapEntry* entry, uint32_t position, void* buffer, uint32_t count,
                   uint32_t* got)
{
    BitmapDataCursor cursor;
    BitmapDataCursorInit(&cursor, spill, entry, nullptr, 0);
    return CursorReadAt(&cursor, position, static_cast<uint8_t*>(buffer), count, got);
}

uint32_t BitmapBytesRead(void* buffer, uint32_t count, void* argument)
{
    auto* c = static_cast<BitmapDataCursor*>(argument);
    if (c->position >= c->end) return 0;
    uint32_t got = 0;
    if (!CursorReadAt(c, c->position, static_cast<uint8_t*>(buffer), std::min(count, c->end - c->position), &got))
        return 0;
    c->position += got;
    return got;
}

// ---- 24-bit run-length rows ----
// Work area: the input buffer's read and fill positions, the saved row, the input buffer.

namespace {
struct Rle24Input {
    uint32_t position;
    uint32_t length;
};
}  // namespace

static bool Rle24Take(BitmapDataCursor* c, Rle24Input* in, uint8_t* buffer, uint32_t capacity, uint8_t* out, uint32_t n)
{
    while (n > 0) {
        if (in->position == in->length) {
            in->position = 0;
            in->length = BitmapBytesRead(buffer, capacity, c);
            if (in->length == 0) return false;
        }
        const uint32_t take = std::min(n, in->length - in->position);
        std::memcpy(out, buffer + in->position, take);
        in->position += take;
        out += take;
        n -= take;
    }
    return true;
}

static int Rle24Decode(BitmapDataCursor* c, uint8_t* rows, uint32_t count, int oneShot)
{
    const uint32_t width = static_cast<uint32_t>(std::abs(c->entry->header.biWidth));
    const uint32_t rowLength = width * 3;
    const uint32_t rowBytes = (rowLength + 3) & ~3u;
    if (c->work == nullptr || c->workSize < sizeof(Rle24Input) + rowBytes + 64) return 0;
    auto* in = reinterpret_cast<Rle24Input*>(c->work);
    uint8_t* saved = c->work + sizeof(Rle24Input);
    uint8_t* buffer = saved + rowBytes;
    const uint32_t capacity = c->workSize - sizeof(Rle24Input) - rowBytes;
    if (c->fresh) {
        *in = Rle24Input{};
        std::memset(saved, 0, rowBytes);  // what a repeat before any row repeats
    }
    const uint32_t rowCount = count / rowBytes;
    for (uint32_t r = 0; r < rowCount; ++r) {
        uint8_t* row = rows + size_t{r} * rowBytes;
        std::memset(row + rowBytes - 4, 0, 4);
        uint8_t code;
        if (!Rle24Take(c, in, buffer, capacity, &code, 1)) return 0;
        if (code == 129) {
            if (!Rle24Take(c, in, buffer, capacity, row, rowLength)) return 0;
        } else if (code == 130) {
            std::memcpy(row, r > 0 ? row - rowBytes : saved, rowLength);
        } else if (code == 131) {
            for (uint32_t filled = 0; filled < rowLength;) {
                uint8_t group[4];
                if (!Rle24Take(c, in, buffer, capacity, group, 4)) return 0;
                if (filled + group[0] * 3u > rowLength) return 0;  // a run past the row
                for (uint32_t i = 0; i < group[0]; ++i, filled += 3) std::memcpy(row + filled, group + 1, 3);
            }
        } else {
            return 0;
        }
    }
    if (!oneShot && rowCount > 0) std::memcpy(saved, rows + size_t{rowCount - 1} * rowBytes, rowBytes);
    return 1;
}

int BitmapDataDecode(BitmapDataCursor* cursor, uint8_t* buffer, uint32_t count, int oneShot)
{
    int ok;
    switch (cursor->entry->compression) {
        case BitmapCompressionRle24: ok = Rle24Decode(cursor, buffer, count, oneShot); break;
        case BitmapCompressionLzw: {
            const uint32_t flags = (cursor->fresh ? 0 : LZW_CONTINUE) | (oneShot ? LZW_ONE_SHOT : 0);
            uint32_t produced = 0;
            const int32_t result =
                LzwDecode(BitmapBytesRead, cursor, buffer, count, cursor->work, cursor->workSize, flags, &produced);
            // Success is the bytes asked for, however the run ended.
            ok = result != LZW_BAD_CODE && result != LZW_STATE_SMALL && produced == count;
            break;
        }
        default: {
            uint32_t got = 0;
            ok =
                CursorReadAt(cursor, cursor->position, buffer, std::min(count, cursor->end - cursor->position), &got) &&
                got == count;
            cursor->position += got;
            break;
        }
    }
    cursor->fresh = 0;
    return ok;
}

// ---- Rows ----

static uint32_t RecordDepth(const BitmapEntry* entry)
{
    return entry->compression == BitmapCompressionRle24 ? 24u : entry->depth;
}

int BitmapRowsProcess(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize,
                      BitmapRowConverter converter, void* state)
{
    const uint32_t depth = RecordDepth(entry);
    const int32_t width = std::abs(entry->header.biWidth);
    const uint32_t height = static_cast<uint32_t>(std::abs(int64_t{entry->header.biHeight}));
    const uint32_t rowBytes = BitmapRowBytes(depth, width);
    if (rowBytes == 0) return 0;
    const uint32_t perChunk = std::max(1u, 4096 / rowBytes);
    auto* chunk = static_cast<uint8_t*>(RenderAlloc(size_t{perChunk} * rowBytes));
    if (chunk == nullptr) return 0;
    const uint32_t padding = rowBytes - static_cast<uint32_t>((uint64_t{depth} * width + 7) / 8);
    BitmapDataCursor cursor;
    BitmapDataCursorInit(&cursor, spill, entry, work, workSize);
    int ok = 1;
    for (uint32_t done = 0; ok && done < height;) {
        const uint32_t n = std::min(perChunk, height - done);
        ok = BitmapDataDecode(&cursor, chunk, n * rowBytes, 0) && converter(chunk, width, n, padding, state);
        done += n;
    }
    RenderFree(chunk);
    return ok;
}

namespace {

struct WidenState {
    uint8_t* destination;
    uint32_t padding;  // of the destination rows
    uint32_t depth;
    const uint8_t* palette;  // 256 entries
};

int WidenPalette(const uint8_t* rows, int32_t width, uint32_t count, uint32_t padding, void* argument)
{
    auto* s = static_cast<WidenState*>(argument);
    const uint32_t perByte = 8 / s->depth;
    const uint32_t mask = (1u << s->depth) - 1;
    for (uint32_t r = 0; r < count; ++r) {
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t shift = (perByte - 1 - x % perByte) * s->depth;
            const uint32_t index = (rows[x / perByte] >> shift) & mask;
            std::memcpy(s->destination, s->palette + 4 * index, 3);
            s->destination += 3;
        }
        std::memset(s->destination, 0, s->padding);
        s->destination += s->padding;
        rows += (size_t(width) * s->depth + 7) / 8 + padding;
    }
    return 1;
}

int Widen16(const uint8_t* rows, int32_t width, uint32_t count, uint32_t padding, void* argument)
{
    auto* s = static_cast<WidenState*>(argument);
    auto e = [](uint32_t c) { return static_cast<uint8_t>(c * 255 / 31); };
    for (uint32_t r = 0; r < count; ++r) {
        for (int32_t x = 0; x < width; ++x, rows += 2) {
            const uint32_t p = LoadLE16(rows);
            s->destination[0] = e(p & 31);
            s->destination[1] = e((p >> 5) & 31);
            s->destination[2] = e((p >> 10) & 31);
            s->destination += 3;
        }
        std::memset(s->destination, 0, s->padding);
        s->destination += s->padding;
        rows += padding;
    }
    return 1;
}

struct MaskState {
    uint8_t* destination;
    uint32_t padding;
    uint32_t depth;
    uint32_t key;
    uint32_t colours;
    // Set for a white mask: which palette indices are white (palette pixels only).
    const bool* whiteIndex;
    bool white;
};

// Whether a pixel of the record's format is white. Palette pixels go by their entry's colour, as
// GDI compares a pixel's colour with the background colour; 16-bit pixels are 5-5-5.
bool PixelIsWhite(const MaskState* s, const uint8_t* row, int32_t x)
{
    switch (s->depth) {
        case 1: return s->whiteIndex[(row[x / 8] >> (7 - x % 8)) & 1];
        case 4: return s->whiteIndex[(row[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 15];
        case 8: return s->whiteIndex[row[x]];
        case 16: return (LoadLE16(row + 2 * x) & 0x7FFF) == 0x7FFF;
        default: {
            const uint8_t* p = row + size_t(x) * (s->depth / 8);
            return p[0] == 255 && p[1] == 255 && p[2] == 255;
        }
    }
}

int ToMask(const uint8_t* rows, int32_t width, uint32_t count, uint32_t padding, void* argument)
{
    auto* s = static_cast<MaskState*>(argument);
    const size_t sourceRow = (size_t(width) * s->depth + 7) / 8;
    const size_t maskRow = (size_t{static_cast<uint32_t>(width)} + 7) / 8;
    const uint8_t tail = width % 8 == 0 ? 0xFF : static_cast<uint8_t>(0xFF00 >> (width % 8));
    const uint32_t r8 = s->key & 0xFF, g8 = (s->key >> 8) & 0xFF, b8 = (s->key >> 16) & 0xFF;
    for (uint32_t r = 0; r < count; ++r) {
        uint8_t* out = s->destination;
        const bool allOnes =
            !s->white && ((s->depth == 1 && s->key > 1) || ((s->depth == 4 || s->depth == 8) && s->key >= s->colours));
        if (s->white) {
            std::memset(out, 0, maskRow);
            for (int32_t x = 0; x < width; ++x)
                if (PixelIsWhite(s, rows, x)) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        } else if (allOnes) {
            std::memset(out, 0xFF, maskRow);
        } else if (s->depth == 1) {
            for (size_t i = 0; i < maskRow; ++i) out[i] = s->key == 0 ? rows[i] : static_cast<uint8_t>(~rows[i]);
        } else {
            std::memset(out, 0, maskRow);
            for (int32_t x = 0; x < width; ++x) {
                bool differs;
                switch (s->depth) {
                    case 4: differs = ((rows[x / 2] >> (x % 2 == 0 ? 4 : 0)) & 15) != s->key; break;
                    case 8: differs = rows[x] != s->key; break;
                    case 16: differs = LoadLE16(rows + 2 * x) != (s->key & 0xFFFF); break;
                    default: {
                        const uint8_t* p = rows + size_t(x) * (s->depth / 8);
                        differs = p[0] != b8 || p[1] != g8 || p[2] != r8;
                        break;
                    }
                }
                if (differs) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            }
        }
        out[maskRow - 1] &= tail;
        std::memset(out + maskRow, 0, s->padding);
        s->destination += maskRow + s->padding;
        rows += sourceRow + padding;
    }
    return 1;
}

}  // namespace

int BitmapRowsToMask(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize, const uint8_t*,
                     uint8_t* rows)
{
    if ((entry->head.flags & BITMAP_MASK_WHITE) != 0 && BitmapMaskThroughGdi(entry))
        return BitmapRowsToWhiteMaskThroughGdi(entry, spill, rows);
    const int32_t width = std::abs(entry->header.biWidth);
    // The key is a palette index into the record's palette, also when the source was widened.
    MaskState state{rows,
                    BitmapRowBytes(1, width) - static_cast<uint32_t>((uint32_t(width) + 7) / 8),
                    RecordDepth(entry),
                    entry->key,
                    entry->compression == BitmapCompressionGrey ? 256u : entry->paletteCount,
                    nullptr,
                    false};
    if (state.depth != 1 && state.depth != 4 && state.depth != 8 && state.depth != 16 && state.depth != 24 &&
        state.depth != 32)
        return 0;
    // A white mask reads the record's palette (or the grey ramp); indices it does not give are black.
    bool whiteIndex[256] = {};
    if ((entry->head.flags & BITMAP_MASK_WHITE) != 0) {
        state.white = true;
        state.whiteIndex = whiteIndex;
        if (entry->compression == BitmapCompressionGrey) {
            whiteIndex[255] = true;
        } else if (entry->paletteCount > 0 && state.depth <= 8) {
            uint8_t palette[1024];
            const uint32_t count = std::min<uint32_t>(entry->paletteCount, 1u << state.depth);
            uint32_t got = 0;
            if (!BitmapDataRead(spill, entry, 0, palette, 4u * count, &got) || got != 4u * count) return 0;
            for (uint32_t i = 0; i < count; ++i)
                whiteIndex[i] = palette[4 * i] == 255 && palette[4 * i + 1] == 255 && palette[4 * i + 2] == 255;
        }
    }
    return BitmapRowsProcess(entry, spill, work, workSize, ToMask, &state);
}

static void GreyRamp(uint8_t* palette)
{
    for (uint32_t i = 0; i < 256; ++i) {
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = static_cast<uint8_t>(i);
        palette[4 * i + 3] = 0;
    }
}

int BitmapPixelsFill(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize,
                     OutputModuleContext* device, uint8_t* palette, uint8_t* rows)
{
    const uint32_t flags = entry->head.flags;
    // Widened pixels have no palette of their own: the record's (or the ramp) goes to a temporary.
    uint8_t widened[1024] = {};
    uint8_t* paletteTo = (flags & BITMAP_WIDEN_PALETTE) != 0 && entry->header.biClrUsed == 0 ? widened : palette;
    const bool mask = (flags & BITMAP_MASK) != 0;
    if (mask && palette != nullptr) {
        static const uint8_t kBlackWhite[8] = {0, 0, 0, 0, 255, 255, 255, 0};
        std::memcpy(palette, kBlackWhite, sizeof kBlackWhite);
    }
    if (paletteTo == nullptr && (entry->paletteCount > 0 || entry->compression == BitmapCompressionGrey)) return 0;
    if (entry->compression == BitmapCompressionGrey && !mask) GreyRamp(paletteTo);
    if (entry->paletteCount > 0 && !mask) {
        uint32_t got = 0;
        if (!BitmapDataRead(spill, entry, 0, paletteTo, 4u * entry->paletteCount, &got) ||
            got != 4u * entry->paletteCount)
            return 0;
    }
    const int32_t width = std::abs(entry->header.biWidth);
    const uint32_t rowBytes24 = BitmapRowBytes(24, width);
    if ((flags & BITMAP_WIDEN_PALETTE) != 0) {
        if (entry->depth != 1 && entry->depth != 4 && entry->depth != 8) return 0;
        WidenState state{rows, rowBytes24 - 3u * width, entry->depth, paletteTo};
        if (!BitmapRowsProcess(entry, spill, work, workSize, WidenPalette, &state)) return 0;
    } else if ((flags & BITMAP_WIDEN_16) != 0) {
        WidenState state{rows, rowBytes24 - 3u * width, 16, nullptr};
        if (!BitmapRowsProcess(entry, spill, work, workSize, Widen16, &state)) return 0;
    } else if ((flags & BITMAP_MASK) != 0) {
        if (!BitmapRowsToMask(entry, spill, work, workSize, paletteTo, rows)) return 0;
    } else {
        BitmapDataCursor cursor;
        BitmapDataCursorInit(&cursor, spill, entry, work, workSize);
        if (!BitmapDataDecode(&cursor, rows, entry->header.biSizeImage, 1)) return 0;
    }
    const uint8_t c = entry->compression;
    const uint32_t bits = (flags & BITMAP_MASK) != 0 ? 1u : entry->header.biBitCount;
    if (c != BitmapCompressionRle4 && c != BitmapCompressionRle8 && c != BitmapCompressionBitFields &&
        c != BitmapCompressionPassed && entry->head.id < 0x40000000u && bits >= 2 && device != nullptr &&
        device->slots.BitmapPrepare != nullptr) {
        ImxImage image{};
        image.formatId = bits == 24 ? 1 : 2;
        image.width = static_cast<uint32_t>(width);
        image.height = static_cast<uint32_t>(std::abs(int64_t{entry->header.biHeight}));
        image.planeCount = 1;
        image.planes[0].depth = static_cast<uint8_t>(bits);
        image.planes[0].width = image.width;
        image.planes[0].height = image.height;
        image.planes[0].stride = BitmapRowBytes(bits, width);
        image.planes[0].data = rows;
        image.planes[0].dataPresent = 1;
        if (device->slots.BitmapPrepare(device->instance, &image, image.width) != 0) return 0;
    }
    return 1;
}
