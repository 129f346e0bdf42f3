// The spool stream's record framing: the 8-byte header that heads every record, the record types,
// and the fixed wire layouts of the framing, job, page and form records. Every record is
// little-endian; readers check a record's size before they use any field of it.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "engine/common/byte_order.h"

// ---- Byte order ----
// Copies a little-endian wire record into a struct laid out at the same offsets. Only valid on a
// little-endian host, which this build is; the assertion keeps a port from reading garbage.
inline void SpoolLoadLittleEndian(void* record, const void* wire, size_t size)
{
    static_assert(std::endian::native == std::endian::little, "wire records are little-endian");
    std::memcpy(record, wire, size);
}

// ---- Record header ----
struct SpoolRecordHeader {
    uint16_t type;  // SpoolRecordType, with the flags below
    uint16_t version;
    uint32_t size;  // the whole record, this header included
};
static_assert(sizeof(SpoolRecordHeader) == 8);
static_assert(offsetof(SpoolRecordHeader, version) == 2);
static_assert(offsetof(SpoolRecordHeader, size) == 4);

constexpr uint32_t kSpoolRecordHeaderSize = 8;

inline SpoolRecordHeader SpoolRecordHeaderLoad(const uint8_t* p)
{
    return SpoolRecordHeader{LoadLE16(p), LoadLE16(p + 2), LoadLE32(p + 4)};
}
inline void SpoolRecordHeaderStore(uint8_t* p, const SpoolRecordHeader& h)
{
    StoreLE16(p, h.type);
    StoreLE16(p + 2, h.version);
    StoreLE32(p + 4, h.size);
}
// A record header a reader may act on: at least the header itself, and the record ends inside
// the 2 GB a stream can address when it starts at the given position.
inline bool SpoolRecordSizeValid(const SpoolRecordHeader& h, uint32_t position)
{
    return h.size >= kSpoolRecordHeaderSize && static_cast<uint64_t>(position) + h.size <= 0x7fffffffull;
}

constexpr uint16_t SpoolRecFlagOptional = 0x8000;  // a reader that does not know it may skip it
constexpr uint16_t SpoolRecFlagContinued = 0x4000;  // its data goes on in the next record

enum SpoolRecordType : uint16_t {
    SpoolRecJobHeader = 1,
    SpoolRecJobEnd = 2,
    SpoolRecPageBegin = 3,
    SpoolRecPageEnd = 4,
    SpoolRecFormBegin = 5,
    SpoolRecFormEnd = 6,
    SpoolRecFormFile = 7,
    SpoolRecFormPlace = 8,
    SpoolRecCmdFirst = 16,  // drawing command records: command kind + 13
    SpoolRecCmdLast = 25,
    SpoolRecBrush = 32,
    SpoolRecPen = 33,
    SpoolRecClipRects = 34,
    SpoolRecBitmap = 35,
    SpoolRecPath = 36,
    SpoolRecFontDownload = 37,
    SpoolRecFontLog = 38,
    SpoolRecGlyph = 39,
    SpoolRecGlyphEx = 40,
    SpoolRecClipRegion = 41,
    SpoolRecGlyphTable = 42,
    SpoolRecFontData = 43,
    SpoolRecReserved64 = 64,
    SpoolRecReserved65 = 65,
    SpoolRecJobData = 66,
    SpoolRecBitmapMore = 67,
    SpoolRecVersion = 254,
    SpoolRecSignature = 0x7251,
};

// ---- Fixed sizes by version (header included) ----
constexpr uint32_t kSpoolJobHeaderSizeV0 = 168;
constexpr uint32_t kSpoolJobHeaderSizeV1 = 180;
constexpr uint32_t kSpoolJobHeaderSizeV2 = 188;
constexpr uint32_t kSpoolJobEndSizeV0 = 8;
constexpr uint32_t kSpoolJobEndSizeV1 = 12;
constexpr uint32_t kSpoolPageBeginSizeV0 = 88;
constexpr uint32_t kSpoolPageBeginSizeV1 = 104;  // versions 1 and 2
constexpr uint32_t kSpoolPageBeginSizeV3 = 108;
constexpr uint32_t kSpoolPageEndSizeV0 = 28;
constexpr uint32_t kSpoolPageEndSizeV1 = 51;  // at least
constexpr uint32_t kSpoolPageEndSizeV2 = 68;
constexpr uint32_t kSpoolFormBeginSize = 28;
constexpr uint32_t kSpoolFormEndSize = 8;
constexpr uint32_t kSpoolFormFileSize = 268;
constexpr uint32_t kSpoolFormPlaceSize = 28;
constexpr uint32_t kSpoolVersionSize = 16;
constexpr uint32_t kSpoolMaxStreamVersion = 2;
constexpr uint16_t kSpoolSignatureVersion = 0x664D;  // with the type, the bytes read "QrMf"
constexpr uint32_t kSpoolSignatureSize = 8;

// ---- Wire layouts (little-endian; load with SpoolLoadLittleEndian after checking the size) ----

// Type 254: the stream version.
struct SpoolVersionRecord {
    SpoolRecordHeader header;
    uint32_t streamVersion;  // at most 2
    uint32_t one;  // 1
};
static_assert(sizeof(SpoolVersionRecord) == kSpoolVersionSize);
static_assert(offsetof(SpoolVersionRecord, streamVersion) == 8);
static_assert(offsetof(SpoolVersionRecord, one) == 12);

