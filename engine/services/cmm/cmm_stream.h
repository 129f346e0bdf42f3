// Streams of the colour management core, over a memory block or over a buffered file, and the
// element readers and writers that move counted runs of typed elements between a stream and
// memory, converting between ICC's big-endian order and the host's on the way.
#pragma once

#include <cstdio>

#include "engine/services/cmm/cmm_object.h"

// Element codes: the type of one element in a run.
typedef uint32_t CmmElementCode;
inline constexpr CmmElementCode CMM_ELEMENT_U8 = 32;
inline constexpr CmmElementCode CMM_ELEMENT_TEXT = 96;
inline constexpr CmmElementCode CMM_ELEMENT_U16 = 128;
inline constexpr CmmElementCode CMM_ELEMENT_S16 = 160;
inline constexpr CmmElementCode CMM_ELEMENT_S32 = 192;
inline constexpr CmmElementCode CMM_ELEMENT_U32_BITS = 224;
inline constexpr CmmElementCode CMM_ELEMENT_U32 = 256;
inline constexpr CmmElementCode CMM_ELEMENT_FIXED = 288;
inline constexpr CmmElementCode CMM_ELEMENT_FLOAT = 352;
inline constexpr CmmElementCode CMM_ELEMENT_DOUBLE = 384;

uint32_t CmmElementSize(CmmElementCode code);
// Reverses the bytes of each element of a 2-, 4- or 8-byte code; other codes are copied as
// they are. The same routine serves both directions.
void CmmElementsSwap(const void* source, void* destination, CmmElementCode code, uint32_t count);

// Where a profile comes from: a block in memory or a file. size is the number of bytes the block
// (or file) holds; a profile claiming more is refused. Memory callers that cannot know it pass
// UINT64_MAX.
struct CmmProfileSource {
    const uint8_t* data;
    const char* fileName;
    uint32_t inMemory;  // 1: read the block; 0: open the file
    uint32_t reserved;
    uint64_t size;
};
static_assert(offsetof(CmmProfileSource, data) == 0);
static_assert(offsetof(CmmProfileSource, fileName) == 8);
static_assert(offsetof(CmmProfileSource, inMemory) == 16);

// Stream access kinds of file streams.
inline constexpr uint32_t CMM_ACCESS_READ = 0;
inline constexpr uint32_t CMM_ACCESS_WRITE = 1;
inline constexpr uint32_t CMM_ACCESS_READ_WRITE = 2;
inline constexpr uint32_t CMM_ACCESS_APPEND = 3;
inline constexpr uint32_t CMM_ACCESS_APPEND_READ = 4;

// Slot 3: the stream interface.
struct CmmStreamInterface {
    uint32_t origin;  // the offset that counts as position 0 for relative tell and seek
    void (*open)(CmmGlobals* g, CmmObject* self);
    uint32_t (*read)(CmmGlobals* g, CmmObject* self, void* destination, uint32_t n);  // bytes read
    void (*write)(CmmGlobals* g, CmmObject* self, const void* source, uint32_t n);
    bool (*atEnd)(CmmGlobals* g, CmmObject* self);
    uint8_t* (*seek)(CmmGlobals* g, CmmObject* self, int64_t offset, uint32_t origin);  // memory: the new pointer
    uint64_t (*tell)(CmmGlobals* g, CmmObject* self);
    void (*close)(CmmGlobals* g, CmmObject* self);
};

struct CmmStream {
    CmmLifecycle lifecycle;
    CmmStreamInterface stream;
    std::FILE* file;
    uint32_t* bytesDone;  // when set, a file read or write stores its count here instead of failing
    const CmmProfileSource* source;
    uint32_t access;
    uint32_t text;
    uint32_t position;
    uint32_t flag;  // given at creation; no operation reads it
    uint8_t* base;
    uint8_t* current;
    uint32_t size;
    uint32_t ownsBytes;
    uint8_t bytes[8];  // a memory stream made without a block: its bytes (size of them)
};

inline CmmStream* CmmStreamOf(CmmObject* handle) { return static_cast<CmmStream*>(handle->body); }

// Memory streams: over block, or over bytes of their own when block is null.
void CmmMemoryStreamCreate(CmmGlobals* g, CmmObject* handle, uint32_t size, uint8_t* block, uint32_t origin,
                           uint32_t flag);
uint8_t* CmmMemoryStreamBase(CmmObject* handle);
uint32_t CmmMemoryStreamSize(CmmObject* handle);

// File streams: opened at once over the source's file name.
void CmmFileStreamCreate(CmmGlobals* g, CmmObject* handle, const CmmProfileSource* source, uint32_t access, bool text,
                         uint32_t origin, uint32_t flag);
// A file source made from a path (one block holding the descriptor and the path); CmmFree frees it.
CmmProfileSource* CmmFileSourceCreate(CmmGlobals* g, const char* path);

// Dispatchers of the stream interface (nothing, or 0, when the object has none).
uint32_t CmmStreamRead(CmmGlobals* g, CmmObject* stream, void* destination, uint32_t n);
void CmmStreamWrite(CmmGlobals* g, CmmObject* stream, const void* source, uint32_t n);
bool CmmStreamAtEnd(CmmGlobals* g, CmmObject* stream);
uint8_t* CmmStreamSeek(CmmGlobals* g, CmmObject* stream, int64_t offset, uint32_t origin);
uint64_t CmmStreamTell(CmmGlobals* g, CmmObject* stream);
// Origin services.
uint32_t CmmStreamSetOrigin(CmmObject* stream, uint32_t origin);  // returns the old origin
uint64_t CmmStreamTellRelative(CmmGlobals* g, CmmObject* stream);
uint8_t* CmmStreamSeekRelative(CmmGlobals* g, CmmObject* stream, int64_t offset, uint32_t origin);

// Element transfers through the globals' conversion buffer. The reader returns the number of
// whole elements read (a short read of the stream's last bytes is not raised; the caller that
// needs them all compares the count); a count below 1 reads nothing.
uint32_t CmmStreamReadElements(CmmGlobals* g, CmmObject* stream, void* destination, CmmElementCode code, int64_t count);
// Code 96 writes the NUL-terminated text at source with its NUL, whatever the count.
void CmmStreamWriteElements(CmmGlobals* g, CmmObject* stream, const void* source, CmmElementCode code, int64_t count);
