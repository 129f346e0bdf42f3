// The bitmap store: bitmaps defined by type-35 records (and their continuations), looked up by id,
// whose pixels, converted copies and GDI bitmaps are made ready under the job's budget. The data
// stays parked in the spill and is decoded on demand.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/stores/resource_object.h"
#include "engine/display/stores/resource_table.h"
#include "platform/gdi.h"
#include "platform/types.h"

struct ImxImageFormat;

struct OutputModuleContext;
struct StreamSpill;
struct Stream;
struct BandSurface;

// Bitmap record (type 35, or 0x4023 when continuation records follow): 24-byte head, the palette
// (4 bytes an entry: B, G, R, 0), the pixel data.
inline constexpr uint32_t kBitmapRecordHead = 24;
namespace BitmapRecord {
inline constexpr uint32_t type = 0, size = 4, id = 8, width = 12, height = 16, paletteCount = 20, depth = 22,
                          compression = 23;
}
// Continuation record (type 67 the last, 0x4043 when more follow): an 8-byte head, then data.
inline constexpr uint16_t kBitmapMoreType = 67;
inline constexpr uint32_t kBitmapMoreHead = 8;
namespace BitmapMoreRecord {
inline constexpr uint32_t type = 0, size = 4;
}

enum BitmapCompression : uint8_t {
    BitmapCompressionNone = 0,
    BitmapCompressionRle4 = 1,
    BitmapCompressionRle8 = 2,
    BitmapCompressionGrey = 3,  // 8-bit grey over the built-in ramp
    BitmapCompressionBitFields = 4,
    BitmapCompressionPassed = 5,
    BitmapCompressionLzw = 6,
    BitmapCompressionRle24 = 7,
};

// BitmapEntry flags beyond the shared ones (realised 0x1, in use 0x2, colour class 0x70, pixels in
// use 0x400, converted copy in use 0x800).
inline constexpr uint32_t BITMAP_PIXELS_LOADED = 0x80;  // its own pixels are decoded
inline constexpr uint32_t BITMAP_CONVERTED = 0x200;  // a converted copy exists
inline constexpr uint32_t BITMAP_WIDEN_16 = 0x10000;  // 16-bit pixels widened to 24 when loaded
inline constexpr uint32_t BITMAP_WIDEN_PALETTE = 0x20000;  // palette pixels widened to 24 when loaded
inline constexpr uint32_t BITMAP_CLASS_SETTLED = 0x40000;
inline constexpr uint32_t BITMAP_DEVICE_SIZE = 0x80000;
inline constexpr uint32_t BITMAP_INVERT = 0x100000;  // invert once before the GDI bitmap is made
inline constexpr uint32_t BITMAP_MASK = 0x200000;  // 1-bit rows: 1 where the pixel is not the key
inline constexpr uint32_t BITMAP_INVERTED = 0x400000;
inline constexpr uint32_t BITMAP_CONTINUED = 0x800000;  // data goes on in continuation records
inline constexpr uint32_t BITMAP_MASK_WHITE = 0x1000000;  // with BITMAP_MASK: 1 where the pixel is white

// Head of a converted copy; the palette (if any) and the rows follow.
struct BitmapConvertedHead {
    uint32_t formatId;
    uint32_t bitsPerPixel;
    uint32_t size;  // bytes charged, head included
};
static_assert(sizeof(BitmapConvertedHead) == 12);

