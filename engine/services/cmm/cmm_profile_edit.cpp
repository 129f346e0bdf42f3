// The profile interface: reading the header and tags, and assembling a profile tag by tag; new
// empty profiles; writing a profile out.
#include <algorithm>

#include "engine/services/cmm/cmm_profile.h"

namespace {

uint32_t Room(uint32_t size) { return (size + 3u) & ~3u; }
uint64_t ImageBytes(const CmmObject* self) { return self->bodySize - offsetof(CmmProfile, image); }

CmmTagEntry* Find(CmmObject* self, uint32_t signature)
{
    CmmTagEntry* tags = CmmProfileTagsOf(self);
    for (uint32_t i = 0; i < *CmmProfileCountOf(self); ++i)
        if (tags[i].signature == signature) return &tags[i];
    return nullptr;
}

void OpReadHeader(CmmGlobals*, CmmObject* self, CmmProfileHeader* header) { *header = *CmmProfileHeaderOf(self); }

void OpTagCount(CmmGlobals*, CmmObject* self, uint32_t* count) { *count = *CmmProfileCountOf(self); }

// A reserved room (set without data) lies beyond the image until the profile is written: its
// bytes read as zeros.
void OpReadTag(CmmGlobals*, CmmObject* self, uint32_t signature, uint32_t* size, void* data)
{
    const CmmTagEntry* entry = Find(self, signature);
    if (size != nullptr) *size = entry != nullptr ? entry->size : 0;
    if (entry == nullptr || data == nullptr) return;
    const uint64_t image = ImageBytes(self);
    const uint64_t inside = entry->offset >= image ? 0 : std::min<uint64_t>(entry->size, image - entry->offset);
    CmmCopyBytes(data, CmmProfileImageOf(self) + entry->offset, inside);
    CmmFillBytes(static_cast<uint8_t*>(data) + inside, 0, entry->size - inside);
}

void OpTagInfo(CmmGlobals*, CmmObject* self, uint32_t index, uint32_t* signature, uint32_t* size, uint32_t* offset)
{
    if (index >= *CmmProfileCountOf(self)) return;
    const CmmTagEntry& entry = CmmProfileTagsOf(self)[index];
    if (signature != nullptr) *signature = entry.signature;
    if (size != nullptr) *size = entry.size;
    if (offset != nullptr) *offset = entry.offset;
}

const CmmTagEntry* OpFindTag(CmmGlobals*, CmmObject* self, uint32_t signature, uint32_t* size, uint32_t* offset)
{
    const CmmTagEntry* entry = Find(self, signature);
    if (size != nullptr) *size = entry != nullptr ? entry->size : 0;
    if (offset != nullptr && entry != nullptr) *offset = entry->offset;
    return entry;
}

void OpWriteHeader(CmmGlobals*, CmmObject* self, const CmmProfileHeader* header)
{
    // The size and the tag data size describe this image and stay its own.
    CmmProfileHeader* own = CmmProfileHeaderOf(self);
    const uint32_t size = own->size;
    const uint32_t tagDataSize = own->tagDataSize;
    *own = *header;
    own->size = size;
    own->tagDataSize = tagDataSize;
}

void SetEntry(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t size, const void* data)
{
    CmmTagEntry entry = CmmProfileTagsOf(self)[index];
    const uint64_t image = ImageBytes(self);
    const uint32_t oldRoom = Room(entry.size);
    const uint32_t newRoom = Room(size);
    bool shared = false;
    for (uint32_t i = 0; i < *CmmProfileCountOf(self); ++i)
        shared |= i != index && CmmProfileTagsOf(self)[i].offset == entry.offset && entry.size != 0;
    if (uint64_t{entry.offset} + oldRoom > image) {
        // A reserved room is only filled when the profile is written out.
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    if (shared) {
        // Data that other tags share stays theirs: this tag gets room of its own at the end.
        const auto end = static_cast<uint32_t>(image);
        CmmProfileResize(g, self, end, newRoom, index);
        if (CmmFailed(g)) return;
        CmmProfileHeaderOf(self)->tagDataSize += newRoom;
        entry.offset = end;
    } else if (newRoom != oldRoom) {
        // Grown at the end of the old room, shrunk at the end of the new one: the tag keeps its
        // offset and the tags behind it move.
        const int64_t difference = int64_t{newRoom} - int64_t{oldRoom};
        CmmProfileResize(g, self, entry.offset + std::min(oldRoom, newRoom), difference, index);
        if (CmmFailed(g)) return;
        CmmProfileHeaderOf(self)->tagDataSize += static_cast<uint32_t>(difference);
    }
    uint8_t* at = CmmProfileImageOf(self) + entry.offset;
    if (data != nullptr) CmmCopyBytes(at, data, size);
    CmmFillBytes(at + size, 0, newRoom - size);
    CmmTagEntry& stored = CmmProfileTagsOf(self)[index];
    stored.offset = entry.offset;
    stored.size = size;
}

void OpSetTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t size, const void* data)
{
    if (CmmFailed(g)) return;
    if (const CmmTagEntry* entry = Find(self, signature)) {
        SetEntry(g, self, static_cast<uint32_t>(entry - CmmProfileTagsOf(self)), size, data);
        return;
    }
    const uint32_t count = *CmmProfileCountOf(self);
    const uint32_t tableEnd = CMM_PROFILE_MIN_SIZE + CMM_TAG_ENTRY_SIZE * count;
    const uint32_t room = Room(size);
    CmmProfileResize(g, self, tableEnd, CMM_TAG_ENTRY_SIZE + (data != nullptr ? room : 0), UINT32_MAX);
    if (CmmFailed(g)) return;
    *CmmProfileCountOf(self) = count + 1;
    CmmTagEntry& entry = CmmProfileTagsOf(self)[count];
    entry.signature = signature;
    entry.size = size;
    CmmProfileHeader* header = CmmProfileHeaderOf(self);
    if (data != nullptr) {
        entry.offset = tableEnd + CMM_TAG_ENTRY_SIZE;
        uint8_t* at = CmmProfileImageOf(self) + entry.offset;
        CmmCopyBytes(at, data, size);
        CmmFillBytes(at + size, 0, room - size);
        header->tagDataSize += room;
    } else {
        // The room lies behind everything else (behind the grown table too) and is filled when
        // the profile is written out.
        entry.offset = header->size;
        header->size += room;
    }
}

void OpSetTagByIndex(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t size, const void* data)
{
    if (CmmFailed(g) || index >= *CmmProfileCountOf(self)) return;
    SetEntry(g, self, index, size, data);
}

CmmProfileInterface* InterfaceOf(CmmObject* self) { return CmmObjectSlot<CmmProfileInterface>(self, CMM_SLOT_PROFILE); }

}  // namespace

