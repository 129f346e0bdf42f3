// The output module's answers to the device questions are data from outside the engine: every
// question is answered with the fuzz bytes (or a code the first byte picks), and every reader of
// answers runs over them: capabilities, page questions with the mask pattern, media and placement,
// scale, area and the entry list.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/job/device_queries.h"

namespace {

const uint8_t* gAnswer = nullptr;
size_t gAnswerSize = 0;
uint8_t gMode = 0;

ImxStatus FuzzQuery(ImoInstance, uint32_t id, uint32_t, const void*, uint32_t* outputSize, void* output)
{
    switch ((gMode + id) % 8) {
        case 0: return IMX_ERR_QUERY_UNKNOWN;
        case 1:
            *outputSize = gAnswerSize > 4 ? static_cast<uint32_t>(gAnswer[0] | gAnswer[1] << 8 | gAnswer[2] << 16 |
                                                                  uint32_t{gAnswer[3]} << 24)
                                          : 0;
            return IMX_ERR_BUFFER_TOO_SMALL;
        case 2: return -7;
        default: {
            const size_t n = gAnswerSize < *outputSize ? gAnswerSize : *outputSize;
            if (n) std::memcpy(output, gAnswer, n);
            // A module may claim any size; the engine must not believe more than it offered.
            *outputSize = static_cast<uint32_t>(gAnswerSize);
            return gAnswerSize > n ? IMX_ERR_BUFFER_TOO_SMALL : IMX_OK;
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    gMode = data[0];
    gAnswer = data + 1;
    gAnswerSize = size - 1;

    OutputModuleContext context{};
    OutputModuleLoad(&context, nullptr, nullptr, nullptr, nullptr, nullptr);
    context.slots.DeviceQuery = FuzzQuery;
    DeviceFlagsQuery(&context);
    DevicePageQuery(&context);
    DevicePageQuery(&context);

    const uint32_t resolution[2] = {200, 100};
    const uint32_t pixels[2] = {1728, 2200};
    PagePlacement placement;
    if (PageFitScale(&context, resolution, pixels, 4, 1, "A4", &placement)) PageFitPlace(&context, &placement);

    const int32_t value8[2] = {1, 2};
    const int32_t value16[4] = {3, 4, 5, 6};
    int32_t scale[4];
    DeviceScaleQuery(&context, value8, value16, scale);
    const uint32_t extent[2] = {1728, 2200};
    const RECT rectangle{10, 20, 30, 40};
    RECT area;
    DeviceAreaQuery(&context, extent, &rectangle, &area);

    std::vector<uint8_t> list(8 + 2 * 56, 0);
    const uint32_t head[2] = {1, 2};
    std::memcpy(list.data(), head, sizeof(head));
    DeviceEntryListQuery(&context, list.data());
    uint32_t adjusted[2] = {1728, 2200};
    DeviceExtentAdjust(&context, adjusted);
    OutputModuleUnload(&context);
    return 0;
}
