// The colour tests of a bitmap: black-and-white (only pure black and white), grey (equal red,
// green and blue) or colour, from its palette and, where the palette cannot tell, its pixels.
#include <cstring>

#include "engine/display/stores/bitmap_decode.h"
#include "engine/display/stores/bitmap_store.h"

static uint32_t EntryClass(const uint8_t* bgr)
{
    if (bgr[0] != bgr[1] || bgr[1] != bgr[2]) return RESOURCE_COLOR;
    return bgr[0] == 0 || bgr[0] == 255 ? RESOURCE_BLACK_WHITE : RESOURCE_GREY;
}

uint32_t BitmapPaletteClass(uint32_t entries, const uint8_t* palette)
{
    uint32_t result = RESOURCE_BLACK_WHITE;
    for (uint32_t i = 0; i < entries; ++i) {
        const uint32_t c = EntryClass(palette + 4 * i);
        if (c == RESOURCE_COLOR) return c;
        if (c == RESOURCE_GREY) result = RESOURCE_GREY;
    }
    return result;
}

namespace {

struct ScanState {
    uint32_t depth;
    uint32_t result;  // the class found so far
    uint8_t table[256];  // class of each palette index (8-bit pixels)
    bool monoOnly;  // stop at the first pixel that is not pure black or white
};

int Scan(const uint8_t* rows, int32_t width, uint32_t count, uint32_t padding, void* argument)
{
    auto* s = static_cast<ScanState*>(argument);
    const uint32_t bytes = s->depth / 8;
    for (uint32_t r = 0; r < count; ++r) {
        for (int32_t x = 0; x < width; ++x, rows += bytes) {
            const uint32_t c = s->depth == 8 ? s->table[*rows] : EntryClass(rows);
            if (c == RESOURCE_COLOR || (s->monoOnly && c != RESOURCE_BLACK_WHITE)) {
                s->result = c;
                return 0;
            }
            if (c == RESOURCE_GREY) s->result = RESOURCE_GREY;
        }
        rows += padding;
    }
    return 1;
}

// Runs the scan; false when it could not read the pixels (a stop by the scan itself is not that).
bool ScanPixels(BitmapStore* store, const BitmapEntry* entry, ScanState* state)
{
    if (BitmapStoreWork(store) == nullptr) return false;
    const uint32_t before = state->result;
    state->result = RESOURCE_BLACK_WHITE;
    const int finished = BitmapRowsProcess(entry, store->spill, store->work, kBitmapWorkSize, Scan, state);
    if (finished) return true;
    // A stop leaves a class other than black-and-white; a read error leaves it unchanged.
    if (state->result != RESOURCE_BLACK_WHITE) return true;
    state->result = before;
    return false;
}

void IndexTable(ScanState* state, const uint8_t* palette, uint32_t entries)
{
    static const uint8_t kBlack[4] = {};
    for (uint32_t i = 0; i < 256; ++i)
        state->table[i] = static_cast<uint8_t>(EntryClass(i < entries ? palette + 4 * i : kBlack));
}

}  // namespace

uint32_t BitmapClassDetect(BitmapStore* store, BitmapEntry* entry, const uint8_t* palette)
{
    const uint32_t entries = entry->paletteCount;
    const uint32_t paletteClass = BitmapPaletteClass(entries, palette);
    if (paletteClass == RESOURCE_COLOR) return RESOURCE_COLOR | BITMAP_CLASS_SETTLED;
    const uint32_t depth = entry->compression == BitmapCompressionRle24 ? 24u : entry->depth;
    const bool raw = entry->compression != BitmapCompressionRle4 && entry->compression != BitmapCompressionRle8;
    ScanState state{};
    state.depth = depth;
    if (raw && depth == 8 && entries > 0 && paletteClass != RESOURCE_BLACK_WHITE) {
        IndexTable(&state, palette, entries);
        // A bitmap that cannot be read is taken for colour: that draws it right whatever it holds.
        return (ScanPixels(store, entry, &state) ? state.result : RESOURCE_COLOR) | BITMAP_CLASS_SETTLED;
    }
    if (raw && (depth == 24 || depth == 32)) {
        return (ScanPixels(store, entry, &state) ? state.result : RESOURCE_COLOR) | BITMAP_CLASS_SETTLED;
    }
    return (entries > 0 ? paletteClass : 0) | BITMAP_CLASS_SETTLED;
}

int BitmapMonoDetect(BitmapStore* store, BitmapEntry* entry)
{
    uint32_t& flags = entry->head.flags;
    if ((flags & RESOURCE_BLACK_WHITE) != 0) return 1;
    const uint8_t c = entry->compression;
    const uint32_t depth = c == BitmapCompressionRle24 ? 24u : entry->depth;
    bool pure = false;
    if ((flags & BITMAP_CLASS_SETTLED) == 0 && (depth == 8 || depth == 24 || depth == 32) &&
        c != BitmapCompressionRle4 && c != BitmapCompressionRle8 && c != BitmapCompressionBitFields) {
        ScanState state{};
        state.depth = depth;
        state.monoOnly = true;
        bool read = true;
        if (depth == 8) {
            uint8_t palette[1024] = {};
            if (c == BitmapCompressionGrey) {
                for (uint32_t i = 0; i < 256; ++i)
                    palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = uint8_t(i);
            }
            const uint32_t entries = entry->paletteCount;
            read = entries <= 256 && BitmapDataRead(store->spill, entry, 0, palette, 4 * entries, nullptr);
            IndexTable(&state, palette, c == BitmapCompressionGrey ? 256u : entries);
        }
        pure = read && ScanPixels(store, entry, &state) && state.result == RESOURCE_BLACK_WHITE;
    }
    if (pure) flags = (flags & ~(RESOURCE_GREY | RESOURCE_COLOR)) | RESOURCE_BLACK_WHITE;
    flags |= BITMAP_CLASS_SETTLED;
    return pure ? 1 : 0;
}
