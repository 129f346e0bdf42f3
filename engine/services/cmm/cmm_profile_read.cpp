// Opening a profile. The reader knows how many bytes its source holds: a profile size beyond
// them (or beyond CMM_PROFILE_MAX_SIZE), a tag table that does not fit the profile, or a tag whose data lies outside the tag data
// fails the open, so no later read of a tag can leave the profile's image.
#include "engine/services/cmm/cmm_profile.h"

namespace {

struct StreamGuard {
    CmmGlobals* g;
    CmmObject stream{};
    ~StreamGuard() { CmmObjectRelease(g, &stream); }
};

// Reads count elements in full; anything less is a short read of a damaged profile.
bool ReadAll(CmmGlobals* g, CmmObject* stream, void* destination, CmmElementCode code, uint32_t count)
{
    if (CmmFailed(g)) return false;
    if (CmmStreamReadElements(g, stream, destination, code, count) != count) {
        if (!CmmFailed(g)) CmmRaise(g, CMM_STATUS_NO_DATA);
        return false;
    }
    return !CmmFailed(g);
}

uint64_t FileLength(CmmObject* stream)
{
    std::FILE* file = CmmStreamOf(stream)->file;
    if (file == nullptr || std::fseek(file, 0, SEEK_END) != 0) return 0;
    const long length = std::ftell(file);
    std::fseek(file, 0, SEEK_SET);
    return length < 0 ? 0 : static_cast<uint64_t>(length);
}

bool ReadHeader(CmmGlobals* g, CmmObject* stream, CmmProfileHeader* header, uint32_t* count)
{
    if (!ReadAll(g, stream, &header->size, CMM_ELEMENT_U32, 6)) return false;
    if (!ReadAll(g, stream, header->date, CMM_ELEMENT_U16, 6)) return false;
    if (!ReadAll(g, stream, &header->magic, CMM_ELEMENT_U32, 1)) return false;
    if (header->magic != CMM_PROFILE_MAGIC) {
        CmmRaise(g, CMM_STATUS_NOT_A_PROFILE);
        return false;
    }
    return ReadAll(g, stream, &header->platform, CMM_ELEMENT_U32, 11) &&
           ReadAll(g, stream, header->reserved, CMM_ELEMENT_U8, 44) && ReadAll(g, stream, count, CMM_ELEMENT_U32, 1);
}

}  // namespace

void CmmProfileOpen(CmmGlobals* g, CmmObject* handle, const CmmProfileSource* source)
{
    CmmObjectInit(handle, CMM_TYPE_PROFILE);
    g->status = CMM_STATUS_NONE;
    g->raised = 0;
    StreamGuard guard{g};
    uint64_t available = 0;
    if (source == nullptr) {
        CmmRaise(g, CMM_STATUS_NO_DATA);
        return;
    }
    if (source->inMemory != 0) {
        available = source->size;
        if (source->data == nullptr || available < CMM_PROFILE_MIN_SIZE) {
            CmmRaise(g, CMM_STATUS_NO_DATA);
            return;
        }
        uint8_t* block = const_cast<uint8_t*>(source->data);
        CmmMemoryStreamCreate(g, &guard.stream, 4, block, 0, 0);
        uint32_t size = 0;
        const bool read = ReadAll(g, &guard.stream, &size, CMM_ELEMENT_U32, 1);
        CmmObjectRelease(g, &guard.stream);
        if (!read) return;
        // A size beyond the block is refused here; a smaller one is read as the profile's bound.
        if (size > available) {
            CmmRaise(g, CMM_STATUS_NO_DATA);
            return;
        }
        CmmMemoryStreamCreate(g, &guard.stream, size, block, 0, 0);
    } else {
        CmmFileStreamCreate(g, &guard.stream, source, CMM_ACCESS_READ, false, 0, 0);
        if (CmmFailed(g)) return;
        available = FileLength(&guard.stream);
        if (source->size < available) available = source->size;
    }
    if (available > CMM_PROFILE_MAX_SIZE) available = CMM_PROFILE_MAX_SIZE;
    CmmProfileHeader header{};
    uint32_t count = 0;
    if (!ReadHeader(g, &guard.stream, &header, &count)) return;
    const uint64_t tableEnd = CMM_PROFILE_MIN_SIZE + uint64_t{CMM_TAG_ENTRY_SIZE} * count;
    if (header.size > available || header.size < CMM_PROFILE_MIN_SIZE) {
        CmmRaise(g, CMM_STATUS_NO_DATA);
        return;
    }
    if (tableEnd > header.size) {
        CmmRaise(g, CMM_STATUS_NOT_A_PROFILE);
        return;
    }
    header.tagDataSize = static_cast<uint32_t>(header.size - tableEnd);
    handle->bodySize = static_cast<uint32_t>(offsetof(CmmProfile, image) + uint64_t{header.size});
    if (offsetof(CmmProfile, image) + uint64_t{header.size} > UINT32_MAX) {
        CmmRaise(g, CMM_STATUS_NO_MEMORY);
        return;
    }
    CmmObjectAllocate(g, handle);
    if (handle->block == nullptr) return;
    CmmProfileInterfaceFill(handle);
    *CmmProfileHeaderOf(handle) = header;
    *CmmProfileCountOf(handle) = count;
    CmmTagEntry* tags = CmmProfileTagsOf(handle);
    bool ok = true;
    for (uint32_t i = 0; ok && i < count; ++i) {
        uint32_t entry[3];  // signature, offset, size as in the file
        ok = ReadAll(g, &guard.stream, entry, CMM_ELEMENT_U32, 3);
        if (!ok) break;
        tags[i] = CmmTagEntry{entry[0], entry[2], entry[1]};
        if (entry[1] < tableEnd || uint64_t{entry[1]} + entry[2] > header.size) {
            CmmRaise(g, CMM_STATUS_NOT_A_PROFILE);
            ok = false;
        }
    }
    if (ok && header.tagDataSize != 0)
        ok = ReadAll(g, &guard.stream, CmmProfileImageOf(handle) + tableEnd, CMM_ELEMENT_U8, header.tagDataSize);
    if (!ok) {
        const CmmStatus status = g->status;
        CmmObjectRelease(g, handle);
        CmmRaise(g, status);
    }
}
