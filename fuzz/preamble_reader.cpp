// The job preamble reader and the job-end reader over arbitrary bytes. The first byte picks the
// stream's kind: bit 0 forward-only, bits 1-3 how few bytes each callback call delivers.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/display/stores/resource_budget.h"
#include "engine/page/form_table.h"
#include "engine/page/preamble.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::vector<uint8_t>(data + 1, data + size), (options & 1) == 0, chunks[(options >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory, (options & 0x10) ? 0 : 8192);
    if (!stream) return 0;
    JobHeader header{};
    JobDataList list;
    JobDataListInit(&list);
    ResourceBudget* budget = ResourceBudgetCreate(nullptr, 256, 0x400000, 0x800000);
    FormTable* forms = FormTableCreate(budget);
    if (JobPreambleRead(forms, stream, &header, &list)) {
        // The job-end record, wherever the last four bytes say it is.
        uint32_t at = 0;
        if (size >= 5)
            at = data[size - 4] | (data[size - 3] << 8) | (data[size - 2] << 16) | (uint32_t{data[size - 1]} << 24);
        JobEndRead(stream, at % (static_cast<uint32_t>(size) + 16), &header);
        JobHeaderFree(&header);
    }
    JobDataListFree(&list);
    FormTableDestroy(forms);
    ResourceBudgetDestroy(budget);
    StreamClose(stream);
    return 0;
}
