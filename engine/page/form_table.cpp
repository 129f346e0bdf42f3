#include "engine/page/form_table.h"

#include "engine/common/render_heap.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/page_records.h"
#include "engine/spool/spool_records.h"
#include "engine/spool/stream.h"
#include "platform/kernel.h"

FormTable* FormTableCreate(ResourceBudget* budget)
{
    auto* table = static_cast<FormTable*>(RenderAlloc(sizeof(FormTable)));
    if (table == nullptr) return nullptr;
    table->budget = budget;
    return table;
}

// The list's nodes hold references into the store: the list goes first.
static void FormFree(Form* form)
{
    CmdListDestroyAll(&form->list);
    ResourceStoreDestroy(form->store);
    RenderFree(form);
}

void FormTableDestroy(FormTable* table)
{
    if (table == nullptr) return;
    for (Form*& bucket : table->buckets) {
        while (bucket != nullptr) {
            Form* form = bucket;
            bucket = form->next;
            Stream* fileStream = form->fileStream;
            HANDLE file = form->file;
            FormFree(form);
            if (fileStream != nullptr) StreamClose(fileStream);
            if (file != nullptr && file != INVALID_HANDLE_VALUE) CloseHandle(file);
        }
    }
    RenderFree(table);
}

static Form* FormFind(FormTable* table, uint32_t id)
{
    for (Form* form = table->buckets[id % FORM_TABLE_BUCKETS]; form != nullptr; form = form->next)
        if (form->id == id) return form;
    return nullptr;
}

Form* FormLookup(FormTable* table, uint32_t id)
{
    Form* form = FormFind(table, id);
    if (form != nullptr) ++form->references;
    return form;
}

void FormRelease(FormTable*, Form* form)
{
    if (form != nullptr && form->references > 0) --form->references;
}

// Reads a whole record of the given type whose fixed part is `size` bytes into wire and moves to
// the record's end, also when the record is longer than its fixed part.
static bool FormRecordRead(Stream* stream, uint16_t type, uint8_t* wire, uint32_t size)
{
    const uint32_t start = stream->position;
    if (StreamRead(stream, wire, size) != static_cast<int32_t>(size)) return false;
    const SpoolRecordHeader header = SpoolRecordHeaderLoad(wire);
    if (header.type != type || header.size < size || !SpoolRecordSizeValid(header, start)) return false;
    return header.size == size || StreamSeek(stream, static_cast<int32_t>(start + header.size), 0) >= 0;
}

int FormDefine(FormTable* table, Stream* stream, uint32_t overrideId)
{
    uint8_t wire[kSpoolFormBeginSize];
    if (!FormRecordRead(stream, SpoolRecFormBegin, wire, sizeof wire)) return 0;
    SpoolFormBegin begin;
    SpoolLoadLittleEndian(&begin, wire, sizeof begin);
    const uint32_t id = overrideId != 0 ? overrideId : begin.formId;
    if (FormFind(table, id) != nullptr) return 0;
    // A form without a resolution or an extent cannot be placed: it would divide by zero.
    if (begin.resolutionX == 0 || begin.resolutionY == 0 || begin.width == 0 || begin.height == 0) {
        SetLastError(ERROR_INVALID_DATA);
        return 0;
    }

    auto* form = static_cast<Form*>(RenderAlloc(sizeof(Form)));
    if (form == nullptr) return 0;
    form->file = INVALID_HANDLE_VALUE;
    form->store = ResourceStoreCreate(table->budget, stream);
    if (form->store == nullptr) {
        RenderFree(form);
        return 0;
    }
    CmdListInit(&form->list, form->store, 0);
    form->table = table;
    form->id = id;
    form->resolution[0] = begin.resolutionX;
    form->resolution[1] = begin.resolutionY;
    form->size[0] = begin.width;
    form->size[1] = begin.height;

    uint8_t end[kSpoolFormEndSize];
    if (PageRecordsRead(&form->list, stream, nullptr) == 0 ||
        !FormRecordRead(stream, SpoolRecFormEnd, end, sizeof end)) {
        FormFree(form);
        return 0;
    }
    Form*& bucket = table->buckets[id % FORM_TABLE_BUCKETS];
    form->next = bucket;
    bucket = form;
    ++table->count;
    return 1;
}
