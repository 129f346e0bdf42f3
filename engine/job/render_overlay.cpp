#include "engine/job/render_overlay.h"

#include <algorithm>
#include <cstring>

#include "engine/common/byte_order.h"
#include "engine/common/render_heap.h"
#include "engine/spool/spool_records.h"
#include "platform/kernel.h"
#include "rastrel/imx.h"

namespace {

constexpr uint32_t kErrorInvalidUserBuffer = 1784;

void AddSegment(OverlayStream* s, uint32_t kind, uint32_t length, const void* data, uint32_t fileOffset = 0)
{
    StreamSegment& segment = s->segments[s->segmentCount++];
    segment.kind = kind;
    segment.streamOffset = s->totalLength;
    segment.fileOffset = fileOffset;
    segment.length = length;
    segment.data = data;
    s->totalLength += length;
}

// Finds the form-begin record by walking the record heads from the start of the file; leaves the
// file positioned at that record. False at the end of the file or on a head that cannot be walked.
bool FormBeginFind(HANDLE file, uint64_t fileSize, uint64_t* at)
{
    uint64_t position = 0;
    while (position + kSpoolRecordHeaderSize <= fileSize) {
        uint8_t head[kSpoolRecordHeaderSize];
        DWORD got = 0;
        LONG high = static_cast<LONG>(position >> 32);
        if (SetFilePointer(file, static_cast<LONG>(position & 0xFFFFFFFFu), &high, FILE_BEGIN) ==
                INVALID_SET_FILE_POINTER &&
            GetLastError() != 0)
            return false;
        if (!ReadFile(file, head, sizeof head, &got, nullptr) || got != sizeof head) return false;
        const SpoolRecordHeader header = SpoolRecordHeaderLoad(head);
        if (header.type == SpoolRecFormBegin) {
            *at = position;
            return true;
        }
        if (header.size < kSpoolRecordHeaderSize) return false;  // a size that cannot move forward
        position += header.size;
    }
    return false;
}

}  // namespace

uint32_t OverlayStreamBuild(HANDLE file, OverlayStream* s, const void* blob, uint32_t n)
{
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t fileSize = (static_cast<uint64_t>(high) << 32) | low;
    uint64_t formAt = 0;
    if (!FormBeginFind(file, fileSize, &formAt)) {
        ImxLogEvent(IMX_LOG_ERROR, __func__, "The form file holds no form-begin record");
        return ERROR_INVALID_DATA;
    }
    LONG formHigh = static_cast<LONG>(formAt >> 32);
    DWORD got = 0;
    if ((SetFilePointer(file, static_cast<LONG>(formAt & 0xFFFFFFFFu), &formHigh, FILE_BEGIN) ==
             INVALID_SET_FILE_POINTER &&
         GetLastError() != 0) ||
        !ReadFile(file, s->formBegin, sizeof s->formBegin, &got, nullptr) || got != sizeof s->formBegin)
        return 1;
    const uint64_t rest = fileSize - (formAt + sizeof s->formBegin);
    // Everything the stream holds must be addressable by the engine's 31-bit stream positions.
    if (376 + 3 * static_cast<uint64_t>(n) + rest > 0x7FFFFFFFu || formAt + sizeof s->formBegin > 0xFFFFFFFFu) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return ERROR_INVALID_PARAMETER;
    }
    const uint32_t L = static_cast<uint32_t>(rest);

    SpoolRecordHeaderStore(s->signature, {SpoolRecSignature, kSpoolSignatureVersion, kSpoolSignatureSize});
    SpoolRecordHeaderStore(s->version, {SpoolRecVersion, 0, kSpoolVersionSize});
    StoreLE32(s->version + 8, 2);
    StoreLE32(s->version + 12, 1);

    SpoolRecordHeaderStore(s->jobHeader, {SpoolRecJobHeader, 1, kSpoolJobHeaderSizeV1 + n});
    StoreLE32(s->jobHeader + 12, 1);  // one copy
    std::memcpy(s->jobHeader + 16, s->formBegin + 12, 8);  // the job's resolution is the form's
    StoreLE16(s->jobHeader + 46, 0x71);
    StoreLE32(s->jobHeader + 176, n);

    StoreLE32(s->formBegin + 8, kOverlayFormId);

    SpoolRecordHeaderStore(s->pageBegin, {SpoolRecPageBegin, 1, kSpoolPageBeginSizeV1 + n});
    StoreLE32(s->pageBegin + 8, 2048);
    std::memcpy(s->pageBegin + 12, s->formBegin + 20, 8);  // the page's size is the form's
    StoreLE32(s->pageBegin + 44, kOverlayFormId);
    s->pageBegin[63] = s->pageBegin[64] = s->pageBegin[65] = 1;
    StoreLE32(s->pageBegin + 100, n);

    SpoolRecordHeaderStore(s->pageEnd, {SpoolRecPageEnd, 0, kSpoolPageEndSizeV0});
    SpoolRecordHeaderStore(s->jobEnd, {SpoolRecJobEnd, 1, kSpoolJobEndSizeV1 + n});
    StoreLE32(s->jobEnd + 8, n);

    s->segmentCount = 0;
    s->totalLength = 0;
    AddSegment(s, kStreamSegmentMemory, sizeof s->signature, s->signature);
    AddSegment(s, kStreamSegmentMemory, sizeof s->version, s->version);
    AddSegment(s, kStreamSegmentMemory, sizeof s->jobHeader, s->jobHeader);
    if (n) AddSegment(s, kStreamSegmentMemory, n, blob);
    AddSegment(s, kStreamSegmentMemory, sizeof s->formBegin, s->formBegin);
    AddSegment(s, kStreamSegmentFile, L, file, static_cast<uint32_t>(formAt + sizeof s->formBegin));
    AddSegment(s, kStreamSegmentMemory, sizeof s->pageBegin, s->pageBegin);
    if (n) AddSegment(s, kStreamSegmentMemory, n, blob);
    AddSegment(s, kStreamSegmentMemory, sizeof s->pageEnd, s->pageEnd);
    AddSegment(s, kStreamSegmentMemory, sizeof s->jobEnd, s->jobEnd);
    if (n) AddSegment(s, kStreamSegmentMemory, n, blob);
    s->position = 0;
    return 0;
}

