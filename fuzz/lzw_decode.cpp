// The LZW decoder over arbitrary codes: one-shot, and resumable in pieces whose size the first
// byte picks (bit 7: early change), with the reader delivering few bytes a call.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/display/stores/bitmap_decode.h"

namespace {
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at;
};
uint32_t Read(void* buffer, uint32_t count, void* argument)
{
    auto* r = static_cast<Reader*>(argument);
    const size_t n = std::min<size_t>({count, 5, r->size - r->at});
    std::memcpy(buffer, r->data + r->at, n);
    r->at += n;
    return static_cast<uint32_t>(n);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const uint32_t early = (data[0] & 0x80) ? LZW_EARLY_CHANGE : 0;
    const uint32_t piece = 1 + (data[0] & 0x7F);
    std::vector<uint8_t> state(LzwStateSize());
    std::vector<uint8_t> out(4096);
    Reader reader{data + 1, size - 1, 0};
    LzwDecode(Read, &reader, out.data(), static_cast<uint32_t>(out.size()), state.data(),
              static_cast<uint32_t>(state.size()), early | LZW_ONE_SHOT);
    reader.at = 0;
    uint32_t flags = early;
    for (int i = 0; i < 1000; ++i, flags |= LZW_CONTINUE) {
        if (LzwDecode(Read, &reader, out.data(), piece, state.data(), static_cast<uint32_t>(state.size()), flags) !=
            LZW_OUTPUT_FULL)
            break;
    }
    return 0;
}
