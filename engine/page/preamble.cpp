// Job preamble reader, job header, job-end record and job-data list.
#include "engine/page/preamble.h"
#include "engine/common/render_heap.h"

#include "engine/common/log_context.h"
#include "engine/common/output_module.h"
#include "engine/page/form_table.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

bool ReadExactly(Stream* stream, void* destination, uint32_t n)
{
    return StreamRead(stream, destination, n) == static_cast<int32_t>(n);
}

// Reading goes on at the record's end even when the record is longer than the part we know.
bool SeekToRecordEnd(Stream* stream, uint32_t start, const SpoolRecordHeader& header)
{
    const uint32_t end = start + header.size;
    if (stream->position == end) return true;
    return StreamSeek(stream, static_cast<int32_t>(end), 0) == static_cast<int32_t>(end);
}

// A blob of `size` bytes behind a fixed part of `fixed` bytes must lie inside the record.
bool BlobFits(const SpoolRecordHeader& header, uint32_t fixed, uint32_t size)
{
    return static_cast<uint64_t>(fixed) + size <= header.size;
}

// Reads a blob whose size comes from the stream. The memory grows with the bytes that actually
// arrive, so a record that claims a huge blob on a short stream fails before it takes gigabytes.
uint8_t* BlobRead(Stream* stream, uint32_t size)
{
    constexpr uint32_t kFirstPiece = 1u << 20;
    uint32_t capacity = std::min(size, kFirstPiece);
    auto* blob = static_cast<uint8_t*>(RenderAlloc(std::max(capacity, 1u)));
    uint32_t got = 0;
    while (blob) {
        const uint32_t want = capacity - got;
        if (want > 0 && !ReadExactly(stream, blob + got, want)) break;
        got = capacity;
        if (got == size) return blob;
        capacity = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint64_t>(capacity) * 2, size));
        auto* grown = static_cast<uint8_t*>(RenderRealloc(blob, capacity));
        if (!grown) break;
        blob = grown;
    }
    if (!blob) SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    RenderFree(blob);
    return nullptr;
}

uint32_t JobHeaderFixedSize(uint16_t version)
{
    switch (version) {
        case 0: return kSpoolJobHeaderSizeV0;
        case 1: return kSpoolJobHeaderSizeV1;
        default: return kSpoolJobHeaderSizeV2;
    }
}

bool StreamVersionRead(Stream* stream, const SpoolRecordHeader& header)
{
    const uint32_t start = stream->position;
    if (header.size < kSpoolVersionSize) return false;
    uint8_t raw[kSpoolVersionSize];
    if (!ReadExactly(stream, raw, sizeof raw)) return false;
    if (LoadLE32(raw + 8) > kSpoolMaxStreamVersion) return false;
    return SeekToRecordEnd(stream, start, header);
}

}  // namespace

bool JobHeaderParse(Stream* stream, JobHeader* record)
{
    SpoolRecordHeader header;
    if (!SpoolRecordPeek(stream, &header)) return false;
    if (header.type != SpoolRecJobHeader || header.version > 2) return false;
    const uint32_t fixed = JobHeaderFixedSize(header.version);
    if (header.size < fixed) return false;
    uint8_t raw[kSpoolJobHeaderSizeV2];
    if (!ReadExactly(stream, raw, fixed)) return false;

    record->header = header;
    record->jobFlags = LoadLE32(raw + 8);
    record->copyCount = LoadLE32(raw + 12);
    record->resolutionX = LoadLE32(raw + 16);
    record->resolutionY = LoadLE32(raw + 20);
    if (header.version == 2) {
        record->firstExtent[0] = static_cast<int32_t>(LoadLE32(raw + 24));
        record->firstExtent[1] = static_cast<int32_t>(LoadLE32(raw + 28));
        record->secondExtent[0] = static_cast<int32_t>(LoadLE32(raw + 32));
        record->secondExtent[1] = static_cast<int32_t>(LoadLE32(raw + 36));
        record->scaleWord = LoadLE32(raw + 40);
        record->bookletMargin = LoadLE32(raw + 44);
        record->value48 = LoadLE32(raw + 48);
        record->value52 = LoadLE16(raw + 52);
        record->headerFlags = LoadLE16(raw + 54);
        std::memcpy(record->documentBlock, raw + 56, sizeof record->documentBlock);
        record->blobSize = LoadLE32(raw + 184);
        return true;
    }
    // Versions 0 and 1 have one extent pair; it stands for both.
    const int32_t width = static_cast<int32_t>(LoadLE32(raw + 24));
    const int32_t height = static_cast<int32_t>(LoadLE32(raw + 28));
    record->firstExtent[0] = record->secondExtent[0] = width;
    record->firstExtent[1] = record->secondExtent[1] = height;
    if (header.version == 1) {
        record->scaleWord = LoadLE32(raw + 32);
        record->bookletMargin = LoadLE32(raw + 36);
        record->value48 = LoadLE32(raw + 40);
        record->value52 = LoadLE16(raw + 44);
        record->headerFlags = LoadLE16(raw + 46);
        std::memcpy(record->documentBlock, raw + 48, sizeof record->documentBlock);
        record->blobSize = LoadLE32(raw + 176);
    } else {
        record->scaleWord = 0;
        record->bookletMargin = 0;
        record->value48 = 0;
        record->value52 = 0;
        record->headerFlags = LoadLE16(raw + 32);
        std::memcpy(record->documentBlock, raw + 34, sizeof record->documentBlock);
        record->blobSize = LoadLE32(raw + 164);
    }
    return true;
}

