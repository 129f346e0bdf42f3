// The page records reader: plays the body of one page or form from the spool stream into a display
// list, its resources into the list's store and its job-data records into a job-data list, and
// stops before the record that ends the body.
#pragma once

#include <cstdint>

struct CmdList;
struct ResourceStore;
struct Stream;
struct JobDataList;

// 1 when the body ended at a page-end (4) or form-end (6) record, which is left unread; 0 on any
// failure. Nodes and resources read before a failure stay in the list and the store.
int PageRecordsRead(CmdList* list, Stream* stream, JobDataList* jobData);

// What the reader does with a record type: one entry per type in one table.
enum class PageRecordAction : uint8_t {
    Skip,  // moved past by its size
    End,  // ends the body: the record is left unread and the read succeeds
    Fail,  // may not stand inside a body: the read fails
    Command,  // CmdRead of kind (type - 13)
    Resource,  // the entry's reader reads the record into the owner's stores
    JobData,  // appended to the job-data list, skipped without one
};

// A resource record's reader: the record's header is at the stream. 1 or 0.
typedef int (*PageRecordReadFn)(ResourceStore* store, Stream* stream);

struct PageRecordEntry {
    PageRecordAction action;
    PageRecordReadFn read;  // Resource entries only
};

// The entry of a record type (flags included: 0x4023 is a bitmap with continuations, every other
// type above it is skipped).
PageRecordEntry PageRecordEntryGet(uint16_t type);
