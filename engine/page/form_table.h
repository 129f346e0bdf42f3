// The job's form table: forms defined once in the job and placed on pages by id, in 32 buckets.
#pragma once

#include <cstddef>
#include <cstdint>

struct ResourceBudget;
struct ResourceStore;
struct CmdList;
struct FormTable;

inline constexpr uint32_t FORM_TABLE_BUCKETS = 32;

struct Form {
    Form* next;                 // next form in the bucket
    FormTable* table;
    uint32_t id;
    uint32_t references;        // pages using it
    uint32_t resolution[2];
    uint32_t size[2];           // in the form's own units
    ResourceStore* store;
    CmdList* list;
};
static_assert(offsetof(Form, id) == 16);
static_assert(offsetof(Form, store) == 40);
static_assert(sizeof(Form) == 56);

struct FormTable {
    uint32_t count;
    ResourceBudget* budget;
    Form* buckets[FORM_TABLE_BUCKETS];  // a form lies in bucket (id & 31)
};
static_assert(offsetof(FormTable, budget) == 8);
static_assert(offsetof(FormTable, buckets) == 16);

// An empty table charged to the budget; null when memory is short.
FormTable* FormTableCreate(ResourceBudget* budget);
// Frees every form and the table. Null does nothing.
void FormTableDestroy(FormTable* table);
