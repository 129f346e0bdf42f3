// An ICC version 2 profile in memory: its header and tag table in host order, its tag data byte
// for byte as stored (big-endian) at the same offsets as in the file. Opened from a memory block
// or a file with its size known, assembled tag by tag, and written to a stream.
#pragma once

#include "engine/services/cmm/cmm_stream.h"

// Four ASCII characters read big-endian.
constexpr uint32_t CmmSignature(const char (&text)[5])
{
    return (uint32_t(uint8_t(text[0])) << 24) | (uint32_t(uint8_t(text[1])) << 16) | (uint32_t(uint8_t(text[2])) << 8) |
           uint32_t(uint8_t(text[3]));
}

inline constexpr uint32_t CMM_PROFILE_MAGIC = CmmSignature("acsp");
inline constexpr uint32_t CMM_PROFILE_HEADER_SIZE = 128;
inline constexpr uint32_t CMM_PROFILE_MIN_SIZE = 132;  // header and tag count
inline constexpr uint32_t CMM_TAG_ENTRY_SIZE = 12;
// The most bytes a profile may claim, whatever its source: a damaged size field must not make the
// reader take gigabytes.
inline constexpr uint32_t CMM_PROFILE_MAX_SIZE = uint32_t{64} << 20;

struct CmmProfileHeader {
    uint32_t size;
    uint32_t cmmType;
    uint32_t version;
    uint32_t deviceClass;
    uint32_t colorSpace;
    uint32_t connectionSpace;
    uint16_t date[6];
    uint32_t magic;
    uint32_t platform;
    uint32_t flags;
    uint32_t manufacturer;
    uint32_t model;
    uint32_t attributes[2];
    uint32_t intent;
    uint32_t illuminant[3];  // s15Fixed16 as read
    uint32_t creator;
    uint8_t reserved[40];
    uint32_t tagDataSize;  // the last reserved u32: in memory, size - 12 x tag count - 132; written as 0
};
static_assert(sizeof(CmmProfileHeader) == CMM_PROFILE_HEADER_SIZE);
static_assert(offsetof(CmmProfileHeader, date) == 24);
static_assert(offsetof(CmmProfileHeader, magic) == 36);
static_assert(offsetof(CmmProfileHeader, attributes) == 56);
static_assert(offsetof(CmmProfileHeader, intent) == 64);
static_assert(offsetof(CmmProfileHeader, illuminant) == 68);
static_assert(offsetof(CmmProfileHeader, creator) == 80);
static_assert(offsetof(CmmProfileHeader, tagDataSize) == 124);

// A tag entry in memory order (the file's is signature, offset, size).
struct CmmTagEntry {
    uint32_t signature;
    uint32_t size;
    uint32_t offset;  // from the start of the profile
};
static_assert(sizeof(CmmTagEntry) == CMM_TAG_ENTRY_SIZE);

// Slot 2: the profile interface.
struct CmmProfileInterface {
    void (*readHeader)(CmmGlobals* g, CmmObject* self, CmmProfileHeader* header);
    void (*tagCount)(CmmGlobals* g, CmmObject* self, uint32_t* count);
    void (*readTag)(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, void* data);
    void (*tagInfo)(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t* signature, uint32_t* size,
                    uint32_t* offset);
    const CmmTagEntry* (*findTag)(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, uint32_t* offset);
    void (*writeHeader)(CmmGlobals* g, CmmObject* self, const CmmProfileHeader* header);
    void (*setTag)(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t size, const void* data);
    void (*setTagByIndex)(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t size, const void* data);
};

struct CmmProfile {
    CmmProfileInterface profile;
    alignas(8) uint8_t image[CMM_PROFILE_MIN_SIZE];  // header, count, table, tag data follow
};

inline CmmProfileHeader* CmmProfileHeaderOf(CmmObject* self)
{
    return reinterpret_cast<CmmProfileHeader*>(static_cast<CmmProfile*>(self->body)->image);
}
inline uint32_t* CmmProfileCountOf(CmmObject* self)
{
    return reinterpret_cast<uint32_t*>(static_cast<CmmProfile*>(self->body)->image + CMM_PROFILE_HEADER_SIZE);
}
inline CmmTagEntry* CmmProfileTagsOf(CmmObject* self)
{
    return reinterpret_cast<CmmTagEntry*>(static_cast<CmmProfile*>(self->body)->image + CMM_PROFILE_MIN_SIZE);
}
inline uint8_t* CmmProfileImageOf(CmmObject* self) { return static_cast<CmmProfile*>(self->body)->image; }
// The bytes of the image: header, count, table and tag data (reserved rooms lie beyond it).
inline uint64_t CmmProfileImageSize(CmmObject* self)
{
    return CMM_PROFILE_MIN_SIZE + uint64_t{CMM_TAG_ENTRY_SIZE} * *CmmProfileCountOf(self) +
           CmmProfileHeaderOf(self)->tagDataSize;
}

// Opens a profile (the globals' status is cleared first). Every size, count and tag is checked
// against the bytes the source holds; on failure nothing half-made survives.
void CmmProfileOpen(CmmGlobals* g, CmmObject* handle, const CmmProfileSource* source);
// A new empty profile of size bytes (132 when 0) with signature "acsp" and no tags.
void CmmProfileNew(CmmGlobals* g, CmmObject* handle, uint32_t size);
void CmmProfileWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream);
// Inserts (difference > 0) or drops (< 0) bytes of the image at offset; tag offsets at or behind
// it move along, except keep's (the entry being resized keeps its place).
void CmmProfileResize(CmmGlobals* g, CmmObject* self, uint32_t offset, int64_t difference, uint32_t keep);

// Dispatchers of the profile interface: 7 when the handle has no profile interface, else 0.
uint32_t CmmProfileReadHeader(CmmGlobals* g, CmmObject* self, CmmProfileHeader* header);
uint32_t CmmProfileTagCount(CmmGlobals* g, CmmObject* self, uint32_t* count);
uint32_t CmmProfileReadTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, void* data);
uint32_t CmmProfileTagInfo(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t* signature, uint32_t* size,
                           uint32_t* offset);
uint32_t CmmProfileFindTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, uint32_t* offset,
                           const CmmTagEntry** entry);
uint32_t CmmProfileWriteHeader(CmmGlobals* g, CmmObject* self, const CmmProfileHeader* header);
uint32_t CmmProfileSetTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t size, const void* data);
uint32_t CmmProfileSetTagByIndex(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t size, const void* data);

// Fills the profile interface of a profile object (used by the reader and by new and resize).
void CmmProfileInterfaceFill(CmmObject* self);