BOOL OverlayStreamRead(void* handle, void* buffer, uint32_t count, uint32_t* got)
{
    auto* s = static_cast<OverlayStream*>(handle);
    *got = 0;
    if (!buffer) {
        SetLastError(kErrorInvalidUserBuffer);
        return FALSE;
    }
    auto* out = static_cast<uint8_t*>(buffer);
    uint32_t i = 0;
    while (i < s->segmentCount && s->segments[i].streamOffset + s->segments[i].length <= s->position) ++i;
    for (; count > 0 && i < s->segmentCount; ++i) {
        const StreamSegment& segment = s->segments[i];
        const uint32_t into = s->position - segment.streamOffset;
        const uint32_t k = std::min(count, segment.length - into);
        uint32_t delivered = k;
        if (segment.kind == kStreamSegmentMemory) {
            std::memcpy(out, static_cast<const uint8_t*>(segment.data) + into, k);
        } else {
            HANDLE file = const_cast<void*>(segment.data);
            DWORD read = 0;
            const bool placed = SetFilePointer(file, static_cast<LONG>(segment.fileOffset + into), nullptr,
                                               FILE_BEGIN) != INVALID_SET_FILE_POINTER;
            const bool ok = placed && ReadFile(file, out, k, &read, nullptr);
            delivered = ok ? read : 0;
            *got += delivered;
            s->position += delivered;
            if (!ok) return FALSE;
            // The file grew shorter than it was when the stream was built: what was read is all
            // there is, and the records behind it must not be joined to a cut form.
            if (delivered < k) return TRUE;
            out += delivered;
            count -= delivered;
            continue;
        }
        out += delivered;
        count -= delivered;
        *got += delivered;
        s->position += delivered;
    }
    return TRUE;
}

int32_t OverlayStreamSeek(void* handle, int32_t offset, uint32_t mode)
{
    auto* s = static_cast<OverlayStream*>(handle);
    int64_t target;
    if (mode == 0) target = offset;  // positions compare as signed 32-bit values: past 2^31 is before the start
    else if (mode == 1) target = static_cast<int64_t>(s->position) + offset;
    else if (mode == 2) target = static_cast<int64_t>(s->totalLength) + offset;
    else {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    s->position = static_cast<uint32_t>(std::clamp<int64_t>(target, 0, s->totalLength));
    // The stream checks that a seek lands where it asked, so the new position is the answer.
    return static_cast<int32_t>(s->position);
}

BOOL JobDataFileWrite(void* file, const void* bytes, uint32_t count)
{
    DWORD written = 0;
    return WriteFile(static_cast<HANDLE>(file), bytes, count, &written, nullptr) && written == count;
}

RASTREL_API uint32_t ImeRenderOverlay(const char* moduleFileName, RenderOptions* options, LogContext* log,
                                      const char* formFileName, HANDLE output, const void* blob, uint32_t blobSize)
{
    if (!moduleFileName || !formFileName) return 0xFFFFFFFEu;
    if (blobSize > 0 && !blob) return ERROR_INVALID_PARAMETER;
    RenderOptions* ownOptions = nullptr;
    if (!options) {
        ownOptions = static_cast<RenderOptions*>(RenderAlloc(sizeof(RenderOptions)));
        if (!ownOptions) return ERROR_NOT_ENOUGH_MEMORY;
        options = ownOptions;
    }
    auto* stream = static_cast<OverlayStream*>(RenderAlloc(sizeof(OverlayStream)));
    if (!stream) {
        RenderFree(ownOptions);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    uint32_t result;
    HANDLE file = CreateFileA(formFileName, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        result = GetLastError();
    } else {
        result = OverlayStreamBuild(file, stream, blob, blobSize);
        if (result == 0)
            result = ImeRender(nullptr, 0, nullptr, moduleFileName, options, log, stream, output, OverlayStreamRead,
                               OverlayStreamSeek, JobDataFileWrite);
        CloseHandle(file);
    }
    RenderFree(stream);
    RenderFree(ownOptions);
    return result;
}
