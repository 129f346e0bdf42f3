#include "engine/page/form_table.h"

#include "engine/job/render_call.h"

FormTable* FormTableCreate(ResourceBudget* budget) {
    auto* table = static_cast<FormTable*>(RenderAlloc(sizeof(FormTable)));
    if (table == nullptr) return nullptr;
    table->budget = budget;
    return table;
}

void FormTableDestroy(FormTable* table) {
    if (table == nullptr) return;
    for (Form*& bucket : table->buckets) {
        while (bucket != nullptr) {
            Form* form = bucket;
            bucket = form->next;
            RenderFree(form);
        }
    }
    RenderFree(table);
}
