// ImeRender over arbitrary spool bytes, with no output module: the whole call, its objects, passes
// and tear-down. The first byte picks the stream's kind and some render flags. Copy counts are
// left as they come: the engine itself refuses a damaged count.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/job/render_call.h"
#include "tests/support/memory_stream.h"

namespace {

BOOL DiscardWrite(void*, const void*, uint32_t) { return TRUE; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint8_t options = data[0];
    static const uint32_t chunks[] = {0, 1, 3, 64};
    std::vector<uint8_t> bytes(data + 1, data + size);
    MemoryStream memory(std::move(bytes), (options & 1) == 0, chunks[(options >> 1) & 3]);
    RenderOptions renderOptions{};
    if (options & 0x08) renderOptions.flags |= RENDER_FLAG_COPIES | RENDER_FLAG_COPIES_VALID;
    if (options & 0x10) renderOptions.flags |= RENDER_FLAG_REVERSE;
    if (options & 0x20) renderOptions.flags |= RENDER_FLAG_MONOCHROME;
    renderOptions.copyCount = (options >> 6) & 3;
    renderOptions.textureEntries = 64;  // the default pool of 32768 entries would dominate every run
    ImeRender(nullptr, 1, nullptr, nullptr, &renderOptions, nullptr, &memory, nullptr, MemoryStreamRead,
              memory.seekable ? MemoryStreamSeek : nullptr, DiscardWrite);
    return 0;
}
