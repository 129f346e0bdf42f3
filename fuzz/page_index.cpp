// The page source's private index over arbitrary bytes: page seeks in the order the input asks,
// the page count, the job-end record, empty pages and a copy into a temporary stream. The first
// byte picks the stream's kind (bit 0 forward-only, bits 1-3 bytes per callback call, bit 4 copy),
// the low four bits of the second how many page requests the input ends with.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/spool/page_source.h"
#include "tests/support/memory_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t options = data[0];
    const size_t requests = std::min<size_t>(data[1] & 15, size - 2);
    const uint8_t* asks = data + size - requests;
    static const uint32_t chunks[] = {0, 1, 2, 3, 7, 64, 1000, 4096};
    MemoryStream memory(std::vector<uint8_t>(data + 2, data + size - requests), (options & 1) == 0,
                        chunks[(options >> 1) & 7]);
    Stream* stream = MemoryStreamOpen(&memory);
    PageSource* source = stream ? PageSourceOpen(stream, nullptr) : nullptr;
    if (!source) {
        StreamClose(stream);
        return 0;
    }
    for (size_t i = 0; i < requests; ++i) {
        const uint32_t page = asks[i] & 0x3f;
        if (asks[i] & 0x80) PageSourcePageIsEmpty(source, page);
        else if (asks[i] & 0x40) PageSourceSeekPage(source, page);
        else PageSourceSeek(source, page);
    }
    if (options & 0x10) {
        if (PageSource* temp = PageSourceCreateTemp(1024)) {
            if (PageSourceCopy(temp, source, (options & 0x20) != 0)) PageSourceCount(temp);
            PageSourceClose(temp);
        }
    } else {
        PageSourceCount(source);
        PageSourceTrailerFind(source);
    }
    PageSourceClose(source);
    StreamClose(stream);
    return 0;
}
