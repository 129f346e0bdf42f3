#include "engine/common/render_options.h"

#include <algorithm>

#include "platform/kernel.h"

uint64_t RenderMachineMemoryMb()
{
    MEMORYSTATUS status{};
    status.dwLength = sizeof(status);
    GlobalMemoryStatus(&status);
    uint64_t smallest =
        std::min({static_cast<uint64_t>(status.dwTotalPhys), static_cast<uint64_t>(status.dwAvailPageFile),
                  static_cast<uint64_t>(status.dwTotalVirtual)});
    return smallest >> 20;
}

void RenderOptionsDefault(RenderOptions* options)
{
    const uint64_t megabytes = RenderMachineMemoryMb();
    constexpr uint32_t MB = 1u << 20;

    if (options->bandMemory == 0) options->bandMemory = 8 * MB;
    if (options->resourceObjects == 0) options->resourceObjects = 256;
    if (options->deviceMemoryLimit == 0) options->deviceMemoryLimit = 4 * MB;
    if (options->memoryLimit == 0) {
        options->memoryLimit = megabytes >= 512   ? 128 * MB
                               : megabytes >= 256 ? 64 * MB
                               : megabytes >= 128 ? 32 * MB
                               : megabytes >= 64  ? 16 * MB
                                                  : 8 * MB;
    }
    if (options->streamBuffer == 0) options->streamBuffer = 1024;
    // The byte budget is settled first: a caller-given budget also decides the entry count.
    if (options->textureBytes == 0) {
        options->textureBytes = megabytes >= 256   ? 8 * MB
                                : megabytes >= 128 ? 4 * MB
                                : megabytes >= 64  ? 2 * MB
                                                   : 1 * MB;
    }
    if (options->textureEntries == 0) options->textureEntries = options->textureBytes >= 4 * MB ? 32768 : 16384;
}