struct BitmapEntry {
    ResourceObject head;
    BitmapEntry* bucketNext;
    BitmapEntry* listPrev;
    BitmapEntry* listNext;
    uint32_t dataOffset;  // in the spill
    uint32_t dataLength;  // bytes of data in the first record
    uint32_t pixelLength;  // data less the palette, plus every continuation's payload
    uint8_t compression;
    uint8_t depth;  // bits per pixel of the record
    uint16_t paletteCount;  // entries in the record
    uint8_t* converted;  // BitmapConvertedHead, palette, rows
    uint8_t* pixels;  // BITMAPINFOHEADER, palette, rows
    uint32_t pixelsSize;
    // Rows only GDI reads (run length, bit fields) drawn once into 24 bits, in the pixels' row
    // order, for the stretch blit to pick from; made with the pixels on first use, dropped with them.
    uint8_t* picture;
    uint32_t pictureSize;
    HBITMAP handle;
    BITMAPINFOHEADER header;
    int32_t deviceWidth;
    int32_t deviceHeight;
    uint32_t key;  // transparent colour of a mask copy
    uint32_t deviceCharge;  // device memory charged for the GDI bitmap
    HDC selectedDC;  // where the GDI bitmap was last selected, so that a release can take it out
    HBITMAP selectedDCFirst;  // what that DC held first
};

// A list of entries, most recently added at the head.
struct BitmapList {
    BitmapEntry* head;
    BitmapEntry* tail;
};

inline constexpr uint32_t kBitmapWorkSize = 65536;

struct BitmapStore {
    uint32_t count;
    uint32_t nextId;  // generated ids count down from 0x3FFFFFFF
    OutputModuleContext* device;
    uint8_t greyCacheFlag;
    uint32_t greyCacheFormat;
    uint32_t greyCache[256];
    StreamSpill* spill;
    BitmapList realised;  // GDI bitmap exists
    BitmapList converted;  // converted copy, no GDI bitmap
    BitmapList pixels;  // decoded pixels only
    ResourceTable<BitmapEntry> table;
    uint8_t* work;  // kBitmapWorkSize bytes shared by the decoders; allocated on first use
    uint32_t memoryLimit;  // the budget's byte limit: no bitmap whose decode needs more is defined
};

// Bytes of one row of depth bits a pixel, padded to 4 bytes.
inline uint32_t BitmapRowBytes(uint32_t depth, int64_t width)
{
    return static_cast<uint32_t>(
        ((static_cast<uint64_t>(depth) * static_cast<uint64_t>(width < 0 ? -width : width) + 31) >> 5) * 4);
}
// The size the bitmap is drawn at: the device size when set, else the natural size.
int32_t BitmapCurrentWidth(const BitmapEntry* entry);
int32_t BitmapCurrentHeight(const BitmapEntry* entry);
// Rows and palette of the decoded pixels.
inline uint8_t* BitmapPixelRows(const BitmapEntry* entry)
{
    return entry->pixels + sizeof(BITMAPINFOHEADER) + 4 * entry->header.biClrUsed;
}
inline const uint8_t* BitmapPixelPalette(const BitmapEntry* entry)
{
    return entry->header.biClrUsed != 0 ? entry->pixels + sizeof(BITMAPINFOHEADER) : nullptr;
}

