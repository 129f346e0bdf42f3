// The job's form table: forms defined once in the job (inline or from a form file), each played
// into a display list with a resource store of its own, kept for the whole render call and placed
// on pages by id. 32 buckets by the id's low five bits.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/display/cmd_node.h"
#include "platform/types.h"

struct ResourceBudget;
struct ResourceStore;
struct Stream;
struct FormTable;

inline constexpr uint32_t FORM_TABLE_BUCKETS = 32;
inline constexpr uint32_t kFormFileStreamBuffer = 8192;

struct Form {
    Form* next;  // next form in the bucket
    FormTable* table;
    uint32_t id;
    uint32_t references;  // pages using it
    uint32_t resolution[2];
    uint32_t size[2];  // in the form's own units
    ResourceStore* store;
    CmdList list;
    // A form read from a form file keeps the file open until the table is destroyed: its store
    // parks bitmap and font data in it. Null and INVALID_HANDLE_VALUE for inline forms.
    Stream* fileStream;
    HANDLE file;
};
static_assert(offsetof(Form, id) == 16);
static_assert(offsetof(Form, store) == 40);
static_assert(offsetof(Form, list) == 48);

struct FormTable {
    uint32_t count;
    ResourceBudget* budget;
    Form* buckets[FORM_TABLE_BUCKETS];  // a form lies in bucket (id & 31)
};
static_assert(offsetof(FormTable, budget) == 8);
static_assert(offsetof(FormTable, buckets) == 16);

// An empty table charged to the budget; null when memory is short.
FormTable* FormTableCreate(ResourceBudget* budget);
// Destroys every form's display list and store, closes form files and frees the table. Reference
// counts are not consulted. Null does nothing.
void FormTableDestroy(FormTable* table);
// Defines the form at the stream: an inline form-begin record, or a form-file record whose file
// holds the form. Non-zero on success.
int FormLoad(FormTable* table, Stream* stream);
// A form met between pages (the stream at its form-begin or form-file record): loaded into the
// table (a FormTable), or passed over when the table already holds its id; 0 on failure. The page
// scan of a stream that cannot go back calls it (PageSourceFormTake).
int FormTakeBetweenPages(void* forms, Stream* stream);
// Reads a form-begin record, the form's drawing records and its form-end record into a new form.
// The id is overrideId when that is not 0, else the record's. A duplicate id, a form-begin with a
// zero resolution or size, or a body without its form-end fails and leaves no form behind.
int FormDefine(FormTable* table, Stream* stream, uint32_t overrideId);
// The form with its reference count raised, or null.
Form* FormLookup(FormTable* table, uint32_t id);
// Lowers the form's reference count (never below 0).
void FormRelease(FormTable* table, Form* form);
