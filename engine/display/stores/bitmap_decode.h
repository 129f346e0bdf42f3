// Turning a bitmap's parked data into pixel rows: reading across continuation records, the raw,
// 24-bit run-length and LZW decoders, the chunked row loop with its converters (palette and
// 16-bit widening, 1-bit masks), the loader, and the colour-class tests.
#pragma once

#include <cstddef>
#include <cstdint>

struct BitmapEntry;
struct BitmapStore;
struct StreamSpill;
struct OutputModuleContext;

// One decoding run over a bitmap's pixel data. Positions count data bytes (continuation heads
// left out), from the start of the first record's data.
struct BitmapDataCursor {
    StreamSpill* spill;
    const BitmapEntry* entry;
    uint32_t position;
    uint32_t end;  // position + pixelLength at the start
    uint8_t* work;  // the store's shared work area
    uint32_t workSize;
    uint8_t fresh;  // no decode call made yet: decoders start their state anew
    // The record the position was last found in, so that reading on does not walk from the start.
    uint32_t segmentSpill;  // spill offset of the record's first data byte
    uint32_t segmentBase;  // data position of that byte
    uint32_t segmentLength;
    uint8_t segmentContinued;
};

// Starts a run at the pixel data (behind the record's palette).
void BitmapDataCursorInit(BitmapDataCursor* cursor, StreamSpill* spill, const BitmapEntry* entry, uint8_t* work,
                          uint32_t workSize);
// Copies up to count data bytes from position; *got (when given) receives how many. 0 on a spill
// error or a continuation head of another type.
int BitmapDataRead(StreamSpill* spill, const BitmapEntry* entry, uint32_t position, void* buffer, uint32_t count,
                   uint32_t* got);
// The LZW decoder's reader: min(count, what is left) bytes at the cursor, 0 at the end or on error.
uint32_t BitmapBytesRead(void* buffer, uint32_t count, void* cursor);
// Produces count bytes of rows by the entry's compression. 1 or 0.
int BitmapDataDecode(BitmapDataCursor* cursor, uint8_t* buffer, uint32_t count, int oneShot);

// ---- LZW ----
inline constexpr uint32_t LZW_EARLY_CHANGE = 1;
inline constexpr uint32_t LZW_CONTINUE = 2;
inline constexpr uint32_t LZW_ONE_SHOT = 8;
inline constexpr int32_t LZW_OUTPUT_FULL = -5;
inline constexpr int32_t LZW_BAD_CODE = -4;
inline constexpr int32_t LZW_STATE_SMALL = -3;
inline constexpr int32_t LZW_END_CODE = -2;
typedef uint32_t (*LzwReadFn)(void* buffer, uint32_t count, void* argument);
// Bytes of state the decoder needs.
size_t LzwStateSize();
// The number of bytes this call produced when the input ran out, or one of the codes above; 0 also
// when the end code follows a clear directly. *produced (when given) receives the bytes written.
int32_t LzwDecode(LzwReadFn read, void* argument, uint8_t* output, uint32_t outputSize, void* state, uint32_t stateSize,
                  uint32_t flags, uint32_t* produced = nullptr);

// ---- Rows ----
// Gets count rows of width pixels, each followed by padding bytes; 0 stops the loop.
typedef int (*BitmapRowConverter)(const uint8_t* rows, int32_t width, uint32_t count, uint32_t padding, void* state);
int BitmapRowsProcess(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize,
                      BitmapRowConverter converter, void* state);
// The loader: palette behind the 40 header bytes, rows behind the palette.
int BitmapPixelsFill(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize,
                     OutputModuleContext* device, uint8_t* palette, uint8_t* rows);
int BitmapRowsToMask(const BitmapEntry* entry, StreamSpill* spill, uint8_t* work, uint32_t workSize,
                     const uint8_t* palette, uint8_t* rows);
// Whether the bitmap's rows are GDI's to read (RLE4, RLE8, bit fields).
bool BitmapMaskThroughGdi(const BitmapEntry* entry);
// 1 when GDI reads such a bitmap's rows whole; 0 for damaged data (the last error set).
int BitmapGdiRowsReadable(const BitmapEntry* entry, StreamSpill* spill);
// Such a bitmap's white mask (1 where the pixel GDI draws is white), rows in the record's order. 1 or 0
// (damaged data, memory).
int BitmapRowsToWhiteMaskThroughGdi(const BitmapEntry* entry, StreamSpill* spill, uint8_t* rows);

// ---- Colour classes (0x10 black-and-white, 0x20 grey, 0x40 colour) ----
uint32_t BitmapPaletteClass(uint32_t entries, const uint8_t* palette);
// The class with BITMAP_CLASS_SETTLED.
uint32_t BitmapClassDetect(BitmapStore* store, BitmapEntry* entry, const uint8_t* palette);
// 1 when the bitmap holds only pure black and white (and it is then marked 0x10).
int BitmapMonoDetect(BitmapStore* store, BitmapEntry* entry);