// Files a new entry under its id.
void BitmapStoreInsert(BitmapStore* store, BitmapEntry* entry);
// The decoders' shared work area, allocated on first use; null when memory is short.
uint8_t* BitmapStoreWork(BitmapStore* store);
void BitmapStoreInit(BitmapStore* store, OutputModuleContext* device, StreamSpill* spill, uint32_t memoryLimit);
void BitmapStoreDestroy(BitmapStore* store, ResourceCost* tally);
void BitmapStoreTrim(BitmapStore* store, BandSurface* surface, uint32_t pass, ResourceCost* request);
// Reads a type-35 record (with its continuations) at the stream. 1 or 0; 0 leaves the store as it was.
// A bitmap whose decode would need more than the store's memory limit fails with the last error
// ERROR_NOT_ENOUGH_MEMORY, before anything of it is decoded.
int BitmapDefine(BitmapStore* store, Stream* stream);
// The most memory drawing the bitmap holds at once: its decoded pixels (or its stored rows) and,
// for rows only GDI reads, the bitmap GDI decodes them into, the 24-bit picture drawn from that and
// the 1-bit mask filled from the picture. A few bytes of run-length data can claim gigabytes; this
// is what such a claim costs.
uint64_t BitmapDecodeBytes(const BitmapEntry* entry);
// The entry with its reference count raised, or null. A redefined id shadows the older entry.
BitmapEntry* BitmapLookup(BitmapStore* store, ResourceId id);
// Copies under a generated id, without any of the three forms and with no reference.
BitmapEntry* BitmapClone(BitmapStore* store, BitmapEntry* entry);
// A 1-bit copy that is 1 where the pixel is not the key; null for a compressed bitmap.
BitmapEntry* BitmapCloneMask(BitmapStore* store, BitmapEntry* entry, uint32_t key);
// A 1-bit copy that is 1 where the pixel's colour is white and 0 elsewhere: the picture GDI makes
// of a colour bitmap copied into one bit against a white background colour. Run-length and
// bit-field rows are decoded by GDI first; null for passed-through pixels, which only the device
// reads. Its pixels have a black-then-white palette.
BitmapEntry* BitmapCloneWhiteMask(BitmapStore* store, BitmapEntry* entry);
int BitmapInvertRequest(BitmapStore* store, BitmapEntry* entry);
int BitmapPaletteIsPositive(const BitmapEntry* entry);
int BitmapEqual(const BitmapEntry* a, const BitmapEntry* b);
void BitmapRelease(BitmapStore* store, BitmapEntry* entry, int remove, ResourceCost* tally);
void BitmapStoreDeviceSizeSet(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally, SIZE size);

// The three forms, each with its estimate.
void BitmapPixelsEstimate(BitmapStore* store, BitmapEntry* entry, ResourceCost* cost);
int BitmapPixelsLoad(BitmapStore* store, BitmapEntry* entry, ResourceCost* tally);
// What loading the pixels at another device size would cost, without changing the entry.
void BitmapPixelsEstimateAt(BitmapStore* store, BitmapEntry* entry, SIZE size, ResourceCost* cost);
void BitmapRealizeEstimate(BitmapStore* store, BitmapEntry* entry, BandSurface* surface, ResourceCost* cost);
int BitmapRealize(BitmapStore* store, BitmapEntry* entry, BandSurface* surface, ResourceCost* tally);
void BitmapUnrealize(BitmapStore* store, BitmapEntry* entry, BandSurface* surface, ResourceCost* tally);
// The converted copy for an output format (ResourcePrepareWith's estimate and realise; the
// argument is a BitmapColorRequest). Palette pixels keep their indices under a palette of output
// colour values; other pixels (24 and 32 bits) are converted whole. The estimate answers 1 when the
// copy is already there.
struct BitmapColorRequest {
    const ImxImageFormat* format;
    uint8_t* flag;  // the colour hint byte, in and out
};
int BitmapColorEstimate(void* store, void* entry, void* request, BandSurface* surface, ResourceCost* cost);
int BitmapColorLoad(void* store, void* entry, void* request, BandSurface* surface, ResourceCost* tally);
// Bits a pixel of the converted copy has for the format.
uint32_t ConvertedBits(const BitmapEntry* entry, const ImxImageFormat* format);
inline const uint8_t* BitmapConvertedPalette(const BitmapEntry* entry)
{
    return entry->header.biClrUsed != 0 ? entry->converted + sizeof(BitmapConvertedHead) : nullptr;
}
inline uint8_t* BitmapConvertedRows(const BitmapEntry* entry)
{
    return entry->converted + sizeof(BitmapConvertedHead) + 4 * entry->header.biClrUsed;
}
// Applies an inversion asked for with BitmapInvertRequest to the loaded pixels, once. 1, or 0
// when the pixels cannot be inverted in place (not loaded, or not 1 or 24 bits).
int BitmapPixelsInvertPending(BitmapEntry* entry);
// Redraws freshly decoded pixels at the device size. 1 or 0.
int BitmapScaleToDevice(BitmapEntry* entry);
