// The page record (type 3) of every version read into its version-3 layout, and the page-end
// record (type 4) read into the sheet request that the sheet sequencing acts on.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/spool/spool_records.h"

struct Stream;

// The in-memory page header is the version-3 wire layout.
using PageHeader = SpoolPageBegin;

// Page flags.
inline constexpr uint32_t PAGE_FLAG_EXTENT_EXCHANGED = 0x1;
inline constexpr uint32_t PAGE_FLAG_TWO_SIDED = 0xC;  // bits 2 and 3
inline constexpr uint32_t PAGE_FLAG_20 = 0x20;
inline constexpr uint32_t PAGE_FLAG_SCALE_PERCENT = 0x40;
inline constexpr uint32_t PAGE_FLAG_FIT_TARGET = 0x80;
inline constexpr uint32_t PAGE_FLAG_NEW_SHEET = 0x100;
inline constexpr uint32_t PAGE_FLAG_FORM_OVER = 0x200;  // the page's form above the page
inline constexpr uint32_t PAGE_FLAG_FORM_UNDER = 0x400;  // the page's form beneath the page
inline constexpr uint32_t PAGE_FLAG_OVERLAY_OVER = 0x800;
inline constexpr uint32_t PAGE_FLAG_OVERLAY_UNDER = 0x1000;
inline constexpr uint32_t PAGE_FLAG_NO_CENTRE = 0x2000;
inline constexpr uint32_t PAGE_FLAG_4000 = 0x4000;
inline constexpr uint32_t PAGE_FLAG_ALIGN_RULE = 0x8000;
inline constexpr uint32_t PAGE_FLAG_CENTRE_PRINTABLE = 0x30000;

inline constexpr uint8_t PAGE_POSTER_MAX = 16;

// What a page-end record asks of the sheet sequencing: bytes 8 to 67 of its version-2 layout.
struct SheetInsertRequest {
    uint32_t sheetSize[2];
    int32_t margins[4];
    uint16_t paperCode;
    uint8_t mode;  // SHEET_INSERT_*
    char paperName[32];
    uint8_t reserved;
};
static_assert(sizeof(SheetInsertRequest) == 60);
static_assert(offsetof(SheetInsertRequest, margins) == 8);
static_assert(offsetof(SheetInsertRequest, paperCode) == 24);
static_assert(offsetof(SheetInsertRequest, mode) == 26);
static_assert(offsetof(SheetInsertRequest, paperName) == 27);

inline constexpr uint8_t SHEET_INSERT_NONE = 0;
inline constexpr uint8_t SHEET_INSERT_BLANK = 1;  // a blank sheet follows
inline constexpr uint8_t SHEET_INSERT_REPEAT = 2;  // the same sheet again on the named paper

// Reads (or with peek, only looks at) the page record at the stream into the version-3 layout.
// Fails for another record type, a version above 3, or a record shorter than its version's fixed
// part or than its blob. Reading leaves the stream at the blob, which lies inside the record.
bool PageHeaderParse(Stream* stream, bool peek, PageHeader* header);
inline bool PageHeaderPeek(Stream* stream, PageHeader* header) { return PageHeaderParse(stream, true, header); }
inline bool PageHeaderRead(Stream* stream, PageHeader* header) { return PageHeaderParse(stream, false, header); }
// The fixed size of a page record of the version (0 for an unknown version).
uint32_t PageHeaderFixedSize(uint16_t version);

// Reads the page-end record at the stream and fills the request; version 0 takes the sheet size
// and margins from the page header. The stream ends after the whole record.
bool PageParamsRead(Stream* stream, const PageHeader* page, SheetInsertRequest* request);