bool JobHeaderRead(Stream* stream, JobHeader* header)
{
    std::memset(header, 0, sizeof *header);
    const uint32_t start = stream->position;
    if (!JobHeaderParse(stream, header)) return false;
    if (!BlobFits(header->header, JobHeaderFixedSize(header->header.version), header->blobSize)) {
        SetLastError(ERROR_INVALID_DATA);
        return false;
    }
    if (header->blobSize != 0) {
        header->oemBlob = BlobRead(stream, header->blobSize);
        if (!header->oemBlob) return false;
    }
    if (!SeekToRecordEnd(stream, start, header->header)) {
        JobHeaderFree(header);
        return false;
    }
    return true;
}

void JobHeaderFree(JobHeader* header)
{
    RenderFree(header->oemBlob);
    RenderFree(header->jobEndBlob);
    header->oemBlob = nullptr;
    header->jobEndBlob = nullptr;
}

bool JobEndParse(Stream* stream, JobEndRecord* record)
{
    SpoolRecordHeader header;
    if (!SpoolRecordPeek(stream, &header)) return false;
    if (header.type != SpoolRecJobEnd || header.version > 1) return false;
    const uint32_t fixed = header.version == 0 ? kSpoolJobEndSizeV0 : kSpoolJobEndSizeV1;
    if (header.size < fixed) return false;
    uint8_t raw[kSpoolJobEndSizeV1];
    if (!ReadExactly(stream, raw, fixed)) return false;
    record->header = header;
    record->blobSize = header.version == 0 ? 0 : LoadLE32(raw + 8);
    return BlobFits(header, fixed, record->blobSize);
}

bool JobEndRead(Stream* stream, uint32_t position, JobHeader* header)
{
    RenderFree(header->jobEndBlob);
    header->jobEndBlob = nullptr;
    if (position > static_cast<uint32_t>(kStreamMaxPosition) ||
        StreamSeek(stream, static_cast<int32_t>(position), 0) != static_cast<int32_t>(position))
        return false;
    if (!JobEndParse(stream, &header->jobEnd)) return false;
    if (header->jobEnd.blobSize != 0) {
        header->jobEndBlob = BlobRead(stream, header->jobEnd.blobSize);
        if (!header->jobEndBlob) return false;
    }
    return true;
}

JobDataEntry* JobDataRead(Stream* stream)
{
    uint8_t raw[kSpoolRecordHeaderSize];
    const uint32_t start = stream->position;
    if (!ReadExactly(stream, raw, sizeof raw)) return nullptr;
    const SpoolRecordHeader header = SpoolRecordHeaderLoad(raw);
    if (!SpoolRecordSizeValid(header, start)) return nullptr;
    auto* entry = static_cast<JobDataEntry*>(RenderAlloc(sizeof(JobDataEntry)));
    if (!entry) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    entry->next = nullptr;
    entry->length = header.size - kSpoolRecordHeaderSize;
    entry->payload = BlobRead(stream, entry->length);
    if (!entry->payload) {
        RenderFree(entry);
        return nullptr;
    }
    return entry;
}

void JobDataListInit(JobDataList* list)
{
    list->first = nullptr;
    list->last = nullptr;
}

void JobDataListAppend(JobDataList* list, JobDataEntry* entry)
{
    entry->next = nullptr;
    if (list->last) list->last->next = entry;
    else list->first = entry;
    list->last = entry;
}

