// Memory streams: reads stop at the block's end (only an empty read fails), writes are whole or
// not at all, seeks stay inside the block.
#include <algorithm>

#include "engine/services/cmm/cmm_stream.h"

namespace {

uint32_t MemoryRead(CmmGlobals* g, CmmObject* self, void* destination, uint32_t n)
{
    CmmStream* s = CmmStreamOf(self);
    const uint32_t left = s->size - s->position;
    if (n > left) n = left;
    if (n == 0) {
        CmmRaise(g, CMM_STATUS_NO_DATA);
        return 0;
    }
    CmmCopyBytes(destination, s->current, n);
    s->current += n;
    s->position += n;
    return n;
}

void MemoryWrite(CmmGlobals* g, CmmObject* self, const void* source, uint32_t n)
{
    CmmStream* s = CmmStreamOf(self);
    if (uint64_t{s->position} + n > s->size) {
        CmmRaise(g, CMM_STATUS_NO_ROOM);
        return;
    }
    CmmCopyBytes(s->current, source, n);
    s->current += n;
    s->position += n;
}

bool MemoryAtEnd(CmmGlobals*, CmmObject* self) { return CmmStreamOf(self)->position == CmmStreamOf(self)->size; }

// A target outside the block is held at its nearer end, so the current pointer never leaves it.
uint8_t* MemorySeek(CmmGlobals*, CmmObject* self, int64_t offset, uint32_t origin)
{
    CmmStream* s = CmmStreamOf(self);
    int64_t target = offset;
    if (origin == 1) target = int64_t{s->position} + offset;
    if (origin == 2) target = int64_t{s->size} - offset;
    s->position = static_cast<uint32_t>(std::clamp<int64_t>(target, 0, s->size));
    s->current = s->base + s->position;
    return s->current;
}

uint64_t MemoryTell(CmmGlobals*, CmmObject* self) { return CmmStreamOf(self)->position; }

// Own bytes move with the block when the object is copied.
void MemoryReattach(CmmGlobals*, CmmObject* self)
{
    CmmStream* s = CmmStreamOf(self);
    s->base = s->bytes;
    s->current = s->base + s->position;
}

}  // namespace

void CmmMemoryStreamCreate(CmmGlobals* g, CmmObject* handle, uint32_t size, uint8_t* block, uint32_t origin,
                           uint32_t flag)
{
    CmmObjectInit(handle, CMM_TYPE_STREAM);
    if (CmmFailed(g)) return;
    const uint64_t bodySize = sizeof(CmmStream) + (block == nullptr ? uint64_t{size} : 0);
    if (bodySize > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
        return;
    }
    handle->bodySize = static_cast<uint32_t>(bodySize);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmStream* s = CmmStreamOf(handle);
    CmmObjectSetSlot(handle, CMM_SLOT_STREAM, &s->stream);
    s->stream.origin = origin;
    s->stream.read = MemoryRead;
    s->stream.write = MemoryWrite;
    s->stream.atEnd = MemoryAtEnd;
    s->stream.seek = MemorySeek;
    s->stream.tell = MemoryTell;
    s->access = CMM_ACCESS_READ_WRITE;
    s->flag = flag;
    s->size = size;
    s->ownsBytes = block == nullptr ? 1 : 0;
    s->base = block != nullptr ? block : s->bytes;
    s->current = s->base;
    if (block == nullptr) {
        CmmObjectSetSlot(handle, CMM_SLOT_LIFECYCLE, &s->lifecycle);
        s->lifecycle.reattach = MemoryReattach;
    }
}

uint8_t* CmmMemoryStreamBase(CmmObject* handle)
{
    return handle->body != nullptr ? CmmStreamOf(handle)->base : nullptr;
}
uint32_t CmmMemoryStreamSize(CmmObject* handle) { return handle->body != nullptr ? CmmStreamOf(handle)->size : 0; }

namespace {
CmmStreamInterface* InterfaceOf(CmmObject* stream)
{
    return CmmObjectSlot<CmmStreamInterface>(stream, CMM_SLOT_STREAM);
}
}  // namespace

uint32_t CmmStreamRead(CmmGlobals* g, CmmObject* stream, void* destination, uint32_t n)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    return s != nullptr && s->read != nullptr ? s->read(g, stream, destination, n) : 0;
}

void CmmStreamWrite(CmmGlobals* g, CmmObject* stream, const void* source, uint32_t n)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    if (s != nullptr && s->write != nullptr) s->write(g, stream, source, n);
}

bool CmmStreamAtEnd(CmmGlobals* g, CmmObject* stream)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    return s != nullptr && s->atEnd != nullptr && s->atEnd(g, stream);
}

uint8_t* CmmStreamSeek(CmmGlobals* g, CmmObject* stream, int64_t offset, uint32_t origin)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    return s != nullptr && s->seek != nullptr ? s->seek(g, stream, offset, origin) : nullptr;
}

uint64_t CmmStreamTell(CmmGlobals* g, CmmObject* stream)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    return s != nullptr && s->tell != nullptr ? s->tell(g, stream) : 0;
}

uint32_t CmmStreamSetOrigin(CmmObject* stream, uint32_t origin)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    if (s == nullptr) return 0;
    const uint32_t old = s->origin;
    s->origin = origin;
    return old;
}

uint64_t CmmStreamTellRelative(CmmGlobals* g, CmmObject* stream)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    return s != nullptr ? CmmStreamTell(g, stream) - s->origin : 0;
}

uint8_t* CmmStreamSeekRelative(CmmGlobals* g, CmmObject* stream, int64_t offset, uint32_t origin)
{
    CmmStreamInterface* s = InterfaceOf(stream);
    if (s == nullptr) return nullptr;
    return CmmStreamSeek(g, stream, origin == 0 ? offset + s->origin : offset, origin);
}
