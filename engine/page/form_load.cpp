// Loading a form into the form table: an inline form, or one held in a form file.
#include <cstring>

#include "engine/display/stores/resource_store.h"
#include "engine/page/form_table.h"
#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

int FormLoad(FormTable* table, Stream* stream)
{
    if (table == nullptr) return 0;  // a reader without a form table takes no forms
    uint8_t raw[kSpoolRecordHeaderSize];
    if (StreamPeek(stream, raw, sizeof raw) != static_cast<int32_t>(sizeof raw)) return 0;
    if (SpoolRecordHeaderLoad(raw).type == SpoolRecFormBegin) return FormDefine(table, stream, 0);

    const uint32_t start = stream->position;
    uint8_t wire[kSpoolFormFileSize];
    if (StreamRead(stream, wire, sizeof wire) != static_cast<int32_t>(sizeof wire)) return 0;
    const SpoolRecordHeader header = SpoolRecordHeaderLoad(wire);
    if (header.type != SpoolRecFormFile || header.size < sizeof wire || !SpoolRecordSizeValid(header, start)) return 0;
    if (header.size > sizeof wire && StreamSeek(stream, static_cast<int32_t>(start + header.size), 0) < 0) return 0;
    SpoolFormFile record;
    SpoolLoadLittleEndian(&record, wire, sizeof record);
    // The name is read up to its field's end, terminated or not.
    char name[sizeof record.fileName + 1] = {};
    std::memcpy(name, record.fileName, sizeof record.fileName);

    HANDLE file =
        CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    Stream* fileStream = StreamOpen(file, kFormFileStreamBuffer, nullptr, nullptr);
    if (fileStream == nullptr) {
        CloseHandle(file);
        return 0;
    }
    // The record's id wins over the file's; without one the file's form-begin names the form.
    uint32_t id = record.formId;
    uint8_t begin[12];
    if (id == 0 && StreamPeek(fileStream, begin, sizeof begin) == static_cast<int32_t>(sizeof begin))
        id = LoadLE32(begin + 8);
    if (FormDefine(table, fileStream, record.formId) == 0) {
        StreamClose(fileStream);
        CloseHandle(file);
        return 0;
    }
    // The new form sits at the head of its bucket; it keeps the file for its store's spill.
    Form* form = table->buckets[id % FORM_TABLE_BUCKETS];
    form->fileStream = fileStream;
    form->file = file;
    return 1;
}