void JobDataListFree(JobDataList* list)
{
    JobDataEntry* entry = list->first;
    while (entry) {
        JobDataEntry* next = entry->next;
        RenderFree(entry->payload);
        RenderFree(entry);
        entry = next;
    }
    JobDataListInit(list);
}

int JobDataListSend(JobDataList* list, OutputModuleContext* context, bool freeAfterSending)
{
    int result = 0;
    JobDataEntry* entry = list->first;
    while (entry) {
        JobDataEntry* next = entry->next;
        if (context->slots.JobData) result = context->slots.JobData(context->instance, entry->length, entry->payload);
        if (freeAfterSending) {
            RenderFree(entry->payload);
            RenderFree(entry);
            list->first = next;
            if (!next) list->last = nullptr;
        }
        if (result != 0) break;
        entry = next;
    }
    return result;
}

namespace {

// Says why the preamble's record at `start` was refused, for the host's user.
void PreambleRefusalLog(Stream* stream, const SpoolRecordHeader& record, uint32_t start, bool secondHeader)
{
    const char* function = "JobPreambleRead";
    const DWORD error = GetLastError();  // the caller's result comes from it
    uint8_t next = 0;
    if (secondHeader) {
        LogEvent(IMX_LOG_ERROR, function, "a second job header at byte %u", start);
    } else if ((record.type < SpoolRecReserved64 && record.type != SpoolRecJobHeader &&
                record.type != SpoolRecFormBegin && record.type != SpoolRecFormFile) ||
               (record.type > SpoolRecJobData && record.type != SpoolRecVersion && record.type != SpoolRecSignature &&
                (record.type & SpoolRecFlagOptional) == 0)) {
        LogEvent(IMX_LOG_ERROR, function, "the record of type %u at byte %u has no place before the first page",
                 record.type, start);
    } else if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY && StreamPeek(stream, &next, 1) == 0) {
        LogEvent(IMX_LOG_ERROR, function,
                 "the spool stream ends inside the %s (type %u) at byte %u, which has %u bytes",
                 record.type == SpoolRecJobHeader ? "job header" : "record", record.type, start, record.size);
    } else {
        SpoolRecordFailureLog(function, "reading the job's preamble");
    }
    SetLastError(error);
}

}  // namespace

bool JobPreambleRead(FormTable* forms, Stream* stream, JobHeader* header, JobDataList* jobData)
{
    bool haveHeader = false;
    bool accepted = false;
    for (;;) {
        SpoolRecordHeader record;
        if (!SpoolRecordPeek(stream, &record)) {
            SpoolRecordFailureLog("JobPreambleRead", "reading the job's preamble");
            break;
        }
        const uint32_t start = stream->position;
        const bool secondHeader = haveHeader && record.type == SpoolRecJobHeader;
        const uint16_t type = record.type;
        bool ok = true;
        if (type == SpoolRecJobHeader) {
            ok = !haveHeader && JobHeaderRead(stream, header);
            haveHeader = haveHeader || ok;
        } else if (type == SpoolRecJobEnd || type == SpoolRecPageBegin) {
            accepted = haveHeader;  // the record is left for the page reader
            if (!accepted)
                LogEvent(IMX_LOG_ERROR, "JobPreambleRead",
                         "the job has no job header before the record of type %u at byte %u", type, start);
            break;
        } else if (type == SpoolRecFormBegin || type == SpoolRecFormFile) {
            ok = FormLoad(forms, stream) != 0;
        } else if (type < SpoolRecReserved64) {
            ok = false;  // 0, 4, 6 and 8 to 63 cannot stand in a preamble
        } else if (type == SpoolRecReserved64 || type == SpoolRecReserved65 || type == SpoolRecSignature) {
            ok = SpoolRecordSkip(stream, record);
        } else if (type == SpoolRecJobData) {
            if (haveHeader) {
                JobDataEntry* entry = JobDataRead(stream);
                ok = entry != nullptr;
                if (ok) JobDataListAppend(jobData, entry);
            } else {
                ok = SpoolRecordSkip(stream, record);  // never reaches the module
            }
        } else if (type == SpoolRecVersion) {
            ok = StreamVersionRead(stream, record);
        } else {
            ok = (type & SpoolRecFlagOptional) != 0 && SpoolRecordSkip(stream, record);
        }
        if (!ok) {
            PreambleRefusalLog(stream, record, start, secondHeader);
            break;
        }
    }
    if (!accepted && haveHeader) JobHeaderFree(header);
    return accepted;
}
