// The job preamble (signature, stream version, job header, forms and job data, ended by the first
// page record or the job-end record of an empty job), the job header in memory, the job-end
// record and the job-data list handed to the output module at every pass.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"

struct FormTable;
struct OutputModuleContext;

// Type 2. Version 0 is the header alone; version 1 adds the size of a blob that follows.
struct JobEndRecord {
    SpoolRecordHeader header;
    uint32_t blobSize;
};
static_assert(sizeof(JobEndRecord) == 12);
static_assert(offsetof(JobEndRecord, blobSize) == 8);

// Job flags.
constexpr uint32_t JobFlagCopiesValid = 0x1;
constexpr uint32_t JobFlagBooklet = 0x2;
constexpr uint32_t JobFlagReverse = 0x4;
constexpr uint32_t JobFlagPaperSheet = 0x8;  // the last sheet only carries paper
constexpr uint32_t JobFlagMirrored = 0x20;  // the page is mirrored, unless the media is too
constexpr uint32_t JobFlagFirstPairNegative = 0x40;
constexpr uint32_t JobFlagSecondPairNegative = 0x80;

// The most copies a job header may ask for; more fails the job as a damaged header.
constexpr uint32_t kJobCopiesMax = 9999;

// The type-1 record in its version-2 layout (bytes 0..187), then the job-end record and the two
// owned blobs. Versions 0 and 1 are read into the same layout.
struct JobHeader {
    SpoolRecordHeader header;  // as read
    uint32_t jobFlags;
    uint32_t copyCount;
    uint32_t resolutionX;
    uint32_t resolutionY;
    int32_t firstExtent[2];  // width, height
    int32_t secondExtent[2];
    uint32_t scaleWord;  // byte 40: the booklet's scale word
    uint32_t bookletMargin;  // byte 44: low half of a 64-bit value; the booklet's margin
    uint32_t value48;  // byte 48: its high half
    uint16_t value52;
    uint16_t headerFlags;  // bit 0 colour job, bits 4 to 6 go to DocBegin
    uint8_t documentBlock[128];
    uint32_t blobSize;  // the OEM blob behind the record
    JobEndRecord jobEnd;
    uint8_t* oemBlob;  // owned copy of the record's blob (ImoOemData for the fax module)
    uint8_t* jobEndBlob;  // owned copy of the job-end record's blob
};
static_assert(sizeof(JobHeader) == 216);
static_assert(offsetof(JobHeader, jobFlags) == 8);
static_assert(offsetof(JobHeader, copyCount) == 12);
static_assert(offsetof(JobHeader, resolutionX) == 16);
static_assert(offsetof(JobHeader, firstExtent) == 24);
static_assert(offsetof(JobHeader, secondExtent) == 32);
static_assert(offsetof(JobHeader, scaleWord) == 40);
static_assert(offsetof(JobHeader, bookletMargin) == 44);
static_assert(offsetof(JobHeader, value52) == 52);
static_assert(offsetof(JobHeader, headerFlags) == 54);
static_assert(offsetof(JobHeader, documentBlock) == 56);
static_assert(offsetof(JobHeader, blobSize) == 184);
static_assert(offsetof(JobHeader, jobEnd) == 188);
static_assert(offsetof(JobHeader, oemBlob) == 200);
static_assert(offsetof(JobHeader, jobEndBlob) == 208);

// One type-66 record's payload.
struct JobDataEntry {
    JobDataEntry* next;
    uint32_t length;  // record size - 8
    uint8_t* payload;  // owned by the entry
};

struct JobDataList {
    JobDataEntry* first;
    JobDataEntry* last;
};

// Reads the preamble and leaves the stream at the first page record (or the job-end record of an
// empty job). False rejects the job; the job header's blobs are then already freed.
bool JobPreambleRead(FormTable* forms, Stream* stream, JobHeader* header, JobDataList* jobData);

// Zeroes the header, parses the type-1 record at the stream and reads its blob.
bool JobHeaderRead(Stream* stream, JobHeader* header);
// Reads the type-1 record's fixed part into the version-2 layout of *record (blobs untouched).
bool JobHeaderParse(Stream* stream, JobHeader* record);
// Frees both blobs and clears their pointers; the header may be read again afterwards.
void JobHeaderFree(JobHeader* header);

// Seeks to position and reads the job-end record and its blob into the header.
bool JobEndRead(Stream* stream, uint32_t position, JobHeader* header);
bool JobEndParse(Stream* stream, JobEndRecord* record);

JobDataEntry* JobDataRead(Stream* stream);
void JobDataListInit(JobDataList* list);
void JobDataListAppend(JobDataList* list, JobDataEntry* entry);
void JobDataListFree(JobDataList* list);
// Hands each entry to the module's JobData slot in order; stops at the first non-zero result.
// With freeAfterSending each entry is freed once handed over and the list empties.
int JobDataListSend(JobDataList* list, OutputModuleContext* context, bool freeAfterSending);