void CmmProfileInterfaceFill(CmmObject* self)
{
    auto* profile = static_cast<CmmProfile*>(self->body);
    profile->profile = CmmProfileInterface{OpReadHeader, OpTagCount,    OpReadTag, OpTagInfo,
                                           OpFindTag,    OpWriteHeader, OpSetTag,  OpSetTagByIndex};
    CmmObjectSetSlot(self, CMM_SLOT_PROFILE, &profile->profile);
}

void CmmProfileNew(CmmGlobals* g, CmmObject* handle, uint32_t size)
{
    CmmObjectInit(handle, CMM_TYPE_PROFILE);
    if (CmmFailed(g)) return;
    if (size == 0) size = CMM_PROFILE_MIN_SIZE;
    if (size < CMM_PROFILE_MIN_SIZE) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    handle->bodySize = static_cast<uint32_t>(offsetof(CmmProfile, image) + size);
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmProfileInterfaceFill(handle);
    CmmProfileHeader* header = CmmProfileHeaderOf(handle);
    header->size = size;
    header->magic = CMM_PROFILE_MAGIC;
    header->tagDataSize = size - CMM_PROFILE_MIN_SIZE;
}

void CmmProfileResize(CmmGlobals* g, CmmObject* self, uint32_t offset, int64_t difference, uint32_t keep)
{
    if (CmmFailed(g) || difference == 0) return;
    const uint64_t image = ImageBytes(self);
    const int64_t newImage = static_cast<int64_t>(image) + difference;
    const uint64_t newSize = uint64_t{CmmProfileHeaderOf(self)->size} + difference;
    if (offset > image || newImage < CMM_PROFILE_MIN_SIZE ||
        (difference < 0 && offset + static_cast<uint64_t>(-difference) > image) || newSize > UINT32_MAX ||
        offsetof(CmmProfile, image) + static_cast<uint64_t>(newImage) > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_FAILED);
        return;
    }
    CmmObject grown{};
    CmmObjectInit(&grown, CMM_TYPE_PROFILE);
    grown.bodySize = static_cast<uint32_t>(offsetof(CmmProfile, image) + newImage);
    CmmObjectAllocate(g, &grown);
    if (grown.block == nullptr) return;
    const uint8_t* from = CmmProfileImageOf(self);
    uint8_t* to = CmmProfileImageOf(&grown);
    CmmCopyBytes(to, from, offset);
    if (difference > 0) CmmCopyBytes(to + offset + difference, from + offset, image - offset);
    else CmmCopyBytes(to + offset, from + offset - difference, image - offset + difference);
    CmmProfileInterfaceFill(&grown);
    CmmProfileHeaderOf(&grown)->size = static_cast<uint32_t>(newSize);
    CmmTagEntry* tags = CmmProfileTagsOf(&grown);
    const uint32_t count = *CmmProfileCountOf(&grown);
    for (uint32_t i = 0; i < count && CMM_PROFILE_MIN_SIZE + uint64_t{CMM_TAG_ENTRY_SIZE} * (i + 1) <= offset; ++i)
        if (i != keep && tags[i].offset >= offset) tags[i].offset = static_cast<uint32_t>(tags[i].offset + difference);
    CmmObjectRelease(g, self);
    *self = grown;
}

