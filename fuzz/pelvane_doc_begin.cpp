// DocBegin over random fax blocks (of the right size or any other), then a blank sheet and
// DocEnd: numbers, counts, resolutions, the halftone path and the expected documents are all
// outside data.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/common/output_module.h"
#include "engine/raster/texture_cache.h"
#include "outmodule/pelvane_job.h"

namespace {

BOOL Discard(void*, const void*, uint32_t) { return TRUE; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    OutputModuleContext host{};
    host.write = Discard;
    ImoCallbackTable slots{};
    ImoInstance instance = nullptr;
    if (ImoInitialize("pelvane", &host, &slots, &instance) != IMX_OK) return 0;
    // Most inputs are stretched to the block's size so that its fields are reached.
    std::vector<uint8_t> block(data, data + size);
    if (size > 0 && data[0] % 4 != 0) block.resize(IMO_OEM_DATA_SIZE, 0);
    slots.DocBegin(instance, nullptr, 0, 0, 1, static_cast<uint32_t>(block.size()),
                   block.empty() ? nullptr : block.data());
    const uint32_t resolution[2] = {100, 100};
    const uint32_t sheet[2] = {640, 320};
    slots.SheetBlank(instance, resolution, sheet, 1, "A", 1, 1);
    slots.DocEnd(instance, 0, nullptr);
    slots.JobEnd(instance);
    ImoDeinitialize(instance);
    return 0;
}
