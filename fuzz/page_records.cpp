// The page records reader over arbitrary bytes: a page body into a display list with its store
// and job-data list, or (bit 4 of the first byte) a form defined into a form table. The first
// byte also picks the stream's kind: bit 0 forward-only, bits 1-3 how few bytes each callback
// call delivers, bit 5 a small object budget so that preparing trims.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/display/cmd_node.h"
#include "engine/display/stores/resource_store.h"
#include "engine/page/form_table.h"
#include "engine/page/page_records.h"
#include "engine/page/preamble.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), (options & 1) == 0, chunks[(options >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory);
    if (!stream) return 0;
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, (options & 0x20) ? 1 : 256, 0x400000, 0x800000);
    if (options & 0x10) {
        // Inline forms only: a form-file record would open whatever file the input names.
        FormTable* forms = FormTableCreate(budget);
        while (forms && FormDefine(forms, stream, 0)) {}
        FormTableDestroy(forms);
    } else if (ResourceStore* store = ResourceStoreCreate(budget, stream)) {
        CmdList list;
        CmdListInit(&list, store, 1);
        JobDataList jobData;
        JobDataListInit(&jobData);
        if (PageRecordsRead(&list, stream, &jobData)) {
            uint8_t end[8];
            StreamRead(stream, end, sizeof end);
        }
        JobDataListFree(&jobData);
        CmdListDestroyAll(&list);
        ResourceStoreDestroy(store);
    }
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return 0;
}