// Type 3, version 3 (108 bytes); earlier versions carry a prefix of it (see the page reader).
struct SpoolPageBegin {
    SpoolRecordHeader header;
    uint32_t pageFlags;
    int32_t width;
    int32_t height;
    int32_t margins[4];  // left, top, right, bottom
    int32_t scale;  // u16 percentage (page flag 0x40) or target width (page flag 0x80)
    int32_t targetHeight;
    uint32_t overlayFormId;
    uint32_t pageFormId;
    uint8_t placement[8];
    uint16_t paperCode;
    uint8_t mix;  // 255: none
    uint8_t cells;  // byte 63
    uint8_t arrangement;  // byte 64
    uint8_t poster;  // byte 65, at most 16 when read
    char paperName[32];
    uint8_t alignment;  // byte 98
    uint8_t pageFlag20;  // byte 99
    uint8_t reserved100[4];
    uint32_t blobSize;
};
static_assert(sizeof(SpoolPageBegin) == kSpoolPageBeginSizeV3);
static_assert(offsetof(SpoolPageBegin, pageFlags) == 8);
static_assert(offsetof(SpoolPageBegin, width) == 12);
static_assert(offsetof(SpoolPageBegin, margins) == 20);
static_assert(offsetof(SpoolPageBegin, scale) == 36);
static_assert(offsetof(SpoolPageBegin, targetHeight) == 40);
static_assert(offsetof(SpoolPageBegin, overlayFormId) == 44);
static_assert(offsetof(SpoolPageBegin, pageFormId) == 48);
static_assert(offsetof(SpoolPageBegin, placement) == 52);
static_assert(offsetof(SpoolPageBegin, paperCode) == 60);
static_assert(offsetof(SpoolPageBegin, mix) == 62);
static_assert(offsetof(SpoolPageBegin, cells) == 63);
static_assert(offsetof(SpoolPageBegin, paperName) == 66);
static_assert(offsetof(SpoolPageBegin, alignment) == 98);
static_assert(offsetof(SpoolPageBegin, pageFlag20) == 99);
static_assert(offsetof(SpoolPageBegin, blobSize) == 104);
constexpr uint32_t kSpoolPageBeginBlobSizeOffsetV0 = 84;
constexpr uint32_t kSpoolPageBeginBlobSizeOffsetV1 = 100;  // versions 1 and 2

// Type 4, version 2 (68 bytes); version 1 is its first 51 bytes (16-character paper name).
struct SpoolPageEnd {
    SpoolRecordHeader header;
    uint32_t sheetWidth;
    uint32_t sheetHeight;
    uint32_t extents[4];
    uint16_t paperCode;
    uint8_t mode;  // 0 none, 1 a blank sheet follows, 2 the same sheet again on the named paper
    char paperName[32];
    uint8_t reserved67;
};
static_assert(sizeof(SpoolPageEnd) == kSpoolPageEndSizeV2);
static_assert(offsetof(SpoolPageEnd, extents) == 16);
static_assert(offsetof(SpoolPageEnd, paperCode) == 32);
static_assert(offsetof(SpoolPageEnd, mode) == 34);
static_assert(offsetof(SpoolPageEnd, paperName) == 35);

// Type 4, version 0 (28 bytes).
struct SpoolPageEndV0 {
    SpoolRecordHeader header;
    uint16_t paperCode;
    uint8_t mode;
    char paperName[16];
    uint8_t reserved27;
};
static_assert(sizeof(SpoolPageEndV0) == kSpoolPageEndSizeV0);
static_assert(offsetof(SpoolPageEndV0, mode) == 10);
static_assert(offsetof(SpoolPageEndV0, paperName) == 11);

// Type 5.
struct SpoolFormBegin {
    SpoolRecordHeader header;
    uint32_t formId;
    uint32_t resolutionX;
    uint32_t resolutionY;
    uint32_t width;
    uint32_t height;
};
static_assert(sizeof(SpoolFormBegin) == kSpoolFormBeginSize);
static_assert(offsetof(SpoolFormBegin, resolutionX) == 12);
static_assert(offsetof(SpoolFormBegin, width) == 20);

// Type 7: a form defined in a file.
struct SpoolFormFile {
    SpoolRecordHeader header;
    uint32_t formId;
    char fileName[256];  // zero-terminated, or cut at the field's end
};
static_assert(sizeof(SpoolFormFile) == kSpoolFormFileSize);
static_assert(offsetof(SpoolFormFile, fileName) == 12);

// Type 8: a form placed on the page, directly after the page record.
struct SpoolFormPlace {
    SpoolRecordHeader header;
    uint32_t formId;
    uint32_t placementFlags;
    uint8_t values[8];
    uint8_t mix;  // 255: none
    uint8_t alignment;
    uint8_t reserved26[2];
};
static_assert(sizeof(SpoolFormPlace) == kSpoolFormPlaceSize);
static_assert(offsetof(SpoolFormPlace, placementFlags) == 12);
static_assert(offsetof(SpoolFormPlace, values) == 16);
static_assert(offsetof(SpoolFormPlace, mix) == 24);
static_assert(offsetof(SpoolFormPlace, alignment) == 25);