void CmmProfileWrite(CmmGlobals* g, CmmObject* self, CmmObject* stream)
{
    if (CmmFailed(g)) return;
    CmmProfileHeader header = *CmmProfileHeaderOf(self);
    header.tagDataSize = 0;  // reserved bytes are zero in a profile file
    const uint32_t count = *CmmProfileCountOf(self);
    CmmStreamWriteElements(g, stream, &header.size, CMM_ELEMENT_U32, 6);
    CmmStreamWriteElements(g, stream, header.date, CMM_ELEMENT_U16, 6);
    CmmStreamWriteElements(g, stream, &header.magic, CMM_ELEMENT_U32, 12);
    CmmStreamWriteElements(g, stream, header.reserved, CMM_ELEMENT_U8, 44);
    CmmStreamWriteElements(g, stream, &count, CMM_ELEMENT_U32, 1);
    const CmmTagEntry* tags = CmmProfileTagsOf(self);
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entry[3] = {tags[i].signature, tags[i].offset, tags[i].size};
        CmmStreamWriteElements(g, stream, entry, CMM_ELEMENT_U32, 3);
    }
    CmmStreamWriteElements(g, stream, CmmProfileImageOf(self) + CMM_PROFILE_MIN_SIZE + CMM_TAG_ENTRY_SIZE * count,
                           CMM_ELEMENT_U8, CmmProfileHeaderOf(self)->tagDataSize);
}

uint32_t CmmProfileReadHeader(CmmGlobals* g, CmmObject* self, CmmProfileHeader* header)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->readHeader(g, self, header);
    return 0;
}

uint32_t CmmProfileTagCount(CmmGlobals* g, CmmObject* self, uint32_t* count)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->tagCount(g, self, count);
    return 0;
}

uint32_t CmmProfileReadTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, void* data)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->readTag(g, self, signature, size, data);
    return 0;
}

uint32_t CmmProfileTagInfo(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t* signature, uint32_t* size,
                           uint32_t* offset)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->tagInfo(g, self, index, signature, size, offset);
    return 0;
}

uint32_t CmmProfileFindTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t* size, uint32_t* offset,
                           const CmmTagEntry** entry)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    const CmmTagEntry* found = p->findTag(g, self, signature, size, offset);
    if (entry != nullptr) *entry = found;
    return 0;
}

uint32_t CmmProfileWriteHeader(CmmGlobals* g, CmmObject* self, const CmmProfileHeader* header)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->writeHeader(g, self, header);
    return 0;
}

uint32_t CmmProfileSetTag(CmmGlobals* g, CmmObject* self, uint32_t signature, uint32_t size, const void* data)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->setTag(g, self, signature, size, data);
    return 0;
}

uint32_t CmmProfileSetTagByIndex(CmmGlobals* g, CmmObject* self, uint32_t index, uint32_t size, const void* data)
{
    CmmProfileInterface* p = InterfaceOf(self);
    if (p == nullptr) return 7;
    p->setTagByIndex(g, self, index, size, data);
    return 0;
}
